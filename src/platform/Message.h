// The UI thread's message queue beyond the Windows calls of WinUser.h: message hooks (the
// application-level hook sees every message taken from the queue before it is dispatched),
// pumping for tests and modal loops, and running a function on the UI thread.
// Posted and generated messages (WM_PAINT, WM_TIMER, input) go through the hooks; messages sent
// with SendMessageA do not.
#pragma once

#include "platform/Kernel.h"
#include "platform/WinUser.h"

#include <functional>

namespace zuvo::platform {

// A hook sees each message taken from the queue on the UI thread, before it is dispatched, and
// may change it; returning true marks it handled, and it is then not dispatched. Hooks run
// newest first. Returns an id for RemoveMessageHook (never 0).
using MessageHook = std::function<bool(MSG& message)>;
int AddMessageHook(MessageHook hook);
void RemoveMessageHook(int id);

// Handles what is waiting now: sent messages from other threads, posted messages, due timers,
// Qt events (input, screen updates), then WM_PAINT for invalid windows. Does not wait. Returns
// the number of queued messages dispatched. UI thread only.
int ProcessPendingMessages();
// Pumps (waiting for events) until the predicate holds or the time is up; returns the
// predicate's last value. UI thread only. The time is the platform's clock: under a driven clock
// (platform/DrivenClock.h) owned by this thread it is up only when something else drives it, so
// there this pumps until the predicate holds.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds);
// Pumps for the given time. Under a driven clock the time is driven forward instead of waited
// for: the clock moves to each timer's due time in turn and what is due there is handled
// (ScopedDrivenClock::FastForward); without an application the clock only moves. UI thread only.
void PumpMessagesFor(DWORD milliseconds);

// Runs the function on the UI thread: at once when called there, otherwise queued ahead of
// posted messages while the caller waits for it to finish. A function queued while the UI
// thread never pumps again is never run; the caller then waits for ever, as with SendMessageA.
void RunOnUiThread(const std::function<void()>& function);

// Waits for a kernel object (thread, event: see WaitForSingleObject) while still handling, on
// the UI thread, the messages other threads send and the calls they marshal (their message
// boxes), but no posted messages, input or timers. Returns as WaitForSingleObject.
// A plain WaitForSingleObject or Sleep on the UI thread handles nothing, as on Windows: a worker
// that sends to a window (or shows a message box) while the UI thread waits for it that way
// stays blocked until the wait times out. Wait for such a worker with this call, with a
// timeout, or in a message loop. On another thread this is WaitForSingleObject.
DWORD WaitHandlingSentMessages(HANDLE object, DWORD milliseconds);

// Messages waiting in the queue (posted, input, timers), not counting WM_PAINT.
int QueuedMessageCount();

// Messages sent and calls handed to the UI thread by other threads (SendMessageA, MessageBoxA,
// a worker's window calls, its InvalidateRect or PostQuitMessage) that wait to be handled there.
// Any thread.
int CrossThreadCallsWaiting();
// Blocks, handling nothing, until at least `count` such calls wait: a test's way of knowing that
// a worker's call has reached the UI thread before it goes on. Any thread.
void AwaitCrossThreadCalls(int count);

}  // namespace zuvo::platform
