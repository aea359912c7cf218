// Market tables: the offline load of 48 markets of 5000 instruments, code lookups through the
// index against a linear scan, and the cost of building references.
#include "BenchInstall.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/StkPtr.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr int kMarkets = 48;
constexpr int kInstruments = 5000;

class SilentNotifier : public ILoadNotifier {
 public:
  void Send(HWND, UINT, WPARAM, LPARAM) override {}
  void ShowError(const char*, const char*) override {}
};

std::string CodeOf(int market, int index) {
  char code[8];
  std::snprintf(code, sizeof code, "%c%c%04d", 'A' + market / 26, 'A' + market % 26, index);
  return code;
}

// A temporary install tree with 48 markets, set up once for the whole program.
struct BenchInstall {
  BenchInstall() : tree("market-bench") {
    std::vector<MarketRecord> records(kMarkets);
    for (int m = 0; m < kMarkets; ++m) {
      MarketRecord& r = records[static_cast<std::size_t>(m)];
      r = MarketRecord{};
      r.kind = 1;
      const std::string code = std::string("M").append(std::to_string(m));
      std::strcpy(r.code, code.c_str());
      std::strcpy(r.fileExt, "dat");
      r.hourOffset = 8;
      r.capacity = kInstruments;
      r.categoryCount = 2;
      for (int c = 0; c < 2; ++c) {
        r.categories[c].sessionCount = 2;
        r.categories[c].openMinute[0] = 570;
        r.categories[c].closeMinute[0] = 690;
        r.categories[c].openMinute[1] = 780;
        r.categories[c].closeMinute[1] = 900;
        r.categories[c].dayChangeMinute = 540;
      }
      std::vector<InstrumentRecord> names(kInstruments);
      std::vector<QuoteRecord> quotes(kInstruments);
      for (int i = 0; i < kInstruments; ++i) {
        InstrumentRecord& n = names[static_cast<std::size_t>(i)];
        n = InstrumentRecord{};
        std::strcpy(n.code, CodeOf(m, i).c_str());
        n.category = static_cast<std::uint8_t>(i % 2);
        n.priceDivisor = 100;
        n.volumeDivisor = 1;
        quotes[static_cast<std::size_t>(i)] = QuoteRecord{};
        quotes[static_cast<std::size_t>(i)].last = static_cast<std::uint32_t>(1000 + i);
      }
      const auto folder = tree.data() / code;
      std::filesystem::create_directories(folder);
      std::ofstream(folder / "nametbl.dat", std::ios::binary)
          .write(reinterpret_cast<const char*>(names.data()), static_cast<std::streamsize>(names.size() * sizeof(InstrumentRecord)));
      std::ofstream(folder / "real.dat", std::ios::binary)
          .write(reinterpret_cast<const char*>(quotes.data()), static_cast<std::streamsize>(quotes.size() * sizeof(QuoteRecord)));
    }
    std::ofstream(tree.cfg() / "mkinfo.cfg", std::ios::binary)
        .write(reinterpret_cast<const char*>(records.data()), static_cast<std::streamsize>(records.size() * sizeof(MarketRecord)));
    paths::InvalidateCache();
  }
  ~BenchInstall() { DeleteMarketTablesQuietly(); }
  // Drops the tables without saving quotes, so the files stay as generated.
  static void DeleteMarketTablesQuietly() {
    for (TMarketData* table : MarketTables) {
      if (table != nullptr) table->quotesLoaded = false;
    }
    DeleteMarketTables();
  }
  benchsupport::BenchInstall tree;
};

BenchInstall& Install() {
  static BenchInstall install;
  return install;
}

void EnsureLoaded() {
  Install();
  if (MarketCount != kMarkets) {
    SilentNotifier notifier;
    LoadMarkets(true, nullptr, &notifier);
  }
}

void BM_LoadMarketsOffline(benchmark::State& state) {
  Install();
  SilentNotifier notifier;
  for (auto _ : state) {
    state.PauseTiming();
    BenchInstall::DeleteMarketTablesQuietly();
    state.ResumeTiming();
    if (LoadMarkets(false, nullptr, &notifier) != 1 || MarketCount != kMarkets) {
      state.SkipWithError("load failed");
      break;
    }
  }
}
BENCHMARK(BM_LoadMarketsOffline)->Unit(benchmark::kMillisecond);

// The scan the index replaced: every market from the hint, every record in order.
int LinearFind(const char* code, int hint, STKPTR* out) {
  auto scan = [&](int m) {
    const TMarketData* table = MarketTables[m];
    for (int i = 0; i < table->count; ++i) {
      if (gbk::EqualsNoCase(table->names[i].code, code)) {
        *out = STKPTR(static_cast<unsigned char>(m), 0, static_cast<unsigned short>(i));
        return true;
      }
    }
    return false;
  };
  if (scan(hint)) return 1;
  for (int m = 0; m < MarketCount; ++m) {
    if (m != hint && scan(m)) return 1;
  }
  return 0;
}

// range(0): 0 the first instrument of market 0, 1 the last instrument of the last market,
// both looked up with hint 0 and the other markets searched.
std::string LookupCode(int which) {
  return which == 0 ? CodeOf(0, 0) : CodeOf(kMarkets - 1, kInstruments - 1);
}

void BM_FindStkPtrByCodeIndexed(benchmark::State& state) {
  EnsureLoaded();
  const std::string code = gbk::Lower(LookupCode(static_cast<int>(state.range(0))));
  STKPTR out;
  for (auto _ : state) {
    int hint = 0;
    benchmark::DoNotOptimize(FindStkPtrByCode(code.c_str(), &hint, &out, true));
  }
}
BENCHMARK(BM_FindStkPtrByCodeIndexed)->Arg(0)->Arg(1);

void BM_FindStkPtrByCodeLinear(benchmark::State& state) {
  EnsureLoaded();
  const std::string code = gbk::Lower(LookupCode(static_cast<int>(state.range(0))));
  STKPTR out;
  for (auto _ : state) benchmark::DoNotOptimize(LinearFind(code.c_str(), 0, &out));
}
BENCHMARK(BM_FindStkPtrByCodeLinear)->Arg(0)->Arg(1);

void BM_StkPtrCopy(benchmark::State& state) {
  EnsureLoaded();
  STKPTR source(5, 0, 1234);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&source);
    STKPTR copy(source);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_StkPtrCopy);

void BM_GetCategory(benchmark::State& state) {
  EnsureLoaded();
  const TMarketData* table = MarketTables[7];
  int index = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(table->GetCategory(index));
    index = (index + 1) & 4095;
  }
}
BENCHMARK(BM_GetCategory);

}  // namespace

BENCHMARK_MAIN();
