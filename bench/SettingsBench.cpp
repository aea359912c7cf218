// Loading the hot keys and the theme colours from the user's INI files, with the parsed-file
// cache of the profile functions cold (cleared before every load) and warm.
#include "BenchInstall.h"
#include "data/HotKeys.h"
#include "data/UtilData.h"
#include "platform/Profile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

using namespace zuvo::platform;

namespace {

// A small install tree in the temporary folder with a full HotKey.ini and SETTING.INI.
class SettingsTree {
 public:
  SettingsTree() : tree_("zuvo-bench-settings") {
    std::string hotKeys = "[HotKey]\r\n";
    for (int id = 1; id <= kHotKeyCount; ++id) {
      hotKeys.append("h").append(std::to_string(id)).append("=").append(DefaultHotKeyText(id)).append("\r\n");
    }
    benchsupport::WriteFile(tree_.user() / "HotKey.ini", hotKeys);

    std::string settings = "[Parameter]\r\nThemeVer=1\r\nLastTheme=0\r\n";
    for (int theme = 0; theme < 4; ++theme) {
      settings += "[Color" + std::to_string(theme) + "]\r\n";
      for (int n = 1; n <= kColorCount; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "COLOR%02d=%d\r\n", n, n * 123457 + theme);
        settings += line;
      }
    }
    benchsupport::WriteFile(tree_.user() / "SETTING.INI", settings);
    std::strcpy(UserDir, "..\\user\\");
  }
 private:
  benchsupport::BenchInstall tree_;
};

void BM_LoadHotKeysCold(benchmark::State& state) {
  SettingsTree tree;
  for (auto _ : state) {
    state.PauseTiming();
    profile::ClearCache();
    state.ResumeTiming();
    LoadHotKeys();
    benchmark::DoNotOptimize(HotKeyTable[0].keyMask);
  }
}
BENCHMARK(BM_LoadHotKeysCold);

void BM_LoadHotKeysWarm(benchmark::State& state) {
  SettingsTree tree;
  LoadHotKeys();
  for (auto _ : state) {
    LoadHotKeys();
    benchmark::DoNotOptimize(HotKeyTable[0].keyMask);
  }
}
BENCHMARK(BM_LoadHotKeysWarm);

void BM_LoadThemeColorsCold(benchmark::State& state) {
  SettingsTree tree;
  for (auto _ : state) {
    state.PauseTiming();
    profile::ClearCache();
    state.ResumeTiming();
    LoadThemeColors(2);
    benchmark::DoNotOptimize(ColorTable[0]);
  }
}
BENCHMARK(BM_LoadThemeColorsCold);

void BM_LoadThemeColorsWarm(benchmark::State& state) {
  SettingsTree tree;
  LoadThemeColors(2);
  for (auto _ : state) {
    LoadThemeColors(2);
    benchmark::DoNotOptimize(ColorTable[0]);
  }
}
BENCHMARK(BM_LoadThemeColorsWarm);

}  // namespace

BENCHMARK_MAIN();
