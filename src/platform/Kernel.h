// Memory, time, threads, synchronisation and process calls of the platform.
// Time comes from one clock: tests replace it with a driven clock (platform/DrivenClock.h) that
// GetTickCount, GetSystemTime, GetLocalTime, Sleep and every wait with a timeout follow.
// Thread and event handles live in the shared handle table (platform/HandleTable.h) and are
// closed with CloseHandle. Calls that fail set GetLastError.
#pragma once

#include "platform/HandleTable.h"
#include "platform/WinBase.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// ---- Memory -------------------------------------------------------------------------------
// Zero-filled heap blocks whose usable size is known exactly; blocks are 16-byte aligned.
void* HeapAllocZero(std::size_t bytes);         // null on failure (ERROR_NOT_ENOUGH_MEMORY)
void HeapFreeBlock(void* block);                 // null ignored
std::size_t HeapBlockSize(const void* block);    // exactly the size asked for

constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_DECOMMIT = 0x4000;
constexpr DWORD MEM_RELEASE = 0x8000;
// Reserves and/or commits address space. Committed pages read as zero. Null on failure.
// MEM_COMMIT alone with an address commits pages inside an earlier reservation (contents of
// pages already committed are kept); protections are PAGE_NOACCESS/READONLY/READWRITE.
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
// Under a driven clock these read and wait on it (platform/DrivenClock.h says how).
void GetSystemTime(SYSTEMTIME* time);   // UTC
void GetLocalTime(SYSTEMTIME* time);    // local zone of the machine (a driven clock's own offset)
// Milliseconds since an arbitrary start, 32 bits, wrapping every 49.7 days.
DWORD GetTickCount();
// Returns after the time has passed; 0 only yields, INFINITE never returns.
void Sleep(DWORD milliseconds);

namespace zuvo::platform::kernel {
// Current UTC time in milliseconds since the Unix epoch, from the clock GetSystemTime reads.
std::int64_t NowUtcMilliseconds();
// The calendar fields, day of week included, of an instant given as milliseconds since the
// Unix epoch (earlier instants are negative); proleptic Gregorian calendar. Never fails.
void SystemTimeFromUnixMilliseconds(std::int64_t milliseconds, SYSTEMTIME* out);
// Test hook: while nonzero, Sleep(0) on the thread that drives a driven clock moves that clock
// on by this many milliseconds instead of only yielding, so a loop that polls with Sleep(0)
// until a deadline of GetTickCount (a fake desktop's window to appear) ends on the driven
// clock too. Returns the previous step; 0 (the default) turns it off.
DWORD SetZeroSleepStepForTest(DWORD milliseconds);
}  // namespace zuvo::platform::kernel

// ---- Threads and synchronisation ----------------------------------------------------------
using ThreadProc = unsigned (*)(void* argument);
constexpr unsigned CREATE_SUSPENDED = 0x4;
constexpr DWORD STILL_ACTIVE = 259;
// Starts a thread; returns its handle (close it with CloseHandle) or 0 on failure. Closing the
// handle neither ends nor detaches anything: the thread runs on. With CREATE_SUSPENDED the
// procedure starts at ResumeThread. The stack size and security are ignored.
UINT_PTR _beginthreadex(void* security, unsigned stackSize, ThreadProc proc, void* argument,
                        unsigned initFlag, unsigned* threadId);
// Lets a thread started suspended run; returns the previous suspend count (1 or 0),
// 0xFFFFFFFF for a handle that is not a thread.
DWORD ResumeThread(HANDLE thread);
// A nonzero id of the calling thread, the one _beginthreadex reported for threads it started.
DWORD GetCurrentThreadId();

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
// Waits for a thread to end or an event to be signalled: WAIT_OBJECT_0, WAIT_TIMEOUT, or
// WAIT_FAILED for a handle that is not waitable. A wait on an automatic-reset event resets it.
// The timeout runs on the platform's clock (a driven clock in tests).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// STILL_ACTIVE while the thread runs, then its procedure's result. FALSE for a bad handle.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

namespace zuvo::platform::kernel {
// Kernel objects that WaitForSingleObject can wait on (threads, events; other platform units
// may add their own, e.g. processes). WaitFor returns WAIT_OBJECT_0 or WAIT_TIMEOUT; a timeout
// is measured with kernel::WaitOnClock (platform/internal/Clock.h), so driven time reaches it.
class WaitableObject : public handles::KernelObject {
 public:
  virtual DWORD WaitFor(DWORD milliseconds) = 0;
};
}  // namespace zuvo::platform::kernel

// Recursive critical section. A zeroed section that was never initialised also works (it is
// set up on first use); DeleteCriticalSection frees it.
struct CRITICAL_SECTION {
  void* impl = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Events: manual or automatic reset. Null on failure. Names are ignored (every call makes a
// new event). SetEvent/ResetEvent return FALSE for a handle that is not an event.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

LONG InterlockedIncrement(volatile LONG* value);
LONG InterlockedDecrement(volatile LONG* value);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);

// ---- Process ------------------------------------------------------------------------------
// Windows form of a POSIX path is paths::ToWindows: "/opt/zuvo/bin" -> "\opt\zuvo\bin".
//
// The executable's own path in Windows form (GBK, backslashes); returns its length, 0 on
// failure. When the buffer is too small the path is cut, zero-terminated, and size is returned
// (ERROR_INSUFFICIENT_BUFFER): a result equal to size means the path could not be read whole.
// Only the program's own module (null or GetModuleHandleA(nullptr)) is known.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// The program's own module for a null name; a library loaded by LoadLibraryA (or a built-in
// module) by its name; null with ERROR_MOD_NOT_FOUND/ERROR_FILE_NOT_FOUND otherwise.
HMODULE GetModuleHandleA(LPCSTR name);
// Changes the process's current directory (a Windows-form path, resolved without regard to
// case). FALSE when it is not an existing directory.
BOOL SetCurrentDirectoryA(LPCSTR path);
// Current directory in Windows form with backslashes (no trailing backslash). Returns its
// length; when the buffer is too small, the size needed including the zero (buffer untouched).
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
// The absolute Windows-form path of a path, with "." and ".." folded away and without looking
// at the disk; filePart (optional) points at its last component (null when the path ends with
// a separator). Return values as GetCurrentDirectoryA; 0 for a null or empty path.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
// Space on the disk that holds the directory (a folder not there yet is measured on the disk
// of its nearest existing parent); null current directory. FALSE when nothing can be measured.
BOOL GetDiskFreeSpaceExA(LPCSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total, ULONGLONG* totalFree);
// The older form of the same query, in clusters of sectors: a cluster is 8 sectors of 512
// bytes, and cluster counts stop at 0xFFFFFFFF (the caller multiplies them out in 64 bits).
// Not exported by the built-in kernel32.dll: callers link it directly.
BOOL GetDiskFreeSpaceA(LPCSTR rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                       DWORD* totalClusters);
// Temporary folder ($TMPDIR or /tmp) in Windows form, ending with a backslash; returns its
// length, or the size needed including the zero when the buffer is too small.
DWORD GetTempPathA(DWORD size, LPSTR buffer);

constexpr int CSIDL_APPDATA = 0x1A;
constexpr int CSIDL_LOCAL_APPDATA = 0x1C;
constexpr int CSIDL_PERSONAL = 0x05;
// CSIDL_APPDATA and CSIDL_LOCAL_APPDATA map to the XDG data folder ($XDG_DATA_HOME or
// ~/.local/share), CSIDL_PERSONAL to the home folder; the result (path must hold MAX_PATH
// bytes) is a Windows-form path without a trailing backslash. The folder is created when
// missing, as these folders always exist where the program came from. FALSE for other folders.
BOOL SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create);

namespace zuvo::platform::kernel {
// Test seam: while it lives, GetModuleFileNameA reports this Windows-form path as the
// program's own (an empty one makes it fail with ERROR_FILE_NOT_FOUND, as an unreadable path
// does). The path reported before comes back when it goes.
class ScopedModuleFileName {
 public:
  explicit ScopedModuleFileName(std::string windowsPath);
  ~ScopedModuleFileName();
  ScopedModuleFileName(const ScopedModuleFileName&) = delete;
  ScopedModuleFileName& operator=(const ScopedModuleFileName&) = delete;

 private:
  std::optional<std::string> previous_;
};

// Test seam: while it lives, GetDiskFreeSpaceExA and GetDiskFreeSpaceA ask this function
// instead of the disk. It gets the queried folder as an absolute Windows-form path (the current
// directory for a null one) and answers the bytes free to the caller, or nullopt for a query
// that fails. Total and total-free sizes report the same number.
using DiskFreeSpaceSource = std::function<std::optional<ULONGLONG>(const std::string& windowsDir)>;
class ScopedDiskFreeSpace {
 public:
  explicit ScopedDiskFreeSpace(DiskFreeSpaceSource source);
  ~ScopedDiskFreeSpace();
  ScopedDiskFreeSpace(const ScopedDiskFreeSpace&) = delete;
  ScopedDiskFreeSpace& operator=(const ScopedDiskFreeSpace&) = delete;

 private:
  DiskFreeSpaceSource previous_;
};

// Test seam: while it lives, SHGetSpecialFolderPathA reports posixDir (a POSIX path) as the
// XDG data folder, or the real one for an empty path; the folder reported before it comes
// back when it goes.
class ScopedSpecialFolder {
 public:
  explicit ScopedSpecialFolder(const std::string& posixDir);
  ~ScopedSpecialFolder();
  ScopedSpecialFolder(const ScopedSpecialFolder&) = delete;
  ScopedSpecialFolder& operator=(const ScopedSpecialFolder&) = delete;

 private:
  std::string previous_;
};
}  // namespace zuvo::platform::kernel

// ---- Global memory ------------------------------------------------------------------------
// Blocks of memory named by handles, as the clipboard passes data around. A GMEM_MOVEABLE
// block's handle is no address: GlobalLock gives the address and counts the locks, GlobalUnlock
// takes one back. A GMEM_FIXED block's handle is its address. Blocks are always zero-filled and
// GlobalSize gives exactly the size asked for. Null, unknown and freed handles fail with
// ERROR_INVALID_HANDLE and change nothing. Thread-safe.
using SIZE_T = std::size_t;
using HGLOBAL = HANDLE;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_NOT_LOCKED = 158;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_CLIPBOARD_NOT_OPEN = 1418;

// Null on failure (ERROR_NOT_ENOUGH_MEMORY; sizes above 4 GB are refused outright).
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// The block's address (never null for a valid handle, even of size 0); one more lock.
LPVOID GlobalLock(HGLOBAL memory);
// One lock fewer: TRUE while locks remain; FALSE with ERROR_SUCCESS when the last one went,
// FALSE with ERROR_NOT_LOCKED when there was none.
BOOL GlobalUnlock(HGLOBAL memory);
// The size asked for; 0 with ERROR_INVALID_HANDLE for a bad handle.
SIZE_T GlobalSize(HGLOBAL memory);
// Null on success; the handle back on failure (ERROR_INVALID_HANDLE, or ERROR_ACCESS_DENIED
// for a block the clipboard owns). A locked block may be freed: its address dies with it.
HGLOBAL GlobalFree(HGLOBAL memory);
