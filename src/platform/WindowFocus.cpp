// Focus, activation, mouse capture, mouse tracking and cursors. The handles live in the window
// registry; every change to them runs on the UI thread (the calls below marshal there).
#include "platform/internal/Cursor.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowRegistry.h"

#include <QApplication>
#include <QCursor>

namespace zuvo::platform::win {
namespace {

WindowRegistry& Registry() { return WindowRegistry::Get(); }

}  // namespace

HWND FocusWindow() { return Registry().focus(); }
HWND ActiveWindow() { return Registry().active(); }
HWND CaptureWindow() { return Registry().capture(); }
HWND MouseWindow() { return Registry().mouse(); }

namespace {

// The windowing system may activate a window shown without activation (the offscreen platform
// always does); the window that was active then stays so here.
bool QtActivatedAWindowNeverActive() {
  auto* host = dynamic_cast<HostWidget*>(QApplication::activeWindow());
  if (host == nullptr) return false;
  WindowPtr w = Find(host->window());
  return w && (w->exStyle & WS_EX_NOACTIVATE) != 0;
}

}  // namespace

void ActivateFromQt(HWND window, bool active) {
  if (active) {
    // A window made never to be activated is activated only by an explicit call.
    WindowPtr w = Find(window);
    if (w && (w->exStyle & WS_EX_NOACTIVATE) != 0) return;
    // A disabled window (the owner of a modal dialog) is not activated by the window manager's
    // late notice either.
    if (w && !IsWindowEnabled(window)) return;
    if (Registry().active() != window) SetActiveWindow(window);
  } else if (Registry().active() == window && !QtActivatedAWindowNeverActive()) {
    Registry().SetActiveHandle(nullptr);
    CallProc(window, WM_ACTIVATE, WA_INACTIVE, 0);
  }
}

void MouseOver(HWND window) {
  HWND& mouse = Registry().mouse();
  if (mouse == window) return;
  HWND left = mouse;
  mouse = window;
  if (left != nullptr) cursor::MouseLeft(left);
  if (WindowPtr w = Find(left); w && w->trackLeave) {
    w->trackLeave = false;
    PostMessageA(left, WM_MOUSELEAVE, 0, 0);
  }
}

void ApplyCursor(HWND window) {
  WindowPtr w = Find(window);
  if (!w || w->widget == nullptr) return;
  w->widget->setCursor(cursor::QtCursorOf(Registry().cursor.load()));
}

}  // namespace zuvo::platform::win

using namespace zuvo::platform::win;

// ---- Focus, activation, capture -----------------------------------------------------------

HWND SetFocus(HWND window) {
  return OnUi([&]() -> HWND {
    WindowRegistry& registry = Registry();
    HWND old = registry.focus();
    if (window == nullptr) {
      registry.SetFocusHandle(nullptr);
      if (old != nullptr) CallProc(old, WM_KILLFOCUS, 0, 0);
      return old;
    }
    WindowPtr w = Find(window);
    if (!w || (w->style & WS_DISABLED) != 0) return nullptr;
    if (window == old) return old;
    HWND root = RootOf(window);
    if (registry.active() != root) {
      SetActiveWindow(root);
      if (registry.focus() == window) return old;   // activation already moved the focus here
      old = registry.focus();
    }
    if (old != nullptr) CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (!Find(window)) return old;
    registry.SetFocusHandle(window);
    CallProc(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    if (WindowPtr r = Find(root); r && r->widget != nullptr && r->widget->isVisible()) {
      // A window hosting a Qt widget gives that widget Qt's focus (caret, input method); keys
      // still come to our queue first, through the hosted widget's event filter.
      WindowPtr f = Find(window);
      if (f && f->hosted != nullptr && f->hosted->isVisible()) {
        f->hosted->setFocus(Qt::OtherFocusReason);
      } else {
        r->widget->setFocus(Qt::OtherFocusReason);
      }
    }
    return old;
  });
}

HWND GetFocus() { return Registry().focus(); }

HWND SetActiveWindow(HWND window) {
  return OnUi([&]() -> HWND {
    WindowRegistry& registry = Registry();
    HWND root = RootOf(window);
    if (root == nullptr) return nullptr;
    HWND old = registry.active();
    if (old == root) return old;
    if (old != nullptr && Find(old)) {
      registry.SetActiveHandle(nullptr);
      CallProc(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(root));
      if (HWND focus = registry.focus(); focus != nullptr && RootOf(focus) == old) {
        registry.SetFocusHandle(nullptr);
        CallProc(focus, WM_KILLFOCUS, 0, 0);
      }
    }
    if (!Find(root)) return old;
    registry.SetActiveHandle(root);
    CallProc(root, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    if (WindowPtr r = Find(root); r && r->widget != nullptr && r->widget->isVisible() &&
                                  !r->widget->isActiveWindow()) {
      r->widget->activateWindow();
    }
    return old;
  });
}

HWND GetActiveWindow() { return Registry().active(); }
BOOL SetForegroundWindow(HWND window) {
  return SetActiveWindow(window) != nullptr || Registry().active() == RootOf(window);
}
HWND GetForegroundWindow() { return Registry().active(); }

HWND SetCapture(HWND window) {
  return OnUi([&]() -> HWND {
    WindowRegistry& registry = Registry();
    HWND old = registry.capture();
    if (!Find(window)) return nullptr;
    registry.SetCaptureHandle(window);
    if (old != nullptr && old != window) CallProc(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    return old;
  });
}

BOOL ReleaseCapture() {
  return OnUi([&]() -> BOOL {
    HWND old = Registry().capture();
    Registry().SetCaptureHandle(nullptr);
    if (old != nullptr) CallProc(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
  });
}

HWND GetCapture() { return Registry().capture(); }

BOOL _TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (track == nullptr) return FALSE;
  // Mouse tracking belongs to the thread of the window, the UI thread.
  if (!zuvo::platform::IsUiThread()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  WindowPtr w = Find(track->hwndTrack);
  if (!w) return FALSE;
  if ((track->dwFlags & TME_HOVER) != 0) {
    zuvo::platform::cursor::TrackHover(track->hwndTrack, track->dwHoverTime, (track->dwFlags & TME_CANCEL) != 0);
  }
  if ((track->dwFlags & TME_LEAVE) == 0) return TRUE;
  if (track->dwFlags & TME_CANCEL) {
    w->trackLeave = false;
    return TRUE;
  }
  // Asked while the mouse is elsewhere: the leave is reported at once.
  if (Registry().mouse() != track->hwndTrack) {
    PostMessageA(track->hwndTrack, WM_MOUSELEAVE, 0, 0);
    return TRUE;
  }
  w->trackLeave = true;
  return TRUE;
}

// ---- Cursors ------------------------------------------------------------------------------

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = Registry().cursor.exchange(cursor);
  // Widgets change only on the UI thread.
  if (zuvo::platform::IsUiThread()) {
    HWND target = Registry().capture() != nullptr ? Registry().capture() : Registry().mouse();
    if (target != nullptr) ApplyCursor(target);
  }
  return old;
}

HCURSOR GetCursor() { return Registry().cursor.load(); }

int ShowCursor(BOOL show) { return Registry().cursorShowCount += show ? 1 : -1; }
