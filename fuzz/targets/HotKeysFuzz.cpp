// Fuzz target "hotkeys": key texts (ParseHotKey, FormatHotKey, FormatHotKeyCaption) and the
// user's HotKey.ini (LoadHotKeys, SaveHotKeys).
// Input: key texts, one per line; then, after the part separator, the HotKey.ini file (without
// it, the texts themselves are the file).
// Property: the record a text parses to formats to a text that parses back to the same key
// mask and typed keys, and formats the same again; typed keys stay terminated inside their
// field and formatted texts inside their buffer (a cut text is a prefix of the whole); the
// table loaded from the file, saved and loaded again is the same table, and the lines of
// [HotKey] that are no command's key survive the save (in a file without zero bytes, which the
// profile functions' zero-separated lists cannot carry).
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/HotKeys.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "platform/Text.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr std::size_t kMaxTexts = 64;
constexpr std::size_t kMaxTextBytes = 320;

bool SameKey(const HotKeyRecord& a, const HotKeyRecord& b) {
  return a.keyMask == b.keyMask && std::memcmp(a.typedKeys, b.typedKeys, sizeof a.typedKeys) == 0;
}

std::string Format(const HotKeyRecord& record) {
  char text[kHotKeyTextSize];
  std::memset(text, 0x7F, sizeof text);
  const int length = FormatHotKey(record, text, sizeof text);
  FUZZ_CHECK(length >= 0 && length < kHotKeyTextSize && std::strlen(text) == static_cast<std::size_t>(length),
             "a formatted key fits its buffer with its terminator");
  return std::string(text, static_cast<std::size_t>(length));
}

void CheckCutFormats(const HotKeyRecord& record, const std::string& whole, int size) {
  char cut[kHotKeyTextSize + 1];
  std::memset(cut, 0x7F, sizeof cut);
  const int length = FormatHotKey(record, cut, size);
  FUZZ_CHECK(cut[size] == '\x7F', "a cut key text never writes past its buffer");
  if (size > 0) {
    FUZZ_CHECK(length == std::min<int>(static_cast<int>(whole.size()), size - 1) &&
                   whole.compare(0, static_cast<std::size_t>(length), cut, static_cast<std::size_t>(length)) == 0,
               "a cut key text is a prefix of the whole one");
  }
  char caption[kHotKeyTextSize + 1];
  std::memset(caption, 0x7F, sizeof caption);
  const int captionLength = FormatHotKeyCaption(record, caption, kHotKeyTextSize);
  FUZZ_CHECK(captionLength >= 0 && captionLength < kHotKeyTextSize && caption[kHotKeyTextSize] == '\x7F' &&
                 std::strlen(caption) == static_cast<std::size_t>(captionLength),
             "a key's caption fits its buffer");
}

void CheckText(const std::string& text, int cutSize) {
  HotKeyRecord record;
  std::memset(&record, 0xA5, sizeof record);
  ParseHotKey(&record, text.c_str());
  FUZZ_CHECK(record.commandId == 0xA5 && record.name[0] == static_cast<char>(0xA5),
             "parsing a key leaves the command id and name alone");
  FUZZ_CHECK(strnlen(record.typedKeys, sizeof record.typedKeys) < sizeof record.typedKeys,
             "typed keys end in a terminator inside their field");
  const std::string formatted = Format(record);
  HotKeyRecord again{};
  ParseHotKey(&again, formatted.c_str());
  FUZZ_CHECK(SameKey(record, again), "a formatted key parses back to the same mask and typed keys");
  FUZZ_CHECK(Format(again) == formatted, "a key formats the same after a round trip");
  CheckCutFormats(record, formatted, cutSize);
}

// The lines of [HotKey] whose key is no command's "h<id>".
std::vector<std::string> ForeignLines(const std::string& ini) {
  std::vector<char> buffer(1 << 20);
  const DWORD got = GetPrivateProfileSectionA("HotKey", buffer.data(), static_cast<DWORD>(buffer.size()), ini.c_str());
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < got && buffer[at] != '\0';) {
    std::string line(buffer.data() + at);
    at += line.size() + 1;
    std::string_view key = std::string_view(line).substr(0, line.find('='));
    while (!key.empty() && (key.front() == ' ' || key.front() == '\t')) key.remove_prefix(1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
    bool command = false;
    for (int id = 1; id <= kHotKeyCount && !command; ++id) {
      char name[8];
      std::snprintf(name, sizeof name, "h%d", id);
      command = gbk::EqualsNoCase(key, name);
    }
    if (!command) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

int FuzzHotKeys(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);

  std::string_view texts = parts[0];
  for (std::size_t n = 0; n < kMaxTexts && !texts.empty(); ++n) {
    const std::size_t end = texts.find('\n');
    std::string_view line = texts.substr(0, end);
    texts.remove_prefix(end == std::string_view::npos ? texts.size() : end + 1);
    line = line.substr(0, kMaxTextBytes);
    const std::string text(line.data(), strnlen(line.data(), line.size()));
    CheckText(text, static_cast<int>((n * 7 + text.size()) % (kHotKeyTextSize + 1)));
  }

  const std::string ini = UserFilePath("HotKey.ini");
  fuzz::Sandbox::Write("user/HotKey.ini", parts.size() > 1 ? parts[1] : parts[0]);
  const std::vector<std::string> foreign = ForeignLines(ini);
  LoadHotKeys();
  HotKeyRecord loaded[kHotKeyTableSize];
  std::memcpy(loaded, HotKeyTable, sizeof loaded);
  for (int i = 0; i < kHotKeyCount; ++i) {
    FUZZ_CHECK(loaded[i].commandId == i + 1, "the table holds commands 1..81 in order");
    FUZZ_CHECK(strnlen(loaded[i].typedKeys, sizeof loaded[i].typedKeys) < sizeof loaded[i].typedKeys,
               "loaded typed keys end in a terminator inside their field");
  }
  FUZZ_CHECK(SaveHotKeys(), "the hot keys are saved");
  profile::ClearCache();
  LoadHotKeys();
  for (int i = 0; i < kHotKeyTableSize; ++i) {
    FUZZ_CHECK(SameKey(loaded[i], HotKeyTable[i]) && loaded[i].commandId == HotKeyTable[i].commandId,
               "the hot keys saved load back the same");
  }
  // A zero byte inside a line cannot pass through the profile functions' zero-separated lists
  // (the list ends there), so only files without one are held to keeping every line.
  const std::string_view file = parts.size() > 1 ? parts[1] : parts[0];
  if (file.find('\0') == std::string_view::npos) {
    FUZZ_CHECK(ForeignLines(ini) == foreign, "lines of [HotKey] that no command owns survive a save in their order");
  }

  // Matching a pressed key finds a command of the table or none.
  for (unsigned key : {0x0Du, 0x1Bu, 0x41u, 0x53u, 0x70u, 0x7Bu, 0x60u, 0xBDu}) {
    const int id = MatchHotKey(key, KeyboardState{(size & 1) != 0, (size & 2) != 0, (size & 4) != 0, (size & 8) != 0});
    FUZZ_CHECK(id >= 0 && id <= kHotKeyCount, "a matched key names a command or none");
  }
  return 0;
}
