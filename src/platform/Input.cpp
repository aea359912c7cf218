#include "platform/Input.h"

#include "platform/Text.h"
#include "platform/internal/Cursor.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/ThreadOwnership.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <array>
#include <atomic>

namespace zuvo::platform::input {
namespace {

constexpr int kShift = 1;
constexpr int kControl = 2;
constexpr int kAlt = 4;

struct KeyPair {
  int qt;
  int vk;
  bool extended;
};

// Qt keys and their virtual keys. The first entry of a virtual key is the one simulated.
const KeyPair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK, false},   {Qt::Key_Tab, VK_TAB, false},
    {Qt::Key_Backtab, VK_TAB, false},      {Qt::Key_Clear, VK_CLEAR, false},
    {Qt::Key_Return, VK_RETURN, false},    {Qt::Key_Enter, VK_RETURN, true},
    {Qt::Key_Shift, VK_SHIFT, false},      {Qt::Key_Control, VK_CONTROL, false},
    {Qt::Key_Alt, VK_MENU, false},         {Qt::Key_Pause, VK_PAUSE, false},
    {Qt::Key_CapsLock, VK_CAPITAL, false}, {Qt::Key_Escape, VK_ESCAPE, false},
    {Qt::Key_Space, VK_SPACE, false},      {Qt::Key_PageUp, VK_PRIOR, true},
    {Qt::Key_PageDown, VK_NEXT, true},     {Qt::Key_End, VK_END, true},
    {Qt::Key_Home, VK_HOME, true},         {Qt::Key_Left, VK_LEFT, true},
    {Qt::Key_Up, VK_UP, true},             {Qt::Key_Right, VK_RIGHT, true},
    {Qt::Key_Down, VK_DOWN, true},         {Qt::Key_Select, VK_SELECT, false},
    {Qt::Key_Print, VK_SNAPSHOT, false},   {Qt::Key_Insert, VK_INSERT, true},
    {Qt::Key_Delete, VK_DELETE, true},     {Qt::Key_Help, VK_HELP, false},
    {Qt::Key_Meta, VK_LWIN, true},         {Qt::Key_Super_L, VK_LWIN, true},
    {Qt::Key_Super_R, VK_RWIN, true},      {Qt::Key_Menu, VK_APPS, true},
    {Qt::Key_NumLock, VK_NUMLOCK, true},   {Qt::Key_ScrollLock, VK_SCROLL, false},
    {Qt::Key_Semicolon, VK_OEM_1, false},  {Qt::Key_Colon, VK_OEM_1, false},
    {Qt::Key_Equal, VK_OEM_PLUS, false},   {Qt::Key_Plus, VK_OEM_PLUS, false},
    {Qt::Key_Comma, VK_OEM_COMMA, false},  {Qt::Key_Less, VK_OEM_COMMA, false},
    {Qt::Key_Minus, VK_OEM_MINUS, false},  {Qt::Key_Underscore, VK_OEM_MINUS, false},
    {Qt::Key_Period, VK_OEM_PERIOD, false}, {Qt::Key_Greater, VK_OEM_PERIOD, false},
    {Qt::Key_Slash, VK_OEM_2, false},      {Qt::Key_Question, VK_OEM_2, false},
    {Qt::Key_QuoteLeft, VK_OEM_3, false},  {Qt::Key_AsciiTilde, VK_OEM_3, false},
    {Qt::Key_BracketLeft, VK_OEM_4, false}, {Qt::Key_BraceLeft, VK_OEM_4, false},
    {Qt::Key_Backslash, VK_OEM_5, false},  {Qt::Key_Bar, VK_OEM_5, false},
    {Qt::Key_BracketRight, VK_OEM_6, false}, {Qt::Key_BraceRight, VK_OEM_6, false},
    {Qt::Key_Apostrophe, VK_OEM_7, false}, {Qt::Key_QuoteDbl, VK_OEM_7, false},
    {Qt::Key_Exclam, '1', false},          {Qt::Key_At, '2', false},
    {Qt::Key_NumberSign, '3', false},      {Qt::Key_Dollar, '4', false},
    {Qt::Key_Percent, '5', false},         {Qt::Key_AsciiCircum, '6', false},
    {Qt::Key_Ampersand, '7', false},       {Qt::Key_Asterisk, '8', false},
    {Qt::Key_ParenLeft, '9', false},       {Qt::Key_ParenRight, '0', false},
};

const KeyPair kKeypad[] = {
    {Qt::Key_Asterisk, VK_MULTIPLY, false}, {Qt::Key_Plus, VK_ADD, false},
    {Qt::Key_Minus, VK_SUBTRACT, false},    {Qt::Key_Period, VK_DECIMAL, false},
    {Qt::Key_Slash, VK_DIVIDE, true},       {Qt::Key_Enter, VK_RETURN, true},
};

// Key state of the UI thread: bit 7 down, bit 0 toggled; Num Lock is taken to start on. Only
// the UI thread changes it (as messages leave its queue); GetKeyState and GetAsyncKeyState may
// read it from any thread, hence the atomics. A deliberately leaked function-local static.
using KeyStates = std::array<std::atomic<unsigned char>, 256>;
KeyStates& KeyState() {
  static KeyStates* states = [] {
    auto* fresh = new KeyStates();
    (*fresh)[VK_NUMLOCK] = 1;
    return fresh;
  }();
  return *states;
}


int VirtualKey(int qtKey, bool keypad, bool* extended) {
  *extended = false;
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return VK_NUMPAD0 + (qtKey - Qt::Key_0);
    for (const KeyPair& k : kKeypad) {
      if (k.qt == qtKey) {
        *extended = k.extended;
        return k.vk;
      }
    }
  }
  if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return VK_F1 + (qtKey - Qt::Key_F1);
  for (const KeyPair& k : kKeys) {
    if (k.qt == qtKey) {
      *extended = k.extended;
      return k.vk;
    }
  }
  return 0;
}

int QtKey(int vk, bool* keypad) {
  *keypad = false;
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return vk;
  if (vk >= VK_F1 && vk <= VK_F1 + 23) return Qt::Key_F1 + (vk - VK_F1);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
    *keypad = true;
    return Qt::Key_0 + (vk - VK_NUMPAD0);
  }
  for (const KeyPair& k : kKeypad) {
    if (k.vk == vk && vk != VK_RETURN) {
      *keypad = true;
      return k.qt;
    }
  }
  for (const KeyPair& k : kKeys) {
    if (k.vk == vk) return k.qt;
  }
  return 0;
}

int ModifierBits(Qt::KeyboardModifiers modifiers) {
  int bits = 0;
  if (modifiers & Qt::ShiftModifier) bits |= kShift;
  if (modifiers & Qt::ControlModifier) bits |= kControl;
  if (modifiers & Qt::AltModifier) bits |= kAlt;
  return bits;
}

WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  WPARAM keys = 0;
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
  return keys;
}

HWND KeyTarget(HWND widgetWindow) {
  HWND focus = platform::win::FocusWindow();
  if (focus != nullptr && platform::win::RootOf(focus) == platform::win::RootOf(widgetWindow)) return focus;
  return widgetWindow;
}

bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

// Posts the GBK bytes of each character, lead byte first. A character GBK cannot hold is
// dropped with a beep rather than turned into another one.
void PostText(HWND target, const QString& text, UINT message, LPARAM lParam, int modifiers) {
  bool refused = false;
  const std::u16string units = text.toStdU16String();
  for (std::size_t i = 0; i < units.size();) {
    std::size_t n = QChar::isHighSurrogate(units[i]) && i + 1 < units.size() ? 2 : 1;
    const std::optional<std::string> bytes = gbk::FromUtf16Exact(std::u16string_view(units).substr(i, n));
    i += n;
    if (!bytes) {
      refused = true;
      continue;
    }
    for (unsigned char byte : *bytes) platform::queue::PostInput(target, message, byte, lParam, modifiers);
  }
  if (refused) MessageBeep(0xFFFFFFFF);
}

void SetDown(int vk, bool down) {
  if (vk <= 0 || vk > 255) return;
  if (down) {
    KeyState()[static_cast<std::size_t>(vk)] |= 0x80;
  } else {
    KeyState()[static_cast<std::size_t>(vk)] &= 0x7F;
  }
}

}  // namespace

void KeyEvent(HWND widgetWindow, QKeyEvent* event, bool press) {
  event->accept();
  // A held key arrives as release/press pairs flagged auto-repeat: the presses are repeats
  // (previous-state bit set), the releases are dropped, so one WM_KEYUP ends the key.
  if (!press && event->isAutoRepeat()) return;
  HWND target = KeyTarget(widgetWindow);
  if (!Enabled(target)) return;
  int key = event->key();
  int modifiers = ModifierBits(event->modifiers());
  if (key == Qt::Key_Shift) modifiers = press ? (modifiers | kShift) : (modifiers & ~kShift);
  if (key == Qt::Key_Control) modifiers = press ? (modifiers | kControl) : (modifiers & ~kControl);
  if (key == Qt::Key_Alt) modifiers = press ? (modifiers | kAlt) : (modifiers & ~kAlt);
  bool extended = false;
  int vk = VirtualKey(key, (event->modifiers() & Qt::KeypadModifier) != 0, &extended);
  QString text = event->text();
  if (vk == 0 && text.size() == 1) {
    QChar c = text.at(0).toUpper();
    if ((c >= QChar('A') && c <= QChar('Z')) || (c >= QChar('0') && c <= QChar('9'))) vk = c.unicode();
  }
  bool alt = (modifiers & kAlt) != 0;
  bool control = (modifiers & kControl) != 0;
  // Alt without Control (AltGr is both) makes system keys, as does F10.
  bool system = (alt && !control) || vk == VK_F10;
  LPARAM lParam = 1 | ((static_cast<LPARAM>(event->nativeScanCode()) & 0xFF) << 16);
  if (extended) lParam |= 1L << 24;
  if (alt) lParam |= 1L << 29;
  if (!press) lParam |= (1L << 30) | (1L << 31);
  else if (event->isAutoRepeat()) lParam |= 1L << 30;
  if (vk != 0) {
    UINT message = press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    platform::queue::PostInput(target, message, static_cast<WPARAM>(vk), lParam, modifiers);
  }
  if (!press || text.isEmpty() || vk == VK_DELETE) return;
  // Control with a printable key gives no character; Control+letter gives its control code.
  if (control && !alt && text.at(0).unicode() >= 0x20) return;
  PostText(target, text, system ? WM_SYSCHAR : WM_CHAR, lParam, modifiers);
}

void MouseEvent(HWND widgetWindow, QMouseEvent* event, MouseAction action) {
  event->accept();
  auto source = platform::win::Find(widgetWindow);
  if (!source) return;
  QPoint screen = platform::win::ClientOrigin(*source) + event->position().toPoint();
  bool release = action == MouseAction::Release;
  bool move = action == MouseAction::Move;
  // ClipCursor holds what is delivered (and the virtual pointer) inside its rectangle.
  const POINT at = cursor::Clamp(POINT{screen.x(), screen.y()});
  // The windowing system's own move after SetCursorPos moved the real pointer: delivered already.
  if (move && cursor::TakeMoveEcho(at)) return;
  screen = QPoint(at.x, at.y);
  if (!release) platform::win::MouseOver(widgetWindow);
  cursor::PointerMoved(widgetWindow, at, move);
  HWND capture = platform::win::CaptureWindow();
  HWND target = capture != nullptr ? capture : widgetWindow;
  if (capture == nullptr && !Enabled(target)) return;
  auto targetWindow = platform::win::Find(target);
  if (!targetWindow) return;
  QPoint client = screen - platform::win::ClientOrigin(*targetWindow);
  LPARAM lParam = MAKELPARAM(static_cast<WORD>(static_cast<short>(client.x())),
                             static_cast<WORD>(static_cast<short>(client.y())));
  WPARAM keys = MouseKeys(event->buttons(), event->modifiers());
  int modifiers = ModifierBits(event->modifiers());
  UINT message = WM_MOUSEMOVE;
  if (!move) {
    Qt::MouseButton button = event->button();
    // A double click on a window whose class does not ask for them is a second press.
    bool doubleClick = action == MouseAction::DoubleClick &&
                       (targetWindow->windowClass->info.style & CS_DBLCLKS) != 0;
    if (button == Qt::LeftButton) {
      message = release ? WM_LBUTTONUP : doubleClick ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    } else if (button == Qt::RightButton) {
      message = release ? WM_RBUTTONUP : doubleClick ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
    } else if (button == Qt::MiddleButton) {
      message = release ? WM_MBUTTONUP : doubleClick ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN;
    } else {
      return;
    }
  }
  // The window says where the pointer is on it; while captured nobody is asked.
  LRESULT hit = HTCLIENT;
  if (capture == nullptr) {
    hit = SendMessageA(target, WM_NCHITTEST, 0,
                       MAKELPARAM(static_cast<WORD>(static_cast<short>(screen.x())),
                                  static_cast<WORD>(static_cast<short>(screen.y()))));
    if (!IsWindow(target)) return;
  }
  if (!release && !move) {
    // A click on an inactive top-level window asks the clicked window whether to activate it
    // and whether the click goes on (a child's default asks its parent).
    HWND root = platform::win::RootOf(target);
    if (root != nullptr && GetActiveWindow() != root) {
      LRESULT answer = MA_ACTIVATE;
      if (capture == nullptr) {
        answer = SendMessageA(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root),
                              MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(message)));
        if (!IsWindow(target)) return;
      }
      if (answer != MA_NOACTIVATE && answer != MA_NOACTIVATEANDEAT && IsWindow(root)) SetActiveWindow(root);
      if (answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT || !IsWindow(target)) return;
    }
  }
  if (capture == nullptr && !release) {
    SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                 MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(message)));
  }
  platform::queue::PostInput(target, message, keys, lParam, modifiers);
}

void WheelEvent(HWND widgetWindow, QWheelEvent* event) {
  event->accept();
  auto source = platform::win::Find(widgetWindow);
  if (!source) return;
  HWND target = KeyTarget(widgetWindow);
  if (!Enabled(target)) return;
  QPoint screen = platform::win::ClientOrigin(*source) + event->position().toPoint();
  int delta = event->angleDelta().y();
  if (delta == 0) return;
  WPARAM keys = MouseKeys(event->buttons(), event->modifiers());
  WPARAM wParam = MAKEWPARAM(static_cast<WORD>(keys), static_cast<WORD>(static_cast<short>(delta)));
  LPARAM lParam = MAKELPARAM(static_cast<WORD>(static_cast<short>(screen.x())),
                             static_cast<WORD>(static_cast<short>(screen.y())));
  platform::queue::PostInput(target, WM_MOUSEWHEEL, wParam, lParam, ModifierBits(event->modifiers()));
}

void TextEvent(HWND window, const QString& text) {
  HWND target = KeyTarget(window);
  if (!Enabled(target)) return;
  PostText(target, text, WM_CHAR, 1, -1);
}

int QtKeyOf(int virtualKey, bool* keypad) { return QtKey(virtualKey, keypad); }

bool QtMouseEventOf(UINT message, QEvent::Type* type, Qt::MouseButton* button) {
  *type = QEvent::MouseMove;
  *button = Qt::NoButton;
  switch (message) {
    case WM_LBUTTONDOWN: *type = QEvent::MouseButtonPress; *button = Qt::LeftButton; return true;
    case WM_LBUTTONUP: *type = QEvent::MouseButtonRelease; *button = Qt::LeftButton; return true;
    case WM_LBUTTONDBLCLK: *type = QEvent::MouseButtonDblClick; *button = Qt::LeftButton; return true;
    case WM_RBUTTONDOWN: *type = QEvent::MouseButtonPress; *button = Qt::RightButton; return true;
    case WM_RBUTTONUP: *type = QEvent::MouseButtonRelease; *button = Qt::RightButton; return true;
    case WM_RBUTTONDBLCLK: *type = QEvent::MouseButtonDblClick; *button = Qt::RightButton; return true;
    case WM_MBUTTONDOWN: *type = QEvent::MouseButtonPress; *button = Qt::MiddleButton; return true;
    case WM_MBUTTONUP: *type = QEvent::MouseButtonRelease; *button = Qt::MiddleButton; return true;
    case WM_MBUTTONDBLCLK: *type = QEvent::MouseButtonDblClick; *button = Qt::MiddleButton; return true;
    case WM_MOUSEMOVE: return true;
    default: return false;
  }
}

Qt::MouseButtons QtButtonsOf(WPARAM keys) {
  Qt::MouseButtons buttons;
  if (keys & MK_LBUTTON) buttons |= Qt::LeftButton;
  if (keys & MK_RBUTTON) buttons |= Qt::RightButton;
  if (keys & MK_MBUTTON) buttons |= Qt::MiddleButton;
  return buttons;
}

void ApplyInput(const MSG& message, int modifiers) {
  bool isKey = message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST;
  bool isMouse = message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST;
  if (!isKey && !isMouse) return;
  platform::AssertUiThread("the key state");
  if (modifiers >= 0) {
    SetDown(VK_SHIFT, modifiers & kShift);
    SetDown(VK_LSHIFT, modifiers & kShift);
    SetDown(VK_CONTROL, modifiers & kControl);
    SetDown(VK_LCONTROL, modifiers & kControl);
    SetDown(VK_MENU, modifiers & kAlt);
    SetDown(VK_LMENU, modifiers & kAlt);
  }
  int vk = static_cast<int>(message.wParam & 0xFF);
  switch (message.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      // A press, not a repeat, toggles.
      if ((KeyState()[static_cast<std::size_t>(vk)] & 0x80) == 0) KeyState()[static_cast<std::size_t>(vk)] ^= 1;
      SetDown(vk, true);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      SetDown(vk, false);
      break;
    default:
      if (isMouse && message.message != WM_MOUSEWHEEL) {
        WPARAM keys = message.wParam;
        SetDown(VK_LBUTTON, keys & MK_LBUTTON);
        SetDown(VK_RBUTTON, keys & MK_RBUTTON);
        SetDown(VK_MBUTTON, keys & MK_MBUTTON);
        if (modifiers < 0) {
          SetDown(VK_SHIFT, keys & MK_SHIFT);
          SetDown(VK_CONTROL, keys & MK_CONTROL);
        }
      }
      break;
  }
}

}  // namespace zuvo::platform::input

SHORT GetKeyState(int virtualKey) {
  if (virtualKey <= 0 || virtualKey > 255) return 0;
  unsigned char s = zuvo::platform::input::KeyState()[static_cast<std::size_t>(virtualKey)];
  return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 1));
}

SHORT GetAsyncKeyState(int virtualKey) { return GetKeyState(virtualKey); }

namespace zuvo::platform {
namespace {

Qt::KeyboardModifiers QtModifiers(UINT modifiers) {
  Qt::KeyboardModifiers result;
  if (modifiers & MK_SHIFT) result |= Qt::ShiftModifier;
  if (modifiers & MK_CONTROL) result |= Qt::ControlModifier;
  if (modifiers & kSimulatedAlt) result |= Qt::AltModifier;
  return result;
}

QWidget* WidgetOf(HWND window) {
  auto w = win::Find(window);
  return w ? w->widget : nullptr;
}

// Where a windowing system would deliver a key or text to a window: the widget focused inside
// a hosted Qt widget, else the window's own widget.
QWidget* KeyWidgetOf(HWND window) {
  auto w = win::Find(window);
  if (!w) return nullptr;
  if (w->hosted != nullptr) {
    if (auto wrapped = win::WrappedOf(window)) return wrapped->KeyWidget();
    return w->hosted;
  }
  return w->widget;
}

// Where a windowing system would deliver a mouse event at a client point: the deepest widget
// of a hosted Qt widget under it (the point mapped into it), else the window's own widget.
QWidget* MouseWidgetOf(HWND window, QPointF* point) {
  auto w = win::Find(window);
  if (!w) return nullptr;
  if (w->hosted != nullptr) {
    QWidget* target = w->hosted->childAt(point->toPoint());
    if (target == nullptr) target = w->hosted;
    *point = QPointF(target->mapFrom(w->hosted, point->toPoint()));
    return target;
  }
  return w->widget;
}

}  // namespace

bool SimulateKey(HWND window, int virtualKey, bool down, UINT modifiers, const char* gbkText, bool autoRepeat) {
  QWidget* widget = KeyWidgetOf(window);
  if (widget == nullptr) return false;
  bool keypad = false;
  int key = input::QtKey(virtualKey, &keypad);
  Qt::KeyboardModifiers mods = QtModifiers(modifiers);
  if (keypad) mods |= Qt::KeypadModifier;
  QString text;
  if (gbkText != nullptr) text = QString::fromStdU16String(gbk::ToUtf16(gbkText));
  QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, text, autoRepeat);
  QCoreApplication::sendEvent(widget, &event);
  return true;
}

bool SimulateMouse(HWND window, UINT message, int x, int y, WPARAM keys) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return false;
  QEvent::Type type = QEvent::MouseMove;
  Qt::MouseButton button = Qt::NoButton;
  if (!input::QtMouseEventOf(message, &type, &button)) return false;
  QPointF local(x, y);
  widget = MouseWidgetOf(window, &local);
  QPointF global = widget->mapToGlobal(local);
  QMouseEvent event(type, local, global, button, input::QtButtonsOf(keys), QtModifiers(static_cast<UINT>(keys)));
  QCoreApplication::sendEvent(widget, &event);
  return true;
}

namespace input {

bool DeliverMouseAt(HWND window, UINT message, POINT screen, WPARAM keys) {
  auto w = win::Find(window);
  if (!w || w->widget == nullptr) return false;
  const QPoint client = QPoint(screen.x, screen.y) - win::ClientOrigin(*w);
  return SimulateMouse(window, message, client.x(), client.y(), keys);
}

namespace {

struct UsKey {
  int vk;
  char plain;
  char shifted;
};
// The characters of a US keyboard's keys (letters apart), plain and with Shift.
const UsKey kUsKeys[] = {
    {'0', '0', ')'},  {'1', '1', '!'},  {'2', '2', '@'},  {'3', '3', '#'},  {'4', '4', '$'},
    {'5', '5', '%'},  {'6', '6', '^'},  {'7', '7', '&'},  {'8', '8', '*'},  {'9', '9', '('},
    {VK_OEM_1, ';', ':'}, {VK_OEM_PLUS, '=', '+'}, {VK_OEM_COMMA, ',', '<'}, {VK_OEM_MINUS, '-', '_'},
    {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'}, {VK_OEM_3, '`', '~'}, {VK_OEM_4, '[', '{'},
    {VK_OEM_5, '\\', '|'}, {VK_OEM_6, ']', '}'}, {VK_OEM_7, '\'', '"'},
    {VK_SPACE, ' ', ' '}, {VK_RETURN, '\r', '\r'}, {VK_TAB, '\t', '\t'}, {VK_BACK, '\b', '\b'},
    {VK_ESCAPE, 0x1B, 0x1B},
    {VK_MULTIPLY, '*', '*'}, {VK_ADD, '+', '+'}, {VK_SUBTRACT, '-', '-'}, {VK_DECIMAL, '.', '.'},
    {VK_DIVIDE, '/', '/'},
};

// The character a key gives on a US layout, 0 for none. Control with a letter gives its
// control code, with anything else nothing; Alt keeps the character (a system character).
char UsCharacter(int vk, bool shift, bool control) {
  if (vk >= 'A' && vk <= 'Z') {
    if (control) return static_cast<char>(vk - 'A' + 1);
    return static_cast<char>(shift ? vk : vk - 'A' + 'a');
  }
  if (control) return 0;
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char>('0' + (vk - VK_NUMPAD0));
  for (const UsKey& k : kUsKeys) {
    if (k.vk == vk) return shift ? k.shifted : k.plain;
  }
  return 0;
}

// The Qt key a US keyboard reports for a key with Shift: the shifted symbol.
int ShiftedQtKey(int vk, int plainKey) {
  const char c = UsCharacter(vk, true, false);
  if (static_cast<unsigned char>(c) <= ' ' || (vk >= 'A' && vk <= 'Z')) return plainKey;
  return static_cast<unsigned char>(c);   // Qt's keys for ASCII symbols are their codes
}

}  // namespace

bool DeliverKey(BYTE virtualKey, BYTE scanCode, bool down, UINT modifiers) {
  HWND target = win::FocusWindow();
  if (target == nullptr) target = win::ActiveWindow();
  QWidget* widget = KeyWidgetOf(target);
  if (widget == nullptr) return false;
  const bool shift = (modifiers & MK_SHIFT) != 0;
  const bool control = (modifiers & MK_CONTROL) != 0;
  bool keypad = false;
  int key = QtKey(virtualKey, &keypad);
  if (key == 0) return false;
  if (shift) key = ShiftedQtKey(virtualKey, key);
  Qt::KeyboardModifiers mods = QtModifiers(modifiers);
  if (keypad) mods |= Qt::KeypadModifier;
  QString text;
  if (down) {
    if (const char c = UsCharacter(virtualKey, shift, control); c != 0) text = QString(QChar(static_cast<unsigned char>(c)));
  }
  QKeyEvent event(down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, scanCode, virtualKey, 0, text);
  QCoreApplication::sendEvent(widget, &event);
  return true;
}

}  // namespace input

bool SimulateWheel(HWND window, int delta, int x, int y, WPARAM keys) {
  QPointF local(x, y);
  QWidget* widget = MouseWidgetOf(window, &local);
  if (widget == nullptr) return false;
  QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), input::QtButtonsOf(keys),
                    QtModifiers(static_cast<UINT>(keys)), Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(widget, &event);
  return true;
}

bool SimulateCommittedText(HWND window, const char* gbkText) {
  QWidget* widget = KeyWidgetOf(window);
  if (widget == nullptr || gbkText == nullptr) return false;
  QInputMethodEvent event;
  event.setCommitString(QString::fromStdU16String(gbk::ToUtf16(gbkText)));
  QCoreApplication::sendEvent(widget, &event);
  return true;
}

bool SimulateCloseRequest(HWND window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr || !widget->isWindow()) return false;
  widget->close();
  return true;
}

}  // namespace zuvo::platform
