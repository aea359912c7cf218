#include "platform/HandleTable.h"

#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace handles {
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

struct Table {
  std::mutex lock;
  std::vector<std::shared_ptr<KernelObject>> slots;
  std::deque<std::size_t> freeSlots;   // oldest freed first
  std::size_t open = 0;
};

Table& TheTable() {
  static Table* table = new Table;   // never destroyed: handles may be closed during exit
  return *table;
}

bool SlotOf(HANDLE handle, std::size_t& slot) {
  auto value = reinterpret_cast<std::intptr_t>(handle);
  if (value <= 0 || value % kStep != 0) return false;
  slot = static_cast<std::size_t>(value / kStep - 1);
  return true;
}

}  // namespace

HANDLE Register(std::shared_ptr<KernelObject> object) {
  if (!object) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  std::size_t slot;
  bool tableFull = table.slots.size() >= kMaxHandles;
  if (table.freeSlots.size() > kReuseDelay || (tableFull && !table.freeSlots.empty())) {
    slot = table.freeSlots.front();
    table.freeSlots.pop_front();
  } else {
    if (tableFull) {
      SetLastError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    slot = table.slots.size();
    table.slots.emplace_back();
  }
  table.slots[slot] = std::move(object);
  ++table.open;
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(slot + 1) * kStep);
}

std::shared_ptr<KernelObject> Lookup(HANDLE handle) {
  std::size_t slot;
  if (!SlotOf(handle, slot)) return nullptr;
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  if (slot >= table.slots.size()) return nullptr;
  return table.slots[slot];
}

bool Close(HANDLE handle) {
  std::shared_ptr<KernelObject> object;
  std::size_t slot;
  if (SlotOf(handle, slot)) {
    Table& table = TheTable();
    std::lock_guard guard(table.lock);
    if (slot < table.slots.size() && table.slots[slot]) {
      object = std::move(table.slots[slot]);
      table.slots[slot].reset();
      table.freeSlots.push_back(slot);
      --table.open;
    }
  }
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  // Outside the lock: an object's Close may itself open or close handles.
  object->Close();
  return true;
}

std::size_t OpenCount() {
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  return table.open;
}

}  // namespace handles
