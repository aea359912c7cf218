#include "FuzzTargets.h"

#include "FuzzSupport.h"
#include "platform/HandleTable.h"

#include <cstring>

using namespace zuvo::platform;

const FuzzTarget kFuzzTargets[] = {
    {"ini", FuzzIniFile},
    {"blocks", FuzzBlockFile},
    {"dbf", FuzzDbfTable},
    {"news", FuzzNewsIndex},
    {"market", FuzzMarketLoad},
    {"tickcache", FuzzTickCache},
    {"trend", FuzzTrendHistory},
    {"bars", FuzzBarFiles},
    {"hotkeys", FuzzHotKeys},
    {"cycleorder", FuzzCycleOrder},
    {"gbk", FuzzGbkCodec},
    {"paths", FuzzPathResolver},
    {"quoteserver", FuzzQuoteServerStream},
    {"frames", FuzzFrameAssembly},
    {"lzw", FuzzLzwDecoder},
    {"handshake", FuzzNetHandshake},
    {"downloads", FuzzDownloads},
    {"dispatch", FuzzDispatchInfo},
    {"push", FuzzPushRecords},
    {"freshness", FuzzFreshness},
    {"bmp", FuzzBmpImage},
    {"stringlist", FuzzStringList},
    {"channel", FuzzChannelFrames},
    {"wav", FuzzWaveFile},
    {"links", FuzzLinkFinder},
    {"pagefile", FuzzPageFile},
    {"pageindex", FuzzPageIndex},
    {"formula_compile", FuzzFormulaCompile},
    {"smartkb", FuzzSmartKBSearch},
    {"account", FuzzAccountReply},
};
const int kFuzzTargetCount = static_cast<int>(sizeof kFuzzTargets / sizeof kFuzzTargets[0]);

namespace {
const char* currentTarget = "?";
}

const FuzzTarget* FindFuzzTarget(const char* name) {
  if (!name) return nullptr;
  for (const FuzzTarget& target : kFuzzTargets) {
    if (std::strcmp(target.name, name) == 0) return &target;
  }
  return nullptr;
}

const char* CurrentTargetName() { return currentTarget; }

int RunFuzzTarget(const FuzzTarget& target, const std::uint8_t* data, std::size_t size) {
  currentTarget = target.name;
  if (size > kMaxFuzzInput) size = kMaxFuzzInput;
  fuzz::Sandbox::Reset();
  const std::size_t handlesBefore = handles::OpenCount();
  const int result = target.run(data, size);
  fuzz::Sandbox::ReleaseTables();
  FUZZ_CHECK(handles::OpenCount() == handlesBefore, "every platform handle the input opened is closed again");
  return result;
}
