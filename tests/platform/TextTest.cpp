#include "platform/Text.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// UTF-8 bytes of a u8 literal (u8 literals are not touched by the GBK execution charset).
std::string Utf8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

TEST(GbkLiteral, ChineseLiteralCompilesToGbkBytes) {
  EXPECT_EQ(std::string("连接服务器失败"), std::string("\xC1\xAC\xBD\xD3\xB7\xFE\xCE\xF1\xC6\xF7\xCA\xA7\xB0\xDC"));
  EXPECT_EQ(std::string("漲"), std::string("\x9D\x71"));
}

TEST(GbkCodec, ConvertsBothWaysWithoutLoss) {
  struct Case {
    std::string gbk;
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"", "", u""},
      {"NAMETBL.SH", "NAMETBL.SH", u"NAMETBL.SH"},
      {"连接服务器失败", Utf8(u8"连接服务器失败"), u"连接服务器失败"},
      {"..\\user\\自选股.blk", Utf8(u8"..\\user\\自选股.blk"), u"..\\user\\自选股.blk"},
      {"嘰\\", Utf8(u8"嘰\\"), u"嘰\\"},   // a trail byte equal to '\\'
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(gbk::ToUtf8(c.gbk), c.utf8);
    EXPECT_EQ(gbk::FromUtf8(c.utf8), c.gbk);
    EXPECT_EQ(gbk::ToUtf16(c.gbk), c.utf16);
    EXPECT_EQ(gbk::FromUtf16(c.utf16), c.gbk);
  }
}

TEST(GbkCodec, EveryDoubleByteCodeRoundTripsToItsOwnCharacter) {
  // A name is stored on disk as UTF-8: two codes that decoded alike would share one file, and
  // a code that did not come back would be unreachable by the name the program knows.
  std::set<std::string> seen;
  int lost = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string utf8 = gbk::ToUtf8(code);
      if (gbk::FromUtf8(utf8) != code || gbk::FromUtf16(gbk::ToUtf16(code)) != code || !seen.insert(utf8).second) {
        if (++lost <= 5) ADD_FAILURE() << std::hex << lead << trail;
      }
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(gbk::FromUtf8(gbk::ToUtf8("\xAA\xA1.blk")), "\xAA\xA1.blk");   // user-defined area
}

TEST(GbkCodec, ReplacesInvalidInputAndKeepsTheRest) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(gbk::ToUtf8("A\x81"), "A" + replacement);          // lead byte cut at the end
  EXPECT_EQ(gbk::ToUtf8("\x81" "1B"), replacement + "1B");      // lead byte before a non-trail byte
  EXPECT_EQ(gbk::ToUtf8("\xFF" "连"), replacement + Utf8(u8"连"));
  EXPECT_EQ(gbk::ToUtf16("\x81"), std::u16string(u"\uFFFD"));

  EXPECT_EQ(gbk::FromUtf8("a\xF0\x9F\x98\x80" "b"), "a?b");  // an emoji is not in GBK: one '?' for it
  EXPECT_EQ(gbk::FromUtf8("a\xC3"), "a?");                      // broken sequence
  EXPECT_EQ(gbk::FromUtf8("\xE8\xBF" "x"), "?x");
  EXPECT_EQ(gbk::FromUtf8(Utf8(u8"a\u00C0\U0001F600b")), "a??b");   // no double-byte code: one '?' each
  EXPECT_EQ(gbk::FromUtf16(std::u16string{u'a', char16_t(0xD83D), char16_t(0xDE00), u'b'}), "a?b");   // one pair, one '?'
  EXPECT_EQ(gbk::FromUtf16(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
}

TEST(GbkCodec, ConvertsOnManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 300; ++i)
        if (gbk::FromUtf8(gbk::ToUtf8("自选股" + std::to_string(i))) != "自选股" + std::to_string(i)) ++failures[t];
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
}

TEST(GbkCaseFolding, NeverTouchesEitherByteOfADoubleByteCharacter) {
  // "漲" is 0x9D 0x71: its trail byte is 'q'.
  char text[] = "漲abc嘰Z";
  gbk::UpperInPlace(text);
  EXPECT_EQ(std::string(text), "漲ABC嘰Z");
  gbk::LowerInPlace(text);
  EXPECT_EQ(std::string(text), "漲abc嘰z");
  EXPECT_EQ(gbk::Upper("nametbl.sh 漲"), "NAMETBL.SH 漲");
  EXPECT_EQ(gbk::Lower("NAMETBL.SH 漲"), "nametbl.sh 漲");

  char cut[] = "a\x9D";   // a lead byte at the end is left alone
  gbk::UpperInPlace(cut);
  EXPECT_EQ(std::string(cut), "A\x9D");
  gbk::UpperInPlace(nullptr);
}

TEST(GbkCaseFolding, ComparesAsciiWithoutCaseAndGbkByteForByte) {
  struct Case {
    std::string a, b;
    int sign;
  };
  const Case cases[] = {
      {"Setting.INI", "SETTING.ini", 0},
      {"漲", "\x9D\x51", 1},          // trail bytes 'q' and 'Q' are different characters
      {"自选股A", "自选股a", 0},
      {"a", "b", -1},
      {"abc", "ab", 1},
      {"", "", 0},
      {"_", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    int result = gbk::CompareNoCase(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
    EXPECT_EQ(gbk::EqualsNoCase(c.a, c.b), c.sign == 0);
  }
}

TEST(GbkCutLength, NeverEndsInsideADoubleByteCharacter) {
  struct Case {
    std::string text;
    std::size_t maxBytes;
    std::size_t expected;
  };
  const Case cases[] = {
      {"连接", 3, 2}, {"连接", 4, 4}, {"a连", 2, 1}, {"a连", 3, 3},
      {"abc", 10, 3}, {"abc", 0, 0},  {"a\x81", 2, 2},   // a cut lead byte counts alone
  };
  for (const auto& c : cases) EXPECT_EQ(gbk::CutLength(c.text, c.maxBytes), c.expected) << c.maxBytes;
}

}  // namespace
