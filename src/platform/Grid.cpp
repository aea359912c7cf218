// The draw grid and the string grid.
#include "platform/Grid.h"

#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/WinUser.h"

#include <algorithm>

namespace {

template <class Event, class... Args>
void Raise(const Event& event, Args&&... args) {
  if (!event) return;
  Event handler = event;
  handler(std::forward<Args>(args)...);
}

void Fill(TCanvas* canvas, TColor colour, int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) return;
  canvas->Brush()->SetColor(colour);
  canvas->FillRect(TRect(left, top, right, bottom));
}

bool Empty(const TRect& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

// ---- TDrawGrid: geometry ------------------------------------------------------------------------

TDrawGrid::TDrawGrid(TComponent* owner) : TCustomControl(owner) {
  colWidths_.assign(static_cast<std::size_t>(colCount_), defaultColWidth_);
  rowHeights_.assign(static_cast<std::size_t>(rowCount_), defaultRowHeight_);
  color_ = clWindow;
  tabStop_ = true;
  SetBounds(0, 0, 320, 120);
  vbar_ = new TControlScrollBar(this, sbVertical,
                                [this](TScrollCode code, int& position) { BarScrolled(true, code, position); });
  hbar_ = new TControlScrollBar(this, sbHorizontal,
                                [this](TScrollCode code, int& position) { BarScrolled(false, code, position); });
  Clamp();
}

TDrawGrid::~TDrawGrid() = default;

void TDrawGrid::Notification(TComponent* component, bool inserted) {
  TCustomControl::Notification(component, inserted);
  if (inserted) return;
  if (component == vbar_) vbar_ = nullptr;
  if (component == hbar_) hbar_ = nullptr;
}

TDrawGrid::Axis TDrawGrid::AxisOf(bool vertical) const {
  Axis a;
  a.count = vertical ? rowCount_ : colCount_;
  a.fixed = vertical ? fixedRows_ : fixedCols_;
  a.first = vertical ? topRow_ : leftCol_;
  a.sizes = vertical ? &rowHeights_ : &colWidths_;
  a.line = lineWidth_;
  a.extent = vertical ? GridHeight() : GridWidth();
  return a;
}

int TDrawGrid::FixedExtent(const Axis& a) {
  int pos = 0;
  for (int i = 0; i < a.fixed; ++i) pos += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
  return pos;
}

int TDrawGrid::Start(const Axis& a, int index) {
  if (index < 0 || index >= a.count) return -1;
  int pos = 0;
  if (index < a.fixed) {
    for (int i = 0; i < index; ++i) pos += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
  } else {
    if (index < a.first) return -1;
    pos = FixedExtent(a);
    for (int i = a.first; i < index && pos < a.extent; ++i) pos += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
  }
  return pos < a.extent ? pos : -1;
}

int TDrawGrid::LastFull(const Axis& a) {
  int pos = FixedExtent(a);
  int last = a.first;
  for (int i = a.first; i < a.count; ++i) {
    pos += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
    if (pos > a.extent + a.line) break;
    last = i;
  }
  return last;
}

namespace {
// The first scrolling cell that shows `last` as the last wholly visible one (at most `last`).
int FirstShowing(int last, int fixed, int fixedExtent, int extent, int line, const std::vector<int>& sizes) {
  int result = last;
  int room = extent + line;
  for (int i = last; i >= fixed; --i) {
    room -= sizes[static_cast<std::size_t>(i)] + line;
    if (room < fixedExtent) break;
    result = i;
  }
  return result;
}
}  // namespace

int TDrawGrid::MaxFirst(const Axis& a) {
  return FirstShowing(a.count - 1, a.fixed, FixedExtent(a), a.extent, a.line, *a.sizes);
}

int TDrawGrid::End(const Axis& a) {
  int p = 0;
  for (int i = 0; i < a.fixed; ++i) {
    p += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
    if (p >= a.extent) return a.extent;
  }
  for (int i = a.first; i < a.count; ++i) {
    p += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
    if (p >= a.extent) return a.extent;
  }
  return p;
}

int TDrawGrid::At(const Axis& a, int pos) {
  if (pos < 0 || pos >= a.extent) return -1;
  int p = 0;
  for (int i = 0; i < a.fixed; ++i) {
    p += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
    if (pos < p) return i;
  }
  for (int i = a.first; i < a.count; ++i) {
    p += (*a.sizes)[static_cast<std::size_t>(i)] + a.line;
    if (pos < p) return i;
  }
  return -1;
}

int TDrawGrid::GridWidth() const {
  return std::max(0, ClientWidth() - (vShown_ ? GetSystemMetrics(SM_CXVSCROLL) : 0));
}

int TDrawGrid::GridHeight() const {
  return std::max(0, ClientHeight() - (hShown_ ? GetSystemMetrics(SM_CYHSCROLL) : 0));
}

TScrollBar* TDrawGrid::VertScrollBar() const { return vbar_; }
TScrollBar* TDrawGrid::HorzScrollBar() const { return hbar_; }

void TDrawGrid::SetColCount(int value) {
  if (value < 1 || value <= fixedCols_ || value == colCount_) return;
  colCount_ = value;
  colWidths_.resize(static_cast<std::size_t>(value), defaultColWidth_);
  SizeChanged();
  Clamp();
  Invalidate();
}

void TDrawGrid::SetRowCount(int value) {
  if (value < 1 || value <= fixedRows_ || value == rowCount_) return;
  rowCount_ = value;
  rowHeights_.resize(static_cast<std::size_t>(value), defaultRowHeight_);
  SizeChanged();
  Clamp();
  Invalidate();
}

void TDrawGrid::SetFixedCols(int value) {
  if (value < 0 || value >= colCount_ || value == fixedCols_) return;
  HideEditor(true);
  fixedCols_ = value;
  Restart();
  Clamp();
  Invalidate();
}

void TDrawGrid::SetFixedRows(int value) {
  if (value < 0 || value >= rowCount_ || value == fixedRows_) return;
  HideEditor(true);
  fixedRows_ = value;
  Restart();
  Clamp();
  Invalidate();
}

void TDrawGrid::SetDefaultColWidth(int value) {
  defaultColWidth_ = std::max(0, value);
  std::fill(colWidths_.begin(), colWidths_.end(), defaultColWidth_);
  Clamp();
  Invalidate();
}

void TDrawGrid::SetDefaultRowHeight(int value) {
  defaultRowHeight_ = std::max(0, value);
  std::fill(rowHeights_.begin(), rowHeights_.end(), defaultRowHeight_);
  Clamp();
  Invalidate();
}

int TDrawGrid::ColWidths(int index) const {
  return index >= 0 && index < colCount_ ? colWidths_[static_cast<std::size_t>(index)] : 0;
}

int TDrawGrid::RowHeights(int index) const {
  return index >= 0 && index < rowCount_ ? rowHeights_[static_cast<std::size_t>(index)] : 0;
}

void TDrawGrid::SetColWidths(int index, int value) {
  if (index < 0 || index >= colCount_) return;
  colWidths_[static_cast<std::size_t>(index)] = std::max(0, value);
  Clamp();
  Invalidate();
}

void TDrawGrid::SetRowHeights(int index, int value) {
  if (index < 0 || index >= rowCount_) return;
  rowHeights_[static_cast<std::size_t>(index)] = std::max(0, value);
  Clamp();
  Invalidate();
}

void TDrawGrid::SetGridLineWidth(int value) {
  value = std::max(0, value);
  if (value == lineWidth_) return;
  lineWidth_ = value;
  Clamp();
  Invalidate();
}

void TDrawGrid::Restart() {
  col_ = leftCol_ = anchorCol_ = fixedCols_;
  row_ = topRow_ = anchorRow_ = fixedRows_;
}

void TDrawGrid::Clamp() {
  LayoutBars();
  col_ = std::clamp(col_, fixedCols_, colCount_ - 1);
  row_ = std::clamp(row_, fixedRows_, rowCount_ - 1);
  if (options_ & goRowSelect) col_ = fixedCols_;
  anchorCol_ = std::clamp(anchorCol_, fixedCols_, colCount_ - 1);
  anchorRow_ = std::clamp(anchorRow_, fixedRows_, rowCount_ - 1);
  if (!(options_ & goRangeSelect)) {
    anchorCol_ = col_;
    anchorRow_ = row_;
  }
  MoveTopLeft(topRow_, leftCol_);
  SyncBars();
  PlaceEditor();
}

// ---- Scroll bars ---------------------------------------------------------------------------------

void TDrawGrid::LayoutBars() {
  if (vbar_ == nullptr || hbar_ == nullptr || Destroying()) return;
  const bool wantV = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  const bool wantH = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  const bool wasV = vShown_, wasH = hShown_;
  // A bar shown takes room from the other axis, which may then need its bar too.
  bool v = false, h = false;
  vShown_ = hShown_ = false;
  for (int pass = 0; pass < 3; ++pass) {
    v = v || (wantV && MaxFirst(AxisOf(true)) > fixedRows_);
    h = h || (wantH && MaxFirst(AxisOf(false)) > fixedCols_);
    if (v == vShown_ && h == hShown_) break;
    vShown_ = v;
    hShown_ = h;
  }
  const int bw = GetSystemMetrics(SM_CXVSCROLL), bh = GetSystemMetrics(SM_CYHSCROLL);
  if (vShown_) vbar_->SetBounds(ClientWidth() - bw, 0, bw, GridHeight());
  if (hShown_) hbar_->SetBounds(0, ClientHeight() - bh, GridWidth(), bh);
  vbar_->SetVisible(vShown_);
  hbar_->SetVisible(hShown_);
  if (wasV != vShown_ || wasH != hShown_) Invalidate();
}

void TDrawGrid::SyncBars() {
  if (vbar_ == nullptr || hbar_ == nullptr || Destroying()) return;
  if (vShown_) vbar_->SetRange(topRow_, fixedRows_, rowCount_ - 1, rowCount_ - MaxFirst(AxisOf(true)));
  if (hShown_) hbar_->SetRange(leftCol_, fixedCols_, colCount_ - 1, colCount_ - MaxFirst(AxisOf(false)));
}

void TDrawGrid::BarScrolled(bool vertical, TScrollCode code, int& position) {
  const int first = vertical ? topRow_ : leftCol_;
  const int page = vertical ? VisibleRowCount() : VisibleColCount();
  int next = first;
  switch (code) {
    case scLineUp: next = first - 1; break;
    case scLineDown: next = first + 1; break;
    case scPageUp: next = first - std::max(1, page); break;
    case scPageDown: next = first + std::max(1, page); break;
    case scTrack:
      if (!(options_ & goThumbTracking)) return;   // the thumb moves alone until the release
      next = position;
      break;
    case scPosition: next = position; break;
    case scTop: next = 0; break;
    case scBottom: next = vertical ? rowCount_ : colCount_; break;
    default: return;
  }
  if (vertical) MoveTopLeft(next, leftCol_);
  else MoveTopLeft(topRow_, next);
  if (Destroying()) return;
  position = vertical ? topRow_ : leftCol_;
}

void TDrawGrid::Resize() {
  TCustomControl::Resize();
  Clamp();
}

int TDrawGrid::VisibleRowCount() const {
  const Axis a = AxisOf(true);
  return LastFull(a) - a.first + 1;
}

int TDrawGrid::VisibleColCount() const {
  const Axis a = AxisOf(false);
  return LastFull(a) - a.first + 1;
}

TRect TDrawGrid::CellRect(int col, int row) const {
  const Axis h = AxisOf(false), v = AxisOf(true);
  const int x = Start(h, col), y = Start(v, row);
  if (x < 0 || y < 0) return TRect(0, 0, 0, 0);
  return TRect(x, y, std::min(x + colWidths_[static_cast<std::size_t>(col)], h.extent),
               std::min(y + rowHeights_[static_cast<std::size_t>(row)], v.extent));
}

void TDrawGrid::MouseToCell(int x, int y, int& col, int& row) const {
  col = At(AxisOf(false), x);
  row = At(AxisOf(true), y);
  if (col < 0 || row < 0) col = row = -1;
}

TRect TDrawGrid::RowRect(int row) const {
  const Axis h = AxisOf(false), v = AxisOf(true);
  const int y = Start(v, row);
  if (y < 0) return TRect(0, 0, 0, 0);
  return TRect(0, y, h.extent, std::min(y + rowHeights_[static_cast<std::size_t>(row)] + lineWidth_, v.extent));
}

// ---- Options -------------------------------------------------------------------------------------

void TDrawGrid::SetOptions(TGridOptions value) {
  if (value == options_) return;
  options_ = value;
  if (options_ & goRowSelect) col_ = fixedCols_;
  if (!(options_ & goRangeSelect)) {
    anchorCol_ = col_;
    anchorRow_ = row_;
  }
  Invalidate();
  if (!CanEditShow()) HideEditor(true);
  else if (options_ & goAlwaysShowEditor) ShowEditor();
}

void TDrawGrid::SetDefaultDrawing(bool value) {
  if (value == defaultDrawing_) return;
  defaultDrawing_ = value;
  Invalidate();
}

void TDrawGrid::SetFixedColor(TColor value) {
  if (value == fixedColor_) return;
  fixedColor_ = value;
  Invalidate();
}

void TDrawGrid::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  Clamp();
}

// ---- Selecting -----------------------------------------------------------------------------------

bool TDrawGrid::SelectCell(int col, int row) {
  bool can = true;
  Raise(OnSelectCell, static_cast<TObject*>(this), col, row, can);
  return can;
}

void TDrawGrid::TopLeftChanged() { Raise(OnTopLeftChanged, static_cast<TObject*>(this)); }

void TDrawGrid::ColumnMoved(int from, int to) { Raise(OnColumnMoved, static_cast<TObject*>(this), from, to); }

void TDrawGrid::MoveTopLeft(int top, int left) {
  const Axis v = AxisOf(true), h = AxisOf(false);
  top = std::clamp(top, fixedRows_, std::max(fixedRows_, MaxFirst(v)));
  left = std::clamp(left, fixedCols_, std::max(fixedCols_, MaxFirst(h)));
  if (top == topRow_ && left == leftCol_) return;
  const int oldTop = topRow_;
  const bool leftMoved = left != leftCol_;
  topRow_ = top;
  leftCol_ = left;
  if (leftMoved || !ScrollImage(oldTop)) Invalidate();
  SyncBars();
  PlaceEditor();
  TopLeftChanged();
}

bool TDrawGrid::ScrollImage(int oldTop) {
  // Moving the image costs one copy; worth it while less than half the scrolling area is new
  // and nothing is waiting to be painted (a pending region would not move with the image).
  if (!HandleAllocated() || !IsWindowVisible(handle_)) return false;
  RECT pending{};
  if (GetUpdateRect(handle_, &pending, FALSE)) return false;
  const Axis v = AxisOf(true);
  const int areaTop = FixedExtent(v), areaBottom = v.extent;
  if (areaBottom - areaTop <= 0) return false;
  int shift = 0;
  for (int r = std::min(oldTop, topRow_); r < std::max(oldTop, topRow_); ++r)
    shift += rowHeights_[static_cast<std::size_t>(r)] + lineWidth_;
  if (shift <= 0 || shift * 2 > areaBottom - areaTop) return false;
  const int width = GridWidth();
  HDC dc = GetDC(handle_);
  if (dc == nullptr) return false;
  const int height = areaBottom - areaTop - shift;
  BOOL copied = topRow_ > oldTop ? BitBlt(dc, 0, areaTop, width, height, dc, 0, areaTop + shift, SRCCOPY)
                                 : BitBlt(dc, 0, areaTop + shift, width, height, dc, 0, areaTop, SRCCOPY);
  ReleaseDC(handle_, dc);
  if (!copied) return false;
  // The strip the image left uncovered; rows crossing it are drawn whole, which also completes
  // a row the edge cut before the move.
  const RECT fresh = topRow_ > oldTop ? RECT{0, areaBottom - shift, width, areaBottom}
                                      : RECT{0, areaTop, width, areaTop + shift};
  InvalidateRect(handle_, &fresh, FALSE);
  return true;
}

void TDrawGrid::SetTopRow(int value) { MoveTopLeft(value, leftCol_); }
void TDrawGrid::SetLeftCol(int value) { MoveTopLeft(topRow_, value); }

void TDrawGrid::SetCol(int value) {
  if (value == col_) return;
  MoveCurrent(value, row_);
}

void TDrawGrid::SetRow(int value) {
  if (value == row_) return;
  MoveCurrent(col_, value);
}

bool TDrawGrid::MoveCurrent(int col, int row, int top, bool extend) {
  if (col < fixedCols_ || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return false;
  if (!SelectCell(col, row)) return false;
  HideEditor(true);   // leaving the cell commits its text
  // The handlers may have changed the counts.
  if (col < fixedCols_ || col >= colCount_ || row < fixedRows_ || row >= rowCount_) return false;
  extend = extend && (options_ & goRangeSelect);
  const bool wasRange = IsRange();
  if (options_ & goRowSelect) {
    InvalidateRow(row_);
    col = fixedCols_;
  } else {
    InvalidateCell(col_, row_);
  }
  col_ = col;
  row_ = row;
  if (!extend) {
    anchorCol_ = col_;
    anchorRow_ = row_;
  }
  if (wasRange || IsRange()) Invalidate();
  // Scroll the current cell wholly into view.
  Axis v = AxisOf(true), h = AxisOf(false);
  v.first = std::clamp(top >= 0 ? top : topRow_, fixedRows_, std::max(fixedRows_, MaxFirst(v)));
  if (row_ < v.first) v.first = row_;
  else if (row_ > LastFull(v)) v.first = FirstShowing(row_, fixedRows_, FixedExtent(v), v.extent, v.line, rowHeights_);
  if (col_ < h.first) h.first = col_;
  else if (col_ > LastFull(h)) h.first = FirstShowing(col_, fixedCols_, FixedExtent(h), h.extent, h.line, colWidths_);
  MoveTopLeft(v.first, h.first);
  if (options_ & goRowSelect) InvalidateRow(row_);
  else InvalidateCell(col_, row_);
  if (options_ & goAlwaysShowEditor) ShowEditor();
  return true;
}

bool TDrawGrid::IsSelected(int col, int row) const {
  if (col < fixedCols_ || row < fixedRows_) return false;
  if (row < std::min(anchorRow_, row_) || row > std::max(anchorRow_, row_)) return false;
  if (options_ & goRowSelect) return true;
  return col >= std::min(anchorCol_, col_) && col <= std::max(anchorCol_, col_);
}

bool TDrawGrid::IsRange() const { return anchorRow_ != row_ || (anchorCol_ != col_ && !(options_ & goRowSelect)); }

void TDrawGrid::CollapseSelection() {
  if (!IsRange()) return;
  anchorCol_ = col_;
  anchorRow_ = row_;
  Invalidate();
}

TGridRect TDrawGrid::Selection() const {
  TGridRect r;
  r.Left = (options_ & goRowSelect) ? fixedCols_ : std::min(anchorCol_, col_);
  r.Right = (options_ & goRowSelect) ? colCount_ - 1 : std::max(anchorCol_, col_);
  r.Top = std::min(anchorRow_, row_);
  r.Bottom = std::max(anchorRow_, row_);
  return r;
}

void TDrawGrid::SetSelection(const TGridRect& value) {
  const int left = std::clamp(value.Left, fixedCols_, colCount_ - 1);
  const int right = std::clamp(value.Right, fixedCols_, colCount_ - 1);
  const int top = std::clamp(value.Top, fixedRows_, rowCount_ - 1);
  const int bottom = std::clamp(value.Bottom, fixedRows_, rowCount_ - 1);
  HideEditor(true);
  anchorCol_ = left;
  anchorRow_ = top;
  col_ = (options_ & goRowSelect) ? fixedCols_ : right;
  row_ = bottom;
  if (!(options_ & goRangeSelect)) {
    anchorCol_ = col_;
    anchorRow_ = row_;
  }
  Invalidate();
}

TGridDrawState TDrawGrid::StateOf(int col, int row) const {
  if (col < fixedCols_ || row < fixedRows_) return gdFixed;
  TGridDrawState state = 0;
  if (IsSelected(col, row)) state |= gdSelected;
  if (col == col_ && row == row_ && HandleAllocated() && Focused()) state |= gdFocused;
  return state;
}

// ---- Keys and mouse ------------------------------------------------------------------------------

void TDrawGrid::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key != 0) GridKey(key, shift);
}

void TDrawGrid::GridKey(WORD& key, TShiftState shift) {
  if ((key == VK_F2 || key == VK_RETURN) && CanEditShow()) {
    if (!editorShown_) ShowEditor();
    else if (key == VK_RETURN) CommitEditor();
    return;
  }
  const bool rowSelect = (options_ & goRowSelect) != 0;
  const bool ctrl = shift.Contains(ssCtrl);
  int col = col_, row = row_, top = -1;
  const int page = VisibleRowCount();
  switch (key) {
    case VK_UP: --row; break;
    case VK_DOWN: ++row; break;
    case VK_LEFT:
      if (rowSelect) { SetLeftCol(leftCol_ - 1); return; }
      --col;
      break;
    case VK_RIGHT:
      if (rowSelect) { SetLeftCol(leftCol_ + 1); return; }
      ++col;
      break;
    case VK_PRIOR: row -= page; top = topRow_ - page; break;
    case VK_NEXT: row += page; top = topRow_ + page; break;
    case VK_HOME:
      if (ctrl) { col = fixedCols_; row = fixedRows_; }
      else if (rowSelect) row = fixedRows_;
      else col = fixedCols_;
      break;
    case VK_END:
      if (ctrl) { col = colCount_ - 1; row = rowCount_ - 1; }
      else if (rowSelect) row = rowCount_ - 1;
      else col = colCount_ - 1;
      break;
    case VK_TAB:
      if (!(options_ & goTabs) || rowSelect) return;
      if (shift.Contains(ssShift)) {
        if (--col < fixedCols_) { col = colCount_ - 1; --row; }
        if (row < fixedRows_) return;
      } else {
        if (++col >= colCount_) { col = fixedCols_; ++row; }
        if (row >= rowCount_) return;
      }
      break;
    default: return;
  }
  col = std::clamp(col, fixedCols_, colCount_ - 1);
  row = std::clamp(row, fixedRows_, rowCount_ - 1);
  if (rowSelect) col = fixedCols_;
  // Shift with a moving key (not Tab) stretches the range from the anchor.
  const bool extend = shift.Contains(ssShift) && key != VK_TAB;
  if (col == col_ && row == row_) {
    if (!extend) CollapseSelection();
    if (top >= 0) MoveTopLeft(top, leftCol_);
    return;
  }
  MoveCurrent(col, row, top, extend);
}

void TDrawGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && drag_ == Drag::none) {
    if (CanFocus() && !Focused()) SetFocus();
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    const int sizing = SizingColumnAt(x, y);
    if (sizing >= 0) {
      drag_ = Drag::sizing;
      dragCol_ = sizing;
      dragStartX_ = x;
      dragWidth_ = colWidths_[static_cast<std::size_t>(sizing)];
      SetMark(ColumnEdge(sizing, true));
    } else if ((options_ & goColMoving) && row >= 0 && row < fixedRows_ && col >= fixedCols_) {
      drag_ = Drag::moving;
      dragCol_ = dropTo_ = col;
      dragStartX_ = x;
    } else if (col >= fixedCols_ && row >= fixedRows_) {
      const bool extend = shift.Contains(ssShift);
      if (col != col_ || row != row_) {
        MoveCurrent(col, row, -1, extend);
      } else {
        if (!extend) CollapseSelection();
        if (options_ & goEditing) ShowEditor();
      }
      if (options_ & goRangeSelect) drag_ = Drag::selecting;
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TDrawGrid::MouseMove(TShiftState shift, int x, int y) {
  if (drag_ == Drag::sizing) {
    const int left = ColumnEdge(dragCol_, false);
    if (left >= 0) SetMark(left + std::max(0, dragWidth_ + x - dragStartX_));
  } else if (drag_ == Drag::selecting) {
    int col = -1, row = -1;
    MouseToCell(x, y, col, row);
    if (col >= fixedCols_ && row >= fixedRows_ && (col != col_ || row != row_)) MoveCurrent(col, row, -1, true);
  } else if (drag_ == Drag::moving) {
    dropTo_ = MoveTargetAt(x);
    SetMark(dropTo_ == dragCol_ ? -1 : ColumnEdge(dropTo_, dropTo_ > dragCol_));
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TDrawGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && drag_ != Drag::none) EndDrag(true, x);
  TCustomControl::MouseUp(button, shift, x, y);
}

void TDrawGrid::EndDrag(bool apply, int x) {
  const Drag drag = drag_;
  drag_ = Drag::none;
  SetMark(-1);
  if (!apply) return;
  if (drag == Drag::sizing) {
    SetColWidths(dragCol_, dragWidth_ + x - dragStartX_);
  } else if (drag == Drag::moving) {
    const int to = MoveTargetAt(x);
    if (to != dragCol_) {
      HideEditor(true);
      MoveColumn(dragCol_, to);
      if (options_ & goAlwaysShowEditor) ShowEditor();
    }
  }
}

int TDrawGrid::ColumnEdge(int col, bool right) const {
  const int x = Start(AxisOf(false), col);
  if (x < 0) return -1;
  return right ? x + colWidths_[static_cast<std::size_t>(col)] : x;
}

int TDrawGrid::SizingColumnAt(int x, int y) const {
  if (!(options_ & goColSizing) || y < 0 || y >= std::min(FixedExtent(AxisOf(true)), GridHeight())) return -1;
  if (x < 0 || x >= GridWidth()) return -1;
  constexpr int kReach = 3;
  int best = -1, bestDistance = kReach + 1;
  for (int c = 0; c < colCount_; ++c) {
    const int edge = ColumnEdge(c, true);
    if (edge < 0) continue;
    // Distance from the line's pixels edge .. edge + lineWidth - 1.
    const int distance = x < edge ? edge - x : std::max(0, x - (edge + std::max(1, lineWidth_) - 1));
    if (distance < bestDistance) {
      best = c;
      bestDistance = distance;
    }
  }
  return best;
}

int TDrawGrid::MoveTargetAt(int x) const {
  const Axis h = AxisOf(false);
  if (x < FixedExtent(h)) return std::max(fixedCols_, leftCol_);
  const int col = At(h, std::min(x, GridWidth() - 1));
  if (col >= fixedCols_) return col;
  // Right of the last column: the last one shown.
  int last = leftCol_;
  for (int c = leftCol_; c < colCount_ && Start(h, c) >= 0; ++c) last = c;
  return last;
}

void TDrawGrid::SetMark(int x) {
  if (x == markX_) return;
  InvertMark(markX_);
  InvertMark(x);
  markX_ = x;
}

void TDrawGrid::InvertMark(int x) const {
  if (x < 0 || !HandleAllocated()) return;
  HDC dc = GetDC(handle_);
  if (dc == nullptr) return;
  const int old = SetROP2(dc, R2_NOT);
  const int bottom = GridHeight();
  for (int dx = -1; dx <= 1; ++dx) {
    MoveToEx(dc, x + dx, 0, nullptr);
    LineTo(dc, x + dx, bottom);
  }
  SetROP2(dc, old);
  ReleaseDC(handle_, dc);
}

void TDrawGrid::MoveColumn(int from, int to) {
  if (from == to || from < fixedCols_ || to < fixedCols_ || from >= colCount_ || to >= colCount_) return;
  const int width = colWidths_[static_cast<std::size_t>(from)];
  colWidths_.erase(colWidths_.begin() + from);
  colWidths_.insert(colWidths_.begin() + to, width);
  // The current column keeps its cell.
  if (col_ == from) col_ = to;
  else if (from < to && col_ > from && col_ <= to) --col_;
  else if (from > to && col_ >= to && col_ < from) ++col_;
  Invalidate();
  ColumnMoved(from, to);
}

void TDrawGrid::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE:
      message.Result = DLGC_WANTARROWS | ((options_ & goTabs) ? DLGC_WANTTAB : 0) |
                       (CanEditShow() ? DLGC_WANTCHARS | DLGC_WANTALLKEYS : 0);
      return;
    case WM_PAINT: {
      RECT update{};
      paintTop_ = paintBottom_ = 0;
      if (message.WParam == 0 && HandleAllocated() && GetUpdateRect(handle_, &update, FALSE)) {
        paintTop_ = update.top;
        paintBottom_ = update.bottom;
      }
      TCustomControl::Dispatch(message);
      paintTop_ = paintBottom_ = 0;
      return;
    }
    case WM_ERASEBKGND:
      message.Result = 1;   // Paint covers the whole client area
      return;
    case WM_SETCURSOR:
      if (message.LParamLo() == HTCLIENT && reinterpret_cast<HWND>(message.WParam) == handle_) {
        POINT screen{};
        bool sizing = drag_ == Drag::sizing;
        if (!sizing && GetCursorPos(&screen)) {
          const TPoint p = ScreenToClient(TPoint(screen));
          sizing = SizingColumnAt(p.x, p.y) >= 0;
        }
        if (sizing) {
          ::SetCursor(Screen->Cursors(crHSplit));
          message.Result = TRUE;
          return;
        }
      }
      break;
    case WM_LBUTTONUP: {
      // The capture goes before MouseUp: that is no lost drag.
      const bool was = releasing_;
      releasing_ = true;
      TCustomControl::Dispatch(message);
      releasing_ = was;
      return;
    }
    case WM_CAPTURECHANGED:
      TCustomControl::Dispatch(message);
      if (drag_ != Drag::none && !releasing_ && reinterpret_cast<HWND>(message.LParam) != handle_) EndDrag(false, 0);
      return;
    case WM_MOUSEWHEEL: {
      const short delta = static_cast<short>(message.WParamHi());
      if (delta < 0 && row_ < rowCount_ - 1) MoveCurrent(col_, row_ + 1);
      else if (delta > 0 && row_ > fixedRows_) MoveCurrent(col_, row_ - 1);
      message.Result = 0;
      return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(message);
      if (options_ & goRowSelect) InvalidateRow(row_); else InvalidateCell(col_, row_);
      // The editor shown takes the focus the grid gets.
      if (message.Msg == WM_SETFOCUS && !hidingEditor_ && !Destroying()) {
        if (editorShown_ && editor_ != nullptr && editor_->Visible()) editor_->SetFocus();
        else if (options_ & goAlwaysShowEditor) ShowEditor();
      }
      return;
    default: break;
  }
  TCustomControl::Dispatch(message);
}

// ---- In-place editing ----------------------------------------------------------------------------

std::string TDrawGrid::GetEditText(int col, int row) {
  std::string value;
  Raise(OnGetEditText, static_cast<TObject*>(this), col, row, value);
  return value;
}

void TDrawGrid::SetEditText(int col, int row, const std::string& value) {
  Raise(OnSetEditText, static_cast<TObject*>(this), col, row, value);
}

bool TDrawGrid::CanEditShow() const {
  return (options_ & goEditing) && !(options_ & goRowSelect) && !Destroying();
}

void TDrawGrid::SetEditorMode(bool value) {
  if (value) ShowEditor();
  else HideEditor(true);
}

void TDrawGrid::ShowEditor() {
  if (!CanEditShow() || col_ < fixedCols_ || row_ < fixedRows_) return;
  if (editor_ == nullptr) editor_ = new TInplaceEdit(this);
  if (editorShown_ && (editCol_ != col_ || editRow_ != row_)) HideEditor(true);
  if (!editorShown_) {
    editCol_ = col_;
    editRow_ = row_;
    editOriginal_ = GetEditText(col_, row_);
    if (editor_ == nullptr || Destroying()) return;   // the handler freed it
    editor_->SetText(editOriginal_);
    editorShown_ = true;
  }
  PlaceEditor();
  if (HandleAllocated() && GetFocus() == handle_ && editor_->Visible()) editor_->SetFocus();
}

void TDrawGrid::HideEditor(bool commit) {
  if (!editorShown_ || editor_ == nullptr) {
    editorShown_ = false;
    return;
  }
  if (commit) CommitText();
  if (!editorShown_ || editor_ == nullptr) return;
  editorShown_ = false;
  const bool hadFocus = editor_->HandleAllocated() && GetFocus() == editor_->Handle();
  hidingEditor_ = true;
  if (hadFocus && CanFocus()) SetFocus();
  editor_->SetVisible(false);
  hidingEditor_ = false;
}

void TDrawGrid::CommitText() {
  if (!editorShown_ || editor_ == nullptr) return;
  const std::string text = editor_->Text();
  if (text == editOriginal_) return;
  editOriginal_ = text;
  SetEditText(editCol_, editRow_, text);
}

void TDrawGrid::CommitEditor() {
  CommitText();
  if (!(options_ & goAlwaysShowEditor)) HideEditor(false);
}

void TDrawGrid::RestoreEditor() {
  if (!editorShown_ || editor_ == nullptr) return;
  editor_->SetText(editOriginal_);
  if (!(options_ & goAlwaysShowEditor)) HideEditor(false);
}

bool TDrawGrid::EditorKeyEvent(WORD& key, TShiftState shift) {
  Raise(OnKeyDown, static_cast<TObject*>(this), key, shift);
  return key == 0 || Destroying();
}

void TDrawGrid::PlaceEditor() {
  if (!editorShown_ || editor_ == nullptr || Destroying()) return;
  const TRect r = CellRect(editCol_, editRow_);
  if (Empty(r)) {
    // Scrolled out of view: still editing, shown again when the cell comes back.
    if (editor_->HandleAllocated() && GetFocus() == editor_->Handle() && CanFocus()) {
      hidingEditor_ = true;
      SetFocus();
      hidingEditor_ = false;
    }
    editor_->SetVisible(false);
    return;
  }
  editor_->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  editor_->SetVisible(true);
}

void TDrawGrid::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  if (key == 0 || static_cast<unsigned char>(key) < 32 || !CanEditShow()) return;
  if (editorShown_) {
    // The rest of what was typed as the editor opened (the trail byte of a GBK pair was
    // already on its way to the grid): it belongs to the editor's text.
    if (editor_ != nullptr && editor_->Visible()) {
      editor_->TypeChar(key);
      key = 0;
    }
    return;
  }
  // A typed character opens the editor and replaces the text.
  ShowEditor();
  if (!editorShown_ || editor_ == nullptr) return;
  editor_->SetText("");
  editor_->TypeChar(key);
  key = 0;
}

TInplaceEdit::TInplaceEdit(TDrawGrid* grid) : TCustomEdit(grid), grid_(grid) {
  tabStop_ = false;
  SetAutoSelect(false);
  SetVisible(false);
  SetParent(grid);
}

TInplaceEdit::~TInplaceEdit() = default;

void TInplaceEdit::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  params.ExStyle &= ~WS_EX_CLIENTEDGE;
  params.Style |= ES_AUTOHSCROLL;
}

void TInplaceEdit::SetCaption(const std::string& text) {
  TCustomEdit::SetCaption(text);
  if (HandleAllocated() && !Destroying()) SetSelStart(static_cast<int>(Text().size()));
}

void TInplaceEdit::TypeChar(char key) {
  if (!HandleAllocated()) return;
  SendMessageA(Handle(), WM_CHAR, static_cast<unsigned char>(key), 1);
}

void TInplaceEdit::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE:
      message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTALLKEYS |
                       ((grid_->Options() & goTabs) ? DLGC_WANTTAB : 0);
      return;
    case WM_KILLFOCUS: {
      TCustomEdit::Dispatch(message);
      // Focus leaving the grid altogether keeps what was typed.
      const HWND to = reinterpret_cast<HWND>(message.WParam);
      if (!Destroying() && !grid_->Destroying() && (!grid_->HandleAllocated() || to != grid_->Handle()))
        grid_->CommitText();
      return;
    }
    default: break;
  }
  TCustomEdit::Dispatch(message);
}

void TInplaceEdit::KeyDown(WORD& key, TShiftState shift) {
  TCustomEdit::KeyDown(key, shift);
  // Every key is the grid's OnKeyDown's first, as if pressed in the grid.
  if (key == 0 || grid_->EditorKeyEvent(key, shift)) return;
  const bool plain = !shift.Contains(ssShift) && !shift.Contains(ssCtrl) && !shift.Contains(ssAlt);
  const bool forward = plain && (grid_->Options() & goAlwaysShowEditor) != 0;
  const int length = GetWindowTextLengthA(Handle());
  const int start = SelStart();
  const int end = start + SelLength();
  switch (key) {
    case VK_RETURN: grid_->CommitEditor(); break;
    case VK_ESCAPE: grid_->RestoreEditor(); break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_TAB:
      grid_->GridKey(key, shift);
      break;
    case VK_LEFT:
    case VK_HOME:
      if (!forward || start != 0 || (end != 0 && end != length)) return;
      grid_->GridKey(key, shift);
      break;
    case VK_RIGHT:
    case VK_END:
      if (!forward || end != length || (start != 0 && start != end)) return;
      grid_->GridKey(key, shift);
      break;
    default: return;
  }
  key = 0;
}

// ---- Painting ------------------------------------------------------------------------------------

void TDrawGrid::InvalidateCell(int col, int row) {
  if (!HandleAllocated()) return;
  TRect r = CellRect(col, row);
  if (Empty(r)) return;
  r.right += lineWidth_;
  r.bottom += lineWidth_;
  InvalidateRect(handle_, &r, FALSE);
}

void TDrawGrid::InvalidateRow(int row) {
  if (!HandleAllocated()) return;
  const TRect r = RowRect(row);
  if (Empty(r)) return;
  InvalidateRect(handle_, &r, FALSE);
}

void TDrawGrid::Paint() {
  // Only the rows crossing the invalid part are drawn.
  int from = -1, to = -1;
  if (paintBottom_ > paintTop_) {
    const Axis v = AxisOf(true);
    from = rowCount_;
    to = -1;
    for (int r = 0; r < rowCount_; ++r) {
      if (r >= fixedRows_ && r < topRow_) continue;
      const int y = Start(v, r);
      if (y < 0) {
        if (r >= topRow_) break;
        continue;
      }
      if (y < paintBottom_ && y + rowHeights_[static_cast<std::size_t>(r)] + lineWidth_ > paintTop_) {
        from = std::min(from, r);
        to = std::max(to, r);
      }
    }
    if (to < 0) from = to = -2;   // no row: only the blank area
  }
  PaintCells(Canvas(), from, to, true);
}

void TDrawGrid::RedrawRow(int row) {
  if (!HandleAllocated() || row < 0 || row >= rowCount_ || Empty(RowRect(row))) return;
  PaintCells(Canvas(), row, row, false);
  canvas_.FreeHandle();
}

void TDrawGrid::PaintCell(TCanvas* canvas, int col, int row) {
  const Axis h = AxisOf(false), v = AxisOf(true);
  const int x = Start(h, col), y = Start(v, row);
  if (x < 0 || y < 0) return;
  const int w = colWidths_[static_cast<std::size_t>(col)], ht = rowHeights_[static_cast<std::size_t>(row)];
  const TRect cell(x, y, std::min(x + w, h.extent), std::min(y + ht, v.extent));
  const bool fixed = col < fixedCols_ || row < fixedRows_;
  // Lines: right and bottom of the cell.
  if (lineWidth_ > 0) {
    const bool vert = (options_ & (fixed ? goFixedVertLine : goVertLine)) != 0;
    const bool horz = (options_ & (fixed ? goFixedHorzLine : goHorzLine)) != 0;
    const TColor lineColour = fixed ? cl3DDkShadow : (color_ == clBtnFace ? clBtnShadow : clBtnFace);
    const TColor gap = fixed ? fixedColor_ : color_;
    const int right = std::min(x + w + lineWidth_, h.extent), bottom = std::min(y + ht + lineWidth_, v.extent);
    Fill(canvas, vert ? lineColour : gap, cell.right, y, right, bottom);
    Fill(canvas, horz ? lineColour : gap, x, cell.bottom, cell.right, bottom);
  }
  if (Empty(cell)) return;
  const TGridDrawState state = StateOf(col, row);
  if (defaultDrawing_) {
    Fill(canvas, fixed ? fixedColor_ : (state & gdSelected) ? clHighlight : color_, cell.left, cell.top, cell.right,
         cell.bottom);
    DrawCell(col, row, cell, state);
  }
  Raise(OnDrawCell, static_cast<TObject*>(this), col, row, cell, state);
  if (defaultDrawing_ && fixed && HandleAllocated()) {
    // The raised edge of a fixed cell.
    Fill(canvas, clBtnHighlight, cell.left, cell.top, cell.right, cell.top + 1);
    Fill(canvas, clBtnHighlight, cell.left, cell.top, cell.left + 1, cell.bottom);
    Fill(canvas, clBtnShadow, cell.right - 1, cell.top, cell.right, cell.bottom);
    Fill(canvas, clBtnShadow, cell.left, cell.bottom - 1, cell.right, cell.bottom);
  } else if (defaultDrawing_ && (state & gdFocused)) {
    canvas->DrawFocusRect(cell);
  }
}

void TDrawGrid::PaintCells(TCanvas* canvas, int rowFrom, int rowTo, bool blank) {
  canvas->Font()->Assign(*Font());
  canvas->Brush()->SetStyle(bsSolid);
  const Axis v0 = AxisOf(true);
  // Rows in screen order: the fixed ones, then the scrolling ones from TopRow. Counts are read
  // afresh at each cell: a handler may change them.
  std::vector<int> rows;
  for (int r = 0; r < fixedRows_; ++r) rows.push_back(r);
  for (int r = topRow_, y = std::max(0, Start(v0, topRow_)); r < rowCount_ && y >= 0 && y < v0.extent; ++r) {
    rows.push_back(r);
    y += rowHeights_[static_cast<std::size_t>(r)] + lineWidth_;
  }
  for (int r : rows) {
    if (rowFrom != -1 && (r < rowFrom || r > rowTo)) continue;
    for (int c = 0; c < colCount_; ++c) {
      if (r >= rowCount_) break;
      if (c >= fixedCols_ && c < leftCol_) continue;
      const Axis h = AxisOf(false);
      const int x = Start(h, c);
      if (x < 0) {
        if (c >= leftCol_) break;
        continue;
      }
      PaintCell(canvas, c, r);
    }
  }
  if (!blank) return;
  // Where the last column and row end (read after the handlers ran).
  const int endX = End(AxisOf(false)), endY = End(AxisOf(true));
  // The area right of and below the last cell.
  Fill(canvas, color_, endX, 0, GridWidth(), GridHeight());
  Fill(canvas, color_, 0, endY, endX, GridHeight());
  if (vShown_ && hShown_) Fill(canvas, clBtnFace, GridWidth(), GridHeight(), ClientWidth(), ClientHeight());
}

// ---- TStringGrid ---------------------------------------------------------------------------------

// A row or column of the grid seen as a string list.
class TStringGrid::Line : public TStrings {
 public:
  Line(TStringGrid* grid, bool isRow, int index) : grid_(grid), isRow_(isRow), index_(index) {}
  bool IsRow() const { return isRow_; }
  int Index() const { return index_; }
  int Count() const override { return isRow_ ? grid_->ColCount() : grid_->RowCount(); }
  std::string Get(int i) const override { return isRow_ ? grid_->Cells(i, index_) : grid_->Cells(index_, i); }
  void Put(int i, const std::string& s) override {
    if (isRow_) grid_->SetCells(i, index_, s); else grid_->SetCells(index_, i, s);
  }
  void* GetObject(int i) const override { return isRow_ ? grid_->Objects(i, index_) : grid_->Objects(index_, i); }
  void PutObject(int i, void* o) override {
    if (isRow_) grid_->SetObjects(i, index_, o); else grid_->SetObjects(index_, i, o);
  }
  // The line's length is the grid's. Add (an insert at the end) fills the next slot by position
  // (after Clear: cell 0, 1, ...); Insert shifts the cells from the index one on (the last one
  // falls off); Delete shifts the later cells back and empties the last.
  void Insert(int i, const std::string& s) override {
    const int count = Count();
    if (i < 0 || i > count) return;
    if (i == count) {
      i = added_;
      if (i >= count) return;
      Put(i, s);
      added_ = i + 1;
      return;
    }
    for (int k = count - 1; k > i; --k) {
      Put(k, Get(k - 1));
      PutObject(k, GetObject(k - 1));
    }
    Put(i, s);
    PutObject(i, nullptr);
  }
  void Delete(int i) override {
    const int count = Count();
    if (i < 0 || i >= count) return;
    for (int k = i; k < count - 1; ++k) {
      Put(k, Get(k + 1));
      PutObject(k, GetObject(k + 1));
    }
    Put(count - 1, std::string());
    PutObject(count - 1, nullptr);
  }
  void Clear() override {
    for (int i = 0; i < Count(); ++i) {
      Put(i, std::string());
      PutObject(i, nullptr);
    }
    added_ = 0;
  }

 private:
  TStringGrid* grid_;
  bool isRow_;
  int index_;
  int added_ = 0;
};

TStringGrid::TStringGrid(TComponent* owner) : TDrawGrid(owner) { TStringGrid::SizeChanged(); }

TStringGrid::~TStringGrid() = default;

void TStringGrid::SizeChanged() {
  const int cols = ColCount(), rows = RowCount();
  const int oldCols = cellCols_;
  const int oldRows = oldCols > 0 ? static_cast<int>(cells_.size()) / oldCols : 0;
  if (cols == oldCols && rows == oldRows) return;
  std::vector<Cell> cells(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows));
  for (int r = 0; r < std::min(rows, oldRows); ++r)
    for (int c = 0; c < std::min(cols, oldCols); ++c)
      cells[static_cast<std::size_t>(r) * cols + c] = std::move(cells_[static_cast<std::size_t>(r) * oldCols + c]);
  cells_ = std::move(cells);
  cellCols_ = cols;
}

TStringGrid::Cell* TStringGrid::CellAt(int col, int row) {
  if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount()) return nullptr;
  return &cells_[static_cast<std::size_t>(row) * cellCols_ + col];
}

const TStringGrid::Cell* TStringGrid::CellAt(int col, int row) const {
  return const_cast<TStringGrid*>(this)->CellAt(col, row);
}

std::string TStringGrid::Cells(int col, int row) const {
  const Cell* cell = CellAt(col, row);
  return cell != nullptr ? cell->text : std::string();
}

void TStringGrid::SetCells(int col, int row, const std::string& text) {
  Cell* cell = CellAt(col, row);
  if (cell == nullptr || cell->text == text) return;
  cell->text = text;
  InvalidateCell(col, row);
}

void* TStringGrid::Objects(int col, int row) const {
  const Cell* cell = CellAt(col, row);
  return cell != nullptr ? cell->object : nullptr;
}

void TStringGrid::SetObjects(int col, int row, void* object) {
  if (Cell* cell = CellAt(col, row)) cell->object = object;
}

TStrings* TStringGrid::Rows(int row) {
  if (row < 0 || row >= RowCount()) return nullptr;
  for (auto& line : lines_)
    if (line->IsRow() && line->Index() == row) return line.get();
  lines_.push_back(std::make_unique<Line>(this, true, row));
  return lines_.back().get();
}

TStrings* TStringGrid::Cols(int col) {
  if (col < 0 || col >= ColCount()) return nullptr;
  for (auto& line : lines_)
    if (!line->IsRow() && line->Index() == col) return line.get();
  lines_.push_back(std::make_unique<Line>(this, false, col));
  return lines_.back().get();
}

void TStringGrid::ColumnMoved(int from, int to) {
  const int cols = ColCount();
  if (cellCols_ == cols && from >= 0 && to >= 0 && from < cols && to < cols) {
    for (int r = 0; r < RowCount(); ++r) {
      auto first = cells_.begin() + static_cast<std::ptrdiff_t>(r) * cols;
      if (from < to) std::rotate(first + from, first + from + 1, first + to + 1);
      else std::rotate(first + to, first + from, first + from + 1);
    }
  }
  TDrawGrid::ColumnMoved(from, to);
}

std::string TStringGrid::GetEditText(int col, int row) {
  std::string value = Cells(col, row);
  if (OnGetEditText) {
    TGetEditEvent handler = OnGetEditText;
    handler(this, col, row, value);
  }
  return value;
}

void TStringGrid::SetEditText(int col, int row, const std::string& value) {
  SetCells(col, row, value);
  TDrawGrid::SetEditText(col, row, value);
}

void TStringGrid::DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {
  const Cell* cell = CellAt(col, row);
  if (cell == nullptr || cell->text.empty()) return;
  TCanvas* canvas = Canvas();
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetColor((state & gdSelected) ? clHighlightText : Font()->Color());
  canvas->TextRect(rect, rect.left + 2, rect.top + 2, cell->text);
  canvas->Brush()->SetStyle(bsSolid);
}
