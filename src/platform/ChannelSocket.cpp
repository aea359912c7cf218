// The message channel's listener (platform/MessageChannel.h): one local stream socket in a
// private per-user folder, a thread that accepts peers and reads their bytes into the core
// (internal/MessageChannel.h), and the address exported to the programs we start.
#include "platform/MessageChannel.h"

#include "platform/internal/MessageChannel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace zuvo::platform {
namespace {

// A write to a peer that does not read for this long fails, so a stuck peer cannot hold a
// sender (the UI thread, posting) for ever.
constexpr int kWriteTimeoutSeconds = 2;

struct Link {
  std::mutex mutex;
  int fd = -1;   // under mutex; -1 once closed

  bool Write(const std::string& bytes) {
    std::lock_guard lock(mutex);
    std::size_t at = 0;
    while (at < bytes.size() && fd >= 0) {
      const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return at == bytes.size();
  }
  void Close() {
    std::lock_guard lock(mutex);
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

struct Peer {
  std::shared_ptr<Link> link;
  std::shared_ptr<channel::Connection> connection;
};

struct Listener {
  int listenFd = -1;
  int wakeFd = -1;
  std::string address;
  bool hadPrevious = false;
  std::string previous;
  std::thread thread;
};

std::mutex gListenerMutex;
std::unique_ptr<Listener> gListener;   // under gListenerMutex

// The folder exists, is a real folder of this user and nobody else may enter it.
bool MakePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return false;
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
  return true;
}

std::string DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return std::string(runtime) + "/zuvo";
  return "/tmp/zuvo-" + std::to_string(::getuid());
}

void Accept(int listenFd, std::vector<Peer>& peers) {
  const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ucred credentials{};
  socklen_t size = sizeof credentials;
  // Only this user's programs; the folder's mode already keeps others out.
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || credentials.uid != ::getuid()) {
    ::close(fd);
    return;
  }
  timeval timeout{kWriteTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  auto link = std::make_shared<Link>();
  link->fd = fd;
  std::weak_ptr<Link> weak = link;
  auto connection = channel::Attach(static_cast<DWORD>(credentials.pid), [weak](const std::string& bytes) {
    auto held = weak.lock();
    return held && held->Write(bytes);
  });
  peers.push_back(Peer{link, connection});
}

void Serve(int listenFd, int wakeFd) {
  std::vector<Peer> peers;
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (;;) {
    std::vector<pollfd> watched{{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
    for (const Peer& peer : peers) watched.push_back({peer.link->fd, POLLIN, 0});
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[0].revents != 0) break;
    std::vector<Peer> kept;
    for (std::size_t i = 0; i < peers.size(); ++i) {
      Peer& peer = peers[i];
      const short events = watched[i + 2].revents;
      bool gone = false;
      if (events & POLLIN) {
        const ssize_t n = ::recv(watched[i + 2].fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
          channel::Receive(peer.connection, buffer.data(), static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          gone = true;
        }
      } else if (events & (POLLHUP | POLLERR | POLLNVAL)) {
        gone = true;
      }
      if (gone) {
        channel::Detach(peer.connection);
        peer.link->Close();
      } else {
        kept.push_back(std::move(peer));
      }
    }
    peers = std::move(kept);
    if (watched[1].revents & POLLIN) Accept(listenFd, peers);
  }
  for (Peer& peer : peers) {
    channel::Detach(peer.connection);
    peer.link->Close();
  }
}

}  // namespace

bool StartMessageChannel(const MessageChannelOptions& options) {
  std::lock_guard lock(gListenerMutex);
  if (gListener) return true;
  const std::string folder = options.folder.empty() ? DefaultFolder() : options.folder;
  if (!MakePrivateFolder(folder)) return false;
  const std::string address = folder + "/channel-" + std::to_string(::getpid()) + ".sock";
  sockaddr_un name{};
  name.sun_family = AF_UNIX;
  if (address.size() >= sizeof name.sun_path) return false;
  std::memcpy(name.sun_path, address.c_str(), address.size() + 1);

  auto listener = std::make_unique<Listener>();
  listener->listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener->listenFd < 0) return false;
  // A socket left by an earlier process of the same id that did not stop cleanly.
  ::unlink(address.c_str());
  if (::bind(listener->listenFd, reinterpret_cast<sockaddr*>(&name), sizeof name) != 0 ||
      ::listen(listener->listenFd, 16) != 0) {
    ::close(listener->listenFd);
    return false;
  }
  listener->wakeFd = ::eventfd(0, EFD_CLOEXEC);
  if (listener->wakeFd < 0) {
    ::close(listener->listenFd);
    ::unlink(address.c_str());
    return false;
  }
  listener->address = address;
  if (const char* previous = std::getenv(kChannelAddressVariable)) {
    listener->hadPrevious = true;
    listener->previous = previous;
  }
  ::setenv(kChannelAddressVariable, address.c_str(), 1);
  listener->thread = std::thread(Serve, listener->listenFd, listener->wakeFd);
  gListener = std::move(listener);
  return true;
}

void StopMessageChannel() {
  std::unique_ptr<Listener> listener;
  {
    std::lock_guard lock(gListenerMutex);
    listener = std::move(gListener);
  }
  if (!listener) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(listener->wakeFd, &one, sizeof one);
  listener->thread.join();
  ::close(listener->wakeFd);
  ::close(listener->listenFd);
  ::unlink(listener->address.c_str());
  if (listener->hadPrevious) {
    ::setenv(kChannelAddressVariable, listener->previous.c_str(), 1);
  } else {
    ::unsetenv(kChannelAddressVariable);
  }
}

std::string MessageChannelAddress() {
  std::lock_guard lock(gListenerMutex);
  return gListener ? gListener->address : std::string();
}

}  // namespace zuvo::platform
