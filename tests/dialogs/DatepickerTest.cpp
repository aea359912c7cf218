// The date form: its size and button places from the calendar and the system metrics, today
// on the calendar, and the date the opener reads back.
#include "dialogs/Datepicker.h"

#include "SmallDialogFixture.h"
#include "platform/DateControl.h"
#include "platform/DateTime.h"
#include "platform/Gdi.h"
#include "widgets/Xpbutton.h"

namespace {

using dialogtest::SmallDialogTest;
using DatePickerTest = SmallDialogTest;

void ExpectLayout(TDatePickerDlg& form) {
  const int b = GetSystemMetrics(SM_CXBORDER);
  const int c = GetSystemMetrics(SM_CYCAPTION);
  const TMonthCalendar& calendar = *form.MonthCalendar1;
  ASSERT_GT(calendar.Width(), 0);
  ASSERT_GT(calendar.Height(), 0);
  EXPECT_EQ(form.Width(), calendar.Width() + 2 * b + 4);
  EXPECT_EQ(form.Height(), calendar.Height() + form.Button1->Height() + b + c + 18);
  const int buttonTop = calendar.Top() + calendar.Height() + 7;
  EXPECT_EQ(form.Button1->Top(), buttonTop);
  EXPECT_EQ(form.Button2->Top(), buttonTop);
  EXPECT_EQ(form.Button2->Left(), form.Width() - form.Button2->Width() - 12);
  EXPECT_EQ(form.Button1->Left(), form.Width() - form.Button2->Width() - form.Button1->Width() - 17);
}

TEST_F(DatePickerTest, SizedAroundTheCalendarFromTheMetricsAndShowingToday) {
  auto* form = NewForm<TDatePickerDlg>(owner);
  EXPECT_EQ(form->Caption(), "选择日期");
  {
    SCOPED_TRACE("built");
    ExpectLayout(*form);
  }
  EXPECT_EQ(static_cast<int>(form->MonthCalendar1->Date().Val), static_cast<int>(Date().Val));
  EXPECT_EQ(form->Button1->Caption(), "确定");
  EXPECT_EQ(form->Button1->ModalResult(), mrOk);
  EXPECT_TRUE(form->Button1->Default());
  EXPECT_EQ(form->Button2->Caption(), "取消");
  EXPECT_EQ(form->Button2->ModalResult(), mrCancel);

  // The opener sets another day and reads the calendar after OK.
  form->MonthCalendar1->SetDate(EncodeDate(2024, 2, 29));
  EXPECT_EQ(Run(form, [](TDatePickerDlg& f) {
    SCOPED_TRACE("shown");
    ExpectLayout(f);
    f.Button1->Click();
  }), mrOk);
  EXPECT_EQ(form->MonthCalendar1->Date().Val, EncodeDate(2024, 2, 29).Val);
  TComponent::Free(form);
}

TEST_F(DatePickerTest, CancelAndClosingReturnNotOk) {
  auto* form = NewForm<TDatePickerDlg>(owner);
  EXPECT_EQ(Run(form, [](TDatePickerDlg& f) { f.Button2->Click(); }), mrCancel);
  EXPECT_EQ(Run(form, [](TDatePickerDlg& f) { f.Close(); }), mrCancel);
  TComponent::Free(form);
}

}  // namespace
