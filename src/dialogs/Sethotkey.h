// The hot-key editor "设置快捷键": a tab control with the tabs "快捷键" (a grid of the 81
// commands, name and key text, the key column edited in place with the editor always shown)
// and "帮助" (a memo explaining the key text), 确定 (modal result 1) and 取消.
//
// 确定 reads every row's key text into a working copy of HotKeyTable: a text that does not come
// back the same from its normal form (case aside) is questioned; Yes takes the normal form, No
// keeps the dialog open with the live table untouched. After the last row the copy becomes the
// live table and is saved (HotKey.ini [HotKey]); when the save fails the live table keeps its
// old keys, an error box says so and the dialog stays open. A result of 1 therefore always
// means the keys were changed in memory and saved. UI thread only; text is GBK.
#pragma once

#include "platform/Form.h"

#include <string>
#include <vector>

class TXPTabControl;
class TXPStringGrid;
class TXPMemo;
namespace zuvo::widgets {
class TXPButton;
}

class TSetHotkeyDlg : public TForm {
 public:
  static constexpr int kRows = 81;
  static constexpr int kMaxKeyText = 255;   // bytes of a cell read, cut on a character boundary

  // Fills the grid from HotKeyTable: row r is record r (command r + 1).
  explicit TSetHotkeyDlg(TComponent* owner);
  const char* ClassName() const override { return "TSetHotkeyDlg"; }

  // The help memo's lines, in order.
  static std::vector<std::string> HelpLines();

  void XPTabControl1Change(TObject* Sender);
  void XPButton1Click(TObject* Sender);

  TXPTabControl* XPTabControl1 = nullptr;   // "快捷键", "帮助"
  TXPStringGrid* XPStringGrid1 = nullptr;   // 2 columns (100, 280) x 81 rows, no fixed row
  TXPMemo* XPMemo1 = nullptr;               // the read-only help
  zuvo::widgets::TXPButton* XPButton1 = nullptr;   // 确定 (default, modal result 1)
  zuvo::widgets::TXPButton* XPButton2 = nullptr;   // 取消
};
