#include "core/EMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using IntMap = EMap<std::uint32_t, std::uintptr_t>;

void* Handle(std::uintptr_t value) { return reinterpret_cast<void*>(value); }

TEST(EMapTest, KeysInOneBucketAreChainedNewestFirst) {
  IntMap map(10);
  map[0x1000] = 1;
  map[0x1110] = 2;
  std::uint32_t bucketA = 99, bucketB = 99;
  IntMap::Node* a = map.FindNode(0x1000, bucketA);
  IntMap::Node* b = map.FindNode(0x1110, bucketB);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(bucketA, 1u);  // 256 mod 17
  EXPECT_EQ(bucketB, 1u);  // 273 mod 17
  EXPECT_EQ(b->next, a);
  std::uintptr_t value = 0;
  EXPECT_TRUE(map.Lookup(0x1000, value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(map.Lookup(0x1110, value));
  EXPECT_EQ(value, 2u);
  EXPECT_FALSE(map.Lookup(0x1001, value));
  EXPECT_EQ(map.GetCount(), 2);
}

TEST(EMapTest, LookupOnAFreshMapAllocatesNothing) {
  IntMap map(10);
  std::uintptr_t value = 7;
  EXPECT_FALSE(map.Lookup(0x40, value));
  EXPECT_EQ(value, 7u);
  EXPECT_FALSE(map.RemoveKey(0x40));
  EXPECT_FALSE(map.HasBuckets());
  EXPECT_EQ(map.GetBlockCount(), 0);
}

TEST(EMapTest, IndexingAnExistingKeyReturnsTheSameSlot) {
  IntMap map(10);
  std::uintptr_t& slot = map[0x2000];
  EXPECT_EQ(slot, 0u);  // a new key starts at zero
  slot = 55;
  EXPECT_EQ(&map[0x2000], &slot);
  EXPECT_EQ(map[0x2000], 55u);
  EXPECT_EQ(map.GetCount(), 1);
}

TEST(EMapTest, NodeBlocksAndBucketsAreFreedWhenTheLastKeyGoes) {
  IntMap map(10);
  for (std::uint32_t k = 0; k < 11; ++k) map[k * 16] = k + 1;
  EXPECT_EQ(map.GetCount(), 11);
  EXPECT_EQ(map.GetBlockCount(), 2);
  for (std::uint32_t k = 0; k < 10; ++k) EXPECT_TRUE(map.RemoveKey(k * 16));
  EXPECT_FALSE(map.RemoveKey(0));
  EXPECT_EQ(map.GetBlockCount(), 2);  // nodes go back to the free list only
  EXPECT_TRUE(map.HasBuckets());
  EXPECT_TRUE(map.RemoveKey(160));
  EXPECT_EQ(map.GetCount(), 0);
  EXPECT_EQ(map.GetBlockCount(), 0);
  EXPECT_FALSE(map.HasBuckets());

  // The next insertion starts afresh.
  map[5] = 9;
  EXPECT_EQ(map.GetBlockCount(), 1);
  EXPECT_EQ(map[5], 9u);
}

TEST(EMapTest, FreedNodesAreReusedBeforeANewBlock) {
  IntMap map(2);
  map[1] = 1;
  map[2] = 2;
  EXPECT_TRUE(map.RemoveKey(1));
  map[3] = 3;
  EXPECT_EQ(map.GetBlockCount(), 1);
  std::uintptr_t value = 0;
  EXPECT_TRUE(map.Lookup(2, value));
  EXPECT_EQ(value, 2u);
  EXPECT_TRUE(map.Lookup(3, value));
  EXPECT_EQ(value, 3u);
}

TEST(EMapTest, WindowHandleMapWithManyKeys) {
  EMap<void*, void*> map(10);
  ASSERT_TRUE(map.ResizeBuckets(131, true));
  EXPECT_EQ(map.GetBucketCount(), 131);
  // Handles that differ only above bit 32 must stay distinct keys.
  const std::uintptr_t high = sizeof(void*) > 4 ? (std::uintptr_t{1} << 40) : 0;
  for (std::uintptr_t k = 1; k <= 300; ++k) map[Handle(k * 48)] = Handle(k);
  if (high != 0) map[Handle(high + 48)] = Handle(999);
  for (std::uintptr_t k = 1; k <= 300; k += 2) EXPECT_TRUE(map.RemoveKey(Handle(k * 48)));
  for (std::uintptr_t k = 1; k <= 300; ++k) {
    void* value = nullptr;
    EXPECT_EQ(map.Lookup(Handle(k * 48), value), k % 2 == 0) << k;
    if (k % 2 == 0) {
      EXPECT_EQ(value, Handle(k));
    }
  }
  void* value = nullptr;
  if (high != 0) {
    EXPECT_TRUE(map.Lookup(Handle(high + 48), value));
    EXPECT_EQ(value, Handle(999));
  }
  int visited = 0;
  map.ForEach([&](void*, void*) { ++visited; });
  EXPECT_EQ(visited, map.GetCount());
}

TEST(EMapTest, ResizingAMapThatHoldsKeysKeepsThem) {
  IntMap map(4);
  for (std::uint32_t k = 0; k < 40; ++k) map[k * 16] = k;
  ASSERT_TRUE(map.ResizeBuckets(131, false));
  EXPECT_EQ(map.GetCount(), 40);
  for (std::uint32_t k = 0; k < 40; ++k) {
    std::uintptr_t value = 999;
    std::uint32_t bucket = 0;
    ASSERT_NE(map.FindNode(k * 16, bucket), nullptr) << k;
    EXPECT_EQ(bucket, k % 131);
    EXPECT_TRUE(map.Lookup(k * 16, value));
    EXPECT_EQ(value, k);
  }
  EXPECT_FALSE(map.ResizeBuckets(0, true));
}

TEST(EMapTest, ClearKeepsTheBucketCountForTheNextInsertion) {
  IntMap map(10);
  map.ResizeBuckets(131, false);
  map[0x100] = 1;
  map.Clear();
  EXPECT_EQ(map.GetCount(), 0);
  EXPECT_FALSE(map.HasBuckets());
  std::uint32_t bucket = 0;
  map.FindNode(0x1000, bucket);
  EXPECT_EQ(bucket, 256u % 131);
}

}  // namespace
