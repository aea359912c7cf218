// One client connection of the quote server apart from its socket: the bytes received and not
// yet cut into frames, the session (port, login, subscription), the answers waiting to be sent
// and those held back by the timing switches. The server's loop feeds it what the socket
// delivers and sends what it answers; tests and the fuzz target drive it with bytes alone.
#pragma once

#include "ServerFrames.h"
#include "ServerProtocol.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

// How long a reply held back by late=KIND or reorder waits at most.
constexpr std::int64_t kHeldReplyMs = 25000;

class ClientStream {
 public:
  // A null log takes no lines (not --verbose).
  using Log = std::function<void(const std::string& line)>;

  explicit ClientStream(PortRole role) { session_.role = role; }

  FrameReader& reader() { return reader_; }
  Session& session() { return session_; }
  const Session& session() const { return session_; }

  // Answers the complete frames held, in order, while at most maxPending bytes wait (sent or
  // held back; the rest wait for the next call). A bad header is refused where a reply is
  // awaited and ends the stream: closing() becomes true, and so it does when an answer asks to
  // close. nowMs is the server's monotonic time, for the replies the timing switches hold.
  void Process(ServerProtocol& protocol, std::size_t maxPending, std::int64_t nowMs, const Log& log);

  // Writes frames outside any answer (push records) with the port's compression and faults;
  // `write` fills the writer. drop=push-mid cuts the first frame written and closes.
  void Push(ServerProtocol& protocol, const std::function<void(ReplyWriter*)>& write, const Log& log);

  // Moves the held replies whose time has come (all with `all`) to the bytes to send.
  void Release(std::int64_t nowMs, bool all = false);
  // When the next held reply is due, or -1 when none is held.
  std::int64_t NextRelease() const;
  std::size_t heldCount() const { return held_.size(); }
  // Forgets the held replies (the peer has gone).
  void DropHeld();

  // Bytes answered and not yet sent; Sent drops n of them from the front.
  const std::uint8_t* pending() const { return out_.data() + sent_; }
  std::size_t pendingSize() const { return out_.size() - sent_; }
  // Pending plus held bytes.
  std::size_t backlog() const { return pendingSize() + heldBytes_; }
  // Bytes sent since the start.
  std::uint64_t sentTotal() const { return sentTotal_; }
  void Sent(std::size_t bytes);
  // Frames begun or ended in the pending bytes: their end offsets, counted from the first
  // pending byte; the framing switches pace the sending by them.
  std::vector<std::size_t> PendingFrameEnds() const;

  // Nothing more is to be read; close once everything answered is sent. Why, for the log.
  bool closing() const { return closing_; }
  const std::string& closeReason() const { return closeReason_; }
  void Close(const std::string& why);

  // Frames received and written, per type.
  const std::array<std::uint64_t, 256>& received() const { return received_; }
  const std::array<std::uint64_t, 256>& written() const { return written_; }

 private:
  struct Held {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> ends;   // frame ends within bytes
    std::int64_t releaseAt = 0;
    bool outOfOrder = false;         // late and reorder: later replies may pass it
    bool reorder = false;
    ReplyPlan plan;
  };

  // Sends or holds back the reply in scratch_ as its plan says.
  void Queue(const ReplyWriter& writer, const ReplyPlan& plan, std::int64_t nowMs, FaultSwitches& faults,
             const Log& log);
  // Appends a reply to the bytes to send, cut or followed by the close as its plan says.
  void Append(const std::uint8_t* bytes, std::size_t size, const std::vector<std::size_t>& ends,
              const ReplyPlan& plan);

  Session session_;
  FrameReader reader_;
  std::vector<std::uint8_t> out_;
  std::size_t sent_ = 0;
  std::uint64_t sentTotal_ = 0;         // bytes sent since the start
  std::uint64_t appendedTotal_ = 0;     // bytes appended to out_ since the start
  std::deque<std::uint64_t> frameEnds_; // absolute ends of frames not wholly sent
  std::deque<Held> held_;
  std::size_t heldBytes_ = 0;
  std::vector<std::uint8_t> scratch_;
  bool closing_ = false;
  bool cut_ = false;
  std::string closeReason_;
  std::array<std::uint64_t, 256> received_{};
  std::array<std::uint64_t, 256> written_{};
};

}  // namespace zuvo::quoteserver
