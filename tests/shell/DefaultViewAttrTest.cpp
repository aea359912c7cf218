#include "shell/ViewTypes.h"

#include "ShellSettingsFixture.h"
#include "data/MarketData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kMainChart = 2;
constexpr int kOverMain = 1;
constexpr int kSubChart = 0;

// One market "SH" and preset blocks named to probe the SysBlocks walk: an empty block, names
// of 2, 3 and 15 bytes (the 15-byte one from a 16-byte section, which the block file cuts), and
// B01 .. B70 with one member each.
class DefaultViewAttrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    market = settings.AddMarket("SH", "上海", {"600000", "600001", "600002", "600003", "600004"});
    settings.AddBlock("大连商品", {"SH 600001", "SH 600000"});
    settings.AddBlock("郑州商品", {"SH 600002"});
    settings.AddBlock("空板块", {});
    settings.AddBlock("AB", {"SH 600003"});
    settings.AddBlock("ABC", {"SH 600004"});
    settings.AddBlock("ABCDEFGHIJKLMNOP", {"SH 600003"});
    for (int i = 1; i <= 70; ++i) settings.AddBlock(SeriesName(i), {"SH 600000"});
    settings.BuildBlocks();
    ASSERT_NE(ShellSettings::Block("ABCDEFGHIJKLMNO"), nullptr) << "the block file cuts long names";
  }

  static std::string SeriesName(int i) {
    char name[8];
    std::snprintf(name, sizeof name, "B%02d", i);
    return name;
  }
  static std::string SeriesNames(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += (i > 1 ? " " : "") + SeriesName(i);
    return text;
  }

  std::string CodeOf(const STKPTR& stk) const {
    if (stk.market != market || stk.index >= MarketTables[market]->count) return "?";
    return MarketTables[market]->names[stk.index].code;
  }

  using ShellSettings = shelltest::ShellSettings;
  ShellSettings settings;
  int market = 0;
};

std::uint16_t BlockId(const std::string& name) {
  const BlockRecord* block = FindBlockByName(name.c_str());
  EXPECT_NE(block, nullptr) << name;
  return block != nullptr ? block->id : 0xFFFF;
}

TEST_F(DefaultViewAttrTest, EdgeCases) {
  shelltest::ScriptedIndicatorCatalog catalog({{"K", kMainChart}, {"宝塔线", kMainChart}, {"MA", kOverMain},
                                               {"BOLL", kOverMain}, {"VOL", kSubChart}, {"MACD", kSubChart},
                                               {"KDJ", kSubChart}, {"RSI", kSubChart}, {"OBV", kSubChart},
                                               {"WR", kSubChart}, {"CCI", kSubChart}});
  shelltest::ScopedIndicatorCatalog installed(&catalog);

  std::vector<std::string> firstSixtyFour;
  for (int i = 1; i <= 64; ++i) firstSixtyFour.push_back(SeriesName(i));

  struct Case {
    const char* what;
    int kind;
    std::string sysBlocks;                                    // "-": key absent (built-in default)
    std::vector<std::pair<const char*, const char*>> ui;      // [UI] keys of defui.ini
    int result;
    const char* instrument;          // code of the default instrument; null: none found
    const char* currentBlock;        // its block
    std::vector<std::string> tabs;   // quote list / ranking: the tabs by block name
    std::vector<std::string> panes;  // K-line: pane indicators
  };
  const Case cases[] = {
      {"a missing first name: the next block with members", VIEW_REPORT, "上海期货 大连商品", {}, 1,
       "600001", "大连商品", {"大连商品"}, {}},
      {"2- and 16-byte names are never looked up", VIEW_REPORT, "AB ABCDEFGHIJKLMNOP 郑州商品", {}, 1,
       "600002", "郑州商品", {"郑州商品"}, {}},
      {"3- and 15-byte names are", VIEW_REPORT, "ABC ABCDEFGHIJKLMNO", {}, 1, "600004", "ABC",
       {"ABC", "ABCDEFGHIJKLMNO"}, {}},
      {"a block without members is a tab but gives no instrument", VIEW_REPORT, "空板块  郑州商品", {}, 1,
       "600002", "郑州商品", {"空板块", "郑州商品"}, {}},
      {"70 names that all exist: 64 tabs", VIEW_REPORT, SeriesNames(70), {}, 1, "600000", "B01",
       firstSixtyFour, {}},
      {"SysBlocks absent: the built-in list", VIEW_REPORT, "-", {}, 1, "600001", "大连商品",
       {"大连商品", "郑州商品"}, {}},
      {"no block found: one tab on block 0, no instrument", VIEW_REPORT, "上海期货 LME", {}, 1, nullptr, nullptr,
       {}, {}},
      {"MainGraph whose first name is a sub-chart indicator", VIEW_KLINE, "大连商品",
       {{"MainGraph", "VOL,MA"}, {"SubGraph", "MACD"}}, 1, "600001", "大连商品", {}, {"K", "MACD"}},
      {"MainGraph drawn over the main chart, SubGraph absent", VIEW_KLINE, "大连商品",
       {{"MainGraph", " boll ,K"}}, 1, "600001", "大连商品", {}, {"K", "VOL", "MACD"}},
      {"MainGraph of another main-chart indicator, trimmed; unknown and wrong sub-charts skipped",
       VIEW_KLINE, "大连商品", {{"MainGraph", "  宝塔线  ,MA"}, {"SubGraph", "NOPE,,MA, kdj ,K,RSI"}}, 1,
       "600001", "大连商品", {}, {"宝塔线", "kdj", "RSI"}},
      {"MainGraph empty or unknown", VIEW_KLINE, "大连商品", {{"MainGraph", ",MA"}, {"SubGraph", ""}}, 1,
       "600001", "大连商品", {}, {"K"}},
      {"SubGraph with seven valid names: panes 1 to 5", VIEW_KLINE, "大连商品",
       {{"SubGraph", "VOL,MACD,KDJ,RSI,OBV,WR,CCI"}}, 1, "600001", "大连商品", {},
       {"K", "VOL", "MACD", "KDJ", "RSI", "OBV"}},
      {"ranking", VIEW_INTESORT, "郑州商品", {}, 1, "600002", "郑州商品", {}, {}},
      {"trend", VIEW_TREND, "郑州商品", {}, 1, "600002", "郑州商品", {}, {}},
      {"news", VIEW_NEWS, "郑州商品", {}, 1, "600002", "郑州商品", {}, {}},
      {"company information", VIEW_F10, "郑州商品", {}, 1, "600002", "郑州商品", {}, {}},
      {"notes", VIEW_NOTE, "郑州商品", {}, 1, "600002", "郑州商品", {}, {}},
      {"kind 8194: only the fields every kind shares", 8194, "郑州商品", {{"Property", "517"}, {"DetailItem", "1,2,0,3"}},
       0, "600002", "郑州商品", {}, {}},
      {"empty cell kind", VIEW_NONE, "郑州商品", {}, 0, "600002", "郑州商品", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings.SetSysBlocks(c.sysBlocks == "-" ? nullptr : c.sysBlocks.c_str());
    for (const char* key : {"MainGraph", "SubGraph", "Property", "DetailItem", "DefCycle"}) settings.SetUi(key, nullptr);
    for (const auto& [key, value] : c.ui) settings.SetUi(key, value);

    VIEW_ATTR_12 attr;
    std::memset(static_cast<void*>(&attr), 0xA5, sizeof attr);   // every byte must be written
    ASSERT_EQ(DefaultViewAttr(c.kind, &attr), c.result);
    EXPECT_EQ(attr.kind, c.kind);

    // The record as the case expects it, zero everywhere else.
    VIEW_ATTR_12 expected;
    std::memset(static_cast<void*>(&expected), 0, sizeof expected);
    expected.kind = static_cast<ViewKind>(c.kind);
    if (c.instrument != nullptr) {
      EXPECT_EQ(CodeOf(attr.instrument), c.instrument);
      expected.instrument = attr.instrument;
      expected.currentBlock = BlockId(c.currentBlock);
    }
    ReadDefaultDetailItems(expected.detailItems);
    expected.propertyFlags = ReadDefaultPropertyFlags();

    if (c.kind == VIEW_REPORT) {
      expected.fontStep = 1;
      expected.topRowOrN = -1;
      expected.columnCount = 16;
      const std::uint8_t columns[] = {0, 1, 6, 24, 25, 26, 28, 29, 7, 10, 8, 30, 3, 4, 5, 11};
      std::memcpy(expected.columnIds, columns, sizeof columns);
      expected.blockTabCount = c.tabs.empty() ? 1 : static_cast<std::uint32_t>(c.tabs.size());
      for (std::size_t i = 0; i < c.tabs.size(); ++i) expected.blockTabs[i] = BlockId(c.tabs[i]);
      EXPECT_EQ(attr.blockTabCount, expected.blockTabCount);
    } else if (c.kind == VIEW_INTESORT) {
      expected.blockTabCount = 1;
      expected.blockTabs[0] = 11;
    } else if (c.kind == VIEW_KLINE) {
      expected.paneCount = static_cast<std::uint32_t>(c.panes.size());
      for (std::size_t i = 0; i < c.panes.size(); ++i) {
        std::snprintf(expected.paneIndicators[i], sizeof expected.paneIndicators[i], "%s", c.panes[i].c_str());
        EXPECT_STREQ(attr.paneIndicators[i], c.panes[i].c_str()) << "pane " << i;
      }
      EXPECT_EQ(attr.paneCount, expected.paneCount);
      expected.cycle = 8;
      expected.topRowOrN = 1;
    }
    EXPECT_EQ(std::memcmp(&attr, &expected, sizeof attr), 0) << "a byte differs from the expected record";
  }
}

TEST_F(DefaultViewAttrTest, CommonFieldsFromTheUserDefaults) {
  settings.SetSysBlocks("郑州商品");
  settings.SetUi("Property", "517");
  settings.SetUi("DetailItem", "1,2,0,3");
  settings.SetUi("DefCycle", "265");   // only the low 8 bits are a cycle
  VIEW_ATTR_12 attr;
  ASSERT_EQ(DefaultViewAttr(VIEW_KLINE, &attr), 1);
  EXPECT_EQ(attr.propertyFlags, 517u);
  const std::uint8_t items[32] = {1, 2, 0, 3};
  EXPECT_EQ(std::memcmp(attr.detailItems, items, sizeof items), 0);
  EXPECT_EQ(attr.cycle, 9);
  EXPECT_EQ(DefaultViewAttr(VIEW_KLINE, nullptr), 0) << "no record to fill";
}

TEST_F(DefaultViewAttrTest, KLineDefaultsFromTheBuiltInIndicators) {
  settings.SetSysBlocks("大连商品");
  VIEW_ATTR_12 attr;
  ASSERT_EQ(DefaultViewAttr(VIEW_KLINE, &attr), 1);
  EXPECT_EQ(attr.paneCount, 3u);
  EXPECT_STREQ(attr.paneIndicators[0], "K");
  EXPECT_STREQ(attr.paneIndicators[1], "VOL");
  EXPECT_STREQ(attr.paneIndicators[2], "MACD");
  EXPECT_EQ(attr.cycle, 8);
  EXPECT_EQ(attr.topRowOrN, 1);
}

}  // namespace
