// Lookups, name-table finishing, quote clearing and saving of the market tables.
#include "data/MarketData.h"

#include "MarketTestUtil.h"
#include "platform/WinBase.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using markettest::MakeInstrument;
using markettest::MakeRecord;
using markettest::ScopedMarkets;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

class MarketDataTest : public ::testing::Test {
 protected:
  testsupport::TempInstall install;
  ScopedMarkets markets;
};

TEST_F(MarketDataTest, FindCodeIgnoresAsciiCaseAndTrailingBlanksAndTakesTheFirstMatch) {
  TMarketData* table = markets.Add(
      0, MakeRecord("SH"),
      {MakeInstrument("AB     "), MakeInstrument("600100"), MakeInstrument("ab"), MakeInstrument("Cu2409")});
  EXPECT_STREQ(table->names[0].code, "AB");
  EXPECT_EQ(table->FindCode("ab"), 0);
  EXPECT_EQ(table->FindCode("AB"), 0);
  EXPECT_EQ(table->FindCode("cU2409"), 3);
  EXPECT_EQ(table->FindCode("600100"), 1);
  EXPECT_EQ(table->FindCode("60010"), -1);
  EXPECT_EQ(table->FindCode("AB "), -1);   // the search text is taken as given
  EXPECT_EQ(table->FindCode(""), -1);
  EXPECT_EQ(table->FindCode(nullptr), -1);

  // Case folding never touches the bytes of a double-byte character: 0x81 0x61 is not 0x81 0x41.
  TMarketData* gbkTable = markets.Add(1, MakeRecord("SZ"), {MakeInstrument("\x81\x61X")});
  EXPECT_EQ(gbkTable->FindCode("\x81\x61x"), 0);
  EXPECT_EQ(gbkTable->FindCode("\x81\x41X"), -1);
}

TEST_F(MarketDataTest, CodeIndexAgreesWithALinearScan) {
  // Many codes with case variants and duplicates; every lookup must give the first position a
  // scan from the start gives.
  std::mt19937 random(7);
  const char letters[] = "aAbBcC019";
  std::vector<InstrumentRecord> names;
  for (int i = 0; i < 3000; ++i) {
    char code[7] = {};
    const int length = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < length; ++k) code[k] = letters[random() % 9];
    names.push_back(MakeInstrument(code));
  }
  TMarketData* table = markets.Add(0, MakeRecord("SH", 1, 3100), names);
  auto linear = [&](const char* code) {
    for (int i = 0; i < table->count; ++i) {
      std::string a = table->names[i].code, b = code;
      for (char& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (a == b) return i;
    }
    return -1;
  };
  for (int i = 0; i < 500; ++i) {
    char probe[7] = {};
    const int length = 1 + static_cast<int>(random() % 5);
    for (int k = 0; k < length && k < 6; ++k) probe[k] = letters[random() % 9];
    ASSERT_EQ(table->FindCode(probe), linear(probe)) << probe;
  }

  // Names changed directly (count changed, no rebuild): lookups stay correct.
  std::strcpy(table->names[table->count].code, "ZZZ");
  table->count += 1;
  EXPECT_EQ(table->FindCode("zzz"), table->count - 1);
}

TEST_F(MarketDataTest, FinishNameTableRepairsUntrustedRecords) {
  InstrumentRecord stale = MakeInstrument("1234567", 9, "ABCDEFGHI");   // no terminators
  stale.market = 7;         // a cached table from another slot
  stale.index = 40;
  stale.priceDivisor = 0;
  stale.volumeDivisor = 0;
  TMarketData* table = markets.Add(2, MakeRecord("QH", 2, 4, 3), {MakeInstrument("X"), stale});
  const InstrumentRecord& fixed = table->names[1];
  EXPECT_EQ(fixed.market, 2);
  EXPECT_EQ(+fixed.index, 1);
  EXPECT_STREQ(fixed.code, "123456");
  EXPECT_STREQ(fixed.name, "ABCDEFGH");
  EXPECT_EQ(fixed.category, 2);   // out of range: the last category
  EXPECT_EQ(+fixed.priceDivisor, 1u);
  EXPECT_EQ(+fixed.volumeDivisor, 1u);

  // The reference found by code carries the table's market, not the record's stale byte.
  int hint = 2;
  STKPTR found;
  ASSERT_EQ(FindStkPtrByCode("123456", &hint, &found, false), 1);
  EXPECT_EQ(found.market, 2);
  EXPECT_EQ(+found.index, 1);
  EXPECT_EQ(found.category, 2);

  // More names than capacity are cut at capacity.
  table->count = 99;
  table->FinishNameTable();
  EXPECT_EQ(table->count, 4);
}

TEST_F(MarketDataTest, FindStkPtrByCodeSearchesOtherMarketsOnlyWhenAsked) {
  for (int m = 0; m < 6; ++m) {
    const std::string code = std::string("M").append(std::to_string(m));
    const std::string market = std::string("K").append(std::to_string(m));
    markets.Add(m, MakeRecord(market.c_str()), {MakeInstrument(code.c_str()), MakeInstrument("COMMON")});
  }
  markets.Add(5, MakeRecord("K5"), {MakeInstrument("A"), MakeInstrument("B"), MakeInstrument("ONLY5", 1)});

  int hint = 2;
  STKPTR stk;
  EXPECT_EQ(FindStkPtrByCode("only5", &hint, &stk, false), 0);
  EXPECT_EQ(hint, 2);
  ASSERT_EQ(FindStkPtrByCode("only5", &hint, &stk, true), 1);
  EXPECT_EQ(hint, 5);
  EXPECT_EQ(stk.market, 5);
  EXPECT_EQ(+stk.index, 2);
  EXPECT_EQ(stk.category, 1);

  // The hinted market wins over lower markets holding the same code.
  hint = 3;
  ASSERT_EQ(FindStkPtrByCode("COMMON", &hint, &stk, true), 1);
  EXPECT_EQ(stk.market, 3);
  EXPECT_EQ(hint, 3);

  hint = 6;   // not below MarketCount
  EXPECT_EQ(FindStkPtrByCode("M0", &hint, &stk, true), 0);
  hint = -1;
  EXPECT_EQ(FindStkPtrByCode("M0", &hint, &stk, true), 0);
  hint = 0;
  EXPECT_EQ(FindStkPtrByCode(nullptr, &hint, &stk, true), 0);
  EXPECT_EQ(FindStkPtrByCode("NOWHERE", &hint, &stk, true), 0);
  EXPECT_EQ(hint, 0);

  hint = 1;
  InstrumentRecord* record = FindInstrumentByCode("m4", &hint, true);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(hint, 4);
  EXPECT_EQ(record, &MarketTables[4]->names[0]);
  EXPECT_EQ(FindInstrumentByCode("m4", &hint, false), record);

  int from = 1;
  EXPECT_EQ(FindInstrumentFromMarket("COMMON", &from), &MarketTables[1]->names[1]);
  EXPECT_EQ(from, 1);
  from = 1;
  EXPECT_EQ(FindInstrumentFromMarket("M0", &from), nullptr);   // only from market 1 upward
  EXPECT_EQ(from, 1);
  EXPECT_EQ(FindInstrumentInMarket("M3", 3), &MarketTables[3]->names[0]);
  EXPECT_EQ(FindInstrumentInMarket("M3", 2), nullptr);
  EXPECT_EQ(FindInstrumentInMarket("M3", 6), nullptr);
  EXPECT_EQ(FindInstrumentInTable(MarketTables[0], "m0"), &MarketTables[0]->names[0]);
  EXPECT_EQ(FindInstrumentInTable("", MarketTables[0]), nullptr);
  EXPECT_EQ(FindInstrumentInTable("M0", nullptr), nullptr);

  EXPECT_EQ(FindMarketByCode("k4"), MarketTables[4]);
  EXPECT_EQ(FindMarketByCode(""), nullptr);
  EXPECT_EQ(FindMarketByCode("K9"), nullptr);
}

TEST_F(MarketDataTest, RecordsByReferenceAreNullOutsideTheTables) {
  markets.Add(0, MakeRecord("SH", 1, 8, 2), {MakeInstrument("A", 0), MakeInstrument("B", 1)});
  MarketRecord altRecord = MakeRecord("HK", 6, 8, 2);
  TMarketData* alt = markets.Add(3, altRecord, {MakeInstrument("C", 0)});
  ASSERT_NE(alt->altCodes, nullptr);
  std::strcpy(alt->altCodes[0].code, "E00011");

  EXPECT_EQ(GetInstrumentRecord(STKPTR(0, 0, 1)), &MarketTables[0]->names[1]);
  EXPECT_EQ(GetInstrumentRecord(STKPTR(0, 0, 2)), nullptr);   // index == count
  EXPECT_EQ(MarketTables[0]->GetCategory(2), 1);               // categoryCount - 1
  EXPECT_EQ(GetInstrumentRecord(STKPTR(1, 0, 0)), nullptr);   // empty slot
  EXPECT_EQ(GetInstrumentRecord(STKPTR(4, 0, 0)), nullptr);   // not below MarketCount
  EXPECT_EQ(GetInstrumentRecord(STKPTR()), nullptr);
  EXPECT_STREQ(GetInstrumentExtRecord(STKPTR(3, 0, 0))->code, "E00011");
  EXPECT_EQ(GetInstrumentExtRecord(STKPTR(3, 0, 1)), nullptr);
  EXPECT_EQ(GetInstrumentExtRecord(STKPTR(0, 0, 0)), nullptr);  // no alternative codes
  EXPECT_EQ(MarketTables[0]->altCodes, nullptr);
}

TEST_F(MarketDataTest, NextAndPrevWrapWithinTheMarket) {
  TMarketData* table = markets.Add(0, MakeRecord("SH"), {MakeInstrument("A"), MakeInstrument("B"), MakeInstrument("C", 1)});
  markets.Add(1, MakeRecord("SZ"), {MakeInstrument("D")});
  EXPECT_EQ(NextInstrument(table, STKPTR(0, 0, 0)).index, 1);
  EXPECT_EQ(NextInstrument(table, STKPTR(0, 0, 1)).category, 1);
  EXPECT_EQ(NextInstrument(table, STKPTR(0, 0, 2)).index, 0);
  EXPECT_EQ(NextInstrument(table, STKPTR(0, 0, 40)).index, 0);
  EXPECT_EQ(PrevInstrument(table, STKPTR(0, 0, 0)).index, 2);
  EXPECT_EQ(PrevInstrument(table, STKPTR(0, 0, 2)).index, 1);
  EXPECT_EQ(PrevInstrument(STKPTR(0, 0, 0)).index, 2);
  EXPECT_EQ(NextInstrument(STKPTR(0, 0, 2), table).index, 0);

  const STKPTR other(1, 0, 0);
  EXPECT_EQ(NextInstrument(table, other), other);
  EXPECT_EQ(PrevInstrument(table, other), other);
  EXPECT_EQ(NextInstrument(nullptr, other), other);
  TMarketData* empty = markets.Add(2, MakeRecord("QH"), {});
  EXPECT_EQ(NextInstrument(empty, STKPTR(2, 0, 0)).index, 0);
  EXPECT_EQ(PrevInstrument(STKPTR(2, 0, 5)).index, 5);
}

QuoteRecord FullQuote(std::uint32_t seed) {
  QuoteRecord quote;
  std::memset(&quote, 0, sizeof quote);
  quote.prevClose = seed;
  quote.open = seed + 1;
  quote.high = seed + 2;
  quote.low = seed - 1;
  quote.last = seed + 3;
  quote.volume = 1000.0f;
  quote.amount = 5555.0f;
  quote.bids[0].price = seed;
  quote.asks[4].volume = 3.0f;
  quote.settlement = seed;
  return quote;
}

TEST_F(MarketDataTest, ClearingACategoryKeepsOpenInterestOnlyInFuturesAndRewritesTheFile) {
  for (int kind : {1, 2}) {
    SCOPED_TRACE(kind);
    TMarketData* table = markets.Add(0, MakeRecord("QH", kind, 6, 2),
                                     {MakeInstrument("A", 0), MakeInstrument("B", 1), MakeInstrument("C", 0)});
    for (int i = 0; i < 3; ++i) {
      table->quotes[i] = FullQuote(100 + i);
      table->lastTrades[i].price[0] = 7;
      table->extras[i].filled = 1;
    }
    table->ClearCategory(0);
    for (int i : {0, 2}) {
      const QuoteRecord& q = table->quotes[i];
      EXPECT_EQ(+q.prevClose, 0u);
      EXPECT_EQ(+q.last, 0u);
      EXPECT_EQ(+q.volume, 0.0f);
      EXPECT_EQ(+q.bids[0].price, 0u);
      EXPECT_EQ(+q.settlement, 0u);
      EXPECT_EQ(+q.amount, kind == 2 ? 5555.0f : 0.0f);
      EXPECT_EQ(table->lastTrades[i].price[0], 0u);
      EXPECT_EQ(table->extras[i].filled, 0);
    }
    EXPECT_EQ(+table->quotes[1].last, 104u);   // the other category is untouched
    EXPECT_EQ(table->extras[1].filled, 1);

    const std::string file = ReadBytes(install.data() / "QH" / "real.tst");
    ASSERT_EQ(file.size(), 6 * sizeof(QuoteRecord));   // capacity records
    QuoteRecord saved;
    std::memcpy(&saved, file.data() + sizeof(QuoteRecord), sizeof saved);
    EXPECT_EQ(+saved.last, 104u);
    EXPECT_EQ(file.substr(3 * sizeof(QuoteRecord)), std::string(3 * sizeof(QuoteRecord), '\0'));
  }
}

TEST_F(MarketDataTest, ClearAllQuotesClearsEveryCategoryInOneWrite) {
  TMarketData* table = markets.Add(0, MakeRecord("SH", 1, 4, 3),
                                   {MakeInstrument("A", 0), MakeInstrument("B", 1), MakeInstrument("C", 2)});
  for (int i = 0; i < 3; ++i) table->quotes[i] = FullQuote(50);
  EXPECT_EQ(table->ClearAllQuotes(), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(+table->quotes[i].last, 0u);
  EXPECT_EQ(ReadBytes(install.data() / "SH" / "real.tst"), std::string(4 * sizeof(QuoteRecord), '\0'));
}

TEST_F(MarketDataTest, TheDestructorSavesLoadedQuotesButNeverWipesThemWithNothing) {
  const std::string previous(2 * sizeof(QuoteRecord), 'q');
  WriteBytes(install.data() / "SH" / "real.tst", previous);

  // Names never arrived: nothing to save, the last known quotes stay.
  {
    TMarketData table(0, MakeRecord("SH"));
    table.quotesLoaded = true;
  }
  EXPECT_EQ(ReadBytes(install.data() / "SH" / "real.tst"), previous);

  // Names arrived but the quotes were never loaded (a failed load): the file stays too.
  {
    TMarketData table(0, MakeRecord("SH"));
    table.names[0] = MakeInstrument("A");
    table.count = 1;
  }
  EXPECT_EQ(ReadBytes(install.data() / "SH" / "real.tst"), previous);

  {
    TMarketData table(0, MakeRecord("SH"));
    table.names[0] = MakeInstrument("A");
    table.count = 1;
    table.quotesLoaded = true;
    table.quotes[0] = FullQuote(9);
  }
  const std::string saved = ReadBytes(install.data() / "SH" / "real.tst");
  ASSERT_EQ(saved.size(), sizeof(QuoteRecord));
  const QuoteRecord expected = FullQuote(9);
  EXPECT_EQ(std::memcmp(saved.data(), &expected, sizeof expected), 0);
}

TEST_F(MarketDataTest, FilePathsRefuseCodesAndExtensionsThatLeaveTheDataFolder) {
  struct Case {
    const char* code;
    const char* ext;
    bool ok;
  } cases[] = {
      {"SH", "sh", true}, {"..", "sh", false}, {"a\\b", "sh", false}, {"SH", "x/y", false},
      {"SH", "", false},  {"", "sh", false},   {"S:", "sh", false},   {"SH", "s\\..", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " / " + c.ext);
    MarketRecord record = MakeRecord("SH");
    std::memset(record.code, 0, sizeof record.code);
    std::memset(record.fileExt, 0, sizeof record.fileExt);
    std::strcpy(record.code, c.code);
    std::strcpy(record.fileExt, c.ext);
    TMarketData table(0, record);
    char path[MAX_PATH];
    EXPECT_EQ(table.MarketFilePath("real", path, sizeof path), c.ok);
    if (c.ok) {
      EXPECT_STREQ(path, "..\\data\\SH\\real.sh");
    } else {
      EXPECT_STREQ(path, "");
      EXPECT_FALSE(table.WriteQuoteFile(0));
    }
  }
  char tiny[8];
  TMarketData table(0, MakeRecord("SH"));
  EXPECT_FALSE(table.MarketFilePath("nametbl", tiny, sizeof tiny));
}

}  // namespace
