// The local quote server's cost on the client benchmarks' path.
// - A reply of every day bar of an instrument, built and sent by the server, against a plain
//   loopback send of the same bytes in the same run. Both are measured the same way from the
//   client's side (send the 22-byte request, read the whole reply), so the ratio is what
//   building the reply adds to a send. Target: 2x.
// - Quote records pushed per second with --push-ms 0 to one client subscribed to 256
//   instruments, and to four such clients, while every quote changes at every step (the
//   server's clock moves one trading minute a step). Target: 3 million a second to one client,
//   the server on one core. Beside them, the market model's quotes alone for the same 256
//   instruments and moments: the server computes each once a step, so they bound the pushing.
#include "BenchServerTree.h"
#include "MarketModel.h"
#include "QuoteServer.h"
#include "data/Records.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using zuvo::quoteserver::QuoteServer;
using zuvo::quoteserver::ServerConfig;

constexpr int kInstruments = 256;

// The benchmark's own install tree in the temporary folder.
std::filesystem::path WriteTree() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zuvo-qsbench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  const std::filesystem::path root = pattern;
  benchsupport::WriteServerTree(root, kInstruments);
  return root;
}

int Connect(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) std::abort();
    done += static_cast<std::size_t>(sent);
  }
}

void ReadAll(int fd, std::string* buffer, std::size_t size) {
  buffer->resize(size);
  for (std::size_t done = 0; done < size;) {
    const ssize_t got = ::recv(fd, buffer->data() + done, size - done, 0);
    if (got <= 0) std::abort();
    done += static_cast<std::size_t>(got);
  }
}

using benchsupport::ClientFrame;

// Reads one whole reply frame by frame; returns its bytes.
std::string ReadReply(int fd) {
  std::string reply;
  std::string header;
  std::string body;
  for (;;) {
    ReadAll(fd, &header, 10);
    const std::size_t length = static_cast<std::uint8_t>(header[6]) | (static_cast<std::uint8_t>(header[7]) << 8);
    ReadAll(fd, &body, length);
    reply += header + body;
    const int count = static_cast<std::uint8_t>(header[2]) | (static_cast<std::uint8_t>(header[3]) << 8);
    const int index = static_cast<std::uint8_t>(header[4]) | (static_cast<std::uint8_t>(header[5]) << 8);
    if (index + 1 >= count) return reply;
  }
}

// The server, a logged-in client and the request for every day bar since the epoch.
struct Setup {
  std::filesystem::path root = WriteTree();
  std::unique_ptr<QuoteServer> server;
  int client = -1;
  std::string request;
  std::string reply;   // the reply's bytes as the server sends them
  std::size_t bars = 0;

  Setup() {
    ServerConfig config;
    config.dataDir = root;
    config.mainPort = config.requestPort = config.pushPort = 0;
    server = std::make_unique<QuoteServer>(config, [] { return zuvo::model::kSampleNow; });
    std::string error;
    if (!server->Start(&error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    client = Connect(server->ports().request);
    std::string login(64, '\0');
    login[60] = 2;
    SendAll(client, ClientFrame(3, login));
    ReadReply(client);
    std::string body(22, '\0');
    body[0] = 8;
    std::memcpy(&body[2], "600100", 6);
    const std::uint32_t epoch = zuvo::model::kModelEpoch;
    std::memcpy(&body[14], &epoch, 4);
    request = ClientFrame(12, body);
    SendAll(client, request);
    reply = ReadReply(client);
    for (std::size_t at = 0; at + 10 <= reply.size();) {
      const std::size_t length = static_cast<std::uint8_t>(reply[at + 6]) | (static_cast<std::uint8_t>(reply[at + 7]) << 8);
      bars += (length - 14) / sizeof(ChartBar);
      at += 10 + length;
    }
  }
  ~Setup() {
    ::close(client);
    server->Stop();
    std::filesystem::remove_all(root);
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void BM_ServerDayBarsReply(benchmark::State& state) {
  Setup& setup = TheSetup();
  std::string received;
  for (auto _ : state) {
    SendAll(setup.client, setup.request);
    ReadAll(setup.client, &received, setup.reply.size());
    benchmark::DoNotOptimize(received.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.reply.size()));
  state.counters["bars"] = static_cast<double>(setup.bars);
}
BENCHMARK(BM_ServerDayBarsReply)->UseRealTime();

// The same exchange against a thread that only sends the finished bytes.
void BM_PlainLoopbackSend(benchmark::State& state) {
  Setup& setup = TheSetup();
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0) std::abort();
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  const int client = Connect(ntohs(address.sin_port));
  const int peer = ::accept(listener, nullptr, nullptr);
  const int on = 1;
  setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::thread sender([&] {
    std::string request;
    for (;;) {
      request.resize(setup.request.size());
      std::size_t done = 0;
      while (done < request.size()) {
        const ssize_t got = ::recv(peer, request.data() + done, request.size() - done, 0);
        if (got <= 0) return;
        done += static_cast<std::size_t>(got);
      }
      SendAll(peer, setup.reply);
    }
  });
  std::string received;
  for (auto _ : state) {
    SendAll(client, setup.request);
    ReadAll(client, &received, setup.reply.size());
    benchmark::DoNotOptimize(received.data());
  }
  ::shutdown(client, SHUT_RDWR);
  sender.join();
  ::close(client);
  ::close(peer);
  ::close(listener);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.reply.size()));
}
BENCHMARK(BM_PlainLoopbackSend)->UseRealTime();

// ---- Pushing ------------------------------------------------------------------------------

// Monday 2024-06-24 09:31 Beijing time: the first minute of the morning session.
constexpr std::int64_t kSessionStart = 1719192660;
constexpr std::int64_t kSessionMinutes = 118;

// A push server over the 256-instrument tree whose clock moves one trading minute each time it
// is read (the server reads it once a step), wrapping within the morning session.
struct PushSetup {
  std::filesystem::path root = WriteTree();
  std::atomic<std::int64_t> reads{0};
  std::unique_ptr<QuoteServer> server;

  PushSetup() {
    ServerConfig config;
    config.dataDir = root;
    config.mainPort = config.requestPort = config.pushPort = 0;
    config.pushMs = 0;
    server = std::make_unique<QuoteServer>(config, [this] {
      return kSessionStart + (reads.fetch_add(1) % kSessionMinutes) * 60;
    });
    std::string error;
    if (!server->Start(&error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
  }
  ~PushSetup() {
    server->Stop();
    std::filesystem::remove_all(root);
  }
};

PushSetup& ThePushSetup() {
  static PushSetup setup;
  return setup;
}

// A push client subscribed to every instrument, counting the quote records it reads.
class PushClient {
 public:
  explicit PushClient(std::uint16_t port) : fd_(Connect(port)) {
    std::string opening(4, '\0');
    opening[0] = 4;
    const std::string subscription = benchsupport::SubscriptionOfFirst(kInstruments, 0);
    SendAll(fd_, ClientFrame(202, opening) + ClientFrame(100, subscription));
    buffer_.resize(1 << 20);
  }
  ~PushClient() { ::close(fd_); }
  int fd() const { return fd_; }

  // Reads what has arrived (waiting for some) and returns the quote records completed by it.
  std::uint64_t ReadSome() {
    const ssize_t got = ::recv(fd_, buffer_.data() + held_, buffer_.size() - held_, 0);
    if (got <= 0) std::abort();
    held_ += static_cast<std::size_t>(got);
    return benchsupport::TakePushRecords(buffer_, &held_);
  }

 private:
  int fd_;
  std::string buffer_;
  std::size_t held_ = 0;
};

constexpr std::uint64_t kRecordsPerIteration = 64 * kInstruments;

void BM_PushOneClient(benchmark::State& state) {
  PushSetup& setup = ThePushSetup();
  PushClient client(setup.server->ports().push);
  // The first steps compute each instrument's history; they are not measured.
  for (std::uint64_t warm = 0; warm < 4 * kInstruments;) warm += client.ReadSome();
  std::uint64_t total = 0;
  for (auto _ : state) {
    std::uint64_t records = 0;
    while (records < kRecordsPerIteration) records += client.ReadSome();
    total += records;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PushOneClient)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PushFourClients(benchmark::State& state) {
  PushSetup& setup = ThePushSetup();
  std::vector<std::unique_ptr<PushClient>> clients;
  for (int c = 0; c < 4; ++c) clients.push_back(std::make_unique<PushClient>(setup.server->ports().push));
  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> received{0};
  std::vector<std::thread> readers;
  for (auto& client : clients) {
    readers.emplace_back([&, reader = client.get()] {
      while (!done.load(std::memory_order_relaxed)) {
        pollfd poller{reader->fd(), POLLIN, 0};
        if (::poll(&poller, 1, 100) > 0) received.fetch_add(reader->ReadSome(), std::memory_order_relaxed);
      }
    });
  }
  while (received.load() < 4 * 4 * kInstruments) std::this_thread::yield();
  std::uint64_t total = 0;
  for (auto _ : state) {
    const std::uint64_t start = received.load();
    while (received.load() - start < 4 * kRecordsPerIteration) std::this_thread::yield();
    total += received.load() - start;
  }
  done.store(true);
  for (std::thread& reader : readers) reader.join();
  state.SetItemsProcessed(static_cast<std::int64_t>(total));
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
  state.counters["per client/s"] = benchmark::Counter(static_cast<double>(total) / 4, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PushFourClients)->UseRealTime()->Unit(benchmark::kMillisecond);

// What the pushing above costs in the market model alone: the quotes of the 256 instruments,
// one trading minute further each round, as the server computes them once a step. The push
// benchmarks cannot be faster than this.
void BM_ModelQuotes(benchmark::State& state) {
  const std::filesystem::path root = WriteTree();
  std::string error;
  const auto model = zuvo::model::MarketModel::Load(root, 1, &error);
  if (!model) {
    state.SkipWithError(error.c_str());
    return;
  }
  // The first round computes each instrument's history; it is not measured.
  for (int i = 0; i < kInstruments; ++i) benchmark::DoNotOptimize(model->Quote(0, i, kSessionStart));
  std::int64_t step = 0;
  for (auto _ : state) {
    const std::int64_t now = kSessionStart + (++step % kSessionMinutes) * 60;
    for (int i = 0; i < kInstruments; ++i) benchmark::DoNotOptimize(model->Quote(0, i, now));
  }
  state.SetItemsProcessed(state.iterations() * kInstruments);
  state.counters["quotes/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kInstruments), benchmark::Counter::kIsRate);
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_ModelQuotes)->Unit(benchmark::kMicrosecond);

// Prints the benchmarks as usual, then the server's time as a multiple of the plain send's.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto server = times_.find("BM_ServerDayBarsReply");
    const auto plain = times_.find("BM_PlainLoopbackSend");
    if (server != times_.end() && plain != times_.end() && plain->second > 0) {
      std::printf("server reply / plain loopback send: %.2fx (target at most 2x)\n", server->second / plain->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
