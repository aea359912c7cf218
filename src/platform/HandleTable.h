// The table of kernel handles shared by every kind of kernel object of the platform: files,
// file mappings, find searches, threads and events. A handle is a small positive integer
// (a multiple of 4, never 0 and never INVALID_HANDLE_VALUE) naming a registered object; stale
// or unknown handles look up as null. Thread-safe.
#pragma once

#include "platform/WinBase.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zuvo::platform::handles {

// A kernel object behind a handle. Lookups hand out shared references, so an object closed
// by one thread stays alive until a call in flight on another thread lets go of it.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called once, when the handle is closed. Release here what must go at close time (wake
  // waiters, detach a thread); memory and descriptors may wait for the destructor.
  virtual void Close() {}
};

// Registers an object and returns its new handle; null (ERROR_TOO_MANY_OPEN_FILES) when the
// table is full, ERROR_INVALID_PARAMETER when the object is null. A freed handle value is
// handed out again only after 1024 more handles have been freed, so a stale copy of a closed
// handle finds nothing rather than an object registered since.
HANDLE Register(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null when the handle is not open.
std::shared_ptr<KernelObject> Lookup(HANDLE handle);

// The object behind a handle when it is of type T, else null.
template <class T>
std::shared_ptr<T> LookupAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(Lookup(handle));
}

// Removes the handle and calls the object's Close. False (ERROR_INVALID_HANDLE) when the
// handle is not open.
bool Close(HANDLE handle);

// Number of open handles (tests use it to find leaks).
std::size_t OpenCount();

// The core file layer carries handles as signed 32-bit integers (-1 = none).
inline int ToInt(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }
inline HANDLE FromInt(int value) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(value)); }

}  // namespace zuvo::platform::handles
