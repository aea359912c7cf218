// Helpers every view shares: the value of each quote column for an instrument, the row sorts of
// the quote list and the ranking panes, stepping through a block, the up/down colour, text drawn
// into a cell rectangle, and adding an instrument to a user block through the block chooser.
// User-interface thread only (they read the market and block tables, which have no lock).
//
// The first "report" / "view" argument of the sorts names the calling view; the algorithms do
// not use it and accept null.
#pragma once

#include "data/Records.h"
#include "platform/Gdi.h"

#include <cstddef>
#include <cstdint>

class TChildView;
class TWinControl;

// ---- Quote columns -----------------------------------------------------------------------------

constexpr int kReportColumnCount = 39;     // column ids 0..38
constexpr int kReportColumnTitleSize = 16;
// The column titles in id order (GBK, zero-terminated): "序", "名称", "昨收", ... "前成五".
extern const char ReportColumnTitles[kReportColumnCount][kReportColumnTitleSize];

// The value shown in quote column `id` for the instrument, in shown units (prices divided by the
// instrument's price divisor, volumes and amounts as stored). False when the column has no value
// for it: an id outside 0..38 or without a value, a market without a table or quote array, an
// index not below the market's instrument count (page files may name (0,0,0) in an empty
// market), or the rule of the column (see the table in ViewHelpers.cpp). `out` is 0.0 whenever
// the result is false. Id 31 is not a number: the quote's 32-bit time word is copied into the
// first 4 bytes of `out` (the other 4 bytes 0).
bool GetQuoteField(STKPTR instrument, int id, double& out);

// ---- Row sorts ---------------------------------------------------------------------------------

#pragma pack(push, 1)
// One row of the quote list: the instrument reference, its position key (its place in the block
// when it was added) and the row's change marks. The layout is that of a block member
// (BlockMember), so the list fills its rows by copying the block's members.
struct ReportRow {
  std::uint8_t market;
  std::uint8_t category;
  std::uint16_t index;
  std::uint16_t positionKey;
  std::uint16_t changeTick;
  std::uint32_t changeFlags;

  STKPTR Instrument() const { return STKPTR(market, category, index); }
};
#pragma pack(pop)
static_assert(sizeof(ReportRow) == 12);
static_assert(offsetof(ReportRow, positionKey) == 4);

// Bidirectional bubble sorts: stable (equal keys never swap); null or fewer than 2 rows do
// nothing. The key and value sorts give that order through a stable n log n sort (the same
// result); a table holding a key that is not a number keeps the bubble sort.
// By the position key; `ascending` 1 smallest first, 0 largest first.
void CocktailSortByKey(const TChildView* report, ReportRow* rows, int count, int ascending);
// By market number, then category, then instrument code (bytes); `ascending` 1 smallest first.
// Stops at once, leaving the rows part-sorted, when a row names no instrument of the tables.
void CocktailSortByInstrument(const TChildView* report, ReportRow* rows, int count, int ascending);
// Rows with a parallel array of keys, moved together; `descending` 1 largest key first.
void CocktailSortByValue(const TChildView* report, ReportRow* rows, double* keys, int count,
                         int descending);
// One compare-and-swap pass per gap (count / 2, halving to 1), then CocktailSortByValue to
// finish. The gap passes may reorder rows of equal keys.
void ShellSortRows(const TChildView* report, ReportRow* rows, double* keys, int count, int descending);

// Brings the n best keys (largest when `descending`, else smallest) with their instruments to
// positions 0..n-1 in order, by n bubble passes from the end; equal keys keep their order. `n`
// is clamped to `count`.
void SelectTopN(STKPTR* instruments, double* keys, int count, int n, bool descending);

// ---- Blocks ------------------------------------------------------------------------------------

// The member after / before the instrument in the block (same market and index), wrapping from
// the last to the first / the first to the last. The instrument itself when the block does not
// exist, has no members or does not hold it.
STKPTR NextInBlock(std::uint16_t blockId, STKPTR instrument);
STKPTR PrevInBlock(std::uint16_t blockId, STKPTR instrument);

// Asks for a user block through the block chooser (caption "选择板块", new and modify hidden),
// with the modal-dialog state held while it is open. Cancelled: nothing. Otherwise appends the
// instrument to the chosen user block unless it is a member already or the block is full (7168),
// saves the user blocks when it was added, and notifies every view through the shell host with
// code 10 (the instrument, the block id) whether or not anything was added.
void AddInstrumentToBlock(TWinControl* owner, STKPTR instrument);

// ---- Colours and text --------------------------------------------------------------------------

// The up/down colour of `value` against `reference` (signed): COLOR20 when the reference is 0 or
// equals the value, COLOR21 when the value is below the reference, COLOR19 when above. Callers
// pass the price first and its comparison base second, e.g. GetChangeColor(last, prevClose):
// COLOR21 when the price rose.
COLORREF GetChangeColor(std::int32_t reference, std::int32_t value);

// Text alignment in a rectangle: horizontal 0 centred / 1 left + 3 / 2 right - 3; vertical 0
// centred / 1 top + 3 / 2 bottom - 3 (centring rounds towards zero; other values centre).
// When the rectangle is narrower than the text + 6 or lower than its height + 6, "***" is drawn
// at left + 2, top + 2 instead. Drawn with the context's font, colour and background mode.
void DrawTextInRect(const TChildView* view, HDC dc, const RECT& rect, const char* text, int horizontal,
                    int vertical);
// The run text1, " / ", text2 aligned as one (the height test uses text1), text1 in colour1, the
// separator in COLOR47, text2 in colour2; "***" when it does not fit. The context's text colour
// is restored afterwards.
void DrawPairTextInRect(HDC dc, const RECT& rect, COLORREF colour1, COLORREF colour2, const char* text1,
                        const char* text2, int horizontal, int vertical);
