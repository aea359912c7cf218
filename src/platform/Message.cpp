// The UI thread's message queue: posted and input messages, messages sent and calls handed over
// by other threads, timers, hooks and the pumps. Its state is one registry object (MessageQueue)
// whose fields say in code who may touch them: what other threads reach is Guarded by the
// queue's lock, the rest is UiThreadOwned. Timer due times and every timeout run on the
// platform's clock, so a test's driven clock (platform/DrivenClock.h) drives them.
#include "platform/Message.h"

#include "platform/Application.h"
#include "platform/Kernel.h"
#include "platform/internal/Clock.h"
#include "platform/internal/ForeignWindows.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

using namespace zuvo::platform;

namespace zuvo::platform::queue {
namespace {

struct Posted {
  MSG msg{};
  int modifiers = -1;   // input snapshot, -1 for other messages
  bool timer = false;
};

// A message sent (or a function run) from another thread; the sender waits on `done`.
struct Sent {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::function<void()> function;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT interval;
  TIMERPROC proc;
  kernel::Deadline due;
  bool pending;   // its WM_TIMER waits in the queue
};

constexpr UINT kTimerMinimum = 10;
constexpr QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 883);
// A fast-forward step handles what its handlers post too, but no more than this many rounds:
// a handler that keeps posting to itself cannot hold the clock still.
constexpr int kRoundsPerStep = 100;

// What other threads post and send.
struct SharedQueue {
  std::deque<Posted> posted;
  std::deque<std::shared_ptr<Sent>> sent;
};

// What only the UI thread touches.
struct UiQueue {
  int retrievalDepth = 0;   // > 0 while GetMessageA waits in Qt for something to retrieve
  int crossSendDepth = 0;   // > 0 while a message sent by another thread is being handled
  std::vector<QEventLoop*> runningLoops;
  std::vector<Timer> timers;
  UINT_PTR nextThreadTimerId = 0x7F00;
  bool quitPending = false;
  int quitCode = 0;
  DWORD lastMessageTime = 0;
  int dispatched = 0;       // messages dispatched from the queue so far
};

struct Hooks {
  std::vector<std::pair<int, platform::MessageHook>> list;   // oldest first
  int nextId = 1;
};

void Drain();

// The Qt object through which the queue gets the UI thread's attention: a wake event, or its
// timer when the next timer is due on the real clock.
class Pump : public QObject {
 public:
  Pump() {
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, this, [] { Drain(); });
  }
  void customEvent(QEvent* event) override {
    if (event->type() == kWakeEvent) Drain();
  }
  QTimer timer{this};
};

// The UI thread's message queue. Never destroyed: workers may post to it until the process exits.
struct MessageQueue {
  Guarded<SharedQueue> shared;
  std::condition_variable sentDone;      // with shared's lock: a sent item was completed
  std::condition_variable sentArrived;   // with shared's lock: a sent item arrived
  UiThreadOwned<UiQueue> ui{"the message queue's UI-thread state"};
  Guarded<Hooks> hooks;
  std::atomic<bool> wakePending{false};  // a wake event is on its way to the pump
  std::atomic<Pump*> pump{nullptr};      // made once, after the application exists
  Guarded<bool> pumpMade;                // serialises the making of the pump
};

MessageQueue& Queue() {
  static MessageQueue* queue = new MessageQueue;
  return *queue;
}

Pump* GetPump() {
  MessageQueue& q = Queue();
  Pump* pump = q.pump.load(std::memory_order_acquire);
  if (pump != nullptr) return pump;
  if (QCoreApplication::instance() == nullptr) return nullptr;
  {
    auto made = q.pumpMade.Lock();
    pump = q.pump.load(std::memory_order_acquire);
    if (pump != nullptr) return pump;
    pump = new Pump();
    if (pump->thread() != QCoreApplication::instance()->thread()) {
      pump->moveToThread(QCoreApplication::instance()->thread());
    }
    q.pump.store(pump, std::memory_order_release);
    *made = true;
  }
  // A driven clock that moves makes timers due without any Qt timer: it wakes the queue instead.
  static kernel::ClockListener* wakeOnClockChange = new kernel::ClockListener([] { Wake(); });
  (void)wakeOnClockChange;
  return pump;
}

// Queues a send or a marshalled call for the UI thread and wakes it.
void QueueSent(const std::shared_ptr<Sent>& item) {
  MessageQueue& q = Queue();
  q.shared.Lock()->sent.push_back(item);
  q.sentArrived.notify_all();
  Wake();
}

// Blocks until the UI thread has handled a queued send or call (or the target window died, see
// ReleaseSendsTo).
void AwaitSent(const std::shared_ptr<Sent>& item) {
  MessageQueue& q = Queue();
  auto shared = q.shared.Lock();
  q.sentDone.wait(shared.lock(), [&] { return item->done; });
}

void Post(const Posted& item) {
  Queue().shared.Lock()->posted.push_back(item);
  Wake();
}

void ClearTimerPending(HWND window, UINT_PTR id) {
  for (Timer& t : Queue().ui->timers) {
    if (t.window == window && t.id == id) t.pending = false;
  }
}

// Takes the first queued message matching the filter. Messages of dead windows are dropped.
bool Take(HWND filter, UINT first, UINT last, bool remove, Posted* out) {
  bool found = false;
  {
    auto shared = Queue().shared.Lock();
    auto& posted = shared->posted;
    for (auto it = posted.begin(); it != posted.end();) {
      const MSG& m = it->msg;
      if (m.hwnd != nullptr && !platform::win::Find(m.hwnd)) {
        it = posted.erase(it);
        continue;
      }
      bool windowMatches = filter == nullptr || m.hwnd == filter;
      bool rangeMatches = (first == 0 && last == 0) || (m.message >= first && m.message <= last);
      if (windowMatches && rangeMatches) {
        *out = *it;
        if (remove) posted.erase(it);
        found = true;
        break;
      }
      ++it;
    }
  }
  if (found && remove) {
    if (out->timer) ClearTimerPending(out->msg.hwnd, out->msg.wParam);
    Queue().ui->lastMessageTime = out->msg.time;
    platform::input::ApplyInput(out->msg, out->modifiers);
  }
  return found;
}

void ProcessSent() {
  MessageQueue& q = Queue();
  for (;;) {
    std::shared_ptr<Sent> item;
    {
      auto shared = q.shared.Lock();
      if (shared->sent.empty()) return;
      item = shared->sent.front();
      shared->sent.pop_front();
    }
    ++q.ui->crossSendDepth;
    LRESULT result = 0;
    if (item->function) {
      item->function();
    } else if (platform::win::Find(item->window)) {
      result = platform::win::CallProc(item->window, item->message, item->wParam, item->lParam);
    }
    --q.ui->crossSendDepth;
    {
      auto shared = q.shared.Lock();
      item->result = result;
      item->done = true;
    }
    q.sentDone.notify_all();
  }
}

// Milliseconds until the next timer is due (0 when one is due now); INFINITE without timers.
DWORD NextTimerDue() {
  DWORD next = INFINITE;
  for (Timer& t : Queue().ui->timers) next = std::min(next, t.due.Left());
  return next;
}

void ScheduleTimers() {
  Pump* pump = GetPump();
  if (pump == nullptr) return;
  // A driven clock wakes the queue itself whenever it moves.
  const DWORD next = kernel::ClockIsDriven() ? INFINITE : NextTimerDue();
  if (next == INFINITE) {
    pump->timer.stop();
    return;
  }
  pump->timer.start(static_cast<int>(std::min<DWORD>(next, INT_MAX)));
}

void CheckTimers() {
  std::vector<Timer>& timers = Queue().ui->timers;
  if (timers.empty()) return;
  bool added = false;
  for (Timer& t : timers) {
    if (t.due.Left() > 0) continue;
    // At most one WM_TIMER of a timer waits in the queue.
    if (!t.pending) {
      Posted item;
      item.msg = MSG{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), GetTickCount(), POINT{0, 0}};
      item.timer = true;
      Queue().shared.Lock()->posted.push_back(item);
      t.pending = true;
      added = true;
    }
    t.due = kernel::Deadline(t.interval);
  }
  if (added) Wake();
  ScheduleTimers();
}

bool QueueEmpty() { return Queue().shared.Lock()->posted.empty(); }

bool SentWaiting() { return !Queue().shared.Lock()->sent.empty(); }

void Dispatch(Posted& item) {
  if (RunHooks(item.msg)) return;
  DispatchMessageA(&item.msg);
  ++Queue().ui->dispatched;
}

void Drain() {
  MessageQueue& q = Queue();
  q.wakePending.store(false);
  // A GetMessageA waiting below takes the messages itself.
  if (q.ui->retrievalDepth > 0) return;
  ProcessSent();
  CheckTimers();
  std::size_t batch = q.shared.Lock()->posted.size();
  // Only the messages there now: a handler that keeps posting cannot starve Qt's events.
  for (std::size_t i = 0; i < batch; ++i) {
    Posted item;
    if (!Take(nullptr, 0, 0, true, &item)) break;
    Dispatch(item);
    ProcessSent();
  }
  if (QueueEmpty()) {
    UiQueue& ui = *q.ui;
    if (ui.quitPending && !ui.runningLoops.empty()) {
      ui.quitPending = false;
      ui.runningLoops.back()->exit(ui.quitCode);
      return;
    }
    platform::win::PaintInvalidWindows();
  }
  if (!QueueEmpty() || platform::win::AnyInvalidWindow(nullptr)) Wake();
}

// Under a driven clock: moves it on by `milliseconds`, stopping at each timer's due time to
// handle what is due there, as a running loop would have.
void FastForward(DWORD milliseconds) {
  kernel::Deadline end(milliseconds);
  for (;;) {
    for (int round = 0; round < kRoundsPerStep; ++round) {
      if (ProcessPendingMessages() == 0 && !SentWaiting()) break;
    }
    const DWORD left = end.Left();
    if (left == 0 || !kernel::ClockIsDriven()) return;
    kernel::AdvanceDrivenClock(std::max<DWORD>(1, std::min(left, NextTimerDue())));
  }
}

}  // namespace

void Wake() {
  Pump* pump = GetPump();
  if (pump == nullptr) return;
  if (!Queue().wakePending.exchange(true)) QCoreApplication::postEvent(pump, new QEvent(kWakeEvent));
}

bool RunHooks(MSG& message) {
  std::vector<std::pair<int, platform::MessageHook>> copy = Queue().hooks.Lock()->list;
  for (auto it = copy.rbegin(); it != copy.rend(); ++it) {
    if (it->second && it->second(message)) return true;
  }
  return false;
}

bool PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int modifiers) {
  if (!platform::win::Find(window)) return false;
  Posted item;
  item.msg = MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
  item.modifiers = modifiers;
  Post(item);
  return true;
}

void KillWindowTimers(HWND window) {
  std::vector<Timer>& timers = Queue().ui->timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
               timers.end());
  auto shared = Queue().shared.Lock();
  auto& posted = shared->posted;
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [&](const Posted& p) { return p.timer && p.msg.hwnd == window; }),
               posted.end());
}

void ReleaseSendsTo(HWND window) {
  MessageQueue& q = Queue();
  bool released = false;
  {
    auto shared = q.shared.Lock();
    auto& sent = shared->sent;
    for (auto it = sent.begin(); it != sent.end();) {
      Sent& item = **it;
      if (!item.function && item.window == window) {
        item.result = 0;
        item.done = true;
        it = sent.erase(it);
        released = true;
      } else {
        ++it;
      }
    }
  }
  if (released) q.sentDone.notify_all();
}

void PostToUiThread(std::function<void()> function) {
  if (platform::IsUiThread()) {
    function();
    return;
  }
  auto item = std::make_shared<Sent>();
  item->function = std::move(function);
  QueueSent(item);
}

ModalScope::ModalScope() : saved_(Queue().ui->retrievalDepth) { Queue().ui->retrievalDepth = 0; }
ModalScope::~ModalScope() { Queue().ui->retrievalDepth = saved_; }

}  // namespace zuvo::platform::queue

using namespace zuvo::platform::queue;

namespace zuvo::platform {

int AddMessageHook(MessageHook hook) {
  auto hooks = Queue().hooks.Lock();
  int id = hooks->nextId++;
  hooks->list.emplace_back(id, std::move(hook));
  return id;
}

void RemoveMessageHook(int id) {
  auto hooks = Queue().hooks.Lock();
  auto& list = hooks->list;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& h) { return h.first == id; }), list.end());
}

int ProcessPendingMessages() {
  if (!EnsureApplication()) return 0;
  const int before = Queue().ui->dispatched;
  queue::ModalScope scope;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  queue::Drain();
  return Queue().ui->dispatched - before;
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds) {
  if (!EnsureApplication()) return done();
  kernel::Deadline deadline(timeoutMilliseconds);
  for (;;) {
    ProcessPendingMessages();
    if (done()) return true;
    const DWORD left = deadline.Left();
    if (left == 0) return done();
    // Wait for an event, at most a short slice, so that conditions set by other threads are seen.
    QTimer slice;
    slice.setSingleShot(true);
    slice.start(static_cast<int>(std::min<DWORD>(5, left)));
    queue::ModalScope scope;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void PumpMessagesFor(DWORD milliseconds) {
  if (!kernel::ClockIsDriven()) {
    PumpMessagesUntil([] { return false; }, milliseconds);
    return;
  }
  // Without an application there is nothing to handle, and creating one here would make the
  // test's thread the UI thread behind its back.
  if (QCoreApplication::instance() == nullptr || !IsUiThread()) {
    kernel::AdvanceDrivenClock(milliseconds);
    return;
  }
  queue::FastForward(milliseconds);
}

void RunOnUiThread(const std::function<void()>& function) {
  if (IsUiThread()) {
    function();
    return;
  }
  auto item = std::make_shared<Sent>();
  item->function = function;
  QueueSent(item);
  AwaitSent(item);
}

DWORD WaitHandlingSentMessages(HANDLE object, DWORD milliseconds) {
  if (!IsUiThread()) return WaitForSingleObject(object, milliseconds);
  kernel::Deadline deadline(milliseconds);
  for (;;) {
    DWORD state = WaitForSingleObject(object, 0);
    if (state != WAIT_TIMEOUT) return state;
    ProcessSent();
    state = WaitForSingleObject(object, 0);
    if (state != WAIT_TIMEOUT) return state;
    const DWORD left = deadline.Left();
    if (left == 0) return WAIT_TIMEOUT;
    // Sleeps until a send arrives or a short slice of real time passes; kernel objects have no
    // way to wake this thread, so they are looked at again after each slice.
    auto shared = Queue().shared.Lock();
    Queue().sentArrived.wait_for(shared.lock(), std::chrono::milliseconds(std::min<DWORD>(2, left)),
                                 [&] { return !shared->sent.empty(); });
  }
}

int QueuedMessageCount() { return static_cast<int>(Queue().shared.Lock()->posted.size()); }

int CrossThreadCallsWaiting() { return static_cast<int>(Queue().shared.Lock()->sent.size()); }

void AwaitCrossThreadCalls(int count) {
  auto shared = Queue().shared.Lock();
  Queue().sentArrived.wait(shared.lock(), [&] { return static_cast<int>(shared->sent.size()) >= count; });
}

int RunMessageLoop() {
  if (!EnsureApplication()) return -1;
  QEventLoop loop;
  Queue().ui->runningLoops.push_back(&loop);
  Wake();
  int code;
  {
    queue::ModalScope scope;
    code = loop.exec();
  }
  Queue().ui->runningLoops.pop_back();
  return code;
}

}  // namespace zuvo::platform

// ---- Windows calls ------------------------------------------------------------------------

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!zuvo::platform::win::Find(window)) {
    // Another program's window: its source answers (or 0 when none lent the handle).
    auto foreign = zuvo::platform::win::FindForeign(window);
    return foreign ? foreign->Send(window, message, wParam, lParam) : 0;
  }
  if (zuvo::platform::IsUiThread()) return zuvo::platform::win::CallProc(window, message, wParam, lParam);
  auto item = std::make_shared<Sent>();
  item->window = window;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  QueueSent(item);
  // Destroyed between the check above and the queueing: the destruction's release may have
  // missed this message, so release it here (the registry forgets a window before its release).
  if (!zuvo::platform::win::Find(window)) ReleaseSendsTo(window);
  AwaitSent(item);
  return item->result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && !zuvo::platform::win::Find(window)) {
    if (auto foreign = zuvo::platform::win::FindForeign(window)) {
      return foreign->Post(window, message, wParam, lParam);
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Posted item;
  item.msg = MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
  Post(item);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  // A post: a worker does not wait for the UI thread.
  PostToUiThread([exitCode] {
    UiQueue& ui = *Queue().ui;
    ui.quitPending = true;
    ui.quitCode = exitCode;
  });
  Wake();
}

namespace {

bool Retrieve(MSG* message, HWND window, UINT first, UINT last, bool remove, bool* quit) {
  *quit = false;
  for (;;) {
    ProcessSent();
    CheckTimers();
    Posted item;
    if (!Take(window, first, last, remove, &item)) break;
    if (item.msg.message == WM_QUIT) {
      *message = item.msg;
      *quit = true;
      return true;
    }
    if (remove && RunHooks(item.msg)) continue;
    *message = item.msg;
    return true;
  }
  UiQueue& ui = *Queue().ui;
  if (ui.quitPending && QueueEmpty()) {
    if (remove) ui.quitPending = false;
    *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(ui.quitCode), 0, GetTickCount(), POINT{0, 0}};
    *quit = true;
    return true;
  }
  bool paintInRange = (first == 0 && last == 0) || (WM_PAINT >= first && WM_PAINT <= last);
  if (paintInRange) {
    while (HWND target = zuvo::platform::win::NextWindowToPaint(window)) {
      MSG paint{target, WM_PAINT, 0, 0, GetTickCount(), POINT{0, 0}};
      if (remove && RunHooks(paint)) {
        ValidateRect(target, nullptr);
        continue;
      }
      *message = paint;
      return true;
    }
  }
  return false;
}

// Lets Qt wait for events while GetMessageA, PeekMessageA or WaitMessage sits below it.
void ProcessQtEventsForRetrieval(QEventLoop::ProcessEventsFlags flags) {
  ++Queue().ui->retrievalDepth;
  QCoreApplication::processEvents(flags);
  --Queue().ui->retrievalDepth;
}

}  // namespace

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
  // Only the UI thread has a queue: a worker would touch its state unguarded.
  if (message == nullptr || !zuvo::platform::IsUiThread()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!zuvo::platform::EnsureApplication()) return FALSE;
  for (;;) {
    bool quit = false;
    if (Retrieve(message, window, filterMin, filterMax, true, &quit)) return quit ? FALSE : TRUE;
    ProcessQtEventsForRetrieval(QEventLoop::WaitForMoreEvents);
  }
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (message == nullptr || !zuvo::platform::IsUiThread() || !zuvo::platform::EnsureApplication()) return FALSE;
  ProcessQtEventsForRetrieval(QEventLoop::AllEvents);
  bool quit = false;
  return Retrieve(message, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, &quit) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* message) {
  return message != nullptr && (message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN);
}

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr) return 0;
  if (message->message == WM_TIMER && message->lParam != 0) {
    auto proc = reinterpret_cast<TIMERPROC>(message->lParam);
    proc(message->hwnd, WM_TIMER, message->wParam, GetTickCount());
    return 0;
  }
  if (message->hwnd == nullptr) return 0;
  if (message->message == WM_PAINT) {
    return zuvo::platform::win::DispatchPaint(message->hwnd, message->wParam, message->lParam);
  }
  return zuvo::platform::win::CallProc(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WaitMessage() {
  if (!zuvo::platform::IsUiThread() || !zuvo::platform::EnsureApplication()) return FALSE;
  while (QueueEmpty() && !Queue().ui->quitPending && !zuvo::platform::win::AnyInvalidWindow(nullptr) && !SentWaiting()) {
    ProcessQtEventsForRetrieval(QEventLoop::WaitForMoreEvents);
    CheckTimers();
  }
  return TRUE;
}

// A worker has no queue: no message time, and it is never inside a message sent to it.
DWORD GetMessageTime() { return zuvo::platform::IsUiThread() ? Queue().ui->lastMessageTime : 0; }

BOOL InSendMessage() { return zuvo::platform::IsUiThread() && Queue().ui->crossSendDepth > 0 ? TRUE : FALSE; }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMilliseconds, TIMERPROC proc) {
  if (!zuvo::platform::EnsureApplication()) return 0;
  UINT_PTR result = 0;
  zuvo::platform::RunOnUiThread([&] {
    if (window != nullptr && !zuvo::platform::win::Find(window)) return;
    UiQueue& ui = *Queue().ui;
    UINT interval = std::max(elapseMilliseconds, kTimerMinimum);
    for (Timer& t : ui.timers) {
      if (t.window == window && t.id == id && (window != nullptr || id != 0)) {
        t.interval = interval;
        t.proc = proc;
        t.due = kernel::Deadline(interval);
        result = id;
        ScheduleTimers();
        return;
      }
    }
    UINT_PTR newId = id;
    if (window == nullptr) newId = ui.nextThreadTimerId++;
    ui.timers.push_back(Timer{window, newId, interval, proc, kernel::Deadline(interval), false});
    result = newId;
    ScheduleTimers();
  });
  return result;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  BOOL found = FALSE;
  zuvo::platform::RunOnUiThread([&] {
    std::vector<Timer>& timers = Queue().ui->timers;
    auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) return;
    timers.erase(it);
    found = TRUE;
    {
      auto shared = Queue().shared.Lock();
      auto& posted = shared->posted;
      posted.erase(std::remove_if(posted.begin(), posted.end(),
                                  [&](const Posted& p) { return p.timer && p.msg.hwnd == window && p.msg.wParam == id; }),
                   posted.end());
    }
    ScheduleTimers();
  });
  return found;
}
