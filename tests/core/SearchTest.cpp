#include "core/Search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Records of 7 bytes (unaligned keys) whose first 4 bytes hold the key.
std::vector<unsigned char> Records(const std::vector<std::uint32_t>& keys, int stride = 7) {
  std::vector<unsigned char> bytes(keys.size() * stride, 0xEE);
  for (std::size_t i = 0; i < keys.size(); ++i) std::memcpy(&bytes[i * stride], &keys[i], 4);
  return bytes;
}

TEST(SearchTest, LowerBoundFindsTheFirstRecordNotBelowTheKey) {
  const std::vector<std::uint32_t> keys = {10, 20, 20, 20, 35, 0x80000000u, 0xFFFFFFFFu};
  const auto records = Records(keys);
  const int count = static_cast<int>(keys.size());
  struct Case {
    std::uint32_t key;
    int expected;
  };
  const Case cases[] = {
      {0, 0},  {10, 0},           {11, 1},           {20, 1}, {21, 4}, {35, 4},
      {36, 5}, {0x80000000u, 5},  {0x80000001u, 6},  {0xFFFFFFFFu, 6},
  };
  for (const Case& c : cases)
    EXPECT_EQ(LowerBoundByKey(records.data(), count, 7, c.key), c.expected) << c.key;

  const auto below = Records({1, 2, 3}, 32);
  EXPECT_EQ(LowerBoundByKey(below.data(), 3, 32, 4), 3);  // every key below: the count
  EXPECT_EQ(LowerBoundByKey(below.data(), 1, 32, 1), 0);
  EXPECT_EQ(LowerBoundByKey(below.data(), 1, 32, 2), 1);
}

TEST(SearchTest, DegenerateArgumentsGiveZero) {
  const auto records = Records({5, 6});
  EXPECT_EQ(LowerBoundByKey(records.data(), 0, 7, 9), 0);
  EXPECT_EQ(LowerBoundByKey(records.data(), -3, 7, 9), 0);
  EXPECT_EQ(LowerBoundByKey(nullptr, 2, 7, 9), 0);
  EXPECT_EQ(LowerBoundByKey(records.data(), 2, 3, 9), 0);
}

}  // namespace
