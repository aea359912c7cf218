// The calendar and the date-time picker: the raw window classes "SysMonthCal32" and
// "SysDateTimePick32" (made with CreateWindowExA) and the class library's TMonthCalendar and
// TDateTimePicker over them.
//
// Both show a Qt widget inside our window (a month calendar; a date or time field), with input
// through our message chain first. Dates run from 1601-01-01 to 9999-12-31; a date outside that
// range, or a SYSTEMTIME naming no existing day or time, is refused and changes nothing.
//
// Raw messages:
// - calendar: MCM_GETCURSEL / MCM_SETCURSEL (the selected day, SYSTEMTIME*), MCM_GETMINREQRECT
//   (the size one month needs, RECT*), MCM_GETRANGE / MCM_SETRANGE;
// - picker: DTM_GETSYSTEMTIME (GDT_VALID and the value, GDT_ERROR for a null pointer),
//   DTM_SETSYSTEMTIME (wParam GDT_VALID; non-zero when taken), DTM_GETRANGE / DTM_SETRANGE.
// Changes made by the user (clicks, keys, the drop-down calendar) are told to the parent as
// WM_NOTIFY: MCN_SELCHANGE when the calendar's day changed and MCN_SELECT for a click on a day;
// DTN_DATETIMECHANGE when the picker's value changed. Changes made by messages are not told.
//
// Styles: DTS_SHORTDATEFORMAT (0, a date with a drop-down calendar), DTS_LONGDATEFORMAT,
// DTS_TIMEFORMAT (a time of day stepped with Up and Down), DTS_UPDOWN (a date stepped without the
// drop-down). Up and Down step the field under the caret in every kind.
#pragma once

#include "platform/Control.h"
#include "platform/DateTime.h"
#include "platform/WinBase.h"
#include "platform/WinUser.h"

// ---- Month calendar --------------------------------------------------------------------------------
constexpr UINT MCM_FIRST = 0x1000;
constexpr UINT MCM_GETCURSEL = MCM_FIRST + 1;
constexpr UINT MCM_SETCURSEL = MCM_FIRST + 2;
constexpr UINT MCM_GETMINREQRECT = MCM_FIRST + 9;
constexpr UINT MCM_GETRANGE = MCM_FIRST + 17;
constexpr UINT MCM_SETRANGE = MCM_FIRST + 18;

constexpr UINT MCN_SELCHANGE = 0U - 749U;
constexpr UINT MCN_SELECT = 0U - 746U;

constexpr DWORD MCS_DAYSTATE = 0x0001;
constexpr DWORD MCS_MULTISELECT = 0x0002;
constexpr DWORD MCS_WEEKNUMBERS = 0x0004;
constexpr DWORD MCS_NOTODAYCIRCLE = 0x0008;
constexpr DWORD MCS_NOTODAY = 0x0010;

struct NMSELCHANGE {
  NMHDR nmhdr;
  SYSTEMTIME stSelStart;
  SYSTEMTIME stSelEnd;
};
using NMSELECT = NMSELCHANGE;

// ---- Date and time picker -------------------------------------------------------------------------
constexpr UINT DTM_FIRST = 0x1000;
constexpr UINT DTM_GETSYSTEMTIME = DTM_FIRST + 1;
constexpr UINT DTM_SETSYSTEMTIME = DTM_FIRST + 2;
constexpr UINT DTM_GETRANGE = DTM_FIRST + 3;
constexpr UINT DTM_SETRANGE = DTM_FIRST + 4;

constexpr UINT DTN_DATETIMECHANGE = 0U - 759U;
constexpr UINT DTN_DROPDOWN = 0U - 754U;
constexpr UINT DTN_CLOSEUP = 0U - 753U;

constexpr DWORD DTS_UPDOWN = 0x0001;
constexpr DWORD DTS_SHOWNONE = 0x0002;
constexpr DWORD DTS_SHORTDATEFORMAT = 0x0000;
constexpr DWORD DTS_LONGDATEFORMAT = 0x0004;
constexpr DWORD DTS_TIMEFORMAT = 0x0009;
constexpr DWORD DTS_RIGHTALIGN = 0x0020;

// DTM_GETSYSTEMTIME's answers and DTM_SETSYSTEMTIME's wParam.
constexpr LRESULT GDT_ERROR = -1;
constexpr LRESULT GDT_VALID = 0;
constexpr LRESULT GDT_NONE = 1;
// The range messages' flags: which of the two SYSTEMTIMEs (minimum, maximum) count.
constexpr DWORD GDTR_MIN = 0x0001;
constexpr DWORD GDTR_MAX = 0x0002;

struct NMDATETIMECHANGE {
  NMHDR nmhdr;
  DWORD dwFlags;   // GDT_VALID
  SYSTEMTIME st;
};

// ---- The class library's controls --------------------------------------------------------------

// A month calendar. Date is the selected day (no time part), today by default. The control
// keeps its natural size, the size one month needs in its font (MCM_GETMINREQRECT), while
// AutoSize is on (the default): Width() and Height() give it before the window is made too, so
// a dialog can be sized around the calendar. OnChange follows a change of the day by the user
// (a click on a day, keys); setting Date raises nothing.
class TMonthCalendar : public TWinControl {
 public:
  explicit TMonthCalendar(TComponent* owner);
  const char* ClassName() const override { return "TMonthCalendar"; }

  TDateTime Date() const;
  // Takes the day of `date` (its time part is dropped); a date outside the range is ignored.
  void SetDate(TDateTime date);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);

  TNotifyEvent OnChange;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateWnd() override;
  virtual void Change();   // OnChange

 private:
  void FitNaturalSize();
  void TakeWindowDate();   // a change told by the window: Change when the day moved
  TDateTime date_;
  bool autoSize_ = true;
};

enum TDateTimeKind { dtkDate, dtkTime };
enum TDTDateFormat { dfShort, dfLong };
enum TDTDateMode { dmComboBox, dmUpDown };

// A date or time field. Kind dtkDate shows the date (short format by default) with a drop-down
// calendar (DateMode dmComboBox) or up/down stepping (dmUpDown); dtkTime shows the time of day
// and steps its fields with Up and Down. Both kinds hold a whole DateTime: Date is its day part
// and Time its time part; setting one keeps the other. OnChange follows a change by the user;
// setting a value raises nothing. Values outside 1601-01-01 to 9999-12-31 are ignored.
class TDateTimePicker : public TWinControl {
 public:
  explicit TDateTimePicker(TComponent* owner);
  const char* ClassName() const override { return "TDateTimePicker"; }

  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind kind);
  TDTDateFormat DateFormat() const { return dateFormat_; }
  void SetDateFormat(TDTDateFormat format);
  TDTDateMode DateMode() const { return dateMode_; }
  void SetDateMode(TDTDateMode mode);

  TDateTime DateTime() const;
  void SetDateTime(TDateTime value);
  TDateTime Date() const;   // the day part
  void SetDate(TDateTime date);
  TDateTime Time() const;   // the time part
  void SetTime(TDateTime time);

  TNotifyEvent OnChange;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  virtual void Change();   // OnChange

 private:
  void TakeWindowValue();
  TDateTime value_;
  TDateTimeKind kind_ = dtkDate;
  TDTDateFormat dateFormat_ = dfShort;
  TDTDateMode dateMode_ = dmComboBox;
};
