// The Qt widget behind each window: shows the backing image, turns Qt's events into messages
// and follows the record's parent, flags and geometry.
#include "platform/internal/HostWidget.h"


#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QPainter>

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

void SyncWidgetGeometry(Window& w) {
  if (w.widget == nullptr) return;
  w.widget->syncing = true;
  w.widget->setGeometry(w.rect.left, w.rect.top, std::max(0, w.width()), std::max(0, w.height()));
  w.widget->syncing = false;
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

void HostWidget::paintEvent(QPaintEvent*) {
  WindowPtr w = Find(window_);
  if (!w) return;
  QPainter painter(this);
  painter.drawImage(0, 0, w->image());
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
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, true);
}
void HostWidget::keyReleaseEvent(QKeyEvent* event) {
  if (window_ != nullptr) platform::input::KeyEvent(window_, event, false);
}
void HostWidget::mousePressEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Press);
}
void HostWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Release);
}
void HostWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (window_ != nullptr) {
    platform::input::MouseEvent(window_, event, platform::input::MouseAction::DoubleClick);
  }
}
void HostWidget::mouseMoveEvent(QMouseEvent* event) {
  if (window_ != nullptr) platform::input::MouseEvent(window_, event, platform::input::MouseAction::Move);
}
void HostWidget::wheelEvent(QWheelEvent* event) {
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

}  // namespace zuvo::platform::win
