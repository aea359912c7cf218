// The window record's own rules, the registry object, the lookups every window unit uses, and
// the window classes.
#include "platform/internal/Window.h"

#include "platform/internal/ForeignWindows.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Wrapped.h"
#include "platform/internal/ThreadOwnership.h"
#include "platform/internal/WindowRegistry.h"

#include "platform/Kernel.h"
#include "platform/Text.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace zuvo::platform::win {
namespace {

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

}  // namespace

bool WindowClass::Matches(LPCSTR nameOrAtom) const {
  auto value = reinterpret_cast<std::uintptr_t>(nameOrAtom);
  if (value < 0x10000) return value != 0 && value == atom;
  return gbk::EqualsNoCase(name, nameOrAtom);
}

// ---- The record -------------------------------------------------------------------------

void Window::AddChildOnTop(HWND child) {
  AssertUiThread("a window's child list");
  RemoveChild(child);
  children_.push_back(child);
}

void Window::AddChildAtBottom(HWND child) {
  AssertUiThread("a window's child list");
  RemoveChild(child);
  children_.insert(children_.begin(), child);
}

void Window::AddChildBelow(HWND child, HWND above) {
  AssertUiThread("a window's child list");
  RemoveChild(child);
  auto at = std::find(children_.begin(), children_.end(), above);
  children_.insert(at, child);
}

void Window::RemoveChild(HWND child) {
  AssertUiThread("a window's child list");
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

void Window::ResizeImage() {
  AssertUiThread("a window's backing image");
  int newWidth = std::max(0, width());
  int newHeight = std::max(0, height());
  if (!image_.isNull() && image_.width() == std::max(newWidth, 1) &&
      image_.height() == std::max(newHeight, 1)) {
    return;
  }
  // A zero-sized window keeps a one-pixel image so that a context on it is always valid.
  // The image of a window that hosts a Qt widget lies over that widget: transparent until drawn.
  const bool overlay = hosted != nullptr;
  QImage fresh(std::max(newWidth, 1), std::max(newHeight, 1),
               overlay ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  fresh.fill(overlay ? QColor(Qt::transparent) : QColor(Qt::white));
  if (!image_.isNull()) {
    QPainter painter(&fresh);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image_);
  }
  image_ = fresh;
}

bool Window::BeginDestroying() {
  AssertUiThread("a window's destruction");
  if (destroying_) return false;
  destroying_ = true;
  return true;
}

void Window::ReleaseResources() {
  AssertUiThread("a window's destruction");
  // The hosted widget is a child of the client widget and goes with it.
  hosted = nullptr;
  overlay = nullptr;
  wrapper.reset();
  FreeWidget(*this);
  image_ = QImage();
}

// ---- Registry ---------------------------------------------------------------------------

WindowRegistry& WindowRegistry::Get() {
  // Leaked on purpose: a window destroyed from another static's destructor (or an atexit
  // handler) must still find the registry.
  static WindowRegistry* registry = new WindowRegistry;
  return *registry;
}

HWND WindowRegistry::NewHandle() {
  auto windows = windows_.Lock();
  auto handle = reinterpret_cast<HWND>(windows->nextHandle);
  windows->nextHandle += 4;
  return handle;
}

void WindowRegistry::Add(const WindowPtr& window) {
  windows_.Lock()->byHandle[Key(window->handle)] = window;
}

void WindowRegistry::Remove(HWND window) {
  windows_.Lock()->byHandle.erase(Key(window));
}

WindowPtr WindowRegistry::Find(HWND window) const {
  if (window == nullptr) return nullptr;
  auto windows = windows_.Lock();
  auto it = windows->byHandle.find(Key(window));
  return it == windows->byHandle.end() ? nullptr : it->second;
}

std::vector<WindowPtr> WindowRegistry::All() const {
  auto windows = windows_.Lock();
  std::vector<WindowPtr> all;
  all.reserve(windows->byHandle.size());
  for (const auto& entry : windows->byHandle) all.push_back(entry.second);
  return all;
}

std::shared_ptr<WindowClass> WindowRegistry::FindClass(LPCSTR nameOrAtom) const {
  if (nameOrAtom == nullptr) return nullptr;
  EnsureSystemClasses();   // the wrapped controls' classes are there before anyone looks
  auto classes = classes_.Lock();
  for (const auto& entry : classes->list) {
    if (entry->Matches(nameOrAtom)) return entry;
  }
  return nullptr;
}

WORD WindowRegistry::AddClass(const std::shared_ptr<WindowClass>& windowClass) {
  // The search and the insertion share one lock, so two threads registering the same name
  // cannot both succeed.
  auto classes = classes_.Lock();
  for (const auto& entry : classes->list) {
    if (gbk::EqualsNoCase(entry->name, windowClass->name)) return 0;
  }
  windowClass->atom = classes->nextAtom++;
  classes->list.push_back(windowClass);
  return windowClass->atom;
}

void WindowRegistry::RemoveClass(const std::shared_ptr<WindowClass>& windowClass) {
  auto classes = classes_.Lock();
  classes->list.erase(std::remove(classes->list.begin(), classes->list.end(), windowClass), classes->list.end());
}

void WindowRegistry::SetFocusHandle(HWND window) {
  AssertUiThread("the focus window");
  focus_.store(window);
}

void WindowRegistry::SetActiveHandle(HWND window) {
  AssertUiThread("the active window");
  active_.store(window);
}

void WindowRegistry::SetCaptureHandle(HWND window) {
  AssertUiThread("the capture window");
  capture_.store(window);
}

void WindowRegistry::Forget(HWND window) {
  if (focus() == window) SetFocusHandle(nullptr);
  if (active() == window) SetActiveHandle(nullptr);
  if (capture() == window) SetCaptureHandle(nullptr);
  if (mouse() == window) mouse() = nullptr;
}

// ---- Lookups ----------------------------------------------------------------------------

WindowPtr Find(HWND window) { return WindowRegistry::Get().Find(window); }

std::vector<WindowPtr> AllWindows() { return WindowRegistry::Get().All(); }

bool IsInSubtree(HWND candidate, HWND root) {
  for (HWND h = candidate; h != nullptr;) {
    if (h == root) return true;
    WindowPtr w = Find(h);
    if (!w || (w->style & WS_CHILD) == 0) return false;
    h = w->parent;
  }
  return false;
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

QPoint WindowOrigin(const Window& window) {
  QPoint origin(window.rect.left, window.rect.top);
  if ((window.style & WS_CHILD) != 0 && window.parent != nullptr) {
    if (WindowPtr p = Find(window.parent)) origin += ClientOrigin(*p);
  }
  return origin;
}

QPoint ClientOrigin(const Window& window) { return WindowOrigin(window) + window.clientOffset(); }

QImage* BackingImage(HWND window, QRect* clientArea) {
  WindowPtr w = Find(window);
  if (!w) return nullptr;
  if (clientArea != nullptr) *clientArea = w->clientRect();
  return &w->image();
}

void ImageChanged(HWND window) {
  WindowPtr w = Find(window);
  if (!w || !platform::IsUiThread()) return;
  // A frame widget's update covers the client widget inside it.
  if (QWidget* outer = OuterWidget(*w)) outer->update();
  if (w->overlay != nullptr) w->overlay->update();
}

}  // namespace zuvo::platform::win

using namespace zuvo::platform::win;

// ---- Classes ----------------------------------------------------------------------------

WORD RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || windowClass->lpszClassName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
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
  WORD atom = WindowRegistry::Get().AddClass(cls);
  if (atom == 0) SetLastError(ERROR_CLASS_ALREADY_EXISTS);
  return atom;
}

WORD RegisterClassExA(const WNDCLASSEXA* c) {
  if (c == nullptr) return 0;
  WNDCLASSA plain{c->style, c->lpfnWndProc, c->cbClsExtra, c->cbWndExtra, c->hInstance, c->hIcon,
                  c->hCursor, c->hbrBackground, c->lpszMenuName, c->lpszClassName};
  return RegisterClassA(&plain);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  std::shared_ptr<WindowClass> cls = WindowRegistry::Get().FindClass(className);
  if (!cls) return FALSE;
  for (const WindowPtr& w : AllWindows()) {
    if (w->windowClass == cls) return FALSE;   // still in use
  }
  WindowRegistry::Get().RemoveClass(cls);
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* windowClass) {
  std::shared_ptr<WindowClass> cls = WindowRegistry::Get().FindClass(className);
  if (!cls) return FALSE;
  if (windowClass != nullptr) {
    *windowClass = cls->info;
    windowClass->lpszClassName = className;
  }
  return TRUE;
}

int GetClassNameA(HWND window, LPSTR buffer, int size) {
  WindowPtr w = Find(window);
  if (buffer == nullptr || size <= 0) return 0;
  if (!w) {
    auto foreign = FindForeign(window);
    std::optional<std::string> name = foreign ? foreign->ClassName(window) : std::nullopt;
    if (!name) return 0;
    const int n = std::min<int>(static_cast<int>(name->size()), size - 1);
    std::memcpy(buffer, name->data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
  }
  int n = std::min<int>(static_cast<int>(w->windowClass->name.size()), size - 1);
  std::memcpy(buffer, w->windowClass->name.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}
