// Blits: copying between contexts and filling with the brush, combined by a raster operation.

#include "platform/internal/GdiSurface.h"
#include "platform/internal/PrinterBackend.h"

#include <algorithm>

namespace zuvo::platform::gdi {
namespace {

bool UsesSource(DWORD rop) {
  return rop != PATCOPY && rop != PATINVERT && rop != DSTINVERT && rop != BLACKNESS && rop != WHITENESS;
}

bool Combine(DWORD rop, std::uint32_t src, std::uint32_t dst, std::uint32_t pat, std::uint32_t* out) {
  std::uint32_t r;
  switch (rop) {
    case SRCCOPY: r = src; break;
    case SRCPAINT: r = src | dst; break;
    case SRCAND: r = src & dst; break;
    case SRCINVERT: r = src ^ dst; break;
    case SRCERASE: r = src & ~dst; break;
    case NOTSRCCOPY: r = ~src; break;
    case NOTSRCERASE: r = ~(src | dst); break;
    case MERGEPAINT: r = ~src | dst; break;
    case PATCOPY: r = pat; break;
    case PATINVERT: r = pat ^ dst; break;
    case DSTINVERT: r = ~dst; break;
    case BLACKNESS: r = 0; break;
    case WHITENESS: r = 0xFFFFFF; break;
    default: return false;
  }
  *out = r & 0xFFFFFF;
  return true;
}

// A negative extent runs backwards from its origin: the origin moves to the low end (in 64
// bits, as the origin may sit at the end of the int range) and the extent becomes positive.
void Normalise(long long& origin, long long& extent) {
  if (extent < 0) {
    origin += extent;
    extent = -extent;
  }
}

// A blit that cannot be done onto a printer's page ends the job with the printer exception, so a
// printout never goes out with a hole in it; onto any other context it only returns FALSE.
BOOL Failed(HDC dest) {
  PageDrawingFailed(dest);
  return FALSE;
}

BOOL Blit(HDC dest, long long x, long long y, long long width, long long height, HDC source, long long sx,
          long long sy, long long sw, long long sh, DWORD rop) {
  Surface d = SurfaceOf(dest);
  if (!d.ok()) return FALSE;
  std::uint32_t probe;
  if (!Combine(rop, 0, 0, 0, &probe)) return Failed(dest);
  QImage src;
  bool mirrorX = (width < 0) != (sw < 0), mirrorY = (height < 0) != (sh < 0);
  Normalise(x, width);
  Normalise(y, height);
  Normalise(sx, sw);
  Normalise(sy, sh);
  if (width == 0 || height == 0) return TRUE;
  if (UsesSource(rop)) {
    Surface s = SurfaceOf(source);
    if (!s.ok()) return Failed(dest);
    // A copy larger than any image could be is not attempted: it would take gigabytes.
    if (std::max({width, height, sw, sh}) > kDeviceLimit) return Failed(dest);
    QPoint origin = ToQPoint(s.Device(sx, sy));
    // A copy first, so that a blit within one image reads the pixels as they were.
    src = s.image->copy(origin.x(), origin.y(), static_cast<int>(sw), static_cast<int>(sh));
    if (sw != width || sh != height) {
      src = src.scaled(static_cast<int>(width), static_cast<int>(height), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    if (mirrorX || mirrorY) src = src.mirrored(mirrorX, mirrorY);
  }
  std::uint32_t pattern = 0;
  const DcState& st = d.dc->State();
  if (st.brush) pattern = Rgb24(st.brush->brush.lbColor);
  const DevicePoint to = d.Device(x, y);
  // Only the rows and columns that land inside the clip are visited.
  const long long firstRow = std::max<long long>(0, d.clip.top() - to.y);
  const long long lastRow = std::min<long long>(height - 1, d.clip.bottom() - to.y);
  const long long firstCol = std::max<long long>(0, d.clip.left() - to.x);
  const long long lastCol = std::min<long long>(width - 1, d.clip.right() - to.x);
  for (long long row = firstRow; row <= lastRow; ++row) {
    auto* line = reinterpret_cast<QRgb*>(d.image->scanLine(static_cast<int>(to.y + row)));
    const QRgb* srcLine = src.isNull() ? nullptr : reinterpret_cast<const QRgb*>(src.constScanLine(static_cast<int>(row)));
    for (long long col = firstCol; col <= lastCol; ++col) {
      const long long dx = to.x + col;
      std::uint32_t result = 0;
      std::uint32_t s = srcLine ? (srcLine[col] & 0xFFFFFF) : 0;
      Combine(rop, s, line[dx] & 0xFFFFFF, pattern, &result);
      line[dx] = 0xFF000000u | result;
    }
  }
  Changed(d);
  return TRUE;
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  return Blit(dest, x, y, width, height, source, sourceX, sourceY, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
  return Blit(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, rop);
}

BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
  if (UsesSource(rop)) return FALSE;
  return Blit(dc, x, y, width, height, nullptr, 0, 0, width, height, rop);
}

int SetStretchBltMode(HDC dc, int mode) { return GdiRegistry().FindContext(dc) ? (mode ? COLORONCOLOR : 0) : 0; }
