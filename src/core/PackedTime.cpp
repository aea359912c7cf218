#include "core/PackedTime.h"

namespace {

// Integer division and remainder rounding towards minus infinity, so that dates whose
// intermediate values go negative still give weekdays 0..6.
int FloorDiv(int a, int b) {
  int q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
int FloorMod(int a, int b) { return a - FloorDiv(a, b) * b; }

PackedTime WithDate(PackedTime t, int year, int month, int day) {
  return MakePackedTime(year, month, day, PackedHour(t), PackedMinute(t));
}

constexpr int kMaxYear = 0xFFF;

}  // namespace

bool IsLeapYear(int year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kLengths[month - 1];
}

bool IsValidPackedTime(PackedTime t) {
  const int month = PackedMonth(t);
  const int day = PackedDay(t);
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(PackedYear(t), month) &&
         PackedHour(t) <= 23 && PackedMinute(t) <= 59;
}

int GetWeekday(PackedTime t) {
  // Gauss's rule: January and February count as months 11 and 12 of the previous year.
  int m = PackedMonth(t) - 2;
  int y = PackedYear(t);
  if (m <= 0) {
    m += 12;
    y -= 1;
  }
  const int c = FloorDiv(y, 100);
  const int k = FloorMod(y, 100);
  const int w = PackedDay(t) + FloorDiv(13 * m - 1, 5) + k + k / 4 + FloorDiv(c, 4) - 2 * c;
  return FloorMod(w, 7);
}

bool NextDay(PackedTime* t) {
  if (t == nullptr || !IsValidPackedTime(*t)) return false;
  int year = PackedYear(*t), month = PackedMonth(*t), day = PackedDay(*t);
  if (day < DaysInMonth(year, month)) {
    ++day;
  } else if (month < 12) {
    day = 1;
    ++month;
  } else {
    if (year >= kMaxYear) return false;  // the year field would wrap to 0
    day = 1;
    month = 1;
    ++year;
  }
  *t = WithDate(*t, year, month, day);
  return true;
}

bool PrevDay(PackedTime* t) {
  if (t == nullptr || !IsValidPackedTime(*t)) return false;
  int year = PackedYear(*t), month = PackedMonth(*t), day = PackedDay(*t);
  if (day > 1) {
    --day;
  } else if (month > 1) {
    --month;
    day = DaysInMonth(year, month);
  } else {
    if (year == 0) return false;  // the year field would wrap to 4095
    --year;
    month = 12;
    day = 31;
  }
  *t = WithDate(*t, year, month, day);
  return true;
}

PackedTime AddHoursWithDayCarry(PackedTime t, int offsetHours) {
  int hour = PackedHour(t) + offsetHours;
  if (hour >= 24) {
    NextDay(&t);
    hour -= 24;
  } else if (hour < 0) {
    PrevDay(&t);
    hour += 24;
  }
  return (t & ~(PackedTime{0x1F} << 6)) | (static_cast<PackedTime>(hour & 0x1F) << 6);
}

PackedTime DayAfter(PackedTime t) {
  int year = PackedYear(t), month = PackedMonth(t);
  int day = (PackedDay(t) + 1) & 0x1F;
  if (day == 0 || day > DaysInMonth(year, month)) {
    day = 1;
    if (month >= 12) {
      month = 1;
      ++year;
    } else {
      ++month;
    }
  }
  return WithDate(t, year, month, day);
}

PackedTime SaturdayOfWeek(PackedTime t) {
  for (int steps = 6 - GetWeekday(t); steps > 0; --steps) t = DayAfter(t);
  return t;
}

namespace {
bool IsWeekend(PackedTime t) {
  const int weekday = GetWeekday(t);
  return weekday == 0 || weekday == 6;
}
}  // namespace

bool StepBackToWeekday(PackedTime* t) {
  if (t == nullptr || !IsValidPackedTime(*t)) return false;
  PackedTime day = *t;
  // A valid date reaches a Friday within two steps; the bound guards the calendar's edges.
  for (int steps = 0; IsWeekend(day); ++steps)
    if (steps == 3 || !PrevDay(&day)) return false;
  *t = day;
  return true;
}

bool PrevWeekday(PackedTime* t) {
  if (t == nullptr) return false;
  PackedTime day = *t;
  if (!PrevDay(&day) || !StepBackToWeekday(&day)) return false;
  *t = day;
  return true;
}

bool NextWeekday(PackedTime* t) {
  if (t == nullptr) return false;
  PackedTime day = *t;
  if (!NextDay(&day)) return false;
  for (int steps = 0; IsWeekend(day); ++steps)
    if (steps == 3 || !NextDay(&day)) return false;
  *t = day;
  return true;
}

bool IsSameWeek(PackedTime a, PackedTime b) {
  return IsSameDay(SaturdayOfWeek(a), SaturdayOfWeek(b));
}

bool IsSameMonth(PackedTime a, PackedTime b) {
  return PackedYear(a) == PackedYear(b) && PackedMonth(a) == PackedMonth(b);
}

bool IsSameQuarter(PackedTime a, PackedTime b) {
  return PackedYear(a) == PackedYear(b) && (PackedMonth(a) + 2) / 3 == (PackedMonth(b) + 2) / 3;
}

bool IsSameDay(PackedTime a, PackedTime b) { return PackedDate(a) == PackedDate(b); }

int CompareTime(PackedTime a, PackedTime b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareDate(PackedTime a, PackedTime b) { return CompareTime(PackedDate(a), PackedDate(b)); }

bool IntervalElapsed(std::uint32_t start, std::uint32_t now, std::uint32_t interval) {
  // Unsigned subtraction gives the time passed even when the counter wrapped in between.
  return static_cast<std::uint32_t>(now - start) >= interval;
}
