// Edit controls: the raw "EDIT" class over a Qt edit, and TEdit / TMemo over it. Input takes the
// real path (Qt event -> our queue -> the window's chain -> the Qt widget).
#include "platform/Clipboard.h"
#include "platform/Edit.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Sound.h"
#include "platform/WinUser.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include "LoggingWindowProc.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QInputMethodEvent>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using zuvo::platform::InMemoryClipboard;
using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedInMemoryClipboard;
using zuvo::platform::ScopedRecordedBeeps;
using zuvo::platform::SimulateCommittedText;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

std::string TextOf(HWND w) {
  const int length = GetWindowTextLengthA(w);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(w, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(0, copied)));
  return text;
}

std::pair<DWORD, DWORD> SelOf(HWND w) {
  DWORD start = 0, end = 0;
  SendMessageA(w, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

// Text committed by an input method, straight as Qt delivers it (it may hold characters GBK
// lacks, which SimulateCommittedText cannot carry).
void CommitUnicode(HWND window, const QString& text) {
  auto w = zuvo::platform::win::Find(window);
  ASSERT_TRUE(w);
  QWidget* target = w->widget;
  if (auto* wrapped = zuvo::platform::win::WrappedOf(window)) target = wrapped->KeyWidget();
  QInputMethodEvent event;
  event.setCommitString(text);
  QCoreApplication::sendEvent(target, &event);
}

class EditTest : public testing::Test {
 public:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    Application->OnMessage = nullptr;
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  HWND Raw(DWORD style, const char* text = "", int width = 160) {
    HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", text, WS_CHILD | WS_VISIBLE | style, 10, 10, width, 24,
                                form_->Handle(), reinterpret_cast<HMENU>(7), nullptr, nullptr);
    EXPECT_NE(edit, nullptr);
    SetFocus(edit);
    ProcessPendingMessages();
    return edit;
  }
  template <class Edit = TEdit>
  Edit* Make() {
    auto* edit = new Edit(form_);
    edit->SetBounds(10, 40, 200, 24);
    edit->SetParent(form_);
    edit->SetFocus();
    ProcessPendingMessages();
    return edit;
  }
  // Each character typed as a keyboard gives it: its key and its GBK character.
  static void Type(HWND w, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      std::string one(1, text[i]);
      if (c >= 0x81 && i + 1 < text.size()) one += text[++i];
      int key = 0;   // punctuation and Chinese characters: the text alone
      if (c >= 'a' && c <= 'z') key = c - 'a' + 'A';
      if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) key = c;
      SimulateKey(w, key, true, 0, one.c_str());
      SimulateKey(w, key, false, 0);
      ProcessPendingMessages();
    }
  }
  static void Control(HWND w, char letter, UINT mods = MK_CONTROL) {
    const char code[2] = {static_cast<char>(letter - 'A' + 1), 0};
    SimulateKey(w, letter, true, mods, code);
    SimulateKey(w, letter, false, mods);
    ProcessPendingMessages();
  }
  static void Key(HWND w, int key, UINT mods = 0) {
    SimulateKey(w, key, true, mods);
    SimulateKey(w, key, false, mods);
    ProcessPendingMessages();
  }

 protected:
  TForm* form_ = nullptr;
};

// ---- The input chain -----------------------------------------------------------------------------

WNDPROC g_editProc = nullptr;
// The price filter's way: digits, Backspace and one '.' reach the edit; every other character,
// control characters (the clipboard shortcuts) included, is dropped with result 0.
LRESULT PriceFilter(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_CHAR) {
    const bool digit = wp >= '0' && wp <= '9';
    const bool point = wp == '.' && TextOf(w).find('.') == std::string::npos;
    if (!digit && !point && wp != 8) return 0;
  }
  return CallWindowProcA(g_editProc, w, m, wp, lp);
}

TEST_F(EditTest, KeysCharactersAndClicksReachTheQtEditThroughTheChain) {
  ScopedInMemoryClipboard clipboard;
  HWND edit = Raw(0);
  Type(edit, "a1");
  EXPECT_EQ(TextOf(edit), "a1");
  Key(edit, VK_LEFT);
  Type(edit, "b");
  EXPECT_EQ(TextOf(edit), "ab1");
  Key(edit, VK_END);
  SimulateKey(edit, VK_BACK, true, 0, "\b");
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "ab");
  // A click places the caret: at the start, before the first character.
  SimulateMouse(edit, WM_LBUTTONDOWN, 1, 5, MK_LBUTTON);
  SimulateMouse(edit, WM_LBUTTONUP, 1, 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(SelOf(edit), std::make_pair(DWORD{0}, DWORD{0}));

  // A window procedure that drops characters stops them before Qt, control characters too: the
  // price filter's Ctrl+V pastes nothing, while Shift+Insert (a key, not a character) pastes.
  SetWindowTextA(edit, "");
  g_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&PriceFilter)));
  Type(edit, "1a.2-.5");
  EXPECT_EQ(TextOf(edit), "1.25");
  clipboard->SetText(u"9");
  Control(edit, 'V');
  EXPECT_EQ(TextOf(edit), "1.25");
  Key(edit, VK_INSERT, MK_SHIFT);
  EXPECT_EQ(TextOf(edit), "1.259");
}

TEST_F(EditTest, OnKeyPressAndTheApplicationHookDropInputBeforeTheEdit) {
  TEdit* edit = Make();
  std::string pressed;
  edit->OnKeyPress = [&](TObject*, char& key) {
    pressed += key;
    if (key == 'x') key = 0;
  };
  Type(edit->Handle(), "axb");
  EXPECT_EQ(edit->Text(), "ab");
  EXPECT_EQ(pressed, "axb");
  // The application's hook sees the queued key first: swallowing the key down and its character
  // leaves the edit untouched (and OnKeyPress never sees it).
  Application->OnMessage = [](MSG& msg, bool& handled) {
    if ((msg.message == WM_KEYDOWN || msg.message == WM_CHAR) && (msg.wParam == 'Q' || msg.wParam == 'q')) handled = true;
  };
  Type(edit->Handle(), "qc");
  EXPECT_EQ(edit->Text(), "abc");
  EXPECT_EQ(pressed, "axbc");
}

TEST_F(EditTest, DoubleByteCharactersArrivePairedAndBrokenPairsAreDropped) {
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;   // posted WM_CHAR, in order
    std::string text;
  } cases[] = {
      {"lead then trail: one character", {0xD6, 0xD0}, "中"},
      {"two characters", {0xD6, 0xD0, 0xCE, 0xC4}, "中文"},
      {"a lead byte before a byte no trail byte can be is dropped", {0xD6, '1'}, "1"},
      {"a lead byte before a control character", {0xD6, 0x08, 'B'}, "B"},
      {"a trail byte alone is dropped", {0x80, 'C', 0xFF}, "C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND edit = Raw(0);
    for (unsigned char byte : c.bytes) PostMessageA(edit, WM_CHAR, byte, 1);
    ProcessPendingMessages();
    EXPECT_EQ(TextOf(edit), c.text);
    DestroyWindow(edit);
  }
}

TEST_F(EditTest, InputMethodTextArrivesAsCharactersThroughKeyPress) {
  TEdit* edit = Make();
  std::vector<unsigned char> pressed;
  edit->OnKeyPress = [&](TObject*, char& key) { pressed.push_back(static_cast<unsigned char>(key)); };
  SimulateCommittedText(edit->Handle(), "价格A");
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "价格A");
  const std::string gbk = "价格A";
  EXPECT_EQ(pressed, std::vector<unsigned char>(gbk.begin(), gbk.end()));
}

TEST_F(EditTest, CharactersOutsideGbkAreRefusedWithABeepInAnEditAndInAnOwnWindow) {
  ScopedRecordedBeeps beeps;
  TEdit* edit = Make();
  for (const QString& outside : {QString::fromUcs4(U"\U0001F600"), QString(QChar(0x0E01))}) {
    CommitUnicode(edit->Handle(), outside);
    ProcessPendingMessages();
  }
  CommitUnicode(edit->Handle(), QString::fromUcs4(U"a\U0001F600b"));
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "ab");   // never '?'
  EXPECT_EQ(beeps->Beeps().size(), 3u);

  // A plain window of ours (no Qt widget inside): no WM_CHAR comes, and the beep sounds.
  WNDCLASSA wc{};
  wc.lpfnWndProc = platformtest::LoggingWindowProc;
  wc.lpszClassName = "EditTestPlain";
  RegisterClassA(&wc);
  HWND plain = CreateWindowExA(0, "EditTestPlain", "", WS_CHILD | WS_VISIBLE, 0, 100, 50, 50, form_->Handle(), nullptr,
                               nullptr, nullptr);
  SetFocus(plain);
  ProcessPendingMessages();
  platformtest::messageLog.clear();
  CommitUnicode(plain, QString::fromUcs4(U"\U0001F600"));
  CommitUnicode(plain, QString(QChar(0x0E01)));
  ProcessPendingMessages();
  for (const auto& m : platformtest::messageLog) EXPECT_NE(m.message, WM_CHAR);
  EXPECT_EQ(beeps->Beeps().size(), 5u);
  DestroyWindow(plain);
}

// ---- Limits -------------------------------------------------------------------------------------

TEST_F(EditTest, MaxLengthCountsGbkBytes) {
  struct Case {
    const char* name;
    std::vector<std::string> typed;   // each committed as one input method text
    std::string text;
    std::size_t beeps;
  } cases[] = {
      {"five Chinese characters and one ASCII character fit 11 bytes",
       {"a", "密", "码", "长", "度", "够"}, "a密码长度够", 0},
      {"a sixth Chinese character is refused", {"密", "码", "长", "度", "够", "了"}, "密码长度够", 1},
      {"after 10 bytes one byte is left: ASCII fits", {"密", "码", "长", "度", "够", "b", "c"}, "密码长度够b", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedRecordedBeeps beeps;
    TEdit* edit = Make();
    edit->SetMaxLength(11);
    edit->SetPasswordChar('*');
    for (const std::string& t : c.typed) {
      SimulateCommittedText(edit->Handle(), t.c_str());
      ProcessPendingMessages();
    }
    EXPECT_EQ(edit->Text(), c.text);
    EXPECT_EQ(beeps->Beeps().size(), c.beeps);
    TComponent::Free(edit);
  }
}

TEST_F(EditTest, LimitNotificationsAndWhatPassesTheLimit) {
  ScopedInMemoryClipboard clipboard;
  ScopedRecordedBeeps beeps;
  HWND parent = form_->Handle();
  std::vector<WORD> codes;
  WNDPROC formProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(parent, GWL_WNDPROC));
  static std::vector<WORD>* log = nullptr;
  static WNDPROC previous = nullptr;
  log = &codes;
  previous = formProc;
  SetWindowLongPtrA(parent, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
                      if (m == WM_COMMAND && LOWORD(wp) == 7) log->push_back(HIWORD(wp));
                      return CallWindowProcA(previous, w, m, wp, lp);
                    }));
  HWND edit = Raw(ES_AUTOHSCROLL);
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 30000);
  SendMessageA(edit, EM_LIMITTEXT, 0, 0);
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
  SendMessageA(edit, EM_LIMITTEXT, 4, 0);
  codes.clear();
  SetWindowTextA(edit, "长长的文本");   // setting text passes the limit
  EXPECT_EQ(TextOf(edit), "长长的文本");
  EXPECT_EQ(codes, std::vector<WORD>{EN_CHANGE});
  SetWindowTextA(edit, "");
  codes.clear();
  // Pasted text keeps the whole characters that fit.
  clipboard->SetText(u"\u4E2Dab\u6587");
  SendMessageA(edit, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(edit), "中ab");
  EXPECT_EQ(codes, (std::vector<WORD>{EN_MAXTEXT, EN_CHANGE}));
  EXPECT_EQ(beeps->Beeps().size(), 1u);
  // EM_REPLACESEL likewise, without a beep.
  SendMessageA(edit, EM_SETSEL, 0, 2);
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("xyz"));
  EXPECT_EQ(TextOf(edit), "xyab");
  EXPECT_EQ(beeps->Beeps().size(), 1u);
  // Focus coming and going is told too.
  codes.clear();
  SetFocus(parent);
  SetFocus(edit);
  EXPECT_EQ(codes, (std::vector<WORD>{EN_KILLFOCUS, EN_SETFOCUS}));
  DestroyWindow(edit);
  SetWindowLongPtrA(parent, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(formProc));
}

TEST_F(EditTest, NumberEditsTakeOnlyDigitsAndNarrowEditsWithoutAutoScrollStopWhenFull) {
  ScopedInMemoryClipboard clipboard;
  ScopedRecordedBeeps beeps;
  HWND number = Raw(ES_NUMBER | ES_AUTOHSCROLL);
  Type(number, "1a2-");
  EXPECT_EQ(TextOf(number), "12");
  EXPECT_EQ(beeps->Beeps().size(), 2u);
  clipboard->SetText(u"3x");
  SendMessageA(number, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(number), "12");
  clipboard->SetText(u"34");
  SendMessageA(number, WM_PASTE, 0, 0);
  EXPECT_EQ(TextOf(number), "1234");
  DestroyWindow(number);

  HWND narrow = Raw(0, "", 40);
  for (int i = 0; i < 30; ++i) Type(narrow, "w");
  const std::string kept = TextOf(narrow);
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LT(kept.size(), 30u);
  HWND wide = Raw(ES_AUTOHSCROLL, "", 40);
  for (int i = 0; i < 30; ++i) Type(wide, "w");
  EXPECT_EQ(TextOf(wide).size(), 30u);
}

// ---- Messages -------------------------------------------------------------------------------

TEST_F(EditTest, SelectionPositionsCountGbkBytes) {
  HWND edit = Raw(ES_AUTOHSCROLL, "ab中文cd");
  struct Case {
    int start, end;
    DWORD from, to;
  } cases[] = {
      {2, 4, 2, 4},        // 中
      {3, 5, 2, 4},        // inside a character: its start
      {0, -1, 0, 8},       // all
      {6, 2, 2, 6},        // backwards
      {100, 200, 8, 8},    // beyond the text: its end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + "," + std::to_string(c.end));
    SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(c.start), c.end);
    EXPECT_EQ(SelOf(edit), std::make_pair(c.from, c.to));
  }
  SendMessageA(edit, EM_SETSEL, 2, 4);
  EXPECT_EQ(SendMessageA(edit, EM_GETSEL, 0, 0), MAKELONG(2, 4));
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);   // deselects
  const auto [from, to] = SelOf(edit);
  EXPECT_EQ(from, to);
  SendMessageA(edit, EM_SETSEL, 4, 6);
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("字"));
  EXPECT_EQ(TextOf(edit), "ab中字cd");
  EXPECT_EQ(SelOf(edit), std::make_pair(DWORD{6}, DWORD{6}));

  // A memo counts CR LF as two.
  HWND memo = CreateWindowExA(0, "EDIT", "一\r\nxy", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 60, 100, 60,
                              form_->Handle(), nullptr, nullptr, nullptr);
  EXPECT_EQ(TextOf(memo), "一\r\nxy");
  EXPECT_EQ(GetWindowTextLengthA(memo), 6);
  SendMessageA(memo, EM_SETSEL, 4, 5);
  char buffer[8] = {};
  SendMessageA(memo, EM_GETSEL, 0, 0);
  EXPECT_EQ(SelOf(memo), std::make_pair(DWORD{4}, DWORD{5}));
  EXPECT_EQ(SendMessageA(memo, EM_LINEINDEX, 1, 0), 4);
  EXPECT_EQ(SendMessageA(memo, EM_LINEINDEX, 2, 0), -1);
  EXPECT_EQ(SendMessageA(memo, EM_LINEFROMCHAR, 5, 0), 1);
  EXPECT_EQ(SendMessageA(memo, EM_LINELENGTH, 0, 0), 2);
  *reinterpret_cast<WORD*>(buffer) = sizeof buffer;
  EXPECT_EQ(SendMessageA(memo, EM_GETLINE, 1, reinterpret_cast<LPARAM>(buffer)), 2);
  EXPECT_EQ(std::string(buffer, 2), "xy");
  // A null or empty buffer gives 0.
  EXPECT_EQ(SendMessageA(memo, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
  EXPECT_EQ(SendMessageA(memo, WM_GETTEXT, 8, 0), 0);
  // A short buffer never ends inside a double-byte character.
  EXPECT_EQ(SendMessageA(memo, WM_GETTEXT, 2, reinterpret_cast<LPARAM>(buffer)), 0);
  EXPECT_EQ(SendMessageA(memo, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(buffer)), 2);
}

TEST_F(EditTest, LineCountsDialogCodesMarginsAndReadOnly) {
  HWND edit = Raw(ES_AUTOHSCROLL, "one");
  HWND memo = CreateWindowExA(0, "EDIT", "a\r\nb\r\nc", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 60, 100, 60,
                              form_->Handle(), nullptr, nullptr, nullptr);
  HWND empty = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 130, 100, 60,
                               form_->Handle(), nullptr, nullptr, nullptr);
  EXPECT_EQ(SendMessageA(edit, EM_GETLINECOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(memo, EM_GETLINECOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(empty, EM_GETLINECOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(edit, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS);
  EXPECT_EQ(SendMessageA(memo, WM_GETDLGCODE, 0, 0),
            DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | DLGC_WANTALLKEYS);

  SendMessageA(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(1, 1));
  EXPECT_EQ(SendMessageA(edit, EM_GETMARGINS, 0, 0), MAKELONG(1, 1));
  SendMessageA(edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(9, 5));
  EXPECT_EQ(SendMessageA(edit, EM_GETMARGINS, 0, 0), MAKELONG(1, 5));

  // Read-only: the user cannot change the text; code still can.
  SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
  EXPECT_NE(GetWindowLongA(edit, GWL_STYLE) & ES_READONLY, 0);
  Key(edit, VK_END);
  Type(edit, "x");
  SimulateKey(edit, VK_BACK, true, 0, "\b");
  ProcessPendingMessages();
  EXPECT_EQ(TextOf(edit), "one");
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("!"));
  EXPECT_EQ(TextOf(edit), "one!");
  SendMessageA(edit, EM_SETREADONLY, FALSE, 0);
  EXPECT_EQ(GetWindowLongA(edit, GWL_STYLE) & ES_READONLY, 0);
  Type(edit, "x");
  EXPECT_EQ(TextOf(edit), "one!x");
}

TEST_F(EditTest, UndoModifiedAndTheSetTextReset) {
  HWND edit = Raw(ES_AUTOHSCROLL, "start");
  EXPECT_EQ(SendMessageA(edit, EM_CANUNDO, 0, 0), FALSE);
  EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), FALSE);
  Key(edit, VK_END);
  Type(edit, "ed");
  EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), TRUE);
  EXPECT_EQ(SendMessageA(edit, EM_CANUNDO, 0, 0), TRUE);
  Control(edit, 'Z');
  EXPECT_EQ(TextOf(edit).substr(0, 5), "start");
  EXPECT_LT(TextOf(edit).size(), 7u);
  SetWindowTextA(edit, "fresh");
  EXPECT_EQ(SendMessageA(edit, EM_CANUNDO, 0, 0), FALSE);
  EXPECT_EQ(SendMessageA(edit, EM_GETMODIFY, 0, 0), FALSE);
  EXPECT_EQ(SelOf(edit), std::make_pair(DWORD{0}, DWORD{0}));   // the caret at the start
}

// ---- Clipboard --------------------------------------------------------------------------------------

TEST_F(EditTest, ClipboardRoundTripOfGbkTextAndRefusals) {
  ScopedInMemoryClipboard clipboard;
  ScopedRecordedBeeps beeps;
  TEdit* source = Make();
  source->SetText("价格abc");
  source->SetSelStart(0);
  source->SetSelLength(4);
  EXPECT_EQ(source->SelText(), "价格");
  source->CopyToClipboard();
  EXPECT_EQ(Clipboard()->AsText(), "价格");
  EXPECT_EQ(*clipboard->Text(), u"\u4EF7\u683C");

  TEdit* target = Make();
  target->SetTop(80);
  target->SetText("x");
  target->SetSelStart(1);
  Control(target->Handle(), 'V');   // Ctrl+V, as the keyboard gives it
  EXPECT_EQ(target->Text(), "x价格");
  target->SelectAll();
  target->CutToClipboard();
  EXPECT_EQ(target->Text(), "");
  EXPECT_EQ(Clipboard()->AsText(), "x价格");
  // Text GBK cannot hold is refused whole, with a beep.
  clipboard->SetText(u"a\U0001F600b");
  target->PasteFromClipboard();
  EXPECT_EQ(target->Text(), "");
  EXPECT_EQ(beeps->Beeps().size(), 1u);
  // Data that is no text pastes nothing.
  clipboard->SetNonText();
  target->PasteFromClipboard();
  EXPECT_EQ(target->Text(), "");
  // A password is never copied; a single line takes a pasted text up to its first line break.
  clipboard->SetText(u"keep");
  target->SetPasswordChar('*');
  target->SetText("secret");
  target->SelectAll();
  target->CopyToClipboard();
  Control(target->Handle(), 'C');
  EXPECT_EQ(*clipboard->Text(), u"keep");
  EXPECT_EQ(SendMessageA(target->Handle(), EM_GETPASSWORDCHAR, 0, 0), '*');
  clipboard->SetText(u"one\r\ntwo");
  target->Clear();
  target->PasteFromClipboard();
  EXPECT_EQ(target->Text(), "one");
}

// ---- The class library's controls ------------------------------------------------------------

TEST_F(EditTest, EditEventsPropertiesBeforeTheWindowAndAutoSelect) {
  auto* edit = new TEdit(form_);
  edit->SetText("早");
  edit->SetMaxLength(3);
  edit->SetReadOnly(true);
  int changes = 0;
  std::vector<std::string> events;
  edit->OnChange = [&](TObject*) { ++changes; };
  edit->OnEnter = [&](TObject*) { events.push_back("enter"); };
  edit->OnExit = [&](TObject*) { events.push_back("exit"); };
  edit->SetBounds(10, 10, 120, 24);
  edit->SetParent(form_);
  EXPECT_EQ(SendMessageA(edit->Handle(), EM_GETLIMITTEXT, 0, 0), 3);
  EXPECT_NE(GetWindowLongA(edit->Handle(), GWL_STYLE) & ES_READONLY, 0);
  EXPECT_EQ(GetWindowLongA(edit->Handle(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE);
  EXPECT_EQ(edit->Text(), "早");
  EXPECT_EQ(changes, 0);
  edit->SetReadOnly(false);
  edit->SetFocus();   // by code, not a click: the text is selected
  ProcessPendingMessages();
  EXPECT_EQ(edit->SelLength(), 2);
  Type(edit->Handle(), "a");
  EXPECT_EQ(edit->Text(), "a");
  EXPECT_TRUE(edit->Modified());
  EXPECT_EQ(changes, 1);
  edit->SetText("bc");   // code changes raise OnChange too
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(edit->Modified());
  edit->SetSelStart(1);
  edit->SetSelText("中");   // 2 bytes more would pass the limit of 3: nothing fits
  EXPECT_EQ(edit->Text(), "bc");
  form_->SetFocus();
  ProcessPendingMessages();
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "exit"}));
}

TEST_F(EditTest, MemoLinesAreLiveAndKeysFollowWantReturnsAndWantTabs) {
  auto* memo = new TMemo(form_);
  memo->Lines()->Add("first");
  memo->Lines()->Add("第二");
  memo->SetBounds(10, 10, 200, 100);
  memo->SetParent(form_);
  EXPECT_EQ(memo->Text(), "first\r\n第二\r\n");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(SendMessageA(memo->Handle(), EM_GETLINECOUNT, 0, 0), 3);   // the empty last line counts
  memo->Lines()->Insert(1, "mid");
  memo->Lines()->Delete(0);
  EXPECT_EQ(memo->Lines()->Text(), "mid\r\n第二\r\n");
  EXPECT_THROW(memo->Lines()->Get(2), EStringListError);
  memo->Lines()->SetText("x\ny\nz");
  EXPECT_EQ(memo->Lines()->Count(), 3);
  EXPECT_EQ(memo->Lines()->Strings(2), "z");

  // Typing changes the lines: Enter breaks a line (WantReturns), Tab leaves for the form.
  memo->Lines()->Clear();
  memo->SetFocus();
  ProcessPendingMessages();
  Type(memo->Handle(), "ab");
  SimulateKey(memo->Handle(), VK_RETURN, true, 0, "\r");
  SimulateKey(memo->Handle(), VK_RETURN, false, 0);
  ProcessPendingMessages();
  Type(memo->Handle(), "c");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Lines()->Strings(1), "c");
  EXPECT_EQ(memo->SelStart(), 5);   // "ab" CR LF "c"
  auto* next = new TEdit(form_);
  next->SetTop(150);
  next->SetParent(form_);
  SimulateKey(memo->Handle(), VK_TAB, true, 0, "\t");
  SimulateKey(memo->Handle(), VK_TAB, false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(memo->Text(), "ab\r\nc");
  EXPECT_EQ(GetFocus(), next->Handle());

  // Word wrap and scroll bars remake the window and keep the text.
  memo->SetWordWrap(false);
  memo->SetScrollBars(ssBoth);
  EXPECT_EQ(memo->Text(), "ab\r\nc");
  const DWORD style = static_cast<DWORD>(GetWindowLongA(memo->Handle(), GWL_STYLE));
  EXPECT_EQ(style & (WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_MULTILINE),
            WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL | ES_MULTILINE);
}

// ---- Painting -------------------------------------------------------------------------------------

// A flat edit of the widget package's kind: after the default painting it draws over the edit.
class MarkedEdit : public TEdit {
 public:
  using TEdit::TEdit;
  void WndProc(TMessage& message) override {
    TEdit::WndProc(message);
    if (message.Msg != WM_PAINT) return;
    HDC dc = GetDC(Handle());
    RECT mark{ClientWidth() - 12, 2, ClientWidth() - 2, 12};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &mark, red);
    DeleteObject(red);
    ReleaseDC(Handle(), dc);
  }
};

TEST_F(EditTest, AnOverlayPaintedOverTheEditShowsOverQtsPainting) {
  auto* edit = new MarkedEdit(form_);
  edit->SetBounds(20, 20, 160, 30);
  edit->SetColor(RGB(255, 255, 192));
  edit->SetParent(form_);
  edit->SetText("WWWW");
  ProcessPendingMessages();
  auto top = zuvo::platform::win::Find(form_->Handle());
  ASSERT_TRUE(top);
  const QImage shown = top->widget->grab().toImage();
  if (const char* file = std::getenv("ZUVO_SCREENSHOT")) shown.save(file);
  const int left = 20 + 2, topEdge = 20 + 2;   // the client area inside the sunken edge
  const int width = edit->ClientWidth();
  // The mark, drawn by our GDI over the widget.
  EXPECT_EQ(shown.pixelColor(left + width - 7, topEdge + 7), QColor(255, 0, 0));
  // Beside it Qt's painting shows through: the edit's colour from its parent, and its text.
  EXPECT_EQ(shown.pixelColor(left + width - 20, topEdge + 20), QColor(255, 255, 192));
  int dark = 0;
  for (int x = left; x < left + 60; ++x) {
    for (int y = topEdge; y < topEdge + edit->ClientHeight(); ++y) {
      if (shown.pixelColor(x, y).lightness() < 100) ++dark;
    }
  }
  EXPECT_GT(dark, 10);
}

}  // namespace
