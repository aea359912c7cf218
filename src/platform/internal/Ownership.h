// Platform-internal: how a registry says in code who may touch each of its fields.
//   Guarded<T>      fields shared between threads; reachable only through Lock(), whose result
//                   holds the mutex for as long as it lives (a condition variable waits on its
//                   lock()). Reaching them without the lock does not compile.
//   UiThreadOwned<T> fields of the UI thread (platform/internal/ThreadOwnership.h): every
//                   access checks the calling thread and stops the program off the UI thread.
//   ServiceSlot<S, D> the installed implementation of a replaceable service (message boxes,
//                   sound), or its default D, made on first use; any thread.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/ThreadOwnership.h"

#include <cassert>
#include <memory>
#include <mutex>
#include <utility>

namespace zuvo::platform {

template <class T>
class Guarded {
 public:
  class Access {
   public:
    T* operator->() const {
      assert(lock_.owns_lock() && "guarded state reached after its lock was let go");
      return value_;
    }
    T& operator*() const { return *operator->(); }
    // The held lock, for waiting on a condition variable that goes with this mutex.
    std::unique_lock<std::mutex>& lock() { return lock_; }

   private:
    friend class Guarded;
    Access(std::mutex& mutex, T& value) : lock_(mutex), value_(&value) {}
    std::unique_lock<std::mutex> lock_;
    T* value_;
  };

  template <class... Args>
  explicit Guarded(Args&&... args) : value_(std::forward<Args>(args)...) {}
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  Access Lock() { return Access(mutex_, value_); }

 private:
  std::mutex mutex_;
  T value_;
};

template <class Service, class Default>
class ServiceSlot {
 public:
  // Returns the previous implementation, null when none was installed or made yet.
  std::shared_ptr<Service> Set(std::shared_ptr<Service> service) {
    auto slot = slot_.Lock();
    std::swap(*slot, service);
    return service;
  }
  std::shared_ptr<Service> Get() {
    auto slot = slot_.Lock();
    if (!*slot) *slot = std::make_shared<Default>();
    return *slot;
  }

 private:
  Guarded<std::shared_ptr<Service>> slot_;
};

}  // namespace zuvo::platform
