// Windows file calls over POSIX. Paths are Windows-form GBK texts resolved by paths::Resolve.
// Handles are small integers from the shared handle table (never 0); CreateFileA returns
// INVALID_HANDLE_VALUE on failure, the BOOL calls FALSE, and every failure sets GetLastError.
// Sharing flags are accepted and not enforced. Entries created, removed or renamed through
// these calls keep the path resolver's directory cache current.
#pragma once

#include "platform/WinBase.h"

#include <string>
#include <string_view>

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

constexpr DWORD GENERIC_ALL = 0x10000000u;

// Error codes of the file calls beyond those of WinBase.h.
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_INVALID_ADDRESS = 487;
constexpr DWORD ERROR_FILE_INVALID = 1006;
constexpr DWORD ERROR_USER_MAPPED_FILE = 1224;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// Access is GENERIC_READ and/or GENERIC_WRITE (GENERIC_ALL = both). Dispositions:
// CREATE_NEW fails with ERROR_FILE_EXISTS when the file exists; CREATE_ALWAYS truncates an
// existing file; OPEN_EXISTING fails with ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND when the
// folder is missing); OPEN_ALWAYS creates a missing file; TRUNCATE_EXISTING needs
// GENERIC_WRITE. CREATE_ALWAYS and OPEN_ALWAYS leave ERROR_ALREADY_EXISTS in GetLastError when
// the file was there, else 0. A directory cannot be opened (ERROR_ACCESS_DENIED). Emptying a
// file that is mapped (CREATE_ALWAYS, TRUNCATE_EXISTING) fails with ERROR_USER_MAPPED_FILE.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
// Reads up to toRead bytes; TRUE with *read == 0 at the end of the file. FALSE with
// ERROR_ACCESS_DENIED on a handle opened without GENERIC_READ.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped);
// Writes toWrite bytes at the position; FALSE with ERROR_ACCESS_DENIED on a handle opened
// without GENERIC_WRITE, ERROR_DISK_FULL (and *written = the short count) when space runs out.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped);
// Returns the new low 32 bits of the position, INVALID_SET_FILE_POINTER on failure
// (ERROR_NEGATIVE_SEEK before the start; ERROR_INVALID_PARAMETER past 4 GB without
// distanceHigh). With distanceHigh the distance is 64-bit and GetLastError is 0 on success.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
// Makes the position the end of the file. FALSE with ERROR_ACCESS_DENIED on a read-only
// handle, ERROR_USER_MAPPED_FILE when the file would shrink while a mapping or view of it is
// open (growing is allowed).
BOOL SetEndOfFile(HANDLE file);
// INVALID_FILE_SIZE (ERROR_INVALID_HANDLE) for a bad handle.
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL FlushFileBuffers(HANDLE file);
// Closes any kernel handle of the platform (file, mapping, find search, thread, event); FALSE
// with ERROR_INVALID_HANDLE when the handle is not open.
BOOL CloseHandle(HANDLE handle);

// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_ARCHIVE for a file (plus
// FILE_ATTRIBUTE_READONLY when it cannot be written); INVALID_FILE_ATTRIBUTES when missing.
DWORD GetFileAttributesA(LPCSTR path);
// FALSE with ERROR_ALREADY_EXISTS when an entry of that name (any case) exists,
// ERROR_PATH_NOT_FOUND when the parent is missing.
BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES* security);
// FALSE with ERROR_DIR_NOT_EMPTY when the folder holds entries.
BOOL RemoveDirectoryA(LPCSTR path);
// FALSE with ERROR_FILE_NOT_FOUND when missing, ERROR_ACCESS_DENIED for a folder or a
// read-only file (FILE_ATTRIBUTE_READONLY), which Windows does not delete.
BOOL DeleteFileA(LPCSTR path);
// Copies bytes, permissions and last-write time through a temporary file, so a failed copy
// leaves the target as it was. With failIfExists, FALSE and ERROR_FILE_EXISTS when the target
// exists; a read-only target (FILE_ATTRIBUTE_READONLY) is kept (ERROR_ACCESS_DENIED). Copying a file onto itself fails (ERROR_SHARING_VIOLATION) and keeps it intact.
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists);
// Renames a file or folder; FALSE with ERROR_ALREADY_EXISTS when the target exists. A rename
// that changes only the case of the name is done. A file moves to another file system (the
// temporary folder) by copy and delete; a folder does not (ERROR_NOT_SAME_DEVICE).
BOOL MoveFileA(LPCSTR from, LPCSTR to);

// Last-write time only is kept by the file system (the file's mtime); creation and access times
// read back as the last-write time and are ignored when set. Times are UTC. SetFileTime needs
// a handle opened with GENERIC_WRITE (ERROR_ACCESS_DENIED otherwise). The conversions fail
// (FALSE, ERROR_INVALID_PARAMETER) on out-of-range times or fields.
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* lastWrite);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* lastWrite);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];          // GBK
  char cAlternateFileName[14];
};
// Pattern: a Windows-form path whose last component may hold '*' and '?' (matched without
// regard to case; '?' is one character, GBK or ASCII; "*.*" matches every name, "x.*" also
// matches "x"). Entries, "." and ".." included as Windows lists them, come sorted by name
// without regard to case (names differing only in case in byte order, upper case first). Returns INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing
// matches, ERROR_PATH_NOT_FOUND when the folder is missing. FindNextFileA returns FALSE with
// ERROR_NO_MORE_FILES at the end; close the search with FindClose.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
BOOL FindClose(HANDLE find);

// File mappings of an open file handle. PAGE_READWRITE mappings write through to the file.
constexpr DWORD FILE_MAP_WRITE = 0x2;
constexpr DWORD FILE_MAP_READ = 0x4;
constexpr DWORD FILE_MAP_ALL_ACCESS = 0xF001F;
// A maximum size of 0 maps the file's current size (ERROR_FILE_INVALID for an empty file); a
// larger size extends the file with zeros (PAGE_READWRITE only). PAGE_READWRITE needs a handle
// opened for reading and writing. INVALID_HANDLE_VALUE as file gives an anonymous zeroed
// mapping of the given size. The mapping keeps the file open after its handle is closed, and
// while it or a view of it is open no call cuts the file short. Returns null on failure.
HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect,
                          DWORD maxSizeHigh, DWORD maxSizeLow, LPCSTR name);
// Maps bytes (0 = to the end of the mapping) from the offset; FILE_MAP_WRITE needs a
// PAGE_READWRITE mapping. The view stays valid after the mapping handle is closed. Null on
// failure (ERROR_ACCESS_DENIED for a range beyond the mapping or beyond the end of a file cut
// from outside, or a write view of a read-only mapping).
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes);
// FALSE with ERROR_INVALID_ADDRESS for a pointer that is not the start of a view.
BOOL UnmapViewOfFile(LPCVOID view);

namespace zuvo::platform::files {

// Owns one kernel handle (file, mapping, find search...) and closes it when it goes out of
// scope. A null or INVALID_HANDLE_VALUE handle is held as "not open" (ok() false) and never
// closed, so the result of a failed open can be wrapped without a check.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  // Closes the handle now (when open); the object then holds INVALID_HANDLE_VALUE.
  void Close() {
    if (ok()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// Replaces a whole file safely: writes the bytes to a temporary file beside it, flushes it to
// disk and renames it over the target, so a crash or a failed write leaves the old file intact.
// The temporary file is hidden and named after the target (".zuvo-tmp-<name>.<slot>"); one
// that a killed writer left behind is removed by the next replace of the same target, while
// those of writers still at work (in any process) are kept, so several may write one target
// at once (the last rename wins). Returns false (target untouched) when any step fails, with
// ERROR_ACCESS_DENIED for a read-only target (FILE_ATTRIBUTE_READONLY), which Windows refuses
// to replace, and ERROR_SHARING_VIOLATION when 16 writers of the target are at work already.
// CopyFileA writes through the same temporary files.
bool AtomicReplace(std::string_view windowsPath, const void* data, std::size_t bytes);


}  // namespace zuvo::platform::files
