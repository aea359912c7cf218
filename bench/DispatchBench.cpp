// The reply dispatch writing cache files, in the shapes that cost most: a 10-frame reply of
// newer bars onto a 15000-bar file (bytes written against bar bytes received, counted by the
// merge's counter, in the same run), a 6000-bar scroll-back onto that file, a 20-frame tick
// reply and a 100 KB information text. Each iteration starts from the same files.
#include "BenchInstall.h"

#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "net/CacheMerge.h"
#include "net/DispatchInfo.h"
#include "net/NormalClnt.h"
#include "net/RequestQueue.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kBarsPerFrame = 255;     // (8192 - 14) / 32
constexpr int kTradesPerFrame = 408;   // (8192 - 14) / 20
constexpr int kFileBars = 15000;

// Minute number i as a packed time that grows with i (28-day months keep every word valid).
PackedTime Minute(int i) {
  const int day = i / 1440;
  return MakePackedTime(2000 + day / (12 * 28), 1 + day / 28 % 12, 1 + day % 28, i % 1440 / 60, i % 60);
}

std::string BarBytes(int from, int to) {
  std::vector<ChartBar> bars(static_cast<std::size_t>(to - from));
  for (int i = from; i < to; ++i) {
    bars[static_cast<std::size_t>(i - from)].time = Minute(i);
    bars[static_cast<std::size_t>(i - from)].close = 1000 + static_cast<std::uint32_t>(i % 97);
  }
  return std::string(reinterpret_cast<const char*>(bars.data()), bars.size() * sizeof(ChartBar));
}

std::string Field(const std::string& text, std::size_t width) {
  std::string field = text.substr(0, width);
  field.resize(width, '\0');
  return field;
}

// A tree with market 0 "SH" listing 600000, a request client to hold the frame headers.
class Setup {
 public:
  Setup() : install_("zuvo-bench-dispatch") {
    SystemNow = MakePackedTime(2024, 6, 28, 7, 30);
    MarketRecord record{};
    record.kind = 1;
    std::memcpy(record.code, "SH", 2);
    std::memcpy(record.fileExt, "sh", 2);
    record.capacity = 4;
    record.categoryCount = 1;
    auto* table = new TMarketData(0, record);
    std::memcpy(table->names[0].code, "600000", 6);
    table->count = 1;
    table->FinishNameTable();
    MarketTables[0] = table;
    MarketCount = 1;
    zuvo::net::ResetDispatchState();
    ResetRequestQueue();
  }
  ~Setup() {
    ResetRequestQueue();
    delete MarketTables[0];
    MarketTables[0] = nullptr;
    MarketCount = 0;
  }

  void Reply(std::uint8_t type, const std::vector<std::string>& bodies) {
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      client_.header = FrameHeader{'@', type, static_cast<std::uint16_t>(bodies.size()), static_cast<std::uint16_t>(i),
                                   static_cast<std::uint16_t>(bodies[i].size()), 0, 0};
      DispatchInfo(&client_, reinterpret_cast<const std::uint8_t*>(bodies[i].data()), static_cast<int>(bodies[i].size()));
    }
  }
  fs::path Data(const std::string& relative) const { return install_.data() / relative; }

 private:
  benchsupport::BenchInstall install_;
  TNormalClnt client_;
};

std::string BarHead() { return std::string(1, '\x01') + std::string(1, '\0') + Field("600000", 12); }

// Frames of `bars` bars each, oldest first, covering minutes [from, to).
std::vector<std::string> BarFrames(int from, int to) {
  std::vector<std::string> frames;
  for (int at = from; at < to; at += kBarsPerFrame) frames.push_back(BarHead() + BarBytes(at, std::min(at + kBarsPerFrame, to)));
  return frames;
}

void RunBarReply(benchmark::State& state, int fileFrom, int replyFrom, int replyTo) {
  Setup setup;
  const std::string file = BarBytes(fileFrom, fileFrom + kFileBars);
  const std::vector<std::string> frames = BarFrames(replyFrom, replyTo);
  const double received = static_cast<double>(replyTo - replyFrom) * sizeof(ChartBar);
  std::uint64_t written = 0;
  for (auto _ : state) {
    state.PauseTiming();
    benchsupport::WriteFile(setup.Data("SH/min1/600000.m1"), file);
    const std::uint64_t before = zuvo::net::MergeCounters.barBytesWritten;
    state.ResumeTiming();
    setup.Reply(12, frames);
    written += zuvo::net::MergeCounters.barBytesWritten - before;
  }
  const double perReply = static_cast<double>(written) / static_cast<double>(state.iterations());
  state.counters["bytes_written"] = perReply;
  state.counters["bytes_received"] = received;
  state.counters["written_per_received"] = perReply / received;
  state.SetBytesProcessed(static_cast<std::int64_t>(received) * state.iterations());
}

// 10 frames of newer bars onto a 15000-bar file: appended, the file is not rewritten.
void BM_NewerBarsOnto15000BarFile(benchmark::State& state) {
  RunBarReply(state, 0, kFileBars, kFileBars + 10 * kBarsPerFrame);
}
BENCHMARK(BM_NewerBarsOnto15000BarFile)->Unit(benchmark::kMillisecond);

// 6000 older bars, oldest frame first, before a 15000-bar file: every frame rewrites what lies
// after its place.
void BM_ScrollBack6000BarsOnto15000BarFile(benchmark::State& state) { RunBarReply(state, 6000, 0, 6000); }
BENCHMARK(BM_ScrollBack6000BarsOnto15000BarFile)->Unit(benchmark::kMillisecond);

void BM_TickReply20Frames(benchmark::State& state) {
  Setup setup;
  const std::string head = std::string(1, '\0') + std::string(1, '\0') + Field("600000", 12);
  std::vector<std::string> frames;
  std::vector<TradeRecord> trades(kTradesPerFrame);
  for (int f = 0; f < 20; ++f) {
    for (int t = 0; t < kTradesPerFrame; ++t) {
      trades[static_cast<std::size_t>(t)].time = Minute(f * kTradesPerFrame + t);
      trades[static_cast<std::size_t>(t)].price = 1000;
      trades[static_cast<std::size_t>(t)].volume = static_cast<float>(f * kTradesPerFrame + t);
    }
    frames.push_back(head + std::string(reinterpret_cast<const char*>(trades.data()), trades.size() * sizeof(TradeRecord)));
  }
  const fs::path file = setup.Data("SH/tick/600000.tik");
  std::uintmax_t written = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(file);
    state.ResumeTiming();
    setup.Reply(20, frames);
    state.PauseTiming();
    written = fs::file_size(file);
    state.ResumeTiming();
  }
  state.counters["bytes_written"] = static_cast<double>(written);
  state.counters["bytes_received"] = 20.0 * kTradesPerFrame * sizeof(TradeRecord);
  state.SetBytesProcessed(static_cast<std::int64_t>(written) * state.iterations());
}
BENCHMARK(BM_TickReply20Frames)->Unit(benchmark::kMillisecond);

void BM_InfoText100KB(benchmark::State& state) {
  Setup setup;
  constexpr int kText = 100 * 1024;
  constexpr int kPerFrame = 8192 - 98;
  std::string head = std::string(1, '\0') + Field("600000", 8) + "\x01" + std::string(88, '\0');
  std::vector<std::string> frames;
  for (int at = 0; at < kText; at += kPerFrame) frames.push_back(head + std::string(static_cast<std::size_t>(std::min(kPerFrame, kText - at)), 't'));
  const fs::path file = setup.Data("SH/base/6000001.txt");
  std::uintmax_t written = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove(file);
    RequestRecord request;
    request.kind = kRequestInfoText;
    request.param = 1;
    std::memcpy(request.code, "600000", 6);
    EnqueueRequest(request);
    state.ResumeTiming();
    setup.Reply(41, frames);
    state.PauseTiming();
    written = fs::file_size(file);
    ResetRequestQueue();
    state.ResumeTiming();
  }
  state.counters["bytes_written"] = static_cast<double>(written);
  state.SetBytesProcessed(static_cast<std::int64_t>(kText) * state.iterations());
}
BENCHMARK(BM_InfoText100KB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
