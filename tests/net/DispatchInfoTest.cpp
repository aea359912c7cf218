// The reply dispatch frame by frame on a temporary install tree with two small markets: what
// each reply type writes, which messages the main window hears with which parameters, which
// request it completes, and what a reply naming an unknown market or instrument, an unsafe note
// name, an index out of range, a short body or an offset nobody asked for does: nothing but
// complete its request. Also the late replies of expired requests, the half-written files a
// reply that does not finish leaves, and the server sort's temporary files.
#include "net/DispatchInfo.h"
#include "net/NetTestSupport.h"

#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/MarketTestUtil.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/PageCells.h"
#include "net/RequestQueue.h"
#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nettest::MessageRecorder;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

constexpr PackedTime kNow = MakePackedTime(2024, 6, 28, 7, 30);

// ---- Bytes -------------------------------------------------------------------------------------------

template <typename T>
std::string Raw(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
template <typename T>
std::string Raw(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}
std::string U16(std::uint16_t v) { return Raw(v); }
std::string U32(std::uint32_t v) { return Raw(v); }
// A fixed field of `width` bytes holding `text` (cut, zero-padded).
std::string Field(const std::string& text, std::size_t width) {
  std::string field = text.substr(0, width);
  field.resize(width, '\0');
  return field;
}

// Reply heads by their layouts.
std::string HeadMarketCode12(int market, const std::string& code, std::uint8_t first = 0) {  // 10, 12, 20
  return std::string(1, static_cast<char>(first)) + std::string(1, static_cast<char>(market)) + Field(code, 12);
}
std::string Head11(int market, const std::string& code) { return std::string(1, static_cast<char>(market)) + Field(code, 12); }
std::string Head13(int market, const std::string& code) {  // 18, 21
  return std::string(1, static_cast<char>(market)) + std::string(4, '\0') + Field(code, 8);
}
std::string Head9(int market, const std::string& code) { return std::string(1, static_cast<char>(market)) + Field(code, 8); }
std::string InfoHead(int market, const std::string& code, int kind) {
  return Head9(market, code) + std::string(1, static_cast<char>(kind)) + std::string(4, '\0');
}
std::string InfoTextHead(int market, const std::string& code, int kind, std::int32_t offset) {
  return Head9(market, code) + std::string(1, static_cast<char>(kind)) + std::string(80, '\0') +
         U32(static_cast<std::uint32_t>(offset)) + std::string(4, '\0');
}

ChartBar Bar(PackedTime time, std::uint32_t close = 100) {
  ChartBar bar{};
  bar.time = time;
  bar.close = close;
  return bar;
}
TradeRecord Trade(std::uint32_t price, float volume) {
  TradeRecord trade{};
  trade.time = kNow;
  trade.price = price;
  trade.volume = volume;
  return trade;
}
TodayMinuteRecord Minute(std::uint32_t price, float cumVolume) {
  TodayMinuteRecord minute{};
  minute.price = price;
  minute.cumVolume = cumVolume;
  return minute;
}

// ---- The page --------------------------------------------------------------------------------------

class FakeCells : public IPageCells {
 public:
  struct Cell {
    std::uint32_t requester;
    int kind;
  };
  std::vector<Cell> cells;
  std::vector<std::string> calls;

  int CellCount() const override { return static_cast<int>(cells.size()); }
  std::uint32_t CellRequesterId(int cell) const override { return cells[static_cast<std::size_t>(cell)].requester; }
  int CellViewKind(int cell) const override { return cells[static_cast<std::size_t>(cell)].kind; }
  void PostSortReady(int cell, int fileNumber, std::uint32_t serial) override {
    calls.push_back("sort " + std::to_string(cell) + " " + std::to_string(fileNumber) + " " + std::to_string(serial));
  }
  void RedrawFastChangeColumn(int cell) override { calls.push_back("redraw " + std::to_string(cell)); }
  void OpenNoteIfRemembered(int cell, const char* fileName) override {
    calls.push_back("note " + std::to_string(cell) + " " + fileName);
  }
};

// ---- The fixture ------------------------------------------------------------------------------------

class DispatchInfoTest : public testing::Test {
 protected:
  DispatchInfoTest() : clock_(zuvo::platform::ScopedDrivenClock::kDefaultUtcMilliseconds, 480, 5000000) {}

  void SetUp() override {
    savedNow_ = SystemNow;
    SystemNow = kNow;
    sh_ = markets_.Add(0, markettest::MakeRecord("SH", 1, 8, 1, "sh"),
                       {markettest::MakeInstrument("600000"), markettest::MakeInstrument("600001")});
    hk_ = markets_.Add(1, markettest::MakeRecord("HK", 6, 4, 1, "hk"), {markettest::MakeInstrument("00700")});
    NewsIndex.NewsCatchUpFlag = 0;
    ResetRequestQueue();
    zuvo::net::ResetDispatchState();
    fs::create_directories(install_.root() / "tmp");
    zuvo::net::SetDispatchTempFolder("..\\tmp\\");
    zuvo::net::SetPageCells(&cells_);
    recorder_.Clear();
  }
  void TearDown() override {
    ResetRequestQueue();
    zuvo::net::ResetDispatchState();
    zuvo::net::SetPageCells(nullptr);
    zuvo::net::SetSortFileNumberSource({});
    NewsIndex.NewsCatchUpFlag = 0;
    // The records inserted here are not saved anywhere at exit.
    NewsIndex.dirty = 0;
    SystemNow = savedNow_;
  }

  // One frame through the dispatch, with its header in the client.
  int Frame(std::uint8_t type, const std::string& body, int index = 0, int count = 1) {
    client_.header = FrameHeader{'@', type, static_cast<std::uint16_t>(count), static_cast<std::uint16_t>(index),
                                 static_cast<std::uint16_t>(body.size()), 0, 0};
    return DispatchInfo(&client_, reinterpret_cast<const std::uint8_t*>(body.data()), static_cast<int>(body.size()));
  }
  // A whole reply of these frame bodies.
  void Reply(std::uint8_t type, const std::vector<std::string>& bodies) {
    for (std::size_t i = 0; i < bodies.size(); ++i) {
      ASSERT_EQ(Frame(type, bodies[i], static_cast<int>(i), static_cast<int>(bodies.size())), 0);
    }
  }
  // A request moved into the flight (no client: it only waits there).
  static void InFlight(RequestRecord r) { EnqueueRequest(r); }
  static RequestRecord Request(std::uint8_t kind, const char* code = "600000", int market = 0) {
    RequestRecord r;
    r.kind = kind;
    r.market = static_cast<std::uint16_t>(market);
    std::strncpy(r.code, code, sizeof r.code - 1);
    return r;
  }
  static int InFlightCount() { return zuvo::net::GetRequestQueueState().inFlight; }

  // The MsgServerData messages as "type:low:lParam[:sent]".
  std::vector<std::string> ServerData() {
    std::vector<std::string> out;
    for (const MessageRecorder::Message& m : recorder_.Of(MsgServerData)) {
      out.push_back(std::to_string(m.wParam >> 16) + ":" + std::to_string(m.wParam & 0xFFFF) + ":" +
                    std::to_string(static_cast<std::uint32_t>(m.lParam)) + (m.sent ? ":sent" : ""));
    }
    recorder_.Clear();
    return out;
  }
  static std::string Stk(int market, int index) {
    return std::to_string(StkPtrToWord(STKPTR(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(index))));
  }

  // Every file under the install root and the temporary folder, relative to the root.
  std::set<std::string> Files() const {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(install_.root())) {
      if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), install_.root()).generic_string());
    }
    return files;
  }
  // The file's last-write time as a packed UTC time (0 when it cannot be read).
  static PackedTime Stamp(const fs::path& file) {
    zuvo::platform::files::ScopedHandle handle(CreateFileA(file.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    FILETIME lastWrite{};
    SYSTEMTIME time{};
    if (!handle.ok() || !GetFileTime(handle.get(), nullptr, nullptr, &lastWrite) ||
        !FileTimeToSystemTime(&lastWrite, &time)) {
      return 0;
    }
    return MakePackedTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute);
  }
  fs::path Data(const std::string& relative) const { return install_.data() / relative; }

  testsupport::TempInstall install_;
  zuvo::platform::ScopedDrivenClock clock_;
  markettest::ScopedMarkets markets_;
  TMarketData* sh_ = nullptr;
  TMarketData* hk_ = nullptr;
  nettest::ScriptedRequest client_;
  MessageRecorder recorder_;
  FakeCells cells_;
  std::uint32_t savedNow_ = 0;
};

using Strings = std::vector<std::string>;

// ---- The frame contract -----------------------------------------------------------------------------

TEST_F(DispatchInfoTest, UnknownTypesCloseAndEmptyBodiesDoNothing) {
  for (std::uint8_t type : {0, 1, 7, 8, 34, 100, 103, 255}) EXPECT_EQ(Frame(type, "abc"), -1) << int(type);
  InFlight(Request(kRequestBrokerQueue));
  EXPECT_EQ(Frame(102, ""), 0);
  EXPECT_EQ(InFlightCount(), 1) << "an empty body completes nothing";
  EXPECT_TRUE(ServerData().empty());
}

// ---- Replies naming what the tables do not hold --------------------------------------------------------

TEST_F(DispatchInfoTest, HeadsNamingNoInstrumentWriteNothingButCompleteTheirRequest) {
  const std::string bars = Raw(Bar(MakePackedTime(2024, 6, 27)));
  const std::string trade = Raw(Trade(1000, 5));
  struct Case {
    const char* name;
    std::uint8_t kind;   // the request it answers
    std::uint8_t type;
    std::string body;
  };
  const Case cases[] = {
      {"bars, market beyond MarketCount", kRequestDayBars, 12, HeadMarketCode12(5, "600000", 8) + bars},
      {"bars, code climbing out", kRequestDayBars, 12, HeadMarketCode12(0, "..\\..\\x", 8) + bars},
      {"bars, code of another market", kRequestDayBars, 12, HeadMarketCode12(0, "00700", 8) + bars},
      {"ticks, unknown code", kRequestTicks, 20, HeadMarketCode12(0, "999999") + trade},
      {"newest trades, market 200", kRequestRecentTrades, 11, Head11(200, "600000") + trade},
      {"trade details, code climbing out", kRequestTradeDetails, 10,
       HeadMarketCode12(0, "..\\x") + std::string(16, '\0') + Raw(Minute(1, 1))},
      {"weights, unknown market", kRequestExRights, 18, Head13(9, "600000") + "weights"},
      {"company text, path code", kRequestCompanyText, 21, Head13(0, "..\\..\\x") + "text"},
      {"advice, unknown code", kRequestAdvice, 33, Head9(0, "123456") + std::string(108, 'a')},
      {"broker queue, short head", kRequestBrokerQueue, 102, "\x01" "007"},
      {"trend day, unknown market", kRequestDayTrend, 31,
       std::string(1, '\0') + std::string(1, '\x07') + Field("600000", 8) + U32(MakePackedTime(2024, 6, 27)) + std::string(12, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::set<std::string> before = Files();
    InFlight(Request(c.kind));
    ASSERT_EQ(InFlightCount(), 1);
    EXPECT_EQ(Frame(c.type, c.body), 0);
    EXPECT_EQ(Files(), before);
    EXPECT_TRUE(ServerData().empty());
    EXPECT_EQ(InFlightCount(), 0) << "the request is completed";
  }
}

TEST_F(DispatchInfoTest, NameTableOnlyForALoadedMarket) {
  std::vector<InstrumentRecord> names = {markettest::MakeInstrument("A1  "), markettest::MakeInstrument("B2")};
  // Market byte 2 is not loaded: nothing.
  Reply(6, {std::string(1, '\x02') + Raw(names)});
  EXPECT_TRUE(ServerData().empty());
  // Two frames into market 1 (capacity 4): frame 0 restarts the table, the file is written whole.
  names.push_back(markettest::MakeInstrument("C3"));
  Reply(6, {std::string(1, '\x01') + Raw(names), std::string(1, '\x01') + Raw(names)});
  EXPECT_EQ(hk_->count, 4) << "capped at the capacity";
  EXPECT_STREQ(hk_->names[0].code, "A1") << "trailing blanks cut";
  EXPECT_EQ(hk_->names[3].index, 3);
  EXPECT_EQ(hk_->FindCode("B2"), 1);
  EXPECT_EQ(ReadBytes(Data("HK/nametbl.hk")), Raw(std::vector<InstrumentRecord>(hk_->names, hk_->names + 4)));
  EXPECT_EQ(ServerData(), (Strings{"6:0:1:sent"}));
}

// ---- Bars ---------------------------------------------------------------------------------------------

TEST_F(DispatchInfoTest, ThreeBarFramesPostTheirPercentsAndMergeIntoTheDayFile) {
  const std::string head = HeadMarketCode12(0, "600000", kCycleDay);
  std::vector<std::string> frames;
  for (int day = 3; day <= 5; ++day) frames.push_back(head + Raw(Bar(MakePackedTime(2024, 6, day, 15, 0))));
  Reply(12, frames);
  const std::string stk = Stk(0, 0);
  EXPECT_EQ(ServerData(), (Strings{"12:" + std::to_string(33 * 256 + 8) + ":" + stk,
                                   "12:" + std::to_string(66 * 256 + 8) + ":" + stk,
                                   "12:" + std::to_string(100 * 256 + 8) + ":" + stk}));
  const std::string file = ReadBytes(Data("SH/day/600000.day"));
  ASSERT_EQ(file.size(), 3 * sizeof(ChartBar));
  EXPECT_EQ(Stamp(Data("SH/day/600000.day")), kNow);
}

TEST_F(DispatchInfoTest, BarFilesByCycleAndUnsortedBarsLeaveTheFile) {
  struct Case {
    int cycle;
    const char* file;
  };
  for (const Case& c : {Case{8, "SH/day/600000.day"}, Case{7, "SH/hour/600000.hr"}, Case{4, "SH/min/600000.min"},
                        Case{6, "SH/min/600000.min"}, Case{1, "SH/min1/600000.m1"}, Case{3, "SH/min1/600000.m1"}}) {
    Reply(12, {HeadMarketCode12(0, "600000", static_cast<std::uint8_t>(c.cycle)) + Raw(Bar(MakePackedTime(2024, 6, 3, 9, c.cycle)))});
    EXPECT_TRUE(fs::exists(Data(c.file))) << c.cycle;
  }
  ServerData();
  const std::string before = ReadBytes(Data("SH/min1/600000.m1"));
  Reply(12, {HeadMarketCode12(0, "600000", 1) + Raw(Bar(MakePackedTime(2024, 6, 4, 9, 31))) +
                 Raw(Bar(MakePackedTime(2024, 6, 4, 9, 30)))});
  EXPECT_EQ(ReadBytes(Data("SH/min1/600000.m1")), before);
  EXPECT_EQ(ServerData().size(), 1u) << "still posted";
}

TEST_F(DispatchInfoTest, ABarReplyWithoutBarsStampsTheFile) {
  WriteBytes(Data("SH/day/600000.day"), Raw(Bar(MakePackedTime(2024, 6, 3))));
  fs::last_write_time(Data("SH/day/600000.day"), fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  Reply(12, {HeadMarketCode12(0, "600000", kCycleDay)});
  EXPECT_EQ(Stamp(Data("SH/day/600000.day")), kNow);
}

// ---- Trades and minutes --------------------------------------------------------------------------------

TEST_F(DispatchInfoTest, TradeDetailsRewriteTheLastHeldMinuteAndRaiseTheQuote) {
  const std::string head = HeadMarketCode12(0, "600000");
  TradeDetailsHeader fileHead{};
  fileHead.buyVolume = 7;
  // Frame 0 with the header alone writes nothing.
  InFlight(Request(kRequestTradeDetails));
  Reply(10, {head + Raw(fileHead)});
  EXPECT_FALSE(fs::exists(Data("SH/tick/600000.TRD")));
  EXPECT_EQ(InFlightCount(), 0);
  EXPECT_EQ(ServerData(), (Strings{"10:100:" + Stk(0, 0)}));

  // Held: header + 3 minutes; the reply starts at the last held one and runs over two frames.
  WriteBytes(Data("SH/tick/600000.TRD"), Raw(TradeDetailsHeader{}) + Raw(Minute(1, 10)) + Raw(Minute(2, 20)) + Raw(Minute(3, 30)));
  sh_->quotes[0].volume = 35;
  Reply(10, {head + Raw(fileHead) + Raw(Minute(4, 31)) + Raw(Minute(5, 40)), head + Raw(Minute(6, 50))});
  EXPECT_EQ(ReadBytes(Data("SH/tick/600000.TRD")),
            Raw(fileHead) + Raw(Minute(1, 10)) + Raw(Minute(2, 20)) + Raw(Minute(4, 31)) + Raw(Minute(5, 40)) + Raw(Minute(6, 50)));
  EXPECT_EQ(Stamp(Data("SH/tick/600000.TRD")), kNow);
  EXPECT_EQ(sh_->quotes[0].volume, 50.0f);
  EXPECT_EQ(sh_->quotes[0].last, 6u);
  EXPECT_EQ(ServerData(), (Strings{"10:50:" + Stk(0, 0), "10:100:" + Stk(0, 0)}));
}

TEST_F(DispatchInfoTest, TradesSetOnlyTheLastPriceNeverTheDayVolume) {
  struct Case {
    std::uint8_t type;
    std::string head;
    const char* file;
  };
  for (const Case& c : {Case{11, Head11(0, "600000"), "SH/tick/600000.nnt"},
                        Case{20, HeadMarketCode12(0, "600000"), "SH/tick/600000.tik"}}) {
    SCOPED_TRACE(int(c.type));
    sh_->quotes[0] = QuoteRecord{};
    sh_->quotes[0].volume = 100;
    sh_->quotes[0].last = 1;
    WriteBytes(Data(c.file), Raw(Trade(9, 1)));
    Reply(c.type, {c.head + Raw(Trade(500, 150)), c.head + Raw(Trade(510, 160)) + "xx"});
    EXPECT_EQ(sh_->quotes[0].last, 510u);
    EXPECT_EQ(sh_->quotes[0].volume, 100.0f) << "one trade's volume is no day volume";
    // .nnt is replaced by the reply, .tik appended to.
    const std::string replied = Raw(Trade(500, 150)) + Raw(Trade(510, 160));
    EXPECT_EQ(ReadBytes(Data(c.file)), c.type == 11 ? replied : Raw(Trade(9, 1)) + replied);
    EXPECT_EQ(ServerData(), (Strings{std::to_string(c.type) + ":50:" + Stk(0, 0), std::to_string(c.type) + ":100:" + Stk(0, 0)}));
  }
}

// ---- Server texts -----------------------------------------------------------------------------------

TEST_F(DispatchInfoTest, ServerErrorsFromLevel20AreShownAndNeverReadPastTheBody) {
  struct Case {
    std::string body;
    bool shown;
    std::string text;
  };
  const Case cases[] = {
      {std::string("\0\0\x13", 3) + "quiet", false, ""},
      {std::string("\0\0\x14", 3) + "shown" + std::string(1, '\0') + "after", true, "shown"},
      {std::string("\0\0\x14", 3) + "unterminated", true, "unterminated"},
      {std::string("\0\0\x50", 3) + std::string(400, 'x'), true, std::string(255, 'x')},
      {std::string("\0\x50", 2), false, ""},
  };
  for (const Case& c : cases) {
    client_.errorText[0] = '\0';
    Reply(2, {c.body});
    EXPECT_EQ(client_.errorText, c.text);
    EXPECT_EQ(recorder_.Of(MsgServerText).size(), c.shown ? 1u : 0u);
    recorder_.Clear();
  }
  Reply(30, {"x"});
  EXPECT_STREQ(client_.errorText, kPasswordChangedText);
  EXPECT_EQ(recorder_.Of(MsgServerText).size(), 1u);
}

TEST_F(DispatchInfoTest, SystemAndRealtimeMessagesReplaceTheirFiles) {
  WriteBytes(install_.bin() / "SYSMSG.TXT", "old old old");
  Reply(203, {"head" + std::string("one "), "head" + std::string("two")});
  EXPECT_EQ(ReadBytes(install_.bin() / "SYSMSG.TXT"), "one two");
  std::vector<std::string> traces;
  zuvo::net::ScopedTraceHook trace([&](const char* text) { traces.emplace_back(text); });
  Reply(204, {"headnow"});
  EXPECT_EQ(ReadBytes(install_.bin() / "RTMSG.TXT"), "now");
  EXPECT_EQ(ServerData(), (Strings{"203:0:0", "204:0:0"}));
  EXPECT_EQ(traces, (Strings{"即时消息接收完毕 (DispatchInfo)"}));
}

// ---- Table updates ------------------------------------------------------------------------------------

TEST_F(DispatchInfoTest, ListQuotesFillExtrasOnlyForInstrumentsInTheTables) {
  const auto entry = [](int market, int index, float refVolume, std::uint32_t balance) {
    std::string bytes = std::string(1, static_cast<char>(market)) + U16(static_cast<std::uint16_t>(index)) + "\x01";
    std::string extra(24, '\0');
    std::memcpy(extra.data(), &balance, 4);
    std::memcpy(extra.data() + 20, &refVolume, 4);
    return bytes + extra;
  };
  Reply(9, {entry(0, 1, 5, 77) + entry(0, 2, 5, 1) + entry(7, 0, 5, 1) + entry(1, 60000, 5, 1)});
  EXPECT_EQ(sh_->extras[1].filled, 1);
  EXPECT_EQ(sh_->extras[1].side, 1);
  EXPECT_EQ(sh_->extras[1].balancePrice, 77u);
  EXPECT_EQ(sh_->extras[1].refVolume, 5.0f);
  EXPECT_EQ(sh_->extras[2].filled, 0) << "index 2 is beyond the table's count";
  EXPECT_EQ(hk_->extras[0].filled, 0);
  // The same reference volume again: skipped.
  Reply(9, {entry(0, 1, 5, 99)});
  EXPECT_EQ(sh_->extras[1].balancePrice, 77u);
  EXPECT_EQ(ServerData(), (Strings{"9:0:0", "9:0:0"}));
}

TEST_F(DispatchInfoTest, BrokerQueuesNeedAllTheirBytesAndKeepAtMost40Entries) {
  BrokerQueueRecord queue{};
  queue.buyCount = 2;
  queue.sellCount = 999;
  queue.buy[0].number = 1234;
  Reply(102, {Head9(1, "00700") + Raw(queue).substr(0, 243)});
  EXPECT_EQ(hk_->brokerQueues[0].buyCount, 0) << "243 bytes are not a queue";
  EXPECT_TRUE(ServerData().empty());
  Reply(102, {Head9(1, "00700") + Raw(queue)});
  EXPECT_EQ(hk_->brokerQueues[0].buyCount, 2);
  EXPECT_EQ(hk_->brokerQueues[0].sellCount, 40);
  EXPECT_EQ(static_cast<int>(hk_->brokerQueues[0].buy[0].number), 1234);
  EXPECT_EQ(ServerData(), (Strings{"102:0:" + Stk(1, 0)}));
}

// ---- News and notes ------------------------------------------------------------------------------------

std::string NewsEntry(int category, std::uint32_t id, const std::string& title) {
  return std::string(1, '\0') + std::string(1, static_cast<char>(category)) + U32(id) + U32(0x5121530) + Field(title, 80);
}

TEST_F(DispatchInfoTest, NewsListsFillTheIndexAndPostOnlyOutsideTheCatchUp) {
  NewsIndex.Load();   // an empty index of this install tree
  const std::uint32_t before = NewsIndex.count;
  NewsIndex.NewsCatchUpFlag = 1;
  Reply(15, {std::string("\0\0", 2) + NewsEntry(3, 900001, "one") + NewsEntry(3, 900002, std::string(90, 't'))});
  EXPECT_EQ(NewsIndex.count, before + 2);
  EXPECT_TRUE(ServerData().empty());
  NewsIndex.NewsCatchUpFlag = 0;
  Reply(15, {std::string("\0\0", 2) + NewsEntry(1, 900003, "three")});
  EXPECT_EQ(ServerData(), (Strings{"15:0:0"}));
  NewsRecord found{};
  ASSERT_TRUE(NewsIndex.FindByTitle(3, std::string(79, 't').c_str(), &found));
  EXPECT_EQ(found.id, 900002u);
  EXPECT_EQ(found.categoryAndRead, 6u);
}

TEST_F(DispatchInfoTest, ANewsTextGoesToTheFileOfTheRequestedId) {
  RequestRecord text = Request(kRequestNews, "", 0);
  text.param = kNewsText;
  text.value1 = 42;
  InFlight(text);
  const std::string head("\x02\0", 2);
  Reply(15, {head + "dropped", head + "first ", head + "second"});
  EXPECT_EQ(ReadBytes(Data("info/00000042.txt")), "first second") << "frame 0 keeps no text";
  EXPECT_EQ(ServerData(), (Strings{"15:2:42"}));
  EXPECT_EQ(zuvo::net::CurrentNewsTextId(), -1);
  // Nobody asked: nothing written.
  Reply(15, {head, head + "stray"});
  EXPECT_EQ(Files().count("data/info/4294967295.txt"), 0u);
  EXPECT_TRUE(ServerData().empty());
}

std::string NoteEntry(std::uint8_t header, const std::string& title, std::uint32_t stamp, const std::string& name) {
  return std::string(1, static_cast<char>(header)) + "\x05" + U16(7) + U16(9) + Field(title, 80) + U32(stamp) +
         Field(name, 16) + std::string(2, '\0');
}

TEST_F(DispatchInfoTest, NotesListsKeepTheWholeStampAndDropUnsafeNames) {
  // 15:30 on 06-28: time digits 1530 in the high 12 bits.
  const std::uint32_t stamp = 1530u << 20 | 628u;
  const std::string head("\0\x03", 2);
  Reply(16, {head + NoteEntry(0xE3, "first", stamp, "N1.TXT") + NoteEntry(1, "bad", stamp, "..\\..\\N2.TXT"),
             head + NoteEntry(2, "long", stamp, std::string(16, 'L')) + NoteEntry(4, "last", 1, "N4.TXT")});
  const std::string file = ReadBytes(Data("notes/notes3.ls2"));
  ASSERT_EQ(file.size(), 2 * sizeof(NoteRecord));
  NoteRecord first{};
  std::memcpy(&first, file.data(), sizeof first);
  EXPECT_EQ(first.header, 0xE3);
  EXPECT_EQ(first.flags, 5);
  EXPECT_EQ(first.field2, 7);
  EXPECT_EQ(first.field4, 9);
  EXPECT_EQ(first.one, 1);
  EXPECT_STREQ(first.title, "first");
  EXPECT_STREQ(first.fileName, "N1.TXT");
  EXPECT_EQ(first.stamp >> 20, 1530u) << "15:30 stays 15:30";
  EXPECT_STREQ(reinterpret_cast<const NoteRecord*>(file.data() + sizeof(NoteRecord))->fileName, "N4.TXT");
  EXPECT_EQ(Stamp(Data("notes/notes3.ls2")), kNow);
  EXPECT_EQ(ServerData(), (Strings{"16:0:3"}));
}

TEST_F(DispatchInfoTest, ANoteIsWrittenUnderItsRequestedNameAndShownByNotesViews) {
  RequestRecord note = Request(kRequestNote, "", 1);
  std::strcpy(note.text, "N7.TXT");
  InFlight(note);
  cells_.cells = {{1, kViewKindNotes}, {2, kViewKindQuoteList}, {3, kViewKindNotes}};
  const std::string head("\x01\x00", 2);
  Reply(16, {head + "hello ", head + "world"});
  EXPECT_EQ(ReadBytes(Data("notes/N7.TXT")), "hello world");
  EXPECT_EQ(cells_.calls, (Strings{"note 2 N7.TXT", "note 0 N7.TXT"}));
  EXPECT_TRUE(ServerData().empty());
  EXPECT_EQ(InFlightCount(), 0);

  // A name in flight that is no plain name writes nothing.
  std::strcpy(note.text, "..\\x");
  InFlight(note);
  const std::set<std::string> before = Files();
  Reply(16, {head + "x"});
  EXPECT_EQ(Files(), before);
}

// ---- Unfinished and late replies ------------------------------------------------------------------------

TEST_F(DispatchInfoTest, AReplyThatDoesNotFinishLeavesNoHalfFile) {
  struct Case {
    const char* name;
    std::uint8_t type;
    std::string body;
    const char* file;
    std::function<void()> end;
  };
  const auto closed = [] { RequestConnectionClosed(); };
  const auto reset = [] { ResetRequestQueue(); };
  const Case cases[] = {
      {"notes list, connection closed", 16, std::string("\0\x02", 2) + NoteEntry(0, "t", 1, "N.TXT"), "notes/notes2.ls2", closed},
      {"weights, expired", 18, Head13(0, "600000") + "weights", "SH/weight/600000.wgt",
       [this] {
         clock_.Advance(kRequestExpiryMs);
         ExpireRequests();
       }},
      {"company text, queue reset", 21, Head13(0, "600000") + "text", "SH/base/600000.Txt", reset},
      {"information index, closed", 40, InfoHead(0, "600000", 2) + std::string(256, 'r'), "SH/base/6000002.idx", closed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InFlight(Request(c.type == 40 ? kRequestInfoIndex : c.type == 18 ? kRequestExRights : kRequestCompanyText));
    ASSERT_EQ(Frame(c.type, c.body, 0, 3), 0);
    ASSERT_TRUE(fs::exists(Data(c.file)));
    c.end();
    EXPECT_FALSE(fs::exists(Data(c.file)));
    // The rest of the reply, should it come, writes nothing.
    Frame(c.type, c.body, 1, 3);
    EXPECT_FALSE(fs::exists(Data(c.file)));
    ResetRequestQueue();
    zuvo::net::ResetDispatchState();
  }
}

TEST_F(DispatchInfoTest, LateRepliesOfExpiredRequestsWriteAndCompleteNothing) {
  RequestRecord note = Request(kRequestNote, "", 1);
  std::strcpy(note.text, "OLD.TXT");
  InFlight(note);
  clock_.Advance(kRequestExpiryMs);
  ExpireRequests();
  std::strcpy(note.text, "NEW.TXT");
  InFlight(note);
  const std::string head("\x01\x00", 2);
  Reply(16, {head + "old text"});
  EXPECT_FALSE(fs::exists(Data("notes/NEW.TXT"))) << "the late reply is not the new note";
  EXPECT_EQ(InFlightCount(), 1) << "nor does it complete the new request";
  Reply(16, {head + "new text"});
  EXPECT_EQ(ReadBytes(Data("notes/NEW.TXT")), "new text");
  EXPECT_EQ(InFlightCount(), 0);
}

// ---- Instrument texts, trends, advice -----------------------------------------------------------------

TEST_F(DispatchInfoTest, CompanyTextIsReplacedAndWeightsAppended) {
  WriteBytes(Data("SH/base/600000.Txt"), "old company text");
  WriteBytes(Data("SH/weight/600000.wgt"), "w0");
  Reply(21, {Head13(0, "600000") + "new ", Head13(0, "600000") + "text"});
  Reply(18, {Head13(0, "600000") + "w1", Head13(0, "600000") + "w2"});
  EXPECT_EQ(ReadBytes(Data("SH/base/600000.Txt")), "new text");
  EXPECT_EQ(ReadBytes(Data("SH/weight/600000.wgt")), "w0w1w2");
  EXPECT_EQ(Stamp(Data("SH/base/600000.Txt")), kNow);
  EXPECT_EQ(Stamp(Data("SH/weight/600000.wgt")), kNow);
  EXPECT_EQ(ServerData(), (Strings{"21:0:" + Stk(0, 0), "18:0:" + Stk(0, 0)}));
}

TEST_F(DispatchInfoTest, ATrendDayIsImportedAndItsBlockSent) {
  const PackedTime day = MakePackedTime(2024, 6, 27);
  std::vector<TrendDayMinute> minutes(270, TrendDayMinute{1000, 1, 1});
  std::vector<std::string> blocks;
  recorder_.during = [&](const MessageRecorder::Message& m) {
    if (m.message == MsgServerData && m.sent) blocks.emplace_back(reinterpret_cast<const char*>(m.lParam), 8);
  };
  const std::string head = std::string(1, '\0') + std::string(1, '\0') + Field("600000", 8) + U32(day | 0x3C5);
  const std::string all = Raw(minutes);
  Reply(31, {head + all.substr(0, 1620), head + all.substr(1620)});
  EXPECT_FALSE(fs::exists(Data("SH/trend/600000" + std::to_string(day) + ".trn"))) << "the day file is deleted";
  EXPECT_TRUE(fs::exists(Data("SH/trend/600000.trn")));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], U32(StkPtrToWord(STKPTR(0, 0, 0))) + U32(day));
}

TEST_F(DispatchInfoTest, AdviceIsMergedIntoTheInstrumentsFile) {
  std::string records = std::string(108, 'a') + std::string(108, 'b');
  std::memcpy(records.data(), "\x01\0\0\0", 4);
  std::memcpy(records.data() + 108, "\x02\0\0\0", 4);
  Reply(33, {Head9(0, "600001") + records});
  EXPECT_EQ(ReadBytes(Data("SH/advice/600001.adv")), records);
  EXPECT_EQ(ServerData(), (Strings{"33:0:" + Stk(0, 1)}));
}

// ---- Information files ----------------------------------------------------------------------------------

TEST_F(DispatchInfoTest, InformationIndexFromRecordZeroReplacesTheFile) {
  const std::string path = "SH/base/6000003.idx";
  struct Case {
    std::uint32_t held;   // value2 of the request in flight
    std::string expected;
  };
  for (const Case& c : {Case{0, std::string(256, 'n')}, Case{2, std::string(512, 'o') + std::string(256, 'n')}}) {
    WriteBytes(Data(path), std::string(512, 'o') + "torn");
    RequestRecord r = Request(kRequestInfoIndex);
    r.value1 = 3;
    r.value2 = c.held;
    InFlight(r);
    Reply(40, {InfoHead(0, "600000", 3) + std::string(256, 'n') + "xyz"});
    EXPECT_EQ(ReadBytes(Data(path)), c.expected) << c.held;
    EXPECT_EQ(ServerData(), (Strings{"40:3:" + Stk(0, 0)}));
  }
  // Nothing in flight: nothing written.
  Reply(40, {InfoHead(0, "600000", 3) + std::string(256, 'z')});
  EXPECT_EQ(ReadBytes(Data(path)).find('z'), std::string::npos);
}

TEST_F(DispatchInfoTest, InformationTextsGoOnlyToTheOffsetAsked) {
  const std::string path = "SH/base/6000001.txt";
  struct Case {
    const char* name;
    std::uint32_t asked;   // value1 of the kind-36 request in flight
    std::int32_t headOffset;
    bool written;
  };
  const Case cases[] = {
      {"offset 5000 into 1000 bytes pads 4000 zeros", 5000, 5000, true},
      {"another offset than asked", 5000, 6000, false},
      {"an offset beyond 16 MB", (16u << 20) + 1, (16 << 20) + 1, false},
      {"the whole text (-1) is written from 0", 0xFFFFFFFFu, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Data(path), std::string(1000, 'o'));
    RequestRecord r = Request(kRequestInfoText);
    r.param = 1;
    r.value1 = c.asked;
    InFlight(r);
    const std::string head = InfoTextHead(0, "600000", 1, c.headOffset);
    Reply(41, {head + "abc", head + "de"});
    EXPECT_EQ(InFlightCount(), 0);
    const std::string file = ReadBytes(Data(path));
    if (!c.written) {
      EXPECT_EQ(file, std::string(1000, 'o'));
      EXPECT_TRUE(ServerData().empty());
    } else if (c.headOffset == 0) {
      EXPECT_EQ(file, "abcde" + std::string(995, 'o'));
      EXPECT_EQ(ServerData(), (Strings{"41:1:" + Stk(0, 0)}));
    } else {
      EXPECT_EQ(file, std::string(1000, 'o') + std::string(4000, '\0') + "abcde");
      EXPECT_EQ(ServerData(), (Strings{"41:1:" + Stk(0, 0)}));
    }
  }
}

// ---- Server sorts ---------------------------------------------------------------------------------------

class ServerSortTest : public DispatchInfoTest {
 protected:
  void Sort(int purpose, std::uint32_t requester, std::uint32_t serial) {
    RequestRecord r = Request(kRequestServerSort, "", purpose);
    r.param = 21;
    r.requester = requester;
    r.value3 = serial;
    InFlight(r);
  }
  fs::path Tmp(const std::string& name) const { return install_.root() / "tmp" / name; }
  std::set<std::string> TmpFiles() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(install_.root() / "tmp")) names.insert(entry.path().filename().string());
    return names;
  }
};

TEST_F(ServerSortTest, RankingsTakeAFreeFileNumberForTheFirstCellOfTheirRequester) {
  std::vector<int> numbers = {7, 7, 12};
  std::size_t next = 0;
  zuvo::net::SetSortFileNumberSource([&] { return numbers[next++ % numbers.size()]; });
  WriteBytes(Tmp("7.tmp"), "someone else's");
  cells_.cells = {{5, kViewKindQuoteList}, {9, kViewKindQuoteList}, {5, kViewKindQuoteList}};
  Sort(0, 5, 77);
  Reply(101, {std::string(1, '\0') + "rank", std::string(1, '\0') + "ing"});
  EXPECT_EQ(ReadBytes(Tmp("7.tmp")), "someone else's") << "an existing file is never overwritten";
  EXPECT_EQ(ReadBytes(Tmp("12.tmp")), "ranking");
  EXPECT_EQ(cells_.calls, (Strings{"sort 2 12 77"})) << "the last matching cell of the page";
  EXPECT_EQ(TmpFiles(), (std::set<std::string>{"7.tmp", "12.tmp"}));
}

TEST_F(ServerSortTest, RankingsNobodyTakesAndSearchesThatFindNoNameLeaveNoFiles) {
  zuvo::net::SetSortFileNumberSource([] { return 3; });
  cells_.cells = {{8, kViewKindQuoteList}};
  Sort(0, 5, 1);
  Reply(101, {std::string(1, '\0') + "r"});
  EXPECT_EQ(TmpFiles(), std::set<std::string>{}) << "no cell of requester 5: the result is deleted";

  WriteBytes(Tmp("3.tmp"), "taken");
  int draws = 0;
  zuvo::net::SetSortFileNumberSource([&] {
    ++draws;
    return 3;
  });
  cells_.cells = {{5, kViewKindQuoteList}};
  Sort(0, 5, 1);
  Reply(101, {std::string(1, '\0') + "r"});
  EXPECT_EQ(draws, zuvo::net::kSortFileNumberTries);
  EXPECT_EQ(TmpFiles(), std::set<std::string>{"3.tmp"}) << "sortdata.tmp is deleted";
  EXPECT_TRUE(cells_.calls.empty());
}

TEST_F(ServerSortTest, FastChangeIsTheChangeFromTheEarlierPrice) {
  const auto record = [](int market, int index, float now, float before) {
    return std::string(1, static_cast<char>(market)) + U16(static_cast<std::uint16_t>(index)) + Raw(now) + Raw(before);
  };
  sh_->quotes[0].fastChange = 9;
  sh_->quotes[1].fastChange = 9;
  cells_.cells = {{4, kViewKindQuoteList}, {4, kViewKindNotes}, {6, kViewKindQuoteList}};
  Sort(1, 4, 1);
  Reply(101, {std::string(1, '\0') + record(0, 0, 110, 100) + record(0, 1, 5, 0.5f) + record(0, 2, 1, 1) + record(9, 0, 1, 1),
              std::string(1, '\0') + record(1, 0, 90, 100)});
  EXPECT_FLOAT_EQ(sh_->quotes[0].fastChange, 10.0f);
  EXPECT_EQ(sh_->quotes[1].fastChange, 0.0f) << "a base that truncates to 0";
  EXPECT_FLOAT_EQ(hk_->quotes[0].fastChange, -10.0f);
  EXPECT_EQ(cells_.calls, (Strings{"redraw 0"}));
  EXPECT_EQ(TmpFiles(), std::set<std::string>{});
}

}  // namespace
