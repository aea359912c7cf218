// Internals of the market model shared by its sources: the deterministic random numbers, the
// calendar arithmetic, one generated trading day (DayPath), the per-instrument chain of day
// summaries, and the state behind MarketModel. Not for use outside tools/market-model.
#pragma once

#include "MarketModel.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace zuvo::model::detail {

// ---- Deterministic numbers --------------------------------------------------------------------

constexpr std::uint64_t Mix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Hash of several words, order-sensitive. HashOf({a, b, c}) == HashStep(HashOf({a, b}), c), so a
// prefix that stays the same over many calls can be hashed once.
constexpr std::uint64_t kHashStart = 0x5A17C0DEull;
constexpr std::uint64_t HashStep(std::uint64_t h, std::uint64_t word) { return Mix64(h ^ Mix64(word)); }
inline std::uint64_t HashOf(std::initializer_list<std::uint64_t> words) {
  std::uint64_t h = kHashStart;
  for (std::uint64_t w : words) h = HashStep(h, w);
  return h;
}

// A small generator (splitmix64): the same seed gives the same numbers on every build.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return Mix64(state_);
  }
  // Roughly standard normal: the sum of four uniform 16-bit parts, centred and scaled.
  double Normal() {
    const std::uint64_t u = Next();
    const double sum = static_cast<double>((u & 0xFFFF) + ((u >> 16) & 0xFFFF) + ((u >> 32) & 0xFFFF) + (u >> 48));
    return (sum - 131070.0) / 37837.0;   // 65536 * sqrt(4 / 12)
  }
  // Uniform in [0, n); n > 0.
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

// FNV-1a of a code as the name table holds it (trimmed).
std::uint64_t CodeHash(const char* code);

// ---- Calendar -----------------------------------------------------------------------------------

// Days since 1970-01-01 of a civil date, and back.
std::int64_t DayNumber(int year, int month, int day);
std::int64_t DayNumberOf(PackedTime date);
PackedTime DateOfDayNumber(std::int64_t dayNumber, int minuteOfDay = 0);
// Weekday 0 Sunday .. 6 Saturday of a day number.
int WeekdayOf(std::int64_t dayNumber);

extern const std::int64_t kEpochDay;   // DayNumberOf(kModelEpoch), a Monday
extern const std::int64_t kEndDay;     // DayNumberOf(kModelEnd)

// Trading ordinal (0 = the epoch) of a trading day number; -1 when it does not trade.
std::int64_t OrdinalOfDay(std::int64_t dayNumber);
std::int64_t DayOfOrdinal(std::int64_t ordinal);
// Trading days strictly before dayNumber.
std::int64_t TradingDaysBefore(std::int64_t dayNumber);
// The valid date part of a word, or 0 when the word is not a valid date.
PackedTime CheckedDate(PackedTime time);

// ---- Markets ------------------------------------------------------------------------------------

struct CategoryInfo {
  std::vector<int> minutes;       // trading minutes as minutes of day, in trading order
  // Where each trading minute begins, in seconds from 00:00 (market time) of the trading day's
  // date: minutes before the day change lie on the next calendar day.
  std::vector<std::int32_t> minuteStarts;
  bool startsAscend = true;       // minuteStarts strictly ascending: the trades are in time order
  int dayChange = 0;              // dayChangeMinute + 2
  bool noDepth = false;
};

// The fixed traits of one instrument, derived once from its records.
struct InstrumentInfo {
  int market = 0;
  int index = 0;
  int category = 0;
  std::uint64_t key = 0;          // hash of (seed, market, code)
  bool stockLike = false;         // market kinds 1 and 6: amounts are money
  bool futuresLike = false;       // market kinds 2 and 7: open interest and settlement
  bool hasEvents = false;         // stocks with depth: yearly ex-rights events
  bool brokerQueues = false;      // kind 6 with depth
  double anchor = 0;              // the level the walk reverts to at the epoch (stored units)
  double sigma = 0;               // daily volatility
  double growth = 0;              // yearly drift of the anchor (log terms)
  double priceDivisor = 1;
  std::uint32_t lotSize = 1;      // volume of one lot in stored units
  std::uint32_t lotScale = 1;     // lots per trade scale (indexes trade in large lots)
  double baseOpenInterest = 0;
  double totalShares0 = 0;        // 10 000 shares at the epoch
};

// What a trading day's walk starts from.
struct DayInput {
  PackedTime day = 0;
  std::int64_t ordinal = 0;
  std::uint32_t prevClose = 0;    // the previous day's close (before any ex-rights gap)
  std::uint32_t base = 0;         // the walk's start: prevClose after the ex-rights gap
  std::uint32_t prevSettlement = 0;
  double openInterest = 0;        // before the first trade
  double anchor = 0;
};

// One generated trading day with running aggregates for cutting it at any moment.
struct DayPath {
  DayInput input;
  std::vector<TradeRecord> trades;
  std::vector<std::uint16_t> minute;       // trading-minute index of each trade
  std::vector<std::uint8_t> second;        // second within its minute
  std::vector<std::int32_t> moment;        // minuteStarts of its minute + second
  std::vector<double> cumVolume;           // after each trade
  std::vector<double> cumTurnover;         // shown price x volume, after each trade
  std::vector<double> cumPriceVolume;      // stored price x volume, after each trade
  std::vector<double> cumBuy;
  std::vector<double> cumSell;
  std::vector<std::uint32_t> runHigh;
  std::vector<std::uint32_t> runLow;
  std::vector<PackedTime> minuteStamps;    // stamp of each trading minute index

  std::size_t size() const { return trades.size(); }
  // Settlement (volume-weighted average, stored units) over the first n trades.
  std::uint32_t Settlement(std::size_t n) const;
};

// The summary of one trading day kept in the chain.
struct DaySummary {
  std::uint32_t base = 0;
  std::uint32_t prevClose = 0;
  std::uint32_t open = 0;
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  std::uint32_t close = 0;
  std::uint32_t settlement = 0;   // futures-like: VWAP; else the close
  std::uint32_t prevSettlement = 0;
  double volume = 0;
  double turnover = 0;
  double openInterest = 0;        // at the close
  double anchorFactor = 1;        // product of the ex-rights price ratios so far
  double totalShares = 0;
};

struct InstrumentChain {
  std::vector<DaySummary> days;        // by trading ordinal
  std::vector<WeightRecord> events;    // ex-rights events passed, oldest first
};


// The totals of one generated day.
struct DayTotals {
  bool trades = false;            // false: the category has no trading minutes
  std::uint32_t open = 0;
  std::uint32_t close = 0;
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  double volume = 0;
  double turnover = 0;            // shown price x volume
  double priceVolume = 0;         // stored price x volume
  double openInterest = 0;        // after the last trade, as the trade records hold it
};

// Generates one trading day of an instrument into *out.
void GeneratePath(std::uint32_t seed, const InstrumentInfo& info, const CategoryInfo& category,
                  const DayInput& input, DayPath* out);
// The same day's totals alone, without keeping the trades.
DayTotals GenerateTotals(std::uint32_t seed, const InstrumentInfo& info, const CategoryInfo& category,
                         const DayInput& input);
// The ex-rights event of an instrument in a year, when it falls on `dayNumber`; false otherwise.
bool EventOn(const InstrumentInfo& info, std::int64_t dayNumber);
// The event record for its day given the previous close and the shares before it.
WeightRecord MakeEvent(const InstrumentInfo& info, PackedTime day, std::uint32_t prevClose, double totalSharesBefore);
// The ex-rights reference price of prevClose under the event.
std::uint32_t ExRightsPrice(std::uint32_t prevClose, const WeightRecord& event);

// Copies text into a fixed field, zero-filled and always terminated.
template <std::size_t N>
void SetText(char (&field)[N], const std::string& text) {
  std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  // Never cut a GBK character in half: a lead byte (0x81-0xFE) without its trail is dropped.
  std::size_t i = 0;
  while (i < length) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x81 && c <= 0xFE) {
      if (i + 1 >= length) break;
      i += 2;
    } else {
      ++i;
    }
  }
  length = i < length ? i : length;
  for (std::size_t j = 0; j < N; ++j) field[j] = j < length ? text[j] : '\0';
}

}  // namespace zuvo::model::detail

namespace zuvo::model {

// The state behind MarketModel.
struct MarketModel::Impl {
  using InstrumentInfo = detail::InstrumentInfo;
  using CategoryInfo = detail::CategoryInfo;
  using InstrumentChain = detail::InstrumentChain;
  using DaySummary = detail::DaySummary;
  using DayInput = detail::DayInput;
  using DayPath = detail::DayPath;

  std::uint32_t seed = 0;
  std::vector<ModelMarket> markets;
  std::vector<std::vector<CategoryInfo>> categories;      // [market][category]
  std::vector<std::vector<InstrumentInfo>> instruments;    // [market][index]

  mutable std::mutex mutex;   // guards chains and the path cache
  mutable std::vector<std::vector<InstrumentChain>> chains;
  using PathKey = std::tuple<int, int, std::int64_t>;
  mutable std::list<std::pair<PathKey, std::shared_ptr<const DayPath>>> pathLru;
  mutable std::map<PathKey, decltype(pathLru)::iterator> pathIndex;

  const InstrumentInfo* Info(int market, int index) const;
  const CategoryInfo& Category(const InstrumentInfo& info) const {
    return categories[static_cast<std::size_t>(info.market)][static_cast<std::size_t>(info.category)];
  }
  int HourOffset(int market) const;

  // The summary of trading ordinal k (the chain grown as needed). Caller holds the mutex.
  const DaySummary& SummaryLocked(const InstrumentInfo& info, std::int64_t ordinal) const;
  // The walk's input for trading ordinal k. Caller holds the mutex.
  DayInput InputLocked(const InstrumentInfo& info, std::int64_t ordinal) const;
  // The generated day; cached when cache is true. Null for a day that does not trade.
  std::shared_ptr<const DayPath> Path(const InstrumentInfo& info, PackedTime day, bool cache = true) const;
  // The ex-rights events up to the ordinal (chain grown as needed).
  std::vector<WeightRecord> EventsThrough(const InstrumentInfo& info, std::int64_t ordinal) const;

  // Trades of path p that have happened by market time (stamp, second).
  static std::size_t CutAt(const DayPath& path, PackedTime marketNow, int second);

  // Where one instrument's quote stood at the last call, so that the next call for a later (or
  // earlier) moment of the same trading day steps from there instead of working out the day and
  // searching its trades again. A slot is a pure shortcut: for every moment inside [from, to)
  // the day is `day` and its path is `path`, whatever the slot held before.
  struct QuoteSlot {
    // Taken by one thread at a time (never waited for: a thread that finds it taken computes
    // the quote from scratch).
    std::atomic<bool> busy{false};
    int market = -1;
    int index = -1;
    std::int64_t from = 0;          // UTC seconds: CurrentTradingDay is `day` in [from, to)
    std::int64_t to = 0;
    std::int64_t dayStart = 0;      // UTC seconds of 00:00 market time of `day`'s date
    PackedTime day = 0;
    bool ascending = true;          // the path's moments ascend: the cut can step
    std::uint64_t depthHash = 0;    // HashOf({seed, key, day}): the depth levels' prefix
    std::shared_ptr<const DayPath> path;
    std::size_t count = 0;          // trades happened at the last moment asked
    std::size_t quoteCount = 0;     // the count `quote` was built for, when hasQuote
    bool hasQuote = false;
    QuoteRecord quote{};
  };
  static constexpr std::size_t kQuoteSlots = 1024;   // a power of two
  std::unique_ptr<QuoteSlot[]> quoteSlots = std::make_unique<QuoteSlot[]>(kQuoteSlots);
  static std::size_t SlotOf(int market, int index) {
    return (static_cast<std::size_t>(index) + static_cast<std::size_t>(market) * 397u) & (kQuoteSlots - 1);
  }

  // The quote of path cut after count trades; depthSeed = HashOf({seed, key, day, count}).
  QuoteRecord BuildQuote(const InstrumentInfo& info, const DayPath& path, std::size_t count,
                         std::uint64_t depthSeed) const;
};

}  // namespace zuvo::model
