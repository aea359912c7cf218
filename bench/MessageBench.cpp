// Messages per second: SendMessage straight to a procedure, and PostMessage followed by the
// queue's dispatch.
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

}  // namespace

BENCHMARK_MAIN();
