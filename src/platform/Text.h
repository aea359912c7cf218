// GBK text: conversion to and from Unicode (only the platform converts; everything else keeps
// GBK bytes) and ASCII-only case folding that never touches either byte of a double-byte
// GBK character.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zuvo::platform::gbk {

// True for a byte that starts a double-byte GBK character (0x81..0xFE).
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Bytes taken by the character that starts at text[at]: 2 for a lead byte followed by a valid
// trail byte (0x40..0xFE except 0x7F), else 1. Path splitting, name checks and the codec below
// all use this one rule, so no byte is read one way by one and another way by the other: a
// GB18030 four-byte sequence is four characters here, as it is to GBK.
constexpr std::size_t CharLength(std::string_view text, std::size_t at) {
  if (!IsLeadByte(static_cast<unsigned char>(text[at])) || at + 1 >= text.size()) return 1;
  unsigned char trail = static_cast<unsigned char>(text[at + 1]);
  return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

// Conversions. Text is read character by character as CharLength splits it: ASCII, and
// double-byte characters read as GB18030, the superset, so that every double-byte code, the
// user-defined areas included, is its own character. Every other byte (0x80, 0xFF, a lead
// byte without its trail byte) is one character of its own that GBK lacks. Never fail.
//
// UTF-8 is the form of names on disk, and maps every byte string to its own name and back:
// a byte that is no GBK character becomes the private-use character U+F700 + byte
// (U+F780..U+F7FF), which no GBK character converts to, so such a name can meet no other.
// Names of valid GBK text are their plain UTF-8 characters. FromUtf8 reads those escapes
// back and turns other characters without a double-byte code, and broken UTF-8, into '?'.
std::string ToUtf8(std::string_view gbkText);
std::string FromUtf8(std::string_view utf8Text);
// UTF-16 is the form of shown and typed text (captions, drawn text, keys, clipboard): a byte
// that is no GBK character shows as U+FFFD, and a character without a double-byte code
// becomes '?'.
std::u16string ToUtf16(std::string_view gbkText);
std::string FromUtf16(std::u16string_view utf16Text);
// Text from elsewhere (typed, pasted, dropped) taken only as it stands: its GBK form, or
// nullopt when GBK cannot hold a character exactly or the text holds a zero character (a
// zero-terminated block would end there).
std::optional<std::string> FromUtf16Exact(std::u16string_view utf16Text);

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

}  // namespace zuvo::platform::gbk
