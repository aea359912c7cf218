// Fuzz target "blocks": the block files, current and legacy form (RebuildBlocks, which reads
// the preset and the user's blocks.ini and upgrades a legacy file, and SaveUserBlocks).
// Input: the user's blocks.ini; then, after part separators, the preset ..\cfg\blocks.ini and
// a control byte (bit 0: the market's last instrument leaves the table while the blocks are
// saved, as after an offline start without it, and comes back before they are read again).
// Three small markets are loaded: SH (600000, 000001, 600001), SZ (000001, 000002) and QH
// (CU2409, IF2409).
// Property: blocks read, saved and read again are the same blocks (names, kinds, keys, members
// in order and the count of lines kept unresolved), also when a member's instrument was gone
// while saving; saving changes no block but to rename one whose name would not read back; a
// file saved twice from the same blocks is the same file.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/UtilData.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Instrument {
  const char* code;
  int category;
};

TMarketData* AddMarket(int number, const char* code, std::vector<const char*> categories, std::vector<Instrument> instruments) {
  MarketRecord record{};
  record.kind = 1;
  std::snprintf(record.name, sizeof record.name, "%s", code);
  std::snprintf(record.code, sizeof record.code, "%s", code);
  std::snprintf(record.fileExt, sizeof record.fileExt, "%s", code);
  record.capacity = static_cast<std::uint16_t>(instruments.size() + 4);
  record.categoryCount = static_cast<std::uint16_t>(categories.size());
  for (std::size_t c = 0; c < categories.size(); ++c) {
    std::snprintf(record.categories[c].name, sizeof record.categories[c].name, "%s", categories[c]);
  }
  auto* table = new TMarketData(number, record);
  FUZZ_CHECK(table->names != nullptr, "a small market gets its arrays");
  for (std::size_t i = 0; i < instruments.size(); ++i) {
    std::snprintf(table->names[i].code, sizeof table->names[i].code, "%s", instruments[i].code);
    table->names[i].category = static_cast<std::uint8_t>(instruments[i].category);
  }
  table->count = static_cast<int>(instruments.size());
  table->FinishNameTable();
  MarketTables[number] = table;
  MarketCount = number + 1;
  return table;
}

struct BlockState {
  std::string name;
  int kind;
  int key;
  std::vector<std::uint32_t> members;   // market << 16 | index
  int unresolved;
  bool operator==(const BlockState&) const = default;
};

// The blocks of the preset and user groups, in group order.
std::vector<BlockState> Snapshot() {
  std::vector<BlockState> blocks;
  for (int g = 0; g < BlockGroupCount; ++g) {
    const BlockGroupRecord& group = BlockGroupTable[g];
    if (group.kind == kGroupAutomatic) continue;
    for (int b = 0; b < group.blockCount; ++b) {
      const BlockRecord* block = FindBlockById(group.blockIds[b]);
      FUZZ_CHECK(block != nullptr && block->used, "a group lists only used blocks");
      BlockState state{std::string(block->name, strnlen(block->name, sizeof block->name)), block->kind, block->key, {},
                       UnresolvedMemberCount(block)};
      for (int i = 0; i < block->memberCount; ++i) {
        state.members.push_back(static_cast<std::uint32_t>(block->members[i].market) << 16 | block->members[i].index);
      }
      blocks.push_back(std::move(state));
    }
  }
  return blocks;
}

}  // namespace

int FuzzBlockFile(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  fuzz::Sandbox::Write("user/blocks.ini", parts[0]);
  if (parts.size() > 1) fuzz::Sandbox::Write("cfg/blocks.ini", parts[1]);
  const bool dropInstrument = parts.size() > 2 && !parts[2].empty() && (parts[2][0] & 1);

  TMarketData* sh = AddMarket(0, "SH", {"A股", "指数"}, {{"600000", 0}, {"000001", 1}, {"600001", 0}});
  AddMarket(1, "SZ", {"A股"}, {{"000001", 0}, {"000002", 0}});
  AddMarket(2, "QH", {"金属", "金融"}, {{"CU2409", 0}, {"IF2409", 1}});

  RebuildBlocks();
  const std::vector<BlockState> read = Snapshot();

  if (dropInstrument) {
    --sh->count;
    sh->RebuildCodeIndex();
  }
  FUZZ_CHECK(SaveUserBlocks(), "the user's blocks are saved");
  if (dropInstrument) {
    ++sh->count;
    sh->RebuildCodeIndex();
  }
  const std::string saved = fuzz::Sandbox::Read("user/blocks.ini");
  // Saving renames, in memory too, a block whose name would not read back as its own section;
  // nothing else of the blocks changes.
  const std::vector<BlockState> written = Snapshot();
  FUZZ_CHECK(written.size() == read.size(), "saving keeps every block");
  for (std::size_t i = 0; i < read.size(); ++i) {
    BlockState renamed = read[i];
    renamed.name = written[i].name;
    FUZZ_CHECK(renamed == written[i], "saving changes nothing of a block but maybe its name");
  }

  RebuildBlocks();
  FUZZ_CHECK(Snapshot() == written, "blocks saved and read again are the same blocks");
  FUZZ_CHECK(SaveUserBlocks(), "the user's blocks are saved again");
  FUZZ_CHECK(fuzz::Sandbox::Read("user/blocks.ini") == saved, "blocks saved twice give the same file");
  return 0;
}
