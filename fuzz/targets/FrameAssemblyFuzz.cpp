// Fuzz target "frames": the receive assembly of both network clients (the request client's
// AnalyzeInfoHead/AnalyzeInfoBody, the push client's MakeFrame/MakeData with the decompression
// modes), fed the stream in chunks by scripted receive calls instead of a socket.
// Input: parts control, stream. Control: the push decompression mode at the start (0-2), the
// chunk-size seed (0: the whole stream in one receive), whether the peer closes after the
// stream, and the frame after which a handler closes its own client (0: never).
// Property: the frames handed to the handlers are, in order, those a plain walk of the stream
// finds before its first bad header ('@', '#' on the push connection only, length at most 8192,
// index below count), with the same headers and, when plain, the very bytes; no handed body is
// longer than 16384 bytes; the handlers stop early only at a compressed frame (which must then
// have failed) or at the handler's own close; each connection posts at most one
// MsgConnectionLost, exactly one when it stopped on a fault, a close by the peer or the handler,
// and a closed connection holds no socket and no bytes.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "data/Messages.h"
#include "net/NetFrame.h"
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinSock.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Not a handle of the platform's table (those are multiples of 4): closing it fails quietly.
constexpr int kFakeHandle = 0x7FFFFFF1;

struct Seen {
  FrameHeader header;
  std::string body;
};

int lostRequest = 0;
int lostPush = 0;

LRESULT LostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgConnectionLost) {
    FUZZ_CHECK(wParam == 0 && (lParam == 0 || lParam == 1), "MsgConnectionLost carries (0, 0) or (0, 1)");
    ++(lParam == 0 ? lostRequest : lostPush);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND LostWindow() {
  static HWND window = fuzz::HiddenWindow("FuzzFramesLostWindow", &LostWindowProc);
  return window;
}

// Serves the stream in chunks whose sizes come from the seed, then 10035 or the peer's close.
template <class Client>
class Scripted : public Client {
 public:
  Scripted(std::string_view stream, std::uint32_t seed, bool peerCloses)
      : stream_(stream), seed_(seed), peerCloses_(peerCloses) {
    this->handle = kFakeHandle;
  }
  int Receive(void* buffer, int length, int /*flags*/) override {
    if (at_ >= stream_.size()) {
      if (peerCloses_) return 0;
      WSASetLastError(WSAEWOULDBLOCK);
      return -1;
    }
    std::size_t take = stream_.size() - at_;
    if (seed_ != 0) {
      seed_ = seed_ * 1103515245u + 12345u;
      take = std::min<std::size_t>(take, 1 + (seed_ >> 16) % 1500);
    }
    take = std::min<std::size_t>(take, static_cast<std::size_t>(length));
    std::memcpy(buffer, stream_.data() + at_, take);
    at_ += take;
    return static_cast<int>(take);
  }
  int Send(const void* /*data*/, int length, int /*flags*/) override { return length; }

 private:
  std::string_view stream_;
  std::size_t at_ = 0;
  std::uint32_t seed_;
  bool peerCloses_;
};

struct Walk {
  std::vector<std::size_t> frames;   // offsets of the whole frames before the first bad header
  bool badHeader = false;
};

Walk WalkStream(std::string_view stream, bool push) {
  Walk walk;
  std::size_t at = 0;
  while (stream.size() - at >= kFrameHeaderBytes) {
    FrameHeader header;
    std::memcpy(&header, stream.data() + at, kFrameHeaderBytes);
    if (!IsValidFrameHeader(header, push)) {
      walk.badHeader = true;
      break;
    }
    if (stream.size() - at - kFrameHeaderBytes < header.length) break;
    walk.frames.push_back(at);
    at += kFrameHeaderBytes + header.length;
  }
  return walk;
}

template <class Client>
void Check(const char* side, std::string_view stream, bool push, std::uint32_t seed, bool peerCloses, int closeAfter,
           std::vector<Seen>* seen, int* lost) {
  Scripted<Client> client(stream, seed, peerCloses);
  // One read notification reads until the socket would block or closes.
  client.OnReceive(0);
  zuvo::platform::ProcessPendingMessages();
  const Walk walk = WalkStream(stream, push);
  FUZZ_CHECK(seen->size() <= walk.frames.size(), side);
  for (std::size_t i = 0; i < seen->size(); ++i) {
    const Seen& frame = (*seen)[i];
    FrameHeader expected;
    std::memcpy(&expected, stream.data() + walk.frames[i], kFrameHeaderBytes);
    FUZZ_CHECK(std::memcmp(&frame.header, &expected, kFrameHeaderBytes) == 0, "each frame is handled with its own header");
    FUZZ_CHECK(frame.body.size() <= static_cast<std::size_t>(kDecompressBytes), "a handled body holds at most 16384 bytes");
    if (expected.compressed == 0) {
      FUZZ_CHECK(frame.body == stream.substr(walk.frames[i] + kFrameHeaderBytes, expected.length),
                 "a plain body is handed over as it came");
    }
  }
  FUZZ_CHECK(*lost <= 1, "at most one MsgConnectionLost per connection");
  const bool closedByHandler = closeAfter > 0 && seen->size() == static_cast<std::size_t>(closeAfter);
  if (seen->size() < walk.frames.size() && !closedByHandler) {
    FrameHeader stopped;
    std::memcpy(&stopped, stream.data() + walk.frames[seen->size()], kFrameHeaderBytes);
    FUZZ_CHECK(stopped.compressed != 0, "the assembly stops early only at a body it cannot decompress");
  }
  const bool shouldClose = walk.badHeader || peerCloses || seen->size() < walk.frames.size() || closedByHandler;
  FUZZ_CHECK(*lost == (shouldClose ? 1 : 0), "a fault, the peer's close or the handler's close posts exactly once");
  FUZZ_CHECK((client.handle == -1) == shouldClose, "the connection is closed exactly when it was lost");
  if (shouldClose) FUZZ_CHECK(client.receiveCount == 0 && !client.headerHeld, "a closed connection holds no bytes");
  client.handle = -1;   // destroying it posts nothing more
}

}  // namespace

int FuzzFrameAssembly(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::ControlReader control(parts.size() > 1 ? parts[0] : std::string_view());
  const std::string_view stream = parts.size() > 1 ? parts[1] : parts[0];
  const int mode = control.U8() % 3;
  const std::uint32_t seed = control.U32();
  const bool peerCloses = (control.U8() & 1) != 0;
  const int closeAfter = control.U8() % 8;

  zuvo::platform::ScopedScriptedMessageBoxes boxes;   // a hidden window that fails must not show a box
  zuvo::net::ScopedMainWindow lostWindow(LostWindow());
  const int savedMode = PushDecompressMode;
  PushDecompressMode = mode;
  zuvo::platform::ProcessPendingMessages();
  lostRequest = 0;
  lostPush = 0;

  std::vector<Seen> replies;
  std::vector<Seen> pushes;
  zuvo::net::ScopedReplyHandler reply([&](TNormalClnt* client, const std::uint8_t* body, int length) {
    FUZZ_CHECK(length >= 0 && length <= kDecompressBytes, "a reply body holds at most 16384 bytes");
    FUZZ_CHECK(IsValidFrameHeader(client->header, false), "a reply is handed over with a valid header");
    replies.push_back({client->header, std::string(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length))});
    if (closeAfter > 0 && replies.size() == static_cast<std::size_t>(closeAfter)) client->OnClose(0);
    return 0;
  });
  zuvo::net::ScopedPushHandler push([&](TRealDataClnt* client, const std::uint8_t* body, int length) {
    FUZZ_CHECK(length >= 0 && length <= kDecompressBytes, "a push body holds at most 16384 bytes");
    FUZZ_CHECK(IsValidFrameHeader(client->header, true), "a push frame is handed over with a valid header");
    pushes.push_back({client->header, std::string(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length))});
    if (closeAfter > 0 && pushes.size() == static_cast<std::size_t>(closeAfter)) client->OnClose(0);
  });

  Check<TNormalClnt>("request", stream, false, seed, peerCloses, closeAfter, &replies, &lostRequest);
  Check<TRealDataClnt>("push", stream, true, seed, peerCloses, closeAfter, &pushes, &lostPush);
  zuvo::platform::ProcessPendingMessages();
  PushDecompressMode = savedMode;
  return 0;
}
