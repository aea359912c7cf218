#include "platform/Files.h"

#include "platform/HandleTable.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// ---- Kernel objects ---------------------------------------------------------------------

class FileObject : public handles::KernelObject {
 public:
  FileObject(int fd, bool canRead, bool canWrite) : fd(fd), canRead(canRead), canWrite(canWrite) {}
  ~FileObject() override { ::close(fd); }
  const int fd;
  const bool canRead;
  const bool canWrite;
};

class FindObject : public handles::KernelObject {
 public:
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
  std::mutex lock;
};

std::shared_ptr<FileObject> LookupFile(HANDLE handle) {
  auto file = handles::LookupAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

// ---- Mapped views -----------------------------------------------------------------------

using FileKey = std::pair<dev_t, ino_t>;

struct View {
  void* base;
  std::size_t length;
  FileKey file;
};

// Open mappings and views per file. While a file has either, no call of ours cuts it short:
// touching a mapped page beyond the end of the file kills the process.
struct ViewRegistry {
  std::mutex lock;
  std::map<const void*, View> byAddress;   // keyed by the address handed to the caller
  std::map<FileKey, int> usesPerFile;      // mappings plus views
};

ViewRegistry& Views() {
  static ViewRegistry* registry = new ViewRegistry;
  return *registry;
}

// Called with the registry locked.
void AddUse(ViewRegistry& views, const FileKey& file) { ++views.usesPerFile[file]; }
void DropUse(ViewRegistry& views, const FileKey& file) {
  auto found = views.usesPerFile.find(file);
  if (found != views.usesPerFile.end() && --found->second <= 0) views.usesPerFile.erase(found);
}

// Sets the length of an open file unless that would cut a mapped file short; false with errno
// (EBUSY for a mapped file). The check and the cut are one step for the other threads.
bool TruncateUnlessMapped(int fd, off_t length) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  ViewRegistry& views = Views();
  std::lock_guard guard(views.lock);
  if (length < info.st_size && views.usesPerFile.count({info.st_dev, info.st_ino})) {
    errno = EBUSY;
    return false;
  }
  return ftruncate(fd, length) == 0;
}

class MappingObject : public handles::KernelObject {
 public:
  // A file mapping counts as a use of its file from construction on (anonymous ones do not).
  MappingObject(bool writable, const struct stat* file) : writable(writable), fileBacked(file != nullptr) {
    if (!file) return;
    key = {file->st_dev, file->st_ino};
    ViewRegistry& views = Views();
    std::lock_guard guard(views.lock);
    AddUse(views, key);
  }
  ~MappingObject() override {
    if (fd >= 0) ::close(fd);
    if (!fileBacked) return;
    ViewRegistry& views = Views();
    std::lock_guard guard(views.lock);
    DropUse(views, key);
  }
  int fd = -1;   // a duplicate: the mapping outlives the file handle it was made from
  const bool writable;
  const bool fileBacked;
  FileKey key{};
  std::uint64_t size = 0;
};

// ---- Errors and paths -------------------------------------------------------------------

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

// Where the last component of a Windows-form path starts: after the last separator or the
// drive colon; a trail byte equal to '\\' belongs to its character.
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

// Sets the error of a failed call on a path: a missing entry in a missing folder is
// ERROR_PATH_NOT_FOUND, as Windows reports it.
DWORD PathError(int error, const std::string& resolved) {
  if (error == ENOENT && !IsDirectory(ParentOf(resolved))) return ERROR_PATH_NOT_FOUND;
  return ErrorFromErrno(error);
}

void SetPathError(int error, const std::string& resolved) { SetLastError(PathError(error, resolved)); }

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

// ---- Time conversion --------------------------------------------------------------------

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// 100-ns ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000LL;
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

std::uint64_t TicksOf(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

FILETIME FileTimeFromTimespec(const timespec& time) {
  std::int64_t ticks = static_cast<std::int64_t>(time.tv_sec) * kTicksPerSecond + time.tv_nsec / 100 + kUnixEpochTicks;
  return FileTimeOf(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

timespec TimespecFromFileTime(const FILETIME& time) {
  std::int64_t unixTicks = static_cast<std::int64_t>(TicksOf(time)) - kUnixEpochTicks;
  std::int64_t seconds = unixTicks / kTicksPerSecond;
  std::int64_t remainder = unixTicks % kTicksPerSecond;
  if (remainder < 0) {
    remainder += kTicksPerSecond;
    --seconds;
  }
  return timespec{static_cast<time_t>(seconds), static_cast<long>(remainder * 100)};
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// ---- Find patterns ----------------------------------------------------------------------

// The characters of a GBK text: one or two bytes each.
std::vector<std::string_view> Characters(std::string_view text) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t width = gbk::CharLength(text, i);
    out.push_back(text.substr(i, width));
    i += width;
  }
  return out;
}

bool SameCharacter(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.size() == 2) return a == b;
  return gbk::EqualsNoCase(a, b);
}

// '*' matches any run of characters, '?' exactly one.
bool MatchCharacters(const std::vector<std::string_view>& pattern, const std::vector<std::string_view>& name) {
  std::size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == "*") {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == "?" || SameCharacter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == "*") ++p;
  return p == pattern.size();
}

bool MatchPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  auto nameChars = Characters(name);
  if (MatchCharacters(Characters(pattern), nameChars)) return true;
  // "x.*" also matches "x", as Windows matches a name without extension.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
    return MatchCharacters(Characters(pattern.substr(0, pattern.size() - 2)), nameChars);
  return false;
}

void FillFindData(const struct stat& info, const std::string& gbkName, WIN32_FIND_DATAA& data) {
  std::memset(&data, 0, sizeof data);
  if (S_ISDIR(info.st_mode)) {
    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    if (!(info.st_mode & S_IWUSR)) data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    auto size = static_cast<std::uint64_t>(info.st_size);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  data.ftLastWriteTime = FileTimeFromTimespec(info.st_mtim);
  data.ftCreationTime = data.ftLastWriteTime;
  data.ftLastAccessTime = data.ftLastWriteTime;
  std::size_t length = gbk::CutLength(gbkName, MAX_PATH - 1);
  std::memcpy(data.cFileName, gbkName.data(), length);
}

// ---- Writing through a temporary file ---------------------------------------------------

std::atomic<int> atomicReplaceFault{0};
std::atomic<void (*)()> atomicReplacePause{nullptr};

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
struct LiveTemps {
  std::mutex lock;
  std::vector<std::string> paths;   // guarded by lock
};

LiveTemps& Live() {
  static LiveTemps* live = new LiveTemps;
  return *live;
}

bool IsLive(const LiveTemps& live, const std::string& path) {
  return std::find(live.paths.begin(), live.paths.end(), path) != live.paths.end();
}

void ForgetLive(const std::string& path) {
  LiveTemps& live = Live();
  std::lock_guard guard(live.lock);
  auto found = std::find(live.paths.begin(), live.paths.end(), path);
  if (found != live.paths.end()) live.paths.erase(found);
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

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the temporary file at path when no writer holds it: a writer killed before its
// rename left it. It is locked before it is removed and must still be the file under that
// name, so that neither a live writer's file nor one created meanwhile is lost.
void RemoveIfStale(const std::string& path) {
  LiveTemps& live = Live();
  std::lock_guard guard(live.lock);
  if (IsLive(live, path)) return;
  // Opened for writing where it can be (record locks standing in for flock need it); a copy of
  // a read-only file was given the source's permissions while it was written.
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), O_RDWR | kFlags);
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kFlags);
  if (fd < 0) return;
  struct stat held, named;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
      lstat(path.c_str(), &named) == 0 && SameFile(held, named))
    unlink(path.c_str());
  ::close(fd);
}

// Creates the temporary file of target (a POSIX path) in a free slot, locked, after removing
// the stale ones of earlier writers; -1 with errno on failure (EBUSY when every slot is held).
int CreateTempBeside(const std::string& target, std::string& tempPath) {
  for (int slot = 0; slot < kTempSlots; ++slot) RemoveIfStale(TempSlotPath(target, slot));
  LiveTemps& live = Live();
  for (int slot = 0; slot < kTempSlots; ++slot) {
    std::string path = TempSlotPath(target, slot);
    {
      std::lock_guard guard(live.lock);
      if (IsLive(live, path)) continue;   // another thread of this process writes there
      live.paths.push_back(path);
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

// A temporary file being written: open, locked and registered as live while this object
// lives. Unless it was renamed into place (Renamed), it is removed when the object goes.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the temporary file of target; false with errno on failure.
  bool Create(const std::string& target) {
    fd_ = CreateTempBeside(target, path_);
    return fd_ >= 0;
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The file now has the target's name: its temporary name is gone and stays untouched.
  void Renamed() { renamed_ = true; }
  // Removes the file (unless renamed), closes it and lets its slot go.
  void Discard() {
    if (fd_ < 0) return;
    if (!renamed_) unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    ForgetLive(path_);
  }

 private:
  int fd_ = -1;
  std::string path_;
  bool renamed_ = false;
};

bool WriteAll(int fd, const char* data, std::size_t bytes) {
  while (bytes > 0) {
    ssize_t written = ::write(fd, data, bytes);
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
  fsync(fd);
  ::close(fd);
}

// Copies an open file's bytes, permissions and last-write time to target (a POSIX path)
// through a temporary file beside it; with noReplace an existing target is kept
// (ERROR_FILE_EXISTS). Returns ERROR_SUCCESS or the error; target is untouched on failure.
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
  if (error == ERROR_SUCCESS) {
    fchmod(out, sourceInfo.st_mode & 07777);
    timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    futimens(out, times);
    if (fsync(out) != 0) error = ErrorFromErrno(errno);
  }
  if (error == ERROR_SUCCESS) {
    // A hard link refuses a target created meanwhile (the temporary name is then removed);
    // rename replaces.
    const char* tempPath = temp.path().c_str();
    int placed = noReplace ? link(tempPath, target.c_str()) : rename(tempPath, target.c_str());
    if (placed != 0) error = noReplace && errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
    if (placed == 0 && !noReplace) temp.Renamed();
  }
  return error;
}

}  // namespace

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
  int fd = OnPath(path, resolved, [&](const std::string& target) {
    existed = created = false;
    switch (disposition) {
      case CREATE_NEW:
        created = true;
        return ::open(target.c_str(), accessFlags | O_CREAT | O_EXCL, 0666);
      case CREATE_ALWAYS:
      case OPEN_ALWAYS:
        for (int attempt = 0; attempt < 3; ++attempt) {
          int opened = ::open(target.c_str(), accessFlags);
          if (opened >= 0) {
            existed = true;
            return opened;
          }
          if (errno != ENOENT) return -1;
          opened = ::open(target.c_str(), accessFlags | O_CREAT | O_EXCL, 0666);
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
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t count = ::write(object->fd, static_cast<const char*>(buffer) + done, toWrite - done);
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
  if (fsync(object->fd) != 0) {
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
    return unlink(target.c_str());
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
  if (error == ERROR_SUCCESS && unlink(source.c_str()) != 0) {
    error = ErrorFromErrno(errno);
    unlink(target.c_str());   // one file, not two
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
  if (target == source) {
    // The target names the source itself under another case: rename to the spelling given.
    std::string_view toText = to;
    std::string name = gbk::ToUtf8(toText.substr(LastComponentStart(toText)));
    target = ParentOf(source) + "/" + name;
    if (name.empty() || target == source) return TRUE;
    if (rename(source.c_str(), target.c_str()) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return FALSE;
    }
  } else if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
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
    if (rename(source.c_str(), target.c_str()) != 0) {
      if (errno == EXDEV) return MoveAcrossDevices(source, sourceInfo, target);
      SetPathError(errno, target);
      return FALSE;
    }
  }
  paths::NoteRemoved(source);
  paths::NoteCreated(target);
  return TRUE;
}

// ---- Times --------------------------------------------------------------------------------

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* lastWrite) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  struct stat info;
  if (fstat(object->fd, &info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  FILETIME written = FileTimeFromTimespec(info.st_mtim);
  if (creation) *creation = written;
  if (access) *access = written;
  if (lastWrite) *lastWrite = written;
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* lastWrite) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (!object->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lastWrite) return TRUE;
  timespec times[2] = {{0, UTIME_OMIT}, TimespecFromFileTime(*lastWrite)};
  if (futimens(object->fd, times) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // SYSTEMTIME holds milliseconds: the 100-ns ticks below them are dropped.
  constexpr std::uint64_t kTicksPerMillisecond = kTicksPerSecond / 1000;
  kernel::SystemTimeFromUnixMilliseconds(
      static_cast<std::int64_t>(TicksOf(*fileTime) / kTicksPerMillisecond) - kUnixEpochTicks / kTicksPerMillisecond,
      systemTime);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
  if (!systemTime || !fileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME& t = *systemTime;
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
      t.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
  std::uint64_t ticks = static_cast<std::uint64_t>(days) * 86'400ULL * kTicksPerSecond +
                        (t.wHour * 3600ULL + t.wMinute * 60ULL + t.wSecond) * kTicksPerSecond +
                        t.wMilliseconds * 10'000ULL;
  *fileTime = FileTimeOf(ticks);
  return TRUE;
}

// ---- Find ---------------------------------------------------------------------------------

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !*pattern || !data) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string_view text = pattern;
  std::size_t nameStart = LastComponentStart(text);
  std::string folder = nameStart == 0 ? std::string(".") : std::string(text.substr(0, nameStart));
  std::string namePattern(text.substr(nameStart));
  if (namePattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string resolvedFolder;
  DIR* dir = nullptr;
  OnPath(folder.c_str(), resolvedFolder, [&](const std::string& target) {
    dir = opendir(target.c_str());
    return dir ? 0 : -1;
  });
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  struct Found {
    std::string upperName;
    WIN32_FIND_DATAA data;
  };
  std::vector<Found> found;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (resolvedFolder == "/" && (name == "." || name == "..")) continue;
    std::string gbkName = gbk::FromUtf8(name);
    if (!MatchPattern(namePattern, gbkName)) continue;
    std::string full;
    full.reserve(resolvedFolder.size() + 1 + name.size());
    if (resolvedFolder != "/") full.append(resolvedFolder);
    full.push_back('/');
    full.append(name);
    struct stat info;
    if (stat(full.c_str(), &info) != 0 && lstat(full.c_str(), &info) != 0) continue;   // gone meanwhile
    Found item;
    item.upperName = gbk::Upper(gbkName);
    FillFindData(info, gbkName, item.data);
    found.push_back(std::move(item));
  }
  closedir(dir);
  if (found.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Names that differ only in case come in byte order, whatever order the folder lists them in.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.upperName != b.upperName) return a.upperName < b.upperName;
    return std::strcmp(a.data.cFileName, b.data.cFileName) < 0;
  });
  auto search = std::make_shared<FindObject>();
  search->entries.reserve(found.size());
  for (auto& item : found) search->entries.push_back(item.data);
  *data = search->entries[0];
  search->next = 1;
  HANDLE handle = handles::Register(search);
  if (!handle) return INVALID_HANDLE_VALUE;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  auto search = handles::LookupAs<FindObject>(find);
  if (!search || !data) {
    SetLastError(search ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard guard(search->lock);
  if (search->next >= search->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!handles::LookupAs<FindObject>(find)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return handles::Close(find) ? TRUE : FALSE;
}

// ---- Mappings -----------------------------------------------------------------------------

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD maxSizeHigh,
                          DWORD maxSizeLow, LPCSTR name) {
  DWORD protection = protect & 0xFF;
  if (protection != PAGE_READONLY && protection != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool writable = protection == PAGE_READWRITE;
  std::uint64_t size = (static_cast<std::uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
  std::shared_ptr<MappingObject> mapping;
  if (file == INVALID_HANDLE_VALUE) {
    // Memory not backed by a named file: needs an explicit size.
    if (size == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    mapping = std::make_shared<MappingObject>(writable, nullptr);
    mapping->fd = memfd_create("zuvo-mapping", MFD_CLOEXEC);
    if (mapping->fd < 0 || ftruncate(mapping->fd, static_cast<off_t>(size)) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  } else {
    auto object = LookupFile(file);
    if (!object) return nullptr;
    if (!object->canRead || (writable && !object->canWrite)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    struct stat info;
    if (fstat(object->fd, &info) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    // Counted as a use before its size is read, so no call of ours cuts the file meanwhile.
    mapping = std::make_shared<MappingObject>(writable, &info);
    if (fstat(object->fd, &info) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    auto fileSize = static_cast<std::uint64_t>(info.st_size);
    if (size == 0) {
      if (fileSize == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
      }
      size = fileSize;
    } else if (size > fileSize) {
      if (!writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      if (ftruncate(object->fd, static_cast<off_t>(size)) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
      }
    }
    mapping->fd = fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (mapping->fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  }
  mapping->size = size;
  return handles::Register(std::move(mapping));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
  auto object = handles::LookupAs<MappingObject>(mapping);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool write = (access & FILE_MAP_WRITE) != 0;
  if (write && !object->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::uint64_t offset = (static_cast<std::uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset >= object->size || (bytes != 0 && bytes > object->size - offset)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (bytes == 0) bytes = static_cast<std::size_t>(object->size - offset);
  // The file may have been cut from outside since the mapping was made: a page beyond its end
  // would kill the process when touched.
  struct stat info {};
  if (fstat(object->fd, &info) != 0 || offset + bytes > static_cast<std::uint64_t>(info.st_size)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // mmap wants a page-aligned offset; the view starts inside the first page.
  auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  std::uint64_t alignedOffset = offset - offset % pageSize;
  std::size_t lead = static_cast<std::size_t>(offset - alignedOffset);
  void* base = mmap(nullptr, bytes + lead, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, object->fd,
                    static_cast<off_t>(alignedOffset));
  if (base == MAP_FAILED) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  void* view = static_cast<char*>(base) + lead;
  ViewRegistry& views = Views();
  std::lock_guard guard(views.lock);
  FileKey key{info.st_dev, info.st_ino};
  views.byAddress[view] = View{base, bytes + lead, key};
  AddUse(views, key);
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  View removed;
  {
    ViewRegistry& views = Views();
    std::lock_guard guard(views.lock);
    auto found = views.byAddress.find(view);
    if (found == views.byAddress.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    removed = found->second;
    views.byAddress.erase(found);
    DropUse(views, removed.file);
  }
  munmap(removed.base, removed.length);
  return TRUE;
}

// ---- Atomic replace -----------------------------------------------------------------------

namespace files {

bool AtomicReplace(std::string_view windowsPath, const void* data, std::size_t bytes) {
  int fault = atomicReplaceFault.load();
  if (windowsPath.empty() || (!data && bytes > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::string pathText(windowsPath);
  std::string target;
  TempFile temp;
  int created = OnPath(pathText.c_str(), target, [&](const std::string& resolved) {
    if (fault == 1) {
      errno = EACCES;
      return -1;
    }
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
  const char* bytesIn = static_cast<const char*>(data);
  DWORD error = ERROR_SUCCESS;
  if (fault == 2) {
    WriteAll(fd, bytesIn, bytes / 2);
    error = ERROR_WRITE_FAULT;
  } else if (!WriteAll(fd, bytesIn, bytes)) {
    error = errno == EIO ? ERROR_WRITE_FAULT : ErrorFromErrno(errno);
  } else if (fault == 3 || fsync(fd) != 0) {
    error = ERROR_WRITE_FAULT;
  }
  if (error == ERROR_SUCCESS) {
    if (void (*pause)() = atomicReplacePause.load()) pause();
    if (fault == 4 || rename(temp.path().c_str(), target.c_str()) != 0)
      error = fault == 4 ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno);
    else
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

void SetAtomicReplaceFaultForTest(int step) { atomicReplaceFault.store(step); }

void SetAtomicReplacePauseForTest(void (*beforeRename)()) { atomicReplacePause.store(beforeRename); }

}  // namespace files
