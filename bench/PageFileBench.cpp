// Page files: reading a nine-cell page of version 12 and the same page of version 5 (every
// record migrated), and saving it (whole file built and put in place). Counters: bytes read
// or written per iteration.
#include "BenchInstall.h"
#include "BenchMarket.h"

#include "../tests/shell/PageFileWriter.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "shell/PageFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace pagetest;

struct PageBenchSetup {
  PageBenchSetup() : install("zuvo-pagebench") {
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
    zuvo::platform::profile::ClearCache();
    benchsupport::InstallShMarket({benchsupport::BenchInstrument("600000"), benchsupport::BenchInstrument("600001"),
                                   benchsupport::BenchInstrument("600002"), benchsupport::BenchInstrument("600003")});
  }
  ~PageBenchSetup() { benchsupport::RemoveShMarket(); }
  benchsupport::BenchInstall install;
};

PageBenchSetup& Setup() {
  static PageBenchSetup setup;
  return setup;
}

STKPTR Sh(std::uint16_t index) {
  STKPTR stk;
  stk.market = 0;
  stk.category = 0;
  stk.index = index;
  return stk;
}

// Quote lists and K-line charts (8 overlays with their texts, reference lines, parameters).
std::unique_ptr<WNode> BenchCell(int version, int n) {
  VIEW_ATTR_12 attr;
  MVCDATA_12 data;
  if (n % 2 == 0) {
    attr.kind = VIEW_REPORT;
    attr.instrument = Sh(static_cast<std::uint16_t>(n % 4));
    attr.columnCount = 16;
    attr.blockTabCount = 3;
    return Leaf(AttrRecord(version, attr, {"自选", "沪深", "期货"}, "SH 600001"), DataRecord(version, data));
  }
  attr.kind = VIEW_KLINE;
  attr.instrument = Sh(1);
  attr.paneCount = 3;
  data.klinePaneCount = 3;
  for (int i = 0; i < 8; ++i) {
    data.overlays[i] = Sh(static_cast<std::uint16_t>(i % 4));
    std::snprintf(data.overlayTexts[i], 32, "SH 60000%d", i % 4);
  }
  for (auto& pane : data.refLines) std::memset(&pane[4][8], 0xFF, 8);
  return Leaf(AttrRecord(version, attr, {}, "SH 600001"), DataRecord(version, data));
}

// Three rows of three cells.
std::string NineCellPage(int version) {
  auto row = [&](int r) {
    return Split(BenchCell(version, 3 * r), Split(BenchCell(version, 3 * r + 1), BenchCell(version, 3 * r + 2), true, 0.5f),
                 true, 0.34f);
  };
  auto top = Split(row(0), Split(row(1), row(2), false, 0.5f), false, 0.34f);
  return PageFileBytes(version, *top, "基准");
}

void BM_LoadPageFile(benchmark::State& state) {
  Setup();
  const int version = static_cast<int>(state.range(0));
  const std::string bytes = NineCellPage(version);
  benchsupport::WriteFile(Setup().install.user() / "zvpage1.ppg", bytes);
  PageModel model;
  for (auto _ : state) {
    if (LoadPageFile("..\\user\\zvpage1.ppg", model) != PageLoadResult::kLoaded) state.SkipWithError("not loaded");
    benchmark::DoNotOptimize(model.top.get());
  }
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_LoadPageFile)->Arg(12)->Arg(5)->Unit(benchmark::kMillisecond);

void BM_SavePageFile(benchmark::State& state) {
  Setup();
  benchsupport::WriteFile(Setup().install.user() / "zvpage2.ppg", NineCellPage(12));
  PageModel model;
  if (LoadPageFile("..\\user\\zvpage2.ppg", model) != PageLoadResult::kLoaded) state.SkipWithError("not loaded");
  std::size_t written = 0;
  for (auto _ : state) {
    std::string path = "..\\user\\zvpage2.ppg";
    if (SavePageFile(model, path, kPageSaveAuto, nullptr) != PageSaveResult::kSaved) state.SkipWithError("not saved");
    written = BuildPageFile(model, model.name).size();
  }
  state.counters["bytes"] = static_cast<double>(written);
}
BENCHMARK(BM_SavePageFile)->Unit(benchmark::kMillisecond);

// The file built in memory alone, without the disk.
void BM_BuildPageFile(benchmark::State& state) {
  Setup();
  benchsupport::WriteFile(Setup().install.user() / "zvpage3.ppg", NineCellPage(12));
  PageModel model;
  if (LoadPageFile("..\\user\\zvpage3.ppg", model) != PageLoadResult::kLoaded) state.SkipWithError("not loaded");
  for (auto _ : state) benchmark::DoNotOptimize(BuildPageFile(model, model.name));
}
BENCHMARK(BM_BuildPageFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
