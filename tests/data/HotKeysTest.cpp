#include "data/HotKeys.h"

#include "data/UtilData.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using testsupport::CrlfLines;
using testsupport::TempInstall;
using testsupport::WriteBytes;

HotKeyRecord Parse(const std::string& text) {
  HotKeyRecord record{};
  ParseHotKey(&record, text.c_str());
  return record;
}

std::string Format(const HotKeyRecord& record) {
  char text[kHotKeyTextSize];
  FormatHotKey(record, text);
  return text;
}

std::string Caption(const HotKeyRecord& record) {
  char text[kHotKeyTextSize];
  FormatHotKeyCaption(record, text);
  return text;
}

// A user directory inside a temporary install tree, with the hot keys loaded from it.
class HotKeyFileTest : public ::testing::Test {
 protected:
  void SetUp() override { std::strcpy(UserDir, "..\\user\\"); }
  TempInstall install;
};

TEST(HotKeyParse, TextsGiveMaskAndTypedKeys) {
  struct Case {
    const char* text;
    std::uint32_t mask;
    const char* typed;
  };
  const Case cases[] = {
      {"ctrl + s", kKeyCtrl, "S"},
      {"61+ENTER", kKeyEnter, "61"},
      {"ALT+F12", kKeyAlt | KeyF(12), ""},
      {"SHIFT+CTRL+S", kKeyCtrl | kKeyShift, "S"},
      {"AB", 0, "A"},
      {"+ENTER", 0, ""},
      {"CTRL+5+ENTER", kKeyCtrl, "5"},
      {"F10", KeyF(10), ""},            // not F1 followed by a typed 0
      {"F1", KeyF(1), ""},
      {"PAGEDOWN", kKeyPageDown, ""},
      {"HOME+ENTER", kKeyHome, ""},      // a named key drops ENTER
      {"X+F5", KeyF(5), ""},             // and the typed keys
      {"ESC", kKeyEsc, ""},
      {"CTRL+ENTER", kKeyCtrl | kKeyEnter, ""},
      {"alt+enter", kKeyAlt | kKeyEnter, ""},
      {"Ctrl+Shift+Enter", kKeyCtrl | kKeyShift | kKeyEnter, ""},
      {"CTRL+", 0, ""},
      {"", 0, ""},
      {"-", 0, "-"},
      {"++ENTER", kKeyEnter, "+"},
      {"中文F5", KeyF(5), ""},          // GBK bytes are not keys
      {"丗5", 0, "5"},                  // nor is a trail byte that looks like a letter ('F')
      {"CTRL+係", 0, ""},               // ('S')
      {"1234567890ABCDEFGH+ENTER", kKeyEnter, "1234567890ABCDE"},   // 15 typed keys at most
      // Cut at 15, these would end in a modifier's name and read back as that modifier once
      // stored with "+ENTER" after them: the cut goes one key earlier.
      {"1234567890ACTRLZ+ENTER", kKeyEnter, "1234567890ACTR"},
      {"123456789012ALTZ+ENTER", kKeyEnter, "123456789012AL"},
      {"1234567890shift9+enter", kKeyEnter, "1234567890SHIF"},
      {"12345678901CTRL+ENTER", kKeyCtrl, "1"},   // uncut, CTRL+ENTER is the modifier
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    HotKeyRecord record = Parse(c.text);
    EXPECT_EQ(record.keyMask, c.mask);
    EXPECT_STREQ(record.typedKeys, c.typed);
  }
}

TEST(HotKeyParse, KeepsCommandIdAndNameAndClearsOldKey) {
  HotKeyRecord record{};
  record.commandId = 61;
  std::strcpy(record.name, "页面循环");
  ParseHotKey(&record, "61+ENTER");
  ParseHotKey(&record, "F5");
  EXPECT_EQ(record.commandId, 61);
  EXPECT_STREQ(record.name, "页面循环");
  EXPECT_EQ(record.keyMask, KeyF(5));
  EXPECT_STREQ(record.typedKeys, "");
}

TEST(HotKeyFormat, StoredTextAndMenuCaption) {
  struct Case {
    const char* text;
    const char* stored;
    const char* caption;
  };
  const Case cases[] = {
      {"ctrl + s", "CTRL+S", "CTRL+S"},
      {"SHIFT+CTRL+S", "CTRL+SHIFT+S", "CTRL+SHIFT+S"},
      {"61+ENTER", "61+ENTER", "61"},
      {"ALT+F12", "ALT+F12", "ALT+F12"},
      {"CTRL+ENTER", "CTRL+ENTER", "CTRL"},
      {"ALT+ENTER", "ALT+ENTER", "ALT"},
      {"SHIFT+ENTER", "SHIFT+ENTER", "SHIFT"},
      {"CTRL+ALT+ENTER", "CTRL+ALT+ENTER", "CTRL+ALT"},
      {"CTRL+SHIFT+ENTER", "CTRL+SHIFT+ENTER", "CTRL+SHIFT"},
      {"ALT+SHIFT+ENTER", "ALT+SHIFT+ENTER", "ALT+SHIFT"},
      {"CTRL+ALT+SHIFT+ENTER", "CTRL+ALT+SHIFT+ENTER", "CTRL+ALT+SHIFT"},
      {"CTRL+ALT+SHIFT+DELETE", "CTRL+ALT+SHIFT+DELETE", "CTRL+ALT+SHIFT+DELETE"},
      {"ESC", "ESC", "ESC"},
      {"-", "-", "-"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    HotKeyRecord record = Parse(c.text);
    EXPECT_EQ(Format(record), c.stored);
    EXPECT_EQ(Caption(record), c.caption);
  }
}

TEST(HotKeyFormat, BoundsTheOutput) {
  HotKeyRecord record = Parse("CTRL+ALT+SHIFT+BACKSPACE");
  char small[6];
  EXPECT_EQ(FormatHotKey(record, small, sizeof small), 5);
  EXPECT_STREQ(small, "CTRL+");
  EXPECT_EQ(FormatHotKeyCaption(record, small, 1), 0);
  EXPECT_STREQ(small, "");

  // Typed keys that fill their field without a terminator stop at the field's end.
  HotKeyRecord full{};
  full.keyMask = kKeyEnter;
  std::memset(full.typedKeys, '7', sizeof full.typedKeys);
  std::strcpy(full.name, "NAME");
  EXPECT_EQ(Format(full), std::string(16, '7') + "+ENTER");
  EXPECT_EQ(Caption(full), std::string(16, '7'));
}

void ExpectRoundTrip(const std::string& text) {
  SCOPED_TRACE(text);
  HotKeyRecord first = Parse(text);
  HotKeyRecord second = Parse(Format(first));
  EXPECT_EQ(second.keyMask, first.keyMask);
  EXPECT_STREQ(second.typedKeys, first.typedKeys);
}

TEST(HotKeyFormat, EveryDefaultSurvivesFormatAndParse) {
  for (int id = 1; id <= kHotKeyCount; ++id) {
    const std::string text = DefaultHotKeyText(id);
    ExpectRoundTrip(text);
    // The defaults are already in stored form, except that modifiers are written in the order
    // CTRL, ALT, SHIFT.
    EXPECT_EQ(Format(Parse(text)), id == 75 ? std::string("CTRL+SHIFT+S") : text) << "id " << id;
  }
}

TEST(HotKeyFormat, RandomKeyTextsSurviveFormatAndParse) {
  // Whole and partial key names, so that texts pass 15 typed keys and may be cut inside a name.
  const std::vector<std::string> pieces = {
      "CTRL+", "ALT+", "SHIFT+", "+ENTER", "ENTER", "ESC",   "F1",   "F10",  "F12", "UP",  "END",
      "TAB",   "A",    "E",      "S",      "1",     "6",     "-",    "+",    "'",   ";",   "\\",
      "`",     " ",    "c",      "x",      "中",    "PAGE",  "DOWN", "SPACE", "CTRL", "ALT", "SHIFT",
      "CTR",   "L",    "SHIF",   "T",      "AL",    "ENTE",  "R",    "F",    "0",   "9",   "ctrl+",
      "Z",     "Q",    "7"};
  std::mt19937 random(12345);
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    const int count = 1 + static_cast<int>(random() % 24);
    for (int j = 0; j < count; ++j) text += pieces[random() % pieces.size()];
    if (random() % 2 == 0) text += "+ENTER";   // typed sequences are what gets cut
    ExpectRoundTrip(text);
    if (HasFailure()) break;
  }
}

TEST_F(HotKeyFileTest, MissingFileGivesTheDefaultTable) {
  LoadHotKeys();
  for (int id = 1; id <= kHotKeyCount; ++id) {
    const HotKeyRecord& record = HotKeyTable[id - 1];
    EXPECT_EQ(record.commandId, id);
    EXPECT_STREQ(record.name, HotKeyCommandName(id));
  }
  EXPECT_EQ(HotKeyTable[kHotKeyCount].commandId, 0);
  EXPECT_STREQ(HotKeyTable[15].name, "上证Ａ股");
  EXPECT_EQ(HotKeyTable[68].keyMask, kKeyAlt | KeyF(12));   // id 69 画线工具
  EXPECT_STREQ(HotKeyTable[21].typedKeys, "61");              // id 22
  EXPECT_EQ(HotKeyTable[2].keyMask, 0u);                      // id 3 has no key
}

TEST_F(HotKeyFileTest, ReadsUserKeysAndDefaultsTheRest) {
  WriteBytes(install.user() / "HotKey.ini",
             CrlfLines({"[HotKey]", "h61=ctrl + s", "h1=ESC", "h2=CTRL+ENTER", "h3=AB", "h4=",
                        "h81=ALT+ENTER"}));
  LoadHotKeys();
  EXPECT_EQ(HotKeyTable[60].keyMask, kKeyCtrl);
  EXPECT_STREQ(HotKeyTable[60].typedKeys, "S");
  EXPECT_EQ(HotKeyTable[0].keyMask, kKeyEsc);
  EXPECT_EQ(HotKeyTable[1].keyMask, kKeyCtrl | kKeyEnter);
  EXPECT_EQ(HotKeyTable[2].keyMask, 0u);
  EXPECT_STREQ(HotKeyTable[2].typedKeys, "A");
  EXPECT_EQ(HotKeyTable[3].keyMask, 0u);          // present but empty: no key, not the default
  EXPECT_STREQ(HotKeyTable[3].typedKeys, "");
  EXPECT_EQ(HotKeyTable[80].keyMask, kKeyAlt | kKeyEnter);
  EXPECT_EQ(HotKeyTable[47].keyMask, KeyF(12));   // h48 absent: default F12
}

TEST_F(HotKeyFileTest, SavedKeysLoadBackUnchanged) {
  LoadHotKeys();
  const char* edits[][2] = {{"1", "ESC"},      {"2", "CTRL+ENTER"}, {"3", "ALT+ENTER"},
                            {"4", "'"},        {"5", ";"},          {"6", "SHIFT+ENTER"},
                            {"7", "CTRL+\\"},  {"8", "=+ENTER"},    {"10", ""},
                            {"58", "CTRL+ALT+SHIFT+ENTER"}};
  for (const auto& edit : edits) ParseHotKey(&HotKeyTable[std::atoi(edit[0]) - 1], edit[1]);
  HotKeyRecord saved[kHotKeyTableSize];
  std::memcpy(saved, HotKeyTable, sizeof saved);

  ASSERT_TRUE(SaveHotKeys());
  std::memset(HotKeyTable, 0xAB, sizeof HotKeyTable);
  LoadHotKeys();
  for (int i = 0; i < kHotKeyTableSize; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(HotKeyTable[i].commandId, saved[i].commandId);
    EXPECT_EQ(HotKeyTable[i].keyMask, saved[i].keyMask);
    EXPECT_STREQ(HotKeyTable[i].typedKeys, saved[i].typedKeys);
    EXPECT_STREQ(HotKeyTable[i].name, saved[i].name);
  }
}

TEST_F(HotKeyFileTest, SavingKeepsWhatItDoesNotWrite) {
  WriteBytes(install.user() / "HotKey.ini",
             CrlfLines({"[Other]", "x=1", "[HotKey]", "H1 = ESC", "h99=F3", "note=keep me",
                        "[Last]", "y=2"}));
  LoadHotKeys();
  ParseHotKey(&HotKeyTable[0], "F5");
  ASSERT_TRUE(SaveHotKeys());

  auto read = [](const char* section, const char* key) {
    char value[64] = {};
    GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, "..\\user\\HotKey.ini");
    return std::string(value);
  };
  EXPECT_EQ(read("HotKey", "h1"), "F5");      // written once, over the old "H1"
  EXPECT_EQ(read("HotKey", "h81"), "");
  EXPECT_EQ(read("HotKey", "h99"), "F3");
  EXPECT_EQ(read("HotKey", "note"), "keep me");
  EXPECT_EQ(read("Other", "x"), "1");
  EXPECT_EQ(read("Last", "y"), "2");
  const std::string file = testsupport::ReadBytes(install.user() / "HotKey.ini");
  EXPECT_EQ(file.find("H1"), std::string::npos) << file;
}

class HotKeyMatchTest : public HotKeyFileTest {
 protected:
  void SetUp() override {
    HotKeyFileTest::SetUp();
    LoadHotKeys();
  }
};

TEST_F(HotKeyMatchTest, DefaultTableUnderModifiers) {
  struct Case {
    unsigned vk;
    KeyboardState state;
    int id;
  };
  const KeyboardState none{};
  const KeyboardState ctrl{.ctrl = true};
  const KeyboardState shift{.shift = true};
  const KeyboardState alt{.alt = true};
  const KeyboardState ctrlShift{.ctrl = true, .shift = true};
  const KeyboardState numLockOn{.numLock = true};
  const Case cases[] = {
      {VK_F1, none, 28},
      {VK_F1, ctrl, 0},                // a modifier the record lacks
      {VK_F8, none, 42},
      {VK_F8, shift, 74},
      {VK_F4, none, 34},
      {VK_F4, ctrl, 60},
      {VK_F4, alt, 76},
      {VK_F12, alt, 69},
      {'S', ctrl, 61},
      {'S', ctrlShift, 75},
      {'S', none, 0},                  // lacking the record's modifier
      {VK_OEM_MINUS, none, 58},
      {VK_SUBTRACT, none, 58},
      {VK_OEM_MINUS, ctrl, 0},
      {VK_DIVIDE, none, 77},
      {VK_OEM_2, none, 77},
      {VK_MULTIPLY, none, 79},
      {VK_HOME, none, 78},
      {VK_NUMPAD7, none, 78},          // NUM LOCK off: keypad 7 is HOME
      {VK_NUMPAD1, none, 80},          // and keypad 1 END
      {VK_NUMPAD7, numLockOn, 0},      // NUM LOCK on: a digit, and "7+ENTER" is the wizard's
      {VK_NUMPAD5, none, 0},
      {'1', none, 0},                  // typed sequences with ENTER never match here
      {VK_CAPITAL, none, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "vk " << c.vk << " ctrl " << c.state.ctrl << " shift "
                                    << c.state.shift << " alt " << c.state.alt);
    EXPECT_EQ(MatchHotKey(c.vk, c.state), c.id);
  }
}

TEST_F(HotKeyMatchTest, UserKeysIncludingEnterChordsAndKeypad) {
  ParseHotKey(&HotKeyTable[80], "UP");           // id 81
  ParseHotKey(&HotKeyTable[61], "CTRL+ENTER");   // id 62
  ParseHotKey(&HotKeyTable[2], "ESC");           // id 3
  ParseHotKey(&HotKeyTable[7], "8");             // id 8
  ParseHotKey(&HotKeyTable[8], "[");             // id 9
  EXPECT_EQ(MatchHotKey(VK_NUMPAD8, KeyboardState{}), 81);
  EXPECT_EQ(MatchHotKey(VK_UP, KeyboardState{}), 81);
  EXPECT_EQ(MatchHotKey(VK_NUMPAD8, KeyboardState{.numLock = true}), 8);
  EXPECT_EQ(MatchHotKey('8', KeyboardState{}), 8);
  EXPECT_EQ(MatchHotKey(VK_RETURN, KeyboardState{.ctrl = true}), 62);
  EXPECT_EQ(MatchHotKey(VK_RETURN, KeyboardState{}), 0);
  EXPECT_EQ(MatchHotKey(VK_ESCAPE, KeyboardState{}), 3);
  EXPECT_EQ(MatchHotKey(VK_OEM_4, KeyboardState{}), 9);
}

TEST_F(HotKeyMatchTest, ReadsModifiersFromTheStateSource) {
  KeyboardState state{};
  SetKeyboardStateSource([&] { return state; });
  EXPECT_EQ(MatchHotKey('P'), 0);
  state.ctrl = true;
  EXPECT_EQ(MatchHotKey('P'), 59);
  SetKeyboardStateSource({});
}

}  // namespace
