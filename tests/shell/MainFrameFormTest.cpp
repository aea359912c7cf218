// The main window's form as laid out: the menus in order with their captions, the radio groups,
// the cycle items and buttons with their tags, what starts hidden or checked, and the status
// boxes in their places after the layout.
#include "shell/MainFrameForm.h"

#include "platform/Gdi.h"
#include "platform/Message.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

class MainFrameFormTest : public ::testing::Test {
 protected:
  void SetUp() override { form = new TMFrameForm(nullptr); }
  void TearDown() override {
    TComponent::Free(form);
    ProcessPendingMessages();
  }

  // The visible items' captions of a menu level ("-" for a visible separator).
  static std::vector<std::string> Captions(const TMenuItem* menu) {
    std::vector<std::string> captions;
    for (int i = 0; i < menu->Count(); ++i) {
      if (menu->Items(i)->Visible()) captions.push_back(menu->Items(i)->Caption());
    }
    return captions;
  }
  static std::vector<bool> Checks(const TMenuItem* menu) {
    std::vector<bool> checks;
    for (int i = 0; i < menu->Count(); ++i) checks.push_back(menu->Items(i)->Checked());
    return checks;
  }

  TMFrameForm* form = nullptr;
};

constexpr int kCycleTags[14] = {8, 9, 10, 11, 12, 1, 2, 4, 5, 6, 7, 13, 14, 3};

TEST_F(MainFrameFormTest, TheMenusHoldTheirItemsInOrder) {
  EXPECT_EQ(Captions(form->MainMenu1->Items()),
            (std::vector<std::string>{"系统", "页面", "板块", "图表", "分析", "新闻", "网站", "交易", "工具", "帮助"}));
  EXPECT_EQ(form->MainMenu1->Items()->Items(6), form->Web1);

  struct Level {
    TMenuItem* menu;
    std::vector<std::string> captions;   // visible ones
  };
  const Level levels[] = {
      {form->N1, {"连接主站(&C)", "-", "视图(&V)", "自动升级(&U)", "窗口放大还原    F7", "联动(&S)", "屏幕截图(&B)",
                  "打印(&P)", "-", "退出系统      Alt+F4"}},
      {form->View1, {"走势图优先(&M)", "闪电图优先(&T)", "报价网格(&G)", "全屏显示      Ctrl+P", "-", "工具栏(&O)",
                     "状态栏(&S)", "报价排(&Q)"}},
      {form->PageMenu1, {"新建页面(&N)", "保存页面(&S)", "另存页面(&E)", "页面管理(&M)", "-", "自动保存页面(&A)", "-",
                         "切分窗口(&P)", "关闭窗口      Ctrl+F4", "-", "导入页面(&I)"}},
      {form->N56, {"横切(&H)", "竖切(&V)"}},
      {form->BlockMenu1, {}},
      {form->Chart1, {"报价画面(&P)", "闪电图(&T)", "分时图(&M)", "K 线图(&K)"}},
      {form->MenuItem117, {"商品叠加      Ctrl+O", "叠加坐标(&D)", "套利分析      Ctrl+A", "主图坐标(&C)", "坐标反转(&E)",
                           "指标参数(&P)", "参考线(&R)", "-", "变换周期(&C)", "除权状态(&W)", "-",
                           "画线工具      Alt+F12", "指标管理      Ctrl+F", "-", "选择指标(&I)"}},
      {form->C2, {"数值坐标(&V)", "百分比坐标(&P)"}},
      {form->G1, {"启用          Ctrl+R", "反转副图(&S)"}},
      {form->W1, {"不除权(&R)", "前复权      Ctrl+V", "后复权      Ctrl+B"}},
      {form->News1, {"即时新闻      F9", "背景资料      F10", "信息地雷      16", "上证信息      71", "深证信息      72",
                     "系统消息(&S)"}},
      {form->Web1, {}},
      {form->Trade1, {}},
      {form->MenuItem143, {"选项(&O)", "-", "板块设置(&B)", "报价栏目(&E)", "周期设置(&Y)", "热键定义(&H)", "时区设定(&Z)",
                           "-", "显示风格(&S)", "颜色字体(&T)", "我的目录(&D)", "-", "行情预警(&W)", "数据刷新(&R)",
                           "修改密码(&P)", "循环报价      -", "计算器(&C)"}},
      {form->W2, {"预警开关(&O)", "-", "预警设置(&S)", "预警列表(&L)"}},
      {form->Help1, {"快捷键(&K)", "-", "用户信息(&U)"}},
      {form->PopupMenu1->Items(), {"全屏显示    Ctrl+P", "工具栏(&T)", "状态栏(&S)"}},
      {form->PopupMenu2->Items(), {}},
  };
  for (const Level& level : levels) {
    EXPECT_EQ(Captions(level.menu), level.captions) << level.menu->Name();
  }
  // The filled sub-menus start empty.
  for (TMenuItem* filled : {form->N8, form->Z1, form->N68, form->SelectIndex1}) {
    EXPECT_EQ(filled->Count(), 0) << filled->Name();
  }
  // Every named member is found under its own name.
  for (TMenuItem* named : {form->MenuItem94, form->N55, form->Q1, form->CtrlR1, form->N50, form->F1}) {
    EXPECT_EQ(form->FindComponent(named->Name()), named);
  }
}

TEST_F(MainFrameFormTest, TheLineToolItemsFollowTheirTable) {
  const std::vector<int> menuOrder = {1, 2, 24, 25, 3, 8, 26, 27, 4, 7, 12, 9, 5, 6, 29,
                                      10, 11, 13, 14, 16, 22, 23, 17, 20, 21, 15, 28, 18, 19};
  std::vector<int> tags;
  for (TMenuItem* item : form->LineItems) tags.push_back(item->Tag());
  EXPECT_EQ(tags, menuOrder);
  // One separator, right before 删除画线 and 全部删除.
  const int last = form->MenuItem128->Count() - 1;
  ASSERT_EQ(form->MenuItem128->Count(), 30);
  EXPECT_TRUE(form->MenuItem128->Items(last - 2)->IsLine());
  EXPECT_EQ(form->MenuItem128->Items(last - 1)->Caption(), "删除画线");
  EXPECT_EQ(form->MenuItem128->Items(last)->Caption(), "全部删除");
  EXPECT_EQ(form->MenuItem128->Items(26)->Caption(), "螺历");
  EXPECT_EQ(form->FindComponent("Line28"), form->MenuItem128->Items(26));
}

TEST_F(MainFrameFormTest, CycleItemsAndButtonsCarryTheCycleTagsInOrder) {
  const std::vector<std::string> captions = Captions(form->C3);
  ASSERT_EQ(captions.size(), 14u);
  EXPECT_EQ(captions.front(), "日线      6");
  EXPECT_EQ(captions.back(), "任意分    M");
  for (int i = 0; i < 14; ++i) {
    EXPECT_EQ(form->CycleItems[i], form->C3->Items(i));
    EXPECT_EQ(form->CycleItems[i]->Tag(), kCycleTags[i]) << i;
    EXPECT_TRUE(form->CycleItems[i]->RadioItem());
    EXPECT_EQ(form->Cycle[i]->Tag(), kCycleTags[i]) << i;
    EXPECT_EQ(form->Cycle[i]->Style(), tbsCheck);
    EXPECT_TRUE(form->Cycle[i]->Grouped());
  }
  // The named members are the items of their cycles; the charts' period table finds them by name.
  EXPECT_EQ(form->N28->Tag(), 1);
  EXPECT_EQ(form->N29->Tag(), 3);
  EXPECT_EQ(form->MenuItem119->Tag(), 8);
  EXPECT_EQ(form->N241->Tag(), 14);
  EXPECT_EQ(static_cast<TToolButton*>(form->FindComponent("Cycle12"))->Tag(), 3);
  EXPECT_EQ(static_cast<TToolButton*>(form->FindComponent("Cycle13"))->Tag(), 13);
  // The cycle buttons close the bar, after a separator, in the menu's order.
  const int first = form->ToolBar1->ButtonCount() - 14;
  EXPECT_EQ(form->ToolBar1->Buttons(first - 1)->Style(), tbsSeparator);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(form->ToolBar1->Buttons(first + i), form->Cycle[i]);
}

TEST_F(MainFrameFormTest, RadioGroupsKeepOneCheckEach) {
  struct Group {
    TMenuItem* menu;
    std::vector<bool> initial;
    int choose;
  };
  const Group groups[] = {
      {form->D1, {true, false}, 1},
      {form->C2, {true, false, false}, 2},
      {form->W1, {true, false, false}, 1},
      {form->C3, {true, false, false, false, false, false, false, false, false, false, false, false, false, false}, 13},
  };
  for (const Group& group : groups) {
    EXPECT_EQ(Checks(group.menu), group.initial) << group.menu->Name();
    group.menu->Items(group.choose)->SetChecked(true);
    std::vector<bool> expected(group.initial.size(), false);
    expected[group.choose] = true;
    EXPECT_EQ(Checks(group.menu), expected) << group.menu->Name();
  }
  // A group's check leaves the other groups alone.
  EXPECT_TRUE(form->A2->Checked());
  EXPECT_TRUE(form->L2->Checked());
  // The cycle buttons are one group too: pressing one raises 日线.
  EXPECT_TRUE(form->Cycle[0]->Down());
  form->Cycle[5]->SetDown(true);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(form->Cycle[i]->Down(), i == 5) << i;
}

TEST_F(MainFrameFormTest, InitialChecksAndHiddenComponents) {
  for (TMenuItem* checked : {form->MenuItem94, form->N51, form->MenuItem100, form->MenuItem103, form->N17, form->O1,
                             form->ToolBar2, form->StatusBar2}) {
    EXPECT_TRUE(checked->Checked()) << checked->Name();
  }
  for (TMenuItem* unchecked : {form->T1, form->Q1, form->N11, form->FullScreen1, form->FullScreen2, form->N55}) {
    EXPECT_FALSE(unchecked->Checked()) << unchecked->Name();
  }
  for (TMenuItem* hidden : {form->L2, form->N50, form->N30, form->MenuItem167, form->N66, form->N63, form->N64,
                            form->F1, form->N72}) {
    EXPECT_FALSE(hidden->Visible()) << hidden->Name();
  }

  struct Button {
    TToolButton* button;
    const char* hint;
    bool visible;
    TToolButtonStyle style;
  };
  const Button buttons[] = {
      {form->ToolButton1, "后退 ESC", true, tbsButton},
      {form->TrendBtn, "走势图", true, tbsButton},
      {form->KLineBtn, "K线图", true, tbsButton},
      {form->ToolButton4, "起始页", true, tbsButton},
      {form->NewsBtn, "新闻 F9", true, tbsButton},
      {form->ToolButton14, "背景资料 F10", false, tbsButton},
      {nullptr, "", true, tbsSeparator},
      {form->ToolButton9, "数据刷新", true, tbsButton},
      {form->ZoomInBtn, "放大", true, tbsButton},
      {form->ZoomOutBtn, "缩小", true, tbsButton},
      {form->ToolButton15, "显示风格", true, tbsButton},
      {form->ToolButton23, "页面循环 Ctrl+S", true, tbsButton},
      {form->ToolButton22, "信息窗口 Ctrl+L", true, tbsButton},
      {nullptr, "", true, tbsSeparator},
      {form->ToolButton10, "技术分析", false, tbsButton},
      {form->LineBtn, "画线工具 Alt+F12", true, tbsCheck},
      {form->AlarmBtn, "预警设置", true, tbsButton},
      {form->ToolButton13, "连接", false, tbsButton},
      {form->ToolButton18, "在线技术支持", false, tbsButton},
      {form->ToolButton17, "闪电手", false, tbsCheck},
      {form->QuoteBoardBtn, "报价排", false, tbsCheck},
      {form->ToolButton11, "帮助", false, tbsButton},
      {form->FullScreenBtn, "全屏", false, tbsButton},
      {nullptr, "", true, tbsSeparator},
  };
  ASSERT_EQ(form->ToolBar1->ButtonCount(), static_cast<int>(std::size(buttons)) + 14);
  for (int i = 0; i < static_cast<int>(std::size(buttons)); ++i) {
    TToolButton* actual = form->ToolBar1->Buttons(i);
    const Button& want = buttons[i];
    EXPECT_EQ(actual->Style(), want.style) << i;
    if (want.button == nullptr) continue;
    EXPECT_EQ(actual, want.button) << i;
    EXPECT_EQ(actual->Hint(), want.hint) << i;
    EXPECT_EQ(actual->Visible(), want.visible) << want.hint;
    EXPECT_FALSE(actual->Down()) << want.hint;
    // Every button has a picture of its own in the tool images.
    EXPECT_GE(actual->ImageIndex(), 0);
    EXPECT_LT(actual->ImageIndex(), form->ToolImages->Count());
  }
  EXPECT_TRUE(form->ToolBar1->Flat());
  EXPECT_EQ(form->ToolBar1->ButtonWidth(), 25);
  EXPECT_EQ(form->ToolBar1->Images(), form->ToolImages);
  EXPECT_EQ(form->QuickDealImages->Width(), 38);
  EXPECT_EQ(form->QuickDealImages->Height(), 13);
  EXPECT_GE(form->QuickDealImages->Count(), 6);

  EXPECT_FALSE(form->Panel4->Visible());
  EXPECT_FALSE(form->Panel1->Visible());
  EXPECT_FALSE(form->Splitter1->Visible());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 1000u);
  EXPECT_FALSE(form->Timer2->Enabled());
}

TEST_F(MainFrameFormTest, TheStatusBoxesTakeTheirPlacesAtAnyWidth) {
  for (int width : {1024, 800}) {
    form->SetClientWidth(width);
    form->SetClientHeight(600);
    SCOPED_TRACE(width);
    // The host panels stack from the top, the status bar at the bottom, the page area between.
    EXPECT_EQ(form->Panel9->BoundsRect(), TRect(0, 0, width, 25));
    EXPECT_EQ(form->ToolBar1->Top(), 25);
    EXPECT_EQ(form->StatusBar->BoundsRect(), TRect(0, 585, width, 600));
    EXPECT_EQ(form->ClientPanel->BoundsRect(), TRect(0, form->ToolBar1->BoundsRect().bottom, width, 585));

    struct Box {
      TPanel* panel;
      TPaintBox* box;
      int left;
      int right;
    };
    const Box boxes[] = {   // right to left
        {form->StatusPanel5, form->StatusBox5, width - 36, width},
        {form->StatusPanel4, form->StatusBox4, width - 72, width - 36},
        {form->StatusPanel2, form->StatusBox2, width - 154, width - 72},
        {form->StatusPanel6, form->StatusBox6, 369, width - 154},
        {form->StatusPanel1, form->StatusBox1, 0, 369},
    };
    for (const Box& b : boxes) {
      EXPECT_EQ(b.panel->BoundsRect(), TRect(b.left, 0, b.right, 15)) << b.panel->Name();
      EXPECT_EQ(b.box->Parent(), b.panel);
      EXPECT_EQ(b.box->BoundsRect(), TRect(0, 0, b.right - b.left, 15)) << b.box->Name();
    }
  }
  // The quote strip, once shown, takes the right edge with its splitter beside it.
  form->Panel1->SetVisible(true);
  form->Splitter1->SetVisible(true);
  EXPECT_EQ(form->Panel1->BoundsRect().right, 800);
  EXPECT_EQ(form->Splitter1->BoundsRect().right, form->Panel1->Left());
  EXPECT_EQ(form->Splitter1->Width(), 2);
  EXPECT_EQ(form->ClientPanel->BoundsRect().right, form->Splitter1->Left());
  // Right clicks on every box but the page name's bring the status-bar menu.
  EXPECT_EQ(form->StatusBox1->PopupMenu(), form->PopupMenu1);
  EXPECT_EQ(form->StatusBox5->PopupMenu(), form->PopupMenu1);
  EXPECT_EQ(form->StatusBox2->PopupMenu(), nullptr);
}

// The tool images are drawn in code: each one inks some pixels and lets the rest through.
TEST_F(MainFrameFormTest, EveryToolImageShowsAGlyphOverTheBar) {
  TImageList* images = form->ToolImages;
  ASSERT_EQ(images->Count(), 21 + 14);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 16, 16);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF ground = RGB(0, 255, 0);
  HBRUSH brush = CreateSolidBrush(ground);
  const RECT cell{0, 0, 16, 16};
  for (int i = 0; i < images->Count(); ++i) {
    FillRect(dc, &cell, brush);
    images->Draw(dc, 0, 0, i);
    int inked = 0;
    int through = 0;
    std::string art;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const COLORREF pixel = GetPixel(dc, x, y);
        EXPECT_NE(pixel, RGB(255, 0, 255)) << "image " << i << " shows its key at " << x << "," << y;
        if (pixel == ground) ++through; else ++inked;
        art += pixel == ground ? '.' : '#';
      }
      art += '\n';
    }
    EXPECT_GE(inked, 6) << "image " << i << "\n" << art;
    EXPECT_GE(through, 40) << "image " << i << "\n" << art;
    if (std::getenv("SHOW_GLYPHS") != nullptr) std::printf("image %d\n%s", i, art.c_str());
  }
  DeleteObject(brush);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace
