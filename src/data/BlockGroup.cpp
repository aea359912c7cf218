#include "data/BlockGroup.h"

#include "core/GuardedAlloc.h"
#include "data/MarketData.h"
#include "data/StkPtr.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace zuvo::platform;

BlockGroupRecord BlockGroupTable[kMaxBlockGroups];
int BlockGroupCount = 0;
BlockRecord BlockTable[kMaxBlocks];
int BlockSlotCount = 0;

namespace {

constexpr const char* kAutomaticGroupName = "分类股板块";
constexpr const char* kPresetGroupName = "预设板块";
constexpr const char* kUserGroupName = "用户板块";
constexpr const char* kPresetFilePath = "..\\cfg\\blocks.ini";
constexpr const char* kUserFileName = "blocks.ini";
constexpr const char* kInfoSection = "FileInfo";
constexpr const char* kSystemSettings = "..\\CFG\\SETTING.INI";
constexpr const char* kDefaultSysBlocks = "上海期货 大连商品 郑州商品 美汇 上海黄金 LME";
constexpr std::size_t kCategoryNameBytes = 8;
constexpr std::size_t kLegacyCodeOffset = 4;     // old lines: market number, two blanks, code
constexpr std::size_t kProfileBufferStart = 4096;
constexpr std::size_t kProfileBufferLimit = 64u << 20;

// A member line of the file that does not name a loaded instrument now. It is written back
// after the first `anchor` members, so a watch list keeps its order across offline sessions.
struct KeptLine {
  std::string text;
  int anchor;
};

// A section of a group's file for which no block slot was free: written back unchanged.
struct SpilledSection {
  std::string name;
  std::vector<std::string> values;
};

// What the file layer keeps for a block slot beside its BlockRecord.
struct BlockSlotFileState {
  // Member lines that named no loaded instrument when read, in file order.
  std::vector<KeptLine> keptLines;
  // The "<market code> <instrument code>" text of every member of a file block, by market and
  // instrument index, as it was read or last written: a member whose instrument has left the
  // market table since is written back with it instead of being dropped.
  std::unordered_map<std::uint32_t, std::string> memberTexts;

  // The slot holds a new block, or none.
  void Reset() {
    keptLines.clear();
    memberTexts.clear();
  }
};

// What the file layer keeps for a group slot beside its BlockGroupRecord.
struct GroupSlotFileState {
  // Sections of the group's file for which no block slot was free, written back unchanged.
  std::vector<SpilledSection> spilledSections;
  // The group's file exists but could not be read: writing would replace the user's blocks
  // with what little this session holds, so the file is left alone.
  bool unreadable = false;

  // The slot holds a new group, or none.
  void Reset() {
    spilledSections.clear();
    unreadable = false;
  }
};

// Slot i belongs to BlockTable[i] / BlockGroupTable[i].
BlockSlotFileState blockSlots[kMaxBlocks];
GroupSlotFileState groupSlots[kMaxBlockGroups];

std::uint32_t MemberKey(int market, int index) {
  return (static_cast<std::uint32_t>(market) << 16) | static_cast<std::uint16_t>(index);
}

// The blanks the profile reader trims from the ends of names, lines and values.
bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The blanks around and between the words of a member line, one rule for the current and the
// legacy reader: the profile reader's, and NUL, which the writer turns into a space. A line
// kept for writing back therefore reads back as the same words.
bool IsBlank(char c) { return IsProfileBlank(c) || c == '\0'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The next blank-separated word of text, consumed from it.
std::string_view NextWord(std::string_view& text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// Copies text into a fixed zero-terminated field, cut on a GBK character boundary.
void CopyName(char* field, std::size_t fieldSize, std::string_view text) {
  const std::size_t length = gbk::CutLength(text, fieldSize - 1);
  std::memset(field, 0, fieldSize);
  std::memcpy(field, text.data(), length);
}

// A double-zero list from a profile call that reports truncation by returning size - 2: the
// buffer grows until the whole list fits.
template <typename Reader>
std::vector<std::string> ReadProfileList(Reader read) {
  std::vector<char> buffer(kProfileBufferStart);
  for (;;) {
    const DWORD got = read(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got + 2 < buffer.size() || buffer.size() >= kProfileBufferLimit) {
      std::vector<std::string> items;
      std::size_t at = 0;
      const std::size_t end = got < buffer.size() ? got : buffer.size();
      while (at < end && buffer[at] != '\0') {
        const std::size_t length = strnlen(buffer.data() + at, end - at);
        items.emplace_back(buffer.data() + at, length);
        at += length + 1;
      }
      return items;
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

std::vector<std::string> SectionNames(const char* path) {
  return ReadProfileList([path](char* buffer, DWORD size) {
    return GetPrivateProfileSectionNamesA(buffer, size, path);
  });
}

std::vector<std::string> SectionLines(const char* path, const std::string& section) {
  return ReadProfileList([path, &section](char* buffer, DWORD size) {
    return GetPrivateProfileSectionA(section.c_str(), buffer, size, path);
  });
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::string_view ProfileTrim(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The lines of the occurrence-th (0 = first) section of that name, ignoring case, read straight
// from the file as the profile functions read lines: those functions reach only the first of
// two sections with one name, and a hand-edited file may hold both.
std::vector<std::string> RawSectionLines(const char* path, std::string_view section, int occurrence) {
  std::vector<std::string> lines;
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (bytes.size() < kProfileBufferLimit && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    bytes.append(chunk, got);
  }
  CloseHandle(file);

  int seen = -1;
  bool inside = false;
  std::string_view rest(bytes);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view text = ProfileTrim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (text.empty() || text.front() == ';') continue;
    if (text.front() == '[') {
      // The name ends at the first ']' that is not the second byte of a double-byte character.
      std::size_t close = 1;
      while (close < text.size() && text[close] != ']') {
        close += gbk::IsLeadByte(static_cast<unsigned char>(text[close])) && close + 1 < text.size() ? 2 : 1;
      }
      const bool match = gbk::EqualsNoCase(ProfileTrim(text.substr(1, close - 1)), ProfileTrim(section));
      if (match) ++seen;
      inside = match && seen == occurrence;
      continue;
    }
    if (inside) lines.emplace_back(text);
  }
  return lines;
}

// The number of a member key "I<digits>" as its digits without leading zeros (compared by
// length, then text, so no number overflows); false for any other key.
bool MemberKeyNumber(std::string_view key, std::string& number) {
  key = Trim(key);
  if (key.size() < 2 || (key[0] != 'I' && key[0] != 'i')) return false;
  key.remove_prefix(1);
  for (char c : key) {
    if (c < '0' || c > '9') return false;
  }
  while (key.size() > 1 && key.front() == '0') key.remove_prefix(1);
  number.assign(key);
  return true;
}

// The member text of an "I<n>=" value: trimmed, and without one pair of double quotes around it.
std::string_view MemberValue(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

// The values of every member key I<n> of a section, in key-number order. A missing number or
// an empty value ends nothing: hand-edited files have gaps, and every member present is kept.
// Keys compare without regard to case; of two equal keys the first counts.
std::vector<std::string> MemberValues(const std::vector<std::string>& lines) {
  struct Entry {
    std::string number;
    std::string_view value;
  };
  std::vector<Entry> entries;
  std::unordered_set<std::string> seenKeys;
  for (const std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view key = Trim(std::string_view(line).substr(0, equals));
    std::string number;
    if (!MemberKeyNumber(key, number) || !seenKeys.insert(gbk::Upper(key)).second) continue;
    const std::string_view value = MemberValue(std::string_view(line).substr(equals + 1));
    if (!value.empty()) entries.push_back(Entry{std::move(number), value});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.number.size() != b.number.size() ? a.number.size() < b.number.size() : a.number < b.number;
  });
  std::vector<std::string> values;
  values.reserve(entries.size());
  for (const Entry& entry : entries) values.emplace_back(entry.value);
  return values;
}

// A legacy section's lines, an "I<n>=" line taken as the current reader takes its value: a
// current-format file that lost its [FileInfo] is read as legacy, and its members must still
// resolve.
std::vector<std::string> LegacyLines(std::vector<std::string> lines) {
  for (std::string& line : lines) {
    const std::size_t equals = line.find('=');
    std::string number;
    if (equals != std::string::npos && MemberKeyNumber(std::string_view(line).substr(0, equals), number)) {
      line = std::string(MemberValue(std::string_view(line).substr(equals + 1)));
    }
  }
  return lines;
}

const InstrumentRecord* InstrumentOf(int market, int index) {
  const TMarketData* table = GetMarketTable(market);
  if (!table || !table->names || index < 0 || index >= table->count) return nullptr;
  return &table->names[index];
}

// The instrument a member line names: "<market code> <instrument code>", or the old form of a
// two-digit market number and the code from the line's fifth character. Null when the line
// names nothing loaded now.
const InstrumentRecord* ResolveLine(std::string_view line) {
  std::string_view rest = line;
  const std::string marketCode(NextWord(rest));
  const std::string code(NextWord(rest));
  if (!marketCode.empty()) {
    TMarketData* table = FindMarketByCode(marketCode.c_str());
    if (table) return code.empty() ? nullptr : FindInstrumentInTable(code.c_str(), table);
  }
  // Old form: too short a line holds no code.
  if (line.size() <= kLegacyCodeOffset || line[0] < '0' || line[0] > '9' || line[1] < '0' || line[1] > '9') {
    return nullptr;
  }
  const int market = (line[0] - '0') * 10 + (line[1] - '0');
  std::string_view tail = line.substr(kLegacyCodeOffset);
  const std::string oldCode(NextWord(tail));
  TMarketData* table = GetMarketTable(market);
  if (!table || oldCode.empty()) return nullptr;
  return FindInstrumentInTable(oldCode.c_str(), table);
}

// Two words (a market and a code), or the old form of a two-digit market number and a code
// from the fifth character: lines that may resolve once their market is loaded again. Anything
// else cannot ever name an instrument and is not kept.
bool LooksLikeMemberLine(std::string_view line) {
  if (line.size() > kLegacyCodeOffset && line[0] >= '0' && line[0] <= '9' && line[1] >= '0' && line[1] <= '9') {
    return true;
  }
  std::string_view rest = line;
  return !NextWord(rest).empty() && !NextWord(rest).empty();
}

// "<market code> <instrument code>": how a member is written.
std::string MemberText(const TMarketData& table, const InstrumentRecord& instrument) {
  std::string text(table.record.code, strnlen(table.record.code, sizeof table.record.code));
  text += ' ';
  text.append(instrument.code, strnlen(instrument.code, sizeof instrument.code));
  return text;
}

void AppendMember(BlockRecord* block, const InstrumentRecord& instrument, std::uint16_t position) {
  BlockMember& member = block->members[block->memberCount];
  member = BlockMember{};
  member.market = instrument.market;
  member.category = instrument.category;
  member.index = instrument.index;
  member.position = position;
  ++block->memberCount;
}

// Fills a fresh block from member lines: lines that resolve become members while room is left;
// every other line is kept for writing back.
void FillFromLines(BlockRecord* block, const std::vector<std::string>& lines) {
  for (const std::string& raw : lines) {
    const std::string_view line = Trim(raw);
    if (line.empty()) continue;
    const InstrumentRecord* instrument = ResolveLine(line);
    if (instrument && block->memberCount < kMaxBlockMembers) {
      AppendMember(block, *instrument, block->memberCount);
      if (const TMarketData* table = GetMarketTable(instrument->market)) {
        blockSlots[block->id].memberTexts[MemberKey(instrument->market, instrument->index)] =
            MemberText(*table, *instrument);
      }
    } else if (LooksLikeMemberLine(line)) {
      // Kept without limit: the profile functions bound the file, and every line is the user's.
      blockSlots[block->id].keptLines.push_back(KeptLine{std::string(line), block->memberCount});
    }
  }
}

BlockGroupRecord* NewGroup(std::uint32_t kind, const char* name, const char* path) {
  if (BlockGroupCount >= kMaxBlockGroups) return nullptr;
  BlockGroupRecord* group = &BlockGroupTable[BlockGroupCount];
  std::memset(group, 0, sizeof *group);
  CopyName(group->name, sizeof group->name, name);
  if (path && std::strlen(path) < sizeof group->iniPath) std::strcpy(group->iniPath, path);
  group->kind = kind;
  group->id = static_cast<std::uint16_t>(BlockGroupCount);
  groupSlots[BlockGroupCount].Reset();
  return group;
}

// A new block of a group: a slot from NewBlock, set up and listed in the group.
BlockRecord* NewGroupBlock(BlockGroupRecord* group, std::uint8_t kind, std::string_view name) {
  BlockRecord* block = NewBlock();
  if (!block) return nullptr;
  block->group = group->id;
  block->kind = kind;
  CopyName(block->name, sizeof block->name, name);
  group->blockIds[group->blockCount++] = block->id;
  return block;
}

// Reads one section per block; `linesOf` gives a section's member lines. Sections without a
// free slot are kept whole for writing back.
template <typename LinesOf>
void ReadSections(BlockGroupRecord* group, std::uint8_t blockKind, LinesOf linesOf) {
  std::unordered_map<std::string, int> occurrences;   // by folded name
  for (const std::string& section : SectionNames(group->iniPath)) {
    if (gbk::EqualsNoCase(section, kInfoSection)) continue;
    const int occurrence = occurrences[gbk::Upper(section)]++;
    std::vector<std::string> lines =
        occurrence == 0 ? SectionLines(group->iniPath, section) : RawSectionLines(group->iniPath, section, occurrence);
    lines = linesOf(std::move(lines));
    const std::uint16_t key = group->blockCount;
    BlockRecord* block = NewGroupBlock(group, blockKind, section);
    if (!block) {
      groupSlots[group->id].spilledSections.push_back(SpilledSection{section, std::move(lines)});
      continue;
    }
    block->key = key;
    FillFromLines(block, lines);
  }
}

void AppendLine(std::string& text, std::string_view line) {
  text.append(line);
  text.append("\r\n");
}

void AppendMemberLine(std::string& text, int& number, std::string_view value) {
  char key[16];
  std::snprintf(key, sizeof key, "I%d=", ++number);
  text.append(key);
  // A code from a damaged name table must not break the line and start a section of its own.
  std::string line(value);
  std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, ' ');
  // The reader takes one pair of quotes off a value: a text in quotes of its own gets another.
  if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
    line.insert(line.begin(), '"');
    line.push_back('"');
  }
  AppendLine(text, line);
}

// Why a text cannot stand as a block's section name and come back the same on reading, or 0:
// the profile reader ends a name at the first ']' outside a double-byte character, trims blanks
// at its ends and cannot hold a line break; [FileInfo] is not a block.
int NameFault(std::string_view name) {
  if (name.empty()) return kBlockNameEmpty;
  if (name.size() >= static_cast<std::size_t>(kBlockNameSize)) return kBlockNameTooLong;
  if (IsProfileBlank(name.front()) || IsProfileBlank(name.back())) return kBlockNameInvalid;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == ']' || c == '\r' || c == '\n' || c == '\0') return kBlockNameInvalid;
    if (gbk::IsLeadByte(c)) {
      // A lead byte at the end would take the closing bracket as its second byte.
      if (i + 1 >= name.size() || name[i + 1] == '\r' || name[i + 1] == '\n' || name[i + 1] == '\0') return kBlockNameInvalid;
      ++i;
    }
  }
  if (gbk::EqualsNoCase(name, kInfoSection)) return kBlockNameInvalid;
  return 0;
}

// The name a block's section is written under: its own when it reads back the same and no
// earlier section of the file has it (ignoring case, as the reader matches sections); else the
// nearest such name, so that no block is merged into another or into [FileInfo] on reading.
std::string SectionNameFor(std::string_view name, std::uint16_t id, std::unordered_set<std::string>& taken) {
  std::string base;
  if (name.size() >= static_cast<std::size_t>(kBlockNameSize)) name = name.substr(0, gbk::CutLength(name, kBlockNameSize - 1));
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == ']' || c == '\r' || c == '\n' || c == '\0') {
      base += '_';
    } else if (gbk::IsLeadByte(static_cast<unsigned char>(c))) {
      if (i + 1 >= name.size() || name[i + 1] == '\r' || name[i + 1] == '\n' || name[i + 1] == '\0') continue;
      base.append(name.substr(i, 2));
      ++i;
    } else {
      base += c;
    }
  }
  while (!base.empty() && IsProfileBlank(base.back())) base.pop_back();
  while (!base.empty() && IsProfileBlank(base.front())) base.erase(0, 1);
  if (base.empty()) {
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "板块%02d", id);
    base = fallback;
  }
  std::string candidate = base;
  for (int suffix = 2; NameFault(candidate) != 0 || taken.count(gbk::Upper(candidate)) != 0; ++suffix) {
    const std::string digits = std::to_string(suffix);
    const std::string_view stem(base);
    candidate = std::string(stem.substr(0, gbk::CutLength(stem, kBlockNameSize - 1 - digits.size())));
    while (!candidate.empty() && IsProfileBlank(candidate.back())) candidate.pop_back();
    candidate += digits;
  }
  taken.insert(gbk::Upper(candidate));
  return candidate;
}

}  // namespace

// ---- Building ----------------------------------------------------------------------------

TBlockGroup::TBlockGroup() { RebuildBlocks(); }

TBlockGroup::~TBlockGroup() { ClearBlocks(); }

void ClearBlocks() {
  for (int i = 0; i < kMaxBlocks; ++i) {
    GuardedFree(BlockTable[i].members);
    std::memset(&BlockTable[i], 0, sizeof BlockTable[i]);
    blockSlots[i].Reset();
  }
  for (int i = 0; i < kMaxBlockGroups; ++i) {
    std::memset(&BlockGroupTable[i], 0, sizeof BlockGroupTable[i]);
    groupSlots[i].Reset();
  }
  BlockSlotCount = 0;
  BlockGroupCount = 0;
}

void RebuildBlocks() {
  ClearBlocks();
  BuildCategoryBlocks();
  LoadBlocks();
}

void BuildCategoryBlocks() {
  BlockGroupRecord* group = NewGroup(kGroupAutomatic, kAutomaticGroupName, nullptr);
  if (!group) return;

  for (int m = 0; m < MarketCount && m < kMaxMarkets; ++m) {
    const TMarketData* table = MarketTables[m];
    if (!table) continue;
    BlockRecord* block = NewGroupBlock(group, kBlockPerMarket, table->record.name);
    if (!block) continue;
    block->market = static_cast<std::uint16_t>(m);
    block->key = static_cast<std::uint16_t>(m);
    // The member array holds 7168: instruments beyond it stay out of the market's block.
    const int count = table->names ? table->count : 0;
    for (int i = 0; i < count && block->memberCount < kMaxBlockMembers; ++i) {
      AppendMember(block, table->names[i], static_cast<std::uint16_t>(i));
    }
  }

  int runningKey = 0;
  for (int m = 0; m < MarketCount && m < kMaxMarkets; ++m) {
    const TMarketData* table = MarketTables[m];
    if (!table) continue;
    const int categories = table->record.categoryCount < kMaxCategories ? table->record.categoryCount : kMaxCategories;
    for (int c = 0; c < categories; ++c, ++runningKey) {
      const char* categoryName = table->record.categories[c].name;
      const std::string_view name(categoryName, strnlen(categoryName, kCategoryNameBytes));
      BlockRecord* block = NewGroupBlock(group, kBlockPerCategory, name.substr(0, gbk::CutLength(name, kCategoryNameBytes)));
      if (!block) continue;
      block->market = static_cast<std::uint16_t>(m);
      block->key = static_cast<std::uint16_t>(runningKey);
      const int count = table->names ? table->count : 0;
      for (int i = 0; i < count && block->memberCount < kMaxBlockMembers; ++i) {
        if (table->names[i].category == c) AppendMember(block, table->names[i], block->memberCount);
      }
    }
  }
  ++BlockGroupCount;
}

void LoadBlocks() {
  if (BlockGroupRecord* preset = NewGroup(kGroupPresetFile, kPresetGroupName, kPresetFilePath)) {
    ReadBlockFile(preset, kBlockPreset);
    ++BlockGroupCount;
  }
  const std::string userPath = UserFilePath(kUserFileName);
  if (BlockGroupRecord* user = NewGroup(kGroupUserFile, kUserGroupName, userPath.c_str())) {
    ReadBlockFile(user, kBlockUser);
    ++BlockGroupCount;
  }
}

// ---- Files -------------------------------------------------------------------------------

void ReadBlockFile(BlockGroupRecord* group, std::uint8_t blockKind) {
  if (!group || group->iniPath[0] == '\0' || !FileExists(group->iniPath)) return;
  const char* path = group->iniPath;
  // The profile functions read an unreadable file as empty; saving over it would lose it.
  const HANDLE probe = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    if (group->id < kMaxBlockGroups) groupSlots[group->id].unreadable = true;
    return;
  }
  CloseHandle(probe);
  if (GetPrivateProfileIntA(kInfoSection, "Version", 0, path) == 0) {
    ReadOldBlockFile(group, blockKind);
    WriteBlockFile(group);   // on failure the legacy file stays and is read again next time
    return;
  }
  ReadSections(group, blockKind, [](std::vector<std::string> lines) { return MemberValues(lines); });
}

void ReadOldBlockFile(BlockGroupRecord* group, std::uint8_t blockKind) {
  if (!group || group->iniPath[0] == '\0') return;
  ReadSections(group, blockKind, [](std::vector<std::string> lines) { return LegacyLines(std::move(lines)); });
}

bool WriteBlockFile(BlockGroupRecord* group) {
  if (!group || group->iniPath[0] == '\0' || group->id >= kMaxBlockGroups || groupSlots[group->id].unreadable) {
    return false;
  }
  std::string text;
  AppendLine(text, "[FileInfo]");
  AppendLine(text, "Version=1");
  std::unordered_set<std::string> taken{gbk::Upper(kInfoSection)};

  // The editors keep the id list; a count past the table or an id listed twice must neither
  // read past the list nor write a block twice.
  const int listed = group->blockCount < kMaxBlocks ? group->blockCount : kMaxBlocks;
  bool written[kMaxBlocks] = {};
  for (int b = 0; b < listed; ++b) {
    const std::uint16_t id = group->blockIds[b];
    if (id >= BlockSlotCount || written[id]) continue;
    BlockRecord& block = BlockTable[id];
    if (!block.used || block.group != group->id) continue;
    written[id] = true;

    const std::string_view name(block.name, strnlen(block.name, sizeof block.name));
    const std::string section = SectionNameFor(name, block.id, taken);
    if (section != name) CopyName(block.name, sizeof block.name, section);   // memory matches the file
    text.append("\r\n[");
    text.append(section);
    AppendLine(text, "]");

    const std::vector<KeptLine>& kept = blockSlots[id].keptLines;
    std::unordered_map<std::uint32_t, std::string>& texts = blockSlots[id].memberTexts;
    std::size_t nextKept = 0;
    int number = 0;
    for (int i = 0; i < block.memberCount && block.members; ++i) {
      while (nextKept < kept.size() && kept[nextKept].anchor <= i) AppendMemberLine(text, number, kept[nextKept++].text);
      const BlockMember& member = block.members[i];
      const std::uint32_t key = MemberKey(member.market, member.index);
      if (const InstrumentRecord* instrument = InstrumentOf(member.market, member.index)) {
        std::string& value = texts[key];
        value = MemberText(*GetMarketTable(member.market), *instrument);
        AppendMemberLine(text, number, value);
      } else if (const auto known = texts.find(key); known != texts.end()) {
        // Gone from the market table since it was read or saved: the watch list keeps it.
        AppendMemberLine(text, number, known->second);
      }
    }
    while (nextKept < kept.size()) AppendMemberLine(text, number, kept[nextKept++].text);
  }

  for (const SpilledSection& section : groupSlots[group->id].spilledSections) {
    text.append("\r\n[");
    text.append(SectionNameFor(section.name, 0, taken));
    AppendLine(text, "]");
    int number = 0;
    for (const std::string& value : section.values) {
      const std::string_view line = Trim(value);
      if (!line.empty()) AppendMemberLine(text, number, line);
    }
  }

  if (!files::AtomicReplace(group->iniPath, text.data(), text.size())) return false;
  // The profile cache tells this file from the one it replaced by its inode (a new file was
  // renamed in), so no other file's cache needs clearing. Reading it once now puts this version
  // in the cache: the next replace may reuse the replaced file's inode, and with an equal size
  // and a coarse file clock it would otherwise pass for that older cached version.
  GetPrivateProfileIntA(kInfoSection, "Version", 0, group->iniPath);
  return true;
}

// ---- Blocks ------------------------------------------------------------------------------

BlockRecord* NewBlock() {
  BlockRecord* block = nullptr;
  for (int i = 0; i < BlockSlotCount; ++i) {
    if (!BlockTable[i].used) {
      block = &BlockTable[i];
      break;
    }
  }
  if (!block) {
    if (BlockSlotCount >= kMaxBlocks) return nullptr;
    block = &BlockTable[BlockSlotCount];
    std::memset(block, 0, sizeof *block);
    block->id = static_cast<std::uint16_t>(BlockSlotCount);
    ++BlockSlotCount;
  }
  if (!block->members) {
    block->members = static_cast<BlockMember*>(GuardedAlloc(kMaxBlockMembers * sizeof(BlockMember)));
    if (!block->members) return nullptr;
  }
  block->group = 0;
  block->market = 0;
  block->key = 0;
  block->used = 1;
  block->kind = kBlockUser;
  block->memberCount = 0;
  blockSlots[block->id].Reset();
  char name[32];
  std::snprintf(name, sizeof name, "板块%02d", block->id);
  CopyName(block->name, sizeof block->name, name);
  return block;
}

BlockGroupRecord* FindUserBlockGroup() {
  for (int i = BlockGroupCount; i-- > 0;) {
    if (BlockGroupTable[i].kind == kGroupUserFile) return &BlockGroupTable[i];
  }
  return nullptr;
}

BlockRecord* FindBlockById(std::uint16_t id) {
  for (int i = 0; i < BlockSlotCount; ++i) {
    if (BlockTable[i].used && BlockTable[i].id == id) return &BlockTable[i];
  }
  return nullptr;
}

BlockRecord* FindBlockByKey(std::uint8_t kind, std::uint16_t key) {
  for (int i = 0; i < BlockSlotCount; ++i) {
    if (BlockTable[i].used && BlockTable[i].kind == kind && BlockTable[i].key == key) return &BlockTable[i];
  }
  return nullptr;
}

BlockRecord* FindBlockByName(const char* name) {
  if (!name || name[0] == '\0') return nullptr;
  for (int i = 0; i < BlockSlotCount; ++i) {
    // The stored name always ends within its field, so a longer text never matches.
    if (BlockTable[i].used && std::strncmp(BlockTable[i].name, name, sizeof BlockTable[i].name) == 0) {
      return &BlockTable[i];
    }
  }
  return nullptr;
}

bool SaveUserBlocks() {
  BlockGroupRecord* group = FindUserBlockGroup();
  return group && WriteBlockFile(group);
}

int UnresolvedMemberCount(const BlockRecord* block) {
  if (!block || block < BlockTable || block >= BlockTable + kMaxBlocks) return 0;
  return static_cast<int>(blockSlots[block - BlockTable].keptLines.size());
}

// ---- Helpers of the views and dialogs ------------------------------------------------------

int AppendBlockMember(BlockRecord* block, const STKPTR& stk) {
  if (!block || !block->members || block->memberCount > kMaxBlockMembers) return -1;
  const InstrumentRecord* instrument = InstrumentOf(stk.market, stk.index);
  if (!instrument) return -1;
  for (int i = 0; i < block->memberCount; ++i) {
    if (block->members[i].market == stk.market && block->members[i].index == stk.index) return 0;
  }
  if (block->memberCount >= kMaxBlockMembers) return -1;
  AppendMember(block, *instrument, block->memberCount);
  return 1;
}

int AddMemberAndSave(std::uint16_t blockId, const STKPTR& stk) {
  const int result = AppendBlockMember(FindBlockById(blockId), stk);
  if (result != 1) return result;
  return SaveUserBlocks() ? 1 : -2;
}

int ListBlocksOfKinds(std::uint8_t lowestKind, std::uint8_t highestKind, std::uint16_t* ids, int maxIds) {
  if (!ids || maxIds <= 0) return 0;
  int written = 0;
  for (int i = 0; i < BlockSlotCount && written < maxIds; ++i) {
    const BlockRecord& block = BlockTable[i];
    if (block.used && block.kind >= lowestKind && block.kind <= highestKind) ids[written++] = block.id;
  }
  return written;
}

int FirstSysBlockName(char* out, int size) {
  if (!out || size <= 0) return 0;
  char value[512] = {};
  GetPrivateProfileStringA("PARAMETER", "SysBlocks", kDefaultSysBlocks, value, sizeof value, kSystemSettings);
  std::string_view rest(value);
  const std::string_view first = NextWord(rest);
  const std::size_t length = gbk::CutLength(first, static_cast<std::size_t>(size - 1));
  std::memcpy(out, first.data(), length);
  out[length] = '\0';
  return static_cast<int>(length);
}

BlockRecord* FindFirstSysBlock() {
  char name[512];
  if (FirstSysBlockName(name, sizeof name) == 0) return nullptr;
  return FindBlockByName(name);
}

int ListChooserGroups(BlockRecord** out, int maxBlocks) {
  if (!out || maxBlocks <= 0) return 0;
  int written = 0;
  for (int m = 0; m < MarketCount && written < maxBlocks; ++m) {
    if (BlockRecord* block = FindBlockByKey(kBlockPerMarket, static_cast<std::uint16_t>(m))) out[written++] = block;
  }
  for (std::uint8_t kind : {kBlockPreset, kBlockUser}) {
    for (int key = 0; key < BlockSlotCount && written < maxBlocks; ++key) {
      if (BlockRecord* block = FindBlockByKey(kind, static_cast<std::uint16_t>(key))) out[written++] = block;
    }
  }
  return written;
}

int CheckBlockName(const char* name, const BlockRecord* except) {
  if (!name) return kBlockNameEmpty;
  const std::string_view text(name);
  if (const int fault = NameFault(text)) return fault;
  // Blocks of one kind share one file, whose reader matches section names ignoring case.
  const std::uint8_t kind = except ? except->kind : kBlockUser;
  for (int i = 0; i < BlockSlotCount; ++i) {
    const BlockRecord& other = BlockTable[i];
    if (&other == except || !other.used || other.kind != kind) continue;
    if (gbk::EqualsNoCase(std::string_view(other.name, strnlen(other.name, sizeof other.name)), text)) return kBlockNameTaken;
  }
  return 0;
}

int RenameBlock(BlockRecord* block, const char* name) {
  if (!block || !block->used) return kBlockNameNoBlock;
  if (const int fault = CheckBlockName(name, block)) return fault;
  CopyName(block->name, sizeof block->name, name);
  return 0;
}
