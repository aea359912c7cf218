#include "data/TickCache.h"

#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/IRequestClient.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace zuvo::platform;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// One of the three caches: its file, the size of its head and of its records.
struct TickCacheKind {
  CacheFile file;
  std::uint32_t headBytes;
  std::uint32_t recordBytes;
};

constexpr TickCacheKind kTicks{CacheFile::Ticks, 0, sizeof(TradeRecord)};
constexpr TickCacheKind kRecent{CacheFile::RecentTrades, 0, sizeof(TradeRecord)};
constexpr TickCacheKind kDetails{CacheFile::TradeDetails, sizeof(TradeDetailsHeader),
                                 sizeof(TodayMinuteRecord)};

bool IsInTable(const TMarketData* table, int position) {
  return table && table->names && position >= 0 && position < table->count;
}

bool PathOf(const TickCacheKind& kind, const TMarketData* table, int position, std::string& path) {
  if (!IsInTable(table, position)) return false;
  return CacheFilePath(kind.file, table, InstrumentCode(&table->names[position]).c_str(), path);
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The stale rule on an open file of the instrument at position.
bool IsStale(HANDLE file, const TMarketData* table, int position) {
  std::uint32_t written = 0;
  // A file whose time cannot be read cannot be shown to be current.
  if (!LastWriteInMarketTime(file, table, &written)) return true;
  if (CompareDate(written, table->now) != 0) return true;
  const int weekday = GetWeekday(table->now);
  if (weekday == 6 || weekday == 0) return false;  // weekends keep what was written today
  const int category = table->GetCategory(position);
  if (category < 0 || category >= kMaxCategories) return false;
  if (CompareDate(table->tradingDate[category], table->now) != 0) return false;
  // The trading day changes two minutes after the day-change minute; a file written before
  // that still holds the previous day.
  const int writtenMinute = static_cast<int>((written >> 6) & 0x1F) * 60 + static_cast<int>(written & 0x3F);
  return !table->IsPastClose(category, writtenMinute);
}

bool IsOpen(HANDLE file) { return file != INVALID_HANDLE_VALUE && file != nullptr; }

// Opens the instrument's cache file for reading after the stale rule ran on it: a stale file
// is deleted and reads as missing (*deleted set). Invalid handle when no file opens.
HANDLE OpenCurrent(const TickCacheKind& kind, TMarketData* table, int position, bool* deleted) {
  std::string path;
  if (!PathOf(kind, table, position, path)) return INVALID_HANDLE_VALUE;
  HANDLE file = OpenForReading(path);
  if (!IsOpen(file) || !IsStale(file, table, position)) return file;
  CloseHandle(file);
  if (DeleteFileA(path.c_str())) {
    if (deleted) *deleted = true;
    return INVALID_HANDLE_VALUE;
  }
  // Another process may hold the file; the read then takes it as it is.
  return OpenForReading(path);
}

int DeleteStale(const TickCacheKind& kind, TMarketData* table, int position) {
  bool deleted = false;
  files::ScopedHandle file(OpenCurrent(kind, table, position, &deleted));
  return deleted ? 1 : 0;
}

// Whole records after the head of an open file; 0 when its size cannot be read.
int RecordsInFile(const TickCacheKind& kind, HANDLE file) {
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE || size < kind.headBytes) return 0;
  return static_cast<int>((size - kind.headBytes) / kind.recordBytes);
}

int CountRecords(const TickCacheKind& kind, TMarketData* table, int position) {
  files::ScopedHandle file(OpenCurrent(kind, table, position, nullptr));
  return file.ok() ? RecordsInFile(kind, file.get()) : 0;
}

// Reads up to *count records after the head of an open file into buffer. The head goes to
// head (when given) and *headRead is set only when the file holds the whole head.
void ReadOpenFile(const TickCacheKind& kind, HANDLE file, void* buffer, int* count, void* head,
                  bool* headRead) {
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) size = 0;
  *count = std::max(*count, 0);
  if (size < kind.headBytes) {
    *count = 0;
    return;
  }
  if (kind.headBytes > 0) {
    std::uint8_t headBytes[sizeof(TradeDetailsHeader)] = {};
    DWORD got = 0;
    if (!ReadFile(file, headBytes, kind.headBytes, &got, nullptr) || got != kind.headBytes) {
      // The file shrank since its size was taken: nothing of it can be trusted.
      *count = 0;
      return;
    }
    if (head) std::memcpy(head, headBytes, kind.headBytes);
    if (headRead) *headRead = true;
  }
  const std::uint32_t inFile = (size - kind.headBytes) / kind.recordBytes;
  const std::uint32_t wanted = std::min<std::uint32_t>(inFile, static_cast<std::uint32_t>(*count));
  DWORD got = 0;
  if (wanted > 0 && !ReadFile(file, buffer, wanted * kind.recordBytes, &got, nullptr)) got = 0;
  // A file cut short by another writer gives only its whole records.
  *count = static_cast<int>(got / kind.recordBytes);
}

int ReadRecords(const TickCacheKind& kind, TMarketData* table, int position, void* buffer,
                int* count, void* head, bool* headRead) {
  if (!buffer || !count) return 0;
  files::ScopedHandle file(OpenCurrent(kind, table, position, nullptr));
  if (!file.ok()) return 0;
  ReadOpenFile(kind, file.get(), buffer, count, head, headRead);
  return 1;
}

// Keeps *buffer when it holds `bytes`, else replaces it; false (buffer null) when that fails.
template <typename Record>
bool EnsureBuffer(Record** buffer, std::uint32_t bytes) {
  if (*buffer && GuardedSize(*buffer) < bytes) {
    GuardedFree(*buffer);
    *buffer = nullptr;
  }
  if (!*buffer) *buffer = static_cast<Record*>(GuardedAlloc(bytes));
  return *buffer != nullptr;
}

enum class Request { Ticks, Recent, Details };

void AskServer(Request request, const STKPTR& instrument, std::uint32_t requester) {
  IRequestClient* client = RequestClient();
  if (requester == 0 || client == nullptr) return;
  switch (request) {
    case Request::Ticks:
      client->RequestTicks(instrument.market, instrument.index, requester);
      break;
    case Request::Recent:
      client->RequestRecentTicks(instrument.market, instrument.index, kRecentTradesRequested, requester);
      break;
    case Request::Details:
      client->RequestTradeDetails(instrument.market, instrument.index, requester);
      break;
  }
}

// The access steps shared by the three caches.
template <typename Record>
int ReadOrRequest(const TickCacheKind& kind, Request request, Record** buffer, STKPTR instrument,
                  int* count, void* head, bool* headRead, std::uint32_t requester) {
  if (!buffer || !count) return 0;
  const InstrumentRecord* record = GetInstrumentRecord(instrument);
  if (!record) return 0;
  // One open serves the stale rule, the count and the read.
  files::ScopedHandle file(OpenCurrent(kind, MarketTables[instrument.market], instrument.index, nullptr));
  *count = file.ok() ? RecordsInFile(kind, file.get()) : 0;
  if (*count <= 0) {
    *count = 0;
    // A details file holds its head before the day's first minute is written: give it.
    if (file.ok() && kind.headBytes > 0) ReadOpenFile(kind, file.get(), nullptr, count, head, headRead);
    AskServer(request, instrument, requester);
    return 1;
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(*count) * kind.recordBytes;
  if (bytes > 0xFFFFFFF0u || !EnsureBuffer(buffer, static_cast<std::uint32_t>(bytes))) {
    *count = 0;
    return 0;
  }
  ReadOpenFile(kind, file.get(), *buffer, count, head, headRead);
  AskServer(request, instrument, requester);
  return 1;
}

}  // namespace

bool LastWriteUtc(HANDLE file, PackedTime* utcTime) {
  FILETIME lastWrite{};
  SYSTEMTIME utc{};
  if (!GetFileTime(file, nullptr, nullptr, &lastWrite) || !FileTimeToSystemTime(&lastWrite, &utc)) return false;
  *utcTime = MakePackedTime(utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute);
  return true;
}

bool LastWriteInMarketTime(HANDLE file, const TMarketData* table, PackedTime* local) {
  PackedTime utc = 0;
  if (!LastWriteUtc(file, &utc)) return false;
  *local = AddHoursWithDayCarry(utc, table->record.hourOffset);
  return true;
}

int DeleteStaleTickFile(TMarketData* table, int position) { return DeleteStale(kTicks, table, position); }
int DeleteStaleRecentFile(TMarketData* table, int position) { return DeleteStale(kRecent, table, position); }
int DeleteStaleTradeDetailsFile(TMarketData* table, int position) {
  return DeleteStale(kDetails, table, position);
}

int CountTickFile(TMarketData* table, int position) { return CountRecords(kTicks, table, position); }
int CountRecentFile(TMarketData* table, int position) { return CountRecords(kRecent, table, position); }
int CountTradeDetailsFile(TMarketData* table, int position) {
  return CountRecords(kDetails, table, position);
}

int ReadTickFile(TMarketData* table, int position, TradeRecord* buffer, int* count) {
  return ReadRecords(kTicks, table, position, buffer, count, nullptr, nullptr);
}

int ReadRecentFile(TMarketData* table, int position, TradeRecord* buffer, int* count) {
  return ReadRecords(kRecent, table, position, buffer, count, nullptr, nullptr);
}

namespace {

void GiveHead(const TradeDetailsHeader& head, float* buyVolume, float* sellVolume,
              std::uint32_t* refPrice, float* refAmount) {
  if (buyVolume) *buyVolume = head.buyVolume;
  if (sellVolume) *sellVolume = head.sellVolume;
  if (refPrice) *refPrice = head.refPrice;
  if (refAmount) *refAmount = head.refAmount;
}

}  // namespace

int ReadTradeDetailsFile(TMarketData* table, int position, TodayMinuteRecord* buffer, int* count,
                         float* buyVolume, float* sellVolume, std::uint32_t* refPrice,
                         float* refAmount) {
  TradeDetailsHeader head{};
  bool headRead = false;
  const int result = ReadRecords(kDetails, table, position, buffer, count, &head, &headRead);
  if (headRead) GiveHead(head, buyVolume, sellVolume, refPrice, refAmount);
  return result;
}

int CountCachedTicks(STKPTR instrument) {
  if (!GetInstrumentRecord(instrument)) return 0;
  return CountTickFile(MarketTables[instrument.market], instrument.index);
}

int ReadTicksOrRequest(TradeRecord** buffer, STKPTR instrument, int* count, std::uint32_t requester) {
  return ReadOrRequest(kTicks, Request::Ticks, buffer, instrument, count,
                       nullptr, nullptr, requester);
}

int ReadRecentTradesOrRequest(TradeRecord** buffer, STKPTR instrument, int* count,
                              std::uint32_t requester) {
  return ReadOrRequest(kRecent, Request::Recent, buffer, instrument, count,
                       nullptr, nullptr, requester);
}

int ReadTradeDetailsOrRequest(TodayMinuteRecord** buffer, STKPTR instrument, int* count,
                              float* buyVolume, float* sellVolume, std::uint32_t* refPrice,
                              float* refAmount, std::uint32_t requester) {
  TradeDetailsHeader head{};
  GiveHead(head, buyVolume, sellVolume, refPrice, refAmount);
  bool headRead = false;
  const int result = ReadOrRequest(kDetails, Request::Details, buffer,
                                   instrument, count, &head, &headRead, requester);
  if (headRead) GiveHead(head, buyVolume, sellVolume, refPrice, refAmount);
  return result;
}
