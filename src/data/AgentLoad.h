// Filling the shared data series (data/DataAgent.h): each kind loaded from its cache file and
// repaired (price gaps, counters that step back, live trades the cache has not caught up
// with), today's minutes turned into one-minute bars and merged behind the bar history, and a
// live quote applied to the trade and minute series. The CDataAgent loaders declared in
// DataAgent.h are defined in AgentLoad.cpp and follow the contracts below.
//
// LoadTicks / LoadRecentTrades (series, downloads) -> bool: the trades appended live since the
//   last load are set aside, the cache is read (with downloads, the series' requestTag asks the
//   server for what is missing), zero prices and cumulative volumes that step back are repaired,
//   the set-aside trades the cache lacks are appended again (those whose volumes still fit below
//   the quote's day volume), and cumulative volumes become per-trade volumes. The buffer holds
//   the cache, the set-aside trades and 516 more (ticks at least 12800, newest trades 546).
//   Ticks also keep the day totals. False (series empty, records null) when memory is short.
//   Note: the load raises the instrument's quote high and lowers its low to the trades read.
// LoadMinutes (series, downloads) -> bool: today's minutes cut to the minutes of the day so far,
//   minutes without trades filled from the one before. Room for the category's whole day plus
//   65 records (at least 1441 + 65). False when memory is short.
// LoadBars (series, readHistory, requestFlag) -> bool: history bars of the series' cycle (read
//   again only with readHistory, or when MaxDataRecords changed since the buffer was made), then
//   today's bars from the base minute series behind them (in the history's units: divided by
//   the volume divisor), or today's quote for day-based cycles unless the day file already
//   holds today (its bar stands, today is not merged in twice). TodayMinOnly of [UI] in the user's
//   defui.ini (read at each history read, kept for the rebuilds in between) leaves the intraday
//   cycles under 60 minutes without history. False for kinds 5 and 11, an unknown index, or
//   when memory is short (both buffers freed).
// AppendTick / AppendRecentTrade / UpdateMinute (series, quote, flags): the live update of kinds
//   1, 2, 3; nothing without flag 0x100, nor when the quote's day volume is not ahead of the last
//   one the series saw (except in markets without a volume check). A buffer close to full grows
//   in memory; it is never reloaded from the cache for lack of room.
#pragma once

#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/Records.h"

#include <cstdint>

// Change flags of a pushed quote.
constexpr std::uint32_t kQuoteNewTrade = 0x100;
constexpr std::uint32_t kQuoteBuyerInitiated = 0x200;
constexpr std::uint32_t kQuoteSellerInitiated = 0x400;

constexpr int kTickHeadroom = 516;          // records beyond the cache and the live tail
constexpr int kMinTickRecords = 12800;
constexpr int kMinRecentRecords = 546;
constexpr int kMinMinuteRecords = 1441;
constexpr int kAppendReserve = 64;          // a buffer grows once fewer records than this are free
constexpr int kTodayBarCapacity = 1444;     // todayBars: 46208 bytes

// Counters the benchmarks and tests read: loads of a series from the cache files (ticks, newest
// trades, minutes, bar history) and in-memory growths of a buffer close to full.
struct AgentLoadCounters {
  std::uint64_t cacheLoads = 0;
  std::uint64_t growths = 0;
};
extern AgentLoadCounters AgentCounters;

// True when the market clock falls on Monday to Friday and its date is the category's trading
// date. False for a null table or a category out of range.
bool IsTradingDayToday(const TMarketData* table, int category);
// How many minutes of the category's day have begun: its minutes per day, or, when the trading
// day is today, 0 before the first session opens, minuteIndex + 1 during the sessions and the
// minutes per day after the last close. A minute series holds at most this + 1 records (the
// first record is the opening before the first minute).
int TodayMinuteLimit(const TMarketData* table, int category);

// Turns today's minute records of the instrument into one-minute bars in `bars` (room for 1444):
// as many bars as the category's minutes per day (when the trading day is today, minuteIndex +
// 1), each stamped with the end of its minute on today's trading date; the first bar takes the
// first two records (the opening and the first minute); minutes after the last record repeat
// the last close with no volume; volumes, and in stock-like markets amounts, per minute.
// Returns the bars written; 0 for no records, a null argument or an unknown instrument.
int BuildTodayMinuteBars(STKPTR instrument, const TodayMinuteRecord* records, int count,
                         ChartBar* bars);
