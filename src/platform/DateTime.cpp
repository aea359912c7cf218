// The class library's date and time value (see DateTime.h).
#include "platform/DateTime.h"

#include "platform/Control.h"
#include "platform/Kernel.h"

#include <cmath>

namespace {

constexpr double kMsPerDay = 86400000.0;
// Days from 1970-01-01 to 1899-12-30, the value's day 0.
constexpr long long kEpochOffset = 25569;
// 10000-01-01: the first day past the range.
constexpr double kEndOfRange = 2958466.0;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int* year, int* month, int* day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// The day number (whole part) and the milliseconds of the day of a valid value.
void Split(double value, long long* dayNumber, long long* msOfDay) {
  const double whole = std::trunc(value);
  auto ms = static_cast<long long>(std::llround(std::fabs(value - whole) * kMsPerDay));
  // Rounding never carries into the next day: that would change the date part.
  if (ms >= static_cast<long long>(kMsPerDay)) ms = static_cast<long long>(kMsPerDay) - 1;
  *dayNumber = static_cast<long long>(whole);
  *msOfDay = ms;
}

}  // namespace

bool IsValidDateTime(TDateTime value) {
  return std::isfinite(value.Val) && value.Val >= kMinDateTime && value.Val < kEndOfRange;
}

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int last = month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
  return day <= last;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  result = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                               kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999) {
    return false;
  }
  result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result;
  if (!TryEncodeDate(year, month, day, result)) throw EConvertError("Invalid argument to date encode");
  return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime result;
  if (!TryEncodeTime(hour, minute, second, msec, result)) throw EConvertError("Invalid argument to time encode");
  return result;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  const double day = std::trunc(date.Val);
  const double fraction = std::fabs(time.Val - std::trunc(time.Val));
  return day < 0 ? day - fraction : day + fraction;
}

void DecodeDate(TDateTime value, WORD& year, WORD& month, WORD& day) {
  year = month = day = 0;
  if (!IsValidDateTime(value)) return;
  long long days = 0, ms = 0;
  Split(value.Val, &days, &ms);
  int y = 0, m = 0, d = 0;
  CivilFromDays(days - kEpochOffset, &y, &m, &d);
  year = static_cast<WORD>(y);
  month = static_cast<WORD>(m);
  day = static_cast<WORD>(d);
}

void DecodeTime(TDateTime value, WORD& hour, WORD& minute, WORD& second, WORD& msec) {
  hour = minute = second = msec = 0;
  if (!IsValidDateTime(value)) return;
  long long days = 0, ms = 0;
  Split(value.Val, &days, &ms);
  hour = static_cast<WORD>(ms / 3600000);
  minute = static_cast<WORD>(ms / 60000 % 60);
  second = static_cast<WORD>(ms / 1000 % 60);
  msec = static_cast<WORD>(ms % 1000);
}

void TDateTime::DecodeDate(WORD* year, WORD* month, WORD* day) const {
  WORD y = 0, m = 0, d = 0;
  ::DecodeDate(*this, y, m, d);
  if (year != nullptr) *year = y;
  if (month != nullptr) *month = m;
  if (day != nullptr) *day = d;
}

void TDateTime::DecodeTime(WORD* hour, WORD* minute, WORD* second, WORD* msec) const {
  WORD h = 0, m = 0, s = 0, ms = 0;
  ::DecodeTime(*this, h, m, s, ms);
  if (hour != nullptr) *hour = h;
  if (minute != nullptr) *minute = m;
  if (second != nullptr) *second = s;
  if (msec != nullptr) *msec = ms;
}

TDateTime DateOf(TDateTime value) { return std::trunc(value.Val); }

TDateTime TimeOf(TDateTime value) {
  if (!std::isfinite(value.Val)) return 0.0;
  return std::fabs(value.Val - std::trunc(value.Val));
}

int DayOfWeek(TDateTime value) {
  if (!IsValidDateTime(value)) return 0;
  // Day 0 (1899-12-30) was a Saturday.
  const long long days = static_cast<long long>(std::trunc(value.Val));
  return static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
}

bool TrySystemTimeToDateTime(const SYSTEMTIME& time, TDateTime& result) {
  TDateTime date, clock;
  if (!TryEncodeDate(time.wYear, time.wMonth, time.wDay, date)) return false;
  if (!TryEncodeTime(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds, clock)) return false;
  result = ComposeDateTime(date, clock);
  return true;
}

bool TryDateTimeToSystemTime(TDateTime value, SYSTEMTIME& result) {
  result = SYSTEMTIME{};
  if (!IsValidDateTime(value)) return false;
  ::DecodeDate(value, result.wYear, result.wMonth, result.wDay);
  ::DecodeTime(value, result.wHour, result.wMinute, result.wSecond, result.wMilliseconds);
  result.wDayOfWeek = static_cast<WORD>(DayOfWeek(value) - 1);
  return true;
}

TDateTime SystemTimeToDateTime(const SYSTEMTIME& time) {
  TDateTime result;
  if (!TrySystemTimeToDateTime(time, result)) throw EConvertError("Invalid argument to date encode");
  return result;
}

void DateTimeToSystemTime(TDateTime value, SYSTEMTIME& result) { TryDateTimeToSystemTime(value, result); }

TDateTime Now() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  TDateTime result;
  return TrySystemTimeToDateTime(now, result) ? result : TDateTime();
}

TDateTime Date() { return DateOf(Now()); }

TDateTime Time() { return TimeOf(Now()); }
