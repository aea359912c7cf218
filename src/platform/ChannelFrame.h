// The frames of the message channel between our programs (platform/MessageChannel.h): how a
// posted or sent window message, the answer to a sent one, and a window's end travel over a
// local stream socket. Shared by the channel, the client library of the stand-in programs in
// tools/ and the fuzz target, so both ends encode and check frames alike.
//
// A frame is a 32-bit little-endian body length followed by the body:
//   u8 kind, u8 flags, u16 zero, u32 sender process id, u32 sequence, u64 target window,
//   u32 message, u64 wParam, u64 lParam          (40 bytes, all little-endian)
//   a sent WM_COPYDATA adds: u64 data word, u32 byte count, the bytes (at most 64 KB).
// The target is always a window of the receiver, as the receiver numbers it. A flag marks a
// parameter that holds one of the sender's own windows (as the sender numbers it), which the
// receiver turns into a handle of its own. An answer carries the sent frame's sequence and the
// LRESULT in lParam.
//
// Frames come from other processes and are untrusted: the decoder refuses anything but the
// exact layout above, and the reader skips a frame whose length is beyond any valid frame
// without losing its place in the stream, so one bad frame never costs the connection.
#pragma once

#include "platform/WinUser.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zuvo::platform::channel {

enum class FrameKind : std::uint8_t {
  kPost = 1,         // joins the receiver's queue
  kSend = 2,         // the sender waits for a kAnswer with the same sequence
  kAnswer = 3,       // lParam holds the LRESULT
  kWindowGone = 4,   // target: a window of the *sender* that was destroyed
};

constexpr std::uint8_t kWParamIsWindow = 0x01;
constexpr std::uint8_t kLParamIsWindow = 0x02;

constexpr std::size_t kLengthPrefix = 4;
constexpr std::size_t kFixedBody = 40;
constexpr std::size_t kCopyDataHeader = 12;
constexpr std::size_t kMaxCopyData = 64 * 1024;
constexpr std::size_t kMaxBody = kFixedBody + kCopyDataHeader + kMaxCopyData;

struct Frame {
  FrameKind kind = FrameKind::kPost;
  std::uint8_t flags = 0;
  std::uint32_t senderProcessId = 0;
  std::uint32_t sequence = 0;
  std::uint64_t target = 0;
  std::uint32_t message = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  // A sent WM_COPYDATA only.
  std::uint64_t copyDataWord = 0;
  std::string copyData;

  bool CarriesCopyData() const { return kind == FrameKind::kSend && message == WM_COPYDATA; }
  bool operator==(const Frame&) const = default;
};

// The frame with its length prefix. A WM_COPYDATA block over 64 KB cannot be encoded: empty.
std::string EncodeFrame(const Frame& frame);

// Reads one body (without the length prefix). Nothing for a body that is short, longer than
// its content, of an unknown kind or flag, with the zero field set, a posted WM_COPYDATA, or a
// WM_COPYDATA block over 64 KB or beyond the body.
std::optional<Frame> DecodeFrameBody(const std::uint8_t* body, std::size_t size);

// Cuts a byte stream into frames. Bytes may arrive in pieces of any size. A frame the decoder
// refuses is counted and dropped; a length prefix beyond kMaxBody makes the reader skip that
// many bytes (counted once) instead of holding them. Not thread-safe: one reader per stream.
class FrameReader {
 public:
  using Sink = std::function<void(const Frame& frame)>;
  void Feed(const std::uint8_t* data, std::size_t size, const Sink& sink);
  std::uint64_t dropped() const { return dropped_; }
  // Bytes held of a frame not yet complete (the prefix included).
  std::size_t pending() const { return buffer_.size(); }

 private:
  std::string buffer_;
  std::uint64_t skipLeft_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace zuvo::platform::channel
