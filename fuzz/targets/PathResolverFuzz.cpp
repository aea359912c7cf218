// Fuzz target "paths": the path resolver and the check of names that come with data.
// Input: a name A; then, after part separators, a second name B and a Windows-form path P.
// Without them, B is A with the case of its ASCII letters swapped and P climbs through A
// ("..\<A>\..\DATA\sh\DAY").
// Property: a name from data joined onto a folder by CheckedJoin never leaves that folder
// (one more component, no "." or ".."), and is refused exactly when IsSafeComponent refuses
// it; every accepted name maps to a file of its own and back: created there, the folder lists
// exactly that name, ToWindows of the resolved path resolves to it again, and another name
// reaches that file exactly when the two are equal without regard to ASCII case. A relative
// path resolves as its lexically simplified form does ("x\.." dropped), whether or not x
// exists; every path that stays in the install tree resolves back from its Windows form.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr const char* kFolder = "..\\data\\SH";
constexpr std::size_t kMaxName = 60;
constexpr std::size_t kMaxPath = 240;

std::string Cut(std::string_view text, std::size_t limit) {
  text = text.substr(0, limit);
  return std::string(text.data(), strnlen(text.data(), text.size()));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The components of a Windows path as the resolver splits it: at '\' or '/' that is not the
// second byte of a double-byte character.
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t width = gbk::CharLength(path, i);
    if (width == 1 && IsSeparator(path[i])) {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current.append(path.substr(i, width));
    }
    i += width;
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// True when the relative path never climbs above the install root (the program folder's
// parent), so resolving it looks only inside the install tree.
bool StaysInTree(const std::vector<std::string>& parts) {
  int depth = 0;   // below bin/
  for (const std::string& part : parts) {
    if (part == "..") --depth;
    else if (part != ".") ++depth;
    if (depth < -1) return false;
  }
  return true;
}

// The path with "." dropped and each ".." taking away the name before it; '/' joins the
// parts, since a '\' after a name ending in a lone lead byte would pair with it.
std::string Simplified(const std::vector<std::string>& parts) {
  std::vector<std::string> kept;
  for (const std::string& part : parts) {
    if (part == ".") continue;
    if (part == ".." && !kept.empty() && kept.back() != "..") {
      kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  std::string path = ".";
  for (const std::string& part : kept) path += "/" + part;
  return path;
}

void CheckResolvesBack(const std::string& resolved) {
  if (resolved.empty()) return;
  FUZZ_CHECK(resolved[0] == '/', "a resolved path is absolute");
  FUZZ_CHECK(paths::Resolve(paths::ToWindows(resolved)) == resolved, "the Windows form of a resolved path resolves back to it");
}

// The names of the files (not folders) in a folder, as FindFirstFileA lists them.
std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    FUZZ_CHECK(strnlen(found.cFileName, sizeof found.cFileName) < sizeof found.cFileName,
               "a listed name ends in its terminator");
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

void CheckName(const std::string& name, const std::string& other) {
  std::string joined = "unchanged";
  const bool accepted = paths::CheckedJoin(kFolder, name, joined);
  FUZZ_CHECK(accepted == paths::IsSafeComponent(name), "CheckedJoin refuses exactly the unsafe names");
  if (!accepted) {
    FUZZ_CHECK(joined == "unchanged", "a refused join leaves its output alone");
    return;
  }
  FUZZ_CHECK(joined == std::string(kFolder) + "\\" + name, "a join puts one separator between folder and name");
  const std::string folder = paths::Resolve(kFolder);
  const std::string resolved = paths::Resolve(joined);
  FUZZ_CHECK(fuzz::Sandbox::IsInside(resolved, folder) && resolved.find('/', folder.size() + 1) == std::string::npos,
             "a name from data stays in its folder");
  CheckResolvesBack(resolved);

  if (gbk::EqualsNoCase(name, "day")) return;   // the folder that is already there
  files::ScopedHandle file(CreateFileA(joined.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  FUZZ_CHECK(file.ok(), "a safe name can be created");
  file.Close();
  const std::vector<std::string> listed = ListFiles(kFolder);
  FUZZ_CHECK(listed.size() == 1 && listed[0] == name, "the folder lists the created file under its own name");
  FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(resolved), "the file is where the name resolves");

  std::string otherJoined;
  if (paths::CheckedJoin(kFolder, other, otherJoined)) {
    const bool reaches = GetFileAttributesA(otherJoined.c_str()) != INVALID_FILE_ATTRIBUTES;
    FUZZ_CHECK(reaches == gbk::EqualsNoCase(name, other),
               "another name reaches the file exactly when it equals the name without regard to case");
  }
}

void CheckPath(const std::string& path) {
  if (path.empty() || IsSeparator(path[0])) return;   // absolute POSIX paths leave the tree
  const bool drive = path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z');
  const std::vector<std::string> parts = Components(drive ? std::string_view(path).substr(2) : std::string_view(path));
  if (!drive && !StaysInTree(parts)) return;
  const std::string resolved = paths::Resolve(path);
  CheckResolvesBack(resolved);
  if (!drive) FUZZ_CHECK(resolved == paths::Resolve(Simplified(parts)), "a path resolves as its simplified form does");
}

}  // namespace

int FuzzPathResolver(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string name = Cut(parts[0], kMaxName);
  std::string other;
  if (parts.size() > 1) {
    other = Cut(parts[1], kMaxName);
  } else {
    other = name;
    for (std::size_t i = 0; i < other.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(other[i]);
      if (gbk::CharLength(other, i) == 2) {
        ++i;
      } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
        other[i] = static_cast<char>(c ^ 0x20);
      }
    }
  }
  const std::string path = parts.size() > 2 ? Cut(parts[2], kMaxPath) : "..\\" + name + "\\..\\DATA\\sh\\DAY";

  fuzz::Sandbox::Write("data/SH/day/.keep", "");
  CheckName(name, other);
  CheckPath(path);
  CheckPath(name);
  return 0;
}
