// The system's TCP calls for platform/WinSock.h (see platform/internal/SocketSystem.h). This
// file must not include platform/WinSock.h: the system headers below declare the same names.
#include "platform/internal/SocketSystem.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zuvo::platform::sockets::sys {

const short kReadable = POLLIN;
const short kWritable = POLLOUT;
const short kPeerClosed = POLLRDHUP;
const short kHangUp = POLLHUP;
const short kError = POLLERR;

namespace {

int Failed() { return -WindowsError(errno); }

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = port;
  in.sin_addr.s_addr = address;
  return in;
}

int NameOf(int fd, bool peer, std::uint32_t* address, std::uint16_t* port) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  int result = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&in), &length)
                    : ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
  if (result != 0) return Failed();
  if (address != nullptr) *address = in.sin_addr.s_addr;
  if (port != nullptr) *port = in.sin_port;
  return 0;
}

}  // namespace

int WindowsError(int systemError) {
  switch (systemError) {
    case 0: return 0;
    case EAGAIN: return 10035;   // EWOULDBLOCK is the same number here
    case EINPROGRESS: return 10035;   // a non-blocking connect on Windows says "would block"
    case EALREADY: return 10037;
    case EINTR: return 10004;
    case EBADF:
    case ENOTSOCK: return 10038;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EMSGSIZE: return 10040;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 10050;   // anything else: the network is not usable
  }
}

int OpenStream() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed();
  // Small request frames go out at once, as the clients expect of their sends.
  int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

void CloseDescriptor(int fd) {
  if (fd >= 0) ::close(fd);
}

int Connect(int fd, std::uint32_t address, std::uint16_t port) {
  sockaddr_in in = MakeAddress(address, port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0) return 0;
  return Failed();
}

int PendingError(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Failed();
  return -WindowsError(error);
}

long Send(int fd, const char* data, std::size_t length) {
  // No SIGPIPE for a peer that went away: the error comes back as 10054.
  ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
  return sent >= 0 ? static_cast<long>(sent) : Failed();
}

long Receive(int fd, char* buffer, std::size_t length, bool peek) {
  ssize_t got = ::recv(fd, buffer, length, MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
  return got >= 0 ? static_cast<long>(got) : Failed();
}

int BytesReadable(int fd) {
  int count = 0;
  if (::ioctl(fd, FIONREAD, &count) != 0) return Failed();
  return count;
}

int Accept(int fd, std::uint32_t* address, std::uint16_t* port) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  int accepted = ::accept4(fd, reinterpret_cast<sockaddr*>(&in), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (accepted < 0) return Failed();
  int on = 1;
  ::setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (address != nullptr) *address = in.sin_addr.s_addr;
  if (port != nullptr) *port = in.sin_port;
  return accepted;
}

int Bind(int fd, std::uint32_t address, std::uint16_t port) {
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in in = MakeAddress(address, port);
  return ::bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) == 0 ? 0 : Failed();
}

int Listen(int fd, int backlog) { return ::listen(fd, backlog) == 0 ? 0 : Failed(); }

int LocalName(int fd, std::uint32_t* address, std::uint16_t* port) { return NameOf(fd, false, address, port); }

int PeerName(int fd, std::uint32_t* address, std::uint16_t* port) { return NameOf(fd, true, address, port); }

int Shutdown(int fd, int how) {
  int mode = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return ::shutdown(fd, mode) == 0 ? 0 : Failed();
}

short PollNow(int fd, short events) {
  pollfd entry{fd, events, 0};
  int result;
  do {
    result = ::poll(&entry, 1, 0);
  } while (result < 0 && errno == EINTR);
  return result > 0 ? entry.revents : 0;
}

bool ParseDotted(const char* text, std::uint32_t* address) {
  in_addr parsed{};
  if (text == nullptr || ::inet_aton(text, &parsed) == 0) return false;
  *address = parsed.s_addr;
  return true;
}

bool LookUpIpv4(const char* name, std::uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  for (addrinfo* it = found; it != nullptr; it = it->ai_next) {
    if (it->ai_family == AF_INET && it->ai_addr != nullptr) {
      *address = reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr.s_addr;
      ok = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

int OpenWakeDescriptor() { return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void SignalWake(int fd) {
  std::uint64_t one = 1;
  // A full counter already wakes the poll; nothing is lost when this write fails.
  [[maybe_unused]] ssize_t written = ::write(fd, &one, sizeof one);
}

void ClearWake(int fd) {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t got = ::read(fd, &count, sizeof count);
}

void PollWait(PollEntry* entries, std::size_t count, bool block) {
  static_assert(sizeof(PollEntry) == sizeof(pollfd));
  static_assert(offsetof(PollEntry, fd) == offsetof(pollfd, fd));
  static_assert(offsetof(PollEntry, events) == offsetof(pollfd, events));
  static_assert(offsetof(PollEntry, revents) == offsetof(pollfd, revents));
  for (std::size_t i = 0; i < count; ++i) entries[i].revents = 0;
  int result;
  do {
    result = ::poll(reinterpret_cast<pollfd*>(entries), count, block ? -1 : 0);
  } while (result < 0 && errno == EINTR);
}

}  // namespace zuvo::platform::sockets::sys
