#include "dialogs/Quoteoption.h"

#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Panel.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpchecklistbox.h"
#include "widgets/Xpcombobox.h"
#include "widgets/Xpedit.h"
#include "widgets/Xplistbox.h"

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>

using zuvo::widgets::TXPButton;
using zuvo::widgets::TXPCheckBox;

namespace zuvo::dialogs {

namespace {

IndicatorKindLookup& RegisteredLookup() {
  static IndicatorKindLookup lookup;
  return lookup;
}

// "默认周期:" items in order, by their chart cycle.
constexpr unsigned kCycleOfItem[] = {8, 9, 10, 11, 1, 2, 4, 5, 6, 7, 13, 14};
constexpr unsigned kDayCycle = 8;

struct DetailCaptionEntry {
  int id;
  const char* caption;
};
constexpr DetailCaptionEntry kDetailCaptions[] = {
    {1, "最新"},  {2, "均价"},  {3, "涨跌"},  {4, "昨收"},  {5, "幅度"},  {6, "开盘"},  {7, "总手"},
    {8, "最高"},  {9, "现手"},  {10, "最低"}, {11, "持仓"}, {12, "仓差"}, {13, "外盘"}, {14, "内盘"},
    {15, "委比"}, {16, "委差"}, {17, "买一"}, {18, "买二"}, {19, "买三"}, {20, "买四"}, {21, "买五"},
    {27, "卖一"}, {28, "卖二"}, {29, "卖三"}, {30, "卖四"}, {31, "卖五"},
};

bool IsBlankOrControl(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

}  // namespace

IndicatorKindLookup SetIndicatorKindLookup(IndicatorKindLookup lookup) {
  return std::exchange(RegisteredLookup(), std::move(lookup));
}

IndicatorKindLookup GetIndicatorKindLookup() { return RegisteredLookup(); }

std::string IndicatorLookupName(std::string_view name) {
  // A name is at most 15 bytes in the indicator manager; a cut through a double-byte character
  // would look up half a character.
  std::string_view cut = name.substr(0, platform::gbk::CutLength(name, 15));
  std::size_t begin = 0;
  std::size_t end = cut.size();
  while (begin < end && IsBlankOrControl(static_cast<unsigned char>(cut[begin]))) ++begin;
  while (end > begin && IsBlankOrControl(static_cast<unsigned char>(cut[end - 1]))) --end;
  return std::string(cut.substr(begin, end - begin));
}

unsigned ChartCycleOfCycleItem(int itemIndex) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(std::size(kCycleOfItem))) return kDayCycle;
  return kCycleOfItem[itemIndex];
}

int CycleItemOfChartCycle(unsigned cycle) {
  for (int i = 0; i < static_cast<int>(std::size(kCycleOfItem)); ++i) {
    if (kCycleOfItem[i] == cycle) return i;
  }
  return 0;
}

const std::vector<int>& DetailItemIds() {
  static const std::vector<int> ids = [] {
    std::vector<int> all;
    for (const DetailCaptionEntry& entry : kDetailCaptions) all.push_back(entry.id);
    return all;
  }();
  return ids;
}

const char* DetailItemCaption(int id, bool stockLike) {
  if (stockLike && id == 11) return "金额";
  if (stockLike && id == 12) return "量比";
  for (const DetailCaptionEntry& entry : kDetailCaptions) {
    if (entry.id == id) return entry.caption;
  }
  return nullptr;
}

const std::vector<int>& InitialDetailItems() {
  static const std::vector<int> ids = {31, 30, 29, 28, 27, 17, 18, 19, 20, 21, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  return ids;
}

bool IsStockLikeInstrument(const STKPTR& instrument) {
  const TMarketData* table = GetMarketTable(instrument.market);
  return table != nullptr && (table->record.kind == 1 || table->record.kind == 6);
}

}  // namespace zuvo::dialogs

namespace {

using namespace zuvo::dialogs;

constexpr const char* kErrorCaption = "错误";
constexpr const char* kInfoCaption = "提示";
constexpr const char* kAppliesToNewWindows =
    "修改仅对新创建的窗口有效。要修改已有窗口的属性，请在相应窗口中点击鼠标右键并选择“属性”。  ";
constexpr const char* kToolFailed = "启动配置程序失败。  ";
constexpr const char* kToolProgram = ".\\cfgpanel.exe";
constexpr int kZoomItems = 29;

// Splits at commas; the pieces as they stand (empty ones included).
std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    pieces.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return pieces;
    start = comma + 1;
  }
}

// The part of an indicator edit that counts: at most 255 bytes, whole characters only.
std::string IndicatorText(const TXPEdit* edit) {
  const std::string text = edit->Text();
  return text.substr(0, zuvo::platform::gbk::CutLength(text, TQuoteOptionDlg::kMaxIndicatorText));
}

std::string Format(const char* pattern, const std::string& name) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, name.c_str());
  return text;
}

const char* Flag(bool on) { return on ? "1" : "0"; }

void WriteKey(const char* section, const char* key, const std::string& value, const std::string& file) {
  // A failed write is not reported: the dialog has nothing better to offer than going on.
  WritePrivateProfileStringA(section, key, value.c_str(), file.c_str());
}

unsigned SetBit(unsigned word, unsigned bit, bool on) { return on ? (word | bit) : (word & ~bit); }

template <class Control>
Control* Make(TQuoteOptionDlg* form, TWinControl* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(form);
  control->SetName(name);
  control->SetBounds(left, top, width, height);
  control->SetParent(parent);
  return control;
}

}  // namespace

TQuoteOptionDlg::TQuoteOptionDlg(TComponent* owner) : TForm(owner), FindIndex(GetIndicatorKindLookup()) {
  SetName("QuoteOptionDlg");
  SetCaption("参数设置");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(560);
  SetClientHeight(432);

  auto check = [this](TWinControl* parent, const char* name, const char* caption, int left, int top, int width) {
    auto* box = Make<TXPCheckBox>(this, parent, name, left, top, width, 17);
    box->SetCaption(caption);
    return box;
  };
  auto label = [this](TWinControl* parent, const char* name, const char* caption, int left, int top) {
    auto* text = Make<TLabel>(this, parent, name, left, top, 120, 13);
    text->SetCaption(caption);
    return text;
  };
  auto button = [this](TWinControl* parent, const char* name, const char* caption, int left, int top, int width) {
    auto* b = Make<TXPButton>(this, parent, name, left, top, width, 23);
    b->SetCaption(caption);
    return b;
  };
  auto list = [this](TWinControl* parent, const char* name, int left, int top, int width, int rows,
                     std::initializer_list<const char*> items) {
    auto* combo = Make<TXPComboBox>(this, parent, name, left, top, width, 21);
    combo->SetStyle(csDropDownList);
    combo->SetDropDownCount(rows);
    for (const char* item : items) combo->Items()->Add(item);
    return combo;
  };

  // ---- Page list and pages --------------------------------------------------------------------
  XPListBox1 = Make<TXPListBox>(this, this, "XPListBox1", 8, 8, 112, 376);
  XPListBox1->Items()->Add("走势图和 K 线图");
  XPListBox1->Items()->Add("报价窗口");
  XPListBox1->OnClick = [this](TObject* s) { XPListBox1Click(s); };

  auto page = [this](const char* name) {
    auto* p = Make<TPanel>(this, this, name, 128, 8, 424, 376);
    p->SetCaption("");
    p->SetBevelOuter(bvNone);
    return p;
  };
  Panel1 = page("Panel1");
  Panel2 = page("Panel2");
  Panel2->SetVisible(false);

  // Panel2: the quote list's wheel.
  Label6 = label(Panel2, "Label6", "滚动鼠标滚轮时:", 8, 12);
  XPComboBox2 = list(Panel2, "XPComboBox2", 8, 30, 160, 8, {"滚动一行", "滚动一页", "滚动至下一品种"});

  // Panel1: the information window and detail items.
  GroupBox3 = Make<TGroupBox>(this, Panel1, "GroupBox3", 0, 0, 424, 164);
  GroupBox3->SetCaption("");
  XPCheckBox2 = check(GroupBox3, "XPCheckBox2", "显示信息窗口", 8, 12, 150);
  XPCheckBox3 = check(GroupBox3, "XPCheckBox3", "将信息窗口置于左侧", 168, 12, 180);
  XPCheckBox7 = check(GroupBox3, "XPCheckBox7", "成交明细由下至上显示", 8, 32, 150);
  XPCheckBox10 = check(GroupBox3, "XPCheckBox10", "按下回车键时在报价、走", 168, 32, 180);
  Label10 = label(GroupBox3, "Label10", "势、K线间循环", 187, 50);
  Label5 = label(GroupBox3, "Label5", "依次显示被勾选的数据项:", 8, 66);
  XPCheckListBox1 = Make<TXPCheckListBox>(this, GroupBox3, "XPCheckListBox1", 8, 82, 340, 74);
  XPCheckListBox1->SetColumns(4);
  XPCheckListBox1->SetMultiSelect(true);
  XPButton3 = button(GroupBox3, "XPButton3", "上移", 356, 82, 60);
  XPButton4 = button(GroupBox3, "XPButton4", "下移", 356, 112, 60);
  XPButton3->OnClick = [this](TObject* s) { XPButton3Click(s); };
  XPButton4->OnClick = [this](TObject* s) { XPButton4Click(s); };

  GroupBox2 = Make<TGroupBox>(this, Panel1, "GroupBox2", 0, 168, 424, 44);
  GroupBox2->SetCaption("走势图");
  XPCheckBox5 = check(GroupBox2, "XPCheckBox5", "分时图以昨收为中线", 8, 18, 200);

  GroupBox1 = Make<TGroupBox>(this, Panel1, "GroupBox1", 0, 216, 424, 160);
  GroupBox1->SetCaption("K 线图");
  XPCheckBox1 = check(GroupBox1, "XPCheckBox1", "分钟线只显示当日数据", 8, 18, 160);
  XPCheckBox6 = check(GroupBox1, "XPCheckBox6", "不显示坐标", 168, 18, 110);
  XPCheckBox4 = check(GroupBox1, "XPCheckBox4", "坐标置于右侧", 288, 18, 120);
  XPCheckBox8 = check(GroupBox1, "XPCheckBox8", "空心 K 线", 8, 38, 160);
  XPCheckBox9 = check(GroupBox1, "XPCheckBox9", "曲线平滑", 168, 38, 110);
  Label1 = label(GroupBox1, "Label1", "主图指标:", 8, 66);
  XPEdit1 = Make<TXPEdit>(this, GroupBox1, "XPEdit1", 72, 62, 130, 21);
  XPEdit1->SetMaxLength(kMaxIndicatorText);
  Label2 = label(GroupBox1, "Label2", "副图指标:", 216, 66);
  XPEdit2 = Make<TXPEdit>(this, GroupBox1, "XPEdit2", 280, 62, 130, 21);
  XPEdit2->SetMaxLength(kMaxIndicatorText);
  Label3 = label(GroupBox1, "Label3", "默认周期:", 8, 98);
  XPComboBox1 = list(GroupBox1, "XPComboBox1", 72, 94, 130, 16,
                     {"日线", "周线", "月线", "季线", "1分钟", "3分钟", "5分钟", "15分钟", "30分钟", "60分钟",
                      "120分钟", "240分钟"});
  Label4 = label(GroupBox1, "Label4", "K 线宽窄:", 216, 98);
  XPComboBox3 = Make<TXPComboBox>(this, GroupBox1, "XPComboBox3", 280, 94, 130, 21);
  XPComboBox3->SetStyle(csDropDownList);
  XPComboBox3->SetDropDownCount(12);
  for (int width = 1; width <= kZoomItems; ++width) {
    char item[16];
    if (width == 1) {
      std::snprintf(item, sizeof item, "%s", " 1(最窄)");
    } else if (width == kDefaultZoomLevel + 1) {
      std::snprintf(item, sizeof item, "%s", "17(默认)");
    } else if (width == kZoomItems) {
      std::snprintf(item, sizeof item, "%s", "29(最宽)");
    } else {
      std::snprintf(item, sizeof item, "%2d", width);
    }
    XPComboBox3->Items()->Add(item);
  }

  // ---- Below both pages -----------------------------------------------------------------------
  XPCheckBox100 = check(this, "XPCheckBox100", "将以上设置保存为默认参数", 8, 402, 200);
  XPButton5 = button(this, "XPButton5", "恢复为初始值", 128, 400, 96);
  XPButton6 = button(this, "XPButton6", "颜色和字体", 232, 400, 96);
  XPButton1 = button(this, "XPButton1", "确定", 392, 400, 75);
  XPButton2 = button(this, "XPButton2", "取消", 477, 400, 75);
  XPButton1->SetDefault(true);
  XPButton1->SetModalResult(mrOk);
  XPButton2->SetCancel(true);
  XPButton2->SetModalResult(mrCancel);
  XPButton5->OnClick = [this](TObject* s) { XPButton5Click(s); };
  XPButton6->OnClick = [this](TObject* s) { XPButton6Click(s); };
  XPButton1->OnClick = [this](TObject* s) { XPButton1Click(s); };
}

void TQuoteOptionDlg::AddDetailItem(int id, const std::string& caption, bool checked) {
  const int row = XPCheckListBox1->Items()->AddObject(caption, reinterpret_cast<void*>(static_cast<std::intptr_t>(id)));
  XPCheckListBox1->SetChecked(row, checked);
}

int TQuoteOptionDlg::DetailItemId(int row) const {
  if (row < 0 || row >= XPCheckListBox1->Items()->Count()) return 0;
  return static_cast<int>(reinterpret_cast<std::intptr_t>(XPCheckListBox1->Items()->GetObject(row)));
}

HWND TQuoteOptionDlg::MainWindowHandle() const {
  if (MainWindow != nullptr) return MainWindow;
  if (auto* windowed = dynamic_cast<TWinControl*>(Owner())) return windowed->Handle();
  TForm* mainForm = Application->MainForm();
  return mainForm != nullptr && mainForm != this ? mainForm->Handle() : nullptr;
}

// ---- Pages and detail rows -------------------------------------------------------------------------

void TQuoteOptionDlg::XPListBox1Click(TObject*) {
  switch (XPListBox1->ItemIndex()) {
    case 0:
      Panel2->SetVisible(false);
      Panel1->SetVisible(true);
      break;
    case 1:
      Panel1->SetVisible(false);
      Panel2->SetVisible(true);
      break;
    default:
      break;
  }
}

void TQuoteOptionDlg::XPButton3Click(TObject*) {
  TStrings* rows = XPCheckListBox1->Items();
  // Walking downwards lets a block of selected rows climb together past the row above it.
  for (int i = 1; i < rows->Count(); ++i) {
    if (XPCheckListBox1->Selected(i) && !XPCheckListBox1->Selected(i - 1)) rows->Exchange(i, i - 1);
  }
}

void TQuoteOptionDlg::XPButton4Click(TObject*) {
  TStrings* rows = XPCheckListBox1->Items();
  for (int i = rows->Count() - 2; i >= 0; --i) {
    if (XPCheckListBox1->Selected(i) && !XPCheckListBox1->Selected(i + 1)) rows->Exchange(i, i + 1);
  }
}

// ---- Initial values --------------------------------------------------------------------------------

void TQuoteOptionDlg::XPButton5Click(TObject*) {
  const bool stockLike = IsStockLikeInstrument(Instrument);
  XPCheckListBox1->Items()->Clear();
  const std::vector<int>& initial = InitialDetailItems();
  for (int id : initial) AddDetailItem(id, DetailItemCaption(id, stockLike), true);
  for (int id : DetailItemIds()) {
    bool listed = false;
    for (int checked : initial) listed = listed || checked == id;
    if (!listed) AddDetailItem(id, DetailItemCaption(id, stockLike), false);
  }
  for (TXPCheckBox* on : {XPCheckBox2, XPCheckBox10, XPCheckBox5, XPCheckBox8, XPCheckBox9}) on->SetChecked(true);
  for (TXPCheckBox* off : {XPCheckBox3, XPCheckBox7, XPCheckBox1, XPCheckBox6, XPCheckBox4}) off->SetChecked(false);
  XPComboBox1->SetItemIndex(0);
  XPComboBox3->SetItemIndex(kDefaultZoomLevel);
  XPComboBox2->SetItemIndex(0);
  XPEdit1->SetText("K,MA");
  XPEdit2->SetText("VOL,MACD");
}

// ---- Colour and font tool --------------------------------------------------------------------------

void TQuoteOptionDlg::XPButton6Click(TObject*) {
  char command[128];
  std::snprintf(command, sizeof command, "%s HWND:%d MSG:%d THEME:%d", kToolProgram,
                static_cast<int>(reinterpret_cast<std::intptr_t>(MainWindowHandle())), static_cast<int>(MsgOptionsChanged),
                LastTheme);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    MessageBoxA(Handle(), kToolFailed, kErrorCaption, MB_OK | MB_ICONERROR);
    return;
  }
  // The tool reports by posting to the main window; nobody waits for it.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// ---- OK --------------------------------------------------------------------------------------------

std::optional<std::string> TQuoteOptionDlg::CheckIndicators() const {
  auto kindOf = [this](const std::string& name) -> std::optional<int> {
    if (!FindIndex) return std::nullopt;
    return FindIndex(name);
  };
  if (GroupBox1->Visible() && XPEdit1->Visible()) {
    const std::vector<std::string> names = SplitAtCommas(IndicatorText(XPEdit1));
    const std::string first = IndicatorLookupName(names.front());
    if (first.empty()) return std::string("主图指标不能为空。  ");
    const std::optional<int> kind = kindOf(first);
    if (!kind) return Format("主图指标 %s 不存在。  ", first);
    if (*kind != kIndicatorMainChart) return Format("%s 不是主图指标。  ", first);
    for (std::size_t i = 1; i < names.size(); ++i) {
      const std::string name = IndicatorLookupName(names[i]);
      if (name.empty()) continue;
      const std::optional<int> overlay = kindOf(name);
      if (!overlay) return Format("主图叠加指标 %s 不存在。  ", name);
      if (*overlay != kIndicatorOverlay) return Format("%s 不是主图叠加指标。  ", name);
    }
  }
  if (GroupBox1->Visible() && XPEdit2->Visible()) {
    for (const std::string& piece : SplitAtCommas(IndicatorText(XPEdit2))) {
      const std::string name = IndicatorLookupName(piece);
      if (name.empty()) continue;
      const std::optional<int> kind = kindOf(name);
      if (!kind) return Format("副图指标 %s 不存在。  ", name);
      if (*kind != kIndicatorSubChart) return Format("%s 不是副图指标。  ", name);
    }
  }
  return std::nullopt;
}

void TQuoteOptionDlg::WriteSettings() {
  const std::string defaults = UserFilePath("defui.ini");
  const std::string settings = UserFilePath("SETTING.INI");
  const HWND mainWindow = MainWindowHandle();
  auto tell = [mainWindow](UINT what) { PostMessageA(mainWindow, MsgOptionsChanged, 0, static_cast<LPARAM>(what)); };
  char number[32];

  const bool chart = GroupBox1->Visible();
  if (chart && XPEdit1->Visible()) WriteKey("UI", "MainGraph", IndicatorText(XPEdit1), defaults);
  if (chart && XPEdit2->Visible()) WriteKey("UI", "SubGraph", IndicatorText(XPEdit2), defaults);
  if (chart && XPComboBox1->Visible()) {
    std::snprintf(number, sizeof number, "%u", ChartCycleOfCycleItem(XPComboBox1->ItemIndex()));
    WriteKey("UI", "DefCycle", number, defaults);
  }
  if (chart && XPComboBox3->Visible()) {
    const int zoom = XPComboBox3->ItemIndex();
    std::snprintf(number, sizeof number, "%i", zoom < 0 ? kDefaultZoomLevel : zoom);
    WriteKey("Parameter", "ZoomLevel", number, settings);
    tell(kOptionsZoom);
  }
  if (chart && XPCheckBox8->Visible()) {
    WriteKey("Parameter", "KLineMode", Flag(XPCheckBox8->Checked()), settings);
    tell(kOptionsKLineMode);
  }
  if (chart && XPCheckBox9->Visible()) {
    WriteKey("Parameter", "AntiAlias", Flag(XPCheckBox9->Checked()), settings);
    tell(kOptionsAntiAlias);
  }

  if (XPListBox1->Visible() || XPCheckBox100->Checked()) {
    unsigned property = GetPrivateProfileIntA("UI", "Property", 0, defaults.c_str());
    if (chart) {
      WriteKey("UI", "TodayMinOnly", Flag(XPCheckBox1->Checked()), defaults);
      property = SetBit(property, kNoAxis, XPCheckBox6->Checked());
      property = SetBit(property, kAxisRight, XPCheckBox4->Checked());
    }
    if (GroupBox2->Visible()) property = SetBit(property, kTrendNotCentred, !XPCheckBox5->Checked());
    property = SetBit(property, kDetailBottomUp, XPCheckBox7->Checked());
    property = SetBit(property, kEnterNoCycle, !XPCheckBox10->Checked());
    property = SetBit(property, kInfoLeft, XPCheckBox3->Checked());
    std::snprintf(number, sizeof number, "%u", property);
    WriteKey("UI", "Property", number, defaults);
    WriteKey("UI", "InfoVisible", Flag(XPCheckBox2->Checked()), defaults);

    std::string items;
    int written = 0;
    for (int row = 0; row < XPCheckListBox1->Items()->Count() && written < kMaxDetailItems; ++row) {
      if (!XPCheckListBox1->Checked(row)) continue;
      if (written++ > 0) items += ',';
      items += std::to_string(DetailItemId(row));
    }
    WriteKey("UI", "DetailItem", items, defaults);
  }

  if (XPListBox1->Visible() || Panel2->Visible()) {
    unsigned property = GetPrivateProfileIntA("UI", "Property", 0, defaults.c_str());
    const int wheel = XPComboBox2->ItemIndex();
    property = SetBit(property, kWheelPage, wheel == 1);
    property = SetBit(property, kWheelInstrument, wheel == 2);
    std::snprintf(number, sizeof number, "%u", property);
    WriteKey("UI", "Property", number, defaults);
  }
}

void TQuoteOptionDlg::XPButton1Click(TObject*) {
  if (const std::optional<std::string> refused = CheckIndicators()) {
    SetModalResult(mrNone);
    MessageBoxA(Handle(), refused->c_str(), kErrorCaption, MB_OK | MB_ICONERROR);
    return;
  }
  WriteSettings();
  if (XPListBox1->Visible()) MessageBoxA(Handle(), kAppliesToNewWindows, kInfoCaption, MB_OK | MB_ICONINFORMATION);
}
