// Logins on the main and request ports, the 128-byte login block and its rights, the password
// change, and what the request port does before a login.
#include "quoteserver/ServerFixture.h"

#include "data/Records.h"

#include <cstring>

namespace quoteservertest {
namespace {

constexpr char kBadLogin[] = "用户名或密码错误。";
constexpr char kBadPassword[] = "原密码错误。";

bool MarketRight(const std::string& block, int market, int category) {
  const int bit = market * 16 + category;
  return (static_cast<std::uint8_t>(block[2 + static_cast<std::size_t>(bit / 8)]) & (0x80 >> (bit % 8))) != 0;
}

class LoginTest : public ServerTest {};

TEST_F(LoginTest, FirstStageAnswersTheBlockWithRightsAddressAndExpiry) {
  auto config = SampleConfig();
  config.denied = {{1, 2}, {3, 0}};
  config.dataAddress = {10, 20, 30, 40};
  StartServer(config);
  RawClient client(mainPort());
  client.Send(3, LoginBody("anyone", "anything", 0));
  Reply reply;
  ASSERT_TRUE(client.ReadReply(&reply));
  ASSERT_EQ(reply.type, 3);
  ASSERT_EQ(reply.frames.size(), 1u);
  const std::string block = reply.frames[0].body;
  ASSERT_EQ(block.size(), 128u);

  // Saturday 2024-06-29 now: valid until 2025-06-29 (day, month, year since 2000).
  EXPECT_EQ(Get16(block, 0), (29 | (6 << 5) | (25 << 9)));

  // Every category of every market the tree describes, less the denied ones; nothing beyond.
  std::vector<MarketRecord> markets(4);
  std::FILE* file = std::fopen((SampleRoot() / "cfg" / "mkinfo.cfg").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  const std::size_t read = std::fread(markets.data(), sizeof(MarketRecord), 4, file);
  std::fclose(file);
  ASSERT_EQ(read, 4u);
  for (int m = 0; m < 48; ++m) {
    for (int c = 0; c < 16; ++c) {
      const bool exists = m < 4 && c < markets[static_cast<std::size_t>(m)].categoryCount;
      const bool denied = (m == 1 && c == 2) || (m == 3 && c == 0);
      SCOPED_TRACE(testing::Message() << "market " << m << " category " << c);
      EXPECT_EQ(MarketRight(block, m, c), exists && !denied);
    }
  }
  EXPECT_EQ(block.substr(98, 16), std::string(16, '\xFF')) << "information classes 1 to 128";
  EXPECT_EQ(block.substr(114, 4), std::string("\x0A\x14\x1E\x28", 4));

  // The ticket in 118-127: present, the same for the same user, another for another user.
  auto ticket = [&](const std::string& user) {
    RawClient other(mainPort());
    other.Send(3, LoginBody(user, "anything", 0));
    Reply again;
    EXPECT_TRUE(other.ReadReply(&again));
    EXPECT_EQ(again.type, 3);
    return again.frames.empty() || again.frames[0].body.size() < 128 ? std::string() : again.frames[0].body.substr(118, 10);
  };
  EXPECT_NE(block.substr(118, 10), std::string(10, '\0'));
  EXPECT_EQ(ticket("anyone"), block.substr(118, 10));
  EXPECT_NE(ticket("someone"), block.substr(118, 10));
}

TEST_F(LoginTest, OnlyListedUsersLogInOnEitherStage) {
  auto config = SampleConfig();
  config.users = {{"ann", "secret"}, {"bob", "pw2"}};
  StartServer(config);
  struct Case {
    const char* name;
    bool mainPort;
    std::uint8_t type;
    std::string body;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {"first stage, right password", true, 3, LoginBody("ann", "secret", 0), 3},
      {"first stage, wrong password", true, 3, LoginBody("ann", "secreT", 0), 2},
      {"first stage, unknown user", true, 3, LoginBody("carl", "secret", 0), 2},
      {"second stage, right password", false, 207, DataLoginBody("bob", "pw2"), 207},
      {"second stage, another user's password", false, 207, DataLoginBody("bob", "secret"), 2},
      {"one stage, right password", false, 3, LoginBody("ann", "secret", 2), 3},
      {"one stage, wrong password", false, 3, LoginBody("ann", "pw2", 2), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawClient client(c.mainPort ? mainPort() : requestPort());
    client.Send(c.type, c.body);
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, c.expected);
    if (c.expected == 2) {
      EXPECT_EQ(reply.level(), 20);
      EXPECT_EQ(reply.text(), kBadLogin);
    } else if (c.expected == 207) {
      EXPECT_EQ(reply.frames[0].body.size(), 4u);
    }
  }
}

TEST_F(LoginTest, RequestPortServesNothingBeforeALoginAndIgnoresHeartbeats) {
  StartServer();
  {
    // A heartbeat gets no answer, before the login or after: replies come in request order, so
    // the reply after one answers the next request.
    RawClient client(requestPort());
    client.Send(1, "");
    ASSERT_TRUE(client.LogIn());
    client.Send(1, "");
    client.Send(202, std::string(4, '\0'));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 202);
  }
  {
    RawClient client(requestPort());
    client.Send(202, std::string(4, '\0'));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 2);
    EXPECT_EQ(reply.level(), 20);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(Logged("request before the login"));
  }
  {
    // A refused login does not log in.
    auto config = SampleConfig();
    config.users = {{"ann", "secret"}};
    StartServer(config);
    RawClient client(requestPort());
    client.Send(207, DataLoginBody("ann", "wrong"));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 2);
    client.Send(6, std::string(1, '\0'));
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.level(), 20);
    EXPECT_TRUE(client.WaitClosed());
  }
}

TEST_F(LoginTest, PasswordChangeNeedsTheCurrentPasswordAndLastsForLaterLogins) {
  auto config = SampleConfig();
  config.users = {{"ann", "old"}};
  StartServer(config);
  auto change = [&](const std::string& current, const std::string& next) {
    RawClient client(mainPort());
    client.Send(30, PasswordBody("ann", current, next));
    Reply reply;
    EXPECT_TRUE(client.ReadReply(&reply));
    return reply;
  };
  Reply refused = change("wrong", "new");
  EXPECT_EQ(refused.type, 2);
  EXPECT_EQ(refused.level(), 20);
  EXPECT_EQ(refused.text(), kBadPassword);

  Reply done = change("old", "new");
  EXPECT_EQ(done.type, 30);
  EXPECT_FALSE(done.frames[0].body.empty()) << "an empty body would never complete the client's request";

  RawClient oldLogin(requestPort());
  EXPECT_FALSE(oldLogin.LogIn("ann", "old"));
  RawClient newLogin(requestPort());
  EXPECT_TRUE(newLogin.LogIn("ann", "new"));

  // The same change as a queued request (kind 29) on the logged-in request connection.
  newLogin.Send(30, PasswordBody("ann", "new", "newer"));
  Reply reply;
  ASSERT_TRUE(newLogin.ReadReply(&reply));
  EXPECT_EQ(reply.type, 30);
  RawClient newerLogin(requestPort());
  EXPECT_TRUE(newerLogin.LogIn("ann", "newer"));
}

TEST_F(LoginTest, WithoutUsersAnyNameAndPasswordLogIn) {
  StartServer();
  RawClient client(requestPort());
  EXPECT_TRUE(client.LogIn("", ""));
  client.Send(207, DataLoginBody("x", "y"));
  Reply reply;
  ASSERT_TRUE(client.ReadReply(&reply));
  EXPECT_EQ(reply.type, 207);
}

}  // namespace
}  // namespace quoteservertest
