// The local quote server: plays the maker's quote servers on loopback from an install tree and
// the deterministic market model, for the tests and for a person running the terminal. Three
// listening ports (main: first login stage and password change; request: the data server's
// logins, downloads and requests; push: real-time records) served by one thread with poll,
// and on request the fixture proxies in front of them (SOCKS5, SOCKS4, HTTP CONNECT and the
// relay; ProxyFixtures.h) on the same thread.
//
// In-process use (tests): construct with ports 0, Start, read ports(), talk to it, Stop (or
// destroy it). The calls below (Command, the clock, PushStep, ReleaseHeld, Tick, the counts)
// run on the server's thread and return once done, so a test never sleeps to wait for the
// server. The program runs Open and Run in the foreground, reads console commands from standard
// input and stops on a signal through RequestStop. A client's bad input is answered or its
// connection closed; it never stops the server.
#pragma once

#include "ServerClock.h"
#include "ServerOptions.h"
#include "ServerProtocol.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zuvo::quoteserver {

struct ServerPorts {
  std::uint16_t main = 0;
  std::uint16_t request = 0;
  std::uint16_t push = 0;
  // The fixture proxies; 0 for one that is off.
  std::uint16_t socks5 = 0;
  std::uint16_t socks4 = 0;
  std::uint16_t httpProxy = 0;
  std::uint16_t relay = 0;
  // The account-verification server (--login-port); 0 when it is off.
  std::uint16_t login = 0;
};

// One open connection as the counts see it.
struct ConnectionCounts {
  int id = 0;
  PortRole role = PortRole::kRequest;
  std::uint16_t peerPort = 0;                  // the client's own port: tells a test's connections apart
  std::array<std::uint64_t, 256> received{};   // frames received, by type
  std::array<std::uint64_t, 256> written{};    // frames answered or pushed, by type
  std::size_t subscribed = 0;                  // push: instruments subscribed
  std::size_t held = 0;                        // replies held back by the timing switches
};

// Receives the --verbose lines (one frame or one connection event each), on the server's
// thread. The default writes them to standard error.
using LogSink = std::function<void(const std::string& line)>;

class QuoteServer {
 public:
  // A null clock means the system's UTC clock.
  explicit QuoteServer(ServerConfig config, ServerClock clock = nullptr);
  ~QuoteServer();   // Stop
  QuoteServer(const QuoteServer&) = delete;
  QuoteServer& operator=(const QuoteServer&) = delete;

  // Replaces the log sink; call before Open.
  void SetLogSink(LogSink sink);
  // Replaces the monotonic clock that times held replies, pacing, silence and `down` (tests);
  // call before Open.
  void SetTicker(Ticker ticker);
  // Reads console commands, one a line, from inputFd inside Run and writes the answers to
  // outputFd. The end of the input ends the reading, not the server. Call before Run.
  void SetConsole(int inputFd, int outputFd);

  // Loads the install tree, builds the market, sets the fault switches and the clock and binds
  // the three ports. False with a one-line reason in *error (bad data, a port in use); nothing
  // is left open then.
  bool Open(std::string* error);
  // Serves until RequestStop, Stop or the console's quit, on the calling thread. Requires a
  // successful Open.
  void Run();
  // Open, then Run on a thread of its own.
  bool Start(std::string* error);
  // Asks Run to return. Safe from any thread and from a signal handler.
  void RequestStop();
  // RequestStop, then waits for the thread Start made; closes every socket. Idempotent.
  void Stop();

  // The bound ports (the chosen ones when 0 was asked for); valid after Open.
  ServerPorts ports() const;
  const ServerConfig& config() const;

  // ---- The console and its in-process twins (from any thread, after Open) ---------------------
  // One console command; its answer, one line for an error ("error: ..."), which changes
  // nothing. Commands: status, clock HH:MM, speed N, news [title], fetch, advice CODE, kick,
  // down S, fault NAME[=VALUE], fault -NAME, quit, help.
  std::string Command(const std::string& line);
  // The server's time (UTC seconds).
  std::int64_t Now();
  // Freezes the clock at utc; it moves only by StepClock from then on.
  void SetManualClock(std::int64_t utc);
  void StepClock(std::int64_t seconds);
  // One push step now: the clock record when the minute changed and every changed quote to
  // every opened push connection. What the connections sent before the call is read first.
  void PushStep();
  // Runs the timed work now: held replies that are due, closing silent connections, the end of
  // `down`. What the connections sent before the call is read first.
  void Tick();
  // Sends every reply the timing switches hold back, now.
  void ReleaseHeld();
  // The open connections and their frame counts.
  std::vector<ConnectionCounts> Connections();
  // Waits until `total` frames of `type` have arrived on connections of `role` since the start
  // (closed ones included); false after timeoutMs.
  bool AwaitReceived(PortRole role, std::uint8_t type, std::uint64_t total, int timeoutMs);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
};

}  // namespace zuvo::quoteserver
