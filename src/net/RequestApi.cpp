// The queued requests of the request client: each finds the instrument in its market table,
// tests the user's rights and the queue where it must, applies its local-file rule and queues
// one RequestRecord. Paths come only from the table's own folder and the instrument's code; a
// market not loaded or an instrument index outside the table queues nothing.
#include "net/NormalClnt.h"

#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/CacheRecords.h"
#include "data/MarketData.h"
#include "data/NewsIndex.h"
#include "net/CacheFreshness.h"
#include "net/RequestQueue.h"
#include "net/RequestRecord.h"
#include "net/ServerRights.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The instrument a request is about.
struct Target {
  TMarketData* table = nullptr;
  int market = 0;
  int index = 0;
  int category = 0;
  std::string code;
};

// False when the market is not loaded, the index is outside its instruments or the code is
// empty (nothing can be asked for it).
bool FindTarget(int market, int index, Target* target) {
  TMarketData* table = GetMarketTable(market);
  if (!table || !table->names || index < 0 || index >= table->count) return false;
  target->table = table;
  target->market = market;
  target->index = index;
  target->category = table->GetCategory(index);
  target->code = InstrumentCode(&table->names[index]);
  return !target->code.empty();
}

// The same, and the user must hold the right to the instrument's market and category.
bool FindPermittedTarget(int market, int index, Target* target) {
  return FindTarget(market, index, target) && zuvo::net::HasMarketRight(market, target->category);
}

// Copies at most `most` bytes of a text into a field and terminates it.
template <std::size_t N>
void CopyText(char (&field)[N], const char* text, std::size_t most) {
  std::memset(field, 0, N);
  if (!text) return;
  const std::size_t length = strnlen(text, std::min(most, N - 1));
  std::memcpy(field, text, length);
}

RequestRecord Record(std::uint8_t kind, int market = 0, std::uint32_t requester = 0) {
  RequestRecord record;
  record.kind = kind;
  record.market = static_cast<std::uint16_t>(market);
  record.requester = requester;
  return record;
}

RequestRecord InstrumentRecordFor(std::uint8_t kind, const Target& target, std::uint32_t requester) {
  RequestRecord record = Record(kind, target.market, requester);
  CopyText(record.code, target.code.c_str(), sizeof record.code - 1);
  return record;
}

PackedTime LoginTimeOf(const TNormalClnt& client) {
  return MakePackedTime(client.loginYear, client.loginMonth, client.loginDay, client.loginHour, client.loginMinute);
}

}  // namespace

void TNormalClnt::RequestHistoryBars(int market, int index, int /*reserved*/, int cycle, int n, int older,
                                     std::uint32_t requester) {
  Target target;
  if (!FindPermittedTarget(market, index, &target)) return;
  const int fileKind = BarFileKindForCycle(cycle, n);
  std::string path;
  if (!BarFilePath(fileKind, target.table, target.code.c_str(), path)) return;
  if (IsBarsRequestPending(target.code.c_str(), market, fileKind)) return;
  TrimBarFile(path.c_str(), target.table, fileKind);
  const std::uint8_t kind = fileKind == kBarFileDay ? kRequestDayBars : kRequestIntradayBars;
  std::uint32_t a = static_cast<std::uint32_t>(fileKind);
  std::uint32_t b = 0;
  if (!CheckCacheFreshness(kind, target.table, target.category, path.c_str(), &a, &b, older != 0,
                           LoginTimeOf(*this))) {
    return;
  }
  RequestRecord record = InstrumentRecordFor(kind, target, requester);
  record.param = fileKind;
  record.value1 = a;
  record.value2 = b;
  EnqueueRequest(record);
}

namespace {

// The ticks and trade-details requests: one rule, two files.
void RequestTradeFile(int market, int index, std::uint32_t requester, bool tradeDetails) {
  Target target;
  if (!FindPermittedTarget(market, index, &target)) return;
  const char* code = target.code.c_str();
  if (tradeDetails ? IsTradeDetailsRequestPending(code, market) : IsTicksRequestPending(code, market)) return;
  std::string path;
  if (!CacheFilePath(tradeDetails ? CacheFile::TradeDetails : CacheFile::Ticks, target.table, code, path)) return;
  std::uint32_t held = 0;
  if (!CheckTradeFileRule(target.table, index, path.c_str(), tradeDetails, &held)) return;
  RequestRecord record = InstrumentRecordFor(tradeDetails ? kRequestTradeDetails : kRequestTicks, target, requester);
  if (tradeDetails) record.param = 1;
  record.value1 = held;   // the server sends the records after those held
  EnqueueRequest(record);
}

}  // namespace

void TNormalClnt::RequestTicks(int market, int index, std::uint32_t requester) {
  RequestTradeFile(market, index, requester, false);
}

void TNormalClnt::RequestTradeDetails(int market, int index, std::uint32_t requester) {
  RequestTradeFile(market, index, requester, true);
}

void TNormalClnt::RequestRecentTicks(int market, int index, int count, std::uint32_t requester) {
  Target target;
  if (!FindPermittedTarget(market, index, &target)) return;
  if (IsRecentTicksRequestPending(target.code.c_str(), market)) return;
  RequestRecord record = InstrumentRecordFor(kRequestRecentTrades, target, requester);
  record.value1 = static_cast<std::uint32_t>(std::max(count, 0));
  EnqueueRequest(record);
}

void TNormalClnt::RequestTrendDay(int market, int index, std::uint32_t day, std::uint32_t requester) {
  Target target;
  if (!FindPermittedTarget(market, index, &target)) return;
  RequestRecord record = InstrumentRecordFor(kRequestDayTrend, target, requester);
  record.value1 = PackedDate(day);
  EnqueueRequest(record);
}

void TNormalClnt::RequestWeights(int market, int index, std::uint32_t requester) {
  Target target;
  if (!FindPermittedTarget(market, index, &target)) return;
  std::string path;
  if (!CacheFilePath(CacheFile::Weights, target.table, target.code.c_str(), path)) return;
  std::uint32_t a = 0, b = 0;
  if (!CheckCacheFreshness(kRequestExRights, target.table, target.category, path.c_str(), &a, &b, false,
                           LoginTimeOf(*this))) {
    return;
  }
  EnqueueRequest(InstrumentRecordFor(kRequestExRights, target, requester));
}

void TNormalClnt::RequestBrokerQueue(int market, int index) {
  Target target;
  if (!FindTarget(market, index, &target)) return;
  EnqueueRequest(InstrumentRecordFor(kRequestBrokerQueue, target, 0));
}

void TNormalClnt::RequestNews(bool older, int category) {
  std::int64_t id = NewsIndex.FindEdgeId(older, static_cast<std::uint32_t>(category));
  // Asking for older items with none held asks for the newest instead.
  if (older && id < 0) older = false;
  if (older) {
    if (id == 0) return;   // nothing older than id 0 exists
    --id;
  } else {
    id = id < 0 ? 0 : id + 1;
  }
  RequestRecord record = Record(kRequestNews, category);
  record.param = kNewsList;
  record.value1 = static_cast<std::uint32_t>(id);
  record.value2 = older ? 1 : 0;
  EnqueueRequest(record);
}

void TNormalClnt::RequestNewsText(const NewsRecord& news) {
  RequestRecord record = Record(kRequestNews, static_cast<int>(news.categoryAndRead >> 1));
  record.param = kNewsText;
  record.value1 = news.id;
  EnqueueRequest(record);
}

bool TNormalClnt::RequestInfoMineIndex(int market, int index, int n, std::uint32_t requester) {
  Target target;
  if (!FindTarget(market, index, &target)) return false;
  // The number travels as one signed byte and the reply's file is named by that byte: the
  // request looks at the same file.
  const int number = static_cast<std::int8_t>(n);
  std::string path;
  if (!InfoIndexFilePath(target.table, target.code.c_str(), static_cast<std::uint32_t>(number), path)) return false;
  std::uint32_t held = 0;
  std::uint32_t mode = static_cast<std::uint32_t>(number);
  if (!CheckCacheFreshness(kRequestInfoIndex, target.table, target.category, path.c_str(), &held, &mode, false,
                           LoginTimeOf(*this))) {
    return false;
  }
  RequestRecord record = InstrumentRecordFor(kRequestInfoIndex, target, requester);
  record.value1 = static_cast<std::uint32_t>(number);
  // Only index 3 grows by appending; every other number is asked again from its first record.
  record.value2 = number == 3 ? held : 0;
  EnqueueRequest(record);
  return true;
}

void TNormalClnt::RequestInfoMineText(int market, int index, int selector, const char* fileName,
                                      std::uint32_t offset, std::uint32_t length, std::uint32_t requester) {
  Target target;
  if (!FindTarget(market, index, &target)) return;
  RequestRecord record = InstrumentRecordFor(kRequestInfoText, target, requester);
  record.param = selector;
  CopyText(record.text, fileName, sizeof record.text - 1);
  record.value1 = offset;
  record.value2 = length;
  EnqueueRequest(record);
}

void TNormalClnt::RequestNotesList(int n) {
  // The list's freshness goes by the trading day of market n / 2.
  TMarketData* table = n >= 0 ? GetMarketTable(n / 2) : nullptr;
  std::string path;
  if (!table || !NotesListFilePath(n, path)) return;
  std::uint32_t a = 0, b = 0;
  if (!CheckCacheFreshness(kRequestNotesList, table, table->GetCategory(0), path.c_str(), &a, &b, false,
                           LoginTimeOf(*this))) {
    return;
  }
  EnqueueRequest(Record(kRequestNotesList, n));
}

void TNormalClnt::RequestNote(int listNumber, const char* noteFileName, int noteNumber) {
  if (!noteFileName) return;
  RequestRecord record = Record(kRequestNote, listNumber);
  record.param = noteNumber;
  CopyText(record.text, noteFileName, 15);
  EnqueueRequest(record);
}

void TNormalClnt::RequestNameTable(int market) { EnqueueRequest(Record(kRequestNameTable, market)); }

void TNormalClnt::RequestServerSort(std::uint32_t serial, int column, std::uint32_t countOrGroup, STKMS* keys,
                                    std::uint32_t requester, int purpose) {
  RequestRecord record = Record(kRequestServerSort, purpose, requester);
  record.param = column;
  record.value1 = countOrGroup;
  record.value3 = serial;
  record.keyArray = keys;   // the queue owns it from here on
  EnqueueRequest(record);
}

void TNormalClnt::RequestSystemMessage() { EnqueueRequest(Record(kRequestSystemMessage)); }

void TNormalClnt::RequestRealtimeMessage(int which) {
  RequestRecord record = Record(kRequestRealtimeMessage);
  record.value1 = static_cast<std::uint32_t>(which);
  EnqueueRequest(record);
}

void TNormalClnt::RequestQuotes(EArray<STKMS>* keys) {
  if (!keys) return;
  RequestRecord record = Record(kRequestSnapshot);
  record.keyList = keys;   // the queue owns it from here on
  EnqueueRequest(record);
}

void TNormalClnt::RequestPasswordChange(const char* newPassword) {
  if (!newPassword) return;
  RequestRecord record = Record(kRequestPasswordChange);
  // Twelve bytes at most, the twelfth always 0.
  CopyText(record.code, newPassword, 11);
  EnqueueRequest(record);
}
