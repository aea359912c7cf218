// Loading the shared data series from the cache files and applying live quotes to them.
#include "data/AgentLoad.h"

#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/BarAggregation.h"
#include "data/BarFiles.h"
#include "data/CacheFiles.h"
#include "data/DataAgent.h"
#include "data/IRequestClient.h"
#include "data/TickCache.h"
#include "data/UtilData.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

AgentLoadCounters AgentCounters;

namespace {

constexpr std::uint32_t kMaxBlockBytes = 0xFFFFFFF0u;
constexpr int kMinutesPerDayMax = 1440;

// What a loader needs of the series' instrument.
struct Instrument {
  TMarketData* table = nullptr;
  InstrumentRecord* name = nullptr;
  QuoteRecord* quote = nullptr;
  int category = 0;
  int marketKind = 0;
  std::uint32_t priceDivisor = 1;
  std::uint32_t volumeDivisor = 1;
};

bool Resolve(const STKPTR& stk, Instrument* out) {
  InstrumentRecord* name = GetInstrumentRecord(stk);
  if (name == nullptr) return false;
  TMarketData* table = MarketTables[stk.market];
  if (table == nullptr || table->quotes == nullptr) return false;
  out->table = table;
  out->name = name;
  out->quote = &table->quotes[stk.index];
  out->category = std::min<int>(name->category, std::max(0, table->record.categoryCount - 1));
  out->marketKind = table->record.kind;
  out->priceDivisor = name->priceDivisor != 0 ? name->priceDivisor : 1;
  out->volumeDivisor = name->volumeDivisor != 0 ? name->volumeDivisor : 1;
  return true;
}

bool IsFuturesKind(int marketKind) { return marketKind == 2 || marketKind == 7; }

// Markets whose quotes may carry a trade without a growing day volume.
bool HasNoVolumeCheck(const Instrument& in) {
  const int kind = in.marketKind;
  if (kind == 3 || kind == 4 || kind == 7) return true;
  return kind == 6 && in.table->record.categories[in.category].noDepth != 0;
}

int Capacity(const CDataAgent& agent) {
  if (agent.records == nullptr || agent.recordSize <= 0) return 0;
  return static_cast<int>(GuardedSize(agent.records) / static_cast<std::uint32_t>(agent.recordSize));
}

// Makes room for `wanted` records, keeping the first `keep`. False (buffer unchanged) when the
// size cannot be allocated.
bool EnsureCapacity(CDataAgent* agent, std::int64_t wanted, int keep) {
  if (wanted <= Capacity(*agent)) return true;
  const std::int64_t bytes = wanted * agent->recordSize;
  if (bytes > kMaxBlockBytes) return false;
  void* grown = GuardedAlloc(static_cast<std::uint32_t>(bytes));
  if (grown == nullptr) return false;
  keep = std::min(keep, Capacity(*agent));
  if (keep > 0 && agent->records != nullptr)
    std::memcpy(grown, agent->records, static_cast<std::size_t>(keep) * agent->recordSize);
  GuardedFree(agent->records);
  agent->records = grown;
  return true;
}

// A live append needs a free record and keeps kAppendReserve spare: grow in memory, doubling.
bool MakeRoomToAppend(CDataAgent* agent, int minimum) {
  const int capacity = Capacity(*agent);
  if (agent->recordCount + kAppendReserve < capacity) return true;
  const std::int64_t wanted =
      std::max<std::int64_t>({std::int64_t{capacity} * 2, minimum,
                              std::int64_t{agent->recordCount} + 2 * kAppendReserve});
  if (EnsureCapacity(agent, wanted, agent->recordCount)) {
    ++AgentCounters.growths;
    return true;
  }
  return agent->recordCount < capacity;   // no growth: append while a record is still free
}

void FreeRecords(CDataAgent* agent) {
  GuardedFree(agent->records);
  agent->records = nullptr;
  agent->recordCount = 0;
}

void ClearTotals(CDataAgent* agent) {
  agent->buyVolume = agent->sellVolume = agent->turnoverSum = agent->volumeSum = 0;
}

std::uint8_t DirectionOf(std::uint32_t flags) {
  if (flags & kQuoteBuyerInitiated) return kTradeBuy;
  if (flags & kQuoteSellerInitiated) return kTradeSell;
  return kTradeUndetermined;
}

void CountDirection(CDataAgent* agent, std::uint8_t direction, float volume) {
  if (direction == kTradeBuy) {
    agent->buyVolume += volume;
  } else if (direction == kTradeSell) {
    agent->sellVolume += volume;
  } else {
    agent->buyVolume += volume / 2;
    agent->sellVolume += volume / 2;
  }
}

// The trades appended live since the last load, which the cache may not hold yet; the series
// is emptied and its counters and day totals cleared for the load.
std::vector<TradeRecord> SetAsideLiveTrades(CDataAgent* agent) {
  std::vector<TradeRecord> tail;
  if (agent->records != nullptr) {
    const int held = std::min<std::int64_t>(agent->period, std::min(agent->recordCount, Capacity(*agent)));
    const auto* records = static_cast<const TradeRecord*>(agent->records);
    tail.assign(records + agent->recordCount - held, records + agent->recordCount);
  }
  agent->recordCount = 0;
  agent->period = 0;
  agent->lastCumVolume = 0;
  ClearTotals(agent);
  return tail;
}

// Reads the trade cache (`recent`: the newest-trades cache) into the series' buffer, made room
// for the cache, the set-aside trades and the headroom (at least the kind's minimum). With
// downloads the series' requestTag asks the server for what is missing. Sets `count` to the
// records read. False, the buffer freed, when memory is short or the reader lost the buffer.
bool ReadTradeCache(CDataAgent* agent, const Instrument& in, int tailCount, bool downloads, bool recent,
                    int* count) {
  const int minimum = recent ? kMinRecentRecords : kMinTickRecords;
  const int cached = recent ? CountRecentFile(in.table, agent->instrument.index)
                            : CountCachedTicks(agent->instrument);
  const auto roomFor = [&](int records) {
    return std::max<std::int64_t>(std::int64_t{records} + tailCount + kTickHeadroom, minimum);
  };
  *count = 0;
  bool read = EnsureCapacity(agent, roomFor(cached), 0);
  if (read) {
    auto* buffer = static_cast<TradeRecord*>(agent->records);
    const std::uint32_t requester = downloads ? agent->requestTag : 0;
    if (recent)
      ReadRecentTradesOrRequest(&buffer, agent->instrument, count, requester);
    else
      ReadTicksOrRequest(&buffer, agent->instrument, count, requester);
    agent->records = buffer;   // the reader replaces a buffer the file outgrew
    read = buffer != nullptr;
  }
  if (read) {
    *count = std::clamp(*count, 0, Capacity(*agent));
    // The file may have grown between counting and reading.
    read = EnsureCapacity(agent, roomFor(*count), *count);
  }
  if (!read) FreeRecords(agent);
  return read;
}

// Zero prices take the price before them (the first one the previous close, or the price
// divisor without one); cumulative counters never step back. The quote's high and low widen
// to the prices read.
void RepairTrades(TradeRecord* records, int count, const Instrument& in) {
  QuoteRecord& quote = *in.quote;
  const bool stockLike = IsStockLikeMarket(in.marketKind);
  for (int i = 0; i < count; ++i) {
    TradeRecord& trade = records[i];
    if (trade.price != 0) {
      if (quote.high != 0 && quote.high < trade.price) quote.high = trade.price;
      if (quote.low != 0 && quote.low > trade.price) quote.low = trade.price;
    } else if (i > 0) {
      trade.price = records[i - 1].price;
    } else {
      trade.price = quote.prevClose != 0 ? quote.prevClose : in.priceDivisor;
    }
    if (i > 0) {
      // A counter that steps back becomes a trade without volume, never a negative one.
      if (trade.volume < records[i - 1].volume) trade.volume = records[i - 1].volume;
      if (stockLike && trade.openInterest < records[i - 1].openInterest)
        trade.openInterest = records[i - 1].openInterest;
    }
  }
}

// Appends, with cumulative volumes, the set-aside trades the cache lacks while the buffer has
// room; each counts as a live trade of the series. Returns the new record count.
int AppendSetAsideTrades(CDataAgent* agent, const Instrument& in, const std::vector<TradeRecord>& tail,
                         int count) {
  auto* records = static_cast<TradeRecord*>(agent->records);
  const QuoteRecord& quote = *in.quote;
  const int tailCount = static_cast<int>(tail.size());
  float cumulative = count > 0 ? records[count - 1].volume : 0;
  if (quote.last != 0 && cumulative < quote.volume && tailCount > 0) {
    // Keep the newest set-aside trades whose volumes still fit below the day volume.
    float sum = cumulative;
    int first = tailCount;
    while (first > 0 && sum + tail[first - 1].volume <= quote.volume) {
      sum += tail[first - 1].volume;
      --first;
    }
    for (int k = first; k < tailCount && count < Capacity(*agent); ++k) {
      TradeRecord trade = tail[k];
      cumulative += trade.volume;
      trade.volume = cumulative;
      records[count++] = trade;
      ++agent->period;
    }
  }
  return count;
}

// Keeps the last cumulative volume for the live appends and turns the cumulative volumes into
// per-trade volumes.
void ToPerTradeVolumes(CDataAgent* agent, int count) {
  auto* records = static_cast<TradeRecord*>(agent->records);
  agent->lastCumVolume = count > 0 ? records[count - 1].volume : 0;
  for (int i = count - 1; i > 0; --i) {
    const float step = records[i].volume - records[i - 1].volume;
    records[i].volume = step > 0 ? step : 0;
  }
}

// The day totals of a tick series: buy and sell volume (undetermined trades half to each) and,
// outside stock-like markets once the day has volume, the turnover and volume sums.
void CountTickTotals(CDataAgent* agent, const Instrument& in) {
  const auto* records = static_cast<const TradeRecord*>(agent->records);
  const int count = agent->recordCount;
  float neutral = 0;
  for (int i = 0; i < count; ++i) {
    const TradeRecord& trade = records[i];
    if (trade.direction == kTradeBuy)
      agent->buyVolume += trade.volume;
    else if (trade.direction == kTradeSell)
      agent->sellVolume += trade.volume;
    else
      neutral += trade.volume;
  }
  if (!IsStockLikeMarket(in.marketKind) && in.quote->volume > 0) {
    for (int i = 0; i < count; ++i) {
      agent->turnoverSum += static_cast<float>(records[i].price) * records[i].volume;
      agent->volumeSum += records[i].volume;
    }
  }
  agent->buyVolume += neutral / 2;
  agent->sellVolume += neutral / 2;
}

// Kinds 1 and 2 share the load; `recent` picks the newest-trades cache, its minimum buffer and
// leaves the day totals at 0.
bool LoadTrades(int series, bool downloads, bool recent) {
  CDataAgent* agent = GetAgent(series);
  if (agent == nullptr) return false;
  ++AgentCounters.cacheLoads;
  agent->recordSize = sizeof(TradeRecord);
  const std::vector<TradeRecord> tail = SetAsideLiveTrades(agent);

  Instrument in;
  int count = 0;
  const bool loaded = Resolve(agent->instrument, &in) &&
                      ReadTradeCache(agent, in, static_cast<int>(tail.size()), downloads, recent, &count);
  if (loaded) {
    RepairTrades(static_cast<TradeRecord*>(agent->records), count, in);
    count = AppendSetAsideTrades(agent, in, tail, count);
    ToPerTradeVolumes(agent, count);
    agent->recordCount = count;
    if (!recent) CountTickTotals(agent, in);
  }
  return loaded;
}

void AppendTrade(int series, const QuoteRecord& quote, std::uint32_t flags, bool recent) {
  CDataAgent* agent = GetAgent(series);
  if (agent == nullptr || !agent->InUse() || (flags & kQuoteNewTrade) == 0) return;
  Instrument in;
  if (!Resolve(agent->instrument, &in)) return;
  const int count = agent->recordCount;
  // The series' last cumulative volume, not the last trade's own volume: a repeated quote
  // must not add the same trade twice.
  if (count > 0 && agent->lastCumVolume >= quote.volume && !HasNoVolumeCheck(in)) return;
  agent->recordSize = sizeof(TradeRecord);
  if (!MakeRoomToAppend(agent, recent ? kMinRecentRecords : kMinTickRecords)) return;

  auto* records = static_cast<TradeRecord*>(agent->records);
  TradeRecord trade{};
  trade.time = in.table->now;
  trade.price = quote.last;
  trade.volume = quote.lastVolume;
  trade.openInterest = quote.amount;
  trade.direction = DirectionOf(flags);
  if (in.marketKind == 2 && count > 0) {
    // Open interest moved by more than the trade: trades were missed, ask for them again.
    const float change = std::fabs(quote.amount - records[count - 1].openInterest);
    if (change > quote.lastVolume) {
      trade.volume = change;
      if (IRequestClient* client = RequestClient()) {
        if (recent)
          client->RequestRecentTicks(agent->instrument.market, agent->instrument.index,
                                     kRecentTradesRequested, agent->requestTag);
        else
          client->RequestTicks(agent->instrument.market, agent->instrument.index, agent->requestTag);
      }
    }
  }
  if (!recent && count > 0 && trade.volume > 0) {
    if (!IsStockLikeMarket(in.marketKind)) {
      agent->turnoverSum += static_cast<float>(trade.price) * trade.volume;
      agent->volumeSum += trade.volume;
    }
    CountDirection(agent, trade.direction, trade.volume);
  }
  records[count] = trade;
  agent->recordCount = count + 1;
  ++agent->period;
  agent->lastCumVolume = quote.volume;
  MakeRoomToAppend(agent, 0);
}

// Reads TodayMinOnly of [UI] in the user's defui.ini through the profile cache.
bool ReadTodayMinOnly() {
  const std::string path = UserFilePath("defui.ini");
  return GetPrivateProfileIntA("UI", "TodayMinOnly", 0, path.c_str()) != 0;
}

// The chart cycle and multiplier a bar series reads; false for kinds without bars.
bool BarCycleOf(int kind, std::uint32_t period, int* cycle, int* multiplier) {
  *multiplier = 1;
  switch (kind) {
    case kAgentMinuteBars:
      switch (period) {
        case 240: *cycle = kCycle240Min; return true;
        case 120: *cycle = kCycle120Min; return true;
        case 60: *cycle = kCycle60Min; return true;
        case 30: *cycle = kCycle30Min; return true;
        case 15: *cycle = kCycle15Min; return true;
        case 5: *cycle = kCycle5Min; return true;
        case 3: *cycle = kCycle3Min; return true;
        case 1: *cycle = kCycle1Min; return true;
        default:
          *cycle = kCycleNMin;
          *multiplier = static_cast<int>(std::min<std::uint32_t>(period, 0x7FFFFFFF));
          return true;
      }
    case kAgentDayBars:
      if (period == 1) {
        *cycle = kCycleDay;
      } else {
        *cycle = kCycleNDay;
        *multiplier = static_cast<int>(std::min<std::uint32_t>(period, 0x7FFFFFFF));
      }
      return true;
    case kAgentWeekBars: *cycle = kCycleWeek; return true;
    case kAgentMonthBars: *cycle = kCycleMonth; return true;
    case kAgentQuarterBars: *cycle = kCycleQuarter; return true;
    default: return false;
  }
}

bool IsDayBasedCycle(int cycle) { return cycle >= kCycleDay && cycle <= kCycleNDay; }

PackedTime WithTimeOfDay(PackedTime date, int minuteOfDay) {
  if (minuteOfDay >= kMinutesPerDayMax) {
    NextDay(&date);
    minuteOfDay -= kMinutesPerDayMax;
  }
  return PackedDate(date) | static_cast<PackedTime>((minuteOfDay / 60) << 6) |
         static_cast<PackedTime>(minuteOfDay % 60);
}

// Hour 24 and later belong to the next day.
PackedTime NormalizeMinuteBarTime(PackedTime time) {
  const int hour = PackedHour(time);
  if (hour < 24) return time;
  PackedTime date = PackedDate(time);
  NextDay(&date);
  return date | static_cast<PackedTime>((hour - 24) << 6) | static_cast<PackedTime>(PackedMinute(time));
}

// One run of CDataAgent::LoadBars: the series, what it reads and the bars built so far.
struct BarLoad {
  CDataAgent* agent = nullptr;
  int cycle = 0;
  int multiplier = 1;
  Instrument in;
  ChartBar* bars = nullptr;      // the series' bar buffer
  int capacity = 0;              // bars it holds
  bool dayBased = false;
  // The intraday cycles under 60 minutes, which TodayMinOnly leaves without history.
  bool todayOnlyApplies = false;
  // The date of today's bar: the market's date, or the weekday before it on a weekend and while
  // the category's trading day is still the day before.
  PackedTime today = 0;
  int history = 0;               // history bars at the front of `bars`
  int added = 0;                 // today's bars behind them
};

// The bar buffer (MaxDataRecords bars) and todayBars. The bar limit can change at run time: a
// buffer of another size is made again, and its history read again (readHistory set). False,
// both freed and no history held, when memory is short.
bool MakeBarBuffers(CDataAgent* agent, bool* readHistory) {
  if (agent->records != nullptr && agent->barLimit != MaxDataRecords) {
    GuardedFree(agent->records);
    agent->records = nullptr;
  }
  if (agent->records == nullptr) {
    agent->records = GuardedAlloc(static_cast<std::uint32_t>(MaxDataRecords) * sizeof(ChartBar));
    agent->barLimit = MaxDataRecords;
    agent->historyCount = 0;
    *readHistory = true;
  }
  if (agent->todayBars == nullptr)
    agent->todayBars = static_cast<ChartBar*>(GuardedAlloc(kTodayBarCapacity * sizeof(ChartBar)));
  if (agent->records != nullptr && agent->todayBars != nullptr) return true;
  GuardedFree(agent->records);
  GuardedFree(agent->todayBars);
  agent->records = nullptr;
  agent->todayBars = nullptr;
  agent->historyCount = 0;
  return false;
}

// The series' instrument, its buffer and the day today's bar falls on. False, no history held,
// for an instrument that is not loaded.
bool StartBarLoad(BarLoad* load) {
  CDataAgent* agent = load->agent;
  if (!Resolve(agent->instrument, &load->in)) {
    agent->historyCount = 0;
    return false;
  }
  load->capacity = Capacity(*agent);
  load->bars = static_cast<ChartBar*>(agent->records);
  load->dayBased = IsDayBasedCycle(load->cycle);

  const TMarketData* table = load->in.table;
  load->today = PackedDate(table->now);
  const int weekday = GetWeekday(table->now);
  if (weekday == 0 || weekday == 6 || load->today != PackedDate(table->tradingDate[load->in.category]))
    PrevWeekday(&load->today);

  const int cycle = load->cycle;
  load->todayOnlyApplies = cycle == kCycle1Min || cycle == kCycle3Min || cycle == kCycle5Min ||
                           cycle == kCycle15Min || cycle == kCycle30Min ||
                           (cycle == kCycleNMin && load->multiplier < 60);
  return true;
}

// The history at the front of the buffer: none while TodayMinOnly applies (read again with
// readHistory), read again from the bar files with readHistory, else the one read before.
// Leaves load->history at the history bars held.
void ReadBarHistory(BarLoad* load, bool readHistory, int requestFlag) {
  CDataAgent* agent = load->agent;
  const Instrument& in = load->in;
  ChartBar* bars = load->bars;
  if (readHistory) agent->todayMinOnly = load->todayOnlyApplies && ReadTodayMinOnly() ? 1 : 0;
  if (load->todayOnlyApplies && agent->todayMinOnly) {
    agent->historyComplete = 1;
    agent->historyCount = 0;
    agent->historyLastVolume = agent->historyLastAmount = 0;
  } else if (readHistory) {
    ++AgentCounters.cacheLoads;
    agent->historyCount = 0;
    int count = 0;
    bool complete = true;
    ChartBar* output = bars;
    const std::string code = InstrumentCode(in.name);
    ReadBarsByCycle(&output, agent->instrument.market, code.c_str(), &count, load->cycle, load->multiplier,
                    MaxDataRecords, requestFlag, agent->requestTag, &complete);
    count = std::clamp(count, 0, load->capacity);
    agent->historyComplete = complete ? 1 : 0;
    if (in.volumeDivisor != 1) {
      for (int i = 0; i < count; ++i) {
        bars[i].volume /= static_cast<float>(in.volumeDivisor);
        if (IsFuturesKind(in.marketKind)) bars[i].amount /= static_cast<float>(in.volumeDivisor);
      }
    }
    agent->historyLastVolume = count > 0 ? bars[count - 1].volume : 0;
    agent->historyLastAmount = count > 0 ? bars[count - 1].amount : 0;
    agent->historyCount = count;
    // A day file written after the close already holds today's bar: the week, month or N-day
    // bar built on it counts today, and merging the quote again would count it twice.
    agent->historyHoldsToday =
        load->dayBased && count > 0 && PackedDate(bars[count - 1].time) >= load->today ? 1 : 0;
  }
  if (!load->dayBased || (load->todayOnlyApplies && agent->todayMinOnly)) agent->historyHoldsToday = 0;
  load->history = std::clamp(agent->historyCount, 0, load->capacity);
}

// Intraday cycles: today's minutes of the base series as bars of the cycle, behind the history.
void AppendTodayMinuteBars(BarLoad* load, const CDataAgent& base) {
  CDataAgent* agent = load->agent;
  ChartBar* bars = load->bars;
  const int capacity = load->capacity;
  const int minutes = BuildTodayMinuteBars(agent->instrument, static_cast<const TodayMinuteRecord*>(base.records),
                                           base.recordCount, agent->todayBars);
  int built = 0;
  AggregateMinuteBars(load->cycle, load->multiplier, agent->todayBars, minutes, agent->todayBars, &built,
                      load->in.marketKind);
  built = std::min(built, capacity);
  // Oldest history gives way when today's bars do not fit behind it.
  if (load->history + built > capacity) {
    const int drop = load->history + built - capacity;
    std::memmove(static_cast<void*>(bars), bars + drop, sizeof(ChartBar) * (load->history - drop));
    load->history -= drop;
  }
  std::memcpy(static_cast<void*>(bars + load->history), agent->todayBars, sizeof(ChartBar) * built);
  load->added = built;
  // Today's minutes count in the quote's units; the history was brought to the divided ones.
  if (load->in.volumeDivisor != 1) {
    const float divisor = static_cast<float>(load->in.volumeDivisor);
    for (int i = load->history; i < load->history + built; ++i) {
      bars[i].volume /= divisor;
      if (IsFuturesKind(load->in.marketKind)) bars[i].amount /= divisor;
    }
  }
}

// Day-based cycles: today's quote merged into the last history bar when that bar's period
// (week, month, quarter, an unfinished N-day group) holds today, else appended as a bar of its
// own.
void MergeTodayQuote(BarLoad* load) {
  CDataAgent* agent = load->agent;
  ChartBar* bars = load->bars;
  const int cycle = load->cycle;
  const bool futures = IsFuturesKind(load->in.marketKind);
  QuoteRecord quote = *load->in.quote;
  if (quote.open == 0) quote.open = quote.last;
  if (quote.high == 0) quote.high = quote.last;
  if (quote.low == 0) quote.low = quote.last;
  const float divisor = static_cast<float>(load->in.volumeDivisor);
  bool merge = false;
  if (cycle != kCycleDay && load->history > 0) {
    const PackedTime last = bars[load->history - 1].time;
    if (cycle == kCycleWeek) merge = IsSameWeek(last, load->today);
    else if (cycle == kCycleMonth) merge = IsSameMonth(last, load->today);
    else if (cycle == kCycleQuarter) merge = IsSameQuarter(last, load->today);
    else if (cycle == kCycleNDay) merge = agent->historyComplete == 0;
  }
  if (merge) {
    // Always from the history bar as read, so a rebuild does not count today twice.
    ChartBar& bar = bars[load->history - 1];
    bar.time = load->today;
    bar.high = std::max(bar.high, quote.high);
    if (bar.low == 0 || quote.low < bar.low) bar.low = quote.low;
    bar.close = quote.last;
    bar.volume = quote.volume / divisor + agent->historyLastVolume;
    bar.amount = futures ? quote.amount / divisor : quote.amount + agent->historyLastAmount;
  } else {
    if (load->history >= load->capacity) {
      std::memmove(static_cast<void*>(bars), bars + 1, sizeof(ChartBar) * (load->history - 1));
      --load->history;
    }
    ChartBar& bar = bars[load->history];
    bar = ChartBar{};
    bar.time = load->today;
    bar.open = quote.open;
    bar.high = quote.high;
    bar.low = quote.low;
    bar.close = quote.last;
    bar.volume = quote.volume / divisor;
    bar.amount = futures ? quote.amount / divisor : quote.amount;
    load->added = 1;
  }
}

// Today behind the history, when the base minute series holds today's minutes, the category
// trades today, the history does not hold today already and does not end after it: the
// minutes as bars for intraday cycles, the quote for day-based ones once it has a price.
void AppendToday(BarLoad* load) {
  const CDataAgent* agent = load->agent;
  const CDataAgent* base = agent->baseIndex >= 0 ? GetAgent(agent->baseIndex) : nullptr;
  const bool baseHoldsMinutes = base != nullptr && base->InUse() && base->kind == kAgentMinutes &&
                                base->records != nullptr && base->recordCount > 0;
  if (!baseHoldsMinutes || !IsTradingDayToday(load->in.table, load->in.category) ||
      agent->historyHoldsToday != 0 ||
      (load->history != 0 && load->today < load->bars[load->history - 1].time)) {
    return;
  }
  if (!load->dayBased)
    AppendTodayMinuteBars(load, *base);
  else if (load->in.quote->last != 0)
    MergeTodayQuote(load);
}

// Times must rise. A history read now is checked whole; a rebuild only from its last history
// bar on, as the bars before it were checked when they were read. A bar whose time does not
// rise is dropped; when the last history bar goes, the bar before it stands for the history.
// Sets the series' history and record counts.
void KeepRisingTimes(BarLoad* load, bool readHistory) {
  CDataAgent* agent = load->agent;
  ChartBar* bars = load->bars;
  int history = load->history;
  const int total = history + load->added;
  const int from = readHistory ? 0 : std::max(0, history - 1);
  for (int i = from; i < total; ++i)
    bars[i].time = load->dayBased ? PackedDate(bars[i].time) : NormalizeMinuteBarTime(bars[i].time);
  int kept = std::max(from, 1);
  int removedHistory = 0;
  bool lastHistoryRemoved = false;
  ChartBar beforeRun{};
  for (int i = kept; i < total; ++i) {
    if (bars[i].time > bars[kept - 1].time) {
      if (i != kept) bars[kept] = bars[i];
      ++kept;
      continue;
    }
    if (i < history) ++removedHistory;
    if (i == history - 1) {
      lastHistoryRemoved = true;
      beforeRun = bars[kept - 1];
    }
  }
  if (total == 0) kept = 0;
  history -= removedHistory;
  if (lastHistoryRemoved) {
    agent->historyComplete = 1;
    agent->historyLastVolume = beforeRun.volume;
    agent->historyLastAmount = beforeRun.amount;
  }
  agent->historyCount = history;
  agent->recordCount = std::min(kept, total);
}

}  // namespace

bool IsTradingDayToday(const TMarketData* table, int category) {
  if (table == nullptr || category < 0 || category >= kMaxCategories) return false;
  const int weekday = GetWeekday(table->now);
  if (weekday == 0 || weekday == 6) return false;
  return PackedDate(table->now) == PackedDate(table->tradingDate[category]);
}

int TodayMinuteLimit(const TMarketData* table, int category) {
  if (table == nullptr || category < 0 || category >= kMaxCategories) return 0;
  const CategoryRecord& record = table->record.categories[category];
  const int perDay = record.minutesPerDay;
  const int sessions = std::min<int>(record.sessionCount, kMaxSessions);
  if (!IsTradingDayToday(table, category) || sessions == 0) return perDay;
  if (table->minuteOfDay < record.openMinute[0]) return 0;
  if (table->minuteOfDay >= record.closeMinute[sessions - 1]) return perDay;
  return std::min(record.minuteIndex + 1, perDay);
}

int BuildTodayMinuteBars(STKPTR instrument, const TodayMinuteRecord* records, int count,
                         ChartBar* bars) {
  if (records == nullptr || bars == nullptr || count <= 0) return 0;
  Instrument in;
  if (!Resolve(instrument, &in)) return 0;
  const TMarketData* table = in.table;
  const CategoryRecord& category = table->record.categories[in.category];
  int barCount = category.minutesPerDay;
  if (IsTradingDayToday(table, in.category)) barCount = category.minuteIndex + 1;
  barCount = std::clamp(barCount, 0, std::min<int>(category.minutesPerDay, kTodayBarCapacity));
  if (barCount == 0) return 0;
  std::memset(static_cast<void*>(bars), 0, sizeof(ChartBar) * barCount);

  const auto fromRecord = [](ChartBar& bar, const TodayMinuteRecord& record) {
    bar.open = record.open;
    bar.high = record.high;
    bar.low = record.low;
    bar.close = record.price;
    bar.volume = record.cumVolume;
    bar.amount = record.cumAmount;
  };
  fromRecord(bars[0], records[0]);
  // The second record (the first minute) joins the opening record in the first bar.
  if (count > 1) {
    const TodayMinuteRecord& first = records[1];
    bars[0].close = first.price;
    bars[0].volume = first.cumVolume;
    bars[0].amount = first.cumAmount;
    bars[0].high = std::max(bars[0].high, first.high);
    if (first.low != 0 && (bars[0].low == 0 || first.low < bars[0].low)) bars[0].low = first.low;
  }
  int filled = 1;
  for (int k = 2; k < count && k - 1 < barCount; ++k) {
    fromRecord(bars[k - 1], records[k]);
    filled = k;
  }
  for (int i = filled; i < barCount; ++i) {
    const ChartBar& previous = bars[i - 1];
    bars[i].open = bars[i].high = bars[i].low = bars[i].close = previous.close;
    bars[i].volume = previous.volume;
    bars[i].amount = previous.amount;
  }

  PackedTime date = PackedDate(table->now);
  if (date != PackedDate(table->tradingDate[in.category])) PrevDay(&date);
  StepBackToWeekday(&date);
  for (int i = 0; i < barCount; ++i)
    bars[i].time = WithTimeOfDay(date, IndexToMinuteOfDay(table, i, in.category) + 1);

  const bool stockLike = IsStockLikeMarket(in.marketKind);
  for (int i = barCount - 1; i > 0; --i) {
    const float volume = bars[i].volume - bars[i - 1].volume;
    bars[i].volume = volume > 0 ? volume : 0;
    if (stockLike) bars[i].amount -= bars[i - 1].amount;
  }
  return barCount;
}

bool CDataAgent::LoadTicks(int series, bool downloads) { return LoadTrades(series, downloads, false); }

bool CDataAgent::LoadRecentTrades(int series, bool downloads) { return LoadTrades(series, downloads, true); }

bool CDataAgent::LoadMinutes(int series, bool downloads) {
  CDataAgent* agent = GetAgent(series);
  if (agent == nullptr) return false;
  ++AgentCounters.cacheLoads;
  agent->recordSize = sizeof(TodayMinuteRecord);
  agent->recordCount = 0;
  ClearTotals(agent);
  Instrument in;
  if (!Resolve(agent->instrument, &in)) return false;

  const int perDay = in.table->record.categories[in.category].minutesPerDay;
  // A whole day and the append reserve: the live update never runs out of room.
  const std::int64_t wanted = std::max(kMinMinuteRecords, perDay + 1) + kAppendReserve + 1;
  if (!EnsureCapacity(agent, wanted, 0)) {
    FreeRecords(agent);
    return false;
  }
  auto* buffer = static_cast<TodayMinuteRecord*>(agent->records);
  int count = 0;
  float buyVolume = 0;
  float sellVolume = 0;
  std::uint32_t headPrice = 0;
  float headAmount = 0;
  ReadTradeDetailsOrRequest(&buffer, agent->instrument, &count, &buyVolume, &sellVolume, &headPrice,
                            &headAmount, downloads ? agent->requestTag : 0);
  agent->records = buffer;
  if (buffer == nullptr) return false;
  agent->buyVolume = buyVolume;
  agent->sellVolume = sellVolume;
  count = std::clamp(count, 0, Capacity(*agent));
  count = std::min(count, TodayMinuteLimit(in.table, in.category) + 1);
  if (!EnsureCapacity(agent, wanted, count)) {
    FreeRecords(agent);
    return false;
  }

  auto* records = static_cast<TodayMinuteRecord*>(agent->records);
  QuoteRecord& quote = *in.quote;
  for (int i = 0; i < count; ++i) {
    TodayMinuteRecord& minute = records[i];
    if (quote.high != 0 && minute.high != 0 && minute.high > quote.high) quote.high = minute.high;
    if (quote.low != 0 && minute.low != 0 && minute.low < quote.low) quote.low = minute.low;
    const std::uint32_t previousPrice = i > 0 ? records[i - 1].price : headPrice;
    if (minute.price == 0) {
      // A minute without trades carries the minute before it. The cumulative amount is carried
      // in every market: a zero would make the minute's amount negative and the next one huge.
      minute.price = previousPrice;
      minute.open = minute.high = minute.low = previousPrice;
      minute.cumVolume = i > 0 ? records[i - 1].cumVolume : 0;
      if (i > 0)
        minute.cumAmount = records[i - 1].cumAmount;
      else
        minute.cumAmount = IsStockLikeMarket(in.marketKind) ? 0 : headAmount;
      minute.cumTurnover = i > 0 ? records[i - 1].cumTurnover : 0;
    }
    if (minute.open == 0) minute.open = previousPrice;
    if (minute.low == 0) minute.low = std::min(minute.open, minute.price);
  }
  agent->recordCount = count;
  if (!IsStockLikeMarket(in.marketKind) && quote.volume > 0 && count > 0) {
    agent->turnoverSum = records[count - 1].cumTurnover;
    agent->volumeSum = records[count - 1].cumVolume;
  }
  return true;
}

bool CDataAgent::LoadBars(int series, bool readHistory, int requestFlag) {
  CDataAgent* agent = GetAgent(series);
  if (agent == nullptr || !IsBarAgentKind(agent->kind)) return false;
  agent->recordCount = 0;
  agent->recordSize = sizeof(ChartBar);
  BarLoad load;
  load.agent = agent;
  const bool loaded = BarCycleOf(agent->kind, agent->period, &load.cycle, &load.multiplier) &&
                      MakeBarBuffers(agent, &readHistory) && StartBarLoad(&load);
  if (loaded) {
    ReadBarHistory(&load, readHistory, requestFlag);
    AppendToday(&load);
    KeepRisingTimes(&load, readHistory);
  }
  return loaded;
}

void CDataAgent::AppendTick(int series, const QuoteRecord& quote, std::uint32_t flags) {
  AppendTrade(series, quote, flags, false);
}

void CDataAgent::AppendRecentTrade(int series, const QuoteRecord& quote, std::uint32_t flags) {
  AppendTrade(series, quote, flags, true);
}

void CDataAgent::UpdateMinute(int series, const QuoteRecord& quote, std::uint32_t flags) {
  CDataAgent* agent = GetAgent(series);
  if (agent == nullptr || !agent->InUse() || (flags & kQuoteNewTrade) == 0) return;
  Instrument in;
  if (!Resolve(agent->instrument, &in)) return;
  agent->recordSize = sizeof(TodayMinuteRecord);
  int count = agent->records != nullptr ? agent->recordCount : 0;
  if (count > 0 && static_cast<const TodayMinuteRecord*>(agent->records)[count - 1].cumVolume >= quote.volume &&
      !HasNoVolumeCheck(in))
    return;
  const int m = TodayMinuteLimit(in.table, in.category);
  if (count > m + 1) return;
  if (m + 1 + kAppendReserve >= Capacity(*agent)) {
    if (!EnsureCapacity(agent, std::max(kMinMinuteRecords, m + 1) + kAppendReserve + 1, count)) return;
    ++AgentCounters.growths;
  }

  auto* records = static_cast<TodayMinuteRecord*>(agent->records);
  const float shownPrice = static_cast<float>(quote.last) / static_cast<float>(in.priceDivisor);
  const bool stockLike = IsStockLikeMarket(in.marketKind);
  float change = 0;
  if (count == m + 1) {
    TodayMinuteRecord& minute = records[m];
    const float previousAmount = minute.cumAmount;
    minute.price = quote.last;
    minute.cumTurnover += shownPrice * (quote.volume - minute.cumVolume);
    minute.cumVolume = quote.volume;
    minute.cumAmount = quote.amount;
    if (minute.high < quote.last) minute.high = quote.last;
    if (minute.low == 0 || minute.low > quote.last) minute.low = quote.last;
    change = quote.amount - previousAmount;
  } else {
    // Minutes without trades up to the current one carry the minute before them.
    for (int i = count; i < m; ++i) {
      TodayMinuteRecord& minute = records[i];
      minute = TodayMinuteRecord{};
      if (i > 0) {
        const TodayMinuteRecord& previous = records[i - 1];
        minute.price = previous.price;
        minute.cumVolume = previous.cumVolume;
        minute.cumTurnover = previous.cumTurnover;
        minute.cumAmount = previous.cumAmount;
      } else {
        minute.price = quote.prevClose != 0 ? quote.prevClose : in.priceDivisor;
        const QuoteExtraRecord* extra =
            in.table->extras != nullptr ? &in.table->extras[agent->instrument.index] : nullptr;
        if (!stockLike && extra != nullptr && extra->filled) minute.cumAmount = extra->refVolume;
      }
      minute.open = minute.high = minute.low = minute.price;
    }
    const TodayMinuteRecord* previous = m > 0 ? &records[m - 1] : nullptr;
    TodayMinuteRecord& minute = records[m];
    minute = TodayMinuteRecord{};
    minute.price = minute.open = minute.high = minute.low = quote.last;
    minute.cumVolume = quote.volume;
    minute.cumAmount = quote.amount;
    const float previousVolume = previous != nullptr ? previous->cumVolume : 0;
    minute.cumTurnover = (previous != nullptr ? previous->cumTurnover : 0) +
                         shownPrice * (quote.volume - previousVolume);
    change = previous != nullptr ? quote.amount - previous->cumAmount : 0;
    agent->recordCount = m + 1;
  }

  IRequestClient* client = RequestClient();
  if (in.marketKind == 2 && m > 0 && std::fabs(change) > quote.lastVolume && client != nullptr)
    client->RequestTradeDetails(agent->instrument.market, agent->instrument.index, agent->requestTag);
  if (quote.lastVolume > 0) {
    if (!stockLike) {
      // The loaded sum is in shown prices (the minutes' turnover): keep adding shown prices.
      agent->turnoverSum += quote.lastVolume * shownPrice;
      agent->volumeSum += quote.lastVolume;
    }
    CountDirection(agent, DirectionOf(flags), quote.lastVolume);
  }
}
