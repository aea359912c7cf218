// Platform-internal: the screen unit's side for the drawing and window units. The screen
// context reads its pixels here; the system metrics take the screen's size from here while a
// test picture stands in for it; ShowWindow lets a see-through window take the pixels beneath.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinUser.h"

#include <QImage>
#include <QRect>

#include <optional>

namespace zuvo::platform::screen {

// The screen's pixels now (Format_RGB32), from the source in force (platform/Screen.h). UI
// thread.
QImage Current();

// Our own visible windows composed over the desktop colour inside `area` (screen coordinates),
// the image covering exactly `area`. With `stopAt`, drawing stops where that window would be
// drawn: what remains is what lies beneath it. UI thread.
QImage ComposeScreen(const QRect& area, HWND stopAt = nullptr);

// The test picture's rectangle while one stands in for the screen. Any thread.
std::optional<QRect> TestPictureRect();

// Called as a window becomes visible: a WS_EX_TRANSPARENT window's image takes the composed
// pixels beneath its place. UI thread.
void StartWithPixelsBeneath(HWND window);

}  // namespace zuvo::platform::screen
