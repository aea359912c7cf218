// The fixture of the package's button tests: a form whose WM_CTLCOLORBTN answers a brush of a
// chosen colour, controls made on it, faces painted onto memory bitmaps or read back from the
// window, and simulated mouse input.
#pragma once

#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace xpbuttons {

inline std::string Rgb(COLORREF c) {
  return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c));
}

// A form whose buttons are drawn over a brush of `back`.
class TBackForm : public TForm {
 public:
  using TForm::TForm;
  ~TBackForm() override {
    if (brush_ != nullptr) DeleteObject(brush_);
  }
  const char* ClassName() const override { return "TXpButtonsForm"; }
  void SetBack(COLORREF back) {
    if (brush_ != nullptr) DeleteObject(brush_);
    brush_ = CreateSolidBrush(back);
  }
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_CTLCOLORBTN && brush_ != nullptr) {
      m.Result = reinterpret_cast<LRESULT>(brush_);
      return;
    }
    TForm::WndProc(m);
  }

 private:
  HBRUSH brush_ = nullptr;
};

// A memory bitmap to paint a face on, read back pixel by pixel.
class Memory {
 public:
  Memory(int w, int h) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, w > 0 ? w : 1, h > 0 ? h : 1);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Memory() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Memory(const Memory&) = delete;
  Memory& operator=(const Memory&) = delete;
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
  void Fill(COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    RECT all{0, 0, 4096, 4096};
    FillRect(dc_, &all, b);
    DeleteObject(b);
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

class XpButtonsTest : public testing::Test {
 protected:
  static constexpr COLORREF kBack = RGB(236, 233, 216);

  void SetUp() override {
    form_ = NewForm<TBackForm>(nullptr);
    form_->SetName("XpButtonsDlg");
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->SetBack(kBack);
  }
  void TearDown() override {
    TComponent::Free(form_);
    ReleaseCapture();
    zuvo::platform::ProcessPendingMessages();
  }
  template <class T>
  T* Make(int left, int top, int width, int height, const std::string& caption = "") {
    T* c = new T(form_);
    c->SetBounds(left, top, width, height);
    c->SetCaption(caption);
    c->SetParent(form_);
    return c;
  }
  // The window's pixel once pending paints are done.
  static COLORREF Pixel(TWinControl* c, int x, int y) {
    UpdateWindow(c->Handle());
    HDC dc = GetDC(c->Handle());
    const COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(c->Handle(), dc);
    return pixel;
  }
  static bool AnyPixel(TWinControl* c, const RECT& r, COLORREF colour) {
    UpdateWindow(c->Handle());
    HDC dc = GetDC(c->Handle());
    bool found = false;
    for (int y = r.top; y < r.bottom && !found; ++y) {
      for (int x = r.left; x < r.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
    }
    ReleaseDC(c->Handle(), dc);
    return found;
  }
  static void Mouse(TWinControl* c, UINT message, int x, int y, WPARAM keys) {
    zuvo::platform::SimulateMouse(c->Handle(), message, x, y, keys);
    zuvo::platform::ProcessPendingMessages();
  }

  TBackForm* form_ = nullptr;
};

}  // namespace xpbuttons
