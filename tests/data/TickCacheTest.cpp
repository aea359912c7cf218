#include "data/TickCache.h"

#include "core/GuardedAlloc.h"
#include "data/CacheTestMarket.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using cachetest::Bytes;
using cachetest::RecordingClient;
using cachetest::SetWriteTimeUtc;
using cachetest::TestMarket;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

std::vector<TradeRecord> Trades(int n) {
  std::vector<TradeRecord> trades(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    trades[i].time = MakePackedTime(2008, 6, 17, 9, 30 + i % 30);
    trades[i].price = 1000 + static_cast<std::uint32_t>(i);
    trades[i].volume = static_cast<float>(i + 1);
    trades[i].direction = static_cast<std::uint8_t>(i % 3);
  }
  return trades;
}

std::string DetailsFile(int minutes, TradeDetailsHeader head = {1.5f, 2.5f, 990, 7.0f}) {
  std::string bytes = Bytes(head);
  for (int i = 0; i < minutes; ++i) {
    TodayMinuteRecord minute{};
    minute.price = 1000 + static_cast<std::uint32_t>(i);
    minute.cumVolume = static_cast<float>(10 * (i + 1));
    bytes += Bytes(minute);
  }
  return bytes;
}

class TickCacheTest : public ::testing::Test {
 protected:
  std::filesystem::path TickDir() const { return cachetest::MarketDir(install) / "tick"; }
  std::filesystem::path Tik() const { return TickDir() / "600000.tik"; }

  // Tuesday 2008-06-17, 16:00 market time, after the day change.
  void TuesdayAfternoon() {
    market.SetClock(MakePackedTime(2008, 6, 17, 16, 0), MakePackedTime(2008, 6, 17));
  }

  TempInstall install;
  TestMarket market;
};

struct StaleCase {
  const char* name;
  PackedTime now;
  PackedTime tradingDate;
  int year, month, day, hour, minute;  // last write, UTC (market time - 8 hours)
  bool kept;
};

TEST_F(TickCacheTest, StaleRuleJudgesTheLastWriteInMarketTime) {
  const PackedTime tuesday = MakePackedTime(2008, 6, 17);
  const PackedTime monday = MakePackedTime(2008, 6, 16);
  const StaleCase cases[] = {
      {"after close today", MakePackedTime(2008, 6, 17, 16, 0), tuesday, 2008, 6, 17, 7, 10, true},
      {"before the day change today", MakePackedTime(2008, 6, 17, 16, 0), tuesday, 2008, 6, 17, 0, 30, false},
      {"yesterday", MakePackedTime(2008, 6, 17, 16, 0), tuesday, 2008, 6, 16, 7, 10, false},
      // The day changes at 08:52 (day-change minute + 2): 08:51 still holds the previous day.
      {"one minute before the change", MakePackedTime(2008, 6, 17, 16, 0), tuesday, 2008, 6, 17, 0, 51, false},
      {"at the change", MakePackedTime(2008, 6, 17, 16, 0), tuesday, 2008, 6, 17, 0, 52, true},
      {"Saturday, early", MakePackedTime(2008, 6, 21, 10, 0), MakePackedTime(2008, 6, 20), 2008, 6, 20, 22, 0, true},
      {"Saturday, trading date moved", MakePackedTime(2008, 6, 21, 10, 0), MakePackedTime(2008, 6, 21), 2008, 6, 20, 22, 0, true},
      {"before today's change, trading date yesterday", MakePackedTime(2008, 6, 17, 8, 0), monday, 2008, 6, 16, 22, 0, true},
      // 23:30 UTC on Monday is 07:30 on Tuesday in a market of +8 hours.
      {"hour offset carries into the next day", MakePackedTime(2008, 6, 17, 8, 0), monday, 2008, 6, 16, 23, 30, true},
      {"hour offset, still the day before", MakePackedTime(2008, 6, 17, 8, 0), monday, 2008, 6, 16, 15, 30, false},
  };
  for (const StaleCase& c : cases) {
    SCOPED_TRACE(c.name);
    market.SetClock(c.now, c.tradingDate);
    WriteBytes(Tik(), Bytes(Trades(2)));
    SetWriteTimeUtc(Tik(), c.year, c.month, c.day, c.hour, c.minute);
    EXPECT_EQ(CountTickFile(market.table, 0), c.kept ? 2 : 0);
    EXPECT_EQ(std::filesystem::exists(Tik()), c.kept);
  }
}

TEST_F(TickCacheTest, StaleRuleAppliesToEachOfTheThreeFiles) {
  TuesdayAfternoon();
  const auto nnt = TickDir() / "600000.nnt";
  const auto trd = TickDir() / "600000.TRD";
  WriteBytes(nnt, Bytes(Trades(3)));
  WriteBytes(trd, DetailsFile(3));
  SetWriteTimeUtc(nnt, 2008, 6, 16, 7, 0);
  SetWriteTimeUtc(trd, 2008, 6, 16, 7, 0);
  std::vector<TodayMinuteRecord> minutes(3);
  int count = 3;
  EXPECT_EQ(CountRecentFile(market.table, 0), 0);
  EXPECT_EQ(ReadTradeDetailsFile(market.table, 0, minutes.data(), &count, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(nnt));
  EXPECT_FALSE(std::filesystem::exists(trd));

  WriteBytes(nnt, Bytes(Trades(3)));
  SetWriteTimeUtc(nnt, 2008, 6, 17, 7, 0);
  EXPECT_EQ(DeleteStaleRecentFile(market.table, 0), 0);
  EXPECT_EQ(CountRecentFile(market.table, 0), 3);
}

TEST_F(TickCacheTest, TradeDetailsCountWholeMinutesAfterTheHead) {
  TuesdayAfternoon();
  const auto trd = TickDir() / "600000.TRD";
  struct {
    std::string bytes;
    int records;
  } cases[] = {
      {DetailsFile(3), 3},
      {DetailsFile(3) + "xyz", 3},   // a torn last record is not counted
      {std::string(10, '\1'), 0},    // shorter than the head
      {DetailsFile(0), 0},
  };
  for (auto& c : cases) {
    WriteBytes(trd, c.bytes);
    SetWriteTimeUtc(trd, 2008, 6, 17, 7, 10);
    EXPECT_EQ(CountTradeDetailsFile(market.table, 0), c.records);
  }
}

TEST_F(TickCacheTest, TradeDetailsReadGivesTheHeadOnlyWhenTheFileHasOne) {
  TuesdayAfternoon();
  const auto trd = TickDir() / "600000.TRD";
  std::vector<TodayMinuteRecord> minutes(8);
  float buy = -1, sell = -1, amount = -1;
  std::uint32_t price = 12345;

  WriteBytes(trd, DetailsFile(3));
  SetWriteTimeUtc(trd, 2008, 6, 17, 7, 10);
  int count = 8;
  ASSERT_EQ(ReadTradeDetailsFile(market.table, 0, minutes.data(), &count, &buy, &sell, &price, &amount), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(minutes[2].price, 1002u);
  EXPECT_FLOAT_EQ(buy, 1.5f);
  EXPECT_FLOAT_EQ(sell, 2.5f);
  EXPECT_EQ(price, 990u);
  EXPECT_FLOAT_EQ(amount, 7.0f);

  WriteBytes(trd, std::string(10, '\1'));
  SetWriteTimeUtc(trd, 2008, 6, 17, 7, 10);
  buy = sell = amount = -1;
  price = 12345;
  count = 8;
  ASSERT_EQ(ReadTradeDetailsFile(market.table, 0, minutes.data(), &count, &buy, &sell, &price, &amount), 1);
  EXPECT_EQ(count, 0);
  EXPECT_FLOAT_EQ(buy, -1);
  EXPECT_EQ(price, 12345u);
}

TEST_F(TickCacheTest, AccessGivesTheHeadOfADetailsFileAlsoWithoutMinutes) {
  TuesdayAfternoon();
  const auto trd = TickDir() / "600000.TRD";
  struct {
    const char* name;
    std::string bytes;
    int records;
    bool head;
  } cases[] = {
      {"head and minutes", DetailsFile(2), 2, true},
      {"head alone, before the first trade", DetailsFile(0), 0, true},
      {"head and a torn minute", DetailsFile(0) + "xyz", 0, true},
      {"shorter than the head", std::string(10, '\1'), 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(trd, c.bytes);
    SetWriteTimeUtc(trd, 2008, 6, 17, 7, 10);
    TodayMinuteRecord* minutes = nullptr;
    int count = -1;
    float buy = -1, sell = -1, amount = -1;
    std::uint32_t price = 12345;
    ASSERT_EQ(ReadTradeDetailsOrRequest(&minutes, STKPTR(0, 0, 0), &count, &buy, &sell, &price, &amount, 0), 1);
    EXPECT_EQ(count, c.records);
    EXPECT_FLOAT_EQ(buy, c.head ? 1.5f : 0);
    EXPECT_FLOAT_EQ(sell, c.head ? 2.5f : 0);
    EXPECT_EQ(price, c.head ? 990u : 0u);
    EXPECT_FLOAT_EQ(amount, c.head ? 7.0f : 0);
    GuardedFree(minutes);
  }
}

TEST_F(TickCacheTest, ReadTakesAtMostTheGivenCountFromTheStart) {
  TuesdayAfternoon();
  WriteBytes(Tik(), Bytes(Trades(40)));
  SetWriteTimeUtc(Tik(), 2008, 6, 17, 7, 10);
  std::vector<TradeRecord> buffer(100);
  for (int given : {100, 10, 0, -5}) {
    int count = given;
    ASSERT_EQ(ReadTickFile(market.table, 0, buffer.data(), &count), 1);
    EXPECT_EQ(count, given >= 40 ? 40 : (given > 0 ? given : 0));
  }
  EXPECT_EQ(buffer[0].price, 1000u);
  EXPECT_EQ(buffer[39].price, 1039u);
}

TEST_F(TickCacheTest, FileOperationsRefuseMissingFilesAndPositionsOutsideTheTable) {
  TuesdayAfternoon();
  std::vector<TradeRecord> buffer(4);
  int count = 4;
  EXPECT_EQ(ReadTickFile(market.table, 0, buffer.data(), &count), 0);   // no file
  EXPECT_EQ(ReadTickFile(market.table, 0, nullptr, &count), 0);
  for (int position : {-1, 3, 1000}) {
    EXPECT_EQ(CountTickFile(market.table, position), 0);
    EXPECT_EQ(ReadTickFile(market.table, position, buffer.data(), &count), 0);
    EXPECT_EQ(DeleteStaleTickFile(market.table, position), 0);
  }
  EXPECT_EQ(CountTickFile(nullptr, 0), 0);
}

TEST_F(TickCacheTest, RequesterZeroNeverAsksTheServer) {
  TuesdayAfternoon();
  RecordingClient client;
  TradeRecord* buffer = nullptr;
  int count = -1;
  EXPECT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 0), 1);
  EXPECT_EQ(count, 0);
  WriteBytes(Tik(), Bytes(Trades(5)));
  SetWriteTimeUtc(Tik(), 2008, 6, 17, 7, 10);
  EXPECT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 0), 1);
  EXPECT_EQ(count, 5);
  EXPECT_TRUE(client.calls.empty());
  GuardedFree(buffer);
}

TEST_F(TickCacheTest, AccessAsksTheServerWithAndWithoutCachedData) {
  TuesdayAfternoon();
  RecordingClient client;
  TradeRecord* trades = nullptr;
  TodayMinuteRecord* minutes = nullptr;
  int count = 0;
  float buy = -1, sell = -1, amount = -1;
  std::uint32_t price = 9;

  // Nothing cached: asked, count 0, head zeroed.
  EXPECT_EQ(ReadTradeDetailsOrRequest(&minutes, STKPTR(0, 0, 1), &count, &buy, &sell, &price, &amount, 77), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(price, 0u);
  EXPECT_FLOAT_EQ(buy, 0);

  WriteBytes(TickDir() / "600000.nnt", Bytes(Trades(4)));
  SetWriteTimeUtc(TickDir() / "600000.nnt", 2008, 6, 17, 7, 10);
  EXPECT_EQ(ReadRecentTradesOrRequest(&trades, STKPTR(0, 0, 0), &count, 78), 1);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(trades[3].price, 1003u);

  ASSERT_EQ(client.calls.size(), 2u);
  EXPECT_EQ(client.calls[0].op, "RequestTradeDetails");
  EXPECT_EQ(client.calls[0].args, (std::vector<std::int64_t>{0, 1, 77}));
  EXPECT_EQ(client.calls[1].op, "RequestRecentTicks");
  EXPECT_EQ(client.calls[1].args, (std::vector<std::int64_t>{0, 0, 30, 78}));
  GuardedFree(trades);
  GuardedFree(minutes);
}

TEST_F(TickCacheTest, AccessWithoutClientReadsOnlyTheCache) {
  TuesdayAfternoon();
  WriteBytes(Tik(), Bytes(Trades(6)));
  SetWriteTimeUtc(Tik(), 2008, 6, 17, 7, 10);
  TradeRecord* buffer = nullptr;
  int count = 0;
  EXPECT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 5), 1);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(CountCachedTicks(STKPTR(0, 0, 0)), 6);
  GuardedFree(buffer);
}

TEST_F(TickCacheTest, UnknownInstrumentGivesNothingAndAsksNothing) {
  TuesdayAfternoon();
  RecordingClient client;
  TradeRecord* buffer = nullptr;
  int count = 3;
  EXPECT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 3), &count, 5), 0);
  EXPECT_EQ(ReadTicksOrRequest(&buffer, STKPTR(7, 0, 0), &count, 5), 0);
  EXPECT_EQ(ReadTicksOrRequest(nullptr, STKPTR(0, 0, 0), &count, 5), 0);
  EXPECT_EQ(CountCachedTicks(STKPTR(0, 0, 0xFFFF)), 0);
  EXPECT_TRUE(client.calls.empty());
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(TickCacheTest, BufferIsKeptWhileItsGuardedSizeHoldsTheRecords) {
  TuesdayAfternoon();
  auto* buffer = static_cast<TradeRecord*>(GuardedAlloc(400));
  TradeRecord* const original = buffer;
  int count = 0;

  WriteBytes(Tik(), Bytes(Trades(20)));
  SetWriteTimeUtc(Tik(), 2008, 6, 17, 7, 10);
  ASSERT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 0), 1);
  EXPECT_EQ(buffer, original);
  EXPECT_EQ(count, 20);

  WriteBytes(Tik(), Bytes(Trades(21)));
  SetWriteTimeUtc(Tik(), 2008, 6, 17, 7, 10);
  ASSERT_EQ(ReadTicksOrRequest(&buffer, STKPTR(0, 0, 0), &count, 0), 1);
  EXPECT_EQ(count, 21);
  EXPECT_GE(GuardedSize(buffer), 21u * sizeof(TradeRecord));
  EXPECT_EQ(buffer[20].price, 1020u);
  GuardedFree(buffer);
}

}  // namespace
