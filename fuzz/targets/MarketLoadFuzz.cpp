// Fuzz target "market": loading the markets offline (LoadMarkets) from mkinfo.cfg, systime.dat
// and each market's name table, quote file and alternative codes.
// Input: parts mkinfo.cfg, systime.dat, then per market (at most four) nametbl, real and
// nametble; a missing part is a missing file. Capacities above 1024 are read as 1024 so that
// an input stays quick (the tables are sized by the same code for any capacity).
// Property: the load succeeds exactly when every market's name table is there, and
// MarketCount then counts the tables in place (on failure too); each table holds the
// sanitized description (categories, offsets and sessions in range, minutes per day their
// sum), the whole name records of its file up to its capacity with market, index, terminators
// and categories made consistent, quotes from its quote file and zero beyond it; every code
// finds the first instrument of that code without regard to case; trading minutes map to
// minute indexes and back; zone offsets stay within 23 hours; the quotes a table writes when
// it goes load back the same.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/TimeZones.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr int kMaxFuzzMarkets = 4;
constexpr std::uint16_t kMaxFuzzCapacity = 1024;
constexpr std::size_t kCapacityOffset = 39;   // of MarketRecord::capacity

class SilentNotifier final : public ILoadNotifier {
 public:
  void Send(HWND, UINT, WPARAM, LPARAM) override {}
  void ShowError(const char*, const char*) override { ++errors; }
  int errors = 0;
};

struct Loaded {
  std::vector<std::string> names;    // bytes of each table's names
  std::vector<std::string> quotes;   // bytes of each table's quotes
};

Loaded Snapshot() {
  Loaded loaded;
  for (int m = 0; m < MarketCount; ++m) {
    const TMarketData* table = MarketTables[m];
    loaded.names.emplace_back(reinterpret_cast<const char*>(table->names), table->count * sizeof(InstrumentRecord));
    loaded.quotes.emplace_back(reinterpret_cast<const char*>(table->quotes), table->count * sizeof(QuoteRecord));
  }
  return loaded;
}

bool HasTrailingSpace(const char* text) {
  const std::size_t length = std::strlen(text);
  return length > 0 && text[length - 1] == ' ';
}

void CheckRecord(const MarketRecord& record) {
  FUZZ_CHECK(record.categoryCount >= 1 && record.categoryCount <= kMaxCategories, "a market has 1..15 categories");
  FUZZ_CHECK(record.hourOffset >= -kMaxHourOffset && record.hourOffset <= kMaxHourOffset, "a market's offset is +/-23 hours");
  FUZZ_CHECK(strnlen(record.name, sizeof record.name) < sizeof record.name &&
                 strnlen(record.code, sizeof record.code) < sizeof record.code &&
                 strnlen(record.fileExt, sizeof record.fileExt) < sizeof record.fileExt,
             "a market's texts end in their terminators");
  for (const CategoryRecord& category : record.categories) {
    FUZZ_CHECK(category.sessionCount <= kMaxSessions, "a category has at most 4 sessions");
    int previousClose = 0;
    int minutes = 0;
    for (int j = 0; j < category.sessionCount; ++j) {
      FUZZ_CHECK(category.openMinute[j] >= previousClose && category.openMinute[j] < category.closeMinute[j] &&
                     category.closeMinute[j] <= 1440,
                 "sessions run forward through one day");
      previousClose = category.closeMinute[j];
      minutes += category.closeMinute[j] - category.openMinute[j];
    }
    FUZZ_CHECK(category.minutesPerDay == minutes, "a category's minutes per day are its sessions' sum");
  }
}

void CheckMinutes(const TMarketData* table) {
  for (int c = 0; c < table->record.categoryCount; ++c) {
    const int minutes = table->record.categories[c].minutesPerDay;
    for (int i = 0; i < minutes; ++i) {
      FUZZ_CHECK(MinuteOfDayToIndex(table, IndexToMinuteOfDay(table, i, c), c) == i,
                 "a trading minute's index maps to its minute of day and back");
    }
    for (int m = 0; m < 1440; m += 7) {
      const int index = MinuteOfDayToIndex(table, m, c);
      FUZZ_CHECK(index >= 0 && index < std::max(minutes, 1), "every minute of the day has an index within the day");
    }
  }
}

void CheckNames(const TMarketData* table, std::string_view nametbl, std::string_view real) {
  const int expected = std::min<int>(table->capacity, static_cast<int>(nametbl.size() / sizeof(InstrumentRecord)));
  FUZZ_CHECK(table->count == expected, "a table holds the file's whole name records up to its capacity");
  for (int i = 0; i < table->count; ++i) {
    const InstrumentRecord& r = table->names[i];
    InstrumentRecord raw;
    std::memcpy(&raw, nametbl.data() + i * sizeof raw, sizeof raw);
    FUZZ_CHECK(r.market == table->market && r.index == i, "a name record holds its own market and position");
    FUZZ_CHECK(strnlen(r.code, sizeof r.code) < sizeof r.code && strnlen(r.name, sizeof r.name) < sizeof r.name &&
                   !HasTrailingSpace(r.code) && !HasTrailingSpace(r.name),
               "codes and names end in terminators, without trailing blanks");
    FUZZ_CHECK(std::strncmp(r.code, raw.code, std::strlen(r.code)) == 0, "a code is the file's code");
    FUZZ_CHECK(r.category < table->record.categoryCount, "an instrument's category is one of its market's");
    FUZZ_CHECK(r.priceDivisor == (raw.priceDivisor ? raw.priceDivisor : 1) &&
                   r.volumeDivisor == (raw.volumeDivisor ? raw.volumeDivisor : 1) && r.decimals == raw.decimals,
               "divisors are the file's, 0 read as 1");
    if (table->altCodes) FUZZ_CHECK(strnlen(table->altCodes[i].code, 7) < 7, "an alternative code ends in its terminator");
  }
  for (int i = 0; i < table->count; ++i) {
    const char* code = table->names[i].code;
    if (code[0] == '\0') continue;
    int first = 0;
    while (!gbk::EqualsNoCase(table->names[first].code, code)) ++first;
    FUZZ_CHECK(table->FindCode(code) == first, "a code finds the first instrument of that code, ignoring case");
    const std::string lower = gbk::Lower(code);
    FUZZ_CHECK(table->FindCode(lower.c_str()) == first, "a code is found in any case");
  }
  const std::size_t quotes = std::min<std::size_t>(table->count, real.size() / sizeof(QuoteRecord));
  FUZZ_CHECK(quotes == 0 || std::memcmp(table->quotes, real.data(), quotes * sizeof(QuoteRecord)) == 0,
             "quotes are the quote file's records");
  for (std::size_t i = quotes * sizeof(QuoteRecord); i < table->count * sizeof(QuoteRecord); ++i) {
    FUZZ_CHECK(reinterpret_cast<const unsigned char*>(table->quotes)[i] == 0, "instruments beyond the quote file have zero quotes");
  }
}

void CheckZones() {
  const TimeZoneTable& zones = TimeZones;
  FUZZ_CHECK(zones.zoneCount >= 0 && zones.zoneCount <= kMaxZones, "there are 0..32 zones");
  FUZZ_CHECK(zones.zoneCount == 0 ? zones.currentZone == 0 : zones.currentZone >= 0 && zones.currentZone < zones.zoneCount,
             "the current zone is one of the zones, or 0 without zones");
  for (int m = 0; m < kMaxMarkets; ++m) {
    FUZZ_CHECK(std::abs(zones.marketZoneHour[m]) <= kMaxHourOffset, "a market's zone hour is within 23 hours");
    for (int c = 0; c < kMaxCategories; ++c) {
      FUZZ_CHECK(std::abs(ZoneOffset(&zones, m, c)) <= kMaxHourOffset && zones.effective[m][c].name[31] == '\0',
                 "an effective zone offset is within 23 hours and its name terminated");
      int hour = (m + c) % 24;
      const int day = ShiftHourToZone(&zones, m, c, &hour);
      FUZZ_CHECK(day >= 1 && day <= 3 && hour >= 0 && hour < 24, "a shift moves a time by at most a day");
    }
  }
}

}  // namespace

int FuzzMarketLoad(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2 + 3 * kMaxFuzzMarkets);
  std::string mkinfo(parts[0].substr(0, kMaxFuzzMarkets * sizeof(MarketRecord)));
  for (std::size_t at = 0; at + sizeof(MarketRecord) <= mkinfo.size(); at += sizeof(MarketRecord)) {
    std::uint16_t capacity = 0;
    std::memcpy(&capacity, mkinfo.data() + at + kCapacityOffset, 2);
    capacity = std::min(capacity, kMaxFuzzCapacity);
    std::memcpy(mkinfo.data() + at + kCapacityOffset, &capacity, 2);
  }
  fuzz::Sandbox::Write("cfg/mkinfo.cfg", mkinfo);
  if (parts.size() > 1) fuzz::Sandbox::Write("cfg/systime.dat", parts[1]);

  // Each market's files where its description names them; a later market whose files have the
  // same names writes over an earlier one's.
  static constexpr const char* kBases[3] = {"nametbl", "real", "nametble"};
  const int markets = static_cast<int>(mkinfo.size() / sizeof(MarketRecord));
  std::vector<std::array<std::string, 3>> fileNames(static_cast<std::size_t>(markets));
  const std::string dataFolder = paths::Resolve("..\\data");
  for (int m = 0; m < markets; ++m) {
    MarketRecord record;
    std::memcpy(&record, mkinfo.data() + m * sizeof(MarketRecord), sizeof record);
    const TMarketData probe(m, record);   // for its file names only: never loaded, so it writes nothing
    for (int f = 0; f < 3; ++f) {
      char path[MAX_PATH];
      if (!probe.MarketFilePath(kBases[f], path, sizeof path)) continue;
      FUZZ_CHECK(fuzz::Sandbox::IsInside(paths::Resolve(path), dataFolder), "a market's files lie in the data folder");
      fileNames[m][f] = gbk::Upper(path);
    }
  }
  std::map<std::string, std::string_view> written;   // folded path -> bytes
  for (int m = 0; m < markets; ++m) {
    for (int f = 0; f < 3; ++f) {
      const std::size_t part = 2 + 3 * static_cast<std::size_t>(m) + f;
      if (fileNames[m][f].empty() || part >= parts.size()) continue;
      fuzz::Sandbox::WriteAbsolute(paths::Resolve(fileNames[m][f]), parts[part]);
      written[fileNames[m][f]] = parts[part];
    }
  }
  bool everyNameTable = true;
  std::vector<std::string_view> nametbl(static_cast<std::size_t>(markets)), real(static_cast<std::size_t>(markets));
  std::vector<bool> ownQuoteFile(static_cast<std::size_t>(markets), true);
  for (int m = 0; m < markets; ++m) {
    const auto names = written.find(fileNames[m][0]);
    if (fileNames[m][0].empty() || names == written.end()) everyNameTable = false;
    else nametbl[m] = names->second;
    if (const auto quotes = written.find(fileNames[m][1]); !fileNames[m][1].empty() && quotes != written.end()) real[m] = quotes->second;
    for (int other = 0; other < markets; ++other) {
      if (other != m && !fileNames[m][1].empty() && fileNames[m][1] == fileNames[other][1]) ownQuoteFile[m] = false;
    }
  }
  DeleteMarketTables();

  SilentNotifier notifier;
  const int loaded = LoadMarkets(true, nullptr, &notifier);
  FUZZ_CHECK(loaded == (everyNameTable ? 1 : 0), "the load succeeds exactly when every market's name table is there");
  FUZZ_CHECK((notifier.errors > 0) == !loaded, "a failed load tells the user, a good one does not");
  FUZZ_CHECK(MarketCount >= 0 && MarketCount <= markets, "MarketCount counts loaded tables");
  for (int m = 0; m < kMaxMarkets; ++m) {
    FUZZ_CHECK((MarketTables[m] != nullptr) == (m < MarketCount), "every slot below MarketCount holds a table, no other");
  }
  if (!loaded) FUZZ_CHECK(MarketCount < markets, "a failed load stops at the failed market");
  CheckZones();
  for (int m = 0; m < MarketCount; ++m) {
    const TMarketData* table = MarketTables[m];
    FUZZ_CHECK(table->market == m && table->status == 0, "a table holds its market number");
    CheckRecord(table->record);
    CheckMinutes(table);
    CheckNames(table, nametbl[m], real[m]);
  }

  // The quotes each table writes when it goes load back the same.
  const Loaded before = Snapshot();
  const int count = MarketCount;
  DeleteMarketTables();
  if (!loaded) return 0;
  FUZZ_CHECK(LoadMarkets(true, nullptr, &notifier) == 1 && MarketCount == count, "the markets load again");
  const Loaded after = Snapshot();
  for (int m = 0; m < count; ++m) {
    FUZZ_CHECK(after.names[m] == before.names[m], "the name tables load the same again");
    if (ownQuoteFile[m]) FUZZ_CHECK(after.quotes[m] == before.quotes[m], "the quotes a table saved load back the same");
  }
  return 0;
}
