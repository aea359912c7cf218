// Platform-internal: the window registry shared by the window, message, input and drawing
// units. A window's record lives in the registry from its WM_NCCREATE until its WM_NCDESTROY has
// returned; holders keep it alive with a shared pointer. Records are changed on the UI thread
// only (the members that keep an invariant check it); the registry itself may be searched from
// any thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <QEvent>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zuvo::platform::win {

struct WindowClass {
  std::string name;
  std::string menuName;
  WNDCLASSA info{};
  WORD atom = 0;
  // A class argument names a class by its name (without regard to ASCII case) or, below
  // 0x10000, by its atom.
  bool Matches(LPCSTR nameOrAtom) const;
};

class HostWidget;
class FrameWidget;
class WrappedControl;

// SetWindowPos's own notes in WM_WINDOWPOSCHANGED: the client area kept its size / its position
// (the window's may have changed with its edges). The default handling sends WM_SIZE / WM_MOVE
// only when the client area changed.
constexpr UINT kSwpNoClientSize = 0x0800;
constexpr UINT kSwpNoClientMove = 0x1000;
// WM_NCHITTEST's answer for a point on a window's edge.
constexpr LRESULT kHitBorder = HTBORDER;

// One window's record. The plain fields are the window's words and geometry, read and written
// by the Windows calls on the UI thread. The invalid area, the child list, the backing image and
// the destroying mark keep rules of their own and are reached through members; the members that
// change them stop the program when called off the UI thread.
class Window {
 public:
  HWND handle = nullptr;
  std::shared_ptr<WindowClass> windowClass;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;   // WS_CHILD windows
  HWND owner = nullptr;    // top-level windows
  RECT rect{};             // in the parent's client coordinates, or on the screen
  // The client area in window coordinates: inside the non-client edges of a child window (the
  // answer to WM_NCCALCSIZE), the whole window for a top-level one (the window manager draws
  // its frame outside the window).
  RECT clientArea{};
  RECT normalRect{};       // a top-level window's rectangle before it was maximised or minimised
  std::string text;        // GBK
  LONG_PTR id = 0;         // GWL_ID (the menu argument of a child)
  LONG_PTR userData = 0;
  std::vector<unsigned char> extraBytes;
  bool trackLeave = false;
  HFONT font = nullptr;    // WM_SETFONT / WM_GETFONT of the default processing
  // Shows the client area, and takes its input. A child window with edges has it inside a frame
  // widget that shows the edges; the frame is the widget placed in the parent's.
  HostWidget* widget = nullptr;
  FrameWidget* frame = nullptr;
  // A window that shows a Qt widget (the text controls): the widget fills the client area, the
  // overlay widget above it shows the backing image, which is transparent where nothing was
  // drawn. Null for the others.
  QWidget* hosted = nullptr;
  QWidget* overlay = nullptr;
  std::shared_ptr<WrappedControl> wrapper;

  // The window's size (edges included).
  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
  int clientWidth() const { return clientArea.right - clientArea.left; }
  int clientHeight() const { return clientArea.bottom - clientArea.top; }
  // The client area's top-left corner in window coordinates.
  QPoint clientOffset() const { return QPoint(clientArea.left, clientArea.top); }
  // The client area in window (= backing image) coordinates.
  QRect clientRect() const { return QRect(clientArea.left, clientArea.top, clientWidth(), clientHeight()); }
  // The window has a non-client area (edges) around its client area.
  bool HasEdges() const {
    return clientArea.left != 0 || clientArea.top != 0 || clientArea.right != width() ||
           clientArea.bottom != height();
  }

  // ---- Children: z-order bottom first, so the last is the top child.
  const std::vector<HWND>& children() const { return children_; }
  // The children top first: the order in which they are destroyed.
  std::vector<HWND> ChildrenTopFirst() const { return {children_.rbegin(), children_.rend()}; }
  void AddChildOnTop(HWND child);
  void AddChildAtBottom(HWND child);
  // Just below `above` (which must be a child already).
  void AddChildBelow(HWND child, HWND above);
  void RemoveChild(HWND child);

  // ---- Backing image: the whole window (edges included), white where nothing was drawn yet.
  // Client contexts draw on its client part; window contexts (GetWindowDC) on all of it.
  QImage& image() { return image_; }
  const QImage& image() const { return image_; }
  // Follows the window size, keeping what was drawn in the part that stays.
  void ResizeImage();

  // ---- Invalid frame: the edges need WM_NCPAINT, sent ahead of the next WM_ERASEBKGND and
  // WM_PAINT. Only a window with edges keeps it (one without gets no WM_NCPAINT).
  bool frameInvalid() const { return frameInvalid_; }
  void InvalidateFrame();
  // Hands over the mark: true when WM_NCPAINT is due now.
  bool TakeFrameInvalid();

  // ---- Invalid area: one rectangle in client coordinates (the union of what was invalidated),
  // empty when the window is valid. Nonempty wakes the queue so that WM_PAINT follows.
  const QRect& invalid() const { return invalid_; }
  bool eraseRequested() const { return eraseRequested_; }
  // Adds the part of `area` inside the client area; `erase` asks for WM_ERASEBKGND.
  void Invalidate(const QRect& area, bool erase);
  void InvalidateWhole(bool erase);
  // Validates everything; BeginPaint's hand-over: returns the invalid part of the client area
  // and whether an erase was asked.
  QRect TakeUpdate(bool* erase);
  // Validates the client area and the frame.
  void Validate();
  // The invalid area is one rectangle: only a cover of it validates it.
  void ValidateIfCovered(const QRect& area);
  // After WM_PAINT: a handler that did not validate gets no second WM_PAINT for the same damage,
  // while damage added during the paint (the area changed) is kept for the next round.
  void ValidateIfUnchanged(const QRect& before);
  // Visible, not being destroyed, and invalid (client area or frame): painting is due.
  bool NeedsPaint() const;

  // ---- Destruction: WM_DESTROY goes parent first, then the children top first; WM_NCDESTROY
  // children first; the record leaves the registry after its own WM_NCDESTROY.
  bool destroying() const { return destroying_; }
  // Marks the window as being destroyed; false when it already was, so that a second
  // DestroyWindow (from a handler of the first) does nothing.
  bool BeginDestroying();
  // After WM_NCDESTROY: the widget and the image go; the record stays readable to holders.
  void ReleaseResources();

 private:
  std::vector<HWND> children_;
  QImage image_;
  QRect invalid_;
  bool eraseRequested_ = false;
  bool frameInvalid_ = false;
  bool destroying_ = false;
};

using WindowPtr = std::shared_ptr<Window>;

// The record of a live window, or null. Any thread.
WindowPtr Find(HWND window);
// Visible and every parent up to the top-level window visible too.
bool IsVisibleChain(const Window& window);
// Live windows in creation order (parents before their children). A snapshot: windows created
// or destroyed while the caller walks it are not reflected. Any thread.
std::vector<WindowPtr> AllWindows();
// True when `candidate` is `root` or a (WS_CHILD) descendant of it.
bool IsInSubtree(HWND candidate, HWND root);

// Calls the window's procedure. 0 for a dead window.
LRESULT CallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The top-level window of a window (itself when top-level); null when dead.
HWND RootOf(HWND window);
// Screen position of the client area's top-left corner.
QPoint ClientOrigin(const Window& window);
// Screen position of the window's top-left corner (its edge, when it has one).
QPoint WindowOrigin(const Window& window);
// The window's backing image (null when dead), and where its client area lies in it. UI thread.
QImage* BackingImage(HWND window, QRect* clientArea = nullptr);
// Schedules the window's widget to show its image again after drawing.
void ImageChanged(HWND window);

// Runs the call on the UI thread when made from another thread; the caller waits for it.
template <typename F>
auto OnUi(F&& f) -> decltype(f()) {
  if (platform::IsUiThread()) return f();
  decltype(f()) result{};
  platform::RunOnUiThread([&] { result = f(); });
  return result;
}

// Asks a top-level window for its maximised placement and tracking sizes (WM_GETMINMAXINFO,
// defaults from the work area, tracking sizes unbounded). UI thread.
MINMAXINFO AskMinMaxInfo(HWND window);
// A size held to the tracking sizes; the tracking minimum wins over a smaller maximum.
int ClampToTracking(int size, LONG minimum, LONG maximum);

// The client area a window's styles give it inside `windowRect` (WM_NCCALCSIZE's default): the
// edges of WS_BORDER, WS_EX_STATICEDGE, WS_EX_DLGMODALFRAME and WS_EX_CLIENTEDGE on a child
// window; a top-level window keeps all of it.
RECT DefaultClientArea(const Window& window, const RECT& windowRect);
// Asks a child window for its client area (WM_NCCALCSIZE) and keeps the answer, held inside the
// window; a top-level window's client area is the whole window. False when the window died.
bool CalcClientArea(HWND window);
// Sends WM_NCPAINT when the frame is invalid. UI thread.
void PaintFrameIfDue(HWND window);

// Focus, activation and capture. Changed on the UI thread only (checked); read from any thread.
HWND FocusWindow();
HWND ActiveWindow();
HWND CaptureWindow();
// Called by the input unit when Qt activates or deactivates a top-level widget.
void ActivateFromQt(HWND window, bool active);
// Called when the mouse is over a window (for WM_MOUSELEAVE and cursors). UI thread.
void MouseOver(HWND window);
// The window the mouse was last over (null when none). UI thread.
HWND MouseWindow();
void ApplyCursor(HWND window);

}  // namespace zuvo::platform::win

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QString;

namespace zuvo::platform::input {
// What a mouse event of a host widget is.
enum class MouseAction { Press, Release, DoubleClick, Move };
// Qt events of a host widget become queued messages.
void KeyEvent(HWND window, QKeyEvent* event, bool press);
void MouseEvent(HWND window, QMouseEvent* event, MouseAction action);
void WheelEvent(HWND window, QWheelEvent* event);
void TextEvent(HWND window, const QString& text);
// The Qt key of a virtual key (0 when none); `keypad` says whether it is a keypad key.
int QtKeyOf(int virtualKey, bool* keypad);
// The Qt event type and button of a mouse button or move message; false for other messages.
bool QtMouseEventOf(UINT message, QEvent::Type* type, Qt::MouseButton* button);
// The Qt buttons held in the MK_ flags of a mouse message.
Qt::MouseButtons QtButtonsOf(WPARAM keys);
// Updates the key state from a message taken from the queue (modifiers snapshot or -1).
void ApplyInput(const MSG& message, int modifiers);
}  // namespace zuvo::platform::input

namespace zuvo::platform::queue {
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
}  // namespace zuvo::platform::queue

namespace zuvo::platform::gdi {
// A context on a window's client area (the screen's scratch image for null), clipped to `clip`
// (client coordinates) when given; `wholeWindow` makes it a context on the whole window, edges
// included, with its origin at the window's top-left corner (GetWindowDC).
HDC CreateWindowDc(HWND window, const QRect* clip, bool wholeWindow = false);
void DeleteWindowDc(HDC dc);
// The solid colour of a brush handle (including COLOR_xxx + 1); false when null or hollow.
bool BrushColor(HBRUSH brush, COLORREF* color);
QColor ToQColor(COLORREF color);
}  // namespace zuvo::platform::gdi
