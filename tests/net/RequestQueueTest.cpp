// The request queue on a driven tick with a scripted client: what is sent when, which repeats
// are refused or merged, expiry across the tick counter's wrap, a full ring, replies and error
// replies, the news catch-up and trend error messages, late replies of expired requests, and
// the owned key lists and arrays released exactly once on every path (the sanitizers' leak and
// double-free reports check that).
#include "net/NetTestSupport.h"
#include "net/RequestQueue.h"

#include "core/GuardedAlloc.h"
#include "data/MarketTestUtil.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "platform/DrivenClock.h"
#include "platform/Message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using nettest::ScriptedRequest;

// ---- What the main window hears ----------------------------------------------------------------

struct Heard {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string block;   // the 8 bytes a trend error's lParam points to, copied while it is sent
};
std::vector<Heard> heard;

LRESULT RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgServerData || message == MsgConnectionLost) {
    Heard entry{message, wParam, lParam, {}};
    if (message == MsgServerData && (wParam >> 16) == 31) entry.block.assign(reinterpret_cast<const char*>(lParam), 8);
    heard.push_back(entry);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class MainWindowRecorder {
 public:
  MainWindowRecorder() {
    static bool registered = false;
    if (!registered) {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = &RecorderProc;
      windowClass.lpszClassName = "RequestQueueTestMain";
      RegisterClassA(&windowClass);
      registered = true;
    }
    window_ = CreateWindowExA(0, "RequestQueueTestMain", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    installed_ = std::make_unique<zuvo::net::ScopedMainWindow>(window_);
    heard.clear();
  }
  ~MainWindowRecorder() {
    installed_.reset();
    zuvo::platform::ProcessPendingMessages();
    DestroyWindow(window_);
    heard.clear();
  }
  // Everything heard so far, posts included; then forgotten.
  std::vector<Heard> Take() {
    zuvo::platform::ProcessPendingMessages();
    std::vector<Heard> taken;
    taken.swap(heard);
    return taken;
  }
  int CountServerData(int code) {
    int n = 0;
    for (const Heard& h : Take()) n += h.message == MsgServerData && static_cast<int>(h.wParam >> 16) == code;
    return n;
  }

 private:
  HWND window_ = nullptr;
  std::unique_ptr<zuvo::net::ScopedMainWindow> installed_;
};

// ---- Records --------------------------------------------------------------------------------------

// Copies at most `most` bytes of `from` (fewer when the field is shorter) and terminates.
template <std::size_t N>
void CopyCut(char (&to)[N], const char* from, std::size_t most) {
  const std::size_t n = strnlen(from, std::min(most, N - 1));
  std::memcpy(to, from, n);
  to[n] = '\0';
}

RequestRecord Make(std::uint8_t kind, const char* code = "", int market = 1, std::uint32_t requester = 0) {
  RequestRecord r;
  r.kind = kind;
  r.market = static_cast<std::uint16_t>(market);
  CopyCut(r.code, code, sizeof r.code - 1);
  r.requester = requester;
  return r;
}
RequestRecord Ticks(const char* code, int market = 1) { return Make(kRequestTicks, code, market); }
RequestRecord Broker(const char* code) { return Make(kRequestBrokerQueue, code); }
RequestRecord Bars(int kind, const char* code, std::uint32_t requester, int file = kBarFileDay) {
  RequestRecord r = Make(static_cast<std::uint8_t>(kind), code, 1, requester);
  r.param = file;
  return r;
}
RequestRecord NewsList(int category, bool older = false, std::uint32_t id = 0) {
  RequestRecord r = Make(kRequestNews, "", category);
  r.param = kNewsList;
  r.value2 = older ? 1 : 0;
  r.value1 = id;
  return r;
}
RequestRecord NewsText(std::uint32_t id) {
  RequestRecord r = Make(kRequestNews, "", 0);
  r.param = kNewsText;
  r.value1 = id;
  return r;
}
RequestRecord Note(const char* name) {
  RequestRecord r = Make(kRequestNote, "", 1);
  CopyCut(r.text, name, 15);
  return r;
}
RequestRecord Sort(int column, std::uint32_t requester, std::initializer_list<STKMS> keys = {}, int purpose = 0) {
  RequestRecord r = Make(kRequestServerSort, "", purpose, requester);
  r.param = column;
  r.value3 = requester * 10;
  if (keys.size() > 0) {
    r.keyArray = static_cast<STKMS*>(GuardedAlloc(static_cast<std::uint32_t>(sizeof(STKMS) * keys.size())));
    int at = 0;
    for (const STKMS& key : keys) r.keyArray[at++] = key;
    r.value1 = static_cast<std::uint32_t>(keys.size());
  }
  return r;
}
RequestRecord Snapshot(std::initializer_list<STKMS> keys) {
  RequestRecord r = Make(kRequestSnapshot);
  r.keyList = new EArray<STKMS>();
  for (const STKMS& key : keys) r.keyList->Add(key);
  return r;
}

FrameHeader Reply(std::uint8_t type) {
  FrameHeader header{};
  header.magic = '@';
  header.type = type;
  header.count = 1;
  return header;
}

// ---- The fixture -----------------------------------------------------------------------------------

constexpr DWORD kStartTicks = 5000000;

class RequestQueueTest : public testing::Test {
 protected:
  RequestQueueTest() : clock_(zuvo::platform::ScopedDrivenClock::kDefaultUtcMilliseconds, 480, kStartTicks) {}

  void SetUp() override {
    NewsIndex.NewsCatchUpFlag = 0;
    ResetRequestQueue();
    NormalClnt = &client_;
    recorder_.Take();
  }
  void TearDown() override {
    NewsIndex.NewsCatchUpFlag = 0;
    ResetRequestQueue();
    NormalClnt = nullptr;
  }

  // The frames sent since the last call, each as "type" or "type:code" for the kinds that carry
  // an instrument code (ticks 20, broker queue 102, bars 12).
  std::vector<std::string> Sent() {
    std::vector<std::string> frames;
    const std::string& bytes = client_.sent;
    for (std::size_t at = 0; at + 10 <= bytes.size();) {
      const auto type = static_cast<std::uint8_t>(bytes[at + 1]);
      const std::size_t length = static_cast<std::uint8_t>(bytes[at + 6]) | static_cast<std::uint8_t>(bytes[at + 7]) << 8;
      const std::string body = bytes.substr(at + 10, length);
      std::string label = std::to_string(type);
      const int codeAt = type == 20 || type == 12 ? 2 : type == 102 ? 1 : -1;
      if (codeAt >= 0) label.append(":").append(body.c_str() + codeAt);
      frames.push_back(label);
      at += 10 + length;
    }
    client_.sent.clear();
    return frames;
  }
  static int Complete(std::uint8_t type, int subKind = kNoSubKind) { return CompleteRequest(Reply(type), subKind); }
  static zuvo::net::RequestQueueState State() { return zuvo::net::GetRequestQueueState(); }

  zuvo::platform::ScopedDrivenClock clock_;
  ScriptedRequest client_;
  MainWindowRecorder recorder_;
};

using Strings = std::vector<std::string>;

TEST_F(RequestQueueTest, TwoGoAtOnceAndEachReplySendsTheNext) {
  EnqueueRequest(Broker("A"));
  EnqueueRequest(Broker("B"));
  EnqueueRequest(Broker("C"));
  EXPECT_EQ(Sent(), (Strings{"102:A", "102:B"}));
  EXPECT_EQ(State().pending, 1);
  EXPECT_EQ(Complete(102), 0);
  EXPECT_EQ(Sent(), (Strings{"102:C"}));
  EXPECT_EQ(State().count, 2);
  EXPECT_EQ(State().finished, 1);
}

TEST_F(RequestQueueTest, RepeatsAreRefusedMergedOrAccepted) {
  // Two requests without a repeat rule fill the flight, so what follows waits as pending.
  const auto fillFlight = [] {
    EnqueueRequest(Make(kRequestSystemMessage));
    EnqueueRequest(Make(kRequestRealtimeMessage));
  };
  struct Case {
    const char* name;
    std::function<void()> before;
    std::function<RequestRecord()> next;
    int countChange;   // +1 stored, 0 refused or taken in place
    std::function<void()> check;
  };
  const Case cases[] = {
      {"ticks for X while X is in flight: refused", [] { EnqueueRequest(Ticks("X")); }, [] { return Ticks("X"); }, 0, {}},
      {"ticks for X in another market: stored", [] { EnqueueRequest(Ticks("X")); }, [] { return Ticks("X", 2); }, 1, {}},
      {"ticks for X within 1000 ms of X's reply: refused",
       [this] {
         EnqueueRequest(Ticks("X"));
         Complete(20);
         clock_.Advance(999);
       },
       [] { return Ticks("X"); }, 0, {}},
      {"ticks for X 1000 ms after X's reply: stored",
       [this] {
         EnqueueRequest(Ticks("X"));
         Complete(20);
         clock_.Advance(1000);
       },
       [] { return Ticks("X"); }, 1, {}},
      {"newest trades within 1000 ms of their reply: stored (no finished rule)",
       [] {
         EnqueueRequest(Make(kRequestRecentTrades, "X"));
         Complete(11);
       },
       [] { return Make(kRequestRecentTrades, "X"); }, 1, {}},
      {"bars of requester 7 for X while its Y is pending: Y replaced in its slot",
       [&] {
         fillFlight();
         EnqueueRequest(Bars(kRequestDayBars, "Y", 7));
         EnqueueRequest(Broker("Z"));
       },
       [] { return Bars(kRequestDayBars, "X", 7); }, 0,
       [] {
         const auto state = State();
         EXPECT_STREQ(zuvo::net::RequestQueueSlot(state.sendPos).code, "X");
         EXPECT_STREQ(zuvo::net::RequestQueueSlot(state.sendPos + 1).code, "Z");
       }},
      {"the same bars from requester 9: refused",
       [&] {
         fillFlight();
         EnqueueRequest(Bars(kRequestDayBars, "X", 7));
       },
       [] { return Bars(kRequestDayBars, "X", 9); }, 0, {}},
      {"intraday and day bars are one group: refused",
       [&] {
         fillFlight();
         EnqueueRequest(Bars(kRequestDayBars, "X", 7, kBarFile5Min));
       },
       [] { return Bars(kRequestIntradayBars, "X", 9, kBarFile5Min); }, 0, {}},
      {"other bar file of X from another requester: stored",
       [&] {
         fillFlight();
         EnqueueRequest(Bars(kRequestDayBars, "X", 7));
       },
       [] { return Bars(kRequestIntradayBars, "X", 9, kBarFile1Min); }, 1, {}},
      {"news list of category 3 while one of 5 is pending: replaces it",
       [&] {
         fillFlight();
         EnqueueRequest(NewsList(5));
       },
       [] { return NewsList(3); }, 0,
       [] { EXPECT_EQ(zuvo::net::RequestQueueSlot(State().sendPos).market, 3); }},
      {"news list while a news list is in flight: refused", [] { EnqueueRequest(NewsList(5)); },
       [] { return NewsList(3, true, 99); }, 0, {}},
      {"news text while a news list is in flight: stored", [] { EnqueueRequest(NewsList(5)); },
       [] { return NewsText(7); }, 1, {}},
      {"sort of requester 4 while its sort is pending: replaces it",
       [&] {
         fillFlight();
         EnqueueRequest(Sort(2, 4, {{1, 1}}));
       },
       [] { return Sort(3, 4, {{1, 2}, {1, 3}}); }, 0,
       [] { EXPECT_EQ(zuvo::net::RequestQueueSlot(State().sendPos).param, 3); }},
      {"sort of another requester: stored",
       [&] {
         fillFlight();
         EnqueueRequest(Sort(2, 4, {{1, 1}}));
       },
       [] { return Sort(2, 5, {{1, 1}}); }, 1, {}},
      {"a past day's trend of another day: stored",
       [] {
         RequestRecord day = Make(kRequestDayTrend, "X");
         day.value1 = 100;
         EnqueueRequest(day);
       },
       [] {
         RequestRecord day = Make(kRequestDayTrend, "X");
         day.value1 = 101;
         return day;
       },
       1, {}},
      {"information text of another section: stored",
       [] {
         RequestRecord text = Make(kRequestInfoText, "X");
         std::strcpy(text.text, "a");
         EnqueueRequest(text);
       },
       [] {
         RequestRecord text = Make(kRequestInfoText, "X");
         std::strcpy(text.text, "b");
         return text;
       },
       1, {}},
      {"broker queue twice: stored (no repeat rule)", [] { EnqueueRequest(Broker("X")); }, [] { return Broker("X"); },
       1, {}},
      {"snapshot of keys all pending elsewhere: stored with an empty list",
       [&] {
         fillFlight();
         EnqueueRequest(Snapshot({{1, 1}, {1, 2}}));
       },
       [] { return Snapshot({{1, 2}, {1, 1}}); }, 1,
       [] {
         const auto state = State();
         EXPECT_EQ(zuvo::net::RequestQueueSlot(state.writePos - 1).keyList->GetSize(), 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRequestQueue();
    c.before();
    const int countBefore = State().count;
    EnqueueRequest(c.next());
    EXPECT_EQ(State().count - countBefore, c.countChange);
    if (c.check) c.check();
  }
}

TEST_F(RequestQueueTest, RepeatsAreFoundWhereverTheRegionsLieInTheRing) {
  // The searches walk the ring newest first in blocks; the regions may wrap past slot 255 and
  // the deciding slot may be the oldest of its region, at any offset.
  for (int start : {0, 1, 15, 16, 17, 200, 230, 240, 255}) {
    SCOPED_TRACE(start);
    ResetRequestQueue();
    for (int i = 0; i < start; ++i) {
      EnqueueRequest(Make(kRequestSystemMessage));
      Complete(203);
    }
    clock_.Advance(1000);   // the finished ones are out of the repeat window
    EnqueueRequest(Ticks("F0"));
    EnqueueRequest(Ticks("F1"));
    for (int i = 0; i < 40; ++i) {
      RequestRecord r = Ticks((std::string("P") + std::to_string(i)).c_str());
      r.requester = 1000 + static_cast<std::uint32_t>(i);
      EnqueueRequest(r);
    }
    ASSERT_EQ(State().pending, 40);
    const int count = State().count;
    // The oldest pending target, from another requester: refused.
    RequestRecord again = Ticks("P0");
    again.requester = 1;
    EnqueueRequest(again);
    EXPECT_EQ(State().count, count);
    // The oldest request in flight: refused.
    again = Ticks("F0");
    again.requester = 2;
    EnqueueRequest(again);
    EXPECT_EQ(State().count, count);
    // A new target of the oldest pending request's requester takes its slot.
    RequestRecord replacing = Ticks("NEW");
    replacing.requester = 1000;
    EnqueueRequest(replacing);
    EXPECT_EQ(State().count, count);
    EXPECT_STREQ(zuvo::net::RequestQueueSlot(State().sendPos).code, "NEW");
    // A target nobody asked for, from a new requester: stored.
    RequestRecord fresh = Ticks("P0");
    fresh.requester = 3;
    EnqueueRequest(fresh);
    EXPECT_EQ(State().count, count + 1);
    // Answered ticks within their 1000 ms: the oldest finished one refuses its repeat.
    Complete(20);
    again = Ticks("F0");
    again.requester = 4;
    EnqueueRequest(again);
    EXPECT_EQ(State().count, count);
  }
}

TEST_F(RequestQueueTest, AnEmptiedSnapshotIsWithdrawnUnsentAtItsTurn) {
  EnqueueRequest(Make(kRequestSystemMessage));
  EnqueueRequest(Make(kRequestRealtimeMessage));
  EnqueueRequest(Snapshot({{1, 1}}));
  EnqueueRequest(Snapshot({{1, 1}}));   // emptied: its key waits in the first
  EnqueueRequest(Broker("B"));
  EXPECT_EQ(Sent(), (Strings{"203", "204"}));
  Complete(203);
  Complete(204);
  // The first snapshot and, past the withdrawn one, the broker queue.
  EXPECT_EQ(Sent(), (Strings{"9", "102:B"}));
  EXPECT_EQ(State().inFlight, 2);
}

TEST_F(RequestQueueTest, WithdrawnSlotsNeverCountAsInFlight) {
  EnqueueRequest(Broker("A"));
  EnqueueRequest(Snapshot({}));
  EnqueueRequest(Snapshot({}));
  // [A, W, W]: one request in flight, so the next goes at once.
  EnqueueRequest(Broker("B"));
  EXPECT_EQ(Sent(), (Strings{"102:A", "102:B"}));
  EXPECT_EQ(State().inFlight, 2);
  EXPECT_EQ(State().inFlightSlots, 4);
  // A answered: the withdrawn slots behind it leave the flight with it.
  Complete(102);
  EXPECT_EQ(State().inFlightSlots, 1);
  EXPECT_STREQ(zuvo::net::RequestQueueSlot(State().inFlightStart).code, "B");
  EnqueueRequest(Broker("C"));
  EnqueueRequest(Broker("D"));
  EXPECT_EQ(Sent(), (Strings{"102:C"}));
  Complete(102);
  EXPECT_EQ(Sent(), (Strings{"102:D"}));
}

TEST_F(RequestQueueTest, AnsweredWithWithdrawnSlotsBehindDoesNotBlockThePending) {
  EnqueueRequest(Broker("A"));
  EnqueueRequest(Broker("B"));
  EnqueueRequest(Snapshot({}));
  EnqueueRequest(Snapshot({}));
  EnqueueRequest(Broker("C"));
  EXPECT_EQ(Sent(), (Strings{"102:A", "102:B"}));
  Complete(102);
  // B is in flight; the two withdrawn slots after it are passed and C goes.
  EXPECT_EQ(Sent(), (Strings{"102:C"}));
  Complete(102);
  Complete(102);
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(State().inFlightSlots, 0);
}

TEST_F(RequestQueueTest, SnapshotKeysAlreadyFilledAreNotAskedFor) {
  markettest::ScopedMarkets markets;
  TMarketData* table = markets.Add(1, markettest::MakeRecord("SH"),
                                   {markettest::MakeInstrument("600000"), markettest::MakeInstrument("600001")});
  ASSERT_NE(table->extras, nullptr);
  table->extras[0].filled = 1;
  EnqueueRequest(Snapshot({{1, 0}, {1, 1}, {9, 3}}));
  const std::string& bytes = client_.sent;
  ASSERT_EQ(bytes.size(), 780u);
  // Instrument 1 and the key of an unknown market go; instrument 0 is filled.
  EXPECT_EQ(bytes.substr(10, 6), std::string("\x01\x01\x00\x09\x03\x00", 6));
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[10 + 768]), 2);

  // A list whose every key is filled is withdrawn unsent.
  client_.sent.clear();
  table->extras[1].filled = 1;
  EnqueueRequest(Snapshot({{1, 0}, {1, 1}}));
  EXPECT_EQ(client_.sent, "");
  EXPECT_EQ(State().inFlight, 1);
}

TEST_F(RequestQueueTest, RequestsInFlightExpireAfter20SecondsAcrossTheTickWrap) {
  // Start 5 s before the 32-bit tick counter wraps.
  zuvo::platform::ScopedDrivenClock nearWrap(zuvo::platform::ScopedDrivenClock::kDefaultUtcMilliseconds, 480, 0xFFFFFFFFu - 5000);
  EnqueueRequest(Broker("A"));
  EnqueueRequest(Broker("B"));
  nearWrap.Advance(19999);
  EnqueueRequest(Broker("C"));
  EXPECT_EQ(Sent(), (Strings{"102:A", "102:B"}));
  EXPECT_EQ(State().inFlight, 2);
  nearWrap.Advance(1);
  ASSERT_LT(GetTickCount(), 20000u);   // wrapped
  EnqueueRequest(Broker("D"));
  EXPECT_EQ(Sent(), (Strings{"102:C", "102:D"}));
  EXPECT_EQ(State().finished, 2);
}

TEST_F(RequestQueueTest, TheHeartbeatExpiresRequestsOfAnIdleClient) {
  EnqueueRequest(Broker("A"));
  EnqueueRequest(Broker("B"));
  EnqueueRequest(Broker("C"));
  Sent();
  clock_.Advance(19999);
  ExpireRequests();
  EXPECT_EQ(State().inFlight, 2);
  clock_.Advance(1);
  ExpireRequests();
  EXPECT_EQ(Sent(), (Strings{"102:C"}));
  EXPECT_EQ(State().inFlight, 1);
}

TEST_F(RequestQueueTest, AFullRingDropsTheNextRequestAndItsKeys) {
  for (int i = 0; i < kRequestQueueSlots; ++i) EnqueueRequest(Broker(std::to_string(i).c_str()));
  EXPECT_EQ(State().count, 256);
  const auto before = State();
  EnqueueRequest(Sort(2, 1, {{1, 1}}));   // its array is released (the leak check says so)
  EnqueueRequest(Snapshot({{1, 1}}));     // and so is its list
  EnqueueRequest(Broker("late"));
  const auto after = State();
  EXPECT_EQ(after.count, 256);
  EXPECT_EQ(after.writePos, before.writePos);
  EXPECT_EQ(after.pending, 254);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(RequestQueueTest, HistoryNeverReachesBeyondTheFlight) {
  // 255 live requests and no finished region, then one more: the ring is all live.
  for (int i = 0; i < 255; ++i) EnqueueRequest(Broker(std::to_string(i).c_str()));
  auto state = State();
  ASSERT_EQ(state.finished, 0);
  EnqueueRequest(Broker("255"));
  state = State();
  EXPECT_EQ(state.count, 256);
  EXPECT_EQ(state.finished, 0);
  EXPECT_EQ(state.historyStart, state.inFlightStart);

  // Answers and new requests: the finished region is always exactly what lies between
  // historyStart and inFlightStart, and a new request only ever takes a finished slot.
  for (int round = 0; round < 300; ++round) {
    Complete(102);
    EnqueueRequest(Broker((std::string("n") + std::to_string(round)).c_str()));
    state = State();
    ASSERT_EQ(state.count + state.finished, 256);
    ASSERT_EQ(static_cast<std::uint8_t>(state.inFlightStart - state.historyStart), state.finished % 256);
    ASSERT_EQ(state.pending + state.inFlightSlots, state.count);
  }
  // Every request still in the ring is one not yet answered, in order.
  Sent();
  const int live = State().count;
  for (int i = 0; i < live; ++i) Complete(102);
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(Sent().size(), static_cast<std::size_t>(live - 2));
}

TEST_F(RequestQueueTest, AnErrorReplyCompletesAnyKind) {
  const std::function<RequestRecord()> requests[] = {
      [] { return Make(kRequestNameTable); },   [] { return Bars(kRequestDayBars, "X", 1); },
      [] { return NewsText(4); },               [] { return Note("n.txt"); },
      [] { return Sort(2, 3, {{1, 1}}); },      [] { return Snapshot({{1, 1}}); },
      [] { return Make(kRequestInfoText, "X"); }, [] { return Make(kRequestPasswordChange); },
  };
  for (const auto& request : requests) {
    ResetRequestQueue();
    const RequestRecord r = request();
    SCOPED_TRACE(static_cast<int>(r.kind));
    EnqueueRequest(r);
    EXPECT_EQ(State().inFlight, 1);
    // A reply of another type leaves it in flight.
    Complete(r.kind == kRequestNameTable ? 12 : 6);
    EXPECT_EQ(State().inFlight, 1);
    EXPECT_EQ(Complete(kErrorReplyType), 0);
    EXPECT_EQ(State().inFlight, 0);
    EXPECT_EQ(State().finished, 1);
  }
  EXPECT_EQ(recorder_.Take().size(), 0u);
}

TEST_F(RequestQueueTest, OnlyTheNewerNewsOfAllCategoriesAsksForMore) {
  struct Case {
    RequestRecord request;
    std::uint8_t reply;
    int result;
  };
  const Case cases[] = {
      {NewsList(0), 15, 1},       {NewsList(3), 15, 0}, {NewsList(0, true, 99), 15, 0},
      {NewsList(0), kErrorReplyType, 0}, {NewsText(5), 15, 0},
  };
  for (const Case& c : cases) {
    ResetRequestQueue();
    EnqueueRequest(c.request);
    EXPECT_EQ(Complete(c.reply, c.request.param), c.result);
  }
}

TEST_F(RequestQueueTest, TheNewsCatchUpEndsOnceOnEveryPath) {
  struct Case {
    const char* name;
    std::function<void()> end;
  };
  const Case cases[] = {
      {"error reply", [] { Complete(kErrorReplyType); }},
      {"expiry at the next request",
       [this] {
         clock_.Advance(20000);
         EnqueueRequest(Broker("X"));
       }},
      {"expiry at the heartbeat",
       [this] {
         clock_.Advance(20000);
         ExpireRequests();
       }},
      {"reset on a new connection", [] { ResetRequestQueue(); }},
      {"the request connection closed", [] { RequestConnectionClosed(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRequestQueue();
    recorder_.Take();
    NewsIndex.NewsCatchUpFlag = 1;
    EnqueueRequest(NewsList(0, false, 120));
    c.end();
    EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 0);
    const std::vector<Heard> messages = recorder_.Take();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, MsgServerData);
    EXPECT_EQ(messages[0].wParam, static_cast<WPARAM>(15) << 16);
    EXPECT_EQ(messages[0].lParam, 0);
    // Once: with the flag clear, the next error for a news list posts nothing.
    EnqueueRequest(NewsList(0, false, 120));
    clock_.Advance(1000);
    Complete(kErrorReplyType);
    EXPECT_EQ(recorder_.Take().size(), 0u);
  }
  // An ordinary reply to the catch-up request leaves the flag to the dispatch.
  ResetRequestQueue();
  NewsIndex.NewsCatchUpFlag = 1;
  EnqueueRequest(NewsList(0, false, 120));
  EXPECT_EQ(Complete(15, kNewsList), 1);
  EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 1);
}

TEST_F(RequestQueueTest, ATrendErrorTellsTheMainWindowWhichDayFailed) {
  markettest::ScopedMarkets markets;
  markets.Add(1, markettest::MakeRecord("SH"), {markettest::MakeInstrument("600000"), markettest::MakeInstrument("600001")});
  RequestRecord day = Make(kRequestDayTrend, "600001");
  day.value1 = 0x12345800;
  EnqueueRequest(day);
  Complete(kErrorReplyType);
  std::vector<Heard> messages = recorder_.Take();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, static_cast<WPARAM>(31) << 16);
  ASSERT_EQ(messages[0].block.size(), 8u);
  EXPECT_EQ(messages[0].block[0], 1);                        // market
  EXPECT_EQ(messages[0].block.substr(2, 2), std::string("\x01\x00", 2));   // index 1
  EXPECT_EQ(messages[0].block.substr(4), std::string("\x00\x58\x34\x12", 4));

  // An instrument the market does not know: no message.
  EnqueueRequest(Make(kRequestDayTrend, "999999"));
  Complete(kErrorReplyType);
  EXPECT_EQ(recorder_.Take().size(), 0u);
}

TEST_F(RequestQueueTest, ALateReplyOfAnExpiredRequestCompletesNothing) {
  struct Case {
    const char* name;
    std::function<RequestRecord(int)> request;   // the n-th request of the kind
    std::uint8_t reply;
    int subKind;
  };
  const Case cases[] = {
      {"news text", [](int n) { return NewsText(100 + n); }, 15, kNewsText},
      {"note", [](int n) { return Note(("note" + std::to_string(n)).c_str()); }, 16, kNoteReply},
      {"sort", [](int n) { return Sort(2, 10 + n, {{1, 1}}); }, 101, kNoSubKind},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRequestQueue();
    EnqueueRequest(c.request(1));
    clock_.Advance(20000);
    EnqueueRequest(c.request(2));   // the first expires, the second goes
    EXPECT_EQ(zuvo::net::LateRepliesOwed(c.reply, c.subKind), 1);
    EXPECT_TRUE(IsLateReply(c.reply, c.subKind));
    // The first one's reply arrives now: late, it completes nothing and the second keeps its
    // place (its own reply is still to come).
    EXPECT_EQ(Complete(c.reply, c.subKind), 0);
    EXPECT_EQ(State().inFlight, 1);
    EXPECT_FALSE(IsLateReply(c.reply, c.subKind));
    EXPECT_EQ(Complete(c.reply, c.subKind), 0);
    EXPECT_EQ(State().inFlight, 0);
  }
  // Another sub-kind of the same type is not the late one: a news list completes its request.
  ResetRequestQueue();
  EnqueueRequest(NewsText(1));
  clock_.Advance(20000);
  EnqueueRequest(NewsList(0));
  EXPECT_FALSE(IsLateReply(15, kNewsList));
  EXPECT_EQ(Complete(15, kNewsList), 1);
  // Once the server has answered a request sent after the expired one, its reply cannot come.
  EXPECT_EQ(zuvo::net::LateRepliesOwed(15, kNewsText), 0);
}

TEST_F(RequestQueueTest, InFlightQueriesNameTheFirstRequestOfTheirKind) {
  EXPECT_EQ(PendingSortRequest(nullptr, nullptr), -1);
  EXPECT_EQ(PendingNewsTextId(), -1);
  char name[16] = "untouched";
  EXPECT_FALSE(PendingNoteName(name));
  EXPECT_STREQ(name, "untouched");

  EnqueueRequest(Sort(5, 7, {}, 1));
  EnqueueRequest(NewsText(0xFFFFFFF0u));
  EnqueueRequest(Note("0123456789abcdefXYZ"));   // pending: not yet asked about
  std::uint32_t requester = 0, serial = 0;
  EXPECT_EQ(PendingSortRequest(&requester, &serial), 1);
  EXPECT_EQ(requester, 7u);
  EXPECT_EQ(serial, 70u);
  EXPECT_EQ(PendingNewsTextId(), 0xFFFFFFF0);
  EXPECT_FALSE(PendingNoteName(name));
  Complete(101);
  ASSERT_TRUE(PendingNoteName(name));
  EXPECT_STREQ(name, "0123456789abcde");
}

TEST_F(RequestQueueTest, PendingQueriesOfTheRequestOperations) {
  EnqueueRequest(Make(kRequestSystemMessage));
  EnqueueRequest(Ticks("T"));
  EnqueueRequest(Make(kRequestTradeDetails, "D"));
  EnqueueRequest(Make(kRequestRecentTrades, "R"));
  EnqueueRequest(Bars(kRequestIntradayBars, "B", 1, kBarFile5Min));
  EXPECT_TRUE(IsTicksRequestPending("T", 1));
  EXPECT_FALSE(IsTicksRequestPending("T", 2));
  EXPECT_FALSE(IsTicksRequestPending("D", 1));
  EXPECT_TRUE(IsTradeDetailsRequestPending("D", 1));
  EXPECT_TRUE(IsRecentTicksRequestPending("R", 1));
  EXPECT_TRUE(IsBarsRequestPending("B", 1, kBarFile5Min));
  EXPECT_FALSE(IsBarsRequestPending("B", 1, kBarFileDay));

  // Answered ticks count for 1000 ms.
  Complete(203);
  Complete(20);
  clock_.Advance(999);
  EXPECT_TRUE(IsTicksRequestPending("T", 1));
  clock_.Advance(1);
  EXPECT_FALSE(IsTicksRequestPending("T", 1));
}

TEST_F(RequestQueueTest, ASortOnAColumnWithoutServerCodeIsRefusedAndTheConnectionKept) {
  for (int column : {9, 34, 35, 38}) {
    SCOPED_TRACE(column);
    EnqueueRequest(Sort(column, 3, {{1, 1}, {1, 2}}));   // its array released at once
    EnqueueRequest(Sort(column, 3));
  }
  EXPECT_EQ(State().count, 0);
  EXPECT_EQ(client_.sent, "");
  EXPECT_EQ(client_.handle, nettest::kScriptedHandle);
  for (const Heard& h : recorder_.Take()) EXPECT_NE(h.message, MsgConnectionLost);
}

TEST_F(RequestQueueTest, AFailedSendClosesTheConnectionAndTheRequestExpires) {
  client_.sendRoom = 0;
  client_.sendError = WSAECONNRESET;
  EnqueueRequest(Sort(2, 1, {{1, 1}}));
  EXPECT_EQ(State().inFlight, 1);
  int lost = 0;
  for (const Heard& h : recorder_.Take()) lost += h.message == MsgConnectionLost;
  EXPECT_EQ(lost, 1);
  clock_.Advance(20000);
  ExpireRequests();
  EXPECT_EQ(State().inFlight, 0);
}

TEST_F(RequestQueueTest, WithoutAClientRequestsMoveIntoTheFlightAndExpire) {
  NormalClnt = nullptr;
  EnqueueRequest(Sort(2, 1, {{1, 1}}));
  EnqueueRequest(Snapshot({{1, 1}}));
  EnqueueRequest(Broker("C"));
  EXPECT_EQ(State().inFlight, 2);
  clock_.Advance(20000);
  ExpireRequests();
  EXPECT_EQ(State().inFlight, 1);
  EXPECT_EQ(State().pending, 0);
}

TEST_F(RequestQueueTest, ResetReleasesTheKeysOfRequestsNeverSentOnce) {
  EnqueueRequest(Make(kRequestSystemMessage));
  EnqueueRequest(Make(kRequestRealtimeMessage));
  EnqueueRequest(Sort(2, 1, {{1, 1}}));
  EnqueueRequest(Sort(3, 2, {{1, 2}}));
  EnqueueRequest(Snapshot({{1, 3}}));
  EnqueueRequest(Sort(4, 1, {{1, 4}}));   // replaces requester 1's sort, releasing its array
  EXPECT_EQ(State().pending, 3);
  EXPECT_EQ(Sent(), (Strings{"203", "204"}));
  ResetRequestQueue();
  EXPECT_EQ(State().count, 0);
  ResetRequestQueue();   // nothing left to release twice
  // The slots are written again from the start and sent as usual.
  EnqueueRequest(Sort(2, 1, {{1, 1}}));
  EnqueueRequest(Snapshot({{1, 3}}));
  EXPECT_EQ(Sent(), (Strings{"101", "9"}));
}

}  // namespace
