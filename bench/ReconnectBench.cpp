// The main window's login and quiet reconnect against the in-process quote server serving the
// sample market, offscreen:
// - LoginToDone: 联机 clicked in the login dialog of a new main window until the dialog has its
//   result (MsgLoginDone: every market table built online); a new window each iteration.
// - QuietReconnectUiGap: both clients lost, the server `silent`, the reconnect countdown's
//   step: while the reconnect waits on its worker for the silent server, a 100 ms UI timer
//   keeps ticking. Counters: the longest gap between two handled ticks (gap_ms) and that gap as
//   a fraction of the connect timeout (gap_of_timeout; target at most 0.05).
#include "BenchInstall.h"
#include "QuoteServer.h"
#include "data/UtilData.h"
#include "net/ClientRight.h"
#include "platform/Button.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinSock.h"
#include "shell/MainFrame.h"
#include "shell/ShellClients.h"
#include "shell/stubs/FrameStandIns.h"
#include "support/SampleStartupTree.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The connect and receive timeout of the quiet reconnect's wait.
constexpr DWORD kTimeoutMs = 10000;
constexpr DWORD kUiTimerMs = 100;

struct World {
  World() : install("zuvo-reconnectbench") {
#ifdef ZUVO_SAMPLE_TREE
    error = testsupport::FillSampleStartupTree(install.root(), ZUVO_SAMPLE_TREE);
#else
    error = "the sample market generator is not built";
#endif
    if (!error.empty()) return;
    zuvo::quoteserver::ServerConfig config;
    config.dataDir = install.root();
    config.mainPort = config.requestPort = config.pushPort = 0;
    config.timedPush = false;
    server = std::make_unique<zuvo::quoteserver::QuoteServer>(config);
    ready = server->Start(&error);
    if (!ready) return;
    std::strcpy(UserDir, "..\\user\\");
    const zuvo::quoteserver::ServerPorts ports = server->ports();
    benchsupport::WriteFile(install.bin() / "SERVER.INI",
                            "[Server]\r\nNOJH=0\r\nPort1=" + std::to_string(ports.request) + "\r\nPort2=" +
                                std::to_string(ports.push) + "\r\n[RIGHT]\r\nlastindex=0\r\nsvraddr0=127.0.0.1\r\ncompany0=本地\r\n"
                                "svrport0=" + std::to_string(ports.main) + "\r\n");
    benchsupport::WriteFile(install.user() / "SERVER.INI",
                            "[Server]\r\nVersion=1\r\nUserName=bench\r\nPassword=pw\r\nSavePass=1\r\n"
                            "[ProxyServer]\r\nVersion=1\r\nUseProxy=0\r\n");
    benchsupport::WriteFile(install.bin() / "version.txt", "99999999");
  }
  ~World() {
    if (server) server->Stop();
  }

  benchsupport::BenchInstall install;
  std::unique_ptr<zuvo::quoteserver::QuoteServer> server;
  std::string error;
  bool ready = false;
};

std::unique_ptr<World> world;

World& TheWorld() {
  if (!world) world = std::make_unique<World>();
  return *world;
}

// A main window logged in through its dialog; the time from 联机 to the dialog's result.
TMFrame* LoggedInFrame(zuvo::platform::ScriptedModalRunner& runner, Clock::duration* loginTime) {
  runner.Add("TClientRight", [loginTime](TForm& form) {
    auto& dialog = static_cast<TClientRight&>(form);
    const Clock::time_point start = Clock::now();
    dialog.Button1->Click();
    zuvo::platform::PumpMessagesUntil([&] { return dialog.ModalResult() != mrNone; }, 120000);
    *loginTime = Clock::now() - start;
  });
  return NewForm<TMFrame>(nullptr);
}

void FreeFrame(TMFrame* frame) {
  ShellClients().DestroyRequestClient();
  ShellClients().DestroyPushClient();
  TComponent::Free(frame);
  delete Alarm;
  Alarm = nullptr;
  zuvo::platform::ProcessPendingMessages();
}

void LoginToDone(benchmark::State& state) {
  World& here = TheWorld();
  if (!here.ready) {
    state.SkipWithError(here.error.c_str());
    return;
  }
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  for (auto _ : state) {
    Clock::duration loginTime{};
    TMFrame* frame = LoggedInFrame(*runner, &loginTime);
    const bool connected = GetConnectionState() == 3 && !frame->CloseForced;
    FreeFrame(frame);
    if (!connected) {
      for (const auto& box : boxes->Shown()) std::fprintf(stderr, "box: %s\n", box.text.c_str());
      for (const auto& failure : runner->Failures()) std::fprintf(stderr, "modal: %s\n", failure.c_str());
      state.SkipWithError("the login did not connect both clients");
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(loginTime).count());
  }
}

void QuietReconnectUiGap(benchmark::State& state) {
  World& here = TheWorld();
  if (!here.ready) {
    state.SkipWithError(here.error.c_str());
    return;
  }
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  Clock::duration loginTime{};
  TMFrame* frame = LoggedInFrame(*runner, &loginTime);
  if (GetConnectionState() != 3) {
    FreeFrame(frame);
    state.SkipWithError("the login did not connect both clients");
    return;
  }
  if (frame->Timer1 != nullptr) frame->Timer1->SetEnabled(false);
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(kTimeoutMs, kTimeoutMs);
  double longestMs = 0;
  for (auto _ : state) {
    ShellClients().DestroyRequestClient();
    ShellClients().DestroyPushClient();
    zuvo::platform::ProcessPendingMessages();
    here.server->Command("fault silent");
    // The UI timer: the gaps between its handled ticks while the reconnect runs.
    Clock::time_point last = Clock::now();
    double gapMs = 0;
    TTimer ticker(nullptr);
    ticker.SetInterval(kUiTimerMs);
    ticker.OnTimer = [&](TObject*) {
      const Clock::time_point now = Clock::now();
      gapMs = std::max(gapMs, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    };
    ticker.SetEnabled(true);
    frame->ReconnectCountdown = 12;
    const Clock::time_point start = Clock::now();
    frame->Reconnect();
    zuvo::platform::PumpMessagesUntil([] { return !zuvo::shell::ReconnectRunning(); }, 3 * kTimeoutMs + 10000);
    ticker.SetEnabled(false);
    here.server->Command("fault -silent");
    longestMs = std::max(longestMs, gapMs);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["gap_ms"] = longestMs;
  state.counters["gap_of_timeout"] = longestMs / kTimeoutMs;
  FreeFrame(frame);
}

BENCHMARK(LoginToDone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(QuietReconnectUiGap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  world.reset();
  return 0;
}
