// The fixed-layout records shared by the market tables, the files in the data folder and the
// wire: instrument references, market and category descriptions, names, quotes and their extras,
// bars and trades. Every record is packed, little-endian, and its size is checked at compile
// time because files and frames store these bytes as they stand.
#pragma once

#include "core/PackedTime.h"

#include <cstdint>

constexpr int kMaxMarkets = 48;
constexpr int kMaxCategories = 15;
constexpr int kMaxSessions = 4;
constexpr unsigned char kNoCategory = 255;
constexpr unsigned short kNoInstrument = 0xFFFF;

#pragma pack(push, 1)

// Instrument reference, passed by value as one 32-bit word (market in the low byte, category in
// the next, index in the high half). The category is never taken from a caller: every
// construction and copy derives it again from the market tables (TMarketData::GetCategory), so
// a reference copied after a name table was reloaded carries the instrument's new category.
// A reference naming no instrument (index 0xFFFF) gets category 255, and so does one whose
// market slot is empty. Two references name the same instrument when market and index are
// equal; the category is not compared. The operations are defined in data/StkPtr.cpp.
struct STKPTR {
  std::uint8_t market;
  std::uint8_t category;
  std::uint16_t index;

  // No instrument: market 255, category 255, index 0xFFFF (word 0xFFFFFFFF).
  STKPTR();
  // The category argument is ignored and derived again.
  STKPTR(unsigned char market, unsigned char category, unsigned short index);
  STKPTR(const STKPTR& other);
  STKPTR& operator=(const STKPTR& other);

  bool operator==(const STKPTR& other) const {
    return market == other.market && index == other.index;
  }
  bool operator!=(const STKPTR& other) const { return !(*this == other); }
};
static_assert(sizeof(STKPTR) == 4);

// Subscription and request key: market and instrument index, no category. Plain record; lists
// of keys are never sorted.
struct STKMS {
  std::uint8_t market;
  std::uint16_t index;

  bool operator==(const STKMS& other) const {
    return market == other.market && index == other.index;
  }
};
static_assert(sizeof(STKMS) == 3);

// One trading category of a market (inside MarketRecord): its sessions as minutes of day, the
// minute its trading day changes, and two fields the program computes.
struct CategoryRecord {
  std::uint8_t noDepth;               // non-zero: no order book (index-like category)
  char name[9];                       // GBK, zero-terminated (forced at load)
  std::uint8_t sessionCount;          // 1..4 (validated at load)
  std::uint16_t openMinute[kMaxSessions];
  std::uint16_t closeMinute[kMaxSessions];
  std::uint8_t reserved1[65];
  std::uint16_t minuteIndex;          // computed: current trading-minute index
  std::uint16_t minutesPerDay;        // computed: sum of close - open over the sessions
  std::uint8_t reserved2[2];
  std::uint16_t dayChangeMinute;      // the trading day changes at this minute + 2
  std::uint8_t reserved3[2];
};
static_assert(sizeof(CategoryRecord) == 102);

// One market: a record of ..\cfg\mkinfo.cfg.
struct MarketRecord {
  std::uint8_t reserved0;
  std::uint8_t kind;                  // 1, 6 stock-like; 2 futures; 6 broker queues; ...
  char name[15];                      // GBK menu caption, zero-terminated (forced at load)
  char code[9];                       // market code and data folder name (checked at load)
  char fileExt[11];                   // extension of nametbl/nametble/real (checked at load)
  std::int16_t hourOffset;            // hours added to UTC for the market's time (+/-23)
  std::uint16_t capacity;             // most instruments; every per-instrument array's size
  std::uint16_t categoryCount;        // categories in use, 1..15 (clamped at load)
  CategoryRecord categories[kMaxCategories];
  std::uint8_t reserved1[17];
};
static_assert(sizeof(MarketRecord) == 1590);

// One instrument: a record of nametbl.<ext> and of the name table in memory.
struct InstrumentRecord {
  std::uint8_t market;                // set to the table's market at every load
  std::uint8_t category;              // index into the market's categories (checked at load)
  char code[7];                       // zero-terminated, trailing blanks cut at load
  char name[9];                       // GBK, zero-terminated, trailing blanks cut at load
  std::uint32_t priceDivisor;         // shown price = stored / priceDivisor (0 read as 1)
  std::uint32_t volumeDivisor;        // shown volume = stored / volumeDivisor (0 read as 1)
  std::uint8_t decimals;
  std::uint8_t reserved1;
  std::uint16_t index;                // own position in the table, set at every load
  std::uint8_t reserved2[2];
};
static_assert(sizeof(InstrumentRecord) == 32);

// Alternative code of an instrument of market number 3 (record of nametble.<ext>): the code
// outside trading programs know it by. Zero-terminated (forced at load).
struct InstrumentExtRecord {
  char code[7];
};
static_assert(sizeof(InstrumentExtRecord) == 7);

// One level of the order book: stored price and volume.
struct PriceLevel {
  std::uint32_t price;
  float volume;
};
static_assert(sizeof(PriceLevel) == 8);

// The quote of one instrument: a record of real.<ext> and of the quote array.
struct QuoteRecord {
  std::uint32_t prevClose;            // previous close or previous settlement
  std::uint32_t open;
  std::uint32_t high;
  std::uint32_t low;
  std::uint32_t last;                 // 0 before the first trade
  float volume;
  float amount;                       // amount, or open interest in futures markets
  float lastVolume;
  float fastChange;                   // percent
  std::uint32_t updateTime;           // bits 0-5 second, 6-11 minute, 12-16 hour
  PriceLevel bids[5];                 // best first
  PriceLevel asks[5];                 // best first
  std::uint32_t settlement;
};
static_assert(sizeof(QuoteRecord) == 124);

// The stored prices of the five trades before the last one, newest first (memory only).
struct LastTradePrices {
  std::uint32_t price[5];
};
static_assert(sizeof(LastTradePrices) == 20);

// Snapshot extras of one instrument (memory only).
struct QuoteExtraRecord {
  std::uint8_t filled;                // 1 once a snapshot arrived
  std::uint8_t side;                  // 0 long-side values apply, else short-side
  std::uint32_t balancePrice;
  std::uint32_t longStop;
  std::uint32_t longTarget;
  std::uint32_t shortStop;
  std::uint32_t shortCover;
  float refVolume;                    // reference volume, or previous open interest (kinds 2, 7)
};
static_assert(sizeof(QuoteExtraRecord) == 26);

// One entry of a broker queue: a broker number, or a price-level separator.
struct BrokerQueueEntry {
  std::uint8_t isLevel;
  std::uint16_t number;
};
static_assert(sizeof(BrokerQueueEntry) == 3);

// Broker queues of one instrument (memory only; markets of kind 6).
struct BrokerQueueRecord {
  std::uint16_t buyCount;             // at most 40
  std::uint16_t sellCount;            // at most 40
  BrokerQueueEntry buy[40];
  BrokerQueueEntry sell[40];
};
static_assert(sizeof(BrokerQueueRecord) == 244);

// One bar of every bar file and bar series.
struct ChartBar {
  PackedTime time;
  std::uint32_t close;
  std::uint32_t open;
  std::uint32_t high;
  std::uint32_t low;
  float volume;
  float amount;                       // amount, or open interest
  std::uint32_t settlement;
};
static_assert(sizeof(ChartBar) == 32);

// One trade of .tik and .nnt files and of trade series.
struct TradeRecord {
  PackedTime time;
  std::uint32_t price;
  float volume;
  float openInterest;                 // after the trade
  std::uint8_t direction;             // 0 buyer-initiated, 1 seller-initiated, 2 undetermined
  std::uint8_t spare[3];
};
static_assert(sizeof(TradeRecord) == 20);

// One time zone of ..\cfg\systime.dat: an hour offset and a GBK name.
struct ZoneEntry {
  std::int8_t offset;
  char name[32];                      // zero-terminated (forced at load)
};
static_assert(sizeof(ZoneEntry) == 33);

#pragma pack(pop)

// Trade directions of TradeRecord::direction.
constexpr std::uint8_t kTradeBuy = 0;
constexpr std::uint8_t kTradeSell = 1;
constexpr std::uint8_t kTradeUndetermined = 2;
