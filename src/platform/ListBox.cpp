// List boxes drawn by us: rows, selection, columns, scrolling, keys, the LB_ messages, painting.
#include "platform/ListBox.h"

#include "platform/Gdi.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>

namespace {

[[noreturn]] void IndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

constexpr int kBarSize = 16;

}  // namespace

// ---- TListBoxStrings ----------------------------------------------------------------------------

void TListBoxStrings::Check(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
}

std::string TListBoxStrings::Get(int index) const {
  Check(index);
  return rows_[static_cast<std::size_t>(index)].text;
}

void TListBoxStrings::Put(int index, const std::string& s) {
  Check(index);
  rows_[static_cast<std::size_t>(index)].text = s;
  Changed();
}

void* TListBoxStrings::GetObject(int index) const {
  Check(index);
  return rows_[static_cast<std::size_t>(index)].object;
}

void TListBoxStrings::PutObject(int index, void* object) {
  Check(index);
  rows_[static_cast<std::size_t>(index)].object = object;
}

int TListBoxStrings::Add(const std::string& s) { return AddObject(s, nullptr); }

int TListBoxStrings::AddObject(const std::string& s, void* object) {
  int index = Count();
  if (box_->Sorted()) {
    // After the equal strings already there: equal strings keep the order they came in.
    auto at = std::upper_bound(rows_.begin(), rows_.end(), s,
                               [](const std::string& v, const Row& r) { return AnsiCompareText(v, r.text) < 0; });
    index = static_cast<int>(at - rows_.begin());
  }
  InsertObject(index, s, object);
  return index;
}

void TListBoxStrings::Insert(int index, const std::string& s) {
  if (index < 0 || index > Count()) IndexError(index);
  rows_.insert(rows_.begin() + index, Row{s});
  if (box_->caret_ >= index) ++box_->caret_;
  if (box_->anchor_ >= index) ++box_->anchor_;
  Changed();
}

void TListBoxStrings::Delete(int index) {
  Check(index);
  rows_.erase(rows_.begin() + index);
  for (int* mark : {&box_->caret_, &box_->anchor_}) {
    if (*mark == index) *mark = -1;
    else if (*mark > index) --*mark;
  }
  Changed();
}

void TListBoxStrings::Clear() {
  if (rows_.empty()) return;
  rows_.clear();
  box_->caret_ = box_->anchor_ = -1;
  box_->top_ = 0;
  Changed();
}

void TListBoxStrings::Exchange(int a, int b) {
  Check(a);
  Check(b);
  if (KeepsSortOrder()) throw EStringListError("Operation not allowed on sorted list");
  if (a == b) return;
  std::swap(rows_[static_cast<std::size_t>(a)], rows_[static_cast<std::size_t>(b)]);
  for (int* mark : {&box_->caret_, &box_->anchor_}) {
    if (*mark == a) *mark = b;
    else if (*mark == b) *mark = a;
  }
  Changed();
}

void TListBoxStrings::Move(int from, int to) {
  Check(from);
  Check(to);
  if (KeepsSortOrder()) throw EStringListError("Operation not allowed on sorted list");
  if (from == to) return;
  Row row = std::move(rows_[static_cast<std::size_t>(from)]);
  rows_.erase(rows_.begin() + from);
  rows_.insert(rows_.begin() + to, std::move(row));
  for (int* mark : {&box_->caret_, &box_->anchor_}) {
    if (*mark == from) *mark = to;
    else if (from < to && *mark > from && *mark <= to) --*mark;
    else if (from > to && *mark >= to && *mark < from) ++*mark;
  }
  Changed();
}

bool TListBoxStrings::KeepsSortOrder() const { return box_->Sorted(); }

void TListBoxStrings::SetUpdateState(bool updating) {
  if (!updating) box_->ItemsChanged();
}

void TListBoxStrings::Changed() {
  if (updateCount_ == 0) box_->ItemsChanged();
}

// ---- TCustomListBox -----------------------------------------------------------------------------

TCustomListBox::TCustomListBox(TComponent* owner) : TCustomControl(owner) {
  color_ = clWindow;
  tabStop_ = true;
  SetBounds(0, 0, 121, 97);
  vbar_ = new TControlScrollBar(this, sbVertical, [this](TScrollCode, int& position) { BarScrolled(true, position); });
  hbar_ = new TControlScrollBar(this, sbHorizontal, [this](TScrollCode, int& position) { BarScrolled(false, position); });
}

TCustomListBox::~TCustomListBox() = default;

void TCustomListBox::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomListBox::Notification(TComponent* component, bool inserted) {
  TCustomControl::Notification(component, inserted);
  if (inserted) return;
  if (component == vbar_) vbar_ = nullptr;
  if (component == hbar_) hbar_ = nullptr;
}

bool TCustomListBox::Selected(int index) const {
  if (index < 0 || index >= items_.Count()) return false;
  if (!multiSelect_) return index == caret_;
  return items_.rows_[static_cast<std::size_t>(index)].selected;
}

void TCustomListBox::SetSelected(int index, bool value) {
  if (index < 0 || index >= items_.Count()) return;
  if (!multiSelect_) {
    if (value) SetItemIndex(index);
    else if (index == caret_) SetItemIndex(-1);
    return;
  }
  auto& row = items_.rows_[static_cast<std::size_t>(index)];
  if (row.selected == value) return;
  row.selected = value;
  Invalidate();
}

int TCustomListBox::SelCount() const {
  if (!multiSelect_) return -1;
  return static_cast<int>(std::count_if(items_.rows_.begin(), items_.rows_.end(),
                                        [](const auto& r) { return r.selected; }));
}

void TCustomListBox::ClearSelection() {
  for (auto& r : items_.rows_) r.selected = false;
  if (!multiSelect_) caret_ = -1;
  Invalidate();
}

void TCustomListBox::SelectAll() {
  if (!multiSelect_) return;
  for (auto& r : items_.rows_) r.selected = true;
  Invalidate();
}

void TCustomListBox::SetItemIndex(int index) {
  if (index < -1 || index >= items_.Count()) return;
  if (multiSelect_ && index >= 0) {
    // The row becomes the focused one and is selected too; the others keep theirs.
    items_.rows_[static_cast<std::size_t>(index)].selected = true;
  }
  caret_ = index;
  anchor_ = index;
  if (index >= 0) MakeVisible(index);
  Invalidate();
}

void TCustomListBox::SetMultiSelect(bool value) {
  if (value == multiSelect_) return;
  multiSelect_ = value;
  for (auto& r : items_.rows_) r.selected = false;
  if (value && caret_ >= 0) items_.rows_[static_cast<std::size_t>(caret_)].selected = true;
  Invalidate();
}

void TCustomListBox::SetSorted(bool value) {
  if (value == sorted_) return;
  sorted_ = value;
  if (!value) return;
  auto& rows = items_.rows_;
  std::vector<std::size_t> order(rows.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return AnsiCompareText(rows[a].text, rows[b].text) < 0; });
  std::vector<TListBoxStrings::Row> sorted;
  sorted.reserve(rows.size());
  int newCaret = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (static_cast<int>(order[i]) == caret_) newCaret = static_cast<int>(i);
    sorted.push_back(std::move(rows[order[i]]));
  }
  rows = std::move(sorted);
  caret_ = newCaret;
  anchor_ = newCaret;
  ItemsChanged();
}

void TCustomListBox::SetColumns(int value) {
  value = std::max(0, value);
  if (value == columns_) return;
  columns_ = value;
  top_ = 0;
  ItemsChanged();
}

void TCustomListBox::SetItemHeight(int value) {
  value = std::max(1, value);
  if (value == itemHeight_) return;
  itemHeight_ = value;
  ItemsChanged();
}

void TCustomListBox::SetStyle(TListBoxStyle value) {
  if (value == style_) return;
  style_ = value;
  Invalidate();
}

int TCustomListBox::RowsPerColumn() const {
  const TRect list = ListRect();
  return std::max(1, list.Height() / itemHeight_);
}

int TCustomListBox::TotalColumns() const {
  const int rows = RowsPerColumn();
  return (items_.Count() + rows - 1) / rows;
}

TRect TCustomListBox::ListRect() const {
  TRect r(0, 0, ClientWidth(), ClientHeight());
  if (vbar_ != nullptr && vbar_->Visible()) r.right = std::max(0, r.right - kBarSize);
  if (hbar_ != nullptr && hbar_->Visible()) r.bottom = std::max(0, r.bottom - kBarSize);
  return r;
}

void TCustomListBox::SetTopIndex(int index) {
  const int count = items_.Count();
  int rows = RowsPerColumn();
  int highest = 0;
  if (columns_ > 0) {
    // Whole columns: the top is a column's first row.
    index = std::max(0, index) / rows * rows;
    const int lastColumnStart = std::max(0, TotalColumns() - columns_) * rows;
    highest = lastColumnStart;
  } else {
    highest = std::max(0, count - rows);
  }
  index = std::clamp(index, 0, highest);
  if (index == top_) return;
  top_ = index;
  UpdateBars();
  Invalidate();
}

void TCustomListBox::MakeVisible(int index) {
  if (index < 0 || index >= items_.Count()) return;
  const int rows = RowsPerColumn();
  if (columns_ > 0) {
    const int column = index / rows;
    const int topColumn = top_ / rows;
    if (column < topColumn) SetTopIndex(column * rows);
    else if (column >= topColumn + columns_) SetTopIndex((column - columns_ + 1) * rows);
  } else {
    if (index < top_) SetTopIndex(index);
    else if (index >= top_ + rows) SetTopIndex(index - rows + 1);
  }
}

TRect TCustomListBox::ItemRect(int index) const {
  if (index < 0 || index >= items_.Count()) return TRect(0, 0, 0, 0);
  const TRect list = ListRect();
  if (columns_ > 0) {
    const int rows = RowsPerColumn();
    const int width = ClientWidth() / columns_;
    const int column = index / rows - top_ / rows;
    const int row = index % rows;
    return TRect(column * width, row * itemHeight_, (column + 1) * width, (row + 1) * itemHeight_);
  }
  const int y = (index - top_) * itemHeight_;
  return TRect(0, y, list.right, y + itemHeight_);
}

int TCustomListBox::ItemAtPos(const TPoint& point, bool existing) const {
  const TRect list = ListRect();
  const int count = items_.Count();
  int index = -1;
  if (point.x >= 0 && point.y >= 0 && point.x < list.right && point.y < list.bottom) {
    if (columns_ > 0) {
      const int rows = RowsPerColumn();
      const int width = std::max(1, ClientWidth() / columns_);
      const int row = point.y / itemHeight_;
      if (row < rows) index = top_ + (point.x / width) * rows + row;
    } else {
      index = top_ + point.y / itemHeight_;
    }
  }
  if (index >= 0 && index < count) return index;
  return existing ? -1 : count;
}

void TCustomListBox::UpdateBars() {
  if (updatingBars_ || vbar_ == nullptr || hbar_ == nullptr) return;
  updatingBars_ = true;
  const int count = items_.Count();
  const int cw = ClientWidth(), ch = ClientHeight();
  if (columns_ > 0) {
    vbar_->SetVisible(false);
    // Is a horizontal bar needed? Decide with the rows of the full height, then with the bar.
    hbar_->SetVisible(false);
    int rows = std::max(1, ch / itemHeight_);
    if ((count + rows - 1) / rows > columns_) {
      hbar_->SetVisible(true);
      rows = RowsPerColumn();
    }
    if (hbar_->Visible()) {
      hbar_->SetBounds(0, std::max(0, ch - kBarSize), cw, kBarSize);
      const int total = (count + rows - 1) / rows;
      hbar_->SetRange(top_ / rows, 0, std::max(0, total - 1), columns_);
    }
  } else {
    hbar_->SetVisible(false);
    const int rows = std::max(1, ch / itemHeight_);
    vbar_->SetVisible(count > rows);
    if (vbar_->Visible()) {
      vbar_->SetBounds(std::max(0, cw - kBarSize), 0, kBarSize, ch);
      vbar_->SetRange(top_, 0, std::max(0, count - 1), rows);
    }
  }
  updatingBars_ = false;
}

void TCustomListBox::BarScrolled(bool vertical, int position) {
  if (vertical) SetTopIndex(position);
  else SetTopIndex(position * RowsPerColumn());
}

void TCustomListBox::ItemsChanged() {
  if (caret_ >= items_.Count()) caret_ = -1;
  if (anchor_ >= items_.Count()) anchor_ = -1;
  UpdateBars();
  // Keep the top within reach after rows went away.
  const int top = top_;
  top_ = -1;
  SetTopIndex(top);
  if (top_ < 0) top_ = 0;
  UpdateBars();
  Invalidate();
}

void TCustomListBox::Resize() {
  TCustomControl::Resize();
  ItemsChanged();
}

std::vector<bool> TCustomListBox::SelectionSnapshot() const {
  std::vector<bool> out;
  out.reserve(items_.rows_.size() + 1);
  for (const auto& r : items_.rows_) out.push_back(r.selected);
  out.push_back(false);
  return out;
}

void TCustomListBox::SelectionChanged() { TControl::Click(); }

void TCustomListBox::MoveCaret(int index, TShiftState shift, bool byMouse) {
  const int count = items_.Count();
  if (count == 0) return;
  index = std::clamp(index, 0, count - 1);
  const int oldCaret = caret_;
  const std::vector<bool> before = SelectionSnapshot();
  auto& rows = items_.rows_;
  if (!multiSelect_) {
    caret_ = anchor_ = index;
  } else if (!extendedSelect_) {
    // Plain multiple selection: a click toggles its row; keys only move the focus.
    caret_ = index;
    if (byMouse) rows[static_cast<std::size_t>(index)].selected = !rows[static_cast<std::size_t>(index)].selected;
  } else if (shift.Contains(ssShift) && anchor_ >= 0) {
    // From the anchor to the row; Ctrl keeps the rest of the selection.
    if (!shift.Contains(ssCtrl))
      for (auto& r : rows) r.selected = false;
    const int from = std::min(anchor_, index), to = std::max(anchor_, index);
    for (int i = from; i <= to; ++i) rows[static_cast<std::size_t>(i)].selected = true;
    caret_ = index;
  } else if (shift.Contains(ssCtrl)) {
    // Ctrl+click toggles one row; Ctrl with a key moves only the focus.
    caret_ = index;
    if (byMouse) {
      rows[static_cast<std::size_t>(index)].selected = !rows[static_cast<std::size_t>(index)].selected;
      anchor_ = index;
    }
  } else {
    for (auto& r : rows) r.selected = false;
    rows[static_cast<std::size_t>(index)].selected = true;
    caret_ = anchor_ = index;
  }
  MakeVisible(index);
  Invalidate();
  if (caret_ != oldCaret || SelectionSnapshot() != before) SelectionChanged();
}

void TCustomListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    const int index = ItemAtPos(TPoint(x, y), true);
    if (index >= 0 && !shift.Contains(ssDouble)) {
      if (!RowPressed(index, x, y)) {
        MoveCaret(index, shift, true);
        dragSelecting_ = !multiSelect_ || extendedSelect_;
      }
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomListBox::MouseMove(TShiftState shift, int x, int y) {
  // Dragging with the button down moves the single selection along, or extends the extended
  // selection from the anchor (Ctrl held keeps the rest).
  if (dragSelecting_ && shift.Contains(ssLeft) && MouseCaptured()) {
    const int index = ItemAtPos(TPoint(x, y), true);
    if (index >= 0 && index != caret_) {
      TShiftState drag;
      if (multiSelect_) {
        drag << ssShift;
        if (shift.Contains(ssCtrl)) drag << ssCtrl;
      }
      MoveCaret(index, drag, true);
    }
  } else if (!shift.Contains(ssLeft)) {
    dragSelecting_ = false;
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomListBox::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  const int count = items_.Count();
  if (key == 0 || count == 0) return;
  const int rows = RowsPerColumn();
  const int current = caret_ < 0 ? -1 : caret_;
  int target = -2;
  switch (key) {
    case VK_UP: target = current < 0 ? 0 : current - 1; break;
    case VK_DOWN: target = current + 1; break;
    case VK_LEFT: target = columns_ > 0 ? current - rows : current - 1; break;
    case VK_RIGHT: target = columns_ > 0 ? current + rows : current + 1; break;
    case VK_PRIOR: target = columns_ > 0 ? current - rows * columns_ : current - std::max(1, rows - 1); break;
    case VK_NEXT: target = columns_ > 0 ? current + rows * columns_ : current + std::max(1, rows - 1); break;
    case VK_HOME: target = 0; break;
    case VK_END: target = count - 1; break;
    case VK_SPACE:
      if (multiSelect_ && caret_ >= 0 && !shift.Contains(ssShift) &&
          (!extendedSelect_ || shift.Contains(ssCtrl))) {
        auto& row = items_.rows_[static_cast<std::size_t>(caret_)];
        row.selected = !row.selected;
        anchor_ = caret_;
        Invalidate();
        SelectionChanged();
      }
      return;
    default: return;
  }
  key = 0;
  MoveCaret(std::clamp(target, 0, count - 1), shift, false);
}

void TCustomListBox::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  const auto c = static_cast<unsigned char>(key);
  if (key == 0 || c <= ' ' || c >= 0x80 || items_.Count() == 0) return;
  // The next row after the current one whose text starts with the letter (case ignored).
  const int count = items_.Count();
  auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch; };
  for (int step = 1; step <= count; ++step) {
    const int i = ((caret_ < 0 ? -1 : caret_) + step) % count;
    const std::string& text = items_.rows_[static_cast<std::size_t>(i)].text;
    if (!text.empty() && lower(static_cast<unsigned char>(text[0])) == lower(c)) {
      MoveCaret(i, TShiftState(), false);
      break;
    }
  }
  key = 0;
}

LRESULT TCustomListBox::ListMessage(TMessage& message, bool& handled) {
  handled = true;
  const int count = items_.Count();
  const auto index = static_cast<int>(message.WParam);
  const bool inside = index >= 0 && index < count;
  switch (message.Msg) {
    case LB_GETCOUNT: return count;
    case LB_GETCURSEL: return multiSelect_ ? caret_ : (caret_ >= 0 ? caret_ : LB_ERR);
    case LB_SETCURSEL:
      if (multiSelect_) return LB_ERR;
      if (index == -1) {
        SetItemIndex(-1);
        return LB_ERR;   // the native answer for clearing the selection
      }
      if (!inside) return LB_ERR;
      SetItemIndex(index);
      return index;
    case LB_GETTEXT: {
      if (!inside) return LB_ERR;
      char* buffer = reinterpret_cast<char*>(message.LParam);
      if (buffer == nullptr) return 0;
      const std::string& text = items_.rows_[static_cast<std::size_t>(index)].text;
      std::memcpy(buffer, text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETTEXTLEN:
      if (!inside) return LB_ERR;
      return static_cast<LRESULT>(items_.rows_[static_cast<std::size_t>(index)].text.size());
    case LB_GETSEL: {
      const auto i = static_cast<int>(message.WParam);
      if (i < 0 || i >= count) return LB_ERR;
      return Selected(i) ? 1 : 0;
    }
    case LB_SETSEL: {
      // wParam the state, lParam the row (-1: every row).
      const auto i = static_cast<int>(message.LParam);
      if (!multiSelect_) return LB_ERR;
      if (i == -1) {
        for (auto& r : items_.rows_) r.selected = message.WParam != 0;
        Invalidate();
        return LB_OKAY;
      }
      if (i < 0 || i >= count) return LB_ERR;
      SetSelected(i, message.WParam != 0);
      return LB_OKAY;
    }
    case LB_GETSELCOUNT: return multiSelect_ ? SelCount() : LB_ERR;
    case LB_ADDSTRING: {
      const char* text = reinterpret_cast<const char*>(message.LParam);
      if (text == nullptr) return LB_ERR;   // no text to add: refused, the list unchanged
      return items_.Add(text);
    }
    case LB_DELETESTRING:
      if (!inside) return LB_ERR;
      items_.Delete(index);
      return items_.Count();
    case LB_RESETCONTENT: items_.Clear(); return LB_OKAY;
    default: handled = false; return 0;
  }
}

void TCustomListBox::Dispatch(TMessage& message) {
  bool handled = false;
  const LRESULT result = ListMessage(message, handled);
  if (handled) {
    message.Result = result;
    return;
  }
  switch (message.Msg) {
    case WM_GETDLGCODE: message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case WM_ERASEBKGND: message.Result = 1; return;   // Paint covers the client area
    case WM_MOUSEWHEEL: {
      // Three rows a notch, or a column a notch with columns; the selection stays.
      const int notches = GET_WHEEL_DELTA_WPARAM(message.WParam) / WHEEL_DELTA;
      SetTopIndex(top_ - notches * (columns_ > 0 ? RowsPerColumn() : 3));
      message.Result = 0;
      return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(message);
      Invalidate();
      return;
    default: TCustomControl::Dispatch(message);
  }
}

// ---- Painting -----------------------------------------------------------------------------------

void TCustomListBox::Paint() {
  TCanvas* canvas = Canvas();
  canvas->Brush()->SetColor(color_);
  canvas->FillRect(ListRect());
  if (vbar_ != nullptr && vbar_->Visible() && hbar_ != nullptr && hbar_->Visible()) {
    canvas->Brush()->SetColor(clBtnFace);
    canvas->FillRect(TRect(ClientWidth() - kBarSize, ClientHeight() - kBarSize, ClientWidth(), ClientHeight()));
  }
  const TRect list = ListRect();
  const int count = items_.Count();
  const bool focused = Focused();
  HDC dc = canvas->Handle();
  SaveDC(dc);
  IntersectClipRect(dc, list.left, list.top, list.right, list.bottom);
  for (int i = top_; i < count; ++i) {
    const TRect r = ItemRect(i);
    if (r.left >= list.right || (columns_ == 0 && r.top >= list.bottom)) break;
    if (r.bottom > list.bottom && columns_ > 0 && r.top >= list.bottom) continue;
    TOwnerDrawState state;
    if (Selected(i)) state << odSelected;
    if (focused && i == caret_) state << odFocused;
    if (!Enabled()) state << odDisabled;
    DrawItem(i, r, state);
  }
  RestoreDC(dc, -1);
}

void TCustomListBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
  if (style_ == lbOwnerDrawFixed && OnDrawItem) {
    OnDrawItem(this, index, rect, state);
  } else {
    DrawItemFace(index, rect, state);
  }
  if (state.Contains(odFocused)) {
    TCanvas* canvas = Canvas();
    TRect focus = rect;
    focus.left += TextIndent();
    canvas->DrawFocusRect(focus);
  }
}

void TCustomListBox::DrawItemFace(int index, const TRect& rect, TOwnerDrawState state) {
  TCanvas* canvas = Canvas();
  TRect text = rect;
  text.left += TextIndent();
  const bool selected = state.Contains(odSelected);
  canvas->Brush()->SetColor(selected ? clHighlight : color_);
  canvas->FillRect(text);
  canvas->Font()->Assign(*Font());
  canvas->Font()->SetColor(selected ? clHighlightText : (Enabled() ? Font()->Color() : clGrayText));
  canvas->Brush()->SetStyle(bsClear);
  const int ty = text.top + (text.Height() - canvas->TextHeight("Hg")) / 2;
  canvas->TextRect(text, text.left + 2, ty, items_.rows_[static_cast<std::size_t>(index)].text);
  canvas->Brush()->SetStyle(bsSolid);
}

// ---- TCheckListBox ------------------------------------------------------------------------------

TCheckBoxState TCheckListBox::State(int index) const {
  if (index < 0 || index >= items_.Count()) return cbUnchecked;
  return items_.rows_[static_cast<std::size_t>(index)].state;
}

void TCheckListBox::SetState(int index, TCheckBoxState value) {
  if (index < 0 || index >= items_.Count()) return;
  auto& row = items_.rows_[static_cast<std::size_t>(index)];
  if (row.state == value) return;
  row.state = value;
  Invalidate();
}

TRect TCheckListBox::GlyphRect(int index) const {
  const TRect row = ItemRect(index);
  if (row.right <= row.left) return row;
  constexpr int box = 13;
  const int left = row.left + (kGlyphWidth - box) / 2;
  const int top = row.top + (row.Height() - box) / 2;
  return TRect(left, top, left + box, top + box);
}

void TCheckListBox::Toggle(int index) {
  switch (State(index)) {
    case cbUnchecked: SetState(index, cbChecked); break;
    case cbChecked: SetState(index, allowGrayed_ ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(index, cbUnchecked); break;
  }
  ClickCheck();
}

void TCheckListBox::ClickCheck() {
  if (OnClickCheck) OnClickCheck(this);
}

bool TCheckListBox::RowPressed(int index, int x, int y) {
  const TRect row = ItemRect(index);
  if (x >= row.left && x < row.left + kGlyphWidth) {
    // The glyph's column: the row becomes current, then its check toggles.
    MoveCaret(index, TShiftState(), true);
    Toggle(index);
    return true;
  }
  return false;
}

void TCheckListBox::KeyPress(char& key) {
  if (key == ' ' && caret_ >= 0) {
    TCustomControl::KeyPress(key);   // OnKeyPress first; it may drop the key
    if (key == 0) return;
    Toggle(caret_);
    key = 0;
    return;
  }
  TCustomListBox::KeyPress(key);
}

void TCheckListBox::DrawItemFace(int index, const TRect& rect, TOwnerDrawState state) {
  TCanvas* canvas = Canvas();
  canvas->Brush()->SetColor(color_);
  canvas->FillRect(TRect(rect.left, rect.top, rect.left + kGlyphWidth, rect.bottom));
  TCustomListBox::DrawItemFace(index, rect, state);
  const TRect g = GlyphRect(index);
  // A sunken box, white inside, with the tick (gray when grayed).
  canvas->Pen()->SetColor(clBtnShadow);
  canvas->Brush()->SetColor(clWindow);
  canvas->Rectangle(g.left, g.top, g.right, g.bottom);
  const TCheckBoxState s = State(index);
  if (s == cbGrayed) {
    canvas->Brush()->SetColor(clBtnFace);
    canvas->FillRect(TRect(g.left + 1, g.top + 1, g.right - 1, g.bottom - 1));
  }
  if (s != cbUnchecked) {
    HDC dc = canvas->Handle();
    const COLORREF tick = ColorToRGB(s == cbGrayed ? clBtnShadow : clWindowText);
    for (int column = 0; column < 7; ++column) {
      const int top = column < 3 ? 2 + column : 6 - column;
      for (int row = top; row < top + 3; ++row) SetPixelV(dc, g.left + 3 + column, g.top + 1 + row, tick);
    }
  }
}
