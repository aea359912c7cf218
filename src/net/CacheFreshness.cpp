// Placeholder until the freshness rules are written.
#include "net/CacheFreshness.h"

int BarFileKindForCycle(int, int) { return 1; }
bool FileLocalTime(const char*, const TMarketData*, PackedTime*) { return false; }
bool IsCurrentTradingDay(const TMarketData*, int, PackedTime) { return false; }
bool CheckCacheFreshness(int, const TMarketData*, int, const char*, std::uint32_t*, std::uint32_t*, bool, PackedTime) {
  return true;
}
void TrimBarFile(const char*, const TMarketData*, int) {}
bool CheckTradeFileRule(TMarketData*, int, const char*, bool, std::uint32_t*) { return true; }
