// The chart-cycle order form "周期循环次序": the 15 cycles in the order F8 steps through them,
// each checked when F8 stops at it, with 上移 / 下移 for the selected rows, 确定 (modal result 1)
// and 取消. 确定 needs at least two checked cycles: only then does the order become the
// program's (CycleOrderTable) and get saved ([Parameter] CycleOrder); a refused OK changes
// nothing, so a following 取消 leaves the order as it was. A save that fails is not reported;
// the program still uses the new order for this run. UI thread only; text is GBK.
#pragma once

#include "data/UtilData.h"
#include "platform/Form.h"

class TLabel;
class TXPCheckListBox;
namespace zuvo::widgets {
class TXPButton;
}

class TCycleOrder : public TForm {
 public:
  // Fills the check list from CycleOrderTable.
  explicit TCycleOrder(TComponent* owner);
  const char* ClassName() const override { return "TCycleOrder"; }

  // The name of a chart cycle 0..14 ("闪电图", "1分钟"...); null for any other code.
  static const char* CycleName(int code);
  // The order the rows now show: row i gives position i; cycles without a row follow hidden,
  // in code order, so every cycle is there once.
  CycleOrderRecord RowsOrder() const;
  // Rows' codes in order (each row's object).
  int RowCode(int row) const;

  void XPButton1Click(TObject* Sender);   // 上移
  void XPButton2Click(TObject* Sender);   // 下移
  void XPButton3Click(TObject* Sender);   // 确定

  TLabel* Label1 = nullptr;
  TXPCheckListBox* XPCheckListBox1 = nullptr;   // multi-select; each row's object is its code
  zuvo::widgets::TXPButton* XPButton1 = nullptr;   // 上移
  zuvo::widgets::TXPButton* XPButton2 = nullptr;   // 下移
  zuvo::widgets::TXPButton* XPButton3 = nullptr;   // 确定 (default, modal result 1)
  zuvo::widgets::TXPButton* XPButton4 = nullptr;   // 取消
};
