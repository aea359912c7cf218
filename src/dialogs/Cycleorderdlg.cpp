#include "dialogs/Cycleorderdlg.h"

#include "platform/Panel.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpchecklistbox.h"

#include <cstdint>

using zuvo::widgets::TXPButton;

namespace {

constexpr const char* kCycleNames[kCycleCount] = {
    "闪电图", "1分钟", "3分钟", "任意分", "5分钟", "15分钟", "30分钟", "60分钟",
    "日线",   "周线",  "月线",  "季线",   "任意天", "120分钟", "240分钟"};

void* CodeObject(int code) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(code)); }

TXPButton* MakeButton(TCycleOrder* form, const char* name, const char* caption, int left, int top) {
  auto* button = new TXPButton(form);
  button->SetName(name);
  button->SetParent(form);
  button->SetBounds(left, top, 75, 25);
  button->SetCaption(caption);
  return button;
}

}  // namespace

TCycleOrder::TCycleOrder(TComponent* owner) : TForm(owner) {
  SetName("CycleOrder");
  SetCaption("周期循环次序");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(260);
  SetClientHeight(330);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(10, 8, 240, 45);
  Label1->SetWordWrap(true);
  Label1->SetCaption("按下 F8 键后，周期将按以下次序（由上至下）循环。其中未勾选的周期将被跳过。");
  XPCheckListBox1 = new TXPCheckListBox(this);
  XPCheckListBox1->SetName("XPCheckListBox1");
  XPCheckListBox1->SetParent(this);
  XPCheckListBox1->SetBounds(10, 58, 150, 262);
  XPCheckListBox1->SetMultiSelect(true);
  XPCheckListBox1->SetExtendedSelect(true);

  XPButton1 = MakeButton(this, "XPButton1", "上移", 173, 58);
  XPButton1->OnClick = Handler(this, &TCycleOrder::XPButton1Click);
  XPButton2 = MakeButton(this, "XPButton2", "下移", 173, 90);
  XPButton2->OnClick = Handler(this, &TCycleOrder::XPButton2Click);
  XPButton3 = MakeButton(this, "XPButton3", "确定", 173, 263);
  XPButton3->SetDefault(true);
  XPButton3->SetModalResult(mrOk);
  XPButton3->OnClick = Handler(this, &TCycleOrder::XPButton3Click);
  XPButton4 = MakeButton(this, "XPButton4", "取消", 173, 295);
  XPButton4->SetCancel(true);
  XPButton4->SetModalResult(mrCancel);

  TStrings* rows = XPCheckListBox1->Items();
  for (int i = 0; i < kCycleCount; ++i) {
    const int code = CycleOrderTable.cycles[i];
    const char* name = CycleName(code);
    if (name == nullptr) continue;   // a code no cycle has gets no row
    const int row = rows->AddObject(name, CodeObject(code));
    XPCheckListBox1->SetChecked(row, CycleOrderTable.shown[i] != 0);
  }
  SetActiveControl(XPCheckListBox1);
}

const char* TCycleOrder::CycleName(int code) {
  return code >= 0 && code < kCycleCount ? kCycleNames[code] : nullptr;
}

int TCycleOrder::RowCode(int row) const {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(XPCheckListBox1->Items()->GetObject(row)));
}

CycleOrderRecord TCycleOrder::RowsOrder() const {
  CycleOrderRecord order{};
  bool placed[kCycleCount] = {};
  int position = 0;
  const int count = XPCheckListBox1->Items()->Count();
  for (int row = 0; row < count && position < kCycleCount; ++row) {
    const int code = RowCode(row);
    if (code < 0 || code >= kCycleCount || placed[code]) continue;
    placed[code] = true;
    order.cycles[position] = static_cast<std::uint8_t>(code);
    order.shown[position] = XPCheckListBox1->Checked(row) ? 1 : 0;
    ++position;
  }
  // Rows only ever come from the table, so this fills in nothing unless the table was damaged;
  // it keeps every cycle present once whatever happened.
  for (int code = 0; code < kCycleCount && position < kCycleCount; ++code) {
    if (placed[code]) continue;
    order.cycles[position] = static_cast<std::uint8_t>(code);
    order.shown[position] = 0;
    ++position;
  }
  return order;
}

void TCycleOrder::XPButton1Click(TObject*) {
  TStrings* rows = XPCheckListBox1->Items();
  // A selected block moves as one: each row passes only an unselected neighbour.
  for (int i = 1; i < rows->Count(); ++i) {
    if (XPCheckListBox1->Selected(i) && !XPCheckListBox1->Selected(i - 1)) rows->Exchange(i, i - 1);
  }
}

void TCycleOrder::XPButton2Click(TObject*) {
  TStrings* rows = XPCheckListBox1->Items();
  for (int i = rows->Count() - 2; i >= 0; --i) {
    if (XPCheckListBox1->Selected(i) && !XPCheckListBox1->Selected(i + 1)) rows->Exchange(i, i + 1);
  }
}

void TCycleOrder::XPButton3Click(TObject*) {
  const CycleOrderRecord order = RowsOrder();
  int checked = 0;
  for (int i = 0; i < kCycleCount; ++i) checked += order.shown[i] != 0 ? 1 : 0;
  if (checked < 2) {
    // Refused before anything is taken over: F8 keeps the order it had.
    MessageBoxA(Handle(), "请至少勾选 2 种周期，以实现周期的循环。  ", "错误", MB_OK | MB_ICONWARNING);
    SetModalResult(mrNone);
    return;
  }
  CycleOrderTable = order;
  WriteCycleOrder();
  SetModalResult(mrOk);
}
