#include "data/BarAggregation.h"

#include "data/CacheRecords.h"
#include "data/CacheTestMarket.h"

#include <gtest/gtest.h>

#include <vector>

using cachetest::Bar;

namespace {

constexpr int kStock = 1;
constexpr int kFutures = 2;

struct Result {
  std::vector<ChartBar> bars;
  bool complete = true;
};

Result Aggregate(int cycle, int n, const std::vector<ChartBar>& base, int kind = kStock) {
  Result result;
  result.bars.resize(base.size() + 1);
  int count = -1;
  result.complete = true;
  AggregateBars(cycle, n, base.data(), static_cast<int>(base.size()), result.bars.data(), &count, kind,
                &result.complete);
  result.bars.resize(static_cast<std::size_t>(count));
  return result;
}

std::vector<int> Closes(const std::vector<ChartBar>& bars) {
  std::vector<int> closes;
  for (const ChartBar& bar : bars) closes.push_back(static_cast<int>(bar.close));
  return closes;
}

std::vector<ChartBar> Days(std::initializer_list<PackedTime> dates) {
  std::vector<ChartBar> bars;
  std::uint32_t close = 10;
  for (PackedTime date : dates) bars.push_back(Bar(date, close++));
  return bars;
}

PackedTime D(int year, int month, int day) { return MakePackedTime(year, month, day); }

TEST(AggregateBars, WeekFromMondayToFridayAndTheNextMonday) {
  std::vector<ChartBar> days = Days({D(2008, 6, 16), D(2008, 6, 17), D(2008, 6, 18), D(2008, 6, 19),
                                     D(2008, 6, 20), D(2008, 6, 23)});
  days[2].high = 99;
  days[3].low = 1;
  const Result week = Aggregate(kCycleWeek, 0, days);
  ASSERT_EQ(week.bars.size(), 2u);
  const ChartBar& first = week.bars[0];
  EXPECT_EQ(first.time, D(2008, 6, 20));
  EXPECT_EQ(first.close, 14u);
  EXPECT_EQ(first.open, days[0].open);
  EXPECT_EQ(first.high, 99u);
  EXPECT_EQ(first.low, 1u);
  EXPECT_EQ(first.volume, 500.0f);
  EXPECT_EQ(first.amount, 5000.0f);   // stock market: amounts are summed
  EXPECT_EQ(first.settlement, 14u);
  EXPECT_EQ(week.bars[1].close, 15u);
  EXPECT_TRUE(week.complete);
}

TEST(AggregateBars, CalendarGroupsFollowTheirBoundaries) {
  struct {
    const char* name;
    int cycle;
    std::vector<ChartBar> days;
    std::vector<int> closes;
  } cases[] = {
      // Weeks end on Saturday, also across a year end (2008-12-28 Sunday .. 2009-01-03 Saturday).
      {"week over the year end", kCycleWeek,
       Days({D(2008, 12, 27), D(2008, 12, 28), D(2008, 12, 31), D(2009, 1, 3), D(2009, 1, 4)}), {10, 13, 14}},
      {"months", kCycleMonth, Days({D(2008, 5, 30), D(2008, 6, 2), D(2008, 6, 30), D(2008, 7, 1)}), {10, 12, 13}},
      {"quarters", kCycleQuarter, Days({D(2008, 3, 31), D(2008, 4, 1), D(2008, 6, 30), D(2008, 7, 1)}), {10, 12, 13}},
      {"same month of another year", kCycleMonth, Days({D(2007, 6, 1), D(2008, 6, 1)}), {10, 11}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Closes(Aggregate(c.cycle, 0, c.days).bars), c.closes);
  }
}

TEST(AggregateBars, NDayGroupsReportAShortLastGroup) {
  std::vector<ChartBar> seven;
  for (int day = 2; day <= 8; ++day) seven.push_back(Bar(D(2008, 6, day), 10 + day));
  const Result threes = Aggregate(kCycleNDay, 3, seven);
  EXPECT_EQ(Closes(threes.bars), (std::vector<int>{14, 17, 18}));
  EXPECT_EQ(threes.bars[1].open, seven[3].open);
  EXPECT_FALSE(threes.complete);

  seven.pop_back();
  EXPECT_TRUE(Aggregate(kCycleNDay, 3, seven).complete);

  // N of 1 or less has no group size: the day bars are shown as they are.
  for (int n : {1, 0, -2}) {
    const Result copy = Aggregate(kCycleNDay, n, seven);
    EXPECT_EQ(copy.bars.size(), seven.size()) << n;
    EXPECT_TRUE(copy.complete);
  }
}

TEST(AggregateBars, IntradayGroupsNeverCrossADay) {
  auto at = [](int day, int hour, int minute) { return MakePackedTime(2008, 6, day, hour, minute); };
  // Five-minute bars into 15 minutes: 09:35, 09:40, 09:45 | 09:50 | next day 09:35.
  std::vector<ChartBar> fives = {Bar(at(16, 9, 35), 1), Bar(at(16, 9, 40), 2), Bar(at(16, 9, 45), 3),
                                 Bar(at(16, 9, 50), 4), Bar(at(17, 9, 35), 5)};
  const Result fifteen = Aggregate(kCycle15Min, 0, fives);
  ASSERT_EQ(Closes(fifteen.bars), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(fifteen.bars[0].time, at(16, 9, 45));
  EXPECT_EQ(fifteen.bars[0].open, fives[0].open);

  std::vector<ChartBar> dayEnd = {Bar(at(16, 14, 55), 1), Bar(at(16, 15, 0), 2), Bar(at(17, 9, 35), 3),
                                  Bar(at(17, 9, 40), 4)};
  EXPECT_EQ(Closes(Aggregate(kCycle15Min, 0, dayEnd).bars), (std::vector<int>{2, 4}));
}

TEST(AggregateBars, GroupSizeFollowsTheCycleAndItsBasePeriod) {
  std::vector<ChartBar> bars;
  for (int i = 0; i < 12; ++i) bars.push_back(Bar(MakePackedTime(2008, 6, 16, 9, i), 100 + i));
  struct {
    int cycle;
    int n;
    std::size_t count;
  } cases[] = {
      {kCycle3Min, 0, 4},   {kCycle30Min, 0, 2},   {kCycle120Min, 0, 6}, {kCycle240Min, 0, 3},
      {kCycleNMin, 10, 6},  // five-minute base: groups of 2
      {kCycleNMin, 120, 6}, // sixty-minute base: groups of 2
      {kCycleNMin, 7, 2},   // one-minute base: groups of 7
      {kCycleNMin, 5, 12},  {kCycleNMin, 60, 12}, {kCycleNMin, 1, 12}, {kCycleNMin, 0, 12},
      {kCycle1Min, 0, 12},  {kCycle5Min, 0, 12},  {kCycle60Min, 0, 12}, {kCycleDay, 0, 12},
      {kCycleTick, 0, 12},  {99, 0, 12},
  };
  for (auto c : cases) {
    EXPECT_EQ(Aggregate(c.cycle, c.n, bars).bars.size(), c.count) << c.cycle << " N " << c.n;
  }
}

TEST(AggregateBars, OpenInterestIsALevelInFuturesMarkets) {
  std::vector<ChartBar> days = Days({D(2008, 6, 16), D(2008, 6, 17)});
  days[0].amount = 300;
  days[1].amount = 320;
  EXPECT_EQ(Aggregate(kCycleWeek, 0, days, kFutures).bars[0].amount, 320.0f);
  EXPECT_EQ(Aggregate(kCycleWeek, 0, days, 7).bars[0].amount, 320.0f);
  EXPECT_EQ(Aggregate(kCycleWeek, 0, days, 6).bars[0].amount, 620.0f);
  EXPECT_EQ(Aggregate(kCycleWeek, 0, days, kStock).bars[0].amount, 620.0f);
}

TEST(AggregateBars, MergesInPlaceAndHandlesEmptyInput) {
  std::vector<ChartBar> days;
  for (int day = 2; day <= 30; ++day) days.push_back(Bar(D(2008, 6, day), static_cast<std::uint32_t>(day)));
  const Result separate = Aggregate(kCycleWeek, 0, days);
  std::vector<ChartBar> inPlace = days;
  int count = 0;
  AggregateBars(kCycleWeek, 0, inPlace.data(), static_cast<int>(inPlace.size()), inPlace.data(), &count, kStock,
                nullptr);
  ASSERT_EQ(count, static_cast<int>(separate.bars.size()));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(inPlace[i].close, separate.bars[i].close);
    EXPECT_EQ(inPlace[i].open, separate.bars[i].open);
  }

  count = 7;
  bool complete = false;
  AggregateBars(kCycleWeek, 0, days.data(), 0, inPlace.data(), &count, kStock, &complete);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(complete);
}

TEST(AggregateMinuteBars, FiveMinutesAcrossTwoDays) {
  std::vector<ChartBar> minutes;
  for (int i = 0; i < 7; ++i) minutes.push_back(Bar(MakePackedTime(2008, 6, 16, 14, 53 + i), 100 + i));
  for (int i = 0; i < 3; ++i) minutes.push_back(Bar(MakePackedTime(2008, 6, 17, 9, 31 + i), 200 + i));
  std::vector<ChartBar> out(minutes.size());
  int count = 0;
  AggregateMinuteBars(kCycle5Min, 0, minutes.data(), static_cast<int>(minutes.size()), out.data(), &count, kFutures);
  out.resize(static_cast<std::size_t>(count));
  EXPECT_EQ(Closes(out), (std::vector<int>{104, 106, 202}));
  EXPECT_EQ(out[0].volume, 500.0f);
  EXPECT_EQ(out[0].amount, 1000.0f);   // futures: the last open interest

  struct {
    int cycle;
    int n;
    int count;
  } cases[] = {{kCycle1Min, 0, 10}, {kCycleNMin, 1, 10}, {kCycleNMin, 0, 10}, {kCycleNMin, 2, 6},
               {kCycle3Min, 0, 4},  {kCycle15Min, 0, 2}, {kCycleDay, 0, 10}};
  for (auto c : cases) {
    out.assign(minutes.size(), ChartBar{});
    AggregateMinuteBars(c.cycle, c.n, minutes.data(), static_cast<int>(minutes.size()), out.data(), &count, kStock);
    EXPECT_EQ(count, c.count) << c.cycle << " N " << c.n;
  }
}

}  // namespace
