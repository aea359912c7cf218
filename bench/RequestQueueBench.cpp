// The request queue and the request frames beside one loopback request round trip, all in the
// same run:
// - LoopbackRoundTrip: a logged-in request client (real TCP on loopback, blocking reads) asks
//   the in-process quote server for the system message (wire 203, a 4-byte request) and reads
//   the whole reply: the smallest exchange a request makes.
// - EnqueueWorstCase: EnqueueRequest with 255 live slots (253 pending, 2 in flight) and one
//   finished, where every duplicate search runs to its end: no pending slot has the same target
//   or the same requester, the in-flight search and (for ticks) the finished search reach their
//   oldest slot, and that slot refuses the request, so the ring is the same after every call.
//   Two shapes: ticks (all three searches) and information texts (the longest comparison, the
//   80-byte text last). Target: at most 1/100 of LoopbackRoundTrip.
// - EnqueueSnapshotLists: a quote snapshot of 256 keys against 253 pending snapshots of 256
//   keys each (none shared), the key search the snapshot merge runs; shown for its size, it is
//   not a slot search.
// - BuildRequestFrame per kind, ns per frame, into a client that accepts every byte.
// The summary printed at the end gives the worst-case enqueue as a share of the round trip.
#include "BenchInstall.h"
#include "BenchServerTree.h"
#include "MarketModel.h"
#include "QuoteServer.h"
#include "core/GuardedAlloc.h"
#include "data/Records.h"
#include "net/NetFrame.h"
#include "net/NormalClnt.h"
#include "net/RequestFrames.h"
#include "net/RequestQueue.h"
#include "platform/DrivenClock.h"
#include "platform/MessageBox.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Nanoseconds per iteration of the named measurements, for the summary.
double roundTripNs = 0;
double enqueueTicksNs = 0;
double enqueueTextNs = 0;
double enqueueSnapshotNs = 0;

double NsPerIteration(Clock::time_point start, const benchmark::State& state) {
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  return state.iterations() > 0 ? ns / static_cast<double>(state.iterations()) : 0;
}

// ---- The loopback round trip --------------------------------------------------------------------

// Reads one whole reply with the client's blocking reads; false when the connection failed.
bool ReadReply(TNormalClnt* client, std::uint8_t* type) {
  for (;;) {
    if (client->ReadFrameHeader() != 1 || client->ReadFrameBody() < 0) return false;
    *type = client->header.type;
    if (client->header.index + 1 >= client->header.count) return true;
  }
}

void LoopbackRoundTrip(benchmark::State& state) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  benchsupport::BenchInstall install("zuvo-rqbench");
  benchsupport::WriteServerTree(install.root(), 256);
  zuvo::quoteserver::ServerConfig config;
  config.dataDir = install.root();
  config.mainPort = config.requestPort = config.pushPort = 0;
  config.timedPush = false;
  zuvo::quoteserver::QuoteServer server(config, [] { return zuvo::model::kSampleNow; });
  std::string error;
  if (!server.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto client = std::make_unique<TNormalClnt>();
  RequestRecord login;
  login.kind = kRequestLogin;
  std::strcpy(login.text, "bench");
  login.value1 = 1;   // network line
  login.value2 = 2;   // one-stage login
  std::uint8_t type = 0;
  if (client->Create() != 1 || client->Connect("127.0.0.1", server.ports().request) != 1 ||
      BuildRequestFrame(client.get(), &login) <= 0 || !ReadReply(client.get(), &type) || type != 3) {
    state.SkipWithError("no login");
    server.Stop();
    return;
  }
  RequestRecord ask;
  ask.kind = kRequestSystemMessage;
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (BuildRequestFrame(client.get(), &ask) <= 0 || !ReadReply(client.get(), &type) || type != 203) {
      state.SkipWithError("the exchange failed");
      break;
    }
  }
  roundTripNs = NsPerIteration(start, state);
  client.reset();
  server.Stop();
}
BENCHMARK(LoopbackRoundTrip)->UseRealTime();

// ---- The worst-case enqueue -----------------------------------------------------------------------

RequestRecord Ticks(const char* code, std::uint32_t requester) {
  RequestRecord r;
  r.kind = kRequestTicks;
  r.market = 1;
  std::memcpy(r.code, code, strnlen(code, 8));   // at most 8 bytes, the rest stays zero
  r.requester = requester;
  return r;
}

RequestRecord InfoText(int section, std::uint32_t requester) {
  RequestRecord r;
  r.kind = kRequestInfoText;
  r.market = 1;
  r.param = 1;
  std::strcpy(r.code, "600000");
  r.value1 = 4096;
  r.value2 = 512;
  // Texts that differ only in their last characters: every comparison reads the whole text.
  std::memset(r.text, 'f', 72);
  std::snprintf(r.text + 72, 8, "%07d", section);
  r.requester = requester;
  return r;
}

RequestRecord SystemMessage() {
  RequestRecord r;
  r.kind = kRequestSystemMessage;
  return r;
}

FrameHeader Reply(std::uint8_t type) {
  FrameHeader header{};
  header.magic = kFrameMagic;
  header.type = type;
  header.count = 1;
  return header;
}

bool RingIsWorstCase() {
  const zuvo::net::RequestQueueState s = zuvo::net::GetRequestQueueState();
  return s.count == 255 && s.pending == 253 && s.inFlight == 2;
}

// Ticks: finished [X], in flight [Y0, Y1], pending [Y2 .. Y254]; X asked again by a new requester.
void EnqueueWorstCaseTicks(benchmark::State& state) {
  zuvo::platform::ScopedDrivenClock clock;   // the tick stands still: X stays inside its 1000 ms
  NormalClnt = nullptr;                // nothing goes out; requests still move into the flight
  ResetRequestQueue();
  EnqueueRequest(Ticks("X", 1));
  CompleteRequest(Reply(20));
  char code[12];
  for (int i = 0; i < 255; ++i) {
    std::snprintf(code, sizeof code, "Y%05d", i);
    EnqueueRequest(Ticks(code, 100 + static_cast<std::uint32_t>(i)));
  }
  if (!RingIsWorstCase() || zuvo::net::GetRequestQueueState().finished != 1) {
    state.SkipWithError("not the worst case");
    return;
  }
  const RequestRecord again = Ticks("X", 99);
  const Clock::time_point start = Clock::now();
  for (auto _ : state) EnqueueRequest(again);
  enqueueTicksNs = NsPerIteration(start, state);
  if (!RingIsWorstCase()) state.SkipWithError("the ring changed");
  ResetRequestQueue();
}
BENCHMARK(EnqueueWorstCaseTicks);

// Information texts: in flight [T0, T1], pending [T2 .. T254]; T0 asked again by a new requester
// (refused by the oldest slot in flight, the last one the in-flight search reaches).
void EnqueueWorstCaseInfoText(benchmark::State& state) {
  zuvo::platform::ScopedDrivenClock clock;
  NormalClnt = nullptr;
  ResetRequestQueue();
  for (int i = 0; i < 255; ++i) EnqueueRequest(InfoText(i, 100 + static_cast<std::uint32_t>(i)));
  if (!RingIsWorstCase()) {
    state.SkipWithError("not the worst case");
    return;
  }
  const RequestRecord again = InfoText(0, 99);
  const Clock::time_point start = Clock::now();
  for (auto _ : state) EnqueueRequest(again);
  enqueueTextNs = NsPerIteration(start, state);
  if (!RingIsWorstCase()) state.SkipWithError("the ring changed");
  ResetRequestQueue();
}
BENCHMARK(EnqueueWorstCaseInfoText);

// A snapshot of 256 keys against 253 pending snapshots of 256 keys each, no key shared. The
// accepted request changes the ring, so each call gets a fresh ring (outside the timing).
void EnqueueSnapshotLists(benchmark::State& state) {
  zuvo::platform::ScopedDrivenClock clock;
  NormalClnt = nullptr;
  const auto list = [](int first) {
    RequestRecord r;
    r.kind = kRequestSnapshot;
    r.keyList = new EArray<STKMS>();
    for (int k = 0; k < 256; ++k) r.keyList->Add({2, static_cast<std::uint16_t>(first + k)});
    return r;
  };
  double total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetRequestQueue();
    EnqueueRequest(SystemMessage());
    EnqueueRequest(SystemMessage());
    for (int i = 0; i < 253; ++i) EnqueueRequest(list(256 * i));
    RequestRecord r = list(0);
    for (int k = 0; k < 256; ++k) r.keyList->GetData()[k].market = 3;
    state.ResumeTiming();
    const Clock::time_point start = Clock::now();
    EnqueueRequest(r);
    total += std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  }
  enqueueSnapshotNs = state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
  ResetRequestQueue();
}

BENCHMARK(EnqueueSnapshotLists)->Iterations(200);

// ---- Frames -----------------------------------------------------------------------------------------

// Accepts every byte offered, so the send buffer is empty before each frame.
class SinkClient : public TNormalClnt {
 public:
  SinkClient() { handle = 0x7FFFFFF1; }   // not a platform handle: never closed for real
  ~SinkClient() override { handle = -1; }
  int Send(const void* data, int length, int /*flags*/) override {
    benchmark::DoNotOptimize(data);
    return length;
  }
};

RequestRecord FrameRecord(std::uint8_t kind) {
  RequestRecord r;
  r.kind = kind;
  r.market = 1;
  std::strcpy(r.code, "600000");
  std::strcpy(r.text, "F10\\profile");
  r.value1 = 30;
  switch (kind) {
    case kRequestIntradayBars: r.param = kBarFile5Min; break;
    case kRequestDayBars: r.param = kBarFileDay; break;
    case kRequestServerSort:
      r.param = 10;
      r.value1 = 256;
      r.keyArray = static_cast<STKMS*>(GuardedAlloc(256 * sizeof(STKMS)));
      for (int k = 0; k < 256; ++k) r.keyArray[k] = {1, static_cast<std::uint16_t>(k)};
      break;
    case kRequestSnapshot:
      r.keyList = new EArray<STKMS>();
      for (int k = 0; k < 256; ++k) r.keyList->Add({1, static_cast<std::uint16_t>(k)});
      break;
    case kRequestInfoIndex: r.value1 = 3; break;
    default: break;
  }
  return r;
}

void BuildFrame(benchmark::State& state) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  benchsupport::BenchInstall install("zuvo-rqframes");
  // Local copies for kinds 30 and 31 (their frames open them) and credentials for kind 29.
  benchsupport::WriteFile(install.root() / "cfg" / "MKINFO.CFG", std::string(1000, 'm'));
  benchsupport::WriteFile(install.root() / "cfg" / "SYSTIME.DAT", std::string(812, 's'));
  zuvo::net::ScopedCredentialSource credentials([] {
    zuvo::net::RequestCredentials c;
    std::strcpy(c.userName, "bench");
    std::strcpy(c.password, "secret");
    return c;
  });
  const auto kind = static_cast<std::uint8_t>(state.range(0));
  RequestRecord record = FrameRecord(kind);
  std::uint8_t block[kDataServerBlockBytes] = {};
  if (kind == kRequestLogin && state.range(1) == 1) {
    record.param = kLoginDataServer;
    record.dataServerBlock = block;
  }
  SinkClient client;
  for (auto _ : state) {
    if (BuildRequestFrame(&client, &record) <= 0) {
      state.SkipWithError("refused");
      break;
    }
  }
  ReleaseRequestData(&record);
  const bool dataServerStage = record.param == kLoginDataServer && kind == kRequestLogin;
  state.SetLabel("wire " + std::to_string(dataServerStage ? 207 : RequestWireCode(kind)));
}
BENCHMARK(BuildFrame)
    ->ArgNames({"kind", "stage"})
    ->Args({3, 0})->Args({4, 0})->Args({6, 0})->Args({7, 0})->Args({8, 0})->Args({9, 0})->Args({10, 0})
    ->Args({11, 0})->Args({13, 0})->Args({14, 0})->Args({16, 0})->Args({17, 0})->Args({17, 1})->Args({21, 0})
    ->Args({22, 0})->Args({23, 0})->Args({25, 0})->Args({26, 0})->Args({27, 0})->Args({28, 0})->Args({29, 0})
    ->Args({30, 0})->Args({31, 0})->Args({32, 0})->Args({33, 0})->Args({34, 0})->Args({35, 0})->Args({36, 0});

}  // namespace

int main(int argc, char** argv) {
  // The request client's socket window needs a platform, never a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (roundTripNs > 0) {
    std::printf("loopback round trip (system message): %.0f ns\n", roundTripNs);
    const auto share = [](const char* name, double ns) {
      if (ns <= 0) return;
      if (ns < roundTripNs) {
        std::printf("%s: %.0f ns = 1/%.0f of the round trip (target at most 1/100)\n", name, ns, roundTripNs / ns);
      } else {
        std::printf("%s: %.0f ns = %.1f round trips\n", name, ns, ns / roundTripNs);
      }
    };
    share("EnqueueRequest worst case, ticks", enqueueTicksNs);
    share("EnqueueRequest worst case, information texts", enqueueTextNs);
    share("EnqueueRequest, snapshot of 256 keys against 253 lists", enqueueSnapshotNs);
  }
  return 0;
}
