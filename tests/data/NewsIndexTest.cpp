#include "data/NewsIndex.h"

#include "core/GuardedAlloc.h"

#include "platform/FileFaults.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace zuvo::platform;

using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

NewsRecord Headline(std::uint32_t id, std::uint32_t category = 1, const char* title = nullptr) {
  NewsRecord r{};
  r.categoryAndRead = category << 1;
  r.stamp = (1030u << 20) | 240517u;
  r.id = id;
  const std::string text = title ? title : "新闻" + std::to_string(id);
  std::strncpy(r.title, text.c_str(), sizeof r.title - 1);
  return r;
}

std::string NewsFile(const std::vector<std::uint32_t>& ids, const char* magic = "zvni01") {
  std::string bytes(magic, 6);
  for (std::uint32_t id : ids) {
    const NewsRecord r = Headline(id);
    bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
  }
  return bytes;
}

std::vector<std::uint32_t> Range(std::uint32_t first, std::uint32_t n) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < n; ++i) ids.push_back(first + i);
  return ids;
}

std::filesystem::path IndexFile(const TempInstall& install) { return install.data() / "info" / "news.ntl"; }

std::vector<std::uint32_t> Ids(const TNewsIndex& index) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < index.count; ++i) ids.push_back(index.records[i].id);
  return ids;
}

}  // namespace

TEST(NewsIndex, LoadsTheNewest5000RecordsOfALargeFile) {
  TempInstall install;
  WriteBytes(IndexFile(install), NewsFile(Range(1, 7000)));
  TNewsIndex index;
  index.Load();
  EXPECT_EQ(index.count, 5000u);
  EXPECT_EQ(index.capacity, 6000u);
  EXPECT_EQ(index.records[0].id, 2001u);
  EXPECT_EQ(index.records[4999].id, 7000u);
  EXPECT_EQ(index.dirty, 0);
}

TEST(NewsIndex, MissingForeignOrDamagedFilesGiveAnUsableIndex) {
  struct Case {
    const char* what;
    bool write;
    std::string bytes;
    std::vector<std::uint32_t> expected;
  };
  std::string torn = NewsFile({1, 2, 3});
  torn.resize(torn.size() - 40);   // the last record is cut: only whole records count
  const Case cases[] = {
      {"no file", false, {}, {}},
      {"wrong magic", true, NewsFile({1, 2, 3}, "zvni02"), {}},
      {"shorter than the magic", true, "zvn", {}},
      {"torn last record", true, torn, {1, 2}},
      {"records out of order", true, NewsFile({9, 4, 7}), {4, 7, 9}},
  };
  for (const Case& c : cases) {
    TempInstall install;
    if (c.write) WriteBytes(IndexFile(install), c.bytes);
    TNewsIndex index;
    index.Load();
    EXPECT_EQ(Ids(index), c.expected) << c.what;
    EXPECT_GE(index.capacity, 1000u) << c.what;
    EXPECT_TRUE(std::filesystem::is_directory(install.data() / "info")) << c.what;
    EXPECT_TRUE(index.Insert(Headline(5), true)) << c.what;
  }
}

TEST(NewsIndex, InsertKeepsIdOrderReplacesSameIdAndDropsTheCachedText) {
  TempInstall install;
  TNewsIndex index;
  index.Load();
  for (std::uint32_t id : {5u, 3u, 9u}) ASSERT_TRUE(index.Insert(Headline(id), false));
  EXPECT_EQ(Ids(index), (std::vector<std::uint32_t>{3, 5, 9}));
  EXPECT_EQ(index.dirty, 0);

  const auto text = install.data() / "info" / "00000005.txt";
  WriteBytes(text, "old text");
  ASSERT_TRUE(index.Insert(Headline(5, 2, "更正"), true));
  EXPECT_EQ(index.count, 3u);
  EXPECT_STREQ(index.records[1].title, "更正");
  EXPECT_EQ(index.records[1].categoryAndRead >> 1, 2u);
  EXPECT_FALSE(std::filesystem::exists(text));
  EXPECT_EQ(index.dirty, 1);

  WriteBytes(install.data() / "info" / "00000007.txt", "x");
  ASSERT_TRUE(index.Insert(Headline(7), true));
  EXPECT_FALSE(std::filesystem::exists(install.data() / "info" / "00000007.txt"));

  NewsRecord unterminated = Headline(11);
  std::memset(unterminated.title, 'A', sizeof unterminated.title);
  ASSERT_TRUE(index.Insert(unterminated, true));
  EXPECT_EQ(std::strlen(index.records[index.count - 1].title), 79u);
}

TEST(NewsIndex, EdgeIdsTitlesAndLatestByCategory) {
  TempInstall install;
  TNewsIndex index;
  index.Load();
  EXPECT_EQ(index.FindEdgeId(false, 0), -1);
  EXPECT_EQ(index.FindEdgeId(true, 0), -1);

  // Categories oldest first: 7, 2, 7, 7, 2, 7.
  const std::uint32_t categories[] = {7, 2, 7, 7, 2, 7};
  for (std::uint32_t i = 0; i < 6; ++i) ASSERT_TRUE(index.Insert(Headline(10 + i, categories[i]), false));

  struct EdgeCase { bool fromOldest; std::uint32_t category; std::int64_t id; };
  const EdgeCase edges[] = {{true, 0, 10}, {false, 0, 15}, {true, 2, 11}, {false, 2, 14}, {true, 9, -1}};
  for (const EdgeCase& c : edges) EXPECT_EQ(index.FindEdgeId(c.fromOldest, c.category), c.id) << c.category;

  NewsRecord buffer[8];
  ASSERT_EQ(index.GetLatest(7, buffer, 3), 3);
  EXPECT_EQ(buffer[0].id, 12u);
  EXPECT_EQ(buffer[1].id, 13u);
  EXPECT_EQ(buffer[2].id, 15u);
  ASSERT_EQ(index.GetLatest(2, buffer, 8), 2);
  EXPECT_EQ(buffer[0].id, 11u);
  EXPECT_EQ(buffer[1].id, 14u);
  EXPECT_EQ(index.GetLatest(0, buffer, 0), 0);
  EXPECT_EQ(index.GetLatest(5, buffer, 8), 0);

  ASSERT_TRUE(index.Insert(Headline(20, 3, "Notice ABC"), false));
  ASSERT_TRUE(index.Insert(Headline(21, 3, "notice abc"), false));
  NewsRecord found{};
  ASSERT_TRUE(index.FindByTitle(0, "NOTICE abc", &found));
  EXPECT_EQ(found.id, 21u) << "the newest match wins";
  EXPECT_FALSE(index.FindByTitle(7, "Notice ABC", &found));
  EXPECT_FALSE(index.FindByTitle(0, "Notice", &found));

  ASSERT_TRUE(index.MarkRead(13, &found));
  EXPECT_EQ(found.categoryAndRead, (7u << 1) | 1u);
  EXPECT_EQ(index.dirty, 1);
  EXPECT_FALSE(index.MarkRead(99, &found));
}

TEST(NewsIndex, SaveWritesTheNewest5000AndReloads) {
  TempInstall install;
  WriteBytes(IndexFile(install), NewsFile(Range(1, 7000)));
  TNewsIndex index;
  index.Load();
  for (std::uint32_t id = 8001; id <= 8010; ++id) ASSERT_TRUE(index.Insert(Headline(id), true));
  ASSERT_TRUE(index.Save());
  EXPECT_EQ(index.dirty, 0);
  EXPECT_EQ(std::filesystem::file_size(IndexFile(install)), 6u + 5000u * 92u);

  TNewsIndex again;
  again.Load();
  ASSERT_EQ(again.count, 5000u);
  EXPECT_EQ(again.records[0].id, 2011u);
  EXPECT_EQ(again.records[4999].id, 8010u);
}

TEST(NewsIndex, FailedSaveKeepsTheOldFileAndTheIndexDirty) {
  TempInstall install;
  const std::string original = NewsFile({1, 2});
  WriteBytes(IndexFile(install), original);
  TNewsIndex index;
  index.Load();
  ASSERT_TRUE(index.Insert(Headline(3), true));
  for (files::FileCall step : {files::FileCall::kWrite, files::FileCall::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    {
      files::ScopedFileFault fault(step);
      EXPECT_FALSE(index.Save());
    }
    EXPECT_EQ(index.dirty, 1);
    EXPECT_EQ(ReadBytes(IndexFile(install)), original);
  }
  EXPECT_TRUE(index.Save());
  EXPECT_EQ(std::filesystem::file_size(IndexFile(install)), 6u + 3u * 92u);
}

TEST(NewsIndex, GrowReportsWhetherRoomExists) {
  TempInstall install;
  TNewsIndex index;
  EXPECT_FALSE(index.Grow(1)) << "no array yet";
  EXPECT_FALSE(index.Insert(Headline(1), true));
  index.Load();
  ASSERT_EQ(index.capacity, 1000u);
  EXPECT_TRUE(index.Grow(10)) << "room already exists";
  EXPECT_EQ(index.capacity, 1000u);
  EXPECT_TRUE(index.Grow(1500));
  EXPECT_EQ(index.capacity, 2500u);
  EXPECT_FALSE(index.Grow(0xFFFFFFF0u)) << "a size past the allocator's reach";
}

TEST(NewsIndex, OutOfMemoryDropsOnlyTheOldestNeededAndNeverPassesCapacity) {
  TempInstall install;
  TNewsIndex index;
  index.Load();
  for (std::uint32_t id = 1; id <= 995; ++id) ASSERT_TRUE(index.Insert(Headline(id), false));

  ScopedGuardedAllocLimit failing(0);
  // 10 more need 5 old ones to go; the newest survive.
  ASSERT_TRUE(index.Grow(10));
  EXPECT_EQ(index.count, 990u);
  EXPECT_EQ(index.records[0].id, 6u);
  EXPECT_EQ(index.capacity, 1000u);

  // More than the whole array can ever hold: refused, nothing dropped.
  EXPECT_FALSE(index.Grow(1001));
  EXPECT_EQ(index.count, 990u);

  // A batch inserted one by one keeps the array within its capacity and the newest records.
  for (std::uint32_t id = 2000; id < 2100; ++id) EXPECT_TRUE(index.Insert(Headline(id), true));
  EXPECT_EQ(index.count, 1000u);
  EXPECT_EQ(index.records[index.count - 1].id, 2099u);
  EXPECT_EQ(index.capacity, 1000u);
  // Replacing a held id needs no room.
  EXPECT_TRUE(index.Insert(Headline(2099, 4), true));
  EXPECT_EQ(index.count, 1000u);
}

TEST(NewsIndex, LowerBoundById) {
  std::vector<NewsRecord> records;
  for (std::uint32_t id : {3u, 5u, 9u, 0x80000000u}) records.push_back(Headline(id));
  struct Case { std::uint32_t id; std::uint32_t position; };
  const Case cases[] = {{1, 0}, {3, 0}, {4, 1}, {5, 1}, {9, 2}, {10, 3}, {0x80000000u, 3}, {0xFFFFFFFFu, 4}};
  for (const Case& c : cases) {
    EXPECT_EQ(LowerBoundById(records.data(), 4, Headline(c.id)), c.position) << c.id;
  }
  EXPECT_EQ(LowerBoundById(records.data(), 0, Headline(7)), 0u);
}
