// Whether a cache file is current: the cycle to bar-file map, the trading-day rule around the
// day change and weekends, the freshness test for bars (which never stamps the file), the
// trading-day kinds and the information index, the trim of bar files written before today,
// and the ticks / trade-details rule (which agrees with the tick cache's own reader).
#include "net/CacheFreshness.h"

#include "data/TickCache.h"
#include "data/UtilData.h"
#include "net/FreshnessTestSupport.h"
#include "net/RequestRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace freshnesstest;

TEST(BarFileKindForCycle, EveryCycleHasItsFile) {
  struct Case {
    int cycle, n, kind;
  };
  const Case cases[] = {
      {0, 0, 1},  {1, 0, 1},   {2, 0, 1},   {3, 1, 1},   {3, 7, 1},   {3, 5, 4},   {3, 45, 4},  {3, 120, 7},
      {3, 0, 7},  {4, 0, 4},   {5, 0, 4},   {6, 0, 4},   {7, 0, 7},   {8, 0, 8},   {9, 0, 8},   {10, 0, 8},
      {11, 0, 8}, {12, 3, 8},  {13, 0, 7},  {14, 0, 7},  {15, 0, 4},  {99, 0, 4},  {-1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cycle " << c.cycle << " n " << c.n);
    EXPECT_EQ(BarFileKindForCycle(c.cycle, c.n), c.kind);
  }
}

class FreshnessTest : public testing::Test {
 protected:
  fs::path File(const char* sub, const std::string& name) const { return m_.Folder(sub) / name; }
  bool Check(int kind, const char* sub, const std::string& name, std::uint32_t* a, std::uint32_t* b, bool older = false,
             PackedTime login = Day(kWednesday, 6, 0)) {
    return CheckCacheFreshness(kind, m_.table(), 0, CacheMarket::Path(sub, name).c_str(), a, b, older, login);
  }

  CacheMarket m_;
};

TEST_F(FreshnessTest, TradingDayTurnsAtTheDayChangeAndSkipsWeekends) {
  struct Case {
    const char* what;
    PackedTime now, written;
    bool current;
  };
  const Case cases[] = {
      {"written yesterday after the change, read before today's", Day(kWednesday, 7, 0), Day(kTuesday, 16, 0), true},
      {"written yesterday before its change", Day(kWednesday, 7, 0), Day(kTuesday, 8, 0), false},
      {"written today after the change", Day(kWednesday, 10, 0), Day(kWednesday, 9, 0), true},
      {"written today one minute before the day turned", Day(kWednesday, 10, 0), Day(kWednesday, 8, 51), false},
      {"written today as the day turned", Day(kWednesday, 10, 0), Day(kWednesday, 8, 52), true},
      {"written yesterday, read after today's change", Day(kWednesday, 10, 0), Day(kTuesday, 16, 0), false},
      {"written on Saturday, read on Monday before the change", Day(kMonday, 7, 0), Day(kSaturday, 10, 0), true},
      {"written on Friday, read on Saturday", Day(kSaturday, 10, 0), Day(kFriday, 16, 0), true},
      {"written on Friday, read on Monday after the change", Day(kMonday, 10, 0), Day(kFriday, 16, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_.SetClock(c.now);
    EXPECT_EQ(IsCurrentTradingDay(m_.table(), 0, c.written), c.current);

    // The same through the freshness test of an ex-rights file: a stale one goes.
    WriteFileAt(File("weight", "600000.wgt"), "weights", c.written);
    std::uint32_t a = 99, b = 99;
    EXPECT_EQ(Check(kRequestExRights, "weight", "600000.wgt", &a, &b), !c.current);
    EXPECT_EQ(fs::exists(File("weight", "600000.wgt")), c.current);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 0u);
  }
}

TEST_F(FreshnessTest, AMissingFileAsksForEverything) {
  for (int kind : {6, 7, 8, 13, 26, 35, 99}) {
    SCOPED_TRACE(kind);
    std::uint32_t a = kBarFile5Min, b = 1;
    EXPECT_TRUE(Check(kind, "min", "600000.min", &a, &b));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 0u);
  }
}

TEST_F(FreshnessTest, NewerBarsAreAskedFromTheDayAfterTheLastBarOncePerDayWithoutStampingTheFile) {
  struct Case {
    const char* what;
    PackedTime lastBar, written;
    bool ask;
    std::uint32_t from;
  };
  const Case cases[] = {
      {"last bar Monday, file from yesterday", Day(kMonday, 15, 0), Day(kTuesday, 16, 0), true, Day(kTuesday)},
      {"last bar yesterday", Day(kTuesday, 15, 0), Day(kTuesday, 16, 0), false, 0},
      {"last bar Monday, file written today: answered today", Day(kMonday, 15, 0), Day(kWednesday, 9, 30), false, 0},
      {"written last night in UTC, this morning in market time", Day(kMonday, 15, 0), Day(kWednesday, 2, 0), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileAt(File("day", "600000.day"), BarBytes({Day(kFriday), c.lastBar}), c.written);
    const auto before = WriteTimeOf(File("day", "600000.day"));
    std::uint32_t a = kBarFileDay, b = 0;
    EXPECT_EQ(Check(kRequestDayBars, "day", "600000.day", &a, &b), c.ask);
    EXPECT_EQ(a, c.from);
    EXPECT_EQ(b, 0u);
    // A reply that never comes must leave the file to be asked again.
    EXPECT_EQ(WriteTimeOf(File("day", "600000.day")), before);
    EXPECT_EQ(Check(kRequestDayBars, "day", "600000.day", &a, &b), c.ask);
  }

  // Less than one whole bar: everything.
  WriteFileAt(File("min", "600000.min"), std::string(31, 'x'), Day(kTuesday, 16, 0));
  std::uint32_t a = kBarFile5Min, b = 0;
  EXPECT_TRUE(Check(kRequestIntradayBars, "min", "600000.min", &a, &b));
  EXPECT_EQ(a, 0u);
}

TEST_F(FreshnessTest, OlderBarsEndJustBeforeTheFirstBar) {
  struct Case {
    const char* what;
    int kind;
    PackedTime first;
    std::uint32_t to;
  };
  const Case cases[] = {
      {"day file", kRequestDayBars, MakePackedTime(2024, 3, 1), MakePackedTime(2024, 2, 29)},
      {"day file, time bits dropped", kRequestDayBars, MakePackedTime(2024, 1, 1, 15, 0), MakePackedTime(2023, 12, 31)},
      {"minute", kRequestIntradayBars, Day(kMonday, 9, 30), Day(kMonday, 9, 29)},
      {"top of the hour", kRequestIntradayBars, Day(kMonday, 10, 0), Day(kMonday, 9, 59)},
      {"midnight", kRequestIntradayBars, MakePackedTime(2024, 3, 1, 0, 0), MakePackedTime(2024, 2, 29, 23, 59)},
      {"no valid time", kRequestIntradayBars, MakePackedTime(2024, 13, 1, 9, 30), MakePackedTime(2024, 13, 1, 9, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileAt(File("min", "600000.min"), BarBytes({c.first, Day(kTuesday, 15, 0)}), Day(kTuesday, 16, 0));
    std::uint32_t a = 4, b = 0;
    EXPECT_TRUE(Check(c.kind, "min", "600000.min", &a, &b, true));
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, c.to);
  }

  // A file that holds the bar limit asks for nothing older.
  const int savedLimit = MaxDataRecords;
  MaxDataRecords = kMinMaxDataRecords;
  WriteFileAt(File("min", "600000.min"), BarBytes(MinutesOf(Day(kTuesday), kMinMaxDataRecords)), Day(kTuesday, 16, 0));
  std::uint32_t a = 4, b = 0;
  EXPECT_FALSE(Check(kRequestIntradayBars, "min", "600000.min", &a, &b, true));
  MaxDataRecords = savedLimit;
}

TEST_F(FreshnessTest, TradingDayKindsKeepACurrentFileAndDeleteAStaleOne) {
  for (int kind : {kRequestCompanyText, kRequestExRights, kRequestNotesList}) {
    SCOPED_TRACE(kind);
    WriteFileAt(File("weight", "x.f"), "data", Day(kWednesday, 9, 0));
    std::uint32_t a = 0, b = 0;
    EXPECT_FALSE(Check(kind, "weight", "x.f", &a, &b));
    EXPECT_TRUE(fs::exists(File("weight", "x.f")));
    SetLocalWriteTime(File("weight", "x.f"), Day(kWednesday, 8, 0));
    EXPECT_TRUE(Check(kind, "weight", "x.f", &a, &b));
    EXPECT_FALSE(fs::exists(File("weight", "x.f")));
  }
}

TEST_F(FreshnessTest, AnInformationIndexIsKeptOnlyWhileWrittenSinceTheLoginOnTheTradingDay) {
  const PackedTime login = Day(kWednesday, 1, 30);   // UTC: 09:30 in market time
  struct Case {
    const char* what;
    PackedTime written;   // local
    std::uint32_t mode;
    bool ask, deleted;
    std::uint32_t held;
  };
  const Case cases[] = {
      {"written before the login", Day(kWednesday, 9, 29), 3, true, true, 0},
      {"written in the login's minute", Day(kWednesday, 9, 30), 3, true, false, 10},
      {"index 1, current", Day(kWednesday, 10, 0), 1, false, false, 0},
      {"index 2, current", Day(kWednesday, 10, 0), 2, false, false, 0},
      {"index 3, current: from the records held", Day(kWednesday, 10, 0), 3, true, false, 10},
      {"any other number, current", Day(kWednesday, 10, 0), 7, true, false, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileAt(File("base", "6000003.idx"), std::string(2560, 'i'), c.written);
    WriteFileAt(File("base", "6000003.txt"), "text", c.written);
    std::uint32_t a = 0, b = c.mode;
    EXPECT_EQ(Check(kRequestInfoIndex, "base", "6000003.idx", &a, &b, false, login), c.ask);
    EXPECT_EQ(a, c.held);
    EXPECT_EQ(fs::exists(File("base", "6000003.idx")), !c.deleted);
    EXPECT_EQ(fs::exists(File("base", "6000003.txt")), !c.deleted);
  }

  // Written after the login, but on a trading day that has passed since.
  m_.SetClock(Day(kThursday, 10, 0));
  WriteFileAt(File("base", "6000001.idx"), std::string(256, 'i'), Day(kWednesday, 10, 0));
  WriteFileAt(File("base", "6000001.txt"), "text", Day(kWednesday, 10, 0));
  std::uint32_t a = 0, b = 1;
  EXPECT_TRUE(Check(kRequestInfoIndex, "base", "6000001.idx", &a, &b, false, login));
  EXPECT_EQ(a, 0u);
  EXPECT_FALSE(fs::exists(File("base", "6000001.idx")));
  EXPECT_FALSE(fs::exists(File("base", "6000001.txt")));
}

// ---- The trim ---------------------------------------------------------------------------------

class TrimTest : public FreshnessTest {
 protected:
  // Writes the bars, trims, and gives the times of the bars kept; the write time must survive.
  std::vector<PackedTime> Trim(int fileKind, const std::vector<PackedTime>& times, PackedTime written) {
    const fs::path file = File("min", "600000.min");
    WriteFileAt(file, BarBytes(times), written);
    const auto before = WriteTimeOf(file);
    TrimBarFile(CacheMarket::Path("min", "600000.min").c_str(), m_.table(), fileKind);
    EXPECT_EQ(WriteTimeOf(file), before);
    const std::string bytes = testsupport::ReadBytes(file);
    std::vector<PackedTime> kept(bytes.size() / sizeof(ChartBar));
    for (std::size_t i = 0; i < kept.size(); ++i) std::memcpy(&kept[i], bytes.data() + i * sizeof(ChartBar), 4);
    return kept;
  }
};

TEST_F(TrimTest, ADayFileFromBeforeTodayLosesItsLastFiveBars) {
  std::vector<PackedTime> days;
  for (int d = 1; d <= 8; ++d) days.push_back(MakePackedTime(2024, 3, d));
  EXPECT_EQ(Trim(kBarFileDay, days, Day(kTuesday, 16, 0)), std::vector<PackedTime>(days.begin(), days.begin() + 3));
  EXPECT_TRUE(Trim(kBarFileDay, {Day(1), Day(4), Day(5)}, Day(kTuesday, 16, 0)).empty());
  // Written today: untouched.
  EXPECT_EQ(Trim(kBarFileDay, days, Day(kWednesday, 9, 0)), days);
}

TEST_F(TrimTest, AnIntradayFileFromBeforeTodayLosesItsLastDate) {
  const std::vector<PackedTime> monday = MinutesOf(Day(kMonday), 3);
  const std::vector<PackedTime> tuesday = MinutesOf(Day(kTuesday), 4);
  EXPECT_EQ(Trim(kBarFile5Min, Concat(monday, tuesday), Day(kTuesday, 16, 0)), monday);
  EXPECT_TRUE(Trim(kBarFile5Min, tuesday, Day(kTuesday, 16, 0)).empty());
  EXPECT_TRUE(Trim(kBarFile1Min, {Day(kMonday, 9, 0)}, Day(kTuesday, 16, 0)).empty());
  EXPECT_EQ(Trim(kBarFile5Min, Concat(monday, tuesday), Day(kWednesday, 9, 0)), Concat(monday, tuesday));

  // 1500 minutes: with the bar 1440 before the last on another date the last date is cut...
  const std::vector<PackedTime> early = MinutesOf(Day(kMonday), 100);
  EXPECT_EQ(Trim(kBarFile1Min, Concat(early, MinutesOf(Day(kTuesday), 1400, 0)), Day(kTuesday, 16, 0)), early);
  // ...with it on the last date, more than a day of minutes on one date: the file is emptied
  // (the last date begins before the 1444 bars looked at).
  EXPECT_TRUE(Trim(kBarFile1Min, Concat(MinutesOf(Day(kMonday), 50), MinutesOf(Day(kTuesday), 1450, 0)),
                   Day(kTuesday, 16, 0))
                  .empty());
}

// ---- Ticks and trade details ------------------------------------------------------------------

class TradeFileTest : public FreshnessTest {
 protected:
  std::string TickBytes(int count, float lastVolume = 10) {
    std::vector<TradeRecord> trades(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      trades[static_cast<std::size_t>(i)].time = Day(kWednesday, 9, 30 + i);
      trades[static_cast<std::size_t>(i)].price = 1000u + static_cast<std::uint32_t>(i);
      trades[static_cast<std::size_t>(i)].volume = i + 1 == count ? lastVolume : 1;
    }
    return Bytes(trades);
  }
  bool Rule(const char* name, bool details, std::uint32_t* held, int index = 0) {
    return CheckTradeFileRule(m_.table(), index, CacheMarket::Path("tick", name).c_str(), details, held);
  }
  QuoteRecord& Quote(int index = 0) { return m_.table()->quotes[index]; }
};

TEST_F(TradeFileTest, TheTickFileOfTheTradingDayIsAskedFromTheRecordsHeld) {
  struct Case {
    const char* what;
    PackedTime now, tradingDate, written;
    bool ask, kept;
  };
  const Case cases[] = {
      {"written today before the day turned", Day(kWednesday, 10, 0), Day(kWednesday), Day(kWednesday, 8, 40), true, false},
      {"written one minute before it turned", Day(kWednesday, 10, 0), Day(kWednesday), Day(kWednesday, 8, 51), true, false},
      {"written as the day turned", Day(kWednesday, 10, 0), Day(kWednesday), Day(kWednesday, 8, 52), true, true},
      {"written during trading", Day(kWednesday, 10, 0), Day(kWednesday), Day(kWednesday, 9, 45), true, true},
      {"written yesterday", Day(kWednesday, 10, 0), Day(kWednesday), Day(kTuesday, 15, 0), true, false},
      {"a Saturday's file on Saturday", Day(kSaturday, 10, 0), Day(kFriday), Day(kSaturday, 9, 0), false, true},
      {"before today's trading day began", Day(kWednesday, 7, 0), Day(kTuesday), Day(kWednesday, 6, 0), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    m_.SetClock(c.now, c.tradingDate);
    WriteFileAt(File("tick", "600000.tik"), TickBytes(4), c.written);
    std::uint32_t held = 99;
    EXPECT_EQ(Rule("600000.tik", false, &held), c.ask);
    EXPECT_EQ(held, c.kept ? 4u : 0u);
    EXPECT_EQ(fs::exists(File("tick", "600000.tik")), c.kept);

    // The tick cache's reader comes to the same verdict on the same file.
    WriteFileAt(File("tick", "600001.tik"), TickBytes(4), c.written);
    EXPECT_EQ(DeleteStaleTickFile(m_.table(), 1), c.kept ? 0 : 1);
  }

  std::uint32_t held = 99;
  EXPECT_TRUE(Rule("IF08.tik", false, &held));   // missing
  EXPECT_EQ(held, 0u);
}

TEST_F(TradeFileTest, TheLastTradeGivesTheQuoteItsPriceOnly) {
  WriteFileAt(File("tick", "600000.tik"), TickBytes(3, 500), Day(kWednesday, 9, 40));
  Quote().volume = 400;
  Quote().last = 1;
  std::uint32_t held = 0;
  EXPECT_TRUE(Rule("600000.tik", false, &held));
  EXPECT_EQ(Quote().last, 1002u);
  EXPECT_EQ(Quote().volume, 400.0f);

  // A quote that has seen more volume keeps its price.
  Quote().last = 1;
  Quote().volume = 600;
  EXPECT_TRUE(Rule("600000.tik", false, &held));
  EXPECT_EQ(Quote().last, 1u);

  // A stale file gives nothing.
  Quote().volume = 0;
  SetLocalWriteTime(File("tick", "600000.tik"), Day(kTuesday, 15, 0));
  EXPECT_TRUE(Rule("600000.tik", false, &held));
  EXPECT_EQ(Quote().last, 1u);
}

TEST_F(TradeFileTest, TradeDetailsCountAfterTheirHeadAndGiveTheMinutesVolume) {
  std::string bytes(16, '\0');
  std::vector<TodayMinuteRecord> minutes(3);
  for (std::size_t i = 0; i < minutes.size(); ++i) {
    minutes[i].price = 2000u + static_cast<std::uint32_t>(i);
    minutes[i].cumVolume = 100.0f * static_cast<float>(i + 1);
  }
  WriteFileAt(File("tick", "600000.TRD"), bytes + Bytes(minutes) + "part", Day(kWednesday, 9, 40));
  Quote().volume = 250;
  std::uint32_t held = 0;
  EXPECT_TRUE(Rule("600000.TRD", true, &held));
  EXPECT_EQ(held, 3u);
  EXPECT_EQ(Quote().last, 2002u);
  EXPECT_EQ(Quote().volume, 300.0f);

  // Shorter than its head: nothing held.
  WriteFileAt(File("tick", "600000.TRD"), std::string(10, '\0'), Day(kWednesday, 9, 40));
  EXPECT_TRUE(Rule("600000.TRD", true, &held));
  EXPECT_EQ(held, 0u);
}

}  // namespace
