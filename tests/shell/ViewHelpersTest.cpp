#include "shell/ViewHelpers.h"

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/UtilData.h"
#include "platform/MemoryCanvas.h"
#include "platform/Profile.h"
#include "shell/ModalDialog.h"
#include "shell/ShellDialogs.h"
#include "shell/ShellHost.h"
#include "FakeShellHost.h"
#include "shell/ViewTypes.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace zuvo::platform;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

// ---- Market fixture ---------------------------------------------------------------------------

// Market 0 "SH" (kind 1): category 0 with a book, category 1 depthless (an index); instrument 0
// is the market's index, 1 and 2 are shares. Market 1 "SZ" holds no instruments. Market 2 "SHF"
// (kind 2): category 0 with a book, category 1 depthless. Prices are stored in hundredths.
class QuoteFields : public ::testing::Test {
 public:   // the edge-case table changes the tables through the fixture
  void SetUp() override {
    sh = markets.Add(0, markettest::MakeRecord("SH", 1, 8, 2, "sh"),
                     {markettest::MakeInstrument("000001", 1), markettest::MakeInstrument("600000", 0),
                      markettest::MakeInstrument("600001", 0)});
    sh->record.categories[1].noDepth = 1;
    sh->record.categories[0].minuteIndex = 89;
    markets.Add(1, markettest::MakeRecord("SZ", 1, 8, 1, "sz"), {});
    shf = markets.Add(2, markettest::MakeRecord("SHF", 2, 8, 2, "shf"),
                      {markettest::MakeInstrument("CU08", 0), markettest::MakeInstrument("IDX", 1)});
    shf->record.categories[1].noDepth = 1;

    QuoteRecord& index = sh->quotes[0];
    index.prevClose = 2000;
    index.last = 2020;   // +1 %
    SetShare(sh->quotes[1], sh->extras[1], sh->lastTrades[1]);
  }

  // The share every column is read from: previous close 10.00, last 10.50.
  static void SetShare(QuoteRecord& q, QuoteExtraRecord& e, LastTradePrices& t) {
    q.prevClose = 1000;
    q.open = 1010;
    q.high = 1100;
    q.low = 950;
    q.last = 1050;
    q.volume = 5000;
    q.amount = 123456;
    q.lastVolume = 30;
    q.fastChange = 1.5f;
    q.updateTime = 0x0000A2C5;
    for (int level = 0; level < 5; ++level) {
      q.bids[level] = PriceLevel{static_cast<std::uint32_t>(1049 - level), 60};
      q.asks[level] = PriceLevel{static_cast<std::uint32_t>(1051 + level), 20};
    }
    q.settlement = 1040;
    e.filled = 1;
    e.side = 0;
    e.balancePrice = 1020;
    e.longStop = 990;
    e.longTarget = 1100;
    e.shortStop = 1080;
    e.shortCover = 1000;
    e.refVolume = 2000;
    t = LastTradePrices{{1049, 1048, 0, 1047, 1046}};
  }

  struct Result {
    bool ok;
    double value;
  };
  static Result Field(STKPTR stk, int id) {
    double value = 99.0;   // must be overwritten
    const bool ok = GetQuoteField(stk, id, value);
    return {ok, value};
  }

  TempInstall install;   // the tables create ..\data
  markettest::ScopedMarkets markets;
  TMarketData* sh = nullptr;
  TMarketData* shf = nullptr;
  const STKPTR share{0, 0, 1};
};

TEST_F(QuoteFields, EveryColumnOfAShare) {
  struct Case {
    int id;
    bool ok;
    double value;
  };
  const Case cases[] = {
      {0, false, 0},       {1, false, 0},        {2, true, 10.0},     {3, true, 10.1},
      {4, true, 11.0},     {5, true, 9.5},       {6, true, 10.5},     {7, true, 5000},
      {8, true, 123456},   {9, false, 0},        {10, true, 0.5},     {11, true, 5.0},
      {12, true, 15.0},
      {13, true, 5000.0 * 270 / 2000 / 90},   // volume x minutes a day / base / minutes gone
      {14, true, 4.0},                        // +5 % against the index's +1 %
      {15, true, 10.2},    {16, true, 11.0},     {17, true, 9.9},     {18, false, 0},
      {19, false, 0},
      {20, true, 50.0},    // (300 - 100) x 100 / 400
      {21, true, 1.5},     {22, false, 0},       {23, false, 0},      {24, true, 30},
      {25, true, 10.49},   {26, true, 10.51},    {27, true, 10.4},    {28, true, 60},
      {29, true, 20},      {30, false, 0},       {32, false, 0},      {33, false, 0},
      {34, true, 10.49},   {35, true, 10.48},    {36, false, 0},      {37, true, 10.47},
      {38, true, 10.46},   {39, false, 0},       {-1, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const Result r = Field(share, c.id);
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_DOUBLE_EQ(r.value, c.value);
  }
}

TEST_F(QuoteFields, TimeColumnCarriesTheQuoteTimeWord) {
  const Result r = Field(share, 31);
  ASSERT_TRUE(r.ok);
  std::uint32_t words[2];
  std::memcpy(words, &r.value, sizeof words);
  EXPECT_EQ(words[0], 0x0000A2C5u);
  EXPECT_EQ(words[1], 0u);
}

TEST_F(QuoteFields, ShortSideLevelsReplaceTheLongSide) {
  sh->extras[1].side = 1;
  EXPECT_FALSE(Field(share, 16).ok);
  EXPECT_FALSE(Field(share, 17).ok);
  EXPECT_DOUBLE_EQ(Field(share, 18).value, 10.0);
  EXPECT_DOUBLE_EQ(Field(share, 19).value, 10.8);
  EXPECT_TRUE(Field(share, 18).ok);
}

TEST_F(QuoteFields, EdgeCases) {
  struct Case {
    const char* what;
    std::function<void(QuoteFields&)> change;
    STKPTR stk;
    int id;
    bool ok;
    double value;
  };
  const STKPTR index{0, 1, 0};
  const STKPTR future{2, 0, 0};
  const STKPTR futureIndex{2, 1, 1};
  const Case cases[] = {
      {"volume ratio without a base", [](QuoteFields& f) { f.sh->extras[1].refVolume = 0; }, share, 13, true, 1.0},
      {"volume ratio of a tiny base", [](QuoteFields& f) { f.sh->extras[1].refVolume = 0.005f; }, share, 13, true, 1.0},
      {"volume ratio of a huge base", [](QuoteFields& f) { f.sh->extras[1].refVolume = 1e8f; }, share, 13, true, 1.0},
      {"volume ratio in a futures market", nullptr, future, 13, false, 0},
      {"change without a previous close", [](QuoteFields& f) { f.sh->quotes[1].prevClose = 0; }, share, 11, false, 0},
      {"amplitude without a previous close", [](QuoteFields& f) { f.sh->quotes[1].prevClose = 0; }, share, 12, false, 0},
      {"strength without a previous close", [](QuoteFields& f) { f.sh->quotes[1].prevClose = 0; }, share, 14, false, 0},
      {"change without a last price", [](QuoteFields& f) { f.sh->quotes[1].last = 0; }, share, 10, false, 0},
      {"percent without a last price", [](QuoteFields& f) { f.sh->quotes[1].last = 0; }, share, 11, false, 0},
      {"last price before any trade", [](QuoteFields& f) { f.sh->quotes[1].last = 0; }, share, 6, true, 10.0},
      {"strength when the index has no previous close", [](QuoteFields& f) { f.sh->quotes[0].prevClose = 0; }, share, 14, true, 0.0},
      // An index that has not traded yet is unchanged, not down 100 %.
      {"strength against an untraded index", [](QuoteFields& f) { f.sh->quotes[0].last = 0; }, share, 14, true, 5.0},
      {"strength of an untraded share", [](QuoteFields& f) { f.sh->quotes[1].last = 0; }, share, 14, true, -1.0},
      {"balance price 0", [](QuoteFields& f) { f.sh->extras[1].balancePrice = 0; }, share, 15, false, 0},
      {"order ratio of an empty book", [](QuoteFields& f) {
         for (PriceLevel& l : f.sh->quotes[1].bids) l.volume = 0;
         for (PriceLevel& l : f.sh->quotes[1].asks) l.volume = 0;
       }, share, 20, false, 0},
      {"bid of 0", [](QuoteFields& f) { f.sh->quotes[1].bids[0].price = 0; }, share, 25, false, 0},
      {"ask of 0", [](QuoteFields& f) { f.sh->quotes[1].asks[0].price = 0; }, share, 26, false, 0},
      {"settlement of 0", [](QuoteFields& f) { f.sh->quotes[1].settlement = 0; }, share, 27, false, 0},
      {"bid of a depthless category of market 2", [](QuoteFields& f) { f.shf->quotes[1].bids[0].price = 500; }, futureIndex, 25, true, 5.0},
      {"ask of a depthless category of market 2", [](QuoteFields& f) { f.shf->quotes[1].asks[0].price = 700; }, futureIndex, 26, true, 7.0},
      {"bid of a depthless category of market 0", [](QuoteFields& f) { f.sh->quotes[0].bids[0].price = 500; }, index, 25, false, 0},
      {"ask of a depthless category of market 0", [](QuoteFields& f) { f.sh->quotes[0].asks[0].price = 500; }, index, 26, false, 0},
      {"bid volume of a depthless category", [](QuoteFields& f) { f.shf->quotes[1].bids[0].volume = 5; }, futureIndex, 28, false, 0},
      {"ask volume of a depthless category", [](QuoteFields& f) { f.shf->quotes[1].asks[0].volume = 5; }, futureIndex, 29, false, 0},
      {"order ratio of a depthless category", [](QuoteFields& f) { f.shf->quotes[1].bids[0].volume = 5; }, futureIndex, 20, false, 0},
      {"open interest change in a futures market", [](QuoteFields& f) {
         f.shf->quotes[0].amount = 1500;
         f.shf->extras[0] = QuoteExtraRecord{1, 0, 0, 0, 0, 0, 0, 1200};
       }, future, 30, true, 300},
      {"open interest change before a snapshot", [](QuoteFields& f) { f.shf->quotes[0].amount = 1500; }, future, 30, true, 0.0},
      {"open interest change in a market of kind 7", [](QuoteFields& f) {
         f.sh->record.kind = 7;
         f.sh->extras[1].refVolume = 123000;
       }, share, 30, true, 456},
      {"open interest change in a market of kind 1", nullptr, share, 30, false, 0},
      {"open interest change in a market of kind 6", [](QuoteFields& f) { f.sh->record.kind = 6; }, share, 30, false, 0},
      {"fifth trade price", [](QuoteFields& f) { f.sh->lastTrades[1].price[4] = 0; }, share, 38, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();   // fresh tables for every case
    if (c.change) c.change(*this);
    const Result r = Field(c.stk, c.id);
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_DOUBLE_EQ(r.value, c.value);
  }
}

TEST_F(QuoteFields, NothingIsReadOutsideTheMarketsInstruments) {
  const STKPTR references[] = {
      STKPTR(1, 0, 0),   // page files name (0,0,0) of a market that is empty now
      STKPTR(0, 0, 3),   // past the count, inside the capacity
      STKPTR(0, 0, 7),
      STKPTR(5, 0, 0),   // no such market
      STKPTR(),
  };
  for (const STKPTR& stk : references) {
    for (int id = 0; id < kReportColumnCount; ++id) {
      SCOPED_TRACE(testing::Message() << int(stk.market) << "/" << stk.index << " id " << id);
      const Result r = Field(stk, id);
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.value, 0.0);
    }
  }
}

TEST_F(QuoteFields, MarketWithoutQuotesGivesNothing) {
  QuoteRecord* quotes = sh->quotes;
  sh->quotes = nullptr;
  for (int id = 0; id < kReportColumnCount; ++id) EXPECT_FALSE(Field(share, id).ok) << id;
  sh->quotes = quotes;
}

TEST(ReportColumns, TitlesInIdOrder) {
  EXPECT_STREQ(ReportColumnTitles[0], "序");
  EXPECT_STREQ(ReportColumnTitles[6], "最新");
  EXPECT_STREQ(ReportColumnTitles[11], "幅度%");
  EXPECT_STREQ(ReportColumnTitles[30], "仓差");
  EXPECT_STREQ(ReportColumnTitles[32], "买价/卖价");
  EXPECT_STREQ(ReportColumnTitles[34], "前成一");
  EXPECT_STREQ(ReportColumnTitles[38], "前成五");
  for (const auto& title : ReportColumnTitles) {
    EXPECT_GT(std::strlen(title), 0u);
    EXPECT_LT(std::strlen(title), std::size_t{kReportColumnTitleSize});
  }
}

// ---- Sorts ------------------------------------------------------------------------------------

// A row tagged in changeFlags, so the test can tell rows of equal keys apart.
ReportRow Row(int tag, std::uint16_t key = 0, std::uint8_t market = 0, std::uint16_t index = 0) {
  ReportRow row{};
  row.market = market;
  row.index = index;
  row.positionKey = key;
  row.changeFlags = static_cast<std::uint32_t>(tag);
  return row;
}
std::vector<int> Tags(const std::vector<ReportRow>& rows) {
  std::vector<int> tags;
  for (const ReportRow& row : rows) tags.push_back(static_cast<int>(row.changeFlags));
  return tags;
}

TEST(RowSorts, ByPositionKeyKeepsEqualKeysInOrder) {
  struct Case {
    std::vector<std::uint16_t> keys;
    int ascending;
    std::vector<int> tags;
  };
  const Case cases[] = {
      {{3, 1, 2, 1, 3}, 1, {1, 3, 2, 0, 4}},
      {{3, 1, 2, 1, 3}, 0, {0, 4, 2, 1, 3}},
      {{1, 2, 3, 4}, 1, {0, 1, 2, 3}},
      {{1, 2, 3, 4}, 0, {3, 2, 1, 0}},
      {{5, 5, 5}, 1, {0, 1, 2}},
      {{5, 5, 5}, 0, {0, 1, 2}},
      {{65535, 0}, 1, {1, 0}},
      {{7}, 1, {0}},
      {{}, 1, {}},
  };
  for (const Case& c : cases) {
    std::vector<ReportRow> rows;
    for (std::size_t i = 0; i < c.keys.size(); ++i) rows.push_back(Row(static_cast<int>(i), c.keys[i]));
    CocktailSortByKey(nullptr, rows.data(), static_cast<int>(rows.size()), c.ascending);
    EXPECT_EQ(Tags(rows), c.tags) << "ascending " << c.ascending << ", " << c.keys.size() << " rows";
  }
}

class InstrumentSort : public ::testing::Test {
 protected:
  void SetUp() override {
    markets.Add(0, markettest::MakeRecord("SH", 1, 8, 2, "sh"),
                {markettest::MakeInstrument("600001", 0), markettest::MakeInstrument("000001", 1),
                 markettest::MakeInstrument("600000", 0)});
    markets.Add(1, markettest::MakeRecord("SZ", 1, 8, 1, "sz"),
                {markettest::MakeInstrument("000002", 0), markettest::MakeInstrument("000001", 0)});
  }
  TempInstall install;
  markettest::ScopedMarkets markets;
};

TEST_F(InstrumentSort, ByMarketThenCategoryThenCode) {
  // Tag = market * 10 + index.
  auto rows = [] {
    return std::vector<ReportRow>{Row(11, 0, 1, 1), Row(1, 0, 0, 1), Row(10, 0, 1, 0), Row(0, 0, 0, 0),
                                  Row(2, 0, 0, 2), Row(12, 0, 1, 1)};
  };
  struct Case {
    int ascending;
    std::vector<int> tags;
  };
  // SH 600000 / 600001 (category 0) before SH 000001 (category 1); then SZ 000001, 000002.
  // The two rows of SZ 000001 keep their order.
  const Case cases[] = {
      {1, {2, 0, 1, 11, 12, 10}},
      {0, {10, 11, 12, 1, 0, 2}},
  };
  for (const Case& c : cases) {
    std::vector<ReportRow> sorted = rows();
    CocktailSortByInstrument(nullptr, sorted.data(), static_cast<int>(sorted.size()), c.ascending);
    EXPECT_EQ(Tags(sorted), c.tags) << "ascending " << c.ascending;
  }
}

TEST_F(InstrumentSort, RowWithoutAnInstrumentStopsTheSort) {
  std::vector<ReportRow> rows{Row(1, 0, 0, 2), Row(2, 0, 0, 7), Row(3, 0, 0, 0)};
  CocktailSortByInstrument(nullptr, rows.data(), 3, 1);
  EXPECT_EQ(Tags(rows), (std::vector<int>{1, 2, 3}));
  std::vector<ReportRow> emptyMarket{Row(1, 0, 0, 0), Row(2, 0, 0, 2), Row(3, 0, 5, 0)};
  CocktailSortByInstrument(nullptr, emptyMarket.data(), 3, 1);
  EXPECT_EQ(Tags(emptyMarket), (std::vector<int>{2, 1, 3})) << "sorted up to the unknown market";
}

struct ValueCase {
  std::vector<double> keys;
  int descending;
  std::vector<int> tags;
};
const ValueCase kValueCases[] = {
    {{3.5, -1, 2, -1, 3.5, 0}, 1, {0, 4, 2, 5, 1, 3}},
    {{3.5, -1, 2, -1, 3.5, 0}, 0, {1, 3, 5, 2, 0, 4}},
    {{1, 2, 3}, 1, {2, 1, 0}},
    {{1, 2, 3}, 0, {0, 1, 2}},
    {{0, 0}, 1, {0, 1}},
    {{9}, 0, {0}},
};

TEST(RowSorts, ByValueMovesRowsWithKeysAndKeepsEqualKeysInOrder) {
  for (const ValueCase& c : kValueCases) {
    std::vector<ReportRow> rows;
    for (std::size_t i = 0; i < c.keys.size(); ++i) rows.push_back(Row(static_cast<int>(i)));
    std::vector<double> keys = c.keys;
    CocktailSortByValue(nullptr, rows.data(), keys.data(), static_cast<int>(rows.size()), c.descending);
    EXPECT_EQ(Tags(rows), c.tags) << "descending " << c.descending;
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(keys[i], c.keys[rows[i].changeFlags]);
  }
}

TEST(RowSorts, ShellSortOrdersSmallTables) {
  // Distinct keys: the gap passes and the finishing sort give the one order there is.
  const ValueCase cases[] = {
      {{5, 3, 9, 1, 7, 2, 8}, 1, {2, 6, 4, 0, 1, 5, 3}},
      {{5, 3, 9, 1, 7, 2, 8}, 0, {3, 5, 1, 0, 4, 6, 2}},
      {{2, 1}, 0, {1, 0}},
      {{4}, 1, {0}},
  };
  for (const ValueCase& c : cases) {
    std::vector<ReportRow> rows;
    for (std::size_t i = 0; i < c.keys.size(); ++i) rows.push_back(Row(static_cast<int>(i)));
    std::vector<double> keys = c.keys;
    ShellSortRows(nullptr, rows.data(), keys.data(), static_cast<int>(rows.size()), c.descending);
    EXPECT_EQ(Tags(rows), c.tags) << "descending " << c.descending;
  }
}

TEST(RowSorts, ShellSortKeepsRowsWithTheirKeys) {
  for (int order : {0, 1, 2}) {   // random, sorted, reversed
    for (int descending : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "order " << order << " descending " << descending);
      constexpr int kCount = 1001;
      std::mt19937 random(7);
      std::vector<double> original(kCount);
      for (int i = 0; i < kCount; ++i) original[i] = order == 0   ? static_cast<double>(random() % 300)
                    : order == 1 ? static_cast<double>(i)
                                 : static_cast<double>(kCount - i);
      std::vector<double> keys = original;
      std::vector<ReportRow> rows;
      for (int i = 0; i < kCount; ++i) rows.push_back(Row(i));
      ShellSortRows(nullptr, rows.data(), keys.data(), kCount, descending);

      std::vector<double> expected = original;
      if (descending) {
        std::sort(expected.begin(), expected.end(), std::greater<>());
      } else {
        std::sort(expected.begin(), expected.end());
      }
      EXPECT_EQ(keys, expected);
      std::vector<int> tags = Tags(rows);
      for (int i = 0; i < kCount; ++i) ASSERT_EQ(keys[i], original[tags[i]]) << i;
      std::sort(tags.begin(), tags.end());
      for (int i = 0; i < kCount; ++i) ASSERT_EQ(tags[i], i) << "every row once";
    }
  }
}

// The order a plain adjacent-swap bubble sort ends in, as tags.
std::vector<int> BubbleOrder(std::vector<double> keys, bool descending) {
  std::vector<int> tags(keys.size());
  for (std::size_t i = 0; i < tags.size(); ++i) tags[i] = static_cast<int>(i);
  for (std::size_t pass = 0; pass < keys.size(); ++pass) {
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
      if (descending ? keys[i + 1] > keys[i] : keys[i + 1] < keys[i]) {
        std::swap(keys[i], keys[i + 1]);
        std::swap(tags[i], tags[i + 1]);
      }
    }
  }
  return tags;
}

TEST(RowSorts, LongTablesEndInTheBubbleSortsOrder) {
  std::mt19937 random(13);
  std::vector<double> keys(700);
  for (double& key : keys) key = static_cast<double>(random() % 40);   // many equal keys
  for (int flag : {0, 1}) {
    std::vector<ReportRow> rows;
    for (std::size_t i = 0; i < keys.size(); ++i) rows.push_back(Row(static_cast<int>(i), static_cast<std::uint16_t>(keys[i])));
    std::vector<ReportRow> byKey = rows;
    CocktailSortByKey(nullptr, byKey.data(), static_cast<int>(byKey.size()), flag);
    EXPECT_EQ(Tags(byKey), BubbleOrder(keys, flag == 0)) << "by key, ascending " << flag;
    std::vector<double> sortedKeys = keys;
    CocktailSortByValue(nullptr, rows.data(), sortedKeys.data(), static_cast<int>(rows.size()), flag);
    EXPECT_EQ(Tags(rows), BubbleOrder(keys, flag == 1)) << "by value, descending " << flag;
  }
}

TEST(RowSorts, KeysThatAreNotNumbersDoNotBreakTheSort) {
  const double nan = std::nan("");
  std::vector<double> keys{3, nan, 1, 2, nan, 0};
  std::vector<ReportRow> rows;
  for (int i = 0; i < 6; ++i) rows.push_back(Row(i));
  CocktailSortByValue(nullptr, rows.data(), keys.data(), 6, 0);
  // A NaN never swaps, so it splits the table into runs sorted on their own.
  EXPECT_EQ(Tags(rows), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  std::vector<double> more{3, 1, nan, 2, 0};
  std::vector<ReportRow> moreRows;
  for (int i = 0; i < 5; ++i) moreRows.push_back(Row(i));
  ShellSortRows(nullptr, moreRows.data(), more.data(), 5, 1);
  std::vector<int> tags = Tags(moreRows);
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(tags, (std::vector<int>{0, 1, 2, 3, 4})) << "every row kept";
}

TEST(RowSorts, NullRowsOrKeysAreLeftAlone) {
  double keys[2] = {2, 1};
  CocktailSortByKey(nullptr, nullptr, 2, 1);
  CocktailSortByInstrument(nullptr, nullptr, 2, 1);
  CocktailSortByValue(nullptr, nullptr, keys, 2, 0);
  ShellSortRows(nullptr, nullptr, keys, 2, 0);
  SelectTopN(nullptr, keys, 2, 1, true);
  EXPECT_EQ(keys[0], 2);
}

// ---- SelectTopN -------------------------------------------------------------------------------

TEST(SelectTopN, ThreeLargestOfAThousandComeFirstInOrder) {
  constexpr int kCount = 1000;
  std::mt19937 random(11);
  std::vector<double> keys(kCount);
  std::vector<STKPTR> instruments(kCount);
  for (int i = 0; i < kCount; ++i) {
    keys[i] = static_cast<double>(random() % 100000) / 10.0;
    instruments[i].market = 0;
    instruments[i].index = static_cast<std::uint16_t>(i);   // tag: the original position
  }
  const std::vector<double> original = keys;
  std::vector<double> best = keys;
  std::sort(best.begin(), best.end(), std::greater<>());

  SelectTopN(instruments.data(), keys.data(), kCount, 3, true);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(keys[i], best[i]) << i;
    EXPECT_EQ(original[instruments[i].index], keys[i]) << "the instrument moved with its key";
  }
  for (int i = 0; i < kCount; ++i) ASSERT_EQ(original[instruments[i].index], keys[i]);

  SelectTopN(instruments.data(), keys.data(), kCount, 2, false);
  std::sort(best.begin(), best.end());
  EXPECT_EQ(keys[0], best[0]);
  EXPECT_EQ(keys[1], best[1]);
}

TEST(SelectTopN, EqualKeysKeepTheirOrderAndNIsClamped) {
  std::vector<double> keys{1, 5, 2, 5, 5};
  std::vector<STKPTR> instruments(5);
  for (int i = 0; i < 5; ++i) instruments[i].index = static_cast<std::uint16_t>(i);
  SelectTopN(instruments.data(), keys.data(), 5, 9, true);
  EXPECT_EQ(keys, (std::vector<double>{5, 5, 5, 2, 1}));
  std::vector<int> order;
  for (const STKPTR& s : instruments) order.push_back(s.index);
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4, 2, 0}));
}

// ---- Blocks -----------------------------------------------------------------------------------

class BlockStepping : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
    profile::ClearCache();
    markets.Add(0, markettest::MakeRecord("SH", 1, 8, 1, "sh"),
                {markettest::MakeInstrument("600000"), markettest::MakeInstrument("600001"),
                 markettest::MakeInstrument("600002"), markettest::MakeInstrument("600003")});
    WriteBytes(UserBlocks(), std::string("[FileInfo]\r\nVersion=1\r\n\r\n") +
                                 "[三只]\r\nI1=SH 600001\r\nI2=SH 600000\r\nI3=SH 600002\r\n\r\n" +
                                 "[一只]\r\nI1=SH 600003\r\n\r\n[空]\r\n");
    RebuildBlocks();
    three = FindBlockByName("三只");
    one = FindBlockByName("一只");
    empty = FindBlockByName("空");
    ASSERT_NE(three, nullptr);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(empty, nullptr);
    ASSERT_EQ(three->memberCount, 3);
  }
  void TearDown() override {
    ClearBlocks();
    profile::ClearCache();
  }
  std::filesystem::path UserBlocks() const { return install.user() / "blocks.ini"; }

  TempInstall install;
  markettest::ScopedMarkets markets;
  BlockRecord* three = nullptr;
  BlockRecord* one = nullptr;
  BlockRecord* empty = nullptr;
};

TEST_F(BlockStepping, NextAndPreviousWrapAroundTheBlock) {
  struct Case {
    std::uint16_t block;
    int from;
    int next;
    int previous;
  };
  const std::uint16_t missing = kMaxBlocks - 1;
  const Case cases[] = {
      {three->id, 1, 0, 2},   // first member: previous wraps to the last
      {three->id, 0, 2, 1},
      {three->id, 2, 1, 0},   // last member: next wraps to the first
      {three->id, 3, 3, 3},   // not a member
      {one->id, 3, 3, 3},     // the only member is its own neighbour
      {empty->id, 0, 0, 0},
      {missing, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << " from " << c.from);
    const STKPTR from(0, 0, static_cast<unsigned short>(c.from));
    EXPECT_EQ(NextInBlock(c.block, from).index, c.next);
    EXPECT_EQ(PrevInBlock(c.block, from).index, c.previous);
    EXPECT_EQ(NextInBlock(c.block, from).market, 0);
  }
}

// A block chooser that answers as scripted and records what it was asked.
class ScriptedChooser final : public IShellDialogs {
 public:
  std::optional<std::uint16_t> ChooseBlock(TWinControl*, const BlockChooserRequest& request) override {
    asked.push_back(request);
    modalWhileOpen = ModalDialogOpen();
    return answer;
  }
  void ShowQuoteOptions(TWinControl*, const QuoteOptionsFill&) override {}

  std::optional<std::uint16_t> answer;
  std::vector<BlockChooserRequest> asked;
  bool modalWhileOpen = false;
};

// Records the view notifications; the rest of the main window is not needed here.
class RecordingHost final : public shelltest::FakeShellHost {
 public:
  struct Notice {
    int code;
    STKPTR instrument;
    int arg;
    std::intptr_t extra;
  };
  void NotifyViews(int code, STKPTR instrument, int arg, std::intptr_t extra) override {
    notices.push_back({code, instrument, arg, extra});
  }

  std::vector<Notice> notices;
};

class AddToBlock : public BlockStepping {
 protected:
  void SetUp() override {
    BlockStepping::SetUp();
    previousDialogs = SetShellDialogs(&chooser);
    previousHost = SetShellHost(&host);
  }
  void TearDown() override {
    SetShellDialogs(previousDialogs);
    SetShellHost(previousHost);
    BlockStepping::TearDown();
  }
  std::string Saved() const { return ReadBytes(UserBlocks()); }
  void ExpectOneNotice(std::uint16_t block, const STKPTR& stk) {
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].code, VN_BLOCKCHANGED);
    EXPECT_EQ(host.notices[0].instrument, stk);
    EXPECT_EQ(host.notices[0].arg, block);
  }

  ScriptedChooser chooser;
  RecordingHost host;
  IShellDialogs* previousDialogs = nullptr;
  IShellHost* previousHost = nullptr;
};

TEST_F(AddToBlock, AsksForAUserBlockInAModalChooser) {
  chooser.answer = one->id;
  AddInstrumentToBlock(nullptr, STKPTR(0, 0, 1));
  ASSERT_EQ(chooser.asked.size(), 1u);
  EXPECT_EQ(chooser.asked[0].caption, "选择板块");
  EXPECT_EQ(chooser.asked[0].lowestKind, kBlockUser);
  EXPECT_EQ(chooser.asked[0].highestKind, kBlockUser);
  EXPECT_TRUE(chooser.asked[0].hideNewAndModify);
  EXPECT_TRUE(chooser.modalWhileOpen);
  EXPECT_FALSE(ModalDialogOpen());
}

TEST_F(AddToBlock, AppendsSavesAndNotifies) {
  chooser.answer = one->id;
  const STKPTR stk(0, 0, 1);
  AddInstrumentToBlock(nullptr, stk);
  ASSERT_EQ(one->memberCount, 2);
  EXPECT_EQ(one->members[1].index, 1);
  EXPECT_EQ(one->members[1].position, 1) << "its place in the block";
  EXPECT_NE(Saved().find("[一只]\r\nI1=SH 600003\r\nI2=SH 600001\r\n"), std::string::npos) << Saved();
  ExpectOneNotice(one->id, stk);
}

TEST_F(AddToBlock, MemberAlreadyThereAddsNothingAndStillNotifies) {
  const std::string before = Saved();
  chooser.answer = three->id;
  const STKPTR stk(0, 0, 2);
  AddInstrumentToBlock(nullptr, stk);
  EXPECT_EQ(three->memberCount, 3);
  EXPECT_EQ(Saved(), before);
  ExpectOneNotice(three->id, stk);
}

TEST_F(AddToBlock, FullBlockOrNoInstrumentAddsNothingAndStillNotifies) {
  three->memberCount = kMaxBlockMembers;   // the member array holds that many
  chooser.answer = three->id;
  AddInstrumentToBlock(nullptr, STKPTR(0, 0, 3));
  EXPECT_EQ(three->memberCount, kMaxBlockMembers);
  three->memberCount = 3;

  chooser.answer = one->id;
  AddInstrumentToBlock(nullptr, STKPTR(0, 0, 6));   // past the market's instruments
  EXPECT_EQ(one->memberCount, 1);
  EXPECT_EQ(host.notices.size(), 2u);
}

TEST_F(AddToBlock, OnlyUserBlocksChange) {
  BlockRecord* marketBlock = FindBlockByKey(kBlockPerMarket, 0);
  ASSERT_NE(marketBlock, nullptr);
  const int members = marketBlock->memberCount;
  marketBlock->memberCount = 1;
  chooser.answer = marketBlock->id;
  AddInstrumentToBlock(nullptr, STKPTR(0, 0, 2));
  EXPECT_EQ(marketBlock->memberCount, 1);
  marketBlock->memberCount = static_cast<std::uint16_t>(members);
  ExpectOneNotice(marketBlock->id, STKPTR(0, 0, 2));
}

TEST_F(AddToBlock, CancelDoesNothing) {
  const std::string before = Saved();
  AddInstrumentToBlock(nullptr, STKPTR(0, 0, 1));
  EXPECT_EQ(chooser.asked.size(), 1u);
  EXPECT_TRUE(host.notices.empty());
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(ModalDialogDepth(), 0);
}

// ---- Colours and text -------------------------------------------------------------------------

class Colours : public ::testing::Test {
 protected:
  void SetUp() override {
    std::copy(std::begin(ColorTable), std::end(ColorTable), saved);
    ColorTable[18] = kDown;
    ColorTable[19] = kLevel;
    ColorTable[20] = kUp;
    ColorTable[46] = kSeparator;
  }
  void TearDown() override { std::copy(std::begin(saved), std::end(saved), ColorTable); }

  static constexpr COLORREF kDown = RGB(0, 160, 0);     // COLOR19
  static constexpr COLORREF kLevel = RGB(90, 90, 90);   // COLOR20
  static constexpr COLORREF kUp = RGB(220, 0, 0);       // COLOR21
  static constexpr COLORREF kSeparator = RGB(0, 0, 200);   // COLOR47
  COLORREF saved[kColorCount];
};

TEST_F(Colours, ChangeColourComparesSigned) {
  struct Case {
    std::int32_t reference, value;
    COLORREF colour;
  };
  const Case cases[] = {
      {0, 5, kLevel},    {0, 0, kLevel},  {5, 5, kLevel},   {10, 5, kUp},
      {5, 10, kDown},    {-1, 1, kDown},  {1, -1, kUp},     {-5, -5, kLevel},
      {static_cast<std::int32_t>(0x80000000u), 1, kDown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetChangeColor(c.reference, c.value), c.colour) << c.reference << " " << c.value;
  }
  // Prices as the views pass them: the last price first.
  const std::uint32_t last = 1050, prevClose = 1000;
  EXPECT_EQ(GetChangeColor(last, prevClose), kUp);
}

using Canvas = platformtest::MemoryCanvas;

// True when anything was drawn (a comparison of two blank canvases proves nothing).
bool Inked(const Canvas& canvas) {
  for (const std::string& row : canvas.Rows()) {
    if (row.find('#') != std::string::npos) return true;
  }
  return false;
}

SIZE Extent(HDC dc, const char* text) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
  return size;
}

TEST(DrawTextInRect, AlignsInsideTheMarginsOrDrawsStars) {
  const char* text = "12.34";
  Canvas probe(10, 10);
  const SIZE size = Extent(probe.dc(), text);
  ASSERT_GT(size.cx, 6);
  ASSERT_GT(size.cy, 0);

  struct Case {
    int width, height;   // of the rectangle at (4, 3)
    int horizontal, vertical;
    bool fits;
    int x, y;   // where the text goes, relative to the rectangle
  };
  const int w = size.cx + 21, h = size.cy + 11;
  const Case cases[] = {
      {w, h, 1, 1, true, 3, 3},
      {w, h, 2, 2, true, w - size.cx - 3, h - size.cy - 3},
      {w, h, 0, 0, true, 10, 5},   // (21 / 2, 11 / 2) rounded towards zero
      {w, h, 7, 7, true, 10, 5},
      {size.cx + 6, size.cy + 6, 1, 2, true, 3, 3},   // exactly fits
      {size.cx + 1, h, 1, 1, false, 2, 2},            // 5 pixels too narrow
      {w, size.cy + 5, 1, 1, false, 2, 2},            // 1 pixel too low
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.horizontal << "/" << c.vertical);
    Canvas drawn(w + 10, h + 10);
    Canvas expected(w + 10, h + 10);
    const RECT rect{4, 3, 4 + c.width, 3 + c.height};
    DrawTextInRect(nullptr, drawn.dc(), rect, text, c.horizontal, c.vertical);
    const char* shown = c.fits ? text : "***";
    TextOutA(expected.dc(), 4 + c.x, 3 + c.y, shown, static_cast<int>(std::strlen(shown)));
    ASSERT_TRUE(Inked(expected));
    EXPECT_EQ(drawn.Rows(), expected.Rows());
  }
}

TEST_F(Colours, PairTextDrawsThreeColoursAsOneRun) {
  Canvas probe(10, 10);
  const SIZE first = Extent(probe.dc(), "10.49");
  const SIZE separator = Extent(probe.dc(), " / ");
  const SIZE second = Extent(probe.dc(), "10.51");
  const int run = first.cx + separator.cx + second.cx;
  const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0);

  struct Case {
    int width, height, horizontal, vertical;
    bool fits;
    int x, y;
  };
  const int w = run + 8, h = first.cy + 6;
  const Case cases[] = {
      {w, h, 1, 1, true, 3, 3},
      {w, h, 2, 0, true, w - run - 3, 3},
      {w, h, 0, 0, true, 4, 3},
      {run + 1, h, 0, 0, false, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " " << c.horizontal);
    Canvas drawn(w + 4, h + 4);
    Canvas expected(w + 4, h + 4);
    SetTextColor(drawn.dc(), RGB(1, 2, 3));
    DrawPairTextInRect(drawn.dc(), RECT{0, 0, c.width, c.height}, red, green, "10.49", "10.51", c.horizontal,
                       c.vertical);
    if (c.fits) {
      EXPECT_EQ(GetTextColor(drawn.dc()), RGB(1, 2, 3)) << "text colour restored";
      SetTextColor(expected.dc(), red);
      TextOutA(expected.dc(), c.x, c.y, "10.49", 5);
      SetTextColor(expected.dc(), kSeparator);
      TextOutA(expected.dc(), c.x + first.cx, c.y, " / ", 3);
      SetTextColor(expected.dc(), green);
      TextOutA(expected.dc(), c.x + first.cx + separator.cx, c.y, "10.51", 5);
    } else {
      SetTextColor(expected.dc(), RGB(1, 2, 3));
      TextOutA(expected.dc(), 2, 2, "***", 3);
    }
    ASSERT_TRUE(Inked(expected));
    EXPECT_EQ(drawn.All(), expected.All());
  }
}

}  // namespace
