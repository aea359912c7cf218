// The keyboard wizard's search over its sources.
#include "shell/SmartKBSearch.h"

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "platform/Profile.h"
#include "platform/Kernel.h"
#include "shell/PageList.h"

#include <cstdio>
#include <cstring>

namespace {

using uchar = unsigned char;

// The first character of each letter's range, as lead * 256 + trail; a letter's range ends
// where the next larger boundary begins. Z runs up to and including the last level-1
// character (0xD7F9).
constexpr unsigned kInitialFrom[26] = {
    0xB0A1, 0xB0C5, 0xB2C1, 0xB4EE, 0xB6EA, 0xB7A2, 0xB8C1, 0xB9FE, 0xBBF7, 0xBBF7, 0xBFA6, 0xC0AC, 0xC2E8,
    0xC4C3, 0xC5B6, 0xC5BE, 0xC6DA, 0xC8BB, 0xC8F6, 0xCBFA, 0xCDDA, 0xCDDA, 0xCDDA, 0xCEF4, 0xD1B9, 0xD4D1};
constexpr unsigned kLastLevel1 = 0xD7F9;

constexpr unsigned InitialEnd(int letter) {
  return letter == 25 ? kLastLevel1 + 1 : kInitialFrom[letter + 1];
}

constexpr char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// StartsWithNoCase over a text field of at most `size` bytes (not necessarily terminated).
bool StartsWithField(const char* prefix, const char* text, std::size_t size) {
  std::size_t i = 0;
  while (prefix[i] != '\0') {
    if (i >= size || text[i] == '\0') return false;
    const char p = prefix[i];
    const char t = text[i];
    if (static_cast<uchar>(t) >= 0x81 || static_cast<uchar>(p) >= 0x81) {
      // A double-byte character: both bytes as they stand.
      if (p != t) return false;
      if (prefix[i + 1] == '\0') return true;
      if (i + 1 >= size || prefix[i + 1] != text[i + 1]) return false;
      i += 2;
      continue;
    }
    if (Upper(p) != Upper(t)) return false;
    ++i;
  }
  return true;
}

bool EqualsField(const char* a, const char* field, std::size_t size) {
  const std::size_t n = std::strlen(a);
  if (n > size) return false;
  if (n < size && field[n] != '\0') return false;
  return StartsWithField(a, field, size);
}

// The text as PinyinMatch needs it, worked out once per search.
struct PinyinQuery {
  bool usable = false;   // single-byte only, at least one letter, 1..8 characters
  int length = 0;
  char upper[kPinyinMaxCells + 1] = {};
};

PinyinQuery MakePinyinQuery(const char* text, int length) {
  PinyinQuery query;
  if (text == nullptr || length <= 0 || length > kPinyinMaxCells) return query;
  bool letter = false;
  for (int k = 0; k < length; ++k) {
    const char c = text[k];
    if (c == '\0' || static_cast<uchar>(c) >= 0x80) return query;
    letter = letter || IsAsciiLetter(c);
    query.upper[k] = Upper(c);
  }
  query.usable = letter;
  query.length = length;
  return query;
}

// The letter of every GB2312 level-1 position (lead 0xB0..0xD7, trail 0xA1..0xFE) + 1, 0 for
// none: one load per character instead of a walk over the boundaries.
struct InitialTable {
  std::uint8_t letter[40 * 94] = {};
  InitialTable() {
    for (unsigned lead = 0xB0; lead <= 0xD7; ++lead) {
      for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
        const unsigned code = lead << 8 | trail;
        for (int l = 25; l >= 0; --l) {
          if (code >= kInitialFrom[l]) {
            if (code < InitialEnd(l)) letter[(lead - 0xB0) * 94 + (trail - 0xA1)] = static_cast<std::uint8_t>(l + 1);
            break;
          }
        }
      }
    }
  }
};
const InitialTable kInitials;

// The upper-case letter a double-byte character stands for by its pinyin range or as a
// full-width capital; 0 for none.
inline char InitialLetter(uchar lead, uchar trail) {
  if (lead >= 0xB0 && lead <= 0xD7 && trail >= 0xA1 && trail <= 0xFE) {
    const std::uint8_t l = kInitials.letter[(lead - 0xB0) * 94 + (trail - 0xA1)];
    return l == 0 ? '\0' : static_cast<char>('A' + l - 1);
  }
  if (lead == 0xA3 && trail >= 0xC1 && trail <= 0xDA) return static_cast<char>('A' + (trail - 0xC1));
  return '\0';
}

bool IsLevel2Character(int letter, uchar lead, uchar trail, const PinyinLevel2Table& level2) {
  for (int i = 0; i < level2.count[letter]; ++i) {
    if (level2.chars[letter][i][0] == lead && level2.chars[letter][i][1] == trail) return true;
  }
  return false;
}

// A quick necessary test before the cells are built: some character of the name can be the
// letter or digit `q0` (upper case) by itself, its pinyin range or its full-width form. Only
// without a level-2 table, which may add characters to any letter.
bool MayHoldCell(const char* name, std::size_t nameSize, char q0) {
  const bool letter = q0 >= 'A' && q0 <= 'Z';
  const unsigned from = letter ? kInitialFrom[q0 - 'A'] : 0;
  const unsigned span = letter ? InitialEnd(q0 - 'A') - from : 0;
  for (std::size_t i = 0; i < nameSize && name[i] != '\0';) {
    const uchar c = static_cast<uchar>(name[i]);
    if (c >= 0x81) {
      if (i + 1 >= nameSize || name[i + 1] == '\0') return false;
      const uchar trail = static_cast<uchar>(name[i + 1]);
      if ((static_cast<unsigned>(c) << 8 | trail) - from < span) return true;
      if (letter && c == 0xA3 && trail == 0xC1 + (q0 - 'A')) return true;
      i += 2;
      continue;
    }
    if (Upper(static_cast<char>(c)) == q0) return true;
    ++i;
  }
  return false;
}

bool PinyinMatchQuery(const char* name, std::size_t nameSize, const PinyinQuery& query,
                      const PinyinLevel2Table& level2) {
  if (!query.usable) return false;
  // Each cell: the character a single-byte cell is (upper case), or for a double-byte cell its
  // initial letter (0 for none) with its bytes kept for the level-2 table.
  char key[kPinyinMaxCells];
  bool wide[kPinyinMaxCells];
  uchar bytes[kPinyinMaxCells][2];
  int cellCount = 0;
  for (std::size_t i = 0; i < nameSize && name[i] != '\0' && cellCount < kPinyinMaxCells;) {
    const uchar c = static_cast<uchar>(name[i]);
    if (c >= 0x81) {
      // A double-byte character; a lead byte cut off at the end of the name is dropped.
      if (i + 1 >= nameSize || name[i + 1] == '\0') break;
      const uchar trail = static_cast<uchar>(name[i + 1]);
      key[cellCount] = InitialLetter(c, trail);
      wide[cellCount] = true;
      bytes[cellCount][0] = c;
      bytes[cellCount][1] = trail;
      ++cellCount;
      i += 2;
      continue;
    }
    if (IsAsciiLetter(static_cast<char>(c)) || IsDigit(static_cast<char>(c))) {
      key[cellCount] = Upper(static_cast<char>(c));
      wide[cellCount] = false;
      ++cellCount;
    }
    ++i;
  }
  for (int j = 0; j + query.length <= cellCount; ++j) {
    int k = 0;
    for (; k < query.length; ++k) {
      const char t = query.upper[k];
      const int cell = j + k;
      if (t == '.' || t == key[cell]) continue;
      // A letter may still name a double-byte cell through the level-2 table.
      if (!(wide[cell] && level2.configured && t >= 'A' && t <= 'Z' &&
            IsLevel2Character(t - 'A', bytes[cell][0], bytes[cell][1], level2))) {
        break;
      }
    }
    if (k == query.length) return true;
  }
  return false;
}

int LocalYear() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return now.wYear;
}

// Appends (or puts in front) a copy of `record`; false when the list is full.
bool AddInstrument(SmartKBSearchState& state, const InstrumentRecord& record, bool front) {
  if (state.instrumentCount >= kSmartKBMaxInstruments) return false;
  if (front) {
    std::memmove(&state.instruments[1], &state.instruments[0],
                 sizeof(InstrumentRecord) * static_cast<std::size_t>(state.instrumentCount));
    state.instruments[0] = record;
  } else {
    state.instruments[state.instrumentCount] = record;
  }
  ++state.instrumentCount;
  return true;
}

bool AddHit(SmartKBSearchState& state, std::int16_t kind, int index) {
  if (state.hitCount >= kSmartKBMaxHits) return false;
  state.hits[state.hitCount++] = SmartKBHit{kind, static_cast<std::uint16_t>(index)};
  return true;
}

bool SameInstrument(const InstrumentRecord& a, const InstrumentRecord& b) {
  return a.market == b.market && a.index == b.index;
}

class ProcessSources final : public ISmartKBSources {
 public:
  const HotKeyRecord* HotKeyAt(int index) override {
    if (index < 0 || index >= kHotKeyTableSize || HotKeyTable[index].commandId == 0) return nullptr;
    return &HotKeyTable[index];
  }
  const IndicatorDef* IndicatorAt(int n) override { return IndicatorCatalog().GetIndexAt(n); }
  int PageCount() override { return PageListCount(); }
  const char* PageName(int number) override {
    return number >= 1 && number <= PageListCount() ? PageListEntry(number - 1).name : nullptr;
  }
  const char* PagePath(int number) override {
    return number >= 1 && number <= PageListCount() ? PageListEntry(number - 1).path : nullptr;
  }
  const InstrumentRecord* FindInMarket(const char* code, int market) override {
    return FindInstrumentInMarket(code, market);
  }
  int InstrumentListCount() override {
    int n = MarketCount < BlockSlotCount ? MarketCount : BlockSlotCount;
    return n < 0 ? 0 : n;
  }
  int InstrumentCount(int list) override {
    const BlockRecord& block = BlockTable[list];
    if (!block.used || block.kind != kBlockPerMarket || block.members == nullptr) return 0;
    return block.memberCount;
  }
  int InstrumentsAt(int list, int from, int room, const InstrumentRecord** records, const char** altCodes) override {
    const int count = InstrumentCount(list);
    int written = 0;
    for (int position = from; position < count && written < room; ++position, ++written) {
      const BlockMember& member = BlockTable[list].members[position];
      records[written] = nullptr;
      altCodes[written] = nullptr;
      const TMarketData* table = GetMarketTable(member.market);
      if (table == nullptr || table->names == nullptr || member.index >= table->count) continue;
      if (member.market == kAltCodeMarket && table->altCodes != nullptr) {
        altCodes[written] = table->altCodes[member.index].code;
      }
      records[written] = &table->names[member.index];
    }
    return written;
  }
};

}  // namespace

void PinyinLevel2Table::Clear() {
  std::memset(chars, 0, sizeof chars);
  std::memset(count, 0, sizeof count);
  configured = false;
}

void PinyinLevel2Table::SetLetter(int letter, const char* value) {
  if (letter < 0 || letter >= 26) return;
  count[letter] = 0;
  if (value == nullptr) return;
  const std::size_t n = std::strlen(value);
  for (std::size_t i = 0; i + 1 < n && count[letter] < kPinyinLevel2PerLetter; i += 2) {
    const uchar a = static_cast<uchar>(value[i]);
    const uchar b = static_cast<uchar>(value[i + 1]);
    if (a < 160 || b < 160) continue;
    chars[letter][count[letter]][0] = a;
    chars[letter][count[letter]][1] = b;
    ++count[letter];
    configured = true;
  }
}

void PinyinLevel2Table::Load() {
  Clear();
  for (int letter = 0; letter < 26; ++letter) {
    char key[2] = {static_cast<char>('A' + letter), '\0'};
    char value[512] = {};
    GetPrivateProfileStringA("PYLEVEL2", key, "", value, sizeof value, "..\\CFG\\SETTING.INI");
    SetLetter(letter, value);
  }
}

ISmartKBSources& DefaultSmartKBSources() {
  static ProcessSources sources;
  return sources;
}

bool IsAsciiLetter(char character) {
  return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z');
}

bool StartsWithNoCase(const char* prefix, const char* text) {
  if (prefix == nullptr) prefix = "";
  if (text == nullptr) text = "";
  return StartsWithField(prefix, text, static_cast<std::size_t>(-1));
}

int PinyinInitialOf(unsigned char lead, unsigned char trail) {
  const unsigned code = static_cast<unsigned>(lead) << 8 | trail;
  for (int letter = 25; letter >= 0; --letter) {
    if (code >= kInitialFrom[letter]) return code < InitialEnd(letter) ? letter : -1;
  }
  return -1;
}

bool PinyinMatch(const char* name, const char* text, int length, const PinyinLevel2Table& level2) {
  if (name == nullptr) return false;
  return PinyinMatchQuery(name, sizeof(InstrumentRecord::name), MakePinyinQuery(text, length), level2);
}

bool ContractMonthTarget(const char* text, int year, char* out) {
  out[0] = '\0';
  if (text == nullptr) return false;
  int letters = 0;
  while (letters < 2 && IsAsciiLetter(text[letters])) ++letters;
  if (letters == 0) return false;
  int digits = 0;
  while (IsDigit(text[letters + digits])) ++digits;
  if (digits < 1 || digits > 3 || text[letters + digits] != '\0') return false;
  int decade = (year / 10) % 10;
  if (text[letters] - '0' < year % 10) decade = (decade + 1) % 10;
  std::memcpy(out, text, static_cast<std::size_t>(letters));
  out[letters] = static_cast<char>('0' + decade);
  std::memcpy(out + letters + 1, text + letters, static_cast<std::size_t>(digits));
  out[letters + 1 + digits] = '\0';
  return true;
}

bool MatchInstruments(SmartKBSearchState& state, const char* text, ISmartKBSources& sources) {
  state.instrumentCount = 0;
  if (text == nullptr || text[0] == '\0') return false;
  const std::size_t length = std::strlen(text);

  // Code completion: three digits after 600 / 000, four after 00 / 60, market 0 then 1.
  bool allDigits = true;
  for (std::size_t i = 0; i < length; ++i) allDigits = allDigits && IsDigit(text[i]);
  InstrumentRecord completedRecords[2];
  int completed = 0;
  if (allDigits && (length == 3 || length == 4)) {
    const char* const heads3[] = {"600", "000"};
    const char* const heads4[] = {"00", "60"};
    for (const char* head : length == 3 ? heads3 : heads4) {
      char code[8];
      std::snprintf(code, sizeof code, "%s%s", head, text);
      const InstrumentRecord* found = sources.FindInMarket(code, 0);
      if (found == nullptr) found = sources.FindInMarket(code, 1);
      if (found != nullptr && AddInstrument(state, *found, false)) completedRecords[completed++] = *found;
    }
  }

  char target[8];
  const bool hasTarget = ContractMonthTarget(text, LocalYear(), target);
  const PinyinQuery query = MakePinyinQuery(text, static_cast<int>(length));

  // The text's first byte as a prefix test folds it: most instruments fail on it at once.
  const char first = Upper(text[0]);
  const bool firstIsWide = static_cast<uchar>(text[0]) >= 0x81;
  auto mayStart = [&](const char* field) {
    return firstIsWide ? field[0] == text[0] : Upper(field[0]) == first;
  };
  const bool pinyin = query.usable;
  const bool quickFirst = pinyin && !state.level2.configured && query.upper[0] != '.';
  const char targetFirst = hasTarget ? Upper(target[0]) : '\0';
  constexpr std::size_t kAltSize = sizeof(InstrumentExtRecord::code);

  constexpr int kBatch = 256;
  const InstrumentRecord* records[kBatch];
  const char* alts[kBatch];
  const int lists = sources.InstrumentListCount();
  for (int list = 0; list < lists; ++list) {
    for (int from = 0;;) {
      const int got = sources.InstrumentsAt(list, from, kBatch, records, alts);
      if (got <= 0) break;
      from += got;
      for (int m = 0; m < got; ++m) {
        if (state.instrumentCount >= kSmartKBMaxInstruments) return true;
        const InstrumentRecord* record = records[m];
        if (record == nullptr) continue;
        const char* alt = alts[m];
        bool matched = (mayStart(record->code) && StartsWithField(text, record->code, sizeof record->code)) ||
                       (mayStart(record->name) && StartsWithField(text, record->name, sizeof record->name)) ||
                       (alt != nullptr && ((mayStart(alt) && StartsWithField(text, alt, kAltSize)) ||
                                           (hasTarget && Upper(alt[0]) == targetFirst &&
                                            StartsWithField(target, alt, kAltSize))));
        bool front = false;
        if (matched) {
          front = EqualsField(text, record->code, sizeof record->code) ||
                  (alt != nullptr && EqualsField(text, alt, kAltSize));
        } else if (pinyin && (!quickFirst || MayHoldCell(record->name, sizeof record->name, query.upper[0]))) {
          matched = PinyinMatchQuery(record->name, sizeof record->name, query, state.level2);
        }
        if (!matched) continue;
        // An instrument the code completion listed already is not listed twice.
        bool listed = false;
        for (int c = 0; c < completed && !listed; ++c) listed = SameInstrument(completedRecords[c], *record);
        if (listed) continue;
        AddInstrument(state, *record, front);
      }
    }
  }
  return state.instrumentCount > 0;
}

bool SmartKBSearch(SmartKBSearchState& state, const char* text, ISmartKBSources& sources) {
  state.hitCount = 0;
  state.instrumentCount = 0;
  if (text == nullptr || text[0] == '\0') return false;

  // 1. Commands typed as a sequence finished with ENTER.
  for (int i = 0; i < kHotKeyTableSize; ++i) {
    const HotKeyRecord* record = sources.HotKeyAt(i);
    if (record == nullptr) break;
    if (record->keyMask != kKeyEnter || record->typedKeys[0] == '\0') continue;
    if (StartsWithField(text, record->typedKeys, sizeof record->typedKeys) &&
        !AddHit(state, kSmartKBHitCommand, i)) {
      return true;
    }
  }
  // 2. Indicator formulas by name.
  for (int n = 0; n <= 0xFFFF; ++n) {
    const IndicatorDef* def = sources.IndicatorAt(n);
    if (def == nullptr) break;
    if (StartsWithField(text, def->name, sizeof def->name) && !AddHit(state, kSmartKBHitFormula, n)) return true;
  }
  // 3. Pages by number: ".0" the default page, ".i" a listed page with a file.
  if (text[0] == '.') {
    const int pages = sources.PageCount();
    for (int i = 0; i <= pages; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, ".%d", i);
      if (!StartsWithNoCase(text, number)) continue;
      const char* path = i == 0 ? nullptr : sources.PagePath(i);
      if (i != 0 && (path == nullptr || path[0] == '\0')) continue;
      if (!AddHit(state, kSmartKBHitPage, i)) return true;
    }
  }
  // 4. Instruments.
  MatchInstruments(state, text, sources);
  for (int i = 0; i < state.instrumentCount; ++i) {
    if (!AddHit(state, kSmartKBHitInstrument, i)) break;
  }
  return state.hitCount > 0;
}
