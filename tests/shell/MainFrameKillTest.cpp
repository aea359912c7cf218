// LASTPAGE.DAT rewritten by the main window's close, killed at random moments: the file always
// names the old page or the new one in its whole 260 bytes.
#include "shell/PageFile.h"

#include "ShellSettingsFixture.h"

#include "support/KillTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>

using killtest::ReadWhole;

namespace {

namespace fs = std::filesystem;

std::string Padded(const std::string& path) {
  std::string bytes = path;
  bytes.resize(kPagePathSize, '\0');
  return bytes;
}

TEST(MainFrameKill, AKilledLastPageWriteLeavesTheOldOrTheNewName) {
  shelltest::ShellSettings settings;
  const fs::path file = settings.install().user() / "LASTPAGE.DAT";
  const std::string a = "..\\USER\\ZVPAGE1.PPG";
  const std::string b = "Default";
  ASSERT_TRUE(WriteLastPage(a));

  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WriteLastPage(a));
  const auto oneWrite =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  std::uniform_int_distribution<int> killAfter(0, std::max<int>(2000, static_cast<int>(2 * oneWrite)));
  std::mt19937 random(20261211);
  int sawA = 0, sawB = 0;
  for (int round = 0; round < 120; ++round) {
    ASSERT_TRUE(killtest::KillASaverAfter([&](int i) { WriteLastPage(i % 2 == 0 ? b : a); }, killAfter(random)));
    const std::string now = ReadWhole(file);
    ASSERT_TRUE(now == Padded(a) || now == Padded(b)) << "round " << round << " left " << now.size() << " bytes";
    (now == Padded(a) ? sawA : sawB)++;
    EXPECT_EQ(ReadLastPage(), now == Padded(a) ? a : b);
  }
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
}

}  // namespace
