// Time calls of the kernel layer: UTC and local wall-clock time, the 32-bit wrapping tick count
// and Sleep, with the clock and the tick source replaceable by tests.
#include "platform/Kernel.h"

#include <time.h>

#include <atomic>
#include <condition_variable>  // durations and clocks (<chrono> itself has a literal GBK cannot hold)
#include <mutex>
#include <thread>

namespace {

struct ClockState {
  std::mutex lock;
  std::function<std::int64_t()> utcMilliseconds;
  int localOffsetMinutes = 0;
  std::function<DWORD()> ticks;
};

ClockState& clockState() {
  static ClockState* state = new ClockState;  // never destroyed: threads may ask until exit
  return *state;
}

// Fast paths: the real clock and tick source are read without taking the lock.
std::atomic<bool> clockReplaced{false};
std::atomic<bool> ticksReplaced{false};

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

}  // namespace

namespace kernel {

void SetClockForTest(std::function<std::int64_t()> utcMilliseconds, int localOffsetMinutes) {
  ClockState& state = clockState();
  std::lock_guard<std::mutex> guard(state.lock);
  clockReplaced = static_cast<bool>(utcMilliseconds);
  state.utcMilliseconds = std::move(utcMilliseconds);
  state.localOffsetMinutes = localOffsetMinutes;
}

void SetTickSourceForTest(std::function<DWORD()> ticks) {
  ClockState& state = clockState();
  std::lock_guard<std::mutex> guard(state.lock);
  ticksReplaced = static_cast<bool>(ticks);
  state.ticks = std::move(ticks);
}

std::int64_t NowUtcMilliseconds() {
  if (clockReplaced.load(std::memory_order_acquire)) {
    std::function<std::int64_t()> clock;
    {
      std::lock_guard<std::mutex> guard(clockState().lock);
      clock = clockState().utcMilliseconds;
    }
    if (clock) return clock();  // called outside the lock: a test clock may read the ticks
  }
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

}  // namespace kernel

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  kernel::SystemTimeFromUnixMilliseconds(kernel::NowUtcMilliseconds(), time);
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  if (clockReplaced.load(std::memory_order_acquire)) {
    int offset;
    {
      std::lock_guard<std::mutex> guard(clockState().lock);
      offset = clockState().localOffsetMinutes;
    }
    kernel::SystemTimeFromUnixMilliseconds(kernel::NowUtcMilliseconds() + std::int64_t{offset} * 60000, time);
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
  if (ticksReplaced.load(std::memory_order_acquire)) {
    std::function<DWORD()> ticks;
    {
      std::lock_guard<std::mutex> guard(clockState().lock);
      ticks = clockState().ticks;
    }
    if (ticks) return ticks();
  }
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // keeps the low 32 bits: wraps like the original counter
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
