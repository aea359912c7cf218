#include "data/TrendHistory.h"

#include "data/CacheTestMarket.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

using cachetest::Bytes;
using cachetest::RecordingClient;
using cachetest::TestMarket;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

constexpr std::uint32_t kSlots = 271;   // 270 trading minutes + 1
constexpr std::size_t kBlockBytes = 4 + 12 * kSlots;

PackedTime June(int day) { return MakePackedTime(2008, 6, day); }
// A damaged block date that sorts after every valid one.
constexpr PackedTime kBadDate = 0xFFFFFFFFu;

// A day whose minute i has price base + i.
std::vector<TrendDayMinute> Day(std::uint32_t base, std::size_t minutes = kSlots) {
  std::vector<TrendDayMinute> day(minutes);
  for (std::size_t i = 0; i < minutes; ++i) {
    day[i].price = base + static_cast<std::uint32_t>(i);
    day[i].volume = 10;
    day[i].amount = 500 + static_cast<float>(i);
  }
  return day;
}

std::string Block(PackedTime date, std::uint32_t base) { return Bytes(date) + Bytes(Day(base)); }

// Blocks of June days, minute i of day d priced 1000 d + i.
std::string Blocks(std::initializer_list<int> days) {
  std::string bytes;
  for (int day : days) bytes += Block(June(day), 1000 * static_cast<std::uint32_t>(day));
  return bytes;
}

std::string History(std::initializer_list<int> days, std::uint32_t slots = kSlots) {
  return Bytes(slots) + Blocks(days);
}

class TrendHistoryTest : public ::testing::Test {
 protected:
  std::filesystem::path Trn() const { return cachetest::MarketDir(install) / "trend" / "600000.trn"; }
  std::filesystem::path Download(PackedTime day) const {
    return cachetest::MarketDir(install) / "trend" / ("600000" + std::to_string(day) + ".trn");
  }

  // The dates of the history's blocks, read straight from the file.
  std::vector<PackedTime> Dates() const {
    const std::string bytes = ReadBytes(Trn());
    std::vector<PackedTime> dates;
    for (std::size_t offset = 4; offset + kBlockBytes <= bytes.size(); offset += kBlockBytes) {
      PackedTime date = 0;
      std::memcpy(&date, bytes.data() + offset, 4);
      dates.push_back(date);
    }
    return dates;
  }

  int Read(PackedTime date) {
    count = -1;
    return ReadTrendDay(market.table, 0, date, buffer.data(), &count);
  }

  TempInstall install;
  TestMarket market{2};   // futures: amounts are open interest
  std::vector<TrendDayMinute> buffer = std::vector<TrendDayMinute>(kSlots);
  int count = -1;
};

TEST_F(TrendHistoryTest, ReadsOnlyTheDaysTheHistoryHolds) {
  WriteBytes(Trn(), History({2, 3, 5, 6}));
  for (int day : {2, 3, 5, 6}) {
    SCOPED_TRACE(day);
    ASSERT_EQ(Read(MakePackedTime(2008, 6, day, 14, 30)), 1);   // the time of day is ignored
    EXPECT_EQ(count, static_cast<int>(kSlots));
    EXPECT_EQ(buffer[0].price, 1000u * day);
    EXPECT_EQ(buffer[270].price, 1000u * day + 270);
  }
  for (int day : {1, 4, 7}) EXPECT_EQ(Read(June(day)), 0) << day;
  EXPECT_EQ(ReadBytes(Trn()).size(), 4 + 4 * kBlockBytes);
}

TEST_F(TrendHistoryTest, DamagedBlockIsCutWithEverythingAfterIt) {
  std::string bytes = History({2, 3, 5, 6});
  const PackedTime monthZero = MakePackedTime(2008, 0, 5);
  std::memcpy(bytes.data() + 4 + 2 * kBlockBytes, &monthZero, 4);
  WriteBytes(Trn(), bytes);

  EXPECT_EQ(Read(June(5)), 0);   // the search reads the third block's date
  EXPECT_EQ(Dates(), (std::vector<PackedTime>{June(2), June(3)}));
  EXPECT_EQ(Read(June(3)), 1);
}

TEST_F(TrendHistoryTest, DamageIsCutAtTheFirstDamagedBlock) {
  struct {
    const char* name;
    std::string bytes;
    PackedTime sought;
    std::size_t sizeAfter;
  } cases[] = {
      {"invalid first date", Bytes(kSlots) + Block(MakePackedTime(2008, 13, 1), 1) + Block(June(3), 3), June(3), 4},
      {"invalid last date", History({2, 3}) + Block(MakePackedTime(2008, 2, 30), 1), June(4), 4 + 2 * kBlockBytes},
      // A search would meet the later damage first; the earlier one is where the history ends.
      {"damage before the damaged block a search meets",
       History({2}) + Block(kBadDate, 1) + Blocks({4, 5}) + Block(0, 1) + Blocks({7}), June(6), 4 + kBlockBytes},
      {"damage before an invalid last date",
       History({2, 3}) + Block(0, 1) + Blocks({5}) + Block(MakePackedTime(2008, 2, 30), 1), June(4),
       4 + 2 * kBlockBytes},
      {"a date out of order before an invalid last date",
       History({2, 5, 3}) + Block(MakePackedTime(2008, 2, 30), 1), June(4), 4 + 2 * kBlockBytes},
      {"history of another session plan", History({2, 3}, 241), June(2), 0},
      {"head only", Bytes(kSlots), June(2), 4},
      {"shorter than a head", std::string("\x0f\x01", 2), June(2), 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Trn(), c.bytes);
    EXPECT_EQ(Read(c.sought), 0);
    EXPECT_EQ(ReadBytes(Trn()).size(), c.sizeAfter);
  }
}

// Valid dates out of order are damage as well, wherever they lie: a day before them still reads
// back as stored, and they are cut with everything after them.
TEST_F(TrendHistoryTest, ValidDatesOutOfOrderAreCutAndTheDaysBeforeThemStillRead) {
  struct {
    const char* name;
    std::string bytes;
    int sought;
    std::size_t blocksAfter;
  } cases[] = {
      // A torn merge of an older version left a day twice, the second copy half moved.
      {"a day held twice", History({2, 3, 5}) + Block(June(5), 9) + Blocks({6}), 5, 3},
      // The middle block a search would probe lies in the damage and is earlier than the day.
      {"damage that steers a search away", History({2, 3, 6, 4, 5, 7, 9}), 6, 3},
      {"a last date before the first", History({3, 4, 5, 2}), 4, 3},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Trn(), c.bytes);
    ASSERT_EQ(Read(June(c.sought)), 1);
    EXPECT_EQ(buffer[0].price, 1000u * c.sought);
    EXPECT_EQ(ReadBytes(Trn()).size(), 4 + c.blocksAfter * kBlockBytes);
  }
}

TEST_F(TrendHistoryTest, ReadingADayNeverCachedCreatesNoFile) {
  EXPECT_EQ(Read(June(2)), 0);
  EXPECT_FALSE(std::filesystem::exists(Trn()));
}

TEST_F(TrendHistoryTest, MergeInsertsInDateOrderAndReplacesInPlace) {
  WriteBytes(Trn(), History({2, 3, 5, 6}));

  WriteBytes(Download(June(4)), Bytes(Day(4000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(4)), 1);
  EXPECT_EQ(Dates(), (std::vector<PackedTime>{June(2), June(3), June(4), June(5), June(6)}));

  WriteBytes(Download(June(5)), Bytes(Day(7000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, MakePackedTime(2008, 6, 5, 15, 0)), 1);
  EXPECT_EQ(ReadBytes(Trn()).size(), 4 + 5 * kBlockBytes);

  for (auto [day, base] : {std::pair{4, 4000u}, {5, 7000u}, {6, 6000u}, {2, 2000u}}) {
    ASSERT_EQ(Read(June(day)), 1) << day;
    EXPECT_EQ(buffer[100].price, base + 100) << day;
  }
  // The download is the dispatcher's to delete.
  EXPECT_TRUE(std::filesystem::exists(Download(June(5))));
}

TEST_F(TrendHistoryTest, MergeAtBothEndsAndIntoNothing) {
  WriteBytes(Download(June(10)), Bytes(Day(10000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(10)), 1);   // no history yet
  WriteBytes(Download(June(1)), Bytes(Day(1000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(1)), 1);
  WriteBytes(Download(June(20)), Bytes(Day(20000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(20)), 1);
  EXPECT_EQ(Dates(), (std::vector<PackedTime>{June(1), June(10), June(20)}));
  std::uint32_t head = 0;
  std::memcpy(&head, ReadBytes(Trn()).data(), 4);
  EXPECT_EQ(head, kSlots);
}

TEST_F(TrendHistoryTest, MergeRewritesAHistoryOfAnotherSessionPlan) {
  WriteBytes(Trn(), History({2, 3}, 241) + "junk");
  WriteBytes(Download(June(9)), Bytes(Day(9000)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(9)), 1);
  EXPECT_EQ(ReadBytes(Trn()).size(), 4 + kBlockBytes);
  EXPECT_EQ(Dates(), std::vector<PackedTime>{June(9)});
}

TEST_F(TrendHistoryTest, MergeIntoADamagedHistoryKeepsItsSoundStartAndIsReadableAtOnce) {
  // The history ends before its first block of an invalid date or of a date not later than the
  // one before: a binary search over what follows places the day wrongly or twice.
  struct {
    const char* name;
    std::string bytes;
    int merged;
    std::vector<int> daysAfter;
  } cases[] = {
      {"the day held again after the damage", History({2, 3}) + Block(kBadDate, 1) + Blocks({5, 6}), 5, {2, 3, 5}},
      {"a day later than every block, after the damage", History({2, 3}) + Block(kBadDate, 1) + Blocks({5, 6}), 7,
       {2, 3, 7}},
      {"a damaged first block", Bytes(kSlots) + Block(MakePackedTime(2008, 0, 2), 1) + Blocks({3, 5}), 4, {4}},
      {"blocks out of order", History({2, 5, 3, 6}), 4, {2, 4, 5}},
      {"a day held twice", History({2, 3, 3, 5}), 3, {2, 3}},
      {"a torn last block", History({2, 3}) + Bytes(June(5)) + "\1\2", 4, {2, 3, 4}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Trn(), c.bytes);
    WriteBytes(Download(June(c.merged)), Bytes(Day(90000)));
    ASSERT_EQ(MergeTrendDay(market.table, 0, June(c.merged)), 1);
    std::vector<PackedTime> expected;
    for (int day : c.daysAfter) expected.push_back(June(day));
    EXPECT_EQ(Dates(), expected);
    EXPECT_EQ(ReadBytes(Trn()).size(), 4 + expected.size() * kBlockBytes);
    for (int day : c.daysAfter) {
      ASSERT_EQ(Read(June(day)), 1) << day;
      EXPECT_EQ(buffer[7].price, (day == c.merged ? 90000u : 1000u * day) + 7) << day;
    }
  }
}

TEST_F(TrendHistoryTest, ShortDownloadIsCompletedFromItsLastMinute) {
  // Futures: the filled minutes keep the open interest of minute 149.
  WriteBytes(Download(June(4)), Bytes(Day(4000, 150)));
  ASSERT_EQ(MergeTrendDay(market.table, 0, June(4)), 1);
  ASSERT_EQ(Read(June(4)), 1);
  EXPECT_EQ(buffer[149].price, 4149u);
  for (int i : {150, 200, 270}) {
    EXPECT_EQ(buffer[i].price, 4149u) << i;
    EXPECT_EQ(buffer[i].volume, 0.0f) << i;
    EXPECT_EQ(buffer[i].amount, 649.0f) << i;
  }
}

TEST_F(TrendHistoryTest, StockMarketFillsWithZeroAmountAndClosesPriceGaps) {
  TestMarket stock(1);   // replaces market 0 for this test
  std::vector<TrendDayMinute> day = Day(5000, 100);
  day[40].price = 0;
  day[41].price = 0;
  WriteBytes(Download(June(4)), Bytes(day));
  ASSERT_EQ(MergeTrendDay(stock.table, 0, June(4)), 1);
  ASSERT_EQ(ReadTrendDay(stock.table, 0, June(4), buffer.data(), &count), 1);
  EXPECT_EQ(buffer[41].price, 5039u);
  EXPECT_EQ(buffer[41].volume, 0.0f);
  EXPECT_EQ(buffer[41].amount, 0.0f);
  EXPECT_EQ(buffer[42].price, 5042u);
  EXPECT_EQ(buffer[200].price, 5099u);
  EXPECT_EQ(buffer[200].amount, 0.0f);
}

TEST_F(TrendHistoryTest, UnusableDownloadLeavesTheHistoryAsItWas) {
  const std::string before = History({2, 3});
  WriteBytes(Trn(), before);
  EXPECT_EQ(MergeTrendDay(market.table, 0, June(4)), 0);   // no download
  WriteBytes(Download(June(4)), std::string(11, '\1'));
  EXPECT_EQ(MergeTrendDay(market.table, 0, June(4)), 0);
  EXPECT_EQ(MergeTrendDay(market.table, 7, June(4)), 0);
  EXPECT_EQ(ReadBytes(Trn()), before);
}

TEST_F(TrendHistoryTest, ADayWithAnInvalidDateIsNeverMerged) {
  // Such a block would sort first and make the next read cut the whole history away.
  const std::string before = History({2, 3});
  WriteBytes(Trn(), before);
  for (PackedTime bad : {PackedTime{0}, MakePackedTime(2008, 0, 4), MakePackedTime(2008, 6, 31),
                         MakePackedTime(2008, 13, 1)}) {
    SCOPED_TRACE(bad);
    WriteBytes(Download(bad), Bytes(Day(4000)));
    EXPECT_EQ(MergeTrendDay(market.table, 0, bad), 0);
    EXPECT_EQ(ReadBytes(Trn()), before);
  }
  EXPECT_EQ(Read(June(3)), 1);
}

TEST_F(TrendHistoryTest, LoadAsksTheServerOnlyForMissingDays) {
  RecordingClient client;
  WriteBytes(Trn(), History({2}));
  EXPECT_TRUE(LoadTrendDay(STKPTR(0, 0, 0), June(2), buffer.data(), &count, 9));
  EXPECT_FALSE(LoadTrendDay(STKPTR(0, 0, 0), June(3), buffer.data(), &count, 0));
  EXPECT_FALSE(LoadTrendDay(STKPTR(0, 0, 0), MakePackedTime(2008, 6, 4, 10, 15), buffer.data(), &count, 9));
  EXPECT_FALSE(LoadTrendDay(STKPTR(0, 0, 5), June(2), buffer.data(), &count, 9));
  ASSERT_EQ(client.calls.size(), 1u);
  EXPECT_EQ(client.calls[0].op, "RequestTrendDay");
  EXPECT_EQ(client.calls[0].args, (std::vector<std::int64_t>{0, 0, June(4), 9}));

  WriteBytes(Download(June(3)), Bytes(Day(3000)));
  EXPECT_EQ(ImportTrendDay(STKPTR(0, 0, 0), June(3)), 1);
  EXPECT_EQ(ImportTrendDay(STKPTR(0, 0, 5), June(3)), 0);
  EXPECT_TRUE(LoadTrendDay(STKPTR(0, 0, 0), June(3), buffer.data(), &count, 9));
}

}  // namespace
