// The table of navigation lists: slots reused after a list is freed, each with a generation
// that changes on every free, so an old id never names the slot's next list.
#include "shell/NavList.h"

#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kSlotBits = 16;
constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr std::uint32_t kMaxSlots = kSlotMask + 1;
constexpr std::uint16_t kFirstGeneration = 1;   // generation 0 is never used: id 0 means none

struct Slot {
  std::unique_ptr<SharedInstrumentList> list;
  std::uint16_t generation = kFirstGeneration;
};

struct Table {
  std::vector<Slot> slots;
  // Oldest freed first: a slot comes back as late as possible, so its 16-bit generation wraps
  // (and an id from long ago could match again) only after very many lists.
  std::deque<std::uint32_t> freeSlots;
  int live = 0;
};

Table& TheTable() {
  static Table table;
  return table;
}

std::uint32_t MakeId(std::uint32_t slot, std::uint16_t generation) {
  return (static_cast<std::uint32_t>(generation) << kSlotBits) | slot;
}

Slot* LiveSlot(std::uint32_t id) {
  Table& table = TheTable();
  const std::uint32_t slot = id & kSlotMask;
  const auto generation = static_cast<std::uint16_t>(id >> kSlotBits);
  if (generation == 0 || slot >= table.slots.size()) return nullptr;
  Slot& entry = table.slots[slot];
  if (entry.list == nullptr || entry.generation != generation) return nullptr;
  return &entry;
}

}  // namespace

namespace navlist {

std::uint32_t Create(const STKPTR* items, int count) {
  Table& table = TheTable();
  std::uint32_t slot = 0;
  if (!table.freeSlots.empty()) {
    slot = table.freeSlots.front();
    table.freeSlots.pop_front();
  } else if (table.slots.size() < kMaxSlots) {
    slot = static_cast<std::uint32_t>(table.slots.size());
    table.slots.emplace_back();
  } else {
    return 0;   // 65536 lists alive at once: none can be named
  }
  auto list = std::make_unique<SharedInstrumentList>();
  if (items != nullptr && count > 0) list->items.assign(items, items + count);
  Slot& entry = table.slots[slot];
  entry.list = std::move(list);
  ++table.live;
  return MakeId(slot, entry.generation);
}

SharedInstrumentList* Resolve(std::uint32_t id) {
  Slot* entry = LiveSlot(id);
  return entry != nullptr ? entry->list.get() : nullptr;
}

void AddRef(std::uint32_t id) {
  if (Slot* entry = LiveSlot(id)) ++entry->list->refCount;
}

void Release(std::uint32_t id) {
  Slot* entry = LiveSlot(id);
  if (entry == nullptr) return;
  if (--entry->list->refCount >= 1) return;
  entry->list.reset();
  // A new generation for the slot's next list; 0 is skipped so that no id is ever 0.
  if (++entry->generation == 0) entry->generation = kFirstGeneration;
  Table& table = TheTable();
  table.freeSlots.push_back(id & kSlotMask);
  --table.live;
}

int LiveCount() { return TheTable().live; }

}  // namespace navlist
