// The keyboard wizard's search, once per keystroke: the whole search (commands, indicators,
// pages, instruments) for the texts "6", "600", "pf" and "p." over 48 markets of 5000
// instruments each with GBK names, and over the generated sample market loaded as the terminal
// loads it. Counters: the hits found and the instruments walked (the lists' members).
#include "BenchInstall.h"

#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "shell/SmartKBSearch.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

const char* const kTexts[] = {"6", "600", "pf", "p."};

// A level-1 GBK character picked by a number (B0A1..D7F9 skipping the 0xFF trail).
void PutCharacter(char* out, unsigned n) {
  const unsigned lead = 0xB0 + (n / 94) % 40;
  const unsigned trail = 0xA1 + n % 94;
  out[0] = static_cast<char>(lead);
  out[1] = static_cast<char>(trail);
}

// 48 markets x 5000 instruments: codes of six digits (market 0 starting 600 / 601, market 1
// 000 / 002, the others two letters and digits), names of four level-1 characters.
void InstallLargeMarkets() {
  constexpr int kMarkets = 48;
  constexpr int kPerMarket = 5000;
  unsigned seed = 12345;
  for (int m = 0; m < kMarkets; ++m) {
    MarketRecord record{};
    record.kind = 1;
    std::snprintf(record.code, sizeof record.code, "M%d", m);
    std::snprintf(record.fileExt, sizeof record.fileExt, "m%d", m);
    record.hourOffset = 8;
    record.capacity = kPerMarket;
    record.categoryCount = 1;
    record.categories[0].sessionCount = 1;
    record.categories[0].openMinute[0] = 540;
    record.categories[0].closeMinute[0] = 900;
    record.categories[0].dayChangeMinute = 530;
    auto* table = new TMarketData(m, record);
    for (int i = 0; i < kPerMarket; ++i) {
      InstrumentRecord& r = table->names[i];
      r = InstrumentRecord{};
      if (m == 0) {
        std::snprintf(r.code, sizeof r.code, "%d", 600000 + i * 2);
      } else if (m == 1) {
        std::snprintf(r.code, sizeof r.code, "%06d", i * 2 + 1);
      } else {
        std::snprintf(r.code, sizeof r.code, "%c%c%04d", 'A' + m % 26, 'A' + (m / 26 + i / 1000) % 26, i);
      }
      for (int c = 0; c < 4; ++c) {
        seed = seed * 1103515245u + 12345u;
        PutCharacter(r.name + 2 * c, seed >> 8);
      }
    }
    table->count = kPerMarket;
    table->FinishNameTable();
    MarketTables[m] = table;
    MarketCount = m + 1;
  }
}

void RemoveMarkets() {
  for (TMarketData*& table : MarketTables) {
    delete table;
    table = nullptr;
  }
  MarketCount = 0;
}

int Walked() {
  int members = 0;
  ISmartKBSources& sources = DefaultSmartKBSources();
  for (int list = 0; list < sources.InstrumentListCount(); ++list) members += sources.InstrumentCount(list);
  return members;
}

void RunSearch(benchmark::State& state, const char* text) {
  auto search = std::make_unique<SmartKBSearchState>();
  int hits = 0;
  for (auto _ : state) {
    SmartKBSearch(*search, text, DefaultSmartKBSources());
    hits = search->hitCount;
    benchmark::DoNotOptimize(search->hits);
  }
  state.counters["hits"] = hits;
  state.counters["instruments"] = search->instrumentCount;
  state.counters["members"] = Walked();
}

void BM_SmartKBSearchLargeMarkets(benchmark::State& state) {
  benchsupport::BenchInstall install("zuvo-smartkbbench");
  LoadHotKeys();
  InstallLargeMarkets();
  ClearBlocks();
  BuildCategoryBlocks();
  RunSearch(state, kTexts[state.range(0)]);
  state.SetLabel(kTexts[state.range(0)]);
  ClearBlocks();
  RemoveMarkets();
}
BENCHMARK(BM_SmartKBSearchLargeMarkets)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_SmartKBSearchSampleMarket(benchmark::State& state) {
#ifndef ZUVO_SAMPLE_TREE
  state.SkipWithError("the sample market generator is not built");
#else
  namespace fs = std::filesystem;
  benchsupport::BenchInstall install("zuvo-smartkbbench");
  const fs::path sample = ZUVO_SAMPLE_TREE;
  std::error_code error;
  const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
  fs::copy(sample / "cfg", install.root() / "cfg", options, error);
  if (!error) fs::copy(sample / "data", install.root() / "data", options, error);
  zuvo::platform::paths::InvalidateCache();
  zuvo::platform::profile::ClearCache();
  if (error || LoadMarkets(true, nullptr) != 1 || MarketCount == 0) {
    state.SkipWithError("the sample market did not load");
    return;
  }
  LoadHotKeys();
  RebuildBlocks();
  RunSearch(state, kTexts[state.range(0)]);
  state.SetLabel(kTexts[state.range(0)]);
  ClearBlocks();
  DeleteMarketTables();
#endif
}
BENCHMARK(BM_SmartKBSearchSampleMarket)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
