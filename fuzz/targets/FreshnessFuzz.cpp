// Fuzz target "freshness": the local cache files a request looks at before it asks the server
// (a bar file with its trim, the .tik and .TRD files, an information index with its ".txt"
// twin, an ex-rights file and a notes list), through the request operations of a request client
// that is not connected, on a market "SH" of one instrument "600000" of category 0 whose user
// holds the right to it. The queue keeps the requests; it is emptied after every operation.
// Input: a control part (flags, the market clock, the trading-date mode, the hour offset, the
// day-change minute, the files' last-write times as minutes from the market clock, the login
// time, the chart cycle and multiplier, the index number, the quote's volume and price, the
// notes list number); then, after part separators, the bar file, the .tik file, the .TRD file
// and the index file (whose bytes also make the ex-rights file and the notes list); a missing
// part, no file. A single part is the bar file under a default control.
// Property: a bar file written before the market's date loses exactly its incomplete bars (the
// day file its last five, an intraday file the run of its last date, all of it when that run is
// longer than a day of minutes) and keeps its last-write time; one written since is untouched;
// the freshness test never changes a bar file; a bar request asks newer bars from the day
// after the last bar, before the market's date, only for a file written before that date, older
// bars up to before the first bar unless the file holds the bar limit, everything without one
// whole bar. A tick or trade-details file is deleted exactly when the tick cache's stale rule
// says so, the request asks exactly on a weekday of the trading day, for the records after
// those the file keeps, and the tick cache's reader counts the same records; the quote takes
// only the last record's price (and the minute's volume) when that shows more volume. An
// index, ex-rights file or notes list is kept exactly while written on the market's trading
// day (an index also since the login), and a kept one is asked again only where its kind says.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/TickCache.h"
#include "data/UtilData.h"
#include "net/CacheFreshness.h"
#include "net/NormalClnt.h"
#include "net/RequestQueue.h"
#include "net/RequestRecord.h"
#include "net/ServerRights.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;
namespace fs = std::filesystem;

namespace {

constexpr const char* kCode = "600000";
constexpr std::uint32_t kBarBytes = sizeof(ChartBar);
constexpr int kFileBar = 0, kFileTick = 1, kFileDetails = 2, kFileIndex = 3, kFileWeights = 4, kFileNotes = 5;
constexpr int kFiles = 6;
// File times reach ten years either side of the market clock.
constexpr std::int64_t kOffsetRangeMinutes = 3660LL * 1440;

struct Setting {
  bool older = false;
  bool smallBarLimit = false;
  PackedTime now = MakePackedTime(2024, 6, 26, 10, 0);   // a Wednesday
  int tradingDateMode = 0;
  int hourOffset = 8;
  int dayChangeMinute = 530;
  std::int64_t writtenOffset[kFiles] = {-1440, -30, -30, -30, -30, -30};
  int loginOffset = -120;   // minutes from the market clock
  int cycle = 9;
  int n = 1;
  int indexNumber = 3;
  float quoteVolume = 0;
  std::uint32_t quoteLast = 0;
  int notesList = 0;
};

Setting ReadSetting(std::string_view bytes) {
  fuzz::ControlReader control(bytes);
  Setting s;
  const std::uint8_t flags = control.U8(0);
  s.older = flags & 1;
  s.smallBarLimit = flags & 2;
  const int year = 2000 + control.U8(24) % 40;
  const int month = 1 + control.U8(5) % 12;
  const int day = 1 + control.U8(25) % DaysInMonth(year, month);
  const int hour = control.U8(10) % 24;
  const int minute = control.U8(0) % 60;
  s.now = MakePackedTime(year, month, day, hour, minute);
  s.tradingDateMode = control.U8(0) % 3;
  s.hourOffset = static_cast<std::int8_t>(control.U8(8)) % 24;
  s.dayChangeMinute = control.U16(530) % 1440;
  for (int f = 0; f < kFiles; ++f) {
    const auto fallback = static_cast<std::uint32_t>(static_cast<std::int32_t>(s.writtenOffset[f]));
    s.writtenOffset[f] = static_cast<std::int32_t>(control.U32(fallback)) % kOffsetRangeMinutes;
  }
  s.loginOffset = static_cast<std::int16_t>(control.U16(static_cast<std::uint16_t>(-120)));
  s.cycle = static_cast<std::int8_t>(control.U8(9));
  s.n = static_cast<std::int16_t>(control.U16(1));
  s.indexNumber = static_cast<std::int8_t>(control.U8(3));
  s.quoteVolume = static_cast<float>(control.U32(0));
  s.quoteLast = control.U32(0);
  s.notesList = control.U8(0) % 2;
  return s;
}

// ---- Times: the harness's own arithmetic on seconds, independent of PackedTime's --------------

std::time_t SecondsOf(PackedTime t) {
  std::tm fields{};
  fields.tm_year = PackedYear(t) - 1900;
  fields.tm_mon = PackedMonth(t) - 1;
  fields.tm_mday = PackedDay(t);
  fields.tm_hour = PackedHour(t);
  fields.tm_min = PackedMinute(t);
  return timegm(&fields);
}

PackedTime PackedOf(std::time_t seconds) {
  std::tm fields{};
  gmtime_r(&seconds, &fields);
  return MakePackedTime(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min);
}

// The trading day (days since 1970) of a market-local time: a day back before the day change
// has passed, then back over a weekend.
std::int64_t TradingDayOf(std::time_t local, int dayChangeMinute) {
  std::int64_t day = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const std::int64_t minute = (local - day * 86400) / 60;
  if (minute < dayChangeMinute + 2) --day;
  const std::int64_t weekday = ((day % 7) + 11) % 7;   // 1970-01-01 was a Thursday: 0 Sunday .. 6 Saturday
  if (weekday == 6) day -= 1;
  if (weekday == 0) day -= 2;
  return day;
}

std::int64_t DayNumber(std::time_t local) { return local >= 0 ? local / 86400 : (local - 86399) / 86400; }

struct Files {
  std::string path[kFiles];       // as the program names them
  std::string resolved[kFiles];   // POSIX
  std::string bytes[kFiles];
  bool present[kFiles] = {};
  std::time_t local[kFiles] = {};   // market-local last-write time
};

void StampFile(const std::string& path, std::time_t local, int hourOffset) {
  std::tm utc{};
  const std::time_t seconds = local - static_cast<std::time_t>(hourOffset) * 3600;
  gmtime_r(&seconds, &utc);
  SYSTEMTIME system{};
  system.wYear = static_cast<WORD>(utc.tm_year + 1900);
  system.wMonth = static_cast<WORD>(utc.tm_mon + 1);
  system.wDay = static_cast<WORD>(utc.tm_mday);
  system.wHour = static_cast<WORD>(utc.tm_hour);
  system.wMinute = static_cast<WORD>(utc.tm_min);
  FILETIME written{};
  files::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FUZZ_CHECK(file.ok() && SystemTimeToFileTime(&system, &written) && SetFileTime(file.get(), nullptr, nullptr, &written),
             "the harness sets a file's time");
}

void PlaceFile(Files& f, int which, const std::string& path, std::string_view bytes, const Setting& s, bool present) {
  f.path[which] = path;
  f.resolved[which] = paths::Resolve(path);
  FUZZ_CHECK(fuzz::Sandbox::IsInside(f.resolved[which], paths::Resolve("..\\data")), "a cache file lies in the data folder");
  f.present[which] = present;
  if (!present) return;
  f.bytes[which] = std::string(bytes);
  f.local[which] = SecondsOf(s.now) + static_cast<std::time_t>(s.writtenOffset[which]) * 60;
  fuzz::Sandbox::WriteAbsolute(f.resolved[which], bytes);
  StampFile(path, f.local[which], s.hourOffset);
}

TMarketData* InstallMarket(const Setting& s) {
  const MarketRecord record =
      fuzz::TwoSessionMarket(1, "SH", s.hourOffset, 2, s.dayChangeMinute);
  auto* table = new TMarketData(0, record);
  FUZZ_CHECK(table->names != nullptr && table->quotes != nullptr, "a small market gets its arrays");
  std::memcpy(table->names[0].code, kCode, std::strlen(kCode));
  table->count = 1;
  table->FinishNameTable();
  table->now = s.now;
  table->minuteOfDay = static_cast<std::uint16_t>(PackedHour(s.now) * 60 + PackedMinute(s.now));
  table->tradingDate[0] = s.now;
  if (s.tradingDateMode == 1) PrevDay(&table->tradingDate[0]);
  if (s.tradingDateMode == 2) NextDay(&table->tradingDate[0]);
  MarketTables[0] = table;
  MarketCount = 1;
  return table;
}

// The live requests the queue holds (it sends nothing without a client, so they stay).
std::vector<RequestRecord> QueuedRequests() {
  const zuvo::net::RequestQueueState state = zuvo::net::GetRequestQueueState();
  std::vector<RequestRecord> records;
  for (int at = state.inFlightStart; at != state.writePos; at = (at + 1) % kRequestQueueSlots) {
    const RequestRecord& record = zuvo::net::RequestQueueSlot(at);
    if (record.kind != kRequestWithdrawn) records.push_back(record);
  }
  return records;
}

// The one request an operation queued, or none; its instrument must be the market's.
bool TakeRequest(RequestRecord* out) {
  const std::vector<RequestRecord> records = QueuedRequests();
  FUZZ_CHECK(records.size() <= 1, "an operation queues at most one request");
  ResetRequestQueue();
  if (records.empty()) return false;
  *out = records[0];
  return true;
}

bool IsInstrumentRequest(const RequestRecord& r, std::uint8_t kind, std::uint32_t requester) {
  return r.kind == kind && r.market == 0 && r.requester == requester && std::strcmp(r.code, kCode) == 0;
}

fs::file_time_type WriteTime(const std::string& resolved) {
  std::error_code ignored;
  return fs::last_write_time(resolved, ignored);
}

PackedTime BarTime(const std::string& bytes, std::uint32_t bar) {
  ChartBar value{};
  std::memcpy(&value, bytes.data() + static_cast<std::size_t>(bar) * kBarBytes, kBarBytes);
  return value.time;
}

// The bars an untrusted file keeps after the trim, counted from the file's own dates.
std::uint32_t ExpectedKeptBars(const std::string& bytes, int fileKind) {
  const auto bars = static_cast<std::uint32_t>(bytes.size() / kBarBytes);
  if (fileKind == kBarFileDay) return bars > 5 ? bars - 5 : 0;
  if (bars <= 1) return 0;
  const PackedTime lastDate = PackedDate(BarTime(bytes, bars - 1));
  std::uint32_t runStart = bars - 1;
  while (runStart > 0 && PackedDate(BarTime(bytes, runStart - 1)) == lastDate) --runStart;
  return bars - runStart > 1440 ? 0 : runStart;
}

// ---- Bars --------------------------------------------------------------------------------------

void CheckBars(TNormalClnt& client, TMarketData* table, Files& f, const Setting& s) {
  const int fileKind = BarFileKindForCycle(s.cycle, s.n);
  FUZZ_CHECK(fileKind == kBarFile1Min || fileKind == kBarFile5Min || fileKind == kBarFile60Min || fileKind == kBarFileDay,
             "every chart cycle has a bar file");
  const std::string& original = f.bytes[kFileBar];
  const fs::file_time_type stamped = WriteTime(f.resolved[kFileBar]);
  const bool present = f.present[kFileBar];
  const std::int64_t marketDay = DayNumber(SecondsOf(s.now));
  const bool writtenBefore = present && DayNumber(f.local[kFileBar]) < marketDay;

  const std::uint32_t requester = 7;
  client.RequestHistoryBars(0, 0, 0, s.cycle, s.n, s.older ? 1 : 0, requester);
  RequestRecord r;
  const bool asked = TakeRequest(&r);

  std::string trimmed;
  if (present) {
    FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(f.resolved[kFileBar]), "a bar file is never deleted");
    trimmed = fuzz::Sandbox::ReadAbsolute(f.resolved[kFileBar]);
    const std::size_t expected =
        writtenBefore ? static_cast<std::size_t>(ExpectedKeptBars(original, fileKind)) * kBarBytes : original.size();
    FUZZ_CHECK(trimmed.size() == expected && original.compare(0, expected, trimmed) == 0,
               "the trim cuts exactly the incomplete bars of a file written before today, and nothing else");
    FUZZ_CHECK(WriteTime(f.resolved[kFileBar]) == stamped, "the trim keeps the file's last-write time");
  }

  const std::uint8_t kind = fileKind == kBarFileDay ? kRequestDayBars : kRequestIntradayBars;
  const auto bars = static_cast<std::uint32_t>(trimmed.size() / kBarBytes);
  const PackedTime marketDate = PackedDate(s.now);
  if (bars == 0) {
    FUZZ_CHECK(asked && r.value1 == 0 && r.value2 == 0, "a file without one whole bar asks for everything");
  } else if (!s.older) {
    const PackedTime lastDate = PackedDate(BarTime(trimmed, bars - 1));
    const PackedTime from = PackedDate(DayAfter(lastDate));
    const bool expectAsk = from < marketDate && DayNumber(f.local[kFileBar]) < marketDay;
    FUZZ_CHECK(asked == expectAsk,
               "newer bars are asked exactly while the day after the last bar is before today and the file is from before today");
    if (asked) {
      FUZZ_CHECK(r.value1 == from && r.value2 == 0, "newer bars are asked from the day after the last bar");
      if (IsValidPackedTime(lastDate) && PackedYear(lastDate) < 4095) {
        FUZZ_CHECK(r.value1 > lastDate, "the day after the last bar is after it");
      }
    }
  } else {
    const bool full = static_cast<std::int64_t>(bars) >= MaxDataRecords;
    FUZZ_CHECK(asked == !full, "older bars are asked unless the file holds the bar limit");
    const PackedTime first = BarTime(trimmed, 0);
    if (asked && IsValidPackedTime(first)) {
      FUZZ_CHECK(r.value1 == 0 && r.value2 < first, "older bars end before the first bar");
      if (kind == kRequestDayBars) FUZZ_CHECK(PackedDate(r.value2) == r.value2, "older day bars end at a date");
    }
  }
  if (asked) {
    FUZZ_CHECK(IsInstrumentRequest(r, kind, requester) && r.param == fileKind, "a bar request names its instrument and file");
  }

  // The test itself leaves the file as it is, and says the same the second time.
  if (present) {
    const fs::file_time_type before = WriteTime(f.resolved[kFileBar]);
    bool verdict[2];
    std::uint32_t values[2][2];
    for (int round = 0; round < 2; ++round) {
      values[round][0] = static_cast<std::uint32_t>(fileKind);
      values[round][1] = 0;
      verdict[round] = CheckCacheFreshness(kind, table, 0, f.path[kFileBar].c_str(), &values[round][0], &values[round][1],
                                           s.older, 0);
    }
    FUZZ_CHECK(verdict[0] == verdict[1] && values[0][0] == values[1][0] && values[0][1] == values[1][1],
               "the freshness test of a bar file gives the same answer twice");
    FUZZ_CHECK(fuzz::Sandbox::ReadAbsolute(f.resolved[kFileBar]) == trimmed && WriteTime(f.resolved[kFileBar]) == before,
               "the freshness test never changes a bar file");
  }
}

// ---- Ticks and trade details -------------------------------------------------------------------

void CheckTradeFile(TNormalClnt& client, TMarketData* table, Files& f, const Setting& s, bool details) {
  const int which = details ? kFileDetails : kFileTick;
  const std::uint32_t headBytes = details ? sizeof(TradeDetailsHeader) : 0;
  const std::uint32_t recordBytes = details ? sizeof(TodayMinuteRecord) : sizeof(TradeRecord);
  const std::string& bytes = f.bytes[which];
  const bool present = f.present[which];
  const std::uint32_t records =
      present && bytes.size() >= headBytes ? static_cast<std::uint32_t>((bytes.size() - headBytes) / recordBytes) : 0;

  // The tick cache's stale rule, and whether the trading day is on.
  const std::time_t nowSeconds = SecondsOf(s.now);
  const int weekday = GetWeekday(s.now);
  const bool tradingToday = weekday != 0 && weekday != 6 && CompareDate(table->tradingDate[0], s.now) == 0;
  bool stale = false;
  if (present) {
    const bool sameDate = DayNumber(f.local[which]) == DayNumber(nowSeconds);
    const auto writtenMinute = static_cast<int>((f.local[which] - DayNumber(f.local[which]) * 86400) / 60);
    stale = !sameDate || (tradingToday && writtenMinute < s.dayChangeMinute + 2);
  }
  const bool expectAsk = !present || !(DayNumber(f.local[which]) == DayNumber(nowSeconds)) || tradingToday;
  const std::uint32_t expectHeld = present && !stale ? records : 0;

  QuoteRecord& quote = table->quotes[0];
  quote.volume = s.quoteVolume;
  quote.last = s.quoteLast;
  const std::uint32_t requester = details ? 11 : 10;
  if (details) {
    client.RequestTradeDetails(0, 0, requester);
  } else {
    client.RequestTicks(0, 0, requester);
  }
  // A repeat while the first waits asks nothing more.
  if (details) {
    client.RequestTradeDetails(0, 0, requester + 100);
  } else {
    client.RequestTicks(0, 0, requester + 100);
  }
  RequestRecord r;
  const bool asked = TakeRequest(&r);
  FUZZ_CHECK(asked == expectAsk, "a trade file is asked for exactly when missing, stale or on a weekday of the trading day");
  if (asked) {
    FUZZ_CHECK(IsInstrumentRequest(r, details ? kRequestTradeDetails : kRequestTicks, requester) &&
                   r.param == (details ? 1 : 0) && r.value1 == expectHeld,
               "a trade file's request asks for the records after those the file keeps");
  }
  if (present) {
    FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(f.resolved[which]) == !stale, "a trade file is deleted exactly when stale");
    if (!stale) FUZZ_CHECK(fuzz::Sandbox::ReadAbsolute(f.resolved[which]) == bytes, "a kept trade file is untouched");
  }
  const int counted = details ? CountTradeDetailsFile(table, 0) : CountTickFile(table, 0);
  FUZZ_CHECK(counted == static_cast<int>(expectHeld), "the tick cache's reader keeps what the request kept");

  // The quote takes the last record only when it shows more volume than the quote has.
  std::uint32_t price = s.quoteLast;
  float volume = s.quoteVolume;
  if (expectHeld > 0) {
    const std::size_t lastAt = headBytes + static_cast<std::size_t>(expectHeld - 1) * recordBytes;
    if (details) {
      TodayMinuteRecord minute{};
      std::memcpy(&minute, bytes.data() + lastAt, sizeof minute);
      if (s.quoteVolume < minute.cumVolume) {
        price = minute.price;
        volume = minute.cumVolume;
      }
    } else {
      TradeRecord trade{};
      std::memcpy(&trade, bytes.data() + lastAt, sizeof trade);
      if (s.quoteVolume < trade.volume) price = trade.price;
    }
  }
  FUZZ_CHECK(quote.last == price && std::memcmp(&quote.volume, &volume, sizeof volume) == 0,
             "the quote takes the last record's price (and a minute's volume) only when it shows more volume");
}

// ---- Index, ex-rights file, notes list ---------------------------------------------------------

bool CurrentTradingDay(const Files& f, int which, const Setting& s) {
  return TradingDayOf(f.local[which], s.dayChangeMinute) == TradingDayOf(SecondsOf(s.now), s.dayChangeMinute);
}

void CheckIndex(TNormalClnt& client, Files& f, const Setting& s, const std::string& twin) {
  const bool present = f.present[kFileIndex];
  const PackedTime login = PackedOf(SecondsOf(s.now) - static_cast<std::time_t>(s.hourOffset) * 3600 +
                                    static_cast<std::time_t>(s.loginOffset) * 60);
  client.loginYear = PackedYear(login);
  client.loginMonth = PackedMonth(login);
  client.loginDay = PackedDay(login);
  client.loginHour = PackedHour(login);
  client.loginMinute = PackedMinute(login);
  const std::time_t loginSeconds = SecondsOf(login) + static_cast<std::time_t>(s.hourOffset) * 3600;   // market-local
  // The file's minute in UTC against the login's: the same minute counts as after it.
  const bool kept = present && f.local[kFileIndex] / 60 >= loginSeconds / 60 && CurrentTradingDay(f, kFileIndex, s);
  const int number = s.indexNumber;
  const bool expectAsk = !kept || (number != 1 && number != 2);

  const std::uint32_t requester = 5;
  const bool result = client.RequestInfoMineIndex(0, 0, s.indexNumber, requester);
  RequestRecord r;
  const bool asked = TakeRequest(&r);
  FUZZ_CHECK(result == asked, "the index request says whether it asked");
  FUZZ_CHECK(asked == expectAsk, "an index is asked again unless it is current and of number 1 or 2");
  if (asked) {
    const std::uint32_t held = kept && number == 3 ? static_cast<std::uint32_t>(f.bytes[kFileIndex].size() / 256) : 0;
    FUZZ_CHECK(IsInstrumentRequest(r, kRequestInfoIndex, requester) && r.value1 == static_cast<std::uint32_t>(number) &&
                   r.value2 == held,
               "an index request names its number and, for index 3, the records held");
  }
  if (present) {
    FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(f.resolved[kFileIndex]) == kept &&
                   fuzz::Sandbox::ExistsAbsolute(twin) == kept,
               "an index and its text go together exactly when the index is not current");
    if (kept) FUZZ_CHECK(fuzz::Sandbox::ReadAbsolute(f.resolved[kFileIndex]) == f.bytes[kFileIndex], "a kept index is untouched");
  }
}

void CheckTradingDayFile(TNormalClnt& client, Files& f, const Setting& s, int which) {
  const bool kept = f.present[which] && CurrentTradingDay(f, which, s);
  if (which == kFileWeights) {
    client.RequestWeights(0, 0, 6);
  } else {
    client.RequestNotesList(s.notesList);
  }
  RequestRecord r;
  const bool asked = TakeRequest(&r);
  FUZZ_CHECK(asked == !kept, "a file of the trading day is asked for exactly when missing or of another trading day");
  if (asked) {
    FUZZ_CHECK(which == kFileWeights ? IsInstrumentRequest(r, kRequestExRights, 6)
                                     : r.kind == kRequestNotesList && r.market == s.notesList,
               "the request names its file");
  }
  if (f.present[which]) {
    FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(f.resolved[which]) == kept, "a file of another trading day is deleted");
    if (kept) FUZZ_CHECK(fuzz::Sandbox::ReadAbsolute(f.resolved[which]) == f.bytes[which], "a kept file is untouched");
  }
}

}  // namespace

int FuzzFreshness(const std::uint8_t* data, std::size_t size) {
  auto [control, parts] =
      fuzz::SplitControlAndParts(std::string_view(reinterpret_cast<const char*>(data), size), 5);
  const Setting s = ReadSetting(control);
  TMarketData* table = InstallMarket(s);
  const int savedBarLimit = MaxDataRecords;
  MaxDataRecords = s.smallBarLimit ? kMinMaxDataRecords : kDefaultMaxDataRecords;
  std::uint8_t rights[128] = {};
  rights[2] = 0x80;   // market 0, category 0
  zuvo::net::TakeServerRights(rights);
  ResetRequestQueue();

  const auto part = [&](int k) { return static_cast<std::size_t>(k) < parts.size() ? parts[static_cast<std::size_t>(k)] : std::string_view(); };
  const auto has = [&](int k) { return static_cast<std::size_t>(k) < parts.size(); };
  Files f;
  std::string path;
  FUZZ_CHECK(BarFilePath(BarFileKindForCycle(s.cycle, s.n), table, kCode, path), "the bar file has a name");
  PlaceFile(f, kFileBar, path, part(0), s, has(0));
  FUZZ_CHECK(CacheFilePath(CacheFile::Ticks, table, kCode, path), "the tick file has a name");
  PlaceFile(f, kFileTick, path, part(1), s, has(1));
  FUZZ_CHECK(CacheFilePath(CacheFile::TradeDetails, table, kCode, path), "the trade-details file has a name");
  PlaceFile(f, kFileDetails, path, part(2), s, has(2));
  FUZZ_CHECK(InfoIndexFilePath(table, kCode, static_cast<std::uint32_t>(s.indexNumber), path), "the index has a name");
  PlaceFile(f, kFileIndex, path, part(3), s, has(3));
  std::string twin;
  if (has(3)) {
    twin = f.resolved[kFileIndex].substr(0, f.resolved[kFileIndex].size() - 3) + "txt";
    fuzz::Sandbox::WriteAbsolute(twin, "text");
  }
  FUZZ_CHECK(CacheFilePath(CacheFile::Weights, table, kCode, path), "the ex-rights file has a name");
  PlaceFile(f, kFileWeights, path, part(3), s, has(3));
  FUZZ_CHECK(NotesListFilePath(s.notesList, path), "the notes list has a name");
  PlaceFile(f, kFileNotes, path, part(3), s, has(3));

  {
    TNormalClnt client;
    CheckBars(client, table, f, s);
    CheckTradeFile(client, table, f, s, false);
    CheckTradeFile(client, table, f, s, true);
    CheckIndex(client, f, s, twin);
    CheckTradingDayFile(client, f, s, kFileWeights);
    CheckTradingDayFile(client, f, s, kFileNotes);
  }

  ResetRequestQueue();
  zuvo::net::ClearServerRights();
  MaxDataRecords = savedBarLimit;
  return 0;
}
