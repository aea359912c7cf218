#include "ProxyFixtures.h"

#include "ServerClock.h"
#include "ServerFrames.h"
#include "ServerProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

namespace zuvo::quoteserver {
namespace {

// The pause between the two halves of an answer under proxy-split.
constexpr std::int64_t kSplitPauseMs = 30;
// A handshake (an HTTP request header, say) longer than this is refused.
constexpr std::size_t kMaxHandshake = 8192;
// Bytes a tunnel holds for a side that does not read before it stops reading the other.
constexpr std::size_t kMaxTunnelBacklog = 256u << 10;
constexpr std::size_t kReadChunk = 16384;
// The padding header of relay-long-header takes the answer header past 8202 bytes.
constexpr std::size_t kLongHeaderPadding = 8300;

constexpr char kHttp200[] = "HTTP/1.0 200 Connection established\r\nProxy-Agent: quote-server\r\n\r\n";
constexpr char kHttp400[] = "HTTP/1.0 400 Bad Request\r\n\r\n";
constexpr char kHttp403[] = "HTTP/1.0 403 Forbidden\r\n\r\n";
constexpr char kHttp405[] = "HTTP/1.0 405 Method Not Allowed\r\n\r\n";
constexpr char kHttp407[] =
    "HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"quote-server\"\r\n\r\n";
constexpr char kHttp407Lower[] =
    "http/1.0 407 proxy authentication required\r\nproxy-authenticate: basic realm=\"quote-server\"\r\n\r\n";
constexpr char kHttp502[] = "HTTP/1.0 502 Bad Gateway\r\n\r\n";
constexpr char kRelayRequestLine[] = "CONNECT 127.0.0.1:80 HTTP/1.0";

// SOCKS5 reply codes.
constexpr std::uint8_t kS5Failure = 1;
constexpr std::uint8_t kS5NotAllowed = 2;
constexpr std::uint8_t kS5HostUnreachable = 4;
constexpr std::uint8_t kS5Refused = 5;
constexpr std::uint8_t kS5BadCommand = 7;
constexpr std::uint8_t kS5BadAddressType = 8;
// SOCKS4 answers.
constexpr std::uint8_t kS4Granted = 90;
constexpr std::uint8_t kS4Rejected = 91;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::uint8_t At(const std::string& bytes, std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); }

// A SOCKS5 reply without a usable bound address.
std::string Socks5Reply(std::uint8_t code) { return Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0}); }

std::string Socks4Reply(std::uint8_t code) { return Bytes({0, code, 0, 0, 0, 0, 0, 0}); }

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Splits an HTTP request header (without its blank line) into the request line and the header
// lines; false when a header line is no "Name: value" (a line broken inside a value, say).
bool SplitHeader(const std::string& header, std::string* requestLine, std::vector<std::pair<std::string, std::string>>* fields) {
  std::size_t at = header.find("\r\n");
  *requestLine = header.substr(0, at);
  while (at != std::string::npos) {
    const std::size_t start = at + 2;
    at = header.find("\r\n", start);
    const std::string line = header.substr(start, at == std::string::npos ? std::string::npos : at - start);
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) return false;
    const std::string name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string::npos) return false;
    fields->emplace_back(name, Trim(line.substr(colon + 1)));
  }
  return true;
}

bool ParsePort(const std::string& text, std::uint16_t* port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int value = std::stoi(text);
  if (value < 1 || value > 65535) return false;
  *port = static_cast<std::uint16_t>(value);
  return true;
}

std::string DottedAddress(const std::string& bytes, std::size_t at) {
  return std::to_string(At(bytes, at)) + "." + std::to_string(At(bytes, at + 1)) + "." +
         std::to_string(At(bytes, at + 2)) + "." + std::to_string(At(bytes, at + 3));
}

}  // namespace

const char* ProxyKindName(ProxyKind kind) {
  switch (kind) {
    case ProxyKind::kSocks5: return "socks5";
    case ProxyKind::kSocks4: return "socks4";
    case ProxyKind::kHttp: return "http-proxy";
    case ProxyKind::kRelay: return "relay";
  }
  return "?";
}

bool DecodeBase64(const std::string& text, std::string* out) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out->clear();
  if (text.size() % 4 != 0) return false;
  for (std::size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    std::uint32_t bits = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[group + k];
      if (c == '=') {
        // Padding only at the end of the last group, at most two.
        if (!last || k < 2) return false;
        ++padding;
        bits <<= 6;
        continue;
      }
      if (padding > 0) return false;
      const char* found = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
      if (found == nullptr) return false;
      bits = (bits << 6) | static_cast<std::uint32_t>(found - kAlphabet);
    }
    out->push_back(static_cast<char>(bits >> 16));
    if (padding < 2) out->push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (padding < 1) out->push_back(static_cast<char>(bits & 0xFF));
    // The bits padding stands for must be zero (one spelling per text).
    if ((padding == 1 && (bits & 0xFF) != 0) || (padding == 2 && (bits & 0xFFFF) != 0)) return false;
  }
  return true;
}

struct ProxyFixtures::Link {
  enum class Stage { kGreeting, kAuth, kRequest, kFirstFrame, kConnecting, kTunnel };
  struct Segment {
    std::string bytes;
    std::size_t sent = 0;
    bool pauseBefore = false;   // proxy-split: wait before this segment goes
  };

  ProxyKind kind = ProxyKind::kSocks5;
  int id = 0;
  int client = -1;
  int upstream = -1;
  Stage stage = Stage::kRequest;
  std::string fromClient;        // handshake bytes not yet taken; what waits for the tunnel
  std::string toUpstream;
  std::deque<Segment> toClient;
  std::int64_t resumeAt = -1;    // steady ms when a paused segment may go
  std::uint16_t target = 0;
  std::string targetAddress;     // SOCKS4 answers with it
  std::string onFailure;         // the answer when the target cannot be reached
  bool closeAfterAnswer = false;
  std::string closeWhy;
  bool clientEof = false;
  bool upstreamShut = false;
  bool closed = false;

  std::size_t pendingToClient() const {
    std::size_t total = 0;
    for (const Segment& segment : toClient) total += segment.bytes.size() - segment.sent;
    return total;
  }
  // True when the front segment may be sent now.
  bool CanSend(std::int64_t now) const {
    if (toClient.empty()) return false;
    return !toClient.front().pauseBefore || (resumeAt >= 0 && now >= resumeAt);
  }
};

ProxyFixtures::ProxyFixtures(const ServerConfig& config, FaultSwitches* faults, Log log)
    : config_(config), faults_(faults), log_(std::move(log)) {}

ProxyFixtures::~ProxyFixtures() { CloseAll(); }

bool ProxyFixtures::Listen(std::uint16_t bound[4], std::string* error) {
  const int wanted[4] = {config_.socks5Port, config_.socks4Port, config_.httpProxyPort, config_.relayPort};
  for (int k = 0; k < 4; ++k) {
    bound[k] = 0;
    if (wanted[k] < 0) continue;
    const char* what = ProxyKindName(static_cast<ProxyKind>(k));
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      *error = std::string("cannot create the ") + what + " socket: " + std::strerror(errno);
      CloseAll();
      return false;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(wanted[k]));
    inet_pton(AF_INET, config_.bindAddress.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
      *error = "cannot listen on " + config_.bindAddress + ":" + std::to_string(wanted[k]) + " (" + what +
               " port): " + std::strerror(errno);
      ::close(fd);
      CloseAll();
      return false;
    }
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    bound[k] = ntohs(address.sin_port);
    listeners_[k] = fd;
  }
  return true;
}

void ProxyFixtures::CloseAll() {
  for (Link& link : links_) Close(&link, "server stopping");
  links_.clear();
  polled_.clear();
  for (int& fd : listeners_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

std::string ProxyFixtures::Tag(const Link& link) const {
  return std::string("[") + ProxyKindName(link.kind) + " #" + std::to_string(link.id) + "] ";
}

void ProxyFixtures::AddPolls(std::vector<pollfd>* polls) {
  links_.remove_if([](const Link& link) { return link.closed; });
  for (int fd : listeners_) polls->push_back({fd, static_cast<short>(fd >= 0 ? POLLIN : 0), 0});
  polled_.clear();
  const std::int64_t now = SteadyMilliseconds();
  for (Link& link : links_) {
    short clientEvents = 0;
    const bool tunnel = link.stage == Link::Stage::kTunnel;
    if (!link.closeAfterAnswer && !link.clientEof &&
        (tunnel ? link.toUpstream.size() : link.fromClient.size()) <= kMaxTunnelBacklog) {
      clientEvents |= POLLIN;
    }
    if (link.CanSend(now)) clientEvents |= POLLOUT;
    short upstreamEvents = 0;
    if (link.stage == Link::Stage::kConnecting) {
      upstreamEvents = POLLOUT;
    } else if (tunnel) {
      if (link.pendingToClient() <= kMaxTunnelBacklog) upstreamEvents |= POLLIN;
      if (!link.toUpstream.empty()) upstreamEvents |= POLLOUT;
    }
    polls->push_back({link.client, clientEvents, 0});
    polls->push_back({link.upstream, upstreamEvents, 0});
    polled_.push_back(&link);
  }
}

void ProxyFixtures::HandlePolls(const pollfd* polls, std::size_t count) {
  if (count < 4) return;
  for (std::size_t i = 0; i < polled_.size() && 4 + 2 * i + 1 < count; ++i) {
    Link* link = polled_[i];
    const short clientEvents = polls[4 + 2 * i].revents;
    const short upstreamEvents = polls[4 + 2 * i + 1].revents;
    if (!link->closed && (clientEvents & (POLLIN | POLLHUP | POLLERR))) ReadClient(link);
    if (!link->closed && (clientEvents & POLLOUT)) WriteClient(link);
    if (link->closed || upstreamEvents == 0) continue;
    if (link->stage == Link::Stage::kConnecting) {
      Connected(link);
      continue;
    }
    if (upstreamEvents & (POLLIN | POLLHUP | POLLERR)) ReadUpstream(link);
    if (!link->closed && (upstreamEvents & POLLOUT)) WriteUpstream(link);
  }
  // Paused answers whose time has come.
  const std::int64_t now = SteadyMilliseconds();
  for (Link& link : links_) {
    if (!link.closed && link.CanSend(now)) WriteClient(&link);
  }
  for (int k = 0; k < 4; ++k) {
    if (listeners_[k] >= 0 && (polls[k].revents & POLLIN)) Accept(listeners_[k], static_cast<ProxyKind>(k));
  }
}

int ProxyFixtures::TimeoutMs() const {
  const std::int64_t now = SteadyMilliseconds();
  std::int64_t next = -1;
  for (const Link& link : links_) {
    if (link.closed || link.toClient.empty() || !link.toClient.front().pauseBefore || link.resumeAt < 0) continue;
    const std::int64_t wait = std::max<std::int64_t>(0, link.resumeAt - now);
    if (next < 0 || wait < next) next = wait;
  }
  return static_cast<int>(next);
}

void ProxyFixtures::Pump() {
  std::vector<pollfd> polls;
  AddPolls(&polls);
  if (::poll(polls.data(), polls.size(), 0) > 0) HandlePolls(polls.data(), polls.size());
}

void ProxyFixtures::Accept(int listener, ProxyKind kind) {
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Link& link = links_.emplace_back();
    link.kind = kind;
    link.id = nextId_++;
    link.client = fd;
    link.stage = kind == ProxyKind::kSocks5 ? Link::Stage::kGreeting : Link::Stage::kRequest;
    if (log_) log_(Tag(link) + "accepted");
  }
}

void ProxyFixtures::ReadClient(Link* link) {
  char chunk[kReadChunk];
  ssize_t got;
  do {
    got = ::recv(link->client, chunk, sizeof chunk, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) Close(link, std::string("client receive failed: ") + std::strerror(errno));
    return;
  }
  if (got == 0) {
    link->clientEof = true;
    if (link->stage != Link::Stage::kTunnel) {
      Close(link, "the client closed during the handshake");
      return;
    }
    FinishHalfClose(link);
    return;
  }
  if (link->closeAfterAnswer) return;   // refused: what follows is not read
  if (link->stage == Link::Stage::kTunnel) {
    link->toUpstream.append(chunk, static_cast<std::size_t>(got));
    WriteUpstream(link);
    return;
  }
  link->fromClient.append(chunk, static_cast<std::size_t>(got));
  Handshake(link);
}

void ProxyFixtures::ReadUpstream(Link* link) {
  char chunk[kReadChunk];
  ssize_t got;
  do {
    got = ::recv(link->upstream, chunk, sizeof chunk, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) Close(link, std::string("server side failed: ") + std::strerror(errno));
    return;
  }
  if (got == 0) {
    // The server closed: the client gets what is left, then the close.
    link->closeAfterAnswer = true;
    link->closeWhy = "the server closed";
    if (link->toClient.empty()) Close(link, link->closeWhy);
    return;
  }
  if (link->toClient.empty()) link->toClient.emplace_back();
  link->toClient.back().bytes.append(chunk, static_cast<std::size_t>(got));
  WriteClient(link);
}

void ProxyFixtures::WriteClient(Link* link) {
  while (!link->toClient.empty()) {
    Link::Segment& segment = link->toClient.front();
    const std::int64_t now = SteadyMilliseconds();
    if (segment.pauseBefore) {
      if (link->resumeAt < 0) link->resumeAt = now + kSplitPauseMs;
      if (now < link->resumeAt) return;
      segment.pauseBefore = false;
      link->resumeAt = -1;
    }
    const ssize_t sent =
        ::send(link->client, segment.bytes.data() + segment.sent, segment.bytes.size() - segment.sent, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      Close(link, std::string("client send failed: ") + std::strerror(errno));
      return;
    }
    segment.sent += static_cast<std::size_t>(sent);
    if (segment.sent == segment.bytes.size()) link->toClient.pop_front();
  }
  if (link->closeAfterAnswer) Close(link, link->closeWhy);
}

void ProxyFixtures::WriteUpstream(Link* link) {
  if (link->upstream < 0 || link->stage != Link::Stage::kTunnel) return;
  while (!link->toUpstream.empty()) {
    const ssize_t sent = ::send(link->upstream, link->toUpstream.data(), link->toUpstream.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      Close(link, std::string("server side send failed: ") + std::strerror(errno));
      return;
    }
    link->toUpstream.erase(0, static_cast<std::size_t>(sent));
  }
  FinishHalfClose(link);
}

void ProxyFixtures::FinishHalfClose(Link* link) {
  // The client is done sending: so is the tunnel, once the server has it all; the server's
  // answers still come back until it closes.
  if (link->clientEof && link->toUpstream.empty() && !link->upstreamShut && link->upstream >= 0) {
    ::shutdown(link->upstream, SHUT_WR);
    link->upstreamShut = true;
  }
}

void ProxyFixtures::Answer(Link* link, const std::string& bytes) {
  if (faults_->On(Fault::kProxySplit) && bytes.size() >= 2) {
    faults_->Fired(Fault::kProxySplit);
    const std::size_t half = bytes.size() / 2;
    link->toClient.push_back({bytes.substr(0, half), 0, false});
    link->toClient.push_back({bytes.substr(half), 0, true});
  } else {
    link->toClient.push_back({bytes, 0, false});
  }
  WriteClient(link);
}

void ProxyFixtures::Refuse(Link* link, const std::string& bytes, const std::string& why) {
  if (log_) log_(Tag(*link) + "refused: " + why);
  link->closeAfterAnswer = true;
  link->closeWhy = "refused: " + why;
  if (bytes.empty()) {
    Close(link, link->closeWhy);
    return;
  }
  Answer(link, bytes);
}

void ProxyFixtures::Close(Link* link, const std::string& why) {
  if (link->closed) return;
  if (log_) log_(Tag(*link) + "closed: " + why);
  if (link->client >= 0) {
    // What the client sent and nobody read would turn the close into a reset that can destroy
    // the answer still on its way to the client.
    char drain[4096];
    while (::recv(link->client, drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
    ::close(link->client);
  }
  if (link->upstream >= 0) ::close(link->upstream);
  link->client = -1;
  link->upstream = -1;
  link->closed = true;
}

bool ProxyFixtures::Allowed(const std::string& host, std::uint16_t port) const {
  const bool local = host == "127.0.0.1" || EqualNoCase(host, "localhost") ||
                     (host == config_.bindAddress && host != "0.0.0.0");
  if (!local || port == 0) return false;
  return port == targets_.main || port == targets_.request || port == targets_.push || port == targets_.relay ||
         (targets_.login != 0 && port == targets_.login);
}

bool ProxyFixtures::Authorised(const std::string& user, const std::string& password) const {
  return !config_.proxyAuth || (user == config_.proxyUser.name && password == config_.proxyUser.password);
}

bool ProxyFixtures::Connect(Link* link, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  const std::string host = config_.bindAddress == "0.0.0.0" ? "127.0.0.1" : config_.bindAddress;
  inet_pton(AF_INET, host.c_str(), &address.sin_addr);
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (result < 0 && errno == EINTR);
  if (result < 0 && errno != EINPROGRESS) {
    ::close(fd);
    return false;
  }
  link->upstream = fd;
  link->target = port;
  link->stage = Link::Stage::kConnecting;
  if (log_) log_(Tag(*link) + "connecting to port " + std::to_string(port));
  if (result == 0) Connected(link);
  return true;
}

void ProxyFixtures::Connected(Link* link) {
  int problem = 0;
  socklen_t size = sizeof problem;
  if (getsockopt(link->upstream, SOL_SOCKET, SO_ERROR, &problem, &size) != 0) problem = errno;
  if (problem == EINPROGRESS) return;
  if (problem != 0) {
    ::close(link->upstream);
    link->upstream = -1;
    link->stage = Link::Stage::kRequest;
    Refuse(link, link->onFailure, std::string("port ") + std::to_string(link->target) + ": " + std::strerror(problem));
    return;
  }
  link->stage = Link::Stage::kTunnel;
  if (log_) log_(Tag(*link) + "tunnel to port " + std::to_string(link->target));
  sockaddr_in bound{};
  socklen_t boundSize = sizeof bound;
  getsockname(link->upstream, reinterpret_cast<sockaddr*>(&bound), &boundSize);
  const std::uint16_t boundPort = ntohs(bound.sin_port);
  const auto* boundAddress = reinterpret_cast<const std::uint8_t*>(&bound.sin_addr.s_addr);
  switch (link->kind) {
    case ProxyKind::kSocks5:
      if (faults_->On(Fault::kSocks5DomainBound)) {
        faults_->Fired(Fault::kSocks5DomainBound);
        std::string answer = Bytes({5, 0, 0, 3, 9}) + "localhost";
        answer += Bytes({boundPort >> 8, boundPort & 0xFF});
        Answer(link, answer);
      } else {
        Answer(link, Bytes({5, 0, 0, 1, boundAddress[0], boundAddress[1], boundAddress[2], boundAddress[3],
                            boundPort >> 8, boundPort & 0xFF}));
      }
      break;
    case ProxyKind::kSocks4:
      Answer(link, Bytes({0, kS4Granted, link->target >> 8, link->target & 0xFF}) + link->targetAddress);
      break;
    case ProxyKind::kHttp: Answer(link, kHttp200); break;
    case ProxyKind::kRelay: break;   // answered before the first frame
  }
  if (link->closed) return;
  link->toUpstream += link->fromClient;
  link->fromClient.clear();
  WriteUpstream(link);
  // A client that closed while the tunnel was being made.
  if (!link->closed) FinishHalfClose(link);
}

void ProxyFixtures::Handshake(Link* link) {
  for (;;) {
    if (link->closed || link->closeAfterAnswer) return;
    if (link->stage == Link::Stage::kConnecting || link->stage == Link::Stage::kTunnel) return;
    if (link->fromClient.size() > kMaxHandshake + kMaxClientFrame) {
      Refuse(link, link->kind == ProxyKind::kHttp || link->kind == ProxyKind::kRelay ? kHttp400 : "",
             "handshake too long");
      return;
    }
    bool moved = false;
    switch (link->kind) {
      case ProxyKind::kSocks5: moved = Socks5(link); break;
      case ProxyKind::kSocks4: moved = Socks4(link); break;
      case ProxyKind::kHttp: moved = Http(link); break;
      case ProxyKind::kRelay: moved = Relay(link); break;
    }
    if (!moved) return;
  }
}

bool ProxyFixtures::Socks5(Link* link) {
  std::string& in = link->fromClient;
  switch (link->stage) {
    case Link::Stage::kGreeting: {
      if (in.size() < 2) return false;
      if (At(in, 0) != 5) {
        Refuse(link, "", "not a SOCKS5 greeting");
        return false;
      }
      const std::size_t methods = At(in, 1);
      if (in.size() < 2 + methods) return false;
      const std::string offered = in.substr(2, methods);
      in.erase(0, 2 + methods);
      const bool none = offered.find('\0') != std::string::npos;
      const bool password = offered.find('\2') != std::string::npos;
      // A proxy that wants a user name names that method even when the client did not offer
      // it: the client has to give up rather than go on unauthenticated.
      const int method = methods == 0 ? 0xFF : config_.proxyAuth ? 2 : none ? 0 : password ? 2 : 0xFF;
      if (method == 0xFF) {
        Refuse(link, Bytes({5, 0xFF}), "no acceptable method offered");
        return false;
      }
      if (config_.proxyAuth && !password) {
        Refuse(link, Bytes({5, 2}), "user name and password not offered");
        return false;
      }
      Answer(link, Bytes({5, method}));
      link->stage = method == 2 ? Link::Stage::kAuth : Link::Stage::kRequest;
      return true;
    }
    case Link::Stage::kAuth: {
      if (in.size() < 2) return false;
      if (At(in, 0) != 1) {
        Refuse(link, Bytes({1, 1}), "authentication version not 1");
        return false;
      }
      const std::size_t userLength = At(in, 1);
      if (in.size() < 3 + userLength) return false;
      const std::size_t passwordLength = At(in, 2 + userLength);
      if (in.size() < 3 + userLength + passwordLength) return false;
      const std::string user = in.substr(2, userLength);
      const std::string password = in.substr(3 + userLength, passwordLength);
      in.erase(0, 3 + userLength + passwordLength);
      if (!Authorised(user, password)) {
        Refuse(link, Bytes({1, 1}), "wrong user name or password");
        return false;
      }
      Answer(link, Bytes({1, 0}));
      link->stage = Link::Stage::kRequest;
      return true;
    }
    default: break;
  }
  if (in.size() < 5) return false;
  if (At(in, 0) != 5 || At(in, 2) != 0) {
    Refuse(link, Socks5Reply(kS5Failure), "malformed request");
    return false;
  }
  const std::uint8_t type = At(in, 3);
  std::size_t addressLength = 0;
  if (type == 1) {
    addressLength = 4;
  } else if (type == 3) {
    addressLength = 1 + At(in, 4);
  } else if (type == 4) {
    addressLength = 16;
  } else {
    Refuse(link, Socks5Reply(kS5BadAddressType), "address type " + std::to_string(type));
    return false;
  }
  if (in.size() < 4 + addressLength + 2) return false;
  std::string host = type == 1 ? DottedAddress(in, 4) : type == 3 ? in.substr(5, addressLength - 1) : std::string();
  const std::uint16_t port =
      static_cast<std::uint16_t>((At(in, 4 + addressLength) << 8) | At(in, 4 + addressLength + 1));
  const std::uint8_t command = At(in, 1);
  in.erase(0, 4 + addressLength + 2);
  if (command != 1) {
    Refuse(link, Socks5Reply(kS5BadCommand), "command " + std::to_string(command));
    return false;
  }
  if (type == 4) {
    Refuse(link, Socks5Reply(kS5BadAddressType), "IPv6 target");
    return false;
  }
  if (faults_->On(Fault::kSocks5Refuse)) {
    faults_->Fired(Fault::kSocks5Refuse);
    Refuse(link, Socks5Reply(kS5Refused), "socks5-refuse");
    return false;
  }
  if (type == 3 && !Allowed(host, port) && host != "127.0.0.1" && !EqualNoCase(host, "localhost")) {
    Refuse(link, Socks5Reply(kS5HostUnreachable), "unknown host " + host);
    return false;
  }
  if (!Allowed(host, port)) {
    Refuse(link, Socks5Reply(kS5NotAllowed), "target " + host + ":" + std::to_string(port) + " not served");
    return false;
  }
  link->onFailure = Socks5Reply(kS5Refused);
  if (!Connect(link, port)) Refuse(link, link->onFailure, "cannot connect");
  return true;
}

bool ProxyFixtures::Socks4(Link* link) {
  std::string& in = link->fromClient;
  if (in.size() < 8) return false;
  if (At(in, 0) != 4) {
    Refuse(link, Socks4Reply(kS4Rejected), "not a SOCKS4 request");
    return false;
  }
  // The user id, NUL-terminated (the fixture has no use for it).
  const std::size_t end = in.find('\0', 8);
  if (end == std::string::npos) {
    if (in.size() > 8 + 255) Refuse(link, Socks4Reply(kS4Rejected), "user id without an end");
    return false;
  }
  const std::uint8_t command = At(in, 1);
  const std::uint16_t port = static_cast<std::uint16_t>((At(in, 2) << 8) | At(in, 3));
  const std::string address = in.substr(4, 4);
  const std::string host = DottedAddress(in, 4);
  in.erase(0, end + 1);
  if (command != 1) {
    Refuse(link, Socks4Reply(kS4Rejected), "command " + std::to_string(command));
    return false;
  }
  if (At(address, 0) == 0 && At(address, 1) == 0 && At(address, 2) == 0 && At(address, 3) != 0) {
    Refuse(link, Socks4Reply(kS4Rejected), "a SOCKS4a host name");
    return false;
  }
  if (faults_->On(Fault::kSocks4Refuse)) {
    faults_->Fired(Fault::kSocks4Refuse);
    Refuse(link, Socks4Reply(kS4Rejected), "socks4-refuse");
    return false;
  }
  if (!Allowed(host, port)) {
    Refuse(link, Socks4Reply(kS4Rejected), "target " + host + ":" + std::to_string(port) + " not served");
    return false;
  }
  link->targetAddress = address;
  link->onFailure = Socks4Reply(kS4Rejected);
  if (!Connect(link, port)) Refuse(link, link->onFailure, "cannot connect");
  return true;
}

bool ProxyFixtures::Http(Link* link) {
  std::string& in = link->fromClient;
  const std::size_t end = in.find("\r\n\r\n");
  if (end == std::string::npos) {
    if (in.size() > kMaxHandshake) Refuse(link, kHttp400, "request header too long");
    return false;
  }
  const std::string header = in.substr(0, end);
  in.erase(0, end + 4);
  std::string requestLine;
  std::vector<std::pair<std::string, std::string>> fields;
  if (!SplitHeader(header, &requestLine, &fields)) {
    Refuse(link, kHttp400, "malformed header line");
    return false;
  }
  const std::size_t space1 = requestLine.find(' ');
  const std::size_t space2 = space1 == std::string::npos ? space1 : requestLine.find(' ', space1 + 1);
  if (space2 == std::string::npos || requestLine.find(' ', space2 + 1) != std::string::npos) {
    Refuse(link, kHttp400, "malformed request line");
    return false;
  }
  const std::string method = requestLine.substr(0, space1);
  const std::string target = requestLine.substr(space1 + 1, space2 - space1 - 1);
  const std::string version = requestLine.substr(space2 + 1);
  if (version != "HTTP/1.0" && version != "HTTP/1.1") {
    Refuse(link, kHttp400, "malformed request line");
    return false;
  }
  if (method != "CONNECT") {
    Refuse(link, kHttp405, "method " + method);
    return false;
  }
  const std::size_t colon = target.rfind(':');
  std::uint16_t port = 0;
  if (colon == std::string::npos || colon == 0 || !ParsePort(target.substr(colon + 1), &port)) {
    Refuse(link, kHttp400, "malformed CONNECT target");
    return false;
  }
  if (faults_->On(Fault::kHttp407Lower)) {
    faults_->Fired(Fault::kHttp407Lower);
    Refuse(link, kHttp407Lower, "http-407-lower");
    return false;
  }
  if (faults_->On(Fault::kHttp407)) {
    faults_->Fired(Fault::kHttp407);
    Refuse(link, kHttp407, "http-407");
    return false;
  }
  if (config_.proxyAuth) {
    std::string credentials;
    bool given = false;
    for (const auto& [name, value] : fields) {
      if (!EqualNoCase(name, "Proxy-Authorization")) continue;
      const std::size_t space = value.find(' ');
      std::string decoded;
      given = space != std::string::npos && EqualNoCase(value.substr(0, space), "Basic") &&
              DecodeBase64(Trim(value.substr(space + 1)), &decoded);
      credentials = decoded;
    }
    const std::size_t split = credentials.find(':');
    if (!given || split == std::string::npos ||
        !Authorised(credentials.substr(0, split), credentials.substr(split + 1))) {
      Refuse(link, kHttp407, given ? "wrong user name or password" : "no Basic credentials");
      return false;
    }
  }
  const std::string host = target.substr(0, colon);
  if (!Allowed(host, port)) {
    Refuse(link, kHttp403, "target " + target + " not served");
    return false;
  }
  link->onFailure = kHttp502;
  if (!Connect(link, port)) Refuse(link, link->onFailure, "cannot connect");
  return true;
}

bool ProxyFixtures::Relay(Link* link) {
  std::string& in = link->fromClient;
  if (link->stage == Link::Stage::kRequest) {
    const std::size_t end = in.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (in.size() > kMaxHandshake) Refuse(link, kHttp400, "request header too long");
      return false;
    }
    const std::string header = in.substr(0, end);
    in.erase(0, end + 4);
    std::string requestLine;
    std::vector<std::pair<std::string, std::string>> fields;
    if (!SplitHeader(header, &requestLine, &fields) || requestLine != kRelayRequestLine) {
      Refuse(link, kHttp400, "not the relay's CONNECT request");
      return false;
    }
    std::string answer = "HTTP/1.0 200 Connection established\r\n";
    if (faults_->On(Fault::kRelayHttp11)) {
      faults_->Fired(Fault::kRelayHttp11);
      answer = "HTTP/1.1 200 Connection established\r\n";
    }
    if (faults_->On(Fault::kRelayLongHeader)) {
      faults_->Fired(Fault::kRelayLongHeader);
      answer += "X-Relay-Padding: " + std::string(kLongHeaderPadding, 'x') + "\r\n";
    }
    Answer(link, answer + "\r\n");
    link->stage = Link::Stage::kFirstFrame;
    return true;
  }
  // A line of text (no frame) is for the account-verification server.
  if (!in.empty() && static_cast<std::uint8_t>(in[0]) != kFrameMagic && targets_.login != 0) {
    if (in.find('\n') == std::string::npos) {
      if (in.size() > kMaxHandshake) Refuse(link, "", "the first line is too long");
      return false;
    }
    link->onFailure.clear();
    if (!Connect(link, targets_.login)) Refuse(link, "", "cannot connect");
    return true;
  }
  // The first frame names the server the connection is for.
  if (in.size() < kFrameHeaderSize) return false;
  const FrameHeader frame = ReadHeader(reinterpret_cast<const std::uint8_t*>(in.data()));
  if (frame.magic != kFrameMagic || frame.length > kMaxClientBody) {
    Refuse(link, "", "the first frame is no client frame");
    return false;
  }
  if (in.size() < kFrameHeaderSize + frame.length) return false;
  std::uint16_t port = 0;
  constexpr std::size_t kModeAt = kFrameHeaderSize + 60;
  if (frame.type == wire::kLogin && frame.length >= kLoginBody) {
    const std::uint32_t mode = static_cast<std::uint32_t>(At(in, kModeAt)) | (At(in, kModeAt + 1) << 8) |
                               (At(in, kModeAt + 2) << 16) | (static_cast<std::uint32_t>(At(in, kModeAt + 3)) << 24);
    port = mode == 0 ? targets_.main : mode == 2 ? targets_.request : 0;
  } else if (frame.type == wire::kPasswordChange) {
    port = targets_.main;
  } else if (frame.type == wire::kDataLogin) {
    port = targets_.request;
  } else if (frame.type == wire::kOpening) {
    port = targets_.push;
  }
  if (port == 0) {
    Refuse(link, "", "a first frame of type " + std::to_string(frame.type) + " routes nowhere");
    return false;
  }
  link->onFailure.clear();
  if (!Connect(link, port)) Refuse(link, "", "cannot connect");
  return true;
}

}  // namespace zuvo::quoteserver
