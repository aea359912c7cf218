// Fuzz target "trend": the trend history of an instrument (ReadTrendDay) and the merge of a
// downloaded day into it (MergeTrendDay).
// Input: a control part (flags, minutes per day, market kind, how the merged date is chosen, a
// raw date, a cut of the download); then, after part separators, the history file and the
// downloaded day. A single part is the history: its head gives the minutes per day and the
// download is the first half of its first day.
// Property: every day stored before the first damaged block (a date that is invalid or not
// later than the one before) reads back as its bytes, at once or after the read that found
// the damage cut it off; reads only ever cut the file, never below its first damage (a history
// of another head is emptied); a merge succeeds exactly when the download is usable and the
// date valid, and then the merged day reads back at once as the download completed by the
// documented rule, every sound day read before still reads the same, and the history holds
// that day exactly once among sound, ascending blocks; a merge that fails changes nothing.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "core/PackedTime.h"
#include "data/BarAggregation.h"
#include "data/CacheFiles.h"
#include "data/MarketData.h"
#include "data/TrendHistory.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr std::uint32_t kTimeBits = 0x7FF;
constexpr std::size_t kMaxReads = 16;

std::uint32_t WordAt(std::string_view bytes, std::size_t at) {
  std::uint32_t word = 0;
  std::memcpy(&word, bytes.data() + at, 4);
  return word;
}

// The number of blocks from the first that are sound: valid dates, each later than the last.
std::uint32_t SoundBlocks(std::string_view history, std::uint32_t slots) {
  const std::size_t blockBytes = 4 + 12 * static_cast<std::size_t>(slots);
  if (history.size() < 4 || WordAt(history, 0) != slots) return 0;
  const std::size_t blocks = (history.size() - 4) / blockBytes;
  std::uint32_t previous = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::uint32_t word = WordAt(history, 4 + b * blockBytes);
    if (!IsValidPackedTime(word) || (b > 0 && (word & ~kTimeBits) <= previous)) return static_cast<std::uint32_t>(b);
    previous = word & ~kTimeBits;
  }
  return static_cast<std::uint32_t>(blocks);
}

// The day block a usable download becomes, minutes only.
std::string ExpectedMinutes(std::string_view download, std::uint32_t slots, bool stockLike) {
  std::vector<TrendDayMinute> slot(slots);
  const std::size_t copied = std::min<std::size_t>(download.size() / sizeof(TrendDayMinute), slots);
  std::memcpy(slot.data(), download.data(), copied * sizeof(TrendDayMinute));
  for (std::size_t i = copied; i < slots; ++i) {
    slot[i].price = slot[copied - 1].price;
    slot[i].volume = 0;
    slot[i].amount = stockLike ? 0.0f : slot[copied - 1].amount;
  }
  for (std::size_t i = 1; i < slots; ++i) {
    if (slot[i].price != 0) continue;
    slot[i].price = slot[i - 1].price;
    slot[i].volume = 0;
    slot[i].amount = stockLike ? 0.0f : slot[i - 1].amount;
  }
  return std::string(reinterpret_cast<const char*>(slot.data()), slot.size() * sizeof(TrendDayMinute));
}

struct Setting {
  bool slotsFromControl = false;
  bool cutDownload = false;
  std::uint32_t minutes = 240;
  int kind = 1;
  int dateMode = 0;
  std::uint8_t dateIndex = 0;
  std::uint32_t rawDate = 0;
  std::uint16_t downloadBytes = 0;
};

Setting ReadSetting(std::string_view bytes) {
  fuzz::ControlReader control(bytes);
  Setting s;
  const std::uint8_t flags = control.U8(0);
  s.slotsFromControl = flags & 1;
  s.cutDownload = flags & 2;
  s.minutes = control.U16(240) % 1441;
  s.kind = control.U8(1);
  s.dateMode = control.U8(0) % 4;
  s.dateIndex = control.U8(0);
  s.rawDate = control.U32(MakePackedTime(2024, 7, 1));
  s.downloadBytes = control.U16(0);
  return s;
}

TMarketData* InstallMarket(std::uint32_t minutes, int kind) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::memcpy(record.code, "SH", 2);
  std::memcpy(record.fileExt, "sh", 2);
  record.hourOffset = 8;
  record.capacity = 2;
  record.categoryCount = 1;
  if (minutes > 0) {
    record.categories[0].sessionCount = 1;
    record.categories[0].openMinute[0] = 0;
    record.categories[0].closeMinute[0] = static_cast<std::uint16_t>(minutes);
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

// Reads a day; the minutes when found.
bool Read(TMarketData* table, std::uint32_t date, std::uint32_t slots, std::string* minutes) {
  std::vector<TrendDayMinute> buffer(slots + 1);
  int count = -1;
  const int found = ReadTrendDay(table, 0, date, buffer.data(), &count);
  if (!found) return false;
  FUZZ_CHECK(count == static_cast<int>(slots), "a day read holds the category's minutes");
  minutes->assign(reinterpret_cast<const char*>(buffer.data()), slots * sizeof(TrendDayMinute));
  return true;
}

}  // namespace

int FuzzTrendHistory(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> parts = fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const Setting setting = ReadSetting(parts.size() > 1 ? parts[0] : std::string_view());
  const std::string_view history = parts.size() > 1 ? parts[1] : parts[0];
  std::uint32_t minutes = setting.minutes;
  if (!setting.slotsFromControl && history.size() >= 4 && WordAt(history, 0) >= 1 && WordAt(history, 0) <= 1441)
    minutes = WordAt(history, 0) - 1;
  const std::uint32_t slots = minutes + 1;
  const std::size_t blockBytes = 4 + 12 * static_cast<std::size_t>(slots);

  std::string download;
  if (parts.size() > 2) {
    download = std::string(parts[2]);
  } else if (history.size() >= 4 + blockBytes) {
    download = std::string(history.substr(8, 12 * static_cast<std::size_t>(slots) / 2));
  }
  if (setting.cutDownload) download.resize(std::min<std::size_t>(download.size(), setting.downloadBytes));

  TMarketData* table = InstallMarket(minutes, setting.kind);
  std::string historyPath;
  FUZZ_CHECK(CacheFilePath(CacheFile::TrendHistory, table, "600100", historyPath), "the history has a path");
  const std::string historyFile = paths::Resolve(historyPath);
  fuzz::Sandbox::WriteAbsolute(historyFile, history);

  // Every sound day reads back as its bytes, at the latest after the read that cut the damage.
  const std::uint32_t sound = SoundBlocks(history, slots);
  const bool headMatches = history.size() >= 4 && WordAt(history, 0) == slots;
  std::map<std::uint32_t, std::string> days;
  for (std::size_t n = 0; n < kMaxReads && n < sound; ++n) {
    const std::size_t block = sound <= kMaxReads ? n : n * (sound - 1) / (kMaxReads - 1);
    const std::uint32_t date = WordAt(history, 4 + block * blockBytes) & ~kTimeBits;
    std::string read;
    const bool found = Read(table, date, slots, &read) || Read(table, date, slots, &read);
    FUZZ_CHECK(found, "a day stored before the first damage can be read");
    FUZZ_CHECK(read == history.substr(4 + block * blockBytes + 4, 12 * static_cast<std::size_t>(slots)),
               "a day reads back as its stored minutes");
    days[date] = read;
  }
  std::string unused;
  Read(table, setting.rawDate, slots, &unused);
  const std::string afterReads = fuzz::Sandbox::ReadAbsolute(historyFile);
  if (headMatches) {
    const std::size_t soundEnd = std::min(history.size(), 4 + sound * blockBytes);
    FUZZ_CHECK(afterReads.size() >= soundEnd && history.compare(0, afterReads.size(), afterReads) == 0,
               "reads only cut the history, never below its first damage");
  } else if (!history.empty()) {
    FUZZ_CHECK(afterReads.empty(), "a history of another head is emptied by a read");
  }

  // The merged date.
  std::uint32_t date = setting.rawDate;
  const std::uint32_t soundAfter = SoundBlocks(afterReads, slots);
  if (soundAfter > 0 && setting.dateMode != 1) {
    const std::uint32_t first = WordAt(afterReads, 4);
    const std::uint32_t last = WordAt(afterReads, 4 + (soundAfter - 1) * blockBytes);
    if (setting.dateMode == 0) date = WordAt(afterReads, 4 + (setting.dateIndex % soundAfter) * blockBytes);
    if (setting.dateMode == 2) date = DayAfter(last);
    if (setting.dateMode == 3) {
      date = first;
      PrevDay(&date);
    }
  }
  const std::uint32_t day = date & ~kTimeBits;
  std::string dayPath;
  const bool dayNamed = TrendDayFilePath(table, "600100", day, dayPath);
  FUZZ_CHECK(dayNamed, "a downloaded day has a path");
  const std::string dayFile = paths::Resolve(dayPath);
  if (parts.size() > 2 || !download.empty()) fuzz::Sandbox::WriteAbsolute(dayFile, download);
  const bool downloaded = fuzz::Sandbox::ExistsAbsolute(dayFile);

  const bool usable = IsValidPackedTime(day) && downloaded && download.size() > 11;
  const int merged = MergeTrendDay(table, 0, date);
  FUZZ_CHECK(merged == (usable ? 1 : 0), "a merge succeeds exactly when the date is valid and the download usable");
  if (downloaded) FUZZ_CHECK(fuzz::Sandbox::ExistsAbsolute(dayFile), "the downloaded day is not deleted by the merge");
  if (!merged) {
    FUZZ_CHECK(fuzz::Sandbox::ReadAbsolute(historyFile) == afterReads, "a failed merge leaves the history as it was");
    return 0;
  }

  std::string read;
  FUZZ_CHECK(Read(table, day, slots, &read), "a merged day reads back at once");
  FUZZ_CHECK(read == ExpectedMinutes(download, slots, IsStockLikeMarket(setting.kind)),
             "a merged day holds the download, completed from its last minute");
  for (const auto& [stored, minutesRead] : days) {
    if (stored == day) continue;
    std::string again;
    FUZZ_CHECK(Read(table, stored, slots, &again) && again == minutesRead, "a merge keeps every sound day as it was");
  }
  const std::string after = fuzz::Sandbox::ReadAbsolute(historyFile);
  const std::uint32_t blocks = SoundBlocks(after, slots);
  FUZZ_CHECK(after.size() == 4 + blocks * blockBytes, "a merged history holds only sound, ascending blocks");
  int held = 0;
  for (std::uint32_t b = 0; b < blocks; ++b) held += (WordAt(after, 4 + b * blockBytes) & ~kTimeBits) == day ? 1 : 0;
  FUZZ_CHECK(held == 1, "a merged history holds the merged day exactly once");
  return 0;
}
