#include "core/GuardedAlloc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool allZero(const void* block, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < bytes; ++i)
    if (p[i] != 0) return false;
  return true;
}

TEST(GuardedAllocTest, ZeroBytesGiveAValidBlockWithTheMarksBackToBack) {
  void* block = GuardedAlloc(0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GuardedSize(block), 0u);
  EXPECT_EQ(std::memcmp(static_cast<char*>(block) - 4, "$$$$$$$$", 8), 0);
  GuardedFree(block);
}

TEST(GuardedAllocTest, BlocksAreZeroedFramedAlignedAndReportTheirExactSize) {
  for (std::uint32_t n : {1u, 3u, 7u, 8u, 100u, 4095u, 4096u, 1000003u}) {
    SCOPED_TRACE(n);
    auto* block = static_cast<unsigned char*>(GuardedAlloc(n));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GuardedSize(block), n);
    EXPECT_TRUE(allZero(block, n));
    EXPECT_EQ(std::memcmp(block - 4, GuardMark, 4), 0);
    EXPECT_EQ(std::memcmp(block + n, GuardMark, 4), 0);
    // Tables of doubles and 64-bit counters live in these blocks.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    std::memset(block, 0xAB, n);  // every user byte is writable (the sanitizer checks the bounds)
    EXPECT_EQ(std::memcmp(block + n, GuardMark, 4), 0);
    GuardedFree(block);
  }
}

TEST(GuardedAllocTest, NullIsIgnoredByFreeAndSize) {
  GuardedFree(nullptr);
  EXPECT_EQ(GuardedSize(nullptr), 0u);
}

TEST(GuardedAllocTest, TheTestLimitRefusesOnlyLargerBlocksUntilLifted) {
  struct Case {
    std::uint32_t limit, bytes;
    bool granted;
  } cases[] = {{100, 100, true}, {100, 101, false}, {0, 0, true}, {0, 1, false},
               {kNoGuardedAllocLimit, 1000003, true}};
  for (const Case& c : cases) {
    void* block = nullptr;
    {
      ScopedGuardedAllocLimit limit(c.limit);
      block = GuardedAlloc(c.bytes);
    }
    EXPECT_EQ(block != nullptr, c.granted) << c.limit << " " << c.bytes;
    GuardedFree(block);
  }
}

TEST(GuardedAllocTest, ANestedLimitGivesBackTheOneBeforeIt) {
  ScopedGuardedAllocLimit outer(100);
  {
    ScopedGuardedAllocLimit inner(10);
    EXPECT_EQ(GuardedAlloc(11), nullptr);
  }
  void* block = GuardedAlloc(11);
  EXPECT_NE(block, nullptr);
  GuardedFree(block);
  EXPECT_EQ(GuardedAlloc(101), nullptr);
}

}  // namespace
