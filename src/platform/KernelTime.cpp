// Time calls of the kernel layer: UTC and local wall-clock time, the 32-bit wrapping tick count
// and Sleep, and the one monotonic clock (platform/internal/Clock.h) that timers and timed waits
// measure with. A test replaces the clock with a driven one (platform/DrivenClock.h).
#include "platform/Kernel.h"

#include "platform/internal/Clock.h"
#include "platform/internal/Ownership.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>  // durations and clocks (<chrono> itself has a literal GBK cannot hold)
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

std::int64_t realUtcMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::int64_t realMonotonicMilliseconds() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A driven clock: a count that moves only when a test drives it, and what it read when made.
struct DrivenState {
  bool active = false;
  std::int64_t now = 0;
  std::int64_t origin = 0;          // `now` when it was installed
  std::int64_t utcAtOrigin = 0;
  DWORD ticksAtOrigin = 0;
  int localOffsetMinutes = 0;
  std::thread::id owner;            // its Sleep moves the clock

  std::int64_t Utc() const { return utcAtOrigin + (now - origin); }
};

// The count at which a clock took over and the count it had reached when it was replaced: a
// wait that spans a change of clock adds up the time it saw pass on each.
struct Span {
  std::int64_t start = 0;
  std::int64_t end = 0;
};

struct ClockFields {
  DrivenState driven;
  std::vector<DrivenState> replaced;   // what the installed driven clocks replaced, innermost last
  std::vector<Span> spans{Span{}};     // indexed by epoch; the last one is the clock in use
};

struct ListenerFields {
  std::vector<std::pair<const kernel::ClockListener*, std::function<void()>>> listeners;
};

// The clock's registry, never destroyed: threads may read the time until the process exits.
struct ClockRegistry {
  zuvo::platform::Guarded<ClockFields> clock;
  // Listeners run under this lock, so that destroying one waits out a call in flight.
  zuvo::platform::Guarded<ListenerFields> listeners;
};

ClockRegistry& registry() {
  static ClockRegistry* clocks = new ClockRegistry;
  return *clocks;
}

// What the time calls look at before taking any lock. Plain atomics, constant-initialised and
// never destroyed, so that they can be read from any thread at any time.
struct ClockSignals {
  // Without a driven clock the time is read without taking the clock's lock.
  std::atomic<bool> driven{false};
  // Changes, under the clock's lock, each time a clock is installed or removed: a reading taken
  // on one clock is never compared with the other's count.
  std::atomic<std::uint64_t> epoch{0};
  // Threads blocked in a Sleep or timed wait of the driven clock.
  std::atomic<int> drivenWaiters{0};
};
constinit ClockSignals clockSignals;

struct Reading {
  std::uint64_t epoch;
  std::int64_t now;
};

// The clock's count and which clock gave it, read together.
Reading readClock() {
  ClockRegistry& r = registry();
  for (;;) {
    if (clockSignals.driven.load(std::memory_order_acquire)) {
      auto clock = r.clock.Lock();
      if (clock->driven.active) return {clockSignals.epoch.load(std::memory_order_acquire), clock->driven.now};
      continue;
    }
    const std::uint64_t epoch = clockSignals.epoch.load(std::memory_order_acquire);
    const std::int64_t now = realMonotonicMilliseconds();
    // A driven clock installed meanwhile would make this reading belong to neither clock.
    if (!clockSignals.driven.load(std::memory_order_acquire) && clockSignals.epoch.load(std::memory_order_acquire) == epoch)
      return {epoch, now};
  }
}

// The driven clock's state when one is installed; false without one.
bool drivenState(DrivenState* out) {
  ClockRegistry& r = registry();
  if (!clockSignals.driven.load(std::memory_order_acquire)) return false;
  auto clock = r.clock.Lock();
  if (!clock->driven.active) return false;
  *out = clock->driven;
  return true;
}

// Milliseconds that passed from a reading `last` taken on clock `epoch` to `now`, on however many
// clocks came between.
std::int64_t elapsedSince(std::uint64_t epoch, std::int64_t last, const Reading& now) {
  if (now.epoch == epoch) return now.now - last;
  auto clock = registry().clock.Lock();
  const std::vector<Span>& spans = clock->spans;
  std::int64_t elapsed = spans[epoch].end - last;
  for (std::uint64_t between = epoch + 1; between < now.epoch; ++between)
    elapsed += spans[between].end - spans[between].start;
  return elapsed + (now.now - spans[now.epoch].start);
}

// Ends the clock in use at its present count and starts the next at `start` (under the lock).
void changeClock(ClockFields& clock, std::int64_t start) {
  clock.spans.back().end = clock.driven.active ? clock.driven.now : realMonotonicMilliseconds();
  clock.spans.push_back(Span{start, 0});
  clockSignals.epoch.fetch_add(1, std::memory_order_acq_rel);
}

void notifyListeners() {
  auto listeners = registry().listeners.Lock();
  for (auto& entry : listeners->listeners) entry.second();
}

// Counts the calling thread among the driven clock's waiters while it lives.
class CountedDrivenWaiter {
 public:
  CountedDrivenWaiter() {
    clockSignals.drivenWaiters.fetch_add(1);
    clockSignals.drivenWaiters.notify_all();
  }
  ~CountedDrivenWaiter() {
    clockSignals.drivenWaiters.fetch_sub(1);
    clockSignals.drivenWaiters.notify_all();
  }
  CountedDrivenWaiter(const CountedDrivenWaiter&) = delete;
  CountedDrivenWaiter& operator=(const CountedDrivenWaiter&) = delete;
};

}  // namespace

namespace zuvo::platform::kernel {

std::int64_t ClockNow() { return readClock().now; }

bool ClockIsDriven() { return clockSignals.driven.load(std::memory_order_acquire); }

Deadline::Deadline(DWORD milliseconds) : endless_(milliseconds == INFINITE), left_(milliseconds) {
  const Reading reading = readClock();
  last_ = reading.now;
  epoch_ = reading.epoch;
}

DWORD Deadline::Left() {
  if (endless_) return INFINITE;
  const Reading reading = readClock();
  left_ -= elapsedSince(epoch_, last_, reading);
  epoch_ = reading.epoch;
  last_ = reading.now;
  if (left_ <= 0) {
    left_ = 0;
    return 0;
  }
  return static_cast<DWORD>(std::min<std::int64_t>(left_, INFINITE - 1));
}

ClockListener::ClockListener(std::function<void()> onChange) {
  registry().listeners.Lock()->listeners.emplace_back(this, std::move(onChange));
}

ClockListener::~ClockListener() {
  auto listeners = registry().listeners.Lock();
  auto& list = listeners->listeners;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& entry) { return entry.first == this; }),
             list.end());
}

bool WaitOnClock(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, DWORD milliseconds,
                 const std::function<bool()>& ready) {
  if (ready()) return true;
  if (milliseconds == 0) return false;
  if (milliseconds == INFINITE) {
    changed.wait(lock, ready);
    return true;
  }
  std::mutex& mutex = *lock.mutex();
  Deadline deadline(milliseconds);
  for (;;) {
    bool timedOut = false;
    // The listener is made and destroyed without the lock held: it runs under the listeners'
    // lock and takes this one, so holding this one there could deadlock with a clock being driven.
    lock.unlock();
    {
      ClockListener wake([&mutex, &changed] {
        std::lock_guard<std::mutex> guard(mutex);
        changed.notify_all();
      });
      lock.lock();
      while (!ready()) {
        const DWORD left = deadline.Left();
        if (left == 0) {
          timedOut = true;
          break;
        }
        if (ClockIsDriven()) {
          // Woken by the listener when the clock moves; the lock held since reading the clock
          // keeps that wake from slipping in before this wait.
          CountedDrivenWaiter counted;
          changed.wait(lock);
        } else {
          changed.wait_for(lock, std::chrono::milliseconds(left));
        }
      }
      lock.unlock();
    }
    lock.lock();
    // The lock was let go while the listener went: another waiter may have taken what this one
    // saw (an automatic event), so look again before answering.
    if (ready()) return true;
    if (timedOut || deadline.Left() == 0) return false;
  }
}

int InstallDrivenClock(const DrivenClockStart& start) {
  ClockRegistry& r = registry();
  int token;
  {
    auto clock = r.clock.Lock();
    clock->replaced.push_back(clock->driven);
    token = static_cast<int>(clock->replaced.size());
    DrivenState driven;
    driven.active = true;
    driven.now = clock->driven.active ? clock->driven.now : realMonotonicMilliseconds();
    driven.origin = driven.now;
    driven.utcAtOrigin = start.utcMilliseconds;
    driven.ticksAtOrigin = start.ticks;
    driven.localOffsetMinutes = start.localOffsetMinutes;
    driven.owner = std::this_thread::get_id();
    changeClock(*clock, driven.now);
    clock->driven = driven;
    clockSignals.driven.store(true, std::memory_order_release);
  }
  notifyListeners();
  return token;
}

void RemoveDrivenClock(int token) {
  ClockRegistry& r = registry();
  {
    auto clock = r.clock.Lock();
    if (token < 1 || token > static_cast<int>(clock->replaced.size())) return;
    const DrivenState restored = clock->replaced[static_cast<std::size_t>(token - 1)];
    clock->replaced.resize(static_cast<std::size_t>(token - 1));
    changeClock(*clock, restored.active ? restored.now : realMonotonicMilliseconds());
    clock->driven = restored;
    clockSignals.driven.store(clock->driven.active, std::memory_order_release);
  }
  notifyListeners();
}

void AdvanceDrivenClock(DWORD milliseconds) {
  {
    auto clock = registry().clock.Lock();
    if (!clock->driven.active) return;
    clock->driven.now += milliseconds;
  }
  notifyListeners();
}

void AwaitDrivenWaiters(int count) {
  std::atomic<int>& waiters = clockSignals.drivenWaiters;
  for (;;) {
    const int now = waiters.load();
    if (now >= count) return;
    waiters.wait(now);
  }
}

std::int64_t NowUtcMilliseconds() {
  DrivenState driven;
  if (drivenState(&driven)) return driven.Utc();
  return realUtcMilliseconds();
}

void SystemTimeFromUnixMilliseconds(std::int64_t milliseconds, SYSTEMTIME* out) {
  std::int64_t days = milliseconds / kMsPerDay;
  std::int64_t rest = milliseconds % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  int year, month, day;
  civilFromDays(days, year, month, day);
  out->wYear = static_cast<WORD>(year);
  out->wMonth = static_cast<WORD>(month);
  out->wDay = static_cast<WORD>(day);
  // 1970-01-01 was a Thursday.
  out->wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);
  out->wHour = static_cast<WORD>(rest / 3600000);
  out->wMinute = static_cast<WORD>(rest / 60000 % 60);
  out->wSecond = static_cast<WORD>(rest / 1000 % 60);
  out->wMilliseconds = static_cast<WORD>(rest % 1000);
}

}  // namespace zuvo::platform::kernel

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  kernel::SystemTimeFromUnixMilliseconds(kernel::NowUtcMilliseconds(), time);
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  DrivenState driven;
  if (drivenState(&driven)) {
    kernel::SystemTimeFromUnixMilliseconds(driven.Utc() + std::int64_t{driven.localOffsetMinutes} * 60000, time);
    return;
  }
  const std::int64_t now = realUtcMilliseconds();
  time_t seconds = static_cast<time_t>(now / 1000);
  struct tm local {};
  if (!localtime_r(&seconds, &local)) {
    kernel::SystemTimeFromUnixMilliseconds(now, time);
    return;
  }
  // The zone's offset at this instant (daylight saving included) applied to the exact time.
  kernel::SystemTimeFromUnixMilliseconds(now + std::int64_t{local.tm_gmtoff} * 1000, time);
}

DWORD GetTickCount() {
  DrivenState driven;
  if (drivenState(&driven))
    return static_cast<DWORD>(driven.ticksAtOrigin + static_cast<std::uint64_t>(driven.now - driven.origin));
  return static_cast<DWORD>(realMonotonicMilliseconds());  // the low 32 bits: wraps like the original counter
}

namespace {
std::atomic<DWORD> zeroSleepStep{0};
}  // namespace

DWORD zuvo::platform::kernel::SetZeroSleepStepForTest(DWORD milliseconds) { return zeroSleepStep.exchange(milliseconds); }

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    if (const DWORD step = zeroSleepStep.load(); step != 0) {
      DrivenState driven;
      if (drivenState(&driven) && driven.owner == std::this_thread::get_id()) {
        kernel::AdvanceDrivenClock(step);
        return;
      }
    }
    std::this_thread::yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  // The thread that drives the clock sleeping is time passing: nobody else would move it.
  DrivenState driven;
  if (drivenState(&driven) && driven.owner == std::this_thread::get_id()) {
    kernel::AdvanceDrivenClock(milliseconds);
    return;
  }
  std::mutex mutex;
  std::condition_variable never;
  std::unique_lock<std::mutex> lock(mutex);
  kernel::WaitOnClock(never, lock, milliseconds, [] { return false; });
}
