// Page files (".ppg"): one page's split tree with, for every cell, its VIEW_ATTR_12 and its
// MVCDATA_12. The reader accepts versions 5 and 7 to 12 and migrates every record to version 12;
// the writer writes version 12 only. Both work on a PageModel, a tree apart from any window:
// the page window builds its cells from a model it read and fills a model from its cells before
// it saves. LASTPAGE.DAT, the name of the page to reopen, lives here too.
//
// Everything in a file is little-endian; the records below are its byte images.
#pragma once

#include "shell/PageWindow.h"
#include "shell/ViewTypes.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

static_assert(std::endian::native == std::endian::little, "page records are stored as they lie in memory");

constexpr std::size_t kPageHeaderSize = 76;
constexpr std::size_t kPageNodeRecordSize = 20;
constexpr std::size_t kPageNameSize = 64;
constexpr std::size_t kPagePathSize = 260;     // LASTPAGE.DAT and the page dialog's path
constexpr int kPageFileVersion = 12;           // the version the writer writes
constexpr int kPageMaxDepth = 64;              // deeper split trees are refused (no page lays out that deep)

#pragma pack(push, 1)

struct PAGE_FILE_HEADER {
  char magic[8];                  // "zvpageNN", no terminator
  char name[kPageNameSize];       // zero-terminated page name
  std::uint32_t bodyLength;       // the file is exactly this + 76 bytes
};
static_assert(sizeof(PAGE_FILE_HEADER) == 76);

// One node of the tree; offsets count from the start of the body, 0 = no child.
struct PAGE_NODE_RECORD {
  std::int32_t first;
  std::int32_t second;
  std::int32_t leaf;              // 1: an attribute record and a view data record follow
  std::int32_t side;              // NODE_LEFT .. NODE_BOTTOM
  float ratio;
};
static_assert(sizeof(PAGE_NODE_RECORD) == 20);

// The attribute part the versions before 11 share (version 5 is exactly this).
struct VIEW_ATTR_FILE_VERSION_5 {
  std::int16_t kind;
  std::uint8_t instrument[4];
  std::uint8_t unused6[2];
  std::uint32_t columnCount;
  std::int32_t fixedColumns;
  std::uint32_t sortColumn;
  std::uint8_t columnIds[64];
  std::uint32_t blockTabCount;
  std::uint32_t currentBlock;
  std::int32_t blockTabs[16];
  std::int32_t unused156;
  std::uint32_t paneCount;
  char paneIndicators[6][16];
  std::uint8_t cycle;
  std::uint8_t unused261[3];
  std::uint32_t modeFlags;
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_5) == 268);
static_assert(offsetof(VIEW_ATTR_FILE_VERSION_5, blockTabs) == 92);
static_assert(offsetof(VIEW_ATTR_FILE_VERSION_5, paneCount) == 160);
static_assert(offsetof(VIEW_ATTR_FILE_VERSION_5, modeFlags) == 264);

struct VIEW_ATTR_FILE_VERSION_7 {
  VIEW_ATTR_FILE_VERSION_5 base;
  char tabNames[16][16];
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_7) == 524);

// Versions 8 and 9.
struct VIEW_ATTR_FILE_VERSION_8 {
  VIEW_ATTR_FILE_VERSION_5 base;
  std::int32_t fontStep;
  std::int32_t topRowOrN;
  char tabNames[16][16];
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_8) == 532);

struct VIEW_ATTR_FILE_VERSION_10 {
  VIEW_ATTR_FILE_VERSION_8 v8;
  char instrumentText[32];
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_10) == 564);

struct VIEW_ATTR_FILE_VERSION_11 {
  std::uint8_t attr[kViewAttrVersion11Size];   // VIEW_ATTR_12 up to the detail items
  char tabNames[64][16];
  char instrumentText[32];
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_11) == 1396);

struct VIEW_ATTR_FILE_VERSION_12 {
  std::uint8_t attr[sizeof(VIEW_ATTR_12)];     // VIEW_ATTR_12 byte for byte
  char tabNames[64][16];
  char instrumentText[32];
};
static_assert(sizeof(VIEW_ATTR_FILE_VERSION_12) == 1432);
static_assert(offsetof(VIEW_ATTR_FILE_VERSION_12, instrumentText) == 1400);

// The view data layout of versions 5 to 10 (version 5 is exactly this).
struct MVCDATA_5 {
  std::uint32_t blockTabCount;
  std::uint32_t currentBlock;
  std::int32_t blockTabs[16];
  std::uint32_t columnCount;
  std::int32_t fixedColumns;
  std::uint32_t sortColumn;
  std::uint8_t columnIds[64];
  std::uint32_t trendPaneCount;
  std::uint32_t klinePaneCount;
  char paneIndicators[6][16];
  char overIndicators[8][16];
  std::uint8_t overlays[8][4];
  std::int32_t arbitrageParam;
  std::uint8_t refLines[6][16][16];
  std::uint8_t paneParams[6][16][8];
  std::uint8_t overParams[8][16][8];
  std::uint8_t flags[4];          // arbitrage, overlay byte, link flag, side panel
  std::uint8_t unused3748[4];
};
static_assert(sizeof(MVCDATA_5) == 3752);
static_assert(offsetof(MVCDATA_5, overlays) == 380);
static_assert(offsetof(MVCDATA_5, refLines) == 416);
static_assert(offsetof(MVCDATA_5, flags) == 3744);

struct MVCDATA_7 {
  MVCDATA_5 base;
  float paneRatios[5];
  std::uint8_t unused3772[4];
};
static_assert(sizeof(MVCDATA_7) == 3776);

// Versions 8 and 9.
struct MVCDATA_8 {
  MVCDATA_7 v7;
  std::uint8_t unused3776[8];
};
static_assert(sizeof(MVCDATA_8) == 3784);

struct MVCDATA_10 {
  MVCDATA_8 v8;
  char overlayTexts[8][32];
};
static_assert(sizeof(MVCDATA_10) == 4040);

#pragma pack(pop)

// Sizes of the attribute and view data records of a version (0, 0 for an unknown one).
struct PageRecordSizes {
  std::size_t attr = 0;
  std::size_t data = 0;
};
PageRecordSizes PageRecordSizesOf(int version);

// The version a magic names: 5, 7..12; 0 for anything else.
int PageFileVersionOf(const char magic[8]);

// One node of a page as read or to be written. A leaf (no children) holds a cell's records;
// a split holds exactly two children, sides 1/2 or 3/4.
struct PageModelNode {
  int side = NODE_LEFT;
  float ratio = 1.0f;
  VIEW_ATTR_12 attr;
  MVCDATA_12 data;
  std::unique_ptr<PageModelNode> first, second;

  bool IsLeaf() const { return !first && !second; }
};

struct PageModel {
  char name[kPageNameSize] = {};   // the header's page name (as read; the writer keeps the file's)
  int version = 0;                 // version read (0 for a model built in memory)
  std::unique_ptr<PageModelNode> top;
};

// The whole-file check that the reader and the page-list scan share: a known magic, a size of
// exactly body length + 76, and a body that holds at least the top node's records. The version
// (5, 7..12), or 0 when the bytes are no page file.
int ValidatePageFile(std::string_view bytes);

// Builds the tree of a validated body: every offset checked (each record inside the body, each
// child beyond its parent and the second beyond the first's subtree, so the records never
// overlap and no cycle is followed), sides 1..4 in the pairs 1/2 and 3/4, two children per
// split, a finite ratio in (0, 1], at most kPageMaxDepth levels. Every record is migrated to
// version 12 (tab names and instrument texts resolved against the blocks and markets loaded
// now) and made ready for its view: the navigation bytes of trend, K-line and F10 records
// cleared, a quote list's view data tabs taken from its attributes. Null when anything fails:
// a file is taken whole or not at all.
std::unique_ptr<PageModelNode> ParsePageBody(std::string_view body, int version);

enum class PageLoadResult {
  kLoaded,
  kNotOpened,    // missing or unreadable
  kInvalid,      // no page file of a known version, or a body that does not hold together
  kNoMemory,
};
// Reads a page file into `model` (replaced whole; empty on failure). Never deletes or changes
// the file, whatever it holds: the caller falls back to the "Default" page of one quote list.
PageLoadResult LoadPageFile(std::string_view path, PageModel& model);

// The page dialog and the page list as a save uses them (the page manager implements it).
struct PageSaveChoice {
  char name[kPageNameSize] = {};
  char path[kPagePathSize] = {};   // empty: a new page file
  int position = -1;               // list position chosen
};
class IPageSaveUi {
 public:
  virtual ~IPageSaveUi() = default;
  // The page dialog in its save form, without the move buttons; SavePageFile holds
  // ModalDialogScope around it. False when cancelled.
  virtual bool AskPageName(PageSaveChoice& choice) = 0;
  // Pages in the page list now.
  virtual int PageCount() = 0;
  // Appends (name, path) to the page list and writes the page index; the new entry's position.
  virtual int AddPage(const char* name, const char* path) = 0;
  // After a save through the dialog: the list is scanned again and the page menus rebuilt
  // with the saved page (list position + 1) checked.
  virtual void PageSaved(int position) = 0;
};

enum class PageSaveResult {
  kSaved,
  kDefaultPage,   // the default page is never written
  kNoPath,        // auto-save of a page without a path
  kCancelled,     // the page dialog was cancelled
  kLimit,         // no room for another page file (the user was told)
  kFailed,        // the file could not be written; the old one is as it was
};
constexpr int kPageSaveNormal = 0;
constexpr int kPageSaveAs = 1;
constexpr int kPageSaveAuto = 2;
// The text shown when no further page file can be made.
extern const char* const kPageLimitText;

// Saves a page. Mode 0 writes to pagePath (through the dialog when it is empty), 1 always asks
// through `ui`, 2 writes only a page with a path. The new file is built whole in memory and
// put in place with AtomicReplace, so a failure or a crash leaves the old file as it was; it
// keeps the old file's 64-byte name (a page saved through the dialog gets the name chosen).
// pagePath becomes the path of a new page file. `ui` may be null when no dialog may be shown
// (then modes 0 without a path and 1 save nothing: kCancelled).
PageSaveResult SavePageFile(const PageModel& model, std::string& pagePath, int mode, IPageSaveUi* ui);

// The file bytes of a page: header (magic "zvpage12", name, body length) and body. What
// SavePageFile writes.
std::string BuildPageFile(const PageModel& model, const char name[kPageNameSize]);

// Appends the records of node's children (and their subtrees) to `body`, writing each child's
// offset into the node's record at `position`.
void WritePageNode(std::string& body, const PageModelNode& node, std::size_t position);

// A VIEW_ATTR_FILE_VERSION_12 of a view's attributes: a quote list's tab ids as block names,
// the current instrument as "<market code> <instrument code>" when it resolves.
VIEW_ATTR_FILE_VERSION_12 MakeViewAttrRecord(const VIEW_ATTR_12& attr);

// Direction 1: the overlaid instruments as texts (up to the end marker; unresolved ones leave
// an empty text). Direction 0: the texts back into instruments, ending the list at the first
// text that does not resolve. One form per layout.
void ConvertOverlayTexts(MVCDATA_12& data, int direction);
void ConvertOverlayTexts(MVCDATA_10& data, int direction);

// True for the paths of the default page ("Default" and "..\Cfg\Default.ppg", any case).
bool IsDefaultPagePath(std::string_view path);

// LASTPAGE.DAT in the user directory: the first 260 bytes as a zero-terminated path; empty
// when the file is missing or shorter than 260 bytes.
std::string ReadLastPage();
// Writes the path (cut to 259 bytes) zero-padded to 260 bytes, through AtomicReplace.
bool WriteLastPage(std::string_view path);
