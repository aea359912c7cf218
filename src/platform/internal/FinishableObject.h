// Platform-internal: a kernel object that is signalled once its work has finished and then
// holds an exit code: the thread and process handles that WaitForSingleObject and
// GetExitCodeProcess / GetExitCodeThread read.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Kernel.h"
#include "platform/internal/Clock.h"

#include <condition_variable>
#include <mutex>

namespace zuvo::platform::kernel {

class FinishableObject : public WaitableObject {
 public:
  DWORD WaitFor(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex_);
    return WaitOnClock(changed_, lock, milliseconds, [this] { return finished_; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  void Finish(DWORD exitCode) {
    std::lock_guard<std::mutex> guard(mutex_);
    exitCode_ = exitCode;
    finished_ = true;
    changed_.notify_all();
  }
  // The exit code, or STILL_ACTIVE while the work runs.
  DWORD ExitCode() {
    std::lock_guard<std::mutex> guard(mutex_);
    return finished_ ? exitCode_ : STILL_ACTIVE;
  }

 protected:
  std::mutex mutex_;
  std::condition_variable changed_;

 private:
  bool finished_ = false;
  DWORD exitCode_ = 0;
};

}  // namespace zuvo::platform::kernel
