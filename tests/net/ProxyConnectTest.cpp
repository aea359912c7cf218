// Opening a server connection through the user's proxy and the relay: the base64 of the Basic
// authentication, each handshake against scripted answers (cut into segments as a network cuts
// them, refusals, bound addresses of every type, overlong headers), and real loopback peers for
// the unreachable proxy and a whole SOCKS5-then-relay chain.
#include "net/Base64.h"
#include "net/LoopbackPeer.h"
#include "net/NetTestSupport.h"

#include "data/UtilData.h"
#include "net/RequestFrames.h"
#include "quoteserver/ServerFixture.h"
#include "platform/WinSock.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace nettest {
namespace {

using zuvo::net::Base64Encode;
using zuvo::net::Base64EncodedSize;

std::string Encode(const std::string& text) {
  std::vector<char> out(Base64EncodedSize(text.size()) + 8, '#');
  Base64Encode(text.c_str(), out.data());
  EXPECT_EQ(out[Base64EncodedSize(text.size()) - 1], '\0');
  return out.data();
}

TEST(Base64Test, MatchesTheStandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},          {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) EXPECT_EQ(Encode(plain), encoded) << plain;
  // Bytes above 127 (GBK text) use the whole alphabet, '+' and '/' included.
  EXPECT_EQ(Encode("\xfb\xff\xbf"), "+/+/");
}

TEST(Base64Test, LongCredentialsStayOnOneLine) {
  for (std::size_t length : {53u, 54u, 55u, 63u, 100u}) {
    const std::string text(length, 'a');
    const std::string encoded = Encode(text);
    EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4) << length;
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos) << length;
  }
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

constexpr char kUnreachable[] = "无法连接代理服务器。";
constexpr char kAuthFailed[] = "代理服务器认证失败。";
constexpr char kNeedsAuth[] = "代理服务器需要身份验证。";
constexpr char kSocks4Names[] = "SOCKS4 代理不支持域名。";
constexpr char kRelayReceive[] = "接收数据失败，无法通过绿色通道中转。";
constexpr char kRelayRefused[] = "认证失败，无法通过绿色通道中转。";
constexpr char kRelayRequest[] = "CONNECT 127.0.0.1:80 HTTP/1.0\r\nUser-Agent: Zuvo/1.0\r\n\r\n";
// What the server sends first once the tunnel stands: it must reach the frame reader whole.
constexpr char kTunnelBytes[] = "@\x08 first frame";

// An install tree whose user SERVER.INI holds the proxy settings and whose program folder's
// SERVER.INI names the relay.
class ProxySettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir_, UserDir);
    std::strcpy(UserDir, "..\\user\\");
  }
  void TearDown() override { std::strcpy(UserDir, savedUserDir_); }

  void Settings(int useProxy, int proxyPort, bool relay, int relayPort, const std::string& user = "",
                const std::string& password = "", bool certUser = false) {
    const std::string lines = testsupport::CrlfLines({"[Server]", "UserName=trader", "[ProxyServer]"}) +
                              testsupport::CrlfLines({"UseProxy=" + std::to_string(useProxy),
                                                      "GreenWay=" + std::to_string(relay ? 1 : 0),
                                                      "Address=127.0.0.1", "Port=" + std::to_string(proxyPort),
                                                      "UserName=" + user, "Password=" + password,
                                                      "CertUser=" + std::to_string(certUser ? 1 : 0)});
    testsupport::WriteBytes(install_.user() / "SERVER.INI", lines);
    testsupport::WriteBytes(install_.bin() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "GC=127.0.0.1", "GCPort=" + std::to_string(relayPort)}));
  }

  testsupport::TempInstall install_;
  char savedUserDir_[kUserDirSize] = {};
};

// The rest of what a scripted client would still hand out.
std::string Rest(ScriptedRequest& client) {
  std::string rest;
  char buffer[256];
  for (int got; (got = client.Receive(buffer, sizeof buffer, 0)) > 0;) rest.append(buffer, static_cast<std::size_t>(got));
  return rest;
}

// Splits bytes into single-byte segments: the hardest cut a network can make.
std::vector<std::string> Trickle(const std::string& bytes) {
  std::vector<std::string> segments;
  for (char c : bytes) segments.emplace_back(1, c);
  return segments;
}

struct HandshakeCase {
  const char* name;
  int useProxy;
  bool relay;
  bool certUser;
  std::string user, password;
  const char* host;
  int port;
  std::vector<std::string> answers;   // segments the proxy (then the relay) sends
  int result;
  const char* text;                    // expected error text; null: left as it was
  std::string sent;                    // everything the client sent
  bool socketKept;                     // still open after the call
  std::string rest = "";               // unread bytes after the call
};

const std::string kSocks5Ipv4Request = Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0x33, 0x60});   // 127.0.0.1:13152
const std::string kSocks5Granted = Bytes({5, 0, 0, 1, 10, 0, 0, 9, 0x04, 0x38});
const std::string kHttpRequest = "CONNECT 127.0.0.1:13152 HTTP/1.0\r\n\r\n";

std::vector<HandshakeCase> HandshakeCases() {
  const std::string longUser(27, 'u');
  const std::string longPassword(26, 'p');
  const std::string domainBound = Bytes({5, 0, 0, 3, 16}) + "gateway.example." + Bytes({0x1F, 0x90});
  const std::string ipv6Bound = Bytes({5, 0, 0, 4}) + std::string(16, '\x20') + Bytes({0x1F, 0x90});
  const std::string tail = kTunnelBytes;
  return {
      {"direct", 0, false, false, "", "", "127.0.0.1", 0, {tail}, 0, nullptr, "", true, tail},
      {"socks5 answers one byte at a time", 1, false, false, "", "", "127.0.0.1", 13152,
       Trickle(Bytes({5, 0}) + kSocks5Granted), 0, nullptr, Bytes({5, 1, 0}) + kSocks5Ipv4Request, true},
      {"socks5 with user and password, domain bound address, tunnel bytes behind it", 1, false, true, "ann", "secret",
       "127.0.0.1", 13152, {Bytes({5, 2}), Bytes({1, 0}), domainBound.substr(0, 7), domainBound.substr(7) + tail}, 0,
       nullptr, Bytes({5, 1, 2}) + Bytes({1, 3}) + "ann" + Bytes({6}) + "secret" + kSocks5Ipv4Request, true, tail},
      {"socks5 IPv6 bound address in one segment with the tunnel bytes", 1, false, false, "", "", "127.0.0.1", 13152,
       {Bytes({5, 0}) + ipv6Bound + tail}, 0, nullptr, Bytes({5, 1, 0}) + kSocks5Ipv4Request, true, tail},
      {"socks5 asks for a host name", 1, false, false, "", "", "quotes.example", 80, {Bytes({5, 0}), kSocks5Granted}, 0,
       nullptr, Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, 14}) + "quotes.example" + Bytes({0, 80}), true},
      {"socks5 without CertUser offers only method 00; method 02 needs authentication", 1, false, false, "", "",
       "127.0.0.1", 13152, {Bytes({5, 2})}, 3, kNeedsAuth, Bytes({5, 1, 0}), false},
      {"socks5 no acceptable method", 1, false, true, "ann", "x", "127.0.0.1", 13152, {Bytes({5, 0xFF})}, 3,
       kAuthFailed, Bytes({5, 1, 2}), false},
      {"socks5 method answer cut short", 1, false, false, "", "", "127.0.0.1", 13152, {Bytes({5})}, 3, kAuthFailed,
       Bytes({5, 1, 0}), false},
      {"socks5 password refused", 1, false, true, "ann", "bad", "127.0.0.1", 13152, {Bytes({5, 2}), Bytes({1, 1})}, 3,
       kAuthFailed, Bytes({5, 1, 2, 1, 3}) + "ann" + Bytes({3}) + "bad", false},
      {"socks5 tunnel refused", 1, false, false, "", "", "127.0.0.1", 13152, {Bytes({5, 0}), Bytes({5, 5, 0, 1})}, 1,
       nullptr, Bytes({5, 1, 0}) + kSocks5Ipv4Request, false},
      {"socks5 bound address cut short", 1, false, false, "", "", "127.0.0.1", 13152,
       {Bytes({5, 0}), Bytes({5, 0, 0, 3, 16}) + "gate"}, 1, nullptr, Bytes({5, 1, 0}) + kSocks5Ipv4Request, false},
      {"socks4 granted in two segments", 2, false, false, "", "", "127.0.0.1", 13152,
       {Bytes({0, 90, 0}), Bytes({0, 0, 0, 0, 0}) + tail}, 0, nullptr, Bytes({4, 1, 0x33, 0x60, 127, 0, 0, 1, 0}), true,
       tail},
      {"socks4 refused", 2, false, false, "", "", "127.0.0.1", 13152, {Bytes({0, 91, 0, 0, 0, 0, 0, 0})}, 1, nullptr,
       Bytes({4, 1, 0x33, 0x60, 127, 0, 0, 1, 0}), false},
      {"socks4 with a host name sends nothing", 2, false, false, "", "", "quotes.example", 80, {}, 3, kSocks4Names, "",
       false},
      {"http 200 cut into segments, tunnel bytes behind it", 3, false, false, "", "", "127.0.0.1", 13152,
       {"HTTP/1.0 20", "0 Connection established\r\n", "Via: x\r\n\r", "\n" + tail}, 0, nullptr, kHttpRequest, true,
       tail},
      {"http status in lower case", 3, false, false, "", "", "127.0.0.1", 13152, {"http/1.1 200 ok\r\n\r\n"}, 0, nullptr,
       kHttpRequest, true},
      {"http CertUser with an empty password sends user name and colon", 3, false, true, "user", "", "127.0.0.1",
       13152, {"HTTP/1.1 200 OK\r\n\r\n"}, 0, nullptr,
       "CONNECT 127.0.0.1:13152 HTTP/1.0\r\nProxy-Authorization:Basic dXNlcjo=\r\n\r\n", true},
      {"http 54-character credentials on one line", 3, false, true, longUser, longPassword, "127.0.0.1", 13152,
       {"HTTP/1.1 200 OK\r\n\r\n"}, 0, nullptr,
       "CONNECT 127.0.0.1:13152 HTTP/1.0\r\nProxy-Authorization:Basic " + Encode(longUser + ":" + longPassword) +
           "\r\n\r\n",
       true},
      {"http 407 with CertUser", 3, false, true, "ann", "bad", "127.0.0.1", 13152,
       {"HTTP/1.0 407 Proxy Authentication Required\r\n\r\n"}, 3, kAuthFailed,
       "CONNECT 127.0.0.1:13152 HTTP/1.0\r\nProxy-Authorization:Basic " + Encode("ann:bad") + "\r\n\r\n", false},
      {"http 407 in lower case without CertUser", 3, false, false, "", "", "127.0.0.1", 13152,
       {"http/1.1 407 proxy authentication required\r\n\r\n"}, 3, kNeedsAuth, kHttpRequest, false},
      {"http tunnel forbidden", 3, false, false, "", "", "127.0.0.1", 13152, {"HTTP/1.1 403 Forbidden\r\n\r\n"}, 1,
       nullptr, kHttpRequest, false},
      {"http answer shorter than a status line", 3, false, false, "", "", "127.0.0.1", 13152, {"HTTP/1.0"}, 2,
       kUnreachable, kHttpRequest, false},
      {"http header never ends within the buffer", 3, false, false, "", "", "127.0.0.1", 13152,
       {"HTTP/1.0 200 OK\r\nX: " + std::string(9000, 'x')}, 2, kUnreachable, kHttpRequest, false},
      {"relay goes to GC:GCPort whatever host was named", 0, true, false, "", "", "198.51.100.7", 9,
       Trickle("HTTP/1.0 200 Connection established\r\n\r\n"), 0, nullptr,
       kRelayRequest, true},
      {"relay answering HTTP/1.1 is refused", 0, true, false, "", "", "198.51.100.7", 9, {"HTTP/1.1 200 OK\r\n\r\n"}, 3,
       kRelayRefused, kRelayRequest, false},
      {"relay header longer than the receive buffer", 0, true, false, "", "", "198.51.100.7", 9,
       {"HTTP/1.0 200 OK\r\nX: " + std::string(9000, 'x') + "\r\n\r\n"}, 2, kRelayReceive, kRelayRequest, true},
      {"relay closing mid-answer", 0, true, false, "", "", "198.51.100.7", 9, {"HTTP/1.0 200 OK\r\n"}, 2,
       kRelayReceive, kRelayRequest, true},
      {"relay behind socks5 asks the proxy for GC:GCPort", 1, true, false, "", "", "198.51.100.7", 9,
       {Bytes({5, 0}), kSocks5Granted, "HTTP/1.0 200 OK\r\n\r\n" + tail}, 0, nullptr,
       Bytes({5, 1, 0}) + Bytes({5, 1, 0, 1, 127, 0, 0, 1}) + "PORT" + kRelayRequest, true, tail},
  };
}

TEST_F(ProxySettingsTest, HandshakesAgainstScriptedAnswers) {
  for (HandshakeCase c : HandshakeCases()) {
    SCOPED_TRACE(c.name);
    // A real listener takes the connect; the answers come from the script, one segment a call.
    LoopbackPeer peer;
    Settings(c.useProxy, peer.port(), c.relay, peer.port(), c.user, c.password, c.certUser);
    const std::string portBytes = Bytes({peer.port() >> 8 & 0xFF, peer.port() & 0xFF});
    if (const std::size_t at = c.sent.find("PORT"); at != std::string::npos) c.sent.replace(at, 4, portBytes);
    ScriptedRequest client;
    ASSERT_EQ(client.Create(), 1);
    client.peerClosed = true;
    client.Queue(c.answers);
    std::strcpy(client.errorText, "earlier");
    const int port = c.useProxy == 0 && !c.relay ? peer.port() : c.port;

    EXPECT_EQ(client.ConnectViaProxy(c.host, port), c.result);
    EXPECT_EQ(std::string(client.errorText), c.text != nullptr ? c.text : "earlier");
    EXPECT_EQ(client.sent, c.sent);
    EXPECT_EQ(client.handle != -1, c.socketKept);
    EXPECT_EQ(client.receiveCount, 0);
    if (c.result == 0) {
      EXPECT_EQ(Rest(client), c.rest);
    }
    client.Close();
  }
}

// A proxy that fails to answer at all: the port of a listener already gone.
TEST_F(ProxySettingsTest, UnreachableProxyGivesTwoAndClosesTheSocket) {
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(5000, 5000);
  int gonePort = 0;
  {
    LoopbackPeer gone;
    gonePort = gone.port();
  }
  for (int useProxy : {1, 2, 3}) {
    SCOPED_TRACE(useProxy);
    Settings(useProxy, gonePort, false, 0);
    TRealDataClnt client;
    ASSERT_EQ(client.Create(), 1);
    EXPECT_EQ(client.ConnectViaProxy("127.0.0.1", 13152), 2);
    EXPECT_STREQ(client.errorText, kUnreachable);
    EXPECT_EQ(client.handle, -1);
  }
  // Without a proxy, a refused connection is result 1 with no text of its own.
  Settings(0, 0, false, 0);
  TNormalClnt client;
  ASSERT_EQ(client.Create(), 1);
  EXPECT_EQ(client.ConnectViaProxy("127.0.0.1", gonePort), 1);
  EXPECT_STREQ(client.errorText, "");
  EXPECT_EQ(client.handle, -1);
}

// Reads exactly `length` bytes from a peer connection.
std::string ReadExact(SOCKET connection, std::size_t length) {
  std::string bytes;
  char buffer[512];
  while (bytes.size() < length) {
    const int got = recv(connection, buffer, static_cast<int>(std::min(sizeof buffer, length - bytes.size())), 0);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

// The chain over real sockets: a SOCKS5 proxy with a domain bound address, then the relay, whose
// answer arrives in one write together with the server's first bytes; the client's next read
// must start at those bytes.
TEST_F(ProxySettingsTest, Socks5ThenRelayOverLoopbackLeavesTheTunnelBytesUnread) {
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(20000, 20000);
  LoopbackPeer proxy;
  Settings(1, proxy.port(), true, 443, "ann", "secret", true);
  const std::string relayRequest = kRelayRequest;
  std::string greeting, auth, request, relay;
  std::thread peer([&] {
    const SOCKET connection = proxy.Accept();
    greeting = ReadExact(connection, 3);
    LoopbackPeer::Write(connection, Bytes({5, 2}));
    auth = ReadExact(connection, 2 + 3 + 1 + 6);
    LoopbackPeer::Write(connection, Bytes({1, 0}));
    request = ReadExact(connection, 10);
    LoopbackPeer::Write(connection, Bytes({5, 0, 0, 3, 4}) + "gate" + Bytes({1, 0xBB}));
    relay = ReadExact(connection, relayRequest.size());
    LoopbackPeer::Write(connection, std::string("HTTP/1.0 200 OK\r\n\r\n") + kTunnelBytes);
  });
  TNormalClnt client;
  ASSERT_EQ(client.Create(), 1);
  const int result = client.ConnectViaProxy("quotes.example", 13152);
  peer.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(greeting, Bytes({5, 1, 2}));
  EXPECT_EQ(auth, Bytes({1, 3}) + "ann" + Bytes({6}) + "secret");
  EXPECT_EQ(request, Bytes({5, 1, 0, 1, 127, 0, 0, 1, 1, 0xBB}));
  EXPECT_EQ(relay, relayRequest);
  const std::string tunnel = kTunnelBytes;
  std::string next(tunnel.size(), '\0');
  int got = 0;
  while (got < static_cast<int>(next.size())) {
    const int received = client.Receive(next.data() + got, static_cast<int>(next.size()) - got, 0);
    ASSERT_GT(received, 0);
    got += received;
  }
  EXPECT_EQ(next, tunnel);
}

// Through the quote server's fixture proxies to its real ports: each proxy kind and each proxy
// fault switch, then a login and a version request over the tunnel, so a misread answer (bytes
// left over, or bytes of the server's taken) shows as a broken frame.
class ProxyFixtureEndToEnd : public quoteservertest::ServerTest {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir_, UserDir);
    std::strcpy(UserDir, "..\\user\\");
    zuvo::quoteserver::ServerConfig config = SampleConfig();
    config.timedPush = false;
    EnableProxies(&config, kProxyUser, kProxyPassword);
    StartServer(config);
  }
  void TearDown() override {
    quoteservertest::ServerTest::TearDown();
    std::strcpy(UserDir, savedUserDir_);
  }

  // The longest pair the settings hold: 31 + ':' + 31 = 63 characters, 84 in base64.
  static inline const std::string kProxyUser = std::string(30, 'u') + "1";
  static inline const std::string kProxyPassword = std::string(30, 'p') + "2";

  testsupport::TempInstall install_;
  char savedUserDir_[kUserDirSize] = {};
};

struct FixtureCase {
  const char* name;
  int useProxy;          // 0 none, 1 SOCKS5, 2 SOCKS4, 3 HTTP
  bool relay;
  const char* fault;     // switched on for this row; empty: none
  bool certUser;
  const char* password;  // null: the fixture's own
  const char* host;      // null: 127.0.0.1
  int result;
  const char* text;      // null: no text
};

TEST_F(ProxyFixtureEndToEnd, EachProxyAndSwitchThroughTheFixtures) {
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(10000, 20000);
  const FixtureCase cases[] = {
      {"direct", 0, false, "", false, nullptr, nullptr, 0, nullptr},
      {"socks5 with a 63-character user and password", 1, false, "", true, nullptr, nullptr, 0, nullptr},
      {"socks5 answers split", 1, false, "proxy-split", true, nullptr, nullptr, 0, nullptr},
      {"socks5 domain bound address", 1, false, "socks5-domain-bound", true, nullptr, nullptr, 0, nullptr},
      {"socks5 refuses the tunnel", 1, false, "socks5-refuse", true, nullptr, nullptr, 1, nullptr},
      {"socks5 without CertUser meets a proxy asking for it", 1, false, "", false, nullptr, nullptr, 3, kNeedsAuth},
      {"socks5 wrong password", 1, false, "", true, "wrong", nullptr, 3, kAuthFailed},
      {"socks4", 2, false, "", false, nullptr, nullptr, 0, nullptr},
      {"socks4 answers split", 2, false, "proxy-split", false, nullptr, nullptr, 0, nullptr},
      {"socks4 refuses", 2, false, "socks4-refuse", false, nullptr, nullptr, 1, nullptr},
      {"socks4 with a host name", 2, false, "", false, nullptr, "localhost", 3, kSocks4Names},
      {"http with a 63-character user and password", 3, false, "", true, nullptr, nullptr, 0, nullptr},
      {"http answers split", 3, false, "proxy-split", true, nullptr, nullptr, 0, nullptr},
      {"http 407 with CertUser", 3, false, "http-407", true, nullptr, nullptr, 3, kAuthFailed},
      {"http 407 in lower case without CertUser", 3, false, "http-407-lower", false, nullptr, nullptr, 3, kNeedsAuth},
      {"http without CertUser meets a proxy asking for it", 3, false, "", false, nullptr, nullptr, 3, kNeedsAuth},
      {"relay whatever host was named", 0, true, "", false, nullptr, "198.51.100.7", 0, nullptr},
      {"relay answers split", 0, true, "proxy-split", false, nullptr, "198.51.100.7", 0, nullptr},
      {"relay answering HTTP/1.1", 0, true, "relay-http11", false, nullptr, "198.51.100.7", 3, kRelayRefused},
      {"relay header too long", 0, true, "relay-long-header", false, nullptr, "198.51.100.7", 2, kRelayReceive},
      {"relay behind socks5", 1, true, "", true, nullptr, "198.51.100.7", 0, nullptr},
      {"relay behind socks5 with a domain bound address", 1, true, "socks5-domain-bound", true, nullptr, nullptr, 0,
       nullptr},
      {"relay behind http", 3, true, "", true, nullptr, "198.51.100.7", 0, nullptr},
  };
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int proxyPort = c.useProxy == 1 ? socks5Port() : c.useProxy == 2 ? socks4Port() : httpProxyPort();
    const std::string userIni =
        testsupport::CrlfLines({"[ProxyServer]", "UseProxy=" + std::to_string(c.useProxy),
                                std::string("GreenWay=") + (c.relay ? "1" : "0"), "Address=127.0.0.1",
                                "Port=" + std::to_string(proxyPort), "UserName=" + kProxyUser,
                                "Password=" + std::string(c.password != nullptr ? c.password : kProxyPassword),
                                std::string("CertUser=") + (c.certUser ? "1" : "0")});
    testsupport::WriteBytes(install_.user() / "SERVER.INI", userIni);
    testsupport::WriteBytes(install_.bin() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "GC=127.0.0.1", "GCPort=" + std::to_string(relayPort())}));
    const std::string fault = c.fault;
    if (!fault.empty()) {
      ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on");
    }

    TNormalClnt client;
    ASSERT_EQ(client.Create(), 1);
    EXPECT_EQ(client.ConnectViaProxy(c.host != nullptr ? c.host : "127.0.0.1", requestPort()), c.result);
    EXPECT_STREQ(client.errorText, c.text != nullptr ? c.text : "");
    // The tunnel carries frames both ways: a one-stage login, then the version request as the
    // request client builds it. (A lambda, so that a failed step ends only its row.)
    auto exchange = [&] {
      const std::string login = Frame(3, quoteservertest::LoginBody("test", "pw", 2));
      ASSERT_EQ(client.Send(login.data(), static_cast<int>(login.size()), 0), static_cast<int>(login.size()));
      ASSERT_EQ(client.ReadFrameHeader(), 1);
      ASSERT_GE(client.ReadFrameBody(), 0);
      EXPECT_EQ(int{client.header.type}, 3);
      RequestRecord version;
      version.kind = kRequestVersion;
      ASSERT_GT(BuildRequestFrame(&client, &version), 0);
      ASSERT_EQ(client.ReadFrameHeader(), 1);
      ASSERT_GE(client.ReadFrameBody(), 0);
      EXPECT_EQ(int{client.header.type}, 202);
    };
    if (c.result == 0) exchange();
    client.Close();
    if (!fault.empty()) server_->Command("fault -" + fault);
  }
}

}  // namespace
}  // namespace nettest
