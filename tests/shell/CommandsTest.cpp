// The numbered commands: their pure rules (cycle map, block ids, the cycle rotation, tab
// captions) and ExecuteCommand, OpenBlockList, ChangeCycle and ShowViewOfKind on a main window
// with a page of stand-in views.
#include "CommandsTestFixture.h"

#include "data/Messages.h"
#include "dialogs/Cycleorderdlg.h"
#include "shell/NavList.h"
#include "shell/SmallWindows.h"

#include <algorithm>

namespace {

using namespace cmdtest;
using Activities = std::map<std::string, std::vector<std::string>>;

// ---- Pure rules -------------------------------------------------------------------------------

TEST(CommandRulesTest, CycleCommandsMapToChartCycles) {
  const int expected[16] = {-1, 0, 1, 2, 4, 5, 6, 7, 13, 14, 8, 9, 10, 11, 3, 12};
  for (int id = 0; id <= 15; ++id) EXPECT_EQ(CommandCycle(id), expected[id]) << id;
  EXPECT_EQ(CommandCycle(16), -1);
}

CycleOrderRecord Rotation(std::initializer_list<int> cycles, std::initializer_list<int> shown) {
  CycleOrderRecord order{};
  int i = 0;
  for (int c : cycles) order.cycles[i++] = static_cast<std::uint8_t>(c);
  i = 0;
  for (int s : shown) order.shown[i++] = static_cast<std::uint8_t>(s);
  return order;
}

TEST(CommandRulesTest, RotationStepsToTheNextEnabledEntryBothWays) {
  // Rotation order 0,1,2,...,14; enabled: 0 (flash), 4 (5 min), 8 (day), 14 (240 min).
  const CycleOrderRecord order =
      Rotation({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1});
  struct Case {
    int current;
    bool backwards;
    int expected;
  };
  const Case cases[] = {
      {0, false, 4},   {4, false, 8},  {8, false, 14}, {14, false, 0},   // wraps to the first
      {0, true, 14},                                                     // Shift+F8 on the first: the last
      {4, true, 0},    {5, false, 8},  {5, true, 4},                     // a disabled current entry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.current) + (c.backwards ? " back" : " forward"));
    EXPECT_EQ(NextRotationCycle(order, c.current, c.backwards), c.expected);
  }
  EXPECT_EQ(FirstRotationCycle(order), 0);
}

TEST(CommandRulesTest, ACycleOutsideTheRotationStartsAtItsEndsInclusive) {
  // Cycle 14 is missing from the rotation (12 twice); only the first and the last entry are
  // enabled. Stepping from 1 before the first entry once skipped entry 0.
  const CycleOrderRecord order =
      Rotation({8, 1, 2, 3, 4, 5, 6, 7, 0, 9, 10, 11, 12, 13, 12}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
  EXPECT_EQ(NextRotationCycle(order, 14, false), 8);
  EXPECT_EQ(NextRotationCycle(order, 14, true), 12);
  const CycleOrderRecord none =
      Rotation({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(NextRotationCycle(none, 0, false), -1);
  EXPECT_EQ(FirstRotationCycle(none), -1);
}

TEST(CommandRulesTest, TabCaptionDropsATrailingMarketWord) {
  EXPECT_EQ(BlockTabCaption("上海市场"), "上海");
  EXPECT_EQ(BlockTabCaption("市场"), "");
  EXPECT_EQ(BlockTabCaption("市场一"), "市场一");
  EXPECT_EQ(BlockTabCaption("自选"), "自选");
  EXPECT_EQ(BlockTabCaption(nullptr), "");
}

// ---- ExecuteCommand on a page -------------------------------------------------------------------

class CommandsTest : public CommandFrameTest {
 protected:
  // A quote list of the default blocks, a linked trend and K-line of SH 600000, an F10 view, a
  // ranking view with one row in pane 0, and a news view; the K-line is active.
  void StandardPage() {
    named.clear();
    frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    ProcessPendingMessages();
    page = frame->PageWindow();
    AddCell("report", Attr(VIEW_REPORT));
    AddCell("trend", Attr(VIEW_TREND, kSh600000()))->linkFlag = true;
    AddCell("kline", Attr(VIEW_KLINE, kSh600000()))->linkFlag = true;
    AddCell("f10", Attr(VIEW_F10, kSh600000()));
    auto* ranking = dynamic_cast<TInteSort*>(AddCell("ranking", Attr(VIEW_INTESORT)));
    ISCI row{};
    row.instrument = kSz399001();
    ranking->paneRows[0].Add(row);
    AddCell("news", Attr(VIEW_NEWS));
    Cell("kline")->attr.cycle = 0;
    Activate("kline");
  }
  std::string ActiveName() { return NameOf(page->activeCell); }
};

TEST_F(CommandsTest, QuoteListCommandsShowTheCategoryBlocksAndSortByChange) {
  // M = 2 markets, C0 = 6: market 0 category k is block 2 + k, market 1 category k is 8 + k.
  const int blocks[6] = {3, 4, 7, 9, 10, 13};
  for (int i = 0; i < 12; ++i) {
    const int id = 16 + i;
    SCOPED_TRACE(id);
    StandardPage();
    Activate("report");
    frame->ExecuteCommand(static_cast<std::int8_t>(id));
    EXPECT_EQ(Cell("report")->attr.currentBlock, static_cast<std::uint32_t>(blocks[i % 6]));
    EXPECT_EQ(ActiveName(), "report");
    const std::vector<MSG> sorts = Posted(Cell("report")->Handle(), MsgSortReportByColumn);
    if (id <= 21) {
      EXPECT_TRUE(sorts.empty());
    } else {
      ASSERT_EQ(sorts.size(), 1u);
      EXPECT_EQ(sorts[0].wParam, 11u);
      EXPECT_EQ(sorts[0].lParam, 0);
    }
  }
}

TEST_F(CommandsTest, ViewCommandsActOnlyOnTheirKindsOfActiveView) {
  struct Row {
    int id;
    const char* active;
    Activities expected;
  };
  const std::vector<Row> rows = {
      {28, "kline", {{"kline", {"ViewKeyCommand 28"}}}},
      {31, "trend", {{"trend", {"ViewKeyCommand 31"}}}},
      {29, "report", {}},
      {77, "kline", {{"kline", {"ViewKeyCommand 77"}}}},
      {80, "kline", {{"kline", {"ViewKeyCommand 80"}}}},
      {78, "trend", {}},
      {49, "kline", {{"kline", {"N20 255:65535 0", "OpenInfoLink"}}}},
      {63, "report", {{"report", {"N1Click"}}}},
      {64, "report", {{"report", {"N3Click"}}}},
      {63, "kline", {}},
      {67, "kline", {{"kline", {"N29Click"}}}},
      {68, "kline", {{"kline", {"N20Click"}}}},
      {72, "kline", {{"kline", {"N30Click"}}}},
      {67, "trend", {}},
      {0, "kline", {}},
      {82, "kline", {}},
      {-5, "kline", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.id) + " on " + row.active);
    StandardPage();
    Activate(row.active);
    frame->ExecuteCommand(static_cast<std::int8_t>(row.id));
    Activities activity = Activity();
    // The line tool and the axis reversal toggle a menu item: checked apart.
    EXPECT_EQ(activity, row.expected);
  }
}

TEST_F(CommandsTest, AdjustmentCommandsToggleBackToNone) {
  StandardPage();
  auto* kline = dynamic_cast<TTechForm*>(Cell("kline"));
  frame->ExecuteCommand(70);
  EXPECT_TRUE(kline->adjustItems[1]->Checked());
  frame->ExecuteCommand(70);
  EXPECT_TRUE(kline->adjustItems[0]->Checked());
  frame->ExecuteCommand(71);
  EXPECT_TRUE(kline->adjustItems[2]->Checked());
  frame->ExecuteCommand(70);
  EXPECT_TRUE(kline->adjustItems[1]->Checked());
}

TEST_F(CommandsTest, IndexTrendNeedsItsSlot) {
  StandardPage();
  frame->IndexSlots[0].index = -1;   // "000001" not found at start-up
  frame->ExecuteCommand(32);
  EXPECT_EQ(Activity(), Activities{});
  EXPECT_EQ(ActiveName(), "kline");

  frame->IndexSlots[1].index = 0;
  frame->ExecuteCommand(34);
  // The linked charts follow 399001, and the linked trend becomes the active view.
  EXPECT_EQ(ActiveName(), "trend");
  EXPECT_EQ(Cell("trend")->attr.instrument, kSz399001());
  EXPECT_EQ(Cell("trend")->attr.currentBlock, 1u);
  EXPECT_EQ(Cell("kline")->attr.instrument, kSz399001());
}

TEST_F(CommandsTest, SwitchGoesBetweenTrendAndKLineWithTheInstrument) {
  StandardPage();
  Cell("kline")->attr.instrument = kSh000001();
  frame->ExecuteCommand(36);
  EXPECT_EQ(ActiveName(), "trend");
  EXPECT_EQ(Cell("trend")->attr.instrument, kSh000001());
  frame->ExecuteCommand(37);
  EXPECT_EQ(ActiveName(), "kline");

  // A news view switches to nothing.
  Activate("news");
  frame->ExecuteCommand(36);
  EXPECT_EQ(ActiveName(), "news");
}

TEST_F(CommandsTest, ZoomStripClickAndCloseArePostedForTheActiveCell) {
  StandardPage();
  frame->ExecuteCommand(40);
  HWND strip = Cell("kline")->cmdBox->handle;
  const std::vector<MSG> clicks = Posted(strip, WM_LBUTTONDOWN);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].lParam, 0);
  frame->ExecuteCommand(60);
  const std::vector<MSG> closes = Posted(page->Handle(), MsgCellClose);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].lParam, reinterpret_cast<LPARAM>(Cell("kline")));
}

TEST_F(CommandsTest, NewsNotesRankingAndCompanyInformation) {
  StandardPage();
  frame->ExecuteCommand(44);
  EXPECT_EQ(ActiveName(), "news");
  EXPECT_EQ(Activity(), (Activities{{"news", {"N8Click"}}}));

  // Company information of the ranking row: the F10 view is not linked, so the active cell
  // turns into one.
  Activate("ranking");
  frame->ExecuteCommand(46);
  ASSERT_NE(page->activeCell, nullptr);
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_F10);
  EXPECT_EQ(page->activeCell->attr.instrument, kSz399001());

  // A ranking pane without a row at its selection: nothing.
  StandardPage();
  Activate("ranking");
  dynamic_cast<TInteSort*>(Cell("ranking"))->selectedRows[0] = 3;
  frame->ExecuteCommand(47);
  EXPECT_EQ(ActiveName(), "ranking");

  // Notes of 深交所: a new notes view of category 2 in the active cell.
  StandardPage();
  frame->ExecuteCommand(51);
  ASSERT_NE(page->activeCell, nullptr);
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_NOTE);
  EXPECT_EQ(page->activeCell->attr.currentBlock, 2u);
  // An existing notes view is activated and told the category.
  TMultiViewChild* notes = page->activeCell;
  named.emplace_back("notes", notes);
  Activate("trend");
  frame->ExecuteCommand(50);
  EXPECT_EQ(page->activeCell, notes);
  EXPECT_EQ(Activity()["notes"], (std::vector<std::string>{"N1 0:1 0", "LoadNoteList 0"}));

  // 沪债券综合排名: a ranking of block M + 5.
  StandardPage();
  frame->ExecuteCommand(54);
  ASSERT_NE(page->activeCell, nullptr);
  EXPECT_EQ(page->activeCell->attr.kind, VIEW_INTESORT);
  EXPECT_EQ(page->activeCell->attr.blockTabs[0], 7);
}

TEST_F(CommandsTest, AddToUserBlockAsksForAUserBlockUnderTheModalScope) {
  StandardPage();
  dialogs.chooserAnswers.push_back(5);
  frame->ExecuteCommand(65);
  ASSERT_EQ(dialogs.choosers.size(), 1u);
  EXPECT_EQ(dialogs.choosers[0].request.caption, "加入自选板块");
  EXPECT_EQ(dialogs.choosers[0].request.highestKind, 3);
  EXPECT_EQ(dialogs.choosers[0].request.lowestKind, 3);
  EXPECT_TRUE(dialogs.choosers[0].modalOpen);
  EXPECT_FALSE(ModalDialogOpen());
  // Every view hears of the changed block; the K-line added its instrument.
  EXPECT_EQ(Activity()["kline"], (std::vector<std::string>{"N10 0:0 5", "AddToBlock 5"}));

  Activate("report");
  dialogs.chooserAnswers.push_back(6);
  frame->ExecuteCommand(65);
  EXPECT_EQ(Activity()["report"], (std::vector<std::string>{"N10 0:0 6", "AddSelectedToBlock 6"}));

  // Cancelled: nothing is added.
  frame->ExecuteCommand(65);
  EXPECT_EQ(Activity(), Activities{});
  // A news view adds nothing and asks nothing.
  Activate("news");
  frame->ExecuteCommand(65);
  EXPECT_EQ(dialogs.choosers.size(), 3u);
}

// ---- The cycle commands ----------------------------------------------------------------------------

class CycleCommandsTest : public CommandsTest {
 protected:
  void SetRotation(std::initializer_list<int> shownCycles) {
    for (int i = 0; i < kCycleCount; ++i) {
      CycleOrderTable.cycles[i] = static_cast<std::uint8_t>(i);
      CycleOrderTable.shown[i] = 0;
    }
    for (int c : shownCycles) CycleOrderTable.shown[c] = 1;
  }
};

TEST_F(CycleCommandsTest, CycleCommandsChangeTheKLinePeriodOrOpenOne) {
  StandardPage();
  for (int id = 2; id <= 15; ++id) {
    SCOPED_TRACE(id);
    Cell("kline")->attr.cycle = 0;
    frame->ExecuteCommand(static_cast<std::int8_t>(id));
    EXPECT_EQ(Activity(), (Activities{{"kline", {"ChangePeriod " + std::to_string(CommandCycle(id))}}}));
  }
  // The flash chart from a K-line: posted to the page.
  frame->ExecuteCommand(1);
  const std::vector<MSG> flashes = Posted(page->Handle(), MsgCellShowFlash);
  ASSERT_EQ(flashes.size(), 1u);
  EXPECT_EQ(flashes[0].lParam, reinterpret_cast<LPARAM>(Cell("kline")));
  // From a minute trend: switched in place; from a flash chart: nothing.
  Activate("trend");
  frame->ExecuteCommand(1);
  EXPECT_TRUE(IsFlashChart(*Cell("trend")));
  frame->ExecuteCommand(1);
  EXPECT_TRUE(IsFlashChart(*Cell("trend")));
  EXPECT_EQ(Activity(), (Activities{{"trend", {"N16Click"}}}));

  // From the trend, a day chart shows in the linked K-line.
  frame->ExecuteCommand(10);
  EXPECT_EQ(ActiveName(), "kline");
}

TEST_F(CycleCommandsTest, RotationFollowsTheEnabledCycles) {
  SetRotation({0, 4, 8});
  StandardPage();
  // K-line on day bars: forward wraps to the flash chart, posted to the page.
  Cell("kline")->attr.cycle = 8;
  frame->ExecuteCommand(42);
  EXPECT_EQ(Posted(page->Handle(), MsgCellShowFlash).size(), 1u);
  // Backwards from day bars: 5 minutes.
  frame->ExecuteCommand(74);
  EXPECT_EQ(Activity(), (Activities{{"kline", {"ChangePeriod 4"}}}));
  // A minute trend: the first enabled cycle (the flash chart) in place.
  Activate("trend");
  frame->ExecuteCommand(43);
  EXPECT_TRUE(IsFlashChart(*Cell("trend")));
  // A flash chart steps from cycle 0 to the next enabled one, 5 minutes, in the linked K-line.
  Clear();
  frame->ExecuteCommand(42);
  EXPECT_EQ(ActiveName(), "kline");
  // Shift+F8 on the flash chart wraps to the last enabled cycle.
  Activate("trend");
  Cell("kline")->attr.cycle = 0;
  frame->ExecuteCommand(74);
  EXPECT_EQ(ActiveName(), "kline");
  // Other views: nothing.
  Activate("report");
  frame->ExecuteCommand(42);
  EXPECT_EQ(ActiveName(), "report");
}

TEST_F(CycleCommandsTest, RotationWithoutEnabledCyclesAsksForTheOrder) {
  SetRotation({});
  StandardPage();
  bool ranUnderScope = false;
  runner->Add("TCycleOrder", [&](TForm& form) {
    ranUnderScope = ModalDialogOpen();
    form.SetModalResult(mrCancel);
  });
  const std::size_t before = boxes->Count();
  frame->ExecuteCommand(42);
  ASSERT_EQ(boxes->Count(), before + 1);
  const MessageBoxRequest shown = boxes->Shown().back();
  EXPECT_EQ(shown.text, "请先设定周期循环次序。  ");
  EXPECT_EQ(shown.caption, "提示");
  EXPECT_EQ(shown.icon, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_TRUE(shown.topMost);
  EXPECT_TRUE(ranUnderScope);
  ASSERT_FALSE(runner->Ran().empty());
  EXPECT_EQ(runner->Ran().back(), "CycleOrder");
  EXPECT_EQ(Activity(), Activities{});
  EXPECT_FALSE(ModalDialogOpen());
}

// ---- OpenBlockList and the user's block -------------------------------------------------------------

TEST_F(CommandsTest, AQuoteListKeepsSixtyFourTabsAndDropsTheLastForANewOne) {
  StandardPage();
  TMultiViewChild* report = Cell("report");
  report->attr.blockTabCount = kMaxBlockTabs;
  for (int t = 0; t < kMaxBlockTabs; ++t) report->attr.blockTabs[t] = static_cast<std::uint16_t>(100 + t);
  EXPECT_EQ(frame->OpenBlockList(3), report);
  EXPECT_EQ(report->attr.blockTabCount, static_cast<std::uint32_t>(kMaxBlockTabs));
  EXPECT_EQ(report->attr.blockTabs[kMaxBlockTabs - 2], 100 + kMaxBlockTabs - 2);
  EXPECT_EQ(report->attr.blockTabs[kMaxBlockTabs - 1], 3);
  EXPECT_EQ(report->attr.currentBlock, 3u);
  EXPECT_EQ(ActiveName(), "report");
  // A block already among the tabs is only selected.
  EXPECT_EQ(frame->OpenBlockList(105), report);
  EXPECT_EQ(report->attr.currentBlock, 105u);
  EXPECT_EQ(report->attr.blockTabCount, static_cast<std::uint32_t>(kMaxBlockTabs));
}

TEST_F(CommandsTest, APageWithoutAQuoteListTurnsTheActiveCellIntoOne) {
  named.clear();
  AddCell("kline", Attr(VIEW_KLINE, kSh600000()));
  Activate("kline");
  // 61+Enter: market 0's category-1 block, sorted by 幅度%.
  frame->ExecuteCommand(22);
  TMultiViewChild* list = page->activeCell;
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->attr.kind, VIEW_REPORT);
  EXPECT_EQ(list->attr.currentBlock, 3u);
  ASSERT_GE(list->attr.blockTabCount, 2u);
  EXPECT_EQ(list->attr.blockTabs[list->attr.blockTabCount - 1], 3);
  EXPECT_EQ(Posted(list->Handle(), MsgSortReportByColumn).size(), 1u);
}

TEST_F(CommandsTest, UserBlockCommandMakesMyBlockOnce) {
  StandardPage();
  Activate("report");
  ASSERT_EQ(FindBlockByName("我的板块"), nullptr);
  frame->ExecuteCommand(38);
  const BlockRecord* mine = FindBlockByName("我的板块");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(mine->kind, kBlockUser);
  EXPECT_EQ(mine->memberCount, 0);
  const BlockGroupRecord* group = FindUserBlockGroup();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(mine->group, group->id);
  ASSERT_GE(group->blockCount, 1);
  EXPECT_EQ(group->blockIds[group->blockCount - 1], mine->id);
  EXPECT_EQ(Cell("report")->attr.currentBlock, mine->id);
  // Saved: the user's block file names it.
  char text[64] = {};
  GetPrivateProfileStringA("FileInfo", "Version", "", text, sizeof text, "..\\user\\blocks.ini");
  EXPECT_STREQ(text, "1");

  // The second time the same block is shown, none is made.
  const int slots = BlockSlotCount;
  frame->ExecuteCommand(39);
  EXPECT_EQ(BlockSlotCount, slots);
  EXPECT_EQ(Cell("report")->attr.currentBlock, mine->id);
}

// ---- ShowViewOfKind ----------------------------------------------------------------------------------

TEST_F(CommandsTest, ShowViewOfKindPassesTheListAndMovesTheZoom) {
  StandardPage();
  // The trend is zoomed; the K-line is shown with a list of two instruments.
  page->ZoomCell(Cell("trend"), true);
  ProcessPendingMessages();
  Activate("report");
  const STKPTR items[2] = {kSh600000(), kSz399001()};
  const std::uint32_t list = navlist::Create(items, 2);
  VIEW_ATTR_12 attr = Attr(VIEW_KLINE, kSz399001());
  attr.SetNavListId(list);
  attr.SetNavPosition(1);
  ShowViewVariant variant;
  variant.steps[0] = ShowStep::kAddRef;
  variant.steps[1] = ShowStep::kNotify;
  variant.steps[2] = ShowStep::kActivate;
  variant.steps[3] = ShowStep::kZoom;
  variant.passAttr = true;
  EXPECT_EQ(frame->ShowViewOfKind(attr, variant), Cell("kline"));
  EXPECT_EQ(navlist::Resolve(list)->refCount, 1);
  EXPECT_EQ(dynamic_cast<TDrawView*>(Cell("kline"))->navListId, list);
  EXPECT_EQ(ActiveName(), "kline");
  const std::vector<MSG> zooms = Posted(page->Handle(), MsgCellZoom);
  ASSERT_EQ(zooms.size(), 1u);
  EXPECT_EQ(zooms[0].lParam, reinterpret_cast<LPARAM>(Cell("kline")));

  // Without passing the attributes, the list gains no reference and the view is not notified.
  Clear();
  ShowViewVariant plain;
  plain.steps[0] = ShowStep::kActivate;
  EXPECT_EQ(frame->ShowViewOfKind(attr, plain), Cell("kline"));
  EXPECT_EQ(navlist::Resolve(list)->refCount, 1);
  EXPECT_EQ(Activity(), Activities{});
}

TEST_F(CommandsTest, TrendsFollowTheFlashPreference) {
  StandardPage();
  VIEW_ATTR_12 attr = Attr(VIEW_TREND, kSh600000());
  ShowViewVariant variant;
  variant.steps[0] = ShowStep::kActivate;
  variant.flashPreference = true;
  frame->T1->SetChecked(true);
  frame->ShowViewOfKind(attr, variant);
  EXPECT_TRUE(IsFlashChart(*Cell("trend")));
  frame->ShowViewOfKind(attr, variant);   // already a flash chart
  frame->T1->SetChecked(false);
  frame->ShowViewOfKind(attr, variant);
  EXPECT_FALSE(IsFlashChart(*Cell("trend")));
  EXPECT_EQ(Activity(), (Activities{{"trend", {"N16Click", "N16Click"}}}));
}

TEST_F(CommandsTest, AQuoteListHandsItsRowsAsANewList) {
  StandardPage();
  Activate("report");
  auto* report = dynamic_cast<TReport*>(Cell("report"));
  ASSERT_GE(report->RowCount(), 1);
  const int liveBefore = navlist::LiveCount();
  // 图形切换 from the quote list: the linked trend takes the rows' list.
  frame->ExecuteCommand(36);
  EXPECT_EQ(ActiveName(), "trend");
  const std::uint32_t list = dynamic_cast<TDrawView*>(Cell("trend"))->navListId;
  ASSERT_NE(navlist::Resolve(list), nullptr);
  EXPECT_EQ(navlist::Resolve(list)->items.size(), static_cast<std::size_t>(report->RowCount()));
  EXPECT_EQ(navlist::Resolve(list)->refCount, 1);
  EXPECT_EQ(navlist::LiveCount(), liveBefore + 1);
}

}  // namespace
