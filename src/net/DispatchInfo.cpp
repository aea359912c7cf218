#include "net/DispatchInfo.h"

#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/CacheRecords.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/StkPtr.h"
#include "data/TrendHistory.h"
#include "net/CacheMerge.h"
#include "net/CacheWrite.h"
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/PageCells.h"
#include "net/RequestQueue.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

const char* const kPasswordChangedText = "用户密码修改成功，下次登录时请使用新密码。  ";

namespace cw = zuvo::net::cachewrite;
using zuvo::platform::paths::CheckedJoin;
using zuvo::platform::paths::IsSafeComponent;

namespace {

constexpr const char* kNotesFolder = "..\\data\\notes";
constexpr const char* kInfoFolder = "..\\data\\info";
constexpr const char* kSortDataName = "sortdata.tmp";
constexpr std::size_t kNoteNameBytes = 16;
constexpr int kShowTextLevel = 20;
constexpr int kMaxErrorTextBytes = 255;

// ---- Process-wide state --------------------------------------------------------------------------

std::string tempFolder;
std::int64_t currentNewsId = -1;
std::uint32_t infoWritePosition = 0;
zuvo::net::SortFileNumberSource sortNumberSource;

// The reply whose frames are arriving (frames of one reply come one after the other).
struct Reply {
  bool open = false;          // frame 0 seen, the last frame not yet
  std::uint8_t type = 0;
  int subKind = kNoSubKind;
  bool dropped = false;       // late, unasked or discarded: its frames write nothing
  bool failed = false;        // a write failed and deleted the file: later frames write nothing
  bool wrote = false;         // some frame wrote data
  std::string unfinished;     // the file a reply that does not finish leaves half-written
  std::uint32_t infoOffset = 0;
  char noteName[kNoteNameBytes] = {};
  bool noteNamed = false;
};
Reply reply;

// ---- Frames ----------------------------------------------------------------------------------------

struct Frame {
  std::uint8_t type;
  int index;
  int count;
  bool first;
  bool last;
  int percent;
  const std::uint8_t* body;
  int length;

  // The data after a head of `head` bytes, and its length (0 when the body is shorter).
  const std::uint8_t* Data(int head) const { return body + std::min(head, length); }
  int DataLength(int head) const { return std::max(length - head, 0); }
};

std::uint16_t Get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t Get32(const std::uint8_t* at) {
  std::uint32_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// ---- The instrument a head names -----------------------------------------------------------------

struct Instrument {
  TMarketData* table = nullptr;
  int position = -1;
  std::string code;   // the table's own code: the only code that goes into paths
  STKPTR stk;

  LPARAM Packed() const { return static_cast<LPARAM>(StkPtrToWord(stk)); }
};

// The instrument of the head's market byte and code field (read up to its terminator within
// `width` bytes): only a market below MarketCount, and only a code that market lists.
bool FindInstrument(const Frame& f, int marketAt, int codeAt, int width, Instrument* out) {
  if (f.length < codeAt + width || f.length <= marketAt) return false;
  int market = f.body[marketAt];
  TMarketData* table = GetMarketTable(market);
  if (table == nullptr || table->names == nullptr) return false;
  char code[16] = {};
  const auto* field = reinterpret_cast<const char*>(f.body + codeAt);
  std::memcpy(code, field, strnlen(field, static_cast<std::size_t>(std::min(width, 15))));
  InstrumentRecord* record = FindInstrumentByCode(code, &market, false);
  if (record == nullptr || market != f.body[marketAt]) return false;
  const auto position = static_cast<int>(record - table->names);
  if (position < 0 || position >= table->count) return false;
  out->table = table;
  out->position = position;
  out->code = InstrumentCode(record);
  out->stk = STKPTR(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(position));
  return true;
}

QuoteRecord* QuoteOf(const Instrument& instrument) {
  return instrument.table->quotes != nullptr ? &instrument.table->quotes[instrument.position] : nullptr;
}

// "..\data\<market>\base\<name>", or empty when the name is not a safe component.
std::string BaseFilePath(const Instrument& instrument, const std::string& name, std::string* folder) {
  char market[MAX_PATH];
  std::string path;
  if (!instrument.table->MarketFolderPath(market, sizeof market) || !CheckedJoin(market, "base", *folder) ||
      !CheckedJoin(*folder, name, path)) {
    return {};
  }
  return path;
}

// ---- Messages --------------------------------------------------------------------------------------

void PostServerData(std::uint8_t type, unsigned low, LPARAM lParam) {
  PostMessageA(zuvo::net::MainWindow(), MsgServerData, static_cast<WPARAM>(type) << 16 | (low & 0xFFFFu), lParam);
}

// Offers the page's cells to `visit` from the last to the first until it answers true.
template <typename Visit>
void VisitCellsLastToFirst(Visit visit) {
  IPageCells* cells = zuvo::net::PageCells();
  if (cells == nullptr) return;
  for (int cell = cells->CellCount() - 1; cell >= 0; --cell) {
    if (visit(*cells, cell)) return;
  }
}

// ---- The file of one frame --------------------------------------------------------------------------

// One frame's access to the reply's file: a failed write deletes the file and marks the reply,
// so its later frames do not write a file that lacks its beginning.
class ReplyFile {
 public:
  ReplyFile(std::string path, cw::Open how) : path_(std::move(path)) {
    if (!reply.failed && !path_.empty()) file_ = cw::OpenForWriting(path_, how);
  }
  ~ReplyFile() { Close(); }
  ReplyFile(const ReplyFile&) = delete;
  ReplyFile& operator=(const ReplyFile&) = delete;

  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
  std::uint32_t Size() const { return cw::FileSize(file_); }
  bool Write(std::uint32_t offset, const void* data, std::uint32_t bytes) {
    if (!ok()) return false;
    if (!cw::WriteAt(file_, offset, data, bytes)) return Fail();
    reply.wrote = true;
    return true;
  }
  bool Append(const void* data, std::uint32_t bytes) { return Write(Size(), data, bytes); }
  bool EndAt(std::uint32_t offset) { return !ok() || cw::EndAt(file_, offset) || Fail(); }
  void Stamp() {
    if (ok()) cw::Stamp(file_);
  }
  void Close() {
    if (ok()) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  bool Fail() {
    cw::Discard(file_, path_);
    reply.failed = true;
    reply.unfinished.clear();
    return false;
  }
  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// The reply's file stays listed for deletion until its last frame has been written.
void TrackUnfinished(const Frame& f, const std::string& path) {
  reply.unfinished = f.last || reply.failed ? std::string() : path;
}

// ---- Reply types -----------------------------------------------------------------------------------

void ServerError(TNormalClnt* client, const Frame& f) {
  if (f.length < 3 || f.body[2] < kShowTextLevel) return;
  const auto* text = reinterpret_cast<const char*>(f.body + 3);
  client->SetErrorText(std::string_view(text, strnlen(text, static_cast<std::size_t>(std::min(f.length - 3, kMaxErrorTextBytes)))));
  PostMessageA(zuvo::net::MainWindow(), MsgServerText, 0, 0);
}

void NameTable(const Frame& f) {
  TMarketData* table = GetMarketTable(f.body[0]);
  if (table == nullptr || table->names == nullptr) return;
  const int market = f.body[0];
  if (f.first) table->count = 0;
  const int records = std::min(f.DataLength(1) / static_cast<int>(sizeof(InstrumentRecord)), table->capacity - table->count);
  if (records > 0) {
    std::memcpy(table->names + table->count, f.Data(1), static_cast<std::size_t>(records) * sizeof(InstrumentRecord));
    table->count += records;
  }
  // Trustworthy after every frame: codes terminated and trimmed, market and index set.
  table->FinishNameTable();
  if (!f.last) return;
  char folder[MAX_PATH];
  char path[MAX_PATH];
  if (table->MarketFolderPath(folder, sizeof folder) && table->MarketFilePath("nametbl", path, sizeof path) &&
      cw::MakeFolder(folder)) {
    zuvo::platform::files::AtomicReplace(path, table->names,
                                         static_cast<std::size_t>(table->count) * sizeof(InstrumentRecord));
  }
  SendMessageA(zuvo::net::MainWindow(), MsgServerData, static_cast<WPARAM>(6) << 16, static_cast<LPARAM>(market));
}

void ListQuotes(const Frame& f) {
  constexpr int kEntryBytes = 28;
  for (int e = 0; e < f.length / kEntryBytes; ++e) {
    const std::uint8_t* entry = f.body + e * kEntryBytes;
    const int market = entry[0];
    const int index = Get16(entry + 1);
    TMarketData* table = GetMarketTable(market);
    if (table == nullptr || table->extras == nullptr || index >= table->count) continue;
    QuoteExtraRecord& extra = table->extras[index];
    float refVolume = 0;
    std::memcpy(&refVolume, entry + 24, sizeof refVolume);
    if (extra.filled != 0 && extra.refVolume == refVolume) continue;
    extra.filled = 1;
    extra.side = entry[3];
    std::memcpy(reinterpret_cast<std::uint8_t*>(&extra) + 2, entry + 4, 24);
    ReloadInstrumentAgents(STKPTR(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(index)));
  }
  if (f.last) PostServerData(9, 0, 0);
}

// Types 10, 11 and 20 bring today's trades up to the quote: the day's volume only from the
// cumulative minutes, the last price from either.
void RaiseQuote(QuoteRecord* quote, float volume, std::uint32_t price, bool setVolume) {
  if (quote == nullptr || !(quote->volume < volume)) return;
  if (setVolume) quote->volume = volume;
  quote->last = price;
}

void TradeDetails(const Frame& f) {
  constexpr int kHead = 14;
  constexpr int kRecord = sizeof(TodayMinuteRecord);
  constexpr int kFileHead = sizeof(TradeDetailsHeader);
  Instrument instrument;
  if (!FindInstrument(f, 1, 2, 12, &instrument)) return;
  const std::uint8_t* data = f.Data(kHead);
  const int dataBytes = f.DataLength(kHead);
  const int lead = f.first ? kFileHead : 0;
  const int records = dataBytes >= lead ? (dataBytes - lead) / kRecord : 0;
  std::string folder, path;
  if (!CacheFolderPath(CacheFile::TradeDetails, instrument.table, folder) ||
      !CacheFilePath(CacheFile::TradeDetails, instrument.table, instrument.code.c_str(), path)) {
    return;
  }
  if (records > 0 && cw::MakeFolder(folder)) {
    ReplyFile file(path, cw::Open::kKeep);
    const auto bytes = static_cast<std::uint32_t>(records * kRecord);
    if (f.first) {
      // The server answers from the last minute held (it may have changed): it is rewritten.
      const std::uint32_t size = file.Size();
      const std::uint32_t held = size >= kFileHead ? (size - kFileHead) / kRecord : 0;
      const std::uint32_t at = kFileHead + (held > 0 ? held - 1 : 0) * kRecord;
      file.Write(0, data, kFileHead) && file.Write(at, data + kFileHead, bytes) && file.EndAt(at + bytes);
    } else {
      file.Append(data, bytes);
    }
  }
  if (f.last && reply.wrote && !reply.failed) cw::StampPath(path);
  if (f.last && records > 0) {
    TodayMinuteRecord minute{};
    std::memcpy(&minute, data + lead + (records - 1) * kRecord, sizeof minute);
    RaiseQuote(QuoteOf(instrument), minute.cumVolume, minute.price, true);
  }
  if (records > 0 || f.last) PostServerData(10, static_cast<unsigned>(f.percent), instrument.Packed());
}

// Types 11 (newest trades, .nnt, emptied by frame 0, not stamped) and 20 (ticks, .tik,
// appended, stamped by every write).
void Trades(const Frame& f, bool ticks) {
  const int head = ticks ? 14 : 13;
  constexpr int kRecord = sizeof(TradeRecord);
  Instrument instrument;
  if (!(ticks ? FindInstrument(f, 1, 2, 12, &instrument) : FindInstrument(f, 0, 1, 12, &instrument))) return;
  const CacheFile kind = ticks ? CacheFile::Ticks : CacheFile::RecentTrades;
  std::string folder, path;
  if (!CacheFolderPath(kind, instrument.table, folder) || !CacheFilePath(kind, instrument.table, instrument.code.c_str(), path)) {
    return;
  }
  if (!ticks && f.first) DeleteFileA(path.c_str());
  const int records = f.DataLength(head) / kRecord;
  if (records > 0 && cw::MakeFolder(folder)) {
    ReplyFile file(path, cw::Open::kKeep);
    const std::uint32_t size = file.Size();
    const std::uint32_t at = size - size % kRecord;
    if (file.Write(at, f.Data(head), static_cast<std::uint32_t>(records * kRecord)) &&
        file.EndAt(at + static_cast<std::uint32_t>(records * kRecord)) && ticks) {
      file.Stamp();
    }
  }
  if (f.last && records > 0) {
    TradeRecord trade{};
    std::memcpy(&trade, f.Data(head) + (records - 1) * kRecord, sizeof trade);
    // One trade's volume is no day volume: only the price is taken.
    RaiseQuote(QuoteOf(instrument), trade.volume, trade.price, false);
  }
  if (records > 0 || f.last) PostServerData(ticks ? 20 : 11, static_cast<unsigned>(f.percent), instrument.Packed());
}

void Bars(const Frame& f) {
  constexpr int kHead = 14;
  Instrument instrument;
  if (!FindInstrument(f, 1, 2, 12, &instrument)) return;
  const int cycle = f.body[0];
  const CacheFile kind = cycle == kCycleDay   ? CacheFile::DayBars
                         : cycle == kCycle60Min ? CacheFile::Bars60Min
                         : cycle >= kCycle5Min  ? CacheFile::Bars5Min
                                                : CacheFile::Bars1Min;
  std::string folder, path;
  if (CacheFolderPath(kind, instrument.table, folder) && CacheFilePath(kind, instrument.table, instrument.code.c_str(), path)) {
    const int bars = f.DataLength(kHead) / static_cast<int>(sizeof(ChartBar));
    if (bars > 0) {
      if (cw::MakeFolder(folder)) {
        std::vector<ChartBar> copy(static_cast<std::size_t>(bars));
        std::memcpy(copy.data(), f.Data(kHead), copy.size() * sizeof(ChartBar));
        MergeBars(path.c_str(), copy.data(), cycle, bars);
      }
    } else {
      // Nothing newer: the file counts as asked for now.
      cw::StampPath(path);
    }
  }
  PostServerData(12, static_cast<unsigned>(f.percent * 256 + cycle), instrument.Packed());
}

void NewsList(const Frame& f) {
  constexpr int kEntry = 90;
  const int entries = f.DataLength(2) / kEntry;
  if (entries > 0 && NewsIndex.Grow(static_cast<std::uint32_t>(entries))) {
    for (int e = 0; e < entries; ++e) {
      const std::uint8_t* entry = f.Data(2) + e * kEntry;
      NewsRecord record{};
      record.categoryAndRead = static_cast<std::uint32_t>(entry[1]) << 1;
      record.id = Get32(entry + 2);
      record.stamp = Get32(entry + 6);
      std::memcpy(record.title, entry + 10, sizeof record.title - 1);
      NewsIndex.Insert(record, true);
    }
  }
  // During the catch-up the queue tells the main window once the catch-up ends.
  if (f.last && NewsIndex.NewsCatchUpFlag == 0) PostServerData(15, 0, 0);
}

std::string NewsTextPath(std::int64_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "%08u.txt", static_cast<unsigned>(id));
  return std::string(kInfoFolder) + "\\" + name;
}

void NewsText(const Frame& f) {
  if (f.first) currentNewsId = PendingNewsTextId();
  if (currentNewsId < 0) return;
  const std::string path = NewsTextPath(currentNewsId);
  if (f.first) {
    // Frame 0 carries the head only: the file starts empty.
    if (cw::MakeFolder(kInfoFolder)) ReplyFile created(path, cw::Open::kEmpty);
  } else {
    ReplyFile(path, cw::Open::kKeep).Append(f.Data(2), static_cast<std::uint32_t>(f.DataLength(2)));
  }
  TrackUnfinished(f, path);
  if (f.last) {
    PostServerData(15, 2, static_cast<LPARAM>(currentNewsId));
    currentNewsId = -1;
  }
}

// A note file name from the server: at most 15 bytes, terminated within its 16, and a plain
// name (no folder, no "..").
bool SafeNoteName(const std::uint8_t* field, char name[kNoteNameBytes]) {
  const auto* text = reinterpret_cast<const char*>(field);
  const std::size_t length = strnlen(text, kNoteNameBytes);
  if (length == 0 || length >= kNoteNameBytes || !IsSafeComponent(std::string_view(text, length))) return false;
  std::memset(name, 0, kNoteNameBytes);
  std::memcpy(name, text, length);
  return true;
}

void NotesList(const Frame& f) {
  constexpr int kEntry = 108;
  const int list = f.body[1];
  char name[32];
  std::snprintf(name, sizeof name, "notes%d.ls2", list);
  const std::string path = std::string(kNotesFolder) + "\\" + name;
  if (!cw::MakeFolder(kNotesFolder)) return;
  std::vector<NoteRecord> records;
  for (int e = 0; e < f.DataLength(2) / kEntry; ++e) {
    const std::uint8_t* entry = f.Data(2) + e * kEntry;
    NoteRecord record{};
    if (!SafeNoteName(entry + 90, record.fileName)) continue;
    record.header = entry[0];
    record.flags = entry[1];
    record.field2 = Get16(entry + 2);
    record.field4 = Get16(entry + 4);
    record.one = 1;
    std::memcpy(record.title, entry + 6, sizeof record.title - 1);
    record.stamp = Get32(entry + 86);
    records.push_back(record);
  }
  {
    ReplyFile file(path, f.first ? cw::Open::kEmpty : cw::Open::kKeep);
    const std::uint32_t size = file.Size();
    const std::uint32_t at = size - size % sizeof(NoteRecord);
    const auto bytes = static_cast<std::uint32_t>(records.size() * sizeof(NoteRecord));
    if (file.Write(at, records.data(), bytes) && file.EndAt(at + bytes) && f.last) file.Stamp();
  }
  TrackUnfinished(f, path);
  if (f.last) PostServerData(16, 0, static_cast<LPARAM>(list));
}

void OneNote(const Frame& f) {
  if (f.first) {
    char asked[kNoteNameBytes] = {};
    reply.noteNamed = PendingNoteName(asked) && SafeNoteName(reinterpret_cast<const std::uint8_t*>(asked), reply.noteName);
  }
  if (!reply.noteNamed) return;
  std::string path;
  if (!CheckedJoin(kNotesFolder, reply.noteName, path) || !cw::MakeFolder(kNotesFolder)) return;
  ReplyFile(path, f.first ? cw::Open::kEmpty : cw::Open::kKeep).Append(f.Data(2), static_cast<std::uint32_t>(f.DataLength(2)));
  TrackUnfinished(f, path);
  if (!f.last) return;
  VisitCellsLastToFirst([](IPageCells& cells, int cell) {
    if (cells.CellViewKind(cell) == kViewKindNotes) cells.OpenNoteIfRemembered(cell, reply.noteName);
    return false;
  });
}

// Types 18 (weights, appended) and 21 (company text, replaced by frame 0): stamped on the last
// frame, deleted when the reply does not finish.
void InstrumentText(const Frame& f, bool weights) {
  constexpr int kHead = 13;
  Instrument instrument;
  if (!FindInstrument(f, 0, 5, 8, &instrument)) return;
  std::string folder, path;
  if (weights) {
    if (!CacheFolderPath(CacheFile::Weights, instrument.table, folder) ||
        !CacheFilePath(CacheFile::Weights, instrument.table, instrument.code.c_str(), path)) {
      return;
    }
  } else {
    path = BaseFilePath(instrument, instrument.code + ".Txt", &folder);
    if (path.empty()) return;
  }
  if (cw::MakeFolder(folder)) {
    ReplyFile file(path, !weights && f.first ? cw::Open::kEmpty : cw::Open::kKeep);
    file.Append(f.Data(kHead), static_cast<std::uint32_t>(f.DataLength(kHead)));
    if (f.last && reply.wrote) file.Stamp();
  }
  TrackUnfinished(f, path);
  if (f.last) PostServerData(weights ? 18 : 21, 0, instrument.Packed());
}

void TrendDay(const Frame& f) {
  constexpr int kHead = 14;
  constexpr int kMinute = sizeof(TrendDayMinute);
  Instrument instrument;
  if (!FindInstrument(f, 1, 2, 8, &instrument) || f.length < kHead) return;
  const std::uint32_t day = PackedDate(Get32(f.body + 10));
  std::string folder, path;
  if (!CacheFolderPath(CacheFile::TrendHistory, instrument.table, folder) ||
      !TrendDayFilePath(instrument.table, instrument.code.c_str(), day, path)) {
    return;
  }
  if (f.DataLength(kHead) >= kMinute && cw::MakeFolder(folder)) {
    // The first frame with data starts the day file afresh.
    ReplyFile(path, reply.wrote ? cw::Open::kKeep : cw::Open::kEmpty)
        .Append(f.Data(kHead), static_cast<std::uint32_t>(f.DataLength(kHead)));
  }
  if (!f.last) return;
  if (reply.wrote && !reply.failed) {
    ImportTrendDay(instrument.stk, day);
    DeleteFileA(path.c_str());
  }
#pragma pack(push, 1)
  struct {
    STKPTR stk;
    std::uint32_t day;
  } block{instrument.stk, day};
#pragma pack(pop)
  static_assert(sizeof block == 8);
  SendMessageA(zuvo::net::MainWindow(), MsgServerData, static_cast<WPARAM>(31) << 16, reinterpret_cast<LPARAM>(&block));
}

void Advice(const Frame& f) {
  constexpr int kHead = 9;
  Instrument instrument;
  if (!FindInstrument(f, 0, 1, 8, &instrument)) return;
  const int records = f.DataLength(kHead) / kAdviceRecordBytes;
  std::string folder, path;
  if (records > 0 && CacheFolderPath(CacheFile::Advice, instrument.table, folder) &&
      CacheFilePath(CacheFile::Advice, instrument.table, instrument.code.c_str(), path) && cw::MakeFolder(folder)) {
    MergeAdvice(path.c_str(), f.Data(kHead), records);
  }
  if (f.last) PostServerData(33, 0, instrument.Packed());
}

// "<code><kind>.idx" / ".txt": the kind byte is signed and named as an unsigned number.
std::string InfoFileName(const Instrument& instrument, std::uint8_t kind, const char* extension) {
  char number[16];
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(static_cast<int>(static_cast<std::int8_t>(kind))));
  return instrument.code + number + extension;
}

// The signed information kind in the low half of the message parameter.
unsigned InfoKindParameter(std::uint8_t kind) {
  return static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<std::int8_t>(kind)));
}

void InfoIndex(const Frame& f) {
  constexpr int kHead = 14;
  constexpr int kRecord = 256;
  Instrument instrument;
  if (!FindInstrument(f, 0, 1, 8, &instrument) || f.length < kHead) return;
  bool fromStart = false;
  if (f.first) {
    // Only a reply someone asked for is written; asked from the first record, it replaces the file.
    const std::int64_t held = PendingInfoIndexHeld();
    if (held < 0) {
      reply.dropped = true;
      return;
    }
    fromStart = held == 0;
  }
  std::string folder;
  const std::string path = BaseFilePath(instrument, InfoFileName(instrument, f.body[9], ".idx"), &folder);
  if (path.empty()) return;
  if (cw::MakeFolder(folder)) {
    ReplyFile file(path, fromStart ? cw::Open::kEmpty : cw::Open::kKeep);
    const std::uint32_t size = file.Size();
    const std::uint32_t at = size - size % kRecord;
    const auto bytes = static_cast<std::uint32_t>(f.DataLength(kHead) / kRecord * kRecord);
    if (file.Write(at, f.Data(kHead), bytes) && file.EndAt(at + bytes) && f.last && !reply.failed) file.Stamp();
  }
  TrackUnfinished(f, path);
  if (f.last) PostServerData(40, InfoKindParameter(f.body[9]), instrument.Packed());
}

void InfoText(const Frame& f) {
  constexpr int kHead = 98;
  Instrument instrument;
  if (!FindInstrument(f, 0, 1, 8, &instrument) || f.length < kHead) return;
  std::string folder;
  const std::string path = BaseFilePath(instrument, InfoFileName(instrument, f.body[9], ".txt"), &folder);
  if (path.empty()) return;
  if (f.first) {
    // The text goes where the request in flight asked for it, nowhere else.
    infoWritePosition = 0;
    std::uint32_t asked = 0;
    const auto headOffset = static_cast<std::int32_t>(Get32(f.body + 90));
    const std::uint32_t offset = headOffset < 0 ? 0 : static_cast<std::uint32_t>(headOffset);
    if (!PendingInfoTextOffset(&asked)) {
      reply.dropped = true;
      return;
    }
    const std::uint32_t expected = static_cast<std::int32_t>(asked) < 0 ? 0 : asked;
    if (offset != expected || offset > zuvo::net::kMaxInfoTextOffset) {
      reply.dropped = true;
      return;
    }
    reply.infoOffset = offset;
    if (!cw::MakeFolder(folder)) return;
    ReplyFile file(path, cw::Open::kKeep);
    if (file.ok() && file.Size() < offset) file.EndAt(offset);
  }
  {
    ReplyFile file(path, cw::Open::kKeep);
    const auto bytes = static_cast<std::uint32_t>(f.DataLength(kHead));
    if (file.Write(reply.infoOffset + infoWritePosition, f.Data(kHead), bytes)) infoWritePosition += bytes;
  }
  if (f.last) PostServerData(41, InfoKindParameter(f.body[9]), instrument.Packed());
}

// ---- Server sorts ------------------------------------------------------------------------------------

int DrawSortFileNumber() {
  if (sortNumberSource) return sortNumberSource();
  static std::minstd_rand generator;
  static bool seeded = false;
  if (!seeded) {
    generator.seed(GetTickCount());
    seeded = true;
  }
  return static_cast<int>(generator() % 32768);
}

void RankingReady(const std::string& sortData, std::uint32_t requester, std::uint32_t serial) {
  int number = -1;
  std::string numbered;
  for (int attempt = 0; attempt < zuvo::net::kSortFileNumberTries && number < 0; ++attempt) {
    const int k = DrawSortFileNumber() & 0x7FFF;
    numbered = tempFolder + std::to_string(k) + ".tmp";
    if (GetFileAttributesA(numbered.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (CopyFileA(sortData.c_str(), numbered.c_str(), TRUE)) number = k;
  }
  DeleteFileA(sortData.c_str());
  if (number < 0) return;
  bool taken = false;
  VisitCellsLastToFirst([&](IPageCells& cells, int cell) {
    if (cells.CellRequesterId(cell) != requester) return false;
    cells.PostSortReady(cell, number, serial);
    taken = true;
    return true;
  });
  // A result no view takes would stay in the temporary folder for ever.
  if (!taken) DeleteFileA(numbered.c_str());
}

void FastChangeReady(const std::string& sortData, std::uint32_t requester) {
  constexpr int kRecord = 11;
  {
    zuvo::platform::files::ScopedHandle file(CreateFileA(sortData.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::uint8_t chunk[kRecord * 512];
    std::uint32_t offset = 0;
    while (file.ok()) {
      DWORD read = 0;
      if (!ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) || read < kRecord) break;
      const std::uint32_t whole = read / kRecord;
      for (std::uint32_t r = 0; r < whole; ++r) {
        const std::uint8_t* record = chunk + r * kRecord;
        TMarketData* table = GetMarketTable(record[0]);
        const int index = Get16(record + 1);
        if (table == nullptr || table->quotes == nullptr || index >= table->count) continue;
        float now = 0, before = 0;
        std::memcpy(&now, record + 3, sizeof now);
        std::memcpy(&before, record + 7, sizeof before);
        // The change since the earlier price, in percent; nothing to compare with a zero price.
        // (a NaN base counts as none).
        const bool noBase = !(before <= -1.0f || before >= 1.0f);
        table->quotes[index].fastChange = noBase ? 0.0f : (now - before) * 100.0f / before;
      }
      offset += whole * kRecord;
      if (SetFilePointer(file.get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) break;
    }
  }
  DeleteFileA(sortData.c_str());
  VisitCellsLastToFirst([&](IPageCells& cells, int cell) {
    if (cells.CellViewKind(cell) != kViewKindQuoteList || cells.CellRequesterId(cell) != requester) return false;
    cells.RedrawFastChangeColumn(cell);
    return true;
  });
}

void ServerSort(const Frame& f) {
  const std::string sortData = tempFolder + kSortDataName;
  {
    ReplyFile file(sortData, f.first ? cw::Open::kEmpty : cw::Open::kKeep);
    const auto bytes = static_cast<std::uint32_t>(f.DataLength(1));
    file.Append(f.Data(1), bytes);
  }
  if (!f.last) return;
  std::uint32_t requester = 0, serial = 0;
  const int purpose = reply.failed ? -1 : PendingSortRequest(&requester, &serial);
  if (purpose == 0) {
    RankingReady(sortData, requester, serial);
  } else if (purpose == 1) {
    FastChangeReady(sortData, requester);
  } else {
    DeleteFileA(sortData.c_str());
  }
}

void BrokerQueue(const Frame& f) {
  constexpr int kHead = 9;
  Instrument instrument;
  if (!FindInstrument(f, 0, 1, 8, &instrument)) return;
  if (f.DataLength(kHead) < static_cast<int>(sizeof(BrokerQueueRecord)) || instrument.table->brokerQueues == nullptr) return;
  BrokerQueueRecord& queue = instrument.table->brokerQueues[instrument.position];
  std::memcpy(&queue, f.Data(kHead), sizeof queue);
  queue.buyCount = std::min<std::uint16_t>(queue.buyCount, 40);
  queue.sellCount = std::min<std::uint16_t>(queue.sellCount, 40);
  if (f.last) PostServerData(102, 0, instrument.Packed());
}

void MessageText(const Frame& f) {
  constexpr int kHead = 4;
  if (f.length < kHead) return;
  const std::string path = f.type == 203 ? ".\\SYSMSG.TXT" : ".\\RTMSG.TXT";
  ReplyFile(path, f.first ? cw::Open::kEmpty : cw::Open::kKeep).Append(f.Data(kHead), static_cast<std::uint32_t>(f.DataLength(kHead)));
  if (!f.last) return;
  PostServerData(f.type, 0, 0);
  if (f.type == 204) zuvo::net::Trace("即时消息接收完毕 (DispatchInfo)");
}

bool IsReplyType(std::uint8_t type) {
  switch (type) {
    case 2: case 6: case 9: case 10: case 11: case 12: case 15: case 16: case 18: case 20: case 21: case 30:
    case 31: case 33: case 40: case 41: case 101: case 102: case 203: case 204: return true;
    default: return false;
  }
}

void Handle(TNormalClnt* client, const Frame& f, int subKind) {
  switch (f.type) {
    case 2: ServerError(client, f); break;
    case 6: NameTable(f); break;
    case 9: ListQuotes(f); break;
    case 10: TradeDetails(f); break;
    case 11: Trades(f, false); break;
    case 12: Bars(f); break;
    case 15:
      if (f.length < 2) break;
      if (subKind == kNewsList) NewsList(f);
      if (subKind == kNewsText) NewsText(f);
      break;
    case 16:
      if (f.length < 2) break;
      if (subKind == kNotesListReply) NotesList(f);
      if (subKind == kNoteReply) OneNote(f);
      break;
    case 18: InstrumentText(f, true); break;
    case 20: Trades(f, true); break;
    case 21: InstrumentText(f, false); break;
    case 30:
      client->SetErrorText(kPasswordChangedText);
      PostMessageA(zuvo::net::MainWindow(), MsgServerText, 0, 0);
      break;
    case 31: TrendDay(f); break;
    case 33: Advice(f); break;
    case 40: InfoIndex(f); break;
    case 41: InfoText(f); break;
    case 101: ServerSort(f); break;
    case 102: BrokerQueue(f); break;
    case 203: case 204: MessageText(f); break;
    default: break;
  }
}

// A new reply begins: a reply left unfinished before it is given up.
void StartReply(std::uint8_t type, int subKind) {
  if (reply.open) zuvo::net::DiscardUnfinishedReply();
  reply = Reply{};
  reply.open = true;
  reply.type = type;
  reply.subKind = subKind;
  // A reply owed to an expired request overwrites nothing the newer requests fetched.
  reply.dropped = IsLateReply(type, subKind);
}

}  // namespace

int DispatchInfo(TNormalClnt* client, const std::uint8_t* body, int length) {
  if (client == nullptr || body == nullptr || length <= 0) return 0;
  const FrameHeader header = client->header;
  if (!IsReplyType(header.type)) return -1;
  const int count = std::max<int>(header.count, 1);
  Frame f{};
  f.type = header.type;
  f.index = header.index;
  f.count = count;
  f.first = header.index == 0;
  f.last = header.index + 1 >= count;
  f.percent = f.last ? 100 : (f.index * 100 + 100) / count;
  f.body = body;
  f.length = length;
  const int subKind = header.type == 15 || header.type == 16 ? body[0] : kNoSubKind;

  if (f.first) StartReply(header.type, subKind);
  // A frame whose reply's first frame was never seen has no file to continue.
  const bool orphan = !f.first && (!reply.open || reply.type != header.type || reply.subKind != subKind);
  if (!orphan && !reply.dropped) Handle(client, f, subKind);

  if (f.last) {
    if (!orphan) {
      reply.open = false;
      reply.unfinished.clear();
    }
    if (CompleteRequest(header, subKind) == 1 && NormalClnt != nullptr) NormalClnt->RequestNews(false, 0);
  }
  return 0;
}

namespace zuvo::net {

void InitDispatchTempFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  tempFolder = length > 0 && length <= 240 ? std::string(buffer, length) : std::string();
}

void SetDispatchTempFolder(const std::string& folder) { tempFolder = folder; }
const std::string& DispatchTempFolder() { return tempFolder; }

std::int64_t CurrentNewsTextId() { return currentNewsId; }

void DiscardUnfinishedReply() {
  if (!reply.open) return;
  if (!reply.unfinished.empty()) DeleteFileA(reply.unfinished.c_str());
  reply.unfinished.clear();
  reply.dropped = true;
}

void ResetDispatchState() {
  reply = Reply{};
  currentNewsId = -1;
  infoWritePosition = 0;
}

SortFileNumberSource SetSortFileNumberSource(SortFileNumberSource source) {
  SortFileNumberSource previous = std::move(sortNumberSource);
  sortNumberSource = std::move(source);
  return previous;
}

}  // namespace zuvo::net
