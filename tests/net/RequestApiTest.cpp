// The request operations: the record each one queues, what keeps it from queuing (rights, an
// unknown instrument, a request already pending, a current cache file), the bar trim and the
// freshness values that reach the record, the information index's numbers, and the news id rule.
// No client is connected: the requests wait in the queue, where the test reads them.
#include "net/NormalClnt.h"

#include "core/GuardedAlloc.h"
#include "data/NewsIndex.h"
#include "net/FreshnessTestSupport.h"
#include "net/RequestQueue.h"
#include "net/RequestRecord.h"
#include "net/ServerRights.h"
#include "platform/DrivenClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace freshnesstest;

RequestRecord Expect(std::uint8_t kind, int market = 0, const char* code = "", std::uint32_t requester = 0) {
  RequestRecord r;
  r.kind = kind;
  r.market = static_cast<std::uint16_t>(market);
  std::memcpy(r.code, code, std::min(std::strlen(code), sizeof r.code - 1));
  r.requester = requester;
  return r;
}
RequestRecord With(RequestRecord r, std::int32_t param, std::uint32_t value1 = 0, std::uint32_t value2 = 0,
                   std::uint32_t value3 = 0) {
  r.param = param;
  r.value1 = value1;
  r.value2 = value2;
  r.value3 = value3;
  return r;
}

void ExpectSame(const RequestRecord& got, const RequestRecord& want) {
  EXPECT_EQ(got.kind, want.kind);
  EXPECT_EQ(got.param, want.param);
  EXPECT_EQ(got.market, want.market);
  EXPECT_EQ(std::string(got.code, sizeof got.code), std::string(want.code, sizeof want.code));
  EXPECT_EQ(got.value1, want.value1);
  EXPECT_EQ(got.value2, want.value2);
  EXPECT_EQ(got.value3, want.value3);
  EXPECT_EQ(std::string(got.text, sizeof got.text), std::string(want.text, sizeof want.text));
  EXPECT_EQ(got.requester, want.requester);
  EXPECT_EQ(got.keyArray, want.keyArray);
  EXPECT_EQ(got.keyList, want.keyList);
}

class RequestApiTest : public testing::Test {
 protected:
  RequestApiTest() : clock_(zuvo::platform::ScopedDrivenClock::kDefaultUtcMilliseconds, 480, 5000000) {}

  void SetUp() override {
    NormalClnt = nullptr;
    GrantRights({{0, 0}});
    // Logged in at 01:30 UTC, 09:30 in market time.
    client_.loginYear = 2024;
    client_.loginMonth = 3;
    client_.loginDay = kWednesday;
    client_.loginHour = 1;
    client_.loginMinute = 30;
    Fresh();
  }
  void TearDown() override {
    ResetRequestQueue();
    zuvo::net::ClearServerRights();
  }

  // An empty queue whose flight is full, so that the next request waits with all it carries.
  void Fresh() {
    ResetRequestQueue();
    for (int i = 0; i < kMaxRequestsInFlight; ++i) {
      RequestRecord filler;
      filler.kind = kRequestSystemMessage;
      EnqueueRequest(filler);
    }
    ASSERT_EQ(zuvo::net::GetRequestQueueState().inFlight, kMaxRequestsInFlight);
  }
  // The requests waiting, oldest first.
  static std::vector<RequestRecord> Waiting() {
    const zuvo::net::RequestQueueState state = zuvo::net::GetRequestQueueState();
    std::vector<RequestRecord> records;
    for (int at = state.sendPos; at != state.writePos; at = (at + 1) % kRequestQueueSlots) {
      records.push_back(zuvo::net::RequestQueueSlot(at));
    }
    return records;
  }
  static RequestRecord Only() {
    const std::vector<RequestRecord> waiting = Waiting();
    EXPECT_EQ(waiting.size(), 1u);
    return waiting.empty() ? RequestRecord{} : waiting.back();
  }

  zuvo::platform::ScopedDrivenClock clock_;
  CacheMarket m_;
  TNormalClnt client_;
};

TEST_F(RequestApiTest, EachOperationQueuesItsRecord) {
  STKMS* sortKeys = static_cast<STKMS*>(GuardedAlloc(2 * sizeof(STKMS)));
  sortKeys[0] = STKMS{0, 1};
  sortKeys[1] = STKMS{0, 2};
  auto* quoteKeys = new EArray<STKMS>();
  quoteKeys->Add(STKMS{0, 1});
  NewsRecord news{};
  news.categoryAndRead = 5u << 1 | 1u;
  news.id = 1234;

  RequestRecord noteRecord = With(Expect(kRequestNote, 3), 7);
  std::strcpy(noteRecord.text, "n0123456789abcd");
  RequestRecord textRecord = With(Expect(kRequestInfoText, 0, "600000", 86), 2, 4096, 512);
  std::strcpy(textRecord.text, "F10.txt");
  RequestRecord sortRecord = With(Expect(kRequestServerSort, 1, "", 44), 5, 2, 0, 9);
  sortRecord.keyArray = sortKeys;
  RequestRecord quotesRecord = Expect(kRequestSnapshot);
  quotesRecord.keyList = quoteKeys;

  struct Case {
    const char* what;
    std::function<void(TNormalClnt&)> call;
    RequestRecord expected;
  };
  const std::vector<Case> cases = {
      {"five-minute bars", [](TNormalClnt& c) { c.RequestHistoryBars(0, 0, 0, kCycle5Min, 0, 0, 77); },
       With(Expect(kRequestIntradayBars, 0, "600000", 77), kBarFile5Min)},
      {"day bars", [](TNormalClnt& c) { c.RequestHistoryBars(0, 1, 0, kCycleDay, 0, 0, 78); },
       With(Expect(kRequestDayBars, 0, "600001", 78), kBarFileDay)},
      {"the tick chart's minutes", [](TNormalClnt& c) { c.RequestHistoryBars(0, 0, 0, kCycleTick, 0, 1, 79); },
       With(Expect(kRequestIntradayBars, 0, "600000", 79), kBarFile1Min)},
      {"ticks", [](TNormalClnt& c) { c.RequestTicks(0, 0, 80); }, Expect(kRequestTicks, 0, "600000", 80)},
      {"trade details", [](TNormalClnt& c) { c.RequestTradeDetails(0, 0, 81); },
       With(Expect(kRequestTradeDetails, 0, "600000", 81), 1)},
      {"recent ticks", [](TNormalClnt& c) { c.RequestRecentTicks(0, 0, 30, 82); },
       With(Expect(kRequestRecentTrades, 0, "600000", 82), 0, 30)},
      {"a day's trend", [](TNormalClnt& c) { c.RequestTrendDay(0, 0, Day(kMonday, 15, 7), 83); },
       With(Expect(kRequestDayTrend, 0, "600000", 83), 0, Day(kMonday))},
      {"ex-rights", [](TNormalClnt& c) { c.RequestWeights(0, 0, 84); }, Expect(kRequestExRights, 0, "600000", 84)},
      {"broker queue", [](TNormalClnt& c) { c.RequestBrokerQueue(0, 2); }, Expect(kRequestBrokerQueue, 0, "IF08")},
      {"news text", [&news](TNormalClnt& c) { c.RequestNewsText(news); }, With(Expect(kRequestNews, 5), kNewsText, 1234)},
      {"information index", [](TNormalClnt& c) { EXPECT_TRUE(c.RequestInfoMineIndex(0, 0, 3, 85)); },
       With(Expect(kRequestInfoIndex, 0, "600000", 85), 0, 3)},
      {"information text",
       [](TNormalClnt& c) { c.RequestInfoMineText(0, 0, 2, "F10.txt", 4096, 512, 86); }, textRecord},
      {"notes list", [](TNormalClnt& c) { c.RequestNotesList(1); }, Expect(kRequestNotesList, 1)},
      {"a note, its name cut to 15 bytes", [](TNormalClnt& c) { c.RequestNote(3, "n0123456789abcdefgh", 7); }, noteRecord},
      {"name table", [](TNormalClnt& c) { c.RequestNameTable(2); }, Expect(kRequestNameTable, 2)},
      {"server sort of a key list",
       [sortKeys](TNormalClnt& c) { c.RequestServerSort(9, 5, 2, sortKeys, 44, 1); }, sortRecord},
      {"server sort of a market group", [](TNormalClnt& c) { c.RequestServerSort(10, 5, 3, nullptr, 45, 0); },
       With(Expect(kRequestServerSort, 0, "", 45), 5, 3, 0, 10)},
      {"system message", [](TNormalClnt& c) { c.RequestSystemMessage(); }, Expect(kRequestSystemMessage)},
      {"real-time message after a slow-network notice", [](TNormalClnt& c) { c.RequestRealtimeMessage(3); },
       With(Expect(kRequestRealtimeMessage), 0, 3)},
      {"real-time message for a push record", [](TNormalClnt& c) { c.RequestRealtimeMessage(-1); },
       With(Expect(kRequestRealtimeMessage), 0, 0xFFFFFFFFu)},
      {"quote snapshots", [quoteKeys](TNormalClnt& c) { c.RequestQuotes(quoteKeys); }, quotesRecord},
      {"password change, 11 bytes and a 0", [](TNormalClnt& c) { c.RequestPasswordChange("abcdefghijklmnop"); },
       Expect(kRequestPasswordChange, 0, "abcdefghijk")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    c.call(client_);
    ExpectSame(Only(), c.expected);
  }
}

TEST_F(RequestApiTest, NothingIsQueuedWithoutTheRightOrForAnUnknownInstrument) {
  const std::vector<std::function<void(TNormalClnt&, int, int)>> withRights = {
      [](TNormalClnt& c, int market, int index) { c.RequestHistoryBars(market, index, 0, kCycleDay, 0, 0, 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestTicks(market, index, 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestTradeDetails(market, index, 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestRecentTicks(market, index, 30, 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestTrendDay(market, index, Day(kMonday), 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestWeights(market, index, 1); },
  };
  const std::vector<std::function<void(TNormalClnt&, int, int)>> withoutRights = {
      [](TNormalClnt& c, int market, int index) { c.RequestBrokerQueue(market, index); },
      [](TNormalClnt& c, int market, int index) { c.RequestInfoMineIndex(market, index, 2, 1); },
      [](TNormalClnt& c, int market, int index) { c.RequestInfoMineText(market, index, 1, "a", 0, 10, 1); },
  };

  // The right to another category, or none at all.
  for (const auto& rights : {std::vector<std::pair<int, int>>{{0, 1}, {1, 0}}, std::vector<std::pair<int, int>>{}}) {
    GrantRights(rights);
    for (const auto& call : withRights) {
      Fresh();
      call(client_, 0, 0);
      EXPECT_TRUE(Waiting().empty());
    }
    for (const auto& call : withoutRights) {
      Fresh();
      call(client_, 0, 0);
      EXPECT_EQ(Waiting().size(), 1u);
    }
  }

  // A market not loaded, an index outside the table.
  GrantRights({{0, 0}, {1, 0}, {5, 0}});
  for (const auto& [market, index] : {std::pair{5, 0}, std::pair{1, 0}, std::pair{0, 3}, std::pair{0, -1}}) {
    SCOPED_TRACE(testing::Message() << market << "/" << index);
    for (const auto* calls : {&withRights, &withoutRights}) {
      for (const auto& call : *calls) {
        Fresh();
        call(client_, market, index);
        EXPECT_TRUE(Waiting().empty());
      }
    }
    EXPECT_FALSE(client_.RequestInfoMineIndex(market, index, 2, 1));
  }
  // A notes list goes by the market of half its number.
  Fresh();
  client_.RequestNotesList(4);
  client_.RequestNotesList(-1);
  EXPECT_TRUE(Waiting().empty());
}

TEST_F(RequestApiTest, APendingRequestLeavesTheCacheFileAlone) {
  // A day file written yesterday: the first request cuts its last five bars and asks from the
  // day after the bars kept; a second one while the first waits cuts nothing more.
  std::vector<PackedTime> days;
  for (int d = 1; d <= 10; ++d) days.push_back(MakePackedTime(2024, 3, d));
  const fs::path dayFile = m_.Folder("day") / "600000.day";
  WriteFileAt(dayFile, BarBytes(days), Day(kTuesday, 16, 0));
  client_.RequestHistoryBars(0, 0, 0, kCycleWeek, 0, 0, 7);
  ExpectSame(Only(), With(Expect(kRequestDayBars, 0, "600000", 7), kBarFileDay, MakePackedTime(2024, 3, 6)));
  client_.RequestHistoryBars(0, 0, 0, kCycleDay, 0, 1, 8);
  EXPECT_EQ(Waiting().size(), 1u);
  EXPECT_EQ(fs::file_size(dayFile), 5 * sizeof(ChartBar));

  // A current tick file asks from the trades held; gone stale while that request waits, it is
  // kept until the request is answered.
  const fs::path tickFile = m_.Folder("tick") / "600000.tik";
  WriteFileAt(tickFile, std::string(3 * sizeof(TradeRecord), '\0'), Day(kWednesday, 9, 40));
  Fresh();
  client_.RequestTicks(0, 0, 9);
  ExpectSame(Only(), With(Expect(kRequestTicks, 0, "600000", 9), 0, 3));
  SetLocalWriteTime(tickFile, Day(kTuesday, 15, 0));
  client_.RequestTicks(0, 0, 10);
  EXPECT_EQ(Waiting().size(), 1u);
  EXPECT_TRUE(fs::exists(tickFile));

  Fresh();
  client_.RequestRecentTicks(0, 0, 30, 11);
  client_.RequestRecentTicks(0, 0, 30, 12);
  EXPECT_EQ(Waiting().size(), 1u);
}

TEST_F(RequestApiTest, BarRequestsTrimAndAskFromWhatTheFileHolds) {
  // A five-minute file last written yesterday: yesterday's bars go, the file keeps its time,
  // and the request asks from the day after Monday's bars.
  const fs::path minFile = m_.Folder("min") / "600000.min";
  const std::vector<PackedTime> monday = MinutesOf(Day(kMonday), 3);
  WriteFileAt(minFile, BarBytes(Concat(monday, MinutesOf(Day(kTuesday), 4))), Day(kTuesday, 16, 0));
  const auto written = WriteTimeOf(minFile);
  client_.RequestHistoryBars(0, 0, 0, kCycle5Min, 0, 0, 1);
  ExpectSame(Only(), With(Expect(kRequestIntradayBars, 0, "600000", 1), kBarFile5Min, Day(kTuesday)));
  EXPECT_EQ(fs::file_size(minFile), monday.size() * sizeof(ChartBar));
  EXPECT_EQ(WriteTimeOf(minFile), written);

  // Written today after yesterday's bars: nothing newer to ask; older bars end before the first.
  const fs::path hourFile = m_.Folder("hour") / "600000.hr";
  WriteFileAt(hourFile, BarBytes({Day(kMonday, 10, 0), Day(kTuesday, 15, 0)}), Day(kWednesday, 9, 0));
  Fresh();
  client_.RequestHistoryBars(0, 0, 0, kCycle60Min, 0, 0, 2);
  EXPECT_TRUE(Waiting().empty());
  client_.RequestHistoryBars(0, 0, 0, kCycle60Min, 0, 1, 2);
  ExpectSame(Only(), With(Expect(kRequestIntradayBars, 0, "600000", 2), kBarFile60Min, 0, Day(kMonday, 9, 59)));
  EXPECT_EQ(fs::file_size(hourFile), 2 * sizeof(ChartBar));
}

TEST_F(RequestApiTest, CurrentFilesAreNotAskedAgain) {
  // Ex-rights: current, then stale (deleted and asked).
  const fs::path weights = m_.Folder("weight") / "600000.wgt";
  WriteFileAt(weights, "w", Day(kWednesday, 9, 0));
  client_.RequestWeights(0, 0, 1);
  EXPECT_TRUE(Waiting().empty());
  SetLocalWriteTime(weights, Day(kTuesday, 8, 0));
  client_.RequestWeights(0, 0, 1);
  EXPECT_EQ(Waiting().size(), 1u);
  EXPECT_FALSE(fs::exists(weights));

  // A notes list of market 0 written on its trading day.
  WriteFileAt(m_.install.data() / "notes" / "notes1.ls2", "n", Day(kWednesday, 9, 0));
  Fresh();
  client_.RequestNotesList(1);
  EXPECT_TRUE(Waiting().empty());
}

TEST_F(RequestApiTest, InformationIndexNumbersAskAsTheirFilesAllow) {
  struct Case {
    const char* what;
    int n;
    PackedTime written;   // local; 0: no file
    bool queued;
    std::uint32_t from;
    bool twinKept;
  };
  const Case cases[] = {
      {"index 1, current", 1, Day(kWednesday, 10, 0), false, 0, true},
      {"index 2, current", 2, Day(kWednesday, 10, 0), false, 0, true},
      {"index 3, current: from the records held", 3, Day(kWednesday, 10, 0), true, 10, true},
      {"index 7, current: asked again from its first record", 7, Day(kWednesday, 10, 0), true, 0, true},
      {"index 3 written before the login", 3, Day(kWednesday, 9, 0), true, 0, false},
      {"index 2 missing", 2, 0, true, 0, false},
      // The number goes as one byte: 259 is index 3, as its reply will name it.
      {"index 259 is index 3", 259, Day(kWednesday, 10, 0), true, 10, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    const std::string name = "600000" + std::to_string(static_cast<std::int8_t>(c.n));
    const fs::path index = m_.Folder("base") / (name + ".idx");
    const fs::path twin = m_.Folder("base") / (name + ".txt");
    fs::remove(index);
    fs::remove(twin);
    if (c.written != 0) {
      WriteFileAt(index, std::string(2560, 'i'), c.written);
      WriteFileAt(twin, "t", c.written);
    }
    EXPECT_EQ(client_.RequestInfoMineIndex(0, 0, c.n, 5), c.queued);
    if (c.queued) {
      ExpectSame(Only(), With(Expect(kRequestInfoIndex, 0, "600000", 5), 0, static_cast<std::uint32_t>(c.n & 0xFF), c.from));
    } else {
      EXPECT_TRUE(Waiting().empty());
    }
    EXPECT_EQ(fs::exists(twin), c.twinKept);
  }
}

TEST_F(RequestApiTest, NewsIsAskedBeyondTheEdgesHeld) {
  NewsIndex.Load();
  for (const auto& [id, category] : {std::pair{10u, 1u}, std::pair{50u, 1u}, std::pair{0u, 2u}, std::pair{7u, 2u}}) {
    NewsRecord record{};
    record.categoryAndRead = category << 1;
    record.id = id;
    ASSERT_TRUE(NewsIndex.Insert(record, false));
  }
  struct Case {
    const char* what;
    bool older;
    int category;
    bool queued;
    std::uint32_t id, direction;
  };
  const Case cases[] = {
      {"newer of all", false, 0, true, 51, 0},
      {"newer of category 2", false, 2, true, 8, 0},
      {"older of category 1", true, 1, true, 9, 1},
      {"older of category 2, whose oldest is 0", true, 2, false, 0, 0},
      {"older of category 3, none held: the newest instead", true, 3, true, 0, 0},
      {"newer of category 3, none held", false, 3, true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    client_.RequestNews(c.older, c.category);
    if (c.queued) {
      ExpectSame(Only(), With(Expect(kRequestNews, c.category), kNewsList, c.id, c.direction));
    } else {
      EXPECT_TRUE(Waiting().empty());
    }
  }
  NewsIndex.count = 0;
  NewsIndex.dirty = 0;
}

}  // namespace
