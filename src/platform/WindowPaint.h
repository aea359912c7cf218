// Painting of windows: the invalid (update) area of each window and the WM_PAINT cycle on its
// backing image. The Windows calls (BeginPaint, EndPaint, GetDC, ReleaseDC, InvalidateRect,
// ValidateRect, GetUpdateRect, UpdateWindow, RedrawWindow) are declared in WinUser.h; this
// header holds what the message queue and the window unit need of it. UI thread unless said.
// The invalid area is kept as one rectangle (the union of what was invalidated).
#pragma once

#include "platform/Window.h"

namespace platform::win {

// Marks the whole client area invalid (asking for WM_ERASEBKGND when erase is set) and wakes
// the queue so that WM_PAINT follows.
void InvalidateWhole(Window& window, bool erase);
// Sends WM_PAINT (through the message hooks) to every visible invalid window, each at most once
// per call. A handler that does not validate gets no second WM_PAINT for the same damage.
// Returns how many windows were painted.
int PaintInvalidWindows();
// The first visible invalid window (matching the filter when not null) for WM_PAINT; null when
// none. AnyInvalidWindow says whether there is one.
HWND NextWindowToPaint(HWND filter);
bool AnyInvalidWindow(HWND filter);

}  // namespace platform::win
