// Cache-file readers at realistic sizes: bars of a chart cycle aggregated from 15000 day bars,
// one downloaded day merged into a 1000-day trend history (about 3 MB), and a full day of 50000
// ticks.
#include "BenchInstall.h"
#include "BenchMarket.h"
#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/BarFiles.h"
#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/TickCache.h"
#include "data/TrendHistory.h"
#include "data/UtilData.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSlots = 271;
constexpr std::size_t kBlockBytes = 4 + 12 * kSlots;

// A temporary install tree with market "SH" holding one instrument, 600000.
class BenchMarket {
 public:
  BenchMarket() {
    UpdateSystemNow();
    table = benchsupport::InstallShMarket({benchsupport::BenchInstrument("600000")});
  }
  ~BenchMarket() { benchsupport::RemoveShMarket(); }

  fs::path Data(const char* relative) const { return install_.data() / "SH" / relative; }

  TMarketData* table = nullptr;

 private:
  benchsupport::BenchInstall install_{"zuvo-bench"};
};

void BM_ReadBarsByCycle(benchmark::State& state) {
  BenchMarket market;
  const int cycle = static_cast<int>(state.range(0));
  std::vector<ChartBar> bars(15000);
  PackedTime day = MakePackedTime(1950, 1, 2);
  for (std::size_t i = 0; i < bars.size(); ++i) {
    bars[i].time = day;
    bars[i].close = bars[i].open = bars[i].high = bars[i].low = 1000 + static_cast<std::uint32_t>(i % 97);
    bars[i].volume = 100;
    NextDay(&day);
  }
  benchsupport::WriteFile(market.Data("day/600000.day"), bars.data(), bars.size() * sizeof(ChartBar));
  const int savedLimit = MaxDataRecords;
  TUtilData::Shutdown();
  MaxDataRecords = 16000;   // room for all 15000 bars after the day of minutes kept free
  ChartBar* output = nullptr;
  int count = 0;
  for (auto _ : state) {
    ReadBarsByCycle(&output, 0, "600000", &count, cycle, 0, MaxDataRecords, 0, 0, nullptr);
    benchmark::DoNotOptimize(output);
  }
  state.counters["bars_out"] = count;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 15000 * 32);
  GuardedFree(output);
  TUtilData::Shutdown();
  MaxDataRecords = savedLimit;
}
BENCHMARK(BM_ReadBarsByCycle)->Arg(kCycleWeek)->Arg(kCycleMonth)->Arg(kCycleQuarter)->Unit(benchmark::kMicrosecond);

// A trend history of 1000 consecutive days from 2005-01-03 on (minutes left zero); their dates
// go to *days when given.
std::vector<std::uint8_t> TrendHistoryOf1000Days(std::vector<PackedTime>* days) {
  std::vector<std::uint8_t> history(4 + 1000 * kBlockBytes);
  std::memcpy(history.data(), &kSlots, 4);
  PackedTime day = MakePackedTime(2005, 1, 3);
  for (int i = 0; i < 1000; ++i) {
    std::memcpy(history.data() + 4 + i * kBlockBytes, &day, 4);
    if (days) days->push_back(day);
    NextDay(&day);
  }
  return history;
}

// One downloaded day merged into the 1000-day history, before every held day (arg 0) or after
// them (arg 1). The merge builds the merged history in memory and writes it over the old one
// through an atomic replace (a temporary file, flushed to disk, renamed), so both cost one read
// and one write of the whole file; the flush to disk is part of what is measured.
void BM_MergeTrendDay(benchmark::State& state) {
  BenchMarket market;
  const bool intoBack = state.range(0) != 0;
  const std::vector<std::uint8_t> history = TrendHistoryOf1000Days(nullptr);
  std::vector<TrendDayMinute> download(kSlots, TrendDayMinute{1000, 5, 5000});
  const PackedTime merged = intoBack ? MakePackedTime(2010, 1, 4) : MakePackedTime(2004, 12, 31);
  benchsupport::WriteFile(market.Data(("trend/600000" + std::to_string(merged) + ".trn").c_str()),
                          download.data(), download.size() * sizeof(TrendDayMinute));
  const fs::path trn = market.Data("trend/600000.trn");
  for (auto _ : state) {
    state.PauseTiming();
    benchsupport::WriteFile(trn, history.data(), history.size());
    state.ResumeTiming();
    if (!MergeTrendDay(market.table, 0, merged)) state.SkipWithError("merge failed");
  }
  state.SetLabel(intoBack ? "into back" : "into front");
  state.counters["bytes_read"] = static_cast<double>(history.size() + kSlots * 12);
  state.counters["bytes_written"] = static_cast<double>(history.size() + kBlockBytes);
}
BENCHMARK(BM_MergeTrendDay)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ReadTrendDayOf1000(benchmark::State& state) {
  BenchMarket market;
  std::vector<PackedTime> days;
  const std::vector<std::uint8_t> history = TrendHistoryOf1000Days(&days);
  benchsupport::WriteFile(market.Data("trend/600000.trn"), history.data(), history.size());
  std::vector<TrendDayMinute> buffer(kSlots);
  int count = 0;
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadTrendDay(market.table, 0, days[next], buffer.data(), &count));
    next = (next + 379) % days.size();
  }
}
BENCHMARK(BM_ReadTrendDayOf1000)->Unit(benchmark::kMicrosecond);

void BM_ReadTicks50000(benchmark::State& state) {
  BenchMarket market;
  std::vector<TradeRecord> trades(50000);
  for (std::size_t i = 0; i < trades.size(); ++i) trades[i].price = 1000 + static_cast<std::uint32_t>(i % 50);
  benchsupport::WriteFile(market.Data("tick/600000.tik"), trades.data(), trades.size() * sizeof(TradeRecord));
  TradeRecord* buffer = nullptr;
  int count = 0;
  for (auto _ : state) {
    ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 0);
    benchmark::DoNotOptimize(buffer);
  }
  if (count != 50000) state.SkipWithError("the tick file was not read whole");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 50000 * 20);
  GuardedFree(buffer);
}
BENCHMARK(BM_ReadTicks50000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
