// EBufferPool: fixed-size blocks handed out from large chunks of reserved and committed virtual
// memory. Taking a block is a pop from a chunk's free list and returning one a push; memory goes
// back to the system only when the pool is destroyed (or ReleaseAll). Each block carries an
// 8-byte prefix pointing back to its chunk, so Free needs no size or chunk.
// No locking: one pool is used from one thread.
#pragma once

#include "core/EArray.h"

#include <cstdint>

class EBufferPool;

// Header of one chunk, placed directly before its first block slot.
struct EBufferPoolBlock {
  std::uint32_t total;          // block slots in the chunk
  std::uint32_t freeCount;      // slots currently free
  unsigned char* freeList;      // first free slot, or null
  EBufferPoolBlock* queueLink;  // next chunk in the pool's queue
  void* base;                   // start of the chunk's reservation
  EBufferPool* owner;           // the pool whose queue and lanes the chunk belongs to
  bool inQueue;                 // a chunk is queued at most once
};

// The formula engine's three scratch pools (one lane each, not page-aligned): 8224-byte blocks
// 32 to a chunk, 65560-byte blocks 2 to a chunk, and blocks of the engine's largest work size
// 128 to a chunk (that size is the engine's own).
constexpr std::uint32_t kFormulaSmallBlockSize = 8224;
constexpr std::uint32_t kFormulaSmallBlocksPerChunk = 32;
constexpr std::uint32_t kFormulaLargeBlockSize = 65560;
constexpr std::uint32_t kFormulaLargeBlocksPerChunk = 2;
constexpr std::uint32_t kFormulaWorkBlocksPerChunk = 128;

class EBufferPool {
 public:
  static constexpr std::uint32_t kMaxLanes = 2;

  // Builds the pool and one chunk per lane. blockSize 0 gives 4088 bytes (the page size - 8
  // when page-aligned); with pageAlign a block and its 8-byte prefix are rounded up to whole
  // pages. blocksPerChunk 0 gives 16. laneCount 0 gives the processor count + 2; more than 2
  // lanes become 2. When a lane's chunk cannot be made the lane count stops at the lanes made,
  // possibly 0, and then Alloc always returns null.
  EBufferPool(std::uint32_t blockSize, std::uint32_t blocksPerChunk, std::uint32_t laneCount, bool pageAlign);
  // Releases every chunk; blocks still taken become invalid.
  virtual ~EBufferPool();

  EBufferPool(const EBufferPool&) = delete;
  EBufferPool& operator=(const EBufferPool&) = delete;

  // A block of GetBlockSize() bytes (contents undefined), or null when no lane can supply one
  // and no new chunk can be made. Lanes are tried round-robin; a lane whose chunk ran empty takes
  // the oldest chunk that has free blocks again, else a new chunk.
  void* Alloc();
  // Returns a block to its chunk. Null is ignored, and so is a block that is already free
  // (returning a block twice does not hand it out twice). A block of another pool goes back to
  // the pool it came from, never into this pool's queue.
  void Free(void* block);
  // Releases every chunk to the system; blocks still taken become invalid. The pool stays
  // usable: the next Alloc makes a new chunk.
  void ReleaseAll();

  std::uint32_t GetBlockSize() const { return blockSize; }
  std::uint32_t GetBlocksPerChunk() const { return blocksPerChunk; }
  std::uint32_t GetLaneCount() const { return laneCount; }
  // The system page size when page-aligned, else 0.
  std::uint32_t GetPageSize() const { return pageSize; }
  int GetChunkCount() const { return chunks.GetSize(); }
  EBufferPoolBlock* GetChunk(int index) const { return chunks.GetAt(index); }
  // The chunk a block taken from any pool belongs to.
  static EBufferPoolBlock* ChunkOf(const void* block);

  // Test seam: while it lives, all pools together may make only this many more chunks
  // (negative: no limit, the default); the budget before it comes back when it goes.
  class ScopedChunkBudget {
   public:
    explicit ScopedChunkBudget(int chunks);
    ~ScopedChunkBudget();
    ScopedChunkBudget(const ScopedChunkBudget&) = delete;
    ScopedChunkBudget& operator=(const ScopedChunkBudget&) = delete;

   private:
    int previous_;
  };

 private:
  // Reserves, commits and threads a new chunk and records it; null when the system refuses.
  EBufferPoolBlock* NewChunk();
  // Decommits and releases the chunk's memory.
  void ReleaseChunk(EBufferPoolBlock* chunk);
  // Pops the oldest queued chunk, or null.
  EBufferPoolBlock* TakeQueued();
  // A chunk with free blocks for a lane whose chunk ran empty: queued first, else new.
  EBufferPoolBlock* Replacement();
  bool ServesALane(const EBufferPoolBlock* chunk) const { return chunk == lanes[0] || chunk == lanes[1]; }

  std::uint32_t pageSize = 0;
  std::uint32_t blockSize = 0;
  std::uint32_t blocksPerChunk = 0;
  std::uint32_t laneCount = 0;
  std::uint32_t nextLane = 0;
  EBufferPoolBlock* queueHead = nullptr;
  EBufferPoolBlock* queueTail = nullptr;
  EBufferPoolBlock* lanes[kMaxLanes] = {nullptr, nullptr};
  EArray<EBufferPoolBlock*> chunks{16};
  std::uint32_t headerArea = 0;  // bytes before the first slot (header at their end)
  std::uint64_t slotStride = 0;  // prefix + block, rounded up to 8 bytes
};
