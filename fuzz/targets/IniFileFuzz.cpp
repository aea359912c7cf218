// Fuzz target "ini": the profile-string functions over a hostile settings file.
// Input: the file's bytes; then, after the part separator, write operations as zero-ended
// fields taken three at a time (section, key, value; a field "\x01" stands for a null key or
// value). Without operations, every key found is written back with a changed value, one is
// deleted and a new section is added.
// Property: a write reported as done reads back at once and again from the file on disk
// (cache dropped): the value written (its first line, blanks trimmed, one pair of quotes taken
// off), or the default once deleted; every key of the file that no write touched keeps the
// value it had; GetPrivateProfileIntA follows the Windows rule on what was written (the
// default when the key is missing or its value empty, the decimal number it starts with, 0
// when it holds no digit); a value copied into a short buffer is the longest prefix that does
// not split a double-byte character; lists end in their two zeros inside the buffer.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Profile.h"
#include "platform/Text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr const char* kFile = "..\\cfg\\fuzz.ini";
// No value can hold a line break, so no key found reads as this.
constexpr const char* kDefault = "\n<missing>";
constexpr std::size_t kMaxOperations = 48;
constexpr std::size_t kMaxProbes = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Sections and keys are found by their trimmed name without regard to ASCII case.
std::string Fold(std::string_view name) { return gbk::Upper(Trim(name)); }

std::string_view FirstLine(std::string_view text) { return text.substr(0, text.find_first_of("\r\n")); }

// What a value written reads back as.
std::string ReadBackOf(std::string_view value) {
  std::string_view text = Trim(FirstLine(value));
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
    text = text.substr(1, text.size() - 2);
  return std::string(text);
}

std::string ReadValue(const std::string& section, const std::string& key, std::size_t room) {
  std::vector<char> buffer(room + 2, '\x7F');
  const DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer.data(),
                                             static_cast<DWORD>(buffer.size()), kFile);
  FUZZ_CHECK(got < buffer.size() && buffer[got] == '\0', "a copied value ends in its zero inside the buffer");
  return std::string(buffer.data(), got);
}

// A list ends in two zeros: its last item's and one more, or, when cut (length size - 2), the
// buffer's last two.
bool EndsInTwoZeros(const std::vector<char>& buffer, DWORD got, DWORD size) {
  const bool whole = got < size && buffer[got] == '\0' && (got == 0 ? buffer[1] == '\0' : buffer[got - 1] == '\0');
  // A list that just fits and a cut one both give size - 2.
  return whole || (got + 2 == size && buffer[got] == '\0' && buffer[got + 1] == '\0');
}

// A double-zero list read whole (the buffer grows until it is not cut).
std::vector<std::string> ReadList(const char* section) {
  for (std::size_t size = 256;; size *= 4) {
    std::vector<char> buffer(size, '\x7F');
    const DWORD got = section ? GetPrivateProfileStringA(section, nullptr, "", buffer.data(), static_cast<DWORD>(size), kFile)
                              : GetPrivateProfileSectionNamesA(buffer.data(), static_cast<DWORD>(size), kFile);
    FUZZ_CHECK(EndsInTwoZeros(buffer, got, static_cast<DWORD>(size)), "a list ends in two zeros inside the buffer");
    if (got + 2 < size || size >= kMaxFuzzInput * 4) {
      std::vector<std::string> items;
      for (std::size_t at = 0; at < got && buffer[at] != '\0';) {
        const std::string item(buffer.data() + at);
        at += item.size() + 1;
        items.push_back(item);
      }
      return items;
    }
  }
}

// Checks the truncation rules of a list read into a buffer of `size` bytes.
void CheckShortList(const char* section, DWORD size) {
  std::vector<char> buffer(size + 8, '\x7F');
  const DWORD got = section ? GetPrivateProfileStringA(section, nullptr, "", buffer.data(), size, kFile)
                            : GetPrivateProfileSectionNamesA(buffer.data(), size, kFile);
  FUZZ_CHECK(buffer[size] == '\x7F', "a list never writes past its buffer");
  if (size >= 2) FUZZ_CHECK(EndsInTwoZeros(buffer, got, size), "a cut list still ends in two zeros");
}

// GetPrivateProfileIntA of a value as read back (nullopt: no rule to check for this text).
std::optional<long long> ExpectedInt(const std::optional<std::string>& value, int fallback) {
  // Only a missing key or an empty value gives the default; blanks kept inside quotes are a
  // value without digits.
  if (!value || value->empty()) return fallback;
  std::string_view text = Trim(*value);
  if (text.find_first_of("0123456789") == std::string_view::npos) return 0;
  bool negative = false;
  if (text.front() == '-' || text.front() == '+') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  // A leading zero followed by a letter may be read as a radix prefix: not checked.
  if (text.front() == '0' && text.size() > 1 && ((text[1] >= 'a' && text[1] <= 'z') || (text[1] >= 'A' && text[1] <= 'Z')))
    return std::nullopt;
  long long number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    number = std::min<long long>(number * 10 + (c - '0'), 1LL << 40);
  }
  if (negative) number = -number;
  return std::clamp<long long>(number, INT_MIN, INT_MAX);
}

struct Operation {
  std::optional<std::string> section;
  std::optional<std::string> key;
  std::optional<std::string> value;
};

std::optional<std::string> Field(std::string_view text) {
  if (text == "\x01") return std::nullopt;
  return std::string(text);
}

std::vector<Operation> ParseOperations(std::string_view bytes) {
  std::vector<std::string_view> fields;
  while (!bytes.empty() && fields.size() < kMaxOperations * 3) {
    const std::size_t end = bytes.find('\0');
    fields.push_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  std::vector<Operation> operations;
  for (std::size_t i = 0; i + 2 < fields.size(); i += 3) {
    Operation op;
    op.section = std::string(fields[i]);
    op.key = Field(fields[i + 1]);
    op.value = Field(fields[i + 2]);
    operations.push_back(std::move(op));
  }
  return operations;
}

// The model: what each (folded section, folded key) read by name should give now.
struct Expected {
  // Keys of the original file: name as listed and value as first read.
  std::vector<std::pair<std::string, std::string>> probes;   // section, key
  std::map<std::pair<std::string, std::string>, std::optional<std::string>> original;   // nullopt: not found
  // Writes since: a value, or nullopt for deleted.
  std::map<std::pair<std::string, std::string>, std::optional<std::string>> written;
  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> writtenNames;
  std::vector<std::string> deletedSections;   // folded, in order of deletion
};

void CheckAll(const Expected& model, int pass) {
  auto check = [&](const std::string& section, const std::string& key, const std::optional<std::string>& value) {
    const std::string expected = value ? *value : std::string(kDefault);
    const std::string got = ReadValue(section, key, expected.size() + 8);
    FUZZ_CHECK(got == expected, pass == 0 ? "a key reads back what was written or left in place"
                                          : "a key reads back from the file on disk what was written or left");
    if (const std::optional<long long> number = ExpectedInt(value, -7)) {
      const int read = static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, kFile));
      FUZZ_CHECK(read == *number, "GetPrivateProfileIntA reads a value as Windows does");
    }
  };
  for (const auto& [section, key] : model.probes) {
    const auto folded = std::make_pair(Fold(section), Fold(key));
    if (model.written.count(folded)) continue;
    const bool sectionDeleted = std::find(model.deletedSections.begin(), model.deletedSections.end(), folded.first) !=
                                model.deletedSections.end();
    check(section, key, sectionDeleted ? std::nullopt : model.original.at({section, key}));
  }
  for (const auto& [folded, value] : model.written) {
    const auto& [section, key] = model.writtenNames.at(folded);
    check(section, key, value);
  }
}

}  // namespace

int FuzzIniFile(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::Sandbox::Write("cfg/fuzz.ini", parts[0]);

  Expected model;
  const std::vector<std::string> sections = ReadList(nullptr);
  CheckShortList(nullptr, static_cast<DWORD>(parts[0].size() % 37));
  std::vector<std::string> seenSections;
  for (const std::string& section : sections) {
    if (model.probes.size() >= kMaxProbes) break;
    if (std::find(seenSections.begin(), seenSections.end(), Fold(section)) != seenSections.end()) continue;
    seenSections.push_back(Fold(section));
    CheckShortList(section.c_str(), static_cast<DWORD>(section.size() % 23));
    std::vector<std::string> seenKeys;
    for (const std::string& key : ReadList(section.c_str())) {
      if (model.probes.size() >= kMaxProbes) break;
      if (std::find(seenKeys.begin(), seenKeys.end(), Fold(key)) != seenKeys.end()) continue;
      seenKeys.push_back(Fold(key));
      const std::string value = ReadValue(section, key, parts[0].size() + 8);
      model.probes.emplace_back(section, key);
      model.original[{section, key}] = value == kDefault ? std::nullopt : std::optional<std::string>(value);
      // A short buffer takes the longest prefix that does not split a double-byte character.
      const std::size_t room = value.size() / 2 + 1;
      std::vector<char> buffer(room + 1, '\x7F');
      const DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buffer.data(),
                                                 static_cast<DWORD>(room), kFile);
      FUZZ_CHECK(buffer[room] == '\x7F', "a value never writes past its buffer");
      FUZZ_CHECK(got == gbk::CutLength(value, room - 1) && value.compare(0, got, buffer.data(), got) == 0,
                 "a value cut to its buffer is its longest whole-character prefix");
    }
  }

  std::vector<Operation> operations = parts.size() > 1 ? ParseOperations(parts[1]) : std::vector<Operation>{};
  if (parts.size() == 1) {
    for (const auto& [section, key] : model.probes) {
      // As a C string the value ends at a zero byte it may hold.
      std::string value = model.original[{section, key}].value_or("").c_str();
      std::reverse(value.begin(), value.end());
      operations.push_back(Operation{section, key, "x" + value});
    }
    if (!model.probes.empty()) operations.push_back(Operation{model.probes[0].first, model.probes[0].second, std::nullopt});
    operations.push_back(Operation{std::string("Fuzz Added"), std::string("Key"), std::string(" 42 ")});
  }

  for (const Operation& op : operations) {
    const BOOL done = WritePrivateProfileStringA(op.section->c_str(), op.key ? op.key->c_str() : nullptr,
                                                 op.value ? op.value->c_str() : nullptr, kFile);
    if (!done) continue;   // refused: nothing changed, and the checks below show it
    const std::string section = Fold(*op.section);
    if (!op.key) {
      model.deletedSections.push_back(section);
      for (auto it = model.written.begin(); it != model.written.end();) {
        it = it->first.first == section ? model.written.erase(it) : std::next(it);
      }
      continue;
    }
    const auto folded = std::make_pair(section, Fold(*op.key));
    model.written[folded] = op.value ? std::optional<std::string>(ReadBackOf(*op.value)) : std::nullopt;
    model.writtenNames[folded] = {*op.section, *op.key};
  }

  CheckAll(model, 0);
  profile::ClearCache();
  CheckAll(model, 1);
  return 0;
}
