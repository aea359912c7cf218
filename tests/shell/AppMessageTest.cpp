// The application message hook on a main window offscreen: messages go through the real queue
// and hook, the keyboard wizard runs through the scripted modal runner, and what the views were
// asked is read from the stand-ins. The routing itself is tested as a table in KeyRoutingTest.
#include "CommandsTestFixture.h"

#include "platform/Edit.h"
#include "shell/SmartKB.h"

#include <algorithm>

namespace {

using namespace cmdtest;
using Activities = std::map<std::string, std::vector<std::string>>;

class AppMessageTest : public CommandFrameTest {
 protected:
  void StandardPage() {
    AddCell("report", Attr(VIEW_REPORT));
    AddCell("trend", Attr(VIEW_TREND, kSh600000()))->linkFlag = true;
    AddCell("kline", Attr(VIEW_KLINE, kSh600000()))->linkFlag = true;
    AddCell("news", Attr(VIEW_NEWS));
    Activate("kline");
  }
  void Post(const std::string& cell, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    PostMessageA(Cell(cell)->Handle(), message, wParam, lParam);
    ProcessPendingMessages();
  }
  // The wizard's run answered: what was typed is checked, then `choose` fills the result.
  void ScriptWizard(std::function<void(TSmartKB&)> choose) {
    runner->Add("SmartKB", [this, choose](TForm& form) {
      auto& wizard = static_cast<TSmartKB&>(form);
      ProcessPendingMessages();
      typed.push_back(wizard.Edit1->Text());
      modalDepths.push_back(ModalDialogDepth());
      contexts.push_back(wizard.ResultAttr.kind);
      if (choose) {
        choose(wizard);
        wizard.SetModalResult(mrOk);
      } else {
        wizard.SetModalResult(mrCancel);
      }
    });
  }
  static std::function<void(TSmartKB&)> Instrument(STKPTR instrument) {
    return [instrument](TSmartKB& wizard) {
      wizard.Accepted = 1;
      wizard.ResultKind = kSmartKBResultAttr;
      wizard.HitKind = kSmartKBHitInstrument;
      wizard.ResultAttr.instrument = instrument;
    };
  }
  std::vector<std::string> typed;
  std::vector<int> modalDepths;
  std::vector<ViewKind> contexts;
};

TEST_F(AppMessageTest, FunctionKeysRunCommandsUnlessADialogIsOpen) {
  StandardPage();
  Post("kline", WM_KEYDOWN, VK_F1);
  EXPECT_EQ(Activity()["kline"], (std::vector<std::string>{"ViewKeyCommand 28"}));
  {
    // A dialog opened from inside another: closing the inner one leaves the outer one counted.
    ModalDialogScope outer;
    { ModalDialogScope inner; }
    Post("kline", WM_KEYDOWN, VK_F1);
    Post("kline", WM_CHAR, 'p');   // no wizard: the runner has no script for it
    EXPECT_EQ(Activity(), Activities{});
  }
  Post("kline", WM_KEYDOWN, VK_HOME);   // 指标上翻
  EXPECT_EQ(Activity()["kline"], (std::vector<std::string>{"ViewKeyCommand 78"}));
}

TEST_F(AppMessageTest, TypingOpensTheWizardAndShowsTheInstrumentInANewChart) {
  StandardPage();
  Activate("report");
  ScriptWizard(Instrument(kSz399001()));
  Post("report", WM_CHAR, 'p');
  ASSERT_EQ(typed.size(), 1u);
  EXPECT_EQ(typed[0], "p");
  EXPECT_GE(modalDepths[0], 1);
  EXPECT_EQ(contexts[0], VIEW_REPORT);
  EXPECT_FALSE(ModalDialogOpen());
  // 走势图优先 is checked: the linked trend shows it and becomes the active view.
  EXPECT_EQ(NameOf(page->activeCell), "trend");
  EXPECT_EQ(Cell("trend")->attr.instrument, kSz399001());
  EXPECT_EQ(Cell("trend")->attr.currentBlock, 1u);
  // The wizard sits at the main window's bottom right.
  EXPECT_LE(SmartKB->Left() + SmartKB->Width(), frame->Left() + frame->Width());
}

TEST_F(AppMessageTest, WizardInstrumentGoesIntoTheActiveChartInPlace) {
  StandardPage();
  ScriptWizard(Instrument(kSz399001()));
  Post("kline", WM_CHAR, '3');
  EXPECT_EQ(contexts.at(0), VIEW_KLINE);
  EXPECT_EQ(NameOf(page->activeCell), "kline");
  EXPECT_EQ(Cell("kline")->attr.instrument, kSz399001());
  EXPECT_EQ(Cell("kline")->attr.currentBlock, 1u);
  // The linked trend follows through MsgLinkInstrument.
  EXPECT_EQ(Cell("trend")->attr.instrument, kSz399001());
}

TEST_F(AppMessageTest, WizardCommandAndIndicatorResults) {
  StandardPage();
  ScriptWizard([](TSmartKB& wizard) {
    wizard.Accepted = 1;
    wizard.ResultKind = kSmartKBResultCommand;
    wizard.HitKind = kSmartKBHitCommand;
    wizard.ResultIndex = 28;   // the record of command 29, "01+ENTER"
  });
  Post("kline", WM_CHAR, '0');
  EXPECT_EQ(Activity()["kline"], (std::vector<std::string>{"ViewKeyCommand 29"}));

  ScriptWizard([](TSmartKB& wizard) {
    wizard.Accepted = 1;
    wizard.ResultKind = kSmartKBResultAttr;
    wizard.HitKind = kSmartKBHitFormula;
    std::memset(wizard.ResultAttr.paneIndicators[0], 0, 16);
    std::memcpy(wizard.ResultAttr.paneIndicators[0], "MACD", 4);
  });
  Post("kline", WM_CHAR, 'M');
  EXPECT_EQ(Activity()["kline"], (std::vector<std::string>{"AttachIndicator MACD 1"}));

  // Cancelled: nothing.
  ScriptWizard(nullptr);
  Post("kline", WM_CHAR, 'x');
  EXPECT_EQ(Activity(), Activities{});
  // Enter and Space open nothing (the runner would report an unscripted run).
  Post("kline", WM_CHAR, 13);
  Post("kline", WM_CHAR, 32);
  EXPECT_EQ(typed.size(), 3u);
}

TEST_F(AppMessageTest, WizardInstrumentConfirmsAnOpenChooser) {
  struct Chooser : TSelStockDlg {
    using TSelStockDlg::TSelStockDlg;
    void Button1Click(TObject*) override { ++confirmed; }
    int confirmed = 0;
  };
  StandardPage();
  auto* chooser = new Chooser(nullptr);
  SelStockDlg = chooser;
  ScriptWizard(Instrument(kSz399001()));
  Post("kline", WM_CHAR, '3');
  SelStockDlg = nullptr;
  EXPECT_EQ(chooser->confirmed, 1);
  EXPECT_EQ(chooser->chosen, kSz399001());
  EXPECT_EQ(Cell("kline")->attr.instrument, kSh600000());
  TComponent::Free(chooser);
}

TEST_F(AppMessageTest, TypingIntoAnEditBoxNeverOpensTheWizard) {
  StandardPage();
  auto* edit = new TEdit(Cell("news"));
  edit->SetParent(Cell("news"));
  edit->SetBounds(0, 0, 80, 20);
  edit->SetFocus();
  ProcessPendingMessages();
  if (GetFocus() != edit->Handle()) GTEST_SKIP() << "the edit box cannot take the focus here";
  PostMessageA(edit->Handle(), WM_CHAR, 'p', 0);
  ProcessPendingMessages();
  EXPECT_TRUE(typed.empty());   // no wizard run (the runner has no script)
  EXPECT_EQ(edit->Text(), "p");
  // Function keys still act in an edit box: F3 shows the first index's trend.
  PostMessageA(edit->Handle(), WM_KEYDOWN, VK_F1 + 2, 0);
  ProcessPendingMessages();
  EXPECT_EQ(NameOf(page->activeCell), "trend");
  EXPECT_EQ(Cell("trend")->attr.instrument, kSh000001());
}

TEST_F(AppMessageTest, MouseMovesDropTheOtherCellsHover) {
  StandardPage();
  std::vector<HWND> hovered;
  const int hook = AddMessageHook([&](MSG& msg) {
    if (msg.message == WM_NCMOUSEMOVE) hovered.push_back(msg.hwnd);
    return false;
  });
  Post("kline", WM_MOUSEMOVE, 0, 0);
  RemoveMessageHook(hook);
  EXPECT_EQ(hovered.size(), static_cast<std::size_t>(page->cells.GetSize() - 1));
  EXPECT_EQ(std::count(hovered.begin(), hovered.end(), Cell("kline")->Handle()), 0);
}

TEST_F(AppMessageTest, TheWheelPagesTheActiveChartWhileTheMainWindowIsActive) {
  StandardPage();
  SetActiveWindow(frame->Handle());
  ProcessPendingMessages();
  if (GetActiveWindow() != frame->Handle()) GTEST_SKIP() << "the main window cannot be made active here";
  std::vector<std::pair<HWND, WPARAM>> keys;
  const int hook = AddMessageHook([&](MSG& msg) {
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) keys.emplace_back(msg.hwnd, msg.wParam);
    return false;
  });
  Post("kline", WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16);
  // Showing its trade list, the chart keeps the wheel.
  Cell("kline")->attr.modeFlags = kChartModeTradeList;
  Post("kline", WM_MOUSEWHEEL, static_cast<WPARAM>(120) << 16);
  RemoveMessageHook(hook);
  const HWND kline = Cell("kline")->Handle();
  EXPECT_EQ(keys, (std::vector<std::pair<HWND, WPARAM>>{{kline, VK_PRIOR}, {kline, VK_PRIOR}}));
}

// ---- Hot-key captions ---------------------------------------------------------------------------

TEST_F(AppMessageTest, HotkeyCaptionsFollowTheTable) {
  frame->UpdateHotkeyCaptions();
  EXPECT_EQ(frame->FullScreen1->Caption(), "全屏显示      CTRL+P");
  EXPECT_EQ(frame->FullScreen2->Caption(), "全屏显示      CTRL+P");
  EXPECT_EQ(frame->MenuItem109->Caption(), "退出系统      ALT+F4");
  EXPECT_EQ(frame->N28->Caption(), "1分钟     1");
  EXPECT_EQ(frame->N31->Caption(), "3分钟     ");
  EXPECT_EQ(frame->N55->Caption(), "循环报价      -");
  EXPECT_EQ(frame->CtrlR1->Caption(), "启用          CTRL+R");
  EXPECT_EQ(frame->NewsBtn->Hint(), "新闻 F9");
  EXPECT_EQ(frame->ToolButton14->Hint(), "背景资料 F10");
  EXPECT_EQ(frame->LineBtn->Hint(), "画线工具 ALT+F12");
  EXPECT_EQ(frame->AlarmBtn->Hint(), "预警设置 ");
  EXPECT_EQ(frame->S1->Caption(), "预警设置    ");

  ParseHotKey(&HotKeyTable[58], "CTRL+Q");   // 全屏
  ParseHotKey(&HotKeyTable[80], "F11");      // 预警设置
  frame->UpdateHotkeyCaptions();
  EXPECT_EQ(frame->FullScreen1->Caption(), "全屏显示      CTRL+Q");
  EXPECT_EQ(frame->AlarmBtn->Hint(), "预警设置 F11");
  EXPECT_EQ(frame->S1->Caption(), "预警设置    F11");
}

}  // namespace
