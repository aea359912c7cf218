// The market tables: construction, validation of the market description, the name-table
// finishing and code index, quote clearing and saving, trading-minute arithmetic and lookups.
#include "data/MarketData.h"

#include "core/CoreUtil.h"
#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace zuvo::platform;

TMarketData* MarketTables[kMaxMarkets] = {};
int MarketCount = 0;

namespace {

constexpr int kMarketKindFutures = 2;

// Codes compare with ASCII-only case folding; both bytes of a double-byte GBK character are
// taken as they stand. Hash and equality share this one folding so the index agrees with a
// linear scan.
bool CodesEqual(const char* a, const char* b) {
  for (;;) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (gbk::IsLeadByte(x)) {
      if (x != y) return false;
      ++a;
      ++b;
      x = static_cast<unsigned char>(*a);
      y = static_cast<unsigned char>(*b);
      if (x != y) return false;
      if (x == 0) return true;
      ++a;
      ++b;
      continue;
    }
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
    if (x == 0) return true;
    ++a;
    ++b;
  }
}

std::uint32_t HashCode(const char* code) {
  std::uint32_t hash = 2166136261u;
  for (const char* p = code; *p;) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (gbk::IsLeadByte(c)) {
      hash = (hash ^ c) * 16777619u;
      ++p;
      if (*p == 0) break;
      c = static_cast<unsigned char>(*p);
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<unsigned char>(c - 32);
    }
    hash = (hash ^ c) * 16777619u;
    ++p;
  }
  return hash;
}

// Cuts trailing spaces of a fixed field whose terminator has been forced.
void CutTrailingSpaces(char* text) {
  std::size_t length = std::strlen(text);
  while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
}

template <typename T>
T* AllocArray(int capacity) {
  // At least one element, so a market of capacity 0 still has valid (empty) arrays.
  const std::uint32_t elements = static_cast<std::uint32_t>(std::max(capacity, 1));
  const std::uint32_t bytes = elements * static_cast<std::uint32_t>(sizeof(T));
  return static_cast<T*>(GuardedAlloc(bytes));
}

int ClampInt(int value, int low, int high) { return std::min(std::max(value, low), high); }

}  // namespace

void SanitizeMarketRecord(MarketRecord* record) {
  record->name[sizeof record->name - 1] = '\0';
  record->code[sizeof record->code - 1] = '\0';
  record->fileExt[sizeof record->fileExt - 1] = '\0';
  record->hourOffset = static_cast<std::int16_t>(ClampInt(record->hourOffset, -kMaxHourOffset, kMaxHourOffset));
  record->categoryCount = static_cast<std::uint16_t>(ClampInt(record->categoryCount, 1, kMaxCategories));
  for (CategoryRecord& category : record->categories) {
    category.name[sizeof category.name - 1] = '\0';
    int sessions = std::min<int>(category.sessionCount, kMaxSessions);
    // Sessions must run forward through one day; the first one that does not ends the list,
    // since the minute arithmetic walks them in order and sizes buffers from their lengths.
    int previousClose = 0;
    for (int j = 0; j < sessions; ++j) {
      const int open = category.openMinute[j];
      const int close = category.closeMinute[j];
      if (close <= open || close > kMinutesPerDayLimit || open < previousClose) {
        sessions = j;
        break;
      }
      previousClose = close;
    }
    category.sessionCount = static_cast<std::uint8_t>(sessions);
    int minutes = 0;
    for (int j = 0; j < sessions; ++j) minutes += category.closeMinute[j] - category.openMinute[j];
    category.minutesPerDay = static_cast<std::uint16_t>(minutes);
    category.minuteIndex = 0;
  }
}

TMarketData::TMarketData(int marketNumber, const MarketRecord& source) {
  market = static_cast<std::uint8_t>(marketNumber >= 0 && marketNumber < kMaxMarkets ? marketNumber : 0);
  record = source;
  SanitizeMarketRecord(&record);
  capacity = record.capacity;
  status = 0;
  lastCategory_ = static_cast<std::uint8_t>(record.categoryCount - 1);

  CreateDirectoryPath("..\\data");

  names = AllocArray<InstrumentRecord>(capacity);
  if (market == kAltCodeMarket) altCodes = AllocArray<InstrumentExtRecord>(capacity);
  quotes = AllocArray<QuoteRecord>(capacity);
  lastTrades = AllocArray<LastTradePrices>(capacity);
  extras = AllocArray<QuoteExtraRecord>(capacity);
  brokerQueues = AllocArray<BrokerQueueRecord>(capacity);
  if (names == nullptr || quotes == nullptr || lastTrades == nullptr || extras == nullptr ||
      brokerQueues == nullptr) {
    FreeArrays();
    status = kStatusOutOfMemory;
    return;
  }

  count = 0;
  maxMinutesPerDay = 0;
  for (int c = 0; c < record.categoryCount; ++c) {
    const std::uint16_t minutes = record.categories[c].minutesPerDay;   // packed field: copy
    if (minutes > maxMinutesPerDay) maxMinutesPerDay = minutes;
  }

  UpdateClock(SystemNow);

  // Before a category's day-change minute (+2) its current trading day is still yesterday.
  for (int c = 0; c < record.categoryCount; ++c) {
    tradingDate[c] = now;
    if (!IsCategoryClosed(c)) PrevDay(&tradingDate[c]);
  }
}

TMarketData::~TMarketData() {
  if (quotesLoaded && count > 0 && quotes != nullptr) WriteQuoteFile(count);
  FreeArrays();
}

void TMarketData::FreeArrays() {
  GuardedFree(names);
  GuardedFree(altCodes);
  GuardedFree(quotes);
  GuardedFree(lastTrades);
  GuardedFree(extras);
  GuardedFree(brokerQueues);
  names = nullptr;
  altCodes = nullptr;
  quotes = nullptr;
  lastTrades = nullptr;
  extras = nullptr;
  brokerQueues = nullptr;
  count = 0;
  codeSlots_.clear();
  indexedCount_ = -1;
}

void TMarketData::UpdateClock(PackedTime utcClockWord) {
  now = AddHoursWithDayCarry(utcClockWord, record.hourOffset);
  minuteOfDay = static_cast<std::uint16_t>(PackedHour(now) * 60 + PackedMinute(now));
  UpdateMinuteIndexes();
}

void TMarketData::UpdateMinuteIndexes() {
  for (int c = 0; c < record.categoryCount; ++c) {
    record.categories[c].minuteIndex = static_cast<std::uint16_t>(MinuteOfDayToIndex(this, minuteOfDay, c));
  }
}

bool TMarketData::IsCategoryClosed(int category) const {
  return IsPastClose(category, minuteOfDay);
}

bool TMarketData::IsPastClose(int category, int minute) const {
  if (category < 0 || category >= kMaxCategories) return false;
  return minute >= record.categories[category].dayChangeMinute + 2;
}

bool TMarketData::MarketFolderPath(char* out, std::size_t size) const {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (!paths::IsSafeComponent(record.code)) return false;
  const std::string path = std::string("..\\data\\") + record.code;
  if (path.size() + 1 > size) return false;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

bool TMarketData::MarketFilePath(const char* baseName, char* out, std::size_t size) const {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (baseName == nullptr) return false;
  const std::string fileName = std::string(baseName) + "." + record.fileExt;
  if (record.fileExt[0] == '\0' || !paths::IsSafeComponent(record.code) ||
      !paths::IsSafeComponent(fileName)) {
    return false;
  }
  const std::string path = std::string("..\\data\\") + record.code + "\\" + fileName;
  if (path.size() + 1 > size) return false;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

bool TMarketData::WriteQuoteFile(int records) const {
  if (quotes == nullptr) return false;
  records = ClampInt(records, 0, capacity);
  char folder[MAX_PATH];
  char path[MAX_PATH];
  if (!MarketFolderPath(folder, sizeof folder) || !MarketFilePath("real", path, sizeof path)) return false;
  CreateDirectoryPath(folder);
  return files::AtomicReplace(path, quotes, static_cast<std::size_t>(records) * sizeof(QuoteRecord));
}

namespace {

void ClearQuote(QuoteRecord* quote, LastTradePrices* last, bool keepOpenInterest) {
  const float openInterest = quote->amount;
  std::memset(quote, 0, sizeof *quote);
  if (keepOpenInterest) quote->amount = openInterest;
  std::memset(last, 0, sizeof *last);
}

}  // namespace

int TMarketData::ClearCategoryQuotes(int category) {
  if (quotes == nullptr || names == nullptr) return 0;
  const bool futures = record.kind == kMarketKindFutures;
  for (int i = 0; i < count; ++i) {
    if (names[i].category == category) ClearQuote(&quotes[i], &lastTrades[i], futures);
  }
  // The file holds capacity records, zero beyond the instruments loaded.
  if (count < capacity) {
    std::memset(quotes + count, 0, static_cast<std::size_t>(capacity - count) * sizeof(QuoteRecord));
  }
  return WriteQuoteFile(capacity) ? 1 : 0;
}

int TMarketData::ClearAllQuotes() {
  if (quotes == nullptr || names == nullptr) return 0;
  const bool futures = record.kind == kMarketKindFutures;
  for (int i = 0; i < count; ++i) ClearQuote(&quotes[i], &lastTrades[i], futures);
  if (count < capacity) {
    std::memset(quotes + count, 0, static_cast<std::size_t>(capacity - count) * sizeof(QuoteRecord));
  }
  return WriteQuoteFile(capacity) ? 1 : 0;
}

void TMarketData::ClearAllExtras() {
  if (extras == nullptr) return;
  std::memset(extras, 0, static_cast<std::size_t>(count) * sizeof(QuoteExtraRecord));
}

void TMarketData::ClearCategoryExtras(int category) {
  if (extras == nullptr || names == nullptr) return;
  for (int i = 0; i < count; ++i) {
    if (names[i].category == category) std::memset(&extras[i], 0, sizeof extras[i]);
  }
}

void TMarketData::ClearCategory(int category) {
  ClearCategoryQuotes(category);
  ClearCategoryExtras(category);
}

void TMarketData::FinishNameTable() {
  if (names == nullptr) {
    count = 0;
    return;
  }
  count = ClampInt(count, 0, capacity);
  for (int i = 0; i < count; ++i) {
    InstrumentRecord& r = names[i];
    // A cached name table may come from another market slot or an older layout: the table's
    // own market and position are the truth.
    r.market = market;
    r.index = static_cast<std::uint16_t>(i);
    r.code[sizeof r.code - 1] = '\0';
    r.name[sizeof r.name - 1] = '\0';
    CutTrailingSpaces(r.code);
    CutTrailingSpaces(r.name);
    if (r.category >= record.categoryCount) r.category = lastCategory_;
    if (r.priceDivisor == 0) r.priceDivisor = 1;
    if (r.volumeDivisor == 0) r.volumeDivisor = 1;
    if (altCodes != nullptr) altCodes[i].code[sizeof altCodes[i].code - 1] = '\0';
  }
  RebuildCodeIndex();
}

void TMarketData::RebuildCodeIndex() {
  codeSlots_.clear();
  indexedCount_ = -1;
  if (names == nullptr || count <= 0) {
    indexedCount_ = count > 0 ? -1 : 0;
    return;
  }
  std::size_t slots = 16;
  while (slots < static_cast<std::size_t>(count) * 2) slots <<= 1;
  codeSlots_.assign(slots, 0);
  const std::size_t mask = slots - 1;
  for (int i = 0; i < count; ++i) {
    const char* code = names[i].code;
    if (code[0] == '\0') continue;
    std::size_t slot = HashCode(code) & mask;
    bool duplicate = false;
    while (codeSlots_[slot] != 0) {
      // Only the first instrument of a code is reachable, as in a scan from the start.
      if (CodesEqual(names[codeSlots_[slot] - 1].code, code)) {
        duplicate = true;
        break;
      }
      slot = (slot + 1) & mask;
    }
    if (!duplicate) codeSlots_[slot] = static_cast<std::uint32_t>(i + 1);
  }
  indexedCount_ = count;
}

int TMarketData::FindCode(const char* code) const {
  if (code == nullptr || code[0] == '\0' || names == nullptr) return -1;
  if (indexedCount_ == count && !codeSlots_.empty()) {
    const std::size_t mask = codeSlots_.size() - 1;
    std::size_t slot = HashCode(code) & mask;
    while (codeSlots_[slot] != 0) {
      const int position = static_cast<int>(codeSlots_[slot]) - 1;
      if (position < count && CodesEqual(names[position].code, code)) return position;
      slot = (slot + 1) & mask;
    }
    return -1;
  }
  // The names were changed without a rebuild: scan.
  for (int i = 0; i < count; ++i) {
    if (CodesEqual(names[i].code, code)) return i;
  }
  return -1;
}

// ---- Trading minutes ------------------------------------------------------------------------

int CategoryMinutesPerDay(const TMarketData* table, int category) {
  if (table == nullptr || category < 0 || category >= kMaxCategories) return 0;
  const CategoryRecord& c = table->record.categories[category];
  int minutes = 0;
  for (int j = 0; j < std::min<int>(c.sessionCount, kMaxSessions); ++j) {
    minutes += c.closeMinute[j] - c.openMinute[j];
  }
  return minutes;
}

int MinuteOfDayToIndex(const TMarketData* table, int m, int category) {
  if (table == nullptr || category < 0 || category >= kMaxCategories) return 0;
  const CategoryRecord& c = table->record.categories[category];
  const int minutesPerDay = c.minutesPerDay;
  if (minutesPerDay <= 0) return 0;
  const int sessions = std::min<int>(c.sessionCount, kMaxSessions);
  int sum = 0;
  for (int j = 0; j < sessions; ++j) {
    const int open = c.openMinute[j];
    const int close = c.closeMinute[j];
    if (m <= open) return sum;
    if (m < close) return sum + (m - open);
    if (j + 1 < sessions && m < (close + c.openMinute[j + 1]) / 2) return sum + (close - 1 - open);
    sum += close - open;
  }
  return sum >= minutesPerDay ? minutesPerDay - 1 : sum;
}

int IndexToMinuteOfDay(const TMarketData* table, int index, int category) {
  if (table == nullptr || category < 0 || category >= kMaxCategories) return 0;
  const CategoryRecord& c = table->record.categories[category];
  const int minutesPerDay = c.minutesPerDay;
  if (minutesPerDay <= 0) return 0;
  int i = ClampInt(index, 0, minutesPerDay - 1);
  const int sessions = std::min<int>(c.sessionCount, kMaxSessions);
  for (int j = 0; j < sessions; ++j) {
    const int length = c.closeMinute[j] - c.openMinute[j];
    if (length > i) return c.openMinute[j] + i;
    i -= length;
  }
  return sessions > 0 ? c.closeMinute[sessions - 1] - 1 : 0;
}

// ---- Lookups ----------------------------------------------------------------------------------

InstrumentRecord* GetInstrumentRecord(STKPTR stk) {
  TMarketData* table = GetMarketTable(stk.market);
  if (table == nullptr || table->names == nullptr || stk.index >= table->count) return nullptr;
  return &table->names[stk.index];
}

InstrumentExtRecord* GetInstrumentExtRecord(STKPTR stk) {
  TMarketData* table = GetMarketTable(stk.market);
  if (table == nullptr || table->altCodes == nullptr || stk.index >= table->count) return nullptr;
  return &table->altCodes[stk.index];
}

InstrumentRecord* FindInstrumentInTable(const char* code, TMarketData* table) {
  if (table == nullptr) return nullptr;
  const int position = table->FindCode(code);
  return position < 0 ? nullptr : &table->names[position];
}

InstrumentRecord* FindInstrumentInMarket(const char* code, int market) {
  return FindInstrumentInTable(code, GetMarketTable(market));
}

InstrumentRecord* FindInstrumentFromMarket(const char* code, int* market) {
  if (code == nullptr || code[0] == '\0') return nullptr;
  const int first = market != nullptr ? std::max(*market, 0) : 0;
  for (int m = first; m < MarketCount && m < kMaxMarkets; ++m) {
    InstrumentRecord* found = FindInstrumentInTable(code, MarketTables[m]);
    if (found != nullptr) {
      if (market != nullptr) *market = m;
      return found;
    }
  }
  return nullptr;
}

int FindStkPtrByCode(const char* code, int* marketHint, STKPTR* out, bool searchOthers) {
  if (code == nullptr || marketHint == nullptr) return 0;
  const int hint = *marketHint;
  if (hint < 0 || hint >= MarketCount || hint >= kMaxMarkets) return 0;
  int position = MarketTables[hint] != nullptr ? MarketTables[hint]->FindCode(code) : -1;
  if (position >= 0) {
    if (out != nullptr) *out = STKPTR(static_cast<unsigned char>(hint), 0, static_cast<unsigned short>(position));
    return 1;
  }
  if (!searchOthers) return 0;
  for (int m = 0; m < MarketCount && m < kMaxMarkets; ++m) {
    if (m == hint || MarketTables[m] == nullptr) continue;
    position = MarketTables[m]->FindCode(code);
    if (position >= 0) {
      *marketHint = m;
      if (out != nullptr) *out = STKPTR(static_cast<unsigned char>(m), 0, static_cast<unsigned short>(position));
      return 1;
    }
  }
  return 0;
}

InstrumentRecord* FindInstrumentByCode(const char* code, int* marketHint, bool searchOthers) {
  STKPTR stk;
  if (!FindStkPtrByCode(code, marketHint, &stk, searchOthers)) return nullptr;
  return GetInstrumentRecord(stk);
}

TMarketData* FindMarketByCode(const char* code) {
  if (code == nullptr || code[0] == '\0') return nullptr;
  for (int m = 0; m < MarketCount && m < kMaxMarkets; ++m) {
    TMarketData* table = MarketTables[m];
    if (table != nullptr && CodesEqual(table->record.code, code)) return table;
  }
  return nullptr;
}

STKPTR NextInstrument(TMarketData* table, STKPTR stk) {
  if (table == nullptr || stk.market != table->market || table->count <= 0) return stk;
  const int next = stk.index + 1 >= table->count ? 0 : stk.index + 1;
  return STKPTR(stk.market, 0, static_cast<unsigned short>(next));
}

STKPTR PrevInstrument(TMarketData* table, STKPTR stk) {
  if (table == nullptr || stk.market != table->market || table->count <= 0) return stk;
  const int previous = (stk.index == 0 || stk.index > table->count) ? table->count - 1 : stk.index - 1;
  return STKPTR(stk.market, 0, static_cast<unsigned short>(previous));
}

STKPTR NextInstrument(STKPTR stk) { return NextInstrument(GetMarketTable(stk.market), stk); }

STKPTR PrevInstrument(STKPTR stk) { return PrevInstrument(GetMarketTable(stk.market), stk); }
