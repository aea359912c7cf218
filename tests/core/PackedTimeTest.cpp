#include "core/PackedTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace {

// The reference calendar: the C library's proleptic Gregorian calendar, one day at a time.
struct CalendarDay {
  int year, month, day, weekday;
};
CalendarDay ReferenceDay(std::int64_t daysSince1970) {
  const std::time_t seconds = static_cast<std::time_t>(daysSince1970 * 86400);
  const std::tm* tm = std::gmtime(&seconds);
  return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_wday};
}
std::int64_t DaysSince1970(int year) {
  // Days from 1970-01-01 to January 1 of year, for years after 1600.
  std::int64_t days = 0;
  for (int y = 1970; y < year; ++y) days += IsLeapYear(y) ? 366 : 365;
  for (int y = year; y < 1970; ++y) days -= IsLeapYear(y) ? 366 : 365;
  return days;
}

std::string Text(PackedTime t) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", PackedYear(t), PackedMonth(t), PackedDay(t),
                PackedHour(t), PackedMinute(t));
  return buffer;
}

TEST(PackedTimeTest, CalendarMatchesTheReferenceCalendarFor1700To2400) {
  const std::int64_t first = DaysSince1970(1700);
  const std::int64_t last = DaysSince1970(2401) - 1;
  for (std::int64_t d = first; d < last; ++d) {
    const CalendarDay today = ReferenceDay(d);
    const CalendarDay tomorrow = ReferenceDay(d + 1);
    const PackedTime t = MakePackedTime(today.year, today.month, today.day, 13, 47);
    const PackedTime next = MakePackedTime(tomorrow.year, tomorrow.month, tomorrow.day, 13, 47);
    ASSERT_EQ(GetWeekday(t), today.weekday) << Text(t);

    PackedTime moved = t;
    ASSERT_TRUE(NextDay(&moved)) << Text(t);
    ASSERT_EQ(moved, next) << Text(t);
    ASSERT_EQ(DayAfter(t), next) << Text(t);
    ASSERT_TRUE(PrevDay(&moved));
    ASSERT_EQ(moved, t) << Text(next);

    const CalendarDay saturday = ReferenceDay(d + 6 - today.weekday);
    ASSERT_EQ(SaturdayOfWeek(t), MakePackedTime(saturday.year, saturday.month, saturday.day, 13, 47)) << Text(t);
  }
}

TEST(PackedTimeTest, KnownWeekdaysAndDayMoves) {
  EXPECT_EQ(GetWeekday(MakePackedTime(2008, 6, 16)), 1);
  EXPECT_EQ(GetWeekday(MakePackedTime(2000, 1, 1)), 6);
  EXPECT_EQ(GetWeekday(MakePackedTime(2024, 3, 1)), 5);
  struct Move {
    PackedTime from, next;
  };
  const Move moves[] = {
      {MakePackedTime(2008, 2, 28, 10, 30), MakePackedTime(2008, 2, 29, 10, 30)},
      {MakePackedTime(2008, 2, 29), MakePackedTime(2008, 3, 1)},
      {MakePackedTime(1900, 2, 28), MakePackedTime(1900, 3, 1)},
      {MakePackedTime(2000, 2, 28), MakePackedTime(2000, 2, 29)},
      {MakePackedTime(2007, 12, 31, 23, 59), MakePackedTime(2008, 1, 1, 23, 59)},
      {MakePackedTime(2007, 2, 28), MakePackedTime(2007, 3, 1)},
  };
  for (const Move& m : moves) {
    PackedTime t = m.from;
    EXPECT_TRUE(NextDay(&t));
    EXPECT_EQ(Text(t), Text(m.next));
    EXPECT_TRUE(PrevDay(&t));
    EXPECT_EQ(Text(t), Text(m.from));
  }
}

TEST(PackedTimeTest, InvalidWordsAreLeftUnchanged) {
  const PackedTime invalid[] = {
      MakePackedTime(2008, 13, 5),       MakePackedTime(2008, 0, 5),  MakePackedTime(2008, 6, 0),
      MakePackedTime(2008, 6, 5, 24, 0), MakePackedTime(2008, 6, 5, 10, 60),
      MakePackedTime(2008, 4, 31),       MakePackedTime(2007, 2, 29),
  };
  for (PackedTime word : invalid) {
    PackedTime t = word;
    EXPECT_FALSE(NextDay(&t)) << Text(word);
    EXPECT_FALSE(PrevDay(&t)) << Text(word);
    EXPECT_FALSE(StepBackToWeekday(&t));
    EXPECT_FALSE(PrevWeekday(&t));
    EXPECT_FALSE(NextWeekday(&t));
    EXPECT_EQ(t, word) << Text(word);
    EXPECT_GE(GetWeekday(word), 0);
    EXPECT_LE(GetWeekday(word), 6);
  }
  // The ends of what the year field holds: no wrap to the other end.
  PackedTime last = MakePackedTime(4095, 12, 31);
  EXPECT_FALSE(NextDay(&last));
  EXPECT_EQ(last, MakePackedTime(4095, 12, 31));
  PackedTime first = MakePackedTime(0, 1, 1);
  EXPECT_FALSE(PrevDay(&first));
  EXPECT_EQ(first, MakePackedTime(0, 1, 1));
  EXPECT_FALSE(NextDay(nullptr));
  EXPECT_FALSE(PrevDay(nullptr));
}

TEST(PackedTimeTest, AddingHoursCarriesTheDateOverMidnight) {
  struct Case {
    PackedTime from;
    int hours;
    PackedTime expected;
  } cases[] = {
      {MakePackedTime(2008, 6, 30, 1, 15), 8, MakePackedTime(2008, 6, 30, 9, 15)},
      {MakePackedTime(2008, 6, 30, 20, 30), 8, MakePackedTime(2008, 7, 1, 4, 30)},
      {MakePackedTime(2007, 12, 31, 23, 59), 1, MakePackedTime(2008, 1, 1, 0, 59)},
      {MakePackedTime(2008, 3, 1, 2, 0), -5, MakePackedTime(2008, 2, 29, 21, 0)},
      {MakePackedTime(2008, 1, 1, 0, 0), -23, MakePackedTime(2007, 12, 31, 1, 0)},
      {MakePackedTime(2008, 6, 30, 23, 7), 23, MakePackedTime(2008, 7, 1, 22, 7)},
      {MakePackedTime(2008, 6, 30, 0, 0), 23, MakePackedTime(2008, 6, 30, 23, 0)},
      {MakePackedTime(2008, 6, 30, 12, 0), 0, MakePackedTime(2008, 6, 30, 12, 0)},
      // The date cannot move: the hour still wraps, the date stays.
      {MakePackedTime(2008, 4, 31, 22, 10), 3, MakePackedTime(2008, 4, 31, 1, 10)},
      {MakePackedTime(4095, 12, 31, 23, 0), 2, MakePackedTime(4095, 12, 31, 1, 0)},
      {MakePackedTime(0, 1, 1, 1, 0), -2, MakePackedTime(0, 1, 1, 23, 0)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(AddHoursWithDayCarry(c.from, c.hours)), Text(c.expected)) << Text(c.from) << " " << c.hours;
  }
}

TEST(PackedTimeTest, DayAfterMovesPastTheMonthEndWithoutChecking) {
  EXPECT_EQ(DayAfter(MakePackedTime(2008, 4, 31, 9, 5)), MakePackedTime(2008, 5, 1, 9, 5));
  EXPECT_EQ(DayAfter(MakePackedTime(2008, 12, 31)), MakePackedTime(2009, 1, 1));
  EXPECT_EQ(DayAfter(MakePackedTime(2008, 13, 3)), MakePackedTime(2009, 1, 1));
}

TEST(PackedTimeTest, WeekdayStepsSkipWeekends) {
  // 2024-03-01 is a Friday.
  struct Case {
    bool (*step)(PackedTime*);
    PackedTime from, to;
  };
  const Case cases[] = {
      {StepBackToWeekday, MakePackedTime(2024, 3, 3, 8, 0), MakePackedTime(2024, 3, 1, 8, 0)},
      {StepBackToWeekday, MakePackedTime(2024, 3, 2), MakePackedTime(2024, 3, 1)},
      {StepBackToWeekday, MakePackedTime(2024, 3, 1), MakePackedTime(2024, 3, 1)},
      {PrevWeekday, MakePackedTime(2024, 3, 4), MakePackedTime(2024, 3, 1)},
      {PrevWeekday, MakePackedTime(2024, 3, 5), MakePackedTime(2024, 3, 4)},
      {NextWeekday, MakePackedTime(2024, 3, 1), MakePackedTime(2024, 3, 4)},
      {NextWeekday, MakePackedTime(2024, 3, 2), MakePackedTime(2024, 3, 4)},
      {NextWeekday, MakePackedTime(2024, 2, 29), MakePackedTime(2024, 3, 1)},
  };
  for (const Case& c : cases) {
    PackedTime t = c.from;
    EXPECT_TRUE(c.step(&t)) << Text(c.from);
    EXPECT_EQ(Text(t), Text(c.to)) << Text(c.from);
  }
}

TEST(PackedTimeTest, SameWeekMonthQuarterAndDay) {
  // 2008-06-15 is a Sunday, 2008-06-21 the Saturday after it.
  EXPECT_TRUE(IsSameWeek(MakePackedTime(2008, 6, 15), MakePackedTime(2008, 6, 21, 23, 59)));
  EXPECT_FALSE(IsSameWeek(MakePackedTime(2008, 6, 21), MakePackedTime(2008, 6, 22)));
  EXPECT_TRUE(IsSameWeek(MakePackedTime(2008, 7, 29), MakePackedTime(2008, 8, 1)));  // across a month end
  EXPECT_TRUE(IsSameWeek(MakePackedTime(2007, 12, 30), MakePackedTime(2008, 1, 5)));  // across a year end
  EXPECT_FALSE(IsSameWeek(MakePackedTime(2007, 12, 29), MakePackedTime(2007, 12, 30)));

  EXPECT_FALSE(IsSameQuarter(MakePackedTime(2008, 3, 31), MakePackedTime(2008, 4, 1)));
  EXPECT_TRUE(IsSameQuarter(MakePackedTime(2008, 4, 1), MakePackedTime(2008, 6, 30)));
  EXPECT_FALSE(IsSameQuarter(MakePackedTime(2008, 4, 1), MakePackedTime(2009, 4, 1)));
  EXPECT_TRUE(IsSameMonth(MakePackedTime(2008, 4, 1), MakePackedTime(2008, 4, 30, 15, 0)));
  EXPECT_FALSE(IsSameMonth(MakePackedTime(2008, 4, 1), MakePackedTime(2009, 4, 1)));
  EXPECT_TRUE(IsSameDay(MakePackedTime(2008, 4, 1, 9, 30), MakePackedTime(2008, 4, 1, 15, 0)));
  EXPECT_FALSE(IsSameDay(MakePackedTime(2008, 4, 1), MakePackedTime(2008, 4, 2)));
}

TEST(PackedTimeTest, CompareTimeAndDate) {
  const PackedTime morning = MakePackedTime(2008, 6, 16, 9, 30);
  const PackedTime afternoon = MakePackedTime(2008, 6, 16, 15, 0);
  const PackedTime nextDay = MakePackedTime(2008, 6, 17, 0, 0);
  EXPECT_EQ(CompareDate(morning, afternoon), 0);
  EXPECT_EQ(CompareTime(morning, afternoon), -1);
  EXPECT_EQ(CompareTime(afternoon, morning), 1);
  EXPECT_EQ(CompareTime(morning, morning), 0);
  EXPECT_EQ(CompareDate(nextDay, afternoon), 1);
  EXPECT_EQ(CompareDate(afternoon, nextDay), -1);
  // Words above 2^31 (years from 2048) still compare as unsigned.
  EXPECT_EQ(CompareTime(MakePackedTime(2048, 1, 1), MakePackedTime(2047, 12, 31)), 1);
  EXPECT_EQ(CompareDate(MakePackedTime(2048, 1, 1), MakePackedTime(2047, 12, 31)), 1);
}

TEST(PackedTimeTest, IntervalElapsedAcrossTheTickWrap) {
  struct Case {
    std::uint32_t start, now, interval;
    bool elapsed;
  };
  const Case cases[] = {
      {100, 149, 50, false},
      {100, 150, 50, true},
      {0xFFFFFF00u, 0x50, 0x200, false},   // end wrapped, now wrapped but before it
      {0xFFFFFF00u, 0x100, 0x200, true},   // end wrapped, now reached it
      {0xFFFFFF00u, 0xFFFFFFF0u, 0x200, false},  // end wrapped, now not yet wrapped
      {0xFFFFFF00u, 0x10, 0x50, true},     // now wrapped, end did not
      {5000, 5000, 0, true},
      {0xFFFFFFFFu, 2699999, 2700000, true},
      {0xFFFFFFFFu, 2699998, 2700000, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IntervalElapsed(c.start, c.now, c.interval), c.elapsed)
        << std::hex << c.start << " " << c.now << " " << c.interval;
}

}  // namespace
