// Threads, events, critical sections and interlocked operations of the kernel layer. Thread
// and event handles live in the shared handle table, so CloseHandle closes them like files.
// Timed waits run on the platform's clock (platform/internal/Clock.h).
#include "platform/Kernel.h"

#include "platform/internal/Clock.h"
#include "platform/internal/FinishableObject.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

using namespace zuvo::platform;

namespace {

std::atomic<DWORD> nextThreadId{1};
thread_local DWORD currentThreadId = 0;

class ThreadObject final : public kernel::FinishableObject {
 public:
  // A suspended thread waits here before running its procedure.
  void WaitForResume() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return resumed_; });
  }

  // Returns the previous suspend count (1 when it was suspended, else 0).
  DWORD Resume() {
    std::lock_guard<std::mutex> guard(mutex_);
    const DWORD previous = resumed_ ? 0 : 1;
    resumed_ = true;
    changed_.notify_all();
    return previous;
  }

  void SetSuspended() { resumed_ = false; }

 private:
  bool resumed_ = true;
};

class EventObject final : public kernel::WaitableObject {
 public:
  EventObject(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

  DWORD WaitFor(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!kernel::WaitOnClock(changed_, lock, milliseconds, [this] { return signalled_; })) return WAIT_TIMEOUT;
    if (!manualReset_) signalled_ = false;  // an automatic event lets exactly one waiter through
    return WAIT_OBJECT_0;
  }

  void Set() {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = true;
    if (manualReset_)
      changed_.notify_all();
    else
      changed_.notify_one();
  }

  void Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const bool manualReset_;
  bool signalled_;
};

// The recursive mutex of a critical section, made on first use when the section was never
// initialised (a zeroed static section works like Windows' initialised one).
std::recursive_mutex* mutexOf(CRITICAL_SECTION* section) {
  void* current = __atomic_load_n(&section->impl, __ATOMIC_ACQUIRE);
  if (current) return static_cast<std::recursive_mutex*>(current);
  auto* fresh = new std::recursive_mutex;
  void* expected = nullptr;
  if (__atomic_compare_exchange_n(&section->impl, &expected, static_cast<void*>(fresh), false, __ATOMIC_ACQ_REL,
                                  __ATOMIC_ACQUIRE))
    return fresh;
  delete fresh;
  return static_cast<std::recursive_mutex*>(expected);
}

}  // namespace

UINT_PTR _beginthreadex(void* security, unsigned stackSize, ThreadProc proc, void* argument, unsigned initFlag,
                        unsigned* threadId) {
  if (!proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto thread = std::make_shared<ThreadObject>();
  if (initFlag & CREATE_SUSPENDED) thread->SetSuspended();
  HANDLE handle = handles::Register(thread);
  if (!handle) return 0;
  const DWORD id = nextThreadId++;
  try {
    // The thread holds its own reference: closing the handle never ends or frees a running
    // thread, as on Windows.
    std::thread([thread, proc, argument, id] {
      currentThreadId = id;
      thread->WaitForResume();
      thread->Finish(proc(argument));
    }).detach();
  } catch (const std::system_error&) {
    handles::Close(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  if (threadId) *threadId = id;
  return reinterpret_cast<UINT_PTR>(handle);
}

DWORD ResumeThread(HANDLE thread) {
  auto object = handles::LookupAs<ThreadObject>(thread);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  return object->Resume();
}

DWORD GetCurrentThreadId() {
  if (currentThreadId == 0) currentThreadId = nextThreadId++;
  return currentThreadId;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto object = handles::LookupAs<kernel::WaitableObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->WaitFor(milliseconds);
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  auto object = handles::LookupAs<ThreadObject>(thread);
  if (!object || !exitCode) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = object->ExitCode();
  return TRUE;
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  if (section) section->impl = new std::recursive_mutex;
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  if (!section) return;
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  if (section) mutexOf(section)->lock();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
  return section && mutexOf(section)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  if (section) mutexOf(section)->unlock();
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name) {
  return handles::Register(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  auto object = handles::LookupAs<EventObject>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  auto object = handles::LookupAs<EventObject>(event);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object->Reset();
  return TRUE;
}

LONG InterlockedIncrement(volatile LONG* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }

LONG InterlockedDecrement(volatile LONG* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }

LONG InterlockedExchange(volatile LONG* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
  LONG expected = comparand;
  __atomic_compare_exchange_n(target, &expected, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return expected;  // the value before the call, whether or not it was replaced
}
