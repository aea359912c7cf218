// Fuzz target "news": the news index file (TNewsIndex::Load, Insert, MarkRead, Save).
// Input: news.ntl; then, after the part separator, operations of 93 bytes each: an operation
// byte (0 insert and mark for saving, 1 insert, 2 mark the record's id read) and a 92-byte
// headline record. Without operations, a few headlines are inserted and one is marked read.
// Property: the index loads exactly the newest min(records, 5000) whole records of a file with
// the right magic (titles terminated), sorted by id, and nothing from any other file; inserts
// and marks act on a sorted array as a simple model says (the record of an id is replaced,
// a new id goes in its place, the read flag set on the first of that id); the index saved
// and loaded again holds the same newest 5000 records.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/NewsIndex.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kOperationBytes = 1 + sizeof(NewsRecord);
constexpr std::size_t kMaxOperations = 256;

bool SameRecords(const TNewsIndex& index, const std::vector<NewsRecord>& expected) {
  if (index.count != expected.size()) return false;
  return expected.empty() || std::memcmp(index.records, expected.data(), expected.size() * sizeof(NewsRecord)) == 0;
}

std::vector<NewsRecord> ExpectedLoad(std::string_view file) {
  std::vector<NewsRecord> records;
  if (file.size() < sizeof kNewsFileMagic || std::memcmp(file.data(), kNewsFileMagic, sizeof kNewsFileMagic) != 0)
    return records;
  const std::size_t held = (file.size() - sizeof kNewsFileMagic) / sizeof(NewsRecord);
  const std::size_t wanted = std::min<std::size_t>(held, kMaxStoredNews);
  records.resize(wanted);
  if (wanted > 0) {
    std::memcpy(records.data(), file.data() + sizeof kNewsFileMagic + (held - wanted) * sizeof(NewsRecord),
                wanted * sizeof(NewsRecord));
  }
  for (NewsRecord& record : records) record.title[sizeof record.title - 1] = '\0';
  std::stable_sort(records.begin(), records.end(), [](const NewsRecord& a, const NewsRecord& b) { return a.id < b.id; });
  return records;
}

// A few headlines (the smallest and largest ids among them), then a read mark.
std::string DefaultOperations() {
  std::string bytes;
  for (std::uint32_t i = 0; i < 4; ++i) {
    NewsRecord record{};
    record.categoryAndRead = (i + 1) << 1;
    record.stamp = 240628u | (930u << 20);
    record.id = i == 0 ? 0u : i == 1 ? 0xFFFFFFFFu : 1000u * i;
    std::snprintf(record.title, sizeof record.title, "headline %u", i);
    bytes.push_back(static_cast<char>(i % 2));
    bytes.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  NewsRecord mark{};
  mark.id = 2000;
  bytes.push_back(2);
  bytes.append(reinterpret_cast<const char*>(&mark), sizeof mark);
  return bytes;
}

}  // namespace

int FuzzNewsIndex(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::Sandbox::Write("data/info/news.ntl", parts[0]);

  TNewsIndex index;
  index.Load();
  std::vector<NewsRecord> model = ExpectedLoad(parts[0]);
  FUZZ_CHECK(index.records != nullptr && index.capacity >= index.count, "a loaded index has its array");
  FUZZ_CHECK(SameRecords(index, model), "the index loads the newest whole records of its file, sorted by id");
  FUZZ_CHECK(!index.dirty, "a loaded index is not marked for saving");

  const std::string defaults = parts.size() == 1 ? DefaultOperations() : std::string();
  std::string_view operations = parts.size() > 1 ? parts[1] : std::string_view(defaults);
  bool dirty = false;
  for (std::size_t n = 0; n < kMaxOperations && operations.size() >= kOperationBytes; ++n) {
    const int kind = static_cast<unsigned char>(operations[0]) % 3;
    NewsRecord record;
    std::memcpy(&record, operations.data() + 1, sizeof record);
    operations.remove_prefix(kOperationBytes);
    const auto first = std::lower_bound(model.begin(), model.end(), record.id,
                                        [](const NewsRecord& held, std::uint32_t id) { return held.id < id; });
    const bool held = first != model.end() && first->id == record.id;
    if (kind == 2) {
      NewsRecord out{};
      FUZZ_CHECK(index.MarkRead(record.id, &out) == held, "MarkRead finds exactly the ids held");
      if (held) {
        first->categoryAndRead |= 1u;
        FUZZ_CHECK(std::memcmp(&out, &*first, sizeof out) == 0, "MarkRead hands out the record it marked");
        dirty = true;
      }
      continue;
    }
    FUZZ_CHECK(index.Insert(record, kind == 0), "a headline is inserted while memory lasts");
    record.title[sizeof record.title - 1] = '\0';
    if (held) *first = record;
    else model.insert(first, record);
    dirty = dirty || kind == 0;
    FUZZ_CHECK((index.dirty != 0) == dirty, "only a marking insert or a read mark asks for saving");
  }
  FUZZ_CHECK(SameRecords(index, model), "inserts and marks keep the array sorted by id as the model does");

  // Edges and the newest records of a category, by a plain scan of the model.
  for (std::uint32_t category : {0u, 1u, 2u}) {
    auto inCategory = [category](const NewsRecord& r) { return category == 0 || (r.categoryAndRead >> 1) == category; };
    const auto oldest = std::find_if(model.begin(), model.end(), inCategory);
    const auto newest = std::find_if(model.rbegin(), model.rend(), inCategory);
    FUZZ_CHECK(index.FindEdgeId(true, category) == (oldest == model.end() ? -1 : static_cast<std::int64_t>(oldest->id)) &&
                   index.FindEdgeId(false, category) == (newest == model.rend() ? -1 : static_cast<std::int64_t>(newest->id)),
               "the edge ids are the oldest and newest of the category");
    NewsRecord latest[8];
    const int got = index.GetLatest(category, latest, 8);
    std::vector<NewsRecord> wanted;
    for (auto it = model.rbegin(); it != model.rend() && wanted.size() < 8; ++it)
      if (inCategory(*it)) wanted.insert(wanted.begin(), *it);
    FUZZ_CHECK(got == static_cast<int>(wanted.size()) &&
                   (got == 0 || std::memcmp(latest, wanted.data(), wanted.size() * sizeof(NewsRecord)) == 0),
               "GetLatest copies the newest records of the category, oldest first");
  }

  index.dirty = 1;
  FUZZ_CHECK(index.Save() && !index.dirty, "the index is saved");
  TNewsIndex again;
  again.Load();
  const std::vector<NewsRecord> kept(model.end() - static_cast<std::ptrdiff_t>(std::min<std::size_t>(model.size(), kMaxStoredNews)),
                                     model.end());
  FUZZ_CHECK(SameRecords(again, kept), "a saved index loads back its newest 5000 records");
  return 0;
}
