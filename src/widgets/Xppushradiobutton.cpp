// The push-style radio button: the push button's faces on a radio button.
#include "widgets/Xppushradiobutton.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

TXPPushRadioButton::TXPPushRadioButton(TComponent* owner) : TRadioButton(owner) { initialStyle_ = BS_OWNERDRAW; }

void TXPPushRadioButton::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_CREATE:
      OnCreate(reinterpret_cast<CREATESTRUCTA*>(message.LParam));
      break;
    case WM_PAINT: {
      TPaintScope scope(handle_, message);
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
    case CM_ENABLEDCHANGED:
    case CN_DRAWITEM:
    case CM_CHANGED:
    case CM_TABSTOPCHANGED:
      if (handle_ != nullptr) InvalidateRect(handle_, nullptr, FALSE);
      break;
    default:
      break;
  }
  const UINT msg = message.Msg;
  const WPARAM wParam = message.WParam;
  const LPARAM lParam = message.LParam;
  HWND window = handle_;
  TRadioButton::WndProc(message);
  if (msg != WM_MOUSEMOVE && msg != WM_LBUTTONDOWN && msg != WM_LBUTTONUP && msg != WM_MOUSELEAVE) return;
  // The base's button-up runs OnClick, whose handler may have destroyed or deleted the control.
  if (window == nullptr || !IsWindow(window) || FromHandle(window) != this) return;
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

void TXPPushRadioButton::OnCreate(CREATESTRUCTA* cs) { xpface::ForceOwnerDraw(handle_, cs); }

void TXPPushRadioButton::OnMouseMove(unsigned keys, int x, int y) {
  if (xpface::TrackMove(handle_, m_bHot, m_bPressed, keys, x, y, Width(), Height())) xpface::RepaintNow(handle_);
}

void TXPPushRadioButton::OnMouseLeave() {
  if (m_bHot == 0) return;
  m_bHot = 0;
  m_bPressed = 0;
  xpface::RepaintNow(handle_);
}

void TXPPushRadioButton::OnLButtonDown() {
  m_bPressed = 1;
  xpface::RepaintNow(handle_);
}

void TXPPushRadioButton::OnLButtonUp() {
  m_bPressed = 0;
  xpface::RepaintNow(handle_);
}

void TXPPushRadioButton::OnPaint(HDC dc) {
  const int w = Width(), h = Height();
  HDC memory = w > 0 && h > 0 ? CreateCompatibleDC(dc) : nullptr;
  HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(dc, w, h) : nullptr;
  HGDIOBJ oldBitmap = bitmap != nullptr ? SelectObject(memory, bitmap) : nullptr;
  HDC target = bitmap != nullptr ? memory : dc;
  if (!GetEnabled()) {
    DrawDisabled(target);
  } else if (m_bPressed != 0 || GetChecked()) {
    DrawPressed(target);
  } else if (m_bHot != 0) {
    DrawHot(target);
  } else {
    DrawNormal(target);
  }
  if (bitmap != nullptr) {
    BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
  }
  if (memory != nullptr) DeleteDC(memory);
}

void TXPPushRadioButton::DrawFace(HDC dc, xpface::Face face) {
  const int w = Width(), h = Height();
  const xpface::Shadow shadow = xpface::DrawBody(dc, w, h, xpface::ParentButtonBrush(handle_, dc), face);
  DrawCaption(dc);
  xpface::DrawCorners(dc, w, h, face, shadow);
}

void TXPPushRadioButton::DrawNormal(HDC dc) { DrawFace(dc, xpface::Face::Normal); }
void TXPPushRadioButton::DrawHot(HDC dc) { DrawFace(dc, xpface::Face::Hot); }
void TXPPushRadioButton::DrawPressed(HDC dc) { DrawFace(dc, xpface::Face::Pressed); }
void TXPPushRadioButton::DrawDisabled(HDC dc) { DrawFace(dc, xpface::Face::Disabled); }

void TXPPushRadioButton::DrawCaption(HDC dc) {
  RECT rect;
  if (!xpface::CaptionRect(Width(), Height(), rect)) return;
  if (OnDrawCaption) {
    OnDrawCaption(this, dc, &rect);
    return;
  }
  const COLORREF color = GetEnabled() ? ColorToRGB(Font()->Color()) : xpface::kDisabledText;
  xpface::DrawCenteredCaption(dc, handle_, GetText(), rect, color);
}

void RegisterXppushradiobutton() { RegisterComponentClass("TXPPushRadioButton"); }

}  // namespace zuvo::widgets
