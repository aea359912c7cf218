// Lines, shapes, fills and pixels, drawn with the context's pen and brush through its ROP2 mode.

#include "platform/internal/GdiSurface.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace zuvo::platform::gdi {

void FillDevice(const Surface& s, QRect area, std::uint32_t color) {
  area &= s.clip;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) line[x] = 0xFF000000u | color;
  }
}

namespace {

COLORREF FromRgb(QRgb c) {
  return RGB(static_cast<BYTE>(qRed(c)), static_cast<BYTE>(qGreen(c)), static_cast<BYTE>(qBlue(c)));
}

// Mixes pen colour p with destination d (24-bit, 0xRRGGBB) by a ROP2 mode.
std::uint32_t Mix(int rop, std::uint32_t p, std::uint32_t d) {
  std::uint32_t r;
  switch (rop) {
    case R2_BLACK: r = 0; break;
    case R2_NOTMERGEPEN: r = ~(p | d); break;
    case R2_MASKNOTPEN: r = ~p & d; break;
    case R2_NOTCOPYPEN: r = ~p; break;
    case R2_MASKPENNOT: r = p & ~d; break;
    case R2_NOT: r = ~d; break;
    case R2_XORPEN: r = p ^ d; break;
    case R2_NOTMASKPEN: r = ~(p & d); break;
    case R2_MASKPEN: r = p & d; break;
    case R2_NOTXORPEN: r = ~(p ^ d); break;
    case R2_NOP: r = d; break;
    case R2_MERGENOTPEN: r = ~p | d; break;
    case R2_MERGEPENNOT: r = p | ~d; break;
    case R2_MERGEPEN: r = p | d; break;
    case R2_WHITE: r = 0xFFFFFF; break;
    default: r = p; break;   // R2_COPYPEN
  }
  return r & 0xFFFFFF;
}

inline void PutPixel(const Surface& s, int x, int y, int rop, std::uint32_t color) {
  if (!s.clip.contains(x, y)) return;
  auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
  std::uint32_t d = line[x] & 0xFFFFFF;
  line[x] = 0xFF000000u | Mix(rop, color, d);
}

bool PenVisible(const DcState& st) { return st.pen && (st.pen->pen.lopnStyle & PS_STYLE_MASK) != PS_NULL; }

bool BrushVisible(const DcState& st) { return st.brush && st.brush->brush.lbStyle != BS_NULL; }

int PenWidth(const DcState& st) { return st.pen ? std::max<int>(1, st.pen->pen.lopnWidth.x) : 1; }

QPointF ToQPointF(DevicePoint p) { return QPointF(static_cast<double>(p.x), static_cast<double>(p.y)); }

// Dash pattern of a one-pixel pen: on/off lengths, starting with on.
std::vector<int> Pattern(UINT style) {
  switch (style & PS_STYLE_MASK) {
    case PS_DASH: return {18, 6};
    case PS_DOT: return {3, 3};
    case PS_DASHDOT: return {9, 6, 3, 6};
    case PS_DASHDOTDOT: return {9, 3, 3, 3, 3, 3};
    case PS_ALTERNATE: return {1, 1};
    default: return {};
  }
}

// One-pixel line from a to b (device), b excluded, through the ROP2 mode. Styled pens fill
// their gaps with the background colour when the mode is OPAQUE.
// The pixels are those of the classic Bresenham walk (error starting at half the major length),
// computed per step so that only the steps inside the clip are visited: a line running far off
// the image (a ray of a drawing tool, coordinates near the int limits) costs no more than one
// across it, and nothing overflows.
void ThinLine(const Surface& s, DevicePoint a, DevicePoint b) {
  const DcState& st = s.dc->State();
  std::uint32_t color = Rgb24(st.pen->pen.lopnColor);
  std::uint32_t gap = Rgb24(st.bkColor);
  std::vector<int> pattern = Pattern(st.pen->pen.lopnStyle);
  const long long dx = std::llabs(b.x - a.x);
  const long long dy = std::llabs(b.y - a.y);
  const bool xMajor = dx > dy;
  const long long major = xMajor ? dx : dy;   // number of pixels (the end point is left out)
  const long long minor = xMajor ? dy : dx;
  if (major == 0 || s.clip.isEmpty()) return;
  const long long majorStart = xMajor ? a.x : a.y;
  const long long minorStart = xMajor ? a.y : a.x;
  const int majorStep = (xMajor ? a.x < b.x : a.y < b.y) ? 1 : -1;
  const int minorStep = (xMajor ? a.y < b.y : a.x < b.x) ? 1 : -1;
  // Steps whose major coordinate lies inside the clip.
  const long long clipLow = xMajor ? s.clip.left() : s.clip.top();
  const long long clipHigh = xMajor ? s.clip.right() : s.clip.bottom();
  long long first = 0, last = major - 1;
  if (majorStep > 0) {
    first = std::max(first, clipLow - majorStart);
    last = std::min(last, clipHigh - majorStart);
  } else {
    first = std::max(first, majorStart - clipHigh);
    last = std::min(last, majorStart - clipLow);
  }
  long long period = 0;
  for (int length : pattern) period += length;
  const long long error0 = major / 2;
  for (long long i = first; i <= last; ++i) {
    // After i steps the error is (error0 - i*minor) mod major, and the minor coordinate has
    // moved once for every major it wrapped.
    const __int128 travelled = static_cast<__int128>(i) * minor;
    const long long error = static_cast<long long>(((error0 - travelled) % major + major) % major);
    const long long moves = static_cast<long long>((error - error0 + travelled) / major);
    bool on = true;
    if (period > 0) {
      long long position = i % period;
      std::size_t segment = 0;
      while (position >= pattern[segment]) position -= pattern[segment++];
      on = segment % 2 == 0;
    }
    const long long majorAt = majorStart + majorStep * i;
    const long long minorAt = minorStart + minorStep * moves;
    const DevicePoint at = xMajor ? DevicePoint{majorAt, minorAt} : DevicePoint{minorAt, majorAt};
    if (!s.Contains(at)) continue;
    if (on) {
      PutPixel(s, static_cast<int>(at.x), static_cast<int>(at.y), st.rop2, color);
    } else if (st.bkMode == OPAQUE) {
      PutPixel(s, static_cast<int>(at.x), static_cast<int>(at.y), st.rop2, gap);
    }
  }
}

// Applies a colour through the ROP2 mode to every pixel covered by a mask (ARGB image placed at
// `origin`, device), skipping pixels also covered by `exclude` when given.
void ApplyMask(const Surface& s, const QImage& mask, QPoint origin, std::uint32_t color, int rop,
               const QImage* exclude = nullptr) {
  for (int my = 0; my < mask.height(); ++my) {
    const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(my));
    const auto* e = exclude ? reinterpret_cast<const QRgb*>(exclude->constScanLine(my)) : nullptr;
    for (int mx = 0; mx < mask.width(); ++mx) {
      if (qAlpha(m[mx]) == 0) continue;
      if (e != nullptr && qAlpha(e[mx]) != 0) continue;
      PutPixel(s, origin.x() + mx, origin.y() + my, rop, color);
    }
  }
}

// Draws a shape with pen and brush through the ROP2 mode; `path` is in device coordinates.
// The outline of a one-pixel pen is the path's outline drawn with a cosmetic pen.
void DrawShape(const Surface& s, const QPainterPath& path, bool fill) {
  const DcState& st = s.dc->State();
  bool pen = PenVisible(st);
  bool brush = fill && BrushVisible(st);
  if (!pen && !brush) return;
  int width = PenWidth(st);
  // Bounded by the clip before anything becomes int: the path may reach far off the image.
  const double margin = width + 1;
  QRectF reach = path.boundingRect().adjusted(-margin, -margin, margin, margin) & QRectF(s.clip);
  QRect bounds = reach.toAlignedRect() & s.clip;
  if (bounds.isEmpty()) return;
  QImage penMask(bounds.size(), QImage::Format_ARGB32);
  penMask.fill(Qt::transparent);
  QImage fillMask(bounds.size(), QImage::Format_ARGB32);
  fillMask.fill(Qt::transparent);
  QPainterPath local = path.translated(-bounds.topLeft());
  if (brush) {
    QPainter p(&fillMask);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillPath(local, Qt::black);
  }
  if (pen) {
    QPainter p(&penMask);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen qpen(Qt::black);
    qpen.setWidth(width == 1 ? 0 : width);
    qpen.setJoinStyle(Qt::RoundJoin);
    qpen.setCapStyle(Qt::RoundCap);
    UINT style = st.pen->pen.lopnStyle & PS_STYLE_MASK;
    if (style == PS_DOT) qpen.setStyle(Qt::DotLine);
    if (style == PS_DASH) qpen.setStyle(Qt::DashLine);
    if (style == PS_DASHDOT) qpen.setStyle(Qt::DashDotLine);
    if (style == PS_DASHDOTDOT) qpen.setStyle(Qt::DashDotDotLine);
    p.setPen(qpen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(local);
  }
  if (brush) ApplyMask(s, fillMask, bounds.topLeft(), Rgb24(st.brush->brush.lbColor), st.rop2, pen ? &penMask : nullptr);
  if (pen) ApplyMask(s, penMask, bounds.topLeft(), Rgb24(st.pen->pen.lopnColor), st.rop2);
  Changed(s);
}

QRectF BoxOf(const Surface& s, int left, int top, int right, int bottom) {
  DevicePoint a = s.Device(std::min(left, right), std::min(top, bottom));
  DevicePoint b = s.Device(std::max(left, right), std::max(top, bottom));
  // The outline runs through the centres of the pixels left..right-1.
  return QRectF(static_cast<double>(a.x), static_cast<double>(a.y), static_cast<double>(std::max(0LL, b.x - a.x - 1)),
                static_cast<double>(std::max(0LL, b.y - a.y - 1)));
}

// Fills the device pixels [left, right) x [top, bottom) that lie inside the clip through the
// ROP2 mode. Works on the clipped part only, so a rectangle far larger than the image costs
// what the image does.
void FillThroughRop(const Surface& s, long long left, long long top, long long right, long long bottom,
                    std::uint32_t color, int rop) {
  const long long x0 = std::max<long long>(left, s.clip.left());
  const long long x1 = std::min<long long>(right - 1, s.clip.right());
  const long long y0 = std::max<long long>(top, s.clip.top());
  const long long y1 = std::min<long long>(bottom - 1, s.clip.bottom());
  for (long long y = y0; y <= y1; ++y) {
    for (long long x = x0; x <= x1; ++x) PutPixel(s, static_cast<int>(x), static_cast<int>(y), rop, color);
  }
}

double AngleOf(const QRectF& box, DevicePoint p) {
  QPointF c = box.center();
  return std::atan2(-(static_cast<double>(p.y) - c.y()), static_cast<double>(p.x) - c.x()) * 180.0 / M_PI;
}

BOOL ArcShape(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2, bool pie) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QRectF box = BoxOf(s, left, top, right, bottom);
  // Arcs run counter-clockwise from the first radial to the second.
  double start = AngleOf(box, s.Device(x1, y1));
  double end = AngleOf(box, s.Device(x2, y2));
  double sweep = end - start;
  if (sweep <= 0) sweep += 360.0;
  QPainterPath path;
  if (pie) {
    path.moveTo(box.center());
    path.arcTo(box, start, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(box, start);
    path.arcTo(box, start, sweep);
  }
  DrawShape(s, path, pie);
  return TRUE;
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

BOOL MoveToEx(HDC dc, int x, int y, POINT* previous) {
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context) return FALSE;
  POINT old = std::exchange(context->State().position, POINT{x, y});
  if (previous != nullptr) *previous = old;
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC dc, POINT* position) {
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context || position == nullptr) return FALSE;
  *position = context->State().position;
  return TRUE;
}

BOOL LineTo(HDC dc, int x, int y) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  DcState& st = s.dc->State();
  POINT from = std::exchange(st.position, POINT{x, y});
  if (!PenVisible(st)) return TRUE;
  if (PenWidth(st) <= 1) {
    ThinLine(s, s.Device(from.x, from.y), s.Device(x, y));
    Changed(s);
  } else {
    QPainterPath path(ToQPointF(s.Device(from.x, from.y)));
    path.lineTo(ToQPointF(s.Device(x, y)));
    DrawShape(s, path, false);
  }
  return TRUE;
}

BOOL Polyline(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 2) return FALSE;
  DcPtr context = GdiRegistry().FindContext(dc);
  if (!context) return FALSE;
  POINT saved = context->State().position;
  MoveToEx(dc, points[0].x, points[0].y, nullptr);
  for (int i = 1; i < count; ++i) LineTo(dc, points[i].x, points[i].y);
  context->State().position = saved;
  return TRUE;
}

BOOL PolylineTo(HDC dc, const POINT* points, int count) {
  if (points == nullptr || count < 1 || !GdiRegistry().FindContext(dc)) return FALSE;
  for (int i = 0; i < count; ++i) LineTo(dc, points[i].x, points[i].y);
  return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  const DcState& st = s.dc->State();
  int l = std::min(left, right), r = std::max(left, right);
  int t = std::min(top, bottom), b = std::max(top, bottom);
  // Sizes in 64 bits: the corners may be anywhere in the int range.
  const long long width = static_cast<long long>(r) - l;
  const long long height = static_cast<long long>(b) - t;
  const DevicePoint corner = s.Device(l, t);
  bool pen = PenVisible(st);
  if (pen && PenWidth(st) <= 1) {
    if (BrushVisible(st) && width > 2 && height > 2) {
      FillThroughRop(s, corner.x + 1, corner.y + 1, corner.x + width - 1, corner.y + height - 1,
                     Rgb24(st.brush->brush.lbColor), st.rop2);
    }
    if (width >= 1 && height >= 1) {
      // The outline as a closed path with each corner drawn once.
      const long long x0 = corner.x, y0 = corner.y, x1 = corner.x + width - 1, y1 = corner.y + height - 1;
      DevicePoint p[5] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
      if (width == 1 || height == 1) {
        ThinLine(s, p[0], DevicePoint{x1 + (width == 1 ? 0 : 1), y1 + (height == 1 ? 0 : 1)});
      } else {
        for (int i = 0; i < 4; ++i) ThinLine(s, p[i], p[i + 1]);
      }
    }
    Changed(s);
    return TRUE;
  }
  if (!pen) {
    // Without a pen the filled area is one pixel smaller in each direction.
    if (BrushVisible(st) && width > 1 && height > 1) {
      FillThroughRop(s, corner.x, corner.y, corner.x + width - 1, corner.y + height - 1, Rgb24(st.brush->brush.lbColor),
                     st.rop2);
      Changed(s);
    }
    return TRUE;
  }
  QPainterPath path;
  path.addRect(BoxOf(s, l, t, r, b));
  DrawShape(s, path, true);
  return TRUE;
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int cornerWidth, int cornerHeight) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QPainterPath path;
  path.addRoundedRect(BoxOf(s, left, top, right, bottom), cornerWidth / 2.0, cornerHeight / 2.0);
  DrawShape(s, path, true);
  return TRUE;
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return FALSE;
  QPainterPath path;
  path.addEllipse(BoxOf(s, left, top, right, bottom));
  DrawShape(s, path, true);
  return TRUE;
}

BOOL Polygon(HDC dc, const POINT* points, int count) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || points == nullptr || count < 2) return FALSE;
  QPolygonF polygon;
  for (int i = 0; i < count; ++i) polygon << ToQPointF(s.Device(points[i].x, points[i].y));
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.addPolygon(polygon);
  path.closeSubpath();
  DrawShape(s, path, true);
  return TRUE;
}

BOOL Pie(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  return ArcShape(dc, left, top, right, bottom, x1, y1, x2, y2, true);
}

BOOL Arc(HDC dc, int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) {
  return ArcShape(dc, left, top, right, bottom, x1, y1, x2, y2, false);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Surface s = SurfaceOf(dc);
  ObjectPtr b = BrushObject(brush);
  if (!s.ok() || rect == nullptr || !b) return 0;
  if (b->brush.lbStyle == BS_NULL) return 1;
  FillDevice(s, DeviceRect(s, *rect), Rgb24(b->brush.lbColor));
  Changed(s);
  return 1;
}

int FrameRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Surface s = SurfaceOf(dc);
  ObjectPtr b = BrushObject(brush);
  if (!s.ok() || rect == nullptr || !b) return 0;
  QRect area = DeviceRect(s, *rect);
  if (area.isEmpty() || b->brush.lbStyle == BS_NULL) return 1;
  std::uint32_t color = Rgb24(b->brush.lbColor);
  FillDevice(s, QRect(area.left(), area.top(), area.width(), 1), color);
  FillDevice(s, QRect(area.left(), area.bottom(), area.width(), 1), color);
  FillDevice(s, QRect(area.left(), area.top(), 1, area.height()), color);
  FillDevice(s, QRect(area.right(), area.top(), 1, area.height()), color);
  Changed(s);
  return 1;
}

BOOL InvertRect(HDC dc, const RECT* rect) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || rect == nullptr) return FALSE;
  QRect area = DeviceRect(s, *rect) & s.clip;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) line[x] = 0xFF000000u | (~line[x] & 0xFFFFFF);
  }
  Changed(s);
  return TRUE;
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return CLR_INVALID;
  DevicePoint p = s.Device(x, y);
  if (!s.Contains(p)) return CLR_INVALID;
  const DcState& st = s.dc->State();
  if (s.dc->memory() && st.bitmap && st.bitmap->bitsPixel == 1) {
    // A two-colour bitmap takes the nearer of black and white, and says which it took.
    const std::uint32_t snapped = NearerBlackOrWhite(Rgb24(color));
    PutPixel(s, static_cast<int>(p.x), static_cast<int>(p.y), R2_COPYPEN, snapped);
    return snapped == 0 ? RGB(0, 0, 0) : RGB(255, 255, 255);
  }
  PutPixel(s, static_cast<int>(p.x), static_cast<int>(p.y), R2_COPYPEN, Rgb24(color));
  Changed(s);
  return color & 0xFFFFFF;
}

BOOL SetPixelV(HDC dc, int x, int y, COLORREF color) { return SetPixel(dc, x, y, color) != CLR_INVALID; }

COLORREF GetPixel(HDC dc, int x, int y) {
  Surface s = SurfaceOf(dc);
  if (!s.ok()) return CLR_INVALID;
  DevicePoint p = s.Device(x, y);
  if (p.x < 0 || p.y < 0 || p.x >= s.image->width() || p.y >= s.image->height()) return CLR_INVALID;
  return FromRgb(reinterpret_cast<const QRgb*>(s.image->constScanLine(static_cast<int>(p.y)))[p.x]);
}
