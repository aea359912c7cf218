// The profile-string (INI) functions over a cache of parsed files.
//
// A file is kept as its raw lines (so writes keep comments, order and unknown lines) plus an
// index of sections and keys folded to upper case (ASCII only). A cached parse is reused while
// the file's modification time, size and inode are those seen when it was read, so a read
// costs one stat. Writes rebuild the whole file with CRLF line ends and replace it atomically,
// then put the new parse in the cache.
#include "platform/Profile.h"

#include "platform/Files.h"
#include "platform/internal/Ownership.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace zuvo::platform;

namespace {

// Settings files are small; anything larger is not a settings file and is left alone.
constexpr off_t kMaxProfileBytes = 64 * 1024 * 1024;
// Beyond this many cached files the cache starts over (the program uses a few dozen).
constexpr std::size_t kMaxCachedFiles = 512;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view trimTrailing(std::string_view text) {
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One pair of matching quotes around a value is not part of it.
std::string_view unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::string fold(std::string_view name) { return gbk::Upper(trim(name)); }

// Position of an ASCII byte outside double-byte characters (whose second byte may be ']').
std::size_t findAscii(std::string_view text, char wanted) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == wanted) return i;
    if (gbk::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return std::string_view::npos;
}

struct KeyEntry {
  std::string name;    // as written in the file, trimmed
  std::string value;   // trimmed and unquoted
  std::size_t line;
};

struct SectionEntry {
  std::string name;          // as written, trimmed
  std::size_t headerLine;
  std::size_t endLine;       // one past the section's last line
  std::vector<KeyEntry> keys;
  std::unordered_map<std::string, std::size_t> keyIndex;  // folded name -> first key
};

struct IniFile {
  std::vector<std::string> lines;   // without line ends
  std::vector<SectionEntry> sections;
  std::unordered_map<std::string, std::size_t> sectionIndex;  // folded name -> first section

  const SectionEntry* findSection(std::string_view name) const {
    auto it = sectionIndex.find(fold(name));
    return it == sectionIndex.end() ? nullptr : &sections[it->second];
  }
  const KeyEntry* findKey(std::string_view section, std::string_view key) const {
    const SectionEntry* entry = findSection(section);
    if (!entry) return nullptr;
    auto it = entry->keyIndex.find(fold(key));
    return it == entry->keyIndex.end() ? nullptr : &entry->keys[it->second];
  }
};

enum class LineKind { Blank, Comment, Section, Key, Other };

LineKind classify(std::string_view line, std::string_view& name, std::string_view& value) {
  const std::string_view text = trim(line);
  if (text.empty()) return LineKind::Blank;
  if (text.front() == ';') return LineKind::Comment;
  if (text.front() == '[') {
    const std::size_t close = findAscii(text, ']');
    name = trim(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return LineKind::Section;
  }
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return LineKind::Other;
  name = trim(text.substr(0, equals));
  value = unquote(trim(text.substr(equals + 1)));
  return LineKind::Key;
}

// Builds the section and key index from the lines. Lines before the first section belong to
// no section and are kept but never found.
void reindex(IniFile& file) {
  file.sections.clear();
  file.sectionIndex.clear();
  SectionEntry* current = nullptr;
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    std::string_view name, value;
    switch (classify(file.lines[i], name, value)) {
      case LineKind::Section: {
        if (current) current->endLine = i;
        file.sections.push_back(SectionEntry{std::string(name), i, file.lines.size(), {}, {}});
        current = &file.sections.back();
        file.sectionIndex.emplace(fold(name), file.sections.size() - 1);
        break;
      }
      case LineKind::Key:
        if (current && !name.empty()) {
          current->keys.push_back(KeyEntry{std::string(name), std::string(value), i});
          current->keyIndex.emplace(fold(name), current->keys.size() - 1);
        }
        break;
      default:
        break;
    }
  }
}

// Lines end at CR LF, LF or a lone CR. A lone CR left inside a line would come back inside a
// key's value or a section line, where no writer can put it again: rewriting the line would
// lose whatever follows it.
std::shared_ptr<IniFile> parse(std::string_view bytes) {
  auto file = std::make_shared<IniFile>();
  while (!bytes.empty()) {
    const std::size_t end = bytes.find_first_of("\r\n");
    file->lines.emplace_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
    bytes.remove_prefix(end + (crlf ? 2 : 1));
  }
  reindex(*file);
  return file;
}

std::string serialize(const IniFile& file) {
  std::size_t total = 0;
  for (const auto& line : file.lines) total += line.size() + 2;
  std::string bytes;
  bytes.reserve(total);
  for (const auto& line : file.lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

// What identifies one version of a file on disk.
struct Stamp {
  std::int64_t mtimeNs = 0;
  std::int64_t size = 0;
  std::uint64_t inode = 0;
  std::uint64_t device = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const struct stat& info) {
  return Stamp{std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec, info.st_size,
               static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_dev)};
}

struct CacheEntry {
  Stamp stamp;
  std::shared_ptr<const IniFile> file;
};

struct Cache {
  // Parsed files by resolved POSIX path.
  zuvo::platform::Guarded<std::unordered_map<std::string, CacheEntry>> files;
  // Held across a whole read-edit-replace of a file, so that two writers never edit the same
  // old content; it guards the files on disk, not a field.
  std::mutex writeLock;
};

Cache& cache() {
  static Cache* instance = new Cache;  // never destroyed: other threads may read until exit
  return *instance;
}

enum class LoadStatus { Loaded, Missing, Unreadable };

struct Loaded {
  LoadStatus status = LoadStatus::Missing;
  std::shared_ptr<const IniFile> file;
  std::string resolved;
};

bool readWhole(int fd, off_t size, std::string& bytes) {
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0) return false;
    if (got == 0) break;  // shrank while reading: take what is there
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return true;
}

// The current parse of a file: from the cache when the file is unchanged, else read afresh.
Loaded load(const char* fileName) {
  Loaded result;
  bool everyComponentFound = false;
  result.resolved = paths::Resolve(fileName, &everyComponentFound);
  struct stat info {};
  if (stat(result.resolved.c_str(), &info) != 0 && everyComponentFound) {
    // The directory cache knew every component, yet the file is gone: it changed behind the
    // platform's back. Look again once.
    paths::ForgetPath(result.resolved);
    result.resolved = paths::Resolve(fileName);
  } else if (!result.resolved.empty() && S_ISREG(info.st_mode)) {
    auto files = cache().files.Lock();
    auto it = files->find(result.resolved);
    if (it != files->end() && it->second.stamp == stampOf(info)) {
      result.status = LoadStatus::Loaded;
      result.file = it->second.file;
      return result;
    }
  }

  const int fd = open(result.resolved.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.status = errno == ENOENT || errno == ENOTDIR ? LoadStatus::Missing : LoadStatus::Unreadable;
    cache().files.Lock()->erase(result.resolved);
    return result;
  }
  std::string bytes;
  const bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxProfileBytes &&
                  readWhole(fd, info.st_size, bytes);
  close(fd);
  if (!ok) {
    result.status = LoadStatus::Unreadable;
    return result;
  }
  std::shared_ptr<const IniFile> parsed = parse(bytes);
  {
    auto files = cache().files.Lock();
    if (files->size() >= kMaxCachedFiles) files->clear();
    (*files)[result.resolved] = CacheEntry{stampOf(info), parsed};
  }
  result.status = LoadStatus::Loaded;
  result.file = std::move(parsed);
  return result;
}

// Copies text into buffer (at most size-1 bytes, never half a double-byte character) and a
// zero; returns the bytes copied.
DWORD copyText(std::string_view text, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const std::size_t length = gbk::CutLength(text, size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

// Writes a list of zero-terminated items ending with a second zero. When it does not fit, the
// last item that fits partly is cut, two zeros end the buffer and size-2 is returned.
DWORD copyList(const std::vector<std::string_view>& items, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::size_t at = 0;
  const std::size_t room = size - 1;  // the final zero always fits in the last byte
  for (std::string_view item : items) {
    if (at + item.size() + 1 <= room) {
      std::memcpy(buffer + at, item.data(), item.size());
      at += item.size();
      buffer[at++] = '\0';
      continue;
    }
    // An earlier item may have filled the buffer up to the last byte: nothing of this one fits.
    const std::size_t part = at + 2 < size ? gbk::CutLength(item, size - 2 - at) : 0;
    std::memcpy(buffer + at, item.data(), part);
    std::memset(buffer + at + part, 0, size - at - part);
    return size - 2;
  }
  buffer[at] = '\0';
  if (at == 0) buffer[1] = '\0';
  return static_cast<DWORD>(at);
}

// A value keeps only its first line: a line break would end the line in the file and turn
// the rest into keys or sections of its own.
std::string_view firstLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

bool hasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// A name is written only when the reader finds it again: the line the writer would put in the
// file is read back with the reader's own rule and must give the same name. This refuses every
// way a name can be lost, whichever rule of the reader causes it: a line break, ']' or '=' where
// the reader ends the name, a lead byte that takes the closing ']' as its second byte, a key
// that reads as a section or comment, and a name that is empty once trimmed.
bool readsBack(std::string_view line, LineKind kind, std::string_view name) {
  std::string_view found, value;
  return classify(line, found, value) == kind && found == name;
}

bool validSectionName(std::string_view name) {
  const std::string_view trimmed = trim(name);
  if (trimmed.empty() || hasLineBreak(name)) return false;
  std::string line;
  line.reserve(trimmed.size() + 2);
  line.push_back('[');
  line.append(trimmed);
  line.push_back(']');
  return readsBack(line, LineKind::Section, trimmed);
}

bool validKeyName(std::string_view name) {
  const std::string_view trimmed = trim(name);
  if (trimmed.empty() || hasLineBreak(name)) return false;
  std::string line(trimmed);
  line.push_back('=');
  return readsBack(line, LineKind::Key, trimmed);
}

// The index just past the last non-blank line of a section (its trailing blank lines, which
// separate it from the next section, stay after anything inserted).
std::size_t contentEnd(const IniFile& file, const SectionEntry& section) {
  std::size_t end = section.endLine;
  while (end > section.headerLine + 1 && trim(file.lines[end - 1]).empty()) --end;
  return end;
}

std::vector<std::size_t> sectionsNamed(const IniFile& file, std::string_view name) {
  const std::string folded = fold(name);
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < file.sections.size(); ++i)
    if (fold(file.sections[i].name) == folded) found.push_back(i);
  return found;
}

void appendSection(IniFile& file, std::string_view name, const std::vector<std::string>& body) {
  const std::string_view trimmed = trim(name);
  std::string header;
  header.reserve(trimmed.size() + 2);
  header.push_back('[');
  header.append(trimmed);
  header.push_back(']');
  file.lines.push_back(std::move(header));
  file.lines.insert(file.lines.end(), body.begin(), body.end());
}

void setKey(IniFile& file, std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view keyName = trim(key);
  const auto* entry = file.findSection(section);
  if (!entry) {
    appendSection(file, section, {std::string(keyName) + "=" + std::string(value)});
    return;
  }
  auto it = entry->keyIndex.find(fold(key));
  if (it != entry->keyIndex.end()) {
    const KeyEntry& existing = entry->keys[it->second];
    file.lines[existing.line] = existing.name + "=" + std::string(value);
    return;
  }
  const std::size_t at = contentEnd(file, *entry);
  file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at),
                    std::string(keyName) + "=" + std::string(value));
}

// Removes every line of the key (duplicates too) from the first section of that name.
bool deleteKey(IniFile& file, std::string_view section, std::string_view key) {
  const auto* entry = file.findSection(section);
  if (!entry) return false;
  const std::string folded = fold(key);
  std::vector<std::size_t> doomed;
  for (const KeyEntry& k : entry->keys)
    if (fold(k.name) == folded) doomed.push_back(k.line);
  for (auto line = doomed.rbegin(); line != doomed.rend(); ++line)
    file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(*line));
  return !doomed.empty();
}

// Removes every section of that name with all its lines.
bool deleteSection(IniFile& file, std::string_view section) {
  const auto found = sectionsNamed(file, section);
  for (auto i = found.rbegin(); i != found.rend(); ++i) {
    const SectionEntry& entry = file.sections[*i];
    file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(entry.headerLine),
                     file.lines.begin() + static_cast<std::ptrdiff_t>(entry.endLine));
  }
  return !found.empty();
}

void replaceSection(IniFile& file, std::string_view section, const std::vector<std::string>& body) {
  const auto* entry = file.findSection(section);
  if (!entry) {
    appendSection(file, section, body);
    return;
  }
  const std::size_t from = entry->headerLine + 1;
  const std::size_t to = contentEnd(file, *entry);
  file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(from),
                   file.lines.begin() + static_cast<std::ptrdiff_t>(to));
  file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(from), body.begin(), body.end());
}

enum class EditResult { Changed, Unchanged, Failed };

// Applies an edit to the current content of a file and writes it back whole, atomically.
// A file that exists but cannot be read is never overwritten.
template <class Edit>
BOOL editFile(const char* fileName, bool createWhenMissing, Edit edit) {
  std::lock_guard<std::mutex> writer(cache().writeLock);
  Loaded current = load(fileName);
  if (current.status == LoadStatus::Unreadable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (current.status == LoadStatus::Missing && !createWhenMissing) return TRUE;  // nothing to delete
  IniFile next = current.file ? *current.file : IniFile{};
  if (!edit(next)) return TRUE;
  const std::string bytes = serialize(next);
  if (!files::AtomicReplace(fileName, bytes.data(), bytes.size())) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  reindex(next);
  // The replace may have created the file or a differently-cased one: resolve again.
  const std::string resolved = paths::Resolve(fileName);
  struct stat info {};
  auto files = cache().files.Lock();
  files->erase(current.resolved);
  if (stat(resolved.c_str(), &info) == 0) {
    if (files->size() >= kMaxCachedFiles) files->clear();
    (*files)[resolved] = CacheEntry{stampOf(info), std::make_shared<const IniFile>(std::move(next))};
  }
  return TRUE;
}

std::vector<std::string> linesOfList(const char* list) {
  std::vector<std::string> lines;
  for (const char* item = list; *item; item += std::strlen(item) + 1) {
    // Each item is one line; a line break inside it would split it in the file.
    const std::string_view line = firstLine(item);
    if (!trim(line).empty()) lines.emplace_back(line);
  }
  return lines;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
  if (!buffer || size == 0) return 0;
  const Loaded loaded = fileName ? load(fileName) : Loaded{};
  const IniFile* file = loaded.file.get();

  if (!section) {
    std::vector<std::string_view> names;
    if (file)
      for (const auto& s : file->sections) names.push_back(s.name);
    return copyList(names, buffer, size);
  }
  if (!key) {
    std::vector<std::string_view> keys;
    if (const SectionEntry* entry = file ? file->findSection(section) : nullptr)
      for (const auto& k : entry->keys) keys.push_back(k.name);
    return copyList(keys, buffer, size);
  }
  if (file) {
    if (const KeyEntry* entry = file->findKey(section, key)) return copyText(entry->value, buffer, size);
  }
  return copyText(trimTrailing(defaultValue ? defaultValue : ""), buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR fileName) {
  if (!section || !key || !fileName) return static_cast<UINT>(defaultValue);
  const Loaded loaded = load(fileName);
  const KeyEntry* entry = loaded.file ? loaded.file->findKey(section, key) : nullptr;
  // The default stands only for a missing key or an empty value; a value without digits is 0.
  if (!entry || entry->value.empty()) return static_cast<UINT>(defaultValue);
  std::string_view text = trim(entry->value);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;  // trailing junk ends the number
    number = std::min<std::int64_t>(number * 10 + (c - '0'), std::int64_t{1} << 32);
  }
  if (negative) number = -number;
  number = std::clamp<std::int64_t>(number, INT32_MIN, INT32_MAX);
  return static_cast<UINT>(static_cast<int>(number));
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (!fileName || !section) {
    // All three null only asks to flush the cache, which is always written through.
    if (!section && !key && !value) return TRUE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!validSectionName(section) || (key && !validKeyName(key))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!key) return editFile(fileName, false, [&](IniFile& file) { return deleteSection(file, section); });
  if (!value) return editFile(fileName, false, [&](IniFile& file) { return deleteKey(file, section, key); });
  const std::string_view text = firstLine(value);
  return editFile(fileName, true, [&](IniFile& file) {
    if (const KeyEntry* existing = file.findKey(section, key)) {
      if (existing->name + "=" + std::string(text) == file.lines[existing->line]) return false;
    }
    setKey(file, section, key, text);
    return true;
  });
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName) {
  if (!buffer || size == 0) return 0;
  std::vector<std::string_view> lines;
  const Loaded loaded = section && fileName ? load(fileName) : Loaded{};
  if (const SectionEntry* entry = loaded.file ? loaded.file->findSection(section) : nullptr) {
    for (std::size_t i = entry->headerLine + 1; i < entry->endLine; ++i) {
      std::string_view name, value;
      const LineKind kind = classify(loaded.file->lines[i], name, value);
      if (kind == LineKind::Key || kind == LineKind::Other) lines.push_back(trim(loaded.file->lines[i]));
    }
  }
  return copyList(lines, buffer, size);
}

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName) {
  return GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, size, fileName);
}

BOOL WritePrivateProfileSectionA(LPCSTR section, LPCSTR lines, LPCSTR fileName) {
  if (!fileName || !section || !validSectionName(section)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!lines) return editFile(fileName, false, [&](IniFile& file) { return deleteSection(file, section); });
  const std::vector<std::string> body = linesOfList(lines);
  return editFile(fileName, true, [&](IniFile& file) {
    replaceSection(file, section, body);
    return true;
  });
}

namespace zuvo::platform::profile {

void ClearCache() {
  cache().files.Lock()->clear();
}

}  // namespace zuvo::platform::profile
