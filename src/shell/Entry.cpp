// The process entry: start-up checks, the application object with the main window, shut-down.
#include "shell/Entry.h"

#include "data/UtilData.h"
#include "platform/DragDrop.h"
#include "platform/Files.h"
#include "platform/Form.h"
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "shell/stubs/DropSourceStandIn.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr const char* kDefaultTitle = "柯苏之星";
constexpr std::size_t kTitleBytes = 30;
constexpr DWORD kProgramPathBytes = 1024;
constexpr const char* kWriteTestFile = ".\\___wt___.dat";
constexpr const char* kUpdateIni = ".\\update\\update.ini";
constexpr const char* kCopyProgram = ".\\filecopy.exe";
constexpr const char* kIconFile = ".\\zuvoico.ico";
constexpr ULONGLONG kProgramDriveMinimum = 20ull * 1024 * 1024;
constexpr ULONGLONG kUserDriveMinimum = 10ull * 1024 * 1024;
constexpr DWORD kSequentialScan = 0x08000000;

std::atomic<bool> writeTestFails{false};
MainFormFactory mainFormFactory = &CreateMainFrameForm;

// A text with the title in every %s (the title is an argument, never a format).
std::string WithTitle(const char* format, const std::string& title) {
  std::string text;
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      text += title;
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

void ShowBox(const std::string& text, const char* caption, UINT icon) {
  MessageBoxA(nullptr, text.c_str(), caption, MB_OK | MB_TOPMOST | icon);
}

// Where a path's file name starts: after its last backslash that is a character of its own
// (the trail byte of a double-byte character may equal '\'); npos when it has none.
std::size_t LastBackslash(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += zuvo::platform::gbk::CharLength(path, i)) {
    if (path[i] == '\\') last = i;
  }
  return last;
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The copy program as a Windows name, or the native program the launcher would run for it.
bool CopyProgramExists() { return FileExists(kCopyProgram) || FileExists(".\\filecopy"); }

// The drive a warning names: "D:" of a path that starts with one. This system's own paths have
// no drive letters; their first two bytes would name nothing (and could split a character).
std::string DrivePrefix(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    return std::string(path.substr(0, 2));
  }
  return {};
}

using GetDiskFreeSpaceExProc = BOOL (*)(LPCSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total,
                                        ULONGLONG* totalFree);

// Bytes free to the caller on the disk of a folder (null: the current one): kernel32's
// extended query when it exports one, else clusters x sectors x bytes in 64 bits.
std::optional<ULONGLONG> FreeSpace(LPCSTR folder) {
  GetDiskFreeSpaceExProc extended = nullptr;
  if (HMODULE kernel = GetModuleHandleA("kernel32.dll")) {
    extended = reinterpret_cast<GetDiskFreeSpaceExProc>(GetProcAddress(kernel, "GetDiskFreeSpaceExA"));
  }
  if (extended != nullptr) {
    ULONGLONG freeToCaller = 0;
    ULONGLONG total = 0;
    ULONGLONG totalFree = 0;
    if (!extended(folder, &freeToCaller, &total, &totalFree)) return std::nullopt;
    return freeToCaller;
  }
  DWORD sectorsPerCluster = 0;
  DWORD bytesPerSector = 0;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  if (!GetDiskFreeSpaceA(folder, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
    return std::nullopt;
  }
  return ULONGLONG{freeClusters} * sectorsPerCluster * bytesPerSector;
}

void WarnWhenLow(const std::string& folder, ULONGLONG minimum, const char* format, const std::string& title) {
  const std::optional<ULONGLONG> free = FreeSpace(folder.empty() ? nullptr : folder.c_str());
  if (!free || *free >= minimum) return;
  ShowBox(DrivePrefix(folder) + WithTitle(format, title), "警告", MB_ICONWARNING);
}

// True when the folder takes a file: ".\___wt___.dat" is created and deleted at once.
bool FolderWritable() {
  if (writeTestFails.load()) return false;
  HANDLE file = CreateFileA(kWriteTestFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | kSequentialScan, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  DeleteFileA(kWriteTestFile);
  return true;
}

// Starts the copy program when an update waits; true when it started and the entry must end.
bool HandOverToCopyProgram(const std::string& fileName) {
  if (GetPrivateProfileIntA("Update", "Result", 0, kUpdateIni) != 1 || !CopyProgramExists()) return false;
  std::string command = kCopyProgram;
  if (!fileName.empty()) command += " -start:" + fileName;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

// Makes the main form and runs the message loop; a class-library exception that leaves them is
// shown by the application object. Then the forms the application owns are freed, the main
// window's destructor among them, before the entry's own shut-down.
void RunApplication(const std::string& title) {
  TApplication& application = *Application;
  try {
    application.Initialize();
    application.SetTitle(title);
    if (FileExists(kIconFile)) application.LoadIcon(kIconFile);
    mainFormFactory(application);
    application.Run();
  } catch (const Exception& e) {
    application.ShowException(e);
  }
  while (application.ComponentCount() > 0) {
    TComponent::Free(application.Components(application.ComponentCount() - 1));
  }
}

}  // namespace

std::string ReadAppTitle() {
  char buffer[1024] = {};
  GetPrivateProfileStringA("AppTitle", "Title", kDefaultTitle, buffer, sizeof buffer, "..\\cfg\\setting.ini");
  const std::string_view title(buffer);
  std::size_t end = 0;
  while (end < title.size()) {
    const std::size_t length = zuvo::platform::gbk::CharLength(title, end);
    if (end + length > kTitleBytes) break;
    end += length;
  }
  return std::string(title.substr(0, end));
}

MainFormFactory SetMainFormFactory(MainFormFactory factory) {
  const MainFormFactory previous = mainFormFactory;
  mainFormFactory = factory != nullptr ? factory : &CreateMainFrameForm;
  return previous;
}

bool SetWriteTestFailsForTest(bool fails) { return writeTestFails.exchange(fails); }

int WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // 1. Title.
  const std::string title = ReadAppTitle();

  // 2. Program folder. A path the buffer cannot hold whole counts as unreadable.
  char pathBuffer[kProgramPathBytes] = {};
  const DWORD pathLength = GetModuleFileNameA(nullptr, pathBuffer, kProgramPathBytes);
  if (pathLength == 0 || pathLength >= kProgramPathBytes) {
    ShowBox(WithTitle("%s安装路径太深，无法正常运行。  ", title), "错误", MB_ICONERROR);
    return 0;
  }
  const std::string path(pathBuffer, pathLength);
  std::string folder;
  std::string fileName;
  if (const std::size_t slash = LastBackslash(path); slash != std::string::npos) {
    folder = path.substr(0, slash);
    fileName = path.substr(slash + 1);
    SetCurrentDirectoryA(folder.empty() ? "\\" : folder.c_str());
  }

  // 3. Write test.
  if (!FolderWritable()) {
    ShowBox(WithTitle("由于以下原因，%s无法正常运行:\n\n"
                      "    * 您没有写入%s安装目录的权限。\n\n"
                      "解决问题的方法:\n\n"
                      "    * 重新安装%s，并将安装路径设置为“C:\\”、“D:\\”等根目录。\n",
                      title),
            "错误", MB_ICONERROR);
    return 0;
  }

  // 4. Update hand-off.
  if (HandOverToCopyProgram(fileName)) return 0;

  // 5. Disk space: the program folder's drive first, then the user directory's.
  WarnWhenLow(folder, kProgramDriveMinimum, "盘剩余空间小于20M，%s可能无法正常运行。  ", title);
  WarnWhenLow(UserDir, kUserDriveMinimum, "盘剩余空间小于10M，%s可能无法正常运行。  ", title);

  // 6. OLE and the quote lists' drag source.
  OleInitialize(nullptr);
  if (ReportViewDropSource == nullptr) ReportViewDropSource = new CReportViewDropSource;

  // 7, 8. The application with the main window, and its exceptions.
  RunApplication(title);

  // 9. Shut-down.
  if (ReportViewDropSource != nullptr) {
    ReportViewDropSource->Release();
    ReportViewDropSource = nullptr;
  }
  OleUninitialize();
  return 0;
}
