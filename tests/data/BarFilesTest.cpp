#include "data/BarFiles.h"

#include "core/GuardedAlloc.h"
#include "data/CacheTestMarket.h"
#include "data/UtilData.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <vector>

using cachetest::Bar;
using cachetest::Bytes;
using cachetest::RecordingClient;
using cachetest::TestMarket;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

// n bars numbered by their close (close = 1000 + i), with increasing times.
std::vector<ChartBar> NumberedBars(int n) {
  std::vector<ChartBar> bars;
  PackedTime day = MakePackedTime(2001, 1, 1);
  for (int i = 0; i < n; ++i) {
    bars.push_back(Bar(day, 1000 + static_cast<std::uint32_t>(i)));
    NextDay(&day);
  }
  return bars;
}

// Day bars Monday 2008-06-16 to Friday 06-20 and Monday 06-23.
std::vector<ChartBar> TwoWeeks() {
  std::vector<ChartBar> bars;
  for (int day : {16, 17, 18, 19, 20, 23}) bars.push_back(Bar(MakePackedTime(2008, 6, day), 100u * day));
  return bars;
}

class BarFilesTest : public ::testing::Test {
 protected:
  std::filesystem::path File(const char* folder, const char* name) const {
    return cachetest::MarketDir(install) / folder / name;
  }

  TempInstall install;
  TestMarket market;   // maxMinutesPerDay 270
};

TEST(FindBarByTime, FindsOnlyExactTimes) {
  std::vector<ChartBar> bars = {Bar(100, 1), Bar(200, 2), Bar(300, 3)};
  struct {
    std::uint32_t key;
    int index;
  } cases[] = {{100, 0}, {200, 1}, {300, 2}, {250, -1}, {50, -1}, {350, -1}, {150, -1}};
  for (auto c : cases) EXPECT_EQ(FindBarByTime(bars.data(), 3, c.key), c.index) << c.key;
  EXPECT_EQ(FindBarByTime(bars.data(), 0, 100), -1);
  EXPECT_EQ(FindBarByTime(nullptr, 3, 100), -1);

  std::vector<ChartBar> many = NumberedBars(1000);
  for (int i : {0, 1, 499, 998, 999}) EXPECT_EQ(FindBarByTime(many.data(), 1000, many[i].time), i);
}

TEST_F(BarFilesTest, ReadBarsKeepsRoomForADayOfMinutes) {
  WriteBytes(File("day", "600000.day"), Bytes(NumberedBars(2000)));
  struct {
    int limit;
    int count;
  } cases[] = {{1000, 714}, {0, 2000}, {286, 0}, {287, 1}, {100000, 2000}, {-1, 0}};
  for (auto c : cases) {
    SCOPED_TRACE(c.limit);
    ChartBar* buffer = nullptr;
    int count = -1;
    ASSERT_EQ(ReadBars(market.table, &buffer, "600000", &count, kBarFileDay, c.limit), 1);
    ASSERT_EQ(count, c.count);
    EXPECT_GE(GuardedSize(buffer), (270u + c.count + 16u) * sizeof(ChartBar));
    if (count > 0) {
      EXPECT_EQ(buffer[count - 1].close, 2999u);   // the newest bars
      EXPECT_EQ(buffer[0].close, 3000u - static_cast<std::uint32_t>(c.count));
    }
    GuardedFree(buffer);
  }
}

TEST_F(BarFilesTest, ReadBarsNeverFillsMoreThanAGivenBufferHolds) {
  WriteBytes(File("min", "600000.min"), Bytes(NumberedBars(500)));
  ChartBar* buffer = static_cast<ChartBar*>(GuardedAlloc(100 * sizeof(ChartBar)));
  ChartBar* const given = buffer;
  int count = 0;
  ASSERT_EQ(ReadBars(market.table, &buffer, "600000", &count, kBarFile5Min, 0), 1);
  EXPECT_EQ(buffer, given);
  EXPECT_EQ(count, 100);
  EXPECT_EQ(buffer[0].close, 1400u);
  EXPECT_EQ(buffer[99].close, 1499u);
  GuardedFree(buffer);
}

TEST_F(BarFilesTest, MissingBarFileGivesAnEmptyUsableBuffer) {
  ChartBar* buffer = nullptr;
  int count = -1;
  ASSERT_EQ(ReadBars(market.table, &buffer, "600001", &count, kBarFile1Min, 15000), 1);
  EXPECT_EQ(count, 0);
  EXPECT_GE(GuardedSize(buffer), (270u + 16u) * sizeof(ChartBar));
  GuardedFree(buffer);

  buffer = nullptr;
  EXPECT_EQ(ReadBars(market.table, &buffer, "600001", &count, 5, 0), 0);   // no such file kind
  EXPECT_EQ(ReadBars(market.table, &buffer, "", &count, kBarFileDay, 0), 0);
  EXPECT_EQ(ReadBars(market.table, &buffer, "..", &count, kBarFileDay, 0), 0);
  EXPECT_EQ(ReadBars(market.table, nullptr, "600001", &count, kBarFileDay, 0), 0);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(BarFilesTest, FindDayBarGivesTheDayAndTheBarBefore) {
  WriteBytes(File("day", "600000.day"), Bytes(TwoWeeks()));
  ChartBar pair[2];

  std::memset(pair, 0x5A, sizeof pair);
  ASSERT_EQ(FindDayBar(market.table, "600000", MakePackedTime(2008, 6, 18), pair), 1);
  EXPECT_EQ(pair[1].close, 1800u);
  EXPECT_EQ(pair[0].close, 1700u);
  EXPECT_EQ(pair[0].time, MakePackedTime(2008, 6, 17));

  // The file's first day: only the previous close is set, to the day's open.
  std::memset(pair, 0x5A, sizeof pair);
  ASSERT_EQ(LoadDayBar(0, "600000", MakePackedTime(2008, 6, 16), pair), 1);
  EXPECT_EQ(pair[1].close, 1600u);
  EXPECT_EQ(pair[0].close, 1599u);
  EXPECT_EQ(pair[0].time, 0x5A5A5A5Au);

  EXPECT_EQ(FindDayBar(market.table, "600000", MakePackedTime(2008, 6, 21), pair), 0);
  EXPECT_EQ(FindDayBar(market.table, "600000", MakePackedTime(2008, 6, 18, 10, 0), pair), 0);
  EXPECT_EQ(FindDayBar(market.table, "600001", MakePackedTime(2008, 6, 18), pair), 0);
  EXPECT_EQ(LoadDayBar(1, "600000", MakePackedTime(2008, 6, 18), pair), 0);
  EXPECT_EQ(LoadDayBar(-1, "600000", MakePackedTime(2008, 6, 18), pair), 0);
  EXPECT_EQ(LoadDayBar(0, "", MakePackedTime(2008, 6, 18), pair), 0);
  EXPECT_EQ(LoadDayBar(0, "600000", MakePackedTime(2008, 6, 18), nullptr), 0);

  WriteBytes(File("day", "600001.day"), std::string(31, '\1'));
  EXPECT_EQ(FindDayBar(market.table, "600001", 0x01010101u, pair), 0);
}

TEST_F(BarFilesTest, ReadBarsByCycleAggregatesTheBaseFileAndAsksForNewerBars) {
  RecordingClient client;
  WriteBytes(File("day", "600000.day"), Bytes(TwoWeeks()));
  ChartBar* output = nullptr;
  int count = 0;
  bool complete = false;
  ASSERT_EQ(ReadBarsByCycle(&output, 0, "600000", &count, kCycleWeek, 0, 15000, 1, 44, &complete), 1);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(output[0].close, 2000u);
  EXPECT_EQ(output[1].close, 2300u);
  EXPECT_TRUE(complete);
  ASSERT_EQ(client.calls.size(), 1u);
  EXPECT_EQ(client.calls[0].op, "RequestHistoryBars");
  // market, position, 0, cycle, N, pass-through flag, requester
  EXPECT_EQ(client.calls[0].args, (std::vector<std::int64_t>{0, 0, 0, kCycleWeek, 0, 1, 44}));

  // A code the market does not know is never asked for (it has no position).
  ASSERT_EQ(ReadBarsByCycle(&output, 0, "999999", &count, kCycleDay, 0, 15000, 0, 44, &complete), 1);
  EXPECT_EQ(count, 0);
  // Requester 0 asks nothing; the tick cycle has no bar file but is still asked for.
  ReadBarsByCycle(&output, 0, "600000", &count, kCycleDay, 0, 15000, 0, 0, &complete);
  EXPECT_EQ(ReadBarsByCycle(&output, 0, "600000", &count, kCycleTick, 0, 15000, 0, 45, &complete), 0);
  ASSERT_EQ(client.calls.size(), 2u);
  EXPECT_EQ(client.calls[1].args[3], kCycleTick);

  EXPECT_EQ(ReadBarsByCycle(&output, 1, "600000", &count, kCycleDay, 0, 15000, 0, 0, &complete), 0);
  EXPECT_EQ(ReadBarsByCycle(nullptr, 0, "600000", &count, kCycleDay, 0, 15000, 0, 0, &complete), 0);
  GuardedFree(output);
}

// Runs with a small bar limit so that the scratch buffer is smaller than the bar files.
class SmallScratchTest : public BarFilesTest {
 protected:
  void SetUp() override {
    saved_ = MaxDataRecords;
    TUtilData::Shutdown();
    MaxDataRecords = 400;
  }
  void TearDown() override {
    TUtilData::Shutdown();
    MaxDataRecords = saved_;
  }

 private:
  int saved_ = 0;
};

TEST_F(SmallScratchTest, ComputedLimitAtOrBelowZeroReadsNoBars) {
  WriteBytes(File("day", "600000.day"), Bytes(NumberedBars(3000)));
  WriteBytes(File("min1", "600000.m1"), Bytes(NumberedBars(3000)));
  struct {
    int cycle;
    int limit;   // L - 1 = 0 for days, L - M = 0 for one-minute bars, and below
  } cases[] = {{kCycleDay, 1},         {kCycle1Min, 270},      {kCycleWeek, 0},
               {kCycle3Min, -5},       {kCycleNDay, 200},
               // Limits so low that subtracting the day would wrap into a large one.
               {kCycleDay, INT_MIN},   {kCycle1Min, INT_MIN + 100}, {kCycle60Min, INT_MIN}};
  for (auto c : cases) {
    SCOPED_TRACE(c.cycle);
    ChartBar* output = nullptr;
    int count = -1;
    EXPECT_EQ(ReadBarsByCycle(&output, 0, "600000", &count, c.cycle, 3, c.limit, 0, 0, nullptr), 1);
    EXPECT_EQ(count, 0);
    GuardedFree(output);
  }
}

TEST_F(SmallScratchTest, NeverReadsMoreThanTheScratchBufferHolds) {
  WriteBytes(File("day", "600000.day"), Bytes(NumberedBars(3000)));
  ChartBar* output = nullptr;
  int count = 0;
  ASSERT_EQ(ReadBarsByCycle(&output, 0, "600000", &count, kCycleDay, 0, 100000, 0, 0, nullptr), 1);
  EXPECT_EQ(count, static_cast<int>(GetBarScratchSize() / sizeof(ChartBar)));
  EXPECT_EQ(output[count - 1].close, 3999u);
  GuardedFree(output);

  // A smaller output buffer takes the newest bars it holds.
  output = static_cast<ChartBar*>(GuardedAlloc(50 * sizeof(ChartBar)));
  ASSERT_EQ(ReadBarsByCycle(&output, 0, "600000", &count, kCycleDay, 0, 100000, 0, 0, nullptr), 1);
  EXPECT_EQ(count, 50);
  EXPECT_EQ(output[49].close, 3999u);
  GuardedFree(output);
}

}  // namespace
