// The trend history of an instrument, "..\data\<market>\trend\<code>.trn": a 4-byte head N (the
// category's trading minutes per day + 1) and one block per cached day in ascending date order,
// each the day's PackedTime and N 12-byte TrendDayMinutes. Reads one day by binary search over
// the block dates, cutting the file at the first damaged block, and merges a downloaded day
// ("<code><day>.trn", N minutes without head) into it by rewriting the whole history in one
// atomic replace, so a kill during a merge leaves the former history or the merged one.
#pragma once

#include "core/PackedTime.h"  // IsValidPackedTime judges the block dates
#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/Records.h"

#include <cstdint>

// Copies the day of date (time bits ignored) into buffer, which must hold the category's
// minutesPerDay + 1 minutes, and sets *count to that number. Returns 1 when found; 0 when not
// found, for a null buffer, count or table, a position outside the table, or a missing file
// (which is never created). Damage found on the way is cut off, so the damaged block and every
// later one are gone and the day is asked of the server again: a head that is not the
// category's N (a history of another session plan) empties the file; an invalid or unreadable
// date or a short block makes the file end at the first damaged block, which is that block or
// an earlier one (a date that is invalid or not later than the date before it). Undamaged
// histories are searched by reading only a few block dates; a damaged one has every date before
// the damage read once.
int ReadTrendDay(TMarketData* table, int position, std::uint32_t date, TrendDayMinute* buffer,
                 int* count);

// Merges the downloaded day file of date (time bits cleared) into the history: a day already
// held is replaced, a new one inserted in date order; a missing, empty or invalid history is
// rewritten as the head and this one day. A damaged history keeps only its blocks before the
// first damaged one (as ReadTrendDay cuts it), so a merged day is always readable at once.
// A short download is completed from its last minute (same price, volume 0, amount 0 in
// stock-like markets or the last open interest elsewhere), and later minutes of price 0 take
// the previous price in the same way. The merged history is built in memory and written over
// the old one with files::AtomicReplace: it costs one copy of the whole file, and a kill or a
// failed write leaves the former history intact. The downloaded file is not deleted here.
// Returns 1 on success; 0 for a null table or a position outside it, a date that is no valid
// calendar day, when the downloaded file is missing, holds 11 bytes or less or reads short,
// or the history cannot be read or replaced (then the history keeps its former contents).
int MergeTrendDay(TMarketData* table, int position, std::uint32_t date);

// ReadTrendDay of the instrument; when the day is not found, requester is not 0 and the request
// client exists, asks the server for that day. Returns true when the day was read.
bool LoadTrendDay(STKPTR instrument, std::uint32_t date, TrendDayMinute* buffer, int* count,
                  std::uint32_t requester);

// MergeTrendDay for the instrument; 0 for an unknown instrument.
int ImportTrendDay(STKPTR instrument, std::uint32_t date);
