// The main window while the quote server is down: the server closes every connection and refuses
// new ones for a while (its `down` command, timed on its driven ticker). Each simulated second
// moves the server's ticker and runs the window's one-second timer, and a quiet reconnect it
// starts is awaited before the next second. A short outage is bridged by the countdown without
// a word to the user; a long one ends the countdown with the question to reconnect.
#include "LoginFrameFixture.h"
#include "shell/TimerRules.h"

#include <gtest/gtest.h>

namespace {

using zuvo::shell::ReconnectOutcome;

constexpr const char* kAskText = "网络故障，与服务器的连接已断开。是否重新连接？  ";

class LoginDownTest : public shelltest::LoginFlowTest {
 protected:
  // Logged in, then the server goes down for `seconds`; both clients are gone once their
  // closed sockets were seen.
  void GoDown(int seconds) {
    zuvo::shell::ProcessTimerState() = zuvo::shell::TimerState{};
    MakeFrame(true);
    ASSERT_EQ(GetConnectionState(), 3) << ::testing::PrintToString(BoxTexts());
    ASSERT_EQ(frame_->ReconnectCountdown, 12);
    ASSERT_EQ(server_->Command("down " + std::to_string(seconds)), "down for " + std::to_string(seconds) + " s");
    ASSERT_TRUE(Pump([] { return GetConnectionState() == 0; }, 60)) << "both lost connections seen";
    ASSERT_TRUE(outcomes_.empty());
  }

  // One second: the server's ticker, then the window's timer; a reconnect it started comes back.
  void Second() {
    ticks_ += 1000;
    server_->Tick();
    ++seconds_;
    const std::size_t before = outcomes_.size();
    frame_->Timer1Timer(nullptr);
    if (zuvo::shell::ReconnectRunning()) {
      ASSERT_TRUE(Pump([&] { return outcomes_.size() > before; }, 60)) << "second " << seconds_;
    }
  }

  // Down for 120 s: the seconds until the countdown has run out, with the server still down.
  void RunOutTheCountdown() {
    GoDown(120);
    if (HasFatalFailure()) return;
    while (frame_->ReconnectCountdown != -1 && seconds_ < 120) {
      Second();
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(frame_->ReconnectCountdown, -1) << "the countdown ran out after " << seconds_ << " s";
    EXPECT_LT(seconds_, 120) << "while the server is still down";
    EXPECT_EQ(outcomes_.size(), 12u) << "at once, then every 5 s until the countdown is 0";
    for (const ReconnectOutcome& outcome : outcomes_) EXPECT_FALSE(outcome.adopted);
    EXPECT_EQ(GetConnectionState(), 0);
    EXPECT_EQ(boxes_->Count(), 0u) << "nothing asked before the countdown ran out";
  }

  // The question to reconnect, shown once the notice the timer posted is handled.
  void AwaitTheQuestion() {
    ASSERT_TRUE(Pump([&] { return boxes_->Count() > 0; }, 30)) << "the question";
    ASSERT_GE(boxes_->Count(), 1u);
    EXPECT_EQ(boxes_->Shown()[0].text, kAskText);
    EXPECT_EQ(boxes_->Shown()[0].caption, "错误");
  }

  int seconds_ = 0;
};

// Down for 30 s: the countdown's reconnects fail quietly while the server refuses, and the
// first one after it is up again restores both clients; nobody is asked anything.
TEST_F(LoginDownTest, AShortOutageIsBridgedByTheQuietReconnect) {
  GoDown(30);
  if (HasFatalFailure()) return;
  while (GetConnectionState() != 3 && seconds_ < 70) {
    Second();
    if (HasFatalFailure()) return;
  }
  ASSERT_EQ(GetConnectionState(), 3) << "after " << seconds_ << " s";
  EXPECT_GE(seconds_, 30) << "not before the server is up";
  EXPECT_LE(seconds_, 35) << "at the first countdown step after it";
  ASSERT_FALSE(outcomes_.empty());
  for (std::size_t i = 0; i + 1 < outcomes_.size(); ++i) EXPECT_FALSE(outcomes_[i].adopted) << "attempt " << i;
  EXPECT_TRUE(outcomes_.back().adopted);
  EXPECT_EQ(outcomes_.size(), 1u + static_cast<std::size_t>(seconds_ / 5)) << "at once, then every 5 s";
  EXPECT_EQ(frame_->ReconnectCountdown, 12) << "armed again by the refresh";
  EXPECT_EQ(NormalClnt->async, 1);
  EXPECT_TRUE(BoxTexts().empty()) << ::testing::PrintToString(BoxTexts());

  // A minute on, the restored clients stay and nothing more is tried or asked.
  const std::size_t attempts = outcomes_.size();
  for (int i = 0; i < 60; ++i) Second();
  ASSERT_TRUE(Pump([] { return true; }, 1));
  EXPECT_EQ(GetConnectionState(), 3);
  EXPECT_EQ(outcomes_.size(), attempts);
  EXPECT_TRUE(BoxTexts().empty()) << ::testing::PrintToString(BoxTexts());
}

// Down for 120 s, answered No: the program goes on without clients, and even with the server
// back nothing reconnects and nobody is asked again.
TEST_F(LoginDownTest, ALongOutageAsksAndNoLeavesTheProgramWithoutClients) {
  RunOutTheCountdown();
  if (HasFatalFailure()) return;
  boxes_->Answer(IDNO);
  AwaitTheQuestion();
  if (HasFatalFailure()) return;
  EXPECT_EQ(boxes_->Count(), 1u) << ::testing::PrintToString(BoxTexts());
  const std::size_t attempts = outcomes_.size();
  while (seconds_ < 180) {
    Second();
    if (HasFatalFailure()) return;
  }
  ASSERT_TRUE(Pump([] { return true; }, 1));
  EXPECT_EQ(GetConnectionState(), 0);
  EXPECT_EQ(outcomes_.size(), attempts);
  EXPECT_EQ(frame_->ReconnectCountdown, -1);
  EXPECT_EQ(boxes_->Count(), 1u) << ::testing::PrintToString(BoxTexts());
}

// Down for 120 s, answered Yes with the server back at that moment: the reconnecting login
// (联机) restores both clients and arms the countdown again.
TEST_F(LoginDownTest, ALongOutageAsksAndYesRunsTheReconnectingLogin) {
  RunOutTheCountdown();
  if (HasFatalFailure()) return;
  ASSERT_EQ(server_->Command("down 0"), "down and up again");
  boxes_->Answer(IDYES);
  AnswerLoginConnect();
  AwaitTheQuestion();
  if (HasFatalFailure()) return;
  ASSERT_TRUE(Pump([] { return GetConnectionState() == 3; }, 30)) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(frame_->ReconnectCountdown, 12);
  EXPECT_EQ(boxes_->Count(), 1u) << ::testing::PrintToString(BoxTexts());
  EXPECT_EQ(NormalClnt->async, 1);
}

}  // namespace
