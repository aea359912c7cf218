// Creation and destruction of windows, with their messages in Windows order: WM_GETMINMAXINFO
// (top-level windows, whose size it bounds), WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE,
// WM_MOVE on the way in; owned windows first, then
// WM_DESTROY parent first and WM_NCDESTROY children first on the way out.
#include "platform/internal/DragDrop.h"
#include "platform/internal/ForeignWindows.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowRegistry.h"

#include "platform/Kernel.h"
#include "platform/Text.h"

#include <algorithm>
#include <atomic>

#include <unistd.h>

namespace zuvo::platform::win {
namespace {

// WM_DESTROY to the window, then to each child top first (each marked as being destroyed).
void SendDestroyTree(HWND h) {
  WindowPtr w = Find(h);
  if (!w) return;
  CallProc(h, WM_DESTROY, 0, 0);
  for (HWND child : w->ChildrenTopFirst()) {
    WindowPtr c = Find(child);
    if (!c || !c->BeginDestroying()) continue;
    SendDestroyTree(child);
  }
}

// WM_NCDESTROY to the children top first, then to the window, which then leaves its parent's
// child list, every focus/capture handle and the registry.
void SendNcDestroyTree(HWND h) {
  WindowPtr w = Find(h);
  if (!w) return;
  for (HWND child : w->ChildrenTopFirst()) SendNcDestroyTree(child);
  platform::queue::KillWindowTimers(h);
  CallProc(h, WM_NCDESTROY, 0, 0);
  // A drop target still registered (its owner did not revoke it) is released with the window.
  platform::dragdrop::ForgetWindow(h);
  if (w->parent != nullptr) {
    if (WindowPtr p = Find(w->parent)) p->RemoveChild(h);
  }
  WindowRegistry& registry = WindowRegistry::Get();
  registry.Forget(h);
  registry.Remove(h);
  // A worker still waiting on a send to this window would otherwise wait until the UI thread
  // next pumps, which it may not do while it waits for that worker.
  platform::queue::ReleaseSendsTo(h);
  w->ReleaseResources();
}

// A window whose WM_NCCREATE refused gets only WM_NCDESTROY.
void AbortCreation(HWND h) {
  WindowPtr w = Find(h);
  if (!w || !w->BeginDestroying()) return;
  SendNcDestroyTree(h);
}

HWND CreateOnUi(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                LPVOID param) {
  WindowRegistry& registry = WindowRegistry::Get();
  std::shared_ptr<WindowClass> cls = registry.FindClass(className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  bool child = (style & WS_CHILD) != 0;
  WindowPtr parentWindow = parent ? Find(parent) : nullptr;
  if (child && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (!child && parent != nullptr && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (x == CW_USEDEFAULT) {
    x = child ? 0 : 100;
    y = child ? 0 : 100;
  }
  if (width == CW_USEDEFAULT) {
    width = child ? 0 : 640;
    height = child ? 0 : 480;
  }
  width = std::max(0, width);
  height = std::max(0, height);

  auto w = std::make_shared<Window>();
  w->handle = registry.NewHandle();
  HWND h = w->handle;
  w->windowClass = cls;
  w->proc = cls->info.lpfnWndProc;
  w->style = style & ~WS_VISIBLE;
  w->exStyle = exStyle;
  if (child) {
    w->parent = parent;
    w->id = reinterpret_cast<LONG_PTR>(menu);
  } else if (parent != nullptr) {
    w->owner = RootOf(parent);
  }
  w->rect = RECT{x, y, x + width, y + height};
  w->clientArea = RECT{0, 0, width, height};
  w->extraBytes.assign(static_cast<std::size_t>(std::max(0, cls->info.cbWndExtra)), 0);
  w->ResizeImage();
  w->widget = new HostWidget(h, nullptr, Qt::Widget);
  registry.Add(w);
  if (parentWindow) parentWindow->AddChildOnTop(h);
  SetWidgetParent(*w);

  // A top-level window is asked for its tracking sizes first, and made within them.
  if (!child) {
    MINMAXINFO info = AskMinMaxInfo(h);
    if (!Find(h)) return nullptr;   // destroyed by its own handler
    const int boundedWidth = ClampToTracking(width, info.ptMinTrackSize.x, info.ptMaxTrackSize.x);
    const int boundedHeight = ClampToTracking(height, info.ptMinTrackSize.y, info.ptMaxTrackSize.y);
    if (boundedWidth != width || boundedHeight != height) {
      width = boundedWidth;
      height = boundedHeight;
      w->rect = RECT{x, y, x + width, y + height};
      w->clientArea = RECT{0, 0, width, height};
      w->ResizeImage();
    }
  }

  CREATESTRUCTA cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                   windowName, className, exStyle};
  if (CallProc(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
    AbortCreation(h);
    return nullptr;
  }
  if (windowName != nullptr) w->text = windowName;
  if (w->widget && !child && windowName != nullptr) {
    std::u16string title = gbk::ToUtf16(windowName);
    w->widget->setWindowTitle(QString::fromStdU16String(title));
  }
  // The edges the styles (or the procedure's own answer) give a child window shrink its client
  // area from here on.
  w->clientArea = RECT{0, 0, w->width(), w->height()};
  if (!CalcClientArea(h)) return nullptr;
  SyncWidgetGeometry(*w);
  if (CallProc(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    if (w->BeginDestroying()) {
      SendDestroyTree(h);
      SendNcDestroyTree(h);
    }
    return nullptr;
  }
  if (!Find(h)) return nullptr;   // destroyed by its own creation handler
  CallProc(h, WM_SIZE, SIZE_RESTORED,
           MAKELPARAM(static_cast<WORD>(w->clientWidth()), static_cast<WORD>(w->clientHeight())));
  CallProc(h, WM_MOVE, 0,
           MAKELPARAM(static_cast<WORD>(w->rect.left + w->clientArea.left),
                      static_cast<WORD>(w->rect.top + w->clientArea.top)));
  if ((style & WS_VISIBLE) != 0 && Find(h)) {
    ShowWindow(h, (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOW);
  }
  return Find(h) ? h : nullptr;
}

BOOL DestroyOnUi(HWND window) {
  WindowPtr w = Find(window);
  if (!w || !w->BeginDestroying()) return FALSE;
  // Owned windows go first.
  for (const WindowPtr& other : AllWindows()) {
    if (other->owner == window && !other->destroying()) DestroyWindow(other->handle);
  }
  if (QWidget* outer = OuterWidget(*w)) outer->hide();
  WindowRegistry& registry = WindowRegistry::Get();
  if (registry.capture() != nullptr && IsInSubtree(registry.capture(), window)) ReleaseCapture();
  if (HWND focus = registry.focus(); focus != nullptr && IsInSubtree(focus, window)) {
    registry.SetFocusHandle(nullptr);
    CallProc(focus, WM_KILLFOCUS, 0, 0);
  }
  if (registry.active() == window) {
    registry.SetActiveHandle(nullptr);
    CallProc(window, WM_ACTIVATE, WA_INACTIVE, 0);
  }
  SendDestroyTree(window);
  SendNcDestroyTree(window);
  return TRUE;
}

}  // namespace
}  // namespace zuvo::platform::win

using namespace zuvo::platform::win;

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (!zuvo::platform::EnsureApplication()) return nullptr;
  return OnUi([&] {
    return CreateOnUi(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                      instance, param);
  });
}

BOOL DestroyWindow(HWND window) {
  return OnUi([&] { return DestroyOnUi(window); });
}

BOOL IsWindow(HWND window) {
  if (Find(window)) return TRUE;
  auto foreign = FindForeign(window);
  return foreign && foreign->IsWindow(window) ? TRUE : FALSE;
}

namespace {
// The UI thread's id, noted the first time it is asked for (0 until then).
std::atomic<DWORD> uiThreadId{0};
}  // namespace

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    return foreign ? foreign->ThreadProcessId(window, processId) : 0;
  }
  // Every window of ours belongs to the UI thread.
  DWORD thread = uiThreadId.load();
  if (thread == 0) {
    thread = OnUi([] { return GetCurrentThreadId(); });
    uiThreadId.store(thread);
  }
  if (processId != nullptr) *processId = static_cast<DWORD>(getpid());
  return thread;
}
