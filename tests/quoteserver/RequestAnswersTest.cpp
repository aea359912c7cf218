// The asynchronous answers: every kind's head echo, record sizes and whole records per frame,
// and per kind what it selects (bars by date and page, trades from a position, news pages,
// block members, texts by name). The server runs at the sample tree's moment, so today's
// trades are the whole of Friday 2024-06-28.
#include "quoteserver/ServerFixture.h"

#include "MarketModel.h"
#include "data/CacheRecords.h"
#include "data/Records.h"
#include "support/TempInstall.h"

#include <cstring>
#include <set>

namespace quoteservertest {
namespace {

using testsupport::ReadBytes;

constexpr PackedTime kFriday = MakePackedTime(2024, 6, 28);
constexpr PackedTime kEpoch = MakePackedTime(2015, 1, 5);

// Request bodies, as the terminal lays them out.
std::string BarsBody(int fileKind, int market, const std::string& code, std::uint32_t first, std::uint32_t last) {
  std::string body = Field(22, 2, code);
  body[0] = static_cast<char>(fileKind);
  body[1] = static_cast<char>(market);
  Put32(&body, 14, first);
  Put32(&body, 18, last);
  return body;
}
std::string MarketCodeBody(std::size_t size, int market, std::size_t codeAt, const std::string& code) {
  std::string body = Field(size, codeAt, code);
  body[0] = static_cast<char>(market);
  return body;
}
std::string HeldBody(int param, int market, const std::string& code, std::uint32_t held) {
  std::string body = Field(14, 2, code);
  body[0] = static_cast<char>(param);
  body[1] = static_cast<char>(market);
  Put32(&body, 10, held);
  return body;
}
std::string NewsListBody(int category, std::uint32_t direction, std::uint32_t bound) {
  std::string body(10, '\0');
  body[1] = static_cast<char>(category);
  Put32(&body, 2, direction);
  Put32(&body, 6, bound);
  return body;
}
std::string NewsTextBody(int category, std::uint32_t id) {
  std::string body(6, '\0');
  body[0] = 2;
  body[1] = static_cast<char>(category);
  Put32(&body, 2, id);
  return body;
}
std::string NoteBody(int list, const std::string& name) {
  std::string body = Field(20, 2, name);
  body[0] = 1;
  body[1] = static_cast<char>(list);
  return body;
}
std::string TrendBody(int market, const std::string& code, PackedTime day) {
  std::string body = HeldBody(1, market, code, 0);
  Put32(&body, 10, day);
  return body;
}
std::string InfoIndexBody(int market, const std::string& code, int n, std::uint32_t held) {
  std::string body = MarketCodeBody(14, market, 1, code);
  body[9] = static_cast<char>(n);
  Put32(&body, 10, held);
  return body;
}
std::string InfoTextBody(int market, const std::string& code, int n, const std::string& name, std::int32_t offset,
                         std::uint32_t length) {
  std::string body = MarketCodeBody(98, market, 1, code);
  body[9] = static_cast<char>(n);
  body.replace(10, name.size(), name);
  Put32(&body, 90, static_cast<std::uint32_t>(offset));
  Put32(&body, 94, length);
  return body;
}
std::string KeysBody(std::size_t size, std::size_t keysAt, const std::vector<std::pair<int, int>>& keys) {
  std::string body(size, '\0');
  for (std::size_t k = 0; k < keys.size(); ++k) {
    body[keysAt + k * 3] = static_cast<char>(keys[k].first);
    Put16(&body, keysAt + k * 3 + 1, static_cast<std::uint16_t>(keys[k].second));
  }
  return body;
}
std::string SnapshotBody(const std::vector<std::pair<int, int>>& keys) {
  std::string body = KeysBody(770, 0, keys);
  Put16(&body, 768, static_cast<std::uint16_t>(keys.size()));
  return body;
}
std::string SortBody(int code, bool listAbsent, int countOrBlock, const std::vector<std::pair<int, int>>& keys = {}) {
  std::string body = KeysBody(775, 7, keys);
  body[0] = static_cast<char>(code);
  Put32(&body, 1, listAbsent ? 1 : 0);
  Put16(&body, 5, static_cast<std::uint16_t>(countOrBlock));
  return body;
}

template <typename Record>
std::vector<Record> Records(const std::string& data) {
  std::vector<Record> records(data.size() / sizeof(Record));
  std::memcpy(records.data(), data.data(), records.size() * sizeof(Record));
  return records;
}

class RequestAnswersTest : public ServerTest {
 protected:
  void SetUp() override { StartServer(); }
};

TEST_F(RequestAnswersTest, EveryKindEchoesItsHeadAndSendsWholeRecords) {
  struct Case {
    const char* name;
    std::uint8_t type;
    std::string body;
    std::size_t head;
    std::size_t record;     // 1 for texts
    std::size_t lead;       // bytes before the records in frame 0
    bool data;              // records expected
  };
  const Case cases[] = {
      {"day bars", 12, BarsBody(8, 0, "600100", kEpoch, 0), 14, 32, 0, true},
      {"60-minute bars", 12, BarsBody(7, 2, "CU2409", 0, 0), 14, 32, 0, true},
      {"1-minute bars", 12, BarsBody(1, 3, "00011", 0, 0), 14, 32, 0, true},
      {"company text", 21, MarketCodeBody(13, 0, 5, "600100"), 13, 1, 0, true},
      {"news list", 15, NewsListBody(0, 0, 0), 2, 90, 0, true},
      {"trade details", 10, HeldBody(1, 0, "600100", 0), 14, 28, 16, true},
      {"newest trades", 11, [] { std::string b = MarketCodeBody(13, 2, 1, "CU2409"); Put32(&b, 9, 30); return b; }(), 13,
       20, 0, true},
      {"weights", 18, MarketCodeBody(13, 0, 5, "600100"), 13, 36, 0, true},
      {"weights of a future", 18, MarketCodeBody(13, 2, 5, "CU2409"), 13, 36, 0, false},
      {"ticks", 20, HeldBody(0, 1, "000100", 0), 14, 20, 0, true},
      {"broker queue", 102, MarketCodeBody(9, 3, 1, "00011"), 9, 244, 0, true},
      {"system message", 203, std::string(4, '\0'), 4, 1, 0, true},
      {"real-time message", 204, std::string("\x03\0\0\0", 4), 4, 1, 0, true},
      {"sort by last price", 101, SortBody(4, true, 0), 1, 8, 0, true},
      {"sort by change percent", 101, SortBody(15, true, 1), 1, 11, 0, true},
      {"sort by amplitude", 101, SortBody(13, true, 2), 1, 15, 0, true},
      {"sort by strength", 101, SortBody(17, false, 2, {{0, 2}, {0, 3}}), 1, 11, 11, true},
      {"notes list", 16, Field(10, 1, std::string(1, '\x02')), 2, 108, 0, true},
      {"quote snapshot", 9, SnapshotBody({{0, 2}, {2, 0}}), 0, 28, 0, true},
      {"advice", 33, MarketCodeBody(17, 0, 1, "600100"), 9, 108, 0, true},
      {"trend day", 31, TrendBody(0, "600100", kFriday), 14, 12, 0, true},
      {"information index", 40, InfoIndexBody(0, "600100", 2, 0), 14, 256, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reply reply = Ask(c.type, c.body);
    ASSERT_EQ(reply.type, c.type) << "level " << reply.level();
    std::size_t records = 0;
    for (const Frame& frame : reply.frames) {
      ASSERT_GE(frame.body.size(), std::max<std::size_t>(c.head, 1));
      ASSERT_LE(frame.body.size(), 8192u);
      EXPECT_EQ(frame.body.substr(0, c.head), c.body.substr(0, c.head));
      const std::size_t lead = frame.index == 0 ? c.lead : 0;
      ASSERT_GE(frame.body.size(), c.head + lead);
      EXPECT_EQ((frame.body.size() - c.head - lead) % c.record, 0u) << "frame " << frame.index;
      records += (frame.body.size() - c.head - lead) / c.record;
    }
    EXPECT_EQ(records > 0, c.data) << records;
  }
}

TEST_F(RequestAnswersTest, BarsAscendFromTheFirstDateOrPageUpToTheLastTime) {
  const std::vector<ChartBar> all = Records<ChartBar>(Ask(12, BarsBody(8, 0, "600100", kEpoch, 0)).Data(14));
  ASSERT_GT(all.size(), 2000u);
  EXPECT_EQ(+all.front().time, kEpoch);
  EXPECT_EQ(+all.back().time, kFriday);
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(+all[i].time & 0x7FF, 0u) << "day bars carry no time";
    if (i > 0) {
      ASSERT_LT(+all[i - 1].time, +all[i].time);
    }
  }

  // Neither date: the newest page (1000 by default).
  const std::vector<ChartBar> newest = Records<ChartBar>(Ask(12, BarsBody(8, 0, "600100", 0, 0)).Data(14));
  ASSERT_EQ(newest.size(), 1000u);
  EXPECT_EQ(std::memcmp(newest.data(), all.data() + all.size() - 1000, 1000 * 32), 0);

  // Up to a last time: the page that ends there.
  const PackedTime last = all[1500].time;
  const std::vector<ChartBar> older = Records<ChartBar>(Ask(12, BarsBody(8, 0, "600100", 0, last)).Data(14));
  ASSERT_EQ(older.size(), 1000u);
  EXPECT_EQ(+older.back().time, last);
  EXPECT_EQ(std::memcmp(older.data(), all.data() + 501, 1000 * 32), 0);

  // From a first date: everything from that day on, however many.
  const std::vector<ChartBar> recent = Records<ChartBar>(Ask(12, BarsBody(8, 0, "600100", all[10].time, 0)).Data(14));
  EXPECT_EQ(recent.size(), all.size() - 10);

  // Nothing after the newest bar: one frame of the head alone.
  const Reply none = Ask(12, BarsBody(8, 0, "600100", MakePackedTime(2024, 7, 1), 0));
  ASSERT_EQ(none.type, 12);
  ASSERT_EQ(none.frames.size(), 1u);
  EXPECT_EQ(none.frames[0].body.size(), 14u);

  // Intraday bars ascend across days.
  const std::vector<ChartBar> minutes = Records<ChartBar>(Ask(12, BarsBody(4, 2, "CU2409", 0, 0)).Data(14));
  ASSERT_EQ(minutes.size(), 1000u);
  for (std::size_t i = 1; i < minutes.size(); ++i) ASSERT_LT(+minutes[i - 1].time, +minutes[i].time);

  // Another bar file kind, or an unknown instrument: refused quietly.
  for (const std::string& body : {BarsBody(2, 0, "600100", 0, 0), BarsBody(8, 0, "999999", 0, 0),
                                  BarsBody(8, 9, "600100", 0, 0)}) {
    const Reply refused = Ask(12, body);
    EXPECT_EQ(refused.type, 2);
    EXPECT_EQ(refused.level(), 0);
  }
}

TEST_F(RequestAnswersTest, PageSizeFollowsTheOption) {
  auto config = SampleConfig();
  config.page = 7;
  StartServer(config);
  EXPECT_EQ(Ask(12, BarsBody(1, 0, "600100", 0, 0)).Data(14).size(), 7u * 32);
}

TEST_F(RequestAnswersTest, InstalledSampleFilesEqualTheAnswersForTheirDays) {
  struct Case {
    const char* file;
    std::uint8_t type;
    std::string body;
    std::size_t head;
  };
  auto firstDay = [](const char* file) {
    const std::string bytes = ReadBytes(SampleRoot() / "data" / file);
    return bytes.size() < 4 ? 0u : PackedDate(Get32(bytes, 0));
  };
  const Case cases[] = {
      {"SH/day/600100.day", 12, BarsBody(8, 0, "600100", kEpoch, 0), 14},
      {"QH/day/CU2409.day", 12, BarsBody(8, 2, "CU2409", kEpoch, 0), 14},
      {"SZ/hour/000100.hr", 12, BarsBody(7, 1, "000100", firstDay("SZ/hour/000100.hr"), 0), 14},
      {"QH/min/M2409.min", 12, BarsBody(4, 2, "M2409", firstDay("QH/min/M2409.min"), 0), 14},
      {"HK/min1/00022.m1", 12, BarsBody(1, 3, "00022", firstDay("HK/min1/00022.m1"), 0), 14},
      {"SH/tick/600200.tik", 20, HeldBody(0, 0, "600200", 0), 14},
      {"QH/tick/AU2412.tik", 20, HeldBody(0, 2, "AU2412", 0), 14},
      {"SH/weight/600100.wgt", 18, MarketCodeBody(13, 0, 5, "600100"), 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string stored = ReadBytes(SampleRoot() / "data" / c.file);
    ASSERT_FALSE(stored.empty());
    const Reply reply = Ask(c.type, c.body);
    EXPECT_EQ(reply.type, c.type);
    EXPECT_TRUE(reply.Data(c.head) == stored) << reply.Data(c.head).size() << " bytes against " << stored.size();
  }
}

TEST_F(RequestAnswersTest, TradesAndDetailsStartWhereTheClientStands) {
  const std::string ticks = Ask(20, HeldBody(0, 0, "600300", 0)).Data(14);
  ASSERT_GT(ticks.size(), 100u * 20);
  EXPECT_EQ(Ask(20, HeldBody(0, 0, "600300", 100)).Data(14), ticks.substr(100 * 20));
  const Reply caughtUp = Ask(20, HeldBody(0, 0, "600300", static_cast<std::uint32_t>(ticks.size() / 20)));
  EXPECT_EQ(caughtUp.Data(14), "");
  EXPECT_EQ(caughtUp.frames.size(), 1u);

  std::string recentBody = MarketCodeBody(13, 0, 1, "600300");
  Put32(&recentBody, 9, 30);
  EXPECT_EQ(Ask(11, recentBody).Data(13), ticks.substr(ticks.size() - 30 * 20)) << "the newest 30, oldest first";

  // Trade details: the header first, then the minutes from the last one held (it may have
  // grown since the client took it).
  const Reply all = Ask(10, HeldBody(1, 0, "600300", 0));
  const std::string minutes = all.Data(14).substr(16);
  ASSERT_EQ(minutes.size(), 240u * 28) << "a whole stock day";
  const Reply fromFive = Ask(10, HeldBody(1, 0, "600300", 5));
  EXPECT_EQ(fromFive.Data(14).substr(0, 16), all.Data(14).substr(0, 16));
  EXPECT_EQ(fromFive.Data(14).substr(16), minutes.substr(4 * 28));
}

TEST_F(RequestAnswersTest, NewsCatchUpPagesToTheEndAndPagesBack) {
  std::vector<zuvo::model::NewsEntry> seen;
  std::uint32_t bound = 0;
  for (int page = 0;; ++page) {
    ASSERT_LT(page, 100) << "the catch-up never ended";
    const Reply reply = Ask(15, NewsListBody(0, 0, bound));
    if (reply.type == 2) {
      EXPECT_EQ(reply.level(), 0);
      break;
    }
    ASSERT_EQ(reply.type, 15);
    const auto entries = Records<zuvo::model::NewsEntry>(reply.Data(2));
    ASSERT_FALSE(entries.empty());
    EXPECT_LE(entries.size(), 50u);
    EXPECT_GE(+entries.front().id, bound);
    seen.insert(seen.end(), entries.begin(), entries.end());
    bound = entries.back().id + 1;
  }
  ASSERT_EQ(seen.size(), 240u) << "8 items a day for 30 days";
  for (std::size_t i = 1; i < seen.size(); ++i) ASSERT_LT(+seen[i - 1].id, +seen[i].id);

  // Older than an id: the 50 nearest below it, of one category.
  const std::uint32_t below = seen[200].id;
  const auto older = Records<zuvo::model::NewsEntry>(Ask(15, NewsListBody(3, 1, below)).Data(2));
  ASSERT_FALSE(older.empty());
  std::vector<std::uint32_t> expected;
  for (const auto& entry : seen) {
    if (entry.category == 3 && entry.id <= below) expected.push_back(+entry.id);
  }
  if (expected.size() > 50) expected.erase(expected.begin(), expected.end() - 50);
  std::vector<std::uint32_t> got;
  for (const auto& entry : older) got.push_back(+entry.id);
  EXPECT_EQ(got, expected);

  // One item's text: frame 0 is the head alone, the text follows.
  const Reply text = Ask(15, NewsTextBody(seen[5].category, seen[5].id));
  ASSERT_EQ(text.type, 15);
  ASSERT_GE(text.frames.size(), 2u);
  EXPECT_EQ(text.frames[0].body, std::string("\x02", 1) + static_cast<char>(seen[5].category));
  EXPECT_FALSE(text.Data(2).empty());
  EXPECT_EQ(Ask(15, NewsTextBody(0, 12345)).type, 2) << "an id the server never made";
}

TEST_F(RequestAnswersTest, SortAnswersFollowBlockMembersOrTheKeys) {
  const std::string names = ReadBytes(SampleRoot() / "data" / "SH" / "nametbl.sh");
  // Automatic blocks: one per market (ids 0-3), then one per category of each market in
  // turn, so market 0's category 1 is block 4 + 1.
  std::vector<int> members;
  for (std::size_t i = 0; i < names.size() / 32; ++i) {
    if (names[i * 32 + 1] == 1) members.push_back(static_cast<int>(i));
  }
  ASSERT_FALSE(members.empty());
  const std::string data = Ask(101, SortBody(4, true, 5)).Data(1);
  ASSERT_EQ(data.size(), members.size() * 8);
  for (std::size_t k = 0; k < members.size(); ++k) {
    EXPECT_EQ(data[k * 8], 0);
    EXPECT_EQ(Get16(data, k * 8 + 1), members[k]);
    float price = 0;
    std::memcpy(&price, data.data() + k * 8 + 3, 4);
    EXPECT_GT(price, 0.0f);
  }
  // The market block holds every instrument of the market.
  EXPECT_EQ(Ask(101, SortBody(4, true, 0)).Data(1).size(), names.size() / 32 * 8);

  // A key list keeps its order; a key naming nothing keeps its place with zeros.
  const std::string keyed = Ask(101, SortBody(15, false, 3, {{1, 3}, {7, 1}, {0, 2}})).Data(1);
  ASSERT_EQ(keyed.size(), 3u * 11);
  EXPECT_EQ(keyed.substr(0, 3), std::string("\x01\x03\x00", 3));
  EXPECT_EQ(keyed.substr(11, 11), std::string("\x07\x01\x00", 3) + std::string(8, '\0'));
  EXPECT_EQ(keyed.substr(22, 3), std::string("\x00\x02\x00", 3));

  for (const std::string& body : {SortBody(27, true, 0), SortBody(4, true, 500), SortBody(4, false, 257)}) {
    const Reply refused = Ask(101, body);
    EXPECT_EQ(refused.type, 2);
    EXPECT_EQ(refused.level(), 0);
  }

  // The fast-change column (code 24): a = the last price, b = the last price 5 minutes
  // earlier, while the markets trade (10:02 Beijing on Friday).
  std::string error;
  const auto model = zuvo::model::MarketModel::Load(SampleRoot(), 1, &error);
  ASSERT_NE(model, nullptr) << error;
  const std::int64_t trading = kSampleNow - 86400 + 2 * 3600 + 2 * 60;
  server_->SetManualClock(trading);
  const std::vector<std::pair<int, int>> keys = {{0, 2}, {1, 3}, {2, 0}};
  const std::string fast = Ask(101, SortBody(24, false, 3, keys)).Data(1);
  ASSERT_EQ(fast.size(), keys.size() * 11);
  bool moved = false;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    SCOPED_TRACE(k);
    const QuoteRecord now = model->Quote(keys[k].first, keys[k].second, trading);
    const QuoteRecord before = model->Quote(keys[k].first, keys[k].second, trading - 300);
    ASSERT_GT(now.last, 0u);
    ASSERT_GT(before.last, 0u);
    float values[2] = {};
    std::memcpy(values, fast.data() + k * 11 + 3, sizeof values);
    EXPECT_EQ(values[0], static_cast<float>(now.last));
    EXPECT_EQ(values[1], static_cast<float>(before.last));
    moved = moved || now.last != before.last;
  }
  EXPECT_TRUE(moved) << "a and b differ somewhere, or the test shows nothing";
}

TEST_F(RequestAnswersTest, MessagesNameTheDateAndValue1) {
  struct Case {
    std::uint8_t type;
    std::uint32_t value1;
    const char* expected;
  };
  // The server's moment is 08:00 Beijing on Saturday 2024-06-29.
  const Case cases[] = {
      {203, 0, "系统消息：2024年06月29日，本地行情服务器运行正常。"},
      {204, 3, "即时消息（3）：2024年06月29日 08:00，行情推送正常。"},
      {204, 77, "即时消息（77）：2024年06月29日 08:00，行情推送正常。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int{c.type} << " " << c.value1);
    std::string body(4, '\0');
    Put32(&body, 0, c.value1);
    const Reply reply = Ask(c.type, body);
    ASSERT_EQ(reply.type, c.type);
    const std::string text = reply.Data(4);
    EXPECT_EQ(text.substr(0, text.find('\0')), c.expected);
  }
}

TEST_F(RequestAnswersTest, TrendOfPastTradingDaysOnly) {
  const Reply friday = Ask(31, TrendBody(0, "600100", kFriday));
  ASSERT_EQ(friday.type, 31);
  EXPECT_EQ(friday.Data(14).size(), 241u * 12) << "minutesPerDay + 1 minutes";
  for (PackedTime day : {MakePackedTime(2024, 6, 29), MakePackedTime(2024, 7, 1), MakePackedTime(2014, 12, 31)}) {
    const Reply refused = Ask(31, TrendBody(0, "600100", day));
    EXPECT_EQ(refused.type, 2);
    EXPECT_EQ(refused.level(), 0);
  }
}

TEST_F(RequestAnswersTest, InformationTextsAreChosenByTheirIndexOnly) {
  const auto index = Records<zuvo::model::InfoMineRecord>(Ask(40, InfoIndexBody(0, "600100", 1, 0)).Data(14));
  ASSERT_FALSE(index.empty());
  const std::string name = index[0].key;
  const std::string whole = Ask(41, InfoTextBody(0, "600100", 1, name, -1, 0)).Data(98);
  ASSERT_FALSE(whole.empty());
  const Reply section = Ask(41, InfoTextBody(0, "600100", 1, name, index[0].offset, index[0].length));
  EXPECT_EQ(section.Data(98), whole.substr(static_cast<std::size_t>(index[0].offset), index[0].length));
  EXPECT_EQ(Get32(section.frames[0].body, 90), static_cast<std::uint32_t>(index[0].offset));
  // Offset -1 (the whole text) is written from the start of the file.
  EXPECT_EQ(Get32(Ask(41, InfoTextBody(0, "600100", 1, name, -1, 0)).frames[0].body, 90), 0u);

  // The weekly index grows: from the records held on.
  const std::string weekly = Ask(40, InfoIndexBody(0, "600100", 3, 0)).Data(14);
  ASSERT_GT(weekly.size(), 10u * 256);
  EXPECT_EQ(Ask(40, InfoIndexBody(0, "600100", 3, 10)).Data(14), weekly.substr(10 * 256));

  for (int n : {0, 4}) {
    EXPECT_EQ(Ask(40, InfoIndexBody(0, "600100", n, 0)).type, 2) << n;
  }
}

TEST_F(RequestAnswersTest, NotesListAndNoteByItsFileName) {
  const auto notes = Records<zuvo::model::NoteEntry>(Ask(16, Field(10, 1, std::string(1, '\x01'))).Data(2));
  ASSERT_EQ(notes.size(), 30u);
  const Reply note = Ask(16, NoteBody(1, notes[3].fileName));
  ASSERT_EQ(note.type, 16);
  EXPECT_EQ(note.frames[0].body.substr(0, 2), std::string("\x01\x01", 2));
  EXPECT_FALSE(note.Data(2).empty());
  EXPECT_EQ(Ask(16, Field(10, 1, std::string(1, '\x05'))).type, 2) << "lists are 0 to 4";
}

TEST_F(RequestAnswersTest, SnapshotEntriesForKnownKeysOnly) {
  const auto entries = Records<zuvo::model::QuoteExtraEntry>(Ask(9, SnapshotBody({{0, 2}, {0, 999}, {2, 1}})).Data(0));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(+entries[0].market, 0);
  EXPECT_EQ(+entries[0].index, 2);
  EXPECT_EQ(+entries[1].market, 2);
  EXPECT_EQ(+entries[1].index, 1);
  EXPECT_GT(+entries[0].refVolume, 0.0f);
  // Each entry is the model's for that instrument at the server's moment.
  std::string error;
  const auto model = zuvo::model::MarketModel::Load(SampleRoot(), 1, &error);
  ASSERT_NE(model, nullptr) << error;
  const std::pair<int, int> keys[] = {{0, 2}, {2, 1}};
  for (std::size_t k = 0; k < entries.size(); ++k) {
    SCOPED_TRACE(k);
    const auto expected = model->QuoteExtra(keys[k].first, keys[k].second, kSampleNow);
    EXPECT_EQ(std::memcmp(&entries[k], &expected, sizeof expected), 0);
  }
  const Reply none = Ask(9, SnapshotBody({{9, 0}}));
  EXPECT_EQ(none.type, 2) << "no known key: a quiet refusal rather than an empty body";
  EXPECT_EQ(none.level(), 0);
}

TEST_F(RequestAnswersTest, AdviceRecordsAscendByTheirKeys) {
  std::string error;
  const auto model = zuvo::model::MarketModel::Load(SampleRoot(), 1, &error);
  ASSERT_NE(model, nullptr) << error;
  const int index = model->FindInstrument(0, "600100");
  const auto expected = model->Advice(0, index, kSampleNow);
  ASSERT_GT(expected.size(), 1u);
  const auto advice = Records<zuvo::model::AdviceRecord>(Ask(33, MarketCodeBody(17, 0, 1, "600100")).Data(9));
  ASSERT_EQ(advice.size(), expected.size());
  EXPECT_EQ(std::memcmp(advice.data(), expected.data(), expected.size() * sizeof expected[0]), 0);
  for (std::size_t i = 1; i < advice.size(); ++i) EXPECT_LT(+advice[i - 1].time, +advice[i].time);
  const Reply unknown = Ask(33, MarketCodeBody(17, 0, 1, "999999"));
  EXPECT_EQ(unknown.type, 2);
  EXPECT_EQ(unknown.level(), 0);
}

TEST_F(RequestAnswersTest, BrokerQueuesOnlyInTheBrokerMarket) {
  BrokerQueueRecord queue{};
  std::memcpy(&queue, Ask(102, MarketCodeBody(9, 3, 1, "00011")).Data(9).data(), sizeof queue);
  EXPECT_GT(+queue.buyCount, 0);
  EXPECT_LE(+queue.buyCount, 40);
  EXPECT_LE(+queue.sellCount, 40);
  const std::string stock = Ask(102, MarketCodeBody(9, 0, 1, "600100")).Data(9);
  ASSERT_EQ(stock.size(), 244u);
  EXPECT_EQ(Get32(stock, 0), 0u) << "both counts 0";
}

TEST_F(RequestAnswersTest, OneSeedGivesTheSameBytesTwice) {
  const std::vector<std::pair<std::uint8_t, std::string>> requests = {
      {12, BarsBody(8, 1, "000200", kEpoch, 0)},  {20, HeldBody(0, 2, "SR2409", 0)},
      {10, HeldBody(1, 3, "00033", 0)},           {15, NewsListBody(0, 0, 0)},
      {101, SortBody(15, true, 5)},               {21, MarketCodeBody(13, 0, 5, "600100")},
  };
  auto answers = [&]() {
    std::vector<std::string> bytes;
    for (const auto& [type, body] : requests) {
      const Reply reply = Ask(type, body);
      std::string joined;
      for (const Frame& frame : reply.frames) joined += frame.body;
      bytes.push_back(joined);
    }
    return bytes;
  };
  const std::vector<std::string> first = answers();
  StartServer();
  EXPECT_EQ(answers(), first);
  auto config = SampleConfig();
  config.seed = 2;
  StartServer(config);
  EXPECT_NE(answers()[0], first[0]) << "another seed, another market";
}

TEST_F(RequestAnswersTest, CompressedRepliesDecodeToThePlainOnes) {
  const std::vector<std::pair<std::uint8_t, std::string>> requests = {
      {12, BarsBody(8, 0, "600100", kEpoch, 0)},
      {15, NewsListBody(0, 0, 0)},
      {6, std::string(1, '\0')},
      {206, ConfigFileBody("SYSTIME.DAT", 0, 0)},
      {18, MarketCodeBody(13, 2, 5, "CU2409")},
  };
  std::vector<Reply> plain;
  for (const auto& [type, body] : requests) plain.push_back(Ask(type, body));
  auto config = SampleConfig();
  config.compression = zuvo::quoteserver::Compression::kLzw;
  StartServer(config);
  bool anyCompressed = false;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    SCOPED_TRACE(int{requests[i].first});
    const Reply packed = Ask(requests[i].first, requests[i].second);
    ASSERT_EQ(packed.frames.size(), plain[i].frames.size());
    for (std::size_t f = 0; f < packed.frames.size(); ++f) {
      EXPECT_EQ(packed.frames[f].body, plain[i].frames[f].body);
      EXPECT_LE(packed.frames[f].wireLength, 8192u);
      anyCompressed = anyCompressed || packed.frames[f].compressed != 0;
    }
  }
  EXPECT_TRUE(anyCompressed);
}

}  // namespace
}  // namespace quoteservertest
