// Placeholder bodies: replaced by the canvas unit's implementation.
#include "platform/Canvas.h"

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  if (color == clNone || color == clDefault) return 0;
  return static_cast<COLORREF>(color);
}
TPen::TPen() = default;
TPen::~TPen() = default;
void TPen::Assign(const TPen&) {}
void TPen::SetColor(TColor c) { color_ = c; }
void TPen::SetWidth(int w) { width_ = w; }
void TPen::SetStyle(TPenStyle s) { style_ = s; }
void TPen::SetMode(TPenMode m) { mode_ = m; }
HPEN TPen::Handle() { return nullptr; }
void TPen::Changed() {}
TBrush::TBrush() = default;
TBrush::~TBrush() = default;
void TBrush::Assign(const TBrush&) {}
void TBrush::SetColor(TColor c) { color_ = c; }
void TBrush::SetStyle(TBrushStyle s) { style_ = s; }
HBRUSH TBrush::Handle() { return nullptr; }
void TBrush::Changed() {}
TFont::TFont() = default;
TFont::~TFont() = default;
void TFont::Assign(const TFont&) {}
void TFont::SetName(const std::string& n) { name_ = n; }
int TFont::Size() const { return 9; }
void TFont::SetSize(int) {}
void TFont::SetHeight(int h) { height_ = h; }
void TFont::SetColor(TColor c) { color_ = c; }
void TFont::SetStyle(TFontStyles s) { style_ = s; }
void TFont::SetCharset(BYTE c) { charset_ = c; }
HFONT TFont::Handle() { return nullptr; }
void TFont::Changed() {}
TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;
HDC TCanvas::Handle() { return dc_; }
void TCanvas::SetHandle(HDC dc) { dc_ = dc; }
TPoint TCanvas::PenPos() const { return {}; }
void TCanvas::MoveTo(int, int) {}
void TCanvas::LineTo(int, int) {}
void TCanvas::Rectangle(int, int, int, int) {}
void TCanvas::RoundRect(int, int, int, int, int, int) {}
void TCanvas::Ellipse(int, int, int, int) {}
void TCanvas::Polygon(const POINT*, int) {}
void TCanvas::Polyline(const POINT*, int) {}
void TCanvas::FillRect(const RECT&) {}
void TCanvas::FrameRect(const RECT&) {}
void TCanvas::DrawFocusRect(const RECT&) {}
void TCanvas::FloodFill(int, int, TColor, TFillStyle) {}
void TCanvas::TextOut(int, int, const std::string&) {}
void TCanvas::TextRect(const RECT&, int, int, const std::string&) {}
SIZE TCanvas::TextExtent(const std::string&) { return {}; }
TColor TCanvas::Pixels(int, int) { return 0; }
void TCanvas::SetPixels(int, int, TColor) {}
void TCanvas::CopyRect(const RECT&, TCanvas*, const RECT&) {}
TRect TCanvas::ClipRect() { return {}; }
void TCanvas::RequireState() {}
void TCanvas::DeselectObjects() {}
