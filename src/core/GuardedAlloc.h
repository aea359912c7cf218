// The guarded allocator: every dynamic table and data buffer of the program comes from here.
// A block of n bytes is zero-filled and framed by the 4-byte mark "$$$$" before and after it
// (written, never checked). Its usable size can be asked back exactly and serves as the
// capacity of a buffer sized earlier. User bytes are 16-byte aligned (the leading mark sits in
// the 4 bytes right before them), so tables of doubles and 64-bit values may live here.
// Safe from any thread.
#pragma once

#include <cstdint>

constexpr char GuardMark[4] = {'$', '$', '$', '$'};

// n zeroed bytes framed by the marks; null when the heap refuses.
void* GuardedAlloc(std::uint32_t n);
// Returns a block to the heap; null is ignored.
void GuardedFree(void* block);
// The user bytes of a block from GuardedAlloc (0 for null).
std::uint32_t GuardedSize(const void* block);

// Test seam for out-of-memory paths, process-wide: while a limit is set, every GuardedAlloc of
// more than maxBytes bytes returns null as when the heap refuses (a limit of 0 fails every
// allocation of one byte or more). kNoGuardedAllocLimit lifts it.
constexpr std::uint32_t kNoGuardedAllocLimit = UINT32_MAX;

// Sets the limit while it lives and puts back the limit before it when it goes.
class ScopedGuardedAllocLimit {
 public:
  explicit ScopedGuardedAllocLimit(std::uint32_t maxBytes);
  ~ScopedGuardedAllocLimit();
  ScopedGuardedAllocLimit(const ScopedGuardedAllocLimit&) = delete;
  ScopedGuardedAllocLimit& operator=(const ScopedGuardedAllocLimit&) = delete;

 private:
  std::uint32_t previous_;
};
