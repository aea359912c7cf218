// The class library's draw grid and string grid, drawn by us.
//
// Geometry. Columns and rows each have a size (DefaultColWidth / DefaultRowHeight until set one
// by one); every cell is followed by a grid line of GridLineWidth pixels on its right and at its
// bottom (0: no lines). The fixed columns and rows stay at the left and top; the scrolling ones
// start at LeftCol and TopRow. A cell is wholly visible when its right (bottom) edge, without the
// line, is inside the client area; a partly visible last cell is drawn and hit, clipped.
// TopRow and LeftCol are held so that the last row and column can be scrolled to and no further.
// A point on a grid line belongs to the cell before the line.
//
// Selecting. Col and Row (the current cell) change only through OnSelectCell, which may refuse
// (nothing changes then). A change scrolls the current cell wholly into view: TopRow and, when
// the current column is out of view, LeftCol. OnTopLeftChanged fires once after each change of
// TopRow or LeftCol, whatever caused it.
//
// Mouse. A left press on a scrolling cell selects it (and, with goRangeSelect, a drag or Shift
// stretches the selection). In a fixed row, with goColSizing a press within 3 px of a column's
// right line drags its width (the sizing cursor shows there), set at the release; with
// goColMoving a press on a scrolling column's fixed cell drags the column, an inverted mark
// showing where it would go, and the release on another column moves it (ColumnMoved,
// OnColumnMoved). A lost capture cancels either drag.
//
// Painting happens in WM_PAINT only (Paint), except RedrawRow, which draws one row at once
// through a context of the window. The grid keeps no copy of the cells it draws: OnDrawCell is
// asked for every visible cell each time. A handler that changes RowCount or ColCount while the
// grid paints or selects never makes it draw or select a cell that no longer exists.
#pragma once

#include "platform/Control.h"
#include "platform/Edit.h"
#include "platform/ScrollBar.h"
#include "platform/StringList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TGridOption : std::uint32_t {
  goFixedVertLine = 1u << 0,
  goFixedHorzLine = 1u << 1,
  goVertLine = 1u << 2,
  goHorzLine = 1u << 3,
  goRangeSelect = 1u << 4,
  goDrawFocusSelected = 1u << 5,
  goRowSizing = 1u << 6,
  goColSizing = 1u << 7,
  goRowMoving = 1u << 8,
  goColMoving = 1u << 9,
  goEditing = 1u << 10,
  goTabs = 1u << 11,
  goRowSelect = 1u << 12,
  goAlwaysShowEditor = 1u << 13,
  goThumbTracking = 1u << 14,
};
using TGridOptions = std::uint32_t;   // a set of TGridOption bits

enum TGridDrawStateBit : std::uint8_t { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = std::uint8_t;   // a set of TGridDrawStateBit bits

// A block of cells, both corners included.
struct TGridRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// TScrollStyle (the scroll bars shown) comes with the edits (Edit.h).

using TDrawCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, TRect Rect, TGridDrawState State)>;
using TSelectCellEvent = std::function<void(TObject* Sender, int ACol, int ARow, bool& CanSelect)>;
using TMovedEvent = std::function<void(TObject* Sender, int FromIndex, int ToIndex)>;
using TGetEditEvent = std::function<void(TObject* Sender, int ACol, int ARow, std::string& Value)>;
using TSetEditEvent = std::function<void(TObject* Sender, int ACol, int ARow, const std::string& Value)>;

class TDrawGrid;

// The grid's in-place editor: an edit without edges over the current cell. Every key is the
// grid's OnKeyDown's first, as if pressed in the grid; then Enter commits the text to the grid,
// Esc puts back what the cell had, Up, Down, PageUp, PageDown and Tab go to the grid's key
// handling, and with goAlwaysShowEditor so do Left / Home with the caret at the start of the
// text and Right / End at its end (unmodified); every other key edits the text. Setting its
// text puts the caret at the end. Focus leaving for another window than the grid keeps what was
// typed (commits it).
class TInplaceEdit : public TCustomEdit {
 public:
  explicit TInplaceEdit(TDrawGrid* grid);
  ~TInplaceEdit() override;
  const char* ClassName() const override { return "TInplaceEdit"; }
  void Dispatch(TMessage& message) override;
  void SetCaption(const std::string& text) override;
  // Hands a character typed into the grid to the editor's window, through its key handling (a
  // GBK lead byte waits there for its trail byte).
  void TypeChar(char key);

 protected:
  void CreateParams(TCreateParams& params) override;
  void KeyDown(WORD& key, TShiftState shift) override;

 private:
  TDrawGrid* grid_;
};

class TDrawGrid : public TCustomControl {
 public:
  explicit TDrawGrid(TComponent* owner);   // 320 x 120, 5 x 5 cells, 1 fixed column and row
  ~TDrawGrid() override;
  const char* ClassName() const override { return "TDrawGrid"; }

  // ---- Geometry ----
  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  int FixedCols() const { return fixedCols_; }
  int FixedRows() const { return fixedRows_; }
  // Below 1, or not above the fixed count, is refused (the old value stays).
  void SetColCount(int value);
  void SetRowCount(int value);
  // Below 0, or not below the count, is refused.
  void SetFixedCols(int value);
  void SetFixedRows(int value);
  int DefaultColWidth() const { return defaultColWidth_; }
  int DefaultRowHeight() const { return defaultRowHeight_; }
  // Sets every column's width (row's height); below 0 is taken as 0.
  void SetDefaultColWidth(int value);
  void SetDefaultRowHeight(int value);
  // Outside the count: reads 0, writes nothing. Below 0 is taken as 0.
  int ColWidths(int index) const;
  int RowHeights(int index) const;
  void SetColWidths(int index, int value);
  void SetRowHeights(int index, int value);
  int GridLineWidth() const { return lineWidth_; }
  void SetGridLineWidth(int value);   // below 0 is taken as 0

  // ---- Position ----
  int Col() const { return col_; }
  int Row() const { return row_; }
  void SetCol(int value);   // outside the scrolling columns: ignored
  void SetRow(int value);   // outside the scrolling rows: ignored
  int TopRow() const { return topRow_; }
  int LeftCol() const { return leftCol_; }
  void SetTopRow(int value);    // held to FixedRows..the highest top row
  void SetLeftCol(int value);   // held to FixedCols..the highest left column
  int VisibleRowCount() const;  // wholly visible scrolling rows (at least 1 while any exists)
  int VisibleColCount() const;
  // The cell's rectangle without its lines, clipped to the client area; empty when not visible.
  TRect CellRect(int col, int row) const;
  // The cell under a client point; -1 and -1 outside every cell.
  void MouseToCell(int x, int y, int& col, int& row) const;

  // The selected block: from the anchor to the current cell (whole rows with goRowSelect). With
  // goRangeSelect Shift with the moving keys, a drag or a Shift press stretch it; any other
  // move puts the anchor on the new current cell. Its cells are drawn gdSelected.
  TGridRect Selection() const;
  void SetSelection(const TGridRect& value);   // anchor top left, current cell bottom right

  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions value);
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool value);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor value);
  // The scroll bars are child windows of the grid along the right and bottom edges, shown
  // (as ScrollBars allows) while rows or columns are out of reach. Their range is in rows
  // (columns): FixedRows..RowCount-1, the page the rows shown at the end, the position TopRow
  // (LeftCol). Moving a bar scrolls the grid (while the thumb moves with goThumbTracking, else
  // at its release); the cells take the client area the bars leave.
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  TScrollBar* VertScrollBar() const;   // the bar windows, shown or not
  TScrollBar* HorzScrollBar() const;
  int GridWidth() const;    // the client area left for the cells
  int GridHeight() const;

  // ---- Partial repaint ----
  void InvalidateCell(int col, int row);
  void InvalidateRow(int row);
  // Draws one row now through a context of the window (outside WM_PAINT): only that row's
  // visible cells and their lines change.
  void RedrawRow(int row);

  // ---- In-place editing (goEditing) ----
  // The editor opens on a typed character (which replaces the text), F2, Enter or a left press
  // on the current cell; with goAlwaysShowEditor it stays on the current cell. Enter and
  // leaving the cell commit its text (SetEditText, when changed); Esc puts the cell's text back.
  bool EditorMode() const { return editorShown_; }
  void SetEditorMode(bool value);   // false commits
  TInplaceEdit* InplaceEditor() const { return editor_; }   // null until first shown

  TDrawCellEvent OnDrawCell;
  TSelectCellEvent OnSelectCell;
  TNotifyEvent OnTopLeftChanged;
  TMovedEvent OnColumnMoved;
  TGetEditEvent OnGetEditText;
  TSetEditEvent OnSetEditText;

  void Dispatch(TMessage& message) override;

 protected:
  void Paint() override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void Resize() override;
  // The grid's own drawing of a cell, before OnDrawCell (with DefaultDrawing).
  virtual void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {}
  virtual bool SelectCell(int col, int row);   // OnSelectCell
  virtual void TopLeftChanged();               // OnTopLeftChanged
  virtual void ColumnMoved(int from, int to);  // OnColumnMoved
  virtual void SizeChanged() {}                // counts changed (string grid follows)
  void Notification(TComponent* component, bool inserted) override;
  void KeyPress(char& key) override;
  virtual std::string GetEditText(int col, int row);                     // OnGetEditText
  virtual void SetEditText(int col, int row, const std::string& value);  // OnSetEditText
  bool CanEditShow() const;
  void ShowEditor();
  void HideEditor(bool commit);

  // Moves the current cell (through SelectCell) and scrolls it into view; `top` a wished top
  // row (paging), -1 for none. False when refused or out of range.
  // With `extend` (and goRangeSelect) the anchor stays: the selection stretches.
  bool MoveCurrent(int col, int row, int top = -1, bool extend = false);
  // Sets TopRow and LeftCol at once (held); one OnTopLeftChanged when either changed.
  void MoveTopLeft(int top, int left);
  // Moves a scrolling column (its width, the current column with it) to another place, then
  // ColumnMoved. Fixed or out-of-range indexes are ignored.
  void MoveColumn(int from, int to);

 private:
  struct Axis {
    int count = 0, fixed = 0, first = 0;   // first: TopRow / LeftCol
    const std::vector<int>* sizes = nullptr;
    int line = 0, extent = 0;
  };
  Axis AxisOf(bool vertical) const;
  static int FixedExtent(const Axis& a);
  static int Start(const Axis& a, int index);   // -1 when not shown
  static int LastFull(const Axis& a);           // the last wholly visible cell
  static int MaxFirst(const Axis& a);           // the highest first scrolling cell
  static int At(const Axis& a, int pos);        // the cell at a position, -1 when none
  static int End(const Axis& a);                // where the last shown cell's line ends
  void LayoutBars();   // shows, hides and places the bars (before TopRow/LeftCol are held)
  void SyncBars();     // ranges and positions
  void BarScrolled(bool vertical, TScrollCode code, int& position);
  TRect RowRect(int row) const;   // the row's visible cells with their lines
  TGridDrawState StateOf(int col, int row) const;
  void PaintCells(TCanvas* canvas, int rowFrom, int rowTo, bool blank);
  void PaintCell(TCanvas* canvas, int col, int row);
  void Clamp();   // after a count or size change
  // Moves the image of the scrolling rows after TopRow changed from oldTop and marks only the
  // uncovered strip; false when a full repaint is the better (or only) way.
  bool ScrollImage(int oldTop);
  bool IsSelected(int col, int row) const;
  // Column sizing and moving by the mouse.
  enum class Drag { none, sizing, moving, selecting };
  bool IsRange() const;
  void CollapseSelection();
  int SizingColumnAt(int x, int y) const;   // the column whose right line is near; -1 when none
  int MoveTargetAt(int x) const;            // the scrolling column a moved one would drop on
  int ColumnEdge(int col, bool right) const;   // x of its left edge or right line; -1 hidden
  friend class TInplaceEdit;
  // A key pressed in the editor: OnKeyDown of the grid (true when it consumed the key), then
  // the grid's own handling (GridKey).
  bool EditorKeyEvent(WORD& key, TShiftState shift);
  void GridKey(WORD& key, TShiftState shift);   // the grid's keys after OnKeyDown
  void Restart();   // the current cell and top left to the first scrolling cell
  void CommitText();                              // the editor's text to the cell, when changed
  void CommitEditor();                            // Enter in the editor
  void RestoreEditor();                           // Esc in the editor
  void PlaceEditor();
  void SetMark(int x);                      // moves the inverted drag mark; -1 removes it
  void InvertMark(int x) const;
  void EndDrag(bool apply, int x);

  int colCount_ = 5;
  int rowCount_ = 5;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  int defaultColWidth_ = 64;
  int defaultRowHeight_ = 24;
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  int lineWidth_ = 1;
  int col_ = 1;
  int row_ = 1;
  int anchorCol_ = 1;   // the selection's fixed corner
  int anchorRow_ = 1;
  int topRow_ = 1;
  int leftCol_ = 1;
  TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  bool defaultDrawing_ = true;
  TColor fixedColor_ = clBtnFace;
  TScrollStyle scrollBars_ = ssBoth;
  TControlScrollBar* vbar_ = nullptr;   // owned as components
  TControlScrollBar* hbar_ = nullptr;
  bool vShown_ = false;
  bool hShown_ = false;
  Drag drag_ = Drag::none;
  int dragCol_ = -1;      // the column sized or moved
  int dragStartX_ = 0;    // the pointer at the press
  int dragWidth_ = 0;     // the sized column's width at the press
  int dropTo_ = -1;       // where a moved column would go
  int markX_ = -1;        // the mark on the screen, -1 when none
  bool releasing_ = false;   // inside a left button release
  TInplaceEdit* editor_ = nullptr;   // owned as a component
  bool editorShown_ = false;
  int editCol_ = -1;           // the cell being edited
  int editRow_ = -1;
  std::string editOriginal_;   // its text when the editor opened
  bool hidingEditor_ = false;
  int paintTop_ = 0;      // the invalid rows' span while painting (empty: all)
  int paintBottom_ = 0;
};

// A draw grid that keeps a text and an object per cell and draws the text 2 pixels in.
class TStringGrid : public TDrawGrid {
 public:
  explicit TStringGrid(TComponent* owner);
  ~TStringGrid() override;
  const char* ClassName() const override { return "TStringGrid"; }

  // Outside the counts: read empty, write nothing.
  std::string Cells(int col, int row) const;
  void SetCells(int col, int row, const std::string& text);
  void* Objects(int col, int row) const;
  void SetObjects(int col, int row, void* object);
  // A row's (column's) cells as a string list on the grid: Count is the column (row) count;
  // writes go to the cells. Null outside the counts. Owned by the grid.
  TStrings* Rows(int row);
  TStrings* Cols(int col);

 protected:
  void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) override;
  void SizeChanged() override;
  void ColumnMoved(int from, int to) override;   // the cells go with the column
  std::string GetEditText(int col, int row) override;   // the cell's text, then OnGetEditText
  void SetEditText(int col, int row, const std::string& value) override;   // to Cells, then OnSetEditText

 private:
  class Line;
  struct Cell {
    std::string text;
    void* object = nullptr;
  };
  Cell* CellAt(int col, int row);
  const Cell* CellAt(int col, int row) const;
  std::vector<Cell> cells_;   // row-major, ColCount() x RowCount()
  int cellCols_ = 0;
  std::vector<std::unique_ptr<Line>> lines_;
};
