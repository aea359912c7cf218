// The opener's side of the small dialogs' tests: a temporary install tree (bin/ current, the
// user directory ..\user\), a main-window stand-in as owner, scripted message boxes and the
// scripted modal runner, whose scripts play the user.
#pragma once

#include "data/UtilData.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace dialogtest {

class SmallDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(UserDir, "..\\user\\");
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    owner = NewForm<TForm>(nullptr);
    owner->SetName("MainStandIn");
  }
  void TearDown() override {
    TComponent::Free(owner);
    zuvo::platform::ProcessPendingMessages();
  }

  // Runs a dialog modally with the script as its user; returns the modal result.
  template <class Dialog, class Script>
  TModalResult Run(Dialog* dialog, Script script) {
    runner->Add(dialog->ClassName(), [script](TForm& form) mutable { script(static_cast<Dialog&>(form)); });
    const TModalResult result = dialog->ShowModal();
    EXPECT_TRUE(runner->Failures().empty());
    return result;
  }

  std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const auto& box : boxes->Shown()) texts.push_back(box.text);
    return texts;
  }

  testsupport::TempInstall install;
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::platform::ScopedScriptedModalRunner runner;
  TForm* owner = nullptr;
};

}  // namespace dialogtest
