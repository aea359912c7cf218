// The rich edit: the link finder, link notifications to the parent (and their swallowing),
// plain text only, selection and ranges by character position (held to the text), the
// clipboard actions, loading GBK files with bad bytes, the live lines, posted keys, colours.
#include "platform/RichEdit.h"

#include "platform/Clipboard.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "platform/internal/Window.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <string>
#include <utility>
#include <vector>

namespace {

using zuvo::platform::FindLinks;
using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedInMemoryClipboard;
using zuvo::platform::SimulateCommittedText;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

constexpr DWORD kEsMultiline = 0x0004;
constexpr UINT kEmReplaceSel = 0x00C2;
constexpr UINT kEmCanUndo = 0x00C6;

// ---- The link finder ------------------------------------------------------------------------

struct LinkCase {
  const char* name;
  std::u16string text;
  std::vector<std::pair<LONG, LONG>> links;
};

TEST(RichEditLinkTest, FindsLinksInTexts) {
  const LinkCase cases[] = {
      {"at the start", u"http://a.com/x 其后", {{0, 14}}},
      {"at the end", u"看 https://b.cn/p?q=1&r=2", {{2, 24}}},
      {"between Chinese characters", u"详见www.c.com详情", {{2, 11}}},
      {"full-width stop after", u"访问http://d.com/x。", {{2, 16}}},
      {"full-width comma and bracket", u"（ftp://e.org/a，）", {{1, 14}}},
      {"sentence punctuation", u"(see http://f.com/a). Or http://g.com/b, then", {{5, 19}, {25, 39}}},
      {"balanced brackets kept", u"http://h.org/wiki/F_(b)", {{0, 23}}},
      {"several kinds, any case", u"ftp://i.org; mailto:j@k.cn! WWW.L.COM?", {{0, 11}, {13, 26}, {28, 37}}},
      {"quotes around", u"\"http://m.com\" 和 “www.n.cn”", {{1, 13}, {18, 26}}},
      {"prefix alone or inside a word", u"http:// www. xhttp://o.com awww.p.com", {}},
      {"no link", u"沪深300 上涨 1.5%, mail me", {}},
      {"empty", u"", {}},
  };
  for (const LinkCase& c : cases) {
    std::vector<std::pair<LONG, LONG>> found;
    for (const CHARRANGE& r : FindLinks(c.text)) found.emplace_back(r.cpMin, r.cpMax);
    EXPECT_EQ(found, c.links) << c.name;
  }
}

// ---- Fixture --------------------------------------------------------------------------------

// A form that answers link notifications with `answer` and records them, and the order in which
// a left press over a link reached it and the rich edit's OnMouseDown.
class LinkForm : public TForm {
 public:
  using TForm::TForm;
  void WndProc(TMessage& message) override {
    if (message.Msg == WM_NOTIFY && message.LParam != 0 &&
        reinterpret_cast<const NMHDR*>(message.LParam)->code == EN_LINK) {
      const auto* link = reinterpret_cast<const ENLINK*>(message.LParam);
      links.push_back(*link);
      if (link->msg == WM_LBUTTONDOWN) order.push_back("link");
      message.Result = answer;
      return;
    }
    TForm::WndProc(message);
  }
  std::vector<ENLINK> LinksOf(UINT mouse) const {
    std::vector<ENLINK> out;
    for (const ENLINK& l : links) {
      if (l.msg == mouse) out.push_back(l);
    }
    return out;
  }
  LRESULT answer = 0;
  std::vector<ENLINK> links;
  std::vector<std::string> order;
};

class RichEditTest : public testing::Test {
 public:
  void SetUp() override {
    form_ = NewForm<LinkForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  HWND MakeRaw(const char* text, DWORD style = 0) {
    HWND edit = CreateWindowExA(0, "RichEdit20A", text, WS_CHILD | WS_VISIBLE | kEsMultiline | style, 10, 10, 300,
                                200, form_->Handle(), reinterpret_cast<HMENU>(7), nullptr, nullptr);
    ProcessPendingMessages();
    return edit;
  }
  TRichEdit* Make() {
    auto* edit = new TRichEdit(form_);
    edit->SetBounds(10, 10, 300, 200);
    edit->SetParent(form_);
    ProcessPendingMessages();
    return edit;
  }
  static QPlainTextEdit* View(HWND edit) {
    auto w = zuvo::platform::win::Find(edit);
    return w ? static_cast<QPlainTextEdit*>(w->hosted) : nullptr;
  }
  // A client point over the character at `position`.
  static QPoint PointAt(HWND edit, int position) {
    QPlainTextEdit* view = View(edit);
    QTextCursor cursor(view->document());
    cursor.setPosition(position);
    const QRect caret = view->cursorRect(cursor);
    return view->viewport()->mapTo(view, caret.center() + QPoint(3, 0));
  }
  static CHARRANGE Sel(HWND edit) {
    CHARRANGE r{-9, -9};
    SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r;
  }
  static void SetSel(HWND edit, LONG first, LONG last) {
    CHARRANGE r{first, last};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
  }
  static std::string Text(HWND edit) {
    std::string buffer(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    buffer.resize(static_cast<std::size_t>(GetWindowTextA(edit, buffer.data(), static_cast<int>(buffer.size()))));
    return buffer;
  }
  static void Click(HWND edit, QPoint at) {
    SimulateMouse(edit, WM_LBUTTONDOWN, at.x(), at.y(), MK_LBUTTON);
    ProcessPendingMessages();
    SimulateMouse(edit, WM_LBUTTONUP, at.x(), at.y(), 0);
    ProcessPendingMessages();
  }
  static void Type(HWND edit, int key, const char* text) {
    SimulateKey(edit, key, true, 0, text);
    SimulateKey(edit, key, false, 0);
    ProcessPendingMessages();
  }

 protected:
  LinkForm* form_ = nullptr;
};

// ---- Links ----------------------------------------------------------------------------------

// Line 2 holds the link at positions 7..21 (line 1 is three characters and a break).
constexpr const char* kLinkText = "第一行\r\n请看 http://a.com/x 谢谢";

TEST_F(RichEditTest, LinkPressGoesToTheParentWithItsRangeAndANonZeroAnswerSwallowsIt) {
  HWND edit = MakeRaw(kLinkText);
  SendMessageA(edit, EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  SendMessageA(edit, EM_SETEVENTMASK, 0, static_cast<LPARAM>(SendMessageA(edit, EM_GETEVENTMASK, 0, 0) | ENM_LINK));
  SetSel(edit, 1, 1);
  form_->answer = 1;
  Click(edit, PointAt(edit, 9));
  std::vector<ENLINK> downs = form_->LinksOf(WM_LBUTTONDOWN);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].nmhdr.hwndFrom, edit);
  EXPECT_EQ(downs[0].nmhdr.idFrom, 7u);
  EXPECT_EQ(downs[0].nmhdr.code, EN_LINK);
  EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
  EXPECT_EQ(downs[0].chrg.cpMin, 7);
  EXPECT_EQ(downs[0].chrg.cpMax, 21);
  EXPECT_EQ(form_->LinksOf(WM_LBUTTONUP).size(), 1u);
  // Swallowed: the editor never saw the press, the caret stayed.
  EXPECT_EQ(Sel(edit).cpMin, 1);
  EXPECT_EQ(Sel(edit).cpMax, 1);
  // The range's text is the address (ASCII: its length in characters is its length in bytes).
  char buffer[64] = {};
  TEXTRANGEA range{downs[0].chrg, buffer};
  EXPECT_EQ(SendMessageA(edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)), 14);
  EXPECT_STREQ(buffer, "http://a.com/x");

  // Answered 0: the press goes on to the editor and moves the caret into the link.
  form_->answer = 0;
  form_->links.clear();
  Click(edit, PointAt(edit, 9));
  EXPECT_EQ(form_->LinksOf(WM_LBUTTONDOWN).size(), 1u);
  EXPECT_GE(Sel(edit).cpMin, 9);
  EXPECT_LE(Sel(edit).cpMin, 10);

  // Off the link: no notification.
  form_->links.clear();
  Click(edit, PointAt(edit, 1));
  Click(edit, PointAt(edit, 21));   // the blank after the link
  Click(edit, QPoint(280, 10));     // past the end of line 1
  EXPECT_TRUE(form_->links.empty());
}

TEST_F(RichEditTest, NoLinkNotificationWithoutTheMaskOrDetection) {
  HWND edit = MakeRaw(kLinkText);
  form_->answer = 1;
  SendMessageA(edit, EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  SetSel(edit, 1, 1);
  Click(edit, PointAt(edit, 9));
  EXPECT_TRUE(form_->links.empty());
  EXPECT_GE(Sel(edit).cpMin, 9);   // the click reached the editor

  SendMessageA(edit, EM_SETEVENTMASK, 0, static_cast<LPARAM>(ENM_LINK));
  SendMessageA(edit, EM_AUTOURLDETECT, 0, 0);
  Click(edit, PointAt(edit, 9));
  EXPECT_TRUE(form_->links.empty());
}

TEST_F(RichEditTest, DetectedLinksAreUnderlinedWithoutChangingTheText) {
  HWND edit = MakeRaw(kLinkText);
  QTextDocument* doc = View(edit)->document();
  EXPECT_TRUE(doc->findBlockByNumber(1).layout()->formats().isEmpty());
  SendMessageA(edit, EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  EXPECT_EQ(SendMessageA(edit, EM_GETAUTOURLDETECT, 0, 0), TRUE);
  const QList<QTextLayout::FormatRange> formats = doc->findBlockByNumber(1).layout()->formats();
  ASSERT_EQ(formats.size(), 1);
  EXPECT_EQ(formats[0].start, 3);
  EXPECT_EQ(formats[0].length, 14);
  EXPECT_TRUE(formats[0].format.fontUnderline());
  EXPECT_FALSE(SendMessageA(edit, kEmCanUndo, 0, 0));   // detection is no edit
  // Text put in later is looked at too.
  SetSel(edit, 0, 0);
  SendMessageA(edit, kEmReplaceSel, TRUE, reinterpret_cast<LPARAM>("www.q.cn "));
  EXPECT_EQ(doc->firstBlock().layout()->formats().size(), 1);
  // Turned off: no underline left.
  SendMessageA(edit, EM_AUTOURLDETECT, 0, 0);
  EXPECT_TRUE(doc->findBlockByNumber(1).layout()->formats().isEmpty());
}

TEST_F(RichEditTest, TheParentHearsOfALinkBeforeTheControlsMouseEvent) {
  TRichEdit* edit = Make();
  edit->SetText(kLinkText);
  edit->OnMouseDown = [this](TObject*, TMouseButton, TShiftState, int, int) { form_->order.push_back("down"); };
  edit->Perform(EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  edit->Perform(EM_SETEVENTMASK, 0, static_cast<LPARAM>(edit->Perform(EM_GETEVENTMASK) | ENM_LINK));
  Click(edit->Handle(), PointAt(edit->Handle(), 9));
  EXPECT_EQ(form_->order, (std::vector<std::string>{"link", "down"}));
}

// ---- Text, ranges, clipboard ----------------------------------------------------------------

TEST_F(RichEditTest, MarkupIsPlainText) {
  HWND edit = MakeRaw("<b>x</b>");
  EXPECT_EQ(View(edit)->toPlainText().toStdString(), "<b>x</b>");
  EXPECT_EQ(Text(edit), "<b>x</b>");
  SetWindowTextA(edit, "<i>y</i>&amp;{\\rtf1 z}");
  EXPECT_EQ(View(edit)->toPlainText().toStdString(), "<i>y</i>&amp;{\\rtf1 z}");
}

struct RangeCase {
  LONG first, last;
  LONG selMin, selMax;
  const char* text;   // EM_GETTEXTRANGE of the same range
};

TEST_F(RichEditTest, RangesCountCharactersAndAreHeldToTheText) {
  // 中文ab, a break, cd: positions 0..7.
  HWND edit = MakeRaw("中文ab\r\ncd");
  const RangeCase cases[] = {
      {1, 3, 1, 3, "文a"},
      {3, 6, 3, 6, "b\rc"},
      {0, -1, 0, 7, "中文ab\rcd"},
      {5, 999, 5, 7, "cd"},
      {999, 999, 7, 7, ""},
      {4, 2, 2, 4, ""},   // selected backwards; a reversed range has no text
  };
  for (const RangeCase& c : cases) {
    SetSel(edit, c.first, c.last);
    const CHARRANGE got = Sel(edit);
    EXPECT_EQ(got.cpMin, c.selMin) << c.first << "," << c.last;
    EXPECT_EQ(got.cpMax, c.selMax) << c.first << "," << c.last;
    char buffer[32] = {'x'};
    TEXTRANGEA range{{c.first, c.last}, buffer};
    const LRESULT n = SendMessageA(edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(std::string(buffer), c.text) << c.first << "," << c.last;
    EXPECT_EQ(n, static_cast<LRESULT>(std::string(c.text).size()));
  }
  // A negative start drops the selection, the caret at its end.
  SetSel(edit, 1, 3);
  SetSel(edit, -1, 0);
  EXPECT_EQ(Sel(edit).cpMin, 3);
  EXPECT_EQ(Sel(edit).cpMax, 3);
  // Selected text, and null buffers.
  SetSel(edit, 0, 2);
  char selected[16] = {};
  EXPECT_EQ(SendMessageA(edit, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(selected)), 4);
  EXPECT_STREQ(selected, "中文");
  EXPECT_EQ(SendMessageA(edit, EM_GETSELTEXT, 0, 0), 0);
  TEXTRANGEA none{{0, 2}, nullptr};
  EXPECT_EQ(SendMessageA(edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&none)), 0);
  EXPECT_EQ(SendMessageA(edit, EM_GETTEXTRANGE, 0, 0), 0);
  // The window text has CR LF breaks; a short buffer is cut on a character boundary.
  EXPECT_EQ(Text(edit), "中文ab\r\ncd");
  char shortBuffer[4] = {};
  EXPECT_EQ(GetWindowTextA(edit, shortBuffer, 4), 2);
  EXPECT_STREQ(shortBuffer, "中");
}

TEST_F(RichEditTest, CopyCutPasteAndUndoThroughTheClipboard) {
  ScopedInMemoryClipboard clipboard;
  clipboard->SetText(u"kept");
  TRichEdit* edit = Make();
  edit->SetText("甲乙\r\nabc");
  // Nothing selected: the clipboard keeps its text.
  edit->SetSelStart(1);
  edit->CopyToClipboard();
  EXPECT_EQ(clipboard->Text(), std::u16string(u"kept"));
  // A selection across the break: copied with CR LF.
  edit->SetSelStart(1);
  edit->SetSelLength(3);
  EXPECT_EQ(edit->SelText(), "乙\ra");
  EXPECT_EQ(edit->TextRange(1, 4), "乙\ra");
  edit->CopyToClipboard();
  EXPECT_EQ(clipboard->Text(), std::u16string(u"乙\r\na"));
  EXPECT_FALSE(edit->CanUndo());

  edit->CutToClipboard();
  EXPECT_EQ(edit->Text(), "甲bc");
  EXPECT_TRUE(edit->CanUndo());
  edit->Undo();
  EXPECT_EQ(edit->Text(), "甲乙\r\nabc");

  clipboard->SetText(u"粘\r\n贴");
  edit->SelectAll();
  edit->PasteFromClipboard();
  EXPECT_EQ(edit->Text(), "粘\r\n贴");
  edit->SelectAll();
  edit->ClearSelection();
  EXPECT_EQ(edit->Text(), "");

  // Read-only: copy works; cut, paste and clear change nothing.
  edit->SetText("只读");
  edit->SetReadOnly(true);
  edit->SelectAll();
  edit->CopyToClipboard();
  EXPECT_EQ(clipboard->Text(), std::u16string(u"只读"));
  clipboard->SetText(u"x");
  edit->CutToClipboard();
  edit->PasteFromClipboard();
  edit->ClearSelection();
  EXPECT_EQ(edit->Text(), "只读");
  EXPECT_EQ(clipboard->Text(), std::u16string(u"x"));
}

// ---- Files and lines ------------------------------------------------------------------------

TEST_F(RichEditTest, LoadFromFileShowsBadBytesAndAMissingFileLeavesNothing) {
  testsupport::TempInstall install;
  // A lead byte without its trail byte, a lone 0xFF and a zero byte, then a second line.
  static const char kBytes[] = "ab\x81 \xFF" "c\0d\r\n第二";
  testsupport::WriteBytes(install.root() / "data" / "bad.txt", std::string(kBytes, sizeof kBytes - 1));
  TRichEdit* edit = Make();
  edit->Perform(EM_AUTOURLDETECT, AURL_ENABLEURL, 0);
  EXPECT_TRUE(edit->LoadFromFile("..\\data\\bad.txt"));
  EXPECT_EQ(View(edit->Handle())->toPlainText().toStdU16String(), u"ab\uFFFD \uFFFDc\uFFFDd\n第二");
  ASSERT_EQ(edit->Lines()->Count(), 2);
  EXPECT_EQ(edit->Lines()->Strings(1), "第二");

  EXPECT_FALSE(edit->LoadFromFile("..\\data\\missing.txt"));
  EXPECT_EQ(edit->Text(), "");
  EXPECT_EQ(edit->Lines()->Count(), 0);

  // Through the lines as well, and before the window exists.
  auto* early = new TRichEdit(form_);
  EXPECT_TRUE(early->Lines()->LoadFromFile("..\\data\\bad.txt"));
  EXPECT_FALSE(early->HandleAllocated());
  early->SetParent(form_);
  ProcessPendingMessages();
  ASSERT_EQ(early->Lines()->Count(), 2);
  EXPECT_EQ(early->Lines()->Strings(1), "第二");
}

TEST_F(RichEditTest, LinesAreLiveAndKeptUntilTheWindowIsMade) {
  auto* edit = new TRichEdit(form_);
  edit->Lines()->Add("一");
  edit->Lines()->Add("two");
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  edit->SetBounds(10, 10, 300, 200);
  edit->SetParent(form_);
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "一\r\ntwo\r\n");
  EXPECT_EQ(edit->Lines()->Count(), 2);

  changes = 0;
  edit->Lines()->Insert(1, "mid");
  edit->Lines()->Add("end");
  edit->Lines()->Put(0, "首");
  edit->Lines()->Delete(2);
  EXPECT_EQ(edit->Lines()->Text(), "首\r\nmid\r\nend\r\n");
  EXPECT_GE(changes, 4);
  EXPECT_THROW(edit->Lines()->Get(3), EStringListError);

  // What the user types is in the lines at once.
  edit->SetFocus();
  edit->SelectAll();
  SimulateCommittedText(edit->Handle(), "新行");
  ProcessPendingMessages();
  ASSERT_EQ(edit->Lines()->Count(), 1);
  EXPECT_EQ(edit->Lines()->Strings(0), "新行");

  // Text without a final break: the last line keeps its place when lines are added and removed.
  edit->SetText("a\r\nb");
  edit->Lines()->Add("c");
  EXPECT_EQ(edit->Text(), "a\r\nb\r\nc\r\n");
  edit->SetText("a\r\nb");
  edit->Lines()->Delete(1);
  EXPECT_EQ(edit->Text(), "a");
  edit->Lines()->Delete(0);
  EXPECT_EQ(edit->Lines()->Count(), 0);
  // The lines survive the window being made again.
  edit->SetText("x\r\ny");
  edit->SetScrollBars(ssVertical);
  EXPECT_EQ(edit->Lines()->Text(), "x\r\ny\r\n");
}

// ---- Keys -----------------------------------------------------------------------------------

TEST_F(RichEditTest, PostedPageDownScrollsOnePageAndEscReachesTheKeyEvent) {
  for (bool readOnly : {true, false}) {
    TRichEdit* edit = Make();
    edit->SetReadOnly(readOnly);
    edit->SetScrollBars(ssVertical);
    for (int i = 0; i < 200; ++i) edit->Lines()->Add("line " + std::to_string(i));
    std::vector<WORD> keys;
    edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { keys.push_back(key); };
    edit->SetSelStart(0);   // the caret at the top, as after a load
    ProcessPendingMessages();
    QScrollBar* bar = View(edit->Handle())->verticalScrollBar();
    ASSERT_EQ(bar->value(), 0);
    ASSERT_GT(bar->pageStep(), 1);
    PostMessageA(edit->Handle(), WM_KEYDOWN, VK_NEXT, 0);
    ProcessPendingMessages();
    EXPECT_GE(bar->value(), bar->pageStep() - 1) << "read-only " << readOnly;
    EXPECT_LE(bar->value(), bar->pageStep() + 1) << "read-only " << readOnly;
    PostMessageA(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    ProcessPendingMessages();
    EXPECT_EQ(keys, (std::vector<WORD>{VK_NEXT, VK_ESCAPE}));
    TComponent::Free(edit);
    ProcessPendingMessages();
  }
}

TEST_F(RichEditTest, WantReturnsAndWantTabsDecideWhetherTheKeysType) {
  TRichEdit* edit = Make();
  edit->SetFocus();
  ProcessPendingMessages();
  Type(edit->Handle(), VK_RETURN, "\r");
  Type(edit->Handle(), VK_TAB, "\t");
  EXPECT_EQ(edit->Text(), "\r\n");   // Enter typed a break, Tab moved on

  edit->SetText("");
  edit->SetWantReturns(false);
  edit->SetWantTabs(true);
  edit->SetFocus();
  ProcessPendingMessages();
  Type(edit->Handle(), VK_RETURN, "\r");
  Type(edit->Handle(), VK_TAB, "\t");
  EXPECT_EQ(edit->Text(), "\t");
}

// ---- Look -----------------------------------------------------------------------------------

TEST_F(RichEditTest, ColourFontColourAndHiddenSelectionReachTheEditor) {
  TRichEdit* edit = Make();
  QPlainTextEdit* view = View(edit->Handle());
  edit->SetColor(clYellow);
  EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Base), QColor(255, 255, 0));
  edit->Font()->SetColor(clRed);
  EXPECT_EQ(view->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));
  EXPECT_EQ(SendMessageA(edit->Handle(), EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)), static_cast<LRESULT>(RGB(255, 255, 0)));

  // Without the focus the selection shows only with HideSelection off.
  edit->SetText("abc");
  edit->SelectAll();
  EXPECT_EQ(view->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(1, 2, 3));
  edit->SetHideSelection(false);
  EXPECT_NE(view->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(1, 2, 3));
}

}  // namespace
