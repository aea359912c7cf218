// Navigation lists: the instruments of a quote list (or strip) handed to a chart or text view so
// it can step to the next or previous one. A list is reference-counted and named by a 32-bit
// id (slot in the low 16 bits, generation in the high 16): the id fits the 32-bit field of
// VIEW_ATTR_12 that page records and histories copy freely, and an id whose list was freed (or
// that was never handed out) resolves to nothing instead of to freed memory. UI thread only.
#pragma once

#include "data/Records.h"

#include <cstdint>
#include <vector>

struct SharedInstrumentList {
  std::vector<STKPTR> items;
  int refCount = 0;   // 0 when built; the holder that takes it adds one
};

namespace navlist {
// A new list of `count` instruments (copied) with reference count 0; never id 0.
std::uint32_t Create(const STKPTR* items, int count);
// The live list of an id, or null (0, stale, unknown).
SharedInstrumentList* Resolve(std::uint32_t id);
// One more holder; nothing for a stale id.
void AddRef(std::uint32_t id);
// One holder less; the list is freed when the count falls below 1. Nothing for a stale id.
void Release(std::uint32_t id);
// Live lists (tests).
int LiveCount();
}  // namespace navlist
