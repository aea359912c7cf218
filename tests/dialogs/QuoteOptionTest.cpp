// The options dialog, headless: every run goes through the scripted modal runner, the script
// acting as the opener's user; the settings land in a temporary user directory and are read
// back byte for byte; MsgOptionsChanged is recorded by a plain window standing in for the main
// window. Indicator names come from a small fake manager (K main chart, MA and two more
// overlays, VOL and MACD sub-chart).
#include "dialogs/Quoteoption.h"

#include "data/MarketTestUtil.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Form.h"
#include "platform/MessageBox.h"
#include "platform/Message.h"
#include "platform/Panel.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpchecklistbox.h"
#include "widgets/Xpcombobox.h"
#include "widgets/Xpedit.h"
#include "widgets/Xplistbox.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::CrlfLines;
using testsupport::ReadBytes;
using testsupport::WriteBytes;
using zuvo::dialogs::ChartCycleOfCycleItem;
using zuvo::dialogs::CycleItemOfChartCycle;
using zuvo::platform::MessageBoxRequest;
using zuvo::platform::ProcessLaunch;
using zuvo::platform::ScopedProcessLauncher;
using zuvo::platform::ScopedScriptedMessageBoxes;
using zuvo::platform::ScopedScriptedModalRunner;

constexpr const char* kAppliesToNewWindows =
    "修改仅对新创建的窗口有效。要修改已有窗口的属性，请在相应窗口中点击鼠标右键并选择“属性”。  ";
constexpr const char* kInitialDetailItems = "31,30,29,28,27,17,18,19,20,21,1,2,3,4,5,6,7,8,9,10,11,12,13,14";

// ---- The main window stand-in --------------------------------------------------------------------

struct Posted {
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Posted> optionsLog;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgOptionsChanged) {
    optionsLog.push_back({wParam, lParam});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeRecordingWindow() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &RecordingProc;
    windowClass.lpszClassName = "QuoteOptionMainStandIn";
    return RegisterClassA(&windowClass) != 0;
  }();
  EXPECT_TRUE(registered);
  return CreateWindowExA(0, "QuoteOptionMainStandIn", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

std::vector<LPARAM> PostedKinds() {
  std::vector<LPARAM> kinds;
  for (const Posted& posted : optionsLog) {
    EXPECT_EQ(posted.wParam, 0u);
    kinds.push_back(posted.lParam);
  }
  return kinds;
}

// ---- The fake indicator manager ------------------------------------------------------------------

std::optional<int> FakeIndicatorKind(const std::string& name) {
  struct Known {
    const char* name;
    int kind;
  };
  static const Known known[] = {
      {"K", 2}, {"MA", 1}, {"VOL", 0}, {"MACD", 0},
      {"ABCDEFGHIJKLMNO", 1},   // exactly 15 bytes
      {"一二三四五六七", 1},     // 14 bytes: seven double-byte characters
  };
  for (const Known& k : known) {
    if (zuvo::platform::gbk::EqualsNoCase(name, k.name)) return k.kind;
  }
  return std::nullopt;
}

class ScopedLookup {
 public:
  explicit ScopedLookup(zuvo::dialogs::IndicatorKindLookup lookup)
      : previous_(zuvo::dialogs::SetIndicatorKindLookup(std::move(lookup))) {}
  ~ScopedLookup() { zuvo::dialogs::SetIndicatorKindLookup(std::move(previous_)); }

 private:
  zuvo::dialogs::IndicatorKindLookup previous_;
};

// ---- Fixture -------------------------------------------------------------------------------------

class QuoteOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
    std::snprintf(UserDir, sizeof UserDir, "%s", "..\\user\\");
    zuvo::platform::profile::ClearCache();
    runner_->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    mainWindow_ = MakeRecordingWindow();
    ASSERT_NE(mainWindow_, nullptr);
    optionsLog.clear();
  }
  void TearDown() override {
    DestroyWindow(mainWindow_);
    std::memcpy(UserDir, savedUserDir_, sizeof savedUserDir_);
    zuvo::platform::profile::ClearCache();
  }

  std::filesystem::path Defaults() const { return install_.user() / "defui.ini"; }
  std::filesystem::path Settings() const { return install_.user() / "SETTING.INI"; }
  void Seed(const std::filesystem::path& file, std::string_view bytes) {
    WriteBytes(file, bytes);
    zuvo::platform::profile::ClearCache();
  }
  static std::string Contents(const std::filesystem::path& file) {
    return std::filesystem::exists(file) ? ReadBytes(file) : std::string("<missing>");
  }

  // Makes the dialog, lets `open` fill it as an opener would, runs it modally with `use` as the
  // user's script and frees it. Returns the modal result.
  TModalResult Run(const std::function<void(TQuoteOptionDlg&)>& open, const std::function<void(TQuoteOptionDlg&)>& use) {
    TQuoteOptionDlg* dialog = NewForm<TQuoteOptionDlg>(nullptr);
    dialog->MainWindow = mainWindow_;
    open(*dialog);
    runner_->Add("QuoteOptionDlg", [&use](TForm& form) { use(static_cast<TQuoteOptionDlg&>(form)); });
    const TModalResult result = dialog->ShowModal();
    TComponent::Free(dialog);
    zuvo::platform::ProcessPendingMessages();
    return result;
  }

  // The main window's way: both pages, "save as default" hidden, the initial values.
  static void OpenAsDefaults(TQuoteOptionDlg& dialog) {
    dialog.SetCaption("修改默认属性（仅对新建窗口有效）");
    dialog.XPListBox1->SetItemIndex(0);
    dialog.XPListBox1Click(dialog.XPListBox1);
    dialog.XPCheckBox100->SetVisible(false);
    dialog.XPButton5Click(dialog.XPButton5);
  }

  testsupport::TempInstall install_;
  ScopedScriptedModalRunner runner_;
  ScopedScriptedMessageBoxes boxes_;
  ScopedLookup lookup_{&FakeIndicatorKind};
  HWND mainWindow_ = nullptr;

 private:
  char savedUserDir_[kUserDirSize] = {};
};

// ---- OK on the defaults ------------------------------------------------------------------------

TEST_F(QuoteOptionTest, OkWritesEveryDefaultInOrderPostsThreeTwoFourAndClosesWithTheInformationBox) {
  // Property bit 0x400 is none of the dialog's and stays; other keys stay too.
  Seed(Defaults(), CrlfLines({"[UI]", "Property=1024", "Other=x"}));
  const TModalResult result = Run(OpenAsDefaults, [](TQuoteOptionDlg& dialog) {
    dialog.XPCheckBox7->SetChecked(true);    // 0x001
    dialog.XPCheckBox3->SetChecked(true);    // 0x004
    dialog.XPCheckBox5->SetChecked(false);   // 0x008
    dialog.XPCheckBox6->SetChecked(true);    // 0x020
    dialog.XPCheckBox4->SetChecked(true);    // 0x040
    dialog.XPComboBox2->SetItemIndex(1);     // 0x080
    dialog.XPCheckBox10->SetChecked(false);  // 0x200
    dialog.XPCheckBox1->SetChecked(true);
    dialog.XPCheckBox2->SetChecked(false);
    dialog.XPCheckBox8->SetChecked(false);
    dialog.XPComboBox1->SetItemIndex(5);     // 3分钟
    dialog.XPComboBox3->SetItemIndex(3);
    dialog.XPCheckListBox1->SetChecked(0, false);   // id 31
    dialog.XPButton1->Click();
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Contents(Defaults()), CrlfLines({"[UI]", "Property=1773", "Other=x", "MainGraph=K,MA", "SubGraph=VOL,MACD",
                                             "DefCycle=2", "TodayMinOnly=1", "InfoVisible=0",
                                             "DetailItem=30,29,28,27,17,18,19,20,21,1,2,3,4,5,6,7,8,9,10,11,12,13,14"}));
  EXPECT_EQ(Contents(Settings()), CrlfLines({"[Parameter]", "ZoomLevel=3", "KLineMode=0", "AntiAlias=1"}));
  EXPECT_EQ(PostedKinds(), (std::vector<LPARAM>{3, 2, 4}));
  ASSERT_EQ(boxes_->Count(), 1u);
  const MessageBoxRequest box = boxes_->Shown()[0];
  EXPECT_EQ(box.text, kAppliesToNewWindows);
  EXPECT_EQ(box.caption, "提示");
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(QuoteOptionTest, InitialValuesWrittenIntoAnEmptyUserDirectory) {
  const TModalResult result = Run(OpenAsDefaults, [](TQuoteOptionDlg& dialog) { dialog.XPButton1->Click(); });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Contents(Defaults()),
            CrlfLines({"[UI]", "MainGraph=K,MA", "SubGraph=VOL,MACD", "DefCycle=8", "TodayMinOnly=0", "Property=0",
                       "InfoVisible=1", std::string("DetailItem=") + kInitialDetailItems}));
  EXPECT_EQ(Contents(Settings()), CrlfLines({"[Parameter]", "ZoomLevel=16", "KLineMode=1", "AntiAlias=1"}));
}

// ---- Indicator checks ------------------------------------------------------------------------------

TEST_F(QuoteOptionTest, IndicatorTextsAreCheckedBeforeAnythingIsWritten) {
  struct Case {
    const char* main;
    const char* sub;
    const char* refusal;   // null: accepted
  };
  const Case cases[] = {
      {"K,MA", "VOL,MACD", nullptr},
      {"K,,MA", "VOL", nullptr},                 // an empty name between commas is skipped
      {"k, ma\t", "vol , macd", nullptr},        // case and blanks do not matter
      {"K,MA", "", nullptr},                     // an empty sub-chart text passes
      {"K,ABCDEFGHIJKLMNOPQR", "VOL", nullptr},  // looked up by its first 15 bytes
      {"K,一二三四五六七八", "VOL", nullptr},     // 15 bytes would split the eighth character
      {"", "VOL", "主图指标不能为空。  "},
      {" ,MA", "VOL", "主图指标不能为空。  "},
      {"MA,K", "VOL", "MA 不是主图指标。  "},     // an overlay first
      {"KD,MA", "VOL", "主图指标 KD 不存在。  "},
      {"K,VOL", "VOL", "VOL 不是主图叠加指标。  "},
      {"K,BOLL", "VOL", "主图叠加指标 BOLL 不存在。  "},
      {"K,MA", "VOL,MA", "MA 不是副图指标。  "},
      {"K,MA", "VOL,,RSI", "副图指标 RSI 不存在。  "},   // refused after MainGraph would have been written
  };
  const std::string oldDefaults = CrlfLines({"[UI]", "MainGraph=OLD", "SubGraph=OLD"});
  const std::string oldSettings = CrlfLines({"[Parameter]", "ZoomLevel=5"});
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.main) + " | " + test.sub);
    Seed(Defaults(), oldDefaults);
    Seed(Settings(), oldSettings);
    optionsLog.clear();
    const std::size_t boxesBefore = boxes_->Count();
    TModalResult afterOk = -1;
    const TModalResult result = Run(OpenAsDefaults, [&](TQuoteOptionDlg& dialog) {
      dialog.XPEdit1->SetText(test.main);
      dialog.XPEdit2->SetText(test.sub);
      dialog.XPButton1->Click();
      afterOk = dialog.ModalResult();
      if (afterOk == mrNone) dialog.XPButton2->Click();   // refused: the user gives up
    });
    const std::vector<MessageBoxRequest> shown = boxes_->Shown();
    ASSERT_EQ(shown.size(), boxesBefore + 1);
    const MessageBoxRequest& box = shown.back();
    if (test.refusal == nullptr) {
      EXPECT_EQ(result, mrOk);
      EXPECT_EQ(box.text, kAppliesToNewWindows);
      const std::string defaults = Contents(Defaults());
      EXPECT_NE(defaults.find(std::string("\r\nMainGraph=") + test.main + "\r\n"), std::string::npos) << defaults;
      EXPECT_NE(defaults.find(std::string("\r\nSubGraph=") + test.sub + "\r\n"), std::string::npos) << defaults;
      EXPECT_EQ(PostedKinds(), (std::vector<LPARAM>{3, 2, 4}));
    } else {
      EXPECT_EQ(afterOk, mrNone) << "a refused OK keeps the dialog open";
      EXPECT_EQ(result, mrCancel);
      EXPECT_EQ(box.text, test.refusal);
      EXPECT_EQ(box.caption, "错误");
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
      EXPECT_EQ(Contents(Defaults()), oldDefaults);
      EXPECT_EQ(Contents(Settings()), oldSettings);
      EXPECT_TRUE(optionsLog.empty());
    }
  }
}

TEST_F(QuoteOptionTest, IndicatorLookupNameCutsOnACharacterBoundaryThenTrims) {
  struct Case {
    const char* text;
    const char* name;
  };
  const Case cases[] = {
      {"MA", "MA"},
      {"  MA\t", "MA"},
      {"ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNO"},
      {"一二三四五六七八", "一二三四五六七"},        // 16 bytes: the eighth character goes whole
      {"A一二三四五六七八", "A一二三四五六七"},      // 15 bytes end on a boundary
      {"              MA", "M"},                  // the cut comes first: 14 blanks and "M"
      {"\x01MA\x7f", "MA"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.text);
    EXPECT_EQ(zuvo::dialogs::IndicatorLookupName(test.text), test.name);
  }
}

TEST_F(QuoteOptionTest, WithoutARegisteredLookupEveryNameIsUnknown) {
  ScopedLookup none{nullptr};
  Run(OpenAsDefaults, [](TQuoteOptionDlg& dialog) {
    dialog.XPButton1->Click();
    dialog.XPButton2->Click();
  });
  ASSERT_EQ(boxes_->Count(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "主图指标 K 不存在。  ");
  EXPECT_EQ(Contents(Defaults()), "<missing>");
}

// ---- Property sheets of one view ---------------------------------------------------------------

TEST_F(QuoteOptionTest, QuoteListSheetWritesOnlyTheWheelBitsOnEveryOk) {
  struct Case {
    int wheel;
    const char* property;
  };
  // 0x281 before: page scrolling, Enter not cycling, trades bottom-up.
  const Case cases[] = {{0, "Property=513"}, {1, "Property=641"}, {2, "Property=769"}, {-1, "Property=513"}};
  for (const Case& test : cases) {
    SCOPED_TRACE(test.wheel);
    Seed(Defaults(), CrlfLines({"[UI]", "Property=641", "MainGraph=BAD"}));
    optionsLog.clear();
    const std::size_t boxesBefore = boxes_->Count();
    const TModalResult result = Run(
        [&](TQuoteOptionDlg& dialog) {
          dialog.XPListBox1->SetVisible(false);
          dialog.Panel1->SetVisible(false);
          dialog.Panel2->SetVisible(true);
          dialog.GroupBox1->SetVisible(false);
          dialog.GroupBox2->SetVisible(false);
          dialog.XPCheckBox100->SetVisible(false);
          dialog.XPEdit1->SetText("");   // hidden: never checked
          dialog.XPComboBox2->SetItemIndex(test.wheel);
        },
        [](TQuoteOptionDlg& dialog) { dialog.XPButton1->Click(); });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(Contents(Defaults()), CrlfLines({"[UI]", test.property, "MainGraph=BAD"}));
    EXPECT_EQ(Contents(Settings()), "<missing>");
    EXPECT_TRUE(optionsLog.empty());
    EXPECT_EQ(boxes_->Count(), boxesBefore) << "no information box without the page list";
  }
}

TEST_F(QuoteOptionTest, ChartSheetWritesItsDefaultsAndPropertiesOnlyWhenAskedToSaveThem) {
  for (bool saveAsDefault : {false, true}) {
    SCOPED_TRACE(saveAsDefault);
    std::filesystem::remove(Defaults());
    std::filesystem::remove(Settings());
    zuvo::platform::profile::ClearCache();
    optionsLog.clear();
    const TModalResult result = Run(
        [&](TQuoteOptionDlg& dialog) {
          dialog.XPButton5Click(dialog.XPButton5);
          dialog.XPListBox1->SetVisible(false);
          dialog.Panel2->SetVisible(false);
          dialog.GroupBox2->SetVisible(false);
          dialog.XPCheckBox100->SetChecked(saveAsDefault);
          dialog.XPCheckBox5->SetChecked(false);   // hidden group: its bit is left alone
          dialog.XPCheckBox6->SetChecked(true);
        },
        [](TQuoteOptionDlg& dialog) { dialog.XPButton1->Click(); });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(Contents(Settings()), CrlfLines({"[Parameter]", "ZoomLevel=16", "KLineMode=1", "AntiAlias=1"}));
    EXPECT_EQ(PostedKinds(), (std::vector<LPARAM>{3, 2, 4}));
    if (saveAsDefault) {
      EXPECT_EQ(Contents(Defaults()),
                CrlfLines({"[UI]", "MainGraph=K,MA", "SubGraph=VOL,MACD", "DefCycle=8", "TodayMinOnly=0", "Property=32",
                           "InfoVisible=1", std::string("DetailItem=") + kInitialDetailItems}));
    } else {
      EXPECT_EQ(Contents(Defaults()), CrlfLines({"[UI]", "MainGraph=K,MA", "SubGraph=VOL,MACD", "DefCycle=8"}));
    }
  }
  EXPECT_EQ(boxes_->Count(), 0u);
}

TEST_F(QuoteOptionTest, HiddenChartControlsAreNeitherCheckedNorWritten) {
  const TModalResult result = Run(
      [](TQuoteOptionDlg& dialog) {
        dialog.XPButton5Click(dialog.XPButton5);
        dialog.XPListBox1->SetVisible(false);
        dialog.Panel2->SetVisible(false);
        dialog.XPEdit1->SetVisible(false);
        dialog.XPEdit1->SetText("NOSUCH");
        dialog.XPComboBox3->SetVisible(false);
        dialog.XPCheckBox9->SetVisible(false);
      },
      [](TQuoteOptionDlg& dialog) { dialog.XPButton1->Click(); });
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Contents(Defaults()), CrlfLines({"[UI]", "SubGraph=VOL,MACD", "DefCycle=8"}));
  EXPECT_EQ(Contents(Settings()), CrlfLines({"[Parameter]", "KLineMode=1"}));
  EXPECT_EQ(PostedKinds(), (std::vector<LPARAM>{2}));
}

TEST_F(QuoteOptionTest, NoZoomSelectionWritesTheDefaultLevel) {
  Run(OpenAsDefaults, [](TQuoteOptionDlg& dialog) {
    dialog.XPComboBox3->SetItemIndex(-1);
    dialog.XPButton1->Click();
  });
  EXPECT_NE(Contents(Settings()).find("ZoomLevel=16\r\n"), std::string::npos);
}

TEST_F(QuoteOptionTest, DetailItemHoldsAtMostThirtyTwoIds) {
  Run(
      [](TQuoteOptionDlg& dialog) {
        OpenAsDefaults(dialog);
        for (int i = 0; i < 20; ++i) dialog.AddDetailItem(15, "委比", true);
      },
      [](TQuoteOptionDlg& dialog) { dialog.XPButton1->Click(); });
  std::string expected = std::string("DetailItem=") + kInitialDetailItems;
  for (int i = 0; i < 8; ++i) expected += ",15";
  EXPECT_NE(Contents(Defaults()).find("\r\n" + expected + "\r\n"), std::string::npos) << Contents(Defaults());
}

// ---- Cancel, initial values, pages --------------------------------------------------------------

TEST_F(QuoteOptionTest, CancelWritesNothing) {
  const TModalResult result = Run(OpenAsDefaults, [](TQuoteOptionDlg& dialog) {
    dialog.XPEdit1->SetText("MA");
    dialog.XPButton2->Click();
  });
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(Contents(Defaults()), "<missing>");
  EXPECT_EQ(Contents(Settings()), "<missing>");
  EXPECT_EQ(boxes_->Count(), 0u);
}

TEST_F(QuoteOptionTest, InitialValuesLabelItemsElevenAndTwelveByTheInstrumentsMarket) {
  markettest::ScopedMarkets markets;
  markets.Add(0, markettest::MakeRecord("SH", 1), {markettest::MakeInstrument("600000")});
  markets.Add(1, markettest::MakeRecord("SF", 2), {markettest::MakeInstrument("CU01")});
  markets.Add(2, markettest::MakeRecord("HK", 6), {markettest::MakeInstrument("00001")});
  struct Case {
    const char* what;
    STKPTR instrument;
    const char* item11;
    const char* item12;
  };
  const Case cases[] = {
      {"stock-like", STKPTR(0, 0, 0), "金额", "量比"},
      {"futures", STKPTR(1, 0, 0), "持仓", "仓差"},
      {"broker queues", STKPTR(2, 0, 0), "金额", "量比"},
      {"none", STKPTR(), "持仓", "仓差"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    Run([&](TQuoteOptionDlg& dialog) { dialog.Instrument = test.instrument; },
        [&](TQuoteOptionDlg& dialog) {
          // Scramble what the opener filled, then restore.
          dialog.AddDetailItem(99, "x", true);
          dialog.XPCheckBox3->SetChecked(true);
          dialog.XPCheckBox2->SetChecked(false);
          dialog.XPComboBox1->SetItemIndex(4);
          dialog.XPComboBox2->SetItemIndex(2);
          dialog.XPComboBox3->SetItemIndex(1);
          dialog.XPEdit1->SetText("X");
          dialog.XPEdit2->SetText("Y");
          dialog.XPButton5->Click();

          std::string ids;
          std::string checks;
          for (int row = 0; row < dialog.XPCheckListBox1->Items()->Count(); ++row) {
            const int id = dialog.DetailItemId(row);
            ids += std::to_string(id) + ",";
            checks += dialog.XPCheckListBox1->Checked(row) ? '1' : '0';
            if (id == 11) EXPECT_EQ(dialog.XPCheckListBox1->Items()->Get(row), test.item11);
            if (id == 12) EXPECT_EQ(dialog.XPCheckListBox1->Items()->Get(row), test.item12);
            if (id == 1) EXPECT_EQ(dialog.XPCheckListBox1->Items()->Get(row), "最新");
          }
          EXPECT_EQ(ids, std::string(kInitialDetailItems) + ",15,16,");
          EXPECT_EQ(checks, std::string(24, '1') + "00");
          for (auto* on : {dialog.XPCheckBox2, dialog.XPCheckBox10, dialog.XPCheckBox5, dialog.XPCheckBox8,
                           dialog.XPCheckBox9}) {
            EXPECT_TRUE(on->Checked()) << on->Name();
          }
          for (auto* off : {dialog.XPCheckBox3, dialog.XPCheckBox7, dialog.XPCheckBox1, dialog.XPCheckBox6,
                            dialog.XPCheckBox4}) {
            EXPECT_FALSE(off->Checked()) << off->Name();
          }
          EXPECT_EQ(dialog.XPComboBox1->ItemIndex(), 0);
          EXPECT_EQ(dialog.XPComboBox1->Items()->Get(0), "日线");
          EXPECT_EQ(dialog.XPComboBox3->ItemIndex(), 16);
          EXPECT_EQ(dialog.XPComboBox3->Items()->Get(16), "17(默认)");
          EXPECT_EQ(dialog.XPComboBox2->ItemIndex(), 0);
          EXPECT_EQ(dialog.XPEdit1->Text(), "K,MA");
          EXPECT_EQ(dialog.XPEdit2->Text(), "VOL,MACD");
          dialog.XPButton2->Click();   // restoring writes nothing by itself
        });
  }
  EXPECT_EQ(Contents(Defaults()), "<missing>");
}

TEST_F(QuoteOptionTest, FormControlsAndPages) {
  Run(
      [](TQuoteOptionDlg& dialog) {
        EXPECT_EQ(dialog.Caption(), "参数设置");
        EXPECT_EQ(dialog.XPListBox1->Items()->Count(), 2);
        EXPECT_EQ(dialog.XPListBox1->Items()->Get(0), "走势图和 K 线图");
        EXPECT_EQ(dialog.XPListBox1->Items()->Get(1), "报价窗口");
        EXPECT_EQ(dialog.XPComboBox3->Items()->Count(), 29);
        EXPECT_EQ(dialog.XPComboBox3->Items()->Get(0), " 1(最窄)");
        EXPECT_EQ(dialog.XPComboBox3->Items()->Get(8), " 9");
        EXPECT_EQ(dialog.XPComboBox3->Items()->Get(9), "10");
        EXPECT_EQ(dialog.XPComboBox3->Items()->Get(28), "29(最宽)");
        EXPECT_EQ(dialog.XPComboBox2->Items()->Get(2), "滚动至下一品种");
        EXPECT_EQ(dialog.XPCheckListBox1->Columns(), 4);
        EXPECT_EQ(dialog.XPButton1->ModalResult(), mrOk);
        EXPECT_TRUE(dialog.XPButton1->Default());
        EXPECT_EQ(dialog.XPButton2->ModalResult(), mrCancel);
        EXPECT_TRUE(dialog.XPButton2->Cancel());
        for (const char* name : {"XPCheckBox1", "XPCheckBox10", "XPCheckBox100", "GroupBox3", "XPEdit2", "XPButton6"}) {
          EXPECT_NE(dialog.FindComponent(name), nullptr) << name;
        }
      },
      [](TQuoteOptionDlg& dialog) {
        dialog.XPListBox1->SetItemIndex(1);
        dialog.XPListBox1Click(dialog.XPListBox1);
        EXPECT_FALSE(dialog.Panel1->Visible());
        EXPECT_TRUE(dialog.Panel2->Visible());
        dialog.XPListBox1->SetItemIndex(0);
        dialog.XPListBox1Click(dialog.XPListBox1);
        EXPECT_TRUE(dialog.Panel1->Visible());
        EXPECT_FALSE(dialog.Panel2->Visible());
        dialog.XPButton2->Click();
      });
}

// ---- Mappings ------------------------------------------------------------------------------------

TEST(QuoteOptionMappingTest, CycleItemsAndChartCyclesBothWays) {
  struct Pair {
    int item;
    unsigned cycle;
  };
  const Pair mapped[] = {{0, 8}, {1, 9},  {2, 10}, {3, 11},  {4, 1},   {5, 2},
                         {6, 4}, {7, 5},  {8, 6},  {9, 7},  {10, 13}, {11, 14}};
  for (const Pair& p : mapped) {
    SCOPED_TRACE(p.item);
    EXPECT_EQ(ChartCycleOfCycleItem(p.item), p.cycle);
    EXPECT_EQ(CycleItemOfChartCycle(p.cycle), p.item);
  }
  // Without a counterpart: an item gives the day, a cycle gives item 0.
  for (int item : {-1, 12, 100}) EXPECT_EQ(ChartCycleOfCycleItem(item), 8u) << item;
  for (unsigned cycle : {0u, 3u, 12u, 15u, 255u, 0xFFFFFFFFu}) EXPECT_EQ(CycleItemOfChartCycle(cycle), 0) << cycle;
}

// ---- Moving detail rows ------------------------------------------------------------------------

TEST_F(QuoteOptionTest, SelectedRowsMoveOnePlaceTogetherAndStayAtTheEnds) {
  struct Case {
    bool up;
    std::vector<int> selected;   // rows
    const char* order;           // ids after the move
  };
  const Case cases[] = {
      {true, {1}, "2,1,3,4,5,6"},
      {true, {0}, "1,2,3,4,5,6"},         // the top row stays
      {true, {1, 2}, "2,3,1,4,5,6"},      // a block climbs together
      {true, {0, 2, 3}, "1,3,4,2,5,6"},
      {true, {0, 1}, "1,2,3,4,5,6"},      // held by the top row
      {false, {5}, "1,2,3,4,5,6"},        // the bottom row stays
      {false, {0, 1}, "3,1,2,4,5,6"},
      {false, {3, 5}, "1,2,3,5,4,6"},
      {false, {4, 5}, "1,2,3,4,5,6"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.up ? "up " : "down ") + test.order);
    Run(
        [](TQuoteOptionDlg& dialog) {
          for (int id = 1; id <= 6; ++id) dialog.AddDetailItem(id, std::to_string(id), id % 2 == 0);
        },
        [&](TQuoteOptionDlg& dialog) {
          for (int row : test.selected) dialog.XPCheckListBox1->SetSelected(row, true);
          (test.up ? dialog.XPButton3 : dialog.XPButton4)->Click();
          std::string order;
          for (int row = 0; row < 6; ++row) {
            const int id = dialog.DetailItemId(row);
            order += (row > 0 ? "," : "") + std::to_string(id);
            // Texts, checks and the selection travel with their rows.
            EXPECT_EQ(dialog.XPCheckListBox1->Items()->Get(row), std::to_string(id));
            EXPECT_EQ(dialog.XPCheckListBox1->Checked(row), id % 2 == 0);
            bool wasSelected = false;
            for (int r : test.selected) wasSelected = wasSelected || r + 1 == id;
            EXPECT_EQ(dialog.XPCheckListBox1->Selected(row), wasSelected) << "row " << row;
          }
          EXPECT_EQ(order, test.order);
          dialog.XPButton2->Click();
        });
  }
}

// ---- Colour and font tool ------------------------------------------------------------------------

TEST_F(QuoteOptionTest, ColourToolStartsWithTheMainWindowMessageAndThemeAndAFailureIsReported) {
  const int savedTheme = LastTheme;
  LastTheme = 3;
  for (bool starts : {true, false}) {
    SCOPED_TRACE(starts);
    std::vector<ProcessLaunch> launches;
    ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
      launches.push_back(launch);
      return zuvo::platform::LaunchResult{starts, starts ? 0u : static_cast<DWORD>(ERROR_FILE_NOT_FOUND), 0};
    });
    const std::size_t boxesBefore = boxes_->Count();
    TModalResult afterClick = -1;
    Run(OpenAsDefaults, [&](TQuoteOptionDlg& dialog) {
      dialog.XPButton6->Click();
      afterClick = dialog.ModalResult();
      dialog.XPButton2->Click();
    });
    EXPECT_EQ(afterClick, mrNone) << "the dialog stays open";
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].program, ".\\cfgpanel.exe");
    char argument[64];
    std::snprintf(argument, sizeof argument, "HWND:%d MSG:2128 THEME:3",
                  static_cast<int>(reinterpret_cast<std::intptr_t>(mainWindow_)));
    EXPECT_EQ(launches[0].argument, argument);
    if (starts) {
      EXPECT_EQ(boxes_->Count(), boxesBefore);
    } else {
      ASSERT_EQ(boxes_->Count(), boxesBefore + 1);
      const MessageBoxRequest box = boxes_->Shown().back();
      EXPECT_EQ(box.text, "启动配置程序失败。  ");
      EXPECT_EQ(box.caption, "错误");
      EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    }
  }
  LastTheme = savedTheme;
  EXPECT_EQ(Contents(Defaults()), "<missing>");
}

}  // namespace
