// The class library's list boxes, drawn by us: TListBox and TCheckListBox.
//
// Items is a string list owned by the box; every change repaints. Each row carries its text, its
// object, its selection and (in a check list) its check state, so moving or exchanging rows
// takes all of these along. Sorted keeps rows in order of GBK bytes with ASCII case ignored
// (AnsiCompareText); an added row goes to its sorted place, equal strings in the order they came.
//
// Geometry: rows of ItemHeight pixels from TopIndex. With Columns 0 one column fills the list
// area and a vertical scroll bar appears when rows are out of reach; with Columns n the items
// run down, then into the next column, each column ClientWidth / n wide, and a horizontal scroll
// bar appears when more columns are needed (scrolling moves by whole columns).
//
// Selection: ItemIndex is the current row (the caret; with MultiSelect the focused row).
// MultiSelect alone toggles a row per click or Space; with ExtendedSelect a plain click or key
// selects just the row, Ctrl+click toggles one row, Shift extends from the anchor. OnClick follows
// every change of the selection by mouse or key, OnDblClick a double click.
//
// The LB_ messages answer like the native list box: an index outside the list returns LB_ERR
// and changes nothing; a null text buffer gives 0.
//
// Painting is in WM_PAINT only, through the virtual Paint; a subclass answering WM_PAINT itself
// keeps every behaviour.
#pragma once

#include "platform/Button.h"
#include "platform/Control.h"
#include "platform/ScrollBar.h"
#include "platform/StringList.h"

#include <functional>
#include <string>
#include <vector>

#ifndef LB_ERR
constexpr LRESULT LB_OKAY = 0;
constexpr LRESULT LB_ERR = -1;
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETSELCOUNT = 0x0190;
#endif

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed };
enum TOwnerDrawStateBit { odSelected = 0, odGrayed, odDisabled, odChecked, odFocused };
class TOwnerDrawState {
 public:
  constexpr TOwnerDrawState() = default;
  constexpr TOwnerDrawState(std::initializer_list<TOwnerDrawStateBit> bits) {
    for (auto b : bits) bits_ |= static_cast<unsigned>(1u << b);
  }
  constexpr bool Contains(TOwnerDrawStateBit b) const { return (bits_ >> b) & 1u; }
  constexpr TOwnerDrawState& operator<<(TOwnerDrawStateBit b) { bits_ |= 1u << b; return *this; }
  constexpr bool operator==(const TOwnerDrawState&) const = default;

 private:
  unsigned bits_ = 0;
};
using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State)>;

class TCustomListBox;

// The rows of a list box.
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TCustomListBox* box) : box_(box) {}
  int Count() const override { return static_cast<int>(rows_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  int Add(const std::string& s) override;   // sorted: at its place
  int AddObject(const std::string& s, void* object) override;
  void Insert(int index, const std::string& s) override;   // sorted lists too, at the index
  void Delete(int index) override;
  void Clear() override;
  // Rows with their object, selection and check; EStringListError on a sorted list.
  void Exchange(int a, int b) override;
  void Move(int from, int to) override;   // EStringListError on a sorted list

 protected:
  void SetUpdateState(bool updating) override;
  bool KeepsSortOrder() const override;

 private:
  friend class TCustomListBox;
  friend class TCheckListBox;
  struct Row {
    std::string text;
    void* object = nullptr;
    bool selected = false;
    TCheckBoxState state = cbUnchecked;
  };
  void Check(int index) const;
  void Changed();
  TCustomListBox* box_;
  std::vector<Row> rows_;
};

class TCustomListBox : public TCustomControl {
 public:
  explicit TCustomListBox(TComponent* owner);   // 121 x 97, white, sunken edge, tab stop
  ~TCustomListBox() override;
  const char* ClassName() const override { return "TListBox"; }

  TStrings* Items() { return &items_; }
  void SetItems(const TStrings& items) { items_.Assign(items); }

  int ItemIndex() const { return caret_; }
  void SetItemIndex(int index);   // -1 clears; outside the list: nothing changes
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool value);
  bool ExtendedSelect() const { return extendedSelect_; }
  void SetExtendedSelect(bool value) { extendedSelect_ = value; }
  bool Selected(int index) const;   // false outside the list
  void SetSelected(int index, bool value);
  int SelCount() const;   // -1 without MultiSelect, as the native box answers
  void ClearSelection();
  void SelectAll();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);   // sorts the rows when turned on
  int Columns() const { return columns_; }
  void SetColumns(int value);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value);   // at least 1
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle value);
  int TopIndex() const { return top_; }
  void SetTopIndex(int index);   // held to the rows that can come first

  // The row under a client point; -1 (existing) or the row the point would be (Count when past
  // the last) when there is none.
  int ItemAtPos(const TPoint& point, bool existing) const;
  // The row's rectangle in client coordinates (outside the client area when scrolled away);
  // empty outside the list.
  TRect ItemRect(int index) const;
  // The area the rows are drawn in: the client area without the scroll bars shown.
  TRect ListRect() const;
  int RowsPerColumn() const;   // full rows in a column, at least 1
  void MakeVisible(int index);

  TScrollBar* VertScrollBar() const { return vbar_; }
  TScrollBar* HorzScrollBar() const { return hbar_; }

  TDrawItemEvent OnDrawItem;

  void Dispatch(TMessage& message) override;

 protected:
  friend class TListBoxStrings;
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  void Click() override {}   // a click is a selection change, raised by the box itself
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void KeyDown(WORD& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void Resize() override;
  void Notification(TComponent* component, bool inserted) override;

  // Draws one row: OnDrawItem when owner-drawn, else DrawItemFace.
  virtual void DrawItem(int index, const TRect& rect, TOwnerDrawState state);
  virtual void DrawItemFace(int index, const TRect& rect, TOwnerDrawState state);
  // The left part of a row taken by something before the text (the check glyph).
  virtual int TextIndent() const { return 0; }
  // A press on a row before the selection handles it; true when it is used up.
  virtual bool RowPressed(int index, int x, int y) { return false; }
  virtual void ItemsChanged();
  void SelectionChanged();   // OnClick
  // Moves the caret to a row as a click or key does, with the selection rules.
  void MoveCaret(int index, TShiftState shift, bool byMouse);

  TListBoxStrings items_{this};
  TControlScrollBar* vbar_ = nullptr;
  TControlScrollBar* hbar_ = nullptr;
  int caret_ = -1;
  int anchor_ = -1;

 private:
  std::vector<bool> SelectionSnapshot() const;
  int TotalColumns() const;
  void UpdateBars();
  void BarScrolled(bool vertical, int position);
  LRESULT ListMessage(TMessage& message, bool& handled);

  bool multiSelect_ = false;
  bool extendedSelect_ = true;
  bool sorted_ = false;
  int columns_ = 0;
  int itemHeight_ = 16;
  TListBoxStyle style_ = lbStandard;
  int top_ = 0;
  bool dragSelecting_ = false;
  bool updatingBars_ = false;
};

class TListBox : public TCustomListBox {
 public:
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
  const char* ClassName() const override { return "TListBox"; }
};

class TCheckListBox : public TCustomListBox {
 public:
  static constexpr int kGlyphWidth = 16;   // the check box and its margins
  explicit TCheckListBox(TComponent* owner) : TCustomListBox(owner) {}
  const char* ClassName() const override { return "TCheckListBox"; }

  bool Checked(int index) const { return State(index) == cbChecked; }
  void SetChecked(int index, bool value) { SetState(index, value ? cbChecked : cbUnchecked); }
  TCheckBoxState State(int index) const;   // cbUnchecked outside the list
  void SetState(int index, TCheckBoxState value);   // outside the list: nothing
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool value) { allowGrayed_ = value; }
  // The check box's rectangle in a row's rectangle.
  TRect GlyphRect(int index) const;

  TNotifyEvent OnClickCheck;

 protected:
  void DrawItemFace(int index, const TRect& rect, TOwnerDrawState state) override;
  int TextIndent() const override { return kGlyphWidth; }
  bool RowPressed(int index, int x, int y) override;
  void KeyPress(char& key) override;
  virtual void ClickCheck();   // OnClickCheck

 private:
  void Toggle(int index);
  bool allowGrayed_ = false;
};
