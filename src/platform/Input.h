// Keyboard and mouse input: Qt's events on a window's widget become queued WM_KEYDOWN, WM_CHAR
// (GBK bytes, lead byte first), WM_SYSKEYDOWN (with Alt), mouse and wheel messages with Windows
// virtual-key codes; GetKeyState follows them as they are taken from the queue (WinUser.h).
// Keys go to the focus window, mouse messages to the capturing window or the window under the
// mouse, the wheel to the focus window. Disabled windows get no input. A click on a window of
// an inactive top-level window first sends it WM_MOUSEACTIVATE, whose answer decides activation
// and whether the click is delivered. A held key gives repeated WM_KEYDOWN (previous-state bit
// 30 set) and one WM_KEYUP: the auto-repeat releases of the windowing system are dropped.
// The Simulate... calls are test seams: they build the Qt event a windowing system would deliver
// and hand it to the window's widget, so the input takes the real path. UI thread only; false
// for a dead window.
#pragma once

#include "platform/WinUser.h"

namespace zuvo::platform {

constexpr UINT kSimulatedAlt = 0x0100;   // with MK_SHIFT and MK_CONTROL in `modifiers`

// autoRepeat flags the event as one of a held key's repeats, as X11 delivers them (release and
// press pairs).
bool SimulateKey(HWND window, int virtualKey, bool down, UINT modifiers, const char* gbkText = nullptr,
                 bool autoRepeat = false);
// message: WM_MOUSEMOVE, WM_[LRM]BUTTONDOWN/UP/DBLCLK; x, y in the window's client coordinates;
// keys: MK_ flags held after the event.
bool SimulateMouse(HWND window, UINT message, int x, int y, WPARAM keys);
bool SimulateWheel(HWND window, int delta, int x, int y, WPARAM keys = 0);
// Text committed by an input method (Chinese input).
bool SimulateCommittedText(HWND window, const char* gbkText);
// The user closing a top-level window with its close box: the window gets WM_CLOSE from inside
// the widget's close event. False for a child or dead window.
bool SimulateCloseRequest(HWND window);

}  // namespace zuvo::platform
