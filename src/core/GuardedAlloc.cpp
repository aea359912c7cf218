// The guarded allocator over the platform's exact-size zeroed heap blocks.
#include "core/GuardedAlloc.h"

#include "platform/Kernel.h"

#include <atomic>
#include <cstring>

namespace {

// The user bytes start 16 bytes into the heap block so that tables of doubles and 64-bit
// integers taken from here are naturally aligned; the leading mark sits in the 4 bytes right
// before them, the trailing mark right after them, so the framed block is the n + 8 bytes
// "$$$$" user-bytes "$$$$".
constexpr std::size_t kLead = 16;
constexpr std::size_t kTail = sizeof GuardMark;
constexpr std::size_t kOverhead = kLead + kTail;

std::atomic<std::uint32_t> allocLimitForTest{kNoGuardedAllocLimit};

unsigned char* rawOf(const void* block) {
  return const_cast<unsigned char*>(static_cast<const unsigned char*>(block)) - kLead;
}

}  // namespace

ScopedGuardedAllocLimit::ScopedGuardedAllocLimit(std::uint32_t maxBytes)
    : previous_(allocLimitForTest.exchange(maxBytes, std::memory_order_relaxed)) {}

ScopedGuardedAllocLimit::~ScopedGuardedAllocLimit() { allocLimitForTest.store(previous_, std::memory_order_relaxed); }

void* GuardedAlloc(std::uint32_t n) {
  if (n > allocLimitForTest.load(std::memory_order_relaxed)) return nullptr;
  auto* raw = static_cast<unsigned char*>(HeapAllocZero(std::size_t{n} + kOverhead));
  if (!raw) return nullptr;
  unsigned char* user = raw + kLead;
  std::memcpy(user - sizeof GuardMark, GuardMark, sizeof GuardMark);
  std::memcpy(user + n, GuardMark, sizeof GuardMark);
  return user;
}

void GuardedFree(void* block) {
  if (!block) return;
  HeapFreeBlock(rawOf(block));
}

std::uint32_t GuardedSize(const void* block) {
  if (!block) return 0;
  return static_cast<std::uint32_t>(HeapBlockSize(rawOf(block)) - kOverhead);
}
