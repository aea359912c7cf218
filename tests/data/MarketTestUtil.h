// Small market tables built by hand for the data tests: a record with sessions 09:00-11:30 and
// 13:00-15:00, instruments by code and category, a scope that installs tables in MarketTables
// and removes them again, and the bytes of records for writing market files.
#pragma once

#include "data/MarketData.h"
#include "data/Records.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace markettest {

inline MarketRecord MakeRecord(const char* code, int kind = 1, int capacity = 16, int categories = 2,
                               const char* fileExt = "tst") {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::strncpy(record.name, "Test", sizeof record.name - 1);
  std::strncpy(record.code, code, sizeof record.code - 1);
  std::strncpy(record.fileExt, fileExt, sizeof record.fileExt - 1);
  record.hourOffset = 8;
  record.capacity = static_cast<std::uint16_t>(capacity);
  record.categoryCount = static_cast<std::uint16_t>(categories);
  for (int c = 0; c < categories && c < kMaxCategories; ++c) {
    CategoryRecord& category = record.categories[c];
    category.sessionCount = 2;
    category.openMinute[0] = 540;
    category.closeMinute[0] = 690;
    category.openMinute[1] = 780;
    category.closeMinute[1] = 900;
    category.dayChangeMinute = 530;
  }
  return record;
}

inline InstrumentRecord MakeInstrument(const char* code, int category = 0, const char* name = "") {
  InstrumentRecord record{};
  std::memcpy(record.code, code, std::min(std::strlen(code), sizeof record.code));
  std::memcpy(record.name, name, std::min(std::strlen(name), sizeof record.name));
  record.category = static_cast<std::uint8_t>(category);
  record.priceDivisor = 100;
  record.volumeDivisor = 1;
  return record;
}

// The bytes of records as they stand in a file.
inline std::string Bytes(const void* data, std::size_t size) {
  return std::string(static_cast<const char*>(data), size);
}
template <typename Record>
std::string Bytes(const std::vector<Record>& records) {
  return Bytes(records.data(), records.size() * sizeof(Record));
}
template <typename Record>
std::string Bytes(const Record& record) {
  return Bytes(&record, sizeof record);
}

// Owns the tables it installs; empties every slot and MarketCount when it goes away.
class ScopedMarkets {
 public:
  ScopedMarkets() { Clear(); }
  ~ScopedMarkets() { Clear(); }
  ScopedMarkets(const ScopedMarkets&) = delete;
  ScopedMarkets& operator=(const ScopedMarkets&) = delete;

  // Builds market `number` from the record and the instruments and installs it; MarketCount
  // grows to cover it. A table whose arrays could not be allocated is installed without names.
  TMarketData* Add(int number, const MarketRecord& record, const std::vector<InstrumentRecord>& names) {
    auto* table = new TMarketData(number, record);
    const int n = table->names ? std::min<int>(static_cast<int>(names.size()), table->capacity) : 0;
    for (int i = 0; i < n; ++i) table->names[i] = names[static_cast<std::size_t>(i)];
    table->count = n;
    table->FinishNameTable();
    delete MarketTables[number];
    MarketTables[number] = table;
    MarketCount = std::max(MarketCount, number + 1);
    return table;
  }

  static void Clear() {
    for (TMarketData*& table : MarketTables) {
      delete table;
      table = nullptr;
    }
    MarketCount = 0;
  }
};

}  // namespace markettest
