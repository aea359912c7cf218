#include "platform/Text.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace gbk {
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

  // Converts input, calling onInvalid(inputPointer, bytesLeft, out) at each byte sequence the
  // converter refuses; onInvalid appends a replacement and returns how many input bytes to skip.
  template <class OnInvalid>
  std::string Run(std::string_view input, OnInvalid onInvalid) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      // No converter on this system: keep ASCII, replace the rest.
      for (std::size_t i = 0; i < input.size();) i += onInvalid(input.data() + i, input.size() - i, out);
      return out;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out.reserve(input.size() * 2 + 8);
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
      std::size_t skip = onInvalid(in, inLeft, out);
      if (skip > inLeft) skip = inLeft;
      in += skip;
      inLeft -= skip;
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return out;
  }

 private:
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

// A GBK byte the decoder refused: one byte becomes U+FFFD. A lead byte followed by an ASCII
// byte loses only the lead byte, so the ASCII character survives.
std::size_t ReplaceGbkByte(const char* in, std::string& out, bool utf16) {
  unsigned char c = static_cast<unsigned char>(*in);
  if (c < 0x80) {
    // Only reached without a converter: ASCII is the same in every target.
    if (utf16) {
      char16_t unit = c;
      out.append(reinterpret_cast<const char*>(&unit), 2);
    } else {
      out.push_back(static_cast<char>(c));
    }
    return 1;
  }
  if (utf16) {
    char16_t unit = 0xFFFD;
    out.append(reinterpret_cast<const char*>(&unit), 2);
  } else {
    out.append("\xEF\xBF\xBD");
  }
  return 1;
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
  return GbkToUtf8().Run(gbkText, [](const char* in, std::size_t left, std::string& out) {
    return ReplaceGbkByte(in, out, false);
  });
}

std::string FromUtf8(std::string_view utf8Text) {
  if (IsAscii(utf8Text)) return std::string(utf8Text);
  return DropFourByteSequences(Utf8ToGbk().Run(utf8Text, [](const char* in, std::size_t left, std::string& out) {
    unsigned char c = static_cast<unsigned char>(*in);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      return std::size_t{1};
    }
    // A character GBK lacks, or a broken sequence: one '?' for the whole sequence.
    out.push_back('?');
    return Utf8SequenceLength(c, in, left);
  }));
}

std::u16string ToUtf16(std::string_view gbkText) {
  if (IsAscii(gbkText)) {
    std::u16string out(gbkText.size(), u'\0');
    for (std::size_t i = 0; i < gbkText.size(); ++i) out[i] = static_cast<unsigned char>(gbkText[i]);
    return out;
  }
  const std::string bytes = GbkToUtf16().Run(gbkText, [](const char* in, std::size_t left, std::string& out) {
    return ReplaceGbkByte(in, out, true);
  });
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
  return DropFourByteSequences(Utf16ToGbk().Run(raw, [](const char* in, std::size_t left, std::string& out) {
    if (left < 2) {
      out.push_back('?');
      return left;
    }
    char16_t unit;
    std::memcpy(&unit, in, 2);
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
      return std::size_t{2};
    }
    out.push_back('?');
    // A surrogate pair is one character: one '?' for both halves.
    if (unit >= 0xD800 && unit < 0xDC00 && left >= 4) {
      char16_t next;
      std::memcpy(&next, in + 2, 2);
      if (next >= 0xDC00 && next < 0xE000) return std::size_t{4};
    }
    return std::size_t{2};
  }));
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

}  // namespace gbk
