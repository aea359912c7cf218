// The blocking name-table download of a 5000-instrument market against the in-process quote
// server on loopback: the request, the reply's frames (160 000 bytes of records), the table
// finished and indexed, and nametbl replaced on disk (an atomic replace, flushed). Reported in
// milliseconds per download.
#include "BenchInstall.h"
#include "BenchServerTree.h"
#include "QuoteServer.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/Records.h"
#include "net/NormalClnt.h"
#include "net/RequestFrames.h"
#include "platform/MessageBox.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kInstruments = 5000;
constexpr std::int64_t kServerNow = 1719619200;   // a fixed moment: the answers do not depend on it

void DownloadNameTable5000(benchmark::State& state) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  benchsupport::BenchInstall serverTree("zuvo-dlbench-server");
  benchsupport::WriteServerTree(serverTree.root(), kInstruments, 6000);
  zuvo::quoteserver::ServerConfig config;
  config.dataDir = serverTree.root();
  config.mainPort = config.requestPort = config.pushPort = 0;
  config.timedPush = false;
  zuvo::quoteserver::QuoteServer server(config, [] { return kServerNow; });
  std::string error;
  if (!server.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  {
    // The client's own tree (the current folder from here on) and its table of the market.
    benchsupport::BenchInstall clientTree("zuvo-dlbench-client");
    MarketTables[0] = new TMarketData(0, benchsupport::ServerBenchMarket(6000));
    MarketCount = 1;

    auto client = std::make_unique<TNormalClnt>();
    RequestRecord login;
    login.kind = kRequestLogin;
    std::strcpy(login.text, "bench");
    login.value1 = 1;   // network line
    login.value2 = 2;   // one-stage login
    if (client->Create() != 1 || client->Connect("127.0.0.1", server.ports().request) != 1 ||
        BuildRequestFrame(client.get(), &login) <= 0 || client->ReadFrameHeader() != 1 ||
        client->ReadFrameBody() < 0 || client->header.type != 3) {
      state.SkipWithError("no login");
    } else {
      for (auto _ : state) {
        if (client->DownloadNameTable(0) != kInstruments) {
          state.SkipWithError("the download failed");
          break;
        }
      }
      state.counters["instruments"] = kInstruments;
    }
    client.reset();
    DeleteMarketTables();
  }
  server.Stop();
}
BENCHMARK(DownloadNameTable5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
