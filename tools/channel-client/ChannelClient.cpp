// The client side of the message channel (see ChannelClient.h).
#include "ChannelClient.h"

#include "platform/MessageChannel.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zuvo::channelclient {

using platform::channel::FrameKind;

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

ChannelClient::~ChannelClient() { Close(); }

bool ChannelClient::Connect(const std::string& address) {
  Close();
  std::string path = address;
  if (path.empty()) {
    const char* exported = std::getenv(platform::kChannelAddressVariable);
    if (exported == nullptr) return false;
    path = exported;
  }
  sockaddr_un name{};
  name.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof name.sun_path) return false;
  std::memcpy(name.sun_path, path.c_str(), path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&name), sizeof name) != 0) {
    Close();
    return false;
  }
  processId_ = static_cast<std::uint32_t>(::getpid());
  return true;
}

void ChannelClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::uint64_t ChannelClient::NewWindow() {
  const std::uint64_t window = nextWindow_;
  nextWindow_ += 4;
  return window;
}

bool ChannelClient::WindowGone(std::uint64_t window) {
  Frame frame;
  frame.kind = FrameKind::kWindowGone;
  frame.target = window;
  return Write(frame);
}

bool ChannelClient::Post(std::uint64_t target, std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam,
                         std::uint8_t flags) {
  Frame frame;
  frame.kind = FrameKind::kPost;
  frame.flags = flags;
  frame.target = target;
  frame.message = message;
  frame.wParam = wParam;
  frame.lParam = lParam;
  return Write(frame);
}

std::optional<std::int64_t> ChannelClient::SendCopyData(std::uint64_t target, std::uint64_t fromWindow,
                                                        std::uint64_t dataWord, const std::string& bytes,
                                                        int timeoutMilliseconds) {
  Frame frame;
  frame.kind = FrameKind::kSend;
  frame.flags = fromWindow != 0 ? platform::channel::kWParamIsWindow : 0;
  frame.sequence = nextSequence_++;
  frame.target = target;
  frame.message = WM_COPYDATA;
  frame.wParam = fromWindow;
  frame.copyDataWord = dataWord;
  frame.copyData = bytes;
  if (!Write(frame)) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  for (;;) {
    for (auto it = answers_.begin(); it != answers_.end(); ++it) {
      if (it->sequence == frame.sequence) {
        const auto result = static_cast<std::int64_t>(it->lParam);
        answers_.erase(it);
        return result;
      }
    }
    const int left = MillisecondsLeft(deadline);
    if (left == 0 || !ReadSome(left)) return std::nullopt;
  }
}

std::optional<Frame> ChannelClient::Receive(int timeoutMilliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (inbox_.empty()) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0 || !ReadSome(left)) return std::nullopt;
  }
  Frame frame = std::move(inbox_.front());
  inbox_.pop_front();
  return frame;
}

bool ChannelClient::Write(const Frame& given) {
  if (fd_ < 0) return false;
  Frame frame = given;
  frame.senderProcessId = processId_;
  const std::string bytes = platform::channel::EncodeFrame(frame);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return !bytes.empty();
}

bool ChannelClient::ReadSome(int timeoutMilliseconds) {
  if (fd_ < 0) return false;
  pollfd watched{fd_, POLLIN, 0};
  const int ready = ::poll(&watched, 1, timeoutMilliseconds);
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return true;
  std::uint8_t buffer[16 * 1024];
  const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) {
    Close();
    return false;
  }
  reader_.Feed(buffer, static_cast<std::size_t>(n), [&](const Frame& frame) { Take(frame); });
  return true;
}

void ChannelClient::Take(const Frame& frame) {
  switch (frame.kind) {
    case FrameKind::kAnswer:
      answers_.push_back(frame);
      return;
    case FrameKind::kSend: {
      Frame reply;
      reply.kind = FrameKind::kAnswer;
      reply.sequence = frame.sequence;
      reply.lParam = static_cast<std::uint64_t>(answer_ ? answer_(frame) : 1);
      Write(reply);
      inbox_.push_back(frame);
      return;
    }
    case FrameKind::kPost:
      inbox_.push_back(frame);
      return;
    case FrameKind::kWindowGone:
      return;
  }
}

}  // namespace zuvo::channelclient
