#include "net/ServerList.h"

#include "data/UtilData.h"
#include "platform/Profile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace zuvo::net;

namespace {

class ServerListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
    std::strcpy(UserDir, "..\\user\\");
  }
  void TearDown() override { std::strcpy(UserDir, savedUserDir_); }

  void Program(std::initializer_list<std::string_view> lines) {
    testsupport::WriteBytes(install_.bin() / "SERVER.INI", testsupport::CrlfLines(lines));
    zuvo::platform::profile::ClearCache();
  }
  void User(std::initializer_list<std::string_view> lines) {
    testsupport::WriteBytes(install_.user() / "SERVER.INI", testsupport::CrlfLines(lines));
    zuvo::platform::profile::ClearCache();
  }
  static std::string Get(const char* section, const char* key, const std::string& file, const char* fallback = "<none>") {
    char buffer[512] = {};
    GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file.c_str());
    return buffer;
  }
  static std::string Prog(const char* section, const char* key) { return Get(section, key, kProgramServerIni); }
  static std::string Usr(const char* section, const char* key) { return Get(section, key, UserServerIniPath()); }

  static ServerList ListOf(int n) {
    ServerList list;
    for (int i = 0; i < n; ++i) {
      const std::string name = "s" + std::to_string(i);
      EXPECT_EQ(list.Insert(i, name.c_str(), ("10.0.0." + std::to_string(i)).c_str(), 13130 + i, 1), i);
    }
    return list;
  }
  static std::vector<std::string> Names(const ServerList& list) {
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i) names.push_back(list[i].name);
    return names;
  }

  testsupport::TempInstall install_;
  char savedUserDir_[kUserDirSize] = {};
};

// ---- Migration ----

TEST_F(ServerListTest, MigrationMovesTheUsersKeysOnceAndBlanksTheProgramCopy) {
  Program({"[Server]", "UserName=alice", "Password=secret", "SavePass=0", "[ProxyServer]", "UseProxy=2",
           "Address=10.1.1.1", "Port=1081", "CertUser=1", "UserName=pu", "GreenWay=1"});
  EXPECT_EQ(MigrateUserSettings(), 3);
  EXPECT_EQ(Usr("Server", "Version"), "1");
  EXPECT_EQ(Usr("Server", "UserName"), "alice");
  EXPECT_EQ(Usr("Server", "Password"), "secret");
  EXPECT_EQ(Usr("Server", "SavePass"), "0");
  EXPECT_EQ(Usr("ProxyServer", "Version"), "1");
  EXPECT_EQ(Usr("ProxyServer", "UseProxy"), "2");
  EXPECT_EQ(Usr("ProxyServer", "Address"), "10.1.1.1");
  EXPECT_EQ(Usr("ProxyServer", "Port"), "1081");
  EXPECT_EQ(Usr("ProxyServer", "UserName"), "pu");
  EXPECT_EQ(Usr("ProxyServer", "GreenWay"), "1");
  // A missing proxy password stays empty: "0" would become a password nobody chose.
  EXPECT_EQ(Usr("ProxyServer", "Password"), "");
  for (const char* key : {"UserName", "Password", "SavePass"}) EXPECT_EQ(Prog("Server", key), "") << key;
  for (const char* key : {"UseProxy", "Address", "Port", "CertUser", "UserName", "Password", "GreenWay"}) {
    EXPECT_EQ(Prog("ProxyServer", key), "") << key;
  }
  // Second start: the user copy's values stand.
  User({"[Server]", "Version=1", "UserName=bob", "[ProxyServer]", "Version=1", "UseProxy=0"});
  EXPECT_EQ(MigrateUserSettings(), 0);
  EXPECT_EQ(Usr("Server", "UserName"), "bob");
}

TEST_F(ServerListTest, MigrationOfAnEmptyProgramCopyWritesTheDefaults) {
  Program({"[RIGHT]"});
  EXPECT_EQ(MigrateUserSettings(), 3);
  EXPECT_EQ(Usr("Server", "SavePass"), "1");
  EXPECT_EQ(Usr("Server", "UserName"), "");
  EXPECT_EQ(Usr("ProxyServer", "UseProxy"), "0");
  EXPECT_EQ(Usr("ProxyServer", "Password"), "");
}

TEST_F(ServerListTest, AProgramCopyVersionAboveOneMigratesOnlyOnce) {
  Program({"[Server]", "Version=3", "UserName=alice", "[ProxyServer]", "Version=3"});
  EXPECT_EQ(MigrateUserSettings(), 3);
  EXPECT_EQ(Usr("Server", "Version"), "3");
  User({"[Server]", "Version=3", "UserName=bob", "[ProxyServer]", "Version=3"});
  EXPECT_EQ(MigrateUserSettings(), 0);
  EXPECT_EQ(Usr("Server", "UserName"), "bob");
}

// ---- The list read ----

TEST_F(ServerListTest, ReadingStopsAtTheFirstIncompleteEntryAndBoundsEveryValue) {
  const std::string longAddress(100, 'a');
  Program({"[RIGHT]", "svraddr0=1.1.1.1", "company0=甲", "Network0=2", "svrport0=2000", "login0=v.example",
           "loginport0=81", "GC0=relay", "GCPort0=443",
           // out of range numbers read as defaults; a long address is cut to its field
           "svraddr1=" + std::string(longAddress), "company1=乙", "Network1=7", "svrport1=70000", "loginport1=-1",
           "GCPort1=99999",
           // no name: the list ends here, entry 3 is unreachable
           "svraddr2=3.3.3.3", "svraddr3=4.4.4.4", "company3=丁"});
  const ServerList list = ReadServerList();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_STREQ(list[0].name, "甲");
  EXPECT_EQ(list[0].network, 2);
  EXPECT_EQ(list[0].port, 2000);
  EXPECT_STREQ(list[0].loginServer, "v.example");
  EXPECT_EQ(list[0].loginPort, 81);
  EXPECT_TRUE(list[0].HasRelay());
  EXPECT_EQ(std::string(list[1].address), std::string(63, 'a'));
  EXPECT_EQ(list[1].network, 1);
  EXPECT_EQ(list[1].port, 13130);
  EXPECT_EQ(list[1].loginPort, 0);
  EXPECT_EQ(list[1].relayPort, 0);
  EXPECT_FALSE(list[1].HasRelay());
}

TEST_F(ServerListTest, AListPast32EntriesIsCut) {
  std::string text = "[RIGHT]\r\n";
  for (int i = 0; i < 40; ++i) text += "svraddr" + std::to_string(i) + "=h" + std::to_string(i) + "\r\ncompany" + std::to_string(i) + "=n\r\n";
  testsupport::WriteBytes(install_.bin() / "SERVER.INI", text);
  zuvo::platform::profile::ClearCache();
  EXPECT_EQ(ReadServerList().Count(), kMaxServers);
}

TEST_F(ServerListTest, LastIndexOutsideTheListSelectsTheFirst) {
  struct Case {
    const char* value;
    int count;
    int expected;
  } cases[] = {{"2", 3, 2}, {"3", 3, 0}, {"-1", 3, 0}, {"junk", 3, 0}, {"99999999999", 3, 0}, {"0", 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Program({"[RIGHT]", std::string("lastindex=") + c.value});
    EXPECT_EQ(ReadLastIndex(c.count), c.expected);
  }
}

// ---- The list written ----

TEST_F(ServerListTest, WritingReplacesTheWholeListAndTheSelectedServer) {
  std::string old = "[RIGHT]\r\n";
  for (int i = 0; i < 5; ++i) old += "svraddr" + std::to_string(i) + "=old\r\ncompany" + std::to_string(i) + "=old\r\n";
  old += "[Server]\r\nPort1=13152\r\n";
  testsupport::WriteBytes(install_.bin() / "SERVER.INI", old);
  zuvo::platform::profile::ClearCache();

  ServerList list = ListOf(2);
  std::strcpy(list[1].loginServer, "verify");
  list[1].loginPort = 900;
  std::strcpy(list[1].relayHost, "relay");
  list[1].relayPort = 443;
  ASSERT_TRUE(WriteServerList(list, 1));

  const ServerList back = ReadServerList();
  ASSERT_EQ(back.Count(), 2);   // the three older entries are gone
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back[i].network, list[i].network);
    EXPECT_EQ(back[i].port, list[i].port);
    EXPECT_STREQ(back[i].address, list[i].address);
    EXPECT_STREQ(back[i].name, list[i].name);
    EXPECT_STREQ(back[i].loginServer, list[i].loginServer);
    EXPECT_EQ(back[i].loginPort, list[i].loginPort);
    EXPECT_STREQ(back[i].relayHost, list[i].relayHost);
    EXPECT_EQ(back[i].relayPort, list[i].relayPort);
  }
  EXPECT_EQ(ReadLastIndex(2), 1);
  EXPECT_EQ(Prog("Server", "Address"), "10.0.0.1");
  EXPECT_EQ(Prog("Server", "Port"), "13131");
  EXPECT_EQ(Prog("Server", "Network"), "1");
  EXPECT_EQ(Prog("Server", "LoginServer"), "verify");
  EXPECT_EQ(Prog("Server", "LoginPort"), "900");
  EXPECT_EQ(Prog("Server", "GC"), "relay");
  EXPECT_EQ(Prog("Server", "GCPort"), "443");
  EXPECT_EQ(Prog("Server", "Port1"), "13152");   // the rest of [Server] is kept
  EXPECT_FALSE(WriteServerList(list, 2));        // not a listed entry
}

TEST_F(ServerListTest, LoginServerAndRelayHostAreReadWithSixtyThreeCharacters) {
  const std::string host(63, 'h');
  Program({"[Server]", "LoginServer=" + host + "xyz", "LoginPort=901", "GC=" + host, "GCPort=70000"});
  EXPECT_EQ(std::string(ReadLoginServer().host), host);
  EXPECT_EQ(ReadLoginServer().port, 901);
  EXPECT_EQ(std::string(ReadRelayServer().host), host);
  EXPECT_EQ(ReadRelayServer().port, 0);
}

// ---- 添加, 修改, 删除 ----

TEST_F(ServerListTest, AddInsertsAtThePositionAndAFullListRefuses) {
  ServerList list = ListOf(3);
  std::strcpy(list[1].relayHost, "relay");
  list[1].relayPort = 443;
  EXPECT_EQ(list.Insert(1, "new", "9.9.9.9", 5000, 2), 1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"s0", "new", "s1", "s2"}));
  EXPECT_FALSE(list[1].HasRelay());   // a new server has no relay of its own
  EXPECT_TRUE(list[2].HasRelay());    // the shifted entry keeps its relay
  EXPECT_EQ(list[1].network, 2);
  EXPECT_EQ(list.Insert(-1, "first", "1", 1, 1), 0);
  EXPECT_EQ(list.Insert(99, "out", "1", 1, 1), 0);   // out of range: the first position
  EXPECT_EQ(list.Insert(0, "", "1", 1, 1), -1);
  EXPECT_EQ(list.Insert(0, "x", "", 1, 1), -1);

  ServerList full = ListOf(kMaxServers);
  EXPECT_TRUE(full.Full());
  EXPECT_EQ(full.Insert(0, "more", "1.2.3.4", 1, 1), -1);
  EXPECT_EQ(full.Count(), kMaxServers);
  EXPECT_STREQ(full[0].name, "s0");
  EXPECT_STREQ(full[31].name, "s31");
}

TEST_F(ServerListTest, EditAndDeleteOnAFullList) {
  ServerList list = ListOf(kMaxServers);
  EXPECT_TRUE(list.Update(31, "last", "8.8.8.8", 7000, 2));
  EXPECT_STREQ(list[31].name, "last");
  EXPECT_EQ(list[31].port, 7000);
  EXPECT_FALSE(list.Update(32, "x", "y", 1, 1));
  EXPECT_FALSE(list.Update(0, "", "y", 1, 1));

  EXPECT_EQ(list.Remove(5), 5);   // the same position stays selected
  EXPECT_EQ(list.Count(), 31);
  EXPECT_STREQ(list[5].name, "s6");
  EXPECT_EQ(list.Remove(30), 0);   // the last one: the first is selected
  EXPECT_EQ(list.Count(), 30);
  EXPECT_EQ(list.Remove(30), -1);
  ServerList one = ListOf(1);
  EXPECT_EQ(one.Remove(0), -1);
  EXPECT_EQ(one.Count(), 0);
}

// ---- The user copy ----

TEST_F(ServerListTest, AnUnsavedPasswordIsWrittenEmptyAndWithoutProxyOnlyUseProxyIsWritten) {
  User({"[ProxyServer]", "Address=keep", "Port=1"});
  UserSettings user;
  std::strcpy(user.userName, "alice");
  std::strcpy(user.password, "secret");
  user.savePass = false;
  ProxySettings proxy;
  proxy.useProxy = kProxyNone;
  proxy.greenWay = true;
  ASSERT_TRUE(WriteUserSettings(user, false, proxy));
  EXPECT_EQ(Usr("Server", "UserName"), "alice");
  EXPECT_EQ(Usr("Server", "Password"), "");
  EXPECT_EQ(Usr("Server", "SavePass"), "0");
  EXPECT_EQ(Usr("ProxyServer", "UseProxy"), "0");
  EXPECT_EQ(Usr("ProxyServer", "GreenWay"), "1");
  EXPECT_EQ(Usr("ProxyServer", "Address"), "keep");

  user.savePass = true;
  proxy.useProxy = 9;   // any other value is HTTP
  std::strcpy(proxy.address, "10.0.0.9");
  proxy.port = 3128;
  std::memset(proxy.userName, 'u', 31);
  ASSERT_TRUE(WriteUserSettings(user, true, proxy));
  EXPECT_EQ(Usr("Server", "Password"), "secret");
  EXPECT_EQ(Usr("ProxyServer", "UseProxy"), "3");
  EXPECT_EQ(Usr("ProxyServer", "Port"), "3128");
  EXPECT_EQ(Usr("ProxyServer", "UserName"), std::string(31, 'u'));
  const ProxySettings back = ReadProxySettings();
  EXPECT_EQ(back.useProxy, 3);
  EXPECT_STREQ(back.address, "10.0.0.9");
}

TEST_F(ServerListTest, ProxyDefaultsAreTheDialogs) {
  User({"[Server]"});
  const ProxySettings proxy = ReadProxySettings();
  EXPECT_EQ(proxy.port, 1080);
  EXPECT_TRUE(proxy.certUser);
  EXPECT_EQ(proxy.useProxy, 0);
  EXPECT_TRUE(ReadUserSettings(true).savePass);
}

// ---- Rules ----

TEST(ServerListRules, ProxyAndTypeRules) {
  struct Case {
    const char* name;
    bool useProxy;
    ProxyType type;
    bool certUser;
    ProxyType expectedType;
    bool group, certChecked, certEnabled, credentials;
  } cases[] = {
      {"no proxy", false, kProxyNone, true, kProxyNone, false, true, false, false},
      {"proxy without type gets HTTP", true, kProxyNone, true, kProxyHttp, true, true, true, true},
      {"socks5 with auth", true, kProxySocks5, true, kProxySocks5, true, true, true, true},
      {"socks5 without auth", true, kProxySocks5, false, kProxySocks5, true, false, true, false},
      {"socks4 unchecks and disables auth", true, kProxySocks4, true, kProxySocks4, true, false, false, false},
      {"no proxy keeps a chosen type", false, kProxySocks5, true, kProxySocks5, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProxyControls in;
    in.useProxy = c.useProxy;
    in.type = c.type;
    in.certUser = c.certUser;
    const ProxyControls out = ApplyProxyRules(in);
    EXPECT_EQ(out.type, c.expectedType);
    EXPECT_EQ(out.groupEnabled, c.group);
    EXPECT_EQ(out.certUser, c.certChecked);
    EXPECT_EQ(out.certEnabled, c.certEnabled);
    EXPECT_EQ(out.credentialsEnabled, c.credentials);
  }
  EXPECT_EQ(ProxyTypeOfStored(0), kProxyNone);
  EXPECT_EQ(ProxyTypeOfStored(1), kProxySocks5);
  EXPECT_EQ(ProxyTypeOfStored(2), kProxySocks4);
  EXPECT_EQ(ProxyTypeOfStored(3), kProxyHttp);
  EXPECT_EQ(ProxyTypeOfStored(-5), kProxyHttp);
}

TEST(ServerListRules, FallBackOrderGoesOnceRoundTheListFromTheFirstTried) {
  // Three servers, the second selected: 2, 3, 1, then the last attempt on 2 (1-based).
  auto order = [](int selected, int count) {
    std::vector<int> tried{selected};
    int current = selected;
    for (;;) {
      current = NextServerIndex(current, count);
      tried.push_back(current);
      if (current == selected) break;
    }
    return tried;
  };
  EXPECT_EQ(order(1, 3), (std::vector<int>{1, 2, 0, 1}));
  EXPECT_EQ(order(0, 1), (std::vector<int>{0, 0}));   // one server: straight to the last attempt
  EXPECT_EQ(order(31, 32).size(), 33u);
  EXPECT_EQ(OtherNetwork(1), 2);
  EXPECT_EQ(OtherNetwork(2), 1);
  EXPECT_EQ(OtherNetwork(0), 1);
}

TEST(ServerListRules, CopyFieldCutsOnACharacterBoundaryAndAtLineBreaks) {
  char field[4];
  CopyField(field, sizeof field, "ab甲");   // 2 + 2 bytes do not fit in 3
  EXPECT_STREQ(field, "ab");
  CopyField(field, sizeof field, "a\r\nb");
  EXPECT_STREQ(field, "a");
  CopyField(field, sizeof field, nullptr);
  EXPECT_STREQ(field, "");
}

}  // namespace
