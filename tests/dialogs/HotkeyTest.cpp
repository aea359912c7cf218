// The hot-key help box: its memo of default keys, the editor button, hiding, and the main
// window's toggle that keeps one box.
#include "dialogs/Hotkey.h"

#include "SmallDialogFixture.h"
#include "platform/Button.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpmemo.h"

namespace {

using dialogtest::SmallDialogTest;

using HotkeyHelpTest = SmallDialogTest;

TEST_F(HotkeyHelpTest, MemoListsTheDefaultKeysInAPaddedColumn) {
  const std::vector<std::string> lines = Thotkeydlg::MemoLines();
  ASSERT_EQ(lines.size(), 2u + 36u);
  EXPECT_EQ(lines[0], "系统默认快捷键");
  EXPECT_EQ(lines[1], "");
  // The command column starts at one place, 4 blanks after the longest keys ("Shift + ← 和 →",
  // 16 bytes in GBK).
  const std::size_t column = 20;
  struct Row {
    int index;
    const char* keys;
    const char* command;
  };
  const Row rows[] = {
      {2, "ESC", "后退"},
      {3, "F1 或 01", "成交明细列表"},
      {14, "0", "闪电图"},
      {20, "Shift + ← 和 →", "闪电图、技术分析图向左、右移动半屏"},
      {37, "Ctrl+P", "全屏显示"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    const std::string keys = row.keys;
    EXPECT_EQ(lines[row.index], keys + std::string(column - keys.size(), ' ') + row.command);
  }
  for (std::size_t i = 2; i < lines.size(); ++i) {
    EXPECT_NE(lines[i][column], ' ') << i;
    EXPECT_EQ(lines[i][column - 1], ' ') << i;
  }

  auto* box = NewForm<Thotkeydlg>(owner);
  EXPECT_EQ(box->Caption(), "快捷键说明");
  EXPECT_EQ(box->FormStyle(), fsStayOnTop);
  EXPECT_TRUE(box->XPMemo1->ReadOnly());
  EXPECT_FALSE(box->XPMemo1->WordWrap());
  EXPECT_EQ(box->XPMemo1->ScrollBars(), ssBoth);
  EXPECT_EQ(box->XPMemo1->Lines()->Count(), static_cast<int>(lines.size()));
  EXPECT_EQ(box->XPMemo1->Lines()->Get(20), lines[20]);
  EXPECT_TRUE(box->Button1->Default());
  EXPECT_TRUE(box->Button1->Cancel());
  TComponent::Free(box);
}

TEST_F(HotkeyHelpTest, ToggleShowsOneBoxAndTheSecondTimeFreesIt) {
  Thotkeydlg* box = nullptr;
  int edits = 0;
  ToggleHotkeyDlg(box, owner, [&] { ++edits; });
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->Visible());
  EXPECT_FALSE(box->Modal());
  EXPECT_EQ(box->Owner(), owner);
  box->XPButton1->Click();
  EXPECT_EQ(edits, 1);

  // 确定 only hides it: the next toggle shows the same box again.
  Thotkeydlg* first = box;
  box->Button1->Click();
  zuvo::platform::ProcessPendingMessages();
  EXPECT_FALSE(box->Visible());
  ToggleHotkeyDlg(box, owner, [&] { ++edits; });
  EXPECT_EQ(box, first);
  EXPECT_TRUE(box->Visible());

  ToggleHotkeyDlg(box, owner, nullptr);
  EXPECT_EQ(box, nullptr);
  EXPECT_EQ(owner->ComponentCount(), 0);

  // Freed by someone else (its owner, say), the box clears the opener's pointer.
  ToggleHotkeyDlg(box, owner, nullptr);
  ASSERT_NE(box, nullptr);
  delete box;
  EXPECT_EQ(box, nullptr);
}

}  // namespace
