// The package's radio button and its anti-aliased marker.
#include "widgets/Xpradiobutton.h"

#include "widgets/Package.h"
#include "widgets/XpRamps.h"
#include "widgets/Xpbutton.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace zuvo::widgets {
namespace xpradio {
namespace {

constexpr COLORREF kOutline = RGB(28, 81, 128);
constexpr COLORREF kDisabledLine = RGB(202, 200, 187);
constexpr COLORREF kHotCentre = RGB(241, 239, 223);

using xpface::kHotRamp;
using xpface::kNormalRamp;
using xpface::kPressedRamp;

int Luma(COLORREF c) { return 299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c); }

// Shares one step of the line: the pixel keeps `weight` / 255 of whichever of line and
// background is darker by luma, the rest of the other.
void Blend(HDC dc, int x, int y, int weight, COLORREF color) {
  const COLORREF under = GetPixel(dc, x, y);
  if (under == CLR_INVALID) return;
  const int k = Luma(under) > Luma(color) ? weight : 255 - weight;
  auto channel = [k](int a, int b) {
    const int lo = std::min(a, b), hi = std::max(a, b);
    return lo + k * (hi - lo) / 255;
  };
  SetPixelV(dc, x, y,
            RGB(channel(GetRValue(color), GetRValue(under)), channel(GetGValue(color), GetGValue(under)),
                channel(GetBValue(color), GetBValue(under))));
}

std::array<COLORREF, 169> MakeImage(Fill fill) {
  const COLORREF* ramp = fill == Fill::Hot ? kHotRamp : fill == Fill::Pressed ? kPressedRamp : kNormalRamp;
  std::array<COLORREF, 169> image{};
  for (int v = 0; v < 13; ++v) {
    for (int u = 0; u < 13; ++u) {
      const int d2 = (u - 6) * (u - 6) + (v - 6) * (v - 6);
      const int weight = DiscWeight(d2, 25);
      if (weight == 0) continue;
      COLORREF inside = ramp[std::clamp(u + v - 2, 0, 20)];
      if (fill == Fill::Hot) inside = Mix(inside, kHotCentre, DiscWeight(d2, 9));
      image[static_cast<std::size_t>(v * 13 + u)] = Mix(kOutline, inside, weight);
    }
  }
  return image;
}

}  // namespace

std::array<POINT, 12> MarkerVertices(int cx, int cy, int r) {
  const int e = (75 * r + 50) / 100;     // trunc(0.75 r + 0.5), r >= 0
  const int g = (433 * r + 500) / 1000;  // trunc(0.433 r + 0.5)
  return {POINT{cx + r, cy}, POINT{cx + e, cy - g}, POINT{cx + g, cy - e}, POINT{cx, cy - r},
          POINT{cx - g, cy - e}, POINT{cx - e, cy - g}, POINT{cx - r, cy}, POINT{cx - e, cy + g},
          POINT{cx - g, cy + e}, POINT{cx, cy + r}, POINT{cx + g, cy + e}, POINT{cx + e, cy + g}};
}

void DrawSmoothLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color) {
  if (y1 < y0) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  SetPixelV(dc, x0, y0, color);
  const int dx = std::abs(x1 - x0);
  const int sx = x1 >= x0 ? 1 : -1;
  const int dy = y1 - y0;
  if (dy == 0 || dx == 0 || dx == dy) {
    const int steps = std::max(dx, dy);
    const int stepX = dx == 0 ? 0 : sx, stepY = dy == 0 ? 0 : 1;
    for (int i = 1; i <= steps; ++i) SetPixelV(dc, x0 + i * stepX, y0 + i * stepY, color);
    return;
  }
  std::uint16_t accumulator = 0;
  int x = x0, y = y0;
  if (dy > dx) {
    const auto step = static_cast<std::uint16_t>((static_cast<std::uint64_t>(dx) << 16) / static_cast<unsigned>(dy));
    for (int n = dy - 1; n > 0; --n) {
      const std::uint16_t before = accumulator;
      accumulator = static_cast<std::uint16_t>(accumulator + step);
      if (accumulator < before) x += sx;
      y += 1;
      const int w = accumulator >> 8;
      Blend(dc, x, y, w, color);
      Blend(dc, x + sx, y, 255 - w, color);
    }
  } else {
    const auto step = static_cast<std::uint16_t>((static_cast<std::uint64_t>(dy) << 16) / static_cast<unsigned>(dx));
    for (int n = dx - 1; n > 0; --n) {
      const std::uint16_t before = accumulator;
      accumulator = static_cast<std::uint16_t>(accumulator + step);
      if (accumulator < before) y += 1;
      x += sx;
      const int w = accumulator >> 8;
      Blend(dc, x, y, w, color);
      Blend(dc, x, y + 1, 255 - w, color);
    }
  }
  SetPixelV(dc, x1, y1, color);
}

void DrawMarkerOutline(HDC dc, int cx, int cy, int r, COLORREF color) {
  const auto points = MarkerVertices(cx, cy, r);
  for (std::size_t i = 0; i < points.size(); ++i) {
    const POINT& a = points[i];
    const POINT& b = points[(i + 1) % points.size()];
    DrawSmoothLine(dc, a.x, a.y, b.x, b.y, color);
  }
}

int DiscWeight(int d2, int rim2) {
  if (d2 < rim2) return 255;
  return std::clamp(245 - 64 * (d2 - rim2), 0, 255);
}

COLORREF Mix(COLORREF under, COLORREF over, int weight) {
  auto channel = [weight](int a, int b) { return (a * (255 - weight) + b * weight + 127) / 255; };
  return RGB(channel(GetRValue(under), GetRValue(over)), channel(GetGValue(under), GetGValue(over)),
             channel(GetBValue(under), GetBValue(over)));
}

const std::array<COLORREF, 169>& FillImage(Fill fill) {
  static const std::array<COLORREF, 169> normal = MakeImage(Fill::Normal);
  static const std::array<COLORREF, 169> hot = MakeImage(Fill::Hot);
  static const std::array<COLORREF, 169> pressed = MakeImage(Fill::Pressed);
  return fill == Fill::Hot ? hot : fill == Fill::Pressed ? pressed : normal;
}

}  // namespace xpradio

namespace {

using xpface::Hex;

// The 5 x 5 dot, row by row; 0 leaves the pixel out (the corners).
constexpr COLORREF kDot[25] = {
    0,             Hex(0xA9DCA6), Hex(0x4DBF4A), Hex(0xA0D29E), 0,
    Hex(0xA9DCA6), Hex(0x55D551), Hex(0x42C33F), Hex(0x2AA827), Hex(0x9ACC98),
    Hex(0x4DBF4A), Hex(0x43C33F), Hex(0x38B935), Hex(0x22A220), Hex(0x249624),
    Hex(0xA0D29E), Hex(0x29A826), Hex(0x21A121), Hex(0x139210), Hex(0x98C997),
    0,             Hex(0x9ACC98), Hex(0x269623), Hex(0x98C897), 0};
constexpr COLORREF kDisabledDot[25] = {
    0,             Hex(0xD0CEC1), Hex(0xC2C1B7), Hex(0xD0CEC1), 0,
    Hex(0xD0CEC1), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xD0CEC1),
    Hex(0xC2C1B7), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xC2C1B7),
    Hex(0xD0CEC1), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xC0BFB5), Hex(0xD0CEC1),
    0,             Hex(0xD0CEC1), Hex(0xC2C1B7), Hex(0xD0CEC1), 0};

void FillClient(HDC dc, HWND window, int w, int h) {
  const RECT client{0, 0, w, h};
  FillRect(dc, &client, xpface::ParentButtonBrush(window, dc));
}

}  // namespace

TXPRadioButton::TXPRadioButton(TComponent* owner) : TXPOwnerDrawButton(owner) {}

void TXPRadioButton::OnPaint(HDC dc) {
  if (!GetEnabled()) {
    DrawDisabled(dc);
  } else if (m_bPressed != 0) {
    DrawPressed(dc);
  } else if (m_bHot != 0) {
    DrawHot(dc);
  } else {
    DrawNormal(dc);
  }
}

void TXPRadioButton::DrawMarker(HDC dc, xpradio::Fill fill) {
  FillClient(dc, handle_, Width(), Height());
  const int top = MarkerTop();
  xpradio::DrawMarkerOutline(dc, 7, top + 6, 6, RGB(28, 81, 128));
  const auto& image = xpradio::FillImage(fill);
  for (int v = 0; v < 13; ++v) {
    for (int u = 0; u < 13; ++u) {
      const COLORREF c = image[static_cast<std::size_t>(v * 13 + u)];
      if (c != 0) SetPixelV(dc, 1 + u, top + v, c);
    }
  }
  if (GetChecked()) DrawCheckMarker(dc);
  DrawCaption(dc);
}

void TXPRadioButton::DrawNormal(HDC dc) { DrawMarker(dc, xpradio::Fill::Normal); }
void TXPRadioButton::DrawHot(HDC dc) { DrawMarker(dc, xpradio::Fill::Hot); }
void TXPRadioButton::DrawPressed(HDC dc) { DrawMarker(dc, xpradio::Fill::Pressed); }

void TXPRadioButton::DrawDisabled(HDC dc) {
  FillClient(dc, handle_, Width(), Height());
  xpradio::DrawMarkerOutline(dc, 7, MarkerTop() + 6, 6, RGB(202, 200, 187));
  if (GetChecked()) DrawCheckMarker(dc);
  DrawCaption(dc);
}

void TXPRadioButton::DrawCheckMarker(HDC dc) {
  const COLORREF* dot = GetEnabled() ? kDot : kDisabledDot;
  const int top = (Height() - 5) >> 1;
  for (int row = 0; row < 5; ++row) {
    for (int column = 0; column < 5; ++column) {
      const COLORREF c = dot[row * 5 + column];
      if (c != 0) SetPixelV(dc, 5 + column, top + row, c);
    }
  }
}

void TXPRadioButton::DrawCaption(HDC dc) {
  const int w = Width(), h = Height();
  if (w <= 17 || h <= 0) return;
  const COLORREF color = GetEnabled() ? ColorToRGB(Font()->Color()) : xpface::kDisabledText;
  const SIZE caption = xpface::DrawSideCaption(dc, handle_, GetText(), w, h, color);
  const LRESULT state = handle_ != nullptr ? SendMessageA(handle_, BM_GETSTATE, 0, 0) : 0;
  if (m_bPressed != 0 || (state & BST_FOCUS) != 0) xpface::DrawSideFocus(dc, caption, w, h);
}

void RegisterXpradiobutton() { RegisterComponentClass("TXPRadioButton"); }

}  // namespace zuvo::widgets
