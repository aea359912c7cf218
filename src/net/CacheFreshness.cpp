#include "net/CacheFreshness.h"

#include "core/PackedTime.h"
#include "data/BarFiles.h"
#include "data/CacheRecords.h"
#include "data/CacheFiles.h"
#include "data/Records.h"
#include "data/TickCache.h"
#include "data/UtilData.h"
#include "net/RequestRecord.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::uint32_t kBarBytes = sizeof(ChartBar);
constexpr std::uint32_t kInfoIndexRecordBytes = 256;
// The day bars a day file loses before a request: the newest days may have been written
// before they closed.
constexpr std::uint32_t kDayBarsRecut = 5;
// An intraday file holding more than a day of minutes on its last date is not trusted at all.
constexpr std::uint32_t kMinutesOfOneDay = 1440;
constexpr std::uint32_t kTrailingBarsRead = kMinutesOfOneDay + 4;

HANDLE OpenForReading(const char* path) {
  return CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
HANDLE OpenForReadingAndWriting(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

int MinuteOfDay(PackedTime t) { return PackedHour(t) * 60 + PackedMinute(t); }

// A trading day: the date, a day back when the category's day had not changed yet, then back
// over a weekend (nothing trades on Saturday or Sunday, so those dates belong to the Friday).
PackedTime TradingDayOf(PackedTime date, bool dayChanged) {
  PackedTime day = PackedDate(date);
  if (!dayChanged) PrevDay(&day);
  StepBackToWeekday(&day);
  return day;
}

std::uint32_t SizeOf(HANDLE file) {
  const DWORD size = GetFileSize(file, nullptr);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

bool ReadAt(HANDLE file, std::uint32_t offset, void* into, std::uint32_t bytes) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD got = 0;
  return ReadFile(file, into, bytes, &got, nullptr) && got == bytes;
}

// The first bar the older bars must end before: the day before a day bar's date, the minute
// before an intraday bar (a time that is no valid time stays as it is).
PackedTime BeforeFirstBar(PackedTime first, bool dayFile) {
  if (dayFile) {
    PackedTime day = PackedDate(first);
    PrevDay(&day);
    return day;
  }
  if (!IsValidPackedTime(first)) return first;
  int hour = PackedHour(first);
  int minute = PackedMinute(first) - 1;
  PackedTime date = PackedDate(first);
  if (minute < 0) {
    minute = 59;
    if (--hour < 0) {
      hour = 23;
      PrevDay(&date);
    }
  }
  return date | MakePackedTime(0, 0, 0, hour, minute);
}

bool BarRule(HANDLE file, int kind, const TMarketData* table, bool older, std::uint32_t* a, std::uint32_t* b) {
  const std::uint32_t size = SizeOf(file);
  if (size < kBarBytes) return true;
  const std::uint32_t bars = size / kBarBytes;
  const PackedTime marketDate = PackedDate(table->now);
  if (!older) {
    ChartBar last{};
    if (!ReadAt(file, (bars - 1) * kBarBytes, &last, kBarBytes)) return true;
    const PackedTime dayAfterLast = PackedDate(DayAfter(PackedDate(last.time)));
    if (dayAfterLast >= marketDate) return false;
    PackedTime written = 0;
    // A file written on the market's date was answered today; one whose time cannot be read
    // counts as old.
    if (LastWriteInMarketTime(file, table, &written) && PackedDate(written) >= marketDate) return false;
    *a = dayAfterLast;
    return true;
  }
  if (static_cast<std::int64_t>(bars) >= MaxDataRecords) return false;
  ChartBar first{};
  if (!ReadAt(file, 0, &first, kBarBytes)) return true;
  *b = BeforeFirstBar(first.time, kind == kRequestDayBars);
  return true;
}

// The ".txt" twin of an index file: the same path with its last three characters replaced.
std::string TextTwin(const char* path) {
  std::string twin(path);
  if (twin.size() >= 3) twin.replace(twin.size() - 3, 3, "txt");
  return twin;
}

// Restores a file's last-write time after a cut; the reader's freshness rules go by it.
void CutFile(HANDLE file, std::uint32_t keepBars) {
  FILETIME written{};
  const bool haveTime = GetFileTime(file, nullptr, nullptr, &written);
  if (SetFilePointer(file, static_cast<LONG>(keepBars * kBarBytes), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return;
  }
  SetEndOfFile(file);
  if (haveTime) SetFileTime(file, nullptr, nullptr, &written);
}

// The bars an intraday file keeps: those before the first bar of its last date, none when the
// file holds more than a day of minutes on that date. Reads the newest bars only.
std::uint32_t IntradayBarsKept(HANDLE file, std::uint32_t bars) {
  if (bars <= 1) return 0;
  const std::uint32_t read = std::min(bars, kTrailingBarsRead);
  std::vector<ChartBar> tail(read);
  if (!ReadAt(file, (bars - read) * kBarBytes, tail.data(), read * kBarBytes)) return bars;
  const PackedTime lastDate = PackedDate(tail[read - 1].time);
  if (read > kMinutesOfOneDay && PackedDate(tail[read - 1 - kMinutesOfOneDay].time) == lastDate) return 0;
  std::uint32_t first = read - 1;
  while (first > 0 && PackedDate(tail[first - 1].time) == lastDate) --first;
  return bars - read + first;
}

}  // namespace

int BarFileKindForCycle(int cycle, int n) {
  if (cycle >= 0) {
    const int base = BaseFileKindOfCycle(cycle, n);
    if (base != 0) return base;
    if (cycle >= kCycle5Min) return kBarFile5Min;
  }
  return kBarFile1Min;
}

bool InfoIndexFilePath(const TMarketData* table, const char* instrumentCode, std::uint32_t n, std::string& path) {
  path.clear();
  char folder[64];
  std::string base;
  if (!table || !instrumentCode || !table->MarketFolderPath(folder, sizeof folder) ||
      !paths::CheckedJoin(folder, "base", base)) {
    return false;
  }
  const std::string name = std::string(instrumentCode) + std::to_string(n) + ".idx";
  if (instrumentCode[0] == '\0' || !paths::CheckedJoin(base, name, path)) {
    path.clear();
    return false;
  }
  return true;
}

bool NotesListFilePath(int n, std::string& path) {
  path.clear();
  if (n < 0) return false;
  return paths::CheckedJoin(std::string(kCacheDataRoot) + "data\\notes", "notes" + std::to_string(n) + ".ls2", path);
}

bool FileLocalTime(const char* path, const TMarketData* table, PackedTime* local) {
  if (!path || !table || !local) return false;
  files::ScopedHandle file(OpenForReading(path));
  return file.ok() && LastWriteInMarketTime(file.get(), table, local);
}

bool IsCurrentTradingDay(const TMarketData* table, int category, PackedTime localTime) {
  if (!table) return false;
  const PackedTime fileDay = TradingDayOf(localTime, table->IsPastClose(category, MinuteOfDay(localTime)));
  const PackedTime marketDay = TradingDayOf(table->now, table->IsCategoryClosed(category));
  return fileDay == marketDay;
}

bool CheckCacheFreshness(int kind, const TMarketData* table, int category, const char* path, std::uint32_t* a,
                         std::uint32_t* b, bool older, PackedTime loginTime) {
  std::uint32_t ignoredA = 0, ignoredB = 0;
  if (!a) a = &ignoredA;
  if (!b) b = &ignoredB;
  const std::uint32_t mode = *b;
  *a = 0;
  *b = 0;
  if (!table || !path) return true;
  files::ScopedHandle file(OpenForReadingAndWriting(path));
  if (!file.ok()) return true;

  switch (kind) {
    case kRequestIntradayBars:
    case kRequestDayBars:
      return BarRule(file.get(), kind, table, older, a, b);

    case kRequestCompanyText:
    case kRequestExRights:
    case kRequestNotesList: {
      PackedTime written = 0;
      if (LastWriteInMarketTime(file.get(), table, &written) && IsCurrentTradingDay(table, category, written)) return false;
      file.Close();
      DeleteFileA(path);
      return true;
    }

    case kRequestInfoIndex: {
      PackedTime writtenUtc = 0;
      PackedTime written = 0;
      // The login time has no seconds: a file of the login's minute counts as written after it.
      const bool beforeLogin = !LastWriteUtc(file.get(), &writtenUtc) || writtenUtc < loginTime;
      const bool current = !beforeLogin && LastWriteInMarketTime(file.get(), table, &written) &&
                           IsCurrentTradingDay(table, category, written);
      if (!current) {
        file.Close();
        DeleteFileA(path);
        DeleteFileA(TextTwin(path).c_str());
        return true;
      }
      if (mode == 1 || mode == 2) return false;
      *a = SizeOf(file.get()) / kInfoIndexRecordBytes;
      return true;
    }

    default:
      return true;
  }
}

void TrimBarFile(const char* path, const TMarketData* table, int fileKind) {
  if (!path || !table) return;
  files::ScopedHandle file(OpenForReadingAndWriting(path));
  PackedTime written = 0;
  if (!file.ok() || !LastWriteInMarketTime(file.get(), table, &written)) return;
  if (PackedDate(written) >= PackedDate(table->now)) return;
  const std::uint32_t bars = SizeOf(file.get()) / kBarBytes;
  const std::uint32_t kept = fileKind == kBarFileDay ? (bars > kDayBarsRecut ? bars - kDayBarsRecut : 0)
                                                     : IntradayBarsKept(file.get(), bars);
  if (static_cast<std::uint64_t>(kept) * kBarBytes == SizeOf(file.get())) return;
  CutFile(file.get(), kept);
}

bool CheckTradeFileRule(TMarketData* table, int index, const char* path, bool tradeDetails, std::uint32_t* held) {
  std::uint32_t ignored = 0;
  if (!held) held = &ignored;
  *held = 0;
  if (!table || !path) return false;
  const std::uint32_t headBytes = tradeDetails ? sizeof(TradeDetailsHeader) : 0;
  const std::uint32_t recordBytes = tradeDetails ? sizeof(TodayMinuteRecord) : sizeof(TradeRecord);

  files::ScopedHandle file(OpenForReading(path));
  if (!file.ok()) return true;
  const std::uint32_t size = SizeOf(file.get());
  std::uint32_t records = size < headBytes ? 0 : (size - headBytes) / recordBytes;

  bool ask = false;
  bool stale = false;
  PackedTime written = 0;
  const int category = table->GetCategory(index);
  // The same rule as the tick cache's reader (data/TickCache.h), so both keep or drop a file
  // alike: a file whose time cannot be read cannot be shown to be current.
  if (!LastWriteInMarketTime(file.get(), table, &written) || CompareDate(written, table->now) != 0) {
    stale = true;
    ask = true;
  } else {
    const int weekday = GetWeekday(table->now);
    const bool tradingToday = weekday != 0 && weekday != 6 && category >= 0 && category < kMaxCategories &&
                              CompareDate(table->tradingDate[category], table->now) == 0;
    if (tradingToday) {
      ask = true;
      // The trading day changes two minutes after the day-change minute; a file written before
      // that still holds the previous day.
      stale = !table->IsPastClose(category, MinuteOfDay(written));
    }
  }

  if (!stale && records > 0 && table->quotes && index >= 0 && index < table->count) {
    QuoteRecord& quote = table->quotes[index];
    const std::uint32_t lastAt = headBytes + (records - 1) * recordBytes;
    if (tradeDetails) {
      TodayMinuteRecord minute{};
      if (ReadAt(file.get(), lastAt, &minute, recordBytes) && quote.volume < minute.cumVolume) {
        quote.last = minute.price;
        quote.volume = minute.cumVolume;
      }
    } else {
      TradeRecord trade{};
      // One trade's volume says nothing of the day's volume: only the price is taken.
      if (ReadAt(file.get(), lastAt, &trade, recordBytes) && quote.volume < trade.volume) quote.last = trade.price;
    }
  }
  file.Close();
  if (stale) {
    records = 0;
    DeleteFileA(path);
  }
  *held = records;
  return ask;
}
