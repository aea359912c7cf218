// Market "SH" of the cache and data-series benchmarks, installed as market 0: one category with
// sessions 09:00-11:30 and 13:00-15:00 (day change 08:50), hour offset +8, room for 4
// instruments, files with the extension "sh". Call inside a BenchInstall (the table creates
// ..\data).
#pragma once

#include "data/MarketData.h"
#include "data/Records.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace benchsupport {

// An instrument of the market; divisors 0 unless given.
inline InstrumentRecord BenchInstrument(const char* code, std::uint32_t priceDivisor = 0,
                                        std::uint32_t volumeDivisor = 0) {
  InstrumentRecord instrument{};
  std::memcpy(instrument.code, code, std::min(std::strlen(code), sizeof instrument.code - 1));
  instrument.priceDivisor = priceDivisor;
  instrument.volumeDivisor = volumeDivisor;
  return instrument;
}

// Builds the table with the instruments (at most 4), finishes its name table and installs it
// as market 0 with MarketCount 1. Returns the table; RemoveShMarket deletes it.
inline TMarketData* InstallShMarket(const std::vector<InstrumentRecord>& instruments) {
  MarketRecord record{};
  record.kind = 1;
  std::strcpy(record.code, "SH");
  std::strcpy(record.fileExt, "sh");
  record.hourOffset = 8;
  record.capacity = 4;
  record.categoryCount = 1;
  record.categories[0].sessionCount = 2;
  record.categories[0].openMinute[0] = 540;
  record.categories[0].closeMinute[0] = 690;
  record.categories[0].openMinute[1] = 780;
  record.categories[0].closeMinute[1] = 900;
  record.categories[0].dayChangeMinute = 530;
  auto* table = new TMarketData(0, record);
  int count = 0;
  for (const InstrumentRecord& instrument : instruments) {
    if (count == table->capacity) break;
    table->names[count++] = instrument;
  }
  table->count = count;
  table->FinishNameTable();
  MarketTables[0] = table;
  MarketCount = 1;
  return table;
}

inline void RemoveShMarket() {
  delete MarketTables[0];
  MarketTables[0] = nullptr;
  MarketCount = 0;
}

}  // namespace benchsupport
