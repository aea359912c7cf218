#include "data/CacheFiles.h"

#include "data/CacheTestMarket.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace zuvo::platform;

using cachetest::TestMarket;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

TEST(CacheFilePath, NamesEachFileOfAnInstrument) {
  struct {
    CacheFile kind;
    const char* path;
  } cases[] = {
      {CacheFile::Ticks, "..\\data\\SH\\tick\\600000.tik"},
      {CacheFile::RecentTrades, "..\\data\\SH\\tick\\600000.nnt"},
      {CacheFile::TradeDetails, "..\\data\\SH\\tick\\600000.TRD"},
      {CacheFile::TrendHistory, "..\\data\\SH\\trend\\600000.trn"},
      {CacheFile::Bars1Min, "..\\data\\SH\\min1\\600000.m1"},
      {CacheFile::Bars5Min, "..\\data\\SH\\min\\600000.min"},
      {CacheFile::Bars60Min, "..\\data\\SH\\hour\\600000.hr"},
      {CacheFile::DayBars, "..\\data\\SH\\day\\600000.day"},
      {CacheFile::Weights, "..\\data\\SH\\weight\\600000.wgt"},
      {CacheFile::Advice, "..\\data\\SH\\advice\\600000.adv"},
  };
  std::string path;
  for (auto c : cases) {
    ASSERT_TRUE(CacheFilePath(c.kind, "SH", "600000", path));
    EXPECT_EQ(path, c.path);
  }
}

TEST(CacheFilePath, RefusesCodesThatCannotNameAFileInsideTheDataFolder) {
  std::string path = "stale";
  for (const char* code : {"", "..", ".", "a\\b", "a/b", "c:x", "\x01x", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"}) {
    EXPECT_FALSE(CacheFilePath(CacheFile::Ticks, "SH", code, path)) << code;
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(CacheFilePath(CacheFile::Ticks, code, "600000", path)) << code;
  }
  EXPECT_FALSE(CacheFilePath(CacheFile::Ticks, "SH", nullptr, path));
  EXPECT_FALSE(CacheFilePath(CacheFile::Ticks, static_cast<const TMarketData*>(nullptr), "600000", path));
  // GBK codes are allowed.
  EXPECT_TRUE(CacheFilePath(CacheFile::Ticks, "SH", "\xB9\xFA\xB4\xFB", path));
}

TEST(CacheFilePath, TrendDayAndBarFilesByKind) {
  TempInstall install;
  TestMarket market;
  std::string path;
  const PackedTime day = MakePackedTime(2008, 6, 4, 15, 0);
  ASSERT_TRUE(TrendDayFilePath(market.table, "600000", day, path));
  EXPECT_EQ(path, "..\\data\\SH\\trend\\600000" + std::to_string(PackedDate(day)) + ".trn");

  ASSERT_TRUE(BarFilePath(7, market.table, "IF08", path));
  EXPECT_EQ(path, "..\\data\\SH\\hour\\IF08.hr");
  EXPECT_FALSE(BarFilePath(2, market.table, "IF08", path));
  ASSERT_TRUE(CacheFolderPath(CacheFile::TrendHistory, market.table, path));
  EXPECT_EQ(path, "..\\data\\SH\\trend");
}

TEST(DeleteInstrumentCacheFiles, RemovesEveryCacheFileOfOneInstrumentOnly) {
  TempInstall install;
  TestMarket market;
  const auto dir = cachetest::MarketDir(install);
  const char* files[] = {"tick/600000.tik", "tick/600000.nnt", "tick/600000.TRD", "trend/600000.trn",
                         "min1/600000.m1",  "min/600000.min",  "hour/600000.hr",  "day/600000.day",
                         "weight/600000.wgt", "advice/600000.adv"};
  for (const char* file : files) WriteBytes(dir / file, "x");
  // Written upper-case by the file layer: still found.
  std::filesystem::rename(dir / "day/600000.day", dir / "day/600000.DAY");
  paths::InvalidateCache();
  WriteBytes(dir / "tick/600001.tik", "keep");
  WriteBytes(dir / "trend/6000002008.trn", "keep");   // a downloaded day of another code

  EXPECT_EQ(DeleteInstrumentCacheFiles(STKPTR(0, 0, 0)), 10);
  for (const char* file : files) EXPECT_FALSE(std::filesystem::exists(dir / file)) << file;
  EXPECT_FALSE(std::filesystem::exists(dir / "day/600000.DAY"));
  EXPECT_TRUE(std::filesystem::exists(dir / "tick/600001.tik"));
  EXPECT_TRUE(std::filesystem::exists(dir / "trend/6000002008.trn"));

  EXPECT_EQ(DeleteInstrumentCacheFiles(STKPTR(0, 0, 0)), 0);
  EXPECT_EQ(DeleteInstrumentCacheFiles(STKPTR(0, 0, 3)), -1);
  EXPECT_EQ(DeleteInstrumentCacheFiles(STKPTR(5, 0, 0)), -1);
  EXPECT_EQ(DeleteInstrumentCacheFiles(market.table, ".."), -1);
}

}  // namespace
