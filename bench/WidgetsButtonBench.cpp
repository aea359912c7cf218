// The package's buttons: each face of a 75 x 23 push button painted onto a bitmap, the push
// button's whole repaint through its window (off-screen bitmap and blit), a check box's and a
// radio button's repaint, and the repaint of a dialog holding 40 of them, which must stay well
// under a 16 ms frame.
#include "BenchOffscreenMain.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpradiobutton.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace zuvo::widgets;

class TDialogForm : public TForm {
 public:
  using TForm::TForm;
  ~TDialogForm() override { DeleteObject(brush_); }
  const char* ClassName() const override { return "TWidgetsButtonBenchForm"; }
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_CTLCOLORBTN) {
      m.Result = reinterpret_cast<LRESULT>(brush_);
      return;
    }
    TForm::WndProc(m);
  }

 private:
  HBRUSH brush_ = CreateSolidBrush(RGB(236, 233, 216));
};

// A dialog of 14 push buttons, 13 check boxes and 13 radio buttons.
class Dialog {
 public:
  Dialog() {
    form_ = NewForm<TDialogForm>(nullptr);
    form_->SetClientWidth(640);
    form_->SetClientHeight(480);
    for (int i = 0; i < 40; ++i) {
      const int column = i % 4, row = i / 4;
      const int left = 10 + column * 150, top = 10 + row * 40;
      const std::string caption = "选项" + std::to_string(i);
      TButtonControl* c = nullptr;
      if (i % 3 == 0) {
        auto* b = new TXPButton(form_);
        b->SetBounds(left, top, 75, 23);
        b->SetDefault(i == 0);
        c = b;
        if (button_ == nullptr) button_ = b;
      } else if (i % 3 == 1) {
        auto* b = new TXPCheckBox(form_);
        b->SetBounds(left, top, 120, 17);
        b->SetChecked(i % 2 == 0);
        c = b;
        if (check_ == nullptr) check_ = b;
      } else {
        auto* b = new TXPRadioButton(form_);
        b->SetBounds(left, top, 120, 17);
        c = b;
        if (radio_ == nullptr) radio_ = b;
      }
      c->SetCaption(caption);
      c->SetParent(form_);
    }
    radio_->SetChecked(true);
    form_->Show();
    zuvo::platform::ProcessPendingMessages();
  }
  ~Dialog() {
    TComponent::Free(form_);
    zuvo::platform::ProcessPendingMessages();
  }
  static void Repaint(TWinControl* c) {
    InvalidateRect(c->Handle(), nullptr, FALSE);
    UpdateWindow(c->Handle());
  }
  TForm* form_ = nullptr;
  TXPButton* button_ = nullptr;
  TXPCheckBox* check_ = nullptr;
  TXPRadioButton* radio_ = nullptr;
};

void BM_PushButtonFace(benchmark::State& state) {
  Dialog d;
  TXPButton* b = d.button_;
  HDC screen = GetDC(b->Handle());
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 75, 23);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const int face = static_cast<int>(state.range(0));
  const char* names[] = {"normal", "default", "hot", "pressed", "disabled"};
  state.SetLabel(names[face]);
  for (auto _ : state) {
    switch (face) {
      case 0: b->DrawNormal(memory); break;
      case 1: b->DrawDefault(memory); break;
      case 2: b->DrawHot(memory); break;
      case 3: b->DrawPressed(memory); break;
      default: b->DrawDisabled(memory); break;
    }
    benchmark::ClobberMemory();
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(b->Handle(), screen);
}
BENCHMARK(BM_PushButtonFace)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

void BM_PushButtonRepaint(benchmark::State& state) {
  Dialog d;
  for (auto _ : state) Dialog::Repaint(d.button_);
}
BENCHMARK(BM_PushButtonRepaint)->Unit(benchmark::kMicrosecond);

void BM_CheckBoxRepaint(benchmark::State& state) {
  Dialog d;
  for (auto _ : state) Dialog::Repaint(d.check_);
}
BENCHMARK(BM_CheckBoxRepaint)->Unit(benchmark::kMicrosecond);

void BM_RadioButtonRepaint(benchmark::State& state) {
  Dialog d;
  for (auto _ : state) Dialog::Repaint(d.radio_);
}
BENCHMARK(BM_RadioButtonRepaint)->Unit(benchmark::kMicrosecond);

void BM_DialogOf40Repaint(benchmark::State& state) {
  Dialog d;
  for (auto _ : state) {
    RedrawWindow(d.form_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
}
BENCHMARK(BM_DialogOf40Repaint)->Unit(benchmark::kMicrosecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN();
