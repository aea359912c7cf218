#include "platform/Profile.h"

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::CrlfLines;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

constexpr const char* kIni = "..\\cfg\\setting.ini";

// A settings file as the program finds it: comments, a quoted GBK value, blanks around keys
// and values, a line without '=', a duplicate key and a second section.
std::string settingFixture() {
  return CrlfLines({
      "; system settings",
      "[AppTitle]",
      "  Title = \"柯苏之星\"  ",
      "Count=  42abc",
      "Neg=-17",
      "Empty=",
      "NoDigits=abc",
      "Single='quoted'",
      "Half=\"open",
      "Count=99",
      "",
      "[Other]",
      "key=1",
      "bare line",
      "; Hidden=1",
  });
}

std::string read(const char* section, const char* key, const char* fallback = "", DWORD size = 256) {
  std::vector<char> buffer(size + 1, '#');
  const DWORD count = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, kIni);
  EXPECT_EQ(count, std::strlen(buffer.data()));
  return std::string(buffer.data(), count);
}

// A double-zero list as a vector of items.
std::vector<std::string> items(const char* list) {
  std::vector<std::string> out;
  for (const char* item = list; *item; item += std::strlen(item) + 1) out.emplace_back(item);
  return out;
}

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override { WriteBytes(install.cfg() / "setting.ini", settingFixture()); }
  std::string file() const { return ReadBytes(install.cfg() / "setting.ini"); }
  TempInstall install;
};

TEST_F(ProfileTest, ReadsValuesTrimmedUnquotedAndMatchedWithoutRegardToCase) {
  struct Case {
    const char* section;
    const char* key;
    const char* fallback;
    const char* expected;
  };
  const Case cases[] = {
      {"AppTitle", "Title", "x", "柯苏之星"},
      {"APPTITLE", "title", "x", "柯苏之星"},
      {" apptitle ", " TITLE ", "x", "柯苏之星"},
      {"AppTitle", "Count", "x", "42abc"},   // the first of two equal keys wins
      {"AppTitle", "Empty", "x", ""},        // present but empty is not missing
      {"AppTitle", "Single", "x", "quoted"},
      {"AppTitle", "Half", "x", "\"open"},   // only a matching pair is stripped
      {"AppTitle", "Missing", "fallback  ", "fallback"},  // default loses trailing blanks
      {"AppTitle", "Missing", nullptr, ""},
      {"Nowhere", "Title", "d", "d"},
      {"Other", "; Hidden", "d", "d"},       // comments are not keys
      {"Other", "bare line", "d", "d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(read(c.section, c.key, c.fallback), c.expected);
  }
}

TEST_F(ProfileTest, MissingFileGivesTheDefault) {
  char buffer[16];
  EXPECT_EQ(GetPrivateProfileStringA("a", "b", "dflt", buffer, sizeof buffer, "..\\cfg\\none.ini"), 4u);
  EXPECT_STREQ(buffer, "dflt");
  EXPECT_EQ(GetPrivateProfileIntA("a", "b", 7, "..\\cfg\\none.ini"), 7u);
}

TEST_F(ProfileTest, TruncatesToSizeMinusOneWithoutSplittingACharacter) {
  EXPECT_EQ(read("AppTitle", "Single", "", 4), "quo");
  EXPECT_EQ(read("AppTitle", "Single", "", 1), "");
  EXPECT_EQ(read("AppTitle", "Title", "", 4), "柯");  // 3 bytes would cut the second character
  EXPECT_EQ(read("AppTitle", "Title", "", 5), "柯苏");
  EXPECT_EQ(read("AppTitle", "Missing", "fallback", 4), "fal");
  char untouched = '#';
  EXPECT_EQ(GetPrivateProfileStringA("AppTitle", "Title", "", &untouched, 0, kIni), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST_F(ProfileTest, NullSectionAndNullKeyListNamesAsDoubleZeroLists) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  DWORD count = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, kIni);
  EXPECT_EQ(count, std::strlen("AppTitle") + 1 + std::strlen("Other") + 1);
  EXPECT_EQ(items(buffer), (std::vector<std::string>{"AppTitle", "Other"}));
  EXPECT_EQ(buffer[count], '\0');

  EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, sizeof buffer, kIni), count);

  GetPrivateProfileStringA("apptitle", nullptr, "", buffer, sizeof buffer, kIni);
  EXPECT_EQ(items(buffer),
            (std::vector<std::string>{"Title", "Count", "Neg", "Empty", "NoDigits", "Single", "Half", "Count"}));

  // Too small: the last name is cut, two zeros end the buffer, size - 2 comes back. At 10
  // bytes the first name with its zero fills all but the last byte, and the second name has
  // no room at all.
  const struct {
    DWORD size;
    std::string expected;
  } tooSmall[] = {
      {12, std::string("AppTitle\0O\0\0", 12)},
      {11, std::string("AppTitle\0\0\0", 11)},
      {10, std::string("AppTitle\0\0", 10)},
  };
  for (const auto& c : tooSmall) {
    SCOPED_TRACE(c.size);
    std::vector<char> exact(c.size + 1, '#');
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", exact.data(), c.size, kIni), c.size - 2);
    EXPECT_EQ(std::string(exact.data(), c.size), c.expected);
    EXPECT_EQ(exact[c.size], '#');
  }

  // No such section: an empty list.
  EXPECT_EQ(GetPrivateProfileStringA("Nowhere", nullptr, "", buffer, sizeof buffer, kIni), 0u);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(ProfileTest, ReadsSignedIntegersAndGivesTheDefaultOnlyForAMissingOrEmptyValue) {
  WriteBytes(install.cfg() / "int.ini",
             CrlfLines({"[N]", "Count=  42abc", "Neg=-17", "Plus=+8", "Empty=", "Blanks=   ", "Quoted=\"\"",
                        "Font=宋体", "Sign=-", "Junk=abc12", "Huge=99999999999", "Low=-99999999999"}));
  struct Case {
    const char* section;
    const char* key;
    int expected;
  };
  const Case cases[] = {
      {"N", "Count", 42}, {"N", "Neg", -17}, {"N", "Plus", 8},
      // The default stands for a missing key or an empty value only...
      {"N", "Empty", 5}, {"N", "Blanks", 5}, {"N", "Quoted", 5}, {"N", "Missing", 5}, {"None", "Count", 5},
      // ...a value that starts with no digits is 0.
      {"N", "Font", 0}, {"N", "Sign", 0}, {"N", "Junk", 0},
      {"N", "Huge", 2147483647}, {"N", "Low", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA(c.section, c.key, 5, "..\\cfg\\int.ini")), c.expected);
  }
}

TEST_F(ProfileTest, SectionReadGivesRawLinesWithoutCommentsOrBlanks) {
  char buffer[64];
  EXPECT_GT(GetPrivateProfileSectionA("OTHER", buffer, sizeof buffer, kIni), 0u);
  EXPECT_EQ(items(buffer), (std::vector<std::string>{"key=1", "bare line"}));
  // Too small: the last line is cut and two zeros end the buffer.
  EXPECT_EQ(GetPrivateProfileSectionA("OTHER", buffer, 9, kIni), 7u);
  EXPECT_EQ(std::string(buffer, 9), std::string("key=1\0b\0\0", 9));
}

TEST_F(ProfileTest, WritesReplaceInPlaceInsertAndDeleteKeepingEverythingElse) {
  struct Step {
    const char* section;
    const char* key;
    const char* value;
    std::vector<std::string_view> expectedTail;  // the file from "[Other]" on
  };
  // Each step acts on the file the previous one left.
  const Step steps[] = {
      {"other", "KEY", "2", {"[Other]", "key=2", "bare line", "; Hidden=1"}},
      {"Other", "new", "v w", {"[Other]", "key=2", "bare line", "; Hidden=1", "new=v w"}},
      {"Other", "key", nullptr, {"[Other]", "bare line", "; Hidden=1", "new=v w"}},
      {"板块", "名称", "自选", {"[Other]", "bare line", "; Hidden=1", "new=v w", "[板块]", "名称=自选"}},
      {"OTHER", nullptr, nullptr, {"[板块]", "名称=自选"}},
  };
  const std::string head = CrlfLines({"; system settings", "[AppTitle]", "  Title = \"柯苏之星\"  ",
                                      "Count=  42abc", "Neg=-17", "Empty=", "NoDigits=abc",
                                      "Single='quoted'", "Half=\"open", "Count=99", ""});
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(step.section) + "/" + (step.key ? step.key : "(null)"));
    EXPECT_TRUE(WritePrivateProfileStringA(step.section, step.key, step.value, kIni));
    std::string expected = head;
    for (auto line : step.expectedTail) expected += std::string(line) + "\r\n";
    EXPECT_EQ(file(), expected);
  }
  EXPECT_EQ(read("板块", "名称"), "自选");
  // A key added to a section goes before the blank line that separates it from the next.
  EXPECT_TRUE(WritePrivateProfileStringA("AppTitle", "Added", "1", kIni));
  EXPECT_NE(file().find("Count=99\r\nAdded=1\r\n\r\n[板块]"), std::string::npos);
}

TEST_F(ProfileTest, KeyNamesFoldOnlyAsciiLetters) {
  // The GBK character 漲 ends in the byte 'q'; folding must not turn it into 'Q'.
  ASSERT_TRUE(WritePrivateProfileStringA("S", "a漲", "gbk", kIni));
  EXPECT_EQ(read("s", "A漲"), "gbk");
  std::string folded = "A漲";
  folded.back() = 'Q';
  EXPECT_EQ(read("S", folded.c_str(), "none"), "none");
}

TEST_F(ProfileTest, SectionNamesMayHoldCharactersEndingInABracketByte) {
  // The second byte of 癩 is ']'; it does not close the section name.
  ASSERT_TRUE(WritePrivateProfileStringA("自选癩", "k", "v", kIni));
  EXPECT_EQ(read("自选癩", "k"), "v");
  EXPECT_NE(file().find("[自选癩]\r\nk=v\r\n"), std::string::npos);
}

TEST_F(ProfileTest, WriteCreatesTheFileWithCrlfAndConvertsLfOnlyFiles) {
  EXPECT_TRUE(WritePrivateProfileStringA("Update", "Result", "1", "..\\cfg\\new.ini"));
  EXPECT_EQ(ReadBytes(install.cfg() / "new.ini"), "[Update]\r\nResult=1\r\n");
  // Deleting from a file that is not there creates nothing.
  EXPECT_TRUE(WritePrivateProfileStringA("Update", "Result", nullptr, "..\\cfg\\absent.ini"));
  EXPECT_FALSE(fs::exists(install.cfg() / "absent.ini"));

  WriteBytes(install.cfg() / "lf.ini", "[A]\nx=1\n[B]\ny=2");
  EXPECT_EQ(GetPrivateProfileIntA("B", "y", 0, "..\\cfg\\lf.ini"), 2u);
  EXPECT_TRUE(WritePrivateProfileStringA("A", "x", "3", "..\\cfg\\LF.INI"));
  EXPECT_EQ(ReadBytes(install.cfg() / "lf.ini"), "[A]\r\nx=3\r\n[B]\r\ny=2\r\n");
}

// Files written on old systems end lines with a lone CR: each such CR ends a line, so a
// section read and written back keeps every line whole.
TEST_F(ProfileTest, ALoneCrEndsALineAndASectionRewriteKeepsWhatFollowsIt) {
  WriteBytes(install.cfg() / "cr.ini", "[A]\rx=1\rnote\rkept after a lone CR\r\ny=2\r[B]\r\nz=3");
  EXPECT_EQ(GetPrivateProfileIntA("A", "x", 0, "..\\cfg\\cr.ini"), 1u);
  EXPECT_EQ(GetPrivateProfileIntA("A", "y", 0, "..\\cfg\\cr.ini"), 2u);
  EXPECT_EQ(GetPrivateProfileIntA("B", "z", 0, "..\\cfg\\cr.ini"), 3u);
  char buffer[128];
  GetPrivateProfileSectionA("A", buffer, sizeof buffer, "..\\cfg\\cr.ini");
  const std::vector<std::string> lines{"x=1", "note", "kept after a lone CR", "y=2"};
  EXPECT_EQ(items(buffer), lines);
  EXPECT_TRUE(WritePrivateProfileSectionA("A", buffer, "..\\cfg\\cr.ini"));
  GetPrivateProfileSectionA("A", buffer, sizeof buffer, "..\\cfg\\cr.ini");
  EXPECT_EQ(items(buffer), lines);
  EXPECT_EQ(ReadBytes(install.cfg() / "cr.ini"), "[A]\r\nx=1\r\nnote\r\nkept after a lone CR\r\ny=2\r\n[B]\r\nz=3\r\n");
}

TEST_F(ProfileTest, ValuesCannotInjectLines) {
  EXPECT_TRUE(WritePrivateProfileStringA("Other", "key", "safe\r\n[Evil]\r\nx=1", kIni));
  EXPECT_EQ(read("Other", "key"), "safe");
  EXPECT_EQ(read("Evil", "x", "none"), "none");
}

TEST_F(ProfileTest, NamesThatWouldNotReadBackAreRefused) {
  // Each of these would be written where the reader cuts, splits or drops it, and the value
  // would never read back (a section would be appended again on every write).
  const struct {
    const char* section;
    const char* key;
  } refused[] = {
      {"名\xA7", "k"},      // the lone lead byte takes the closing ']' as its second byte
      {"名\xA7  ", "k"},    // the same once the reader's trim has taken the blanks
      {"a]b", "k"}, {"a]", "k"}, {"]", "k"},
      {"a\r\nb", "k"}, {"a\nb", "k"}, {"a\rb", "k"},
      {"", "k"}, {"  \t", "k"},
      {"Other", "a=b"}, {"Other", "="}, {"Other", "line\nbreak"}, {"Other", "cr\r"},
      {"Other", "[x"}, {"Other", " [x"}, {"Other", ";x"}, {"Other", "  ;x"},
      {"Other", ""}, {"Other", "  "},
  };
  const std::string before = file();
  for (const auto& c : refused) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, "1", kIni));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(WritePrivateProfileStringA(c.section, c.key, "1", kIni));
    EXPECT_EQ(file(), before);
  }
  EXPECT_FALSE(WritePrivateProfileSectionA("名\xA7", "k=v\0", kIni));
  EXPECT_FALSE(WritePrivateProfileSectionA("a]b", "k=v\0", kIni));
  EXPECT_EQ(file(), before);

  // Names the reader finds again are written, and a second write changes the same line.
  const struct {
    const char* section;
    const char* key;
    const char* readAs;   // a spelling the value is read back under
  } accepted[] = {
      {" Spaced ", " key ", "spaced"},   // names are trimmed on write as on lookup
      {"自选癩", "k", "自选癩"},          // ']' as the second byte of a character
      {"a[b", "k", "A[B"},
      {"S", "名\xA7", "s"},               // a key ends at the first '=', never a second byte
      {"S", "a]b", "s"},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    ASSERT_TRUE(WritePrivateProfileStringA(c.section, c.key, "1", kIni));
    const std::size_t size = file().size();
    ASSERT_TRUE(WritePrivateProfileStringA(c.section, c.key, "2", kIni));
    EXPECT_EQ(file().size(), size);
    EXPECT_EQ(read(c.section, c.key), "2");
    std::string trimmedKey = c.key;
    trimmedKey.erase(0, trimmedKey.find_first_not_of(' '));
    trimmedKey.erase(trimmedKey.find_last_not_of(' ') + 1);
    EXPECT_EQ(read(c.readAs, trimmedKey.c_str()), "2");
  }
}

TEST_F(ProfileTest, FailedWriteLeavesFileAndCachedValuesIntact) {
  EXPECT_EQ(read("Other", "key"), "1");
  const std::string before = file();
  {
    files::ScopedFileFault fault(files::FileCall::kWrite);
    EXPECT_FALSE(WritePrivateProfileStringA("Other", "key", "2", kIni));
  }
  EXPECT_EQ(file(), before);
  EXPECT_EQ(read("Other", "key"), "1");

  // A folder that does not exist is not created.
  EXPECT_FALSE(WritePrivateProfileStringA("A", "b", "c", "..\\nofolder\\x.ini"));
  EXPECT_FALSE(fs::exists(install.root() / "nofolder"));

  // Something that exists but cannot be read as a file is never replaced.
  fs::create_directories(install.cfg() / "dir.ini");
  EXPECT_FALSE(WritePrivateProfileStringA("A", "b", "c", "..\\cfg\\dir.ini"));
  EXPECT_TRUE(fs::is_directory(install.cfg() / "dir.ini"));
}

TEST_F(ProfileTest, SectionWriteReplacesTheWholeSectionAndNullDeletesIt) {
  const char lines[] = "a=1\0b=2\0loose\0";
  EXPECT_TRUE(WritePrivateProfileSectionA("other", lines, kIni));
  char buffer[64];
  GetPrivateProfileSectionA("Other", buffer, sizeof buffer, kIni);
  EXPECT_EQ(items(buffer), (std::vector<std::string>{"a=1", "b=2", "loose"}));
  EXPECT_EQ(read("AppTitle", "Neg"), "-17");  // other sections untouched

  EXPECT_TRUE(WritePrivateProfileSectionA("Fresh", "k=v\0", kIni));
  EXPECT_EQ(read("fresh", "K"), "v");
  EXPECT_TRUE(WritePrivateProfileSectionA("Other", nullptr, kIni));
  EXPECT_EQ(items((GetPrivateProfileSectionNamesA(buffer, sizeof buffer, kIni), buffer)),
            (std::vector<std::string>{"AppTitle", "Fresh"}));
}

TEST_F(ProfileTest, ChangesBehindThePlatformsBackAreSeen) {
  EXPECT_EQ(read("Other", "key"), "1");
  // Rewritten in place with another size (no cache clearing, as another program would).
  {
    std::ofstream out(install.cfg() / "setting.ini", std::ios::binary | std::ios::trunc);
    out << "[Other]\r\nkey=22\r\n";
  }
  EXPECT_EQ(read("Other", "key"), "22");
  // Same size, new content, new modification time.
  {
    std::ofstream out(install.cfg() / "setting.ini", std::ios::binary | std::ios::trunc);
    out << "[Other]\r\nkey=33\r\n";
  }
  fs::last_write_time(install.cfg() / "setting.ini", fs::file_time_type::clock::now() + std::chrono::seconds(5));
  EXPECT_EQ(read("Other", "key"), "33");
  // Deleted: the default again.
  fs::remove(install.cfg() / "setting.ini");
  EXPECT_EQ(read("Other", "key", "gone"), "gone");
}

TEST_F(ProfileTest, ConcurrentReadersSeeOnlyWholeValuesWhileAWriterWorks) {
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      char buffer[32];
      while (!stop) {
        GetPrivateProfileStringA("Other", "key", "", buffer, sizeof buffer, kIni);
        const std::string value = buffer;
        if (value != "1" && value.find_first_not_of('7') != std::string::npos) ++bad;
      }
    });
  }
  std::string value;
  for (int i = 0; i < 50; ++i) {
    value += '7';
    EXPECT_TRUE(WritePrivateProfileStringA("Other", "key", value.c_str(), kIni));
  }
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(read("Other", "key"), value);
}

}  // namespace
