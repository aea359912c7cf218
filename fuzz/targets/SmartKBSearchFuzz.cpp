// Fuzz target "smartkb": the keyboard wizard's search over typed text, instrument names and
// alternative codes, and the level-2 pinyin setting (SmartKBSearch, MatchInstruments,
// PinyinMatch, StartsWithNoCase, PinyinLevel2Table::SetLetter).
// Input: the typed text (its first 8 bytes, to the first zero byte); after the part separator
// the level-2 value given to every letter; then the instruments' names and alternative codes,
// 8 + 6 bytes each (at most 64 instruments, in market 0 and market 3).
// Property: the hits stay inside their table (at most 1024) and the matched instruments inside
// theirs (at most 512); every instrument hit names a matched instrument, each once, which is a
// loaded instrument; below the cap every instrument whose initials match is listed; every
// command hit a record finished with ENTER; a level-2 letter keeps at most 16 characters of two
// bytes of at least 160; the same search gives the same hits.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/BlockGroup.h"
#include "data/HotKeys.h"
#include "data/MarketData.h"
#include "shell/SmartKBSearch.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kNameBytes = 8;
constexpr std::size_t kAltBytes = 6;
constexpr std::size_t kMaxInstruments = 64;

void AddMarket(int number, std::string_view entries, std::size_t from, std::size_t count) {
  MarketRecord record = fuzz::TwoSessionMarket(1, number == 0 ? "SH" : "HK", 8, static_cast<int>(count) + 4, 530);
  auto* table = new TMarketData(number, record);
  FUZZ_CHECK(table->names != nullptr, "a small market gets its arrays");
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view entry = entries.substr((from + i) * (kNameBytes + kAltBytes), kNameBytes + kAltBytes);
    InstrumentRecord& r = table->names[i];
    r = InstrumentRecord{};
    std::snprintf(r.code, sizeof r.code, "%06d", static_cast<int>(600000 + from + i));
    std::memcpy(r.name, entry.data(), kNameBytes);
    if (table->altCodes != nullptr) std::memcpy(table->altCodes[i].code, entry.data() + kNameBytes, kAltBytes);
  }
  table->count = static_cast<int>(count);
  table->FinishNameTable();
  MarketTables[number] = table;
  if (MarketCount <= number) MarketCount = number + 1;
}

}  // namespace

int FuzzSmartKBSearch(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  char text[9] = {};
  std::memcpy(text, parts[0].data(), std::min<std::size_t>(parts[0].size(), 8));

  auto state = std::make_unique<SmartKBSearchState>();
  if (parts.size() > 1) {
    const std::string value(parts[1].substr(0, 511));
    for (int letter = 0; letter < 26; ++letter) {
      state->level2.SetLetter(letter, value.c_str());
      FUZZ_CHECK(state->level2.count[letter] <= kPinyinLevel2PerLetter, "a letter keeps at most 16 characters");
      for (int i = 0; i < state->level2.count[letter]; ++i) {
        FUZZ_CHECK(state->level2.chars[letter][i][0] >= 160 && state->level2.chars[letter][i][1] >= 160,
                   "a level-2 character has two bytes of at least 160");
      }
    }
  }

  const std::string_view entries = parts.size() > 2 ? parts[2] : std::string_view();
  const std::size_t count = std::min(entries.size() / (kNameBytes + kAltBytes), kMaxInstruments);
  AddMarket(0, entries, 0, count / 2);
  for (int m = 1; m < 3; ++m) AddMarket(m, entries, 0, 0);
  AddMarket(3, entries, count / 2, count - count / 2);
  LoadHotKeys();
  BuildCategoryBlocks();

  // Each name alone, as the pinyin match reads it (at most its 9 bytes).
  for (std::size_t i = 0; i < count; ++i) {
    char name[9] = {};
    std::memcpy(name, entries.data() + i * (kNameBytes + kAltBytes), kNameBytes);
    PinyinMatch(name, text, static_cast<int>(std::strlen(text)), state->level2);
  }

  SmartKBSearch(*state, text, DefaultSmartKBSources());
  FUZZ_CHECK(state->hitCount >= 0 && state->hitCount <= kSmartKBMaxHits, "the hits stay in their table");
  FUZZ_CHECK(state->instrumentCount >= 0 && state->instrumentCount <= kSmartKBMaxInstruments,
             "the matched instruments stay in their table");
  std::vector<bool> seen(static_cast<std::size_t>(state->instrumentCount), false);
  for (int i = 0; i < state->hitCount; ++i) {
    const SmartKBHit hit = state->hits[i];
    if (hit.kind == kSmartKBHitInstrument) {
      FUZZ_CHECK(hit.index < state->instrumentCount && !seen[hit.index], "an instrument hit names a match once");
      seen[hit.index] = true;
      const InstrumentRecord& r = state->instruments[hit.index];
      const TMarketData* table = GetMarketTable(r.market);
      FUZZ_CHECK(table != nullptr && r.index < table->count &&
                     std::memcmp(&table->names[r.index], &r, sizeof r) == 0,
                 "a matched instrument is a loaded one");
    } else if (hit.kind == kSmartKBHitCommand) {
      FUZZ_CHECK(hit.index < kHotKeyTableSize && HotKeyTable[hit.index].keyMask == kKeyEnter,
                 "a command hit is a typed sequence finished with ENTER");
    } else {
      FUZZ_CHECK(hit.kind == kSmartKBHitFormula || hit.kind == kSmartKBHitPage, "a hit has a known kind");
    }
  }
  // Below the cap, every loaded instrument whose name matches the text's initials is listed (the
  // search's quick tests never drop one).
  if (state->instrumentCount < kSmartKBMaxInstruments) {
    const int length = static_cast<int>(std::strlen(text));
    for (int m = 0; m < MarketCount; ++m) {
      const TMarketData* table = MarketTables[m];
      for (int i = 0; table != nullptr && i < table->count; ++i) {
        if (!PinyinMatch(table->names[i].name, text, length, state->level2)) continue;
        bool listed = false;
        for (int k = 0; k < state->instrumentCount && !listed; ++k) {
          listed = state->instruments[k].market == m && state->instruments[k].index == i;
        }
        FUZZ_CHECK(listed, "an instrument whose initials match is listed");
      }
    }
  }
  auto again = std::make_unique<SmartKBSearchState>();
  again->level2 = state->level2;
  SmartKBSearch(*again, text, DefaultSmartKBSources());
  FUZZ_CHECK(again->hitCount == state->hitCount &&
                 std::memcmp(again->hits, state->hits, sizeof(SmartKBHit) * static_cast<std::size_t>(state->hitCount)) == 0,
             "the same search gives the same hits");
  return 0;
}
