// Platform-internal: the Qt widget that shows a window's backing image and turns Qt's events
// into messages, and the calls that keep a window's widget in step with its record (parent,
// flags, geometry, end of life). UI thread only.
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

// Moves the widget to the record's rectangle without the move coming back as a message.
void SyncWidgetGeometry(Window& window);
// Places the widget under its parent's widget (WS_CHILD) or its owner's as a top-level window
// with flags from the styles, at the record's rectangle and visibility.
void SetWidgetParent(Window& window);
// Detaches and deletes the window's widget (later, when it is inside one of its own events).
void FreeWidget(Window& window);

}  // namespace zuvo::platform::win
