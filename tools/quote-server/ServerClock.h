// The quote server's clock: UTC seconds since 1970, replaceable so that tests decide what "now"
// is. Everything the server derives from time (the login block's expiry, the last completed
// trading day, today's trades, the quotes it pushes) asks this clock.
//
// LiveClock runs the server's time from a source (the system's UTC clock, or a replacement) in
// one of four ways: real (the source as it is, or sped up from the moment it was set), from a
// time of day (today's UTC date, HH:MM, then N times real time), and manual (moves only when
// stepped, for tests). Speeding up and starting elsewhere count elapsed time on a monotonic
// ticker, so a change of the system's clock does not make the server's jump.
#pragma once

#include <cstdint>
#include <functional>

namespace zuvo::quoteserver {

using ServerClock = std::function<std::int64_t()>;
// Milliseconds of a monotonic clock.
using Ticker = std::function<std::int64_t()>;

// The system's UTC time.
std::int64_t SystemUtcSeconds();
// The system's monotonic clock in milliseconds.
std::int64_t SteadyMilliseconds();

struct UtcDateTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
  int weekday;   // 0 Sunday .. 6 Saturday
};
UtcDateTime BreakDownUtc(std::int64_t seconds);

enum class ClockMode { kReal, kAt, kManual };

class LiveClock {
 public:
  LiveClock(ServerClock source, Ticker ticker);

  // Real time, sped up `speed` times from now on (speed 1: exactly the source).
  void SetReal(int speed);
  // Today's UTC date (of the server's current time) at minute `minuteOfDay` (0..1439), running
  // `speed` times real time.
  void SetTimeOfDay(int minuteOfDay, int speed);
  // Frozen at `utc` until stepped or set again.
  void SetManual(std::int64_t utc);
  // Moves the time by `seconds` (any mode).
  void Step(std::int64_t seconds);
  // The speed from now on (0 freezes the clock); the time goes on from where it is.
  void SetSpeed(int speed);

  std::int64_t Now() const;
  ClockMode mode() const { return mode_; }
  int speed() const { return speed_; }

 private:
  // Anchors the running time at `utc` from now.
  void Anchor(std::int64_t utcMs);
  std::int64_t NowMs() const;

  ServerClock source_;
  Ticker ticker_;
  ClockMode mode_ = ClockMode::kReal;
  int speed_ = 1;
  bool plainReal_ = true;        // real at speed 1, never moved: the source itself
  std::int64_t anchorUtcMs_ = 0;
  std::int64_t anchorTickMs_ = 0;
};

}  // namespace zuvo::quoteserver
