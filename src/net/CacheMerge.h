// The two merges of history files written from replies and pushes: bar files (32-byte
// ChartBars in strictly increasing time) and advice files (108-byte records in non-decreasing
// key order, the key being the record's first 32-bit word).
//
// Paths are Windows-form paths built by data/CacheFiles.h. A merge either leaves the file as
// it was or writes the merged result; a failed write deletes the file so the next access asks
// the server again. UI thread only.
#pragma once

#include "data/Records.h"

#include <cstdint>

constexpr int kAdviceRecordBytes = 108;

namespace zuvo::net {
// Bytes the merges wrote since the process started (the benchmark reads them).
struct CacheMergeCounters {
  std::uint64_t barBytesWritten = 0;
  std::uint64_t adviceBytesWritten = 0;
};
extern CacheMergeCounters MergeCounters;
}  // namespace zuvo::net

// Merges `count` bars of chart cycle code `cycle` into the bar file at `path`:
//   - bars that are not strictly increasing in time (after clearing the time bits of every bar
//     but the last for cycles 8 to 12), or a bar with year 0, leave the file untouched;
//   - newer bars are appended after the last old bar without rewriting the file;
//   - older bars go before every old bar (never leaving a gap);
//   - overlapping bars merge by time, a new bar replacing the old one of the same time (the
//     old bars before the first new bar's time are not rewritten);
//   - only the oldest bars beyond MaxDataRecords are dropped, and only once the file holds more
//     than three times MaxDataRecords (cutting rewrites the bars kept, so it happens at most
//     once per 2 x MaxDataRecords bars received and appending stays cheap).
// Memory: the new bars and the old bars from the merge point on (the kept bars when cutting).
// A merged file is stamped with the clock word (SystemNow, seconds 0); a failed write deletes it.
void MergeBars(const char* path, const ChartBar* bars, int cycle, int count);

// Merges `count` 108-byte advice records into the file at `path` (created when missing).
// Records out of key order leave the file untouched. New records whose first key is at or
// above the file's last key are appended; otherwise the file is rewritten from its first
// record whose key is above the first new key, old and new merged by key (a new record after
// an old one of the same key). No record is dropped. A failed write deletes the file.
void MergeAdvice(const char* path, const std::uint8_t* records, int count);
