// The console (in-process and on the program's standard input) and the clock: every bad command
// or value is one line of error that changes nothing while the server serves on; the commands
// do what they say; the clock runs real, from a time of day, sped up, or by hand, and `auto`
// picks real time only while market 0's category 0 trades.
#include "quoteserver/ServerFixture.h"

#include "ServerClock.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace quoteservertest {
namespace {

using zuvo::quoteserver::ClockStart;
using zuvo::quoteserver::LiveClock;

// Friday 2024-06-28 00:00 UTC.
constexpr std::int64_t kFriday = kSampleNow - 86400;

class ConsoleTest : public ServerTest {};

TEST_F(ConsoleTest, BadCommandsAnswerOneLineAndChangeNothing) {
  StartServer();
  server_->Command("fault stall=5");
  const std::string before = server_->Command("status");
  const char* const lines[] = {
      "frobnicate",     "STATUS",           "status now",        "clock",               "clock 24:00",
      "clock 9:5",      "clock 12:60",      "clock noon",        "speed",               "speed -1",
      "speed 10001",    "speed fast",       "down",              "down -5",             "down 86401",
      "down soon",      "kick everyone",    "fetch all",         "quit now",            "advice",
      "advice NOPE",    "advice 600100 x",  "fault nosuch",      "fault -nosuch",       "fault stall",
      "fault stall=0",  "fault stall=x",    "fault dribble=3",   "fault dribble@there", "fault reorder@push",
      "fault slow-net@request",             "fault hash-request@push",                  "fault late=256",
      "fault error=12", "fault error=12:",  "fault drop=nowhere", "fault clock=1439",    "fault version=9999999999",
      "fault names-overflow=0",             "fault broker-count=40",                    "fault login-refuse",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const std::string answer = server_->Command(line);
    EXPECT_EQ(answer.rfind("error: ", 0), 0u) << answer;
    EXPECT_EQ(answer.find('\n'), std::string::npos) << "one line";
  }
  EXPECT_EQ(server_->Command("status"), before);
  EXPECT_EQ(Ask(202, std::string(4, '\0')).type, 202) << "serving on";
}

TEST_F(ConsoleTest, CommandsDoWhatTheySay) {
  StartServer();
  RawClient push(pushPort());
  push.Send(202, OpeningFrameBody());
  auto request = LoggedIn();
  ASSERT_TRUE(server_->AwaitReceived(zuvo::quoteserver::PortRole::kPush, 202, 1, 10000));
  const std::string status = server_->Command("status");
  EXPECT_NE(status.find("clock 2024-06-29 00:00:00 UTC, real, speed 1"), std::string::npos) << status;
  EXPECT_NE(status.find("connections 2"), std::string::npos) << status;
  EXPECT_NE(status.find("push 127.0.0.1:"), std::string::npos) << status;
  EXPECT_NE(status.find("logged in"), std::string::npos) << status;
  EXPECT_NE(status.find("faults none"), std::string::npos) << status;

  EXPECT_EQ(server_->Command("fault stall=20"), "fault stall=20 on");
  EXPECT_EQ(server_->Command("fault bad-magic@push"), "fault bad-magic@push on");
  EXPECT_NE(server_->Command("status").find("stall=20 on, fired 0"), std::string::npos);
  EXPECT_NE(server_->Command("fault").find("bad-magic@push on"), std::string::npos);
  EXPECT_EQ(server_->Command("fault -stall"), "fault stall off");
  EXPECT_EQ(server_->Command("fault -bad-magic"), "fault bad-magic off");

  EXPECT_EQ(server_->Command("kick"), "closed 2 connections");
  EXPECT_TRUE(request->WaitClosed());
  EXPECT_TRUE(push.WaitClosed());

  // down: refused while down, served again after.
  EXPECT_EQ(server_->Command("down 600"), "down for 600 s");
  RawClient refused(requestPort());
  EXPECT_FALSE(refused.connected());
  EXPECT_NE(server_->Command("status").find("(down, back in"), std::string::npos);
  EXPECT_EQ(server_->Command("down 0"), "down and up again");
  RawClient back(requestPort());
  EXPECT_TRUE(back.LogIn());

  EXPECT_EQ(server_->Command("quit"), "stopping");
  EXPECT_TRUE(back.WaitClosed());
}

TEST_F(ConsoleTest, DownRefusesConnectionsUntilItsSecondsHavePassedOnTheTicker) {
  StartServer(SampleConfig(), DrivenTicker());
  auto before = LoggedIn();
  EXPECT_EQ(server_->Command("down 5"), "down for 5 s");
  EXPECT_TRUE(before->WaitClosed());
  ticks_ += 4999;
  server_->Tick();
  for (std::uint16_t port : {mainPort(), requestPort(), pushPort()}) {
    RawClient refused(port);
    EXPECT_FALSE(refused.connected()) << port;
  }
  EXPECT_NE(server_->Command("status").find("(down, back in 1 s)"), std::string::npos);
  ticks_ += 1;
  server_->Tick();
  EXPECT_EQ(server_->Command("status").find("(down"), std::string::npos);
  for (std::uint16_t port : {mainPort(), requestPort(), pushPort()}) {
    RawClient back(port);
    EXPECT_TRUE(back.connected()) << port;
  }
  RawClient request(requestPort());
  EXPECT_TRUE(request.LogIn()) << "the same ports serve again";
}

TEST_F(ConsoleTest, TheClockRunsRealSetSpedUpOrByHand) {
  std::int64_t source = kFriday + 3600;
  std::int64_t ticks = 0;
  LiveClock clock([&] { return source; }, [&] { return ticks; });
  clock.SetReal(1);
  source += 7;
  EXPECT_EQ(clock.Now(), kFriday + 3607) << "real: the source itself";
  clock.SetReal(60);
  ticks += 2000;
  EXPECT_EQ(clock.Now(), kFriday + 3607 + 120) << "sixty times real time";
  clock.SetTimeOfDay(9 * 60 + 30, 1);
  EXPECT_EQ(clock.Now(), kFriday + 9 * 3600 + 30 * 60) << "today at 09:30";
  ticks += 1500;
  EXPECT_EQ(clock.Now(), kFriday + 9 * 3600 + 30 * 60 + 1);
  clock.SetSpeed(0);
  ticks += 100000;
  EXPECT_EQ(clock.Now(), kFriday + 9 * 3600 + 30 * 60 + 1) << "frozen";
  clock.SetManual(kFriday);
  ticks += 100000;
  source += 100;
  EXPECT_EQ(clock.Now(), kFriday);
  clock.Step(61);
  EXPECT_EQ(clock.Now(), kFriday + 61);

  // The console sets the time of day and the speed.
  StartServer();
  server_->SetManualClock(kFriday + 5);
  EXPECT_EQ(server_->Command("clock 23:59"), "clock 2024-06-28 23:59:00 UTC");
  EXPECT_EQ(server_->Now(), kFriday + 86400 - 60);
  EXPECT_EQ(server_->Command("speed 5"), "speed 5");
  EXPECT_NE(server_->Command("status").find("manual, speed 5"), std::string::npos);
}

TEST_F(ConsoleTest, AutoIsRealWhileMarketZeroTradesElseFiveMinutesAfterItsOpen) {
  struct Case {
    const char* name;
    std::int64_t source;
    std::int64_t expected;
  };
  const std::int64_t opening = 1 * 3600 + 35 * 60;   // 09:35 Beijing time in UTC
  const Case cases[] = {
      {"Friday 10:00 Beijing: trading", kFriday + 2 * 3600, kFriday + 2 * 3600},
      {"Friday 08:00 Beijing: before the open", kFriday, kFriday + opening},
      {"Friday 12:10 Beijing: the lunch break", kFriday + 4 * 3600 + 600, kFriday + opening},
      {"Saturday 10:00 Beijing: no trading at weekends", kSampleNow + 2 * 3600, kSampleNow + opening},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    now_ = c.source;
    auto config = SampleConfig();
    config.clockStart = ClockStart::kAuto;
    StartServer(config);
    EXPECT_EQ(server_->Now(), c.expected);
  }
  auto config = SampleConfig();
  config.clockStart = ClockStart::kAt;
  config.clockMinute = 13 * 60;
  now_ = kFriday + 5;
  StartServer(config);
  EXPECT_EQ(server_->Now(), kFriday + 13 * 3600);
}

TEST_F(ConsoleTest, TheProgramReadsCommandsFromItsStandardInput) {
  const std::filesystem::path root = SampleRoot();
  ASSERT_FALSE(root.empty());
  const std::filesystem::path output = root.parent_path() / (root.filename().string() + "-console.txt");
  std::string command = "printf 'status\\nfault nosuch\\nfault stall=10\\nquit\\n' | \"";
  command += ToolProgram("quote-server", "quote-server").string();
  command += "\" --data \"" + root.string() + "\" --main-port 0 --request-port 0 --push-port 0 --clock 02:00 >\"" +
             output.string() + "\" 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "quit ends the program";
  std::ifstream in(output);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(output);
  EXPECT_NE(text.find("quote-server: listening on 127.0.0.1"), std::string::npos) << text;
  EXPECT_NE(text.find(" 02:00:"), std::string::npos) << text;
  EXPECT_NE(text.find("error: unknown fault \"nosuch\""), std::string::npos) << text;
  EXPECT_NE(text.find("fault stall=10 on"), std::string::npos) << text;
  EXPECT_NE(text.find("stopping"), std::string::npos) << text;
}

}  // namespace
}  // namespace quoteservertest
