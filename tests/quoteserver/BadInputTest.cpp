// Bad input from clients: every case answered as the server promises (a quiet refusal where a
// reply is awaited, the connection closed where the stream cannot be trusted), and the server
// serving on afterwards.
#include "quoteserver/ServerFixture.h"

#include "core/PackedTime.h"

namespace quoteservertest {
namespace {

std::string RawFrame(char magic, std::uint8_t type, std::uint16_t count, std::uint16_t index, std::uint16_t length,
                     std::uint8_t flag, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = magic;
  frame[1] = static_cast<char>(type);
  Put16(&frame, 2, count);
  Put16(&frame, 4, index);
  Put16(&frame, 6, length);
  frame[8] = static_cast<char>(flag);
  return frame + body;
}
std::string GoodFrame(std::uint8_t type, const std::string& body) {
  return RawFrame('@', type, 1, 0, static_cast<std::uint16_t>(body.size()), 0, body);
}
std::string NoteRequest(const std::string& name) {
  std::string body = Field(20, 2, name);
  body[0] = 1;
  return GoodFrame(16, body);
}
std::string InfoTextRequest(int kind, const std::string& name) {
  std::string body = Field(98, 1, "600100");
  body[9] = static_cast<char>(kind);
  body.replace(10, std::min<std::size_t>(name.size(), 80), name.substr(0, 80));
  Put32(&body, 90, 0xFFFFFFFFu);
  return GoodFrame(41, body);
}

enum class Outcome {
  kRefusedAndServing,   // type 2 level 0; the same connection still answers
  kRefusedAndClosed,    // type 2 level 0, then the connection closes
  kShownAndClosed,      // type 2 level 20, then the connection closes
  kClosedSilently,      // no reply; the connection closes
};

class BadInputTest : public ServerTest {};

TEST_F(BadInputTest, EveryCaseIsAnsweredAsPromisedAndTheServerServesOn) {
  StartServer();
  enum Port { kMain, kRequest, kRequestBeforeLogin, kPush };
  struct Case {
    const char* name;
    Port port;
    std::string bytes;
    Outcome outcome;
    const char* logged;   // a --verbose line that says why, or null
  };
  const Case cases[] = {
      // Headers that break the stream.
      {"wrong magic", kRequest, RawFrame('#', 6, 1, 0, 1, 0, "\x00"), Outcome::kRefusedAndClosed, "wrong magic"},
      {"body longer than a client frame", kRequest, RawFrame('@', 12, 1, 0, 2000, 0, ""), Outcome::kRefusedAndClosed,
       "longer than a client frame"},
      {"index not below the count", kRequest, RawFrame('@', 6, 1, 1, 1, 0, "\x00"), Outcome::kRefusedAndClosed,
       "index"},
      {"several frames", kRequest, RawFrame('@', 6, 2, 0, 1, 0, "\x00"), Outcome::kRefusedAndClosed, "count"},
      {"compressed request", kRequest, RawFrame('@', 6, 1, 0, 1, 1, "\x00"), Outcome::kRefusedAndClosed, "compressed"},
      {"wrong magic on the main port", kMain, RawFrame('x', 3, 1, 0, 0, 0, ""), Outcome::kRefusedAndClosed,
       "wrong magic"},
      {"wrong magic on the push port", kPush, RawFrame('x', 202, 1, 0, 4, 0, std::string(4, '\0')),
       Outcome::kClosedSilently, "wrong magic"},
      // Unknown types.
      {"unknown type", kRequest, GoodFrame(77, "abc"), Outcome::kRefusedAndServing, "unknown request type"},
      {"market request of wire code 7", kRequest, GoodFrame(7, "\x00"), Outcome::kRefusedAndServing, nullptr},
      {"a reply type sent as a request", kRequest, GoodFrame(2, "\x00\x00\x00"), Outcome::kRefusedAndServing, nullptr},
      {"unknown type on the main port", kMain, GoodFrame(12, std::string(22, '\0')), Outcome::kRefusedAndServing,
       "unknown type on the main port"},
      // Bodies shorter than their layouts.
      {"bars, 21 bytes", kRequest, GoodFrame(12, std::string(21, '\0')), Outcome::kRefusedAndServing, "shorter"},
      {"sort, 774 bytes", kRequest, GoodFrame(101, std::string(774, '\0')), Outcome::kRefusedAndServing, "shorter"},
      {"snapshot, 769 bytes", kRequest, GoodFrame(9, std::string(769, '\0')), Outcome::kRefusedAndServing, "shorter"},
      {"information text, 97 bytes", kRequest, GoodFrame(41, std::string(97, '\0')), Outcome::kRefusedAndServing,
       "shorter"},
      {"news list, 6 bytes", kRequest, GoodFrame(15, std::string(6, '\0')), Outcome::kRefusedAndServing, "shorter"},
      {"one note, 19 bytes", kRequest, GoodFrame(16, std::string("\x01\x00", 2) + std::string(17, 'A')),
       Outcome::kRefusedAndServing, "shorter"},
      {"download, 37 bytes", kRequest, GoodFrame(206, Field(37, 0, "MKINFO.CFG")), Outcome::kRefusedAndServing,
       "shorter"},
      {"name table, empty", kRequest, GoodFrame(6, ""), Outcome::kRefusedAndServing, "empty"},
      {"version, empty", kRequest, GoodFrame(202, ""), Outcome::kRefusedAndServing, "shorter"},
      {"login, 63 bytes", kMain, GoodFrame(3, std::string(63, '\0')), Outcome::kRefusedAndServing, "shorter"},
      {"password change, 39 bytes", kMain, GoodFrame(30, std::string(39, '\0')), Outcome::kRefusedAndServing,
       "shorter"},
      {"data login, 159 bytes", kRequest, GoodFrame(207, std::string(159, '\0')), Outcome::kRefusedAndServing,
       "shorter"},
      // Names that select nothing the server made.
      {"note name climbing out", kRequest, NoteRequest("..\\..\\x"), Outcome::kRefusedAndServing, "plain name"},
      {"note name with a separator", kRequest, NoteRequest("a/N0240628.TXT"), Outcome::kRefusedAndServing,
       "plain name"},
      {"note name with a colon", kRequest, NoteRequest("C:N0240628.TX"), Outcome::kRefusedAndServing, "plain name"},
      {"note name unterminated", kRequest, NoteRequest(std::string(16, 'N')), Outcome::kRefusedAndServing,
       "plain name"},
      {"note name not made", kRequest, NoteRequest("N0990101.TXT"), Outcome::kRefusedAndServing, "unknown note"},
      {"information text climbing out", kRequest, InfoTextRequest(1, "../600100_1.txt"), Outcome::kRefusedAndServing,
       "plainly"},
      {"information text of another kind", kRequest, InfoTextRequest(2, "600100_1.txt"),
       Outcome::kRefusedAndServing, "unknown information text"},
      {"information text unterminated", kRequest, InfoTextRequest(1, std::string(80, 'x')),
       Outcome::kRefusedAndServing, "plainly"},
      {"download climbing out", kRequest, GoodFrame(206, Field(38, 0, "..\\cfg\\MKINFO.CFG")),
       Outcome::kRefusedAndServing, "does not offer"},
      {"download of another file", kRequest, GoodFrame(206, Field(38, 0, "DSINFO.DAT")), Outcome::kRefusedAndServing,
       "does not offer"},
      {"download name unterminated", kRequest, GoodFrame(206, std::string(38, 'M')), Outcome::kRefusedAndServing,
       "does not offer"},
      // Values out of range.
      {"snapshot of 257 keys", kRequest, [] { std::string b(770, '\0'); Put16(&b, 768, 257); return GoodFrame(9, b); }(),
       Outcome::kRefusedAndServing, "256"},
      {"news direction 2", kRequest, [] { std::string b(10, '\0'); b[2] = 2; return GoodFrame(15, b); }(),
       Outcome::kRefusedAndServing, "direction"},
      {"information text before its start", kRequest,
       [] { std::string b = InfoTextRequest(1, "600100_1.txt").substr(10); Put32(&b, 90, 0xFFFFFFFEu); return GoodFrame(41, b); }(),
       Outcome::kRefusedAndServing, "offset"},
      // Requests before the login.
      {"bars before the login", kRequestBeforeLogin, GoodFrame(12, std::string(22, '\0')), Outcome::kShownAndClosed,
       "before the login"},
      {"first-stage login on the request port", kRequestBeforeLogin, GoodFrame(3, LoginBody("a", "b", 0)),
       Outcome::kShownAndClosed, "before the login"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint16_t port = c.port == kMain ? mainPort() : c.port == kPush ? pushPort() : requestPort();
    RawClient client(port);
    ASSERT_TRUE(client.connected());
    if (c.port == kRequest) {
      ASSERT_TRUE(client.LogIn());
    }
    client.SendRaw(c.bytes);
    Reply reply;
    switch (c.outcome) {
      case Outcome::kRefusedAndServing:
      case Outcome::kRefusedAndClosed:
      case Outcome::kShownAndClosed:
        ASSERT_TRUE(client.ReadReply(&reply));
        EXPECT_EQ(reply.type, 2);
        EXPECT_EQ(reply.level(), c.outcome == Outcome::kShownAndClosed ? 20 : 0);
        break;
      case Outcome::kClosedSilently: break;
    }
    if (c.outcome == Outcome::kRefusedAndServing) {
      // The same connection goes on: the main port answers a login, the request port a version.
      if (c.port == kMain) {
        client.Send(3, LoginBody("a", "b", 0));
      } else {
        client.Send(202, std::string(4, '\0'));
      }
      ASSERT_TRUE(client.ReadReply(&reply));
      EXPECT_EQ(reply.type, c.port == kMain ? 3 : 202);
    } else {
      EXPECT_TRUE(client.WaitClosed());
    }
    if (c.logged != nullptr) {
      EXPECT_TRUE(Logged(c.logged)) << c.logged;
    }

    // The server serves a new connection.
    RawClient next(requestPort());
    ASSERT_TRUE(next.LogIn());
    next.Send(202, std::string(4, '\0'));
    ASSERT_TRUE(next.ReadReply(&reply));
    EXPECT_EQ(reply.type, 202);
  }
}

TEST_F(BadInputTest, AClientThatStopsReadingHoldsOnlyItsOwnConnection) {
  StartServer();
  // Ask for far more than a socket buffer holds and never read it.
  RawClient greedy(requestPort());
  ASSERT_TRUE(greedy.LogIn());
  std::string body = Field(22, 2, "600100");
  body[0] = 1;
  body[1] = 0;
  Put32(&body, 14, MakePackedTime(2015, 1, 5));
  std::string many;
  for (int i = 0; i < 200; ++i) many += GoodFrame(12, body);
  greedy.SendRaw(many);
  // Others are still served meanwhile.
  RawClient other(requestPort());
  ASSERT_TRUE(other.LogIn());
  other.Send(202, std::string(4, '\0'));
  Reply reply;
  ASSERT_TRUE(other.ReadReply(&reply));
  EXPECT_EQ(reply.type, 202);
}

}  // namespace
}  // namespace quoteservertest
