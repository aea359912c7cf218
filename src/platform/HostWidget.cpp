// The Qt widgets behind each window: the client widget shows the client part of the backing
// image and turns Qt's events into messages; a child window with edges has a frame widget
// around it that shows the edges. Both follow the record's parent, flags, geometry and edges.
#include "platform/internal/HostWidget.h"

#include "platform/internal/DragDrop.h"
#include "platform/internal/Wrapped.h"


#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace zuvo::platform::win {
namespace {

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

}  // namespace

QWidget* OuterWidget(Window& w) {
  if (w.frame != nullptr) return w.frame;
  return w.widget;
}

namespace {

// Deletes a widget now, or later when it is inside one of its own events (deleting it then
// would pull it from under that event).
template <typename W>
void Dispose(W* widget) {
  widget->Detach();
  widget->hide();
  if (widget->busy() > 0) {
    widget->setParent(nullptr);
    widget->deleteLater();
  } else {
    delete widget;
  }
}

// A child window with edges shows its client widget inside a frame widget, which takes the
// client widget's place among the parent's widgets; without edges the client widget is placed
// there itself.
void UpdateFrame(Window& w) {
  const bool wanted = (w.style & WS_CHILD) != 0 && w.parent != nullptr && w.HasEdges();
  if (wanted && w.frame == nullptr) {
    QWidget* parentWidget = w.widget->parentWidget();
    if (parentWidget == nullptr) return;
    const bool shown = !w.widget->isHidden();
    auto* frame = new FrameWidget(w.handle, parentWidget);
    frame->stackUnder(w.widget);
    w.widget->setParent(frame);
    w.widget->show();
    frame->setVisible(shown);
    w.frame = frame;
  } else if (!wanted && w.frame != nullptr) {
    FrameWidget* frame = w.frame;
    w.frame = nullptr;
    const bool shown = !frame->isHidden();
    w.widget->setParent(frame->parentWidget());
    w.widget->stackUnder(frame);
    w.widget->setVisible(shown);
    Dispose(frame);
  }
}

}  // namespace

void SyncWidgetGeometry(Window& w) {
  if (w.widget == nullptr) return;
  UpdateFrame(w);
  w.widget->syncing = true;
  if (w.frame != nullptr) {
    w.frame->setGeometry(w.rect.left, w.rect.top, std::max(0, w.width()), std::max(0, w.height()));
    w.widget->setGeometry(w.clientArea.left, w.clientArea.top, std::max(0, w.clientWidth()),
                          std::max(0, w.clientHeight()));
  } else {
    w.widget->setGeometry(w.rect.left, w.rect.top, std::max(0, w.width()), std::max(0, w.height()));
  }
  w.widget->syncing = false;
}

void SetWidgetParent(Window& w) {
  if (w.widget == nullptr) return;
  QWidget* parentWidget = nullptr;
  Qt::WindowFlags flags = Qt::Widget;
  const bool child = (w.style & WS_CHILD) != 0 && w.parent != nullptr;
  if (child) {
    if (WindowPtr p = Find(w.parent)) parentWidget = p->widget;
  } else {
    WindowPtr o = w.owner ? Find(w.owner) : nullptr;
    parentWidget = o ? o->widget : nullptr;
    flags = TopLevelFlags(w.style, w.exStyle, parentWidget != nullptr);
    UpdateFrame(w);   // a top-level window has no frame of its own
  }
  bool visible = (w.style & WS_VISIBLE) != 0;
  OuterWidget(w)->setParent(parentWidget, flags);
  SyncWidgetGeometry(w);
  OuterWidget(w)->setVisible(visible);
}

void FreeWidget(Window& w) {
  HostWidget* widget = w.widget;
  FrameWidget* frame = w.frame;
  w.widget = nullptr;
  w.frame = nullptr;
  // Children of the widgets that are not windows of ours (none expected) go with them.
  if (widget != nullptr) Dispose(widget);
  if (frame != nullptr) Dispose(frame);
}

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
  // Drags from other programs go to the window's registered drop target.
  bool handled = window_ != nullptr && platform::dragdrop::QtDragEvent(window_, event);
  if (!handled) handled = QWidget::event(event);
  --busy_;
  return handled;
}

void HostWidget::paintEvent(QPaintEvent*) {
  WindowPtr w = Find(window_);
  if (!w || w->hosted != nullptr) return;   // the hosted widget covers it, the overlay shows the image
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), w->image(), w->clientRect());
}

void HostWidget::resizeEvent(QResizeEvent*) {
  if (window_ != nullptr) {
    if (WindowPtr w = Find(window_); w && w->hosted != nullptr) LayoutHosted(*w);
  }
  if (syncing || window_ == nullptr || !isWindow()) return;
  WindowPtr w = Find(window_);
  if (!w || (w->width() == width() && w->height() == height())) return;
  SetWindowPos(window_, nullptr, 0, 0, width(), height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void HostWidget::moveEvent(QMoveEvent*) {
  if (syncing || window_ == nullptr || !isWindow()) return;
  WindowPtr w = Find(window_);
  // The window's rectangle is its client area: the frame the window manager adds is not part
  // of it (x() and y() would be the frame's corner, and a saved position would creep).
  const QPoint client = geometry().topLeft();
  if (!w || (w->rect.left == client.x() && w->rect.top == client.y())) return;
  SetWindowPos(window_, nullptr, client.x(), client.y(), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Tab and Shift+Tab are keys like any other here: the program's own dialog code moves the focus.
bool HostWidget::focusNextPrevChild(bool) { return false; }

void HostWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (window_ != nullptr) SendMessageA(window_, WM_CLOSE, 0, 0);
}

void HostWidget::keyPressEvent(QKeyEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, true);
}
void HostWidget::keyReleaseEvent(QKeyEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, false);
}
void HostWidget::mousePressEvent(QMouseEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Press);
}
void HostWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Release);
}
void HostWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) {
    platform::input::MouseEvent(window_, event, platform::input::MouseAction::DoubleClick);
  }
}
void HostWidget::mouseMoveEvent(QMouseEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Move);
}
void HostWidget::wheelEvent(QWheelEvent* event) {
  if (IsReplayedEvent(event)) return;
  if (window_ != nullptr) platform::input::WheelEvent(window_, event);
}
void HostWidget::leaveEvent(QEvent*) {
  if (window_ != nullptr && MouseWindow() == window_) MouseOver(nullptr);
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

// ---- The overlay over a hosted Qt widget ------------------------------------------------

OverlayWidget::OverlayWidget(HWND window, QWidget* parent) : QWidget(parent), window_(window) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::NoFocus);
}

void OverlayWidget::paintEvent(QPaintEvent* event) {
  WindowPtr w = window_ != nullptr ? Find(window_) : nullptr;
  if (!w) return;
  QPainter painter(this);
  painter.setClipRegion(event->region());
  painter.drawImage(QPoint(0, 0), w->image(), w->clientRect());
}

void LayoutHosted(Window& w) {
  if (w.widget == nullptr) return;
  const QRect area = w.widget->rect();
  if (w.hosted != nullptr) w.hosted->setGeometry(area);
  if (w.overlay != nullptr) {
    w.overlay->setGeometry(area);
    w.overlay->raise();
  }
}

// ---- The frame of a child window with edges ---------------------------------------------

FrameWidget::FrameWidget(HWND window, QWidget* parent) : QWidget(parent), window_(window) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
}

bool FrameWidget::event(QEvent* event) {
  if (event->type() == QEvent::DeferredDelete) {
    if (busy_ > 0) {
      deleteLater();
      return true;
    }
    return QWidget::event(event);   // deletes this
  }
  ++busy_;
  platform::queue::ModalScope scope;
  bool handled = QWidget::event(event);
  --busy_;
  return handled;
}

void FrameWidget::paintEvent(QPaintEvent*) {
  WindowPtr w = Find(window_);
  if (!w) return;
  QPainter painter(this);
  painter.drawImage(0, 0, w->image());
}

// The edge is not part of the client area: a click there reaches no window, as the non-client
// messages are not kept here; only the capture sees the mouse wherever it is.
void FrameWidget::Mouse(QMouseEvent* event, int action) {
  event->accept();
  if (window_ == nullptr || CaptureWindow() == nullptr) return;
  WindowPtr w = Find(window_);
  if (!w) return;
  const QPointF client = event->position() - QPointF(w->clientOffset());
  QMouseEvent moved(event->type(), client, event->globalPosition(), event->button(), event->buttons(),
                    event->modifiers());
  platform::input::MouseEvent(window_, &moved, static_cast<platform::input::MouseAction>(action));
}

void FrameWidget::mousePressEvent(QMouseEvent* event) {
  Mouse(event, static_cast<int>(platform::input::MouseAction::Press));
}
void FrameWidget::mouseReleaseEvent(QMouseEvent* event) {
  Mouse(event, static_cast<int>(platform::input::MouseAction::Release));
}
void FrameWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  Mouse(event, static_cast<int>(platform::input::MouseAction::DoubleClick));
}
void FrameWidget::mouseMoveEvent(QMouseEvent* event) {
  Mouse(event, static_cast<int>(platform::input::MouseAction::Move));
}

void FrameWidget::wheelEvent(QWheelEvent* event) {
  event->accept();
  WindowPtr w = window_ != nullptr ? Find(window_) : nullptr;
  if (!w) return;
  const QPointF client = event->position() - QPointF(w->clientOffset());
  QWheelEvent moved(client, event->globalPosition(), event->pixelDelta(), event->angleDelta(), event->buttons(),
                    event->modifiers(), event->phase(), event->inverted());
  platform::input::WheelEvent(window_, &moved);
}

}  // namespace zuvo::platform::win
