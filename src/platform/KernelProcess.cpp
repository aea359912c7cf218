// Process calls of the kernel layer: the executable's path, the current directory, full paths,
// free disk space, the temporary folder and the per-user data folder, all in Windows form.
#include "platform/Kernel.h"
#include "platform/Library.h"

#include "platform/internal/Ownership.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace zuvo::platform;

namespace {

// The pseudo handle of the program's own module.
HMODULE selfModule() { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x400000)); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Copies text and a zero when it fits: returns its length. Otherwise leaves the buffer alone
// and returns the size needed including the zero (the GetCurrentDirectory convention).
DWORD copyOrNeed(const std::string& text, LPSTR buffer, DWORD size) {
  if (!buffer || text.size() + 1 > size) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

std::string currentDirectoryPosix() {
  std::string buffer(PATH_MAX, '\0');
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

std::string currentDirectoryWindows() {
  const std::string posix = currentDirectoryPosix();
  if (posix.empty()) return {};
  std::string windows = paths::ToWindows(posix);
  while (windows.size() > 1 && windows.back() == '\\') windows.pop_back();
  return windows;
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/') return entry->pw_dir;
  return "/tmp";
}

// The XDG data folder a test put in place of the real one; empty when none.
zuvo::platform::Guarded<std::string>& specialFolderOverride() {
  static auto* folder = new zuvo::platform::Guarded<std::string>;   // never destroyed: read until exit
  return *folder;
}

std::string xdgDataHome() {
  {
    auto folder = specialFolderOverride().Lock();
    if (!folder->empty()) return *folder;
  }
  // A relative $XDG_DATA_HOME is invalid by the XDG rules and is ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') return xdg;
  return homeDirectory() + "/.local/share";
}

// The program path a test put in place of the real one (an empty path: unreadable).
zuvo::platform::Guarded<std::optional<std::string>>& moduleFileOverride() {
  static auto* path = new zuvo::platform::Guarded<std::optional<std::string>>;   // never destroyed
  return *path;
}

// The free-space answer a test put in place of the disk's.
zuvo::platform::Guarded<kernel::DiskFreeSpaceSource>& diskFreeOverride() {
  static auto* source = new zuvo::platform::Guarded<kernel::DiskFreeSpaceSource>;   // never destroyed
  return *source;
}

// The bytes free to the caller on the disk of a folder (null: the current one).
std::optional<ULONGLONG> freeBytes(LPCSTR directory, ULONGLONG* total, ULONGLONG* totalFree) {
  kernel::DiskFreeSpaceSource source = *diskFreeOverride().Lock();
  if (source) {
    std::string windows;
    if (directory && directory[0]) {
      const DWORD needed = GetFullPathNameA(directory, 0, nullptr, nullptr);
      windows.resize(needed);
      const DWORD length = needed ? GetFullPathNameA(directory, needed, windows.data(), nullptr) : 0;
      windows.resize(length < needed ? length : 0);
    } else {
      windows = currentDirectoryWindows();
    }
    const std::optional<ULONGLONG> answer = source(windows);
    if (answer) {
      if (total) *total = *answer;
      if (totalFree) *totalFree = *answer;
    }
    return answer;
  }
  std::string posix = directory && directory[0] ? paths::Resolve(directory) : currentDirectoryPosix();
  // A folder that is not there yet is measured on the disk that would hold it.
  struct stat info {};
  while (!posix.empty() && stat(posix.c_str(), &info) != 0) {
    const std::size_t slash = posix.find_last_of('/');
    if (slash == std::string::npos) {
      posix.clear();
    } else {
      posix.resize(slash == 0 ? 1 : slash);
    }
  }
  struct statvfs disk {};
  if (posix.empty() || statvfs(posix.c_str(), &disk) != 0) return std::nullopt;
  const ULONGLONG unit = disk.f_frsize ? disk.f_frsize : disk.f_bsize;
  if (total) *total = ULONGLONG{disk.f_blocks} * unit;
  if (totalFree) *totalFree = ULONGLONG{disk.f_bfree} * unit;
  return ULONGLONG{disk.f_bavail} * unit;
}

}  // namespace

namespace zuvo::platform::kernel {

ScopedModuleFileName::ScopedModuleFileName(std::string windowsPath) {
  auto path = moduleFileOverride().Lock();
  previous_ = std::exchange(*path, std::move(windowsPath));
}

ScopedModuleFileName::~ScopedModuleFileName() { *moduleFileOverride().Lock() = std::move(previous_); }

ScopedDiskFreeSpace::ScopedDiskFreeSpace(DiskFreeSpaceSource source) {
  auto current = diskFreeOverride().Lock();
  previous_ = std::exchange(*current, std::move(source));
}

ScopedDiskFreeSpace::~ScopedDiskFreeSpace() { *diskFreeOverride().Lock() = std::move(previous_); }

ScopedSpecialFolder::ScopedSpecialFolder(const std::string& posixDir) {
  auto folder = specialFolderOverride().Lock();
  previous_ = std::exchange(*folder, posixDir);
}

ScopedSpecialFolder::~ScopedSpecialFolder() { *specialFolderOverride().Lock() = std::move(previous_); }

}  // namespace zuvo::platform::kernel

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (module && module != selfModule()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::string windows;
  if (std::optional<std::string> faked = *moduleFileOverride().Lock()) {
    windows = std::move(*faked);
  } else {
    std::string posix(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", posix.data(), posix.size());
    if (length > 0 && static_cast<std::size_t>(length) < posix.size()) {
      posix.resize(static_cast<std::size_t>(length));
      windows = paths::ToWindows(posix);
    }
  }
  if (windows.empty()) {
    buffer[0] = '\0';
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  if (windows.size() + 1 > size) {
    // Too long: truncated and terminated, and the full size returned so the caller can tell.
    std::memcpy(buffer, windows.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, windows.c_str(), windows.size() + 1);
  return static_cast<DWORD>(windows.size());
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (!name) return selfModule();
  return zuvo::platform::library::FindLoadedModule(name);
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (!path || !path[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string resolved = paths::Resolve(path);
  if (chdir(resolved.c_str()) != 0) {
    SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                                           : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  const std::string windows = currentDirectoryWindows();
  if (windows.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  return copyOrNeed(windows, buffer, size);
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (filePart) *filePart = nullptr;
  if (!path || !path[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string_view text(path);
  std::string prefix;   // "C:\" or "\"
  std::string_view rest;
  std::string base;     // components to put before the path's own
  if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
    prefix = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])))) + ":\\";
    rest = text.substr(2);
  } else if (isSeparator(text[0])) {
    prefix = "\\";
    rest = text;
  } else {
    const std::string cwd = currentDirectoryWindows();
    if (cwd.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return 0;
    }
    if (cwd.size() >= 2 && cwd[1] == ':') {
      prefix = cwd.substr(0, 2) + "\\";
      base = cwd.substr(2);
    } else {
      prefix.assign(1, '\\');
      base = cwd;
    }
    rest = text;
  }

  // "." and empty components go, ".." removes the one before (never climbing above the root).
  std::vector<std::string_view> components;
  bool endsWithSeparator = false;
  auto addComponents = [&components, &endsWithSeparator](std::string_view from) {
    std::size_t at = 0;
    std::size_t lastSeparator = std::string_view::npos;
    while (at <= from.size()) {
      std::size_t end = at;
      // The trail byte of a double-byte character may equal '\' and is no separator.
      while (end < from.size() && !isSeparator(from[end])) end += gbk::CharLength(from, end);
      const std::string_view component = from.substr(at, end - at);
      if (component == "..") {
        if (!components.empty()) components.pop_back();
      } else if (!component.empty() && component != ".") {
        components.push_back(component);
      }
      if (end < from.size()) lastSeparator = end;
      at = end + 1;
    }
    endsWithSeparator = !from.empty() && lastSeparator == from.size() - 1;
  };
  addComponents(base);
  addComponents(rest);

  std::string full = prefix;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i) full += '\\';
    full.append(components[i]);
  }
  if (endsWithSeparator && !components.empty()) full += '\\';

  const DWORD result = copyOrNeed(full, buffer, size);
  if (filePart && result == full.size() && !endsWithSeparator && !components.empty())
    *filePart = buffer + (full.size() - components.back().size());
  return result;
}

BOOL GetDiskFreeSpaceExA(LPCSTR directory, ULONGLONG* freeToCaller, ULONGLONG* total, ULONGLONG* totalFree) {
  const std::optional<ULONGLONG> free = freeBytes(directory, total, totalFree);
  if (!free) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (freeToCaller) *freeToCaller = *free;
  return TRUE;
}

BOOL GetDiskFreeSpaceA(LPCSTR rootPath, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters,
                       DWORD* totalClusters) {
  constexpr ULONGLONG kSectors = 8;
  constexpr ULONGLONG kSectorBytes = 512;
  ULONGLONG total = 0;
  const std::optional<ULONGLONG> free = freeBytes(rootPath, &total, nullptr);
  if (!free) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  auto clusters = [](ULONGLONG bytes) {
    const ULONGLONG count = bytes / (kSectors * kSectorBytes);
    return static_cast<DWORD>(count > 0xFFFFFFFFull ? 0xFFFFFFFFull : count);
  };
  if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(kSectors);
  if (bytesPerSector) *bytesPerSector = static_cast<DWORD>(kSectorBytes);
  if (freeClusters) *freeClusters = clusters(*free);
  if (totalClusters) *totalClusters = clusters(total);
  return TRUE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
  std::string posix = "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') {
    struct stat info {};
    if (stat(tmp, &info) == 0 && S_ISDIR(info.st_mode)) posix = tmp;
  }
  std::string windows = paths::ToWindows(posix);
  if (windows.empty() || windows.back() != '\\') windows += '\\';
  return copyOrNeed(windows, buffer, size);
}

BOOL SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string posix;
  switch (folder) {
    case CSIDL_APPDATA:
    case CSIDL_LOCAL_APPDATA:
      posix = xdgDataHome();
      break;
    case CSIDL_PERSONAL:
      posix = homeDirectory();
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  // These folders always exist on the system the program was written for; a fresh account
  // here may lack the data folder, so it is made whether or not creation was asked for.
  std::error_code error;
  std::filesystem::create_directories(posix, error);
  if (!std::filesystem::is_directory(posix, error)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string windows = paths::ToWindows(posix);
  while (windows.size() > 1 && windows.back() == '\\') windows.pop_back();
  if (windows.size() >= static_cast<std::size_t>(MAX_PATH)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(path, windows.c_str(), windows.size() + 1);
  return TRUE;
}
