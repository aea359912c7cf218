// Page files: reading every version with its migrations, refusing broken files without
// touching them, writing version 12 whole and safely, and LASTPAGE.DAT.
#include "shell/PageFile.h"

#include "PageFileWriter.h"
#include "ShellSettingsFixture.h"

#include "platform/FileFaults.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/ModalDialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace zuvo::platform;
using namespace pagetest;
namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t kStoredDetail = 9;
constexpr std::uint32_t kStoredProperty = 77;

// The file in a folder whose name matches without regard to case ("<missing>" when none).
std::string OnDisk(const fs::path& dir, const std::string& name) {
  if (!fs::exists(dir)) return "<missing>";
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (gbk::EqualsNoCase(entry.path().filename().string(), name)) return testsupport::ReadBytes(entry.path());
  }
  return "<missing>";
}

std::string StkBytes(const STKPTR& stk) { return std::string(reinterpret_cast<const char*>(&stk), 4); }

class PageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sh = settings.AddMarket("SH", "上海", {"600000", "600001", "600002"});
    sz = settings.AddMarket("SZ", "深圳", {"000001", "000002"});
    settings.AddBlock("自选", {"SH 600001"});
    settings.AddBlock("金融", {"SZ 000001"});
    settings.BuildBlocks();
    settings.SetUi("DetailItem", "5,6,7");
    settings.SetUi("Property", "256");
    ASSERT_NE(shelltest::ShellSettings::Block("自选"), nullptr);
    mine = shelltest::ShellSettings::Block("自选")->id;
    finance = shelltest::ShellSettings::Block("金融")->id;
  }

  STKPTR Stk(int market, const char* code) {
    const InstrumentRecord* record = FindInstrumentInTable(code, MarketTables[market]);
    EXPECT_NE(record, nullptr) << code;
    STKPTR stk;
    stk.market = static_cast<std::uint8_t>(market);
    stk.category = record->category;
    stk.index = record->index;
    return stk;
  }
  static STKPTR RawStk(std::uint8_t market, std::uint8_t category, std::uint16_t index) {
    STKPTR stk;
    stk.market = market;
    stk.category = category;
    stk.index = index;
    return stk;
  }

  // A record with every count, name and list filled, as a version-12 view would leave it.
  VIEW_ATTR_12 QuoteAttr() {
    VIEW_ATTR_12 a;
    a.kind = VIEW_REPORT;
    a.instrument = Stk(sh, "600001");
    a.columnCount = 3;
    a.columnIds[0] = 1;
    a.columnIds[1] = 6;
    a.columnIds[2] = 11;
    a.sortColumn = 6;
    a.fixedColumns = 1;
    a.blockTabCount = 2;
    a.blockTabs[0] = finance;
    a.blockTabs[1] = 999;
    a.currentBlock = finance;
    a.fontStep = 3;
    a.topRowOrN = 7;
    std::memset(a.detailItems, kStoredDetail, sizeof a.detailItems);
    a.propertyFlags = kStoredProperty;
    return a;
  }
  VIEW_ATTR_12 KlineAttr() {
    VIEW_ATTR_12 a;
    a.kind = VIEW_KLINE;
    a.instrument = Stk(sz, "000001");
    a.paneCount = 3;
    std::snprintf(a.paneIndicators[0], 16, "MA");
    std::snprintf(a.paneIndicators[1], 16, "VOL");
    std::snprintf(a.paneIndicators[2], 16, "MACD");
    a.cycle = 9;
    a.modeFlags = 2;
    a.fontStep = 2;
    a.topRowOrN = 5;
    a.SetNavPosition(4);     // a navigation list in memory: never meant for the file
    a.SetNavListId(0x1234);
    std::memset(a.detailItems, kStoredDetail, sizeof a.detailItems);
    a.propertyFlags = kStoredProperty;
    return a;
  }
  // K-line data: panes, reference lines, parameters, 8 overlays, arbitrage and ratios.
  MVCDATA_12 KlineData(bool withTexts) {
    MVCDATA_12 d;
    d.currentBlock = mine;
    d.klinePaneCount = 3;
    std::snprintf(d.paneIndicators[0], 16, "MA");
    std::snprintf(d.paneIndicators[1], 16, "VOL");
    std::snprintf(d.paneIndicators[2], 16, "MACD");
    std::snprintf(d.overIndicators[0], 16, "BOLL");
    std::snprintf(d.overIndicators[1], 16, "SAR");
    const STKPTR overlays[8] = {Stk(sh, "600000"), Stk(sz, "000001"), Stk(sh, "600002"), Stk(sz, "000002"),
                                Stk(sh, "600001"), Stk(sh, "600000"), Stk(sz, "000002"), Stk(sh, "600002")};
    static const char* const texts[8] = {"SH 600000", "SZ 000001", "SH 600002", "SZ 000002",
                                         "SH 600001", "SH 600000", "SZ 000002", "SH 600002"};
    for (int i = 0; i < 8; ++i) {
      d.overlays[i] = overlays[i];
      if (withTexts) std::snprintf(d.overlayTexts[i], 32, "%s", texts[i]);
    }
    d.arbitrageParam = -3;
    for (int pane = 0; pane < 3; ++pane) {
      for (int slot = 0; slot <= pane + 1; ++slot) {
        const double value = 10.5 * pane + slot;
        std::int32_t decimals = 2;
        std::memcpy(&d.refLines[pane][slot][0], &decimals, 4);
        std::memcpy(&d.refLines[pane][slot][8], &value, 8);
      }
      std::memset(&d.refLines[pane][pane + 2][8], 0xFF, 8);
      for (int k = 0; k < 16; ++k) {
        const double value = pane * 100 + k;
        std::memcpy(&d.paneParams[pane][k][0], &value, 8);
      }
    }
    const double over = 20.0;
    std::memcpy(&d.overParams[0][0][0], &over, 8);
    d.arbitrage = 1;
    d.overlayByte = 3;
    d.linkFlag = 1;
    d.sidePanelShown = 1;
    const float ratios[5] = {0.5f, 0.25f, 0.25f, 0.0f, 0.0f};
    std::memcpy(d.paneRatios, ratios, sizeof ratios);
    std::memset(d.detailItems, kStoredDetail, sizeof d.detailItems);
    d.propertyFlags = kStoredProperty;
    return d;
  }

  std::string WinPath(const char* file) { return std::string("..\\user\\") + file; }
  std::string Disk(const char* file) { return OnDisk(settings.install().user(), file); }
  void Put(const char* file, const std::string& bytes) { testsupport::WriteBytes(settings.install().user() / file, bytes); }

  shelltest::ShellSettings settings;
  int sh = 0, sz = 0;
  std::uint16_t mine = 0, finance = 0;
};

std::unique_ptr<PageModelNode> ModelLeaf(const VIEW_ATTR_12& attr, const MVCDATA_12& data) {
  auto node = std::make_unique<PageModelNode>();
  node->attr = attr;
  node->data = data;
  return node;
}

std::unique_ptr<PageModelNode> ModelSplit(std::unique_ptr<PageModelNode> a, std::unique_ptr<PageModelNode> b,
                                          float ratio) {
  auto node = std::make_unique<PageModelNode>();
  a->side = NODE_TOP;
  a->ratio = ratio;
  b->side = NODE_BOTTOM;
  b->ratio = 1.0f - ratio;
  node->first = std::move(a);
  node->second = std::move(b);
  return node;
}

// ---- Migrations -------------------------------------------------------------------------------

struct MigrationRow {
  int version;
  // quote list
  bool tabsByName;          // false: the stored ids stay
  std::int32_t fontStep, topRow;
  // K-line
  std::int32_t klineFontStep, klineN;
  bool instrumentFromText;
  bool detailStored;        // attributes and view data keep their detail items and flags
  bool overlaysFromTexts;   // else the texts are made from the stored overlays
  bool ratiosStored;
};

TEST_F(PageFileTest, EveryVersionMigratesRowByRow) {
  const MigrationRow rows[] = {
      {5, false, 1, -1, 1, 1, false, false, false, false},
      {7, true, 1, -1, 1, 1, false, false, false, true},
      {8, true, 3, -1, 2, 5, false, false, false, true},
      {9, true, 3, 7, 2, 5, false, false, false, true},
      {10, true, 3, 7, 2, 5, true, false, true, true},
      {11, true, 3, 7, 2, 5, true, false, true, true},
      {12, true, 3, 7, 2, 5, true, true, true, true},
  };
  for (const MigrationRow& row : rows) {
    SCOPED_TRACE("version " + std::to_string(row.version));
    // Quote list: tab names "自选" (exists, other id than stored), "gone" (dropped);
    // instrument text names another instrument than the stored one.
    VIEW_ATTR_12 quote = QuoteAttr();
    MVCDATA_12 quoteData;
    quoteData.blockTabCount = 5;   // replaced by the attribute's tabs
    std::memset(quoteData.detailItems, kStoredDetail, sizeof quoteData.detailItems);
    quoteData.propertyFlags = kStoredProperty;
    // K-line: stored overlays 600000, 000001, a stale one, 600002; texts name others (v10+).
    VIEW_ATTR_12 kline = KlineAttr();
    MVCDATA_12 klineData = KlineData(false);
    klineData.overlays[2] = RawStk(0, 0, 99);
    klineData.overlays[4] = RawStk(0xFF, 0xFF, 0xFFFF);
    std::snprintf(klineData.overlayTexts[0], 32, "SH 600002");
    std::snprintf(klineData.overlayTexts[1], 32, "SZ 000001");
    std::snprintf(klineData.overlayTexts[2], 32, "XX 1");   // no such market: ends the list
    std::snprintf(klineData.overlayTexts[3], 32, "SZ 000002");
    const STKPTR storedOverlays[8] = {klineData.overlays[0], klineData.overlays[1], klineData.overlays[2],
                                      klineData.overlays[3], klineData.overlays[4], klineData.overlays[5],
                                      klineData.overlays[6], klineData.overlays[7]};
    auto top = Split(Leaf(AttrRecord(row.version, quote, {"自选", "gone"}, "SZ 000002"), DataRecord(row.version, quoteData)),
                     Leaf(AttrRecord(row.version, kline, {}, "SH 600002"), DataRecord(row.version, klineData)), true,
                     0.4f);
    Put("zvpage1.ppg", PageFileBytes(row.version, *top, "旧页面"));

    PageModel model;
    ASSERT_EQ(LoadPageFile(WinPath("zvpage1.ppg"), model), PageLoadResult::kLoaded);
    EXPECT_EQ(model.version, row.version);
    EXPECT_STREQ(model.name, "旧页面");
    ASSERT_TRUE(model.top && model.top->first && model.top->second);
    EXPECT_FLOAT_EQ(model.top->first->ratio, 0.4f);
    EXPECT_EQ(model.top->second->side, NODE_RIGHT);
    const PageModelNode& q = *model.top->first;
    const PageModelNode& k = *model.top->second;

    ASSERT_EQ(q.attr.kind, VIEW_REPORT);
    if (row.tabsByName) {
      EXPECT_EQ(q.attr.blockTabCount, 1u);
      EXPECT_EQ(q.attr.blockTabs[0], mine);
    } else {
      EXPECT_EQ(q.attr.blockTabCount, 2u);
      EXPECT_EQ(q.attr.blockTabs[0], finance);
      EXPECT_EQ(q.attr.blockTabs[1], 999);
    }
    EXPECT_EQ(q.data.blockTabCount, q.attr.blockTabCount) << "a quote list's view data takes the attribute's tabs";
    EXPECT_EQ(static_cast<std::uint16_t>(q.data.blockTabs[0]), q.attr.blockTabs[0]);
    EXPECT_EQ(q.attr.fontStep, row.fontStep);
    EXPECT_EQ(q.attr.topRowOrN, row.topRow);
    EXPECT_EQ(q.attr.columnCount, 3u);
    EXPECT_EQ(q.attr.columnIds[2], 11);
    EXPECT_EQ(q.attr.currentBlock, finance);
    EXPECT_EQ(StkBytes(q.attr.instrument), StkBytes(row.instrumentFromText ? Stk(sz, "000002") : Stk(sh, "600001")));

    ASSERT_EQ(k.attr.kind, VIEW_KLINE);
    EXPECT_EQ(k.attr.fontStep, row.klineFontStep);
    EXPECT_EQ(k.attr.topRowOrN, row.klineN);
    EXPECT_EQ(k.attr.paneCount, 3u);
    EXPECT_STREQ(k.attr.paneIndicators[2], "MACD");
    EXPECT_EQ(k.attr.cycle, 9);
    EXPECT_EQ(k.attr.modeFlags, 2u);
    EXPECT_EQ(k.attr.NavListId(), 0u) << "no navigation list comes from a file";
    EXPECT_EQ(k.attr.NavPosition(), 0);
    EXPECT_EQ(StkBytes(k.attr.instrument), StkBytes(row.instrumentFromText ? Stk(sh, "600002") : Stk(sz, "000001")));

    const std::uint8_t defaultDetail[4] = {5, 6, 7, 0};
    for (const PageModelNode* node : {&q, &k}) {
      if (row.detailStored) {
        EXPECT_EQ(node->attr.detailItems[0], kStoredDetail);
        EXPECT_EQ(node->attr.propertyFlags, kStoredProperty);
        EXPECT_EQ(node->data.detailItems[25], kStoredDetail);
        EXPECT_EQ(node->data.propertyFlags, kStoredProperty);
      } else {
        EXPECT_EQ(0, std::memcmp(node->attr.detailItems, defaultDetail, 4));
        EXPECT_EQ(node->attr.propertyFlags, 256u);
        EXPECT_EQ(0, std::memcmp(node->data.detailItems, defaultDetail, 4));
        EXPECT_EQ(node->data.propertyFlags, 256u);
      }
    }

    // Overlays.
    if (row.overlaysFromTexts) {
      EXPECT_EQ(StkBytes(k.data.overlays[0]), StkBytes(Stk(sh, "600002")));
      EXPECT_EQ(StkBytes(k.data.overlays[1]), StkBytes(Stk(sz, "000001")));
      EXPECT_EQ(StkBytes(k.data.overlays[2]), std::string(4, '\xFF')) << "the first unresolved text ends the list";
      EXPECT_EQ(StkBytes(k.data.overlays[3]), StkBytes(storedOverlays[3])) << "slots after the end stay";
    } else {
      for (int i = 0; i < 5; ++i) EXPECT_EQ(StkBytes(k.data.overlays[i]), StkBytes(storedOverlays[i])) << i;
      EXPECT_STREQ(k.data.overlayTexts[0], "SH 600000");
      EXPECT_STREQ(k.data.overlayTexts[1], "SZ 000001");
      EXPECT_STREQ(k.data.overlayTexts[2], "") << "an unresolved overlay leaves its text empty";
      EXPECT_STREQ(k.data.overlayTexts[3], "SZ 000002") << "and the next one is still converted";
      EXPECT_STREQ(k.data.overlayTexts[4], "");
    }
    EXPECT_EQ(k.data.klinePaneCount, 3u);
    EXPECT_STREQ(k.data.overIndicators[1], "SAR");
    EXPECT_EQ(k.data.arbitrageParam, -3);
    EXPECT_EQ(0, std::memcmp(k.data.refLines, klineData.refLines, sizeof k.data.refLines));
    EXPECT_EQ(0, std::memcmp(k.data.paneParams, klineData.paneParams, sizeof k.data.paneParams));
    EXPECT_EQ(0, std::memcmp(k.data.overParams, klineData.overParams, sizeof k.data.overParams));
    EXPECT_EQ(k.data.arbitrage, 1);
    EXPECT_EQ(k.data.overlayByte, 3);
    EXPECT_EQ(k.data.linkFlag, 1);
    EXPECT_EQ(k.data.sidePanelShown, 1);
    EXPECT_FLOAT_EQ(k.data.paneRatios[0], row.ratiosStored ? 0.5f : 0.0f);
    EXPECT_EQ(Disk("zvpage1.ppg"), PageFileBytes(row.version, *top, "旧页面")) << "reading changes nothing";
  }
}

TEST_F(PageFileTest, TabNamesThatNoLongerExistLeaveTheSingleTabOfBlockZero) {
  for (int version : {7, 8, 9, 10, 11, 12}) {
    SCOPED_TRACE(version);
    VIEW_ATTR_12 quote = QuoteAttr();
    Put("zvpage2.ppg", PageFileBytes(version, *Leaf(AttrRecord(version, quote, {"旧板块", "gone"}), DataRecord(version, MVCDATA_12()))));
    PageModel model;
    ASSERT_EQ(LoadPageFile(WinPath("zvpage2.ppg"), model), PageLoadResult::kLoaded);
    EXPECT_EQ(model.top->attr.blockTabCount, 1u);
    EXPECT_EQ(model.top->attr.blockTabs[0], 0);
    EXPECT_EQ(model.top->attr.blockTabs[1], 0);
  }
  // Other kinds keep their stored ids.
  VIEW_ATTR_12 news;
  news.kind = VIEW_NEWS;
  news.blockTabCount = 1;
  news.blockTabs[0] = 42;
  Put("zvpage2.ppg", PageFileBytes(9, *Leaf(AttrRecord(9, news, {"gone"}), DataRecord(9, MVCDATA_12()))));
  PageModel model;
  ASSERT_EQ(LoadPageFile(WinPath("zvpage2.ppg"), model), PageLoadResult::kLoaded);
  EXPECT_EQ(model.top->attr.blockTabs[0], 42);
}

TEST_F(PageFileTest, AnInstrumentThatNoLongerResolvesBecomesTheEmptyReference) {
  for (int version : {5, 12}) {
    VIEW_ATTR_12 kline = KlineAttr();
    kline.instrument = RawStk(static_cast<std::uint8_t>(sz), 0, 40);   // beyond the table
    Put("zvpage2.ppg", PageFileBytes(version, *Leaf(AttrRecord(version, kline, {}, "SZ 999999"), DataRecord(version, MVCDATA_12()))));
    PageModel model;
    ASSERT_EQ(LoadPageFile(WinPath("zvpage2.ppg"), model), PageLoadResult::kLoaded);
    EXPECT_EQ(StkBytes(model.top->attr.instrument), std::string(4, '\0')) << version;
  }
}

TEST_F(PageFileTest, CountsBeyondTheRecordsSlotsAreCut) {
  // Tab count 1000 over 64 names, every count past its slots: the page reads, cut to the slots.
  VIEW_ATTR_12 quote = QuoteAttr();
  quote.blockTabCount = 1000;
  quote.columnCount = 1000;
  quote.paneCount = 1000;
  std::vector<std::string> names(64, "金融");
  names[63] = "自选";
  MVCDATA_12 data;
  data.blockTabCount = 1000;
  data.columnCount = 70;
  data.klinePaneCount = 9;
  data.trendPaneCount = 1000;
  VIEW_ATTR_12 trend;
  trend.kind = VIEW_TREND;
  trend.blockTabCount = 1000;
  auto top = Split(Leaf(AttrRecord(12, quote, names), DataRecord(12, data)),
                   Leaf(AttrRecord(12, trend), DataRecord(12, data)), false, 0.5f);
  const std::string bytes = PageFileBytes(12, *top);
  Put("zvpage2.ppg", bytes);
  PageModel model;
  ASSERT_EQ(LoadPageFile(WinPath("zvpage2.ppg"), model), PageLoadResult::kLoaded);
  const PageModelNode& q = *model.top->first;
  EXPECT_EQ(q.attr.blockTabCount, 64u);
  EXPECT_EQ(q.attr.blockTabs[63], mine);
  EXPECT_EQ(q.attr.columnCount, 64u);
  EXPECT_EQ(q.attr.paneCount, 6u);
  EXPECT_EQ(q.data.blockTabCount, 64u);
  const PageModelNode& t = *model.top->second;
  EXPECT_EQ(t.attr.blockTabCount, 64u);
  EXPECT_EQ(t.data.columnCount, 64u);
  EXPECT_EQ(t.data.klinePaneCount, 6u);
  EXPECT_EQ(t.data.trendPaneCount, 6u);
  EXPECT_EQ(Disk("zvpage2.ppg"), bytes);
  // A narrow record keeps at most its 16 tabs.
  Put("zvpage2.ppg", PageFileBytes(5, *Leaf(AttrRecord(5, quote), DataRecord(5, data))));
  ASSERT_EQ(LoadPageFile(WinPath("zvpage2.ppg"), model), PageLoadResult::kLoaded);
  EXPECT_EQ(model.top->attr.blockTabCount, 16u);
  EXPECT_EQ(model.top->data.blockTabCount, 16u);
}

// ---- Refused files ----------------------------------------------------------------------------

TEST_F(PageFileTest, BrokenFilesAreRefusedWholeAndLeftOnDisk) {
  VIEW_ATTR_12 quote = QuoteAttr();
  const std::string leafA = AttrRecord(12, quote) + DataRecord(12, MVCDATA_12());
  auto top = Split(Leaf(AttrRecord(12, quote), DataRecord(12, MVCDATA_12())),
                   Split(Leaf(AttrRecord(12, quote), DataRecord(12, MVCDATA_12())),
                         Leaf(AttrRecord(12, quote), DataRecord(12, MVCDATA_12())), true, 0.5f),
                   false, 0.5f);
  const std::string good = PageFileBytes(12, *top);
  // Positions in `good`: top split at body 0, its first child (a leaf) at 20, its second child
  // (a split) after that leaf.
  const std::size_t body = kPageHeaderSize;
  const std::size_t innerSplit = 20 + 20 + leafA.size();
  auto patch32 = [&](std::size_t at, std::int32_t value) {
    std::string bytes = good;
    std::memcpy(bytes.data() + at, &value, 4);
    return bytes;
  };
  auto patchFloat = [&](std::size_t at, float value) {
    std::string bytes = good;
    std::memcpy(bytes.data() + at, &value, 4);
    return bytes;
  };
  std::string deep;   // 70 nested splits
  {
    auto node = Leaf(AttrRecord(12, quote), DataRecord(12, MVCDATA_12()));
    for (int i = 0; i < 70; ++i) node = Split(std::move(node), Leaf(AttrRecord(12, quote), DataRecord(12, MVCDATA_12())), i % 2 == 0, 0.5f);
    deep = PageFileBytes(12, *node);
  }
  std::string shortBody = PageFileBytes(12, std::string(10, '\0'));
  std::string headerOnly = PageFileBytes(12, std::string());
  std::string version6 = good;
  std::memcpy(version6.data(), "zvpage06", 8);
  std::string tooLong = good + "x";
  std::string tooShort = good.substr(0, good.size() - 1);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"76 bytes", headerOnly},
      {"size above L + 76", tooLong},
      {"size below L + 76", tooShort},
      {"zvpage06", version6},
      {"unknown magic", "ZVPAGE12" + good.substr(8)},
      {"L = 10", shortBody},
      {"first offset beyond L", patch32(body + 0, static_cast<std::int32_t>(good.size()))},
      {"second offset beyond L", patch32(body + 4, static_cast<std::int32_t>(good.size() - body - 10))},
      {"negative offset", patch32(body + 4, -20)},
      {"a child pointing back to an earlier record", patch32(body + innerSplit + 4, 20)},
      {"a cycle to the parent", patch32(body + innerSplit + 0, static_cast<std::int32_t>(innerSplit))},
      {"second child overlapping the first", patch32(body + 4, 20)},
      {"split with one child", patch32(body + innerSplit + 4, 0)},
      {"leaf flag 2", patch32(body + 8, 2)},
      {"side 5", patch32(body + 20 + 12, 5)},
      {"sides 1 and 3", patch32(body + 20 + 12, NODE_LEFT)},
      {"ratio 0", patchFloat(body + 20 + 16, 0.0f)},
      {"ratio above 1", patchFloat(body + 20 + 16, 1.5f)},
      {"ratio NaN", patchFloat(body + 20 + 16, std::numeric_limits<float>::quiet_NaN())},
      {"leaf records past L", PageFileBytes(12, good.substr(body, 20 + 1432 + 100))},
      {"70 levels", deep},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Put("zvpage5.ppg", c.bytes);
    PageModel model;
    const PageLoadResult result = LoadPageFile(WinPath("zvpage5.ppg"), model);
    EXPECT_TRUE(result == PageLoadResult::kInvalid) << static_cast<int>(result);
    EXPECT_FALSE(model.top);
    EXPECT_EQ(Disk("zvpage5.ppg"), c.bytes) << "never deleted or changed";
  }
  // The untouched file reads.
  Put("zvpage5.ppg", good);
  PageModel model;
  EXPECT_EQ(LoadPageFile(WinPath("zvpage5.ppg"), model), PageLoadResult::kLoaded);
  // A missing file is no page either, and nothing appears.
  EXPECT_EQ(LoadPageFile(WinPath("zvpage9.ppg"), model), PageLoadResult::kNotOpened);
  EXPECT_FALSE(model.top);
  EXPECT_EQ(Disk("zvpage9.ppg"), "<missing>");
}

TEST_F(PageFileTest, ValidationSharedWithThePageListNamesTheVersion) {
  for (int version : {5, 7, 8, 9, 10, 11, 12}) {
    const std::string bytes = PageFileBytes(version, *Leaf(AttrRecord(version, QuoteAttr()), DataRecord(version, MVCDATA_12())));
    EXPECT_EQ(ValidatePageFile(bytes), version);
    EXPECT_EQ(ValidatePageFile(bytes.substr(0, bytes.size() - 1)), 0);
  }
  EXPECT_EQ(ValidatePageFile(""), 0);
  EXPECT_EQ(ValidatePageFile(PageFileBytes(13, std::string(40, '\0'))), 0);
  // A top split of 20 bytes passes the validation (its children are the parser's to check).
  EXPECT_EQ(ValidatePageFile(PageFileBytes(12, std::string(20, '\0'))), 12);
}

// ---- Writing ----------------------------------------------------------------------------------

TEST_F(PageFileTest, AKlineCellWithEverythingPassesReadAndSaveByteForByte) {
  VIEW_ATTR_12 kline = KlineAttr();
  kline.SetNavPosition(0);
  kline.SetNavListId(0);
  VIEW_ATTR_12 quote = QuoteAttr();
  quote.blockTabs[1] = mine;
  MVCDATA_12 quoteData;
  quoteData.blockTabCount = 2;
  quoteData.blockTabs[0] = static_cast<std::int16_t>(finance);
  quoteData.blockTabs[1] = static_cast<std::int16_t>(mine);
  auto top = Split(Leaf(AttrRecord(12, kline, {}, "SZ 000001"), DataRecord(12, KlineData(true))),
                   Leaf(AttrRecord(12, quote, {"金融", "自选"}, "SH 600001"), DataRecord(12, quoteData)), false, 0.75f);
  const std::string original = PageFileBytes(12, *top, "K线页面");
  Put("zvpage4.ppg", original);

  PageModel model;
  ASSERT_EQ(LoadPageFile(WinPath("zvpage4.ppg"), model), PageLoadResult::kLoaded);
  std::string path = WinPath("zvpage4.ppg");
  ASSERT_EQ(SavePageFile(model, path, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  EXPECT_EQ(Disk("zvpage4.ppg"), original);
  EXPECT_EQ(BuildPageFile(model, model.name), original);
}

TEST_F(PageFileTest, SavesWriteExactlyHeaderAndBodyOverALargerFile) {
  // Three cells: 3 leaves of 5580 bytes and 2 split records.
  auto three = ModelSplit(ModelLeaf(QuoteAttr(), MVCDATA_12()),
                          ModelSplit(ModelLeaf(KlineAttr(), KlineData(false)), ModelLeaf(QuoteAttr(), MVCDATA_12()), 0.3f),
                          0.6f);
  PageModel big;
  big.top = std::move(three);
  Put("zvpage6.ppg", PageFileBytes(12, std::string(20000, '\0'), "大页面"));   // an older, longer file
  std::string path = WinPath("zvpage6.ppg");
  ASSERT_EQ(SavePageFile(big, path, kPageSaveNormal, nullptr), PageSaveResult::kSaved);
  std::string bytes = Disk("zvpage6.ppg");
  EXPECT_EQ(bytes.size(), kPageHeaderSize + 3 * 5580 + 2 * 20);
  EXPECT_EQ(std::string(bytes.data() + 8), "大页面") << "the file's name is carried over";
  // Saving again does not grow the file.
  ASSERT_EQ(SavePageFile(big, path, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  EXPECT_EQ(Disk("zvpage6.ppg"), bytes);

  // A smaller page over it: exactly header + body, and it reads back.
  PageModel small;
  small.top = ModelLeaf(KlineAttr(), KlineData(false));
  ASSERT_EQ(SavePageFile(small, path, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  bytes = Disk("zvpage6.ppg");
  EXPECT_EQ(bytes.size(), kPageHeaderSize + 5580);
  PageModel back;
  ASSERT_EQ(LoadPageFile(path, back), PageLoadResult::kLoaded);
  ASSERT_TRUE(back.top && back.top->IsLeaf());
  EXPECT_EQ(back.top->attr.kind, VIEW_KLINE);
  EXPECT_STREQ(back.name, "大页面");

  // The three-cell page reads back with its shape, ratios and cells in order.
  ASSERT_EQ(SavePageFile(big, path, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  ASSERT_EQ(LoadPageFile(path, back), PageLoadResult::kLoaded);
  ASSERT_FALSE(back.top->IsLeaf());
  EXPECT_EQ(back.top->first->attr.kind, VIEW_REPORT);
  EXPECT_EQ(back.top->first->side, NODE_TOP);
  EXPECT_FLOAT_EQ(back.top->first->ratio, 0.6f);
  EXPECT_EQ(back.top->second->first->attr.kind, VIEW_KLINE);
  EXPECT_FLOAT_EQ(back.top->second->second->ratio, 0.7f);
}

TEST_F(PageFileTest, AnEmptyCellReadsBackEmpty) {
  VIEW_ATTR_12 empty;
  PageModel model;
  model.top = ModelSplit(ModelLeaf(empty, MVCDATA_12()), ModelLeaf(QuoteAttr(), MVCDATA_12()), 0.5f);
  std::string path = WinPath("zvpage7.ppg");
  ASSERT_EQ(SavePageFile(model, path, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  PageModel back;
  ASSERT_EQ(LoadPageFile(path, back), PageLoadResult::kLoaded);
  EXPECT_EQ(back.top->first->attr.kind, VIEW_NONE);
  EXPECT_EQ(back.top->second->attr.kind, VIEW_REPORT);
}

TEST_F(PageFileTest, TheDefaultPageIsNeverWritten) {
  PageModel model;
  model.top = ModelLeaf(QuoteAttr(), MVCDATA_12());
  for (const char* given : {"Default", "DEFAULT", "..\\Cfg\\Default.ppg", "..\\CFG\\DEFAULT.PPG", "..\\cfg\\default.Ppg"}) {
    for (int mode : {kPageSaveNormal, kPageSaveAuto}) {
      std::string path = given;
      EXPECT_EQ(SavePageFile(model, path, mode, nullptr), PageSaveResult::kDefaultPage) << given << " mode " << mode;
      EXPECT_EQ(path, given);
    }
  }
  EXPECT_EQ(OnDisk(settings.install().cfg(), "Default.ppg"), "<missing>");
  EXPECT_EQ(OnDisk(settings.install().bin(), "Default"), "<missing>");
  std::string none;
  EXPECT_EQ(SavePageFile(model, none, kPageSaveAuto, nullptr), PageSaveResult::kNoPath);
}

TEST_F(PageFileTest, AFailureAtAnyStepOfTheSaveLeavesTheOldFile) {
  const std::string old = PageFileBytes(12, *Leaf(AttrRecord(12, QuoteAttr()), DataRecord(12, MVCDATA_12())), "旧");
  PageModel model;
  model.top = ModelSplit(ModelLeaf(KlineAttr(), KlineData(false)), ModelLeaf(QuoteAttr(), MVCDATA_12()), 0.5f);
  for (files::FileCall step : {files::FileCall::kCreate, files::FileCall::kWrite, files::FileCall::kSync, files::FileCall::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    Put("zvpage8.ppg", old);
    std::string path = WinPath("zvpage8.ppg");
    {
      files::ScopedFileFault fault(step, 1, files::FaultRepeat::kEveryCallFromNth);
      EXPECT_EQ(SavePageFile(model, path, kPageSaveNormal, nullptr), PageSaveResult::kFailed);
      EXPECT_GT(fault.Failures(), 0);
    }
    EXPECT_EQ(Disk("zvpage8.ppg"), old);
    PageModel back;
    EXPECT_EQ(LoadPageFile(path, back), PageLoadResult::kLoaded);
  }
}

// ---- Saving through the page dialog ------------------------------------------------------------

class ScriptedPageUi final : public IPageSaveUi {
 public:
  bool AskPageName(PageSaveChoice& choice) override {
    ++asked;
    modalWhileAsked = ModalDialogOpen();
    if (!answer) return false;
    choice = *answer;
    return true;
  }
  int PageCount() override { return pages; }
  int AddPage(const char* name, const char* path) override {
    added.emplace_back(name, path);
    return pages++;
  }
  void PageSaved(int position) override { saved.push_back(position); }

  std::optional<PageSaveChoice> answer;
  int pages = 3;
  int asked = 0;
  bool modalWhileAsked = false;
  std::vector<std::pair<std::string, std::string>> added;
  std::vector<int> saved;
};

PageSaveChoice Choice(const char* name, const char* path, int position) {
  PageSaveChoice choice;
  std::snprintf(choice.name, sizeof choice.name, "%s", name);
  std::snprintf(choice.path, sizeof choice.path, "%s", path);
  choice.position = position;
  return choice;
}

TEST_F(PageFileTest, SaveAsMakesANewPageFileInTheFirstFreeNumber) {
  PageModel model;
  model.top = ModelLeaf(QuoteAttr(), MVCDATA_12());
  Put("zvpage0.ppg", "taken");
  ScriptedPageUi ui;
  ui.answer = Choice("新页面", "", -1);
  std::string path = "..\\USER\\ZVPAGE0.PPG";
  ASSERT_EQ(SavePageFile(model, path, kPageSaveAs, &ui), PageSaveResult::kSaved);
  EXPECT_EQ(ui.asked, 1);
  EXPECT_TRUE(ui.modalWhileAsked);
  EXPECT_FALSE(ModalDialogOpen());
  ASSERT_EQ(ui.added.size(), 1u);
  EXPECT_EQ(ui.added[0].first, "新页面");
  EXPECT_TRUE(gbk::EqualsNoCase(ui.added[0].second, "..\\user\\zvpage1.ppg")) << ui.added[0].second;
  EXPECT_EQ(ui.saved, std::vector<int>{3});
  EXPECT_TRUE(gbk::EqualsNoCase(path, "..\\user\\zvpage1.ppg")) << path;
  EXPECT_TRUE(gbk::EqualsNoCase(ReadLastPage(), ui.added[0].second));
  const std::string bytes = Disk("zvpage1.ppg");
  EXPECT_EQ(ValidatePageFile(bytes), 12);
  EXPECT_EQ(std::string(bytes.data() + 8), "新页面");
  EXPECT_EQ(Disk("zvpage0.ppg"), "taken");

  // Mode 0 on a page without a path asks too; an existing entry's path is overwritten with
  // the name chosen.
  ui.answer = Choice("改名", "..\\user\\zvpage0.ppg", 1);
  std::string none;
  ASSERT_EQ(SavePageFile(model, none, kPageSaveNormal, &ui), PageSaveResult::kSaved);
  EXPECT_EQ(ui.added.size(), 1u);
  EXPECT_EQ(ui.saved.back(), 1);
  EXPECT_EQ(std::string(Disk("zvpage0.ppg").data() + 8), "改名");

  // Cancelled: nothing.
  ui.answer.reset();
  path = "..\\user\\zvpage1.ppg";
  EXPECT_EQ(SavePageFile(model, path, kPageSaveAs, &ui), PageSaveResult::kCancelled);
  EXPECT_EQ(ui.saved.size(), 2u);
}

TEST_F(PageFileTest, NoNewPageFileBeyondTheLimits) {
  PageModel model;
  model.top = ModelLeaf(QuoteAttr(), MVCDATA_12());
  ScopedScriptedMessageBoxes boxes;
  ScriptedPageUi ui;
  ui.answer = Choice("多", "", -1);
  ui.pages = 128;
  std::string path;
  EXPECT_EQ(SavePageFile(model, path, kPageSaveAs, &ui), PageSaveResult::kLimit);
  ui.pages = 5;
  for (int n = 0; n < 64; ++n) Put(("zvpage" + std::to_string(n) + ".ppg").c_str(), "x");
  EXPECT_EQ(SavePageFile(model, path, kPageSaveAs, &ui), PageSaveResult::kLimit);
  const auto shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 2u);
  for (const auto& box : shown) {
    EXPECT_EQ(box.text, kPageLimitText);
    EXPECT_EQ(box.caption, "提示");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(box.topMost);
  }
  EXPECT_TRUE(ui.added.empty());
  EXPECT_TRUE(path.empty());
}

// ---- LASTPAGE.DAT ------------------------------------------------------------------------------

TEST_F(PageFileTest, LastPageIsExactly260BytesAndAShorterFileNamesNoPage) {
  EXPECT_EQ(ReadLastPage(), "") << "missing";
  ASSERT_TRUE(WriteLastPage("..\\USER\\ZVPAGE3.PPG"));
  const std::string bytes = Disk("LASTPAGE.DAT");
  ASSERT_EQ(bytes.size(), 260u);
  EXPECT_EQ(bytes, std::string("..\\USER\\ZVPAGE3.PPG") + std::string(260 - 19, '\0'));
  EXPECT_EQ(ReadLastPage(), "..\\USER\\ZVPAGE3.PPG");

  Put("LASTPAGE.DAT", bytes.substr(0, 259));
  EXPECT_EQ(ReadLastPage(), "") << "shorter than 260 bytes";
  Put("LASTPAGE.DAT", std::string(300, 'A'));
  EXPECT_EQ(ReadLastPage(), std::string(260, 'A')) << "no terminator: the 260 bytes";
  ASSERT_TRUE(WriteLastPage(std::string(400, 'B')));
  EXPECT_EQ(Disk("LASTPAGE.DAT"), std::string(259, 'B') + '\0');
  ASSERT_TRUE(WriteLastPage("Default"));
  EXPECT_EQ(ReadLastPage(), "Default");
}

}  // namespace

namespace {

// Writes the fuzz target's seeds (fuzz/seeds/pagefile) when ZUVO_PAGEFILE_SEEDS names a folder:
// pages of every version, the K-line page with everything, and a refused one.
TEST_F(PageFileTest, WritesFuzzSeedsWhenAsked) {
  const char* out = std::getenv("ZUVO_PAGEFILE_SEEDS");
  if (out == nullptr) GTEST_SKIP() << "ZUVO_PAGEFILE_SEEDS not set";
  const fs::path dir(out);
  fs::create_directories(dir);
  for (int version : {5, 7, 8, 9, 10, 11, 12}) {
    auto top = Split(Leaf(AttrRecord(version, QuoteAttr(), {"自选", "金融"}, "SH 600001"), DataRecord(version, MVCDATA_12())),
                     Leaf(AttrRecord(version, KlineAttr(), {}, "SZ 000001"), DataRecord(version, KlineData(version >= 10))),
                     version % 2 == 0, 0.5f);
    testsupport::WriteBytes(dir / ("v" + std::to_string(version) + "-two-cells.ppg"), PageFileBytes(version, *top, "种子"));
  }
  auto three = Split(Leaf(AttrRecord(12, VIEW_ATTR_12()), DataRecord(12, MVCDATA_12())),
                     Split(Leaf(AttrRecord(12, QuoteAttr()), DataRecord(12, MVCDATA_12())),
                           Leaf(AttrRecord(12, KlineAttr()), DataRecord(12, KlineData(true))), true, 0.3f),
                     false, 0.6f);
  const std::string good = PageFileBytes(12, *three);
  testsupport::WriteBytes(dir / "v12-three-cells.ppg", good);
  std::string cycle = good;
  const std::int32_t back = 20;
  std::memcpy(cycle.data() + kPageHeaderSize + 20 + 5580 + 4, &back, 4);
  testsupport::WriteBytes(dir / "v12-cycle.ppg", cycle);
}

}  // namespace
