// The calendar and the date-time picker (see DateControl.h): the raw classes over Qt's
// calendar and date-time field, then the class library's controls over the raw classes.
#include "platform/DateControl.h"

#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"
#include "platform/internal/Wrapped.h"

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLocale>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace {

// The range both controls keep to (the range SYSTEMTIME holds).
constexpr int kFirstYear = 1601;
constexpr int kLastYear = 9999;

bool InControlRange(TDateTime value) {
  if (!IsValidDateTime(value)) return false;
  WORD year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  return year >= kFirstYear && year <= kLastYear;
}

}  // namespace

namespace zuvo::platform::win {
namespace {

QDate FirstDay() { return QDate(kFirstYear, 1, 1); }
QDate LastDay() { return QDate(kLastYear, 12, 31); }

// The day of a SYSTEMTIME; false when it names no day or one outside the range.
bool DayOf(const SYSTEMTIME& time, QDate* day) {
  if (!IsValidDate(time.wYear, time.wMonth, time.wDay)) return false;
  const QDate d(time.wYear, time.wMonth, time.wDay);
  if (d < FirstDay() || d > LastDay()) return false;
  *day = d;
  return true;
}

bool ClockOf(const SYSTEMTIME& time, QTime* clock) {
  if (!QTime::isValid(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds)) return false;
  *clock = QTime(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  return true;
}

SYSTEMTIME ToSystemTime(const QDate& day, const QTime& clock) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(day.year());
  time.wMonth = static_cast<WORD>(day.month());
  time.wDay = static_cast<WORD>(day.day());
  time.wDayOfWeek = static_cast<WORD>(day.dayOfWeek() % 7);   // Qt counts Monday 1 .. Sunday 7
  time.wHour = static_cast<WORD>(clock.hour());
  time.wMinute = static_cast<WORD>(clock.minute());
  time.wSecond = static_cast<WORD>(clock.second());
  time.wMilliseconds = static_cast<WORD>(clock.msec());
  return time;
}

// Now by our clock (a driven clock in the tests), as Qt's date and time.
QDateTime LocalNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  QDate day;
  QTime clock;
  if (!DayOf(now, &day) || !ClockOf(now, &clock)) return QDateTime(FirstDay(), QTime(0, 0), Qt::UTC);
  return QDateTime(day, clock, Qt::UTC);
}

// The range messages: SYSTEMTIME[2] (minimum, maximum) with GDTR_ flags saying which count.
// False for a limit naming no time, outside the range, or a minimum after the maximum.
bool ReadRange(WPARAM flags, LPARAM lParam, QDateTime* low, QDateTime* high) {
  *low = QDateTime(FirstDay(), QTime(0, 0), Qt::UTC);
  *high = QDateTime(LastDay(), QTime(23, 59, 59, 999), Qt::UTC);
  const auto* limits = reinterpret_cast<const SYSTEMTIME*>(lParam);
  if (limits == nullptr) return flags == 0;
  for (int i = 0; i < 2; ++i) {
    if ((flags & (i == 0 ? GDTR_MIN : GDTR_MAX)) == 0) continue;
    QDate day;
    QTime clock;
    if (!DayOf(limits[i], &day) || !ClockOf(limits[i], &clock)) return false;
    (i == 0 ? *low : *high) = QDateTime(day, clock, Qt::UTC);
  }
  return *low <= *high;
}

LRESULT WriteRange(LPARAM lParam, DWORD flags, const QDateTime& low, const QDateTime& high) {
  auto* limits = reinterpret_cast<SYSTEMTIME*>(lParam);
  if (limits == nullptr) return 0;
  limits[0] = (flags & GDTR_MIN) != 0 ? ToSystemTime(low.date(), low.time()) : SYSTEMTIME{};
  limits[1] = (flags & GDTR_MAX) != 0 ? ToSystemTime(high.date(), high.time()) : SYSTEMTIME{};
  return static_cast<LRESULT>(flags);
}

// WM_NOTIFY to the parent of a child window, then the change note to the window itself. A
// handler may destroy the window: its widgets stay until the call returns.
void SendNotify(HWND host, NMHDR* header) {
  WindowPtr w = Find(host);
  if (!w) return;
  HostWidget* hostWidget = w->widget;
  if (hostWidget != nullptr) hostWidget->AddBusy(1);
  header->hwndFrom = host;
  header->idFrom = static_cast<UINT_PTR>(GetWindowLongA(host, GWL_ID));
  HWND parent = GetParent(host);
  if (parent != nullptr && (GetWindowLongA(host, GWL_STYLE) & WS_CHILD) != 0) {
    SendMessageA(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
  }
  if (hostWidget != nullptr) hostWidget->AddBusy(-1);
}

// ---- Month calendar ----------------------------------------------------------------------------

class MonthCalControl : public WrappedControl {
 public:
  MonthCalControl(HWND host, QCalendarWidget* calendar) : WrappedControl(host, calendar) {
    QObject::connect(calendar, &QCalendarWidget::selectionChanged, this, [this] {
      if (quiet_ == 0) Notify(MCN_SELCHANGE);
    });
    QObject::connect(calendar, &QCalendarWidget::clicked, this, [this](QDate) {
      if (quiet_ == 0) Notify(MCN_SELECT);
    });
  }

  QCalendarWidget* calendar() const { return static_cast<QCalendarWidget*>(widget()); }

  LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam) {
    QCalendarWidget* cal = calendar();
    if (cal == nullptr) return DefaultProc(message, wParam, lParam);
    switch (message) {
      case MCM_GETCURSEL:
        if (lParam == 0) return FALSE;
        *reinterpret_cast<SYSTEMTIME*>(lParam) = ToSystemTime(cal->selectedDate(), QTime(0, 0));
        return TRUE;
      case MCM_SETCURSEL: {
        QDate day;
        if (lParam == 0 || !DayOf(*reinterpret_cast<const SYSTEMTIME*>(lParam), &day)) return FALSE;
        if (day < cal->minimumDate() || day > cal->maximumDate()) return FALSE;
        Quietly([&] { cal->setSelectedDate(day); });
        return TRUE;
      }
      case MCM_GETMINREQRECT: {
        if (lParam == 0) return FALSE;
        const QSize size = cal->sizeHint();
        *reinterpret_cast<RECT*>(lParam) = RECT{0, 0, size.width(), size.height()};
        return TRUE;
      }
      case MCM_GETRANGE:
        return WriteRange(lParam, rangeFlags_, QDateTime(cal->minimumDate(), QTime(0, 0), Qt::UTC),
                          QDateTime(cal->maximumDate(), QTime(0, 0), Qt::UTC));
      case MCM_SETRANGE: {
        QDateTime low, high;
        if (!ReadRange(wParam, lParam, &low, &high)) return FALSE;
        rangeFlags_ = static_cast<DWORD>(wParam) & (GDTR_MIN | GDTR_MAX);
        Quietly([&] { cal->setDateRange(low.date(), high.date()); });
        return TRUE;
      }
      default:
        return DefaultProc(message, wParam, lParam);
    }
  }

 private:
  template <typename F>
  void Quietly(F&& change) {
    ++quiet_;
    change();
    --quiet_;
  }

  void Notify(UINT code) {
    std::shared_ptr<WrappedControl> keep = WrappedShared(host());   // a handler may end the window
    QCalendarWidget* cal = calendar();
    if (cal == nullptr) return;
    NMSELCHANGE note{};
    note.nmhdr.code = code;
    note.stSelStart = ToSystemTime(cal->selectedDate(), QTime(0, 0));
    note.stSelEnd = note.stSelStart;
    SendNotify(host(), &note.nmhdr);
  }

  int quiet_ = 0;          // changes made by messages are not told
  DWORD rangeFlags_ = 0;   // the limits set by MCM_SETRANGE
};

QCalendarWidget* NewCalendar(DWORD style) {
  auto* cal = new QCalendarWidget();
  cal->setLocale(QLocale(QLocale::Chinese, QLocale::China));
  cal->setFirstDayOfWeek(Qt::Sunday);
  cal->setVerticalHeaderFormat((style & MCS_WEEKNUMBERS) != 0 ? QCalendarWidget::ISOWeekNumbers
                                                               : QCalendarWidget::NoVerticalHeader);
  cal->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
  cal->setGridVisible(false);
  cal->setDateRange(FirstDay(), LastDay());
  cal->setSelectedDate(LocalNow().date());
  return cal;
}

// ---- Date and time picker ----------------------------------------------------------------------

class DatePickControl : public WrappedControl {
 public:
  DatePickControl(HWND host, QDateTimeEdit* edit, bool timeOnly)
      : WrappedControl(host, edit),
        timeOnly_(timeOnly),
        low_(FirstDay(), QTime(0, 0), Qt::UTC),
        high_(LastDay(), QTime(23, 59, 59, 999), Qt::UTC) {
    QObject::connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
      if (quiet_ == 0) Notify();
    });
  }

  QDateTimeEdit* edit() const { return static_cast<QDateTimeEdit*>(widget()); }

  LRESULT Proc(UINT message, WPARAM wParam, LPARAM lParam) {
    QDateTimeEdit* field = edit();
    if (field == nullptr) return DefaultProc(message, wParam, lParam);
    switch (message) {
      case DTM_GETSYSTEMTIME: {
        if (lParam == 0) return GDT_ERROR;
        const QDateTime value = field->dateTime();
        *reinterpret_cast<SYSTEMTIME*>(lParam) = ToSystemTime(value.date(), value.time());
        return GDT_VALID;
      }
      case DTM_SETSYSTEMTIME: {
        // Without DTS_SHOWNONE there is no empty value: GDT_NONE is refused.
        if (static_cast<LRESULT>(wParam) != GDT_VALID || lParam == 0) return FALSE;
        const auto& time = *reinterpret_cast<const SYSTEMTIME*>(lParam);
        QDate day;
        QTime clock;
        if (!DayOf(time, &day) || !ClockOf(time, &clock)) return FALSE;
        const QDateTime value(day, clock, Qt::UTC);
        if (value < low_ || value > high_) return FALSE;
        Quietly([&] { field->setDateTime(value); });
        return TRUE;
      }
      case DTM_GETRANGE:
        return WriteRange(lParam, rangeFlags_, low_, high_);
      case DTM_SETRANGE: {
        QDateTime low, high;
        if (!ReadRange(wParam, lParam, &low, &high)) return FALSE;
        rangeFlags_ = static_cast<DWORD>(wParam) & (GDTR_MIN | GDTR_MAX);
        low_ = low;
        high_ = high;
        // A time field keeps its value's day for its own (Qt pins a time-only field's range
        // to that day): the range is checked here when a value is set.
        if (!timeOnly_) Quietly([&] { field->setDateTimeRange(low, high); });
        return TRUE;
      }
      default:
        return DefaultProc(message, wParam, lParam);
    }
  }

 protected:
  // Typed characters go through the field's own key handling, which fills its sections.
  void InsertText(const QString& text) override {
    QDateTimeEdit* field = edit();
    if (field == nullptr) return;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    SendReplay(field, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    SendReplay(field, &release);
  }

 private:
  template <typename F>
  void Quietly(F&& change) {
    ++quiet_;
    change();
    --quiet_;
  }

  void Notify() {
    std::shared_ptr<WrappedControl> keep = WrappedShared(host());   // a handler may end the window
    QDateTimeEdit* field = edit();
    if (field == nullptr) return;
    NMDATETIMECHANGE note{};
    note.nmhdr.code = DTN_DATETIMECHANGE;
    note.dwFlags = static_cast<DWORD>(GDT_VALID);
    const QDateTime value = field->dateTime();
    note.st = ToSystemTime(value.date(), value.time());
    SendNotify(host(), &note.nmhdr);
  }

  const bool timeOnly_;
  int quiet_ = 0;
  DWORD rangeFlags_ = 0;
  QDateTime low_, high_;   // what DTM_SETSYSTEMTIME takes
};

bool IsTimeStyle(DWORD style) { return (style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT; }

QDateTimeEdit* NewDateTimeEdit(DWORD style) {
  auto* edit = new QDateTimeEdit();
  edit->setTimeSpec(Qt::UTC);   // every day has every time of day: no zone gaps
  edit->setFrame(false);
  edit->setWrapping(true);
  if (IsTimeStyle(style)) {
    edit->setDisplayFormat(QStringLiteral("H:mm:ss"));
  } else {
    edit->setDateTimeRange(QDateTime(FirstDay(), QTime(0, 0), Qt::UTC),
                           QDateTime(LastDay(), QTime(23, 59, 59, 999), Qt::UTC));
    if ((style & DTS_LONGDATEFORMAT) != 0) {
      edit->setDisplayFormat(QString::fromUtf16(u"yyyy'\u5E74'M'\u6708'd'\u65E5'"));
    } else {
      edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    if ((style & DTS_UPDOWN) == 0) {
      edit->setCalendarPopup(true);
      if (QCalendarWidget* popup = edit->calendarWidget()) {
        popup->setLocale(QLocale(QLocale::Chinese, QLocale::China));
        popup->setFirstDayOfWeek(Qt::Sunday);
        popup->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
        popup->setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
      }
    }
  }
  if ((style & DTS_RIGHTALIGN) != 0) edit->setAlignment(Qt::AlignRight);
  edit->setDateTime(LocalNow());
  return edit;
}

DWORD CreateStyle(LPARAM lParam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
  return create != nullptr ? static_cast<DWORD>(create->style) : 0;
}

}  // namespace

LRESULT MonthCalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    AttachWrapped(window, std::make_shared<MonthCalControl>(window, NewCalendar(CreateStyle(lParam))));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  std::shared_ptr<MonthCalControl> control = std::dynamic_pointer_cast<MonthCalControl>(WrappedShared(window));
  if (!control) return DefWindowProcA(window, message, wParam, lParam);
  return control->Proc(message, wParam, lParam);
}

LRESULT DateTimePickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    AttachWrapped(window, std::make_shared<DatePickControl>(window, NewDateTimeEdit(CreateStyle(lParam)),
                                                      IsTimeStyle(CreateStyle(lParam))));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  std::shared_ptr<DatePickControl> control = std::dynamic_pointer_cast<DatePickControl>(WrappedShared(window));
  if (!control) return DefWindowProcA(window, message, wParam, lParam);
  return control->Proc(message, wParam, lParam);
}

}  // namespace zuvo::platform::win

// ---- The class library's controls ------------------------------------------------------------------
// From here on only the public window calls: the raw classes above do the work.

namespace {

// The size a calendar needs in a font, measured once per font on a hidden calendar.
SIZE MeasureCalendar(TFont& font) {
  static std::map<std::tuple<std::string, int, int, int>, SIZE> measured;
  const auto key = std::make_tuple(font.Name(), font.Height(), static_cast<int>(font.Style()),
                                   static_cast<int>(font.Charset()));
  if (auto it = measured.find(key); it != measured.end()) return it->second;
  SIZE size{0, 0};
  HWND probe = CreateWindowExA(0, "SysMonthCal32", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return size;
  SendMessageA(probe, WM_SETFONT, reinterpret_cast<WPARAM>(font.Handle()), FALSE);
  RECT rect{};
  if (SendMessageA(probe, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&rect))) {
    size = SIZE{rect.right - rect.left, rect.bottom - rect.top};
  }
  DestroyWindow(probe);
  measured[key] = size;
  return size;
}

bool ToSystemTimeInRange(TDateTime value, SYSTEMTIME* time) {
  return InControlRange(value) && TryDateTimeToSystemTime(value, *time);
}

}  // namespace

// ---- TMonthCalendar ---------------------------------------------------------------------------------

TMonthCalendar::TMonthCalendar(TComponent* owner) : TWinControl(owner) {
  InheritWindowClass("SysMonthCal32");
  tabStop_ = true;
  date_ = ::Date();
  FitNaturalSize();
}

void TMonthCalendar::CreateWnd() {
  TWinControl::CreateWnd();
  if (handle_ == nullptr) return;
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
  SYSTEMTIME time{};
  if (ToSystemTimeInRange(date_, &time)) SendMessageA(handle_, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&time));
  FitNaturalSize();
}

TDateTime TMonthCalendar::Date() const {
  if (handle_ == nullptr) return date_;
  SYSTEMTIME time{};
  TDateTime day;
  if (!SendMessageA(handle_, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&time)) ||
      !TrySystemTimeToDateTime(time, day)) {
    return date_;
  }
  return DateOf(day);
}

void TMonthCalendar::SetDate(TDateTime date) {
  SYSTEMTIME time{};
  if (!ToSystemTimeInRange(date, &time)) return;
  time.wHour = time.wMinute = time.wSecond = time.wMilliseconds = 0;
  if (handle_ != nullptr && !SendMessageA(handle_, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&time))) return;
  date_ = DateOf(date);
}

void TMonthCalendar::SetAutoSize(bool value) {
  if (autoSize_ == value) return;
  autoSize_ = value;
  FitNaturalSize();
}

void TMonthCalendar::FitNaturalSize() {
  if (!autoSize_) return;
  SIZE size{0, 0};
  if (handle_ != nullptr) {
    RECT rect{};
    if (!SendMessageA(handle_, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&rect))) return;
    // The window's edges, if any, come around the calendar.
    RECT window{}, client{};
    GetWindowRect(handle_, &window);
    GetClientRect(handle_, &client);
    size.cx = rect.right - rect.left + (window.right - window.left) - (client.right - client.left);
    size.cy = rect.bottom - rect.top + (window.bottom - window.top) - (client.bottom - client.top);
  } else {
    size = MeasureCalendar(font_);
  }
  if (size.cx <= 0 || size.cy <= 0) return;
  if (size.cx != Width() || size.cy != Height()) SetBounds(left_, top_, size.cx, size.cy);
}

void TMonthCalendar::TakeWindowDate() {
  const TDateTime day = Date();
  if (day.Val == date_.Val) return;
  date_ = day;
  Change();
}

void TMonthCalendar::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

void TMonthCalendar::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CN_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(message.LParam);
      if (header != nullptr && (header->code == MCN_SELCHANGE || header->code == MCN_SELECT)) TakeWindowDate();
      message.Result = 0;
      return;
    }
    case CM_FONTCHANGED:
      TWinControl::Dispatch(message);
      if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
      FitNaturalSize();
      return;
    default:
      TWinControl::Dispatch(message);
  }
}

// ---- TDateTimePicker -------------------------------------------------------------------------------

TDateTimePicker::TDateTimePicker(TComponent* owner) : TWinControl(owner) {
  InheritWindowClass("SysDateTimePick32");
  tabStop_ = true;
  color_ = clWindow;
  value_ = ::Now();
  SetBounds(0, 0, 186, 21);
}

void TDateTimePicker::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.ExStyle |= WS_EX_CLIENTEDGE;
  if (kind_ == dtkTime) {
    params.Style |= DTS_TIMEFORMAT;
  } else {
    if (dateFormat_ == dfLong) params.Style |= DTS_LONGDATEFORMAT;
    if (dateMode_ == dmUpDown) params.Style |= DTS_UPDOWN;
  }
}

void TDateTimePicker::CreateWnd() {
  TWinControl::CreateWnd();
  if (handle_ == nullptr) return;
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
  SYSTEMTIME time{};
  if (ToSystemTimeInRange(value_, &time)) {
    SendMessageA(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
  }
}

void TDateTimePicker::SetKind(TDateTimeKind kind) {
  if (kind_ == kind) return;
  value_ = DateTime();
  kind_ = kind;
  if (handle_ != nullptr) RecreateWnd();
}

void TDateTimePicker::SetDateFormat(TDTDateFormat format) {
  if (dateFormat_ == format) return;
  value_ = DateTime();
  dateFormat_ = format;
  if (handle_ != nullptr) RecreateWnd();
}

void TDateTimePicker::SetDateMode(TDTDateMode mode) {
  if (dateMode_ == mode) return;
  value_ = DateTime();
  dateMode_ = mode;
  if (handle_ != nullptr) RecreateWnd();
}

TDateTime TDateTimePicker::DateTime() const {
  if (handle_ == nullptr) return value_;
  SYSTEMTIME time{};
  TDateTime value;
  if (SendMessageA(handle_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) != GDT_VALID ||
      !TrySystemTimeToDateTime(time, value)) {
    return value_;
  }
  return value;
}

void TDateTimePicker::SetDateTime(TDateTime value) {
  SYSTEMTIME time{};
  if (!ToSystemTimeInRange(value, &time)) return;
  if (handle_ != nullptr &&
      !SendMessageA(handle_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time))) {
    return;
  }
  // What the window holds (to the millisecond), so that reading back gives the same value.
  TrySystemTimeToDateTime(time, value_);
}

TDateTime TDateTimePicker::Date() const { return DateOf(DateTime()); }

void TDateTimePicker::SetDate(TDateTime date) {
  if (!IsValidDateTime(date)) return;
  SetDateTime(ComposeDateTime(date, TimeOf(DateTime())));
}

TDateTime TDateTimePicker::Time() const { return TimeOf(DateTime()); }

void TDateTimePicker::SetTime(TDateTime time) {
  if (!IsValidDateTime(time)) return;
  SetDateTime(ComposeDateTime(DateOf(DateTime()), time));
}

void TDateTimePicker::TakeWindowValue() {
  const TDateTime value = DateTime();
  if (value.Val == value_.Val) return;
  value_ = value;
  Change();
}

void TDateTimePicker::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

void TDateTimePicker::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CN_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(message.LParam);
      if (header != nullptr && header->code == DTN_DATETIMECHANGE) TakeWindowValue();
      message.Result = 0;
      return;
    }
    case CM_FONTCHANGED:
      TWinControl::Dispatch(message);
      if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
      return;
    default:
      TWinControl::Dispatch(message);
  }
}
