// Windows that host a Qt widget: the input chain around it, the replay of what reaches the
// default processing, the clipboard actions, and the one look (see internal/Wrapped.h).
#include "platform/internal/Wrapped.h"

#include "platform/Clipboard.h"
#include "platform/Gdi.h"
#include "platform/Text.h"
#include "platform/internal/GdiRegistry.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include <QApplication>
#include <QChildEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <vector>

namespace zuvo::platform::win {
namespace {

// The events being replayed, innermost last. Qt hands an event a widget ignores on to its
// parents (keys and mouse): the host widget and the filter know a replayed event by its
// address and leave it alone, so it never comes back as new input.
std::vector<const QEvent*>& ReplayStack() {
  static std::vector<const QEvent*> stack;
  return stack;
}

Qt::KeyboardModifiers CurrentModifiers() {
  Qt::KeyboardModifiers mods;
  if (GetKeyState(VK_SHIFT) & 0x8000) mods |= Qt::ShiftModifier;
  if (GetKeyState(VK_CONTROL) & 0x8000) mods |= Qt::ControlModifier;
  if (GetKeyState(VK_MENU) & 0x8000) mods |= Qt::AltModifier;
  return mods;
}

bool IsInside(const QWidget* root, const QWidget* widget) {
  return root != nullptr && widget != nullptr && (widget == root || root->isAncestorOf(widget));
}

}  // namespace

bool IsReplayedEvent(const QEvent* event) {
  const auto& stack = ReplayStack();
  return std::find(stack.begin(), stack.end(), event) != stack.end();
}

// ---- Text at the boundary ---------------------------------------------------------------

QString FromGbk(const std::string& bytes) { return QString::fromStdU16String(gbk::ToUtf16(bytes)); }

std::string ToGbk(const QString& text) { return gbk::FromUtf16(text.toStdU16String()); }

int GbkLength(const QString& text) { return static_cast<int>(gbk::FromUtf16(text.toStdU16String()).size()); }

// ---- Look ---------------------------------------------------------------------------------

namespace {

QColor SysColor(int index) {
  const COLORREF c = GetSysColor(index);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

void ApplyLook(QWidget* widget) {
  static QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"));
  if (style != nullptr) widget->setStyle(style);
  QPalette palette;
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, SysColor(COLOR_BTNFACE));
    palette.setColor(group, QPalette::WindowText, SysColor(COLOR_WINDOWTEXT));
    palette.setColor(group, QPalette::Base, SysColor(COLOR_WINDOW));
    palette.setColor(group, QPalette::AlternateBase, SysColor(COLOR_BTNFACE));
    palette.setColor(group, QPalette::Text, SysColor(COLOR_WINDOWTEXT));
    palette.setColor(group, QPalette::Button, SysColor(COLOR_BTNFACE));
    palette.setColor(group, QPalette::ButtonText, SysColor(COLOR_BTNTEXT));
    palette.setColor(group, QPalette::Highlight, SysColor(COLOR_HIGHLIGHT));
    palette.setColor(group, QPalette::HighlightedText, SysColor(COLOR_HIGHLIGHTTEXT));
    palette.setColor(group, QPalette::Light, SysColor(COLOR_BTNHIGHLIGHT));
    palette.setColor(group, QPalette::Dark, SysColor(COLOR_BTNSHADOW));
    palette.setColor(group, QPalette::Shadow, SysColor(COLOR_3DDKSHADOW));
    palette.setColor(group, QPalette::Link, QColor(0, 0, 255));
  }
  palette.setColor(QPalette::Disabled, QPalette::Window, SysColor(COLOR_BTNFACE));
  palette.setColor(QPalette::Disabled, QPalette::Base, SysColor(COLOR_BTNFACE));
  palette.setColor(QPalette::Disabled, QPalette::Button, SysColor(COLOR_BTNFACE));
  palette.setColor(QPalette::Disabled, QPalette::Text, SysColor(COLOR_GRAYTEXT));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, SysColor(COLOR_GRAYTEXT));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, SysColor(COLOR_GRAYTEXT));
  widget->setPalette(palette);
  widget->setFont(QtFont(nullptr));
}

QFont QtFont(HFONT font) {
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  gdi::ObjectPtr object = gdi::GdiRegistry().Find(font);
  if (object && object->kind == gdi::Kind::Font && object->qfont) return *object->qfont;
  return QFont(QStringLiteral("WenQuanYi Micro Hei"), 9);
}

// ---- The wrapped control ----------------------------------------------------------------

WrappedControl::WrappedControl(HWND host, QWidget* widget) : host_(host), widget_(widget) {
  WindowPtr w = Find(host);
  if (!w || w->widget == nullptr || widget == nullptr) return;
  widget->setParent(w->widget);
  ApplyLook(widget);
  if (w->font != nullptr) widget->setFont(QtFont(w->font));
  widget->setEnabled((w->style & WS_DISABLED) == 0);
  Watch(widget);
  w->widget->setFocusProxy(widget);
  widget->show();
}

WrappedControl::~WrappedControl() = default;

void WrappedControl::Watch(QWidget* widget) {
  // A popup of the widget (a combo box's list) is a window of its own and keeps Qt's input.
  if (widget->isWindow()) return;
  widget->installEventFilter(this);
  // Focus moves only through our model; Qt's own menus are not offered.
  widget->setFocusPolicy(Qt::NoFocus);
  widget->setContextMenuPolicy(Qt::NoContextMenu);
  widget->setAcceptDrops(false);
  for (QObject* child : widget->children()) {
    if (child->isWidgetType()) Watch(static_cast<QWidget*>(child));
  }
}

QWidget* WrappedControl::KeyWidget() const {
  QWidget* root = widget_.data();
  if (root == nullptr) return nullptr;
  QWidget* focus = QApplication::focusWidget();
  if (IsInside(root, focus)) return focus;
  QWidget* target = root;
  while (target->focusProxy() != nullptr) target = target->focusProxy();
  return target;
}

bool WrappedControl::SendReplay(QObject* target, QEvent* event) {
  if (target == nullptr) return false;
  WindowPtr w = Find(host_);
  HostWidget* hostWidget = w ? w->widget : nullptr;
  if (hostWidget != nullptr) hostWidget->AddBusy(1);
  ReplayStack().push_back(event);
  ++replaying_;
  const bool handled = QCoreApplication::sendEvent(target, event);
  --replaying_;
  ReplayStack().pop_back();
  // A window destroyed meanwhile deleted its widget later (it was busy): it is still there.
  if (hostWidget != nullptr) hostWidget->AddBusy(-1);
  return handled;
}

bool WrappedControl::eventFilter(QObject* watched, QEvent* event) {
  if (IsReplayedEvent(event)) return false;
  auto* source = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::ChildAdded: {
      QObject* child = static_cast<QChildEvent*>(event)->child();
      if (child->isWidgetType()) Watch(static_cast<QWidget*>(child));
      return false;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      input::KeyEvent(host_, static_cast<QKeyEvent*>(event), event->type() == QEvent::KeyPress);
      return true;
    case QEvent::InputMethod: {
      auto* im = static_cast<QInputMethodEvent*>(event);
      if (!im->commitString().isEmpty()) input::TextEvent(host_, im->commitString());
      // The composition (preedit) is shown by the widget; the committed text arrives as WM_CHAR.
      QInputMethodEvent preedit(im->preeditString(), im->attributes());
      SendReplay(source, &preedit);
      event->accept();
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      WindowPtr w = Find(host_);
      if (!w || w->widget == nullptr) return true;
      auto* mouse = static_cast<QMouseEvent*>(event);
      const QPointF at = QPointF(source->mapTo(w->widget, mouse->position().toPoint()));
      QMouseEvent moved(mouse->type(), at, mouse->globalPosition(), mouse->button(), mouse->buttons(),
                        mouse->modifiers());
      input::MouseAction action = input::MouseAction::Move;
      if (event->type() == QEvent::MouseButtonPress) action = input::MouseAction::Press;
      if (event->type() == QEvent::MouseButtonRelease) action = input::MouseAction::Release;
      if (event->type() == QEvent::MouseButtonDblClick) action = input::MouseAction::DoubleClick;
      input::MouseEvent(host_, &moved, action);
      event->accept();
      return true;
    }
    case QEvent::Wheel: {
      WindowPtr w = Find(host_);
      if (!w || w->widget == nullptr) return true;
      auto* wheel = static_cast<QWheelEvent*>(event);
      const QPointF at = QPointF(source->mapTo(w->widget, wheel->position().toPoint()));
      QWheelEvent moved(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                        wheel->modifiers(), wheel->phase(), wheel->inverted());
      input::WheelEvent(host_, &moved);
      event->accept();
      return true;
    }
    case QEvent::ContextMenu:
      event->accept();
      return true;
    default:
      return false;
  }
}

// ---- Replay ---------------------------------------------------------------------------------

bool WrappedControl::ClipboardKey(int vk) {
  const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
  const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
  if (control && !shift && (vk == 'C' || vk == VK_INSERT)) {
    Copy();
    return true;
  }
  if ((control && !shift && vk == 'X') || (shift && !control && vk == VK_DELETE)) {
    Cut();
    return true;
  }
  if ((control && !shift && vk == 'V') || (shift && !control && vk == VK_INSERT)) {
    Paste();
    return true;
  }
  return false;
}

void WrappedControl::ReplayKey(UINT message, WPARAM wParam, LPARAM lParam) {
  const int vk = static_cast<int>(wParam & 0xFF);
  const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  if (SpecialKey(vk, down)) return;
  if (down && ClipboardKey(vk)) return;
  // These act through their characters (WM_CHAR), as in an ANSI edit: a procedure that drops
  // the character stops the key.
  if (vk == VK_BACK || vk == VK_RETURN || vk == VK_TAB || vk == VK_ESCAPE) return;
  bool keypad = false;
  const int key = input::QtKeyOf(vk, &keypad);
  if (key == 0) return;
  Qt::KeyboardModifiers mods = CurrentModifiers();
  if (keypad) mods |= Qt::KeypadModifier;
  const bool repeat = down && (lParam & (1L << 30)) != 0;
  QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, QString(), repeat);
  SendReplay(KeyWidget(), &event);
}

void WrappedControl::ReplayChar(unsigned char byte) {
  if (leadByte_ >= 0) {
    const int lead = leadByte_;
    leadByte_ = -1;
    const std::string pair{static_cast<char>(lead), static_cast<char>(byte)};
    if (gbk::CharLength(pair, 0) == 2) {
      ReplayCharacter(FromGbk(pair), 0);
      return;
    }
    // Not a trail byte: the lead byte is dropped and this byte taken on its own.
  }
  if (gbk::IsLeadByte(byte)) {
    leadByte_ = byte;
    return;
  }
  if (byte >= 0x80) return;   // 0x80, 0xFF, or a trail byte without its lead byte
  if (byte < 0x20 || byte == 0x7F) {
    ReplayCharacter(QString(), byte);
    return;
  }
  ReplayCharacter(QString(QChar(byte)), 0);
}

void WrappedControl::ReplayCharacter(const QString& text, int control) {
  if (control != 0) {
    int key = 0;
    QString keyText;
    switch (control) {
      case 0x08: key = Qt::Key_Backspace; break;
      case 0x0D: key = Qt::Key_Return; keyText = QStringLiteral("\r"); break;
      case 0x09: key = Qt::Key_Tab; keyText = QStringLiteral("\t"); break;
      default: return;   // Esc and the Control+letter codes insert nothing
    }
    if (IsReadOnly() && key != Qt::Key_Return) return;
    QKeyEvent press(QEvent::KeyPress, key, CurrentModifiers() & ~Qt::ControlModifier, keyText);
    SendReplay(KeyWidget(), &press);
    return;
  }
  TypeText(text);
}

bool WrappedControl::TypeText(const QString& text) {
  if (text.isEmpty()) return false;
  if (!AcceptText(text)) {
    MessageBeep(0xFFFFFFFF);
    return false;
  }
  InsertText(text);
  return true;
}

void WrappedControl::InsertText(const QString& text) {
  QWidget* target = KeyWidget();
  if (auto* line = qobject_cast<QLineEdit*>(target)) {
    if (!line->isReadOnly()) line->insert(text);
    return;
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
    if (!plain->isReadOnly()) plain->insertPlainText(text);
    return;
  }
  if (auto* rich = qobject_cast<QTextEdit*>(target)) {
    if (!rich->isReadOnly()) rich->insertPlainText(text);
    return;
  }
  if (target == nullptr) return;
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
  SendReplay(target, &press);
  QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
  SendReplay(target, &release);
}

void WrappedControl::ReplayMouse(UINT message, WPARAM keys, LPARAM lParam) {
  QWidget* root = widget_.data();
  if (root == nullptr) return;
  const QPoint at(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
  QEvent::Type type = QEvent::MouseMove;
  Qt::MouseButton button = Qt::NoButton;
  input::QtMouseEventOf(message, &type, &button);
  const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
  if (press && button == Qt::LeftButton) {
    // As an edit does: a press takes the focus and the mouse until the release.
    if (GetFocus() != host_) SetFocus(host_);
    if (!IsWindow(host_) || widget_.isNull()) return;
    // Only a capture taken here is released here: a control of the class library that holds
    // it already releases it itself after its click handling.
    if (GetCapture() != host_) {
      SetCapture(host_);
      tookCapture_ = GetCapture() == host_;
    }
  }
  QWidget* target = grab_.data();
  if (target == nullptr || !IsInside(root, target)) {
    target = root->childAt(at);
    if (target == nullptr) target = root;
  }
  if (press) grab_ = target;
  Qt::KeyboardModifiers mods;
  if (keys & MK_SHIFT) mods |= Qt::ShiftModifier;
  if (keys & MK_CONTROL) mods |= Qt::ControlModifier;
  const QPoint local = target->mapFrom(root, at);
  QMouseEvent event(type, QPointF(local), QPointF(root->mapToGlobal(at)), button, input::QtButtonsOf(keys), mods);
  QPointer<QWidget> guard(target);
  SendReplay(target, &event);
  if (type == QEvent::MouseButtonRelease && (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) {
    grab_ = nullptr;
    if (tookCapture_ && GetCapture() == host_) ReleaseCapture();
    tookCapture_ = false;
  }
}

void WrappedControl::ReplayWheel(WPARAM wParam, LPARAM lParam) {
  QWidget* root = widget_.data();
  if (root == nullptr) return;
  POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ScreenToClient(host_, &point);
  const QPoint at(point.x, point.y);
  QWidget* target = root->childAt(at);
  if (target == nullptr) target = root;
  const int delta = static_cast<short>(HIWORD(wParam));
  QWheelEvent event(QPointF(target->mapFrom(root, at)), QPointF(root->mapToGlobal(at)), QPoint(), QPoint(0, delta),
                    input::QtButtonsOf(LOWORD(wParam)), CurrentModifiers(), Qt::NoScrollPhase, false);
  SendReplay(target, &event);
}

// ---- Clipboard ------------------------------------------------------------------------------

QString WrappedControl::SelectedText() const {
  QWidget* target = KeyWidget();
  if (auto* line = qobject_cast<QLineEdit*>(target)) {
    return line->echoMode() == QLineEdit::Normal ? line->selectedText() : QString();
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
    return plain->textCursor().selection().toPlainText();
  }
  if (auto* rich = qobject_cast<QTextEdit*>(target)) return rich->textCursor().selection().toPlainText();
  return {};
}

bool WrappedControl::IsReadOnly() const {
  QWidget* target = KeyWidget();
  if (auto* line = qobject_cast<QLineEdit*>(target)) return line->isReadOnly();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) return plain->isReadOnly();
  if (auto* rich = qobject_cast<QTextEdit*>(target)) return rich->isReadOnly();
  return true;
}

void WrappedControl::DeleteSelection() {
  QWidget* target = KeyWidget();
  if (auto* line = qobject_cast<QLineEdit*>(target)) {
    if (line->hasSelectedText()) line->del();
    return;
  }
  if (auto* plain = qobject_cast<QPlainTextEdit*>(target)) {
    plain->textCursor().removeSelectedText();
    return;
  }
  if (auto* rich = qobject_cast<QTextEdit*>(target)) rich->textCursor().removeSelectedText();
}

void WrappedControl::Copy() {
  const QString text = SelectedText();
  if (text.isEmpty()) return;   // nothing selected: the clipboard keeps what it has
  // Paragraph breaks of a text document come back as line breaks.
  QString plain = text;
  plain.replace(QChar(0x2029), QStringLiteral("\r\n"));
  GetClipboardService()->SetText(plain.toStdU16String());
}

void WrappedControl::Cut() {
  if (IsReadOnly() || SelectedText().isEmpty()) return;
  Copy();
  DeleteSelection();
}

void WrappedControl::Paste() {
  if (IsReadOnly()) return;
  std::optional<std::u16string> held = GetClipboardService()->Text();
  if (!held || held->empty()) return;
  if (!gbk::FromUtf16Exact(*held)) {
    MessageBeep(0xFFFFFFFF);   // text GBK cannot hold is refused, never changed
    return;
  }
  QString text = QString::fromStdU16String(*held);
  if (qobject_cast<QLineEdit*>(KeyWidget()) != nullptr) {
    // One line takes the text up to the first line break.
    const auto cut = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (cut >= 0) text.truncate(cut);
  } else {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  }
  TypeText(text);
}

// ---- Notifications and the default processing ------------------------------------------------

void WrappedControl::NotifyParent(WORD code) {
  HWND parent = GetParent(host_);
  if (parent == nullptr || (GetWindowLongA(host_, GWL_STYLE) & WS_CHILD) == 0) return;
  const WORD id = static_cast<WORD>(GetWindowLongA(host_, GWL_ID));
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(host_));
}

LRESULT WrappedControl::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      ReplayKey(message, wParam, lParam);
      if (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP) break;   // menus and Alt+F4 go on
      return 0;
    case WM_CHAR:
      ReplayChar(static_cast<unsigned char>(wParam & 0xFF));
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
      ReplayMouse(message, wParam, lParam);
      if (message == WM_RBUTTONUP) break;   // the default makes WM_CONTEXTMENU
      return 0;
    case WM_MOUSEWHEEL:
      ReplayWheel(wParam, lParam);
      return 0;
    case WM_CAPTURECHANGED:
      grab_ = nullptr;
      tookCapture_ = false;
      break;
    case WM_KILLFOCUS:
      leadByte_ = -1;
      if (QWidget* focus = QApplication::focusWidget(); IsInside(widget_.data(), focus)) focus->clearFocus();
      break;
    case WM_ENABLE:
      if (!widget_.isNull()) widget_->setEnabled(wParam != FALSE);
      break;
    case WM_SETFONT:
      if (!widget_.isNull()) widget_->setFont(QtFont(reinterpret_cast<HFONT>(wParam)));
      break;
    case WM_ERASEBKGND:
      return 1;   // the image lies over the widget: it stays clear where nothing is drawn
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_WANTARROWS;
    default:
      break;
  }
  return DefWindowProcA(host_, message, wParam, lParam);
}

// ---- Binding --------------------------------------------------------------------------------

std::shared_ptr<WrappedControl> WrappedShared(HWND window) {
  WindowPtr w = Find(window);
  return w ? w->wrapper : nullptr;
}

WrappedControl* WrappedOf(HWND window) { return WrappedShared(window).get(); }

void AttachWrapped(HWND window, std::shared_ptr<WrappedControl> control) {
  WindowPtr w = Find(window);
  if (!w || !control || w->widget == nullptr || control->widget() == nullptr) return;
  w->wrapper = std::move(control);
  w->hosted = w->wrapper->widget();
  if (w->overlay == nullptr) w->overlay = new OverlayWidget(window, w->widget);
  w->overlay->show();
  // The image lies over the widget from now on: clear until drawn.
  QImage clear(w->image().size(), QImage::Format_ARGB32_Premultiplied);
  clear.fill(Qt::transparent);
  w->image() = clear;
  LayoutHosted(*w);
}

void EnsureSystemClasses() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  struct Entry {
    const char* name;
    WNDPROC proc;
    LPCSTR cursor;
  };
  const Entry entries[] = {
      {"EDIT", EditWindowProc, IDC_IBEAM},
      {"RichEdit20A", RichEditWindowProc, IDC_IBEAM},
      {"COMBOBOX", ComboBoxWindowProc, IDC_ARROW},
      {"SysTreeView32", TreeViewWindowProc, IDC_ARROW},
      {"SysMonthCal32", MonthCalWindowProc, IDC_ARROW},
      {"SysDateTimePick32", DateTimePickWindowProc, IDC_ARROW},
  };
  for (const Entry& e : entries) {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = e.proc;
    wc.hCursor = LoadCursorA(nullptr, e.cursor);
    wc.lpszClassName = e.name;
    RegisterClassA(&wc);
  }
}

}  // namespace zuvo::platform::win
