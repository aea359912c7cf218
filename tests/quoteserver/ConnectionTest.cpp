// The server's connections: requests pipelined in any pieces are answered in order, one reply's
// frames together; the server stops cleanly with clients still connected.
#include "quoteserver/ServerFixture.h"

namespace quoteservertest {
namespace {

std::string ClientFrame(std::uint8_t type, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = '@';
  frame[1] = static_cast<char>(type);
  Put16(&frame, 2, 1);
  Put16(&frame, 6, static_cast<std::uint16_t>(body.size()));
  return frame + body;
}

class ConnectionTest : public ServerTest {};

TEST_F(ConnectionTest, AnswersPipelinedRequestsInOrderWhateverTheirPieces) {
  StartServer();
  const std::string stream = ClientFrame(3, LoginBody("u", "p", 2)) + ClientFrame(1, "") +
                             ClientFrame(6, std::string(1, '\x00')) + ClientFrame(202, std::string(4, '\0')) +
                             ClientFrame(206, ConfigFileBody("SYSTIME.DAT", 0, 0)) +
                             ClientFrame(6, std::string(1, '\x03'));
  const std::uint8_t expected[] = {3, 6, 202, 206, 6};
  for (std::size_t piece : {stream.size(), std::size_t{1}, std::size_t{7}}) {
    SCOPED_TRACE(piece);
    RawClient client(requestPort());
    for (std::size_t at = 0; at < stream.size(); at += piece) client.SendRaw(stream.substr(at, piece));
    for (std::uint8_t type : expected) {
      Reply reply;
      ASSERT_TRUE(client.ReadReply(&reply));
      EXPECT_EQ(reply.type, type);
    }
    // Replies come in request order, so the next one answers this request: nothing was sent for
    // the heartbeat in the middle.
    client.Send(202, std::string(4, '\0'));
    Reply reply;
    ASSERT_TRUE(client.ReadReply(&reply));
    EXPECT_EQ(reply.type, 202);
  }
}

TEST_F(ConnectionTest, StopsWithClientsConnectedAndCanStopTwice) {
  StartServer();
  RawClient idle(requestPort());
  RawClient loggedIn(requestPort());
  ASSERT_TRUE(loggedIn.LogIn());
  server_->Stop();
  EXPECT_TRUE(idle.WaitClosed());
  EXPECT_TRUE(loggedIn.WaitClosed());
  server_->Stop();
  RawClient refused(requestPort());
  EXPECT_FALSE(refused.connected());
}

TEST_F(ConnectionTest, VerboseLogNamesEveryFrame) {
  StartServer();
  RawClient client(requestPort());
  ASSERT_TRUE(client.LogIn());
  client.Send(202, std::string(4, '\0'));
  Reply reply;
  ASSERT_TRUE(client.ReadReply(&reply));
  EXPECT_TRUE(Logged("request] accepted from 127.0.0.1:"));
  EXPECT_TRUE(Logged("request] <- type 3 length 64"));
  EXPECT_TRUE(Logged("request] -> type 3 frame 0/1 length 128"));
  EXPECT_TRUE(Logged("request] -> type 202 frame 0/1 length 4"));
}

}  // namespace
}  // namespace quoteservertest
