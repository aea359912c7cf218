// The push-style radio button: the push button's faces on a radio button.
#include "widgets/Xppushradiobutton.h"

#include "widgets/Package.h"

namespace zuvo::widgets {

TXPPushRadioButton::TXPPushRadioButton(TComponent* owner) : TXPOwnerDrawButton(owner) {}

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
