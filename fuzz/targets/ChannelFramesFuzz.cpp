// Fuzz target "channel": the byte stream another program writes to the message channel, cut into
// frames by the channel's reader and checked by its decoder.
// Input: the first byte picks the size of the pieces the stream arrives in (1 to 256 bytes); the
// rest is the stream.
// Property: the frames and the count of dropped frames are the same whatever the pieces; the
// reader never holds more than one whole frame; a frame carries a WM_COPYDATA block only when
// sent, of at most 64 KB; every frame read encodes back to bytes that read as the same frame.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/ChannelFrame.h"

#include <algorithm>
#include <vector>

namespace {

namespace channel = zuvo::platform::channel;

struct Read {
  std::vector<channel::Frame> frames;
  std::uint64_t dropped = 0;
};

Read ReadInPieces(const std::uint8_t* data, std::size_t size, std::size_t piece) {
  Read read;
  channel::FrameReader reader;
  for (std::size_t at = 0; at < size; at += piece) {
    reader.Feed(data + at, std::min(piece, size - at), [&](const channel::Frame& frame) { read.frames.push_back(frame); });
    FUZZ_CHECK(reader.pending() <= channel::kLengthPrefix + channel::kMaxBody, "the reader holds at most one frame");
  }
  read.dropped = reader.dropped();
  return read;
}

}  // namespace

int FuzzChannelFrames(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = static_cast<std::size_t>(data[0]) + 1;
  const Read whole = ReadInPieces(data + 1, size - 1, size);
  const Read pieces = ReadInPieces(data + 1, size - 1, piece);
  FUZZ_CHECK(whole.frames == pieces.frames, "the frames do not depend on how the bytes arrive");
  FUZZ_CHECK(whole.dropped == pieces.dropped, "the drops do not depend on how the bytes arrive");
  for (const channel::Frame& frame : whole.frames) {
    FUZZ_CHECK(frame.copyData.empty() || frame.CarriesCopyData(), "only a sent WM_COPYDATA carries a block");
    FUZZ_CHECK(frame.copyData.size() <= channel::kMaxCopyData, "a block holds at most 64 KB");
    const std::string encoded = channel::EncodeFrame(frame);
    FUZZ_CHECK(encoded.size() >= channel::kLengthPrefix, "a frame read encodes");
    const auto back = channel::DecodeFrameBody(reinterpret_cast<const std::uint8_t*>(encoded.data()) + channel::kLengthPrefix,
                                               encoded.size() - channel::kLengthPrefix);
    FUZZ_CHECK(back && *back == frame, "a frame encoded reads back the same");
  }
  return 0;
}
