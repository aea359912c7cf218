// ShellExecuteA: the recording double and its scripted results; the address allow-list; folders
// and documents handed to the opener by their native path; programs started in their folder
// through the launcher and for real; the real opener receiving its target as one argument.
#include "platform/Shell.h"

#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::TempInstall;

INT_PTR Open(const char* file, const char* parameters = nullptr, const char* directory = nullptr,
             const char* operation = "open") {
  return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, operation, file, parameters, directory, SW_SHOWNORMAL));
}

// Waits (generously) until a file a started program writes is complete: the programs write it
// under another name and rename it into place.
std::string WaitForFile(const fs::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(file) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return fs::exists(file) ? testsupport::ReadBytes(file) : std::string("(never written)");
}

// A shell script that writes its argument count, each argument on a line of its own and its
// working folder to `out` (a POSIX path).
void WriteRecorder(const fs::path& script, const fs::path& out) {
  testsupport::WriteBytes(script,
                          "#!/bin/sh\n"
                          "{ echo $#; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; pwd -P; } > '" +
                              out.string() + ".part'\n"
                          "mv '" + out.string() + ".part' '" + out.string() + "'\n");
  fs::permissions(script, fs::perms::owner_all);
  paths::InvalidateCache();
}

TEST(ShellTest, TheDoubleRecordsEachCallAndAnswersAsScripted) {
  ScopedRecordingShell shell;
  shell->Script({SE_ERR_FNF, 33});
  EXPECT_EQ(Open("iexplore.exe", "http://example.com/help"), SE_ERR_FNF);
  EXPECT_EQ(Open("C:\\Trade\\trade.exe", nullptr, "C:\\Trade"), 33);
  EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, "..\\cfg\\help.chm", "", nullptr, 10)), 32);

  const std::vector<ShellRequest> requests = shell->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].operation, "open");
  EXPECT_EQ(requests[0].file, "iexplore.exe");
  EXPECT_EQ(requests[0].parameters, "http://example.com/help");
  EXPECT_EQ(requests[1].file, "C:\\Trade\\trade.exe");
  EXPECT_EQ(requests[1].directory, "C:\\Trade");
  EXPECT_EQ(requests[1].showCommand, SW_SHOWNORMAL);
  EXPECT_EQ(requests[2].operation, "");
  EXPECT_EQ(requests[2].showCommand, 10);
}

TEST(ShellTest, OnlyWebAndMailAddressesReachTheOpener) {
  struct Case {
    const char* file;
    const char* parameters;
    const char* opened;   // what the opener gets; null: refused with SE_ERR_NOASSOC
  };
  const Case cases[] = {
      {"iexplore.exe", "http://www.example.com/a?b=1&c=$(x)", "http://www.example.com/a?b=1&c=$(x)"},
      {"IEXPLORE.EXE", "HTTPS://example.com/", "HTTPS://example.com/"},
      {"C:\\Program Files\\Internet Explorer\\IExplore.exe", " ftp://files.example.com/x ", "ftp://files.example.com/x"},
      {"iexplore.exe", "\"mailto:help@example.com\"", "mailto:help@example.com"},
      {"mailto:help@example.com?subject=\xD2\xE2\xBC\xFB", nullptr, "mailto:help@example.com?subject=\xE6\x84\x8F\xE8\xA7\x81"},
      {"http://example.com/", "ignored", "http://example.com/"},
      {"iexplore.exe", "file:///etc/passwd", nullptr},
      {"iexplore.exe", "javascript:alert(1)", nullptr},
      {"iexplore.exe", "www.example.com", nullptr},
      {"iexplore.exe", "http:", nullptr},
      {"iexplore.exe", "", nullptr},
      {"iexplore.exe", nullptr, nullptr},
      {"iexplore.exe", "http://example.com/\nX", nullptr},
      {"iexplore.exe", "-new-window http://example.com/", nullptr},
      {"file:///etc/passwd", nullptr, nullptr},
      {"javascript:alert(1)", nullptr, nullptr},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.file) + " " + (test.parameters ? test.parameters : "(null)"));
    std::vector<std::string> opened;
    ScopedDesktopOpener opener([&](const std::string& target) {
      opened.push_back(target);
      return true;
    });
    const INT_PTR result = Open(test.file, test.parameters);
    if (test.opened == nullptr) {
      EXPECT_EQ(result, SE_ERR_NOASSOC);
      EXPECT_TRUE(opened.empty());
    } else {
      EXPECT_GT(result, 32);
      // The address arrives in UTF-8.
      EXPECT_EQ(opened, std::vector<std::string>{test.opened});
    }
  }
}

TEST(ShellTest, FoldersAndDocumentsGoToTheOpenerByTheirNativePath) {
  TempInstall install;
  testsupport::WriteBytes(install.cfg() / "HELP.CHM", "help");
  paths::InvalidateCache();
  std::vector<std::string> opened;
  ScopedDesktopOpener opener([&](const std::string& target) {
    opened.push_back(target);
    return true;
  });
  EXPECT_GT(Open("..\\DATA"), 32);
  EXPECT_GT(Open("..\\cfg\\help.chm", ""), 32);
  EXPECT_EQ(Open("..\\cfg\\missing.chm"), SE_ERR_FNF);
  EXPECT_EQ(Open(""), SE_ERR_FNF);
  EXPECT_EQ(Open(nullptr), SE_ERR_FNF);
  EXPECT_EQ(Open("..\\cfg\\help.chm", nullptr, nullptr, "print"), SE_ERR_NOASSOC);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(fs::path(opened[0]), fs::canonical(install.data()));
  EXPECT_EQ(fs::path(opened[1]), fs::canonical(install.cfg() / "HELP.CHM"));

  // An opener that cannot start fails the call.
  ScopedDesktopOpener refusing([](const std::string&) { return false; });
  EXPECT_EQ(Open("..\\DATA"), SE_ERR_NOASSOC);
}

TEST(ShellTest, AProgramStartsThroughTheLauncherInItsFolder) {
  std::vector<ProcessLaunch> launches;
  ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
    launches.push_back(launch);
    return launches.size() == 1 ? LaunchResult{true, 0, 0} : LaunchResult{false, ERROR_DIRECTORY, 0};
  });
  std::vector<std::string> opened;
  ScopedDesktopOpener opener([&](const std::string& target) {
    opened.push_back(target);
    return true;
  });
  EXPECT_GT(Open("C:\\Trade Tools\\Trade.EXE", "-x \"y\"", "C:\\Trade Tools"), 32);
  EXPECT_EQ(Open("C:\\Trade\\trade.exe", nullptr, "C:\\Nowhere"), SE_ERR_PNF);
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].program, "C:\\Trade Tools\\Trade.EXE");
  EXPECT_EQ(launches[0].argument, "-x \"y\"");
  EXPECT_EQ(launches[0].folder, "C:\\Trade Tools");
  EXPECT_EQ(launches[1].argument, "");
  EXPECT_TRUE(opened.empty());
}

TEST(ShellTest, ARealProgramRunsInItsFolderAndAMissingOneFails) {
  TempInstall install;
  const fs::path out = install.root() / "seen.txt";
  fs::create_directories(install.root() / "Trade");
  WriteRecorder(install.root() / "Trade" / "trade", out);
  EXPECT_GT(Open("..\\TRADE\\Trade.exe", "1001|dedo|\xD6\xD0 a", "..\\trade"), 32);
  EXPECT_EQ(WaitForFile(out), "1\n1001|dedo|\xD6\xD0 a\n" + fs::canonical(install.root() / "Trade").string() + "\n");

  EXPECT_EQ(Open("..\\Trade\\other.exe"), SE_ERR_FNF);
  EXPECT_EQ(Open("..\\Trade\\trade.exe", nullptr, "..\\nowhere"), SE_ERR_PNF);
}

TEST(ShellTest, TheRealOpenerGetsItsTargetAsOneArgument) {
  TempInstall install;
  const fs::path out = install.root() / "opened.txt";
  WriteRecorder(install.root() / "opener", out);
  const std::vector<std::string> previous = SetDesktopOpenerCommand({(install.root() / "opener").string(), "--"});
  // Shell syntax in an address stays text: nothing runs it.
  const INT_PTR result = Open("iexplore.exe", "http://example.com/?q=';touch PWNED;'&r=`touch PWNED`");
  SetDesktopOpenerCommand(previous);
  EXPECT_GT(result, 32);
  const std::string seen = WaitForFile(out);
  EXPECT_EQ(seen.substr(0, seen.rfind('\n', seen.size() - 2) + 1),
            "2\n--\nhttp://example.com/?q=';touch PWNED;'&r=`touch PWNED`\n");
  EXPECT_FALSE(fs::exists(install.bin() / "PWNED"));
  EXPECT_FALSE(fs::exists(install.root() / "PWNED"));

  EXPECT_FALSE(RunDesktopOpener({(install.root() / "no-such-opener").string()}, "http://example.com/"));
  EXPECT_FALSE(RunDesktopOpener({}, "http://example.com/"));
}

}  // namespace
