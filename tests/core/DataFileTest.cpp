#include "core/DataFile.h"

#include "platform/Paths.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

std::string hundredBytes() {
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes += static_cast<char>('A' + i % 26);
  return bytes;
}

TEST(ParseOpenModeTest, OnlyTheFirstThreeCharactersCountByPosition) {
  struct Case {
    const char* mode;
    bool read, write, append, create;
  };
  const Case cases[] = {
      {"rb", true, false, false, false},  {"r", true, false, false, false},
      {"RB", true, false, false, false},  {"wb", false, true, false, true},
      {"W", false, true, false, true},    {"ab", false, true, true, true},
      {"a+", true, true, true, true},     {"r+b", true, true, false, true},
      {"w+", true, true, false, true},    {"rb+", true, false, false, false},  // '+' third is ignored
      {"xb", true, false, false, false},  {"", true, false, false, false},
      {"wbx+", false, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const OpenMode m = ParseOpenMode(c.mode);
    EXPECT_EQ(m.read, c.read);
    EXPECT_EQ(m.write, c.write);
    EXPECT_EQ(m.append, c.append);
    EXPECT_EQ(m.create, c.create);
  }
}

TEST(OpenDataFileTest, RefusesNullOrEmptyPathAndNullMode) {
  TempInstall install;
  char empty[1] = {0};
  EXPECT_EQ(OpenDataFile(static_cast<char*>(nullptr), "rb"), -1);
  EXPECT_EQ(OpenDataFile(empty, "wb"), -1);
  EXPECT_EQ(OpenDataFile("..\\data\\x.dat", nullptr), -1);
  CloseDataFile(-1);  // callers close unconditionally
  CloseDataFile(0);
}

TEST(OpenDataFileTest, MissingFileFailsForReadingAndIsCreatedUpperCaseOtherwise) {
  TempInstall install;
  EXPECT_EQ(OpenDataFile("..\\data\\missing.dat", "rb"), -1);
  for (const char* mode : {"wb", "w+", "ab", "r+b"}) {
    SCOPED_TRACE(mode);
    int handle = OpenDataFile("..\\data\\new.dat", mode);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(GetDataFileSize(handle), 0u);
    CloseDataFile(handle);
    EXPECT_TRUE(fs::exists(install.data() / "NEW.DAT"));
    EXPECT_FALSE(fs::exists(install.data() / "new.dat"));
    fs::remove(install.data() / "NEW.DAT");
  }
}

TEST(OpenDataFileTest, UpperCasesTheCallersBufferWithoutTouchingGbkBytes) {
  TempInstall install;
  // The trail byte of the second character is the ASCII letter 'q'.
  char path[] = "..\\data\\sh\\漲a.day";
  fs::create_directories(install.data() / "sh");
  int handle = OpenDataFile(path, "wb");
  ASSERT_GT(handle, 0);
  CloseDataFile(handle);
  EXPECT_STREQ(path, "..\\DATA\\SH\\漲A.DAY");
  // Stored as UTF-8 on disk, upper-case ASCII, and found again under the original spelling.
  EXPECT_TRUE(fs::exists(install.data() / "sh" / u8"漲A.DAY"));
  handle = OpenDataFile("..\\data\\sh\\漲a.day", "rb");
  EXPECT_GT(handle, 0);
  CloseDataFile(handle);
}

TEST(OpenDataFileTest, ReopensAnExistingLowerCaseFileUnderTheUpperCasedName) {
  TempInstall install;
  WriteBytes(install.data() / "sz" / "nametbl.sz", "table");
  char path[] = "..\\data\\sz\\nametbl.sz";
  int handle = OpenDataFile(path, "rb");
  ASSERT_GT(handle, 0);
  char buffer[8] = {};
  EXPECT_EQ(ReadDataFile(handle, buffer, 1, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "table");
  CloseDataFile(handle);
}

TEST(OpenDataFileTest, AbsoluteMixedCasePathsStillReachTheirFolders) {
  TempInstall install;
  // The user folder is often an absolute path with lower-case parts; upper-casing it must not
  // lose it.
  std::string path = paths::ToWindows((install.user() / "alarm.set").string());
  int handle = OpenDataFile(path.data(), "wb");
  ASSERT_GT(handle, 0);
  CloseDataFile(handle);
  EXPECT_TRUE(fs::exists(install.user() / "ALARM.SET"));
}

TEST(OpenDataFileTest, EachModeWritesWhereItSaysIntoTheOldBytes) {
  // One write into an existing file of a hundred bytes.
  struct Case {
    const char* mode;
    std::string_view bytes;
    std::uint32_t written;
    std::string after;
  };
  const std::string old = hundredBytes();
  const Case cases[] = {
      {"wb", "0123456789", 10, "0123456789" + old.substr(10)},   // opening for writing never truncates
      {"r+b", "0123456789", 10, "0123456789" + old.substr(10)},
      {"ab", "xyz", 3, old + "xyz"},                             // appending starts at the end
      {"rb+", "x", 0, old},                                      // '+' in third place opens read-only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    TempInstall install;
    WriteBytes(install.data() / "FILE.DAT", old);
    int handle = OpenDataFile("..\\data\\file.dat", c.mode);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(WriteDataFile(handle, c.bytes.data(), 1, static_cast<std::uint32_t>(c.bytes.size())), c.written);
    CloseDataFile(handle);
    EXPECT_EQ(ReadBytes(install.data() / "FILE.DAT"), c.after);
  }
}

TEST(OpenDataFileTest, AWriterCutsTheOldTailByTruncating) {
  TempInstall install;
  WriteBytes(install.data() / "FILE.DAT", hundredBytes());
  int handle = OpenDataFile("..\\data\\file.dat", "wb");
  ASSERT_GT(handle, 0);
  EXPECT_EQ(WriteDataFile(handle, "0123456789", 1, 10), 10u);
  EXPECT_EQ(GetDataFileSize(handle), 100u);
  EXPECT_EQ(TruncateDataFile(handle, 10), 10u);
  EXPECT_EQ(GetDataFileSize(handle), 10u);
  CloseDataFile(handle);
  EXPECT_EQ(ReadBytes(install.data() / "FILE.DAT"), "0123456789");
}

TEST(DataFileTest, SeeksFromEachOriginAndReadsElements) {
  TempInstall install;
  WriteBytes(install.data() / "FILE.DAT", hundredBytes());
  int handle = OpenDataFile("..\\data\\FILE.DAT", "rb");
  ASSERT_GT(handle, 0);
  EXPECT_EQ(SeekDataFile(handle, 10, 0), 10u);
  EXPECT_EQ(SeekDataFile(handle, 5, 1), 15u);
  EXPECT_EQ(SeekDataFile(handle, -4, 2), 96u);
  char tail[8] = {};
  EXPECT_EQ(ReadDataFile(handle, tail, 2, 3), 4u);  // a short read returns what was there
  EXPECT_STREQ(tail, hundredBytes().substr(96).c_str());
  EXPECT_EQ(SeekDataFile(handle, 0, 3), 0xFFFFFFFFu);   // unknown origin
  EXPECT_EQ(SeekDataFile(handle, -1, 0), 0xFFFFFFFFu);  // before the start
  CloseDataFile(handle);
}

TEST(DataFileTest, ElementCountsWhoseProductOverflowsAreRefused) {
  TempInstall install;
  WriteBytes(install.data() / "FILE.DAT", hundredBytes());
  int handle = OpenDataFile("..\\data\\FILE.DAT", "r+b");
  ASSERT_GT(handle, 0);
  char buffer[16] = {};
  // 0x10000 x 0x10001 wraps to 0x10000 in 32 bits: it must not turn into a smaller read.
  EXPECT_EQ(ReadDataFile(handle, buffer, 0x10000, 0x10001), 0u);
  EXPECT_EQ(WriteDataFile(handle, buffer, 0x10000, 0x10001), 0u);
  EXPECT_EQ(ReadBytes(install.data() / "FILE.DAT"), hundredBytes());
  CloseDataFile(handle);
}

TEST(DataFileTest, BadHandlesFailQuietly) {
  char buffer[4];
  for (int handle : {-1, 0, 123456}) {
    SCOPED_TRACE(handle);
    EXPECT_EQ(ReadDataFile(handle, buffer, 1, 4), 0u);
    EXPECT_EQ(WriteDataFile(handle, buffer, 1, 4), 0u);
    EXPECT_EQ(GetDataFileSize(handle), 0u);
    EXPECT_EQ(SeekDataFile(handle, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(TruncateDataFile(handle, 0), 0xFFFFFFFFu);
  }
}

}  // namespace
