// Frame assembly of the network clients: a stream of frames fed through the read loop in chunks
// of a given size (each receive call copies one chunk, as recv would), against a plain memcpy of
// the same bytes in the same chunks in the same run. Arguments: body bytes per frame, chunk
// bytes. 8192-byte frames in 1460-byte chunks (one TCP segment) are the case that matters; heartbeat
// frames (empty bodies) and 1-byte and 64 KB chunks show the ends.
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "platform/MessageBox.h"
#include "platform/WinSock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kStreamBytes = 1 << 20;   // about a megabyte of frames per iteration

std::string Stream(int bodyBytes) {
  std::string frame(10 + static_cast<std::size_t>(bodyBytes), '\0');
  frame[0] = '@';
  frame[1] = 8;
  frame[2] = 1;
  frame[6] = static_cast<char>(bodyBytes & 0xFF);
  frame[7] = static_cast<char>(bodyBytes >> 8);
  for (int i = 0; i < bodyBytes; ++i) frame[10 + static_cast<std::size_t>(i)] = static_cast<char>(i * 31);
  std::string stream;
  while (stream.size() + frame.size() <= kStreamBytes) stream += frame;
  return stream;
}

// Serves the stream in fixed chunks, then would block.
template <class Client>
class Fed : public Client {
 public:
  Fed() { this->handle = 0x7FFFFFF1; }   // not a platform handle: the client counts as open
  ~Fed() override { this->handle = -1; }
  void Feed(const std::string* stream, int chunk) {
    stream_ = stream;
    chunk_ = chunk;
    at_ = 0;
    this->OnReceive(0);
  }
  int Receive(void* buffer, int length, int /*flags*/) override {
    const std::size_t left = stream_->size() - at_;
    if (left == 0) {
      WSASetLastError(WSAEWOULDBLOCK);
      return -1;
    }
    const std::size_t take = std::min({left, static_cast<std::size_t>(chunk_), static_cast<std::size_t>(length)});
    std::memcpy(buffer, stream_->data() + at_, take);
    at_ += take;
    return static_cast<int>(take);
  }

 private:
  const std::string* stream_ = nullptr;
  int chunk_ = 1;
  std::size_t at_ = 0;
};

long long handledBytes = 0;

template <class Client>
void Assembly(benchmark::State& state) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  const std::string stream = Stream(static_cast<int>(state.range(0)));
  const int chunk = static_cast<int>(state.range(1));
  zuvo::net::ScopedReplyHandler reply([](TNormalClnt*, const std::uint8_t* body, int length) {
    handledBytes += length + (length > 0 ? body[0] : 0);
    return 0;
  });
  zuvo::net::ScopedPushHandler push([](TRealDataClnt*, const std::uint8_t* body, int length) {
    handledBytes += length + (length > 0 ? body[0] : 0);
  });
  auto client = std::make_unique<Fed<Client>>();
  for (auto _ : state) {
    client->Feed(&stream, chunk);
    if (client->handle == -1) {
      state.SkipWithError("the assembly closed the connection");
      break;
    }
  }
  benchmark::DoNotOptimize(handledBytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(stream.size()));
}

// The same bytes in the same chunks, copied into a receive-sized buffer and nothing more.
void PlainMemcpy(benchmark::State& state) {
  const std::string stream = Stream(static_cast<int>(state.range(0)));
  const std::size_t chunk = static_cast<std::size_t>(state.range(1));
  std::vector<char> buffer(kReceiveBufferBytes + 65536);
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
      const std::size_t take = std::min(chunk, stream.size() - at);
      std::memcpy(buffer.data() + (at % kReceiveBufferBytes), stream.data() + at, take);
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(stream.size()));
}

void Cases(benchmark::internal::Benchmark* bench) {
  bench->Args({8192, 1460})->Args({0, 1460})->Args({8192, 1})->Args({8192, 65536})->Args({128, 1460});
}

BENCHMARK(Assembly<TNormalClnt>)->Apply(Cases);
BENCHMARK(Assembly<TRealDataClnt>)->Apply(Cases);
BENCHMARK(PlainMemcpy)->Apply(Cases);

}  // namespace

BENCHMARK_MAIN();
