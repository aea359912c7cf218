// The client side of the terminal's message channel (platform/MessageChannel.h), for the
// programs the terminal starts: connect to the address the terminal exported, post and send
// window messages to its windows (by the handles it put on our command line), and receive what
// it posts and sends to our windows. Our windows are plain numbers we make up (NewWindow); the
// terminal learns them from the parameters we flag as windows. Single-threaded: one thread uses
// a client at a time.
#pragma once

#include "platform/ChannelFrame.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace zuvo::channelclient {

using platform::channel::Frame;

class ChannelClient {
 public:
  ChannelClient() = default;
  ~ChannelClient();
  ChannelClient(const ChannelClient&) = delete;
  ChannelClient& operator=(const ChannelClient&) = delete;

  // Connects to the address given, or to the one in ZUVO_CHANNEL when empty. False when there
  // is none or it does not answer.
  bool Connect(const std::string& address = "");
  void Close();

  // A new window number of ours (never 0, never reused).
  std::uint64_t NewWindow();
  // Tells the terminal that our window is gone.
  bool WindowGone(std::uint64_t window);

  // Posts to a window of the terminal; flags (kWParamIsWindow, kLParamIsWindow) mark our windows.
  bool Post(std::uint64_t target, std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam,
            std::uint8_t flags = 0);
  // Sends WM_COPYDATA from our window and waits for the answer (handling what arrives in the
  // meantime as Receive would). Nothing when it is not answered in time or the link broke.
  std::optional<std::int64_t> SendCopyData(std::uint64_t target, std::uint64_t fromWindow, std::uint64_t dataWord,
                                           const std::string& bytes, int timeoutMilliseconds);

  // The next message for one of our windows, waiting at most the time given; sent ones have been
  // answered already (with the answer function's result). Nothing on timeout or a broken link.
  std::optional<Frame> Receive(int timeoutMilliseconds);
  // The answer to messages sent to us (1 unless set).
  void SetAnswer(std::function<std::int64_t(const Frame&)> answer) { answer_ = std::move(answer); }

 private:
  bool Write(const Frame& frame);
  // Reads what is there, waiting at most the time given; false when the link broke.
  bool ReadSome(int timeoutMilliseconds);
  void Take(const Frame& frame);

  int fd_ = -1;
  std::uint32_t processId_ = 0;
  std::uint64_t nextWindow_ = 0x1000;
  std::uint32_t nextSequence_ = 1;
  platform::channel::FrameReader reader_;
  std::deque<Frame> inbox_;
  std::deque<Frame> answers_;
  std::function<std::int64_t(const Frame&)> answer_;
};

}  // namespace zuvo::channelclient
