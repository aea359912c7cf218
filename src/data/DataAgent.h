// Shared data series: one in-memory series per (instrument, kind, period) with the windows that
// show it and the bar series built on it, kept in one process-wide registry and named by their
// index in it. Subscribers receive MsgAgentData (percent, series index) through SendMessageA
// and then read the records with CDataAgent::GetRecords. User-interface thread only.
// The loaders and the live update of each kind are in data/AgentLoad.h.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "platform/WinBase.h"

#include <cstdint>
#include <type_traits>

// What a series holds. Kinds 0 and 4 are accepted and hold nothing; 5 and 11 are bar kinds that
// no chart cycle maps to and hold no bars.
enum AgentKind : std::uint8_t {
  kAgentNone = 0,
  kAgentTicks = 1,          // every trade of the day (.tik), TradeRecord
  kAgentRecentTrades = 2,   // the newest trades (.nnt), TradeRecord
  kAgentMinutes = 3,        // today's minutes (.TRD), TodayMinuteRecord
  kAgentUnused4 = 4,
  kAgentUnusedBars5 = 5,
  kAgentMinuteBars = 6,     // bars of N minutes, ChartBar
  kAgentDayBars = 7,        // bars of N days
  kAgentWeekBars = 8,
  kAgentMonthBars = 9,
  kAgentQuarterBars = 10,
  kAgentUnusedBars11 = 11,
};

constexpr int kMaxAgentWindows = 64;
constexpr int kMaxAgentDependents = 32;
constexpr int kAgentRegistryStep = 64;

// Subscription modes: the target is a window to notify, or the index of a dependent series.
constexpr int kSubscribeWindow = 0;
constexpr int kSubscribeDependent = 1;

// MsgAgentData's first parameter: a live update, 1..99 download progress, complete or reloaded.
constexpr int kAgentLiveUpdate = 0;
constexpr int kAgentComplete = 100;

// True for the kinds built from bars (5 to 11).
inline bool IsBarAgentKind(int kind) { return kind >= kAgentUnusedBars5 && kind <= kAgentUnusedBars11; }

// One entry of the registry. An entry is in use while windowCount or dependentCount is not 0;
// a free entry is all zero with baseIndex -1. Views read the fields (the day totals of a
// minute series, for instance) but never write them.
struct CDataAgent {
  STKPTR instrument;
  std::uint8_t kind = 0;
  // Minutes for kind 6, days for kind 7, 0 otherwise. Kinds 1 and 2 use it to count the
  // records appended live since the last load from the cache.
  std::uint32_t period = 0;
  void* records = nullptr;             // GuardedAlloc block; capacity = GuardedSize / recordSize
  ChartBar* todayBars = nullptr;       // bar kinds: today's one-minute bars (1444)
  std::int32_t recordSize = 0;         // 20, 28 or 32
  std::int32_t recordCount = 0;
  float buyVolume = 0;                 // kinds 1 and 3: buyer-initiated volume of the day
  float sellVolume = 0;                // seller-initiated; undetermined trades count half each
  float turnoverSum = 0;               // markets that are not stock-like: price x volume ...
  float volumeSum = 0;                 // ... and volume; their quotient is the average price
  std::int32_t historyCount = 0;       // bar kinds: records read from the bar files
  std::uint8_t historyComplete = 0;    // 0 when the last history bar is a short N-day group
  float historyLastVolume = 0;         // the last history bar before today was merged into it
  float historyLastAmount = 0;
  std::uint32_t requestTag = 0;        // unique per created series; names its downloads
  std::int32_t baseIndex = -1;         // bar kinds: the kind-3 series this one is built on
  HWND windows[kMaxAgentWindows] = {};
  std::uint32_t windowCount = 0;
  std::int32_t dependents[kMaxAgentDependents] = {};
  std::uint32_t dependentCount = 0;
  // ---- Kept for the live update; not part of what views read ----
  float lastCumVolume = 0;             // kinds 1, 2: the last cumulative day volume seen
  std::int32_t barLimit = 0;           // bar kinds: MaxDataRecords the bar buffer was sized for
  std::uint8_t todayMinOnly = 0;       // bar kinds: TodayMinOnly as read at the last full load
  std::uint8_t historyHoldsToday = 0;  // day-based bar kinds: the files already hold today

  bool InUse() const { return windowCount != 0 || dependentCount != 0; }

  // The records and their count as they stand (TradeRecord for kinds 1, 2, TodayMinuteRecord
  // for 3, ChartBar in time order for bar kinds). The buffer belongs to the series and may be
  // replaced by its next load: never free it nor keep it past the next message (a view may
  // patch a record in place, as the flash chart fills missing open interest). An index that names no
  // series in use gives null and 0.
  static int GetRecords(int series, void** records, int* count);
  template <typename Record>
  static int GetRecords(int series, Record** records, int* count) {
    void* raw = nullptr;
    const int n = GetRecords(series, &raw, count);
    if (records) *records = static_cast<Record*>(raw);
    return n;
  }

  // Asks the request client for older history of a bar series (nothing once it holds
  // MaxDataRecords bars, for kinds other than 6 to 10, offline, or for an unknown index).
  static void RequestBars(int series);
  // Reloads the series from the cache with downloads allowed (a bar series reloads its base
  // series first, which notifies that series' windows and dependents), then sends 100 to its
  // windows and rebuilds its dependents with 100.
  static void Reload(int series);
  // Percent 100 reloads the series from the cache without downloading first; then the percent
  // goes to its windows and RefreshDependent with it to each dependent.
  static void Refresh(int series, int percent);
  // Percent 0 or 100 rebuilds today's part of a bar series on its base series (the history
  // read from the files stays); then the percent goes to its windows. Not passed further on.
  static void RefreshDependent(int series, int percent);

  // ---- Loading and live update (defined in data/AgentLoad.cpp; contracts in AgentLoad.h) ----
  static bool LoadTicks(int series, bool downloads);
  static bool LoadRecentTrades(int series, bool downloads);
  static bool LoadMinutes(int series, bool downloads);
  static bool LoadBars(int series, bool readHistory, int requestFlag);
  static void AppendTick(int series, const QuoteRecord& quote, std::uint32_t flags);
  static void AppendRecentTrade(int series, const QuoteRecord& quote, std::uint32_t flags);
  static void UpdateMinute(int series, const QuoteRecord& quote, std::uint32_t flags);
};

// The registry: created on first use with room for 64 entries, doubling as it grows. Entries
// are never removed, only cleared and reused, so an index stays valid while its holder is
// subscribed; the storage may move whenever a series is created (a subscription, or a window
// subscribing from its MsgAgentData handler), so never keep a pointer to an entry across such
// a call. Read only: series are taken and freed only through SubscribeAgent, UnsubscribeAgent
// and FreeAllAgents, which also keep the registry's list of the series of each instrument.
const EArray<CDataAgent>& GetAgentRegistry();
// The entry at an index, or null when the index is outside the registry. Valid until the next
// call that may create a series.
CDataAgent* GetAgent(int index);

// Finds a series in use of the same market number and instrument index (the category is not
// compared), kind and, for kinds other than 1 and 2, period, with room for the target, adds the
// target and returns its index; otherwise sets up a free or new entry and loads it (kinds 1,
// 2, 3 with downloads; bar kinds subscribe their kind-3 base series and read the bar files).
// Mode 0: target is a window (at most 64 per series; a 65th gets a second series of the same
// key). Mode 1: target is the index of a dependent series (at most 32).
// A target subscribed again is added again: every subscription is one entry and is given back
// by one UnsubscribeAgent (a chart whose formula also refers to its own instrument, a binding
// that subscribes its new series before releasing the old, keep the series alive meanwhile).
// Such a window receives each message once per entry. Nothing is sent on subscribing.
// Returns -1 when the registry cannot grow, or for a mode other than 0 and 1.
// The target may be given as a window handle or as an integer (a dependent's index, or 0).
int SubscribeAgent(STKPTR instrument, int kind, std::uint32_t period, std::uintptr_t target,
                   int mode);
inline int SubscribeAgent(STKPTR instrument, int kind, std::uint32_t period, HWND window,
                          int mode = kSubscribeWindow) {
  return SubscribeAgent(instrument, kind, period, reinterpret_cast<std::uintptr_t>(window), mode);
}
template <typename Integer>
  requires std::is_integral_v<Integer>
inline int SubscribeAgent(STKPTR instrument, int kind, std::uint32_t period, Integer target, int mode) {
  return SubscribeAgent(instrument, kind, period, static_cast<std::uintptr_t>(target), mode);
}
// Takes one entry of the target off the series (the first). A series left without windows and
// dependents gives up its base series (which may free it in turn), frees its buffers and
// clears its entry. An index not in use, a target not subscribed, or a mode other than 0 and 1
// does nothing.
void UnsubscribeAgent(int series, std::uintptr_t target, int mode);
inline void UnsubscribeAgent(int series, HWND window, int mode = kSubscribeWindow) {
  UnsubscribeAgent(series, reinterpret_cast<std::uintptr_t>(window), mode);
}
template <typename Integer>
  requires std::is_integral_v<Integer>
inline void UnsubscribeAgent(int series, Integer target, int mode) {
  UnsubscribeAgent(series, static_cast<std::uintptr_t>(target), mode);
}

// The series a chart of a cycle uses: cycles 1, 2, 4, 5, 6, 7, 13, 14 give kind 6 with 1, 3, 5,
// 15, 30, 60, 120, 240 minutes, cycle 3 kind 6 with n minutes, 12 kind 7 with n days, 9, 10, 11
// kinds 8, 9, 10 with 1, anything else kind 7 with 1. Null outputs are skipped.
void CycleToAgentKind(int cycle, int n, int* kind, int* period);

// The four walks below visit the series in use when they begin, in registry order; a series
// freed by a handler meanwhile is skipped, and one created meanwhile (loaded just now) is not
// visited. The cost of a quote or reply for one instrument does not grow with the series of
// other instruments.
//
// A live quote of one instrument (flags: 0x100 a new trade, 0x200 buyer-, 0x400
// seller-initiated). Trade and minute series of the instrument take it and notify their windows
// with 0 and rebuild their dependents; bar series follow through their base. Null quote: nothing.
void UpdateAgentsFromQuote(STKPTR instrument, const QuoteRecord* quote, std::uint32_t flags);
// A download for the instrument progressed (1..99) or finished (100). kind 6 with period 1, 5
// or 60 names a minute bar file and refreshes the minute-bar series that file serves; kind 7
// (the day file) refreshes every day-based series; other kinds refresh the series of that kind
// (any period for kinds 1 and 2, else the same period).
void NotifyAgentsDataArrived(STKPTR instrument, int kind, std::uint32_t period, int percent);
// CDataAgent::Reload on every series in use of the instrument.
void ReloadInstrumentAgents(STKPTR instrument);
// CDataAgent::Reload on every series in use of a market and category (255: any); the category
// compared is the one the series' instrument reference holds.
void ReloadMarketAgents(int market, int category);

// Frees every series and empties the registry (program exit, tests). No message is sent.
void FreeAllAgents();
