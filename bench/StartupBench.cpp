// Start-up of the whole terminal, offscreen, on an install tree of the sample market: from the
// static objects through the entry, the main window's creation (offline browse) and its first
// show to the moment every cell of the first page has painted. Shut-down is not timed. Two
// pages: the default page (four cells) and a page of nine cells reopened from LASTPAGE.DAT.
// A first start runs in a fresh child process; repeated starts run in this one. Counters: the
// cells painted, the resident memory at the first painted page (rss_MB: the largest over the
// iterations) and the process's peak (peak_MB).
#include "BenchInstall.h"
#include "BenchOffscreenMain.h"

#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/Entry.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/stubs/StubViews.h"
#include "shell/LoginScript.h"
#include "support/SampleStartupTree.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr UINT kProbeMessage = WM_USER + 77;
constexpr int kMaxProbes = 200;

// A value of /proc/self/status ("VmRSS", "VmHWM") in MB; 0 when it cannot be read.
double StatusMegabytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024.0;
  }
  return 0;
}

struct Run {
  Clock::time_point start;
  Clock::time_point painted;
  int probes = 0;
  int cells = 0;
  bool allPainted = false;
  double rssMegabytes = 0;
};
Run* current = nullptr;
HWND probeWindow = nullptr;

void CountCells(PageNode* node, int& cells, int& painted) {
  if (node == nullptr) return;
  if (node->cell != nullptr) {
    ++cells;
    if (auto* recorder = dynamic_cast<StubRecorder*>(node->cell); recorder != nullptr && recorder->paints > 0) ++painted;
  }
  CountCells(node->first, cells, painted);
  CountCells(node->second, cells, painted);
}

// Inside the message loop: the pending paints handled, then, once every cell has painted, the
// time and memory taken and the main window asked to close.
LRESULT ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kProbeMessage) return DefWindowProcA(window, message, wParam, lParam);
  ++current->probes;
  zuvo::platform::ProcessPendingMessages();
  int cells = 0;
  int painted = 0;
  if (MFrame != nullptr && MFrame->PageWindow() != nullptr) CountCells(MFrame->PageWindow()->Root(), cells, painted);
  current->allPainted = cells > 0 && painted == cells;
  if (!current->allPainted && current->probes < kMaxProbes) {
    PostMessageA(window, kProbeMessage, 0, 0);
    return 0;
  }
  current->painted = Clock::now();
  current->cells = cells;
  current->rssMegabytes = StatusMegabytes("VmRSS");
  if (MFrame != nullptr) PostMessageA(MFrame->Handle(), WM_CLOSE, 0, 0);
  return 0;
}

void ProbedMainFrame(TApplication& application) {
  CreateMainFrameForm(application);

  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = "StartupBenchProbe";
    RegisterClassA(&wc);
    registered = true;
  }
  if (probeWindow == nullptr) {
    probeWindow = CreateWindowExA(0, "StartupBenchProbe", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  }
  PostMessageA(probeWindow, kProbeMessage, 0, 0);
}

// The install tree of one benchmark: the sample market, its default page, and with `gridPage`
// the page of nine cells that LASTPAGE.DAT names. Empty on success, else the reason.
std::string MakeTree(const benchsupport::BenchInstall& install, bool gridPage) {
#ifndef ZUVO_SAMPLE_TREE
  (void)install;
  (void)gridPage;
  return "the sample market generator is not built";
#else
  std::string error = testsupport::FillSampleStartupTree(install.root(), ZUVO_SAMPLE_TREE);
  if (error.empty() && gridPage) error = testsupport::WriteGridPage(3, 3);
  return error;
#endif
}

// One start of the terminal as its main runs it, up to its end; what the probe saw is in `run`.
void StartOnce(const benchsupport::BenchInstall& install, bool gridPage, Run& run) {
  zuvo::platform::kernel::ScopedModuleFileName program(zuvo::platform::paths::ToWindows(install.bin().string()) +
                                                      "\\zuvo");
  // Plenty of disk space, whatever the machine has: no warning box.
  zuvo::platform::kernel::ScopedDiskFreeSpace space(
      [](const std::string&) { return std::optional<ULONGLONG>(1ull << 36); });
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  shelltest::AnswerLoginOffline(*runner, 1);   // the login dialog: 脱机浏览
  boxes->Answer(IDOK);                      // the offline warning
  boxes->Answer(gridPage ? IDYES : IDNO);   // leave; the default page is not saved
  const MainFormFactory previous = SetMainFormFactory(&ProbedMainFrame);
  current = &run;
  run.start = Clock::now();
  StartupStaticObjects();
  WinMain(nullptr, nullptr, nullptr, 0);
  ShutdownStaticObjects();
  current = nullptr;
  SetMainFormFactory(previous);
  if (probeWindow != nullptr) DestroyWindow(probeWindow);
  probeWindow = nullptr;
}

// A first start: each iteration in a child process forked from this one before it ever made a
// window, so the window system, fonts and settings caches start cold as in a new process (the
// program's libraries are loaded already). Must run before BM_RepeatedStartup.
void BM_FirstStartToFirstPaintedPage(benchmark::State& state) {
  const bool gridPage = state.range(0) != 0;
  benchsupport::BenchInstall install("zuvo-startupbench");
  if (const std::string error = MakeTree(install, gridPage); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  struct Result {
    double seconds;
    double rssMegabytes;
    double peakMegabytes;
    int cells;
    bool allPainted;
  };
  double rss = 0;
  double peak = 0;
  int cells = 0;
  for (auto _ : state) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(pipeEnds[0]);
      Run run;
      StartOnce(install, gridPage, run);
      const Result result{std::chrono::duration<double>(run.painted - run.start).count(), run.rssMegabytes,
                          StatusMegabytes("VmHWM"), run.cells, run.allPainted};
      const ssize_t written = write(pipeEnds[1], &result, sizeof result);
      _exit(written == static_cast<ssize_t>(sizeof result) ? 0 : 1);
    }
    close(pipeEnds[1]);
    Result result{};
    const ssize_t got = child > 0 ? read(pipeEnds[0], &result, sizeof result) : -1;
    close(pipeEnds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    if (got != static_cast<ssize_t>(sizeof result) || !result.allPainted) {
      state.SkipWithError("the first page did not paint");
      break;
    }
    state.SetIterationTime(result.seconds);
    rss = std::max(rss, result.rssMegabytes);
    peak = std::max(peak, result.peakMegabytes);
    cells = result.cells;
  }
  state.counters["cells"] = cells;
  state.counters["rss_MB"] = rss;
  state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_FirstStartToFirstPaintedPage)
    ->ArgName("nineCells")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(12);

// Starts repeated in this process: what a start costs once the window system, fonts and caches
// are warm (the first iteration is the cold one).
void BM_RepeatedStartup(benchmark::State& state) {
  const bool gridPage = state.range(0) != 0;
  benchsupport::BenchInstall install("zuvo-startupbench");
  if (const std::string error = MakeTree(install, gridPage); !error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  double rss = 0;
  int cells = 0;
  for (auto _ : state) {
    Run run;
    StartOnce(install, gridPage, run);
    if (!run.allPainted) {
      state.SkipWithError("the first page did not paint");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(run.painted - run.start).count());
    rss = std::max(rss, run.rssMegabytes);
    cells = run.cells;
  }
  state.counters["cells"] = cells;
  state.counters["rss_MB"] = rss;
  state.counters["peak_MB"] = StatusMegabytes("VmHWM");
}
BENCHMARK(BM_RepeatedStartup)
    ->ArgName("nineCells")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN();
