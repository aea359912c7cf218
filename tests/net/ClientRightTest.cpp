// The login dialog run headless against the local quote server: scripted modal runs and message
// boxes, a stand-in main window implementing ILoginHost with the real request client and loader.
#include "net/ClientRight.h"

#include "data/DataIO.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "net/AddServer.h"
#include "net/LoopbackPeer.h"
#include "net/NormalClnt.h"
#include "net/RequestFrames.h"
#include "net/RequestServerFixture.h"
#include "platform/Application.h"
#include "platform/Button.h"
#include "platform/Edit.h"
#include "platform/Kernel.h"
#include "platform/ListBox.h"
#include "platform/MessageBox.h"
#include "platform/Panel.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"

#include "AccountServer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using zuvo::platform::IsUiThread;

// The main window's part of the login, as the shell does it, recording what the dialog asked.
class FakeHost : public ILoginHost {
 public:
  struct Call {
    bool skipVersion;
    bool updateMarkets;
    bool cached;
    int port;      // [Server] Port of the program copy at the call: the server tried
    int network;   // [Server] Network
    int result;
  };

  explicit FakeHost(RequestClientOwner* owner) : owner_(owner) {}

  int ConnectServer(HWND dialog, bool skipVersion, bool updateMarkets, bool cached) override {
    EXPECT_TRUE(IsUiThread());
    Call call{skipVersion, updateMarkets, cached,
              static_cast<int>(GetPrivateProfileIntA("Server", "Port", -1, ".\\SERVER.INI")),
              static_cast<int>(GetPrivateProfileIntA("Server", "Network", -1, ".\\SERVER.INI")), 0};
    owner_->Drop();
    auto client = std::make_unique<TNormalClnt>();
    int result = client->Connect(dialog, cached);
    if (result == 0) {
      SendMessageA(dialog, MsgLoginUpdateMarkets, 0, 0);
      if (updateMarkets && client->DownloadMarketConfig() != 0) result = 3;
    }
    if (result != 0) {
      SendMessageA(dialog, MsgLoginError, 0, result);
      if (result != 1 && result != 2 && client->errorText[0] != 0) {
        MessageBoxA(dialog, client->errorText, "错误", MB_OK | MB_ICONERROR | MB_TOPMOST);
      }
    } else {
      owner_->Install(std::move(client));
    }
    call.result = result;
    calls.push_back(call);
    return result;
  }

  void StartRealData(TClientRight* dialog) override {
    workerOnUi = IsUiThread();
    ++startCalls;
    if (dialog->Reconnecting()) return;
    io = std::make_unique<TDataIO>(dialog->DialogWindow(), notifier);
    loadStatus = io->status;
  }

  void FinishRealData(TClientRight* dialog) override {
    finishOnUi = IsUiThread();
    ++finishCalls;
    stoppedAtFinish = dialog->StopRequested();
    auto* client = dynamic_cast<TNormalClnt*>(owner_->client());
    if (loadStatus == 0 && client != nullptr) client->StartAsync();
  }

  std::vector<Call> calls;
  std::unique_ptr<TDataIO> io;
  ILoadNotifier* notifier = nullptr;   // null: the platform's (sends to the dialog)
  int loadStatus = 1;                  // 1 never loaded
  std::atomic<int> startCalls{0};
  std::atomic<bool> workerOnUi{true};
  int finishCalls = 0;
  bool finishOnUi = false;
  bool stoppedAtFinish = false;

 private:
  RequestClientOwner* owner_;
};

class ClientRightTest : public nettest::RequestServerTest {
 protected:
  void SetUp() override {
    RequestServerTest::SetUp();
    if (withAccountServer_) {
      // The server with its account-verification port on a free port.
      zuvo::quoteserver::ServerConfig config = SampleConfig();
      config.timedPush = false;
      config.loginPort = 0;
      StartServer(config, DrivenTicker());
      SetClock(nettest::kFridayMorning);
    } else {
      Start();
    }
    owner_ = std::make_unique<RequestClientOwner>();
    host_ = std::make_unique<FakeHost>(owner_.get());
    runner_->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  }
  void TearDown() override {
    host_.reset();
    RequestServerTest::TearDown();
  }

  // The program copy: two-stage login with the data server on the request port, and a list.
  void ProgramCopy(const std::vector<std::pair<std::string, int>>& servers, int lastIndex) {
    std::string text = testsupport::CrlfLines({"[Server]", "NOJH=0", "Port1=" + std::to_string(requestPort()),
                                               "[RIGHT]", "lastindex=" + std::to_string(lastIndex)});
    for (std::size_t i = 0; i < servers.size(); ++i) {
      const std::string n = std::to_string(i);
      text += testsupport::CrlfLines({"svraddr" + n + "=127.0.0.1", "company" + n + "=" + servers[i].first,
                                      "svrport" + n + "=" + std::to_string(servers[i].second)});
    }
    testsupport::WriteBytes(install_.bin() / "SERVER.INI", text);
    testsupport::WriteBytes(install_.user() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "Version=1", "UserName=test", "Password=pw",
                                                    "SavePass=1", "[ProxyServer]", "Version=1", "UseProxy=0"}));
    zuvo::platform::profile::ClearCache();
  }

  std::string User(const char* section, const char* key) {
    char value[128] = {};
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, UserFilePath("SERVER.INI").c_str());
    return value;
  }

  // Runs the dialog modally; `script` acts on it inside the run.
  int Run(const std::function<void(TClientRight&)>& script, bool reconnecting = false) {
    runner_->Add("TClientRight", [&](TForm& form) { script(static_cast<TClientRight&>(form)); });
    TClientRight* dialog = NewForm<TClientRight>(nullptr, reconnecting, host_.get());
    const int result = dialog->ShowModal();
    EXPECT_EQ(dialog->WorkerHandle(), nullptr) << "the dialog closed with its worker running";
    delete dialog;
    return result;
  }

  // Pumps until the dialog has a result (or `more` holds).
  bool PumpToResult(TClientRight& d, const std::function<bool()>& more = nullptr) {
    return Pump([&] { return d.ModalResult() != mrNone || (more && more()); }, 60);
  }

  std::vector<zuvo::platform::MessageBoxRequest> Boxes() { return boxes_->Shown(); }

  bool withAccountServer_ = false;
  zuvo::platform::ScopedScriptedModalRunner runner_;
  zuvo::platform::ScopedScriptedMessageBoxes boxes_;
  zuvo::net::ScopedCredentialSource credentials_{nullptr};
  std::unique_ptr<FakeHost> host_;
};

TEST_F(ClientRightTest, FirstLoginBuildsTheTablesOnTheWorkerAndEndsWithResultOne) {
  ProgramCopy({{"本地", mainPort()}}, 0);
  const int result = Run([&](TClientRight& d) {
    EXPECT_EQ(d.ListBox1->ItemIndex(), 0);
    EXPECT_EQ(d.Edit1->Text(), "test");
    EXPECT_EQ(d.Edit2->Text(), "pw");
    d.Button1->Click();
    EXPECT_TRUE(PumpToResult(d));
  });
  EXPECT_EQ(result, TClientRight::kResultLoggedIn);
  for (const auto& box : Boxes()) ADD_FAILURE() << "box: " << box.text;
  EXPECT_EQ(host_->loadStatus, 0);
  ASSERT_EQ(host_->calls.size(), 1u);
  EXPECT_FALSE(host_->calls[0].skipVersion);
  EXPECT_TRUE(host_->calls[0].updateMarkets);   // DownEach defaults to 1
  EXPECT_FALSE(host_->calls[0].cached);
  EXPECT_EQ(host_->calls[0].port, mainPort());
  EXPECT_EQ(host_->startCalls.load(), 1);
  EXPECT_FALSE(host_->workerOnUi.load()) << "the tables are built on the worker";
  EXPECT_EQ(host_->loadStatus, 0);
  EXPECT_GE(MarketCount, 4);
  EXPECT_EQ(host_->finishCalls, 1);
  EXPECT_TRUE(host_->finishOnUi) << "clients are finished on the user-interface thread";
  auto* client = dynamic_cast<TNormalClnt*>(owner_->client());
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->async, 1);
}

TEST_F(ClientRightTest, AnUnsavedPasswordStaysInMemoryAndTheLoginStillUsesIt) {
  ProgramCopy({{"本地", mainPort()}}, 0);
  const int result = Run([&](TClientRight& d) {
    d.CheckBox1->SetChecked(false);
    d.Button1->Click();
    EXPECT_TRUE(PumpToResult(d));
  });
  EXPECT_EQ(result, TClientRight::kResultLoggedIn);
  EXPECT_EQ(User("Server", "UserName"), "test");
  EXPECT_EQ(User("Server", "Password"), "") << "never in plain text on disk";
  EXPECT_EQ(User("Server", "SavePass"), "0");
  const zuvo::net::RequestCredentials held = zuvo::net::ReadRequestCredentials();
  EXPECT_STREQ(held.userName, "test");
  EXPECT_STREQ(held.password, "pw");
}

TEST_F(ClientRightTest, ARefusedLoginShowsTheServersTextAndClosesWithResultTwo) {
  ProgramCopy({{"本地", mainPort()}}, 0);
  On("login-refuse=denied");
  const int result = Run([&](TClientRight& d) {
    d.Button1->Click();
    EXPECT_TRUE(PumpToResult(d));
  });
  EXPECT_EQ(result, TClientRight::kResultExit);
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "denied");
  EXPECT_EQ(shown[0].caption, "错误");
  EXPECT_EQ(host_->startCalls.load(), 0);
  EXPECT_EQ(host_->finishCalls, 0);
  EXPECT_EQ(owner_->client(), nullptr);
}

TEST_F(ClientRightTest, EveryServerFailsOnceThenTheCachedReplyIsTried) {
  const int dead1 = nettest::LoopbackPeer().port();
  const int dead2 = nettest::LoopbackPeer().port();
  const int dead3 = nettest::LoopbackPeer().port();
  ProgramCopy({{"甲", dead1}, {"乙", dead2}, {"丙", dead3}}, 1);
  // No stored login reply yet: after one round the dialog gives up and stays open.
  std::filesystem::remove(install_.cfg() / "dsinfo.dat");
  Run([&](TClientRight& d) {
    d.Button1->Click();
    EXPECT_TRUE(Pump([&] { return !boxes_->Shown().empty(); }, 60));
    EXPECT_TRUE(d.Button1->Enabled());
    EXPECT_EQ(d.ModalResult(), mrNone);
    d.Button2->Click();
  });
  {
    const auto shown = Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "无法连接服务器，请检查网络。  ");
    EXPECT_EQ(shown[0].caption, "错误");
    EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONERROR));
    // Second selected: 2, 3, 1, then the last attempt (with the stored reply, which skips the
    // main server).
    std::vector<int> ports;
    for (const FakeHost::Call& c : host_->calls) ports.push_back(c.port);
    ASSERT_EQ(host_->calls.size(), 4u);
    ports.pop_back();
    EXPECT_EQ(ports, (std::vector<int>{dead2, dead3, dead1}));
    EXPECT_FALSE(host_->calls[2].cached);
    EXPECT_TRUE(host_->calls[3].cached);
  }

  // A login reply stored by an earlier two-stage login lets the last attempt through.
  {
    testsupport::WriteBytes(install_.bin() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "NOJH=0", "Address=127.0.0.1",
                                                    "Port=" + std::to_string(mainPort()),
                                                    "Port1=" + std::to_string(requestPort())}));
    zuvo::platform::profile::ClearCache();
    TNormalClnt earlier;
    ASSERT_EQ(earlier.Connect(nullptr, false), 0) << earlier.errorText;
    ASSERT_TRUE(std::filesystem::exists(install_.cfg() / "dsinfo.dat"));
  }
  ProgramCopy({{"甲", dead1}, {"乙", dead2}, {"丙", dead3}}, 1);
  host_->calls.clear();
  const int result = Run([&](TClientRight& d) {
    d.Button1->Click();
    EXPECT_TRUE(PumpToResult(d));
  });
  EXPECT_EQ(result, TClientRight::kResultLoggedIn);
  ASSERT_EQ(host_->calls.size(), 4u);
  EXPECT_TRUE(host_->calls[3].cached);
  EXPECT_EQ(host_->calls[3].result, 0);
  EXPECT_GE(MarketCount, 4);
  EXPECT_EQ(Boxes().size(), 1u) << "no new box";
}

TEST_F(ClientRightTest, LeavingWhileARetryIsQueuedTriesNoFurtherServer) {
  const int dead1 = nettest::LoopbackPeer().port();
  const int dead2 = nettest::LoopbackPeer().port();
  ProgramCopy({{"甲", dead1}, {"乙", dead2}}, 0);
  const int result = Run([&](TClientRight& d) {
    d.Button1->Click();   // fails at once and posts the next attempt
    d.Button2->Click();
  });
  EXPECT_EQ(result, TClientRight::kResultExit);
  EXPECT_EQ(host_->calls.size(), 1u);
  EXPECT_TRUE(Boxes().empty());
}

// Cancelling while the market tables are built stops the load at the next market and waits for
// the worker: the dialog never ends with it running.
TEST_F(ClientRightTest, CancelDuringTheLoadStopsAtTheNextMarketAndJoinsTheWorker) {
  class HoldingNotifier : public ILoadNotifier {
   public:
    explicit HoldingNotifier(TClientRight** dialog) : dialog_(dialog) {}
    void Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
      PlatformLoadNotifier()->Send(window, message, wParam, lParam);
      if (message != MsgLoginSyncMarket || lParam != 1) return;
      synced = true;
      // Hold the load inside market 1 until the user has cancelled.
      while (!(*dialog_)->StopRequested()) std::this_thread::yield();
    }
    void ShowError(const char* text, const char*) override { ADD_FAILURE() << text; }
    std::atomic<bool> synced{false};

   private:
    TClientRight** dialog_;
  };
  ProgramCopy({{"本地", mainPort()}}, 0);
  TClientRight* running = nullptr;
  HoldingNotifier notifier(&running);
  host_->notifier = &notifier;
  const int result = Run([&](TClientRight& d) {
    running = &d;
    d.Button1->Click();
    ASSERT_TRUE(Pump([&] { return notifier.synced.load(); }, 60));
    d.Button2->Click();
  });
  EXPECT_EQ(result, TClientRight::kResultExit);
  EXPECT_EQ(host_->loadStatus, -1);
  EXPECT_EQ(MarketCount, 2) << "markets 0 and 1 loaded, the load stopped before market 2";
  EXPECT_EQ(host_->finishCalls, 1);
  EXPECT_TRUE(host_->stoppedAtFinish);
  EXPECT_FALSE(MarketLoadStopRequested.load()) << "the next load starts afresh";
}

TEST_F(ClientRightTest, ReconnectingModeDisablesOfflineAndTheWorkersCloseEndsWithResultTwo) {
  ProgramCopy({{"本地", mainPort()}}, 0);
  const int result = Run(
      [&](TClientRight& d) {
        EXPECT_FALSE(d.Button3->Enabled());
        EXPECT_EQ(d.Button2->Caption(), "取      消");
        d.Button1->Click();
        EXPECT_TRUE(PumpToResult(d));
      },
      true);
  EXPECT_EQ(result, TClientRight::kResultExit);
  ASSERT_EQ(host_->calls.size(), 1u);
  EXPECT_TRUE(host_->calls[0].skipVersion);
  EXPECT_EQ(host_->startCalls.load(), 1);
  EXPECT_EQ(host_->finishCalls, 1);
  EXPECT_EQ(host_->io, nullptr) << "no tables are built when reconnecting";
}

TEST_F(ClientRightTest, SelectionProxyAndListEditing) {
  ProgramCopy({{"甲", 1}, {"乙", 2}}, 7);   // lastindex beyond the list: the first
  testsupport::WriteBytes(install_.user() / "SERVER.INI",
                          testsupport::CrlfLines({"[Server]", "Version=1", "UserName=u", "Password=p", "SavePass=0",
                                                  "[ProxyServer]", "Version=1", "UseProxy=2", "Address=10.0.0.1",
                                                  "Port=1081", "CertUser=1", "UserName=" + std::string(40, 'x')}));
  zuvo::platform::profile::ClearCache();
  Run([&](TClientRight& d) {
    EXPECT_EQ(d.ListBox1->ItemIndex(), 0);
    EXPECT_EQ(d.Edit1->Text(), "") << "SavePass 0 leaves the edits empty";
    EXPECT_EQ(d.Edit2->Text(), "");
    // SOCKS 4 stored: the configuration part is open, authentication unchecked and disabled.
    EXPECT_EQ(d.Button4->Caption(), "配置<<");
    EXPECT_TRUE(d.CheckBox3->Checked());
    EXPECT_TRUE(d.RadioButton3->Checked());
    EXPECT_FALSE(d.CheckBox4->Checked());
    EXPECT_FALSE(d.CheckBox4->Enabled());
    EXPECT_FALSE(d.Edit5->Enabled());
    EXPECT_EQ(d.Edit5->MaxLength(), 31);
    EXPECT_EQ(d.Edit6->MaxLength(), 31);
    EXPECT_LE(d.Edit5->Text().size(), 31u);
    // SOCKS 5 enables the box again; checking it enables the credentials.
    d.RadioButton2->SetChecked(true);
    EXPECT_TRUE(d.CheckBox4->Enabled());
    d.CheckBox4->SetChecked(true);
    EXPECT_TRUE(d.Edit5->Enabled());
    // No proxy: everything off.
    d.CheckBox3->SetChecked(false);
    EXPECT_FALSE(d.GroupBox2->Enabled());
    EXPECT_FALSE(d.CheckBox4->Enabled());
    EXPECT_FALSE(d.Edit6->Enabled());
    // Neither server has a relay: no relay box.
    EXPECT_FALSE(d.CheckBox5->Visible());

    // 删除 the first (Yes): the same position stays selected.
    boxes_->Answer(IDYES);
    d.Button7->Click();
    EXPECT_EQ(d.ListBox1->Items()->Count(), 1);
    EXPECT_EQ(d.ListBox1->ItemIndex(), 0);
    EXPECT_STREQ(d.Servers()[0].name, "乙");
    d.Button2->Click();
  });
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "删除选中的服务器？  ");
  EXPECT_EQ(shown[0].caption, "提示");
}

TEST_F(ClientRightTest, AddAndEditGoThroughTheServerEditor) {
  ProgramCopy({{"甲", 1}}, 0);
  runner_->Add("TForm_AddSrv", [](TForm& form) {
    auto& editor = static_cast<TForm_AddSrv&>(form);
    EXPECT_EQ(editor.Caption(), "新增服务器");
    editor.Button1->Click();   // empty name: refused, stays open
    EXPECT_EQ(editor.ModalResult(), mrNone);
    editor.Edit1->SetText("新");
    editor.Button1->Click();   // empty address: refused
    EXPECT_EQ(editor.ModalResult(), mrNone);
    editor.Edit2->SetText("10.9.9.9");
    editor.RadioButton2->SetChecked(true);
    editor.Button1->Click();
  });
  runner_->Add("TForm_AddSrv", [](TForm& form) {
    auto& editor = static_cast<TForm_AddSrv&>(form);
    EXPECT_EQ(editor.Caption(), "修改服务器");
    EXPECT_EQ(editor.Edit1->Text(), "新");
    EXPECT_TRUE(editor.RadioButton2->Checked());
    editor.Edit3->SetText("4000");
    editor.Button1->Click();
  });
  Run([&](TClientRight& d) {
    d.Button5->Click();
    ASSERT_EQ(d.Servers().Count(), 2);
    EXPECT_STREQ(d.Servers()[0].name, "新");
    EXPECT_EQ(d.Servers()[0].network, 2);
    EXPECT_EQ(d.Servers()[0].port, 13130);
    EXPECT_EQ(d.ListBox1->ItemIndex(), 0);
    d.Button6->Click();
    EXPECT_EQ(d.Servers()[0].port, 4000);
    d.Button2->Click();
  });
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "服务器名称不能为空。  ");
  EXPECT_EQ(shown[1].text, "服务器地址不能为空。  ");
  EXPECT_EQ(shown[1].caption, "错误");
}

TEST_F(ClientRightTest, NoServerSelectedRefusesAndAFullListIgnoresAdd) {
  std::vector<std::pair<std::string, int>> many;
  for (int i = 0; i < 32; ++i) many.emplace_back("s" + std::to_string(i), 1);
  ProgramCopy(many, 0);
  Run([&](TClientRight& d) {
    EXPECT_EQ(d.Servers().Count(), 32);
    d.Button5->Click();   // no editor runs: the runner would report a missing script
    d.ListBox1->SetItemIndex(-1);
    d.Button1->Click();
    EXPECT_TRUE(host_->calls.empty());
    EXPECT_TRUE(d.Button1->Enabled());
    d.Button2->Click();
  });
  const auto shown = Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "请先添加并选择服务器。  ");
  EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONINFORMATION));
}

TEST_F(ClientRightTest, ProgressFollowsTheLoginMessages) {
  ProgramCopy({{"本地", 1}}, 0);
  Run([&](TClientRight& d) {
    const HWND w = d.Handle();
    SendMessageA(w, MsgLoginSearchServer, 0, 0);
    EXPECT_EQ(d.Label7->Caption(), "提示: 搜索服务器");
    EXPECT_TRUE(d.Panel1->Visible());
    EXPECT_TRUE(d.Timer1->Enabled());
    const int width = d.Image2->Width();
    EXPECT_EQ(d.ProgressPosition(), width);
    EXPECT_EQ(d.ProgressTarget(), width * 3 / 4);
    EXPECT_EQ(d.Image2->Left(), -width);
    // Each 100 ms tick moves the picture one pixel while its right edge is short of the target.
    d.Timer1Timer(nullptr);
    EXPECT_EQ(d.Image2->Left(), -width + 1);
    SendMessageA(w, MsgLoginCheckVersion, 1, 0);
    EXPECT_EQ(d.Image2->Left(), 0);
    EXPECT_EQ(d.ProgressPosition(), 0);
    SendMessageA(w, MsgLoginUpdateMarkets, 0, 0);
    EXPECT_EQ(d.Label7->Caption(), "提示: 更新市场设置");
    SendMessageA(w, MsgLoginError, 0, 0);
    EXPECT_EQ(d.Label7->Caption(), "提示: 出错");
    EXPECT_FALSE(d.Panel1->Visible());
    EXPECT_FALSE(d.Timer1->Enabled());
    EXPECT_TRUE(d.Button1->Enabled());
    // A market index out of range names no market and reads nothing outside the tables.
    SendMessageA(w, MsgLoginSyncMarket, 3, 999);
    EXPECT_EQ(d.Label7->Caption(), "提示: 同步  信息");
    d.Button2->Click();
  });
}

// The account library beside the program and the server's verification port: the dialog checks
// the account before it connects.
class ClientRightAccountTest : public ClientRightTest {
 protected:
  ClientRightAccountTest() { withAccountServer_ = true; }
  void SetUp() override {
    ClientRightTest::SetUp();
    const std::filesystem::path library =
        quoteservertest::ToolProgram("fake-account/fake_account", "libQXAccountDll.so");
    if (!std::filesystem::exists(library)) GTEST_SKIP() << "the fake account library is not built: " << library;
    std::filesystem::copy_file(library, install_.bin() / "libQXAccountDll.so");
    ASSERT_NE(server_->ports().login, 0);
  }
  // One server whose verification server is the quote server's account port.
  void ProgramCopyWithVerification() {
    ProgramCopy({{"本地", mainPort()}}, 0);
    std::string text = testsupport::ReadBytes(install_.bin() / "SERVER.INI");
    text += testsupport::CrlfLines({"login0=127.0.0.1", "loginport0=" + std::to_string(server_->ports().login)});
    testsupport::WriteBytes(install_.bin() / "SERVER.INI", text);
    zuvo::platform::profile::ClearCache();
  }
};

TEST_F(ClientRightAccountTest, TheAccountVerdictDecidesWhetherTheDialogConnects) {
  struct Row {
    const char* name;
    const char* fault;   // null: accepted without a notice
    bool connects;
    std::string text;
    std::string caption;
  } rows[] = {
      {"accepted", nullptr, true, "", ""},
      {"notice", "account-notice", true, zuvo::quoteserver::kAccountNoticeText, "提示"},
      {"refused", "account-refuse", false, zuvo::quoteserver::kAccountRefusedText, "登录失败"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProgramCopyWithVerification();
    if (row.fault != nullptr) On(row.fault);
    host_->calls.clear();
    const std::size_t before = Boxes().size();
    Run([&](TClientRight& d) {
      EXPECT_NE(d.VerifyAccount(), nullptr);
      EXPECT_EQ(d.CheckBox1->Caption(), "保存用户名");
      EXPECT_EQ(d.Edit2->Text(), "") << "the library holds the password";
      d.Edit2->SetText("pw");
      d.Button1->Click();
      if (row.connects) {
        EXPECT_TRUE(PumpToResult(d));
      } else {
        EXPECT_EQ(d.ModalResult(), mrNone);
        EXPECT_TRUE(d.Button1->Enabled());
        d.Button2->Click();
      }
    });
    EXPECT_EQ(host_->calls.size(), row.connects ? 1u : 0u);
    EXPECT_EQ(User("Server", "Password"), "") << "written empty while the library is present";
    const auto shown = Boxes();
    ASSERT_EQ(shown.size(), before + (row.text.empty() ? 0 : 1));
    if (!row.text.empty()) {
      EXPECT_EQ(shown.back().text, row.text);
      EXPECT_EQ(shown.back().caption, row.caption);
    }
    if (row.fault != nullptr) Off(row.fault);
  }
}

}  // namespace
