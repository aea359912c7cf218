// Reading a control's pixels back in the widget package's tests: a form without a frame that
// holds the control, and the colours of a window's image through client or window contexts.
#pragma once

#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <string>

namespace xptest {

inline COLORREF ClientPixel(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

inline COLORREF WindowPixel(HWND window, int x, int y) {
  HDC dc = GetWindowDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

// "r,g,b" for readable failures.
inline std::string Rgb(COLORREF c) {
  return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c));
}

// Whether some client pixel of the rectangle has the colour.
inline bool AnyClientPixel(HWND window, const RECT& r, COLORREF colour) {
  HDC dc = GetDC(window);
  bool found = false;
  for (int y = r.top; y < r.bottom && !found; ++y) {
    for (int x = r.left; x < r.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  }
  ReleaseDC(window, dc);
  return found;
}

// A shown form without a frame, 320 x 240 unless told, freed with the fixture.
class HostForm {
 public:
  explicit HostForm(int width = 320, int height = 240) {
    form_ = NewForm<TForm>(nullptr);
    form_->SetBorderStyle(bsNone);
    form_->SetBounds(0, 0, width, height);
  }
  ~HostForm() {
    TComponent::Free(form_);
    zuvo::platform::ProcessPendingMessages();
  }
  HostForm(const HostForm&) = delete;
  HostForm& operator=(const HostForm&) = delete;
  TForm* operator->() const { return form_; }
  TForm* get() const { return form_; }
  // Puts a control of the form on it at the bounds and shows everything.
  template <class Control>
  Control* Place(Control* control, int left, int top, int width, int height) {
    control->SetBounds(left, top, width, height);
    control->SetParent(form_);
    form_->Show();
    zuvo::platform::ProcessPendingMessages();
    return control;
  }

 private:
  TForm* form_ = nullptr;
};

}  // namespace xptest
