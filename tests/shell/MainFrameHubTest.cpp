// The main window's hub offscreen: a main window with a page of stand-in views, recording network
// clients and hand-made markets. Each private message is sent the way its sender sends it and
// what every view was asked is compared with a table: the server-data codes, the options, the
// connection losses, deleted blocks, linked charts, the quote events, the notices, the quick
// order, the window limits and activation. The messenger's login block is tested with the
// launcher double and the message channel's loopback peer, so only the messenger this program
// started gets it.
#include "shell/MainFrame.h"

#include "FakeShellClients.h"
#include "LoginScript.h"
#include "ShellSettingsFixture.h"

#include "core/PackedTime.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/StkPtr.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "net/PushRecords.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/MessageChannel.h"
#include "platform/ChannelFrame.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "shell/Cell.h"
#include "shell/PageList.h"
#include "shell/PageWindow.h"
#include "shell/SmallWindows.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

// The instruments of the tests: market 0 "SH" holds 000001 (the first index) and 600000,
// market 1 "SZ" holds 399001 (the second index) and 000002.
const STKPTR kSh000001(0, 0, 0);
const STKPTR kSh600000(0, 0, 1);
const STKPTR kSz399001(1, 0, 0);

std::string Ref(STKPTR stk) { return std::to_string(stk.market) + ":" + std::to_string(stk.index); }

LPARAM Packed(STKPTR stk) { return static_cast<LPARAM>(StkPtrToWord(stk)); }
WPARAM Codes(int code, int subCode) { return static_cast<WPARAM>(code) << 16 | static_cast<WPARAM>(subCode); }

class MainFrameHubTest : public ::testing::Test {
 protected:
  // The frame makes itself as its window is first made (the offline start: the markets from
  // the files below, the offline warning answered with OK, the messenger launched by the
  // launcher double); then its timers are stopped and it gets an empty page.
  void SetUp() override {
    WriteMarkets();
    settings.AddBlock("自选", {"SH 600000"});
    settings.AddBlock("观察", {"SZ 399001"});
    settings.BuildBlocks();
    settings.SetSysBlocks("自选");
    savedZones = TimeZones;
    SmartOrderLog().clear();
    TradeOrderWindow = nullptr;
    ClearPageList();

    shelltest::AnswerLoginOffline(*runner, 1);
    frame = NewForm<TMFrame>(nullptr);
    ASSERT_FALSE(frame->CloseForced);
    frame->Timer1->SetEnabled(false);
    frame->Timer2->SetEnabled(false);
    frame->Show();
    ProcessPendingMessages();
    TimeZones = TimeZoneTable{};
    boxesAtStart = boxes->Count();   // the offline warning
    frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    ProcessPendingMessages();
    page = frame->PageWindow();
    ASSERT_NE(page, nullptr);
  }

  // Markets 0 "SH" (000001, 600000) and 1 "SZ" (399001, 000002) as the offline start reads them.
  void WriteMarkets() {
    std::string config;
    const std::vector<std::pair<const char*, std::vector<const char*>>> markets = {
        {"SH", {"000001", "600000"}}, {"SZ", {"399001", "000002"}}};
    for (const auto& [code, codes] : markets) {
      MarketRecord record = markettest::MakeRecord(code, 1, 16, 1, "tst");
      config += markettest::Bytes(record);
      std::vector<InstrumentRecord> names;
      for (const char* c : codes) names.push_back(markettest::MakeInstrument(c));
      std::vector<QuoteRecord> quotes(codes.size());
      testsupport::WriteBytes(settings.install().data() / code / "nametbl.tst", markettest::Bytes(names));
      testsupport::WriteBytes(settings.install().data() / code / "real.tst", markettest::Bytes(quotes));
    }
    testsupport::WriteBytes(settings.install().cfg() / "mkinfo.cfg", config);
    profile::ClearCache();
  }

  void TearDown() override {
    TComponent::Free(frame);
    ProcessPendingMessages();
    delete AlarmWin;
    delete Alartfm;
    delete Alarm;
    Alarm = nullptr;
    TimeZones = savedZones;
    SmartOrderLog().clear();
    TradeOrderWindow = nullptr;
    ClearPageList();
    NewsIndex.Discard();
    EXPECT_EQ(MFrame, nullptr);
  }

  static VIEW_ATTR_12 Attr(ViewKind kind, STKPTR instrument = STKPTR()) {
    VIEW_ATTR_12 attr;
    DefaultViewAttr(kind, &attr);
    if (instrument != STKPTR()) attr.instrument = instrument;
    return attr;
  }

  // The page's first cell takes the first view; later ones are split off the last cell.
  TMultiViewChild* AddCell(const std::string& name, const VIEW_ATTR_12& attr) {
    TMultiViewChild* cell = nullptr;
    TMultiViewChild* last = page->cells[page->cells.GetSize() - 1];
    if (named.empty()) {
      cell = page->ChangeCellView(last->node, &attr, 0);
    } else {
      cell = page->SplitCell(last->node, &attr, 0.5f, 2);
    }
    page->LayoutPage();
    ProcessPendingMessages();
    named.emplace_back(name, cell);
    return cell;
  }
  TMultiViewChild* Cell(const std::string& name) {
    for (auto& [n, cell] : named)
      if (n == name) return cell;
    return nullptr;
  }

  // The usual page: a quote list, a linked trend and a K-line of SH 600000, a K-line of
  // SZ 399001, an F10 view of SH 600000, a news view showing item 42 and a notes view of list 2.
  void StandardPage() {
    VIEW_ATTR_12 report = Attr(VIEW_REPORT);
    AddCell("report", report);
    AddCell("trend", Attr(VIEW_TREND, kSh600000))->linkFlag = true;
    AddCell("kline", Attr(VIEW_KLINE, kSh600000));
    AddCell("klineSz", Attr(VIEW_KLINE, kSz399001));
    AddCell("f10", Attr(VIEW_F10, kSh600000));
    auto* news = dynamic_cast<TMsgForm*>(AddCell("news", Attr(VIEW_NEWS)));
    news->textPaneVisible = true;
    news->textFileName = "..\\data\\info\\00000042.TXT";
    auto* note = dynamic_cast<TZQNote*>(AddCell("note", Attr(VIEW_NOTE)));
    note->category = 2;
    Clear();
  }

  static StubRecorder& Log(TMultiViewChild* cell) { return *dynamic_cast<StubRecorder*>(cell); }
  void Clear() {
    for (auto& [name, cell] : named) {
      Log(cell).calls.clear();
      Log(cell).notifications.clear();
      paints[name] = Log(cell).paints;
    }
  }
  // What each named view was asked since the last Clear, as "N<code> <market>:<index> <arg>"
  // for notifications, the stand-in's own call texts, and "painted" for a repaint; views asked
  // nothing are left out.
  std::map<std::string, std::vector<std::string>> Activity() {
    std::map<std::string, std::vector<std::string>> activity;
    for (auto& [name, cell] : named) {
      std::vector<std::string> lines;
      for (const ViewNotifyRecord& n : Log(cell).notifications)
        lines.push_back("N" + std::to_string(n.code) + " " + Ref(n.instrument) + " " + std::to_string(n.arg));
      for (const std::string& call : Log(cell).calls) lines.push_back(call);
      if (Log(cell).paints > paints[name]) lines.push_back("painted");
      if (!lines.empty()) activity[name] = lines;
    }
    Clear();
    return activity;
  }

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(frame->Handle(), message, wParam, lParam);
  }
  int Subscriptions() const {
    return static_cast<int>(std::count_if(clients.calls.begin(), clients.calls.end(), [](const std::string& c) {
      return c.rfind("PushSubscribe", 0) == 0;
    }));
  }
  void Online() {
    clients.requestClient = true;
    clients.pushClient = true;
  }
  QuoteRecord& QuoteOf(STKPTR stk) { return MarketTables[stk.market]->quotes[stk.index]; }

  static constexpr DWORD kMessengerPid = 4242;

  shelltest::ShellSettings settings;
  shelltest::FakeShellClients clients;
  ScopedScriptedMessageBoxes boxes;
  ScopedScriptedModalRunner runner;
  ScopedRecordingShell shell;
  std::vector<std::string> launches;
  ScopedProcessLauncher launcher{[this](const ProcessLaunch& launch) {
    launches.push_back(launch.program);
    return LaunchResult{true, 0, static_cast<int>(kMessengerPid)};
  }};
  TMFrame* frame = nullptr;
  TMultiViewMain* page = nullptr;
  std::vector<std::pair<std::string, TMultiViewChild*>> named;
  std::map<std::string, int> paints;
  TimeZoneTable savedZones;
  std::size_t boxesAtStart = 0;
};

using Activities = std::map<std::string, std::vector<std::string>>;

// ---- Server data --------------------------------------------------------------------------------

TEST_F(MainFrameHubTest, EachServerDataCodeReachesItsViews) {
  StandardPage();
  const std::string sh = Ref(kSh600000);
  const std::string sz = Ref(kSz399001);
  struct Row {
    int code;
    int subCode;
    LPARAM value;
    Activities expected;
  };
  const std::vector<Row> rows = {
      // List quotes: the quote lists repaint, the charts refresh their side panels.
      {9, 0, 0,
       {{"report", {"painted"}},
        {"trend", {"N17 " + sh + " 0"}},
        {"kline", {"N17 " + sh + " 0", "RefreshSidePanel"}},
        {"klineSz", {"N17 " + sz + " 0", "RefreshSidePanel"}}}},
      // Trades and bars go to the data series only.
      {10, 50, Packed(kSh600000), {}},
      {12, 100 * 256 + 4, Packed(kSh600000), {}},
      // News: the lists rebuild; a text is shown again only in the view that shows that item.
      {15, 0, 0, {{"news", {"RefreshNewsList"}}}},
      {15, 2, 42, {{"news", {"ShowNewsText"}}}},
      {15, 2, 43, {}},
      // Notes: only the views of that list, only for sub-code 0.
      {16, 0, 2, {{"note", {"LoadNoteList 2"}}}},
      {16, 0, 1, {}},
      {16, 1, 2, {}},
      // Weights and advice: every K-line view.
      {18, 0, Packed(kSh600000), {{"kline", {"N18 " + sh + " 0", "ReloadWeights"}}, {"klineSz", {"N18 " + sh + " 0"}}}},
      {33, 0, Packed(kSz399001), {{"kline", {"N16 " + sz + " 0"}}, {"klineSz", {"N16 " + sz + " 0", "Advice"}}}},
      // Company text: the F10 views of that instrument.
      {21, 0, Packed(kSh600000), {{"f10", {"ShowSection 1"}}}},
      {21, 0, Packed(kSz399001), {}},
      // Information links by sub-code: F10, K-line, else trend; only matching views.
      {40, 1, Packed(kSh600000), {{"f10", {"N14 " + sh + " 0", "ReloadLinks"}}}},
      {40, 2, Packed(kSh600000), {{"kline", {"N14 " + sh + " 0", "ReloadLinks"}}}},
      {40, 3, Packed(kSh600000), {{"trend", {"N14 " + sh + " 0"}}}},
      {40, 2, Packed(kSz399001), {{"klineSz", {"N14 " + sz + " 0", "ReloadLinks"}}}},
      {41, 1, Packed(kSh600000), {{"f10", {"N14 " + sh + " 1", "ReloadSection"}}}},
      {41, 2, Packed(kSh600000), {}},
      // Broker queue: the matching charts' side trade grids.
      {102, 0, Packed(kSh600000), {{"trend", {"RepaintSideTradeGrid"}}, {"kline", {"RepaintSideTradeGrid"}}}},
      {203, 0, 0, {}},
      {204, 0, 0, {}},
      {77, 0, Packed(kSh600000), {}},
  };
  for (const Row& row : rows) {
    Send(MsgServerData, Codes(row.code, row.subCode), row.value);
    EXPECT_EQ(Activity(), row.expected) << "code " << row.code << " sub-code " << row.subCode;
  }

  // Trend data is sent with a pointer to the instrument word and the day.
#pragma pack(push, 1)
  struct {
    std::uint32_t word;
    std::uint32_t day;
  } trendDay{StkPtrToWord(kSz399001), MakePackedTime(2024, 3, 1)};
#pragma pack(pop)
  Send(MsgServerData, Codes(31, 0), reinterpret_cast<LPARAM>(&trendDay));
  const Activities activity = Activity();
  ASSERT_EQ(activity.count("trend"), 1u);
  EXPECT_EQ(activity.at("trend").front(), "N19 " + sz + " " + std::to_string(static_cast<int>(trendDay.day)));
  EXPECT_EQ(activity.size(), 1u);
  Send(MsgServerData, Codes(31, 0), 0);
  EXPECT_EQ(Activity(), Activities{});
}

TEST_F(MainFrameHubTest, CodesWithoutTheirViewsDoNothing) {
  // The empty page's one cell is no view of these codes: nothing to do, nothing breaks.
  Send(MsgServerData, Codes(15, 0), 0);
  Send(MsgServerData, Codes(9, 0), 0);
  Send(MsgServerData, Codes(21, 0), Packed(kSh600000));
  EXPECT_EQ(page->cells.GetSize(), 1);
}

TEST_F(MainFrameHubTest, NameTableOfMarketOneClearsBothMarketsAndRefreshesItsCharts) {
  StandardPage();
  Online();
  ASSERT_NE(Alarm, nullptr);
  QuoteOf(kSh000001).last = 310000;
  QuoteOf(kSz399001).last = 920000;
  QuoteOf(kSz399001).prevClose = 900000;
  Send(MsgResubscribe, 0, 0);   // a subscription is in place, so only a full rebuild sends again
  const int before = Subscriptions();

  // Market 0: nothing changes.
  Send(MsgServerData, Codes(6, 0), 0);
  EXPECT_EQ(Activity(), Activities{});
  EXPECT_EQ(QuoteOf(kSh000001).last, 310000u);
  EXPECT_TRUE(Alarm->calls.empty());
  EXPECT_EQ(Subscriptions(), before);

  // Market 1: the quotes of markets 0 and 1 go, the index slots follow the cleared quotes, the
  // quote lists reload their block, only the charts of market 1 refresh, and the whole
  // subscription is sent again between the alarm files' save and reload.
  Send(MsgServerData, Codes(6, 0), 1);
  EXPECT_EQ(QuoteOf(kSh000001).last, 0u);
  EXPECT_EQ(QuoteOf(kSz399001).last, 0u);
  EXPECT_EQ(frame->IndexSlots[0].index, 0);
  EXPECT_EQ(frame->IndexSlots[1].index, 0);
  EXPECT_EQ(frame->IndexSlots[1].previousClose, 0);
  EXPECT_EQ(Alarm->calls, (std::vector<std::string>{"SaveFiles", "LoadFiles"}));
  EXPECT_EQ(Subscriptions(), before + 1);
  const Activities activity = Activity();
  ASSERT_EQ(activity.count("report"), 1u);
  EXPECT_EQ(activity.at("report").front(), "N10 0:0 " + std::to_string(Cell("report")->attr.currentBlock));
  EXPECT_EQ(activity.count("klineSz"), 1u);
  EXPECT_EQ(activity.at("klineSz"), (std::vector<std::string>{"RefreshView"}));
  EXPECT_EQ(activity.count("kline"), 0u);
  EXPECT_EQ(activity.count("trend"), 0u);
}

TEST_F(MainFrameHubTest, NameTableKeepsTheQuoteStripsBlockByName) {
  StandardPage();
  frame->Panel1->SetVisible(true);
  const BlockRecord* block = FindBlockByName("观察");
  ASSERT_NE(block, nullptr);
  frame->QuoteBlockId = block->id;
  Send(MsgServerData, Codes(6, 0), 1);
  EXPECT_EQ(frame->QuoteBlockId, static_cast<int>(FindBlockByName("观察")->id));
  char saved[64] = {};
  GetPrivateProfileStringA("Parameter", "QuoteBlock", "", saved, sizeof saved, UserFilePath("SETTING.INI").c_str());
  EXPECT_STREQ(saved, "观察");
}

// ---- Options -----------------------------------------------------------------------------------

TEST_F(MainFrameHubTest, OptionsChangedByKind) {
  StandardPage();
  Online();
  Send(MsgResubscribe, 0, 0);
  clients.subscribeResult = 0;

  // 0 and 1: colours and fonts again for every view, the ticker's colour, and the subscription.
  for (LPARAM what : {0, 1}) {
    clients.calls.clear();
    clients.pushClient = true;
    ColorTable[52] = RGB(1, 2, 3 + static_cast<int>(what));
    frame->StatusBox6->Font()->SetColor(0);
    Send(MsgOptionsChanged, 0, what);
    const Activities activity = Activity();
    for (const char* chart : {"trend", "kline", "klineSz"}) {
      ASSERT_EQ(activity.count(chart), 1u) << chart;
      EXPECT_EQ(activity.at(chart).front(), "ViewApplyColors") << chart;
    }
    EXPECT_EQ(frame->StatusBox6->Font()->Color(), static_cast<TColor>(ColorTable[52])) << what;
  }

  // 3: the zoom level of the user's settings to every K-line view (16 without one).
  ASSERT_TRUE(WritePrivateProfileStringA("PARAMETER", "ZoomLevel", "7", UserFilePath("SETTING.INI").c_str()));
  Send(MsgOptionsChanged, 0, 3);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"SetZoomLevel 7"}}, {"klineSz", {"SetZoomLevel 7"}}}));
  ASSERT_TRUE(WritePrivateProfileStringA("PARAMETER", "ZoomLevel", nullptr, UserFilePath("SETTING.INI").c_str()));
  Send(MsgOptionsChanged, 0, 3);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"SetZoomLevel 16"}}, {"klineSz", {"SetZoomLevel 16"}}}));

  // Any other value: the K-line views' colours only.
  Send(MsgOptionsChanged, 0, 5);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"ViewApplyColors"}}, {"klineSz", {"ViewApplyColors"}}}));
}

// ---- Connections ---------------------------------------------------------------------------------

TEST_F(MainFrameHubTest, ConnectionLostDestroysOnlyAClientWhoseSocketClosed) {
  struct Row {
    WPARAM ask;
    LPARAM which;
    SOCKET requestSocket;
    SOCKET pushSocket;
    std::vector<std::string> expected;
  };
  const std::vector<Row> rows = {
      {0, 0, INVALID_SOCKET, 7, {"DestroyRequestClient"}},
      {0, 0, 5, INVALID_SOCKET, {}},
      {0, 1, 5, INVALID_SOCKET, {"DestroyPushClient"}},
      {0, 1, INVALID_SOCKET, 7, {}},   // the push socket is still open: the client stays
      {0, 2, INVALID_SOCKET, INVALID_SOCKET, {}},
      {2, 0, INVALID_SOCKET, INVALID_SOCKET, {}},
  };
  for (const Row& row : rows) {
    Online();
    clients.calls.clear();
    clients.socket = row.requestSocket;
    clients.pushSocket = row.pushSocket;
    PostMessageA(frame->Handle(), MsgConnectionLost, row.ask, row.which);
    ProcessPendingMessages();
    EXPECT_EQ(clients.calls, row.expected) << row.ask << " " << row.which;
  }
  EXPECT_EQ(boxes->Count(), boxesAtStart);

  // Without clients nothing is destroyed twice.
  clients.requestClient = clients.pushClient = false;
  clients.calls.clear();
  Send(MsgConnectionLost, 0, 0);
  Send(MsgConnectionLost, 0, 1);
  EXPECT_TRUE(clients.calls.empty());
}

TEST_F(MainFrameHubTest, ConnectionLostAsksTheUser) {
  boxes->Answer(IDNO);
  Send(MsgConnectionLost, 1, 0);
  ASSERT_EQ(boxes->Count(), boxesAtStart + 1);
  const MessageBoxRequest box = boxes->Shown().back();
  EXPECT_EQ(box.text, "网络故障，与服务器的连接已断开。是否重新连接？  ");
  EXPECT_EQ(box.caption, "错误");
  EXPECT_EQ(box.buttons, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(box.topMost);
}

TEST_F(MainFrameHubTest, RequestClientMessagesNeedTheClient) {
  Send(MsgRequestSystemMessage, 0, 0);
  Send(MsgServerText, 0, 0);
  EXPECT_TRUE(clients.calls.empty());
  EXPECT_EQ(boxes->Count(), boxesAtStart);

  clients.requestClient = true;
  clients.serverText = "密码已修改。";
  Send(MsgRequestSystemMessage, 0, 0);
  Send(MsgServerText, 0, 0);
  EXPECT_EQ(clients.calls, (std::vector<std::string>{"RequestSystemMessage"}));
  ASSERT_EQ(boxes->Count(), boxesAtStart + 1);
  const MessageBoxRequest box = boxes->Shown().back();
  EXPECT_EQ(box.text, "密码已修改。");
  EXPECT_EQ(box.caption, "提示");
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_TRUE(box.topMost);
}

// ---- Blocks, links, K-line relays ----------------------------------------------------------------

TEST_F(MainFrameHubTest, BlockDeletedDropsTabsAndTheStripsBlock) {
  StandardPage();
  Online();
  frame->Panel1->SetVisible(true);
  frame->QuoteBlockId = 9;
  Send(MsgResubscribe, 0, 0);
  const int before = Subscriptions();

  // Another block: the quote lists drop its tab, the strip keeps its own.
  Send(MsgBlockDeleted, 0x30004, 0);
  EXPECT_EQ(Activity(), (Activities{{"report", {"RemoveBlockTab 4"}}}));
  EXPECT_EQ(frame->QuoteBlockId, 9);

  clients.subscribeResult = 0;
  Send(MsgBlockDeleted, 9, 0);
  EXPECT_EQ(Activity(), (Activities{{"report", {"RemoveBlockTab 9"}}}));
  EXPECT_EQ(frame->QuoteBlockId, -1);
  EXPECT_GE(Subscriptions(), before);
}

TEST_F(MainFrameHubTest, LinkedChartsFollowTheLinkedView) {
  StandardPage();
  Cell("kline")->linkFlag = true;
  Cell("report")->linkFlag = true;
  Cell("trend")->attr.currentBlock = 3;
  const std::string sh = Ref(kSh600000);

  Send(MsgLinkInstrument, 0, reinterpret_cast<LPARAM>(Cell("trend")));
  const Activities activity = Activity();
  ASSERT_EQ(activity.count("kline"), 1u);
  EXPECT_EQ(activity.at("kline").front(), "N1 " + sh + " 3");
  EXPECT_EQ(activity.size(), 1u) << "only the other linked charts follow";

  // An unlinked sender, or a pointer that is no cell of the page, moves nothing.
  Send(MsgLinkInstrument, 0, reinterpret_cast<LPARAM>(Cell("klineSz")));
  int notACell = 0;
  Send(MsgLinkInstrument, 0, reinterpret_cast<LPARAM>(&notACell));
  Send(MsgLinkInstrument, 0, 0);
  EXPECT_EQ(Activity(), Activities{});
}

TEST_F(MainFrameHubTest, IndicatorMessagesAndBarRefreshGoToEveryKLineView) {
  StandardPage();
  char name[16] = "MACD";
  Send(MsgReattachIndicator, reinterpret_cast<WPARAM>(name), 0);
  const std::string relay = "ReattachIndicator " + std::to_string(reinterpret_cast<std::uintptr_t>(name)) + " 0";
  EXPECT_EQ(Activity(), (Activities{{"kline", {relay}}, {"klineSz", {relay}}}));
  Send(MsgIndicatorParamsChanged, 5, 2);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"IndicatorParams 5 2"}}, {"klineSz", {"IndicatorParams 5 2"}}}));
  Send(MsgRefreshKLineViews, 0, 0);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"RefreshBars"}}, {"klineSz", {"RefreshBars"}}}));
}

// ---- Quote events --------------------------------------------------------------------------------

TEST_F(MainFrameHubTest, QuoteUpdateReachesViewsAlarmsAndTheIndexBar) {
  StandardPage();
  ASSERT_NE(Alarm, nullptr);
  frame->IndexSlots[0].index = 0;
  frame->IndexSlots[1].index = 0;
  QuoteRecord& quote = QuoteOf(kSh000001);
  quote.prevClose = 300000;
  quote.last = 312000;
  quote.amount = 2.5e9f;
  _zvapp_pkg_ slot{};
  slot.instrument = kSh000001;
  slot.flags = kChangeLast | kChangeTrade;

  frame->O1->SetChecked(true);
  Send(MsgQuoteEvent, kQuoteEventUpdate, reinterpret_cast<LPARAM>(&slot));
  const Activities activity = Activity();
  const std::string expected = "N0 " + Ref(kSh000001) + " 0";
  EXPECT_EQ(activity.size(), named.size()) << "every view hears of the quote";
  for (const auto& [name, lines] : activity) EXPECT_EQ(lines.front(), expected) << name;
  EXPECT_EQ(Log(Cell("report")).notifications.size(), 0u);
  EXPECT_EQ(Alarm->calls, (std::vector<std::string>{"CheckQuote 0 0"}));
  EXPECT_EQ(frame->IndexSlots[0].last, 312000);
  EXPECT_EQ(frame->IndexSlots[0].previousClose, 300000);
  EXPECT_EQ(frame->IndexSlots[1].last, 0) << "the second index is another market's";

  // The alarm switch off: no alarm check. An instrument without a quote: the views hear of
  // it, nothing reads beyond its market.
  frame->O1->SetChecked(false);
  Alarm->calls.clear();
  slot.instrument = STKPTR(0, 0, 500);
  Send(MsgQuoteEvent, kQuoteEventUpdate, reinterpret_cast<LPARAM>(&slot));
  EXPECT_TRUE(Alarm->calls.empty());
  EXPECT_EQ(Activity().size(), named.size());
  Send(MsgQuoteEvent, kQuoteEventUpdate, 0);
  EXPECT_EQ(Activity(), Activities{});
}

TEST_F(MainFrameHubTest, NotifyViewsSkipsUninitialisedAndEmptyCells) {
  StandardPage();
  Cell("f10")->initialised = false;
  Cell("note")->attr.kind = VIEW_NONE;
  frame->NotifyViews(VN_TIMER, STKPTR(0, 0, 0), 5, 0);
  const Activities activity = Activity();
  EXPECT_EQ(activity.count("f10"), 0u);
  EXPECT_EQ(activity.count("note"), 0u);
  EXPECT_EQ(activity.size(), named.size() - 2);

  // The bar limit changed: every cell repaints, then the timer notification with 2.
  Cell("note")->attr.kind = VIEW_NOTE;
  Cell("f10")->initialised = true;
  Send(MsgQuoteEvent, 4099, 0);
  const Activities repainted = Activity();
  EXPECT_EQ(repainted.size(), named.size());
  for (const auto& [name, lines] : repainted) {
    EXPECT_EQ(lines.front(), "N8 0:0 2") << name;
    EXPECT_EQ(lines.back(), "painted") << name << " repainted at once";
  }
}

TEST_F(MainFrameHubTest, ClockMidnightInChinaRearmsAlarms) {
  Online();
  ASSERT_NE(Alarm, nullptr);
  AlarmData fired;
  fired.reasons = 3;
  fired.triggerTime[0] = 2024;
  fired.triggerTime[7] = 9;
  Alarm->alarms.Add(fired);

  struct Row {
    int previous;
    int clock;
    bool rearmed;
  };
  // UTC minutes: 959 is 23:59 in UTC+8, 960 is 00:00.
  const std::vector<Row> rows = {
      {959, 960, true}, {900, 1000, true}, {899, 900, false}, {960, 1020, false}, {1439, 0, false}, {0, 60, false},
  };
  for (const Row& row : rows) {
    Alarm->alarms[0] = fired;
    frame->PreviousServerClock = row.previous;
    clients.calls.clear();
    clients.subscribeResult = -1;   // no subscription kept: every rebuild sends
    Send(MsgQuoteEvent, kQuoteEventClock, row.clock);
    EXPECT_EQ(frame->ServerClock, row.clock);
    EXPECT_EQ(frame->PreviousServerClock, row.clock);
    EXPECT_EQ(Alarm->alarms[0].reasons == 0, row.rearmed) << row.previous << " -> " << row.clock;
    EXPECT_EQ(Alarm->alarms[0].triggerTime[7] == 0, row.rearmed);
    EXPECT_EQ(Subscriptions(), row.rearmed ? 1 : 0) << row.previous << " -> " << row.clock;
  }
}

TEST_F(MainFrameHubTest, OpenViewEventFillsTheActiveCellInThePreferredTrendMode) {
  StandardPage();
  page->SetActiveCell(Cell("report"));
  Send(MsgQuoteEvent, 0, 0);
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_REPORT);

  // A linked chart takes the instrument instead; the active cell keeps its view.
  VIEW_ATTR_12 linked = Attr(VIEW_KLINE, kSz399001);
  Send(MsgQuoteEvent, 0, reinterpret_cast<LPARAM>(&linked));
  EXPECT_EQ(page->activeCell, Cell("report"));
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_REPORT);
  EXPECT_EQ(Activity().at("trend").front(), "N1 " + Ref(kSz399001) + " " + std::to_string(linked.currentBlock));
  Cell("trend")->linkFlag = false;

  frame->T1->SetChecked(true);
  VIEW_ATTR_12 trend = Attr(VIEW_TREND, kSz399001);
  trend.modeFlags = 0;
  Send(MsgQuoteEvent, 0, reinterpret_cast<LPARAM>(&trend));
  TMultiViewChild* view = page->activeCell;
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->attr.kind, VIEW_TREND);
  EXPECT_TRUE(IsFlashChart(*view)) << "闪电图优先 asks for the flash chart";

  // Unchecked and opened as a flash chart: toggled back to the minute trend.
  frame->T1->SetChecked(false);
  VIEW_ATTR_12 kline = Attr(VIEW_KLINE, kSz399001);
  Send(MsgQuoteEvent, 0, reinterpret_cast<LPARAM>(&kline));
  trend.modeFlags = kChartModeFlash;
  Send(MsgQuoteEvent, 0, reinterpret_cast<LPARAM>(&trend));
  ASSERT_NE(page->activeCell, nullptr);
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_TREND);
  EXPECT_FALSE(IsFlashChart(*page->activeCell));
}

// ---- Notices, alarms, trading ---------------------------------------------------------------------

TEST_F(MainFrameHubTest, OnlineNoticeGoesToTheTickerAndTheMatchingNewsViews) {
  auto* all = dynamic_cast<TMsgForm*>(AddCell("all", Attr(VIEW_NEWS)));
  auto* typed = dynamic_cast<TMsgForm*>(AddCell("typed", Attr(VIEW_NEWS)));
  auto* other = dynamic_cast<TMsgForm*>(AddCell("other", Attr(VIEW_NEWS)));
  all->newsType = 0;
  typed->newsType = 5;
  other->newsType = 6;
  Clear();

  NewsRecord notice{};
  notice.categoryAndRead = 5 << 1 | 1;
  notice.stamp = 1430u << 20 | 240616u;
  notice.id = 777;
  std::memset(notice.title, 'x', sizeof notice.title);   // not terminated within its record
  std::memcpy(notice.title, "停牌", std::strlen("停牌"));
  PostMessageA(frame->Handle(), MsgOnlineNotice, 0, reinterpret_cast<LPARAM>(&notice));
  ProcessPendingMessages();

  const std::string title = std::string("停牌") + std::string(sizeof notice.title - std::strlen("停牌"), 'x');
  const std::string line = "InsertNewsLine 777 " + std::string("   6/16 14:30 ") + title;
  const Activities activity = Activity();
  EXPECT_EQ(activity.at("all").front(), line);
  EXPECT_EQ(activity.at("typed").front(), line);
  EXPECT_EQ(activity.count("other"), 0u);
  EXPECT_EQ(all->NewsLineValue(0), 777u);

  ASSERT_NE(frame->TickerHead, nullptr);
  EXPECT_EQ(std::string(frame->TickerHead->text), title);
  Send(MsgOnlineNotice, 0, 0);
}

TEST_F(MainFrameHubTest, AlarmTriggeredShowsTheWindowAndRefillsTheList) {
  Send(MsgAlarmTriggered, 0, 0);
  ASSERT_NE(AlarmWin, nullptr);
  EXPECT_TRUE(AlarmWin->Visible());
  EXPECT_EQ(AlarmWin->fills, 0);
  Alartfm = new TAlartfm(nullptr);
  Send(MsgAlarmTriggered, 0, 0);
  EXPECT_EQ(AlarmWin->fills, 1);
  EXPECT_EQ(Alartfm->fills, 1);
}

TEST_F(MainFrameHubTest, QuickDealPricesFromTheActiveCellsQuote) {
  AddCell("trend", Attr(VIEW_TREND, kSh600000));
  page->SetActiveCell(Cell("trend"));
  MarketTables[0]->names[1].priceDivisor = 100;
  QuoteRecord& quote = QuoteOf(kSh600000);
  quote.asks[0].price = 1234;
  quote.bids[0].price = 1230;

  struct Row {
    WPARAM button;
    int direction;
    int kind;
    double price;
  };
  const std::vector<Row> rows = {{0, 0, 0, 12.34}, {1, 1, 0, 12.30}, {2, 0, 2, 12.34},
                                 {3, 1, 2, 12.30}, {4, 0, 1, 12.34}, {5, 1, 1, 12.30}};
  for (const Row& row : rows) {
    SmartOrderLog().clear();
    Send(MsgQuickDeal, row.button, 3);
    ASSERT_EQ(SmartOrderLog().size(), 1u) << row.button;
    const SmartOrderRecord order = SmartOrderLog()[0];
    EXPECT_EQ(order.instrument, kSh600000);
    EXPECT_EQ(order.direction, row.direction);
    EXPECT_EQ(order.kind, row.kind);
    EXPECT_EQ(order.lots, 3);
    EXPECT_DOUBLE_EQ(order.price, row.price);
    EXPECT_EQ(order.confirm, 1);
  }

  // Nothing is placed for button 6, an instrument beyond its market, or no active cell.
  SmartOrderLog().clear();
  Send(MsgQuickDeal, 6, 3);
  Cell("trend")->attr.instrument = STKPTR(0, 0, 900);
  Send(MsgQuickDeal, 0, 3);
  Cell("trend")->attr.instrument = STKPTR();
  Send(MsgQuickDeal, 0, 3);
  page->SetActiveCell(nullptr);
  Send(MsgQuickDeal, 0, 3);
  EXPECT_TRUE(SmartOrderLog().empty());
}

TEST_F(MainFrameHubTest, TradeWindowIsRememberedAndForgotten) {
  Send(MsgTradeWindowOpened, reinterpret_cast<WPARAM>(frame->Handle()), 0);
  EXPECT_EQ(TradeOrderWindow, frame->Handle());
  Send(MsgTradeWindowClosed, 0, 0);
  EXPECT_EQ(TradeOrderWindow, nullptr);
}

// ---- Window limits, activation, hints ------------------------------------------------------------

TEST_F(MainFrameHubTest, MinimumSizeRelaxesOnceRestoredThroughTheWindowMenu) {
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  MINMAXINFO info{};
  info.ptMaxTrackSize = POINT{5000, 4000};
  EXPECT_EQ(Send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMaxSize.x, area.right - area.left);
  EXPECT_EQ(info.ptMaxSize.y, area.bottom - area.top);
  EXPECT_EQ(info.ptMaxPosition.x, area.left);
  EXPECT_EQ(info.ptMaxPosition.y, area.top);
  EXPECT_EQ(info.ptMaxTrackSize.x, 5000) << "the platform's maximum stays";

  // The whole window, frame included, stays at least 640 x 480 ...
  frame->SetWindowState(wsNormal);
  frame->SetBounds(10, 10, 300, 200);
  EXPECT_EQ(frame->Width(), 640);
  EXPECT_EQ(frame->Height(), 480);
  Send(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(frame->RestoredOnce);

  // ... until the window menu's restore has gone through once: then 250 x 275.
  Send(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(frame->RestoredOnce);
  frame->SetBounds(10, 10, 100, 100);
  EXPECT_EQ(frame->Width(), 250);
  EXPECT_EQ(frame->Height(), 275);
}

// What reaches the active cell is seen in the queue, before the cell handles it.
TEST_F(MainFrameHubTest, ActivationIsForwardedToTheActiveCell) {
  TMultiViewChild* cell = AddCell("report", Attr(VIEW_REPORT));
  page->SetActiveCell(cell);
  std::vector<UINT> seen;
  auto hook = [&](MSG& msg, bool&) {
    if (msg.hwnd == cell->Handle()) seen.push_back(msg.message);
  };
  Application->OnMessage = hook;
  EXPECT_EQ(Send(WM_ACTIVATE, WA_INACTIVE, 0), 1);
  EXPECT_EQ(Send(WM_ACTIVATE, WA_ACTIVE, 0), 1);
  Send(WM_NCMOUSEMOVE, 0, 0);
  ProcessPendingMessages();
  Application->OnMessage = nullptr;
  EXPECT_EQ(seen, (std::vector<UINT>{CM_DEACTIVATE, CM_ACTIVATE, WM_NCMOUSEMOVE}));

  // Without an active cell nothing is posted and the answer stays 1.
  page->SetActiveCell(nullptr);
  EXPECT_EQ(Send(WM_ACTIVATE, WA_ACTIVE, 0), 1);
}

TEST_F(MainFrameHubTest, HintShowsBelowTheCursorAndAboveItNearTheBottomRightEdges) {
  frame->Show();
  ProcessPendingMessages();
  Application->OnHint = [this](TObject* sender) { frame->AppHint(sender); };
  RECT window{};
  GetWindowRect(frame->Handle(), &window);
  // The hint comes from the control under the pointer; a long hint is cut to 63 bytes.
  auto hover = [&](const std::string& hint) {
    frame->StatusBox2->SetHint(hint);
    Application->HintMouseMessage(frame->StatusBox2);
  };
  auto tipRect = [&] {
    RECT tip{};
    GetWindowRect(frame->ToolTip->handle, &tip);
    return tip;
  };

  SetCursorPos(window.left + 100, window.top + 100);
  hover("页面");
  ASSERT_NE(frame->ToolTip, nullptr);
  EXPECT_STREQ(frame->ToolTip->text, "页面");
  EXPECT_TRUE(IsWindowVisible(frame->ToolTip->handle));
  RECT tip = tipRect();
  EXPECT_EQ(tip.left, window.left + 100);
  EXPECT_EQ(tip.top, window.top + 121) << "21 px below the cursor";
  const int width = tip.right - tip.left;
  const int height = tip.bottom - tip.top;

  // Near the bottom and right edges: above the cursor, and flush with the right edge.
  SetCursorPos(window.right - 2, window.bottom - 5);
  hover("页面2");
  tip = tipRect();
  EXPECT_EQ(tip.top, window.bottom - 5 + 21 - height - 22);
  EXPECT_EQ(tip.right, window.right);
  EXPECT_NEAR(tip.right - tip.left, width, 10);

  hover(std::string(100, 'h'));
  EXPECT_EQ(std::strlen(frame->ToolTip->text), 63u);
  hover("");
  EXPECT_FALSE(IsWindowVisible(frame->ToolTip->handle));
  Application->OnHint = nullptr;
}

// ---- The messenger ---------------------------------------------------------------------------------

// The messenger's hello through the message channel: the frame started by its own creation
// with the launcher double, which reports process 4242 as the messenger.
class MessengerHelloTest : public MainFrameHubTest {
 protected:
  static constexpr DWORD kOtherPid = 5151;

  void SetUp() override {
    MainFrameHubTest::SetUp();
    ASSERT_EQ(launches, (std::vector<std::string>{".\\ZuvoMsgr.dll"}));
    ASSERT_EQ(frame->MessengerProcessId, kMessengerPid);
  }

  // What the peer received as WM_COPYDATA blocks.
  static std::vector<std::string> Blocks(const LoopbackPeer& peer) {
    std::vector<std::string> blocks;
    for (const PeerMessage& m : peer.Received())
      if (m.sent && m.message == WM_COPYDATA) blocks.push_back(m.copyData);
    return blocks;
  }
};

TEST_F(MessengerHelloTest, OnlyTheStartedMessengerGetsTheLoginBlock) {
  std::snprintf(frame->UserName, sizeof frame->UserName, "%s", "zhang");
  std::snprintf(frame->Password, sizeof frame->Password, "%s", "secret");
  clients.requestClient = true;

  // A stranger saying hello with its own window gets nothing, and is not remembered.
  LoopbackPeer stranger(kOtherPid);
  const std::uint64_t strangerWindow = stranger.NewWindow();
  stranger.Post(frame->Handle(), MsgMessengerHello, 0, strangerWindow, channel::kLParamIsWindow);
  ProcessPendingMessages();
  EXPECT_TRUE(Blocks(stranger).empty());
  EXPECT_EQ(frame->MessengerWindow, nullptr);

  // The messenger: the block with the name at 0 and the password at 64, from the main window.
  LoopbackPeer messenger(kMessengerPid);
  const std::uint64_t messengerWindow = messenger.NewWindow();
  messenger.Post(frame->Handle(), MsgMessengerHello, 0, messengerWindow, channel::kLParamIsWindow);
  ProcessPendingMessages();
  const std::vector<std::string> blocks = Blocks(messenger);
  ASSERT_EQ(blocks.size(), 1u);
  std::string expected(128, '\0');
  expected.replace(0, 5, "zhang");
  expected.replace(64, 6, "secret");
  EXPECT_EQ(blocks[0], expected);
  EXPECT_EQ(messenger.Received()[0].wParam, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(frame->Handle())));
  const HWND known = messenger.HandleOf(messengerWindow);
  EXPECT_EQ(frame->MessengerWindow, known);
  EXPECT_EQ(GetForegroundWindow(), frame->Handle()) << "the focus comes back by activation";

  // The stranger naming the messenger's window (it only knows the number) still gets nothing,
  // nor does the messenger see a second block from it.
  stranger.Post(frame->Handle(), MsgMessengerHello, 0, reinterpret_cast<std::uintptr_t>(known));
  ProcessPendingMessages();
  EXPECT_TRUE(Blocks(stranger).empty());
  EXPECT_EQ(Blocks(messenger).size(), 1u);

  // The main window's own hello after a reconnect reaches the messenger again; other first
  // parameters are ignored.
  PostMessageA(frame->Handle(), MsgMessengerHello, 0, reinterpret_cast<LPARAM>(known));
  PostMessageA(frame->Handle(), MsgMessengerHello, 3, reinterpret_cast<LPARAM>(known));
  ProcessPendingMessages();
  EXPECT_EQ(Blocks(messenger).size(), 2u);
}

TEST_F(MessengerHelloTest, BeforeAnyLoginTheBlockIsAllZeros) {
  std::snprintf(frame->UserName, sizeof frame->UserName, "%s", "zhang");
  LoopbackPeer messenger(kMessengerPid);
  const std::uint64_t window = messenger.NewWindow();
  messenger.Post(frame->Handle(), MsgMessengerHello, 0, window, channel::kLParamIsWindow);
  ProcessPendingMessages();
  EXPECT_EQ(Blocks(messenger), (std::vector<std::string>{std::string(128, '\0')}));
}

}  // namespace

namespace {

TEST_F(MessengerHelloTest, OtherProgramsReachOnlyTheMessagesMeantForThem) {
  StandardPage();
  LoopbackPeer stranger(kOtherPid);
  // Numbers that would be taken for a quote slot, a notice record, a trend-day block and a
  // view record: dropped, nothing is read at those addresses.
  stranger.Post(frame->Handle(), MsgQuoteEvent, kQuoteEventUpdate, 0x1234);
  stranger.Post(frame->Handle(), MsgQuoteEvent, 0, 0x1234);
  stranger.Post(frame->Handle(), MsgOnlineNotice, 0, 0x1234);
  stranger.Post(frame->Handle(), MsgServerData, Codes(31, 0), 0x1234);
  stranger.Post(frame->Handle(), MsgReattachIndicator, 0x1234, 0);
  stranger.Post(frame->Handle(), MsgServerData, Codes(9, 0), 0);
  ProcessPendingMessages();
  EXPECT_EQ(Activity(), Activities{});
  EXPECT_EQ(frame->TickerHead, nullptr);

  // The settings tool's options, the bar limit and the trading program's window do arrive.
  stranger.Post(frame->Handle(), MsgOptionsChanged, 0, 5);
  ProcessPendingMessages();
  EXPECT_EQ(Activity(), (Activities{{"kline", {"ViewApplyColors", "painted"}}, {"klineSz", {"ViewApplyColors", "painted"}}}));
  stranger.Post(frame->Handle(), MsgQuoteEvent, 4099, 0);
  ProcessPendingMessages();
  EXPECT_EQ(Activity().size(), named.size());
  const std::uint64_t order = stranger.NewWindow();
  stranger.Post(frame->Handle(), MsgTradeWindowOpened, order, 0, channel::kWParamIsWindow);
  ProcessPendingMessages();
  EXPECT_EQ(TradeOrderWindow, stranger.HandleOf(order));
}

}  // namespace

namespace {

TEST_F(MainFrameHubTest, ShowMessengerShowsRestoresOrBringsItToTheFront) {
  // A window of this program stands in for the messenger's.
  TForm* messenger = new TForm(nullptr);
  messenger->SetBounds(50, 50, 300, 200);
  HWND window = messenger->Handle();
  frame->MessengerWindow = window;

  Send(MsgShowMessenger, 0, 0);
  EXPECT_TRUE(IsWindowVisible(window)) << "hidden: shown";
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window));
  Send(MsgShowMessenger, 0, 0);
  EXPECT_FALSE(IsIconic(window)) << "minimised: restored";
  SetForegroundWindow(frame->Handle());
  Send(MsgShowMessenger, 0, 0);
  EXPECT_EQ(GetForegroundWindow(), window) << "shown: brought to the front";

  // Once the messenger's window has gone nothing happens.
  TComponent::Free(messenger);
  Send(MsgShowMessenger, 0, 0);
}

}  // namespace
