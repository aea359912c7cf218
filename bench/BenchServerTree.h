// The install tree the benchmarks that run the quote server serve: one stock market "SH"
// trading 09:30-11:30 and 13:00-15:00 Beijing time, with depth, instruments "600000" onwards.
// Plain files only (no platform calls), so a benchmark of the server alone can use it too.
#pragma once

#include "data/Records.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace benchsupport {

inline void WriteTreeFile(const std::filesystem::path& file, const void* data, std::size_t size) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

// The market record alone (the client's own copy of mkinfo.cfg in some benchmarks).
inline MarketRecord ServerBenchMarket(int capacity) {
  MarketRecord market{};
  market.kind = 1;
  std::strcpy(market.name, "SH");
  std::strcpy(market.code, "SH");
  std::strcpy(market.fileExt, "sh");
  market.hourOffset = 8;
  market.capacity = static_cast<std::uint16_t>(capacity);
  market.categoryCount = 1;
  CategoryRecord& category = market.categories[0];
  category.sessionCount = 2;
  category.openMinute[0] = 9 * 60 + 30;
  category.closeMinute[0] = 11 * 60 + 30;
  category.openMinute[1] = 13 * 60;
  category.closeMinute[1] = 15 * 60;
  category.dayChangeMinute = 9 * 60;
  return market;
}

// `instruments` instruments "600000" onwards in a market of room for `capacity`.
inline void WriteServerTree(const std::filesystem::path& root, int instruments, int capacity = 512) {
  const MarketRecord market = ServerBenchMarket(capacity);
  WriteTreeFile(root / "cfg" / "mkinfo.cfg", &market, sizeof market);
  const std::string zones(24872, '\0');
  WriteTreeFile(root / "cfg" / "systime.dat", zones.data(), zones.size());
  std::vector<InstrumentRecord> names(static_cast<std::size_t>(instruments));
  for (int i = 0; i < instruments; ++i) {
    InstrumentRecord& name = names[static_cast<std::size_t>(i)];
    std::snprintf(name.code, sizeof name.code, "%06u", 600000u + static_cast<unsigned>(i) % 100000u);
    std::snprintf(name.name, sizeof name.name, "BN%05u", static_cast<unsigned>(i) % 100000u);
    name.priceDivisor = 100;
    name.volumeDivisor = 100;
    name.decimals = 2;
    name.index = static_cast<std::uint16_t>(i);
  }
  WriteTreeFile(root / "data" / "SH" / "nametbl.sh", names.data(), names.size() * sizeof(InstrumentRecord));
}

}  // namespace benchsupport
