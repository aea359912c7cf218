// Starting outside programs: how the command text is split for the launcher, a launcher that
// refuses, and real starts of a small script beside the program (found without regard to case,
// its argument arriving byte for byte in its working folder), an absent program and folder.
#include "platform/Process.h"

#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::TempInstall;

struct Started {
  BOOL result = FALSE;
  DWORD error = 0;
  PROCESS_INFORMATION info{};
};

Started Start(const char* application, std::string command, const char* folder) {
  Started started;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  started.result = CreateProcessA(application, command.empty() ? nullptr : command.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, folder, &startup, &started.info);
  started.error = GetLastError();
  return started;
}

void CloseBoth(const PROCESS_INFORMATION& info) {
  EXPECT_TRUE(CloseHandle(info.hProcess));
  EXPECT_TRUE(CloseHandle(info.hThread));
}

TEST(ProcessTest, TheLauncherGetsTheProgramTheArgumentAndTheFolder) {
  struct Case {
    const char* application;
    std::string command;
    const char* folder;
    ProcessLaunch expected;
  };
  const std::vector<Case> cases = {
      {nullptr, ".\\update.exe -Silently -runbyzuvo", nullptr, {".\\update.exe", "-Silently -runbyzuvo", ""}},
      {nullptr, "  \"C:\\Program Files\\X.EXE\"   a  \"b\" ", "..\\data", {"C:\\Program Files\\X.EXE", "a  \"b\" ", "..\\data"}},
      {nullptr, "ZuvoMsgr.dll", nullptr, {"ZuvoMsgr.dll", "", ""}},
      // GBK bytes travel as they are.
      {nullptr, "tool.exe -start:\xD6\xD0\xCE\xC4", nullptr, {"tool.exe", "-start:\xD6\xD0\xCE\xC4", ""}},
      // With an application name the command text still begins with the program's own name.
      {"..\\bin\\other.exe", "other.exe HWND:12 MSG:34", nullptr, {"..\\bin\\other.exe", "HWND:12 MSG:34", ""}},
      {"..\\bin\\other.exe", "", nullptr, {"..\\bin\\other.exe", "", ""}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.command);
    std::vector<ProcessLaunch> launches;
    ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
      launches.push_back(launch);
      return LaunchResult{true, 0, 0};
    });
    const Started started = Start(test.application, test.command, test.folder);
    ASSERT_TRUE(started.result);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].program, test.expected.program);
    EXPECT_EQ(launches[0].argument, test.expected.argument);
    EXPECT_EQ(launches[0].folder, test.expected.folder);
    // A pretend start counts as a process that has already exited with 0.
    EXPECT_EQ(WaitForSingleObject(started.info.hProcess, 0), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(started.info.hProcess, &code));
    EXPECT_EQ(code, 0u);
    CloseBoth(started.info);
  }
}

TEST(ProcessTest, RefusalsReachTheCallerAsErrorCodes) {
  std::vector<ProcessLaunch> launches;
  ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
    launches.push_back(launch);
    return LaunchResult{false, ERROR_ACCESS_DENIED, 0};
  });
  Started started = Start(nullptr, ".\\update.exe -x", nullptr);
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(launches.size(), 1u);

  // Nothing to start: the launcher is not asked.
  started = Start(nullptr, "   ", nullptr);
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_INVALID_PARAMETER);
  started = Start(nullptr, "", nullptr);
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(launches.size(), 1u);

  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeProcess(nullptr, &code));
}

class RealProcessTest : public testing::Test {
 protected:
  // A script beside the program that writes its arguments and folder to "seen.txt" in its
  // working folder and exits with 3.
  void SetUp() override {
    const fs::path script = install_.bin() / "update";
    testsupport::WriteBytes(script,
                            "#!/bin/sh\n"
                            "printf '%s|' \"$@\" > seen.txt\n"
                            "printf '%d\\n' $# >> seen.txt\n"
                            "pwd -P >> seen.txt\n"
                            "exit 3\n");
    fs::permissions(script, fs::perms::owner_all);
    paths::InvalidateCache();
  }

  // Waits for the process to end (generously) and gives its exit code.
  static DWORD Finish(const PROCESS_INFORMATION& info) {
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    CloseBoth(info);
    return code;
  }

  TempInstall install_;
};

TEST_F(RealProcessTest, AWindowsNameStartsTheNativeProgramBesideItInItsFolder) {
  const Started started = Start(nullptr, "\".\\UPDATE.EXE\" -Silently -runbyzuvo", "..\\DATA");
  ASSERT_TRUE(started.result) << started.error;
  EXPECT_NE(started.info.dwProcessId, 0u);
  EXPECT_EQ(Finish(started.info), 3u);
  const std::string seen = testsupport::ReadBytes(install_.data() / "seen.txt");
  EXPECT_EQ(seen, "-Silently -runbyzuvo|1\n" + fs::canonical(install_.data()).string() + "\n");
}

TEST_F(RealProcessTest, ExeAndDllNamesInAnyCaseStartTheNativeProgram) {
  // The messenger ships as a ".dll" that the shell starts as a program; natively it is a program
  // without extension, in whatever case it was installed.
  const fs::path messenger = install_.bin() / "ZuvoMsgr";
  fs::copy_file(install_.bin() / "update", messenger);
  paths::InvalidateCache();
  struct Case {
    const char* application;
    const char* command;
    const char* argument;
  };
  const Case cases[] = {
      {nullptr, "ZuvoMsgr.dll HWND:5 MSG:2128", "HWND:5 MSG:2128"},
      {nullptr, ".\\zuvomsgr.DLL -start:1", "-start:1"},
      {nullptr, "\"..\\BIN\\ZUVOMSGR.Dll\"", ""},
      {".\\Update.Exe", "Update.Exe -Silently", "-Silently"},
      {nullptr, "uPdAtE.eXe", ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.command);
    fs::remove(install_.bin() / "seen.txt");
    paths::InvalidateCache();
    const Started started = Start(test.application, test.command, nullptr);
    ASSERT_TRUE(started.result) << started.error;
    EXPECT_EQ(Finish(started.info), 3u);
    const std::string seen = testsupport::ReadBytes(install_.bin() / "seen.txt");
    const std::string count = test.argument[0] == '\0' ? "|0\n" : std::string(test.argument) + "|1\n";
    EXPECT_EQ(seen, count + fs::canonical(install_.bin()).string() + "\n");
  }
  // A ".dll" whose program is missing fails like any missing program.
  const Started missing = Start(nullptr, "ZuvoChat.dll HWND:5", nullptr);
  EXPECT_FALSE(missing.result);
  EXPECT_EQ(missing.error, ERROR_FILE_NOT_FOUND);
}

TEST_F(RealProcessTest, WithoutArgumentOrFolderTheProgramRunsHere) {
  const Started started = Start(nullptr, "update", nullptr);
  ASSERT_TRUE(started.result) << started.error;
  EXPECT_EQ(Finish(started.info), 3u);
  const std::string seen = testsupport::ReadBytes(install_.bin() / "seen.txt");
  EXPECT_EQ(seen, "|0\n" + fs::canonical(install_.bin()).string() + "\n");
}

TEST_F(RealProcessTest, AnAbsentProgramOrFolderFails) {
  Started started = Start(nullptr, ".\\updater.exe -Silently", nullptr);
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_FILE_NOT_FOUND);

  // A file that may not be run is no program either.
  testsupport::WriteBytes(install_.bin() / "notes", "text");
  paths::InvalidateCache();
  started = Start(nullptr, "notes.exe", nullptr);
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_FILE_NOT_FOUND);

  started = Start(nullptr, ".\\update.exe", "..\\nowhere");
  EXPECT_FALSE(started.result);
  EXPECT_EQ(started.error, ERROR_DIRECTORY);
  EXPECT_FALSE(fs::exists(install_.bin() / "seen.txt"));
}

}  // namespace
