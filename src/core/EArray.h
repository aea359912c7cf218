// EArray<T>: the program's growable array of plain records, with storage from GuardedAlloc.
// Growth doubles the capacity (grow step g gives capacities g, 2g, 4g ...); a growth that cannot
// be allocated is reported by a return value and leaves the array as it was. No locking.
//
// Elements are plain records: growth, insertion and removal relocate them with block copies and
// elements are never destroyed, so an element type must be trivially destructible and must not
// point into itself (a record holding a STKPTR qualifies). Adding, inserting, writing and reading
// copy an element through its copy constructor, so a record holding a STKPTR re-derives that
// reference's category on every copy; a relocation is not a copy and keeps it as stored.
#pragma once

#include "core/GuardedAlloc.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

template <typename T>
class EArray {
  // Storage is freed without running destructors and moved with memcpy/memmove.
  static_assert(std::is_trivially_destructible_v<T>, "EArray elements are never destroyed");
  static_assert(std::is_copy_constructible_v<T>, "EArray copies elements in");
  // GuardedAlloc hands out 16-byte aligned blocks.
  static_assert(alignof(T) <= 16, "EArray storage is 16-byte aligned");

 public:
  // Room for growStep elements at once (128 when growStep <= 0). When that first allocation
  // fails the capacity stays 0 and the first Add tries again.
  explicit EArray(int growStep = 128) : growBy(growStep > 0 ? growStep : kDefaultGrowStep) {
    items = Allocate(growBy);
    capacity = items != nullptr ? growBy : 0;
  }
  virtual ~EArray() { GuardedFree(items); }

  EArray(const EArray&) = delete;
  EArray& operator=(const EArray&) = delete;

  int GetSize() const { return size; }
  int GetCapacity() const { return capacity; }
  // Elements added at the next growth (the capacity after the last doubling).
  int GetGrowBy() const { return growBy; }

  // The element storage (null when nothing could ever be allocated): for indexed access and
  // sorting in place. Valid until the next operation that grows the array.
  T* GetData() { return items; }
  const T* GetData() const { return items; }

  // A copy of element index. The index is NOT checked: keep it below GetSize().
  T GetAt(int index) const { return items[index]; }
  // Checked read: copies element index to out and returns true; false (out untouched) when the
  // index is negative or not below GetSize().
  bool GetAt(int index, T& out) const {
    if (index < 0 || index >= size) return false;
    out = items[index];
    return true;
  }
  // Checked write: replaces element index and returns true; an index that is negative or not
  // below GetSize() is ignored (false).
  bool SetAt(int index, const T& element) {
    if (index < 0 || index >= size) return false;
    items[index] = element;
    return true;
  }
  // Unchecked reference to element index.
  T& operator[](int index) { return items[index]; }
  const T& operator[](int index) const { return items[index]; }

  // Appends a copy; returns its index, or -1 when the array is full and cannot grow (the array
  // is unchanged). The element may be one of this array's own.
  int Add(const T& element) { return InsertAt(size, element); }

  // Inserts a copy before index (index == GetSize() appends), moving the rest up; returns index,
  // or -1 when index is negative or beyond GetSize(), or when the array cannot grow.
  int InsertAt(int index, const T& element) {
    if (index < 0 || index > size) return -1;
    if (size < capacity) {
      if (index < size) {
        // The element may live in the range being moved up: then it is found one slot higher.
        const T* source = &element;
        const auto at = reinterpret_cast<std::uintptr_t>(source);
        if (at >= reinterpret_cast<std::uintptr_t>(items + index) &&
            at < reinterpret_cast<std::uintptr_t>(items + size))
          ++source;
        MoveElements(index + 1, index, size - index);
        new (static_cast<void*>(items + index)) T(*source);
      } else {
        new (static_cast<void*>(items + index)) T(element);
      }
      ++size;
      return index;
    }
    // Full: grow by growBy, then growBy becomes the new capacity so the capacity doubles.
    const std::int64_t wanted = static_cast<std::int64_t>(capacity) + growBy;
    if (wanted > kMaxElements) return -1;
    T* grown = Allocate(static_cast<int>(wanted));
    if (grown == nullptr) return -1;
    CopyElements(grown, items, index);
    CopyElements(grown + index + 1, items + index, size - index);
    // Built before the old storage goes, so an element of this array may be added to it.
    new (static_cast<void*>(grown + index)) T(element);
    GuardedFree(items);
    items = grown;
    capacity = static_cast<int>(wanted);
    growBy = capacity;
    ++size;
    return index;
  }

  // Sets the element count to n and returns it. When n exceeds the capacity the storage grows
  // to n + growBy elements (growBy unchanged); when that fails n is lowered to the current
  // capacity. Elements exposed by the call read as zero bytes. A negative n counts as 0.
  int SetSize(int n) {
    if (n < 0) n = 0;
    if (n > capacity) {
      const std::int64_t wanted = static_cast<std::int64_t>(n) + growBy;
      T* grown = wanted <= kMaxElements ? Allocate(static_cast<int>(wanted)) : nullptr;
      if (grown != nullptr) {
        CopyElements(grown, items, size);
        GuardedFree(items);
        items = grown;
        capacity = static_cast<int>(wanted);
      } else {
        n = capacity;
      }
    }
    // Slots beyond the old size may hold records removed earlier: clear them.
    if (n > size) std::memset(static_cast<void*>(items + size), 0, sizeof(T) * (n - size));
    size = n;
    return size;
  }

  // Removes count elements from index, moving the rest down. Nothing happens when count <= 0 or
  // index is negative or not below GetSize(); a range past the end cuts the array at index.
  void RemoveAt(int index, int count = 1) {
    if (count <= 0 || index < 0 || index >= size) return;
    if (static_cast<std::int64_t>(index) + count < size) {
      MoveElements(index, index + count, size - index - count);
      size -= count;
    } else {
      size = index;
    }
  }

  // Count 0; the storage is kept, so adding afterwards needs no allocation.
  void RemoveAll() { size = 0; }

 private:
  static constexpr int kDefaultGrowStep = 128;
  // GuardedAlloc takes a 32-bit byte count.
  static constexpr std::int64_t kMaxElements =
      static_cast<std::int64_t>(0xFFFFFFF0u / sizeof(T)) < 0x7FFFFFFF
          ? static_cast<std::int64_t>(0xFFFFFFF0u / sizeof(T))
          : 0x7FFFFFFF;

  static T* Allocate(int count) {
    if (count <= 0 || count > kMaxElements) return nullptr;
    return static_cast<T*>(GuardedAlloc(static_cast<std::uint32_t>(sizeof(T) * count)));
  }
  static void CopyElements(T* to, const T* from, int count) {
    if (count > 0) std::memcpy(static_cast<void*>(to), static_cast<const void*>(from), sizeof(T) * count);
  }
  void MoveElements(int to, int from, int count) {
    if (count > 0)
      std::memmove(static_cast<void*>(items + to), static_cast<const void*>(items + from), sizeof(T) * count);
  }

  T* items = nullptr;
  int capacity = 0;
  int size = 0;
  int growBy;
};
