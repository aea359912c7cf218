// Blocks: named lists of instruments (quote-list tabs, chart stepping, the user's watch lists),
// kept in process-wide fixed tables of 32 groups and 512 blocks of up to 7168 members. One
// automatic group is built from the market tables (a block per market and per trading
// category), one preset group is read from "..\cfg\blocks.ini" and one user group is read from
// and saved to the user's blocks.ini. TBlockGroup builds and clears the tables; the rest are
// free functions over them. Used on the user-interface thread only.
//
// The user's blocks are never silently shortened: member lines that name a market or an
// instrument not loaded now (offline, a market missing) are kept beside the block and written
// back on save, and blocks.ini is replaced whole through a temporary file.
#pragma once

#include "data/Records.h"

#include <cstdint>

constexpr int kMaxBlockGroups = 32;
constexpr int kMaxBlocks = 512;
constexpr int kMaxBlockMembers = 7168;
constexpr int kBlockNameSize = 16;          // 15 bytes of GBK text and the terminator

// Group kinds.
constexpr std::uint32_t kGroupAutomatic = 0;
constexpr std::uint32_t kGroupPresetFile = 1;
constexpr std::uint32_t kGroupUserFile = 2;

// Block kinds.
constexpr std::uint8_t kBlockPerMarket = 0;
constexpr std::uint8_t kBlockPerCategory = 1;
constexpr std::uint8_t kBlockPreset = 2;
constexpr std::uint8_t kBlockUser = 3;

#pragma pack(push, 1)

struct BlockMember {
  std::uint8_t market;
  std::uint8_t category;
  std::uint16_t index;         // the instrument's index in its market
  std::uint16_t position;      // place in the block when added
  std::uint16_t changeTick;    // 0 in stored blocks; the quote list's row copies use it
  std::uint32_t changeFlags;   // 0 in stored blocks; likewise
};
static_assert(sizeof(BlockMember) == 12);

// One block. Lives in memory only, so the member pointer keeps its native width.
struct BlockRecord {
  char name[kBlockNameSize];   // GBK, zero-terminated
  std::uint16_t group;         // id of its group
  std::uint16_t id;            // the slot's index when first taken; kept when the slot is reused
  std::uint16_t market;        // market number for automatic blocks, else 0
  std::uint16_t key;           // market number / running category number / place in the group
  std::uint8_t used;           // 1 while the slot holds a block
  std::uint8_t kind;           // kBlockPerMarket .. kBlockUser
  std::uint16_t memberCount;
  BlockMember* members;        // kMaxBlockMembers entries, kept with the slot
};
static_assert(sizeof(BlockRecord) == 28 + sizeof(void*));

struct BlockGroupRecord {
  char name[16];               // GBK, zero-terminated
  char iniPath[260];           // the file read and written; empty for the automatic group
  std::uint32_t kind;          // kGroupAutomatic, kGroupPresetFile, kGroupUserFile
  std::uint16_t id;            // index in the group table
  std::uint16_t blockCount;
  std::uint16_t blockIds[kMaxBlocks];
};
static_assert(sizeof(BlockGroupRecord) == 1308);

#pragma pack(pop)

// The tables. BlockSlotCount counts the block slots ever taken (at most 512); slot i holds the
// block with id i. Editors change blocks in place and then call SaveUserBlocks.
extern BlockGroupRecord BlockGroupTable[kMaxBlockGroups];
extern int BlockGroupCount;
extern BlockRecord BlockTable[kMaxBlocks];
extern int BlockSlotCount;

// Builds the tables (RebuildBlocks) when created, clears them when destroyed. The main window
// owns one for its lifetime.
class TBlockGroup {
 public:
  TBlockGroup();
  ~TBlockGroup();
  TBlockGroup(const TBlockGroup&) = delete;
  TBlockGroup& operator=(const TBlockGroup&) = delete;
};

// Clears every table and frees every member array.
void ClearBlocks();
// ClearBlocks, BuildCategoryBlocks, LoadBlocks. Called again after the market tables changed.
void RebuildBlocks();
// Adds the automatic group "分类股板块": one block per loaded market (kind 0, key = market number,
// the market's instruments in table order), then one per trading category of each market (kind
// 1, key = running number over all markets). A block never holds more than 7168 members; the
// instruments past that are left out. Blocks without a slot or memory are left out.
void BuildCategoryBlocks();
// Adds the preset group "预设板块" from "..\cfg\blocks.ini" (block kind 2), then the user group
// "用户板块" from "<UserDir>blocks.ini" (block kind 3), while fewer than 32 groups exist.
void LoadBlocks();
// Reads the group's file into new blocks of the given kind. A file without [FileInfo] Version
// (or Version 0) is read by ReadOldBlockFile and then rewritten in the current format. Every
// member key I<n> present is read, in key-number order: a missing number or an empty value
// does not end the block (hand-edited files have gaps). Lines that name no loaded instrument
// now but may later (two words, or the old numbered form) and lines past a full block are kept
// for writing back, and so are sections for which no block slot is free. Several sections of
// one name (any case) each give a block with their own lines. Section names longer than 15
// bytes are cut on a GBK character boundary. A
// missing file gives no blocks and is not created; a file that exists but cannot be read gives
// no blocks and is never written over (WriteBlockFile refuses it).
void ReadBlockFile(BlockGroupRecord* group, std::uint8_t blockKind);
// Reads a legacy file: one section per block, each line "<market code> <instrument code>" or,
// in older files, a two-digit market number and the code from the line's fifth character.
// Lines too short to hold a code are skipped; lines that do not resolve now are kept as above.
// A line "I<n>=<value>" (a current file that lost its [FileInfo]) is read as its value.
void ReadOldBlockFile(BlockGroupRecord* group, std::uint8_t blockKind);
// Replaces the group's file with [FileInfo] Version=1 and one section per used block in group
// order, keys I1, I2 ... "<market code> <instrument code>" without gaps. A member whose
// instrument has left the market table since the block was read or last saved is written with
// the text it had then (a watch list never shrinks behind the user's back); kept unresolved
// lines are written after the members they followed. A block whose name would not read back
// as its own section (see CheckBlockName; also a name an earlier block of the file has, in any
// case) is renamed, in memory too, to the nearest free name: a digit suffix, ']' and line
// breaks as '_', "板块%02d" with its id when nothing is left. The file is written whole to a
// temporary file and renamed into place. False (old file untouched) when the group has no
// path, its file could not be read, or the file cannot be written.
bool WriteBlockFile(BlockGroupRecord* group);

// A block slot for a new user block: the first unused taken slot, else the next slot while
// fewer than 512 were taken. It gets a member array (kept with the slot), kind 3, group 0,
// market 0, key 0, no members, no kept lines and the name "板块%02d" with its id. Null when
// every slot is used or memory is short.
BlockRecord* NewBlock();
// The last group of kind 2, or null.
BlockGroupRecord* FindUserBlockGroup();
// The first used block in slot order with that id / kind and key / name (exact bytes); null
// when none. FindBlockByName gives null for a null or empty text.
BlockRecord* FindBlockById(std::uint16_t id);
BlockRecord* FindBlockByKey(std::uint8_t kind, std::uint16_t key);
BlockRecord* FindBlockByName(const char* name);
// WriteBlockFile on the user group. False when there is no user group or the write failed.
bool SaveUserBlocks();

// How many member lines of the block were kept because they do not resolve now.
int UnresolvedMemberCount(const BlockRecord* block);

// Block names. A block is stored as a section named after it, so a name must read back the
// same and must not merge with another section: results of CheckBlockName and RenameBlock.
constexpr int kBlockNameEmpty = -1;     // null or empty
constexpr int kBlockNameTooLong = -2;   // more than 15 bytes
constexpr int kBlockNameInvalid = -3;   // holds ']' or a line break, blanks at an end, an
                                        // unfinished double-byte character, or is "FileInfo"
constexpr int kBlockNameTaken = -4;     // another used block of the same kind has it (any case)
constexpr int kBlockNameNoBlock = -5;   // RenameBlock: no block or an unused slot
// 0 when the text can name a block of the kind of `except` (a user block when null), the
// block itself not counted; else one of the codes above. Editors check names with it before
// creating or renaming a block.
int CheckBlockName(const char* name, const BlockRecord* except);
// Gives the block the name after CheckBlockName; 0 on success, else its code (name unchanged).
int RenameBlock(BlockRecord* block, const char* name);

// ---- Helpers of the views and dialogs --------------------------------------------------------

// Appends the instrument to the block unless it is there already (same market and index).
// 1 appended, 0 already a member, -1 refused (no block, no member array, 7168 members, no
// instrument).
int AppendBlockMember(BlockRecord* block, const STKPTR& stk);
// AppendBlockMember on the used block with that id, then SaveUserBlocks when it was appended.
// 1 appended and saved, 0 already a member, -1 refused, -2 appended but the save failed.
int AddMemberAndSave(std::uint16_t blockId, const STKPTR& stk);
// Ids of the used blocks whose kind lies in [lowestKind, highestKind], in slot order; at most
// maxIds written. Returns the count written.
int ListBlocksOfKinds(std::uint8_t lowestKind, std::uint8_t highestKind, std::uint16_t* ids, int maxIds);
// The first name of [PARAMETER] SysBlocks of "..\CFG\SETTING.INI" (default
// "上海期货 大连商品 郑州商品 美汇 上海黄金 LME"): the text up to the first blank, cut to 15 bytes
// on a character boundary. Returns its length (0 when the setting is empty).
int FirstSysBlockName(char* out, int size);
// The block named by FirstSysBlockName, or null.
BlockRecord* FindFirstSysBlock();
// The instrument chooser's group list: the per-market block of every market 0 .. MarketCount-1,
// then the preset blocks by key 0, 1 ..., then the user blocks by key (keys without a block add
// nothing). At most maxBlocks written; returns the count written.
int ListChooserGroups(BlockRecord** out, int maxBlocks);
