// The package's check box.
#include "widgets/Xpcheckbox.h"

#include "widgets/Package.h"
#include "widgets/XpRamps.h"
#include "widgets/Xpbutton.h"

namespace zuvo::widgets {
namespace {

constexpr COLORREF kBoxFrame = RGB(28, 81, 128);
constexpr COLORREF kDisabledLine = RGB(202, 200, 187);
constexpr COLORREF kTick = RGB(33, 161, 33);

using xpface::Hex;
using xpface::kHotRamp;
using xpface::kNormalRamp;
using xpface::kPressedRamp;
constexpr COLORREF kHotCentre = Hex(0xE7E7E3);

// The tick in box coordinates: per row, its first and last column (two runs on rows 5 and 6).
struct TickRun {
  int row, first, last;
};
constexpr TickRun kTick21[] = {{3, 9, 9}, {4, 8, 9}, {5, 3, 3}, {5, 7, 9}, {6, 3, 4}, {6, 6, 8},
                               {7, 3, 7}, {8, 4, 6}, {9, 5, 5}};

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  if (right <= left || bottom <= top) return;
  SetBkColor(dc, color);
  const RECT rect{left, top, right, bottom};
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void FillClient(HDC dc, HWND window, int w, int h) {
  const RECT client{0, 0, w, h};
  FillRect(dc, &client, xpface::ParentButtonBrush(window, dc));
}

// A one-pixel frame just inside (left, top, right, bottom).
void Frame(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  Fill(dc, left, top, right, top + 1, color);
  Fill(dc, left, bottom - 1, right, bottom, color);
  Fill(dc, left, top, left + 1, bottom, color);
  Fill(dc, right - 1, top, right, bottom, color);
}

}  // namespace

TXPCheckBox::TXPCheckBox(TComponent* owner) : TXPOwnerDrawButton(owner) {}

void TXPCheckBox::OnPaint(HDC dc) {
  const COLORREF oldBack = GetBkColor(dc);
  if (!GetEnabled()) {
    DrawDisabled(dc);
  } else if (m_bPressed != 0) {
    DrawPressed(dc);
  } else if (m_bHot != 0) {
    DrawHot(dc);
  } else {
    DrawNormal(dc);
  }
  SetBkColor(dc, oldBack);
}

void TXPCheckBox::DrawBox(HDC dc, Box box) {
  FillClient(dc, handle_, Width(), Height());
  const int left = 1, top = BoxTop();
  const COLORREF* ramp = box == Box::Hot ? kHotRamp : box == Box::Pressed ? kPressedRamp : kNormalRamp;
  Frame(dc, left, top, left + 13, top + 13, kBoxFrame);
  // The inside: one colour per diagonal, u + v.
  for (int v = 0; v < 11; ++v) {
    for (int u = 0; u < 11; ++u) {
      const bool centre = box == Box::Hot && u >= 2 && u <= 8 && v >= 2 && v <= 8;
      if (centre) continue;
      SetPixelV(dc, left + 1 + u, top + 1 + v, ramp[u + v]);
    }
  }
  if (box == Box::Hot) Fill(dc, left + 3, top + 3, left + 10, top + 10, kHotCentre);
  if (GetChecked()) DrawCheckMarker(dc);
  DrawCaption(dc);
}

void TXPCheckBox::DrawNormal(HDC dc) { DrawBox(dc, Box::Normal); }
void TXPCheckBox::DrawHot(HDC dc) { DrawBox(dc, Box::Hot); }
void TXPCheckBox::DrawPressed(HDC dc) { DrawBox(dc, Box::Pressed); }

void TXPCheckBox::DrawDisabled(HDC dc) {
  FillClient(dc, handle_, Width(), Height());
  const int top = BoxTop();
  Frame(dc, 1, top, 14, top + 13, kDisabledLine);
  if (GetChecked()) DrawCheckMarker(dc);
  DrawCaption(dc);
}

void TXPCheckBox::DrawCheckMarker(HDC dc) {
  const COLORREF color = GetEnabled() ? kTick : kDisabledLine;
  const int left = 1, top = BoxTop();
  for (const TickRun& run : kTick21) Fill(dc, left + run.first, top + run.row, left + run.last + 1, top + run.row + 1, color);
}

void TXPCheckBox::DrawCaption(HDC dc) {
  const int w = Width(), h = Height();
  if (w <= 17 || h <= 0) return;
  const COLORREF color = GetEnabled() ? ColorToRGB(Font()->Color()) : xpface::kDisabledText;
  const SIZE caption = xpface::DrawSideCaption(dc, handle_, GetText(), w, h, color);
  const LRESULT state = handle_ != nullptr ? SendMessageA(handle_, BM_GETSTATE, 0, 0) : 0;
  if (m_bPressed != 0 || (state & BST_FOCUS) != 0) {
    xpface::DrawSideFocus(dc, caption, w, h);
    if (m_bFocusShown == 0) {
      m_bFocusShown = 1;
      if (OnEnter) OnEnter(this);
    }
  } else if (m_bFocusShown != 0) {
    m_bFocusShown = 0;
    if (OnExit) OnExit(this);
  }
}

void RegisterXpcheckbox() { RegisterComponentClass("TXPCheckBox"); }

}  // namespace zuvo::widgets
