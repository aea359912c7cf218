#include "data/UtilData.h"

#include "core/GuardedAlloc.h"
#include "data/HotKeys.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::CrlfLines;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

// A temporary install tree with its own application-data folder, torn down after each test.
class UtilDataTest : public ::testing::Test {
 protected:
  UtilDataTest() : appData(install.root() / "appdata"), appDataFolder(appData.string()) {
    fs::create_directories(appData);
  }
  ~UtilDataTest() override {
    TUtilData::Shutdown();
  }

  void WriteUserPath(const std::string& value) {
    WriteBytes(install.cfg() / "UserPath.INI", CrlfLines({"[Path]", "UserPath=" + value}));
  }
  // A regular file where a folder would have to be: nothing can be created below it.
  fs::path Blocker(const fs::path& file) {
    WriteBytes(file, "x");
    return file;
  }
  bool UserDirIs(const fs::path& expected) {
    std::error_code ignored;
    return fs::equivalent(paths::Resolve(UserDir), expected, ignored);
  }
  std::string UserSetting(const char* section, const char* key) {
    char value[256] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, UserFilePath("SETTING.INI").c_str());
    return value;
  }

  TempInstall install;
  fs::path appData;
  kernel::ScopedSpecialFolder appDataFolder;
};

TEST_F(UtilDataTest, ConfiguredWritableDirectoryIsSeeded) {
  WriteUserPath("..\\user\\Alice");
  WriteBytes(install.cfg() / "SETTING.INI",
             CrlfLines({"[Parameter]", "CycleOrder=1D,1W", "[Color0]", "COLOR01=255"}));

  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Configured);
  EXPECT_STREQ(UserDir, "..\\user\\Alice\\");
  const fs::path dir = install.user() / "Alice";
  EXPECT_TRUE(fs::is_directory(dir / "stoporder"));
  EXPECT_FALSE(fs::exists(dir / "AccesChk.tmp"));
  EXPECT_EQ(ReadBytes(dir / "blocks.ini"), "[FileInfo]\r\nVersion=1\r\n\r\n[我的板块]\r\n");
  // The system settings were copied, then the theme seeds added.
  EXPECT_EQ(UserSetting("Parameter", "CycleOrder"), "1D,1W");
  EXPECT_EQ(UserSetting("Parameter", "ThemeVer"), "1");
  EXPECT_EQ(ColorTable[0], 255u);
  EXPECT_EQ(ColorTable[31], 15198183u);   // seeded Color32 of COLOR0, read as COLOR32 of Color0
  EXPECT_EQ(ColorTable[55], 8404992u);
  EXPECT_EQ(ColorTable[1], 0u);
  EXPECT_STREQ(FontTable[0].face, "黑体");
  EXPECT_EQ(FontTable[0].height, 19);
  EXPECT_STREQ(FontTable[7].face, "Tahoma");
  EXPECT_EQ(FontTable[10].height, 32);
  EXPECT_STREQ(FontTable[1].face, "宋体");   // unseeded: the default font
  EXPECT_EQ(FontTable[1].height, 11);
  EXPECT_EQ(CycleOrderTable.cycles[0], 8);
  EXPECT_EQ(CycleOrderTable.cycles[1], 9);
  EXPECT_EQ(HotKeyTable[60].commandId, 61);
}

TEST_F(UtilDataTest, ExistingUserFilesAreKept) {
  WriteUserPath("..\\user");
  WriteBytes(install.user() / "SETTING.INI",
             CrlfLines({"[Parameter]", "ThemeVer=1", "[Color0]", "COLOR32=7"}));
  WriteBytes(install.user() / "blocks.ini", "[FileInfo]\r\nVersion=1\r\n");
  WriteBytes(install.cfg() / "SETTING.INI", CrlfLines({"[Color0]", "COLOR32=9"}));

  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Configured);
  EXPECT_EQ(ColorTable[31], 7u);   // neither the system copy nor the seeds replaced it
  EXPECT_EQ(ReadBytes(install.user() / "blocks.ini"), "[FileInfo]\r\nVersion=1\r\n");
}

TEST_F(UtilDataTest, EmptyUserPathUsesApplicationDataAndLeavesTheFileAlone) {
  WriteUserPath("");
  const std::string before = ReadBytes(install.cfg() / "UserPath.INI");

  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Default);
  EXPECT_TRUE(UserDirIs(appData / "zuvo"));
  EXPECT_EQ(UserDir[std::strlen(UserDir) - 1], '\\');
  EXPECT_TRUE(fs::exists(appData / "zuvo" / "blocks.ini"));
  EXPECT_EQ(ReadBytes(install.cfg() / "UserPath.INI"), before);
}

TEST_F(UtilDataTest, WithoutApplicationDataTheInstallTreeHoldsTheUserDirectory) {
  kernel::ScopedSpecialFolder noAppData(Blocker(install.root() / "appfile").string());
  WriteUserPath("");
  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Default);
  EXPECT_TRUE(UserDirIs(install.cfg() / "user")) << UserDir;
  EXPECT_TRUE(fs::exists(install.cfg() / "user" / "blocks.ini"));
}

TEST_F(UtilDataTest, UnwritableUserPathIsReplacedAndWrittenBack) {
  struct Case {
    std::string configured;
    std::string component;   // expected folder under <appdata>\zuvo
  };
  Blocker(install.root() / "readonly");
  Blocker(install.bin() / "Bob");
  Blocker(install.root() / "drive_d" / "Quotes");   // a drive that cannot take the folder
  const Case cases[] = {
      {"D:\\Quotes\\Alice", "Alice"},
      {"..\\readonly\\Alice", "Alice"},
      {"..\\readonly\\Alice\\\\", "Alice"},
      {"Bob", "Bob"},                           // no backslash: the whole text is the folder
      {"..\\readonly\\D:", ""},                 // not a plain folder name: none is taken
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    WriteUserPath(c.configured);
    EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Replaced);
    const fs::path expected = c.component.empty() ? appData / "zuvo" : appData / "zuvo" / c.component;
    EXPECT_TRUE(UserDirIs(expected)) << UserDir;
    profile::ClearCache();
    char stored[MAX_PATH] = {};
    GetPrivateProfileStringA("Path", "UserPath", "", stored, sizeof stored, "..\\CFG\\UserPath.INI");
    EXPECT_STREQ(stored, UserDir);
  }
}

TEST_F(UtilDataTest, DoubleByteFolderNameEndingInBackslashByteStaysWhole) {
  // "淺" is 9C 5C in GBK: its trail byte is no separator, so a backslash is still appended
  // and the folder name is taken whole.
  Blocker(install.root() / "readonly");
  struct Case {
    const char* configured;
    UserDirStatus status;
    fs::path expected;
  };
  const Case cases[] = {
      {"..\\user\\淺", UserDirStatus::Configured, install.user() / fs::path(u8"淺")},
      {"..\\readonly\\淺\\", UserDirStatus::Replaced, appData / "zuvo" / fs::path(u8"淺")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    WriteUserPath(c.configured);
    EXPECT_EQ(TUtilData::Startup("."), c.status);
    EXPECT_TRUE(UserDirIs(c.expected)) << UserDir;
    EXPECT_TRUE(fs::exists(c.expected / "blocks.ini"));
    EXPECT_EQ(UserDir[std::strlen(UserDir) - 1], '\\');
    EXPECT_EQ(UserDir[std::strlen(UserDir) - 2], '\\');   // the trail byte, then the separator
  }
}

TEST_F(UtilDataTest, UnwritableApplicationDataFallsBackToTheInstallTree) {
  // The application-data folder exists, but its "zuvo" cannot be a folder: the fall-back must
  // be proven writable too, not taken on trust.
  Blocker(appData / "zuvo");
  Blocker(install.root() / "readonly");
  struct Case {
    std::string configured;
    UserDirStatus status;
    fs::path expected;
  };
  const Case cases[] = {
      {"..\\readonly\\Alice", UserDirStatus::Replaced, install.cfg() / "user" / "Alice"},
      {"", UserDirStatus::Default, install.cfg() / "user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured);
    WriteUserPath(c.configured);
    EXPECT_EQ(TUtilData::Startup("."), c.status);
    EXPECT_TRUE(UserDirIs(c.expected)) << UserDir;
    EXPECT_TRUE(fs::exists(c.expected / "blocks.ini"));
    profile::ClearCache();
    char stored[MAX_PATH] = {};
    GetPrivateProfileStringA("Path", "UserPath", "", stored, sizeof stored, "..\\CFG\\UserPath.INI");
    EXPECT_STREQ(stored, c.configured.empty() ? "" : UserDir);
  }
}

TEST_F(UtilDataTest, OverlongUserPathFallsBackWithinBounds) {
  struct Case {
    std::string configured;
    std::string component;   // expected folder under <appdata>\zuvo ("" for none)
  };
  const std::string longName(250, 'a');
  const Case cases[] = {
      // 259 characters without the backslash that would make it 260.
      {"..\\user\\" + std::string(259 - 8, 'a'), ""},
      // 262 characters whose first 259 end in a backslash: read cut short, they would name
      // the parent folder, which is writable.
      {"..\\user\\" + longName + "\\Bob", "Bob"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.configured.size());
    WriteUserPath(c.configured);
    EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Replaced);
    EXPECT_LT(std::strlen(UserDir), static_cast<std::size_t>(kUserDirSize));
    EXPECT_EQ(UserDir[std::strlen(UserDir) - 1], '\\');
    EXPECT_TRUE(UserDirIs(c.component.empty() ? appData / "zuvo" : appData / "zuvo" / c.component))
        << UserDir;
    EXPECT_TRUE(fs::exists(paths::Resolve(UserFilePath("blocks.ini"))));
    EXPECT_FALSE(fs::exists(install.user() / longName));
  }
}

TEST_F(UtilDataTest, NothingWritableIsReported) {
  Blocker(install.root() / "readonly");
  fs::remove_all(install.cfg() / "user");
  Blocker(install.cfg() / "user");
  kernel::ScopedSpecialFolder noAppData(Blocker(install.root() / "appfile").string());
  WriteUserPath("..\\readonly\\Alice");
  const std::string before = ReadBytes(install.cfg() / "UserPath.INI");

  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::NotWritable);
  EXPECT_EQ(GetUserDirStatus(), UserDirStatus::NotWritable);
  EXPECT_NE(UserDirNotWritableText().find(UserDir), std::string::npos);
  EXPECT_EQ(ReadBytes(install.cfg() / "UserPath.INI"), before);
  // The settings still hold their defaults.
  EXPECT_EQ(MaxDataRecords, kDefaultMaxDataRecords);
  EXPECT_EQ(HotKeyTable[27].keyMask, KeyF(1));
}

TEST_F(UtilDataTest, ThemeFontsAndColoursFromUserSettings) {
  WriteUserPath("..\\user");
  const std::string longFace(31, 'F');
  WriteBytes(install.user() / "SETTING.INI",
             CrlfLines({"[Parameter]", "ThemeVer=1", "LastTheme=2", "MaxDataRecords=5",
                        "[Color2]", "COLOR01=255", "COLOR64=16777215", "[Font2]",
                        "FONT01=1,14,Arial", "FONT02=3,14,Arial", "FONT03=0,12," + longFace,
                        "FONT04=0,13,Courier New", "FONT05=0,12,A微软雅黑微软雅黑",
                        "FONT06=x", "FONT07=1,,Tahoma", "FONT08=0,-15,Tahoma"}));

  TUtilData::Startup(".");
  EXPECT_EQ(LastTheme, 2);
  EXPECT_EQ(MaxDataRecords, kDefaultMaxDataRecords);   // the user's copy does not count
  EXPECT_EQ(ColorTable[0], 255u);
  EXPECT_EQ(ColorTable[63], 16777215u);
  EXPECT_EQ(ColorTable[1], 0u);

  struct Expected {
    int style;
    int height;
    const char* face;
  };
  const Expected fonts[] = {
      {1, 14, "Arial"},
      {1, 14, "Arial"},              // only bit 0 counts
      {0, 12, "FFFFFFFFFFFFFF"},     // cut to 14 bytes
      {0, 13, "Courier New"},        // spaces kept
      {0, 12, "A微软雅黑微软"},      // cut before a half character
      {0, 11, "宋体"},               // unreadable: the default
      {1, 11, "Tahoma"},             // missing height: the default height
      {0, -15, "Tahoma"},
      {0, 11, "宋体"},               // absent
  };
  for (int i = 0; i < static_cast<int>(std::size(fonts)); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(FontTable[i].style, fonts[i].style);
    EXPECT_EQ(FontTable[i].height, fonts[i].height);
    EXPECT_STREQ(FontTable[i].face, fonts[i].face);
  }

  LoadThemeColors(0);
  EXPECT_EQ(ColorTable[0], 0u);   // a theme without a section: all zero
}

TEST_F(UtilDataTest, ShippedDefaultsStartOutOfTheBox) {
  // The files the install tree is assembled from, as shipped.
  const fs::path shipped = fs::path(__FILE__).parent_path().parent_path().parent_path() / "dist" / "cfg";
  ASSERT_TRUE(fs::is_directory(shipped)) << shipped;
  for (const char* name : {"SETTING.INI", "UserPath.INI", "blocks.ini"}) {
    fs::copy_file(shipped / name, install.cfg() / name, fs::copy_options::overwrite_existing);
  }

  EXPECT_EQ(TUtilData::Startup("."), UserDirStatus::Configured);
  EXPECT_STREQ(UserDir, "..\\user\\");
  EXPECT_EQ(UserSetting("AppTitle", "Title"), "柯苏之星");
  EXPECT_EQ(MaxDataRecords, kDefaultMaxDataRecords);
  EXPECT_EQ(LastTheme, 0);
  CycleOrderRecord shippedOrder{};
  ParseCycleOrderText("0T,11,13,15,115,130,160,1120,1240,0Y,1D,1W,1M,1S,0X", &shippedOrder);
  EXPECT_EQ(std::memcmp(&CycleOrderTable, &shippedOrder, sizeof shippedOrder), 0);
  EXPECT_EQ(ReadBytes(install.user() / "blocks.ini").size(), 37u);
  for (int theme = 0; theme < 4; ++theme) {
    SCOPED_TRACE(theme);
    LoadThemeColors(theme);
    // Rise, level and fall differ from each other and from the background.
    EXPECT_NE(ColorTable[18], ColorTable[19]);
    EXPECT_NE(ColorTable[19], ColorTable[20]);
    EXPECT_NE(ColorTable[18], ColorTable[20]);
    EXPECT_NE(ColorTable[0], ColorTable[19]);
    EXPECT_NE(ColorTable[0], ColorTable[12]);
    LoadThemeFonts(theme);
    EXPECT_STREQ(FontTable[0].face, "黑体");
    EXPECT_EQ(FontTable[10].height, 32);
    EXPECT_EQ(FontTable[12].style, 1);
  }
}

struct CycleCase {
  const char* text;
  std::vector<int> cycles;
  std::vector<int> shown;
  const char* written;
};

TEST(CycleOrder, ParseAndWriteBack) {
  const CycleCase cases[] = {
      {"0T,11,13,15,115,130,160,1120,1240,0Y,1D,1W,1M,1S,0X",
       {0, 1, 2, 4, 5, 6, 7, 13, 14, 3, 8, 9, 10, 11, 12},
       {0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0},
       "0T,11,13,15,115,130,160,1120,1240,0Y,1D,1W,1M,1S,0X"},
      {"1D,0T,1D,1",
       {8, 0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14},
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "1D,0T,01,03,0Y,05,015,030,060,0W,0M,0S,0X,0120,0240"},
      {"", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "0T,01,03,0Y,05,015,030,060,0D,0W,0M,0S,0X,0120,0240"},
      // Unknown codes contribute nothing; any visibility character but '0' shows.
      {"1Q,9W,1D7,x240", {9, 14, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13},
       {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "1W,1240,0T,01,03,0Y,05,015,030,060,0D,0M,0S,0X,0120"},
      // The tail of an unknown token is not a token; an empty token hides nothing after it.
      {"1QQQ,015,,1W,", {5, 9, 0, 1, 2, 3, 4, 6, 7, 8, 10, 11, 12, 13, 14},
       {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "015,1W,0T,01,03,0Y,05,030,060,0D,0M,0S,0X,0120,0240"},
  };
  for (const CycleCase& c : cases) {
    SCOPED_TRACE(c.text);
    CycleOrderRecord order{};
    ParseCycleOrderText(c.text, &order);
    EXPECT_EQ(std::vector<int>(order.cycles, order.cycles + kCycleCount), c.cycles);
    EXPECT_EQ(std::vector<int>(order.shown, order.shown + kCycleCount), c.shown);
    char written[128];
    FormatCycleOrder(order, written, sizeof written);
    EXPECT_STREQ(written, c.written);
  }
}

TEST(CycleOrder, NeverReadsPastTheText) {
  // Every prefix in a buffer of exactly its size: a read past the end trips the sanitizer.
  const std::string text = "1D,0T,1120,1,11,0";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    std::vector<char> exact(text.begin(), text.begin() + static_cast<long>(length));
    exact.push_back(0);
    CycleOrderRecord order{};
    ParseCycleOrderText(exact.data(), &order);
    bool seen[kCycleCount] = {};
    for (int i = 0; i < kCycleCount; ++i) {
      ASSERT_LT(order.cycles[i], kCycleCount);
      EXPECT_FALSE(seen[order.cycles[i]]);
      seen[order.cycles[i]] = true;
    }
  }
}

TEST_F(UtilDataTest, CycleOrderIsStoredInUserSettings) {
  WriteUserPath("..\\user");
  WriteBytes(install.user() / "SETTING.INI",
             CrlfLines({"[Parameter]", "ThemeVer=1", "CycleOrder=1D,0T,1D,1"}));
  TUtilData::Startup(".");
  EXPECT_EQ(CycleOrderTable.cycles[0], 8);
  ASSERT_TRUE(WriteCycleOrder());
  EXPECT_EQ(UserSetting("Parameter", "CycleOrder"), "1D,0T,01,03,0Y,05,015,030,060,0W,0M,0S,0X,0120,0240");
}

TEST_F(UtilDataTest, MaxDataRecordsIsClampedAndResizesTheScratchBuffer) {
  struct Case {
    const char* value;
    int expected;
  };
  const Case cases[] = {{nullptr, 15000}, {"0", 15000},    {"-5", 15000},   {"abc", 15000},
                        {"50", 100},      {"20000", 20000}, {"999999999", 1000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(absent)");
    WriteBytes(install.cfg() / "SETTING.INI",
               c.value ? CrlfLines({"[Parameter]", std::string("MaxDataRecords=") + c.value}) : "");
    EXPECT_EQ(LoadMaxDataRecords(), c.expected);
    EXPECT_EQ(MaxDataRecords, c.expected);
  }

  WriteBytes(install.cfg() / "SETTING.INI", CrlfLines({"[Parameter]", "MaxDataRecords=15000"}));
  LoadMaxDataRecords();
  void* scratch = GetBarScratch();
  ASSERT_NE(scratch, nullptr);
  EXPECT_EQ(GetBarScratchSize(), 15000u * 32 + 100);
  EXPECT_EQ(GuardedSize(scratch), GetBarScratchSize());
  EXPECT_EQ(GetBarScratch(), scratch);   // kept while the limit stays

  WriteBytes(install.cfg() / "SETTING.INI", CrlfLines({"[Parameter]", "MaxDataRecords=20000"}));
  LoadMaxDataRecords();
  EXPECT_EQ(GuardedSize(GetBarScratch()), 20000u * 32 + 100);
  EXPECT_EQ(GetBarScratchSize(), 20000u * 32 + 100);
}

TEST_F(UtilDataTest, ClockWordHoldsUtcWhateverTheLocalZone) {
  // 2024-03-05 23:30:00 UTC, local zone eight hours ahead (already March 6 there).
  zuvo::platform::ScopedDrivenClock clock(std::int64_t{1709681400} * 1000, 8 * 60);
  UpdateSystemNow();
  EXPECT_EQ(SystemNow, (2024u << 20) | (3u << 16) | (5u << 11) | (23u << 6) | 30u);
}

TEST(PriceColor, ValueFirstThenReference) {
  struct Case {
    std::uint32_t value;
    std::uint32_t reference;
    int index;
  };
  const Case cases[] = {
      {0, 500, 19},              // no price yet: level
      {500, 500, 19},
      {501, 500, 20},            // up: COLOR21
      {499, 500, 18},            // down: COLOR19
      {500, 0, 20},              // no reference: anything is above it
      {0xFFFFFFFFu, 1, 20},      // unsigned: the top value is above, not below
      {1000000 + 5, 1000000, 20},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PriceColorIndex(c.value, c.reference), c.index) << c.value << " " << c.reference;
  }
}

}  // namespace
