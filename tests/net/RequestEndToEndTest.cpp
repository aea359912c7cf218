// The request operations and the reply dispatch together, over loopback against the local quote
// server: each operation fills the cache file (or the table) that the cache readers then read, as
// the server's market model says it should be, and the server's content and timing faults (heads
// naming a path, bad indexes, short or oversized broker queues, foreign offsets, unsafe note
// names, unterminated texts, unsorted bars, a cut reply, late, lost and reordered replies, the
// version check's answers) write nothing they should not, while the queue moves on.
#include "net/RequestServerFixture.h"

#include "core/GuardedAlloc.h"
#include "core/PackedTime.h"
#include "data/BarFiles.h"
#include "data/CacheFiles.h"
#include "data/CacheRecords.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/TickCache.h"
#include "data/TrendHistory.h"
#include "data/UtilData.h"
#include "net/DispatchInfo.h"
#include "net/PageCells.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace nettest {
namespace {

namespace fs = std::filesystem;
using quoteservertest::Put16;

constexpr std::int64_t kDay = 86400;
constexpr std::uint32_t kRequester = 77;
constexpr std::uint32_t kPastRepeatWindow = kRepeatWindowMs;

// A page of cells the dispatch may address, recording what it is told.
class FakePage : public IPageCells {
 public:
  struct Cell {
    std::uint32_t requester;
    int kind;
  };
  explicit FakePage(std::vector<Cell> cells) : cells_(std::move(cells)) { zuvo::net::SetPageCells(this); }
  ~FakePage() override { zuvo::net::SetPageCells(nullptr); }

  int CellCount() const override { return static_cast<int>(cells_.size()); }
  std::uint32_t CellRequesterId(int cell) const override { return cells_[static_cast<std::size_t>(cell)].requester; }
  int CellViewKind(int cell) const override { return cells_[static_cast<std::size_t>(cell)].kind; }
  void PostSortReady(int cell, int fileNumber, std::uint32_t serial) override {
    sortReady.push_back({cell, fileNumber, serial});
  }
  void RedrawFastChangeColumn(int cell) override { redrawn.push_back(cell); }
  void OpenNoteIfRemembered(int cell, const char* fileName) override {
    notesOpened.push_back({cell, std::string(fileName, strnlen(fileName, 16))});
  }

  struct SortReady {
    int cell;
    int fileNumber;
    std::uint32_t serial;
  };
  std::vector<SortReady> sortReady;
  std::vector<int> redrawn;
  std::vector<std::pair<int, std::string>> notesOpened;

 private:
  std::vector<Cell> cells_;
};

template <class Record>
std::vector<Record> Tail(const std::vector<Record>& all, std::size_t n) {
  return std::vector<Record>(all.end() - static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end());
}

std::string Text(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

class RequestEndToEnd : public RequestServerTest {
 protected:
  fs::path CachePath(CacheFile kind, int market, const char* code) {
    std::string path;
    EXPECT_TRUE(CacheFilePath(kind, Table(market), code, path));
    return Local(path);
  }
  fs::path BarPath(int fileKind, int market, const char* code) {
    std::string path;
    EXPECT_TRUE(BarFilePath(fileKind, Table(market), code, path));
    return Local(path);
  }
  // "..\data\<market>\<folder>\<name>"
  fs::path MarketPath(int market, const std::string& folder, const std::string& name) {
    return Local(std::string("..\\data\\") + Table(market)->record.code + "\\" + folder + "\\" + name);
  }
  fs::path NotesPath(const std::string& name) { return Local("..\\data\\notes\\" + name); }
  fs::path NewsTextPath(std::uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "%08u.txt", id);
    return Local(std::string("..\\data\\info\\") + name);
  }

  std::vector<ChartBar> ReadChart(int market, const char* code, int cycle) {
    ChartBar* bars = nullptr;
    int count = 0;
    EXPECT_EQ(ReadBarsByCycle(&bars, market, code, &count, cycle, 1, MaxDataRecords, 0, 0, nullptr), 1);
    std::vector<ChartBar> read(bars, bars + std::max(count, 0));
    GuardedFree(bars);
    return read;
  }
  std::vector<TradeRecord> ReadTicks(int market, int index) {
    std::vector<TradeRecord> buffer(20000);
    int count = static_cast<int>(buffer.size());
    EXPECT_EQ(ReadTickFile(Table(market), index, buffer.data(), &count), 1);
    buffer.resize(static_cast<std::size_t>(std::max(count, 0)));
    return buffer;
  }

  // The server's sort answer to the same keys, as a raw client reads it: the records after the
  // one-byte head.
  std::string SortAnswer(std::uint8_t code, const std::vector<STKMS>& keys) {
    std::string body(775, '\0');
    body[0] = static_cast<char>(code);
    Put16(&body, 5, static_cast<std::uint16_t>(keys.size()));
    for (std::size_t k = 0; k < keys.size(); ++k) {
      body[7 + 3 * k] = static_cast<char>(keys[k].market);
      Put16(&body, 8 + 3 * k, keys[k].index);
    }
    return Ask(101, body).Data(1);
  }

  // Waits for the server to see `total` requests of a type, then for the queue to empty.
  void Answered(std::uint8_t type, std::uint64_t total) {
    ASSERT_TRUE(AwaitServerReceived(type, total)) << "request type " << int{type} << " never reached the server";
    ASSERT_TRUE(AwaitIdle()) << "request type " << int{type} << " was not completed";
  }
};

bool SameBars(const std::vector<ChartBar>& a, const std::vector<ChartBar>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(ChartBar)) == 0);
}

// ---- Bars ------------------------------------------------------------------------------------------

TEST_F(RequestEndToEnd, BarRepliesFillTheBarFilesTheChartReadsAndAScrollBackLeavesNoGap) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  const std::vector<ChartBar> days = Model().HistoryBars(0, index, kBarFileDay, ServerNow());
  ASSERT_GT(days.size(), 2000u);

  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
  Answered(12, 1);
  EXPECT_TRUE(SameBars(ReadChart(0, "600100", kCycleDay), Tail(days, 1000)));
  EXPECT_EQ(FileBytes(BarPath(kBarFileDay, 0, "600100")), BytesOf(Tail(days, 1000)));
  // One post a frame, the percent times 256 plus the cycle code, the instrument in lParam.
  const std::vector<MessageRecorder::Message> posts = ServerData(12);
  ASSERT_EQ(posts.size(), 4u);   // 1000 bars of 32 bytes in frames of 8192
  EXPECT_EQ(posts.back().wParam & 0xFFFF, 100u * 256 + kCycleDay);
  EXPECT_EQ(posts.front().wParam & 0xFFFF, 25u * 256 + kCycleDay);
  for (const auto& post : posts) EXPECT_EQ(post.lParam, Packed(0, index));

  // Scrolling back asks for the page before the first bar; it goes in front of the file.
  Later(kPastRepeatWindow);
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 1, kRequester);
  Answered(12, 2);
  EXPECT_TRUE(SameBars(ReadChart(0, "600100", kCycleDay), Tail(days, 2000)));

  // Five-minute bars go to their own file.
  const std::vector<ChartBar> fives = Model().HistoryBars(0, index, kBarFile5Min, ServerNow());
  ASSERT_FALSE(fives.empty());
  client_->RequestHistoryBars(0, index, 0, kCycle5Min, 1, 0, kRequester);
  Answered(12, 3);
  EXPECT_EQ(FileBytes(BarPath(kBarFile5Min, 0, "600100")), BytesOf(Tail(fives, 1000)));
  EXPECT_EQ(FileBytes(BarPath(kBarFileDay, 0, "600100")), BytesOf(Tail(days, 2000)));
}

TEST_F(RequestEndToEnd, ANewTradingDayAsksFromTheDayAfterTheLastBarAndALostReplyAsksAgain) {
  Start();
  Connect();
  const int index = Index(0, "600200");
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
  Answered(12, 1);
  const fs::path file = BarPath(kBarFileDay, 0, "600200");
  ASSERT_EQ(FileBytes(file).size(), 1000u * sizeof(ChartBar));

  // Monday: the request is lost (the server never answers) and expires.
  SetClock(ServerNow() + 3 * kDay);
  On("skip=12");
  Later(kPastRepeatWindow);
  const fs::file_time_type written = fs::last_write_time(file);
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
  ASSERT_TRUE(AwaitServerReceived(12, 2));
  Later(kRequestExpiryMs);
  ExpireRequests();
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(fs::last_write_time(file), written) << "a request that got no reply leaves the file as it was dated";

  // So the next request asks again, and the reply brings the file up to Monday.
  Off("skip");
  Later(kPastRepeatWindow);
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
  Answered(12, 3);
  const std::vector<ChartBar> days = Model().HistoryBars(0, index, kBarFileDay, ServerNow());
  const std::vector<ChartBar> held = Records<ChartBar>(FileBytes(file));
  EXPECT_GE(held.size(), 990u);
  EXPECT_TRUE(SameBars(held, Tail(days, held.size()))) << "a gap, a doubled bar or a stale bar in the file";
  EXPECT_EQ(held.back().time, days.back().time);
}

TEST_F(RequestEndToEnd, UnsortedBarsLeaveTheFileUnchangedButArePosted) {
  Start();
  Connect();
  const int index = Index(0, "600300");
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
  Answered(12, 1);
  const fs::path file = BarPath(kBarFileDay, 0, "600300");
  const std::string before = FileBytes(file);
  ASSERT_FALSE(before.empty());

  On("unsorted-bars");
  main_.Clear();
  Later(kPastRepeatWindow);
  client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 1, kRequester);   // a scroll-back page, newest first
  Answered(12, 2);
  EXPECT_EQ(FileBytes(file), before);
  const std::vector<MessageRecorder::Message> posts = ServerData(12);
  ASSERT_FALSE(posts.empty());
  EXPECT_EQ(posts.back().wParam & 0xFFFF, 100u * 256 + kCycleDay);
  EXPECT_EQ(posts.back().lParam, Packed(0, index));
}

// ---- Today's trades ----------------------------------------------------------------------------------

TEST_F(RequestEndToEnd, TodaysTradeFilesFillAndGrowAsTheDayGoesOn) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  TMarketData* table = Table(0);
  std::vector<TradeRecord> trades = Model().TodayTrades(0, index, ServerNow());
  ASSERT_FALSE(trades.empty());

  client_->RequestTicks(0, index, kRequester);
  Answered(20, 1);
  std::vector<TradeRecord> read = ReadTicks(0, index);
  EXPECT_EQ(BytesOf(read), BytesOf(trades));
  ASSERT_FALSE(ServerData(20).empty());
  EXPECT_EQ(ServerData(20).back().wParam & 0xFFFF, 100u);
  EXPECT_EQ(ServerData(20).back().lParam, Packed(0, index));
  // One trade tells the last price, not the day's volume.
  EXPECT_EQ(table->quotes[index].last, trades.back().price);
  EXPECT_EQ(table->quotes[index].volume, 0.0f);

  client_->RequestTradeDetails(0, index, kRequester);
  Answered(10, 1);
  zuvo::model::TradeDetails details = Model().TodayDetails(0, index, ServerNow());
  std::vector<TodayMinuteRecord> minutes(2000);
  int count = static_cast<int>(minutes.size());
  float buyVolume = 0;
  float sellVolume = 0;
  std::uint32_t refPrice = 0;
  float refAmount = 0;
  ASSERT_EQ(ReadTradeDetailsFile(table, index, minutes.data(), &count, &buyVolume, &sellVolume, &refPrice, &refAmount),
            1);
  minutes.resize(static_cast<std::size_t>(count));
  EXPECT_EQ(BytesOf(minutes), BytesOf(details.minutes));
  EXPECT_EQ(buyVolume, details.header.buyVolume);
  EXPECT_EQ(sellVolume, details.header.sellVolume);
  EXPECT_EQ(refPrice, details.header.refPrice);
  EXPECT_EQ(refAmount, details.header.refAmount);
  ASSERT_FALSE(details.minutes.empty());
  EXPECT_EQ(table->quotes[index].volume, details.minutes.back().cumVolume);
  EXPECT_EQ(table->quotes[index].last, details.minutes.back().price);

  client_->RequestRecentTicks(0, index, kRecentTradesRequested, kRequester);
  Answered(11, 1);
  EXPECT_EQ(FileBytes(CachePath(CacheFile::RecentTrades, 0, "600100")), BytesOf(Tail(trades, kRecentTradesRequested)));
  EXPECT_EQ(ServerData(11).back().lParam, Packed(0, index));

  // Ten minutes on, the same requests bring what is new: the ticks after those held, the
  // minutes from the last one held (rewritten).
  SetClock(ServerNow() + 600);
  Later(kPastRepeatWindow);
  client_->RequestTicks(0, index, kRequester);
  client_->RequestTradeDetails(0, index, kRequester);
  Answered(10, 2);
  ASSERT_EQ(Received(20), 2u);
  trades = Model().TodayTrades(0, index, ServerNow());
  details = Model().TodayDetails(0, index, ServerNow());
  EXPECT_GT(trades.size(), read.size());
  EXPECT_EQ(BytesOf(ReadTicks(0, index)), BytesOf(trades));
  minutes.assign(2000, TodayMinuteRecord{});
  count = static_cast<int>(minutes.size());
  ASSERT_EQ(ReadTradeDetailsFile(table, index, minutes.data(), &count, nullptr, nullptr, nullptr, nullptr), 1);
  minutes.resize(static_cast<std::size_t>(count));
  EXPECT_EQ(BytesOf(minutes), BytesOf(details.minutes));
}

// ---- A past day's trend, ex-rights records, the broker queue ------------------------------------

TEST_F(RequestEndToEnd, APastDaysTrendIsMergedIntoTheHistoryAndItsDayFileDeleted) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  const PackedTime thursday = MakePackedTime(2024, 6, 27);
  std::vector<std::uint32_t> block;
  main_.during = [&](const MessageRecorder::Message& message) {
    if (message.message == MsgServerData && (message.wParam >> 16) == 31 && message.lParam != 0) {
      const auto* words = reinterpret_cast<const std::uint32_t*>(message.lParam);
      block.assign(words, words + 2);
    }
  };
  client_->RequestTrendDay(0, index, thursday | MakePackedTime(0, 0, 0, 10, 30), kRequester);
  Answered(31, 1);
  main_.during = nullptr;

  ASSERT_EQ(block.size(), 2u) << "the trend's arrival is sent with the instrument and the day";
  EXPECT_EQ(static_cast<LPARAM>(block[0]), Packed(0, index));
  EXPECT_EQ(block[1], thursday);
  std::vector<TrendDayMinute> minutes(kMinutesPerDayLimit + 1);
  int count = 0;
  ASSERT_EQ(ReadTrendDay(Table(0), index, thursday, minutes.data(), &count), 1);
  const std::vector<TrendDayMinute> expected = Model().TrendDay(0, index, thursday);
  ASSERT_GE(static_cast<std::size_t>(count), expected.size());
  EXPECT_EQ(std::memcmp(minutes.data(), expected.data(), expected.size() * sizeof(TrendDayMinute)), 0);
  std::string dayFile;
  ASSERT_TRUE(TrendDayFilePath(Table(0), "600100", thursday, dayFile));
  EXPECT_FALSE(fs::exists(Local(dayFile)));
}

TEST_F(RequestEndToEnd, ExRightsRecordsAreFetchedOncePerTradingDay) {
  Start();
  Connect();
  const PackedTime today = PackedDate(Model().MarketTime(0, ServerNow()));
  int index = -1;
  for (int i = 0; i < Table(0)->count && index < 0; ++i) {
    if (!Model().Weights(0, i, today).empty()) index = i;
  }
  ASSERT_GE(index, 0) << "no instrument of the sample has ex-rights records";
  const std::string code = InstrumentCode(&Table(0)->names[index]);

  client_->RequestWeights(0, index, kRequester);
  Answered(18, 1);
  EXPECT_EQ(FileBytes(CachePath(CacheFile::Weights, 0, code.c_str())), BytesOf(Model().Weights(0, index, today)));
  ASSERT_EQ(ServerData(18).size(), 1u);
  EXPECT_EQ(ServerData(18)[0].lParam, Packed(0, index));

  // Current for today's trading day: not asked again.
  Later(kPastRepeatWindow);
  client_->RequestWeights(0, index, kRequester);
  client_->RequestSystemMessage();
  Answered(203, 1);
  EXPECT_EQ(Received(18), 1u);
}

TEST_F(RequestEndToEnd, BrokerQueuesAreTakenWholeAndTheirCountsClamped) {
  struct Row {
    const char* fault;   // empty: none
    bool stored;
    int count;           // the counts stored
  };
  const Row rows[] = {{"", true, -1}, {"short-broker", false, 0}, {"broker-count=50", true, 40}};
  Start();
  Connect();
  const int index = Index(3, "00011");
  ASSERT_GE(index, 0);
  TMarketData* table = Table(3);
  std::uint64_t asked = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    if (row.fault[0] != '\0') On(row.fault);
    std::memset(&table->brokerQueues[index], 0, sizeof(BrokerQueueRecord));
    main_.Clear();
    Later(kPastRepeatWindow);
    client_->RequestBrokerQueue(3, index);
    Answered(102, ++asked);
    BrokerQueueRecord expected = Model().BrokerQueue(3, index, ServerNow());
    const BrokerQueueRecord& held = table->brokerQueues[index];
    if (!row.stored) {
      expected = BrokerQueueRecord{};
    } else if (row.count >= 0) {
      expected.buyCount = static_cast<std::uint16_t>(row.count);
      expected.sellCount = static_cast<std::uint16_t>(row.count);
    }
    EXPECT_EQ(std::memcmp(&held, &expected, sizeof held), 0)
        << "counts " << held.buyCount << "/" << held.sellCount;
    if (row.stored && row.count < 0) {
      ASSERT_EQ(ServerData(102).size(), 1u);
      EXPECT_EQ(ServerData(102)[0].lParam, Packed(3, index));
    }
    if (row.fault[0] != '\0') Off(std::string(row.fault).substr(0, std::string(row.fault).find('=')));
  }
}

// ---- News, notes, information ---------------------------------------------------------------------------

TEST_F(RequestEndToEnd, TheNewsCatchUpPagesToItsEndAndATextFillsItsFile) {
  Start();
  Connect();
  std::vector<zuvo::model::NewsItem> items = Model().News(ServerNow());
  ASSERT_GT(items.size(), 100u) << "several pages of news";
  std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.entry.id < b.entry.id; });

  NewsIndex.NewsCatchUpFlag = 1;
  client_->RequestNews(false, 0);
  ASSERT_TRUE(Pump([] { return NewsIndex.NewsCatchUpFlag == 0; })) << "the catch-up never ended";
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(Received(15), (items.size() + 49) / 50 + 1) << "pages of 50, then the one that finds nothing more";
  ASSERT_EQ(NewsIndex.count, items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const NewsRecord record = NewsIndex.records[i];
    const zuvo::model::NewsEntry entry = items[i].entry;
    EXPECT_EQ(std::uint32_t{record.id}, std::uint32_t{entry.id});
    EXPECT_EQ(std::uint32_t{record.categoryAndRead}, static_cast<std::uint32_t>(entry.category) << 1);
    EXPECT_EQ(std::uint32_t{record.stamp}, std::uint32_t{entry.stamp});
    EXPECT_EQ(Text(record.title, sizeof record.title), Text(items[i].entry.title, sizeof items[i].entry.title));
  }
  // The catch-up announces itself once, at its end.
  const std::vector<MessageRecorder::Message> lists = ServerData(15);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].wParam & 0xFFFF, 0u);

  // A text is fetched into its file.
  main_.Clear();
  const NewsRecord newest = NewsIndex.records[NewsIndex.count - 1];
  const std::uint64_t pages = Received(15);
  client_->RequestNewsText(newest);
  Answered(15, pages + 1);
  EXPECT_EQ(FileBytes(NewsTextPath(newest.id)), items.back().text);
  const std::vector<MessageRecorder::Message> texts = ServerData(15);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].wParam & 0xFFFF, 2u);
  EXPECT_EQ(static_cast<std::uint32_t>(texts[0].lParam), std::uint32_t{newest.id});
  EXPECT_EQ(zuvo::net::CurrentNewsTextId(), -1);
}

TEST_F(RequestEndToEnd, ANotesListAndANoteFillTheFilesTheNotesViewReads) {
  Start();
  Connect();
  FakePage page({{3, kViewKindNotes}, {4, kViewKindQuoteList}});
  const std::vector<zuvo::model::Note> notes = Model().Notes(1, ServerNow());
  ASSERT_FALSE(notes.empty());

  client_->RequestNotesList(1);
  Answered(16, 1);
  const std::vector<NoteRecord> records = Records<NoteRecord>(FileBytes(NotesPath("notes1.ls2")));
  ASSERT_EQ(records.size(), notes.size());
  for (std::size_t i = 0; i < notes.size(); ++i) {
    const zuvo::model::NoteEntry entry = notes[i].entry;
    const NoteRecord record = records[i];
    EXPECT_EQ(int{record.header}, int{entry.header});
    EXPECT_EQ(int{record.field2}, int{entry.number});
    EXPECT_EQ(int{record.one}, 1);
    EXPECT_EQ(Text(record.title, sizeof record.title), Text(entry.title, sizeof entry.title));
    EXPECT_EQ(Text(record.fileName, sizeof record.fileName), Text(entry.fileName, sizeof entry.fileName));
    EXPECT_EQ(std::uint32_t{record.stamp}, std::uint32_t{entry.stamp}) << "the whole stamp, its time digits too";
  }
  ASSERT_EQ(ServerData(16).size(), 1u);
  EXPECT_EQ(ServerData(16)[0].lParam, 1);

  const zuvo::model::Note& wanted = notes.back();
  const std::string name = Text(wanted.entry.fileName, sizeof wanted.entry.fileName);
  client_->RequestNote(1, name.c_str(), wanted.entry.number);
  Answered(16, 2);
  EXPECT_EQ(FileBytes(NotesPath(name)), wanted.text);
  EXPECT_EQ(page.notesOpened, (std::vector<std::pair<int, std::string>>{{0, name}}));

  // Current for today's trading day: the list is not asked again.
  Later(kPastRepeatWindow);
  client_->RequestNotesList(1);
  client_->RequestSystemMessage();
  Answered(203, 1);
  EXPECT_EQ(Received(16), 2u);
}

TEST_F(RequestEndToEnd, NotesWithUnsafeFileNamesAreDropped) {
  Start();
  Connect();
  const std::vector<std::string> before = FilesUnder(install_.root());
  On("bad-note-name");
  client_->RequestNotesList(2);
  client_->RequestSystemMessage();
  Answered(203, 1);
  for (const NoteRecord& record : Records<NoteRecord>(FileBytes(NotesPath("notes2.ls2")))) {
    const std::string name = Text(record.fileName, sizeof record.fileName);
    EXPECT_EQ(name.find_first_of("\\/:"), std::string::npos) << name;
    EXPECT_EQ(name.find(".."), std::string::npos) << name;
  }
  for (const std::string& file : FilesUnder(install_.root())) {
    if (std::find(before.begin(), before.end(), file) != before.end()) continue;
    EXPECT_TRUE(file == "data/notes/notes2.ls2" || file == "bin/SYSMSG.TXT") << "written: " << file;
  }
}

TEST_F(RequestEndToEnd, InformationIndexesAndTextsFillTheirFiles) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  const zuvo::model::InfoIndex info = Model().Info(0, index, 2, ServerNow());
  ASSERT_GT(info.records.size(), 2u);

  EXPECT_TRUE(client_->RequestInfoMineIndex(0, index, 2, kRequester));
  Answered(40, 1);
  const fs::path indexFile = MarketPath(0, "base", "6001002.idx");
  EXPECT_EQ(FileBytes(indexFile), BytesOf(info.records));
  ASSERT_EQ(ServerData(40).size(), 1u);
  EXPECT_EQ(ServerData(40)[0].wParam & 0xFFFF, 2u);
  EXPECT_EQ(ServerData(40)[0].lParam, Packed(0, index));
  // Current: index 2 is not asked again.
  Later(kPastRepeatWindow);
  EXPECT_FALSE(client_->RequestInfoMineIndex(0, index, 2, kRequester));

  // A section past the start of the text: the file is padded with zeros up to it.
  const zuvo::model::InfoMineRecord section = info.records[1];
  const std::int32_t offset = section.offset;
  const std::uint32_t length = section.length;
  ASSERT_GT(offset, 0);
  client_->RequestInfoMineText(0, index, 2, section.key, static_cast<std::uint32_t>(offset), length, kRequester);
  Answered(41, 1);
  const std::string text = FileBytes(MarketPath(0, "base", "6001002.txt"));
  const std::size_t at = static_cast<std::size_t>(offset);
  ASSERT_EQ(text.size(), at + length);
  EXPECT_EQ(text.substr(0, at), std::string(at, '\0'));
  EXPECT_EQ(text.substr(at), info.text.substr(at, length));
  ASSERT_EQ(ServerData(41).size(), 1u);
  EXPECT_EQ(ServerData(41)[0].wParam & 0xFFFF, 2u);
}

TEST_F(RequestEndToEnd, AnInformationTextAtAnOffsetNotAskedForWritesNothing) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  const zuvo::model::InfoIndex info = Model().Info(0, index, 1, ServerNow());
  ASSERT_GT(info.records.size(), 1u);
  const zuvo::model::InfoMineRecord section = info.records[1];
  const std::int32_t offset = section.offset;
  const std::uint32_t length = section.length;
  const fs::path textFile = MarketPath(0, "base", "6001001.txt");
  const std::int64_t offsets[] = {2000000000, -7, offset + 1, 16 * 1024 * 1024 + 1};
  std::uint64_t asked = 0;
  for (const std::int64_t named : offsets) {
    SCOPED_TRACE(named);
    On("info-offset=" + std::to_string(named));
    Later(kPastRepeatWindow);
    client_->RequestInfoMineText(0, index, 1, section.key, static_cast<std::uint32_t>(offset), length, kRequester);
    Answered(41, ++asked);
    EXPECT_FALSE(fs::exists(textFile)) << "size " << FileBytes(textFile).size();
    Off("info-offset");
  }
  // The queue moved on every time; the offset asked for is written.
  Later(kPastRepeatWindow);
  client_->RequestInfoMineText(0, index, 1, section.key, static_cast<std::uint32_t>(offset), length, kRequester);
  Answered(41, ++asked);
  EXPECT_EQ(FileBytes(textFile).size(), static_cast<std::size_t>(offset) + length);
}

// ---- Messages, snapshots, sorts, name tables, the password ---------------------------------------------

TEST_F(RequestEndToEnd, MessagesGoToTheirFilesAndAPasswordChangeIsAnnounced) {
  Start();
  Connect();
  client_->RequestSystemMessage();
  client_->RequestRealtimeMessage(3);
  Answered(204, 1);
  EXPECT_EQ(FileBytes(install_.bin() / "SYSMSG.TXT"), Model().SystemMessage(ServerNow()));
  EXPECT_EQ(FileBytes(install_.bin() / "RTMSG.TXT"), Model().RealtimeMessage(ServerNow(), 3));
  EXPECT_EQ(ServerData(203).size(), 1u);
  EXPECT_EQ(ServerData(204).size(), 1u);

  client_->RequestPasswordChange("newpass");
  Answered(30, 1);
  EXPECT_STREQ(client_->errorText, kPasswordChangedText);
  EXPECT_EQ(main_.Of(MsgServerText).size(), 1u);
}

TEST_F(RequestEndToEnd, QuoteSnapshotsFillTheExtraRecords) {
  Start();
  Connect();
  const int a = Index(0, "600100");
  const int b = Index(0, "600500");
  auto* keys = new EArray<STKMS>();
  keys->Add({0, static_cast<std::uint16_t>(a)});
  keys->Add({0, static_cast<std::uint16_t>(b)});
  client_->RequestQuotes(keys);
  Answered(9, 1);
  for (const int index : {a, b}) {
    const QuoteExtraRecord& extra = Table(0)->extras[index];
    const zuvo::model::QuoteExtraEntry expected = Model().QuoteExtra(0, index, ServerNow());
    EXPECT_EQ(extra.filled, 1);
    EXPECT_EQ(extra.side, expected.side);
    // The entry's 24 bytes after its key and side are the record's after its flag and side.
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&extra) + 2, reinterpret_cast<const char*>(&expected) + 4, 24),
              0);
  }
  EXPECT_EQ(ServerData(9).size(), 1u);
}

TEST_F(RequestEndToEnd, ServerSortsReachTheirViewOrFillTheFastChanges) {
  Start();
  Connect();
  FakePage page({{5, kViewKindQuoteList}, {9, kViewKindQuoteList}, {5, kViewKindQuoteList}, {5, kViewKindNotes}});
  const std::vector<STKMS> keys = {{0, static_cast<std::uint16_t>(Index(0, "600100"))},
                                   {0, static_cast<std::uint16_t>(Index(0, "600200"))},
                                   {0, static_cast<std::uint16_t>(Index(0, "600300"))}};
  auto keyArray = [&] {
    auto* array = static_cast<STKMS*>(GuardedAlloc(static_cast<std::uint32_t>(keys.size() * sizeof(STKMS))));
    std::copy(keys.begin(), keys.end(), array);
    return array;
  };
  const fs::path temp = install_.root() / "tmp";

  // Ranking by the change (column 10): a numbered file for the last cell of the requester,
  // whatever its view.
  client_->RequestServerSort(41, 10, static_cast<std::uint32_t>(keys.size()), keyArray(), 5, 0);
  Answered(101, 1);
  ASSERT_EQ(page.sortReady.size(), 1u);
  EXPECT_EQ(page.sortReady[0].cell, 3);
  EXPECT_EQ(page.sortReady[0].serial, 41u);
  const fs::path numbered = temp / (std::to_string(page.sortReady[0].fileNumber) + ".tmp");
  EXPECT_EQ(FileBytes(numbered), SortAnswer(14, keys));
  EXPECT_FALSE(fs::exists(temp / "sortdata.tmp"));

  // Fast change (column 21): the quotes take (a - b) x 100 / b and the requester's last quote
  // list repaints.
  client_->RequestServerSort(42, 21, static_cast<std::uint32_t>(keys.size()), keyArray(), 5, 1);
  Answered(101, 2);
  const std::string answer = SortAnswer(24, keys);
  ASSERT_EQ(answer.size(), keys.size() * 11);
  for (std::size_t k = 0; k < keys.size(); ++k) {
    float a = 0;
    float b = 0;
    std::memcpy(&a, answer.data() + 11 * k + 3, 4);
    std::memcpy(&b, answer.data() + 11 * k + 7, 4);
    ASSERT_NE(static_cast<int>(b), 0);
    const float expected = (a - b) * 100 / b;
    EXPECT_NEAR(Table(0)->quotes[keys[k].index].fastChange, expected, std::fabs(expected) * 1e-4 + 1e-6) << k;
  }
  EXPECT_EQ(page.redrawn, std::vector<int>{2});
  EXPECT_FALSE(fs::exists(temp / "sortdata.tmp"));
}

TEST_F(RequestEndToEnd, SnapshotAndSortRecordsOfABadIndexTouchNoTable) {
  Start();
  Connect();
  FakePage page({{5, kViewKindQuoteList}});
  const int a = Index(0, "600100");
  On("bad-index");
  auto* keys = new EArray<STKMS>();
  keys->Add({0, static_cast<std::uint16_t>(a)});
  client_->RequestQuotes(keys);
  auto* array = static_cast<STKMS*>(GuardedAlloc(sizeof(STKMS)));
  array[0] = {0, static_cast<std::uint16_t>(a)};
  client_->RequestServerSort(43, 21, 1, array, 5, 1);
  client_->RequestSystemMessage();
  Answered(203, 1);
  EXPECT_EQ(Received(101), 1u);
  for (int m = 0; m < MarketCount; ++m) {
    for (int i = 0; i < Table(m)->count; ++i) {
      EXPECT_EQ(Table(m)->extras[i].filled, 0) << m << "/" << i;
      EXPECT_EQ(static_cast<float>(Table(m)->quotes[i].fastChange), 0.0f) << m << "/" << i;
    }
  }
}

TEST_F(RequestEndToEnd, ANameTableThroughTheQueueRefillsItsMarketAndFile) {
  Start();
  Connect();
  char path[260];
  ASSERT_TRUE(Table(1)->MarketFilePath("nametbl", path, sizeof path));
  const fs::path file = Local(path);
  const std::string downloaded = FileBytes(file);
  ASSERT_FALSE(downloaded.empty());
  const int count = Table(1)->count;
  fs::remove(file);
  const std::uint64_t downloads = Received(6);
  client_->RequestNameTable(1);
  Answered(6, downloads + 1);
  EXPECT_EQ(FileBytes(file), downloaded);
  EXPECT_EQ(Table(1)->count, count);
  const std::vector<MessageRecorder::Message> data = ServerData(6);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].lParam, 1);
}

// ---- Faults ---------------------------------------------------------------------------------------------

TEST_F(RequestEndToEnd, ReplyHeadsNamingAPathOrAMarketNotLoadedWriteNothingAndTheQueueMovesOn) {
  struct Row {
    const char* fault;
    bool nameTable;   // the name table's market byte is spoiled too
  };
  const Row rows[] = {{"path-code", false}, {"bad-market", true}};
  Start();
  Connect();
  const int index = Index(0, "600100");
  const int hk = Index(3, "00011");
  std::uint64_t asked = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    const QuoteRecord quote = Table(0)->quotes[index];
    const int names = Table(1)->count;
    const InstrumentRecord firstName = Table(1)->names[0];
    fs::remove(install_.bin() / "SYSMSG.TXT");
    const std::vector<std::string> before = FilesUnder(install_.root());
    main_.Clear();
    On(row.fault);
    Later(kPastRepeatWindow);

    client_->RequestHistoryBars(0, index, 0, kCycleDay, 1, 0, kRequester);
    client_->RequestTicks(0, index, kRequester);
    client_->RequestTradeDetails(0, index, kRequester);
    client_->RequestRecentTicks(0, index, kRecentTradesRequested, kRequester);
    client_->RequestWeights(0, index, kRequester);
    client_->RequestTrendDay(0, index, MakePackedTime(2024, 6, 27), kRequester);
    EXPECT_TRUE(client_->RequestInfoMineIndex(0, index, 2, kRequester));
    client_->RequestBrokerQueue(3, hk);
    if (row.nameTable) client_->RequestNameTable(1);
    client_->RequestSystemMessage();
    Answered(203, ++asked);
    for (const std::uint8_t type : {12, 20, 10, 11, 18, 31, 40, 102}) EXPECT_EQ(Received(type), asked) << int{type};

    std::vector<std::string> written;
    for (const std::string& file : FilesUnder(install_.root())) {
      if (std::find(before.begin(), before.end(), file) == before.end()) written.push_back(file);
    }
    EXPECT_EQ(written, std::vector<std::string>{"bin/SYSMSG.TXT"});
    for (const int type : {6, 12, 20, 10, 11, 18, 31, 40, 102}) EXPECT_TRUE(ServerData(type).empty()) << type;
    EXPECT_EQ(std::memcmp(&Table(0)->quotes[index], &quote, sizeof quote), 0);
    EXPECT_EQ(Table(3)->brokerQueues[hk].buyCount, 0);
    EXPECT_EQ(Table(3)->brokerQueues[hk].sellCount, 0);
    EXPECT_EQ(Table(1)->count, names);
    EXPECT_EQ(std::memcmp(&Table(1)->names[0], &firstName, sizeof firstName), 0);
    Off(row.fault);
  }
}

TEST_F(RequestEndToEnd, UnterminatedServerTextsAreCutToTheirFieldsAndBodies) {
  Start();
  Connect();
  On("unterminated");
  On("error=203:20");
  client_->RequestSystemMessage();
  Answered(203, 1);
  EXPECT_EQ(main_.Of(MsgServerText).size(), 1u);
  const std::size_t length = strnlen(client_->errorText, sizeof client_->errorText);
  EXPECT_GT(length, 0u);
  EXPECT_LE(length, 255u);
  EXPECT_FALSE(fs::exists(install_.bin() / "SYSMSG.TXT"));
  Off("error");

  client_->RequestNews(false, 0);
  Answered(15, 1);
  ASSERT_GT(NewsIndex.count, 0u);
  for (std::uint32_t i = 0; i < NewsIndex.count; ++i) {
    EXPECT_EQ(strnlen(NewsIndex.records[i].title, sizeof NewsIndex.records[i].title), 79u);
  }

  // A notes list whose titles fill their fields keeps its file names apart.
  const std::vector<zuvo::model::Note> notes = Model().Notes(0, ServerNow());
  client_->RequestNotesList(0);
  Answered(16, 1);
  const std::vector<NoteRecord> records = Records<NoteRecord>(FileBytes(NotesPath("notes0.ls2")));
  ASSERT_EQ(records.size(), notes.size());
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(Text(records[i].fileName, sizeof records[i].fileName),
              Text(notes[i].entry.fileName, sizeof notes[i].entry.fileName));
  }
}

TEST_F(RequestEndToEnd, AReplyCutByALostConnectionLeavesNoPartialFile) {
  Start();
  Connect();
  const int index = Index(0, "600100");
  ASSERT_GT(Model().Info(0, index, 3, ServerNow()).records.size(), 100u) << "a reply of many frames";
  const fs::path indexFile = MarketPath(0, "base", "6001003.idx");
  // The dispatch as usual, noting that the first frame did write a part of the file.
  bool partWritten = false;
  zuvo::net::ScopedReplyHandler handler([&](TNormalClnt* client, const std::uint8_t* body, int length) {
    const int result = DispatchInfo(client, body, length);
    if (client->header.type == 40 && client->header.index == 0) partWritten = fs::exists(indexFile);
    return result;
  });
  On("drop=reply-mid");
  EXPECT_TRUE(client_->RequestInfoMineIndex(0, index, 3, kRequester));
  ASSERT_TRUE(Pump([&] { return client_->handle == -1; })) << "the server did not cut the reply";
  EXPECT_TRUE(partWritten);
  main_.Pump();
  EXPECT_EQ(main_.Of(MsgConnectionLost).size(), 1u);
  EXPECT_FALSE(fs::exists(indexFile));
  EXPECT_FALSE(fs::exists(MarketPath(0, "base", "6001003.txt")));
  EXPECT_TRUE(ServerData(40).empty());
}

TEST_F(RequestEndToEnd, LateRepliesOfExpiredRequestsWriteNothing) {
  Start();
  Connect();
  const std::vector<zuvo::model::Note> notes = Model().Notes(3, ServerNow());
  ASSERT_GE(notes.size(), 2u);
  const std::string first = Text(notes[0].entry.fileName, 16);
  const std::string second = Text(notes[1].entry.fileName, 16);
  FakePage page({{1, kViewKindNotes}});

  // A note held back until its request expired, then the next note: the first reply is late.
  On("late=16");
  client_->RequestNote(3, first.c_str(), notes[0].entry.number);
  ASSERT_TRUE(AwaitServerReceived(16, 1));
  Later(kRequestExpiryMs);
  ExpireRequests();
  client_->RequestNote(3, second.c_str(), notes[1].entry.number);
  ASSERT_TRUE(AwaitServerReceived(16, 2));
  server_->ReleaseHeld();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_TRUE(Pump([&] { return fs::exists(NotesPath(second)); }));
  EXPECT_FALSE(fs::exists(NotesPath(first))) << "the late reply was written";
  EXPECT_EQ(FileBytes(NotesPath(second)), notes[1].text);
  EXPECT_EQ(page.notesOpened, (std::vector<std::pair<int, std::string>>{{0, second}}));
  Off("late");

  // The same for news texts.
  std::vector<zuvo::model::NewsItem> items = Model().News(ServerNow());
  ASSERT_GE(items.size(), 2u);
  client_->RequestNews(false, 0);   // pages to the newest item
  Answered(15, 1);
  ASSERT_GE(NewsIndex.count, 2u);
  const std::uint64_t lists = Received(15);
  const NewsRecord a = NewsIndex.records[0];
  const NewsRecord b = NewsIndex.records[1];
  auto textOf = [&](std::uint32_t id) {
    for (const auto& item : items) {
      if (item.entry.id == id) return item.text;
    }
    return std::string();
  };
  On("late=15");
  client_->RequestNewsText(a);
  ASSERT_TRUE(AwaitServerReceived(15, lists + 1));
  Later(kRequestExpiryMs);
  ExpireRequests();
  client_->RequestNewsText(b);
  ASSERT_TRUE(AwaitServerReceived(15, lists + 2));
  server_->ReleaseHeld();
  ASSERT_TRUE(AwaitIdle());
  ASSERT_TRUE(Pump([&] { return fs::exists(NewsTextPath(b.id)); }));
  EXPECT_FALSE(fs::exists(NewsTextPath(a.id))) << "the late reply was written";
  EXPECT_EQ(FileBytes(NewsTextPath(b.id)), textOf(b.id));
}

TEST_F(RequestEndToEnd, AnUnansweredNoteExpiresAndTheQueueMovesOn) {
  Start();
  Connect();
  const std::vector<zuvo::model::Note> notes = Model().Notes(3, ServerNow());
  ASSERT_GE(notes.size(), 2u);
  const std::string first = Text(notes[0].entry.fileName, 16);
  const std::string second = Text(notes[1].entry.fileName, 16);
  On("skip=16");
  client_->RequestNote(3, first.c_str(), notes[0].entry.number);
  ASSERT_TRUE(AwaitServerReceived(16, 1));
  Later(kRequestExpiryMs);
  ExpireRequests();
  ASSERT_TRUE(AwaitIdle());
  Off("skip");
  // A reply to a later request shows the server answers in order: the skipped one never comes.
  client_->RequestSystemMessage();
  Answered(203, 1);
  client_->RequestNote(3, second.c_str(), notes[1].entry.number);
  Answered(16, 2);
  EXPECT_FALSE(fs::exists(NotesPath(first)));
  EXPECT_EQ(FileBytes(NotesPath(second)), notes[1].text);
}

TEST_F(RequestEndToEnd, RepliesInReverseOrderStillFillTheirOwnFiles) {
  Start();
  Connect();
  const int index = Index(0, "600400");
  const std::vector<zuvo::model::Note> notes = Model().Notes(4, ServerNow());
  ASSERT_FALSE(notes.empty());
  const std::string name = Text(notes[0].entry.fileName, 16);
  On("reorder");
  client_->RequestNote(4, name.c_str(), notes[0].entry.number);
  client_->RequestTicks(0, index, kRequester);
  ASSERT_TRUE(AwaitServerReceived(20, 1));
  ASSERT_TRUE(Pump([&] { return fs::exists(NotesPath(name)) && !ServerData(20).empty(); }));
  // The ticks reply came first and completed nothing; its request expires in its time.
  Later(kRequestExpiryMs);
  ExpireRequests();
  ASSERT_TRUE(AwaitIdle());
  EXPECT_EQ(FileBytes(NotesPath(name)), notes[0].text);
  EXPECT_EQ(BytesOf(ReadTicks(0, index)), BytesOf(Model().TodayTrades(0, index, ServerNow())));
}

// ---- The version check at login --------------------------------------------------------------------------

TEST_F(RequestEndToEnd, TheVersionCheckStartsTheUpdaterOnlyForANewerVersion) {
  struct Row {
    const char* fault;         // the server's answer
    const char* versionFile;   // null: no .\version.txt
    bool launchFails;
    int result;
    bool launched;
  };
  const Row rows[] = {
      {"version=7", "7", false, 0, false},
      {"version=7", "12", false, 0, false},
      {"version=7", "6", false, 0, true},
      {"version=7", nullptr, false, 0, true},
      {"version=7", "6", true, 0, true},
      {"short-version", "6", false, -1, false},
  };
  Start();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.fault) + " / " + (row.versionFile != nullptr ? row.versionFile : "no file") +
                 (row.launchFails ? " / launch fails" : ""));
    On(row.fault);
    fs::remove(install_.bin() / "version.txt");
    if (row.versionFile != nullptr) testsupport::WriteBytes(install_.bin() / "version.txt", row.versionFile);
    std::vector<zuvo::platform::ProcessLaunch> launches;
    zuvo::platform::ScopedProcessLauncher launcher([&](const zuvo::platform::ProcessLaunch& launch) {
      launches.push_back(launch);
      zuvo::platform::LaunchResult result;
      result.started = !row.launchFails;
      result.error = row.launchFails ? 2 : 0;
      return result;
    });
    zuvo::platform::ScopedScriptedMessageBoxes boxes;
    main_.Clear();
    std::unique_ptr<TNormalClnt> client = LoginClient();
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->CheckVersion(main_.window()), row.result);
    if (row.result == 0) {
      const std::vector<MessageRecorder::Message> progress = main_.Of(MsgLoginCheckVersion);
      ASSERT_EQ(progress.size(), 1u);
      EXPECT_EQ(progress[0].wParam, 1u);
      EXPECT_EQ(progress[0].lParam, 1);
    }
    if (row.launched) {
      ASSERT_EQ(launches.size(), 1u);
      EXPECT_EQ(launches[0].program, ".\\update.exe");
      EXPECT_EQ(launches[0].argument, "-Silently -runbyzuvo");
    } else {
      EXPECT_TRUE(launches.empty());
    }
    if (row.launchFails) {
      ASSERT_EQ(boxes->Count(), 1u);
      EXPECT_EQ(boxes->Shown()[0].text, "客户端软件已更新，但无法启动自动升级程序。请稍后手动下载更新。  ");
      EXPECT_EQ(boxes->Shown()[0].caption, "提示");
      EXPECT_EQ(boxes->Shown()[0].icon, static_cast<UINT>(MB_ICONERROR));
      EXPECT_TRUE(boxes->Shown()[0].topMost);
    } else {
      EXPECT_EQ(boxes->Count(), 0u);
    }
    client.reset();
    main_.Pump();
    Off(std::string(row.fault).substr(0, std::string(row.fault).find('=')));
  }
}

}  // namespace
}  // namespace nettest
