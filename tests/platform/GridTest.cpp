// Draw and string grids: geometry, selection and scrolling, keys, painting read back from the
// window's image, cells.
#include "platform/Grid.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;
using zuvo::platform::SimulateWheel;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);

class GridTest : public testing::Test {
 public:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(600);
    form_->SetClientHeight(400);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  template <class Grid = TDrawGrid>
  Grid* Make(int width, int height, int cols, int rows, int fixedCols = 1, int fixedRows = 1,
             TScrollStyle bars = ssNone) {
    auto* g = new Grid(form_);
    g->SetScrollBars(bars);
    g->SetBounds(0, 0, width, height);
    g->SetColCount(cols);
    g->SetRowCount(rows);
    g->SetFixedCols(fixedCols);
    g->SetFixedRows(fixedRows);
    g->SetParent(form_);
    ProcessPendingMessages();
    return g;
  }
  void Key(TWinControl* c, int key, UINT mods = 0) {
    SimulateKey(c->Handle(), key, true, mods);
    ProcessPendingMessages();
    SimulateKey(c->Handle(), key, false, mods);
    ProcessPendingMessages();
  }
  void Type(TWinControl* c, const std::string& text) {
    for (char ch : text) {
      const char one[2] = {ch, 0};
      const int key = ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch;
      SimulateKey(c->Handle(), key, true, 0, one);
      ProcessPendingMessages();
      SimulateKey(c->Handle(), key, false, 0);
      ProcessPendingMessages();
    }
  }
  static void Paint(TWinControl* c) {
    InvalidateRect(c->Handle(), nullptr, TRUE);
    UpdateWindow(c->Handle());
  }
  static COLORREF Pixel(TWinControl* c, int x, int y) {
    HDC dc = GetDC(c->Handle());
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(c->Handle(), dc);
    return colour;
  }
  static std::vector<COLORREF> Pixels(TWinControl* c) {
    std::vector<COLORREF> out;
    HDC dc = GetDC(c->Handle());
    for (int y = 0; y < c->ClientHeight(); ++y)
      for (int x = 0; x < c->ClientWidth(); ++x) out.push_back(GetPixel(dc, x, y));
    ReleaseDC(c->Handle(), dc);
    return out;
  }

 protected:
  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
};

std::tuple<int, int, int, int> R(const TRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// ---- Geometry ------------------------------------------------------------------------------------

TEST_F(GridTest, CellRectAndMouseToCellFollowWidthsLinesAndScrolling) {
  struct Probe {
    int col, row;
    std::tuple<int, int, int, int> rect;   // all 0: empty
  };
  struct Case {
    const char* name;
    int line;
    int widths[4];        // columns 0..3 (the grid has 6 columns of 50 beyond)
    int top, left;        // scroll position asked for
    std::vector<Probe> probes;
  } cases[] = {
      {"lines 1",
       1,
       {40, 50, 50, 50},
       1,
       1,
       {{0, 0, {0, 0, 40, 24}},
        {1, 1, {41, 25, 91, 49}},
        {2, 2, {92, 50, 142, 74}},
        {1, 5, {41, 125, 91, 149}},
        {1, 6, {41, 150, 91, 160}},   // the partial last row is clipped
        {1, 7, {0, 0, 0, 0}}}},
      {"no lines, mixed widths",
       0,
       {30, 10, 100, 20},
       1,
       1,
       {{0, 0, {0, 0, 30, 24}}, {1, 1, {30, 24, 40, 48}}, {2, 1, {40, 24, 140, 48}}, {3, 1, {140, 24, 160, 48}}}},
      {"scrolled",
       1,
       {40, 50, 50, 50},
       3,
       2,
       {{0, 0, {0, 0, 40, 24}},
        {1, 1, {0, 0, 0, 0}},   // scrolled out
        {2, 0, {41, 0, 91, 24}},
        {0, 3, {0, 25, 40, 49}},
        {2, 3, {41, 25, 91, 49}},
        {3, 4, {92, 50, 142, 74}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(300, 160, 10, 20);
    g->SetGridLineWidth(c.line);
    for (int i = 0; i < 4; ++i) g->SetColWidths(i, c.widths[i]);
    for (int i = 4; i < 10; ++i) g->SetColWidths(i, 50);
    g->SetTopRow(c.top);
    g->SetLeftCol(c.left);
    for (const Probe& p : c.probes) {
      SCOPED_TRACE(testing::Message() << p.col << "," << p.row);
      EXPECT_EQ(R(g->CellRect(p.col, p.row)), p.rect);
      const auto [l, t, r, b] = p.rect;
      if (r > l) {
        int col = 0, row = 0;
        g->MouseToCell(l, t, col, row);
        EXPECT_EQ(col, p.col);
        EXPECT_EQ(row, p.row);
        g->MouseToCell(r - 1, b - 1, col, row);
        EXPECT_EQ(col, p.col);
        EXPECT_EQ(row, p.row);
      }
    }
    TComponent::Free(g);
  }
}

TEST_F(GridTest, MouseToCellIsMinusOneOutsideEveryCellAndLinesBelongToTheCellBefore) {
  auto* g = Make(400, 200, 3, 3);   // 3 x (64 + 1) = 195 wide, 3 x 25 = 75 high
  int col = 0, row = 0;
  g->MouseToCell(64, 24, col, row);   // the lines after cell (0, 0)
  EXPECT_EQ(col, 0);
  EXPECT_EQ(row, 0);
  for (auto [x, y] : {std::pair{195, 10}, std::pair{10, 75}, std::pair{-1, 5}, std::pair{399, 199}}) {
    g->MouseToCell(x, y, col, row);
    EXPECT_EQ(col, -1) << x << "," << y;
    EXPECT_EQ(row, -1) << x << "," << y;
  }
}

TEST_F(GridTest, VisibleCountsCountWhollyVisibleScrollingCellsOnly) {
  struct Case {
    int height, line, rows;
    int visible;
  } cases[] = {
      {125, 1, 20, 4},   // 1 fixed + 4 rows of 25: exactly
      {124, 1, 20, 4},   // the 4th scrolling row without its line still counts
      {123, 1, 20, 3},   // the 4th scrolling row lacks a pixel
      {148, 1, 20, 4},   // the 5th scrolling row is partial
      {120, 0, 20, 4},   // no lines: 24 each
      {300, 1, 3, 2},    // fewer rows than room
      {30, 1, 20, 1},    // no room: still one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.height << "/" << c.line);
    auto* g = Make(300, c.height, 5, c.rows);
    g->SetGridLineWidth(c.line);
    EXPECT_EQ(g->VisibleRowCount(), c.visible);
    TComponent::Free(g);
  }
}

TEST_F(GridTest, TopRowAndLeftColAreHeldSoTheLastCellIsReachedAndNoFurther) {
  auto* g = Make(200, 125, 10, 20);   // 4 scrolling rows shown, 2 scrolling columns (1 + 2 x 65 = 195)
  int changes = 0;
  g->OnTopLeftChanged = [&](TObject*) { ++changes; };
  struct Case {
    int top, left;
    int wantTop, wantLeft;
  } cases[] = {{100, 100, 16, 8}, {0, 0, 1, 1}, {5, 3, 5, 3}, {-7, 8, 1, 8}};
  int expectedChanges = 0;
  int lastTop = 1, lastLeft = 1;
  for (const Case& c : cases) {
    g->SetTopRow(c.top);
    g->SetLeftCol(c.left);
    EXPECT_EQ(g->TopRow(), c.wantTop);
    EXPECT_EQ(g->LeftCol(), c.wantLeft);
    expectedChanges += (c.wantTop != lastTop) + (c.wantLeft != lastLeft);
    lastTop = c.wantTop;
    lastLeft = c.wantLeft;
  }
  EXPECT_EQ(changes, expectedChanges);
  // The last row wholly visible at the bottom.
  g->SetTopRow(100);
  const TRect last = g->CellRect(g->LeftCol(), 19);
  EXPECT_LE(last.bottom, 125);
  EXPECT_GT(last.bottom, 100);
}

TEST_F(GridTest, BadCountsAndSizesAreRefusedOrHeld) {
  auto* g = Make(300, 200, 5, 6, 1, 2);
  g->SetColCount(0);
  g->SetColCount(1);     // not above the fixed columns
  g->SetRowCount(-3);
  g->SetFixedCols(5);    // not below the count
  g->SetFixedRows(-1);
  EXPECT_EQ(g->ColCount(), 5);
  EXPECT_EQ(g->RowCount(), 6);
  EXPECT_EQ(g->FixedCols(), 1);
  EXPECT_EQ(g->FixedRows(), 2);
  g->SetColWidths(2, -5);
  g->SetColWidths(9, 70);   // outside: nothing
  g->SetRowHeights(-1, 70);
  g->SetGridLineWidth(-2);
  EXPECT_EQ(g->ColWidths(2), 0);
  EXPECT_EQ(g->ColWidths(9), 0);
  EXPECT_EQ(g->RowHeights(-1), 0);
  EXPECT_EQ(g->GridLineWidth(), 0);
  g->SetRow(1);    // a fixed row
  g->SetRow(6);    // past the end
  g->SetCol(-1);
  EXPECT_EQ(g->Row(), 2);
  EXPECT_EQ(g->Col(), 1);
  // Shrinking the counts pulls the current cell and the scroll position back.
  g->SetRowCount(20);
  g->SetRow(19);
  g->SetRowCount(4);
  EXPECT_EQ(g->Row(), 3);
  EXPECT_EQ(g->TopRow(), 2);
}

// ---- Selecting -----------------------------------------------------------------------------------

TEST_F(GridTest, SettingRowWithTheColumnScrolledOutMovesLeftColOnceAndRefusalsChangeNothing) {
  auto* g = Make(200, 125, 10, 20);
  std::vector<std::string> log;
  g->OnSelectCell = [&](TObject*, int c, int r, bool& can) {
    log.push_back("select " + std::to_string(c) + "," + std::to_string(r));
    can = r != 13;
  };
  g->OnTopLeftChanged = [&](TObject*) {
    log.push_back("topleft " + std::to_string(g->TopRow()) + "," + std::to_string(g->LeftCol()));
  };
  g->SetCol(6);   // scrolls right: column 6 last wholly visible
  EXPECT_EQ(g->LeftCol(), 5);
  g->SetLeftCol(1);
  log.clear();
  g->SetRow(10);
  EXPECT_EQ(log, (std::vector<std::string>{"select 6,10", "topleft 7,5"}));
  EXPECT_EQ(g->Row(), 10);
  EXPECT_EQ(g->TopRow(), 7);   // 10 is the last wholly visible row
  log.clear();
  g->SetRow(13);   // refused
  EXPECT_EQ(log, (std::vector<std::string>{"select 6,13"}));
  EXPECT_EQ(g->Row(), 10);
  EXPECT_EQ(g->TopRow(), 7);
  log.clear();
  g->SetRow(10);   // no change: no event
  EXPECT_TRUE(log.empty());
}

TEST_F(GridTest, KeysMoveTheCurrentCellAsATable) {
  struct Case {
    const char* name;
    int key;
    UINT mods;
    TGridOptions extra;
    int startCol, startRow, startTop;
    int col, row, top;
  } cases[] = {
      {"down", VK_DOWN, 0, 0, 2, 3, 1, 2, 4, 1},
      {"down past view", VK_DOWN, 0, 0, 2, 4, 1, 2, 5, 2},
      {"up at first", VK_UP, 0, 0, 2, 1, 1, 2, 1, 1},
      {"right", VK_RIGHT, 0, 0, 2, 3, 1, 3, 3, 1},
      {"left at fixed", VK_LEFT, 0, 0, 1, 3, 1, 1, 3, 1},
      {"page down", VK_NEXT, 0, 0, 2, 2, 1, 2, 6, 5},
      {"page down at end", VK_NEXT, 0, 0, 2, 18, 16, 2, 19, 16},
      {"page up", VK_PRIOR, 0, 0, 2, 9, 8, 2, 5, 4},
      {"home", VK_HOME, 0, 0, 4, 3, 1, 1, 3, 1},
      {"end", VK_END, 0, 0, 2, 3, 1, 9, 3, 1},
      {"ctrl home", VK_HOME, MK_CONTROL, 0, 4, 9, 8, 1, 1, 1},
      {"ctrl end", VK_END, MK_CONTROL, 0, 2, 3, 1, 9, 19, 16},
      {"row select home", VK_HOME, 0, goRowSelect, 1, 9, 8, 1, 1, 1},
      {"row select end", VK_END, 0, goRowSelect, 1, 3, 1, 1, 19, 16},
      {"row select down", VK_DOWN, 0, goRowSelect, 1, 3, 1, 1, 4, 1},
      {"tab", VK_TAB, 0, goTabs, 9, 3, 1, 1, 4, 1},
      {"tab without option", VK_TAB, 0, 0, 2, 3, 1, 2, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(200, 125, 10, 20);
    g->SetOptions(g->Options() | c.extra);
    g->SetRow(c.startRow);
    g->SetCol(c.startCol);
    g->SetTopRow(c.startTop);
    g->SetLeftCol(1);
    g->SetFocus();
    ProcessPendingMessages();
    Key(g, c.key, c.mods);
    EXPECT_EQ(g->Col(), c.col);
    EXPECT_EQ(g->Row(), c.row);
    EXPECT_EQ(g->TopRow(), c.top);
    TComponent::Free(g);
  }
}

TEST_F(GridTest, OnKeyDownMayConsumeAndTheWheelAndLeftPressSelectButRightDoesNot) {
  auto* g = Make(300, 200, 5, 20);
  g->SetFocus();
  g->OnKeyDown = [](TObject*, WORD& key, TShiftState) { if (key == VK_DOWN) key = 0; };
  Key(g, VK_DOWN);
  EXPECT_EQ(g->Row(), 1);
  EXPECT_EQ(g->Perform(WM_GETDLGCODE) & DLGC_WANTTAB, 0);
  g->SetOptions(g->Options() | goTabs);
  EXPECT_EQ(g->Perform(WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTTAB);
  SimulateWheel(g->Handle(), -120, 10, 10);
  ProcessPendingMessages();
  EXPECT_EQ(g->Row(), 2);
  SimulateWheel(g->Handle(), 120, 10, 10);
  ProcessPendingMessages();
  EXPECT_EQ(g->Row(), 1);
  // Cell (2, 3): x 130..193, y 75..98.
  SimulateMouse(g->Handle(), WM_RBUTTONDOWN, 140, 80, MK_RBUTTON);
  SimulateMouse(g->Handle(), WM_RBUTTONUP, 140, 80, 0);
  ProcessPendingMessages();
  EXPECT_EQ(g->Row(), 1);
  SimulateMouse(g->Handle(), WM_LBUTTONDOWN, 140, 80, MK_LBUTTON);
  SimulateMouse(g->Handle(), WM_LBUTTONUP, 140, 80, 0);
  ProcessPendingMessages();
  EXPECT_EQ(g->Col(), 2);
  EXPECT_EQ(g->Row(), 3);
  SimulateMouse(g->Handle(), WM_LBUTTONDOWN, 10, 80, MK_LBUTTON);   // a fixed cell: no selection
  SimulateMouse(g->Handle(), WM_LBUTTONUP, 10, 80, 0);
  ProcessPendingMessages();
  EXPECT_EQ(g->Col(), 2);
}

TEST_F(GridTest, HandlersShrinkingTheRowsNeverLeaveAVanishedRowSelectedOrPainted) {
  auto* g = Make(300, 200, 4, 30);
  g->OnSelectCell = [&](TObject*, int, int, bool&) { g->SetRowCount(5); };
  g->SetRow(20);
  EXPECT_LT(g->Row(), 5);
  g->OnSelectCell = nullptr;
  g->SetRowCount(30);
  std::vector<int> painted;
  g->OnDrawCell = [&](TObject*, int, int r, TRect, TGridDrawState) {
    painted.push_back(r);
    if (r == 2) g->SetRowCount(4);
  };
  Paint(g);
  for (int r : painted) EXPECT_LT(r, 4) << "row " << r;
}

// ---- Painting ------------------------------------------------------------------------------------

TEST_F(GridTest, WithoutDefaultDrawingCellsComeOnlyFromOnDrawCellWithLinesAndBlankInColor) {
  auto* g = Make(300, 200, 3, 4);   // cells end at x 195, y 100
  g->SetColor(kYellow);
  g->SetDefaultDrawing(false);
  std::vector<std::pair<int, int>> cells;
  g->OnDrawCell = [&](TObject*, int c, int r, TRect rect, TGridDrawState state) {
    cells.emplace_back(c, r);
    g->Canvas()->Brush()->SetColor((state & gdFixed) ? kBlue : kRed);
    g->Canvas()->FillRect(rect);
  };
  Paint(g);
  EXPECT_EQ(cells.size(), 12u);
  EXPECT_EQ(Pixel(g, 10, 10), kBlue);     // fixed
  EXPECT_EQ(Pixel(g, 100, 50), kRed);     // (1, 2)
  EXPECT_NE(Pixel(g, 64, 50), kRed);      // the line after column 0
  EXPECT_NE(Pixel(g, 64, 50), kYellow);
  EXPECT_NE(Pixel(g, 100, 74), kRed);     // the line under row 2
  EXPECT_EQ(Pixel(g, 250, 50), kYellow);  // right of the last column
  EXPECT_EQ(Pixel(g, 100, 150), kYellow); // below the last row
  EXPECT_EQ(Pixel(g, 250, 150), kYellow);
}

TEST_F(GridTest, DefaultDrawingFillsFixedNormalAndCurrentCells) {
  auto* g = Make(300, 200, 3, 4);
  g->SetColor(kYellow);
  g->SetFixedColor(kBlue);
  g->SetRow(2);
  g->SetCol(1);
  Paint(g);
  EXPECT_EQ(Pixel(g, 20, 10), kBlue);
  EXPECT_EQ(Pixel(g, 150, 60), kYellow);
  EXPECT_EQ(Pixel(g, 100, 60), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(Pixel(g, 0, 10), GetSysColor(COLOR_BTNHIGHLIGHT));   // the raised edge
}

TEST_F(GridTest, RedrawRowChangesOnlyThatRowsPixels) {
  auto* g = Make(300, 200, 3, 10);
  g->SetDefaultDrawing(false);
  TColor colour = kRed;
  g->OnDrawCell = [&](TObject*, int, int, TRect rect, TGridDrawState) {
    g->Canvas()->Brush()->SetColor(colour);
    g->Canvas()->FillRect(rect);
  };
  Paint(g);
  const std::vector<COLORREF> before = Pixels(g);
  colour = kBlue;
  g->RedrawRow(3);   // y 75..99 with its line
  const std::vector<COLORREF> after = Pixels(g);
  int changedOutside = 0, changedInside = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const std::size_t i = static_cast<std::size_t>(y * 300 + x);
      if (before[i] == after[i]) continue;
      if (y >= 75 && y < 100) ++changedInside; else ++changedOutside;
    }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_EQ(changedInside, 3 * 64 * 24);
}

TEST_F(GridTest, ScrollingByRowsLeavesTheSameImageAsAFullRepaintAndDrawsOnlyNewRows) {
  auto* g = Make(200, 190, 3, 40);   // 7 scrolling rows shown, the 8th cut
  g->SetDefaultDrawing(false);
  int drawn = 0;
  g->OnDrawCell = [&](TObject*, int c, int r, TRect rect, TGridDrawState) {
    ++drawn;
    g->Canvas()->Brush()->SetColor(RGB(r * 6, c * 80, 255 - r * 6));
    g->Canvas()->FillRect(rect);
  };
  Paint(g);
  struct Step {
    int top;
    bool partial;   // fewer cells drawn than a full paint
  } steps[] = {{2, true}, {4, true}, {3, true}, {12, false}, {11, true}, {33, false}, {32, true}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.top);
    drawn = 0;
    g->SetTopRow(step.top);
    UpdateWindow(g->Handle());
    EXPECT_EQ(drawn < 3 * 8, step.partial) << drawn;
    const std::vector<COLORREF> scrolled = Pixels(g);
    Paint(g);
    EXPECT_EQ(scrolled, Pixels(g));
  }
}

// ---- Scroll bars ---------------------------------------------------------------------------------

TEST_F(GridTest, ScrollBarsShowAsNeededAndTakeTheirRoomFromTheCells) {
  const int bw = GetSystemMetrics(SM_CXVSCROLL), bh = GetSystemMetrics(SM_CYHSCROLL);
  struct Case {
    const char* name;
    TScrollStyle style;
    int cols, rows;
    bool vert, horz;
  } cases[] = {
      {"both needed", ssBoth, 10, 30, true, true},
      {"rows only", ssBoth, 2, 30, true, false},
      {"everything fits", ssBoth, 2, 5, false, false},
      {"vertical style", ssVertical, 10, 30, true, false},
      {"horizontal style", ssHorizontal, 10, 30, false, true},
      {"none", ssNone, 10, 30, false, false},
      // 4 columns fit 260 px; the vertical bar takes that room: then the horizontal bar too.
      {"one bar brings the other", ssBoth, 4, 30, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(261, 200, c.cols, c.rows, 1, 1, c.style);
    EXPECT_EQ(g->VertScrollBar()->Visible(), c.vert);
    EXPECT_EQ(g->HorzScrollBar()->Visible(), c.horz);
    EXPECT_EQ(g->GridWidth(), 261 - (c.vert ? bw : 0));
    EXPECT_EQ(g->GridHeight(), 200 - (c.horz ? bh : 0));
    EXPECT_EQ(GetParent(g->VertScrollBar()->Handle()), g->Handle());
    if (c.vert) {
      const TRect b = g->VertScrollBar()->BoundsRect();
      EXPECT_EQ(R(b), std::make_tuple(261 - bw, 0, 261, g->GridHeight()));
      // The cells end at the bar: nothing is hit under it.
      int col = 0, row = 0;
      g->MouseToCell(261 - bw, 30, col, row);
      EXPECT_EQ(col, -1);
      // Range in rows, page the rows shown at the end, position the top row.
      g->SetTopRow(100);
      EXPECT_EQ(g->VertScrollBar()->Min(), 1);
      EXPECT_EQ(g->VertScrollBar()->Max(), c.rows - 1);
      EXPECT_EQ(g->VertScrollBar()->PageSize(), c.rows - g->TopRow());
      EXPECT_EQ(g->VertScrollBar()->Position(), g->TopRow());
      EXPECT_EQ(g->VertScrollBar()->MaxPosition(), g->TopRow());
      g->SetTopRow(3);
      EXPECT_EQ(g->VertScrollBar()->Position(), 3);
    }
    if (c.horz) {
      g->SetLeftCol(2);
      EXPECT_EQ(g->HorzScrollBar()->Position(), g->LeftCol());
      EXPECT_EQ(g->HorzScrollBar()->Max(), c.cols - 1);
    }
    TComponent::Free(g);
  }
  // Growing the grid until everything fits hides the bars again.
  auto* g = Make(200, 200, 10, 30, 1, 1, ssBoth);
  g->SetTopRow(20);
  g->SetBounds(0, 0, 700, 800);
  EXPECT_FALSE(g->VertScrollBar()->Visible());
  EXPECT_FALSE(g->HorzScrollBar()->Visible());
  EXPECT_EQ(g->TopRow(), 1);
}

TEST_F(GridTest, ScrollBarMovesTheGridWithAndWithoutThumbTracking) {
  enum Act { kLineDown, kLineUp, kPageDown, kPageUp, kThumbPress, kThumbMove, kRelease };
  struct Step {
    Act act;
    int dy;          // kThumbMove: pixels from the press
    int top;         // TopRow after the step; -1: the bar's track position
    int changes;     // OnTopLeftChanged so far
  };
  struct Case {
    const char* name;
    bool tracking;
    std::vector<Step> steps;
  } cases[] = {
      {"arrows and pages",
       false,
       {{kLineDown, 0, 2, 1}, {kLineDown, 0, 3, 2}, {kLineUp, 0, 2, 3}, {kPageDown, 0, 8, 4}, {kPageUp, 0, 2, 5},
        {kLineUp, 0, 1, 6}, {kLineUp, 0, 1, 6}}},
      {"drag without tracking", false,
       {{kThumbPress, 0, 1, 0}, {kThumbMove, 40, 1, 0}, {kThumbMove, 80, 1, 0}, {kRelease, 0, -1, 1}}},
      {"drag with tracking", true,
       {{kThumbPress, 0, 1, 0}, {kThumbMove, 40, -1, 1}, {kThumbMove, 80, -1, 2}, {kThumbMove, 80, -1, 2},
        {kRelease, 0, -1, 2}}},
      {"drag back to the start without tracking", false,
       {{kThumbPress, 0, 1, 0}, {kThumbMove, 60, 1, 0}, {kThumbMove, 0, 1, 0}, {kRelease, 0, 1, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(200, 180, 3, 60, 1, 1, ssVertical);   // 6 rows of 25 shown under the fixed one
    if (c.tracking) g->SetOptions(g->Options() | goThumbTracking);
    TScrollBar* bar = g->VertScrollBar();
    ASSERT_TRUE(bar->Visible());
    int changes = 0;
    g->OnTopLeftChanged = [&](TObject*) { ++changes; };
    HWND h = bar->Handle();
    int pressX = 0, pressY = 0, lastY = 0;
    auto centre = [&](TScrollBarPart part) {
      const TRect r = bar->PartRect(part);
      return std::pair{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    auto click = [&](TScrollBarPart part) {
      const auto [x, y] = centre(part);
      SimulateMouse(h, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
      SimulateMouse(h, WM_LBUTTONUP, x, y, 0);
      ProcessPendingMessages();
    };
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE(i);
      const int trackBefore = bar->TrackPosition();
      switch (s.act) {
        case kLineDown: click(sbpLineDown); break;
        case kLineUp: click(sbpLineUp); break;
        case kPageDown: click(sbpPageDown); break;
        case kPageUp: click(sbpPageUp); break;
        case kThumbPress:
          std::tie(pressX, pressY) = centre(sbpThumb);
          lastY = pressY;
          SimulateMouse(h, WM_LBUTTONDOWN, pressX, pressY, MK_LBUTTON);
          break;
        case kThumbMove:
          lastY = pressY + s.dy;
          SimulateMouse(h, WM_MOUSEMOVE, pressX, lastY, MK_LBUTTON);
          break;
        case kRelease: SimulateMouse(h, WM_LBUTTONUP, pressX, lastY, 0); break;
      }
      ProcessPendingMessages();
      const int want = s.top >= 0 ? s.top : (s.act == kRelease ? trackBefore : bar->TrackPosition());
      EXPECT_EQ(g->TopRow(), want);
      if (s.top < 0) {
        EXPECT_GT(g->TopRow(), 3);   // the drag really went down
      }
      EXPECT_EQ(changes, s.changes);
      if (s.act != kThumbPress && s.act != kThumbMove) {
        EXPECT_EQ(bar->Position(), g->TopRow());
      }
    }
    EXPECT_EQ(g->Row(), 1);   // scrolling leaves the current cell alone
    TComponent::Free(g);
  }
}

// ---- Column sizing and moving --------------------------------------------------------------------

TEST_F(GridTest, ColumnSizingDragsTheWidthFromNearTheRightLineInAFixedRow) {
  // Column 1 spans x 65..128, its line is x 129.
  struct Case {
    const char* name;
    int pressX, pressY, releaseX;
    int width1;   // column 1's width after the release
    int row;      // the current row after (a press on a data cell selects)
  } cases[] = {
      {"on the line", 129, 10, 159, 94, 1},
      {"3 px before", 126, 10, 100, 38, 1},
      {"3 px after", 132, 10, 142, 74, 1},
      {"4 px after is the next column", 133, 10, 163, 64, 1},
      {"past the left edge gives 0", 129, 10, 20, 0, 1},
      {"not in a data row", 129, 60, 159, 64, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(400, 200, 5, 5);
    g->SetOptions(g->Options() | goColSizing);
    SimulateMouse(g->Handle(), WM_LBUTTONDOWN, c.pressX, c.pressY, MK_LBUTTON);
    SimulateMouse(g->Handle(), WM_MOUSEMOVE, (c.pressX + c.releaseX) / 2, c.pressY, MK_LBUTTON);
    SimulateMouse(g->Handle(), WM_MOUSEMOVE, c.releaseX, c.pressY, MK_LBUTTON);
    SimulateMouse(g->Handle(), WM_LBUTTONUP, c.releaseX, c.pressY, 0);
    ProcessPendingMessages();
    EXPECT_EQ(g->ColWidths(1), c.width1);
    EXPECT_EQ(g->ColWidths(2), 64);
    EXPECT_EQ(g->Row(), c.row);
    TComponent::Free(g);
  }
}

TEST_F(GridTest, TheSizingCursorShowsOverASizingLineOnly) {
  auto* g = Make(400, 200, 5, 5);
  g->SetOptions(g->Options() | goColSizing);
  HWND w = g->Handle();
  const LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  const HCURSOR split = Screen->Cursors(crHSplit);
  struct Case {
    int x, y;
    bool sizing;
  } cases[] = {{129, 10, true}, {127, 5, true}, {100, 10, false}, {129, 60, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    const TPoint at = g->ClientToScreen(TPoint(c.x, c.y));
    SetCursorPos(at.x, at.y);
    POINT now{};
    GetCursorPos(&now);
    if (now.x != at.x || now.y != at.y) GTEST_SKIP() << "the pointer cannot be placed here";
    SetCursor(nullptr);
    SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
    EXPECT_EQ(GetCursor() == split, c.sizing);
  }
}

TEST_F(GridTest, ColumnMovingTakesWidthCellsAndCurrentColumnAlongAndRaisesOnColumnMoved) {
  // Widths 40 | 50 60 70 80: columns 2..4 start at x 41, 92, 153, 224.
  struct Case {
    const char* name;
    int pressX, releaseX;
    std::vector<std::pair<int, int>> moved;
    std::vector<int> widths;
    std::vector<std::string> texts;   // row 2, columns 0..4
    int col;                          // the current column (was 2)
  } cases[] = {
      {"right", 60, 240, {{1, 4}}, {40, 60, 70, 80, 50}, {"f", "b", "c", "d", "a"}, 1},
      {"left", 240, 60, {{4, 1}}, {40, 80, 50, 60, 70}, {"f", "d", "a", "b", "c"}, 3},
      {"onto the current one", 100, 170, {{2, 3}}, {40, 50, 70, 60, 80}, {"f", "a", "c", "b", "d"}, 3},
      {"right of the last column", 100, 380, {{2, 4}}, {40, 50, 70, 80, 60}, {"f", "a", "c", "d", "b"}, 4},
      {"dropped on itself", 60, 80, {}, {40, 50, 60, 70, 80}, {"f", "a", "b", "c", "d"}, 2},
      {"a fixed column does not move", 20, 240, {}, {40, 50, 60, 70, 80}, {"f", "a", "b", "c", "d"}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make<TStringGrid>(400, 200, 5, 5);
    g->SetOptions(g->Options() | goColMoving);
    const int widths[] = {40, 50, 60, 70, 80};
    const char* texts[] = {"f", "a", "b", "c", "d"};
    for (int i = 0; i < 5; ++i) {
      g->SetColWidths(i, widths[i]);
      g->SetCells(i, 2, texts[i]);
    }
    g->SetCol(2);
    std::vector<std::pair<int, int>> moved;
    g->OnColumnMoved = [&](TObject*, int from, int to) {
      EXPECT_EQ(g->Cells(to, 2), c.texts[static_cast<std::size_t>(to)]);   // cells moved before the event
      moved.emplace_back(from, to);
    };
    g->SetFocus();   // the press would focus it (and draw the focus rectangle)
    ProcessPendingMessages();
    Paint(g);
    const std::vector<COLORREF> before = Pixels(g);
    SimulateMouse(g->Handle(), WM_LBUTTONDOWN, c.pressX, 10, MK_LBUTTON);
    SimulateMouse(g->Handle(), WM_MOUSEMOVE, c.releaseX, 10, MK_LBUTTON);
    ProcessPendingMessages();
    const bool marked = Pixels(g) != before;
    SimulateMouse(g->Handle(), WM_LBUTTONUP, c.releaseX, 10, 0);
    ProcessPendingMessages();
    EXPECT_EQ(moved, c.moved);
    EXPECT_EQ(marked, !c.moved.empty());   // a drop mark while a move would happen
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(g->ColWidths(i), c.widths[static_cast<std::size_t>(i)]) << i;
      EXPECT_EQ(g->Cells(i, 2), c.texts[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(g->Col(), c.col);
    UpdateWindow(g->Handle());
    if (c.moved.empty()) {
      EXPECT_EQ(Pixels(g), before);   // no mark left behind
    }
    TComponent::Free(g);
  }
}

// ---- String grid ---------------------------------------------------------------------------------

TEST_F(GridTest, StringGridCellsRowsAndColsOutsideTheCountsReadEmptyAndWriteNothing) {
  auto* g = Make<TStringGrid>(300, 200, 3, 4);
  g->SetCells(1, 2, "abc");
  g->SetCells(3, 0, "x");
  g->SetCells(-1, 0, "x");
  int tag = 0;
  g->SetObjects(2, 3, &tag);
  g->SetObjects(2, 4, &tag);
  EXPECT_EQ(g->Cells(1, 2), "abc");
  EXPECT_EQ(g->Cells(3, 0), "");
  EXPECT_EQ(g->Objects(2, 3), &tag);
  EXPECT_EQ(g->Objects(2, 4), nullptr);
  EXPECT_EQ(g->Rows(4), nullptr);
  EXPECT_EQ(g->Cols(-1), nullptr);
  TStrings* row = g->Rows(2);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->Count(), 3);
  EXPECT_EQ(row->Get(1), "abc");
  g->Cols(0)->Put(2, "left");
  EXPECT_EQ(g->Cells(0, 2), "left");
  row->Clear();
  row->Add("p");
  row->Add("q");
  EXPECT_EQ(g->Cells(0, 2), "p");
  EXPECT_EQ(g->Cells(1, 2), "q");
  EXPECT_EQ(g->Cells(2, 2), "");
  // Cells survive growing and shrinking the counts where they still exist.
  g->SetColCount(6);
  EXPECT_EQ(g->Cells(1, 2), "q");
  g->SetRowCount(2);
  g->SetRowCount(4);
  EXPECT_EQ(g->Cells(1, 2), "");
}

TEST_F(GridTest, StringGridLineInsertAndDeleteShiftTheCellsAlongTheLine) {
  auto* g = Make<TStringGrid>(300, 200, 4, 5);
  int tags[4] = {};
  struct Case {
    const char* name;
    bool row;
    std::function<void(TStrings*)> edit;
    std::vector<std::string> texts;
    std::vector<int> objects;   // tag index, -1 none
  } cases[] = {
      {"row insert", true, [](TStrings* l) { l->Insert(1, "x"); }, {"a", "x", "b", "c"}, {0, -1, 1, 2}},
      {"row delete", true, [](TStrings* l) { l->Delete(1); }, {"a", "c", "d", ""}, {0, 2, 3, -1}},
      {"row insert at 0", true, [](TStrings* l) { l->Insert(0, "x"); }, {"x", "a", "b", "c"}, {-1, 0, 1, 2}},
      {"row delete last", true, [](TStrings* l) { l->Delete(3); }, {"a", "b", "c", ""}, {0, 1, 2, -1}},
      {"outside", true, [](TStrings* l) { l->Delete(4); l->Insert(-1, "x"); l->Insert(9, "x"); },
       {"a", "b", "c", "d"}, {0, 1, 2, 3}},
      {"column insert", false, [](TStrings* l) { l->Insert(2, "x"); }, {"a", "b", "x", "c"}, {0, 1, -1, 2}},
      {"column delete", false, [](TStrings* l) { l->Delete(0); }, {"b", "c", "d", "e"}, {1, 2, 3, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 0; i < 4; ++i) {   // row 2 and column 2 both read a, b, c, d
      g->SetCells(i, 2, std::string(1, static_cast<char>('a' + i)));
      g->SetObjects(i, 2, &tags[i]);
      g->SetCells(2, i, std::string(1, static_cast<char>('a' + i)));
      g->SetObjects(2, i, &tags[i]);
    }
    g->SetCells(2, 4, "e");   // the column's fifth cell
    g->SetObjects(2, 4, nullptr);
    c.edit(c.row ? g->Rows(2) : g->Cols(2));
    for (int i = 0; i < 4; ++i) {
      const int col = c.row ? i : 2, row = c.row ? 2 : i;
      EXPECT_EQ(g->Cells(col, row), c.texts[static_cast<std::size_t>(i)]) << i;
      const int tag = c.objects[static_cast<std::size_t>(i)];
      EXPECT_EQ(g->Objects(col, row), tag < 0 ? nullptr : &tags[tag]) << i;
    }
  }
}

TEST_F(GridTest, StringGridDrawsItsTextTwoPixelsIn) {
  auto* g = Make<TStringGrid>(300, 200, 3, 4);
  g->Font()->SetColor(clBlack);
  g->SetColor(clWhite);
  g->SetCells(2, 3, "WWW");
  Paint(g);
  const TRect r = g->CellRect(2, 3);
  bool darkInside = false;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF c = Pixel(g, x, y);
      if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 200) {
        darkInside = true;
        EXPECT_GE(x, r.left + 2);
        EXPECT_GE(y, r.top + 2);
      }
    }
  EXPECT_TRUE(darkInside);
}

// ---- Range selection -----------------------------------------------------------------------------

TEST_F(GridTest, RangeSelectStretchesFromTheAnchorWithShiftKeysAndDragsAndCollapsesOtherwise) {
  enum Act { kKey, kShiftKey, kPress, kShiftPress, kDrag };
  struct Step {
    Act act;
    int a, b;   // a key; or a cell's column and row
    TGridRect sel;
  };
  struct Case {
    const char* name;
    TGridOptions extra;
    std::vector<Step> steps;
  } cases[] = {
      {"shift keys",
       goRangeSelect,
       {{kShiftKey, VK_DOWN, 0, {2, 2, 2, 3}},
        {kShiftKey, VK_RIGHT, 0, {2, 2, 3, 3}},
        {kShiftKey, VK_UP, 0, {2, 2, 3, 2}},
        {kShiftKey, VK_UP, 0, {2, 1, 3, 2}},
        {kKey, VK_LEFT, 0, {2, 1, 2, 1}}}},
      {"plain key on the edge collapses", goRangeSelect,
       {{kShiftKey, VK_DOWN, 0, {2, 2, 2, 3}}, {kPress, 2, 3, {2, 3, 2, 3}}}},
      {"drag and shift press", goRangeSelect,
       {{kPress, 1, 1, {1, 1, 1, 1}},
        {kDrag, 3, 4, {1, 1, 3, 4}},
        {kShiftPress, 2, 5, {1, 1, 2, 5}},
        {kPress, 3, 3, {3, 3, 3, 3}}}},
      {"row select", goRangeSelect | goRowSelect,
       {{kShiftKey, VK_DOWN, 0, {1, 2, 4, 3}}, {kShiftKey, VK_DOWN, 0, {1, 2, 4, 4}}}},
      {"without the option", 0,
       {{kShiftKey, VK_DOWN, 0, {2, 3, 2, 3}}, {kPress, 1, 1, {1, 1, 1, 1}}, {kDrag, 3, 4, {1, 1, 1, 1}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make(400, 200, 5, 7);
    g->SetOptions((g->Options() & ~goRangeSelect) | c.extra);
    g->SetCol(2);
    g->SetRow(2);
    g->SetFocus();
    ProcessPendingMessages();
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& s = c.steps[i];
      SCOPED_TRACE(i);
      const TRect cell = g->CellRect(s.a, s.b);
      const int x = cell.left + 3, y = cell.top + 3;
      switch (s.act) {
        case kKey: Key(g, s.a); break;
        case kShiftKey: Key(g, s.a, MK_SHIFT); break;
        case kPress:
        case kShiftPress: {
          const WPARAM keys = s.act == kShiftPress ? MK_SHIFT : 0;
          SimulateMouse(g->Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON | keys);
          SimulateMouse(g->Handle(), WM_LBUTTONUP, x, y, keys);
          break;
        }
        case kDrag: {
          const TRect from = g->CellRect(g->Col(), g->Row());
          SimulateMouse(g->Handle(), WM_LBUTTONDOWN, from.left + 3, from.top + 3, MK_LBUTTON);
          SimulateMouse(g->Handle(), WM_MOUSEMOVE, (from.left + x) / 2, (from.top + y) / 2, MK_LBUTTON);
          SimulateMouse(g->Handle(), WM_MOUSEMOVE, x, y, MK_LBUTTON);
          SimulateMouse(g->Handle(), WM_LBUTTONUP, x, y, 0);
          break;
        }
      }
      ProcessPendingMessages();
      const TGridRect sel = g->Selection();
      EXPECT_EQ(std::make_tuple(sel.Left, sel.Top, sel.Right, sel.Bottom),
                std::make_tuple(s.sel.Left, s.sel.Top, s.sel.Right, s.sel.Bottom));
      // The cells drawn selected are exactly the block.
      std::vector<std::pair<int, int>> drawn;
      g->OnDrawCell = [&](TObject*, int col, int row, TRect, TGridDrawState state) {
        if (state & gdSelected) drawn.emplace_back(col, row);
      };
      Paint(g);
      g->OnDrawCell = nullptr;
      std::vector<std::pair<int, int>> want;
      for (int row = s.sel.Top; row <= s.sel.Bottom; ++row)
        for (int col = s.sel.Left; col <= s.sel.Right; ++col) want.emplace_back(col, row);
      std::sort(drawn.begin(), drawn.end(), [](auto p, auto q) { return std::tie(p.second, p.first) < std::tie(q.second, q.first); });
      EXPECT_EQ(drawn, want);
    }
    TComponent::Free(g);
  }
}

// ---- In-place editing ----------------------------------------------------------------------------

TEST_F(GridTest, HotKeyGridEditorIsAlwaysShownCommitsOnEnterAndLeavingRestoresOnEsc) {
  auto* g = Make<TStringGrid>(400, 300, 2, 81, 1, 0);
  g->SetColWidths(0, 100);
  g->SetColWidths(1, 280);
  for (int r = 0; r < 81; ++r) {
    g->SetCells(0, r, "command " + std::to_string(r));
    g->SetCells(1, r, "Ctrl+" + std::to_string(r));
  }
  std::vector<std::string> log;
  g->OnSetEditText = [&](TObject*, int c, int r, const std::string& v) {
    log.push_back(std::to_string(c) + "," + std::to_string(r) + "=" + v + " cell " + g->Cells(c, r));
  };
  g->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    if (key == VK_DOWN || key == VK_F5) log.push_back("key " + std::to_string(key));
    if (key == VK_F5) key = 0;   // consumed: the grid does nothing with it
  };
  g->OnGetEditText = [&](TObject*, int, int r, std::string& v) {
    if (r == 2) v = "<" + v + ">";
  };
  g->SetOptions(g->Options() | goEditing | goAlwaysShowEditor);
  g->SetFocus();
  ProcessPendingMessages();
  TInplaceEdit* editor = g->InplaceEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(g->EditorMode());
  EXPECT_TRUE(editor->Visible());
  EXPECT_EQ(GetFocus(), editor->Handle());
  EXPECT_EQ(R(editor->BoundsRect()), R(g->CellRect(1, 0)));
  EXPECT_EQ(editor->Text(), "Ctrl+0");

  Type(editor, "x");
  for (int i = 0; i < 2; ++i) {   // Backspace as a keyboard gives it: the key and its character
    SimulateKey(editor->Handle(), VK_BACK, true, 0, "\b");
    SimulateKey(editor->Handle(), VK_BACK, false, 0);
    ProcessPendingMessages();
  }
  Type(editor, "Q");
  EXPECT_EQ(editor->Text(), "Ctrl+Q");
  EXPECT_EQ(g->Cells(1, 0), "Ctrl+0");   // nothing committed while typing
  EXPECT_TRUE(log.empty());
  Key(editor, VK_RETURN);
  EXPECT_EQ(g->Cells(1, 0), "Ctrl+Q");
  EXPECT_EQ(log, (std::vector<std::string>{"1,0=Ctrl+Q cell Ctrl+Q"}));
  EXPECT_TRUE(editor->Visible());   // always shown
  EXPECT_EQ(GetFocus(), editor->Handle());

  log.clear();
  Type(editor, "Z");
  EXPECT_EQ(editor->Text(), "Ctrl+QZ");
  Key(editor, VK_ESCAPE);
  EXPECT_EQ(editor->Text(), "Ctrl+Q");
  EXPECT_EQ(g->Cells(1, 0), "Ctrl+Q");
  Key(editor, VK_RETURN);   // nothing changed: nothing committed
  EXPECT_TRUE(log.empty());

  // Moving to another row commits; the arrows pressed in the editor reach the grid's OnKeyDown.
  Type(editor, "W");
  Key(editor, VK_DOWN);
  EXPECT_EQ(log, (std::vector<std::string>{"key " + std::to_string(VK_DOWN), "1,0=Ctrl+QW cell Ctrl+QW"}));
  EXPECT_EQ(g->Row(), 1);
  EXPECT_EQ(R(editor->BoundsRect()), R(g->CellRect(1, 1)));
  EXPECT_EQ(editor->Text(), "Ctrl+1");
  EXPECT_EQ(GetFocus(), editor->Handle());
  Key(editor, VK_DOWN);
  EXPECT_EQ(editor->Text(), "<Ctrl+2>");   // OnGetEditText has the last word
  // A click on another cell commits too.
  log.clear();
  Type(editor, "j");
  const TRect other = g->CellRect(1, 5);
  SimulateMouse(g->Handle(), WM_LBUTTONDOWN, other.left + 5, other.top + 5, MK_LBUTTON);
  SimulateMouse(g->Handle(), WM_LBUTTONUP, other.left + 5, other.top + 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"1,2=<Ctrl+2>j cell <Ctrl+2>j"}));
  EXPECT_EQ(g->Row(), 5);
  EXPECT_EQ(editor->Text(), "Ctrl+5");
  // Scrolling the cell out of view hides the editor window; back in view shows it again.
  g->SetTopRow(40);
  EXPECT_FALSE(editor->Visible());
  EXPECT_TRUE(g->EditorMode());
  g->SetTopRow(3);
  EXPECT_TRUE(editor->Visible());
  EXPECT_EQ(R(editor->BoundsRect()), R(g->CellRect(1, 5)));
}

TEST_F(GridTest, EditorOpensOnTypingF2EnterOrAClickOnTheCurrentCell) {
  struct Case {
    const char* name;
    std::function<void(GridTest*, TStringGrid*)> open;
    std::string shown;   // the editor's text once open
  } cases[] = {
      {"typing replaces", [](GridTest* t, TStringGrid* g) { t->Type(g, "k"); }, "k"},
      {"a Chinese character typed whole",
       [](GridTest*, TStringGrid* g) {
         SimulateKey(g->Handle(), 0, true, 0, "中");
         ProcessPendingMessages();
       },
       "中"},
      {"F2 keeps", [](GridTest* t, TStringGrid* g) { t->Key(g, VK_F2); }, "old"},
      {"Enter keeps", [](GridTest* t, TStringGrid* g) { t->Key(g, VK_RETURN); }, "old"},
      {"click on the current cell",
       [](GridTest*, TStringGrid* g) {
         const TRect r = g->CellRect(2, 2);
         SimulateMouse(g->Handle(), WM_LBUTTONDOWN, r.left + 3, r.top + 3, MK_LBUTTON);
         SimulateMouse(g->Handle(), WM_LBUTTONUP, r.left + 3, r.top + 3, 0);
         ProcessPendingMessages();
       },
       "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* g = Make<TStringGrid>(400, 300, 4, 6);
    g->SetCells(2, 2, "old");
    g->SetCol(2);
    g->SetRow(2);
    g->SetFocus();
    ProcessPendingMessages();
    Type(g, "a");   // without goEditing nothing opens
    EXPECT_FALSE(g->EditorMode());
    g->SetOptions(g->Options() | goEditing);
    EXPECT_FALSE(g->EditorMode());
    c.open(this, g);
    ASSERT_TRUE(g->EditorMode());
    TInplaceEdit* editor = g->InplaceEditor();
    EXPECT_EQ(editor->Text(), c.shown);
    EXPECT_EQ(GetFocus(), editor->Handle());
    // Esc restores and closes; Enter commits and closes.
    Type(editor, "1");
    Key(editor, VK_ESCAPE);
    EXPECT_FALSE(g->EditorMode());
    EXPECT_FALSE(editor->Visible());
    EXPECT_EQ(g->Cells(2, 2), "old");
    EXPECT_EQ(GetFocus(), g->Handle());
    c.open(this, g);
    Type(editor, "2");
    Key(editor, VK_RETURN);
    EXPECT_FALSE(g->EditorMode());
    EXPECT_EQ(g->Cells(2, 2), c.shown + "2");
    EXPECT_EQ(GetFocus(), g->Handle());
    TComponent::Free(g);
  }
}

}  // namespace
