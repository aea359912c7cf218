#include "data/TimeZones.h"

#include "core/PackedTime.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

using testsupport::WriteBytes;

// Builds systime.dat bytes: zone count, saved zone, market zone hours, category zones, zones.
class SysTimeFixture {
 public:
  SysTimeFixture() : bytes(kSysTimeFileSize, 0) {}
  void ZoneCount(std::int32_t n) { std::memcpy(&bytes[0], &n, 4); }
  void MarketHour(int market, int hour) { bytes[8 + static_cast<std::size_t>(market)] = static_cast<char>(hour); }
  void Category(int market, int category, int offset, const std::string& name) {
    Put(56 + static_cast<std::size_t>(market * 15 + category) * 33, offset, name);
  }
  void Zone(int zone, int offset, const std::string& name) {
    Put(56 + 48 * 15 * 33 + static_cast<std::size_t>(zone) * 33, offset, name);
  }
  std::vector<char> bytes;

 private:
  void Put(std::size_t at, int offset, const std::string& name) {
    bytes[at] = static_cast<char>(offset);
    std::memcpy(&bytes[at + 1], name.data(), std::min<std::size_t>(name.size(), 32));
  }
};

class TimeZonesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir, UserDir);
    std::strcpy(UserDir, "..\\user\\");
    profile::ClearCache();
  }
  void TearDown() override {
    std::strcpy(UserDir, savedUserDir);
    profile::ClearCache();
  }
  void Write(const SysTimeFixture& file) {
    WriteBytes(install.cfg() / "systime.dat", std::string(file.bytes.begin(), file.bytes.end()));
  }
  void SaveZone(const char* value) {
    WriteBytes(install.user() / "SETTING.INI", "[Parameter]\r\nTimeZone=" + std::string(value) + "\r\n");
    profile::ClearCache();
  }
  int SavedZone() {
    return static_cast<int>(GetPrivateProfileIntA("Parameter", "TimeZone", -99, "..\\user\\SETTING.INI"));
  }
  // Five zones; market 2 lives at +8 with per-category own entries.
  SysTimeFixture Standard() {
    SysTimeFixture file;
    file.ZoneCount(5);
    for (int m = 0; m < 48; ++m) file.MarketHour(m, 8);
    file.Category(2, 0, 0, "own0");
    file.Category(2, 1, -2, "own1");
    file.Zone(0, 0, "market");
    file.Zone(3, 9, "zone3");
    file.Zone(4, -5, "zone4");
    return file;
  }

  testsupport::TempInstall install;
  TimeZoneTable table;
  char savedUserDir[kUserDirSize] = {};
};

TEST_F(TimeZonesTest, AChosenZoneShiftsEveryCategoryOfAMarketByTheDifference) {
  Write(Standard());
  SaveZone("3");
  ASSERT_TRUE(LoadTimeZoneTable(&table));
  EXPECT_EQ(table.currentZone, 3);
  for (int c = 0; c < 15; ++c) EXPECT_EQ(ZoneOffset(&table, 2, c), 1);
  EXPECT_STREQ(table.effective[2][1].name, "zone3");
  PackedTime t = MakePackedTime(2008, 6, 30, 23, 30);
  ShiftTimeToZone(&table, 2, 1, &t);
  EXPECT_EQ(t, MakePackedTime(2008, 7, 1, 0, 30));

  // Zone 0: each category's own entry, whatever the market hour.
  ASSERT_TRUE(ApplyTimeZone(&table, 0));
  EXPECT_EQ(ZoneOffset(&table, 2, 1), -2);
  EXPECT_STREQ(table.effective[2][1].name, "own1");
  EXPECT_EQ(SavedZone(), 0);
  t = MakePackedTime(2008, 3, 1, 1, 5);
  ShiftTimeToZone(&table, 2, 1, &t);
  EXPECT_EQ(t, MakePackedTime(2008, 2, 29, 23, 5));

  SYSTEMTIME system{};
  system.wYear = 2008;
  system.wMonth = 12;
  system.wDay = 31;
  system.wHour = 23;
  system.wMinute = 10;
  system.wSecond = 59;
  ASSERT_TRUE(ApplyTimeZone(&table, 3));
  EXPECT_EQ(ShiftSystemTimeToZone(&table, 2, 0, system), MakePackedTime(2009, 1, 1, 0, 10));
}

TEST_F(TimeZonesTest, ShiftHourReportsTheDay) {
  Write(Standard());
  SaveZone("0");
  ASSERT_TRUE(LoadTimeZoneTable(&table));
  // Category 1 of market 2 is -2; category 0 is 0.
  struct Case {
    int category;
    int hour;
    int expectedHour;
    int expectedDay;
  } cases[] = {{1, 0, 22, 1}, {1, 1, 23, 1}, {1, 2, 0, 2}, {0, 12, 12, 2}};
  for (const Case& c : cases) {
    int hour = c.hour;
    EXPECT_EQ(ShiftHourToZone(&table, 2, c.category, &hour), c.expectedDay);
    EXPECT_EQ(hour, c.expectedHour);
  }
  ASSERT_TRUE(ApplyTimeZone(&table, 3));   // +1
  int hour = 23;
  EXPECT_EQ(ShiftHourToZone(&table, 2, 0, &hour), 3);
  EXPECT_EQ(hour, 0);
  // Out-of-range markets and categories shift by nothing.
  hour = 5;
  EXPECT_EQ(ShiftHourToZone(&table, 48, 0, &hour), 2);
  EXPECT_EQ(ShiftHourToZone(&table, 0, -1, &hour), 2);
  EXPECT_EQ(hour, 5);
}

TEST_F(TimeZonesTest, SavedZonesOutOfRangeFallBackToZeroAndAreWrittenBack) {
  for (const char* saved : {"7", "-1", "5"}) {
    SCOPED_TRACE(saved);
    Write(Standard());
    SaveZone(saved);
    TimeZoneTable fresh;
    ASSERT_TRUE(LoadTimeZoneTable(&fresh));
    EXPECT_EQ(fresh.currentZone, 0);
    EXPECT_EQ(ZoneOffset(&fresh, 2, 1), -2);   // zone 0 applied, not left at 0
    EXPECT_EQ(SavedZone(), 0);
  }
  // A zone given to ApplyTimeZone out of range changes and writes nothing.
  TimeZoneTable fresh;
  ASSERT_TRUE(LoadTimeZoneTable(&fresh));
  ASSERT_TRUE(ApplyTimeZone(&fresh, 4));
  EXPECT_FALSE(ApplyTimeZone(&fresh, 5));
  EXPECT_FALSE(ApplyTimeZone(&fresh, -1));
  EXPECT_EQ(fresh.currentZone, 4);
  EXPECT_EQ(SavedZone(), 4);
  EXPECT_EQ(ZoneOffset(&fresh, 2, 0), -13);
}

TEST_F(TimeZonesTest, UntrustedCountsOffsetsAndNamesAreClamped) {
  SysTimeFixture file = Standard();
  file.ZoneCount(40);
  file.Zone(31, 100, std::string(40, 'N'));   // 40-character name, offset beyond a day
  file.MarketHour(5, -100);
  file.Category(5, 0, 127, "far");
  Write(file);
  SaveZone("0");
  ASSERT_TRUE(LoadTimeZoneTable(&table));
  EXPECT_EQ(table.zoneCount, 32);
  EXPECT_EQ(std::string(table.zones[31].name), std::string(31, 'N'));
  EXPECT_EQ(table.zones[31].offset, 23);
  EXPECT_EQ(table.marketZoneHour[5], -23);
  EXPECT_EQ(ZoneOffset(&table, 5, 0), 23);

  // +23 against a market at -23 would be 46 hours: kept within one day.
  ASSERT_TRUE(ApplyTimeZone(&table, 31));
  EXPECT_EQ(ZoneOffset(&table, 5, 0), 23);
  PackedTime t = MakePackedTime(2008, 12, 31, 23, 0);
  ShiftTimeToZone(&table, 5, 0, &t);
  EXPECT_EQ(t, MakePackedTime(2009, 1, 1, 22, 0));
}

TEST_F(TimeZonesTest, AFileWithoutZonesLeavesZoneZeroChosen) {
  // The file's own choice is never an index to trust: with no zone to apply it must not stand.
  for (std::int32_t stored : {7, -3, 0x7FFFFFFF}) {
    SCOPED_TRACE(stored);
    SysTimeFixture file = Standard();
    file.ZoneCount(0);
    std::memcpy(&file.bytes[4], &stored, 4);
    Write(file);
    SaveZone("2");
    TimeZoneTable fresh;
    ASSERT_TRUE(LoadTimeZoneTable(&fresh));
    EXPECT_EQ(fresh.zoneCount, 0);
    EXPECT_EQ(fresh.currentZone, 0);
    EXPECT_EQ(ZoneOffset(&fresh, 2, 1), 0);
  }
}

TEST_F(TimeZonesTest, MissingOrShortFilesLeaveOffsetsAtZero) {
  EXPECT_FALSE(LoadTimeZoneTable(&table));
  EXPECT_EQ(table.zoneCount, 0);
  PackedTime t = MakePackedTime(2008, 1, 1, 12, 0);
  ShiftTimeToZone(&table, 0, 0, &t);
  EXPECT_EQ(t, MakePackedTime(2008, 1, 1, 12, 0));

  SysTimeFixture file = Standard();
  file.bytes.resize(100);   // the zones are cut off
  Write(file);
  ASSERT_TRUE(LoadTimeZoneTable(&table));
  EXPECT_EQ(table.zoneCount, 0);
  EXPECT_EQ(table.zones[3].offset, 0);
  EXPECT_EQ(ZoneOffset(&table, 2, 1), 0);

  // A file cut inside zone 3 offers zones 0 to 2 only: zone 3, read as offset 0, would move
  // every market of zone hour +8 by eight hours.
  file = Standard();
  file.bytes.resize(56 + 48 * 15 * 33 + 3 * 33 + 20);
  Write(file);
  SaveZone("3");
  TimeZoneTable cut;
  ASSERT_TRUE(LoadTimeZoneTable(&cut));
  EXPECT_EQ(cut.zoneCount, 3);
  EXPECT_EQ(cut.currentZone, 0);
  EXPECT_FALSE(ApplyTimeZone(&cut, 3));
  EXPECT_EQ(ZoneOffset(&cut, 2, 1), -2);
}

}  // namespace
