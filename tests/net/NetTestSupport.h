// Shared pieces of the network tests: frames built byte by byte, a window that records
// MsgConnectionLost, and clients whose socket calls are scripted so that the frame assembly runs
// without a connection.
#pragma once

#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nettest {

// One frame as it travels: the 10-byte header, then the body. `length` overrides the length
// field (the body stays as given).
struct FrameFields {
  std::uint8_t type = 8;
  std::string body;
  std::uint16_t count = 1;
  std::uint16_t index = 0;
  std::uint8_t compressed = 0;
  std::uint8_t magic = '@';
  int length = -1;
};
std::string Frame(const FrameFields& fields);
std::string Frame(std::uint8_t type, const std::string& body);
// A body of `size` bytes of a recognisable pattern (seeded).
std::string Pattern(std::size_t size, unsigned seed = 1);
// The body as an LZW ("WMC15") stream and as a zlib stream.
std::string Lzw(const std::string& plain);
std::string LzwUnlimited(const std::string& plain);
std::string Zlib(const std::string& plain);

// A frame the handler saw.
struct Handled {
  std::uint8_t magic;
  std::uint8_t type;
  std::uint16_t count;
  std::uint16_t index;
  std::string body;
};

// A hidden window that records every MsgConnectionLost it receives, installed as the
// connection-lost window while it lives.
class LostRecorder {
 public:
  LostRecorder();
  ~LostRecorder();
  LostRecorder(const LostRecorder&) = delete;
  LostRecorder& operator=(const LostRecorder&) = delete;

  // Pumps what is posted, then counts the messages with this second parameter (0 request,
  // 1 push); any message with a first parameter other than 0 fails the test.
  int Count(LPARAM which);
  int Total();
  void Clear();
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
  std::unique_ptr<zuvo::net::ScopedMainWindow> installed_;
};

// A hidden window that stands in for the main window while it lives: it records every private
// message (WM_USER and above) with its parameters and whether it was sent (handled inside the
// sender's call) or posted (taken from the queue by whatever pump runs). `during` runs inside
// the handler, while a sent message's pointer parameter is still valid.
class MessageRecorder {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool sent;
  };
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  // Handles what is posted; then the messages in arrival order (posted ones after Pump).
  const std::vector<Message>& Pump();
  // Pump, then the messages of one number.
  std::vector<Message> Of(UINT message);
  void Clear();
  HWND window() const { return window_; }

  std::function<void(const Message&)> during;
  std::vector<Message> messages;

 private:
  static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
  int hook_ = 0;
  bool fromQueue_ = false;   // the next message for the window was taken from the queue
  std::unique_ptr<zuvo::net::ScopedMainWindow> installed_;
};

// Never a handle of the platform's table (those are multiples of 4): closing it fails quietly.
constexpr int kScriptedHandle = 0x7FFFFFF1;

// A client whose Receive serves scripted chunks (one chunk, or its front part, a call) and then
// fails with 10035, or returns 0 once `peerClosed` is set; whose Send accepts up to `sendRoom`
// bytes and then fails with `sendError`. The handle is a fake one, so the client counts as open.
template <class Client>
class Scripted : public Client {
 public:
  Scripted() { this->handle = kScriptedHandle; }

  // Queues the chunks of the next notification.
  void Queue(const std::vector<std::string>& chunks) {
    for (const std::string& chunk : chunks) {
      if (!chunk.empty()) chunks_.push_back(chunk);
    }
  }
  // Queues the chunks and runs one read notification.
  void Notify(const std::vector<std::string>& chunks) {
    Queue(chunks);
    this->OnReceive(0);
  }
  std::size_t waiting() const { return chunks_.size(); }

  int Receive(void* buffer, int length, int /*flags*/) override {
    ++receiveCalls;
    if (chunks_.empty()) {
      if (peerClosed) return 0;
      WSASetLastError(receiveError);
      return -1;
    }
    std::string& chunk = chunks_.front();
    const int taken = std::min<int>(length, static_cast<int>(chunk.size()));
    std::memcpy(buffer, chunk.data(), static_cast<std::size_t>(taken));
    chunk.erase(0, static_cast<std::size_t>(taken));
    if (chunk.empty()) chunks_.pop_front();
    return taken;
  }
  int Send(const void* data, int length, int /*flags*/) override {
    const int taken = std::min(length, sendRoom);
    if (taken <= 0) {
      WSASetLastError(sendError);
      return -1;
    }
    sent.append(static_cast<const char*>(data), static_cast<std::size_t>(taken));
    sendRoom -= taken;
    return taken;
  }

  bool peerClosed = false;
  int receiveError = WSAEWOULDBLOCK;
  int receiveCalls = 0;
  int sendRoom = 1 << 30;
  int sendError = WSAEWOULDBLOCK;
  std::string sent;

 private:
  std::deque<std::string> chunks_;
};

using ScriptedRequest = Scripted<TNormalClnt>;
using ScriptedPush = Scripted<TRealDataClnt>;

// Records every frame handed to the reply handler (answering `answer`, -1 for type 250) and
// the push handler, with the client's current header, while it lives.
class RecordingHandlers {
 public:
  RecordingHandlers();
  std::vector<Handled> replies;
  std::vector<Handled> pushes;
  // Runs inside the handler after the frame is recorded (a handler closing its client...).
  std::function<void(const Handled&)> during;

 private:
  zuvo::net::ScopedReplyHandler reply_;
  zuvo::net::ScopedPushHandler push_;
};

}  // namespace nettest
