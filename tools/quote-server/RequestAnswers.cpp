#include "RequestAnswers.h"

#include "MarketModel.h"
#include "ServerProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

namespace zuvo::quoteserver {
namespace {

using model::MarketModel;

// Wire codes of the requests and of their replies.
constexpr std::uint8_t kBarsRequest = 12;        // reply 12
constexpr std::uint8_t kCompanyRequest = 21;     // reply 21
constexpr std::uint8_t kNewsRequest = 15;        // reply 15
constexpr std::uint8_t kDetailsRequest = 10;     // reply 10
constexpr std::uint8_t kRecentRequest = 11;      // reply 11
constexpr std::uint8_t kWeightsRequest = 18;     // reply 18
constexpr std::uint8_t kTicksRequest = 20;       // reply 20
constexpr std::uint8_t kBrokerRequest = 102;     // reply 102
constexpr std::uint8_t kSystemMessage = 203;     // reply 203
constexpr std::uint8_t kRealtimeMessage = 204;   // reply 204
constexpr std::uint8_t kSortRequest = 101;       // reply 101
constexpr std::uint8_t kNotesRequest = 16;       // reply 16
constexpr std::uint8_t kSnapshotRequest = 9;     // reply 9
constexpr std::uint8_t kAdviceRequest = 33;      // reply 33
constexpr std::uint8_t kTrendRequest = 31;       // reply 31
constexpr std::uint8_t kInfoIndexRequest = 40;   // reply 40
constexpr std::uint8_t kInfoTextRequest = 41;    // reply 41

constexpr std::size_t kCodeField = 8;            // instrument code in request bodies
constexpr std::size_t kNewsPage = 50;            // news items per list reply
constexpr int kMaxKeys = 256;                    // keys of a snapshot or sort request
constexpr std::size_t kKeyBytes = 3;
constexpr std::int64_t kFastChangeSeconds = 5 * 60;

// The request layouts the server reads: the smallest body of each type and the length of the
// reply head (the leading request bytes every reply frame repeats).
struct Layout {
  std::uint8_t type;
  std::size_t minimum;
  std::size_t head;
  int codeAt;     // where the head carries the instrument code, or -1
  int marketAt;   // where the head carries the market number, or -1
};
constexpr Layout kLayouts[] = {
    {kBarsRequest, 22, 14, 2, 1},       {kCompanyRequest, 13, 13, 5, 0},  {kNewsRequest, 6, 2, -1, -1},
    {kDetailsRequest, 14, 14, 2, 1},    {kRecentRequest, 13, 13, 1, 0},   {kWeightsRequest, 13, 13, 5, 0},
    {kTicksRequest, 14, 14, 2, 1},      {kBrokerRequest, 9, 9, 1, 0},     {kSystemMessage, 4, 4, -1, -1},
    {kRealtimeMessage, 4, 4, -1, -1},   {kSortRequest, 775, 1, -1, -1},   {kNotesRequest, 10, 2, -1, -1},
    {kSnapshotRequest, 770, 0, -1, -1}, {kAdviceRequest, 17, 9, 1, 0},    {kTrendRequest, 14, 14, 2, 1},
    {kInfoIndexRequest, 14, 14, 1, 0},  {kInfoTextRequest, 98, 98, 1, 0},
};
// The code path-code puts into reply heads: one that climbs out of any folder.
constexpr char kPathCode[kCodeField] = {'.', '.', '\\', '.', '.', '\\', 'x', '\0'};
// What bad-index puts into the keys of snapshot and sort answers, and bad-market into reply
// heads: a market number no table has.
constexpr std::uint8_t kBadMarket = kBadMarketNumber;
constexpr std::uint16_t kBadIndex = 0xFFFF;

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// A file name a client may use to select a text: one plain component.
bool PlainName(const std::string& name) {
  return !name.empty() && name.find_first_of("/\\:") == std::string::npos && name.find("..") == std::string::npos;
}

// Fills a text field to its end, without a terminator (unterminated): the text repeated.
void FillField(char* field, std::size_t size) {
  const std::size_t length = strnlen(field, size);
  for (std::size_t i = length; i < size; ++i) field[i] = length == 0 ? 'x' : field[i % length];
}

template <typename Record>
std::string_view Bytes(const std::vector<Record>& records) {
  return {reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record)};
}

// Server sort codes by quote column (columns without a code: -1).
constexpr int kCodeOfColumn[30] = {-1, -1, 0,  1,  2,  3,  4,  5,  6,  -1, 14, 15, 13, 16, 17,
                                   19, 20, 21, 22, 23, 18, 24, 25, 26, 7,  8,  9,  12, 10, 11};

// Record size of the sort answer by column: 11 bytes (a, b) for the change, percent, volume
// ratio, strength, order ratio and fast-change columns, 15 (a, b, c) for the amplitude, and 8
// (a alone, the value times the price divisor) for every other column.
std::size_t SortRecordSize(int column) {
  switch (column) {
    case 10: case 11: case 13: case 14: case 20: case 21: return 11;
    case 12: return 15;
    default: return 8;
  }
}

}  // namespace

int SortColumnOfCode(int code) {
  for (int column = 0; column < 30; ++column) {
    if (kCodeOfColumn[column] == code && code >= 0) return column;
  }
  return -1;
}

struct RequestAnswers::Request {
  std::uint8_t type;
  const std::uint8_t* body;
  std::size_t length;
  std::string_view head;
  std::int64_t now;
};

RequestAnswers::RequestAnswers(const ServerConfig& config, const InstallTree& tree, const MarketModel& model,
                               ServerClock clock, ServerState* state)
    : config_(config), tree_(tree), model_(model), clock_(std::move(clock)), state_(state) {}

bool RequestAnswers::Answer(std::uint8_t type, const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                            std::string* note) {
  const Layout* layout = nullptr;
  for (const Layout& candidate : kLayouts) {
    if (candidate.type == type) layout = &candidate;
  }
  if (layout == nullptr) return false;
  if (length < layout->minimum) {
    *note = "request body shorter than its layout";
    writer->Error(kQuietLevel);
    return true;
  }
  std::string_view head(reinterpret_cast<const char*>(body), layout->head);
  std::string spoiledHead;
  FaultSwitches& faults = state_->faults;
  if (layout->codeAt >= 0 && faults.On(Fault::kPathCode)) {
    faults.Fired(Fault::kPathCode);
    spoiledHead.assign(head);
    spoiledHead.replace(static_cast<std::size_t>(layout->codeAt), kCodeField, kPathCode, kCodeField);
    head = spoiledHead;
  }
  if (layout->marketAt >= 0 && faults.On(Fault::kBadMarket)) {
    faults.Fired(Fault::kBadMarket);
    if (spoiledHead.empty()) spoiledHead.assign(head);
    spoiledHead[static_cast<std::size_t>(layout->marketAt)] = static_cast<char>(kBadMarket);
    head = spoiledHead;
  }
  const Request request{type, body, length, head, clock_()};
  switch (type) {
    case kBarsRequest: Bars(request, writer, note); break;
    case kCompanyRequest: CompanyText(request, writer, note); break;
    case kNewsRequest: News(request, writer, note); break;
    case kDetailsRequest: TradeDetails(request, writer, note); break;
    case kRecentRequest: RecentTrades(request, writer, note); break;
    case kWeightsRequest: Weights(request, writer, note); break;
    case kTicksRequest: Ticks(request, writer, note); break;
    case kBrokerRequest: BrokerQueue(request, writer, note); break;
    case kSystemMessage:
    case kRealtimeMessage: Message(request, writer, note); break;
    case kSortRequest: Sort(request, writer, note); break;
    case kNotesRequest: Notes(request, writer, note); break;
    case kSnapshotRequest: QuoteExtras(request, writer, note); break;
    case kAdviceRequest: Advice(request, writer, note); break;
    case kTrendRequest: TrendDay(request, writer, note); break;
    case kInfoIndexRequest: InfoIndex(request, writer, note); break;
    case kInfoTextRequest: InfoText(request, writer, note); break;
    default: return false;
  }
  return true;
}

int RequestAnswers::Instrument(int market, const std::uint8_t* code, std::string* note) const {
  if (tree_.Market(market) == nullptr) {
    *note = "unknown market";
    return -1;
  }
  const int index = tree_.FindCode(market, reinterpret_cast<const char*>(code), kCodeField);
  if (index < 0) *note = "unknown instrument";
  return index;
}

const std::vector<ChartBar>& RequestAnswers::HistoryBars(int market, int index, int fileKind, std::int64_t now) const {
  const int category = tree_.Market(market)->names[static_cast<std::size_t>(index)].category;
  const PackedTime lastDay = model_.LastCompletedTradingDay(market, category, now);
  History& history = histories_[{market, index, fileKind}];
  if (history.lastDay != lastDay || lastDay == 0) {
    history.bars = model_.HistoryBars(market, index, fileKind, now);
    history.lastDay = lastDay;
  }
  return history.bars;
}

void RequestAnswers::Bars(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int fileKind = body[0];
  if (fileKind != kBarFile1Min && fileKind != kBarFile5Min && fileKind != kBarFile60Min && fileKind != kBarFileDay) {
    *note = "unknown bar file kind";
    writer->Error(kQuietLevel);
    return;
  }
  const int index = Instrument(body[1], body + 2, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const PackedTime firstDate = PackedDate(Get32(body + 14));
  const PackedTime lastTime = Get32(body + 18);
  const std::vector<ChartBar>& bars = HistoryBars(body[1], index, fileKind, request.now);
  // From the first date on; or up to the last time (everything without one), of which the
  // newest page.
  auto begin = bars.begin();
  auto end = bars.end();
  if (firstDate != 0) {
    begin = std::lower_bound(bars.begin(), bars.end(), firstDate,
                             [](const ChartBar& bar, PackedTime date) { return bar.time < date; });
  }
  if (lastTime != 0) {
    end = std::upper_bound(begin, bars.end(), lastTime,
                           [](PackedTime time, const ChartBar& bar) { return time < bar.time; });
  }
  if (firstDate == 0 && static_cast<std::size_t>(end - begin) > config_.page) begin = end - config_.page;
  if (state_->faults.On(Fault::kUnsortedBars) && end - begin >= 2) {
    state_->faults.Fired(Fault::kUnsortedBars);
    std::vector<ChartBar> reversed(std::make_reverse_iterator(end), std::make_reverse_iterator(begin));
    writer->Records(kBarsRequest, request.head, reversed.data(), sizeof(ChartBar), reversed.size());
    return;
  }
  writer->Records(kBarsRequest, request.head, bars.data() + (begin - bars.begin()), sizeof(ChartBar),
                  static_cast<std::size_t>(end - begin));
}

void RequestAnswers::CompanyText(const Request& request, ReplyWriter* writer, std::string* note) const {
  const int index = Instrument(request.body[0], request.body + 5, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  writer->Text(kCompanyRequest, request.head, model_.CompanySummary(request.body[0], index));
}

void RequestAnswers::News(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int subKind = body[0];
  const int category = body[1];
  FaultSwitches& faults = state_->faults;
  std::vector<model::NewsItem> items = model_.News(request.now);
  items.insert(items.end(), state_->flashes().begin(), state_->flashes().end());
  if (subKind == 2) {
    const std::uint32_t id = Get32(body + 2);
    for (const model::NewsItem& item : items) {
      if (item.entry.id == id) {
        // Frame 0 is the head alone: the client keeps none of the first frame's text.
        writer->Text(kNewsRequest, request.head, item.text, true);
        return;
      }
    }
    *note = "text of an unknown news item";
    writer->Error(kQuietLevel);
    return;
  }
  if (subKind != 0 || request.length < 10) {
    *note = subKind != 0 ? "unknown news sub-kind" : "request body shorter than its layout";
    writer->Error(kQuietLevel);
    return;
  }
  const std::uint32_t direction = Get32(body + 2);
  const std::uint32_t bound = Get32(body + 6);
  if (direction > 1) {
    *note = "unknown news direction";
    writer->Error(kQuietLevel);
    return;
  }
  std::vector<model::NewsEntry> entries;
  for (const model::NewsItem& item : items) {
    if (category != 0 && item.entry.category != category) continue;
    if (direction == 0 ? item.entry.id >= bound : item.entry.id <= bound) entries.push_back(item.entry);
  }
  std::sort(entries.begin(), entries.end(),
            [](const model::NewsEntry& a, const model::NewsEntry& b) { return a.id < b.id; });
  // The page nearest the bound: the oldest of the newer items, the newest of the older ones.
  if (entries.size() > kNewsPage) {
    if (direction == 0) {
      entries.resize(kNewsPage);
    } else {
      entries.erase(entries.begin(), entries.end() - kNewsPage);
    }
  }
  if (entries.empty() && faults.On(Fault::kNewsEndless)) {
    // Always one more item: the catch-up never reaches its end.
    faults.Fired(Fault::kNewsEndless);
    model::NewsEntry endless{};
    endless.category = static_cast<std::uint8_t>(category == 0 ? 1 : category);
    endless.id = bound;
    std::snprintf(endless.title, sizeof endless.title, "无尽资讯%u", bound);
    entries.push_back(endless);
  }
  if (entries.empty()) {
    // Ends the client's catch-up.
    *note = "no more news";
    writer->Error(kQuietLevel);
    return;
  }
  if (faults.On(Fault::kUnterminated)) {
    faults.Fired(Fault::kUnterminated);
    for (model::NewsEntry& entry : entries) FillField(entry.title, sizeof entry.title);
  }
  writer->Records(kNewsRequest, request.head, entries.data(), sizeof(model::NewsEntry), entries.size());
}

void RequestAnswers::TradeDetails(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[1], body + 2, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const model::TradeDetails details = model_.TodayDetails(body[1], index, request.now);
  // From the last minute the client holds: that minute may have grown since.
  const std::uint32_t held = Get32(body + 10);
  const std::size_t from = std::min<std::size_t>(held == 0 ? 0 : held - 1, details.minutes.size());
  writer->Records(kDetailsRequest, request.head, details.minutes.data() + from, sizeof(TodayMinuteRecord),
                  details.minutes.size() - from,
                  std::string_view(reinterpret_cast<const char*>(&details.header), sizeof details.header));
}

void RequestAnswers::RecentTrades(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[0], body + 1, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const std::vector<TradeRecord> trades = model_.TodayTrades(body[0], index, request.now);
  const std::size_t count = std::min<std::size_t>(Get32(body + 9), trades.size());
  writer->Records(kRecentRequest, request.head, trades.data() + (trades.size() - count), sizeof(TradeRecord), count);
}

void RequestAnswers::Weights(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[0], body + 5, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const PackedTime today = PackedDate(model_.MarketTime(body[0], request.now));
  const std::vector<model::WeightRecord> weights = model_.Weights(body[0], index, today);
  writer->Records(kWeightsRequest, request.head, weights.data(), sizeof(model::WeightRecord), weights.size());
}

void RequestAnswers::Ticks(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[1], body + 2, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const std::vector<TradeRecord> trades = model_.TodayTrades(body[1], index, request.now);
  const std::size_t from = std::min<std::size_t>(Get32(body + 10), trades.size());
  writer->Records(kTicksRequest, request.head, trades.data() + from, sizeof(TradeRecord), trades.size() - from);
}

void RequestAnswers::BrokerQueue(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[0], body + 1, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  BrokerQueueRecord queue = model_.BrokerQueue(body[0], index, request.now);
  FaultSwitches& faults = state_->faults;
  if (faults.On(Fault::kBrokerCount)) {
    faults.Fired(Fault::kBrokerCount);
    queue.buyCount = queue.sellCount = static_cast<std::uint16_t>(faults.brokerCount());
  }
  if (faults.On(Fault::kShortBroker)) {
    // The head and less than a whole record.
    faults.Fired(Fault::kShortBroker);
    writer->Text(kBrokerRequest, request.head,
                 std::string_view(reinterpret_cast<const char*>(&queue), sizeof queue / 2));
    return;
  }
  writer->Records(kBrokerRequest, request.head, &queue, sizeof queue, 1);
}

void RequestAnswers::Message(const Request& request, ReplyWriter* writer, std::string*) const {
  const std::string text = request.type == kSystemMessage
                               ? model_.SystemMessage(request.now)
                               : model_.RealtimeMessage(request.now, Get32(request.body));
  writer->Text(request.type, request.head, text);
}

void RequestAnswers::Notes(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int subKind = body[0];
  const int list = body[1];
  if (list >= model::kNotesLists || (subKind != 0 && subKind != 1)) {
    *note = list >= model::kNotesLists ? "unknown notes list" : "unknown notes sub-kind";
    writer->Error(kQuietLevel);
    return;
  }
  const std::vector<model::Note> notes = model_.Notes(list, request.now);
  if (subKind == 0) {
    std::vector<model::NoteEntry> entries;
    for (const model::Note& item : notes) entries.push_back(item.entry);
    FaultSwitches& faults = state_->faults;
    if (faults.On(Fault::kBadNoteName)) {
      faults.Fired(Fault::kBadNoteName);
      for (model::NoteEntry& entry : entries) {
        std::memset(entry.fileName, 0, sizeof entry.fileName);
        std::snprintf(entry.fileName, sizeof entry.fileName, "..\\..\\N%u.TXT", static_cast<unsigned>(entry.number % 100));
      }
    }
    if (faults.On(Fault::kUnterminated)) {
      faults.Fired(Fault::kUnterminated);
      for (model::NoteEntry& entry : entries) FillField(entry.title, sizeof entry.title);
    }
    writer->Records(kNotesRequest, request.head, entries.data(), sizeof(model::NoteEntry), entries.size());
    return;
  }
  std::string name;
  if (request.length < 20 || !FieldText(body + 2, 16, &name) || !PlainName(name)) {
    *note = request.length < 20 ? "request body shorter than its layout" : "note file name not a plain name";
    writer->Error(kQuietLevel);
    return;
  }
  for (const model::Note& item : notes) {
    std::string itemName;
    if (FieldText(reinterpret_cast<const std::uint8_t*>(item.entry.fileName), sizeof item.entry.fileName, &itemName) &&
        EqualNoCase(itemName, name)) {
      writer->Text(kNotesRequest, request.head, item.text);
      return;
    }
  }
  *note = "unknown note file";
  writer->Error(kQuietLevel);
}

void RequestAnswers::QuoteExtras(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int count = Get16(body + kMaxKeys * kKeyBytes);
  if (count > kMaxKeys) {
    *note = "snapshot of more than 256 keys";
    writer->Error(kQuietLevel);
    return;
  }
  std::vector<model::QuoteExtraEntry> entries;
  FaultSwitches& faults = state_->faults;
  for (int k = 0; k < count; ++k) {
    const std::uint8_t* key = body + static_cast<std::size_t>(k) * kKeyBytes;
    const int market = key[0];
    const int index = state_->ServerIndex(market, Get16(key + 1));
    if (index < 0) continue;
    model::QuoteExtraEntry entry = model_.QuoteExtra(market, index, request.now);
    entry.index = static_cast<std::uint16_t>(state_->ClientIndex(market, index));
    if (faults.On(Fault::kBadIndex)) {
      faults.Fired(Fault::kBadIndex);
      entry.market = kBadMarket;
      entry.index = kBadIndex;
    }
    entries.push_back(entry);
  }
  if (entries.empty()) {
    // A body must not be empty: the client would never complete the request.
    *note = "snapshot of no known key";
    writer->Error(kQuietLevel);
    return;
  }
  writer->Records(kSnapshotRequest, {}, entries.data(), sizeof(model::QuoteExtraEntry), entries.size());
}

void RequestAnswers::Advice(const Request& request, ReplyWriter* writer, std::string* note) const {
  const int index = Instrument(request.body[0], request.body + 1, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const std::vector<model::AdviceRecord> advice = model_.Advice(request.body[0], index, request.now);
  writer->Records(kAdviceRequest, request.head, advice.data(), sizeof(model::AdviceRecord), advice.size());
}

void RequestAnswers::TrendDay(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int market = body[1];
  const int index = Instrument(market, body + 2, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const PackedTime day = PackedDate(Get32(body + 10));
  const int category = tree_.Market(market)->names[static_cast<std::size_t>(index)].category;
  const PackedTime lastDone = model_.LastCompletedTradingDay(market, category, request.now);
  if (!MarketModel::IsTradingDay(day) || lastDone == 0 || day > lastDone) {
    *note = "trend of a day that is not a past trading day";
    writer->Error(kQuietLevel);
    return;
  }
  const std::vector<TrendDayMinute> minutes = model_.TrendDay(market, index, day);
  writer->Records(kTrendRequest, request.head, minutes.data(), sizeof(TrendDayMinute), minutes.size());
}

void RequestAnswers::InfoIndex(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[0], body + 1, note);
  const int kind = body[9];
  if (index < 0 || kind < 1 || kind > model::kInfoKinds) {
    if (index >= 0) *note = "unknown information index";
    writer->Error(kQuietLevel);
    return;
  }
  const model::InfoIndex info = model_.Info(body[0], index, kind, request.now);
  const std::size_t from = kind == 3 ? std::min<std::size_t>(Get32(body + 10), info.records.size()) : 0;
  writer->Records(kInfoIndexRequest, request.head, info.records.data() + from, sizeof(model::InfoMineRecord),
                  info.records.size() - from);
}

void RequestAnswers::InfoText(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int index = Instrument(body[0], body + 1, note);
  if (index < 0) {
    writer->Error(kQuietLevel);
    return;
  }
  const int kind = body[9];
  std::string name;
  if (!FieldText(body + 10, 80, &name) || !PlainName(name) || kind < 1 || kind > model::kInfoKinds) {
    *note = "information text not named plainly";
    writer->Error(kQuietLevel);
    return;
  }
  const model::InfoIndex info = model_.Info(body[0], index, kind, request.now);
  if (!EqualNoCase(name, info.textName)) {
    *note = "unknown information text";
    writer->Error(kQuietLevel);
    return;
  }
  const std::int32_t offset = static_cast<std::int32_t>(Get32(body + 90));
  const std::uint32_t length = Get32(body + 94);
  if (offset < -1) {
    *note = "negative information text offset";
    writer->Error(kQuietLevel);
    return;
  }
  std::string_view text = info.text;
  if (offset >= 0) text = text.substr(std::min<std::size_t>(static_cast<std::size_t>(offset), text.size()), length);
  // The head names where the text goes: offset -1 (the whole text) is written from 0.
  std::string head(request.head);
  if (offset == -1) Put32(reinterpret_cast<std::uint8_t*>(head.data()) + 90, 0);
  if (state_->faults.On(Fault::kInfoOffset)) {
    state_->faults.Fired(Fault::kInfoOffset);
    Put32(reinterpret_cast<std::uint8_t*>(head.data()) + 90, static_cast<std::uint32_t>(state_->faults.infoOffset()));
  }
  writer->Text(kInfoTextRequest, head, text);
}

void RequestAnswers::Sort(const Request& request, ReplyWriter* writer, std::string* note) const {
  const std::uint8_t* body = request.body;
  const int column = SortColumnOfCode(body[0]);
  const std::uint32_t listAbsent = Get32(body + 1);
  const int countOrBlock = Get16(body + 5);
  if (column < 0 || listAbsent > 1 || (listAbsent == 0 && countOrBlock > kMaxKeys)) {
    *note = column < 0 ? "unknown sort code" : "malformed sort request";
    writer->Error(kQuietLevel);
    return;
  }

  // The instruments in answer order: the request's keys, or the automatic block's members
  // (one block per market, then one per category of each market in turn).
  std::vector<STKMS> keys;
  if (listAbsent == 0) {
    for (int k = 0; k < countOrBlock; ++k) {
      const std::uint8_t* key = body + 7 + static_cast<std::size_t>(k) * kKeyBytes;
      keys.push_back(STKMS{key[0], Get16(key + 1)});
    }
    // The client's numbering to the server's (an unknown key keeps its place with zeros).
    for (STKMS& key : keys) {
      const int index = state_->ServerIndex(key.market, key.index);
      key.index = static_cast<std::uint16_t>(index < 0 ? kBadIndex : index);
    }
  } else {
    const int marketCount = static_cast<int>(tree_.markets().size());
    int block = countOrBlock;
    int market = -1;
    int category = -1;
    if (block < marketCount) {
      market = block;
    } else {
      block -= marketCount;
      for (int m = 0; m < marketCount && market < 0; ++m) {
        const int categories = tree_.markets()[static_cast<std::size_t>(m)].record.categoryCount;
        if (block < categories) {
          market = m;
          category = block;
        } else {
          block -= categories;
        }
      }
    }
    if (market < 0) {
      *note = "sort of an unknown block";
      writer->Error(kQuietLevel);
      return;
    }
    for (const InstrumentRecord& name : tree_.markets()[static_cast<std::size_t>(market)].names) {
      if (category < 0 || name.category == category) keys.push_back(STKMS{name.market, name.index});
    }
  }

  const std::size_t recordSize = SortRecordSize(column);
  FaultSwitches& faults = state_->faults;
  std::size_t keyAt = 0;
  auto record = [&](const STKMS& key, std::vector<std::uint8_t>* out) {
    std::uint8_t bytes[15] = {};
    // The key as the client numbers it: its own from the request, else the shifted table's.
    STKMS shown{key.market, static_cast<std::uint16_t>(state_->ClientIndex(key.market, key.index))};
    if (listAbsent == 0 && keyAt < static_cast<std::size_t>(countOrBlock)) {
      const std::uint8_t* asked = body + 7 + keyAt * kKeyBytes;
      shown = STKMS{asked[0], Get16(asked + 1)};
    }
    ++keyAt;
    if (faults.On(Fault::kBadIndex)) {
      faults.Fired(Fault::kBadIndex);
      shown = STKMS{kBadMarket, kBadIndex};
    }
    bytes[0] = shown.market;
    bytes[1] = static_cast<std::uint8_t>(shown.index);
    bytes[2] = static_cast<std::uint8_t>(shown.index >> 8);
    float values[3] = {};
    const ServedMarket* served = tree_.Market(key.market);
    if (served != nullptr && key.index < served->names.size()) {
      const InstrumentRecord& name = served->names[key.index];
      const float divisor = static_cast<float>(name.priceDivisor == 0 ? 1 : name.priceDivisor);
      const QuoteRecord quote = model_.Quote(key.market, key.index, request.now);
      const auto price = [](std::uint32_t value) { return static_cast<float>(value); };
      const float last = price(quote.last != 0 ? quote.last : quote.prevClose);
      const bool noDepth = served->record.categories[name.category].noDepth != 0;
      switch (column) {
        case 10: case 11: case 14:
          values[0] = last;
          values[1] = price(quote.prevClose);
          break;
        case 12:
          values[0] = price(quote.high);
          values[1] = price(quote.low);
          values[2] = price(quote.prevClose);
          break;
        case 13:
          values[0] = quote.volume;
          values[1] = model_.QuoteExtra(key.market, key.index, request.now).refVolume;
          break;
        case 20:
          for (int level = 0; level < 5 && !noDepth; ++level) {
            values[0] += quote.bids[level].volume;
            values[1] += quote.asks[level].volume;
          }
          break;
        case 21: {
          const QuoteRecord earlier = model_.Quote(key.market, key.index, request.now - kFastChangeSeconds);
          values[0] = last;
          values[1] = price(earlier.last != 0 ? earlier.last : quote.prevClose);
          break;
        }
        default: {
          // The shown value times the price divisor: the client divides by it again.
          const model::QuoteExtraEntry extra = model_.QuoteExtra(key.market, key.index, request.now);
          float value = 0;
          switch (column) {
            case 2: value = price(quote.prevClose); break;
            case 3: value = price(quote.open); break;
            case 4: value = price(quote.high); break;
            case 5: value = price(quote.low); break;
            case 6: value = last; break;
            case 7: value = quote.volume * divisor; break;
            case 8: value = quote.amount * divisor; break;
            case 15: value = price(extra.balancePrice); break;
            case 16: value = extra.side == 0 ? price(extra.longTarget) : 0; break;
            case 17: value = extra.side == 0 ? price(extra.longStop) : 0; break;
            case 18: value = extra.side != 0 ? price(extra.shortCover) : 0; break;
            case 19: value = extra.side != 0 ? price(extra.shortStop) : 0; break;
            case 24: value = quote.lastVolume * divisor; break;
            case 25: value = price(quote.bids[0].price); break;
            case 26: value = price(quote.asks[0].price); break;
            case 27: value = price(quote.settlement); break;
            case 28: value = quote.bids[0].volume * divisor; break;
            case 29: value = quote.asks[0].volume * divisor; break;
            default: break;   // 22, 23: no value
          }
          values[0] = value;
          break;
        }
      }
    }
    std::memcpy(bytes + 3, values, sizeof values);
    out->insert(out->end(), bytes, bytes + recordSize);
  };

  std::vector<std::uint8_t> records;
  for (const STKMS& key : keys) record(key, &records);
  std::vector<std::uint8_t> lead;
  if (column == 14) {
    // The strength answer starts with the reference instrument: the first of the first row's
    // market. The client skips it.
    const std::uint8_t market = keys.empty() ? 0 : keys.front().market;
    record(STKMS{market, 0}, &lead);
  }
  writer->Records(kSortRequest, request.head, records.data(), recordSize, keys.size(),
                  std::string_view(reinterpret_cast<const char*>(lead.data()), lead.size()));
}

}  // namespace zuvo::quoteserver
