// Platform-internal: a context resolved, for one drawing call, to the image it draws on, its
// clip and its origin, and the pixel helpers the drawing, text and blit units share. Device
// coordinates are 64-bit: a logical coordinate anywhere in the int range plus an origin anywhere
// in it does not fit an int, and such coordinates are normal (rays of drawing tools, bars of
// extreme prices in a scrolled view). UI thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/GdiRegistry.h"

#include <QImage>
#include <QPoint>
#include <QRect>

#include <cstdint>

namespace zuvo::platform::gdi {

struct DevicePoint {
  long long x = 0;
  long long y = 0;
};

// Qt's geometry is int: device coordinates are clamped to this far before they reach it. It lies
// beyond any image (a bitmap holds at most 64M pixels), so the visible part never changes, and
// well inside the int range, so Qt's width arithmetic cannot overflow.
constexpr long long kDeviceLimit = 1LL << 29;
int ClampToDevice(long long value);
QPoint ToQPoint(DevicePoint point);
// The nearest int, for results handed back in logical coordinates.
int SaturateToInt(long long value);

struct Surface {
  DcPtr dc;
  QImage* image = nullptr;
  QRect clip;   // device coordinates, inside the image
  long long offsetX = 0;   // device = logical + offset
  long long offsetY = 0;
  bool ok() const { return image != nullptr && !image->isNull(); }
  DevicePoint Device(long long x, long long y) const { return {x + offsetX, y + offsetY}; }
  bool Contains(DevicePoint p) const {
    return p.x >= clip.left() && p.x <= clip.right() && p.y >= clip.top() && p.y <= clip.bottom();
  }
};

// The surface of a context: no `dc` for a dead handle, no image when it has nothing to draw on.
Surface SurfaceOf(HDC handle);
// Tells a window context's window that its image changed.
void Changed(const Surface& s);

// The device rectangle of a logical one (right and bottom excluded), clamped; empty when the
// rectangle is.
QRect DeviceRect(const Surface& s, const RECT& r);
// Copies a colour into a device rectangle inside the clip (no ROP2).
void FillDevice(const Surface& s, QRect area, std::uint32_t color);

inline QRgb ToRgb(COLORREF c) { return qRgb(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline std::uint32_t Rgb24(COLORREF c) { return ToRgb(c) & 0xFFFFFF; }

}  // namespace zuvo::platform::gdi
