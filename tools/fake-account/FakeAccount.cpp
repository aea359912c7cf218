// A stand-in for the outside account library: QXVerifyAccount and QXModifyAccountPW each send
// one line to host:port and return what comes back. The line is
//   "QXVERIFY|user|password\n"  or  "QXMODIFY|user|current|new\n";
// the answer expected is "field0|result|text\n": the result is returned and the text copied into
// the caller's 512-byte buffer. No answer (closed, unreadable, timed out) returns -1 with a text
// of its own. Every wait is bounded (FakeAccountSetWaitMs, default 10 s).
//
// The Fake* exports let a test choose how the library misbehaves towards the listener and read
// what it was called with.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int kTextBytes = 512;

// How the library treats the host it is pointed at.
enum Mode {
  kNormal = 0,     // send the line, read the answer
  kNoConnect = 1,  // never connect; return -1 at once
  kClose = 2,      // connect and close without sending
  kLongLine = 3,   // send 127 bytes without a line feed, then wait for the answer
  kStall = 4,      // connect, send nothing, wait for the answer (or the peer's close)
};

std::mutex lock;
std::atomic<int> mode{kNormal};
std::atomic<int> waitMs{10000};
std::atomic<int> calls{0};
std::string lastHost;
std::string lastLine;
int lastPort = 0;
int lastFlags = 0;

void Record(const char* host, int port, int flags, const std::string& line) {
  std::lock_guard<std::mutex> guard(lock);
  ++calls;
  lastHost = host ? host : "";
  lastPort = port;
  lastFlags = flags;
  lastLine = line;
}

void SetText(char* message, const std::string& text) {
  if (message == nullptr) return;
  std::snprintf(message, kTextBytes, "%s", text.c_str());
}

int Connect(const char* host, int port) {
  if (host == nullptr || port <= 0 || port > 65535) return -1;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, std::to_string(port).c_str(), &hints, &found) != 0 || found == nullptr) return -1;
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd >= 0 && connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
    close(fd);
    freeaddrinfo(found);
    return -1;
  }
  freeaddrinfo(found);
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads up to a line feed within the wait bound: the line, or empty when none came whole.
std::string ReadLine(int fd) {
  std::string line;
  const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs.load());
  char buffer[256];
  while (line.size() < kTextBytes - 1 && (line.empty() || line.back() != '\n')) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return {};
    line.append(buffer, static_cast<std::size_t>(n));
  }
  if (line.empty() || line.back() != '\n') return {};
  return line;
}

// The field after the n-th '|' up to the next '|' or the line's end, trailing blanks removed.
std::string Field(const std::string& line, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) {
    at = line.find('|', at);
    if (at == std::string::npos) return {};
    ++at;
  }
  std::size_t end = line.find('|', at);
  std::string field = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
  while (!field.empty() && static_cast<unsigned char>(field.back()) <= ' ') field.pop_back();
  return field;
}

[[maybe_unused]] int Exchange(char* message, const std::string& line, const char* host, int port, int flags) {
  Record(host, port, flags, line);
  SetText(message, "");
  const int how = mode.load();
  if (how == kNoConnect) {
    SetText(message, "account library: not connected");
    return -1;
  }
  const int fd = Connect(host, port);
  if (fd < 0) {
    SetText(message, "account library: server unreachable");
    return -1;
  }
  bool sent = true;
  if (how == kNormal) sent = SendAll(fd, line);
  if (how == kLongLine) sent = SendAll(fd, std::string(127, 'x'));
  if (how == kClose) {
    close(fd);
    SetText(message, "account library: closed");
    return -1;
  }
  const std::string answer = sent ? ReadLine(fd) : std::string();
  close(fd);
  if (answer.empty() || answer.find('|') == std::string::npos) {
    SetText(message, "account library: no answer");
    return -1;
  }
  SetText(message, Field(answer, 2));
  return std::atoi(Field(answer, 1).c_str());
}

[[maybe_unused]] std::string Text(const char* text) { return text ? text : ""; }

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef FAKE_ACCOUNT_WITHOUT_EXPORTS
FAKE_EXPORT int QXVerifyAccount(char* message, const char* user, const char* password, const char* host, int port,
                                int flags) {
  return Exchange(message, "QXVERIFY|" + Text(user) + "|" + Text(password) + "\n", host, port, flags);
}

FAKE_EXPORT int QXModifyAccountPW(char* message, const char* user, const char* oldPassword, const char* newPassword,
                                  const char* host, int port, int flags) {
  return Exchange(message, "QXMODIFY|" + Text(user) + "|" + Text(oldPassword) + "|" + Text(newPassword) + "\n", host,
                  port, flags);
}
#endif

FAKE_EXPORT void FakeAccountSetMode(int value) { mode.store(value); }
FAKE_EXPORT void FakeAccountSetWaitMs(int value) { waitMs.store(value); }
FAKE_EXPORT int FakeAccountCalls() { return calls.load(); }
FAKE_EXPORT int FakeAccountLastPort() {
  std::lock_guard<std::mutex> guard(lock);
  return lastPort;
}
FAKE_EXPORT int FakeAccountLastFlags() {
  std::lock_guard<std::mutex> guard(lock);
  return lastFlags;
}
// Copies the last host and the last line sent (terminated, cut to size - 1 bytes).
FAKE_EXPORT void FakeAccountLastHost(char* buffer, int size) {
  std::lock_guard<std::mutex> guard(lock);
  if (buffer && size > 0) std::snprintf(buffer, static_cast<std::size_t>(size), "%s", lastHost.c_str());
}
FAKE_EXPORT void FakeAccountLastLine(char* buffer, int size) {
  std::lock_guard<std::mutex> guard(lock);
  if (buffer && size > 0) std::snprintf(buffer, static_cast<std::size_t>(size), "%s", lastLine.c_str());
}
