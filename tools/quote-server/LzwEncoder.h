// The encoder of the compressed frame bodies: LZW streams tagged "WMC15", the only compressed
// format of the request connection. The quote server compresses its replies with it, and the
// decoder's tests use it to build streams. One encoder for the whole project.
//
// Stream: the magic, then codes packed most significant bit first, 9 bits wide at the start.
// 0-255 literals, 256 end, 257 widens the following codes by one bit, 258 resets the dictionary
// (width 9, next free code 259, the code after it is a literal), 259 up dictionary strings.
// A decoder adds an entry after every code except the first after the start or a 258; the
// encoder stays one entry ahead of it, emits 257 before a code that would not fit the width,
// resets once the dictionary reaches 4096 entries and ends every stream with 256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zuvo::quoteserver {

// The decoder refuses to read another code once it holds more than its 16384-byte output less
// five bytes, so a stream may carry at most this many bytes.
constexpr std::size_t kMaxLzwInput = 16379;

// Appends the stream of `size` bytes at `data` to *out and returns true. An input longer than
// kMaxLzwInput appends nothing and returns false. An empty input gives the magic and the end code.
bool EncodeLzw(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out);

// The same stream without the length limit: only for the fault switch that sends streams a
// decoder must refuse for their decoded size.
void EncodeLzwUnlimited(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out);

}  // namespace zuvo::quoteserver
