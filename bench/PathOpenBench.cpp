// Cost of opening and closing a file through the case-insensitive path resolver, with the
// directory cache warm and cold, beside a plain C library open and close of the same file.
// The folder holding the file has `range(0)` entries, as a day folder has one per instrument.
#include "BenchInstall.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;

// A throw-away install tree with bin/ as the current directory and data/SH/DAY holding
// `files` bar files named in upper case, as the file layer creates them.
class BenchInstall {
 public:
  explicit BenchInstall(int files) : tree_("path-bench"), root_(tree_.root()) {
    fs::create_directories(root_ / "data" / "SH" / "DAY");
    for (int i = 0; i < files; ++i) std::ofstream(root_ / "data" / "SH" / "DAY" / (std::to_string(600000 + i) + ".DAY"));
    // Settled folders, as after start-up: listings are trusted until their mtime moves.
    auto past = fs::last_write_time(root_ / "bin") - std::chrono::hours(1);
    for (const char* dir : {"data", "data/SH", "data/SH/DAY"}) fs::last_write_time(root_ / dir, past);
    paths::InvalidateCache();
  }
  std::string plainPath() const { return (root_ / "data" / "SH" / "DAY" / "600000.DAY").string(); }

 private:
  benchsupport::BenchInstall tree_;
  const fs::path root_;
};

// The bar loader's spelling differs in case from the name on disk.
constexpr const char* kBarFile = "..\\data\\sh\\day\\600000.day";
constexpr const char* kMissingFile = "..\\data\\sh\\day\\999999.day";

void OpenClose(benchmark::State& state, const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    state.SkipWithError("open failed");
    return;
  }
  CloseHandle(file);
}

void BM_ResolverOpenWarm(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  paths::Resolve(kBarFile);
  for (auto _ : state) OpenClose(state, kBarFile);
}
BENCHMARK(BM_ResolverOpenWarm)->Arg(100)->Arg(5000);

void BM_ResolverOpenCold(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    paths::InvalidateCache();
    OpenClose(state, kBarFile);
  }
}
BENCHMARK(BM_ResolverOpenCold)->Arg(100)->Arg(5000);

void BM_ResolveOnlyWarm(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(paths::Resolve(kBarFile));
}
BENCHMARK(BM_ResolveOnlyWarm)->Arg(5000);

// The same file by a rooted path: no current-directory query, which is most of what a
// repeated relative path costs.
void BM_ResolveOnlyWarmRooted(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  const std::string rooted = paths::ToWindows(paths::InstallRoot()) + "\\data\\sh\\day\\600000.day";
  for (auto _ : state) benchmark::DoNotOptimize(paths::Resolve(rooted));
}
BENCHMARK(BM_ResolveOnlyWarmRooted)->Arg(5000);

// A probe for a file that is not there (one status query of the folder on the miss).
void BM_ResolverMissingWarm(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(GetFileAttributesA(kMissingFile));
}
BENCHMARK(BM_ResolverMissingWarm)->Arg(5000);

void BM_PlainOpenClose(benchmark::State& state) {
  BenchInstall install(static_cast<int>(state.range(0)));
  std::string path = install.plainPath();
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
      state.SkipWithError("open failed");
      break;
    }
    std::fclose(file);
  }
}
BENCHMARK(BM_PlainOpenClose)->Arg(5000);

}  // namespace

BENCHMARK_MAIN();
