#include "data/StkPtr.h"

#include "data/MarketData.h"

#include <cstring>

unsigned char DeriveCategory(unsigned char market, unsigned short index) {
  if (index == kNoInstrument) return kNoCategory;
  // References come from page files, alarms and blocks: their market slot may be empty.
  if (market >= MarketCount) return kNoCategory;
  const TMarketData* table = MarketTables[market];
  if (table == nullptr) return kNoCategory;
  return table->GetCategory(index);
}

STKPTR::STKPTR() : market(0xFF), category(kNoCategory), index(kNoInstrument) {}

STKPTR::STKPTR(unsigned char m, unsigned char, unsigned short i)
    : market(m), category(DeriveCategory(m, i)), index(i) {}

STKPTR::STKPTR(const STKPTR& other)
    : market(other.market), category(DeriveCategory(other.market, other.index)), index(other.index) {}

STKPTR& STKPTR::operator=(const STKPTR& other) {
  market = other.market;
  index = other.index;
  category = DeriveCategory(market, index);
  return *this;
}

STKPTR StkPtrFromRecord(const void* record) {
  const auto* bytes = static_cast<const unsigned char*>(record);
  std::uint16_t index;
  std::memcpy(&index, bytes + 2, sizeof index);
  return STKPTR(bytes[0], 0, index);
}

std::uint32_t StkPtrToWord(const STKPTR& stk) {
  return static_cast<std::uint32_t>(stk.market) | (static_cast<std::uint32_t>(stk.category) << 8) |
         (static_cast<std::uint32_t>(stk.index) << 16);
}

STKPTR StkPtrFromWord(std::uint32_t word) {
  return STKPTR(static_cast<unsigned char>(word & 0xFF), 0, static_cast<unsigned short>(word >> 16));
}

STKMS StkPtrToStkms(const STKPTR& stk) { return STKMS{stk.market, stk.index}; }

STKPTR StkmsToStkPtr(const STKMS& key) { return STKPTR(key.market, 0, key.index); }
