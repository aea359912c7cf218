// The news index: the headlines the server has sent, one 92-byte record per item, kept in memory
// sorted by id and persisted to "..\data\info\news.ntl" (magic "zvni01", then the newest 5000
// records in id order). The request client asks for news beyond its edges, the response
// dispatcher and the push client insert headlines, the news view lists and marks them read.
// Used on the user-interface thread only.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct NewsRecord {
  std::uint32_t categoryAndRead;   // category << 1 | read flag (bit 0)
  std::uint32_t stamp;             // low 20 bits YYMMDD as a decimal number, high 12 bits HHMM
  std::uint32_t id;                // unique per item; the index is sorted ascending by it
  char title[80];                  // GBK, zero-terminated
};
#pragma pack(pop)
static_assert(sizeof(NewsRecord) == 92);

constexpr char kNewsFileMagic[6] = {'z', 'v', 'n', 'i', '0', '1'};
constexpr std::uint32_t kMaxStoredNews = 5000;   // loaded and saved; memory may hold more
constexpr std::uint32_t kNewsGrowSlack = 1000;   // spare records added on every allocation

class TNewsIndex {
 public:
  TNewsIndex() = default;
  // Saves when dirty, then frees the array.
  ~TNewsIndex();
  TNewsIndex(const TNewsIndex&) = delete;
  TNewsIndex& operator=(const TNewsIndex&) = delete;

  // Creates "..\data\info" and reads the last 5000 records of news.ntl. A missing file, a wrong
  // magic or a short file gives an empty index; the array always exists afterwards unless
  // memory is short. Records are re-sorted by id when the file holds them out of order.
  void Load();
  // Forgets every record without saving, frees the array and clears both flags (a new session
  // of the index in tests and fuzz targets).
  void Discard();
  // When dirty: replaces news.ntl with the magic and the newest min(count, 5000) records
  // (written whole to a temporary file, then renamed). True when written or nothing to do;
  // false, with the index still dirty, when the file could not be written.
  bool Save();
  // Makes room for n more records. True when room exists afterwards (already or after
  // growing). When memory is short it drops just enough of the oldest records to make room,
  // but only when that can make room; otherwise nothing is dropped and the result is false.
  // A batch insert must insert no more records than this reported room for.
  bool Grow(std::uint32_t n);
  // Inserts the record at its id's place, or overwrites the record with the same id, and
  // deletes the cached text "..\data\info\%08u.txt" of the id either way. False (nothing
  // stored) when there is no array or no room can be had. markDirty marks the index for saving.
  bool Insert(const NewsRecord& record, bool markDirty);
  // The id of the oldest (fromOldest) or newest record of the category (0 = any); -1 when
  // there is none or no array.
  std::int64_t FindEdgeId(bool fromOldest, std::uint32_t category) const;
  // The newest record of the category (0 = any) whose title equals the text ignoring ASCII
  // case; false when none. out may be null.
  bool FindByTitle(std::uint32_t category, const char* title, NewsRecord* out) const;
  // The newest n records of the category (0 = any), copied oldest first into buffer; returns
  // the count copied (0 for n <= 0, a null buffer or no array).
  int GetLatest(std::uint32_t category, NewsRecord* buffer, int n) const;
  // Sets the read flag of the record with this id (searching from the newest), marks the index
  // dirty and copies the record to out (may be null); false when the id is absent.
  bool MarkRead(std::uint32_t id, NewsRecord* out);

  std::uint8_t dirty = 0;
  // Set by the shell while it catches up on missed news; cleared by the request queue. The
  // index itself never reads or writes it.
  std::uint8_t NewsCatchUpFlag = 0;
  NewsRecord* records = nullptr;   // guarded block, capacity records
  std::uint32_t capacity = 0;
  std::uint32_t count = 0;
};

// Position of the record with the same id, or of the first record with a greater id: 0 for an
// empty array or when the first id is not below it, count when the last id is below it.
// Binary search with unsigned comparison; records must be sorted by id.
std::uint32_t LowerBoundById(const NewsRecord* records, std::uint32_t count, const NewsRecord& record);

// The process-wide index: built during static start-up, saved by its destructor at exit when
// still dirty. The main window loads it when it is created.
extern TNewsIndex NewsIndex;
