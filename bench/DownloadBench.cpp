// The blocking name-table download of a 5000-instrument market against the in-process quote
// server on loopback: the request, the reply's frames (160 000 bytes of records), the table
// finished and indexed, and nametbl replaced on disk (an atomic replace, flushed). Reported in
// milliseconds per download.
#include "BenchInstall.h"
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

MarketRecord BenchMarket() {
  MarketRecord market{};
  market.kind = 1;
  std::strcpy(market.name, "SH");
  std::strcpy(market.code, "SH");
  std::strcpy(market.fileExt, "sh");
  market.hourOffset = 8;
  market.capacity = 6000;
  market.categoryCount = 1;
  CategoryRecord& category = market.categories[0];
  category.sessionCount = 2;
  category.openMinute[0] = 9 * 60 + 30;
  category.closeMinute[0] = 11 * 60 + 30;
  category.openMinute[1] = 13 * 60;
  category.closeMinute[1] = 15 * 60;
  category.dayChangeMinute = 9 * 60;
  return market;
}

// One market of 5000 instruments "600000".. for the server to serve.
void WriteServerTree(const std::filesystem::path& root) {
  const MarketRecord market = BenchMarket();
  benchsupport::WriteFile(root / "cfg" / "mkinfo.cfg", &market, sizeof market);
  benchsupport::WriteFile(root / "cfg" / "systime.dat", std::string(24872, '\0'));
  std::vector<InstrumentRecord> names(kInstruments);
  for (int i = 0; i < kInstruments; ++i) {
    InstrumentRecord& name = names[static_cast<std::size_t>(i)];
    std::snprintf(name.code, sizeof name.code, "%06d", 600000 + i);
    std::snprintf(name.name, sizeof name.name, "BN%05d", i);
    name.priceDivisor = 100;
    name.volumeDivisor = 100;
    name.decimals = 2;
    name.index = static_cast<std::uint16_t>(i);
  }
  benchsupport::WriteFile(root / "data" / "SH" / "nametbl.sh", names.data(), names.size() * sizeof(InstrumentRecord));
}

void DownloadNameTable5000(benchmark::State& state) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  benchsupport::BenchInstall serverTree("zuvo-dlbench-server");
  WriteServerTree(serverTree.root());
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
    MarketTables[0] = new TMarketData(0, BenchMarket());
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
