// FindFirstFileA and its kin: a folder listed once, filtered by a Windows wildcard pattern
// without regard to case, and handed out entry by entry.
#include "platform/internal/FileSupport.h"

#include "platform/Text.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace zuvo::platform;

using files::FileTimeFromTimespec;
using files::LastComponentStart;
using files::OnPath;

namespace {

class FindObject : public handles::KernelObject {
 public:
  std::vector<WIN32_FIND_DATAA> entries;
  std::size_t next = 0;
  std::mutex lock;
};

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
}  // namespace

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
