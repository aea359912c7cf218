// Memory, time, threads, synchronisation and process calls of the platform.
// The clock and the tick source are replaceable for tests (SetClockForTest, SetTickSourceForTest).
#pragma once

#include "platform/WinBase.h"

#include <cstdint>
#include <functional>
#include <string>

// ---- Memory -------------------------------------------------------------------------------
// Zero-filled heap blocks whose usable size is known exactly.
void* HeapAllocZero(std::size_t bytes);         // null on failure
void HeapFreeBlock(void* block);                 // null ignored
std::size_t HeapBlockSize(const void* block);    // exactly the size asked for

constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_DECOMMIT = 0x4000;
constexpr DWORD MEM_RELEASE = 0x8000;
// Reserves and/or commits address space. Committed pages read as zero. Null on failure.
LPVOID VirtualAlloc(LPVOID address, std::size_t bytes, DWORD allocationType, DWORD protect);
// MEM_DECOMMIT frees the pages of a range (they read as zero when committed again);
// MEM_RELEASE with size 0 releases a whole reservation made by VirtualAlloc.
BOOL VirtualFree(LPVOID address, std::size_t bytes, DWORD freeType);

struct SYSTEM_INFO {
  DWORD dwPageSize;
  DWORD dwAllocationGranularity;
  DWORD dwNumberOfProcessors;
};
void GetSystemInfo(SYSTEM_INFO* info);

// ---- Time ---------------------------------------------------------------------------------
void GetSystemTime(SYSTEMTIME* time);   // UTC
void GetLocalTime(SYSTEMTIME* time);    // local zone of the machine
// Milliseconds since an arbitrary start, 32 bits, wrapping every 49.7 days.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

namespace kernel {
// Replaces the clock: the function returns the current UTC time as milliseconds since the Unix
// epoch; the local time is that plus localOffsetMinutes. An empty function restores the real
// clock.
void SetClockForTest(std::function<std::int64_t()> utcMilliseconds, int localOffsetMinutes = 0);
// Replaces the tick source of GetTickCount; empty restores the real one.
void SetTickSourceForTest(std::function<DWORD()> ticks);
// Current UTC time in milliseconds since the Unix epoch, through the replaceable clock.
std::int64_t NowUtcMilliseconds();
}  // namespace kernel

// ---- Threads and synchronisation ----------------------------------------------------------
using ThreadProc = unsigned (*)(void* argument);
// Starts a thread; returns its handle (close it with CloseHandle) or 0 on failure.
UINT_PTR _beginthreadex(void* security, unsigned stackSize, ThreadProc proc, void* argument,
                        unsigned initFlag, unsigned* threadId);
DWORD GetCurrentThreadId();

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
// Waits for a thread to end or an event to be signalled.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// Recursive critical section.
struct CRITICAL_SECTION {
  void* impl = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Events: manual or automatic reset. Null on failure.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

LONG InterlockedIncrement(volatile LONG* value);
LONG InterlockedDecrement(volatile LONG* value);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);

// ---- Process ------------------------------------------------------------------------------
// The executable's own path in Windows form (GBK, backslashes); returns its length, 0 on failure.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
HMODULE GetModuleHandleA(LPCSTR name);
// Current directory in Windows form with backslashes (no trailing backslash).
BOOL SetCurrentDirectoryA(LPCSTR path);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
// The absolute Windows-form path of a path; filePart (optional) points at its last component.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
BOOL GetDiskFreeSpaceExA(LPCSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total, ULONGLONG* totalFree);
// Temporary folder in Windows form, ending with a backslash; returns its length.
DWORD GetTempPathA(DWORD size, LPSTR buffer);

constexpr int CSIDL_APPDATA = 0x1A;
constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
constexpr int CSIDL_PERSONAL = 0x05;
// CSIDL_APPDATA and CSIDL_LOCAL_APPDATA map to the XDG data folder ($XDG_DATA_HOME or
// ~/.local/share); the result is a Windows-form path without a trailing backslash.
BOOL SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create);

namespace kernel {
// Test seam: overrides the XDG data folder that SHGetSpecialFolderPathA reports (POSIX path);
// empty restores the real one.
void SetSpecialFolderForTest(const std::string& posixDir);
}  // namespace kernel
