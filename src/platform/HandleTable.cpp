#include "platform/HandleTable.h"

#include "platform/internal/Ownership.h"

#include <deque>
#include <utility>
#include <vector>

namespace zuvo::platform::handles {
namespace {

// Handles are (slot + 1) * 4, as Windows hands them out: a value that is not a multiple of 4
// (a count or an index passed by mistake) never names an object.
constexpr std::intptr_t kStep = 4;
constexpr std::size_t kMaxHandles = 1u << 20;
// A freed handle value is handed out again only once this many handles have been freed after
// it: a stale copy of a closed handle (a second close, a late read on another thread) then
// reaches nothing instead of a file some other code opened since. The table grows by at most
// this many slots for it.
constexpr std::size_t kReuseDelay = 1024;

// The handle table: one slot per handle value, with the freed slots queued for reuse.
class HandleRegistry {
 public:
  HANDLE Register(std::shared_ptr<KernelObject> object);
  std::shared_ptr<KernelObject> Lookup(std::size_t slot);
  // Empties the slot and hands out what it held (null when it held nothing).
  std::shared_ptr<KernelObject> Take(std::size_t slot);
  std::size_t OpenCount();

 private:
  struct Slots {
    std::vector<std::shared_ptr<KernelObject>> objects;
    std::deque<std::size_t> freed;   // oldest freed first
    std::size_t open = 0;
  };
  platform::Guarded<Slots> slots_;
};

HandleRegistry& Registry() {
  static auto* registry = new HandleRegistry;   // never destroyed: handles may be closed during exit
  return *registry;
}

bool SlotOf(HANDLE handle, std::size_t& slot) {
  auto value = reinterpret_cast<std::intptr_t>(handle);
  if (value <= 0 || value % kStep != 0) return false;
  slot = static_cast<std::size_t>(value / kStep - 1);
  return true;
}

HANDLE HandleRegistry::Register(std::shared_ptr<KernelObject> object) {
  auto slots = slots_.Lock();
  std::size_t slot;
  bool tableFull = slots->objects.size() >= kMaxHandles;
  if (slots->freed.size() > kReuseDelay || (tableFull && !slots->freed.empty())) {
    slot = slots->freed.front();
    slots->freed.pop_front();
  } else {
    if (tableFull) {
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    slot = slots->objects.size();
    slots->objects.emplace_back();
  }
  slots->objects[slot] = std::move(object);
  ++slots->open;
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(slot + 1) * kStep);
}

std::shared_ptr<KernelObject> HandleRegistry::Lookup(std::size_t slot) {
  auto slots = slots_.Lock();
  return slot < slots->objects.size() ? slots->objects[slot] : nullptr;
}

std::shared_ptr<KernelObject> HandleRegistry::Take(std::size_t slot) {
  auto slots = slots_.Lock();
  if (slot >= slots->objects.size() || !slots->objects[slot]) return nullptr;
  std::shared_ptr<KernelObject> object = std::move(slots->objects[slot]);
  slots->objects[slot].reset();
  slots->freed.push_back(slot);
  --slots->open;
  return object;
}

std::size_t HandleRegistry::OpenCount() { return slots_.Lock()->open; }

}  // namespace

HANDLE Register(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Registry().Register(std::move(object));
}

std::shared_ptr<KernelObject> Lookup(HANDLE handle) {
  std::size_t slot;
  return SlotOf(handle, slot) ? Registry().Lookup(slot) : nullptr;
}

bool Close(HANDLE handle) {
  std::size_t slot;
  std::shared_ptr<KernelObject> object = SlotOf(handle, slot) ? Registry().Take(slot) : nullptr;
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // Outside the lock: an object's Close may itself open or close handles.
  object->Close();
  return true;
}

std::size_t OpenCount() { return Registry().OpenCount(); }

}  // namespace zuvo::platform::handles
