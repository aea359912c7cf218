// Cost of reading a settings key through the profile cache: warm (file unchanged, one stat),
// cold (the file parsed again), beside a bare status query of the same file.
#include "BenchInstall.h"
#include "platform/Profile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;

// A throw-away install tree with bin/ as the current directory and ..\cfg\setting.ini holding
// `sections` sections of `keysPerSection` keys each.
class BenchInstall {
 public:
  BenchInstall(int sections, int keysPerSection) : tree_("profile-bench") {
    std::ofstream out(file(), std::ios::binary);
    out << "; settings\r\n";
    for (int s = 0; s < sections; ++s) {
      out << "[Section" << s << "]\r\n";
      for (int k = 0; k < keysPerSection; ++k) out << "Key" << k << " = \"value " << s * 1000 + k << "\"\r\n";
      out << "\r\n";
    }
  }
  fs::path file() const { return tree_.cfg() / "setting.ini"; }

 private:
  benchsupport::BenchInstall tree_;
};

constexpr const char* kIni = "..\\cfg\\setting.ini";

void readKey(benchmark::State& state, bool cold) {
  const int keys = static_cast<int>(state.range(0));
  BenchInstall install(20, keys / 20);
  char buffer[64];
  const std::string section = "section" + std::to_string(19);
  const std::string key = "KEY" + std::to_string(keys / 20 - 1);
  GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, kIni);
  for (auto _ : state) {
    if (cold) profile::ClearCache();
    benchmark::DoNotOptimize(
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer, kIni));
  }
  state.counters["keys"] = keys;
}

void BM_ProfileKeyWarm(benchmark::State& state) { readKey(state, false); }
void BM_ProfileKeyCold(benchmark::State& state) { readKey(state, true); }

void BM_ProfileIntWarm(benchmark::State& state) {
  BenchInstall install(20, 20);
  GetPrivateProfileIntA("Section5", "Key5", 0, kIni);
  for (auto _ : state) benchmark::DoNotOptimize(GetPrivateProfileIntA("Section5", "Key5", 0, kIni));
}

// The floor under a warm read: one status query of the file, no resolving or parsing.
void BM_FileStatusOnly(benchmark::State& state) {
  BenchInstall install(1, 1);
  const fs::path file = install.file();
  for (auto _ : state) benchmark::DoNotOptimize(fs::status(file));
}

}  // namespace

BENCHMARK(BM_ProfileKeyWarm)->Arg(400)->Arg(4000);
BENCHMARK(BM_ProfileKeyCold)->Arg(400)->Arg(4000);
BENCHMARK(BM_ProfileIntWarm);
BENCHMARK(BM_FileStatusOnly);

BENCHMARK_MAIN();
