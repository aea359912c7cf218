// Helpers shared by every view: quote column values, row sorts, block stepping, colours, text in
// a rectangle and adding an instrument to a user block.
#include "shell/ViewHelpers.h"

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "shell/ModalDialog.h"
#include "shell/ShellDialogs.h"
#include "shell/ShellHost.h"
#include "shell/ViewTypes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

const char ReportColumnTitles[kReportColumnCount][kReportColumnTitleSize] = {
    "序",       "名称",     "昨收",     "开盘",     "最高",     "最低",      "最新",     "成交量",
    "成交金额", "代码",     "涨跌",     "幅度%",    "振幅%",    "量比",      "强弱度",   "多空平衡",
    "多头获利", "多头停损", "空头回补", "空头停损", "委比",     "快速涨跌%", "换手率%",  "市盈率",
    "现手",     "买价",     "卖价",     "结算价",   "买量",     "卖量",      "仓差",     "时间",
    "买价/卖价", "买量/卖量", "前成一", "前成二",   "前成三",   "前成四",    "前成五",
};

namespace {

constexpr int kColorUp = 20;      // COLOR21
constexpr int kColorLevel = 19;   // COLOR20
constexpr int kColorDown = 18;    // COLOR19
constexpr int kColorSeparator = 46;   // COLOR47
constexpr int kTextMargin = 3;
constexpr int kOverflowMargin = 2;
constexpr const char* kOverflowText = "***";
constexpr const char* kPairSeparator = " / ";

// The volume-ratio base is trusted only inside this range; outside it the ratio is shown as 1.
constexpr double kMinRefVolume = 0.01;
constexpr double kMaxRefVolume = 100000000.0;

// ---- GetQuoteField ----

// The tables and records one instrument's columns read; `quote` null when the instrument cannot
// be read (no table, no quote array, index not below the market's count).
struct QuoteSource {
  const TMarketData* table = nullptr;
  const InstrumentRecord* name = nullptr;
  const QuoteRecord* quote = nullptr;
  const QuoteExtraRecord* extra = nullptr;   // a zero record when the market keeps none
  const LastTradePrices* trades = nullptr;   // null when the market keeps none
  const CategoryRecord* category = nullptr;
  double divisor = 1.0;
};

const QuoteExtraRecord kNoExtra{};

bool ReadSource(const STKPTR& instrument, QuoteSource& source) {
  const TMarketData* table = GetMarketTable(instrument.market);
  if (table == nullptr || table->quotes == nullptr || table->names == nullptr) return false;
  // Page files may name (0,0,0) in a market that holds no instrument now.
  if (instrument.index >= table->count) return false;
  const int index = instrument.index;
  source.table = table;
  source.name = &table->names[index];
  source.quote = &table->quotes[index];
  source.extra = table->extras != nullptr ? &table->extras[index] : &kNoExtra;
  source.trades = table->lastTrades != nullptr ? &table->lastTrades[index] : nullptr;
  const int category = source.name->category;
  if (category < kMaxCategories) source.category = &table->record.categories[category];
  source.divisor = source.name->priceDivisor != 0 ? source.name->priceDivisor : 1.0;
  return true;
}

bool Depthless(const QuoteSource& source) { return source.category != nullptr && source.category->noDepth != 0; }

// Change in percent of a quote; an instrument that has not traded yet counts as unchanged (its
// shown price is the previous close). The previous close must not be 0.
double ChangePercent(const QuoteRecord& quote) {
  if (quote.last == 0) return 0.0;
  return (static_cast<double>(quote.last) - quote.prevClose) * 100.0 / quote.prevClose;
}

bool Value(double value, double& out) {
  out = value;
  return true;
}
bool Price(std::uint32_t price, const QuoteSource& source, double& out) {
  return Value(price / source.divisor, out);
}
bool NonZeroPrice(std::uint32_t price, const QuoteSource& source, double& out) {
  return price != 0 && Price(price, source, out);
}

// ---- Sorts ----

// Bidirectional bubble sort over positions 0..count-1 with shrinking bounds: `outOfOrder(i, j)`
// tells whether position j (= i + 1) must move before i, and returns -1 to stop the sort;
// `swap(i, j)` exchanges them. Equal elements are never out of order, so the sort is stable.
template <typename OutOfOrder, typename Swap>
void CocktailSort(int count, OutOfOrder outOfOrder, Swap swap) {
  int low = 0;
  int high = count - 1;
  while (low < high) {
    int lastSwap = low;
    for (int i = low; i < high; ++i) {
      const int order = outOfOrder(i, i + 1);
      if (order < 0) return;
      if (order > 0) {
        swap(i, i + 1);
        lastSwap = i;
      }
    }
    high = lastSwap;
    lastSwap = high;
    for (int i = high; i > low; --i) {
      const int order = outOfOrder(i - 1, i);
      if (order < 0) return;
      if (order > 0) {
        swap(i - 1, i);
        lastSwap = i;
      }
    }
    low = lastSwap;
  }
}

// The order a bidirectional bubble sort with strict comparisons ends in is the stable sort of
// its input (adjacent rows of equal keys never pass each other), so long tables are sorted
// stably in n log n with the same result. `less(a, b)`: original position a goes before b.
// `place(order)` moves the elements into the order of the original positions given.
template <typename Less, typename Place>
void StableSortPositions(int count, Less less, Place place) {
  std::vector<int> order(static_cast<std::size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), less);
  place(order);
}

template <typename Element>
void Permute(Element* elements, const std::vector<int>& order) {
  std::vector<Element> sorted;
  sorted.reserve(order.size());
  for (int position : order) sorted.push_back(elements[position]);
  std::copy(sorted.begin(), sorted.end(), elements);
}

// Is `next` (the later key) out of order against `key`?
int KeyOutOfOrder(double key, double next, bool descending) {
  return descending ? next > key : next < key;
}

const InstrumentRecord* RowInstrument(const ReportRow& row) {
  const TMarketData* table = GetMarketTable(row.market);
  if (table == nullptr || table->names == nullptr || row.index >= table->count) return nullptr;
  return &table->names[row.index];
}

// Market, then category, then code: the code comparison moves the later row's key by one, so it
// decides only between rows of the same market and category.
long InstrumentKey(const InstrumentRecord& record) {
  return static_cast<long>(record.market) * 65536 + static_cast<long>(record.category) * 255 + 128;
}

// ---- Blocks ----

// Position of the instrument (market and index) among the block's members, or -1; `block` null
// when the block is missing or empty.
int MemberPosition(std::uint16_t blockId, const STKPTR& instrument, const BlockRecord*& block) {
  block = FindBlockById(blockId);
  if (block == nullptr || block->members == nullptr || block->memberCount == 0) {
    block = nullptr;
    return -1;
  }
  const int count = block->memberCount < kMaxBlockMembers ? block->memberCount : kMaxBlockMembers;
  for (int i = 0; i < count; ++i) {
    const BlockMember& member = block->members[i];
    if (member.market == instrument.market && member.index == instrument.index) return i;
  }
  return -1;
}

STKPTR MemberInstrument(const BlockMember& member) { return STKPTR(member.market, member.category, member.index); }

// ---- Text ----

SIZE Measure(HDC dc, const char* text) {
  SIZE size{0, 0};
  if (!GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size)) size = SIZE{0, 0};
  return size;
}

// Where a run of `size` goes in the rectangle; false when it does not fit with its margins.
bool Place(const RECT& rect, SIZE size, int horizontal, int vertical, POINT& at) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width < size.cx + 2 * kTextMargin || height < size.cy + 2 * kTextMargin) return false;
  switch (horizontal) {
    case 1: at.x = rect.left + kTextMargin; break;
    case 2: at.x = rect.right - size.cx - kTextMargin; break;
    default: at.x = rect.left + (width - size.cx) / 2; break;
  }
  switch (vertical) {
    case 1: at.y = rect.top + kTextMargin; break;
    case 2: at.y = rect.bottom - size.cy - kTextMargin; break;
    default: at.y = rect.top + (height - size.cy) / 2; break;
  }
  return true;
}

void DrawOverflow(HDC dc, const RECT& rect) {
  TextOutA(dc, rect.left + kOverflowMargin, rect.top + kOverflowMargin, kOverflowText,
           static_cast<int>(std::strlen(kOverflowText)));
}

void Draw(HDC dc, int x, int y, const char* text) { TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text))); }

}  // namespace

bool GetQuoteField(STKPTR instrument, int id, double& out) {
  out = 0.0;
  QuoteSource source;
  if (id < 0 || id >= kReportColumnCount || !ReadSource(instrument, source)) return false;
  const QuoteRecord& quote = *source.quote;
  const QuoteExtraRecord& extra = *source.extra;
  const int kind = source.table->record.kind;

  if ((id == 10 || id == 11) && quote.last == 0) return false;
  if ((id == 11 || id == 12 || id == 14) && quote.prevClose == 0) return false;

  switch (id) {
    case 2: return Price(quote.prevClose, source, out);
    case 3: return Price(quote.open, source, out);
    case 4: return Price(quote.high, source, out);
    case 5: return Price(quote.low, source, out);
    case 6: return Price(quote.last != 0 ? quote.last : quote.prevClose, source, out);
    case 7: return Value(quote.volume, out);
    case 8: return Value(quote.amount, out);
    case 10: return Value((static_cast<double>(quote.last) - quote.prevClose) / source.divisor, out);
    case 11: return Value(ChangePercent(quote), out);
    case 12: return Value((static_cast<double>(quote.high) - quote.low) * 100.0 / quote.prevClose, out);
    case 13: {
      if (kind == 2) return false;
      const double refVolume = extra.refVolume;
      if (refVolume > kMinRefVolume && refVolume < kMaxRefVolume && source.category != nullptr) {
        return Value(static_cast<double>(quote.volume) * source.category->minutesPerDay / refVolume /
                         (source.category->minuteIndex + 1.0),
                     out);
      }
      return Value(1.0, out);
    }
    case 14: {
      // Against the market's first instrument (index 0); that one exists since this one does.
      const QuoteRecord& first = source.table->quotes[0];
      if (first.prevClose == 0) return Value(0.0, out);
      return Value(ChangePercent(quote) - ChangePercent(first), out);
    }
    case 15: return NonZeroPrice(extra.balancePrice, source, out);
    case 16: return extra.side == 0 && Price(extra.longTarget, source, out);
    case 17: return extra.side == 0 && Price(extra.longStop, source, out);
    case 18: return extra.side != 0 && Price(extra.shortCover, source, out);
    case 19: return extra.side != 0 && Price(extra.shortStop, source, out);
    case 20: {
      if (Depthless(source)) return false;
      double bids = 0.0, asks = 0.0;
      for (int level = 0; level < 5; ++level) {
        bids += quote.bids[level].volume;
        asks += quote.asks[level].volume;
      }
      const double total = bids + asks;
      if (!(total > 0.0)) return false;
      return Value((bids - asks) * 100.0 / total, out);
    }
    case 21: return Value(quote.fastChange, out);
    case 24: return Value(quote.lastVolume, out);
    case 25:
    case 26: {
      // Index-like categories of the two stock markets carry no book; elsewhere a depthless
      // category may still quote a best price.
      if (Depthless(source) && (instrument.market == 0 || instrument.market == 1)) return false;
      return NonZeroPrice(id == 25 ? quote.bids[0].price : quote.asks[0].price, source, out);
    }
    case 27: return NonZeroPrice(quote.settlement, source, out);
    case 28: return !Depthless(source) && Value(quote.bids[0].volume, out);
    case 29: return !Depthless(source) && Value(quote.asks[0].volume, out);
    case 30:
      if (kind != 2 && kind != 7) return false;
      return Value(extra.filled ? static_cast<double>(quote.amount) - extra.refVolume : 0.0, out);
    case 31: {
      std::memcpy(&out, &quote.updateTime, sizeof quote.updateTime);
      return true;
    }
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
      return source.trades != nullptr && NonZeroPrice(source.trades->price[id - 34], source, out);
    default: return false;   // 0, 1, 9, 22, 23, 32, 33: no value
  }
}

void CocktailSortByKey(const TChildView*, ReportRow* rows, int count, int ascending) {
  if (rows == nullptr || count < 2) return;
  const bool descending = ascending == 0;
  StableSortPositions(
      count, [&](int a, int b) { return KeyOutOfOrder(rows[b].positionKey, rows[a].positionKey, descending) > 0; },
      [&](const std::vector<int>& order) { Permute(rows, order); });
}

void CocktailSortByInstrument(const TChildView*, ReportRow* rows, int count, int ascending) {
  if (rows == nullptr) return;
  const bool descending = ascending == 0;
  CocktailSort(
      count,
      [&](int i, int j) {
        const InstrumentRecord* first = RowInstrument(rows[i]);
        const InstrumentRecord* second = RowInstrument(rows[j]);
        if (first == nullptr || second == nullptr) return -1;
        const long key = InstrumentKey(*first);
        long next = InstrumentKey(*second);
        const int byCode = std::strncmp(second->code, first->code, sizeof first->code);
        if (byCode > 0) ++next;
        if (byCode < 0) --next;
        return KeyOutOfOrder(static_cast<double>(key), static_cast<double>(next), descending);
      },
      [&](int i, int j) { std::swap(rows[i], rows[j]); });
}

void CocktailSortByValue(const TChildView*, ReportRow* rows, double* keys, int count, int descending) {
  if (rows == nullptr || keys == nullptr) return;
  // A key that is not a number compares false both ways, which a stable sort cannot take; such
  // tables keep the bubble sort, whose result is then its own.
  if (count > 1 && std::none_of(keys, keys + count, [](double key) { return std::isnan(key); })) {
    StableSortPositions(
        count, [&](int a, int b) { return KeyOutOfOrder(keys[b], keys[a], descending != 0) > 0; },
        [&](const std::vector<int>& order) {
          Permute(rows, order);
          Permute(keys, order);
        });
    return;
  }
  CocktailSort(
      count, [&](int i, int j) { return KeyOutOfOrder(keys[i], keys[j], descending != 0); },
      [&](int i, int j) {
        std::swap(rows[i], rows[j]);
        std::swap(keys[i], keys[j]);
      });
}

void ShellSortRows(const TChildView* report, ReportRow* rows, double* keys, int count, int descending) {
  if (rows == nullptr || keys == nullptr || count < 2) return;
  for (int gap = count / 2; gap > 0; gap /= 2) {
    for (int offset = 0; offset < gap; ++offset) {
      for (int position = offset + gap; position < count; position += gap) {
        if (KeyOutOfOrder(keys[position - gap], keys[position], descending != 0)) {
          std::swap(keys[position - gap], keys[position]);
          std::swap(rows[position - gap], rows[position]);
        }
      }
    }
  }
  CocktailSortByValue(report, rows, keys, count, descending);
}

void SelectTopN(STKPTR* instruments, double* keys, int count, int n, bool descending) {
  if (instruments == nullptr || keys == nullptr) return;
  if (n > count) n = count;
  for (int pass = 0; pass < n; ++pass) {
    for (int position = count - 1; position > pass; --position) {
      if (KeyOutOfOrder(keys[position - 1], keys[position], descending)) {
        std::swap(keys[position - 1], keys[position]);
        std::swap(instruments[position - 1], instruments[position]);
      }
    }
  }
}

STKPTR NextInBlock(std::uint16_t blockId, STKPTR instrument) {
  const BlockRecord* block = nullptr;
  const int position = MemberPosition(blockId, instrument, block);
  if (position < 0) return instrument;
  const int count = block->memberCount < kMaxBlockMembers ? block->memberCount : kMaxBlockMembers;
  return MemberInstrument(block->members[position + 1 < count ? position + 1 : 0]);
}

STKPTR PrevInBlock(std::uint16_t blockId, STKPTR instrument) {
  const BlockRecord* block = nullptr;
  const int position = MemberPosition(blockId, instrument, block);
  if (position < 0) return instrument;
  const int count = block->memberCount < kMaxBlockMembers ? block->memberCount : kMaxBlockMembers;
  return MemberInstrument(block->members[position > 0 ? position - 1 : count - 1]);
}

void AddInstrumentToBlock(TWinControl* owner, STKPTR instrument) {
  BlockChooserRequest request;
  request.lowestKind = kBlockUser;
  request.highestKind = kBlockUser;
  request.caption = "选择板块";
  request.hideNewAndModify = true;
  std::optional<std::uint16_t> chosen;
  {
    ModalDialogScope modal;
    chosen = ShellDialogs().ChooseBlock(owner, request);
  }
  if (!chosen) return;

  // Only a user block is ever changed, whatever id the chooser hands back.
  BlockRecord* block = FindBlockById(*chosen);
  if (block != nullptr && block->used && block->kind == kBlockUser &&
      AppendBlockMember(block, instrument) == 1) {
    SaveUserBlocks();
  }
  if (IShellHost* host = ShellHost()) host->NotifyViews(VN_BLOCKCHANGED, instrument, *chosen, 0);
}

COLORREF GetChangeColor(std::int32_t reference, std::int32_t value) {
  if (reference == 0 || reference == value) return ColorTable[kColorLevel];
  return value < reference ? ColorTable[kColorUp] : ColorTable[kColorDown];
}

void DrawTextInRect(const TChildView*, HDC dc, const RECT& rect, const char* text, int horizontal, int vertical) {
  if (text == nullptr) text = "";
  POINT at{};
  if (Place(rect, Measure(dc, text), horizontal, vertical, at)) {
    Draw(dc, at.x, at.y, text);
  } else {
    DrawOverflow(dc, rect);
  }
}

void DrawPairTextInRect(HDC dc, const RECT& rect, COLORREF colour1, COLORREF colour2, const char* text1,
                        const char* text2, int horizontal, int vertical) {
  if (text1 == nullptr) text1 = "";
  if (text2 == nullptr) text2 = "";
  const SIZE first = Measure(dc, text1);
  const SIZE separator = Measure(dc, kPairSeparator);
  const SIZE second = Measure(dc, text2);
  const SIZE run{first.cx + separator.cx + second.cx, first.cy};
  POINT at{};
  if (!Place(rect, run, horizontal, vertical, at)) {
    DrawOverflow(dc, rect);
    return;
  }
  const COLORREF previous = SetTextColor(dc, colour1);
  Draw(dc, at.x, at.y, text1);
  SetTextColor(dc, ColorTable[kColorSeparator]);
  Draw(dc, at.x + first.cx, at.y, kPairSeparator);
  SetTextColor(dc, colour2);
  Draw(dc, at.x + first.cx + separator.cx, at.y, text2);
  SetTextColor(dc, previous);
}
