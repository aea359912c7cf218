// Files written through a temporary file beside them: the slots of the temporary files, the
// clean-up of those that killed writers left, the copy through a temporary file, and
// files::AtomicReplace.
#include "platform/internal/TempFiles.h"

#include "platform/internal/FileOperations.h"
#include "platform/internal/FileSupport.h"
#include "platform/internal/Ownership.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

namespace zuvo::platform::files {
namespace {

// A file is rewritten through a hidden temporary file beside it, named after it
// (".zuvo-tmp-<name>.<slot>"), so that a writer killed before its rename leaves a file that the
// next write of the same target finds and removes; otherwise every crash mid-save would leave
// a full-size copy behind for good. The writer holds an exclusive flock on its temporary file
// from the moment the file has its name until the name is gone, so a temporary file that can
// be locked belongs to no live writer. A few slots let writers of one target in several
// processes or threads work at once; the names are probed, never listed, so the cost does not
// grow with the size of the folder.
constexpr int kTempSlots = 16;
constexpr std::string_view kTempPrefix = ".zuvo-tmp-";
constexpr std::size_t kMaxNameBytes = 255;

// The temporary files of this process that are being written. A clean-up never touches them,
// even where the file system's locks do not tell two descriptors of one process apart (flock
// emulated by record locks on network file systems); the lock is held across the clean-up of
// one name, so a writer of this process registers a name before it creates the file.
using LivePaths = platform::Guarded<std::vector<std::string>>;

LivePaths& LiveTemps() {
  static auto* live = new LivePaths;   // never destroyed: files are saved until exit
  return *live;
}

bool IsLive(const std::vector<std::string>& live, const std::string& path) {
  return std::find(live.begin(), live.end(), path) != live.end();
}

void ForgetLive(const std::string& path) {
  auto live = LiveTemps().Lock();
  auto found = std::find(live->begin(), live->end(), path);
  if (found != live->end()) live->erase(found);
}

std::string TempSlotPath(const std::string& target, int slot) {
  const std::size_t slash = target.rfind('/');
  const std::string_view folder = slash == std::string::npos ? std::string_view(".") : std::string_view(target).substr(0, slash);
  const std::string_view name = slash == std::string::npos ? std::string_view(target) : std::string_view(target).substr(slash + 1);
  std::string path;
  path.reserve(folder.size() + kTempPrefix.size() + name.size() + 3);
  path.append(folder);
  path.push_back('/');
  path.append(kTempPrefix);
  if (kTempPrefix.size() + name.size() + 2 <= kMaxNameBytes) {
    path.append(name);
  } else {
    // Too long to repeat: a hash stands for the name (two names sharing one is harmless, as
    // only temporary files that no writer holds are removed).
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ULL;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    path.append(hex);
  }
  path.push_back('.');
  path.push_back("0123456789abcdef"[slot]);
  return path;
}

// Removes the temporary file at path when no writer holds it: a writer killed before its
// rename left it. It is locked before it is removed and must still be the file under that
// name, so that neither a live writer's file nor one created meanwhile is lost.
void RemoveIfStale(const std::string& path) {
  auto live = LiveTemps().Lock();
  if (IsLive(*live, path)) return;
  // Opened for writing where it can be (record locks standing in for flock need it); a copy of
  // a read-only file was given the source's permissions while it was written.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags);
  if (fd < 0) return;
  struct stat held, named;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
      lstat(path.c_str(), &named) == 0 && SameFile(held, named))
    CurrentFileOperations()->Remove(path.c_str());
  ::close(fd);
}

// Creates the temporary file of target (a POSIX path) in a free slot, locked, after removing
// the stale ones of earlier writers; -1 with errno on failure (EBUSY when every slot is held).
int CreateTempBeside(const std::string& target, std::string& tempPath) {
  for (int slot = 0; slot < kTempSlots; ++slot) RemoveIfStale(TempSlotPath(target, slot));
  for (int slot = 0; slot < kTempSlots; ++slot) {
    std::string path = TempSlotPath(target, slot);
    {
      auto live = LiveTemps().Lock();
      if (IsLive(*live, path)) continue;   // another thread of this process writes there
      live->push_back(path);
    }
    const int fd = CurrentFileOperations()->Create(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      const int error = errno;
      ForgetLive(path);
      if (error == EEXIST) continue;   // held by a writer elsewhere
      errno = error;
      return -1;
    }
    // Another process's clean-up may take the new file for stale before it is locked: then
    // the clean-up holds the lock now, or the name is gone or is another file's by the time
    // this writer has it, and another slot serves. A file system without locks gives no
    // clean-up either (its flock fails for the cleaner too), so the writer goes on unlocked.
    const bool lockedByOther = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    struct stat held, named;
    if (!lockedByOther && fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && SameFile(held, named)) {
      tempPath = std::move(path);
      return fd;
    }
    ::close(fd);
    ForgetLive(path);
  }
  errno = EBUSY;
  return -1;
}

}  // namespace

bool TempFile::Create(const std::string& target) {
  fd_ = CreateTempBeside(target, path_);
  return fd_ >= 0;
}

void TempFile::Discard() {
  if (fd_ < 0) return;
  if (!renamed_) CurrentFileOperations()->Remove(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  ForgetLive(path_);
}

bool WriteAll(int fd, const char* data, std::size_t bytes) {
  const auto operations = CurrentFileOperations();
  while (bytes > 0) {
    ssize_t written = operations->Write(fd, data, bytes);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    bytes -= static_cast<std::size_t>(written);
  }
  return true;
}

void SyncDirectory(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  CurrentFileOperations()->Sync(fd);
  ::close(fd);
}

DWORD CopyInto(int in, const struct stat& sourceInfo, const std::string& target, bool noReplace) {
  TempFile temp;
  if (!temp.Create(target)) return PathError(errno, target);
  const int out = temp.fd();
  DWORD error = ERROR_SUCCESS;
  char buffer[65536];
  while (error == ERROR_SUCCESS) {
    ssize_t count = ::read(in, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      error = ERROR_READ_FAULT;
    } else if (count == 0) {
      break;
    } else if (!WriteAll(out, buffer, static_cast<std::size_t>(count))) {
      error = ErrorFromErrno(errno);
    }
  }
  const auto operations = CurrentFileOperations();
  if (error == ERROR_SUCCESS) {
    fchmod(out, sourceInfo.st_mode & 07777);
    timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    futimens(out, times);
    if (operations->Sync(out) != 0) error = ErrorFromErrno(errno);
  }
  if (error == ERROR_SUCCESS) {
    // A hard link refuses a target created meanwhile (the temporary name is then removed);
    // rename replaces.
    const char* tempPath = temp.path().c_str();
    int placed = noReplace ? operations->Link(tempPath, target.c_str()) : operations->Rename(tempPath, target.c_str(), false);
    if (placed != 0) error = noReplace && errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
    if (placed == 0 && !noReplace) temp.Renamed();
  }
  return error;
}

bool AtomicReplace(std::string_view windowsPath, const void* data, std::size_t bytes) {
  if (windowsPath.empty() || (!data && bytes > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string pathText(windowsPath);
  std::string target;
  TempFile temp;
  int created = OnPath(pathText.c_str(), target, [&](const std::string& resolved) {
    // A read-only file is not replaced, as Windows refuses to.
    struct stat existing;
    if (stat(resolved.c_str(), &existing) == 0 && !S_ISDIR(existing.st_mode) && !(existing.st_mode & S_IWUSR)) {
      errno = EACCES;
      return -1;
    }
    return temp.Create(resolved) ? 0 : -1;
  });
  if (created < 0) {
    SetPathError(errno, target);
    return false;
  }
  const int fd = temp.fd();
  // A new file gets the usual permissions rather than the temporary file's private ones.
  struct stat old;
  fchmod(fd, stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
  const auto operations = CurrentFileOperations();
  DWORD error = ERROR_SUCCESS;
  if (!WriteAll(fd, static_cast<const char*>(data), bytes)) {
    error = errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno);
  } else if (operations->Sync(fd) != 0) {
    error = ERROR_WRITE_FAULT;
  } else if (operations->Rename(temp.path().c_str(), target.c_str(), false) != 0) {
    error = ErrorFromErrno(errno);
  } else {
    temp.Renamed();
  }
  // The temporary file keeps its lock until its name is gone (renamed, or removed here).
  temp.Discard();
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  SyncDirectory(ParentOf(target));
  paths::NoteCreated(target);
  return true;
}

}  // namespace zuvo::platform::files
