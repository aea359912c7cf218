// The file and folder calls over POSIX descriptors: CreateFileA and the calls on a file
// handle, attributes, folders, DeleteFileA, CopyFileA and MoveFileA. Mappings, find searches,
// file times and the writes through a temporary file have sources of their own.
#include "platform/Files.h"

#include "platform/internal/FileOperations.h"
#include "platform/internal/FileSupport.h"
#include "platform/internal/TempFiles.h"
#include "platform/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

using namespace zuvo::platform;

namespace zuvo::platform::files {

// ---- Kernel objects and errors ------------------------------------------------------------

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = handles::LookupAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: case EDQUOT: case EFBIG: return ERROR_DISK_FULL;
    case EMFILE: case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: case EILSEQ: return ERROR_INVALID_NAME;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;
  }
}

std::string ParentOf(const std::string& posixPath) {
  auto slash = posixPath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : posixPath.substr(0, slash);
}

std::size_t LastComponentStart(std::string_view windowsPath) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < windowsPath.size(); ++i) {
    if (gbk::CharLength(windowsPath, i) == 2) {
      ++i;
      continue;
    }
    if (windowsPath[i] == '\\' || windowsPath[i] == '/' || (i == 1 && windowsPath[i] == ':')) start = i + 1;
  }
  return start;
}

bool IsDirectory(const std::string& posixPath) {
  struct stat info;
  return stat(posixPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

DWORD PathError(int error, const std::string& resolved) {
  if (error == ENOENT && !IsDirectory(ParentOf(resolved))) return ERROR_PATH_NOT_FOUND;
  return ErrorFromErrno(error);
}

void SetPathError(int error, const std::string& resolved) { SetLastError(PathError(error, resolved)); }

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace zuvo::platform::files

using files::CopyInto;
using files::CurrentFileOperations;
using files::ErrorFromErrno;
using files::FileObject;
using files::LastComponentStart;
using files::LookupFile;
using files::OnPath;
using files::ParentOf;
using files::SetPathError;
using files::TruncateUnlessMapped;

// ---- Files --------------------------------------------------------------------------------

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool canRead = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
  bool canWrite = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING || (disposition == TRUNCATE_EXISTING && !canWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int accessFlags = (canRead && canWrite ? O_RDWR : canWrite ? O_WRONLY : O_RDONLY) | O_CLOEXEC;
  bool existed = false;
  bool created = false;
  std::string resolved;
  const auto operations = CurrentFileOperations();
  int fd = OnPath(path, resolved, [&](const std::string& target) {
    existed = created = false;
    switch (disposition) {
      case CREATE_NEW:
        created = true;
        return operations->Create(target.c_str(), accessFlags | O_CREAT | O_EXCL, 0666);
      case CREATE_ALWAYS:
      case OPEN_ALWAYS:
        for (int attempt = 0; attempt < 3; ++attempt) {
          int opened = ::open(target.c_str(), accessFlags);
          if (opened >= 0) {
            existed = true;
            return opened;
          }
          if (errno != ENOENT) return -1;
          opened = operations->Create(target.c_str(), accessFlags | O_CREAT | O_EXCL, 0666);
          if (opened >= 0 || errno != EEXIST) {
            created = opened >= 0;
            return opened;
          }
          // Created by someone else in between: open it as existing.
        }
        return -1;
      case TRUNCATE_EXISTING:
        existed = true;
        return ::open(target.c_str(), accessFlags);
      default:
        return ::open(target.c_str(), accessFlags);
    }
  });
  if (fd < 0) {
    if (disposition == CREATE_NEW && errno == EEXIST)
      SetLastError(ERROR_FILE_EXISTS);
    else
      SetPathError(errno, resolved);
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Emptying an existing file is refused while it is mapped (a reader's view would lose its
  // pages), so it happens here rather than through O_TRUNC.
  if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && info.st_size > 0) {
    int writable = canWrite ? fd : ::open(resolved.c_str(), O_WRONLY | O_CLOEXEC);
    bool emptied = writable >= 0 && TruncateUnlessMapped(writable, 0);
    int error = errno;
    if (writable >= 0 && writable != fd) ::close(writable);
    if (!emptied) {
      ::close(fd);
      SetLastError(error == EBUSY ? ERROR_USER_MAPPED_FILE : ErrorFromErrno(error));
      return INVALID_HANDLE_VALUE;
    }
  }
  if (created) paths::NoteCreated(resolved);
  HANDLE handle = handles::Register(std::make_shared<FileObject>(fd, canRead, canWrite));
  if (!handle) return INVALID_HANDLE_VALUE;   // the object closed the descriptor
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
  return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  if (read) *read = 0;
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (!object->canRead) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && toRead > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toRead) {
    ssize_t count = ::read(object->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      if (read) *read = done;
      SetLastError(error == EIO ? ERROR_READ_FAULT : ErrorFromErrno(error));
      return FALSE;
    }
    if (count == 0) break;
    done += static_cast<DWORD>(count);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  if (written) *written = 0;
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (!object->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!buffer && toWrite > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto operations = CurrentFileOperations();
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t count = operations->Write(object->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (count < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      if (written) *written = done;
      SetLastError(error == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(error));
      return FALSE;
    }
    done += static_cast<DWORD>(count);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  auto object = LookupFile(file);
  if (!object) return INVALID_SET_FILE_POINTER;
  std::int64_t move = distanceHigh
      ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                  static_cast<DWORD>(distance))
      : static_cast<std::int64_t>(distance);
  std::int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = lseek(object->fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat info;
    base = fstat(object->fd, &info) == 0 ? info.st_size : -1;
  } else if (method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t target = base + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // Without the high half the caller cannot tell 0xFFFFFFFF from failure, nor see past 4 GB.
  if (!distanceHigh && target >= static_cast<std::int64_t>(INVALID_SET_FILE_POINTER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(object->fd, target, SEEK_SET) < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<std::uint64_t>(target) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE file) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (!object->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t position = lseek(object->fd, 0, SEEK_CUR);
  if (position < 0 || !TruncateUnlessMapped(object->fd, position)) {
    SetLastError(errno == EBUSY ? ERROR_USER_MAPPED_FILE : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
  auto object = LookupFile(file);
  struct stat info;
  if (!object || fstat(object->fd, &info) != 0) {
    if (object) SetLastError(ErrorFromErrno(errno));
    if (sizeHigh) *sizeHigh = 0;
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<std::uint64_t>(info.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL FlushFileBuffers(HANDLE file) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (CurrentFileOperations()->Sync(object->fd) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) { return handles::Close(handle) ? TRUE : FALSE; }

// ---- Entries ------------------------------------------------------------------------------

DWORD GetFileAttributesA(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat info;
  std::string resolved;
  if (OnPath(path, resolved, [&](const std::string& target) { return stat(target.c_str(), &info); }) != 0) {
    SetPathError(errno, resolved);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if (!(info.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES* security) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string resolved;
  if (OnPath(path, resolved, [](const std::string& target) { return mkdir(target.c_str(), 0777); }) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return FALSE;
  }
  paths::NoteCreated(resolved);
  return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string resolved;
  if (OnPath(path, resolved, [](const std::string& target) { return rmdir(target.c_str()); }) != 0) {
    SetLastError(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorFromErrno(errno));
    return FALSE;
  }
  paths::NoteRemoved(resolved);
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string resolved;
  int result = OnPath(path, resolved, [](const std::string& target) {
    struct stat info;
    if (lstat(target.c_str(), &info) != 0) return -1;
    if (S_ISDIR(info.st_mode)) {
      errno = EISDIR;
      return -1;
    }
    // A read-only file is kept, as Windows keeps it.
    if (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR)) {
      errno = EACCES;
      return -1;
    }
    return CurrentFileOperations()->Remove(target.c_str());
  });
  if (result != 0) {
    SetPathError(errno, resolved);
    return FALSE;
  }
  paths::NoteRemoved(resolved);
  return TRUE;
}

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
  if (!from || !*from || !to || !*to) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string source;
  int in = OnPath(from, source, [](const std::string& target) { return ::open(target.c_str(), O_RDONLY | O_CLOEXEC); });
  if (in < 0) {
    SetPathError(errno, source);
    return FALSE;
  }
  struct stat sourceInfo;
  if (fstat(in, &sourceInfo) != 0 || S_ISDIR(sourceInfo.st_mode)) {
    ::close(in);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::string target = paths::Resolve(to);
  struct stat targetInfo;
  bool targetExists = stat(target.c_str(), &targetInfo) == 0;
  if (targetExists) {
    // Copying a file onto itself (another spelling of the same name) would empty it.
    if (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino) {
      ::close(in);
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
    if (failIfExists) {
      ::close(in);
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    // A read-only file is not replaced, as Windows refuses to.
    if (S_ISDIR(targetInfo.st_mode) || !(targetInfo.st_mode & S_IWUSR)) {
      ::close(in);
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  DWORD error = CopyInto(in, sourceInfo, target, failIfExists);
  ::close(in);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  paths::NoteCreated(target);
  return TRUE;
}

namespace {

// A file moves to another file system as Windows moves it to another volume: copied (the
// target must not exist), then the source deleted. Folders do not (ERROR_NOT_SAME_DEVICE).
BOOL MoveAcrossDevices(const std::string& source, const struct stat& sourceInfo, const std::string& target) {
  if (!S_ISREG(sourceInfo.st_mode)) {
    SetLastError(ERROR_NOT_SAME_DEVICE);
    return FALSE;
  }
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    SetPathError(errno, source);
    return FALSE;
  }
  DWORD error = CopyInto(in, sourceInfo, target, true);
  ::close(in);
  const auto operations = CurrentFileOperations();
  if (error == ERROR_SUCCESS && operations->Remove(source.c_str()) != 0) {
    error = ErrorFromErrno(errno);
    operations->Remove(target.c_str());   // one file, not two
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error);
    return FALSE;
  }
  paths::NoteRemoved(source);
  paths::NoteCreated(target);
  return TRUE;
}

}  // namespace

BOOL MoveFileA(LPCSTR from, LPCSTR to) {
  if (!from || !*from || !to || !*to) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string source;
  struct stat sourceInfo;
  if (OnPath(from, source, [&](const std::string& target) { return lstat(target.c_str(), &sourceInfo); }) != 0) {
    SetPathError(errno, source);
    return FALSE;
  }
  std::string target = paths::Resolve(to);
  const auto operations = CurrentFileOperations();
  if (target == source) {
    // The target names the source itself under another case: rename to the spelling given.
    std::string_view toText = to;
    std::string name = gbk::ToUtf8(toText.substr(LastComponentStart(toText)));
    target = ParentOf(source) + "/" + name;
    if (name.empty() || target == source) return TRUE;
    if (operations->Rename(source.c_str(), target.c_str(), false) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
  } else if (operations->Rename(source.c_str(), target.c_str(), true) != 0) {
    if (errno == EXDEV) return MoveAcrossDevices(source, sourceInfo, target);
    if (errno != EINVAL && errno != ENOSYS) {
      SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
      if (errno == ENOENT) SetPathError(errno, target);
      return FALSE;
    }
    // A file system without no-replace renames: check, then rename.
    struct stat targetInfo;
    if (lstat(target.c_str(), &targetInfo) == 0) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    if (operations->Rename(source.c_str(), target.c_str(), false) != 0) {
      if (errno == EXDEV) return MoveAcrossDevices(source, sourceInfo, target);
      SetPathError(errno, target);
      return FALSE;
    }
  }
  paths::NoteRemoved(source);
  paths::NoteCreated(target);
  return TRUE;
}
