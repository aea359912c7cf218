// A small market for the cache-file tests: market number 0, folder "SH", one category of
// 09:00-11:30 and 13:00-15:00 (270 minutes, day change at 08:50), hour offset +8, and three
// instruments. The clock is set by the test through `now` and `tradingDate`. Also writes cache
// fixtures and sets their last-write times (UTC).
#pragma once

#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/FakeRequestClient.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/Records.h"
#include "platform/Paths.h"
#include "support/TempInstall.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace cachetest {

// Installs the table as market 0 and removes it again: one category of the shared test sessions,
// capacity 8, file extension "sh".
class TestMarket {
 public:
  explicit TestMarket(int kind = 1, const char* code = "SH") {
    table = markets_.Add(0, markettest::MakeRecord(code, kind, 8, 1, "sh"),
                         {markettest::MakeInstrument("600000"), markettest::MakeInstrument("600001"),
                          markettest::MakeInstrument("IF08")});
  }
  TestMarket(const TestMarket&) = delete;
  TestMarket& operator=(const TestMarket&) = delete;

  // The market clock and the category's trading date.
  void SetClock(PackedTime now, PackedTime tradingDate) {
    table->now = now;
    table->minuteOfDay = static_cast<std::uint16_t>(PackedHour(now) * 60 + PackedMinute(now));
    table->tradingDate[0] = tradingDate;
  }

  TMarketData* table = nullptr;

 private:
  markettest::ScopedMarkets markets_;
};

// A recording request client installed as the process-wide client for this object's lifetime,
// with the recorder's calls and queries at hand.
class RecordingClient {
 private:
  RequestClientOwner owner_;
  FakeRequestClient* client_;

 public:
  RecordingClient() : client_(owner_.Install(std::make_unique<FakeRequestClient>())), calls(client_->calls) {}
  RecordingClient(const RecordingClient&) = delete;
  RecordingClient& operator=(const RecordingClient&) = delete;

  int CountCalls(const std::string& op) const { return client_->CountCalls(op); }
  const FakeRequestClient::Call* LastCall(const std::string& op) const { return client_->LastCall(op); }

  std::vector<FakeRequestClient::Call>& calls;
};

inline std::filesystem::path MarketDir(const testsupport::TempInstall& install, const char* market = "SH") {
  return install.data() / market;
}

using markettest::Bytes;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
inline long long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long yearOfEra = year - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// Sets a file's last-write time to a UTC date and time.
inline void SetWriteTimeUtc(const std::filesystem::path& file, int year, int month, int day, int hour,
                            int minute) {
  const long long seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60;
  const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
  std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::from_sys(when));
  zuvo::platform::paths::InvalidateCache();
}

inline ChartBar Bar(PackedTime time, std::uint32_t close, float volume = 100, float amount = 1000) {
  ChartBar bar{};
  bar.time = time;
  bar.close = close;
  bar.open = close - 1;
  bar.high = close + 5;
  bar.low = close - 5;
  bar.volume = volume;
  bar.amount = amount;
  bar.settlement = close;
  return bar;
}

}  // namespace cachetest
