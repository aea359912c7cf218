// Binary search over arrays of fixed-size records sorted ascending by an unsigned 32-bit key
// stored in the first 4 bytes of each record (a PackedTime, an id), records stride bytes apart.
#pragma once

#include <cstdint>

// The index of a record whose key equals key (the first of equal ones) or, when none, of the
// first record with a greater key; count when every key is below key; 0 when count <= 0,
// records is null, stride is below 4, or the first key is at least key. Keys are read
// bytewise, so records need no alignment.
int LowerBoundByKey(const void* records, int count, int stride, std::uint32_t key);
