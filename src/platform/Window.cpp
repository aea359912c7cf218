#include "platform/Window.h"
#include "platform/WindowPaint.h"

#include "platform/Application.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace platform::win {
namespace {

// Handles are never reused, so a stale handle can never reach a newer window.
std::mutex registryMutex;
std::map<std::uintptr_t, WindowPtr> registry;   // ordered by id = creation order
std::uintptr_t nextHandle = 0x10000;

std::mutex classMutex;
std::vector<std::shared_ptr<WindowClass>> classes;
WORD nextAtom = 0xC000;

HWND focusWindow = nullptr;
HWND activeWindow = nullptr;
HWND captureWindow = nullptr;
HWND mouseWindow = nullptr;

struct CursorEntry {
  UINT_PTR id;
  Qt::CursorShape shape;
};
const CursorEntry kCursors[] = {
    {32512, Qt::ArrowCursor},     {32513, Qt::IBeamCursor},     {32514, Qt::WaitCursor},
    {32515, Qt::CrossCursor},     {32516, Qt::UpArrowCursor},   {32642, Qt::SizeFDiagCursor},
    {32643, Qt::SizeBDiagCursor}, {32644, Qt::SizeHorCursor},   {32645, Qt::SizeVerCursor},
    {32646, Qt::SizeAllCursor},   {32648, Qt::ForbiddenCursor}, {32649, Qt::PointingHandCursor},
};
HCURSOR currentCursor = nullptr;

std::uintptr_t Id(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

std::shared_ptr<WindowClass> FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(classMutex);
  // An atom given in place of a name.
  if (reinterpret_cast<std::uintptr_t>(name) < 0x10000) return nullptr;
  for (auto& c : classes) {
    if (gbk::EqualsNoCase(c->name, name)) return c;
  }
  return nullptr;
}

bool IsInSubtree(HWND candidate, HWND root) {
  for (HWND h = candidate; h != nullptr;) {
    if (h == root) return true;
    WindowPtr w = Find(h);
    if (!w || (w->style & WS_CHILD) == 0) return false;
    h = w->parent;
  }
  return false;
}

void ResizeImage(Window& w) {
  int width = std::max(0, w.width());
  int height = std::max(0, w.height());
  if (w.image.width() == width && w.image.height() == height) return;
  QImage fresh(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
  fresh.fill(Qt::white);
  if (!w.image.isNull()) {
    QPainter p(&fresh);
    p.drawImage(0, 0, w.image);
  }
  w.image = fresh;
}

void SyncWidgetGeometry(Window& w) {
  if (w.widget == nullptr) return;
  w.widget->syncing = true;
  w.widget->setGeometry(w.rect.left, w.rect.top, std::max(0, w.width()), std::max(0, w.height()));
  w.widget->syncing = false;
}

Qt::WindowFlags TopLevelFlags(DWORD style, DWORD exStyle, bool owned) {
  Qt::WindowFlags flags = Qt::Window;
  if ((style & WS_POPUP) != 0) {
    flags = owned ? Qt::Tool : Qt::Window;
    if ((style & WS_CAPTION) != WS_CAPTION) flags |= Qt::FramelessWindowHint;
  }
  if ((exStyle & WS_EX_TOPMOST) != 0) flags |= Qt::WindowStaysOnTopHint;
  if ((exStyle & WS_EX_TOOLWINDOW) != 0) flags |= Qt::Tool;
  return flags;
}

void SetWidgetParent(Window& w) {
  if (w.widget == nullptr) return;
  QWidget* parentWidget = nullptr;
  Qt::WindowFlags flags = Qt::Widget;
  if ((w.style & WS_CHILD) != 0 && w.parent != nullptr) {
    if (WindowPtr p = Find(w.parent)) parentWidget = p->widget;
  } else {
    WindowPtr o = w.owner ? Find(w.owner) : nullptr;
    parentWidget = o ? o->widget : nullptr;
    flags = TopLevelFlags(w.style, w.exStyle, parentWidget != nullptr);
  }
  bool visible = (w.style & WS_VISIBLE) != 0;
  w.widget->setParent(parentWidget, flags);
  SyncWidgetGeometry(w);
  w.widget->setVisible(visible);
}

void SendDestroyTree(HWND h) {
  WindowPtr w = Find(h);
  if (!w) return;
  CallProc(h, WM_DESTROY, 0, 0);
  std::vector<HWND> kids(w->children.rbegin(), w->children.rend());
  for (HWND child : kids) {
    WindowPtr c = Find(child);
    if (!c || c->destroying) continue;
    c->destroying = true;
    SendDestroyTree(child);
  }
}

void FreeWidget(Window& w) {
  HostWidget* widget = w.widget;
  w.widget = nullptr;
  if (widget == nullptr) return;
  widget->Detach();
  widget->hide();
  // Children of the widget that are not windows of ours (none expected) go with it.
  if (widget->busy() > 0) {
    widget->setParent(nullptr);
    widget->deleteLater();
  } else {
    delete widget;
  }
}

void SendNcDestroyTree(HWND h) {
  WindowPtr w = Find(h);
  if (!w) return;
  std::vector<HWND> kids(w->children.rbegin(), w->children.rend());
  for (HWND child : kids) SendNcDestroyTree(child);
  platform::queue::KillWindowTimers(h);
  CallProc(h, WM_NCDESTROY, 0, 0);
  if (w->parent != nullptr) {
    if (WindowPtr p = Find(w->parent)) {
      auto& list = p->children;
      list.erase(std::remove(list.begin(), list.end(), h), list.end());
    }
  }
  if (focusWindow == h) focusWindow = nullptr;
  if (activeWindow == h) activeWindow = nullptr;
  if (captureWindow == h) captureWindow = nullptr;
  if (mouseWindow == h) mouseWindow = nullptr;
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(Id(h));
  }
  // A worker still waiting on a send to this window would otherwise wait until the UI thread
  // next pumps, which it may not do while it waits for that worker.
  platform::queue::ReleaseSendsTo(h);
  FreeWidget(*w);
  w->image = QImage();
}

void AbortCreation(HWND h) {
  WindowPtr w = Find(h);
  if (!w) return;
  w->destroying = true;
  SendNcDestroyTree(h);
}

HWND CreateOnUi(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                LPVOID param) {
  std::shared_ptr<WindowClass> cls = FindClass(className);
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
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    w->handle = reinterpret_cast<HWND>(nextHandle);
    nextHandle += 4;
  }
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
  w->extraBytes.assign(static_cast<std::size_t>(std::max(0, cls->info.cbWndExtra)), 0);
  ResizeImage(*w);
  w->widget = new HostWidget(h, nullptr, Qt::Widget);
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry[Id(h)] = w;
  }
  if (parentWindow) parentWindow->children.push_back(h);
  SetWidgetParent(*w);

  CREATESTRUCTA cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.cx = width;
  cs.cy = height;
  cs.x = x;
  cs.y = y;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;
  if (CallProc(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
    AbortCreation(h);
    return nullptr;
  }
  if (windowName != nullptr) w->text = windowName;
  if (w->widget && !child && windowName != nullptr) {
    std::u16string title = gbk::ToUtf16(windowName);
    w->widget->setWindowTitle(QString::fromStdU16String(title));
  }
  RECT calc = w->rect;
  CallProc(h, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
  if (CallProc(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    w->destroying = true;
    SendDestroyTree(h);
    SendNcDestroyTree(h);
    return nullptr;
  }
  if (!Find(h)) return nullptr;   // destroyed by its own creation handler
  CallProc(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(static_cast<WORD>(w->width()), static_cast<WORD>(w->height())));
  CallProc(h, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(w->rect.left), static_cast<WORD>(w->rect.top)));
  if ((style & WS_VISIBLE) != 0 && Find(h)) {
    ShowWindow(h, (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED : SW_SHOW);
  }
  return Find(h) ? h : nullptr;
}

}  // namespace

// ---- Registry -----------------------------------------------------------------------------

WindowPtr Find(HWND window) {
  if (window == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(registryMutex);
  auto it = registry.find(Id(window));
  return it == registry.end() ? nullptr : it->second;
}

std::vector<WindowPtr> AllWindows() {
  std::lock_guard<std::mutex> lock(registryMutex);
  std::vector<WindowPtr> all;
  all.reserve(registry.size());
  for (auto& [id, w] : registry) all.push_back(w);
  return all;
}

LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowPtr w = Find(window);
  if (!w || w->proc == nullptr) return 0;
  WNDPROC proc = w->proc;
  w.reset();
  return proc(window, message, wParam, lParam);
}

HWND RootOf(HWND window) {
  for (HWND h = window; h != nullptr;) {
    WindowPtr w = Find(h);
    if (!w) return nullptr;
    if ((w->style & WS_CHILD) == 0 || w->parent == nullptr) return h;
    h = w->parent;
  }
  return nullptr;
}

bool IsVisibleChain(const Window& w) {
  if ((w.style & WS_VISIBLE) == 0) return false;
  if ((w.style & WS_CHILD) != 0 && w.parent != nullptr) {
    WindowPtr p = Find(w.parent);
    return p && IsVisibleChain(*p);
  }
  return true;
}

QPoint ClientOrigin(const Window& window) {
  QPoint origin(window.rect.left, window.rect.top);
  if ((window.style & WS_CHILD) != 0 && window.parent != nullptr) {
    if (WindowPtr p = Find(window.parent)) origin += ClientOrigin(*p);
  }
  return origin;
}

QImage* BackingImage(HWND window) {
  WindowPtr w = Find(window);
  return w ? &w->image : nullptr;
}

void ImageChanged(HWND window) {
  WindowPtr w = Find(window);
  if (w && w->widget != nullptr && platform::IsUiThread()) w->widget->update();
}

HWND FocusWindow() { return focusWindow; }
HWND ActiveWindow() { return activeWindow; }
HWND CaptureWindow() { return captureWindow; }

void ActivateFromQt(HWND window, bool active) {
  if (active) {
    if (activeWindow != window) SetActiveWindow(window);
  } else if (activeWindow == window) {
    activeWindow = nullptr;
    CallProc(window, WM_ACTIVATE, WA_INACTIVE, 0);
  }
}

void MouseOver(HWND window) {
  if (mouseWindow == window) return;
  HWND left = mouseWindow;
  mouseWindow = window;
  if (WindowPtr w = Find(left); w && w->trackLeave) {
    w->trackLeave = false;
    PostMessageA(left, WM_MOUSELEAVE, 0, 0);
  }
}

void ApplyCursor(HWND window) {
  WindowPtr w = Find(window);
  if (!w || w->widget == nullptr) return;
  if (currentCursor == nullptr) {
    w->widget->setCursor(Qt::BlankCursor);
    return;
  }
  auto* entry = reinterpret_cast<const CursorEntry*>(currentCursor);
  w->widget->setCursor(entry->shape);
}

// ---- Host widget --------------------------------------------------------------------------

HostWidget::HostWidget(HWND window, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), window_(window) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_InputMethodEnabled);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

bool HostWidget::event(QEvent* event) {
  if (event->type() == QEvent::DeferredDelete) {
    // Still inside one of its own events (a handler destroyed the window and then ran a nested
    // loop): deleting now would pull the widget from under that event. Ask again later.
    if (busy_ > 0) {
      deleteLater();
      return true;
    }
    return QWidget::event(event);   // deletes this: nothing may touch a member afterwards
  }
  ++busy_;
  // A nested modal loop started from a handler must keep the queue moving.
  platform::queue::ModalScope scope;
  bool handled = QWidget::event(event);
  --busy_;
  return handled;
}

void HostWidget::paintEvent(QPaintEvent* event) {
  WindowPtr w = Find(window_);
  if (!w) return;
  QPainter painter(this);
  painter.drawImage(0, 0, w->image);
}

void HostWidget::resizeEvent(QResizeEvent*) {
  if (syncing || window_ == nullptr || !isWindow()) return;
  WindowPtr w = Find(window_);
  if (!w || (w->width() == width() && w->height() == height())) return;
  SetWindowPos(window_, nullptr, 0, 0, width(), height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostWidget::moveEvent(QMoveEvent*) {
  if (syncing || window_ == nullptr || !isWindow()) return;
  WindowPtr w = Find(window_);
  if (!w || (w->rect.left == x() && w->rect.top == y())) return;
  SetWindowPos(window_, nullptr, x(), y(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (window_ != nullptr) SendMessageA(window_, WM_CLOSE, 0, 0);
}

void HostWidget::keyPressEvent(QKeyEvent* event) {
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, true);
}
void HostWidget::keyReleaseEvent(QKeyEvent* event) {
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, false);
}
void HostWidget::mousePressEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, 0);
}
void HostWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, 1);
}
void HostWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, 2);
}
void HostWidget::mouseMoveEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, 3);
}
void HostWidget::wheelEvent(QWheelEvent* event) {
  if (window_ != nullptr) platform::input::WheelEvent(window_, event);
}
void HostWidget::leaveEvent(QEvent*) {
  if (window_ != nullptr && mouseWindow == window_) MouseOver(nullptr);
}
void HostWidget::inputMethodEvent(QInputMethodEvent* event) {
  if (window_ != nullptr && !event->commitString().isEmpty()) {
    platform::input::TextEvent(window_, event->commitString());
  }
  event->accept();
}
void HostWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && window_ != nullptr && isWindow()) {
    ActivateFromQt(window_, isActiveWindow());
  }
  QWidget::changeEvent(event);
}

}  // namespace platform::win

using namespace platform::win;

// ---- Classes ------------------------------------------------------------------------------

WORD RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(windowClass->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = windowClass->lpszClassName;
  cls->info = *windowClass;
  if (reinterpret_cast<std::uintptr_t>(windowClass->lpszMenuName) >= 0x10000) {
    cls->menuName = windowClass->lpszMenuName;
  }
  cls->info.lpszClassName = nullptr;
  cls->info.lpszMenuName = nullptr;
  std::lock_guard<std::mutex> lock(classMutex);
  classes.push_back(cls);
  return nextAtom++;
}

WORD RegisterClassExA(const WNDCLASSEXA* c) {
  if (c == nullptr) return 0;
  WNDCLASSA plain{c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra, c->hInstance, c->hIcon,
                  c->hCursor, c->hbrBackground, c->lpszMenuName, c->lpszClassName};
  return RegisterClassA(&plain);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  std::shared_ptr<WindowClass> cls = FindClass(className);
  if (!cls) return FALSE;
  for (const WindowPtr& w : AllWindows()) {
    if (w->windowClass == cls) return FALSE;   // still in use
  }
  std::lock_guard<std::mutex> lock(classMutex);
  classes.erase(std::remove(classes.begin(), classes.end(), cls), classes.end());
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* windowClass) {
  std::shared_ptr<WindowClass> cls = FindClass(className);
  if (!cls) return FALSE;
  if (windowClass != nullptr) {
    *windowClass = cls->info;
    windowClass->lpszClassName = className;
  }
  return TRUE;
}

// ---- Creation and destruction -------------------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (!platform::EnsureApplication()) return nullptr;
  return OnUi([&] {
    return CreateOnUi(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                      instance, param);
  });
}

BOOL DestroyWindow(HWND window) {
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w || w->destroying) return FALSE;
    w->destroying = true;
    // Owned windows go first.
    for (const WindowPtr& other : AllWindows()) {
      if (other->owner == window && !other->destroying) DestroyWindow(other->handle);
    }
    if (w->widget != nullptr) w->widget->hide();
    if (captureWindow != nullptr && IsInSubtree(captureWindow, window)) ReleaseCapture();
    if (focusWindow != nullptr && IsInSubtree(focusWindow, window)) {
      HWND old = focusWindow;
      focusWindow = nullptr;
      CallProc(old, WM_KILLFOCUS, 0, 0);
    }
    if (activeWindow == window) {
      activeWindow = nullptr;
      CallProc(window, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    SendDestroyTree(window);
    SendNcDestroyTree(window);
    return TRUE;
  });
}

BOOL IsWindow(HWND window) { return Find(window) ? TRUE : FALSE; }

BOOL IsWindowVisible(HWND window) {
  WindowPtr w = Find(window);
  return w && IsVisibleChain(*w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL IsChild(HWND parent, HWND window) {
  if (parent == nullptr || window == parent) return FALSE;
  return IsInSubtree(window, parent) ? TRUE : FALSE;
}

// ---- Default processing -------------------------------------------------------------------

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowPtr w = Find(window);
  if (!w) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_NCHITTEST:
      return 1;   // HTCLIENT
    case WM_MOUSEACTIVATE:
      return 1;   // MA_ACTIVATE
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (BeginPaint(window, &ps) != nullptr) EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->windowClass->info.hbrBackground;
      COLORREF color;
      if (brush == nullptr || !platform::gdi::BrushColor(brush, &color)) return 0;
      RECT client{0, 0, w->width(), w->height()};
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      return 1;
    }
    case WM_SETTEXT:
      w->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      if (w->widget != nullptr && w->widget->isWindow()) {
        w->widget->setWindowTitle(QString::fromStdU16String(gbk::ToUtf16(w->text)));
      }
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0 || lParam == 0) return 0;
      auto* buffer = reinterpret_cast<char*>(lParam);
      std::size_t n = std::min<std::size_t>(w->text.size(), wParam - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (pos == nullptr) return 0;
      if ((pos->flags & SWP_NOMOVE) == 0) {
        CallProc(window, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(w->rect.left), static_cast<WORD>(w->rect.top)));
      }
      if ((pos->flags & SWP_NOSIZE) == 0) {
        WPARAM kind = (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                      : (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
        CallProc(window, WM_SIZE, kind, MAKELPARAM(static_cast<WORD>(w->width()), static_cast<WORD>(w->height())));
      }
      return 0;
    }
    case WM_SETCURSOR: {
      if (LOWORD(static_cast<DWORD_PTR>(lParam)) == 1 && w->windowClass->info.hCursor != nullptr) {
        SetCursor(w->windowClass->info.hCursor);
        return TRUE;
      }
      return FALSE;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && (focusWindow == nullptr || RootOf(focusWindow) != window)) {
        SetFocus(window);
      }
      return 0;
    case WM_MOUSEWHEEL:
      if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) {
        return SendMessageA(w->parent, message, wParam, lParam);
      }
      return 0;
    default:
      return 0;
  }
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc == nullptr ? 0 : proc(window, message, wParam, lParam);
}

// ---- Relations ----------------------------------------------------------------------------

HWND GetParent(HWND window) {
  WindowPtr w = Find(window);
  if (!w) return nullptr;
  return (w->style & WS_CHILD) != 0 ? w->parent : w->owner;
}

HWND SetParent(HWND window, HWND newParent) {
  return OnUi([&]() -> HWND {
    WindowPtr w = Find(window);
    if (!w) return nullptr;
    WindowPtr np = newParent ? Find(newParent) : nullptr;
    if (newParent != nullptr && (!np || IsInSubtree(newParent, window))) return nullptr;
    HWND old = w->parent;
    if (WindowPtr op = Find(w->parent)) {
      op->children.erase(std::remove(op->children.begin(), op->children.end(), window), op->children.end());
    }
    w->parent = newParent;
    if (np) {
      np->children.push_back(window);
      w->style |= WS_CHILD;
      w->style &= ~WS_POPUP;
    } else {
      w->style &= ~WS_CHILD;
    }
    SetWidgetParent(*w);
    return old != nullptr ? old : GetDesktopWindow();
  });
}

HWND GetWindow(HWND window, UINT relation) {
  WindowPtr w = Find(window);
  if (!w) return nullptr;
  if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.back();
  if (relation == GW_OWNER) return w->owner;
  std::vector<HWND> siblings;
  if ((w->style & WS_CHILD) != 0 && w->parent != nullptr) {
    if (WindowPtr p = Find(w->parent)) siblings = p->children;
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
    if (!callback(w->handle, lParam)) break;
  }
  return TRUE;
}

BOOL EnumChildWindows(HWND parent, WNDENUMPROC callback, LPARAM lParam) {
  if (callback == nullptr) return FALSE;
  for (const WindowPtr& w : AllWindows()) {
    if (w->handle == parent || !IsInSubtree(w->handle, parent)) continue;
    if (!callback(w->handle, lParam)) break;
  }
  return TRUE;
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  for (const WindowPtr& w : AllWindows()) {
    if ((w->style & WS_CHILD) != 0) continue;
    if (className != nullptr && !gbk::EqualsNoCase(w->windowClass->name, className)) continue;
    if (windowName != nullptr && w->text != windowName) continue;
    return w->handle;
  }
  return nullptr;
}

HWND WindowFromPoint(POINT screenPoint) {
  HWND best = nullptr;
  // Later windows are on top; the deepest child under the point wins.
  for (const WindowPtr& w : AllWindows()) {
    if (!IsVisibleChain(*w)) continue;
    QPoint origin = ClientOrigin(*w);
    QRect area(origin.x(), origin.y(), w->width(), w->height());
    if (area.contains(screenPoint.x, screenPoint.y)) best = w->handle;
  }
  return best;
}

// ---- Window words -------------------------------------------------------------------------

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  WindowPtr w = Find(window);
  if (!w) return 0;
  switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->windowClass->info.hInstance);
    case GWL_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->owner);
    case GWL_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWL_USERDATA: return w->userData;
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extraBytes.size()) {
    // Windows allows 4-byte words at the end of the extra bytes.
    if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG) <= w->extraBytes.size()) {
      LONG v;
      std::memcpy(&v, w->extraBytes.data() + index, sizeof v);
      return v;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LONG_PTR v;
  std::memcpy(&v, w->extraBytes.data() + index, sizeof v);
  return v;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  WindowPtr w = Find(window);
  if (!w) return 0;
  LONG_PTR old = GetWindowLongPtrA(window, index);
  switch (index) {
    case GWL_WNDPROC:
      if (value != 0) w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWL_HWNDPARENT: w->owner = reinterpret_cast<HWND>(value); return old;
    case GWL_ID: w->id = value; return old;
    case GWL_STYLE: w->style = static_cast<DWORD>(value); return old;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); return old;
    case GWL_USERDATA: w->userData = value; return old;
    case GWL_HINSTANCE: return old;
    default: break;
  }
  if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= w->extraBytes.size()) {
    std::memcpy(w->extraBytes.data() + index, &value, sizeof value);
  } else if (index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG) <= w->extraBytes.size()) {
    LONG v = static_cast<LONG>(value);
    std::memcpy(w->extraBytes.data() + index, &v, sizeof v);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return old;
}

int GetClassNameA(HWND window, LPSTR buffer, int size) {
  WindowPtr w = Find(window);
  if (!w || buffer == nullptr || size <= 0) return 0;
  int n = std::min<int>(static_cast<int>(w->windowClass->name.size()), size - 1);
  std::memcpy(buffer, w->windowClass->name.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}

int GetDlgCtrlID(HWND window) {
  WindowPtr w = Find(window);
  return w && (w->style & WS_CHILD) != 0 ? static_cast<int>(w->id) : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
  WindowPtr d = Find(dialog);
  if (!d) return nullptr;
  for (HWND child : d->children) {
    if (WindowPtr c = Find(child); c && c->id == id) return child;
  }
  return nullptr;
}

// ---- Showing, moving, sizing --------------------------------------------------------------

BOOL ShowWindow(HWND window, int command) {
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) != 0 ? TRUE : FALSE;
    if (command == SW_HIDE) {
      if (!wasVisible) return FALSE;
      CallProc(window, WM_SHOWWINDOW, FALSE, 0);
      w->style &= ~WS_VISIBLE;
      if (w->widget != nullptr) w->widget->hide();
      if (focusWindow != nullptr && IsInSubtree(focusWindow, window)) {
        HWND old = focusWindow;
        focusWindow = nullptr;
        CallProc(old, WM_KILLFOCUS, 0, 0);
      }
      return wasVisible;
    }
    bool topLevel = (w->style & WS_CHILD) == 0;
    if (!wasVisible) {
      CallProc(window, WM_SHOWWINDOW, TRUE, 0);
      if (!Find(window)) return FALSE;
      w->style |= WS_VISIBLE;
      InvalidateWhole(*w, true);
    }
    if (topLevel && (command == SW_SHOWMAXIMIZED || command == SW_MINIMIZE ||
                     command == SW_SHOWMINIMIZED || command == SW_RESTORE)) {
      RECT r = w->rect;
      if (command == SW_SHOWMAXIMIZED) {
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        QScreen* screen = QGuiApplication::primaryScreen();
        QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
        r = RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
      } else if (command == SW_RESTORE) {
        w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
      } else {
        w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
      }
      SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      w = Find(window);
      if (!w) return wasVisible;
    }
    if (w->widget != nullptr) {
      SyncWidgetGeometry(*w);
      w->widget->show();
    }
    bool activate = topLevel && command != SW_SHOWNOACTIVATE && command != SW_SHOWNA &&
                    command != SW_SHOWMINNOACTIVE && (w->exStyle & WS_EX_NOACTIVATE) == 0;
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
    CallProc(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!Find(window)) return FALSE;
    bool moved = pos.x != w->rect.left || pos.y != w->rect.top;
    bool sized = std::max(0, pos.cx) != w->width() || std::max(0, pos.cy) != w->height();
    w->rect = RECT{pos.x, pos.y, pos.x + std::max(0, pos.cx), pos.y + std::max(0, pos.cy)};
    if (sized) ResizeImage(*w);
    if ((flags & SWP_NOZORDER) == 0) {
      HWND after = pos.hwndInsertAfter;
      if (after == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      if (after == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
      if (WindowPtr p = Find(w->parent); p && (w->style & WS_CHILD) != 0) {
        auto& list = p->children;
        list.erase(std::remove(list.begin(), list.end(), window), list.end());
        if (after == HWND_BOTTOM) list.insert(list.begin(), window);
        else list.push_back(window);
      }
      if (w->widget != nullptr) {
        if (after == HWND_BOTTOM) w->widget->lower();
        else w->widget->raise();
      }
    }
    SyncWidgetGeometry(*w);
    if (flags & SWP_SHOWWINDOW) ShowWindow(window, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
    pos.flags = flags | (moved ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE);
    if (moved || sized) {
      CallProc(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
      w = Find(window);
      if (w && sized && (flags & SWP_NOREDRAW) == 0) InvalidateWhole(*w, true);
    }
    return TRUE;
  });
}

BOOL BringWindowToTop(HWND window) {
  return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetClientRect(HWND window, RECT* rect) {
  WindowPtr w = Find(window);
  if (!w || rect == nullptr) return FALSE;
  *rect = RECT{0, 0, w->width(), w->height()};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  WindowPtr w = Find(window);
  if (!w || rect == nullptr) return FALSE;
  QPoint origin = ClientOrigin(*w);
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

// ---- Text and state -----------------------------------------------------------------------

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  if (!Find(window)) return FALSE;
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text != nullptr ? text : "")) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!Find(window)) return 0;
  return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND window) {
  if (!Find(window)) return 0;
  return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL EnableWindow(HWND window, BOOL enable) {
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) != 0 ? TRUE : FALSE;
    if (enable && wasDisabled) {
      w->style &= ~WS_DISABLED;
      CallProc(window, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
      w->style |= WS_DISABLED;
      if (focusWindow != nullptr && IsInSubtree(focusWindow, window)) SetFocus(nullptr);
      if (captureWindow == window) ReleaseCapture();
      CallProc(window, WM_ENABLE, FALSE, 0);
    }
    return wasDisabled;
  });
}

// ---- Focus, activation, capture -----------------------------------------------------------

HWND SetFocus(HWND window) {
  return OnUi([&]() -> HWND {
    HWND old = focusWindow;
    if (window == nullptr) {
      focusWindow = nullptr;
      if (old != nullptr) CallProc(old, WM_KILLFOCUS, 0, 0);
      return old;
    }
    WindowPtr w = Find(window);
    if (!w || (w->style & WS_DISABLED) != 0) return nullptr;
    if (window == old) return old;
    HWND root = RootOf(window);
    if (activeWindow != root) {
      SetActiveWindow(root);
      if (focusWindow == window) return old;   // activation already moved the focus here
      old = focusWindow;
    }
    if (old != nullptr) CallProc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (!Find(window)) return old;
    focusWindow = window;
    CallProc(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    if (WindowPtr r = Find(root); r && r->widget != nullptr && r->widget->isVisible()) {
      r->widget->setFocus(Qt::OtherFocusReason);
    }
    return old;
  });
}

HWND GetFocus() { return focusWindow; }

HWND SetActiveWindow(HWND window) {
  return OnUi([&]() -> HWND {
    HWND root = RootOf(window);
    if (root == nullptr) return nullptr;
    HWND old = activeWindow;
    if (old == root) return old;
    if (old != nullptr && Find(old)) {
      activeWindow = nullptr;
      CallProc(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(root));
      if (focusWindow != nullptr && RootOf(focusWindow) == old) {
        HWND f = focusWindow;
        focusWindow = nullptr;
        CallProc(f, WM_KILLFOCUS, 0, 0);
      }
    }
    if (!Find(root)) return old;
    activeWindow = root;
    CallProc(root, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    if (WindowPtr r = Find(root); r && r->widget != nullptr && r->widget->isVisible() &&
                                  !r->widget->isActiveWindow()) {
      r->widget->activateWindow();
    }
    return old;
  });
}

HWND GetActiveWindow() { return activeWindow; }
BOOL SetForegroundWindow(HWND window) { return SetActiveWindow(window) != nullptr || activeWindow == RootOf(window); }
HWND GetForegroundWindow() { return activeWindow; }

HWND SetCapture(HWND window) {
  return OnUi([&]() -> HWND {
    HWND old = captureWindow;
    if (!Find(window)) return nullptr;
    captureWindow = window;
    if (old != nullptr && old != window) CallProc(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
    return old;
  });
}

BOOL ReleaseCapture() {
  return OnUi([&]() -> BOOL {
    HWND old = captureWindow;
    captureWindow = nullptr;
    if (old != nullptr) CallProc(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
  });
}

HWND GetCapture() { return captureWindow; }

BOOL _TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (track == nullptr) return FALSE;
  WindowPtr w = Find(track->hwndTrack);
  if (!w) return FALSE;
  if ((track->dwFlags & TME_LEAVE) == 0) return TRUE;
  if (track->dwFlags & TME_CANCEL) {
    w->trackLeave = false;
    return TRUE;
  }
  // Asked while the mouse is elsewhere: the leave is reported at once.
  if (mouseWindow != track->hwndTrack) {
    PostMessageA(track->hwndTrack, WM_MOUSELEAVE, 0, 0);
    return TRUE;
  }
  w->trackLeave = true;
  return TRUE;
}

// ---- Cursors ------------------------------------------------------------------------------

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr) return nullptr;
  auto id = reinterpret_cast<UINT_PTR>(name);
  for (const CursorEntry& entry : kCursors) {
    if (entry.id == id) return reinterpret_cast<HCURSOR>(const_cast<CursorEntry*>(&entry));
  }
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR old = currentCursor;
  currentCursor = cursor;
  HWND target = captureWindow != nullptr ? captureWindow : mouseWindow;
  if (target != nullptr && platform::IsUiThread()) ApplyCursor(target);
  return old;
}

HCURSOR GetCursor() { return currentCursor; }

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  QPoint p = QCursor::pos();
  *point = POINT{p.x(), p.y()};
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  QCursor::setPos(x, y);
  return TRUE;
}

int ShowCursor(BOOL show) {
  static int counter = 0;
  counter += show ? 1 : -1;
  return counter;
}
