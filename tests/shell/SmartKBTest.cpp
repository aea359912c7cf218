// The keyboard wizard's form driven headless: its controls, typing into the input, the hits in
// the grid, Enter and Esc and the result they leave, the grid's keys and double-click, the
// colours of the drawn rows, and the modal run (the dialog scope held, the last choice cleared).
#include "shell/SmartKB.h"

#include "ShellSettingsFixture.h"

#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "platform/DrivenClock.h"
#include "platform/Edit.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Grid.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "shell/ModalDialog.h"
#include "shell/PageList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

class SmartKBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadHotKeys();
    ClearPageList();
    settings.AddMarket("SH", "上海", {"600000", "600036", "601398"});
    Name(0, "600000", "浦发银行");
    Name(0, "600036", "招商银行");
    settings.BuildBlocks();
    ASSERT_GE(AppendPage("甲页", "..\\user\\zvpage0.ppg"), 0);
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    kb = NewForm<TSmartKB>(nullptr);
    kb->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    TComponent::Free(kb);
    ProcessPendingMessages();
    ClearPageList();
  }

  static void Name(int market, const char* code, const char* name) {
    TMarketData* table = MarketTables[market];
    const int at = table->FindCode(code);
    ASSERT_GE(at, 0) << code;
    std::snprintf(table->names[at].name, sizeof table->names[at].name, "%s", name);
  }
  void Key(TWinControl* control, int key) {
    SimulateKey(control->Handle(), key, true, 0);
    ProcessPendingMessages();
    SimulateKey(control->Handle(), key, false, 0);
    ProcessPendingMessages();
  }
  void Type(const std::string& text) {
    for (char ch : text) {
      const char one[2] = {ch, 0};
      const int key = ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch;
      SimulateKey(kb->Edit1->Handle(), key, true, 0, one);
      ProcessPendingMessages();
      SimulateKey(kb->Edit1->Handle(), key, false, 0);
      ProcessPendingMessages();
    }
  }
  // Sets the input as the message hook does: the text, the caret at its end.
  void Input(const char* text) {
    kb->Edit1->SetText(text);
    kb->Edit1->SetSelStart(static_cast<int>(std::strlen(text)));
    ProcessPendingMessages();
  }
  void Paint() {
    InvalidateRect(kb->DrawGrid1->Handle(), nullptr, TRUE);
    UpdateWindow(kb->DrawGrid1->Handle());
  }
  // Whether any pixel of the rectangle has exactly this colour.
  bool HasColour(const RECT& r, COLORREF colour) {
    HDC dc = GetDC(kb->DrawGrid1->Handle());
    bool found = false;
    for (int y = r.top; y < r.bottom && !found; ++y) {
      for (int x = r.left; x < r.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
    }
    ReleaseDC(kb->DrawGrid1->Handle(), dc);
    return found;
  }
  COLORREF Pixel(int x, int y) {
    HDC dc = GetDC(kb->DrawGrid1->Handle());
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(kb->DrawGrid1->Handle(), dc);
    return colour;
  }
  int HotKeyIndexOf(const char* typed) {
    for (int i = 0; i < kHotKeyCount; ++i) {
      if (HotKeyTable[i].keyMask == kKeyEnter && std::strcmp(HotKeyTable[i].typedKeys, typed) == 0) return i;
    }
    return -1;
  }

  zuvo::platform::ScopedDrivenClock clock;
  shelltest::ShellSettings settings;
  shelltest::ScriptedIndicatorCatalog indicators{{{"MACD", 0}, {"KDJ", 0}}};
  shelltest::ScopedIndicatorCatalog catalog{&indicators};
  zuvo::platform::ScopedScriptedModalRunner runner;
  TSmartKB* kb = nullptr;
};

TEST_F(SmartKBTest, BuildsItsInputAndGrid) {
  EXPECT_EQ(kb->Caption(), "智能键盘");
  EXPECT_EQ(kb->ClientWidth(), 151);
  EXPECT_EQ(kb->ClientHeight(), 167);
  EXPECT_EQ(kb->BorderStyle(), bsToolWindow);
  EXPECT_EQ(kb->Font()->Name(), "Tahoma");
  EXPECT_EQ(kb->Font()->Height(), -12);
  EXPECT_EQ(kb->Edit1->MaxLength(), 8);
  TDrawGrid* grid = kb->DrawGrid1;
  EXPECT_EQ(grid->ColCount(), 2);
  EXPECT_EQ(grid->FixedCols(), 0);
  EXPECT_EQ(grid->FixedRows(), 0);
  EXPECT_EQ(grid->ColWidths(0), 50);
  EXPECT_EQ(grid->ColWidths(0) + grid->ColWidths(1), grid->ClientWidth());
  EXPECT_EQ(grid->DefaultRowHeight(), 18);
  EXPECT_EQ(grid->GridLineWidth(), 0);
  EXPECT_EQ(grid->ScrollBars(), ssNone);
  EXPECT_EQ(grid->Options(), static_cast<TGridOptions>(goRowSelect));
  EXPECT_FALSE(grid->Enabled());
  EXPECT_EQ(kb->Accepted, 0);
  EXPECT_EQ(kb->Search().hitCount, 0);
}

TEST_F(SmartKBTest, TypingListsTheHitsAndNoHitLeavesABlankDisabledRow) {
  Type("pf");
  EXPECT_EQ(kb->Edit1->Text(), "pf");
  ASSERT_EQ(kb->Search().hitCount, 1);
  EXPECT_TRUE(kb->DrawGrid1->Enabled());
  EXPECT_EQ(kb->DrawGrid1->RowCount(), 1);
  EXPECT_EQ(kb->DrawGrid1->Row(), 0);

  Input("6");
  const int hits = kb->Search().hitCount;
  ASSERT_GT(hits, 3);
  EXPECT_EQ(kb->DrawGrid1->RowCount(), hits);
  // Down and Up go to the grid, the caret stays at the end of the input.
  Key(kb->Edit1, VK_DOWN);
  Key(kb->Edit1, VK_DOWN);
  EXPECT_EQ(kb->DrawGrid1->Row(), 2);
  EXPECT_EQ(kb->Edit1->SelStart(), 1);
  EXPECT_EQ(kb->Edit1->Text(), "6");
  Key(kb->Edit1, VK_UP);
  EXPECT_EQ(kb->DrawGrid1->Row(), 1);
  EXPECT_EQ(kb->Edit1->SelStart(), 1);
  Key(kb->Edit1, VK_NEXT);
  const int paged = kb->DrawGrid1->Row();
  EXPECT_GT(paged, 1);
  Key(kb->Edit1, VK_PRIOR);
  EXPECT_LT(kb->DrawGrid1->Row(), paged);
  // A new text selects the first row again.
  Key(kb->Edit1, VK_DOWN);
  ASSERT_GT(kb->DrawGrid1->Row(), 0);
  Type("0");
  EXPECT_EQ(kb->Edit1->Text(), "60");
  EXPECT_EQ(kb->DrawGrid1->RowCount(), 3);
  EXPECT_EQ(kb->DrawGrid1->Row(), 0);

  Input("QQQ");
  EXPECT_EQ(kb->Search().hitCount, 0);
  EXPECT_EQ(kb->DrawGrid1->RowCount(), 1);
  EXPECT_FALSE(kb->DrawGrid1->Enabled());
  EXPECT_EQ(kb->ActiveControl(), kb->Edit1);
  // Enter without a hit only clears the input; the window stays.
  Key(kb->Edit1, VK_RETURN);
  EXPECT_EQ(kb->Edit1->Text(), "");
  EXPECT_EQ(kb->Accepted, 0);
  EXPECT_EQ(kb->ModalResult(), mrNone);
}

TEST_F(SmartKBTest, EnterTakesTheSelectedHitAndEscCancels) {
  struct Case {
    const char* text;
    int down;         // rows moved down before Enter
    int hitKind;
    int resultKind;
  } cases[] = {
      {"61", 0, kSmartKBHitCommand, kSmartKBResultCommand},
      {"mac", 0, kSmartKBHitFormula, kSmartKBResultAttr},
      {".1", 0, kSmartKBHitPage, kSmartKBResultPage},
      {".", 1, kSmartKBHitPage, kSmartKBResultPage},
      {"pf", 0, kSmartKBHitInstrument, kSmartKBResultAttr},
      {"60003", 0, kSmartKBHitInstrument, kSmartKBResultAttr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    kb->SetModalResult(mrNone);
    kb->Accepted = 0;
    kb->ResultAttr = VIEW_ATTR_12();
    kb->ResultAttr.kind = VIEW_KLINE;
    Input(c.text);
    for (int i = 0; i < c.down; ++i) Key(kb->Edit1, VK_DOWN);
    Key(kb->Edit1, VK_RETURN);
    EXPECT_EQ(kb->Accepted, 1);
    EXPECT_EQ(kb->ModalResult(), mrOk);
    EXPECT_EQ(kb->HitKind, c.hitKind);
    EXPECT_EQ(kb->ResultKind, c.resultKind);
    EXPECT_EQ(kb->Edit1->Text(), "") << "every Enter clears the input";
    EXPECT_EQ(kb->ResultAttr.kind, VIEW_KLINE) << "the caller's view kind stays";
    switch (c.hitKind) {
      case kSmartKBHitCommand:
        EXPECT_EQ(kb->ResultIndex, HotKeyIndexOf("61"));
        break;
      case kSmartKBHitFormula:
        EXPECT_STREQ(kb->ResultAttr.paneIndicators[0], "MACD");
        break;
      case kSmartKBHitPage:
        EXPECT_EQ(kb->ResultIndex, 1) << "'.' lists page 0, then page 1";
        break;
      default: {
        const int index = MarketTables[0]->FindCode(c.text[0] == 'p' ? "600000" : "600036");
        EXPECT_EQ(kb->ResultAttr.instrument.market, 0);
        EXPECT_EQ(kb->ResultAttr.instrument.index, index);
        EXPECT_EQ(kb->ResultAttr.instrument.category, MarketTables[0]->GetCategory(index));
        break;
      }
    }
  }
  Input("pf");
  Key(kb->Edit1, VK_ESCAPE);
  EXPECT_EQ(kb->Accepted, 0);
  EXPECT_EQ(kb->ModalResult(), mrCancel);
}

TEST_F(SmartKBTest, GridPassesCharactersToTheInputAndDoubleClickTakesTheRow) {
  Input("p");
  char key = 'f';
  kb->DrawGrid1KeyPress(kb->DrawGrid1, key);
  ProcessPendingMessages();
  EXPECT_EQ(key, 0);
  EXPECT_EQ(kb->Edit1->Text(), "pf");
  ASSERT_EQ(kb->Search().hitCount, 1);

  // A character typed while the grid has the focus.
  kb->DrawGrid1->SetFocus();
  ProcessPendingMessages();
  Input("p");
  kb->DrawGrid1->SetFocus();
  ProcessPendingMessages();
  const char one[2] = {'f', 0};
  SimulateKey(kb->DrawGrid1->Handle(), 'F', true, 0, one);
  SimulateKey(kb->DrawGrid1->Handle(), 'F', false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(kb->Edit1->Text(), "pf");

  kb->DrawGrid1DblClick(kb->DrawGrid1);
  EXPECT_EQ(kb->Accepted, 1);
  EXPECT_EQ(kb->HitKind, kSmartKBHitInstrument);

  // Disabled (nothing to choose): a double-click does nothing.
  kb->Accepted = 0;
  kb->SetModalResult(mrNone);
  Input("QQQ");
  kb->DrawGrid1DblClick(kb->DrawGrid1);
  EXPECT_EQ(kb->Accepted, 0);
  EXPECT_EQ(kb->Edit1->Text(), "QQQ");
}

TEST_F(SmartKBTest, RowsAreDrawnInTheColoursOfTheirKinds) {
  const COLORREF grey = RGB(128, 128, 128);
  const COLORREF yellow = RGB(255, 255, 0);
  const COLORREF white = RGB(255, 255, 255);
  const COLORREF black = RGB(0, 0, 0);
  const COLORREF red = RGB(255, 0, 0);
  const COLORREF blue = RGB(0, 0, 255);
  const COLORREF green = RGB(0, 128, 0);
  // Rows below the first (selected) one: "6" the commands typed 6..., "M" the command typed M
  // then the formula MACD, "60" the instruments 600000, 600036, 601398.
  struct Case {
    const char* text;
    int row;
    int kind;
    COLORREF second;   // the second column's text when not selected
  } cases[] = {{"6", 1, kSmartKBHitCommand, red},
               {"M", 1, kSmartKBHitFormula, green},
               {"60", 1, kSmartKBHitInstrument, blue}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Input(c.text);
    const int row = c.row;
    ASSERT_LT(row, kb->Search().hitCount);
    ASSERT_EQ(kb->Search().hits[row].kind, c.kind);
    Paint();
    const TRect first = kb->DrawGrid1->CellRect(0, row);
    const TRect second = kb->DrawGrid1->CellRect(1, row);
    ASSERT_FALSE(first.right <= first.left);
    EXPECT_EQ(Pixel(second.right - 2, second.bottom - 1), white);
    EXPECT_TRUE(HasColour(first, black));
    EXPECT_FALSE(HasColour(first, c.second));
    EXPECT_TRUE(HasColour(second, c.second));
    EXPECT_FALSE(HasColour(second, black));
    // Selected: grey with yellow text in both columns.
    kb->DrawGrid1->SetRow(row);
    Paint();
    EXPECT_EQ(Pixel(second.right - 2, second.bottom - 1), grey);
    EXPECT_TRUE(HasColour(first, yellow));
    EXPECT_TRUE(HasColour(second, yellow));
    EXPECT_FALSE(HasColour(second, c.second));
  }
  // No hit: one blank white row.
  Input("QQQ");
  Paint();
  const TRect blank = kb->DrawGrid1->CellRect(1, 0);
  EXPECT_FALSE(HasColour(blank, black));
}

TEST_F(SmartKBTest, ModalRunHoldsTheDialogScopeAndForgetsTheLastChoice) {
  TForm* owner = NewForm<TForm>(nullptr);
  owner->Show();
  TSmartKB* wizard = NewForm<TSmartKB>(owner);
  wizard->Accepted = 1;   // left from an earlier run
  bool modal = false;
  runner->Add("TSmartKB", [&](TForm& form) {
    modal = ModalDialogOpen();
    auto& w = static_cast<TSmartKB&>(form);
    EXPECT_EQ(w.Accepted, 0);
    w.Edit1->SetText("p");
    w.Edit1->SetSelStart(1);
    ProcessPendingMessages();
    SimulateKey(w.Edit1->Handle(), 'F', true, 0, "f");
    SimulateKey(w.Edit1->Handle(), 'F', false, 0);
    SimulateKey(w.Edit1->Handle(), VK_RETURN, true, 0);
    SimulateKey(w.Edit1->Handle(), VK_RETURN, false, 0);
    ProcessPendingMessages();
  });
  EXPECT_EQ(wizard->ShowModal(), mrOk);
  EXPECT_TRUE(modal);
  EXPECT_FALSE(ModalDialogOpen());
  EXPECT_EQ(wizard->Accepted, 1);
  EXPECT_EQ(wizard->HitKind, kSmartKBHitInstrument);

  runner->Add("TSmartKB", [&](TForm& form) {
    SimulateKey(static_cast<TSmartKB&>(form).Edit1->Handle(), VK_ESCAPE, true, 0);
    ProcessPendingMessages();
  });
  EXPECT_EQ(wizard->ShowModal(), mrCancel);
  EXPECT_EQ(wizard->Accepted, 0);
  TComponent::Free(owner);
  ProcessPendingMessages();
}

}  // namespace
