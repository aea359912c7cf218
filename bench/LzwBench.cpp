// DecodeLzw's output speed against zlib's uncompress of the same bytes, in the same run.
// Payloads of about one frame body (8192 bytes) each:
// - quotes: 64 push records of 128 bytes (quotes of 64 instruments, prices walking by ticks),
//   the bodies the push connection carries all day;
// - chains_resets, the worst case: a stream written code by code in which every code is the one
//   being defined (each string one byte longer than the last, chains up to 41 links) and the
//   dictionary is reset after every 40 codes (about ten resets a body);
// - random: random bytes (the shortest strings, about one byte per code, 12-bit codes and a
//   reset every few kilobytes). zlib stores random bytes as they are, so that row is the
//   decoder against a copy: reported, not held to the target;
// - two_values: random bytes of two values (strings of dozens of bytes from the encoder).
// The ratio of the two speeds is printed after the runs. Target: at least 1.0x.
#include "LzwEncoder.h"
#include "data/Records.h"
#include "net/LCompressLite.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBody = 8192;
constexpr std::size_t kRecord = 128;
constexpr int kOutput = 16384;

enum class Payload { kQuotes, kChainsResets, kRandom, kTwoValues };

// Push records as the server writes them: word 0 the market, word 2 zero, the quote's first
// 32 bytes at 4 and its levels at 36, the code at 116, the settlement at 124.
std::vector<std::uint8_t> QuoteRecords() {
  std::mt19937 random(42);
  std::vector<std::uint8_t> body(kBody, 0);
  for (std::size_t i = 0; i < kBody / kRecord; ++i) {
    std::uint8_t* record = body.data() + i * kRecord;
    QuoteRecord quote{};
    const std::uint32_t base = 1000 + static_cast<std::uint32_t>(random() % 4000);
    quote.prevClose = base;
    quote.open = base + random() % 20;
    quote.high = base + 20 + random() % 30;
    quote.low = base - 20 - random() % 30;
    quote.last = base - 10 + random() % 20;
    quote.volume = static_cast<float>(100000 + random() % 900000);
    quote.amount = quote.volume * static_cast<float>(quote.last) / 100.0f;
    quote.lastVolume = static_cast<float>(random() % 500);
    quote.fastChange = static_cast<float>(static_cast<int>(random() % 200) - 100) / 100.0f;
    quote.updateTime = (10u << 12) | ((random() % 60) << 6) | (random() % 60);
    for (int level = 0; level < 5; ++level) {
      quote.bids[level] = {quote.last - 1 - static_cast<std::uint32_t>(level), static_cast<float>(random() % 5000) * 100};
      quote.asks[level] = {quote.last + 1 + static_cast<std::uint32_t>(level), static_cast<float>(random() % 5000) * 100};
    }
    const std::uint16_t market = static_cast<std::uint16_t>(i % 3);
    std::memcpy(record, &market, 2);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&quote);
    std::memcpy(record + 4, bytes, 32);
    std::memcpy(record + 36, bytes + 40, 80);
    std::snprintf(reinterpret_cast<char*>(record + 116), 8, "600%03zu", i * 7 % 1000);
    std::memcpy(record + 124, &quote.settlement, 4);
  }
  return body;
}

std::vector<std::uint8_t> RandomBytes(unsigned alphabet) {
  std::mt19937 random(alphabet);
  std::vector<std::uint8_t> body(kBody);
  for (std::uint8_t& b : body) b = static_cast<std::uint8_t>(random() % alphabet);
  return body;
}

// Codes most significant bit first after the magic, as the servers pack them.
class CodeWriter {
 public:
  CodeWriter() : stream_{'W', 'M', 'C', '1', '5'} {}
  void Put(std::uint32_t code, int width) {
    bits_ = (bits_ << width) | code;
    count_ += width;
    while (count_ >= 8) {
      count_ -= 8;
      stream_.push_back(static_cast<std::uint8_t>(bits_ >> count_));
    }
  }
  std::vector<std::uint8_t> Finish() {
    if (count_ > 0) stream_.push_back(static_cast<std::uint8_t>(bits_ << (8 - count_)));
    return stream_;
  }

 private:
  std::vector<std::uint8_t> stream_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// The worst case: per dictionary a literal, then 40 codes each naming the entry being defined
// (the previous string and its first byte again), then a reset. *plain receives the bytes the
// stream stands for.
std::vector<std::uint8_t> ChainsAndResets(std::vector<std::uint8_t>* plain) {
  constexpr int kCodesPerDictionary = 40;
  CodeWriter writer;
  for (std::uint8_t letter = 'a'; plain->size() + 1 + (kCodesPerDictionary + 3) * kCodesPerDictionary / 2 <= kBody;
       ++letter) {
    writer.Put(letter, 9);
    plain->push_back(letter);
    for (int code = 0; code < kCodesPerDictionary; ++code) {
      writer.Put(259 + static_cast<std::uint32_t>(code), 9);
      plain->insert(plain->end(), static_cast<std::size_t>(code) + 2, letter);
    }
    writer.Put(258, 9);
  }
  writer.Put(256, 9);
  return writer.Finish();
}

struct Streams {
  std::vector<std::uint8_t> plain;
  std::vector<std::uint8_t> lzw;
  std::vector<std::uint8_t> zlib;
};

const Streams& StreamsOf(Payload payload) {
  static std::map<Payload, Streams> built;
  auto found = built.find(payload);
  if (found != built.end()) return found->second;
  Streams streams;
  if (payload == Payload::kChainsResets) {
    streams.lzw = ChainsAndResets(&streams.plain);
  } else {
    streams.plain = payload == Payload::kQuotes ? QuoteRecords() : RandomBytes(payload == Payload::kRandom ? 256 : 2);
    if (!zuvo::quoteserver::EncodeLzw(streams.plain.data(), streams.plain.size(), &streams.lzw)) std::abort();
  }
  uLongf size = compressBound(static_cast<uLong>(streams.plain.size()));
  streams.zlib.resize(size);
  if (compress(streams.zlib.data(), &size, streams.plain.data(), static_cast<uLong>(streams.plain.size())) != Z_OK) {
    std::abort();
  }
  streams.zlib.resize(size);
  return built.emplace(payload, std::move(streams)).first->second;
}

void BM_DecodeLzw(benchmark::State& state, Payload payload) {
  const Streams& streams = StreamsOf(payload);
  LCompressLite decoder;
  std::vector<std::uint8_t> output(kOutput);
  for (auto _ : state) {
    int length = 0;
    const int result = decoder.DecodeLzw(streams.lzw.data(), static_cast<int>(streams.lzw.size()), output.data(),
                                         kOutput, &length);
    if (result != kLzwOk || static_cast<std::size_t>(length) != streams.plain.size()) {
      state.SkipWithError("the stream does not decode");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  if (std::memcmp(output.data(), streams.plain.data(), streams.plain.size()) != 0) {
    state.SkipWithError("the stream decodes to other bytes");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * streams.plain.size()));
  state.counters["stream_bytes"] = static_cast<double>(streams.lzw.size());
}

void BM_ZlibUncompress(benchmark::State& state, Payload payload) {
  const Streams& streams = StreamsOf(payload);
  std::vector<std::uint8_t> output(kOutput);
  for (auto _ : state) {
    uLongf length = kOutput;
    if (uncompress(output.data(), &length, streams.zlib.data(), static_cast<uLong>(streams.zlib.size())) != Z_OK ||
        length != streams.plain.size()) {
      state.SkipWithError("the stream does not inflate");
      break;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * streams.plain.size()));
  state.counters["stream_bytes"] = static_cast<double>(streams.zlib.size());
}

BENCHMARK_CAPTURE(BM_DecodeLzw, quotes, Payload::kQuotes);
BENCHMARK_CAPTURE(BM_ZlibUncompress, quotes, Payload::kQuotes);
BENCHMARK_CAPTURE(BM_DecodeLzw, chains_resets, Payload::kChainsResets);
BENCHMARK_CAPTURE(BM_ZlibUncompress, chains_resets, Payload::kChainsResets);
BENCHMARK_CAPTURE(BM_DecodeLzw, random, Payload::kRandom);
BENCHMARK_CAPTURE(BM_ZlibUncompress, random, Payload::kRandom);
BENCHMARK_CAPTURE(BM_DecodeLzw, two_values, Payload::kTwoValues);
BENCHMARK_CAPTURE(BM_ZlibUncompress, two_values, Payload::kTwoValues);

// The console report, then the ratio of each payload's two speeds.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) speeds_[run.benchmark_name()] = rate->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* payload : {"quotes", "chains_resets", "random", "two_values"}) {
      const auto lzw = speeds_.find(std::string("BM_DecodeLzw/") + payload);
      const auto zlib = speeds_.find(std::string("BM_ZlibUncompress/") + payload);
      if (lzw == speeds_.end() || zlib == speeds_.end() || zlib->second <= 0) continue;
      std::printf("%-12s DecodeLzw %8.1f MB/s  zlib %8.1f MB/s  ratio %.2fx (target 1.0x)\n", payload,
                  lzw->second / 1e6, zlib->second / 1e6, lzw->second / zlib->second);
    }
  }

 private:
  std::map<std::string, double> speeds_;
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
