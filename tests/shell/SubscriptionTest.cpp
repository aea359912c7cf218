// The real-time subscription on a page of stand-in views over hand-made markets, with a
// recording pair of clients: the order of its sources and the cut at 256, no duplicates (the
// index keys included), the rights, the incremental split, the snapshot requests and when
// nothing is built; then the main window's rights, connection state and page-cells adapter.
#include "shell/Subscription.h"

#include "FakeShellClients.h"
#include "LoginScript.h"
#include "FakeShellHost.h"
#include "ShellSettingsFixture.h"

#include "data/DataAgent.h"
#include "data/MarketTestUtil.h"
#include "data/MarketData.h"
#include "net/PageCells.h"
#include "net/ServerRights.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/ViewFactory.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using shelltest::FakeShellClients;

constexpr int kRowHeight = 18;   // the stand-in quote list's row height

// Rights to every market but the denied ones; every question is counted.
class RightsHost final : public shelltest::FakeShellHost {
 public:
  bool HasMarketRight(int market, int) override {
    ++asked;
    return denied.count(market) == 0;
  }
  std::set<int> denied;
  int asked = 0;
};

std::vector<std::string> Codes(const char* first, const char* format, int base, int count) {
  std::vector<std::string> codes{first};
  for (int i = 1; i <= count; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, format, base + i);
    codes.push_back(code);
  }
  return codes;
}

STKMS K(int market, int index) { return STKMS{static_cast<std::uint8_t>(market), static_cast<std::uint16_t>(index)}; }
STKPTR P(int market, int index) {
  return STKPTR(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(index));
}

std::vector<STKMS> Range(int market, int first, int last) {
  std::vector<STKMS> keys;
  for (int i = first; i <= last; ++i) keys.push_back(K(market, i));
  return keys;
}
std::vector<STKMS> Join(std::initializer_list<std::vector<STKMS>> parts) {
  std::vector<STKMS> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
std::vector<STKMS> Keys(const EArray<STKMS>& keys) {
  std::vector<STKMS> out;
  for (int i = 0; i < keys.GetSize(); ++i) out.push_back(keys[i]);
  return out;
}
EArray<STKMS>* List(const std::vector<STKMS>& keys) {
  auto* list = new EArray<STKMS>(kSubscriptionGrowStep);
  for (const STKMS& key : keys) list->Add(key);
  return list;
}
std::string Text(const std::vector<STKMS>& keys) {
  std::string text;
  for (const STKMS& key : keys) text += std::to_string(key.market) + ":" + std::to_string(key.index) + " ";
  return text;
}

class SubscriptionTest : public ::testing::Test {
 protected:
  // SH: index 0 "000001", then 600001..600250; SZ: index 0 "399001", then 000001..000200; XX
  // (never granted): 10 instruments.
  void SetUp() override {
    previousHost = SetShellHost(&host);
    host.denied = {xx};
    sources.hasMarketRight = [this](int market, int category) { return host.HasMarketRight(market, category); };
    page = new TMultiViewMain(nullptr);
    page->SetBounds(0, 0, 800, 600);
    page->Show();
    sources.page = page;
  }
  void TearDown() override {
    std::vector<std::pair<EArray<VIEW_ATTR_12>*, MVCDATA_12*>> made;
    for (int i = 0; i < page->cells.GetSize(); ++i) made.emplace_back(page->cells[i]->history, page->cells[i]->viewData);
    TComponent::Free(page);
    for (auto& [history, data] : made) {
      delete history;
      delete data;
    }
    zuvo::platform::ProcessPendingMessages();
    SetShellHost(previousHost);
  }

  // A block of the market's instruments first..last, built into the block tables.
  std::uint16_t Block(const std::string& name, const char* market, int first, int last) {
    std::vector<std::string> members;
    for (int i = first; i <= last; ++i) {
      members.push_back(std::string(market) + " " + MarketTables[MarketNumber(market)]->names[i].code);
    }
    settings.AddBlock(name, members);
    settings.BuildBlocks();
    const BlockRecord* block = settings.Block(name.c_str());
    EXPECT_NE(block, nullptr) << name;
    return block != nullptr ? block->id : 0;
  }
  static int MarketNumber(const char* code) {
    for (int m = 0; m < MarketCount; ++m)
      if (std::strcmp(MarketTables[m]->record.code, code) == 0) return m;
    return -1;
  }
  // A quote list of the block that shows `rows` rows from its first member.
  TChildView* Report(std::uint16_t block, int rows) {
    VIEW_ATTR_12 attr{};
    DefaultViewAttr(VIEW_REPORT, &attr);
    attr.blockTabs[0] = block;
    attr.blockTabCount = 1;
    attr.currentBlock = block;
    attr.topRowOrN = 1;
    TChildView* view = CreateView(VIEW_REPORT, page, &attr, nullptr, nullptr, nullptr);
    view->SetBounds(0, 0, 400, (rows + 1) * kRowHeight);
    return view;
  }
  TChildView* Chart(ViewKind kind, STKPTR instrument) {
    VIEW_ATTR_12 attr{};
    DefaultViewAttr(kind, &attr);
    attr.instrument = instrument;
    TChildView* view = CreateView(kind, page, &attr, nullptr, nullptr, nullptr);
    view->SetBounds(0, 0, 300, 200);
    return view;
  }
  // A data series in use (or not) of the instrument.
  void Series(STKPTR instrument, bool inUse = true) {
    CDataAgent agent;
    agent.instrument = instrument;
    agent.windowCount = inUse ? 1 : 0;
    registry.Add(agent);
  }
  void Alarm(STKPTR instrument, std::uint32_t reasons = 0) {
    AlarmData alarm;
    alarm.stk = instrument;
    alarm.reasons = reasons;
    alarms.Add(alarm);
  }
  void Deal(int kind, STKPTR first, STKPTR second, int state = 0) {
    DealData deal;
    deal.kind = static_cast<std::int16_t>(kind);
    deal.stk1 = first;
    deal.stk2 = second;
    deal.state = static_cast<std::int16_t>(state);
    deals.Add(deal);
  }
  std::vector<STKMS> Collect(std::vector<STKMS>* snapshot = nullptr) {
    EArray<STKMS> push(kSubscriptionGrowStep);
    EArray<STKMS> snapshots(kSubscriptionGrowStep);
    CollectSubscription(sources, push, snapshots);
    if (snapshot != nullptr) *snapshot = Keys(snapshots);
    return Keys(push);
  }

  shelltest::ShellSettings settings;
  const int sh = settings.AddMarket("SH", "上海", Codes("000001", "%06d", 600000, 250));
  const int sz = settings.AddMarket("SZ", "深圳", Codes("399001", "%06d", 0, 200));
  const int xx = settings.AddMarket("XX", "无权", Codes("900000", "%06d", 900000, 9));
  RightsHost host;
  IShellHost* previousHost = nullptr;
  TMultiViewMain* page = nullptr;
  EArray<AlarmData> alarms{100};
  EArray<DealData> deals{200};
  EArray<CDataAgent> registry{64};
  SubscriptionSources sources;
};

TEST_F(SubscriptionTest, ThreeHundredCandidatesAreCutToTheFirst256InTheOrderOfTheirSources) {
  // Alarms: 20 armed, one fired, one without rights.
  for (int i = 1; i <= 20; ++i) Alarm(P(sh, i));
  Alarm(P(sh, 250), 0x01);
  Alarm(P(xx, 0));
  // Orders: a waiting price order, a waiting spread order (both legs), a triggered one and a
  // spread order whose second leg is not granted.
  Deal(1, P(sh, 21), P(0, 0));
  Deal(2, P(sh, 22), P(sz, 1));
  Deal(1, P(sh, 249), P(0, 0), 1);
  Deal(2, P(sh, 248), P(xx, 1));
  // Cells in list order A, trend, B: visited B, trend, A.
  Report(Block("甲", "SH", 141, 180), 40);
  Chart(VIEW_TREND, P(sz, 2));
  Report(Block("乙", "SH", 101, 140), 40);
  // 160 series in use, one free, one without rights.
  for (int i = 11; i <= 170; ++i) Series(P(sz, i));
  Series(P(sz, 199), false);
  Series(P(xx, 2));
  sources.registry = &registry;
  sources.alarms = &alarms;
  sources.deals = &deals;
  sources.indexes[0] = 0;
  sources.indexes[1] = 0;
  const std::uint16_t strip = Block("报价排", "SH", 200, 233);
  sources.stripBlock = FindBlockById(strip);
  sources.stripTiles = 34;

  const std::vector<STKMS> push = Collect();
  const std::vector<STKMS> expected = Join({Range(sh, 1, 20), {K(sh, 21), K(sh, 22), K(sz, 1)}, Range(sh, 101, 140),
                                            {K(sz, 2)}, Range(sh, 141, 180), Range(sz, 11, 162)});
  ASSERT_EQ(expected.size(), 256u);
  EXPECT_EQ(Text(push), Text(expected)) << "the indexes and the strip get no place";
}

TEST_F(SubscriptionTest, AQuoteListThatOvershootsIsCutAndTheEarlierCellsAreNotVisited) {
  TChildView* trend = Chart(VIEW_TREND, P(sz, 150));
  Report(Block("大", "SH", 1, 250), 250);
  Report(Block("中", "SZ", 1, 30), 30);
  std::vector<STKMS> snapshot;
  const std::vector<STKMS> push = Collect(&snapshot);
  EXPECT_EQ(Text(push), Text(Join({Range(sz, 1, 30), Range(sh, 1, 226)})));
  for (const STKMS& key : snapshot) EXPECT_FALSE(key == K(sz, 150)) << "the trend view was not visited";
  (void)trend;
}

TEST_F(SubscriptionTest, TheIndexKeysAreAddedOnceWithoutTheRightsTest) {
  struct Case {
    const char* what;
    const char* block;
    std::vector<int> indexes;
    bool reportHoldsIndex1;
    std::set<int> denied;
    std::vector<STKMS> expected;
  };
  const std::vector<Case> cases = {
      {"both found, neither held", "指数0", {0, 0}, false, {xx}, {K(sh, 1), K(sh, 2), K(sh, 0), K(sz, 0)}},
      {"index 1 already from a quote list", "指数1", {0, 0}, true, {xx}, {K(sh, 0), K(sh, 1), K(sh, 2), K(sz, 0)}},
      {"market 1 not granted", "指数2", {0, 0}, false, {xx, sz}, {K(sh, 1), K(sh, 2), K(sh, 0), K(sz, 0)}},
      {"index 2 not found", "指数3", {0, -1}, false, {xx}, {K(sh, 1), K(sh, 2), K(sh, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    while (page->cells.GetSize() > 0) {
      TMultiViewChild* cell = page->cells[0];
      EArray<VIEW_ATTR_12>* history = cell->history;
      MVCDATA_12* data = cell->viewData;
      TComponent::Free(cell);
      delete history;
      delete data;
    }
    host.denied = c.denied;
    Report(Block(c.block, "SH", c.reportHoldsIndex1 ? 0 : 1, 2), 5);
    sources.indexes[0] = c.indexes[0];
    sources.indexes[1] = c.indexes[1];
    EXPECT_EQ(Text(Collect()), Text(c.expected));
  }
}

TEST_F(SubscriptionTest, NoSourceBringsAnInstrumentWithoutRights) {
  Alarm(P(xx, 0));
  Deal(1, P(xx, 1), P(0, 0));
  Deal(3, P(sh, 1), P(xx, 2));
  Chart(VIEW_TREND, P(xx, 3));
  Chart(VIEW_KLINE, P(xx, 4));
  Report(Block("无权块", "XX", 5, 9), 10);
  Series(P(xx, 6));
  sources.alarms = &alarms;
  sources.deals = &deals;
  sources.registry = &registry;
  sources.stripBlock = FindBlockById(Block("无权排", "XX", 7, 8));
  sources.stripTiles = 2;
  sources.indexes[0] = 0;
  EXPECT_EQ(Text(Collect()), Text({K(sh, 0)}));
}

TEST_F(SubscriptionTest, TheSnapshotSetHoldsTheQuoteListsRowsAndTheChartsWithoutAnExtraRecord) {
  MarketTables[sz]->extras[3].filled = 1;
  Chart(VIEW_KLINE, P(sz, 3));          // has its snapshot
  Chart(VIEW_TREND, P(sz, 4));          // lacks it
  Chart(VIEW_TREND, P(sz, 4));          // the same instrument once
  Report(Block("快照", "SH", 1, 3), 3);
  std::vector<STKMS> snapshot;
  Collect(&snapshot);
  EXPECT_EQ(Text(snapshot), Text({K(sh, 1), K(sh, 2), K(sh, 3), K(sz, 4)}));

  // Handed to RequestQuotes, cut to 256; an empty one is not sent.
  FakeShellClients clients;
  clients.requestClient = clients.pushClient = true;
  SendSubscription(clients, List({K(sh, 1)}), List(Join({Range(sh, 1, 250), Range(sz, 1, 20)})), false);
  ASSERT_EQ(clients.quoteRequests.size(), 1u);
  EXPECT_EQ(clients.quoteRequests[0].size(), 256u);
  EXPECT_TRUE(clients.quoteRequests[0].back() == K(sz, 6));
  SendSubscription(clients, List({K(sh, 1)}), List({}), false);
  EXPECT_EQ(clients.quoteRequests.size(), 1u);
}

TEST_F(SubscriptionTest, AnIncrementalCallSendsNewKeysFirstAndNothingWhenNoKeyIsNew) {
  FakeShellClients clients;
  clients.requestClient = clients.pushClient = true;
  // No last subscription: the whole set even when incremental.
  SendSubscription(clients, List({K(sh, 1), K(sh, 2), K(sh, 3), K(sh, 4)}), nullptr, true);
  // Lost 2, gained 7 and 8 among kept ones.
  SendSubscription(clients, List({K(sh, 1), K(sh, 7), K(sh, 3), K(sh, 8), K(sh, 4)}), nullptr, true);
  // Only lost keys: nothing sent.
  SendSubscription(clients, List({K(sh, 8), K(sh, 1)}), nullptr, true);
  // A full call sends the whole set as new.
  SendSubscription(clients, List({K(sh, 8), K(sh, 1)}), nullptr, false);
  EXPECT_EQ(clients.calls, (std::vector<std::string>{"PushSubscribe 4 4 1", "PushSubscribe 5 2 1", "PushSubscribe 2 2 1"}));
  ASSERT_EQ(clients.subscriptions.size(), 3u);
  EXPECT_EQ(Text(clients.subscriptions[1]), Text({K(sh, 7), K(sh, 8), K(sh, 1), K(sh, 3), K(sh, 4)}));
  EXPECT_EQ(Text(clients.subscriptions[2]), Text({K(sh, 8), K(sh, 1)}));
}

TEST_F(SubscriptionTest, NothingIsBuiltOrSentWithoutBothClientsAndAPage) {
  Report(Block("页", "SH", 1, 5), 5);
  struct Case {
    const char* what;
    bool request, push, page;
  };
  for (const Case& c : {Case{"no push client", true, false, true}, Case{"no request client", false, true, true},
                        Case{"no page", true, true, false}}) {
    SCOPED_TRACE(c.what);
    FakeShellClients clients;
    clients.requestClient = c.request;
    clients.pushClient = c.push;
    SubscriptionSources given = sources;
    if (!c.page) given.page = nullptr;
    host.asked = 0;
    UpdateSubscriptionFrom(clients, given, 0);
    EXPECT_TRUE(clients.calls.empty());
    EXPECT_EQ(host.asked, 0) << "nothing was collected";
  }
  FakeShellClients clients;
  clients.requestClient = clients.pushClient = true;
  UpdateSubscriptionFrom(clients, sources, 1);
  EXPECT_EQ(clients.calls, (std::vector<std::string>{"PushSubscribe 5 5 1", "RequestQuotes 5"}));
}

// ---- The main window ----------------------------------------------------------------------------

class SubscriptionFrameTest : public ::testing::Test {
 protected:
  // Market files the offline login loads: SH with "000001", SZ with "399001".
  void SetUp() override {
    zuvo::net::ClearServerRights();
    std::string config;
    const std::vector<std::pair<const char*, std::vector<std::string>>> markets = {{"SH", {"000001", "600000"}},
                                                                                    {"SZ", {"399001"}}};
    for (const auto& [code, codes] : markets) {
      config += markettest::Bytes(markettest::MakeRecord(code, 1, 16, 1, "tst"));
      std::vector<InstrumentRecord> names;
      for (const std::string& c : codes) names.push_back(markettest::MakeInstrument(c.c_str()));
      testsupport::WriteBytes(settings.install().data() / code / "nametbl.tst", markettest::Bytes(names));
      testsupport::WriteBytes(settings.install().data() / code / "real.tst",
                              markettest::Bytes(std::vector<QuoteRecord>(codes.size())));
    }
    testsupport::WriteBytes(settings.install().cfg() / "mkinfo.cfg", config);
    zuvo::platform::profile::ClearCache();
    shelltest::AnswerLoginOffline(*runner, 1);
    frame = NewForm<TMFrame>(nullptr);
  }
  void TearDown() override {
    if (frame != nullptr) TComponent::Free(frame);
    zuvo::platform::ProcessPendingMessages();
    delete Alarm;
    Alarm = nullptr;
    zuvo::net::ClearServerRights();
    EXPECT_EQ(zuvo::net::PageCells(), nullptr) << "the adapter went with the main window";
  }
  shelltest::ShellSettings settings;
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  zuvo::platform::ScopedRecordingShell shell;
  zuvo::platform::ScopedProcessLauncher launcher{[](const zuvo::platform::ProcessLaunch&) {
    return zuvo::platform::LaunchResult{false, ERROR_FILE_NOT_FOUND, 0};
  }};
  TMFrame* frame = nullptr;
};

TEST_F(SubscriptionFrameTest, TheRightsAreTheLoginsRecordsWithTheirBounds) {
  std::uint8_t block[128] = {};
  // Market 0 category 0, market 47 category 14 and category 15, market 47's last bit; news
  // classes 1, 128.
  block[2] = 0x80;
  block[2 + 47 * 2 + 1] = 0x03;
  block[98] = 0x80;
  block[113] = 0x01;
  zuvo::net::TakeServerRights(block);
  EXPECT_TRUE(frame->HasMarketRight(0, 0));
  EXPECT_FALSE(frame->HasMarketRight(0, 1));
  EXPECT_TRUE(frame->HasMarketRight(47, 14));
  EXPECT_FALSE(frame->HasMarketRight(47, 15)) << "the 16th bit never counts";
  EXPECT_FALSE(frame->HasMarketRight(48, 0));
  EXPECT_FALSE(frame->HasMarketRight(-1, 0));
  EXPECT_TRUE(frame->HasNewsRight(1));
  EXPECT_TRUE(frame->HasNewsRight(128));
  EXPECT_FALSE(frame->HasNewsRight(0));
  EXPECT_FALSE(frame->HasNewsRight(129));
  EXPECT_FALSE(frame->HasNewsRight(2));
}

TEST_F(SubscriptionFrameTest, TheConnectionStateAndTheGlueFollowTheInstalledClients) {
  FakeShellClients clients;
  EXPECT_EQ(GetConnectionState(), 0);
  clients.requestClient = true;
  EXPECT_EQ(GetConnectionState(), 1);
  clients.pushClient = true;
  EXPECT_EQ(GetConnectionState(), 3);
  // Both clients but no page window yet: nothing.
  UpdateSubscription(frame, 0);
  EXPECT_TRUE(clients.calls.empty());
  frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
  UpdateSubscription(frame, 0);
  // The empty page adds nothing: the two indexes the start-up found.
  EXPECT_EQ(clients.calls, (std::vector<std::string>{"PushSubscribe 2 2 1"}));
  ASSERT_EQ(clients.subscriptions.size(), 1u);
  EXPECT_EQ(Text(clients.subscriptions[0]), Text({K(0, 0), K(1, 0)}));
}

TEST_F(SubscriptionFrameTest, ThePageCellsAreTheMainWindowsCurrentPage) {
  EXPECT_EQ(zuvo::net::PageCells(), nullptr);
  frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
  IPageCells* cells = zuvo::net::PageCells();
  ASSERT_NE(cells, nullptr);
  TMultiViewMain* page = frame->PageWindow();
  ASSERT_EQ(cells->CellCount(), 1);
  EXPECT_EQ(cells->CellViewKind(0), 0);

  VIEW_ATTR_12 attr{};
  DefaultViewAttr(VIEW_REPORT, &attr);
  attr.columnIds[0] = 21;   // the fast-change column shown
  TMultiViewChild* report = page->ChangeCellView(page->cells[0]->node, &attr, 0);
  DefaultViewAttr(VIEW_NOTE, &attr);
  TMultiViewChild* notes = page->SplitCell(report->node, &attr, 0.5f, NODE_RIGHT);
  ASSERT_NE(notes, nullptr);
  ASSERT_EQ(cells->CellCount(), 2);
  const int r = page->cells[0] == report ? 0 : 1;
  const int n = 1 - r;
  EXPECT_EQ(cells->CellViewKind(r), kViewKindQuoteList);
  EXPECT_EQ(cells->CellViewKind(n), kViewKindNotes);
  EXPECT_EQ(cells->CellRequesterId(r), static_cast<std::uint32_t>(report->requesterId));
  EXPECT_EQ(cells->CellViewKind(5), 0) << "out of range";

  cells->RedrawFastChangeColumn(r);
  cells->RedrawFastChangeColumn(n);   // not a quote list: nothing
  EXPECT_TRUE(dynamic_cast<StubRecorder*>(report)->Called("RedrawFastChangeColumn"));

  auto* note = dynamic_cast<TZQNote*>(notes);
  ASSERT_NE(note, nullptr);
  std::snprintf(note->rememberedNote.fileName, sizeof note->rememberedNote.fileName, "%s", "n0616.txt");
  note->hasRememberedNote = true;
  note->textPaneVisible = false;
  cells->OpenNoteIfRemembered(n, "n0616.txt");   // pane hidden: nothing
  note->textPaneVisible = true;
  cells->OpenNoteIfRemembered(n, "other.txt");   // another note: nothing
  cells->OpenNoteIfRemembered(n, "n0616.txt");
  EXPECT_EQ(dynamic_cast<StubRecorder*>(notes)->calls, (std::vector<std::string>{"OpenNote n0616.txt"}));
}

}  // namespace
