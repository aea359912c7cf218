// The rich edit: the link finder, the window class "RichEdit20A" over a Qt plain-text editor, and
// the class library's TRichEdit (see RichEdit.h).
#include "platform/RichEdit.h"

#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// Edit messages and styles shared with the edit class (same numbers).
constexpr UINT kEmGetSel = 0x00B0;
constexpr UINT kEmSetSel = 0x00B1;
constexpr UINT kEmScroll = 0x00B5;
constexpr UINT kEmGetLineCount = 0x00BA;
constexpr UINT kEmLineIndex = 0x00BB;
constexpr UINT kEmLineLength = 0x00C1;
constexpr UINT kEmReplaceSel = 0x00C2;
constexpr UINT kEmCanUndo = 0x00C6;
constexpr UINT kEmUndo = 0x00C7;
constexpr UINT kEmEmptyUndoBuffer = 0x00CD;
constexpr UINT kEmGetFirstVisibleLine = 0x00CE;
constexpr UINT kEmSetReadOnly = 0x00CF;
constexpr UINT kWmUndo = 0x0304;
constexpr WORD kEnChange = 0x0300;
constexpr DWORD kEsMultiline = 0x0004;
constexpr DWORD kEsAutoHScroll = 0x0080;
constexpr DWORD kEsNoHideSel = 0x0100;
constexpr DWORD kEsReadOnly = 0x0800;
constexpr DWORD kEsDisableNoScroll = 0x2000;

}  // namespace

// ---- The link finder ------------------------------------------------------------------------

namespace zuvo::platform {
namespace {

bool IsAsciiAlnum(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Characters an address may hold: printable ASCII except blanks, quotes, angle brackets and the
// characters no address uses unescaped.
bool IsAddressChar(char16_t c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  switch (c) {
    case u'"': case u'<': case u'>': case u'{': case u'}': case u'|': case u'\\': case u'^': case u'`':
      return false;
    default:
      return true;
  }
}

bool StartsWithNoCase(std::u16string_view text, std::size_t at, std::u16string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[at + i]) != prefix[i]) return false;
  }
  return true;
}

// Length of the link prefix at `at`, 0 when none starts there.
std::size_t PrefixAt(std::u16string_view text, std::size_t at) {
  static constexpr std::u16string_view kPrefixes[] = {u"http://", u"https://", u"ftp://", u"mailto:", u"www."};
  for (std::u16string_view p : kPrefixes) {
    if (StartsWithNoCase(text, at, p)) return p.size();
  }
  return 0;
}

// Drops what ends a sentence rather than the address: trailing punctuation, and closing brackets
// without their opening one inside the link.
std::size_t TrimEnd(std::u16string_view link) {
  std::size_t end = link.size();
  while (end > 0) {
    const char16_t c = link[end - 1];
    if (c == u'.' || c == u',' || c == u';' || c == u':' || c == u'!' || c == u'?' || c == u'\'') {
      --end;
      continue;
    }
    if (c == u')' || c == u']') {
      const char16_t open = c == u')' ? u'(' : u'[';
      const std::u16string_view body = link.substr(0, end);
      if (std::count(body.begin(), body.end(), open) < std::count(body.begin(), body.end(), c)) {
        --end;
        continue;
      }
    }
    break;
  }
  return end;
}

}  // namespace

std::vector<CHARRANGE> FindLinks(std::u16string_view text) {
  std::vector<CHARRANGE> links;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    // Only 'h', 'f', 'm' and 'w' start a prefix; a prefix inside a word is none.
    const char16_t c = AsciiLower(text[i]);
    if ((c != u'h' && c != u'f' && c != u'm' && c != u'w') || (i > 0 && IsAsciiAlnum(text[i - 1]))) {
      ++i;
      continue;
    }
    const std::size_t prefix = PrefixAt(text, i);
    if (prefix == 0) {
      ++i;
      continue;
    }
    std::size_t end = i + prefix;
    while (end < n && IsAddressChar(text[end])) ++end;
    const std::size_t length = TrimEnd(text.substr(i, end - i));
    if (length > prefix) {
      links.push_back(CHARRANGE{static_cast<LONG>(i), static_cast<LONG>(i + length)});
      i += length;
    } else {
      i = end;   // a prefix with nothing after it: its characters start no other link
    }
  }
  return links;
}

}  // namespace zuvo::platform

// ---- The window class -------------------------------------------------------------------------

namespace zuvo::platform::win {
namespace {

std::u16string_view View(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QColor ToColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// Copies GBK text into a caller's buffer of `capacity` bytes, whole characters only, with the
// terminating zero; returns the bytes copied.
LRESULT CopyOut(const std::string& text, char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return 0;
  const std::size_t n = gbk::CutLength(text, capacity - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return static_cast<LRESULT>(n);
}

// Text for the editor: line breaks of every kind become paragraphs, and a zero byte (which no
// shown text holds) shows as U+FFFD like the bytes GBK has no character for.
QString Displayable(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  text.replace(QChar(u'\0'), QChar(0xFFFD));
  return text;
}

// The editor: plain text only, and nothing arrives by Qt's own drops or selection paste (text
// comes in through our input chain and clipboard, which check it).
class PlainView : public QPlainTextEdit {
 public:
  PlainView() = default;
  // Where a paragraph lies in the viewport.
  QRectF BlockRect(const QTextBlock& block) const { return blockBoundingGeometry(block).translated(contentOffset()); }

 protected:
  bool canInsertFromMimeData(const QMimeData*) const override { return false; }
  void insertFromMimeData(const QMimeData*) override {}
};

// Underlines the links of each paragraph as it changes; the document itself is not changed, so
// detection never enters the undo history nor counts as a change of the text.
class LinkHighlighter : public QSyntaxHighlighter {
 public:
  explicit LinkHighlighter(QObject* parent) : QSyntaxHighlighter(parent) {
    format_.setFontUnderline(true);
    format_.setForeground(QColor(0, 0, 255));
  }

 protected:
  void highlightBlock(const QString& text) override {
    for (const CHARRANGE& r : FindLinks(View(text))) setFormat(r.cpMin, r.cpMax - r.cpMin, format_);
  }

 private:
  QTextCharFormat format_;
};

class RichEditControl : public WrappedControl {
 public:
  RichEditControl(HWND host, PlainView* view, DWORD style) : WrappedControl(host, view), view_(view) {
    view->setFrameShape(QFrame::NoFrame);
    view->setTabChangesFocus(false);
    view->setUndoRedoEnabled(true);
    view->document()->setDocumentMargin(2);
    view->setReadOnly((style & kEsReadOnly) != 0);
    view->setLineWrapMode((style & kEsAutoHScroll) != 0 ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    const auto policy = [style](DWORD bar) {
      if ((style & bar) == 0) return Qt::ScrollBarAlwaysOff;
      return (style & kEsDisableNoScroll) != 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
    };
    view->setVerticalScrollBarPolicy(policy(WS_VSCROLL));
    view->setHorizontalScrollBarPolicy(policy(WS_HSCROLL));
    background_ = GetSysColor(COLOR_WINDOW);
    textColor_ = GetSysColor(COLOR_WINDOWTEXT);
    // Hidden until the window has the focus, unless the style keeps it shown.
    selectionHidden_ = (style & kEsNoHideSel) == 0;
    UpdatePalette();
    QObject::connect(view->document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
      if ((removed != 0 || added != 0) && (eventMask_ & ENM_CHANGE) != 0) NotifyParent(kEnChange);
    });
  }

  PlainView* view() const { return view_; }
  QTextDocument* document() const { return view_->document(); }

  // The highest position: the text's length in characters.
  int End() const { return std::max(0, document()->characterCount() - 1); }
  int Clamp(LONG position) const { return position < 0 ? End() : std::min<int>(position, End()); }

  void SetAllText(const QString& text) { view_->setPlainText(Displayable(text)); }

  // The text between two positions, one CR per paragraph break.
  QString Range(int from, int to) const {
    from = std::clamp(from, 0, End());
    to = std::clamp(to, 0, End());
    if (to <= from) return {};
    QTextCursor cursor(document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    QString text = cursor.selectedText();
    text.replace(QChar(0x2029), QChar(u'\r'));
    return text;
  }

  // The whole text with CR LF breaks, as WM_GETTEXT gives it.
  std::string WindowText() const {
    QString text = document()->toPlainText();
    text.replace(QChar(u'\n'), QStringLiteral("\r\n"));
    return ToGbk(text);
  }

  CHARRANGE Selection() const {
    const QTextCursor c = view_->textCursor();
    return CHARRANGE{c.selectionStart(), c.selectionEnd()};
  }

  // EM_EXSETSEL's rules: {0, -1} selects everything, a negative start selects nothing (the caret
  // at the selection's end), the rest is held to the text. The caret goes to cpMax.
  LONG SetSelection(LONG first, LONG last) {
    QTextCursor cursor = view_->textCursor();
    if (first < 0) {
      cursor.setPosition(cursor.selectionEnd());
    } else {
      cursor.setPosition(Clamp(first));
      cursor.setPosition(Clamp(last), QTextCursor::KeepAnchor);
    }
    view_->setTextCursor(cursor);
    return cursor.position();
  }

  void SetEventMask(DWORD mask) { eventMask_ = mask; }
  DWORD eventMask() const { return eventMask_; }

  void SetAutoUrlDetect(bool on) {
    if (on == (highlighter_ != nullptr)) return;
    if (on) {
      highlighter_ = new LinkHighlighter(view_);
      highlighter_->setDocument(document());
      highlighter_->rehighlight();
    } else {
      highlighter_->setDocument(nullptr);
      delete highlighter_;
      highlighter_ = nullptr;
    }
  }
  bool autoUrlDetect() const { return highlighter_ != nullptr; }

  // The link under a client point; false when the point is over no link's characters.
  bool LinkAt(QPoint client, CHARRANGE* range) const {
    if (highlighter_ == nullptr) return false;
    QWidget* viewport = view_->viewport();
    const QPoint at = viewport->mapFrom(view_, client);
    if (!viewport->rect().contains(at)) return false;
    const QTextBlock block = view_->cursorForPosition(at).block();
    if (!block.isValid() || !block.isVisible() || block.layout() == nullptr) return false;
    const QTextLayout* layout = block.layout();
    const QPointF inBlock = QPointF(at) - view_->BlockRect(block).topLeft() - layout->position();
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      if (inBlock.y() < line.y() || inBlock.y() >= line.y() + line.height()) continue;
      if (inBlock.x() < line.x() || inBlock.x() >= line.x() + line.naturalTextWidth()) return false;
      const int index = line.xToCursor(inBlock.x(), QTextLine::CursorOnCharacter);
      for (const CHARRANGE& r : FindLinks(View(block.text()))) {
        if (index >= r.cpMin && index < r.cpMax) {
          *range = CHARRANGE{block.position() + r.cpMin, block.position() + r.cpMax};
          return true;
        }
      }
      return false;
    }
    return false;
  }

  // Offers a mouse message over a link to the parent; true when the parent swallowed it.
  bool OfferLink(UINT message, WPARAM wParam, LPARAM lParam) {
    if ((eventMask_ & ENM_LINK) == 0) return false;
    CHARRANGE range{};
    const QPoint at(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    if (!LinkAt(at, &range)) return false;
    HWND parent = GetParent(host());
    if (parent == nullptr) return false;
    ENLINK link{};
    link.nmhdr.hwndFrom = host();
    link.nmhdr.idFrom = static_cast<UINT_PTR>(GetWindowLongA(host(), GWL_ID));
    link.nmhdr.code = EN_LINK;
    link.msg = message;
    link.wParam = wParam;
    link.lParam = lParam;
    link.chrg = range;
    return SendMessageA(parent, WM_NOTIFY, link.nmhdr.idFrom, reinterpret_cast<LPARAM>(&link)) != 0;
  }

  COLORREF SetBackground(COLORREF color) {
    const COLORREF old = background_;
    background_ = color;
    UpdatePalette();
    return old;
  }
  void SetTextColor(COLORREF color) {
    textColor_ = color;
    UpdatePalette();
  }
  void HideSelection(bool hide) {
    if (hide == selectionHidden_) return;
    selectionHidden_ = hide;
    UpdatePalette();
  }

 protected:
  // Line breaks come out as U+2029, which the clipboard action turns into CR LF.
  QString SelectedText() const override { return view_->textCursor().selectedText(); }

 private:
  void UpdatePalette() {
    QPalette palette = view_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      palette.setColor(group, QPalette::Base, ToColor(background_));
      palette.setColor(group, QPalette::Text, ToColor(textColor_));
      palette.setColor(group, QPalette::Highlight,
                       selectionHidden_ ? ToColor(background_) : ToColor(GetSysColor(COLOR_HIGHLIGHT)));
      palette.setColor(group, QPalette::HighlightedText,
                       selectionHidden_ ? ToColor(textColor_) : ToColor(GetSysColor(COLOR_HIGHLIGHTTEXT)));
    }
    view_->setPalette(palette);
  }

  PlainView* view_;
  LinkHighlighter* highlighter_ = nullptr;
  DWORD eventMask_ = ENM_NONE;
  COLORREF background_ = 0;
  COLORREF textColor_ = 0;
  bool selectionHidden_ = false;
};

bool IsMouseButtonOrMove(UINT message) {
  switch (message) {
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
      return true;
    default:
      return false;
  }
}

// The rich-edit state of a window, or null (not a rich edit, or gone).
std::shared_ptr<RichEditControl> RichEditOf(HWND window) {
  return std::dynamic_pointer_cast<RichEditControl>(WrappedShared(window));
}

// Copies a range's GBK bytes into a caller's buffer with a terminating zero.
LRESULT CopyRange(const RichEditControl& edit, int from, int to, char* buffer) {
  if (buffer == nullptr) return 0;
  const std::string bytes = ToGbk(edit.Range(from, to));
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  return static_cast<LRESULT>(bytes.size());
}

}  // namespace

LRESULT RichEditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    const DWORD style = create != nullptr ? static_cast<DWORD>(create->style) : 0;
    auto control = std::make_shared<RichEditControl>(window, new PlainView(), style);
    AttachWrapped(window, control);
    if (create != nullptr && create->lpszName != nullptr && create->lpszName[0] != 0) {
      control->SetAllText(FromGbk(create->lpszName));
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  std::shared_ptr<RichEditControl> edit = RichEditOf(window);
  if (!edit) return DefWindowProcA(window, message, wParam, lParam);
  PlainView* view = edit->view();
  // A mouse message over a link is the parent's first.
  if (IsMouseButtonOrMove(message) && edit->OfferLink(message, wParam, lParam)) return 0;
  switch (message) {
    case WM_GETTEXT:
      return CopyOut(edit->WindowText(), reinterpret_cast<char*>(lParam), wParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(edit->WindowText().size());
    case WM_SETTEXT:
      edit->SetAllText(lParam != 0 ? FromGbk(reinterpret_cast<const char*>(lParam)) : QString());
      return TRUE;
    case EM_EXGETSEL:
      if (lParam != 0) *reinterpret_cast<CHARRANGE*>(lParam) = edit->Selection();
      return 0;
    case EM_EXSETSEL: {
      if (lParam == 0) return 0;
      const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
      return edit->SetSelection(range->cpMin, range->cpMax);
    }
    case kEmGetSel: {
      const CHARRANGE r = edit->Selection();
      if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(r.cpMin);
      if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(r.cpMax);
      return MAKELONG(std::min<LONG>(r.cpMin, 0xFFFF), std::min<LONG>(r.cpMax, 0xFFFF));
    }
    case kEmSetSel:
      edit->SetSelection(static_cast<LONG>(static_cast<int>(wParam)), static_cast<LONG>(static_cast<int>(lParam)));
      return 0;
    case EM_GETTEXTRANGE: {
      if (lParam == 0) return 0;
      const auto* range = reinterpret_cast<const TEXTRANGEA*>(lParam);
      const int to = range->chrg.cpMax < 0 ? edit->End() : range->chrg.cpMax;
      return CopyRange(*edit, range->chrg.cpMin, to, range->lpstrText);
    }
    case EM_GETSELTEXT: {
      const CHARRANGE r = edit->Selection();
      return CopyRange(*edit, r.cpMin, r.cpMax, reinterpret_cast<char*>(lParam));
    }
    case kEmReplaceSel: {
      QTextCursor cursor = view->textCursor();
      cursor.insertText(Displayable(lParam != 0 ? FromGbk(reinterpret_cast<const char*>(lParam)) : QString()));
      view->setTextCursor(cursor);
      return 0;
    }
    case WM_COPY:
      edit->Copy();
      return 0;
    case WM_CUT:
      edit->Cut();
      return 0;
    case WM_PASTE:
      edit->Paste();
      return 0;
    case WM_CLEAR:
      if (!view->isReadOnly()) view->textCursor().removeSelectedText();
      return 0;
    case kEmCanUndo:
      return edit->document()->isUndoAvailable() ? TRUE : FALSE;
    case kEmUndo:
    case kWmUndo:
      if (view->isReadOnly() || !edit->document()->isUndoAvailable()) return FALSE;
      view->undo();
      return TRUE;
    case kEmEmptyUndoBuffer:
      edit->document()->clearUndoRedoStacks();
      return 0;
    case kEmSetReadOnly: {
      view->setReadOnly(wParam != 0);
      const LONG style = GetWindowLongA(window, GWL_STYLE);
      SetWindowLongA(window, GWL_STYLE,
                     wParam != 0 ? (style | static_cast<LONG>(kEsReadOnly)) : (style & ~static_cast<LONG>(kEsReadOnly)));
      return TRUE;
    }
    case kEmGetLineCount:
      return edit->document()->blockCount();
    case kEmLineIndex: {
      const int line = static_cast<int>(wParam) < 0 ? view->textCursor().blockNumber() : static_cast<int>(wParam);
      const QTextBlock block = edit->document()->findBlockByNumber(line);
      return block.isValid() ? block.position() : -1;
    }
    case kEmLineLength: {
      const int at = static_cast<int>(wParam);
      if (at < 0) return 0;
      const QTextBlock block = edit->document()->findBlock(edit->Clamp(at));
      return block.isValid() ? block.length() - 1 : 0;
    }
    case kEmGetFirstVisibleLine:
      return view->verticalScrollBar()->value();
    case kEmScroll: {
      QScrollBar* bar = view->verticalScrollBar();
      switch (LOWORD(wParam)) {
        case SB_LINEUP: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case SB_LINEDOWN: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case SB_PAGEUP: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
        case SB_PAGEDOWN: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
        default: return 0;
      }
      return TRUE;
    }
    case EM_SETBKGNDCOLOR:
      return edit->SetBackground(wParam != 0 ? GetSysColor(COLOR_WINDOW) : static_cast<COLORREF>(lParam));
    case EM_SETCHARFORMAT: {
      const auto* format = reinterpret_cast<const CHARFORMATA*>(lParam);
      if (format == nullptr || (format->dwMask & CFM_COLOR) == 0) return 0;
      edit->SetTextColor((format->dwEffects & CFE_AUTOCOLOR) != 0 ? GetSysColor(COLOR_WINDOWTEXT) : format->crTextColor);
      return TRUE;
    }
    case EM_SETEVENTMASK: {
      const DWORD old = edit->eventMask();
      edit->SetEventMask(static_cast<DWORD>(lParam));
      return static_cast<LRESULT>(old);
    }
    case EM_GETEVENTMASK:
      return static_cast<LRESULT>(edit->eventMask());
    case EM_AUTOURLDETECT:
      edit->SetAutoUrlDetect((wParam & AURL_ENABLEURL) != 0);
      return 0;
    case EM_GETAUTOURLDETECT:
      return edit->autoUrlDetect() ? TRUE : FALSE;
    case EM_HIDESELECTION:
      edit->HideSelection(wParam != 0);
      return 0;
    case EM_EXLIMITTEXT:
      return 0;
    case WM_SETFOCUS:
      edit->HideSelection(false);
      return edit->DefaultProc(message, wParam, lParam);
    case WM_KILLFOCUS:
      if ((GetWindowLongA(window, GWL_STYLE) & kEsNoHideSel) == 0) edit->HideSelection(true);
      return edit->DefaultProc(message, wParam, lParam);
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT || reinterpret_cast<HWND>(wParam) != window) break;
      POINT point{};
      GetCursorPos(&point);
      ScreenToClient(window, &point);
      CHARRANGE range{};
      const bool overLink = edit->LinkAt(QPoint(point.x, point.y), &range);
      SetCursor(LoadCursorA(nullptr, overLink ? IDC_HAND : IDC_IBEAM));
      return TRUE;
    }
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_WANTARROWS;
      if ((GetWindowLongA(window, GWL_STYLE) & kEsMultiline) != 0) code |= DLGC_WANTTAB | DLGC_WANTALLKEYS;
      return code;
    }
    default:
      break;
  }
  return edit->DefaultProc(message, wParam, lParam);
}

// ---- Lines, for the class library's control ----------------------------------------------------

namespace {

// The lines of the text as TRichEdit's Lines sees them: every paragraph, except an empty last one
// (the break after the last line).
int LineCount(const RichEditControl& edit) {
  QTextDocument* doc = edit.document();
  const int blocks = doc->blockCount();
  return doc->lastBlock().length() <= 1 ? blocks - 1 : blocks;
}

std::vector<std::string> ReadLines(const RichEditControl& edit) {
  std::vector<std::string> lines;
  const int count = LineCount(edit);
  lines.reserve(static_cast<std::size_t>(count));
  QTextBlock block = edit.document()->begin();
  for (int i = 0; i < count && block.isValid(); ++i, block = block.next()) lines.push_back(ToGbk(block.text()));
  return lines;
}

// Each line followed by its break, as the lines of a rich edit are kept.
QString JoinLines(const std::vector<std::string>& lines) {
  std::string all;
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 1;
  all.reserve(size);
  for (const std::string& line : lines) {
    all += line;
    all += '\n';
  }
  return FromGbk(all);
}

QString LineText(const std::string& s) { return Displayable(FromGbk(s)); }

}  // namespace

}  // namespace zuvo::platform::win

namespace win = zuvo::platform::win;

// ---- TRichEditStrings -----------------------------------------------------------------------

HWND TRichEditStrings::Window() const { return edit_->HandleAllocated() ? edit_->handle_ : nullptr; }

void TRichEditStrings::Check(int index, int count) const {
  if (index < 0 || index >= count) throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TRichEditStrings::Hold() {
  if (held_) return;
  auto edit = win::RichEditOf(Window());
  buffer_ = edit ? win::ReadLines(*edit) : std::vector<std::string>{};
  held_ = true;
  dirty_ = false;
}

void TRichEditStrings::Release() {
  auto edit = win::RichEditOf(Window());
  if (!held_ || !edit || updateCount_ > 0) return;
  if (dirty_) edit->SetAllText(win::JoinLines(buffer_));
  buffer_.clear();
  buffer_.shrink_to_fit();
  held_ = false;
  dirty_ = false;
}

void TRichEditStrings::SetUpdateState(bool updating) {
  if (updating) {
    Hold();
  } else {
    Release();
  }
}

int TRichEditStrings::Count() const {
  if (held_) return static_cast<int>(buffer_.size());
  auto edit = win::RichEditOf(Window());
  return edit ? win::LineCount(*edit) : 0;
}

std::string TRichEditStrings::Get(int index) const {
  Check(index, Count());
  if (held_) return buffer_[static_cast<std::size_t>(index)];
  auto edit = win::RichEditOf(Window());
  return win::ToGbk(edit->document()->findBlockByNumber(index).text());
}

void* TRichEditStrings::GetObject(int index) const {
  Check(index, Count());
  return nullptr;
}

void TRichEditStrings::PutObject(int index, void*) { Check(index, Count()); }

void TRichEditStrings::Put(int index, const std::string& s) {
  Check(index, Count());
  if (held_) {
    buffer_[static_cast<std::size_t>(index)] = s;
    dirty_ = true;
    return;
  }
  auto edit = win::RichEditOf(Window());
  QTextCursor cursor(edit->document()->findBlockByNumber(index));
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(win::LineText(s));
}

void TRichEditStrings::Insert(int index, const std::string& s) {
  const int count = Count();
  if (index != count) Check(index, count);
  if (held_) {
    buffer_.insert(buffer_.begin() + index, s);
    dirty_ = true;
    return;
  }
  auto edit = win::RichEditOf(Window());
  QTextDocument* doc = edit->document();
  const QString line = win::LineText(s);
  QTextCursor cursor(doc);
  if (index < count) {
    cursor.setPosition(doc->findBlockByNumber(index).position());
    cursor.insertText(line + QChar(u'\n'));
  } else if (doc->lastBlock().length() <= 1) {
    // The empty paragraph after the last break: the new line goes before it.
    cursor.setPosition(doc->lastBlock().position());
    cursor.insertText(line + QChar(u'\n'));
  } else {
    // The last line has no break after it yet.
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QChar(u'\n') + line + QChar(u'\n'));
  }
}

void TRichEditStrings::Delete(int index) {
  Check(index, Count());
  if (held_) {
    buffer_.erase(buffer_.begin() + index);
    dirty_ = true;
    return;
  }
  auto edit = win::RichEditOf(Window());
  QTextDocument* doc = edit->document();
  const QTextBlock block = doc->findBlockByNumber(index);
  QTextCursor cursor(doc);
  if (block.next().isValid()) {
    cursor.setPosition(block.position());
    cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
  } else if (block.previous().isValid()) {
    // The last line without a break after it: the break before it goes with it.
    cursor.setPosition(block.previous().position() + block.previous().length() - 1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  } else {
    cursor.select(QTextCursor::Document);
  }
  cursor.removeSelectedText();
}

void TRichEditStrings::Clear() {
  if (held_) {
    if (!buffer_.empty()) dirty_ = true;
    buffer_.clear();
    return;
  }
  if (auto edit = win::RichEditOf(Window())) edit->SetAllText(QString());
}

// ---- TRichEdit ------------------------------------------------------------------------------

TRichEdit::TRichEdit(TComponent* owner) : TWinControl(owner) {
  width_ = 185;
  height_ = 89;
  explicitWidth_ = width_;
  explicitHeight_ = height_;
  color_ = clWindow;
  tabStop_ = true;
  InheritWindowClass("RichEdit20A");
}

TRichEdit::~TRichEdit() = default;

LRESULT TRichEdit::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  return HandleAllocated() ? SendMessageA(handle_, message, wParam, lParam) : 0;
}

void TRichEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style |= kEsMultiline;
  if (readOnly_) params.Style |= kEsReadOnly;
  if (!hideSelection_) params.Style |= kEsNoHideSel;
  if (!wordWrap_) params.Style |= kEsAutoHScroll;
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) params.Style |= WS_VSCROLL;
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) params.Style |= WS_HSCROLL;
  if (borderStyle_ == bsSingle) params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TRichEdit::CreateWnd() {
  TWinControl::CreateWnd();
  if (!HandleAllocated()) return;
  Send(EM_SETEVENTMASK, 0, static_cast<LPARAM>(ENM_CHANGE));
  ApplyFontAndColor();
  lines_.Release();
}

void TRichEdit::DestroyWnd() {
  // The text outlives the window (RecreateWnd makes it again with the same lines).
  if (HandleAllocated() && !lines_.held_) {
    lines_.Hold();
    lines_.dirty_ = true;
  }
  TWinControl::DestroyWnd();
}

void TRichEdit::ApplyFontAndColor() {
  if (!HandleAllocated()) return;
  Send(WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
  CHARFORMATA format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.crTextColor = ColorToRGB(Font()->Color());
  Send(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  Send(EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ColorToRGB(Color())));
}

void TRichEdit::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE:
      DefaultHandler(message);
      if (!wantTabs_) message.Result &= ~static_cast<LRESULT>(DLGC_WANTTAB);
      // The key asked about: Tab, and without WantReturns Enter and Esc, go to the form.
      if ((message.WParam == VK_TAB && !wantTabs_) ||
          ((message.WParam == VK_RETURN || message.WParam == VK_ESCAPE) && !wantReturns_)) {
        message.Result &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS);
      }
      return;
    case CN_COMMAND:
      if (message.WParamHi() == kEnChange) Change();
      message.Result = 0;
      return;
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
      TWinControl::WndProc(message);
      ApplyFontAndColor();
      return;
    default:
      TWinControl::WndProc(message);
  }
}

void TRichEdit::KeyPress(char& key) {
  TWinControl::KeyPress(key);
  if ((key == '\r' && !wantReturns_) || (key == '\t' && !wantTabs_)) key = 0;
}

void TRichEdit::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

bool TRichEdit::LoadFromFile(const std::string& path) {
  std::string bytes;
  bool ok = false;
  {
    zuvo::platform::files::ScopedHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.ok()) {
      ok = true;
      std::vector<char> chunk(64 * 1024);
      for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
          ok = false;
          break;
        }
        if (read == 0) break;
        bytes.append(chunk.data(), read);
      }
    }
  }
  if (!ok) bytes.clear();
  auto edit = win::RichEditOf(HandleAllocated() ? handle_ : nullptr);
  if (edit && !lines_.held_) {
    edit->SetAllText(win::FromGbk(bytes));
  } else {
    lines_.SetText(bytes);
  }
  return ok;
}

void TRichEdit::Clear() { lines_.Clear(); }

void TRichEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  Send(kEmSetReadOnly, value ? TRUE : FALSE);
}

void TRichEdit::SetScrollBars(TScrollStyle value) {
  if (scrollBars_ == value) return;
  scrollBars_ = value;
  RecreateWnd();
}

void TRichEdit::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  RecreateWnd();
}

void TRichEdit::SetBorderStyle(TBorderStyle value) {
  if (borderStyle_ == value) return;
  borderStyle_ = value;
  RecreateWnd();
}

void TRichEdit::SetHideSelection(bool value) {
  hideSelection_ = value;
  if (!HandleAllocated()) return;
  const LONG style = GetWindowLongA(handle_, GWL_STYLE);
  SetWindowLongA(handle_, GWL_STYLE,
                 value ? (style & ~static_cast<LONG>(kEsNoHideSel)) : (style | static_cast<LONG>(kEsNoHideSel)));
  Send(EM_HIDESELECTION, value && !Focused() ? TRUE : FALSE);
}

int TRichEdit::SelStart() {
  CHARRANGE r{0, 0};
  Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
  return r.cpMin;
}

void TRichEdit::SetSelStart(int position) {
  CHARRANGE r{std::max(0, position), std::max(0, position)};
  Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

int TRichEdit::SelLength() {
  CHARRANGE r{0, 0};
  Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
  return r.cpMax - r.cpMin;
}

void TRichEdit::SetSelLength(int length) {
  const int start = SelStart();
  CHARRANGE r{start, start + std::max(0, length)};
  Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

std::string TRichEdit::SelText() {
  const int length = SelLength();
  if (length <= 0) return {};
  std::string buffer(static_cast<std::size_t>(length) * 2 + 1, '\0');
  const LRESULT n = Send(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

void TRichEdit::SetSelText(const std::string& text) { Send(kEmReplaceSel, TRUE, reinterpret_cast<LPARAM>(text.c_str())); }

void TRichEdit::SelectAll() {
  CHARRANGE r{0, -1};
  Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

std::string TRichEdit::TextRange(int start, int end) {
  if (!HandleAllocated()) return {};
  // The whole text's bytes (breaks as CR LF) are enough for any range, and so are two a character.
  std::size_t size = static_cast<std::size_t>(Send(WM_GETTEXTLENGTH)) + 1;
  if (end >= 0) size = std::min(size, static_cast<std::size_t>(std::max(0, end - std::max(0, start))) * 2 + 1);
  std::string buffer(size, '\0');
  TEXTRANGEA range{{start, end}, buffer.data()};
  const LRESULT n = Send(EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

int TRichEdit::GetTextLen() { return static_cast<int>(Send(WM_GETTEXTLENGTH)); }

void TRichEdit::CopyToClipboard() { Send(WM_COPY); }
void TRichEdit::CutToClipboard() { Send(WM_CUT); }
void TRichEdit::PasteFromClipboard() { Send(WM_PASTE); }
void TRichEdit::ClearSelection() { Send(WM_CLEAR); }
bool TRichEdit::CanUndo() { return Send(kEmCanUndo) != 0; }
void TRichEdit::Undo() { Send(kEmUndo); }
void TRichEdit::ClearUndo() { Send(kEmEmptyUndoBuffer); }
