// The application message hook's decision per message: every message of the UI thread passes
// it, so it must stay far below a microsecond. Over the default hot keys: a function key, a
// Ctrl chord, a key that matches nothing, a typed letter, a wheel turn and a mouse move.
#include "data/HotKeys.h"
#include "shell/KeyRouting.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void LoadDefaults() {
  std::memset(HotKeyTable, 0, sizeof HotKeyTable);
  for (int id = 1; id <= kHotKeyCount; ++id) {
    HotKeyTable[id - 1].commandId = static_cast<std::uint8_t>(id);
    ParseHotKey(&HotKeyTable[id - 1], DefaultHotKeyText(id));
  }
}

void Route(benchmark::State& state, UINT message, WPARAM wParam, KeyboardState keys) {
  LoadDefaults();
  KeyRouteInput input;
  input.message = message;
  input.wParam = wParam;
  input.keys = keys;
  input.mainWindowActive = true;
  input.activeViewKind = VIEW_KLINE;
  for (auto _ : state) {
    benchmark::DoNotOptimize(input);
    KeyRoute route = RouteMessage(input);
    benchmark::DoNotOptimize(route);
  }
}

void BM_RouteFunctionKey(benchmark::State& state) { Route(state, WM_KEYDOWN, VK_F1 + 7, {}); }
void BM_RouteCtrlChord(benchmark::State& state) { Route(state, WM_KEYDOWN, 'S', {true, false, false, false}); }
void BM_RouteUnmatchedKey(benchmark::State& state) { Route(state, WM_KEYDOWN, 'Q', {}); }
void BM_RouteTypedLetter(benchmark::State& state) { Route(state, WM_CHAR, 'p', {}); }
void BM_RouteWheel(benchmark::State& state) { Route(state, WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16, {}); }
void BM_RouteMouseMove(benchmark::State& state) { Route(state, WM_MOUSEMOVE, 0, {}); }

BENCHMARK(BM_RouteFunctionKey);
BENCHMARK(BM_RouteCtrlChord);
BENCHMARK(BM_RouteUnmatchedKey);
BENCHMARK(BM_RouteTypedLetter);
BENCHMARK(BM_RouteWheel);
BENCHMARK(BM_RouteMouseMove);

}  // namespace

BENCHMARK_MAIN();
