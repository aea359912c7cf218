// Colours, pens, brushes, fonts and the canvas of the form class library, on the GDI calls.
#include "platform/Canvas.h"

#include "platform/Application.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// a * b / c rounded half away from zero, as the system's MulDiv; -1 when c is 0.
int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const std::uint64_t n = static_cast<std::uint64_t>(product < 0 ? -product : product);
  const std::uint64_t d = static_cast<std::uint64_t>(c < 0 ? -static_cast<std::int64_t>(c) : c);
  const auto q = static_cast<std::int64_t>((n + d / 2) / d);
  return static_cast<int>(negative ? -q : q);
}

// The screen's dots per inch, asked once of the screen's context. Off the UI thread (where a
// screen context must not be made) the layer's fixed 96 is taken without asking.
int ScreenPixelsPerInch() {
  static std::atomic<int> cached{0};
  int ppi = cached.load(std::memory_order_relaxed);
  if (ppi > 0) return ppi;
  if (!zuvo::platform::IsUiThread()) return 96;
  HDC screen = GetDC(nullptr);
  ppi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  if (ppi <= 0) ppi = 96;
  cached.store(ppi, std::memory_order_relaxed);
  return ppi;
}

int Rop2Of(TPenMode mode) {
  static constexpr int kModes[] = {R2_BLACK,       R2_WHITE,      R2_NOP,        R2_NOT,
                                   R2_COPYPEN,     R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                                   R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,   R2_NOTMERGEPEN,
                                   R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,     R2_NOTXORPEN};
  const int index = static_cast<int>(mode);
  return index >= 0 && index < static_cast<int>(std::size(kModes)) ? kModes[index] : R2_COPYPEN;
}

HGDIOBJ HollowBrush() { return GetStockObject(HOLLOW_BRUSH); }

}  // namespace

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  if (color == clNone || color == clDefault) return RGB(0, 0, 0);
  return static_cast<COLORREF>(color) & 0x00FFFFFFu;
}

// ---- TPen -------------------------------------------------------------------------------------

TPen::TPen() = default;

TPen::~TPen() {
  if (handle_ != nullptr) DeleteObject(handle_);
}

void TPen::Assign(const TPen& other) {
  if (&other == this) return;
  color_ = other.color_;
  width_ = other.width_;
  style_ = other.style_;
  mode_ = other.mode_;
  Changed(true);
}

void TPen::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed(true);
}

void TPen::SetWidth(int width) {
  width = std::max(1, width);
  if (width == width_) return;
  width_ = width;
  Changed(true);
}

void TPen::SetStyle(TPenStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed(true);
}

void TPen::SetMode(TPenMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  Changed(false);   // the mode is the context's, not the pen object's
}

HPEN TPen::Handle() {
  if (handle_ == nullptr) handle_ = CreatePen(static_cast<int>(style_), width_, ColorToRGB(color_));
  return handle_;
}

void TPen::Changed(bool remake) {
  HPEN old = remake ? handle_ : nullptr;
  if (remake) handle_ = nullptr;
  if (OnChange) OnChange();
  if (old != nullptr) DeleteObject(old);
}

// ---- TBrush -----------------------------------------------------------------------------------

TBrush::TBrush() = default;

TBrush::~TBrush() {
  if (handle_ != nullptr && handle_ != HollowBrush()) DeleteObject(handle_);
}

void TBrush::Assign(const TBrush& other) {
  if (&other == this) return;
  color_ = other.color_;
  style_ = other.style_;
  Changed();
}

void TBrush::SetColor(TColor color) {
  if (color == color_ && style_ != bsClear) return;
  color_ = color;
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle style) {
  if (style == style_) return;
  style_ = style;
  Changed();
}

HBRUSH TBrush::Handle() {
  if (handle_ == nullptr) {
    handle_ = style_ == bsClear ? static_cast<HBRUSH>(HollowBrush()) : CreateSolidBrush(ColorToRGB(color_));
  }
  return handle_;
}

void TBrush::Changed() {
  HBRUSH old = handle_;
  handle_ = nullptr;
  if (OnChange) OnChange();
  if (old != nullptr && old != HollowBrush()) DeleteObject(old);
}

// ---- TFont ------------------------------------------------------------------------------------

TFont::TFont() : pixelsPerInch_(ScreenPixelsPerInch()) { height_ = -MulDiv(9, pixelsPerInch_, 72); }

TFont::~TFont() {
  if (handle_ != nullptr) DeleteObject(handle_);
}

void TFont::Assign(const TFont& other) {
  if (&other == this) return;
  name_ = other.name_;
  // A size in points stays the same size in points on a device of other dots per inch.
  height_ = other.pixelsPerInch_ == pixelsPerInch_ || other.height_ > 0
                ? other.height_
                : -MulDiv(other.Size(), pixelsPerInch_, 72);
  color_ = other.color_;
  style_ = other.style_;
  charset_ = other.charset_;
  Changed(true);
}

void TFont::SetName(const std::string& name) {
  if (name.empty() || name == name_) return;
  name_ = name;
  Changed(true);
}

int TFont::Size() const { return -MulDiv(height_, 72, pixelsPerInch_); }

void TFont::SetSize(int points) { SetHeight(-MulDiv(points, pixelsPerInch_, 72)); }

void TFont::SetPixelsPerInch(int ppi) {
  if (ppi < 1 || ppi == pixelsPerInch_) return;
  const int points = Size();
  pixelsPerInch_ = ppi;
  if (height_ < 0) {
    const int height = -MulDiv(points, ppi, 72);
    if (height != height_) {
      height_ = height;
      Changed(true);
    }
  }
}

void TFont::SetHeight(int height) {
  if (height == height_) return;
  height_ = height;
  Changed(true);
}

void TFont::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed(false);   // the text colour is the context's, not the font object's
}

void TFont::SetStyle(TFontStyles style) {
  if (style == style_) return;
  style_ = style;
  Changed(true);
}

void TFont::SetCharset(BYTE charset) {
  if (charset == charset_) return;
  charset_ = charset;
  Changed(true);
}

HFONT TFont::Handle() {
  if (handle_ == nullptr) {
    handle_ = CreateFontA(height_, 0, 0, 0, (style_ & FontStyleBit(fsBold)) != 0 ? FW_BOLD : FW_NORMAL,
                          (style_ & FontStyleBit(fsItalic)) != 0, (style_ & FontStyleBit(fsUnderline)) != 0,
                          (style_ & FontStyleBit(fsStrikeOut)) != 0, charset_, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, name_.c_str());
  }
  return handle_;
}

void TFont::Changed(bool remake) {
  HFONT old = remake ? handle_ : nullptr;
  if (remake) handle_ = nullptr;
  if (OnChange) OnChange();
  if (old != nullptr) DeleteObject(old);
}

// ---- TCanvas ----------------------------------------------------------------------------------

TCanvas::TCanvas() {
  pen_.OnChange = [this] { Deselect(oldPen_, selPen_); };
  brush_.OnChange = [this] { Deselect(oldBrush_, selBrush_); };
  font_.OnChange = [this] { Deselect(oldFont_, selFont_); };
}

TCanvas::~TCanvas() {
  DeselectObjects();
  pen_.OnChange = nullptr;
  brush_.OnChange = nullptr;
  font_.OnChange = nullptr;
}

HDC TCanvas::Handle() {
  RequireState();
  return dc_;
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == dc_) return;
  DeselectObjects();
  dc_ = dc;
  FollowResolution();
}

void TCanvas::FollowResolution() {
  if (dc_ == nullptr) return;
  const int ppi = GetDeviceCaps(dc_, LOGPIXELSY);
  if (ppi > 0) font_.SetPixelsPerInch(ppi);
}

void TCanvas::Deselect(HGDIOBJ& original, HGDIOBJ& selected) {
  if (selected != nullptr && original != nullptr && dc_ != nullptr) SelectObject(dc_, original);
  original = nullptr;
  selected = nullptr;
}

void TCanvas::DeselectObjects() {
  Deselect(oldPen_, selPen_);
  Deselect(oldBrush_, selBrush_);
  Deselect(oldFont_, selFont_);
}

void TCanvas::Select(HGDIOBJ object, HGDIOBJ& original, HGDIOBJ& selected) {
  if (object == nullptr || object == selected) return;
  HGDIOBJ previous = SelectObject(dc_, object);
  if (previous == nullptr) return;
  if (original == nullptr) original = previous;
  selected = object;
}

void TCanvas::RequireState() {
  if (dc_ == nullptr) {
    CreateHandle();
    FollowResolution();
  }
  if (dc_ == nullptr) return;
  Select(pen_.Handle(), oldPen_, selPen_);
  Select(brush_.Handle(), oldBrush_, selBrush_);
  Select(font_.Handle(), oldFont_, selFont_);
  SetROP2(dc_, Rop2Of(pen_.Mode()));
  SetTextColor(dc_, ColorToRGB(font_.Color()));
  SetBkColor(dc_, ColorToRGB(brush_.Color()));
  SetBkMode(dc_, brush_.Style() == bsClear ? TRANSPARENT : OPAQUE);
}

bool TCanvas::Ready() {
  RequireState();
  return dc_ != nullptr;
}

void TCanvas::Changed() {
  if (OnChange) OnChange();
}

TPoint TCanvas::PenPos() const {
  POINT p{0, 0};
  if (dc_ != nullptr) GetCurrentPositionEx(dc_, &p);
  return TPoint(p);
}

void TCanvas::MoveTo(int x, int y) {
  if (!Ready()) return;
  MoveToEx(dc_, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  if (!Ready()) return;
  ::LineTo(dc_, x, y);
  Changed();
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (!Ready()) return;
  ::Rectangle(dc_, left, top, right, bottom);
  Changed();
}

void TCanvas::RoundRect(int left, int top, int right, int bottom, int w, int h) {
  if (!Ready()) return;
  ::RoundRect(dc_, left, top, right, bottom, w, h);
  Changed();
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
  if (!Ready()) return;
  ::Ellipse(dc_, left, top, right, bottom);
  Changed();
}

void TCanvas::Polygon(const POINT* points, int count) {
  if (points == nullptr || count <= 0 || !Ready()) return;
  ::Polygon(dc_, points, count);
  Changed();
}

void TCanvas::Polyline(const POINT* points, int count) {
  if (points == nullptr || count <= 0 || !Ready()) return;
  ::Polyline(dc_, points, count);
  Changed();
}

void TCanvas::FillRect(const RECT& rect) {
  if (!Ready()) return;
  ::FillRect(dc_, &rect, brush_.Handle());
  Changed();
}

void TCanvas::FrameRect(const RECT& rect) {
  if (!Ready()) return;
  ::FrameRect(dc_, &rect, brush_.Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const RECT& rect) {
  if (!Ready()) return;
  ::DrawFocusRect(dc_, &rect);
  Changed();
}

// A scanline fill with GetPixel/SetPixel over the clip box, which also bounds its memory.
void TCanvas::FloodFill(int x, int y, TColor color, TFillStyle style) {
  if (!Ready()) return;
  RECT clip{};
  if (GetClipBox(dc_, &clip) == ERROR || x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
  const std::int64_t width = clip.right - clip.left, height = clip.bottom - clip.top;
  constexpr std::int64_t kMaxArea = 16 * 1024 * 1024;
  if (width <= 0 || height <= 0 || width * height > kMaxArea) return;
  const COLORREF target = ColorToRGB(color);
  const COLORREF paint = ColorToRGB(brush_.Color());
  auto fills = [&](COLORREF c) {
    if (c == CLR_INVALID) return false;
    return style == fsSurface ? c == target : c != target;
  };
  std::vector<bool> done(static_cast<std::size_t>(width * height), false);
  auto seen = [&](int px, int py) {
    return done[static_cast<std::size_t>((py - clip.top) * width + (px - clip.left))];
  };
  auto take = [&](int px, int py) {
    return !seen(px, py) && fills(GetPixel(dc_, px, py));
  };
  if (!take(x, y)) return;
  std::vector<POINT> pending{{x, y}};
  while (!pending.empty()) {
    POINT p = pending.back();
    pending.pop_back();
    if (!take(p.x, p.y)) continue;
    int l = p.x, r = p.x;
    while (l - 1 >= clip.left && take(l - 1, p.y)) --l;
    while (r + 1 < clip.right && take(r + 1, p.y)) ++r;
    for (int px = l; px <= r; ++px) {
      done[static_cast<std::size_t>((p.y - clip.top) * width + (px - clip.left))] = true;
      SetPixelV(dc_, px, p.y, paint);
    }
    for (int ny : {p.y - 1, p.y + 1}) {
      if (ny < clip.top || ny >= clip.bottom) continue;
      bool inRun = false;
      for (int px = l; px <= r; ++px) {
        const bool open = take(px, ny);
        if (open && !inRun) pending.push_back(POINT{px, ny});
        inRun = open;
      }
    }
  }
  Changed();
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  if (!Ready()) return;
  ::TextOutA(dc_, x, y, text.data(), static_cast<int>(text.size()));
  SIZE extent{};
  GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &extent);
  MoveToEx(dc_, x + extent.cx, y, nullptr);
  Changed();
}

void TCanvas::TextRect(const RECT& rect, int x, int y, const std::string& text) {
  if (!Ready()) return;
  UINT options = ETO_CLIPPED | (brush_.Style() != bsClear ? ETO_OPAQUE : 0);
  ::ExtTextOutA(dc_, x, y, options, &rect, text.data(), static_cast<UINT>(text.size()), nullptr);
  Changed();
}

SIZE TCanvas::TextExtent(const std::string& text) {
  SIZE size{0, 0};
  if (!Ready()) return size;
  if (!GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &size)) size = SIZE{0, 0};
  return size;
}

TColor TCanvas::Pixels(int x, int y) {
  if (!Ready()) return static_cast<TColor>(CLR_INVALID);
  return static_cast<TColor>(GetPixel(dc_, x, y));
}

void TCanvas::SetPixels(int x, int y, TColor color) {
  if (!Ready()) return;
  SetPixelV(dc_, x, y, ColorToRGB(color));
  Changed();
}

void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect) {
  if (source == nullptr || !Ready() || !source->Ready()) return;
  StretchBlt(dc_, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, source->dc_,
             sourceRect.left, sourceRect.top, sourceRect.right - sourceRect.left,
             sourceRect.bottom - sourceRect.top, copyMode_);
  Changed();
}

TRect TCanvas::ClipRect() {
  RECT r{0, 0, 0, 0};
  if (!Ready() || GetClipBox(dc_, &r) == ERROR) return TRect();
  return TRect(r);
}
