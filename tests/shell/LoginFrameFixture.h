// The main window against the local quote server for the login tests: the server on the sample
// tree, the program copy naming it (two-stage login, push port), the user's account, scripted
// login dialogs, message boxes and modal forms, and the quiet reconnects seen as they end.
#pragma once

#include "net/RequestServerFixture.h"

#include "LoginScript.h"
#include "data/DataIO.h"
#include "data/NewsIndex.h"
#include "net/ClientRight.h"
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"
#include "net/ServerRights.h"
#include "platform/Application.h"
#include "platform/Button.h"
#include "platform/Form.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "platform/WinSock.h"
#include "shell/MainFrame.h"
#include "shell/ShellClients.h"
#include "shell/stubs/FrameStandIns.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shelltest {

using zuvo::platform::MessageBoxRequest;
using zuvo::shell::ReconnectOutcome;

class LoginFlowTest : public nettest::RequestServerTest {
 protected:
  void SetUp() override {
    RequestServerTest::SetUp();
    zuvo::net::ResetPushState();
    runner_->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    Start();
    ProgramCopy();
    zuvo::shell::SetReconnectTraceForTest([this](const ReconnectOutcome& outcome) { outcomes_.push_back(outcome); });
  }
  void TearDown() override {
    // A reconnect still on its worker comes back first (its clients go on this thread).
    Pump([] { return !zuvo::shell::ReconnectRunning(); }, 60);
    zuvo::shell::SetReconnectTraceForTest(nullptr);
    ShellClients().DestroyRequestClient();
    ShellClients().DestroyPushClient();
    window_.reset();
    if (frame_ != nullptr) TComponent::Free(frame_);
    frame_ = nullptr;
    delete Alarm;
    Alarm = nullptr;
    main_.Pump();
    RequestServerTest::TearDown();
    zuvo::net::ResetPushState();
    zuvo::net::ClearServerRights();
  }

  // The program copy: the local server as the only entry, two-stage login with the data server
  // on the request port and the push server on its port; the user's copy with the account.
  void ProgramCopy() {
    testsupport::WriteBytes(
        install_.bin() / "SERVER.INI",
        testsupport::CrlfLines({"[Server]", "NOJH=0", "Port1=" + std::to_string(requestPort()),
                                "Port2=" + std::to_string(pushPort()), "[RIGHT]", "lastindex=0",
                                "svraddr0=127.0.0.1", "company0=本地", "svrport0=" + std::to_string(mainPort())}));
    testsupport::WriteBytes(install_.user() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "Version=1", "UserName=test", "Password=pw",
                                                    "SavePass=1", "[ProxyServer]", "Version=1", "UseProxy=0"}));
    // The installed version is the newest: no updater.
    testsupport::WriteBytes(install_.bin() / "version.txt", "99999999");
    zuvo::platform::profile::ClearCache();
  }

  // A login stores the markets in the install tree (for offline browsing), then the program
  // copy is put back.
  void StoreMarkets() {
    Connect();
    NormalClnt = nullptr;
    owner_.reset();
    client_ = nullptr;
    main_.Pump();
    // The fixture's login wrote its own copy under another case of the name.
    std::filesystem::remove(install_.bin() / "server.ini");
    ProgramCopy();
  }

  // The next login dialog clicks 联机 and waits for its end.
  void AnswerLoginConnect() {
    runner_->Add("TClientRight", [this](TForm& form) {
      auto& dialog = static_cast<TClientRight&>(form);
      dialog.Button1->Click();
      EXPECT_TRUE(Pump([&] { return dialog.ModalResult() != mrNone; }, 60)) << "the login ended";
    });
  }

  // The main window made with the next login dialog answered by `answer`.
  void MakeFrame(bool online) {
    if (online) {
      AnswerLoginConnect();
    } else {
      shelltest::AnswerLoginOffline(*runner_, 1);
    }
    frame_ = NewForm<TMFrame>(nullptr);
    window_ = std::make_unique<zuvo::net::ScopedMainWindow>(frame_->Handle());
  }

  // Pumps until the next quiet reconnect has come back.
  std::optional<ReconnectOutcome> AwaitReconnect() {
    const std::size_t before = outcomes_.size();
    if (!Pump([&] { return outcomes_.size() > before; }, 60)) return std::nullopt;
    return outcomes_.back();
  }

  std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }

  std::unique_ptr<zuvo::net::ScopedMainWindow> window_;
  TMFrame* frame_ = nullptr;
  std::vector<ReconnectOutcome> outcomes_;
  zuvo::platform::ScopedScriptedMessageBoxes boxes_;
  zuvo::platform::ScopedScriptedModalRunner runner_;
  zuvo::platform::ScopedRecordingShell shell_;
  zuvo::platform::ScopedProcessLauncher launcher_{[](const zuvo::platform::ProcessLaunch&) {
    return zuvo::platform::LaunchResult{false, ERROR_FILE_NOT_FOUND, 0};
  }};
};

}  // namespace shelltest
