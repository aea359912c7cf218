// Whether a local cache file is good enough or the server must be asked: the shared freshness
// test of the request operations, the bar-file trim before a bar request, the chart cycle to
// bar-file map, and the ticks / trade-details rule.
//
// File times are UTC; a file's local date is its last-write time moved by the market's hour
// offset (the date carrying into the next or previous day). Dates are PackedTimes with their
// time bits cleared. The market clock is the table's `now`.
//
// UI thread only.
#pragma once

#include "data/MarketData.h"

#include <cstdint>
#include <string>

// The bar file kind (1, 4, 7 or 8) that serves chart cycle `cycle` with multiplier `n`:
// cycle 3 (N minutes) by MinuteBarFileFor(n), cycle 12 (N days) the day file, cycles 8-12 the
// day file, 7, 13 and 14 the sixty-minute file, other cycles of 4 or more the five-minute file,
// 0, 1 and 2 (and any negative number) the one-minute file. Unlike the chart's
// BaseFileKindOfCycle, which has no file for the tick cycle and unknown cycles, every cycle
// gets a file here: the tick chart also keeps a one-minute history.
int BarFileKindForCycle(int cycle, int n);

// The information index n of an instrument, "..\Data\<market>\base\<code><n>.idx"; false
// (path empty) when the market folder or the code cannot name a file.
bool InfoIndexFilePath(const TMarketData* table, const char* instrumentCode, std::uint32_t n,
                       std::string& path);
// Notes list n, "..\data\notes\notes<n>.ls2"; false for a negative n.
bool NotesListFilePath(int n, std::string& path);

// The local date and time of a file's last write in the market's time (hour offset applied);
// false when the file does not exist or its time cannot be read.
bool FileLocalTime(const char* path, const TMarketData* table, PackedTime* local);

// True when the file at `localTime` (its local date and time) belongs to the market's current
// trading day for the category: the file's trading day (its date, moved back a day when
// written before the category's day change, then over a weekend) equals the market's (the
// clock's date, moved back a day before the category's day change, then over a weekend). The
// weekend step applies either way: a Saturday or Sunday belongs to the Friday before.
bool IsCurrentTradingDay(const TMarketData* table, int category, PackedTime localTime);

// The shared freshness test. kind: the request kind (6, 7 bars; 8, 13, 26 by the trading-day
// rule; 35 information index); *a keeps its low byte (the bar file kind) and *b (a mode) on
// entry, and both are set to 0 first. True: ask the server, with *a and *b the request's
// value1 and value2; false: the local file is enough. A file that cannot be opened asks for
// everything. Kinds 8, 13, 26 and 35 delete a file they find stale (35 with its ".txt" twin);
// a bar file is never touched (its reply stamps it). `loginTime` is the request client's login
// time as a PackedTime (kind 35 deletes an index written before it).
// Bars (6, 7): a file without one whole bar asks for everything; newer bars (older false) are
// asked from the day after the last bar (*a) when that day is before the market's date and the
// file was last written before the market's date (a file written today was answered today);
// older bars (older true) up to just before the first bar (*b), unless the file holds
// MaxDataRecords bars already. Because the file is not stamped here, a reply that never
// arrives leaves the file as it was and the next test asks again.
// Index (35): mode (*b on entry) 1 or 2 does not ask again while the file is current; any
// other mode asks for the records after those held (*a = file size / 256).
bool CheckCacheFreshness(int kind, const TMarketData* table, int category, const char* path,
                         std::uint32_t* a, std::uint32_t* b, bool older, PackedTime loginTime);

// Before a bar request: when the bar file exists and was last written before the market's
// current date, cuts the bars that may be incomplete (the day file its last five, an intraday
// file every bar of its last date, or all of it when it holds more than a day of minutes on
// one date) and restores the file's last-write time. Nothing for a missing or current file.
void TrimBarFile(const char* path, const TMarketData* table, int fileKind);

// The ticks / trade-details rule (tradeDetails: .TRD with its 16-byte head and 28-byte
// minutes, else .tik with 20-byte trades). Returns true when the server must be asked and sets
// *held to the records to keep (0 after a stale file was deleted). The stale test is the tick
// cache's own (data/TickCache.h), so the reader and the request agree. When the file is current
// and its last record shows a bigger volume than the quote's day volume, the quote's `last`
// takes the record's price; trade details also set the day `volume` from the minute's
// cumulative volume (a single trade says nothing of the day's volume, so ticks leave it).
bool CheckTradeFileRule(TMarketData* table, int index, const char* path, bool tradeDetails,
                        std::uint32_t* held);
