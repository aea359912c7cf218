// What the push client sends, over scripted socket calls: the subscription frame and its body,
// the replacement of a subscription a slow link has not sent yet, the keep-alive, and the close
// when the send buffer has no room or the socket fails.
#include "net/NetTestSupport.h"

#include "net/PushRecords.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/WinSock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace nettest {
namespace {

struct SentFrame {
  FrameHeader header;
  std::string body;
};

// The frames in bytes a client sent (whole frames only).
std::vector<SentFrame> FramesOf(const std::string& bytes) {
  std::vector<SentFrame> frames;
  std::size_t at = 0;
  while (bytes.size() - at >= 10) {
    SentFrame frame;
    std::memcpy(&frame.header, bytes.data() + at, 10);
    if (bytes.size() - at - 10 < frame.header.length) break;
    frame.body = bytes.substr(at + 10, frame.header.length);
    frames.push_back(frame);
    at += 10 + frame.header.length;
  }
  return frames;
}

EArray<STKMS>* Keys(const std::vector<int>& indexes, int market = 1) {
  auto* list = new EArray<STKMS>();
  for (int index : indexes) list->Add(STKMS{static_cast<std::uint8_t>(market), static_cast<std::uint16_t>(index)});
  return list;
}

// The keys of a subscription body, by index, and its three trailing words.
struct Subscription {
  std::vector<int> indexes;
  int count;
  int newKeys;
  int flag;
};
Subscription Decode(const std::string& body) {
  EXPECT_EQ(body.size(), 774u);
  PushSubscriptionBody decoded;
  std::memcpy(&decoded, body.data(), sizeof decoded);
  Subscription s{{}, decoded.count, decoded.newKeys, decoded.flag};
  for (int k = 0; k < decoded.count && k < 256; ++k) s.indexes.push_back(decoded.keys[k].index);
  return s;
}

class PushClient : public testing::Test {
 protected:
  void TearDown() override { client.handle = -1; }

  LostRecorder lost;
  Scripted<TRealDataClnt> client;
};

TEST_F(PushClient, SubscriptionCarriesTheKeysInOrderAndTheCallersWords) {
  EArray<STKMS>* list = Keys({7, 3, 300});
  (*list)[1].market = 2;
  EXPECT_EQ(client.Subscribe(list, 2, true), 0);
  EXPECT_EQ(client.subscription.get(), list);
  const std::vector<SentFrame> frames = FramesOf(client.sent);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(client.sent.substr(0, 10), std::string("@\x64\x01\x00\x00\x00\x06\x03\x00\x00", 10));
  const std::string& body = frames[0].body;
  EXPECT_EQ(body.substr(0, 9), std::string("\x01\x07\x00\x02\x03\x00\x01\x2C\x01", 9));
  EXPECT_EQ(body.substr(9, 759), std::string(759, '\0'));
  EXPECT_EQ(body.substr(768), std::string("\x03\x00\x02\x00\x01\x00", 6));
  EXPECT_EQ(client.sendCount, 0);

  // A negative number of new keys and flag 0 pass as they are; the previous list is deleted
  // (the sanitizer sees a leak otherwise).
  EXPECT_EQ(client.Subscribe(Keys({1}), -1, false), 0);
  const Subscription second = Decode(FramesOf(client.sent).back().body);
  EXPECT_EQ(second.newKeys, -1);
  EXPECT_EQ(second.flag, 0);
  EXPECT_EQ(lost.Total(), 0);
}

TEST_F(PushClient, AnEmptySubscriptionIsZerosButTheNewKeysAndTheFlag) {
  for (EArray<STKMS>* list : {static_cast<EArray<STKMS>*>(nullptr), new EArray<STKMS>()}) {
    client.sent.clear();
    EXPECT_EQ(client.Subscribe(list, 0, true), 0);
    const std::vector<SentFrame> frames = FramesOf(client.sent);
    ASSERT_EQ(frames.size(), 1u);
    std::string expected(774, '\0');
    expected[772] = 1;
    EXPECT_EQ(frames[0].body, expected);
  }
}

TEST_F(PushClient, AListBeyond256KeysSendsTheFirst256) {
  std::vector<int> indexes;
  for (int i = 0; i < 300; ++i) indexes.push_back(i);
  EXPECT_EQ(client.Subscribe(Keys(indexes), 300, true), 0);
  const Subscription sent = Decode(FramesOf(client.sent).back().body);
  EXPECT_EQ(sent.count, 256);
  EXPECT_EQ(sent.indexes.back(), 255);
  EXPECT_EQ(sent.newKeys, 300);
}

// A slow link: the socket takes nothing. Page switch after page switch, the one unsent
// subscription is replaced, the connection stays, and the latest set goes once there is room.
TEST_F(PushClient, AnUnsentSubscriptionIsReplacedInsteadOfFillingTheBuffer) {
  client.sendRoom = 0;
  EXPECT_EQ(client.Subscribe(Keys({1, 2, 3}), 3, true), 0);
  EXPECT_EQ(client.SendHeartbeat(), 1);
  for (int page = 0; page < 5; ++page) EXPECT_EQ(client.Subscribe(Keys({10 + page, 1, 2, 3}), 1, true), 0);
  EXPECT_EQ(client.sendCount, 784 + 10);
  EXPECT_NE(client.handle, -1);
  EXPECT_EQ(lost.Total(), 0);

  client.sendRoom = 1 << 20;
  client.OnSend(0);
  const std::vector<SentFrame> frames = FramesOf(client.sent);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].header.type, 100);
  EXPECT_EQ(frames[1].header.type, 1);
  // The server never heard of 1, 2 and 3: they stay new behind the list's own new key.
  const Subscription latest = Decode(frames[0].body);
  EXPECT_EQ(latest.indexes, (std::vector<int>{14, 1, 2, 3}));
  EXPECT_EQ(latest.newKeys, 4);
  EXPECT_EQ(client.subscription->GetSize(), 4);
}

TEST_F(PushClient, AReplacementKeepsOnlyTheReplacedNewKeysTheListStillHolds) {
  client.sendRoom = 0;
  EXPECT_EQ(client.Subscribe(Keys({5, 6, 7, 8}), 2, true), 0);   // 5 and 6 new
  EXPECT_EQ(client.Subscribe(Keys({9, 8, 7, 6}), 1, true), 0);   // 9 new; 6 still there, 5 gone
  client.sendRoom = 1 << 20;
  client.OnSend(0);
  const Subscription latest = Decode(FramesOf(client.sent).back().body);
  EXPECT_EQ(latest.indexes, (std::vector<int>{9, 6, 8, 7}));
  EXPECT_EQ(latest.newKeys, 2);
  EXPECT_EQ(latest.count, 4);
  EXPECT_EQ((*client.subscription)[1].index, 8) << "the list itself is kept as given";
}

// A subscription the socket has taken in part cannot be replaced: the next one queues behind
// it, and that one is replaced from then on.
TEST_F(PushClient, APartlySentSubscriptionGoesWholeAndTheNextIsReplaced) {
  client.sendRoom = 100;
  EXPECT_EQ(client.Subscribe(Keys({1}), 1, true), 0);
  EXPECT_EQ(client.sendCount, 684);
  for (int page = 0; page < 4; ++page) EXPECT_EQ(client.Subscribe(Keys({20 + page}), 1, true), 0);
  EXPECT_EQ(client.sendCount, 684 + 784);
  client.sendRoom = 1 << 20;
  client.OnSend(0);
  const std::vector<SentFrame> frames = FramesOf(client.sent);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(Decode(frames[0].body).indexes, std::vector<int>{1});
  EXPECT_EQ(Decode(frames[1].body).indexes, std::vector<int>{23});
  EXPECT_EQ(Decode(frames[1].body).newKeys, 1) << "the replaced frames' keys are gone from the list";
  EXPECT_EQ(lost.Total(), 0);
}

TEST_F(PushClient, NoRoomEvenForAReplacementCloses) {
  struct Row {
    const char* what;
    int sendRoom;
    int sendError;
    int heartbeatsFirst;   // keep-alives queued before the subscription
    int result;
  };
  const Row rows[] = {
      {"room for one more", 0, WSAEWOULDBLOCK, 120, 0},
      {"a full buffer", 0, WSAEWOULDBLOCK, 127, -1},
      {"a subscription partly sent, then a full buffer", 100, WSAEWOULDBLOCK, 0, -1},
      {"a send error", 0, WSAECONNRESET, 0, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Scripted<TRealDataClnt> slow;
    slow.sendRoom = row.sendRoom;
    slow.sendError = row.sendError;
    if (row.sendRoom > 0) {
      ASSERT_EQ(slow.Subscribe(Keys({1}), 1, true), 0);
      while (slow.sendCount + 10 <= kSendBufferBytes - 700) ASSERT_EQ(slow.SendHeartbeat(), 1);
    }
    for (int i = 0; i < row.heartbeatsFirst; ++i) ASSERT_EQ(slow.SendHeartbeat(), 1);
    EXPECT_EQ(slow.Subscribe(Keys({2}), 1, true), row.result);
    EXPECT_EQ(slow.handle == -1, row.result == -1);
    EXPECT_EQ(lost.Count(1), row.result == -1 ? 1 : 0);
    slow.handle = -1;
    lost.Clear();
  }
}

TEST_F(PushClient, KeepAliveIsAnEmptyTypeOneFrameAndClosesWhenItCannotGo) {
  zuvo::platform::ScopedDrivenClock clock;
  client.lastTraffic = GetTickCount();
  clock.Advance(9999);
  EXPECT_FALSE(client.KeepAliveDue());
  clock.Advance(1);
  EXPECT_TRUE(client.KeepAliveDue());
  EXPECT_EQ(client.SendHeartbeat(), 1);
  EXPECT_EQ(client.sent, std::string("@\x01\x01\x00\x00\x00\x00\x00\x00\x00", 10));
  EXPECT_EQ(client.lastTraffic, GetTickCount());
  EXPECT_FALSE(client.KeepAliveDue());

  // A full buffer, then a send error: both close, once each.
  client.sendRoom = 0;
  while (client.sendCount + 10 <= kSendBufferBytes) ASSERT_EQ(client.SendHeartbeat(), 1);
  EXPECT_EQ(client.SendHeartbeat(), 0);
  EXPECT_EQ(client.handle, -1);
  EXPECT_EQ(lost.Count(1), 1);

  Scripted<TRealDataClnt> broken;
  broken.sendRoom = 0;
  broken.sendError = WSAECONNRESET;
  EXPECT_EQ(broken.SendHeartbeat(), 0);
  EXPECT_EQ(broken.handle, -1);
  EXPECT_EQ(lost.Count(1), 2);
}

}  // namespace
}  // namespace nettest
