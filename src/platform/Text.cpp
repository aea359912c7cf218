#include "platform/Text.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace zuvo::platform::gbk {
namespace {

// The GBK side is converted as GB18030, the superset the compiler writes our literals in: it
// gives every double-byte code its own character (glibc's GBK refuses about two thousand, the
// user-defined areas among them, so two such names would fold to one file on disk). Plain GBK
// serves where a system lacks it.
constexpr const char* kGbkNames[] = {"GB18030", "GBK"};

iconv_t OpenConverter(const char* unicodeName, bool toGbk) {
  for (const char* gbkName : kGbkNames) {
    iconv_t cd = toGbk ? iconv_open(gbkName, unicodeName) : iconv_open(unicodeName, gbkName);
    if (cd != reinterpret_cast<iconv_t>(-1)) return cd;
  }
  return reinterpret_cast<iconv_t>(-1);
}

// One converter per direction and thread: iconv_open is far dearer than a conversion, and an
// iconv_t must not be shared between threads.
class Converter {
 public:
  Converter(const char* unicodeName, bool toGbk) : cd_(OpenConverter(unicodeName, toGbk)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts input onto the end of out, calling onInvalid(inputPointer, bytesLeft, out) at each
  // byte sequence the converter refuses; onInvalid appends a replacement and returns how many
  // input bytes to skip (at least one).
  template <class OnInvalid>
  void Run(std::string_view input, std::string& out, OnInvalid onInvalid) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      // No converter on this system: every character goes to onInvalid.
      for (std::size_t i = 0; i < input.size();) i += Skip(onInvalid(input.data() + i, input.size() - i, out), input.size() - i);
      return;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t result = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (result != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut at the end): replace and move on.
      std::size_t skip = Skip(onInvalid(in, inLeft, out), inLeft);
      in += skip;
      inLeft -= skip;
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
  }

 private:
  static std::size_t Skip(std::size_t wanted, std::size_t left) { return wanted == 0 ? 1 : wanted > left ? left : wanted; }

  iconv_t cd_;
};

const char* Utf16Name() { return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE"; }

Converter& GbkToUtf8() {
  thread_local Converter converter("UTF-8", false);
  return converter;
}
Converter& Utf8ToGbk() {
  thread_local Converter converter("UTF-8", true);
  return converter;
}
Converter& GbkToUtf16() {
  thread_local Converter converter(Utf16Name(), false);
  return converter;
}
Converter& Utf16ToGbk() {
  thread_local Converter converter(Utf16Name(), true);
  return converter;
}

// The encoder writes characters outside the double-byte set as four-byte sequences (lead
// byte, digit, lead byte, digit), which the rest of the program would read as broken
// characters: each becomes one '?', as a character GBK lacks.
std::string DropFourByteSequences(std::string text) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (IsLeadByte(c) && next >= 0x30 && next <= 0x39 && i + 3 < text.size()) {
      text[out++] = '?';
      i += 4;
      continue;
    }
    std::size_t width = IsLeadByte(c) && i + 1 < text.size() ? 2 : 1;
    for (std::size_t k = 0; k < width; ++k) text[out++] = text[i + k];
    i += width;
  }
  text.resize(out);
  return text;
}

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

// Calls run(part) for each longest stretch of ASCII and double-byte characters, which a
// converter may take whole, and stray(byte) for each other byte, in order. The converter never
// sees a byte that CharLength does not pair, so it cannot read a GB18030 four-byte sequence as
// one character where the rest of the program sees four.
template <class Run, class Stray>
void SplitAtStrayBytes(std::string_view text, Run run, Stray stray) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t width = CharLength(text, i);
    if (width == 2 || c < 0x80) {
      i += width;
      continue;
    }
    if (i > start) run(text.substr(start, i - start));
    stray(c);
    start = ++i;
  }
  if (start < text.size()) run(text.substr(start));
}

// A byte that is no GBK character, in a name: U+F700 + byte, three UTF-8 bytes EF 9E|9F xx.
constexpr char32_t kEscapeBase = 0xF700;

void AppendEscape(std::string& out, unsigned char byte) {
  char32_t code = kEscapeBase + byte;
  out.push_back(static_cast<char>(0xE0 | (code >> 12)));
  out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
}

// True when utf8[at] starts an escaped byte (0x80..0xFF: only those are ever written, so a name
// from elsewhere cannot bring in a separator or other ASCII this way).
bool IsEscape(std::string_view utf8, std::size_t at) {
  if (at + 2 >= utf8.size() || static_cast<unsigned char>(utf8[at]) != 0xEF) return false;
  unsigned char second = static_cast<unsigned char>(utf8[at + 1]);
  unsigned char third = static_cast<unsigned char>(utf8[at + 2]);
  return (second == 0x9E || second == 0x9F) && (third & 0xC0) == 0x80;
}

char EscapedByte(std::string_view utf8, std::size_t at) {
  char32_t code = 0xF000 | ((static_cast<unsigned char>(utf8[at + 1]) & 0x3Fu) << 6) |
                  (static_cast<unsigned char>(utf8[at + 2]) & 0x3Fu);
  return static_cast<char>(code - kEscapeBase);
}

void AppendUnit(std::string& out, char16_t unit) { out.append(reinterpret_cast<const char*>(&unit), 2); }

// A character the converter refused inside a stretch that SplitAtStrayBytes passed it: a
// double-byte code (refused only where GB18030 is missing), or ASCII when there is no
// converter at all. In a name each byte of a refused code is kept, escaped when not ASCII.
std::size_t EscapeRefused(const char* in, std::size_t left, std::string& out) {
  unsigned char c = static_cast<unsigned char>(in[0]);
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return 1;
  }
  AppendEscape(out, c);
  if (left < 2) return 1;
  unsigned char trail = static_cast<unsigned char>(in[1]);
  if (trail < 0x80)
    out.push_back(static_cast<char>(trail));
  else
    AppendEscape(out, trail);
  return 2;
}

// The same for shown text: one U+FFFD for the whole code.
std::size_t ShowRefused(const char* in, std::size_t left, std::string& out) {
  unsigned char c = static_cast<unsigned char>(in[0]);
  if (c < 0x80) {
    AppendUnit(out, c);
    return 1;
  }
  AppendUnit(out, 0xFFFD);
  return left < 2 ? left : 2;
}

// Bytes of the UTF-8 sequence that starts with this byte, up to its first bad byte: a
// character GBK lacks, or a cut sequence, becomes one replacement (a stray byte alone).
std::size_t Utf8SequenceLength(unsigned char c, const char* in, std::size_t left) {
  std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
  std::size_t taken = 1;
  while (taken < length && taken < left && (static_cast<unsigned char>(in[taken]) & 0xC0) == 0x80) ++taken;
  return taken;
}

char FoldUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char FoldLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

template <char (*Fold)(char)>
void FoldInPlace(char* text) {
  if (!text) return;
  for (char* p = text; *p; ++p) {
    if (IsLeadByte(static_cast<unsigned char>(*p))) {
      if (p[1] == '\0') break;
      ++p;   // the trail byte may look like an ASCII letter ("漲" ends in 'q'): leave it
      continue;
    }
    *p = Fold(*p);
  }
}

template <char (*Fold)(char)>
std::string FoldCopy(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(out[i]))) {
      ++i;
      continue;
    }
    out[i] = Fold(out[i]);
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::string_view gbkText) {
  if (IsAscii(gbkText)) return std::string(gbkText);
  std::string out;
  out.reserve(gbkText.size() * 2 + 8);
  Converter& converter = GbkToUtf8();
  SplitAtStrayBytes(
      gbkText, [&](std::string_view part) { converter.Run(part, out, EscapeRefused); },
      [&](unsigned char byte) { AppendEscape(out, byte); });
  return out;
}

std::string FromUtf8(std::string_view utf8Text) {
  if (IsAscii(utf8Text)) return std::string(utf8Text);
  std::string out;
  out.reserve(utf8Text.size());
  Converter& converter = Utf8ToGbk();
  auto convert = [&](std::string_view part) {
    std::string gbkPart;
    converter.Run(part, gbkPart, [](const char* in, std::size_t left, std::string& partOut) {
      unsigned char c = static_cast<unsigned char>(*in);
      if (c < 0x80) {
        partOut.push_back(static_cast<char>(c));
        return std::size_t{1};
      }
      // A character GBK lacks, or a broken sequence: one '?' for the whole sequence.
      partOut.push_back('?');
      return Utf8SequenceLength(c, in, left);
    });
    out.append(DropFourByteSequences(std::move(gbkPart)));
  };
  std::size_t start = 0;
  for (std::size_t i = 0; i < utf8Text.size();) {
    if (!IsEscape(utf8Text, i)) {
      ++i;
      continue;
    }
    if (i > start) convert(utf8Text.substr(start, i - start));
    out.push_back(EscapedByte(utf8Text, i));
    i += 3;
    start = i;
  }
  if (start < utf8Text.size()) convert(utf8Text.substr(start));
  return out;
}

std::u16string ToUtf16(std::string_view gbkText) {
  if (IsAscii(gbkText)) {
    std::u16string out(gbkText.size(), u'\0');
    for (std::size_t i = 0; i < gbkText.size(); ++i) out[i] = static_cast<unsigned char>(gbkText[i]);
    return out;
  }
  std::string bytes;
  bytes.reserve(gbkText.size() * 2 + 8);
  Converter& converter = GbkToUtf16();
  SplitAtStrayBytes(
      gbkText, [&](std::string_view part) { converter.Run(part, bytes, ShowRefused); },
      [&](unsigned char) { AppendUnit(bytes, 0xFFFD); });
  std::u16string out(bytes.size() / 2, u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string FromUtf16(std::u16string_view utf16Text) {
  bool ascii = true;
  for (char16_t unit : utf16Text)
    if (unit >= 0x80) ascii = false;
  if (ascii) {
    std::string out(utf16Text.size(), '\0');
    for (std::size_t i = 0; i < utf16Text.size(); ++i) out[i] = static_cast<char>(utf16Text[i]);
    return out;
  }
  std::string_view raw(reinterpret_cast<const char*>(utf16Text.data()), utf16Text.size() * 2);
  std::string out;
  Utf16ToGbk().Run(raw, out, [](const char* in, std::size_t left, std::string& partOut) {
    if (left < 2) {
      partOut.push_back('?');
      return left;
    }
    char16_t unit;
    std::memcpy(&unit, in, 2);
    if (unit < 0x80) {
      partOut.push_back(static_cast<char>(unit));
      return std::size_t{2};
    }
    partOut.push_back('?');
    // A surrogate pair is one character: one '?' for both halves.
    if (unit >= 0xD800 && unit < 0xDC00 && left >= 4) {
      char16_t next;
      std::memcpy(&next, in + 2, 2);
      if (next >= 0xDC00 && next < 0xE000) return std::size_t{4};
    }
    return std::size_t{2};
  });
  return DropFourByteSequences(std::move(out));
}

std::optional<std::string> FromUtf16Exact(std::u16string_view utf16Text) {
  if (utf16Text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  std::string bytes = FromUtf16(utf16Text);
  if (ToUtf16(bytes) != utf16Text) return std::nullopt;
  return bytes;
}

void UpperInPlace(char* text) { FoldInPlace<FoldUpper>(text); }
void LowerInPlace(char* text) { FoldInPlace<FoldLower>(text); }
std::string Upper(std::string_view text) { return FoldCopy<FoldUpper>(text); }
std::string Lower(std::string_view text) { return FoldCopy<FoldLower>(text); }

int CompareNoCase(std::string_view a, std::string_view b) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  bool inDoubleByte = false;   // the previous byte of both texts was the same lead byte
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (inDoubleByte) {
      inDoubleByte = false;
    } else if (IsLeadByte(ca)) {
      inDoubleByte = true;
    } else {
      ca = static_cast<unsigned char>(FoldLower(static_cast<char>(ca)));
      cb = static_cast<unsigned char>(FoldLower(static_cast<char>(cb)));
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t CutLength(std::string_view text, std::size_t maxBytes) {
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t width = IsLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size() ? 2 : 1;
    if (end + width > maxBytes) break;
    end += width;
  }
  return end;
}

}  // namespace zuvo::platform::gbk
