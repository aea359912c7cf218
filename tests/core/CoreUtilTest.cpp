#include "core/CoreUtil.h"

#include "core/DataFile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

namespace {

namespace fs = std::filesystem;
using testsupport::TempInstall;

// A relative path under ..\data of exactly `length` characters, in components short enough for
// any file system.
std::string pathOfLength(std::size_t length) {
  std::string path = "..\\data\\";
  while (path.size() < length) {
    const std::size_t room = length - path.size();
    if (room > 201) {
      path += std::string(200, 'd') + "\\";
    } else {
      path += std::string(room, 'e');
    }
  }
  return path;
}

fs::path posixOf(const TempInstall& install, const std::string& relative) {
  std::string p = relative.substr(3);  // drop "..\"
  for (char& c : p)
    if (c == '\\') c = '/';
  return install.root() / p;
}

TEST(CreateDirectoryPathTest, CreatesPathsUpToTheLengthLimitAndRefusesLonger) {
  TempInstall install;
  const std::string fits = pathOfLength(1019);
  ASSERT_EQ(fits.size(), 1019u);
  EXPECT_TRUE(CreateDirectoryPath(fits.c_str()));
  EXPECT_FALSE(CreateDirectoryPathFailed());
  EXPECT_TRUE(fs::is_directory(posixOf(install, fits)));

  fs::remove_all(install.data());
  fs::create_directories(install.data());
  const std::string tooLong = pathOfLength(1020);
  EXPECT_FALSE(CreateDirectoryPath(tooLong.c_str()));
  EXPECT_TRUE(fs::is_empty(install.data()));  // nothing along it was created
}

TEST(CreateDirectoryPathTest, CreatesEveryMissingLevelOfARelativePath) {
  TempInstall install;
  fs::create_directories(install.data() / "sh");
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\sh\\day\\2024\\q1"));
  EXPECT_TRUE(fs::is_directory(install.data() / "sh" / "day" / "2024" / "q1"));
  // A trailing backslash and a second call change nothing.
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\sh\\day\\2024\\q1\\"));
  EXPECT_FALSE(CreateDirectoryPathFailed());
  // A lead byte without a trail byte is a byte of its own: the '/' after it separates levels,
  // as the path resolver reads it.
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\x\x81/y"));
  EXPECT_FALSE(CreateDirectoryPathFailed());
}

TEST(CreateDirectoryPathTest, GbkNamesWhoseSecondByteIsABackslashStayWhole) {
  TempInstall install;
  // The second byte of 乗 is a backslash; it neither splits the name nor ends the path.
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\乗\\板块乗"));
  EXPECT_FALSE(CreateDirectoryPathFailed());
  EXPECT_TRUE(fs::is_directory(install.data() / u8"乗" / u8"板块乗"));
  EXPECT_EQ(std::distance(fs::directory_iterator(install.data()), fs::directory_iterator()), 1);
}

TEST(CreateDirectoryPathTest, ExistingEntryReturnsTrueWithoutBeingTouched) {
  TempInstall install;
  testsupport::WriteBytes(install.data() / "entry", "x");
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\entry"));
  EXPECT_TRUE(fs::is_regular_file(install.data() / "entry"));
  // A file where a folder is wanted is still a failure to the caller who asks.
  EXPECT_TRUE(CreateDirectoryPathFailed());
}

TEST(CreateDirectoryPathTest, FailureKeepsTrueButIsVisibleAndTheLaterOpenFailsCleanly) {
  TempInstall install;
  testsupport::WriteBytes(install.data() / "blocker", "not a folder");
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\blocker\\sub\\deeper"));
  EXPECT_TRUE(CreateDirectoryPathFailed());
  EXPECT_EQ(OpenDataFile("..\\data\\blocker\\sub\\deeper\\x.dat", "wb"), -1);
  EXPECT_EQ(testsupport::ReadBytes(install.data() / "blocker"), "not a folder");

  // The flag belongs to the last call only.
  EXPECT_TRUE(CreateDirectoryPath("..\\data\\fine"));
  EXPECT_FALSE(CreateDirectoryPathFailed());
}

struct TrimCase {
  const char* input;
  const char* leading;
  const char* trailing;
  const char* both;
};

TEST(TrimTest, BlanksAreBytesOneToThirtyTwoAndDeleteNeverGbkBytes) {
  const TrimCase cases[] = {
      {"  abc \t", "abc \t", "  abc", "abc"},
      {"   ", "", "", ""},
      {"", "", "", ""},
      {"\x7f\x01x y\x1f\x7f", "x y\x1f\x7f", "\x7f\x01x y", "x y"},
      {"柯苏之星", "柯苏之星", "柯苏之星", "柯苏之星"},
      {" 柯苏 之星 ", "柯苏 之星 ", " 柯苏 之星", "柯苏 之星"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    char leading[64], trailing[64], both[64];
    std::strcpy(leading, c.input);
    std::strcpy(trailing, c.input);
    std::strcpy(both, c.input);
    TrimLeadingSpaces(leading);
    TrimTrailingSpaces(trailing);
    TrimSpaces(both);
    EXPECT_STREQ(leading, c.leading);
    EXPECT_STREQ(trailing, c.trailing);
    EXPECT_STREQ(both, c.both);
  }
}

TEST(CopyAnsiStringTest, CopiesWhatFitsWithoutSplittingACharacter) {
  struct Case {
    std::string text;
    int size;
    const char* expected;
    int count;
  };
  const Case cases[] = {
      {"abcdef", 4, "abc", 3},
      {"abc", 4, "abc", 3},
      {"", 8, "", 0},
      {"abc", 1, "", 0},
      {"柯苏", 4, "柯", 2},     // the second character would need the fourth byte
      {"x柯苏", 4, "x柯", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " / " + std::to_string(c.size));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CopyAnsiString(c.text, buffer, c.size), c.count);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(buffer[c.size], '#');  // nothing written past the size
  }
  char untouched[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(CopyAnsiString("abc", untouched, 0), 0);
  EXPECT_EQ(CopyAnsiString("abc", untouched, -5), 0);
  EXPECT_EQ(untouched[0], '#');
}

TEST(AnsiStringToTempTest, KeepsAtMost511Bytes) {
  const char* copied = AnsiStringToTemp(std::string(600, 'a'));
  EXPECT_EQ(std::strlen(copied), 511u);
  EXPECT_STREQ(AnsiStringToTemp("short"), "short");
  EXPECT_EQ(AnsiStringToTemp("again"), copied);  // one buffer, overwritten by the next call
}

TEST(ScaleAveragePriceTest, ScalesByPowersOfTenToTheLastPrice) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float volume, amount, last;
    double expected;
  };
  const Case cases[] = {
      {2, 250, 1.25f, 1.25},           // 125 scaled down twice
      {0, 250, 1.25f, 1.25},           // no volume
      {100, 0.05f, 1.25f, 1.25},       // no amount
      {100, 250, 0.00001f, 0.00001f},  // no price
      {100, 2e15f, 10.5f, 10.5},       // amount beyond reason
      {100, 1050, 10.5f, 10.5},        // already in range
      {100, 105000, 10.5f, 10.5},      // lots of 100
      {1000, 10.5f, 10.5f, 10.5},      // amounts in thousands
      {nan, 250, 1.25f, 1.25},
      {10, 60, 1.0f, 0.6},             // the ratio may end anywhere in [0.5, 5]
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.volume << " " << c.amount << " " << c.last);
    EXPECT_NEAR(ScaleAveragePrice(c.volume, c.amount, c.last), c.expected, 1e-9 + c.expected * 1e-6);
    EXPECT_EQ(ComputeAxisStep(c.volume, c.amount, c.last), ScaleAveragePrice(c.volume, c.amount, c.last));
  }
}

}  // namespace
