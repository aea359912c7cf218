// Draw and string grids: geometry, selection and scrolling, keys, painting read back from the
// window's image, cells.
#include "platform/Grid.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

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
  Grid* Make(int width, int height, int cols, int rows, int fixedCols = 1, int fixedRows = 1) {
    auto* g = new Grid(form_);
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

}  // namespace
