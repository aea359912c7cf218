// Builds the frames of the server's replies into a connection's output: every body is the
// reply head (the first bytes of the request body, echoed so the client finds the instrument
// again) followed by whole records, at most 8192 bytes before compression, and a reply of
// several frames carries them with the same type and count and indexes 0, 1, ... in order.
#pragma once

#include "FaultSwitches.h"
#include "ServerFrames.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zuvo::quoteserver {

class ReplyWriter {
 public:
  // Frames go to *out, their bodies compressed as asked; with faults, spoiled as they say
  // (each spoiled frame counted in *switches).
  ReplyWriter(std::vector<std::uint8_t>* out, Compression compression, const FrameFaults* faults = nullptr,
              FaultSwitches* switches = nullptr)
      : out_(out), compression_(compression), faults_(faults != nullptr && faults->any() ? faults : nullptr),
        switches_(switches) {}

  // One frame with the body as given (1 to 8192 bytes).
  void Single(std::uint8_t type, const void* body, std::size_t size);

  // Frames of head + whole records of recordSize bytes, as many records as fit each frame; the
  // first frame carries `lead` (a header record) between its head and its records. Without
  // records (and lead) one frame of the head alone. At most 65535 frames: the records beyond
  // them are not sent.
  void Records(std::uint8_t type, std::string_view head, const void* records, std::size_t recordSize,
               std::size_t count, std::string_view lead = {});

  // Frames of head + consecutive pieces of the text. With headFrame, frame 0 is the head alone
  // and the text starts in frame 1. An empty text gives one frame of the head alone.
  void Text(std::uint8_t type, std::string_view head, std::string_view text, bool headFrame = false);

  // A frame whose plain body of `size` bytes (1 to 8192) the caller writes in place at the
  // pointer returned, straight into the output. Null when this writer compresses or spoils its
  // frames: then the body goes through Single.
  std::uint8_t* InPlace(std::uint8_t type, std::size_t size);

  // A type-2 reply: level and text.
  void Error(std::uint8_t level, std::string_view text = {});

  // An empty frame (the echoed heartbeat): the only frame without a body.
  void Empty(std::uint8_t type);

  // Frames written so far, for the log; each one's end in *out and its type.
  int frames() const { return frames_; }
  const std::vector<std::size_t>& frameEnds() const { return frameEnds_; }
  const std::vector<std::uint8_t>& frameTypes() const { return frameTypes_; }

 private:
  void Frame(std::uint8_t type, std::uint16_t count, std::uint16_t index, std::string_view head,
             std::string_view a, std::string_view b);

  std::vector<std::uint8_t>* out_;
  Compression compression_;
  const FrameFaults* faults_;
  FaultSwitches* switches_;
  std::vector<std::uint8_t> scratch_;
  int frames_ = 0;
  std::vector<std::size_t> frameEnds_;
  std::vector<std::uint8_t> frameTypes_;
};

}  // namespace zuvo::quoteserver
