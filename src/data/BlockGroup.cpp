#include "data/BlockGroup.h"

#include "core/GuardedAlloc.h"
#include "data/MarketData.h"
#include "data/StkPtr.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/Text.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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
// Member keys run up to a full block plus as many kept lines; higher numbers are not read.
constexpr std::size_t kMaxMemberKey = 2 * kMaxBlockMembers;
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

std::vector<KeptLine> keptLines[kMaxBlocks];
std::vector<SpilledSection> spilledSections[kMaxBlockGroups];

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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

// The values of keys I1, I2 ... of a section in key order, up to the first missing or empty
// one. Keys compare without regard to case; the first of two equal keys counts.
std::vector<std::string> MemberValues(const std::vector<std::string>& lines) {
  std::vector<std::string_view> byNumber;
  for (const std::string& line : lines) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string_view key = Trim(std::string_view(line).substr(0, equals));
    if (key.size() < 2 || (key[0] != 'I' && key[0] != 'i')) continue;
    std::size_t number = 0;
    bool digits = true;
    for (char c : key.substr(1)) {
      if (c < '0' || c > '9' || number > kMaxMemberKey) {
        digits = false;
        break;
      }
      number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    if (!digits || number == 0 || number > kMaxMemberKey) continue;
    std::string_view value = Trim(std::string_view(line).substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (byNumber.size() < number) byNumber.resize(number);
    if (byNumber[number - 1].data() == nullptr) byNumber[number - 1] = value.empty() ? std::string_view("", 0) : value;
  }
  std::vector<std::string> values;
  for (std::string_view value : byNumber) {
    if (value.data() == nullptr || value.empty()) break;
    values.emplace_back(value);
  }
  return values;
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

// Two words: a market and a code that may resolve once the market is loaded again. Anything
// else cannot ever name an instrument and is not kept.
bool LooksLikeMemberLine(std::string_view line) {
  std::string_view rest = line;
  return !NextWord(rest).empty() && !NextWord(rest).empty();
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
    } else if (LooksLikeMemberLine(line) && keptLines[block->id].size() < static_cast<std::size_t>(kMaxBlockMembers)) {
      keptLines[block->id].push_back(KeptLine{std::string(line), block->memberCount});
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
  spilledSections[BlockGroupCount].clear();
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
  for (const std::string& section : SectionNames(group->iniPath)) {
    if (gbk::EqualsNoCase(section, kInfoSection)) continue;
    std::vector<std::string> lines = linesOf(section);
    const std::uint16_t key = group->blockCount;
    BlockRecord* block = NewGroupBlock(group, blockKind, section);
    if (!block) {
      spilledSections[group->id].push_back(SpilledSection{section, std::move(lines)});
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
  AppendLine(text, value);
}

}  // namespace

// ---- Building ----------------------------------------------------------------------------

TBlockGroup::TBlockGroup() { RebuildBlocks(); }

TBlockGroup::~TBlockGroup() { ClearBlocks(); }

void ClearBlocks() {
  for (int i = 0; i < kMaxBlocks; ++i) {
    GuardedFree(BlockTable[i].members);
    std::memset(&BlockTable[i], 0, sizeof BlockTable[i]);
    keptLines[i].clear();
  }
  for (int i = 0; i < kMaxBlockGroups; ++i) {
    std::memset(&BlockGroupTable[i], 0, sizeof BlockGroupTable[i]);
    spilledSections[i].clear();
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
  if (GetPrivateProfileIntA(kInfoSection, "Version", 0, path) == 0) {
    ReadOldBlockFile(group, blockKind);
    WriteBlockFile(group);   // on failure the legacy file stays and is read again next time
    return;
  }
  ReadSections(group, blockKind, [path](const std::string& section) {
    return MemberValues(SectionLines(path, section));
  });
}

void ReadOldBlockFile(BlockGroupRecord* group, std::uint8_t blockKind) {
  if (!group || group->iniPath[0] == '\0') return;
  const char* path = group->iniPath;
  ReadSections(group, blockKind, [path](const std::string& section) { return SectionLines(path, section); });
}

bool WriteBlockFile(BlockGroupRecord* group) {
  if (!group || group->iniPath[0] == '\0') return false;
  std::string text;
  AppendLine(text, "[FileInfo]");
  AppendLine(text, "Version=1");

  for (int b = 0; b < group->blockCount; ++b) {
    const std::uint16_t id = group->blockIds[b];
    if (id >= BlockSlotCount) continue;
    const BlockRecord& block = BlockTable[id];
    if (!block.used || block.group != group->id) continue;

    text.append("\r\n[");
    text.append(block.name, strnlen(block.name, sizeof block.name));
    AppendLine(text, "]");

    const std::vector<KeptLine>& kept = keptLines[id];
    std::size_t nextKept = 0;
    int number = 0;
    for (int i = 0; i < block.memberCount && block.members; ++i) {
      while (nextKept < kept.size() && kept[nextKept].anchor <= i) AppendMemberLine(text, number, kept[nextKept++].text);
      const BlockMember& member = block.members[i];
      const InstrumentRecord* instrument = InstrumentOf(member.market, member.index);
      if (!instrument) continue;   // gone from the market table: numbering closes the gap
      const TMarketData* table = GetMarketTable(member.market);
      std::string value(table->record.code, strnlen(table->record.code, sizeof table->record.code));
      value += ' ';
      value.append(instrument->code, strnlen(instrument->code, sizeof instrument->code));
      AppendMemberLine(text, number, value);
    }
    while (nextKept < kept.size()) AppendMemberLine(text, number, kept[nextKept++].text);
  }

  for (const SpilledSection& section : spilledSections[group->id]) {
    text.append("\r\n[");
    text.append(section.name);
    AppendLine(text, "]");
    int number = 0;
    for (const std::string& value : section.values) {
      const std::string_view line = Trim(value);
      if (!line.empty()) AppendMemberLine(text, number, line);
    }
  }

  if (!files::AtomicReplace(group->iniPath, text.data(), text.size())) return false;
  // The file changed behind the profile functions' cache.
  profile::ClearCache();
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
  keptLines[block->id].clear();
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
  return static_cast<int>(keptLines[block - BlockTable].size());
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
