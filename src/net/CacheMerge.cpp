#include "net/CacheMerge.h"

#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/UtilData.h"
#include "net/CacheWrite.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace cw = zuvo::net::cachewrite;

namespace zuvo::net {
CacheMergeCounters MergeCounters;
}

namespace {

constexpr std::uint32_t kBarBytes = sizeof(ChartBar);
constexpr std::uint32_t kAdviceBytes = kAdviceRecordBytes;

// The writes of one merge, counted for the benchmark.
bool CountedWrite(HANDLE file, std::uint32_t offset, const void* data, std::uint64_t bytes, std::uint64_t* counter) {
  if (bytes > 0xFFFFFFFFu - offset) return false;
  const bool ok = cw::WriteAt(file, offset, data, static_cast<std::uint32_t>(bytes));
  if (ok) *counter += bytes;
  return ok;
}

// Closes the file; a merge that failed to write deletes it so the next access asks again.
void Finish(HANDLE file, const char* path, bool wrote, bool failed, bool stamp) {
  if (failed) {
    cw::Discard(file, path);
    return;
  }
  if (wrote && stamp) cw::Stamp(file);
  CloseHandle(file);
}

// The first record in [0, count) whose key (read by `keyAt`) is not below `key` (or, with
// `after`, above it): a binary search that reads one key per step. -1 when a read fails.
template <typename KeyAt>
std::int64_t SearchFile(std::uint32_t count, std::uint32_t key, bool after, KeyAt keyAt) {
  std::uint32_t low = 0, high = count;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    std::uint32_t value = 0;
    if (!keyAt(middle, &value)) return -1;
    if (after ? value <= key : value < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// A bar file may run this far past MaxDataRecords before its oldest bars are cut: cutting
// rewrites the bars kept, so it is done rarely enough that appending stays cheap.
std::uint32_t BarTrimThreshold() { return static_cast<std::uint32_t>(MaxDataRecords) * 3; }

}  // namespace

void MergeBars(const char* path, const ChartBar* bars, int cycle, int count) {
  if (path == nullptr || *path == '\0' || bars == nullptr || count <= 0) return;
  std::vector<ChartBar> fresh(bars, bars + count);
  // Day-based bars carry no time of day; the last one may be today's bar still forming.
  if (cycle >= kCycleDay && cycle <= kCycleNDay) {
    for (int i = 0; i + 1 < count; ++i) fresh[static_cast<std::size_t>(i)].time = PackedDate(fresh[static_cast<std::size_t>(i)].time);
  }
  for (int i = 0; i < count; ++i) {
    const ChartBar& bar = fresh[static_cast<std::size_t>(i)];
    if (PackedYear(bar.time) == 0) return;
    if (i + 1 < count && bar.time >= fresh[static_cast<std::size_t>(i) + 1].time) return;
  }

  HANDLE file = cw::OpenForWriting(path, cw::Open::kKeep);
  if (file == INVALID_HANDLE_VALUE) return;
  std::uint64_t& written = zuvo::net::MergeCounters.barBytesWritten;
  const std::uint32_t held = cw::FileSize(file) / kBarBytes;
  const auto timeAt = [file](std::uint32_t position, std::uint32_t* time) {
    return cw::ReadAt(file, position * kBarBytes, time, sizeof *time);
  };

  bool ok = true;
  std::uint64_t total = 0;
  std::uint32_t lastTime = 0;
  if (held > 0 && !timeAt(held - 1, &lastTime)) {
    CloseHandle(file);
    return;
  }
  if (held == 0 || fresh.front().time > lastTime) {
    // Empty file, or every new bar is newer: the new bars go after the last whole bar.
    ok = CountedWrite(file, held * kBarBytes, fresh.data(), fresh.size() * kBarBytes, &written);
    total = held + fresh.size();
  } else {
    // The old bars before the first new bar's time stay where they are; from there old and new
    // bars are merged by time, a new bar replacing the old one of the same time. New bars older
    // than every old bar put the whole file behind them.
    const std::int64_t from = SearchFile(held, fresh.front().time, false, timeAt);
    if (from < 0) {
      CloseHandle(file);
      return;
    }
    const auto start = static_cast<std::uint32_t>(from);
    std::vector<ChartBar> old(held - start);
    if (!old.empty() && !cw::ReadAt(file, start * kBarBytes, old.data(), static_cast<std::uint32_t>(old.size()) * kBarBytes)) {
      CloseHandle(file);
      return;
    }
    std::vector<ChartBar> merged;
    merged.reserve(old.size() + fresh.size());
    std::size_t o = 0, n = 0;
    while (o < old.size() || n < fresh.size()) {
      if (n == fresh.size() || (o < old.size() && old[o].time < fresh[n].time)) {
        merged.push_back(old[o++]);
      } else {
        if (o < old.size() && old[o].time == fresh[n].time) ++o;
        merged.push_back(fresh[n++]);
      }
    }
    ok = CountedWrite(file, start * kBarBytes, merged.data(), merged.size() * kBarBytes, &written);
    total = start + merged.size();
  }
  ok = ok && total * kBarBytes <= 0xFFFFFFFFu && cw::EndAt(file, static_cast<std::uint32_t>(total * kBarBytes));

  // Only the oldest bars go, and only once the file has run well past the limit.
  if (ok && total > BarTrimThreshold()) {
    const auto keep = static_cast<std::uint32_t>(MaxDataRecords);
    std::vector<ChartBar> newest(keep);
    const auto dropped = static_cast<std::uint32_t>(total - keep);
    ok = cw::ReadAt(file, dropped * kBarBytes, newest.data(), keep * kBarBytes) &&
         CountedWrite(file, 0, newest.data(), std::uint64_t{keep} * kBarBytes, &written) &&
         cw::EndAt(file, keep * kBarBytes);
  }
  Finish(file, path, true, !ok, true);
}

void MergeAdvice(const char* path, const std::uint8_t* records, int count) {
  if (path == nullptr || *path == '\0' || records == nullptr || count <= 0) return;
  const auto keyOf = [](const std::uint8_t* record) {
    std::uint32_t key = 0;
    std::memcpy(&key, record, sizeof key);
    return key;
  };
  for (int i = 0; i + 1 < count; ++i) {
    if (keyOf(records + static_cast<std::size_t>(i) * kAdviceBytes) > keyOf(records + static_cast<std::size_t>(i + 1) * kAdviceBytes)) return;
  }

  HANDLE file = cw::OpenForWriting(path, cw::Open::kKeep);
  if (file == INVALID_HANDLE_VALUE) return;
  std::uint64_t& written = zuvo::net::MergeCounters.adviceBytesWritten;
  const std::uint32_t held = cw::FileSize(file) / kAdviceBytes;
  const std::uint64_t freshBytes = static_cast<std::uint64_t>(count) * kAdviceBytes;
  const auto keyAt = [file](std::uint32_t position, std::uint32_t* key) {
    return cw::ReadAt(file, position * kAdviceBytes, key, sizeof *key);
  };
  const std::uint32_t firstKey = keyOf(records);

  bool ok = true;
  std::uint64_t total = 0;
  std::uint32_t lastKey = 0;
  if (held > 0 && !keyAt(held - 1, &lastKey)) {
    CloseHandle(file);
    return;
  }
  if (held == 0 || firstKey >= lastKey) {
    ok = CountedWrite(file, held * kAdviceBytes, records, freshBytes, &written);
    total = held + static_cast<std::uint64_t>(count);
  } else {
    // From the first old record whose key is above the first new key, old and new records are
    // merged by key (a new record after an old one of the same key); the records before stay.
    const std::int64_t from = SearchFile(held, firstKey, true, keyAt);
    if (from < 0) {
      CloseHandle(file);
      return;
    }
    const auto start = static_cast<std::uint32_t>(from);
    std::vector<std::uint8_t> old(static_cast<std::size_t>(held - start) * kAdviceBytes);
    if (!old.empty() && !cw::ReadAt(file, start * kAdviceBytes, old.data(), static_cast<std::uint32_t>(old.size()))) {
      CloseHandle(file);
      return;
    }
    std::vector<std::uint8_t> merged;
    merged.reserve(old.size() + freshBytes);
    const std::size_t oldCount = held - start;
    std::size_t o = 0, n = 0;
    while (o < oldCount || n < static_cast<std::size_t>(count)) {
      const std::uint8_t* oldRecord = old.data() + o * kAdviceBytes;
      const std::uint8_t* newRecord = records + n * kAdviceBytes;
      if (n == static_cast<std::size_t>(count) || (o < oldCount && keyOf(oldRecord) <= keyOf(newRecord))) {
        merged.insert(merged.end(), oldRecord, oldRecord + kAdviceBytes);
        ++o;
      } else {
        merged.insert(merged.end(), newRecord, newRecord + kAdviceBytes);
        ++n;
      }
    }
    ok = CountedWrite(file, start * kAdviceBytes, merged.data(), merged.size(), &written);
    total = start + merged.size() / kAdviceBytes;
  }
  ok = ok && total * kAdviceBytes <= 0xFFFFFFFFu && cw::EndAt(file, static_cast<std::uint32_t>(total * kAdviceBytes));
  Finish(file, path, true, !ok, false);
}
