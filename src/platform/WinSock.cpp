// TCP sockets under their Windows names (platform/WinSock.h). A socket is a kernel object of the
// shared handle table holding a non-blocking descriptor; blocking calls wait for readiness on
// the platform's clock. Registered sockets are looked at by one watcher thread, which posts
// their notifications to the UI thread's queue; a message hook of the queue recognises each
// notification as it is taken and drops those that went stale (socket closed, registration
// changed) before the window sees them. Notifications waiting in the queue are tracked per
// socket, which is what keeps at most one per event and socket.
#include "platform/WinSock.h"

#include "platform/HandleTable.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "platform/internal/Clock.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/SocketSystem.h"
#include "platform/internal/SocketWatcher.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace zuvo::platform;

namespace zuvo::platform::sockets {
namespace {

constexpr DWORD kDefaultConnectTimeout = 10000;
constexpr DWORD kDefaultIoTimeout = 30000;
constexpr long kKnownEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

std::atomic<DWORD> connectTimeout{kDefaultConnectTimeout};
std::atomic<DWORD> ioTimeout{kDefaultIoTimeout};
std::atomic<Resolver> installedResolver{nullptr};
std::atomic<int> openSockets{0};
thread_local int lastSocketError = 0;

int Fail(int error) {
  lastSocketError = error;
  return SOCKET_ERROR;
}

SOCKET FailSocket(int error) {
  lastSocketError = error;
  return INVALID_SOCKET;
}

class Socket final : public handles::KernelObject {
 public:
  explicit Socket(int fd) : fd(fd) {}
  ~Socket() override { sys::CloseDescriptor(fd); }
  void Close() override;

  const int fd;
  SOCKET handle = 0;
  std::atomic<bool> closed{false};
  std::atomic<bool> nonBlocking{false};
  std::atomic<bool> listening{false};
  std::atomic<bool> connecting{false};   // a non-blocking connect in progress
  std::atomic<bool> connected{false};    // a connect succeeded (or it was accepted)
};

// A notification posted to the queue and not yet taken from it. A stale one (live false) is
// dropped when taken.
struct Notice {
  HWND window;
  UINT message;
  LPARAM lParam;
  bool live;
};

// A socket registered with WSAAsyncSelect (a mask other than 0) and open.
struct Watched {
  std::shared_ptr<Socket> socket;
  HWND window = nullptr;
  UINT message = 0;
  long mask = 0;
  bool readArmed = true;     // FD_READ is posted when bytes are seen
  bool writeArmed = false;   // FD_WRITE is posted when the socket is seen writable
  bool acceptArmed = true;   // FD_ACCEPT is posted when a connection is seen waiting
  bool peerClosed = false;   // the peer's FIN or a reset was seen
  int closeError = 0;
  bool closeReported = false;   // FD_CLOSE posted (once per socket)
};

// A thread inside a blocking call, waiting for its socket to be ready.
struct Waiter {
  int fd;
  short events;
  const Socket* socket;
  bool ready;
};

struct State {
  std::unordered_map<SOCKET, Watched> watched;
  std::unordered_map<SOCKET, std::vector<Notice>> notices;
  std::unordered_map<std::uint64_t, Waiter> waiters;
  std::uint64_t nextWaiter = 1;
  std::uint64_t passesStarted = 0;
  std::uint64_t passesDone = 0;
  std::uint64_t passWanted = 0;   // a test waits for this pass: it polls without blocking
  int wakeFd = -1;
  bool watcherRunning = false;
};

struct Registry {
  ::zuvo::platform::Guarded<State> state;
  std::condition_variable changed;   // with state's lock: a waiter became ready, a pass ended
};

Registry& TheRegistry() {
  static auto* registry = new Registry;   // never destroyed: the watcher runs until the process ends
  return *registry;
}

using StateAccess = ::zuvo::platform::Guarded<State>::Access;

void WatchLoop();

void StartWatcher(State& state) {
  if (state.watcherRunning) return;
  state.wakeFd = sys::OpenWakeDescriptor();
  state.watcherRunning = true;
  std::thread(WatchLoop).detach();
}

void WakeWatcher(State& state) {
  if (state.watcherRunning) sys::SignalWake(state.wakeFd);
}

std::shared_ptr<Socket> Find(SOCKET s) {
  auto socket = handles::LookupAs<Socket>(reinterpret_cast<HANDLE>(s));
  if (socket && socket->closed.load()) return nullptr;
  return socket;
}

bool HasLive(State& state, SOCKET s, long event) {
  auto it = state.notices.find(s);
  if (it == state.notices.end()) return false;
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](const Notice& n) { return n.live && WSAGETSELECTEVENT(n.lParam) == event; });
}

void MarkStale(State& state, SOCKET s) {
  auto it = state.notices.find(s);
  if (it == state.notices.end()) return;
  auto& list = it->second;
  for (Notice& n : list) n.live = false;
  // A notification to a window that is gone is never taken from the queue: forget it now.
  list.erase(std::remove_if(list.begin(), list.end(), [](const Notice& n) { return !IsWindow(n.window); }),
             list.end());
  if (list.empty()) state.notices.erase(it);
}

// Posts a notification and tracks it. The notice is entered before the post, under the lock
// the message hook takes, so the hook always finds it.
void Post(State& state, SOCKET s, const Watched& w, long event, int error) {
  const LPARAM lParam = MAKELPARAM(static_cast<WORD>(event), static_cast<WORD>(error));
  auto& list = state.notices[s];
  list.push_back(Notice{w.window, w.message, lParam, true});
  if (!PostMessageA(w.window, w.message, static_cast<WPARAM>(s), lParam)) {
    list.pop_back();
    if (list.empty()) state.notices.erase(s);
  }
}

void PostOnce(State& state, SOCKET s, const Watched& w, long event, int error) {
  if ((w.mask & event) == 0 || HasLive(state, s, event)) return;
  Post(state, s, w, event, error);
}

void ReportCloseWhenDue(State& state, SOCKET s, Watched& w) {
  if (!w.peerClosed || w.closeReported || (w.mask & FD_CLOSE) == 0) return;
  w.closeReported = true;
  Post(state, s, w, FD_CLOSE, w.closeError);
}

// The readiness bits the watcher asks for. Level-triggered bits are asked only while their
// event is armed, so a socket that stays readable does not keep the watcher spinning.
short Interest(const Watched& w) {
  const Socket& socket = *w.socket;
  if (socket.closed.load() || w.mask == 0) return 0;
  if (socket.listening.load()) return w.acceptArmed && (w.mask & FD_ACCEPT) ? sys::kReadable : 0;
  if (socket.connecting.load()) return sys::kWritable;
  // An unconnected socket polls as hung up: nothing to watch until it connects.
  if (!socket.connected.load()) return 0;
  short events = 0;
  if (!w.peerClosed) {
    if (w.readArmed && (w.mask & FD_READ)) events |= sys::kReadable;
    if ((w.mask & FD_CLOSE) && !w.closeReported) events |= sys::kPeerClosed;
  }
  // After the peer's FIN the socket may still send; after a reset it may not.
  if (w.writeArmed && (w.mask & FD_WRITE) && w.closeError == 0) events |= sys::kWritable;
  return events;
}

// Acts on what a poll reported for a registered socket.
void Examine(State& state, SOCKET s, Watched& w, short revents) {
  Socket& socket = *w.socket;
  const int fd = socket.fd;
  if (socket.listening.load()) {
    if ((revents & (sys::kReadable | sys::kError | sys::kHangUp)) && w.acceptArmed) {
      w.acceptArmed = false;
      PostOnce(state, s, w, FD_ACCEPT, 0);
    }
    return;
  }
  if (socket.connecting.load()) {
    if ((revents & (sys::kWritable | sys::kError | sys::kHangUp)) == 0) return;
    const int error = -sys::PendingError(fd);
    socket.connecting.store(false);
    if (error == 0) socket.connected.store(true);
    PostOnce(state, s, w, FD_CONNECT, error);
    if (error != 0) {
      // A connect that failed has no connection to close.
      w.peerClosed = true;
      w.closeReported = true;
      return;
    }
    // A new connection: what was known of an earlier state no longer holds.
    w.peerClosed = false;
    w.closeError = 0;
    w.closeReported = false;
    w.readArmed = !HasLive(state, s, FD_READ);
    w.writeArmed = false;
    PostOnce(state, s, w, FD_WRITE, 0);
    return;
  }
  if (!w.peerClosed && (revents & (sys::kReadable | sys::kPeerClosed | sys::kHangUp | sys::kError))) {
    const int available = std::max(0, sys::BytesReadable(fd));
    bool closing = (revents & (sys::kPeerClosed | sys::kHangUp | sys::kError)) != 0;
    int error = 0;
    if (revents & sys::kError) {
      error = -sys::PendingError(fd);
      if (error == 0) error = WSAECONNRESET;
    }
    if (!closing && available == 0) {
      // Readable with nothing to read: the peer's close, or an error to collect.
      char byte;
      const long peeked = sys::Receive(fd, &byte, 1, true);
      if (peeked == 0) {
        closing = true;
      } else if (peeked < 0 && peeked != -WSAEWOULDBLOCK) {
        closing = true;
        error = static_cast<int>(-peeked);
      }
    }
    if (closing) {
      w.peerClosed = true;
      w.closeError = error;
    }
    if (available > 0 && w.readArmed) {
      w.readArmed = false;
      PostOnce(state, s, w, FD_READ, 0);
    }
  }
  if ((revents & sys::kWritable) && w.writeArmed && w.closeError == 0) {
    w.writeArmed = false;
    PostOnce(state, s, w, FD_WRITE, 0);
  }
  // Hung up or failed: nothing more will become writable, and asking would spin.
  if (revents & (sys::kHangUp | sys::kError)) w.writeArmed = false;
  ReportCloseWhenDue(state, s, w);
}

struct PollTarget {
  SOCKET socket = 0;              // a registered socket, or
  std::uint64_t waiter = 0;       // a blocking call's wait, or neither (the wake descriptor)
  std::shared_ptr<Socket> keep;   // keeps the descriptor open while it is polled
};

void WatchLoop() {
  Registry& registry = TheRegistry();
  std::vector<sys::PollEntry> entries;
  std::vector<PollTarget> targets;
  bool blocking = true;
  for (;;) {
    entries.clear();
    targets.clear();
    {
      auto state = registry.state.Lock();
      entries.push_back({state->wakeFd, sys::kReadable, 0});
      targets.emplace_back();
      for (auto& [handle, w] : state->watched) {
        const short events = Interest(w);
        if (events == 0) continue;
        entries.push_back({w.socket->fd, events, 0});
        targets.push_back(PollTarget{handle, 0, w.socket});
      }
      for (auto& [id, waiter] : state->waiters) {
        if (waiter.ready) continue;
        entries.push_back({waiter.fd, waiter.events, 0});
        targets.push_back(PollTarget{0, id, nullptr});
      }
      ++state->passesStarted;
      blocking = state->passWanted < state->passesStarted;
    }
    sys::PollWait(entries.data(), entries.size(), blocking);
    {
      auto state = registry.state.Lock();
      if (entries[0].revents != 0) sys::ClearWake(state->wakeFd);
      for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i].revents == 0) continue;
        const PollTarget& target = targets[i];
        if (target.waiter != 0) {
          auto it = state->waiters.find(target.waiter);
          if (it != state->waiters.end()) it->second.ready = true;
          continue;
        }
        auto it = state->watched.find(target.socket);
        // Closed or registered anew meanwhile: what this poll saw belongs to the old one.
        if (it == state->watched.end() || it->second.socket != target.keep) continue;
        Examine(*state, target.socket, it->second, entries[i].revents);
      }
      ++state->passesDone;
    }
    registry.changed.notify_all();
    // Dropped without the lock: the last reference of a closed socket closes its descriptor.
    targets.clear();
  }
}

// Waits until the socket is ready for `events` (or its peer closed, or it was closed) or the
// deadline passes; false when the time ran out.
bool AwaitReady(const std::shared_ptr<Socket>& socket, short events, kernel::Deadline& deadline) {
  if (sys::PollNow(socket->fd, events) != 0) return true;
  const DWORD left = deadline.Left();
  if (left == 0) return false;
  Registry& registry = TheRegistry();
  auto state = registry.state.Lock();
  StartWatcher(*state);
  const std::uint64_t id = state->nextWaiter++;
  state->waiters[id] = Waiter{socket->fd, events, socket.get(), false};
  WakeWatcher(*state);
  const bool ready = kernel::WaitOnClock(registry.changed, state.lock(), left, [&] {
    return state->waiters[id].ready || socket->closed.load();
  });
  state->waiters.erase(id);
  return ready;
}

void Socket::Close() {
  if (closed.exchange(true)) return;
  openSockets.fetch_sub(1);
  Registry& registry = TheRegistry();
  {
    auto state = registry.state.Lock();
    state->watched.erase(handle);
    MarkStale(*state, handle);
    for (auto& [id, waiter] : state->waiters) {
      if (waiter.socket == this) waiter.ready = true;
    }
    WakeWatcher(*state);
  }
  registry.changed.notify_all();
}

// After a recv on a registered socket: FD_READ again at once while bytes remain, else when
// more arrive; the peer's close seen by the reader is reported like one the watcher saw.
void AfterReceive(SOCKET s, long result, int length) {
  auto state = TheRegistry().state.Lock();
  auto it = state->watched.find(s);
  if (it == state->watched.end()) return;
  Watched& w = it->second;
  if (result == -WSAEWOULDBLOCK) {
    w.readArmed = true;
    WakeWatcher(*state);
    return;
  }
  if (result < 0) {
    if (result == -WSAECONNRESET || result == -WSAECONNABORTED) {
      if (!w.peerClosed) w.closeError = static_cast<int>(-result);
      w.peerClosed = true;
      ReportCloseWhenDue(*state, s, w);
    }
    return;
  }
  if (result == 0 && length > 0) {
    w.peerClosed = true;
    ReportCloseWhenDue(*state, s, w);
    return;
  }
  if (sys::BytesReadable(w.socket->fd) > 0) {
    w.readArmed = false;
    PostOnce(*state, s, w, FD_READ, 0);
  } else {
    w.readArmed = true;
    WakeWatcher(*state);
  }
}

// Arms one event of a registered socket again and tells the watcher.
void Rearm(SOCKET s, bool Watched::*armed) {
  auto state = TheRegistry().state.Lock();
  auto it = state->watched.find(s);
  if (it == state->watched.end()) return;
  it->second.*armed = true;
  WakeWatcher(*state);
}

void AfterSendWouldBlock(SOCKET s) { Rearm(s, &Watched::writeArmed); }

void AfterAccept(SOCKET s) { Rearm(s, &Watched::acceptArmed); }

// The message hook: passes a live notification (forgetting it, so the next may be posted),
// swallows a stale one, and moves a FD_CLOSE behind a FD_READ of its socket still waiting.
bool FilterNotification(MSG& message) {
  auto state = TheRegistry().state.Lock();
  if (state->notices.empty()) return false;
  const SOCKET s = static_cast<SOCKET>(message.wParam);
  auto it = state->notices.find(s);
  if (it == state->notices.end()) return false;
  auto& list = it->second;
  auto notice = std::find_if(list.begin(), list.end(), [&](const Notice& n) {
    return n.window == message.hwnd && n.message == message.message && n.lParam == message.lParam;
  });
  if (notice == list.end()) return false;   // a message of the same number posted by someone else
  const bool live = notice->live;
  list.erase(notice);
  if (list.empty()) state->notices.erase(it);
  if (!live) return true;
  if (WSAGETSELECTEVENT(message.lParam) == FD_CLOSE && HasLive(*state, s, FD_READ)) {
    auto watched = state->watched.find(s);
    if (watched != state->watched.end()) {
      Post(*state, s, watched->second, FD_CLOSE, WSAGETSELECTERROR(message.lParam));
      return true;
    }
  }
  return false;
}

void InstallHookOnce() {
  static std::once_flag once;
  std::call_once(once, [] { ::zuvo::platform::AddMessageHook(FilterNotification); });
}

bool ReadAddress(const SOCKADDR* address, int length, std::uint32_t* ip, std::uint16_t* port, int* error) {
  if (address == nullptr || length < static_cast<int>(sizeof(SOCKADDR_IN))) {
    *error = WSAEFAULT;
    return false;
  }
  SOCKADDR_IN in;
  std::memcpy(&in, address, sizeof in);
  if (in.sin_family != WINSOCK_AF_INET) {
    *error = WSAEAFNOSUPPORT;
    return false;
  }
  *ip = in.sin_addr.s_addr;
  *port = in.sin_port;
  return true;
}

int WriteAddress(std::uint32_t ip, std::uint16_t port, SOCKADDR* address, int* length) {
  if (address == nullptr && length == nullptr) return 0;
  if (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN))) return WSAEFAULT;
  SOCKADDR_IN in{};
  in.sin_family = WINSOCK_AF_INET;
  in.sin_port = port;
  in.sin_addr.s_addr = ip;
  std::memcpy(address, &in, sizeof in);
  *length = sizeof in;
  return 0;
}

SOCKET RegisterSocket(int fd, bool connected) {
  auto socket = std::make_shared<Socket>(fd);
  socket->connected.store(connected);
  HANDLE handle = handles::Register(socket);
  if (handle == nullptr) {
    // The descriptor goes with the object.
    return FailSocket(WSAEMFILE);
  }
  socket->handle = reinterpret_cast<SOCKET>(handle);
  openSockets.fetch_add(1);
  return socket->handle;
}

struct HostAnswer {
  std::string name;
  std::uint32_t address = 0;
  char* addresses[2] = {nullptr, nullptr};
  char* aliases[1] = {nullptr};
  HOSTENT entry{};
};

}  // namespace

ScopedSocketTimeouts::ScopedSocketTimeouts(DWORD connectMs, DWORD ioMs)
    : previousConnect_(connectTimeout.exchange(connectMs)), previousIo_(ioTimeout.exchange(ioMs)) {}

ScopedSocketTimeouts::~ScopedSocketTimeouts() {
  connectTimeout.store(previousConnect_);
  ioTimeout.store(previousIo_);
}

ScopedResolver::ScopedResolver(Resolver resolver) : previous_(installedResolver.exchange(resolver)) {}

ScopedResolver::~ScopedResolver() { installedResolver.store(previous_); }

int OpenSocketCount() { return openSockets.load(); }

void AwaitWatcherPass() {
  Registry& registry = TheRegistry();
  auto state = registry.state.Lock();
  if (!state->watcherRunning) return;
  const std::uint64_t target = state->passesStarted + 1;
  state->passWanted = std::max(state->passWanted, target);
  WakeWatcher(*state);
  registry.changed.wait(state.lock(), [&] { return state->passesDone >= target; });
}

}  // namespace zuvo::platform::sockets

using namespace zuvo::platform::sockets;

int WSAStartup(WORD version, WSADATA* data) {
  if (data != nullptr) {
    *data = WSADATA{};
    data->wVersion = version;
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "TCP/IPv4 sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xFFFF;
  }
  return 0;
}

int WSAGetLastError() { return lastSocketError; }

void WSASetLastError(int error) { lastSocketError = error; }

SOCKET socket(int family, int type, int protocol) {
  if (family != WINSOCK_AF_INET) return FailSocket(WSAEAFNOSUPPORT);
  if (type != WINSOCK_SOCK_STREAM) return FailSocket(WSAESOCKTNOSUPPORT);
  if (protocol != 0 && protocol != WINSOCK_IPPROTO_TCP) return FailSocket(WSAEPROTONOSUPPORT);
  const int fd = sys::OpenStream();
  if (fd < 0) return FailSocket(-fd);
  return RegisterSocket(fd, false);
}

int connect(SOCKET s, const SOCKADDR* address, int length) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
  int error = 0;
  if (!ReadAddress(address, length, &ip, &port, &error)) return Fail(error);
  if (socket->listening.load()) return Fail(WSAEINVAL);
  // Windows refuses the "any" address and port 0 as a destination.
  if (ip == 0 || port == 0) return Fail(WSAEADDRNOTAVAIL);
  if (socket->connecting.load()) return Fail(WSAEALREADY);
  if (socket->connected.load()) return Fail(WSAEISCONN);
  int result = sys::Connect(socket->fd, ip, port);
  if (result == -WSAEWOULDBLOCK) {
    if (socket->nonBlocking.load()) {
      socket->connecting.store(true);
      auto state = TheRegistry().state.Lock();
      WakeWatcher(*state);
      return Fail(WSAEWOULDBLOCK);
    }
    kernel::Deadline deadline(connectTimeout.load());
    if (!AwaitReady(socket, sys::kWritable, deadline)) return Fail(WSAETIMEDOUT);
    if (socket->closed.load()) return Fail(WSAEINTR);
    result = sys::PendingError(socket->fd);
  }
  if (result < 0) return Fail(-result);
  socket->connected.store(true);
  return 0;
}

int send(SOCKET s, const char* data, int length, int flags) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  if (data == nullptr && length > 0) return Fail(WSAEFAULT);
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (!socket->connected.load()) return Fail(WSAENOTCONN);
  if (socket->nonBlocking.load()) {
    const long sent = sys::Send(socket->fd, data, static_cast<std::size_t>(length));
    // Fewer bytes taken than given also arms FD_WRITE: the sender waits for it to send the rest.
    if (sent == -WSAEWOULDBLOCK || (sent >= 0 && sent < length)) AfterSendWouldBlock(s);
    if (sent < 0) return Fail(static_cast<int>(-sent));
    return static_cast<int>(sent);
  }
  if (length == 0) return 0;
  kernel::Deadline deadline(ioTimeout.load());
  int done = 0;
  while (done < length) {
    const long sent = sys::Send(socket->fd, data + done, static_cast<std::size_t>(length - done));
    if (sent >= 0) {
      done += static_cast<int>(sent);
      continue;
    }
    if (sent != -WSAEWOULDBLOCK) return Fail(static_cast<int>(-sent));
    if (!AwaitReady(socket, sys::kWritable, deadline)) return Fail(WSAETIMEDOUT);
    if (socket->closed.load()) return Fail(WSAEINTR);
  }
  return done;
}

int recv(SOCKET s, char* buffer, int length, int flags) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  if (buffer == nullptr && length > 0) return Fail(WSAEFAULT);
  if ((flags & ~WINSOCK_MSG_PEEK) != 0) return Fail(WSAEOPNOTSUPP);
  if (!socket->connected.load()) return Fail(WSAENOTCONN);
  const bool peek = (flags & WINSOCK_MSG_PEEK) != 0;
  long got = sys::Receive(socket->fd, buffer, static_cast<std::size_t>(length), peek);
  if (got == -WSAEWOULDBLOCK && !socket->nonBlocking.load()) {
    kernel::Deadline deadline(ioTimeout.load());
    while (got == -WSAEWOULDBLOCK) {
      if (!AwaitReady(socket, sys::kReadable, deadline)) return Fail(WSAETIMEDOUT);
      if (socket->closed.load()) return Fail(WSAEINTR);
      got = sys::Receive(socket->fd, buffer, static_cast<std::size_t>(length), peek);
    }
  }
  AfterReceive(s, got, length);
  if (got < 0) return Fail(static_cast<int>(-got));
  return static_cast<int>(got);
}

int closesocket(SOCKET s) {
  if (!Find(s)) return Fail(WSAENOTSOCK);
  if (!handles::Close(reinterpret_cast<HANDLE>(s))) return Fail(WSAENOTSOCK);
  return 0;
}

int ioctlsocket(SOCKET s, long command, u_long* argument) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (argument == nullptr) return Fail(WSAEFAULT);
  if (command == WINSOCK_FIONREAD) {
    const int count = sys::BytesReadable(socket->fd);
    if (count < 0) return Fail(-count);
    *argument = static_cast<u_long>(count);
    return 0;
  }
  if (command == WINSOCK_FIONBIO) {
    if (*argument != 0) {
      socket->nonBlocking.store(true);
      return 0;
    }
    // A registered socket stays non-blocking: its notifications rely on it.
    if (TheRegistry().state.Lock()->watched.count(s) != 0) return Fail(WSAEINVAL);
    socket->nonBlocking.store(false);
    return 0;
  }
  return Fail(WSAEINVAL);
}

namespace {

// accept, and AcceptWithin below: without `within` a blocking socket waits as long as the
// socket's I/O timeout allows and a non-blocking one not at all; with it, any socket waits up
// to that many milliseconds.
SOCKET AcceptOn(SOCKET s, SOCKADDR* address, int* length, std::optional<DWORD> within) {
  auto socket = Find(s);
  if (!socket) return FailSocket(WSAENOTSOCK);
  if (!socket->listening.load()) return FailSocket(WSAEINVAL);
  if ((address != nullptr || length != nullptr) &&
      (address == nullptr || length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN)))) {
    return FailSocket(WSAEFAULT);
  }
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
  int fd = sys::Accept(socket->fd, &ip, &port);
  if (fd == -WSAEWOULDBLOCK && (within || !socket->nonBlocking.load())) {
    kernel::Deadline deadline(within ? *within : ioTimeout.load());
    while (fd == -WSAEWOULDBLOCK) {
      if (!AwaitReady(socket, sys::kReadable, deadline)) return FailSocket(WSAETIMEDOUT);
      if (socket->closed.load()) return FailSocket(WSAEINTR);
      fd = sys::Accept(socket->fd, &ip, &port);
    }
  }
  AfterAccept(s);
  if (fd < 0) return FailSocket(-fd);
  const SOCKET accepted = RegisterSocket(fd, true);
  if (accepted == INVALID_SOCKET) return INVALID_SOCKET;
  WriteAddress(ip, port, address, length);
  return accepted;
}

}  // namespace

SOCKET accept(SOCKET s, SOCKADDR* address, int* length) { return AcceptOn(s, address, length, std::nullopt); }

int bind(SOCKET s, const SOCKADDR* address, int length) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
  int error = 0;
  if (!ReadAddress(address, length, &ip, &port, &error)) return Fail(error);
  const int result = sys::Bind(socket->fd, ip, port);
  return result < 0 ? Fail(-result) : 0;
}

int listen(SOCKET s, int backlog) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  const int result = sys::Listen(socket->fd, std::max(backlog, 0));
  if (result < 0) return Fail(-result);
  socket->listening.store(true);
  return 0;
}

namespace {

// getsockname and getpeername: the name `read` gives, written in the caller's structure.
int NameOfSocket(SOCKET s, SOCKADDR* address, int* length, int (*read)(int, std::uint32_t*, std::uint16_t*)) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  std::uint32_t ip = 0;
  std::uint16_t port = 0;
  const int result = read(socket->fd, &ip, &port);
  if (result < 0) return Fail(-result);
  if (address == nullptr || length == nullptr) return Fail(WSAEFAULT);
  const int error = WriteAddress(ip, port, address, length);
  return error != 0 ? Fail(error) : 0;
}

}  // namespace

int getsockname(SOCKET s, SOCKADDR* address, int* length) { return NameOfSocket(s, address, length, sys::LocalName); }

int getpeername(SOCKET s, SOCKADDR* address, int* length) { return NameOfSocket(s, address, length, sys::PeerName); }

int shutdown(SOCKET s, int how) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return Fail(WSAEINVAL);
  const int result = sys::Shutdown(socket->fd, how);
  return result < 0 ? Fail(-result) : 0;
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if ((events & ~kKnownEvents) != 0) return Fail(WSAEINVAL);
  if (events != 0 && !IsWindow(window)) return Fail(WSAEINVAL);
  socket->nonBlocking.store(true);
  InstallHookOnce();
  auto state = TheRegistry().state.Lock();
  auto it = state->watched.find(s);
  if (events == 0) {
    if (it != state->watched.end()) state->watched.erase(it);
    MarkStale(*state, s);
    WakeWatcher(*state);
    return 0;
  }
  StartWatcher(*state);
  const bool sameTarget = it != state->watched.end() && it->second.window == window && it->second.message == message;
  if (it != state->watched.end() && !sameTarget) MarkStale(*state, s);
  Watched& w = state->watched[s];
  const long before = sameTarget ? w.mask : 0;
  w.socket = socket;
  w.window = window;
  w.message = message;
  w.mask = events;
  // Registering re-arms reading and accepting unless a notification of them still waits; it
  // never disarms them: a recv that would block after that notification was posted has armed
  // reading again, and the reader drops the stale notification when it finds nothing to read.
  w.readArmed = w.readArmed || !HasLive(*state, s, FD_READ);
  w.acceptArmed = w.acceptArmed || !HasLive(*state, s, FD_ACCEPT);
  if ((events & FD_WRITE) && !(before & FD_WRITE)) w.writeArmed = true;
  // What is true already is posted before this returns; the rest when the watcher sees it.
  const short interest = Interest(w);
  if (interest != 0) {
    const short revents = sys::PollNow(socket->fd, interest);
    if (revents != 0) Examine(*state, s, w, revents);
  }
  ReportCloseWhenDue(*state, s, w);
  WakeWatcher(*state);
  return 0;
}

std::uint32_t inet_addr(const char* text) {
  std::uint32_t address = 0;
  return sys::ParseDotted(text, &address) ? address : INADDR_NONE_VALUE;
}

std::uint16_t htons(std::uint16_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
  } else {
    return value;
  }
}

std::uint16_t ntohs(std::uint16_t value) { return htons(value); }

HOSTENT* gethostbyname(const char* name) {
  if (name == nullptr) {
    lastSocketError = WSAEFAULT;
    return nullptr;
  }
  std::uint32_t address = 0;
  const Resolver resolver = installedResolver.load();
  const bool found = resolver != nullptr ? resolver(name, &address) : sys::LookUpIpv4(name, &address);
  if (!found) {
    lastSocketError = WSAHOST_NOT_FOUND;
    return nullptr;
  }
  thread_local HostAnswer answer;
  answer.name = name;
  answer.address = address;
  answer.addresses[0] = reinterpret_cast<char*>(&answer.address);
  answer.addresses[1] = nullptr;
  answer.aliases[0] = nullptr;
  answer.entry.h_name = answer.name.data();
  answer.entry.h_aliases = answer.aliases;
  answer.entry.h_addrtype = WINSOCK_AF_INET;
  answer.entry.h_length = 4;
  answer.entry.h_addr_list = answer.addresses;
  return &answer.entry;
}

// ---- Bounded waits for a local listener ------------------------------------------------------
namespace zuvo::platform::sockets {

SOCKET AcceptWithin(SOCKET s, DWORD milliseconds, SOCKADDR* address, int* length) {
  return ::AcceptOn(s, address, length, milliseconds);
}

int RecvWithin(SOCKET s, char* buffer, int length, DWORD milliseconds) {
  auto socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (length < 0) return Fail(WSAEINVAL);
  if (buffer == nullptr && length > 0) return Fail(WSAEFAULT);
  if (!socket->connected.load()) return Fail(WSAENOTCONN);
  kernel::Deadline deadline(milliseconds);
  long got = sys::Receive(socket->fd, buffer, static_cast<std::size_t>(length), false);
  while (got == -WSAEWOULDBLOCK) {
    if (!AwaitReady(socket, sys::kReadable, deadline)) return Fail(WSAETIMEDOUT);
    if (socket->closed.load()) return Fail(WSAEINTR);
    got = sys::Receive(socket->fd, buffer, static_cast<std::size_t>(length), false);
  }
  AfterReceive(s, got, length);
  if (got < 0) return Fail(static_cast<int>(-got));
  return static_cast<int>(got);
}

int BindLoopbackFrom(SOCKET s, int firstPort, int lastPort) {
  if (!Find(s)) {
    lastSocketError = WSAENOTSOCK;
    return 0;
  }
  firstPort = std::max(firstPort, 1);
  lastPort = std::min(lastPort, 65535);
  int error = WSAEADDRINUSE;
  for (int port = firstPort; port <= lastPort; ++port) {
    SOCKADDR_IN address{};
    address.sin_family = WINSOCK_AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (bind(s, reinterpret_cast<const SOCKADDR*>(&address), sizeof address) == 0) return port;
    error = lastSocketError;
    // Taken and privileged ports are skipped; anything else will not change with the port.
    if (error != WSAEADDRINUSE && error != WSAEACCES && error != WSAEADDRNOTAVAIL) break;
  }
  lastSocketError = error;
  return 0;
}

}  // namespace zuvo::platform::sockets
