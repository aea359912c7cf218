#include "data/BarFiles.h"

#include "core/GuardedAlloc.h"
#include "data/BarAggregation.h"
#include "data/CacheFiles.h"
#include "data/IRequestClient.h"
#include "data/UtilData.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace zuvo::platform;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Bars kept free after the history for today's bars.
constexpr int kSpareBars = 16;

HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

ChartBar* AllocateBars(std::int64_t bars) {
  if (bars <= 0 || bars * static_cast<std::int64_t>(sizeof(ChartBar)) > 0x7FFFFFF0) return nullptr;
  return static_cast<ChartBar*>(GuardedAlloc(static_cast<std::uint32_t>(bars * sizeof(ChartBar))));
}

int BarsHeld(const ChartBar* buffer) { return static_cast<int>(GuardedSize(buffer) / sizeof(ChartBar)); }

// The record limit ReadBarsByCycle hands to ReadBars for a base file; computed in 64-bit signed
// arithmetic so that a limit at or below the subtracted day (down to INT_MIN) never wraps into
// a large one or "no limit".
std::int64_t BaseRecordLimit(int fileKind, int limit, int maxMinutes) {
  switch (fileKind) {
    case kBarFileDay: return std::int64_t{limit} - 1;
    case kBarFile5Min: return std::int64_t{limit} - maxMinutes / 5 - 1;
    case kBarFile60Min: return std::int64_t{limit} - maxMinutes / 60 - 1;
    default: return std::int64_t{limit} - maxMinutes;
  }
}

}  // namespace

int FindBarByTime(const ChartBar* bars, int count, std::uint32_t key) {
  if (!bars || count <= 0) return -1;
  if (key < bars[0].time || key > bars[count - 1].time) return -1;
  int low = 0;
  int high = count - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    const std::uint32_t time = bars[mid].time;
    if (time == key) return mid;
    if (time < key) {
      // Strictly between two neighbours: no bar has it.
      if (mid + 1 < count && bars[mid + 1].time > key) return -1;
      low = mid + 1;
    } else {
      if (mid > 0 && bars[mid - 1].time < key) return -1;
      high = mid - 1;
    }
  }
  return -1;
}

int ReadBars(TMarketData* table, ChartBar** buffer, const char* code, int* count, int fileKind,
             int limit) {
  if (!buffer || !count || !table || !code || !*code) return 0;
  std::string path;
  if (!BarFilePath(fileKind, table, code, path)) return 0;
  const int maxMinutes = table->maxMinutesPerDay;

  files::ScopedHandle file(OpenForReading(path));
  const DWORD size = file.ok() ? GetFileSize(file.get(), nullptr) : 0;
  if (!file.ok() || size == INVALID_FILE_SIZE) {
    *count = 0;
    if (!*buffer) *buffer = AllocateBars(maxMinutes + kSpareBars);
    return *buffer ? 1 : 0;
  }

  const std::int64_t inFile = size / sizeof(ChartBar);
  std::int64_t wanted = inFile;
  if (limit < 0) {
    wanted = 0;
  } else if (limit > 0) {
    wanted = std::min<std::int64_t>(inFile, std::max<std::int64_t>(
                                                static_cast<std::int64_t>(limit) - (maxMinutes + kSpareBars), 0));
  }
  if (*buffer) {
    wanted = std::min<std::int64_t>(wanted, BarsHeld(*buffer));
  } else {
    *buffer = AllocateBars(maxMinutes + wanted + kSpareBars);
    if (!*buffer) {
      *count = 0;
      return 0;
    }
  }

  DWORD got = 0;
  const auto skip = static_cast<std::uint32_t>((inFile - wanted) * sizeof(ChartBar));
  if (wanted > 0 &&
      (SetFilePointer(file.get(), static_cast<LONG>(skip), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
       !ReadFile(file.get(), *buffer, static_cast<DWORD>(wanted * sizeof(ChartBar)), &got, nullptr)))
    got = 0;
  *count = static_cast<int>(got / sizeof(ChartBar));
  return 1;
}

int FindDayBar(TMarketData* table, const char* code, std::uint32_t date, ChartBar pair[2]) {
  if (!table || !code || !pair) return 0;
  std::string path;
  if (!BarFilePath(kBarFileDay, table, code, path)) return 0;
  files::ScopedHandle file(OpenForReading(path));
  if (!file.ok()) return 0;
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size < sizeof(ChartBar)) return 0;
  const int bars = static_cast<int>(size / sizeof(ChartBar));
  const DWORD mappedBytes = static_cast<DWORD>(bars) * sizeof(ChartBar);
  HANDLE mapping = CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return 0;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, mappedBytes);
  int result = 0;
  if (view) {
    const auto* all = static_cast<const ChartBar*>(view);
    const int found = FindBarByTime(all, bars, date);
    if (found >= 0) {
      std::memcpy(&pair[1], &all[found], sizeof(ChartBar));
      if (found > 0) {
        std::memcpy(&pair[0], &all[found - 1], sizeof(ChartBar));
      } else {
        pair[0].close = all[found].open;
      }
      result = 1;
    }
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return result;
}

int LoadDayBar(int market, const char* code, std::uint32_t date, ChartBar pair[2]) {
  if (!pair || !code || !*code) return 0;
  TMarketData* table = GetMarketTable(market);
  if (!table) return 0;
  return FindDayBar(table, code, date, pair);
}

int BaseFileKindOfCycle(int cycle, int n) {
  switch (cycle) {
    case kCycleNMin:
      return MinuteBarFileFor(n);
    case kCycleDay:
    case kCycleWeek:
    case kCycleMonth:
    case kCycleQuarter:
    case kCycleNDay:
      return kBarFileDay;
    case kCycle5Min:
    case kCycle15Min:
    case kCycle30Min:
      return kBarFile5Min;
    case kCycle60Min:
    case kCycle120Min:
    case kCycle240Min:
      return kBarFile60Min;
    case kCycle1Min:
    case kCycle3Min:
      return kBarFile1Min;
    default:
      return 0;
  }
}

int ReadBarsByCycle(ChartBar** output, int market, const char* code, int* count, int cycle, int n,
                    int limit, int passThrough, std::uint32_t requester, bool* lastBarComplete) {
  if (lastBarComplete) *lastBarComplete = true;
  if (!output || !count || !code) return 0;
  TMarketData* table = GetMarketTable(market);
  if (!table) return 0;
  *count = 0;

  int result = 0;
  const int fileKind = BaseFileKindOfCycle(cycle, n);
  auto* scratch = fileKind ? static_cast<ChartBar*>(GetBarScratch()) : nullptr;
  if (scratch) {
    const std::int64_t recordLimit = BaseRecordLimit(fileKind, limit, table->maxMinutesPerDay);
    int read = 0;
    // A limit that leaves no room reads nothing, and never "everything": the scratch buffer
    // would not hold a whole file. A positive one is at most limit, so it fits an int.
    if (recordLimit <= 0) {
      result = 1;
    } else {
      result = ReadBars(table, &scratch, code, &read, fileKind, static_cast<int>(recordLimit));
    }
    if (result == 1) {
      if (!*output) *output = AllocateBars(static_cast<std::int64_t>(MaxDataRecords) + kSpareBars);
      if (!*output) {
        result = 0;
      } else if (read > 0) {
        // Merged bars never outnumber their base bars: keep the newest ones the output holds.
        const int room = BarsHeld(*output);
        const ChartBar* base = scratch;
        if (read > room) {
          base += read - room;
          read = room;
        }
        AggregateBars(cycle, n, base, read, *output, count, table->record.kind, lastBarComplete);
      }
    }
  }

  if (IRequestClient* client = RequestClient(); requester != 0 && client != nullptr) {
    // The request names the instrument by its position; a code the market does not know
    // cannot be asked for.
    const int position = table->FindCode(code);
    if (position >= 0)
      client->RequestHistoryBars(market, position, 0, cycle, n, passThrough, requester);
  }
  return result;
}
