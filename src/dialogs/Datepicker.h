// The date form "选择日期" of the trend view's history recall: a month calendar showing today
// and 确定 (modal result 1) / 取消 (2). The form sizes itself around the calendar from the
// system's border width and caption height; it checks nothing, the opener reads the calendar's
// date after OK. UI thread only.
#pragma once

#include "platform/Form.h"

class TMonthCalendar;
namespace zuvo::widgets {
class TXPButton;
}

class TDatePickerDlg : public TForm {
 public:
  explicit TDatePickerDlg(TComponent* owner);
  const char* ClassName() const override { return "TDatePickerDlg"; }

  // Window size and button places from the calendar's size and the system metrics: width =
  // calendar + 2 * border + 4, height = calendar + Button1 + border + caption + 18; both
  // buttons 7 pixels below the calendar, Button2 12 pixels from the right edge and Button1 to
  // its left. Run again when the calendar's window is made (its size may then change).
  void Layout();

  TMonthCalendar* MonthCalendar1 = nullptr;
  zuvo::widgets::TXPButton* Button1 = nullptr;   // 确定 (default, modal result 1)
  zuvo::widgets::TXPButton* Button2 = nullptr;   // 取消 (modal result 2)
};
