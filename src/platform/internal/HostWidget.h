// Platform-internal: the Qt widget that shows a window's client area and turns Qt's events into
// messages, the frame widget around it that shows a child window's edges, and the calls that
// keep a window's widgets in step with its record (parent, flags, geometry, edges, end of life).
// The client widget's coordinates are the window's client coordinates, so Qt's mouse positions
// (and SimulateMouse's) need no translation. UI thread only.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/Window.h"

#include <QWidget>

namespace zuvo::platform::win {

class HostWidget : public QWidget {
 public:
  HostWidget(HWND window, QWidget* parent, Qt::WindowFlags flags);
  HWND window() const { return window_; }
  void Detach() { window_ = nullptr; }
  int busy() const { return busy_; }
  // Counts a replay into a hosted widget as one of this widget's events: a window destroyed
  // meanwhile deletes the widgets later, not from under the replay.
  void AddBusy(int delta) { busy_ += delta; }
  bool syncing = false;   // set while the window system moves the widget itself

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool focusNextPrevChild(bool next) override;
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

// Shows the backing image of a window that hosts a Qt widget over that widget; the mouse goes
// through it to the hosted widget.
class OverlayWidget : public QWidget {
 public:
  OverlayWidget(HWND window, QWidget* parent);
  void Detach() { window_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  HWND window_;
};

// Places the hosted widget and the overlay over the whole client widget.
void LayoutHosted(Window& window);

// A child window's edges: shows the part of the backing image outside the client area, and
// keeps mouse input on the edges from reaching the parent (it goes nowhere, unless a window has
// the capture, which gets it in its client coordinates).
class FrameWidget : public QWidget {
 public:
  FrameWidget(HWND window, QWidget* parent);
  HWND window() const { return window_; }
  void Detach() { window_ = nullptr; }
  int busy() const { return busy_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Mouse(QMouseEvent* event, int action);
  HWND window_;
  int busy_ = 0;
};

// The widget that stands for the window among its parent's widgets: the frame when there is
// one, otherwise the client widget (null after the window's end).
QWidget* OuterWidget(Window& window);
// Moves the widgets to the record's rectangle and client area without the move coming back as a
// message; gives a child window with edges its frame widget, and takes it away when the edges go.
void SyncWidgetGeometry(Window& window);
// Places the widget under its parent's widget (WS_CHILD) or its owner's as a top-level window
// with flags from the styles, at the record's rectangle and visibility.
void SetWidgetParent(Window& window);
// Detaches and deletes the window's widget (later, when it is inside one of its own events).
void FreeWidget(Window& window);

}  // namespace zuvo::platform::win
