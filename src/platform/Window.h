// Platform-internal: the window registry shared by the window, message, input and drawing
// units. A window's record lives in the registry from its WM_NCCREATE until its WM_NCDESTROY has
// returned; holders keep it alive with a shared pointer. Records are changed on the UI thread
// only; the registry itself may be searched from any thread.
#pragma once

#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::win {

struct WindowClass {
  std::string name;
  std::string menuName;
  WNDCLASSA info{};
};

class HostWidget;

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;   // WS_CHILD windows
  HWND owner = nullptr;    // top-level windows
  std::vector<HWND> children;   // z-order bottom first: back() is the top child
  RECT rect{};                  // in the parent's client coordinates, or on the screen
  std::string text;             // GBK
  LONG_PTR id = 0;              // GWL_ID (the menu argument of a child)
  LONG_PTR userData = 0;
  std::vector<unsigned char> extraBytes;
  bool destroying = false;
  bool trackLeave = false;
  QImage image;                 // the backing image, client size
  QRect invalid;                // the invalid part of the client area (empty when valid)
  bool eraseRequested = false;
  HostWidget* widget = nullptr;
  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
};

using WindowPtr = std::shared_ptr<Window>;

// The record of a live window, or null. Any thread.
WindowPtr Find(HWND window);
// Visible and every parent up to the top-level window visible too.
bool IsVisibleChain(const Window& window);
// Live windows in creation order (parents before their children). UI thread.
std::vector<WindowPtr> AllWindows();

// Calls the window's procedure. 0 for a dead window.
LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The top-level window of a window (itself when top-level); null when dead.
HWND RootOf(HWND window);
// Screen position of a client point.
QPoint ClientOrigin(const Window& window);
// The window's backing image (null when dead). UI thread.
QImage* BackingImage(HWND window);
// Schedules the window's widget to show its image again after drawing.
void ImageChanged(HWND window);

// The Qt widget that shows a window and turns Qt's events into messages.
class HostWidget : public QWidget {
 public:
  HostWidget(HWND window, QWidget* parent, Qt::WindowFlags flags);
  HWND window() const { return window_; }
  void Detach() { window_ = nullptr; }
  int busy() const { return busy_; }
  bool syncing = false;   // set while the window system moves the widget itself

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  HWND window_;
  int busy_ = 0;
};

// Runs the call on the UI thread when made from another thread; the caller waits for it.
template <typename F>
auto OnUi(F&& f) -> decltype(f()) {
  if (platform::IsUiThread()) return f();
  decltype(f()) result{};
  platform::RunOnUiThread([&] { result = f(); });
  return result;
}

// Focus, activation and capture state (UI thread).
HWND FocusWindow();
HWND ActiveWindow();
HWND CaptureWindow();
// Called by the input unit when Qt activates or deactivates a top-level widget.
void ActivateFromQt(HWND window, bool active);
// Called when the mouse is over a window (for WM_MOUSELEAVE and cursors).
void MouseOver(HWND window);
void ApplyCursor(HWND window);

}  // namespace platform::win

namespace platform::input {
// Qt events of a host widget become queued messages.
void KeyEvent(HWND window, QKeyEvent* event, bool press);
void MouseEvent(HWND window, QMouseEvent* event, UINT kind);   // kind: 0 press, 1 release, 2 double, 3 move
void WheelEvent(HWND window, QWheelEvent* event);
void TextEvent(HWND window, const QString& text);
// Updates the key state from a message taken from the queue (modifiers snapshot or -1).
void ApplyInput(const MSG& message, int modifiers);
}  // namespace platform::input

namespace platform::queue {
// Posts with an input snapshot (modifier bits: 1 shift, 2 control, 4 alt).
bool PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int modifiers);
void Wake();
// Runs the message hooks on a message taken from the queue; true when one handled it.
bool RunHooks(MSG& message);
// Drops the window's waiting WM_TIMER and kills its timers.
void KillWindowTimers(HWND window);
// Completes every message a worker sent to the window and still waits on, with result 0 (the
// window has been destroyed: nothing will ever handle them).
void ReleaseSendsTo(HWND window);
// Runs the function on the UI thread: at once there, otherwise queued ahead of posted messages
// without waiting (for calls that do not block on Windows either).
void PostToUiThread(std::function<void()> function);
// Makes a nested modal loop handle messages even while a GetMessageA waits below it.
class ModalScope {
 public:
  ModalScope();
  ~ModalScope();
 private:
  int saved_;
};
}  // namespace platform::queue

namespace platform::gdi {
// A context on a window's image (the screen's scratch image for null), clipped to `clip` (client
// coordinates) when given.
HDC CreateWindowDc(HWND window, const QRect* clip);
void DeleteWindowDc(HDC dc);
// The solid colour of a brush handle (including COLOR_xxx + 1); false when null or hollow.
bool BrushColor(HBRUSH brush, COLORREF* color);
QColor ToQColor(COLORREF color);
}  // namespace platform::gdi
