// The version exchange at login on a scripted blocking connection: the request it sends, the
// installed version against the server's (the updater started only for an older one, the
// progress window told either way), a failed updater start shown to the user, and the replies
// that are no version (another type, a short body, none at all).
#include "net/NetTestSupport.h"

#include "data/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using nettest::Frame;
using nettest::ScriptedRequest;
using zuvo::platform::LaunchResult;
using zuvo::platform::ProcessLaunch;

std::string VersionBody(std::int32_t version, const std::string& more = "") {
  std::string body(4, '\0');
  std::memcpy(body.data(), &version, 4);
  return body + more;
}

class VersionCheckTest : public testing::Test {
 protected:
  VersionCheckTest()
      : launcher_([this](const ProcessLaunch& launch) {
          launches_.push_back(launch);
          return LaunchResult{startSucceeds_, startSucceeds_ ? 0u : ERROR_FILE_NOT_FOUND, 0};
        }) {}

  void WriteVersion(const std::string& text) { testsupport::WriteBytes(install_.bin() / "version.txt", text); }

  // Runs the exchange against one scripted reply (none: the peer closes at once).
  int Check(std::optional<std::string> reply, bool withProgress = true) {
    ScriptedRequest client;
    client.peerClosed = true;
    if (reply) client.Queue({*reply});
    const int result = client.CheckVersion(withProgress ? progress_.window() : nullptr);
    sent_ = client.sent;
    return result;
  }
  int ProgressMessages() {
    int n = 0;
    for (const auto& message : progress_.Of(MsgLoginCheckVersion)) {
      EXPECT_TRUE(message.sent);
      EXPECT_EQ(message.wParam, 1u);
      EXPECT_EQ(message.lParam, 1);
      ++n;
    }
    progress_.Clear();
    return n;
  }

  testsupport::TempInstall install_;
  nettest::MessageRecorder progress_;   // also the main window
  zuvo::platform::ScopedScriptedMessageBoxes boxes_;
  std::vector<ProcessLaunch> launches_;
  bool startSucceeds_ = true;
  zuvo::platform::ScopedProcessLauncher launcher_;
  std::string sent_;
};

TEST_F(VersionCheckTest, AnOlderInstalledVersionStartsTheUpdater) {
  struct Case {
    const char* what;
    std::optional<std::string> file;
    std::int32_t server;
    bool starts;
  };
  const Case cases[] = {
      {"equal", "120", 120, false},
      {"newer", "121", 120, false},
      {"older", "119", 120, true},
      {"older, with blanks and a line end", "  99\r\n", 100, true},
      {"a number followed by text", "130abc", 120, false},
      {"no number", "abc", 1, true},
      {"missing file, version 0 on the server", std::nullopt, 0, false},
      {"missing file", std::nullopt, 1, true},
      {"only 11 bytes are read", "100000000009", 1000000001, false},
      {"only 11 bytes are read, and they are older", "000000000019", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(install_.bin() / "version.txt");
    if (c.file) WriteVersion(*c.file);
    launches_.clear();
    EXPECT_EQ(Check(Frame(202, VersionBody(c.server))), 0);
    EXPECT_EQ(ProgressMessages(), 1);
    ASSERT_EQ(launches_.size(), c.starts ? 1u : 0u);
    if (c.starts) {
      EXPECT_EQ(launches_[0].program, ".\\update.exe");
      EXPECT_EQ(launches_[0].argument, "-Silently -runbyzuvo");
      EXPECT_EQ(launches_[0].folder, "");
    }
  }
  EXPECT_EQ(boxes_->Count(), 0u);

  // The request is one frame of wire code 202 (kind 21).
  ASSERT_GE(sent_.size(), 10u);
  EXPECT_EQ(sent_[0], '@');
  EXPECT_EQ(static_cast<std::uint8_t>(sent_[1]), 202);
}

TEST_F(VersionCheckTest, AFailedUpdaterStartIsShownAndTheLoginGoesOn) {
  startSucceeds_ = false;
  WriteVersion("1");
  EXPECT_EQ(Check(Frame(202, VersionBody(2))), 0);
  EXPECT_EQ(launches_.size(), 1u);
  const auto shown = boxes_->Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "客户端软件已更新，但无法启动自动升级程序。请稍后手动下载更新。  ");
  EXPECT_EQ(shown[0].caption, "提示");
  EXPECT_EQ(shown[0].icon, MB_ICONERROR);
  EXPECT_TRUE(shown[0].topMost);
  EXPECT_EQ(shown[0].owner, progress_.window());

  // Without a progress window nothing is told.
  EXPECT_EQ(Check(Frame(202, VersionBody(2)), false), 0);
  EXPECT_EQ(ProgressMessages(), 1);   // the first exchange's only
}

TEST_F(VersionCheckTest, RepliesThatAreNoVersion) {
  WriteVersion("1");
  // Another reply type: nothing to compare, the login goes on.
  EXPECT_EQ(Check(Frame(2, VersionBody(99))), 0);
  // A body too short for the version, or no reply: a failed connection.
  EXPECT_EQ(Check(Frame(202, std::string(3, '\x7f'))), -1);
  EXPECT_EQ(Check(std::nullopt), -1);
  EXPECT_EQ(ProgressMessages(), 0);
  EXPECT_TRUE(launches_.empty());

  // The request cannot be sent.
  ScriptedRequest client;
  client.sendRoom = 0;
  client.sendError = WSAECONNRESET;
  client.Queue({Frame(202, VersionBody(99))});
  EXPECT_EQ(client.CheckVersion(nullptr), -1);
  EXPECT_TRUE(launches_.empty());
}

}  // namespace
