// Showing, moving and sizing windows, and their coordinates.
#include "platform/internal/ForeignWindows.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Screen.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowRegistry.h"


#include <QSize>

#include <algorithm>
#include <cstring>

using namespace zuvo::platform::win;

// ---- Showing, moving, sizing --------------------------------------------------------------

// Tracking sizes bound nothing unless a handler sets them: the window manager limits what the
// user drags, and the layer's own calls take the size they are given.
namespace {
constexpr LONG kUntrackedSize = 0x7FFF;
}  // namespace

namespace zuvo::platform::win {

MINMAXINFO AskMinMaxInfo(HWND window) {
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  MINMAXINFO info{};
  info.ptMaxSize = POINT{area.right - area.left, area.bottom - area.top};
  info.ptMaxPosition = POINT{area.left, area.top};
  info.ptMinTrackSize = POINT{0, 0};
  info.ptMaxTrackSize = POINT{kUntrackedSize, kUntrackedSize};
  CallProc(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return info;
}

int ClampToTracking(int size, LONG minimum, LONG maximum) {
  return std::max<int>(std::max<LONG>(minimum, 0), std::min<int>(size, maximum));
}

RECT DefaultClientArea(const Window& w, const RECT& windowRect) {
  RECT r = windowRect;
  if ((w.style & WS_CHILD) == 0) return r;
  // Outermost first: a static edge alone or a raised dialog frame, then a one-pixel line (the
  // dialog frame's face or WS_BORDER's), then the sunken client edge.
  const bool modalFrame = (w.exStyle & WS_EX_DLGMODALFRAME) != 0;
  int inset = 0;
  if (modalFrame) inset += 2;
  else if ((w.exStyle & WS_EX_STATICEDGE) != 0) inset += 1;
  if (modalFrame || (w.style & WS_BORDER) != 0) inset += 1;
  if ((w.exStyle & WS_EX_CLIENTEDGE) != 0) inset += 2;
  r.left += inset;
  r.top += inset;
  r.right = std::max(r.left, r.right - inset);
  r.bottom = std::max(r.top, r.bottom - inset);
  return r;
}

bool CalcClientArea(HWND window) {
  WindowPtr w = Find(window);
  if (!w) return false;
  RECT calc = w->rect;
  CallProc(window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
  if (!Find(window)) return false;
  const RECT& r = w->rect;
  if ((w->style & WS_CHILD) == 0) {
    // The window manager's frame lies outside the window.
    w->clientArea = RECT{0, 0, w->width(), w->height()};
    return true;
  }
  // Whatever the answer, the client area stays inside the window.
  const LONG left = std::clamp(calc.left, r.left, r.right);
  const LONG top = std::clamp(calc.top, r.top, r.bottom);
  const LONG right = std::clamp(calc.right, left, r.right);
  const LONG bottom = std::clamp(calc.bottom, top, r.bottom);
  w->clientArea = RECT{left - r.left, top - r.top, right - r.left, bottom - r.top};
  return true;
}

}  // namespace zuvo::platform::win

BOOL ShowWindow(HWND window, int command) {
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    return foreign ? foreign->Show(window, command) : FALSE;
  }
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
    if (command == SW_HIDE) {
      if (!wasVisible) return FALSE;
      CallProc(window, WM_SHOWWINDOW, FALSE, 0);
      w->style &= ~WS_VISIBLE;
      if (QWidget* outer = OuterWidget(*w)) outer->hide();
      if (HWND old = FocusWindow(); old != nullptr && IsInSubtree(old, window)) {
        WindowRegistry::Get().SetFocusHandle(nullptr);
        CallProc(old, WM_KILLFOCUS, 0, 0);
      }
      return wasVisible;
    }
    bool topLevel = (w->style & WS_CHILD) == 0;
    if (!wasVisible) {
      CallProc(window, WM_SHOWWINDOW, TRUE, 0);
      if (!Find(window)) return FALSE;
      w->style |= WS_VISIBLE;
      w->InvalidateWhole(true);
      w->InvalidateFrame();
    }
    if (topLevel && (command == SW_SHOWMAXIMIZED || command == SW_MINIMIZE ||
                     command == SW_SHOWMINIMIZED || command == SW_RESTORE)) {
      RECT r = w->rect;
      const bool wasNormal = (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) == 0;
      // Restoring goes back to where the window was before it was maximised or minimised.
      if (wasNormal && command != SW_RESTORE) w->normalRect = w->rect;
      if (command == SW_SHOWMAXIMIZED) {
        MINMAXINFO info = AskMinMaxInfo(window);
        w = Find(window);
        if (!w) return wasVisible;
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        r = RECT{info.ptMaxPosition.x, info.ptMaxPosition.y, info.ptMaxPosition.x + info.ptMaxSize.x,
                 info.ptMaxPosition.y + info.ptMaxSize.y};
      } else if (command == SW_RESTORE) {
        if (!wasNormal) r = w->normalRect;
        w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
      } else {
        w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
      }
      SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      w = Find(window);
      if (!w) return wasVisible;
    }
    // A see-through window starts as what lies beneath it.
    if (!wasVisible) zuvo::platform::screen::StartWithPixelsBeneath(window);
    bool activate = topLevel && command != SW_SHOWNOACTIVATE && command != SW_SHOWNA &&
                    command != SW_SHOWMINNOACTIVE && (w->exStyle & WS_EX_NOACTIVATE) == 0;
    if (w->widget != nullptr) {
      SyncWidgetGeometry(*w);
      // Without this the windowing system may activate the window it is asked to show.
      if (topLevel) w->widget->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
      OuterWidget(*w)->show();
    }
    if (activate) SetActiveWindow(window);
    return wasVisible;
  });
}

BOOL IsIconic(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_MINIMIZE) != 0 ? TRUE : FALSE;
}

BOOL IsZoomed(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_MAXIMIZE) != 0 ? TRUE : FALSE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    WINDOWPOS pos{window, insertAfter, x, y, std::max(0, width), std::max(0, height), flags};
    if (flags & SWP_NOMOVE) {
      pos.x = w->rect.left;
      pos.y = w->rect.top;
    }
    if (flags & SWP_NOSIZE) {
      pos.cx = w->width();
      pos.cy = w->height();
    }
    if ((flags & SWP_NOSIZE) == 0 && (w->style & WS_CHILD) == 0) {
      MINMAXINFO info = AskMinMaxInfo(window);
      if (!Find(window)) return FALSE;
      pos.cx = ClampToTracking(pos.cx, info.ptMinTrackSize.x, info.ptMaxTrackSize.x);
      pos.cy = ClampToTracking(pos.cy, info.ptMinTrackSize.y, info.ptMaxTrackSize.y);
    }
    CallProc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!Find(window)) return FALSE;
    bool moved = pos.x != w->rect.left || pos.y != w->rect.top;
    bool sized = std::max(0, pos.cx) != w->width() || std::max(0, pos.cy) != w->height();
    const QPoint oldClientPos = QPoint(w->rect.left, w->rect.top) + w->clientOffset();
    const QSize oldClientSize(w->clientWidth(), w->clientHeight());
    const RECT oldClientArea = w->clientArea;
    w->rect = RECT{pos.x, pos.y, pos.x + std::max(0, pos.cx), pos.y + std::max(0, pos.cy)};
    if (sized) w->ResizeImage();
    const bool frameChanged = (flags & SWP_FRAMECHANGED) != 0;
    if ((w->style & WS_CHILD) == 0) {
      w->clientArea = RECT{0, 0, w->width(), w->height()};
    } else if (sized || frameChanged) {
      // The edges are asked for again: a style change set through SetWindowLongPtrA shows here.
      if (!CalcClientArea(window)) return FALSE;
    }
    const bool clientMoved = QPoint(w->rect.left, w->rect.top) + w->clientOffset() != oldClientPos;
    const bool clientSized = QSize(w->clientWidth(), w->clientHeight()) != oldClientSize;
    const bool edgesChanged = std::memcmp(&oldClientArea, &w->clientArea, sizeof(RECT)) != 0;
    if ((flags & SWP_NOZORDER) == 0) {
      HWND after = pos.hwndInsertAfter;
      if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
      // A sibling handle places the window just below that sibling; HWND_TOP and the
      // topmost handles put it on top of its siblings.
      WindowPtr p = (w->style & WS_CHILD) != 0 ? Find(w->parent) : nullptr;
      WindowPtr sibling = p != nullptr && after != window ? Find(after) : nullptr;
      if (sibling && (sibling->parent != w->parent || (sibling->style & WS_CHILD) == 0)) sibling = nullptr;
      if (p) {
        if (after == HWND_BOTTOM) p->AddChildAtBottom(window);
        else if (sibling) p->AddChildBelow(window, after);
        else p->AddChildOnTop(window);
      }
      if (QWidget* outer = OuterWidget(*w)) {
        QWidget* siblingOuter = sibling ? OuterWidget(*sibling) : nullptr;
        if (after == HWND_BOTTOM) outer->lower();
        else if (siblingOuter != nullptr) outer->stackUnder(siblingOuter);
        else outer->raise();
      }
    }
    SyncWidgetGeometry(*w);
    if (flags & SWP_SHOWWINDOW) ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
    pos.flags = flags | (moved ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE) |
                (clientMoved ? 0 : kSwpNoClientMove) | (clientSized ? 0 : kSwpNoClientSize);
    if (moved || sized || clientMoved || clientSized) {
      CallProc(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
      w = Find(window);
    }
    if (w && (flags & SWP_NOREDRAW) == 0) {
      // A new size or new edges repaint the whole window, edges first.
      if (sized || clientSized || frameChanged || edgesChanged) w->InvalidateWhole(true);
      if (sized || frameChanged) w->InvalidateFrame();
    }
    return TRUE;
  });
}

BOOL BringWindowToTop(HWND window) {
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    if (foreign) return foreign->BringToTop(window);
  }
  return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetClientRect(HWND window, RECT* rect) {
  WindowPtr w = Find(window);
  if (!w || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, w->clientWidth(), w->clientHeight()};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  WindowPtr w = Find(window);
  if (rect == nullptr) return FALSE;
  if (!w) {
    auto foreign = FindForeign(window);
    return foreign && foreign->Rect(window, rect) ? TRUE : FALSE;
  }
  QPoint origin = WindowOrigin(*w);
  *rect = RECT{origin.x(), origin.y(), origin.x() + w->width(), origin.y() + w->height()};
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  WindowPtr w = Find(window);
  if (!w || point == nullptr) return FALSE;
  QPoint origin = ClientOrigin(*w);
  point->x += origin.x();
  point->y += origin.y();
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  WindowPtr w = Find(window);
  if (!w || point == nullptr) return FALSE;
  QPoint origin = ClientOrigin(*w);
  point->x -= origin.x();
  point->y -= origin.y();
  return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
  QPoint a, b;
  if (from != nullptr && from != GetDesktopWindow()) {
    WindowPtr w = Find(from);
    if (!w) return 0;
    a = ClientOrigin(*w);
  }
  if (to != nullptr && to != GetDesktopWindow()) {
    WindowPtr w = Find(to);
    if (!w) return 0;
    b = ClientOrigin(*w);
  }
  int dx = a.x() - b.x(), dy = a.y() - b.y();
  for (UINT i = 0; points != nullptr && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return static_cast<int>(MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy)));
}

