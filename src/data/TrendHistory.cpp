#include "data/TrendHistory.h"

#include "core/Search.h"
#include "data/BarAggregation.h"
#include "data/CacheFiles.h"
#include "data/IRequestClient.h"
#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::uint32_t kTimeBits = 0x7FF;       // hour and minute of a PackedTime
constexpr std::uint32_t kHeadBytes = 4;          // minuteSlots
constexpr std::uint32_t kDayReadPiece = 3072;    // downloaded days are read in pieces

std::uint32_t DatePart(std::uint32_t time) { return time & ~kTimeBits; }

bool IsInTable(const TMarketData* table, int position) {
  return table && table->names && position >= 0 && position < table->count;
}

// minuteSlots of the instrument's category: its trading minutes per day + 1.
std::uint32_t MinuteSlotsOf(const TMarketData* table, int position) {
  const int category = table->GetCategory(position);
  if (category < 0 || category >= kMaxCategories) return 1;
  return static_cast<std::uint32_t>(table->record.categories[category].minutesPerDay) + 1;
}

bool ReadAt(HANDLE file, std::uint32_t offset, void* into, std::uint32_t bytes) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return false;
  DWORD got = 0;
  return ReadFile(file, into, bytes, &got, nullptr) && got == bytes;
}

// Makes offset the end of the file. Reading goes on as "not found" whatever the outcome.
int CutAt(HANDLE file, std::uint32_t offset) {
  if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER)
    SetEndOfFile(file);
  return 0;
}

// The number of blocks, from the first on, that a binary search can trust: each holds a valid
// date later than the block before. The first block that breaks this is damage, and it and
// every block after it are given up. dateWordAt(block) is a block's date word.
template <typename DateWordAt>
std::uint32_t SoundBlocks(std::uint32_t blocks, DateWordAt dateWordAt) {
  std::uint32_t previous = 0;
  for (std::uint32_t block = 0; block < blocks; ++block) {
    const std::uint32_t word = dateWordAt(block);
    if (!IsValidPackedTime(word)) return block;
    if (block > 0 && DatePart(word) <= previous) return block;
    previous = DatePart(word);
  }
  return blocks;
}

// Searches a history of `blocks` whole blocks of `slots` minutes for a day. The dates are
// checked in one pass over a read-only view before the binary search: damage made of valid
// dates out of order (a day twice, as a torn merge of an older version left it) misleads a
// search that checks only the blocks it meets, so a sound day could read as missing or as the
// damaged copy. The first block that is not later than the one before, and every block after
// it, is cut away; the search runs over the blocks before it.
int SearchHistory(HANDLE file, std::uint32_t slots, std::uint32_t blocks, std::uint32_t target,
                  TrendDayMinute* buffer, int* count) {
  const std::uint32_t blockBytes = 4 + 12 * slots;
  const std::uint64_t mappedBytes = kHeadBytes + static_cast<std::uint64_t>(blocks) * blockBytes;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return 0;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<std::size_t>(mappedBytes));
  CloseHandle(mapping);
  if (!view) return 0;
  const auto* firstBlock = static_cast<const std::uint8_t*>(view) + kHeadBytes;
  auto blockAt = [firstBlock, blockBytes](std::uint32_t block) {
    return firstBlock + static_cast<std::size_t>(block) * blockBytes;
  };
  const std::uint32_t sound = SoundBlocks(blocks, [&blockAt](std::uint32_t block) {
    std::uint32_t word = 0;
    std::memcpy(&word, blockAt(block), 4);
    return word;
  });
  int found = 0;
  std::uint32_t low = 0;
  std::uint32_t high = sound;   // the day, when held, lies in [low, high)
  while (low < high) {
    const std::uint32_t mid = low + (high - low) / 2;
    std::uint32_t word = 0;
    std::memcpy(&word, blockAt(mid), 4);
    const std::uint32_t date = DatePart(word);
    if (date == target) {
      std::memcpy(buffer, blockAt(mid) + 4, 12 * static_cast<std::size_t>(slots));
      *count = static_cast<int>(slots);
      found = 1;
      break;
    }
    if (target < date) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  UnmapViewOfFile(view);
  // The view is gone before the file is cut.
  if (sound < blocks) CutAt(file, kHeadBytes + sound * blockBytes);
  return found;
}

// Reads the downloaded day (at most slots minutes, in pieces); the whole minutes read.
std::vector<TrendDayMinute> ReadDownloadedDay(const std::string& path, std::uint32_t slots) {
  std::vector<TrendDayMinute> minutes;
  files::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return minutes;
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size <= 11) return minutes;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(slots) * sizeof(TrendDayMinute));
  std::uint32_t filled = 0;
  while (filled < bytes.size()) {
    const std::uint32_t piece = std::min<std::uint32_t>(kDayReadPiece, static_cast<std::uint32_t>(bytes.size()) - filled);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + filled, piece, &got, nullptr) || got == 0) break;
    filled += got;
  }
  minutes.resize(filled / sizeof(TrendDayMinute));
  if (!minutes.empty()) std::memcpy(minutes.data(), bytes.data(), minutes.size() * sizeof(TrendDayMinute));
  return minutes;
}

// Writes the day into its block: the date, the downloaded minutes, the short tail completed
// from the last minute and gaps (price 0) closed from the minute before.
void FillBlock(std::uint8_t* block, std::uint32_t day, const std::vector<TrendDayMinute>& minutes,
               std::uint32_t slots, bool stockLike) {
  std::memcpy(block, &day, 4);
  auto* slot = reinterpret_cast<TrendDayMinute*>(block + 4);
  const std::size_t copied = std::min<std::size_t>(minutes.size(), slots);
  std::memcpy(slot, minutes.data(), copied * sizeof(TrendDayMinute));
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
}

// Reads the history of slots minutes a day into *history, with room for one more block after
// the whole blocks it holds (*blocks; a torn last block is dropped). A missing, empty or invalid
// history (another head) reads as the head alone. False when an existing history cannot be
// read, or is too large to hold.
bool ReadHistoryWithRoom(const std::string& path, std::uint32_t slots, std::unique_ptr<std::uint8_t[]>* history,
                         std::uint32_t* blocks) {
  const std::uint32_t blockBytes = 4 + 12 * slots;
  *blocks = 0;
  files::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD size = 0;
  std::uint32_t head = 0;
  if (file.ok()) {
    size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE) return false;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    return false;   // present but unreadable: rewriting it would lose its days
  }
  const bool valid = size >= kHeadBytes && ReadAt(file.get(), 0, &head, 4) && head == slots;
  const std::uint32_t held = valid ? (size - kHeadBytes) / blockBytes : 0;
  // The size comes from the file: a history beyond any real one is refused, not allocated.
  const std::uint64_t roomBytes = kHeadBytes + (static_cast<std::uint64_t>(held) + 1) * blockBytes;
  if (roomBytes > 0x7FFFFFFFu) return false;
  // Not zeroed: only the head, the blocks read and the merged block are ever written out.
  history->reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(roomBytes)]);
  if (!*history) return false;
  std::memcpy(history->get(), &slots, 4);
  if (held == 0) return true;
  // Another process may cut the file meanwhile: only the whole blocks read count.
  const std::uint32_t wanted = held * blockBytes;
  std::uint32_t got = 0;
  while (got < wanted) {
    DWORD piece = 0;
    if (!ReadFile(file.get(), history->get() + kHeadBytes + got, wanted - got, &piece, nullptr)) return false;
    if (piece == 0) break;
    got += piece;
  }
  *blocks = got / blockBytes;
  return true;
}

}  // namespace

int ReadTrendDay(TMarketData* table, int position, std::uint32_t date, TrendDayMinute* buffer,
                 int* count) {
  if (!buffer || !count || !IsInTable(table, position)) return 0;
  std::string path;
  if (!CacheFilePath(CacheFile::TrendHistory, table, InstrumentCode(&table->names[position]).c_str(), path))
    return 0;
  // OPEN_EXISTING: a day never cached must not leave an empty history behind. A history that
  // cannot be opened for writing is still searched; its damage then stays until the next merge.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE)
    handle = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  files::ScopedHandle file(handle);
  if (!file.ok()) return 0;

  const std::uint32_t slots = MinuteSlotsOf(table, position);
  std::uint32_t head = 0;
  // A history of another session plan (or an unreadable head) is of no use: empty it.
  if (!ReadAt(file.get(), 0, &head, 4) || head != slots) return CutAt(file.get(), 0);
  const DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE) return 0;
  const std::uint32_t blocks = (size - kHeadBytes) / (4 + 12 * slots);
  if (blocks == 0) return 0;
  return SearchHistory(file.get(), slots, blocks, DatePart(date), buffer, count);
}

int MergeTrendDay(TMarketData* table, int position, std::uint32_t date) {
  if (!IsInTable(table, position)) return 0;
  const std::string code = InstrumentCode(&table->names[position]);
  const std::uint32_t day = DatePart(date);
  // The date comes with a server reply: a block of an invalid date would sort first and make
  // the next read cut the whole history away.
  if (!IsValidPackedTime(day)) return 0;
  std::string dayPath;
  std::string historyPath;
  if (!TrendDayFilePath(table, code.c_str(), day, dayPath) ||
      !CacheFilePath(CacheFile::TrendHistory, table, code.c_str(), historyPath))
    return 0;

  const std::uint32_t slots = MinuteSlotsOf(table, position);
  // The whole download is read before the history is touched, so an unusable download leaves
  // the history as it was.
  const std::vector<TrendDayMinute> minutes = ReadDownloadedDay(dayPath, slots);
  if (minutes.empty()) return 0;

  // The merged history is built in memory and replaces the file in one step, so a kill or a
  // failed write leaves the former history whole.
  std::unique_ptr<std::uint8_t[]> history;
  std::uint32_t blocks = 0;
  if (!ReadHistoryWithRoom(historyPath, slots, &history, &blocks)) return 0;
  const std::uint32_t blockBytes = 4 + 12 * slots;
  std::uint8_t* const firstBlock = history.get() + kHeadBytes;
  // Only the sound start is searched and kept: a day placed among damaged blocks could be
  // stored twice, or where no search finds it.
  blocks = SoundBlocks(blocks, [firstBlock, blockBytes](std::uint32_t block) {
    std::uint32_t word = 0;
    std::memcpy(&word, firstBlock + static_cast<std::size_t>(block) * blockBytes, 4);
    return word;
  });

  const auto place = static_cast<std::uint32_t>(
      LowerBoundByKey(firstBlock, static_cast<int>(blocks), static_cast<int>(blockBytes), day));
  std::uint8_t* const placed = firstBlock + static_cast<std::size_t>(place) * blockBytes;
  std::uint32_t held = 0;
  if (place < blocks) std::memcpy(&held, placed, 4);
  std::uint32_t finalBlocks = blocks;
  if (place == blocks || DatePart(held) != day) {
    std::memmove(placed + blockBytes, placed, static_cast<std::size_t>(blocks - place) * blockBytes);
    finalBlocks = blocks + 1;
  }
  FillBlock(placed, day, minutes, slots, IsStockLikeMarket(table->record.kind));
  const std::size_t finalBytes = kHeadBytes + static_cast<std::size_t>(finalBlocks) * blockBytes;
  return files::AtomicReplace(historyPath, history.get(), finalBytes) ? 1 : 0;
}

bool LoadTrendDay(STKPTR instrument, std::uint32_t date, TrendDayMinute* buffer, int* count,
                  std::uint32_t requester) {
  if (!GetInstrumentRecord(instrument)) return false;
  if (ReadTrendDay(MarketTables[instrument.market], instrument.index, date, buffer, count)) return true;
  if (IRequestClient* client = RequestClient(); requester != 0 && client != nullptr)
    client->RequestTrendDay(instrument.market, instrument.index, DatePart(date), requester);
  return false;
}

int ImportTrendDay(STKPTR instrument, std::uint32_t date) {
  if (!GetInstrumentRecord(instrument)) return 0;
  return MergeTrendDay(MarketTables[instrument.market], instrument.index, date);
}
