#include "SeedBuilder.h"

#include "FuzzSupport.h"
#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/HotKeys.h"
#include "data/NewsIndex.h"
#include "data/Records.h"
#include "platform/ChannelFrame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool ok = true;

void Put(const fs::path& out, const char* target, const std::string& name, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(out / target, ignored);
  std::ofstream file(out / target / name, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) ok = false;
}

std::string Slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
std::string Bytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
std::string Bytes(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text.append(line).append("\r\n");
  return text;
}

std::string Fields(std::initializer_list<const char*> fields) {
  std::string text;
  for (const char* field : fields) text.append(field).push_back('\0');
  return text;
}

// ---- Built-in seeds --------------------------------------------------------------------------

void IniSeeds(const fs::path& out) {
  const std::string file = Lines({"; 设置", "[Parameter]", "LastTheme=1", "MaxDataRecords = 15000 ", "Title=\"上海 期货\"",
                                  "Empty=", "NoEquals", "[parameter]", "LastTheme=9", "", "[字体]", "Font01=0,19,黑体", "[x]y]",
                                  "k=v"});
  Put(out, "ini", "settings", file);
  Put(out, "ini", "writes",
      fuzz::JoinParts({file, Fields({"Parameter", "LastTheme", "宋体", "Parameter", "New", " '7' ", "名\xA7", "k", "v",
                                     "字体", "\x01", "\x01", "Parameter", "MaxDataRecords", "\x01", "New Section", "K=",
                                     "1", "Parameter", " ;k", "1", "Parameter", "k", "a\r\nb=c"})}));
}

void BlockSeeds(const fs::path& out) {
  const std::string current = Lines({"[FileInfo]", "Version=1", "", "[自选股]", "I1=SH 600000", "I2=sz 000002",
                                     "I5=QH CU2409", "I3=\"SH 000001\"", "I4=HK 00011", "", "[期货]", "I1=QH IF2409",
                                     "I2=QH IF2409", "[自选股]", "I1=SZ 000001", "[空]"});
  Put(out, "blocks", "current", current);
  const std::string legacy = Lines({"[旧板块]", "SH 600001", "01  000001", "00  600000", "02  CU2409", "9", "I1=SH 000001",
                                    "XX 123456", "[ 名字 ]", "SZ\t000002"});
  Put(out, "blocks", "legacy", legacy);
  Put(out, "blocks", "legacy-preset-dropped", fuzz::JoinParts({legacy, current, "\x01"}));
  Put(out, "blocks", "empty", "");
}

// A broker list: IDS (numeric, 6) and BROKERNAME (text, 20), records sorted by IDS.
std::string BrokerList() {
  const char* rows[][2] = {{"     1", "国泰君安"}, {"   100", "申银万国"}, {"  1000", "华泰证券"}, {"  5000", "中信证券"}};
  std::string file(32, '\0');
  file[0] = 0x03;
  const std::uint32_t records = 4;
  const std::uint16_t headerLength = 32 + 2 * 32 + 1;
  const std::uint16_t recordLength = 1 + 6 + 20;
  std::memcpy(&file[4], &records, 4);
  std::memcpy(&file[8], &headerLength, 2);
  std::memcpy(&file[10], &recordLength, 2);
  for (const auto& [name, type, length] : {std::tuple{"IDS", 'N', 6}, std::tuple{"BROKERNAME", 'C', 20}}) {
    std::string descriptor(32, '\0');
    std::memcpy(&descriptor[0], name, std::strlen(name));
    descriptor[11] = type;
    descriptor[16] = static_cast<char>(length);
    file += descriptor;
  }
  file.push_back('\x0D');
  for (const auto& row : rows) {
    std::string record = " ";
    record += row[0];
    std::string name = row[1];
    name.resize(20, ' ');
    record += name;
    file += record;
  }
  file.push_back('\x1A');
  return file;
}

void DbfSeeds(const fs::path& out) {
  const std::string table = BrokerList();
  Put(out, "dbf", "brokers", table);
  std::string values;
  for (std::uint32_t v : {0u, 1u, 99u, 100u, 4999u, 5000u, 0x7FFFFFFFu, 0x80000000u}) fuzz::PutU32(values, v);
  Put(out, "dbf", "brokers-search", fuzz::JoinParts({table, values}));
  std::string cut = table.substr(0, 80);
  Put(out, "dbf", "cut", cut);
}

NewsRecord Headline(std::uint32_t id, std::uint32_t category, const char* title) {
  NewsRecord record{};
  record.categoryAndRead = category << 1;
  record.stamp = 240628u | (1530u << 20);
  record.id = id;
  std::snprintf(record.title, sizeof record.title, "%s", title);
  return record;
}

void NewsSeeds(const fs::path& out) {
  std::string file(kNewsFileMagic, sizeof kNewsFileMagic);
  file += Bytes(Headline(300, 1, "央行公开市场操作"));
  file += Bytes(Headline(100, 2, "铜价上涨"));
  file += Bytes(Headline(200, 1, "Steel output rises"));
  file += Bytes(Headline(200, 3, "same id twice"));
  Put(out, "news", "unsorted", file);
  std::string operations;
  for (const auto& [kind, record] : {std::pair{0, Headline(150, 1, "new")}, std::pair{1, Headline(300, 2, "replaced")},
                                     std::pair{2, Headline(100, 0, "")}, std::pair{2, Headline(999, 0, "")}}) {
    operations.push_back(static_cast<char>(kind));
    operations += Bytes(record);
  }
  Put(out, "news", "operations", fuzz::JoinParts({file, operations}));
  Put(out, "news", "short", file.substr(0, 50));
}

MarketRecord Market(const char* code, int kind, int capacity) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::snprintf(record.name, sizeof record.name, "%s", "上海");
  std::snprintf(record.code, sizeof record.code, "%s", code);
  std::snprintf(record.fileExt, sizeof record.fileExt, "%s", code);
  record.hourOffset = 8;
  record.capacity = static_cast<std::uint16_t>(capacity);
  record.categoryCount = 2;
  for (int c = 0; c < 2; ++c) {
    CategoryRecord& category = record.categories[c];
    std::snprintf(category.name, sizeof category.name, "%s", c == 0 ? "A股" : "指数");
    category.sessionCount = 2;
    category.openMinute[0] = 570;
    category.closeMinute[0] = 690;
    category.openMinute[1] = 780;
    category.closeMinute[1] = 900;
    category.dayChangeMinute = 540;
  }
  return record;
}

InstrumentRecord Instrument(const char* code, const char* name, int category) {
  InstrumentRecord record{};
  std::memcpy(record.code, code, std::min<std::size_t>(std::strlen(code), sizeof record.code));
  std::memcpy(record.name, name, std::min<std::size_t>(std::strlen(name), sizeof record.name));
  record.category = static_cast<std::uint8_t>(category);
  record.priceDivisor = 100;
  record.volumeDivisor = 100;
  record.decimals = 2;
  return record;
}

void MarketSeeds(const fs::path& out) {
  const std::string mkinfo = Bytes(Market("SH", 1, 8)) + Bytes(Market("sz", 1, 2));
  std::string systime(4 + 4 + kMaxMarkets, '\0');
  systime[0] = 2;
  systime[8] = 8;
  const std::string names = Bytes(std::vector<InstrumentRecord>{Instrument("600000", "浦发银行", 0),
                                                                 Instrument("000001", "上证指数", 1),
                                                                 Instrument("600000 ", "duplicate", 9)});
  QuoteRecord quote{};
  quote.prevClose = 1000;
  quote.last = 1010;
  const std::string quotes = Bytes(quote) + Bytes(quote);
  Put(out, "market", "two-markets", fuzz::JoinParts({mkinfo, systime, names, quotes, "", names, "", ""}));
  Put(out, "market", "missing-names", fuzz::JoinParts({mkinfo, systime, names, quotes, ""}));
}

TradeRecord Trade(int minute, std::uint32_t price) {
  TradeRecord trade{};
  trade.time = MakePackedTime(2024, 6, 28, 9, minute);
  trade.price = price;
  trade.volume = 100;
  trade.openInterest = 5000;
  trade.direction = static_cast<std::uint8_t>(minute % 3);
  return trade;
}

void TickSeeds(const fs::path& out) {
  const std::string ticks = Bytes(std::vector<TradeRecord>{Trade(30, 1000), Trade(31, 1001), Trade(32, 999)});
  TradeDetailsHeader head{1000, 900, 1000, 12345};
  TodayMinuteRecord minute{1000, 100, 100000, 100000, 1000, 1001, 999};
  const std::string details = Bytes(head) + Bytes(minute) + Bytes(minute);
  // Market clock 2024-06-28 15:00, files written then: current files on a Friday.
  std::string control;
  fuzz::PutU8(control, 0);
  fuzz::PutU8(control, 1);
  fuzz::PutU8(control, 8);
  fuzz::PutU16(control, 530);
  for (int v : {24, 5, 27, 15, 0, 0}) fuzz::PutU8(control, static_cast<std::uint8_t>(v));
  for (int i = 0; i < 3; ++i) fuzz::PutU16(control, 0);
  for (int i = 0; i < 3; ++i) fuzz::PutU16(control, 0xFFFF);
  for (int i = 0; i < 3; ++i) fuzz::PutU16(control, 2);
  Put(out, "tickcache", "current", fuzz::JoinParts({control, ticks, ticks.substr(0, 45), details}));
  std::string stale = control;
  stale[stale.size() - 18] = static_cast<char>(0x30);   // written two days before
  stale[stale.size() - 17] = static_cast<char>(0xF4);
  Put(out, "tickcache", "stale", fuzz::JoinParts({stale, ticks, ticks, details.substr(0, 16)}));
  Put(out, "tickcache", "ticks-only", ticks);
}

// A history of `minutes` trading minutes a day holding the given days.
std::string History(std::uint32_t minutes, const std::vector<std::uint32_t>& dates) {
  const std::uint32_t slots = minutes + 1;
  std::string file = Bytes(slots);
  for (std::uint32_t date : dates) {
    file += Bytes(date);
    for (std::uint32_t i = 0; i < slots; ++i) {
      TrendDayMinute minute{1000 + i + (date & 0xFF), static_cast<float>(i * 10), static_cast<float>(i * 10000)};
      file += Bytes(minute);
    }
  }
  return file;
}

void TrendSeeds(const fs::path& out) {
  const std::uint32_t d1 = MakePackedTime(2024, 6, 26), d2 = MakePackedTime(2024, 6, 27), d3 = MakePackedTime(2024, 6, 28);
  std::string download;
  for (std::uint32_t price : {2000u, 0u, 2002u, 0u}) download += Bytes(TrendDayMinute{price, 5, 500});
  auto control = [](int dateMode, int dateIndex, std::uint32_t rawDate) {
    std::string bytes;
    fuzz::PutU8(bytes, 1);
    fuzz::PutU16(bytes, 10);
    fuzz::PutU8(bytes, 1);
    fuzz::PutU8(bytes, static_cast<std::uint8_t>(dateMode));
    fuzz::PutU8(bytes, static_cast<std::uint8_t>(dateIndex));
    fuzz::PutU32(bytes, rawDate);
    return bytes;
  };
  Put(out, "trend", "replace-day", fuzz::JoinParts({control(0, 1, 0), History(10, {d1, d2, d3}), download}));
  Put(out, "trend", "new-last-day", fuzz::JoinParts({control(2, 0, 0), History(10, {d1, d2}), download}));
  Put(out, "trend", "new-first-day", fuzz::JoinParts({control(3, 0, 0), History(10, {d2, d3}), download}));
  Put(out, "trend", "damaged", fuzz::JoinParts({control(1, 0, d3), History(10, {d1, 0x12345678u, d3}), download}));
  Put(out, "trend", "history-only", History(10, {d1, d3}));
}

ChartBar Bar(PackedTime time, std::uint32_t price) {
  ChartBar bar{};
  bar.time = time;
  bar.open = price;
  bar.close = price + 5;
  bar.high = price + 9;
  bar.low = price - 3;
  bar.volume = 1000;
  bar.amount = 100000;
  bar.settlement = price;
  return bar;
}

void BarSeeds(const fs::path& out) {
  std::vector<ChartBar> days;
  PackedTime day = MakePackedTime(2024, 5, 1);
  for (int i = 0; i < 40; ++i, NextWeekday(&day)) days.push_back(Bar(day, 1000 + static_cast<std::uint32_t>(i)));
  std::vector<ChartBar> minutes;
  for (int d = 0; d < 2; ++d) {
    for (int m = 0; m < 48; ++m) minutes.push_back(Bar(MakePackedTime(2024, 6, 27 + d, 9 + (30 + m * 5) / 60, (30 + m * 5) % 60), 2000));
  }
  auto control = [](int fileKindIndex, int limitMode, std::uint32_t limit, int cycle, int n, std::uint32_t cycleLimit) {
    std::string bytes;
    fuzz::PutU8(bytes, static_cast<std::uint8_t>(fileKindIndex));
    fuzz::PutU8(bytes, static_cast<std::uint8_t>(limitMode));
    fuzz::PutU32(bytes, limit);
    fuzz::PutU16(bytes, 0);
    fuzz::PutU8(bytes, static_cast<std::uint8_t>(cycle));
    fuzz::PutU16(bytes, static_cast<std::uint16_t>(n));
    fuzz::PutU32(bytes, cycleLimit);
    return bytes;
  };
  const std::string dayFile = Bytes(days);
  const std::string minuteFile = Bytes(minutes);
  Put(out, "bars", "days-week", fuzz::JoinParts({control(3, 0, 0, 9, 1, 2256), dayFile}));
  Put(out, "bars", "days-month", fuzz::JoinParts({control(3, 1, 300, 10, 1, 2256), dayFile}));
  Put(out, "bars", "days-n", fuzz::JoinParts({control(3, 0, 0, 12, 3, 2256), dayFile}));
  Put(out, "bars", "minutes-15", fuzz::JoinParts({control(1, 0, 0, 5, 1, 2256), minuteFile}));
  Put(out, "bars", "minutes-n", fuzz::JoinParts({control(1, 0, 0, 3, 10, 2256), minuteFile}));
  Put(out, "bars", "unsorted", fuzz::JoinParts({control(3, 0, 0, 8, 1, 2256), minuteFile.substr(0, 320) + dayFile.substr(0, 330)}));
  Put(out, "bars", "days-only", dayFile);
}

void HotKeySeeds(const fs::path& out) {
  const std::string texts = "CTRL+S\nshift + ctrl + s\n61+ENTER\nALT+F12\nF10\nCTRL+ENTER\n1234567890ACTRLZ+ENTER\n"
                            "ALT+SHIFT+ENTER\n漲+ENTER\n-\n/\nESC\nCTRL+ALT+SHIFT+ENTER\n0123456789ABCDEFGH+ENTER\n";
  Put(out, "hotkeys", "texts", texts);
  const std::string ini = Lines({"[HotKey]", "h1=CTRL+1", "h22 = 99+ENTER", "h81=\"CTRL+Q\"", "h01=kept", "note",
                                 "h99=kept too", "h3=", "[Other]", "h1=F1"});
  Put(out, "hotkeys", "file", fuzz::JoinParts({texts, ini}));
}

void CycleOrderSeeds(const fs::path& out) {
  Put(out, "cycleorder", "default", "0T,11,13,15,115,130,160,1120,1240,0Y,1D,1W,1M,1S,0X");
  Put(out, "cycleorder", "odd", "1D,,0D,1QQQ,015,x,1240,11,1W");
}

void GbkSeeds(const fs::path& out) {
  Put(out, "gbk", "mixed", "ASCII 上海期货 \x81\x30\x81\x30 \x80\xFF \xC3 \x81\x7F 淺\\ end\xB0");
  Put(out, "gbk", "utf8", "\xE4\xB8\x8A\xEF\x9E\x80 \xF0\x9F\x98\x80 \xC0\x80 \xED\xA0\x80 \xEF\xBF\xBD");
}

void PathSeeds(const fs::path& out) {
  Put(out, "paths", "gbk", fuzz::JoinParts({"上海期货.day", "上海期货.DAY", "..\\data\\sh\\..\\SH\\day"}));
  Put(out, "paths", "stray", fuzz::JoinParts({"C\xC3", "C\xC4", "..\\x\\..\\Data\\SH"}));
  Put(out, "paths", "trail-backslash", fuzz::JoinParts({"淺", "淺x", "淺\\..\\cfg"}));
  Put(out, "paths", "drive", fuzz::JoinParts({"a.b", "A.B", "C:\\x\\..\\..\\y"}));
}

// ---- Seeds from the sample market --------------------------------------------------------------

std::vector<fs::path> FilesUnder(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> found;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == extension) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string Tail(const std::string& bytes, std::size_t records, std::size_t recordSize) {
  const std::size_t whole = bytes.size() / recordSize * recordSize;
  const std::size_t keep = std::min(whole, records * recordSize);
  return bytes.substr(whole - keep, keep);
}

void SampleMarketSeeds(const fs::path& out, const fs::path& root) {
  const std::string mkinfo = Slurp(root / "cfg" / "mkinfo.cfg");
  if (mkinfo.size() < sizeof(MarketRecord)) return;
  std::vector<std::string> parts{mkinfo, Slurp(root / "cfg" / "systime.dat")};
  for (std::size_t at = 0; at + sizeof(MarketRecord) <= mkinfo.size() && at < 4 * sizeof(MarketRecord); at += sizeof(MarketRecord)) {
    MarketRecord record;
    std::memcpy(&record, mkinfo.data() + at, sizeof record);
    const fs::path folder = root / "data" / std::string(record.code, strnlen(record.code, sizeof record.code));
    const std::string ext(record.fileExt, strnlen(record.fileExt, sizeof record.fileExt));
    for (const char* base : {"nametbl.", "real.", "nametble."}) parts.push_back(Slurp(folder / (base + ext)));
  }
  Put(out, "market", "sample", fuzz::JoinParts(parts));
  Put(out, "market", "sample-first", fuzz::JoinParts({mkinfo.substr(0, sizeof(MarketRecord)), parts[1], parts[2], parts[3]}));
}

void SampleHistorySeeds(const fs::path& out, const fs::path& root) {
  int n = 0;
  for (const fs::path& trend : FilesUnder(root / "data", ".trn")) {
    if (n++ % 5 == 0) Put(out, "trend", "sample-" + std::to_string(n), Slurp(trend));
  }
  n = 0;
  for (const fs::path& ticks : FilesUnder(root / "data", ".tik")) {
    if (n++ % 5 != 0) continue;
    // The instrument's own market and code, the sample's newest day (Friday 2024-06-28 15:00).
    std::string control;
    fuzz::PutU8(control, 3);
    std::string market = ticks.parent_path().parent_path().filename().string();
    std::string code = ticks.stem().string();
    market.resize(9, '\0');
    code.resize(7, '\0');
    control += market + code;
    fuzz::PutU8(control, 1);
    fuzz::PutU8(control, 8);
    fuzz::PutU16(control, 530);
    for (int v : {24, 5, 27, 15, 0, 0}) fuzz::PutU8(control, static_cast<std::uint8_t>(v));
    Put(out, "tickcache", "sample-" + std::to_string(n), fuzz::JoinParts({control, Tail(Slurp(ticks), 200, sizeof(TradeRecord))}));
  }
  struct CycleCase {
    const char* extension;
    int fileKindIndex;
    int cycle;
    int n;
  };
  static constexpr CycleCase kCases[] = {{".day", 3, 8, 1},  {".day", 3, 9, 1},  {".day", 3, 11, 1}, {".day", 3, 12, 5},
                                         {".min", 1, 6, 1},  {".min", 1, 3, 25}, {".hr", 2, 13, 1},  {".m1", 0, 2, 1},
                                         {".m1", 0, 3, 7}};
  for (const CycleCase& c : kCases) {
    const std::vector<fs::path> files = FilesUnder(root / "data", c.extension);
    if (files.empty()) continue;
    std::string control;
    fuzz::PutU8(control, static_cast<std::uint8_t>(c.fileKindIndex));
    fuzz::PutU8(control, 0);
    fuzz::PutU32(control, 0);
    fuzz::PutU16(control, 0);
    fuzz::PutU8(control, static_cast<std::uint8_t>(c.cycle));
    fuzz::PutU16(control, static_cast<std::uint16_t>(c.n));
    fuzz::PutU32(control, 2256);
    const std::string bars = Tail(Slurp(files.front()), 300, sizeof(ChartBar));
    Put(out, "bars", std::string("sample") + c.extension + "-" + std::to_string(c.cycle), fuzz::JoinParts({control, bars}));
  }
  for (const fs::path& table : FilesUnder(root / "cfg", ".dbf")) Put(out, "dbf", "sample-" + table.filename().string(), Slurp(table));
  n = 0;
  for (const char* extension : {".day", ".trn", ".tik", ".sh", ".sz"}) {
    for (const fs::path& file : FilesUnder(root / "data", extension)) {
      if (n++ % 7 != 0) continue;
      const std::string relative = fs::relative(file, root).string();
      std::string windows = "..\\" + relative;
      std::replace(windows.begin(), windows.end(), '/', '\\');
      Put(out, "paths", "sample-" + std::to_string(n), fuzz::JoinParts({file.filename().string(), file.stem().string(), windows}));
    }
  }
}

void ShippedSeeds(const fs::path& out, const fs::path& repository) {
  for (const fs::path& ini : FilesUnder(repository / "dist" / "cfg", ".ini")) {
    Put(out, "ini", "dist-" + ini.filename().string(), Slurp(ini));
    if (ini.filename() == "blocks.ini") Put(out, "blocks", "dist-blocks.ini", Slurp(ini));
  }
  std::string texts;
  for (int id = 1; id <= kHotKeyCount; ++id) texts += std::string(DefaultHotKeyText(id)) + "\n";
  Put(out, "hotkeys", "defaults", texts);
}

}  // namespace

// Reply frames of the dispatch target: type, index, count, 16-bit length, body.
std::string ReplyFrame(std::uint8_t type, int index, int count, const std::string& body) {
  std::string frame;
  fuzz::PutU8(frame, type);
  fuzz::PutU8(frame, static_cast<std::uint8_t>(index));
  fuzz::PutU8(frame, static_cast<std::uint8_t>(count));
  fuzz::PutU16(frame, static_cast<std::uint16_t>(body.size()));
  return frame + body;
}

void DispatchSeeds(const fs::path& out) {
  const auto field = [](const std::string& text, std::size_t width) {
    std::string f = text.substr(0, width);
    f.resize(width, '\0');
    return f;
  };
  const std::string code12 = std::string(1, '\x08') + std::string(1, '\0') + field("600000", 12);
  std::vector<ChartBar> bars;
  PackedTime day = MakePackedTime(2024, 6, 3);
  for (int i = 0; i < 6; ++i, NextWeekday(&day)) bars.push_back(Bar(day, 1000));
  const std::string barBytes = Bytes(bars);
  Put(out, "dispatch", "bars", ReplyFrame(12, 0, 2, code12 + barBytes.substr(0, 96)) + ReplyFrame(12, 1, 2, code12 + barBytes.substr(96)));
  TradeRecord trade{};
  trade.time = MakePackedTime(2024, 6, 28, 9, 31);
  trade.price = 1000;
  trade.volume = 5;
  const std::string ticks = std::string(1, '\0') + code12.substr(1) + Bytes(trade) + Bytes(trade);
  Put(out, "dispatch", "ticks-details", ReplyFrame(20, 0, 1, ticks) + ReplyFrame(10, 0, 1, ticks.substr(0, 14) + std::string(16 + 56, '\x01')));
  std::string note(108, '\0');
  std::memcpy(note.data() + 6, "title", 5);
  std::memcpy(note.data() + 90, "N1.TXT", 6);
  std::string control;
  fuzz::PutU8(control, 7);   // a notes list in flight
  Put(out, "dispatch", "notes", fuzz::JoinParts({control, ReplyFrame(16, 0, 1, std::string("\0\x02", 2) + note + note)}));
  std::string infoControl;
  fuzz::PutU8(infoControl, 4);   // an information text in flight at offset 300
  fuzz::PutU32(infoControl, 300);
  const std::string infoHead = std::string(1, '\0') + field("600000", 8) + "\x01" + std::string(80, '\0') +
                               std::string("\x2C\x01\0\0", 4) + std::string(4, '\0');
  Put(out, "dispatch", "info-text", fuzz::JoinParts({infoControl, ReplyFrame(41, 0, 2, infoHead + "text") + ReplyFrame(41, 1, 2, infoHead + "more")}));
  std::string sortControl;
  fuzz::PutU8(sortControl, 2);   // a server sort in flight
  fuzz::PutU32(sortControl, 0);
  fuzz::PutU32(sortControl, 0);
  fuzz::PutU8(sortControl, 1);    // purpose 1: fast change
  fuzz::PutU8(sortControl, 21);   // the fast-change column
  fuzz::PutU8(sortControl, 1);    // requester 1
  std::string sorted = std::string(1, '\0') + std::string(3, '\0') + std::string("\0\0\xC8\x42\0\0\xC0\x42", 8);
  Put(out, "dispatch", "fast-change", fuzz::JoinParts({sortControl, ReplyFrame(101, 0, 1, sorted)}));
  BrokerQueueRecord queue{};
  queue.buyCount = 90;
  Put(out, "dispatch", "broker-error", ReplyFrame(102, 0, 1, std::string(1, '\x01') + field("00700", 8) + Bytes(queue)) +
                                         ReplyFrame(2, 0, 1, std::string("\0\0\x14", 3) + "server text") + ReplyFrame(7, 0, 1, "x"));
}

namespace {

// The control part of the freshness target.
struct FreshnessControl {
  std::uint8_t flags = 0;   // 1 older bars, 2 the smallest bar limit
  int year = 2024, month = 6, day = 26, hour = 10, minute = 0;
  int tradingDateMode = 0;
  int hourOffset = 8;
  int dayChangeMinute = 530;
  std::int32_t written[6] = {-1440, -30, -30, -30, -30, -30};   // bar, tick, details, index, ex-rights, notes
  int loginOffset = -120;
  int cycle = 9;
  int n = 1;
  int indexNumber = 3;
  std::uint32_t quoteVolume = 0;
  std::uint32_t quoteLast = 0;
  int notesList = 0;

  std::string Bytes() const {
    std::string c;
    fuzz::PutU8(c, flags);
    for (int v : {year - 2000, month - 1, day - 1, hour, minute, tradingDateMode, hourOffset}) {
      fuzz::PutU8(c, static_cast<std::uint8_t>(v));
    }
    fuzz::PutU16(c, static_cast<std::uint16_t>(dayChangeMinute));
    for (std::int32_t w : written) fuzz::PutU32(c, static_cast<std::uint32_t>(w));
    fuzz::PutU16(c, static_cast<std::uint16_t>(loginOffset));
    fuzz::PutU8(c, static_cast<std::uint8_t>(cycle));
    fuzz::PutU16(c, static_cast<std::uint16_t>(n));
    fuzz::PutU8(c, static_cast<std::uint8_t>(indexNumber));
    fuzz::PutU32(c, quoteVolume);
    fuzz::PutU32(c, quoteLast);
    fuzz::PutU8(c, static_cast<std::uint8_t>(notesList));
    return c;
  }
};

void FreshnessSeeds(const fs::path& out) {
  std::vector<ChartBar> days;
  PackedTime day = MakePackedTime(2024, 6, 10);
  for (int i = 0; i < 11; ++i, NextWeekday(&day)) days.push_back(Bar(day, 1000 + static_cast<std::uint32_t>(i)));
  std::vector<ChartBar> minutes;
  for (int d = 0; d < 2; ++d) {
    for (int m = 0; m < 12; ++m) minutes.push_back(Bar(MakePackedTime(2024, 6, 24 + d, 9 + (30 + m * 5) / 60, (30 + m * 5) % 60), 2000));
  }
  std::vector<TradeRecord> trades{Trade(30, 1000), Trade(31, 1001), Trade(32, 999)};
  for (TradeRecord& trade : trades) trade.time = MakePackedTime(2024, 6, 26, PackedHour(trade.time), PackedMinute(trade.time));
  const std::string ticks = Bytes(trades);
  TradeDetailsHeader head{1000, 900, 1000, 12345};
  TodayMinuteRecord minute{1000, 100, 100000, 100000, 1000, 1001, 999};
  const std::string details = Bytes(head) + Bytes(minute) + Bytes(minute);
  const std::string index(2560, 'i');

  // Wednesday: a day file from yesterday, the trade files and the index of this morning.
  FreshnessControl wednesday;
  Put(out, "freshness", "day-file", fuzz::JoinParts({wednesday.Bytes(), Bytes(days), ticks, details, index}));
  // Older five-minute bars under the smallest bar limit; index 1, current; a quote that has
  // seen less volume than the files.
  FreshnessControl older = wednesday;
  older.flags = 3;
  older.cycle = 5;
  older.indexNumber = 1;
  older.quoteVolume = 10;
  Put(out, "freshness", "older-minutes", fuzz::JoinParts({older.Bytes(), Bytes(minutes), ticks, details, index}));
  // Files written before the day changed, before the login, or days ago.
  FreshnessControl stale = wednesday;
  stale.cycle = 3;
  stale.n = 10;
  stale.written[0] = -2 * 1440;
  stale.written[1] = -80;
  stale.written[2] = -3 * 1440;
  stale.written[3] = -200;
  stale.written[4] = -1440;
  stale.written[5] = -80;
  Put(out, "freshness", "stale", fuzz::JoinParts({stale.Bytes(), Bytes(minutes), ticks, details.substr(0, 20), index}));
  // A Saturday: Friday's files still count; the trading date is the day before.
  FreshnessControl saturday = wednesday;
  saturday.day = 29;
  saturday.hour = 7;
  saturday.tradingDateMode = 1;
  saturday.cycle = 13;
  saturday.indexNumber = 2;
  saturday.written[1] = saturday.written[2] = -1440;
  saturday.written[4] = saturday.written[5] = -20 * 60;
  Put(out, "freshness", "saturday", fuzz::JoinParts({saturday.Bytes(), Bytes(minutes), ticks, details, index.substr(0, 300)}));
  Put(out, "freshness", "bars-only", Bytes(days));
}

// BMP files: the file header and an info header of `headerSize` bytes, a colour table of
// `colours` entries and rows of patterned bytes; a negative height stores rows top-down.
std::string BmpFile(int width, int height, int bits, int colours, int headerSize = 40) {
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t pixelOffset = 14 + static_cast<std::size_t>(headerSize) + 4 * static_cast<std::size_t>(colours);
  std::string bytes(pixelOffset + stride * rows, '\0');
  auto put = [&](std::size_t at, std::uint32_t value, int length) {
    for (int i = 0; i < length; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put(2, static_cast<std::uint32_t>(bytes.size()), 4);
  put(10, static_cast<std::uint32_t>(pixelOffset), 4);
  put(14, static_cast<std::uint32_t>(headerSize), 4);
  put(18, static_cast<std::uint32_t>(width), 4);
  put(22, static_cast<std::uint32_t>(height), 4);
  put(26, 1, 2);
  put(28, static_cast<std::uint32_t>(bits), 2);
  put(34, static_cast<std::uint32_t>(stride * rows), 4);
  put(46, static_cast<std::uint32_t>(colours), 4);
  for (std::size_t i = 14 + static_cast<std::size_t>(headerSize); i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 37) & 0xFF);
  }
  return bytes;
}

// Channel streams: a piece-size byte, then frames as a stand-in program writes them (a post
// with its window flagged, a sent WM_COPYDATA, an answer) and one frame too long to be any.
void ChannelSeeds(const fs::path& out) {
  namespace channel = zuvo::platform::channel;
  channel::Frame post;
  post.kind = channel::FrameKind::kPost;
  post.flags = channel::kWParamIsWindow;
  post.senderProcessId = 1234;
  post.target = 0x10000;
  post.message = 4025;
  post.wParam = 0x1000;
  channel::Frame copy;
  copy.kind = channel::FrameKind::kSend;
  copy.flags = channel::kWParamIsWindow;
  copy.senderProcessId = 1234;
  copy.sequence = 1;
  copy.target = 0x10000;
  copy.message = 0x004A;
  copy.wParam = 0x1000;
  copy.copyData = std::string(128, '\0');
  copy.copyData.replace(0, 4, "user");
  channel::Frame answer;
  answer.kind = channel::FrameKind::kAnswer;
  answer.sequence = 7;
  answer.lParam = 1;
  const std::string frames = channel::EncodeFrame(post) + channel::EncodeFrame(copy) + channel::EncodeFrame(answer);
  Put(out, "channel", "frames-whole", std::string(1, '\xFF') + frames);
  Put(out, "channel", "frames-in-bytes", std::string(1, '\0') + frames);
  std::string overlong = std::string(1, '\x07') + std::string("\xFF\xFF\x01\x00", 4) + std::string(300, 'j');
  Put(out, "channel", "overlong-then-frame", overlong + channel::EncodeFrame(post));
}

void BmpSeeds(const fs::path& out) {
  Put(out, "bmp", "1bit", BmpFile(13, 5, 1, 2));
  Put(out, "bmp", "4bit-top-down", BmpFile(7, -4, 4, 16));
  Put(out, "bmp", "8bit-short-table", BmpFile(6, 3, 8, 5));
  Put(out, "bmp", "24bit", BmpFile(5, 3, 24, 0));
  Put(out, "bmp", "32bit-v5-header", BmpFile(3, -2, 32, 0, 124));
  std::string unsized = BmpFile(9, 4, 8, 256);
  std::fill(unsized.begin() + 2, unsized.begin() + 6, '\0');
  Put(out, "bmp", "8bit-no-file-size", unsized);
  Put(out, "bmp", "cut-short", BmpFile(5, 3, 24, 0).substr(0, 60));
}

// WAV files: a RIFF chunk holding a "fmt " chunk (`formatTag`, PCM or extensible) and a data
// chunk of `frames` patterned frames, with `extra` chunks between them.
std::string WavLittleEndian(std::uint32_t value, int length) {
  std::string bytes;
  for (int i = 0; i < length; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string WavChunk(const char* id, const std::string& body) {
  std::string chunk = std::string(id, 4) + WavLittleEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
  if (body.size() & 1) chunk += '\0';
  return chunk;
}

std::string WavFile(int channels, std::uint32_t rate, int bits, std::size_t frames, bool extensible = false,
                    const std::string& extra = {}) {
  const std::uint32_t align = static_cast<std::uint32_t>(channels * bits / 8);
  std::string format = WavLittleEndian(extensible ? 0xFFFE : 1, 2) + WavLittleEndian(channels, 2) +
                       WavLittleEndian(rate, 4) + WavLittleEndian(rate * align, 4) + WavLittleEndian(align, 2) +
                       WavLittleEndian(bits, 2);
  if (extensible) {
    format += WavLittleEndian(22, 2) + WavLittleEndian(bits, 2) + WavLittleEndian(3, 4) +
              std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
  }
  std::string samples(frames * align, '\0');
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<char>((i * 29) & 0xFF);
  const std::string chunks = WavChunk("fmt ", format) + extra + WavChunk("data", samples);
  return "RIFF" + WavLittleEndian(static_cast<std::uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

void WavSeeds(const fs::path& out) {
  Put(out, "wav", "8bit-mono-8k", WavFile(1, 8000, 8, 40));
  Put(out, "wav", "16bit-stereo-48k", WavFile(2, 48000, 16, 24));
  Put(out, "wav", "16bit-mono-extensible", WavFile(1, 22050, 16, 16, true));
  Put(out, "wav", "list-chunk-odd", WavFile(2, 11025, 8, 9, false, WavChunk("LIST", "INFOabc")));
  Put(out, "wav", "cut-short", WavFile(1, 16000, 16, 30).substr(0, 70));
}

}  // namespace

void FormulaSeeds(const fs::path& out) {
  // Typical indicators: a moving-average overlay, MACD, KDJ with parameters, drawing calls and
  // cross-instrument references; the control byte 0x0E declares every parameter and checks codes.
  Put(out, "formula_compile", "ma", "MA1:MA(CLOSE,5);MA2:MA(CLOSE,10);MA3:MA(CLOSE,20),COLORRED;MA4:MA(CLOSE,60),LINETHICK2;");
  Put(out, "formula_compile", "macd",
      fuzz::JoinParts({"\x0F", "DIF:EMA(CLOSE,N)-EMA(CLOSE,M);DEA:EMA(DIF,P1);MACD:(DIF-DEA)*2,COLORSTICK;"}));
  Put(out, "formula_compile", "kdj",
      "RSV:=(CLOSE-LLV(LOW,N))/(HHV(HIGH,N)-LLV(LOW,N))*100;K:SMA(RSV,M,1);D:SMA(K,P1,1);J:3*K-2*D;REFLINE:20,80;");
  Put(out, "formula_compile", "draw",
      "{买卖} DRAWTEXT(CROSS(C,MA(C,5)),L*0.98,'买'),ALIGN1,VALIGN2,COLORYELLOW;DRAWICON(C>O,H,3);"
      "STICKLINE(C>O,C,O,4,0),COLOR00FF00;DRAWKLINE(H,O,L,C);DRAWGBK(C>O,COLORRGB(255,0,0),0,1);DRAWBKBMP(1,'BG');");
  Put(out, "formula_compile", "cross",
      "X:\"600000$CLOSE\"/\"SZ399001$C\"*100,PRECIS2;Y:MA(\"IF2406$VOL\",5),COLORSYSCOLOR7;Z:X>-0.5 OR Y<>-X;");
  Put(out, "formula_compile", "gbk", "漲:MAX(C,O,H,L);漄:漲*2,CIRCLEDOT;A:=BARSLAST(C>REF(C,1));B:ZIG(3,5),POINTDOT;");
}

bool WriteBuiltinSeeds(const fs::path& out) {
  ok = true;
  IniSeeds(out);
  BlockSeeds(out);
  DbfSeeds(out);
  NewsSeeds(out);
  MarketSeeds(out);
  TickSeeds(out);
  TrendSeeds(out);
  BarSeeds(out);
  HotKeySeeds(out);
  CycleOrderSeeds(out);
  GbkSeeds(out);
  PathSeeds(out);
  DispatchSeeds(out);
  FreshnessSeeds(out);
  BmpSeeds(out);
  ChannelSeeds(out);
  WavSeeds(out);
  FormulaSeeds(out);
  return ok;
}

bool WriteSampleSeeds(const fs::path& out, const fs::path& sampleRoot, const fs::path& repositoryRoot) {
  ok = true;
  SampleMarketSeeds(out, sampleRoot);
  SampleHistorySeeds(out, sampleRoot);
  ShippedSeeds(out, repositoryRoot);
  return ok;
}
