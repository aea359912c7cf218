// The cycle-order form: rows from the current order, moving selected blocks, and 确定 taking
// the order over and saving it only with at least two checked cycles.
#include "dialogs/Cycleorderdlg.h"

#include "SmallDialogFixture.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpchecklistbox.h"

namespace {

using dialogtest::SmallDialogTest;

class CycleOrderTest : public SmallDialogTest {
 protected:
  void SetUp() override {
    SmallDialogTest::SetUp();
    SetOrder("1D,1W,0T,11,03,0Y,05,015,030,060,0M,0S,0X,0120,0240");
  }
  static void SetOrder(const char* text) { ParseCycleOrderText(text, &CycleOrderTable); }
  static std::string OrderText(const CycleOrderRecord& order) {
    char text[128];
    FormatCycleOrder(order, text, sizeof text);
    return text;
  }
  std::string SavedOrder() {
    char text[128] = {};
    GetPrivateProfileStringA("Parameter", "CycleOrder", "<none>", text, sizeof text, UserFilePath("SETTING.INI").c_str());
    return text;
  }
  // The rows as "name" with a leading '+' when checked.
  static std::vector<std::string> Rows(TCycleOrder& form) {
    std::vector<std::string> rows;
    for (int i = 0; i < form.XPCheckListBox1->Items()->Count(); ++i) {
      rows.push_back((form.XPCheckListBox1->Checked(i) ? "+" : "") + form.XPCheckListBox1->Items()->Get(i));
    }
    return rows;
  }
  static void Uncheck(TCycleOrder& form) {
    for (int i = 0; i < form.XPCheckListBox1->Items()->Count(); ++i) form.XPCheckListBox1->SetChecked(i, false);
  }
};

TEST_F(CycleOrderTest, RowsFollowTheCurrentOrderWithNamesCodesAndChecks) {
  auto* form = NewForm<TCycleOrder>(owner);
  EXPECT_EQ(form->Caption(), "周期循环次序");
  const std::vector<std::string> rows = Rows(*form);
  ASSERT_EQ(rows.size(), 15u);
  EXPECT_EQ(std::vector<std::string>(rows.begin(), rows.begin() + 5),
            (std::vector<std::string>{"+日线", "+周线", "闪电图", "+1分钟", "3分钟"}));
  EXPECT_EQ(rows.back(), "240分钟");
  EXPECT_EQ(form->RowCode(0), 8);
  EXPECT_EQ(form->RowCode(2), 0);
  EXPECT_EQ(form->RowCode(14), 14);
  EXPECT_EQ(OrderText(form->RowsOrder()), OrderText(CycleOrderTable));
  TComponent::Free(form);
}

TEST_F(CycleOrderTest, MovesKeepSelectedBlocksTogetherAndStopAtTheEnds) {
  struct Case {
    const char* name;
    std::vector<int> selected;
    bool up;
    std::vector<int> codes;   // the first six rows' codes after the move
  };
  // Rows start as codes 8 9 0 1 2 3 ...
  const Case cases[] = {
      {"one row up", {2}, true, {8, 0, 9, 1, 2, 3}},
      {"block of two up", {2, 3}, true, {8, 0, 1, 9, 2, 3}},
      {"top row stays, the row under it stops below it", {0, 1}, true, {8, 9, 0, 1, 2, 3}},
      {"two apart up", {1, 3}, true, {9, 8, 1, 0, 2, 3}},
      {"block of two down", {0, 1}, false, {0, 8, 9, 1, 2, 3}},
      {"top row down", {0}, false, {9, 8, 0, 1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* form = NewForm<TCycleOrder>(owner);
    for (int row : c.selected) form->XPCheckListBox1->SetSelected(row, true);
    (c.up ? form->XPButton1 : form->XPButton2)->Click();
    std::vector<int> codes;
    for (int row = 0; row < 6; ++row) codes.push_back(form->RowCode(row));
    EXPECT_EQ(codes, c.codes);
    // Rows move with their checks and stay selected.
    for (int row = 0; row < 15; ++row) {
      const int code = form->RowCode(row);
      EXPECT_EQ(form->XPCheckListBox1->Checked(row), code == 8 || code == 9 || code == 1) << row;
    }
    int selected = 0;
    for (int row = 0; row < 15; ++row) selected += form->XPCheckListBox1->Selected(row) ? 1 : 0;
    EXPECT_EQ(selected, static_cast<int>(c.selected.size()));
    TComponent::Free(form);
  }

  // The bottom row stays where it is when moved down.
  auto* form = NewForm<TCycleOrder>(owner);
  form->XPCheckListBox1->SetSelected(14, true);
  form->XPButton2->Click();
  EXPECT_EQ(form->RowCode(14), 14);
  TComponent::Free(form);
}

TEST_F(CycleOrderTest, TwoCheckedCyclesAreTakenOverAndSaved) {
  auto* form = NewForm<TCycleOrder>(owner);
  EXPECT_EQ(Run(form, [](TCycleOrder& f) {
    Uncheck(f);
    f.XPCheckListBox1->SetSelected(14, true);   // 240分钟 to the top
    for (int i = 0; i < 14; ++i) f.XPButton1->Click();
    f.XPCheckListBox1->SetChecked(0, true);
    f.XPCheckListBox1->SetChecked(3, true);     // 闪电图
    f.XPButton3->Click();
  }), mrOk);
  const std::string expected = "1240,0D,0W,1T,01,03,0Y,05,015,030,060,0M,0S,0X,0120";
  EXPECT_EQ(OrderText(CycleOrderTable), expected);
  EXPECT_EQ(SavedOrder(), expected);
  EXPECT_TRUE(BoxTexts().empty());
  TComponent::Free(form);
}

TEST_F(CycleOrderTest, OneCheckedCycleIsRefusedAndCancelKeepsTheOldOrder) {
  const std::string before = OrderText(CycleOrderTable);
  auto* form = NewForm<TCycleOrder>(owner);
  EXPECT_EQ(Run(form, [](TCycleOrder& f) {
    Uncheck(f);
    f.XPCheckListBox1->SetSelected(2, true);
    f.XPButton1->Click();
    f.XPCheckListBox1->SetChecked(0, true);
    f.XPButton3->Click();
    EXPECT_EQ(f.ModalResult(), mrNone);
    f.XPButton4->Click();
  }), mrCancel);
  ASSERT_EQ(boxes->Shown().size(), 1u);
  const auto box = boxes->Shown()[0];
  EXPECT_EQ(box.text, "请至少勾选 2 种周期，以实现周期的循环。  ");
  EXPECT_EQ(box.caption, "错误");
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONWARNING));
  // Neither the program's order nor the file changed.
  EXPECT_EQ(OrderText(CycleOrderTable), before);
  EXPECT_EQ(SavedOrder(), "<none>");
  TComponent::Free(form);

  // No checked cycle at all is refused the same way.
  form = NewForm<TCycleOrder>(owner);
  EXPECT_EQ(Run(form, [](TCycleOrder& f) {
    Uncheck(f);
    f.XPButton3->Click();
    f.XPButton4->Click();
  }), mrCancel);
  EXPECT_EQ(boxes->Shown().size(), 2u);
  EXPECT_EQ(OrderText(CycleOrderTable), before);
  TComponent::Free(form);
}

}  // namespace
