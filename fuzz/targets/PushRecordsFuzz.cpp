// Fuzz target "push": the body of one push frame through TRealDataClnt::DispatchRecords into
// small markets (two or three tables of four instruments, kinds and order books chosen by the
// control part), with a recording main window.
// Input: parts control, body. Control: the number of markets (1-3), each market's kind, the
// frame type (8 unless the byte is odd), whether the news list is catching up, the news rights
// byte (classes 1-8), and the clock word's hour.
// Property: DispatchRecords returns the length (0 for another type or an empty body); a plain
// walk of the body's whole records, classified by their first words and looked up by a linear
// scan within each code's 8 bytes, predicts every quote event (sent, in order, for the found
// instrument, flags without 0x4 and trade sides only with 0x100) and every quote the tables
// hold afterwards (the last record of each instrument, settlement included; the others
// untouched); the clock word stays a valid time when it was one; each posted notice is a
// terminated title of at most 79 bytes; files are written only in the markets' advice folders
// and the news folder.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/NetHooks.h"
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"
#include "net/ServerRights.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kInstruments = 4;
const char* const kCodes[kInstruments] = {"600000", "600001", "IF08", "A1"};
const char* const kMarketCodes[3] = {"SH", "SZ", "HK"};

struct QuoteEvent {
  int market;
  int index;
  std::uint32_t flags;
};
std::vector<QuoteEvent> events;
std::vector<std::string> noticeTitles;
bool sendingOnly = true;

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgQuoteEvent && wParam == kQuoteEventUpdate) {
    FUZZ_CHECK(sendingOnly, "a quote event is sent, never posted");
    const auto* slot = reinterpret_cast<const _zvapp_pkg_*>(lParam);
    FUZZ_CHECK(slot->word0 == 0 && slot->word1 == 0, "a slot's two words are 0");
    events.push_back({slot->instrument.market, slot->instrument.index, slot->flags});
    return 0;
  }
  if (message == MsgOnlineNotice) {
    const auto* notice = reinterpret_cast<const NewsRecord*>(lParam);
    const void* end = std::memchr(notice->title, '\0', sizeof notice->title);
    FUZZ_CHECK(end != nullptr, "a notice's title is terminated");
    noticeTitles.emplace_back(notice->title);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MainWindow() {
  static HWND window = fuzz::HiddenWindow("FuzzPushMainWindow", &MainWindowProc);
  return window;
}

TMarketData* MakeMarket(int number, int kind) {
  MarketRecord record{};
  record.kind = static_cast<std::uint8_t>(kind);
  std::strcpy(record.code, kMarketCodes[number]);
  std::strcpy(record.fileExt, "tst");
  record.hourOffset = static_cast<std::int16_t>(number * 8 - 8);
  record.capacity = kInstruments;
  record.categoryCount = 2;
  for (int c = 0; c < 2; ++c) {
    CategoryRecord& category = record.categories[c];
    category.noDepth = static_cast<std::uint8_t>(c);
    category.sessionCount = 1;
    category.openMinute[0] = 570;
    category.closeMinute[0] = 900;
    category.dayChangeMinute = 560;
  }
  auto* table = new TMarketData(number, record);
  for (int i = 0; i < kInstruments; ++i) {
    InstrumentRecord& name = table->names[i];
    std::strcpy(name.code, kCodes[i]);
    name.category = static_cast<std::uint8_t>(i % 2);
  }
  table->count = kInstruments;
  table->FinishNameTable();
  return table;
}

bool CodeMatches(const char* code, const std::uint8_t* field) {
  char wanted[9] = {};
  std::memcpy(wanted, field, 8);
  if (wanted[0] == '\0') return false;
  for (int i = 0;; ++i) {
    const char a = wanted[i];
    const char b = code[i];
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a) != lower(b)) return false;
    if (a == '\0') return true;
  }
}

void CheckFilesWhereAllowed(const fs::path& root) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root / "data", error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (!it->is_regular_file()) continue;
    const std::string parent = it->path().parent_path().filename().string();
    FUZZ_CHECK(parent == "advice" || parent == "info", "files go only into advice and news folders");
  }
}

}  // namespace

int FuzzPushRecords(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::ControlReader control(parts.size() > 1 ? parts[0] : std::string_view());
  const std::string_view body = parts.size() > 1 ? parts[1] : parts[0];
  const int markets = 1 + control.U8() % 3;
  int kinds[3];
  for (int& kind : kinds) kind = 1 + control.U8() % 7;
  const bool pushType = (control.U8() & 1) == 0;
  const bool catchingUp = (control.U8() & 1) != 0;
  const std::uint8_t rights = control.U8();
  const int hour = control.U8() % 24;

  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  zuvo::net::ScopedMainWindow mainWindow(MainWindow());
  zuvo::platform::ProcessPendingMessages();
  events.clear();
  noticeTitles.clear();
  zuvo::net::ResetPushState();
  SystemNow = MakePackedTime(2024, 6, 28, hour, 7);
  for (int m = 0; m < markets; ++m) MarketTables[m] = MakeMarket(m, kinds[m]);
  MarketCount = markets;
  NewsIndex.Load();
  NewsIndex.NewsCatchUpFlag = catchingUp ? 1 : 0;
  std::uint8_t block[128] = {};
  block[98] = rights;
  zuvo::net::TakeServerRights(block);

  // What the body should do, from a plain walk.
  std::vector<QuoteEvent> expected;
  std::vector<std::string> lastRecord(static_cast<std::size_t>(markets * kInstruments));
  const std::size_t whole = body.size() / 128 * 128;
  if (pushType) {
    for (std::size_t at = 0; at < whole; at += 128) {
      const auto* r = reinterpret_cast<const std::uint8_t*>(body.data() + at);
      const int market = r[0] | (r[1] << 8);
      const int word2 = r[2] | (r[3] << 8);
      if (market >= markets || word2 >= 10000 || (market == 0 && r[116] == 0)) continue;
      for (int i = 0; i < kInstruments; ++i) {
        if (!CodeMatches(kCodes[i], r + 116)) continue;
        expected.push_back({market, i, 0});
        lastRecord[static_cast<std::size_t>(market * kInstruments + i)].assign(reinterpret_cast<const char*>(r), 128);
        break;
      }
    }
  }

  TRealDataClnt client;
  client.header.type = pushType ? kPushRecordsType : 9;
  const PackedTime before = SystemNow;
  const int result = TRealDataClnt::DispatchRecords(&client, reinterpret_cast<const std::uint8_t*>(body.data()),
                                                    static_cast<int>(body.size()));
  sendingOnly = false;
  zuvo::platform::ProcessPendingMessages();
  sendingOnly = true;

  FUZZ_CHECK(result == (pushType && !body.empty() ? static_cast<int>(body.size()) : 0), "the length, or 0");
  FUZZ_CHECK(events.size() == expected.size(), "one quote event per record of a listed code");
  for (std::size_t e = 0; e < events.size(); ++e) {
    FUZZ_CHECK(events[e].market == expected[e].market && events[e].index == expected[e].index,
               "each event names the record's instrument");
    FUZZ_CHECK((events[e].flags & 0x4) == 0, "flag 0x4 is never set");
    FUZZ_CHECK((events[e].flags & 0x600) == 0 || (events[e].flags & 0x100) != 0, "a trade side only with a trade");
    FUZZ_CHECK((events[e].flags & 0x600) != 0x600, "one trade side at most");
  }
  FUZZ_CHECK(zuvo::net::CurrentPushState().slotPosition == static_cast<int>(events.size() % kNotificationSlots),
             "the ring moves once per quote event");
  for (int m = 0; m < markets; ++m) {
    for (int i = 0; i < kInstruments; ++i) {
      const QuoteRecord& quote = MarketTables[m]->quotes[i];
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&quote);
      const std::string& last = lastRecord[static_cast<std::size_t>(m * kInstruments + i)];
      if (last.empty()) {
        FUZZ_CHECK(std::all_of(bytes, bytes + sizeof quote, [](std::uint8_t b) { return b == 0; }),
                   "an instrument no record names keeps its quote");
        continue;
      }
      const auto* r = reinterpret_cast<const std::uint8_t*>(last.data());
      FUZZ_CHECK(std::memcmp(bytes, r + 4, 32) == 0 && std::memcmp(bytes + 40, r + 36, 80) == 0 &&
                     std::memcmp(&quote.settlement, r + 124, 4) == 0,
                 "the table holds the instrument's last record");
      FUZZ_CHECK(quote.fastChange == 0.0f, "fastChange is not touched");
    }
  }
  if (IsValidPackedTime(before)) FUZZ_CHECK(IsValidPackedTime(SystemNow), "the clock word stays a valid time");
  for (const std::string& title : noticeTitles) FUZZ_CHECK(title.size() <= 79, "a notice's title fits its field");
  FUZZ_CHECK(!catchingUp || noticeTitles.empty(), "no notice while the news list catches up");
  CheckFilesWhereAllowed(fs::path(fuzz::Sandbox::Root()));

  NewsIndex.Discard();
  zuvo::net::ClearServerRights();
  zuvo::net::ResetPushState();
  return 0;
}
