// Platform-internal: painting of windows: the invalid (update) area of each window and the
// WM_PAINT cycle on its backing image. The Windows calls (BeginPaint, EndPaint, GetDC,
// ReleaseDC, InvalidateRect, ValidateRect, GetUpdateRect, UpdateWindow, RedrawWindow) are
// declared in WinUser.h; the invalid area itself is kept by the window record (Window.h). This
// header holds what the message queue needs of painting. UI thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/Window.h"

namespace zuvo::platform::win {

// Sends WM_NCPAINT to every visible window with an invalid frame and WM_PAINT (through the
// message hooks) to every visible invalid window, each at most once per call. A handler that
// does not validate gets no second WM_PAINT for the same damage. Returns how many windows were
// painted.
int PaintInvalidWindows();
// The first visible invalid window (matching the filter when not null) for WM_PAINT; null when
// none. AnyInvalidWindow says whether there is one.
HWND NextWindowToPaint(HWND filter);
bool AnyInvalidWindow(HWND filter);
// Dispatches a WM_PAINT taken from the queue to the window's procedure, after WM_NCPAINT when
// the frame is invalid; afterwards the damage the handler left unvalidated and unchanged is
// dropped. 0 for a dead window.
LRESULT DispatchPaint(HWND window, WPARAM wParam, LPARAM lParam);

}  // namespace zuvo::platform::win
