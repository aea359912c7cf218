// The hot-key editor: the grid from the table, the help tab, and 确定 parsing into a copy that
// reaches the live table and HotKey.ini only once every row passed and the save succeeded.
#include "dialogs/Sethotkey.h"

#include "SmallDialogFixture.h"
#include "data/HotKeys.h"
#include "platform/FileFaults.h"
#include "platform/Grid.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpmemo.h"
#include "widgets/Xpstringgrid.h"
#include "widgets/Xptabcontrol.h"

#include <filesystem>

namespace {

using dialogtest::SmallDialogTest;
namespace files = zuvo::platform::files;

std::string Format(const HotKeyRecord& record) {
  char text[kHotKeyTextSize];
  FormatHotKey(record, text);
  return text;
}

class SetHotkeyTest : public SmallDialogTest {
 protected:
  void SetUp() override {
    SmallDialogTest::SetUp();
    LoadHotKeys();   // no HotKey.ini yet: the defaults
    std::memcpy(original, HotKeyTable, sizeof original);
  }
  bool LiveTableUnchanged() const { return std::memcmp(original, HotKeyTable, sizeof original) == 0; }
  std::filesystem::path Ini() const { return install.user() / "HotKey.ini"; }

  HotKeyRecord original[kHotKeyTableSize];
};

TEST_F(SetHotkeyTest, GridShowsEveryCommandWithItsKeyText) {
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  EXPECT_EQ(form->Caption(), "设置快捷键");
  TXPStringGrid* grid = form->XPStringGrid1;
  EXPECT_EQ(grid->ColCount(), 2);
  EXPECT_EQ(grid->RowCount(), 81);
  EXPECT_EQ(grid->FixedRows(), 0);
  EXPECT_EQ(grid->ColWidths(0), 100);
  EXPECT_EQ(grid->ColWidths(1), 280);
  EXPECT_EQ(grid->Options() & (goEditing | goAlwaysShowEditor), goEditing | goAlwaysShowEditor);
  for (int row : {0, 1, 40, 80}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(grid->Cells(0, row), HotKeyCommandName(row + 1));
    EXPECT_EQ(grid->Cells(1, row), Format(HotKeyTable[row]));
  }
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, HelpTabSwapsTheGridForTheMemo) {
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  EXPECT_EQ(form->XPTabControl1->Tabs()->Get(0), "快捷键");
  EXPECT_EQ(form->XPTabControl1->Tabs()->Get(1), "帮助");
  EXPECT_TRUE(form->XPMemo1->ReadOnly());
  EXPECT_EQ(form->XPMemo1->Lines()->Get(0), "设置快捷键时，可以使用以下按键（请输入引号内的字符）:");
  EXPECT_EQ(form->XPMemo1->Lines()->Count(), static_cast<int>(TSetHotkeyDlg::HelpLines().size()));
  const std::string keys = form->XPMemo1->Lines()->Get(1);
  for (const char* name : {"\"CTRL\"", "\"ENTER\"（回车）", "\"SPACE\"（空格）", "\"\\\"", "\"+\""}) {
    EXPECT_NE(keys.find(name), std::string::npos) << name;
  }
  for (int tab : {1, 0}) {
    SCOPED_TRACE(tab);
    form->XPTabControl1->SetTabIndex(tab);
    form->XPTabControl1Change(form->XPTabControl1);
    EXPECT_EQ(form->XPStringGrid1->Visible(), tab == 0);
    EXPECT_EQ(form->XPMemo1->Visible(), tab == 1);
  }
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, KeysInOtherCasePassAndAreSavedInNormalForm) {
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  EXPECT_EQ(Run(form, [](TSetHotkeyDlg& f) {
    f.XPStringGrid1->SetCells(1, 0, "alt+f3");
    f.XPStringGrid1->SetCells(1, 5, "ctrl+shift+q");
    f.XPButton1->Click();
  }), mrOk);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(Format(HotKeyTable[0]), "ALT+F3");
  EXPECT_EQ(Format(HotKeyTable[5]), "CTRL+SHIFT+Q");
  const std::string ini = testsupport::ReadBytes(Ini());
  EXPECT_EQ(ini.rfind("[HotKey]\r\nh1=ALT+F3\r\n", 0), 0u) << ini;
  EXPECT_NE(ini.find("\r\nh6=CTRL+SHIFT+Q\r\n"), std::string::npos);
  EXPECT_NE(ini.find("\r\nh81="), std::string::npos);
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, YesPutsTheNormalTextInTheCellAndGoesOn) {
  HotKeyRecord parsed{};
  ParseHotKey(&parsed, "q+ctrl");
  const std::string normal = Format(parsed);   // modifiers count only before the keys
  ASSERT_NE(normal, "Q+CTRL");
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  boxes->Answer(IDYES);
  std::string cell;
  EXPECT_EQ(Run(form, [&](TSetHotkeyDlg& f) {
    f.XPStringGrid1->SetCells(1, 2, "q+ctrl");
    f.XPButton1->Click();
    cell = f.XPStringGrid1->Cells(1, 2);
  }), mrOk);
  ASSERT_EQ(boxes->Shown().size(), 1u);
  const auto box = boxes->Shown()[0];
  const std::string name = HotKeyCommandName(3);
  EXPECT_EQ(box.text, "“" + name + "”的快捷键“q+ctrl”格式不正确。点击“是”将其设置为“" + normal + "”，点击“否”手工修改。");
  EXPECT_EQ(box.caption, "错误");
  EXPECT_EQ(box.buttons, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONQUESTION));
  EXPECT_EQ(cell, normal);
  EXPECT_EQ(Format(HotKeyTable[2]), normal);
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, NoAtRowTenLeavesTheLiveTableAndTheFileAlone) {
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  boxes->Answer(IDNO);
  int rowAfterNo = -1;
  EXPECT_EQ(Run(form, [&](TSetHotkeyDlg& f) {
    f.XPStringGrid1->SetCells(1, 3, "alt+f9");   // a good change before the bad row
    f.XPStringGrid1->SetCells(1, 10, "S+CTRL");
    f.XPButton1->Click();
    EXPECT_EQ(f.ModalResult(), mrNone);
    rowAfterNo = f.XPStringGrid1->Row();
    EXPECT_EQ(f.XPStringGrid1->Cells(1, 10), "S+CTRL");   // left for the user to mend
    f.XPButton2->Click();
  }), mrCancel);
  EXPECT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(rowAfterNo, 10);
  EXPECT_TRUE(LiveTableUnchanged());
  EXPECT_FALSE(std::filesystem::exists(Ini()));
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, AFailedSaveKeepsTheLiveTableAndTheDialogOpen) {
  testsupport::WriteBytes(Ini(), testsupport::CrlfLines({"[HotKey]", "h1=F1"}));
  const std::string before = testsupport::ReadBytes(Ini());
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  EXPECT_EQ(Run(form, [&](TSetHotkeyDlg& f) {
    f.XPStringGrid1->SetCells(1, 0, "F4");
    {
      files::ScopedFileFault full(files::FileCall::kWrite, 1, files::FaultRepeat::kEveryCallFromNth, ENOSPC);
      f.XPButton1->Click();
    }
    EXPECT_EQ(f.ModalResult(), mrNone);
    f.XPButton2->Click();
  }), mrCancel);
  ASSERT_EQ(boxes->Shown().size(), 1u);
  EXPECT_EQ(boxes->Shown()[0].caption, "错误");
  EXPECT_TRUE(LiveTableUnchanged());
  EXPECT_EQ(testsupport::ReadBytes(Ini()), before);
  TComponent::Free(form);
}

TEST_F(SetHotkeyTest, TextStillInTheCellEditorIsTaken) {
  auto* form = NewForm<TSetHotkeyDlg>(owner);
  EXPECT_EQ(Run(form, [](TSetHotkeyDlg& f) {
    f.XPStringGrid1->SetFocus();
    f.XPStringGrid1->SetRow(4);
    ASSERT_TRUE(f.XPStringGrid1->EditorMode());
    f.XPStringGrid1->InplaceEditor()->SetText("alt+f11");
    f.XPButton1->Click();
  }), mrOk);
  EXPECT_EQ(Format(HotKeyTable[4]), "ALT+F11");
  TComponent::Free(form);
}

}  // namespace
