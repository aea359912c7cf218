// The push records into small hand-built markets: the change flags of a quote update, the trade
// count and the last five prices, the update stamp, the server clock with its day change, news
// flashes, advice, the notification ring and the records that must touch nothing.
#include "net/NetTestSupport.h"

#include "core/PackedTime.h"
#include "data/MarketTestUtil.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/CacheMerge.h"
#include "net/PushRecords.h"
#include "net/ServerRights.h"
#include "platform/DrivenClock.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace nettest {
namespace {

using markettest::MakeInstrument;
using zuvo::net::CurrentPushState;

constexpr int kNewsClassWithRight = 3;
constexpr int kNewsClassWithoutRight = 4;

// A quote with every field set and an order book of five levels each side.
QuoteRecord BaseQuote() {
  QuoteRecord q{};
  q.prevClose = 1000;
  q.open = 1005;
  q.high = 1010;
  q.low = 995;
  q.last = 1002;
  q.volume = 100;
  q.amount = 5000;
  q.lastVolume = 3;
  for (int level = 0; level < 5; ++level) {
    q.bids[level] = {static_cast<std::uint32_t>(1001 - level), 10.0f * (level + 1)};
    q.asks[level] = {static_cast<std::uint32_t>(1003 + level), 11.0f * (level + 1)};
  }
  q.settlement = 999;
  return q;
}

// The 128 bytes of a quote record for `code` (copied up to 8 bytes, unterminated at 8).
std::string QuoteBytes(int market, const std::string& code, const QuoteRecord& q) {
  std::string record(128, '\0');
  record[0] = static_cast<char>(market & 0xFF);
  record[1] = static_cast<char>(market >> 8);
  const auto* bytes = reinterpret_cast<const char*>(&q);
  std::memcpy(&record[4], bytes, 32);
  std::memcpy(&record[36], bytes + 40, 80);
  std::memcpy(&record[116], code.data(), std::min<std::size_t>(code.size(), 8));
  std::memcpy(&record[124], &q.settlement, 4);
  return record;
}

std::string ClockBytes(int minutes) {
  std::string record(128, '\0');
  record[2] = static_cast<char>(minutes & 0xFF);
  record[3] = static_cast<char>(minutes >> 8);
  return record;
}

std::string FlashBytes(int markets, int type, std::uint32_t id, const std::string& title) {
  std::string record(128, '\0');
  record[0] = static_cast<char>(markets + 1);
  record[1] = static_cast<char>(type);
  std::memcpy(&record[2], &id, 4);
  const std::uint32_t stamp = 240306 | (930u << 20);
  std::memcpy(&record[6], &stamp, 4);
  std::memcpy(&record[10], title.data(), std::min<std::size_t>(title.size(), 118));
  return record;
}

std::string AdviceBytes(int market, int index, std::uint32_t key) {
  std::string record(128, '\0');
  record[0] = static_cast<char>(market);
  const int tagged = 10000 + index;
  record[2] = static_cast<char>(tagged & 0xFF);
  record[3] = static_cast<char>(tagged >> 8);
  std::memcpy(&record[6], &key, 4);
  for (int i = 10; i < 114; ++i) record[static_cast<std::size_t>(i)] = static_cast<char>(i);
  return record;
}

struct SlotSeen {
  const _zvapp_pkg_* slot;
  int market;
  int index;
  std::uint32_t flags;
};

class PushRecords : public testing::Test {
 protected:
  void SetUp() override {
    savedNow_ = SystemNow;
    SystemNow = MakePackedTime(2024, 3, 6, 1, 30);
    zuvo::net::ResetPushState();
    NewsIndex.Load();
    client_.header.type = kPushRecordsType;
    recorder_.during = [this](const MessageRecorder::Message& message) {
      if (message.message == MsgQuoteEvent && message.wParam == kQuoteEventUpdate) {
        const auto* slot = reinterpret_cast<const _zvapp_pkg_*>(message.lParam);
        slots_.push_back({slot, slot->instrument.market, slot->instrument.index, slot->flags});
        EXPECT_EQ(int{slot->word0}, 0);
        EXPECT_EQ(int{slot->word1}, 0);
      }
    };
  }
  void TearDown() override {
    recorder_.during = nullptr;
    NewsIndex.Discard();
    zuvo::net::ClearServerRights();
    zuvo::net::ResetPushState();
    SystemNow = savedNow_;
  }

  // Market `number` of `kind`: category 0 with an order book, category 1 without; instruments
  // 600000 and 600001 (category 0) and 000001 (category 1).
  TMarketData* AddMarket(int number, int kind, const char* code = "SH") {
    MarketRecord record = markettest::MakeRecord(code, kind, 8, 2, "sh");
    record.categories[1].noDepth = 1;
    return markets_.Add(number, record,
                        {MakeInstrument("600000", 0), MakeInstrument("600001", 0), MakeInstrument("000001", 1)});
  }

  int Dispatch(const std::string& body) {
    return TRealDataClnt::DispatchRecords(&client_, reinterpret_cast<const std::uint8_t*>(body.data()),
                                          static_cast<int>(body.size()));
  }
  // The flags of the one quote update a record makes.
  std::uint32_t FlagsOf(const std::string& record) {
    slots_.clear();
    Dispatch(record);
    EXPECT_EQ(slots_.size(), 1u);
    return slots_.empty() ? 0xFFFFFFFFu : slots_.back().flags;
  }
  std::vector<MessageRecorder::Message> Posted(UINT message) { return recorder_.Of(message); }

  testsupport::TempInstall install_;
  markettest::ScopedMarkets markets_;
  zuvo::platform::ScopedDrivenClock clock_;
  MessageRecorder recorder_;
  TRealDataClnt client_;
  std::vector<SlotSeen> slots_;
  PackedTime savedNow_ = 0;
};

// ---- Quote records ----------------------------------------------------------------------------

TEST_F(PushRecords, ChangeFlagsFollowEachFieldAndTheFloatRule) {
  struct Row {
    const char* what;
    int kind;
    const char* code;    // 000001 has no order book
    void (*change)(QuoteRecord*);
    std::uint32_t flags;
  };
  const Row rows[] = {
      {"identical", 1, "600000", [](QuoteRecord*) {}, 0},
      {"last", 1, "600000", [](QuoteRecord* q) { q->last = 1004; }, kChangeLast},
      {"last from 0", 1, "600000", [](QuoteRecord* q) { q->last = 0; }, kChangeLast},
      {"amount within its integer", 1, "600000", [](QuoteRecord* q) { q->amount = 5000.75f; }, 0},
      {"amount", 1, "600000", [](QuoteRecord* q) { q->amount = 5001; }, kChangeAmount},
      {"volume grows", 1, "600000", [](QuoteRecord* q) { q->volume = 150; }, kChangeVolume | kChangeTrade},
      {"volume shrinks", 1, "600000", [](QuoteRecord* q) { q->volume = 50; }, kChangeVolume},
      {"prevClose", 1, "600000", [](QuoteRecord* q) { q->prevClose = 990; }, kChangePrevClose},
      {"open, high, low, lastVolume", 1, "600000",
       [](QuoteRecord* q) { q->open = 1; q->high = 2; q->low = 3; q->lastVolume = 9; }, 0},
      {"best bid", 1, "600000", [](QuoteRecord* q) { q->bids[0].price = 1000; }, kChangeBestBid},
      {"best ask", 1, "600000", [](QuoteRecord* q) { q->asks[0].price = 1004; }, kChangeBestAsk},
      {"best bid volume", 1, "600000", [](QuoteRecord* q) { q->bids[0].volume = 12; }, kChangeBestBidVolume},
      {"best ask volume", 1, "600000", [](QuoteRecord* q) { q->asks[0].volume = 12; }, kChangeBestAskVolume},
      {"best ask volume within its integer", 1, "600000", [](QuoteRecord* q) { q->asks[0].volume = 11.5f; }, 0},
      {"bid price level 3", 1, "600000", [](QuoteRecord* q) { q->bids[2].price = 1; }, kChangeBidPrices},
      {"ask price level 5", 1, "600000", [](QuoteRecord* q) { q->asks[4].price = 1; }, kChangeAskPrices},
      {"bid volume level 2", 1, "600000", [](QuoteRecord* q) { q->bids[1].volume = 1; }, kChangeBidVolumes},
      {"ask volume level 4", 1, "600000", [](QuoteRecord* q) { q->asks[3].volume = 1; }, kChangeAskVolumes},
      {"whole book, no order book", 1, "000001",
       [](QuoteRecord* q) {
         for (int l = 0; l < 5; ++l) q->bids[l] = q->asks[l] = {7, 7};
       },
       0},
      {"last, kind 6 with an order book", 6, "600000", [](QuoteRecord* q) { q->last = 1003; }, kChangeLast},
      {"last, kind 6 without", 6, "000001", [](QuoteRecord* q) { q->last = 1003; },
       kChangeLast | kChangeTrade | kChangeTradeAtAsk},
      {"last, kind 3", 3, "600000", [](QuoteRecord* q) { q->last = 1001; },
       kChangeLast | kChangeTrade | kChangeTradeAtBid},
      {"last, kind 2", 2, "600000", [](QuoteRecord* q) { q->last = 1003; }, kChangeLast},
      {"last, kind 7", 7, "600000", [](QuoteRecord* q) { q->last = 1000; },
       kChangeLast | kChangeTrade | kChangeTradeAtBid},
      {"last, kind 4", 4, "600000", [](QuoteRecord* q) { q->last = 1008; },
       kChangeLast | kChangeTrade | kChangeTradeAtAsk},
      {"trade at the ask", 1, "600000", [](QuoteRecord* q) { q->volume = 101; q->last = 1005; },
       kChangeVolume | kChangeTrade | kChangeTradeAtAsk | kChangeLast},
      {"trade at the bid", 1, "600000", [](QuoteRecord* q) { q->volume = 101; q->last = 990; },
       kChangeVolume | kChangeTrade | kChangeTradeAtBid | kChangeLast},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TMarketData* table = AddMarket(0, row.kind);
    const int index = table->FindCode(row.code);
    ASSERT_GE(index, 0);
    table->quotes[index] = BaseQuote();
    QuoteRecord fresh = BaseQuote();
    row.change(&fresh);
    EXPECT_EQ(FlagsOf(QuoteBytes(0, row.code, fresh)), row.flags);
    // The record is copied whatever the flags say; fastChange and updateTime are the client's.
    QuoteRecord& stored = table->quotes[index];
    EXPECT_EQ(std::memcmp(&stored, &fresh, 32), 0);
    EXPECT_EQ(std::memcmp(stored.bids, fresh.bids, 80), 0);
    EXPECT_EQ(stored.settlement, fresh.settlement);
    EXPECT_EQ(slots_.back().market, 0);
    EXPECT_EQ(slots_.back().index, index);
  }
}

TEST_F(PushRecords, VolumeFromZeroCountsATradeWithoutTheVolumeFlag) {
  TMarketData* table = AddMarket(0, 1);
  QuoteRecord old = BaseQuote();
  old.volume = 0;
  table->quotes[0] = old;
  QuoteRecord fresh = old;
  fresh.volume = 500;
  EXPECT_EQ(FlagsOf(QuoteBytes(0, "600000", fresh)), kChangeTrade);
}

TEST_F(PushRecords, EachTradeShiftsTheLastFivePricesWithTheOldLastInFront) {
  TMarketData* table = AddMarket(0, 1);
  QuoteRecord q = BaseQuote();
  table->quotes[0] = q;
  for (std::uint32_t price : {1010u, 1020u, 1030u, 1040u, 1050u, 1060u}) {
    q.volume += 1;
    q.last = price;
    Dispatch(QuoteBytes(0, "600000", q));
  }
  // A quote without a trade leaves them.
  q.bids[0].price = 1;
  Dispatch(QuoteBytes(0, "600000", q));
  const std::uint32_t expected[5] = {1050, 1040, 1030, 1020, 1010};
  EXPECT_EQ(std::memcmp(table->lastTrades[0].price, expected, sizeof expected), 0);
  EXPECT_EQ(table->quotes[0].last, 1060u);
}

TEST_F(PushRecords, AChangedQuoteIsStampedWithTheMarketClockAndTheSecondsSinceTheServerMinute) {
  TMarketData* table = AddMarket(0, 1);
  struct Row {
    const char* what;
    int serverMinutes;       // -1: no clock record yet
    DWORD elapsedMs;
    int hour, minute, second;
  };
  // Market hour offset +8.
  const Row rows[] = {
      {"no clock record yet: the market clock, second 0", -1, 75000, 9, 30, 0},
      {"12 s into the minute", 90, 12500, 9, 30, 12},
      {"75 s: one minute on, once", 90, 75000, 9, 31, 15},
      {"200 s: still one minute on", 90, 200000, 9, 31, 20},
      {"the minute carries into the hour", 119, 61000, 10, 0, 1},
      {"23:59 carries to 00:00", 959, 60000, 0, 0, 0},
  };
  std::uint32_t bump = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    zuvo::net::ResetPushState();
    SystemNow = MakePackedTime(2024, 3, 6, 1, 30);
    table->UpdateClock(SystemNow);
    if (row.serverMinutes >= 0) Dispatch(ClockBytes(row.serverMinutes));
    clock_.Advance(row.elapsedMs);
    table->quotes[0] = BaseQuote();
    table->quotes[0].updateTime = 0xABC00000u;   // bits above the time are kept
    QuoteRecord fresh = BaseQuote();
    fresh.high += ++bump;
    Dispatch(QuoteBytes(0, "600000", fresh));
    const std::uint32_t stamp = table->quotes[0].updateTime;
    EXPECT_EQ(stamp & 0xFFFE0000u, 0xABC00000u);
    EXPECT_EQ((stamp >> 12) & 0x1F, static_cast<std::uint32_t>(row.hour));
    EXPECT_EQ((stamp >> 6) & 0x3F, static_cast<std::uint32_t>(row.minute));
    EXPECT_EQ(stamp & 0x3F, static_cast<std::uint32_t>(row.second));
  }
}

TEST_F(PushRecords, AnIdenticalOrSettlementOnlyQuoteKeepsItsStampButStillNotifies) {
  TMarketData* table = AddMarket(0, 1);
  table->quotes[0] = BaseQuote();
  table->quotes[0].updateTime = 1234;
  table->quotes[0].fastChange = 2.5f;
  QuoteRecord fresh = BaseQuote();
  EXPECT_EQ(FlagsOf(QuoteBytes(0, "600000", fresh)), 0u);
  fresh.settlement = 42;
  EXPECT_EQ(FlagsOf(QuoteBytes(0, "600000", fresh)), 0u);
  EXPECT_EQ(table->quotes[0].updateTime, 1234u);
  EXPECT_EQ(table->quotes[0].settlement, 42u);
  EXPECT_EQ(table->quotes[0].fastChange, 2.5f);
  EXPECT_TRUE(recorder_.messages.back().sent) << "the quote event is sent, not posted";
}

TEST_F(PushRecords, TheCodeIsLookedUpWithinItsEightBytesInTheRecordsMarketOnly) {
  AddMarket(0, 1, "SH");
  TMarketData* other = AddMarket(1, 1, "SZ");
  other->names[2].code[0] = 'Z';   // "Z00001" only in market 1
  other->RebuildCodeIndex();
  struct Row {
    const char* what;
    int market;
    std::string code;
    bool found;
  };
  const Row rows[] = {
      {"terminated", 0, std::string("600001\0\0", 8), true},
      {"padding after the terminator", 0, std::string("600001\0X", 8), true},
      {"eight bytes, no terminator", 0, "60000100", false},
      {"unknown", 0, "999999", false},
      {"listed by another market only", 0, "Z00001", false},
      {"in its own market", 1, "Z00001", true},
      {"another case", 1, "z00001", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    slots_.clear();
    QuoteRecord q = BaseQuote();
    q.last = 4242;
    EXPECT_EQ(Dispatch(QuoteBytes(row.market, row.code, q)), 128);
    EXPECT_EQ(slots_.size(), row.found ? 1u : 0u);
  }
}

TEST_F(PushRecords, MalformedRecordsTouchNoTable) {
  TMarketData* table = AddMarket(0, 1);
  AddMarket(1, 1, "SZ");   // M = 2: news flashes are 3, fetch requests 4
  table->quotes[0] = BaseQuote();
  QuoteRecord q = BaseQuote();
  q.last = 7777;
  const std::string quote = QuoteBytes(0, "600000", q);
  std::string marketWord5 = quote;
  marketWord5[0] = 5;
  std::string highByteMarket = quote;   // byte 0 is the market, byte 1 makes the word 256
  highByteMarket[1] = 1;
  struct Row {
    const char* what;
    std::string body;
    int result;
  };
  const Row rows[] = {
      {"a market word of M or more that is no special record", marketWord5, 128},
      {"a market word above 255", highByteMarket, 128},
      {"an advice index beyond the table", AdviceBytes(0, 3, 1), 128},
      {"an advice index far beyond", AdviceBytes(0, 55535, 1), 128},
      {"a remainder shorter than a record", quote.substr(0, 127), 127},
      {"an empty body", std::string(), 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    recorder_.Clear();
    EXPECT_EQ(Dispatch(row.body), row.result);
    EXPECT_TRUE(recorder_.Pump().empty());
    EXPECT_EQ(table->quotes[0].last, BaseQuote().last);
  }
  EXPECT_FALSE(std::filesystem::exists(install_.data() / "SH" / "advice"));
  // A frame of another type is not read at all.
  client_.header.type = 9;
  EXPECT_EQ(Dispatch(quote), 0);
  EXPECT_EQ(table->quotes[0].last, BaseQuote().last);
  client_.header.type = kPushRecordsType;
  EXPECT_EQ(Dispatch(quote), 128);
  EXPECT_EQ(table->quotes[0].last, 7777u);
}

TEST_F(PushRecords, The2049thUpdateReusesSlotZero) {
  AddMarket(0, 1);
  std::string body;
  QuoteRecord q = BaseQuote();
  for (int i = 0; i < kNotificationSlots + 1; ++i) {
    q.last = 2000 + static_cast<std::uint32_t>(i);
    body += QuoteBytes(0, i % 2 == 0 ? "600000" : "600001", q);
    if (body.size() == 64 * 128 || i == kNotificationSlots) {
      Dispatch(body);
      body.clear();
    }
  }
  ASSERT_EQ(slots_.size(), static_cast<std::size_t>(kNotificationSlots + 1));
  EXPECT_EQ(slots_.front().slot, zuvo::net::NotificationSlots());
  EXPECT_EQ(slots_[1].slot, zuvo::net::NotificationSlots() + 1);
  EXPECT_EQ(slots_.back().slot, zuvo::net::NotificationSlots());
  EXPECT_EQ(CurrentPushState().slotPosition, 1);
}

// ---- Clock records ----------------------------------------------------------------------------

TEST_F(PushRecords, AClockRecordSetsTheClockWordAndEveryMarketOncePerMinute) {
  TMarketData* sh = AddMarket(0, 1);
  TMarketData* utc = AddMarket(1, 2, "SZ");
  utc->record.hourOffset = 0;
  Dispatch(ClockBytes(20 * 60 + 30) + ClockBytes(20 * 60 + 30));
  EXPECT_EQ(SystemNow, MakePackedTime(2024, 3, 6, 20, 30));
  // +8 hours at 20:30 is 04:30 of the next day.
  EXPECT_EQ(sh->now, MakePackedTime(2024, 3, 7, 4, 30));
  EXPECT_EQ(sh->minuteOfDay, 4 * 60 + 30);
  EXPECT_EQ(utc->now, MakePackedTime(2024, 3, 6, 20, 30));
  const auto events = Posted(MsgQuoteEvent);
  ASSERT_EQ(events.size(), 1u) << "the same minute twice counts once";
  EXPECT_EQ(events[0].wParam, kQuoteEventClock);
  EXPECT_EQ(events[0].lParam, 20 * 60 + 30);
  EXPECT_FALSE(events[0].sent);
  EXPECT_NE(CurrentPushState().serverClockTick, 0u);

  // Minute indexes follow: 10:15 in the market is inside the morning session.
  Dispatch(ClockBytes(2 * 60 + 15));
  EXPECT_EQ(sh->minuteOfDay, 10 * 60 + 15);
  EXPECT_EQ(int{sh->record.categories[0].minuteIndex}, MinuteOfDayToIndex(sh, 10 * 60 + 15, 0));
}

TEST_F(PushRecords, AMinuteOf1440OrMoreIsIgnored) {
  AddMarket(0, 1);
  const PackedTime before = SystemNow;
  for (int minutes : {1440, 1500, 0xFFFF}) {
    SCOPED_TRACE(minutes);
    Dispatch(ClockBytes(minutes));
    EXPECT_EQ(SystemNow, before);
    EXPECT_TRUE(Posted(MsgQuoteEvent).empty());
    EXPECT_EQ(CurrentPushState().serverClockTick, 0u);
  }
}

TEST_F(PushRecords, TheDayChangesWhenTheMorningFollowsTheLateEvening) {
  AddMarket(0, 1);
  Dispatch(ClockBytes(1381));
  EXPECT_TRUE(CurrentPushState().lateEvening);
  Dispatch(ClockBytes(1439));
  Dispatch(ClockBytes(5));
  EXPECT_EQ(SystemNow, MakePackedTime(2024, 3, 7, 0, 5));
  EXPECT_FALSE(CurrentPushState().lateEvening);
  Dispatch(ClockBytes(6));
  EXPECT_EQ(SystemNow, MakePackedTime(2024, 3, 7, 0, 6)) << "one day, once";
  // Morning records without a late evening before them change no day.
  Dispatch(ClockBytes(600));
  Dispatch(ClockBytes(30));
  EXPECT_EQ(SystemNow, MakePackedTime(2024, 3, 7, 0, 30));
}

TEST_F(PushRecords, AReconnectAcrossMidnightDoesNotAdvanceTheDayTwice) {
  AddMarket(0, 1);
  struct Row {
    const char* what;
    PackedTime reconnectedAt;   // the clock word the reconnect set from the system clock
    std::vector<int> minutes;   // the records after it
    PackedTime expected;
  };
  const Row rows[] = {
      {"reconnected after midnight", MakePackedTime(2024, 3, 7, 0, 20), {21, 22}, MakePackedTime(2024, 3, 7, 0, 22)},
      {"first record the reconnect's own minute", MakePackedTime(2024, 3, 7, 0, 20), {20, 25},
       MakePackedTime(2024, 3, 7, 0, 25)},
      {"reconnected before midnight", MakePackedTime(2024, 3, 6, 23, 50), {1430, 3}, MakePackedTime(2024, 3, 7, 0, 3)},
      {"away a whole day, the next midnight counts", MakePackedTime(2024, 3, 7, 9, 0), {540, 1400, 2},
       MakePackedTime(2024, 3, 8, 0, 2)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    zuvo::net::ResetPushState();
    SystemNow = MakePackedTime(2024, 3, 6, 23, 0);
    Dispatch(ClockBytes(23 * 60 + 30));
    ASSERT_TRUE(CurrentPushState().lateEvening);
    SystemNow = row.reconnectedAt;
    for (int minutes : row.minutes) Dispatch(ClockBytes(minutes));
    EXPECT_EQ(SystemNow, row.expected);
  }
}

// ---- News flashes -----------------------------------------------------------------------------

class PushNewsFlashes : public PushRecords {
 protected:
  void SetUp() override {
    PushRecords::SetUp();
    AddMarket(0, 1);
    std::string block(128, '\0');
    block[98] = static_cast<char>(0x80 >> (kNewsClassWithRight - 1));
    zuvo::net::TakeServerRights(reinterpret_cast<const std::uint8_t*>(block.data()));
  }
};

TEST_F(PushNewsFlashes, EnterTheIndexAndReachTheMainWindowOnlyWithTheRight) {
  Dispatch(FlashBytes(1, kNewsClassWithoutRight, 501, "no right"));
  EXPECT_EQ(NewsIndex.count, 1u);
  EXPECT_TRUE(Posted(MsgOnlineNotice).empty());

  Dispatch(FlashBytes(1, kNewsClassWithRight, 502, "first") + FlashBytes(1, kNewsClassWithRight, 503, "second"));
  EXPECT_EQ(NewsIndex.count, 3u);
  EXPECT_EQ(NewsIndex.dirty, 1);
  const auto notices = Posted(MsgOnlineNotice);
  ASSERT_EQ(notices.size(), 2u);
  // Each notice has a record of its own: the second did not overwrite the first.
  const auto* first = reinterpret_cast<const NewsRecord*>(notices[0].lParam);
  const auto* second = reinterpret_cast<const NewsRecord*>(notices[1].lParam);
  EXPECT_NE(first, second);
  EXPECT_EQ(notices[0].wParam, 0u);
  EXPECT_STREQ(first->title, "first");
  EXPECT_EQ(first->id, 502u);
  EXPECT_EQ(first->categoryAndRead, static_cast<std::uint32_t>(kNewsClassWithRight * 2));
  EXPECT_EQ(first->stamp, 240306u | (930u << 20));
  EXPECT_STREQ(second->title, "second");
  NewsRecord stored{};
  ASSERT_TRUE(NewsIndex.FindByTitle(0, "no right", &stored));
  EXPECT_EQ(stored.id, 501u);
}

TEST_F(PushNewsFlashes, AreDroppedWhileTheNewsListCatchesUp) {
  NewsIndex.NewsCatchUpFlag = 1;
  Dispatch(FlashBytes(1, kNewsClassWithRight, 600, "during the catch-up"));
  EXPECT_EQ(NewsIndex.count, 0u);
  EXPECT_TRUE(Posted(MsgOnlineNotice).empty());
}

TEST_F(PushNewsFlashes, ALongTitleIsCutToTheNoticeOnACharacterBoundary) {
  // 59 double-byte characters fill the 118-byte field without a terminator; 79 bytes would end
  // inside the 40th.
  std::string title;
  for (int i = 0; i < 59; ++i) title += "\xD6\xD0";
  std::string record = FlashBytes(1, kNewsClassWithRight, 700, title);
  Dispatch(record);
  const auto notices = Posted(MsgOnlineNotice);
  ASSERT_EQ(notices.size(), 1u);
  const auto* notice = reinterpret_cast<const NewsRecord*>(notices[0].lParam);
  EXPECT_EQ(std::string(notice->title), title.substr(0, 78));
  // Single-byte text is cut at 79.
  Dispatch(FlashBytes(1, kNewsClassWithRight, 701, std::string(118, 'a')));
  const auto* plain = reinterpret_cast<const NewsRecord*>(Posted(MsgOnlineNotice).back().lParam);
  EXPECT_EQ(std::string(plain->title), std::string(79, 'a'));
}

// ---- Advice -----------------------------------------------------------------------------------

// Market 0's advice starts like a clock record (word 0 and byte 116 clear); its index word
// tells it apart.
TEST_F(PushRecords, AdviceIsMergedIntoTheInstrumentsFileAndAnnounced) {
  AddMarket(0, 1);
  Dispatch(AdviceBytes(0, 1, 20240306));
  const std::filesystem::path file = install_.data() / "SH" / "advice" / "600001.adv";
  EXPECT_TRUE(std::filesystem::is_directory(file.parent_path()));
  const auto posted = Posted(MsgServerData);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].wParam, kServerDataAdvice);
  EXPECT_EQ(static_cast<std::uint32_t>(posted[0].lParam), StkPtrToWord(STKPTR(0, 0, 1)));
  const std::string advice = AdviceBytes(0, 1, 20240306).substr(6, 108);
  EXPECT_EQ(testsupport::ReadBytes(file), advice);
  EXPECT_TRUE(Posted(MsgQuoteEvent).empty()) << "no clock record";
  EXPECT_EQ(CurrentPushState().serverClockTick, 0u);
}

}  // namespace
}  // namespace nettest
