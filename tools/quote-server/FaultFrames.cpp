#include "FaultFrames.h"

#include "LzwEncoder.h"

#include <zlib.h>

#include <algorithm>

namespace zuvo::quoteserver {
namespace {

constexpr std::uint8_t kUnknownType = 250;
constexpr std::uint8_t kBadMagic = 'X';
constexpr std::uint16_t kTooLong = 8193;
// Decoded sizes past what receivers hold: LZW output 16384 less 5, zlib output 16384.
constexpr std::size_t kLzwOversize = 16384 + 256;
constexpr std::size_t kZlibOversize = 16384 + 256;

// LZW codes of any width up to 56 bits, most significant bit first, after the magic.
class CodeWriter {
 public:
  explicit CodeWriter(std::vector<std::uint8_t>* out) : out_(out) {
    for (char c : {'W', 'M', 'C', '1', '5'}) out_->push_back(static_cast<std::uint8_t>(c));
  }
  void Put(std::uint64_t code, int width) {
    for (int bit = width - 1; bit >= 0; --bit) {
      byte_ = static_cast<std::uint8_t>((byte_ << 1) | ((code >> bit) & 1u));
      if (++count_ == 8) {
        out_->push_back(byte_);
        byte_ = 0;
        count_ = 0;
      }
    }
  }
  void Flush() {
    if (count_ > 0) out_->push_back(static_cast<std::uint8_t>(byte_ << (8 - count_)));
    count_ = 0;
  }

 private:
  std::vector<std::uint8_t>* out_;
  std::uint8_t byte_ = 0;
  int count_ = 0;
};

constexpr std::uint64_t kEnd = 256;
constexpr std::uint64_t kWiden = 257;

}  // namespace

std::vector<std::uint8_t> SpoiledBody(Fault fault, const std::uint8_t* body, std::size_t length) {
  std::vector<std::uint8_t> out;
  const std::uint8_t first = length > 0 ? body[0] : 0;
  switch (fault) {
    case Fault::kLzwTruncated: {
      // A whole stream cut in the middle: no end code, the last code broken.
      EncodeLzwUnlimited(body, length, &out);
      out.resize(std::max<std::size_t>(6, out.size() / 2));
      break;
    }
    case Fault::kLzwCodeAhead: {
      // After the first literal the next free code is 259: 300 is not defined yet.
      CodeWriter writer(&out);
      writer.Put(first, 9);
      writer.Put(300, 9);
      writer.Put(kEnd, 9);
      writer.Flush();
      break;
    }
    case Fault::kLzwWidenForever: {
      // Widens from 9 bits to 40 and never sends another code.
      CodeWriter writer(&out);
      writer.Put(first, 9);
      for (int width = 9; width < 40; ++width) writer.Put(kWiden, width);
      writer.Flush();
      break;
    }
    case Fault::kLzwDictOverflow: {
      // Literals without a reset until the dictionary passes 4096 entries (a 12-bit decoder's
      // whole table), then, at 16 bits, a code beyond any dictionary.
      CodeWriter writer(&out);
      const std::size_t literals = 4096 - 259 + 200;
      for (std::size_t i = 0; i < literals; ++i) writer.Put(length > 0 ? body[i % length] : 0, 9);
      for (int width = 9; width < 16; ++width) writer.Put(kWiden, width);
      writer.Put(65535, 16);
      writer.Put(kEnd, 16);
      writer.Flush();
      break;
    }
    case Fault::kLzwOversize: {
      // The body's start, then zeros: small when compressed, too large when decoded.
      std::vector<std::uint8_t> big(body, body + std::min<std::size_t>(length, 256));
      big.resize(kLzwOversize, 0);
      EncodeLzwUnlimited(big.data(), big.size(), &out);
      break;
    }
    case Fault::kZlibGarbage: {
      // Neither a "WMC15" stream nor a zlib header.
      static const char kGarbage[] = "GARBAGE-NOT-A-STREAM";
      for (char c : kGarbage) out.push_back(c == '\0' ? 0xFF : static_cast<std::uint8_t>(c));
      while (out.size() < 32) out.push_back(0xFF);
      break;
    }
    case Fault::kZlibOversize: {
      std::vector<std::uint8_t> big(body, body + std::min<std::size_t>(length, 256));
      big.resize(kZlibOversize, 0);
      uLongf size = compressBound(static_cast<uLong>(big.size()));
      out.resize(size);
      if (compress(out.data(), &size, big.data(), static_cast<uLong>(big.size())) != Z_OK) size = 0;
      out.resize(size);
      break;
    }
    default: out.assign(body, body + length); break;
  }
  return out;
}

void AppendFaultyFrame(std::vector<std::uint8_t>* out, std::uint8_t type, std::uint16_t count, std::uint16_t index,
                       const std::uint8_t* body, std::size_t length, Compression compression,
                       const FrameFaults& faults) {
  const std::size_t at = out->size();
  if (faults.body != Fault::kCount) {
    const std::vector<std::uint8_t> spoiled = SpoiledBody(faults.body, body, length);
    FrameHeader header;
    header.type = type;
    header.count = count;
    header.index = index;
    header.length = static_cast<std::uint16_t>(std::min(spoiled.size(), kMaxFrameBody));
    header.compressed = 1;
    out->resize(at + kFrameHeaderSize);
    WriteHeader(header, out->data() + at);
    out->insert(out->end(), spoiled.begin(), spoiled.begin() + header.length);
  } else if (faults.flagOnPlain) {
    AppendFrame(out, type, count, index, body, length, Compression::kNone);
    (*out)[at + 8] = 1;
  } else {
    AppendFrame(out, type, count, index, body, length, compression);
  }
  // The header as the other switches spoil it.
  FrameHeader header = ReadHeader(out->data() + at);
  if (faults.unknownType) header.type = kUnknownType;
  if (faults.badMagic) header.magic = kBadMagic;
  if (faults.hashRequest || faults.slowNet) header.magic = kSlowNetworkMagic;
  if (faults.len8193) header.length = kTooLong;
  if (faults.countZero) {
    header.count = 0;
    header.index = 0;
  }
  if (faults.indexEqCount) header.index = header.count;
  WriteHeader(header, out->data() + at);
}

}  // namespace zuvo::quoteserver
