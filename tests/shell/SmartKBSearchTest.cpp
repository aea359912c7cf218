// The keyboard wizard's search without its form: the text helpers, the pinyin initials and
// their level-2 table, the contract-month completion on a driven clock, and the whole search
// over small markets, blocks, hot keys, indicators and pages built by code; the tables' caps.
#include "shell/SmartKBSearch.h"

#include "ShellSettingsFixture.h"

#include "data/BlockGroup.h"
#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "platform/DrivenClock.h"
#include "platform/Profile.h"
#include "shell/PageList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Milliseconds of a UTC noon on 1 July of `year`, for the driven clock.
std::int64_t MidYear(int year) {
  // Days from 1970-01-01 to year-07-01.
  auto days = [](int y, int m, int d) {
    y -= m <= 2;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  };
  return (days(year, 7, 1) * 86400 + 4 * 3600) * 1000;
}

// The indexes of the hits of one kind, in order.
std::vector<int> HitsOfKind(const SmartKBSearchState& state, std::int16_t kind) {
  std::vector<int> out;
  for (int i = 0; i < state.hitCount; ++i) {
    if (state.hits[i].kind == kind) out.push_back(state.hits[i].index);
  }
  return out;
}

std::string Gbk(unsigned code) {
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// ---- Text helpers -------------------------------------------------------------------------------

TEST(SmartKBText, AsciiLettersAndPrefixesFoldAsciiOnly) {
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    EXPECT_EQ(IsAsciiLetter(static_cast<char>(c)), letter) << c;
  }
  struct Case {
    const char* prefix;
    const char* text;
    bool expected;
  } cases[] = {
      {"pf", "PFYH", true},
      {"PfY", "pfy", true},
      {"", "", true},
      {"", "x", true},
      {"abc", "ab", false},
      {"600", "600000", true},
      {"601", "600000", false},
      {"浦发", "浦发银行", true},
      {"浦发银行", "浦发", false},
      {"浦", "发", false},
      // Trail bytes 0x41..0x7A are bytes of a character, not letters: never folded.
      {"\x81\x61", "\x81\x41", false},
      {"\x81\x41", "\x81\x41x", true},
      {"\xC6\xD6" "a", "\xC6\xD6" "A", true},
      // A double-byte character never matches the letters of its bytes.
      {"\x81" "a", "\x81" "A", false},
      {".1", ".12", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StartsWithNoCase(c.prefix, c.text), c.expected) << c.prefix << " / " << c.text;
  }
  EXPECT_TRUE(StartsWithNoCase(nullptr, "x"));
  EXPECT_FALSE(StartsWithNoCase("x", nullptr));
}

// ---- Pinyin -------------------------------------------------------------------------------------

TEST(SmartKBPinyin, InitialRangesFollowTheBoundaryTable) {
  const std::pair<unsigned, int> boundaries[] = {
      {0xB0A1, 'A'}, {0xB0C5, 'B'}, {0xB2C1, 'C'}, {0xB4EE, 'D'}, {0xB6EA, 'E'}, {0xB7A2, 'F'},
      {0xB8C1, 'G'}, {0xB9FE, 'H'}, {0xBBF7, 'J'}, {0xBFA6, 'K'}, {0xC0AC, 'L'}, {0xC2E8, 'M'},
      {0xC4C3, 'N'}, {0xC5B6, 'O'}, {0xC5BE, 'P'}, {0xC6DA, 'Q'}, {0xC8BB, 'R'}, {0xC8F6, 'S'},
      {0xCBFA, 'T'}, {0xCDDA, 'W'}, {0xCEF4, 'X'}, {0xD1B9, 'Y'}, {0xD4D1, 'Z'}};
  int previous = -1;
  for (const auto& [code, letter] : boundaries) {
    EXPECT_EQ(PinyinInitialOf(code >> 8, code & 0xFF), letter - 'A') << std::hex << code;
    // The code before a boundary is the previous letter's (or none before A).
    const unsigned before = (code & 0xFF) == 0xA1 ? ((code >> 8) - 1) << 8 | 0xFE : code - 1;
    EXPECT_EQ(PinyinInitialOf(before >> 8, before & 0xFF), previous) << std::hex << before;
    previous = letter - 'A';
  }
  EXPECT_EQ(PinyinInitialOf(0xD7, 0xF9), 'Z' - 'A') << "座, the last level-1 character";
  EXPECT_EQ(PinyinInitialOf(0xD7, 0xFA), -1);
  EXPECT_EQ(PinyinInitialOf(0xD8, 0xA1), -1) << "level 2";
  EXPECT_EQ(PinyinInitialOf(0xA3, 0xC1), -1);
}

TEST(SmartKBPinyin, MatchesCellsOfTheName) {
  const PinyinLevel2Table none;
  struct Case {
    const char* name;
    const char* text;
    bool expected;
  } cases[] = {
      {"浦发银行", "PF", true},
      {"浦发银行", "pf", true},
      {"浦发银行", "P.", true},
      {"浦发银行", "FY", true},
      {"浦发银行", "PFYX", true},     // 行 sorts under its reading xing
      {"浦发银行", "PY", false},
      {"浦发银行", "PFYHX", false},   // more than the cells
      {"浦发银行", "..", false},      // no letter
      {"浦发银行", "P1", false},
      {"50ETF", "50E", true},
      {"50ETF", "etf", true},
      {"ST中A", "STZA", true},
      {"Ｐ股", "P", true},            // the full-width capital
      {"Ｐ股", "PG", true},
      {"中-国", "ZG", true},          // other characters dropped
      // Every byte is examined: a name ending in a letter or digit matches its full initials.
      {"中国A", "ZGA", true},
      {"长城2", "CC2", true},
      // A lead byte cut off at the end is dropped.
      {"中国\xD6", "ZG", true},
      {"中国\xD6", "ZG.", false},
      // A character below 0xA0 is one cell whose trail byte is no letter.
      {"\x81\x41", "A", false},
      {"\x81\x41", ".", false},
      {"\x81\x41" "B", ".B", true},
      // Double-byte text never matches.
      {"浦发银行", "浦", false},
      {"", "A", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PinyinMatch(c.name, c.text, static_cast<int>(std::strlen(c.text)), none), c.expected)
        << c.name << " / " << c.text;
  }
  // Eight cells at most.
  EXPECT_TRUE(PinyinMatch("ABCDEFGH", "GH", 2, none));
  EXPECT_FALSE(PinyinMatch("ABCDEFGHI", "HI", 2, none));
  EXPECT_FALSE(PinyinMatch(nullptr, "A", 1, none));
}

TEST(SmartKBPinyin, LevelTwoCharactersPerLetterUpToSixteen) {
  PinyinLevel2Table table;
  EXPECT_FALSE(PinyinMatch("谮言", "Z", 1, table));
  table.SetLetter('Z' - 'A', "谮");
  EXPECT_TRUE(table.configured);
  EXPECT_TRUE(PinyinMatch("谮言", "Z", 1, table));
  EXPECT_TRUE(PinyinMatch("谮言", "ZY", 2, table));
  EXPECT_FALSE(PinyinMatch("谮言", "A", 1, table));

  // Pairs of which a byte is below 160 are skipped (walked two bytes at a time).
  table.SetLetter(0, "ab谮");
  EXPECT_EQ(table.count[0], 1);

  // Twenty level-2 characters (D8A1..D8B4): the first sixteen are kept, the rest left out.
  std::string many;
  for (unsigned code = 0xD8A1; code < 0xD8A1 + 20; ++code) many += Gbk(code);
  table.SetLetter('Q' - 'A', many.c_str());
  EXPECT_EQ(table.count['Q' - 'A'], 16);
  EXPECT_TRUE(PinyinMatch(Gbk(0xD8B0).c_str(), "Q", 1, table));
  EXPECT_FALSE(PinyinMatch(Gbk(0xD8B1).c_str(), "Q", 1, table));
}

TEST(SmartKBPinyin, LevelTwoTableIsReadFromTheProgramSettings) {
  shelltest::ShellSettings settings;
  ASSERT_TRUE(WritePrivateProfileStringA("PYLEVEL2", "Z", "谮", "..\\CFG\\SETTING.INI"));
  ASSERT_TRUE(WritePrivateProfileStringA("PYLEVEL2", "q", "x", "..\\CFG\\SETTING.INI"));
  PinyinLevel2Table table;
  table.Load();
  EXPECT_TRUE(table.configured);
  EXPECT_EQ(table.count['Z' - 'A'], 1);
  EXPECT_EQ(table.count['Q' - 'A'], 0);
  const std::string zen = "谮";
  EXPECT_EQ(table.chars['Z' - 'A'][0][0], static_cast<unsigned char>(zen[0]));
  EXPECT_EQ(table.chars['Z' - 'A'][0][1], static_cast<unsigned char>(zen[1]));
}

// ---- Contract months ----------------------------------------------------------------------------

TEST(SmartKBContractMonth, TargetsInsertTheDecadeDigit) {
  struct Case {
    const char* text;
    int year;
    const char* target;   // null: none
  } cases[] = {
      {"A905", 2008, "A0905"}, {"A105", 2008, "A1105"}, {"A6", 2015, "A16"},   {"A1", 2019, "A21"},
      {"a5", 2015, "a15"},     {"AB12", 2008, "AB112"}, {"CF9", 2008, "CF09"}, {"A1", 2095, "A01"},
      {"A8", 2008, "A08"},     {"A", 2008, nullptr},    {"A1234", 2008, nullptr}, {"ABC1", 2008, nullptr},
      {"1A", 2008, nullptr},   {"A1B", 2008, nullptr},  {"", 2008, nullptr},
  };
  for (const Case& c : cases) {
    char out[8];
    EXPECT_EQ(ContractMonthTarget(c.text, c.year, out), c.target != nullptr) << c.text;
    EXPECT_STREQ(out, c.target != nullptr ? c.target : "") << c.text;
  }
}

// ---- The search over markets, blocks, hot keys, indicators and pages ----------------------------

class SmartKBSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadHotKeys();   // no HotKey.ini in the tree: the defaults
    ClearPageList();
    // Market 0 SH, 1 SZ, 2 futures, 3 with alternative codes.
    settings.AddMarket("SH", "上海", {"600000", "600036", "601398", "600", "600600", "000300"});
    settings.AddMarket("SZ", "深圳", {"000001", "000036", "000300", "612345"});
    settings.AddMarket("CF", "期货", {"IF2403", "IF2406", "IF", "X1", "Y1", "Y2"});
    settings.AddMarket("HK", "香港", {"C001", "C002", "C003", "C004"});
    Name(0, "600000", "浦发银行");
    Name(0, "600036", "招商银行");
    Name(0, "601398", "工商银行");
    Name(0, "600600", "青岛啤酒");
    Name(0, "000300", "沪深300");
    Name(1, "000001", "平安银行");
    Name(1, "000036", "华联控股");
    Name(1, "000300", "重复代码");
    Name(1, "612345", "测试");
    Name(2, "X1", "谮言");
    Name(2, "Y1", "Ｐ股");
    Name(2, "Y2", "50ETF");
    TMarketData* hk = MarketTables[3];
    ASSERT_NE(hk->altCodes, nullptr);
    const char* alts[] = {"A0905", "A1105", "A1601", "A2101"};
    for (int i = 0; i < 4; ++i) std::snprintf(hk->altCodes[i].code, sizeof hk->altCodes[i].code, "%s", alts[i]);
    settings.BuildBlocks();
    ASSERT_GE(BlockSlotCount, MarketCount);
  }
  void TearDown() override { ClearPageList(); }

  static void Name(int market, const char* code, const char* name) {
    TMarketData* table = MarketTables[market];
    const int at = table->FindCode(code);
    ASSERT_GE(at, 0) << code;
    std::snprintf(table->names[at].name, sizeof table->names[at].name, "%s", name);
  }

  // The instrument hits as "market:code", in order.
  std::vector<std::string> Instruments(const char* text) {
    SmartKBSearch(state, text, DefaultSmartKBSources());
    std::vector<std::string> out;
    for (int i = 0; i < state.hitCount; ++i) {
      if (state.hits[i].kind != kSmartKBHitInstrument) continue;
      const InstrumentRecord& r = state.instruments[state.hits[i].index];
      out.push_back(std::to_string(r.market) + ":" + r.code);
    }
    return out;
  }
  // True when no hit of `kind` comes after a hit of a later group.
  bool GroupsInOrder() const {
    const int rank[] = {0, 3, 1, 2};   // commands, formulas, pages, instruments
    for (int i = 1; i < state.hitCount; ++i) {
      if (rank[state.hits[i].kind] < rank[state.hits[i - 1].kind]) return false;
    }
    return true;
  }

  shelltest::ShellSettings settings;
  SmartKBSearchState state;
};

TEST_F(SmartKBSearchTest, InstrumentMatchesByCodeNameAltCodeAndPinyin) {
  using V = std::vector<std::string>;
  zuvo::platform::ScopedDrivenClock clock(MidYear(2008));
  struct Case {
    const char* text;
    V expected;
  } cases[] = {
      // Three digits: 600ddd then 000ddd (market 0, else market 1) first, each listed once.
      {"036", {"0:600036", "1:000036"}},
      // The exact code 600 goes in front of the completed 600600, which is still listed once.
      {"600", {"0:600", "0:600600", "0:600000", "0:600036"}},
      {"300", {"0:000300"}},   // 600300 absent; 000300 of market 0 before market 1's
      // Four digits: 00dddd then 60dddd.
      {"0036", {"1:000036", "0:600036"}},
      {"0001", {"1:000001"}},
      {"60003", {"0:600036"}},
      // An exact code goes to the front.
      {"if", {"2:IF", "2:IF2403", "2:IF2406"}},
      {"if24", {"2:IF2403", "2:IF2406"}},
      // Names, pinyin initials with '.', alternative codes and their contract months.
      {"浦发", {"0:600000"}},
      {"PF", {"0:600000"}},
      {"P.", {"0:600000", "0:600600", "1:000001", "2:Y1"}},   // 浦, 啤, 平 and Ｐ are P
      {"PG", {"2:Y1"}},
      {"0ET", {"2:Y2"}},   // cells 5 0 E T F
      {"ZS", {"0:600036"}},
      {"A09", {"3:C001"}},
      {"A905", {"3:C001"}},   // A0905 in 2008
      {"A105", {"3:C002"}},   // A1105
      {"a1105", {"3:C002"}},  // the alternative code typed whole goes to the front
      {"QQQ", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Instruments(c.text), c.expected) << c.text;
    EXPECT_EQ(MatchInstruments(state, c.text, DefaultSmartKBSources()), !c.expected.empty()) << c.text;
  }
}

TEST_F(SmartKBSearchTest, ContractMonthsFollowTheLocalYear) {
  {
    zuvo::platform::ScopedDrivenClock clock(MidYear(2015));
    EXPECT_EQ(Instruments("A6"), std::vector<std::string>{"3:C003"}) << "A16";
  }
  {
    zuvo::platform::ScopedDrivenClock clock(MidYear(2019));
    // A1105 and A1601 begin with the text itself; A2101 with its completion A21.
    EXPECT_EQ(Instruments("A1"), (std::vector<std::string>{"3:C002", "3:C003", "3:C004"}));
    EXPECT_EQ(Instruments("A2"), std::vector<std::string>{"3:C004"}) << "A2101 itself; its completion A22 names nothing";
  }
}

TEST_F(SmartKBSearchTest, LevelTwoCharactersMatchOutsideTheirLettersRange) {
  EXPECT_EQ(Instruments("Z"), (std::vector<std::string>{"0:600036", "1:000300"})) << "招 and 重";
  state.level2.SetLetter('Z' - 'A', "谮");
  EXPECT_EQ(Instruments("Z"), (std::vector<std::string>{"0:600036", "1:000300", "2:X1"}));
}

TEST_F(SmartKBSearchTest, CommandsFormulasPagesThenInstruments) {
  shelltest::ScriptedIndicatorCatalog indicators({{"MACD", 0}, {"MA", 1}, {"KDJ", 0}, {"6MA", 0}});
  shelltest::ScopedIndicatorCatalog catalog(&indicators);
  ASSERT_GE(AppendPage("甲", "..\\user\\zvpage0.ppg"), 0);
  ASSERT_GE(AppendPage("乙", ""), 0);
  ASSERT_GE(AppendPage("丙", "..\\user\\zvpage2.ppg"), 0);
  for (int i = 4; i <= 12; ++i) ASSERT_GE(AppendPage("页", "..\\user\\zvpage9.ppg"), 0);

  // "61": the command whose default is "61+ENTER" before any instrument.
  SmartKBSearch(state, "61", DefaultSmartKBSources());
  ASSERT_GT(state.hitCount, 1);
  EXPECT_EQ(state.hits[0].kind, kSmartKBHitCommand);
  EXPECT_STREQ(HotKeyTable[state.hits[0].index].typedKeys, "61");
  EXPECT_EQ(HotKeyTable[state.hits[0].index].keyMask, kKeyEnter);
  EXPECT_EQ(Instruments("61"), std::vector<std::string>{"1:612345"});
  EXPECT_TRUE(GroupsInOrder());

  // "6": the commands typed 6..., the formula 6MA, then the instruments.
  SmartKBSearch(state, "6", DefaultSmartKBSources());
  EXPECT_TRUE(GroupsInOrder());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitFormula), std::vector<int>{3});
  for (int index : HitsOfKind(state, kSmartKBHitCommand)) {
    EXPECT_EQ(HotKeyTable[index].typedKeys[0], '6');
    EXPECT_EQ(HotKeyTable[index].keyMask, kKeyEnter);
  }
  EXPECT_FALSE(HitsOfKind(state, kSmartKBHitCommand).empty());

  // Formulas by name prefix, ignoring case, in catalog order.
  SmartKBSearch(state, "ma", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitFormula), (std::vector<int>{0, 1}));

  // Pages: "." every page with a file and page 0; ".3" page 3; ".1" pages 1 and 10-12.
  SmartKBSearch(state, ".", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitPage), (std::vector<int>{0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  SmartKBSearch(state, ".3", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitPage), std::vector<int>{3});
  SmartKBSearch(state, ".2", DefaultSmartKBSources());
  EXPECT_TRUE(HitsOfKind(state, kSmartKBHitPage).empty()) << "page 2 has no file";
  SmartKBSearch(state, ".1", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitPage), (std::vector<int>{1, 10, 11, 12}));
  SmartKBSearch(state, ".13", DefaultSmartKBSources());
  EXPECT_TRUE(HitsOfKind(state, kSmartKBHitPage).empty());

  EXPECT_FALSE(SmartKBSearch(state, "", DefaultSmartKBSources()));
  EXPECT_EQ(state.hitCount, 0);
  EXPECT_FALSE(SmartKBSearch(state, nullptr, DefaultSmartKBSources()));
  EXPECT_FALSE(SmartKBSearch(state, "QQQ", DefaultSmartKBSources()));
}

TEST_F(SmartKBSearchTest, OnlyTypedSequencesFinishedWithEnterAreCommands) {
  // A chord with ENTER and a single typed key are not offered; a typed sequence with ENTER is.
  HotKeyRecord& chord = HotKeyTable[0];
  ParseHotKey(&chord, "CTRL+ENTER");
  HotKeyRecord& plain = HotKeyTable[1];
  ParseHotKey(&plain, "Q");
  HotKeyRecord& typed = HotKeyTable[2];
  ParseHotKey(&typed, "QX+ENTER");
  SmartKBSearch(state, "q", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitCommand), std::vector<int>{2});
  // A record whose 16 typed bytes are not terminated is read no further.
  std::memset(typed.typedKeys, 'Q', sizeof typed.typedKeys);
  SmartKBSearch(state, "QQQQQQQQ", DefaultSmartKBSources());
  EXPECT_EQ(HitsOfKind(state, kSmartKBHitCommand), std::vector<int>{2});
}

// ---- Caps ---------------------------------------------------------------------------------------

class SmartKBCapsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadHotKeys();
    ClearPageList();
    std::vector<std::string> codes;
    for (int i = 0; i < 700; ++i) {
      char code[8];
      std::snprintf(code, sizeof code, "5%05d", i);
      codes.push_back(code);
    }
    codes.push_back("5");   // exact, but past the 512th match
    settings.AddMarket("SH", "上海", codes);
    settings.BuildBlocks();
  }
  shelltest::ShellSettings settings;
  SmartKBSearchState state;
};

TEST_F(SmartKBCapsTest, AtMost512InstrumentsAreListed) {
  EXPECT_TRUE(MatchInstruments(state, "5", DefaultSmartKBSources()));
  EXPECT_EQ(state.instrumentCount, kSmartKBMaxInstruments);
  EXPECT_STREQ(state.instruments[0].code, "500000");
  EXPECT_STREQ(state.instruments[511].code, "500511");
}

TEST_F(SmartKBCapsTest, AtMost1024HitsFormulasFirst) {
  std::vector<std::pair<std::string, int>> indicators;
  for (int i = 0; i < 700; ++i) indicators.emplace_back("5F" + std::to_string(i), 0);
  shelltest::ScriptedIndicatorCatalog first(indicators);
  shelltest::ScopedIndicatorCatalog catalog(&first);
  ASSERT_TRUE(SmartKBSearch(state, "5", DefaultSmartKBSources()));
  EXPECT_EQ(state.hitCount, kSmartKBMaxHits);
  const int commands = static_cast<int>(HitsOfKind(state, kSmartKBHitCommand).size());
  EXPECT_EQ(static_cast<int>(HitsOfKind(state, kSmartKBHitFormula).size()), 700);
  const std::vector<int> instruments = HitsOfKind(state, kSmartKBHitInstrument);
  ASSERT_EQ(static_cast<int>(instruments.size()), kSmartKBMaxHits - 700 - commands);
  for (std::size_t i = 0; i < instruments.size(); ++i) EXPECT_EQ(instruments[i], static_cast<int>(i));

  // More formulas than hits: the table ends at 1024.
  indicators.clear();
  for (int i = 0; i < 1500; ++i) indicators.emplace_back("5F" + std::to_string(i), 0);
  shelltest::ScriptedIndicatorCatalog second(indicators);
  shelltest::ScopedIndicatorCatalog more(&second);
  ASSERT_TRUE(SmartKBSearch(state, "5", DefaultSmartKBSources()));
  EXPECT_EQ(state.hitCount, kSmartKBMaxHits);
  EXPECT_EQ(state.hits[kSmartKBMaxHits - 1].kind, kSmartKBHitFormula);
}

}  // namespace
