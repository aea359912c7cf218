// Fixed-layout records of the per-instrument cache files that are not shared with the wire or
// the market tables: the head and minute records of a day's trade details (.TRD), the minute of
// the trend history (.trn), the notes list entry, and the chart cycle codes that pick a bar file.
// TradeRecord (20 bytes) and ChartBar (32 bytes) live in data/Records.h beside the other records.
#pragma once

#include <cstdint>

#pragma pack(push, 1)

// 16 bytes at the start of a .TRD file.
struct TradeDetailsHeader {
  float buyVolume;          // the day's buyer-initiated volume
  float sellVolume;         // the day's seller-initiated volume
  std::uint32_t refPrice;   // stored price given to the minutes before the first trade
  float refAmount;          // cumulative amount or open interest before the first trade
};
static_assert(sizeof(TradeDetailsHeader) == 16);

// 28 bytes, one per trading minute of today from index 0, after the .TRD header.
struct TodayMinuteRecord {
  std::uint32_t price;      // last price of the minute
  float cumVolume;          // cumulative volume at the end of the minute
  float cumAmount;          // cumulative amount, or the open interest, at the end of the minute
  float cumTurnover;        // running sum of price x volume increment (average-price numerator)
  std::uint32_t open;
  std::uint32_t high;
  std::uint32_t low;
};
static_assert(sizeof(TodayMinuteRecord) == 28);

// 12 bytes: one minute of a day in the trend history and in a downloaded trend day.
struct TrendDayMinute {
  std::uint32_t price;
  float volume;             // volume of the minute
  float amount;             // amount of the minute (market kinds 1 and 6), else open interest
};
static_assert(sizeof(TrendDayMinute) == 12);

// 108 bytes: one entry of a notes list "..\data\notes\notes<n>.ls2", made from the server's
// list entry and read by the notes view.
struct NoteRecord {
  std::uint8_t header;        // entry byte 0: two bit fields, bits 0-4 and 5-7
  std::uint8_t flags;         // entry byte 1
  std::uint16_t field2;       // entry bytes 2-3
  std::uint16_t field4;       // entry bytes 4-5
  std::uint16_t one;          // always 1
  char title[80];             // GBK, zero-terminated
  char fileName[16];          // the note's text file in "..\data\notes", zero-terminated
  std::uint32_t stamp;        // the entry's whole stamp: low 20 bits the date digits (month x 100
                              // + day in the last four), high 12 bits the time digits HHMM
};
static_assert(sizeof(NoteRecord) == 108);

#pragma pack(pop)

// Chart periods. The bar files exist for 1 minute, 5 minutes, 60 minutes and days; every other
// cycle is aggregated from one of them.
enum ChartCycle : int {
  kCycleTick = 0,
  kCycle1Min = 1,
  kCycle3Min = 2,
  kCycleNMin = 3,
  kCycle5Min = 4,
  kCycle15Min = 5,
  kCycle30Min = 6,
  kCycle60Min = 7,
  kCycleDay = 8,
  kCycleWeek = 9,
  kCycleMonth = 10,
  kCycleQuarter = 11,
  kCycleNDay = 12,
  kCycle120Min = 13,
  kCycle240Min = 14,
};

// Bar file kinds: the chart cycle code of the file's own period.
constexpr int kBarFile1Min = 1;
constexpr int kBarFile5Min = 4;
constexpr int kBarFile60Min = 7;
constexpr int kBarFileDay = 8;

// The minute bar file that serves bars of this many minutes: the sixty-minute file for
// multiples of 60, else the five-minute file for multiples of 5, else the one-minute file.
// Wide enough for every int and 32-bit unsigned period, whose remainders it keeps exactly.
constexpr int MinuteBarFileFor(std::int64_t minutes) {
  if (minutes % 60 == 0) return kBarFile60Min;
  if (minutes % 5 == 0) return kBarFile5Min;
  return kBarFile1Min;
}
// Minutes per bar of a minute bar file kind: 1, 5 or 60; 0 for the day file and other kinds.
constexpr int BarFileMinutes(int fileKind) {
  switch (fileKind) {
    case kBarFile1Min: return 1;
    case kBarFile5Min: return 5;
    case kBarFile60Min: return 60;
    default: return 0;
  }
}
