// The K-line bar files of an instrument: plain sequences of 32-byte ChartBars, oldest first, for
// four base periods (file kinds 1 one minute ".m1", 4 five minutes ".min", 7 sixty minutes ".hr",
// 8 day ".day"). Reads the newest bars of a file, finds one day's bar, and reads the bars of a
// chart cycle by aggregating its base file (see BarAggregation.h). Files are untrusted: counts
// come from the file size and never exceed the buffer the caller gave.
#pragma once

#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/Records.h"

#include <cstdint>

// Index of the bar whose time word equals key (whole unsigned 32-bit words) in bars sorted by
// ascending time; -1 when count <= 0, bars is null, key lies outside the first..last times, or
// no bar has it. Binary search that reads only the time fields.
int FindBarByTime(const ChartBar* bars, int count, std::uint32_t key);

// Reads the newest bars of the instrument's bar file of fileKind (1, 4, 7 or 8).
// With M the market's maxMinutesPerDay and n the bars in the file, the count is n when limit is
// 0, else min(n, max(limit - (M + 16), 0)); a negative limit reads nothing.
// *buffer null: a block of (M + count + 16) bars is allocated (room for a day of minutes and 16
// more after the history) and stored in *buffer. *buffer given: it must be a GuardedAlloc block;
// at most GuardedSize / 32 bars (the newest ones) are read into it.
// A missing file is not an error: count 0 (and a fresh block of M + 16 bars when none was given).
// Returns 1 with *count set; 0 for a null buffer pointer, count, table or code, another file
// kind, or when the allocation fails (then *count is 0).
int ReadBars(TMarketData* table, ChartBar** buffer, const char* code, int* count, int fileKind,
             int limit);

// Finds the day bar whose time equals date in the instrument's day file. On a match
// pair[1] = that bar and pair[0] = the bar before it; when the match is the file's first bar,
// only pair[0].close is set, to the match's open (the rest of pair[0] is untouched).
// Returns 1 on a match; 0 when the file is missing, holds no whole bar, or has no such bar.
int FindDayBar(TMarketData* table, const char* code, std::uint32_t date, ChartBar pair[2]);
// FindDayBar in the market of that number; 0 when pair or code is missing or empty, or the
// market number is not below MarketCount (or its slot is empty).
int LoadDayBar(int market, const char* code, std::uint32_t date, ChartBar pair[2]);

// The base file kind of a chart cycle: 8 for cycles 8 to 12; for cycle 3 (N minutes) 7 when N
// is a multiple of 60, else 4 when a multiple of 5, else 1; 4 for cycles 4, 5, 6; 7 for 7, 13,
// 14; 1 for 1 and 2; 0 (no file) for the tick cycle and unknown cycles.
int BaseFileKindOfCycle(int cycle, int n);

// Reads the bars of a chart cycle: the newest bars of the cycle's base file into the shared bar
// scratch buffer, then aggregates them into *output (allocated with MaxDataRecords + 16 bars
// when null; a given *output must be a GuardedAlloc block and limits the bars read to what it
// holds). The record limit passed to ReadBars is limit - 1 for day-based cycles, limit - M/5 - 1
// for five-minute bases, limit - M/60 - 1 for sixty-minute bases and limit - M for one-minute
// bases (M the market's maxMinutesPerDay); a result <= 0 reads no bars.
// When requester is not 0, the request client exists and the code names an instrument of the
// market, the server is asked for newer bars (RequestHistoryBars with passThrough).
// *lastBarComplete (may be null) is false only when an N-day group at the end is short.
// Returns the read's result: 1 with *count bars, 0 for a null output pointer, count or code, a
// market number not below MarketCount, a cycle without a base file, no scratch buffer, or a
// failed allocation (then *count is 0).
int ReadBarsByCycle(ChartBar** output, int market, const char* code, int* count, int cycle, int n,
                    int limit, int passThrough, std::uint32_t requester, bool* lastBarComplete);
