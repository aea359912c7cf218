// Trading sessions, minute arithmetic, the market clock and the validation of market records.
#include "MarketTestUtil.h"
#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

namespace {

using markettest::MakeRecord;

class TradingSessionsTest : public ::testing::Test {
 protected:
  void SetUp() override { savedNow = SystemNow; }
  void TearDown() override { SystemNow = savedNow; }

  testsupport::TempInstall install;
  std::uint32_t savedNow = 0;
};

TEST_F(TradingSessionsTest, MinuteOfDayMapsToTradingMinutesThroughTheBreak) {
  // 09:00-11:30 and 13:00-15:00: 270 minutes, break midpoint 735.
  TMarketData table(0, MakeRecord("SH"));
  EXPECT_EQ(CategoryMinutesPerDay(&table, 0), 270);
  EXPECT_EQ(+table.record.categories[0].minutesPerDay, 270);
  EXPECT_EQ(table.maxMinutesPerDay, 270);
  const int cases[][2] = {{540, 0},   {541, 1},   {689, 149}, {690, 149}, {734, 149},
                          {735, 150}, {780, 150}, {781, 151}, {900, 269}, {1000, 269},
                          {300, 0},   {0, 0},     {1439, 269}};
  for (const auto& c : cases) {
    EXPECT_EQ(MinuteOfDayToIndex(&table, c[0], 0), c[1]) << "minute " << c[0];
  }
  const int back[][2] = {{0, 540}, {149, 689}, {150, 780}, {269, 899}, {500, 899}, {-5, 540}};
  for (const auto& c : back) {
    EXPECT_EQ(IndexToMinuteOfDay(&table, c[0], 0), c[1]) << "index " << c[0];
  }
}

TEST_F(TradingSessionsTest, SingleSessionAndCategoriesWithoutMinutes) {
  MarketRecord record = MakeRecord("SH", 1, 4, 2);
  record.categories[1].sessionCount = 1;
  record.categories[1].openMinute[0] = 570;
  record.categories[1].closeMinute[0] = 900;
  TMarketData table(0, record);
  EXPECT_EQ(CategoryMinutesPerDay(&table, 1), 330);
  EXPECT_EQ(MinuteOfDayToIndex(&table, 600, 1), 30);

  // A category without sessions has no trading minutes: conversions give 0, never
  // minutesPerDay - 1 wrapped to a huge index.
  record.categories[1].sessionCount = 0;
  TMarketData empty(0, record);
  EXPECT_EQ(+empty.record.categories[1].minutesPerDay, 0);
  EXPECT_EQ(MinuteOfDayToIndex(&empty, 600, 1), 0);
  EXPECT_EQ(IndexToMinuteOfDay(&empty, 10, 1), 0);
  // Out-of-range categories are answered, not read past the array.
  EXPECT_EQ(MinuteOfDayToIndex(&empty, 600, 15), 0);
  EXPECT_EQ(IndexToMinuteOfDay(&empty, 3, -1), 0);
  EXPECT_EQ(CategoryMinutesPerDay(&empty, 99), 0);
}

TEST_F(TradingSessionsTest, BadMarketRecordsAreValidatedAtConstruction) {
  struct Case {
    const char* what;
    void (*damage)(MarketRecord&);
    int categoryCount;
    int sessions;        // of category 0
    int minutesPerDay;   // of category 0
  } cases[] = {
      {"categoryCount 20", [](MarketRecord& r) { r.categoryCount = 20; }, 15, 2, 270},
      {"categoryCount 0", [](MarketRecord& r) { r.categoryCount = 0; }, 1, 2, 270},
      {"sessionCount 6", [](MarketRecord& r) { r.categories[0].sessionCount = 6; }, 2, 2, 270},
      {"close before open",
       [](MarketRecord& r) { r.categories[0].closeMinute[1] = 700; }, 2, 1, 150},
      {"first session backwards",
       [](MarketRecord& r) { r.categories[0].closeMinute[0] = 100; }, 2, 0, 0},
      {"sessions out of order",
       [](MarketRecord& r) { r.categories[0].openMinute[1] = 600; }, 2, 1, 150},
      {"close past midnight",
       [](MarketRecord& r) { r.categories[0].closeMinute[1] = 1500; }, 2, 1, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MarketRecord record = MakeRecord("SH");
    c.damage(record);
    if (c.sessions == 2 && record.categories[0].sessionCount == 6) {
      // Sessions 3..6 hold garbage that must never be read.
      record.categories[0].openMinute[2] = 1000;
      record.categories[0].closeMinute[2] = 60000;
    }
    TMarketData table(0, record);
    EXPECT_EQ(+table.record.categoryCount, c.categoryCount);
    EXPECT_EQ(table.record.categories[0].sessionCount, c.sessions);
    EXPECT_EQ(+table.record.categories[0].minutesPerDay, c.minutesPerDay);
    EXPECT_LE(table.maxMinutesPerDay, kMinutesPerDayLimit);
    EXPECT_LT(MinuteOfDayToIndex(&table, 1439, 0), std::max(c.minutesPerDay, 1));
    // With no names the last category is categoryCount - 1, within the categories array.
    EXPECT_EQ(table.GetCategory(0), c.categoryCount - 1);
  }

  MarketRecord offsets = MakeRecord("SH");
  offsets.hourOffset = 40;
  std::memset(offsets.code, 'X', sizeof offsets.code);   // no terminator in the file
  TMarketData clamped(0, offsets);
  EXPECT_EQ(+clamped.record.hourOffset, 23);
  EXPECT_EQ(std::strlen(clamped.record.code), sizeof offsets.code - 1);
}

TEST_F(TradingSessionsTest, MarketClockAddsTheHourOffsetWithDayCarry) {
  struct Case {
    PackedTime utc;
    int offset;
    PackedTime expected;
  } cases[] = {
      {MakePackedTime(2008, 6, 30, 1, 15), 8, MakePackedTime(2008, 6, 30, 9, 15)},
      {MakePackedTime(2008, 6, 30, 20, 30), 8, MakePackedTime(2008, 7, 1, 4, 30)},
      {MakePackedTime(2007, 12, 31, 23, 59), 1, MakePackedTime(2008, 1, 1, 0, 59)},
      {MakePackedTime(2008, 3, 1, 2, 0), -5, MakePackedTime(2008, 2, 29, 21, 0)},
  };
  for (const Case& c : cases) {
    MarketRecord record = MakeRecord("SH");
    record.hourOffset = static_cast<std::int16_t>(c.offset);
    SystemNow = c.utc;
    TMarketData table(0, record);
    EXPECT_EQ(table.now, c.expected);
    EXPECT_EQ(table.minuteOfDay, PackedHour(c.expected) * 60 + PackedMinute(c.expected));
  }
}

TEST_F(TradingSessionsTest, TradingDateIsYesterdayUntilTwoMinutesAfterTheDayChange) {
  // dayChangeMinute 530 (08:50); the market is UTC+8.
  SystemNow = MakePackedTime(2008, 6, 16, 0, 0);   // 08:00 market time
  TMarketData early(0, MakeRecord("SH"));
  EXPECT_EQ(early.minuteOfDay, 480);
  EXPECT_EQ(PackedDate(early.tradingDate[0]), MakePackedTime(2008, 6, 15));
  EXPECT_FALSE(early.IsCategoryClosed(0));

  SystemNow = MakePackedTime(2008, 6, 16, 0, 52);  // 08:52
  TMarketData late(0, MakeRecord("SH"));
  EXPECT_EQ(PackedDate(late.tradingDate[0]), MakePackedTime(2008, 6, 16));
  EXPECT_TRUE(late.IsCategoryClosed(0));

  EXPECT_FALSE(late.IsPastClose(0, 531));
  EXPECT_TRUE(late.IsPastClose(0, 532));
  EXPECT_FALSE(late.IsPastClose(20, 1000));   // no such category

  // The push client moves the clock: minute indexes follow.
  late.UpdateClock(MakePackedTime(2008, 6, 16, 5, 0));   // 13:00 market time
  EXPECT_EQ(late.minuteOfDay, 780);
  EXPECT_EQ(+late.record.categories[0].minuteIndex, 150);
}

}  // namespace
