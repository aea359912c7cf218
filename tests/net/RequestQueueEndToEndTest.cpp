// The request queue over real loopback TCP against the local quote server, in-process: the
// client logs in with a login frame built by BuildRequestFrame, every last frame of a reply is
// handed to CompleteRequest, and the server's timing switches (stall, skip, late, error,
// reorder) meet the queue's rules. The queue's tick is driven; so is the server's ticker.
#include "net/NetTestSupport.h"
#include "net/RequestFrames.h"
#include "net/RequestQueue.h"

#include "MarketModel.h"
#include "core/GuardedAlloc.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "platform/DrivenClock.h"
#include "platform/Message.h"
#include "quoteserver/ServerFixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nettest {
namespace {

using zuvo::quoteserver::ServerConfig;

// A reply as the queue saw it: its type, and what CompleteRequest made of it.
struct Completion {
  std::uint8_t type;
  int subKind;
  bool late;       // IsLateReply on the reply's first frame
  int inFlightAfter;
};

RequestRecord Make(std::uint8_t kind, int market = 0) {
  RequestRecord r;
  r.kind = kind;
  r.market = static_cast<std::uint16_t>(market);
  return r;
}

class RequestQueueEndToEnd : public quoteservertest::ServerTest {
 protected:
  void SetUp() override {
    NewsIndex.NewsCatchUpFlag = 0;
    ResetRequestQueue();
  }
  void TearDown() override {
    ResetRequestQueue();
    NormalClnt = nullptr;
    client_.reset();
    quoteservertest::ServerTest::TearDown();
  }

  void Start() {
    ServerConfig config = SampleConfig();
    config.timedPush = false;
    StartServer(config, DrivenTicker());
  }
  void On(const std::string& fault) { ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on"); }
  void Off(const std::string& fault) { server_->Command("fault -" + fault); }

  // Logs in (one stage) with the frame built here, then makes the client asynchronous and the
  // queue's client.
  void Connect() {
    client_ = std::make_unique<TNormalClnt>();
    ASSERT_EQ(client_->Create(), 1);
    ASSERT_EQ(client_->Connect("127.0.0.1", requestPort()), 1);
    RequestRecord login = Make(kRequestLogin);
    std::strcpy(login.text, "test");
    std::strcpy(login.code, "pw");
    login.value1 = 1;   // network line
    login.value2 = 2;   // one-stage login
    ASSERT_EQ(BuildRequestFrame(client_.get(), &login), 74);
    ASSERT_EQ(client_->ReadFrameHeader(), 1);
    ASSERT_GE(client_->ReadFrameBody(), 0);
    ASSERT_EQ(int{client_->header.type}, 3);
    ASSERT_EQ(client_->StartAsync(), 1);
    ResetRequestQueue();
    NormalClnt = client_.get();
  }

  // Pumps until `n` replies have been completed (or handed over as late).
  void AwaitCompletions(std::size_t n) {
    ASSERT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return completions_.size() >= n; }, 20000));
  }
  // Lets the server's held replies fall due.
  void ServerTime(std::int64_t milliseconds) {
    ticks_ += milliseconds;
    server_->Tick();
  }
  static zuvo::net::RequestQueueState State() { return zuvo::net::GetRequestQueueState(); }
  std::uint64_t Received(std::uint8_t type) {
    std::uint64_t total = 0;
    for (const auto& connection : server_->Connections()) total += connection.received[type];
    return total;
  }
  std::vector<std::uint8_t> Types() const {
    std::vector<std::uint8_t> types;
    for (const Completion& c : completions_) types.push_back(c.type);
    return types;
  }

  zuvo::platform::ScopedDrivenClock clock_;
  LostRecorder lost_;
  std::unique_ptr<TNormalClnt> client_;
  std::vector<Completion> completions_;
  bool lateAtFirstFrame_ = false;
  // The dispatch's part: the sub-kind of types 15 and 16 from body byte 0, the late mark asked on
  // the first frame, CompleteRequest on the last.
  zuvo::net::ScopedReplyHandler handler_{[this](TNormalClnt* client, const std::uint8_t* body, int length) {
    const FrameHeader& header = client->header;
    const int subKind = (header.type == 15 || header.type == 16) && length > 0 ? body[0] : kNoSubKind;
    if (header.index == 0) lateAtFirstFrame_ = IsLateReply(header.type, subKind);
    if (header.index + 1 == header.count) {
      const bool late = lateAtFirstFrame_;
      CompleteRequest(header, subKind);
      completions_.push_back({header.type, subKind, late, State().inFlight});
      EXPECT_LE(State().inFlight, kMaxRequestsInFlight);
    }
    return 0;
  }};
};

RequestRecord WithCode(std::uint8_t kind, int market, const char* code, int param = 0) {
  RequestRecord r = Make(kind, market);
  std::strcpy(r.code, code);
  r.param = param;
  return r;
}

TEST_F(RequestQueueEndToEnd, AStreamOfMixedRequestsKeepsTwoInFlightAndCompletesInOrder) {
  Start();
  Connect();
  // Replies of one frame and of many (every day bar since the model's first day), owned key
  // lists and arrays, and a sort on a column the server has no code for, refused on the way in
  // while the connection stays.
  RequestRecord dayBars = WithCode(kRequestDayBars, 0, "600100", kBarFileDay);
  dayBars.value1 = zuvo::model::kModelEpoch;
  RequestRecord snapshot = Make(kRequestSnapshot);
  snapshot.keyList = new EArray<STKMS>();
  snapshot.keyList->Add({0, 2});
  snapshot.keyList->Add({0, 3});
  const auto sort = [](int column) {
    RequestRecord r = Make(kRequestServerSort);
    r.param = column;
    r.requester = static_cast<std::uint32_t>(column);
    r.value1 = 2;
    r.keyArray = static_cast<STKMS*>(GuardedAlloc(2 * sizeof(STKMS)));
    r.keyArray[0] = {0, 2};
    r.keyArray[1] = {0, 3};
    return r;
  };
  const RequestRecord requests[] = {
      Make(kRequestSystemMessage), dayBars, Make(kRequestNameTable), WithCode(kRequestTicks, 0, "600300"),
      sort(34), snapshot, sort(14), Make(kRequestNotesList), WithCode(kRequestTradeDetails, 0, "600100", 1),
      Make(kRequestNews), Make(kRequestRealtimeMessage),
  };
  for (const RequestRecord& r : requests) EnqueueRequest(r);
  EXPECT_EQ(State().inFlight, 2);
  EXPECT_EQ(State().pending, 8);
  AwaitCompletions(10);
  EXPECT_EQ(Types(), (std::vector<std::uint8_t>{203, 12, 6, 20, 9, 101, 16, 10, 15, 204}));
  for (const Completion& c : completions_) EXPECT_FALSE(c.late);
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(State().finished, 10);
  EXPECT_EQ(lost_.Total(), 0);
  EXPECT_EQ(Received(12), 1u);
}

TEST_F(RequestQueueEndToEnd, AStalledServerKeepsTheRestQueuedBehind) {
  Start();
  Connect();
  On("stall=5000");
  for (int i = 0; i < 3; ++i) EnqueueRequest(Make(kRequestSystemMessage));
  EXPECT_EQ(State().inFlight, 2);
  EXPECT_EQ(State().pending, 1);
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, 203, 2, 20000));
  ServerTime(5000);
  AwaitCompletions(2);
  // The first reply sent the third request; it is stalled in its turn.
  EXPECT_EQ(State().inFlight, 1);
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, 203, 3, 20000));
  ServerTime(5000);
  AwaitCompletions(3);
  EXPECT_EQ(State().count, 0);
}

TEST_F(RequestQueueEndToEnd, UnansweredRequestsExpireAt20SecondsAndLetTheNextTwoGo) {
  Start();
  Connect();
  On("skip=20");   // tick requests (wire 20) are never answered
  EnqueueRequest(WithCode(kRequestTicks, 0, "600300"));
  EnqueueRequest(WithCode(kRequestTicks, 0, "600301"));
  EnqueueRequest(Make(kRequestSystemMessage));
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, 20, 2, 20000));
  clock_.Advance(19999);
  EnqueueRequest(Make(kRequestRealtimeMessage));
  EXPECT_EQ(State().inFlight, 2);
  EXPECT_EQ(State().pending, 2);
  // At 20 s the next request expires both and sends the two waiting.
  clock_.Advance(1);
  EnqueueRequest(Make(kRequestNotesList));
  EXPECT_EQ(State().inFlight, 2);
  EXPECT_EQ(State().pending, 1);
  AwaitCompletions(3);
  EXPECT_EQ(Types(), (std::vector<std::uint8_t>{203, 204, 16}));
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(State().finished, 5);
  EXPECT_EQ(lost_.Total(), 0);
}

TEST_F(RequestQueueEndToEnd, ALateNoteAfterItsRequestExpiredCompletesNothing) {
  Start();
  // A note the server knows, from its notes list.
  const quoteservertest::Reply list = Ask(16, std::string(10, '\0'));
  ASSERT_EQ(list.type, 16);
  const std::string entries = list.Data(2);
  ASSERT_GE(entries.size(), sizeof(zuvo::model::NoteEntry));
  const std::string noteName(entries.c_str() + offsetof(zuvo::model::NoteEntry, fileName));
  RequestRecord note = Make(kRequestNote);
  std::strncpy(note.text, noteName.c_str(), 15);

  Connect();
  On("late=16");
  EnqueueRequest(note);
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, 16, 1, 20000));
  clock_.Advance(20000);
  ExpireRequests();
  EXPECT_EQ(zuvo::net::LateRepliesOwed(16, kNoteReply), 1);
  // The same note asked again; the server holds its reply behind the first.
  EnqueueRequest(note);
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, 16, 2, 20000));
  server_->ReleaseHeld();
  AwaitCompletions(2);
  // The first reply is the expired request's: late, and the second request keeps its place
  // until its own reply completes it.
  EXPECT_TRUE(completions_[0].late);
  EXPECT_EQ(completions_[0].inFlightAfter, 1);
  EXPECT_FALSE(completions_[1].late);
  EXPECT_EQ(completions_[1].inFlightAfter, 0);
  EXPECT_EQ(completions_[1].subKind, kNoteReply);
}

TEST_F(RequestQueueEndToEnd, AnErrorReplyCompletesItsRequestQuietly) {
  Start();
  Connect();
  On("error=6:0");    // name tables
  On("error=12:0");   // bars
  EnqueueRequest(Make(kRequestNameTable));
  EnqueueRequest(WithCode(kRequestIntradayBars, 0, "600100", kBarFile5Min));
  EnqueueRequest(Make(kRequestSystemMessage));
  AwaitCompletions(3);
  EXPECT_EQ(Types(), (std::vector<std::uint8_t>{kErrorReplyType, kErrorReplyType, 203}));
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(lost_.Total(), 0);
  EXPECT_NE(client_->handle, -1);
}

TEST_F(RequestQueueEndToEnd, ReorderedRepliesCompleteOnlyTheirOwnRequest) {
  Start();
  Connect();
  On("reorder");
  EnqueueRequest(Make(kRequestSystemMessage));
  EnqueueRequest(Make(kRequestRealtimeMessage));
  AwaitCompletions(2);
  // The second request's reply came first: it completed nothing; the first then completed on
  // its own reply, and the second waits in flight for a reply that has gone.
  EXPECT_EQ(Types(), (std::vector<std::uint8_t>{204, 203}));
  EXPECT_EQ(completions_[0].inFlightAfter, 2);
  EXPECT_EQ(completions_[1].inFlightAfter, 1);
  clock_.Advance(20000);
  ExpireRequests();
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(State().finished, 2);
}

}  // namespace
}  // namespace nettest
