#include "SampleHistory.h"

#include "SampleMarket.h"
#include "data/CacheRecords.h"
#include "data/Records.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

// The newest sample trading day: Friday 2024-06-28. Everything is derived from it, so every
// run writes the same bytes.
constexpr int kLastYear = 2024;
constexpr int kLastMonth = 6;
constexpr int kLastDay = 28;

constexpr int kDayBars = 320;        // about fifteen months of day bars
constexpr int kHourDays = 40;
constexpr int kFiveMinuteDays = 12;
constexpr int kOneMinuteDays = 4;
constexpr int kTrendDays = 6;
constexpr int kTicks = 240;          // trades of the newest day

struct Date {
  int year;
  int month;
  int day;
};

long long DaysFromCivil(Date d) {
  const int y = d.year - (d.month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yearOfEra = y - era * 400;
  const long long dayOfYear = (153 * (d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

Date CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long dayOfEra = z - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

PackedTime Pack(Date d, int minuteOfDay = 0) {
  return (static_cast<PackedTime>(d.year) << 20) | (static_cast<PackedTime>(d.month) << 16) |
         (static_cast<PackedTime>(d.day) << 11) | (static_cast<PackedTime>(minuteOfDay / 60) << 6) |
         static_cast<PackedTime>(minuteOfDay % 60);
}

// The newest `count` weekdays up to the last sample day, oldest first.
std::vector<Date> TradingDays(int count) {
  std::vector<Date> days;
  for (long long z = DaysFromCivil({kLastYear, kLastMonth, kLastDay}); static_cast<int>(days.size()) < count; --z) {
    const long long weekday = ((z % 7) + 7 + 4) % 7;   // 1970-01-01 was a Thursday
    if (weekday != 0 && weekday != 6) days.push_back(CivilFromDays(z));
  }
  std::reverse(days.begin(), days.end());
  return days;
}

// Deterministic pseudo-random numbers per instrument.
class Walk {
 public:
  explicit Walk(const char* code) {
    for (const char* p = code; *p; ++p) state_ = state_ * 131 + static_cast<unsigned char>(*p);
  }
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  // A price moved by at most `permille` per mille from `price`, never below 1.
  std::uint32_t Step(std::uint32_t price, int permille) {
    const long long range = std::max<long long>(1, static_cast<long long>(price) * permille / 1000);
    const long long move = static_cast<long long>(Next() % (2 * range + 1)) - range;
    return static_cast<std::uint32_t>(std::max<long long>(1, static_cast<long long>(price) + move));
  }

 private:
  std::uint32_t state_ = 2166136261u;
};

// Trading minutes of a category, each as its minute of day, in trading order.
std::vector<int> TradingMinutes(const SampleCategory& category) {
  std::vector<int> minutes;
  for (const SampleSession& session : category.sessions)
    for (int m = session.open; m < session.close; ++m) minutes.push_back(m);
  return minutes;
}

bool StockLike(const SampleMarket& market) { return market.kind == 1 || market.kind == 6; }

// One bar built from `steps` walk steps starting at price, ending at time.
ChartBar MakeBar(Walk& walk, std::uint32_t* price, PackedTime time, int steps, int permille,
                 const SampleMarket& market, float* openInterest) {
  ChartBar bar{};
  bar.time = time;
  bar.open = *price;
  bar.high = bar.low = *price;
  for (int i = 0; i < steps; ++i) {
    *price = walk.Step(*price, permille);
    bar.high = std::max(bar.high, *price);
    bar.low = std::min(bar.low, *price);
  }
  bar.close = *price;
  bar.volume = static_cast<float>(100 + walk.Next() % 5000) * static_cast<float>(steps);
  if (StockLike(market)) {
    bar.amount = bar.volume * static_cast<float>(bar.close);
  } else {
    *openInterest = std::max(1000.0f, *openInterest + static_cast<float>(static_cast<int>(walk.Next() % 201) - 100));
    bar.amount = *openInterest;
    bar.settlement = (bar.open + bar.close) / 2;
  }
  return bar;
}

bool WriteFile(const std::filesystem::path& file, const void* data, std::size_t bytes) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
  return static_cast<bool>(out);
}

template <typename Record>
bool WriteRecords(const std::filesystem::path& file, const std::vector<Record>& records) {
  return WriteFile(file, records.data(), records.size() * sizeof(Record));
}

// Intraday bars of `period` trading minutes over the given days; each bar is stamped with the
// minute its period ends.
std::vector<ChartBar> IntradayBars(const SampleMarket& market, const SampleInstrument& instrument,
                                   const std::vector<Date>& days, int period, int salt) {
  const std::vector<int> minutes = TradingMinutes(market.categories[instrument.category]);
  Walk walk(instrument.code);
  for (int i = 0; i < salt; ++i) walk.Next();
  std::uint32_t price = instrument.prevClose;
  float openInterest = 50000;
  std::vector<ChartBar> bars;
  for (const Date& day : days) {
    for (std::size_t start = 0; start < minutes.size(); start += period) {
      const std::size_t last = std::min(minutes.size(), start + period) - 1;
      const int steps = static_cast<int>(last - start + 1);
      bars.push_back(MakeBar(walk, &price, Pack(day, minutes[last] + 1), steps, 2, market, &openInterest));
    }
  }
  return bars;
}

bool WriteInstrumentHistory(const std::filesystem::path& folder, const SampleMarket& market,
                            const SampleInstrument& instrument) {
  const std::string code = instrument.code;
  // Day bars.
  {
    Walk walk(instrument.code);
    std::uint32_t price = instrument.prevClose;
    float openInterest = 50000;
    std::vector<ChartBar> bars;
    for (const Date& day : TradingDays(kDayBars))
      bars.push_back(MakeBar(walk, &price, Pack(day), 4, 8, market, &openInterest));
    if (!WriteRecords(folder / "day" / (code + ".day"), bars)) return false;
  }
  if (!WriteRecords(folder / "hour" / (code + ".hr"), IntradayBars(market, instrument, TradingDays(kHourDays), 60, 1)))
    return false;
  if (!WriteRecords(folder / "min" / (code + ".min"),
                    IntradayBars(market, instrument, TradingDays(kFiveMinuteDays), 5, 2)))
    return false;
  if (!WriteRecords(folder / "min1" / (code + ".m1"),
                    IntradayBars(market, instrument, TradingDays(kOneMinuteDays), 1, 3)))
    return false;

  // Trend history: a head of minutesPerDay + 1 slots and one block per day.
  {
    const std::vector<int> minutes = TradingMinutes(market.categories[instrument.category]);
    const std::uint32_t slots = static_cast<std::uint32_t>(minutes.size()) + 1;
    Walk walk(instrument.code);
    std::uint32_t price = instrument.prevClose;
    float openInterest = 50000;
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &slots, 4);
    for (const Date& day : TradingDays(kTrendDays)) {
      const PackedTime date = Pack(day);
      const auto* dateBytes = reinterpret_cast<const std::uint8_t*>(&date);
      bytes.insert(bytes.end(), dateBytes, dateBytes + 4);
      for (std::uint32_t i = 0; i < slots; ++i) {
        price = walk.Step(price, 2);
        TrendDayMinute minute{};
        minute.price = price;
        minute.volume = static_cast<float>(100 + walk.Next() % 3000);
        openInterest = std::max(1000.0f, openInterest + static_cast<float>(static_cast<int>(walk.Next() % 41) - 20));
        minute.amount = StockLike(market) ? minute.volume * static_cast<float>(price) : openInterest;
        const auto* minuteBytes = reinterpret_cast<const std::uint8_t*>(&minute);
        bytes.insert(bytes.end(), minuteBytes, minuteBytes + sizeof minute);
      }
    }
    if (!WriteFile(folder / "trend" / (code + ".trn"), bytes.data(), bytes.size())) return false;
  }

  // The newest day's trades, spread over its trading minutes.
  {
    const std::vector<int> minutes = TradingMinutes(market.categories[instrument.category]);
    const Date day = TradingDays(1).front();
    Walk walk(instrument.code);
    std::uint32_t price = instrument.prevClose;
    float openInterest = 50000;
    std::vector<TradeRecord> trades;
    for (int i = 0; i < kTicks && !minutes.empty(); ++i) {
      const std::uint32_t previous = price;
      price = walk.Step(price, 1);
      TradeRecord trade{};
      trade.time = Pack(day, minutes[static_cast<std::size_t>(i) * minutes.size() / kTicks]);
      trade.price = price;
      trade.volume = static_cast<float>(1 + walk.Next() % 200);
      openInterest += static_cast<float>(static_cast<int>(walk.Next() % 21) - 10);
      trade.openInterest = StockLike(market) ? 0.0f : openInterest;
      trade.direction = price > previous ? kTradeBuy : (price < previous ? kTradeSell : kTradeUndetermined);
      trades.push_back(trade);
    }
    if (!WriteRecords(folder / "tick" / (code + ".tik"), trades)) return false;
  }
  return true;
}

}  // namespace

bool WriteSampleHistory(const std::filesystem::path& root) {
  for (const SampleMarket& market : SampleMarkets()) {
    const std::filesystem::path folder = root / "data" / market.code;
    for (const SampleInstrument& instrument : market.instruments) {
      if (!WriteInstrumentHistory(folder, market, instrument)) return false;
    }
  }
  return true;
}
