#include "net/Base64.h"

#include <cstdint>
#include <cstring>

namespace zuvo::net {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

char* Base64Encode(const char* text, char* output) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
  const std::size_t length = std::strlen(text);
  char* out = output;
  std::size_t at = 0;
  for (; at + 3 <= length; at += 3) {
    const std::uint32_t group = std::uint32_t{bytes[at]} << 16 | std::uint32_t{bytes[at + 1]} << 8 | bytes[at + 2];
    *out++ = kAlphabet[group >> 18 & 63];
    *out++ = kAlphabet[group >> 12 & 63];
    *out++ = kAlphabet[group >> 6 & 63];
    *out++ = kAlphabet[group & 63];
  }
  // One or two bytes left: the last group is padded with '='.
  if (at < length) {
    const bool two = at + 2 == length;
    const std::uint32_t group = std::uint32_t{bytes[at]} << 16 | (two ? std::uint32_t{bytes[at + 1]} << 8 : 0);
    *out++ = kAlphabet[group >> 18 & 63];
    *out++ = kAlphabet[group >> 12 & 63];
    *out++ = two ? kAlphabet[group >> 6 & 63] : '=';
    *out++ = '=';
  }
  *out = '\0';
  return output;
}

}  // namespace zuvo::net
