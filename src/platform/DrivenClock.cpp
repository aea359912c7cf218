#include "platform/DrivenClock.h"

#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/internal/Clock.h"

namespace zuvo::platform {

ScopedDrivenClock::ScopedDrivenClock() : ScopedDrivenClock(kDefaultUtcMilliseconds) {}

ScopedDrivenClock::ScopedDrivenClock(std::int64_t utcMilliseconds, int localOffsetMinutes, DWORD ticks)
    : token_(kernel::InstallDrivenClock({utcMilliseconds, localOffsetMinutes, ticks})) {}

ScopedDrivenClock::~ScopedDrivenClock() { kernel::RemoveDrivenClock(token_); }

void ScopedDrivenClock::FastForward(DWORD milliseconds) {
  // The message pump steps the driven clock from timer to timer (see PumpMessagesFor).
  if (IsUiThread())
    PumpMessagesFor(milliseconds);
  else
    kernel::AdvanceDrivenClock(milliseconds);
}

void ScopedDrivenClock::Advance(DWORD milliseconds) { kernel::AdvanceDrivenClock(milliseconds); }

void ScopedDrivenClock::AwaitWaitingThreads(int count) { kernel::AwaitDrivenWaiters(count); }

}  // namespace zuvo::platform
