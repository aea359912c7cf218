// Other programs on the desktop: their processes, and input synthesised for their windows.
// Their windows are reached through the ordinary window calls of WinUser.h (IsWindow,
// EnumWindows, GetWindowTextA, GetWindowRect, ShowWindow, SendMessageA...), which hand a handle
// that is not ours to the desktop that lent it.
//
// Behind these calls is one desktop backend. A real run has "none": no foreign windows and no
// processes, so a search for another program's window finds nothing and its caller reports it;
// synthesised input goes nowhere. Tests install a fake desktop (platform/FakeDesktop.h) with
// processes, windows, dialog items, scripted reactions and a log of every input event.
//
// Any thread.
#pragma once

#include "platform/WinBase.h"
#include "platform/WinUser.h"

#include <string>

constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;

// ---- Synthesised input ------------------------------------------------------------------------
// Keys and left clicks reach a foreign window only while one is in front (the foreground);
// otherwise they reach our own windows as if typed or clicked (platform/Cursor.h). A click
// happens at the pointer's current position (SetCursorPos).

constexpr DWORD KEYEVENTF_EXTENDEDKEY = 0x0001;
constexpr DWORD KEYEVENTF_KEYUP = 0x0002;
// A key-down, or a key-up with KEYEVENTF_KEYUP, of a virtual key with its scan code.
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo);

constexpr DWORD MOUSEEVENTF_MOVE = 0x0001;
constexpr DWORD MOUSEEVENTF_LEFTDOWN = 0x0002;
constexpr DWORD MOUSEEVENTF_LEFTUP = 0x0004;
constexpr DWORD MOUSEEVENTF_RIGHTDOWN = 0x0008;
constexpr DWORD MOUSEEVENTF_RIGHTUP = 0x0010;
constexpr DWORD MOUSEEVENTF_ABSOLUTE = 0x8000;
// Button events at the pointer's position; the position arguments are ignored (move the
// pointer with SetCursorPos).
void mouse_event(DWORD flags, DWORD dx, DWORD dy, DWORD data, ULONG_PTR extraInfo);

// Blocks (TRUE) or unblocks (FALSE) the user's own keyboard and mouse; synthesised input still
// passes. Whoever blocks must unblock on every path (ScopedInputBlock below). FALSE with
// ERROR_CALL_NOT_IMPLEMENTED where the desktop cannot block input (the "none" backend).
BOOL BlockInput(BOOL block);

// ---- Processes ----------------------------------------------------------------------------------

constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;

struct PROCESSENTRY32 {
  DWORD dwSize;   // set to sizeof(PROCESSENTRY32) before Process32First
  DWORD cntUsage;
  DWORD th32ProcessID;
  ULONG_PTR th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  char szExeFile[MAX_PATH];   // the image's file name (GBK), without its folder
};

// A snapshot of the running processes (TH32CS_SNAPPROCESS; other kinds are refused with
// ERROR_INVALID_PARAMETER and INVALID_HANDLE_VALUE). Close it with CloseHandle.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// The first / next process of a snapshot; FALSE with ERROR_NO_MORE_FILES after the last one,
// ERROR_BAD_LENGTH when entry->dwSize is too small, ERROR_INVALID_HANDLE for a bad snapshot.
BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry);
BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry);

constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_VM_READ = 0x0010;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
// A handle on a running process of the desktop (close it with CloseHandle); null with
// ERROR_INVALID_PARAMETER when there is no such process. The access rights are not checked.
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);

// The full path (Windows form, GBK) of the process's image; `module` must be null (the image
// itself). Copies at most size - 1 bytes and a terminator (a longer path is cut, with
// ERROR_INSUFFICIENT_BUFFER) and returns the bytes copied; 0 for a handle that is not an open
// process or a process that has ended. The library module "PSAPI.DLL" exports it.
DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size);

// ---- The Windows folder -------------------------------------------------------------------------
// "C:\WINDOWS" under the install root (platform/Paths.h), made on first use; a test may put
// another folder in its place. Returns the length copied without the terminator; when the
// buffer is too small, the size needed with the terminator (nothing copied); 0 when the folder
// cannot be made.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

namespace zuvo::platform::desktop {

// Replaces the Windows folder (Windows form, GBK; empty restores the default) and returns the
// previous replacement (empty when none).
std::string SetWindowsFolderForTest(std::string windowsPath);

class ScopedWindowsFolder {
 public:
  explicit ScopedWindowsFolder(std::string windowsPath)
      : previous_(SetWindowsFolderForTest(std::move(windowsPath))) {}
  ~ScopedWindowsFolder() { SetWindowsFolderForTest(std::move(previous_)); }
  ScopedWindowsFolder(const ScopedWindowsFolder&) = delete;
  ScopedWindowsFolder& operator=(const ScopedWindowsFolder&) = delete;

 private:
  std::string previous_;
};

}  // namespace zuvo::platform::desktop

// Blocks the user's input for the life of the object and unblocks it on every way out, an
// early return or an exception included. Release() unblocks sooner (before a message box);
// the destructor then does nothing.
class ScopedInputBlock {
 public:
  ScopedInputBlock() { BlockInput(TRUE); }
  ~ScopedInputBlock() { Release(); }
  ScopedInputBlock(const ScopedInputBlock&) = delete;
  ScopedInputBlock& operator=(const ScopedInputBlock&) = delete;
  void Release() {
    if (!blocked_) return;
    blocked_ = false;
    BlockInput(FALSE);
  }

 private:
  bool blocked_ = true;
};
