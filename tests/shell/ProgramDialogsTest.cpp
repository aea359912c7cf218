// The program's dialogs behind the shell's dialog seam: the options command runs the real
// options dialog through the scripted modal runner, filled from the user's settings, and its OK
// writes the same settings back; indicator names are checked against IndicatorCatalog(); the
// registration leaves a test's own dialogs in place.
#include "shell/ProgramDialogs.h"

#include "ShellSettingsFixture.h"
#include "dialogs/Quoteoption.h"
#include "platform/Form.h"
#include "platform/MessageBox.h"
#include "platform/Panel.h"
#include "platform/Profile.h"
#include "shell/ViewOptions.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpcheckbox.h"
#include "widgets/Xpedit.h"
#include "widgets/Xplistbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using shelltest::RecordingShellDialogs;
using shelltest::ScopedIndicatorCatalog;
using shelltest::ScopedShellDialogs;
using shelltest::ScriptedIndicatorCatalog;
using shelltest::ShellSettings;
using zuvo::platform::ScopedScriptedMessageBoxes;
using zuvo::platform::ScopedScriptedModalRunner;

// Installs the program's dialogs for a scope, as the main window does for its life.
struct ScopedProgramDialogs {
  ScopedProgramDialogs() { InstallProgramDialogs(); }
  ~ScopedProgramDialogs() { RemoveProgramDialogs(); }
};

std::string Ui(const char* key) {
  char value[512] = {};
  GetPrivateProfileStringA("UI", key, "<none>", value, sizeof value, "..\\user\\defui.ini");
  return value;
}

std::string Parameter(const char* key) {
  char value[64] = {};
  GetPrivateProfileStringA("Parameter", key, "<none>", value, sizeof value, "..\\user\\SETTING.INI");
  return value;
}

class ProgramDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runner_->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    owner_ = NewForm<TForm>(nullptr);
  }
  void TearDown() override { TComponent::Free(owner_); }

  ShellSettings settings_;
  ScopedScriptedModalRunner runner_;
  ScopedScriptedMessageBoxes boxes_;
  TForm* owner_ = nullptr;
};

TEST_F(ProgramDialogsTest, OptionsCommandFillsTheDialogAndItsOkWritesTheSameSettingsBack) {
  ScriptedIndicatorCatalog catalog({{"K", 2}, {"MA", 1}, {"BOLL", 1}, {"MACD", 0}});
  ScopedIndicatorCatalog installedCatalog(&catalog);
  ScopedProgramDialogs dialogs;
  // Every value away from its initial one, so that a control filled from the wrong setting shows.
  settings_.SetUi("MainGraph", "K,BOLL");
  settings_.SetUi("SubGraph", "MACD");
  settings_.SetUi("DefCycle", "5");          // 15分钟
  settings_.SetUi("Property", "877");        // 0x36D: every bit the dialog keeps but the wheel page
  settings_.SetUi("TodayMinOnly", "1");
  settings_.SetUi("InfoVisible", "0");
  settings_.SetUi("DetailItem", "5,1,31");
  settings_.SetUserParameter("ZoomLevel", "20");
  settings_.SetUserParameter("KLineMode", "0");
  settings_.SetUserParameter("AntiAlias", "0");

  runner_->Add("QuoteOptionDlg", [this](TForm& form) {
    auto& dialog = static_cast<TQuoteOptionDlg&>(form);
    EXPECT_EQ(dialog.Caption(), "修改默认属性（仅对新建窗口有效）");
    EXPECT_EQ(dialog.Owner(), owner_);
    EXPECT_TRUE(ModalDialogOpen());
    EXPECT_EQ(dialog.XPListBox1->ItemIndex(), 0);
    EXPECT_TRUE(dialog.Panel1->Visible());
    EXPECT_FALSE(dialog.Panel2->Visible());
    EXPECT_FALSE(dialog.XPCheckBox100->Visible());
    EXPECT_EQ(dialog.XPEdit1->Text(), "K,BOLL");
    EXPECT_EQ(dialog.DetailItemId(0), 5);
    EXPECT_EQ(dialog.Instrument, STKPTR());
    dialog.XPButton1->Click();
  });
  RunViewOptionsCommand(owner_);

  EXPECT_EQ(runner_->Ran().size(), 1u);
  EXPECT_EQ(Ui("MainGraph"), "K,BOLL");
  EXPECT_EQ(Ui("SubGraph"), "MACD");
  EXPECT_EQ(Ui("DefCycle"), "5");
  EXPECT_EQ(Ui("Property"), "877");
  EXPECT_EQ(Ui("TodayMinOnly"), "1");
  EXPECT_EQ(Ui("InfoVisible"), "0");
  EXPECT_EQ(Ui("DetailItem"), "5,1,31");
  EXPECT_EQ(Parameter("ZoomLevel"), "20");
  EXPECT_EQ(Parameter("KLineMode"), "0");
  EXPECT_EQ(Parameter("AntiAlias"), "0");
  ASSERT_EQ(boxes_->Count(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].caption, "提示");
}

TEST_F(ProgramDialogsTest, IndicatorNamesAreCheckedAgainstTheRegisteredCatalog) {
  ScriptedIndicatorCatalog catalog({{"K", 2}, {"VOL", 0}, {"MACD", 0}});   // no MA
  ScopedIndicatorCatalog installedCatalog(&catalog);
  ScopedProgramDialogs dialogs;
  runner_->Add("QuoteOptionDlg", [](TForm& form) {
    auto& dialog = static_cast<TQuoteOptionDlg&>(form);
    dialog.XPButton1->Click();
    EXPECT_EQ(dialog.ModalResult(), mrNone);
    dialog.XPButton2->Click();
  });
  RunViewOptionsCommand(owner_);
  ASSERT_EQ(boxes_->Count(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "主图叠加指标 MA 不存在。  ");
  EXPECT_EQ(Ui("MainGraph"), "<none>");
}

TEST_F(ProgramDialogsTest, RegistrationLeavesOthersInPlaceAndTakesBackOnlyItsOwn) {
  {
    RecordingShellDialogs recording;
    ScopedShellDialogs installed(&recording);
    InstallProgramDialogs();
    EXPECT_EQ(&ShellDialogs(), &recording);
    RemoveProgramDialogs();
    EXPECT_EQ(&ShellDialogs(), &recording);
  }
  InstallProgramDialogs();
  InstallProgramDialogs();   // idempotent
  EXPECT_NE(dynamic_cast<TProgramDialogs*>(&ShellDialogs()), nullptr);
  EXPECT_TRUE(static_cast<bool>(zuvo::dialogs::GetIndicatorKindLookup()));
  EXPECT_FALSE(ShellDialogs().ChooseBlock(owner_, BlockChooserRequest{}).has_value());
  RemoveProgramDialogs();
  EXPECT_EQ(dynamic_cast<TProgramDialogs*>(&ShellDialogs()), nullptr);
  EXPECT_FALSE(static_cast<bool>(zuvo::dialogs::GetIndicatorKindLookup()));
}

}  // namespace
