// The request client's connection and login over real loopback: the one-stage and two-stage
// logins against the local quote server (its block saved, dsAddr written, the stored block used),
// every refusal and broken answer ending in its result and text with the socket closed and the
// old dsinfo.dat whole, server texts cut into the error text, the read timeout of a silent
// server, the heartbeat, the password change on the main port, and the rights taken from a
// block. Where the exact request bytes matter, a scripted one-connection peer stands in for the
// server.
#include "net/NetTestSupport.h"

#include "core/PackedTime.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/LoopbackPeer.h"
#include "net/RequestFrames.h"
#include "net/RequestQueue.h"
#include "net/ServerRights.h"
#include "platform/DrivenClock.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"
#include "quoteserver/ServerFixture.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace nettest {
namespace {

using zuvo::quoteserver::PortRole;
using zuvo::quoteserver::ServerConfig;

constexpr char kNetworkError[] = "网络连接发生错误。";
constexpr char kUnknownError[] = "未知错误。";
constexpr char kBadLogin[] = "用户名或密码错误。";
constexpr char kBadPassword[] = "原密码错误。";
constexpr char kUser[] = "张三";   // GBK at run time, as the user's SERVER.INI holds it
constexpr int kAwaitMs = 20000;

// ---- A window that records the login progress messages ------------------------------------------

std::vector<UINT> progressMessages;

LRESULT ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgLoginSearchServer || message == MsgLoginConnectServer) {
    progressMessages.push_back(message);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class ProgressRecorder {
 public:
  ProgressRecorder() {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = &ProgressProc;
      windowClass.lpszClassName = "LoginTestProgress";
      RegisterClassA(&windowClass);
      registered = true;
    }
    window_ = CreateWindowExA(0, "LoginTestProgress", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(window_, nullptr);
    progressMessages.clear();
  }
  ~ProgressRecorder() {
    DestroyWindow(window_);
    progressMessages.clear();
  }
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// ---- A scripted one-connection server -----------------------------------------------------------

// Accepts one connection on a thread of its own, reads `requestBytes` bytes, answers `answer`
// and ends its sending direction.
class ScriptedServer {
 public:
  ScriptedServer(int requestBytes, std::string answer) {
    thread_ = std::thread([this, requestBytes, answer = std::move(answer)] {
      const SOCKET connection = peer_.Accept();
      if (connection == INVALID_SOCKET) return;
      std::string bytes(static_cast<std::size_t>(requestBytes), '\0');
      int have = 0;
      while (have < requestBytes) {
        const int n = recv(connection, bytes.data() + have, requestBytes - have, 0);
        if (n <= 0) break;
        have += n;
      }
      bytes.resize(static_cast<std::size_t>(have));
      received_ = bytes;
      LoopbackPeer::Write(connection, answer);
      LoopbackPeer::ShutdownWrite(connection);
    });
  }
  ~ScriptedServer() {
    if (thread_.joinable()) thread_.join();
  }
  int port() const { return peer_.port(); }
  // What the client sent (after the answer went out).
  const std::string& Received() {
    if (thread_.joinable()) thread_.join();
    return received_;
  }

 private:
  LoopbackPeer peer_;
  std::string received_;
  std::thread thread_;
};

// A loopback port nobody listens on.
int ClosedPort() {
  LoopbackPeer peer;
  return peer.port();
}

std::string Le16(unsigned value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

// A 128-byte block: expiry, the given market and information bits, the data-server address
// 127.0.0.1 and a recognisable tail in 118-127.
std::string Block(std::uint16_t expiry, const std::vector<int>& marketBits, const std::vector<int>& newsBits) {
  std::string block(128, '\0');
  block.replace(0, 2, Le16(expiry));
  for (int bit : marketBits) block[2 + static_cast<std::size_t>(bit / 8)] |= static_cast<char>(0x80 >> (bit % 8));
  for (int bit : newsBits) block[98 + static_cast<std::size_t>(bit / 8)] |= static_cast<char>(0x80 >> (bit % 8));
  block.replace(114, 4, std::string("\x7F\x00\x00\x01", 4));
  for (int i = 118; i < 128; ++i) block[static_cast<std::size_t>(i)] = static_cast<char>(0xA0 + i - 118);
  return block;
}

std::uint16_t PackedExpiry(int yearSince2000, int month, int day) {
  return static_cast<std::uint16_t>(day | month << 5 | yearSince2000 << 9);
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string ErrorBody(const std::string& text) { return std::string("\0\0\x14", 3) + text; }

// UTF-8, as a console types it (the sources' ordinary literals are GBK at run time).
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// ---- The fixture --------------------------------------------------------------------------------

class LoginExchangeTest : public quoteservertest::ServerTest {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir_, UserDir);
    std::strcpy(UserDir, "..\\user\\");
    savedNow_ = SystemNow;
    zuvo::net::ClearServerRights();
    NormalClnt = nullptr;
  }
  void TearDown() override {
    std::strcpy(UserDir, savedUserDir_);
    SystemNow = savedNow_;
    quoteservertest::ServerTest::TearDown();
  }

  void Start(std::vector<zuvo::quoteserver::UserEntry> users = {}) {
    ServerConfig config = SampleConfig();
    config.timedPush = false;
    config.users = std::move(users);
    config.denied = {{1, 2}};
    StartServer(config);
  }
  void On(const std::string& fault) { ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on"); }

  // The program folder's server.ini (GBK, CRLF) and the user's SERVER.INI.
  void WriteServerIni(bool oneStage, int port, int port1, const std::string& extra = "") {
    testsupport::WriteBytes(install_.bin() / "server.ini",
                            testsupport::CrlfLines({"[Server]", oneStage ? "NOJH=1" : "NOJH=0", "Address=127.0.0.1",
                                                    "Port=" + std::to_string(port), "Port1=" + std::to_string(port1),
                                                    "dsAddr=10.0.0.9", extra}));
  }
  void WriteUser(const std::string& name, const std::string& password) {
    testsupport::WriteBytes(install_.user() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "UserName=" + name, "Password=" + password}));
  }
  std::string DsAddr() {
    char value[64] = {};
    GetPrivateProfileStringA("Server", "dsAddr", "", value, sizeof value, ".\\server.ini");
    return value;
  }
  std::string DsInfo() { return testsupport::ReadBytes(install_.cfg() / "dsinfo.dat"); }

  // The system message asked on a logged-in blocking client: its reply type (2 refuses a
  // client that is not logged in).
  static int AskSystemMessage(TNormalClnt* client) {
    RequestRecord ask;
    ask.kind = kRequestSystemMessage;
    if (BuildRequestFrame(client, &ask) <= 0) return -1;
    if (client->ReadFrameHeader() != 1 || client->ReadFrameBody() < 0) return -1;
    return client->header.type;
  }

  testsupport::TempInstall install_;
  LostRecorder lost;
  ProgressRecorder progress;
  char savedUserDir_[kUserDirSize] = {};
  std::uint32_t savedNow_ = 0;
};

TEST_F(LoginExchangeTest, OneStageLogsInOnPort1AndWritesTheAddressAsDsAddr) {
  Start({{kUser, "pw"}});
  WriteServerIni(true, ClosedPort(), requestPort());
  WriteUser(kUser, "pw");
  SystemNow = MakePackedTime(2024, 6, 29, 9, 41);

  TNormalClnt client;
  ASSERT_EQ(client.Connect(progress.window(), false), 0) << client.errorText;
  EXPECT_STREQ(client.errorText, "");
  EXPECT_EQ(client.loginMode, 0);
  EXPECT_EQ(progressMessages, std::vector<UINT>{MsgLoginSearchServer});
  EXPECT_EQ(DsAddr(), "127.0.0.1");
  EXPECT_FALSE(std::filesystem::exists(install_.cfg() / "dsinfo.dat"));
  EXPECT_EQ((std::vector<int>{client.loginYear, client.loginMonth, client.loginDay, client.loginHour, client.loginMinute}),
            (std::vector<int>{2024, 6, 29, 9, 41}));
  // The rights of the reply: the denied category is missing, the expiry a year on.
  EXPECT_TRUE(zuvo::net::HasMarketRight(0, 0));
  EXPECT_TRUE(zuvo::net::HasMarketRight(1, 1));
  EXPECT_FALSE(zuvo::net::HasMarketRight(1, 2));
  EXPECT_TRUE(zuvo::net::HasNewsRight(128));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 250629);
  EXPECT_EQ(AskSystemMessage(&client), 203) << "logged in on the request port";
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kRequest, 3, 1, kAwaitMs));
}

TEST_F(LoginExchangeTest, TwoStagesSaveTheBlockWriteDsAddrAndLogInAtTheDataServer) {
  Start({{kUser, "pw"}});
  WriteServerIni(false, mainPort(), requestPort());
  WriteUser(kUser, "pw");

  TNormalClnt client;
  ASSERT_EQ(client.Connect(progress.window(), false), 0) << client.errorText;
  EXPECT_EQ(client.loginMode, 1);
  EXPECT_EQ(progressMessages, (std::vector<UINT>{MsgLoginSearchServer, MsgLoginConnectServer}));
  EXPECT_EQ(AskSystemMessage(&client), 203);
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kMain, 3, 1, kAwaitMs));
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kRequest, 207, 1, kAwaitMs));

  // The block saved is the one the main server hands this user (the same ticket every time).
  quoteservertest::RawClient raw(mainPort());
  raw.Send(3, quoteservertest::LoginBody(kUser, "pw", 0));
  quoteservertest::Reply reply;
  ASSERT_TRUE(raw.ReadReply(&reply));
  ASSERT_EQ(reply.frames.size(), 1u);
  EXPECT_TRUE(DsInfo() == reply.frames[0].body);
  EXPECT_EQ(DsAddr(), "127.0.0.1");
  EXPECT_FALSE(zuvo::net::HasMarketRight(1, 2));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 250629);

  // With the stored block the main server is not asked again.
  zuvo::net::ClearServerRights();
  TNormalClnt again;
  ASSERT_EQ(again.Connect(nullptr, true), 0) << again.errorText;
  EXPECT_EQ(AskSystemMessage(&again), 203);
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kRequest, 207, 2, kAwaitMs));
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kMain, 3, 2, kAwaitMs)) << "only the raw client's login";
  EXPECT_FALSE(server_->AwaitReceived(PortRole::kMain, 3, 3, 0));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 250629) << "rights from the stored block";
}

// The data server sees the stored block's bytes 2-113 and 118-127 in the wire-207 body, and an
// empty user name is a 16-byte zero field.
TEST_F(LoginExchangeTest, TheStoredBlockGoesBackToTheDataServerInTheWire207Body) {
  const std::string block = Block(PackedExpiry(26, 1, 15), {2 * 16 + 3, 47 * 16 + 14}, {4, 127});
  testsupport::WriteBytes(install_.cfg() / "dsinfo.dat", block);
  ScriptedServer dataServer(170, Frame(207, std::string(4, '\0')));
  WriteServerIni(false, ClosedPort(), dataServer.port());
  WriteUser("", "pw");

  TNormalClnt client;
  ASSERT_EQ(client.Connect(progress.window(), true), 0) << client.errorText;
  const std::string sent = dataServer.Received();
  ASSERT_EQ(sent.size(), 170u);
  EXPECT_EQ(sent.substr(0, 10), std::string("@\xCF\x01\x00\x00\x00\xA0\x00\x00\x00", 10));
  std::string body(160, '\0');
  body.replace(16, 2, "pw");
  body.replace(28, 2, Le16(2));
  body.replace(30, 112, block.substr(2, 112));
  body.replace(142, 10, block.substr(118, 10));
  EXPECT_TRUE(sent.substr(10) == body);
  EXPECT_EQ(DsAddr(), "127.0.0.1");
  EXPECT_EQ(progressMessages, (std::vector<UINT>{MsgLoginSearchServer, MsgLoginConnectServer}));
  EXPECT_TRUE(zuvo::net::HasMarketRight(2, 3));
  EXPECT_TRUE(zuvo::net::HasMarketRight(47, 14));
  EXPECT_FALSE(zuvo::net::HasMarketRight(0, 0));
  EXPECT_TRUE(zuvo::net::HasNewsRight(5));
  EXPECT_TRUE(zuvo::net::HasNewsRight(128));
  EXPECT_FALSE(zuvo::net::HasNewsRight(1));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 260115);
}

// Without a whole stored block the client never connects: the first connection the data
// server's port accepts afterwards is a later one.
TEST_F(LoginExchangeTest, AMissingOrShortStoredBlockSendsNothing) {
  for (int size : {-1, 0, 127}) {
    SCOPED_TRACE(size);
    std::filesystem::remove(install_.cfg() / "dsinfo.dat");
    if (size >= 0) testsupport::WriteBytes(install_.cfg() / "dsinfo.dat", Block(1, {0}, {0}).substr(0, size));
    LoopbackPeer dataServer;
    WriteServerIni(false, dataServer.port(), dataServer.port());
    WriteUser(kUser, "pw");
    {
      TNormalClnt client;
      EXPECT_EQ(client.Connect(nullptr, true), 1);
      EXPECT_EQ(client.handle, -1);
      EXPECT_FALSE(zuvo::net::HasMarketRight(0, 0));
    }
    EXPECT_EQ(lost.Total(), 0) << "a client that never connected loses no connection";
    EXPECT_EQ(DsAddr(), "10.0.0.9");

    const std::string marker = Frame(99, "marker");
    TNormalClnt later;
    ASSERT_EQ(later.Create(), 1);
    ASSERT_EQ(later.ESock::Connect("127.0.0.1", dataServer.port()), 1);
    ASSERT_EQ(later.Send(marker.data(), static_cast<int>(marker.size()), 0), static_cast<int>(marker.size()));
    const SOCKET first = dataServer.Accept();
    std::string got(marker.size(), '\0');
    int have = 0;
    while (have < static_cast<int>(got.size())) {
      const int n = recv(first, got.data() + have, static_cast<int>(got.size()) - have, 0);
      if (n <= 0) break;
      have += n;
    }
    EXPECT_TRUE(got == marker) << "the first connection is the later one";
    later.Close();
  }
}

TEST_F(LoginExchangeTest, RefusalsAndBrokenAnswersEndInTheirResultTextAndAClosedSocket) {
  const std::string refusal = "账户已停用";
  struct Row {
    const char* name;
    bool oneStage;
    std::vector<std::string> faults;
    const char* password;   // the users' own password is "pw"
    int port1;              // 0: the request port
    int result;
    std::string text;
    bool blockKept;         // the old dsinfo.dat (two stages)
  };
  const Row rows[] = {
      {"one stage, refused", true, {}, "bad", 0, 4, kBadLogin, true},
      {"two stages, refused", false, {}, "bad", 0, 4, kBadLogin, true},
      {"one stage, type 5", true, {"login-type5"}, "pw", 0, 4, kUnknownError, true},
      {"two stages, type 5", false, {"login-type5"}, "pw", 0, 4, kUnknownError, true},
      {"one stage, login-refuse", true, {"login-refuse=" + Utf8(u8"账户已停用")}, "pw", 0, 4, refusal, true},
      {"one stage, short-login", true, {"short-login"}, "pw", 0, 3, kNetworkError, true},
      {"two stages, short-login", false, {"short-login"}, "pw", 0, 3, kNetworkError, true},
      {"one stage, drop=login-mid", true, {"drop=login-mid"}, "pw", 0, 3, kNetworkError, true},
      {"two stages, drop=login-mid", false, {"drop=login-mid"}, "pw", 0, 3, kNetworkError, true},
      {"two stages, drop=login", false, {"drop=login"}, "pw", 0, 3, kNetworkError, true},
      {"two stages, drop=stage2", false, {"drop=stage2"}, "pw", 0, 3, kNetworkError, false},
      // 300 bytes of the repeated text and no terminator: 254 bytes, whole characters.
      {"one stage, unterminated", true, {"unterminated"}, "bad", 0, 4, Repeat(kBadLogin, 15).substr(0, 254), true},
      {"two stages, unterminated refusal", false, {"unterminated", "login-refuse=" + Utf8(u8"账户已停用")}, "pw", 0,
       4, Repeat(refusal, 26).substr(0, 254), true},
      {"one stage, no server", true, {}, "pw", ClosedPort(), 1, "", true},
      {"two stages, no data server", false, {}, "pw", ClosedPort(), 2, "", false},
  };
  const std::string oldBlock = Block(PackedExpiry(24, 1, 1), {1}, {1});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Start({{kUser, "pw"}});
    for (const std::string& fault : row.faults) On(fault);
    testsupport::WriteBytes(install_.cfg() / "dsinfo.dat", oldBlock);
    WriteServerIni(row.oneStage, mainPort(), row.port1 != 0 ? row.port1 : requestPort());
    WriteUser(kUser, row.password);
    {
      TNormalClnt client;
      EXPECT_EQ(client.Connect(nullptr, false), row.result);
      EXPECT_EQ(std::string(client.errorText), row.text);
      EXPECT_EQ(client.handle, -1);
    }
    EXPECT_EQ(lost.Total(), 0);
    if (row.blockKept) {
      EXPECT_TRUE(DsInfo() == oldBlock);
    } else {
      EXPECT_EQ(DsInfo().size(), 128u);
      EXPECT_FALSE(DsInfo() == oldBlock);
    }
  }
}

// Server texts come only from the body, at most 255 bytes and whole characters; a type-3 body
// shorter than the block is no block. One client for every row, so bytes of a longer earlier
// answer still lie in its receive buffer behind a shorter one.
TEST_F(LoginExchangeTest, ServerTextsAreCutWithinTheBodyAndShortBlocksRefused) {
  const std::string wide = Repeat("中", 200);
  struct Row {
    const char* name;
    std::string answer;
    int result;
    std::string text;
  };
  const Row rows[] = {
      {"400 bytes unterminated", Frame(2, ErrorBody(wide)), 4, Repeat("中", 127)},
      {"odd start, 401 bytes", Frame(2, ErrorBody("a" + wide + std::string(1, '\0'))), 4, "a" + Repeat("中", 127)},
      {"unterminated at the body's end", Frame(2, ErrorBody("abc")), 4, "abc"},
      {"no text at all", Frame(2, std::string(2, '\0')), 4, kUnknownError},
      {"a 127-byte type 3", Frame(3, std::string(127, '\x11')), 3, kNetworkError},
      {"a type-3 header with its body cut", Frame(3, "").substr(0, 6) + Le16(128) + std::string(2, '\0') + "short", 3,
       kNetworkError},
  };
  TNormalClnt client;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScriptedServer server(74, row.answer);
    WriteServerIni(true, ClosedPort(), server.port(), "Network=3");
    WriteUser(kUser, "pw");
    EXPECT_EQ(client.Connect(nullptr, false), row.result);
    EXPECT_EQ(std::string(client.errorText), row.text);
    EXPECT_EQ(client.handle, -1);

    // The one-stage request: user, password, the network line, mode word 2.
    std::string body(64, '\0');
    body.replace(0, 4, kUser);
    body.replace(16, 2, "pw");
    body.replace(28, 2, Le16(3));
    body[60] = 2;
    EXPECT_TRUE(server.Received() == std::string("@\x03\x01\x00\x00\x00\x40\x00\x00\x00", 10) + body);
  }
}

// The main server must hand out a block: a data server's acceptance in its place is refused and
// the stored block stays.
TEST_F(LoginExchangeTest, AFirstStageAnsweredWithoutABlockKeepsTheStoredOne) {
  const std::string oldBlock = Block(PackedExpiry(24, 1, 1), {1}, {1});
  testsupport::WriteBytes(install_.cfg() / "dsinfo.dat", oldBlock);
  ScriptedServer server(74, Frame(207, std::string(4, '\0')));
  WriteServerIni(false, server.port(), ClosedPort());
  WriteUser(kUser, "pw");
  TNormalClnt client;
  EXPECT_EQ(client.Connect(nullptr, false), 4);
  EXPECT_STREQ(client.errorText, kUnknownError);
  EXPECT_EQ(client.handle, -1);
  EXPECT_TRUE(DsInfo() == oldBlock);
  EXPECT_EQ(DsAddr(), "10.0.0.9");
  EXPECT_EQ(server.Received().substr(10 + 60, 4), std::string(4, '\0')) << "mode word 0: the first of two stages";
}

// A whole block in a one-stage reply gives the rights.
TEST_F(LoginExchangeTest, AOneStageReplyBlockGivesTheRights) {
  const std::string block = Block(PackedExpiry(25, 12, 31), {16 * 5 + 7}, {63});
  ScriptedServer server(74, Frame(3, block + "tail"));
  WriteServerIni(true, ClosedPort(), server.port());
  WriteUser(kUser, "pw");
  TNormalClnt client;
  ASSERT_EQ(client.Connect(nullptr, false), 0) << client.errorText;
  EXPECT_TRUE(zuvo::net::HasMarketRight(5, 7));
  EXPECT_FALSE(zuvo::net::HasMarketRight(5, 6));
  EXPECT_TRUE(zuvo::net::HasNewsRight(64));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 251231);
  EXPECT_EQ(DsAddr(), "127.0.0.1");
  server.Received();
}

TEST_F(LoginExchangeTest, ASilentServerEndsTheLoginInTheReadTimeout) {
  Start();
  WriteServerIni(true, ClosedPort(), requestPort());
  WriteUser(kUser, "pw");
  On("silent");
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(10000, 5000);
  zuvo::platform::ScopedDrivenClock clock;
  TNormalClnt client;
  std::atomic<int> result{-2};
  std::thread login([&] { result = client.Connect(nullptr, false); });
  ASSERT_TRUE(server_->AwaitReceived(PortRole::kRequest, 3, 1, kAwaitMs));
  clock.AwaitWaitingThreads(1);
  clock.Advance(4999);
  EXPECT_EQ(result.load(), -2);
  clock.Advance(1);
  login.join();
  EXPECT_EQ(result.load(), 3);
  EXPECT_STREQ(client.errorText, kNetworkError);
  EXPECT_EQ(client.handle, -1);
}

TEST_F(LoginExchangeTest, TheHeartbeatKeepsALoggedInConnection) {
  Start();
  WriteServerIni(true, ClosedPort(), requestPort());
  WriteUser(kUser, "pw");
  TNormalClnt client;
  ASSERT_EQ(client.Connect(nullptr, false), 0) << client.errorText;
  EXPECT_EQ(client.SendHeartbeat(), 1);
  EXPECT_EQ(client.sendCount, 0);
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kRequest, 1, 1, kAwaitMs));
  EXPECT_EQ(AskSystemMessage(&client), 203);
}

// With more than 2038 bytes waiting the heartbeat does not fit: the connection closes.
TEST(HeartbeatTest, AHeartbeatThatDoesNotFitClosesTheConnection) {
  LostRecorder lost;
  NormalClnt = nullptr;
  for (int waiting : {2038, 2039}) {
    SCOPED_TRACE(waiting);
    ScriptedRequest client;
    client.sendRoom = 0;   // the socket would block: everything stays in the buffer
    client.sendCount = waiting;
    const bool fits = waiting + 10 <= kSendBufferBytes;
    EXPECT_EQ(client.SendHeartbeat(), fits ? 1 : 0);
    EXPECT_EQ(client.handle != -1, fits);
    if (fits) {
      EXPECT_EQ(client.sendCount, kSendBufferBytes);
      EXPECT_TRUE(std::memcmp(client.sendBuffer + waiting, "@\x01\x01\x00\x00\x00\x00\x00\x00\x00", 10) == 0);
    }
    EXPECT_EQ(lost.Count(0), fits ? 0 : 1);
    client.handle = -1;   // the fake handle goes without a close
    lost.Clear();
  }
}

TEST(HeartbeatTest, TheHeartbeatExpiresRequestsLeftInFlight) {
  zuvo::platform::ScopedDrivenClock clock;
  NormalClnt = nullptr;   // requests move into the flight without going anywhere
  ResetRequestQueue();
  RequestRecord ask;
  ask.kind = kRequestSystemMessage;
  EnqueueRequest(ask);
  ASSERT_EQ(zuvo::net::GetRequestQueueState().inFlight, 1);
  ScriptedRequest client;
  clock.Advance(kRequestExpiryMs - 1);
  EXPECT_EQ(client.SendHeartbeat(), 1);
  EXPECT_EQ(zuvo::net::GetRequestQueueState().inFlight, 1);
  clock.Advance(1);
  EXPECT_EQ(client.SendHeartbeat(), 1);
  EXPECT_EQ(zuvo::net::GetRequestQueueState().inFlight, 0);
  client.handle = -1;
  ResetRequestQueue();
}

TEST_F(LoginExchangeTest, PasswordChangeOnTheMainPort) {
  struct Row {
    const char* name;
    bool oneStage;
    const char* current;
    const char* fault;   // empty: none
    bool closedPort;
    int result;
    std::string text;
    bool changed;
  };
  const Row rows[] = {
      {"done", false, "old", "", false, 0, "", true},
      {"refused", false, "wrong", "", false, 4, kBadPassword, false},
      {"an unexpected reply type", false, "old", "unknown-type", false, 4, kUnknownError, true},
      {"one-stage login", true, "old", "", false, 5, "", false},
      {"no server", false, "old", "", true, 1, "", false},
      {"closed at once", false, "old", "drop=accept", false, 3, kNetworkError, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Start({{kUser, "old"}});
    if (row.fault[0] != '\0') On(row.fault);
    WriteServerIni(row.oneStage, row.closedPort ? ClosedPort() : mainPort(), requestPort());
    WriteUser(kUser, row.current);
    std::uint8_t source[40] = {};
    std::memcpy(source + 28, "new45678901X", 12);   // the 12th byte is never sent
    {
      TNormalClnt client;
      EXPECT_EQ(client.ChangePassword(source), row.result);
      EXPECT_EQ(std::string(client.errorText), row.text);
      EXPECT_EQ(client.handle, -1);
    }
    EXPECT_EQ(lost.Total(), 0);
    if (row.fault[0] != '\0') server_->Command(std::string("fault -") + (row.fault[0] == 'd' ? "drop" : row.fault));
    quoteservertest::RawClient login(requestPort());
    EXPECT_EQ(login.LogIn(kUser, "new45678901"), row.changed);
  }
}

TEST(ServerRightsTest, RightsAndExpiryFromABlock) {
  const std::string block =
      Block(PackedExpiry(25, 6, 29), {0, 15, 16 * 1 + 2, 47 * 16 + 14, 47 * 16 + 15}, {0, 9, 127});
  zuvo::net::TakeServerRights(reinterpret_cast<const std::uint8_t*>(block.data()));
  struct MarketCase {
    int market, category;
    bool right;
  };
  const MarketCase markets[] = {
      {0, 0, true},   {0, 1, false},  {1, 2, true},    {1, 3, false},   {47, 14, true},
      {0, 15, false},   // the 16th bit of a market is never a category
      {47, 15, false}, {48, 0, false}, {-1, 0, false}, {0, -1, false},
  };
  for (const MarketCase& c : markets) {
    EXPECT_EQ(zuvo::net::HasMarketRight(c.market, c.category), c.right) << c.market << "/" << c.category;
  }
  const std::pair<int, bool> news[] = {{1, true}, {2, false}, {10, true}, {128, true}, {127, false}, {0, false}, {129, false}, {-1, false}};
  for (const auto& [newsClass, right] : news) EXPECT_EQ(zuvo::net::HasNewsRight(newsClass), right) << newsClass;
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 250629);
  EXPECT_EQ(zuvo::net::ExpiryFromPackedDate(PackedExpiry(0, 1, 1)), 101);
  zuvo::net::ClearServerRights();
  EXPECT_FALSE(zuvo::net::HasMarketRight(0, 0));
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 0);
}

}  // namespace
}  // namespace nettest
