// The one-second timer's rules over a recording window and recording clients, ticked by hand on
// a driven clock; the broadcast periods as read from the settings; the ticker's scroll and its
// bounded list of notices on a real main window.
#include "FakeShellClients.h"
#include "ShellSettingsFixture.h"
#include "TimerFrameFixture.h"

#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/Profile.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/TimerRules.h"
#include "shell/ViewTypes.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using zuvo::shell::ITimerWindow;
using zuvo::shell::RefreshIntervals;
using zuvo::shell::RunTimer1Tick;
using zuvo::shell::TimerState;

namespace {

// Records what the rules do to the window, each call with the tick it came in.
class RecordingTimerWindow : public ITimerWindow {
 public:
  explicit RecordingTimerWindow(const TimerState& state) : state_(state) {}

  void ActivateAfterDisabledWindow() override { Note("Activate"); }
  void DrawTitleLetters(int highlighted) override { Note("Title " + std::to_string(highlighted)); }
  void ShowServerClock(int minutes) override { Note("Clock " + std::to_string(minutes)); }
  int& ReconnectCountdown() override { return countdown; }
  void Reconnect() override { Note("Reconnect"); }
  void AskToReconnect() override { Note("Ask"); }
  bool QuoteCycling() override { return cycling; }
  void BroadcastTimer(int arg) override { Note("Broadcast " + std::to_string(arg)); }
  void RunPendingRecalculations() override { Note("Recalc"); }
  void ClearCategoryDay(int market, int category) override {
    Note("Clear " + std::to_string(market) + " " + std::to_string(category));
  }
  void Resubscribe() override { Note("Resubscribe"); }
  void RepaintQuoteLists() override { Note("RepaintQuoteLists"); }
  void ReloadCategory(int market, int category) override {
    Note("Reload " + std::to_string(market) + " " + std::to_string(category));
  }
  void AlarmTimer() override { Note("Alarm"); }

  // The calls whose text starts with `prefix`, as "tick:call".
  std::vector<std::string> Only(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& [tick, call] : calls) {
      if (call.rfind(prefix, 0) == 0) found.push_back(std::to_string(tick) + ":" + call);
    }
    return found;
  }
  // The calls of one tick, in order.
  std::vector<std::string> OfTick(std::uint32_t tick) const {
    std::vector<std::string> found;
    for (const auto& [t, call] : calls) {
      if (t == tick) found.push_back(call);
    }
    return found;
  }

  int countdown = -1;
  bool cycling = false;
  std::vector<std::pair<std::uint32_t, std::string>> calls;

 private:
  void Note(std::string call) { calls.emplace_back(state_.ticks, std::move(call)); }
  const TimerState& state_;
};

class TimerRulesTest : public ::testing::Test {
 protected:
  void Tick(int times = 1) {
    for (int i = 0; i < times; ++i) {
      RunTimer1Tick(state, intervals, window);
      clock.Advance(1000);
    }
  }
  // The client calls after the ones already seen.
  std::vector<std::string> NewClientCalls() {
    std::vector<std::string> fresh(clients.calls.begin() + static_cast<long>(seenClientCalls), clients.calls.end());
    seenClientCalls = clients.calls.size();
    return fresh;
  }

  zuvo::platform::ScopedDrivenClock clock;   // 2024-03-06 01:30 UTC
  shelltest::FakeShellClients clients;
  TimerState state;
  RefreshIntervals intervals;
  RecordingTimerWindow window{state};
  std::size_t seenClientCalls = 0;
};

// ---- Broadcasts ------------------------------------------------------------------------------------

TEST_F(TimerRulesTest, BroadcastsComeAtTheirPeriodsSortThenCycleThenRefresh) {
  window.cycling = true;
  Tick(60);
  EXPECT_EQ(window.Only("Broadcast"),
            (std::vector<std::string>{"15:Broadcast 0", "30:Broadcast 1", "30:Broadcast 0", "30:Broadcast 2",
                                      "45:Broadcast 0", "60:Broadcast 1", "60:Broadcast 0", "60:Broadcast 2"}));

  // Without quote cycling only the sort and refresh broadcasts go.
  window.calls.clear();
  window.cycling = false;
  Tick(30);
  EXPECT_EQ(window.Only("Broadcast"), (std::vector<std::string>{"90:Broadcast 1", "90:Broadcast 2"}));
}

TEST_F(TimerRulesTest, PeriodsOutsideOneSecondToOneDayTakeTheirDefaults) {
  struct Case {
    int sort, page, refresh;
    RefreshIntervals expected;
  };
  const Case cases[] = {
      {30, 15, 30, {30, 15, 30}},
      {1, 86400, 7, {1, 86400, 7}},
      {0, 0, 0, {30, 15, 30}},                     // every tick would ask the server to sort
      {-5, -1, -86400, {30, 15, 30}},              // would never fire against the unsigned ticks
      {86401, 100000, 2147483647, {30, 15, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.sort) + " " + std::to_string(c.page) + " " + std::to_string(c.refresh));
    const RefreshIntervals got = zuvo::shell::ValidRefreshIntervals(c.sort, c.page, c.refresh);
    EXPECT_EQ(got.sortTime, c.expected.sortTime);
    EXPECT_EQ(got.pageTime, c.expected.pageTime);
    EXPECT_EQ(got.refreshTime, c.expected.refreshTime);
  }

  // A refresh period of 0 from the settings no longer broadcasts every tick.
  intervals = zuvo::shell::ValidRefreshIntervals(30, 15, 0);
  Tick(29);
  EXPECT_TRUE(window.Only("Broadcast").empty());
}

TEST(LoadRefreshIntervalsTest, ReadsTheProgramSettingsAndReplacesValuesOutOfRange) {
  shelltest::ShellSettings settings;
  auto write = [](const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA("Parameter", key, value, "..\\CFG\\SETTING.INI"));
  };
  write("SortTime", "0");
  write("PageTime", "-3");
  write("RefreshTime", "45");
  LoadRefreshIntervals();
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().sortTime, 30);
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().pageTime, 15);
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().refreshTime, 45);

  write("SortTime", "86400");
  write("PageTime", "x");
  write("RefreshTime", "86401");
  LoadRefreshIntervals();
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().sortTime, 86400);
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().pageTime, 15);
  EXPECT_EQ(zuvo::shell::ProcessRefreshIntervals().refreshTime, 30);
  zuvo::shell::ProcessRefreshIntervals() = RefreshIntervals{};
}

// ---- Keep-alive ------------------------------------------------------------------------------------

TEST_F(TimerRulesTest, HeartbeatsAfterTenQuietSecondsAndEveryFiftySeventhTickOncePerConnection) {
  clients.requestClient = true;
  clients.pushClient = true;

  // 9999 ms of quiet: nothing yet.
  clients.pushLastTraffic = GetTickCount() - 9999;
  Tick();
  EXPECT_TRUE(NewClientCalls().empty());
  // 10000 ms: the push heartbeat.
  clients.pushLastTraffic = GetTickCount() - 10000;
  Tick();
  EXPECT_EQ(NewClientCalls(), std::vector<std::string>{"PushSendHeartbeat"});

  // Tick 57 with a quiet push connection: one push heartbeat, and the request heartbeat.
  state.ticks = 56;
  clients.pushLastTraffic = GetTickCount() - 20000;
  Tick();
  EXPECT_EQ(NewClientCalls(), (std::vector<std::string>{"PushSendHeartbeat", "RequestSendHeartbeat"}));
  // Tick 114 with fresh traffic: both by the period.
  state.ticks = 113;
  clients.pushLastTraffic = GetTickCount();
  Tick();
  EXPECT_EQ(NewClientCalls(), (std::vector<std::string>{"RequestSendHeartbeat", "PushSendHeartbeat"}));

  // Without clients nothing is sent.
  clients.requestClient = false;
  clients.pushClient = false;
  state.ticks = 170;
  Tick();
  EXPECT_TRUE(NewClientCalls().empty());
}

// ---- Title animation, clock and reconnect countdown ------------------------------------------------

TEST_F(TimerRulesTest, ConnectedTheTitleAnimatesAndTheCountdownRests) {
  clients.requestClient = true;
  clients.pushClient = true;
  clients.pushLastTraffic = GetTickCount();
  window.countdown = 12;
  Tick(5);
  EXPECT_EQ(window.Only("Title"),
            (std::vector<std::string>{"1:Title 0", "2:Title 1", "3:Title 2", "4:Title 3", "5:Title 0"}));
  EXPECT_TRUE(window.Only("Clock").empty());
  EXPECT_TRUE(window.Only("Reconnect").empty());
  EXPECT_EQ(window.countdown, 12);
}

TEST_F(TimerRulesTest, CountdownReconnectsAtOnceThenEveryFiveTicksThenAsks) {
  clients.requestClient = true;   // the push client is missing
  window.countdown = 12;
  state.ticks = 3;
  Tick(100);
  // 12 attempts: at once (tick 4), then from 11 down on the ticks that are multiples of 5.
  std::vector<std::string> expected = {"4:Reconnect"};
  for (int tick = 5; tick <= 55; tick += 5) expected.push_back(std::to_string(tick) + ":Reconnect");
  EXPECT_EQ(window.Only("Reconnect"), expected);
  EXPECT_EQ(window.Only("Ask"), std::vector<std::string>{"60:Ask"});
  EXPECT_EQ(window.countdown, -1);
  // The clock follows the platform's UTC time every tick while disconnected (01:30 UTC).
  EXPECT_EQ(window.OfTick(4)[0], "Clock 90");
  EXPECT_EQ(window.Only("Clock").size(), 100u);
}

TEST_F(TimerRulesTest, CountdownStepsAsTheTicksFall) {
  struct Case {
    std::uint32_t tickBefore;   // the tick that runs is the next one
    int countdown;
    int expectedCountdown;
    std::vector<std::string> expectedCalls;
  };
  const Case cases[] = {
      {3, 12, 11, {"Reconnect"}},   // armed: at once, whatever the tick
      {4, 11, 10, {"Reconnect"}},   // the next tick is a multiple of 5
      {5, 11, 11, {}},              // not a multiple of 5: waits
      {9, 1, 0, {"Reconnect"}},
      {14, 0, -1, {"Ask"}},
      {19, -1, -1, {}},             // off
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.tickBefore + 1) + " with " + std::to_string(c.countdown));
    window.calls.clear();
    window.countdown = c.countdown;
    state.ticks = c.tickBefore;
    Tick();
    std::vector<std::string> got = window.Only("Reconnect");
    for (const std::string& ask : window.Only("Ask")) got.push_back(ask);
    for (std::string& call : got) call = call.substr(call.find(':') + 1);
    EXPECT_EQ(got, c.expectedCalls);
    EXPECT_EQ(window.countdown, c.expectedCountdown);
  }
}

// ---- One tick in order -----------------------------------------------------------------------------

TEST_F(TimerRulesTest, EveryTickActivatesRecalculatesAndEndsWithTheAlarmHook) {
  Tick();
  // The window is activated before the tick is counted.
  EXPECT_EQ(window.OfTick(0), std::vector<std::string>{"Activate"});
  EXPECT_EQ(window.OfTick(1), (std::vector<std::string>{"Clock 90", "Recalc", "Alarm"}));
}

// ---- Trading day -----------------------------------------------------------------------------------

class TradingDayTest : public TimerRulesTest {
 protected:
  void SetUp() override {
    // Market 0 with two categories, market 1 with one; the day changes at 08:50 + 2 minutes.
    first = markets.Add(0, markettest::MakeRecord("SH", 1, 16, 2, "tst"), {markettest::MakeInstrument("000001")});
    second = markets.Add(1, markettest::MakeRecord("SZ", 1, 16, 1, "tst"), {markettest::MakeInstrument("399001")});
  }
  // The market's clock on `date` at 15:10 (closed for the day), its trading dates the day before.
  static void SetDay(TMarketData* table, PackedTime date, PackedTime tradingDate) {
    table->now = date | (15u << 6) | 10u;
    table->minuteOfDay = 15 * 60 + 10;
    for (PackedTime& d : table->tradingDate) d = tradingDate | (9u << 6);
  }
  // Runs tick 63, the first trading-day check (no broadcast due in it).
  void RunCheck() {
    state.ticks = 62;
    state.lastSortBroadcast = state.lastRefreshBroadcast = 62;
    Tick();
  }

  shelltest::ShellSettings settings;   // the install the tables' folders go to
  markettest::ScopedMarkets markets;
  TMarketData* first = nullptr;
  TMarketData* second = nullptr;
};

TEST_F(TradingDayTest, ANewWeekdayClearsEveryClosedCategoryAndTakesTheNewDate) {
  struct Case {
    const char* name;
    PackedTime date;
    bool cleared;
  };
  const Case cases[] = {
      {"2000-03-01 Wednesday", MakePackedTime(2000, 3, 1), true},
      {"2024-03-01 Friday", MakePackedTime(2024, 3, 1), true},   // the C remainder gave -2 here
      {"2024-03-04 Monday", MakePackedTime(2024, 3, 4), true},
      {"2024-03-02 Saturday", MakePackedTime(2024, 3, 2), false},
      {"2024-03-03 Sunday", MakePackedTime(2024, 3, 3), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window.calls.clear();
    PackedTime before = c.date;
    PrevDay(&before);
    SetDay(first, c.date, before);
    SetDay(second, c.date, before);
    RunCheck();
    if (c.cleared) {
      EXPECT_EQ(window.OfTick(63), (std::vector<std::string>{"Clock 90", "Recalc", "Clear 0 0",
                                                             "Clear 0 1", "Resubscribe", "RepaintQuoteLists",
                                                             "Reload 0 0", "Reload 0 1", "Clear 1 0", "Resubscribe",
                                                             "RepaintQuoteLists", "Reload 1 0", "Alarm"}));
      EXPECT_EQ(first->tradingDate[0], first->now);
      EXPECT_EQ(first->tradingDate[1], first->now);
      EXPECT_EQ(second->tradingDate[0], second->now);
      // The next check finds nothing new.
      window.calls.clear();
      RunCheck();
      EXPECT_TRUE(window.Only("Clear").empty());
    } else {
      EXPECT_TRUE(window.Only("Clear").empty());
      EXPECT_TRUE(window.Only("Reload").empty());
      EXPECT_EQ(PackedDate(first->tradingDate[0]), before);
    }
  }
}

TEST_F(TradingDayTest, OnlyClosedCategoriesOfANewDateAndOnlyOnTheSixtyThirdTick) {
  const PackedTime friday = MakePackedTime(2024, 3, 1);
  const PackedTime thursday = MakePackedTime(2024, 2, 29);
  SetDay(first, friday, thursday);
  SetDay(second, friday, friday);                 // already on the new day
  first->tradingDate[1] = friday | (9u << 6);     // the same date at another time: no change
  first->minuteOfDay = 8 * 60 + 51;               // 08:51: not yet closed (08:50 + 2)
  RunCheck();
  EXPECT_TRUE(window.Only("Clear").empty());

  first->minuteOfDay = 8 * 60 + 52;
  state.ticks = 63;
  Tick(62);   // ticks 64 to 125: no check
  EXPECT_TRUE(window.Only("Clear").empty());
  Tick();     // tick 126
  EXPECT_EQ(window.Only("Clear"), std::vector<std::string>{"126:Clear 0 0"});
  EXPECT_EQ(window.Only("Reload"), std::vector<std::string>{"126:Reload 0 0"});
}

TEST_F(TradingDayTest, MarketZeroArmsTheNameTableResendOnlyWithARequestClient) {
  const PackedTime friday = MakePackedTime(2024, 3, 1);
  const PackedTime thursday = MakePackedTime(2024, 2, 29);
  SetDay(first, friday, thursday);
  SetDay(second, friday, friday);
  RunCheck();
  EXPECT_EQ(state.nameTableCountdown, 0);

  SetDay(first, friday, thursday);
  clients.requestClient = true;
  RunCheck();
  const int countdown = state.nameTableCountdown;
  ASSERT_GE(countdown, 1);
  ASSERT_LE(countdown, 300);
  NewClientCalls();
  // The tables are asked for when the countdown ends, market 0 first, and only then (the
  // request heartbeats of the ticks in between aside).
  auto nameTableCalls = [this] {
    std::vector<std::string> found;
    for (const std::string& call : NewClientCalls()) {
      if (call.rfind("RequestNameTable", 0) == 0) found.push_back(call);
    }
    return found;
  };
  Tick(countdown - 1);
  EXPECT_TRUE(nameTableCalls().empty());
  Tick();
  EXPECT_EQ(nameTableCalls(), (std::vector<std::string>{"RequestNameTable 0", "RequestNameTable 1"}));
  EXPECT_EQ(state.nameTableCountdown, 0);
  Tick(400);
  EXPECT_TRUE(nameTableCalls().empty());
}

TEST_F(TradingDayTest, AResendCountdownEndingWithoutARequestClientAsksNothing) {
  state.nameTableCountdown = 2;
  Tick(2);
  EXPECT_EQ(state.nameTableCountdown, 0);
  EXPECT_TRUE(NewClientCalls().empty());
}

// ---- Glue on the main window -----------------------------------------------------------------------

class FrameTimersTest : public shelltest::TimerFrameTest {
 protected:
  int TickerLength() const {
    int n = 0;
    for (const TMFrame::TickerNode* node = frame->TickerHead; node != nullptr; node = node->next) ++n;
    return n;
  }
  std::vector<std::string> TickerTexts() const {
    std::vector<std::string> texts;
    for (const TMFrame::TickerNode* node = frame->TickerHead; node != nullptr; node = node->next) {
      texts.push_back(node->text);
    }
    return texts;
  }
  void Scroll(int steps) {
    for (int i = 0; i < steps; ++i) frame->Timer2Timer(frame->Timer2);
  }
};

TEST_F(FrameTimersTest, TheTimerKeepsTheClockAndCountsDownWhileDisconnected) {
  const std::uint32_t ticksBefore = zuvo::shell::ProcessTimerState().ticks;
  frame->ReconnectCountdown = 12;
  frame->Timer1Timer(frame->Timer1);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  EXPECT_EQ(frame->ServerClock, now.wHour * 60 + now.wMinute);
  EXPECT_EQ(frame->ReconnectCountdown, 11);
  EXPECT_EQ(zuvo::shell::ProcessTimerState().ticks, ticksBefore + 1);

  // Connected: no countdown.
  clients.requestClient = true;
  clients.pushClient = true;
  clients.pushLastTraffic = GetTickCount();
  zuvo::shell::ProcessTimerState().ticks = 4;   // the next tick is a multiple of 5
  frame->Timer1Timer(frame->Timer1);
  EXPECT_EQ(frame->ReconnectCountdown, 11);
}

TEST_F(FrameTimersTest, ANewTradingDayClearsTheIndexesAndRefreshesTheChartsOfItsCategory) {
  // A page of a trend of SH 600000 and a K-line of SZ 399001.
  TMultiViewMain* page = frame->PageWindow();
  ASSERT_NE(page, nullptr);
  ASSERT_GT(page->cells.GetSize(), 0);
  VIEW_ATTR_12 trendAttr;
  DefaultViewAttr(VIEW_TREND, &trendAttr);
  trendAttr.instrument = STKPTR(0, 0, 1);
  VIEW_ATTR_12 klineAttr;
  DefaultViewAttr(VIEW_KLINE, &klineAttr);
  klineAttr.instrument = STKPTR(1, 0, 0);
  TMultiViewChild* trend = page->ChangeCellView(page->cells[page->cells.GetSize() - 1]->node, &trendAttr, 0);
  ASSERT_NE(trend, nullptr);
  TMultiViewChild* kline = page->SplitCell(trend->node, &klineAttr, 0.5f, 2);
  ASSERT_NE(kline, nullptr);
  zuvo::platform::ProcessPendingMessages();
  auto* trendCalls = dynamic_cast<StubRecorder*>(trend);
  auto* klineCalls = dynamic_cast<StubRecorder*>(kline);
  ASSERT_NE(trendCalls, nullptr);
  ASSERT_NE(klineCalls, nullptr);
  trendCalls->calls.clear();
  trendCalls->notifications.clear();
  klineCalls->calls.clear();
  klineCalls->notifications.clear();

  // Market 0 starts Friday 2024-03-01 after its close; market 1 is already on that day.
  const PackedTime friday = MakePackedTime(2024, 3, 1, 15, 10);
  TMarketData* shanghai = GetMarketTable(0);
  TMarketData* shenzhen = GetMarketTable(1);
  for (TMarketData* table : {shanghai, shenzhen}) {
    table->now = friday;
    table->minuteOfDay = 15 * 60 + 10;
    for (PackedTime& date : table->tradingDate) date = table == shanghai ? MakePackedTime(2024, 2, 29) : friday;
  }
  frame->IndexSlots[0] = {0, 3000, 3100, 1e10};
  frame->IndexSlots[1] = {0, 9000, 9100, 2e10};
  TimerState& state = zuvo::shell::ProcessTimerState();
  state.ticks = 62;
  state.lastSortBroadcast = state.lastRefreshBroadcast = 62;
  frame->Timer1Timer(frame->Timer1);

  EXPECT_EQ(shanghai->tradingDate[0], friday);
  EXPECT_EQ(shanghai->tradingDate[1], friday);
  for (const TMFrame::IndexSlot& slot : frame->IndexSlots) {
    EXPECT_EQ(slot.previousClose, 0);
    EXPECT_EQ(slot.last, 0);
    EXPECT_EQ(slot.amount, 0);
  }
  EXPECT_TRUE(trendCalls->Called("RefreshView"));
  EXPECT_FALSE(klineCalls->Called("RefreshView"));
  // Every tick both charts run their pending recalculation: code 8 with 3.
  for (StubRecorder* chart : {trendCalls, klineCalls}) {
    ASSERT_EQ(chart->notifications.size(), 1u);
    EXPECT_EQ(chart->notifications[0].code, 8);
    EXPECT_EQ(chart->notifications[0].arg, 3);
  }
}

TEST_F(FrameTimersTest, ASingleNoticeScrollsInAgainFromTheRight) {
  // With no notice the scroll timer stops.
  frame->Timer2->SetEnabled(true);
  Scroll(1);
  EXPECT_FALSE(frame->Timer2->Enabled());
  EXPECT_EQ(frame->TickerOffset, 0);

  const int box = frame->StatusBox6->Width();
  ASSERT_GT(box, 30);
  ASSERT_TRUE(frame->AddTickerNotice("notice one", 64));
  EXPECT_TRUE(frame->Timer2->Enabled());
  const int width = frame->TickerHead->width;
  ASSERT_GT(width, 0);

  Scroll(width + box - 1);
  EXPECT_EQ(frame->TickerOffset, width + box - 1);
  Scroll(1);   // it has left the box
  EXPECT_EQ(frame->TickerOffset, 0);
  EXPECT_EQ(TickerTexts(), std::vector<std::string>{"notice one"});
}

TEST_F(FrameTimersTest, TheNextNoticeFollowsThirtyPixelsBehindAndTheFirstIsFreed) {
  const int box = frame->StatusBox6->Width();
  ASSERT_TRUE(frame->AddTickerNotice("first", 64));
  ASSERT_TRUE(frame->AddTickerNotice("second", 64));
  const int width = frame->TickerHead->width;
  Scroll(width + box);
  EXPECT_EQ(TickerTexts(), std::vector<std::string>{"second"});
  // The second one now stands 30 px into the box.
  EXPECT_EQ(frame->TickerOffset, box - 30);
}

TEST_F(FrameTimersTest, AtMostSixtyFourNoticesWaitTheOldestWaitingOneGoes) {
  // Nothing has started: the oldest notices go.
  for (int i = 0; i < 70; ++i) ASSERT_TRUE(frame->AddTickerNotice(("n" + std::to_string(i)).c_str(), 16));
  EXPECT_EQ(TickerLength(), 64);
  EXPECT_EQ(TickerTexts().front(), "n6");
  EXPECT_EQ(TickerTexts().back(), "n69");

  // The first one scrolling stays; the ones behind it are capped.
  Scroll(1);
  for (int i = 70; i < 80; ++i) ASSERT_TRUE(frame->AddTickerNotice(("n" + std::to_string(i)).c_str(), 16));
  EXPECT_EQ(TickerLength(), 65);
  const std::vector<std::string> texts = TickerTexts();
  EXPECT_EQ(texts[0], "n6");
  EXPECT_EQ(texts[1], "n16");
  EXPECT_EQ(texts.back(), "n79");
}

TEST_F(FrameTimersTest, ANoticeTextIsBoundedByItsRecord) {
  std::array<char, 116> record;
  record.fill('A');   // no terminator inside the record
  ASSERT_TRUE(frame->AddTickerNotice(record.data(), record.size()));
  EXPECT_EQ(std::string(frame->TickerHead->text), std::string(116, 'A'));
  ASSERT_TRUE(frame->AddTickerNotice("short\0tail", 116));
  EXPECT_EQ(TickerTexts().back(), "short");
  EXPECT_FALSE(frame->AddTickerNotice(nullptr, 10));
}

}  // namespace
