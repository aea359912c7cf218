#include "ServerFrames.h"

#include "LzwEncoder.h"

#include <zlib.h>

#include <cstring>

namespace zuvo::quoteserver {
namespace {

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void Put16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

// Why a client header cannot start a frame, or null when it can.
const char* HeaderFault(const FrameHeader& header) {
  if (header.magic != kFrameMagic) return "wrong magic";
  if (header.count != 1) return "frame count other than 1";
  if (header.index >= header.count) return "frame index not below the count";
  if (header.compressed != 0) return "compressed client frame";
  if (header.length > kMaxClientBody) return "body longer than a client frame";
  return nullptr;
}

}  // namespace

FrameHeader ReadHeader(const std::uint8_t* bytes) {
  FrameHeader header;
  header.magic = bytes[0];
  header.type = bytes[1];
  header.count = Get16(bytes + 2);
  header.index = Get16(bytes + 4);
  header.length = Get16(bytes + 6);
  header.compressed = bytes[8];
  header.reserved = bytes[9];
  return header;
}

void WriteHeader(const FrameHeader& header, std::uint8_t* bytes) {
  bytes[0] = header.magic;
  bytes[1] = header.type;
  Put16(bytes + 2, header.count);
  Put16(bytes + 4, header.index);
  Put16(bytes + 6, header.length);
  bytes[8] = header.compressed;
  bytes[9] = header.reserved;
}

const char* CompressionName(Compression compression) {
  switch (compression) {
    case Compression::kNone: return "none";
    case Compression::kLzw: return "lzw";
    case Compression::kZlib: return "zlib";
  }
  return "none";
}

std::uint8_t* FrameReader::Space(std::size_t wanted) {
  if (start_ > 0 && (start_ == size_ || size_ + wanted > buffer_.size())) {
    std::memmove(buffer_.data(), buffer_.data() + start_, size_ - start_);
    size_ -= start_;
    start_ = 0;
  }
  if (buffer_.size() < size_ + wanted) buffer_.resize(size_ + wanted);
  return buffer_.data() + size_;
}

void FrameReader::Append(const std::uint8_t* bytes, std::size_t size) {
  std::memcpy(Space(size), bytes, size);
  Filled(size);
}

FrameReader::Result FrameReader::Next(ClientFrame* frame, std::string* why) {
  if (broken_) {
    *why = "stream already broken";
    return Result::kBadHeader;
  }
  const std::size_t held = size_ - start_;
  if (held < kFrameHeaderSize) return Result::kNeedMore;
  const FrameHeader header = ReadHeader(buffer_.data() + start_);
  // The header is judged before its body arrives: a bad length must not make us wait for it.
  if (const char* fault = HeaderFault(header)) {
    broken_ = true;
    *why = fault;
    return Result::kBadHeader;
  }
  if (held < kFrameHeaderSize + header.length) return Result::kNeedMore;
  frame->header = header;
  frame->body = buffer_.data() + start_ + kFrameHeaderSize;
  frame->length = header.length;
  start_ += kFrameHeaderSize + header.length;
  return Result::kFrame;
}

void AppendFrame(std::vector<std::uint8_t>* out, std::uint8_t type, std::uint16_t count, std::uint16_t index,
                 const std::uint8_t* body, std::size_t length, Compression compression) {
  FrameHeader header;
  header.type = type;
  header.count = count;
  header.index = index;
  const std::size_t headerAt = out->size();
  out->resize(headerAt + kFrameHeaderSize);

  bool packed = false;
  if (compression == Compression::kLzw && length > 0) {
    packed = EncodeLzw(body, length, out) && out->size() - headerAt - kFrameHeaderSize <= kMaxFrameBody;
  } else if (compression == Compression::kZlib && length > 0) {
    uLongf size = compressBound(static_cast<uLong>(length));
    out->resize(headerAt + kFrameHeaderSize + size);
    packed = compress(out->data() + headerAt + kFrameHeaderSize, &size, body, static_cast<uLong>(length)) == Z_OK &&
             size <= kMaxFrameBody;
    out->resize(headerAt + kFrameHeaderSize + (packed ? size : 0));
  }
  if (!packed) {
    out->resize(headerAt + kFrameHeaderSize);
    out->insert(out->end(), body, body + length);
  }
  header.compressed = packed ? 1 : 0;
  header.length = static_cast<std::uint16_t>(out->size() - headerAt - kFrameHeaderSize);
  WriteHeader(header, out->data() + headerAt);
}

std::vector<std::uint8_t> ErrorBody(std::uint8_t level, std::string_view text) {
  std::vector<std::uint8_t> body(3 + text.size() + 1, 0);
  body[2] = level;
  if (!text.empty()) std::memcpy(body.data() + 3, text.data(), text.size());
  return body;
}

}  // namespace zuvo::quoteserver
