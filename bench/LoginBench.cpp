// The request client's whole connect and login (TNormalClnt::Connect) against the in-process
// quote server on loopback, all in the same run:
// - OneStage: one connection to Address:Port1 and the wire-3 login.
// - TwoStages: the main server's login, the block compared with dsinfo.dat (the same block every
//   time, as on a reconnect: not written again), then the data server's connection and the
//   wire-207 login. Target: at most 2.5x OneStage.
// - TwoStagesNewBlock: TwoStages with dsinfo.dat removed before each login, so the block is
//   written (flushed to disk) every time: the first login of a day.
// - OneStageThroughSocks5: OneStage with the user's proxy set to the server's SOCKS5 fixture
//   (no authentication). Target: at most 1.5x OneStage.
// Each iteration builds a new client and deletes it (its socket closed), as the shell does.
// The summary printed at the end gives both ratios.
#include "BenchInstall.h"
#include "BenchServerTree.h"
#include "QuoteServer.h"
#include "data/Records.h"
#include "data/UtilData.h"
#include "net/NormalClnt.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double oneStageNs = 0;
double twoStagesNs = 0;
double twoStagesNewBlockNs = 0;
double socks5Ns = 0;

// The install tree the client runs in and the server it logs in to, for the whole run.
struct World {
  World() : install("zuvo-loginbench") {
    benchsupport::WriteServerTree(install.root(), 1, 16);
    zuvo::quoteserver::ServerConfig config;
    config.dataDir = install.root();
    config.mainPort = config.requestPort = config.pushPort = 0;
    config.socks5Port = 0;
    config.timedPush = false;
    server = std::make_unique<zuvo::quoteserver::QuoteServer>(config, [] { return std::int64_t{1719619200}; });
    ready = server->Start(&error);
    std::strcpy(UserDir, "..\\user\\");
  }
  ~World() {
    if (server) server->Stop();
  }

  // server.ini for the login mode; the user's SERVER.INI with or without the SOCKS5 proxy.
  void Settings(bool oneStage, bool socks5) {
    const zuvo::quoteserver::ServerPorts ports = server->ports();
    const std::string serverIni = "[Server]\r\nNOJH=" + std::string(oneStage ? "1" : "0") +
                                  "\r\nAddress=127.0.0.1\r\nPort=" + std::to_string(ports.main) +
                                  "\r\nPort1=" + std::to_string(ports.request) + "\r\n";
    benchsupport::WriteFile(install.bin() / "server.ini", serverIni);
    std::string userIni = "[Server]\r\nUserName=bench\r\nPassword=pw\r\n";
    if (socks5) {
      userIni += "[ProxyServer]\r\nUseProxy=1\r\nAddress=127.0.0.1\r\nPort=" + std::to_string(ports.socks5) + "\r\n";
    }
    benchsupport::WriteFile(install.user() / "SERVER.INI", userIni);
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

void Login(benchmark::State& state, bool oneStage, bool socks5, double* result, bool newBlock = false) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  World& here = TheWorld();
  if (!here.ready) {
    state.SkipWithError(here.error.c_str());
    return;
  }
  if (socks5 && here.server->ports().socks5 == 0) {
    state.SkipWithError("no SOCKS5 fixture");
    return;
  }
  here.Settings(oneStage, socks5);
  // Timed by hand, so the removal before a new-block login is not counted.
  Clock::duration spent{};
  for (auto _ : state) {
    if (newBlock) DeleteFileA("..\\cfg\\dsinfo.dat");
    const Clock::time_point start = Clock::now();
    {
      TNormalClnt client;
      const int connected = client.Connect(nullptr, false);
      if (connected != 0) {
        state.SkipWithError(("Connect gave " + std::to_string(connected) + ": " + client.errorText).c_str());
        return;
      }
      client.Close();
    }
    const Clock::duration once = Clock::now() - start;
    spent += once;
    state.SetIterationTime(std::chrono::duration<double>(once).count());
  }
  if (state.iterations() > 0) {
    *result = std::chrono::duration<double, std::nano>(spent).count() / static_cast<double>(state.iterations());
  }
}

void OneStage(benchmark::State& state) { Login(state, true, false, &oneStageNs); }
void TwoStages(benchmark::State& state) { Login(state, false, false, &twoStagesNs); }
void TwoStagesNewBlock(benchmark::State& state) { Login(state, false, false, &twoStagesNewBlockNs, true); }
void OneStageThroughSocks5(benchmark::State& state) { Login(state, true, true, &socks5Ns); }

BENCHMARK(OneStage)->UseManualTime();
BENCHMARK(TwoStages)->UseManualTime();
BENCHMARK(TwoStagesNewBlock)->UseManualTime();
BENCHMARK(OneStageThroughSocks5)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  // The request client's socket window needs a platform, never a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  world.reset();
  if (oneStageNs > 0) {
    std::printf("one-stage login: %.0f us\n", oneStageNs / 1000);
    if (twoStagesNs > 0) {
      std::printf("two-stage login: %.0f us = %.2fx one-stage (target at most 2.5x)\n", twoStagesNs / 1000,
                  twoStagesNs / oneStageNs);
    }
    if (twoStagesNewBlockNs > 0) {
      std::printf("two-stage login writing a new dsinfo.dat: %.0f us = %.2fx one-stage\n", twoStagesNewBlockNs / 1000,
                  twoStagesNewBlockNs / oneStageNs);
    }
    if (socks5Ns > 0) {
      std::printf("one-stage login through SOCKS5: %.0f us = %.2fx direct (target at most 1.5x)\n", socks5Ns / 1000,
                  socks5Ns / oneStageNs);
    }
  }
  return 0;
}
