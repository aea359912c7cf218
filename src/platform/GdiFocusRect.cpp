// The focus rectangle: a dotted frame drawn by inverting, so that drawing it again takes it away.

#include "platform/internal/GdiSurface.h"

using namespace zuvo::platform::gdi;

BOOL DrawFocusRect(HDC dc, const RECT* rect) {
  Surface s = SurfaceOf(dc);
  if (!s.ok() || rect == nullptr) return FALSE;
  const QRect frame = DeviceRect(s, *rect);
  if (frame.isEmpty()) return TRUE;
  // Each pixel of the frame is visited once, also where the sides meet or coincide (a frame one
  // pixel wide or high), or a second inversion would undo the first within one call. Only rows
  // and columns inside the clip are walked: the frame may reach far beyond the image.
  const QRect seen = frame & s.clip;
  if (seen.isEmpty()) return TRUE;
  auto invert = [&](int x, int y) {
    if ((x + y) % 2 != 0) return;
    auto* line = reinterpret_cast<QRgb*>(s.image->scanLine(y));
    line[x] = 0xFF000000u | (~line[x] & 0xFFFFFF);
  };
  for (int y = seen.top(); y <= seen.bottom(); ++y) {
    if (y == frame.top() || y == frame.bottom()) {
      for (int x = seen.left(); x <= seen.right(); ++x) invert(x, y);
      continue;
    }
    if (seen.contains(frame.left(), y)) invert(frame.left(), y);
    if (frame.right() != frame.left() && seen.contains(frame.right(), y)) invert(frame.right(), y);
  }
  Changed(s);
  return TRUE;
}
