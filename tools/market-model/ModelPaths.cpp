// The walk of one trading day and the ex-rights events: the only place prices are invented.
// Everything else in the model aggregates what GeneratePath produces.
#include "ModelInternal.h"

#include <algorithm>
#include <cmath>

namespace zuvo::model::detail {

namespace {

constexpr double kLimit = 0.10;          // a day's prices stay within +-10% of its base
constexpr double kMaxDayMove = 0.085;    // the day's target close stays inside the limits
constexpr double kReversion = 0.03;      // daily pull towards the anchor (in log terms)
constexpr double kPathPull = 0.08;       // per-trade pull towards the day's line

std::uint32_t RoundPrice(double price, std::uint32_t low, std::uint32_t high) {
  const double rounded = std::floor(price + 0.5);
  if (rounded <= low) return low;
  if (rounded >= high) return high;
  return static_cast<std::uint32_t>(rounded);
}

}  // namespace

std::uint32_t DayPath::Settlement(std::size_t n) const {
  if (n == 0 || n > trades.size() || cumVolume[n - 1] <= 0) return n == 0 ? 0 : trades[n - 1].price;
  return static_cast<std::uint32_t>(std::floor(cumPriceVolume[n - 1] / cumVolume[n - 1] + 0.5));
}

namespace {

// The walk itself. With Full the trades and their running aggregates go into *out; without,
// only the day's totals are kept (all the chain of day summaries needs), with the same numbers.
template <bool Full>
void Walk(std::uint32_t seed, const InstrumentInfo& info, const CategoryInfo& category, const DayInput& input,
          DayPath* out, DayTotals* totals) {
  *totals = DayTotals{};
  totals->openInterest = input.openInterest;
  if constexpr (Full) {
    out->input = input;
    out->trades.clear();
    out->minute.clear();
    out->second.clear();
    out->moment.clear();
    out->cumVolume.clear();
    out->cumTurnover.clear();
    out->cumPriceVolume.clear();
    out->cumBuy.clear();
    out->cumSell.clear();
    out->runHigh.clear();
    out->runLow.clear();
    out->minuteStamps.clear();
  }
  const std::size_t minutesPerDay = category.minutes.size();
  if (minutesPerDay == 0 || input.base == 0) return;

  if constexpr (Full) {
    // Stamps: minutes before the day change belong to the next calendar day.
    const std::int64_t dayNumber = DayNumberOf(input.day);
    out->minuteStamps.reserve(minutesPerDay);
    for (int m : category.minutes) {
      out->minuteStamps.push_back(DateOfDayNumber(dayNumber + (m < category.dayChange ? 1 : 0), m));
    }
    const std::size_t expected = minutesPerDay * 2 + 2;
    out->trades.reserve(expected);
    out->minute.reserve(expected);
    out->second.reserve(expected);
    out->moment.reserve(expected);
    out->cumVolume.reserve(expected);
    out->cumTurnover.reserve(expected);
    out->cumPriceVolume.reserve(expected);
    out->cumBuy.reserve(expected);
    out->cumSell.reserve(expected);
    out->runHigh.reserve(expected);
    out->runLow.reserve(expected);
  }

  Rng rng(HashOf({seed, info.key, input.day}));
  const double base = input.base;
  const std::uint32_t limitLow = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::ceil(base * (1 - kLimit))));
  const std::uint32_t limitHigh = std::max<std::uint32_t>(input.base + 1, static_cast<std::uint32_t>(std::floor(base * (1 + kLimit))));

  const double anchor = input.anchor > 0 ? input.anchor : base;
  double move = -kReversion * std::log(base / anchor) + info.sigma * rng.Normal();
  move = std::clamp(move, -kMaxDayMove, kMaxDayMove);
  const double target = base * std::exp(move);
  const std::uint32_t open = RoundPrice(base * (1 + 0.25 * info.sigma * rng.Normal()), limitLow, limitHigh);
  const double tradeSigma = base * info.sigma / std::sqrt(static_cast<double>(minutesPerDay) * 2.0) * 1.4;

  double level = open;
  double openInterest = input.openInterest;
  double volumeSum = 0, turnoverSum = 0, priceVolumeSum = 0, buySum = 0, sellSum = 0;
  std::uint32_t high = open, low = open, previous = input.base;
  for (std::size_t j = 0; j < minutesPerDay; ++j) {
    const double line = open + (target - open) * static_cast<double>(j + 1) / static_cast<double>(minutesPerDay);
    const std::uint32_t count = 1 + rng.Below(3) + (j == 0 ? 1 : 0);
    for (std::uint32_t t = 0; t < count; ++t) {
      const std::uint64_t u = rng.Next();
      const bool opening = j == 0 && t == 0;
      std::uint32_t price = open;
      if (!opening) {
        level += kPathPull * (line - level) + tradeSigma * rng.Normal();
        level = std::clamp(level, static_cast<double>(limitLow), static_cast<double>(limitHigh));
        price = RoundPrice(level, limitLow, limitHigh);
      }
      // Lots: mostly small, now and then a large order; the opening auction is larger.
      std::uint32_t lots = 1 + static_cast<std::uint32_t>(((u & 0xFFFF) * ((u >> 16) & 0xFFFF)) >> 26);
      if (opening) lots *= 4;
      const double volume = static_cast<double>(lots) * info.lotScale * info.lotSize;
      std::uint8_t direction;
      if (price > previous) {
        direction = kTradeBuy;
      } else if (price < previous) {
        direction = kTradeSell;
      } else {
        direction = ((u >> 40) & 0xF) == 0 ? kTradeUndetermined : static_cast<std::uint8_t>((u >> 44) & 1);
      }
      if (info.futuresLike) {
        const std::uint64_t span = static_cast<std::uint64_t>(volume);
        const double change = static_cast<double>((u >> 45) % (2 * span + 1)) - static_cast<double>(span);
        openInterest = std::max(0.0, openInterest + change + std::floor(0.002 * (info.baseOpenInterest - openInterest)));
      }
      previous = price;
      high = std::max(high, price);
      low = std::min(low, price);
      volumeSum += volume;
      turnoverSum += volume * (price / info.priceDivisor);
      priceVolumeSum += volume * price;
      if (direction == kTradeBuy) buySum += volume;
      if (direction == kTradeSell) sellSum += volume;

      if constexpr (Full) {
        TradeRecord trade{};
        trade.time = out->minuteStamps[j];
        trade.price = price;
        trade.volume = static_cast<float>(volume);
        trade.openInterest = info.futuresLike ? static_cast<float>(openInterest) : 0.0f;
        trade.direction = direction;
        out->trades.push_back(trade);
        out->minute.push_back(static_cast<std::uint16_t>(j));
        const std::uint8_t second = static_cast<std::uint8_t>(opening ? 0 : (t + 1) * 59 / (count + 1));
        out->second.push_back(second);
        out->moment.push_back(category.minuteStarts[j] + second);
        out->cumVolume.push_back(volumeSum);
        out->cumTurnover.push_back(turnoverSum);
        out->cumPriceVolume.push_back(priceVolumeSum);
        out->cumBuy.push_back(buySum);
        out->cumSell.push_back(sellSum);
        out->runHigh.push_back(high);
        out->runLow.push_back(low);
      }
    }
  }
  totals->trades = true;
  totals->open = open;
  totals->close = previous;
  totals->high = high;
  totals->low = low;
  totals->volume = volumeSum;
  totals->turnover = turnoverSum;
  totals->priceVolume = priceVolumeSum;
  totals->openInterest = info.futuresLike ? static_cast<double>(static_cast<float>(openInterest)) : 0.0;
}

}  // namespace

void GeneratePath(std::uint32_t seed, const InstrumentInfo& info, const CategoryInfo& category,
                  const DayInput& input, DayPath* out) {
  DayTotals totals;
  Walk<true>(seed, info, category, input, out, &totals);
}

DayTotals GenerateTotals(std::uint32_t seed, const InstrumentInfo& info, const CategoryInfo& category,
                         const DayInput& input) {
  DayTotals totals;
  Walk<false>(seed, info, category, input, nullptr, &totals);
  return totals;
}

bool EventOn(const InstrumentInfo& info, std::int64_t dayNumber) {
  if (!info.hasEvents || dayNumber <= kEpochDay) return false;
  const PackedTime date = DateOfDayNumber(dayNumber);
  const std::uint64_t h = HashOf({info.key, 0xE7E47u, static_cast<std::uint64_t>(PackedYear(date))});
  const int month = 5 + static_cast<int>(h % 4);
  std::int64_t eventDay = DayNumber(PackedYear(date), month, 1 + static_cast<int>((h >> 8) % 28));
  while (WeekdayOf(eventDay) == 0 || WeekdayOf(eventDay) == 6) ++eventDay;
  return eventDay == dayNumber;
}

WeightRecord MakeEvent(const InstrumentInfo& info, PackedTime day, std::uint32_t prevClose, double totalSharesBefore) {
  Rng rng(HashOf({info.key, 0xD1F1Du, day}));
  static constexpr std::uint32_t kBonus[] = {0, 0, 0, 0, 10000, 20000, 30000};
  static constexpr std::uint32_t kConversion[] = {0, 0, 0, 0, 10000};
  WeightRecord event{};
  event.date = PackedDate(day);
  event.bonusShares = kBonus[rng.Below(7)];
  event.conversionShares = kConversion[rng.Below(5)];
  if (rng.Below(5) == 0) {
    event.rightsShares = 15000;
    event.rightsPrice = std::max<std::uint32_t>(1, prevClose * 3 / 4);
  }
  // Cash: 0.5% to 3% of the price, per 10 shares.
  event.cashDividend = static_cast<std::uint32_t>(std::floor(prevClose * 10.0 * (0.005 + 0.001 * rng.Below(26)) + 0.5));
  const double added = (event.bonusShares + event.conversionShares + event.rightsShares) / 100000.0;
  const double total = std::floor(totalSharesBefore * (1 + added) + 0.5);
  event.totalShares = static_cast<std::uint32_t>(total);
  event.tradableShares = static_cast<std::uint32_t>(std::floor(total * (60 + rng.Below(41)) / 100.0));
  return event;
}

std::uint32_t ExRightsPrice(std::uint32_t prevClose, const WeightRecord& event) {
  const double numerator = prevClose * 10.0 - event.cashDividend + event.rightsPrice * (event.rightsShares / 10000.0);
  const double denominator = 10.0 + (event.bonusShares + event.conversionShares + event.rightsShares) / 10000.0;
  const double price = std::floor(numerator / denominator + 0.5);
  return price < 1 ? 1 : static_cast<std::uint32_t>(price);
}

}  // namespace zuvo::model::detail
