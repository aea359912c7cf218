// Fuzz target "tickcache": the three caches of today's trading detail (.tik trades, .nnt
// newest trades, .TRD minutes with their head) with the stale rule, and the cache file names
// built from market and instrument codes.
// Input: a control part (flags, market and instrument codes, market kind, hour offset,
// day-change minute, market clock, trading date, the files' last-write times and the counts
// asked for); then, after part separators, the .tik, .nnt and .TRD files (a missing part, no
// file). A single part is the .tik file under a default control.
// Property: a cache file of any code lies in the market's tick folder; a file is deleted by
// the stale rule exactly when its last-write time in market time is not on the market's date,
// or is before the category's day change on a weekday whose trading day already changed;
// a kept file counts its whole records after its head and reads back as its very bytes (at
// most the count asked, the head's four fields from its first 16 bytes); the reads by
// instrument reference give the whole cache in a buffer that holds it; deleting the
// instrument's cache files removes them and nothing outside its market's folders.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/MarketData.h"
#include "data/TickCache.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

struct Kind {
  CacheFile file;
  std::uint32_t headBytes;
  std::uint32_t recordBytes;
};

constexpr Kind kKinds[3] = {{CacheFile::Ticks, 0, sizeof(TradeRecord)},
                            {CacheFile::RecentTrades, 0, sizeof(TradeRecord)},
                            {CacheFile::TradeDetails, sizeof(TradeDetailsHeader), sizeof(TodayMinuteRecord)}};

struct Setting {
  std::string marketCode = "SH";
  std::string instrumentCode = "600100";
  int kind = 1;
  int hourOffset = 8;
  int dayChangeMinute = 530;
  PackedTime now = MakePackedTime(2024, 6, 28, 15, 0);
  int tradingDateMode = 0;
  int writtenOffsetMinutes[3] = {0, 0, 0};
  std::uint16_t counts[3] = {0xFFFF, 0xFFFF, 0xFFFF};
  std::uint16_t bufferRecords[3] = {0, 0, 0};
};

Setting ReadSetting(std::string_view bytes) {
  fuzz::ControlReader control(bytes);
  Setting s;
  const std::uint8_t flags = control.U8(0);
  if (flags & 1) s.marketCode = std::string(control.Bytes(9));
  if (flags & 2) s.instrumentCode = std::string(control.Bytes(7));
  s.kind = control.U8(1);
  s.hourOffset = static_cast<std::int8_t>(control.U8(8));
  s.dayChangeMinute = control.U16(530) % 2048;
  const int year = 2000 + control.U8(24) % 40;
  const int month = 1 + control.U8(5) % 12;
  const int day = 1 + control.U8(27) % DaysInMonth(year, month);
  const int hour = control.U8(15) % 24;
  const int minute = control.U8(0) % 60;
  s.now = MakePackedTime(year, month, day, hour, minute);
  s.tradingDateMode = control.U8(0) % 3;
  for (int& offset : s.writtenOffsetMinutes) offset = static_cast<std::int16_t>(control.U16(0));
  for (std::uint16_t& count : s.counts) count = control.U16(0xFFFF);
  for (std::uint16_t& records : s.bufferRecords) records = control.U16(0);
  return s;
}

// The UTC time of a market time moved by `minutes`, as a file time.
FILETIME FileTimeOf(PackedTime marketTime, int hourOffset, int minutes) {
  std::tm fields{};
  fields.tm_year = PackedYear(marketTime) - 1900;
  fields.tm_mon = PackedMonth(marketTime) - 1;
  fields.tm_mday = PackedDay(marketTime);
  fields.tm_hour = PackedHour(marketTime);
  fields.tm_min = PackedMinute(marketTime);
  const std::time_t utc = timegm(&fields) - hourOffset * 3600 + static_cast<std::time_t>(minutes) * 60;
  std::tm back{};
  gmtime_r(&utc, &back);
  SYSTEMTIME system{};
  system.wYear = static_cast<WORD>(back.tm_year + 1900);
  system.wMonth = static_cast<WORD>(back.tm_mon + 1);
  system.wDay = static_cast<WORD>(back.tm_mday);
  system.wHour = static_cast<WORD>(back.tm_hour);
  system.wMinute = static_cast<WORD>(back.tm_min);
  FILETIME result{};
  FUZZ_CHECK(SystemTimeToFileTime(&system, &result), "the harness's file time converts");
  return result;
}

// The stale rule as the cache's contract states it.
bool ExpectStale(const TMarketData& table, const FILETIME& lastWrite) {
  SYSTEMTIME utc{};
  FileTimeToSystemTime(&lastWrite, &utc);
  const PackedTime written =
      AddHoursWithDayCarry(MakePackedTime(utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute), table.record.hourOffset);
  if (CompareDate(written, table.now) != 0) return true;
  const int weekday = GetWeekday(table.now);
  if (weekday == 0 || weekday == 6) return false;
  if (CompareDate(table.tradingDate[0], table.now) != 0) return false;
  const int writtenMinute = PackedHour(written) * 60 + PackedMinute(written);
  return writtenMinute < table.record.categories[0].dayChangeMinute + 2;
}

TMarketData* InstallMarket(const Setting& s) {
  const MarketRecord record =
      fuzz::TwoSessionMarket(s.kind, s.marketCode, s.hourOffset, 4, s.dayChangeMinute);
  auto* table = new TMarketData(0, record);
  FUZZ_CHECK(table->names != nullptr, "a small market gets its arrays");
  std::memcpy(table->names[0].code, s.instrumentCode.data(), std::min(s.instrumentCode.size(), sizeof table->names[0].code));
  table->count = 1;
  table->FinishNameTable();
  table->now = s.now;
  table->tradingDate[0] = s.now;
  if (s.tradingDateMode == 1) PrevDay(&table->tradingDate[0]);
  if (s.tradingDateMode == 2) NextDay(&table->tradingDate[0]);
  MarketTables[0] = table;
  MarketCount = 1;
  return table;
}

int CountOf(int kind, TMarketData* table) {
  switch (kind) {
    case 0: return CountTickFile(table, 0);
    case 1: return CountRecentFile(table, 0);
    default: return CountTradeDetailsFile(table, 0);
  }
}

void CheckKind(int k, TMarketData* table, const Setting& s, const std::vector<std::string_view>& files) {
  const Kind& kind = kKinds[k];
  std::string path;
  const bool named = CacheFilePath(kind.file, table, InstrumentCode(&table->names[0]).c_str(), path);
  const bool present = named && static_cast<std::size_t>(k) < files.size();
  std::string resolved;
  bool stale = false;
  if (named) {
    resolved = paths::Resolve(path);
    std::string folder;
    FUZZ_CHECK(CacheFolderPath(kind.file, table, folder), "a market that names files names their folder");
    const std::string tickFolder = paths::Resolve(folder);
    FUZZ_CHECK(fuzz::Sandbox::IsInside(resolved, tickFolder) && resolved.find('/', tickFolder.size() + 1) == std::string::npos,
               "a cache file of any code lies in its market's tick folder");
    FUZZ_CHECK(fuzz::Sandbox::IsInside(tickFolder, paths::Resolve("..\\data")), "a market's folders lie in the data folder");
  }
  if (present) {
    fuzz::Sandbox::WriteAbsolute(resolved, files[static_cast<std::size_t>(k)]);
    const FILETIME lastWrite = FileTimeOf(s.now, s.hourOffset, s.writtenOffsetMinutes[k]);
    files::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FUZZ_CHECK(file.ok() && SetFileTime(file.get(), nullptr, nullptr, &lastWrite), "the harness sets the file's time");
    stale = ExpectStale(*table, lastWrite);
  }

  const std::string_view bytes = present ? files[static_cast<std::size_t>(k)] : std::string_view();
  const std::uint32_t records =
      present && !stale && bytes.size() >= kind.headBytes ? static_cast<std::uint32_t>((bytes.size() - kind.headBytes) / kind.recordBytes) : 0;
  FUZZ_CHECK(CountOf(k, table) == static_cast<int>(records), "a kept file counts its whole records; a stale one is gone");
  if (present) FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(resolved) == !stale, "the stale rule deletes exactly the stale files");

  // A plain read of at most `asked` records.
  const int asked = static_cast<int>(s.counts[k] % (records + 8)) - 3;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max(asked, 0)) * kind.recordBytes + 1, 0xA5);
  int count = asked;
  TradeDetailsHeader head;
  std::memset(&head, 0x5A, sizeof head);
  int result = 0;
  switch (k) {
    case 0: result = ReadTickFile(table, 0, reinterpret_cast<TradeRecord*>(buffer.data()), &count); break;
    case 1: result = ReadRecentFile(table, 0, reinterpret_cast<TradeRecord*>(buffer.data()), &count); break;
    default:
      result = ReadTradeDetailsFile(table, 0, reinterpret_cast<TodayMinuteRecord*>(buffer.data()), &count, &head.buyVolume,
                                    &head.sellVolume, &head.refPrice, &head.refAmount);
      break;
  }
  const bool kept = present && !stale;
  FUZZ_CHECK(result == (kept ? 1 : 0), "a read succeeds exactly when a current file is there");
  if (kept) {
    const std::uint32_t expected = std::min<std::uint32_t>(records, static_cast<std::uint32_t>(std::max(asked, 0)));
    FUZZ_CHECK(count == static_cast<int>(expected), "a read gives min(records, asked) records");
    FUZZ_CHECK(std::memcmp(buffer.data(), bytes.data() + kind.headBytes, expected * kind.recordBytes) == 0 &&
                   buffer[expected * kind.recordBytes] == 0xA5,
               "the records read are the file's bytes, and no more");
    if (kind.headBytes > 0) {
      TradeDetailsHeader untouched;
      std::memset(&untouched, 0x5A, sizeof untouched);
      FUZZ_CHECK(bytes.size() >= kind.headBytes ? std::memcmp(&head, bytes.data(), sizeof head) == 0
                                                : std::memcmp(&head, &untouched, sizeof head) == 0,
                 "the head fields come from the file's first 16 bytes, or stay untouched");
    }
  }

  // The whole cache by instrument reference, into a buffer that may be too small.
  void* cache = s.bufferRecords[k] % 64 ? GuardedAlloc((s.bufferRecords[k] % 64) * kind.recordBytes) : nullptr;
  int cached = -1;
  float fields[4] = {1, 1, 1, 1};
  std::uint32_t refPrice = 1;
  switch (k) {
    case 0: result = ReadTicksOrRequest(reinterpret_cast<TradeRecord**>(&cache), STKPTR(0, 0, 0), &cached, 0); break;
    case 1: result = ReadRecentTradesOrRequest(reinterpret_cast<TradeRecord**>(&cache), STKPTR(0, 0, 0), &cached, 0); break;
    default:
      result = ReadTradeDetailsOrRequest(reinterpret_cast<TodayMinuteRecord**>(&cache), STKPTR(0, 0, 0), &cached, &fields[0],
                                         &fields[1], &refPrice, &fields[2], 0);
      break;
  }
  FUZZ_CHECK(result == 1 && cached == static_cast<int>(records), "a read by reference gives the whole cache");
  if (records > 0) {
    FUZZ_CHECK(GuardedSize(cache) >= records * kind.recordBytes &&
                   std::memcmp(cache, bytes.data() + kind.headBytes, records * kind.recordBytes) == 0,
               "the buffer of a read by reference holds the file's records");
  }
  if (k == 2) {
    TradeDetailsHeader expected{};
    if (kept && bytes.size() >= kind.headBytes) std::memcpy(&expected, bytes.data(), sizeof expected);
    const TradeDetailsHeader got{fields[0], fields[1], refPrice, fields[2]};
    FUZZ_CHECK(std::memcmp(&got, &expected, sizeof got) == 0,
               "a read by reference gives the file's head fields, or 0 without a head");
  }
  GuardedFree(cache);
}

}  // namespace

int FuzzTickCache(const std::uint8_t* data, std::size_t size) {
  auto [control, parts] =
      fuzz::SplitControlAndParts(std::string_view(reinterpret_cast<const char*>(data), size), 4);
  const Setting setting = ReadSetting(control);
  TMarketData* table = InstallMarket(setting);

  for (int k = 0; k < 3; ++k) CheckKind(k, table, setting, parts);
  for (int k = 0; k < 3; ++k) FUZZ_CHECK(CountOf(k, table) == CountOf(k, table), "the stale rule settles on first use");

  // Deleting the instrument's files touches nothing outside its market's folders.
  fuzz::Sandbox::Write("data/sentinel.tik", "x");
  fuzz::Sandbox::Write("cfg/sentinel.tik", "x");
  const int deleted = DeleteInstrumentCacheFiles(table, InstrumentCode(&table->names[0]).c_str());
  FUZZ_CHECK(fuzz::Sandbox::Read("data/sentinel.tik") == "x" && fuzz::Sandbox::Read("cfg/sentinel.tik") == "x",
             "deleting an instrument's cache touches no file outside its folders");
  if (deleted >= 0) {
    for (int k = 0; k < 3; ++k) FUZZ_CHECK(CountOf(k, table) == 0, "deleted cache files are gone");
  }
  return 0;
}
