#include "platform/Paths.h"

#include "platform/internal/Ownership.h"
#include "platform/Text.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zuvo::platform::paths {
namespace {

// A directory listing is trusted until its directory's mtime changes. A listing read in the
// same clock tick as the directory's last change may have missed a later change in that tick
// (file system times are coarse: a few milliseconds, or whole seconds where the file system
// keeps no nanoseconds), so such a listing is re-read whenever it misses.
constexpr long long kUnsureFineNanoseconds = 50'000'000LL;
constexpr long long kUnsureCoarseNanoseconds = 2'000'000'000LL;
// The cache is dropped whole when it holds this many directories.
constexpr std::size_t kMaxCachedDirectories = 4096;
// Whole resolved paths kept, per kind; dropped whole when full.
constexpr std::size_t kMaxResolvedPaths = 8192;

// The names on disk that fold to one key. Nearly always one, kept inline so that listing a
// folder of thousands of bar files costs one map node per file.
struct Names {
  std::string first;                 // the smallest name
  std::vector<std::string> others;   // more names differing only in case, sorted

  bool Has(const std::string& name) const {
    return name == first || std::find(others.begin(), others.end(), name) != others.end();
  }
  // True when the name was not there yet.
  bool Add(const std::string& name) {
    if (first.empty()) {
      first = name;
      return true;
    }
    if (Has(name)) return false;
    others.push_back(name);
    Sort();
    return true;
  }
  // True when no name is left.
  bool Remove(const std::string& name) {
    if (name == first) {
      if (others.empty()) return true;
      first = others.front();
      others.erase(others.begin());
    } else {
      others.erase(std::remove(others.begin(), others.end(), name), others.end());
    }
    return false;
  }

 private:
  void Sort() {
    others.push_back(std::move(first));
    std::sort(others.begin(), others.end());
    first = std::move(others.front());
    others.erase(others.begin());
  }
};

struct Listing {
  // ASCII-folded UTF-8 name -> the names on disk with that folding.
  std::unordered_map<std::string, Names> byFolded;
  timespec mtime{};
  bool unsure = false;
};

struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
using ResolvedPaths = std::unordered_map<std::string, std::string, TextHash, std::equal_to<>>;

// The directory cache, reached only through the lock of TheCache(): the functions below that
// take a Cache& are handed it by a caller that holds the lock.
struct Cache {
  std::string installRoot;
  std::unordered_map<std::string, Listing> listings;
  std::unordered_set<std::string> drivesMade;
  // Windows paths whose every component was found, with their result: a repeated path (the
  // bar loader's per quote, a profile read) costs one lookup instead of one per component.
  // They hold only while the listings they came from are unchanged, so every change to a
  // listing drops them all (ForgetResolved). Relative paths hold for relativeBase only.
  ResolvedPaths rootedPaths;
  ResolvedPaths relativePaths;
  std::string relativeBase;
};

void ForgetResolved(Cache& cache) {
  cache.rootedPaths.clear();
  cache.relativePaths.clear();
}

platform::Guarded<Cache>& TheCache() {
  static auto* cache = new platform::Guarded<Cache>;   // never destroyed: files may be closed during exit
  return *cache;
}

std::string FoldName(std::string_view utf8Name) {
  std::string folded(utf8Name);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec; }

void Append(std::string& path, std::string_view name) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
}

std::string Join(const std::string& dir, std::string_view name) {
  std::string out = dir;
  Append(out, name);
  return out;
}

// Splits an absolute POSIX path into its parent directory and last name.
bool SplitLast(const std::string& posixPath, std::string& dir, std::string& name) {
  std::string path = posixPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  auto slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 >= path.size()) return false;
  dir = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
  return true;
}

bool LoadListing(const std::string& dir, Listing& listing) {
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  DIR* handle = opendir(dir.c_str());
  if (!handle) return false;
  listing.byFolded.clear();
  listing.byFolded.reserve(64);
  while (dirent* entry = readdir(handle)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    listing.byFolded[FoldName(name)].Add(std::string(name));
  }
  closedir(handle);
  listing.mtime = info.st_mtim;
  long long window = info.st_mtim.tv_nsec == 0 ? kUnsureCoarseNanoseconds : kUnsureFineNanoseconds;
  listing.unsure = Nanoseconds(now) - Nanoseconds(info.st_mtim) < window;
  return true;
}

bool DirectoryChanged(const std::string& dir, const Listing& listing) {
  if (listing.unsure) return true;
  struct stat info;
  if (stat(dir.c_str(), &info) != 0) return true;
  return info.st_mtim.tv_sec != listing.mtime.tv_sec || info.st_mtim.tv_nsec != listing.mtime.tv_nsec;
}

// Finds the name on disk of a component of dir; the exact spelling wins over other cases.
bool LookUp(Cache& cache, const std::string& dir, const std::string& utf8Name, std::string& actual) {
  std::string folded = FoldName(utf8Name);
  auto found = cache.listings.find(dir);
  bool fresh = false;
  if (found == cache.listings.end()) {
    Listing listing;
    if (!LoadListing(dir, listing)) return false;
    if (cache.listings.size() >= kMaxCachedDirectories) {
      cache.listings.clear();
      ForgetResolved(cache);
    }
    found = cache.listings.emplace(dir, std::move(listing)).first;
    fresh = true;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto names = found->second.byFolded.find(folded);
    if (names != found->second.byFolded.end()) {
      actual = names->second.Has(utf8Name) ? utf8Name : names->second.first;
      return true;
    }
    // A miss may be a name created behind our back since the listing was read.
    if (fresh || !DirectoryChanged(dir, found->second)) return false;
    ForgetResolved(cache);   // paths through this folder may resolve otherwise now
    if (!LoadListing(dir, found->second)) {
      cache.listings.erase(found);
      return false;
    }
    fresh = true;
  }
  return false;
}

std::string CurrentDirectory() {
  std::string buffer(512, '\0');
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

std::string RootLocked(Cache& cache) {
  if (!cache.installRoot.empty()) return cache.installRoot;
  std::string cwd = CurrentDirectory();
  auto slash = cwd.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : cwd.substr(0, slash);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t CharWidth(std::string_view text, std::size_t i) { return gbk::CharLength(text, i); }

// Splits a GBK path into its components; a trail byte equal to '\\' stays inside its character.
std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size();) {
    if (CharWidth(path, i) == 2) {
      i += 2;
      continue;
    }
    if (IsSeparator(path[i])) {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  if (start < path.size()) parts.push_back(path.substr(start));
  return parts;
}

void PopComponent(std::string& path, std::size_t floor) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos || path.size() <= floor) return;
  path.resize(slash < floor ? floor : (slash == 0 ? 1 : slash));
}

}  // namespace

void SetInstallRoot(const std::string& posixRoot) {
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  ForgetResolved(cache);
  cache.installRoot = posixRoot;
  while (cache.installRoot.size() > 1 && cache.installRoot.back() == '/') cache.installRoot.pop_back();
}

std::string InstallRoot() {
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  return RootLocked(cache);
}

std::string Resolve(std::string_view windowsPath) { return Resolve(windowsPath, nullptr); }

std::string Resolve(std::string_view windowsPath, bool* everyComponentFound) {
  if (everyComponentFound) *everyComponentFound = false;
  if (windowsPath.empty()) return {};
  unsigned char first = static_cast<unsigned char>(windowsPath[0]);
  bool drive = windowsPath.size() >= 2 && windowsPath[1] == ':' && (first | 0x20) >= 'a' && (first | 0x20) <= 'z';
  bool relative = !drive && !IsSeparator(windowsPath[0]);
  std::string base = relative ? CurrentDirectory() : std::string();
  auto locked = TheCache().Lock();
  Cache& cache = *locked;

  // Without an install root set, drive folders follow the current directory: not kept.
  ResolvedPaths* known = relative ? &cache.relativePaths
                         : drive && cache.installRoot.empty() ? nullptr
                                                              : &cache.rootedPaths;
  if (relative && base != cache.relativeBase) {
    cache.relativePaths.clear();
    cache.relativeBase = base;
  }
  if (known) {
    auto hit = known->find(windowsPath);
    if (hit != known->end()) {
      if (everyComponentFound) *everyComponentFound = true;
      return hit->second;
    }
  }

  std::string result;
  std::size_t floor = 1;   // ".." never climbs above this many leading bytes
  std::string_view rest = windowsPath;
  if (drive) {
    result = Join(RootLocked(cache), std::string("drive_") + static_cast<char>(first | 0x20));
    if (!cache.drivesMade.count(result)) {
      if (mkdir(result.c_str(), 0777) == 0) {
        std::string dir, name;
        if (SplitLast(result, dir, name)) cache.listings.erase(dir);
        ForgetResolved(cache);
        cache.drivesMade.insert(result);
      } else if (errno == EEXIST) {
        cache.drivesMade.insert(result);
      }
    }
    floor = result.size();
    rest = windowsPath.substr(2);
  } else if (!relative) {
    result = "/";
  } else {
    result = std::move(base);
  }

  // Components at the end of result that were not found on disk: below the first of them
  // nothing can be looked up, and a ".." that removes them all brings the lookup back.
  std::size_t missing = 0;
  for (std::string_view part : Components(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (missing > 0) --missing;
      PopComponent(result, floor);
      continue;
    }
    std::string utf8 = gbk::ToUtf8(part);
    if (missing == 0) {
      std::string actual;
      if (LookUp(cache, result, utf8, actual)) {
        Append(result, actual);
        continue;
      }
    }
    ++missing;
    Append(result, utf8);
  }
  const bool existing = missing == 0;
  if (everyComponentFound) *everyComponentFound = existing;
  // A path with a missing component is not kept: its miss must look at the folder again.
  if (existing && known) {
    if (known->size() >= kMaxResolvedPaths) known->clear();
    known->emplace(std::string(windowsPath), result);
  }
  return result;
}

void InvalidateCache(const std::string& posixDir) {
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  ForgetResolved(cache);
  if (posixDir.empty()) {
    cache.listings.clear();
    cache.drivesMade.clear();
    return;
  }
  std::string dir = posixDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::string prefix = dir == "/" ? dir : dir + "/";
  for (auto it = cache.listings.begin(); it != cache.listings.end();) {
    if (it->first == dir || it->first.compare(0, prefix.size(), prefix) == 0)
      it = cache.listings.erase(it);
    else
      ++it;
  }
  for (auto it = cache.drivesMade.begin(); it != cache.drivesMade.end();) {
    if (*it == dir || it->compare(0, prefix.size(), prefix) == 0)
      it = cache.drivesMade.erase(it);
    else
      ++it;
  }
}

void NoteCreated(const std::string& posixPath) {
  std::string dir, name;
  if (!SplitLast(posixPath, dir, name)) return;
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  auto found = cache.listings.find(dir);
  if (found == cache.listings.end()) return;
  // Only a new spelling beside an existing one changes a path already resolved (to the
  // exact spelling); a name new to the folder was a miss, and misses are not kept.
  Names& names = found->second.byFolded[FoldName(name)];
  bool caseTwin = !names.first.empty();
  if (names.Add(name) && caseTwin) ForgetResolved(cache);
  // Our own change moved the directory's mtime; take it so the next miss does not re-read.
  struct stat info;
  if (stat(dir.c_str(), &info) == 0) found->second.mtime = info.st_mtim;
}

void NoteRemoved(const std::string& posixPath) {
  std::string dir, name;
  if (!SplitLast(posixPath, dir, name)) return;
  InvalidateCache(Join(dir, name));
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  ForgetResolved(cache);
  auto found = cache.listings.find(dir);
  if (found == cache.listings.end()) return;
  auto names = found->second.byFolded.find(FoldName(name));
  if (names != found->second.byFolded.end()) {
    if (names->second.Remove(name)) found->second.byFolded.erase(names);
  }
  struct stat info;
  if (stat(dir.c_str(), &info) == 0) found->second.mtime = info.st_mtim;
}

void ForgetPath(const std::string& posixPath) {
  auto locked = TheCache().Lock();
  Cache& cache = *locked;
  ForgetResolved(cache);
  std::string path = posixPath;
  while (true) {
    cache.listings.erase(path);
    auto slash = path.rfind('/');
    if (slash == std::string::npos || path == "/") break;
    path.resize(slash == 0 ? 1 : slash);
  }
}

std::string ToWindows(std::string_view posixPath) {
  std::string out = gbk::FromUtf8(posixPath);
  bool afterLoneLeadByte = false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (CharWidth(out, i) == 2) {
      ++i;
      afterLoneLeadByte = false;
      continue;
    }
    // A name that ends in a lead byte with no trail byte keeps its '/': a '\\' there would be
    // read as the trail byte of one character, and Resolve takes either separator.
    if (out[i] == '/' && !afterLoneLeadByte) out[i] = '\\';
    afterLoneLeadByte = gbk::IsLeadByte(static_cast<unsigned char>(out[i]));
  }
  return out;
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component == "." || component == "..") return false;
  for (std::size_t i = 0; i < component.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(component[i]);
    if (gbk::IsLeadByte(c)) {
      if (CharWidth(component, i) != 2) return false;   // a cut or broken character
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F) return false;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

bool CheckedJoin(std::string_view base, std::string_view component, std::string& out) {
  if (!IsSafeComponent(component)) return false;
  std::string joined(base);
  // Does base already end in a separator (and not in a trail byte that looks like one)?
  bool endsWithSeparator = false;
  for (std::size_t i = 0; i < joined.size(); ++i) {
    if (CharWidth(joined, i) == 2) {
      ++i;
      endsWithSeparator = false;
      continue;
    }
    endsWithSeparator = IsSeparator(joined[i]);
  }
  if (!joined.empty() && !endsWithSeparator) joined.push_back('\\');
  joined.append(component);
  out = std::move(joined);
  return true;
}

}  // namespace zuvo::platform::paths
