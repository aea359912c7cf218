// Fuzz target "dispatch": reply frames of any type, header and body through the reply dispatch
// on a tree with two small markets (market 0 "SH", stock-like, two instruments; market 1 "HK",
// broker queues, one instrument), a page of three cells and one request put in flight first.
// Input: a control part (the kind of the request in flight, its value1, value2, market and a
// 16-byte text); then, after a part separator, frames: type, frame index, frame count (one byte
// each), body length (16 bits), and the body (cut to what the input holds). A single part is
// frames alone with no request in flight.
// Property: the dispatch answers -1 exactly for the types it does not know; every file the
// replies leave lies in the data folder, the temporary folder or is one of the two message
// files; the tables keep their counts within capacity and every broker queue at most 40
// entries a side; no fast-change value is produced from an index beyond the table.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/MarketData.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/DispatchInfo.h"
#include "net/NormalClnt.h"
#include "net/PageCells.h"
#include "net/RequestQueue.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

class Cells : public IPageCells {
 public:
  int CellCount() const override { return 3; }
  std::uint32_t CellRequesterId(int cell) const override { return static_cast<std::uint32_t>(cell + 1); }
  int CellViewKind(int cell) const override { return cell == 1 ? kViewKindNotes : kViewKindQuoteList; }
  void PostSortReady(int, int, std::uint32_t) override {}
  void RedrawFastChangeColumn(int) override {}
  void OpenNoteIfRemembered(int, const char* fileName) override {
    FUZZ_CHECK(strnlen(fileName, 16) < 16, "a note name reaches the view terminated");
  }
};

void InstallMarket(int number, const char* code, int kind, int capacity, std::initializer_list<const char*> names) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::memcpy(record.code, code, std::strlen(code));
  std::memcpy(record.fileExt, code, std::strlen(code));
  record.hourOffset = 8;
  record.capacity = static_cast<std::uint16_t>(capacity);
  record.categoryCount = 1;
  record.categories[0].sessionCount = 1;
  record.categories[0].openMinute[0] = 570;
  record.categories[0].closeMinute[0] = 900;
  auto* table = new TMarketData(number, record);
  FUZZ_CHECK(table->names != nullptr, "a small market gets its arrays");
  int n = 0;
  for (const char* name : names) std::memcpy(table->names[n++].code, name, std::strlen(name));
  table->count = n;
  table->FinishNameTable();
  MarketTables[number] = table;
  MarketCount = std::max(MarketCount, number + 1);
}

bool IsKnownType(int type) {
  switch (type) {
    case 2: case 6: case 9: case 10: case 11: case 12: case 15: case 16: case 18: case 20: case 21: case 30:
    case 31: case 33: case 40: case 41: case 101: case 102: case 203: case 204: return true;
    default: return false;
  }
}

constexpr std::uint8_t kRequestKinds[] = {kRequestNews, kRequestNote, kRequestServerSort, kRequestInfoIndex,
                                          kRequestInfoText, kRequestIntradayBars, kRequestTradeDetails,
                                          kRequestNotesList, kRequestCompanyText, kRequestDayTrend};

void CheckTables() {
  for (int m = 0; m < MarketCount; ++m) {
    const TMarketData* table = MarketTables[m];
    FUZZ_CHECK(table->count >= 0 && table->count <= table->capacity, "the name count stays within capacity");
    if (table->brokerQueues == nullptr) continue;
    for (int i = 0; i < table->capacity; ++i) {
      FUZZ_CHECK(table->brokerQueues[i].buyCount <= 40 && table->brokerQueues[i].sellCount <= 40,
                 "a broker queue holds at most 40 entries a side");
    }
  }
}

void CheckFiles() {
  const fs::path root = fuzz::Sandbox::Root();
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    if (!it->is_regular_file(ignored)) continue;
    const fs::path relative = fs::relative(it->path(), root, ignored);
    const std::string first = relative.begin() != relative.end() ? relative.begin()->string() : std::string();
    const std::string name = relative.filename().string();
    const bool allowed = first == "data" || first == "tmp" || (first == "bin" && (name == "SYSMSG.TXT" || name == "RTMSG.TXT")) ||
                         relative.parent_path().empty();
    FUZZ_CHECK(allowed, "replies write only into the data folder, the temporary folder and the message files");
  }
}

}  // namespace

int FuzzDispatchInfo(const std::uint8_t* data, std::size_t size) {
  fuzz::Sandbox::Reset();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = fuzz::SplitParts(input, 2);
  std::string_view frames = parts.size() > 1 ? parts[1] : input;

  SystemNow = MakePackedTime(2024, 6, 28, 7, 30);
  InstallMarket(0, "SH", 1, 4, {"600000", "600001"});
  InstallMarket(1, "HK", 6, 2, {"00700"});
  fs::create_directories(fs::path(fuzz::Sandbox::Root()) / "tmp");
  ResetRequestQueue();
  zuvo::net::ResetDispatchState();
  zuvo::net::SetDispatchTempFolder("..\\tmp\\");
  Cells cells;
  zuvo::net::SetPageCells(&cells);
  NewsIndex.NewsCatchUpFlag = 0;

  if (parts.size() > 1) {
    fuzz::ControlReader control(parts[0]);
    RequestRecord r;
    r.kind = kRequestKinds[control.U8() % (sizeof kRequestKinds)];
    r.value1 = control.U32();
    r.value2 = control.U32();
    r.market = control.U8();
    r.param = control.U8();
    r.requester = control.U8() % 4;
    const std::string_view text = control.Bytes(16);
    std::memcpy(r.text, text.data(), std::min<std::size_t>(text.size(), 15));
    std::memcpy(r.code, "600000", 6);
    EnqueueRequest(r);
  }

  {
    TNormalClnt client;
    std::size_t at = 0;
    while (at + 5 <= frames.size()) {
      const auto* head = reinterpret_cast<const std::uint8_t*>(frames.data() + at);
      const std::uint8_t type = head[0];
      const int count = std::max<int>(head[2], 1);
      const int index = head[1] % count;
      const std::size_t length = std::min<std::size_t>(head[3] | head[4] << 8, frames.size() - at - 5);
      const std::string body(frames.substr(at + 5, std::min<std::size_t>(length, 8192)));
      at += 5 + length;
      client.header = FrameHeader{'@', type, static_cast<std::uint16_t>(count), static_cast<std::uint16_t>(index),
                                  static_cast<std::uint16_t>(body.size()), 0, 0};
      const int result = DispatchInfo(&client, reinterpret_cast<const std::uint8_t*>(body.data()), static_cast<int>(body.size()));
      FUZZ_CHECK(result == (IsKnownType(type) || body.empty() ? 0 : -1), "-1 exactly for an unknown reply type");
      CheckTables();
    }
    // A reply cut short by the input is given up as a closed connection gives it up.
    RequestConnectionClosed();
  }
  CheckFiles();

  zuvo::net::SetPageCells(nullptr);
  zuvo::net::ResetDispatchState();
  ResetRequestQueue();
  NewsIndex.NewsCatchUpFlag = 0;
  NewsIndex.dirty = 0;
  return 0;
}
