// The push connection with a raw client and a manual clock: the opening-frame rule, clock
// records, subscriptions and their snapshots, quote records only for changed quotes and only
// within trading hours, news flashes that join the news lists, fetch and advice records,
// compressed bodies, the timed push and news flashes on the server's ticker, and the silence
// rule.
#include "quoteserver/ServerFixture.h"

#include "MarketModel.h"
#include "PushFeed.h"

#include <zlib.h>

#include <cstring>
#include <map>
#include <set>

namespace quoteservertest {
namespace {

using zuvo::quoteserver::PortRole;

// Friday 2024-06-28 00:00 UTC; the sample markets keep Beijing time (UTC + 8).
constexpr std::int64_t kFriday = kSampleNow - 86400;
constexpr std::int64_t kHour = 3600;
// 12:05 Beijing time: the lunch break of every sample market.
constexpr std::int64_t kLunch = kFriday + 4 * kHour + 5 * 60;

std::vector<std::string> Records(const std::string& body) {
  std::vector<std::string> records;
  for (std::size_t at = 0; at + 128 <= body.size(); at += 128) records.push_back(body.substr(at, 128));
  return records;
}

bool IsClock(const std::string& record) { return Get16(record, 0) == 0 && record[116] == '\0'; }
std::string CodeOf(const std::string& record) { return record.substr(116, record.find('\0', 116) - 116); }

class PushTest : public ServerTest {
 protected:
  void SetUp() override {
    std::string error;
    model_ = zuvo::model::MarketModel::Load(SampleRoot(), 1, &error);
    ASSERT_NE(model_, nullptr) << error;
    auto config = SampleConfig();
    config.timedPush = false;
    StartServer(config);
    server_->SetManualClock(kLunch);
  }

  // Every instrument of the sample market as subscription keys.
  std::vector<SubscribedKey> AllKeys() const {
    std::vector<SubscribedKey> keys;
    for (int m = 0; m < model_->MarketCount(); ++m) {
      for (int i = 0; i < model_->InstrumentCount(m); ++i) {
        keys.push_back({static_cast<std::uint8_t>(m), static_cast<std::uint16_t>(i)});
      }
    }
    return keys;
  }

  // Subscribes and waits until the server has taken the subscription.
  void Subscribe(RawClient* client, const std::vector<SubscribedKey>& keys, int fresh, int count = -1) {
    client->Send(100, SubscriptionBody(keys, fresh, count));
    ASSERT_TRUE(server_->AwaitReceived(PortRole::kPush, 100, ++subscriptions_, 10000));
  }

  // The records of the frames that arrive until the client is quiet after a push step (the
  // server has sent everything before PushStep returns).
  std::vector<std::string> ReadRecords(RawClient* client, std::size_t frames) {
    std::vector<std::string> records;
    for (std::size_t f = 0; f < frames; ++f) {
      Frame frame;
      EXPECT_TRUE(client->ReadFrame(&frame));
      EXPECT_EQ(frame.type, 8);
      EXPECT_EQ(frame.count, 1);
      for (const std::string& record : Records(frame.body)) records.push_back(record);
    }
    return records;
  }

  // The record the server should push for an instrument at now.
  std::string ExpectedRecord(int market, int index, std::int64_t now) const {
    const QuoteRecord quote = model_->Quote(market, index, now);
    std::string record(128, '\0');
    Put16(&record, 0, static_cast<std::uint16_t>(market));
    std::memcpy(&record[4], &quote, 32);
    std::memcpy(&record[36], reinterpret_cast<const char*>(&quote) + 40, 80);
    const char* code = model_->Instrument(market, index)->code;
    std::memcpy(&record[116], code, std::strlen(code));
    std::memcpy(&record[124], &quote.settlement, 4);
    return record;
  }

  std::unique_ptr<zuvo::model::MarketModel> model_;
  std::uint64_t subscriptions_ = 0;
};

TEST_F(PushTest, TheFirstFrameMustBeTheOpeningFrame) {
  std::string fourBytes(4, '\0');
  struct Case {
    const char* name;
    std::uint8_t type;
    std::string body;
  };
  const Case cases[] = {
      {"a subscription first", 100, SubscriptionBody({{0, 0}}, 1)},
      {"a heartbeat first", 1, ""},
      {"the number 3", 202, std::string("\x03\0\0\0", 4)},
      {"a body of two bytes", 202, std::string("\x04\0", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawClient client(pushPort());
    client.Send(c.type, c.body);
    std::string bytes;
    EXPECT_TRUE(client.ReadUntilClosed(&bytes));
    EXPECT_TRUE(bytes.empty());
  }
  EXPECT_TRUE(Logged("the first push frame is not the opening frame"));
  // The opening frame is answered with the clock record at once: the server's UTC minute.
  std::string clock;
  auto client = OpenedPush(&clock);
  ASSERT_EQ(clock.size(), 128u);
  EXPECT_TRUE(IsClock(clock));
  EXPECT_EQ(Get16(clock, 2), 4 * 60 + 5);
  EXPECT_EQ(clock.find_first_not_of('\0', 4), std::string::npos);
}

TEST_F(PushTest, ClockRecordsComeOncePerMinute) {
  auto client = OpenedPush();
  server_->PushStep();
  EXPECT_TRUE(client->Quiet()) << "the same minute again";
  server_->StepClock(30);   // 04:05:30
  server_->PushStep();
  EXPECT_TRUE(client->Quiet());
  server_->StepClock(30);   // 04:06:00
  server_->PushStep();
  auto records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(IsClock(records[0]));
  EXPECT_EQ(Get16(records[0], 2), 4 * 60 + 6);
  // Across midnight the minutes start again from 0.
  server_->SetManualClock(kFriday + 86400 + 60);
  server_->PushStep();
  records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(Get16(records[0], 2), 1);
}

TEST_F(PushTest, QuoteRecordsCarryTheQuoteAndMoveOnlyInTradingHours) {
  auto client = OpenedPush();
  const std::vector<SubscribedKey> keys = AllKeys();
  Subscribe(client.get(), keys, static_cast<int>(keys.size()));
  // Every key is new: a snapshot of each, in frames of at most 64 records.
  std::vector<std::string> snapshots = ReadRecords(client.get(), 1);
  ASSERT_EQ(snapshots.size(), keys.size());
  for (std::size_t k = 0; k < keys.size(); ++k) {
    SCOPED_TRACE(CodeOf(snapshots[k]));
    EXPECT_EQ(snapshots[k], ExpectedRecord(keys[k].market, keys[k].index, kLunch));
  }

  // Nothing changed: nothing pushed. The lunch break goes on: a clock record alone.
  server_->PushStep();
  EXPECT_TRUE(client->Quiet());
  server_->StepClock(20 * 60);
  server_->PushStep();
  std::vector<std::string> records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(IsClock(records[0]));

  // 13:05 Beijing: the stock markets and the financial futures trade again, the commodity
  // futures (from 13:30) do not.
  const std::int64_t afternoon = kFriday + 5 * kHour + 5 * 60;
  server_->SetManualClock(afternoon);
  server_->PushStep();
  records = ReadRecords(client.get(), 1);
  ASSERT_GT(records.size(), 1u);
  EXPECT_TRUE(IsClock(records[0]));
  std::set<std::string> pushed;
  for (std::size_t r = 1; r < records.size(); ++r) {
    const std::string code = CodeOf(records[r]);
    pushed.insert(code);
    const int market = Get16(records[r], 0);
    const int index = model_->FindInstrument(market, code.c_str());
    ASSERT_GE(index, 0) << code;
    EXPECT_EQ(records[r], ExpectedRecord(market, index, afternoon)) << code;
  }
  for (const char* code : {"600100", "000100", "00011", "IF2409"}) EXPECT_EQ(pushed.count(code), 1u) << code;
  for (const char* code : {"CU2409", "M2409"}) EXPECT_EQ(pushed.count(code), 0u) << code;
  // What was pushed is not pushed again while it stays.
  server_->PushStep();
  EXPECT_TRUE(client->Quiet());
}

TEST_F(PushTest, BeforeTheFirstTradeTheQuoteHoldsThePreviousCloseWithDepthOnlyWhereTheCategoryHasIt) {
  // 09:10 Beijing: the new trading day has begun (day change 09:02), no stock has traded.
  const std::int64_t morning = kFriday + kHour + 10 * 60;
  server_->SetManualClock(morning);
  auto client = OpenedPush();
  const int index = model_->FindInstrument(0, "000001");   // an index: no depth
  const int stock = model_->FindInstrument(0, "600100");
  Subscribe(client.get(), {{0, static_cast<std::uint16_t>(index)}, {0, static_cast<std::uint16_t>(stock)}}, 2);
  std::vector<std::string> records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 2u);
  const PackedTime day = PackedDate(model_->MarketTime(0, morning));
  for (const std::string& record : records) {
    SCOPED_TRACE(CodeOf(record));
    QuoteRecord quote{};
    std::memcpy(&quote, &record[4], 32);
    EXPECT_EQ(quote.last, 0u);
    EXPECT_EQ(quote.prevClose, model_->PrevClose(0, CodeOf(record) == "000001" ? index : stock, day));
    EXPECT_GT(quote.prevClose, 0u);
  }
  // 10:00: both have traded; the stock shows five levels a price step apart, the index none.
  server_->SetManualClock(kFriday + 2 * kHour);
  server_->PushStep();
  records = ReadRecords(client.get(), 1);
  std::map<std::string, QuoteRecord> quotes;
  for (const std::string& record : records) {
    if (IsClock(record)) continue;
    QuoteRecord quote{};
    std::memcpy(&quote, &record[4], 32);
    std::memcpy(reinterpret_cast<char*>(&quote) + 40, &record[36], 80);
    quotes[CodeOf(record)] = quote;
  }
  ASSERT_EQ(quotes.size(), 2u);
  const QuoteRecord& withDepth = quotes["600100"];
  EXPECT_GT(withDepth.last, 0u);
  for (int level = 0; level < 5; ++level) {
    EXPECT_EQ(withDepth.bids[level].price, withDepth.last - static_cast<std::uint32_t>(level) - 1);
    EXPECT_EQ(withDepth.asks[level].price, withDepth.last + static_cast<std::uint32_t>(level) + 1);
    EXPECT_GT(withDepth.asks[level].volume, 0.0f);
  }
  const QuoteRecord& noDepth = quotes["000001"];
  EXPECT_GT(noDepth.last, 0u);
  for (int level = 0; level < 5; ++level) EXPECT_EQ(noDepth.bids[level].price + noDepth.asks[level].price, 0u);
}

TEST_F(PushTest, ASubscriptionSnapshotsItsNewKeysOnlyAndReplacesTheSet) {
  auto client = OpenedPush();
  const SubscribedKey a{0, 2}, b{0, 3}, c{1, 2}, d{2, 0}, nothing{9, 1}, pastTheEnd{0, 999};
  // Unknown keys are skipped, a duplicate counts once.
  Subscribe(client.get(), {a, a, nothing, b, pastTheEnd}, 5);
  std::vector<std::string> records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(CodeOf(records[0]), model_->Instrument(a.market, a.index)->code);
  EXPECT_EQ(CodeOf(records[1]), model_->Instrument(b.market, b.index)->code);

  // c is new, a is kept: only c gets its snapshot, and d, named as kept though never sent, is
  // pushed at the next step.
  Subscribe(client.get(), {c, a, d}, 1);
  records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(CodeOf(records[0]), model_->Instrument(c.market, c.index)->code);
  server_->PushStep();
  records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(CodeOf(records[0]), model_->Instrument(d.market, d.index)->code);
  const auto connections = server_->Connections();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_EQ(connections[0].subscribed, 3u);

  // The count of new keys is clamped to the count; a negative one means none.
  Subscribe(client.get(), {b}, 9);
  EXPECT_EQ(ReadRecords(client.get(), 1).size(), 1u);
  Subscribe(client.get(), {a, c}, -3);
  EXPECT_TRUE(client->Quiet());
  // A count above 256 is cut to 256; a short body closes the connection.
  Subscribe(client.get(), {a}, 0, 300);
  client->Send(100, std::string(773, '\0'));
  std::string rest;
  EXPECT_TRUE(client->ReadUntilClosed(&rest));
  EXPECT_TRUE(Logged("subscription body shorter than 774 bytes"));
}

TEST_F(PushTest, RecordsGoInFramesOfAtMost64) {
  std::vector<std::uint8_t> out;
  zuvo::quoteserver::ReplyWriter writer(&out, zuvo::quoteserver::Compression::kNone);
  const std::vector<std::uint8_t> records(130 * 128, 7);
  zuvo::quoteserver::WritePushRecords(&writer, records.data(), 130);
  ASSERT_EQ(writer.frames(), 3);
  EXPECT_EQ(out.size(), 3 * 10 + 130 * 128u);
  EXPECT_EQ(Get16(std::string(out.begin(), out.begin() + 10), 6), 64 * 128);
  EXPECT_EQ(Get16(std::string(out.end() - 2 * 128 - 10, out.end()), 6), 2 * 128);
}

TEST_F(PushTest, NewsFlashesJoinTheNewsListsAndFetchAndAdviceGoToEveryone) {
  auto first = OpenedPush();
  auto second = OpenedPush();
  const int markets = model_->MarketCount();
  // The console takes what a terminal sends: UTF-8.
  const std::string answer = server_->Command("news " + std::string(reinterpret_cast<const char*>(u8"本地测试快讯")));
  ASSERT_EQ(answer.rfind("news flash ", 0), 0u) << answer;
  std::uint32_t id = 0;
  for (RawClient* client : {first.get(), second.get()}) {
    const std::vector<std::string> records = ReadRecords(client, 1);
    ASSERT_EQ(records.size(), 1u);
    const std::string& flash = records[0];
    EXPECT_EQ(static_cast<std::uint8_t>(flash[0]), markets + 1);
    EXPECT_GE(flash[1], 1);
    EXPECT_LE(flash[1], 6);
    id = Get32(flash, 2);
    // 12:05 on 2024-06-28 as YYMMDD and HHMM.
    EXPECT_EQ(Get32(flash, 6), (1205u << 20) | 240628u);
    EXPECT_EQ(flash.substr(10, flash.find('\0', 10) - 10), "本地测试快讯");
  }
  for (const zuvo::model::NewsItem& item : model_->News(kLunch)) EXPECT_GT(id, std::uint32_t{item.entry.id});

  // The next news list holds it, and its text is there.
  std::string list = Field(10, 0, "");
  Put32(&list, 6, id);
  Reply reply = Ask(15, list);
  ASSERT_EQ(reply.type, 15);
  const std::string entries = reply.Data(2);
  ASSERT_EQ(entries.size(), 90u);
  EXPECT_EQ(Get32(entries, 2), id);
  EXPECT_EQ(entries.substr(10, entries.find('\0', 10) - 10), "本地测试快讯");
  std::string text = Field(6, 0, "\x02");
  Put32(&text, 2, id);
  reply = Ask(15, text);
  ASSERT_EQ(reply.type, 15);
  EXPECT_NE(reply.Data(2).find("本地测试快讯"), std::string::npos);

  EXPECT_EQ(server_->Command("fetch"), "fetch request pushed");
  std::vector<std::string> records = ReadRecords(first.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(static_cast<std::uint8_t>(records[0][0]), markets + 2);
  EXPECT_EQ(records[0].find_first_not_of('\0', 1), std::string::npos);

  EXPECT_EQ(server_->Command("advice 600100"), "advice for 600100 pushed");
  records = ReadRecords(second.get(), 2);   // the fetch record, then the advice
  ASSERT_EQ(records.size(), 2u);
  const std::string& advice = records[1];
  const int index = model_->FindInstrument(0, "600100");
  EXPECT_EQ(Get16(advice, 0), 0);
  EXPECT_EQ(Get16(advice, 2), 10000 + index);
  const auto all = model_->Advice(0, index, kLunch);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(advice.substr(6, 108), std::string(reinterpret_cast<const char*>(&all.back()), 108));
}

TEST_F(PushTest, TimedPushComesWhenTheTickerPassesPushMsAndNotBefore) {
  auto config = SampleConfig();
  config.pushMs = 500;
  StartServer(config, DrivenTicker());
  // 10:00 Beijing: the stocks trade, so the quote moves from one minute to the next.
  const std::int64_t morning = kFriday + 2 * kHour;
  server_->SetManualClock(morning);
  const int index = model_->FindInstrument(0, "600100");
  ASSERT_GE(index, 0);
  ASSERT_NE(ExpectedRecord(0, index, morning), ExpectedRecord(0, index, morning + 60));
  auto client = OpenedPush();
  // No key named new: nothing at once, the timed push sends the quote.
  Subscribe(client.get(), {{0, static_cast<std::uint16_t>(index)}}, 0);
  ticks_ += 499;
  server_->Tick();
  EXPECT_TRUE(client->Quiet()) << "not before push-ms";
  ticks_ += 1;
  server_->Tick();
  std::vector<std::string> records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], ExpectedRecord(0, index, morning));

  // The next minute: push-ms after the last push, the clock record and the moved quote.
  server_->StepClock(60);
  ticks_ += 499;
  server_->Tick();
  EXPECT_TRUE(client->Quiet()) << "push-ms counts from the last push";
  ticks_ += 1;
  server_->Tick();
  records = ReadRecords(client.get(), 1);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(IsClock(records[0]));
  EXPECT_EQ(Get16(records[0], 2), 2 * 60 + 1);
  EXPECT_EQ(records[1], ExpectedRecord(0, index, morning + 60));

  // Due again with nothing changed: nothing goes out.
  ticks_ += 500;
  server_->Tick();
  EXPECT_TRUE(client->Quiet());
}

TEST_F(PushTest, TimedNewsFlashesComeEveryNewsEverySecondsAndJoinTheList) {
  auto config = SampleConfig();
  config.timedPush = false;
  config.newsEvery = 120;
  StartServer(config, DrivenTicker());
  server_->SetManualClock(kLunch);
  auto client = OpenedPush();
  const int markets = model_->MarketCount();
  std::vector<std::uint32_t> ids;
  for (int flash = 0; flash < 2; ++flash) {
    SCOPED_TRACE(flash);
    ticks_ += 120 * 1000 - 1;
    server_->Tick();
    EXPECT_TRUE(client->Quiet()) << "not before news-every";
    ticks_ += 1;
    server_->Tick();
    const std::vector<std::string> records = ReadRecords(client.get(), 1);
    ASSERT_EQ(records.size(), 1u);
    const std::string& record = records[0];
    EXPECT_EQ(static_cast<std::uint8_t>(record[0]), markets + 1);
    EXPECT_EQ(Get32(record, 6), (1205u << 20) | 240628u);
    const std::size_t end = record.find('\0', 10);
    ASSERT_NE(end, std::string::npos);
    EXPECT_GT(end, 10u) << "a title";
    EXPECT_LE(end - 10, 79u);
    ids.push_back(Get32(record, 2));
  }
  EXPECT_GT(ids[1], ids[0]);
  for (const zuvo::model::NewsItem& item : model_->News(kLunch)) EXPECT_GT(ids[0], std::uint32_t{item.entry.id});

  // Both joined the list: the page from the first one's id holds exactly them.
  std::string list = Field(10, 0, "");
  Put32(&list, 6, ids[0]);
  const Reply reply = Ask(15, list);
  ASSERT_EQ(reply.type, 15);
  const std::string entries = reply.Data(2);
  ASSERT_EQ(entries.size(), 2u * 90);
  EXPECT_EQ(Get32(entries, 2), ids[0]);
  EXPECT_EQ(Get32(entries, 90 + 2), ids[1]);
}

TEST_F(PushTest, CompressedBodiesDecodeToThePlainRecords) {
  for (const auto compression : {zuvo::quoteserver::Compression::kZlib, zuvo::quoteserver::Compression::kLzw}) {
    SCOPED_TRACE(zuvo::quoteserver::CompressionName(compression));
    auto config = SampleConfig();
    config.timedPush = false;
    config.pushCompression = compression;
    StartServer(config);
    server_->SetManualClock(kLunch);
    RawClient client(pushPort());
    client.Send(202, OpeningFrameBody());
    client.Send(100, SubscriptionBody(AllKeys(), 40));
    std::string plain;
    for (int frame = 0; frame < 2; ++frame) {
      std::string header;
      ASSERT_TRUE(client.ReadBytes(10, &header));
      EXPECT_EQ(header[8], 1) << "compressed";
      std::string body;
      ASSERT_TRUE(client.ReadBytes(Get16(header, 6), &body));
      std::string decoded;
      if (compression == zuvo::quoteserver::Compression::kZlib) {
        decoded.resize(16384);
        uLongf size = decoded.size();
        ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(decoded.data()), &size,
                             reinterpret_cast<const Bytef*>(body.data()), body.size()),
                  Z_OK);
        decoded.resize(size);
      } else {
        ASSERT_TRUE(DecodeWmc(body, &decoded));
      }
      EXPECT_LE(decoded.size(), 8192u);
      plain += decoded;
    }
    ASSERT_EQ(plain.size(), (1 + AllKeys().size()) * 128);
    EXPECT_TRUE(IsClock(plain.substr(0, 128)));
    EXPECT_EQ(plain.substr(128, 128), ExpectedRecord(0, 0, kLunch));
  }
}

TEST_F(PushTest, HeartbeatsAreIgnoredAndOnlyFiveMinutesOfSilenceClose) {
  auto config = SampleConfig();
  config.timedPush = false;
  StartServer(config, DrivenTicker());
  auto push = OpenedPush();
  auto request = LoggedIn();
  ticks_ += 299 * 1000;
  push->Send(1, "");
  server_->Tick();
  EXPECT_TRUE(push->Quiet()) << "a heartbeat gets no answer";
  EXPECT_TRUE(request->Quiet()) << "still open";
  // The request client said nothing for 300 s: closed. The push client spoke 1 s ago.
  ticks_ += 1000;
  server_->Tick();
  EXPECT_TRUE(request->WaitClosed());
  EXPECT_TRUE(push->Quiet());
  ticks_ += 299 * 1000;
  server_->Tick();
  EXPECT_TRUE(push->WaitClosed());
  EXPECT_TRUE(Logged("5 minutes without a frame"));
}

}  // namespace
}  // namespace quoteservertest
