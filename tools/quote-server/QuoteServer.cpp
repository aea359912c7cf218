#include "QuoteServer.h"

#include "ClientStream.h"
#include "InstallTree.h"
#include "MarketModel.h"
#include "AccountServer.h"
#include "ProxyFixtures.h"
#include "PushFeed.h"
#include "ReplyWriter.h"
#include "RequestAnswers.h"
#include "ServerProtocol.h"
#include "ServerState.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <list>
#include <mutex>
#include <sstream>

namespace zuvo::quoteserver {
namespace {

// A client that stops reading may not make the server hold more than this for it: its frames
// wait unread until the backlog drains.
constexpr std::size_t kMaxPendingOutput = 1u << 20;
// A push connection with more than this waiting gets no records until it drains; what changed
// meanwhile goes out once it has (the records carry the newest quote, not every change).
constexpr std::size_t kMaxPushBacklog = 256u << 10;
constexpr std::size_t kReadChunk = 64 * 1024;
// Push steps made before one send when pushing continuously (--push-ms 0).
constexpr int kStepsPerSend = 8;
// A connection that sends nothing (not even a heartbeat) this long is closed.
constexpr std::int64_t kSilenceMs = 5 * 60 * 1000;
// coalesce: frames wait until this many are pending, or the oldest has waited this long.
constexpr std::size_t kCoalesceFrames = 3;
constexpr std::int64_t kCoalesceWaitMs = 200;
constexpr std::int64_t kDribbleMs = 1;
// How soon a failed re-listen after `down` is tried again.
constexpr std::int64_t kRelistenMs = 1000;
constexpr int kMaxDownSeconds = 86400;

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

std::string PeerName(int fd, std::uint16_t* port) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return "?";
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  *port = ntohs(address.sin_port);
  return std::string(text) + ":" + std::to_string(*port);
}

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string FormatUtc(std::int64_t seconds) {
  const UtcDateTime t = BreakDownUtc(seconds);
  return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) + ":" +
         TwoDigits(t.minute) + ":" + TwoDigits(t.second) + " UTC";
}

bool ParseCount(const std::string& text, int minimum, int maximum, int* value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int parsed = std::stoi(text);
  if (parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

struct Connection {
  explicit Connection(PortRole role) : stream(role) {}
  int fd = -1;
  int id = 0;
  std::uint16_t peerPort = 0;
  std::string peer;
  ClientStream stream;
  bool closed = false;
  std::int64_t lastHeardMs = 0;
  // Pacing of the framing switches.
  std::int64_t nextSendMs = 0;      // dribble: the next byte's time; split: the second half's
  std::uint64_t splitEnd = 0;       // split: the absolute end of the frame being split
  std::uint64_t splitMid = 0;
  std::int64_t pendingSinceMs = -1; // coalesce: when the oldest pending byte was queued
};

}  // namespace

class QuoteServer::Impl {
 public:
  Impl(ServerConfig config, ServerClock clock)
      : config_(std::move(config)), source_(std::move(clock)), state_(tree_) {
    log_ = [](const std::string& line) { std::fprintf(stderr, "quote-server: %s\n", line.c_str()); };
  }
  ~Impl() {
    CloseAll();
    // The wake-up pipe lives as long as the server, so a late RequestStop (a second signal)
    // never writes to a descriptor that was closed and reused.
    CloseFd(&wake_[0]);
    CloseFd(&wake_[1]);
  }

  bool Open(std::string* error);
  void Run();
  void RequestStop() {
    stop_.store(true);
    Wake();
  }
  void CloseAll();
  // Runs fn on the server's thread (inline when the loop does not run) and waits for it.
  void Call(const std::function<void()>& fn);
  // Start: calls from now on wait for the loop, even before its thread reaches Run (run
  // inline meanwhile, they would race the loop's first turn).
  void ExpectLoop() {
    std::lock_guard<std::mutex> lock(taskMutex_);
    loopActive_ = true;
  }

  std::string Execute(const std::string& line);
  // One push step to every opened push connection; with write, sent at once.
  void PushStep(bool write = true);
  void WritePushed(Connection* connection);
  void Tick();
  void ReleaseHeld();
  std::vector<ConnectionCounts> Counts() const;
  bool AwaitReceived(PortRole role, std::uint8_t type, std::uint64_t total, int timeoutMs);

  ServerConfig config_;
  ServerClock source_;
  Ticker ticker_;
  LogSink log_;
  ServerPorts ports_;
  std::unique_ptr<LiveClock> clock_;
  int consoleIn_ = -1;
  int consoleOut_ = -1;
  std::atomic<bool> running_{false};

 private:
  void Wake() {
    if (wake_[1] >= 0) {
      const char byte = 1;
      [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
    }
  }
  std::int64_t Ticks() const { return ticker_(); }
  bool Listen(std::uint16_t port, int* fd, std::uint16_t* bound, const char* what, std::string* error);
  bool ListenAll(std::string* error);
  // The fixture proxies the configuration asks for, forwarding to the ports just bound.
  bool OpenProxies(std::string* error);
  void StartClock();
  void Accept(int listener, PortRole role);
  void Read(Connection* connection);
  void Write(Connection* connection);
  // True when a framing switch paces this connection's sending (dribble, split, coalesce).
  bool Paced(const Connection& connection) const {
    const ScopeBits scope = connection.stream.session().role == PortRole::kPush ? kScopePush : kScopeRequest;
    const FaultSwitches& faults = state_.faults;
    return faults.OnFor(Fault::kDribble, scope) || faults.OnFor(Fault::kSplit, scope) ||
           faults.OnFor(Fault::kCoalesce, scope);
  }
  // The bytes the framing switches let go now (0: wait), and when sending may go on.
  std::size_t SendLimit(Connection* connection, std::int64_t now, std::int64_t* resumeAt);
  void ProcessFrames(Connection* connection);
  void FinishIfDone(Connection* connection);
  void Close(Connection* connection, const std::string& why);
  // Reads what every connection has sent so far (the in-process calls act on it).
  void DrainInput();
  void RunTasks();
  void RunTimers(std::int64_t now);
  std::int64_t NextDeadline(std::int64_t now);
  void Broadcast(const std::uint8_t* record);
  bool AnyPushOpen() const;
  void GoDown(int seconds);
  void ReadConsole();
  ClientStream::Log LogFor(const Connection& connection) {
    if (!config_.verbose) return nullptr;
    return [this, &connection](const std::string& line) { log_(Tag(connection) + line); };
  }
  std::string Tag(const Connection& connection) const {
    std::string tag(1, '[');
    tag += std::to_string(connection.id);
    tag += ' ';
    tag += PortRoleName(connection.stream.session().role);
    tag += "] ";
    return tag;
  }
  std::string Status() const;
  std::string FaultCommand(const std::string& argument);

  InstallTree tree_;
  ServerState state_;
  std::unique_ptr<model::MarketModel> model_;
  std::unique_ptr<RequestAnswers> answers_;
  std::unique_ptr<PushFeed> push_;
  std::unique_ptr<ServerProtocol> protocol_;
  std::unique_ptr<ProxyFixtures> proxies_;
  std::unique_ptr<AccountServer> accounts_;
  int listeners_[3] = {-1, -1, -1};
  int wake_[2] = {-1, -1};
  std::list<Connection> connections_;
  int nextId_ = 1;
  std::atomic<bool> stop_{false};

  // Timed work, on the ticker.
  std::int64_t nextPushMs_ = 0;
  std::int64_t nextNewsMs_ = -1;
  bool down_ = false;
  std::int64_t upAtMs_ = 0;
  std::uint64_t quotesPushed_ = 0;
  std::uint64_t flashesSkipped_ = 0;

  std::string consoleBuffer_;

  // Work handed to the loop by the in-process calls.
  std::mutex taskMutex_;
  std::deque<std::function<void()>> tasks_;
  bool loopActive_ = false;

  // Frames received since the start, by port and type (closed connections included).
  mutable std::mutex countMutex_;
  std::condition_variable countChanged_;
  std::array<std::array<std::uint64_t, 256>, 3> receivedTotals_{};
};

bool QuoteServer::Impl::Listen(std::uint16_t port, int* fd, std::uint16_t* bound, const char* what,
                               std::string* error) {
  *fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (*fd < 0) {
    *error = std::string("cannot create the ") + what + " socket: " + std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(*fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  inet_pton(AF_INET, config_.bindAddress.c_str(), &address.sin_addr);
  if (::bind(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(*fd, 64) != 0) {
    *error = std::string("cannot listen on ") + config_.bindAddress + ":" + std::to_string(port) + " (" + what +
             " port): " + std::strerror(errno);
    CloseFd(fd);
    return false;
  }
  socklen_t size = sizeof address;
  getsockname(*fd, reinterpret_cast<sockaddr*>(&address), &size);
  *bound = ntohs(address.sin_port);
  return true;
}

bool QuoteServer::Impl::ListenAll(std::string* error) {
  // After `down` the same ports again, whatever was asked for at the start.
  const bool again = ports_.main != 0;
  const std::uint16_t wanted[3] = {again ? ports_.main : config_.mainPort,
                                   again ? ports_.request : config_.requestPort,
                                   again ? ports_.push : config_.pushPort};
  ServerPorts bound;
  if (!Listen(wanted[0], &listeners_[0], &bound.main, "main", error) ||
      !Listen(wanted[1], &listeners_[1], &bound.request, "request", error) ||
      !Listen(wanted[2], &listeners_[2], &bound.push, "push", error)) {
    for (int& fd : listeners_) CloseFd(&fd);
    return false;
  }
  if (!again) ports_ = bound;   // read by other threads: written once
  return true;
}

bool QuoteServer::Impl::OpenProxies(std::string* error) {
  ProxyFixtures::Log log;
  if (config_.verbose) log = [this](const std::string& line) { log_(line); };
  proxies_ = std::make_unique<ProxyFixtures>(config_, &state_.faults, std::move(log));
  std::uint16_t bound[4] = {};
  if (!proxies_->Listen(bound, error)) return false;
  ports_.socks5 = bound[0];
  ports_.socks4 = bound[1];
  ports_.httpProxy = bound[2];
  ports_.relay = bound[3];
  ProxyFixtures::Log accountLog;
  if (config_.verbose) accountLog = [this](const std::string& line) { log_(line); };
  accounts_ = std::make_unique<AccountServer>(config_, &state_.faults, std::move(accountLog));
  if (!accounts_->Listen(&ports_.login, error)) {
    proxies_->CloseAll();
    return false;
  }
  proxies_->SetTargets({ports_.main, ports_.request, ports_.push, ports_.relay, ports_.login});
  return true;
}

void QuoteServer::Impl::StartClock() {
  clock_ = std::make_unique<LiveClock>(source_, ticker_);
  switch (config_.clockStart) {
    case ClockStart::kReal: clock_->SetReal(config_.speed); break;
    case ClockStart::kAt: clock_->SetTimeOfDay(config_.clockMinute, config_.speed); break;
    case ClockStart::kAuto: {
      // Real while market 0's category 0 trades, else five minutes after its first open.
      const MarketRecord& market = tree_.markets()[0].record;
      const CategoryRecord& category = market.categories[0];
      const std::int64_t now = clock_->Now();
      const PackedTime local = model_->MarketTime(0, now);
      const int minute = PackedHour(local) * 60 + PackedMinute(local);
      bool trading = false;
      if (model::MarketModel::IsTradingDay(PackedDate(local))) {
        for (int s = 0; s < category.sessionCount && s < 4; ++s) {
          trading = trading || (minute >= category.openMinute[s] && minute < category.closeMinute[s]);
        }
      }
      if (trading || category.sessionCount == 0) {
        clock_->SetReal(config_.speed);
      } else {
        const int open = category.openMinute[0] + 5 - market.hourOffset * 60;
        clock_->SetTimeOfDay(((open % 1440) + 1440) % 1440, config_.speed);
      }
      break;
    }
  }
}

bool QuoteServer::Impl::Open(std::string* error) {
  if (!ticker_) ticker_ = SteadyMilliseconds;
  if (!tree_.Load(config_.dataDir, error)) return false;
  model_ = model::MarketModel::Load(config_.dataDir, config_.seed, error);
  if (!model_) return false;
  for (const std::string& fault : config_.faults) {
    if (!state_.faults.Set(fault, error)) return false;
  }
  StartClock();
  ServerClock now = [this] { return clock_->Now(); };
  answers_ = std::make_unique<RequestAnswers>(config_, tree_, *model_, now, &state_);
  push_ = std::make_unique<PushFeed>(tree_, *model_, &state_);
  protocol_ = std::make_unique<ServerProtocol>(config_, tree_, answers_.get(), now, &state_, push_.get());
  if (wake_[0] < 0 && ::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
    *error = std::string("cannot create the wake-up pipe: ") + std::strerror(errno);
    return false;
  }
  if (!ListenAll(error)) return false;
  if (!OpenProxies(error)) {
    for (int& fd : listeners_) CloseFd(&fd);
    return false;
  }
  const std::int64_t ticks = Ticks();
  nextPushMs_ = ticks + config_.pushMs;
  nextNewsMs_ = config_.newsEvery > 0 ? ticks + config_.newsEvery * 1000LL : -1;
  return true;
}

void QuoteServer::Impl::CloseAll() {
  for (Connection& connection : connections_) CloseFd(&connection.fd);
  connections_.clear();
  for (int& fd : listeners_) CloseFd(&fd);
  if (proxies_) proxies_->CloseAll();
  if (accounts_) accounts_->CloseAll();
}

void QuoteServer::Impl::Call(const std::function<void()>& fn) {
  std::promise<void> done;
  {
    std::unique_lock<std::mutex> lock(taskMutex_);
    if (!loopActive_) {
      lock.unlock();
      fn();
      return;
    }
    tasks_.push_back([&] {
      fn();
      done.set_value();
    });
  }
  Wake();
  done.get_future().wait();
}

void QuoteServer::Impl::RunTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(taskMutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void QuoteServer::Impl::Run() {
  running_.store(true);
  {
    std::lock_guard<std::mutex> lock(taskMutex_);
    loopActive_ = true;
  }
  static constexpr PortRole kRoles[3] = {PortRole::kMain, PortRole::kRequest, PortRole::kPush};
  std::vector<pollfd> polls;
  std::vector<Connection*> polled;
  while (!stop_.load()) {
    const std::int64_t now = Ticks();
    RunTimers(now);
    // Connections are dropped from the list here only: everything else marks them closed.
    connections_.remove_if([](const Connection& connection) { return connection.closed; });
    FaultSwitches& faults = state_.faults;
    const bool stopReading = faults.On(Fault::kStopReading);
    if (stopReading && !connections_.empty()) faults.Fired(Fault::kStopReading);
    polls.clear();
    polled.clear();
    polls.push_back({wake_[0], POLLIN, 0});
    for (int fd : listeners_) polls.push_back({fd, static_cast<short>(fd >= 0 ? POLLIN : 0), 0});
    polls.push_back({consoleIn_, static_cast<short>(consoleIn_ >= 0 ? POLLIN : 0), 0});
    for (Connection& connection : connections_) {
      if (connection.closed) continue;
      short events = 0;
      const ClientStream& stream = connection.stream;
      if (!stream.closing() && stream.backlog() <= kMaxPendingOutput && !stopReading) events |= POLLIN;
      if (stream.pendingSize() > 0) {
        std::int64_t resumeAt = -1;
        if (SendLimit(&connection, now, &resumeAt) > 0) events |= POLLOUT;
      }
      polls.push_back({connection.fd, events, 0});
      polled.push_back(&connection);
    }
    const std::size_t proxyPolls = polls.size();
    proxies_->AddPolls(&polls);
    const std::size_t accountPolls = polls.size();
    accounts_->AddPolls(&polls);
    const std::int64_t deadline = NextDeadline(now);
    int timeout = deadline < 0 ? -1 : static_cast<int>(std::clamp<std::int64_t>(deadline - now, 0, 60000));
    if (const int proxyTimeout = proxies_->TimeoutMs(); proxyTimeout >= 0 && (timeout < 0 || proxyTimeout < timeout)) {
      timeout = proxyTimeout;
    }
    if (::poll(polls.data(), polls.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      log_(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    // The proxies first: the tasks and the console below may pump them again.
    proxies_->HandlePolls(polls.data() + proxyPolls, accountPolls - proxyPolls);
    accounts_->HandlePolls(polls.data() + accountPolls, polls.size() - accountPolls);
    if (polls[0].revents != 0) {
      char drain[64];
      while (::read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    RunTasks();
    if (stop_.load()) break;
    if (polls[4].revents != 0) ReadConsole();
    for (std::size_t i = 0; i < polled.size(); ++i) {
      Connection* connection = polled[i];
      const short revents = polls[5 + i].revents;
      if (connection->closed) continue;
      if (stopReading && (revents & (POLLHUP | POLLERR))) {
        Close(connection, "peer closed");
        continue;
      }
      if (revents & (POLLIN | POLLHUP | POLLERR)) Read(connection);
      if (!connection->closed && (revents & POLLOUT)) Write(connection);
    }
    connections_.remove_if([](const Connection& connection) { return connection.closed; });
    for (int l = 0; l < 3; ++l) {
      if (listeners_[l] >= 0 && (polls[1 + static_cast<std::size_t>(l)].revents & POLLIN)) {
        Accept(listeners_[l], kRoles[l]);
      }
    }
  }
  {
    std::lock_guard<std::mutex> lock(taskMutex_);
    loopActive_ = false;
  }
  RunTasks();
  CloseAll();
  running_.store(false);
}

void QuoteServer::Impl::Accept(int listener, PortRole role) {
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;   // EAGAIN, or a connection that went away before it was taken
    FaultSwitches& faults = state_.faults;
    const bool dropAll = faults.Drops(DropPoint::kAccept);
    if (dropAll || (role == PortRole::kRequest && faults.Drops(DropPoint::kStage2))) {
      faults.Fired(Fault::kDrop);
      if (config_.verbose) {
        log_(std::string("[") + PortRoleName(role) + "] closed at accept: " + (dropAll ? "drop=accept" : "drop=stage2"));
      }
      ::close(fd);
      continue;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Connection& connection = connections_.emplace_back(role);
    connection.fd = fd;
    connection.id = nextId_++;
    connection.peer = PeerName(fd, &connection.peerPort);
    connection.lastHeardMs = Ticks();
    if (config_.verbose) log_(Tag(connection) + "accepted from " + connection.peer);
  }
}

void QuoteServer::Impl::Close(Connection* connection, const std::string& why) {
  if (connection->closed) return;
  if (config_.verbose) log_(Tag(*connection) + "closed: " + why);
  CloseFd(&connection->fd);
  connection->closed = true;
}

void QuoteServer::Impl::FinishIfDone(Connection* connection) {
  const ClientStream& stream = connection->stream;
  if (!connection->closed && stream.closing() && stream.pendingSize() == 0 && stream.heldCount() == 0) {
    Close(connection, stream.closeReason());
  }
}

void QuoteServer::Impl::Read(Connection* connection) {
  ClientStream& stream = connection->stream;
  if (stream.closing()) {
    // Nothing more is read; a hang-up or error still ends the connection.
    char probe;
    const ssize_t got = ::recv(connection->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      Close(connection, "peer closed");
    }
    return;
  }
  // One read per turn of the loop: a client that sends without pause cannot hold the loop or
  // make the server buffer more than a read's worth beyond the frames it is answering.
  ssize_t got;
  do {
    got = ::recv(connection->fd, stream.reader().Space(kReadChunk), kReadChunk, 0);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    connection->lastHeardMs = Ticks();
    stream.reader().Filled(static_cast<std::size_t>(got));
  } else if (got == 0) {
    // The peer sent everything it will send: answer what arrived, then close.
    ProcessFrames(connection);
    stream.DropHeld();
    stream.Close("peer closed");
    if (stream.pendingSize() == 0) Close(connection, "peer closed");
    return;
  } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
    Close(connection, std::string("receive failed: ") + std::strerror(errno));
    return;
  }
  ProcessFrames(connection);
  if (!connection->closed && stream.pendingSize() > 0) Write(connection);
}

void QuoteServer::Impl::ProcessFrames(Connection* connection) {
  ClientStream& stream = connection->stream;
  const std::array<std::uint64_t, 256> before = stream.received();
  stream.Process(*protocol_, kMaxPendingOutput, Ticks(), LogFor(*connection));
  const std::size_t role = static_cast<std::size_t>(stream.session().role);
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(countMutex_);
    for (std::size_t type = 0; type < 256; ++type) {
      if (stream.received()[type] != before[type]) {
        receivedTotals_[role][type] += stream.received()[type] - before[type];
        changed = true;
      }
    }
  }
  if (changed) countChanged_.notify_all();
  FinishIfDone(connection);
}

std::size_t QuoteServer::Impl::SendLimit(Connection* connection, std::int64_t now, std::int64_t* resumeAt) {
  ClientStream& stream = connection->stream;
  const std::size_t pending = stream.pendingSize();
  *resumeAt = -1;
  if (pending == 0) return 0;
  FaultSwitches& faults = state_.faults;
  const ScopeBits scope = stream.session().role == PortRole::kPush ? kScopePush : kScopeRequest;
  if (faults.OnFor(Fault::kDribble, scope)) {
    if (now < connection->nextSendMs) {
      *resumeAt = connection->nextSendMs;
      return 0;
    }
    return 1;
  }
  if (faults.OnFor(Fault::kSplit, scope)) {
    const std::vector<std::size_t> ends = stream.PendingFrameEnds();
    const std::uint64_t sent = stream.sentTotal();
    const std::uint64_t end = sent + (ends.empty() ? pending : ends.front());
    if (end != connection->splitEnd) {
      // A frame not yet split: its first half goes now.
      connection->splitEnd = end;
      connection->splitMid = sent + (end - sent) / 2;
      connection->nextSendMs = 0;
    }
    if (sent < connection->splitMid) return static_cast<std::size_t>(connection->splitMid - sent);
    if (now < connection->nextSendMs) {
      *resumeAt = connection->nextSendMs;
      return 0;
    }
    return static_cast<std::size_t>(end - sent);
  }
  if (faults.OnFor(Fault::kCoalesce, scope)) {
    if (connection->pendingSinceMs < 0) connection->pendingSinceMs = now;
    const std::vector<std::size_t> ends = stream.PendingFrameEnds();
    if (ends.size() < kCoalesceFrames && now < connection->pendingSinceMs + kCoalesceWaitMs &&
        !stream.closing()) {
      *resumeAt = connection->pendingSinceMs + kCoalesceWaitMs;
      return 0;
    }
    return pending;
  }
  return pending;
}

void QuoteServer::Impl::Write(Connection* connection) {
  ClientStream& stream = connection->stream;
  FaultSwitches& faults = state_.faults;
  const ScopeBits scope = stream.session().role == PortRole::kPush ? kScopePush : kScopeRequest;
  while (stream.pendingSize() > 0) {
    const std::int64_t now = Ticks();
    std::int64_t resumeAt = -1;
    const std::size_t limit = SendLimit(connection, now, &resumeAt);
    if (limit == 0) return;   // the framing switches make it wait; the loop comes back
    const ssize_t sent = ::send(connection->fd, stream.pending(), limit, MSG_NOSIGNAL);
    if (sent > 0) {
      if (faults.OnFor(Fault::kDribble, scope)) {
        faults.Fired(Fault::kDribble);
        connection->nextSendMs = now + kDribbleMs;
      } else if (faults.OnFor(Fault::kSplit, scope)) {
        if (stream.sentTotal() + static_cast<std::uint64_t>(sent) == connection->splitMid) {
          faults.Fired(Fault::kSplit);
          connection->nextSendMs = now + faults.splitMs();
        }
      } else if (faults.OnFor(Fault::kCoalesce, scope) && stream.PendingFrameEnds().size() > 1) {
        faults.Fired(Fault::kCoalesce);
      }
      stream.Sent(static_cast<std::size_t>(sent));
      if (stream.pendingSize() == 0) connection->pendingSinceMs = -1;
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    Close(connection, std::string("send failed: ") + std::strerror(errno));
    return;
  }
  if (stream.closing()) {
    FinishIfDone(connection);
    return;
  }
  // Frames held back while the backlog was full.
  ProcessFrames(connection);
  if (!connection->closed && stream.pendingSize() > 0) Write(connection);
}

void QuoteServer::Impl::DrainInput() {
  // What the proxies hold for the server goes on first, so it is read below.
  if (proxies_) proxies_->Pump();
  if (state_.faults.On(Fault::kStopReading)) {
    if (!connections_.empty()) state_.faults.Fired(Fault::kStopReading);
    return;
  }
  for (Connection& connection : connections_) {
    if (connection.closed || connection.stream.closing()) continue;
    pollfd poller{connection.fd, POLLIN, 0};
    if (::poll(&poller, 1, 0) > 0) Read(&connection);
  }
}

bool QuoteServer::Impl::AnyPushOpen() const {
  for (const Connection& connection : connections_) {
    if (!connection.closed && connection.stream.session().push.opened) return true;
  }
  return false;
}

void QuoteServer::Impl::PushStep(bool write) {
  if (!protocol_) return;
  const std::int64_t now = clock_->Now();
  const bool silent = state_.faults.On(Fault::kSilent);
  for (Connection& connection : connections_) {
    ClientStream& stream = connection.stream;
    if (connection.closed || stream.closing() || !stream.session().push.opened) continue;
    if (silent) {
      state_.faults.Fired(Fault::kSilent);
      continue;
    }
    if (stream.backlog() > kMaxPushBacklog) continue;
    stream.Push(*protocol_, [&](ReplyWriter* writer) { quotesPushed_ += push_->Step(&stream.session().push, now, writer); },
                LogFor(connection));
    if (write) WritePushed(&connection);
  }
}

void QuoteServer::Impl::WritePushed(Connection* connection) {
  if (connection->closed || connection->stream.pendingSize() == 0) return;
  Write(connection);
  FinishIfDone(connection);
}

void QuoteServer::Impl::Broadcast(const std::uint8_t* record) {
  if (state_.faults.On(Fault::kSilent)) return;
  for (Connection& connection : connections_) {
    ClientStream& stream = connection.stream;
    if (connection.closed || stream.closing() || !stream.session().push.opened) continue;
    stream.Push(*protocol_, [&](ReplyWriter* writer) { WritePushRecords(writer, record, 1); }, LogFor(connection));
    Write(&connection);
    FinishIfDone(&connection);
  }
}

void QuoteServer::Impl::GoDown(int seconds) {
  for (Connection& connection : connections_) Close(&connection, "down");
  for (int& fd : listeners_) CloseFd(&fd);
  down_ = true;
  upAtMs_ = Ticks() + seconds * 1000LL;
}

void QuoteServer::Impl::RunTimers(std::int64_t now) {
  if (down_ && now >= upAtMs_) {
    std::string error;
    if (ListenAll(&error)) {
      down_ = false;
      const bool shift = state_.faults.On(Fault::kRestartNames);
      if (shift) state_.faults.Fired(Fault::kRestartNames);
      state_.SetNamesShifted(shift);
      if (config_.verbose) log_("up again after down");
    } else {
      log_(error + "; trying again");
      upAtMs_ = now + kRelistenMs;
    }
  }
  for (Connection& connection : connections_) {
    if (connection.closed) continue;
    if (now - connection.lastHeardMs >= kSilenceMs) {
      Close(&connection, "5 minutes without a frame");
      continue;
    }
    ClientStream& stream = connection.stream;
    if (stream.heldCount() > 0) {
      const std::int64_t next = stream.NextRelease();
      if (next <= now) {
        stream.Release(now);
        Write(&connection);
        FinishIfDone(&connection);
      }
    }
    // Sending the framing switches paced may go on now: done here, so that a test's Tick has
    // sent it by the time it returns.
    if (!connection.closed && stream.pendingSize() > 0 && Paced(connection)) {
      Write(&connection);
      FinishIfDone(&connection);
    }
  }
  if (config_.timedPush && now >= nextPushMs_) {
    nextPushMs_ = now + config_.pushMs;
    if (AnyPushOpen()) {
      // Pushing continuously, a few steps go out in one send: fewer wake-ups of the client
      // for the same records.
      const int steps = config_.pushMs == 0 ? kStepsPerSend : 1;
      for (int step = 0; step < steps; ++step) PushStep(false);
      for (Connection& connection : connections_) WritePushed(&connection);
    }
  }
  if (nextNewsMs_ >= 0 && now >= nextNewsMs_) {
    nextNewsMs_ = now + config_.newsEvery * 1000LL;
    model::NewsItem flash;
    std::string error;
    if (state_.MakeFlash(*model_, clock_->Now(), "", &flash, &error)) {
      std::uint8_t record[kPushRecord];
      push_->FlashRecord(flash, record);
      Broadcast(record);
    } else {
      ++flashesSkipped_;
      if (config_.verbose) log_("news flash skipped: " + error);
    }
  }
}

std::int64_t QuoteServer::Impl::NextDeadline(std::int64_t now) {
  std::int64_t next = -1;
  auto consider = [&](std::int64_t at) {
    if (at >= 0 && (next < 0 || at < next)) next = at;
  };
  if (down_) consider(upAtMs_);
  if (config_.timedPush && AnyPushOpen()) consider(nextPushMs_);
  consider(nextNewsMs_);
  for (Connection& connection : connections_) {
    if (connection.closed) continue;
    consider(connection.lastHeardMs + kSilenceMs);
    consider(connection.stream.NextRelease());
    if (connection.stream.pendingSize() > 0) {
      std::int64_t resumeAt = -1;
      SendLimit(&connection, now, &resumeAt);
      consider(resumeAt);
    }
  }
  return next;
}

void QuoteServer::Impl::Tick() {
  DrainInput();
  RunTimers(Ticks());
}

void QuoteServer::Impl::ReleaseHeld() {
  for (Connection& connection : connections_) {
    if (connection.closed || connection.stream.heldCount() == 0) continue;
    connection.stream.Release(Ticks(), true);
    Write(&connection);
    FinishIfDone(&connection);
  }
}

std::vector<ConnectionCounts> QuoteServer::Impl::Counts() const {
  std::vector<ConnectionCounts> counts;
  for (const Connection& connection : connections_) {
    if (connection.closed) continue;
    ConnectionCounts entry;
    entry.id = connection.id;
    entry.role = connection.stream.session().role;
    entry.peerPort = connection.peerPort;
    entry.received = connection.stream.received();
    entry.written = connection.stream.written();
    entry.subscribed = connection.stream.session().push.keys.size();
    entry.held = connection.stream.heldCount();
    counts.push_back(entry);
  }
  return counts;
}

bool QuoteServer::Impl::AwaitReceived(PortRole role, std::uint8_t type, std::uint64_t total, int timeoutMs) {
  std::unique_lock<std::mutex> lock(countMutex_);
  return countChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return receivedTotals_[static_cast<std::size_t>(role)][type] >= total;
  });
}

void QuoteServer::Impl::ReadConsole() {
  char chunk[1024];
  const ssize_t got = ::read(consoleIn_, chunk, sizeof chunk);
  if (got <= 0) {
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    consoleIn_ = -1;   // the end of the input ends the console, not the server
    return;
  }
  consoleBuffer_.append(chunk, static_cast<std::size_t>(got));
  for (std::size_t end; (end = consoleBuffer_.find('\n')) != std::string::npos;) {
    std::string line = consoleBuffer_.substr(0, end);
    consoleBuffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string answer = Execute(line);
    if (!answer.empty() && consoleOut_ >= 0) {
      const std::string text = answer + "\n";
      [[maybe_unused]] const ssize_t ignored = ::write(consoleOut_, text.data(), text.size());
    }
  }
  if (consoleBuffer_.size() > 4096) consoleBuffer_.clear();   // no line is that long
}

std::string QuoteServer::Impl::Status() const {
  std::ostringstream out;
  const char* mode = clock_->mode() == ClockMode::kManual ? "manual"
                     : clock_->mode() == ClockMode::kAt   ? "set"
                                                          : "real";
  out << "clock " << FormatUtc(clock_->Now()) << ", " << mode << ", speed " << clock_->speed() << "\n";
  out << "ports main " << ports_.main << ", request " << ports_.request << ", push " << ports_.push;
  if (down_) out << " (down, back in " << std::max<std::int64_t>(0, (upAtMs_ - Ticks() + 999) / 1000) << " s)";
  out << "\n";
  if (ports_.socks5 != 0 || ports_.socks4 != 0 || ports_.httpProxy != 0 || ports_.relay != 0) {
    auto port = [](std::uint16_t p) { return p == 0 ? std::string("off") : std::to_string(p); };
    out << "proxies socks5 " << port(ports_.socks5) << ", socks4 " << port(ports_.socks4) << ", http "
        << port(ports_.httpProxy) << ", relay " << port(ports_.relay) << "; " << proxies_->open() << " open";
    if (config_.proxyAuth) out << ", user " << config_.proxyUser.name;
    out << "\n";
  }
  std::size_t open = 0;
  for (const Connection& connection : connections_) open += connection.closed ? 0 : 1;
  out << "connections " << open << "\n";
  for (const Connection& connection : connections_) {
    if (connection.closed) continue;
    const Session& session = connection.stream.session();
    std::uint64_t in = 0;
    std::uint64_t written = 0;
    for (std::uint64_t n : connection.stream.received()) in += n;
    for (std::uint64_t n : connection.stream.written()) written += n;
    out << "  #" << connection.id << " " << PortRoleName(session.role) << " " << connection.peer;
    if (session.role == PortRole::kPush) {
      out << (session.push.opened ? ", opened, " : ", not opened, ") << session.push.keys.size() << " subscribed";
    } else if (session.role == PortRole::kRequest) {
      out << (session.loggedIn ? ", logged in" : ", not logged in");
    }
    out << ", frames in " << in << ", out " << written;
    if (connection.stream.heldCount() > 0) out << ", held " << connection.stream.heldCount();
    out << "\n";
  }
  out << "quote records pushed " << quotesPushed_ << ", news flashes " << state_.flashes().size();
  if (flashesSkipped_ > 0) out << " (" << flashesSkipped_ << " skipped)";
  out << "\n";
  const std::vector<std::string> faults = state_.faults.Describe();
  out << "faults " << (faults.empty() ? "none" : std::to_string(faults.size()));
  for (const std::string& line : faults) out << "\n  " << line;
  return out.str();
}

std::string QuoteServer::Impl::FaultCommand(const std::string& argument) {
  std::string error;
  if (argument.empty()) {
    const std::vector<std::string> lines = state_.faults.Describe();
    if (lines.empty()) return "no fault switch is on";
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
  }
  if (argument[0] == '-') {
    if (!state_.faults.Clear(argument.substr(1), &error)) return "error: " + error;
    return "fault " + argument.substr(1) + " off";
  }
  if (!state_.faults.Set(argument, &error)) return "error: " + error;
  return "fault " + argument + " on";
}

std::string QuoteServer::Impl::Execute(const std::string& line) {
  if (!protocol_) return "error: the server is not open";
  DrainInput();
  std::istringstream words(line);
  std::string verb;
  words >> verb;
  std::string rest;
  std::getline(words, rest);
  rest.erase(0, rest.find_first_not_of(" \t"));
  rest.erase(rest.find_last_not_of(" \t") == std::string::npos ? 0 : rest.find_last_not_of(" \t") + 1);
  auto noArgument = [&](const char* name) -> std::string {
    return rest.empty() ? std::string() : "error: " + std::string(name) + " takes no argument";
  };

  if (verb.empty()) return {};
  if (verb == "help") {
    if (std::string e = noArgument("help"); !e.empty()) return e;
    return "commands: status, clock HH:MM, speed N, news [title], fetch, advice CODE, kick, down S,\n"
           "          fault NAME[=VALUE], fault -NAME, fault, quit";
  }
  if (verb == "status") {
    if (std::string e = noArgument("status"); !e.empty()) return e;
    return Status();
  }
  if (verb == "clock") {
    int minute = 0;
    if (!ParseTimeOfDay(rest, &minute)) return "error: clock needs a time of day HH:MM (UTC), got \"" + rest + "\"";
    if (clock_->mode() == ClockMode::kManual) {
      const std::int64_t now = clock_->Now();
      const std::int64_t day = (now >= 0 ? now : now - 86399) / 86400;
      clock_->SetManual(day * 86400 + minute * 60LL);
    } else {
      clock_->SetTimeOfDay(minute, clock_->speed());
    }
    return "clock " + FormatUtc(clock_->Now());
  }
  if (verb == "speed") {
    int speed = 0;
    if (!ParseCount(rest, 0, kMaxSpeed, &speed)) return "error: speed needs a number 0-10000, got \"" + rest + "\"";
    clock_->SetSpeed(speed);
    return "speed " + std::to_string(speed);
  }
  if (verb == "news") {
    model::NewsItem flash;
    std::string error;
    if (!state_.MakeFlash(*model_, clock_->Now(), TypedTextToGbk(rest), &flash, &error)) return "error: " + error;
    std::uint8_t record[kPushRecord];
    push_->FlashRecord(flash, record);
    Broadcast(record);
    return "news flash " + std::to_string(flash.entry.id) + " pushed";
  }
  if (verb == "fetch") {
    if (std::string e = noArgument("fetch"); !e.empty()) return e;
    std::uint8_t record[kPushRecord];
    push_->FetchRecord(record);
    Broadcast(record);
    return "fetch request pushed";
  }
  if (verb == "advice") {
    if (rest.empty() || rest.find_first_of(" \t") != std::string::npos) return "error: advice needs one instrument code";
    const std::string code = TypedTextToGbk(rest);
    for (std::size_t m = 0; m < tree_.markets().size(); ++m) {
      const int index = tree_.FindCode(static_cast<int>(m), code.c_str(), code.size() + 1);
      if (index < 0) continue;
      std::uint8_t record[kPushRecord];
      if (!push_->AdviceRecord(static_cast<int>(m), index, clock_->Now(), record)) {
        return "error: " + rest + " has no advice at the server's time";
      }
      Broadcast(record);
      return "advice for " + rest + " pushed";
    }
    return "error: no instrument has the code \"" + rest + "\"";
  }
  if (verb == "kick") {
    if (std::string e = noArgument("kick"); !e.empty()) return e;
    std::size_t closed = 0;
    for (Connection& connection : connections_) {
      if (connection.closed) continue;
      Close(&connection, "kick");
      ++closed;
    }
    return "closed " + std::to_string(closed) + " connections";
  }
  if (verb == "down") {
    int seconds = 0;
    if (!ParseCount(rest, 0, kMaxDownSeconds, &seconds)) return "error: down needs seconds 0-86400, got \"" + rest + "\"";
    GoDown(seconds);
    RunTimers(Ticks());
    return down_ ? "down for " + std::to_string(seconds) + " s" : "down and up again";
  }
  if (verb == "fault") return FaultCommand(rest);
  if (verb == "quit") {
    if (std::string e = noArgument("quit"); !e.empty()) return e;
    stop_.store(true);
    return "stopping";
  }
  return "error: unknown command \"" + verb + "\" (help lists the commands)";
}

QuoteServer::QuoteServer(ServerConfig config, ServerClock clock)
    : impl_(std::make_unique<Impl>(std::move(config), std::move(clock))) {}

QuoteServer::~QuoteServer() { Stop(); }

void QuoteServer::SetLogSink(LogSink sink) { impl_->log_ = std::move(sink); }

void QuoteServer::SetTicker(Ticker ticker) { impl_->ticker_ = std::move(ticker); }

void QuoteServer::SetConsole(int inputFd, int outputFd) {
  impl_->consoleIn_ = inputFd;
  impl_->consoleOut_ = outputFd;
}

bool QuoteServer::Open(std::string* error) { return impl_->Open(error); }

void QuoteServer::Run() { impl_->Run(); }

bool QuoteServer::Start(std::string* error) {
  if (!impl_->Open(error)) return false;
  impl_->ExpectLoop();
  thread_ = std::thread([this] { impl_->Run(); });
  return true;
}

void QuoteServer::RequestStop() { impl_->RequestStop(); }

void QuoteServer::Stop() {
  impl_->RequestStop();
  if (thread_.joinable()) thread_.join();
  // A server opened but never run still holds its sockets; a foreground Run closes its own.
  if (!impl_->running_.load()) impl_->CloseAll();
}

ServerPorts QuoteServer::ports() const { return impl_->ports_; }

const ServerConfig& QuoteServer::config() const { return impl_->config_; }

std::string QuoteServer::Command(const std::string& line) {
  std::string answer;
  impl_->Call([&] { answer = impl_->Execute(line); });
  return answer;
}

std::int64_t QuoteServer::Now() {
  std::int64_t now = 0;
  impl_->Call([&] { now = impl_->clock_ ? impl_->clock_->Now() : 0; });
  return now;
}

void QuoteServer::SetManualClock(std::int64_t utc) {
  impl_->Call([&] {
    if (impl_->clock_) impl_->clock_->SetManual(utc);
  });
}

void QuoteServer::StepClock(std::int64_t seconds) {
  impl_->Call([&] {
    if (impl_->clock_) impl_->clock_->Step(seconds);
  });
}

void QuoteServer::PushStep() {
  impl_->Call([&] {
    impl_->Tick();
    impl_->PushStep();
  });
}

void QuoteServer::Tick() {
  impl_->Call([&] { impl_->Tick(); });
}

void QuoteServer::ReleaseHeld() {
  impl_->Call([&] {
    impl_->Tick();
    impl_->ReleaseHeld();
  });
}

std::vector<ConnectionCounts> QuoteServer::Connections() {
  std::vector<ConnectionCounts> counts;
  impl_->Call([&] { counts = impl_->Counts(); });
  return counts;
}

bool QuoteServer::AwaitReceived(PortRole role, std::uint8_t type, std::uint64_t total, int timeoutMs) {
  return impl_->AwaitReceived(role, type, total, timeoutMs);
}

}  // namespace zuvo::quoteserver
