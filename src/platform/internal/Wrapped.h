// Platform-internal: windows of ours that show a Qt widget in their client area (the text
// controls: edit, memo, rich edit, combo box, tree, calendar, date picker). Qt gives them input
// methods, caret, selection, undo and scrolling; our message chain stays in charge of input:
//
// - An event filter on the hosted widget and all its descendants takes Qt's key, text and mouse
//   events and hands them to the input converters, so they become queued messages of the host
//   window and pass the hooks, the form's key preview, the window procedure and its subclasses
//   like any other input. Only what reaches the wrapped class's default processing
//   (WrappedControl::DefaultProc) is replayed into the Qt widget.
// - Messages sent or posted by code act the same way: a posted WM_CHAR lead byte waits for its
//   trail byte; a lead byte followed by anything but a trail byte is dropped.
// - Copy, cut and paste go through the clipboard service (platform/Clipboard.h), never Qt's.
// - The window's backing image lies over the Qt widget as an overlay, transparent where nothing
//   was drawn: a subclass paints over Qt's painting with GDI.
// - Enabled state, font and colours follow the window; the widget takes Qt focus while its
//   window has ours.
// UI thread only.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinUser.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace zuvo::platform::win {

class WrappedControl : public QObject {
 public:
  // Hosts the widget in the window's client area, filling it, under the overlay. The widget
  // becomes a child of the window's client widget and goes with it.
  WrappedControl(HWND host, QWidget* widget);
  ~WrappedControl() override;
  WrappedControl(const WrappedControl&) = delete;
  WrappedControl& operator=(const WrappedControl&) = delete;

  HWND host() const { return host_; }
  QWidget* widget() const { return widget_.data(); }

  // The processing shared by the wrapped classes, for what a class's own procedure does not
  // answer: replay of keys, characters and mouse messages into the widget, focus, enabling,
  // WM_SETFONT, colours and WM_GETDLGCODE; the rest goes to DefWindowProcA.
  LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

  // Inserts text as typed (checked by AcceptText first); false when refused.
  bool TypeText(const QString& text);
  // The clipboard actions of Ctrl+C / Ctrl+X / Ctrl+V (and Ctrl+Insert, Shift+Delete,
  // Shift+Insert), through the clipboard service. Paste refuses text GBK cannot hold.
  void Copy();
  void Cut();
  void Paste();

  // WM_COMMAND to the parent with the window's id and the notification code.
  void NotifyParent(WORD code);
  // True while a message is being replayed into the widget (its own signals then come from
  // the user's input, not from code).
  bool replaying() const { return replaying_ > 0; }

  // The widget that takes keys: the focused widget inside the hosted one, else the widget's
  // focus proxy or the widget itself.
  QWidget* KeyWidget() const;

 protected:
  // Text about to be inserted by typing or pasting; false refuses it (the caller beeps). The
  // length limit in GBK bytes and digit-only edits live here.
  virtual bool AcceptText(const QString& /*text*/) { return true; }
  // The selected text, whether the control can change, and the deletion of the selection, for
  // the clipboard actions. The defaults know QLineEdit, QPlainTextEdit and QTextEdit.
  virtual QString SelectedText() const;
  virtual bool IsReadOnly() const;
  virtual void DeleteSelection();
  // Inserts text at the selection: by default a key event carrying the text.
  virtual void InsertText(const QString& text);
  // A key reaching the default processing; true when the class used it. The default uses
  // none.
  virtual bool SpecialKey(int /*virtualKey*/, bool /*down*/) { return false; }

  // Sends an event to a widget inside as a replay (the filter lets it through).
  bool SendReplay(QObject* target, QEvent* event);

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Watch(QWidget* widget);
  void ReplayKey(UINT message, WPARAM wParam, LPARAM lParam);
  void ReplayChar(unsigned char byte);
  void ReplayCharacter(const QString& text, int control);
  void ReplayMouse(UINT message, WPARAM wParam, LPARAM lParam);
  void ReplayWheel(WPARAM wParam, LPARAM lParam);
  bool ClipboardKey(int virtualKey);

  HWND host_;
  QPointer<QWidget> widget_;
  QPointer<QWidget> grab_;   // the widget pressed: it gets the mouse until the release
  bool tookCapture_ = false;  // the mouse capture was taken by a replayed press
  int leadByte_ = -1;        // a WM_CHAR lead byte waiting for its trail byte
  int replaying_ = 0;
};

// The wrapped control of a window, or null. A class procedure holds the shared one while it
// works, so that a handler destroying the window does not free it from under the call.
WrappedControl* WrappedOf(HWND window);
std::shared_ptr<WrappedControl> WrappedShared(HWND window);
// True for an event being replayed into a hosted widget (Qt passes ignored input events on to
// the parents: the host widget leaves them alone).
bool IsReplayedEvent(const QEvent* event);
// Binds a wrapped control to its window (from the class's WM_NCCREATE); the window's record
// keeps it until the window's end.
void AttachWrapped(HWND window, std::shared_ptr<WrappedControl> control);

// Registers the wrapped window classes once: "EDIT", "RichEdit20A", "COMBOBOX",
// "SysTreeView32", "SysMonthCal32", "SysDateTimePick32".
void EnsureSystemClasses();
// The class procedures (each in its control's unit).
LRESULT EditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT RichEditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ComboBoxWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TreeViewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT MonthCalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DateTimePickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The one look of every wrapped widget: a fixed style and a palette made from the system
// colours, so it looks the same offscreen and on every machine.
void ApplyLook(QWidget* widget);
// The Qt font of a font handle (the default GUI font for null).
QFont QtFont(HFONT font);

// Text conversion at the boundary: GBK bytes to Qt text (invalid bytes become U+FFFD), and Qt
// text to GBK (gbk::FromUtf16Exact tells whether GBK holds it exactly).
QString FromGbk(const std::string& bytes);
std::string ToGbk(const QString& text);
// GBK length of text in bytes (a character GBK cannot hold counts as one byte, as '?').
int GbkLength(const QString& text);

}  // namespace zuvo::platform::win
