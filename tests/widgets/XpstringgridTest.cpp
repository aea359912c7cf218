// The flat string grid's own painting: fixed areas, lines between the scrolling cells only, the
// highlighted current cell or row, text 3 pixels in and cut before the right line.
#include "widgets/Xpstringgrid.h"

#include "XpPixels.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using xptest::Rgb;
using zuvo::platform::ProcessPendingMessages;

constexpr COLORREF kBack = RGB(255, 255, 255);
constexpr COLORREF kFixed = RGB(230, 220, 120);
constexpr COLORREF kLine = RGB(192, 192, 192);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr int kColWidth = 40, kRowHeight = 20;

// Three columns and rows of 40 x 20, one fixed of each unless told, in a client area of
// clientWidth x clientHeight. With those defaults the cells lie at:
//   columns: fixed 0..39, line 40, col 1 41..80, line 81, col 2 82..121, line 122
//   rows:    fixed 0..19, line 20, row 1 21..40, line 41, row 2 42..61, line 62
class XpStringGridTest : public testing::Test {
 protected:
  TXPStringGrid* Make(int fixedCols = 1, int fixedRows = 1, int clientWidth = 200, int clientHeight = 100) {
    grid_ = new TXPStringGrid(form_.get());
    grid_->SetScrollBars(ssNone);
    grid_->SetColCount(3);
    grid_->SetRowCount(3);
    grid_->SetFixedCols(fixedCols);
    grid_->SetFixedRows(fixedRows);
    grid_->SetDefaultColWidth(kColWidth);
    grid_->SetDefaultRowHeight(kRowHeight);
    grid_->SetColor(clWhite);
    grid_->SetFixedColor(static_cast<TColor>(kFixed));
    grid_->Font()->SetColor(clBlack);
    form_.Place(grid_, 10, 10, clientWidth + 2, clientHeight + 2);
    return grid_;
  }
  void Repaint() {
    grid_->Invalidate();
    grid_->Update();
    ProcessPendingMessages();
  }
  COLORREF At(int x, int y) { return xptest::ClientPixel(grid_->Handle(), x, y); }
  // Whether every pixel of the rectangle has the colour.
  bool All(const RECT& r, COLORREF colour) {
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (At(x, y) != colour) return false;
    return true;
  }
  bool Any(const RECT& r, COLORREF colour) { return xptest::AnyClientPixel(grid_->Handle(), r, colour); }
  xptest::HostForm form_;
  TXPStringGrid* grid_ = nullptr;
};

TEST_F(XpStringGridTest, PaintsFixedAreasLinesAndTheCurrentCell) {
  Make();
  Repaint();
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  struct Case {
    int x, y;
    COLORREF colour;
    const char* what;
  };
  const Case cases[] = {
      {5, 5, kFixed, "fixed corner"},
      {60, 10, kFixed, "fixed row over a scrolling column"},
      {10, 30, kFixed, "fixed column beside a scrolling row"},
      {39, 19, kFixed, "fixed cells add no line between them"},
      {40, 10, kLine, "line after the fixed column"},
      {60, 20, kLine, "line after the fixed row"},
      {60, 30, highlight, "current cell (1, 1)"},
      {41, 21, highlight, "highlight fills the cell from its first pixel"},
      {80, 40, highlight, "to its last"},
      {100, 30, kBack, "another cell of the current row"},
      {60, 50, kBack, "another row"},
      {122, 30, kLine, "last column's line"},
      {122, 62, kLine, "horizontal lines reach the last column's line"},
      {123, 62, kBack, "and stop there"},
      {150, 30, kBack, "beyond the last column"},
      {100, 62, kLine, "last row's line"},
      {100, 63, kBack, "rows end above the bottom: Color below"},
      {40, 63, kBack, "and no vertical lines there"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Rgb(At(c.x, c.y)), Rgb(c.colour)) << "at " << c.x << "," << c.y;
  }
}

TEST_F(XpStringGridTest, WithoutFixedRowsOrColumnsNoFixedColourIsPainted) {
  Make(0, 0);
  Repaint();
  EXPECT_FALSE(Any(RECT{0, 0, 200, 100}, kFixed));
  // Every column and row is a scrolling one now and adds its line: the first lines lie at 41.
  EXPECT_EQ(Rgb(At(41, 10)), Rgb(kLine));
  EXPECT_EQ(Rgb(At(60, 21)), Rgb(kLine));
  EXPECT_EQ(Rgb(At(20, 10)), Rgb(GetSysColor(COLOR_HIGHLIGHT)));   // the current cell is (0, 0)
}

TEST_F(XpStringGridTest, RowSelectHighlightsEveryScrollingCellOfTheRowOnly) {
  Make();
  grid_->SetOptions(grid_->Options() | goRowSelect);
  Repaint();
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  EXPECT_TRUE(All(RECT{41, 21, 81, 41}, highlight));
  EXPECT_TRUE(All(RECT{82, 21, 122, 41}, highlight));
  EXPECT_EQ(Rgb(At(10, 30)), Rgb(kFixed));    // the fixed cell of that row is not highlighted
  EXPECT_EQ(Rgb(At(81, 30)), Rgb(kLine));     // nor are the lines between the cells
  EXPECT_EQ(Rgb(At(100, 50)), Rgb(kBack));
}

TEST_F(XpStringGridTest, TextStartsThreePixelsInAndIsCutBeforeTheRightLine) {
  Make();
  grid_->SetCells(2, 2, "WWWWWWWWWWWWWWWW");
  grid_->SetCells(0, 2, "F");
  grid_->SetCells(1, 1, "H");
  Repaint();
  // Cell (2, 2): columns 82..121, text rectangle 84..117.
  EXPECT_TRUE(Any(RECT{84, 42, 118, 62}, kText));
  EXPECT_TRUE(All(RECT{82, 42, 84, 62}, kBack));     // the 3-pixel inset from the line at 81
  EXPECT_TRUE(All(RECT{118, 42, 122, 62}, kBack));   // cut 3 pixels before the right edge
  EXPECT_TRUE(All(RECT{123, 42, 200, 62}, kBack));   // and never into the next cell
  // A fixed cell of a row after the highlighted one is drawn in the font's colour.
  EXPECT_TRUE(Any(RECT{3, 42, 37, 62}, kText));
  // The current cell's text is white on the highlight (smoothed at its edges).
  bool whiteText = false;
  for (int y = 21; y < 41; ++y) {
    for (int x = 44; x < 78; ++x) {
      const COLORREF c = At(x, y);
      whiteText = whiteText || (GetRValue(c) > 230 && GetGValue(c) > 230 && GetBValue(c) > 230);
    }
  }
  EXPECT_TRUE(whiteText);
  EXPECT_FALSE(Any(RECT{41, 21, 81, 41}, kText));
}

TEST_F(XpStringGridTest, EmptyCellsAndCellsTooSmallForTextDrawNone) {
  Make();
  grid_->SetRowCount(4);
  grid_->SetCells(1, 2, "");
  grid_->SetCells(2, 1, "WWWW");
  grid_->SetColWidths(2, 5);   // its text rectangle, 84..80, would be inverted
  grid_->SetCells(1, 3, "WWWW");
  grid_->SetRowHeights(3, 0);
  Repaint();
  EXPECT_TRUE(All(RECT{41, 42, 81, 62}, kBack));   // the empty cell
  EXPECT_TRUE(All(RECT{82, 21, 87, 41}, kBack));   // the narrow column
  EXPECT_EQ(Rgb(At(87, 30)), Rgb(kLine));
  EXPECT_FALSE(Any(RECT{0, 63, 200, 100}, kText));   // the row of height 0
}

TEST_F(XpStringGridTest, APartlyVisibleColumnIsDrawnClipped) {
  // The client area ends 10 pixels into column 2 (82..91 shown).
  Make(1, 1, 92, 100);
  grid_->SetOptions(grid_->Options() | goRowSelect);
  Repaint();
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  EXPECT_TRUE(All(RECT{82, 21, 92, 41}, highlight));
  EXPECT_EQ(Rgb(At(91, 41)), Rgb(kLine));
}

TEST_F(XpStringGridTest, TheAlwaysShownEditorPaintsItselfOverTheGrid) {
  // The hot-key editor's grid: editable, the editor always open on the current cell.
  Make();
  grid_->SetCells(1, 1, "Ctrl+A");
  grid_->SetOptions(grid_->Options() | goEditing | goAlwaysShowEditor);
  grid_->SetFocus();
  ProcessPendingMessages();
  Repaint();
  TInplaceEdit* editor = grid_->InplaceEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(IsWindowVisible(editor->Handle()));
  EXPECT_EQ(editor->Text(), "Ctrl+A");
  // It lies over the current cell, inside its lines.
  const TRect cell = grid_->CellRect(1, 1);
  const TRect bounds = editor->BoundsRect();
  EXPECT_GE(bounds.left, cell.left);
  EXPECT_GE(bounds.top, cell.top);
  EXPECT_LE(bounds.right, cell.right + 1);
  EXPECT_LE(bounds.bottom, cell.bottom + 1);
  // The grid's painting leaves it alone.
  Repaint();
  EXPECT_TRUE(IsWindowVisible(editor->Handle()));
}

}  // namespace
