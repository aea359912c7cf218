// PackedTime: the 32-bit date-time word of every record and file (bits 0-5 minute, 6-10 hour,
// 11-15 day, 16-19 month, 20-31 full year), so comparing words as unsigned integers compares
// them in time. Calendar operations on it (weeks run Sunday to Saturday) and the wrap-safe
// millisecond interval test of timers and request throttles. Pure computation, any thread.
#pragma once

#include <cstdint>

using PackedTime = std::uint32_t;

constexpr PackedTime MakePackedTime(int year, int month, int day, int hour = 0, int minute = 0) {
  return (static_cast<PackedTime>(year & 0xFFF) << 20) | (static_cast<PackedTime>(month & 0xF) << 16) |
         (static_cast<PackedTime>(day & 0x1F) << 11) | (static_cast<PackedTime>(hour & 0x1F) << 6) |
         static_cast<PackedTime>(minute & 0x3F);
}
constexpr int PackedYear(PackedTime t) { return static_cast<int>(t >> 20); }
constexpr int PackedMonth(PackedTime t) { return static_cast<int>((t >> 16) & 0xF); }
constexpr int PackedDay(PackedTime t) { return static_cast<int>((t >> 11) & 0x1F); }
constexpr int PackedHour(PackedTime t) { return static_cast<int>((t >> 6) & 0x1F); }
constexpr int PackedMinute(PackedTime t) { return static_cast<int>(t & 0x3F); }
// The date alone: hour and minute (the low 11 bits) cleared.
constexpr PackedTime PackedDate(PackedTime t) { return t & ~PackedTime{0x7FF}; }

// Divisible by 400, or by 4 and not by 100.
bool IsLeapYear(int year);
// Days of the month (29 for February of a leap year); 0 for a month outside 1..12.
int DaysInMonth(int year, int month);
// Month 1..12, day 1..month length, hour <= 23 and minute <= 59.
bool IsValidPackedTime(PackedTime t);

// Weekday of t's date, 0 Sunday to 6 Saturday; always in 0..6, also for invalid words.
int GetWeekday(PackedTime t);

// Moves *t to the same time of the next calendar day and returns true. An invalid word (see
// IsValidPackedTime), a null pointer, or 4095-12-31 (the last day the word can hold) is left
// unchanged and gives false.
bool NextDay(PackedTime* t);
// Moves *t to the same time of the previous calendar day and returns true. An invalid word, a
// null pointer or the date 0-01-01 is left unchanged and gives false.
bool PrevDay(PackedTime* t);
// The next calendar day of t, time kept. Not validated: a day beyond its month's end (or day 31,
// whose successor overflows the field) moves to the first of the next month, any month from 12
// up to January of the next year.
PackedTime DayAfter(PackedTime t);
// The Saturday of t's week (t itself on a Saturday), time kept.
PackedTime SaturdayOfWeek(PackedTime t);
// t with offsetHours (a market or time-zone offset, -23..23) added to its hour: passing midnight
// moves the date one day forward or back (NextDay / PrevDay), the minute is kept. Where the date
// cannot move (an invalid word, the first or last day the word can hold) only the hour changes.
PackedTime AddHoursWithDayCarry(PackedTime t, int offsetHours);

// Weekend stepping for trading days; each takes at most three calendar steps. All leave an
// invalid word unchanged and return false; true when *t now holds a weekday (Monday..Friday).
// Zero or more days back until *t is a weekday.
bool StepBackToWeekday(PackedTime* t);
// At least one day back, then back over Saturday and Sunday.
bool PrevWeekday(PackedTime* t);
// At least one day forward, then forward over Saturday and Sunday.
bool NextWeekday(PackedTime* t);

bool IsSameWeek(PackedTime a, PackedTime b);     // same Saturday of the week
bool IsSameMonth(PackedTime a, PackedTime b);    // same year and month
bool IsSameQuarter(PackedTime a, PackedTime b);  // same year, same (month + 2) / 3
bool IsSameDay(PackedTime a, PackedTime b);      // same year, month and day

// -1, 0 or 1 comparing the whole words as unsigned values.
int CompareTime(PackedTime a, PackedTime b);
// -1, 0 or 1 comparing the dates only (hour and minute ignored).
int CompareDate(PackedTime a, PackedTime b);

// True when at least interval milliseconds have passed from start to now on the platform's
// 32-bit tick counter, correct across its wrap (elapsed time is taken modulo 2^32).
bool IntervalElapsed(std::uint32_t start, std::uint32_t now, std::uint32_t interval);
