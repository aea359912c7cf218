// The frame of both server connections: a 10-byte header and a body of at most 8192 bytes,
// plain or compressed. One definition for the request and the push client, the request frames
// and the tests. Everything here is plain data or a pure function: nothing runs at start-up.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct FrameHeader {
  std::uint8_t magic;        // '@'; the push server may send '#' (a slow-network notice)
  std::uint8_t type;         // wire code of the request or reply; 8 for push quote records
  std::uint16_t count;       // frames of the message
  std::uint16_t index;       // 0-based, always below count
  std::uint16_t length;      // body bytes, at most kMaxFrameBody
  std::uint8_t compressed;   // 0 plain, any other value compressed
  std::uint8_t reserved;     // 0
};
#pragma pack(pop)
static_assert(sizeof(FrameHeader) == 10);

constexpr int kFrameHeaderBytes = 10;
constexpr int kMaxFrameBody = 8192;
constexpr int kReceiveBufferBytes = kFrameHeaderBytes + kMaxFrameBody;   // one largest frame
constexpr int kSendBufferBytes = 2048;
constexpr int kDecompressBytes = 16384;
constexpr int kMaxClientFrame = 1024;   // a frame a client sends, header included
constexpr std::uint8_t kFrameMagic = '@';
constexpr std::uint8_t kSlowNetworkMagic = '#';
constexpr std::uint8_t kKeepAliveType = 1;

// The header of a message of one frame (magic '@', count 1, index 0) with a body of `length`
// bytes, plain: every frame a client sends.
inline FrameHeader OneFrameHeader(std::uint8_t type, int length) {
  FrameHeader header{};
  header.magic = kFrameMagic;
  header.type = type;
  header.count = 1;
  header.index = 0;
  header.length = static_cast<std::uint16_t>(length);
  return header;
}

// The checks every received header passes before its body is read: magic '@' ('#' too when
// slowNetworkAllowed, the push connection), body length at most 8192, index below count (so a
// count of 0 fails).
bool IsValidFrameHeader(const FrameHeader& header, bool slowNetworkAllowed);

// Process-wide push decompression mode; it outlives the push clients, which are replaced on every
// reconnect, and is never reset.
constexpr int kPushCompressionUnknown = 0;
constexpr int kPushCompressionLzw = 1;
constexpr int kPushCompressionZlib = 2;
extern int PushDecompressMode;
