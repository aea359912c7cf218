// The two view records' defaults read from defui.ini, the navigation list fields at their fixed
// offsets, and the generation-checked navigation list table.
#include "shell/NavList.h"
#include "shell/ViewTypes.h"

#include "ShellSettingsFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<int> Items(const std::uint8_t* items, int count) { return {items, items + count}; }

std::vector<int> Padded(std::vector<int> head, int count) {
  head.resize(static_cast<std::size_t>(count), 0);
  return head;
}

const unsigned char* Bytes(const void* record) { return static_cast<const unsigned char*>(record); }

TEST(ViewRecordsTest, DetailItemsAndPropertyComeFromDefUiIntoBothRecords) {
  struct Case {
    const char* detail;     // null: the key is absent
    const char* property;   // null: the key is absent
    std::vector<int> items;  // the 26 filled slots
    std::uint32_t flags;
  };
  const std::vector<int> builtIn = {31, 30, 29, 28, 27, 17, 18, 19, 20, 21, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  std::vector<int> twentyEight;
  for (int i = 1; i <= 28; ++i) twentyEight.push_back(i);
  std::string twentyEightText;
  for (int i = 1; i <= 28; ++i) twentyEightText += (i > 1 ? "," : "") + std::to_string(i);
  const Case cases[] = {
      {nullptr, nullptr, Padded(builtIn, kDetailItemCount), 0},
      {"1,2,3", "96", Padded({1, 2, 3}, kDetailItemCount), 96},
      // Only 26 numbers are read.
      {twentyEightText.c_str(), "0", Padded(twentyEight, kDetailItemCount), 0},
      // C notation and the low byte of each number; blanks before a number are allowed.
      {"0x10, 010,300,-1", "384", Padded({16, 8, 44, 255}, kDetailItemCount), 384},
      // The scan stops at the first text that is no number, or at a blank before a comma.
      {"5,x,7", nullptr, Padded({5}, kDetailItemCount), 0},
      {"5 ,6", nullptr, Padded({5}, kDetailItemCount), 0},
      {"", nullptr, Padded({}, kDetailItemCount), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail != nullptr ? c.detail : "(absent)");
    shelltest::ShellSettings settings;
    if (c.detail != nullptr) settings.SetUi("DetailItem", c.detail);
    if (c.property != nullptr) settings.SetUi("Property", c.property);

    VIEW_ATTR_12 attr;
    EXPECT_EQ(Items(attr.detailItems, kDetailItemCount), c.items);
    EXPECT_EQ(attr.propertyFlags, c.flags);
    MVCDATA_12 data;
    EXPECT_EQ(Items(data.detailItems, kDetailItemCount), c.items);
    EXPECT_EQ(data.propertyFlags, c.flags);
    // The slots the defaults do not fill hold no stray bytes (the records are saved as they are).
    EXPECT_EQ(Items(attr.detailItems + kDetailItemCount, 32 - kDetailItemCount), Padded({}, 32 - kDetailItemCount));
    EXPECT_EQ(Items(data.detailItems + kDetailItemCount, 32 - kDetailItemCount), Padded({}, 32 - kDetailItemCount));
  }
}

TEST(ViewRecordsTest, AttributeDefaultsAreZeroUpToTheDetailItems) {
  shelltest::ShellSettings settings;
  VIEW_ATTR_12 attr;
  const std::vector<unsigned char> head(Bytes(&attr), Bytes(&attr) + kViewAttrVersion11Size);
  EXPECT_EQ(head, std::vector<unsigned char>(kViewAttrVersion11Size, 0));
  EXPECT_EQ(attr.NavListId(), 0u);
  EXPECT_EQ(attr.NavPosition(), 0);
}

TEST(ViewRecordsTest, ViewDataDefaultsAreZeroWithEmptyListMarkers) {
  shelltest::ShellSettings settings;
  settings.SetUi("DetailItem", "7");
  settings.SetUi("Property", "5");
  MVCDATA_12 data;

  // The expected image, byte by byte at the stored offsets.
  std::vector<unsigned char> expected(sizeof(MVCDATA_12), 0);
  const auto fill = [&expected](std::size_t offset, std::size_t count) {
    std::memset(expected.data() + offset, 0xFF, count);
  };
  fill(offsetof(MVCDATA_12, overlays), 4);   // overlay slot 0: 255, 255, 0xFFFF
  for (std::size_t pane = 0; pane < kMaxPanes; ++pane) {
    fill(offsetof(MVCDATA_12, refLines) + pane * 16 * 16 + 8, 8);   // slot 0's value
    fill(offsetof(MVCDATA_12, paneParams) + pane * 16 * 8, 8);
  }
  for (std::size_t over = 0; over < kMaxOverIndicators; ++over) fill(offsetof(MVCDATA_12, overParams) + over * 16 * 8, 8);
  expected[offsetof(MVCDATA_12, detailItems)] = 7;
  expected[offsetof(MVCDATA_12, propertyFlags)] = 5;

  const std::vector<unsigned char> actual(Bytes(&data), Bytes(&data) + sizeof data);
  for (std::size_t i = 0; i < actual.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "offset " << i;
  EXPECT_EQ(data.overlays[0].market, 255);
  EXPECT_EQ(data.overlays[0].index, 0xFFFF);
}

TEST(ViewRecordsTest, NavigationFieldsLiveInTheLastBlockTabsAsLittleEndianWords) {
  shelltest::ShellSettings settings;
  VIEW_ATTR_12 attr;
  attr.SetNavPosition(-2);
  attr.SetNavListId(0x00030005u);
  const unsigned char* bytes = Bytes(&attr);
  const std::vector<unsigned char> stored(bytes + kNavPositionOffset, bytes + kNavListOffset + 4);
  EXPECT_EQ(stored, (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF, 0x05, 0x00, 0x03, 0x00}));
  EXPECT_EQ(attr.blockTabs[60], 0xFFFE);   // the tab words they overlay
  EXPECT_EQ(attr.blockTabs[62], 0x0005);
  EXPECT_EQ(attr.blockTabs[63], 0x0003);
  // A copy (a history entry, a page record) carries both.
  const VIEW_ATTR_12 copy = attr;
  EXPECT_EQ(copy.NavPosition(), -2);
  EXPECT_EQ(copy.NavListId(), 0x00030005u);
}

// ---- Navigation lists ---------------------------------------------------------------------

// Frees every list a test made, whatever its count, so the next test starts empty.
class NavListTest : public ::testing::Test {
 protected:
  void SetUp() override { base = navlist::LiveCount(); }
  void TearDown() override { EXPECT_EQ(navlist::LiveCount(), base) << "a test left lists alive"; }
  int base = 0;
};

TEST_F(NavListTest, AListLivesWhileItHasHoldersAndCopiesItsInstruments) {
  STKPTR items[3];
  for (int i = 0; i < 3; ++i) items[i].index = static_cast<std::uint16_t>(10 + i);
  const std::uint32_t id = navlist::Create(items, 3);
  ASSERT_NE(id, 0u);
  items[0].index = 99;   // the list holds its own copy
  SharedInstrumentList* list = navlist::Resolve(id);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->items.size(), 3u);
  EXPECT_EQ(list->items[0].index, 10);
  EXPECT_EQ(list->refCount, 0);
  EXPECT_EQ(navlist::LiveCount(), base + 1);

  navlist::AddRef(id);
  navlist::AddRef(id);
  navlist::Release(id);
  EXPECT_EQ(navlist::Resolve(id), list);
  EXPECT_EQ(list->refCount, 1);
  navlist::Release(id);   // the count falls below 1: freed
  EXPECT_EQ(navlist::Resolve(id), nullptr);
  EXPECT_EQ(navlist::LiveCount(), base);
  // Everything on a stale id is harmless.
  navlist::AddRef(id);
  navlist::Release(id);
  EXPECT_EQ(navlist::Resolve(id), nullptr);
}

TEST_F(NavListTest, AListNobodyTookIsFreedByOneRelease) {
  const std::uint32_t id = navlist::Create(nullptr, 0);
  ASSERT_NE(navlist::Resolve(id), nullptr);
  EXPECT_TRUE(navlist::Resolve(id)->items.empty());
  navlist::Release(id);
  EXPECT_EQ(navlist::Resolve(id), nullptr);
}

TEST_F(NavListTest, AStaleIdNeverNamesTheListThatReusedItsSlot) {
  // A record copied into a history keeps the id after its list was freed; the slot's next list
  // must not answer to it, and releasing through the old id must not free the new list.
  std::vector<std::uint32_t> stale;
  for (int round = 0; round < 5; ++round) {
    const std::uint32_t id = navlist::Create(nullptr, 0);
    for (std::uint32_t old : stale) EXPECT_NE(id, old);
    navlist::AddRef(id);
    for (std::uint32_t old : stale) {
      navlist::Release(old);
      EXPECT_EQ(navlist::Resolve(old), nullptr);
    }
    ASSERT_NE(navlist::Resolve(id), nullptr);
    EXPECT_EQ(navlist::Resolve(id)->refCount, 1);
    navlist::Release(id);
    stale.push_back(id);
  }
}

TEST_F(NavListTest, IdsNeverZeroAndUnknownIdsResolveToNothing) {
  std::vector<std::uint32_t> ids;
  for (int i = 0; i < 40; ++i) {
    ids.push_back(navlist::Create(nullptr, 0));
    EXPECT_NE(ids.back(), 0u);
  }
  EXPECT_EQ(navlist::Resolve(0), nullptr);
  EXPECT_EQ(navlist::Resolve(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(navlist::Resolve(ids[5] & 0xFFFFu), nullptr);   // right slot, generation 0
  for (std::uint32_t id : ids) navlist::Release(id);
}

}  // namespace
