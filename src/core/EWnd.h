// EWnd: the base of the program's small self-drawn windows (tooltip, command strip, menu bar,
// quick-order bar, the hidden socket window). Every instance uses the one window class "EWnd";
// its shared procedure finds the object behind a handle in a handle map and forwards each
// message to the object's virtual WindowProc. UI thread only; no locking.
// Messages before WM_CREATE (WM_NCCREATE, WM_NCCALCSIZE) find no object and get default
// processing. `width` and `height` are updated from WM_SIZE before the subclass sees it.
// An object with `autoDelete` set lives exactly as long as its window: the procedure deletes it
// after WM_NCDESTROY, and its owner must not delete it while the window exists. Such an object
// that destroys its own window from inside WindowProc is gone when DestroyWindow returns: it
// must not touch its members afterwards.
// Deleting an object destroys its window from ~EWnd, when the subclass part is already gone:
// the window's last messages reach EWnd::WindowProc only. A subclass that must see its own
// WM_DESTROY calls Destroy() in its destructor.
#pragma once

#include "core/EMap.h"
#include "platform/WinUser.h"

extern const char kEWndClassName[];   // "EWnd"

class EWnd {
 public:
  // Unbound (no handle); registers the class and sizes the handle map on first use.
  EWnd();
  // Destroys the window first when there still is one.
  virtual ~EWnd();
  EWnd(const EWnd&) = delete;
  EWnd& operator=(const EWnd&) = delete;

  // Creates the native window of class "EWnd" without title or menu. 1 when the object is bound
  // to the new window, 0 otherwise (creation failed, or the handle could not be entered in the
  // map, in which case the window is destroyed again). An autoDelete object whose window is
  // refused or destroyed during creation has been deleted when 0 comes back.
  int Create(DWORD exStyle, DWORD style, int x, int y, int width, int height, HWND parent);
  // The object's window procedure; the base gives default processing for `handle`.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // A context of the window (null when unbound); give it back with ReleaseDC.
  HDC GetDC();
  void ReleaseDC(HDC dc);
  // Width and height of the text (zero-terminated GBK). Uses the window's own context when dc
  // is null (released before returning) and selects the font for the measurement only. {0, 0}
  // when there is neither a context nor a window.
  SIZE GetTextExtent(const char* text, HDC dc = nullptr, HFONT font = nullptr);
  void Repaint();
  // Invalidates, erases and repaints the whole window at once.
  void Redraw();
  // Destroys the window (nothing when unbound).
  void Destroy();

  HWND handle = nullptr;
  int autoDelete = 0;
  int width = 0;
  int height = 0;
};

// The object bound to a window handle, or null.
EWnd* LookupEWnd(HWND window);

// The handle map (131 buckets once the class is registered, 10 nodes per block); for tests.
EMap<void*, EWnd*>& EWndHandleMap();
