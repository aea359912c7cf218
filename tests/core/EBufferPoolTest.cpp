#include "core/EBufferPool.h"

#include "platform/Kernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

std::uint32_t SystemPageSize() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwPageSize;
}

TEST(EBufferPoolTest, ConstructionSettlesBlockSizeAndLanes) {
  const std::uint32_t page = SystemPageSize();
  struct Case {
    std::uint32_t blockSize, perChunk, lanes;
    bool aligned;
    std::uint32_t expectedBlockSize, expectedLanes;
  };
  const Case cases[] = {
      {0, 4, 0, false, 4088, 2},  // any machine has at least 1 processor: 3 or more lanes become 2
      {0, 4, 1, false, 4088, 1},
      {0, 4, 5, false, 4088, 2},
      {kFormulaSmallBlockSize, kFormulaSmallBlocksPerChunk, 1, false, 8224, 1},
      {kFormulaLargeBlockSize, kFormulaLargeBlocksPerChunk, 1, false, 65560, 1},
      {0, 4, 1, true, page - 8, 1},
      {100, 4, 1, true, page - 8, 1},
      {page - 7, 4, 1, true, 2 * page - 8, 1},
      {page - 8, 4, 1, true, page - 8, 1},
  };
  for (const Case& c : cases) {
    EBufferPool pool(c.blockSize, c.perChunk, c.lanes, c.aligned);
    EXPECT_EQ(pool.GetBlockSize(), c.expectedBlockSize) << c.blockSize;
    EXPECT_EQ(pool.GetLaneCount(), c.expectedLanes) << c.lanes;
    EXPECT_EQ(pool.GetChunkCount(), static_cast<int>(c.expectedLanes));
    EXPECT_EQ(pool.GetPageSize(), c.aligned ? page : 0u);
    for (int i = 0; i < pool.GetChunkCount(); ++i) EXPECT_EQ(pool.GetChunk(i)->total, c.perChunk);
  }
  if (page == 4096) {
    EXPECT_EQ(EBufferPool(4089, 2, 1, true).GetBlockSize(), 8184u);
    EXPECT_EQ(EBufferPool(100, 2, 1, true).GetBlockSize(), 4088u);
  }
}

TEST(EBufferPoolTest, PageAlignedBlocksFollowWholePagesOfPrefix) {
  const std::uint32_t page = SystemPageSize();
  EBufferPool pool(5000, 3, 1, true);
  for (int i = 0; i < 3; ++i) {
    auto address = reinterpret_cast<std::uintptr_t>(pool.Alloc());
    ASSERT_NE(address, 0u);
    EXPECT_EQ((address - 8) % page, 0u);
  }
}

TEST(EBufferPoolTest, BlocksComeFromTheHighestSlotDownAndAFullChunkBringsANewOne) {
  EBufferPool pool(104, 4, 1, false);
  EBufferPoolBlock* first = pool.GetChunk(0);
  std::vector<std::uintptr_t> addresses;
  for (int i = 0; i < 4; ++i) {
    void* block = pool.Alloc();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(EBufferPool::ChunkOf(block), first);
    addresses.push_back(reinterpret_cast<std::uintptr_t>(block));
  }
  for (int i = 1; i < 4; ++i) EXPECT_EQ(addresses[i - 1] - addresses[i], 104u + 8) << i;  // block and prefix
  EXPECT_EQ(first->freeCount, 0u);
  EXPECT_EQ(pool.GetChunkCount(), 2);  // made when the first ran empty
  void* fifth = pool.Alloc();
  EXPECT_EQ(EBufferPool::ChunkOf(fifth), pool.GetChunk(1));
}

TEST(EBufferPoolTest, AQueuedChunkIsTakenBeforeANewOne) {
  EBufferPool pool(64, 2, 1, false);
  void* a1 = pool.Alloc();
  void* a2 = pool.Alloc();  // chunk A empty, lane moves to chunk B
  EBufferPoolBlock* chunkA = EBufferPool::ChunkOf(a1);
  pool.Free(a2);            // A is queued
  EXPECT_TRUE(chunkA->inQueue);
  void* b1 = pool.Alloc();
  void* b2 = pool.Alloc();  // B empty: the lane takes A from the queue
  EXPECT_NE(EBufferPool::ChunkOf(b1), chunkA);
  EXPECT_EQ(EBufferPool::ChunkOf(b2), EBufferPool::ChunkOf(b1));
  EXPECT_EQ(pool.GetChunkCount(), 2);
  EXPECT_EQ(pool.Alloc(), a2);
  pool.Free(nullptr);
}

TEST(EBufferPoolTest, AnEmptyChunkKeptByItsLaneIsNeverQueuedTwice) {
  // Three chunks A, B, C of two blocks, and no fourth to be had.
  EBufferPool::ScopedChunkBudget budget(3);
  EBufferPool pool(64, 2, 1, false);
  void* a1 = pool.Alloc();
  void* a2 = pool.Alloc();  // A empty: the lane takes B
  void* b1 = pool.Alloc();
  void* b2 = pool.Alloc();  // B empty: the lane takes C
  void* c1 = pool.Alloc();
  void* c2 = pool.Alloc();  // C empty and nothing to replace it: the lane keeps C
  EXPECT_EQ(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.GetChunkCount(), 3);

  pool.Free(a1);                // A queued
  pool.Free(c1);                // C refilled in its lane, not queued
  EXPECT_EQ(pool.Alloc(), c1);  // C empty again: the lane takes A
  pool.Free(b1);                // B queued
  pool.Free(c1);                // C queued after B
  pool.Free(c1);                // returned twice: ignored

  // Every free block is handed out exactly once.
  std::set<void*> handedOut;
  for (void* block; (block = pool.Alloc()) != nullptr;) {
    EXPECT_TRUE(handedOut.insert(block).second) << "block handed out twice";
    ASSERT_LE(handedOut.size(), 3u);
  }
  EXPECT_EQ(handedOut, (std::set<void*>{a1, b1, c1}));

  for (void* block : {a1, a2, b1, b2, c1, c2}) pool.Free(block);
  handedOut.clear();
  for (void* block; (block = pool.Alloc()) != nullptr;) ASSERT_TRUE(handedOut.insert(block).second);
  EXPECT_EQ(handedOut.size(), 6u);
  EXPECT_EQ(pool.GetChunkCount(), 3);
}

TEST(EBufferPoolTest, ABlockFreedThroughAnotherPoolGoesBackToItsOwn) {
  EBufferPool small(64, 2, 1, false);
  EBufferPool large(4096, 2, 1, false);
  void* s1 = small.Alloc();
  void* s2 = small.Alloc();  // the small pool's first chunk runs empty and leaves its lane
  large.Free(s2);            // the wrong pool: must not queue a 64-byte chunk in the 4096 one
  EXPECT_TRUE(EBufferPool::ChunkOf(s2)->inQueue);
  large.Alloc();
  large.Alloc();  // the large lane runs empty and takes a replacement of its own
  EXPECT_EQ(large.GetChunkCount(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(EBufferPool::ChunkOf(large.Alloc()), large.GetChunk(1));
  small.Alloc();
  small.Alloc();                  // the small lane's second chunk runs empty: the queued one follows
  EXPECT_EQ(small.Alloc(), s2);
  EXPECT_EQ(small.GetChunkCount(), 3);
  small.Free(s1);
}

TEST(EBufferPoolTest, TwoLanesAlternateBetweenTheirChunks) {
  EBufferPool pool(32, 8, 2, false);
  ASSERT_EQ(pool.GetLaneCount(), 2u);
  void* first = pool.Alloc();
  void* second = pool.Alloc();
  void* third = pool.Alloc();
  EXPECT_NE(EBufferPool::ChunkOf(first), EBufferPool::ChunkOf(second));
  EXPECT_EQ(EBufferPool::ChunkOf(first), EBufferPool::ChunkOf(third));
}

TEST(EBufferPoolTest, NoChunkAtAllGivesAPoolWithoutLanes) {
  {
    EBufferPool::ScopedChunkBudget budget(1);
    EBufferPool pool(64, 2, 2, false);
    EXPECT_EQ(pool.GetLaneCount(), 1u);  // the second lane's chunk was refused
  }
  EBufferPool::ScopedChunkBudget budget(0);
  EBufferPool empty(64, 2, 1, false);
  EXPECT_EQ(empty.GetLaneCount(), 0u);
  EXPECT_EQ(empty.Alloc(), nullptr);
}

TEST(EBufferPoolTest, BlocksHoldTheirFullSizeWithoutTouchingNeighbours) {
  EBufferPool pool(kFormulaSmallBlockSize, 4, 1, false);
  std::vector<unsigned char*> blocks;
  for (int i = 0; i < 9; ++i) {
    auto* block = static_cast<unsigned char*>(pool.Alloc());
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x40 + i, pool.GetBlockSize());
    blocks.push_back(block);
  }
  for (int i = 0; i < 9; ++i) {
    for (std::uint32_t b = 0; b < pool.GetBlockSize(); b += 511) ASSERT_EQ(blocks[i][b], 0x40 + i);
    ASSERT_EQ(blocks[i][pool.GetBlockSize() - 1], 0x40 + i);
  }
  for (unsigned char* block : blocks) pool.Free(block);
  for (int i = 0; i < 9; ++i) EXPECT_NE(pool.Alloc(), nullptr);
  EXPECT_EQ(pool.GetChunkCount(), 3);
}

TEST(EBufferPoolTest, ReleaseAllLeavesAUsablePool) {
  EBufferPool pool(64, 2, 1, false);
  pool.Alloc();
  pool.ReleaseAll();
  EXPECT_EQ(pool.GetChunkCount(), 0);
  void* block = pool.Alloc();
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(pool.GetChunkCount(), 1);
  pool.Free(block);
}

}  // namespace
