// The big-order threshold form "大单提取" of the chart views' side list: an edit with spin
// buttons (0 to 32767) and 确定 (modal result 1); closing the window cancels. The form checks
// nothing itself: the opener puts its threshold in and, after OK, reads it back clamped.
// UI thread only; text is GBK.
#pragma once

#include "platform/Form.h"

#include <string>

class TLabel;
class TXPEdit;
class TXPUpDown;
namespace zuvo::widgets {
class TXPButton;
}

class TBigAmount : public TForm {
 public:
  static constexpr int kMaxAmount = 32767;

  explicit TBigAmount(TComponent* owner);   // owner: the opening view
  const char* ClassName() const override { return "TBigAmount"; }

  // Edit1 and UpDown1 to this threshold (clamped to the up-down's range).
  void SetAmount(int amount);
  // Edit1 read as a whole number (leading blanks and an optional sign, then digits; anything
  // else reads 0) and clamped to 0..32767.
  int Amount() const;
  static int ParseAmount(const std::string& text);

  TLabel* Label1 = nullptr;     // "大单标准:"
  TXPEdit* Edit1 = nullptr;     // the threshold, "0" at first
  TXPUpDown* UpDown1 = nullptr; // 0..32767, bound to Edit1
  zuvo::widgets::TXPButton* Button1 = nullptr;   // 确定 (default, modal result 1)
};
