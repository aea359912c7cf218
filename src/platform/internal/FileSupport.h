// What the sources of the file calls share: the kernel object behind a file handle, the
// mapping of errno to Windows errors, the path helpers, the guard against cutting a mapped file
// short (FileMappings.cpp) and the file-time conversion (FileTimes.cpp).
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Files.h"
#include "platform/HandleTable.h"
#include "platform/Paths.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zuvo::platform::files {

// An open file: its descriptor (closed with the object) and the access it was opened for.
class FileObject : public handles::KernelObject {
 public:
  FileObject(int fd, bool canRead, bool canWrite) : fd(fd), canRead(canRead), canWrite(canWrite) {}
  ~FileObject() override { ::close(fd); }
  const int fd;
  const bool canRead;
  const bool canWrite;
};

// The file behind a handle; null with ERROR_INVALID_HANDLE when it is none.
std::shared_ptr<FileObject> LookupFile(HANDLE handle);

// The Windows error for an errno value (ERROR_ACCESS_DENIED for those without a closer one).
DWORD ErrorFromErrno(int error);
// The error of a failed call on a path: a missing entry in a missing folder is
// ERROR_PATH_NOT_FOUND, as Windows reports it.
DWORD PathError(int error, const std::string& resolved);
void SetPathError(int error, const std::string& resolved);

// The folder of a POSIX path ("." for a bare name, "/" for an entry of the root).
std::string ParentOf(const std::string& posixPath);
// Where the last component of a Windows-form path starts: after the last separator or the
// drive colon; a trail byte equal to '\\' belongs to its character.
std::size_t LastComponentStart(std::string_view windowsPath);
bool IsDirectory(const std::string& posixPath);
bool SameFile(const struct stat& a, const struct stat& b);

// Runs an operation on the resolved path; when it fails because the entry is missing although
// every component came from the directory cache, the cache was stale (a change made behind the
// platform's back): forget the path and try once more. Returns the operation's result with
// errno kept from the last attempt.
template <class Operation>
auto OnPath(LPCSTR windowsPath, std::string& resolved, Operation operation) {
  bool cached = false;
  resolved = paths::Resolve(windowsPath, &cached);
  auto result = operation(resolved);
  if (result < 0 && cached && (errno == ENOENT || errno == ENOTDIR)) {
    int error = errno;
    paths::ForgetPath(resolved);
    std::string again = paths::Resolve(windowsPath);
    if (again != resolved) {
      resolved = std::move(again);
      result = operation(resolved);
    } else {
      errno = error;
    }
  }
  return result;
}

// Sets the length of an open file unless that would cut a mapped file short; false with errno
// (EBUSY for a mapped file). The check and the cut are one step for the other threads.
bool TruncateUnlessMapped(int fd, off_t length);

// The last-write time the file system keeps, as a FILETIME (UTC).
FILETIME FileTimeFromTimespec(const timespec& time);

}  // namespace zuvo::platform::files
