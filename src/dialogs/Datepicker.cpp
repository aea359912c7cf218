#include "dialogs/Datepicker.h"

#include "platform/DateControl.h"
#include "platform/DateTime.h"
#include "platform/Gdi.h"
#include "widgets/Xpbutton.h"

using zuvo::widgets::TXPButton;

TDatePickerDlg::TDatePickerDlg(TComponent* owner) : TForm(owner) {
  SetName("DatePickerDlg");
  SetCaption("选择日期");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);

  MonthCalendar1 = new TMonthCalendar(this);
  MonthCalendar1->SetName("MonthCalendar1");
  MonthCalendar1->SetParent(this);
  MonthCalendar1->SetLeft(0);
  MonthCalendar1->SetTop(0);
  MonthCalendar1->SetDate(::Date());
  Button1 = new TXPButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button2 = new TXPButton(this);
  Button2->SetName("Button2");
  Button2->SetParent(this);
  Button2->SetCaption("取消");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  SetActiveControl(MonthCalendar1);
  Layout();
  OnShow = [this](TObject*) { Layout(); };
}

void TDatePickerDlg::Layout() {
  const int border = GetSystemMetrics(SM_CXBORDER);
  const int caption = GetSystemMetrics(SM_CYCAPTION);
  SetWidth(MonthCalendar1->Width() + 2 * border + 4);
  SetHeight(MonthCalendar1->Height() + Button1->Height() + border + caption + 18);
  const int buttonTop = MonthCalendar1->Top() + MonthCalendar1->Height() + 7;
  Button2->SetLeft(Width() - Button2->Width() - 12);
  Button2->SetTop(buttonTop);
  Button1->SetLeft(Width() - Button2->Width() - Button1->Width() - 17);
  Button1->SetTop(buttonTop);
}
