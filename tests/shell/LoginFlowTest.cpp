// The main window's login, connect command and quiet reconnect against the local quote server:
// the real login dialog run by a script (联机 or 脱机浏览), the real clients, scripted message
// boxes. Clients must be made and destroyed on the UI thread; the reconnect's blocking
// connects run on a worker and never hold up the UI thread.
#include "LoginFrameFixture.h"

#include <gtest/gtest.h>

namespace {

using shelltest::LoginFlowTest;
using zuvo::shell::ReconnectOutcome;

TEST_F(LoginFlowTest, FirstLoginBuildsTheTablesAndLeavesBothClientsConnected) {
  MakeFrame(true);
  ASSERT_FALSE(frame_->CloseForced) << "boxes: " << ::testing::PrintToString(BoxTexts());
  EXPECT_TRUE(BoxTexts().empty()) << ::testing::PrintToString(BoxTexts());
  EXPECT_GE(MarketCount, 4);
  ASSERT_NE(frame_->DataIO, nullptr);
  EXPECT_EQ(frame_->DataIO->status, 0);
  EXPECT_EQ(GetConnectionState(), 3);
  ASSERT_NE(NormalClnt, nullptr);
  EXPECT_EQ(NormalClnt->async, 1) << "the request client went asynchronous on the UI thread";
  EXPECT_EQ(frame_->ReconnectCountdown, 12) << "the push client connected";
  EXPECT_STREQ(frame_->UserName, "test");
  EXPECT_STREQ(frame_->Password, "pw");
  EXPECT_FALSE(frame_->LoginDialogShown);
  EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 1) << "the news catch-up starts";
}

// At the first start a refusal closes the program; at a reconnecting login the program goes on
// without clients.
TEST_F(LoginFlowTest, ARefusedLoginClosesTheProgramOnlyAtTheFirstStart) {
  On("login-refuse=refused");
  runner_->Add("TClientRight", [this](TForm& form) {
    auto& dialog = static_cast<TClientRight&>(form);
    dialog.Button1->Click();
    Pump([&] { return dialog.ModalResult() != mrNone || boxes_->Count() > 0; }, 60);
    // Whatever the dialog offers next, the user leaves.
    if (dialog.ModalResult() == mrNone) dialog.Button2->Click();
  });
  frame_ = NewForm<TMFrame>(nullptr);
  EXPECT_TRUE(frame_->CloseForced);
  ASSERT_GE(boxes_->Count(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].caption, "错误") << "the server's text";
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_EQ(frame_->DataIO, nullptr) << "no tables without a login";
}

TEST_F(LoginFlowTest, ARefusedReconnectingLoginKeepsTheProgramRunningOffline) {
  StoreMarkets();
  MakeFrame(false);
  ASSERT_FALSE(frame_->CloseForced);
  const int markets = MarketCount;
  On("login-refuse=refused");
  runner_->Add("TClientRight", [this](TForm& form) {
    auto& dialog = static_cast<TClientRight&>(form);
    EXPECT_FALSE(dialog.Button3->Enabled()) << "no offline browsing when reconnecting";
    EXPECT_EQ(dialog.Button2->Caption(), "取      消");
    dialog.Button1->Click();
    Pump([&] { return dialog.ModalResult() != mrNone || boxes_->Count() > 1; }, 60);
    if (dialog.ModalResult() == mrNone) dialog.Button2->Click();
  });
  frame_->C1Click(nullptr);
  EXPECT_FALSE(frame_->CloseForced);
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_EQ(MarketCount, markets) << "the local tables stay";
  EXPECT_EQ(frame_->ReconnectCountdown, -1) << "nothing reconnects by itself after a hand login";
}

// Offline browsing, then 连接主站: the local tables stay (no name table downloaded), both
// clients come up, the countdown is armed and the news are asked for.
TEST_F(LoginFlowTest, AHandReconnectWhileOfflineKeepsTheLocalTables) {
  StoreMarkets();
  MakeFrame(false);
  ASSERT_FALSE(frame_->CloseForced);
  const TMarketData* table = MarketTables[0];
  const std::uint64_t nameTables = Received(6);
  AnswerLoginConnect();
  frame_->C1Click(nullptr);
  EXPECT_EQ(GetConnectionState(), 3) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(MarketTables[0], table) << "the tables of the local files stay";
  EXPECT_EQ(Received(6), nameTables) << "no name table downloaded";
  EXPECT_EQ(frame_->ReconnectCountdown, 12);
  EXPECT_EQ(NewsIndex.NewsCatchUpFlag, 1);
}

TEST_F(LoginFlowTest, DisconnectingByHandAsksFirstAndThenNothingReconnects) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);
  TNormalClnt* request = NormalClnt;
  TRealDataClnt* push = RealDataClnt;

  boxes_->Answer(IDNO);
  frame_->C1Click(nullptr);
  ASSERT_EQ(boxes_->Count(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, "断开与服务器的连接？  ");
  EXPECT_EQ(boxes_->Shown()[0].caption, "确认");
  EXPECT_EQ(NormalClnt, request) << "No leaves both connections";
  EXPECT_EQ(RealDataClnt, push);

  boxes_->Answer(IDYES);
  frame_->C1Click(nullptr);
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_EQ(frame_->ReconnectCountdown, -1);
  // A minute of timer ticks: nothing reconnects.
  for (int tick = 0; tick < 60; ++tick) frame_->Timer1Timer(nullptr);
  EXPECT_FALSE(zuvo::shell::ReconnectRunning());
  EXPECT_TRUE(outcomes_.empty());
  EXPECT_EQ(GetConnectionState(), 0);
}

// A lost push connection: the countdown's reconnect runs on a worker and hands the new client
// back; the request client stays as it was.
TEST_F(LoginFlowTest, TheQuietReconnectRestoresALostClientFromItsWorker) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);
  TNormalClnt* request = NormalClnt;
  ShellClients().DestroyPushClient();
  frame_->ReconnectCountdown = 12;
  frame_->Timer1Timer(nullptr);
  EXPECT_TRUE(zuvo::shell::ReconnectRunning()) << "the connect runs off the UI thread";
  EXPECT_EQ(RealDataClnt, nullptr) << "nothing handed over yet";
  const std::optional<ReconnectOutcome> outcome = AwaitReconnect();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_EQ(outcome->request, 0);
  EXPECT_EQ(outcome->push, 1);
  EXPECT_TRUE(outcome->adopted);
  EXPECT_EQ(GetConnectionState(), 3);
  EXPECT_EQ(NormalClnt, request);
  EXPECT_EQ(frame_->ReconnectCountdown, 12) << "armed again by the refresh";
  EXPECT_TRUE(BoxTexts().empty()) << ::testing::PrintToString(BoxTexts());
}

// A server that takes the connection and never answers: the reconnect waits on its worker
// while the UI thread goes on; the timeout ends it without clients and without a message.
TEST_F(LoginFlowTest, ASilentServerNeverHoldsUpTheUiThread) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);
  ShellClients().DestroyRequestClient();
  ShellClients().DestroyPushClient();
  On("silent");
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(2000, 2000);
  frame_->ReconnectCountdown = 12;
  frame_->Timer1Timer(nullptr);
  ASSERT_TRUE(zuvo::shell::ReconnectRunning());
  // The UI thread keeps handling messages while the worker waits for the silent server.
  bool handled = false;
  PostMessageA(frame_->Handle(), WM_NULL, 0, 0);
  main_.Pump();
  handled = true;
  EXPECT_TRUE(handled);
  EXPECT_EQ(GetConnectionState(), 0);
  // The worker's wait runs out on the driven clock.
  clock_.AwaitWaitingThreads(1);
  clock_.Advance(2500);
  const std::optional<ReconnectOutcome> outcome = AwaitReconnect();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_NE(outcome->request, 0);
  EXPECT_FALSE(outcome->adopted);
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_TRUE(BoxTexts().empty()) << "a quiet reconnect shows nothing";
}

// 连接主站 while a quiet reconnect still waits on a silent server: the hand login wins and the
// late result of the quiet one is discarded on the UI thread.
TEST_F(LoginFlowTest, AHandReconnectWhileTheTimersReconnectRunsDiscardsTheLateOne) {
  MakeFrame(true);
  ShellClients().DestroyRequestClient();
  ShellClients().DestroyPushClient();
  On("silent");
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(2000, 2000);
  frame_->ReconnectCountdown = 12;
  frame_->Timer1Timer(nullptr);
  ASSERT_TRUE(zuvo::shell::ReconnectRunning());
  clock_.AwaitWaitingThreads(1);
  Off("silent");

  AnswerLoginConnect();
  frame_->C1Click(nullptr);
  ASSERT_EQ(GetConnectionState(), 3) << ::testing::PrintToString(BoxTexts());
  TNormalClnt* request = NormalClnt;
  TRealDataClnt* push = RealDataClnt;
  // The timer goes on meanwhile: with both clients it only keeps them alive.
  for (int tick = 0; tick < 5; ++tick) frame_->Timer1Timer(nullptr);

  clock_.Advance(2500);
  const std::optional<ReconnectOutcome> outcome = AwaitReconnect();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_FALSE(outcome->adopted);
  EXPECT_EQ(NormalClnt, request) << "the hand login's clients stay";
  EXPECT_EQ(RealDataClnt, push);
}

// The clients go while the server's day ends; the reconnect after midnight logs in on the new
// day and clears the quotes of the old one.
TEST_F(LoginFlowTest, AReconnectAcrossMidnightClearsTheQuotesOfTheDayBefore) {
  MakeFrame(true);
  ASSERT_EQ(GetConnectionState(), 3);
  const int day = NormalClnt->loginDay;
  ShellClients().DestroyRequestClient();
  ShellClients().DestroyPushClient();
  // Some quotes of the old day.
  TMarketData* table = MarketTables[0];
  ASSERT_NE(table, nullptr);
  table->quotes[0].last = 1234;
  SetClock(nettest::kFridayMorning + 86400);
  frame_->ReconnectCountdown = 12;
  frame_->Timer1Timer(nullptr);
  const std::optional<ReconnectOutcome> outcome = AwaitReconnect();
  ASSERT_TRUE(outcome.has_value());
  ASSERT_TRUE(outcome->adopted);
  ASSERT_NE(NormalClnt, nullptr);
  EXPECT_NE(NormalClnt->loginDay, day) << "the login of the new day";
  EXPECT_EQ(table->quotes[0].last, 0u) << "the refresh cleared the quotes";
}

}  // namespace
