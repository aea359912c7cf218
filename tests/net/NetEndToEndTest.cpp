// Both clients over real loopback TCP against the local quote server, run in-process: the
// timing switches and compressions deliver every frame in order, every framing and compression
// switch closes the connection with exactly one MsgConnectionLost, the last reply before a FIN is
// handled, the slow-network notice asks once per 45 minutes, and a silent server ends a blocking
// read in its timeout. The test writes the login and the push opening frame itself.
#include "net/NetTestSupport.h"

#include "MarketModel.h"
#include "data/Messages.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "quoteserver/ServerFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace nettest {
namespace {

using quoteservertest::Reply;
using zuvo::quoteserver::Compression;
using zuvo::quoteserver::ServerConfig;

constexpr std::uint8_t kVersionRequest = 202;
constexpr std::uint8_t kBarsRequest = 12;
constexpr std::uint8_t kPushOpening = 202;
constexpr DWORD kPumpMs = 20000;

std::string BarsBody() {
  std::string body = quoteservertest::Field(22, 2, "600100");
  body[0] = 8;
  quoteservertest::Put32(&body, 14, zuvo::model::kModelEpoch);
  return body;
}

// The minutes of the clock records among the push frames (records of market 0, index 0, with
// byte 116 clear), in arrival order.
std::vector<int> ClockMinutes(const std::vector<Handled>& pushes) {
  std::vector<int> minutes;
  for (const Handled& frame : pushes) {
    if (frame.body.size() >= 128 && frame.body[0] == 0 && frame.body[1] == 0 && frame.body[116] == 0) {
      minutes.push_back(static_cast<std::uint8_t>(frame.body[2]) | static_cast<std::uint8_t>(frame.body[3]) << 8);
    }
  }
  return minutes;
}

template <class Client>
bool Queue(Client* client, std::uint8_t type, const std::string& body) {
  const std::string frame = Frame(type, body);
  if (client->sendCount + static_cast<int>(frame.size()) > kSendBufferBytes) return false;
  std::memcpy(client->sendBuffer + client->sendCount, frame.data(), frame.size());
  client->sendCount += static_cast<int>(frame.size());
  return client->FlushSendBuffer() == 1;
}

class NetEndToEnd : public quoteservertest::ServerTest {
 protected:
  void SetUp() override { PushDecompressMode = kPushCompressionUnknown; }
  void TearDown() override {
    PushDecompressMode = kPushCompressionUnknown;
    quoteservertest::ServerTest::TearDown();
  }

  void Start(Compression request = Compression::kNone, Compression push = Compression::kNone) {
    ServerConfig config = SampleConfig();
    config.timedPush = false;
    config.compression = request;
    config.pushCompression = push;
    StartServer(config);
  }
  void On(const std::string& fault) { ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on"); }
  void Off(const std::string& fault) { server_->Command("fault -" + fault); }

  // A request client logged in with the one-stage login (blocking), then made asynchronous.
  std::unique_ptr<TNormalClnt> LoggedInClient() {
    auto client = std::make_unique<TNormalClnt>();
    EXPECT_EQ(client->Create(), 1);
    EXPECT_EQ(client->Connect("127.0.0.1", requestPort()), 1);
    EXPECT_TRUE(Queue(client.get(), 3, quoteservertest::LoginBody("test", "pw", 2)));
    EXPECT_EQ(client->ReadFrameHeader(), 1);
    EXPECT_GE(client->ReadFrameBody(), 0);
    EXPECT_EQ(int{client->header.type}, 3);
    EXPECT_EQ(client->StartAsync(), 1);
    return client;
  }
  // A push client that has sent the opening frame and listens.
  std::unique_ptr<TRealDataClnt> OpenedPushClient() {
    auto client = std::make_unique<TRealDataClnt>();
    EXPECT_EQ(client->Create(), 1);
    EXPECT_EQ(client->Connect("127.0.0.1", pushPort()), 1);
    std::string body(4, '\0');
    body[0] = 4;
    EXPECT_TRUE(Queue(client.get(), kPushOpening, body));
    EXPECT_EQ(client->AsyncSelect(kClientSocketEvents), 1);
    return client;
  }
  // The reply as a raw client reads it (decoded) on a connection of its own.
  std::vector<std::string> Reference(std::uint8_t type, const std::string& body) {
    Reply reply = Ask(type, body);
    std::vector<std::string> bodies;
    for (const auto& frame : reply.frames) bodies.push_back(frame.body);
    return bodies;
  }
  // One more push step with the server's clock a minute on (so a clock record goes out).
  void PushMinute() {
    now_ += 60;
    server_->PushStep();
  }

  LostRecorder lost;
  RecordingHandlers handlers;
};

TEST_F(NetEndToEnd, TimingSwitchesAndCompressionDeliverEveryFrameInOrder) {
  struct Row {
    const char* fault;   // empty: none
    Compression compression;
    std::uint8_t type;
    int repeats;
  };
  const Row rows[] = {
      {"", Compression::kNone, kBarsRequest, 1},
      {"dribble@request", Compression::kNone, kVersionRequest, 2},
      {"split=5@request", Compression::kNone, kBarsRequest, 1},
      {"coalesce@request", Compression::kNone, kVersionRequest, 3},
      {"", Compression::kLzw, kBarsRequest, 2},
      {"split=5@request", Compression::kLzw, kBarsRequest, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.fault) + (row.compression == Compression::kLzw ? " --compress lzw" : ""));
    Start(row.compression);
    const std::string body = row.type == kBarsRequest ? BarsBody() : std::string(4, '\0');
    const std::vector<std::string> once = Reference(row.type, body);
    ASSERT_FALSE(once.empty());
    if (row.type == kBarsRequest) {
      EXPECT_GT(once.size(), 1u) << "a reply of several frames";
    }
    std::vector<std::string> expected;
    for (int i = 0; i < row.repeats; ++i) expected.insert(expected.end(), once.begin(), once.end());

    handlers.replies.clear();
    auto client = LoggedInClient();
    if (row.fault[0] != '\0') On(row.fault);
    for (int i = 0; i < row.repeats; ++i) ASSERT_TRUE(Queue(client.get(), row.type, body));
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.replies.size() >= expected.size(); }, kPumpMs));
    ASSERT_EQ(handlers.replies.size(), expected.size());
    for (std::size_t i = 0; i < handlers.replies.size(); ++i) {
      EXPECT_TRUE(handlers.replies[i].body == expected[i]) << "frame " << i << " differs";
      EXPECT_EQ(handlers.replies[i].type, row.type);
      EXPECT_EQ(handlers.replies[i].index, i % once.size());
    }
    EXPECT_NE(client->handle, -1);
    EXPECT_EQ(lost.Total(), 0);
    client.reset();   // a connected client posts when destroyed
    EXPECT_EQ(lost.Count(0), 1);
    lost.Clear();
  }
}

// The push connection under each compression, one server after the other, so that the
// process-wide mode switches both ways: lzw (mode 1), zlib (mode 2), lzw again (mode 1).
TEST_F(NetEndToEnd, PushCompressionSwitchesTheModeBothWays) {
  struct Row {
    Compression compression;
    int mode;
  };
  const Row rows[] = {{Compression::kNone, kPushCompressionUnknown},
                      {Compression::kLzw, kPushCompressionLzw},
                      {Compression::kZlib, kPushCompressionZlib},
                      {Compression::kLzw, kPushCompressionLzw}};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.compression));
    Start(Compression::kNone, row.compression);
    handlers.pushes.clear();
    auto client = OpenedPushClient();
    // The clock record answers the opening frame; two more steps bring clock records again.
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 1; }, kPumpMs));
    PushMinute();
    PushMinute();
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 3; }, kPumpMs));
    ASSERT_GE(handlers.pushes.size(), 3u);
    for (const Handled& frame : handlers.pushes) {
      EXPECT_EQ(frame.type, 8);
      EXPECT_EQ(frame.body.size() % 128, 0u);
    }
    // The clock records carry the minutes the server's clock moved to, in order.
    std::vector<int> minutes;
    for (const Handled& frame : handlers.pushes) {
      if (frame.body.size() >= 128 && frame.body[0] == 0 && frame.body[1] == 0 && frame.body[116] == 0) {
        minutes.push_back(static_cast<std::uint8_t>(frame.body[2]) | static_cast<std::uint8_t>(frame.body[3]) << 8);
      }
    }
    ASSERT_GE(minutes.size(), 3u);
    for (std::size_t i = 1; i < minutes.size(); ++i) EXPECT_EQ(minutes[i], (minutes[i - 1] + 1) % 1440);
    EXPECT_EQ(PushDecompressMode, row.mode);
    EXPECT_EQ(lost.Total(), 0);
    client.reset();
    EXPECT_EQ(lost.Count(1), 1);
    lost.Clear();
  }
}

// The timing switches on the push connection, each under another compression: the clock
// records arrive whole and in order however the bytes are cut.
TEST_F(NetEndToEnd, PushTimingSwitchesDeliverEveryFrameInOrder) {
  struct Row {
    const char* fault;
    Compression compression;
  };
  const Row rows[] = {{"dribble@push", Compression::kLzw},
                      {"split=5@push", Compression::kZlib},
                      {"coalesce@push", Compression::kNone}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    Start(Compression::kNone, row.compression);
    On(row.fault);
    handlers.pushes.clear();
    auto client = OpenedPushClient();
    // The clock record answers the opening frame; each step a minute on brings another.
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return !ClockMinutes(handlers.pushes).empty(); }, kPumpMs));
    for (int step = 0; step < 4; ++step) PushMinute();
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return ClockMinutes(handlers.pushes).size() >= 5; }, kPumpMs));
    for (const Handled& frame : handlers.pushes) {
      EXPECT_EQ(frame.type, 8);
      EXPECT_EQ(frame.body.size() % 128, 0u);
    }
    const std::vector<int> minutes = ClockMinutes(handlers.pushes);
    ASSERT_GE(minutes.size(), 5u);
    for (std::size_t i = 1; i < minutes.size(); ++i) EXPECT_EQ(minutes[i], (minutes[i - 1] + 1) % 1440);
    EXPECT_NE(client->handle, -1);
    EXPECT_EQ(lost.Total(), 0);
    client.reset();
    EXPECT_EQ(lost.Count(1), 1);
    lost.Clear();
  }
}

TEST_F(NetEndToEnd, EveryFramingAndCompressionFaultClosesWithOneMessage) {
  struct Row {
    const char* fault;
    bool push;
    Compression compression;
  };
  const Row rows[] = {
      {"bad-magic@request", false, Compression::kNone},
      {"len-8193@request", false, Compression::kNone},
      {"index-eq-count@request", false, Compression::kNone},
      {"count-zero@request", false, Compression::kNone},
      {"hash-request", false, Compression::kNone},
      {"unknown-type", false, Compression::kNone},
      {"flag-on-plain@request", false, Compression::kNone},
      {"lzw-code-ahead@request", false, Compression::kLzw},
      {"lzw-widen-forever@request", false, Compression::kLzw},
      {"lzw-dict-overflow@request", false, Compression::kLzw},
      {"lzw-oversize@request", false, Compression::kLzw},
      {"zlib-garbage@request", false, Compression::kNone},
      {"zlib-oversize@request", false, Compression::kNone},
      {"bad-magic@push", true, Compression::kNone},
      {"len-8193@push", true, Compression::kNone},
      {"index-eq-count@push", true, Compression::kNone},
      {"count-zero@push", true, Compression::kNone},
      {"flag-on-plain@push", true, Compression::kNone},
      {"lzw-code-ahead@push", true, Compression::kLzw},
      {"lzw-widen-forever@push", true, Compression::kLzw},
      {"lzw-dict-overflow@push", true, Compression::kLzw},
      {"lzw-oversize@push", true, Compression::kLzw},
      {"zlib-garbage@push", true, Compression::kZlib},
      {"zlib-oversize@push", true, Compression::kZlib},
      {"drop=push-mid", true, Compression::kNone},
  };
  Start();
  // The reply handler knows every type but 250 (RecordingHandlers), as the dispatch would.
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    handlers.replies.clear();
    handlers.pushes.clear();
    lost.Clear();
    const LPARAM which = row.push ? 1 : 0;
    if (row.push) {
      On(row.fault);
      auto client = OpenedPushClient();
      EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return client->handle == -1; }, kPumpMs));
      EXPECT_TRUE(handlers.pushes.empty());
      EXPECT_EQ(client->receiveCount, 0);
      client.reset();
    } else {
      auto client = LoggedInClient();
      On(row.fault);
      ASSERT_TRUE(Queue(client.get(), kVersionRequest, std::string(4, '\0')));
      EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return client->handle == -1; }, kPumpMs));
      client.reset();
    }
    EXPECT_EQ(lost.Count(which), 1);
    EXPECT_EQ(lost.Total(), 1);
    const std::string text = row.fault;
    Off(text.substr(0, text.find_first_of("@=")));
  }
}

// lzw-truncated keeps the decoder's rule that a code cut by the end of the source ends the data:
// a cut body decodes to a prefix of what was sent, so each frame is handled with that prefix and
// the connection stays (no MsgConnectionLost), on both connections. The same connection then
// carries whole replies again.
TEST_F(NetEndToEnd, TruncatedLzwBodyIsHandledAsThePrefixItDecodesTo) {
  Start(Compression::kLzw, Compression::kLzw);
  const std::string body = BarsBody();
  const std::vector<std::string> whole = Reference(kBarsRequest, body);
  ASSERT_GT(whole.size(), 1u);
  auto client = LoggedInClient();
  On("lzw-truncated@request");
  ASSERT_TRUE(Queue(client.get(), kBarsRequest, body));
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil(
      [&] { return handlers.replies.size() >= whole.size() || client->handle == -1; }, kPumpMs));
  ASSERT_NE(client->handle, -1) << "a truncated body ends its data; it is no framing fault";
  ASSERT_EQ(handlers.replies.size(), whole.size());
  for (std::size_t i = 0; i < whole.size(); ++i) {
    const std::string& cut = handlers.replies[i].body;
    EXPECT_FALSE(cut.empty()) << "frame " << i;
    EXPECT_LT(cut.size(), whole[i].size()) << "frame " << i;
    EXPECT_EQ(whole[i].compare(0, cut.size(), cut), 0) << "frame " << i << " is no prefix of the reply";
  }
  Off("lzw-truncated");
  handlers.replies.clear();
  ASSERT_TRUE(Queue(client.get(), kBarsRequest, body));
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.replies.size() >= whole.size(); }, kPumpMs));
  ASSERT_EQ(handlers.replies.size(), whole.size());
  for (std::size_t i = 0; i < whole.size(); ++i) EXPECT_TRUE(handlers.replies[i].body == whole[i]) << "frame " << i;
  EXPECT_EQ(lost.Total(), 0);

  // The push connection: the clock record after the opening frame arrives cut, is handled, and
  // the mode becomes the LZW one; later whole records follow on the same connection.
  On("lzw-truncated@push");
  auto push = OpenedPushClient();
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return !handlers.pushes.empty() || push->handle == -1; }, kPumpMs));
  ASSERT_NE(push->handle, -1);
  ASSERT_EQ(handlers.pushes.size(), 1u);
  EXPECT_FALSE(handlers.pushes[0].body.empty());
  EXPECT_LT(handlers.pushes[0].body.size(), 128u);
  EXPECT_EQ(PushDecompressMode, kPushCompressionLzw);
  Off("lzw-truncated");
  PushMinute();
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 2; }, kPumpMs));
  ASSERT_GE(handlers.pushes.size(), 2u);
  EXPECT_EQ(handlers.pushes[1].body.size() % 128, 0u);
  EXPECT_NE(push->handle, -1);
  EXPECT_EQ(lost.Total(), 0);
}

TEST_F(NetEndToEnd, FinWithDataHandlesTheLastReplyBeforeClosing) {
  Start();
  auto client = LoggedInClient();
  std::vector<std::string> events;
  handlers.during = [&](const Handled&) { events.push_back(lost.Total() == 0 ? "reply" : "reply after lost"); };
  On("fin-with-data");
  ASSERT_TRUE(Queue(client.get(), kVersionRequest, std::string(4, '\0')));
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return client->handle == -1; }, kPumpMs));
  EXPECT_EQ(events, std::vector<std::string>{"reply"});
  EXPECT_EQ(lost.Count(0), 1);
  client.reset();
  EXPECT_EQ(lost.Total(), 1);
}

TEST_F(NetEndToEnd, SlowNetworkAsksOncePer45Minutes) {
  Start();
  zuvo::platform::ScopedDrivenClock clock;
  std::vector<int> asked;
  zuvo::net::ScopedRealtimeMessageRequest request([&](int which) { asked.push_back(which); });
  On("slow-net");
  auto client = OpenedPushClient();
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 1; }, kPumpMs));
  EXPECT_EQ(asked, std::vector<int>{3});
  for (int step = 0; step < 3; ++step) {
    clock.Advance(10 * 60 * 1000);   // 10, 20, 30 minutes
    PushMinute();
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 2u + step; }, kPumpMs));
  }
  EXPECT_EQ(asked.size(), 1u);
  clock.Advance(15 * 60 * 1000);   // 45 minutes after the first
  PushMinute();
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return handlers.pushes.size() >= 5; }, kPumpMs));
  EXPECT_EQ(asked, (std::vector<int>{3, 3}));
  for (const Handled& frame : handlers.pushes) EXPECT_EQ(frame.magic, '#');
  EXPECT_NE(client->handle, -1);
  EXPECT_EQ(lost.Total(), 0);
}

// A silent server: the blocking read of the login reply gives up after the socket's timeout,
// on the driven clock, as a broken connection would.
TEST_F(NetEndToEnd, SilentServerEndsABlockingReadInItsTimeout) {
  Start();
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(10000, 5000);
  zuvo::platform::ScopedDrivenClock clock;
  TNormalClnt client;
  ASSERT_EQ(client.Create(), 1);
  ASSERT_EQ(client.Connect("127.0.0.1", requestPort()), 1);
  On("silent");
  ASSERT_TRUE(Queue(&client, 3, quoteservertest::LoginBody("test", "pw", 2)));
  std::atomic<int> result{-2};
  std::atomic<int> error{0};
  std::thread reader([&] {
    result = client.ReadFrameHeader();
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  clock.Advance(4999);
  EXPECT_EQ(result.load(), -2);
  clock.Advance(1);
  reader.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(error.load(), WSAETIMEDOUT);
  client.Close();
}

}  // namespace
}  // namespace nettest
