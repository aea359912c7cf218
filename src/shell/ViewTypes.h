// The records and numbers that cross between the shell, the views and the page files: view
// kinds, view notification codes, the per-view attribute record VIEW_ATTR_12 and the cell's view
// data record MVCDATA_12. Both records are packed and their sizes fixed: page files store them
// byte for byte.
#pragma once

#include "data/Records.h"

#include <cstddef>
#include <cstdint>

// ---- View kinds (the first field of VIEW_ATTR_12, also in page files) -------------------------
using ViewKind = std::int16_t;
constexpr ViewKind VIEW_NONE = 0;           // empty cell
constexpr ViewKind VIEW_TREND = 4097;       // intraday page: minute trend, flash chart, ...
constexpr ViewKind VIEW_KLINE = 4098;       // K-line chart
constexpr ViewKind VIEW_INTESORT = 8192;    // nine-way ranking
constexpr ViewKind VIEW_REPORT = 8193;      // quote list
constexpr ViewKind VIEW_NEWS = 8195;        // news view
constexpr ViewKind VIEW_F10 = 8196;         // company information text
constexpr ViewKind VIEW_NOTE = 8197;        // notes view

// ---- View notification codes (first argument of ViewNotify) ------------------------------------
constexpr int VN_QUOTE = 0;
constexpr int VN_SHOWINSTRUMENT = 1;
constexpr int VN_TIMER = 8;
constexpr int VN_BLOCKCHANGED = 10;
constexpr int VN_INFOLINKS = 14;
constexpr int VN_FONTSTEP = 15;
constexpr int VN_ADVICE = 16;
constexpr int VN_LISTDATA = 17;
constexpr int VN_WEIGHTS = 18;
constexpr int VN_TICKS = 19;
constexpr int VN_OPENINFOLINK = 20;

constexpr int kMaxBlockTabs = 64;
constexpr int kMaxColumns = 64;
constexpr int kMaxPanes = 6;
constexpr int kMaxOverIndicators = 8;
constexpr int kDetailItemCount = 26;   // detail items the defaults fill (of 32 slots)

#pragma pack(push, 1)

// The per-view attribute record. The default constructor zeroes everything up to and including
// topRowOrN and reads [UI] "Property" and "DetailItem" of "<UserDir>defui.ini".
//
// Records that ask for a chart or text view carry a navigation list in the last eight bytes of
// blockTabs: the position (signed 32-bit at offset 212) and, at offset 216, the id of a
// SharedInstrumentList (NavList.h). The id is generation-checked, so a record copied into a
// history after its list was freed resolves to no list instead of dangling.
struct VIEW_ATTR_12 {
  ViewKind kind;
  STKPTR instrument;
  std::uint8_t unused6[2];
  std::uint32_t columnCount;
  std::int32_t fixedColumns;
  std::uint32_t sortColumn;
  std::uint8_t columnIds[kMaxColumns];
  std::uint32_t blockTabCount;
  std::uint32_t currentBlock;
  std::uint16_t blockTabs[kMaxBlockTabs];
  std::uint32_t spare;
  std::uint32_t paneCount;
  char paneIndicators[kMaxPanes][16];
  std::uint8_t cycle;
  std::uint8_t unused325[3];
  std::uint32_t modeFlags;
  std::int32_t fontStep;
  std::int32_t topRowOrN;
  std::uint8_t detailItems[32];
  std::uint32_t propertyFlags;

  VIEW_ATTR_12();

  // The navigation list carried in blockTabs (offsets 212 and 216).
  std::int32_t NavPosition() const;
  void SetNavPosition(std::int32_t position);
  std::uint32_t NavListId() const;
  void SetNavListId(std::uint32_t id);
};
static_assert(sizeof(VIEW_ATTR_12) == 376);
static_assert(offsetof(VIEW_ATTR_12, instrument) == 2);
static_assert(offsetof(VIEW_ATTR_12, blockTabs) == 92);
static_assert(offsetof(VIEW_ATTR_12, paneCount) == 224);
static_assert(offsetof(VIEW_ATTR_12, cycle) == 324);
static_assert(offsetof(VIEW_ATTR_12, topRowOrN) == 336);
static_assert(offsetof(VIEW_ATTR_12, detailItems) == 340);
static_assert(offsetof(VIEW_ATTR_12, propertyFlags) == 372);
constexpr std::size_t kViewAttrVersion11Size = offsetof(VIEW_ATTR_12, detailItems);   // 340
constexpr std::size_t kNavPositionOffset = 212;
constexpr std::size_t kNavListOffset = 216;

// A cell's view data record (the first 4088 bytes are MVCDATA_11). The default constructor:
// zeroes the first 4088 bytes, empties the overlay list (slot 0 = 255, 255, 0xFFFF), each pane's
// reference-line list (bytes 8..15 of slot 0 = 0xFF) and the 14 parameter blocks (first 8
// bytes 0xFF), and reads the detail items and property flags from defui.ini as VIEW_ATTR_12.
struct MVCDATA_12 {
  std::uint32_t blockTabCount;
  std::uint32_t currentBlock;
  std::int16_t blockTabs[kMaxBlockTabs];
  std::uint32_t columnCount;
  std::int32_t fixedColumns;
  std::uint32_t sortColumn;
  std::uint8_t columnIds[kMaxColumns];
  std::uint32_t trendPaneCount;
  std::uint32_t klinePaneCount;
  char paneIndicators[kMaxPanes][16];
  char overIndicators[kMaxOverIndicators][16];
  STKPTR overlays[8];
  std::int32_t arbitrageParam;
  std::uint8_t refLines[kMaxPanes][16][16];
  std::uint8_t paneParams[kMaxPanes][16][8];
  std::uint8_t overParams[kMaxOverIndicators][16][8];
  std::uint8_t arbitrage;
  std::uint8_t overlayByte;
  std::uint8_t linkFlag;
  std::uint8_t sidePanelShown;
  float paneRatios[5];
  char overlayTexts[8][32];
  std::uint8_t detailItems[32];
  std::uint32_t propertyFlags;
  std::uint8_t unused4124[4];

  MVCDATA_12();
};
static_assert(sizeof(MVCDATA_12) == 4128);
static_assert(offsetof(MVCDATA_12, trendPaneCount) == 212);
static_assert(offsetof(MVCDATA_12, overIndicators) == 316);
static_assert(offsetof(MVCDATA_12, overlays) == 444);
static_assert(offsetof(MVCDATA_12, refLines) == 480);
static_assert(offsetof(MVCDATA_12, paneParams) == 2016);
static_assert(offsetof(MVCDATA_12, overParams) == 2784);
static_assert(offsetof(MVCDATA_12, arbitrage) == 3808);
static_assert(offsetof(MVCDATA_12, paneRatios) == 3812);
static_assert(offsetof(MVCDATA_12, overlayTexts) == 3832);
static_assert(offsetof(MVCDATA_12, detailItems) == 4088);
static_assert(offsetof(MVCDATA_12, propertyFlags) == 4120);
constexpr std::size_t kViewDataVersion11Size = 4088;

#pragma pack(pop)

// Reads [UI] "DetailItem" (default list) of <UserDir>defui.ini as up to 26 "%i" numbers: the low
// byte of each into items[0..25] (missing numbers 0); items[26..31] are not written.
void ReadDefaultDetailItems(std::uint8_t items[32]);
// [UI] "Property" of <UserDir>defui.ini (default 0).
std::uint32_t ReadDefaultPropertyFlags();

// Fills `attr` with the defaults of a view kind (see DefaultViewAttr.cpp): 1 for the seven view
// kinds, 0 for any other (the record then holds only the common part).
int DefaultViewAttr(int kind, VIEW_ATTR_12* attr);
