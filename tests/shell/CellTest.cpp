// Cells on a page window, offscreen: construction and the new cell's view data, requester ids,
// the one-time cell initialisation, activation and what it asks of the main window, the empty
// cell's hint (pixels read back), the popup menu through the scripted presenter, closing and
// freeing, and the view base.
#include "shell/Cell.h"

#include "ShellSettingsFixture.h"
#include "FakeShellHost.h"
#include "data/Messages.h"
#include "platform/Menu.h"
#include "platform/Message.h"
#include "shell/ChildView.h"
#include "shell/ModalDialog.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"
#include "shell/SmallWindows.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedScriptedMenus;

// Records every request of the main window interface as a line of text.
class RecordingHost final : public shelltest::FakeShellHost {
 public:
  void SetInfoButtonVisible(bool v) override { Log("info", v); }
  void SetLineToolVisible(bool v) override { Log("linetool", v); }
  void SetBlockMenuVisible(bool v) override { Log("blockmenu", v); }
  void SetLineToolMenuItemVisible(bool v) override { Log("linetoolitem", v); }
  void ShowLineToolBox(bool forKLine) override { Log("linetoolbox", forKLine); }
  void SetCycleButtonsVisible(bool v) override { Log("cycles", v); }
  void SetToolGroupVisible(int group, bool v) override { Log("group" + std::to_string(group), v); }
  void RelayoutMenuBar() override { calls.push_back("relayout"); }
  void CheckPeriodItems(TMultiViewChild* view) override {
    calls.push_back("period");
    periodView = view;
  }
  void NotifyViews(int, STKPTR, int, std::intptr_t) override { calls.push_back("notify"); }
  void PostResubscribe() override { ++resubscribes; }

  std::vector<std::string> calls;
  TMultiViewChild* periodView = nullptr;
  int resubscribes = 0;

 private:
  void Log(const std::string& what, bool visible) { calls.push_back(what + (visible ? " 1" : " 0")); }
};

// A page window that keeps the cell commands posted to it.
class RecordingPage : public TMultiViewMain {
 public:
  using TMultiViewMain::TMultiViewMain;
  struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Posted> posted;
  void WndProc(TMessage& m) override {
    if (m.Msg >= MsgCellZoom && m.Msg <= MsgCellKeyRight) posted.push_back({m.Msg, m.WParam, m.LParam});
    TMultiViewMain::WndProc(m);
  }
};

// A cell that counts the view operations the page and the cell call.
class CountingCell : public TMultiViewChild {
 public:
  CountingCell(TMultiViewMain* page, MVCDATA_12* data = nullptr) : TMultiViewChild(page, data, nullptr, nullptr) {}
  void InitView() override { ++inits; }
  void ViewActivated() override { ++activated; }
  void ViewDeactivated() override { ++deactivated; }
  int inits = 0;
  int activated = 0;
  int deactivated = 0;
};

class CellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedColor = ColorTable[0];
    ColorTable[0] = kBackground;
    previousHost = SetShellHost(&host);
    TMultiViewChild::ResetRequesterIdsForTest();
    page = new RecordingPage(nullptr);
    page->SetBounds(0, 0, 600, 400);
    page->Show();
  }
  void TearDown() override {
    // The page frees its cells; what the cells made for themselves is the page owner's.
    std::vector<std::pair<EArray<VIEW_ATTR_12>*, MVCDATA_12*>> made;
    for (int i = 0; i < page->cells.GetSize(); ++i) made.emplace_back(page->cells[i]->history, page->cells[i]->viewData);
    TComponent::Free(page);
    for (auto& [history, data] : made) {
      delete history;
      if (data != given) delete data;
    }
    ProcessPendingMessages();
    SetShellHost(previousHost);
    ColorTable[0] = savedColor;
  }

  CountingCell* NewCell(int kind = VIEW_NONE) {
    auto* cell = new CountingCell(page);
    cell->attr.kind = static_cast<ViewKind>(kind);
    return cell;
  }

  static constexpr COLORREF kBackground = RGB(10, 40, 90);
  static constexpr COLORREF kInk = RGB(245, 215, 165);   // the bitwise inverse

  shelltest::ShellSettings settings;
  RecordingHost host;
  IShellHost* previousHost = nullptr;
  COLORREF savedColor = 0;
  RecordingPage* page = nullptr;
  MVCDATA_12* given = nullptr;   // view data a test passed (it frees it)
};

TEST_F(CellTest, RequesterIdsStartAtOneAndStepBySixteen) {
  EXPECT_EQ(TMultiViewChild::NextRequesterId(), 1);
  EXPECT_EQ(NewCell()->requesterId, 1);
  EXPECT_EQ(NewCell()->requesterId, 17);
  EXPECT_EQ(NewCell()->requesterId, 33);
  EXPECT_EQ(TMultiViewChild::NextRequesterId(), 49);
}

TEST_F(CellTest, ANewCellIsAnEmptyVisibleChildOfThePageWithItsZoomStrip) {
  CountingCell* cell = NewCell();
  EXPECT_EQ(cell->attr.kind, VIEW_NONE);
  EXPECT_EQ(cell->page, page);
  EXPECT_EQ(cell->Parent(), page);
  EXPECT_TRUE(cell->Visible());
  EXPECT_FALSE(cell->active || cell->zoomed || cell->initialised || cell->hoverTracking);
  ASSERT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(page->cells[0], cell);
  ASSERT_NE(cell->history, nullptr);
  EXPECT_EQ(cell->history->GetSize(), 0);
  EXPECT_EQ(cell->history->GetGrowBy(), 20);
  ASSERT_NE(cell->cmdBox, nullptr);
  EXPECT_EQ(cell->cmdBox->Count(), 1);
  EXPECT_EQ(cell->cmdBox->codes[0], 1);
  EXPECT_EQ(cell->cmdBox->background, kBackground);
  EXPECT_EQ(cell->PopupMenu(), cell->MVCPM1);

  // Moving or sizing keeps the strip one pixel inside the top right corner.
  cell->SetBounds(10, 20, 200, 100);
  RECT strip{};
  GetWindowRect(cell->cmdBox->handle, &strip);
  POINT corner{strip.left, strip.top};
  ScreenToClient(cell->Handle(), &corner);
  EXPECT_EQ(corner.x, 200 - 1 - 16);
  EXPECT_EQ(corner.y, 1);
}

TEST_F(CellTest, ANewCellFillsItsViewDataFromTheDefaults) {
  settings.SetUi("InfoVisible", "0");
  settings.SetUi("MainGraph", "K, MA ,VOL,BOLL,,ABCDEFGHIJKLMNOPQR");
  shelltest::ScriptedIndicatorCatalog catalog({{"K", 2}, {"MA", 1}, {"BOLL", 1}, {"VOL", 0}, {"ABCDEFGHIJKLMNO", 1}});
  shelltest::ScopedIndicatorCatalog installed(&catalog);
  CountingCell* cell = NewCell();
  const MVCDATA_12& data = *cell->viewData;

  VIEW_ATTR_12 report;
  DefaultViewAttr(VIEW_REPORT, &report);
  EXPECT_EQ(data.blockTabCount, report.blockTabCount);
  EXPECT_EQ(data.blockTabs[0], static_cast<std::int16_t>(report.blockTabs[0]));
  EXPECT_EQ(data.columnCount, report.columnCount);
  EXPECT_EQ(std::memcmp(data.columnIds, report.columnIds, sizeof data.columnIds), 0);
  EXPECT_EQ(data.currentBlock, 0u);
  EXPECT_EQ(data.sortColumn, 0u);
  EXPECT_EQ(data.trendPaneCount, 2u);
  VIEW_ATTR_12 kline;
  DefaultViewAttr(VIEW_KLINE, &kline);
  EXPECT_EQ(data.klinePaneCount, kline.paneCount);
  EXPECT_EQ(std::memcmp(data.paneIndicators, kline.paneIndicators, sizeof data.paneIndicators), 0);
  EXPECT_EQ(std::memcmp(data.detailItems, kline.detailItems, sizeof data.detailItems), 0);
  EXPECT_EQ(data.propertyFlags, kline.propertyFlags);
  EXPECT_EQ(data.linkFlag, 0);
  EXPECT_EQ(data.sidePanelShown, 0);
  EXPECT_FALSE(cell->linkFlag);
  // The overlay and parameter markers of the record's own defaults stay.
  EXPECT_EQ(data.overlays[0].market, 255);

  // Over the main chart: placement 1 only, the first name (the main chart's) skipped, names
  // trimmed and cut to 15 bytes; the rest of the slots empty.
  std::vector<std::string> over;
  for (const auto& name : data.overIndicators) over.emplace_back(name);
  EXPECT_EQ(over, (std::vector<std::string>{"MA", "BOLL", "ABCDEFGHIJKLMNO", "", "", "", "", ""}));
}

TEST_F(CellTest, OverMainIndicatorsTakeAtMostEightSlotsAndCutNamesOnACharacterBoundary) {
  struct Case {
    const char* mainGraph;
    std::vector<std::string> over;
  };
  // 14 ASCII bytes and a GBK character make 16 bytes: cut to 15, half the character would stay.
  const Case cases[] = {
      {"MA,BOLL", {"BOLL"}},   // the first name is skipped even when it could go over the chart
      {"K,P1,P2,P3,P4,P5,P6,P7,P8,P9,P10", {"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8"}},
      {"K,VOL,P1,,P2", {"P1", "P2"}},
      {"K,ABCDEFGHIJKLMN中", {"ABCDEFGHIJKLMN"}},
      {"K", {}},
  };
  shelltest::ScriptedIndicatorCatalog catalog({{"K", 2}, {"MA", 1}, {"BOLL", 1}, {"VOL", 0}, {"P1", 1}, {"P2", 1},
                                               {"P3", 1}, {"P4", 1}, {"P5", 1}, {"P6", 1}, {"P7", 1}, {"P8", 1},
                                               {"P9", 1}, {"P10", 1}, {"ABCDEFGHIJKLMN", 1}});
  shelltest::ScopedIndicatorCatalog installed(&catalog);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mainGraph);
    settings.SetUi("MainGraph", c.mainGraph);
    CountingCell* cell = NewCell();
    std::vector<std::string> over;
    for (const auto& name : cell->viewData->overIndicators) {
      if (name[0] != '\0') over.emplace_back(name);
    }
    EXPECT_EQ(over, c.over);
  }
}

TEST_F(CellTest, SidePanelFollowsInfoVisibleAndGivenViewDataIsKept) {
  struct Case {
    const char* infoVisible;   // null: absent
    int shown;
  };
  for (const Case& c : {Case{nullptr, 1}, Case{"0", 0}, Case{"7", 1}}) {
    settings.SetUi("InfoVisible", c.infoVisible);
    EXPECT_EQ(NewCell()->viewData->sidePanelShown, c.shown) << (c.infoVisible ? c.infoVisible : "(absent)");
  }
  given = new MVCDATA_12();
  given->linkFlag = 1;
  given->trendPaneCount = 4;
  auto* cell = new CountingCell(page, given);
  EXPECT_EQ(cell->viewData, given);
  EXPECT_EQ(given->trendPaneCount, 4u);   // not refilled
  EXPECT_TRUE(cell->linkFlag);
  EArray<VIEW_ATTR_12>* history = cell->history;
  TComponent::Free(cell);
  delete history;
  delete given;
  given = nullptr;
}

TEST_F(CellTest, OnlyTheFirstCellInitInitialisesAndResubscribes) {
  CountingCell* cell = NewCell();
  CountingCell* other = NewCell();
  SendMessageA(cell->Handle(), MsgCellInit, 0, 0);
  SendMessageA(cell->Handle(), MsgCellInit, 0, 0);
  PostMessageA(cell->Handle(), MsgCellInit, 0, 0);
  ProcessPendingMessages();
  EXPECT_TRUE(cell->initialised);
  EXPECT_EQ(cell->inits, 1);
  EXPECT_EQ(host.resubscribes, 1);
  EXPECT_FALSE(other->initialised);
  EXPECT_EQ(other->inits, 0);
}

TEST_F(CellTest, EmptyCellHintWrapsWithinItsBoxAndIsFramedFivePixelsOut) {
  // The box's right edge is 150, or the width - 30 for cells up to 180 px wide. The text wraps
  // inside it, the measured box ends at its widest line, and the frame stands 5 px outside: so
  // the frame's right column lies within one glyph (12 px) left of edge + 4, never right of it.
  struct Case {
    int width;
    int edge;
  };
  for (const Case& c : {Case{100, 70}, Case{120, 90}, Case{180, 150}, Case{181, 150}, Case{400, 150}}) {
    SCOPED_TRACE(c.width);
    CountingCell* cell = NewCell();
    cell->SetBounds(0, 0, c.width, 200);
    UpdateWindow(cell->Handle());
    HDC dc = GetDC(cell->Handle());
    const auto ink = [dc](int x, int y) { return GetPixel(dc, x, y) == kInk; };
    // The frame's top line starts at 10, 5 px above the box.
    EXPECT_FALSE(ink(10, 9));
    EXPECT_TRUE(ink(10, 10));
    int frameRight = 10;
    while (ink(frameRight + 1, 10)) ++frameRight;
    EXPECT_LE(frameRight, c.edge + 4);
    EXPECT_GT(frameRight, c.edge + 4 - 12);
    int frameBottom = 10;
    while (ink(frameRight, frameBottom + 1)) ++frameBottom;
    EXPECT_GT(frameBottom, 40 + 5) << "the hint wraps onto several lines";
    EXPECT_TRUE(ink(10, frameBottom));
    // Nothing of the hint right of the frame (the strip in the corner aside).
    for (int y = 16; y < 200; ++y) {
      for (int x = frameRight + 1; x < c.width; ++x) ASSERT_EQ(GetPixel(dc, x, y), kBackground) << x << "," << y;
    }
    ReleaseDC(cell->Handle(), dc);
  }
}

TEST_F(CellTest, ClickingTheActiveCellAgainActivatesNothingAndChangesNoTool) {
  CountingCell* a = NewCell(VIEW_REPORT);
  CountingCell* b = NewCell(VIEW_KLINE);
  SendMessageA(a->Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(page->activeCell, a);
  EXPECT_TRUE(a->active);
  EXPECT_EQ(a->activated, 1);
  EXPECT_FALSE(host.calls.empty());

  host.calls.clear();
  SendMessageA(a->Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(a->activated, 1);
  EXPECT_EQ(a->deactivated, 0);
  EXPECT_TRUE(host.calls.empty());

  SendMessageA(b->Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(page->activeCell, b);
  EXPECT_FALSE(a->active);
  EXPECT_TRUE(b->active);
  EXPECT_EQ(a->deactivated, 1);
  EXPECT_EQ(b->activated, 1);
}

TEST_F(CellTest, ActivationAdaptsTheMainWindowToTheViewKind) {
  struct Case {
    int kind;
    bool info, kline, report;
  };
  const Case cases[] = {
      {VIEW_NONE, false, false, false},    {VIEW_TREND, true, false, false},   {VIEW_KLINE, true, true, false},
      {VIEW_INTESORT, false, false, false}, {VIEW_REPORT, false, false, true}, {VIEW_NEWS, false, false, false},
      {VIEW_F10, false, false, false},     {VIEW_NOTE, false, false, false},
  };
  const auto flag = [](const char* name, bool on) { return std::string(name) + (on ? " 1" : " 0"); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    CountingCell* cell = NewCell(c.kind);
    host.calls.clear();
    host.periodView = nullptr;
    cell->Activate();
    std::vector<std::string> expected = {
        flag("info", c.info),        flag("linetool", c.kline),    flag("blockmenu", c.report),
        flag("linetoolitem", c.kline), flag("linetoolbox", c.kline), flag("cycles", c.kline),
        flag("group0", c.kline),     flag("group3", c.report),     flag("group2", c.kline),
        "relayout",
    };
    if (c.kline) expected.push_back("period");
    EXPECT_EQ(host.calls, expected);
    EXPECT_EQ(host.periodView, c.kline ? cell : nullptr);
  }
}

TEST_F(CellTest, ActivatingACellLeavesAnOpenModalDialogCounted) {
  CountingCell* a = NewCell(VIEW_KLINE);
  CountingCell* b = NewCell(VIEW_REPORT);
  ModalDialogScope dialog;
  a->Activate();
  EXPECT_TRUE(ModalDialogOpen());
  a->Activate();   // already active: the focus path
  EXPECT_TRUE(ModalDialogOpen());
  b->Activate();
  EXPECT_EQ(ModalDialogDepth(), 1);
}

TEST_F(CellTest, MouseTrackingIsAskedOnceUntilThePointerLeaves) {
  CountingCell* cell = NewCell();
  SendMessageA(cell->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_TRUE(cell->hoverTracking);
  SendMessageA(cell->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(cell->hoverTracking);
}

TEST_F(CellTest, TheHiddenZoomItemZoomsOrRestores) {
  CountingCell* cell = NewCell();
  EXPECT_FALSE(cell->NMVCZoom->Visible());
  cell->NMVCZoom->Click();
  cell->zoomed = true;
  cell->NMVCZoom->Click();
  ProcessPendingMessages();
  ASSERT_EQ(page->posted.size(), 2u);
  EXPECT_EQ(page->posted[0].message, MsgCellZoom);
  EXPECT_EQ(page->posted[1].message, MsgCellRestore);
  EXPECT_EQ(page->posted[1].wParam, 0u);
  EXPECT_EQ(page->posted[1].lParam, reinterpret_cast<LPARAM>(cell));
}

TEST_F(CellTest, ThePopupMenuShowsItsItemsAndEachPostsItsCellCommand) {
  struct Case {
    const char* path;
    UINT message;
  };
  const Case cases[] = {
      {"NMVCShift/NMVCReport", MsgCellShowReport}, {"NMVCShift/NMVCTick", MsgCellShowFlash},
      {"NMVCShift/NMVCMin", MsgCellShowTrend},     {"NMVCShift/NMVCDay", MsgCellShowKLine},
      {"NMVCShift/NMVCBG", MsgCellShowF10},        {"NMVCShift/NMVCNEWS", MsgCellShowNews},
      {"NMVCSplit/NHMVCSplit", MsgCellSplitHorz},  {"NMVCSplit/NVMVCSplit", MsgCellSplitVert},
      {"NMVCClose", MsgCellClose},
  };
  CountingCell* cell = NewCell();
  ScopedScriptedMenus script;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    page->posted.clear();
    script->Choose(c.path);
    cell->MVCPM1->Popup(0, 0);
    ProcessPendingMessages();
    ASSERT_EQ(page->posted.size(), 1u);
    EXPECT_EQ(page->posted[0].message, c.message);
    EXPECT_EQ(page->posted[0].wParam, 0u);
    EXPECT_EQ(page->posted[0].lParam, reinterpret_cast<LPARAM>(cell));
  }
  EXPECT_TRUE(script->Misses().empty());

  const auto captions = [](const std::vector<zuvo::platform::ShownMenuItem>& items) {
    std::vector<std::string> texts;
    for (const auto& item : items) texts.push_back(item.caption + (item.visible ? "" : " (hidden)"));
    return texts;
  };
  const auto shown = script->ShownMenus();
  ASSERT_FALSE(shown.empty());
  ASSERT_EQ(shown[0].levels.size(), 2u);
  EXPECT_EQ(captions(shown[0].levels[0].items),
            (std::vector<std::string>{"变换画面(&P)", "-", "放大 (hidden)", "切分窗口(&D)", "关闭窗口      Ctrl+F4"}));
  EXPECT_EQ(captions(shown[0].levels[1].items),
            (std::vector<std::string>{"报价画面(&P)", "-", "闪电图(&T)", "分时图(&M)", "K线图(&K)", "-", "背景资料(&B)",
                                      "新闻画面(&N)"}));
  const auto split = shown[shown.size() - 2].levels;   // the last split item's run
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(captions(split[1].items), (std::vector<std::string>{"横切(&H)", "竖切(&V)"}));

  // A zoomed cell's menu offers to restore.
  cell->zoomed = true;
  script->Cancel();
  cell->MVCPM1->Popup(0, 0);
  EXPECT_EQ(script->ShownMenus().back().levels[0].items[2].caption, "还原");
}

TEST_F(CellTest, FreeingACellKeepsTheOthersInOrder) {
  CountingCell* a = NewCell();
  CountingCell* b = NewCell();
  CountingCell* c = NewCell();
  CountingCell* d = NewCell();
  b->Activate();
  EArray<VIEW_ATTR_12>* history = b->history;
  MVCDATA_12* data = b->viewData;
  TComponent::Free(b);
  delete history;
  delete data;
  ASSERT_EQ(page->cells.GetSize(), 3);
  EXPECT_EQ(page->cells[0], a);
  EXPECT_EQ(page->cells[1], c);
  EXPECT_EQ(page->cells[2], d);
  EXPECT_EQ(page->activeCell, nullptr);
}

TEST_F(CellTest, ClosingFreesTheStripAndTheCell) {
  CountingCell* cell = NewCell();
  TCloseAction action = caHide;
  cell->FormClose(cell, action);
  EXPECT_EQ(action, caFree);
  EXPECT_EQ(cell->cmdBox, nullptr);
  // Sizing without a strip is harmless.
  cell->SetBounds(0, 0, 50, 50);
  cell->ViewApplyColors();
}

TEST_F(CellTest, ApplyingColorsGivesTheStripTheSchemeBackground) {
  CountingCell* cell = NewCell();
  ColorTable[0] = RGB(1, 2, 3);
  cell->ViewApplyColors();
  EXPECT_EQ(cell->cmdBox->background, RGB(1, 2, 3));
}

// ---- The view base ------------------------------------------------------------------------

class PlainView : public TChildView {
 public:
  explicit PlainView(TMultiViewMain* page) : TChildView(page, nullptr, nullptr, nullptr, nullptr) {}
};

TEST_F(CellTest, AViewHasNoCellMenuAStepOfOneAndRebuildsTheSharedFonts) {
  const FontRecord saved = FontTable[2];
  FontTable[2] = FontRecord{1, "Arial", -14};
  auto* view = new PlainView(page);
  EXPECT_EQ(view->PopupMenu(), nullptr);
  EXPECT_EQ(view->textStep, 1);
  EXPECT_EQ(view->requesterId, 1);
  HFONT first = SharedViewFont(0);
  ASSERT_NE(first, nullptr);
  LOGFONTA font{};
  ASSERT_NE(GetObjectA(first, sizeof font, &font), 0);
  EXPECT_EQ(font.lfHeight, -14);
  EXPECT_EQ(font.lfWeight, 700);
  EXPECT_STREQ(font.lfFaceName, "Arial");
  EXPECT_NE(SharedViewFont(1), nullptr);
  EXPECT_NE(SharedViewFont(2), nullptr);
  EXPECT_EQ(SharedViewFont(3), nullptr);

  TCloseAction action = caHide;
  view->FormClose(view, action);
  EXPECT_EQ(action, caFree);
  EXPECT_EQ(view->cmdBox, nullptr);
  FontTable[2] = saved;
}

}  // namespace
