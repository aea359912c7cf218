// Platform-internal: state that belongs to the UI thread, said in code rather than in a
// comment: AssertUiThread for the members that change it, UiThreadOwned for a field. State that
// any thread may reach under a lock is platform::Guarded (platform/internal/Ownership.h).
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Application.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zuvo::platform {

// Stops the program when called off the UI thread. `what` names the state for the message.
// Kept in release builds: the check is an atomic load and a thread-id compare, while the race
// it stops would corrupt window state silently.
inline void AssertUiThread(const char* what) {
  if (IsUiThread()) return;
  std::fprintf(stderr, "zuvo: %s touched off the UI thread\n", what);
  std::abort();
}

// A value that belongs to the UI thread: every access checks the calling thread.
template <typename T>
class UiThreadOwned {
 public:
  UiThreadOwned() : UiThreadOwned("UI-thread state") {}
  explicit UiThreadOwned(const char* name, T value = T{}) : name_(name), value_(std::move(value)) {}
  T& Get() {
    AssertUiThread(name_);
    return value_;
  }
  const T& Get() const {
    AssertUiThread(name_);
    return value_;
  }
  T& operator*() { return Get(); }
  T* operator->() { return &Get(); }

 private:
  const char* name_;
  T value_;
};

}  // namespace zuvo::platform
