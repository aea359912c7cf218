// The date value, the raw calendar and date-time picker classes, and the class library's
// TMonthCalendar and TDateTimePicker over them: values through messages and properties, the
// calendar's natural size, input through our chain (a click on a day, Up in the time field),
// refused values and notifications to the parent.
#include "platform/DateControl.h"
#include "platform/DateTime.h"
#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "platform/internal/Window.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QTableView>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedDrivenClock;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

SYSTEMTIME Sys(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  t.wMilliseconds = static_cast<WORD>(ms);
  return t;
}

struct Ymd {
  int y, m, d;
  bool operator==(const Ymd&) const = default;
};
Ymd YmdOf(TDateTime value) {
  WORD y = 0, m = 0, d = 0;
  DecodeDate(value, y, m, d);
  return {y, m, d};
}
std::ostream& operator<<(std::ostream& os, const Ymd& v) { return os << v.y << '-' << v.m << '-' << v.d; }

// ---- The date value ---------------------------------------------------------------------------------

TEST(DateTimeValueTest, EncodesAndDecodesAcrossTheRange) {
  struct Case {
    int y, m, d, h, mi, s, ms;
    double value;   // known value, NaN when only the round trip is checked
  };
  const double any = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0},
      {1899, 12, 30, 12, 0, 0, 0, 0.5},
      {1899, 12, 29, 6, 0, 0, 0, -1.25},   // before day 0 the fraction still counts forward
      {1900, 3, 1, 0, 0, 0, 0, 61.0},
      {2024, 3, 6, 9, 30, 0, 0, 45357.0 + 9.5 / 24},
      {2000, 2, 29, 23, 59, 59, 999, any},
      {1, 1, 1, 0, 0, 0, 0, -693593.0},
      {9999, 12, 31, 23, 59, 59, 999, any},
      {1601, 1, 1, 0, 0, 0, 1, any},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.y << '-' << c.m << '-' << c.d << ' ' << c.h << ':' << c.mi);
    const TDateTime value = ComposeDateTime(EncodeDate(c.y, c.m, c.d), EncodeTime(c.h, c.mi, c.s, c.ms));
    if (!std::isnan(c.value)) {
      EXPECT_NEAR(value.Val, c.value, 1e-9);
    }
    WORD y, m, d, h, mi, s, ms;
    DecodeDate(value, y, m, d);
    DecodeTime(value, h, mi, s, ms);
    EXPECT_EQ((std::vector<int>{y, m, d, h, mi, s, ms}), (std::vector<int>{c.y, c.m, c.d, c.h, c.mi, c.s, c.ms}));
    SYSTEMTIME sys{};
    ASSERT_TRUE(TryDateTimeToSystemTime(value, sys));
    EXPECT_NEAR(SystemTimeToDateTime(sys).Val, value.Val, 1e-9);
  }
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 6)), 4);   // a Wednesday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);
}

TEST(DateTimeValueTest, DatesAndTimesThatDoNotExistAreRefused) {
  TDateTime out;
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, out));
  EXPECT_FALSE(TryEncodeDate(2023, 4, 31, out));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, out));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, out));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, out));
  EXPECT_THROW(EncodeDate(2024, 2, 30), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  SYSTEMTIME sys = Sys(2024, 2, 30);
  EXPECT_FALSE(TrySystemTimeToDateTime(sys, out));
  // Values outside the range, or not numbers, decode to zeros.
  for (double bad : {-693594.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(YmdOf(bad), (Ymd{0, 0, 0})) << bad;
    EXPECT_FALSE(TryDateTimeToSystemTime(bad, sys)) << bad;
  }
}

TEST(DateTimeValueTest, NowFollowsTheDrivenClock) {
  ScopedDrivenClock clock;   // 2024-03-06 09:30:00 local
  EXPECT_EQ(YmdOf(Date()), (Ymd{2024, 3, 6}));
  EXPECT_NEAR(Time().Val, 9.5 / 24, 1e-9);
  EXPECT_EQ(Date().Val, std::trunc(Now().Val));
}

// ---- Fixture: a form that records the WM_NOTIFY it receives ---------------------------------------

struct Note {
  UINT code;
  HWND from;
  SYSTEMTIME time;
};

class TNoteForm : public TForm {
 public:
  using TForm::TForm;
  std::vector<Note> notes;
  std::function<void(const NMHDR&)> onNotify;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_NOTIFY && m.LParam != 0) {
      const auto* header = reinterpret_cast<const NMHDR*>(m.LParam);
      Note note{header->code, header->hwndFrom, {}};
      if (header->code == MCN_SELCHANGE || header->code == MCN_SELECT) {
        note.time = reinterpret_cast<const NMSELCHANGE*>(header)->stSelStart;
      } else if (header->code == DTN_DATETIMECHANGE) {
        note.time = reinterpret_cast<const NMDATETIMECHANGE*>(header)->st;
      }
      notes.push_back(note);
      if (onNotify) onNotify(*header);
    }
    TForm::WndProc(m);
  }
  std::vector<UINT> Codes() const {
    std::vector<UINT> codes;
    for (const Note& n : notes) codes.push_back(n.code);
    return codes;
  }
};

class DateControlTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TNoteForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  HWND Raw(const char* className, DWORD style, int w, int h) {
    HWND window = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 5, 5, w, h, form_->Handle(),
                                  reinterpret_cast<HMENU>(7), nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    return window;
  }
  static QWidget* Hosted(HWND window) {
    auto w = zuvo::platform::win::Find(window);
    return w ? w->hosted : nullptr;
  }
  // The centre of a day of the shown month in the calendar's client coordinates.
  static bool DayPoint(HWND calendarWindow, int day, int* x, int* y) {
    auto* calendar = qobject_cast<QCalendarWidget*>(Hosted(calendarWindow));
    if (calendar == nullptr) return false;
    auto* view = calendar->findChild<QTableView*>();
    if (view == nullptr) return false;
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
      for (int column = 0; column < model->columnCount(); ++column) {
        const QModelIndex index = model->index(row, column);
        // The 15th is shown only once: the neighbouring months' days at the edges are below
        // 15 after the month and above it before.
        if (model->data(index, Qt::DisplayRole).toString() != QString::number(day)) continue;
        const QPoint centre = view->viewport()->mapTo(calendar, view->visualRect(index).center());
        *x = centre.x();
        *y = centre.y();
        return true;
      }
    }
    return false;
  }
  TNoteForm* form_ = nullptr;
};

// ---- Raw classes --------------------------------------------------------------------------------------

TEST_F(DateControlTest, RawClassesRoundTripTheirValueAndRefuseBadOnes) {
  HWND calendar = Raw("SysMonthCal32", 0, 220, 180);
  HWND picker = Raw("SysDateTimePick32", DTS_SHORTDATEFORMAT, 120, 22);
  HWND timer = Raw("SysDateTimePick32", DTS_TIMEFORMAT, 120, 22);

  SYSTEMTIME set = Sys(2021, 7, 14);
  ASSERT_TRUE(SendMessageA(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&set)));
  SYSTEMTIME got{};
  ASSERT_TRUE(SendMessageA(calendar, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&got)));
  EXPECT_EQ((std::vector<int>{got.wYear, got.wMonth, got.wDay, got.wDayOfWeek}), (std::vector<int>{2021, 7, 14, 3}));

  for (HWND field : {picker, timer}) {
    set = Sys(1999, 12, 31, 23, 58, 7);
    ASSERT_TRUE(SendMessageA(field, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&set)));
    got = SYSTEMTIME{};
    ASSERT_EQ(SendMessageA(field, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&got)), GDT_VALID);
    EXPECT_EQ((std::vector<int>{got.wYear, got.wMonth, got.wDay, got.wHour, got.wMinute, got.wSecond}),
              (std::vector<int>{1999, 12, 31, 23, 58, 7}));
  }

  // Out of range or naming nothing: refused, the value stays.
  const SYSTEMTIME bad[] = {Sys(1600, 12, 31), Sys(2024, 2, 30), Sys(2024, 13, 1), Sys(0, 0, 0),
                            Sys(2024, 1, 1, 24), Sys(2024, 1, 1, 0, 60), Sys(2024, 1, 1, 0, 0, 0, 1000)};
  for (const SYSTEMTIME& b : bad) {
    SCOPED_TRACE(testing::Message() << b.wYear << '-' << b.wMonth << '-' << b.wDay << ' ' << b.wHour);
    if (b.wHour == 0 && b.wMinute == 0 && b.wMilliseconds == 0) {
      EXPECT_FALSE(SendMessageA(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&b)));
    }
    EXPECT_FALSE(SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&b)));
  }
  EXPECT_FALSE(SendMessageA(calendar, MCM_SETCURSEL, 0, 0));
  EXPECT_FALSE(SendMessageA(calendar, MCM_GETCURSEL, 0, 0));
  EXPECT_FALSE(SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, 0));
  EXPECT_FALSE(SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_NONE, 0));   // no empty value without DTS_SHOWNONE
  EXPECT_EQ(SendMessageA(picker, DTM_GETSYSTEMTIME, 0, 0), GDT_ERROR);
  SendMessageA(calendar, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ((std::vector<int>{got.wYear, got.wMonth, got.wDay}), (std::vector<int>{2021, 7, 14}));
  SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ((std::vector<int>{got.wYear, got.wMonth, got.wDay, got.wHour}), (std::vector<int>{1999, 12, 31, 23}));

  // A range narrows what is taken; a minimum after the maximum is refused.
  SYSTEMTIME range[2] = {Sys(2020, 1, 1), Sys(2020, 12, 31)};
  ASSERT_TRUE(SendMessageA(calendar, MCM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range)));
  set = Sys(2021, 1, 1);
  EXPECT_FALSE(SendMessageA(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&set)));
  SYSTEMTIME inverted[2] = {Sys(2021, 1, 1), Sys(2020, 1, 1)};
  EXPECT_FALSE(SendMessageA(picker, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(inverted)));
  SYSTEMTIME back[2] = {};
  EXPECT_EQ(SendMessageA(calendar, MCM_GETRANGE, 0, reinterpret_cast<LPARAM>(back)), GDTR_MIN | GDTR_MAX);
  EXPECT_EQ((std::vector<int>{back[0].wYear, back[1].wYear, back[1].wMonth}), (std::vector<int>{2020, 2020, 12}));

  // Values set by messages are not told to the parent.
  ProcessPendingMessages();
  EXPECT_TRUE(form_->notes.empty());
}

TEST_F(DateControlTest, CalendarNaturalSizeIsPositiveAndStable) {
  HWND calendar = Raw("SysMonthCal32", 0, 50, 50);
  RECT first{};
  ASSERT_TRUE(SendMessageA(calendar, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&first)));
  EXPECT_GT(first.right - first.left, 100);
  EXPECT_GT(first.bottom - first.top, 100);
  EXPECT_FALSE(SendMessageA(calendar, MCM_GETMINREQRECT, 0, 0));
  // Months of four to six weeks and long month names need no other size.
  for (SYSTEMTIME day : {Sys(2015, 2, 1), Sys(2021, 5, 31), Sys(2024, 9, 30), Sys(9999, 12, 31), Sys(1601, 1, 1)}) {
    ASSERT_TRUE(SendMessageA(calendar, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&day)));
    RECT again{};
    SendMessageA(calendar, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&again));
    EXPECT_EQ((std::vector<LONG>{again.right, again.bottom}), (std::vector<LONG>{first.right, first.bottom}));
  }

  // The class library's calendar takes its natural size, the same before its window exists
  // and after.
  auto* control = new TMonthCalendar(form_);
  control->SetParent(form_);
  const int width = control->Width(), height = control->Height();
  EXPECT_GT(width, 100);
  EXPECT_GT(height, 100);
  control->HandleNeeded();
  RECT natural{};
  SendMessageA(control->Handle(), MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&natural));
  EXPECT_EQ((std::vector<int>{control->Width(), control->Height()}), (std::vector<int>{width, height}));
  EXPECT_EQ((std::vector<LONG>{natural.right, natural.bottom}), (std::vector<LONG>{width, height}));
  auto* second = new TMonthCalendar(form_);
  second->SetParent(form_);
  EXPECT_EQ((std::vector<int>{second->Width(), second->Height()}), (std::vector<int>{width, height}));
  // A larger font needs more room.
  second->Font()->SetHeight(-24);
  EXPECT_GT(second->Width(), width);
  EXPECT_GT(second->Height(), height);
}

// ---- Input through our chain ---------------------------------------------------------------------------

TEST_F(DateControlTest, ClickOnADayChangesTheDateAndTellsTheParent) {
  auto* calendar = new TMonthCalendar(form_);
  calendar->SetParent(form_);
  calendar->SetDate(EncodeDate(2024, 3, 6));
  int changes = 0;
  calendar->OnChange = [&](TObject*) { ++changes; };
  int clicks = 0;
  calendar->OnClick = [&](TObject*) { ++clicks; };
  ProcessPendingMessages();
  int x = 0, y = 0;
  ASSERT_TRUE(DayPoint(calendar->Handle(), 15, &x, &y));
  SimulateMouse(calendar->Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON);
  SimulateMouse(calendar->Handle(), WM_LBUTTONUP, x, y, 0);
  ProcessPendingMessages();
  EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{2024, 3, 15}));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(calendar->Focused());
  ASSERT_EQ(form_->Codes(), (std::vector<UINT>{MCN_SELCHANGE, MCN_SELECT}));
  EXPECT_EQ(form_->notes[0].from, calendar->Handle());
  EXPECT_EQ(form_->notes[0].time.wDay, 15);

  // Keys reach the calendar too: Right moves a day; a handler that consumes the key stops it.
  SimulateKey(calendar->Handle(), VK_RIGHT, true, 0);
  SimulateKey(calendar->Handle(), VK_RIGHT, false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{2024, 3, 16}));
  EXPECT_EQ(changes, 2);
  calendar->OnKeyDown = [](TObject*, WORD& key, TShiftState) { key = 0; };
  SimulateKey(calendar->Handle(), VK_RIGHT, true, 0);
  ProcessPendingMessages();
  EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{2024, 3, 16}));
  EXPECT_EQ(changes, 2);
}

TEST_F(DateControlTest, TimePickerStepsWithUpThroughTheChain) {
  auto* picker = new TDateTimePicker(form_);
  picker->SetParent(form_);
  picker->SetKind(dtkTime);
  picker->SetDate(EncodeDate(2024, 3, 6));
  picker->SetTime(EncodeTime(10, 30, 0, 0));
  int changes = 0;
  picker->OnChange = [&](TObject*) { ++changes; };
  picker->SetFocus();
  ProcessPendingMessages();
  ASSERT_TRUE(picker->Focused());
  SimulateKey(picker->Handle(), VK_UP, true, 0);
  SimulateKey(picker->Handle(), VK_UP, false, 0);
  ProcessPendingMessages();
  WORD h, mi, s, ms;
  DecodeTime(picker->Time(), h, mi, s, ms);
  EXPECT_EQ((std::vector<int>{h, mi, s}), (std::vector<int>{11, 30, 0}));
  EXPECT_EQ(YmdOf(picker->Date()), (Ymd{2024, 3, 6}));   // the day stays
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(form_->Codes(), (std::vector<UINT>{DTN_DATETIMECHANGE}));
  EXPECT_EQ(form_->notes[0].time.wHour, 11);

  // Down steps back; a key the control's OnKeyDown consumes never reaches the field.
  SimulateKey(picker->Handle(), VK_DOWN, true, 0);
  ProcessPendingMessages();
  DecodeTime(picker->Time(), h, mi, s, ms);
  EXPECT_EQ(h, 10);
  picker->OnKeyDown = [](TObject*, WORD& key, TShiftState) { key = 0; };
  SimulateKey(picker->Handle(), VK_UP, true, 0);
  ProcessPendingMessages();
  DecodeTime(picker->Time(), h, mi, s, ms);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(changes, 2);
}

// The drop-down calendar of a date field: the arrow opens it through our chain; the popup keeps
// Qt's own input, and a day clicked in it is the field's new date, told to the parent. With
// `destroy` the parent's handler destroys the field from inside the popup's click.
void PickFromDropDown(HWND field, int day) {
  auto* edit = qobject_cast<QDateTimeEdit*>(zuvo::platform::win::Find(field)->hosted);
  ASSERT_NE(edit, nullptr);
  RECT client{};
  GetClientRect(field, &client);
  SimulateMouse(field, WM_LBUTTONDOWN, client.right - 6, client.bottom / 2, MK_LBUTTON);
  SimulateMouse(field, WM_LBUTTONUP, client.right - 6, client.bottom / 2, 0);
  ProcessPendingMessages();
  QCalendarWidget* popup = edit->calendarWidget();
  ASSERT_NE(popup, nullptr);
  ASSERT_TRUE(popup->isVisible());
  auto* view = popup->findChild<QTableView*>();
  ASSERT_NE(view, nullptr);
  QAbstractItemModel* model = view->model();
  for (int row = 0; row < model->rowCount(); ++row) {
    for (int column = 0; column < model->columnCount(); ++column) {
      const QModelIndex index = model->index(row, column);
      if (model->data(index, Qt::DisplayRole).toString() != QString::number(day)) continue;
      QPointer<QWidget> viewport = view->viewport();
      const QPointF at = view->visualRect(index).center();
      QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
      QCoreApplication::sendEvent(viewport, &press);
      if (viewport.isNull()) return;
      QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
      QCoreApplication::sendEvent(viewport, &release);
      ProcessPendingMessages();
      return;
    }
  }
  FAIL() << "no day " << day;
}

TEST_F(DateControlTest, DropDownCalendarSetsTheDate) {
  auto* picker = new TDateTimePicker(form_);
  picker->SetParent(form_);
  picker->SetDateTime(EncodeDate(2024, 3, 6) + 0.25);
  int changes = 0;
  picker->OnChange = [&](TObject*) { ++changes; };
  ProcessPendingMessages();
  PickFromDropDown(picker->Handle(), 15);
  EXPECT_NEAR(picker->DateTime().Val, EncodeDate(2024, 3, 15) + 0.25, 1e-9);   // the time stays
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(form_->Codes(), (std::vector<UINT>{DTN_DATETIMECHANGE}));
  EXPECT_EQ(form_->notes[0].time.wDay, 15);
}

TEST_F(DateControlTest, AHandlerDestroyingThePickerDuringItsNotificationIsSafe) {
  // From a step by key (a replay through our chain) and from the drop-down (Qt's own input).
  for (DWORD style : {DTS_TIMEFORMAT, DTS_SHORTDATEFORMAT}) {
    HWND picker = Raw("SysDateTimePick32", style, 120, 22);
    SYSTEMTIME set = Sys(2024, 3, 6, 8, 0, 0);
    SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&set));
    form_->notes.clear();
    form_->onNotify = [&](const NMHDR& header) { DestroyWindow(header.hwndFrom); };
    SetFocus(picker);
    ProcessPendingMessages();
    if (style == DTS_TIMEFORMAT) {
      SimulateKey(picker, VK_UP, true, 0);
      ProcessPendingMessages();
    } else {
      PickFromDropDown(picker, 15);
    }
    EXPECT_FALSE(IsWindow(picker));
    EXPECT_EQ(form_->Codes(), (std::vector<UINT>{DTN_DATETIMECHANGE}));
    form_->onNotify = nullptr;
  }
}

// ---- Class library properties -------------------------------------------------------------------------

TEST_F(DateControlTest, PropertiesRoundTripBeforeAndAfterTheWindow) {
  ScopedDrivenClock clock;   // 2024-03-06 09:30 local
  auto* calendar = new TMonthCalendar(form_);
  EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{2024, 3, 6}));   // today by default
  calendar->SetDate(EncodeDate(1987, 6, 5) + 0.75);   // the time part is dropped
  EXPECT_EQ(calendar->Date().Val, EncodeDate(1987, 6, 5).Val);
  calendar->SetParent(form_);
  calendar->HandleNeeded();
  EXPECT_EQ(calendar->Date().Val, EncodeDate(1987, 6, 5).Val);
  calendar->SetDate(EncodeDate(1650, 1, 2));   // before 1899-12-30
  EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{1650, 1, 2}));

  auto* date = new TDateTimePicker(form_);
  auto* time = new TDateTimePicker(form_);
  time->SetKind(dtkTime);
  const TDateTime moment = ComposeDateTime(EncodeDate(2008, 8, 8), EncodeTime(20, 8, 0, 0));
  for (TDateTimePicker* picker : {date, time}) {
    picker->SetDateTime(moment);
    EXPECT_NEAR(picker->DateTime().Val, moment.Val, 1e-9);
    picker->SetParent(form_);
    picker->HandleNeeded();
    EXPECT_NEAR(picker->DateTime().Val, moment.Val, 1e-9);
    picker->SetDate(EncodeDate(2010, 1, 2));   // keeps the time
    picker->SetTime(EncodeTime(7, 5, 0, 0));   // keeps the date
    WORD h, mi, s, ms;
    DecodeTime(picker->Time(), h, mi, s, ms);
    EXPECT_EQ(YmdOf(picker->Date()), (Ymd{2010, 1, 2}));
    EXPECT_EQ((std::vector<int>{h, mi}), (std::vector<int>{7, 5}));
    EXPECT_LT(picker->Time().Val, 1.0);
    EXPECT_EQ(picker->Date().Val, std::trunc(picker->Date().Val));
  }
  // A kind change remakes the window and keeps the value.
  date->SetKind(dtkTime);
  EXPECT_EQ(YmdOf(date->Date()), (Ymd{2010, 1, 2}));
  EXPECT_EQ(form_->Codes(), std::vector<UINT>{});   // nothing set by code is told
}

TEST_F(DateControlTest, ValuesOutsideTheRangeAreIgnored) {
  auto* calendar = new TMonthCalendar(form_);
  auto* picker = new TDateTimePicker(form_);
  calendar->SetDate(EncodeDate(2001, 2, 3));
  picker->SetDateTime(EncodeDate(2001, 2, 3) + 0.5);
  const double bad[] = {EncodeDate(1600, 12, 31), EncodeDate(1, 1, 1), 2958466.0, -1e12, 1e300,
                        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
  for (bool windowed : {false, true}) {
    if (windowed) {
      calendar->SetParent(form_);
      picker->SetParent(form_);
      calendar->HandleNeeded();
      picker->HandleNeeded();
    }
    for (double value : bad) {
      SCOPED_TRACE(testing::Message() << value << (windowed ? " windowed" : ""));
      calendar->SetDate(value);
      picker->SetDateTime(value);
      picker->SetDate(value);
      // A time is the fraction of any value in the range; only the others are no time.
      if (!IsValidDateTime(value)) picker->SetTime(value);
      EXPECT_EQ(YmdOf(calendar->Date()), (Ymd{2001, 2, 3}));
      EXPECT_EQ(YmdOf(picker->Date()), (Ymd{2001, 2, 3}));
      EXPECT_NEAR(picker->Time().Val, 0.5, 1e-9);
    }
  }
}

}  // namespace
