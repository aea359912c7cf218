#include "quoteserver/RawClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quoteservertest {
namespace {

constexpr int kReplyTimeoutMs = 30000;   // generous: sanitizer builds on a loaded machine are slow

}  // namespace

std::string Reply::Data(std::size_t head) const {
  std::string data;
  for (const Frame& frame : frames) {
    if (frame.body.size() > head) data += frame.body.substr(head);
  }
  return data;
}

int Reply::level() const { return frames.empty() || frames[0].body.size() < 3 ? -1 : static_cast<std::uint8_t>(frames[0].body[2]); }

std::string Reply::text() const {
  if (frames.empty() || frames[0].body.size() < 3) return {};
  const std::string rest = frames[0].body.substr(3);
  return rest.substr(0, rest.find('\0'));
}

RawClient::RawClient(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  const int on = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

void RawClient::Send(std::uint8_t type, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = '@';
  frame[1] = static_cast<char>(type);
  Put16(&frame, 2, 1);
  Put16(&frame, 6, static_cast<std::uint16_t>(body.size()));
  SendRaw(frame + body);
}

void RawClient::SendRaw(const std::string& bytes) {
  std::size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return;
    done += static_cast<std::size_t>(sent);
  }
}

bool RawClient::ReadExactly(void* bytes, std::size_t size, int timeoutMs) {
  auto* p = static_cast<char*>(bytes);
  std::size_t done = 0;
  while (done < size) {
    pollfd poller{fd_, POLLIN, 0};
    if (::poll(&poller, 1, timeoutMs) <= 0) return false;
    const ssize_t got = ::recv(fd_, p + done, size - done, 0);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool RawClient::ReadFrame(Frame* frame) {
  unsigned char header[10];
  if (fd_ < 0 || !ReadExactly(header, sizeof header, kReplyTimeoutMs)) return false;
  frame->magic = header[0];
  frame->type = header[1];
  frame->count = static_cast<std::uint16_t>(header[2] | (header[3] << 8));
  frame->index = static_cast<std::uint16_t>(header[4] | (header[5] << 8));
  frame->wireLength = static_cast<std::size_t>(header[6] | (header[7] << 8));
  frame->compressed = header[8];
  std::string body(frame->wireLength, '\0');
  if (!ReadExactly(body.data(), body.size(), kReplyTimeoutMs)) return false;
  if (frame->compressed == 0) {
    frame->body = std::move(body);
    return true;
  }
  return DecodeWmc(body, &frame->body);
}

bool RawClient::ReadReply(Reply* reply) {
  reply->frames.clear();
  for (;;) {
    Frame frame;
    if (!ReadFrame(&frame)) return false;
    if (frame.index != reply->frames.size() || frame.index >= frame.count) return false;
    if (!reply->frames.empty() && (frame.type != reply->type || frame.count != reply->frames[0].count)) return false;
    reply->type = frame.type;
    reply->frames.push_back(std::move(frame));
    if (reply->frames.back().index + 1 == reply->frames.back().count) return true;
  }
}

bool RawClient::WaitClosed() {
  char drain[4096];
  for (;;) {
    pollfd poller{fd_, POLLIN, 0};
    if (::poll(&poller, 1, kReplyTimeoutMs) <= 0) return false;
    const ssize_t got = ::recv(fd_, drain, sizeof drain, 0);
    if (got == 0) return true;
    if (got < 0) return errno == ECONNRESET;
  }
}

bool RawClient::ReadBytes(std::size_t size, std::string* bytes) {
  bytes->assign(size, '\0');
  return fd_ >= 0 && ReadExactly(bytes->data(), size, kReplyTimeoutMs);
}

bool RawClient::ReadRawReply(std::string* bytes) {
  bytes->clear();
  for (;;) {
    std::string header;
    if (!ReadBytes(10, &header)) return false;
    const std::uint16_t count = Get16(header, 2);
    const std::uint16_t index = Get16(header, 4);
    std::string body;
    if (!ReadBytes(Get16(header, 6), &body)) return false;
    *bytes += header + body;
    if (index + 1 >= count) return true;
  }
}

bool RawClient::ReadUntilClosed(std::string* bytes) {
  bytes->clear();
  char chunk[4096];
  for (;;) {
    pollfd poller{fd_, POLLIN, 0};
    if (::poll(&poller, 1, kReplyTimeoutMs) <= 0) return false;
    const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
    if (got == 0) return true;
    if (got < 0) return errno == ECONNRESET;
    bytes->append(chunk, static_cast<std::size_t>(got));
  }
}

std::size_t RawClient::PeekAvailable() {
  pollfd poller{fd_, POLLIN, 0};
  if (::poll(&poller, 1, kReplyTimeoutMs) <= 0) return 0;
  int available = 0;
  if (ioctl(fd_, FIONREAD, &available) != 0) return 0;
  return static_cast<std::size_t>(available);
}

bool RawClient::Quiet() {
  pollfd poller{fd_, POLLIN, 0};
  return fd_ >= 0 && ::poll(&poller, 1, 0) == 0;
}

bool RawClient::LogIn(const std::string& user, const std::string& password) {
  Send(3, LoginBody(user, password, 2));
  Reply reply;
  return ReadReply(&reply) && reply.type == 3;
}

std::string LoginBody(const std::string& user, const std::string& password, std::uint32_t mode) {
  std::string body(64, '\0');
  body.replace(0, user.size(), user);
  body.replace(16, password.size(), password);
  Put16(&body, 28, 1);
  Put32(&body, 60, mode);
  return body;
}

std::string DataLoginBody(const std::string& user, const std::string& password) {
  std::string body(160, '\0');
  body.replace(0, user.size(), user);
  body.replace(16, password.size(), password);
  Put16(&body, 28, 2);
  return body;
}

std::string PasswordBody(const std::string& user, const std::string& current, const std::string& next) {
  std::string body(40, '\0');
  body.replace(0, user.size(), user);
  body.replace(16, current.size(), current);
  body.replace(28, next.size(), next);
  return body;
}

std::string OpeningFrameBody() {
  std::string body(4, '\0');
  body[0] = 4;
  return body;
}

std::string SubscriptionBody(const std::vector<SubscribedKey>& keys, int fresh, int count) {
  std::string body(774, '\0');
  for (std::size_t k = 0; k < keys.size() && k < 256; ++k) {
    body[k * 3] = static_cast<char>(keys[k].market);
    Put16(&body, k * 3 + 1, keys[k].index);
  }
  Put16(&body, 768, static_cast<std::uint16_t>(count < 0 ? keys.size() : static_cast<std::size_t>(count)));
  Put16(&body, 770, static_cast<std::uint16_t>(static_cast<std::int16_t>(fresh)));
  Put16(&body, 772, 1);
  return body;
}

std::string ConfigFileBody(const std::string& name, std::uint16_t size, std::uint32_t date) {
  std::string body = Field(38, 0, name);
  Put16(&body, 32, size);
  Put32(&body, 34, date);
  return body;
}

void Put16(std::string* bytes, std::size_t at, std::uint16_t value) {
  (*bytes)[at] = static_cast<char>(value & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string* bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) | (static_cast<std::uint8_t>(bytes[at + 1]) << 8));
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

std::string Field(std::size_t size, std::size_t at, const std::string& text) {
  std::string body(size, '\0');
  body.replace(at, text.size(), text);
  return body;
}

bool DecodeWmc(const std::string& stream, std::string* out, std::size_t capacity) {
  if (stream.compare(0, 5, "WMC15") != 0) return false;
  std::size_t bit = 5 * 8;
  const std::size_t bits = stream.size() * 8;
  auto read = [&](int width, std::uint32_t* code) {
    if (bit + static_cast<std::size_t>(width) > bits) return false;
    *code = 0;
    for (int i = 0; i < width; ++i, ++bit) {
      const auto byte = static_cast<std::uint8_t>(stream[bit / 8]);
      *code = (*code << 1) | ((byte >> (7 - bit % 8)) & 1u);
    }
    return true;
  };
  std::vector<std::string> dictionary;
  out->clear();
  for (;;) {
    int width = 9;
    dictionary.assign(259, std::string());
    for (int c = 0; c < 256; ++c) dictionary[static_cast<std::size_t>(c)] = std::string(1, static_cast<char>(c));
    std::uint32_t code = 0;
    if (out->size() > capacity - 5 || !read(width, &code)) return false;
    if (code == 256) return true;
    if (code > 255) return false;   // the first code after the start or a reset is a literal
    std::string previous = dictionary[code];
    *out += previous;
    bool reset = false;
    while (!reset) {
      if (out->size() > capacity - 5 || !read(width, &code)) return false;
      if (code == 256) return true;
      if (code == 258) {
        reset = true;
        break;
      }
      if (code == 257) {
        if (++width > 12) return false;
        continue;
      }
      std::string current;
      if (code < dictionary.size() && (code < 256 || code >= 259)) {
        current = dictionary[code];
      } else if (code == dictionary.size()) {
        current = previous + previous[0];
      } else {
        return false;
      }
      *out += current;
      dictionary.push_back(previous + current[0]);
      previous = current;
    }
  }
}

}  // namespace quoteservertest
