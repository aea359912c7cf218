// Combo boxes: the "COMBOBOX" window class (a Qt combo box behind a window of ours, see
// internal/Wrapped.h) and the class library's TComboBox on it.
//
// The raw class answers the CB_ messages below as the native control does. Text is GBK. An
// index outside the list returns CB_ERR and changes nothing (CB_SETCURSEL with -1 clears the
// selection, and the edit text of an editable box); a null text buffer gives 0. The parent
// hears of changes made by the user only, through WM_COMMAND: CBN_SELCHANGE (and
// CBN_SELENDOK) when an item is chosen from the list by mouse or keys, CBN_EDITUPDATE and
// CBN_EDITCHANGE when the text of an editable box is edited, CBN_DROPDOWN before the list
// opens and CBN_CLOSEUP after it closed.
//
// Painting: the box is Qt's painting; the window's own image lies over it, transparent where
// nothing was drawn. WM_PAINT of the class clears the part being painted, so a subclass that
// draws after the default processing (GetDC after the base's WM_PAINT) shows over the box,
// e.g. its own drop button at the rectangle CB_GETCOMBOBOXINFO gives. A box made with an edge
// style (WS_BORDER, WS_EX_STATICEDGE, WS_EX_CLIENTEDGE, WS_EX_DLGMODALFRAME) draws no frame of
// its own inside that edge.
#pragma once

#include "platform/Control.h"
#include "platform/StringList.h"

#include <string>
#include <vector>

// ---- The window class's constants -----------------------------------------------------------
constexpr LRESULT CB_OKAY = 0;
constexpr LRESULT CB_ERR = -1;
constexpr LRESULT CB_ERRSPACE = -2;

constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_SETEDITSEL = 0x0142;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr UINT CB_GETDROPPEDWIDTH = 0x015F;
constexpr UINT CB_SETDROPPEDWIDTH = 0x0160;
constexpr UINT CB_GETCOMBOBOXINFO = 0x0164;
constexpr UINT CB_SETMINVISIBLE = 0x1701;   // rows the open list shows (DropDownCount)
constexpr UINT CB_GETMINVISIBLE = 0x1702;

constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_DBLCLK = 2;
constexpr WORD CBN_SETFOCUS = 3;
constexpr WORD CBN_KILLFOCUS = 4;
constexpr WORD CBN_EDITCHANGE = 5;
constexpr WORD CBN_EDITUPDATE = 6;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD CBN_SELENDOK = 9;
constexpr WORD CBN_SELENDCANCEL = 10;

constexpr DWORD CBS_SIMPLE = 0x0001;         // taken as CBS_DROPDOWN
constexpr DWORD CBS_DROPDOWN = 0x0002;       // an edit and a list
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;   // a list only
constexpr DWORD CBS_AUTOHSCROLL = 0x0040;
constexpr DWORD CBS_SORT = 0x0100;           // added strings go to their place (GBK, ASCII case ignored)
constexpr DWORD CBS_HASSTRINGS = 0x0200;
constexpr DWORD CBS_NOINTEGRALHEIGHT = 0x0400;

constexpr DWORD STATE_SYSTEM_PRESSED = 0x00000008;
constexpr DWORD STATE_SYSTEM_INVISIBLE = 0x00008000;

// The layout of a combo box in its client coordinates: the text part and the drop button.
// The edit and the list are no windows of ours: hwndItem and hwndList are null.
struct COMBOBOXINFO {
  DWORD cbSize;   // sizeof(COMBOBOXINFO), or the call fails
  RECT rcItem;
  RECT rcButton;
  DWORD stateButton;   // STATE_SYSTEM_PRESSED while the list is open
  HWND hwndCombo;
  HWND hwndItem;
  HWND hwndList;
};

// CB_GETCOMBOBOXINFO to the window.
BOOL GetComboBoxInfo(HWND combo, COMBOBOXINFO* info);

// ---- The class library's combo box -------------------------------------------------------------
enum TComboBoxStyle { csDropDown, csDropDownList };

class TCustomComboBox;

// The items of a combo box: the window's list while it has one, kept by the object otherwise.
class TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(TCustomComboBox* box) : box_(box) {}
  int Count() const override;
  std::string Get(int index) const override;   // EStringListError outside the list
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, void* object) override;
  void Insert(int index, const std::string& s) override;   // index == Count appends
  void Delete(int index) override;
  void Clear() override;

 private:
  friend class TCustomComboBox;
  struct Item {
    std::string text;
    void* object = nullptr;
  };
  void Check(int index) const;
  HWND Window() const;
  TCustomComboBox* box_;
  std::vector<Item> kept_;   // without a window
};

class TCustomComboBox : public TWinControl {
 public:
  explicit TCustomComboBox(TComponent* owner);   // 145 x 21, white, tab stop, csDropDown
  ~TCustomComboBox() override;
  const char* ClassName() const override { return "TComboBox"; }

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle style);   // re-makes the window, keeping items, index and text

  TStrings* Items() { return &items_; }
  void SetItems(const TStrings& items) { items_.Assign(items); }

  // -1 for none. Setting shows the item's text; outside the list (other than -1) nothing changes.
  int ItemIndex() const;
  void SetItemIndex(int index);

  // Text is the window text (TControl::Text / SetText): an editable box keeps what was typed or
  // set; a drop-down list selects the item with that text (ASCII case ignored), or none.
  std::string Caption() const override;
  void SetCaption(const std::string& text) override;

  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int rows);   // at least 1
  // The longest text an editable box takes, in GBK bytes; 0 for no limit.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int bytes);
  bool DroppedDown() const;
  void SetDroppedDown(bool value);
  // The text part's selection of an editable box, in bytes of the GBK text.
  void SelectAll();

  // OnChange: the text of an editable box was edited by the user; also an item chosen from the
  // list when there is no OnSelect. OnSelect: an item chosen from the list (after OnClick).
  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void Click() override {}   // a click on the box is no event; a choice raises OnClick
  virtual void Change();      // OnChange
  virtual void Select();      // OnSelect, else Change
  virtual void DropDown();    // OnDropDown
  virtual void CloseUp();     // OnCloseUp

 private:
  friend class TComboBoxStrings;
  void CommandNotification(WORD code);
  int IndexOfKept(const std::string& text) const;

  TComboBoxStrings items_{this};
  TComboBoxStyle style_ = csDropDown;
  int itemIndex_ = -1;   // without a window
  int dropDownCount_ = 8;
  int maxLength_ = 0;
};

class TComboBox : public TCustomComboBox {
 public:
  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
  const char* ClassName() const override { return "TComboBox"; }
};
