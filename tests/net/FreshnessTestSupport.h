// Shared pieces of the request-side tests: the small "SH" cache market of the data tests in a
// temporary install tree, with its market clock set by the test, cache files written with a
// given local write time (market time, hour offset +8), bar and trade records, and the user's
// market rights.
#pragma once

#include "core/PackedTime.h"
#include "data/CacheTestMarket.h"
#include "net/ServerRights.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace freshnesstest {

namespace fs = std::filesystem;
using cachetest::Bar;
using markettest::Bytes;

// Wednesday 2024-03-13 and the days around it (2024-03-09 a Saturday).
constexpr PackedTime Day(int day, int hour = 0, int minute = 0) { return MakePackedTime(2024, 3, day, hour, minute); }
constexpr int kFriday = 8, kSaturday = 9, kMonday = 11, kTuesday = 12, kWednesday = 13, kThursday = 14;

// Sets a file's last-write time to a time given in the market's local time (UTC + 8).
inline void SetLocalWriteTime(const fs::path& file, PackedTime local) {
  const PackedTime utc = AddHoursWithDayCarry(local, -8);
  cachetest::SetWriteTimeUtc(file, PackedYear(utc), PackedMonth(utc), PackedDay(utc), PackedHour(utc),
                             PackedMinute(utc));
}

// Writes a file and gives it a local write time.
inline void WriteFileAt(const fs::path& file, const std::string& bytes, PackedTime local) {
  testsupport::WriteBytes(file, bytes);
  SetLocalWriteTime(file, local);
}

inline fs::file_time_type WriteTimeOf(const fs::path& file) { return fs::last_write_time(file); }

// Bars at the given times, closes counting up from 100.
inline std::string BarBytes(const std::vector<PackedTime>& times) {
  std::vector<ChartBar> bars;
  for (PackedTime time : times) bars.push_back(Bar(time, 100 + static_cast<std::uint32_t>(bars.size())));
  return Bytes(bars);
}
// `count` minute bars of one date from 09:00 on (wrapping at midnight keeps the date).
inline std::vector<PackedTime> MinutesOf(PackedTime date, int count, int firstMinute = 540) {
  std::vector<PackedTime> times;
  for (int i = 0; i < count; ++i) {
    const int minute = (firstMinute + i) % 1440;
    times.push_back(PackedDate(date) | MakePackedTime(0, 0, 0, minute / 60, minute % 60));
  }
  return times;
}

inline std::vector<PackedTime> Concat(std::vector<PackedTime> a, const std::vector<PackedTime>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The tables of the data tests in a temporary install tree: market 0 "SH" (instruments
// 600000, 600001, IF08 of category 0; day change 08:50, so the day turns at 08:52).
class CacheMarket {
 public:
  CacheMarket() { SetClock(Day(kWednesday, 10, 0)); }

  // The market clock; the category's trading date follows it as the loader sets it (the day
  // before until the day has changed), or is given.
  void SetClock(PackedTime now) {
    PackedTime trading = PackedDate(now);
    if (PackedHour(now) * 60 + PackedMinute(now) < 532) PrevDay(&trading);
    market.SetClock(now, trading);
  }
  void SetClock(PackedTime now, PackedTime tradingDate) { market.SetClock(now, tradingDate); }

  fs::path Folder(const char* sub) const { return install.data() / "SH" / sub; }
  // The Windows-form path the program uses for a file under the market's folder.
  static std::string Path(const char* sub, const std::string& name) { return "..\\data\\SH\\" + std::string(sub) + "\\" + name; }

  TMarketData* table() { return market.table; }

  testsupport::TempInstall install;
  cachetest::TestMarket market;
};

// The user's rights: exactly the given (market, category) pairs.
inline void GrantRights(const std::vector<std::pair<int, int>>& rights) {
  std::uint8_t block[128] = {};
  for (const auto& [market, category] : rights) {
    const int bit = market * 16 + category;
    block[2 + bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  }
  zuvo::net::TakeServerRights(block);
}

}  // namespace freshnesstest
