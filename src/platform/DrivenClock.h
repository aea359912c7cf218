// Driven time for tests. While a ScopedDrivenClock lives, the platform's clock stands still
// until the test moves it: GetTickCount, GetSystemTime, GetLocalTime, timer due times (SetTimer),
// Sleep and every wait with a timeout (WaitForSingleObject, WaitHandlingSentMessages,
// PumpMessagesUntil) read it, so what depends on time happens exactly when the test says, on a
// busy machine as on an idle one. No test needs to sleep or to measure how long something took.
//
// How a test uses it:
//   zuvo::platform::ScopedDrivenClock clock;       // 2024-03-06 09:30:00 in Beijing (UTC+8)
//   SetTimer(window, 1, 30, nullptr);
//   clock.FastForward(90);                          // WM_TIMER handled at +30, +60 and +90
//   clock.Advance(1000);                            // one jump, nothing handled:
//   zuvo::platform::ProcessPendingMessages();       //   one WM_TIMER waited (timers coalesce)
// With a worker that sleeps or waits with a timeout:
//   clock.AwaitWaitingThreads(1);                   // the worker is blocked in its Sleep(500)
//   clock.FastForward(500);                         // and now its Sleep returns
//
// The rules:
// - FastForward on the UI thread moves the clock to each timer's due time in turn and there
//   handles what waits (timers, posts, calls from workers, painting), as a running message loop
//   would. On another thread, or before the application exists, it is Advance.
// - Advance moves the clock in one jump and handles nothing; at most one WM_TIMER per timer waits
//   for the next look at the queue.
// - Sleep on the thread that made the clock moves the clock itself: nobody else would. Elsewhere
//   a Sleep or timed wait returns once the clock is driven past its due time (or its object is
//   signalled), and other threads see each move as one jump (a worker's loop of Sleep(100) turns
//   once per move). A timed wait on the clock's own thread therefore ends only when its object is
//   signalled: wait for workers there without a timeout, or pump until a condition holds.
// - Guards nest; the destructor puts back the clock that was there before. Timers and waits that
//   span the change go on with the time they had left.
#pragma once

#include "platform/WinBase.h"

#include <cstdint>

namespace zuvo::platform {

class ScopedDrivenClock {
 public:
  static constexpr std::int64_t kDefaultUtcMilliseconds = 1709688600000;   // 2024-03-06 01:30:00 UTC
  static constexpr int kDefaultLocalOffsetMinutes = 8 * 60;
  static constexpr DWORD kDefaultTicks = 1000000;

  // The clock reads the given instant (UTC, milliseconds since the Unix epoch), local time that
  // plus the offset, and GetTickCount the given count; all three move together.
  ScopedDrivenClock();
  explicit ScopedDrivenClock(std::int64_t utcMilliseconds, int localOffsetMinutes = kDefaultLocalOffsetMinutes,
                             DWORD ticks = kDefaultTicks);
  ~ScopedDrivenClock();
  ScopedDrivenClock(const ScopedDrivenClock&) = delete;
  ScopedDrivenClock& operator=(const ScopedDrivenClock&) = delete;

  void FastForward(DWORD milliseconds);
  void Advance(DWORD milliseconds);
  // Blocks until at least `count` threads are blocked in a Sleep or a timed wait of this clock
  // (counting every thread, not only those the test started).
  void AwaitWaitingThreads(int count);

 private:
  int token_;
};

}  // namespace zuvo::platform
