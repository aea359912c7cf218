// The account check: the reply splitter and parser as tables, the fault texts, the local
// listener against a raw loopback client (a line, a line too long, an early close, no free port,
// and the accept and line bounds on a driven clock), and the check itself through the stand-in
// account library, directly and through the listener with a proxy or the relay of the quote
// server's fixtures, against each switch of the server's account-verification mode.
#include "net/AccountCheck.h"

#include "net/LoopbackPeer.h"

#include "AccountServer.h"
#include "data/UtilData.h"
#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/MessageBox.h"
#include "platform/WinSock.h"
#include "quoteserver/ServerFixture.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace nettest {
namespace {

using zuvo::net::AccountCheckBounds;
using zuvo::net::AccountFault;
using zuvo::net::AccountListenerBlock;
using zuvo::net::AccountOutcome;
using zuvo::net::AccountPurpose;
using zuvo::net::AccountRoute;

// ---- Parsing ----------------------------------------------------------------------------------

TEST(SplitReplyFieldTest, CopiesTrimsAndSteps) {
  struct Case {
    const char* text;
    std::size_t size;
    const char* field;
    const char* rest;   // what follows the returned position
  };
  const Case cases[] = {
      {"abc|def", 512, "abc", "def"},
      {"abc", 512, "abc", ""},
      {"", 512, "", ""},
      {"|x", 512, "", "x"},
      {"ab  \t|x", 512, "ab", "x"},             // trailing blanks go
      {"  ab|x", 512, "  ab", "x"},             // leading ones stay
      {"text\r\n", 512, "text", ""},            // the line end is a blank
      {"abcdef|x", 4, "abc", "x"},              // cut to size - 1, still steps past the '|'
      {"ab |x", 3, "ab", "x"},                  // cut, then trimmed
      {"abc|x", 1, "", "x"},
      {"\xd5\xfd\xb3\xa3 |1", 512, "\xd5\xfd\xb3\xa3", "1"},   // GBK bytes are no blanks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char field[512];
    std::memset(field, '#', sizeof field);
    const char* rest = zuvo::net::SplitReplyField(c.text, field, c.size);
    EXPECT_STREQ(field, c.field);
    EXPECT_STREQ(rest, c.rest);
  }
  // Without a buffer the field is only skipped.
  EXPECT_STREQ(zuvo::net::SplitReplyField("skip|me", nullptr, 0), "me");
}

TEST(ParseAccountReplyTest, RequiresThreeFieldsAndADecimalResult) {
  struct Case {
    const char* reply;
    bool parsed;
    int result;
    const char* text;
  };
  const Case cases[] = {
      {"QXVERIFY|0|\n", true, 0, ""},
      {"QXVERIFY|-3|refused here\n", true, -3, "refused here"},
      {"x|1|notice|more\n", true, 1, "notice"},
      {"|+7|t", true, 7, "t"},
      {"a| 12 |t\r\n", true, 12, "t"},
      {"a|-2147483648|t\n", true, -2147483647 - 1, "t"},
      // A proxy's error page, a line without any '|', must never pass as accepted.
      {"HTTP/1.0 502 Bad Gateway\r\n", false, 0, ""},
      {"\n", false, 0, ""},
      {"", false, 0, ""},
      {"a|0\n", false, 0, ""},            // two fields
      {"a||t\n", false, 0, ""},           // empty result
      {"a|0x1|t\n", false, 0, ""},
      {"a|1.5|t\n", false, 0, ""},
      {"a|1 2|t\n", false, 0, ""},
      {"a|+-1|t\n", false, 0, ""},
      {"a|-|t\n", false, 0, ""},
      {"a|99999999999|t\n", false, 0, ""},   // out of range
      {"a|ok|t\n", false, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    int result = 12345;
    std::string text = "unchanged";
    EXPECT_EQ(zuvo::net::ParseAccountReply(c.reply, &result, &text), c.parsed);
    if (c.parsed) {
      EXPECT_EQ(result, c.result);
      EXPECT_EQ(text, c.text);
    }
  }
}

TEST(AccountFaultTextTest, LoginAndPasswordChangeTexts) {
  struct Case {
    AccountFault fault;
    const char* login;
    const char* change;
  };
  const Case cases[] = {
      {AccountFault::kSocketsUnavailable, "网络初始化失败(1)，无法登录服务器。  ", "网络初始化失败(1)，无法修改密码。  "},
      {AccountFault::kNoSocket, "网络初始化失败(2)，无法登录服务器。  ", "网络初始化失败(2)，无法修改密码。  "},
      {AccountFault::kNoFreePort, "网络错误，没有可用的端口。无法登录服务器。  ", "网络错误，没有可用的端口。无法修改密码。  "},
      {AccountFault::kListenFailed, "网络初始化失败(3)，无法登录服务器。  ", "网络初始化失败(3)，无法修改密码。  "},
      {AccountFault::kAcceptFailed, "网络初始化失败(4)，无法登录服务器。  ", "网络初始化失败(4)，无法修改密码。  "},
      {AccountFault::kNoLine, "网络初始化失败(5)，无法登录服务器。  ", "网络初始化失败(5)，无法修改密码。  "},
      {AccountFault::kRelaySocket, "网络初始化失败(6)，无法登录服务器。  ", "网络初始化失败(6)，无法修改密码。  "},
      {AccountFault::kRelayUnreachable, "网络初始化失败(7)，无法登录服务器。  ", "网络初始化失败(7)，无法修改密码。  "},
      {AccountFault::kShortSend, "网络初始化失败(8)，无法登录服务器。  ", "网络初始化失败(8)，无法修改密码。  "},
      {AccountFault::kNoReply, "网络初始化失败(9)，无法登录服务器。  ", "网络初始化失败(9)，无法修改密码。  "},
      {AccountFault::kMissingExport, "文件 QXAccountDll.dll 不正确。  ", "QXAccountDll.dll 不正确，无法修改密码。  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    EXPECT_EQ(AccountFaultText(c.fault, AccountPurpose::kLogin), c.login);
    EXPECT_EQ(AccountFaultText(c.fault, AccountPurpose::kPasswordChange), c.change);
    EXPECT_EQ(AccountFaultCaption(c.fault, AccountPurpose::kPasswordChange), "错误");
  }
  EXPECT_EQ(AccountFaultCaption(AccountFault::kMissingExport, AccountPurpose::kLogin), "提示");
  EXPECT_EQ(AccountFaultIcon(AccountFault::kMissingExport, AccountPurpose::kLogin), UINT{MB_ICONINFORMATION});
  EXPECT_EQ(AccountFaultCaption(AccountFault::kNoReply, AccountPurpose::kLogin), "错误");
  EXPECT_EQ(AccountFaultIcon(AccountFault::kNoReply, AccountPurpose::kLogin), UINT{MB_ICONERROR});
}

// ---- The listener -----------------------------------------------------------------------------

// Runs AccountLineListener on a thread of its own; the destructor joins it.
class ListenerRun {
 public:
  explicit ListenerRun(const AccountCheckBounds& bounds) {
    block_.bounds = bounds;
    block_.reported = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, zuvo::net::AccountLineListener, &block_, 0, nullptr));
  }
  ~ListenerRun() {
    Join();
    CloseHandle(block_.reported);
  }
  // Waits (without a timeout: a driven clock may be installed) until port or error is known.
  void AwaitReported() { WaitForSingleObject(block_.reported, INFINITE); }
  void Join() {
    if (thread_ == nullptr) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  AccountListenerBlock& block() { return block_; }

 private:
  AccountListenerBlock block_;
  HANDLE thread_ = nullptr;
};

SOCKET ConnectTo(int port) {
  const SOCKET s = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  EXPECT_EQ(connect(s, reinterpret_cast<const SOCKADDR*>(&address), sizeof address), 0);
  return s;
}

void SendText(SOCKET s, const std::string& bytes) {
  EXPECT_EQ(send(s, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
}

TEST(AccountLineListenerTest, TakesOneLineCutOrWhole) {
  struct Case {
    const char* name;
    std::vector<std::string> segments;
    bool closeAfter;
    int error;
    std::string line;
  };
  const std::string full126 = std::string(126, 'a') + "\n";
  const Case cases[] = {
      {"one line", {"QXVERIFY|u|p\n"}, false, 0, "QXVERIFY|u|p\n"},
      {"a line in pieces", {"QXV", "ERIFY|u", "|p\n"}, false, 0, "QXVERIFY|u|p\n"},
      {"127 bytes ending in a line feed", {full126}, false, 0, full126},
      {"127 bytes without a line feed", {std::string(127, 'b')}, false, 6, ""},
      {"the peer closes first", {"QXVERIFY|u"}, true, 6, ""},
      {"the peer closes at once", {}, true, 6, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListenerRun run(AccountCheckBounds{});
    run.AwaitReported();
    ASSERT_EQ(run.block().error.load(), 0);
    const int port = run.block().port.load();
    EXPECT_GE(port, zuvo::net::kAccountFirstPort);
    const SOCKET peer = ConnectTo(port);
    for (const std::string& segment : c.segments) SendText(peer, segment);
    if (c.closeAfter) closesocket(peer);
    run.Join();
    if (!c.closeAfter) closesocket(peer);
    EXPECT_EQ(run.block().error.load(), c.error);
    EXPECT_EQ(run.block().arrived.load(), c.error == 0 ? 1 : 0);
    if (c.error == 0) {
      EXPECT_EQ(std::string(run.block().line, static_cast<std::size_t>(run.block().length)), c.line);
      EXPECT_EQ(run.block().line[run.block().length], '\0');
    }
  }
}

// A port held by a socket of the test for as long as it lives.
class HeldPort {
 public:
  HeldPort() : socket_(socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0)) {
    SOCKADDR_IN address{};
    address.sin_family = WINSOCK_AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    EXPECT_EQ(bind(socket_, reinterpret_cast<const SOCKADDR*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(socket_, 1), 0);
    int length = sizeof address;
    getsockname(socket_, reinterpret_cast<SOCKADDR*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~HeldPort() { closesocket(socket_); }
  int port() const { return port_; }

 private:
  SOCKET socket_;
  int port_ = 0;
};

TEST(AccountLineListenerTest, SkipsTakenPortsAndReportsNoneFree) {
  HeldPort held;
  {
    AccountCheckBounds bounds;
    bounds.firstPort = held.port();
    ListenerRun run(bounds);
    run.AwaitReported();
    EXPECT_EQ(run.block().error.load(), 0);
    EXPECT_GT(run.block().port.load(), held.port());
    closesocket(ConnectTo(run.block().port.load()));   // ends the listener
  }
  AccountCheckBounds only;
  only.firstPort = held.port();
  only.lastPort = held.port();
  ListenerRun run(only);
  run.Join();
  EXPECT_EQ(run.block().error.load(), 3);
  EXPECT_EQ(run.block().port.load(), 0);
}

TEST(AccountLineListenerTest, AcceptAndLineWaitsAreBounded) {
  zuvo::platform::ScopedDrivenClock clock;
  {
    // Nobody connects: error 5 once the accept bound has passed, not before.
    AccountCheckBounds bounds;
    bounds.acceptMs = 10000;
    ListenerRun run(bounds);
    run.AwaitReported();
    clock.AwaitWaitingThreads(1);
    clock.Advance(9999);
    clock.AwaitWaitingThreads(1);
    EXPECT_EQ(run.block().error.load(), 0);
    clock.Advance(1);
    run.Join();
    EXPECT_EQ(run.block().error.load(), 5);
  }
  {
    // Connected, then silent: error 6 at the line bound. The accept waits without a bound here,
    // so moving the clock can only end the line's wait, whichever wait the listener is in when
    // the clock moves.
    AccountCheckBounds bounds;
    bounds.acceptMs = INFINITE;
    bounds.lineMs = 10000;
    ListenerRun run(bounds);
    run.AwaitReported();
    const SOCKET peer = ConnectTo(run.block().port.load());
    SendText(peer, "QXVERIFY|");
    while (run.block().error.load() == 0 && run.block().arrived.load() == 0) {
      clock.Advance(10000);
      std::this_thread::yield();
    }
    run.Join();
    closesocket(peer);
    EXPECT_EQ(run.block().error.load(), 6);
  }
}

// ---- The check through the stand-in library and the quote server ------------------------------

using FakeSetInt = void (*)(int);
using FakeGetInt = int (*)();
using FakeGetText = void (*)(char*, int);

class AccountCheckEndToEnd : public quoteservertest::ServerTest {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir_, UserDir);
    std::strcpy(UserDir, "..\\user\\");
    zuvo::quoteserver::ServerConfig config = SampleConfig();
    config.timedPush = false;
    config.loginPort = 0;
    EnableProxies(&config);
    StartServer(config);
    std::filesystem::copy_file(ZUVO_FAKE_ACCOUNT_SO, install_.bin() / "libQXAccountDll.so");
    library_ = zuvo::net::LoadAccountLibrary();
    ASSERT_NE(library_, nullptr);
    verify_ = zuvo::net::FindVerifyAccount(library_);
    modify_ = zuvo::net::FindModifyAccountPW(library_);
    ASSERT_NE(verify_, nullptr);
    ASSERT_NE(modify_, nullptr);
    Fake<FakeSetInt>("FakeAccountSetMode")(0);
    Fake<FakeSetInt>("FakeAccountSetWaitMs")(10000);
  }
  void TearDown() override {
    quoteservertest::ServerTest::TearDown();
    std::strcpy(UserDir, savedUserDir_);
  }

  template <typename F>
  F Fake(const char* name) {
    auto f = reinterpret_cast<F>(GetProcAddress(library_, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  std::string LastHost() {
    char host[128] = {};
    Fake<FakeGetText>("FakeAccountLastHost")(host, sizeof host);
    return host;
  }
  std::string LastLine() {
    char line[512] = {};
    Fake<FakeGetText>("FakeAccountLastLine")(line, sizeof line);
    return line;
  }

  // Writes both SERVER.INI copies: proxy kind (0 none, 1 SOCKS5), the relay, the login server.
  void Settings(int useProxy, bool greenWay, int loginPort) {
    testsupport::WriteBytes(install_.user() / "SERVER.INI",
                            testsupport::CrlfLines({"[ProxyServer]", "UseProxy=" + std::to_string(useProxy),
                                                    std::string("GreenWay=") + (greenWay ? "1" : "0"),
                                                    "Address=127.0.0.1", "Port=" + std::to_string(socks5Port()),
                                                    "CertUser=0"}));
    testsupport::WriteBytes(install_.bin() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "LoginServer=127.0.0.1",
                                                    "LoginPort=" + std::to_string(loginPort), "GC=127.0.0.1",
                                                    "GCPort=" + std::to_string(relayPort())}));
  }
  int loginPort() const { return server_->ports().login; }
  void Switch(const std::string& fault) {
    if (fault.empty()) return;
    ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on");
  }
  void Unswitch(const std::string& fault) {
    if (!fault.empty()) server_->Command("fault -" + fault);
  }

  testsupport::TempInstall install_;
  char savedUserDir_[kUserDirSize] = {};
  HMODULE library_ = nullptr;
  QXVerifyAccountProc verify_ = nullptr;
  QXModifyAccountPWProc modify_ = nullptr;
};

struct SwitchCase {
  const char* fault;
  AccountFault relayedFault;   // through the listener: the terminal judges the reply
  int result;                  // when not failed
  std::string text;
};

std::vector<SwitchCase> SwitchCases() {
  return {
      {"", AccountFault::kNone, 0, ""},
      {"account-refuse", AccountFault::kNone, -3, zuvo::quoteserver::kAccountRefusedText},
      {"account-notice", AccountFault::kNone, 1, zuvo::quoteserver::kAccountNoticeText},
      {"account-no-bar", AccountFault::kNoReply, 0, ""},
      {"account-silent", AccountFault::kNoReply, 0, ""},
  };
}

TEST_F(AccountCheckEndToEnd, ReadsTheRouteFromBothCopies) {
  Settings(0, false, 4321);
  AccountRoute route = zuvo::net::ReadAccountRoute();
  EXPECT_FALSE(route.relayed);
  EXPECT_EQ(route.loginServer, "127.0.0.1");
  EXPECT_EQ(route.loginPort, 4321);
  EXPECT_EQ(route.relayPort, relayPort());
  Settings(1, false, 1);
  EXPECT_TRUE(zuvo::net::ReadAccountRoute().relayed);
  EXPECT_FALSE(zuvo::net::ReadAccountRoute().greenWay);
  Settings(0, true, 1);
  EXPECT_TRUE(zuvo::net::ReadAccountRoute().relayed);
  EXPECT_TRUE(zuvo::net::ReadAccountRoute().greenWay);
  // Host names of 63 characters are read whole.
  const std::string longHost(63, 'h');
  testsupport::WriteBytes(install_.bin() / "SERVER.INI",
                          testsupport::CrlfLines({"[Server]", "LoginServer=" + longHost, "GC=" + longHost}));
  route = zuvo::net::ReadAccountRoute();
  EXPECT_EQ(route.loginServer, longHost);
  EXPECT_EQ(route.relayHost, longHost);
  EXPECT_EQ(route.relayPort, 0);
}

TEST_F(AccountCheckEndToEnd, DirectCallGoesToTheLoginServerWithEachSwitch) {
  Settings(0, false, loginPort());
  for (const SwitchCase& c : SwitchCases()) {
    SCOPED_TRACE(c.fault);
    // The library waits for the silent server by its own bound.
    const bool silent = std::string(c.fault) == "account-silent";
    Fake<FakeSetInt>("FakeAccountSetWaitMs")(silent ? 200 : 10000);
    Switch(c.fault);
    const AccountOutcome outcome =
        zuvo::net::VerifyAccount(verify_, "trader", "secret", zuvo::net::ReadAccountRoute());
    Unswitch(c.fault);
    EXPECT_FALSE(outcome.Failed());
    EXPECT_EQ(LastHost(), "127.0.0.1");
    EXPECT_EQ(Fake<FakeGetInt>("FakeAccountLastPort")(), loginPort());
    EXPECT_EQ(Fake<FakeGetInt>("FakeAccountLastFlags")(), 8);
    EXPECT_EQ(LastLine(), "QXVERIFY|trader|secret\n");
    if (c.relayedFault == AccountFault::kNone) {
      EXPECT_EQ(outcome.result, c.result);
      EXPECT_EQ(outcome.text, c.text);
    } else {
      // Unusable answers are the library's to judge on this route: it refuses.
      EXPECT_TRUE(outcome.Refused());
    }
  }
}

TEST_F(AccountCheckEndToEnd, ThroughTheListenerAndAProxyWithEachSwitch) {
  Settings(1, false, loginPort());
  for (const SwitchCase& c : SwitchCases()) {
    SCOPED_TRACE(c.fault);
    AccountCheckBounds bounds;
    if (std::string(c.fault) == "account-silent") bounds.replyMs = 300;   // a short wait for nothing
    Switch(c.fault);
    const AccountOutcome outcome =
        zuvo::net::VerifyAccount(verify_, "trader", "secret", zuvo::net::ReadAccountRoute(), bounds);
    Unswitch(c.fault);
    // The library was pointed at the local listener.
    EXPECT_EQ(LastHost(), "127.0.0.1");
    EXPECT_GE(Fake<FakeGetInt>("FakeAccountLastPort")(), zuvo::net::kAccountFirstPort);
    EXPECT_EQ(outcome.fault, c.relayedFault);
    if (c.relayedFault == AccountFault::kNone) {
      EXPECT_EQ(outcome.result, c.result);
      EXPECT_EQ(outcome.text, c.text);
      EXPECT_EQ(outcome.Accepted(), c.result >= 0);
    } else {
      EXPECT_FALSE(outcome.Accepted());
    }
  }
}

TEST_F(AccountCheckEndToEnd, ThroughTheRelayAcceptsAndRefuses) {
  Settings(0, true, 1);   // the login server is not used: the relay routes the line
  for (const SwitchCase& c : SwitchCases()) {
    if (c.relayedFault != AccountFault::kNone) continue;
    SCOPED_TRACE(c.fault);
    Switch(c.fault);
    const AccountOutcome outcome =
        zuvo::net::VerifyAccount(verify_, "trader", "secret", zuvo::net::ReadAccountRoute());
    Unswitch(c.fault);
    EXPECT_EQ(outcome.fault, AccountFault::kNone);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.text, c.text);
  }
}

TEST_F(AccountCheckEndToEnd, PasswordChangeOnBothRoutes) {
  for (const bool relayed : {false, true}) {
    SCOPED_TRACE(relayed ? "relayed" : "direct");
    Settings(0, relayed, loginPort());
    AccountOutcome outcome =
        zuvo::net::ModifyAccountPassword(modify_, "trader", "old", "new", zuvo::net::ReadAccountRoute());
    EXPECT_FALSE(outcome.Failed());
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(LastLine(), "QXMODIFY|trader|old|new\n");
    Switch("account-refuse");
    outcome = zuvo::net::ModifyAccountPassword(modify_, "trader", "old", "new", zuvo::net::ReadAccountRoute());
    Unswitch("account-refuse");
    EXPECT_EQ(outcome.result, -3);
    EXPECT_EQ(outcome.text, zuvo::quoteserver::kAccountRefusedText);
  }
  // Names and passwords go to the library cut to 31 characters.
  Settings(0, false, loginPort());
  const std::string longText(40, 'z');
  zuvo::net::ModifyAccountPassword(modify_, longText.c_str(), longText.c_str(), longText.c_str(),
                                   zuvo::net::ReadAccountRoute());
  const std::string cut(31, 'z');
  EXPECT_EQ(LastLine(), "QXMODIFY|" + cut + "|" + cut + "|" + cut + "\n");
}

TEST_F(AccountCheckEndToEnd, ALibraryThatMisbehavesTowardsTheListener) {
  Settings(1, false, loginPort());
  struct Case {
    const char* name;
    int mode;   // FakeAccount.cpp's modes
    AccountFault fault;
    DWORD acceptMs, lineMs;   // short only where the wait is the point
  };
  const Case cases[] = {
      {"never connects", 1, AccountFault::kAcceptFailed, 200, 10000},
      {"closes without a line", 2, AccountFault::kNoLine, 10000, 10000},
      {"127 bytes without a line feed", 3, AccountFault::kNoLine, 10000, 10000},
      {"connects and sends nothing", 4, AccountFault::kNoLine, 10000, 200},
  };
  Fake<FakeSetInt>("FakeAccountSetWaitMs")(10000);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AccountCheckBounds bounds;
    bounds.acceptMs = c.acceptMs;
    bounds.lineMs = c.lineMs;
    Fake<FakeSetInt>("FakeAccountSetMode")(c.mode);
    const AccountOutcome outcome =
        zuvo::net::VerifyAccount(verify_, "trader", "secret", zuvo::net::ReadAccountRoute(), bounds);
    EXPECT_EQ(outcome.fault, c.fault);
    EXPECT_FALSE(outcome.Accepted());
  }
}

TEST_F(AccountCheckEndToEnd, RelayFailuresAndAnOverlongReply) {
  // Nothing listens at the login server: message (7).
  int closedPort = 0;
  {
    HeldPort held;
    closedPort = held.port();
  }
  Settings(1, false, closedPort);
  AccountOutcome outcome = zuvo::net::VerifyAccount(verify_, "trader", "secret", zuvo::net::ReadAccountRoute());
  EXPECT_EQ(outcome.fault, AccountFault::kRelayUnreachable);

  // A server that answers 600 bytes without a line feed: at most 511 are read, then (9).
  LoopbackPeer peer;
  AccountRoute route;
  route.relayed = true;
  route.loginServer = "127.0.0.1";
  route.loginPort = peer.port();
  testsupport::WriteBytes(install_.user() / "SERVER.INI", testsupport::CrlfLines({"[ProxyServer]", "UseProxy=0"}));
  AccountCheckBounds bounds;
  bounds.replyMs = 2000;
  AccountOutcome overlong;
  std::thread check([&] { overlong = zuvo::net::VerifyAccount(verify_, "trader", "secret", route, bounds); });
  const SOCKET server = peer.Accept();
  LoopbackPeer::Write(server, "x|0|" + std::string(596, 'y'));
  check.join();
  EXPECT_EQ(overlong.fault, AccountFault::kNoReply);
  EXPECT_FALSE(overlong.Accepted());
}

TEST(AccountServerOptionsTest, LoginPortOption) {
  zuvo::quoteserver::ServerConfig config;
  bool help = false;
  std::string error;
  ASSERT_TRUE(zuvo::quoteserver::ParseCommandLine({"--data", "d", "--login-port", "0"}, &config, &help, &error)) << error;
  EXPECT_EQ(config.loginPort, 0);
  zuvo::quoteserver::ServerConfig clash;
  EXPECT_FALSE(zuvo::quoteserver::ParseCommandLine({"--data", "d", "--login-port", "13130"}, &clash, &help, &error));
  EXPECT_FALSE(zuvo::quoteserver::ParseCommandLine({"--data", "d", "--login-port", "x"}, &clash, &help, &error));
}

TEST(AccountLibraryWithoutExportsTest, GivesItsMessage) {
  testsupport::TempInstall install;
  std::filesystem::copy_file(ZUVO_FAKE_ACCOUNT_WITHOUT_EXPORTS_SO, install.bin() / "libQXAccountDll.so");
  const HMODULE library = zuvo::net::LoadAccountLibrary();
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(zuvo::net::FindAccountLibrary(), library);
  EXPECT_EQ(zuvo::net::FindVerifyAccount(library), nullptr);
  EXPECT_EQ(zuvo::net::FindModifyAccountPW(library), nullptr);
  const AccountOutcome outcome = zuvo::net::VerifyAccount(nullptr, "u", "p", AccountRoute{});
  EXPECT_EQ(outcome.fault, AccountFault::kMissingExport);
  EXPECT_FALSE(outcome.Accepted());
  EXPECT_EQ(zuvo::net::ModifyAccountPassword(nullptr, "u", "p", "n", AccountRoute{}).fault,
            AccountFault::kMissingExport);
}

TEST(AccountLibraryAbsentTest, NothingLoaded) {
  testsupport::TempInstall install;
  EXPECT_EQ(zuvo::net::LoadAccountLibrary(), nullptr);
  EXPECT_EQ(zuvo::net::FindAccountLibrary(), nullptr);
  EXPECT_EQ(zuvo::net::FindVerifyAccount(nullptr), nullptr);
}

}  // namespace
}  // namespace nettest
