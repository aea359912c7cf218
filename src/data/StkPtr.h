// Instrument references: the operations of STKPTR (declared in data/Records.h) and its
// conversions. A reference's category is always derived from the market tables, never taken
// from a caller; building or copying one is the program's most frequent operation: one table
// lookup, no allocation, no search. Nothing here fails: absent instruments get category 255.
#pragma once

#include "data/Records.h"

#include <cstdint>

// The category a reference to (market, index) carries: 255 for index 0xFFFF, for a market not
// below MarketCount and for an empty market slot; otherwise TMarketData::GetCategory (the
// instrument's category, or the market's last category for an index beyond the table).
unsigned char DeriveCategory(unsigned char market, unsigned short index);

// Builds a reference from any record laid out like one: market at byte 0 and the unsigned
// 16-bit instrument index at byte 2 (a STKPTR, a block member...). The record's own category
// byte is ignored. The pointer must not be null.
STKPTR StkPtrFromRecord(const void* record);

// The reference as one 32-bit word (market low byte, category next, index high half), as it
// travels in message parameters; and back (the category of the word is ignored and derived).
std::uint32_t StkPtrToWord(const STKPTR& stk);
STKPTR StkPtrFromWord(std::uint32_t word);

// The subscription key of a reference, and the reference of a key.
STKMS StkPtrToStkms(const STKPTR& stk);
STKPTR StkmsToStkPtr(const STKMS& key);

// True when the reference names no instrument (index 0xFFFF).
inline bool IsNoInstrument(const STKPTR& stk) { return stk.index == kNoInstrument; }
