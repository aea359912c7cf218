// The view options dialog "参数设置": defaults of newly created views when the main window opens
// it (page list shown), or the property sheet of one view when a view opens it (page list
// hidden, only that view's groups shown). The opener fills the controls; the dialog reads no
// setting but [UI] Property, whose bits it does not own are kept. On OK it checks the indicator
// names of the visible edits and writes what its visible controls stand for to
// <UserDir>defui.ini [UI] and <UserDir>SETTING.INI [Parameter], telling the main window with
// MsgOptionsChanged (second parameter 3 zoom, 2 K-line mode, 4 smoothing). It also restores the
// initial values, reorders the detail items and starts the colour and font tool.
//
// Every check of the visible fields runs before anything is written, so a refused OK leaves
// every file as it was. INI write failures are not reported (there is nothing the user could do
// about them here). UI thread only; all text is GBK.
#pragma once

#include "data/Records.h"
#include "platform/Form.h"
#include "platform/WinBase.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TPanel;
class TGroupBox;
class TLabel;
class TXPListBox;
class TXPCheckListBox;
class TXPEdit;
class TXPComboBox;
namespace zuvo::widgets {
class TXPButton;
class TXPCheckBox;
}  // namespace zuvo::widgets

namespace zuvo::dialogs {

// An indicator's kind: bits 0-1 of its flags.
constexpr int kIndicatorSubChart = 0;
constexpr int kIndicatorOverlay = 1;
constexpr int kIndicatorMainChart = 2;

// The indicator manager's lookup as the dialog needs it: the kind of the indicator of that name
// (compared without regard to ASCII case across all groups), or nothing when there is none.
// The dialogs cannot see the indicator manager; its owner registers an adapter.
using IndicatorKindLookup = std::function<std::optional<int>(const std::string& name)>;
// Registers the lookup new dialogs take (empty: none, so every name is unknown); returns the
// previous one.
IndicatorKindLookup SetIndicatorKindLookup(IndicatorKindLookup lookup);
IndicatorKindLookup GetIndicatorKindLookup();

// The name an indicator text is looked up by: cut to its first 15 bytes without splitting a
// double-byte character, then trimmed of blanks and control characters (bytes 1..32, 127).
std::string IndicatorLookupName(std::string_view name);

// "默认周期:" item index -> ChartCycle code; an index without a cycle gives 8 (day).
unsigned ChartCycleOfCycleItem(int itemIndex);
// ChartCycle code -> "默认周期:" item index, as the openers fill it; a code without an item
// (8 included) gives item 0.
int CycleItemOfChartCycle(unsigned cycle);

// The 26 detail item ids in ascending order, and the caption of one: ids 11 and 12 read
// "金额"/"量比" for a stock-like instrument (market of kind 1 or 6), "持仓"/"仓差" otherwise.
// Null for an id that is no detail item.
const std::vector<int>& DetailItemIds();
const char* DetailItemCaption(int id, bool stockLike);
// The initially checked ids, in their order (31, 30, 29, 28, 27, 17 ... 21, 1 ... 14).
const std::vector<int>& InitialDetailItems();
// True when the instrument's market is loaded and of kind 1 or 6.
bool IsStockLikeInstrument(const STKPTR& instrument);

}  // namespace zuvo::dialogs

class TQuoteOptionDlg : public TForm {
 public:
  // [UI] Property bits the dialog maintains; every other bit stays as read.
  static constexpr unsigned kDetailBottomUp = 0x001;
  static constexpr unsigned kInfoLeft = 0x004;
  static constexpr unsigned kTrendNotCentred = 0x008;
  static constexpr unsigned kNoAxis = 0x020;
  static constexpr unsigned kAxisRight = 0x040;
  static constexpr unsigned kWheelPage = 0x080;
  static constexpr unsigned kWheelInstrument = 0x100;
  static constexpr unsigned kEnterNoCycle = 0x200;
  static constexpr int kMaxIndicatorText = 255;   // bytes of an indicator edit that count
  static constexpr int kMaxDetailItems = 32;      // ids written to DetailItem at most
  static constexpr int kDefaultZoomLevel = 16;    // "17(默认)"
  static constexpr UINT kOptionsZoom = 3;         // MsgOptionsChanged's second parameter
  static constexpr UINT kOptionsKLineMode = 2;
  static constexpr UINT kOptionsAntiAlias = 4;

  // Creates the form with every control; the opener then sets the instrument and the
  // visibility of pages, groups and controls, and fills the controls.
  explicit TQuoteOptionDlg(TComponent* owner);
  const char* ClassName() const override { return "TQuoteOptionDlg"; }

  // The instrument that labels detail items 11 and 12 when the initial values are restored
  // (market 255: none).
  STKPTR Instrument;
  // Receives MsgOptionsChanged and is handed to the colour tool; null: the owner's window when
  // the owner is a windowed control, else the application's main form.
  HWND MainWindow = nullptr;
  // The indicator lookup of the checks; the registered one at construction.
  zuvo::dialogs::IndicatorKindLookup FindIndex;

  // Detail rows: each carries its id as the row's object.
  void AddDetailItem(int id, const std::string& caption, bool checked);
  int DetailItemId(int row) const;   // 0 outside the list

  // Item 0 shows Panel1 and hides Panel2; item 1 the other way round.
  void XPListBox1Click(TObject* Sender);
  // "上移" / "下移": every selected detail row whose neighbour on that side is not selected
  // changes place with it; a selected row at that end stays.
  void XPButton3Click(TObject* Sender);
  void XPButton4Click(TObject* Sender);
  // "恢复为初始值": every control back to its initial value; nothing is written.
  void XPButton5Click(TObject* Sender);
  // "颜色和字体": starts ".\cfgpanel.exe HWND:%d MSG:%d THEME:%d" without waiting; a failed
  // start shows "启动配置程序失败。  " and the dialog stays open.
  void XPButton6Click(TObject* Sender);
  // "确定": checks the indicator names of the visible edits (a failure shows its error box and
  // keeps the dialog open with nothing written), then writes and posts; when the page list is
  // shown, ends with an information box on windows created afterwards.
  void XPButton1Click(TObject* Sender);

  TXPListBox* XPListBox1 = nullptr;         // "走势图和 K 线图", "报价窗口"
  TPanel* Panel1 = nullptr;
  TPanel* Panel2 = nullptr;
  TGroupBox* GroupBox1 = nullptr;           // "K 线图"
  TGroupBox* GroupBox2 = nullptr;           // "走势图"
  TGroupBox* GroupBox3 = nullptr;           // no caption
  zuvo::widgets::TXPCheckBox* XPCheckBox1 = nullptr;    // "分钟线只显示当日数据"
  zuvo::widgets::TXPCheckBox* XPCheckBox2 = nullptr;    // "显示信息窗口"
  zuvo::widgets::TXPCheckBox* XPCheckBox3 = nullptr;    // "将信息窗口置于左侧"
  zuvo::widgets::TXPCheckBox* XPCheckBox4 = nullptr;    // "坐标置于右侧"
  zuvo::widgets::TXPCheckBox* XPCheckBox5 = nullptr;    // "分时图以昨收为中线"
  zuvo::widgets::TXPCheckBox* XPCheckBox6 = nullptr;    // "不显示坐标"
  zuvo::widgets::TXPCheckBox* XPCheckBox7 = nullptr;    // "成交明细由下至上显示"
  zuvo::widgets::TXPCheckBox* XPCheckBox8 = nullptr;    // "空心 K 线"
  zuvo::widgets::TXPCheckBox* XPCheckBox9 = nullptr;    // "曲线平滑"
  zuvo::widgets::TXPCheckBox* XPCheckBox10 = nullptr;   // "按下回车键时在报价、走" + Label10
  zuvo::widgets::TXPCheckBox* XPCheckBox100 = nullptr;  // "将以上设置保存为默认参数"
  TXPCheckListBox* XPCheckListBox1 = nullptr;   // detail items, 4 columns, multi-select
  TXPEdit* XPEdit1 = nullptr;               // "主图指标:"
  TXPEdit* XPEdit2 = nullptr;               // "副图指标:"
  TXPComboBox* XPComboBox1 = nullptr;       // "默认周期:"
  TXPComboBox* XPComboBox2 = nullptr;       // "滚动鼠标滚轮时:"
  TXPComboBox* XPComboBox3 = nullptr;       // "K 线宽窄:"
  zuvo::widgets::TXPButton* XPButton1 = nullptr;   // "确定" (default, modal result 1)
  zuvo::widgets::TXPButton* XPButton2 = nullptr;   // "取消" (cancel, modal result 2)
  zuvo::widgets::TXPButton* XPButton3 = nullptr;   // "上移"
  zuvo::widgets::TXPButton* XPButton4 = nullptr;   // "下移"
  zuvo::widgets::TXPButton* XPButton5 = nullptr;   // "恢复为初始值"
  zuvo::widgets::TXPButton* XPButton6 = nullptr;   // "颜色和字体"
  TLabel* Label1 = nullptr;    // "主图指标:"
  TLabel* Label2 = nullptr;    // "副图指标:"
  TLabel* Label3 = nullptr;    // "默认周期:"
  TLabel* Label4 = nullptr;    // "K 线宽窄:"
  TLabel* Label5 = nullptr;    // "依次显示被勾选的数据项:"
  TLabel* Label6 = nullptr;    // "滚动鼠标滚轮时:"
  TLabel* Label10 = nullptr;   // "势、K线间循环", the rest of XPCheckBox10's caption

 private:
  HWND MainWindowHandle() const;
  // The first failed check of the visible indicator edits as its message, or nothing.
  std::optional<std::string> CheckIndicators() const;
  void WriteSettings();
};
