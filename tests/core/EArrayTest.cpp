#include "core/EArray.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

std::vector<int> Contents(const EArray<int>& array) {
  std::vector<int> out;
  for (int i = 0; i < array.GetSize(); ++i) out.push_back(array.GetAt(i));
  return out;
}

void FillWithIndices(EArray<int>& array, int n) {
  for (int i = 0; i < n; ++i) ASSERT_EQ(array.Add(i), i);
}

// A record whose copies are marked, to show which operations copy through the element's own
// copy operations (as a record holding an instrument reference needs).
struct MarkedRecord {
  int value = 0;
  int copies = 0;
  MarkedRecord() = default;
  explicit MarkedRecord(int v) : value(v) {}
  MarkedRecord(const MarkedRecord& other) : value(other.value), copies(other.copies + 1) {}
  MarkedRecord& operator=(const MarkedRecord& other) {
    value = other.value;
    copies = other.copies + 1;
    return *this;
  }
};

// 1 MB records: an array of a few thousand exceeds the 32-bit size the allocator takes.
using HugeRecord = std::array<std::uint8_t, 1u << 20>;
const HugeRecord kHuge{};

TEST(EArrayTest, CapacityDoublesFromTheGrowStep) {
  EArray<int> array(4);
  EXPECT_EQ(array.GetCapacity(), 4);
  std::vector<int> capacities;
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(array.Add(i * 10), i);
    capacities.push_back(array.GetCapacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 4, 4, 4, 8, 8, 8, 8, 16}));
  EXPECT_EQ(array.GetGrowBy(), 16);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(array.GetAt(i), i * 10);
}

TEST(EArrayTest, NonPositiveGrowStepStartsWith128) {
  EArray<int> zero(0);
  EArray<int> negative(-5);
  EXPECT_EQ(zero.GetCapacity(), 128);
  EXPECT_EQ(negative.GetCapacity(), 128);
  EXPECT_EQ(zero.GetSize(), 0);
}

TEST(EArrayTest, RemoveAtMovesTheRestDownOrCutsTheArray) {
  struct Case {
    int index, count;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {2, 3, {0, 1, 5, 6, 7, 8, 9}},
      {8, 5, {0, 1, 2, 3, 4, 5, 6, 7}},
      {7, 3, {0, 1, 2, 3, 4, 5, 6}},
      {0, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {10, 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {3, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {-1, 2, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {4, -3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {5, 0x7FFFFFFF, {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    EArray<int> array(16);
    FillWithIndices(array, 10);
    array.RemoveAt(c.index, c.count);
    EXPECT_EQ(Contents(array), c.expected) << "RemoveAt(" << c.index << ", " << c.count << ")";
  }
}

TEST(EArrayTest, SetSizeGrowsToSizePlusStepWithZeroedElements) {
  EArray<int> array(20);
  FillWithIndices(array, 5);
  EXPECT_EQ(array.SetSize(50), 50);
  EXPECT_EQ(array.GetCapacity(), 70);
  EXPECT_EQ(array.GetGrowBy(), 20);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(array.GetAt(i), i);
  for (int i = 5; i < 50; ++i) EXPECT_EQ(array.GetAt(i), 0) << i;

  // Shrinking keeps the storage; growing again within it must not bring back old records.
  EXPECT_EQ(array.SetSize(2), 2);
  EXPECT_EQ(array.SetSize(6), 6);
  EXPECT_EQ(Contents(array), (std::vector<int>{0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(array.SetSize(-3), 0);
}

TEST(EArrayTest, RemoveAllKeepsTheStorage) {
  EArray<int> array(8);
  FillWithIndices(array, 8);
  const int* storage = array.GetData();
  array.RemoveAll();
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(array.GetCapacity(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(array.Add(100 + i), i);
  EXPECT_EQ(array.GetData(), storage);
}

TEST(EArrayTest, FailedGrowthIsReportedAndChangesNothing) {
  EArray<HugeRecord> array(5000);  // 5 GB: refused at construction
  EXPECT_EQ(array.GetCapacity(), 0);
  EXPECT_EQ(array.GetData(), nullptr);
  EXPECT_EQ(array.Add(kHuge), -1);
  EXPECT_EQ(array.InsertAt(0, kHuge), -1);
  EXPECT_EQ(array.GetSize(), 0);
  EXPECT_EQ(array.SetSize(10), 0);  // settles for the capacity it has

  EArray<std::array<std::uint8_t, 1024>> small(4);
  EXPECT_EQ(small.SetSize(3), 3);
  EXPECT_EQ(small.SetSize(0x7FFFFFF0), 4);  // too large: the current capacity
}

TEST(EArrayTest, InsertAtPlacesBeforeIndexAndRejectsIndicesBeyondTheEnd) {
  EArray<int> array(3);
  FillWithIndices(array, 3);
  EXPECT_EQ(array.InsertAt(1, 7), 1);  // grows
  EXPECT_EQ(array.InsertAt(0, 8), 0);
  EXPECT_EQ(array.InsertAt(5, 9), 5);  // at the end: appends
  EXPECT_EQ(array.InsertAt(7, 1), -1);
  EXPECT_EQ(array.InsertAt(-1, 1), -1);
  EXPECT_EQ(Contents(array), (std::vector<int>{8, 0, 7, 1, 2, 9}));
}

TEST(EArrayTest, AddingAnElementOfTheArrayItselfIsSafeWhileGrowing) {
  EArray<int> array(2);
  FillWithIndices(array, 2);
  EXPECT_EQ(array.Add(array[0]), 2);        // growth frees the storage the element lives in
  EXPECT_EQ(array.InsertAt(0, array[2]), 0);  // room left: the element moves up first
  EXPECT_EQ(Contents(array), (std::vector<int>{0, 0, 1, 0}));
}

TEST(EArrayTest, CheckedAccessIgnoresIndicesOutsideTheCount) {
  EArray<int> array(4);
  FillWithIndices(array, 3);
  int out = -1;
  EXPECT_FALSE(array.GetAt(3, out));
  EXPECT_FALSE(array.GetAt(-1, out));
  EXPECT_EQ(out, -1);
  EXPECT_FALSE(array.SetAt(3, 42));
  EXPECT_TRUE(array.SetAt(2, 42));
  EXPECT_TRUE(array.GetAt(2, out));
  EXPECT_EQ(out, 42);
  EXPECT_EQ(Contents(array), (std::vector<int>{0, 1, 42}));
}

TEST(EArrayTest, ElementsAreCopiedThroughTheirCopyOperations) {
  EArray<MarkedRecord> array(1);
  MarkedRecord original(5);
  array.Add(original);
  array.Add(original);  // grows: the stored records are relocated, not copied again
  EXPECT_EQ(array[0].copies, 1);
  EXPECT_EQ(array[1].copies, 1);
  EXPECT_EQ(array.GetAt(0).copies, 2);
  array.SetAt(1, original);
  EXPECT_EQ(array[1].copies, 1);
  array.InsertAt(0, original);
  EXPECT_EQ(array[0].copies, 1);
  EXPECT_EQ(array[1].value, 5);

  // With room left, an element of the array itself inserted before its own place is copied
  // once from where the move left it.
  ASSERT_EQ(array.GetCapacity(), 4);
  array.SetAt(2, MarkedRecord(9));
  ASSERT_EQ(array.InsertAt(1, array[2]), 1);
  EXPECT_EQ(array[1].value, 9);
  EXPECT_EQ(array[1].copies, array[3].copies + 1);
  EXPECT_EQ(array[3].value, 9);
}

}  // namespace
