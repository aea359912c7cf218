// Loading the series from the cache files and the live update from pushed quotes.
#include "data/AgentTestMarket.h"

#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zuvo::platform;

namespace {

using agenttest::AgentTest;
using agenttest::Minute;
using agenttest::Pushed;
using agenttest::Trade;

HWND FakeWindow(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x20000 + n)); }

constexpr PackedTime kTuesday = MakePackedTime(2024, 3, 12);
constexpr PackedTime kMonday = MakePackedTime(2024, 3, 11);
constexpr PackedTime kLastFriday = MakePackedTime(2024, 3, 8);

PackedTime At(PackedTime day, int hour, int minute) {
  return day | static_cast<PackedTime>(hour << 6) | static_cast<PackedTime>(minute);
}

void Push(STKPTR stk, QuoteRecord& quote, const QuoteRecord& pushed, std::uint32_t flags = kQuoteNewTrade) {
  quote = pushed;
  UpdateAgentsFromQuote(stk, &quote, flags);
}

TEST_F(AgentTest, TickLoadFillsPriceGapsAndCountersThatStepBack) {
  const PackedTime t = At(agenttest::kWednesday, 9, 31);
  WriteCache("tick", "600000.tik",
             std::vector<TradeRecord>{Trade(t, 0, 100, kTradeBuy), Trade(t, 1010, 150, kTradeSell),
                                      Trade(t, 0, 140), Trade(t, 1020, 200)});
  QuoteOf() = Pushed(1020, 200, 0);
  QuoteOf().high = 1015;
  QuoteOf().low = 1005;
  const int index = SubscribeAgent(Stock(), kAgentTicks, 0, FakeWindow(1));
  const auto trades = Records<TradeRecord>(index);
  ASSERT_EQ(trades.size(), 4u);
  const std::uint32_t prices[] = {1000, 1010, 1010, 1020};
  const float volumes[] = {100, 50, 0, 50};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(trades[i].price, prices[i]) << i;
    EXPECT_FLOAT_EQ(trades[i].volume, volumes[i]) << i;
  }
  // Undetermined trades count half to each side.
  EXPECT_FLOAT_EQ(Agent(index).buyVolume, 125);
  EXPECT_FLOAT_EQ(Agent(index).sellVolume, 75);
  EXPECT_EQ(QuoteOf().high, 1020u);
  EXPECT_EQ(QuoteOf().low, 1005u);
  EXPECT_EQ(Agent(index).period, 0u);
  const auto* request = client->LastCall("RequestTicks");
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->args[2], Agent(index).requestTag);
}

TEST_F(AgentTest, ReloadAppendsTheLiveTradesTheCacheHasNotCaughtUpWith) {
  const int index = SubscribeAgent(Stock(), kAgentTicks, 0, FakeWindow(1));
  std::vector<TradeRecord> cached;
  for (int i = 1; i <= 10; ++i) {
    Push(Stock(), QuoteOf(), Pushed(1000 + i, 10.0f * i, 10));
    if (i <= 6) cached.push_back(Trade(At(agenttest::kWednesday, 10, 0), 1000 + i, 10.0f * i));
  }
  ASSERT_EQ(Agent(index).recordCount, 10);
  EXPECT_EQ(Agent(index).period, 10u);
  WriteCache("tick", "600000.tik", cached);
  CDataAgent::Reload(index);

  const auto trades = Records<TradeRecord>(index);
  ASSERT_EQ(trades.size(), 10u);
  EXPECT_EQ(Agent(index).period, 4u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(trades[i].price, 1001u + i);
    EXPECT_FLOAT_EQ(trades[i].volume, 10);
  }
}

TEST_F(AgentTest, ATickSeriesWhoseCacheWasDeletedKeepsMoreLiveTradesThanItEverHeld) {
  std::vector<TradeRecord> cached;
  for (int i = 1; i <= 50; ++i) cached.push_back(Trade(At(agenttest::kWednesday, 9, 40), 1000, static_cast<float>(i)));
  WriteCache("tick", "600000.tik", cached);
  const int index = SubscribeAgent(Stock(), kAgentTicks, 0, FakeWindow(1));
  ASSERT_EQ(Agent(index).recordCount, 50);
  const int live = kMinTickRecords + 200;
  for (int i = 1; i <= live; ++i) Push(Stock(), QuoteOf(), Pushed(1000 + i % 7, 50.0f + i, 1));
  EXPECT_EQ(Agent(index).recordCount, 50 + live);
  EXPECT_EQ(AgentCounters.cacheLoads, 1u);   // grown in memory, never reloaded for room
  EXPECT_GE(AgentCounters.growths, 1u);

  std::filesystem::remove(CacheFile("tick", "600000.tik"));
  paths::InvalidateCache();
  CDataAgent::Reload(index);
  const auto trades = Records<TradeRecord>(index);
  ASSERT_EQ(static_cast<int>(trades.size()), live);
  EXPECT_EQ(trades.back().price, 1000u + live % 7);
  Push(Stock(), QuoteOf(), Pushed(1003, 51.0f + live, 1));
  EXPECT_EQ(Agent(index).recordCount, live + 1);
}

TEST_F(AgentTest, ARepeatedQuoteAddsNoSecondTrade) {
  const int ticks = SubscribeAgent(Stock(), kAgentTicks, 0, FakeWindow(1));
  const int recent = SubscribeAgent(Stock(), kAgentRecentTrades, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1010, 100, 100));
  Push(Stock(), QuoteOf(), Pushed(1010, 300, 200));
  Push(Stock(), QuoteOf(), Pushed(1010, 300, 200));
  Push(Stock(), QuoteOf(), Pushed(1020, 400, 100), 0);   // no trade flag
  EXPECT_EQ(Agent(ticks).recordCount, 2);
  EXPECT_EQ(Agent(recent).recordCount, 2);
  EXPECT_FLOAT_EQ(Records<TradeRecord>(ticks)[1].volume, 200);
}

TEST_F(AgentTest, AFuturesTradeThatMovesOpenInterestMoreThanItsVolumeAsksForTheTicks) {
  Reopen(2);
  const int index = SubscribeAgent(Stock(2), kAgentTicks, 0, FakeWindow(1));
  const int recent = SubscribeAgent(Stock(2), kAgentRecentTrades, 0, FakeWindow(1));
  Push(Stock(2), QuoteOf(2), Pushed(3000, 100, 100, 1000), kQuoteNewTrade | kQuoteBuyerInitiated);
  client->calls.clear();
  Push(Stock(2), QuoteOf(2), Pushed(3010, 300, 200, 1500), kQuoteNewTrade | kQuoteSellerInitiated);
  Push(Stock(2), QuoteOf(2), Pushed(3020, 400, 100, 1450), kQuoteNewTrade);
  const auto trades = Records<TradeRecord>(index);
  ASSERT_EQ(trades.size(), 3u);
  EXPECT_FLOAT_EQ(trades[1].volume, 500);
  EXPECT_EQ(trades[1].direction, kTradeSell);
  EXPECT_FLOAT_EQ(trades[2].volume, 100);
  EXPECT_EQ(trades[2].direction, kTradeUndetermined);
  EXPECT_EQ(client->CountCalls("RequestTicks"), 1);
  // The newest trades take the same trade and ask for the newest 30 again; they keep no totals.
  const auto newest = Records<TradeRecord>(recent);
  ASSERT_EQ(newest.size(), 3u);
  EXPECT_FLOAT_EQ(newest[1].volume, 500);
  EXPECT_EQ(newest[1].direction, kTradeSell);
  const auto* again = client->LastCall("RequestRecentTicks");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->args, (std::vector<std::int64_t>{0, 2, 30, Agent(recent).requestTag}));
  EXPECT_EQ(client->CountCalls("RequestRecentTicks"), 1);
  EXPECT_FLOAT_EQ(Agent(recent).volumeSum + Agent(recent).buyVolume + Agent(recent).sellVolume, 0);
  // The first live trade is not counted; later ones by direction, and the average price sums.
  EXPECT_FLOAT_EQ(Agent(index).sellVolume, 550);
  EXPECT_FLOAT_EQ(Agent(index).buyVolume, 50);
  EXPECT_FLOAT_EQ(Agent(index).volumeSum, 600);
  EXPECT_FLOAT_EQ(Agent(index).turnoverSum, 3010.0f * 500 + 3020.0f * 100);
}

TEST_F(AgentTest, AMinuteSeriesHoldsTheMinutesBegunSoFar) {
  std::vector<TodayMinuteRecord> minutes;
  for (int i = 0; i < 5; ++i) minutes.push_back(Minute(1000 + i, 100.0f * (i + 1)));
  WriteDetails(minutes);
  struct Case {
    int hour, minute;
    PackedTime day;
    int records;
  } cases[] = {{8, 55, agenttest::kWednesday, 1},   // before the session opens
               {9, 2, agenttest::kWednesday, 4},    // minute index 2: the opening and 3 minutes
               {10, 0, agenttest::kWednesday, 5},
               {16, 0, agenttest::kWednesday, 5}};
  for (const Case& c : cases) {
    SetClock(c.hour, c.minute, c.day);
    const int index = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
    EXPECT_EQ(Agent(index).recordCount, c.records) << c.hour << ":" << c.minute;
    UnsubscribeAgent(index, FakeWindow(1));
  }
}

TEST_F(AgentTest, AMinuteWithoutTradesCarriesTheMinuteBeforeIt) {
  TodayMinuteRecord gap{};
  WriteDetails({Minute(1000, 100, 10000), Minute(1010, 150, 15000), gap, Minute(1020, 200, 20000)});
  SetClock(9, 10);
  const int index = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  const auto records = Records<TodayMinuteRecord>(index);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[2].price, 1010u);
  EXPECT_EQ(records[2].low, 1010u);
  EXPECT_FLOAT_EQ(records[2].cumVolume, 150);
  EXPECT_FLOAT_EQ(records[2].cumAmount, 15000);

  ChartBar bars[kTodayBarCapacity];
  ASSERT_EQ(BuildTodayMinuteBars(Stock(), records.data(), 4, bars), 11);
  EXPECT_FLOAT_EQ(bars[0].volume, 150);
  EXPECT_FLOAT_EQ(bars[1].volume, 0);    // the gap minute
  EXPECT_FLOAT_EQ(bars[1].amount, 0);
  EXPECT_FLOAT_EQ(bars[2].volume, 50);
  EXPECT_FLOAT_EQ(bars[2].amount, 5000);
  EXPECT_FLOAT_EQ(bars[3].volume, 0);    // minutes after the last record repeat its close
  EXPECT_EQ(bars[10].close, 1020u);

  // A cumulative volume that steps back in the cache gives a minute without volume, not a
  // negative one.
  const TodayMinuteRecord stepBack[] = {Minute(1000, 100), Minute(1010, 150), Minute(1020, 140)};
  ASSERT_EQ(BuildTodayMinuteBars(Stock(), stepBack, 3, bars), 11);
  EXPECT_FLOAT_EQ(bars[1].volume, 0);
}

TEST_F(AgentTest, TodaysBarsAreStampedWithTheEndOfTheirMinuteAcrossTheBreak) {
  SetClock(14, 0);
  const TodayMinuteRecord records[] = {Minute(1000, 10), Minute(1001, 20), Minute(1002, 30)};
  ChartBar bars[kTodayBarCapacity];
  ASSERT_EQ(BuildTodayMinuteBars(Stock(), records, 3, bars), 211);
  EXPECT_EQ(bars[0].time, At(agenttest::kWednesday, 9, 1));
  EXPECT_EQ(bars[149].time, At(agenttest::kWednesday, 11, 30));
  EXPECT_EQ(bars[150].time, At(agenttest::kWednesday, 13, 1));
  // Not the trading day yet (the day changes later): the whole day, dated the day before.
  SetClock(8, 0, agenttest::kWednesday, kTuesday);
  ASSERT_EQ(BuildTodayMinuteBars(Stock(), records, 3, bars), 270);
  EXPECT_EQ(bars[269].time, At(kTuesday, 15, 0));
}

TEST_F(AgentTest, AMarketOpenAllDayKeepsItsMinutesWithoutReloading) {
  CategoryRecord& category = market->table->record.categories[0];
  category.sessionCount = 1;
  category.openMinute[0] = 5;
  category.closeMinute[0] = 1435;
  category.minutesPerDay = 1430;
  market->table->maxMinutesPerDay = 1430;
  SetClock(23, 40);
  const int index = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  float volume = 0;
  for (int minute = 40; minute < 50; ++minute) {
    SetClock(23, minute);
    volume += 10;
    Push(Stock(), QuoteOf(), Pushed(1100, volume, 10));
  }
  const int m = category.minuteIndex + 1;
  EXPECT_GT(m, 1400);
  EXPECT_EQ(Agent(index).recordCount, m + 1);
  EXPECT_EQ(AgentCounters.cacheLoads, 1u);
  const auto records = Records<TodayMinuteRecord>(index);
  EXPECT_EQ(records[0].price, 1000u);   // minutes before the first quote: the previous close
  EXPECT_FLOAT_EQ(records[0].cumVolume, 0);
  EXPECT_EQ(records[m].price, 1100u);
  EXPECT_FLOAT_EQ(records[m].cumVolume, 100);
  EXPECT_FLOAT_EQ(records[m - 1].cumVolume, 90);
}

TEST_F(AgentTest, LiveMinutesKeepTheDaysTurnoverInShownPrices) {
  Reopen(2);
  TodayMinuteRecord first = Minute(3000, 100, 520);
  first.cumTurnover = 30.0f * 100;   // the cache sums shown prices
  WriteDetails({Minute(3000, 0, 500), first});
  SetClock(9, 3);
  QuoteOf() = Pushed(3000, 100, 100, 520);
  const int index = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  EXPECT_FLOAT_EQ(Agent(index).turnoverSum, 3000);

  Push(Stock(), QuoteOf(), Pushed(3010, 150, 50, 540), kQuoteNewTrade | kQuoteBuyerInitiated);
  Push(Stock(), QuoteOf(), Pushed(3020, 170, 20, 545), kQuoteNewTrade);
  const auto records = Records<TodayMinuteRecord>(index);
  ASSERT_EQ(records.size(), 5u);   // the opening, 09:00, two quiet minutes, 09:03
  EXPECT_FLOAT_EQ(records[2].cumTurnover, 3000);
  EXPECT_FLOAT_EQ(records[3].cumAmount, 520);
  // The minute's turnover runs on from the minutes before it, and the day's sums stay in the
  // same units as the loaded ones: their quotient is the average price as shown.
  EXPECT_FLOAT_EQ(records[4].cumTurnover, 3000 + 30.1f * 50 + 30.2f * 20);
  EXPECT_FLOAT_EQ(Agent(index).turnoverSum, records[4].cumTurnover);
  EXPECT_FLOAT_EQ(Agent(index).volumeSum, 170);
  EXPECT_FLOAT_EQ(Agent(index).buyVolume, 50 + 10);
  EXPECT_FLOAT_EQ(Agent(index).sellVolume, 10);

  // Open interest moving by more than the trade: trades were missed, the minutes are asked again.
  client->calls.clear();
  Push(Stock(), QuoteOf(), Pushed(3020, 180, 10, 900), kQuoteNewTrade);
  EXPECT_EQ(client->CountCalls("RequestTradeDetails"), 1);
}

TEST_F(AgentTest, QuietMinutesFilledLiveCarryTheDaysAmount) {
  WriteDetails({Minute(1000, 0, 0), Minute(1000, 100, 100000)});
  SetClock(9, 5);
  const int chart = SubscribeAgent(Stock(), kAgentMinuteBars, 1, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1010, 150, 50, 150500));
  const auto bars = Records<ChartBar>(chart);
  ASSERT_EQ(bars.size(), 6u);
  float amount = 0;
  for (const ChartBar& bar : bars) {
    EXPECT_GE(bar.amount, 0);
    amount += bar.amount;
  }
  EXPECT_FLOAT_EQ(bars[5].amount, 50500);
  EXPECT_FLOAT_EQ(amount, 150500);
}

class AgentBarTest : public AgentTest {
 protected:
  void SetUp() override {
    AgentTest::SetUp();
    std::vector<ChartBar> one, five, hour;
    for (int i = 0; i < 30; ++i) {
      one.push_back(cachetest::Bar(At(kTuesday, 14, 30 + i), 900 + i, 10, 100));
      const int minuteOfDay = 13 * 60 + 5 + 5 * i;
      five.push_back(cachetest::Bar(At(kTuesday, minuteOfDay / 60, minuteOfDay % 60), 900 + i, 50, 500));
    }
    hour.push_back(cachetest::Bar(At(kTuesday, 11, 30), 950, 600, 6000));
    hour.push_back(cachetest::Bar(At(kTuesday, 14, 0), 960, 600, 6000));
    hour.push_back(cachetest::Bar(At(kTuesday, 15, 0), 970, 600, 6000));
    WriteBars("min1", "m1", one);
    WriteBars("min", "min", five);
    WriteBars("hour", "hr", hour);
    WriteBars("day", "day", {cachetest::Bar(kLastFriday, 800, 1000, 1e5), cachetest::Bar(kMonday, 810, 1000, 1e5),
                             cachetest::Bar(kTuesday, 820, 1000, 1e5)});
  }
};

TEST_F(AgentBarTest, APushedQuoteReachesTheOneFiveFifteenSixtyMinuteAndDayCharts) {
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  struct Chart {
    int kind, period, history, today;
    PackedTime lastTime;
  } charts[] = {{6, 1, 30, 61, At(agenttest::kWednesday, 10, 1)},
                {6, 5, 30, 13, At(agenttest::kWednesday, 10, 1)},
                {6, 15, 10, 5, At(agenttest::kWednesday, 10, 1)},
                {6, 60, 3, 2, At(agenttest::kWednesday, 10, 1)},
                {7, 1, 3, 1, agenttest::kWednesday}};
  std::vector<int> indexes;
  for (const Chart& c : charts) indexes.push_back(SubscribeAgent(Stock(), c.kind, c.period, FakeWindow(2)));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500, 52500));
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    const Chart& c = charts[i];
    const auto bars = Records<ChartBar>(indexes[i]);
    EXPECT_EQ(Agent(indexes[i]).historyCount, c.history) << c.kind << "/" << c.period;
    ASSERT_EQ(static_cast<int>(bars.size()), c.history + c.today) << c.kind << "/" << c.period;
    EXPECT_EQ(bars.back().close, 1050u) << c.kind << "/" << c.period;
    EXPECT_EQ(bars.back().time, c.lastTime) << c.kind << "/" << c.period;
    for (std::size_t k = 1; k < bars.size(); ++k) ASSERT_GT(bars[k].time, bars[k - 1].time);
  }
  // The day bar carries the day's volume once, however often it is rebuilt.
  Push(Stock(), QuoteOf(), Pushed(1060, 600, 100, 63500));
  EXPECT_FLOAT_EQ(Records<ChartBar>(indexes[4]).back().volume, 600);
  EXPECT_EQ(Records<ChartBar>(indexes[4]).size(), 4u);
}

TEST_F(AgentBarTest, TodaysBarsCountVolumeInTheSameUnitsAsTheHistory) {
  market->table->names[0].volumeDivisor = 100;
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  struct Chart {
    int kind, period;
    float historyVolume;
  } charts[] = {{6, 1, 0.1f}, {6, 5, 0.5f}, {6, 15, 1.5f}, {7, 1, 10}};
  std::vector<int> indexes;
  for (const Chart& c : charts) indexes.push_back(SubscribeAgent(Stock(), c.kind, c.period, FakeWindow(2)));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500, 52500));
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    const auto bars = Records<ChartBar>(indexes[i]);
    const int history = Agent(indexes[i]).historyCount;
    ASSERT_GT(history, 0);
    ASSERT_GT(static_cast<int>(bars.size()), history);
    EXPECT_FLOAT_EQ(bars[history - 1].volume, charts[i].historyVolume) << charts[i].kind << "/" << charts[i].period;
    float today = 0;
    for (std::size_t k = static_cast<std::size_t>(history); k < bars.size(); ++k) today += bars[k].volume;
    EXPECT_FLOAT_EQ(today, 5) << charts[i].kind << "/" << charts[i].period;   // 500 shares in lots of 100
  }
}

TEST_F(AgentBarTest, TodayMinOnlyDropsTheHistoryOfShortIntradayChartsOnly) {
  testsupport::WriteBytes(install->user() / "defui.ini", testsupport::CrlfLines({"[UI]", "TodayMinOnly=1"}));
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500));
  const int five = SubscribeAgent(Stock(), kAgentMinuteBars, 5, FakeWindow(2));
  const int hour = SubscribeAgent(Stock(), kAgentMinuteBars, 60, FakeWindow(2));
  const int day = SubscribeAgent(Stock(), kAgentDayBars, 1, FakeWindow(2));
  EXPECT_EQ(Agent(five).historyCount, 0);
  EXPECT_EQ(Agent(five).recordCount, 13);
  EXPECT_EQ(Agent(hour).historyCount, 3);
  EXPECT_EQ(Agent(day).historyCount, 3);
}

TEST_F(AgentBarTest, AWeekChartMergesTodayIntoThisWeeksBarOnce) {
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500, 52500));
  const int week = SubscribeAgent(Stock(), kAgentWeekBars, 1, FakeWindow(2));
  ASSERT_EQ(Agent(week).historyCount, 2);
  EXPECT_FLOAT_EQ(Agent(week).historyLastVolume, 2000);
  auto bars = Records<ChartBar>(week);
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(bars[1].time, agenttest::kWednesday);
  EXPECT_FLOAT_EQ(bars[1].volume, 2500);
  EXPECT_EQ(bars[1].close, 1050u);
  Push(Stock(), QuoteOf(), Pushed(1060, 700, 200, 70000));
  bars = Records<ChartBar>(week);
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_FLOAT_EQ(bars[1].volume, 2700);
  EXPECT_FLOAT_EQ(bars[1].amount, 2e5f + 70000);
}

TEST_F(AgentBarTest, ADayFileThatHoldsTodayKeepsItsOwnBar) {
  WriteBars("day", "day", {cachetest::Bar(kMonday, 810, 1000), cachetest::Bar(kTuesday, 820, 1000),
                           cachetest::Bar(agenttest::kWednesday, 830, 1000)});
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500));
  const int day = SubscribeAgent(Stock(), kAgentDayBars, 1, FakeWindow(2));
  const auto bars = Records<ChartBar>(day);
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[2].close, 830u);
  EXPECT_EQ(Agent(day).historyCount, 3);
}

TEST_F(AgentBarTest, AWeekBuiltOnADayFileThatHoldsTodayCountsTodayOnce) {
  WriteBars("day", "day", {cachetest::Bar(kMonday, 810, 1000, 1e5), cachetest::Bar(kTuesday, 820, 1000, 1e5),
                           cachetest::Bar(agenttest::kWednesday, 830, 1000, 1e5)});
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1050, 1000, 1000, 1e5));
  const int week = SubscribeAgent(Stock(), kAgentWeekBars, 1, FakeWindow(2));
  const int day = SubscribeAgent(Stock(), kAgentDayBars, 1, FakeWindow(2));
  Push(Stock(), QuoteOf(), Pushed(1060, 1200, 200, 1.2e5));
  for (int index : {week, day}) {
    const auto bars = Records<ChartBar>(index);
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(bars.back().time, agenttest::kWednesday);
    EXPECT_EQ(bars.back().close, 830u);   // the file's bar stands
  }
  EXPECT_FLOAT_EQ(Records<ChartBar>(week).back().volume, 3000);
  EXPECT_FLOAT_EQ(Records<ChartBar>(week).back().amount, 3e5f);
  EXPECT_EQ(Records<ChartBar>(day).size(), 3u);
}

TEST_F(AgentBarTest, TodaysBarsPushTheOldestHistoryOutOfAFullBuffer) {
  std::vector<ChartBar> one;
  for (int i = 1; i <= 120; ++i) one.push_back(cachetest::Bar(At(kTuesday, 9 + i / 60, i % 60), 900, 10, 100));
  WriteBars("min1", "m1", one);
  market->table->maxMinutesPerDay = 0;   // the reader leaves no room for today
  const int savedLimit = MaxDataRecords;
  MaxDataRecords = kMinMaxDataRecords;
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  const int chart = SubscribeAgent(Stock(), kAgentMinuteBars, 1, FakeWindow(2));
  EXPECT_GT(Agent(chart).historyCount, kMinMaxDataRecords - 61);
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500));
  const auto bars = Records<ChartBar>(chart);
  MaxDataRecords = savedLimit;
  ASSERT_EQ(static_cast<int>(bars.size()), kMinMaxDataRecords);
  EXPECT_EQ(Agent(chart).historyCount, kMinMaxDataRecords - 61);
  EXPECT_EQ(bars.front().time, one[one.size() - (kMinMaxDataRecords - 61)].time);   // the newest history stays
  EXPECT_EQ(bars.back().time, At(agenttest::kWednesday, 10, 1));
  for (std::size_t k = 1; k < bars.size(); ++k) ASSERT_GT(bars[k].time, bars[k - 1].time);
}

TEST_F(AgentBarTest, ABarSeriesFollowsAChangedBarLimit) {
  const int day = SubscribeAgent(Stock(), kAgentDayBars, 1, FakeWindow(2));
  EXPECT_EQ(GuardedSize(Agent(day).records) / sizeof(ChartBar), static_cast<std::uint32_t>(MaxDataRecords));
  testsupport::WriteBytes(install->cfg() / "SETTING.INI",
                          testsupport::CrlfLines({"[Parameter]", "MaxDataRecords=20000"}));
  ASSERT_EQ(LoadMaxDataRecords(), 20000);
  SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  Push(Stock(), QuoteOf(), Pushed(1050, 500, 500));   // a rebuild, not a full reload
  EXPECT_EQ(GuardedSize(Agent(day).records) / sizeof(ChartBar), 20000u);
  EXPECT_EQ(Agent(day).historyCount, 3);
  EXPECT_EQ(Agent(day).recordCount, 4);
  std::filesystem::remove(install->cfg() / "SETTING.INI");
  profile::ClearCache();
  LoadMaxDataRecords();
  EXPECT_EQ(MaxDataRecords, kDefaultMaxDataRecords);
}

}  // namespace
