// The push client's records, the hottest path of the program.
// - DispatchRecords: frames of 64 quote records (every one changes its instrument's quote) into
//   one market of 1000, 5000 and 20000 instruments, codes drawn at random, the main window's
//   quote handler a stub that does nothing. Target: 2 million records a second on one core.
//   Beside it, FindInstrumentByCode alone over the same codes: the lookup's share.
// - End to end from the local quote server over loopback (push every step, 256 instruments
//   whose quotes all change at every step): what a plain reader of the socket receives (the
//   server's sending rate) and what the push client handles (connect, frames, records, the stub
//   window), one after the other against one server. Target: the client at least half the
//   in-memory rate, unless the server sends less.
#include "BenchInstall.h"
#include "BenchServerTree.h"
#include "QuoteServer.h"
#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/NetHooks.h"
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"
#include "platform/Message.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRecordsPerFrame = 64;
constexpr int kFrames = 256;
constexpr int kServerInstruments = 256;

std::uint64_t handled = 0;

// The main window with its quote handler stubbed: it only counts.
LRESULT StubProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgQuoteEvent) {
    if (wParam == kQuoteEventUpdate) ++handled;
    return 0;
  }
  if (message >= kWmUser) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND StubWindow() {
  static HWND window = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = StubProc;
    windowClass.lpszClassName = "PushBenchMainWindow";
    RegisterClassA(&windowClass);
    HWND made = CreateWindowExA(0, "PushBenchMainWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
    zuvo::net::SetMainWindow(made);
    return made;
  }();
  return window;
}

benchsupport::BenchInstall& Install() {
  static benchsupport::BenchInstall install("zuvo-pushbench");
  return install;
}

// A market of `instruments` instruments with distinct six-digit codes in no order.
std::unique_ptr<TMarketData> MakeMarket(int instruments, bool serverCodes) {
  Install();
  MarketRecord record = benchsupport::ServerBenchMarket(instruments);
  auto table = std::make_unique<TMarketData>(0, record);
  for (int i = 0; i < instruments; ++i) {
    const unsigned code = serverCodes ? 600000u + static_cast<unsigned>(i)
                                      : (static_cast<unsigned>(i) * 7919u + 100000u) % 1000000u;
    char text[16];
    std::snprintf(text, sizeof text, "%06u", code % 1000000u);
    std::memcpy(table->names[i].code, text, 7);
  }
  table->count = instruments;
  table->FinishNameTable();
  return table;
}

void Publish(TMarketData* table) {
  MarketTables[0] = table;
  MarketCount = 1;
}

// The market and kFrames frames of records drawn at random from its codes, each a new quote.
struct InMemory {
  std::unique_ptr<TMarketData> table;
  std::vector<std::string> frames;
  std::vector<std::string> codes;   // the records' codes, terminated, in order
};

InMemory& Prepared(int instruments) {
  static std::map<int, std::unique_ptr<InMemory>> prepared;
  std::unique_ptr<InMemory>& slot = prepared[instruments];
  if (slot) return *slot;
  slot = std::make_unique<InMemory>();
  slot->table = MakeMarket(instruments, false);
  std::mt19937 random(static_cast<unsigned>(instruments));
  std::uniform_int_distribution<int> pick(0, instruments - 1);
  std::uniform_int_distribution<int> price(900, 1100);
  float volume = 1;
  for (int f = 0; f < kFrames; ++f) {
    std::string frame(kRecordsPerFrame * 128, '\0');
    for (int r = 0; r < kRecordsPerFrame; ++r) {
      auto* record = reinterpret_cast<std::uint8_t*>(&frame[static_cast<std::size_t>(r) * 128]);
      QuoteRecord q{};
      q.prevClose = 1000;
      q.open = 1000;
      q.high = 1100;
      q.low = 900;
      q.last = static_cast<std::uint32_t>(price(random));
      q.volume = volume += 3;
      q.amount = volume * 1000;
      for (int level = 0; level < 5; ++level) {
        q.bids[level] = {q.last - 1 - static_cast<std::uint32_t>(level), static_cast<float>(price(random))};
        q.asks[level] = {q.last + 1 + static_cast<std::uint32_t>(level), static_cast<float>(price(random))};
      }
      std::memcpy(record + 4, &q, 32);
      std::memcpy(record + 36, reinterpret_cast<const std::uint8_t*>(&q) + 40, 80);
      const char* code = slot->table->names[pick(random)].code;
      std::memcpy(record + 116, code, std::strlen(code));
      slot->codes.emplace_back(code);
    }
    slot->frames.push_back(std::move(frame));
  }
  return *slot;
}

void BM_DispatchRecords(benchmark::State& state) {
  StubWindow();
  InMemory& market = Prepared(static_cast<int>(state.range(0)));
  Publish(market.table.get());
  zuvo::net::ResetPushState();
  SystemNow = MakePackedTime(2024, 6, 24, 2, 0);
  TRealDataClnt client;
  client.header.type = kPushRecordsType;
  // A clock record first, so every changed quote is stamped with the seconds since it.
  std::string clock(128, '\0');
  clock[2] = 120;
  TRealDataClnt::DispatchRecords(&client, reinterpret_cast<const std::uint8_t*>(clock.data()), 128);
  const std::uint64_t before = handled;
  std::size_t next = 0;
  for (auto _ : state) {
    const std::string& frame = market.frames[next++ % kFrames];
    TRealDataClnt::DispatchRecords(&client, reinterpret_cast<const std::uint8_t*>(frame.data()),
                                   static_cast<int>(frame.size()));
  }
  if (handled - before != static_cast<std::uint64_t>(state.iterations()) * kRecordsPerFrame) {
    state.SkipWithError("a record was not handled");
  }
  state.SetItemsProcessed(state.iterations() * kRecordsPerFrame);
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kRecordsPerFrame), benchmark::Counter::kIsRate);
  MarketTables[0] = nullptr;
  MarketCount = 0;
}
BENCHMARK(BM_DispatchRecords)->Arg(1000)->Arg(5000)->Arg(20000);

void BM_FindInstrumentByCode(benchmark::State& state) {
  InMemory& market = Prepared(static_cast<int>(state.range(0)));
  Publish(market.table.get());
  std::size_t next = 0;
  for (auto _ : state) {
    for (int r = 0; r < kRecordsPerFrame; ++r) {
      int hint = 0;
      benchmark::DoNotOptimize(FindInstrumentByCode(market.codes[next++ % market.codes.size()].c_str(), &hint, false));
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecordsPerFrame);
  state.counters["lookups/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kRecordsPerFrame), benchmark::Counter::kIsRate);
  MarketTables[0] = nullptr;
  MarketCount = 0;
}
BENCHMARK(BM_FindInstrumentByCode)->Arg(1000)->Arg(5000)->Arg(20000);

// ---- End to end ---------------------------------------------------------------------------

// Monday 2024-06-24 09:31 Beijing time and the minutes of the morning session.
constexpr std::int64_t kSessionStart = 1719192660;
constexpr std::int64_t kSessionMinutes = 118;

// A push server over 256 instruments whose clock moves one trading minute each time it is read
// (once a step), so every quote changes at every step.
struct Server {
  std::filesystem::path root;
  std::atomic<std::int64_t> reads{0};
  std::unique_ptr<zuvo::quoteserver::QuoteServer> server;

  Server() {
    root = Install().root() / "server";
    benchsupport::WriteServerTree(root, kServerInstruments);
    zuvo::quoteserver::ServerConfig config;
    config.dataDir = root;
    config.mainPort = config.requestPort = config.pushPort = 0;
    config.pushMs = 0;
    server = std::make_unique<zuvo::quoteserver::QuoteServer>(
        config, [this] { return kSessionStart + (reads.fetch_add(1) % kSessionMinutes) * 60; });
    std::string error;
    if (!server->Start(&error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
  }
  ~Server() { server->Stop(); }
};

Server& TheServer() {
  static Server server;
  return server;
}

constexpr std::uint64_t kRecordsPerIteration = 64 * kServerInstruments;

// A plain reader of the socket: the rate the server sends at.
void BM_ServerToPlainReader(benchmark::State& state) {
  Server& server = TheServer();
  WSADATA data{};
  WSAStartup(0x0101, &data);
  const SOCKET fd = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_port = htons(server.server->ports().push);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (connect(fd, reinterpret_cast<const SOCKADDR*>(&address), sizeof address) != 0) std::abort();
  std::string opening(4, '\0');
  opening[0] = 4;
  const std::string hello =
      benchsupport::ClientFrame(202, opening) +
      benchsupport::ClientFrame(100, benchsupport::SubscriptionOfFirst(kServerInstruments, kServerInstruments));
  if (send(fd, hello.data(), static_cast<int>(hello.size()), 0) != static_cast<int>(hello.size())) std::abort();
  std::string buffer(1 << 20, '\0');
  std::size_t held = 0;
  auto readSome = [&] {
    const int got = recv(fd, buffer.data() + held, static_cast<int>(buffer.size() - held), 0);
    if (got <= 0) std::abort();
    held += static_cast<std::size_t>(got);
    return benchsupport::TakePushRecords(buffer, &held);
  };
  for (std::uint64_t warm = 0; warm < 4 * kServerInstruments;) warm += readSome();
  std::uint64_t total = 0;
  for (auto _ : state) {
    std::uint64_t records = 0;
    while (records < kRecordsPerIteration) records += readSome();
    total += records;
  }
  closesocket(fd);
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServerToPlainReader)->UseRealTime()->Unit(benchmark::kMillisecond);

// The push client: ConnectAndLogin from server.ini, the subscription, and every frame through
// its receive path and DispatchRecords into the market table.
void BM_ServerToPushClient(benchmark::State& state) {
  Server& server = TheServer();
  StubWindow();
  static std::unique_ptr<TMarketData> table = MakeMarket(kServerInstruments, true);
  Publish(table.get());
  zuvo::net::ResetPushState();
  WritePrivateProfileStringA("Server", "dsAddr", "127.0.0.1", ".\\server.ini");
  WritePrivateProfileStringA("Server", "Port2", std::to_string(server.server->ports().push).c_str(), ".\\server.ini");
  auto client = std::make_unique<TRealDataClnt>();
  if (client->ConnectAndLogin() != 1) {
    state.SkipWithError("no connection");
    return;
  }
  auto* keys = new EArray<STKMS>();
  for (int i = 0; i < kServerInstruments; ++i) keys->Add(STKMS{0, static_cast<std::uint16_t>(i)});
  client->Subscribe(keys, kServerInstruments, true);
  const auto pumpUntil = [&](std::uint64_t target) {
    return zuvo::platform::PumpMessagesUntil([&] { return handled >= target || client->handle == -1; }, 60000);
  };
  if (!pumpUntil(handled + 4 * kServerInstruments)) {
    state.SkipWithError("the records did not come");
    return;
  }
  std::uint64_t total = 0;
  for (auto _ : state) {
    const std::uint64_t start = handled;
    if (!pumpUntil(start + kRecordsPerIteration) || client->handle == -1) {
      state.SkipWithError("the connection ended");
      break;
    }
    total += handled - start;
  }
  client.reset();
  zuvo::platform::ProcessPendingMessages();
  MarketTables[0] = nullptr;
  MarketCount = 0;
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ServerToPushClient)->UseRealTime()->Unit(benchmark::kMillisecond);

// Prints the benchmarks, then the shares and ratios the targets name.
class PushReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto rate = run.counters.find("records/s");
      const auto lookups = run.counters.find("lookups/s");
      if (rate != run.counters.end()) rates_[run.run_name.str()] = rate->second.value;
      if (lookups != run.counters.end()) rates_[run.run_name.str()] = lookups->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* n : {"1000", "5000", "20000"}) {
      const double dispatch = Rate(std::string("BM_DispatchRecords/") + n);
      const double lookup = Rate(std::string("BM_FindInstrumentByCode/") + n);
      if (dispatch > 0 && lookup > 0) {
        std::printf("%s instruments: %.2f million records/s (target 2), lookup %.0f%% of the time\n", n,
                    dispatch / 1e6, 100.0 * dispatch / lookup);
      }
    }
    const double memory = Rate("BM_DispatchRecords/1000");
    const double plain = Rate("BM_ServerToPlainReader/real_time");
    const double client = Rate("BM_ServerToPushClient/real_time");
    if (memory > 0 && client > 0) {
      std::printf("end to end: client %.2f million records/s = %.2fx the in-memory rate (target 0.5x)\n", client / 1e6,
                  client / memory);
    }
    if (plain > 0 && client > 0) {
      std::printf("server sends %.2f million records/s; per record the server takes %.0f ns, the client %.0f ns\n",
                  plain / 1e6, 1e9 / plain, 1e9 / client);
    }
  }

 private:
  double Rate(const std::string& name) const {
    const auto found = rates_.find(name);
    return found == rates_.end() ? 0 : found->second;
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  // The socket window needs a platform, never a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PushReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
