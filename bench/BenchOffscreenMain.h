// The main of a benchmark that makes windows: Qt's offscreen platform unless the caller chose
// another, so a benchmark never needs a display.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>

#define ZUVO_OFFSCREEN_BENCHMARK_MAIN()                                         \
  int main(int argc, char** argv) {                                             \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);                                  \
    benchmark::Initialize(&argc, argv);                                         \
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;           \
    benchmark::RunSpecifiedBenchmarks();                                        \
    benchmark::Shutdown();                                                      \
    return 0;                                                                   \
  }
