// Messages per second: SendMessage straight to a procedure, PostMessage followed by the queue's
// dispatch, and the same message through a control's chain (shared procedure, WndProc, Dispatch).
#include "platform/Control.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

namespace {

long handledCount = 0;

LRESULT CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_USER) {
    ++handledCount;
    return 1;
  }
  return DefWindowProcA(h, m, w, l);
}

HWND BenchWindow() {
  static HWND window = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = "MessageBench";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "MessageBench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  }();
  return window;
}

void BM_SendMessage(benchmark::State& state) {
  HWND w = BenchWindow();
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageA(w, WM_USER, 1, 2));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendMessage);

void BM_PostAndDispatch(benchmark::State& state) {
  HWND w = BenchWindow();
  const int batch = static_cast<int>(state.range(0));
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) PostMessageA(w, WM_USER, 1, 2);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) DispatchMessageA(&msg);
  }
  state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostAndDispatch)->Arg(1)->Arg(1000);

// ---- A control's message chain ---------------------------------------------------------------
// The same WM_USER as BM_SendMessage, sent to a control's window: the shared window procedure
// finds the object and calls its WndProc, which calls Dispatch. BM_ControlPerform calls the
// object's WndProc directly (no window layer). Compare with BM_SendMessage in the same run.
class BenchControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  const char* ClassName() const override { return "TBenchControl"; }
  void Dispatch(TMessage& message) override {
    if (message.Msg == WM_USER) {
      ++handledCount;
      message.Result = 1;
      return;
    }
    TCustomControl::Dispatch(message);
  }
};

TCustomControl* BenchControlInstance() {
  static TCustomControl* control = [] {
    auto* c = new BenchControl(nullptr);
    c->SetVisible(false);
    c->SetBounds(0, 0, 10, 10);
    c->HandleNeeded();
    return c;
  }();
  return control;
}

void BM_ControlChainSendMessage(benchmark::State& state) {
  HWND w = BenchControlInstance()->Handle();
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageA(w, WM_USER, 1, 2));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControlChainSendMessage);

void BM_ControlPerform(benchmark::State& state) {
  TCustomControl* c = BenchControlInstance();
  for (auto _ : state) benchmark::DoNotOptimize(c->Perform(WM_USER, 1, 2));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControlPerform);

// ---- A dialog's life ---------------------------------------------------------------------------
// Build, show and free of a dialog of 60 windowed controls in three panels: the form and its
// controls made in code, the windows made and shown (the pending paints handled), then all freed.
class DialogPart : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  const char* ClassName() const override { return "TBenchDialogPart"; }
};

void BM_DialogBuildShowFree(benchmark::State& state) {
  for (auto _ : state) {
    auto* form = NewForm<TForm>(nullptr);
    form->SetBorderStyle(bsDialog);
    form->SetClientWidth(600);
    form->SetClientHeight(400);
    for (int p = 0; p < 3; ++p) {
      auto* panel = new DialogPart(form);
      panel->SetParent(form);
      panel->SetBounds(p * 200, 0, 200, 400);
      for (int i = 0; i < 20; ++i) {
        auto* control = new DialogPart(form);
        control->SetParent(panel);
        control->SetBounds(5, 5 + i * 19, 190, 18);
        control->SetTabStop(true);
      }
    }
    form->Show();
    zuvo::platform::ProcessPendingMessages();
    TComponent::Free(form);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DialogBuildShowFree)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
