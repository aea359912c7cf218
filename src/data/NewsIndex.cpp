#include "data/NewsIndex.h"

#include "core/CoreUtil.h"
#include "core/DataFile.h"
#include "core/GuardedAlloc.h"
#include "core/Search.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

using namespace zuvo::platform;

TNewsIndex NewsIndex;

namespace {

constexpr const char* kDataRoot = "..\\";
constexpr std::uint32_t kRecordBytes = sizeof(NewsRecord);

std::string InfoFolder() { return std::string(kDataRoot) + "data\\info\\"; }
std::string IndexPath() { return InfoFolder() + "news.ntl"; }

std::string TextPath(std::uint32_t id) {
  char name[32];
  std::snprintf(name, sizeof name, "%08u.txt", id);
  return InfoFolder() + name;
}

// Room for the given number of records, or null when memory is short or the size does not fit
// the allocator's 32-bit sizes.
NewsRecord* AllocateRecords(std::uint64_t records) {
  const std::uint64_t bytes = records * kRecordBytes;
  if (bytes == 0 || bytes > UINT32_MAX) return nullptr;
  return static_cast<NewsRecord*>(GuardedAlloc(static_cast<std::uint32_t>(bytes)));
}

bool InCategory(const NewsRecord& record, std::uint32_t category) {
  return category == 0 || (record.categoryAndRead >> 1) == category;
}

std::string_view TitleOf(const NewsRecord& record) {
  return std::string_view(record.title, strnlen(record.title, sizeof record.title));
}

}  // namespace

std::uint32_t LowerBoundById(const NewsRecord* records, std::uint32_t count, const NewsRecord& record) {
  if (!records) return 0;
  // The keyed search reads its key at the start of every stride, so it starts at the first id.
  // The count fits an int: an array of 92-byte records allocated with 32-bit sizes is shorter.
  const auto* ids = reinterpret_cast<const unsigned char*>(records) + offsetof(NewsRecord, id);
  return static_cast<std::uint32_t>(
      LowerBoundByKey(ids, static_cast<int>(count), static_cast<int>(sizeof(NewsRecord)), record.id));
}


TNewsIndex::~TNewsIndex() {
  if (dirty) Save();
  Discard();
}

void TNewsIndex::Discard() {
  GuardedFree(records);
  records = nullptr;
  capacity = 0;
  count = 0;
  dirty = 0;
  NewsCatchUpFlag = 0;
}

void TNewsIndex::Load() {
  dirty = 0;
  count = 0;
  const std::string folder = InfoFolder();
  CreateDirectoryPath(folder.c_str());

  const int file = OpenDataFile(IndexPath().c_str(), "rb");
  if (file > 0) {
    const std::uint32_t size = GetDataFileSize(file);
    char magic[sizeof kNewsFileMagic] = {};
    if (size >= sizeof magic && ReadDataFile(file, magic, 1, sizeof magic) == sizeof magic &&
        std::memcmp(magic, kNewsFileMagic, sizeof magic) == 0) {
      const std::uint32_t held = (size - sizeof magic) / kRecordBytes;
      const std::uint32_t wanted = std::min(held, kMaxStoredNews);
      if (!records || capacity < wanted) {
        NewsRecord* fresh = AllocateRecords(static_cast<std::uint64_t>(wanted) + kNewsGrowSlack);
        if (fresh) {
          GuardedFree(records);
          records = fresh;
          capacity = wanted + kNewsGrowSlack;
        }
      }
      if (records && capacity >= wanted && wanted > 0) {
        const std::uint32_t offset = sizeof magic + (held - wanted) * kRecordBytes;
        if (SeekDataFile(file, static_cast<std::int32_t>(offset), 0) == offset) {
          // A short read keeps the whole records that arrived.
          count = ReadDataFile(file, records, 1, wanted * kRecordBytes) / kRecordBytes;
        }
      }
    }
    CloseDataFile(file);
  }

  if (!records) {
    records = AllocateRecords(kNewsGrowSlack);
    capacity = records ? kNewsGrowSlack : 0;
    count = 0;
    return;
  }

  // The file is untrusted: titles get their terminator, and the order the searches rely on is
  // restored when a damaged file holds the records out of order.
  for (std::uint32_t i = 0; i < count; ++i) records[i].title[sizeof records[i].title - 1] = '\0';
  const auto byId = [](const NewsRecord& a, const NewsRecord& b) { return a.id < b.id; };
  if (!std::is_sorted(records, records + count, byId)) std::stable_sort(records, records + count, byId);
}

bool TNewsIndex::Save() {
  if (!dirty || !records) return true;
  const std::uint32_t kept = std::min(count, kMaxStoredNews);
  std::vector<char> bytes(sizeof kNewsFileMagic + static_cast<std::size_t>(kept) * kRecordBytes);
  std::memcpy(bytes.data(), kNewsFileMagic, sizeof kNewsFileMagic);
  if (kept > 0) {
    std::memcpy(bytes.data() + sizeof kNewsFileMagic, records + (count - kept),
                static_cast<std::size_t>(kept) * kRecordBytes);
  }
  if (!files::AtomicReplace(IndexPath(), bytes.data(), bytes.size())) return false;
  dirty = 0;
  return true;
}

bool TNewsIndex::Grow(std::uint32_t n) {
  if (!records) return false;
  const std::uint64_t needed = static_cast<std::uint64_t>(count) + n;
  if (needed <= capacity) return true;

  NewsRecord* fresh = AllocateRecords(needed + kNewsGrowSlack);
  if (fresh) {
    std::memcpy(fresh, records, static_cast<std::size_t>(count) * kRecordBytes);
    GuardedFree(records);
    records = fresh;
    capacity = static_cast<std::uint32_t>(needed + kNewsGrowSlack);
    return true;
  }

  // Short of memory: the oldest headlines give way to new ones, but only as many as needed,
  // and none when even an empty array could not hold n.
  if (n > capacity) return false;
  const std::uint32_t dropped = static_cast<std::uint32_t>(needed - capacity);
  std::memmove(records, records + dropped, static_cast<std::size_t>(count - dropped) * kRecordBytes);
  count -= dropped;
  return true;
}

bool TNewsIndex::Insert(const NewsRecord& record, bool markDirty) {
  if (!records) return false;
  std::uint32_t position = LowerBoundById(records, count, record);
  NewsRecord* slot = nullptr;
  if (position < count && records[position].id == record.id) {
    slot = &records[position];
  } else {
    if (!Grow(1)) return false;
    position = LowerBoundById(records, count, record);   // growing may have dropped old records
    std::memmove(records + position + 1, records + position,
                 static_cast<std::size_t>(count - position) * kRecordBytes);
    slot = &records[position];
    ++count;
  }
  *slot = record;
  slot->title[sizeof slot->title - 1] = '\0';

  // The text of a headline sent again may have changed: drop the cached copy.
  DeleteFileA(TextPath(record.id).c_str());
  if (markDirty) dirty = 1;
  return true;
}

std::int64_t TNewsIndex::FindEdgeId(bool fromOldest, std::uint32_t category) const {
  if (!records) return -1;
  if (fromOldest) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (InCategory(records[i], category)) return records[i].id;
    }
  } else {
    for (std::uint32_t i = count; i-- > 0;) {
      if (InCategory(records[i], category)) return records[i].id;
    }
  }
  return -1;
}

bool TNewsIndex::FindByTitle(std::uint32_t category, const char* title, NewsRecord* out) const {
  if (!records || !title) return false;
  const std::string_view wanted(title);
  for (std::uint32_t i = count; i-- > 0;) {
    if (InCategory(records[i], category) && gbk::EqualsNoCase(TitleOf(records[i]), wanted)) {
      if (out) *out = records[i];
      return true;
    }
  }
  return false;
}

int TNewsIndex::GetLatest(std::uint32_t category, NewsRecord* buffer, int n) const {
  if (!records || !buffer || n <= 0) return 0;
  std::uint32_t start = count;
  int found = 0;
  while (start > 0 && found < n) {
    --start;
    if (InCategory(records[start], category)) ++found;
  }
  int copied = 0;
  for (std::uint32_t i = start; i < count && copied < n; ++i) {
    if (InCategory(records[i], category)) buffer[copied++] = records[i];
  }
  return copied;
}

bool TNewsIndex::MarkRead(std::uint32_t id, NewsRecord* out) {
  if (!records) return false;
  NewsRecord key{};
  key.id = id;
  const std::uint32_t position = LowerBoundById(records, count, key);
  if (position >= count || records[position].id != id) return false;
  records[position].categoryAndRead |= 1u;
  dirty = 1;
  if (out) *out = records[position];
  return true;
}
