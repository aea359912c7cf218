// TransparentBlt and AlphaBlend: a source rectangle stretched onto the destination and merged
// pixel by pixel, inside the destination's clip.

#include "platform/GdiTransparent.h"

#include "platform/internal/GdiSurface.h"

#include <algorithm>

namespace zuvo::platform::gdi {
namespace {

// How one source pixel lands on one destination pixel.
using Merge = QRgb (*)(QRgb source, QRgb destination, const void* context);

BOOL MergeBlit(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh,
               Merge merge, const void* context) {
  Surface d = SurfaceOf(dest);
  Surface s = SurfaceOf(source);
  if (!d.ok() || !s.ok()) return FALSE;
  if (width < 0 || height < 0 || sw < 0 || sh < 0) return FALSE;
  if (width == 0 || height == 0 || sw == 0 || sh == 0) return TRUE;
  // The source must lie inside its image: reading beyond it would invent pixels.
  const DevicePoint from = s.Device(sx, sy);
  if (from.x < 0 || from.y < 0 || from.x + sw > s.image->width() || from.y + sh > s.image->height()) return FALSE;
  // A blit within one image reads the pixels as they were.
  const QImage src = s.image->copy(static_cast<int>(from.x), static_cast<int>(from.y), sw, sh)
                         .convertToFormat(QImage::Format_ARGB32);

  // Only the destination pixels inside the clip are visited, each taking its nearest source
  // pixel, so a huge stretch costs no more than the clip.
  const DevicePoint to = d.Device(x, y);
  const long long firstRow = std::max<long long>(0, d.clip.top() - to.y);
  const long long lastRow = std::min<long long>(height - 1, d.clip.bottom() - to.y);
  const long long firstCol = std::max<long long>(0, d.clip.left() - to.x);
  const long long lastCol = std::min<long long>(width - 1, d.clip.right() - to.x);
  for (long long row = firstRow; row <= lastRow; ++row) {
    auto* line = reinterpret_cast<QRgb*>(d.image->scanLine(static_cast<int>(to.y + row)));
    const auto* srcLine = reinterpret_cast<const QRgb*>(src.constScanLine(static_cast<int>(row * sh / height)));
    for (long long col = firstCol; col <= lastCol; ++col) {
      const long long dx = to.x + col;
      line[dx] = 0xFF000000u | (merge(srcLine[col * sw / width], line[dx], context) & 0xFFFFFF);
    }
  }
  Changed(d);
  return TRUE;
}

QRgb KeepUnlessTransparent(QRgb source, QRgb destination, const void* context) {
  const std::uint32_t transparent = *static_cast<const std::uint32_t*>(context);
  return (source & 0xFFFFFF) == transparent ? destination : source;
}

int Blend(int source, int destination, int alpha, int sourceFactor) {
  // Rounded to the nearest, as the eye would not forgive a drift towards black.
  return std::clamp((source * sourceFactor + destination * (255 - alpha) + 127) / 255, 0, 255);
}

QRgb BlendOver(QRgb source, QRgb destination, const void* context) {
  const BLENDFUNCTION& blend = *static_cast<const BLENDFUNCTION*>(context);
  const int constant = blend.SourceConstantAlpha;
  // Per-pixel alpha scales the (premultiplied) source's coverage; the constant scales both.
  const int alpha = blend.AlphaFormat & AC_SRC_ALPHA ? (qAlpha(source) * constant + 127) / 255 : constant;
  return qRgb(Blend(qRed(source), qRed(destination), alpha, constant),
              Blend(qGreen(source), qGreen(destination), alpha, constant),
              Blend(qBlue(source), qBlue(destination), alpha, constant));
}

}  // namespace
}  // namespace zuvo::platform::gdi

using namespace zuvo::platform::gdi;

BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, UINT transparentColor) {
  const std::uint32_t transparent = Rgb24(transparentColor);
  return MergeBlit(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
                   &KeepUnlessTransparent, &transparent);
}

BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend) {
  if (blend.BlendOp != AC_SRC_OVER) return FALSE;
  return MergeBlit(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, &BlendOver,
                   &blend);
}
