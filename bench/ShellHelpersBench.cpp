// The views' shared helpers: a quote column value (every id in turn, as a quote list row asks
// for its columns) and the quote list's value sort of 5000 rows from random, sorted and reversed
// order.
#include "BenchInstall.h"
#include "data/MarketData.h"
#include "data/Records.h"
#include "shell/ViewHelpers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kInstruments = 5000;
constexpr int kRows = 5000;

// Market 0: one category with a book, 5000 instruments with full quotes and extras.
struct QuoteMarket {
  QuoteMarket() : tree("shell-helpers-bench") {
    MarketRecord record{};
    record.kind = 1;
    std::strcpy(record.code, "SH");
    std::strcpy(record.fileExt, "sh");
    record.hourOffset = 8;
    record.capacity = kInstruments;
    record.categoryCount = 1;
    CategoryRecord& category = record.categories[0];
    category.sessionCount = 2;
    category.openMinute[0] = 570;
    category.closeMinute[0] = 690;
    category.openMinute[1] = 780;
    category.closeMinute[1] = 900;
    category.dayChangeMinute = 540;
    table = new TMarketData(0, record);
    std::mt19937 random(3);
    for (int i = 0; i < kInstruments; ++i) {
      InstrumentRecord& name = table->names[i];
      std::snprintf(name.code, sizeof name.code, "%06d", i);
      name.priceDivisor = 100;
      name.volumeDivisor = 1;
      QuoteRecord& q = table->quotes[i];
      q.prevClose = 1000 + random() % 1000;
      q.open = q.prevClose + 5;
      q.high = q.prevClose + 50;
      q.low = q.prevClose - 40;
      q.last = q.prevClose + random() % 60 - 30;
      q.volume = static_cast<float>(random() % 100000);
      q.amount = q.volume * 10;
      q.lastVolume = 10;
      q.updateTime = 0xA2C5;
      for (int level = 0; level < 5; ++level) {
        q.bids[level] = PriceLevel{q.last - 1 - level, 100.0f + level};
        q.asks[level] = PriceLevel{q.last + 1 + level, 90.0f + level};
      }
      q.settlement = q.prevClose;
      table->extras[i] = QuoteExtraRecord{1, 0, q.prevClose, q.low, q.high, q.high, q.low, 5000.0f};
      table->lastTrades[i] = LastTradePrices{{q.last, q.last + 1, q.last - 1, q.last, q.last + 2}};
    }
    table->count = kInstruments;
    table->FinishNameTable();
    MarketTables[0] = table;
    MarketCount = 1;
  }
  ~QuoteMarket() {
    MarketTables[0] = nullptr;
    MarketCount = 0;
    delete table;
  }
  benchsupport::BenchInstall tree;
  TMarketData* table = nullptr;
};

QuoteMarket& Market() {
  static QuoteMarket market;
  return market;
}

// One call per column id 0..38 per row; the time reported is per call.
void BM_GetQuoteFieldAllIds(benchmark::State& state) {
  Market();
  int index = 0;
  for (auto _ : state) {
    const STKPTR stk(0, 0, static_cast<unsigned short>(index));
    for (int id = 0; id < kReportColumnCount; ++id) {
      double value;
      benchmark::DoNotOptimize(GetQuoteField(stk, id, value));
      benchmark::DoNotOptimize(value);
    }
    index = (index + 1) % kInstruments;
  }
  state.SetItemsProcessed(state.iterations() * kReportColumnCount);
  state.counters["ns/call"] = benchmark::Counter(static_cast<double>(state.iterations() * kReportColumnCount),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                                                 benchmark::Counter::kIs1000);
}
BENCHMARK(BM_GetQuoteFieldAllIds);

enum Order { kRandom, kSorted, kReversed };

// The keys of the rows in the given order for a descending sort (largest first = sorted).
std::vector<double> Keys(Order order) {
  std::vector<double> keys(kRows);
  std::mt19937 random(5);
  for (int i = 0; i < kRows; ++i) keys[i] = static_cast<double>(random() % 20000) / 100.0 - 100.0;
  if (order == kSorted) std::sort(keys.begin(), keys.end(), std::greater<>());
  if (order == kReversed) std::sort(keys.begin(), keys.end());
  return keys;
}

void BM_ShellSortRows(benchmark::State& state) {
  const std::vector<double> original = Keys(static_cast<Order>(state.range(0)));
  std::vector<ReportRow> originalRows(kRows);
  for (int i = 0; i < kRows; ++i) {
    originalRows[i] = ReportRow{0, 0, static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(i), 0, 0};
  }
  std::vector<double> keys;
  std::vector<ReportRow> rows;
  for (auto _ : state) {
    state.PauseTiming();
    keys = original;
    rows = originalRows;
    state.ResumeTiming();
    ShellSortRows(nullptr, rows.data(), keys.data(), kRows, 1);
    benchmark::DoNotOptimize(rows.data());
  }
}
BENCHMARK(BM_ShellSortRows)
    ->ArgName("random0_sorted1_reversed2")
    ->Arg(kRandom)
    ->Arg(kSorted)
    ->Arg(kReversed)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
