#include "platform/Text.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

using namespace zuvo::platform;

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

TEST(GbkCodec, ShowsBytesThatAreNotGbkAsReplacementCharacters) {
  // Captions and drawn text: one U+FFFD for each byte that starts no GBK character.
  struct Case {
    std::string gbk;
    std::u16string shown;
  };
  const Case cases[] = {
      {"A\x81", u"A\uFFFD"},                        // lead byte cut at the end
      {"\x81" "1B", u"\uFFFD1B"},                   // lead byte before a non-trail byte
      {"\xFF" "连", u"\uFFFD连"},
      {"\x80", u"\uFFFD"},
      {"\x81\x30\x81\x30", u"\uFFFD0\uFFFD0"},      // a GB18030 four-byte sequence is no GBK character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gbk);
    EXPECT_EQ(gbk::ToUtf16(c.gbk), c.shown);
  }
}

TEST(GbkCodec, EscapesBytesThatAreNotGbkInNames) {
  // Names: each such byte becomes its own private-use character, so the name maps back.
  EXPECT_EQ(gbk::ToUtf8("A\x81"), Utf8(u8"A\uF781"));
  EXPECT_EQ(gbk::ToUtf8("\x80" "连\xFF"), Utf8(u8"\uF780连\uF7FF"));
  EXPECT_EQ(gbk::ToUtf8("\x81\x30\x81\x30"), Utf8(u8"\uF7810\uF7810"));
  EXPECT_EQ(gbk::FromUtf8(Utf8(u8"\uF7810\uF7810")), "\x81\x30\x81\x30");
  // Only bytes from 0x80 up are escaped: a name from elsewhere never decodes to a separator.
  EXPECT_EQ(gbk::FromUtf8(Utf8(u8"\uF75C\uF72F")), "??");

  // Names made elsewhere: characters GBK lacks and broken UTF-8 become '?'.
  EXPECT_EQ(gbk::FromUtf8("a\xF0\x9F\x98\x80" "b"), "a?b");  // an emoji is not in GBK: one '?' for it
  EXPECT_EQ(gbk::FromUtf8("a\xC3"), "a?");                      // broken sequence
  EXPECT_EQ(gbk::FromUtf8("\xE8\xBF" "x"), "?x");
  EXPECT_EQ(gbk::FromUtf8(Utf8(u8"a\u00C0\U0001F600b")), "a??b");   // no double-byte code: one '?' each
  EXPECT_EQ(gbk::FromUtf8(Utf8(u8"\uFFFD")), "?");
  // Typed and pasted text: the same rule.
  EXPECT_EQ(gbk::FromUtf16(std::u16string{u'a', char16_t(0xD83D), char16_t(0xDE00), u'b'}), "a?b");   // one pair, one '?'
  EXPECT_EQ(gbk::FromUtf16(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a?b");
  EXPECT_EQ(gbk::FromUtf16(u"\uF781"), "?");
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
    out.push_back(' ');
  }
  return out;
}

std::size_t Characters(std::string_view gbkText) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < gbkText.size(); i += gbk::CharLength(gbkText, i)) ++count;
  return count;
}

std::size_t CodePoints(std::string_view utf8) {
  std::size_t count = 0;
  for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
  return count;
}

std::size_t CodePoints(std::u16string_view utf16) {
  std::size_t count = 0;
  for (char16_t unit : utf16) count += unit < 0xDC00 || unit > 0xDFFF;
  return count;
}

TEST(GbkCodec, EveryShortByteStringHasItsOwnNameAndCountsAsCharLengthSays) {
  // Over every 1- and 2-byte string: the name maps back to the same bytes, no two strings share
  // a name, and both directions of the codec see the characters CharLength sees.
  std::unordered_set<std::string> names;
  int wrong = 0;
  auto check = [&](const std::string& text) {
    const std::string name = gbk::ToUtf8(text);
    const std::size_t characters = Characters(text);
    if (gbk::FromUtf8(name) != text || CodePoints(name) != characters ||
        CodePoints(gbk::ToUtf16(text)) != characters || !names.insert(name).second) {
      if (++wrong <= 5) ADD_FAILURE() << Hex(text) << "-> " << Hex(name);
    }
  };
  for (int first = 0; first < 256; ++first) {
    check(std::string(1, static_cast<char>(first)));
    for (int second = 0; second < 256; ++second) check({static_cast<char>(first), static_cast<char>(second)});
  }
  EXPECT_EQ(wrong, 0);
}

TEST(GbkCodec, LongerNamesOfMixedBytesMapBack) {
  // Bytes that form characters, break them or look like separators, in random order.
  const unsigned char alphabet[] = {'a', 'Q', '0', '9', '\\', '.', 0x40, 0x7E, 0x7F, 0x80,
                                    0x81, 0xA1, 0xAA, 0xC3, 0xD7, 0xFE, 0xFF};
  std::mt19937 random(20240611);
  int wrong = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text(1 + random() % 12, '\0');
    for (char& c : text) c = static_cast<char>(alphabet[random() % sizeof alphabet]);
    if (gbk::FromUtf8(gbk::ToUtf8(text)) != text && ++wrong <= 5) ADD_FAILURE() << Hex(text);
  }
  EXPECT_EQ(wrong, 0);
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
