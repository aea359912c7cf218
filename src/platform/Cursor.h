// Cursors, the pointer, hover tracking and input made by the program itself.
//
// Cursors: LoadCursorA (WinUser.h) gives the system cursors for a null instance, the class
// library's own shapes for a null instance and the number's low word (LibraryCursorName), and
// the program's own cursors by name for the program's instance (GetModuleHandleA(nullptr)):
// "IDC_CROSS" is the picture <install root>/bin/cursors/IDC_CROSS.png (the name without regard
// to case; letters, digits and '_' only), its hot spot in the picture's "HotSpot" text ("x,y").
// An unknown name or a picture that does not load gives null. Cursors are never freed; loading
// one again gives the same handle.
//
// Which cursor shows (WM_SETCURSOR): each mouse message not going to a capture first asks the
// window under the mouse WM_NCHITTEST; its answer is the hit-test code of the WM_SETCURSOR that
// follows. The default handling asks the parent first and stops at a non-zero answer; for its
// own window it then shows the class cursor over the client area and the arrow elsewhere. While
// the mouse is captured no WM_SETCURSOR is sent.
//
// The pointer is virtual: the layer keeps it. Real moves update it, GetCursorPos reads it;
// SetCursorPos sets it, moves the real pointer where the windowing system lets a program do so
// (X11; offscreen and on Wayland only the virtual pointer moves) and delivers exactly one
// WM_MOUSEMOVE to the capture or else the window of ours under the new position. ClipCursor
// keeps the virtual pointer and the coordinates of delivered mouse messages inside a rectangle;
// the real pointer is not confined.
//
// keybd_event and mouse_event (platform/Desktop.h) reach our own windows while our program is
// in front: a key as if typed on a US keyboard, to the focus window; a button at the virtual
// pointer, to the capture or the window under it.
#pragma once

#include "platform/WinUser.h"

// The class library's own cursor shapes by cursor number: drag (-12), no-drop (-13), the split
// cursors (-14 across, -15 up and down) and multi-drag (-16), loaded with a null instance.
inline LPCSTR LibraryCursorName(short number) { return MAKEINTRESOURCEA(static_cast<WORD>(number)); }

// Keeps the pointer inside the rectangle (screen coordinates, right and bottom outside it); an
// inverted rectangle is put right way round; null lets it go anywhere. The virtual pointer moves
// inside at once. TRUE.
BOOL ClipCursor(const RECT* rect);
// The rectangle set, or the whole screen when none.
BOOL GetClipCursor(RECT* rect);

namespace zuvo::platform {

// TrackMouseEvent's TME_HOVER: one WM_MOUSEHOVER once the pointer stayed inside a box of this
// size around where it was (moving out starts a new box) for the hover time, on the tick source.
constexpr int kHoverBoxSize = 4;
constexpr DWORD kHoverDefaultTime = 400;   // milliseconds, for HOVER_DEFAULT

// Whether SetCursorPos moves the real pointer here (the xcb platform).
bool CanMoveRealPointer();

}  // namespace zuvo::platform
