// The quote server's fixture proxies: a SOCKS5 proxy (no authentication, or user name and
// password), a SOCKS4 proxy, an HTTP proxy taking CONNECT with Basic authentication, and the
// relay, which is entered with "CONNECT 127.0.0.1:80 HTTP/1.0" and then routes the connection
// by its first frame (a first-stage login or a password change to the main port, a data-server
// or one-stage login to the request port, the opening frame to the push port) or, when it
// starts with a line of text instead of a frame, to the account-verification server.
//
// They check what the client sends as their protocols say (versions, methods, lengths, the user
// name and password) and refuse the rest the way those protocols refuse. They forward only to the
// server's own ports on the loopback or bind address: any other target is refused, so the
// fixtures are no open proxy. Their answers bend under the proxy fault switches.
//
// Everything runs on the server's thread: the loop adds the proxies' descriptors to its poll
// set (AddPolls) and hands the results back (HandlePolls). The pause of proxy-split is on the
// real steady clock, not the server's ticker, so that a blocking client in a test sees the two
// halves in two receives whatever drives the server's timers.
#pragma once

#include "FaultSwitches.h"
#include "ServerOptions.h"

#include <poll.h>

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

enum class ProxyKind { kSocks5, kSocks4, kHttp, kRelay };
const char* ProxyKindName(ProxyKind kind);

// The ports a proxy may forward to (filled once the server listens).
struct ForwardPorts {
  std::uint16_t main = 0;
  std::uint16_t request = 0;
  std::uint16_t push = 0;
  std::uint16_t relay = 0;
  std::uint16_t login = 0;   // the account-verification server, 0 when off
};

class ProxyFixtures {
 public:
  using Log = std::function<void(const std::string& line)>;

  // log may be null (no logging); faults must outlive the fixtures.
  ProxyFixtures(const ServerConfig& config, FaultSwitches* faults, Log log);
  ~ProxyFixtures();
  ProxyFixtures(const ProxyFixtures&) = delete;
  ProxyFixtures& operator=(const ProxyFixtures&) = delete;

  // Binds the proxies the configuration asks for; their ports in *bound (0 for one that is off).
  // False with a one-line reason, nothing left open.
  bool Listen(std::uint16_t bound[4], std::string* error);
  void SetTargets(const ForwardPorts& targets) { targets_ = targets; }

  // The descriptors to poll this turn, appended; HandlePolls takes the same entries back.
  void AddPolls(std::vector<pollfd>* polls);
  void HandlePolls(const pollfd* polls, std::size_t count);
  // Milliseconds until a paused answer may go on (-1: nothing waits).
  int TimeoutMs() const;
  // Moves whatever is ready now without waiting (the in-process calls run it first).
  void Pump();
  void CloseAll();

  // Open tunnels and handshakes, for `status`.
  std::size_t open() const { return links_.size(); }

 private:
  struct Link;
  void Accept(int listener, ProxyKind kind);
  void ReadClient(Link* link);
  void ReadUpstream(Link* link);
  void WriteClient(Link* link);
  void WriteUpstream(Link* link);
  void Handshake(Link* link);
  bool Socks5(Link* link);
  bool Socks4(Link* link);
  bool Http(Link* link);
  bool Relay(Link* link);
  // Queues an answer to the client, in two segments under proxy-split.
  void Answer(Link* link, const std::string& bytes);
  // Answers, then closes once it is sent.
  void Refuse(Link* link, const std::string& bytes, const std::string& why);
  // Starts the connection to the target; false when it cannot even start.
  bool Connect(Link* link, std::uint16_t port);
  void Connected(Link* link);
  void FinishHalfClose(Link* link);
  void Close(Link* link, const std::string& why);
  bool Allowed(const std::string& host, std::uint16_t port) const;
  bool Authorised(const std::string& user, const std::string& password) const;
  std::string Tag(const Link& link) const;

  const ServerConfig& config_;
  FaultSwitches* faults_;
  Log log_;
  ForwardPorts targets_;
  int listeners_[4] = {-1, -1, -1, -1};
  std::list<Link> links_;
  int nextId_ = 1;
  std::vector<Link*> polled_;
};

// Strict base64 (RFC 4648, standard alphabet, padded, no line breaks): false for anything else.
bool DecodeBase64(const std::string& text, std::string* out);

}  // namespace zuvo::quoteserver
