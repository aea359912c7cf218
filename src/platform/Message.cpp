#include "platform/Message.h"

#include "platform/Application.h"
#include "platform/Kernel.h"
#include "platform/Window.h"
#include "platform/WindowPaint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::queue {
namespace {

using Clock = std::chrono::steady_clock;

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
  Clock::time_point due;
  bool pending;
};

constexpr UINT kTimerMinimum = 10;
constexpr QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 883);

std::mutex queueMutex;
std::condition_variable sentDone;
std::condition_variable sentArrived;   // a UI thread waiting in WaitHandlingSentMessages
std::deque<Posted> posted;
std::deque<std::shared_ptr<Sent>> sent;
std::atomic<bool> wakePending{false};
bool quitPending = false;
int quitCode = 0;
DWORD lastMessageTime = 0;

// UI-thread state.
int retrievalDepth = 0;   // > 0 while GetMessageA waits in Qt for something to retrieve
int crossSendDepth = 0;
std::vector<QEventLoop*> runningLoops;
std::vector<Timer> timers;
UINT_PTR nextThreadTimerId = 0x7F00;

std::mutex hookMutex;
std::vector<std::pair<int, platform::MessageHook>> hooks;
int nextHookId = 1;

void Drain();
void ScheduleTimers();

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

std::atomic<Pump*> pumpObject{nullptr};
std::mutex pumpMutex;

Pump* GetPump() {
  Pump* pump = pumpObject.load(std::memory_order_acquire);
  if (pump != nullptr) return pump;
  if (QCoreApplication::instance() == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(pumpMutex);
  pump = pumpObject.load(std::memory_order_acquire);
  if (pump == nullptr) {
    pump = new Pump();
    if (pump->thread() != QCoreApplication::instance()->thread()) {
      pump->moveToThread(QCoreApplication::instance()->thread());
    }
    pumpObject.store(pump, std::memory_order_release);
  }
  return pump;
}

// Queues a send or a marshalled call for the UI thread and wakes it.
void QueueSent(const std::shared_ptr<Sent>& item) {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    sent.push_back(item);
  }
  sentArrived.notify_all();
  Wake();
}

// Queues a send or call and blocks until the UI thread has handled it (or the target window
// died, see ReleaseSendsTo).
void QueueSentAndWait(const std::shared_ptr<Sent>& item) {
  QueueSent(item);
  std::unique_lock<std::mutex> lock(queueMutex);
  sentDone.wait(lock, [&] { return item->done; });
}

void ClearTimerPending(HWND window, UINT_PTR id) {
  for (Timer& t : timers) {
    if (t.window == window && t.id == id) t.pending = false;
  }
}

// Takes the first queued message matching the filter. Messages of dead windows are dropped.
bool Take(HWND filter, UINT first, UINT last, bool remove, Posted* out) {
  std::unique_lock<std::mutex> lock(queueMutex);
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
      if (remove) {
        posted.erase(it);
        lock.unlock();
        if (out->timer) ClearTimerPending(out->msg.hwnd, out->msg.wParam);
        lastMessageTime = out->msg.time;
        platform::input::ApplyInput(out->msg, out->modifiers);
      }
      return true;
    }
    ++it;
  }
  return false;
}

void ProcessSent() {
  for (;;) {
    std::shared_ptr<Sent> item;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      if (sent.empty()) return;
      item = sent.front();
      sent.pop_front();
    }
    ++crossSendDepth;
    LRESULT result = 0;
    if (item->function) {
      item->function();
    } else if (platform::win::Find(item->window)) {
      result = platform::win::CallProc(item->window, item->message, item->wParam, item->lParam);
    }
    --crossSendDepth;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      item->result = result;
      item->done = true;
    }
    sentDone.notify_all();
  }
}

void CheckTimers() {
  if (timers.empty()) return;
  Clock::time_point now = Clock::now();
  bool added = false;
  for (Timer& t : timers) {
    if (t.due > now) continue;
    // At most one WM_TIMER of a timer waits in the queue.
    if (!t.pending) {
      Posted item;
      item.msg = MSG{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), GetTickCount(), POINT{0, 0}};
      item.timer = true;
      {
        std::lock_guard<std::mutex> lock(queueMutex);
        posted.push_back(item);
      }
      t.pending = true;
      added = true;
    }
    t.due = now + std::chrono::milliseconds(t.interval);
  }
  if (added) Wake();
  ScheduleTimers();
}

void ScheduleTimers() {
  Pump* pump = GetPump();
  if (pump == nullptr) return;
  if (timers.empty()) {
    pump->timer.stop();
    return;
  }
  Clock::time_point next = timers.front().due;
  for (const Timer& t : timers) next = std::min(next, t.due);
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  pump->timer.start(static_cast<int>(std::max<long long>(0, wait)));
}

bool QueueEmpty() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return posted.empty();
}

std::atomic<int> dispatchedCount{0};

void Dispatch(Posted& item) {
  if (RunHooks(item.msg)) return;
  DispatchMessageA(&item.msg);
  dispatchedCount.fetch_add(1, std::memory_order_relaxed);
}

void Drain() {
  wakePending.store(false);
  // A GetMessageA waiting below takes the messages itself.
  if (retrievalDepth > 0) return;
  ProcessSent();
  CheckTimers();
  std::size_t batch;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    batch = posted.size();
  }
  // Only the messages there now: a handler that keeps posting cannot starve Qt's events.
  for (std::size_t i = 0; i < batch; ++i) {
    Posted item;
    if (!Take(nullptr, 0, 0, true, &item)) break;
    Dispatch(item);
    ProcessSent();
  }
  if (QueueEmpty()) {
    if (quitPending && !runningLoops.empty()) {
      quitPending = false;
      runningLoops.back()->exit(quitCode);
      return;
    }
    platform::win::PaintInvalidWindows();
  }
  if (!QueueEmpty() || platform::win::AnyInvalidWindow(nullptr)) Wake();
}

}  // namespace

void Wake() {
  Pump* pump = GetPump();
  if (pump == nullptr) return;
  if (!wakePending.exchange(true)) QCoreApplication::postEvent(pump, new QEvent(kWakeEvent));
}

bool RunHooks(MSG& message) {
  std::vector<std::pair<int, platform::MessageHook>> copy;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    copy = hooks;
  }
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
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    posted.push_back(item);
  }
  Wake();
  return true;
}

void KillWindowTimers(HWND window) {
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
               timers.end());
  std::lock_guard<std::mutex> lock(queueMutex);
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [&](const Posted& p) { return p.timer && p.msg.hwnd == window; }),
               posted.end());
}

void ReleaseSendsTo(HWND window) {
  bool released = false;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
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
  if (released) sentDone.notify_all();
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

ModalScope::ModalScope() : saved_(retrievalDepth) { retrievalDepth = 0; }
ModalScope::~ModalScope() { retrievalDepth = saved_; }

}  // namespace platform::queue

using namespace platform::queue;

namespace platform {

int AddMessageHook(MessageHook hook) {
  std::lock_guard<std::mutex> lock(hookMutex);
  int id = nextHookId++;
  hooks.emplace_back(id, std::move(hook));
  return id;
}

void RemoveMessageHook(int id) {
  std::lock_guard<std::mutex> lock(hookMutex);
  hooks.erase(std::remove_if(hooks.begin(), hooks.end(), [&](const auto& h) { return h.first == id; }),
              hooks.end());
}

int ProcessPendingMessages() {
  if (!EnsureApplication()) return 0;
  int before = dispatchedCount.load();
  queue::ModalScope scope;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  queue::Drain();
  return dispatchedCount.load() - before;
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds) {
  if (!EnsureApplication()) return done();
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    ProcessPendingMessages();
    if (done()) return true;
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (elapsed >= static_cast<long long>(timeoutMilliseconds)) return done();
    // Wait for an event, at most a short slice, so that conditions set by other threads are seen.
    QTimer slice;
    slice.setSingleShot(true);
    slice.start(static_cast<int>(std::min<long long>(5, timeoutMilliseconds - elapsed)));
    queue::ModalScope scope;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

void PumpMessagesFor(DWORD milliseconds) {
  PumpMessagesUntil([] { return false; }, milliseconds);
}

void RunOnUiThread(const std::function<void()>& function) {
  if (IsUiThread()) {
    function();
    return;
  }
  auto item = std::make_shared<Sent>();
  item->function = function;
  QueueSentAndWait(item);
}

DWORD WaitHandlingSentMessages(HANDLE object, DWORD milliseconds) {
  if (!IsUiThread()) return WaitForSingleObject(object, milliseconds);
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    DWORD state = WaitForSingleObject(object, 0);
    if (state != WAIT_TIMEOUT) return state;
    ProcessSent();
    state = WaitForSingleObject(object, 0);
    if (state != WAIT_TIMEOUT) return state;
    // Sleeps until a send arrives or a short slice passes; kernel objects have no way to wake
    // this thread, so they are looked at again after each slice.
    auto slice = std::chrono::milliseconds(2);
    if (milliseconds != INFINITE) {
      auto left = std::chrono::milliseconds(milliseconds) -
                  std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      if (left <= std::chrono::milliseconds(0)) return WAIT_TIMEOUT;
      slice = std::min(slice, left);
    }
    std::unique_lock<std::mutex> lock(queueMutex);
    sentArrived.wait_for(lock, slice, [] { return !sent.empty(); });
  }
}

int QueuedMessageCount() {
  std::lock_guard<std::mutex> lock(queueMutex);
  return static_cast<int>(posted.size());
}

int RunMessageLoop() {
  if (!EnsureApplication()) return -1;
  QEventLoop loop;
  runningLoops.push_back(&loop);
  Wake();
  int code;
  {
    queue::ModalScope scope;
    code = loop.exec();
  }
  runningLoops.pop_back();
  return code;
}

}  // namespace platform

// ---- Windows calls ------------------------------------------------------------------------

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!platform::win::Find(window)) return 0;
  if (platform::IsUiThread()) return platform::win::CallProc(window, message, wParam, lParam);
  auto item = std::make_shared<Sent>();
  item->window = window;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  QueueSent(item);
  // Destroyed between the check above and the queueing: the destruction's release may have
  // missed this message, so release it here (the registry forgets a window before its release).
  if (!platform::win::Find(window)) ReleaseSendsTo(window);
  std::unique_lock<std::mutex> lock(queueMutex);
  sentDone.wait(lock, [&] { return item->done; });
  return item->result;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && !platform::win::Find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Posted item;
  item.msg = MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    posted.push_back(item);
  }
  Wake();
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  // A post: a worker does not wait for the UI thread.
  PostToUiThread([exitCode] {
    quitPending = true;
    quitCode = exitCode;
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
  if (quitPending && QueueEmpty()) {
    if (remove) quitPending = false;
    *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quitCode), 0, GetTickCount(), POINT{0, 0}};
    *quit = true;
    return true;
  }
  bool paintInRange = (first == 0 && last == 0) || (WM_PAINT >= first && WM_PAINT <= last);
  if (paintInRange) {
    while (HWND target = platform::win::NextWindowToPaint(window)) {
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

}  // namespace

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
  // Only the UI thread has a queue: a worker would touch its state unguarded.
  if (message == nullptr || !platform::IsUiThread()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!platform::EnsureApplication()) return FALSE;
  for (;;) {
    bool quit = false;
    if (Retrieve(message, window, filterMin, filterMax, true, &quit)) return quit ? FALSE : TRUE;
    ++retrievalDepth;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    --retrievalDepth;
  }
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (message == nullptr || !platform::IsUiThread() || !platform::EnsureApplication()) return FALSE;
  ++retrievalDepth;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  --retrievalDepth;
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
    auto w = platform::win::Find(message->hwnd);
    if (!w) return 0;
    QRect before = w->invalid;
    LRESULT result = platform::win::CallProc(message->hwnd, WM_PAINT, message->wParam, message->lParam);
    // A handler that does not validate gets no second WM_PAINT for the same damage.
    if (w->invalid == before) w->invalid = QRect();
    return result;
  }
  return platform::win::CallProc(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WaitMessage() {
  if (!platform::IsUiThread() || !platform::EnsureApplication()) return FALSE;
  while (QueueEmpty() && !quitPending && !platform::win::AnyInvalidWindow(nullptr)) {
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      if (!sent.empty()) break;
    }
    ++retrievalDepth;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    --retrievalDepth;
    CheckTimers();
  }
  return TRUE;
}

DWORD GetMessageTime() { return lastMessageTime; }

BOOL InSendMessage() { return crossSendDepth > 0 ? TRUE : FALSE; }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMilliseconds, TIMERPROC proc) {
  if (!platform::EnsureApplication()) return 0;
  UINT_PTR result = 0;
  platform::RunOnUiThread([&] {
    if (window != nullptr && !platform::win::Find(window)) return;
    UINT interval = std::max(elapseMilliseconds, kTimerMinimum);
    for (Timer& t : timers) {
      if (t.window == window && t.id == id && (window != nullptr || id != 0)) {
        t.interval = interval;
        t.proc = proc;
        t.due = Clock::now() + std::chrono::milliseconds(interval);
        result = id;
        ScheduleTimers();
        return;
      }
    }
    UINT_PTR newId = id;
    if (window == nullptr) newId = nextThreadTimerId++;
    timers.push_back(Timer{window, newId, interval, proc, Clock::now() + std::chrono::milliseconds(interval), false});
    result = newId;
    ScheduleTimers();
  });
  return result;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  BOOL found = FALSE;
  platform::RunOnUiThread([&] {
    auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it == timers.end()) return;
    timers.erase(it);
    found = TRUE;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      posted.erase(std::remove_if(posted.begin(), posted.end(),
                                  [&](const Posted& p) { return p.timer && p.msg.hwnd == window && p.msg.wParam == id; }),
                   posted.end());
    }
    ScheduleTimers();
  });
  return found;
}
