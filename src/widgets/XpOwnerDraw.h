// The window side shared by the package's owner-drawn buttons (push button, check box, radio
// button, push-style radio button): the button type kept owner-drawn, painting without erasing,
// repaints on the state changes that show, and the hot / pressed tracking of the mouse. Each
// control only paints (OnPaint) from m_bHot and m_bPressed.
#pragma once

#include "platform/Button.h"

namespace zuvo::widgets {

namespace xpface {

// At WM_CREATE: the window's style becomes the creation style with the owner-drawn button type.
// Whether the window is shown is left as it is: a style claiming WS_VISIBLE before the window is
// shown would make the coming ShowWindow think it already was, and the button would never show.
void ForceOwnerDraw(HWND window, const CREATESTRUCTA* cs);
// Invalidates the window without erasing and paints it now.
void RepaintNow(HWND window);
// Asks for one WM_MOUSELEAVE when the pointer leaves the window.
void RequestLeave(HWND window);
// The mouse tracking shared by the package's buttons: `hot` and `pressed` follow a mouse move
// (keys as in WM_MOUSEMOVE, x and y in the client area w x h); a button is pressed only while the
// pointer is inside it. Returns whether the face changed.
bool TrackMove(HWND window, int& hot, int& pressed, unsigned keys, int x, int y, int w, int h);

// What sets one control's message handling apart from another's.
enum OwnerDrawOption : unsigned {
  kDoubleClickIsPress = 1u << 0,  // a quick second click is a second press (WM_LBUTTONDBLCLK)
  kRepaintOnChanged = 1u << 1,    // CM_CHANGED (the checked state) repaints
  kRepaintOnTabStop = 1u << 2,    // CM_TABSTOPCHANGED repaints
};

}  // namespace xpface

// Base is the class library's button class the control extends; Options are xpface
// OwnerDrawOption flags. CM_ENABLEDCHANGED and CN_DRAWITEM always repaint.
template <class Base, unsigned Options>
class TXPOwnerDrawButton : public Base {
 public:
  explicit TXPOwnerDrawButton(TComponent* owner) : Base(owner) { this->initialStyle_ = BS_OWNERDRAW; }

  void WndProc(TMessage& message) override {
    if constexpr ((Options & xpface::kDoubleClickIsPress) != 0) {
      if (message.Msg == WM_LBUTTONDBLCLK) message.Msg = WM_LBUTTONDOWN;
    }
    switch (message.Msg) {
      case WM_CREATE:
        OnCreate(reinterpret_cast<CREATESTRUCTA*>(message.LParam));
        break;
      case WM_PAINT: {
        TPaintScope scope(this->handle_, message);
        if (scope.Dc() != nullptr) OnPaint(scope.Dc());
        message.Result = 0;
        return;
      }
      case WM_ERASEBKGND:
        message.Result = 1;
        return;
      case BM_SETSTYLE:
        message.WParam = (message.WParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
        break;
      default:
        if (RepaintsOn(message.Msg) && this->handle_ != nullptr) InvalidateRect(this->handle_, nullptr, FALSE);
        break;
    }
    const UINT msg = message.Msg;
    const WPARAM wParam = message.WParam;
    const LPARAM lParam = message.LParam;
    HWND window = this->handle_;
    Base::WndProc(message);
    if (msg != WM_MOUSEMOVE && msg != WM_LBUTTONDOWN && msg != WM_LBUTTONUP && msg != WM_MOUSELEAVE) return;
    // The base's button-up runs OnClick, whose handler may have destroyed or deleted the control.
    if (window == nullptr || !IsWindow(window) || TWinControl::FromHandle(window) != this) return;
    switch (msg) {
      case WM_MOUSEMOVE:
        OnMouseMove(static_cast<unsigned>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
      case WM_LBUTTONDOWN: OnLButtonDown(); break;
      case WM_LBUTTONUP: OnLButtonUp(); break;
      case WM_MOUSELEAVE: OnMouseLeave(); break;
      default: break;
    }
  }

 protected:
  // Paints the whole client area on the context WM_PAINT gives.
  virtual void OnPaint(HDC dc) = 0;

  void OnCreate(CREATESTRUCTA* cs) { xpface::ForceOwnerDraw(this->handle_, cs); }

  void OnMouseMove(unsigned keys, int x, int y) {
    if (xpface::TrackMove(this->handle_, m_bHot, m_bPressed, keys, x, y, this->Width(), this->Height())) {
      xpface::RepaintNow(this->handle_);
    }
  }

  void OnMouseLeave() {
    if (m_bHot == 0) return;
    m_bHot = 0;
    m_bPressed = 0;
    xpface::RepaintNow(this->handle_);
  }

  void OnLButtonDown() {
    m_bPressed = 1;
    xpface::RepaintNow(this->handle_);
  }

  void OnLButtonUp() {
    m_bPressed = 0;
    xpface::RepaintNow(this->handle_);
  }

  int m_bHot = 0;      // the pointer is over the control and a leave notification is armed
  int m_bPressed = 0;  // the left button went down on the control and the pointer is inside

 private:
  static bool RepaintsOn(UINT msg) {
    if (msg == CM_ENABLEDCHANGED || msg == CN_DRAWITEM) return true;
    if ((Options & xpface::kRepaintOnChanged) != 0 && msg == CM_CHANGED) return true;
    return (Options & xpface::kRepaintOnTabStop) != 0 && msg == CM_TABSTOPCHANGED;
  }
};

}  // namespace zuvo::widgets
