// The package's push button and the face painting it shares with the push-style radio button.
#include "widgets/Xpbutton.h"

#include "widgets/Package.h"
#include "widgets/XpFlatBorder.h"

#include <algorithm>
#include <cstdint>

namespace zuvo::widgets {
namespace xpface {
namespace {

// One-pixel rows, columns and single pixels. Spans are inclusive; an empty or inverted span
// draws nothing. Rectangles are filled through an opaque empty text, which needs no brush.
void Span(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  if (right < left || bottom < top) return;
  SetBkColor(dc, color);
  const RECT rect{left, top, right + 1, bottom + 1};
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}
void Row(HDC dc, int y, int x0, int x1, COLORREF color) { Span(dc, x0, y, x1, y, color); }
void Column(HDC dc, int x, int y0, int y1, COLORREF color) { Span(dc, x, y0, x, y1, color); }

// start - span * i / divisor, the start itself when the divisor is not positive (tiny buttons).
int Grad(int start, int span, int i, int divisor) { return divisor > 0 ? start - span * i / divisor : start; }

COLORREF Ramp(int r, int g, int b, int dr, int dg, int db, int i, int divisor) {
  return RGB(Grad(r, dr, i, divisor), Grad(g, dg, i, divisor), Grad(b, db, i, divisor));
}

// The dark blue border one pixel inside the shadow, with cut corners.
void Border(HDC dc, int w, int h, COLORREF color) {
  Row(dc, 1, 3, w - 4, color);
  Row(dc, h - 2, 3, w - 4, color);
  Column(dc, 1, 3, h - 4, color);
  Column(dc, w - 2, 3, h - 4, color);
}

// The background, the outer shadow taken from it and the border.
Shadow CommonFrame(HDC dc, int w, int h, HBRUSH parentBrush) {
  const RECT client{0, 0, w, h};
  FillRect(dc, &client, parentBrush);
  COLORREF back = GetPixel(dc, 0, 0);
  if (back == CLR_INVALID) back = 0;
  const int r = GetRValue(back), g = GetGValue(back), b = GetBValue(back);
  Shadow s;
  s.dark = RGB(std::max(r - 12, 0), std::max(g - 14, 0), std::max(b - 15, 0));
  s.light = RGB(std::min(r + 14, 254), std::min(g + 16, 254), std::min(b + 29, 254));
  Row(dc, 0, 1, w - 3, s.dark);
  Column(dc, 0, 1, h - 3, s.dark);
  Row(dc, h - 1, 2, w - 2, s.light);
  Column(dc, w - 1, 2, h - 2, s.light);
  Border(dc, w, h, RGB(0, 60, 116));
  return s;
}

void NormalFace(HDC dc, int w, int h) {
  Row(dc, h - 3, 4, w - 5, RGB(214, 208, 197));
  Row(dc, h - 4, 3, w - 4, RGB(226, 223, 214));
  Row(dc, h - 5, 2, w - 5, RGB(236, 235, 230));
  const int d = h - 8;
  for (int y = 2; y <= h - 6; ++y) {
    const int j = y - 2;
    Row(dc, y, j == 0 ? 4 : j == 1 ? 3 : 2, w - 5, Ramp(255, 255, 255, 15, 15, 21, j, d));
  }
  for (int y = 3; y <= h - 5; ++y) SetPixelV(dc, w - 4, y, Ramp(254, 254, 253, 21, 23, 29, y - 3, d));
  const int e = h - 9;
  for (int y = 4; y <= h - 5; ++y) SetPixelV(dc, w - 3, y, Ramp(246, 244, 242, 19, 18, 26, y - 4, e));
}

// The default and the hot faces: a ring of two-pixel sides around a light inner face.
struct RingColors {
  COLORREF top, bottom;
  int r, g, b, dr, dg, db;
};

void RingFace(HDC dc, int w, int h, const RingColors& c) {
  Row(dc, 2, 3, w - 4, c.top);
  Row(dc, h - 3, 3, w - 4, c.bottom);
  Row(dc, h - 5, 3, w - 4, RGB(236, 235, 230));
  const int d = h - 7;
  for (int y = 3; y <= h - 4; ++y) {
    const COLORREF color = Ramp(c.r, c.g, c.b, c.dr, c.dg, c.db, y - 3, d);
    if (y == 3 || y == h - 4) {
      Row(dc, y, 2, w - 3, color);
    } else {
      Row(dc, y, 2, 3, color);
      Row(dc, y, w - 4, w - 3, color);
    }
  }
  const int f = h - 10;
  for (int y = 4; y <= h - 6; ++y) Row(dc, y, 4, w - 5, Ramp(252, 252, 251, 12, 12, 17, y - 4, f));
}

void PressedFace(HDC dc, int w, int h) {
  Row(dc, h - 3, 3, w - 4, RGB(242, 241, 238));
  Row(dc, h - 4, 3, w - 4, RGB(234, 233, 227));
  Row(dc, 2, 4, w - 5, RGB(209, 204, 193));
  const int e = h - 9;
  for (int y = 3; y <= h - 5; ++y) {
    const int m = y - 3;
    Row(dc, y, 3, w - 4, m == 0 ? RGB(220, 216, 207) : Ramp(229, 228, 221, 5, 4, 6, m - 1, e));
  }
  for (int y = 4; y <= h - 5; ++y) {
    SetPixelV(dc, 2, y, Ramp(218, 216, 207, 4, 4, 6, y - 4, e));
    SetPixelV(dc, w - 3, y, Ramp(230, 230, 225, 4, 4, 7, y - 4, e));
  }
}

void DisabledFace(HDC dc, int w, int h, HBRUSH parentBrush) {
  const RECT client{0, 0, w, h};
  FillRect(dc, &client, parentBrush);
  Span(dc, 2, 2, w - 2, h - 2, RGB(245, 244, 234));
  Border(dc, w, h, RGB(201, 199, 186));
}

// The corner pixels: a position counted from the left or top (from == 0) or from the width or
// height (from == 1), and one colour per face in the order of Face. kUnset leaves the pixel,
// kDark and kLight take the shadow colours.
constexpr std::uint32_t kUnset = 0xFF000000u;
constexpr std::uint32_t kDark = 0xFE000000u;
constexpr std::uint32_t kLight = 0xFD000000u;

struct Corner {
  int xFrom, dx, yFrom, dy;
  std::uint32_t colors[5];
};

constexpr std::uint32_t C(int r, int g, int b) { return RGB(r, g, b); }

// clang-format off
const Corner kCorners[] = {
    {0, 1, 0, 2, {C(121,149,167), C(121,149,167), C(121,149,167), C(121,149,167), C(216,213,199)}},
    {0, 2, 0, 1, {C(121,149,167), C(121,149,167), C(121,149,167), C(121,149,167), C(216,213,199)}},
    {0, 2, 0, 2, {C(85,125,162), C(39,77,133), C(141,158,161), C(70,109,142), C(216,214,202)}},
    {0, 3, 0, 2, {C(192,207,221), kUnset, kUnset, C(157,168,172), C(234,233,222)}},
    {0, 2, 0, 3, {C(191,206,220), kUnset, kUnset, C(160,171,177), C(234,233,222)}},
    {1, -2, 0, 2, {C(122,149,168), C(122,149,168), C(122,149,168), C(122,149,168), C(216,213,199)}},
    {1, -3, 0, 1, {C(102,135,159), C(102,135,159), C(102,135,159), C(102,135,159), C(216,213,199)}},
    {1, -3, 0, 2, {C(85,125,162), C(39,77,133), C(141,158,161), C(73,112,146), C(216,214,202)}},
    {1, -4, 0, 2, {C(213,223,232), kUnset, kUnset, C(177,183,183), C(234,233,222)}},
    {1, -3, 0, 3, {C(191,206,219), kUnset, kUnset, C(169,181,189), C(234,233,222)}},
    {1, -2, 1, -3, {C(106,139,162), C(106,139,162), C(106,139,162), C(106,139,162), C(216,213,199)}},
    {1, -3, 1, -3, {C(72,110,144), C(39,77,133), C(131,132,111), C(79,119,155), C(216,214,202)}},
    {1, -3, 1, -2, {C(108,140,163), C(108,140,163), C(108,140,163), C(108,140,163), C(216,213,199)}},
    {1, -3, 1, -4, {C(182,189,189), kUnset, kUnset, C(196,206,210), C(234,233,222)}},
    {1, -4, 1, -3, {C(177,183,182), kUnset, kUnset, C(202,211,218), C(234,233,222)}},
    {0, 1, 1, -3, {C(101,134,159), C(101,134,159), C(101,134,159), C(101,134,159), C(216,213,199)}},
    {0, 2, 1, -3, {C(74,113,147), C(39,77,133), C(132,134,113), C(77,117,152), C(216,214,202)}},
    {0, 2, 1, -2, {C(125,152,170), C(125,152,170), C(125,152,170), C(125,152,170), C(216,213,199)}},
    {0, 2, 1, -4, {C(191,199,202), kUnset, kUnset, C(188,197,199), C(234,233,222)}},
    {0, 3, 1, -3, {C(163,174,180), kUnset, kUnset, C(178,193,203), C(234,233,222)}},
    {0, 1, 0, 1, {kDark, kDark, kDark, kDark, kUnset}},
    {1, -2, 1, -2, {kLight, kLight, kLight, kLight, kUnset}},
};
// clang-format on

}  // namespace

HBRUSH ParentButtonBrush(HWND button, HDC dc) {
  HWND parent = button != nullptr ? GetParent(button) : nullptr;
  HBRUSH brush = parent != nullptr ? reinterpret_cast<HBRUSH>(SendMessageA(parent, WM_CTLCOLORBTN,
                                                                           reinterpret_cast<WPARAM>(dc),
                                                                           reinterpret_cast<LPARAM>(button)))
                                   : nullptr;
  if (brush == nullptr || GetObjectType(brush) != OBJ_BRUSH) brush = GetSysColorBrush(COLOR_BTNFACE);
  return brush;
}

Shadow DrawBody(HDC dc, int w, int h, HBRUSH parentBrush, Face face) {
  const COLORREF oldBack = GetBkColor(dc);
  Shadow shadow;
  if (face == Face::Disabled) {
    DisabledFace(dc, w, h, parentBrush);
  } else {
    shadow = CommonFrame(dc, w, h, parentBrush);
    switch (face) {
      case Face::Normal: NormalFace(dc, w, h); break;
      case Face::Default:
        RingFace(dc, w, h, {RGB(206, 231, 255), RGB(105, 130, 238), 188, 212, 246, 51, 39, 18});
        break;
      case Face::Hot: RingFace(dc, w, h, {RGB(255, 240, 207), RGB(229, 151, 0), 253, 216, 137, 5, 38, 89}); break;
      case Face::Pressed: PressedFace(dc, w, h); break;
      case Face::Disabled: break;
    }
  }
  SetBkColor(dc, oldBack);
  return shadow;
}

void DrawCorners(HDC dc, int w, int h, Face face, const Shadow& shadow) {
  const int f = static_cast<int>(face);
  for (const Corner& c : kCorners) {
    std::uint32_t color = c.colors[f];
    if (color == kUnset) continue;
    if (color == kDark) color = shadow.dark;
    if (color == kLight) color = shadow.light;
    SetPixelV(dc, (c.xFrom != 0 ? w : 0) + c.dx, (c.yFrom != 0 ? h : 0) + c.dy, static_cast<COLORREF>(color));
  }
}

bool CaptionRect(int w, int h, RECT& rect) {
  rect = RECT{4, 4, w - 4, h - 4};
  return rect.right > rect.left && rect.bottom > rect.top;
}

void DrawCenteredCaption(HDC dc, HWND window, const std::string& text, RECT rect, COLORREF color) {
  HFONT font = window != nullptr ? reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)) : nullptr;
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, color);
  if (!text.empty()) DrawTextA(dc, text.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
}

SIZE DrawSideCaption(HDC dc, HWND window, const std::string& text, int w, int h, COLORREF color) {
  HFONT font = window != nullptr ? reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)) : nullptr;
  HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(dc, color);
  // Measured as drawn: "&x" shows x, "&&" shows "&".
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
  RECT rect{19, 0, w, h};
  if (!text.empty()) DrawTextA(dc, text.c_str(), -1, &rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
  if (oldFont != nullptr) SelectObject(dc, oldFont);
  return size;
}

void DrawSideFocus(HDC dc, SIZE caption, int w, int h) {
  RECT frame{17, (h - caption.cy) >> 1, 17 + caption.cx + 2, (h + caption.cy) >> 1};
  frame.top = std::max<LONG>(frame.top, 0);
  frame.right = std::min<LONG>(frame.right, w);
  frame.bottom = std::min<LONG>(frame.bottom, h);
  DrawFocusRect(dc, &frame);
}

void ForceOwnerDraw(HWND window, const CREATESTRUCTA* cs) {
  if (cs == nullptr || window == nullptr) return;
  const LONG_PTR shown = GetWindowLongPtrA(window, GWL_STYLE) & static_cast<LONG_PTR>(WS_VISIBLE);
  const LONG_PTR style = static_cast<LONG_PTR>(static_cast<DWORD>(cs->style)) &
                         ~static_cast<LONG_PTR>(BS_TYPEMASK | WS_VISIBLE);
  SetWindowLongPtrA(window, GWL_STYLE, style | shown | static_cast<LONG_PTR>(BS_OWNERDRAW));
}

void RepaintNow(HWND window) {
  if (window == nullptr) return;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

void RequestLeave(HWND window) { RequestMouseLeave(window); }

bool TrackMove(HWND window, int& hot, int& pressed, unsigned keys, int x, int y, int w, int h) {
  const bool leftDown = (keys & MK_LBUTTON) != 0;
  const bool inside = x >= 0 && x < w && y >= 0 && y < h;
  if (hot == 0) {
    // A move outside can come first only to a window holding the mouse after its leave: the
    // pointer is not over the button, so it is not pressed.
    hot = 1;
    pressed = leftDown && inside ? 1 : 0;
    RequestLeave(window);
    return true;
  }
  if (pressed != 0) {
    if (inside) return false;
    pressed = 0;
    return true;
  }
  if (leftDown && inside) {
    pressed = 1;
    return true;
  }
  return false;
}

}  // namespace xpface

// ---- TXPButton --------------------------------------------------------------------------------

TXPButton::TXPButton(TComponent* owner) : TXPOwnerDrawButton(owner) {}

void TXPButton::OnPaint(HDC dc) {
  const int w = Width(), h = Height();
  // Drawn off screen and copied in one blit; straight onto the window when no bitmap can be had.
  HDC memory = w > 0 && h > 0 ? CreateCompatibleDC(dc) : nullptr;
  HBITMAP bitmap = memory != nullptr ? CreateCompatibleBitmap(dc, w, h) : nullptr;
  HGDIOBJ oldBitmap = bitmap != nullptr ? SelectObject(memory, bitmap) : nullptr;
  HDC target = bitmap != nullptr ? memory : dc;

  if (!GetEnabled()) {
    DrawDisabled(target);
  } else if (m_bPressed != 0) {
    DrawPressed(target);
  } else if (m_bHot != 0) {
    DrawHot(target);
  } else if (Default()) {
    DrawDefault(target);
  } else {
    DrawNormal(target);
  }

  const LRESULT state = handle_ != nullptr ? SendMessageA(handle_, BM_GETSTATE, 0, 0) : 0;
  if (m_bPressed != 0 || (state & BST_FOCUS) != 0) {
    if (m_bFocusShown == 0) {
      m_bFocusShown = 1;
      if (OnEnter) OnEnter(this);
    }
    const RECT frame{3, 3, w - 3, h - 3};
    DrawFocusRect(target, &frame);
  } else if (m_bFocusShown != 0) {
    m_bFocusShown = 0;
    if (OnExit) OnExit(this);
  }

  if (bitmap != nullptr) {
    BitBlt(dc, 0, 0, w, h, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
  }
  if (memory != nullptr) DeleteDC(memory);
}

void TXPButton::DrawFace(HDC dc, xpface::Face face) {
  const int w = Width(), h = Height();
  const xpface::Shadow shadow = xpface::DrawBody(dc, w, h, xpface::ParentButtonBrush(handle_, dc), face);
  DrawCaption(dc);
  xpface::DrawCorners(dc, w, h, face, shadow);
}

void TXPButton::DrawNormal(HDC dc) { DrawFace(dc, xpface::Face::Normal); }
void TXPButton::DrawDefault(HDC dc) { DrawFace(dc, xpface::Face::Default); }
void TXPButton::DrawHot(HDC dc) { DrawFace(dc, xpface::Face::Hot); }
void TXPButton::DrawPressed(HDC dc) { DrawFace(dc, xpface::Face::Pressed); }
void TXPButton::DrawDisabled(HDC dc) { DrawFace(dc, xpface::Face::Disabled); }

void TXPButton::DrawCaption(HDC dc) {
  RECT rect;
  if (!xpface::CaptionRect(Width(), Height(), rect)) return;
  if (OnDrawCaption) {
    OnDrawCaption(this, dc, &rect);
    return;
  }
  const COLORREF color = GetEnabled() ? ColorToRGB(Font()->Color()) : xpface::kDisabledText;
  xpface::DrawCenteredCaption(dc, handle_, GetText(), rect, color);
}

void RegisterXpbutton() { RegisterComponentClass("TXPButton"); }

}  // namespace zuvo::widgets
