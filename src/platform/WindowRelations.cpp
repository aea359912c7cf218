// How windows relate: parents, owners, siblings in z-order, ancestors, and the searches over
// the live windows.
#include "platform/internal/ForeignWindows.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include "platform/Text.h"

#include <algorithm>

using namespace zuvo::platform::win;

BOOL IsChild(HWND parent, HWND window) {
  if (parent == nullptr || window == parent) return FALSE;
  return IsInSubtree(window, parent) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
  WindowPtr w = Find(window);
  if (!w) {
    auto foreign = FindForeign(window);
    return foreign ? foreign->Parent(window) : nullptr;
  }
  return (w->style & WS_CHILD) != 0 ? w->parent : w->owner;
}

HWND SetParent(HWND window, HWND newParent) {
  return OnUi([&]() -> HWND {
    WindowPtr w = Find(window);
    if (!w) return nullptr;
    WindowPtr np = newParent ? Find(newParent) : nullptr;
    if (newParent != nullptr && (!np || IsInSubtree(newParent, window))) return nullptr;
    HWND old = w->parent;
    if (WindowPtr op = Find(w->parent)) op->RemoveChild(window);
    w->parent = newParent;
    if (np) {
      np->AddChildOnTop(window);
      w->style |= WS_CHILD;
      w->style &= ~WS_POPUP;
    } else {
      w->style &= ~WS_CHILD;
      // A top-level window has no edges of its own.
      w->clientArea = RECT{0, 0, w->width(), w->height()};
    }
    SetWidgetParent(*w);
    return old != nullptr ? old : GetDesktopWindow();
  });
}

HWND GetWindow(HWND window, UINT relation) {
  WindowPtr w = Find(window);
  if (!w) {
    auto foreign = FindForeign(window);
    return foreign ? foreign->Relative(window, relation) : nullptr;
  }
  if (relation == GW_CHILD) return w->children().empty() ? nullptr : w->children().back();
  if (relation == GW_OWNER) return w->owner;
  std::vector<HWND> siblings;
  if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) {
    if (WindowPtr p = Find(w->parent)) siblings = p->children();
  } else {
    for (const WindowPtr& other : AllWindows()) {
      if ((other->style & WS_CHILD) == 0) siblings.push_back(other->handle);
    }
  }
  // siblings is bottom first; relations count from the top.
  std::reverse(siblings.begin(), siblings.end());
  auto it = std::find(siblings.begin(), siblings.end(), window);
  switch (relation) {
    case GW_HWNDFIRST: return siblings.empty() ? nullptr : siblings.front();
    case GW_HWNDLAST: return siblings.empty() ? nullptr : siblings.back();
    case GW_HWNDNEXT: return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == siblings.end() || it == siblings.begin()) ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

HWND GetAncestor(HWND window, UINT flags) {
  WindowPtr w = Find(window);
  if (!w) return nullptr;
  switch (flags) {
    case GA_PARENT: return (w->style & WS_CHILD) != 0 ? w->parent : GetDesktopWindow();
    case GA_ROOT: return RootOf(window);
    case GA_ROOTOWNER: {
      HWND h = RootOf(window);
      while (WindowPtr r = Find(h)) {
        if (r->owner == nullptr) break;
        h = RootOf(r->owner);
      }
      return h;
    }
    default: return nullptr;
  }
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10)); }

BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam) {
  if (callback == nullptr) return FALSE;
  for (const WindowPtr& w : AllWindows()) {
    if ((w->style & WS_CHILD) != 0 || !Find(w->handle)) continue;
    if (!callback(w->handle, lParam)) return TRUE;
  }
  // Then the windows of other programs, each lender's top-level windows in its z-order.
  for (const auto& source : ForeignSources()) {
    for (HWND h : source->TopLevelWindows()) {
      if (!callback(h, lParam)) return TRUE;
    }
  }
  return TRUE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam) {
  if (callback == nullptr) return FALSE;
  // The desktop's children are the top-level windows.
  if (parent == nullptr) return EnumWindows(callback, lParam);
  // A window destroyed by the callback is no longer in the subtree and is skipped.
  for (const WindowPtr& w : AllWindows()) {
    if (w->handle == parent || !IsInSubtree(w->handle, parent)) continue;
    if (!callback(w->handle, lParam)) break;
  }
  return TRUE;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  for (const WindowPtr& w : AllWindows()) {
    if ((w->style & WS_CHILD) != 0) continue;
    if (className != nullptr && !w->windowClass->Matches(className)) continue;
    if (windowName != nullptr && w->text != windowName) continue;
    return w->handle;
  }
  return nullptr;
}

namespace {

// The window's rectangle, edges included, holds the point.
bool ShowsPoint(const Window& w, const QPoint& screenPoint) {
  if ((w.style & WS_VISIBLE) == 0) return false;
  QPoint origin = WindowOrigin(w);
  return QRect(origin.x(), origin.y(), w.width(), w.height()).contains(screenPoint);
}

// The deepest visible window under the point inside `w` (which shows it): children are
// searched top first, and a child shows only inside its parent's client area.
HWND DeepestAt(const Window& w, const QPoint& screenPoint) {
  const QPoint client = ClientOrigin(w);
  if (!QRect(client.x(), client.y(), w.clientWidth(), w.clientHeight()).contains(screenPoint)) return w.handle;
  for (HWND child : w.ChildrenTopFirst()) {
    WindowPtr c = Find(child);
    if (c && ShowsPoint(*c, screenPoint)) return DeepestAt(*c, screenPoint);
  }
  return w.handle;
}

}  // namespace

HWND WindowFromPoint(POINT screenPoint) {
  QPoint point(screenPoint.x, screenPoint.y);
  std::vector<WindowPtr> all = AllWindows();
  // Top-level windows stack in creation order, the newest on top.
  for (auto it = all.rbegin(); it != all.rend(); ++it) {
    const Window& w = **it;
    if ((w.style & WS_CHILD) != 0 && w.parent != nullptr) continue;
    if (ShowsPoint(w, point)) return DeepestAt(w, point);
  }
  return nullptr;
}

