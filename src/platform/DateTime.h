// The class library's date and time value and its helpers.
//
// TDateTime is a double: the whole part counts days since 1899-12-30, the fraction is the time
// of day (0.5 is noon). Before 1899-12-30 the whole part is negative and the fraction still
// counts forward from midnight: -1.25 is 1899-12-29 06:00. Dates run from 0001-01-01 to
// 9999-12-31 (proleptic Gregorian calendar).
//
// Encoding a date or time that does not exist throws EConvertError; the Try forms answer false
// instead. Decoding a value outside the range (or not a number) gives zeros.
#pragma once

#include "platform/WinBase.h"

class TDateTime {
 public:
  constexpr TDateTime() = default;
  constexpr TDateTime(double value) : Val(value) {}   // NOLINT: the value is the number
  constexpr operator double() const { return Val; }

  void DecodeDate(WORD* year, WORD* month, WORD* day) const;
  void DecodeTime(WORD* hour, WORD* minute, WORD* second, WORD* msec) const;

  double Val = 0;
};

// 1899-12-30 and the range of dates that can be encoded.
constexpr double kMinDateTime = -693593.0;            // 0001-01-01
constexpr double kMaxDateTime = 2958465.99999999;     // 9999-12-31 23:59:59.999

bool IsValidDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);
TDateTime EncodeDate(int year, int month, int day);                 // EConvertError when invalid
TDateTime EncodeTime(int hour, int minute, int second, int msec);   // EConvertError when invalid
// A date (its whole part) with a time of day (its fraction), before 1899-12-30 too.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

void DecodeDate(TDateTime value, WORD& year, WORD& month, WORD& day);
void DecodeTime(TDateTime value, WORD& hour, WORD& minute, WORD& second, WORD& msec);
// The day part alone and the time part alone (a fraction from 0 to below 1).
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);
// 1 = Sunday ... 7 = Saturday; 0 for a value outside the range.
int DayOfWeek(TDateTime value);
// Inside the range of dates and a number.
bool IsValidDateTime(TDateTime value);

// Now by the local clock (GetLocalTime: a driven clock in the tests), its date and its time.
TDateTime Now();
TDateTime Date();
TDateTime Time();

// SYSTEMTIME (milliseconds kept, day of week filled in); false for a SYSTEMTIME that names no
// existing date or time, or a value outside the range.
bool TrySystemTimeToDateTime(const SYSTEMTIME& time, TDateTime& result);
bool TryDateTimeToSystemTime(TDateTime value, SYSTEMTIME& result);
TDateTime SystemTimeToDateTime(const SYSTEMTIME& time);            // EConvertError when invalid
void DateTimeToSystemTime(TDateTime value, SYSTEMTIME& result);     // zeros outside the range
