// The main window's one-second timer as rules over what it reads and does: the keep-alive of
// both connections, the title animation, the clock and the reconnect countdown while a
// connection is missing, the periodic view broadcasts, the change of trading day of every
// market category and the alarm hook. The rules read the clients through ShellClients(), the
// time through GetTickCount / GetSystemTime (a driven clock in tests), the markets through
// MarketTables, and act on the window through ITimerWindow, so every rule runs without a
// window and without waiting. UI thread only.
#pragma once

#include <cstdint>

class TMarketData;

namespace zuvo::shell {

// Broadcast periods in seconds ([Parameter] SortTime, PageTime, RefreshTime).
struct RefreshIntervals {
  static constexpr int kDefaultSortTime = 30;
  static constexpr int kDefaultPageTime = 15;
  static constexpr int kDefaultRefreshTime = 30;
  static constexpr int kMaxSeconds = 86400;
  int sortTime = kDefaultSortTime;
  int pageTime = kDefaultPageTime;
  int refreshTime = kDefaultRefreshTime;
};
// The periods as read, each below 1 or above a day replaced by its default: 0 would broadcast
// (and have the server sort) every tick, and a negative period compared with the unsigned tick
// difference would never broadcast at all.
RefreshIntervals ValidRefreshIntervals(int sortTime, int pageTime, int refreshTime);

// The timer's own state; one per process (ProcessTimerState), a fresh one per test.
struct TimerState {
  std::uint32_t ticks = 0;
  std::uint32_t lastSortBroadcast = 0;
  std::uint32_t lastCycleBroadcast = 0;
  std::uint32_t lastRefreshBroadcast = 0;
  int animation = 3;            // the highlighted title letter, 0..3
  int nameTableCountdown = 0;   // seconds until markets 0 and 1 get new name tables; 0 off
};

// What the rules read of and do to the main window.
class ITimerWindow {
 public:
  virtual ~ITimerWindow() = default;
  // When the active window exists and is disabled, activates the next one in the window order.
  virtual void ActivateAfterDisabledWindow() = 0;
  // Draws the title letters into the title box at once, the one at `highlighted` in red.
  virtual void DrawTitleLetters(int highlighted) = 0;
  // Sets the server clock (UTC minutes of the day) and repaints the clock box.
  virtual void ShowServerClock(int minutes) = 0;
  // The reconnect countdown: 12 armed, -1 off.
  virtual int& ReconnectCountdown() = 0;
  virtual void Reconnect() = 0;
  // Posts MsgConnectionLost (1): the question whether to reconnect.
  virtual void AskToReconnect() = 0;
  virtual bool QuoteCycling() = 0;
  // NotifyViews (8, zero instrument, arg, 0).
  virtual void BroadcastTimer(int arg) = 0;
  // ViewNotify (8, zero instrument, 3, 0) to every trend and K-line view of the page, whether
  // initialised or not: pending indicator recalculations run.
  virtual void RunPendingRecalculations() = 0;
  // A category's new trading day: its quotes and extras cleared; for market 0 category 0 also
  // both index values zeroed and the index bar repainted.
  virtual void ClearCategoryDay(int market, int category) = 0;
  // After a market had categories cleared: the incremental subscription, then the quote lists'
  // grids repainted.
  virtual void Resubscribe() = 0;
  virtual void RepaintQuoteLists() = 0;
  // The category's data series reloaded and the trend and K-line views of its instruments
  // refreshed (its trading date is already the new one).
  virtual void ReloadCategory(int market, int category) = 0;
  // The alarm engine's timer hook, when the engine exists.
  virtual void AlarmTimer() = 0;
};

// Periods counted in ticks.
constexpr std::uint32_t kPushIdleMilliseconds = 10000;   // push heartbeat after this much quiet
constexpr std::uint32_t kHeartbeatTicks = 57;
constexpr std::uint32_t kTradingDayCheckTicks = 63;
constexpr std::uint32_t kReconnectTicks = 5;
constexpr int kReconnectArmed = 12;
constexpr int kNameTableDelayLimit = 300;                // the resend comes 1..300 s later

// The main window's timer state and periods (LoadRefreshIntervals sets the periods).
TimerState& ProcessTimerState();
RefreshIntervals& ProcessRefreshIntervals();

// One tick of the one-second timer: the eleven steps in their order.
void RunTimer1Tick(TimerState& state, const RefreshIntervals& intervals, ITimerWindow& window);

// A category starts a new trading day when it is closed for the day, the market's date is a
// weekday (the weekend leaves the last day's quotes standing) and differs from the category's
// trading date. False for a category out of range.
bool StartsNewTradingDay(const TMarketData& table, int category);

}  // namespace zuvo::shell
