// The main window's life offscreen on a temporary install with hand-made market files: the
// start-up steps in order with the offline login, what each step builds from the settings, the
// first show, the close query's every answer and the shut-down steps with what they write.
#include "shell/MainFrame.h"
#include "LoginScript.h"

#include "PageFileWriter.h"
#include "ShellSettingsFixture.h"

#include "data/DataIO.h"
#include "data/FakeRequestClient.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "data/MarketTestUtil.h"
#include "data/NewsIndex.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "platform/Edit.h"
#include "platform/Button.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Kernel.h"
#include "platform/Menu.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "shell/Cell.h"
#include "shell/ModalDialog.h"
#include "shell/PageList.h"
#include "net/RealDataClnt.h"
#include "shell/SmallWindows.h"
#include "shell/stubs/FrameStandIns.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace zuvo::platform;
namespace fs = std::filesystem;

namespace mainframetest {
int OpenSilentListener(int* port);
void CloseListener(int listener);
}  // namespace mainframetest

namespace {

struct MarketFile {
  const char* code;
  const char* name;
  std::vector<std::string> codes;
};

// The markets of the tests: written as mkinfo.cfg, name tables and quote files, which the
// offline login loads.
void WriteMarkets(const testsupport::TempInstall& install, const std::vector<MarketFile>& markets) {
  std::string config;
  for (const MarketFile& m : markets) {
    MarketRecord record = markettest::MakeRecord(m.code, 1, 16, 2, "tst");
    std::snprintf(record.name, sizeof record.name, "%s", m.name);
    std::snprintf(record.categories[0].name, sizeof record.categories[0].name, "%s甲", m.code);
    std::snprintf(record.categories[1].name, sizeof record.categories[1].name, "%s乙", m.code);
    config += markettest::Bytes(record);
    std::vector<InstrumentRecord> names;
    std::vector<QuoteRecord> quotes;
    for (const std::string& c : m.codes) {
      names.push_back(markettest::MakeInstrument(c.c_str()));
      QuoteRecord quote{};
      quote.prevClose = 300000;
      quote.last = 310000;
      quote.amount = 1.5e10f;
      quotes.push_back(quote);
    }
    testsupport::WriteBytes(install.data() / m.code / "nametbl.tst", markettest::Bytes(names));
    testsupport::WriteBytes(install.data() / m.code / "real.tst", markettest::Bytes(quotes));
  }
  testsupport::WriteBytes(install.cfg() / "mkinfo.cfg", config);
  profile::ClearCache();
}

// What the launcher was asked to start (nothing really starts).
struct LaunchLog {
  std::vector<ProcessLaunch> launches;
};

class MainFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteMarkets(settings.install(), {{"SH", "上海市场", {"000001", "600000"}},
                                      {"SZ", "深圳", {"399001"}},
                                      {"QH", "期货市场", {"m2409"}}});
    runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
    shelltest::AnswerLoginOffline(*runner, 32);   // some tests make several windows
    ClearPageList();
    ClearFrameStandInLog();
    savedZones = TimeZones;
    savedTheme = LastTheme;
  }
  void TearDown() override {
    if (frame != nullptr) TComponent::Free(frame);
    frame = nullptr;
    ProcessPendingMessages();
    SetFrameStepTraceForTest(nullptr);
    delete Alarm;
    Alarm = nullptr;
    ClearPageList();
    NewsIndex.Discard();
    TimeZones = savedZones;
    LastTheme = savedTheme;
    EXPECT_EQ(MFrame, nullptr);
    EXPECT_EQ(TranspWnd, nullptr);
  }

  // FormCreate runs as the form is made; the offline warning is answered with OK.
  TMFrame* Make() {
    frame = NewForm<TMFrame>(nullptr);
    return frame;
  }
  // Made and shown (the page window opens).
  TMFrame* MakeShown() {
    Make();
    frame->Show();
    ProcessPendingMessages();
    return frame;
  }
  // Runs the close query and, when it allows, the close; returns whether it closed.
  bool CloseFrame() {
    bool canClose = true;
    frame->FormCloseQuery(frame, canClose);
    if (!canClose) return false;
    TCloseAction action = caHide;
    frame->FormClose(frame, action);
    return true;
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : boxes->Shown()) texts.push_back(box.text);
    return texts;
  }
  std::string UserSetting(const char* key) const {
    char value[256] = {};
    GetPrivateProfileStringA("Parameter", key, "<none>", value, sizeof value, "..\\user\\SETTING.ini");
    return value;
  }
  std::string LastPageBytes() const {
    const fs::path file = settings.install().user() / "LASTPAGE.DAT";
    return fs::exists(file) ? testsupport::ReadBytes(file) : std::string("<missing>");
  }
  static std::vector<std::string> Captions(const TMenuItem* menu) {
    std::vector<std::string> captions;
    for (int i = 0; i < menu->Count(); ++i) captions.push_back(menu->Items(i)->Caption());
    return captions;
  }
  static std::vector<int> Tags(const TMenuItem* menu) {
    std::vector<int> tags;
    for (int i = 0; i < menu->Count(); ++i) tags.push_back(menu->Items(i)->Tag());
    return tags;
  }
  void WriteProgramSetting(const char* section, const char* key, const char* value, const char* file = "..\\CFG\\SETTING.INI") {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, file));
  }
  std::string NamedPage(const char* file, const char* name) {
    VIEW_ATTR_12 attr;
    attr.kind = VIEW_REPORT;
    const std::string bytes = pagetest::PageFileBytes(
        12, *pagetest::Leaf(pagetest::AttrRecord(12, attr), pagetest::DataRecord(12, MVCDATA_12())), name);
    testsupport::WriteBytes(settings.install().user() / file, bytes);
    return std::string("..\\user\\") + file;
  }

  shelltest::ShellSettings settings;
  ScopedScriptedMessageBoxes boxes;
  ScopedScriptedModalRunner runner;
  ScopedRecordingShell shell;
  LaunchLog launchLog;
  ScopedProcessLauncher launcher{[this](const ProcessLaunch& launch) {
    launchLog.launches.push_back(launch);
    return LaunchResult{false, ERROR_FILE_NOT_FOUND, 0};
  }};
  TMFrame* frame = nullptr;
  TimeZoneTable savedZones;
  int savedTheme = 0;
};

// ---- Start-up --------------------------------------------------------------------------------------

TEST_F(MainFrameTest, FormCreateRunsTheTwentyEightStepsInOrderOffline) {
  std::vector<int> steps;
  bool modalDuringLogin = false;
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) == "create") steps.push_back(step);
    if (step == 10) modalDuringLogin = ModalDialogOpen();
  });
  CreateIndexManager();
  Make();
  std::vector<int> expected;
  for (int i = 1; i <= 28; ++i) expected.push_back(i);
  EXPECT_EQ(steps, expected);
  EXPECT_FALSE(modalDuringLogin) << "the login releases the modal flag";

  // The offline login: the warning, the markets from the local files, no client anywhere.
  ASSERT_EQ(boxes->Count(), 1u);
  const MessageBoxRequest warning = boxes->Shown()[0];
  EXPECT_EQ(warning.text, "脱机浏览时不会显示即时数据。  ");
  EXPECT_EQ(warning.caption, "警告");
  EXPECT_EQ(warning.icon, static_cast<UINT>(MB_ICONWARNING));
  ASSERT_NE(frame->DataIO, nullptr);
  EXPECT_EQ(MarketCount, 3);
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_FALSE(frame->CloseForced);
  EXPECT_NE(frame->BlockGroup, nullptr);

  // Offline, steps 15 and 25 do nothing.
  EXPECT_EQ(frame->ReconnectCountdown, -1);
  EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 0);

  // What the steps left behind.
  EXPECT_EQ(IndexManager()->loadCount, 1);
  EXPECT_TRUE(frame->MenuItem94->Checked());
  EXPECT_FALSE(frame->LineBtn->Visible());
  EXPECT_FALSE(frame->MenuItem117->Visible());
  EXPECT_FALSE(frame->BlockMenu1->Visible());
  for (TToolButton* cycle : frame->Cycle) EXPECT_FALSE(cycle->Visible());
  EXPECT_TRUE(frame->Timer1->Enabled());
  EXPECT_NE(Alarm, nullptr);
  EXPECT_NE(SmartDealTriggeredDlg, nullptr);
  EXPECT_EQ(FrameStandInLog(), (std::vector<std::string>{"CreateIndexManager", "LoadIndicatorFiles", "TAlarm",
                                                          "TSmartDealTriggeredDlg"}));
  // The page menus: the default page checked, the page box names it.
  EXPECT_EQ(frame->PageBoxText, "▲ 默认页面");
  ASSERT_GE(frame->N8->Count(), 1);
  EXPECT_TRUE(frame->N8->Items(0)->Checked());
  EXPECT_EQ(frame->PopupMenu2->Items()->Count(), frame->N8->Count());

  // The index slots: "000001" in market 0 and "399001" in market 1 only.
  EXPECT_EQ(frame->IndexSlots[0].index, 0);
  EXPECT_EQ(frame->IndexSlots[0].previousClose, 300000);
  EXPECT_EQ(frame->IndexSlots[0].last, 310000);
  EXPECT_FLOAT_EQ(static_cast<float>(frame->IndexSlots[0].amount), 1.5e10f);
  EXPECT_EQ(frame->IndexSlots[1].index, 0);

  // The messenger: ".\ZuvoMsgr.dll" with the window handle in decimal; its absence is silent.
  ASSERT_EQ(launchLog.launches.size(), 1u);
  EXPECT_EQ(launchLog.launches[0].program, ".\\ZuvoMsgr.dll");
  EXPECT_EQ(launchLog.launches[0].argument,
            std::to_string(static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(frame->Handle()))));
  EXPECT_EQ(boxes->Count(), 1u);
  EXPECT_TRUE(shell->Requests().empty()) << "no user web page configured";
  DestroyIndexManager();
}

TEST_F(MainFrameTest, WithARequestClientStepTwentyFiveAsksForTheNewestNews) {
  RequestClientOwner owner;
  FakeRequestClient* client = nullptr;
  // Installed after the login, which loads the markets from the local files only.
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) == "create" && step == 10) client = owner.Install(std::make_unique<FakeRequestClient>());
  });
  Make();
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->CountCalls("RequestNews"), 1);
  EXPECT_EQ(client->calls.back().args, (std::vector<std::int64_t>{0, 0}));
  EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 1);
  EXPECT_EQ(GetConnectionState() & 1, 1);
  TComponent::Free(frame);
  frame = nullptr;
}

TEST_F(MainFrameTest, FailedMarketDataClosesTheProgramWithoutQuestions) {
  fs::remove(settings.install().cfg() / "mkinfo.cfg");
  std::vector<int> steps;
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) == "create") steps.push_back(step);
  });
  Make();
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"脱机浏览时不会显示即时数据。  ", "初始化数据失败。  "}));
  const MessageBoxRequest failure = boxes->Shown()[1];
  EXPECT_EQ(failure.caption, "提示");
  EXPECT_EQ(failure.icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(frame->CloseForced);
  EXPECT_EQ(frame->BlockGroup, nullptr);

  // The first show makes no page; the posted WM_CLOSE closes without asking.
  frame->Show();
  EXPECT_EQ(frame->PageWindow(), nullptr);
  steps.clear();
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) == "close") steps.push_back(step);
  });
  ProcessPendingMessages();
  EXPECT_EQ(steps.size(), 18u) << "WM_CLOSE ran the close";
  EXPECT_EQ(boxes->Count(), 2u) << "no close question";
  EXPECT_FALSE(frame->Visible());
}

TEST_F(MainFrameTest, TitleLettersAreWholeCharacters) {
  struct Case {
    const char* title;
    std::vector<std::string> letters;
  };
  const Case cases[] = {
      {nullptr, {"", "", "", "", ""}},
      {"柯苏之星AB", {"柯", "苏", "之", "星", "A"}},
      {"AB柯", {"A", "B", "柯", "", ""}},
      {"ABCDEFG", {"A", "B", "C", "D", "E"}},
  };
  for (const Case& c : cases) {
    WriteProgramSetting("AppTitle", "Title1", c.title, "..\\cfg\\Setting.ini");
    Make();
    EXPECT_EQ(std::vector<std::string>(frame->TitleLetters, frame->TitleLetters + 5), c.letters)
        << (c.title ? c.title : "(none)");
    EXPECT_FALSE(frame->QuoteCycling);
    TComponent::Free(frame);
    frame = nullptr;
  }
}

TEST_F(MainFrameTest, WindowPositionIsRestoredInsideTheWorkArea) {
  const TRect area = Screen->WorkAreaRect();
  struct Case {
    std::string value;
    bool maximised;
    int left, top, width, height;
  };
  const std::vector<Case> cases = {
      {"", true, 0, 0, 0, 0},
      {"1,10,10,300,200", true, 0, 0, 0, 0},
      {"2,10,10,300,200", true, 0, 0, 0, 0},
      // (The main window is never smaller than 640 x 480 before a window-menu restore.)
      {"0,100,50,660,500", false, area.left + 100, area.top + 50, 660, 500},
      // From a screen that is gone: moved back into reach.
      {"0,-5000,9000,660,500", false, area.left, area.bottom - 500, 660, 500},
      {"0,20,20,99999,99999", false, area.left, area.top, area.Width(), area.Height()},
  };
  for (const Case& c : cases) {
    settings.SetUserParameter("WndPos", c.value.empty() ? nullptr : c.value.c_str());
    Make();
    SCOPED_TRACE(c.value);
    if (c.maximised) {
      EXPECT_EQ(frame->WindowState(), wsMaximized);
    } else {
      EXPECT_EQ(frame->WindowState(), wsNormal);
      EXPECT_EQ(frame->BorderStyle(), bsSizeable);
      EXPECT_EQ(frame->Left(), c.left);
      EXPECT_EQ(frame->Top(), c.top);
      EXPECT_EQ(frame->Width(), c.width);
      EXPECT_EQ(frame->Height(), c.height);
    }
    TComponent::Free(frame);
    frame = nullptr;
  }
}

TEST_F(MainFrameTest, DisplaySettingsSetTheChecksAndTheQuoteStrip) {
  Make();   // the defaults
  EXPECT_TRUE(frame->T1->Checked());
  EXPECT_TRUE(frame->MenuItem94->Checked());
  EXPECT_FALSE(frame->N51->Checked());
  EXPECT_TRUE(frame->MenuItem100->Checked());
  EXPECT_TRUE(frame->MenuItem103->Checked());
  EXPECT_TRUE(frame->N17->Checked());
  EXPECT_FALSE(frame->Q1->Checked());
  EXPECT_EQ(frame->QuoteCol, 2);
  EXPECT_EQ(frame->QuoteBlockId, -1);
  TComponent::Free(frame);
  frame = nullptr;

  settings.SetUserParameter("TickFirst", "0");
  settings.SetUserParameter("TrendFirst", "0");
  settings.SetUserParameter("ReportGridding", "1");
  settings.SetUserParameter("ToolBar", "0");
  settings.SetUserParameter("StatusBar", "0");
  settings.SetUserParameter("AutoSavePage", "0");
  settings.SetUserParameter("QuoteBoard", "1");
  settings.SetUserParameter("QuoteBlock", "SH甲");
  for (const char* col : {"0", "-4", "5"}) {
    settings.SetUserParameter("QuoteCol", col);
    Make();
    SCOPED_TRACE(col);
    EXPECT_FALSE(frame->T1->Checked());
    EXPECT_FALSE(frame->MenuItem94->Checked());
    EXPECT_TRUE(frame->N51->Checked());
    EXPECT_FALSE(frame->ToolBar1->Visible());
    EXPECT_FALSE(frame->StatusBar->Visible());
    EXPECT_FALSE(frame->N17->Checked());
    EXPECT_TRUE(frame->Q1->Checked());
    EXPECT_TRUE(frame->QuoteBoardBtn->Down());
    EXPECT_TRUE(frame->Panel1->Visible());
    EXPECT_EQ(frame->QuoteCol, std::string(col) == "5" ? 5 : 1);
    const BlockRecord* block = FindBlockByName("SH甲");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(frame->QuoteBlockId, block->id);
    TComponent::Free(frame);
    frame = nullptr;
  }
}

TEST_F(MainFrameTest, BlockMenuHasTheMarketsAndTheVisibleSystemBlocks) {
  Make();
  TMenuItem* menu = frame->BlockMenu1;
  // No preset block: no 系统板块.
  EXPECT_EQ(Captions(menu), (std::vector<std::string>{"上海", "深圳", "期货", "-", "-"}));
  TMenuItem* sh = menu->Items(0);
  EXPECT_EQ(Captions(sh), (std::vector<std::string>{"所有品种", "-", "SH甲", "SH乙"}));
  EXPECT_EQ(Tags(sh), (std::vector<int>{0, 0, 3, 4}));
  EXPECT_EQ(Tags(menu->Items(2)), (std::vector<int>{2, 0, 7, 8}));
  TComponent::Free(frame);
  frame = nullptr;

  testsupport::WriteBytes(settings.install().cfg() / "blocks.ini",
                          "[FileInfo]\r\nVersion=1\r\n\r\n[自选一]\r\nI1=SH 600000\r\n\r\n[自选二]\r\nI1=SZ 399001\r\n");
  profile::ClearCache();
  Make();
  menu = frame->BlockMenu1;
  ASSERT_EQ(menu->Count(), 6);
  TMenuItem* system = menu->Items(5);
  EXPECT_EQ(system->Caption(), "系统板块");
  EXPECT_EQ(Captions(system), (std::vector<std::string>{"自选一", "自选二"}));
  EXPECT_EQ(system->Items(0)->Tag(), FindBlockByName("自选一")->id);
}

TEST_F(MainFrameTest, ColourSchemeTimeZoneAndWebMenus) {
  ASSERT_TRUE(WritePrivateProfileStringA("Color0", "Name", "经典", "..\\user\\SETTING.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Color1", "Name", "白底", "..\\user\\SETTING.ini"));
  ASSERT_TRUE(WritePrivateProfileStringA("Color3", "Name", "其他", "..\\user\\SETTING.ini"));
  LastTheme = 1;
  // The table stays as set: the install has no systime.dat.
  TimeZones.zoneCount = 2;
  TimeZones.currentZone = 1;
  std::snprintf(TimeZones.zones[0].name, sizeof TimeZones.zones[0].name, "%s", "北京");
  std::snprintf(TimeZones.zones[1].name, sizeof TimeZones.zones[1].name, "%s", "纽约");
  WriteProgramSetting("WEB", "MenuName", "资讯");
  WriteProgramSetting("WEB", "Web1", "新浪:http://a.example");
  WriteProgramSetting("WEB", "Web2", "no colon");
  WriteProgramSetting("WEB", "Web3", "财经:http://b.example:80");
  WriteProgramSetting("WEB", "Web5", "跳过:http://c.example");
  Make();

  // Stops at the first scheme without a name.
  EXPECT_EQ(Captions(frame->N68), (std::vector<std::string>{"经典", "白底"}));
  EXPECT_EQ(Tags(frame->N68), (std::vector<int>{0, 1}));
  EXPECT_TRUE(frame->N68->Items(1)->Checked());
  EXPECT_TRUE(frame->N68->Items(0)->RadioItem());

  EXPECT_EQ(Captions(frame->Z1), (std::vector<std::string>{"北京", "纽约"}));
  EXPECT_TRUE(frame->Z1->Items(1)->Checked());
  EXPECT_EQ(frame->Z1->Items(0)->GroupIndex(), 2);

  EXPECT_EQ(frame->Web1->Caption(), "资讯");
  std::vector<std::string> web;
  std::vector<int> tags;
  for (int i = 0; i < frame->Web1->Count(); ++i) {
    if (frame->Web1->Items(i) == frame->N50) continue;
    web.push_back(frame->Web1->Items(i)->Caption());
    tags.push_back(frame->Web1->Items(i)->Tag());
  }
  EXPECT_EQ(web, (std::vector<std::string>{"新浪", "财经"}));
  EXPECT_EQ(tags, (std::vector<int>{0, 2}));
}

TEST_F(MainFrameTest, TheUserWebPageGoesThroughTheShellOpener) {
  testsupport::WriteBytes(settings.install().cfg() / "usersetting.ini", "[UserInfo]\r\nUserWeb=http://user.example/\r\n");
  profile::ClearCache();
  Make();
  const std::vector<ShellRequest> requests = shell->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].operation, "open");
  EXPECT_EQ(requests[0].file, "iexplore.exe");
  EXPECT_EQ(requests[0].parameters, "http://user.example/");
  EXPECT_EQ(requests[0].showCommand, SW_SHOWMINNOACTIVE);
}

TEST_F(MainFrameTest, AFailedPushConnectionIsReportedAndTheClientDropped) {
  // Nothing listens on port 1: the connection is refused at once.
  testsupport::WriteBytes(settings.install().bin() / "server.ini", "[Server]\r\ndsAddr=127.0.0.1\r\nPort2=1\r\n");
  profile::ClearCache();
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) == "create" && step == 15) RealDataClnt = new TRealDataClnt();
  });
  Make();
  EXPECT_EQ(RealDataClnt, nullptr);
  EXPECT_EQ(frame->ReconnectCountdown, -1);
  ASSERT_EQ(boxes->Count(), 2u);
  const MessageBoxRequest box = boxes->Shown()[1];
  EXPECT_EQ(box.text, "连接服务器失败，无法取得即时数据。  ");
  EXPECT_EQ(box.caption, "网络错误");
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(box.topMost);
}

TEST_F(MainFrameTest, AConnectedPushClientArmsTheCountdownAndClearsTheQuotes) {
  // A listener that never answers: the connection and the opening frame go through.
  int port = 0;
  const int listener = mainframetest::OpenSilentListener(&port);
  ASSERT_GE(listener, 0);
  testsupport::WriteBytes(settings.install().bin() / "server.ini",
                          "[Server]\r\ndsAddr=127.0.0.1\r\nPort2=" + std::to_string(port) + "\r\n");
  profile::ClearCache();
  std::uint32_t lastBefore = 0;
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) != "create") return;
    if (step == 15) {
      lastBefore = MarketTables[0]->quotes[0].last;
      RealDataClnt = new TRealDataClnt();
    }
  });
  Make();
  EXPECT_EQ(lastBefore, 310000u);
  ASSERT_NE(RealDataClnt, nullptr);
  EXPECT_EQ(frame->ReconnectCountdown, 12);
  EXPECT_EQ(GetConnectionState(), 2);
  EXPECT_EQ(boxes->Count(), 1u) << "only the offline warning";
  for (int m = 0; m < MarketCount; ++m) {
    for (int i = 0; i < MarketTables[m]->count; ++i) EXPECT_EQ(MarketTables[m]->quotes[i].last, 0u);
  }
  // The close destroys it.
  boxes->Answer(IDNO);
  frame->Show();
  ProcessPendingMessages();
  EXPECT_TRUE(CloseFrame());
  EXPECT_EQ(RealDataClnt, nullptr);
  mainframetest::CloseListener(listener);
}

// ---- First show, resize -----------------------------------------------------------------------------

TEST_F(MainFrameTest, FormShowMakesThePageWindowOnceInTheClientPanel) {
  MakeShown();
  TMultiViewMain* page = frame->PageWindow();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Parent(), frame->ClientPanel);
  EXPECT_EQ(page->pagePath, "Default");
  EXPECT_GE(page->cells.GetSize(), 1);
  EXPECT_EQ(page->Width(), frame->ClientPanel->ClientWidth());
  EXPECT_EQ(page->Height(), frame->ClientPanel->ClientHeight());
  frame->FormShow(frame);
  EXPECT_EQ(frame->PageWindow(), page);

  frame->SetWindowState(wsNormal);
  frame->SetBounds(0, 0, 700, 500);
  ProcessPendingMessages();
  EXPECT_EQ(page->Width(), frame->ClientPanel->ClientWidth());
  EXPECT_EQ(page->Height(), frame->ClientPanel->ClientHeight());
}

// ---- The close query ---------------------------------------------------------------------------------

TEST_F(MainFrameTest, CloseQueryOnANamedPageAsksToQuit) {
  const std::string path = NamedPage("zvpage0.ppg", "甲");
  for (int answer : {IDYES, IDNO}) {
    MakeShown();
    frame->OpenPage(path, PAGE_OPEN_FILE);
    const std::size_t before = boxes->Count();
    boxes->Answer(answer);
    bool canClose = false;
    frame->FormCloseQuery(frame, canClose);
    EXPECT_EQ(canClose, answer == IDYES);
    ASSERT_EQ(boxes->Count(), before + 1);
    const MessageBoxRequest box = boxes->Shown().back();
    EXPECT_EQ(box.text, "退出金融投资分析系统？  ");
    EXPECT_EQ(box.caption, "确认");
    EXPECT_EQ(box.buttons, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONQUESTION));
    EXPECT_EQ(box.defaultButton, static_cast<UINT>(MB_DEFBUTTON2));
    TComponent::Free(frame);
    frame = nullptr;
  }
}

TEST_F(MainFrameTest, CloseQueryOnTheDefaultPageEveryAnswer) {
  struct Case {
    const char* name;
    int answer;
    bool emptyCell;
    // The save dialog: nullptr none expected, "" cancelled, else the name typed.
    const char* saveAs;
    bool closes;
    std::vector<std::string> boxes;
  };
  const char* kQuestion = "对默认页面所作的修改不会被保存，是否另存当前页面？  ";
  const Case cases[] = {
      {"cancel keeps it open", IDCANCEL, false, nullptr, false, {kQuestion}},
      {"no closes without saving", IDNO, false, nullptr, true, {kQuestion}},
      {"yes with an empty cell", IDYES, true, nullptr, false, {kQuestion, "请先指定空白窗口的内容。  "}},
      {"yes, name dialog cancelled: stays open", IDYES, false, "", false, {kQuestion}},
      {"yes, saved: closes", IDYES, false, "我的页面", true, {kQuestion}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeShown();
    // A blank page (no path yet) is asked about as the default page is.
    if (c.emptyCell) frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    if (c.saveAs != nullptr) {
      const std::string typed = c.saveAs;
      runner->Add("TPageMngr", [typed](TForm& form) {
        if (typed.empty()) {
          form.SetModalResult(mrCancel);
          return;
        }
        static_cast<TEdit*>(form.FindComponent("Edit1"))->SetText(typed);
        static_cast<TButton*>(form.FindComponent("Button1"))->Click();
      });
    }
    const std::size_t before = boxes->Count();
    boxes->Answer(c.answer);
    bool canClose = !c.closes;
    frame->FormCloseQuery(frame, canClose);
    EXPECT_EQ(canClose, c.closes);
    std::vector<std::string> shown = BoxTexts();
    shown.erase(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(shown, c.boxes);
    const MessageBoxRequest question = boxes->Shown()[before];
    EXPECT_EQ(question.buttons, static_cast<UINT>(MB_YESNOCANCEL));
    EXPECT_EQ(question.defaultButton, static_cast<UINT>(MB_DEFBUTTON3));
    EXPECT_EQ(question.icon, static_cast<UINT>(MB_ICONQUESTION));
    if (c.saveAs != nullptr && *c.saveAs != '\0') {
      ASSERT_EQ(PageListCount(), 1);
      EXPECT_STREQ(PageListEntry(0).name, c.saveAs);
      EXPECT_TRUE(fs::exists(settings.install().user() / "zvpage0.ppg") ||
                  fs::exists(settings.install().user() / "ZVPAGE0.PPG"));
    } else {
      EXPECT_EQ(PageListCount(), 0) << "nothing saved";
    }
    TComponent::Free(frame);
    frame = nullptr;
    ClearPageList();
  }
}

// ---- The close -----------------------------------------------------------------------------------

TEST_F(MainFrameTest, FormCloseRunsItsStepsInOrderAndWritesTheSettings) {
  MakeShown();
  frame->SetWindowState(wsNormal);
  frame->SetBounds(30, 40, 640, 480);
  frame->T1->SetChecked(false);
  frame->Q1->SetChecked(true);
  frame->QuoteCol = 3;
  frame->QuoteBlockId = FindBlockByName("SZ乙")->id;
  frame->Theme = 2;
  auto* box = new TForm(frame);
  frame->LineToolBox = box;

  struct Seen {
    int step;
    bool dataIO, blockGroup, alarm, dialog, page, lineBox;
    std::size_t log;
  };
  std::vector<Seen> seen;
  SetFrameStepTraceForTest([&](const char* phase, int step) {
    if (std::string(phase) != "close") return;
    seen.push_back({step, frame->DataIO != nullptr, frame->BlockGroup != nullptr, Alarm != nullptr,
                    SmartDealTriggeredDlg != nullptr, frame->PageWindow() != nullptr, frame->LineToolBox != nullptr,
                    FrameStandInLog().size()});
  });
  ClearFrameStandInLog();
  boxes->Answer(IDNO);   // the default page, not saved
  EXPECT_TRUE(CloseFrame());
  ASSERT_EQ(seen.size(), 18u);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)].step, i + 1);
  // Destruction order as the steps see it.
  EXPECT_TRUE(seen[5].lineBox);
  EXPECT_FALSE(seen[6].lineBox);
  EXPECT_TRUE(seen[8].dialog);
  EXPECT_FALSE(seen[9].dialog);
  EXPECT_TRUE(seen[10].alarm);
  EXPECT_FALSE(seen[11].alarm);
  EXPECT_TRUE(seen[11].page);
  EXPECT_FALSE(seen[12].page);
  EXPECT_TRUE(seen[15].dataIO);
  EXPECT_FALSE(seen[16].dataIO);
  EXPECT_TRUE(seen[16].blockGroup);
  EXPECT_FALSE(seen[17].blockGroup);
  EXPECT_EQ(FrameStandInLog(), (std::vector<std::string>{"SaveTableDefs", "~TSmartDealTriggeredDlg", "~TAlarm"}));
  EXPECT_EQ(MarketCount, 0) << "the market tables went with the data I/O object";
  EXPECT_EQ(TranspWnd, nullptr);

  EXPECT_EQ(UserSetting("TickFirst"), "0");
  EXPECT_EQ(UserSetting("TrendFirst"), "1");
  EXPECT_EQ(UserSetting("Directbysell"), "0");
  EXPECT_EQ(UserSetting("LastTheme"), "2");
  EXPECT_EQ(UserSetting("QuoteBoard"), "1");
  EXPECT_EQ(UserSetting("QuoteCol"), "3");
  EXPECT_EQ(UserSetting("QuoteBlock"), "SZ乙");
  EXPECT_EQ(UserSetting("WndPos"), "0,30,40,640,480");

  // "No" on the default page writes no page file but still remembers the page.
  const std::string last = LastPageBytes();
  ASSERT_EQ(last.size(), 260u);
  EXPECT_EQ(std::string(last.c_str()), "Default");
  EXPECT_EQ(last.find_first_not_of('\0', 7), std::string::npos);
  EXPECT_FALSE(fs::exists(settings.install().user() / "zvpage0.ppg"));
}

TEST_F(MainFrameTest, CloseRemembersStateAndTheNamedPageForTheNextStart) {
  const std::string path = NamedPage("zvpage4.ppg", "乙");
  MakeShown();
  frame->OpenPage(path, PAGE_OPEN_FILE);
  frame->FullScreen = true;
  boxes->Answer(IDYES);
  EXPECT_TRUE(CloseFrame());
  EXPECT_EQ(UserSetting("WndPos").substr(0, 2), "1,");
  const std::string last = LastPageBytes();
  ASSERT_EQ(last.size(), 260u);
  EXPECT_TRUE(gbk::EqualsNoCase(last.c_str(), path));
  TComponent::Free(frame);
  frame = nullptr;

  // Full screen is not restored: the next start is maximised, and opens the remembered page.
  Make();
  EXPECT_EQ(frame->WindowState(), wsMaximized);
  frame->Show();
  ProcessPendingMessages();
  ASSERT_NE(frame->PageWindow(), nullptr);
  EXPECT_TRUE(gbk::EqualsNoCase(frame->PageWindow()->pagePath, path));
  EXPECT_EQ(frame->PageBoxText, "▲乙");
}

// ---- Handlers ----------------------------------------------------------------------------------

TEST_F(MainFrameTest, MenuHandlersAndThePageBox) {
  MakeShown();
  frame->MenuItem94->Click();
  EXPECT_FALSE(frame->MenuItem94->Checked());
  const bool tick = frame->T1->Checked();
  frame->T1->Click();
  EXPECT_NE(frame->T1->Checked(), tick);

  // 自动保存页面 toggles and is written.
  frame->N17->Click();
  EXPECT_FALSE(frame->AutoSavePage());
  EXPECT_EQ(UserSetting("AutoSavePage"), "0");

  // 新建页面: a blank page window replaces the default page.
  TMultiViewMain* before = frame->PageWindow();
  frame->N10->Click();
  ASSERT_NE(frame->PageWindow(), nullptr);
  EXPECT_NE(frame->PageWindow(), before);
  EXPECT_EQ(frame->PageWindow()->Parent(), frame->ClientPanel);
  EXPECT_TRUE(frame->PageHasEmptyCell());

  // 起始页 from a blank page asks to save it first; No keeps going.
  boxes->Answer(IDNO);
  frame->ToolButton4->OnClick(frame->ToolButton4);
  EXPECT_EQ(boxes->Shown().back().text, "是否保存当前页面？  ");
  EXPECT_EQ(frame->PageWindow()->pagePath, "Default");

  // The page box pops the page menu at its panel's right edge.
  ScopedScriptedMenus menus;
  menus->Cancel();
  frame->StatusBox2Click(frame->StatusBox2);
  const auto shown = menus->ShownMenus();
  ASSERT_EQ(shown.size(), 1u);
  const TPoint expected = frame->StatusPanel2->ClientToScreen(TPoint(frame->StatusPanel2->Width() + 1, -1));
  EXPECT_EQ(shown[0].x, expected.x);
  EXPECT_EQ(shown[0].y, expected.y);
}

TEST_F(MainFrameTest, ThePageBoxPaintsTheNameInTheSchemeColours) {
  const COLORREF saved[2] = {ColorTable[51], ColorTable[53]};
  ColorTable[51] = RGB(250, 250, 0);   // COLOR52: text
  ColorTable[53] = RGB(0, 40, 120);    // COLOR54: background
  MakeShown();
  frame->ShowPageBoxText("▲ 默认页面");
  frame->StatusPanel2->Repaint();
  ProcessPendingMessages();
  HDC dc = GetDC(frame->StatusPanel2->Handle());
  int text = 0, background = 0;
  for (int x = 0; x < frame->StatusBox2->Width(); ++x) {
    for (int y = 0; y < frame->StatusBox2->Height(); ++y) {
      const COLORREF c = GetPixel(dc, frame->StatusBox2->Left() + x, frame->StatusBox2->Top() + y);
      if (c == ColorTable[51]) ++text;
      if (c == ColorTable[53]) ++background;
    }
  }
  ReleaseDC(frame->StatusPanel2->Handle(), dc);
  EXPECT_GT(text, 0);
  EXPECT_GT(background, text);
  ColorTable[51] = saved[0];
  ColorTable[53] = saved[1];
}

TEST_F(MainFrameTest, OptionsItemOpensTheViewOptionsOwnedByTheMainWindow) {
  shelltest::RecordingShellDialogs dialogs;
  shelltest::ScopedShellDialogs scoped(&dialogs);
  Make();
  frame->O2->Click();
  ASSERT_EQ(dialogs.options.size(), 1u);
  EXPECT_EQ(dialogs.options[0].owner, frame);
  EXPECT_TRUE(dialogs.options[0].modalOpen);
}

// ---- Static objects --------------------------------------------------------------------------------

TEST(StaticObjectsTest, StartupBuildsInOrderAndShutdownMirrorsIt) {
  shelltest::ShellSettings settings;
  ScopedScriptedMessageBoxes boxes;
  ClearFrameStandInLog();
  StartupStaticObjects(".");
  StartupStaticObjects(".");   // idempotent
  EXPECT_NE(IndexManager(), nullptr);
  EXPECT_TRUE(FormulaPoolsExist());
  EXPECT_EQ(boxes->Count(), 0u) << "a writable user directory is not reported";
  ShutdownStaticObjects();
  ShutdownStaticObjects();
  EXPECT_EQ(IndexManager(), nullptr);
  EXPECT_FALSE(FormulaPoolsExist());
  EXPECT_EQ(FrameStandInLog(), (std::vector<std::string>{"CreateIndexManager", "CreateFormulaPools",
                                                          "DestroyFormulaPools", "DestroyIndexManager"}));
}

TEST(StaticObjectsTest, AUserDirectoryThatCannotBeWrittenIsShown) {
  shelltest::ShellSettings settings;
  ScopedScriptedMessageBoxes boxes;
  const testsupport::TempInstall& install = settings.install();
  // Regular files where every candidate folder would have to be.
  testsupport::WriteBytes(install.root() / "readonly", "x");
  fs::remove_all(install.cfg() / "user");
  testsupport::WriteBytes(install.cfg() / "user", "x");
  testsupport::WriteBytes(install.root() / "appfile", "x");
  kernel::ScopedSpecialFolder noAppData((install.root() / "appfile").string());
  testsupport::WriteBytes(install.cfg() / "UserPath.INI", "[Path]\r\nUserPath=..\\readonly\\Alice\r\n");
  profile::ClearCache();

  StartupStaticObjects(".");
  ASSERT_EQ(boxes->Count(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, UserDirNotWritableText());
  EXPECT_EQ(boxes->Shown()[0].icon, static_cast<UINT>(MB_ICONERROR));
  ShutdownStaticObjects();
}

}  // namespace
