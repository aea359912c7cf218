#include "widgets/XpFlatBorder.h"

#include "platform/Gdi.h"

namespace zuvo::widgets {

void ApplyFlatBorderStyle(TCreateParams& params) {
  params.Style &= ~WS_BORDER;
  params.ExStyle &= ~kXpEdgeExStyles;
  params.ExStyle |= WS_EX_STATICEDGE;
}

void PaintFlatBorder(HWND window) {
  if (window == nullptr || !IsWindow(window)) return;
  HDC dc = GetWindowDC(window);
  if (dc == nullptr) return;
  RECT bounds{};
  GetWindowRect(window, &bounds);
  // The frame lies exactly over the one-pixel static edge: the client area is not touched.
  const RECT frame{0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top};
  HBRUSH brush = CreateSolidBrush(kXpBorderColor);
  FrameRect(dc, &frame, brush);
  DeleteObject(brush);
  ReleaseDC(window, dc);
}

bool RequestMouseLeave(HWND window) {
  if (window == nullptr) return false;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window;
  track.dwHoverTime = HOVER_DEFAULT;
  return TrackMouseEvent(&track) != FALSE;
}

}  // namespace zuvo::widgets
