// Frames as the framing, compression and type switches spoil them: a wrong magic or type, a
// length, index or count a receiver must refuse, the compressed flag on a plain body, and
// compressed bodies that are cut short, name codes not yet defined, widen without end, outgrow
// the dictionary or decode to more than a receiver holds. Each frame carries only the faults
// asked for; the rest of it is as the server would send it.
#pragma once

#include "FaultSwitches.h"
#include "ServerFrames.h"

#include <cstdint>
#include <vector>

namespace zuvo::quoteserver {

// Appends one frame of `body` (1 to 8192 bytes) with the faults applied.
void AppendFaultyFrame(std::vector<std::uint8_t>* out, std::uint8_t type, std::uint16_t count, std::uint16_t index,
                       const std::uint8_t* body, std::size_t length, Compression compression,
                       const FrameFaults& faults);

// The spoiled compressed bodies, built from a frame's plain body.
std::vector<std::uint8_t> SpoiledBody(Fault fault, const std::uint8_t* body, std::size_t length);

}  // namespace zuvo::quoteserver
