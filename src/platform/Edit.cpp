// The "EDIT" window class over a Qt line edit or plain-text edit (see Edit.h for what it
// answers). The class library's edit controls over it are in EditControls.cpp.
#include "platform/Edit.h"

#include "platform/Clipboard.h"
#include "platform/Gdi.h"
#include "platform/Text.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cstring>
#include <map>

namespace zuvo::platform::win {
namespace {

constexpr long long kDefaultLimit = 30000;
constexpr long long kNoLimitSingle = 0x7FFFFFFE;
constexpr long long kNoLimitMulti = 0xFFFFFFFFLL;
constexpr char kDefaultPasswordChar = '*';

// Shows a password with one character for each, at once (no last-typed character shown).
class EchoStyle : public QProxyStyle {
 public:
  explicit EchoStyle(QChar echo) : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), echo_(echo) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* answer) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return echo_.unicode();
    if (hint == SH_LineEdit_PasswordMaskDelay) return 0;
    return QProxyStyle::styleHint(hint, option, widget, answer);
  }

 private:
  QChar echo_;
};

// One style per password character, kept for the program's life (styles are shared by widgets).
QStyle* EchoStyleFor(char echo) {
  static std::map<unsigned char, QStyle*> styles;
  QStyle*& style = styles[static_cast<unsigned char>(echo)];
  if (style == nullptr) style = new EchoStyle(QString::fromStdU16String(gbk::ToUtf16(std::string(1, echo))).at(0));
  return style;
}

class MemoWidget : public QPlainTextEdit {
 public:
  void SetMargins(int left, int right) { setViewportMargins(left, 0, right, 0); }
};

// GBK bytes of the character at text[i] (a memo's line break counts as CR LF); `step` is how
// many UTF-16 units it takes.
int CharBytes(const QString& text, int i, bool memo, int* step) {
  const QChar c = text.at(i);
  *step = 1;
  if (c.unicode() < 0x80) return memo && c == QLatin1Char('\n') ? 2 : 1;
  if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
    *step = 2;
    return 1;   // no GBK form: it would be '?'
  }
  const char16_t unit = c.unicode();
  return static_cast<int>(gbk::FromUtf16(std::u16string_view(&unit, 1)).size());
}

long long BytesOf(const QString& text, bool memo, int upTo = -1) {
  if (upTo < 0 || upTo > text.size()) upTo = static_cast<int>(text.size());
  long long bytes = 0;
  for (int i = 0; i < upTo;) {
    int step = 1;
    bytes += CharBytes(text, i, memo, &step);
    i += step;
  }
  return bytes;
}

// The index of the character at a byte position: one inside a character means its start,
// beyond the text its end.
int IndexOf(const QString& text, bool memo, long long bytes) {
  if (bytes <= 0) return 0;
  long long at = 0;
  for (int i = 0; i < text.size();) {
    int step = 1;
    const int width = CharBytes(text, i, memo, &step);
    if (at + width > bytes) return i;
    at += width;
    i += step;
  }
  return static_cast<int>(text.size());
}

// Text as a multi-line edit holds it: line breaks of any kind become one paragraph break.
QString ToMemoForm(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

class EditControl : public WrappedControl {
 public:
  EditControl(HWND host, QLineEdit* line, MemoWidget* memo, DWORD style)
      : WrappedControl(host, line != nullptr ? static_cast<QWidget*>(line) : memo),
        line_(line),
        memo_(memo),
        multiLine_(memo != nullptr),
        limit_(kDefaultLimit) {
    if (line_ != nullptr) {
      line_->setFrame(false);
      line_->setDragEnabled(false);
      if (style & ES_CENTER) line_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      else if (style & ES_RIGHT) line_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (style & ES_PASSWORD) SetPasswordChar(kDefaultPasswordChar);
      QObject::connect(line_, &QLineEdit::textChanged, this, [this] { Dirty(); });
    } else {
      memo_->setFrameShape(QFrame::NoFrame);
      memo_->document()->setDocumentMargin(1);
      memo_->setUndoRedoEnabled(true);
      const bool wrap = (style & (ES_AUTOHSCROLL | WS_HSCROLL)) == 0;
      memo_->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
      memo_->setVerticalScrollBarPolicy((style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
      memo_->setHorizontalScrollBarPolicy((style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
      QObject::connect(memo_->document(), &QTextDocument::contentsChange, this,
                       [this](int, int removed, int added) {
                         if (removed != 0 || added != 0) Dirty();
                       });
    }
    SetReadOnly((style & ES_READONLY) != 0);
  }

  // The text given to CreateWindowExA: no notification.
  void SetInitialText(const char* text) {
    SetText(FromGbk(text));
    dirty_ = userChange_ = false;
    lastText_ = Text();
  }

  LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Handle(message, wParam, lParam);
    TellChange();
    return result;
  }

 protected:
  bool AcceptText(const QString& text) override {
    if (ReadOnly()) return true;   // nothing is inserted, without a beep
    const DWORD style = Style();
    if (style & ES_NUMBER) {
      for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
      }
    }
    const QString inserted = Cased(text);
    if (TextBytes() - SelectionBytes() + BytesOf(inserted, multiLine_) > limit_) {
      NotifyParent(EN_MAXTEXT);
      return false;
    }
    if (line_ != nullptr && (style & ES_AUTOHSCROLL) == 0 && !FitsWidth(inserted)) {
      NotifyParent(EN_MAXTEXT);
      return false;
    }
    return true;
  }

  QString SelectedText() const override {
    if (line_ != nullptr) return line_->echoMode() == QLineEdit::Normal ? line_->selectedText() : QString();
    return memo_->textCursor().selection().toPlainText();
  }

  bool IsReadOnly() const override { return ReadOnly(); }

  void DeleteSelection() override {
    if (line_ != nullptr) {
      if (line_->hasSelectedText()) line_->del();
      return;
    }
    QTextCursor cursor = memo_->textCursor();
    cursor.removeSelectedText();
    memo_->setTextCursor(cursor);
  }

  void InsertText(const QString& text) override {
    if (ReadOnly()) return;
    ReplaceSelection(Cased(text));
  }

  bool SpecialKey(int vk, bool down) override {
    const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
    // Control with a letter acts through its character (WM_CHAR): none reaches Qt, whose own
    // shortcuts (undo, select all, its clipboard) would bypass the window's procedure.
    if (control && !alt && vk >= 'A' && vk <= 'Z') return true;
    UINT action = 0;
    if (vk == VK_INSERT && control && !shift) action = WM_COPY;
    if (vk == VK_INSERT && shift && !control) action = WM_PASTE;
    if (vk == VK_DELETE && shift && !control) action = WM_CUT;
    if (action == 0) return false;
    if (down) SendMessageA(host(), action, 0, 0);
    return true;
  }

 private:
  DWORD Style() const { return static_cast<DWORD>(GetWindowLongA(host(), GWL_STYLE)); }
  bool ReadOnly() const { return line_ != nullptr ? line_->isReadOnly() : memo_->isReadOnly(); }
  QString Text() const { return line_ != nullptr ? line_->text() : memo_->toPlainText(); }
  long long TextBytes() const { return BytesOf(Text(), multiLine_); }

  QString Cased(const QString& text) const {
    const DWORD style = Style();
    if (style & ES_UPPERCASE) return text.toUpper();
    if (style & ES_LOWERCASE) return text.toLower();
    return text;
  }

  // The selection as character indexes, start <= end.
  void Selection(int* start, int* end) const {
    if (line_ != nullptr) {
      if (line_->hasSelectedText()) {
        *start = line_->selectionStart();
        *end = *start + static_cast<int>(line_->selectedText().size());
      } else {
        *start = *end = line_->cursorPosition();
      }
      return;
    }
    const QTextCursor cursor = memo_->textCursor();
    *start = cursor.selectionStart();
    *end = cursor.selectionEnd();
  }

  long long SelectionBytes() const {
    int start = 0, end = 0;
    Selection(&start, &end);
    const QString text = Text();
    return BytesOf(text, multiLine_, end) - BytesOf(text, multiLine_, start);
  }

  // Selects from anchor to caret (character indexes, held to the text).
  void Select(int anchor, int caret) {
    const int size = static_cast<int>(Text().size());
    anchor = std::clamp(anchor, 0, size);
    caret = std::clamp(caret, 0, size);
    if (line_ != nullptr) {
      if (anchor == caret) line_->setCursorPosition(caret);
      else line_->setSelection(anchor, caret - anchor);
      return;
    }
    QTextCursor cursor(memo_->document());
    cursor.setPosition(anchor);
    cursor.setPosition(caret, QTextCursor::KeepAnchor);
    memo_->setTextCursor(cursor);
  }

  void ReplaceSelection(const QString& text) {
    if (line_ != nullptr) {
      line_->insert(text);
      return;
    }
    memo_->insertPlainText(ToMemoForm(text));
    memo_->ensureCursorVisible();
  }

  // Of text that would pass the limit, the whole characters that fit.
  QString FitLimit(const QString& text, bool* cut) {
    const long long room = std::max(0LL, limit_ - (TextBytes() - SelectionBytes()));
    const int fits = IndexOf(text, multiLine_, room);
    *cut = fits < text.size();
    return text.left(fits);
  }

  bool FitsWidth(const QString& inserted) const {
    QString after = line_->text();
    int start = 0, end = 0;
    Selection(&start, &end);
    after.replace(start, end - start, inserted);
    if (line_->echoMode() != QLineEdit::Normal) {
      after = QString(after.size(), QChar(line_->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, line_)));
    }
    const QMargins margins = line_->textMargins();
    const int room = line_->contentsRect().width() - margins.left() - margins.right() - 4;
    return QFontMetrics(line_->font()).horizontalAdvance(after) <= room;
  }

  void SetReadOnly(bool value) {
    if (line_ != nullptr) line_->setReadOnly(value);
    else memo_->setReadOnly(value);
    // A read-only edit still shows its caret and lets the user select and copy.
    if (memo_ != nullptr && value) memo_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
  }

  void SetPasswordChar(char echo) {
    if (line_ == nullptr) return;
    password_ = echo;
    if (echo == 0) {
      line_->setEchoMode(QLineEdit::Normal);
      ApplyLook(line_);
      if (WindowPtr w = Find(host()); w && w->font != nullptr) line_->setFont(QtFont(w->font));
    } else {
      line_->setStyle(EchoStyleFor(echo));
      line_->setEchoMode(QLineEdit::Password);
    }
    line_->update();
  }

  void SetMargins(WPARAM which, int left, int right) {
    if (which == EC_USEFONTINFO) {
      // A third of an average character on either side.
      const int side = QFontMetrics(widget()->font()).averageCharWidth() / 3;
      left = right = side;
      which = EC_LEFTMARGIN | EC_RIGHTMARGIN;
    }
    if (which & EC_LEFTMARGIN) marginLeft_ = left;
    if (which & EC_RIGHTMARGIN) marginRight_ = right;
    if (line_ != nullptr) {
      line_->setTextMargins(marginLeft_, 0, marginRight_, 0);
    } else {
      static_cast<MemoWidget*>(memo_)->SetMargins(marginLeft_, marginRight_);
    }
  }

  // Paste as the user does it: text GBK cannot hold, and non-digits in a number edit, are
  // refused whole; a single line takes the text up to the first line break; what passes the
  // limit is left out.
  void PasteText() {
    if (ReadOnly()) return;
    std::optional<std::u16string> held = GetClipboardService()->Text();
    if (!held || held->empty()) return;
    if (!gbk::FromUtf16Exact(*held)) {
      MessageBeep(0xFFFFFFFF);
      return;
    }
    QString text = QString::fromStdU16String(*held);
    if (line_ != nullptr) {
      const auto cut = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
      if (cut >= 0) text.truncate(cut);
    } else {
      text = ToMemoForm(text);
    }
    text = Cased(text);
    if (Style() & ES_NUMBER) {
      for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
          MessageBeep(0xFFFFFFFF);
          return;
        }
      }
    }
    ReplaceLimited(text, true);
  }

  // Replaces the selection with what of the text fits the limit.
  void ReplaceLimited(const QString& text, bool beep) {
    bool cut = false;
    const QString fits = FitLimit(text, &cut);
    ReplaceSelection(fits);
    if (cut) {
      NotifyParent(EN_MAXTEXT);
      if (beep) MessageBeep(0xFFFFFFFF);
    }
  }

  void Dirty() {
    dirty_ = true;
    if (!settingText_) userChange_ = true;
  }

  // EN_CHANGE once the widget is done with the change (never from inside Qt's own call).
  void TellChange() {
    if (!dirty_) return;
    dirty_ = false;
    const QString now = Text();
    if (now == lastText_) {
      userChange_ = false;
      return;
    }
    lastText_ = now;
    if (userChange_) modified_ = true;
    userChange_ = false;
    NotifyParent(EN_CHANGE);
  }

  void SetText(const QString& text) {
    settingText_ = true;
    if (line_ != nullptr) {
      line_->setText(text);
      line_->setCursorPosition(0);
    } else {
      memo_->setPlainText(ToMemoForm(text));
      memo_->moveCursor(QTextCursor::Start);
    }
    settingText_ = false;
    modified_ = false;
  }

  // Colours from the parent, as an edit asks before it paints.
  void ApplyColors() {
    HWND parent = GetParent(host());
    if (parent == nullptr) return;
    const DWORD style = Style();
    const UINT ask = (style & ES_READONLY) || (style & WS_DISABLED) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    HDC dc = GetDC(host());
    if (dc == nullptr) return;
    const COLORREF textBefore = GetTextColor(dc);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageA(parent, ask, reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(host())));
    const COLORREF text = GetTextColor(dc);
    ReleaseDC(host(), dc);
    if (widget() == nullptr) return;
    COLORREF back = 0;
    const bool hasBack = brush != nullptr && gdi::BrushColor(brush, &back);
    QPalette palette = widget()->palette();
    const QPalette before = palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      palette.setColor(group, QPalette::Base,
                       hasBack ? gdi::ToQColor(back) : gdi::ToQColor(GetSysColor(COLOR_WINDOW)));
      palette.setColor(group, QPalette::Text,
                       text != textBefore ? gdi::ToQColor(text) : gdi::ToQColor(GetSysColor(COLOR_WINDOWTEXT)));
    }
    if (palette != before) widget()->setPalette(palette);
  }

  LRESULT CopyOut(const std::string& bytes, WPARAM size, LPARAM buffer) {
    if (buffer == 0 || size == 0) return 0;
    const std::size_t n = gbk::CutLength(bytes, static_cast<std::size_t>(size) - 1);
    auto* out = reinterpret_cast<char*>(buffer);
    std::memcpy(out, bytes.data(), n);
    out[n] = 0;
    return static_cast<LRESULT>(n);
  }

  std::string WindowsText() const {
    QString text = Text();
    if (multiLine_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return ToGbk(text);
  }

  // The paragraph (line) of a character index, and the index of a line's first character.
  int LineOfIndex(int index) const {
    if (line_ != nullptr) return 0;
    return memo_->document()->findBlock(index).blockNumber();
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_GETTEXT:
        return CopyOut(WindowsText(), wParam, lParam);
      case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(TextBytes());
      case WM_SETTEXT:
        SetText(lParam != 0 ? FromGbk(reinterpret_cast<const char*>(lParam)) : QString());
        return TRUE;
      case WM_CHAR: {
        const auto byte = static_cast<unsigned char>(wParam & 0xFF);
        switch (byte) {
          case 0x01: Select(0, static_cast<int>(Text().size())); return 0;
          case 0x03: SendMessageA(host(), WM_COPY, 0, 0); return 0;
          case 0x16: SendMessageA(host(), WM_PASTE, 0, 0); return 0;
          case 0x18: SendMessageA(host(), WM_CUT, 0, 0); return 0;
          case 0x1A: SendMessageA(host(), WM_UNDO, 0, 0); return 0;
          case '\t':
          case '\r':
            if (multiLine_) TypeText(byte == '\t' ? QStringLiteral("\t") : QStringLiteral("\n"));
            return 0;
          case '\n':
            return 0;
          default:
            return DefaultProc(message, wParam, lParam);
        }
      }
      case WM_COPY:
        Copy();
        return 0;
      case WM_CUT:
        Cut();
        return 0;
      case WM_PASTE:
        PasteText();
        return 0;
      case WM_CLEAR:
        if (!ReadOnly()) DeleteSelection();
        return 0;
      case EM_UNDO:
      case WM_UNDO:
        if (ReadOnly() || !CanUndo()) return FALSE;
        if (line_ != nullptr) line_->undo();
        else memo_->undo();
        return TRUE;
      case EM_CANUNDO:
        return CanUndo() ? TRUE : FALSE;
      case EM_EMPTYUNDOBUFFER:
        if (line_ != nullptr) {
          // A line edit keeps its history until its text is set: set it again, selection kept.
          int start = 0, end = 0;
          Selection(&start, &end);
          const int caret = line_->cursorPosition();
          settingText_ = true;
          line_->setText(line_->text());
          settingText_ = false;
          Select(caret == start ? end : start, caret);
        } else {
          memo_->document()->clearUndoRedoStacks();
        }
        return 0;
      case EM_GETSEL: {
        int start = 0, end = 0;
        Selection(&start, &end);
        const QString text = Text();
        const auto from = static_cast<DWORD>(BytesOf(text, multiLine_, start));
        const auto to = static_cast<DWORD>(BytesOf(text, multiLine_, end));
        if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = from;
        if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = to;
        return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(std::min<DWORD>(from, 0xFFFF)),
                                             static_cast<WORD>(std::min<DWORD>(to, 0xFFFF))));
      }
      case EM_SETSEL: {
        const QString text = Text();
        const auto start = static_cast<long long>(static_cast<int>(wParam));
        const auto end = static_cast<long long>(static_cast<int>(lParam));
        if (start == -1) {   // no selection: the caret stays where it is
          const int caret = line_ != nullptr ? line_->cursorPosition() : memo_->textCursor().position();
          Select(caret, caret);
          return 0;
        }
        const int size = static_cast<int>(text.size());
        const int anchor = start < 0 ? size : IndexOf(text, multiLine_, start);
        const int caret = end < 0 ? size : IndexOf(text, multiLine_, end);
        Select(anchor, caret);
        if (memo_ != nullptr) memo_->ensureCursorVisible();
        return 0;
      }
      case EM_REPLACESEL: {
        const QString text = lParam != 0 ? FromGbk(reinterpret_cast<const char*>(lParam)) : QString();
        ReplaceLimited(text, false);
        if (wParam == 0 && line_ == nullptr) {
          // Not to be undone: the history goes, as the edit keeps no step for it.
          memo_->document()->clearUndoRedoStacks();
        }
        return 0;
      }
      case EM_GETLINECOUNT:
        return line_ != nullptr ? 1 : memo_->document()->blockCount();
      case EM_LINEINDEX: {
        if (line_ != nullptr) return static_cast<int>(wParam) <= 0 ? 0 : -1;
        int lineNumber = static_cast<int>(wParam);
        if (lineNumber < 0) lineNumber = memo_->textCursor().blockNumber();
        const QTextBlock block = memo_->document()->findBlockByNumber(lineNumber);
        if (!block.isValid()) return -1;
        return static_cast<LRESULT>(BytesOf(Text(), true, block.position()));
      }
      case EM_LINELENGTH: {
        const QString text = Text();
        if (line_ != nullptr) return static_cast<LRESULT>(BytesOf(text, false));
        QTextBlock block;
        if (static_cast<int>(wParam) < 0) block = memo_->textCursor().block();
        else block = memo_->document()->findBlock(IndexOf(text, true, static_cast<int>(wParam)));
        if (!block.isValid()) return 0;
        return static_cast<LRESULT>(BytesOf(block.text(), true));
      }
      case EM_LINEFROMCHAR: {
        if (line_ != nullptr) return 0;
        if (static_cast<int>(wParam) < 0) return memo_->textCursor().blockNumber();
        return LineOfIndex(IndexOf(Text(), true, static_cast<int>(wParam)));
      }
      case EM_GETLINE: {
        if (lParam == 0) return 0;
        WORD size = 0;
        std::memcpy(&size, reinterpret_cast<const void*>(lParam), sizeof size);
        QString lineText;
        if (line_ != nullptr) {
          lineText = line_->text();
        } else {
          const QTextBlock block = memo_->document()->findBlockByNumber(static_cast<int>(wParam));
          if (!block.isValid()) return 0;
          lineText = block.text();
        }
        const std::string bytes = ToGbk(lineText);
        const std::size_t n = gbk::CutLength(bytes, size);
        std::memcpy(reinterpret_cast<char*>(lParam), bytes.data(), n);   // no terminating zero
        return static_cast<LRESULT>(n);
      }
      case EM_GETFIRSTVISIBLELINE:
        if (line_ != nullptr) return 0;
        return memo_->verticalScrollBar() != nullptr ? memo_->verticalScrollBar()->value() : 0;
      case EM_LINESCROLL:
        if (line_ != nullptr) return FALSE;
        if (QScrollBar* bar = memo_->verticalScrollBar()) bar->setValue(bar->value() + static_cast<int>(lParam));
        if (QScrollBar* bar = memo_->horizontalScrollBar()) {
          bar->setValue(bar->value() + static_cast<int>(wParam) * QFontMetrics(memo_->font()).averageCharWidth());
        }
        return TRUE;
      case EM_SCROLLCARET:
        if (memo_ != nullptr) memo_->ensureCursorVisible();
        return TRUE;
      case EM_GETMODIFY:
        return modified_ ? TRUE : FALSE;
      case EM_SETMODIFY:
        modified_ = wParam != 0;
        return 0;
      case EM_LIMITTEXT: {
        const auto value = static_cast<long long>(static_cast<DWORD>(wParam));
        limit_ = value != 0 ? value : (multiLine_ ? kNoLimitMulti : kNoLimitSingle);
        return 0;
      }
      case EM_GETLIMITTEXT:
        return static_cast<LRESULT>(limit_);
      case EM_SETREADONLY: {
        SetReadOnly(wParam != 0);
        const DWORD style = Style();
        SetWindowLongA(host(), GWL_STYLE,
                       static_cast<LONG>(wParam != 0 ? style | ES_READONLY : style & ~ES_READONLY));
        InvalidateRect(host(), nullptr, FALSE);
        return TRUE;
      }
      case EM_SETPASSWORDCHAR: {
        const auto echo = static_cast<char>(wParam & 0xFF);
        SetPasswordChar(echo);
        const DWORD style = Style();
        SetWindowLongA(host(), GWL_STYLE, static_cast<LONG>(echo != 0 ? style | ES_PASSWORD : style & ~ES_PASSWORD));
        return 0;
      }
      case EM_GETPASSWORDCHAR:
        return static_cast<unsigned char>(password_);
      case EM_SETMARGINS:
        SetMargins(wParam, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
      case EM_GETMARGINS:
        return MAKELONG(static_cast<WORD>(marginLeft_), static_cast<WORD>(marginRight_));
      case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | (multiLine_ ? DLGC_WANTALLKEYS : 0);
      case WM_SETFOCUS: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        NotifyParent(EN_SETFOCUS);
        return result;
      }
      case WM_KILLFOCUS: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        NotifyParent(EN_KILLFOCUS);
        return result;
      }
      case WM_SETFONT: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (marginLeft_ != 0 || marginRight_ != 0) SetMargins(EC_LEFTMARGIN | EC_RIGHTMARGIN, marginLeft_, marginRight_);
        return result;
      }
      case WM_PAINT:
        ApplyColors();
        return DefaultProc(message, wParam, lParam);
      default:
        return DefaultProc(message, wParam, lParam);
    }
  }

  bool CanUndo() const {
    return line_ != nullptr ? line_->isUndoAvailable() : memo_->document()->isUndoAvailable();
  }

  QLineEdit* line_;
  QPlainTextEdit* memo_;
  bool multiLine_;
  long long limit_;
  char password_ = 0;
  int marginLeft_ = 0;
  int marginRight_ = 0;
  bool modified_ = false;
  bool settingText_ = false;
  bool dirty_ = false;
  bool userChange_ = false;
  QString lastText_;
};

}  // namespace

LRESULT EditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    const DWORD style = create != nullptr ? static_cast<DWORD>(create->style)
                                          : static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    QLineEdit* line = nullptr;
    MemoWidget* memo = nullptr;
    if (style & ES_MULTILINE) memo = new MemoWidget();
    else line = new QLineEdit();
    auto control = std::make_shared<EditControl>(window, line, memo, style);
    AttachWrapped(window, control);
    const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
    // The text given to CreateWindowExA is the edit's, not the window record's.
    if (create != nullptr && create->lpszName != nullptr && create->lpszName[0] != 0) {
      control->SetInitialText(create->lpszName);
    }
    return result;
  }
  std::shared_ptr<WrappedControl> wrapped = WrappedShared(window);
  if (!wrapped) return DefWindowProcA(window, message, wParam, lParam);
  return static_cast<EditControl*>(wrapped.get())->Proc(message, wParam, lParam);
}

}  // namespace zuvo::platform::win
