// A cell's view changes on a bare page with the stand-in views: the history (its cap, one entry
// per kind and trend mode, the way back), the cell commands with the trend-mode toggle that
// takes a posted second round, zoom, activity, link flag and requester id carried over, the
// look-ups by kind and of linked views, and the navigation lists' reference counts through all
// of it (every list freed at the end, stale ids harmless).
#include "FakeShellHost.h"
#include "ShellSettingsFixture.h"
#include "data/Messages.h"
#include "platform/Message.h"
#include "shell/Cell.h"
#include "shell/NavList.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"
#include "shell/SmallWindows.h"
#include "shell/SplitTree.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

class CountingPageHost final : public IPageHost {
 public:
  bool AutoSavePage() override { return false; }
  TWinControl* OverlayParent() override { return nullptr; }
  void ActivateMainWindow() override { ++activations; }
  IPageSaveUi* PageSaveUi() override { return nullptr; }
  int activations = 0;
};

class PageViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousHost = SetShellHost(&host);
    previousPageHost = SetPageHost(&pageHost);
    settings.AddBlock("自选", {"SH 600001", "SH 600000"});
    settings.BuildBlocks();
    settings.SetSysBlocks("自选");
    page = new TMultiViewMain(nullptr);
    page->SetBounds(0, 0, 800, 600);
    page->Show();
    liveLists = navlist::LiveCount();
  }
  void TearDown() override {
    TComponent::Free(page);
    ProcessPendingMessages();
    EXPECT_EQ(navlist::LiveCount(), liveLists) << "a list reference was kept or lost";
    SetPageHost(previousPageHost);
    SetShellHost(previousHost);
  }

  static VIEW_ATTR_12 Attr(ViewKind kind, STKPTR instrument = STKPTR()) {
    VIEW_ATTR_12 attr;
    DefaultViewAttr(kind, &attr);
    if (instrument != STKPTR()) attr.instrument = instrument;
    return attr;
  }
  static VIEW_ATTR_12 Trend(bool flash, STKPTR instrument = STKPTR()) {
    VIEW_ATTR_12 attr = Attr(VIEW_TREND, instrument);
    attr.modeFlags = flash ? kChartModeFlash : 0;
    return attr;
  }

  // The first cell of the page (covering it), then cells split off the last one to the right.
  TMultiViewChild* AddCell(const VIEW_ATTR_12& attr) {
    TMultiViewChild* cell = nullptr;
    if (page->cells.GetSize() == 0) {
      cell = page->SplitCell(page->Root(), &attr, 1.0f, 2);
    } else {
      TMultiViewChild* last = page->cells[page->cells.GetSize() - 1];
      cell = page->SplitCell(last->node, &attr, 0.5f, 2);
    }
    page->LayoutPage();
    ProcessPendingMessages();
    return cell;
  }

  // A cell command as a cell posts it, and every message that follows from it.
  void Post(UINT message, TMultiViewChild* cell, WPARAM wParam = 0) {
    PostMessageA(page->Handle(), message, wParam, reinterpret_cast<LPARAM>(cell));
    ProcessPendingMessages();
  }
  // Only the command itself: what it posts stays queued.
  void Send(UINT message, TMultiViewChild* cell, WPARAM wParam = 0) {
    SendMessageA(page->Handle(), message, wParam, reinterpret_cast<LPARAM>(cell));
  }

  TMultiViewChild* OnlyCell() const { return page->cells.GetSize() == 1 ? page->cells[0] : nullptr; }
  static StubRecorder& Log(TMultiViewChild* view) { return *dynamic_cast<StubRecorder*>(view); }
  static int Calls(TMultiViewChild* view, const std::string& call) {
    const auto& calls = Log(view).calls;
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
  }
  static std::uint32_t HeldList(TMultiViewChild* view) {
    if (auto* chart = dynamic_cast<TDrawView*>(view)) return chart->navListId;
    if (auto* text = dynamic_cast<TTextForm*>(view)) return text->navListId;
    return 0;
  }
  static int RefCount(std::uint32_t id) {
    const SharedInstrumentList* list = navlist::Resolve(id);
    return list != nullptr ? list->refCount : -1;
  }
  std::uint32_t NewList() {
    const STKPTR items[2] = {Sh(0), Sh(1)};
    return navlist::Create(items, 2);
  }
  STKPTR Sh(int index) const { return STKPTR(static_cast<unsigned char>(sh), 0, static_cast<unsigned short>(index)); }
  STKPTR Sz(int index) const { return STKPTR(static_cast<unsigned char>(sz), 0, static_cast<unsigned short>(index)); }

  shelltest::ShellSettings settings;
  const int sh = settings.AddMarket("SH", "上海", {"600000", "600001", "600002"});
  const int sz = settings.AddMarket("SZ", "深圳", {"000001", "000002"});
  shelltest::FakeShellHost host;
  CountingPageHost pageHost;
  IShellHost* previousHost = nullptr;
  IPageHost* previousPageHost = nullptr;
  TMultiViewMain* page = nullptr;
  int liveLists = 0;
};

// ---- ChangeCellView ------------------------------------------------------------------------------

TEST_F(PageViewsTest, AViewChangeKeepsTheCellsDataHistoryLinkAndRequesterAndActivatesTheMainWindow) {
  TMultiViewChild* old = AddCell(Attr(VIEW_REPORT, Sh(1)));
  ASSERT_NE(old, nullptr);
  old->linkFlag = true;
  old->requesterId = 4711;
  MVCDATA_12* data = old->viewData;
  EArray<VIEW_ATTR_12>* history = old->history;
  PageNode* node = old->node;

  const VIEW_ATTR_12 kline = Attr(VIEW_KLINE, Sh(2));
  TMultiViewChild* view = page->ChangeCellView(node, &kline, 0);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(OnlyCell(), view) << "the old view is gone from the cell list";
  EXPECT_NE(dynamic_cast<TTechForm*>(view), nullptr);
  EXPECT_EQ(view->attr.instrument, Sh(2));
  EXPECT_EQ(node->cell, view);
  EXPECT_EQ(view->node, node);
  EXPECT_EQ(view->viewData, data);
  EXPECT_EQ(view->history, history);
  EXPECT_TRUE(view->linkFlag);
  EXPECT_EQ(view->requesterId, 4711);
  EXPECT_EQ(pageHost.activations, 1);
  ASSERT_EQ(history->GetSize(), 1);
  EXPECT_EQ((*history)[0].kind, VIEW_REPORT);
  EXPECT_EQ((*history)[0].instrument, Sh(1));

  // The new view is laid out in its node and initialised.
  EXPECT_EQ(view->Left(), node->left + kCellInset);
  EXPECT_EQ(view->Width(), node->width - kCellShrink);
  EXPECT_FALSE(view->initialised) << "initialised by a posted message";
  ProcessPendingMessages();
  EXPECT_TRUE(view->initialised);
}

TEST_F(PageViewsTest, AnUnknownKindGivesAQuoteListOfItsOwnDefaults) {
  TMultiViewChild* old = AddCell(Attr(VIEW_KLINE, Sh(2)));
  VIEW_ATTR_12 odd = Attr(VIEW_NEWS, Sh(2));
  odd.kind = 1234;
  TMultiViewChild* view = page->ChangeCellView(old->node, &odd, 0);
  ASSERT_NE(dynamic_cast<TReport*>(view), nullptr);
  EXPECT_EQ(view->attr.instrument, Attr(VIEW_REPORT).instrument);
}

TEST_F(PageViewsTest, TheHistoryHoldsAtMostTwentyAndOneEntryPerKindAndTrendMode) {
  struct Row {
    const char* name;
    int filled;              // entries already there (kind news, fontStep = position)
    int reportAt;            // position of an older quote-list entry, -1 none
    int expectedSize;
    int expectedFirstStep;   // fontStep of the oldest entry left
  };
  const Row rows[] = {
      {"19 entries: room for one more", 19, -1, 20, 0},
      {"20 entries: the 5 oldest go first", 20, -1, 16, 5},
      {"20 with one of the same kind: that one goes instead", 20, 7, 20, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TMultiViewChild* cell = AddCell(Attr(VIEW_REPORT, Sh(1)));
    EArray<VIEW_ATTR_12>& history = *cell->history;
    for (int i = 0; i < row.filled; ++i) {
      VIEW_ATTR_12 entry = Attr(i == row.reportAt ? VIEW_REPORT : VIEW_NEWS);
      entry.fontStep = i;
      history.Add(entry);
    }
    const VIEW_ATTR_12 kline = Attr(VIEW_KLINE);
    TMultiViewChild* view = page->ChangeCellView(cell->node, &kline, 0);
    ASSERT_EQ(history.GetSize(), row.expectedSize);
    EXPECT_EQ(history[0].fontStep, row.expectedFirstStep);
    EXPECT_EQ(history[history.GetSize() - 1].kind, VIEW_REPORT) << "the view left is the newest";
    EXPECT_EQ(history[history.GetSize() - 1].instrument, Sh(1));
    for (int i = 0; i + 1 < history.GetSize(); ++i) EXPECT_EQ(history[i].kind, VIEW_NEWS);
    ASSERT_EQ(OnlyCell(), view);
    page->FreeNode(page->Root());
    ASSERT_EQ(page->cells.GetSize(), 0);
  }
}

TEST_F(PageViewsTest, GoingBackAndForthDoesNotGrowTheHistory) {
  TMultiViewChild* view = AddCell(Attr(VIEW_REPORT, Sh(1)));
  const VIEW_ATTR_12 kinds[2] = {Attr(VIEW_KLINE), Attr(VIEW_REPORT)};
  for (int i = 0; i < 10; ++i) view = page->ChangeCellView(view->node, &kinds[i % 2], 1);
  EXPECT_EQ(view->history->GetSize(), 2);

  // The two trend modes are two entries of their own.
  const VIEW_ATTR_12 modes[2] = {Trend(false), Trend(true)};
  for (int i = 0; i < 10; ++i) view = page->ChangeCellView(view->node, &modes[i % 2], 1);
  const EArray<VIEW_ATTR_12>& history = *view->history;
  ASSERT_EQ(history.GetSize(), 4);
  EXPECT_EQ(history[2].kind, VIEW_TREND);
  EXPECT_EQ(history[3].kind, VIEW_TREND);
  EXPECT_NE(history[2].modeFlags & kChartModeFlash, history[3].modeFlags & kChartModeFlash);
}

TEST_F(PageViewsTest, TheActiveAndTheZoomedCellStaySoAfterAViewChange) {
  TMultiViewChild* left = AddCell(Attr(VIEW_REPORT));
  TMultiViewChild* right = AddCell(Attr(VIEW_NEWS));
  right->Activate();
  page->ZoomCell(right, true);
  ProcessPendingMessages();
  ASSERT_EQ(page->zoomedCell, right);

  const VIEW_ATTR_12 kline = Attr(VIEW_KLINE);
  TMultiViewChild* view = page->ChangeCellView(right->node, &kline, 1);
  ProcessPendingMessages();
  EXPECT_EQ(page->zoomedCell, view);
  EXPECT_TRUE(view->zoomed);
  EXPECT_EQ(page->activeCell, view);
  EXPECT_TRUE(view->active);
  ASSERT_NE(view->cmdBox, nullptr);
  EXPECT_EQ(view->cmdBox->codes[0], 2) << "the strip offers to restore";
  EXPECT_EQ(view->Width(), page->ClientWidth() - kCellShrink) << "placed over the whole page";
  EXPECT_FALSE(left->Visible());

  // A change of the other cell while one is zoomed leaves it hidden and the zoom alone.
  const VIEW_ATTR_12 trend = Trend(false);
  TMultiViewChild* behind = page->ChangeCellView(left->node, &trend, 1);
  EXPECT_FALSE(behind->Visible());
  EXPECT_EQ(page->zoomedCell, view);
  EXPECT_EQ(page->activeCell, view);
  EXPECT_FALSE(behind->zoomed);
  EXPECT_FALSE(behind->active);

  // Restored: both shown again.
  page->ZoomCell(view, false);
  EXPECT_TRUE(behind->Visible());
  EXPECT_TRUE(view->Visible());
}

// ---- The cell commands ---------------------------------------------------------------------------

TEST_F(PageViewsTest, ShowFlashOnAMinuteTrendTogglesItInPlace) {
  TMultiViewChild* trend = AddCell(Trend(false, Sh(1)));
  Post(MsgCellShowFlash, trend);
  ASSERT_EQ(OnlyCell(), trend);
  EXPECT_TRUE(IsFlashChart(*trend));
  EXPECT_EQ(Calls(trend, "N16Click"), 1);
  // Already in the mode asked: nothing.
  Post(MsgCellShowFlash, trend);
  EXPECT_EQ(Calls(trend, "N16Click"), 1);
  Post(MsgCellShowTrend, trend);
  EXPECT_FALSE(IsFlashChart(*trend));
  EXPECT_EQ(Calls(trend, "N16Click"), 2);
  EXPECT_EQ(trend->history->GetSize(), 0);
}

TEST_F(PageViewsTest, ShowFlashOnAKLineMakesAMinuteTrendAndTogglesItOnTheNextRound) {
  TMultiViewChild* kline = AddCell(Attr(VIEW_KLINE, Sh(2)));
  kline->attr.currentBlock = 77;
  Send(MsgCellShowFlash, kline);
  TMultiViewChild* trend = OnlyCell();
  ASSERT_NE(dynamic_cast<TRendForm*>(trend), nullptr);
  EXPECT_FALSE(IsFlashChart(*trend)) << "toggled only by the posted second round";
  EXPECT_EQ(trend->attr.instrument, Sh(2)) << "the cell's instrument";
  EXPECT_EQ(trend->attr.currentBlock, 77u) << "and block";
  ProcessPendingMessages();
  ASSERT_EQ(OnlyCell(), trend);
  EXPECT_TRUE(IsFlashChart(*trend));
  EXPECT_EQ(Calls(trend, "N16Click"), 1);
}

TEST_F(PageViewsTest, AKindAlreadyInTheHistoryComesBackFromItWithTheCellsInstrument) {
  TMultiViewChild* kline = AddCell(Attr(VIEW_KLINE, Sh(2)));
  VIEW_ATTR_12 older = Trend(true, Sh(0));
  older.fontStep = 3;
  VIEW_ATTR_12 newer = Trend(true, Sh(0));
  newer.fontStep = 6;
  kline->history->Add(older);
  kline->history->Add(Attr(VIEW_NEWS));
  kline->history->Add(newer);
  Post(MsgCellShowFlash, kline);
  TMultiViewChild* trend = OnlyCell();
  ASSERT_NE(dynamic_cast<TRendForm*>(trend), nullptr);
  EXPECT_EQ(trend->attr.fontStep, 6) << "the newest entry of the kind";
  EXPECT_EQ(trend->attr.instrument, Sh(2));
  EXPECT_TRUE(IsFlashChart(*trend));
  EXPECT_EQ(Calls(trend, "N16Click"), 0) << "already in the mode asked";
}

TEST_F(PageViewsTest, ShowTrendWithADateShowsThatDayOnceTheViewIsInMinuteMode) {
  const WPARAM date = 20240315;
  const std::string shown = "ShowHistoryDay " + std::to_string(date);
  {
    SCOPED_TRACE("a new minute trend");
    TMultiViewChild* kline = AddCell(Attr(VIEW_KLINE, Sh(2)));
    Post(MsgCellShowTrend, kline, date);
    TMultiViewChild* trend = OnlyCell();
    ASSERT_NE(dynamic_cast<TRendForm*>(trend), nullptr);
    EXPECT_EQ(Calls(trend, shown), 1);
    EXPECT_EQ(Calls(trend, "N16Click"), 0);
    page->FreeNode(page->Root());
  }
  {
    SCOPED_TRACE("a flash chart from the history: toggled, then the day, once");
    TMultiViewChild* kline = AddCell(Attr(VIEW_KLINE, Sh(2)));
    kline->history->Add(Trend(true));
    Send(MsgCellShowTrend, kline, date);
    TMultiViewChild* trend = OnlyCell();
    EXPECT_EQ(Calls(trend, shown), 0);
    ProcessPendingMessages();
    ASSERT_EQ(OnlyCell(), trend);
    EXPECT_FALSE(IsFlashChart(*trend));
    EXPECT_EQ(Calls(trend, "N16Click"), 1);
    EXPECT_EQ(Log(trend).calls.back(), shown);
    EXPECT_EQ(Calls(trend, shown), 1);
  }
}

TEST_F(PageViewsTest, EachCommandShowsItsKind) {
  struct Row {
    UINT message;
    ViewKind kind;
  };
  const Row rows[] = {{MsgCellShowReport, VIEW_REPORT}, {MsgCellShowKLine, VIEW_KLINE},
                      {MsgCellShowF10, VIEW_F10},       {MsgCellShowNews, VIEW_NEWS},
                      {MsgCellShowTrend, VIEW_TREND},   {MsgCellShowFlash, VIEW_TREND}};
  TMultiViewChild* cell = AddCell(Attr(VIEW_NOTE, Sh(1)));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    Post(row.message, cell);
    cell = OnlyCell();
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->attr.kind, row.kind);
    EXPECT_EQ(cell->attr.instrument, Sh(1));
  }
  EXPECT_TRUE(IsFlashChart(*cell));
}

TEST_F(PageViewsTest, AnEmptyCellTakesTheDefaultsInstrumentAndACommandForAGoneCellIsIgnored) {
  TMultiViewChild* empty = AddCell(Attr(VIEW_NONE));
  ASSERT_EQ(empty->attr.kind, VIEW_NONE);
  Post(MsgCellShowKLine, empty);
  TMultiViewChild* kline = OnlyCell();
  ASSERT_EQ(kline->attr.kind, VIEW_KLINE);
  EXPECT_EQ(kline->attr.instrument, Attr(VIEW_KLINE).instrument);

  // The posted cell was replaced meanwhile: the command names nothing any more.
  Post(MsgCellShowNews, empty);
  Post(MsgCellBack, empty);
  EXPECT_EQ(OnlyCell(), kline);
}

// ---- Back ----------------------------------------------------------------------------------------

TEST_F(PageViewsTest, BackWithAnEmptyHistory) {
  TMultiViewChild* report = AddCell(Attr(VIEW_REPORT, Sh(1)));
  Post(MsgCellBack, report);
  EXPECT_EQ(OnlyCell(), report) << "a quote list stays";
  EXPECT_EQ(pageHost.activations, 0);

  const VIEW_ATTR_12 text = Attr(VIEW_F10, Sh(2));
  TMultiViewChild* f10 = page->ChangeCellView(report->node, &text, 1);
  f10->history->RemoveAll();
  Post(MsgCellBack, f10);
  TMultiViewChild* back = OnlyCell();
  ASSERT_NE(dynamic_cast<TReport*>(back), nullptr) << "a default quote list";
  EXPECT_EQ(back->attr.instrument, Sh(2)) << "of the same instrument";
  EXPECT_EQ(back->attr.blockTabCount, Attr(VIEW_REPORT).blockTabCount);
  EXPECT_EQ(back->history->GetSize(), 0) << "the history does not grow";
}

TEST_F(PageViewsTest, BackShowsTheNewestEntryAndDropsItWithTheViewLeft) {
  TMultiViewChild* view = AddCell(Attr(VIEW_NEWS));
  const VIEW_ATTR_12 steps[3] = {Attr(VIEW_REPORT, Sh(0)), Attr(VIEW_KLINE, Sh(2)), Attr(VIEW_F10, Sh(2))};
  for (const VIEW_ATTR_12& step : steps) view = page->ChangeCellView(view->node, &step, 1);
  ASSERT_EQ(view->history->GetSize(), 3);   // news, report, K-line

  view = page->CellBack(view);
  EXPECT_EQ(view->attr.kind, VIEW_KLINE);
  EXPECT_EQ(view->history->GetSize(), 2);
  view = page->CellBack(view);
  EXPECT_EQ(view->attr.kind, VIEW_REPORT);
  EXPECT_EQ(view->attr.instrument, Sh(2)) << "a quote list of the same market takes the instrument";
  view = page->CellBack(view);
  EXPECT_EQ(view->attr.kind, VIEW_NEWS);
  EXPECT_EQ(view->history->GetSize(), 0);
}

TEST_F(PageViewsTest, BackFromAViewOfTheEntrysOwnKindLosesNoOtherEntry) {
  TMultiViewChild* view = AddCell(Attr(VIEW_REPORT, Sh(0)));
  VIEW_ATTR_12 first = Trend(false, Sh(1));
  first.fontStep = 4;
  view = page->ChangeCellView(view->node, &first, 1);
  VIEW_ATTR_12 second = Trend(false, Sh(2));
  view = page->ChangeCellView(view->node, &second, 1);
  ASSERT_EQ(view->history->GetSize(), 2);   // report, first trend

  view = page->CellBack(view);
  EXPECT_EQ(view->attr.kind, VIEW_TREND);
  EXPECT_EQ(view->attr.fontStep, 4);
  ASSERT_EQ(view->history->GetSize(), 1) << "the quote list is still there to go back to";
  view = page->CellBack(view);
  EXPECT_EQ(view->attr.kind, VIEW_REPORT);
  EXPECT_EQ(view->history->GetSize(), 0);
}

TEST_F(PageViewsTest, BackToAQuoteListOfAnotherMarketKeepsItsInstrument) {
  struct Row {
    STKPTR entry;
    STKPTR current;
    STKPTR expected;
  };
  const Row rows[] = {{Sh(0), Sh(2), Sh(2)}, {Sz(1), Sh(2), Sz(1)}, {Sh(0), Sz(0), Sh(0)}};
  for (const Row& row : rows) {
    TMultiViewChild* kline = AddCell(Attr(VIEW_KLINE, row.current));
    kline->history->Add(Attr(VIEW_REPORT, row.entry));
    TMultiViewChild* back = page->CellBack(kline);
    EXPECT_EQ(back->attr.instrument, row.expected);
    page->FreeNode(page->Root());
  }
}

// ---- Finding views -------------------------------------------------------------------------------

TEST_F(PageViewsTest, FindViewByKindAsksTheActiveCellFirstThenTheListInOrder) {
  TMultiViewChild* first = AddCell(Attr(VIEW_KLINE));
  TMultiViewChild* second = AddCell(Attr(VIEW_KLINE));
  TMultiViewChild* third = AddCell(Attr(VIEW_REPORT));
  third->Activate();
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, false), nullptr) << "none linked";
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, true), first);
  second->linkFlag = true;
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, false), second);
  second->Activate();
  first->linkFlag = true;
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, false), second) << "the active cell first";
  second->linkFlag = false;
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, false), first);
  EXPECT_EQ(page->FindViewByKind(VIEW_KLINE, true), second);
  EXPECT_EQ(page->FindViewByKind(VIEW_NEWS, true), nullptr);
}

TEST_F(PageViewsTest, ShowInLinkedViewsAnswersForTheLastLinkedView) {
  struct Cell {
    ViewKind kind;
    bool linked;
  };
  struct Row {
    const char* name;
    std::vector<Cell> cells;
    bool expected;
  };
  const Row rows[] = {
      {"none", {{VIEW_REPORT, true}, {VIEW_NEWS, true}}, false},
      {"only unlinked charts", {{VIEW_KLINE, false}, {VIEW_TREND, false}}, false},
      {"a linked chart", {{VIEW_KLINE, true}, {VIEW_REPORT, true}}, true},
      {"F10 last, after a linked chart", {{VIEW_TREND, true}, {VIEW_F10, true}}, false},
      {"an unlinked F10 last", {{VIEW_TREND, true}, {VIEW_F10, false}}, true},
      {"a chart after F10", {{VIEW_F10, true}, {VIEW_KLINE, true}}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const Cell& cell : row.cells) AddCell(Attr(cell.kind))->linkFlag = cell.linked;
    VIEW_ATTR_12 shown = Attr(VIEW_KLINE, Sh(2));
    shown.currentBlock = 9;
    EXPECT_EQ(page->ShowInLinkedViews(&shown, false), row.expected);
    for (int i = 0; i < page->cells.GetSize(); ++i) {
      TMultiViewChild* cell = page->cells[i];
      const bool follows = row.cells[i].linked &&
                           (row.cells[i].kind == VIEW_TREND || row.cells[i].kind == VIEW_KLINE ||
                            row.cells[i].kind == VIEW_F10);
      const auto& log = Log(cell).notifications;
      const auto shownHere = std::count_if(log.begin(), log.end(), [](const ViewNotifyRecord& r) {
        return r.code == VN_SHOWINSTRUMENT;
      });
      ASSERT_EQ(shownHere, follows ? 1 : 0) << "cell " << i;
      if (follows) {
        const ViewNotifyRecord& record = log.back();
        EXPECT_EQ(record.instrument, Sh(2));
        EXPECT_EQ(record.arg, 9);
        EXPECT_EQ(record.extra, reinterpret_cast<std::intptr_t>(&shown));
      }
    }
    page->FreeNode(page->Root());
  }
}

TEST_F(PageViewsTest, ShowInLinkedViewsWithZoomZoomsTheFirstLinkedViewNotZoomed) {
  TMultiViewChild* report = AddCell(Attr(VIEW_REPORT));
  TMultiViewChild* first = AddCell(Attr(VIEW_TREND));
  TMultiViewChild* second = AddCell(Attr(VIEW_KLINE));
  report->linkFlag = first->linkFlag = second->linkFlag = true;
  const VIEW_ATTR_12 shown = Attr(VIEW_KLINE, Sh(1));
  EXPECT_TRUE(page->ShowInLinkedViews(&shown, true));
  ProcessPendingMessages();
  EXPECT_EQ(page->zoomedCell, first);
  // The zoomed one is passed over, once.
  EXPECT_TRUE(page->ShowInLinkedViews(&shown, true));
  ProcessPendingMessages();
  EXPECT_EQ(page->zoomedCell, second);
}

// ---- Navigation lists ----------------------------------------------------------------------------

TEST_F(PageViewsTest, ListReferencesFollowViewChangesLinkedViewsAndBack) {
  TMultiViewChild* view = AddCell(Attr(VIEW_REPORT, Sh(0)));
  const std::uint32_t list = NewList();
  VIEW_ATTR_12 kline = Attr(VIEW_KLINE, Sh(0));
  kline.SetNavListId(list);
  kline.SetNavPosition(1);
  view = page->ChangeCellView(view->node, &kline, 1);
  EXPECT_EQ(HeldList(view), list);
  EXPECT_EQ(RefCount(list), 1) << "one reference, held by the new view";

  // Two linked views take one reference each; the one they held before goes.
  TMultiViewChild* f10 = AddCell(Attr(VIEW_F10));
  f10->linkFlag = view->linkFlag = true;
  const std::uint32_t next = NewList();
  VIEW_ATTR_12 shown = Attr(VIEW_TREND, Sh(1));
  shown.SetNavListId(next);
  EXPECT_FALSE(page->ShowInLinkedViews(&shown, false));
  EXPECT_EQ(RefCount(next), 2);
  EXPECT_EQ(navlist::Resolve(list), nullptr);
  EXPECT_EQ(HeldList(view), next);
  EXPECT_EQ(HeldList(f10), next);

  // A view change of the chart to a trend, then back: the list goes along each time.
  const VIEW_ATTR_12 plainTrend = Attr(VIEW_TREND);
  view = page->ChangeCellView(view->node, &plainTrend, 1);
  EXPECT_EQ(HeldList(view), 0u) << "the defaults carry no list";
  EXPECT_EQ(RefCount(next), 1);
  VIEW_ATTR_12 withList = Attr(VIEW_TREND, Sh(1));
  withList.SetNavListId(next);
  view = page->ChangeCellView(view->node, &withList, 1);
  EXPECT_EQ(RefCount(next), 2);
  view = page->CellBack(view);   // to the trend entry: it takes the list being browsed
  EXPECT_EQ(view->attr.kind, VIEW_TREND);
  EXPECT_EQ(HeldList(view), next);
  EXPECT_EQ(RefCount(next), 2);
  view = page->CellBack(view);   // to the K-line
  EXPECT_EQ(view->attr.kind, VIEW_KLINE);
  EXPECT_EQ(HeldList(view), next);
  EXPECT_EQ(RefCount(next), 2);

  // The F10 view back to a quote list: its reference goes with it.
  TMultiViewChild* report = page->CellBack(f10);
  EXPECT_EQ(report->attr.kind, VIEW_REPORT);
  EXPECT_EQ(RefCount(next), 1);
  // TearDown frees the page and checks that every list went with it.
}

TEST_F(PageViewsTest, BackOntoAFreedListShowsTheViewWithoutOneAndLeaksNothing) {
  TMultiViewChild* report = AddCell(Attr(VIEW_REPORT, Sh(0)));
  // A K-line entry whose list was freed after it went into the history, its slot since reused.
  const std::uint32_t gone = NewList();
  VIEW_ATTR_12 entry = Attr(VIEW_KLINE, Sh(1));
  entry.SetNavListId(gone);
  entry.SetNavPosition(1);
  report->history->Add(entry);
  navlist::AddRef(gone);
  navlist::Release(gone);
  ASSERT_EQ(navlist::Resolve(gone), nullptr);
  // Lists until one takes the freed slot (freed slots come back oldest first).
  std::uint32_t reused = 0;
  std::vector<std::uint32_t> others;
  for (int i = 0; i < 70000 && reused == 0; ++i) {
    const std::uint32_t id = NewList();
    ASSERT_NE(id, 0u);
    if ((id & 0xFFFFu) == (gone & 0xFFFFu)) reused = id; else others.push_back(id);
  }
  for (std::uint32_t id : others) navlist::Release(id);
  ASSERT_NE(reused, 0u);
  ASSERT_NE(reused, gone) << "the same slot, a new generation";
  navlist::AddRef(reused);

  TMultiViewChild* kline = page->CellBack(report);
  ASSERT_NE(dynamic_cast<TTechForm*>(kline), nullptr);
  EXPECT_EQ(kline->attr.instrument, Sh(1));
  EXPECT_EQ(HeldList(kline), 0u);
  EXPECT_EQ(RefCount(reused), 1) << "the stale id must not count on the slot's next list";

  // The same through the command: the entry is found again by its kind.
  Post(MsgCellShowReport, kline);
  OnlyCell()->history->Add(entry);
  Post(MsgCellShowKLine, OnlyCell());
  ASSERT_EQ(OnlyCell()->attr.instrument, Sh(1)) << "the cell's instrument";
  ASSERT_EQ(OnlyCell()->attr.NavListId(), 0u);
  EXPECT_EQ(HeldList(OnlyCell()), 0u);
  EXPECT_EQ(RefCount(reused), 1);
  navlist::Release(reused);
}

}  // namespace
