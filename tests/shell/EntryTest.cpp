// The program entry over a temporary install tree: the title, the program path, the write test,
// the hand-off to the update copier, the disk-space warnings, the drag source's life, and the
// application object's exception display. The main form is a test form that closes at once,
// the free-space query, the program path and the launcher are the platform's test doubles.
#include "shell/Entry.h"

#include "ShellSettingsFixture.h"

#include "platform/DragDrop.h"
#include "platform/Form.h"
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/WinUser.h"
#include "shell/stubs/DropSourceStandIn.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace zuvo::platform;
namespace fs = std::filesystem;

namespace {

constexpr ULONGLONG kMiB = 1024ull * 1024;

// What the test main form saw when the entry made it.
struct FormLog {
  int calls = 0;
  std::string title;
  bool dropSourceLive = false;
  std::size_t boxesBefore = 0;
  std::string currentDirectory;
  bool oleReady = false;
  bool throwLibraryException = false;
};
FormLog* formLog = nullptr;
ScriptedMessageBoxes* formBoxes = nullptr;

std::string CurrentDirectory() {
  char buffer[1024] = {};
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

// The entry's main form in these tests: records, then closes through the application (or
// throws a class-library exception out of the creation).
void TestMainForm(TApplication& application) {
  ++formLog->calls;
  formLog->title = application.Title();
  formLog->dropSourceLive = ReportViewDropSource != nullptr && CReportViewDropSource::LiveCount() == 1;
  formLog->boxesBefore = formBoxes->Count();
  formLog->currentDirectory = CurrentDirectory();
  // OLE is initialised already: a second initialisation only counts.
  formLog->oleReady = OleInitialize(nullptr) == S_FALSE;
  OleUninitialize();
  TForm* form = nullptr;
  application.CreateForm(&form);
  if (formLog->throwLibraryException) throw EInvalidOperation("主窗口创建失败");
  PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
}

class EntryTest : public ::testing::Test {
 protected:
  EntryTest() : programPath_(BinWindows() + "\\zuvo") {
    formLog = &log;
    formBoxes = boxes.operator->();
    previousFactory_ = SetMainFormFactory(&TestMainForm);
  }
  ~EntryTest() override {
    SetMainFormFactory(previousFactory_);
    SetWriteTestFailsForTest(false);
    formLog = nullptr;
    formBoxes = nullptr;
  }

  std::string BinWindows() const { return paths::ToWindows(settings.install().bin().string()); }

  int Run() { return WinMain(nullptr, nullptr, nullptr, 0); }

  void WriteTitle(const std::string& title) {
    ASSERT_TRUE(WritePrivateProfileStringA("AppTitle", "Title", title.c_str(), "..\\cfg\\setting.ini"));
  }
  void WriteUpdateResult(const char* value) {
    testsupport::WriteBytes(settings.install().bin() / "update" / "update.ini",
                            testsupport::CrlfLines({"[Update]", std::string("Result=") + value}));
    profile::ClearCache();
  }

  // The entry returned without reaching OLE, the drag source or the main form.
  void ExpectStoppedEarly() {
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(ReportViewDropSource, nullptr);
    EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
  }

  shelltest::ShellSettings settings;
  ScopedScriptedMessageBoxes boxes;
  FormLog log;
  std::string programPath_;

 private:
  MainFormFactory previousFactory_ = nullptr;
};

// A free-space source answering per folder: the user directory (..\user\) or the program folder.
struct DiskAnswers {
  std::optional<ULONGLONG> program = 100 * kMiB;
  std::optional<ULONGLONG> user = 100 * kMiB;
  std::vector<std::string> asked;

  kernel::DiskFreeSpaceSource Source() {
    return [this](const std::string& dir) -> std::optional<ULONGLONG> {
      asked.push_back(dir);
      const bool isUser = dir.ends_with("\\user\\") || dir.ends_with("\\user");
      return isUser ? user : program;
    };
  }
};

TEST(EntryTitle, DefaultAndCutWithoutSplittingCharacters) {
  shelltest::ShellSettings settings;
  EXPECT_EQ(ReadAppTitle(), "柯苏之星");   // no setting.ini

  ASSERT_TRUE(WritePrivateProfileStringA("AppTitle", "Other", "x", "..\\cfg\\setting.ini"));
  EXPECT_EQ(ReadAppTitle(), "柯苏之星");   // no Title key

  const std::string fifteen = "一二三四五六七八九十甲乙丙丁戊";   // 15 characters, 30 bytes
  ASSERT_EQ(fifteen.size(), 30u);
  struct Case {
    std::string configured;
    std::string expected;
  } cases[] = {
      {"行情终端", "行情终端"},
      {std::string(30, 'a'), std::string(30, 'a')},
      {std::string(31, 'a'), std::string(30, 'a')},
      {fifteen, fifteen},
      {fifteen + "己", fifteen},
      // A cut at byte 30 would keep the lead byte of the fifteenth character alone.
      {"a" + fifteen, "a" + fifteen.substr(0, 28)},
      {std::string(29, 'a') + "终端", std::string(29, 'a')},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WritePrivateProfileStringA("AppTitle", "Title", c.configured.c_str(), "..\\cfg\\setting.ini"));
    EXPECT_EQ(ReadAppTitle(), c.expected) << c.configured;
  }
}

TEST_F(EntryTest, StartsTheMainFormInTheProgramFolderAndReleasesTheDragSource) {
  WriteTitle("行情终端");
  testsupport::WriteBytes(settings.install().bin() / "zuvoico.ico", "not an icon");   // ignored silently
  // Started from elsewhere: the entry moves to the program's folder.
  fs::create_directories(settings.install().root() / "elsewhere");
  ASSERT_TRUE(SetCurrentDirectoryA("..\\elsewhere"));
  kernel::ScopedModuleFileName program(programPath_);

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.title, "行情终端");
  EXPECT_TRUE(log.dropSourceLive);
  EXPECT_TRUE(log.oleReady);
  EXPECT_TRUE(gbk::EqualsNoCase(log.currentDirectory, BinWindows())) << log.currentDirectory;
  EXPECT_EQ(boxes->Count(), 0u);
  // After the loop: the forms freed, the drag source released, the write-test file gone.
  EXPECT_EQ(Application->ComponentCount(), 0);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(ReportViewDropSource, nullptr);
  EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
  EXPECT_FALSE(fs::exists(settings.install().bin() / "___wt___.dat"));
  EXPECT_EQ(OleInitialize(nullptr), S_OK);   // the entry uninitialised it
  OleUninitialize();

  // A second run in the same process starts afresh.
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(log.calls, 2);
  EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
}

TEST_F(EntryTest, UnreadableProgramPathStopsWithTheTitleInTheMessage) {
  WriteTitle("行情终端");
  DiskAnswers disk;
  kernel::ScopedDiskFreeSpace space(disk.Source());
  // Unreadable, and too long for the entry's 1024-byte buffer.
  for (const std::string& path : {std::string(), "\\" + std::string(1100, 'p') + "\\zuvo"}) {
    kernel::ScopedModuleFileName program(path);
    const std::size_t before = boxes->Count();
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(boxes->Count(), before + 1) << path.size();
    const MessageBoxRequest box = boxes->Shown().back();
    EXPECT_EQ(box.text, "行情终端安装路径太深，无法正常运行。  ");
    EXPECT_EQ(box.caption, "错误");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(box.topMost);
    EXPECT_EQ(box.owner, nullptr);
  }
  EXPECT_TRUE(disk.asked.empty());
  ExpectStoppedEarly();
}

TEST_F(EntryTest, FolderThatCannotBeWrittenStopsBeforeDiskCheckOleAndWindow) {
  WriteTitle("行情终端");
  WriteUpdateResult("1");
  testsupport::WriteBytes(settings.install().bin() / "filecopy.exe", "x");
  std::vector<ProcessLaunch> launches;
  ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
    launches.push_back(launch);
    return LaunchResult{true, 0, 0};
  });
  DiskAnswers disk;
  disk.program = 1;
  kernel::ScopedDiskFreeSpace space(disk.Source());
  kernel::ScopedModuleFileName program(programPath_);

  // Injected (tests may run as root, where permissions do not stop a write), and, when not
  // root, a folder that is really read-only.
  std::vector<std::function<void()>> faults = {[] { SetWriteTestFailsForTest(true); }};
  if (geteuid() != 0) {
    faults.push_back([this] {
      SetWriteTestFailsForTest(false);
      fs::permissions(settings.install().bin(), fs::perms::owner_write, fs::perm_options::remove);
    });
  }
  for (const auto& fault : faults) {
    fault();
    const std::size_t before = boxes->Count();
    EXPECT_EQ(Run(), 0);
    ASSERT_EQ(boxes->Count(), before + 1);
    const MessageBoxRequest box = boxes->Shown().back();
    EXPECT_EQ(box.text,
              "由于以下原因，行情终端无法正常运行:\n\n    * 您没有写入行情终端安装目录的权限。\n\n"
              "解决问题的方法:\n\n    * 重新安装行情终端，并将安装路径设置为“C:\\”、“D:\\”等根目录。\n");
    EXPECT_EQ(box.caption, "错误");
    EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(box.topMost);
  }
  fs::permissions(settings.install().bin(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_TRUE(launches.empty());
  EXPECT_TRUE(disk.asked.empty());
  ExpectStoppedEarly();
}

TEST_F(EntryTest, UpdateHandOffStartsTheCopierOnlyForResultOneWithTheProgramPresent) {
  struct Case {
    const char* name;
    const char* result;          // null: no update.ini
    const char* copier;          // file made in bin/, null: none
    bool launcherStarts;
    std::string modulePath;      // empty: the program in bin/
    bool expectLaunch;
    std::string expectArgument;
    bool expectMainForm;
  } cases[] = {
      {"pending", "1", "filecopy.exe", true, "", true, "-start:zuvo", false},
      {"native copier", "1", "filecopy", true, "", true, "-start:zuvo", false},
      {"path without folder", "1", "filecopy.exe", true, "zuvo", true, "", false},
      {"copier fails to start", "1", "filecopy.exe", false, "", true, "-start:zuvo", true},
      {"result 2", "2", "filecopy.exe", true, "", false, "", true},
      {"result 0", "0", "filecopy.exe", true, "", false, "", true},
      {"result text", "yes", "filecopy.exe", true, "", false, "", true},
      {"no copier", "1", nullptr, true, "", false, "", true},
      {"no marker", nullptr, "filecopy.exe", true, "", false, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(settings.install().bin() / "update");
    fs::remove(settings.install().bin() / "filecopy.exe");
    fs::remove(settings.install().bin() / "filecopy");
    paths::InvalidateCache();
    profile::ClearCache();
    if (c.result != nullptr) WriteUpdateResult(c.result);
    if (c.copier != nullptr) testsupport::WriteBytes(settings.install().bin() / c.copier, "x");
    std::vector<ProcessLaunch> launches;
    ScopedProcessLauncher launcher([&](const ProcessLaunch& launch) {
      launches.push_back(launch);
      return LaunchResult{c.launcherStarts, c.launcherStarts ? 0u : ERROR_FILE_NOT_FOUND, 0};
    });
    DiskAnswers disk;
    kernel::ScopedDiskFreeSpace space(disk.Source());
    kernel::ScopedModuleFileName program(c.modulePath.empty() ? programPath_ : c.modulePath);
    const int callsBefore = log.calls;

    EXPECT_EQ(Run(), 0);

    if (c.expectLaunch) {
      ASSERT_EQ(launches.size(), 1u);
      EXPECT_EQ(launches[0].program, ".\\filecopy.exe");
      EXPECT_EQ(launches[0].argument, c.expectArgument);
      EXPECT_EQ(launches[0].folder, "");
    } else {
      EXPECT_TRUE(launches.empty());
    }
    EXPECT_EQ(log.calls - callsBefore, c.expectMainForm ? 1 : 0);
    // A started copier ends the entry before the disk check.
    EXPECT_EQ(disk.asked.empty(), !c.expectMainForm);
    EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
  }
  EXPECT_EQ(boxes->Count(), 0u);
}

TEST_F(EntryTest, DiskSpaceWarningsBelowTheirThresholdsProgramDriveFirst) {
  WriteTitle("行情终端");
  const std::string low20 = "盘剩余空间小于20M，行情终端可能无法正常运行。  ";
  const std::string low10 = "盘剩余空间小于10M，行情终端可能无法正常运行。  ";
  struct Case {
    const char* name;
    std::optional<ULONGLONG> program;
    std::optional<ULONGLONG> user;
    bool hideExtendedQuery;   // kernel32 without GetDiskFreeSpaceExA: the older query
    std::vector<std::string> expected;
  } cases[] = {
      {"plenty", 100 * kMiB, 100 * kMiB, false, {}},
      {"exactly the thresholds", 20 * kMiB, 10 * kMiB, false, {}},
      {"program drive one byte short", 20 * kMiB - 1, 10 * kMiB, false, {low20}},
      {"user drive one byte short", 20 * kMiB, 10 * kMiB - 1, false, {low10}},
      {"both, 20M first", 5 * kMiB, 1 * kMiB, false, {low20, low10}},
      {"queries fail", std::nullopt, std::nullopt, false, {}},
      {"older query", 15 * kMiB, 9 * kMiB, true, {low20, low10}},
      {"older query, enough", 20 * kMiB, 10 * kMiB, true, {}},
      {"older query fails", std::nullopt, std::nullopt, true, {}},
  };
  kernel::ScopedModuleFileName program(programPath_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiskAnswers disk;
    disk.program = c.program;
    disk.user = c.user;
    kernel::ScopedDiskFreeSpace space(disk.Source());
    std::optional<library::ScopedBuiltinExport> hidden;
    if (c.hideExtendedQuery) hidden.emplace("kernel32.dll", "GetDiskFreeSpaceExA", nullptr);
    const std::size_t before = boxes->Count();
    const int callsBefore = log.calls;

    EXPECT_EQ(Run(), 0);

    const std::vector<MessageBoxRequest> shown = boxes->Shown();
    std::vector<std::string> texts;
    for (std::size_t i = before; i < shown.size(); ++i) {
      texts.push_back(shown[i].text);
      EXPECT_EQ(shown[i].caption, "警告");
      EXPECT_EQ(shown[i].icon, static_cast<UINT>(MB_ICONWARNING));
      EXPECT_TRUE(shown[i].topMost);
    }
    EXPECT_EQ(texts, c.expected);
    // The program folder first, then the user directory; the warnings only inform.
    ASSERT_EQ(disk.asked.size(), 2u);
    EXPECT_TRUE(gbk::EqualsNoCase(disk.asked[0], BinWindows())) << disk.asked[0];
    EXPECT_TRUE(disk.asked[1].ends_with("\\user\\")) << disk.asked[1];
    EXPECT_EQ(log.calls, callsBefore + 1);
    EXPECT_EQ(log.boxesBefore, before + c.expected.size());
  }
}

TEST_F(EntryTest, DiskWarningNamesTheDriveOfADriveLetterPath) {
  WriteTitle("行情终端");
  fs::create_directories(settings.install().root() / "drive_d" / "app");
  kernel::ScopedModuleFileName program("D:\\app\\zuvo.exe");
  DiskAnswers disk;
  disk.program = 1 * kMiB;
  kernel::ScopedDiskFreeSpace space(disk.Source());

  EXPECT_EQ(Run(), 0);

  ASSERT_EQ(boxes->Count(), 1u);
  EXPECT_EQ(boxes->Shown()[0].text, "D:盘剩余空间小于20M，行情终端可能无法正常运行。  ");
  EXPECT_EQ(disk.asked.at(0), "D:\\app");
  EXPECT_EQ(log.calls, 1);
}

TEST_F(EntryTest, LibraryExceptionOutOfTheMainFormIsShownThenShutDownRuns) {
  WriteTitle("行情终端");
  log.throwLibraryException = true;
  kernel::ScopedModuleFileName program(programPath_);

  EXPECT_EQ(Run(), 0);

  ASSERT_EQ(boxes->Count(), 1u);
  const MessageBoxRequest box = boxes->Shown()[0];
  EXPECT_EQ(box.text, "主窗口创建失败");
  EXPECT_EQ(box.caption, "行情终端");
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(Application->ComponentCount(), 0);
  EXPECT_EQ(ReportViewDropSource, nullptr);
  EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
}

TEST(QuoteListDropSource, AnswersTheDragLoopAndCountsReferences) {
  auto* source = new CReportViewDropSource;
  EXPECT_EQ(CReportViewDropSource::LiveCount(), 1);
  EXPECT_EQ(source->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(source->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
  EXPECT_EQ(source->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);

  void* object = nullptr;
  EXPECT_EQ(source->QueryInterface(IID_IDropTarget, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(source->QueryInterface(IID_IDropSource, &object), S_OK);
  EXPECT_EQ(object, static_cast<IDropSource*>(source));
  ASSERT_EQ(source->QueryInterface(IID_IUnknown, &object), S_OK);
  EXPECT_EQ(source->Release(), 2u);
  EXPECT_EQ(source->Release(), 1u);
  EXPECT_EQ(source->Release(), 0u);
  EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
}

}  // namespace
