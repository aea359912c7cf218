// The merges of bar and advice files as tables of an old file and new records against the file
// they leave: appends that never rewrite, scroll-backs that put older bars before every old bar
// (no gap), overlaps where the new bar wins, refused input that leaves the file as it was, the
// cut of the oldest bars, stamping and the deletion of a file whose write failed.
#include "net/CacheMerge.h"

#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/UtilData.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

constexpr PackedTime kNow = MakePackedTime(2024, 6, 28, 7, 30);

// Minute number i as a packed time that grows with i (28-day months, so every word is valid).
PackedTime Minute(int i) {
  const int day = i / 1440;
  return MakePackedTime(2000 + day / (12 * 28), 1 + day / 28 % 12, 1 + day % 28, i % 1440 / 60, i % 60);
}

ChartBar Bar(PackedTime time, std::uint32_t close = 1) {
  ChartBar bar{};
  bar.time = time;
  bar.close = close;
  return bar;
}
// Bars at minutes [from, to), close = `close`.
std::vector<ChartBar> Bars(int from, int to, std::uint32_t close = 1) {
  std::vector<ChartBar> bars;
  for (int i = from; i < to; ++i) bars.push_back(Bar(Minute(i), close));
  return bars;
}
std::string Bytes(const std::vector<ChartBar>& bars) {
  return std::string(reinterpret_cast<const char*>(bars.data()), bars.size() * sizeof(ChartBar));
}
std::vector<ChartBar> ReadBarFile(const fs::path& file) {
  const std::string bytes = ReadBytes(file);
  std::vector<ChartBar> bars(bytes.size() / sizeof(ChartBar));
  std::memcpy(bars.data(), bytes.data(), bars.size() * sizeof(ChartBar));
  return bars;
}

// The file's last-write time as a packed UTC time (0 when it cannot be read).
PackedTime Stamp(const char* path) {
  zuvo::platform::files::ScopedHandle file(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME lastWrite{};
  SYSTEMTIME time{};
  if (!file.ok() || !GetFileTime(file.get(), nullptr, nullptr, &lastWrite) || !FileTimeToSystemTime(&lastWrite, &time)) return 0;
  return MakePackedTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
}

class CacheMergeTest : public testing::Test {
 protected:
  void SetUp() override {
    savedNow_ = SystemNow;
    savedMax_ = MaxDataRecords;
    SystemNow = kNow;
    fs::create_directories(install_.data() / "SH" / "min1");
  }
  void TearDown() override {
    SystemNow = savedNow_;
    MaxDataRecords = savedMax_;
  }

  fs::path File() const { return install_.data() / "SH" / "min1" / "600000.m1"; }
  static constexpr const char* kPath = "..\\data\\SH\\min1\\600000.m1";

  testsupport::TempInstall install_;
  std::uint32_t savedNow_ = 0;
  int savedMax_ = 0;
};

TEST_F(CacheMergeTest, BarsMergeWithoutGapsAndNewBarsWin) {
  struct Case {
    const char* name;
    std::vector<ChartBar> old;   // empty: no file
    std::string tail;            // bytes after the old bars (a torn last bar)
    std::vector<ChartBar> fresh;
    std::vector<ChartBar> expected;
    std::uint64_t written;       // bytes the merge writes
  };
  const auto join = [](std::vector<ChartBar> a, const std::vector<ChartBar>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case cases[] = {
      {"no file: the new bars", {}, "", Bars(0, 3), Bars(0, 3), 3 * 32},
      {"newer bars are appended without rewriting the old", Bars(0, 100), "", Bars(100, 105), Bars(0, 105), 5 * 32},
      {"a torn last bar is replaced by the appended ones", Bars(0, 10), "xyz", Bars(10, 12), Bars(0, 12), 2 * 32},
      {"older bars go before every old bar", Bars(100, 110), "", Bars(0, 5), join(Bars(0, 5), Bars(100, 110)), 15 * 32},
      {"an overlap: same times replaced, the others kept in order", Bars(0, 10), "", Bars(8, 12, 7),
       join(Bars(0, 8), Bars(8, 12, 7)), 4 * 32},
      {"new bars between old ones keep the old ones around them",
       join(Bars(0, 3), Bars(10, 13)), "", Bars(5, 7, 7), join(join(Bars(0, 3), Bars(5, 7, 7)), Bars(10, 13)), 5 * 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(File());
    if (!c.old.empty()) WriteBytes(File(), Bytes(c.old) + c.tail);
    const std::uint64_t before = zuvo::net::MergeCounters.barBytesWritten;
    MergeBars(kPath, c.fresh.data(), kCycle1Min, static_cast<int>(c.fresh.size()));
    EXPECT_EQ(ReadBytes(File()), Bytes(c.expected));
    EXPECT_EQ(zuvo::net::MergeCounters.barBytesWritten - before, c.written);
    EXPECT_EQ(Stamp(kPath), kNow);
  }
}

TEST_F(CacheMergeTest, RefusedBarsLeaveTheFileAsItWas) {
  const std::string old = Bytes(Bars(0, 4));
  struct Case {
    const char* name;
    std::vector<ChartBar> fresh;
    int cycle;
  };
  std::vector<ChartBar> equalTimes = Bars(10, 12);
  equalTimes[1].time = equalTimes[0].time;
  std::vector<ChartBar> yearZero = Bars(10, 12);
  yearZero[0].time = MakePackedTime(0, 1, 1, 9, 30);
  std::vector<ChartBar> dayTimes = {Bar(MakePackedTime(2024, 6, 3, 9, 0)), Bar(MakePackedTime(2024, 6, 3, 12, 0)),
                                    Bar(MakePackedTime(2024, 6, 3, 15, 0))};
  const Case cases[] = {
      {"times going back", {Bar(Minute(20)), Bar(Minute(10))}, kCycle1Min},
      {"equal times", equalTimes, kCycle1Min},
      {"a bar of year 0", yearZero, kCycle1Min},
      // Day bars lose their times but the last: two earlier bars of one day no longer increase.
      {"two day bars of one date before the last", dayTimes, kCycleDay},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(File(), old);
    MergeBars(kPath, c.fresh.data(), c.cycle, static_cast<int>(c.fresh.size()));
    EXPECT_EQ(ReadBytes(File()), old);
  }
}

TEST_F(CacheMergeTest, DayBarsLoseTheirTimesButTheLast) {
  const std::vector<ChartBar> fresh = {Bar(MakePackedTime(2024, 6, 3, 15, 0)), Bar(MakePackedTime(2024, 6, 4, 15, 0)),
                                       Bar(MakePackedTime(2024, 6, 5, 10, 12))};
  MergeBars(kPath, fresh.data(), kCycleDay, 3);
  const std::vector<ChartBar> bars = ReadBarFile(File());
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].time, MakePackedTime(2024, 6, 3));
  EXPECT_EQ(bars[1].time, MakePackedTime(2024, 6, 4));
  EXPECT_EQ(bars[2].time, MakePackedTime(2024, 6, 5, 10, 12));
}

TEST_F(CacheMergeTest, AScrollBackOf6000BarsFramesKeepsEveryBar) {
  // 8000 bars held, then 6000 older ones arrive newest frame first, 255 bars a frame, as a
  // chart scrolling back receives them: nothing is lost between them.
  WriteBytes(File(), Bytes(Bars(6000, 14000)));
  for (int end = 6000; end > 0; end -= 255) {
    const int from = std::max(0, end - 255);
    const std::vector<ChartBar> frame = Bars(from, end, 2);
    MergeBars(kPath, frame.data(), kCycle1Min, static_cast<int>(frame.size()));
  }
  const std::vector<ChartBar> bars = ReadBarFile(File());
  ASSERT_EQ(bars.size(), 14000u);
  for (int i = 0; i < 14000; ++i) {
    ASSERT_EQ(bars[static_cast<std::size_t>(i)].time, Minute(i)) << i;
    ASSERT_EQ(bars[static_cast<std::size_t>(i)].close, i < 6000 ? 2u : 1u) << i;
  }
}

TEST_F(CacheMergeTest, OnlyTheOldestBarsGoAndOnlyWellPastTheLimit) {
  MaxDataRecords = 100;
  WriteBytes(File(), Bytes(Bars(0, 290)));
  std::vector<ChartBar> fresh = Bars(290, 300);
  MergeBars(kPath, fresh.data(), kCycle1Min, 10);
  EXPECT_EQ(ReadBarFile(File()).size(), 300u) << "three times the limit is kept";
  fresh = Bars(300, 301);
  MergeBars(kPath, fresh.data(), kCycle1Min, 1);
  EXPECT_EQ(ReadBytes(File()), Bytes(Bars(201, 301))) << "past it, the newest MaxDataRecords bars stay";
}

TEST_F(CacheMergeTest, AFailedWriteDeletesTheFile) {
  WriteBytes(File(), Bytes(Bars(0, 10)));
  const std::vector<ChartBar> fresh = Bars(10, 20);
  {
    zuvo::platform::files::ScopedFileFault fault(zuvo::platform::files::FileCall::kWrite);
    MergeBars(kPath, fresh.data(), kCycle1Min, 10);
  }
  EXPECT_FALSE(fs::exists(File()));
}

// ---- Advice ---------------------------------------------------------------------------------------

std::string Advice(std::initializer_list<std::pair<std::uint32_t, char>> records) {
  std::string bytes;
  for (const auto& [key, tag] : records) {
    std::string record(kAdviceRecordBytes, tag);
    std::memcpy(record.data(), &key, sizeof key);
    bytes += record;
  }
  return bytes;
}

TEST_F(CacheMergeTest, AdviceMergesByKeyAndDropsNothing) {
  const fs::path file = install_.data() / "SH" / "advice" / "600000.adv";
  const char* path = "..\\data\\SH\\advice\\600000.adv";
  fs::create_directories(file.parent_path());
  struct Case {
    const char* name;
    std::string old;   // empty: no file
    std::string fresh;
    std::string expected;
  };
  const Case cases[] = {
      {"no file: the records", "", Advice({{1, 'a'}, {2, 'b'}}), Advice({{1, 'a'}, {2, 'b'}})},
      {"a torn file counts as empty", "xyz", Advice({{1, 'a'}}), Advice({{1, 'a'}})},
      {"at or above the last key: appended", Advice({{1, 'a'}, {5, 'b'}}), Advice({{5, 'n'}, {7, 'm'}}),
       Advice({{1, 'a'}, {5, 'b'}, {5, 'n'}, {7, 'm'}})},
      {"inside: merged, a new record after the old one of its key", Advice({{1, 'a'}, {3, 'b'}, {5, 'c'}}),
       Advice({{3, 'n'}, {4, 'm'}, {9, 'k'}}), Advice({{1, 'a'}, {3, 'b'}, {3, 'n'}, {4, 'm'}, {5, 'c'}, {9, 'k'}})},
      {"older than every record: before them all", Advice({{5, 'a'}, {6, 'b'}}), Advice({{1, 'n'}}),
       Advice({{1, 'n'}, {5, 'a'}, {6, 'b'}})},
      {"keys out of order: the file stays", Advice({{1, 'a'}}), Advice({{4, 'n'}, {3, 'm'}}), Advice({{1, 'a'}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(file);
    if (!c.old.empty()) WriteBytes(file, c.old);
    MergeAdvice(path, reinterpret_cast<const std::uint8_t*>(c.fresh.data()),
                static_cast<int>(c.fresh.size() / kAdviceRecordBytes));
    EXPECT_EQ(ReadBytes(file), c.expected);
  }

  // A long file merged near its end keeps every older record (no window cuts it).
  std::string many;
  for (std::uint32_t key = 0; key < 3000; ++key) many += Advice({{key * 2, 'o'}});
  WriteBytes(file, many);
  const std::string fresh = Advice({{5001, 'n'}});
  MergeAdvice(path, reinterpret_cast<const std::uint8_t*>(fresh.data()), 1);
  const std::string merged = ReadBytes(file);
  ASSERT_EQ(merged.size(), 3001u * kAdviceRecordBytes);
  EXPECT_EQ(merged.substr(0, 2501u * kAdviceRecordBytes), many.substr(0, 2501u * kAdviceRecordBytes));
  EXPECT_EQ(merged.substr(2501u * kAdviceRecordBytes, kAdviceRecordBytes), fresh);
}

}  // namespace
