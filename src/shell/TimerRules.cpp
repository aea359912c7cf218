#include "shell/TimerRules.h"

#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "platform/Kernel.h"
#include "shell/ShellClients.h"

#include <cstdlib>

namespace zuvo::shell {

namespace {

int ValidPeriod(int seconds, int defaultSeconds) {
  return seconds < 1 || seconds > RefreshIntervals::kMaxSeconds ? defaultSeconds : seconds;
}

bool Due(std::uint32_t ticks, std::uint32_t& last, int period) {
  if (ticks - last < static_cast<std::uint32_t>(period)) return false;
  last = ticks;
  return true;
}

// Steps 3 and 4; a push heartbeat goes at most once a tick.
void KeepAlive(const TimerState& state) {
  IShellClients& clients = ShellClients();
  bool pushBeatSent = false;
  if (clients.HasPushClient() && GetTickCount() - clients.PushLastTraffic() >= kPushIdleMilliseconds) {
    clients.PushSendHeartbeat();
    pushBeatSent = true;
  }
  if (state.ticks % kHeartbeatTicks == 0) {
    if (clients.HasRequestClient()) clients.RequestSendHeartbeat();
    if (clients.HasPushClient() && !pushBeatSent) clients.PushSendHeartbeat();
  }
}

// Step 5.
void NameTableResend(TimerState& state) {
  if (state.nameTableCountdown == 0) return;
  if (--state.nameTableCountdown != 0) return;
  IShellClients& clients = ShellClients();
  if (!clients.HasRequestClient()) return;
  clients.RequestNameTable(0);
  clients.RequestNameTable(1);
}

// Step 7: no connection, so the clock runs from the platform and the countdown retries.
void WhileDisconnected(const TimerState& state, ITimerWindow& window) {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  window.ShowServerClock(now.wHour * 60 + now.wMinute);

  int& countdown = window.ReconnectCountdown();
  if (countdown == kReconnectArmed) {
    countdown = kReconnectArmed - 1;
    window.Reconnect();
  } else if (state.ticks % kReconnectTicks == 0) {
    if (countdown > 0) {
      --countdown;
      window.Reconnect();
    } else if (countdown == 0) {
      countdown = -1;
      window.AskToReconnect();
    }
  }
}

// Step 8, in the order sort, quote cycle, refresh.
void Broadcasts(TimerState& state, const RefreshIntervals& intervals, ITimerWindow& window) {
  if (Due(state.ticks, state.lastSortBroadcast, intervals.sortTime)) window.BroadcastTimer(1);
  if (window.QuoteCycling() && Due(state.ticks, state.lastCycleBroadcast, intervals.pageTime)) {
    window.BroadcastTimer(0);
  }
  if (Due(state.ticks, state.lastRefreshBroadcast, intervals.refreshTime)) window.BroadcastTimer(2);
}

// Step 10: the trading-day check of every market category.
void TradingDayCheck(TimerState& state, ITimerWindow& window) {
  TMarketData* first = GetMarketTable(0);
  if (ShellClients().HasRequestClient() && first != nullptr && StartsNewTradingDay(*first, 0)) {
    // Spread the clients' name-table requests over five minutes.
    std::srand(GetTickCount());
    state.nameTableCountdown = std::rand() % kNameTableDelayLimit + 1;
  }
  for (int market = 0; market < MarketCount && market < kMaxMarkets; ++market) {
    TMarketData* table = GetMarketTable(market);
    if (table == nullptr) continue;
    const int categories = table->record.categoryCount;
    bool cleared = false;
    for (int category = 0; category < categories && category < kMaxCategories; ++category) {
      if (!StartsNewTradingDay(*table, category)) continue;
      window.ClearCategoryDay(market, category);
      cleared = true;
    }
    if (!cleared) continue;
    window.Resubscribe();
    window.RepaintQuoteLists();
    for (int category = 0; category < categories && category < kMaxCategories; ++category) {
      if (!StartsNewTradingDay(*table, category)) continue;
      table->tradingDate[category] = table->now;
      window.ReloadCategory(market, category);
    }
  }
}

}  // namespace

RefreshIntervals ValidRefreshIntervals(int sortTime, int pageTime, int refreshTime) {
  RefreshIntervals intervals;
  intervals.sortTime = ValidPeriod(sortTime, RefreshIntervals::kDefaultSortTime);
  intervals.pageTime = ValidPeriod(pageTime, RefreshIntervals::kDefaultPageTime);
  intervals.refreshTime = ValidPeriod(refreshTime, RefreshIntervals::kDefaultRefreshTime);
  return intervals;
}

bool StartsNewTradingDay(const TMarketData& table, int category) {
  if (category < 0 || category >= kMaxCategories || !table.IsCategoryClosed(category)) return false;
  // GetWeekday stays in 0..6 for every date; Monday to Friday are trading days.
  const int weekday = GetWeekday(table.now);
  if (weekday < 1 || weekday > 5) return false;
  return PackedDate(table.now) != PackedDate(table.tradingDate[category]);
}

void RunTimer1Tick(TimerState& state, const RefreshIntervals& intervals, ITimerWindow& window) {
  window.ActivateAfterDisabledWindow();
  ++state.ticks;
  KeepAlive(state);
  NameTableResend(state);

  IShellClients& clients = ShellClients();
  if (clients.HasRequestClient() && clients.HasPushClient()) {
    state.animation = state.animation >= 3 ? 0 : state.animation + 1;
    window.DrawTitleLetters(state.animation);
  } else {
    WhileDisconnected(state, window);
  }

  Broadcasts(state, intervals, window);
  window.RunPendingRecalculations();
  if (state.ticks % kTradingDayCheckTicks == 0) TradingDayCheck(state, window);
  window.AlarmTimer();
}

}  // namespace zuvo::shell
