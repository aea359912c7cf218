// The in-memory market tables: one TMarketData per market (at most 48) in MarketTables, with the
// market's description from mkinfo.cfg, its trading categories and sessions, and the parallel
// per-instrument arrays (names, alternative codes, quotes, last trade prices, snapshot extras,
// broker queues). Also the trading-minute arithmetic of a category and every lookup from a
// reference or a code to a record. Filled by the loader (data/DataIO.h) on the login worker,
// then read and updated on the user-interface thread only; there is no lock.
#pragma once

#include "data/Records.h"
#include "data/StkPtr.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kAltCodeMarket = 3;            // the only market with alternative codes
constexpr int kStatusOutOfMemory = 3001;     // TMarketData::status when an array is missing
constexpr int kMaxHourOffset = 23;           // market and zone offsets are clamped to +/-23
constexpr int kMinutesPerDayLimit = 1440;

class TMarketData {
 public:
  // Builds the table of market number `market` (0 when 48 or more) from a copy of `record`,
  // which is validated first (see SanitizeMarketRecord). Allocates every per-instrument array
  // for `capacity` instruments, zeroed; when one of them (other than the alternative codes)
  // cannot be allocated, `status` is 3001 and the table holds no arrays. Sets the clock from
  // the clock word SystemNow plus hourOffset, the minute indexes and each category's trading
  // date (yesterday until the category's day-change minute + 2). Creates the folder ..\data.
  TMarketData(int market, const MarketRecord& record);
  // Writes real.<ext> with `count` quotes (atomically) and frees the arrays. The write is
  // skipped unless quotesLoaded is set and count > 0, so a table whose names or quotes never
  // loaded does not wipe the last known quotes.
  ~TMarketData();
  TMarketData(const TMarketData&) = delete;
  TMarketData& operator=(const TMarketData&) = delete;

  // The category of the instrument at `index`; the market's last category (categoryCount - 1)
  // when the table has no names or the index is not below `count`. Never fails.
  unsigned char GetCategory(int index) const {
    if (names == nullptr || index < 0 || index >= count) return lastCategory_;
    return names[index].category;
  }
  // Position of the first instrument whose code equals `code` without regard to ASCII case;
  // -1 for a null or empty code or no match. Backed by an index built at load time
  // (RebuildCodeIndex); falls back to a linear scan when the index is out of date.
  int FindCode(const char* code) const;

  // Recomputes every category's minuteIndex from minuteOfDay.
  void UpdateMinuteIndexes();
  // Sets `now` from a UTC clock word plus hourOffset (carrying into the next or previous day),
  // then minuteOfDay and the minute indexes. Used at construction and by the push client.
  void UpdateClock(PackedTime utcClockWord);
  // True when minuteOfDay is at least the category's dayChangeMinute + 2. False for a category
  // out of range.
  bool IsCategoryClosed(int category) const;
  // True when `minuteOfDay` is at least the category's dayChangeMinute + 2.
  bool IsPastClose(int category, int minuteOfDay) const;

  // Zeroes the quotes and last trade prices of the category's instruments (markets of kind 2
  // keep `amount`, the open interest) and rewrites real.<ext> with `capacity` records (zero
  // beyond `count`), atomically. Returns 1 when the file was written, 0 otherwise.
  int ClearCategoryQuotes(int category);
  // The same for every category, writing real.<ext> once (a reconnect clears every market).
  int ClearAllQuotes();
  // Zeroes the QuoteExtraRecord of every loaded instrument / of the category's instruments.
  void ClearAllExtras();
  void ClearCategoryExtras(int category);
  // A category's new trading day: ClearCategoryQuotes then ClearCategoryExtras.
  void ClearCategory(int category);

  // Writes real.<ext> with `records` quotes (at most capacity) through an atomic replace.
  // Returns false when the path is refused or the write fails (the old file stays).
  bool WriteQuoteFile(int records) const;

  // Makes the name table trustworthy after it was read or downloaded: clamps `count` into
  // [0, capacity], sets each record's market and index from the table, forces terminators,
  // cuts trailing blanks of code and name, sends a category out of range to the last category,
  // reads a divisor of 0 as 1, and rebuilds the code index. Run by every load path.
  void FinishNameTable();
  // Rebuilds the case-insensitive code index over names[0..count). Call after changing names
  // or count directly (tests that fill tables by hand, a download).
  void RebuildCodeIndex();

  // Windows-form path of one of the market's files: "..\data\<code>\<baseName>.<fileExt>"
  // into `out`. False (out empty) when the market code or the file name is not a safe path
  // component (path characters, "..", control bytes, empty) or the result does not fit.
  bool MarketFilePath(const char* baseName, char* out, std::size_t size) const;
  // "..\data\<code>": false for the same reasons.
  bool MarketFolderPath(char* out, std::size_t size) const;

  // ---- Fields read directly by every subsystem ----
  std::uint8_t market = 0;
  int capacity = 0;
  MarketRecord record{};
  int status = 0;                              // 0, or 3001 when arrays are missing
  int count = 0;                               // instruments loaded, 0..capacity
  PackedTime now = 0;                          // market clock: UTC clock word + hourOffset
  PackedTime tradingDate[kMaxCategories] = {};
  std::uint16_t minuteOfDay = 0;
  std::uint16_t maxMinutesPerDay = 0;
  bool quotesLoaded = false;                   // set by the loader once real.<ext> was read

  InstrumentRecord* names = nullptr;           // capacity records
  InstrumentExtRecord* altCodes = nullptr;     // market number 3 only, else null
  QuoteRecord* quotes = nullptr;
  LastTradePrices* lastTrades = nullptr;
  QuoteExtraRecord* extras = nullptr;
  BrokerQueueRecord* brokerQueues = nullptr;

 private:
  void FreeArrays();
  std::uint8_t lastCategory_ = 0;
  // Open-addressing index: slot -> instrument position + 1 (0 empty). Built for indexedCount_.
  std::vector<std::uint32_t> codeSlots_;
  int indexedCount_ = -1;
};

// Validates a market record read from mkinfo.cfg in place: forces terminators on the texts,
// clamps categoryCount into 1..15, hourOffset into +/-23, sessionCount into 0..4, and drops
// every session that does not open after the previous close and close after its own open
// within the day (with the sessions after it). A category left without sessions has 0
// minutes per day. Fills minutesPerDay of every category.
void SanitizeMarketRecord(MarketRecord* record);

// ---- Global tables ----
// Slot n holds market number n, or null. MarketCount is the number of markets actually loaded;
// every slot below it holds a table.
extern TMarketData* MarketTables[kMaxMarkets];
extern int MarketCount;

// The table of a market number, or null when the number is out of range or the slot empty.
inline TMarketData* GetMarketTable(int market) {
  if (market < 0 || market >= MarketCount || market >= kMaxMarkets) return nullptr;
  return MarketTables[market];
}

// ---- Trading minutes ----
// Sum over the category's sessions of close - open; 0 for a category out of range.
int CategoryMinutesPerDay(const TMarketData* table, int category);
// The trading-minute index of minute of day m: 0 before the first open, the close counts as
// the session's last minute, the first half of a break as the last minute before it, the
// second half as the first minute after it; at most minutesPerDay - 1. 0 when the category
// has no trading minutes or is out of range.
int MinuteOfDayToIndex(const TMarketData* table, int minuteOfDay, int category);
// The minute of day at which trading minute `index` starts (an index at or beyond
// minutesPerDay is read as minutesPerDay - 1). 0 when the category has no trading minutes.
int IndexToMinuteOfDay(const TMarketData* table, int index, int category);

// ---- Lookups (codes compare without regard to ASCII case; the first match wins) ----
// The record of the reference's instrument; null when the market is not below MarketCount,
// the slot is empty or the index is not below the table's count.
InstrumentRecord* GetInstrumentRecord(STKPTR stk);
// The alternative code of the reference's instrument; null for the same reasons or when the
// market has no alternative codes.
InstrumentExtRecord* GetInstrumentExtRecord(STKPTR stk);
// The record of `code` in `table`; null for a null table, an empty code or no match.
InstrumentRecord* FindInstrumentInTable(const char* code, TMarketData* table);
inline InstrumentRecord* FindInstrumentInTable(TMarketData* table, const char* code) {
  return FindInstrumentInTable(code, table);
}
// The record of `code` in market `market`; null when the number is not below MarketCount or
// nothing matches.
InstrumentRecord* FindInstrumentInMarket(const char* code, int market);
// Searches the markets from *market upward; on a match sets *market to the market found and
// returns the record; null (and *market unchanged) when none.
InstrumentRecord* FindInstrumentFromMarket(const char* code, int* market);
// Looks `code` up in the hinted market, then (with searchOthers) in every other market from 0
// upward, setting *marketHint to the market found. On a match *out is the reference built from
// the table's market and position (category derived) and the result is 1; otherwise 0 and
// *out and *marketHint are untouched. 0 for a null code or a hint not below MarketCount.
int FindStkPtrByCode(const char* code, int* marketHint, STKPTR* out, bool searchOthers);
// FindStkPtrByCode, then GetInstrumentRecord of the reference; null when not found.
InstrumentRecord* FindInstrumentByCode(const char* code, int* marketHint, bool searchOthers);
// The first table whose market code equals `code` (ASCII case ignored); null for an empty code
// or no match.
TMarketData* FindMarketByCode(const char* code);
// The next / previous instrument of the reference's market, wrapping from the last to index 0
// and from index 0 to the last. The reference is returned unchanged when its market is not the
// table's or the table is empty (or null).
STKPTR NextInstrument(TMarketData* table, STKPTR stk);
STKPTR PrevInstrument(TMarketData* table, STKPTR stk);
inline STKPTR NextInstrument(STKPTR stk, TMarketData* table) { return NextInstrument(table, stk); }
inline STKPTR PrevInstrument(STKPTR stk, TMarketData* table) { return PrevInstrument(table, stk); }
// With the reference's own market table.
STKPTR NextInstrument(STKPTR stk);
STKPTR PrevInstrument(STKPTR stk);
