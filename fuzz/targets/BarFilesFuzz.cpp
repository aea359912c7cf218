// Fuzz target "bars": the K-line bar files (ReadBars, FindDayBar, ReadBarsByCycle).
// Input: a control part (file kind, chart cycle and N, record limit, the buffer given, a date
// to find, the market's minutes per day and kind, the bar limit MaxDataRecords); then, after
// the part separator, the bar file, used as the instrument's one-minute, five-minute,
// sixty-minute and day file alike. A single part is the bar file under a default control.
// Property: ReadBars gives the newest bars of the file, as many as the documented limit and
// the buffer allow, as their very bytes; FindDayBar finds a date exactly when a bar of a
// time-sorted file has it (in any file, a bar found has that time), with the bar before it
// or, for the first bar, the open as the previous close; ReadBarsByCycle reads the newest base
// bars the documented record limit allows and keeps them unchanged for the cycles of a base
// file, or merges them into groups that keep the first open, the last time and close, and
// (N-day groups) ceil(bars / N) groups, the last complete exactly when N divides the bars.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "core/GuardedAlloc.h"
#include "data/BarFiles.h"
#include "data/CacheFiles.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr int kFileKinds[4] = {kBarFile1Min, kBarFile5Min, kBarFile60Min, kBarFileDay};
constexpr int kSpareBars = 16;
constexpr int kBar = sizeof(ChartBar);

struct Setting {
  int fileKind = kBarFileDay;
  int limit = 0;
  std::uint16_t bufferBars = 0;   // 0: ReadBars allocates
  int cycle = kCycleDay;
  int n = 1;
  int cycleLimit = 2000;
  std::uint8_t dateIndex = 0;
  std::uint32_t rawDate = 0;
  bool rawDateWanted = false;
  std::uint32_t minutes = 240;
  int kind = 1;
  int maxDataRecords = 300;
};

Setting ReadSetting(std::string_view bytes) {
  fuzz::ControlReader control(bytes);
  Setting s;
  s.fileKind = kFileKinds[control.U8(3) % 4];
  const std::uint8_t limitMode = control.U8(0);
  const std::uint32_t limit = control.U32(0);
  s.limit = limitMode % 3 == 0 ? 0 : limitMode % 3 == 1 ? static_cast<int>(limit % 4096) - 64 : static_cast<int>(limit);
  s.bufferBars = control.U16(0) % 2048;
  s.cycle = control.U8(kCycleDay) % 17;   // 15 and 16 are no cycles
  s.n = static_cast<std::int16_t>(control.U16(1));
  const std::uint32_t cycleLimit = control.U32(2000);
  s.cycleLimit = limitMode & 4 ? static_cast<int>(cycleLimit) : static_cast<int>(cycleLimit % 8192) - 256;
  s.dateIndex = control.U8(0);
  s.rawDate = control.U32(0);
  s.rawDateWanted = limitMode & 8;
  s.minutes = control.U16(240) % 1441;
  s.kind = control.U8(1);
  s.maxDataRecords = kMinMaxDataRecords + control.U16(200) % 4000;
  return s;
}

TMarketData* InstallMarket(const Setting& s) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(s.kind);
  std::memcpy(record.code, "SH", 2);
  std::memcpy(record.fileExt, "sh", 2);
  record.hourOffset = 8;
  record.capacity = 2;
  record.categoryCount = 1;
  if (s.minutes > 0) {
    record.categories[0].sessionCount = 1;
    record.categories[0].closeMinute[0] = static_cast<std::uint16_t>(s.minutes);
  }
  auto* table = new TMarketData(0, record);
  FUZZ_CHECK(table->names != nullptr, "a small market gets its arrays");
  std::memcpy(table->names[0].code, "600100", 6);
  table->count = 1;
  table->FinishNameTable();
  MarketTables[0] = table;
  MarketCount = 1;
  return table;
}

const ChartBar* BarsOf(std::string_view file) { return reinterpret_cast<const ChartBar*>(file.data()); }

// The newest `count` bars of the file, as bytes.
std::string_view Newest(std::string_view file, std::int64_t count) {
  const std::size_t whole = file.size() / kBar * kBar;
  return file.substr(whole - static_cast<std::size_t>(count) * kBar, static_cast<std::size_t>(count) * kBar);
}

void CheckReadBars(TMarketData* table, const Setting& s, std::string_view file) {
  const std::int64_t inFile = static_cast<std::int64_t>(file.size() / kBar);
  const int maxMinutes = table->maxMinutesPerDay;
  std::int64_t wanted = s.limit < 0 ? 0 : s.limit == 0 ? inFile
                                               : std::min<std::int64_t>(inFile, std::max<std::int64_t>(s.limit - (maxMinutes + kSpareBars), 0));
  ChartBar* buffer = s.bufferBars ? static_cast<ChartBar*>(GuardedAlloc(s.bufferBars * kBar)) : nullptr;
  if (buffer) wanted = std::min<std::int64_t>(wanted, s.bufferBars);
  int count = -1;
  FUZZ_CHECK(ReadBars(table, &buffer, "600100", &count, s.fileKind, s.limit) == 1, "ReadBars reads an instrument's file");
  FUZZ_CHECK(count == wanted, "ReadBars gives as many bars as its limit and its buffer allow");
  FUZZ_CHECK(GuardedSize(buffer) >= static_cast<std::uint64_t>(count) * kBar, "the bars read fit their buffer");
  if (!s.bufferBars) {
    FUZZ_CHECK(GuardedSize(buffer) >= static_cast<std::uint64_t>(maxMinutes + wanted + kSpareBars) * kBar,
               "an allocated buffer has room for a day of minutes after the history");
  }
  FUZZ_CHECK(std::memcmp(buffer, Newest(file, count).data(), static_cast<std::size_t>(count) * kBar) == 0,
             "ReadBars gives the file's newest bars as they stand");
  GuardedFree(buffer);
}

void CheckFindDayBar(TMarketData* table, const Setting& s, std::string_view file) {
  const int bars = static_cast<int>(file.size() / kBar);
  std::uint32_t date = s.rawDate;
  if (!s.rawDateWanted && bars > 0) date = BarsOf(file)[s.dateIndex % bars].time;
  ChartBar pair[2];
  std::memset(pair, 0xA5, sizeof pair);
  const int found = FindDayBar(table, "600100", date, pair);
  bool sorted = true;
  int at = -1;
  for (int i = 0; i < bars; ++i) {
    if (i > 0 && BarsOf(file)[i - 1].time >= BarsOf(file)[i].time) sorted = false;
    if (at < 0 && BarsOf(file)[i].time == date) at = i;
  }
  if (sorted) FUZZ_CHECK(found == (at >= 0 ? 1 : 0), "a day bar of a sorted file is found exactly when it is there");
  if (!found) {
    ChartBar untouched[2];
    std::memset(untouched, 0xA5, sizeof untouched);
    FUZZ_CHECK(std::memcmp(pair, untouched, sizeof pair) == 0, "a day bar not found leaves the pair alone");
    return;
  }
  FUZZ_CHECK(pair[1].time == date, "a day bar found has the date asked for");
  int index = -1;
  for (int i = 0; i < bars && index < 0; ++i) {
    if (std::memcmp(&BarsOf(file)[i], &pair[1], sizeof pair[1]) != 0) continue;
    const bool previousMatches = i > 0 ? std::memcmp(&BarsOf(file)[i - 1], &pair[0], sizeof pair[0]) == 0
                                       : pair[0].close == BarsOf(file)[0].open;
    if (previousMatches) index = i;
  }
  FUZZ_CHECK(index >= 0, "a day bar found comes with the bar before it, or its own open as the previous close");
}

// The record limit ReadBarsByCycle passes for a base file, as its contract gives it (without
// wrapping below INT_MIN).
std::int64_t BaseRecordLimit(int fileKind, int limit, int maxMinutes) {
  switch (fileKind) {
    case kBarFileDay: return std::int64_t{limit} - 1;
    case kBarFile5Min: return std::int64_t{limit} - maxMinutes / 5 - 1;
    case kBarFile60Min: return std::int64_t{limit} - maxMinutes / 60 - 1;
    default: return std::int64_t{limit} - maxMinutes;
  }
}

bool CopiesBars(int cycle, int n) {
  switch (cycle) {
    case kCycleTick: case kCycle1Min: case kCycle5Min: case kCycle60Min: case kCycleDay: return true;
    case kCycleNDay: return n <= 1;
    case kCycleNMin: return n <= 1 || n == 5 || n == 60;
    default: return cycle > kCycle240Min;
  }
}

void CheckReadByCycle(TMarketData* table, const Setting& s, std::string_view file) {
  const int fileKind = BaseFileKindOfCycle(s.cycle, s.n);
  ChartBar* output = nullptr;
  int count = -1;
  bool complete = false;
  const int result = ReadBarsByCycle(&output, 0, "600100", &count, s.cycle, s.n, s.cycleLimit, 0, 0, &complete);
  if (fileKind == 0) {
    FUZZ_CHECK(result == 0 && count == 0 && output == nullptr, "a cycle without a base file reads nothing");
    return;
  }
  FUZZ_CHECK(result == 1 && output != nullptr, "a cycle with a base file reads");
  const std::int64_t inFile = static_cast<std::int64_t>(file.size() / kBar);
  const std::int64_t recordLimit = BaseRecordLimit(fileKind, s.cycleLimit, table->maxMinutesPerDay);
  std::int64_t read = 0;
  if (recordLimit > 0) {
    read = std::min<std::int64_t>(inFile, std::max<std::int64_t>(recordLimit - (table->maxMinutesPerDay + kSpareBars), 0));
    read = std::min<std::int64_t>(read, GetBarScratchSize() / kBar);
  }
  read = std::min<std::int64_t>(read, GuardedSize(output) / kBar);
  const ChartBar* base = reinterpret_cast<const ChartBar*>(Newest(file, read).data());
  if (read == 0) {
    FUZZ_CHECK(count == 0 && complete, "no base bars give no bars");
    GuardedFree(output);
    return;
  }
  if (CopiesBars(s.cycle, s.n)) {
    FUZZ_CHECK(count == read && std::memcmp(output, base, static_cast<std::size_t>(read) * kBar) == 0,
               "a cycle of a base file shows the newest base bars unchanged");
  } else {
    FUZZ_CHECK(count >= 1 && count <= read, "merged bars never outnumber their base bars");
    FUZZ_CHECK(output[0].open == base[0].open, "the first merged bar opens at the first base bar's open");
    FUZZ_CHECK(output[count - 1].time == base[read - 1].time && output[count - 1].close == base[read - 1].close,
               "the last merged bar ends at the last base bar's time and close");
    if (s.cycle == kCycleNDay) {
      FUZZ_CHECK(count == (read + s.n - 1) / s.n && complete == (read % s.n == 0),
                 "N-day groups are ceil(bars / N), the last complete when N divides the bars");
    }
  }
  GuardedFree(output);
}

}  // namespace

int FuzzBarFiles(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const Setting setting = ReadSetting(parts.size() > 1 ? parts[0] : std::string_view());
  const std::string_view file = parts.back();

  MaxDataRecords = setting.maxDataRecords;
  TUtilData::Shutdown();   // the scratch buffer follows the new limit
  TMarketData* table = InstallMarket(setting);
  for (int fileKind : kFileKinds) {
    std::string path;
    FUZZ_CHECK(BarFilePath(fileKind, table, "600100", path), "every base file kind has a path");
    fuzz::Sandbox::WriteAbsolute(paths::Resolve(path), file);
  }

  CheckReadBars(table, setting, file);
  CheckFindDayBar(table, setting, file);
  CheckReadByCycle(table, setting, file);
  return 0;
}
