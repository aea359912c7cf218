// Painting of windows: the record's invalid area and the WM_PAINT cycle on its backing image.
#include "platform/internal/WindowPaint.h"

#include "platform/internal/ForeignWindows.h"

#include "platform/internal/ThreadOwnership.h"

#include "platform/Application.h"
#include "platform/Kernel.h"
#include "platform/Message.h"

#include <QRect>

#include <cstring>
#include <optional>
#include <vector>

using namespace zuvo::platform::win;

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  WindowPtr w = Find(window);
  if (!w || paint == nullptr) return nullptr;
  std::memset(paint, 0, sizeof *paint);
  // The edges are painted before the background, as the frame comes before the client area.
  PaintFrameIfDue(window);
  if (!Find(window)) return nullptr;
  bool erase = false;
  QRect area = w->TakeUpdate(&erase);
  paint->rcPaint = RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
  // An empty update area clips everything away, as on Windows.
  HDC dc = zuvo::platform::gdi::CreateWindowDc(window, &area);
  paint->hdc = dc;
  paint->fErase = FALSE;
  if (erase && dc != nullptr) {
    paint->fErase = CallProc(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 ? TRUE : FALSE;
  }
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint != nullptr && paint->hdc != nullptr) zuvo::platform::gdi::DeleteWindowDc(paint->hdc);
  ImageChanged(window);
  return TRUE;
}

HDC GetDC(HWND window) {
  if (window == nullptr) {
    zuvo::platform::EnsureApplication();
    return zuvo::platform::gdi::CreateWindowDc(nullptr, nullptr);
  }
  if (!Find(window)) return nullptr;
  return zuvo::platform::gdi::CreateWindowDc(window, nullptr);
}

HDC GetWindowDC(HWND window) {
  if (window == nullptr) return GetDC(nullptr);
  if (!Find(window)) return nullptr;
  return zuvo::platform::gdi::CreateWindowDc(window, nullptr, true);
}

int ReleaseDC(HWND window, HDC dc) {
  if (dc == nullptr) return 0;
  HWND owner = WindowFromDC(dc);
  zuvo::platform::gdi::DeleteWindowDc(dc);
  if (owner != nullptr) ImageChanged(owner);
  return 1;
}

namespace {
// Windows rectangles exclude their right and bottom edges.
QRect ToQRect(const RECT& rect) {
  return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
}

void InvalidateOnUi(HWND window, const RECT* rect, BOOL erase) {
  WindowPtr w = Find(window);
  if (!w) return;
  QRect area = rect == nullptr ? QRect(0, 0, w->clientWidth(), w->clientHeight()) : ToQRect(*rect);
  w->Invalidate(area, erase != FALSE);
}
}  // namespace

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  if (!Find(window)) {
    // Another program paints its own window: accepted, nothing to do here.
    auto foreign = FindForeign(window);
    return foreign && foreign->IsWindow(window) ? TRUE : FALSE;
  }
  if (zuvo::platform::IsUiThread()) {
    InvalidateOnUi(window, rect, erase);
    return TRUE;
  }
  // From a worker this only records damage, as on Windows: it never waits for the UI thread.
  std::optional<RECT> area;
  if (rect != nullptr) area = *rect;
  zuvo::platform::queue::PostToUiThread([window, area, erase] { InvalidateOnUi(window, area ? &*area : nullptr, erase); });
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  WindowPtr w = Find(window);
  if (!w) return FALSE;
  if (rect == nullptr) {
    w->Validate();
  } else {
    w->ValidateIfCovered(ToQRect(*rect));
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase) {
  WindowPtr w = Find(window);
  if (!w) return FALSE;
  QRect area = w->invalid();
  if (rect != nullptr) {
    *rect = area.isEmpty() ? RECT{0, 0, 0, 0}
                           : RECT{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
  }
  return area.isEmpty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND window) {
  if (!Find(window)) {
    auto foreign = FindForeign(window);
    if (foreign) return foreign->IsWindow(window) ? TRUE : FALSE;
  }
  return OnUi([&]() -> BOOL {
    WindowPtr w = Find(window);
    if (!w) return FALSE;
    if (!IsVisibleChain(*w)) return TRUE;
    PaintFrameIfDue(window);
    if (!w->invalid().isEmpty() && Find(window)) {
      CallProc(window, WM_PAINT, 0, 0);
      if (WindowPtr again = Find(window)) again->Validate();
    }
    return TRUE;
  });
}

namespace {
void RedrawOne(HWND window, const RECT* rect, UINT flags, bool top) {
  WindowPtr w = Find(window);
  if (!w) return;
  if (flags & RDW_INVALIDATE) {
    InvalidateRect(window, top ? rect : nullptr, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_FRAME) w->InvalidateFrame();
  }
  if (flags & RDW_VALIDATE) ValidateRect(window, top ? rect : nullptr);
  if (flags & RDW_ALLCHILDREN) {
    std::vector<HWND> kids = w->children();
    for (HWND child : kids) RedrawOne(child, nullptr, flags, false);
  }
  if (flags & RDW_UPDATENOW) UpdateWindow(window);
}
}  // namespace

BOOL RedrawWindow(HWND window, const RECT* rect, HRGN, UINT flags) {
  return OnUi([&]() -> BOOL {
    if (!Find(window)) return FALSE;
    RedrawOne(window, rect, flags, true);
    return TRUE;
  });
}

namespace zuvo::platform::win {

// ---- The record's invalid area --------------------------------------------------------

void Window::InvalidateFrame() {
  AssertUiThread("a window's invalid area");
  if (!HasEdges() || frameInvalid_) return;
  frameInvalid_ = true;
  platform::queue::Wake();
}

bool Window::TakeFrameInvalid() {
  AssertUiThread("a window's invalid area");
  const bool due = frameInvalid_ && HasEdges();
  frameInvalid_ = false;
  return due;
}

void Window::Invalidate(const QRect& area, bool erase) {
  AssertUiThread("a window's invalid area");
  QRect inside = area.intersected(QRect(0, 0, std::max(0, clientWidth()), std::max(0, clientHeight())));
  if (inside.isEmpty()) return;
  invalid_ = invalid_.isEmpty() ? inside : invalid_.united(inside);
  if (erase) eraseRequested_ = true;
  platform::queue::Wake();
}

void Window::InvalidateWhole(bool erase) {
  AssertUiThread("a window's invalid area");
  invalid_ = QRect(0, 0, std::max(0, clientWidth()), std::max(0, clientHeight()));
  if (invalid_.isEmpty()) invalid_ = QRect();
  eraseRequested_ = eraseRequested_ || erase;
  if (!invalid_.isEmpty()) platform::queue::Wake();
}

QRect Window::TakeUpdate(bool* erase) {
  AssertUiThread("a window's invalid area");
  QRect area = invalid_.intersected(QRect(0, 0, clientWidth(), clientHeight()));
  *erase = eraseRequested_;
  Validate();
  return area;
}

void Window::Validate() {
  AssertUiThread("a window's invalid area");
  invalid_ = QRect();
  eraseRequested_ = false;
  frameInvalid_ = false;
}

void Window::ValidateIfCovered(const QRect& area) {
  if (area.contains(invalid_)) Validate();
}

void Window::ValidateIfUnchanged(const QRect& before) {
  if (invalid_ == before) Validate();
}

bool Window::NeedsPaint() const {
  return (!invalid_.isEmpty() || frameInvalid_) && !destroying_ && IsVisibleChain(*this);
}

// ---- The WM_PAINT cycle ---------------------------------------------------------------

void PaintFrameIfDue(HWND window) {
  WindowPtr w = Find(window);
  if (!w || !IsVisibleChain(*w) || !w->TakeFrameInvalid()) return;
  CallProc(window, WM_NCPAINT, 1, 0);
}

LRESULT DispatchPaint(HWND window, WPARAM wParam, LPARAM lParam) {
  PaintFrameIfDue(window);
  WindowPtr w = Find(window);
  if (!w) return 0;
  QRect before = w->invalid();
  LRESULT result = CallProc(window, WM_PAINT, wParam, lParam);
  w->ValidateIfUnchanged(before);
  return result;
}

HWND NextWindowToPaint(HWND filter) {
  for (const WindowPtr& w : AllWindows()) {
    if (filter != nullptr && w->handle != filter) continue;
    if (w->NeedsPaint()) return w->handle;
  }
  return nullptr;
}

bool AnyInvalidWindow(HWND filter) { return NextWindowToPaint(filter) != nullptr; }

int PaintInvalidWindows() {
  int painted = 0;
  // Each window at most once per call, so a handler that keeps invalidating cannot loop.
  for (const WindowPtr& w : AllWindows()) {
    if (!w->NeedsPaint() || !Find(w->handle)) continue;
    PaintFrameIfDue(w->handle);
    ++painted;
    // Only the frame was invalid: WM_NCPAINT was all there was to do.
    if (w->invalid().isEmpty() || !Find(w->handle)) continue;
    MSG msg{w->handle, WM_PAINT, 0, 0, GetTickCount(), POINT{0, 0}};
    QRect before = w->invalid();
    if (!platform::queue::RunHooks(msg)) DispatchMessageA(&msg);
    // A hook that handled the message may have left the damage too.
    w->ValidateIfUnchanged(before);
  }
  return painted;
}
}  // namespace zuvo::platform::win
