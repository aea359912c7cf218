// The live road of a pushed quote through the shared data series: one instrument shown by a
// trend view, a tick list and K-line charts of 1, 5, 15 and 60 minutes and days on long bar
// histories; and the cost of a quote or a server reply for an instrument without series while
// 10 or 200 other series are live (it must not grow with the number of series). The counters
// report cache loads and buffer growths per quote (loads must stay 0: a live quote never reloads
// a series from disk).
#include "BenchOffscreenMain.h"
#include "BenchInstall.h"
#include "BenchMarket.h"
#include "core/PackedTime.h"
#include "data/AgentLoad.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;

constexpr int kHistoryBars = 15000;
constexpr PackedTime kToday = MakePackedTime(2024, 3, 13);   // a Wednesday

// `count` weekdays before kToday, oldest first.
std::vector<PackedTime> WeekdaysBefore(int count) {
  std::vector<PackedTime> days;
  PackedTime day = kToday;
  while (static_cast<int>(days.size()) < count) {
    PrevWeekday(&day);
    days.push_back(day);
  }
  std::reverse(days.begin(), days.end());
  return days;
}

// Bars at the given minutes of day of consecutive weekdays, `count` bars ending yesterday.
std::vector<ChartBar> Bars(int count, const std::vector<int>& minutesOfDay) {
  const int perDay = static_cast<int>(minutesOfDay.size());
  const std::vector<PackedTime> days = WeekdaysBefore((count + perDay - 1) / perDay);
  std::vector<ChartBar> bars;
  for (PackedTime day : days) {
    for (int minute : minutesOfDay) {
      ChartBar bar{};
      bar.time = day | static_cast<PackedTime>((minute / 60) << 6) | static_cast<PackedTime>(minute % 60);
      bar.close = bar.open = 1000 + static_cast<std::uint32_t>(bars.size() % 50);
      bar.high = bar.close + 5;
      bar.low = bar.close - 5;
      bar.volume = 100;
      bar.amount = 10000;
      bars.push_back(bar);
    }
  }
  bars.erase(bars.begin(), bars.end() - count);
  return bars;
}

std::vector<int> SessionMinutes(int step) {
  std::vector<int> minutes;
  for (int m = 540 + step; m <= 690; m += step) minutes.push_back(m);
  for (int m = 780 + step; m <= 900; m += step) minutes.push_back(m);
  return minutes;
}

LRESULT QuietWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgAgentData) {
    void* records = nullptr;
    int count = 0;
    CDataAgent::GetRecords(static_cast<int>(lParam), &records, &count);
    benchmark::DoNotOptimize(records);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &QuietWindowProc;
    windowClass.lpszClassName = "AgentBenchWindow";
    RegisterClassA(&windowClass);
    registered = true;
  }
  return CreateWindowExA(0, "AgentBenchWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// A temporary install tree with market "SH" (sessions 09:00-11:30, 13:00-15:00) of three
// instruments, the clock at 10:00 of a trading Wednesday, and long bar files for the first one.
class BenchMarket {
 public:
  BenchMarket() {
    const std::string user = paths::ToWindows(install_.user().string()) + "\\";
    std::strncpy(UserDir, user.c_str(), sizeof UserDir - 1);
    // Room for the history and today's bars.
    benchsupport::WriteFile(install_.cfg() / "SETTING.INI", "[Parameter]\r\nMaxDataRecords=15300\r\n");
    profile::ClearCache();
    LoadMaxDataRecords();

    table = benchsupport::InstallShMarket({benchsupport::BenchInstrument("600000", 100, 1),
                                           benchsupport::BenchInstrument("600001", 100, 1),
                                           benchsupport::BenchInstrument("600002", 100, 1)});
    table->now = kToday | (10 << 6);
    table->minuteOfDay = 600;
    table->tradingDate[0] = kToday;
    table->UpdateMinuteIndexes();

    const auto data = install_.data() / "SH";
    WriteBars(data / "min1" / "600000.m1", Bars(kHistoryBars + 300, SessionMinutes(1)));
    WriteBars(data / "min" / "600000.min", Bars(kHistoryBars + 300, SessionMinutes(5)));
    WriteBars(data / "hour" / "600000.hr", Bars(kHistoryBars + 300, {600, 660, 690, 840, 900}));
    WriteBars(data / "day" / "600000.day", Bars(kHistoryBars + 300, {0}));
  }
  ~BenchMarket() {
    FreeAllAgents();
    for (HWND window : windows) DestroyWindow(window);
    benchsupport::RemoveShMarket();
  }

  HWND Window() {
    windows.push_back(MakeWindow());
    return windows.back();
  }

  TMarketData* table = nullptr;
  std::vector<HWND> windows;

 private:
  static void WriteBars(const fs::path& file, const std::vector<ChartBar>& bars) {
    benchsupport::WriteFile(file, bars.data(), bars.size() * sizeof(ChartBar));
  }

  benchsupport::BenchInstall install_{"zuvo-agent-bench"};
};

void ReportPerQuote(benchmark::State& state, const AgentLoadCounters& before) {
  const double quotes = static_cast<double>(state.iterations());
  state.counters["reloads_per_quote"] = static_cast<double>(AgentCounters.cacheLoads - before.cacheLoads) / quotes;
  state.counters["growths_per_quote"] = static_cast<double>(AgentCounters.growths - before.growths) / quotes;
  state.SetItemsProcessed(state.iterations());
}

void BM_QuoteThroughChartsOfOneInstrument(benchmark::State& state) {
  BenchMarket market;
  const STKPTR stock(0, 0, 0);
  SubscribeAgent(stock, kAgentMinutes, 0, market.Window());
  SubscribeAgent(stock, kAgentTicks, 0, market.Window());
  std::vector<int> charts;
  for (int period : {1, 5, 15, 60}) charts.push_back(SubscribeAgent(stock, kAgentMinuteBars, period, market.Window()));
  charts.push_back(SubscribeAgent(stock, kAgentDayBars, 1, market.Window()));

  QuoteRecord& quote = market.table->quotes[0];
  quote.prevClose = 1000;
  quote.open = quote.high = quote.low = quote.last = 1010;
  quote.volume = 0;
  quote.lastVolume = 1;
  std::uint32_t step = 0;
  // Warm-up: the first quote builds today's bars behind each history.
  quote.volume += 1;
  UpdateAgentsFromQuote(stock, &quote, kQuoteNewTrade);
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const CDataAgent* chart = GetAgent(charts[i]);
    state.counters["history_bars_" + std::to_string(i)] = chart->historyCount;
  }

  const AgentLoadCounters before = AgentCounters;
  for (auto _ : state) {
    quote.volume += 1;
    quote.last = 1000 + (++step % 20);
    UpdateAgentsFromQuote(stock, &quote, kQuoteNewTrade | kQuoteBuyerInitiated);
  }
  ReportPerQuote(state, before);
}
BENCHMARK(BM_QuoteThroughChartsOfOneInstrument)->Unit(benchmark::kMicrosecond);

void BM_QuoteOfAnInstrumentWithoutSeries(benchmark::State& state) {
  BenchMarket market;
  const STKPTR other(0, 0, 1);
  HWND window = market.Window();
  // Live series of another instrument: minute series told apart by their period word.
  for (int i = 0; i < state.range(0); ++i)
    SubscribeAgent(other, kAgentMinutes, static_cast<std::uint32_t>(i), window);
  const STKPTR quiet(0, 0, 2);
  QuoteRecord& quote = market.table->quotes[2];
  quote.last = 1010;
  const AgentLoadCounters before = AgentCounters;
  for (auto _ : state) {
    quote.volume += 1;
    UpdateAgentsFromQuote(quiet, &quote, kQuoteNewTrade);
  }
  ReportPerQuote(state, before);
}
BENCHMARK(BM_QuoteOfAnInstrumentWithoutSeries)->Arg(10)->Arg(200);

// A server reply (trade details progressing) for an instrument without series while 10 or 200
// series of another instrument are live.
void BM_ArrivalForAnInstrumentWithoutSeries(benchmark::State& state) {
  BenchMarket market;
  const STKPTR other(0, 0, 1);
  HWND window = market.Window();
  for (int i = 0; i < state.range(0); ++i)
    SubscribeAgent(other, kAgentMinutes, static_cast<std::uint32_t>(i), window);
  const STKPTR quiet(0, 0, 2);
  const AgentLoadCounters before = AgentCounters;
  for (auto _ : state) NotifyAgentsDataArrived(quiet, kAgentMinutes, 0, 40);
  ReportPerQuote(state, before);
}
BENCHMARK(BM_ArrivalForAnInstrumentWithoutSeries)->Arg(10)->Arg(200);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN()
