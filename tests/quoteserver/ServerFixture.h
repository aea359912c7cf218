// Shared pieces of the quote-server tests: the sample install tree (generated once per test
// program by tools/sample-market), the path of the quote-server program, and a fixture that
// runs a server in-process on ephemeral ports with a fixed clock and records its log.
#pragma once

#include "QuoteServer.h"
#include "quoteserver/RawClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quoteservertest {

// The root of the generated sample install tree; fails the test (and returns an empty path)
// when the generator cannot be run.
const std::filesystem::path& SampleRoot();
// A tool program built beside the tests: under ZUVO_TOOLS_DIR, else in the build tree.
std::filesystem::path ToolProgram(const std::string& folder, const std::string& program);

// Saturday 2024-06-29 00:00 UTC: the moment the sample tree is written for.
constexpr std::int64_t kSampleNow = 1719619200;

class ServerTest : public testing::Test {
 protected:
  // A configuration serving the sample tree on ephemeral ports.
  static zuvo::quoteserver::ServerConfig SampleConfig();
  // Opens the four fixture proxies (SOCKS5, SOCKS4, HTTP CONNECT, the relay) on ephemeral
  // ports; with a user, the SOCKS5 and HTTP proxies ask for that name and password.
  static void EnableProxies(zuvo::quoteserver::ServerConfig* config);
  static void EnableProxies(zuvo::quoteserver::ServerConfig* config, const std::string& user,
                            const std::string& password);
  // Starts a server; the test fails when it does not start. `prepare` runs before the start
  // (a ticker of the test's own, say).
  void StartServer(zuvo::quoteserver::ServerConfig config = SampleConfig(),
                   const std::function<void(zuvo::quoteserver::QuoteServer&)>& prepare = nullptr);
  void TearDown() override;

  std::uint16_t mainPort() const { return server_->ports().main; }
  std::uint16_t requestPort() const { return server_->ports().request; }
  std::uint16_t pushPort() const { return server_->ports().push; }
  // The fixture proxies' ports (0 for one not enabled).
  std::uint16_t socks5Port() const { return server_->ports().socks5; }
  std::uint16_t socks4Port() const { return server_->ports().socks4; }
  std::uint16_t httpProxyPort() const { return server_->ports().httpProxy; }
  std::uint16_t relayPort() const { return server_->ports().relay; }

  // A request-port client already logged in.
  std::unique_ptr<RawClient> LoggedIn();
  // One request on a logged-in connection; its reply.
  Reply Ask(std::uint8_t type, const std::string& body);
  // True when the log holds a line containing text.
  bool Logged(const std::string& text);
  // A push-port client that has sent the opening frame and read the clock record after it;
  // the record in *clock when asked for.
  std::unique_ptr<RawClient> OpenedPush(std::string* clock = nullptr);
  // How often the named fault switch has acted, from `status`.
  std::uint64_t Fired(const std::string& name);
  // A `prepare` step for StartServer: the server's monotonic ticker becomes ticks_, which only
  // the test moves (then Tick() runs what fell due), so nothing the server times waits on the
  // wall clock.
  std::function<void(zuvo::quoteserver::QuoteServer&)> DrivenTicker();

  std::atomic<std::int64_t> now_{kSampleNow};
  std::atomic<std::int64_t> ticks_{1000000};
  std::unique_ptr<zuvo::quoteserver::QuoteServer> server_;

 private:
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

}  // namespace quoteservertest
