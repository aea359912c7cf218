// Platform-internal: what the window layer tells the drag-and-drop registry. UI thread only.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinUser.h"

class QEvent;

namespace zuvo::platform::dragdrop {

// The window is being destroyed: its registration (if any) is withdrawn and its target released.
void ForgetWindow(HWND window);

// A Qt drag event (enter, move, leave, drop) from another program on the window's client
// widget; true when it was one of those (it is then accepted or ignored here).
bool QtDragEvent(HWND window, QEvent* event);

}  // namespace zuvo::platform::dragdrop
