// The fuzz targets: one per parser of outside data. Each is a function that takes one input,
// runs the parser on it inside a fresh install tree and checks a property beyond "no crash"
// (stated at the top of its file), aborting when it breaks. Both drivers (the fuzzer's
// persistent loop and the replay of kept inputs) run targets through RunFuzzTarget.
#pragma once

#include <cstddef>
#include <cstdint>

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
  const char* name;   // also the folder of its seeds and regressions
  FuzzEntry run;
};

// The entries, one per file of targets/.
int FuzzIniFile(const std::uint8_t* data, std::size_t size);
int FuzzBlockFile(const std::uint8_t* data, std::size_t size);
int FuzzDbfTable(const std::uint8_t* data, std::size_t size);
int FuzzNewsIndex(const std::uint8_t* data, std::size_t size);
int FuzzMarketLoad(const std::uint8_t* data, std::size_t size);
int FuzzTickCache(const std::uint8_t* data, std::size_t size);
int FuzzTrendHistory(const std::uint8_t* data, std::size_t size);
int FuzzBarFiles(const std::uint8_t* data, std::size_t size);
int FuzzHotKeys(const std::uint8_t* data, std::size_t size);
int FuzzCycleOrder(const std::uint8_t* data, std::size_t size);
int FuzzGbkCodec(const std::uint8_t* data, std::size_t size);
int FuzzPathResolver(const std::uint8_t* data, std::size_t size);
int FuzzQuoteServerStream(const std::uint8_t* data, std::size_t size);
int FuzzFrameAssembly(const std::uint8_t* data, std::size_t size);
int FuzzLzwDecoder(const std::uint8_t* data, std::size_t size);
int FuzzNetHandshake(const std::uint8_t* data, std::size_t size);
int FuzzDownloads(const std::uint8_t* data, std::size_t size);
int FuzzDispatchInfo(const std::uint8_t* data, std::size_t size);
int FuzzPushRecords(const std::uint8_t* data, std::size_t size);
int FuzzFreshness(const std::uint8_t* data, std::size_t size);
int FuzzBmpImage(const std::uint8_t* data, std::size_t size);
int FuzzStringList(const std::uint8_t* data, std::size_t size);
int FuzzChannelFrames(const std::uint8_t* data, std::size_t size);
int FuzzWaveFile(const std::uint8_t* data, std::size_t size);
int FuzzLinkFinder(const std::uint8_t* data, std::size_t size);
int FuzzPageFile(const std::uint8_t* data, std::size_t size);
int FuzzPageIndex(const std::uint8_t* data, std::size_t size);
int FuzzFormulaCompile(const std::uint8_t* data, std::size_t size);
int FuzzSmartKBSearch(const std::uint8_t* data, std::size_t size);
int FuzzAccountReply(const std::uint8_t* data, std::size_t size);

// Every target, and its number.
extern const FuzzTarget kFuzzTargets[];
extern const int kFuzzTargetCount;

// The target of that name, or null.
const FuzzTarget* FindFuzzTarget(const char* name);

// Inputs longer than this are cut: the parsers' files are small, and a fuzzer's are at most
// 1 MB.
constexpr std::size_t kMaxFuzzInput = 1 << 20;

// Resets the install tree, runs the target on the input and checks that it left no platform
// handle open (a leaked handle is a leaked file descriptor in a long session).
int RunFuzzTarget(const FuzzTarget& target, const std::uint8_t* data, std::size_t size);

// The name of the target running now ("?" outside a run), for failure messages.
const char* CurrentTargetName();
