#include "SampleMarket.h"

#include "MarketModel.h"

#include <algorithm>
#include <cstdio>
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
       {"债券", false, StockSessions(), H(9)}, {"B股", false, StockSessions(), H(9)},
       {"基金", false, StockSessions(), H(9)}, {"科创板", false, StockSessions(), H(9)}},
      {{"000001", "上证指数", 0, 100, 100, 2, nullptr},
       {"000016", "上证50", 0, 100, 100, 2, nullptr},
       {"600100", "华东银行", 1, 100, 100, 2, nullptr},
       {"600200", "江南钢铁", 1, 100, 100, 2, nullptr},
       {"600300", "长河电力", 1, 100, 100, 2, nullptr},
       {"600400", "北山药业", 1, 100, 100, 2, nullptr},
       {"600500", "东海航运", 1, 100, 100, 2, nullptr},
       {"600600", "明远科技", 1, 100, 100, 2, nullptr},
       {"010107", "国债0107", 2, 1000, 10, 3, nullptr},
       {"900901", "海港B股", 3, 1000, 100, 3, nullptr},
       {"510050", "五十ETF", 4, 1000, 100, 3, nullptr},
       {"688100", "芯源科技", 5, 100, 100, 2, nullptr},
       {"688200", "启明医疗", 5, 100, 100, 2, nullptr}}});
  markets.push_back(SampleMarket{
      1, 1, "深圳证券", "SZ", "sz", 8, 64,
      {{"指数", true, StockSessions(), H(9)}, {"A股", false, StockSessions(), H(9)},
       {"创业板", false, StockSessions(), H(9)}, {"B股", false, StockSessions(), H(9)},
       {"基金", false, StockSessions(), H(9)}, {"中小板", false, StockSessions(), H(9)}},
      {{"399001", "深证成指", 0, 100, 100, 2, nullptr},
       {"399006", "创业板指", 0, 100, 100, 2, nullptr},
       {"000100", "南岭地产", 1, 100, 100, 2, nullptr},
       {"000200", "西江化工", 1, 100, 100, 2, nullptr},
       {"000300", "新城电子", 1, 100, 100, 2, nullptr},
       {"000400", "金沙食品", 1, 100, 100, 2, nullptr},
       {"300100", "云帆软件", 2, 100, 100, 2, nullptr},
       {"200100", "南岭B股", 3, 100, 100, 2, nullptr},
       {"159901", "深成ETF", 4, 1000, 100, 3, nullptr},
       {"002100", "天元新材", 5, 100, 100, 2, nullptr},
       {"002200", "海峡物流", 5, 100, 100, 2, nullptr}}});
  markets.push_back(SampleMarket{
      2, 2, "商品期货", "QH", "qh", 8, 32,
      {{"金属", false, NightFuturesSessions(), H(8, 50)},
       {"农产品", false, NightFuturesSessions(), H(8, 50)},
       {"金融", false, {{H(9, 30), H(11, 30)}, {H(13), H(15)}}, H(9)}},
      {{"CU2409", "沪铜2409", 0, 1, 1, 0, nullptr},
       {"AL2409", "沪铝2409", 0, 1, 1, 0, nullptr},
       {"AU2412", "沪金2412", 0, 100, 1, 2, nullptr},
       {"M2409", "豆粕2409", 1, 1, 1, 0, nullptr},
       {"SR2409", "白糖2409", 1, 1, 1, 0, nullptr},
       {"IF2409", "股指2409", 2, 10, 1, 1, nullptr}}});
  markets.push_back(SampleMarket{
      3, 6, "香港股市", "HK", "hk", 8, 32,
      {{"指数", true, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9)},
       {"主板", false, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9)}},
      {{"HKIDX", "港股指数", 0, 100, 1, 2, "HSI"},
       {"00011", "港湾银行", 1, 1000, 1, 3, "E00011"},
       {"00022", "维港地产", 1, 1000, 1, 3, "E00022"},
       {"00033", "九龙电讯", 1, 1000, 1, 3, "E00033"},
       {"00044", "太平航运", 1, 1000, 1, 3, "E00044"}}});
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

// The broker list as a dBase III table: fields IDS (numeric, 4) and BROKERNAME (text, 20), one
// record per broker in ascending first-seat order, dated with the sample's last trading day.
bool WriteBrokerList(const std::filesystem::path& file) {
  constexpr std::size_t kIdsLength = 4;
  constexpr std::size_t kNameLength = 20;
  constexpr std::size_t kRecordLength = 1 + kIdsLength + kNameLength;
  constexpr std::size_t kHeaderLength = 32 + 2 * 32 + 1;
  const auto& brokers = zuvo::model::MarketModel::Brokers();
  std::string bytes(kHeaderLength, '\0');
  bytes[0] = 0x03;
  bytes[1] = static_cast<char>(2024 - 1900);
  bytes[2] = 6;
  bytes[3] = 28;
  const std::uint32_t count = static_cast<std::uint32_t>(brokers.size());
  const std::uint16_t headerLength = kHeaderLength;
  const std::uint16_t recordLength = kRecordLength;
  std::memcpy(&bytes[4], &count, 4);
  std::memcpy(&bytes[8], &headerLength, 2);
  std::memcpy(&bytes[10], &recordLength, 2);
  auto field = [&](std::size_t at, const char* name, char type, std::size_t length) {
    std::memcpy(&bytes[at], name, std::strlen(name));
    bytes[at + 11] = type;
    bytes[at + 16] = static_cast<char>(length);
  };
  field(32, "IDS", 'N', kIdsLength);
  field(64, "BROKERNAME", 'C', kNameLength);
  bytes[96] = 0x0D;
  for (const zuvo::model::Broker& broker : brokers) {
    char ids[kIdsLength + 1];
    std::snprintf(ids, sizeof ids, "%4u", static_cast<unsigned>(broker.firstSeat % 10000));
    std::string name = broker.name.substr(0, kNameLength);
    name.resize(kNameLength, ' ');
    bytes += ' ';
    bytes.append(ids, kIdsLength);
    bytes += name;
  }
  bytes += '\x1A';
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

bool WriteSampleMarkets(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::create_directories(root / "cfg", error);
  if (error) return false;

  std::vector<MarketRecord> records;
  for (const SampleMarket& market : SampleMarkets()) records.push_back(SampleMarketRecord(market));
  if (!WriteFile(root / "cfg" / "mkinfo.cfg", records.data(), records.size() * sizeof(MarketRecord))) return false;
  if (!WriteSysTime(root / "cfg" / "systime.dat")) return false;
  if (!WriteBrokerList(root / "cfg" / "Brokerlist.dbf")) return false;

  for (const SampleMarket& market : SampleMarkets()) {
    const std::filesystem::path folder = root / "data" / market.code;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    const std::string ext = market.fileExt;
    std::vector<InstrumentRecord> names;
    std::vector<InstrumentExtRecord> altCodes;
    for (int i = 0; i < static_cast<int>(market.instruments.size()); ++i) {
      names.push_back(SampleInstrumentRecord(market, i));
      InstrumentExtRecord alt{};
      if (market.instruments[static_cast<std::size_t>(i)].altCode != nullptr) {
        SetText(alt.code, market.instruments[static_cast<std::size_t>(i)].altCode);
      }
      altCodes.push_back(alt);
    }
    if (!WriteFile(folder / ("nametbl." + ext), names.data(), names.size() * sizeof(InstrumentRecord))) return false;
    if (market.number == 3 &&
        !WriteFile(folder / ("nametble." + ext), altCodes.data(), altCodes.size() * sizeof(InstrumentExtRecord))) {
      return false;
    }
  }
  return true;
}
