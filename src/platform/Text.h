// GBK text: conversion to and from Unicode (only the platform converts; everything else keeps
// GBK bytes) and ASCII-only case folding that never touches either byte of a double-byte
// GBK character.
#pragma once

#include <string>
#include <string_view>

namespace gbk {

// True for a byte that starts a double-byte GBK character (0x81..0xFE).
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Bytes taken by the character that starts at text[at]: 2 for a lead byte followed by a valid
// trail byte (0x40..0xFE except 0x7F), else 1. Path splitting and name checks use this one
// rule, the decoder's, so no byte is read one way by one and another way by the other.
constexpr std::size_t CharLength(std::string_view text, std::size_t at) {
  if (!IsLeadByte(static_cast<unsigned char>(text[at])) || at + 1 >= text.size()) return 1;
  unsigned char trail = static_cast<unsigned char>(text[at + 1]);
  return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

// Conversions. GBK is read as GB18030, its superset: every double-byte code, the user-defined
// areas included, is its own character, so any double-byte name converts to Unicode and back
// unchanged. Invalid input bytes become U+FFFD (to Unicode); a character without a double-byte
// code becomes '?' (to GBK). Never fail.
std::string ToUtf8(std::string_view gbkText);
std::string FromUtf8(std::string_view utf8Text);
std::u16string ToUtf16(std::string_view gbkText);
std::string FromUtf16(std::u16string_view utf16Text);

// In-place ASCII case folding of a zero-terminated text, skipping both bytes of every
// double-byte character. A null pointer is ignored.
void UpperInPlace(char* text);
void LowerInPlace(char* text);
std::string Upper(std::string_view text);
std::string Lower(std::string_view text);

// Comparison with ASCII-only case folding (GBK bytes compare as they stand): <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);
inline bool EqualsNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

// Length of the longest prefix of text that is at most maxBytes long and does not end inside a
// double-byte character: used to cut GBK text into fixed fields.
std::size_t CutLength(std::string_view text, std::size_t maxBytes);

}  // namespace gbk
