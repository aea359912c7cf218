// Block-file loading and news-index insertion speed.
#include "BenchInstall.h"
#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Profile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;

// A throw-away install tree with bin/ as the current directory, one market of 8000 instruments
// and the user directory at ..\user\.
class BenchInstall {
 public:
  BenchInstall() : tree_("blocks-bench") {
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");

    MarketRecord record{};
    record.kind = 1;
    std::snprintf(record.name, sizeof record.name, "%s", "上海");
    std::snprintf(record.code, sizeof record.code, "%s", "SH");
    std::snprintf(record.fileExt, sizeof record.fileExt, "%s", "sh");
    record.capacity = kInstruments;
    record.categoryCount = 1;
    auto* table = new TMarketData(0, record);
    for (int i = 0; i < kInstruments; ++i) {
      std::snprintf(table->names[i].code, sizeof table->names[i].code, "%06d", 600000 + i);
    }
    table->count = kInstruments;
    table->FinishNameTable();
    MarketTables[0] = table;
    MarketCount = 1;
  }
  ~BenchInstall() {
    ClearBlocks();
    delete MarketTables[0];
    MarketTables[0] = nullptr;
    MarketCount = 0;
  }

  void WriteUserBlocks(int members) const {
    std::string text = "[FileInfo]\r\nVersion=1\r\n\r\n[自选]\r\n";
    for (int i = 0; i < members; ++i) {
      text.append("I").append(std::to_string(i + 1)).append("=SH ").append(std::to_string(600000 + i)).append("\r\n");
    }
    std::ofstream(tree_.user() / "blocks.ini", std::ios::binary) << text;
    profile::ClearCache();
  }

  static constexpr int kInstruments = 8000;

 private:
  benchsupport::BenchInstall tree_;
};

// Reading the user's blocks.ini with one block of N members, parsing the file every time.
void BM_LoadBlockFile(benchmark::State& state) {
  BenchInstall install;
  const int members = static_cast<int>(state.range(0));
  install.WriteUserBlocks(members);
  for (auto _ : state) {
    profile::ClearCache();
    ClearBlocks();
    LoadBlocks();
    benchmark::DoNotOptimize(FindBlockByName("自选"));
  }
  if (FindBlockByName("自选")->memberCount != members) state.SkipWithError("members lost");
  state.counters["members"] = members;
}
BENCHMARK(BM_LoadBlockFile)->Arg(100)->Arg(1000)->Arg(kMaxBlockMembers)->Unit(benchmark::kMillisecond);

// Saving the user's blocks (one block of N members): text, temporary file, rename, and the
// one re-read that brings the profile cache up to date.
void BM_SaveBlockFile(benchmark::State& state) {
  BenchInstall install;
  const int members = static_cast<int>(state.range(0));
  install.WriteUserBlocks(members);
  ClearBlocks();
  LoadBlocks();
  for (auto _ : state) {
    if (!SaveUserBlocks()) state.SkipWithError("save failed");
  }
  state.counters["members"] = members;
}
BENCHMARK(BM_SaveBlockFile)->Arg(100)->Arg(kMaxBlockMembers)->Unit(benchmark::kMillisecond);

// Inserting 5000 headlines into an empty index, ids ascending or shuffled. Every insert also
// deletes the id's cached text file (absent here): that cost is counted in.
void InsertNews(benchmark::State& state, bool shuffled) {
  BenchInstall install;
  std::vector<std::uint32_t> ids(5000);
  for (std::uint32_t i = 0; i < ids.size(); ++i) ids[i] = 100000 + i;
  if (shuffled) std::shuffle(ids.begin(), ids.end(), std::mt19937(7));
  std::int64_t deletions = 0;
  for (auto _ : state) {
    TNewsIndex index;
    index.Load();
    for (std::uint32_t id : ids) {
      NewsRecord record{};
      record.categoryAndRead = 2;
      record.id = id;
      std::snprintf(record.title, sizeof record.title, "headline %u", id);
      index.Insert(record, false);
      ++deletions;   // one DeleteFileA of "..\data\info\%08u.txt" per insert
    }
    benchmark::DoNotOptimize(index.count);
  }
  // Per 5000-record run.
  state.counters["inserts"] = benchmark::Counter(static_cast<double>(ids.size() * state.iterations()),
                                                 benchmark::Counter::kAvgIterations);
  state.counters["file_deletions"] = benchmark::Counter(static_cast<double>(deletions), benchmark::Counter::kAvgIterations);
}
void BM_NewsInsertAscending(benchmark::State& state) { InsertNews(state, false); }
void BM_NewsInsertRandom(benchmark::State& state) { InsertNews(state, true); }
BENCHMARK(BM_NewsInsertAscending)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewsInsertRandom)->Unit(benchmark::kMillisecond);

// The deletions alone: 5000 DeleteFileA calls on absent text files.
void BM_NewsTextDeletions(benchmark::State& state) {
  BenchInstall install;
  fs::create_directories(fs::path("../data/info"));
  for (auto _ : state) {
    for (std::uint32_t id = 100000; id < 105000; ++id) {
      char path[64];
      std::snprintf(path, sizeof path, "..\\data\\info\\%08u.txt", id);
      benchmark::DoNotOptimize(DeleteFileA(path));
    }
  }
  state.counters["file_deletions"] =
      benchmark::Counter(5000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_NewsTextDeletions)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
