// The big-order threshold form: its controls, the threshold in and out (clamped to the
// up-down's range), and closing as the only cancel.
#include "dialogs/Bgamount.h"

#include "SmallDialogFixture.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpedit.h"
#include "widgets/Xpupdown.h"

namespace {

using dialogtest::SmallDialogTest;
using BigAmountTest = SmallDialogTest;

TEST_F(BigAmountTest, ThresholdGoesInAndComesBackClamped) {
  auto* form = NewForm<TBigAmount>(owner);
  EXPECT_EQ(form->Caption(), "大单提取");
  EXPECT_EQ(form->Edit1->Text(), "0");
  EXPECT_EQ(form->UpDown1->Min(), 0);
  EXPECT_EQ(form->UpDown1->Max(), 32767);
  EXPECT_EQ(form->UpDown1->Associate(), form->Edit1);
  EXPECT_TRUE(form->Button1->Default());

  form->SetAmount(500);
  EXPECT_EQ(form->Edit1->Text(), "500");
  EXPECT_EQ(form->UpDown1->Position(), 500);
  EXPECT_EQ(Run(form, [](TBigAmount& f) {
    f.Edit1->SetText("40000");
    f.Button1->Click();
  }), mrOk);
  EXPECT_EQ(form->Amount(), 32767);
  // Closing is the cancel.
  EXPECT_EQ(Run(form, [](TBigAmount& f) { f.Close(); }), mrCancel);
  EXPECT_TRUE(BoxTexts().empty());   // the form checks nothing itself
  TComponent::Free(form);
}

TEST(BigAmountParse, TextsReadAsWholeNumbersInRange) {
  struct Case {
    const char* text;
    int amount;
  };
  const Case cases[] = {{"0", 0},         {"123", 123},     {"  77", 77},   {"+5", 5},     {"-5", 0},
                        {"32767", 32767}, {"32768", 32767}, {"99999999999999999999", 32767},
                        {"12ab", 12},     {"ab", 0},        {"", 0}};
  for (const Case& c : cases) EXPECT_EQ(TBigAmount::ParseAmount(c.text), c.amount) << c.text;
}

}  // namespace
