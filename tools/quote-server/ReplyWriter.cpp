#include "ReplyWriter.h"

#include "FaultFrames.h"

#include <algorithm>
#include <cstring>

namespace zuvo::quoteserver {
namespace {
constexpr std::size_t kMaxFrames = 65535;
}

void ReplyWriter::Frame(std::uint8_t type, std::uint16_t count, std::uint16_t index, std::string_view head,
                        std::string_view a, std::string_view b) {
  ++frames_;
  frameTypes_.push_back(type);
  const std::size_t length = head.size() + a.size() + b.size();
  if (faults_ != nullptr) {
    scratch_.clear();
    for (std::string_view part : {head, a, b}) scratch_.insert(scratch_.end(), part.begin(), part.end());
    AppendFaultyFrame(out_, type, count, index, scratch_.data(), scratch_.size(), compression_, *faults_);
    if (switches_ != nullptr) switches_->FiredFrames(*faults_);
    frameEnds_.push_back(out_->size());
    return;
  }
  if (compression_ == Compression::kNone) {
    // Straight into the output: the common case copies each byte once.
    FrameHeader header;
    header.type = type;
    header.count = count;
    header.index = index;
    header.length = static_cast<std::uint16_t>(length);
    const std::size_t at = out_->size();
    out_->resize(at + kFrameHeaderSize + length);
    std::uint8_t* p = out_->data() + at;
    WriteHeader(header, p);
    p += kFrameHeaderSize;
    for (std::string_view part : {head, a, b}) {
      if (!part.empty()) std::memcpy(p, part.data(), part.size());
      p += part.size();
    }
    frameEnds_.push_back(out_->size());
    return;
  }
  scratch_.clear();
  for (std::string_view part : {head, a, b}) scratch_.insert(scratch_.end(), part.begin(), part.end());
  AppendFrame(out_, type, count, index, scratch_.data(), scratch_.size(), compression_);
  frameEnds_.push_back(out_->size());
}

std::uint8_t* ReplyWriter::InPlace(std::uint8_t type, std::size_t size) {
  if (faults_ != nullptr || compression_ != Compression::kNone) return nullptr;
  ++frames_;
  frameTypes_.push_back(type);
  FrameHeader header;
  header.type = type;
  header.length = static_cast<std::uint16_t>(size);
  const std::size_t at = out_->size();
  out_->resize(at + kFrameHeaderSize + size);
  std::uint8_t* p = out_->data() + at;
  WriteHeader(header, p);
  frameEnds_.push_back(out_->size());
  return p + kFrameHeaderSize;
}

void ReplyWriter::Empty(std::uint8_t type) {
  ++frames_;
  frameTypes_.push_back(type);
  FrameHeader header;
  header.type = type;
  const std::size_t at = out_->size();
  out_->resize(at + kFrameHeaderSize);
  WriteHeader(header, out_->data() + at);
  frameEnds_.push_back(out_->size());
}

void ReplyWriter::Single(std::uint8_t type, const void* body, std::size_t size) {
  Frame(type, 1, 0, std::string_view(static_cast<const char*>(body), size), {}, {});
}

void ReplyWriter::Records(std::uint8_t type, std::string_view head, const void* records, std::size_t recordSize,
                          std::size_t count, std::string_view lead) {
  const std::size_t firstRoom = (kMaxFrameBody - head.size() - lead.size()) / recordSize;
  const std::size_t laterRoom = (kMaxFrameBody - head.size()) / recordSize;
  std::size_t frames = 1;
  if (count > firstRoom) frames += (count - firstRoom + laterRoom - 1) / laterRoom;
  frames = std::min(frames, kMaxFrames);
  const char* bytes = static_cast<const char*>(records);
  std::size_t sent = 0;
  for (std::size_t index = 0; index < frames; ++index) {
    const std::size_t take = std::min(count - sent, index == 0 ? firstRoom : laterRoom);
    Frame(type, static_cast<std::uint16_t>(frames), static_cast<std::uint16_t>(index), head,
          index == 0 ? lead : std::string_view{}, std::string_view(bytes + sent * recordSize, take * recordSize));
    sent += take;
  }
}

void ReplyWriter::Text(std::uint8_t type, std::string_view head, std::string_view text, bool headFrame) {
  const std::size_t room = kMaxFrameBody - head.size();
  std::size_t frames = (text.size() + room - 1) / room + (headFrame ? 1 : 0);
  frames = std::clamp<std::size_t>(frames, 1, kMaxFrames);
  std::size_t at = 0;
  for (std::size_t index = 0; index < frames; ++index) {
    std::string_view piece;
    if (!(headFrame && index == 0)) {
      piece = text.substr(std::min(at, text.size()), room);
      at += piece.size();
    }
    Frame(type, static_cast<std::uint16_t>(frames), static_cast<std::uint16_t>(index), head, piece, {});
  }
}

void ReplyWriter::Error(std::uint8_t level, std::string_view text) {
  if (switches_ != nullptr && switches_->On(Fault::kUnterminated)) {
    // 300 bytes of text and no terminator.
    switches_->Fired(Fault::kUnterminated);
    std::vector<std::uint8_t> body(3 + 300, 'x');
    body[0] = body[1] = 0;
    body[2] = level;
    for (std::size_t i = 0; i < 300 && !text.empty(); ++i) body[3 + i] = static_cast<std::uint8_t>(text[i % text.size()]);
    Single(2, body.data(), body.size());
    return;
  }
  const std::vector<std::uint8_t> body = ErrorBody(level, text);
  Single(2, body.data(), body.size());
}

}  // namespace zuvo::quoteserver
