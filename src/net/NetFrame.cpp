#include "net/NetFrame.h"

int PushDecompressMode = kPushCompressionUnknown;

bool IsValidFrameHeader(const FrameHeader& header, bool slowNetworkAllowed) {
  const bool magicKnown = header.magic == kFrameMagic || (slowNetworkAllowed && header.magic == kSlowNetworkMagic);
  // An index at or past the count also refuses a count of 0: such a frame belongs to no message.
  return magicKnown && header.length <= kMaxFrameBody && header.index < header.count;
}
