// The series registry: sharing, dependent bar series, the notification paths and subscribers
// that change their subscriptions while they are being notified.
#include "data/AgentTestMarket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using agenttest::AgentTest;
using agenttest::Log;
using agenttest::PercentsOf;

HWND FakeWindow(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10000 + n)); }

TEST_F(AgentTest, ViewsOfOneKeyShareASeriesUntilItHoldsSixtyFourWindows) {
  const int first = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(0));
  ASSERT_GE(first, 0);
  for (int i = 1; i < kMaxAgentWindows; ++i)
    EXPECT_EQ(SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(i)), first);
  const int second = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(64));
  EXPECT_NE(second, first);
  EXPECT_EQ(Agent(second).windowCount, 1u);
  EXPECT_NE(Agent(second).requestTag, Agent(first).requestTag);

  // Another instrument, kind or period is another series; the category byte is not compared.
  EXPECT_NE(SubscribeAgent(Stock(1), kAgentMinutes, 0, FakeWindow(0)), first);
  EXPECT_NE(SubscribeAgent(Stock(), kAgentTicks, 0, FakeWindow(0)), first);
  STKPTR otherCategory = Stock();
  otherCategory.category = 7;
  EXPECT_EQ(SubscribeAgent(otherCategory, kAgentMinutes, 0, FakeWindow(65)), second);
}

TEST_F(AgentTest, EverySubscriptionOfAWindowIsGivenBackByOneUnsubscribe) {
  HWND window = FakeWindow(1);
  const int index = SubscribeAgent(Stock(), kAgentTicks, 0, window);
  // A chart whose formula refers to its own instrument holds the series twice: dropping the
  // formula must leave the chart's series alive and its index naming the same series.
  EXPECT_EQ(SubscribeAgent(Stock(), kAgentTicks, 0, window), index);
  EXPECT_EQ(Agent(index).windowCount, 2u);
  const std::uint32_t tag = Agent(index).requestTag;
  UnsubscribeAgent(index, window);
  ASSERT_TRUE(Agent(index).InUse());
  EXPECT_EQ(Agent(index).requestTag, tag);
  EXPECT_EQ(Agent(index).windowCount, 1u);
  EXPECT_EQ(Agent(index).windows[1], nullptr);   // nothing stale behind the count
  EXPECT_NE(Agent(index).records, nullptr);

  // A rebinding subscribes its new series before it releases the old one: the same series
  // stays alive throughout.
  EXPECT_EQ(SubscribeAgent(Stock(), kAgentTicks, 0, window), index);
  UnsubscribeAgent(index, window);
  EXPECT_TRUE(Agent(index).InUse());
  EXPECT_EQ(Agent(index).requestTag, tag);

  UnsubscribeAgent(index, window);
  EXPECT_FALSE(Agent(index).InUse());
  EXPECT_EQ(Agent(index).records, nullptr);

  // Unknown targets, indexes and modes do nothing; an integer target (a literal 0 too) is
  // taken as it is.
  const int again = SubscribeAgent(Stock(), kAgentTicks, 0, window);
  UnsubscribeAgent(again, FakeWindow(2));
  UnsubscribeAgent(again, reinterpret_cast<std::uintptr_t>(window), 2);
  UnsubscribeAgent(again, 0, kSubscribeDependent);
  UnsubscribeAgent(999, window);
  EXPECT_EQ(Agent(again).windowCount, 1u);
  EXPECT_EQ(SubscribeAgent(Stock(), kAgentTicks, 0, 0, 3), -1);
}

TEST_F(AgentTest, ABarChartHangsOnTheMinuteSeriesAndFreesItWhenItGoes) {
  const int chart = SubscribeAgent(Stock(), kAgentMinuteBars, 15, FakeWindow(1));
  ASSERT_GE(chart, 0);
  const int base = Agent(chart).baseIndex;
  ASSERT_GE(base, 0);
  EXPECT_NE(base, chart);
  EXPECT_EQ(Agent(base).kind, kAgentMinutes);
  EXPECT_EQ(Agent(base).windowCount, 0u);
  ASSERT_EQ(Agent(base).dependentCount, 1u);
  EXPECT_EQ(Agent(base).dependents[0], chart);
  EXPECT_EQ(Agent(chart).recordSize, 32);

  // A trend view on the same instrument shares the base series.
  EXPECT_EQ(SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(2)), base);
  UnsubscribeAgent(chart, FakeWindow(1));
  EXPECT_FALSE(Agent(chart).InUse());
  EXPECT_TRUE(Agent(base).InUse());
  EXPECT_EQ(Agent(base).dependentCount, 0u);
  UnsubscribeAgent(base, FakeWindow(2));
  EXPECT_FALSE(Agent(base).InUse());

  // Freed slots are taken again before the registry grows.
  const int size = GetAgentRegistry().GetSize();
  SubscribeAgent(Stock(), kAgentDayBars, 1, FakeWindow(3));
  EXPECT_EQ(GetAgentRegistry().GetSize(), size);
}

TEST_F(AgentTest, AMinuteSeriesCarriesThirtyTwoChartsAndASecondOneTheRest) {
  HWND chart = Window();
  std::vector<int> charts;
  for (std::uint32_t period = 1; period <= kMaxAgentDependents + 1; ++period)
    charts.push_back(SubscribeAgent(Stock(), kAgentMinuteBars, period, chart));
  const int base = Agent(charts[0]).baseIndex;
  for (int i = 0; i < kMaxAgentDependents; ++i) EXPECT_EQ(Agent(charts[i]).baseIndex, base);
  const int second = Agent(charts.back()).baseIndex;
  ASSERT_GE(second, 0);
  EXPECT_NE(second, base);
  EXPECT_EQ(Agent(second).dependentCount, 1u);

  // A quote reaches every chart through one base or the other.
  QuoteOf() = agenttest::Pushed(1050, 500, 500);
  UpdateAgentsFromQuote(Stock(), &QuoteOf(), kQuoteNewTrade);
  EXPECT_EQ(PercentsOf(chart).size(), charts.size());
  EXPECT_EQ(Records<ChartBar>(charts.back()).back().close, 1050u);
  for (int index : charts) UnsubscribeAgent(index, chart);
  EXPECT_FALSE(Agent(base).InUse());
  EXPECT_FALSE(Agent(second).InUse());
}

TEST_F(AgentTest, CycleToAgentKindMapsEveryChartCycle) {
  struct Case {
    int cycle, n, kind, period;
  } cases[] = {{1, 0, 6, 1},   {2, 0, 6, 3},   {3, 7, 6, 7},  {4, 0, 6, 5},  {5, 0, 6, 15},
               {6, 0, 6, 30},  {7, 0, 6, 60},  {13, 0, 6, 120}, {14, 0, 6, 240}, {9, 0, 8, 1},
               {10, 0, 9, 1},  {11, 0, 10, 1}, {12, 3, 7, 3}, {8, 0, 7, 1},  {0, 0, 7, 1}};
  for (const Case& c : cases) {
    int kind = -1;
    int period = -1;
    CycleToAgentKind(c.cycle, c.n, &kind, &period);
    EXPECT_EQ(kind, c.kind) << "cycle " << c.cycle;
    EXPECT_EQ(period, c.period) << "cycle " << c.cycle;
  }
}

TEST_F(AgentTest, RequestBarsAsksForTheFileThatServesThePeriod) {
  struct Case {
    int kind, period, cycle, multiplier;
  } cases[] = {{6, 120, 7, 2}, {6, 15, 4, 3}, {6, 3, 1, 3}, {7, 2, 8, 2}, {8, 1, 9, 1}, {10, 1, 11, 1}};
  for (const Case& c : cases) {
    const int index = SubscribeAgent(Stock(), c.kind, c.period, FakeWindow(1));
    client->calls.clear();
    CDataAgent::RequestBars(index);
    const auto* call = client->LastCall("RequestHistoryBars");
    ASSERT_NE(call, nullptr) << "kind " << c.kind << " period " << c.period;
    EXPECT_EQ(call->args, (std::vector<std::int64_t>{0, 0, 0, c.cycle, c.multiplier, 1,
                                                      Agent(index).requestTag}));
    UnsubscribeAgent(index, FakeWindow(1));
  }
  // Minute series have no bars to ask for.
  const int minutes = SubscribeAgent(Stock(), kAgentMinutes, 0, FakeWindow(1));
  client->calls.clear();
  CDataAgent::RequestBars(minutes);
  EXPECT_EQ(client->CountCalls("RequestHistoryBars"), 0);
}

TEST_F(AgentTest, ALiveQuoteReachesTheTrendViewThenTheRebuiltChart) {
  HWND trend = Window();
  HWND chart = Window();
  const int minutes = SubscribeAgent(Stock(), kAgentMinutes, 0, trend);
  const int bars = SubscribeAgent(Stock(), kAgentMinuteBars, 15, chart);
  QuoteOf() = agenttest::Pushed(1050, 500, 500);
  // The chart reads its series inside the handler: the rebuild is done by then.
  int barsSeen = -1;
  agenttest::Actions()[chart] = [&](int series) { barsSeen = static_cast<int>(Records<ChartBar>(series).size()); };
  UpdateAgentsFromQuote(Stock(), &QuoteOf(), kQuoteNewTrade);

  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[0].window, trend);
  EXPECT_EQ(Log()[0].series, minutes);
  EXPECT_EQ(Log()[0].percent, 0u);
  EXPECT_EQ(Log()[1].window, chart);
  EXPECT_EQ(Log()[1].series, bars);
  EXPECT_EQ(Log()[1].percent, 0u);
  // 10:00 is minute 60: five 15-minute bars have begun, the last holds the quote.
  EXPECT_EQ(barsSeen, 5);
  EXPECT_EQ(Records<ChartBar>(bars).back().close, 1050u);
  EXPECT_EQ(AgentCounters.cacheLoads, 2u);   // the two loads on subscribing, none for the quote

  // Quotes of other instruments reach nobody.
  UpdateAgentsFromQuote(Stock(1), &QuoteOf(1), kQuoteNewTrade);
  EXPECT_EQ(Log().size(), 2u);
}

TEST_F(AgentTest, ArrivingFilesRefreshTheSeriesTheyServe) {
  struct Series {
    int kind, period;
    HWND window;
  };
  std::vector<Series> series = {{6, 1, nullptr},  {6, 3, nullptr},  {6, 7, nullptr},   {6, 5, nullptr},
                                {6, 15, nullptr}, {6, 30, nullptr}, {6, 60, nullptr},  {6, 120, nullptr},
                                {6, 240, nullptr}, {7, 1, nullptr}, {7, 5, nullptr},   {8, 1, nullptr},
                                {9, 1, nullptr},  {10, 1, nullptr}, {1, 0, nullptr},   {2, 0, nullptr},
                                {3, 0, nullptr}};
  for (Series& s : series) {
    s.window = Window();
    SubscribeAgent(Stock(), s.kind, static_cast<std::uint32_t>(s.period), s.window);
  }
  const auto refreshed = [&](int kind, std::uint32_t period) {
    Log().clear();
    NotifyAgentsDataArrived(Stock(), kind, period, 40);
    std::vector<std::pair<int, int>> got;
    for (const Series& s : series)
      if (!PercentsOf(s.window).empty()) got.push_back({s.kind, s.period});
    return got;
  };
  using Got = std::vector<std::pair<int, int>>;
  EXPECT_EQ(refreshed(6, 60), (Got{{6, 60}, {6, 120}, {6, 240}}));
  EXPECT_EQ(refreshed(6, 5), (Got{{6, 5}, {6, 15}, {6, 30}}));
  EXPECT_EQ(refreshed(6, 1), (Got{{6, 1}, {6, 3}, {6, 7}}));
  EXPECT_EQ(refreshed(7, 1), (Got{{7, 1}, {7, 5}, {8, 1}, {9, 1}, {10, 1}}));
  EXPECT_EQ(refreshed(1, 9), (Got{{1, 0}}));
  EXPECT_EQ(refreshed(2, 0), (Got{{2, 0}}));
  // The minute series' arrival also reaches the bar charts built on it, as a rebuild.
  const Got minutes = refreshed(3, 0);
  EXPECT_NE(std::find(minutes.begin(), minutes.end(), std::make_pair(3, 0)), minutes.end());
  EXPECT_EQ(minutes.size(), 1u + 14u);

  // Progress reaches the windows as it is, without a reload; 100 reloads first.
  const auto loads = AgentCounters.cacheLoads;
  refreshed(7, 1);
  EXPECT_EQ(AgentCounters.cacheLoads, loads);
  Log().clear();
  NotifyAgentsDataArrived(Stock(), 7, 1, 100);
  EXPECT_EQ(AgentCounters.cacheLoads, loads + 5);
  EXPECT_EQ(PercentsOf(series[9].window), std::vector<int>{100});
}

TEST_F(AgentTest, ReloadingTheMarketReloadsEverySeriesInUse) {
  HWND trend = Window();
  HWND chart = Window();
  HWND other = Window();
  SubscribeAgent(Stock(), kAgentMinutes, 0, trend);
  SubscribeAgent(Stock(), kAgentDayBars, 1, chart);
  SubscribeAgent(Stock(1), kAgentTicks, 0, other);
  client->calls.clear();
  ReloadMarketAgents(255, 255);
  // Reloads allow downloads.
  EXPECT_GE(client->CountCalls("RequestTradeDetails"), 1);
  EXPECT_EQ(client->CountCalls("RequestTicks"), 1);
  for (HWND window : {trend, chart, other}) {
    const auto percents = PercentsOf(window);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::all_of(percents.begin(), percents.end(), [](int p) { return p == 100; }));
  }
  Log().clear();
  ReloadMarketAgents(1, 255);   // no such market
  EXPECT_TRUE(Log().empty());
  ReloadInstrumentAgents(Stock(1));
  EXPECT_EQ(PercentsOf(other), std::vector<int>{100});
  EXPECT_TRUE(PercentsOf(trend).empty());
}

// The windows a notice reaches when it goes to every series of the instrument whose kind passes
// `told`, found by walking the whole registry: each series' windows, then the windows of the
// bar series built on it, series by series in registry order.
template <typename Told>
std::vector<HWND> ReachedInRegistryOrder(STKPTR instrument, Told told) {
  std::vector<HWND> reached;
  for (int i = 0; i < GetAgentRegistry().GetSize(); ++i) {
    const CDataAgent& agent = *GetAgent(i);
    if (!agent.InUse() || agent.instrument != instrument || !told(agent.kind)) continue;
    reached.insert(reached.end(), agent.windows, agent.windows + agent.windowCount);
    for (std::uint32_t d = 0; d < agent.dependentCount; ++d) {
      const CDataAgent& dependent = *GetAgent(agent.dependents[d]);
      reached.insert(reached.end(), dependent.windows, dependent.windows + dependent.windowCount);
    }
  }
  return reached;
}

std::vector<HWND> LoggedWindows() {
  std::vector<HWND> windows;
  for (const agenttest::Received& r : Log()) windows.push_back(r.window);
  return windows;
}

// Quotes and arrivals of every instrument of the market reach exactly the series of that
// instrument, in registry order, as a walk over the whole registry would find them.
void ExpectNoticesInRegistryOrder(const std::vector<STKPTR>& instruments) {
  for (const STKPTR& stk : instruments) {
    SCOPED_TRACE(testing::Message() << "instrument " << stk.index);
    Log().clear();
    QuoteRecord quote = agenttest::Pushed(1010, 100, 100);
    UpdateAgentsFromQuote(stk, &quote, kQuoteNewTrade);
    EXPECT_EQ(LoggedWindows(), ReachedInRegistryOrder(stk, [](int kind) { return !IsBarAgentKind(kind); }));
    for (const auto& [kind, period] : {std::pair{kAgentMinutes, 0u}, {kAgentRecentTrades, 0u},
                                       {kAgentDayBars, 1u}, {kAgentMinuteBars, 5u}}) {
      SCOPED_TRACE(testing::Message() << "arrival of kind " << int{kind} << " period " << period);
      Log().clear();
      NotifyAgentsDataArrived(stk, kind, period, 40);
      const auto expected = ReachedInRegistryOrder(stk, [&](int k) {
        if (kind == kAgentDayBars) return k >= kAgentDayBars && IsBarAgentKind(k);
        if (kind == kAgentMinuteBars) return k == kAgentMinuteBars;
        return k == kind;
      });
      // The minute-bar arrival reaches only the series its file serves: compare those.
      if (kind == kAgentMinuteBars) {
        for (HWND window : LoggedWindows())
          EXPECT_NE(std::find(expected.begin(), expected.end(), window), expected.end());
      } else {
        EXPECT_EQ(LoggedWindows(), expected);
      }
    }
  }
}

TEST_F(AgentTest, SeriesAreToldInRegistryOrderThroughSubscriptionsSlotReuseAndReloads) {
  const std::vector<STKPTR> instruments = {Stock(0), Stock(1), Stock(2)};
  // A slot freed by one instrument and taken by another: the newer series sits first in the
  // registry, so it is told first.
  HWND w1 = Window(), w2 = Window(), w3 = Window(), w4 = Window(), w5 = Window();
  const int ticks0 = SubscribeAgent(Stock(0), kAgentTicks, 0, w1);
  const int minutes1 = SubscribeAgent(Stock(1), kAgentMinutes, 0, w2);
  const int trades0 = SubscribeAgent(Stock(0), kAgentRecentTrades, 0, w3);
  const int chart1 = SubscribeAgent(Stock(1), kAgentMinuteBars, 15, w4);
  ASSERT_EQ(Agent(chart1).baseIndex, minutes1);
  UnsubscribeAgent(ticks0, w1);
  ASSERT_EQ(SubscribeAgent(Stock(1), kAgentTicks, 0, w5), ticks0);
  Log().clear();
  QuoteRecord quote = agenttest::Pushed(1010, 100, 100);
  UpdateAgentsFromQuote(Stock(1), &quote, kQuoteNewTrade);
  EXPECT_EQ(LoggedWindows(), (std::vector<HWND>{w5, w2, w4}));
  Log().clear();
  UpdateAgentsFromQuote(Stock(0), &quote, kQuoteNewTrade);
  EXPECT_EQ(LoggedWindows(), std::vector<HWND>{w3});
  ExpectNoticesInRegistryOrder(instruments);

  // A long run of subscriptions (windows new and already subscribed), releases and reloads
  // whose handlers move series between instruments.
  struct Held {
    int series;
    HWND window;
  };
  std::vector<Held> held = {{minutes1, w2}, {trades0, w3}, {chart1, w4}, {ticks0, w5}};
  const std::pair<int, std::uint32_t> keys[] = {{1, 0}, {2, 0}, {3, 0}, {6, 5}, {6, 15}, {6, 60}, {7, 1}, {9, 1}};
  std::minstd_rand random(20240313);
  for (int step = 0; step < 160; ++step) {
    SCOPED_TRACE(testing::Message() << "step " << step);
    const unsigned pick = static_cast<unsigned>(random());
    if (held.empty() || (held.size() < 40 && pick % 5 < 3)) {
      const auto& [kind, period] = keys[pick / 5 % std::size(keys)];
      const STKPTR stk = instruments[pick / 64 % instruments.size()];
      HWND window = !held.empty() && pick % 7 == 0 ? held[pick / 16 % held.size()].window : Window();
      const int series = SubscribeAgent(stk, kind, period, window);
      ASSERT_GE(series, 0);
      held.push_back({series, window});
    } else {
      const std::size_t at = pick / 8 % held.size();
      UnsubscribeAgent(held[at].series, held[at].window);
      held.erase(held.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (step % 20 == 19) {
      // A reload during which one window gives up its series and takes one of another
      // instrument, which may reuse the freed slot.
      Held& mover = held[pick / 32 % held.size()];
      const STKPTR to = instruments[(Agent(mover.series).instrument.index + 1u) % instruments.size()];
      agenttest::Actions()[mover.window] = [&mover, to](int series) {
        if (series != mover.series) return;
        agenttest::Actions().erase(mover.window);   // once
        UnsubscribeAgent(mover.series, mover.window);
        mover.series = SubscribeAgent(to, kAgentMinutes, 0, mover.window);
      };
      const STKPTR reloaded = Agent(mover.series).instrument;
      std::set<HWND> ofInstrument;
      for (HWND window : ReachedInRegistryOrder(reloaded, [](int) { return true; })) ofInstrument.insert(window);
      Log().clear();
      if (step % 40 == 19)
        ReloadInstrumentAgents(reloaded);
      else
        ReloadMarketAgents(0, 255);
      agenttest::Actions().erase(mover.window);
      ASSERT_GE(mover.series, 0);
      for (const agenttest::Received& r : Log()) EXPECT_EQ(r.percent, 100u);
      if (step % 40 == 19) {
        const std::vector<HWND> got = LoggedWindows();
        EXPECT_EQ(std::set<HWND>(got.begin(), got.end()), ofInstrument);
      }
    }
    ExpectNoticesInRegistryOrder(instruments);
  }
  for (const Held& h : held) UnsubscribeAgent(h.series, h.window);
  for (int i = 0; i < GetAgentRegistry().GetSize(); ++i) EXPECT_FALSE(Agent(i).InUse());
  ExpectNoticesInRegistryOrder(instruments);
}

TEST_F(AgentTest, ASeriesTakenByAHandlerDuringAQuoteIsNotToldOfIt) {
  HWND first = Window();
  HWND other = Window();
  HWND mover = Window();
  HWND later = Window();
  SubscribeAgent(Stock(0), kAgentTicks, 0, first);
  const int freed = SubscribeAgent(Stock(1), kAgentRecentTrades, 0, other);
  const int last = SubscribeAgent(Stock(0), kAgentMinutes, 0, later);
  // The first window's handler frees the series of another instrument and opens a trade list
  // of this one, which takes the freed slot ahead of the walk. It was loaded just now, quote
  // and all, and takes no part in this quote.
  int taken = -1;
  agenttest::Actions()[first] = [&](int) {
    agenttest::Actions().erase(first);
    UnsubscribeAgent(freed, other);
    taken = SubscribeAgent(Stock(0), kAgentRecentTrades, 0, mover);
  };
  QuoteOf() = agenttest::Pushed(1010, 100, 100);
  UpdateAgentsFromQuote(Stock(0), &QuoteOf(), kQuoteNewTrade);
  EXPECT_EQ(taken, freed);
  EXPECT_EQ(LoggedWindows(), (std::vector<HWND>{first, later}));
  EXPECT_EQ(Agent(last).windowCount, 1u);
  // From the next quote on it is told in its place.
  Log().clear();
  QuoteOf() = agenttest::Pushed(1020, 200, 100);
  UpdateAgentsFromQuote(Stock(0), &QuoteOf(), kQuoteNewTrade);
  EXPECT_EQ(LoggedWindows(), (std::vector<HWND>{first, mover, later}));
}

TEST_F(AgentTest, SubscribersMayChangeTheirSubscriptionsInsideTheirHandler) {
  HWND leaving = Window();
  HWND removed = Window();
  HWND staying = Window();
  const int ticks = SubscribeAgent(Stock(), kAgentTicks, 0, leaving);
  SubscribeAgent(Stock(), kAgentTicks, 0, removed);
  SubscribeAgent(Stock(), kAgentTicks, 0, staying);
  // Fill the registry to its first capacity, so the subscription in the handler moves it.
  for (std::uint32_t period = 100; GetAgentRegistry().GetSize() < kAgentRegistryStep; ++period)
    SubscribeAgent(Stock(2), kAgentMinutes, period, FakeWindow(static_cast<int>(period)));
  ASSERT_EQ(GetAgentRegistry().GetSize(), kAgentRegistryStep);

  int newSeries = -1;
  agenttest::Actions()[leaving] = [&](int series) {
    UnsubscribeAgent(series, leaving);
    UnsubscribeAgent(series, removed);
    newSeries = SubscribeAgent(Stock(1), kAgentMinuteBars, 5, leaving);
  };
  QuoteOf() = agenttest::Pushed(1010, 100, 100);
  UpdateAgentsFromQuote(Stock(), &QuoteOf(), kQuoteNewTrade);

  EXPECT_EQ(PercentsOf(leaving), std::vector<int>{0});
  EXPECT_TRUE(PercentsOf(removed).empty());
  EXPECT_EQ(PercentsOf(staying), std::vector<int>{0});
  EXPECT_GT(GetAgentRegistry().GetSize(), kAgentRegistryStep);
  ASSERT_GE(newSeries, 0);
  EXPECT_EQ(Agent(newSeries).windows[0], leaving);
  EXPECT_EQ(Agent(ticks).windowCount, 1u);
  EXPECT_EQ(Records<TradeRecord>(ticks).size(), 1u);
}

TEST_F(AgentTest, ASeriesFreedByItsOnlyWindowIsNotRefreshedFurther) {
  HWND trend = Window();
  HWND chart = Window();
  const int minutes = SubscribeAgent(Stock(), kAgentMinutes, 0, trend);
  const int bars = SubscribeAgent(Stock(), kAgentMinuteBars, 1, chart);
  // The trend view closes its series and the chart closes its own while being told of a reload:
  // the chart's series and then the minute series are freed in the middle of the walk.
  agenttest::Actions()[trend] = [&](int series) { UnsubscribeAgent(series, trend); };
  agenttest::Actions()[chart] = [&](int series) {
    UnsubscribeAgent(series, chart);
    // The slots are reused at once by a new series of another instrument.
    SubscribeAgent(Stock(1), kAgentTicks, 0, chart);
  };
  CDataAgent::Reload(bars);
  for (int i = 0; i < GetAgentRegistry().GetSize(); ++i)
    EXPECT_FALSE(Agent(i).InUse() && Agent(i).instrument == Stock()) << "series " << i << " of " << minutes;
  EXPECT_EQ(PercentsOf(trend), std::vector<int>{100});
  EXPECT_EQ(PercentsOf(chart), std::vector<int>{100});
}

TEST_F(AgentTest, SeriesOfInstrumentsTheTablesDoNotHoldStayEmptyAndQuiet) {
  const STKPTR strangers[] = {STKPTR(0, 0, kNoInstrument), STKPTR(0, 0, 500), STKPTR(5, 0, 0), STKPTR()};
  for (const STKPTR& stk : strangers) {
    HWND window = Window();
    std::vector<int> indexes;
    for (const auto& [kind, period] : {std::pair{1, 0}, {2, 0}, {3, 0}, {6, 5}, {7, 1}, {9, 1}}) {
      indexes.push_back(SubscribeAgent(stk, kind, static_cast<std::uint32_t>(period), window));
      ASSERT_GE(indexes.back(), 0);
      EXPECT_EQ(CDataAgent::GetRecords(indexes.back(), static_cast<void**>(nullptr), nullptr), 0);
    }
    Log().clear();
    QuoteRecord quote = agenttest::Pushed(1010, 100, 100);
    UpdateAgentsFromQuote(stk, &quote, kQuoteNewTrade | kQuoteBuyerInitiated);
    // The trade and minute series notify, and so do the bar series through their base.
    EXPECT_EQ(PercentsOf(window).size(), 6u) << int{stk.market} << "/" << stk.index;
    NotifyAgentsDataArrived(stk, kAgentDayBars, 1, 100);
    ReloadInstrumentAgents(stk);
    for (int index : indexes) {
      EXPECT_EQ(CDataAgent::GetRecords(index, static_cast<void**>(nullptr), nullptr), 0);
      CDataAgent::RequestBars(index);
    }
    ChartBar bars[kTodayBarCapacity];
    const TodayMinuteRecord minute = agenttest::Minute(1000, 10);
    EXPECT_EQ(BuildTodayMinuteBars(stk, &minute, 1, bars), 0);
    for (int index : indexes) UnsubscribeAgent(index, window);
  }
  ReloadMarketAgents(255, 255);
  for (int i = 0; i < GetAgentRegistry().GetSize(); ++i) EXPECT_FALSE(Agent(i).InUse());
}

TEST_F(AgentTest, ADestroyedSubscriberIsSkipped) {
  HWND gone = Window();
  HWND alive = Window();
  const int index = SubscribeAgent(Stock(), kAgentMinutes, 0, gone);
  SubscribeAgent(Stock(), kAgentMinutes, 0, alive);
  DestroyWindow(gone);
  CDataAgent::Refresh(index, 100);
  EXPECT_TRUE(PercentsOf(gone).empty());
  EXPECT_EQ(PercentsOf(alive), std::vector<int>{100});

  // A handler that closes another subscriber's window (which never unsubscribes) and its own.
  HWND victim = Window();
  HWND last = Window();
  SubscribeAgent(Stock(), kAgentMinutes, 0, victim);
  SubscribeAgent(Stock(), kAgentMinutes, 0, last);
  agenttest::Actions()[alive] = [&](int) {
    DestroyWindow(victim);
    DestroyWindow(alive);
  };
  Log().clear();
  QuoteOf() = agenttest::Pushed(1010, 100, 100);
  UpdateAgentsFromQuote(Stock(), &QuoteOf(), kQuoteNewTrade);
  EXPECT_EQ(PercentsOf(alive), std::vector<int>{0});
  EXPECT_TRUE(PercentsOf(victim).empty());
  EXPECT_EQ(PercentsOf(last), std::vector<int>{0});
}

}  // namespace
