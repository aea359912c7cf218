// The main window's form: every menu, the tool bar, the status bar and the host panels, as the
// form designer laid them out. Nothing here attaches a handler: TMFrame and the later units do.
#include "shell/MainFrameForm.h"

#include "platform/Gdi.h"

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace {

// ---- Tool images -------------------------------------------------------------------------------
// There are no image files: the tool bar's pictures are simple glyphs drawn here, one 16 x 16
// cell per button, on a magenta key that the image list makes transparent.
constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kInk = RGB(0, 0, 128);
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kGreen = RGB(0, 128, 0);
constexpr COLORREF kGrey = RGB(96, 96, 96);

enum class Glyph {
  kBack, kTrend, kKLine, kHome, kNews, kInfo, kRefresh, kZoomIn, kZoomOut, kStyle, kPageCycle,
  kInfoWindow, kAnalysis, kLine, kAlarm, kConnect, kSupport, kLightning, kQuoteBoard, kHelp,
  kFullScreen,
};

class GlyphSheet {
 public:
  GlyphSheet(int cellWidth, int cellHeight, int cells)
      : w_(cellWidth), h_(cellHeight), dc_(CreateCompatibleDC(nullptr)) {
    bitmap_ = CreateCompatibleBitmap(dc_, w_ * cells, h_);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, w_ * cells, h_};
    HBRUSH key = CreateSolidBrush(kKey);
    FillRect(dc_, &all, key);
    DeleteObject(key);
    SetBkMode(dc_, TRANSPARENT);
  }
  ~GlyphSheet() {
    if (dc_ != nullptr) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  GlyphSheet(const GlyphSheet&) = delete;
  GlyphSheet& operator=(const GlyphSheet&) = delete;

  // Adds the drawn cells to the list, the key colour transparent.
  void AddTo(TImageList* list) {
    SelectObject(dc_, old_);   // a bitmap is read while no context holds it
    list->AddMasked(bitmap_, static_cast<TColor>(kKey));
    old_ = SelectObject(dc_, bitmap_);
  }

  // Drawing into cell `cell`, coordinates inside the cell.
  void Line(int cell, COLORREF colour, int width, std::initializer_list<POINT> points) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ oldPen = SelectObject(dc_, pen);
    bool first = true;
    for (POINT p : points) {
      if (first) MoveToEx(dc_, cell * w_ + p.x, p.y, nullptr);
      else LineTo(dc_, cell * w_ + p.x, p.y);
      first = false;
    }
    SelectObject(dc_, oldPen);
    DeleteObject(pen);
  }
  void Box(int cell, COLORREF frame, COLORREF fill, int left, int top, int right, int bottom) {
    RECT r{cell * w_ + left, top, cell * w_ + right, bottom};
    if (fill != kKey) {
      HBRUSH brush = CreateSolidBrush(fill);
      FillRect(dc_, &r, brush);
      DeleteObject(brush);
    }
    HBRUSH edge = CreateSolidBrush(frame);
    FrameRect(dc_, &r, edge);
    DeleteObject(edge);
  }
  void Shape(int cell, COLORREF colour, std::initializer_list<POINT> points) {
    std::vector<POINT> moved(points);
    for (POINT& p : moved) p.x += cell * w_;
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ oldPen = SelectObject(dc_, pen);
    HGDIOBJ oldBrush = SelectObject(dc_, brush);
    Polygon(dc_, moved.data(), static_cast<int>(moved.size()));
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
  }
  void Ring(int cell, COLORREF colour, int left, int top, int right, int bottom) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc_, pen);
    HGDIOBJ oldBrush = SelectObject(dc_, GetStockObject(NULL_BRUSH));
    Ellipse(dc_, cell * w_ + left, top, cell * w_ + right, bottom);
    SelectObject(dc_, oldBrush);
    SelectObject(dc_, oldPen);
    DeleteObject(pen);
  }
  // A short text centred in the cell.
  void Text(int cell, COLORREF colour, int height, const char* text) {
    HFONT font = CreateFontA(-height, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 0, "Arial");
    HGDIOBJ oldFont = SelectObject(dc_, font);
    SetTextColor(dc_, colour);
    const int length = static_cast<int>(std::strlen(text));
    SIZE size{};
    GetTextExtentPoint32A(dc_, text, length, &size);
    TextOutA(dc_, cell * w_ + (w_ - size.cx) / 2, (h_ - size.cy) / 2, text, length);
    SelectObject(dc_, oldFont);
    DeleteObject(font);
  }

 private:
  int w_;
  int h_;
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

void DrawGlyph(GlyphSheet& s, int c, Glyph glyph) {
  switch (glyph) {
    case Glyph::kBack:
      s.Shape(c, kInk, {{2, 8}, {8, 2}, {8, 5}, {14, 5}, {14, 11}, {8, 11}, {8, 14}});
      break;
    case Glyph::kTrend:
      s.Line(c, kGrey, 1, {{1, 14}, {15, 14}});
      s.Line(c, kRed, 1, {{1, 11}, {4, 6}, {7, 9}, {10, 3}, {14, 7}});
      break;
    case Glyph::kKLine:
      s.Line(c, kRed, 1, {{4, 2}, {4, 13}});
      s.Box(c, kRed, kKey, 2, 4, 7, 11);
      s.Line(c, kGreen, 1, {{11, 4}, {11, 15}});
      s.Box(c, kGreen, kGreen, 9, 6, 14, 13);
      break;
    case Glyph::kHome:
      s.Shape(c, kInk, {{1, 8}, {8, 1}, {15, 8}});
      s.Box(c, kInk, kKey, 3, 8, 13, 15);
      s.Box(c, kInk, kInk, 7, 10, 10, 15);
      break;
    case Glyph::kNews:
      s.Box(c, kInk, RGB(255, 255, 255), 2, 1, 14, 15);
      for (int y : {4, 7, 10, 12}) s.Line(c, kGrey, 1, {{4, y}, {12, y}});
      break;
    case Glyph::kInfo:
      s.Text(c, kInk, 9, "F10");
      break;
    case Glyph::kRefresh:
      s.Ring(c, kGreen, 2, 2, 14, 14);
      s.Shape(c, kGreen, {{10, 1}, {15, 3}, {11, 6}});
      break;
    case Glyph::kZoomIn:
    case Glyph::kZoomOut:
      s.Ring(c, kInk, 1, 1, 11, 11);
      s.Line(c, kInk, 2, {{10, 10}, {14, 14}});
      s.Line(c, kInk, 1, {{3, 6}, {9, 6}});
      if (glyph == Glyph::kZoomIn) s.Line(c, kInk, 1, {{6, 3}, {6, 9}});
      break;
    case Glyph::kStyle:
      s.Box(c, kRed, kRed, 1, 1, 8, 8);
      s.Box(c, kGreen, kGreen, 8, 1, 15, 8);
      s.Box(c, kInk, kInk, 1, 8, 8, 15);
      s.Box(c, RGB(200, 160, 0), RGB(200, 160, 0), 8, 8, 15, 15);
      break;
    case Glyph::kPageCycle:
      s.Box(c, kInk, RGB(255, 255, 255), 1, 1, 10, 11);
      s.Box(c, kInk, RGB(255, 255, 255), 6, 5, 15, 15);
      break;
    case Glyph::kInfoWindow:
      s.Box(c, kInk, RGB(255, 255, 255), 1, 2, 15, 14);
      s.Box(c, kInk, kInk, 1, 2, 15, 5);
      s.Text(c, kInk, 9, "i");
      break;
    case Glyph::kAnalysis:
      s.Box(c, kInk, kInk, 2, 9, 5, 15);
      s.Box(c, kInk, kInk, 7, 5, 10, 15);
      s.Box(c, kInk, kInk, 12, 1, 15, 15);
      break;
    case Glyph::kLine:
      s.Line(c, kInk, 2, {{2, 14}, {14, 2}});
      s.Box(c, kRed, kRed, 1, 12, 4, 15);
      s.Box(c, kRed, kRed, 12, 1, 15, 4);
      break;
    case Glyph::kAlarm:
      s.Shape(c, RGB(220, 170, 0), {{8, 1}, {15, 14}, {1, 14}});
      s.Line(c, kInk, 1, {{8, 5}, {8, 10}});
      s.Line(c, kInk, 1, {{8, 11}, {8, 13}});
      break;
    case Glyph::kConnect:
      s.Ring(c, kGreen, 1, 5, 7, 11);
      s.Ring(c, kGreen, 9, 5, 15, 11);
      s.Line(c, kGreen, 1, {{6, 8}, {10, 8}});
      break;
    case Glyph::kSupport:
      s.Ring(c, kInk, 1, 1, 15, 15);
      s.Text(c, kInk, 10, "?");
      break;
    case Glyph::kLightning:
      s.Shape(c, RGB(220, 170, 0), {{9, 1}, {3, 9}, {7, 9}, {5, 15}, {13, 6}, {9, 6}, {11, 1}});
      break;
    case Glyph::kQuoteBoard:
      s.Box(c, kInk, kKey, 1, 1, 15, 15);
      s.Line(c, kInk, 1, {{8, 1}, {8, 15}});
      s.Line(c, kInk, 1, {{1, 5}, {15, 5}});
      s.Line(c, kInk, 1, {{1, 10}, {15, 10}});
      break;
    case Glyph::kHelp:
      s.Text(c, kInk, 13, "?");
      break;
    case Glyph::kFullScreen:
      s.Line(c, kInk, 1, {{1, 5}, {1, 1}, {5, 1}});
      s.Line(c, kInk, 1, {{11, 1}, {14, 1}, {14, 5}});
      s.Line(c, kInk, 1, {{1, 11}, {1, 14}, {5, 14}});
      s.Line(c, kInk, 1, {{11, 14}, {14, 14}, {14, 11}});
      s.Box(c, kInk, kKey, 4, 4, 12, 12);
      break;
  }
}

// ---- Layout tables -----------------------------------------------------------------------------

// The chart cycles in the order of the 变换周期 items and the cycle buttons: the item's name, its
// caption with the default hot key, the button's name and hint, the glyph text and the tag.
struct CycleEntry {
  const char* item;
  const char* caption;
  const char* button;
  const char* hint;
  const char* glyph;
  int tag;
};
constexpr CycleEntry kCycles[14] = {
    {"MenuItem119", "日线      6", "Cycle1", "日线", "D", 8},
    {"MenuItem120", "周线      7", "Cycle2", "周线", "W", 9},
    {"MenuItem121", "月线      8", "Cycle3", "月线", "M", 10},
    {"N23", "季线      9", "Cycle4", "季线", "Q", 11},
    {"N27", "任意天    D", "Cycle5", "任意天", "nD", 12},
    {"N28", "1分钟     1", "Cycle6", "1分钟", "1", 1},
    {"N31", "3分钟", "Cycle7", "3分钟", "3", 2},
    {"MenuItem122", "5分钟     2", "Cycle8", "5分钟", "5", 4},
    {"MenuItem123", "15分钟    3", "Cycle9", "15分钟", "15", 5},
    {"MenuItem124", "30分钟    4", "Cycle10", "30分钟", "30", 6},
    {"MenuItem125", "60分钟    5", "Cycle11", "60分钟", "60", 7},
    {"N1201", "120分钟", "Cycle13", "120分钟", "2h", 13},
    {"N241", "240分钟", "Cycle14", "240分钟", "4h", 14},
    {"N29", "任意分    M", "Cycle12", "任意分", "nM", 3},
};

// The items of 画线工具 in menu order (0 marks the separator before the two delete items).
struct LineEntry {
  int tag;
  const char* caption;
};
constexpr LineEntry kLines[] = {
    {1, "两点直线"}, {2, "两点线段"}, {24, "水平线"}, {25, "垂直线"}, {3, "平行线"},
    {8, "矩形"}, {26, "上45度"}, {27, "下45度"}, {4, "正弦线"}, {7, "圆弧"},
    {12, "速阻线"}, {9, "甘氏线"}, {5, "黄金分割线"}, {6, "百分比线"}, {29, "复杂百分比"},
    {10, "费波拉契周期"}, {11, "周期线"}, {13, "线形回归带"}, {14, "回归通道"}, {16, "上箭头"},
    {22, "右上箭头"}, {23, "左上箭头"}, {17, "下箭头"}, {20, "右下箭头"}, {21, "左下箭头"},
    {15, "文字"}, {28, "螺历"}, {0, "-"}, {18, "删除画线"}, {19, "全部删除"},
};

// Radio groups, one per sub-menu (the time-zone menu's items use group 2).
constexpr int kOverlayAxisGroup = 1;
constexpr int kMainAxisGroup = 3;
constexpr int kCycleGroup = 4;
constexpr int kAdjustGroup = 5;

}  // namespace

TMFrameForm::TMFrameForm(TComponent* owner) : TForm(owner) {
  SetName("MFrame");
  SetCaption(Application->Title());
  SetBounds(0, 0, 1024, 740);
  // The form's font is the status bar's: its boxes draw with their own fonts, but text that
  // follows the parent (hints, the panels) is Arial 13 px blue.
  Font()->SetName("Arial");
  Font()->SetHeight(-13);
  Font()->SetColor(clBlue);

  int separators = 0;
  auto item = [this, &separators](TMenuItem* parent, const char* name, const char* caption) {
    auto* it = new TMenuItem(this);
    it->SetName(name != nullptr ? std::string(name) : "Separator" + std::to_string(++separators));
    it->SetCaption(caption);
    parent->Add(it);
    return it;
  };
  auto separator = [&item](TMenuItem* parent) { return item(parent, nullptr, "-"); };
  auto radio = [&item](TMenuItem* parent, const char* name, const char* caption, int group, int tag) {
    TMenuItem* it = item(parent, name, caption);
    it->SetRadioItem(true);
    it->SetGroupIndex(group);
    it->SetTag(tag);
    return it;
  };

  // ---- Main menu --------------------------------------------------------------------------------
  MainMenu1 = new TMainMenu(this);
  MainMenu1->SetName("MainMenu1");
  TMenuItem* top = MainMenu1->Items();

  N1 = item(top, "N1", "系统");
  C1 = item(N1, "C1", "连接主站(&C)");
  separator(N1);
  View1 = item(N1, "View1", "视图(&V)");
  MenuItem94 = item(View1, "MenuItem94", "走势图优先(&M)");
  MenuItem94->SetChecked(true);
  T1 = item(View1, "T1", "闪电图优先(&T)");
  N51 = item(View1, "N51", "报价网格(&G)");
  N51->SetChecked(true);
  FullScreen1 = item(View1, "FullScreen1", "全屏显示      Ctrl+P");
  separator(View1);
  MenuItem100 = item(View1, "MenuItem100", "工具栏(&O)");
  MenuItem100->SetChecked(true);
  MenuItem103 = item(View1, "MenuItem103", "状态栏(&S)");
  MenuItem103->SetChecked(true);
  Q1 = item(View1, "Q1", "报价排(&Q)");
  N24 = item(N1, "N24", "自动升级(&U)");
  N54 = item(N1, "N54", "窗口放大还原    F7");
  N11 = item(N1, "N11", "联动(&S)");
  N71 = item(N1, "N71", "屏幕截图(&B)");
  MenuItem90 = item(N1, "MenuItem90", "打印(&P)");
  separator(N1);
  MenuItem109 = item(N1, "MenuItem109", "退出系统      Alt+F4");

  PageMenu1 = item(top, "PageMenu1", "页面");
  N10 = item(PageMenu1, "N10", "新建页面(&N)");
  N12 = item(PageMenu1, "N12", "保存页面(&S)");
  N19 = item(PageMenu1, "N19", "另存页面(&E)");
  N53 = item(PageMenu1, "N53", "页面管理(&M)");
  separator(PageMenu1);
  N17 = item(PageMenu1, "N17", "自动保存页面(&A)");
  N17->SetChecked(true);
  separator(PageMenu1);
  N56 = item(PageMenu1, "N56", "切分窗口(&P)");
  N58 = item(N56, "N58", "横切(&H)");
  N59 = item(N56, "N59", "竖切(&V)");
  N57 = item(PageMenu1, "N57", "关闭窗口      Ctrl+F4");
  separator(PageMenu1);
  N8 = item(PageMenu1, "N8", "导入页面(&I)");

  BlockMenu1 = item(top, "BlockMenu1", "板块");

  Chart1 = item(top, "Chart1", "图表");
  N14 = item(Chart1, "N14", "报价画面(&P)");
  TICK1 = item(Chart1, "TICK1", "闪电图(&T)");
  N15 = item(Chart1, "N15", "分时图(&M)");
  N16 = item(Chart1, "N16", "K 线图(&K)");

  MenuItem117 = item(top, "MenuItem117", "分析");
  N65 = item(MenuItem117, "N65", "商品叠加      Ctrl+O");
  D1 = item(MenuItem117, "D1", "叠加坐标(&D)");
  R1 = radio(D1, "R1", "相对坐标(&R)", kOverlayAxisGroup, 0);
  A2 = radio(D1, "A2", "绝对坐标(&A)", kOverlayAxisGroup, 1);
  R1->SetChecked(true);
  A1 = item(MenuItem117, "A1", "套利分析      Ctrl+A");
  C2 = item(MenuItem117, "C2", "主图坐标(&C)");
  V1 = radio(C2, "V1", "数值坐标(&V)", kMainAxisGroup, 0);
  P1 = radio(C2, "P1", "百分比坐标(&P)", kMainAxisGroup, 1);
  L2 = radio(C2, "L2", "对数坐标(&L)", kMainAxisGroup, 2);
  L2->SetVisible(false);
  V1->SetChecked(true);
  G1 = item(MenuItem117, "G1", "坐标反转(&E)");
  CtrlR1 = item(G1, "CtrlR1", "启用          Ctrl+R");
  S2 = item(G1, "S2", "反转副图(&S)");
  MenuItem127 = item(MenuItem117, "MenuItem127", "指标参数(&P)");
  R3 = item(MenuItem117, "R3", "参考线(&R)");
  separator(MenuItem117);
  C3 = item(MenuItem117, "C3", "变换周期(&C)");
  for (std::size_t i = 0; i < CycleItems.size(); ++i) {
    CycleItems[i] = radio(C3, kCycles[i].item, kCycles[i].caption, kCycleGroup, kCycles[i].tag);
  }
  MenuItem119 = CycleItems[0];
  MenuItem120 = CycleItems[1];
  MenuItem121 = CycleItems[2];
  N23 = CycleItems[3];
  N27 = CycleItems[4];
  N28 = CycleItems[5];
  N31 = CycleItems[6];
  MenuItem122 = CycleItems[7];
  MenuItem123 = CycleItems[8];
  MenuItem124 = CycleItems[9];
  MenuItem125 = CycleItems[10];
  N1201 = CycleItems[11];
  N241 = CycleItems[12];
  N29 = CycleItems[13];
  CycleItems[0]->SetChecked(true);
  W1 = item(MenuItem117, "W1", "除权状态(&W)");
  N40 = radio(W1, "N40", "不除权(&R)", kAdjustGroup, 0);
  N41 = radio(W1, "N41", "前复权      Ctrl+V", kAdjustGroup, 1);
  N42 = radio(W1, "N42", "后复权      Ctrl+B", kAdjustGroup, 2);
  N40->SetChecked(true);
  separator(MenuItem117);
  MenuItem128 = item(MenuItem117, "MenuItem128", "画线工具      Alt+F12");
  for (const LineEntry& line : kLines) {
    if (line.tag == 0) {
      separator(MenuItem128);
      continue;
    }
    TMenuItem* it = item(MenuItem128, ("Line" + std::to_string(line.tag)).c_str(), line.caption);
    it->SetTag(line.tag);
    LineItems.push_back(it);
  }
  N81 = item(MenuItem117, "N81", "指标管理      Ctrl+F");
  separator(MenuItem117);
  SelectIndex1 = item(MenuItem117, "SelectIndex1", "选择指标(&I)");

  News1 = item(top, "News1", "新闻");
  N26 = item(News1, "N26", "即时新闻      F9");
  F101 = item(News1, "F101", "背景资料      F10");
  N161 = item(News1, "N161", "信息地雷      16");
  N44 = item(News1, "N44", "上证信息      71");
  N45 = item(News1, "N45", "深证信息      72");
  N52 = item(News1, "N52", "系统消息(&S)");

  Web1 = item(top, "Web1", "网站");
  N50 = item(Web1, "N50", "手机行情");
  N50->SetVisible(false);

  Trade1 = item(top, "Trade1", "交易");

  MenuItem143 = item(top, "MenuItem143", "工具");
  O2 = item(MenuItem143, "O2", "选项(&O)");
  separator(MenuItem143);
  MenuItem144 = item(MenuItem143, "MenuItem144", "板块设置(&B)");
  MenuItem145 = item(MenuItem143, "MenuItem145", "报价栏目(&E)");
  Y1 = item(MenuItem143, "Y1", "周期设置(&Y)");
  N35 = item(MenuItem143, "N35", "热键定义(&H)");
  Z1 = item(MenuItem143, "Z1", "时区设定(&Z)");
  separator(MenuItem143);
  N68 = item(MenuItem143, "N68", "显示风格(&S)");
  N67 = item(MenuItem143, "N67", "颜色字体(&T)");
  N300 = item(MenuItem143, "N300", "我的目录(&D)");
  N30 = item(MenuItem143, "N30", "交易设置(&D)");
  N30->SetVisible(false);
  separator(MenuItem143);
  W2 = item(MenuItem143, "W2", "行情预警(&W)");
  O1 = item(W2, "O1", "预警开关(&O)");
  O1->SetChecked(true);
  separator(W2);
  S1 = item(W2, "S1", "预警设置(&S)");
  L1 = item(W2, "L1", "预警列表(&L)");
  N22 = item(MenuItem143, "N22", "数据刷新(&R)");
  N73 = item(MenuItem143, "N73", "修改密码(&P)");
  N55 = item(MenuItem143, "N55", "循环报价      -");
  N21 = item(MenuItem143, "N21", "计算器(&C)");

  Help1 = item(top, "Help1", "帮助");
  MenuItem167 = item(Help1, "MenuItem167", "使用说明(&H)");
  N66 = item(Help1, "N66", "常见问题(&F)");
  N47 = item(Help1, "N47", "快捷键(&K)");
  separator(Help1);
  N63 = item(Help1, "N63", "免责条款(&N)");
  MenuItem170 = item(Help1, "MenuItem170", "用户信息(&U)");
  TMenuItem* helpLine = separator(Help1);
  N64 = item(Help1, "N64", "在线支持(&Q)");
  F1 = item(Help1, "F1", "意见反馈(&S)");
  N72 = item(Help1, "N72", "关于(&A)");
  for (TMenuItem* hidden : {MenuItem167, N66, N63, helpLine, N64, F1, N72}) hidden->SetVisible(false);

  // ---- Popup menus --------------------------------------------------------------------------------
  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetName("PopupMenu1");
  FullScreen2 = item(PopupMenu1->Items(), "FullScreen2", "全屏显示    Ctrl+P");
  ToolBar2 = item(PopupMenu1->Items(), "ToolBar2", "工具栏(&T)");
  ToolBar2->SetChecked(true);
  StatusBar2 = item(PopupMenu1->Items(), "StatusBar2", "状态栏(&S)");
  StatusBar2->SetChecked(true);
  PopupMenu2 = new TPopupMenu(this);
  PopupMenu2->SetName("PopupMenu2");

  // ---- Image lists ------------------------------------------------------------------------------
  static constexpr Glyph kButtonGlyphs[] = {
      Glyph::kBack, Glyph::kTrend, Glyph::kKLine, Glyph::kHome, Glyph::kNews, Glyph::kInfo,
      Glyph::kRefresh, Glyph::kZoomIn, Glyph::kZoomOut, Glyph::kStyle, Glyph::kPageCycle,
      Glyph::kInfoWindow, Glyph::kAnalysis, Glyph::kLine, Glyph::kAlarm, Glyph::kConnect,
      Glyph::kSupport, Glyph::kLightning, Glyph::kQuoteBoard, Glyph::kHelp, Glyph::kFullScreen,
  };
  constexpr int kButtonImages = static_cast<int>(std::size(kButtonGlyphs));
  ToolImages = new TImageList(this, 16, 16);
  ToolImages->SetName("ToolImages");
  {
    GlyphSheet sheet(16, 16, kButtonImages + 14);
    for (int i = 0; i < kButtonImages; ++i) DrawGlyph(sheet, i, kButtonGlyphs[i]);
    for (int i = 0; i < 14; ++i) sheet.Text(kButtonImages + i, kInk, 9, kCycles[i].glyph);
    sheet.AddTo(ToolImages);
  }
  // The quick-order bar's six buttons: a framed face each, the buy side red, the sell side green.
  QuickDealImages = new TImageList(this, 38, 13);
  QuickDealImages->SetName("QuickDealImages");
  {
    GlyphSheet sheet(38, 13, 6);
    for (int i = 0; i < 6; ++i) {
      const COLORREF colour = i % 2 == 0 ? kRed : kGreen;
      sheet.Box(i, colour, kKey, 1, 1, 37, 12);
      sheet.Box(i, colour, colour, 4, 4, 10, 9);
    }
    sheet.AddTo(QuickDealImages);
  }

  // ---- Panels, top to bottom (aligned controls take their places in the order they join) ----------
  auto panel = [this](TWinControl* parent, const char* name, TAlign align, int width, int height) {
    auto* p = new TPanel(this);
    p->SetName(name);
    p->SetCaption("");
    p->SetBevelOuter(bvNone);
    p->SetBounds(0, 0, width, height);
    p->SetAlign(align);
    p->SetParent(parent);
    return p;
  };
  Panel9 = panel(this, "Panel9", alTop, 1024, 25);
  Panel4 = panel(this, "Panel4", alTop, 1024, 21);
  Panel4->SetVisible(false);

  // ---- Tool bar ---------------------------------------------------------------------------------
  ToolBar1 = new TToolBar(this);
  ToolBar1->SetName("ToolBar1");
  ToolBar1->SetAlign(alTop);
  ToolBar1->SetFlat(true);
  ToolBar1->SetButtonWidth(25);
  ToolBar1->SetImages(ToolImages);
  ToolBar1->SetShowHint(true);
  ToolBar1->SetParent(this);

  int image = 0;
  auto button = [this, &image](const char* name, const char* hint, TToolButtonStyle style, bool visible) {
    auto* b = new TToolButton(this);
    b->SetName(name);
    b->SetHint(hint);
    b->SetShowHint(true);
    b->SetStyle(style);
    b->SetImageIndex(image++);
    b->SetVisible(visible);
    b->SetParent(ToolBar1);
    return b;
  };
  int toolSeparators = 0;
  auto toolSeparator = [this, &toolSeparators] {
    auto* b = new TToolButton(this);
    b->SetName("ToolSeparator" + std::to_string(++toolSeparators));
    b->SetStyle(tbsSeparator);
    b->SetParent(ToolBar1);
    return b;
  };
  ToolButton1 = button("ToolButton1", "后退 ESC", tbsButton, true);
  TrendBtn = button("TrendBtn", "走势图", tbsButton, true);
  KLineBtn = button("KLineBtn", "K线图", tbsButton, true);
  ToolButton4 = button("ToolButton4", "起始页", tbsButton, true);
  NewsBtn = button("NewsBtn", "新闻 F9", tbsButton, true);
  ToolButton14 = button("ToolButton14", "背景资料 F10", tbsButton, false);
  toolSeparator();
  ToolButton9 = button("ToolButton9", "数据刷新", tbsButton, true);
  ZoomInBtn = button("ZoomInBtn", "放大", tbsButton, true);
  ZoomOutBtn = button("ZoomOutBtn", "缩小", tbsButton, true);
  ToolButton15 = button("ToolButton15", "显示风格", tbsButton, true);
  ToolButton23 = button("ToolButton23", "页面循环 Ctrl+S", tbsButton, true);
  ToolButton22 = button("ToolButton22", "信息窗口 Ctrl+L", tbsButton, true);
  toolSeparator();
  ToolButton10 = button("ToolButton10", "技术分析", tbsButton, false);
  LineBtn = button("LineBtn", "画线工具 Alt+F12", tbsCheck, true);
  AlarmBtn = button("AlarmBtn", "预警设置", tbsButton, true);
  ToolButton13 = button("ToolButton13", "连接", tbsButton, false);
  ToolButton18 = button("ToolButton18", "在线技术支持", tbsButton, false);
  ToolButton17 = button("ToolButton17", "闪电手", tbsCheck, false);
  QuoteBoardBtn = button("QuoteBoardBtn", "报价排", tbsCheck, false);
  ToolButton11 = button("ToolButton11", "帮助", tbsButton, false);
  FullScreenBtn = button("FullScreenBtn", "全屏", tbsButton, false);
  toolSeparator();
  for (std::size_t i = 0; i < Cycle.size(); ++i) {
    Cycle[i] = button(kCycles[i].button, kCycles[i].hint, tbsCheck, true);
    Cycle[i]->SetGrouped(true);
    Cycle[i]->SetTag(kCycles[i].tag);
  }
  Cycle[0]->SetDown(true);

  // ---- Status bar ---------------------------------------------------------------------------------
  StatusBar = panel(this, "StatusBar", alBottom, 1024, 15);
  // Right-aligned panels: the first to join takes the right edge.
  StatusPanel5 = panel(StatusBar, "StatusPanel5", alRight, 36, 15);
  StatusPanel4 = panel(StatusBar, "StatusPanel4", alRight, 36, 15);
  StatusPanel2 = panel(StatusBar, "StatusPanel2", alRight, 82, 15);
  StatusPanel1 = panel(StatusBar, "StatusPanel1", alLeft, 369, 15);
  StatusPanel6 = panel(StatusBar, "StatusPanel6", alClient, 100, 15);
  auto box = [this](TPanel* host, const char* name, bool statusMenu) {
    auto* b = new TPaintBox(this);
    b->SetName(name);
    b->SetAlign(alClient);
    b->SetParent(host);
    if (statusMenu) b->SetPopupMenu(PopupMenu1);
    return b;
  };
  StatusBox1 = box(StatusPanel1, "StatusBox1", true);
  StatusBox6 = box(StatusPanel6, "StatusBox6", true);
  StatusBox2 = box(StatusPanel2, "StatusBox2", false);
  StatusBox4 = box(StatusPanel4, "StatusBox4", true);
  StatusBox5 = box(StatusPanel5, "StatusBox5", true);

  // ---- The quote strip at the right edge, the splitter left of it, and the page's area -------------
  Panel1 = panel(this, "Panel1", alRight, 200, 400);
  Panel1->SetVisible(false);
  Splitter1 = new TSplitter(this);
  Splitter1->SetName("Splitter1");
  Splitter1->SetAlign(alRight);
  Splitter1->SetWidth(2);
  Splitter1->SetVisible(false);
  Splitter1->SetParent(this);
  ClientPanel = panel(this, "ClientPanel", alClient, 1024, 600);

  // ---- Timers -------------------------------------------------------------------------------------
  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(1000);
  Timer2 = new TTimer(this);
  Timer2->SetName("Timer2");
  Timer2->SetEnabled(false);
  Timer2->SetInterval(30);
}

TMFrameForm::~TMFrameForm() = default;
