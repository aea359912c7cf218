// The fixture proxies over real loopback with a raw client: each proxy's handshake and the
// tunnel behind it, the user name and password check, the relay's routing by the first frame,
// the refusals each protocol gives for what a client must not send, and the proxy switches as
// one table.
#include "quoteserver/ServerFixture.h"

#include "ProxyFixtures.h"

#include <random>
#include <set>

namespace quoteservertest {
namespace {

using zuvo::quoteserver::PortRole;

const std::string kUser = "proxy-user-with-31-characters-x";   // the client's longest name
const std::string kPassword = "and-a-password-of-31-characters";

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::string BigEndian16(std::uint16_t value) { return Bytes({value >> 8, value & 0xFF}); }

std::string Base64(const std::string& text) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    std::uint32_t bits = static_cast<std::uint8_t>(text[i]) << 16;
    if (i + 1 < text.size()) bits |= static_cast<std::uint8_t>(text[i + 1]) << 8;
    if (i + 2 < text.size()) bits |= static_cast<std::uint8_t>(text[i + 2]);
    out += kAlphabet[(bits >> 18) & 63];
    out += kAlphabet[(bits >> 12) & 63];
    out += i + 1 < text.size() ? kAlphabet[(bits >> 6) & 63] : '=';
    out += i + 2 < text.size() ? kAlphabet[bits & 63] : '=';
  }
  return out;
}

// The client's SOCKS5 request for 127.0.0.1:port.
std::string Socks5Request(std::uint16_t port) { return Bytes({5, 1, 0, 1, 127, 0, 0, 1}) + BigEndian16(port); }
std::string Socks5Auth(const std::string& user, const std::string& password) {
  return Bytes({1, static_cast<int>(user.size())}) + user + Bytes({static_cast<int>(password.size())}) + password;
}
std::string Socks4Request(std::uint16_t port) { return Bytes({4, 1}) + BigEndian16(port) + Bytes({127, 0, 0, 1, 0}); }
std::string HttpConnect(std::uint16_t port, const std::string& credentials = "") {
  std::string request = "CONNECT 127.0.0.1:" + std::to_string(port) + " HTTP/1.0\r\n";
  if (!credentials.empty()) request += "Proxy-Authorization:Basic " + Base64(credentials) + "\r\n";
  return request + "\r\n";
}
// A client frame as it travels.
std::string FrameBytes(std::uint8_t type, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = '@';
  frame[1] = static_cast<char>(type);
  Put16(&frame, 2, 1);
  Put16(&frame, 6, static_cast<std::uint16_t>(body.size()));
  return frame + body;
}

const std::string kRelayConnect = "CONNECT 127.0.0.1:80 HTTP/1.0\r\nUser-Agent: Zuvo/1.0\r\n\r\n";

// An HTTP answer header up to its blank line, read a byte at a time so nothing after it is taken.
bool ReadHttpHeader(RawClient& client, std::string* header, std::size_t most = 20000) {
  header->clear();
  std::string byte;
  while (header->size() < most && client.ReadBytes(1, &byte)) {
    *header += byte;
    if (header->size() >= 4 && header->compare(header->size() - 4, 4, "\r\n\r\n") == 0) return true;
  }
  return false;
}

class ProxyFixtureTest : public ServerTest {
 protected:
  void StartProxies(bool withUser = false) {
    auto config = SampleConfig();
    if (withUser) {
      EnableProxies(&config, kUser, kPassword);
    } else {
      EnableProxies(&config);
    }
    StartServer(config);
  }

  // Through the SOCKS5 proxy (no authentication) to the port; the connect answer checked.
  std::unique_ptr<RawClient> ViaSocks5(std::uint16_t port) {
    auto client = std::make_unique<RawClient>(socks5Port());
    client->SendRaw(Bytes({5, 1, 0}));
    std::string answer;
    EXPECT_TRUE(client->ReadBytes(2, &answer));
    EXPECT_EQ(answer, Bytes({5, 0}));
    client->SendRaw(Socks5Request(port));
    EXPECT_TRUE(client->ReadBytes(10, &answer));
    EXPECT_EQ(answer.substr(0, 8), Bytes({5, 0, 0, 1, 127, 0, 0, 1}));
    return client;
  }

  // Into the relay (directly or on a tunnel already open); the answer header in *header.
  void EnterRelay(RawClient& client, std::string* header = nullptr) {
    client.SendRaw(kRelayConnect);
    std::string answer;
    ASSERT_TRUE(ReadHttpHeader(client, &answer));
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 ", 0), 0u) << answer;
    if (header != nullptr) *header = answer;
  }

  // True when an open server connection of the role has received a frame of the type.
  bool Served(PortRole role, std::uint8_t type) {
    for (const auto& connection : server_->Connections()) {
      if (connection.role == role && connection.received[type] > 0) return true;
    }
    return false;
  }
};

TEST_F(ProxyFixtureTest, EveryProxyTunnelsToTheServersOwnPorts) {
  StartProxies();
  ASSERT_NE(socks5Port(), 0);
  ASSERT_NE(socks4Port(), 0);
  ASSERT_NE(httpProxyPort(), 0);
  ASSERT_NE(relayPort(), 0);
  EXPECT_NE(server_->Command("status").find("proxies socks5 " + std::to_string(socks5Port())), std::string::npos);

  {
    SCOPED_TRACE("SOCKS5 to a dotted address, then a login through the tunnel");
    auto client = ViaSocks5(requestPort());
    EXPECT_TRUE(client->LogIn());
  }
  {
    SCOPED_TRACE("SOCKS5 to a name; the whole handshake and the login in one send");
    RawClient client(socks5Port());
    client.SendRaw(Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, 9}) + "localhost" + BigEndian16(requestPort()) +
                   FrameBytes(3, LoginBody("test", "pw", 2)));
    std::string answer;
    ASSERT_TRUE(client.ReadBytes(12, &answer));
    EXPECT_EQ(answer.substr(0, 4), Bytes({5, 0, 5, 0}));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 3);
  }
  {
    SCOPED_TRACE("SOCKS4");
    RawClient client(socks4Port());
    client.SendRaw(Socks4Request(requestPort()));
    std::string answer;
    ASSERT_TRUE(client.ReadBytes(8, &answer));
    EXPECT_EQ(answer, Bytes({0, 90}) + BigEndian16(requestPort()) + Bytes({127, 0, 0, 1}));
    EXPECT_TRUE(client.LogIn());
  }
  {
    SCOPED_TRACE("HTTP CONNECT; credentials are not asked for and not in the way");
    RawClient client(httpProxyPort());
    client.SendRaw(HttpConnect(requestPort(), "anyone:at-all"));
    std::string header;
    ASSERT_TRUE(ReadHttpHeader(client, &header));
    EXPECT_EQ(header.rfind("HTTP/1.0 200 ", 0), 0u) << header;
    EXPECT_TRUE(client.LogIn());
  }
  {
    SCOPED_TRACE("the push port through SOCKS4");
    RawClient client(socks4Port());
    client.SendRaw(Socks4Request(pushPort()));
    std::string answer;
    ASSERT_TRUE(client.ReadBytes(8, &answer));
    client.Send(202, OpeningFrameBody());
    Frame clock;
    EXPECT_TRUE(client.ReadFrame(&clock));
  }
}

TEST_F(ProxyFixtureTest, UserNameAndPasswordAreChecked) {
  StartProxies(true);
  {
    SCOPED_TRACE("SOCKS5 with the right user name and password");
    RawClient client(socks5Port());
    client.SendRaw(Bytes({5, 1, 2}));
    std::string answer;
    ASSERT_TRUE(client.ReadBytes(2, &answer));
    EXPECT_EQ(answer, Bytes({5, 2}));
    client.SendRaw(Socks5Auth(kUser, kPassword));
    ASSERT_TRUE(client.ReadBytes(2, &answer));
    EXPECT_EQ(answer, Bytes({1, 0}));
    client.SendRaw(Socks5Request(mainPort()));
    ASSERT_TRUE(client.ReadBytes(10, &answer));
    EXPECT_EQ(answer[1], 0);
    client.Send(3, LoginBody("test", "pw", 0));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 3);
  }
  {
    SCOPED_TRACE("HTTP with Basic credentials of 63 characters, one header line");
    RawClient client(httpProxyPort());
    client.SendRaw(HttpConnect(requestPort(), kUser + ":" + kPassword));
    std::string header;
    ASSERT_TRUE(ReadHttpHeader(client, &header));
    EXPECT_EQ(header.rfind("HTTP/1.0 200 ", 0), 0u) << header;
    EXPECT_TRUE(client.LogIn());
  }
  {
    SCOPED_TRACE("SOCKS4 has no password: its user id is not checked");
    RawClient client(socks4Port());
    client.SendRaw(Socks4Request(requestPort()));
    std::string answer;
    ASSERT_TRUE(client.ReadBytes(8, &answer));
    EXPECT_EQ(answer[1], 90);
  }
}

// What a client must not send, and the refusal each protocol gives for it: the answer, then
// the close.
TEST_F(ProxyFixtureTest, RefusesWhatTheProtocolsRefuse) {
  StartProxies(true);
  const std::string goodAuth = Bytes({5, 1, 2}) + Socks5Auth(kUser, kPassword);
  const std::string authorised = Bytes({5, 2, 1, 0});
  struct Case {
    const char* what;
    std::uint16_t port;
    std::string send;
    std::string answer;   // the whole answer; for HTTP its status line
  };
  const std::string unused = BigEndian16(1);
  const Case cases[] = {
      {"SOCKS5 wrong password", socks5Port(), Bytes({5, 1, 2}) + Socks5Auth(kUser, "wrong"),
       Bytes({5, 2, 1, 1})},
      {"SOCKS5 wrong user", socks5Port(), Bytes({5, 1, 2}) + Socks5Auth("x" + kUser, kPassword),
       Bytes({5, 2, 1, 1})},
      {"SOCKS5 no user offered to a proxy that wants one", socks5Port(), Bytes({5, 1, 0}),
       Bytes({5, 2})},
      {"SOCKS5 authentication version 5", socks5Port(),
       Bytes({5, 1, 2, 5, 1, 'a', 1, 'b'}), Bytes({5, 2, 1, 1})},
      {"SOCKS5 no methods", socks5Port(), Bytes({5, 0}), Bytes({5, 0xFF})},
      {"SOCKS4 greeting to SOCKS5", socks5Port(), Bytes({4, 1, 0, 80, 127, 0, 0, 1, 0}), ""},
      {"SOCKS5 BIND", socks5Port(), goodAuth + Bytes({5, 2, 0, 1, 127, 0, 0, 1}) + unused,
       authorised + Bytes({5, 7, 0, 1, 0, 0, 0, 0, 0, 0})},
      {"SOCKS5 IPv6 target", socks5Port(),
       goodAuth + Bytes({5, 1, 0, 4}) + std::string(16, '\0') + unused,
       authorised + Bytes({5, 8, 0, 1, 0, 0, 0, 0, 0, 0})},
      {"SOCKS5 a port the server does not serve", socks5Port(), goodAuth + Socks5Request(1),
       authorised + Bytes({5, 2, 0, 1, 0, 0, 0, 0, 0, 0})},
      {"SOCKS5 another host", socks5Port(),
       goodAuth + Bytes({5, 1, 0, 3, 11}) + "example.com" + unused,
       authorised + Bytes({5, 4, 0, 1, 0, 0, 0, 0, 0, 0})},
      {"SOCKS4 a port the server does not serve", socks4Port(), Socks4Request(1),
       Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
      {"SOCKS4 another address", socks4Port(), Bytes({4, 1, 0, 80, 10, 0, 0, 1, 0}),
       Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
      {"SOCKS4a host name", socks4Port(), Bytes({4, 1, 0, 80, 0, 0, 0, 1, 0}) + "localhost" + '\0',
       Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
      {"SOCKS4 BIND", socks4Port(), Bytes({4, 2, 0, 80, 127, 0, 0, 1, 0}),
       Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
      {"HTTP without credentials", httpProxyPort(), "CONNECT 127.0.0.1:80 HTTP/1.0\r\n\r\n",
       "HTTP/1.0 407 "},
      {"HTTP wrong password", httpProxyPort(), HttpConnect(80, kUser + ":wrong"), "HTTP/1.0 407 "},
      {"HTTP another scheme", httpProxyPort(),
       "CONNECT 127.0.0.1:80 HTTP/1.0\r\nProxy-Authorization: Digest " + Base64(kUser + ":" + kPassword) +
           "\r\n\r\n",
       "HTTP/1.0 407 "},
      {"HTTP credentials broken over two lines", httpProxyPort(),
       "CONNECT 127.0.0.1:80 HTTP/1.0\r\nProxy-Authorization:Basic " +
           Base64(kUser + ":" + kPassword).insert(72, "\r\n") + "\r\n\r\n",
       "HTTP/1.0 400 "},
      {"HTTP GET", httpProxyPort(), "GET http://127.0.0.1/ HTTP/1.0\r\n\r\n", "HTTP/1.0 405 "},
      {"HTTP no port", httpProxyPort(), "CONNECT 127.0.0.1 HTTP/1.0\r\n\r\n", "HTTP/1.0 400 "},
      {"HTTP a header without end", httpProxyPort(),
       "CONNECT 127.0.0.1:80 HTTP/1.0\r\nX: " + std::string(9000, 'y'), "HTTP/1.0 400 "},
      {"relay another request", relayPort(), "CONNECT 127.0.0.1:443 HTTP/1.0\r\n\r\n",
       "HTTP/1.0 400 "},
      {"relay a first frame of another type", relayPort(), kRelayConnect + FrameBytes(6, ""),
       "HTTP/1.0 200 "},
      {"relay a first login of mode 1", relayPort(),
       kRelayConnect + FrameBytes(3, LoginBody("a", "b", 1)), "HTTP/1.0 200 "},
      {"relay no frame", relayPort(), kRelayConnect + "GET / HTTP/1.0\r\n\r\n", "HTTP/1.0 200 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawClient client(c.port);
    client.SendRaw(c.send);
    std::string answer;
    ASSERT_TRUE(client.ReadUntilClosed(&answer)) << "closed after the answer";
    if (c.answer.rfind("HTTP/1.0 ", 0) == 0) {
      EXPECT_EQ(answer.substr(0, c.answer.size()), c.answer) << answer;
    } else {
      EXPECT_EQ(answer, c.answer);
    }
  }
  // The targets refused above were never connected to.
  EXPECT_TRUE(server_->Connections().empty());
}

TEST_F(ProxyFixtureTest, RelayRoutesByTheFirstFrame) {
  StartProxies();
  struct Case {
    const char* what;
    std::uint8_t type;
    std::string body;
    PortRole role;
  };
  const Case cases[] = {
      {"first-stage login", 3, LoginBody("test", "pw", 0), PortRole::kMain},
      {"password change", 30, PasswordBody("test", "pw", "new"), PortRole::kMain},
      {"data-server login", 207, DataLoginBody("test", "pw"), PortRole::kRequest},
      {"one-stage login", 3, LoginBody("test", "pw", 2), PortRole::kRequest},
      {"opening frame", 202, OpeningFrameBody(), PortRole::kPush},
  };
  std::vector<std::unique_ptr<RawClient>> open;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto client = std::make_unique<RawClient>(relayPort());
    EnterRelay(*client);
    client->Send(c.type, c.body);
    Frame answer;
    ASSERT_TRUE(client->ReadFrame(&answer)) << "the server answered through the relay";
    EXPECT_TRUE(Served(c.role, c.type));
    open.push_back(std::move(client));
  }
  {
    SCOPED_TRACE("the relay behind the SOCKS5 proxy, as a client with both configured reaches it");
    auto client = ViaSocks5(relayPort());
    EnterRelay(*client);
    EXPECT_TRUE(client->LogIn());
  }
}

TEST_F(ProxyFixtureTest, ClosesTravelThroughTheTunnel) {
  StartProxies();
  {
    SCOPED_TRACE("the server closes: the client sees the close");
    auto client = ViaSocks5(requestPort());
    ASSERT_TRUE(client->LogIn());
    EXPECT_EQ(server_->Command("kick"), "closed 1 connections");
    EXPECT_TRUE(client->WaitClosed());
  }
  {
    SCOPED_TRACE("the server down: the proxies refuse as their protocols do");
    ASSERT_EQ(server_->Command("down 600"), "down for 600 s");
    RawClient socks4(socks4Port());
    socks4.SendRaw(Socks4Request(requestPort()));
    std::string answer;
    ASSERT_TRUE(socks4.ReadUntilClosed(&answer));
    EXPECT_EQ(answer, Bytes({0, 91, 0, 0, 0, 0, 0, 0}));
    RawClient http(httpProxyPort());
    http.SendRaw(HttpConnect(requestPort()));
    ASSERT_TRUE(http.ReadUntilClosed(&answer));
    EXPECT_EQ(answer.rfind("HTTP/1.0 502 ", 0), 0u) << answer;
    ASSERT_EQ(server_->Command("down 0"), "down and up again");
  }
}

// Each proxy switch: the answer it bends, then the proxies serving as before once it is off.
TEST_F(ProxyFixtureTest, ProxySwitches) {
  StartProxies();
  struct Case {
    const char* fault;
    std::function<void()> check;
  };
  const Case cases[] = {
      {"proxy-split",
       [this] {
         // Every answer arrives whole and the tunnels work: SOCKS5 (its three answers), SOCKS4,
         // HTTP and the relay.
         auto client = ViaSocks5(requestPort());
         EXPECT_TRUE(client->LogIn());
         RawClient socks4(socks4Port());
         socks4.SendRaw(Socks4Request(requestPort()));
         std::string answer;
         ASSERT_TRUE(socks4.ReadBytes(8, &answer));
         EXPECT_EQ(answer.substr(0, 2), Bytes({0, 90}));
         EXPECT_TRUE(socks4.LogIn());
         RawClient http(httpProxyPort());
         http.SendRaw(HttpConnect(requestPort()));
         ASSERT_TRUE(ReadHttpHeader(http, &answer));
         EXPECT_EQ(answer.rfind("HTTP/1.0 200 ", 0), 0u);
         EXPECT_TRUE(http.LogIn());
         RawClient relay(relayPort());
         EnterRelay(relay);
         EXPECT_TRUE(relay.LogIn());
         EXPECT_GE(Fired("proxy-split"), 5u);
       }},
      {"socks5-domain-bound",
       [this] {
         RawClient client(socks5Port());
         client.SendRaw(Bytes({5, 1, 0}) + Socks5Request(requestPort()));
         std::string answer;
         ASSERT_TRUE(client.ReadBytes(2 + 5 + 9 + 2, &answer));
         EXPECT_EQ(answer.substr(0, 7 + 9), Bytes({5, 0, 5, 0, 0, 3, 9}) + "localhost");
         // Nothing more came before the server's frames.
         EXPECT_TRUE(client.LogIn());
       }},
      {"socks5-refuse",
       [this] {
         RawClient client(socks5Port());
         client.SendRaw(Bytes({5, 1, 0}) + Socks5Request(requestPort()));
         std::string answer;
         ASSERT_TRUE(client.ReadUntilClosed(&answer));
         EXPECT_EQ(answer, Bytes({5, 0, 5, 5, 0, 1, 0, 0, 0, 0, 0, 0}));
       }},
      {"socks4-refuse",
       [this] {
         RawClient client(socks4Port());
         client.SendRaw(Socks4Request(requestPort()));
         std::string answer;
         ASSERT_TRUE(client.ReadUntilClosed(&answer));
         EXPECT_EQ(answer, Bytes({0, 91, 0, 0, 0, 0, 0, 0}));
       }},
      {"http-407",
       [this] {
         RawClient client(httpProxyPort());
         client.SendRaw(HttpConnect(requestPort(), "any:one"));
         std::string answer;
         ASSERT_TRUE(client.ReadUntilClosed(&answer));
         EXPECT_EQ(answer.rfind("HTTP/1.0 407 ", 0), 0u) << answer;
       }},
      {"http-407-lower",
       [this] {
         RawClient client(httpProxyPort());
         client.SendRaw(HttpConnect(requestPort()));
         std::string answer;
         ASSERT_TRUE(client.ReadUntilClosed(&answer));
         EXPECT_EQ(answer.rfind("http/1.0 407 ", 0), 0u) << answer;
       }},
      {"relay-http11",
       [this] {
         RawClient client(relayPort());
         client.SendRaw(kRelayConnect);
         std::string answer;
         ASSERT_TRUE(ReadHttpHeader(client, &answer));
         EXPECT_EQ(answer.rfind("HTTP/1.1 200 ", 0), 0u) << answer;
       }},
      {"relay-long-header",
       [this] {
         RawClient client(relayPort());
         client.SendRaw(kRelayConnect);
         std::string answer;
         ASSERT_TRUE(ReadHttpHeader(client, &answer));
         EXPECT_EQ(answer.rfind("HTTP/1.0 200 ", 0), 0u);
         EXPECT_GT(answer.size(), 8202u);
         EXPECT_EQ(answer.find("\r\n\r\n"), answer.size() - 4) << "one header, ending past 8202 bytes";
         EXPECT_TRUE(client.LogIn());
       }},
  };
  std::set<std::string> covered;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    covered.insert(c.fault);
    ASSERT_EQ(server_->Command(std::string("fault ") + c.fault), std::string("fault ") + c.fault + " on");
    c.check();
    server_->Command(std::string("fault -") + c.fault);
    EXPECT_GT(Fired(c.fault), 0u) << "counted in status\n" << server_->Command("status");
    // Served as before once off.
    auto after = ViaSocks5(requestPort());
    EXPECT_TRUE(after->LogIn());
  }
  for (const std::string& name : zuvo::quoteserver::ProxyFaultNames()) EXPECT_EQ(covered.count(name), 1u) << name;
}

TEST_F(ProxyFixtureTest, MangledHandshakesNeverStopTheProxies) {
  StartProxies(true);
  const std::string sequences[4] = {
      Bytes({5, 2, 0, 2}) + Socks5Auth(kUser, kPassword) + Socks5Request(requestPort()) +
          FrameBytes(3, LoginBody("test", "pw", 2)),
      Socks4Request(requestPort()) + FrameBytes(3, LoginBody("test", "pw", 2)),
      HttpConnect(requestPort(), kUser + ":" + kPassword) + FrameBytes(3, LoginBody("test", "pw", 2)),
      kRelayConnect + FrameBytes(3, LoginBody("test", "pw", 2))};
  const std::uint16_t ports[4] = {socks5Port(), socks4Port(), httpProxyPort(), relayPort()};
  std::mt19937 random(20240629);
  for (int round = 0; round < 60; ++round) {
    for (int k = 0; k < 4; ++k) {
      std::string bytes = sequences[k];
      const int changes = 1 + static_cast<int>(random() % 3);
      for (int c = 0; c < changes; ++c) bytes[random() % bytes.size()] = static_cast<char>(random() % 256);
      bytes.resize(1 + random() % bytes.size());
      RawClient client(ports[k]);
      client.SendRaw(bytes);
    }
    // The proxies have taken this round's bytes (and the closes) before the next.
    server_->Command("status");
  }
  server_->Command("status");
  RawClient client(socks5Port());
  client.SendRaw(sequences[0]);
  std::string answer;
  ASSERT_TRUE(client.ReadBytes(14, &answer));
  EXPECT_EQ(answer.substr(0, 6), Bytes({5, 2, 1, 0, 5, 0}));
  Reply reply;
  ASSERT_TRUE(client.ReadReply(&reply));
  EXPECT_EQ(reply.type, 3);
}

TEST(ProxyBase64Test, DecodesOnlyStrictBase64) {
  // RFC 4648's vectors, each way.
  const std::pair<const char*, const char*> vectors[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    std::string decoded;
    EXPECT_TRUE(zuvo::quoteserver::DecodeBase64(encoded, &decoded)) << encoded;
    EXPECT_EQ(decoded, plain);
    EXPECT_EQ(Base64(plain), encoded);
  }
  for (const char* bad : {"Zg=", "Zg", "Z===", "Zm9v\r\nYg==", "Zh==", "Zg==Zg==", "Zm 9", "Zm9*"}) {
    std::string decoded;
    EXPECT_FALSE(zuvo::quoteserver::DecodeBase64(bad, &decoded)) << bad;
  }
}

}  // namespace
}  // namespace quoteservertest
