// The hot-key help box "快捷键说明": the default keys in a read-only memo, 自定义快捷键 (the
// main window's hot-key editor, handed in as OnEditHotkeys) and 确定, which hides the box.
// Modeless and on top; the main window keeps one box and toggles it with
// ToggleHotkeyDlg. UI thread only; text is GBK.
#pragma once

#include "platform/Form.h"

#include <functional>
#include <string>
#include <vector>

class TButton;
class TXPMemo;
namespace zuvo::widgets {
class TXPButton;
}

class Thotkeydlg : public TForm {
 public:
  explicit Thotkeydlg(TComponent* owner);
  ~Thotkeydlg() override;
  const char* ClassName() const override { return "Thotkeydlg"; }

  // The memo's lines: "系统默认快捷键", an empty line, then one line per default key with the
  // keys left-aligned in a column padded with blanks (widths in GBK bytes, so a fixed-pitch
  // font lines them up).
  static std::vector<std::string> MemoLines();

  void Button1Click(TObject* Sender);     // hides the box
  void XPButton1Click(TObject* Sender);   // OnEditHotkeys

  // Opens the main window's hot-key editor; nothing when empty.
  std::function<void()> OnEditHotkeys;

  TXPMemo* XPMemo1 = nullptr;   // read-only, both scroll bars, no word wrap
  zuvo::widgets::TXPButton* XPButton1 = nullptr;   // 自定义快捷键
  TButton* Button1 = nullptr;   // 确定 (default and cancel)

 private:
  friend void ToggleHotkeyDlg(Thotkeydlg*&, TComponent*, std::function<void()>);
  Thotkeydlg** slot_ = nullptr;   // the opener's pointer, cleared when the box is freed
};

// The main window's toggle: a visible box is closed and freed (`box` becomes null); otherwise
// the box is made when there is none (owner `owner`, editor `editHotkeys`) and shown. `box`
// must outlive the box or be cleared by it: it is set to null when the box is freed by anyone.
void ToggleHotkeyDlg(Thotkeydlg*& box, TComponent* owner, std::function<void()> editHotkeys);
