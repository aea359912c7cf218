// Encoding and checking the message channel's frames (see ChannelFrame.h).
#include "platform/ChannelFrame.h"

#include <algorithm>

namespace zuvo::platform::channel {
namespace {

void Put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t Get(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

bool KnownKind(std::uint8_t kind) { return kind >= 1 && kind <= 4; }

}  // namespace

std::string EncodeFrame(const Frame& frame) {
  if (frame.CarriesCopyData() && frame.copyData.size() > kMaxCopyData) return {};
  std::string out;
  const std::size_t body = kFixedBody + (frame.CarriesCopyData() ? kCopyDataHeader + frame.copyData.size() : 0);
  out.reserve(kLengthPrefix + body);
  Put(out, body, 4);
  Put(out, static_cast<std::uint8_t>(frame.kind), 1);
  Put(out, frame.flags, 1);
  Put(out, 0, 2);
  Put(out, frame.senderProcessId, 4);
  Put(out, frame.sequence, 4);
  Put(out, frame.target, 8);
  Put(out, frame.message, 4);
  Put(out, frame.wParam, 8);
  Put(out, frame.lParam, 8);
  if (frame.CarriesCopyData()) {
    Put(out, frame.copyDataWord, 8);
    Put(out, frame.copyData.size(), 4);
    out += frame.copyData;
  }
  return out;
}

std::optional<Frame> DecodeFrameBody(const std::uint8_t* body, std::size_t size) {
  // Short: not even the fixed part is there.
  if (body == nullptr || size < kFixedBody) return std::nullopt;
  if (!KnownKind(body[0])) return std::nullopt;
  Frame frame;
  frame.kind = static_cast<FrameKind>(body[0]);
  frame.flags = body[1];
  // Unknown flags or a set zero field: a sender of another layout, whose fields we would misread.
  if ((frame.flags & ~(kWParamIsWindow | kLParamIsWindow)) != 0) return std::nullopt;
  if (Get(body + 2, 2) != 0) return std::nullopt;
  frame.senderProcessId = static_cast<std::uint32_t>(Get(body + 4, 4));
  frame.sequence = static_cast<std::uint32_t>(Get(body + 8, 4));
  frame.target = Get(body + 12, 8);
  frame.message = static_cast<std::uint32_t>(Get(body + 20, 4));
  frame.wParam = Get(body + 24, 8);
  frame.lParam = Get(body + 32, 8);
  // WM_COPYDATA's block lives only as long as the sender waits: it can never be posted.
  if (frame.kind == FrameKind::kPost && frame.message == WM_COPYDATA) return std::nullopt;
  if (!frame.CarriesCopyData()) {
    // Anything after the fixed part is not ours to guess at.
    if (size != kFixedBody) return std::nullopt;
    return frame;
  }
  if (size < kFixedBody + kCopyDataHeader) return std::nullopt;
  frame.copyDataWord = Get(body + 40, 8);
  const std::uint64_t count = Get(body + 48, 4);
  if (count > kMaxCopyData) return std::nullopt;
  // The block's length must match the bytes the frame holds: beyond it would read past the
  // frame, short of it leaves bytes we cannot account for.
  if (count != size - kFixedBody - kCopyDataHeader) return std::nullopt;
  frame.copyData.assign(reinterpret_cast<const char*>(body + kFixedBody + kCopyDataHeader), count);
  return frame;
}

void FrameReader::Feed(const std::uint8_t* data, std::size_t size, const Sink& sink) {
  std::size_t at = 0;
  while (at < size) {
    if (skipLeft_ > 0) {
      const std::size_t skip = static_cast<std::size_t>(std::min<std::uint64_t>(skipLeft_, size - at));
      skipLeft_ -= skip;
      at += skip;
      continue;
    }
    if (buffer_.size() < kLengthPrefix) {
      const std::size_t take = std::min(kLengthPrefix - buffer_.size(), size - at);
      buffer_.append(reinterpret_cast<const char*>(data + at), take);
      at += take;
      if (buffer_.size() < kLengthPrefix) break;
      const std::uint64_t length = Get(reinterpret_cast<const std::uint8_t*>(buffer_.data()), 4);
      if (length > kMaxBody) {
        // No valid frame is this long: skip it as it streams past rather than hold it.
        ++dropped_;
        skipLeft_ = length;
        buffer_.clear();
      }
      continue;
    }
    const std::uint64_t length = Get(reinterpret_cast<const std::uint8_t*>(buffer_.data()), 4);
    const std::size_t want = kLengthPrefix + static_cast<std::size_t>(length) - buffer_.size();
    const std::size_t take = std::min(want, size - at);
    buffer_.append(reinterpret_cast<const char*>(data + at), take);
    at += take;
    if (take < want) break;
    auto frame = DecodeFrameBody(reinterpret_cast<const std::uint8_t*>(buffer_.data()) + kLengthPrefix,
                                 buffer_.size() - kLengthPrefix);
    buffer_.clear();
    if (frame) {
      sink(*frame);
    } else {
      ++dropped_;
    }
  }
  // A zero-length body completes as soon as its prefix is in.
  if (skipLeft_ == 0 && buffer_.size() == kLengthPrefix &&
      Get(reinterpret_cast<const std::uint8_t*>(buffer_.data()), 4) == 0) {
    buffer_.clear();
    ++dropped_;
  }
}

}  // namespace zuvo::platform::channel
