#include "MarketModel.h"

#include "ModelInternal.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zuvo::model {

using namespace detail;

namespace detail {

std::uint64_t CodeHash(const char* code) {
  std::uint64_t h = 1469598103934665603ull;
  for (const char* p = code; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
  return h;
}

std::int64_t DayNumber(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear - 719468;
}

std::int64_t DayNumberOf(PackedTime date) { return DayNumber(PackedYear(date), PackedMonth(date), PackedDay(date)); }

PackedTime DateOfDayNumber(std::int64_t z, int minuteOfDay) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return MakePackedTime(year, month, day, minuteOfDay / 60, minuteOfDay % 60);
}

int WeekdayOf(std::int64_t dayNumber) { return static_cast<int>(((dayNumber % 7) + 7 + 4) % 7); }

const std::int64_t kEpochDay = DayNumberOf(kModelEpoch);
const std::int64_t kEndDay = DayNumberOf(kModelEnd);

std::int64_t OrdinalOfDay(std::int64_t dayNumber) {
  if (dayNumber < kEpochDay || dayNumber > kEndDay) return -1;
  const std::int64_t d = dayNumber - kEpochDay;   // the epoch is a Monday
  if (d % 7 >= 5) return -1;
  return d / 7 * 5 + d % 7;
}

std::int64_t DayOfOrdinal(std::int64_t ordinal) { return kEpochDay + ordinal / 5 * 7 + ordinal % 5; }

std::int64_t TradingDaysBefore(std::int64_t dayNumber) {
  if (dayNumber <= kEpochDay) return 0;
  const std::int64_t d = std::min(dayNumber, kEndDay + 1) - kEpochDay;
  return d / 7 * 5 + std::min<std::int64_t>(d % 7, 5);
}

PackedTime CheckedDate(PackedTime time) {
  const PackedTime date = PackedDate(time);
  return IsValidPackedTime(date) ? date : 0;
}

}  // namespace detail

// ---- Time conversion ----------------------------------------------------------------------------

std::int64_t UnixFromPacked(PackedTime time) {
  if (!IsValidPackedTime(time)) return -1;
  return DayNumberOf(time) * 86400 + PackedHour(time) * 3600 + PackedMinute(time) * 60;
}

PackedTime PackedFromUnix(std::int64_t seconds) {
  const std::int64_t day = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const std::int64_t rest = seconds - day * 86400;
  if (day < DayNumber(0, 1, 1) || day > DayNumber(4095, 12, 31)) return 0;
  return DateOfDayNumber(day, static_cast<int>(rest / 60));
}

// ---- Construction ---------------------------------------------------------------------------------

namespace {

constexpr double kIndexSigma = 0.012;
constexpr double kStockSigma = 0.02;
constexpr double kFuturesSigma = 0.015;

// Trailing blanks and the bytes after the terminator removed.
template <std::size_t N>
void TrimField(char (&field)[N]) {
  field[N - 1] = '\0';
  std::size_t length = std::strlen(field);
  while (length > 0 && field[length - 1] == ' ') --length;
  for (std::size_t i = length; i < N; ++i) field[i] = '\0';
}

void SanitizeMarket(MarketRecord* record) {
  record->name[sizeof record->name - 1] = '\0';
  record->code[sizeof record->code - 1] = '\0';
  record->fileExt[sizeof record->fileExt - 1] = '\0';
  if (record->categoryCount < 1) record->categoryCount = 1;
  if (record->categoryCount > kMaxCategories) record->categoryCount = kMaxCategories;
  for (CategoryRecord& category : record->categories) {
    category.name[sizeof category.name - 1] = '\0';
    if (category.sessionCount > kMaxSessions) category.sessionCount = kMaxSessions;
  }
}

CategoryInfo MakeCategory(const CategoryRecord& record) {
  CategoryInfo info;
  int previousClose = 0;
  for (int s = 0; s < record.sessionCount; ++s) {
    const int open = record.openMinute[s];
    const int close = record.closeMinute[s];
    // Sessions must be ordered, non-empty and inside the day; a bad one is skipped.
    if (open < previousClose || close <= open || close > 1440) continue;
    for (int m = open; m < close; ++m) info.minutes.push_back(m);
    previousClose = close;
  }
  info.dayChange = record.dayChangeMinute + 2;
  info.noDepth = record.noDepth != 0;
  for (const int m : info.minutes) {
    const std::int32_t start = m * 60 + (m < info.dayChange ? 86400 : 0);
    if (!info.minuteStarts.empty() && start <= info.minuteStarts.back()) info.startsAscend = false;
    info.minuteStarts.push_back(start);
  }
  return info;
}

// A level between low and high, log-uniform, from h.
double LevelBetween(std::uint64_t h, double low, double high) {
  const double u = static_cast<double>(h % 1000003) / 1000003.0;
  return low * std::exp(u * std::log(high / low));
}

InstrumentInfo MakeInstrument(std::uint32_t seed, const ModelMarket& market, int marketNumber,
                              const std::vector<CategoryInfo>& categories, int index) {
  const InstrumentRecord& record = market.instruments[static_cast<std::size_t>(index)];
  InstrumentInfo info;
  info.market = marketNumber;
  info.index = index;
  info.category = record.category;
  info.key = HashOf({seed, static_cast<std::uint64_t>(marketNumber), CodeHash(record.code)});
  const int kind = market.record.kind;
  const bool noDepth = categories[record.category].noDepth;
  info.stockLike = kind == 1 || kind == 6;
  info.futuresLike = kind == 2 || kind == 7;
  info.hasEvents = info.stockLike && !noDepth;
  info.brokerQueues = kind == 6 && !noDepth;
  info.priceDivisor = record.priceDivisor == 0 ? 1.0 : record.priceDivisor;
  info.lotSize = record.volumeDivisor == 0 ? 1 : record.volumeDivisor;
  info.lotScale = noDepth ? 500 : 1;
  const std::uint64_t h = Mix64(info.key);
  double shown;
  if (noDepth) {
    shown = LevelBetween(h, 1000, 20000);
    info.sigma = kIndexSigma;
  } else if (info.futuresLike) {
    shown = LevelBetween(h, 1000, 60000);
    info.sigma = kFuturesSigma;
  } else {
    shown = LevelBetween(h, 3, 80);
    info.sigma = kStockSigma;
  }
  info.growth = -0.02 + static_cast<double>((h >> 40) % 1401) / 10000.0;
  info.anchor = std::max(10.0, std::floor(shown * info.priceDivisor + 0.5));
  info.baseOpenInterest = info.futuresLike ? std::floor(20000 + static_cast<double>((h >> 20) % 280000)) : 0;
  info.totalShares0 = std::floor(20000 + static_cast<double>((h >> 24) % 480000));
  return info;
}

bool ReadWhole(const std::filesystem::path& file, std::string* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// A name that stays inside its folder: no separators, no "..", not empty.
bool PlainName(const char* name) {
  if (name[0] == '\0' || std::strstr(name, "..") != nullptr) return false;
  for (const char* p = name; *p; ++p) {
    if (*p == '/' || *p == '\\' || *p == ':') return false;
  }
  return true;
}

}  // namespace

MarketModel::MarketModel(std::vector<ModelMarket> markets, std::uint32_t seed) : impl_(std::make_unique<Impl>()) {
  impl_->seed = seed;
  if (markets.size() > static_cast<std::size_t>(kMaxMarkets)) markets.resize(kMaxMarkets);
  impl_->markets = std::move(markets);
  for (std::size_t m = 0; m < impl_->markets.size(); ++m) {
    ModelMarket& market = impl_->markets[m];
    SanitizeMarket(&market.record);
    std::vector<CategoryInfo> categories;
    for (int c = 0; c < market.record.categoryCount; ++c) categories.push_back(MakeCategory(market.record.categories[c]));
    std::vector<InstrumentInfo> infos;
    for (std::size_t i = 0; i < market.instruments.size(); ++i) {
      InstrumentRecord& record = market.instruments[i];
      TrimField(record.code);
      TrimField(record.name);
      record.market = static_cast<std::uint8_t>(m);
      record.index = static_cast<std::uint16_t>(i);
      if (record.category >= categories.size()) record.category = 0;
      infos.push_back(MakeInstrument(seed, market, static_cast<int>(m), categories, static_cast<int>(i)));
    }
    if (!market.altCodes.empty()) {
      market.altCodes.resize(market.instruments.size());
      for (InstrumentExtRecord& alt : market.altCodes) alt.code[sizeof alt.code - 1] = '\0';
    }
    impl_->categories.push_back(std::move(categories));
    impl_->instruments.push_back(std::move(infos));
    impl_->chains.emplace_back(market.instruments.size());
  }
}

MarketModel::~MarketModel() = default;

std::unique_ptr<MarketModel> MarketModel::Load(const std::filesystem::path& root, std::uint32_t seed,
                                               std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<MarketModel> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  std::string bytes;
  const std::filesystem::path config = root / "cfg" / "mkinfo.cfg";
  if (!ReadWhole(config, &bytes)) return fail("cannot read " + config.string());
  if (bytes.empty() || bytes.size() % sizeof(MarketRecord) != 0 ||
      bytes.size() / sizeof(MarketRecord) > static_cast<std::size_t>(kMaxMarkets)) {
    return fail(config.string() + " does not hold 1 to 48 whole market records");
  }
  std::vector<ModelMarket> markets(bytes.size() / sizeof(MarketRecord));
  for (std::size_t m = 0; m < markets.size(); ++m) {
    ModelMarket& market = markets[m];
    std::memcpy(&market.record, bytes.data() + m * sizeof(MarketRecord), sizeof(MarketRecord));
    SanitizeMarket(&market.record);
    if (!PlainName(market.record.code) || !PlainName(market.record.fileExt)) {
      return fail("market " + std::to_string(m) + " has no usable folder name or extension");
    }
    const std::filesystem::path folder = root / "data" / market.record.code;
    const std::filesystem::path names = folder / (std::string("nametbl.") + market.record.fileExt);
    if (!ReadWhole(names, &bytes)) return fail("cannot read " + names.string());
    if (bytes.size() % sizeof(InstrumentRecord) != 0) return fail(names.string() + " does not hold whole records");
    const std::size_t count = bytes.size() / sizeof(InstrumentRecord);
    if (count > 0xFFFF) return fail(names.string() + " holds too many records");
    market.instruments.resize(count);
    if (count > 0) std::memcpy(market.instruments.data(), bytes.data(), bytes.size());
    for (std::size_t i = 0; i < count; ++i) {
      if (market.instruments[i].category >= market.record.categoryCount) {
        return fail(names.string() + ": record " + std::to_string(i) + " names a category the market lacks");
      }
    }
    if (m == 3) {
      // Alternative codes are optional: a missing file leaves them empty.
      const std::filesystem::path alts = folder / (std::string("nametble.") + market.record.fileExt);
      if (ReadWhole(alts, &bytes)) {
        market.altCodes.resize(count);
        const std::size_t have = std::min(count, bytes.size() / sizeof(InstrumentExtRecord));
        if (have > 0) std::memcpy(market.altCodes.data(), bytes.data(), have * sizeof(InstrumentExtRecord));
      }
    }
  }
  return std::make_unique<MarketModel>(std::move(markets), seed);
}

std::uint32_t MarketModel::seed() const { return impl_->seed; }

void MarketModel::Prepare(std::int64_t now) const {
  for (int market = 0; market < MarketCount(); ++market) {
    for (const InstrumentInfo& info : impl_->instruments[static_cast<std::size_t>(market)]) {
      const PackedTime day = CurrentTradingDay(market, info.category, now);
      if (day == 0) continue;
      std::lock_guard<std::mutex> lock(impl_->mutex);
      impl_->SummaryLocked(info, OrdinalOfDay(DayNumberOf(day)));
    }
  }
}

// ---- Markets and instruments ------------------------------------------------------------------

int MarketModel::MarketCount() const { return static_cast<int>(impl_->markets.size()); }

const ModelMarket* MarketModel::Market(int market) const {
  if (market < 0 || market >= MarketCount()) return nullptr;
  return &impl_->markets[static_cast<std::size_t>(market)];
}

int MarketModel::InstrumentCount(int market) const {
  const ModelMarket* record = Market(market);
  return record == nullptr ? 0 : static_cast<int>(record->instruments.size());
}

const InstrumentRecord* MarketModel::Instrument(int market, int index) const {
  const ModelMarket* record = Market(market);
  if (record == nullptr || index < 0 || index >= static_cast<int>(record->instruments.size())) return nullptr;
  return &record->instruments[static_cast<std::size_t>(index)];
}

int MarketModel::FindInstrument(int market, const char* code, std::size_t maxLength) const {
  const ModelMarket* record = Market(market);
  if (record == nullptr || code == nullptr) return -1;
  std::size_t length = 0;
  while (length < maxLength && code[length] != '\0') ++length;
  while (length > 0 && code[length - 1] == ' ') --length;
  if (length == 0 || length >= sizeof(InstrumentRecord::code)) return -1;
  for (std::size_t i = 0; i < record->instruments.size(); ++i) {
    const char* own = record->instruments[i].code;
    if (std::strlen(own) != length) continue;
    bool same = true;
    for (std::size_t k = 0; k < length && same; ++k) {
      same = std::tolower(static_cast<unsigned char>(own[k])) == std::tolower(static_cast<unsigned char>(code[k]));
    }
    if (same) return static_cast<int>(i);
  }
  return -1;
}

std::vector<int> MarketModel::CategoryMembers(int market, int category) const {
  std::vector<int> members;
  const ModelMarket* record = Market(market);
  if (record == nullptr) return members;
  for (std::size_t i = 0; i < record->instruments.size(); ++i) {
    if (record->instruments[i].category == category) members.push_back(static_cast<int>(i));
  }
  return members;
}

// ---- Calendar and clock -------------------------------------------------------------------------

bool MarketModel::IsTradingDay(PackedTime date) {
  const PackedTime checked = CheckedDate(date);
  return checked != 0 && OrdinalOfDay(DayNumberOf(checked)) >= 0;
}

PackedTime MarketModel::PrevTradingDay(PackedTime date) {
  const PackedTime checked = CheckedDate(date);
  if (checked == 0) return 0;
  const std::int64_t before = TradingDaysBefore(DayNumberOf(checked));
  return before == 0 ? 0 : DateOfDayNumber(DayOfOrdinal(before - 1));
}

PackedTime MarketModel::NextTradingDay(PackedTime date) {
  const PackedTime checked = CheckedDate(date);
  if (checked == 0) return 0;
  const std::int64_t through = TradingDaysBefore(DayNumberOf(checked) + 1);
  const std::int64_t day = DayOfOrdinal(through);
  return day > kEndDay ? 0 : DateOfDayNumber(day);
}

int MarketModel::Impl::HourOffset(int market) const {
  if (market < 0 || market >= static_cast<int>(markets.size())) return 0;
  const int offset = markets[static_cast<std::size_t>(market)].record.hourOffset;
  return std::clamp(offset, -23, 23);
}

PackedTime MarketModel::MarketTime(int market, std::int64_t now, int* second) const {
  const std::int64_t local = now + static_cast<std::int64_t>(impl_->HourOffset(market)) * 3600;
  if (second != nullptr) *second = static_cast<int>(((local % 60) + 60) % 60);
  return PackedFromUnix(local);
}

PackedTime MarketModel::TradingDayAt(int market, int category, std::int64_t now) const {
  const PackedTime local = MarketTime(market, now);
  if (local == 0) return 0;
  int dayChange = 0;
  if (market >= 0 && market < MarketCount() && category >= 0 &&
      category < static_cast<int>(impl_->categories[static_cast<std::size_t>(market)].size())) {
    dayChange = impl_->categories[static_cast<std::size_t>(market)][static_cast<std::size_t>(category)].dayChange;
  }
  const int minute = PackedHour(local) * 60 + PackedMinute(local);
  const std::int64_t day = DayNumberOf(local) - (minute < dayChange ? 1 : 0);
  return DateOfDayNumber(day);
}

PackedTime MarketModel::CurrentTradingDay(int market, int category, std::int64_t now) const {
  const PackedTime day = TradingDayAt(market, category, now);
  if (day == 0) return 0;
  return IsTradingDay(day) ? day : PrevTradingDay(day);
}

PackedTime MarketModel::LastCompletedTradingDay(int market, int category, std::int64_t now) const {
  const PackedTime day = TradingDayAt(market, category, now);
  if (day == 0) return 0;
  if (!IsTradingDay(day)) return PrevTradingDay(day);
  const std::vector<int> minutes = TradingMinutes(market, category);
  if (minutes.empty()) return PrevTradingDay(day);
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  // The day is complete once the minute after its last trading minute has begun.
  const PackedTime last = MinuteStamp(market, category, day, static_cast<int>(minutes.size()) - 1);
  const std::int64_t closeAt = UnixFromPacked(last) + 60;
  return UnixFromPacked(local) >= closeAt ? day : PrevTradingDay(day);
}

std::vector<int> MarketModel::TradingMinutes(int market, int category) const {
  if (market < 0 || market >= MarketCount()) return {};
  const auto& categories = impl_->categories[static_cast<std::size_t>(market)];
  if (category < 0 || category >= static_cast<int>(categories.size())) return {};
  return categories[static_cast<std::size_t>(category)].minutes;
}

PackedTime MarketModel::MinuteStamp(int market, int category, PackedTime day, int minuteIndex) const {
  if (market < 0 || market >= MarketCount()) return 0;
  const auto& categories = impl_->categories[static_cast<std::size_t>(market)];
  if (category < 0 || category >= static_cast<int>(categories.size())) return 0;
  const CategoryInfo& info = categories[static_cast<std::size_t>(category)];
  const PackedTime date = CheckedDate(day);
  if (date == 0 || minuteIndex < 0 || minuteIndex >= static_cast<int>(info.minutes.size())) return 0;
  const int m = info.minutes[static_cast<std::size_t>(minuteIndex)];
  return DateOfDayNumber(DayNumberOf(date) + (m < info.dayChange ? 1 : 0), m);
}

// ---- Chains and paths -------------------------------------------------------------------------

const InstrumentInfo* MarketModel::Impl::Info(int market, int index) const {
  if (market < 0 || market >= static_cast<int>(instruments.size())) return nullptr;
  const auto& list = instruments[static_cast<std::size_t>(market)];
  if (index < 0 || index >= static_cast<int>(list.size())) return nullptr;
  return &list[static_cast<std::size_t>(index)];
}

DayInput MarketModel::Impl::InputLocked(const InstrumentInfo& info, std::int64_t ordinal) const {
  DayInput input;
  input.ordinal = ordinal;
  const std::int64_t dayNumber = DayOfOrdinal(ordinal);
  input.day = DateOfDayNumber(dayNumber);
  double anchorFactor = 1;
  if (ordinal == 0) {
    input.prevClose = static_cast<std::uint32_t>(info.anchor);
    input.prevSettlement = input.prevClose;
    input.openInterest = info.baseOpenInterest;
  } else {
    const DaySummary& previous = SummaryLocked(info, ordinal - 1);
    input.prevClose = previous.close;
    input.prevSettlement = previous.settlement;
    input.openInterest = previous.openInterest;
    anchorFactor = previous.anchorFactor;
  }
  input.base = input.prevClose;
  if (EventOn(info, dayNumber)) {
    const InstrumentChain& chain = chains[static_cast<std::size_t>(info.market)][static_cast<std::size_t>(info.index)];
    const double shares = ordinal == 0 ? info.totalShares0 : chain.days[static_cast<std::size_t>(ordinal - 1)].totalShares;
    const WeightRecord event = MakeEvent(info, input.day, input.prevClose, shares);
    input.base = ExRightsPrice(input.prevClose, event);
    anchorFactor *= static_cast<double>(input.base) / static_cast<double>(input.prevClose);
  }
  // The anchor drifts by the instrument's yearly growth (about 250 trading days a year).
  input.anchor = info.anchor * anchorFactor * std::exp(info.growth * static_cast<double>(ordinal) / 250.0);
  return input;
}

const DaySummary& MarketModel::Impl::SummaryLocked(const InstrumentInfo& info, std::int64_t ordinal) const {
  InstrumentChain& chain = chains[static_cast<std::size_t>(info.market)][static_cast<std::size_t>(info.index)];
  if (ordinal < static_cast<std::int64_t>(chain.days.size())) return chain.days[static_cast<std::size_t>(ordinal)];
  const CategoryInfo& category = Category(info);
  chain.days.reserve(static_cast<std::size_t>(ordinal) + 1);
  for (std::int64_t k = static_cast<std::int64_t>(chain.days.size()); k <= ordinal; ++k) {
    const DayInput input = InputLocked(info, k);
    const DayTotals totals = GenerateTotals(seed, info, category, input);
    DaySummary summary;
    summary.base = input.base;
    summary.prevClose = input.prevClose;
    summary.prevSettlement = input.prevSettlement;
    summary.anchorFactor = k == 0 ? 1 : chain.days.back().anchorFactor;
    summary.totalShares = k == 0 ? info.totalShares0 : chain.days.back().totalShares;
    if (EventOn(info, DayNumberOf(input.day))) {
      const WeightRecord event = MakeEvent(info, input.day, input.prevClose, summary.totalShares);
      summary.anchorFactor *= static_cast<double>(input.base) / static_cast<double>(input.prevClose);
      summary.totalShares = event.totalShares;
      chain.events.push_back(event);
    }
    if (!totals.trades) {
      // A category without trading minutes: the price stands still.
      summary.open = summary.high = summary.low = summary.close = summary.settlement = input.base;
      summary.openInterest = input.openInterest;
    } else {
      summary.open = totals.open;
      summary.close = totals.close;
      summary.high = totals.high;
      summary.low = totals.low;
      summary.volume = totals.volume;
      summary.turnover = totals.turnover;
      summary.openInterest = totals.openInterest;
      summary.settlement = info.futuresLike && totals.volume > 0
                               ? static_cast<std::uint32_t>(std::floor(totals.priceVolume / totals.volume + 0.5))
                               : summary.close;
    }
    chain.days.push_back(summary);
  }
  return chain.days[static_cast<std::size_t>(ordinal)];
}

std::shared_ptr<const DayPath> MarketModel::Impl::Path(const InstrumentInfo& info, PackedTime day, bool cache) const {
  const PackedTime date = CheckedDate(day);
  if (date == 0) return nullptr;
  const std::int64_t ordinal = OrdinalOfDay(DayNumberOf(date));
  if (ordinal < 0) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  const PathKey key{info.market, info.index, ordinal};
  if (auto found = pathIndex.find(key); found != pathIndex.end()) {
    pathLru.splice(pathLru.begin(), pathLru, found->second);
    return found->second->second;
  }
  auto path = std::make_shared<DayPath>();
  GeneratePath(seed, info, Category(info), InputLocked(info, ordinal), path.get());
  if (cache) {
    constexpr std::size_t kCachedPaths = 256;
    pathLru.emplace_front(key, path);
    pathIndex[key] = pathLru.begin();
    if (pathLru.size() > kCachedPaths) {
      pathIndex.erase(pathLru.back().first);
      pathLru.pop_back();
    }
  }
  return path;
}

std::vector<WeightRecord> MarketModel::Impl::EventsThrough(const InstrumentInfo& info, std::int64_t ordinal) const {
  std::vector<WeightRecord> events;
  if (!info.hasEvents || ordinal < 0) return events;
  std::lock_guard<std::mutex> lock(mutex);
  SummaryLocked(info, ordinal);
  const InstrumentChain& chain = chains[static_cast<std::size_t>(info.market)][static_cast<std::size_t>(info.index)];
  const PackedTime through = DateOfDayNumber(DayOfOrdinal(ordinal));
  for (const WeightRecord& event : chain.events) {
    if (event.date <= through) events.push_back(event);
  }
  return events;
}

std::size_t MarketModel::Impl::CutAt(const DayPath& path, PackedTime marketNow, int second) {
  // Trades are ascending in (stamp, second): count those at or before the moment.
  std::size_t low = 0, high = path.trades.size();
  while (low < high) {
    const std::size_t mid = (low + high) / 2;
    const PackedTime stamp = path.trades[mid].time;
    const bool happened = stamp < marketNow || (stamp == marketNow && path.second[mid] <= second);
    if (happened) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

// ---- A trading day of one instrument ----------------------------------------------------------

std::vector<TradeRecord> MarketModel::DayTrades(int market, int index, PackedTime day) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return {};
  const auto path = impl_->Path(*info, day);
  return path == nullptr ? std::vector<TradeRecord>{} : path->trades;
}

namespace {

// The trades of the current trading day that have happened by now.
struct TodayCut {
  std::shared_ptr<const DayPath> path;
  std::size_t count = 0;
  PackedTime marketNow = 0;
};

}  // namespace

std::vector<TradeRecord> MarketModel::TodayTrades(int market, int index, std::int64_t now) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return {};
  const PackedTime day = CurrentTradingDay(market, info->category, now);
  const auto path = impl_->Path(*info, day);
  if (path == nullptr) return {};
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  const std::size_t count = Impl::CutAt(*path, local, second);
  return std::vector<TradeRecord>(path->trades.begin(), path->trades.begin() + static_cast<std::ptrdiff_t>(count));
}

TradeDetails MarketModel::TodayDetails(int market, int index, std::int64_t now) const {
  TradeDetails details;
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return details;
  const PackedTime day = CurrentTradingDay(market, info->category, now);
  const auto path = impl_->Path(*info, day);
  if (path == nullptr) return details;
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  const std::size_t count = Impl::CutAt(*path, local, second);
  details.header.refPrice = path->input.base;
  details.header.refAmount = info->futuresLike ? static_cast<float>(path->input.openInterest) : 0.0f;
  if (count == 0) return details;
  details.header.buyVolume = static_cast<float>(path->cumBuy[count - 1]);
  details.header.sellVolume = static_cast<float>(path->cumSell[count - 1]);

  // Minutes that have begun by now (all once the last trade has happened).
  std::size_t minutes = 0;
  if (count == path->size()) {
    minutes = path->minuteStamps.size();
  } else {
    while (minutes < path->minuteStamps.size() && path->minuteStamps[minutes] <= local) ++minutes;
  }
  std::uint32_t price = path->input.base;
  std::size_t t = 0;
  for (std::size_t j = 0; j < minutes; ++j) {
    TodayMinuteRecord record{};
    record.price = record.open = record.high = record.low = price;
    bool first = true;
    while (t < count && path->minute[t] == j) {
      const std::uint32_t p = path->trades[t].price;
      if (first) {
        record.open = record.high = record.low = p;
        first = false;
      }
      record.high = std::max(record.high, p);
      record.low = std::min(record.low, p);
      price = p;
      ++t;
    }
    record.price = price;
    if (t > 0) {
      record.cumVolume = static_cast<float>(path->cumVolume[t - 1]);
      record.cumTurnover = static_cast<float>(path->cumTurnover[t - 1]);
      record.cumAmount = info->futuresLike ? path->trades[t - 1].openInterest
                                           : (info->stockLike ? record.cumTurnover : 0.0f);
    }
    details.minutes.push_back(record);
  }
  return details;
}

std::vector<TrendDayMinute> MarketModel::TrendDay(int market, int index, PackedTime day) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return {};
  const auto path = impl_->Path(*info, day);
  if (path == nullptr || path->size() == 0) return {};
  const std::size_t minutes = path->minuteStamps.size();
  std::vector<TrendDayMinute> slots(minutes + 1);
  // Slot 0: the opening trade.
  const TradeRecord& opening = path->trades.front();
  slots[0].price = opening.price;
  slots[0].volume = opening.volume;
  slots[0].amount = info->stockLike ? static_cast<float>(path->cumTurnover[0]) : opening.openInterest;
  std::uint32_t price = opening.price;
  float openInterest = opening.openInterest;
  std::size_t t = 1;
  for (std::size_t j = 0; j < minutes; ++j) {
    double volume = 0, turnover = 0;
    while (t < path->size() && path->minute[t] == j) {
      volume += path->cumVolume[t] - path->cumVolume[t - 1];
      turnover += path->cumTurnover[t] - path->cumTurnover[t - 1];
      price = path->trades[t].price;
      openInterest = path->trades[t].openInterest;
      ++t;
    }
    TrendDayMinute& slot = slots[j + 1];
    slot.price = price;
    slot.volume = static_cast<float>(volume);
    slot.amount = info->stockLike ? static_cast<float>(turnover) : openInterest;
  }
  return slots;
}

QuoteRecord MarketModel::Impl::BuildQuote(const InstrumentInfo& info, const DayPath& path, std::size_t count,
                                          std::uint64_t depthSeed) const {
  QuoteRecord quote{};
  quote.prevClose = info.futuresLike ? path.input.prevSettlement : path.input.base;
  if (count == 0) {
    quote.amount = info.futuresLike ? static_cast<float>(path.input.openInterest) : 0.0f;
    return quote;
  }
  const TradeRecord& last = path.trades[count - 1];
  quote.open = path.trades.front().price;
  quote.high = path.runHigh[count - 1];
  quote.low = path.runLow[count - 1];
  quote.last = last.price;
  quote.volume = static_cast<float>(path.cumVolume[count - 1]);
  quote.amount = info.futuresLike ? last.openInterest
                                  : (info.stockLike ? static_cast<float>(path.cumTurnover[count - 1]) : 0.0f);
  quote.lastVolume = last.volume;
  quote.updateTime = (static_cast<std::uint32_t>(PackedHour(last.time)) << 12) |
                     (static_cast<std::uint32_t>(PackedMinute(last.time)) << 6) | path.second[count - 1];
  if (!Category(info).noDepth) {
    Rng rng(depthSeed);
    for (std::uint32_t level = 0; level < 5; ++level) {
      if (last.price > level + 1) {
        quote.bids[level].price = last.price - (level + 1);
        quote.bids[level].volume = static_cast<float>((1 + rng.Below(200)) * info.lotSize);
      }
      quote.asks[level].price = last.price + level + 1;
      quote.asks[level].volume = static_cast<float>((1 + rng.Below(200)) * info.lotSize);
    }
  }
  if (info.futuresLike && count == path.size()) quote.settlement = path.Settlement(count);
  return quote;
}

QuoteRecord MarketModel::QuoteUncached(int market, int index, std::int64_t now) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return QuoteRecord{};
  const PackedTime day = CurrentTradingDay(market, info->category, now);
  const auto path = impl_->Path(*info, day);
  if (path == nullptr) return QuoteRecord{};
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  const std::size_t count = Impl::CutAt(*path, local, second);
  return impl_->BuildQuote(*info, *path, count, HashOf({impl_->seed, info->key, day, count}));
}

namespace {

// The trades of a path whose moments are at or before `at` (seconds from the day's 00:00),
// stepping from the count of the previous call: a push step moves a minute or so, so a few
// steps replace the search. The same count as Impl::CutAt for the same moment.
std::size_t StepCut(const DayPath& path, bool ascending, std::size_t count, std::int64_t at) {
  const std::vector<std::int32_t>& moment = path.moment;
  const std::size_t size = moment.size();
  if (!ascending) {
    // Out of time order (a session after midnight listed first): the search CutAt makes.
    std::size_t low = 0, high = size;
    while (low < high) {
      const std::size_t mid = (low + high) / 2;
      if (moment[mid] <= at) {
        low = mid + 1;
      } else {
        high = mid;
      }
    }
    return low;
  }
  constexpr int kSteps = 8;
  if (count > size) count = size;
  if (count < size && moment[count] <= at) {
    for (int i = 0; i < kSteps && count < size && moment[count] <= at; ++i) ++count;
    if (count < size && moment[count] <= at) {
      count = static_cast<std::size_t>(std::upper_bound(moment.begin() + static_cast<std::ptrdiff_t>(count), moment.end(), at) -
                                       moment.begin());
    }
  } else if (count > 0 && moment[count - 1] > at) {
    for (int i = 0; i < kSteps && count > 0 && moment[count - 1] > at; ++i) --count;
    if (count > 0 && moment[count - 1] > at) {
      count = static_cast<std::size_t>(
          std::upper_bound(moment.begin(), moment.begin() + static_cast<std::ptrdiff_t>(count), at) - moment.begin());
    }
  }
  return count;
}

// Holds a quote slot taken and gives it back.
class SlotClaim {
 public:
  explicit SlotClaim(std::atomic<bool>* busy) : busy_(busy) {
    if (busy_->exchange(true, std::memory_order_acquire)) busy_ = nullptr;
  }
  ~SlotClaim() { Release(); }
  SlotClaim(const SlotClaim&) = delete;
  SlotClaim& operator=(const SlotClaim&) = delete;
  bool held() const { return busy_ != nullptr; }
  void Release() {
    if (busy_ != nullptr) busy_->store(false, std::memory_order_release);
    busy_ = nullptr;
  }

 private:
  std::atomic<bool>* busy_;
};

}  // namespace

QuoteRecord MarketModel::Quote(int market, int index, std::int64_t now) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return QuoteRecord{};
  Impl::QuoteSlot& slot = impl_->quoteSlots[Impl::SlotOf(market, index)];
  SlotClaim claim(&slot.busy);
  if (!claim.held()) return QuoteUncached(market, index, now);

  if (slot.market != market || slot.index != index || now < slot.from || now >= slot.to) {
    // Another day or instrument: the day, its path and the span of moments that show that day.
    const PackedTime day = CurrentTradingDay(market, info->category, now);
    auto path = impl_->Path(*info, day);
    if (path == nullptr) {
      claim.Release();
      return QuoteUncached(market, index, now);
    }
    // The window of calendar day D opens at the day change of D (market time); the trading day
    // shows from its own window to the next trading day's, weekends included.
    const CategoryInfo& category = impl_->Category(*info);
    const std::int64_t opens = static_cast<std::int64_t>(std::min(category.dayChange, 1440)) * 60;
    const std::int64_t offset = static_cast<std::int64_t>(impl_->HourOffset(market)) * 3600;
    const std::int64_t dayNumber = DayNumberOf(day);
    const PackedTime next = NextTradingDay(day);
    const std::int64_t nextNumber = next == 0 ? dayNumber + 1 : DayNumberOf(next);
    const std::int64_t from = dayNumber * 86400 + opens - offset;
    const std::int64_t to = nextNumber * 86400 + opens - offset;
    if (now < from || now >= to) {
      // Cannot happen with the calendar above; never keep a slot that would not hold.
      claim.Release();
      return QuoteUncached(market, index, now);
    }
    slot.market = market;
    slot.index = index;
    slot.from = from;
    slot.to = to;
    slot.dayStart = dayNumber * 86400 - offset;
    slot.day = day;
    slot.ascending = category.startsAscend;
    slot.depthHash = HashOf({impl_->seed, info->key, day});
    slot.path = std::move(path);
    slot.count = 0;
    slot.hasQuote = false;
  }
  const DayPath& path = *slot.path;
  slot.count = StepCut(path, slot.ascending, slot.count, now - slot.dayStart);
  if (!slot.hasQuote || slot.quoteCount != slot.count) {
    slot.quote = impl_->BuildQuote(*info, path, slot.count, HashStep(slot.depthHash, slot.count));
    slot.quoteCount = slot.count;
    slot.hasQuote = true;
  }
  return slot.quote;
}

std::uint32_t MarketModel::PrevClose(int market, int index, PackedTime day) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  const PackedTime date = CheckedDate(day);
  if (info == nullptr || date == 0) return 0;
  const std::int64_t ordinal = OrdinalOfDay(DayNumberOf(date));
  if (ordinal < 0) return 0;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->SummaryLocked(*info, ordinal).base;
}

// ---- History --------------------------------------------------------------------------------------

std::vector<ChartBar> MarketModel::Bars(int market, int index, int fileKind, PackedTime firstDay,
                                        PackedTime lastDay) const {
  std::vector<ChartBar> bars;
  const InstrumentInfo* info = impl_->Info(market, index);
  const PackedTime first = CheckedDate(firstDay);
  const PackedTime last = CheckedDate(lastDay);
  if (info == nullptr || first == 0 || last == 0 || last < first) return bars;
  const std::int64_t from = TradingDaysBefore(DayNumberOf(first));
  const std::int64_t to = TradingDaysBefore(DayNumberOf(last) + 1) - 1;
  if (to < from) return bars;

  if (fileKind == kBarFileDay) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->SummaryLocked(*info, to);
    const InstrumentChain& chain = impl_->chains[static_cast<std::size_t>(market)][static_cast<std::size_t>(index)];
    bars.reserve(static_cast<std::size_t>(to - from + 1));
    for (std::int64_t k = from; k <= to; ++k) {
      const DaySummary& day = chain.days[static_cast<std::size_t>(k)];
      ChartBar bar{};
      bar.time = DateOfDayNumber(DayOfOrdinal(k));
      bar.open = day.open;
      bar.high = day.high;
      bar.low = day.low;
      bar.close = day.close;
      bar.volume = static_cast<float>(day.volume);
      bar.amount = info->futuresLike ? static_cast<float>(day.openInterest)
                                     : (info->stockLike ? static_cast<float>(day.turnover) : 0.0f);
      if (info->futuresLike) bar.settlement = day.settlement;
      bars.push_back(bar);
    }
    return bars;
  }

  const int period = BarFileMinutes(fileKind);
  if (period == 0) return bars;
  for (std::int64_t k = from; k <= to; ++k) {
    const auto path = impl_->Path(*info, DateOfDayNumber(DayOfOrdinal(k)), false);
    if (path == nullptr || path->size() == 0) continue;
    const CategoryInfo& category = impl_->Category(*info);
    const std::size_t minutes = category.minutes.size();
    std::size_t t = 0;
    for (std::size_t start = 0; start < minutes; start += static_cast<std::size_t>(period)) {
      const std::size_t end = std::min(minutes, start + static_cast<std::size_t>(period));
      const std::size_t firstTrade = t;
      while (t < path->size() && path->minute[t] < end) ++t;
      if (t == firstTrade) continue;
      ChartBar bar{};
      const std::int64_t closeAt = UnixFromPacked(path->minuteStamps[end - 1]) + 60;
      bar.time = PackedFromUnix(closeAt);
      bar.open = path->trades[firstTrade].price;
      bar.close = path->trades[t - 1].price;
      bar.high = bar.low = bar.open;
      for (std::size_t i = firstTrade; i < t; ++i) {
        bar.high = std::max(bar.high, path->trades[i].price);
        bar.low = std::min(bar.low, path->trades[i].price);
      }
      const double before = firstTrade == 0 ? 0.0 : path->cumVolume[firstTrade - 1];
      bar.volume = static_cast<float>(path->cumVolume[t - 1] - before);
      if (info->futuresLike) {
        bar.amount = path->trades[t - 1].openInterest;
      } else if (info->stockLike) {
        const double turnoverBefore = firstTrade == 0 ? 0.0 : path->cumTurnover[firstTrade - 1];
        bar.amount = static_cast<float>(path->cumTurnover[t - 1] - turnoverBefore);
      }
      bars.push_back(bar);
    }
  }
  return bars;
}

namespace {

int HistoryDays(int fileKind) {
  switch (fileKind) {
    case kBarFile60Min: return kHourBarDays;
    case kBarFile5Min: return kFiveMinuteBarDays;
    case kBarFile1Min: return kOneMinuteBarDays;
    default: return 0;
  }
}

}  // namespace

PackedTime MarketModel::HistoryFirstDay(int market, int index, int fileKind, std::int64_t now) const {
  const InstrumentRecord* record = Instrument(market, index);
  if (record == nullptr) return 0;
  const PackedTime last = LastCompletedTradingDay(market, record->category, now);
  if (last == 0) return 0;
  if (fileKind == kBarFileDay) return kModelEpoch;
  const int days = HistoryDays(fileKind);
  if (days == 0) return 0;
  const std::int64_t lastOrdinal = OrdinalOfDay(DayNumberOf(last));
  return DateOfDayNumber(DayOfOrdinal(std::max<std::int64_t>(0, lastOrdinal - (days - 1))));
}

std::vector<ChartBar> MarketModel::HistoryBars(int market, int index, int fileKind, std::int64_t now) const {
  const InstrumentRecord* record = Instrument(market, index);
  if (record == nullptr) return {};
  const PackedTime first = HistoryFirstDay(market, index, fileKind, now);
  if (first == 0) return {};
  return Bars(market, index, fileKind, first, LastCompletedTradingDay(market, record->category, now));
}

std::vector<WeightRecord> MarketModel::Weights(int market, int index, PackedTime through) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  const PackedTime date = CheckedDate(through);
  if (info == nullptr || date == 0) return {};
  const std::int64_t ordinal = TradingDaysBefore(DayNumberOf(date) + 1) - 1;
  return impl_->EventsThrough(*info, ordinal);
}

QuoteExtraEntry MarketModel::QuoteExtra(int market, int index, std::int64_t now) const {
  QuoteExtraEntry entry{};
  entry.market = static_cast<std::uint8_t>(market);
  entry.index = static_cast<std::uint16_t>(index);
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return entry;
  const PackedTime day = CurrentTradingDay(market, info->category, now);
  const auto path = impl_->Path(*info, day);
  if (path == nullptr) return entry;
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  const std::size_t count = Impl::CutAt(*path, local, second);
  const std::uint32_t last = count == 0 ? path->input.base : path->trades[count - 1].price;
  const std::uint32_t balance = count == 0 ? path->input.base : path->Settlement(count);
  entry.side = last >= path->input.base ? 0 : 1;
  auto scaled = [](std::uint32_t price, double factor) {
    return static_cast<std::uint32_t>(std::max(1.0, std::floor(price * factor + 0.5)));
  };
  entry.balancePrice = balance;
  entry.longStop = scaled(balance, 0.96);
  entry.longTarget = scaled(balance, 1.06);
  entry.shortStop = scaled(balance, 1.04);
  entry.shortCover = scaled(balance, 0.94);

  const std::int64_t ordinal = path->input.ordinal;
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (info->futuresLike) {
    entry.refVolume = static_cast<float>(path->input.openInterest);
  } else if (ordinal > 0) {
    const std::int64_t from = std::max<std::int64_t>(0, ordinal - 5);
    double sum = 0;
    for (std::int64_t k = from; k < ordinal; ++k) sum += impl_->SummaryLocked(*info, k).volume;
    entry.refVolume = static_cast<float>(sum / static_cast<double>(ordinal - from));
  }
  return entry;
}

BrokerQueueRecord MarketModel::BrokerQueue(int market, int index, std::int64_t now) const {
  BrokerQueueRecord queue{};
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr || !info->brokerQueues) return queue;
  const PackedTime day = CurrentTradingDay(market, info->category, now);
  const auto path = impl_->Path(*info, day);
  if (path == nullptr) return queue;
  int second = 0;
  const PackedTime local = MarketTime(market, now, &second);
  const std::size_t count = Impl::CutAt(*path, local, second);
  const std::vector<Broker>& brokers = Brokers();
  Rng rng(HashOf({impl_->seed, info->key, day, count, 0xB20CEu}));
  auto fill = [&](BrokerQueueEntry* entries, std::uint16_t* used) {
    std::uint16_t n = 0;
    for (std::uint16_t level = 1; level <= 5 && n < 40; ++level) {
      entries[n++] = BrokerQueueEntry{1, level};
      const std::uint32_t seats = rng.Below(6);
      for (std::uint32_t s = 0; s < seats && n < 40; ++s) {
        // The last broker row only closes the ranges: seats come from the rows before it.
        const std::size_t b = rng.Below(static_cast<std::uint32_t>(brokers.size() - 1));
        const std::uint32_t width = static_cast<std::uint32_t>(brokers[b + 1].firstSeat - brokers[b].firstSeat);
        entries[n++] = BrokerQueueEntry{0, static_cast<std::uint16_t>(brokers[b].firstSeat + rng.Below(width))};
      }
    }
    *used = n;
  };
  fill(queue.buy, &queue.buyCount);
  fill(queue.sell, &queue.sellCount);
  return queue;
}

}  // namespace zuvo::model
