// Character rules of the formula language.
#include "formula/FormulaLexer.h"

#include <charconv>
#include <cstring>

namespace {

constexpr int kMaxNumberLength = 31;
constexpr int kMaxPreviousWord = 62;

bool IsUpperLetter(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
bool IsWordByte(unsigned char c) { return IsUpperLetter(c) || IsDigit(c) || c == '_' || c == '.'; }

unsigned char At(const char* p) { return static_cast<unsigned char>(*p); }

}  // namespace

bool IsFormulaSpace(unsigned char c) { return (c >= 1 && c <= 32) || c == 127 || c == 255; }

bool IsDoubleByteAt(const char* text) { return IsLead(At(text)) && IsTrail(At(text + 1)); }

const char* SkipSpaceAndComments(const char* text) {
  const char* p = text;
  while (IsFormulaSpace(At(p))) ++p;
  while (*p == '{') {
    ++p;
    while (*p && *p != '}') p += IsDoubleByteAt(p) ? 2 : 1;
    if (*p == '}') ++p;
    while (IsFormulaSpace(At(p))) ++p;
  }
  return p;
}

const char* SkipSpaceAndCommentsBack(const char* position, const char* start) {
  const char* p = position;
  while (p > start) {
    if (IsFormulaSpace(At(p - 1))) {
      --p;
      continue;
    }
    if (p[-1] != '}') break;
    // A "}" ends a comment only when a "{" stands before it.
    const char* open = p - 1;
    while (open > start && open[-1] != '{') --open;
    if (open == start) break;
    p = open - 1;
  }
  return p;
}

const char* ExpectChar(const char* text, char c) {
  const char* p = SkipSpaceAndComments(text);
  return *p == c ? p : nullptr;
}

bool IsNumberText(const char* text, int length) {
  if (length < 0 || length > kMaxNumberLength) return false;
  int points = 0;
  for (int i = 0; i < length; ++i) {
    const unsigned char c = At(text + i);
    if (c == '.') {
      if (++points > 1) return false;
    } else if (!IsDigit(c)) {
      return false;
    }
  }
  return true;
}

double ParseNumberText(const char* text, int length) {
  if (!IsNumberText(text, length)) return 0.0;
  // A leading "." reads with a 0 before it; "" and "." read as 0.
  char digits[kMaxNumberLength + 2] = {'0'};
  std::memcpy(digits + 1, text, static_cast<std::size_t>(length));
  double value = 0.0;
  std::from_chars(digits, digits + length + 1, value);
  return value;
}

int PreviousWord(const char* position, const char* start, char* out) {
  if (position < start) {
    out[0] = 0;
    return 0;
  }
  // Offsets from start, so that the scan never forms a pointer before the text.
  const long last = position - start;
  auto doubleByteEndingAt = [&](long at) { return at > 0 && IsLead(At(start + at - 1)) && IsTrail(At(start + at)); };
  long first = last;
  if (doubleByteEndingAt(last) || IsWordByte(At(position))) {
    long at = last;
    while (at >= 0) {
      if (doubleByteEndingAt(at)) {
        if (last - (at - 1) + 1 > kMaxPreviousWord) break;
        first = at - 1;
        at -= 2;
      } else if (IsWordByte(At(start + at))) {
        if (last - at + 1 > kMaxPreviousWord) break;
        first = at;
        --at;
      } else {
        break;
      }
    }
  }
  const int length = static_cast<int>(last - first + 1);
  std::memcpy(out, start + first, static_cast<std::size_t>(length));
  out[length] = 0;
  return length;
}

int ScanName(const char* text) {
  const char* p = text;
  if (IsUpperLetter(At(p)) || *p == '_') {
    ++p;
  } else if (IsDoubleByteAt(p)) {
    p += 2;
  } else {
    return 0;
  }
  for (;;) {
    if (IsUpperLetter(At(p)) || IsDigit(At(p)) || *p == '_') {
      ++p;
    } else if (IsDoubleByteAt(p)) {
      p += 2;
    } else {
      break;
    }
  }
  return static_cast<int>(p - text);
}
