#include "ClientStream.h"

#include "ReplyWriter.h"

#include <algorithm>

namespace zuvo::quoteserver {
namespace {

ScopeBits ScopeOf(PortRole role) { return role == PortRole::kPush ? kScopePush : kScopeRequest; }

// Where drop=...-mid cuts a reply: inside its second frame when it has several, else inside
// its only one.
std::size_t CutPoint(const std::vector<std::size_t>& ends) {
  if (ends.size() >= 2) return ends[0] + (ends[1] - ends[0]) / 2;
  return ends.empty() ? 0 : ends[0] / 2;
}

// Logs the frames of bytes that end at `ends`, the first beginning at `start`.
void LogReply(const std::vector<std::uint8_t>& bytes, const std::vector<std::size_t>& ends,
              const ClientStream::Log& log, std::size_t start = 0) {
  if (!log) return;
  std::size_t at = start;
  for (std::size_t end : ends) {
    if (end - at < kFrameHeaderSize) break;
    const FrameHeader header = ReadHeader(bytes.data() + at);
    log("-> type " + std::to_string(header.type) + " frame " + std::to_string(header.index) + "/" +
        std::to_string(header.count) + " length " + std::to_string(header.length) +
        (header.compressed ? " compressed" : ""));
    at = end;
  }
}

}  // namespace

void ClientStream::Sent(std::size_t bytes) {
  sent_ += bytes;
  sentTotal_ += bytes;
  while (!frameEnds_.empty() && frameEnds_.front() <= sentTotal_) frameEnds_.pop_front();
  if (sent_ == out_.size()) {
    out_.clear();
    sent_ = 0;
  }
}

std::vector<std::size_t> ClientStream::PendingFrameEnds() const {
  std::vector<std::size_t> ends;
  for (std::uint64_t end : frameEnds_) {
    if (end > sentTotal_) ends.push_back(static_cast<std::size_t>(end - sentTotal_));
  }
  return ends;
}

void ClientStream::Close(const std::string& why) {
  if (closing_) return;
  closing_ = true;
  closeReason_ = why;
}

void ClientStream::Process(ServerProtocol& protocol, std::size_t maxPending, std::int64_t nowMs, const Log& log) {
  FaultSwitches& faults = protocol.state().faults;
  while (!closing_ && backlog() <= maxPending) {
    ClientFrame frame;
    std::string why;
    const FrameReader::Result result = reader_.Next(&frame, &why);
    if (result == FrameReader::Result::kNeedMore) return;
    const FrameFaults frameFaults = faults.ForFrames(ScopeOf(session_.role));
    scratch_.clear();
    ReplyWriter writer(&scratch_, protocol.CompressionFor(session_.role), &frameFaults, &faults);
    if (result == FrameReader::Result::kBadHeader) {
      // Nothing after a bad header can be trusted to start a frame: refuse it where a reply
      // is awaited, and end the connection either way.
      if (log) log("bad header: " + why);
      if (session_.role != PortRole::kPush) writer.Error(kQuietLevel);
      Queue(writer, ReplyPlan{}, nowMs, faults, log);
      Close("bad header: " + why);
      return;
    }
    ++received_[frame.header.type];
    if (log) log("<- type " + std::to_string(frame.header.type) + " length " + std::to_string(frame.length));
    if (faults.On(Fault::kSilent)) {
      // Read and never answered.
      faults.Fired(Fault::kSilent);
      continue;
    }
    std::string note;
    ReplyPlan plan;
    const bool keep = protocol.Handle(&session_, frame.header.type, frame.body, frame.length, &writer, &plan, &note);
    if (log && !note.empty()) log(note);
    if (session_.role == PortRole::kPush && writer.frames() > 0 && faults.Drops(DropPoint::kPushMid)) {
      faults.Fired(Fault::kDrop);
      plan.cutInside = true;
      plan.cutReason = "drop=push-mid";
    }
    Queue(writer, plan, nowMs, faults, log);
    if (!keep) Close(note);
  }
}

void ClientStream::Push(ServerProtocol& protocol, const std::function<void(ReplyWriter*)>& write, const Log& log) {
  if (closing_) return;
  FaultSwitches& faults = protocol.state().faults;
  const FrameFaults frameFaults = faults.ForFrames(ScopeOf(session_.role));
  const Compression compression = protocol.CompressionFor(session_.role);
  if (!frameFaults.any() && compression == Compression::kNone && !faults.Drops(DropPoint::kPushMid)) {
    // Nothing to spoil, compress or cut: the frames go straight to the bytes to send.
    const std::size_t start = out_.size();
    ReplyWriter writer(&out_, compression, &frameFaults, &faults);
    write(&writer);
    for (std::uint8_t type : writer.frameTypes()) ++written_[type];
    LogReply(out_, writer.frameEnds(), log, start);
    for (std::size_t end : writer.frameEnds()) frameEnds_.push_back(appendedTotal_ + (end - start));
    appendedTotal_ += out_.size() - start;
    return;
  }
  scratch_.clear();
  ReplyWriter writer(&scratch_, compression, &frameFaults, &faults);
  write(&writer);
  if (writer.frames() == 0) return;
  for (std::uint8_t type : writer.frameTypes()) ++written_[type];
  LogReply(scratch_, writer.frameEnds(), log);
  ReplyPlan plan;
  if (faults.Drops(DropPoint::kPushMid)) {
    faults.Fired(Fault::kDrop);
    plan.cutInside = true;
    plan.cutReason = "drop=push-mid";
  }
  Append(scratch_.data(), scratch_.size(), writer.frameEnds(), plan);
}

void ClientStream::Queue(const ReplyWriter& writer, const ReplyPlan& plan, std::int64_t nowMs, FaultSwitches& faults,
                         const Log& log) {
  if (writer.frames() == 0) return;
  for (std::uint8_t type : writer.frameTypes()) ++written_[type];
  LogReply(scratch_, writer.frameEnds(), log);
  auto hold = [&](std::int64_t releaseAt, bool outOfOrder, bool reorder) {
    Held entry;
    entry.bytes = scratch_;
    entry.ends = writer.frameEnds();
    entry.releaseAt = releaseAt;
    entry.outOfOrder = outOfOrder;
    entry.reorder = reorder;
    entry.plan = plan;
    heldBytes_ += entry.bytes.size();
    held_.push_back(std::move(entry));
  };
  const bool inOrderHeld = std::any_of(held_.begin(), held_.end(), [](const Held& entry) { return !entry.outOfOrder; });
  const std::int64_t due = plan.delayMs > 0 ? nowMs + plan.delayMs : 0;
  if (plan.hold) {
    hold(nowMs + kHeldReplyMs, true, false);
  } else if (plan.reorder) {
    const auto waiting = std::find_if(held_.begin(), held_.end(), [](const Held& entry) { return entry.reorder; });
    if (waiting == held_.end()) {
      hold(nowMs + kHeldReplyMs, true, true);
    } else {
      // This reply first, then the one that waited for it.
      faults.Fired(Fault::kReorder);
      Held earlier = std::move(*waiting);
      held_.erase(waiting);
      if (due > 0 || inOrderHeld) {
        hold(due, false, false);
      } else {
        Append(scratch_.data(), scratch_.size(), writer.frameEnds(), plan);
      }
      earlier.outOfOrder = false;
      earlier.reorder = false;
      earlier.releaseAt = due;
      held_.push_back(std::move(earlier));
    }
  } else if (due > 0 || inOrderHeld) {
    hold(due, false, false);
  } else {
    Append(scratch_.data(), scratch_.size(), writer.frameEnds(), plan);
  }
  Release(nowMs);
}

void ClientStream::Release(std::int64_t nowMs, bool all) {
  bool blocked = false;
  for (auto it = held_.begin(); it != held_.end();) {
    const bool due = all || it->releaseAt <= nowMs;
    const bool go = it->outOfOrder ? due : (!blocked && due);
    if (!it->outOfOrder && !go) blocked = true;
    if (!go) {
      ++it;
      continue;
    }
    Held entry = std::move(*it);
    it = held_.erase(it);
    heldBytes_ -= entry.bytes.size();
    Append(entry.bytes.data(), entry.bytes.size(), entry.ends, entry.plan);
    if (cut_) return;
  }
}

std::int64_t ClientStream::NextRelease() const {
  std::int64_t next = -1;
  for (const Held& entry : held_) {
    if (next < 0 || entry.releaseAt < next) next = entry.releaseAt;
  }
  return next;
}

void ClientStream::DropHeld() {
  held_.clear();
  heldBytes_ = 0;
}

void ClientStream::Append(const std::uint8_t* bytes, std::size_t size, const std::vector<std::size_t>& ends,
                          const ReplyPlan& plan) {
  if (cut_) return;   // nothing follows an answer cut in the middle
  const std::size_t keep = plan.cutInside ? CutPoint(ends) : size;
  out_.insert(out_.end(), bytes, bytes + keep);
  for (std::size_t end : ends) {
    if (end <= keep) frameEnds_.push_back(appendedTotal_ + end);
  }
  if (keep < size && keep > 0) frameEnds_.push_back(appendedTotal_ + keep);
  appendedTotal_ += keep;
  if (plan.cutInside) {
    cut_ = true;
    DropHeld();
    Close(std::string(plan.cutReason) + ": cut inside the answer");
  } else if (plan.closeAfter) {
    Close("fin-with-data: closed after the answer");
  }
}

}  // namespace zuvo::quoteserver
