#include "core/EBufferPool.h"

#include "platform/Kernel.h"

#include <atomic>
#include <cstring>

namespace {

constexpr std::uint32_t kDefaultBlockSize = 4088;
constexpr std::uint32_t kDefaultBlocksPerChunk = 16;
constexpr std::uint32_t kPrefixBytes = 8;
// Chunks above this are refused rather than reserved.
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t{1} << 30;
// Set in a slot's prefix while the slot is free; chunk headers are 8-byte aligned.
constexpr std::uintptr_t kFreeTag = 1;

// Chunks all pools may still make; negative: no limit. Pools of several threads share it.
std::atomic<int> chunkBudget{-1};

// Takes one chunk from the budget: false when it is spent.
bool TakeFromChunkBudget() {
  int left = chunkBudget.load();
  while (left != 0) {
    if (left < 0 || chunkBudget.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

void ReturnToChunkBudget() {
  int left = chunkBudget.load();
  while (left >= 0 && !chunkBudget.compare_exchange_weak(left, left + 1)) {
  }
}

std::uintptr_t& PrefixOf(unsigned char* slot) { return *reinterpret_cast<std::uintptr_t*>(slot); }
unsigned char*& NextFreeOf(unsigned char* slot) {
  // While a slot is free its link to the next free slot lives in its block bytes.
  return *reinterpret_cast<unsigned char**>(slot + kPrefixBytes);
}

}  // namespace

EBufferPool::ScopedChunkBudget::ScopedChunkBudget(int chunks) : previous_(chunkBudget.exchange(chunks)) {}

EBufferPool::ScopedChunkBudget::~ScopedChunkBudget() { chunkBudget.store(previous_); }

EBufferPool::EBufferPool(std::uint32_t requestedBlockSize, std::uint32_t requestedBlocksPerChunk,
                         std::uint32_t requestedLanes, bool pageAlign) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  const std::uint64_t page = info.dwPageSize != 0 ? info.dwPageSize : 4096;
  pageSize = pageAlign ? static_cast<std::uint32_t>(page) : 0;

  std::uint64_t size = requestedBlockSize;
  if (size == 0) {
    size = pageAlign ? page - kPrefixBytes : kDefaultBlockSize;
  } else if (pageAlign) {
    size = page * ((size + kPrefixBytes + page - 1) / page) - kPrefixBytes;
  }
  // Sizes that do not fit are kept as asked; their chunks exceed the chunk limit and fail.
  blockSize = size <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(size) : requestedBlockSize;
  blocksPerChunk = requestedBlocksPerChunk != 0 ? requestedBlocksPerChunk : kDefaultBlocksPerChunk;

  // The free-list link needs 8 bytes of block; slots stay 8-byte aligned.
  const std::uint64_t usable = blockSize < 8 ? 8 : blockSize;
  slotStride = (kPrefixBytes + usable + 7) & ~std::uint64_t{7};
  headerArea = pageAlign ? static_cast<std::uint32_t>(page)
                         : static_cast<std::uint32_t>((sizeof(EBufferPoolBlock) + 15) & ~std::size_t{15});

  std::uint32_t lanesWanted = requestedLanes != 0 ? requestedLanes : info.dwNumberOfProcessors + 2;
  if (lanesWanted > kMaxLanes) lanesWanted = kMaxLanes;
  for (std::uint32_t lane = 0; lane < lanesWanted; ++lane) {
    lanes[lane] = NewChunk();
    if (lanes[lane] == nullptr) break;
    laneCount = lane + 1;
  }
}

EBufferPool::~EBufferPool() { ReleaseAll(); }

EBufferPoolBlock* EBufferPool::NewChunk() {
  const std::uint64_t bytes = headerArea + slotStride * blocksPerChunk;
  if (bytes > kMaxChunkBytes) return nullptr;
  if (!TakeFromChunkBudget()) return nullptr;
  auto* base = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, static_cast<std::size_t>(bytes), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (base == nullptr) {
    ReturnToChunkBudget();
    return nullptr;
  }

  auto* chunk = reinterpret_cast<EBufferPoolBlock*>(base + headerArea - sizeof(EBufferPoolBlock));
  chunk->total = blocksPerChunk;
  chunk->freeCount = blocksPerChunk;
  chunk->freeList = nullptr;
  chunk->queueLink = nullptr;
  chunk->base = base;
  chunk->owner = this;
  chunk->inQueue = false;
  // Each slot is pushed at the head, so the last slot is handed out first.
  unsigned char* slot = base + headerArea;
  for (std::uint32_t i = 0; i < blocksPerChunk; ++i, slot += slotStride) {
    PrefixOf(slot) = reinterpret_cast<std::uintptr_t>(chunk) | kFreeTag;
    NextFreeOf(slot) = chunk->freeList;
    chunk->freeList = slot;
  }
  if (chunks.Add(chunk) < 0) {  // an unrecorded chunk could never be released
    VirtualFree(base, 0, MEM_RELEASE);
    return nullptr;
  }
  return chunk;
}

void EBufferPool::ReleaseChunk(EBufferPoolBlock* chunk) {
  if (chunk == nullptr) return;
  void* base = chunk->base;
  const std::uint64_t bytes = headerArea + slotStride * blocksPerChunk;
  VirtualFree(base, static_cast<std::size_t>(bytes), MEM_DECOMMIT);
  VirtualFree(base, 0, MEM_RELEASE);
}

void EBufferPool::ReleaseAll() {
  for (int i = 0; i < chunks.GetSize(); ++i) ReleaseChunk(chunks.GetAt(i));
  chunks.RemoveAll();
  lanes[0] = lanes[1] = nullptr;
  queueHead = queueTail = nullptr;
}

EBufferPoolBlock* EBufferPool::TakeQueued() {
  EBufferPoolBlock* chunk = queueHead;
  if (chunk == nullptr) return nullptr;
  queueHead = chunk->queueLink;
  if (queueHead == nullptr) queueTail = nullptr;
  chunk->queueLink = nullptr;
  chunk->inQueue = false;
  return chunk;
}

EBufferPoolBlock* EBufferPool::Replacement() {
  if (EBufferPoolBlock* queued = TakeQueued()) return queued;
  return NewChunk();
}

void* EBufferPool::Alloc() {
  for (std::uint32_t tries = 0; tries < laneCount; ++tries) {
    const std::uint32_t lane = nextLane++ % laneCount;
    EBufferPoolBlock* chunk = lanes[lane];
    if (chunk == nullptr || chunk->freeCount == 0) {
      // The lane kept an empty chunk when no other was to be had: look again now. The empty
      // chunk serves no lane any more and is queued by the Free that refills it.
      EBufferPoolBlock* replacement = Replacement();
      if (replacement == nullptr) continue;
      lanes[lane] = chunk = replacement;
    }
    unsigned char* slot = chunk->freeList;
    chunk->freeList = NextFreeOf(slot);
    PrefixOf(slot) = reinterpret_cast<std::uintptr_t>(chunk);
    if (--chunk->freeCount == 0) {
      // When no chunk can be had the lane keeps the empty one.
      if (EBufferPoolBlock* replacement = Replacement()) lanes[lane] = replacement;
    }
    return slot + kPrefixBytes;
  }
  return nullptr;
}

void EBufferPool::Free(void* block) {
  if (block == nullptr) return;
  unsigned char* slot = static_cast<unsigned char*>(block) - kPrefixBytes;
  const std::uintptr_t prefix = PrefixOf(slot);
  if (prefix & kFreeTag) return;  // already free
  auto* chunk = reinterpret_cast<EBufferPoolBlock*>(prefix);
  // Queued here, another pool's chunk would hand out blocks of the wrong size.
  if (chunk->owner != this) {
    chunk->owner->Free(block);
    return;
  }
  NextFreeOf(slot) = chunk->freeList;
  chunk->freeList = slot;
  PrefixOf(slot) = prefix | kFreeTag;
  // A chunk that ran empty and left its lane has free blocks again: queue it, once.
  if (chunk->freeCount == 0 && !chunk->inQueue && !ServesALane(chunk)) {
    chunk->inQueue = true;
    chunk->queueLink = nullptr;
    if (queueTail != nullptr) {
      queueTail->queueLink = chunk;
    } else {
      queueHead = chunk;
    }
    queueTail = chunk;
  }
  ++chunk->freeCount;
}

EBufferPoolBlock* EBufferPool::ChunkOf(const void* block) {
  if (block == nullptr) return nullptr;
  const std::uintptr_t prefix = *reinterpret_cast<const std::uintptr_t*>(static_cast<const unsigned char*>(block) - kPrefixBytes);
  return reinterpret_cast<EBufferPoolBlock*>(prefix & ~kFreeTag);
}
