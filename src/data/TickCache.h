// The three per-instrument caches of today's trading detail: every trade of the day (.tik), the
// newest trades (.nnt) and the day's minutes with a small head (.TRD), all under
// "..\data\<market>\tick\". A cache file is trusted by its last-write time in market time only:
// the stale rule deletes a file that was not written on the market's current trading day before
// every count and read. The access operations read what the cache holds and, when a requester is
// given, also ask the server (through the request client) for what is missing.
#pragma once

#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/Records.h"
#include "platform/WinBase.h"

#include <cstdint>

// ---- File times ------------------------------------------------------------------------------
// The last-write time of an open file as a PackedTime (seconds dropped): in UTC, and in the
// market's time (its hour offset applied, the date carried). False when it cannot be read.
bool LastWriteUtc(HANDLE file, PackedTime* utc);
bool LastWriteInMarketTime(HANDLE file, const TMarketData* table, PackedTime* local);

// ---- File level: a market table and an instrument position ----------------------------------
// Every operation returns 0 for a null table or a position outside the table's instruments.

// Stale rule. The file's last-write time (UTC) is moved into market time by the market's hour
// offset. The file is stale when that date is not the market clock's date, or when the market
// is on a weekday, the instrument's category has changed its trading day today and the file was
// written before the minute of that change (day-change minute + 2). A stale file is deleted.
// Returns 1 when a stale file was deleted, 0 otherwise (absent, current, or the delete failed,
// in which case the file is read as it is).
int DeleteStaleTickFile(TMarketData* table, int position);
int DeleteStaleRecentFile(TMarketData* table, int position);
int DeleteStaleTradeDetailsFile(TMarketData* table, int position);

// Number of whole records in the file after the stale rule ran: size / 20 for trade files,
// (size - 16) / 28 for .TRD (0 when shorter than its head); 0 when the file does not open.
int CountTickFile(TMarketData* table, int position);
int CountRecentFile(TMarketData* table, int position);
int CountTradeDetailsFile(TMarketData* table, int position);

// Read min(records in the file, *count) records from the start of the file into buffer (which
// holds at least *count records) after the stale rule ran, and set *count to the number read.
// Returns 1; 0 (count untouched) when buffer or count is null or the file does not open.
// A negative *count reads nothing.
int ReadTickFile(TMarketData* table, int position, TradeRecord* buffer, int* count);
int ReadRecentFile(TMarketData* table, int position, TradeRecord* buffer, int* count);
// Also gives the four head fields; they are left untouched when the file is shorter than its
// head. Any head pointer may be null.
int ReadTradeDetailsFile(TMarketData* table, int position, TodayMinuteRecord* buffer, int* count,
                         float* buyVolume, float* sellVolume, std::uint32_t* refPrice,
                         float* refAmount);

// ---- Access by instrument reference ----------------------------------------------------------

// CountTickFile of the instrument; 0 for an unknown instrument.
int CountCachedTicks(STKPTR instrument);

// Read the whole cache of the instrument into *buffer, a GuardedAlloc block (or null) that is
// kept while GuardedSize holds the records and replaced otherwise; *buffer may change.
// When requester is not 0 and the request client exists, the server is asked as well (the
// request operation decides what is missing), also when the cache held data.
// Returns 1 with *count records (0 when nothing is cached); 0 when buffer or count is null, the
// instrument is unknown, or the buffer cannot be allocated (then *count is 0 and *buffer null).
int ReadTicksOrRequest(TradeRecord** buffer, STKPTR instrument, int* count, std::uint32_t requester);
// Same for .nnt; the server is asked for the newest 30 trades.
int ReadRecentTradesOrRequest(TradeRecord** buffer, STKPTR instrument, int* count,
                              std::uint32_t requester);
// Same for .TRD; the four head fields are set to 0 first and filled when the file has a head.
int ReadTradeDetailsOrRequest(TodayMinuteRecord** buffer, STKPTR instrument, int* count,
                              float* buyVolume, float* sellVolume, std::uint32_t* refPrice,
                              float* refAmount, std::uint32_t requester);

// The number of newest trades asked of the server for .nnt.
constexpr int kRecentTradesRequested = 30;
