// Starting outside programs: CreateProcessA over POSIX spawn, behind a replaceable launcher.
// A Windows program name maps to the native program beside it, found without regard to case
// ("update.exe" -> "update"); the rest of the command text goes to it byte for byte (GBK) as
// one argument, and it runs in the working folder given. An absent program fails with an error
// code, so the caller's failure path runs. Tests replace the launcher with a double that
// records each launch and answers started or not (ScopedProcessLauncher).
//
// Any thread. The launcher may be replaced while no launch runs.
#pragma once

#include "platform/WinBase.h"

#include <functional>
#include <string>

struct SECURITY_ATTRIBUTES;

// The start-up information of a new process; every field is accepted and ignored (the programs
// started here open no window of ours).
struct STARTUPINFOA {
  DWORD cb = 0;
  LPSTR lpReserved = nullptr;
  LPSTR lpDesktop = nullptr;
  LPSTR lpTitle = nullptr;
  DWORD dwFlags = 0;
  WORD wShowWindow = 0;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

// Error codes of a launch beyond those of WinBase.h.
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

// Starts a program. The program is `applicationName` when given, else the first token of
// `commandLine` (a quoted token loses its quotes); either way the first token of the command
// text is the program's own name and what follows it (after the blanks) is the one argument,
// none when nothing follows. `currentDirectory` (Windows form, null: the current folder) is the
// new process's working folder. Security, inheritance, flags and environment are ignored.
// TRUE with *processInformation filled: hProcess and hThread are two handles on the process
// (WaitForSingleObject ends when it exits; close both with CloseHandle of platform/Files.h),
// the ids its process id.
// FALSE with GetLastError: ERROR_INVALID_PARAMETER (no program named, no information pointer),
// ERROR_FILE_NOT_FOUND (no such program beside the name), ERROR_DIRECTORY (no such working
// folder), or what the launcher reported.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation);

// STILL_ACTIVE while the process runs, then its exit status (128 + the signal for a process
// ended by a signal). FALSE for a handle that is not a process or a null exitCode.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);

namespace zuvo::platform {

// One launch as CreateProcessA split it.
struct ProcessLaunch {
  std::string program;    // as named (Windows form, GBK), e.g. ".\update.exe"
  std::string argument;   // the rest of the command text, byte for byte; empty: no argument
  std::string folder;     // the working folder (Windows form); empty: the current folder
};

// What a launcher did: started, or not with a Windows error code. `processId` is the native
// process (0 for a double's pretend start, which counts as a process that exited with 0).
struct LaunchResult {
  bool started = false;
  DWORD error = 0;
  int processId = 0;
};

using ProcessLauncher = std::function<LaunchResult(const ProcessLaunch& launch)>;

// The real launcher: maps the program to its native file (see the top of this header), checks
// the working folder and spawns it.
LaunchResult LaunchNativeProcess(const ProcessLaunch& launch);

// Installs a launcher (an empty function puts the real one back); returns the one before
// (empty for the real one).
ProcessLauncher SetProcessLauncher(ProcessLauncher launcher);

class ScopedProcessLauncher {
 public:
  explicit ScopedProcessLauncher(ProcessLauncher launcher);
  ~ScopedProcessLauncher();
  ScopedProcessLauncher(const ScopedProcessLauncher&) = delete;
  ScopedProcessLauncher& operator=(const ScopedProcessLauncher&) = delete;

 private:
  ProcessLauncher previous_;
};

}  // namespace zuvo::platform
