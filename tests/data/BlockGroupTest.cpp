#include "data/BlockGroup.h"

#include "MarketTestUtil.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/FileFaults.h"
#include "platform/Profile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

using namespace zuvo::platform;

using testsupport::CrlfLines;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

namespace {

struct Instrument {
  std::string code;
  int category;
};

// A temporary install with hand-filled market tables and the user directory at ..\user\.
class Blocks : public ::testing::Test {
 protected:
  void SetUp() override {
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
    profile::ClearCache();
  }
  void TearDown() override {
    ClearBlocks();
    DropMarkets();
    profile::ClearCache();
  }

  void AddMarket(int number, const char* code, const char* name, const std::vector<std::string>& categories,
                 const std::vector<Instrument>& instruments) {
    MarketRecord record{};
    record.kind = 1;
    std::snprintf(record.name, sizeof record.name, "%s", name);
    std::snprintf(record.code, sizeof record.code, "%s", code);
    std::snprintf(record.fileExt, sizeof record.fileExt, "%s", code);
    record.capacity = static_cast<std::uint16_t>(instruments.size() + 8);
    record.categoryCount = static_cast<std::uint16_t>(categories.size());
    for (std::size_t c = 0; c < categories.size(); ++c) {
      std::snprintf(record.categories[c].name, sizeof record.categories[c].name, "%s", categories[c].c_str());
    }
    std::vector<InstrumentRecord> names(instruments.size());
    for (std::size_t i = 0; i < instruments.size(); ++i) {
      std::snprintf(names[i].code, sizeof names[i].code, "%s", instruments[i].code.c_str());
      names[i].category = static_cast<std::uint8_t>(instruments[i].category);
    }
    const TMarketData* table = markets.Add(number, record, names);
    ASSERT_NE(table->names, nullptr);
  }

  // SH: 3 instruments in two categories; SZ: 2 instruments in one.
  void AddTwoMarkets() {
    AddMarket(0, "SH", "上海", {"A股", "指数"}, {{"600000", 0}, {"000001", 1}, {"600001", 0}});
    AddMarket(1, "SZ", "深圳", {"A股"}, {{"000001", 0}, {"000002", 0}});
  }

  static void DropMarkets() { markettest::ScopedMarkets::Clear(); }

  std::filesystem::path UserBlocks() const { return install.user() / "blocks.ini"; }
  std::string UserBlocksText() const { return ReadBytes(UserBlocks()); }

  static std::vector<std::string> Codes(const BlockRecord* block) {
    std::vector<std::string> codes;
    for (int i = 0; i < block->memberCount; ++i) {
      const BlockMember& m = block->members[i];
      codes.push_back(std::string(MarketTables[m.market]->record.code) + " " + MarketTables[m.market]->names[m.index].code);
    }
    return codes;
  }

  static std::vector<BlockRecord*> GroupBlocks(const BlockGroupRecord* group) {
    std::vector<BlockRecord*> blocks;
    for (int i = 0; i < group->blockCount; ++i) blocks.push_back(FindBlockById(group->blockIds[i]));
    return blocks;
  }

  TempInstall install;
  markettest::ScopedMarkets markets;
};

const std::string kEmptyUserFile = "[FileInfo]\r\nVersion=1\r\n\r\n[我的板块]\r\n";

}  // namespace

TEST_F(Blocks, AutomaticGroupHasMarketBlocksThenCategoryBlocks) {
  AddTwoMarkets();
  RebuildBlocks();

  ASSERT_GE(BlockGroupCount, 1);
  const BlockGroupRecord& automatic = BlockGroupTable[0];
  EXPECT_STREQ(automatic.name, "分类股板块");
  EXPECT_EQ(automatic.kind, kGroupAutomatic);
  ASSERT_EQ(automatic.blockCount, 5);

  struct Expected {
    std::uint8_t kind;
    std::uint16_t market;
    std::uint16_t key;
    const char* name;
    std::vector<std::string> members;
  };
  const Expected expected[] = {
      {kBlockPerMarket, 0, 0, "上海", {"SH 600000", "SH 000001", "SH 600001"}},
      {kBlockPerMarket, 1, 1, "深圳", {"SZ 000001", "SZ 000002"}},
      {kBlockPerCategory, 0, 0, "A股", {"SH 600000", "SH 600001"}},
      {kBlockPerCategory, 0, 1, "指数", {"SH 000001"}},
      {kBlockPerCategory, 1, 2, "A股", {"SZ 000001", "SZ 000002"}},
  };
  for (int i = 0; i < 5; ++i) {
    const BlockRecord* block = FindBlockById(automatic.blockIds[i]);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->id, i);
    EXPECT_EQ(block->kind, expected[i].kind) << i;
    EXPECT_EQ(block->market, expected[i].market) << i;
    EXPECT_EQ(block->key, expected[i].key) << i;
    EXPECT_STREQ(block->name, expected[i].name) << i;
    EXPECT_EQ(Codes(block), expected[i].members) << i;
    for (int m = 0; m < block->memberCount; ++m) EXPECT_EQ(block->members[m].position, m);
  }
  EXPECT_EQ(FindBlockByKey(kBlockPerCategory, 1), FindBlockById(3));

  // A rebuild gives the same numbering and frees what it replaces.
  RebuildBlocks();
  EXPECT_STREQ(FindBlockById(3)->name, "指数");
  EXPECT_EQ(BlockSlotCount, 5);
}

TEST_F(Blocks, MarketBlocksHoldAtMost7168Members) {
  std::vector<Instrument> many;
  for (int i = 0; i < kMaxBlockMembers + 40; ++i) many.push_back({std::string("C").append(std::to_string(i)), 0});
  AddMarket(0, "BIG", "大", {"全部"}, many);
  RebuildBlocks();
  EXPECT_EQ(FindBlockByKey(kBlockPerMarket, 0)->memberCount, kMaxBlockMembers);
  EXPECT_EQ(FindBlockByKey(kBlockPerCategory, 0)->memberCount, kMaxBlockMembers);
}

TEST_F(Blocks, ReadsCurrentFormatUserFile) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({
      "[FileInfo]", "Version=1", "",
      "[自选一]", "I3=SZ 000002", "I1=SH 600000", "I2=",       // gaps and empty values end nothing;
      "I20000=SH 600001", "i01=SH 600001", "",                   // key numbers give the order
      "[自选二]", "I1=XX 000001", "i2 = sz 000001", "",        // unknown market, then a member
      "[空]", "",
      "[ABCDEFGHIJKLMN中文]", "I1=SH 600001",                  // 16 bytes: cut before the GBK pair
  }));
  RebuildBlocks();

  const BlockGroupRecord* user = FindUserBlockGroup();
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->kind, kGroupUserFile);
  EXPECT_STREQ(user->name, "用户板块");
  const std::vector<BlockRecord*> blocks = GroupBlocks(user);
  ASSERT_EQ(blocks.size(), 4u);
  const char* names[] = {"自选一", "自选二", "空", "ABCDEFGHIJKLMN"};
  const std::vector<std::vector<std::string>> members = {
      {"SH 600000", "SH 600001", "SZ 000002", "SH 600001"}, {"SZ 000001"}, {}, {"SH 600001"}};
  for (int i = 0; i < 4; ++i) {
    ASSERT_NE(blocks[i], nullptr);
    EXPECT_STREQ(blocks[i]->name, names[i]);
    EXPECT_EQ(blocks[i]->kind, kBlockUser);
    EXPECT_EQ(blocks[i]->group, user->id);
    EXPECT_EQ(blocks[i]->key, i);
    EXPECT_EQ(Codes(blocks[i]), members[i]) << i;
  }
  EXPECT_EQ(UnresolvedMemberCount(blocks[1]), 1);
  EXPECT_EQ(FindBlockByName("自选二"), blocks[1]);

  // Saving keeps the unknown line where it was.
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText(), CrlfLines({
      "[FileInfo]", "Version=1", "",
      "[自选一]", "I1=SH 600000", "I2=SH 600001", "I3=SZ 000002", "I4=SH 600001", "",
      "[自选二]", "I1=XX 000001", "I2=SZ 000001", "",
      "[空]", "",
      "[ABCDEFGHIJKLMN]", "I1=SH 600001",
  }));
}

TEST_F(Blocks, PresetFileFormsThePresetGroup) {
  AddTwoMarkets();
  WriteBytes(install.cfg() / "blocks.ini", CrlfLines({"[FileInfo]", "Version=1", "", "[期货]", "I1=SZ 000002"}));
  WriteBytes(UserBlocks(), kEmptyUserFile);
  RebuildBlocks();

  ASSERT_EQ(BlockGroupCount, 3);
  EXPECT_STREQ(BlockGroupTable[1].name, "预设板块");
  EXPECT_EQ(BlockGroupTable[1].kind, kGroupPresetFile);
  BlockRecord* preset = FindBlockByName("期货");
  ASSERT_NE(preset, nullptr);
  EXPECT_EQ(preset->kind, kBlockPreset);
  EXPECT_EQ(Codes(preset), std::vector<std::string>{"SZ 000002"});
  EXPECT_EQ(FindUserBlockGroup(), &BlockGroupTable[2]);
  EXPECT_STREQ(FindBlockByKey(kBlockUser, 0)->name, "我的板块");

  std::uint16_t ids[16];
  ASSERT_EQ(ListBlocksOfKinds(kBlockPreset, kBlockUser, ids, 16), 2);
  EXPECT_EQ(FindBlockById(ids[0]), preset);
  EXPECT_EQ(ListBlocksOfKinds(kBlockPerMarket, kBlockPerMarket, ids, 16), 2);
  EXPECT_EQ(ListBlocksOfKinds(kBlockPerMarket, kBlockUser, ids, 3), 3);

  BlockRecord* groups[16];
  ASSERT_EQ(ListChooserGroups(groups, 16), 4);
  EXPECT_STREQ(groups[0]->name, "上海");
  EXPECT_STREQ(groups[1]->name, "深圳");
  EXPECT_EQ(groups[2], preset);
  EXPECT_STREQ(groups[3]->name, "我的板块");
}

TEST_F(Blocks, LegacyFileIsReadAndRewrittenInTheCurrentFormat) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({
      "[自选股]", "SH 600000", "01  000002", "01", "ZZ 123456", "07--600000", "",
      "[老板块]", "00  600001", "sz 000001",
  }));
  RebuildBlocks();

  const std::vector<BlockRecord*> blocks = GroupBlocks(FindUserBlockGroup());
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_STREQ(blocks[0]->name, "自选股");
  EXPECT_EQ(Codes(blocks[0]), (std::vector<std::string>{"SH 600000", "SZ 000002"}));
  EXPECT_EQ(Codes(blocks[1]), (std::vector<std::string>{"SH 600001", "SZ 000001"}));
  EXPECT_EQ(blocks[1]->key, 1);

  // The short line "01" is dropped; lines of a market not loaded, in either form, are kept.
  EXPECT_EQ(UserBlocksText(), CrlfLines({
      "[FileInfo]", "Version=1", "",
      "[自选股]", "I1=SH 600000", "I2=SZ 000002", "I3=ZZ 123456", "I4=07--600000", "",
      "[老板块]", "I1=SH 600001", "I2=SZ 000001",
  }));
}

TEST_F(Blocks, LegacyLinesSplitByAnyBlankSurviveEverySave) {
  AddTwoMarkets();
  using namespace std::string_view_literals;
  WriteBytes(UserBlocks(), CrlfLines({
      "[自选股]",
      "SH\t600000",
      "SH\v600001",              // words apart by \v or \f, blanks to the profile reader too
      "\fSZ\f000002\f",
      "ZZ\v123456",              // a market not loaded: kept
      "ZZ \v",                   // one word: never a member
      "01 \f000001",
      "07\v\v654321",
      "07\v\v\v",                // no code after the market number
      "\" ZZ\"",                 // in quotes, which the current reader takes off a value
      "",
      "[自选股]",                 // a second section of that name is read from the raw bytes
      "SH\0" "000001"sv,
      "ZZ \0"sv,                 // NUL, written back as a space, is a blank too: one word
      "ZZ \v\0"sv,
  }));
  RebuildBlocks();   // reads the legacy file and writes it in the current format

  // Per block of the user group: name, members and the number of lines kept for writing back.
  using Snapshot = std::tuple<std::vector<std::string>, std::vector<std::vector<std::string>>, std::vector<int>>;
  auto snapshot = [] {
    Snapshot shot;
    for (const BlockRecord* block : GroupBlocks(FindUserBlockGroup())) {
      std::get<0>(shot).push_back(block->name);
      std::get<1>(shot).push_back(Codes(block));
      std::get<2>(shot).push_back(UnresolvedMemberCount(block));
    }
    return shot;
  };
  const Snapshot upgraded = snapshot();
  const Snapshot expected{{"自选股", "自选股2"},
                          {{"SH 600000", "SH 600001", "SZ 000002", "SZ 000001"}, {"SH 000001"}},
                          {3, 0}};
  EXPECT_EQ(upgraded, expected);
  const std::string written = UserBlocksText();
  ASSERT_NE(written.find("[FileInfo]"), std::string::npos);

  for (int save = 1; save <= 2; ++save) {
    SCOPED_TRACE(save);
    RebuildBlocks();
    EXPECT_EQ(snapshot(), upgraded);
    ASSERT_TRUE(SaveUserBlocks());
    EXPECT_EQ(UserBlocksText(), written);
  }
}

TEST_F(Blocks, LongSectionListsAndLongLegacySectionsAreReadWhole) {
  std::vector<Instrument> instruments;
  for (int i = 0; i < 2000; ++i) instruments.push_back({std::string("C").append(std::to_string(10000 + i)), 0});
  AddMarket(0, "SH", "上海", {"A股"}, instruments);

  // A legacy section of 2000 lines (26000 bytes) and 400 sections whose names fill 5000 bytes.
  std::string legacy = "[大板块]\r\n";
  for (int i = 0; i < 2000; ++i) legacy.append("SH C").append(std::to_string(10000 + i)).append("\r\n");
  for (int i = 0; i < 400; ++i) legacy.append("[板块名称").append(std::to_string(100 + i)).append("]\r\nSH C10000\r\n");
  WriteBytes(UserBlocks(), legacy);
  RebuildBlocks();

  const BlockGroupRecord* user = FindUserBlockGroup();
  ASSERT_EQ(user->blockCount, 401);
  EXPECT_EQ(FindBlockByName("大板块")->memberCount, 2000);
  EXPECT_NE(FindBlockByName("板块名称499"), nullptr);

  // The rewritten file reads back the same.
  RebuildBlocks();
  EXPECT_EQ(FindUserBlockGroup()->blockCount, 401);
  EXPECT_EQ(FindBlockByName("大板块")->memberCount, 2000);
  EXPECT_NE(UserBlocksText().find("[FileInfo]"), std::string::npos);
}

TEST_F(Blocks, WatchListsSurviveAnOfflineSessionWithoutTheirMarkets) {
  const std::string file = CrlfLines({
      "[FileInfo]", "Version=1", "",
      "[自选]", "I1=SH 600000", "I2=SZ 000001", "I3=SH 600001",
  });
  WriteBytes(UserBlocks(), file);

  // Only SH is loaded: the SZ member is kept aside and written back in its place.
  AddMarket(0, "SH", "上海", {"A股"}, {{"600000", 0}, {"600001", 0}});
  RebuildBlocks();
  BlockRecord* block = FindBlockByName("自选");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->memberCount, 2);
  EXPECT_EQ(UnresolvedMemberCount(block), 1);
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText(), file);

  // No market at all.
  DropMarkets();
  RebuildBlocks();
  EXPECT_EQ(FindBlockByName("自选")->memberCount, 0);
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText(), file);

  // Back online: every member returns in order.
  AddTwoMarkets();
  RebuildBlocks();
  EXPECT_EQ(Codes(FindBlockByName("自选")), (std::vector<std::string>{"SH 600000", "SZ 000001", "SH 600001"}));
}

TEST_F(Blocks, FailedWriteLeavesTheOldFileIntact) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), kEmptyUserFile);
  RebuildBlocks();
  BlockRecord* mine = FindBlockByName("我的板块");
  ASSERT_NE(mine, nullptr);
  ASSERT_EQ(AppendBlockMember(mine, STKPTR(0, 0, 0)), 1);

  // The rename failing stands for the crash between writing and renaming.
  for (files::FileCall step : {files::FileCall::kCreate, files::FileCall::kWrite, files::FileCall::kSync,
                               files::FileCall::kRename}) {
    SCOPED_TRACE(static_cast<int>(step));
    {
      files::ScopedFileFault fault(step);
      EXPECT_FALSE(SaveUserBlocks());
    }
    EXPECT_EQ(UserBlocksText(), kEmptyUserFile);
  }
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText(), kEmptyUserFile + "I1=SH 600000\r\n");

  // A legacy file whose rewrite fails stays legacy and loses nothing.
  const std::string legacy = CrlfLines({"[旧]", "SH 600001"});
  WriteBytes(UserBlocks(), legacy);
  {
    files::ScopedFileFault fault(files::FileCall::kRename, 1, files::FaultRepeat::kEveryCallFromNth);
    RebuildBlocks();
  }
  EXPECT_EQ(UserBlocksText(), legacy);
  EXPECT_EQ(FindBlockByName("旧")->memberCount, 1);
}

TEST_F(Blocks, MembersGoneFromTheMarketTableAreWrittenBackInTheirPlaces) {
  AddMarket(0, "SH", "上海", {"A股"}, {{"A0", 0}, {"A1", 0}, {"A2", 0}, {"A3", 0}, {"A4", 0}});
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "", "[一]", "I1=SH A0", "", "[二]",
                                      "I1=SH A4", "I2=SH A0", "I3=SH A3", "I4=SH A1"}));
  RebuildBlocks();
  BlockRecord* second = FindBlockByName("二");
  ASSERT_EQ(second->memberCount, 4);
  // An editor puts A2 straight into the array; it was never saved, so no text of it is known.
  second->members[second->memberCount++] = BlockMember{0, 0, 2, 4, 0, 0};

  MarketTables[0]->count = 2;   // A2, A3 and A4 leave the market table (a new name table)
  ASSERT_TRUE(SaveUserBlocks());
  const std::string saved = CrlfLines({"[FileInfo]", "Version=1", "", "[一]", "I1=SH A0", "", "[二]",
                                       "I1=SH A4", "I2=SH A0", "I3=SH A3", "I4=SH A1"});
  EXPECT_EQ(UserBlocksText(), saved);
  ASSERT_TRUE(SaveUserBlocks()) << "a second save still knows them";
  EXPECT_EQ(UserBlocksText(), saved);

  // A member saved once is remembered from that save on.
  MarketTables[0]->count = 5;
  ASSERT_TRUE(SaveUserBlocks());
  MarketTables[0]->count = 2;
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_NE(UserBlocksText().find("I5=SH A2\r\n"), std::string::npos);
}

TEST_F(Blocks, NewBlockReusesFreedSlotsAndRefusesWhenAllAreUsed) {
  RebuildBlocks();   // no markets, no files
  ASSERT_EQ(BlockSlotCount, 0);

  BlockRecord* first = NewBlock();
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->name, "板块00");
  EXPECT_EQ(first->kind, kBlockUser);
  EXPECT_EQ(first->used, 1);
  BlockRecord* second = NewBlock();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->id, 1);
  std::strcpy(second->name, "Watch");

  second->used = 0;   // deleted by the editor
  EXPECT_EQ(FindBlockById(1), nullptr);
  EXPECT_EQ(FindBlockByName("Watch"), nullptr);
  BlockRecord* reused = NewBlock();
  EXPECT_EQ(reused, second);
  EXPECT_EQ(reused->id, 1);
  EXPECT_STREQ(reused->name, "板块01");

  while (BlockSlotCount < kMaxBlocks) ASSERT_NE(NewBlock(), nullptr);
  EXPECT_EQ(FindBlockById(511)->name, std::string("板块511"));
  EXPECT_EQ(NewBlock(), nullptr);
  EXPECT_EQ(BlockSlotCount, kMaxBlocks);
}

TEST_F(Blocks, SectionsWithoutAFreeSlotAreKeptInTheFile) {
  std::string file = CrlfLines({"[FileInfo]", "Version=1"});
  for (int i = 0; i < kMaxBlocks + 3; ++i) file += "\r\n[B" + std::to_string(i) + "]\r\nI1=SH 600000\r\n";
  WriteBytes(UserBlocks(), file);
  RebuildBlocks();
  EXPECT_EQ(FindUserBlockGroup()->blockCount, kMaxBlocks);
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText(), file);

  // An id list an editor left with a block twice and a count past the table.
  BlockGroupRecord* user = FindUserBlockGroup();
  user->blockIds[1] = user->blockIds[0];
  user->blockCount = 0xFFFF;
  ASSERT_TRUE(SaveUserBlocks());
  EXPECT_EQ(UserBlocksText().find("[B1]"), std::string::npos);
  EXPECT_EQ(UserBlocksText().find("[B02]"), std::string::npos) << "no block is written twice";
}

TEST_F(Blocks, FindByNameIsExactAndByKeyOrIdIgnoresUnusedSlots) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "", "[Watch]"}));
  RebuildBlocks();

  struct Case { const char* name; const char* found; };
  const Case cases[] = {{"Watch", "Watch"}, {"WATCH", nullptr}, {"Watc", nullptr}, {"", nullptr}, {nullptr, nullptr}};
  for (const Case& c : cases) {
    const BlockRecord* block = FindBlockByName(c.name);
    if (c.found) {
      ASSERT_NE(block, nullptr) << c.name;
      EXPECT_STREQ(block->name, c.found);
    } else {
      EXPECT_EQ(block, nullptr) << (c.name ? c.name : "(null)");
    }
  }
  EXPECT_EQ(FindBlockByKey(kBlockPerMarket, 1)->market, 1);
  EXPECT_EQ(FindBlockByKey(kBlockPerMarket, 2), nullptr);
  EXPECT_EQ(FindBlockById(kMaxBlocks - 1), nullptr);
  FindBlockByKey(kBlockPerMarket, 1)->used = 0;
  EXPECT_EQ(FindBlockByKey(kBlockPerMarket, 1), nullptr);
}

TEST_F(Blocks, AddingAMemberSavesOnceAndRefusesDuplicatesAndFullBlocks) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), kEmptyUserFile);
  RebuildBlocks();
  BlockRecord* mine = FindBlockByName("我的板块");
  ASSERT_NE(mine, nullptr);

  EXPECT_EQ(AddMemberAndSave(mine->id, STKPTR(1, 0, 1)), 1);
  EXPECT_EQ(UserBlocksText(), kEmptyUserFile + "I1=SZ 000002\r\n");
  EXPECT_EQ(AddMemberAndSave(mine->id, STKPTR(1, 0, 1)), 0);
  EXPECT_EQ(AddMemberAndSave(mine->id, STKPTR(1, 0, 9)), -1) << "no such instrument";
  EXPECT_EQ(AddMemberAndSave(kMaxBlocks - 1, STKPTR(1, 0, 0)), -1) << "no such block";
  EXPECT_EQ(mine->members[0].position, 0);
  EXPECT_EQ(mine->members[0].category, 0);

  mine->memberCount = kMaxBlockMembers;
  EXPECT_EQ(AppendBlockMember(mine, STKPTR(0, 0, 2)), -1);

  files::ScopedFileFault fault(files::FileCall::kWrite);
  mine->memberCount = 1;
  EXPECT_EQ(AddMemberAndSave(mine->id, STKPTR(0, 0, 2)), -2);
}

TEST_F(Blocks, FirstSystemBlockNameComesFromTheSystemSettings) {
  AddTwoMarkets();
  RebuildBlocks();
  char name[64];
  EXPECT_EQ(FirstSysBlockName(name, sizeof name), 8);
  EXPECT_STREQ(name, "上海期货");
  EXPECT_EQ(FindFirstSysBlock(), nullptr);

  WriteBytes(install.cfg() / "SETTING.INI", CrlfLines({"[Parameter]", "SysBlocks=深圳 上海"}));
  profile::ClearCache();
  EXPECT_EQ(FirstSysBlockName(name, sizeof name), 4);
  EXPECT_EQ(FindFirstSysBlock(), FindBlockByKey(kBlockPerMarket, 1));
  EXPECT_EQ(FirstSysBlockName(name, 4), 2) << "cut on a character boundary";
  EXPECT_STREQ(name, "深");
}

TEST_F(Blocks, EveryBlockSurvivesARereadWhateverItsName) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "",
                                      "[ABCDEFGHIJKLMNO1]", "I1=SH 600000", "",   // both cut to the
                                      "[ABCDEFGHIJKLMNO2]", "I1=SH 600001", "",   // same 15 bytes
                                      "[Watch]", "I1=SZ 000001"}));
  RebuildBlocks();
  BlockGroupRecord* user = FindUserBlockGroup();
  ASSERT_EQ(user->blockCount, 3);

  // Names an editor may have stored without asking: each would merge into another section.
  struct Named { const char* name; STKPTR member; };
  const Named added[] = {
      {"FileInfo", STKPTR(1, 0, 1)}, {"a]b", STKPTR(0, 0, 2)}, {"WATCH", STKPTR(0, 0, 0)},
      {"板块12", STKPTR(1, 0, 0)},   // the name NewBlock gives the next slot, id 12
  };
  for (const Named& n : added) {
    BlockRecord* block = NewBlock();
    ASSERT_NE(block, nullptr);
    std::snprintf(block->name, sizeof block->name, "%s", n.name);
    block->group = user->id;
    block->key = user->blockCount;
    user->blockIds[user->blockCount++] = block->id;
    ASSERT_EQ(AppendBlockMember(block, n.member), 1);
  }
  BlockRecord* next = NewBlock();
  ASSERT_STREQ(next->name, "板块12");
  next->group = user->id;
  user->blockIds[user->blockCount++] = next->id;

  std::vector<std::vector<std::string>> before;
  for (BlockRecord* block : GroupBlocks(user)) before.push_back(Codes(block));
  ASSERT_TRUE(SaveUserBlocks());
  std::vector<std::string> namesAfterSave;
  for (BlockRecord* block : GroupBlocks(user)) namesAfterSave.push_back(block->name);

  RebuildBlocks();
  const std::vector<BlockRecord*> reread = GroupBlocks(FindUserBlockGroup());
  ASSERT_EQ(reread.size(), before.size());
  for (std::size_t i = 0; i < reread.size(); ++i) {
    EXPECT_EQ(Codes(reread[i]), before[i]) << i;
    EXPECT_EQ(reread[i]->name, namesAfterSave[i]) << "memory named the block as the file does";
    for (std::size_t j = 0; j < i; ++j) EXPECT_STRCASENE(reread[i]->name, reread[j]->name);
  }
  EXPECT_STREQ(reread[0]->name, "ABCDEFGHIJKLMNO");
  EXPECT_STREQ(reread[1]->name, "ABCDEFGHIJKLMN2");
  EXPECT_STREQ(reread[3]->name, "FileInfo2");
  EXPECT_STREQ(reread[4]->name, "a_b");
  EXPECT_STREQ(reread[5]->name, "WATCH2");
  EXPECT_STREQ(reread[6]->name, "板块12");
  EXPECT_STREQ(reread[7]->name, "板块122");
}

TEST_F(Blocks, NamesThatCannotBeStoredAreRefused) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "", "[Watch]", "", "[自选]"}));
  RebuildBlocks();
  BlockRecord* watch = FindBlockByName("Watch");
  ASSERT_NE(watch, nullptr);

  struct Case { const char* name; int result; };
  const Case cases[] = {
      {"长线", 0}, {"Watch", 0} /* its own name */, {"上海", 0} /* a market block is another kind */,
      {nullptr, kBlockNameEmpty}, {"", kBlockNameEmpty},
      {"ABCDEFGHIJKLMNOP", kBlockNameTooLong},
      {"fileinfo", kBlockNameInvalid}, {"a]b", kBlockNameInvalid}, {"a\r\nb", kBlockNameInvalid},
      {" lead", kBlockNameInvalid}, {"trail\t", kBlockNameInvalid}, {"half\xB0", kBlockNameInvalid},
      {"自选", kBlockNameTaken},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckBlockName(c.name, watch), c.result) << (c.name ? c.name : "(null)");
  // A double-byte character whose second byte is ']' is not a bracket.
  EXPECT_EQ(CheckBlockName("\xB0\x5D", watch), 0);

  EXPECT_EQ(CheckBlockName("WATCH", nullptr), kBlockNameTaken) << "a new user block";
  EXPECT_EQ(RenameBlock(FindBlockByName("自选"), "wATCH"), kBlockNameTaken);
  EXPECT_EQ(RenameBlock(watch, "a]b"), kBlockNameInvalid);
  EXPECT_STREQ(watch->name, "Watch");
  EXPECT_EQ(RenameBlock(watch, "长线"), 0);
  EXPECT_STREQ(watch->name, "长线");
  EXPECT_EQ(RenameBlock(nullptr, "x"), kBlockNameNoBlock);
}

TEST_F(Blocks, AFileThatCannotBeReadIsNeverWrittenOver) {
  AddTwoMarkets();
  const std::string file = CrlfLines({"[FileInfo]", "Version=1", "", "[自选]", "I1=SH 600000"});
  WriteBytes(UserBlocks(), file);
  std::filesystem::permissions(UserBlocks(), std::filesystem::perms::none);
  if (std::FILE* probe = std::fopen(UserBlocks().c_str(), "rb")) {   // running as root
    std::fclose(probe);
    std::filesystem::permissions(UserBlocks(), std::filesystem::perms::owner_all);
    GTEST_SKIP() << "file permissions are not enforced here";
  }
  RebuildBlocks();
  BlockGroupRecord* user = FindUserBlockGroup();
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->blockCount, 0);
  EXPECT_FALSE(SaveUserBlocks());
  std::filesystem::permissions(UserBlocks(), std::filesystem::perms::owner_all);
  EXPECT_EQ(UserBlocksText(), file);
}

TEST_F(Blocks, ALegacyFileWithKeyedLinesKeepsItsMembers) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=0", "", "[自选]", "I1=SH 600000", "I2=SZ 000002"}));
  RebuildBlocks();
  EXPECT_EQ(Codes(FindBlockByName("自选")), (std::vector<std::string>{"SH 600000", "SZ 000002"}));
  EXPECT_EQ(UserBlocksText(), CrlfLines({"[FileInfo]", "Version=1", "", "[自选]", "I1=SH 600000", "I2=SZ 000002"}));
}

TEST_F(Blocks, TheProfileFunctionsReadEachSavedFile) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "", "[自选]", "I1=SH 600000"}));
  RebuildBlocks();
  const std::string path = UserFilePath("blocks.ini");
  BlockRecord* block = FindBlockByName("自选");
  char value[64];
  // Files of one size replaced in quick succession: a cached older version must never pass for
  // the newest one (the cache tells versions apart by time, size and inode).
  for (int round = 0; round < 4; ++round) {
    GetPrivateProfileStringA("自选", "I1", "", value, sizeof value, path.c_str());
    for (const std::uint16_t index : {2, 1}) {
      block->members[0].index = index;
      ASSERT_TRUE(SaveUserBlocks());
    }
    GetPrivateProfileStringA("自选", "I1", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "SH 000001") << round;
    block->members[0].index = 0;
    ASSERT_TRUE(SaveUserBlocks());
    GetPrivateProfileStringA("自选", "I1", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "SH 600000") << round;
  }
}

TEST_F(Blocks, SectionsOfOneNameEachKeepTheirOwnMembers) {
  AddTwoMarkets();
  WriteBytes(UserBlocks(), CrlfLines({"[FileInfo]", "Version=1", "", "[自选]", "I1=SH 600000", "",
                                      "[Other]", "I1=SZ 000002", "", "[ 自选 ]", "; note", "I1=SZ 000001", "",
                                      "[OTHER]", "I1=SH 600001"}));
  WriteBytes(install.cfg() / "blocks.ini", CrlfLines({"[预设]", "SH 600000", "[预设]", "SZ 000001"}));
  RebuildBlocks();

  const std::vector<BlockRecord*> blocks = GroupBlocks(FindUserBlockGroup());
  ASSERT_EQ(blocks.size(), 4u);
  const std::vector<std::vector<std::string>> members = {{"SH 600000"}, {"SZ 000002"}, {"SZ 000001"}, {"SH 600001"}};
  for (std::size_t i = 0; i < blocks.size(); ++i) EXPECT_EQ(Codes(blocks[i]), members[i]) << i;
  const std::vector<BlockRecord*> preset = GroupBlocks(&BlockGroupTable[1]);
  ASSERT_EQ(preset.size(), 2u);
  EXPECT_EQ(Codes(preset[1]), std::vector<std::string>{"SZ 000001"}) << "legacy files too";

  // Saved under names of their own, they read back the same.
  ASSERT_TRUE(SaveUserBlocks());
  RebuildBlocks();
  const std::vector<BlockRecord*> reread = GroupBlocks(FindUserBlockGroup());
  ASSERT_EQ(reread.size(), 4u);
  for (std::size_t i = 0; i < reread.size(); ++i) EXPECT_EQ(Codes(reread[i]), members[i]) << i;
  EXPECT_STREQ(reread[2]->name, "自选2");
  EXPECT_STREQ(reread[3]->name, "OTHER2");
}
