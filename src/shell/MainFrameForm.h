// The main window's form: its menus, tool bar, status bar and host panels as the form designer
// laid them out (captions, tags, checks, hidden items, radio groups, hints, sizes), with no
// handlers attached. TMFrame (shell/MainFrame.h) derives from it and attaches the handlers it
// owns; later units attach theirs to the same components by name.
//
// The main menu is never shown natively: the skinned menu bar shows it. Items that are filled at
// run time (板块, 导入页面, 显示风格, 时区设定, the web menu, 交易, 选择指标) start empty.
#pragma once

#include "platform/Form.h"
#include "platform/Menu.h"
#include "platform/Panel.h"
#include "platform/ToolBar.h"

#include <array>
#include <vector>

// Component names follow the handlers that act on them (the item of `N55Click` is `N55`); each
// component is named as its member. Menu separators are Separator1, Separator2, ... and the
// tool bar's ToolSeparator1 to ToolSeparator3, in the order they were made.
class TMFrameForm : public TForm {
 public:
  // Builds every component below; the form itself is 1024 x 740, caption the application title.
  explicit TMFrameForm(TComponent* owner);
  ~TMFrameForm() override;
  const char* ClassName() const override { return "TMFrame"; }

  // ---- Main menu ----------------------------------------------------------------------------
  TMainMenu* MainMenu1 = nullptr;

  // 系统
  TMenuItem* N1 = nullptr;            // "系统" (opening: captions)
  TMenuItem* C1 = nullptr;            // "连接主站(&C)"
  TMenuItem* View1 = nullptr;         // "视图(&V)"
  TMenuItem* MenuItem94 = nullptr;    // "走势图优先(&M)" (checked)
  TMenuItem* T1 = nullptr;            // "闪电图优先(&T)"
  TMenuItem* N51 = nullptr;           // "报价网格(&G)" (checked)
  TMenuItem* FullScreen1 = nullptr;   // "全屏显示      Ctrl+P"
  TMenuItem* MenuItem100 = nullptr;   // "工具栏(&O)" (checked)
  TMenuItem* MenuItem103 = nullptr;   // "状态栏(&S)" (checked)
  TMenuItem* Q1 = nullptr;            // "报价排(&Q)"
  TMenuItem* N24 = nullptr;           // "自动升级(&U)"
  TMenuItem* N54 = nullptr;           // "窗口放大还原    F7"
  TMenuItem* N11 = nullptr;           // "联动(&S)"
  TMenuItem* N71 = nullptr;           // "屏幕截图(&B)"
  TMenuItem* MenuItem90 = nullptr;    // "打印(&P)"
  TMenuItem* MenuItem109 = nullptr;   // "退出系统      Alt+F4"

  // 页面
  TMenuItem* PageMenu1 = nullptr;     // "页面"
  TMenuItem* N10 = nullptr;           // "新建页面(&N)"
  TMenuItem* N12 = nullptr;           // "保存页面(&S)"
  TMenuItem* N19 = nullptr;           // "另存页面(&E)"
  TMenuItem* N53 = nullptr;           // "页面管理(&M)"
  TMenuItem* N17 = nullptr;           // "自动保存页面(&A)" (checked)
  TMenuItem* N56 = nullptr;           // "切分窗口(&P)"
  TMenuItem* N58 = nullptr;           // "横切(&H)"
  TMenuItem* N59 = nullptr;           // "竖切(&V)"
  TMenuItem* N57 = nullptr;           // "关闭窗口      Ctrl+F4"
  TMenuItem* N8 = nullptr;            // "导入页面(&I)" (filled)

  // 板块 (filled)
  TMenuItem* BlockMenu1 = nullptr;    // "板块"

  // 图表
  TMenuItem* Chart1 = nullptr;        // "图表"
  TMenuItem* N14 = nullptr;           // "报价画面(&P)"
  TMenuItem* TICK1 = nullptr;         // "闪电图(&T)"
  TMenuItem* N15 = nullptr;           // "分时图(&M)"
  TMenuItem* N16 = nullptr;           // "K 线图(&K)"

  // 分析
  TMenuItem* MenuItem117 = nullptr;   // "分析" (opening: prepares it)
  TMenuItem* N65 = nullptr;           // "商品叠加      Ctrl+O"
  TMenuItem* D1 = nullptr;            // "叠加坐标(&D)"
  TMenuItem* R1 = nullptr;            // "相对坐标(&R)" (radio, checked, tag 0)
  TMenuItem* A2 = nullptr;            // "绝对坐标(&A)" (radio, tag 1)
  TMenuItem* A1 = nullptr;            // "套利分析      Ctrl+A"
  TMenuItem* C2 = nullptr;            // "主图坐标(&C)"
  TMenuItem* V1 = nullptr;            // "数值坐标(&V)" (radio, checked, tag 0)
  TMenuItem* P1 = nullptr;            // "百分比坐标(&P)" (radio, tag 1)
  TMenuItem* L2 = nullptr;            // "对数坐标(&L)" (radio, tag 2, hidden)
  TMenuItem* G1 = nullptr;            // "坐标反转(&E)" (opening)
  TMenuItem* CtrlR1 = nullptr;        // "启用          Ctrl+R"
  TMenuItem* S2 = nullptr;            // "反转副图(&S)"
  TMenuItem* MenuItem127 = nullptr;   // "指标参数(&P)"
  TMenuItem* R3 = nullptr;            // "参考线(&R)"
  TMenuItem* C3 = nullptr;            // "变换周期(&C)"
  // The 14 radio items of 变换周期, in menu order (日线 first, checked); tag = the chart cycle.
  // The names are the ones the charts' period table uses (tag 1 is N28, tag 8 MenuItem119).
  TMenuItem* MenuItem119 = nullptr;   // 日线 8
  TMenuItem* MenuItem120 = nullptr;   // 周线 9
  TMenuItem* MenuItem121 = nullptr;   // 月线 10
  TMenuItem* N23 = nullptr;           // 季线 11
  TMenuItem* N27 = nullptr;           // 任意天 12
  TMenuItem* N28 = nullptr;           // 1分钟 1
  TMenuItem* N31 = nullptr;           // 3分钟 2
  TMenuItem* MenuItem122 = nullptr;   // 5分钟 4
  TMenuItem* MenuItem123 = nullptr;   // 15分钟 5
  TMenuItem* MenuItem124 = nullptr;   // 30分钟 6
  TMenuItem* MenuItem125 = nullptr;   // 60分钟 7
  TMenuItem* N1201 = nullptr;         // 120分钟 13
  TMenuItem* N241 = nullptr;          // 240分钟 14
  TMenuItem* N29 = nullptr;           // 任意分 3
  std::array<TMenuItem*, 14> CycleItems{};   // the same 14, in menu order
  TMenuItem* W1 = nullptr;            // "除权状态(&W)"
  TMenuItem* N40 = nullptr;           // "不除权(&R)" (radio, checked, tag 0)
  TMenuItem* N41 = nullptr;           // "前复权      Ctrl+V" (radio, tag 1)
  TMenuItem* N42 = nullptr;           // "后复权      Ctrl+B" (radio, tag 2)
  TMenuItem* MenuItem128 = nullptr;   // "画线工具      Alt+F12" (opening)
  // Its line items in menu order (named Line<tag>, tags as the line-tool table), without the
  // separator before 删除画线 and 全部删除.
  std::vector<TMenuItem*> LineItems;
  TMenuItem* N81 = nullptr;           // "指标管理      Ctrl+F"
  TMenuItem* SelectIndex1 = nullptr;  // "选择指标(&I)" (filled)

  // 新闻
  TMenuItem* News1 = nullptr;         // "新闻"
  TMenuItem* N26 = nullptr;           // "即时新闻      F9"
  TMenuItem* F101 = nullptr;          // "背景资料      F10"
  TMenuItem* N161 = nullptr;          // "信息地雷      16"
  TMenuItem* N44 = nullptr;           // "上证信息      71"
  TMenuItem* N45 = nullptr;           // "深证信息      72"
  TMenuItem* N52 = nullptr;           // "系统消息(&S)"

  // The web menu: its caption is set at creation (default "网站"); items filled.
  TMenuItem* Web1 = nullptr;
  TMenuItem* N50 = nullptr;           // "手机行情" (hidden)

  // 交易 (filled)
  TMenuItem* Trade1 = nullptr;        // "交易"

  // 工具
  TMenuItem* MenuItem143 = nullptr;   // "工具" (opening)
  TMenuItem* O2 = nullptr;            // "选项(&O)"
  TMenuItem* MenuItem144 = nullptr;   // "板块设置(&B)"
  TMenuItem* MenuItem145 = nullptr;   // "报价栏目(&E)"
  TMenuItem* Y1 = nullptr;            // "周期设置(&Y)"
  TMenuItem* N35 = nullptr;           // "热键定义(&H)"
  TMenuItem* Z1 = nullptr;            // "时区设定(&Z)" (filled)
  TMenuItem* N68 = nullptr;           // "显示风格(&S)" (filled)
  TMenuItem* N67 = nullptr;           // "颜色字体(&T)"
  TMenuItem* N300 = nullptr;          // "我的目录(&D)"
  TMenuItem* N30 = nullptr;           // "交易设置(&D)" (hidden)
  TMenuItem* W2 = nullptr;            // "行情预警(&W)"
  TMenuItem* O1 = nullptr;            // "预警开关(&O)" (checked)
  TMenuItem* S1 = nullptr;            // "预警设置(&S)"
  TMenuItem* L1 = nullptr;            // "预警列表(&L)"
  TMenuItem* N22 = nullptr;           // "数据刷新(&R)"
  TMenuItem* N73 = nullptr;           // "修改密码(&P)"
  TMenuItem* N55 = nullptr;           // "循环报价      -"
  TMenuItem* N21 = nullptr;           // "计算器(&C)"

  // 帮助
  TMenuItem* Help1 = nullptr;         // "帮助"
  TMenuItem* MenuItem167 = nullptr;   // "使用说明(&H)" (hidden)
  TMenuItem* N66 = nullptr;           // "常见问题(&F)" (hidden)
  TMenuItem* N47 = nullptr;           // "快捷键(&K)"
  TMenuItem* N63 = nullptr;           // "免责条款(&N)" (hidden)
  TMenuItem* MenuItem170 = nullptr;   // "用户信息(&U)"
  TMenuItem* N64 = nullptr;           // "在线支持(&Q)" (hidden)
  TMenuItem* F1 = nullptr;            // "意见反馈(&S)" (hidden)
  TMenuItem* N72 = nullptr;           // "关于(&A)" (hidden)

  // ---- Popup menus ----------------------------------------------------------------------------
  TPopupMenu* PopupMenu1 = nullptr;   // the status bar's
  TMenuItem* FullScreen2 = nullptr;   // "全屏显示    Ctrl+P"
  TMenuItem* ToolBar2 = nullptr;      // "工具栏(&T)" (checked)
  TMenuItem* StatusBar2 = nullptr;    // "状态栏(&S)" (checked)
  TPopupMenu* PopupMenu2 = nullptr;   // the page box's page menu (filled)

  // ---- Tool bar (flat, buttons 25 wide, images of ToolImages) --------------------------------
  TImageList* ToolImages = nullptr;
  TImageList* QuickDealImages = nullptr;   // the quick-order bar's buttons, 38 x 13
  TToolBar* ToolBar1 = nullptr;
  TToolButton* ToolButton1 = nullptr;    // "后退 ESC"
  TToolButton* TrendBtn = nullptr;       // "走势图"
  TToolButton* KLineBtn = nullptr;       // "K线图"
  TToolButton* ToolButton4 = nullptr;    // "起始页"
  TToolButton* NewsBtn = nullptr;        // "新闻 F9"
  TToolButton* ToolButton14 = nullptr;   // "背景资料 F10" (hidden)
  TToolButton* ToolButton9 = nullptr;    // "数据刷新"
  TToolButton* ZoomInBtn = nullptr;      // "放大"
  TToolButton* ZoomOutBtn = nullptr;     // "缩小"
  TToolButton* ToolButton15 = nullptr;   // "显示风格"
  TToolButton* ToolButton23 = nullptr;   // "页面循环 Ctrl+S"
  TToolButton* ToolButton22 = nullptr;   // "信息窗口 Ctrl+L"
  TToolButton* ToolButton10 = nullptr;   // "技术分析" (hidden)
  TToolButton* LineBtn = nullptr;        // "画线工具 Alt+F12" (check)
  TToolButton* AlarmBtn = nullptr;       // "预警设置"
  TToolButton* ToolButton13 = nullptr;   // "连接" (hidden)
  TToolButton* ToolButton18 = nullptr;   // "在线技术支持" (hidden)
  TToolButton* ToolButton17 = nullptr;   // "闪电手" (check, hidden)
  TToolButton* QuoteBoardBtn = nullptr;  // "报价排" (check, hidden)
  TToolButton* ToolButton11 = nullptr;   // "帮助" (hidden)
  TToolButton* FullScreenBtn = nullptr;  // "全屏" (hidden)
  // The 14 grouped check buttons of the chart cycles in bar order, as the 变换周期 items (Cycle[0]
  // 日线 down); tag = the chart cycle. Their names follow the cycles, not the bar: Cycle1 to
  // Cycle11 (日线 .. 60分钟), Cycle13 (120分钟), Cycle14 (240分钟), then Cycle12 (任意分) last.
  std::array<TToolButton*, 14> Cycle{};

  // ---- Panels ------------------------------------------------------------------------------
  TPanel* Panel9 = nullptr;      // the menu bar's host, at the top
  TPanel* Panel4 = nullptr;      // the quick-order bar's host (hidden)
  TPanel* Panel1 = nullptr;      // the quote strip's host (hidden until 报价排)
  TSplitter* Splitter1 = nullptr;// between the quote strip and the page (hidden with it)
  TPanel* ClientPanel = nullptr; // the page window's parent: the rest of the client area

  // The status bar: a 15-pixel panel at the bottom, font "Arial" 13 px blue; each box is a
  // paint box filling a panel of its own width (StatusPanelN holds StatusBoxN).
  TPanel* StatusBar = nullptr;
  TPanel* StatusPanel1 = nullptr;   // 369 px, left: index bar
  TPanel* StatusPanel6 = nullptr;   // the rest: notice ticker
  TPanel* StatusPanel2 = nullptr;   // 82 px, right: page name
  TPanel* StatusPanel4 = nullptr;   // 36 px, right: title letters
  TPanel* StatusPanel5 = nullptr;   // 36 px, right: clock
  TPaintBox* StatusBox1 = nullptr;
  TPaintBox* StatusBox6 = nullptr;
  TPaintBox* StatusBox2 = nullptr;
  TPaintBox* StatusBox4 = nullptr;
  TPaintBox* StatusBox5 = nullptr;

  // ---- Timers (disabled; FormCreate enables Timer1) -------------------------------------------
  TTimer* Timer1 = nullptr;   // 1000 ms
  TTimer* Timer2 = nullptr;   // the ticker's scroll timer
};
