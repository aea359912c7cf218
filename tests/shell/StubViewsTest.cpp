// The stand-in views, through the view factory and the surfaces the shell's callers use: one
// interface suite over every registered kind, then the rows of each kind's own operations and
// the round trip of the chart views' data.
#include "ShellSettingsFixture.h"
#include "data/NewsIndex.h"
#include "platform/Message.h"
#include "shell/Cell.h"
#include "shell/ChildView.h"
#include "shell/NavList.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"
#include "FakeShellHost.h"
#include "shell/ViewFactory.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

// A main window whose rights are a set of markets; every rights question is recorded.
class RightsHost final : public shelltest::FakeShellHost {
 public:
  bool HasMarketRight(int market, int category) override {
    asked.emplace_back(market, category);
    return granted.count(market) != 0;
  }
  void NotifyViews(int code, STKPTR, int arg, std::intptr_t) override { notified.emplace_back(code, arg); }

  std::set<int> granted;
  std::vector<std::pair<int, int>> asked;
  std::vector<std::pair<int, int>> notified;
};

const char* Title(ViewKind kind) {
  switch (kind) {
    case VIEW_REPORT: return "报价画面";
    case VIEW_INTESORT: return "综合排名";
    case VIEW_NEWS: return "新闻画面";
    case VIEW_F10: return "背景资料";
    case VIEW_NOTE: return "公告";
    case VIEW_TREND: return "分时图";
    case VIEW_KLINE: return "K线图";
    default: return "";
  }
}

bool HasItsSurface(ViewKind kind, TChildView* view) {
  switch (kind) {
    case VIEW_REPORT: return dynamic_cast<TReport*>(view) != nullptr;
    case VIEW_INTESORT: return dynamic_cast<TInteSort*>(view) != nullptr;
    case VIEW_NEWS: return dynamic_cast<TMsgForm*>(view) != nullptr;
    case VIEW_F10: return dynamic_cast<TTextForm*>(view) != nullptr;
    case VIEW_NOTE: return dynamic_cast<TZQNote*>(view) != nullptr;
    case VIEW_TREND: return dynamic_cast<TRendForm*>(view) != nullptr && dynamic_cast<TDrawView*>(view) != nullptr;
    case VIEW_KLINE: return dynamic_cast<TTechForm*>(view) != nullptr && dynamic_cast<TDrawView*>(view) != nullptr;
    default: return false;
  }
}

// The navigation list fields of the kinds that hold one; null for the others.
std::uint32_t* NavListField(TChildView* view) {
  if (auto* chart = dynamic_cast<TDrawView*>(view)) return &chart->navListId;
  if (auto* text = dynamic_cast<TTextForm*>(view)) return &text->navListId;
  return nullptr;
}

class StubViewsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    savedColor = ColorTable[0];
    ColorTable[0] = kBackground;
    previousHost = SetShellHost(&host);
    host.granted = {sh};
    settings.AddBlock("自选", {"SH 600002", "SH 600000", "SH 600001"});
    settings.AddBlock("期货", {"SH 600001"});
    settings.BuildBlocks();
    settings.SetSysBlocks("自选 期货");
    page = new TMultiViewMain(nullptr);
    page->SetBounds(0, 0, 800, 600);
    page->Show();
    liveLists = navlist::LiveCount();
  }
  void TearDown() override {
    std::vector<std::pair<EArray<VIEW_ATTR_12>*, MVCDATA_12*>> made;
    for (int i = 0; i < page->cells.GetSize(); ++i) made.emplace_back(page->cells[i]->history, page->cells[i]->viewData);
    TComponent::Free(page);
    for (auto& [history, data] : made) {
      delete history;
      if (data != &given) delete data;
    }
    ProcessPendingMessages();
    EXPECT_EQ(navlist::LiveCount(), liveLists) << "a view kept or lost a list reference";
    SetShellHost(previousHost);
    ColorTable[0] = savedColor;
  }

  TChildView* Make(ViewKind kind, const VIEW_ATTR_12* source = nullptr, MVCDATA_12* data = nullptr) {
    TChildView* view = CreateView(kind, page, source, data, nullptr, nullptr);
    if (view != nullptr) view->SetBounds(0, 0, 400, 300);
    return view;
  }
  static StubRecorder& Log(TChildView* view) { return *dynamic_cast<StubRecorder*>(view); }
  STKPTR Sh(int index) const { return STKPTR(static_cast<unsigned char>(sh), 0, static_cast<unsigned short>(index)); }

  static constexpr COLORREF kBackground = RGB(10, 40, 90);
  static constexpr COLORREF kInk = RGB(245, 215, 165);

  shelltest::ShellSettings settings;
  const int sh = settings.AddMarket("SH", "上海", {"600000", "600001", "600002"});
  RightsHost host;
  IShellHost* previousHost = nullptr;
  COLORREF savedColor = 0;
  TMultiViewMain* page = nullptr;
  MVCDATA_12 given;   // view data a test passes (owned here)
  int liveLists = 0;
};

// ---- The interface suite, over every registered kind -------------------------------------------

class StubViewSuite : public StubViewsFixture, public ::testing::WithParamInterface<ViewKind> {};

TEST_P(StubViewSuite, WithoutASourceTakesTheDefaultsOfItsKindInTheCell) {
  const ViewKind kind = GetParam();
  TChildView* view = Make(kind);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(HasItsSurface(kind, view));
  ASSERT_NE(dynamic_cast<StubRecorder*>(view), nullptr);
  VIEW_ATTR_12 defaults;
  DefaultViewAttr(kind, &defaults);
  EXPECT_EQ(view->attr.kind, kind);
  EXPECT_EQ(view->attr.instrument, defaults.instrument);
  EXPECT_EQ(view->attr.currentBlock, defaults.currentBlock);
  ASSERT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(page->cells[0], view);
  EXPECT_EQ(view->textStep, 1);
}

TEST_P(StubViewSuite, WithASourceCopiesItButKeepsItsOwnKind) {
  const ViewKind kind = GetParam();
  VIEW_ATTR_12 source;
  DefaultViewAttr(kind, &source);
  source.kind = kind == VIEW_REPORT ? VIEW_KLINE : VIEW_REPORT;   // the record of another view
  source.instrument = Sh(2);
  source.currentBlock = FindBlockByName("期货")->id;
  TChildView* view = Make(kind, &source);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->attr.kind, kind);
  EXPECT_EQ(view->attr.instrument, Sh(2));
  EXPECT_EQ(view->attr.currentBlock, source.currentBlock);
}

TEST_P(StubViewSuite, LogsEveryNotificationAndIgnoresCodesItDoesNotHandle) {
  TChildView* view = Make(GetParam());
  const int codes[] = {0, 1, 8, 10, 14, 15, 16, 17, 18, 19, 20, 99, -1};
  VIEW_ATTR_12 record;   // no navigation list
  record.instrument = Sh(1);
  for (int code : codes) {
    const std::intptr_t extra = code == VN_SHOWINSTRUMENT ? reinterpret_cast<std::intptr_t>(&record) : 0;
    EXPECT_EQ(view->ViewNotify(code, Sh(1), 7, extra), 0);
  }
  const auto& log = Log(view).notifications;
  ASSERT_EQ(log.size(), std::size(codes));
  for (std::size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(codes[i]);
    EXPECT_EQ(log[i].code, codes[i]);
    EXPECT_EQ(log[i].instrument, Sh(1));
    EXPECT_EQ(log[i].arg, 7);
  }
  EXPECT_EQ(log[1].extra, reinterpret_cast<std::intptr_t>(&record));
}

TEST_P(StubViewSuite, ShowInstrumentTakesTheSendersListReferenceAndDropsTheOldOne) {
  const ViewKind kind = GetParam();
  TChildView* view = Make(kind);
  std::uint32_t* held = NavListField(view);
  const STKPTR items[3] = {Sh(0), Sh(1), Sh(2)};

  auto send = [&](std::uint32_t id, int position) {
    navlist::AddRef(id);   // what every sender of a list does
    VIEW_ATTR_12 record;
    record.instrument = Sh(1);
    record.SetNavListId(id);
    record.SetNavPosition(position);
    view->ViewNotify(VN_SHOWINSTRUMENT, Sh(1), 0, reinterpret_cast<std::intptr_t>(&record));
  };
  const std::uint32_t first = navlist::Create(items, 3);
  send(first, 2);
  if (held == nullptr) {
    // Kinds without a list leave the sender's reference alone.
    EXPECT_EQ(navlist::Resolve(first)->refCount, 1);
    navlist::Release(first);
    return;
  }
  EXPECT_EQ(*held, first);
  EXPECT_EQ(navlist::Resolve(first)->refCount, 1);
  EXPECT_EQ(view->attr.instrument, Sh(1));

  const std::uint32_t second = navlist::Create(items, 2);
  send(second, 1);
  EXPECT_EQ(navlist::Resolve(first), nullptr) << "the old list was not released";
  EXPECT_EQ(navlist::Resolve(second)->refCount, 1);

  // The same list handed again: the sender's new reference replaces the one held.
  send(second, 0);
  EXPECT_EQ(navlist::Resolve(second)->refCount, 1);

  // A list freed elsewhere before it arrives resolves to nothing; the held one is dropped once.
  const std::uint32_t stale = navlist::Create(items, 1);
  navlist::AddRef(stale);
  navlist::Release(stale);
  send(stale, 0);
  EXPECT_EQ(*held, 0u);
  EXPECT_EQ(navlist::Resolve(second), nullptr);
  send(stale, 0);   // nothing left to release twice
  EXPECT_EQ(navlist::LiveCount(), liveLists);
}

TEST_P(StubViewSuite, ASourceWithAListHandsItsReferenceToTheView) {
  const ViewKind kind = GetParam();
  const STKPTR items[2] = {Sh(0), Sh(2)};
  const std::uint32_t id = navlist::Create(items, 2);
  navlist::AddRef(id);   // the page window's reference for the new view
  VIEW_ATTR_12 source;
  DefaultViewAttr(kind, &source);
  source.SetNavListId(id);
  source.SetNavPosition(1);
  TChildView* view = Make(kind, &source);
  std::uint32_t* held = NavListField(view);
  if (held == nullptr) {
    navlist::Release(id);
    return;
  }
  EXPECT_EQ(*held, id);
  EXPECT_EQ(view->attr.NavListId(), 0u) << "the view's own record must not look like a holder";
  // Closing the view gives the reference back.
  EArray<VIEW_ATTR_12>* history = view->history;
  MVCDATA_12* data = view->viewData;
  TComponent::Free(view);
  delete history;
  delete data;
  EXPECT_EQ(navlist::Resolve(id), nullptr);
}

// What each kind collects for a view showing SH 600001 (the quote list: its block's rows; the
// ranking: its current pane's rows).
std::vector<STKMS> Expected(ViewKind kind, int sh) {
  auto key = [&](int index) { return STKMS{static_cast<std::uint8_t>(sh), static_cast<std::uint16_t>(index)}; };
  switch (kind) {
    case VIEW_REPORT: return {key(2), key(0), key(1)};
    case VIEW_INTESORT: return {key(2), key(0)};
    case VIEW_TREND:
    case VIEW_KLINE: return {key(1)};
    default: return {};
  }
}

TEST_P(StubViewSuite, CollectsWhatTheRightsGrantOnceEach) {
  const ViewKind kind = GetParam();
  VIEW_ATTR_12 source;
  DefaultViewAttr(kind, &source);
  source.instrument = Sh(1);
  source.currentBlock = FindBlockByName("自选")->id;
  TChildView* view = Make(kind, &source);
  if (auto* ranking = dynamic_cast<TInteSort*>(view)) {
    for (int index : {2, 0, 2}) ranking->paneRows[0].Add(ISCI{"", 0, 0, 0, Sh(index)});
  }
  for (bool rights : {false, true}) {
    SCOPED_TRACE(rights);
    host.granted = rights ? std::set<int>{sh} : std::set<int>{};
    EArray<STKMS> keys;
    view->ViewCollectInstruments(keys);
    view->ViewCollectInstruments(keys);   // a second pass adds no duplicate
    std::vector<STKMS> got(keys.GetData(), keys.GetData() + keys.GetSize());
    EXPECT_EQ(got, rights ? Expected(kind, sh) : std::vector<STKMS>{});
  }
  if (!Expected(kind, sh).empty()) {
    EXPECT_FALSE(host.asked.empty());
  }
}

TEST_P(StubViewSuite, PaintsTitleKindAndInstrumentInTheInverseOfTheBackground) {
  const ViewKind kind = GetParam();
  VIEW_ATTR_12 source;
  DefaultViewAttr(kind, &source);
  source.instrument = Sh(1);
  source.modeFlags = 0;
  TChildView* view = Make(kind, &source);
  view->Invalidate();
  ProcessPendingMessages();
  const StubRecorder& log = Log(view);
  ASSERT_GE(log.paints, 1);
  ASSERT_GE(log.paintedLines.size(), 3u);
  EXPECT_EQ(log.paintedLines[0], Title(kind));
  EXPECT_EQ(log.paintedLines[1], std::to_string(kind));
  EXPECT_EQ(log.paintedLines[2], "SH 600001 ");

  HDC dc = GetDC(view->Handle());
  EXPECT_EQ(GetPixel(dc, 399, 299), kBackground);
  bool inked = false;
  for (int y = 0; y < 60 && !inked; ++y)
    for (int x = 0; x < 120 && !inked; ++x) inked = GetPixel(dc, x, y) == kInk;
  ReleaseDC(view->Handle(), dc);
  EXPECT_TRUE(inked) << "no title pixel in the inverse colour";

  // An instrument that does not resolve shows as "－".
  view->attr.instrument = STKPTR(40, 0, 3);
  view->Invalidate();
  ProcessPendingMessages();
  EXPECT_EQ(Log(view).paintedLines[2], "－");
}

TEST_P(StubViewSuite, FontStepStaysWithinZeroToTen) {
  const ViewKind kind = GetParam();
  TChildView* view = Make(kind);
  const bool steps = kind == VIEW_REPORT || kind == VIEW_NEWS || kind == VIEW_F10 || kind == VIEW_NOTE;
  for (int i = 0; i < 15; ++i) view->ViewNotify(VN_FONTSTEP, STKPTR(0, 0, 0), +1, 0);
  EXPECT_EQ(view->textStep, steps ? 10 : 1);
  for (int i = 0; i < 15; ++i) view->ViewNotify(VN_FONTSTEP, STKPTR(0, 0, 0), -1, 0);
  EXPECT_EQ(view->textStep, steps ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, StubViewSuite, ::testing::ValuesIn(kStubViewKinds),
                         [](const ::testing::TestParamInfo<ViewKind>& info) {
                           return "Kind" + std::to_string(info.param);
                         });

// ---- The factory ------------------------------------------------------------------------------

TChildView* MakeNothing(TMultiViewMain*, const VIEW_ATTR_12*, MVCDATA_12*, EArray<VIEW_ATTR_12>*, PageNode*) {
  return nullptr;
}

TEST_F(StubViewsFixture, FactoryServesRegisteredMakersAndNullRestoresTheStub) {
  EXPECT_EQ(CreateView(VIEW_NONE, page, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateView(8194, page, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(RegisterViewFactory(VIEW_KLINE, &MakeNothing), StubViewMaker(VIEW_KLINE));
  EXPECT_EQ(CreateView(VIEW_KLINE, page, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(RegisterViewFactory(VIEW_KLINE, nullptr), &MakeNothing);
  EXPECT_NE(Make(VIEW_KLINE), nullptr);
  // Another kind may be registered and removed again.
  EXPECT_EQ(RegisterViewFactory(8194, &MakeNothing), nullptr);
  EXPECT_EQ(RegisterViewFactory(8194, nullptr), &MakeNothing);
  EXPECT_EQ(CreateView(8194, page, nullptr, nullptr, nullptr, nullptr), nullptr);
}

// ---- Per kind ---------------------------------------------------------------------------------

TEST_F(StubViewsFixture, QuoteListShowsItsBlockRowsTabsAndRepaintsAQuotedRow) {
  auto* report = dynamic_cast<TReport*>(Make(VIEW_REPORT));
  const std::uint16_t mine = FindBlockByName("自选")->id, futures = FindBlockByName("期货")->id;
  ASSERT_EQ(report->TabCount(), 2);
  EXPECT_EQ(report->TabText(1), "期货");
  ASSERT_EQ(report->attr.currentBlock, mine);
  ASSERT_EQ(report->RowCount(), 3);
  EXPECT_EQ(report->RowInstrument(0), Sh(2));
  EXPECT_EQ(report->RowInstrument(3), STKPTR());
  EXPECT_EQ(report->CurrentRow(), 1);
  EXPECT_EQ(report->N1->Caption(), "添加板块");
  EXPECT_EQ(report->N3->Caption(), "关闭板块");

  report->ViewNotify(VN_QUOTE, Sh(0), 0, 0x40);
  EXPECT_TRUE(Log(report).Called("RepaintRow 1"));
  report->Invalidate();
  ProcessPendingMessages();
  const auto& lines = Log(report).paintedLines;
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[3], "[自选] 期货");
  EXPECT_EQ(lines[4].rfind("600002 ", 0), 0u) << lines[4];
  EXPECT_NE(lines[4].find("最新"), std::string::npos);
  EXPECT_NE(lines[4].find("幅度%"), std::string::npos);

  // Code 1 shows another block and takes the sort column; a new block gets a tab.
  report->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), futures, 5);
  EXPECT_EQ(report->attr.currentBlock, futures);
  EXPECT_EQ(report->attr.sortColumn, 5u);
  EXPECT_EQ(report->RowCount(), 1);
  report->attr.blockTabCount = kMaxBlockTabs;
  report->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), 999, 0);
  EXPECT_TRUE(Log(report).Called("TabLimit"));
  EXPECT_EQ(report->attr.currentBlock, futures);
}

TEST_F(StubViewsFixture, QuoteListSortsPositionAndCodeHereAndAsksTheServerForOthers) {
  auto* report = dynamic_cast<TReport*>(Make(VIEW_REPORT));
  report->attr.sortColumn = 1;
  report->SortReport();
  EXPECT_EQ(report->RowInstrument(0), Sh(0));
  EXPECT_EQ(report->RowInstrument(2), Sh(2));
  report->attr.sortColumn = 0;
  report->SortReport();
  EXPECT_EQ(report->RowInstrument(0), Sh(2)) << "back in block order";
  report->attr.sortColumn = 11;
  report->requestSerial = 4;
  report->SortReport();
  EXPECT_TRUE(Log(report).Called("ServerSort 11 4"));
  report->N1Click(nullptr);
  report->N3Click(nullptr);
  report->N10Click(nullptr);
  EXPECT_TRUE(Log(report).Called("N1Click") && Log(report).Called("N3Click") && Log(report).Called("N10Click"));
}

TEST_F(StubViewsFixture, QuoteListCollectsNothingWhileAnotherCellIsZoomed) {
  auto* report = dynamic_cast<TReport*>(Make(VIEW_REPORT));
  TChildView* other = Make(VIEW_KLINE);
  page->zoomedCell = other;
  EArray<STKMS> keys;
  report->ViewCollectInstruments(keys);
  report->CollectSnapshotRequests(keys);
  EXPECT_EQ(keys.GetSize(), 0);
  page->zoomedCell = report;
  report->ViewCollectInstruments(keys);
  EXPECT_EQ(keys.GetSize(), 3);
  page->zoomedCell = nullptr;
}

TEST_F(StubViewsFixture, QuoteListDropsADeletedBlocksTabAndAddsTheSelectedRow) {
  auto* report = dynamic_cast<TReport*>(Make(VIEW_REPORT));
  const std::uint16_t mine = FindBlockByName("自选")->id, futures = FindBlockByName("期货")->id;
  report->RemoveBlockTab(mine);
  ASSERT_EQ(report->TabCount(), 1);
  EXPECT_EQ(report->attr.currentBlock, futures);
  // The only tab is replaced by the first block of SysBlocks.
  report->RemoveBlockTab(futures);
  EXPECT_EQ(report->TabCount(), 1);
  EXPECT_EQ(report->attr.currentBlock, mine);

  report->SetCurrentRow(2);   // SH 600000
  report->AddSelectedToBlock(futures);
  EXPECT_EQ(FindBlockById(futures)->memberCount, 2);
  ASSERT_EQ(host.notified.size(), 1u);
  EXPECT_EQ(host.notified[0], std::make_pair(VN_BLOCKCHANGED, static_cast<int>(futures)));
}

TEST_F(StubViewsFixture, RankingSwitchesGroupAndRefreshes) {
  auto* ranking = dynamic_cast<TInteSort*>(Make(VIEW_INTESORT));
  const std::uint16_t group = ranking->attr.blockTabs[0];
  ranking->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), group, 0);
  EXPECT_TRUE(Log(ranking).calls.empty());
  ranking->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), 12, 0);
  ranking->ViewNotify(VN_TIMER, STKPTR(0, 0, 0), 1, 0);
  EXPECT_EQ(Log(ranking).calls, (std::vector<std::string>{"Group 12", "Refresh"}));
  EXPECT_EQ(ranking->currentPane, 0);
  for (const auto& pane : ranking->paneRows) EXPECT_EQ(pane.GetSize(), 0);
}

TEST_F(StubViewsFixture, NewsListsItsTypeNewestFirstAndOpensAnItem) {
  NewsIndex.Discard();
  NewsIndex.Load();   // an empty index in the temporary install
  ASSERT_TRUE(NewsIndex.Grow(4));
  const std::pair<std::uint32_t, std::uint32_t> items[] = {{10, 1}, {11, 2}, {12, 1}, {13, 1}};
  for (auto [id, category] : items) {
    NewsRecord record{};
    record.id = id;
    record.categoryAndRead = category << 1;
    std::snprintf(record.title, sizeof record.title, "标题%u", id);
    ASSERT_TRUE(NewsIndex.Insert(record, false));
  }
  auto* news = dynamic_cast<TMsgForm*>(Make(VIEW_NEWS));
  news->newsType = 1;
  news->RefreshNewsList();
  ASSERT_EQ(news->NewsLineCount(), 3);
  EXPECT_EQ(news->NewsLineValue(0), 13u);
  EXPECT_EQ(news->NewsLineValue(2), 10u);
  EXPECT_EQ(news->SelectedNewsLine(), 0);

  news->MsgShowNewsItem(2, 11);
  EXPECT_EQ(news->newsType, 2u);
  EXPECT_EQ(news->NewsLineValue(news->SelectedNewsLine()), 11u);
  EXPECT_TRUE(news->textPaneVisible);
  EXPECT_EQ(news->textFileName, "..\\data\\info\\00000011.txt");
  news->N8Click(nullptr);
  EXPECT_FALSE(news->textPaneVisible);
  news->ViewNotify(VN_TIMER, STKPTR(0, 0, 0), 0, 0);
  EXPECT_TRUE(Log(news).Called("PageDown"));
  NewsIndex.Discard();
}

TEST_F(StubViewsFixture, TextViewReloadsOnlyForItsInstrument) {
  VIEW_ATTR_12 source;
  source.instrument = Sh(1);
  auto* text = dynamic_cast<TTextForm*>(Make(VIEW_F10, &source));
  text->ViewNotify(VN_INFOLINKS, Sh(2), 1, 0);
  text->ViewNotify(VN_INFOLINKS, Sh(1), 1, 0);
  text->ViewNotify(VN_INFOLINKS, Sh(1), 0, 0);
  text->ShowSection(1);
  EXPECT_EQ(Log(text).calls, (std::vector<std::string>{"ReloadSection", "ReloadLinks", "ShowSection 1"}));
}

TEST_F(StubViewsFixture, NotesTakeCategoriesZeroAndTwoAndRememberTheOpenedNote) {
  auto* notes = dynamic_cast<TZQNote*>(Make(VIEW_NOTE));
  notes->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), 1, 0);
  EXPECT_TRUE(Log(notes).calls.empty());
  notes->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(0, 0, 0), 2, 0);
  EXPECT_EQ(notes->category, 2);
  NoteRecord note{};
  std::snprintf(note.fileName, sizeof note.fileName, "%s", "n123.txt");
  notes->OpenNote(note);
  EXPECT_TRUE(notes->textPaneVisible && notes->hasRememberedNote);
  EXPECT_STREQ(notes->rememberedNote.fileName, "n123.txt");
  EXPECT_EQ(Log(notes).calls, (std::vector<std::string>{"LoadNoteList 2", "OpenNote n123.txt"}));
}

TEST_F(StubViewsFixture, TrendSwitchesFlashAndSidePagesAndRunsInitViewAgain) {
  VIEW_ATTR_12 source;
  source.instrument = Sh(0);
  auto* trend = dynamic_cast<TRendForm*>(Make(VIEW_TREND, &source));
  trend->N16Click(nullptr);
  EXPECT_TRUE(IsFlashChart(*trend));
  trend->Invalidate();
  ProcessPendingMessages();
  EXPECT_EQ(Log(trend).paintedLines[0], "闪电图");
  trend->ViewKeyCommand(28);
  EXPECT_EQ(trend->attr.modeFlags & 6u, kChartModeTradeList);
  trend->ViewKeyCommand(31);
  EXPECT_EQ(trend->attr.modeFlags & 6u, kChartModePriceSpread);
  trend->InitView();
  trend->InitView();
  trend->ViewNotify(VN_TICKS, Sh(1), 5, 0);
  trend->ViewNotify(VN_TICKS, Sh(0), 5, 0);
  trend->ViewNotify(VN_QUOTE, Sh(0), 0, 0);
  trend->RefreshView();
  trend->ReloadData();
  const auto& calls = Log(trend).calls;
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "InitView"), 2);
  EXPECT_TRUE(Log(trend).Called("TrendData 5") && Log(trend).Called("Repaint"));
  EXPECT_TRUE(Log(trend).Called("RefreshView") && Log(trend).Called("ReloadData"));
}

TEST_F(StubViewsFixture, KLineCommandsAndItemStates) {
  auto* chart = dynamic_cast<TTechForm*>(Make(VIEW_KLINE));
  chart->attr.cycle = 8;
  chart->ChangePeriod(8);
  chart->ChangePeriod(3);
  chart->ChangePeriod(3);   // any-N asks again
  chart->ChangePeriod(15);
  chart->SetZoomLevel(29);
  chart->SetZoomLevel(20);
  chart->SetZoomLevel(20);
  EXPECT_EQ(Log(chart).calls, (std::vector<std::string>{"ChangePeriod 3", "ChangePeriod 3", "SetZoomLevel 20"}));
  chart->N37Click(nullptr);
  EXPECT_TRUE(chart->N37->Checked());
  chart->N37Click(nullptr);
  EXPECT_FALSE(chart->N37->Checked());
  chart->N25Click(chart->adjustItems[2]);
  EXPECT_TRUE(chart->adjustItems[2]->Checked());
  EXPECT_FALSE(chart->adjustItems[0]->Checked());
  chart->ViewNotify(VN_FONTSTEP, STKPTR(0, 0, 0), 1, 0);
  chart->ViewNotify(VN_TIMER, STKPTR(0, 0, 0), 3, 0);
  EXPECT_TRUE(Log(chart).Called("KeyUp") && Log(chart).Called("Recalculate"));
}

// ---- The chart views' data, through the surfaces the page writer reads -------------------------

void SetValue(std::uint8_t* bytes, int n, int seed) {
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed * 7 + i);
}

// Writes a K-line view's state into a view data record the way the page writer does.
void WriteKLineState(TTechForm& view, MVCDATA_12& d) {
  d.currentBlock = view.attr.currentBlock;
  d.klinePaneCount = view.attr.paneCount;
  for (int i = 0; i < kMaxPanes && i < static_cast<int>(view.attr.paneCount); ++i) {
    std::memcpy(d.paneIndicators[i], view.attr.paneIndicators[i], 16);
    const IChartIndicator* pane = view.PaneIndicator(i);
    ASSERT_NE(pane, nullptr);
    int j = 0;
    for (; j < 16 && j < pane->RefLineCount(); ++j) std::memcpy(d.refLines[i][j], pane->GetRefLine(j), 16);
    if (j < 16) std::memset(d.refLines[i][j] + 8, 0xFF, 8);
    for (int k = 0; k < 16 && k < pane->ParamCount(); ++k) std::memcpy(d.paneParams[i][k], pane->GetParam(k), 8);
  }
  for (int i = 0; i < 5 && i < static_cast<int>(view.attr.paneCount); ++i) d.paneRatios[i] = static_cast<float>(view.PaneRatio(i));
  int n = 0;
  for (; n < 8 && n < view.OverlayCount(); ++n) d.overlays[n] = view.OverlayAt(n).instrument;
  if (n < 8) d.overlays[n] = STKPTR();
  int k = 0;
  for (const IChartIndicator* over = view.PaneIndicator(0) ? view.PaneIndicator(0)->Next() : nullptr;
       over != nullptr && k < 8; over = over->Next(), ++k) {
    std::memset(d.overIndicators[k], 0, 16);
    std::strncpy(d.overIndicators[k], over->Name(), 15);
    for (int p = 0; p < 16 && p < over->ParamCount(); ++p) std::memcpy(d.overParams[k][p], over->GetParam(p), 8);
  }
  if (k < 8) d.overIndicators[k][0] = 0;
  const bool any = view.OverlayCount() > 0;
  d.arbitrage = any && view.OverlayAt(0).kind == 0 ? 1 : 0;
  d.overlayByte = any ? view.OverlayAt(0).flag : 1;
  d.arbitrageParam = any ? view.OverlayAt(0).arbitrageParam : 0;
  d.sidePanelShown = view.SidePanelShown() ? 1 : 0;
  std::memcpy(d.detailItems, view.attr.detailItems, 32);
  d.propertyFlags = view.attr.propertyFlags;
  d.linkFlag = view.linkFlag ? 1 : 0;
}

// A K-line record as the writer leaves it: three panes, full and partial reference lines and
// parameters, and one of the three overlay settings.
enum class Overlays { kInstruments, kArbitrage, kOverMainIndicators };

void FillKLine(MVCDATA_12& d, Overlays overlays, int sh) {
  d.currentBlock = 7;
  d.klinePaneCount = 3;
  std::strcpy(d.paneIndicators[0], "K");
  std::strcpy(d.paneIndicators[1], "VOL");
  std::strcpy(d.paneIndicators[2], "MACD");
  for (int j = 0; j < 2; ++j) SetValue(d.refLines[0][j], 16, j + 1);
  std::memset(d.refLines[0][2] + 8, 0xFF, 8);
  for (int j = 0; j < 16; ++j) SetValue(d.refLines[2][j], 16, j + 40);
  for (int p : {0, 2})
    for (int k = 0; k < 16; ++k) SetValue(d.paneParams[p][k], 8, p * 16 + k);
  d.paneRatios[0] = 0.5f;
  d.paneRatios[1] = 0.3f;
  d.paneRatios[2] = 0.2f;
  const auto sh0 = static_cast<unsigned char>(sh);
  switch (overlays) {
    case Overlays::kInstruments:
      d.overlays[0] = STKPTR(sh0, 0, 1);
      d.overlays[1] = STKPTR(sh0, 0, 2);
      d.overlays[2] = STKPTR();
      d.overlayByte = 1;
      break;
    case Overlays::kArbitrage:
      d.overlays[0] = STKPTR(sh0, 0, 2);
      d.overlays[1] = STKPTR();
      d.arbitrage = 1;
      d.overlayByte = 2;
      d.arbitrageParam = -5;
      break;
    case Overlays::kOverMainIndicators:
      d.overlayByte = 1;
      std::strcpy(d.overIndicators[0], "MA");
      std::strcpy(d.overIndicators[1], "BOLL");
      for (int k = 0; k < 16; ++k) SetValue(d.overParams[0][k], 8, 100 + k);
      break;
  }
  d.linkFlag = 1;
  d.sidePanelShown = 1;
  SetValue(d.detailItems, 26, 3);
  d.propertyFlags = 0x60;
}

TEST_F(StubViewsFixture, KLineViewDataComesBackUnchangedThroughTheSurfaces) {
  for (Overlays overlays : {Overlays::kInstruments, Overlays::kArbitrage, Overlays::kOverMainIndicators}) {
    SCOPED_TRACE(static_cast<int>(overlays));
    given = MVCDATA_12();
    FillKLine(given, overlays, sh);
    const MVCDATA_12 stored = given;
    // As the page reader makes it: the attributes beside the view data.
    VIEW_ATTR_12 source;
    DefaultViewAttr(VIEW_KLINE, &source);
    source.currentBlock = given.currentBlock;
    auto* chart = dynamic_cast<TTechForm*>(Make(VIEW_KLINE, &source, &given));
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(std::memcmp(&given, &stored, sizeof stored), 0) << "the view changed its data record";
    MVCDATA_12 saved;
    WriteKLineState(*chart, saved);
    EXPECT_EQ(std::memcmp(&saved, &stored, sizeof saved), 0);
    for (std::size_t at = 0; at < sizeof saved; ++at) {
      if (reinterpret_cast<const std::uint8_t*>(&saved)[at] != reinterpret_cast<const std::uint8_t*>(&stored)[at]) {
        ADD_FAILURE() << "first difference at offset " << at;
        break;
      }
    }
    EArray<VIEW_ATTR_12>* history = chart->history;
    TComponent::Free(chart);
    delete history;
  }
}

TEST_F(StubViewsFixture, KLineDropsOverlaysThatDoNotResolve) {
  FillKLine(given, Overlays::kInstruments, sh);
  given.overlays[0] = STKPTR(static_cast<unsigned char>(sh), 0, 9);   // beyond the market
  auto* chart = dynamic_cast<TTechForm*>(Make(VIEW_KLINE, nullptr, &given));
  ASSERT_EQ(chart->OverlayCount(), 1);
  EXPECT_EQ(chart->OverlayAt(0).instrument, Sh(2));
  EArray<STKMS> keys;
  chart->ViewCollectInstruments(keys);
  EXPECT_EQ(keys.GetSize(), 1) << "the overlay is the view's own default instrument: once";
}

TEST_F(StubViewsFixture, TrendViewDataComesBackUnchangedThroughTheSurfaces) {
  given.trendPaneCount = 3;
  given.sidePanelShown = 1;
  given.linkFlag = 1;
  SetValue(given.detailItems, 26, 5);
  given.propertyFlags = 0x100;
  const MVCDATA_12 stored = given;
  auto* trend = dynamic_cast<TRendForm*>(Make(VIEW_TREND, nullptr, &given));
  MVCDATA_12 saved;
  saved.trendPaneCount = trend->attr.paneCount;
  saved.sidePanelShown = trend->SidePanelShown() ? 1 : 0;
  std::memcpy(saved.detailItems, trend->attr.detailItems, 32);
  saved.propertyFlags = trend->attr.propertyFlags;
  saved.linkFlag = trend->linkFlag ? 1 : 0;
  EXPECT_EQ(std::memcmp(&saved, &stored, sizeof saved), 0);
  trend->N5Click(nullptr);
  EXPECT_FALSE(trend->SidePanelShown());
}

}  // namespace
