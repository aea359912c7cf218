// A process that merges downloaded days into a large trend history is killed with SIGKILL at
// random moments. After every kill the history must be a complete one, from before or after a
// merge: every block a valid date, ascending, none twice, each day's minutes as they were merged,
// and every day readable.
#include "data/TrendHistory.h"

#include "data/CacheTestMarket.h"
#include "platform/Paths.h"

#include "support/KillTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

using cachetest::Bytes;
using cachetest::TestMarket;
using testsupport::TempInstall;
using testsupport::WriteBytes;

using killtest::ChildGuard;
using killtest::ReadWhole;

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSlots = 271;   // 270 trading minutes + 1
constexpr std::size_t kBlockBytes = 4 + 12 * kSlots;
constexpr int kKills = 300;
// Days held before the first kill. Under the sanitizers every step is slower, so a smaller
// history keeps the run short while a merge still takes far longer than the gap between two.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kHeldDays = 120;
#else
constexpr int kHeldDays = 1000;
#endif

// The minutes of a day, told apart from every other day's by its date.
std::vector<TrendDayMinute> DayOf(PackedTime date) {
  std::vector<TrendDayMinute> minutes(kSlots);
  const std::uint32_t dayNumber = date >> 11;
  for (std::uint32_t i = 0; i < kSlots; ++i) {
    minutes[i].price = dayNumber * 1000 + i + 1;
    minutes[i].volume = static_cast<float>(i % 7 + 1);
    minutes[i].amount = static_cast<float>(dayNumber + i);
  }
  return minutes;
}

std::string HistoryOf(const std::set<PackedTime>& days) {
  std::string bytes = Bytes(kSlots);
  for (PackedTime day : days) bytes += Bytes(day) + Bytes(DayOf(day));
  return bytes;
}

class TrendMergeKillTest : public ::testing::Test {
 protected:
  fs::path TrendDir() const { return cachetest::MarketDir(install) / "trend"; }
  fs::path Trn() const { return TrendDir() / "600000.trn"; }
  fs::path Download(PackedTime day) const { return TrendDir() / ("600000" + std::to_string(day) + ".trn"); }

  // The child: merges the planned days from next on, one after the other, telling the parent
  // through progress when it is ready ('R') and when each merge starts ('S') and ends ('E').
  [[noreturn]] void MergeUntilKilled(const std::vector<PackedTime>& plan, std::size_t next, int progress) {
    if (write(progress, "R", 1) != 1) _exit(2);
    for (std::size_t i = next; i < plan.size(); ++i) {
      WriteBytes(Download(plan[i]), Bytes(DayOf(plan[i])));
      if (write(progress, "S", 1) != 1) _exit(2);
      if (MergeTrendDay(market.table, 0, plan[i]) != 1) _exit(3);
      if (write(progress, "E", 1) != 1) _exit(2);
    }
    _exit(4);   // the plan ran out before the kill
  }

  // Checks the history against the days held before the kill and the planned merges from
  // next on. Returns "" and sets *merged to the number of planned days it now holds, or says
  // how the file is torn.
  std::string Check(const std::set<PackedTime>& held, const std::vector<PackedTime>& plan, std::size_t next,
                    std::size_t* merged) {
    const std::string bytes = ReadWhole(Trn());
    std::uint32_t head = 0;
    if (bytes.size() < 4) return "no head";
    std::memcpy(&head, bytes.data(), 4);
    if (head != kSlots) return "head " + std::to_string(head);
    if ((bytes.size() - 4) % kBlockBytes != 0) return "size " + std::to_string(bytes.size());
    std::vector<PackedTime> dates;
    for (std::size_t offset = 4; offset < bytes.size(); offset += kBlockBytes) {
      PackedTime date = 0;
      std::memcpy(&date, bytes.data() + offset, 4);
      if (!IsValidPackedTime(date)) return "invalid date " + std::to_string(date);
      if (!dates.empty() && date <= dates.back()) return "date " + std::to_string(date) + " out of order or twice";
      if (bytes.compare(offset + 4, kBlockBytes - 4, Bytes(DayOf(date))) != 0)
        return "minutes of " + std::to_string(date) + " not as merged";
      dates.push_back(date);
    }
    // The days held before, plus the first few planned ones: nothing lost, nothing skipped.
    for (PackedTime day : held)
      if (!std::binary_search(dates.begin(), dates.end(), day)) return "lost " + std::to_string(day);
    const std::size_t added = dates.size() - held.size();
    for (std::size_t i = next; i < next + added; ++i)
      if (i >= plan.size() || !std::binary_search(dates.begin(), dates.end(), plan[i]))
        return "not a merge of the planned days in order";
    std::vector<TrendDayMinute> buffer(kSlots);
    for (PackedTime date : dates) {
      int count = 0;
      if (ReadTrendDay(market.table, 0, date, buffer.data(), &count) != 1 || count != static_cast<int>(kSlots) ||
          Bytes(buffer) != Bytes(DayOf(date)))
        return "day " + std::to_string(date) + " does not read back";
    }
    *merged = added;
    return "";
  }

  TempInstall install;
  TestMarket market{2};
};

TEST_F(TrendMergeKillTest, AKilledMergeLeavesTheOldOrTheNewHistory) {
  // Held days and the days to merge alternate: each merge inserts a block among held days,
  // near the front at first, where an insertion moves the most blocks.
  std::set<PackedTime> held;
  std::vector<PackedTime> plan;
  PackedTime day = MakePackedTime(2000, 1, 3);
  for (int i = 0; i < 2 * kHeldDays; ++i, NextDay(&day)) {
    if (i % 2 == 0)
      held.insert(day);
    else
      plan.push_back(day);
  }
  for (int i = 0; i < 4 * kKills; ++i, NextDay(&day)) plan.push_back(day);
  WriteBytes(Trn(), HistoryOf(held));

  // A few merges timed here set the span over which the kills fall (the median, as a flush to
  // disk now and then takes far longer).
  std::size_t next = 0;
  std::vector<std::int64_t> times;
  for (int i = 0; i < 5; ++i, ++next) {
    WriteBytes(Download(plan[next]), Bytes(DayOf(plan[next])));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(MergeTrendDay(market.table, 0, plan[next]), 1);
    times.push_back(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    held.insert(plan[next]);
  }
  std::nth_element(times.begin(), times.begin() + 2, times.end());
  const std::int64_t mergeMicroseconds = std::max<std::int64_t>(times[2], 1);

  std::mt19937 random(20080602);
  int torn = 0;
  int killedMidMerge = 0;
  int leftMerged = 0;   // kills after which the history held more days than before
  std::string firstTear;
  for (int kill = 0; kill < kKills; ++kill) {
    int progress[2];
    ASSERT_EQ(pipe2(progress, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(progress[0]);
      MergeUntilKilled(plan, next, progress[1]);
    }
    ChildGuard guard{child};
    close(progress[1]);
    // Once the child starts its first merge, the kill falls at a random moment within about two
    // merges; the delay is that moment.
    char started[2] = {};
    ASSERT_EQ(read(progress[0], &started[0], 1), 1);
    ASSERT_EQ(read(progress[0], &started[1], 1), 1);
    ASSERT_EQ(std::string(started, 2), "RS");
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(0, 2 * mergeMicroseconds)(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    guard.Reaped();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child stopped by itself: " << status;
    std::string told;
    char buffer[256];
    for (ssize_t got; (got = read(progress[0], buffer, sizeof buffer)) > 0;)
      told.append(buffer, static_cast<std::size_t>(got));
    close(progress[0]);
    if (told.empty() || told.back() == 'S') ++killedMidMerge;

    paths::InvalidateCache();   // the child created and renamed files behind our back
    std::size_t merged = 0;
    const std::string tear = Check(held, plan, next, &merged);
    if (!tear.empty()) {
      // Count it and carry on from the history as it was before this kill.
      if (firstTear.empty()) firstTear = "kill " + std::to_string(kill) + ": " + tear;
      ++torn;
      WriteBytes(Trn(), HistoryOf(held));
      continue;
    }
    for (std::size_t i = next; i < next + merged; ++i) held.insert(plan[i]);
    next += merged;
    if (merged > 0) ++leftMerged;
  }
  std::cout << "[   INFO   ] " << kKills << " kills, " << killedMidMerge << " in a merge, " << torn << " torn, "
            << leftMerged << " left newly merged days; the history ends with " << held.size() << " days\n";
  EXPECT_EQ(torn, 0) << firstTear;
  // Nearly every kill should land inside a merge, or the test proves little.
  EXPECT_GT(killedMidMerge, kKills / 2);
}

}  // namespace
