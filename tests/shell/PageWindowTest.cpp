// The page window offscreen with the stand-in views: frames read back as pixels, divider drags
// through mouse messages with the XOR overlay, the cell commands (splits and their refusals,
// zoom, close, keys), opening pages of every version and by every mode (LASTPAGE.DAT, the
// default page, unreadable pages), and saving: auto-save and the K-line view state written
// from the live view.
#include "shell/PageWindow.h"

#include "FakeShellHost.h"
#include "PageFileWriter.h"
#include "ShellSettingsFixture.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "shell/Cell.h"
#include "shell/PageFile.h"
#include "shell/SmallWindows.h"
#include "shell/SplitTree.h"
#include "shell/ViewFactory.h"
#include "shell/ViewState.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace pagetest;
using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedScriptedMessageBoxes;

namespace {

class CountingShellHost final : public shelltest::FakeShellHost {
 public:
  void PostResubscribe() override { ++resubscribes; }
  int resubscribes = 0;
};

class TestPageHost final : public IPageHost {
 public:
  bool AutoSavePage() override { return autoSave; }
  TWinControl* OverlayParent() override { return parent; }
  void ActivateMainWindow() override { ++activations; }
  IPageSaveUi* PageSaveUi() override { return nullptr; }
  bool autoSave = false;
  TWinControl* parent = nullptr;
  int activations = 0;
};

LPARAM Point(int x, int y) { return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y))); }

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return c;
}

struct Bounds {
  int left, top, width, height;
  bool operator==(const Bounds&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Bounds& b) {
  return out << "(" << b.left << "," << b.top << " " << b.width << "x" << b.height << ")";
}
Bounds BoundsOf(const TControl* c) { return {c->Left(), c->Top(), c->Width(), c->Height()}; }

VIEW_ATTR_12 AttrOf(ViewKind kind) {
  VIEW_ATTR_12 a;
  DefaultViewAttr(kind, &a);
  return a;
}

class PageWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i : {0, 34, 35}) saved[i] = ColorTable[i];
    ColorTable[0] = kBackground;
    ColorTable[34] = kFrame;
    ColorTable[35] = kActiveFrame;
    previousShell = SetShellHost(&shell);
    previousPage = SetPageHost(&host);
    main = NewForm<TForm>(nullptr);
    main->SetClientWidth(640);
    main->SetClientHeight(480);
    main->Show();
    host.parent = main;
  }
  void TearDown() override {
    if (page != nullptr) TComponent::Free(page);
    TComponent::Free(main);   // the overlay goes with it
    ProcessPendingMessages();
    EXPECT_EQ(TranspWnd, nullptr);
    SetPageHost(previousPage);
    SetShellHost(previousShell);
    for (int i : {0, 34, 35}) ColorTable[i] = saved[i];
  }

  TMultiViewMain* Open(PageOpenMode mode, const std::string& path = "", int width = 400, int height = 300) {
    page = new TMultiViewMain(main, mode, path);
    page->SetParent(main);
    page->SetBounds(0, 0, width, height);
    page->Show();
    ProcessPendingMessages();
    return page;
  }
  TMultiViewChild* Cell(int i) const { return page->cells[i]; }
  LRESULT Send(UINT message, TMultiViewChild* cell) {
    return SendMessageA(page->Handle(), message, 0, reinterpret_cast<LPARAM>(cell));
  }
  std::string CfgFile(const char* name) const { return (settings.install().cfg() / name).string(); }
  std::string UserPage(const char* name) const { return (settings.install().user() / name).string(); }

  static constexpr COLORREF kBackground = RGB(10, 40, 90);
  static constexpr COLORREF kFrame = RGB(200, 30, 30);
  static constexpr COLORREF kActiveFrame = RGB(30, 200, 30);

  shelltest::ShellSettings settings;
  COLORREF saved[64] = {};
  CountingShellHost shell;
  TestPageHost host;
  IShellHost* previousShell = nullptr;
  IPageHost* previousPage = nullptr;
  TForm* main = nullptr;
  TMultiViewMain* page = nullptr;
};

// ---- Frames ---------------------------------------------------------------------------------------

TEST_F(PageWindowTest, FramesFollowTheNodesAndTheActiveCell) {
  Open(PAGE_OPEN_EMPTY);
  ASSERT_EQ(page->cells.GetSize(), 1);
  Send(MsgCellSplitVert, Cell(0));
  ProcessPendingMessages();
  ASSERT_EQ(page->cells.GetSize(), 2);
  EXPECT_EQ(page->activeCell, Cell(0));   // the old view stays active
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 195, 295}));
  EXPECT_EQ(BoundsOf(Cell(1)), (Bounds{202, 2, 195, 295}));

  HWND w = page->Handle();
  // Left node (0,0 200x300) active: two frames; right node (200,0 200x300): one.
  const auto check = [&](const char* when, int activeLeft) {
    SCOPED_TRACE(when);
    const int a = activeLeft ? 0 : 200;   // the active node's left
    const int b = activeLeft ? 200 : 0;
    for (int x : {a, a + 1, a + 197, a + 198}) EXPECT_EQ(PixelOf(w, x, 150), kActiveFrame) << x;
    for (int y : {0, 1, 297, 298}) EXPECT_EQ(PixelOf(w, a + 100, y), kActiveFrame) << y;
    EXPECT_EQ(PixelOf(w, a + 199, 150), kBackground);
    EXPECT_EQ(PixelOf(w, a + 100, 299), kBackground);
    for (int x : {b, b + 198}) EXPECT_EQ(PixelOf(w, x, 150), kFrame) << x;
    for (int y : {0, 298}) EXPECT_EQ(PixelOf(w, b + 100, y), kFrame) << y;
    for (int x : {b + 1, b + 197, b + 199}) EXPECT_EQ(PixelOf(w, x, 150), kBackground) << x;
  };
  check("painted", 1);
  // Drawn at once on activation, then the same after a repaint.
  Cell(1)->Activate();
  check("activated", 0);
  page->Invalidate();
  ProcessPendingMessages();
  check("repainted", 0);
}

TEST_F(PageWindowTest, ZoomHidesTheOthersSwapsTheIconAndFramesTheWholePage) {
  Open(PAGE_OPEN_EMPTY);
  Send(MsgCellSplitHorz, Cell(0));
  ASSERT_EQ(page->cells.GetSize(), 2);
  TMultiViewChild* zoomed = Cell(1);
  ASSERT_NE(zoomed->cmdBox, nullptr);
  EXPECT_EQ(zoomed->cmdBox->codes[0], 1);
  const int before = shell.resubscribes;

  Send(MsgCellZoom, zoomed);
  ProcessPendingMessages();
  EXPECT_EQ(page->zoomedCell, zoomed);
  EXPECT_EQ(page->activeCell, zoomed);
  EXPECT_TRUE(zoomed->zoomed);
  EXPECT_EQ(zoomed->cmdBox->codes[0], 2);
  EXPECT_FALSE(Cell(0)->Visible());
  EXPECT_EQ(BoundsOf(zoomed), (Bounds{2, 2, 395, 295}));
  EXPECT_GT(shell.resubscribes, before);
  EXPECT_EQ(PixelOf(page->Handle(), 0, 150), kActiveFrame);
  EXPECT_EQ(PixelOf(page->Handle(), 398, 150), kActiveFrame);
  // No divider, no split and no close while zoomed.
  SendMessageA(page->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(200, 149));
  EXPECT_FALSE(page->Tree().Dragging());
  Send(MsgCellSplitVert, zoomed);
  Send(MsgCellClose, zoomed);
  EXPECT_EQ(page->cells.GetSize(), 2);

  Send(MsgCellRestore, zoomed);
  ProcessPendingMessages();
  EXPECT_EQ(page->zoomedCell, nullptr);
  EXPECT_FALSE(zoomed->zoomed);
  EXPECT_EQ(zoomed->cmdBox->codes[0], 1);
  EXPECT_TRUE(Cell(0)->Visible());
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 395, 145}));
  EXPECT_EQ(BoundsOf(zoomed), (Bounds{2, 152, 395, 145}));
}

// ---- Cell commands --------------------------------------------------------------------------------

TEST_F(PageWindowTest, SplitsAreRefusedBelowTwoMinimumCells) {
  struct Case {
    int width, height;
    UINT command;
    bool refused;
    Bounds added;
  };
  const Case cases[] = {
      {199, 300, MsgCellSplitVert, true, {}},
      {200, 300, MsgCellSplitVert, false, {102, 2, 95, 295}},
      {400, 99, MsgCellSplitHorz, true, {}},
      {400, 100, MsgCellSplitHorz, false, {2, 52, 395, 45}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    ScopedScriptedMessageBoxes boxes;
    Open(PAGE_OPEN_EMPTY, "", c.width, c.height);
    Send(c.command, Cell(0));
    ProcessPendingMessages();
    if (c.refused) {
      ASSERT_EQ(boxes->Count(), 1u);
      const auto box = boxes->Shown()[0];
      EXPECT_EQ(box.text, "已有窗口太小，无法切分。  ");
      EXPECT_EQ(box.caption, "提示");
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      EXPECT_TRUE(box.topMost);
      EXPECT_EQ(page->cells.GetSize(), 1);
    } else {
      EXPECT_EQ(boxes->Count(), 0u);
      ASSERT_EQ(page->cells.GetSize(), 2);
      EXPECT_EQ(Cell(1)->attr.kind, VIEW_NONE);
      EXPECT_EQ(BoundsOf(Cell(1)), c.added);
    }
    TComponent::Free(page);
    page = nullptr;
    ProcessPendingMessages();
  }
}

TEST_F(PageWindowTest, CloseKeepsTheOnlyCellAndMergesTheSibling) {
  Open(PAGE_OPEN_EMPTY);
  Send(MsgCellClose, Cell(0));
  EXPECT_EQ(page->cells.GetSize(), 1);
  Send(MsgCellSplitVert, Cell(0));
  ASSERT_EQ(page->cells.GetSize(), 2);
  TMultiViewChild* kept = Cell(0);
  TMultiViewChild* closing = Cell(1);
  closing->Activate();
  Send(MsgCellClose, closing);
  ProcessPendingMessages();
  ASSERT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(Cell(0), kept);
  EXPECT_EQ(page->activeCell, kept);
  EXPECT_EQ(page->Root()->first->cell, kept);
  EXPECT_EQ(BoundsOf(kept), (Bounds{2, 2, 395, 295}));
  // A command of a cell that has gone since it was posted is dropped.
  Send(MsgCellClose, closing);
  Send(MsgCellZoom, closing);
  EXPECT_EQ(page->zoomedCell, nullptr);
  // A resize lays the page out again.
  page->SetBounds(0, 0, 500, 200);
  ProcessPendingMessages();
  EXPECT_EQ(BoundsOf(kept), (Bounds{2, 2, 495, 195}));
}

TEST_F(PageWindowTest, ArrowCommandsReachTheChartsAndTheFormMessagesAreAnswered) {
  const std::string path = UserPage("keys.ppg");
  MVCDATA_12 data;
  testsupport::WriteBytes(path, PageFileBytes(12, *Split(Leaf(AttrRecord(12, AttrOf(VIEW_KLINE)), DataRecord(12, data)),
                                                        Leaf(AttrRecord(12, AttrOf(VIEW_TREND)), DataRecord(12, data)),
                                                        true, 0.5f)));
  Open(PAGE_OPEN_FILE, path);
  ASSERT_EQ(page->cells.GetSize(), 2);
  Send(MsgCellKeyLeft, Cell(0));
  Send(MsgCellKeyRight, Cell(1));
  EXPECT_TRUE(dynamic_cast<StubRecorder*>(Cell(0))->Called("FormKeyDown 37 1"));
  EXPECT_TRUE(dynamic_cast<StubRecorder*>(Cell(1))->Called("FormKeyDown 39 1"));
  EXPECT_EQ(SendMessageA(page->Handle(), WM_ERASEBKGND, 0, 0), 1);
}

// A page that records the messages reaching the form's default processing, and the key-downs
// its cells receive.
class ProbePage : public TMultiViewMain {
 public:
  using TMultiViewMain::TMultiViewMain;
  void Dispatch(TMessage& message) override {
    if (message.Msg == WM_SYSCOMMAND) defaults.push_back(message.WParam);
    TMultiViewMain::Dispatch(message);
  }
  std::vector<WPARAM> defaults;
};

TEST_F(PageWindowTest, RestoreAndMinimiseAreSwallowedAndKeysGoToTheActiveCell) {
  auto* probe = new ProbePage(main, PAGE_OPEN_EMPTY, "");
  page = probe;
  probe->SetParent(main);
  probe->SetBounds(0, 0, 400, 300);
  probe->Show();
  ProcessPendingMessages();
  for (WPARAM command : {SC_MINIMIZE, SC_RESTORE, SC_MINIMIZE | 2, SC_MAXIMIZE})
    SendMessageA(probe->Handle(), WM_SYSCOMMAND, command, 0);
  EXPECT_EQ(probe->defaults, std::vector<WPARAM>{SC_MAXIMIZE});

  std::vector<WPARAM> keys;
  TMultiViewChild* cell = Cell(0);
  ASSERT_EQ(probe->activeCell, cell);
  cell->OnKeyDown = [&keys](TObject*, WORD& key, TShiftState) { keys.push_back(key); };
  SendMessageA(probe->Handle(), WM_KEYDOWN, VK_F7, 0);
  EXPECT_TRUE(keys.empty());   // posted, not sent
  ProcessPendingMessages();
  EXPECT_EQ(keys, std::vector<WPARAM>{VK_F7});
}

TEST_F(PageWindowTest, LosingTheCaptureEndsADrag) {
  Open(PAGE_OPEN_EMPTY);
  Send(MsgCellSplitVert, Cell(0));
  HWND w = page->Handle();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(199, 150));
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(250, 150));
  ASSERT_TRUE(page->Tree().Dragging());
  SetCapture(main->Handle());
  ProcessPendingMessages();
  EXPECT_FALSE(page->Tree().Dragging());
  EXPECT_FALSE(IsWindowVisible(TranspWnd->Handle()));
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 246, 295}));
  ReleaseCapture();
}

// ---- Divider drags through the mouse --------------------------------------------------------------

TEST_F(PageWindowTest, DividerDragShowsTheSplitCursorAndXorsOverTheOverlay) {
  Open(PAGE_OPEN_EMPTY);
  Send(MsgCellSplitVert, Cell(0));
  ProcessPendingMessages();
  HWND w = page->Handle();
  ASSERT_NE(TranspWnd, nullptr);
  EXPECT_EQ(TranspWnd->Parent(), main);

  SendMessageA(w, WM_MOUSEMOVE, 0, Point(199, 280));
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHSplit));
  SendMessageA(w, WM_MOUSEMOVE, 0, Point(100, 299));
  EXPECT_EQ(GetCursor(), Screen->Cursors(crVSplit));
  SendMessageA(w, WM_MOUSEMOVE, 0, Point(100, 100));
  EXPECT_EQ(GetCursor(), Screen->Cursors(crDefault));

  const COLORREF beneath199 = PixelOf(w, 199, 280);
  const COLORREF beneath250 = PixelOf(Cell(1)->Handle(), 48, 278);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(199, 280));
  HWND overlay = TranspWnd->Handle();
  EXPECT_TRUE(IsWindowVisible(overlay));
  EXPECT_EQ(GetCapture(), w);
  EXPECT_EQ(PixelOf(overlay, 199, 280), beneath199 ^ 0xFFFFFFu);
  EXPECT_EQ(PixelOf(overlay, 250, 280), beneath250);

  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(250, 280));
  // Drawn twice at the old place: what lay beneath is back; the line is at the new place.
  EXPECT_EQ(PixelOf(overlay, 199, 280), beneath199);
  EXPECT_EQ(PixelOf(overlay, 250, 280), beneath250 ^ 0xFFFFFFu);
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 195, 295}));   // cells move at the end only
  // Beyond the right cell's minimum the divider stops at 300.
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(390, 280));
  EXPECT_EQ(page->Tree().DragX(), 299);   // the left part 300 wide

  SendMessageA(w, WM_LBUTTONUP, 0, Point(390, 280));
  ProcessPendingMessages();
  EXPECT_FALSE(IsWindowVisible(overlay));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(page->Tree().Dragging());
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 295, 295}));
  EXPECT_EQ(BoundsOf(Cell(1)), (Bounds{302, 2, 95, 295}));
}

TEST_F(PageWindowTest, DraggingThePageEdgeInwardsMakesAnEmptyCellOfTheMinimum) {
  Open(PAGE_OPEN_EMPTY);
  HWND w = page->Handle();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(0, 150));
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(-20, 150));   // outwards: nothing
  EXPECT_EQ(page->cells.GetSize(), 1);
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(30, 150));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(30, 150));
  ProcessPendingMessages();
  ASSERT_EQ(page->cells.GetSize(), 2);
  EXPECT_EQ(Cell(1)->attr.kind, VIEW_NONE);
  EXPECT_EQ(BoundsOf(Cell(1)), (Bounds{2, 2, 95, 295}));
  EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{102, 2, 295, 295}));
}

// ---- Opening ----------------------------------------------------------------------------------------

// A two-cell page (quote list | K-line) in `version`, named "Two".
std::string TwoCellPage(int version) {
  MVCDATA_12 data;
  VIEW_ATTR_12 report = AttrOf(VIEW_REPORT);
  VIEW_ATTR_12 kline = AttrOf(VIEW_KLINE);
  return PageFileBytes(version,
                       *Split(Leaf(AttrRecord(version, report), DataRecord(version, data)),
                              Leaf(AttrRecord(version, kline), DataRecord(version, data)), true, 0.25f),
                       "Two");
}

TEST_F(PageWindowTest, APageOfEveryVersionOpensAndSavesBackAsVersion12) {
  for (int version : {5, 7, 8, 9, 10, 11, 12}) {
    SCOPED_TRACE(version);
    const std::string path = UserPage("every.ppg");
    testsupport::WriteBytes(path, TwoCellPage(version));
    Open(PAGE_OPEN_FILE, path);
    ASSERT_EQ(page->cells.GetSize(), 2);
    EXPECT_EQ(Cell(0)->attr.kind, VIEW_REPORT);
    EXPECT_EQ(Cell(1)->attr.kind, VIEW_KLINE);
    EXPECT_EQ(page->activeCell, Cell(0));
    EXPECT_EQ(page->pagePath, zuvo::platform::gbk::Upper(path));
    EXPECT_EQ(BoundsOf(Cell(0)), (Bounds{2, 2, 95, 295}));

    EXPECT_EQ(page->SavePage(kPageSaveNormal), PageSaveResult::kSaved);
    const std::string saved = testsupport::ReadBytes(path);
    EXPECT_EQ(ValidatePageFile(saved), 12);
    EXPECT_EQ(saved.size(), 76u + 20u + 2u * (20u + 1432u + 4128u));
    EXPECT_STREQ(saved.c_str() + 8, "Two");
    PageModel model;
    ASSERT_EQ(LoadPageFile(path, model), PageLoadResult::kLoaded);
    ASSERT_FALSE(model.top->IsLeaf());
    EXPECT_EQ(model.top->first->attr.kind, VIEW_REPORT);
    EXPECT_EQ(model.top->second->attr.kind, VIEW_KLINE);
    EXPECT_FLOAT_EQ(model.top->first->ratio, 0.25f);
    TComponent::Free(page);
    page = nullptr;
    ProcessPendingMessages();
  }
}

TEST_F(PageWindowTest, TheLastPageOrTheDefaultPageOpens) {
  MVCDATA_12 data;
  testsupport::WriteBytes(CfgFile("Default.ppg"),
                          PageFileBytes(12, *Leaf(AttrRecord(12, AttrOf(VIEW_NEWS)), DataRecord(12, data))));
  const std::string last = UserPage("last.ppg");
  testsupport::WriteBytes(last, TwoCellPage(12));
  const std::string lastPage = UserPage("LASTPAGE.DAT");
  const auto record = [](const std::string& text, std::size_t size) {
    std::string r(size, '\0');
    std::memcpy(r.data(), text.data(), std::min(text.size(), size));
    return r;
  };
  struct Case {
    const char* name;
    std::string lastPageBytes;   // empty: no LASTPAGE.DAT
    int cells;
    const char* path;
  };
  const Case cases[] = {
      {"missing", "", 1, "..\\CFG\\DEFAULT.PPG"},
      {"short", record(last, 259), 1, "..\\CFG\\DEFAULT.PPG"},
      {"names a missing file", record(UserPage("gone.ppg"), 260), 1, "..\\CFG\\DEFAULT.PPG"},
      {"names Default", record("Default", 260), 1, "..\\CFG\\DEFAULT.PPG"},
      {"whole", record(last, 260), 2, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(lastPage);
    if (!c.lastPageBytes.empty()) testsupport::WriteBytes(lastPage, c.lastPageBytes);
    Open(PAGE_OPEN_FILE);
    EXPECT_EQ(page->cells.GetSize(), c.cells);
    EXPECT_EQ(page->pagePath, c.path ? std::string(c.path) : zuvo::platform::gbk::Upper(last));
    if (c.cells == 1) {
      EXPECT_EQ(Cell(0)->attr.kind, VIEW_NEWS);
    }
    // The default page is never written.
    EXPECT_EQ(page->SavePage(kPageSaveNormal), c.cells == 1 ? PageSaveResult::kDefaultPage
                                                             : PageSaveResult::kSaved);
    TComponent::Free(page);
    page = nullptr;
    ProcessPendingMessages();
  }
  Open(PAGE_OPEN_DEFAULT, last);
  EXPECT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(page->pagePath, "..\\CFG\\DEFAULT.PPG");
}

TEST_F(PageWindowTest, AnUnreadablePageBecomesOneQuoteListNamedDefault) {
  const std::string broken = UserPage("broken.ppg");
  testsupport::WriteBytes(broken, TwoCellPage(12).substr(0, 500));
  struct Case {
    const char* name;
    PageOpenMode mode;
    std::string path;
  };
  const Case cases[] = {
      {"invalid file", PAGE_OPEN_FILE, broken},
      {"missing file, no default page", PAGE_OPEN_FILE, UserPage("gone.ppg")},
      {"no default page", PAGE_OPEN_DEFAULT, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.mode, c.path);
    ASSERT_EQ(page->cells.GetSize(), 1);
    EXPECT_EQ(Cell(0)->attr.kind, VIEW_REPORT);
    EXPECT_EQ(page->activeCell, Cell(0));
    EXPECT_EQ(page->pagePath, "Default");
    EXPECT_EQ(page->SavePage(kPageSaveNormal), PageSaveResult::kDefaultPage);
    TComponent::Free(page);
    page = nullptr;
    ProcessPendingMessages();
  }
  EXPECT_EQ(testsupport::ReadBytes(broken).size(), 500u);   // refused, left on disk
}

TEST_F(PageWindowTest, AKindWithoutAViewGivesAnEmptyCellWithoutTheStoredData) {
  VIEW_ATTR_12 odd = AttrOf(VIEW_REPORT);
  odd.kind = 1234;
  MVCDATA_12 data;
  data.arbitrageParam = 4321;
  const std::string path = UserPage("odd.ppg");
  testsupport::WriteBytes(path, PageFileBytes(12, *Leaf(AttrRecord(12, odd), DataRecord(12, data))));
  Open(PAGE_OPEN_FILE, path);
  ASSERT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(Cell(0)->attr.kind, VIEW_NONE);
  ASSERT_NE(Cell(0)->viewData, nullptr);
  EXPECT_NE(Cell(0)->viewData->arbitrageParam, 4321);
  // Saved (an empty cell is kept as one) and read back as an empty cell.
  ASSERT_EQ(page->SavePage(kPageSaveNormal), PageSaveResult::kSaved);
  page->OpenPage(path, PAGE_OPEN_FILE);
  ASSERT_EQ(page->cells.GetSize(), 1);
  EXPECT_EQ(Cell(0)->attr.kind, VIEW_NONE);
}

TEST_F(PageWindowTest, AutoSaveWritesThePageBeforeAnotherOpensAndOnClose) {
  const std::string first = UserPage("first.ppg");
  const std::string second = UserPage("second.ppg");
  testsupport::WriteBytes(first, TwoCellPage(12));
  testsupport::WriteBytes(second, TwoCellPage(12));
  const std::string before = testsupport::ReadBytes(first);
  Open(PAGE_OPEN_FILE, first);
  Send(MsgCellSplitHorz, Cell(1));
  ASSERT_EQ(page->cells.GetSize(), 3);

  // Without the check nothing is written.
  page->OpenPage(first, PAGE_OPEN_FILE);
  EXPECT_EQ(testsupport::ReadBytes(first), before);
  EXPECT_EQ(page->cells.GetSize(), 2);
  EXPECT_EQ(host.activations, 1);

  host.autoSave = true;
  Send(MsgCellSplitHorz, Cell(1));
  page->OpenPage(second, PAGE_OPEN_FILE);
  EXPECT_EQ(page->pagePath, zuvo::platform::gbk::Upper(second));
  PageModel model;
  ASSERT_EQ(LoadPageFile(first, model), PageLoadResult::kLoaded);
  ASSERT_TRUE(model.top->second && !model.top->second->IsLeaf());
  EXPECT_EQ(model.top->second->second->attr.kind, VIEW_NONE);

  Send(MsgCellSplitVert, Cell(1));
  ASSERT_EQ(page->cells.GetSize(), 3);
  page->Close();
  ProcessPendingMessages();
  page = nullptr;   // freed by its close
  ASSERT_EQ(LoadPageFile(second, model), PageLoadResult::kLoaded);
  ASSERT_FALSE(model.top->second->IsLeaf());
}

// ---- View state ------------------------------------------------------------------------------------

TEST_F(PageWindowTest, KLineStateIsWrittenFromTheLiveViewAndReadBack) {
  const int sh = settings.AddMarket("SH", "上海", {"600000", "600001", "600002", "600003", "600004", "600005",
                                                     "600006", "600007", "600008"});
  const auto stk = [&](int i) {
    return STKPTR(static_cast<unsigned char>(sh), 0, static_cast<unsigned short>(i));
  };
  VIEW_ATTR_12 attr = AttrOf(VIEW_KLINE);
  attr.instrument = stk(0);
  attr.currentBlock = 7;
  attr.paneCount = 3;
  for (int p = 0; p < 3; ++p) std::snprintf(attr.paneIndicators[p], 16, "IND%d", p);

  // Cell A: panes with parameters, reference lines and ratios, 8 overlays, side panel, link.
  MVCDATA_12 a;
  a.klinePaneCount = 3;
  std::memcpy(a.paneIndicators, attr.paneIndicators, sizeof a.paneIndicators);
  for (int p = 0; p < 3; ++p) {
    for (int k = 0; k < 16; ++k)
      for (int b = 0; b < 8; ++b) a.paneParams[p][k][b] = static_cast<std::uint8_t>(p * 50 + k * 3 + b);
    for (int j = 0; j < p + 1; ++j)
      for (int b = 0; b < 16; ++b) a.refLines[p][j][b] = static_cast<std::uint8_t>(100 + p * 20 + j * 5 + b);
    std::memset(a.refLines[p][p + 1] + 8, 0xFF, 8);
  }
  a.paneRatios[0] = 0.5f;
  a.paneRatios[1] = 0.25f;
  a.paneRatios[2] = 0.25f;
  for (int k = 0; k < 8; ++k) a.overlays[k] = stk(k + 1);
  a.overlayByte = 1;
  a.sidePanelShown = 1;
  a.linkFlag = 1;
  a.currentBlock = 7;
  a.detailItems[0] = 9;
  a.propertyFlags = 0x40;

  // Cell B: two indicators chained over the main pane.
  MVCDATA_12 b = a;
  b.overlays[0] = STKPTR();
  std::snprintf(b.overIndicators[0], 16, "OVA");
  std::snprintf(b.overIndicators[1], 16, "OVB");
  std::memset(b.overIndicators[2], 0, 16);
  for (int k = 0; k < 16; ++k) {
    std::memset(b.overParams[0][k], 0x11 + k, 8);
    std::memset(b.overParams[1][k], 0x41 + k, 8);
  }
  b.linkFlag = 0;
  b.sidePanelShown = 0;

  // Cell C: an arbitrage partner.
  MVCDATA_12 c = b;
  std::memset(c.overIndicators, 0, sizeof c.overIndicators);
  c.overlays[0] = stk(5);
  c.overlays[1] = STKPTR();
  c.arbitrage = 1;
  c.overlayByte = 2;
  c.arbitrageParam = 5;

  // The file keeps overlaid instruments as texts too; the reader resolves those.
  for (MVCDATA_12* data : {&a, &b, &c}) ConvertOverlayTexts(*data, 1);
  const std::string path = UserPage("kline.ppg");
  testsupport::WriteBytes(
      path, PageFileBytes(12, *Split(Leaf(AttrRecord(12, attr), DataRecord(12, a)),
                                     Split(Leaf(AttrRecord(12, attr), DataRecord(12, b)),
                                           Leaf(AttrRecord(12, attr), DataRecord(12, c)), false, 0.5f),
                                     true, 0.5f)));
  Open(PAGE_OPEN_FILE, path, 600, 400);
  ASSERT_EQ(page->cells.GetSize(), 3);
  // The records start over: what is saved comes from the views alone.
  for (int i = 0; i < 3; ++i) *Cell(i)->viewData = MVCDATA_12();
  ASSERT_EQ(page->SavePage(kPageSaveNormal), PageSaveResult::kSaved);

  PageModel model;
  ASSERT_EQ(LoadPageFile(path, model), PageLoadResult::kLoaded);
  const MVCDATA_12* got[3] = {&model.top->first->data, &model.top->second->first->data,
                              &model.top->second->second->data};
  const MVCDATA_12* want[3] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const MVCDATA_12& g = *got[i];
    const MVCDATA_12& e = *want[i];
    EXPECT_EQ(g.klinePaneCount, 3u);
    EXPECT_EQ(g.currentBlock, 7u);
    EXPECT_EQ(std::memcmp(g.paneIndicators, e.paneIndicators, sizeof g.paneIndicators), 0);
    for (int p = 0; p < 3; ++p) {
      EXPECT_EQ(std::memcmp(g.paneParams[p], e.paneParams[p], sizeof g.paneParams[p]), 0) << p;
      EXPECT_EQ(std::memcmp(g.refLines[p], e.refLines[p], 16 * (p + 1)), 0) << p;
      EXPECT_EQ(std::memcmp(g.refLines[p][p + 1] + 8, e.refLines[p][p + 1] + 8, 8), 0) << p;
    }
    EXPECT_EQ(std::memcmp(g.paneRatios, e.paneRatios, 3 * sizeof(float)), 0);
    EXPECT_EQ(g.sidePanelShown, e.sidePanelShown);
    EXPECT_EQ(g.linkFlag, e.linkFlag);
    EXPECT_EQ(g.detailItems[0], 9);
    EXPECT_EQ(g.propertyFlags, 0x40u);
    EXPECT_EQ(g.arbitrage, e.arbitrage);
    EXPECT_EQ(g.overlayByte, e.overlayByte);
  }
  for (int k = 0; k < 8; ++k) EXPECT_EQ(got[0]->overlays[k], a.overlays[k]) << k;
  EXPECT_EQ(got[0]->arbitrageParam, 0);
  EXPECT_EQ(got[1]->overlays[0], STKPTR());
  EXPECT_EQ(std::memcmp(got[1]->overIndicators, b.overIndicators, 3 * 16), 0);
  EXPECT_EQ(std::memcmp(got[1]->overParams, b.overParams, 2 * sizeof b.overParams[0]), 0);
  EXPECT_EQ(got[2]->overlays[0], stk(5));
  EXPECT_EQ(got[2]->overlays[1], STKPTR());
  EXPECT_EQ(got[2]->arbitrageParam, 5);
}

}  // namespace

namespace {

TEST_F(PageWindowTest, QuoteListAndTrendStateGoIntoTheViewData) {
  page = new TMultiViewMain(nullptr);
  page->SetBounds(0, 0, 400, 300);
  MVCDATA_12 data[3];
  EArray<VIEW_ATTR_12> history[3];
  TMultiViewChild* report = CreateView(VIEW_REPORT, page, nullptr, &data[0], &history[0], nullptr);
  TMultiViewChild* trend = CreateView(VIEW_TREND, page, nullptr, &data[1], &history[1], nullptr);
  auto* empty = new TMultiViewChild(page, &data[2], &history[2], nullptr);
  ASSERT_NE(report, nullptr);
  ASSERT_NE(trend, nullptr);

  VIEW_ATTR_12& a = report->attr;
  a.blockTabCount = 3;
  a.blockTabs[0] = 4;
  a.blockTabs[1] = 9;
  a.blockTabs[2] = 0x8001;
  a.currentBlock = 9;
  a.columnCount = 2;
  a.columnIds[0] = 7;
  a.columnIds[1] = 3;
  a.sortColumn = 3;
  a.fixedColumns = 1;
  a.topRowOrN = 99;
  report->linkFlag = true;
  SaveViewState(report);
  EXPECT_EQ(a.topRowOrN, dynamic_cast<TReport*>(report)->TopRow());
  EXPECT_EQ(data[0].blockTabCount, 3u);
  EXPECT_EQ(data[0].blockTabs[1], 9);
  EXPECT_EQ(data[0].blockTabs[2], static_cast<std::int16_t>(0x8001));
  EXPECT_EQ(data[0].currentBlock, 9u);
  EXPECT_EQ(data[0].columnCount, 2u);
  EXPECT_EQ(data[0].columnIds[1], 3);
  EXPECT_EQ(data[0].sortColumn, 3u);
  EXPECT_EQ(data[0].fixedColumns, 1);
  EXPECT_EQ(data[0].linkFlag, 1);
  // Counts beyond the record's slots are cut.
  a.blockTabCount = 1000;
  a.columnCount = 1000;
  SaveViewState(report);
  EXPECT_EQ(data[0].blockTabCount, 1000u);

  trend->attr.paneCount = 2;
  trend->attr.detailItems[3] = 44;
  trend->attr.propertyFlags = 0x100;
  dynamic_cast<TRendForm*>(trend)->N5Click(nullptr);   // side panel on
  SaveViewState(trend);
  EXPECT_EQ(data[1].trendPaneCount, 2u);
  EXPECT_EQ(data[1].sidePanelShown, dynamic_cast<TDrawView*>(trend)->SidePanelShown() ? 1 : 0);
  EXPECT_EQ(data[1].detailItems[3], 44);
  EXPECT_EQ(data[1].propertyFlags, 0x100u);

  unsigned char before[sizeof(MVCDATA_12)];
  std::memcpy(before, &data[2], sizeof before);
  empty->linkFlag = !empty->linkFlag;
  SaveViewState(empty);
  SaveViewState(nullptr);
  EXPECT_EQ(std::memcmp(before, &data[2], sizeof before), 0);

  TComponent::Free(page);
  page = nullptr;
  ProcessPendingMessages();
}

}  // namespace
