// Where an instrument's cache files live: "..\data\<market folder>\<sub folder>\<code>.<ext>",
// with the market's code as its folder name. Builds the Windows-form paths that the cache
// readers, the response dispatcher and the chart's reload use, and deletes every cache file of
// one instrument so that the next access asks the server again.
// Market codes and instrument codes come from files and the network: a code that is empty or
// could leave its folder ("..", a slash, a backslash, a colon, a control byte) names no file.
#pragma once

#include "data/MarketData.h"
#include "data/Records.h"

#include <cstdint>
#include <string>

// The data root of every cache file, relative to the program's folder.
constexpr const char* kCacheDataRoot = "..\\";

enum class CacheFile {
  Ticks,          // "%sdata\%s\tick\%s.tik"
  RecentTrades,   // "%sdata\%s\tick\%s.nnt"
  TradeDetails,   // "%sdata\%s\tick\%s.TRD"
  TrendHistory,   // "%sdata\%s\trend\%s.trn"
  Bars1Min,       // "%sdata\%s\min1\%s.m1"
  Bars5Min,       // "%sdata\%s\min\%s.min"
  Bars60Min,      // "%sdata\%s\hour\%s.hr"
  DayBars,        // "%sdata\%s\day\%s.day"
  Weights,        // "%sData\%s\weight\%s.wgt"
  Advice,         // "%sData\%s\advice\%s.adv"
};

// The path of one cache file. Codes are read up to their terminator or the field width of the
// records that hold them (8 bytes of market code, 6 of instrument code are the real maxima; at
// most 31 bytes are looked at). Returns false and clears path when either code is missing,
// empty or unsafe.
bool CacheFilePath(CacheFile kind, const char* marketCode, const char* instrumentCode,
                   std::string& path);
// Same with the market's folder taken from its table; false for a null table.
bool CacheFilePath(CacheFile kind, const TMarketData* table, const char* instrumentCode,
                   std::string& path);

// The bar file of a file kind (1, 4, 7 or 8: one minute, five minutes, sixty minutes, day);
// false for any other kind.
bool BarFilePath(int fileKind, const TMarketData* table, const char* instrumentCode,
                 std::string& path);

// A downloaded trend day: "%sdata\%s\trend\%s%u.trn", the code followed by the day's PackedTime
// (time bits cleared) as an unsigned decimal number.
bool TrendDayFilePath(const TMarketData* table, const char* instrumentCode, std::uint32_t day,
                      std::string& path);

// The folder of a kind of cache file, "..\data\<market>\tick" and so on (no trailing
// backslash), for writers that create it first.
bool CacheFolderPath(CacheFile kind, const TMarketData* table, std::string& path);

// Deletes every cache file of the instrument: .tik, .nnt, .TRD, .trn, .m1, .min, .hr, .day,
// .wgt and .adv. Returns the number of files deleted (missing files are not errors); -1 when
// the instrument is unknown or its code cannot name a file.
int DeleteInstrumentCacheFiles(STKPTR instrument);
int DeleteInstrumentCacheFiles(const TMarketData* table, const char* instrumentCode);

// The instrument's code as a terminated text (the record's 7-byte field may lack a terminator);
// empty for a null record.
std::string InstrumentCode(const InstrumentRecord* record);
