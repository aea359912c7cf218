// Platform-internal: the one monotonic clock behind GetTickCount, Sleep, timer due times and
// every wait with a timeout. It is the system's steady clock, or, while a test holds a
// platform::ScopedDrivenClock (platform/DrivenClock.h), a count that moves only when the test
// drives it. Everything that measures a timeout measures it here, so driven time reaches them all.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinBase.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace zuvo::platform::kernel {

// Milliseconds of the clock; only differences mean anything. Any thread.
std::int64_t ClockNow();
// True while a driven clock is installed.
bool ClockIsDriven();

// A due time measured on the clock. The clock may be replaced while a wait runs (a driven clock
// installed or removed): the wait then goes on with the time it had left, on the new clock.
class Deadline {
 public:
  explicit Deadline(DWORD milliseconds);   // INFINITE never passes
  // Milliseconds left (0 once passed); INFINITE for a deadline that never passes.
  DWORD Left();

 private:
  bool endless_;
  std::int64_t left_;
  std::int64_t last_;
  std::uint64_t epoch_;
};

// Calls a function after every change of the clock (a driven clock moved, installed or removed),
// on the thread that changed it, until the listener is destroyed; once the destructor returns the
// function is not running and will not run again. The function must not create or destroy
// listeners, and a thread must not destroy a listener while it holds a lock the function takes.
class ClockListener {
 public:
  explicit ClockListener(std::function<void()> onChange);
  ~ClockListener();
  ClockListener(const ClockListener&) = delete;
  ClockListener& operator=(const ClockListener&) = delete;
};

// Waits on `changed`, whose mutex `lock` holds, until ready() or until `milliseconds` have
// passed on the clock (INFINITE: no timeout). Returns ready() as last evaluated under the lock.
// Under a driven clock the wait ends when the clock is driven past its due time, and while it
// blocks it counts as a waiting thread for ScopedDrivenClock::AwaitWaitingThreads. The lock is
// held on return (it is let go for a moment while the wait registers itself with the clock).
bool WaitOnClock(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
                 const std::function<bool()>& ready);

// ---- The driven clock (tests use platform::ScopedDrivenClock, which wraps these) -----------
struct DrivenClockStart {
  std::int64_t utcMilliseconds;
  int localOffsetMinutes;
  DWORD ticks;
};
// Installs a driven clock that reads `start` now, owned by the calling thread (its Sleep drives
// the clock). Returns a token that RemoveDrivenClock takes to restore the clock that was before.
int InstallDrivenClock(const DrivenClockStart& start);
void RemoveDrivenClock(int token);
// Moves the driven clock on; nothing happens without one. Wakes what it makes due.
void AdvanceDrivenClock(DWORD milliseconds);
// Blocks until at least `count` threads are blocked in a Sleep or a timed wait of the driven clock.
void AwaitDrivenWaiters(int count);

}  // namespace zuvo::platform::kernel
