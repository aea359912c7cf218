#include "ServerClock.h"

#include <chrono>
#include <ctime>

namespace zuvo::quoteserver {

std::int64_t SystemUtcSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

UtcDateTime BreakDownUtc(std::int64_t seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&when, &utc);
  return {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, utc.tm_wday};
}

LiveClock::LiveClock(ServerClock source, Ticker ticker) : source_(std::move(source)), ticker_(std::move(ticker)) {
  if (!source_) source_ = SystemUtcSeconds;
  if (!ticker_) ticker_ = SteadyMilliseconds;
}

void LiveClock::Anchor(std::int64_t utcMs) {
  anchorUtcMs_ = utcMs;
  anchorTickMs_ = ticker_();
}

std::int64_t LiveClock::NowMs() const {
  if (mode_ == ClockMode::kReal && plainReal_) return source_() * 1000;
  if (mode_ == ClockMode::kManual) return anchorUtcMs_;
  return anchorUtcMs_ + (ticker_() - anchorTickMs_) * speed_;
}

std::int64_t LiveClock::Now() const {
  const std::int64_t ms = NowMs();
  return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

void LiveClock::SetReal(int speed) {
  mode_ = ClockMode::kReal;
  speed_ = speed;
  plainReal_ = speed == 1;
  if (!plainReal_) Anchor(source_() * 1000);
}

void LiveClock::SetTimeOfDay(int minuteOfDay, int speed) {
  const std::int64_t now = Now();
  const std::int64_t day = (now >= 0 ? now : now - 86399) / 86400;
  Anchor((day * 86400 + static_cast<std::int64_t>(minuteOfDay) * 60) * 1000);
  mode_ = ClockMode::kAt;
  speed_ = speed;
  plainReal_ = false;
}

void LiveClock::SetManual(std::int64_t utc) {
  mode_ = ClockMode::kManual;
  plainReal_ = false;
  anchorUtcMs_ = utc * 1000;
}

void LiveClock::Step(std::int64_t seconds) {
  const std::int64_t ms = NowMs() + seconds * 1000;
  if (mode_ == ClockMode::kManual) {
    anchorUtcMs_ = ms;
    return;
  }
  if (mode_ == ClockMode::kReal) mode_ = ClockMode::kAt;
  plainReal_ = false;
  Anchor(ms);
}

void LiveClock::SetSpeed(int speed) {
  if (mode_ == ClockMode::kManual) {
    speed_ = speed;
    return;
  }
  const std::int64_t ms = NowMs();
  speed_ = speed;
  plainReal_ = false;
  Anchor(ms);
}

}  // namespace zuvo::quoteserver
