// The install tree the benchmarks that run the quote server serve: one stock market "SH"
// trading 09:30-11:30 and 13:00-15:00 Beijing time, with depth, instruments "600000" onwards.
// Plain files only (no platform calls), so a benchmark of the server alone can use it too.
#pragma once

#include "data/Records.h"

#include <cstdint>
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

// One frame as a client sends it: the 10-byte header (one frame of one) and the body.
inline std::string ClientFrame(std::uint8_t type, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = '@';
  frame[1] = static_cast<char>(type);
  frame[2] = 1;
  frame[6] = static_cast<char>(body.size() & 0xFF);
  frame[7] = static_cast<char>(body.size() >> 8);
  return frame + body;
}

// The 774-byte subscription body of the first `instruments` instruments of market 0, the first
// `newKeys` of them new.
inline std::string SubscriptionOfFirst(int instruments, int newKeys) {
  std::string body(774, '\0');
  for (int i = 0; i < instruments; ++i) {
    body[static_cast<std::size_t>(i) * 3 + 1] = static_cast<char>(i & 0xFF);
    body[static_cast<std::size_t>(i) * 3 + 2] = static_cast<char>(i >> 8);
  }
  body[768] = static_cast<char>(instruments & 0xFF);
  body[769] = static_cast<char>(instruments >> 8);
  body[770] = static_cast<char>(newKeys & 0xFF);
  body[771] = static_cast<char>(newKeys >> 8);
  body[772] = 1;
  return body;
}

// Counts the quote records of the whole push frames in buffer[0, *held) and moves the
// incomplete rest to the front. A quote record names its instrument at byte 116; the clock
// record leaves it empty.
inline std::uint64_t TakePushRecords(std::string& buffer, std::size_t* held) {
  std::uint64_t records = 0;
  std::size_t at = 0;
  while (*held - at >= 10) {
    const auto* header = reinterpret_cast<const std::uint8_t*>(buffer.data() + at);
    const std::size_t length = header[6] | (header[7] << 8);
    if (*held - at < 10 + length) break;
    for (std::size_t r = 0; r + 128 <= length; r += 128) {
      if (header[10 + r + 116] != 0) ++records;
    }
    at += 10 + length;
  }
  std::memmove(buffer.data(), buffer.data() + at, *held - at);
  *held -= at;
  return records;
}

}  // namespace benchsupport
