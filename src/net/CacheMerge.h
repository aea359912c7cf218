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
// MergeAdvice keeps at most this many records when it rewrites the newest end of a file.
constexpr int kAdviceMergeWindow = 1024;

// Merges `count` bars of chart cycle code `cycle` into the bar file at `path`:
//   - bars that are not strictly increasing in time (after clearing the time bits of every bar
//     but the last for cycles 8 to 12), or a bar with year 0, leave the file untouched;
//   - newer bars are appended after the last old bar without rewriting the file;
//   - older bars go before every old bar (never leaving a gap);
//   - overlapping bars merge by time, a new bar replacing the old one of the same time;
//   - only the oldest bars beyond MaxDataRecords are dropped.
// A merged file is stamped with the clock word (SystemNow, seconds 0).
void MergeBars(const char* path, const ChartBar* bars, int cycle, int count);

// Merges `count` 108-byte advice records into the file at `path` (created when missing).
// Records out of key order leave the file untouched. New records whose first key is at or
// above the file's last key are appended; otherwise the newest end is merged (a new record
// after an old one of the same key) and the file rewritten with at most 1024 records there.
void MergeAdvice(const char* path, const std::uint8_t* records, int count);
