// The quote server's own frame reader and writer: the 10-byte header (magic '@', type, frame
// count, frame index, body length, compressed flag, reserved) and its body, little-endian.
// Kept apart from the terminal's receive path on purpose, so a fault in one is not mirrored in
// the other. Clients send single frames of at most 1024 bytes; the server sends bodies of 1 to
// 8192 bytes, plain or compressed, several frames to a long reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zuvo::quoteserver {

constexpr std::size_t kFrameHeaderSize = 10;
constexpr std::size_t kMaxFrameBody = 8192;          // what the server sends, decoded or not
constexpr std::size_t kMaxClientFrame = 1024;        // what a client ever sends
constexpr std::size_t kMaxClientBody = kMaxClientFrame - kFrameHeaderSize;
constexpr std::uint8_t kFrameMagic = '@';
constexpr std::uint8_t kSlowNetworkMagic = '#';

struct FrameHeader {
  std::uint8_t magic = kFrameMagic;
  std::uint8_t type = 0;
  std::uint16_t count = 1;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
  std::uint8_t compressed = 0;
  std::uint8_t reserved = 0;
};

FrameHeader ReadHeader(const std::uint8_t* bytes);
void WriteHeader(const FrameHeader& header, std::uint8_t* bytes);

// How reply bodies are sent: plain, LZW ("WMC15") or, on the push connection, zlib.
enum class Compression { kNone, kLzw, kZlib };
const char* CompressionName(Compression compression);

// One frame cut from a client's byte stream; the body points into the reader's buffer and is
// valid until the next call.
struct ClientFrame {
  FrameHeader header;
  const std::uint8_t* body = nullptr;
  std::size_t length = 0;
};

// Cuts a client's byte stream into frames. Every header is checked before its body is waited
// for: a wrong magic, an index not below the count, a count other than 1, the compressed flag
// (clients never compress) or a body longer than a client frame can hold make the stream
// unusable, since nothing after them can be trusted to start a frame.
class FrameReader {
 public:
  enum class Result { kNeedMore, kFrame, kBadHeader };

  // Room for at least this many more bytes; append them at Space() and report with Filled().
  std::uint8_t* Space(std::size_t wanted);
  void Filled(std::size_t bytes) { size_ += bytes; }
  // Appends bytes (tests and in-memory use).
  void Append(const std::uint8_t* bytes, std::size_t size);

  // The next complete frame, kNeedMore, or kBadHeader with the reason in *why. After
  // kBadHeader the reader keeps answering kBadHeader.
  Result Next(ClientFrame* frame, std::string* why);

 private:
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;   // first unread byte
  std::size_t size_ = 0;    // bytes held from buffer_'s start
  bool broken_ = false;
};

// Appends the frames of one message to *out: `bodies` plain bodies of 1 to 8192 bytes each,
// type `type`, count = bodies.size(), compressed as asked. A compressed body whose encoding
// would not fit a frame goes out plain (each frame carries its own flag).
void AppendFrame(std::vector<std::uint8_t>* out, std::uint8_t type, std::uint16_t count, std::uint16_t index,
                 const std::uint8_t* body, std::size_t length, Compression compression);

// A server error reply body: two unread bytes, the level, the text and its terminator.
std::vector<std::uint8_t> ErrorBody(std::uint8_t level, std::string_view text);

}  // namespace zuvo::quoteserver
