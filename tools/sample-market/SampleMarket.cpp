#include "SampleMarket.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

namespace {

constexpr int kMinute = 1;
constexpr int H(int hour, int minute = 0) { return hour * 60 * kMinute + minute; }

// Stock sessions 09:30-11:30 and 13:00-15:00; the trading day changes at 09:00.
std::vector<SampleSession> StockSessions() { return {{H(9, 30), H(11, 30)}, {H(13), H(15)}}; }
// Futures: three day sessions and an evening session.
std::vector<SampleSession> NightFuturesSessions() {
  return {{H(9), H(10, 15)}, {H(10, 30), H(11, 30)}, {H(13, 30), H(15)}, {H(21), H(23)}};
}

std::vector<SampleMarket> BuildMarkets() {
  std::vector<SampleMarket> markets;
  markets.push_back(SampleMarket{
      0, 1, "上海证券", "SH", "sh", 8, 64,
      {{"指数", true, StockSessions(), H(9)}, {"A股", false, StockSessions(), H(9)},
       {"债券", false, StockSessions(), H(9)}},
      {{"000001", "上证指数", 0, 305012, 100, 100, 2, nullptr},
       {"000016", "上证50", 0, 245530, 100, 100, 2, nullptr},
       {"600100", "华东银行", 1, 1052, 100, 100, 2, nullptr},
       {"600200", "江南钢铁", 1, 418, 100, 100, 2, nullptr},
       {"600300", "长河电力", 1, 765, 100, 100, 2, nullptr},
       {"600400", "北山药业", 1, 3240, 100, 100, 2, nullptr},
       {"600500", "东海航运", 1, 1206, 100, 100, 2, nullptr},
       {"600600", "明远科技", 1, 2888, 100, 100, 2, nullptr},
       {"010107", "国债0107", 2, 100250, 1000, 10, 3, nullptr}}});
  markets.push_back(SampleMarket{
      1, 1, "深圳证券", "SZ", "sz", 8, 64,
      {{"指数", true, StockSessions(), H(9)}, {"A股", false, StockSessions(), H(9)},
       {"创业板", false, StockSessions(), H(9)}},
      {{"399001", "深证成指", 0, 1021577, 100, 100, 2, nullptr},
       {"399006", "创业板指", 0, 201843, 100, 100, 2, nullptr},
       {"000100", "南岭地产", 1, 856, 100, 100, 2, nullptr},
       {"000200", "西江化工", 1, 1533, 100, 100, 2, nullptr},
       {"000300", "新城电子", 1, 2217, 100, 100, 2, nullptr},
       {"000400", "金沙食品", 1, 4560, 100, 100, 2, nullptr},
       {"300100", "云帆软件", 2, 3675, 100, 100, 2, nullptr}}});
  markets.push_back(SampleMarket{
      2, 2, "商品期货", "QH", "qh", 8, 32,
      {{"金属", false, NightFuturesSessions(), H(8, 50)},
       {"农产品", false, NightFuturesSessions(), H(8, 50)},
       {"金融", false, {{H(9, 30), H(11, 30)}, {H(13), H(15)}}, H(9)}},
      {{"CU2409", "沪铜2409", 0, 74550, 1, 1, 0, nullptr},
       {"AL2409", "沪铝2409", 0, 19230, 1, 1, 0, nullptr},
       {"AU2412", "沪金2412", 0, 55620, 100, 1, 2, nullptr},
       {"M2409", "豆粕2409", 1, 3312, 1, 1, 0, nullptr},
       {"SR2409", "白糖2409", 1, 6105, 1, 1, 0, nullptr},
       {"IF2409", "股指2409", 2, 35204, 10, 1, 1, nullptr}}});
  markets.push_back(SampleMarket{
      3, 6, "香港股市", "HK", "hk", 8, 32,
      {{"指数", true, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9)},
       {"主板", false, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9)}},
      {{"HKIDX", "港股指数", 0, 1785620, 100, 1, 2, "HSI"},
       {"00011", "港湾银行", 1, 12840, 1000, 1, 3, "E00011"},
       {"00022", "维港地产", 1, 8350, 1000, 1, 3, "E00022"},
       {"00033", "九龙电讯", 1, 61200, 1000, 1, 3, "E00033"},
       {"00044", "太平航运", 1, 23450, 1000, 1, 3, "E00044"}}});
  return markets;
}

// Copies text into a fixed field, zero-filled, optionally blank-padded to `padTo` characters.
template <std::size_t N>
void SetText(char (&field)[N], const char* text, std::size_t padTo = 0) {
  std::memset(field, 0, N);
  const std::size_t length = std::min(std::strlen(text), N - 1);
  std::memcpy(field, text, length);
  for (std::size_t i = length; i < std::min(padTo, N - 1); ++i) field[i] = ' ';
}

// A small deterministic generator so quotes differ per instrument but never per run.
std::uint32_t Mix(std::uint32_t seed) {
  seed ^= seed >> 16;
  seed *= 0x7feb352dU;
  seed ^= seed >> 15;
  seed *= 0x846ca68bU;
  seed ^= seed >> 16;
  return seed;
}

std::uint32_t CodeSeed(const char* code) {
  std::uint32_t seed = 2166136261u;
  for (const char* p = code; *p; ++p) seed = (seed ^ static_cast<unsigned char>(*p)) * 16777619u;
  return seed;
}

// Moves price by `permille` thousandths, at least one tick.
std::uint32_t Offset(std::uint32_t price, int permille) {
  long long step = static_cast<long long>(price) * permille / 1000;
  if (step == 0) step = permille >= 0 ? 1 : -1;
  return static_cast<std::uint32_t>(std::max<long long>(1, price + step));
}

bool WriteFile(const std::filesystem::path& file, const void* data, std::size_t bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
  return static_cast<bool>(out);
}

bool WriteSysTime(const std::filesystem::path& file) {
  // Layout: zone count, current zone, 48 market zone hours, 48 x 15 category zones, 32 zones.
  std::vector<char> bytes(24872, 0);
  auto putInt = [&](std::size_t at, std::int32_t value) { std::memcpy(&bytes[at], &value, 4); };
  auto putZone = [&](std::size_t at, int offset, const char* name) {
    ZoneEntry entry{};
    entry.offset = static_cast<std::int8_t>(offset);
    SetText(entry.name, name);
    std::memcpy(&bytes[at], &entry, sizeof entry);
  };
  const int zoneCount = 4;
  putInt(0, zoneCount);
  putInt(4, 0);
  for (std::size_t m = 0; m < 48; ++m) bytes[8 + m] = 8;   // every market keeps Beijing time
  for (std::size_t m = 0; m < 48; ++m) {
    for (std::size_t c = 0; c < 15; ++c) putZone(56 + (m * 15 + c) * 33, 0, "北京时间");
  }
  const std::size_t zonesAt = 56 + 48 * 15 * 33;
  putZone(zonesAt + 0 * 33, 0, "市场时间");
  putZone(zonesAt + 1 * 33, 8, "北京时间");
  putZone(zonesAt + 2 * 33, 9, "东京时间");
  putZone(zonesAt + 3 * 33, 0, "伦敦时间");
  return WriteFile(file, bytes.data(), bytes.size());
}

}  // namespace

const std::vector<SampleMarket>& SampleMarkets() {
  static const std::vector<SampleMarket> markets = BuildMarkets();
  return markets;
}

MarketRecord SampleMarketRecord(const SampleMarket& market) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(market.kind);
  SetText(record.name, market.name);
  SetText(record.code, market.code);
  SetText(record.fileExt, market.fileExt);
  record.hourOffset = static_cast<std::int16_t>(market.hourOffset);
  record.capacity = static_cast<std::uint16_t>(market.capacity);
  record.categoryCount = static_cast<std::uint16_t>(market.categories.size());
  for (std::size_t c = 0; c < market.categories.size() && c < 15; ++c) {
    const SampleCategory& source = market.categories[c];
    CategoryRecord& category = record.categories[c];
    category.noDepth = source.noDepth ? 1 : 0;
    SetText(category.name, source.name);
    category.sessionCount = static_cast<std::uint8_t>(source.sessions.size());
    for (std::size_t j = 0; j < source.sessions.size() && j < 4; ++j) {
      category.openMinute[j] = static_cast<std::uint16_t>(source.sessions[j].open);
      category.closeMinute[j] = static_cast<std::uint16_t>(source.sessions[j].close);
    }
    category.dayChangeMinute = static_cast<std::uint16_t>(source.dayChangeMinute);
  }
  return record;
}

InstrumentRecord SampleInstrumentRecord(const SampleMarket& market, int index) {
  const SampleInstrument& source = market.instruments[static_cast<std::size_t>(index)];
  InstrumentRecord record{};
  record.market = static_cast<std::uint8_t>(market.number);
  record.category = static_cast<std::uint8_t>(source.category);
  // Codes are blank-padded to six characters in the file, as the server sends them.
  SetText(record.code, source.code, 6);
  SetText(record.name, source.name);
  record.priceDivisor = source.priceDivisor;
  record.volumeDivisor = source.volumeDivisor;
  record.decimals = static_cast<std::uint8_t>(source.decimals);
  record.index = static_cast<std::uint16_t>(index);
  return record;
}

QuoteRecord SampleQuote(const SampleMarket& market, int index) {
  const SampleInstrument& source = market.instruments[static_cast<std::size_t>(index)];
  const std::uint32_t seed = Mix(CodeSeed(source.code));
  const std::uint32_t prev = source.prevClose;
  QuoteRecord quote{};
  quote.prevClose = prev;
  quote.open = Offset(prev, static_cast<int>(seed % 21) - 10);
  quote.last = Offset(prev, static_cast<int>((seed >> 8) % 61) - 30);
  quote.high = std::max(quote.open, quote.last);
  quote.high = Offset(quote.high, 1 + static_cast<int>((seed >> 16) % 8));
  quote.low = std::min(quote.open, quote.last);
  quote.low = Offset(quote.low, -1 - static_cast<int>((seed >> 20) % 8));
  quote.volume = static_cast<float>(10000 + (seed % 90000)) * 10.0f;
  const double shown = static_cast<double>(quote.last) / source.priceDivisor;
  quote.amount = market.kind == 2 ? static_cast<float>(50000 + (seed % 150000))
                                  : static_cast<float>(quote.volume * shown);
  quote.lastVolume = static_cast<float>(1 + (seed % 50)) * 10.0f;
  quote.updateTime = (15u << 12) | (0u << 6) | 0u;
  for (int level = 0; level < 5; ++level) {
    quote.bids[level].price = Offset(quote.last, -(level + 1));
    quote.bids[level].volume = static_cast<float>(100 * (level + 1) + (seed >> level) % 500);
    quote.asks[level].price = Offset(quote.last, level + 1);
    quote.asks[level].volume = static_cast<float>(100 * (level + 2) + (seed >> (level + 3)) % 500);
  }
  if (market.kind == 2) quote.settlement = Offset(quote.last, -1);
  return quote;
}

bool WriteSampleMarkets(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::create_directories(root / "cfg", error);
  if (error) return false;

  std::vector<MarketRecord> records;
  for (const SampleMarket& market : SampleMarkets()) records.push_back(SampleMarketRecord(market));
  if (!WriteFile(root / "cfg" / "mkinfo.cfg", records.data(), records.size() * sizeof(MarketRecord))) return false;
  if (!WriteSysTime(root / "cfg" / "systime.dat")) return false;

  for (const SampleMarket& market : SampleMarkets()) {
    const std::filesystem::path folder = root / "data" / market.code;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    const std::string ext = market.fileExt;
    std::vector<InstrumentRecord> names;
    std::vector<QuoteRecord> quotes;
    std::vector<InstrumentExtRecord> altCodes;
    for (int i = 0; i < static_cast<int>(market.instruments.size()); ++i) {
      names.push_back(SampleInstrumentRecord(market, i));
      quotes.push_back(SampleQuote(market, i));
      InstrumentExtRecord alt{};
      if (market.instruments[static_cast<std::size_t>(i)].altCode != nullptr) {
        SetText(alt.code, market.instruments[static_cast<std::size_t>(i)].altCode);
      }
      altCodes.push_back(alt);
    }
    if (!WriteFile(folder / ("nametbl." + ext), names.data(), names.size() * sizeof(InstrumentRecord))) return false;
    if (!WriteFile(folder / ("real." + ext), quotes.data(), quotes.size() * sizeof(QuoteRecord))) return false;
    if (market.number == 3 &&
        !WriteFile(folder / ("nametble." + ext), altCodes.data(), altCodes.size() * sizeof(InstrumentExtRecord))) {
      return false;
    }
  }
  return true;
}
