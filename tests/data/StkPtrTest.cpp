#include "data/StkPtr.h"

#include "MarketTestUtil.h"
#include "data/MarketData.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using markettest::MakeInstrument;
using markettest::MakeRecord;
using markettest::ScopedMarkets;

class StkPtrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Market 0: three instruments in categories 2, 0, 1 of three categories. Market 1 stays
    // empty (a null slot below MarketCount); market 2 has a table without names.
    markets.Add(0, MakeRecord("SH", 1, 8, 3),
                {MakeInstrument("600100", 2), MakeInstrument("600200", 0), MakeInstrument("000001", 1)});
    markets.Add(2, MakeRecord("QH", 2, 8, 4), {});
    ASSERT_EQ(MarketCount, 3);
  }

  testsupport::TempInstall install;
  ScopedMarkets markets;
};

TEST_F(StkPtrTest, CategoryIsDerivedFromTheTablesWhateverTheCallerSays) {
  struct Case {
    unsigned char market;
    unsigned short index;
    unsigned char expected;
  } cases[] = {
      {0, 0, 2},              // the instrument's own category
      {0, 1, 0},
      {0, 2, 1},
      {0, 3, 2},              // index == count: the market's last category
      {0, 500, 2},            // far beyond the table
      {0, 0xFFFF, 255},       // no instrument, whatever the market
      {2, 0, 3},              // a market without names: its last category
      {1, 0, 255},            // empty slot below MarketCount
      {3, 0, 255},            // market not below MarketCount
      {47, 0, 255},
      {255, 0xFFFF, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "market " << int(c.market) << " index " << c.index);
    const STKPTR built(c.market, 77, c.index);
    EXPECT_EQ(built.market, c.market);
    EXPECT_EQ(+built.index, c.index);
    EXPECT_EQ(built.category, c.expected);
    EXPECT_EQ(DeriveCategory(c.market, c.index), c.expected);
  }
}

TEST_F(StkPtrTest, CopyAndAssignmentPickUpACategoryChangedByAReload) {
  const STKPTR original(0, 0, 1);
  ASSERT_EQ(original.category, 0);
  MarketTables[0]->names[1].category = 2;   // the name table was reloaded

  const STKPTR copied(original);
  EXPECT_EQ(copied.category, 2);
  STKPTR assigned;
  assigned = original;
  EXPECT_EQ(assigned.category, 2);
  EXPECT_EQ(assigned.market, 0);
  EXPECT_EQ(+assigned.index, 1);

  // The market disappears: copies of a reference into it get 255 and do not touch the table.
  ScopedMarkets::Clear();
  const STKPTR orphan(original);
  EXPECT_EQ(orphan.category, 255);
}

TEST_F(StkPtrTest, DefaultNamesNoInstrumentAndEqualityIgnoresTheCategory) {
  const STKPTR none;
  EXPECT_EQ(StkPtrToWord(none), 0xFFFFFFFFu);
  EXPECT_TRUE(IsNoInstrument(none));

  STKPTR a(0, 0, 1);
  STKPTR b(0, 0, 1);
  b.category = 9;   // a stale category byte
  EXPECT_EQ(a, b);
  EXPECT_NE(a, STKPTR(0, 0, 2));
  EXPECT_NE(a, STKPTR(2, 0, 1));
}

TEST_F(StkPtrTest, WordLayoutAndRecordsLaidOutLikeAReference) {
  const STKPTR stk(0, 0, 2);
  EXPECT_EQ(StkPtrToWord(stk), 0x00020100u);   // market 0, category 1, index 2

  // A word from a message whose category byte is stale gets the current category.
  const STKPTR fromWord = StkPtrFromWord(0x0000FF00u | (1u << 16));
  EXPECT_EQ(+fromWord.index, 1);
  EXPECT_EQ(fromWord.category, 0);

  // A 12-byte block member: market, category, index, then other fields.
  unsigned char member[12] = {0, 99, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0};
  const std::uint16_t index = 2;
  std::memcpy(member + 2, &index, 2);
  const STKPTR fromMember = StkPtrFromRecord(member);
  EXPECT_EQ(fromMember.market, 0);
  EXPECT_EQ(+fromMember.index, 2);
  EXPECT_EQ(fromMember.category, 1);

  const STKMS key = StkPtrToStkms(stk);
  EXPECT_EQ(key.market, 0);
  EXPECT_EQ(+key.index, 2);
  EXPECT_EQ(StkmsToStkPtr(key).category, 1);
}

}  // namespace
