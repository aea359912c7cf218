// Fuzz target "gbk": the GBK codec both ways and the GBK text helpers.
// Input: any bytes, read as GBK text; the same bytes are also read as UTF-8 and UTF-16 text.
// Property: ToUtf8 gives valid UTF-8 that FromUtf8 turns back into the very same bytes (every
// byte string has its own name on disk); the codec reads characters exactly as CharLength
// splits them (converting character by character gives the same text); ToUtf16 agrees with
// ToUtf8 (a byte that is no GBK character shows as U+FFFD) and valid GBK text comes back from
// FromUtf16 unchanged; Unicode text converted to GBK and back to Unicode converts to GBK the
// same again; case folding keeps lengths and double-byte characters, and comparing without
// regard to case agrees with folding; CutLength never passes its limit nor falls more than
// one byte short of it.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Text.h"

#include <cstring>
#include <string>
#include <string_view>

using namespace zuvo::platform;

namespace {

constexpr std::size_t kMaxText = 64 * 1024;
constexpr char16_t kReplacement = 0xFFFD;
constexpr char32_t kFirstEscape = 0xF780;
constexpr char32_t kLastEscape = 0xF7FF;

// Decodes strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF) into UTF-16
// units, escapes of stray bytes shown as U+FFFD; false when the text is not such UTF-8.
bool DecodeUtf8(std::string_view text, std::u16string& units) {
  units.clear();
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t code = 0;
    std::size_t length = 0;
    char32_t least = 0;
    if (c < 0x80) {
      code = c;
      length = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      code = c & 0x1F;
      length = 2;
      least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      code = c & 0x0F;
      length = 3;
      least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      code = c & 0x07;
      length = 4;
      least = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    if (code >= kFirstEscape && code <= kLastEscape) {
      units.push_back(kReplacement);
    } else if (code >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return true;
}

// True when every non-ASCII byte belongs to a double-byte character.
bool IsValidGbk(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t width = gbk::CharLength(text, i);
    if (width == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
    i += width;
  }
  return true;
}

void CheckCodec(std::string_view text) {
  const std::string utf8 = gbk::ToUtf8(text);
  std::u16string decoded;
  FUZZ_CHECK(DecodeUtf8(utf8, decoded), "ToUtf8 gives valid UTF-8");
  FUZZ_CHECK(gbk::FromUtf8(utf8) == text, "every byte string comes back from its UTF-8 name");

  std::string byCharacter;
  std::u16string byCharacter16;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t width = gbk::CharLength(text, i);
    byCharacter += gbk::ToUtf8(text.substr(i, width));
    byCharacter16 += gbk::ToUtf16(text.substr(i, width));
    i += width;
  }
  FUZZ_CHECK(byCharacter == utf8, "ToUtf8 reads characters as CharLength splits them");

  const std::u16string utf16 = gbk::ToUtf16(text);
  FUZZ_CHECK(utf16 == decoded, "ToUtf16 shows what ToUtf8 names, stray bytes as U+FFFD");
  FUZZ_CHECK(byCharacter16 == utf16, "ToUtf16 reads characters as CharLength splits them");
  if (IsValidGbk(text)) FUZZ_CHECK(gbk::FromUtf16(utf16) == text, "valid GBK text comes back from UTF-16 unchanged");
}

void CheckUnicodeSide(std::string_view bytes) {
  // The bytes as UTF-8: whatever GBK they give converts to Unicode and back to the same GBK.
  const std::string fromUtf8 = gbk::FromUtf8(bytes);
  FUZZ_CHECK(gbk::FromUtf8(gbk::ToUtf8(fromUtf8)) == fromUtf8, "GBK made from UTF-8 survives a round trip");
  // The bytes as UTF-16 units (an odd last byte left out).
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  const std::string fromUtf16 = gbk::FromUtf16(units);
  FUZZ_CHECK(IsValidGbk(fromUtf16), "FromUtf16 writes only ASCII and double-byte characters");
  FUZZ_CHECK(gbk::FromUtf16(gbk::ToUtf16(fromUtf16)) == fromUtf16, "GBK made from UTF-16 survives a round trip");
}

void CheckFolding(std::string_view text) {
  const std::string upper = gbk::Upper(text);
  const std::string lower = gbk::Lower(text);
  FUZZ_CHECK(upper.size() == text.size() && lower.size() == text.size(), "case folding keeps the length");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (gbk::IsLeadByte(c) && i + 1 < text.size()) {
      FUZZ_CHECK(upper.compare(i, 2, text, i, 2) == 0 && lower.compare(i, 2, text, i, 2) == 0,
                 "case folding leaves both bytes of a double-byte character alone");
      ++i;
      continue;
    }
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    FUZZ_CHECK(letter || (upper[i] == text[i] && lower[i] == text[i]), "case folding changes only ASCII letters");
  }
  FUZZ_CHECK(gbk::Upper(lower) == upper && gbk::Lower(upper) == lower, "folding one way then the other agrees");
  FUZZ_CHECK(gbk::EqualsNoCase(upper, lower) && gbk::EqualsNoCase(text, upper), "a text equals its folded forms");

  std::string inPlace(text.data(), strnlen(text.data(), text.size()));
  const std::string expected = gbk::Upper(inPlace);
  gbk::UpperInPlace(inPlace.data());
  FUZZ_CHECK(inPlace == expected, "folding in place folds as a copy does");

  const std::size_t half = text.size() / 2;
  const std::string_view a = text.substr(0, half);
  const std::string_view b = text.substr(half);
  const int ab = gbk::CompareNoCase(a, b);
  const int ba = gbk::CompareNoCase(b, a);
  FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0), "comparing without regard to case is antisymmetric");
  FUZZ_CHECK(gbk::CompareNoCase(gbk::Upper(a), gbk::Lower(b)) == ab, "comparing ignores the case of ASCII letters");

  const std::size_t limit = text.empty() ? 0 : static_cast<unsigned char>(text[0]) % (text.size() + 2);
  const std::size_t cut = gbk::CutLength(text, limit);
  FUZZ_CHECK(cut <= limit && cut <= text.size(), "a cut never passes its limit");
  FUZZ_CHECK(cut + 1 >= std::min(limit, text.size()), "a cut falls at most one byte short of its limit");
}

}  // namespace

int FuzzGbkCodec(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size < kMaxText ? size : kMaxText);
  CheckCodec(text);
  CheckUnicodeSide(text);
  CheckFolding(text);
  return 0;
}
