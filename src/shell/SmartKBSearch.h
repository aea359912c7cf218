// The keyboard wizard's search, apart from its form: which hot-key commands, indicators, pages
// and instruments a typed text can mean, in that order. Pure over its sources (the hot-key
// table, the indicator catalog, the page list, the market tables and blocks; an interface a
// test or a benchmark replaces) and the platform's clock (the contract-month completion reads
// the local year), so it is tested and measured without a window.
//
// Text is GBK. Letter case is folded for ASCII letters only, and both bytes of a double-byte
// character are compared as they stand, so a trail byte that looks like a letter never
// matches one.
#pragma once

#include "data/HotKeys.h"
#include "data/Records.h"
#include "shell/IndicatorCatalog.h"

#include <cstdint>

// Hit kinds.
constexpr std::int16_t kSmartKBHitCommand = 0;      // index: hot-key record
constexpr std::int16_t kSmartKBHitInstrument = 1;   // index: place in the matched instruments
constexpr std::int16_t kSmartKBHitFormula = 2;      // index: running number in the catalog
constexpr std::int16_t kSmartKBHitPage = 3;         // index: page number

constexpr int kSmartKBMaxHits = 1024;
constexpr int kSmartKBMaxInstruments = 512;
constexpr int kPinyinLevel2PerLetter = 16;
constexpr int kPinyinMaxCells = 8;

struct SmartKBHit {
  std::int16_t kind;
  std::uint16_t index;
};

// The level-2 pinyin table: per letter A..Z up to 16 GBK double-byte characters (both bytes at
// least 160), and whether any letter has one.
struct PinyinLevel2Table {
  unsigned char chars[26][kPinyinLevel2PerLetter][2] = {};
  std::uint8_t count[26] = {};
  bool configured = false;

  // Empties the table.
  void Clear();
  // Sets letter `letter` (0 = A) from a setting's value: its bytes taken two at a time from
  // the start, keeping in order each pair whose bytes are both at least 160; the first 16 are
  // kept, the rest are left out. Any kept character sets `configured`.
  void SetLetter(int letter, const char* value);
  // Reads every letter's key ("A".."Z") of [PYLEVEL2] in "..\CFG\SETTING.INI" (at most 511
  // characters each, default empty).
  void Load();
};

// The hits of the last search, the matched instruments and the level-2 pinyin table.
struct SmartKBSearchState {
  SmartKBHit hits[kSmartKBMaxHits];
  int hitCount = 0;
  InstrumentRecord instruments[kSmartKBMaxInstruments];
  int instrumentCount = 0;
  PinyinLevel2Table level2;
};

// What the search reads. DefaultSmartKBSources() reads the process's tables; tests and
// benchmarks may pass their own.
class ISmartKBSources {
 public:
  virtual ~ISmartKBSources() = default;
  // The hot-key record at table position `index`; null at and after the table's end.
  virtual const HotKeyRecord* HotKeyAt(int index) = 0;
  // The n-th indicator definition over all groups in list order; null past the end.
  virtual const IndicatorDef* IndicatorAt(int n) = 0;
  // The number of pages in the page list; page number i (1..count) is list position i - 1.
  virtual int PageCount() = 0;
  // Name and file path of page number 1..count (null outside).
  virtual const char* PageName(int number) = 0;
  virtual const char* PagePath(int number) = 0;
  // The record of `code` in market `market`; null when absent or no such market.
  virtual const InstrumentRecord* FindInMarket(const char* code, int market) = 0;
  // The instrument lists walked in order (the per-market automatic blocks, one per market).
  virtual int InstrumentListCount() = 0;
  virtual int InstrumentCount(int list) = 0;
  // Members `from` .. of list `list`, at most `room` of them: for each its record (null when it
  // names no loaded instrument) and its alternative code (null when it has none). Returns how
  // many were written (0 past the list's end). One call serves many members, as the search
  // walks every instrument on each keystroke.
  virtual int InstrumentsAt(int list, int from, int room, const InstrumentRecord** records, const char** altCodes) = 0;
};

// The hot-key table, IndicatorCatalog(), the page list, MarketTables and the blocks in the
// first MarketCount slots of the block table. Read when called; nothing is cached.
ISmartKBSources& DefaultSmartKBSources();

// A to Z or a to z.
bool IsAsciiLetter(char character);
// The text is at least as long as the prefix and begins with it, ASCII letters compared
// without regard to case, double-byte characters byte for byte. Null is the empty text.
bool StartsWithNoCase(const char* prefix, const char* text);

// The letter (0 = A .. 25 = Z) whose GB2312 level-1 range holds the double-byte character
// lead/trail; -1 when none (I, U and V have empty ranges).
int PinyinInitialOf(unsigned char lead, unsigned char trail);

// Whether `text` (its first `length` bytes, single-byte characters with at least one letter)
// matches consecutive cells of `name` (at most its first 9 bytes): the name's double-byte
// characters, letters (upper case) and digits, at most 8 cells, other bytes dropped, a lead
// byte cut off at the end dropped. A '.' matches any cell; a letter matches a double-byte
// cell in its pinyin range, its full-width form or one of its level-2 characters (when the
// table is configured); otherwise the upper-cased character must equal the cell's first byte.
bool PinyinMatch(const char* name, const char* text, int length, const PinyinLevel2Table& level2);

// The contract-month completion of `text` in local year `year`: a letter or two followed by
// one to three digits gives the letters, the decade digit and the digits ("A905" in 2008:
// "A0905"; "A105" in 2008: "A1105"). False (out empty) for any other text. `out` holds 8 bytes.
bool ContractMonthTarget(const char* text, int year, char* out);

// Fills state.instruments for `text`: code completion in markets 0 and 1, then the instrument
// lists, at most 512; the local year from the platform's clock. True when any matched.
bool MatchInstruments(SmartKBSearchState& state, const char* text, ISmartKBSources& sources);

// Fills state.hits for `text` (commands, formulas, pages, instruments; at most 1024, later
// ones left out); true when there is at least one. An empty or null text gives none.
bool SmartKBSearch(SmartKBSearchState& state, const char* text, ISmartKBSources& sources);
