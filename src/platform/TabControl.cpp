#include "platform/TabControl.h"

#include "platform/Gdi.h"
#include "platform/WinUser.h"

#include <algorithm>

namespace {

// Text size in a font, measured on a memory context so that no window has to exist; an empty
// text still gets the font's height.
SIZE MeasureText(TFont* font, const std::string& text) {
  SIZE size{0, 0};
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return size;
  HGDIOBJ old = SelectObject(dc, font->Handle());
  TEXTMETRICA metrics{};
  if (GetTextMetricsA(dc, &metrics)) size.cy = metrics.tmHeight;
  if (!text.empty()) {
    SIZE extent{0, 0};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
    size.cx = extent.cx;
    size.cy = std::max(size.cy, extent.cy);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return size;
}

bool Inside(const TRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void Line(TCanvas* canvas, TColor color, int x1, int y1, int x2, int y2) {
  canvas->Pen()->SetColor(color);
  canvas->MoveTo(x1, y1);
  canvas->LineTo(x2, y2);
}

void Fill(TCanvas* canvas, TColor color, const TRect& rect) {
  canvas->Brush()->SetColor(color);
  canvas->FillRect(rect);
}

void DrawCaption(TCanvas* canvas, int x, int y, const std::string& text, TColor color) {
  canvas->Brush()->SetStyle(bsClear);
  canvas->Font()->SetColor(color);
  canvas->TextOut(x, y, text);
  canvas->Brush()->SetStyle(bsSolid);
}

}  // namespace

// ---- TTabStrings ---------------------------------------------------------------------------------

std::string TTabStrings::Get(int index) const {
  return index >= 0 && index < Count() ? TStringList::Get(index) : std::string();
}

void* TTabStrings::GetObject(int index) const {
  return index >= 0 && index < Count() ? TStringList::GetObject(index) : nullptr;
}

void TTabStrings::Put(int index, const std::string& s) {
  if (index < 0 || index >= Count() || Sorted()) return;
  TStringList::Put(index, s);
  Tell(Change::Text, index);
}

void TTabStrings::PutObject(int index, void* object) {
  if (index < 0 || index >= Count()) return;
  TStringList::PutObject(index, object);
}

int TTabStrings::AddObject(const std::string& s, void* object) {
  const int before = Count();
  const int index = TStringList::AddObject(s, object);
  if (Count() > before) Tell(Change::Inserted, index);
  return index;
}

void TTabStrings::InsertObject(int index, const std::string& s, void* object) {
  if (index < 0 || index > Count() || Sorted()) return;
  TStringList::InsertObject(index, s, object);
  Tell(Change::Inserted, index);
}

void TTabStrings::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  TStringList::Delete(index);
  Tell(Change::Deleted, index);
}

void TTabStrings::Clear() {
  if (Count() == 0) return;
  TStringList::Clear();
  Tell(Change::Cleared, -1);
}

void TTabStrings::Exchange(int a, int b) {
  if (a < 0 || a >= Count() || b < 0 || b >= Count() || a == b || Sorted()) return;
  ++quiet_;
  try {
    TStringList::Exchange(a, b);
  } catch (...) {
    --quiet_;
    throw;
  }
  --quiet_;
  Tell(Change::Exchanged, a, b);
}

void TTabStrings::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count() || from == to || Sorted()) return;
  ++quiet_;
  try {
    TStringList::Move(from, to);
  } catch (...) {
    --quiet_;
    throw;
  }
  --quiet_;
  Tell(Change::Moved, from, to);
}

void TTabStrings::Tell(Change change, int index, int other) {
  if (quiet_ == 0 && listener_) listener_(change, index, other);
}

int TabIndexAfter(TTabStrings::Change change, int current, int index, int other, int newCount) {
  using Change = TTabStrings::Change;
  if (current < 0) return newCount == 0 ? -1 : current;
  switch (change) {
    case Change::Inserted: return index <= current ? current + 1 : current;
    case Change::Deleted:
      if (index < current) return current - 1;
      if (index == current) return std::min(current, newCount - 1);
      return current;
    case Change::Cleared: return -1;
    case Change::Exchanged: return current == index ? other : current == other ? index : current;
    case Change::Moved:
      if (current == index) return other;
      if (index < current && current <= other) return current - 1;
      if (other <= current && current < index) return current + 1;
      return current;
    case Change::Text: return current;
  }
  return current;
}

// ---- TTabSet -------------------------------------------------------------------------------------

TTabSet::TTabSet(TComponent* owner)
    : TCustomControl(owner), tabs_([this](TTabStrings::Change c, int i, int o) { TabsChanged(c, i, o); }) {
  width_ = explicitWidth_ = 185;
  height_ = explicitHeight_ = 21;
}

TTabSet::~TTabSet() = default;

void TTabSet::TabsChanged(TTabStrings::Change change, int index, int other) {
  tabIndex_ = TabIndexAfter(change, tabIndex_, index, other, tabs_.Count());
  ClampFirstIndex();
  Invalidate();
}

void TTabSet::SetTabIndex(int index) {
  if (index < -1 || index >= tabs_.Count() || index == tabIndex_) return;
  if (OnChange) {
    bool allow = true;
    auto handler = OnChange;
    handler(this, index, allow);
    if (!allow) return;
    if (index >= tabs_.Count()) return;   // the handler took tabs away
  }
  tabIndex_ = index;
  // The new tab comes into view.
  if (index >= 0) {
    if (index < firstIndex_) {
      firstIndex_ = index;
    } else {
      while (firstIndex_ < index && TabRect(index).Width() == 0) ++firstIndex_;
    }
  }
  ClampFirstIndex();
  Invalidate();
}

void TTabSet::SetFirstIndex(int index) {
  if (index < 0 || index >= tabs_.Count() || index == firstIndex_) return;
  firstIndex_ = index;
  ClampFirstIndex();
  Invalidate();
}

void TTabSet::ClampFirstIndex() {
  const int count = tabs_.Count();
  if (firstIndex_ >= count) firstIndex_ = std::max(0, count - 1);
  if (firstIndex_ != 0 && !ScrollButtonsShown()) firstIndex_ = 0;
}

void TTabSet::SetSelectedColor(TColor color) {
  if (color == selectedColor_) return;
  selectedColor_ = color;
  Invalidate();
}

void TTabSet::SetUnselectedColor(TColor color) {
  if (color == unselectedColor_) return;
  unselectedColor_ = color;
  Invalidate();
}

int TTabSet::TabHeight() { return std::min(ClientHeight(), MeasureText(Font(), "").cy + 6); }

TTabSet::Layout TTabSet::MakeLayout() {
  Layout layout;
  const int count = tabs_.Count();
  layout.rects.assign(static_cast<std::size_t>(count), TRect());
  const int height = TabHeight();
  std::vector<int> widths(static_cast<std::size_t>(count));
  int total = 0;
  for (int i = 0; i < count; ++i) {
    widths[static_cast<std::size_t>(i)] = MeasureText(Font(), tabs_.Get(i)).cx + 2 * (kSlant + kTextMargin);
    total += widths[static_cast<std::size_t>(i)];
  }
  const int width = ClientWidth();
  layout.arrows = total > width - kStartMargin;
  const int end = layout.arrows ? width - 2 * kScrollButtonWidth : width;
  const int first = layout.arrows ? std::clamp(firstIndex_, 0, std::max(0, count - 1)) : 0;
  int x = kStartMargin;
  for (int i = first; i < count; ++i) {
    const int w = widths[static_cast<std::size_t>(i)];
    if (x + w > end && i != first) break;
    layout.rects[static_cast<std::size_t>(i)] = TRect(x, 0, x + w, height);
    layout.lastShown = i;
    x += w;
  }
  return layout;
}

TRect TTabSet::TabRect(int index) {
  if (index < 0 || index >= tabs_.Count()) return TRect();
  return MakeLayout().rects[static_cast<std::size_t>(index)];
}

int TTabSet::ItemAtPos(const TPoint& point) {
  const Layout layout = MakeLayout();
  for (int i = 0; i < static_cast<int>(layout.rects.size()); ++i) {
    if (Inside(layout.rects[static_cast<std::size_t>(i)], point.x, point.y)) return i;
  }
  return -1;
}

bool TTabSet::ScrollButtonsShown() { return tabs_.Count() > 0 && MakeLayout().arrows; }

TRect TTabSet::ScrollButtonRect(bool right) {
  if (!ScrollButtonsShown()) return TRect();
  const int w = ClientWidth();
  const int left = right ? w - kScrollButtonWidth : w - 2 * kScrollButtonWidth;
  return TRect(left, 0, left + kScrollButtonWidth, TabHeight());
}

int TTabSet::VisibleTabs() {
  const Layout layout = MakeLayout();
  return layout.lastShown < 0 ? 0 : layout.lastShown - (layout.arrows ? firstIndex_ : 0) + 1;
}

void TTabSet::Dispatch(TMessage& message) {
  if (message.Msg == WM_GETFONT) {
    message.Result = reinterpret_cast<LRESULT>(Font()->Handle());
    return;
  }
  TCustomControl::Dispatch(message);
}

void TTabSet::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    const Layout layout = MakeLayout();
    if (layout.arrows && Inside(ScrollButtonRect(false), x, y)) {
      if (firstIndex_ > 0) SetFirstIndex(firstIndex_ - 1);
    } else if (layout.arrows && Inside(ScrollButtonRect(true), x, y)) {
      if (layout.lastShown < tabs_.Count() - 1) SetFirstIndex(firstIndex_ + 1);
    } else if (const int tab = ItemAtPos(TPoint(x, y)); tab >= 0) {
      SetTabIndex(tab);
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TTabSet::Resize() {
  ClampFirstIndex();
  Invalidate();
  TCustomControl::Resize();
}

void TTabSet::Paint() {
  TCanvas* canvas = Canvas();
  const Layout layout = MakeLayout();
  Fill(canvas, Color(), ClientRect());
  for (int i = 0; i < static_cast<int>(layout.rects.size()); ++i) {
    const TRect& r = layout.rects[static_cast<std::size_t>(i)];
    if (r.Width() > 0 && i != tabIndex_) PaintTab(i, r, false);
  }
  // The edge to the area above; the selected tab, drawn last, opens it.
  const int tabsEnd = layout.arrows ? ClientWidth() - 2 * kScrollButtonWidth : ClientWidth();
  Line(canvas, cl3DDkShadow, 0, 0, tabsEnd, 0);
  if (tabIndex_ >= 0 && tabIndex_ < static_cast<int>(layout.rects.size())) {
    const TRect& r = layout.rects[static_cast<std::size_t>(tabIndex_)];
    if (r.Width() > 0) PaintTab(tabIndex_, r, true);
  }
  if (layout.arrows) {
    PaintScrollButton(false, ScrollButtonRect(false), firstIndex_ > 0);
    PaintScrollButton(true, ScrollButtonRect(true), layout.lastShown < tabs_.Count() - 1);
  }
}

void TTabSet::PaintTab(int index, const TRect& r, bool selected) {
  TCanvas* canvas = Canvas();
  const int bottom = r.bottom - 1;
  const POINT shape[4] = {{r.left, 0}, {r.right - 1, 0}, {r.right - 1 - kSlant, bottom}, {r.left + kSlant, bottom}};
  canvas->Brush()->SetColor(selected ? selectedColor_ : unselectedColor_);
  canvas->Pen()->SetColor(cl3DDkShadow);
  canvas->Polygon(shape, 4);
  if (selected) {
    // Joined to the area above: no edge along its top; a light inner line down its left side.
    Line(canvas, selectedColor_, r.left + 1, 0, r.right - 1, 0);
    Line(canvas, clBtnHighlight, r.left + 1, 0, r.left + 1 + kSlant, bottom);
  }
  const SIZE text = MeasureText(Font(), tabs_.Get(index));
  DrawCaption(canvas, r.left + (r.Width() - text.cx) / 2, std::max(0, (r.Height() - text.cy) / 2), tabs_.Get(index),
          Font()->Color());
}

void TTabSet::PaintScrollButton(bool right, const TRect& r, bool enabled) {
  TCanvas* canvas = Canvas();
  Fill(canvas, clBtnFace, r);
  Line(canvas, clBtnHighlight, r.left, r.bottom - 1, r.left, r.top);
  Line(canvas, clBtnHighlight, r.left, r.top, r.right - 1, r.top);
  Line(canvas, cl3DDkShadow, r.right - 1, r.top, r.right - 1, r.bottom - 1);
  Line(canvas, cl3DDkShadow, r.right - 1, r.bottom - 1, r.left - 1, r.bottom - 1);
  // A small triangle pointing the way the tabs scroll.
  const int cx = (r.left + r.right) / 2;
  const int cy = (r.top + r.bottom) / 2;
  const TColor color = enabled ? clBtnText : clGrayText;
  for (int i = 0; i < 4; ++i) {
    const int x = right ? cx - 2 + i : cx + 1 - i;
    Line(canvas, color, x, cy - 3 + i, x, cy + 4 - i);
  }
}

// ---- TCustomTabControl ---------------------------------------------------------------------------

TCustomTabControl::TCustomTabControl(TComponent* owner)
    : TCustomControl(owner), tabs_([this](TTabStrings::Change c, int i, int o) { TabsChanged(c, i, o); }) {
  width_ = explicitWidth_ = 289;
  height_ = explicitHeight_ = 193;
  tabStop_ = true;
}

TCustomTabControl::~TCustomTabControl() = default;

void TCustomTabControl::TabsChanged(TTabStrings::Change change, int index, int other) {
  tabIndex_ = TabIndexAfter(change, tabIndex_, index, other, tabs_.Count());
  hotIndex_ = -1;
  Realign();
  Invalidate();
}

void TCustomTabControl::SetHotTrack(bool value) {
  if (value == hotTrack_) return;
  hotTrack_ = value;
  if (!value) SetHot(-1);
}

int TCustomTabControl::TabHeight() { return MeasureText(Font(), "").cy + kTabExtraHeight; }

TRect TCustomTabControl::TabRect(int index) {
  if (index < 0 || index >= tabs_.Count()) return TRect();
  int x = kTabsLeft;
  for (int i = 0; i < index; ++i) x += MeasureText(Font(), tabs_.Get(i)).cx + 2 * kTabTextMargin;
  const int w = MeasureText(Font(), tabs_.Get(index)).cx + 2 * kTabTextMargin;
  return TRect(x, kTabsTop, x + w, kTabsTop + TabHeight());
}

int TCustomTabControl::IndexOfTabAt(int x, int y) {
  for (int i = 0; i < tabs_.Count(); ++i) {
    if (Inside(TabRect(i), x, y)) return i;
  }
  return -1;
}

TRect TCustomTabControl::DisplayRect() {
  const int top = (tabs_.Count() > 0 ? kTabsTop + TabHeight() : 0) + kDisplayMargin;
  const int right = std::max(kDisplayMargin, ClientWidth() - kDisplayMargin);
  const int bottom = std::max(top, ClientHeight() - kDisplayMargin);
  return TRect(kDisplayMargin, top, right, bottom);
}

void TCustomTabControl::AdjustClientRect(TRect& rect) { rect = DisplayRect(); }

bool TCustomTabControl::CanChange() {
  bool allow = true;
  if (OnChanging) {
    auto handler = OnChanging;
    handler(this, allow);
  }
  return allow;
}

void TCustomTabControl::Change() {
  if (OnChange) {
    auto handler = OnChange;
    handler(this);
  }
}

bool TCustomTabControl::SelectTabByUser(int index) {
  if (index < 0 || index >= tabs_.Count() || index == tabIndex_) return false;
  if (!CanChange()) return false;
  if (index >= tabs_.Count()) return false;   // the handler took tabs away
  SetCurrentTab(index);
  Change();
  return true;
}

void TCustomTabControl::SetCurrentTab(int index) {
  if (index < -1 || index >= tabs_.Count() || index == tabIndex_) return;
  InvalidateTab(tabIndex_);
  tabIndex_ = index;
  InvalidateTab(tabIndex_);
}

void TCustomTabControl::InvalidateTab(int index) {
  if (index < 0 || !HandleAllocated()) return;
  // The face may draw a tab a little larger than its rectangle (the selected one).
  TRect r = TabRect(index);
  RECT area{r.left - 2, 0, r.right + 2, r.bottom + 2};
  InvalidateRect(Handle(), &area, FALSE);
}

void TCustomTabControl::SetHot(int index) {
  if (index == hotIndex_) return;
  InvalidateTab(hotIndex_);
  hotIndex_ = index;
  InvalidateTab(hotIndex_);
}

void TCustomTabControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTARROWS;
      if (message.WParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) code |= DLGC_WANTTAB;
      message.Result = code;
      return;
    }
    case WM_GETFONT:
      message.Result = reinterpret_cast<LRESULT>(Font()->Handle());
      return;
    case CM_MOUSELEAVE:
      SetHot(-1);
      break;
    default:
      break;
  }
  TCustomControl::Dispatch(message);
}

void TCustomTabControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    const int tab = IndexOfTabAt(x, y);
    if (tab >= 0) {
      if (TabStop() && CanFocus() && !Focused()) SetFocus();
      SelectTabByUser(tab);
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomTabControl::MouseMove(TShiftState shift, int x, int y) {
  if (hotTrack_) SetHot(IndexOfTabAt(x, y));
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomTabControl::KeyDown(WORD& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  if (key == 0) return;
  const int count = tabs_.Count();
  if (count == 0) return;
  if (key == VK_TAB && shift.Contains(ssCtrl)) {
    const bool back = shift.Contains(ssShift);
    const int from = tabIndex_ < 0 ? (back ? 0 : count - 1) : tabIndex_;
    SelectTabByUser(back ? (from + count - 1) % count : (from + 1) % count);
    key = 0;
  } else if (key == VK_LEFT || key == VK_UP) {
    if (tabIndex_ > 0) SelectTabByUser(tabIndex_ - 1);
    key = 0;
  } else if (key == VK_RIGHT || key == VK_DOWN) {
    if (tabIndex_ < count - 1) SelectTabByUser(tabIndex_ + 1);
    key = 0;
  }
}

void TCustomTabControl::Resize() {
  Invalidate();
  TCustomControl::Resize();
}

void TCustomTabControl::Paint() {
  TCanvas* canvas = Canvas();
  const int w = ClientWidth();
  const int h = ClientHeight();
  Fill(canvas, Color(), ClientRect());
  const int top = tabs_.Count() > 0 ? kTabsTop + TabHeight() : 0;
  // The body: a raised frame below the tabs.
  Line(canvas, clBtnHighlight, 0, h - 1, 0, top);
  Line(canvas, clBtnHighlight, 0, top, w - 1, top);
  Line(canvas, clBtnShadow, w - 2, top + 1, w - 2, h - 2);
  Line(canvas, clBtnShadow, w - 2, h - 2, 0, h - 2);
  Line(canvas, cl3DDkShadow, w - 1, top, w - 1, h - 1);
  Line(canvas, cl3DDkShadow, w - 1, h - 1, -1, h - 1);
  for (int i = 0; i < tabs_.Count(); ++i) {
    if (i != tabIndex_) PaintTab(i, TabRect(i), false, i == hotIndex_);
  }
  if (tabIndex_ >= 0) PaintTab(tabIndex_, TabRect(tabIndex_), true, tabIndex_ == hotIndex_);
}

void TCustomTabControl::PaintTab(int index, const TRect& rect, bool selected, bool hot) {
  TCanvas* canvas = Canvas();
  // The selected tab stands out 2 pixels on each side and at the top, and opens into the body.
  TRect r = rect;
  if (selected) r = TRect(rect.left - 2, rect.top - 2, rect.right + 2, rect.bottom + 1);
  Fill(canvas, Color(), TRect(r.left + 1, r.top + 1, r.right - 1, r.bottom));
  Line(canvas, clBtnHighlight, r.left, r.bottom - 1, r.left, r.top + 2);
  Line(canvas, clBtnHighlight, r.left, r.top + 2, r.left + 2, r.top);
  Line(canvas, clBtnHighlight, r.left + 2, r.top, r.right - 2, r.top);
  Line(canvas, clBtnShadow, r.right - 2, r.top + 1, r.right - 2, r.bottom);
  Line(canvas, cl3DDkShadow, r.right - 2, r.top + 1, r.right, r.top + 3);
  Line(canvas, cl3DDkShadow, r.right - 1, r.top + 2, r.right - 1, r.bottom);
  TColor color = Font()->Color();
  if (!Enabled()) color = clGrayText;
  else if (hot && hotTrack_) color = clHighlight;
  const SIZE text = MeasureText(Font(), tabs_.Get(index));
  DrawCaption(canvas, rect.left + kTabTextMargin, rect.top + (rect.Height() - text.cy) / 2 - (selected ? 1 : 0),
          tabs_.Get(index), color);
}

// ---- TTabControl ---------------------------------------------------------------------------------

void TTabControl::SetTabIndex(int index) { SetCurrentTab(index); }

// ---- TTabSheet -----------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* owner) : TCustomControl(owner) { visible_ = false; }

TTabSheet::~TTabSheet() {
  if (pageControl_ != nullptr) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* control) { SetParent(control); }

void TTabSheet::SetParent(TWinControl* parent) {
  auto* control = dynamic_cast<TPageControl*>(parent);
  if (pageControl_ != nullptr && pageControl_ != control) {
    TPageControl* old = pageControl_;
    old->RemovePage(this);
  }
  TCustomControl::SetParent(parent);
  if (control != nullptr && pageControl_ != control) control->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (pageControl_ == nullptr) return -1;
  const auto& pages = pageControl_->pages_;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

void TTabSheet::SetPageIndex(int index) {
  if (pageControl_ != nullptr) pageControl_->MovePage(this, index);
}

void TTabSheet::SetTabVisible(bool value) {
  if (value == tabVisible_) return;
  tabVisible_ = value;
  if (pageControl_ != nullptr) pageControl_->UpdateTabs();
}

int TTabSheet::TabIndex() const {
  if (pageControl_ == nullptr || !tabVisible_) return -1;
  int tab = 0;
  for (TTabSheet* page : pageControl_->pages_) {
    if (page == this) return tab;
    if (page->tabVisible_) ++tab;
  }
  return -1;
}

void TTabSheet::SetCaption(const std::string& text) {
  TCustomControl::SetCaption(text);
  if (pageControl_ != nullptr) pageControl_->UpdateTabs();
}

// ---- TPageControl --------------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* owner) : TCustomTabControl(owner) {}

TPageControl::~TPageControl() {
  // The pages are freed by the base after this object's own parts are gone: they must not
  // report back here.
  for (TTabSheet* page : pages_) page->pageControl_ = nullptr;
  pages_.clear();
  activePage_ = nullptr;
}

TTabSheet* TPageControl::Pages(int index) const {
  return index >= 0 && index < PageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

int TPageControl::ActivePageIndex() const {
  if (activePage_ == nullptr) return -1;
  return static_cast<int>(std::find(pages_.begin(), pages_.end(), activePage_) - pages_.begin());
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page != nullptr && page->pageControl_ != this) return;
  if (page == activePage_) return;
  activePage_ = page;
  PlacePages();
  if (page != nullptr) page->SetVisible(true);
  for (TTabSheet* other : pages_) {
    if (other != page) other->SetVisible(false);
  }
  UpdateTabs();
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* current, bool forward) const {
  const int count = PageCount();
  if (count == 0) return nullptr;
  auto it = std::find(pages_.begin(), pages_.end(), current);
  int start = it == pages_.end() ? (forward ? count - 1 : 0) : static_cast<int>(it - pages_.begin());
  for (int step = 1; step <= count; ++step) {
    const int i = forward ? (start + step) % count : (start - step + count) % count;
    TTabSheet* page = pages_[static_cast<std::size_t>(i)];
    if (page->tabVisible_ && page != current) return page;
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool forward) {
  TTabSheet* page = FindNextPage(activePage_, forward);
  if (page != nullptr) SelectTabByUser(page->TabIndex());
}

TTabSheet* TPageControl::PageOfTab(int tab) const {
  if (tab < 0) return nullptr;
  int i = 0;
  for (TTabSheet* page : pages_) {
    if (!page->tabVisible_) continue;
    if (i++ == tab) return page;
  }
  return nullptr;
}

void TPageControl::SetCurrentTab(int index) {
  if (rebuilding_) {
    TCustomTabControl::SetCurrentTab(index);
    return;
  }
  SetActivePage(PageOfTab(index));
}

void TPageControl::InsertPage(TTabSheet* page) {
  page->pageControl_ = this;
  pages_.push_back(page);
  // A page shows only when it is the active one.
  page->SetVisible(false);
  PlacePages();
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  pages_.erase(it);
  page->pageControl_ = nullptr;
  if (activePage_ == page) activePage_ = nullptr;
  if (!Destroying()) UpdateTabs();
}

void TPageControl::MovePage(TTabSheet* page, int index) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end() || index < 0 || index >= PageCount()) return;
  pages_.erase(it);
  pages_.insert(pages_.begin() + index, page);
  UpdateTabs();
}

void TPageControl::UpdateTabs() {
  rebuilding_ = true;
  tabs_.BeginUpdate();
  tabs_.Clear();
  for (TTabSheet* page : pages_) {
    if (page->tabVisible_) tabs_.AddObject(page->Caption(), page);
  }
  tabs_.EndUpdate();
  tabIndex_ = activePage_ != nullptr ? activePage_->TabIndex() : -1;
  rebuilding_ = false;
  hotIndex_ = -1;
  PlacePages();
  Invalidate();
}

void TPageControl::PlacePages() {
  const TRect area = DisplayRect();
  for (TTabSheet* page : pages_) page->SetBoundsRect(area);
}

void TPageControl::Resize() {
  PlacePages();
  TCustomTabControl::Resize();
}
