// CreateProcessA: the command text split into program and argument, the launcher seam, the
// native launcher over posix_spawn and the process objects WaitForSingleObject waits on.
#include "platform/Process.h"

#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/internal/FinishableObject.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

using namespace zuvo::platform;

namespace {

// A started process: finished once its reaper has collected its exit status.
using ProcessObject = kernel::FinishableObject;

DWORD ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return static_cast<DWORD>(128 + WTERMSIG(status));
  return 0;
}

// Collects the child's status on a thread of its own, so no zombie stays behind whether or not
// anybody waits on the handle.
bool StartReaper(const std::shared_ptr<ProcessObject>& process, pid_t pid) {
  try {
    std::thread([process, pid] {
      int status = 0;
      pid_t got = -1;
      do {
        got = waitpid(pid, &status, 0);
      } while (got < 0 && errno == EINTR);
      process->Finish(got == pid ? ExitCodeOf(status) : 0);
    }).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

std::mutex& LauncherMutex() {
  static std::mutex mutex;
  return mutex;
}
ProcessLauncher& InstalledLauncher() {
  static ProcessLauncher launcher;
  return launcher;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits the command text: the first token (quotes removed) and what follows the blanks after it.
void SplitCommand(const char* text, std::string* first, std::string* rest) {
  const char* at = text;
  while (IsBlank(*at)) ++at;
  if (*at == '"') {
    const char* end = std::strchr(at + 1, '"');
    if (end == nullptr) end = at + std::strlen(at);
    first->assign(at + 1, end);
    at = *end == '"' ? end + 1 : end;
  } else {
    const char* end = at;
    while (*end != '\0' && !IsBlank(*end)) ++end;
    first->assign(at, end);
    at = end;
  }
  while (IsBlank(*at)) ++at;
  rest->assign(at);
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char a = text[text.size() - n + i];
    const char lower = a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a;
    if (lower != suffix[i]) return false;
  }
  return true;
}

bool IsExecutableFile(const std::string& posixPath) {
  struct stat info {};
  return !posixPath.empty() && stat(posixPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(posixPath.c_str(), X_OK) == 0;
}

bool IsDirectory(const std::string& posixPath) {
  struct stat info {};
  return !posixPath.empty() && stat(posixPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Resolves a Windows-form path, resolving once more past a stale directory cache.
std::string ResolveFresh(const std::string& windowsPath, bool (*exists)(const std::string&)) {
  bool cached = false;
  std::string posix = paths::Resolve(windowsPath, &cached);
  if (!exists(posix) && cached) {
    paths::ForgetPath(posix);
    posix = paths::Resolve(windowsPath);
  }
  return posix;
}

// The native program for a Windows program name: the name without ".exe" or ".dll" beside
// it, else the name itself; empty when neither is an executable file.
std::string NativeProgram(const std::string& program) {
  std::vector<std::string> candidates;
  if (EndsWithNoCase(program, ".exe") || EndsWithNoCase(program, ".dll")) {
    candidates.push_back(program.substr(0, program.size() - 4));
  }
  candidates.push_back(program);
  for (const std::string& candidate : candidates) {
    std::string posix = ResolveFresh(candidate, &IsExecutableFile);
    if (IsExecutableFile(posix)) return posix;
  }
  return {};
}

DWORD ErrorOfErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_DIRECTORY;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    default: return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace

namespace zuvo::platform {

LaunchResult LaunchNativeProcess(const ProcessLaunch& launch) {
  LaunchResult result;
  const std::string program = NativeProgram(launch.program);
  if (program.empty()) {
    result.error = ERROR_FILE_NOT_FOUND;
    return result;
  }
  std::string folder;
  if (!launch.folder.empty()) {
    folder = ResolveFresh(launch.folder, &IsDirectory);
    if (!IsDirectory(folder)) {
      result.error = ERROR_DIRECTORY;
      return result;
    }
  }

  // The child's argv: the program's own path, then the argument exactly as given.
  std::string argument = launch.argument;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  if (!argument.empty()) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    result.error = ERROR_NOT_ENOUGH_MEMORY;
    return result;
  }
  int error = folder.empty() ? 0 : posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  if (error == 0) error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    result.error = ErrorOfErrno(error);
    return result;
  }
  result.started = true;
  result.processId = pid;
  return result;
}

ProcessLauncher SetProcessLauncher(ProcessLauncher launcher) {
  std::lock_guard<std::mutex> guard(LauncherMutex());
  return std::exchange(InstalledLauncher(), std::move(launcher));
}

ScopedProcessLauncher::ScopedProcessLauncher(ProcessLauncher launcher)
    : previous_(SetProcessLauncher(std::move(launcher))) {}
ScopedProcessLauncher::~ScopedProcessLauncher() { SetProcessLauncher(std::move(previous_)); }

}  // namespace zuvo::platform

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*, BOOL,
                    DWORD, LPVOID, LPCSTR currentDirectory, STARTUPINFOA*, PROCESS_INFORMATION* processInformation) {
  ProcessLaunch launch;
  std::string first;
  if (commandLine != nullptr) SplitCommand(commandLine, &first, &launch.argument);
  launch.program = applicationName != nullptr ? std::string(applicationName) : first;
  if (currentDirectory != nullptr) launch.folder = currentDirectory;
  if (launch.program.empty() || processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  ProcessLauncher launcher;
  {
    std::lock_guard<std::mutex> guard(LauncherMutex());
    launcher = InstalledLauncher();
  }
  const LaunchResult result = launcher ? launcher(launch) : LaunchNativeProcess(launch);
  if (!result.started) {
    SetLastError(result.error != 0 ? result.error : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }

  auto process = std::make_shared<ProcessObject>();
  // A double's pretend start has no process behind it: it has already exited with 0.
  if (result.processId <= 0 || !StartReaper(process, result.processId)) process->Finish(0);
  *processInformation = PROCESS_INFORMATION{};
  processInformation->hProcess = handles::Register(process);
  processInformation->hThread = handles::Register(process);
  processInformation->dwProcessId = static_cast<DWORD>(result.processId);
  processInformation->dwThreadId = static_cast<DWORD>(result.processId);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  auto object = handles::LookupAs<ProcessObject>(process);
  if (!object || !exitCode) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = object->ExitCode();
  return TRUE;
}
