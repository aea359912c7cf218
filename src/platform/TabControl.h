// The class library's tab set, tab control and page control, drawn by us in a plain classic face.
//
// All three keep behaviour and painting apart: the face is drawn in the virtual Paint, called
// from WM_PAINT only, so a subclass that answers WM_PAINT and WM_ERASEBKGND itself keeps clicks,
// keys, hot tracking, the events and the tab geometry (which it reads through TabRect).
//
// Tab lists. `Tabs` is a string list of the control's own that reports every insertion, deletion
// and move to the control, so the current tab stays the same tab: inserting or deleting before
// it moves `TabIndex` with it; deleting the current tab makes the tab now at its index (or the
// last one) current, without an event; clearing the list leaves no current tab. Adding the first
// tab selects nothing: the owner selects, and that selection raises the events. Indexes outside
// the list read as empty (an empty string, an empty rectangle, a null page) and write nothing.
//
// Events. TTabSet asks `OnChange(Sender, NewTab, AllowChange)` before every change of TabIndex,
// by code or by the user (a refusal keeps the old tab). TTabControl and
// TPageControl ask `OnChanging(Sender, AllowChange)` and then raise `OnChange(Sender)` only for
// changes made by the user (a click, Ctrl+Tab, the arrows); setting TabIndex or ActivePage from
// code raises nothing, as in the class library.
// UI thread only; text is GBK.
#pragma once

#include "platform/Control.h"
#include "platform/StringList.h"

#include <functional>
#include <string>
#include <vector>

// A string list that tells its control where it changed (used as `Tabs`). Unlike a plain list it
// throws nothing for an index outside it: reading gives an empty string (a null object), writing,
// inserting, deleting, exchanging and moving do nothing.
class TTabStrings : public TStringList {
 public:
  enum class Change { Inserted, Deleted, Moved, Exchanged, Cleared, Text };
  // index, and for a move or exchange the second index.
  using Listener = std::function<void(Change change, int index, int other)>;
  explicit TTabStrings(Listener listener) : listener_(std::move(listener)) {}

  std::string Get(int index) const override;
  void* GetObject(int index) const override;
  void Put(int index, const std::string& s) override;
  void PutObject(int index, void* object) override;
  int AddObject(const std::string& s, void* object) override;
  void InsertObject(int index, const std::string& s, void* object) override;
  void Insert(int index, const std::string& s) override { InsertObject(index, s, nullptr); }
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int a, int b) override;
  void Move(int from, int to) override;

 private:
  void Tell(Change change, int index, int other = 0);
  Listener listener_;
  int quiet_ = 0;   // inside a compound change: the parts are not reported
};

// Where the current tab goes after a change of the list: the same tab where it still exists.
int TabIndexAfter(TTabStrings::Change change, int current, int index, int other, int newCount);

// ---- TTabSet ------------------------------------------------------------------------------------
// A strip of tabs along the control's top edge, hanging down from the area above it (the tabs
// under a list). Geometry, in client pixels:
//   the first shown tab (FirstIndex) starts at x = kStartMargin; each tab is
//   caption width + 2 * (kSlant + kTextMargin) wide and touches the next one; a tab is a
//   trapezoid whose top edge spans its whole width at y = 0 and whose bottom edge, at
//   y = TabHeight() - 1, is kSlant narrower on each side; TabHeight() = text height + 6, at most
//   the client height. The caption is centred in the tab.
//   When the tabs from tab 0 on are wider than ClientWidth - kStartMargin, two scroll buttons
//   kScrollButtonWidth wide sit at the right end (left arrow, then right arrow), TabHeight() high,
//   and only the tabs that fit whole left of them are shown (at least one).
// The face: the strip in Color, a dark line along the top except under the selected tab, the
// selected tab filled with SelectedColor and joined to the area above, the others with
// UnselectedColor.
using TTabChangeEvent = std::function<void(TObject* Sender, int NewTab, bool& AllowChange)>;

class TTabSet : public TCustomControl {
 public:
  static constexpr int kStartMargin = 5;
  static constexpr int kSlant = 5;
  static constexpr int kTextMargin = 4;
  static constexpr int kScrollButtonWidth = 16;

  explicit TTabSet(TComponent* owner);   // 185 x 21, no tabs, TabIndex -1
  ~TTabSet() override;
  const char* ClassName() const override { return "TTabSet"; }

  TTabStrings* Tabs() { return &tabs_; }
  int TabIndex() const { return tabIndex_; }
  // -1 or a tab; other values are ignored. OnChange may refuse; a change makes the tab visible.
  void SetTabIndex(int index);
  int FirstIndex() const { return firstIndex_; }
  void SetFirstIndex(int index);   // 0..Count-1, only 0 while every tab fits
  TColor SelectedColor() const { return selectedColor_; }
  void SetSelectedColor(TColor color);
  TColor UnselectedColor() const { return unselectedColor_; }
  void SetUnselectedColor(TColor color);

  int TabHeight();
  // The shown tab's bounding rectangle in client coordinates; empty when the index is outside the
  // list or the tab is scrolled out of view.
  TRect TabRect(int index);
  // The tab at a client point, -1 when none.
  int ItemAtPos(const TPoint& point);
  bool ScrollButtonsShown();
  TRect ScrollButtonRect(bool right);   // empty when the buttons are not shown
  int VisibleTabs();                    // tabs shown from FirstIndex on

  TTabChangeEvent OnChange;

  void Dispatch(TMessage& message) override;

 protected:
  void Paint() override;
  virtual void PaintTab(int index, const TRect& rect, bool selected);
  virtual void PaintScrollButton(bool right, const TRect& rect, bool enabled);
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void Resize() override;

 private:
  struct Layout {
    std::vector<TRect> rects;   // per tab, empty when not shown
    bool arrows = false;
    int lastShown = -1;
  };
  Layout MakeLayout();
  void TabsChanged(TTabStrings::Change change, int index, int other);
  void ClampFirstIndex();
  TTabStrings tabs_;
  int tabIndex_ = -1;
  int firstIndex_ = 0;
  TColor selectedColor_ = clBtnFace;
  TColor unselectedColor_ = clWindow;
};

// ---- TCustomTabControl ---------------------------------------------------------------------------
// One row of tabs along the top of the control and a framed body below them. Tab geometry, in
// client pixels (the same for every tab, the selected one included; a face may enlarge the
// selected tab when it paints):
//   tab 0 starts at x = kTabsLeft; tab i + 1 starts where tab i ends;
//   width = caption width + 2 * kTabTextMargin; top = kTabsTop;
//   height = TabHeight() = text height of the font + kTabExtraHeight.
// DisplayRect, the area under the tabs that pages and aligned children get, is the body inset
// by kDisplayMargin: {kDisplayMargin, tab bottom + kDisplayMargin, W - kDisplayMargin,
// H - kDisplayMargin} (tab bottom 0 without tabs), never negative in size.
// Keys when focused (claimed through WM_GETDLGCODE): Ctrl+Tab the next tab and Ctrl+Shift+Tab
// the previous one, wrapping; Left/Up and Right/Down the neighbour, stopping at the ends.
// A click on a tab focuses the control and selects the tab. With HotTrack, moving the pointer
// repaints the tab it leaves and the tab it enters (the classic face draws the hot caption in
// clHighlight).
class TCustomTabControl : public TCustomControl {
 public:
  static constexpr int kTabsLeft = 2;
  static constexpr int kTabsTop = 2;
  static constexpr int kTabTextMargin = 6;
  static constexpr int kTabExtraHeight = 8;
  static constexpr int kDisplayMargin = 4;

  explicit TCustomTabControl(TComponent* owner);   // 289 x 193, tab stop
  ~TCustomTabControl() override;
  const char* ClassName() const override { return "TCustomTabControl"; }

  // The tabs' captions. A page control keeps it to its sheets with a tab, in page order.
  TTabStrings* Tabs() { return &tabs_; }
  int TabIndex() const { return tabIndex_; }
  int GetTabIndex() const { return tabIndex_; }
  bool HotTrack() const { return hotTrack_; }
  void SetHotTrack(bool value);
  // The hot tab under the pointer (-1 when none or without HotTrack).
  int HotIndex() const { return hotIndex_; }

  int TabHeight();
  TRect TabRect(int index);   // client coordinates; empty outside the tabs
  int IndexOfTabAt(int x, int y);   // -1 when no tab is there
  TRect DisplayRect();
  void AdjustClientRect(TRect& rect) override;   // DisplayRect

  TNotifyEvent OnChange;
  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;

  void Dispatch(TMessage& message) override;

 protected:
  // Asks OnChanging, moves to the tab and raises OnChange; false when refused.
  bool SelectTabByUser(int index);
  virtual bool CanChange();
  virtual void Change();
  // Makes `index` the current tab (no events); a page control shows its page.
  virtual void SetCurrentTab(int index);
  virtual void TabsChanged(TTabStrings::Change change, int index, int other);

  void Paint() override;
  virtual void PaintTab(int index, const TRect& rect, bool selected, bool hot);
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void Resize() override;
  void InvalidateTab(int index);
  void SetHot(int index);

  TTabStrings tabs_;
  int tabIndex_ = -1;
  bool hotTrack_ = false;
  int hotIndex_ = -1;
};

// ---- TTabControl --------------------------------------------------------------------------------
class TTabControl : public TCustomTabControl {
 public:
  using TCustomTabControl::TCustomTabControl;
  const char* ClassName() const override { return "TTabControl"; }
  // -1 or a tab; other values are ignored. No events.
  void SetTabIndex(int index);
};

// ---- TPageControl / TTabSheet --------------------------------------------------------------------
class TPageControl;

// A page: a child panel of its page control, placed on the display rect and shown only while it is
// the active page (a new sheet starts hidden). With TabVisible false it has no tab and is reached
// from code only (ActivePage).
class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  const char* ClassName() const override { return "TTabSheet"; }

  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* control);
  // A page control as parent makes it the page's control; any other parent takes it out.
  void SetParent(TWinControl* parent) override;
  int PageIndex() const;   // -1 without a page control
  void SetPageIndex(int index);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool value);
  // The tab's index among the tabs shown, -1 when it has none.
  int TabIndex() const;
  void SetCaption(const std::string& text) override;   // the tab's caption

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

class TPageControl : public TCustomTabControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  const char* ClassName() const override { return "TPageControl"; }

  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int index) const;   // null outside 0..PageCount-1
  TTabSheet* ActivePage() const { return activePage_; }
  // Shows the page on the display rect and hides the others; null shows none. A page of another
  // control is ignored. No events.
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;   // -1 when none
  void SetActivePageIndex(int index) { if (index >= -1 && index < PageCount()) SetActivePage(Pages(index)); }
  // The next (or previous) page with a tab after the active one, wrapping; null when none.
  TTabSheet* FindNextPage(TTabSheet* current, bool forward) const;
  // As the user does: OnChanging, the page, OnChange.
  void SelectNextPage(bool forward);

 protected:
  void SetCurrentTab(int index) override;
  void Resize() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void MovePage(TTabSheet* page, int index);
  // Rebuilds Tabs from the pages with a tab and TabIndex from the active page.
  void UpdateTabs();
  void PlacePages();
  TTabSheet* PageOfTab(int tab) const;
  std::vector<TTabSheet*> pages_;
  TTabSheet* activePage_ = nullptr;
  bool rebuilding_ = false;
};
