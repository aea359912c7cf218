#include "dialogs/Hotkey.h"

#include "platform/Button.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpmemo.h"

#include <algorithm>

using zuvo::widgets::TXPButton;

namespace {

struct DefaultKey {
  const char* keys;
  const char* command;
};

constexpr DefaultKey kDefaultKeys[] = {
    {"ESC", "后退"},
    {"F1 或 01", "成交明细列表"},
    {"F2 或 02", "价量分布图"},
    {"F3 或 03", "上证领先指标"},
    {"F4 或 04", "深证领先指标"},
    {"F5 或 05", "切换走势图与技术分析图"},
    {"F6 或 06", "自选品种"},
    {"F7 或 07", "窗口放大、还原"},
    {"F8 或 08", "技术分析图周期循环"},
    {"F9 或 09", "新闻"},
    {"F10 或 10", "背景资料"},
    {"F12", "网上交易"},
    {"0", "闪电图"},
    {"1 至 9、M、D", "技术分析图周期切换"},
    {"16", "信息地雷"},
    {".0 至 .64", "切换自定义页面"},
    {"← 和 →", "报价窗口切换板块，走势图技术分析图查价"},
    {"Ctrl + ← 和 →", "闪电图、技术分析图向左、右移动整屏"},
    {"Shift + ← 和 →", "闪电图、技术分析图向左、右移动半屏"},
    {"/ 和 *", "技术分析指标循环"},
    {"-", "循环报价"},
    {"↑ 和 ↓", "闪电图技术分析图放大、缩小，走势图历史回忆"},
    {"Del", "技术分析图删除选中的指标或自画线"},
    {"Ctrl+S", "页面循环"},
    {"Shift+Ctrl+S", "反向页面循环"},
    {"Ctrl+Z", "设为自选"},
    {"Ctrl+L", "走势图、技术分析图显隐信息窗口"},
    {"Ctrl+O", "技术分析图商品叠加"},
    {"Ctrl+A", "技术分析图套利"},
    {"Ctrl+R", "技术分析图坐标反转"},
    {"Ctrl+F", "技术分析图指标管理"},
    {"Alt+F12", "技术分析图画线"},
    {"Ctrl+M", "报价窗口添加板块"},
    {"Ctrl+C", "报价窗口关闭板块"},
    {"Ctrl+F4", "关闭窗口"},
    {"Ctrl+P", "全屏显示"},
};

// Blanks between the longest key and its command.
constexpr std::size_t kColumnGap = 4;

}  // namespace

Thotkeydlg::Thotkeydlg(TComponent* owner) : TForm(owner) {
  SetName("hotkeydlg");
  SetCaption("快捷键说明");
  SetBorderStyle(bsSingle);
  SetBorderIcons(1u << biSystemMenu);
  SetFormStyle(fsStayOnTop);
  SetPosition(poScreenCenter);
  SetClientWidth(420);
  SetClientHeight(380);

  XPMemo1 = new TXPMemo(this);
  XPMemo1->SetName("XPMemo1");
  XPMemo1->SetParent(this);
  XPMemo1->SetBounds(8, 8, 404, 330);
  XPMemo1->SetReadOnly(true);
  XPMemo1->SetWordWrap(false);
  XPMemo1->SetScrollBars(ssBoth);
  XPMemo1->Font()->SetName("宋体");
  XPMemo1->Lines()->BeginUpdate();
  for (const std::string& line : MemoLines()) XPMemo1->Lines()->Add(line);
  XPMemo1->Lines()->EndUpdate();

  XPButton1 = new TXPButton(this);
  XPButton1->SetName("XPButton1");
  XPButton1->SetParent(this);
  XPButton1->SetBounds(8, 347, 100, 25);
  XPButton1->SetCaption("自定义快捷键");
  XPButton1->OnClick = Handler(this, &Thotkeydlg::XPButton1Click);
  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(337, 347, 75, 25);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->OnClick = Handler(this, &Thotkeydlg::Button1Click);
  SetActiveControl(Button1);
}

Thotkeydlg::~Thotkeydlg() {
  if (slot_ != nullptr && *slot_ == this) *slot_ = nullptr;
}

std::vector<std::string> Thotkeydlg::MemoLines() {
  std::size_t width = 0;
  for (const DefaultKey& key : kDefaultKeys) width = std::max(width, std::char_traits<char>::length(key.keys));
  width += kColumnGap;
  std::vector<std::string> lines{"系统默认快捷键", ""};
  for (const DefaultKey& key : kDefaultKeys) {
    std::string line = key.keys;
    line.resize(width, ' ');
    lines.push_back(line + key.command);
  }
  return lines;
}

void Thotkeydlg::Button1Click(TObject*) { Close(); }

void Thotkeydlg::XPButton1Click(TObject*) {
  if (OnEditHotkeys) {
    std::function<void()> edit = OnEditHotkeys;
    edit();
  }
}

void ToggleHotkeyDlg(Thotkeydlg*& box, TComponent* owner, std::function<void()> editHotkeys) {
  if (box != nullptr && box->Visible()) {
    Thotkeydlg* open = box;
    box = nullptr;
    open->Close();
    delete open;
    return;
  }
  if (box == nullptr) {
    box = new Thotkeydlg(owner);
    box->slot_ = &box;
    box->AfterConstruction();
  }
  box->OnEditHotkeys = std::move(editHotkeys);
  box->Show();
}
