// Platform-internal: the cursor unit's side of the input path. The input unit tells it where
// the pointer went (virtual pointer, hover) and asks it to clamp; the focus unit shows cursors
// through it.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinUser.h"

#include <QCursor>

namespace zuvo::platform::cursor {

// The Qt cursor of a cursor handle: blank for null, the arrow for a handle that is no cursor.
QCursor QtCursorOf(HCURSOR cursor);

// The virtual pointer (any thread).
POINT Pointer();
// A point held inside ClipCursor's rectangle (itself when none is set).
POINT Clamp(POINT screen);
// A real mouse event at `screen` (clamped already) over `window`: the virtual pointer follows,
// and hover tracking looks at it. `isMove` says whether the event is a move. UI thread.
void PointerMoved(HWND window, POINT screen, bool isMove);
// The pointer left the window (to another or off our windows): its hover ends. UI thread.
void MouseLeft(HWND window);
// True (once) when a real move arrives exactly where SetCursorPos just put the real pointer:
// the windowing system's echo of that move, which SetCursorPos delivered already.
bool TakeMoveEcho(POINT screen);

// TrackMouseEvent's TME_HOVER part (UI thread): arms (time 0 or HOVER_DEFAULT: the default) or,
// with `cancel`, withdraws it. False for a dead window.
bool TrackHover(HWND window, DWORD hoverTime, bool cancel);

// The class cursor default of WM_SETCURSOR: asks the parent of a child window first and gives
// its answer when non-zero; 0 when there is no parent or it did not answer.
LRESULT AskParent(HWND window, WPARAM wParam, LPARAM lParam);

}  // namespace zuvo::platform::cursor

namespace zuvo::platform::input {
// Hands a mouse event at a screen point to `window`'s widget, as the windowing system would
// deliver it: `message` WM_MOUSEMOVE or WM_[LR]BUTTONDOWN/UP; `keys` the MK_ flags held after
// it. False when the window has no widget. UI thread.
bool DeliverMouseAt(HWND window, UINT message, POINT screen, WPARAM keys);
// A key typed on a US keyboard layout, as the windowing system would deliver it to the focus
// window (or the active window when nothing has the focus); `modifiers` (MK_SHIFT, MK_CONTROL,
// kSimulatedAlt) are the modifier keys held, Shift giving the shifted character. False when no
// window of ours takes keys. UI thread.
bool DeliverKey(BYTE virtualKey, BYTE scanCode, bool down, UINT modifiers);
}  // namespace zuvo::platform::input
