#include "ServerState.h"

#include "core/PackedTime.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace zuvo::platform;

namespace zuvo::quoteserver {
namespace {

// Flashes kept for the news lists: more than the model's news days can ever hold.
constexpr std::size_t kMaxFlashes = 2000;
// Ids the model leaves free in each trading day's block of 64: 9 .. 63.
constexpr std::uint32_t kFirstFreeId = 9;
constexpr std::uint32_t kLastFreeId = 63;

std::uint32_t Stamp(PackedTime time) {
  const std::uint32_t date =
      static_cast<std::uint32_t>((PackedYear(time) % 100) * 10000 + PackedMonth(time) * 100 + PackedDay(time));
  const std::uint32_t clock = static_cast<std::uint32_t>(PackedHour(time) * 100 + PackedMinute(time));
  return (clock << 20) | date;
}

template <std::size_t N>
void CopyText(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), gbk::CutLength(text, N - 1));
}

}  // namespace

bool ServerState::MakeFlash(const model::MarketModel& model, std::int64_t now, const std::string& title,
                            model::NewsItem* flash, std::string* error) {
  const PackedTime local = model.MarketTime(0, now);
  const PackedTime today = PackedDate(local);
  const PackedTime day = model::MarketModel::IsTradingDay(today) ? today : model::MarketModel::PrevTradingDay(today);
  const std::uint32_t base = model::MarketModel::NewsIdBase(day);
  if (local == 0 || base == 0) {
    *error = "no news day at the server's time";
    return false;
  }
  std::uint32_t newest = base + kFirstFreeId - 1;
  // The ids are copied out: the entries are packed records.
  for (const model::NewsItem& item : model.News(now)) newest = std::max<std::uint32_t>(newest, std::uint32_t{item.entry.id});
  for (const model::NewsItem& item : flashes_) newest = std::max<std::uint32_t>(newest, std::uint32_t{item.entry.id});
  if (newest + 1 > base + kLastFreeId) {
    *error = "the news ids free for flashes today are used up (55 a trading day)";
    return false;
  }
  ++flashSerial_;
  model::NewsItem item;
  item.entry.subKind = 0;
  item.entry.category = static_cast<std::uint8_t>(1 + (flashSerial_ - 1) % model::kNewsCategories);
  item.entry.id = newest + 1;
  item.entry.stamp = Stamp(local);
  std::string text = title;
  if (text.empty()) {
    char made[80];
    std::snprintf(made, sizeof made, "快讯：本地行情服务器第%d条快讯（%02d:%02d）", flashSerial_, PackedHour(local),
                  PackedMinute(local));
    text = made;
  }
  CopyText(item.entry.title, text);
  char body[160];
  std::snprintf(body, sizeof body, "\r\n\r\n本条快讯由本地行情服务器于%04d年%02d月%02d日 %02d:%02d发出，编号%u。\r\n",
                PackedYear(local), PackedMonth(local), PackedDay(local), PackedHour(local), PackedMinute(local),
                item.entry.id);
  item.text = std::string(item.entry.title) + body;
  flashes_.push_back(item);
  if (flashes_.size() > kMaxFlashes) flashes_.erase(flashes_.begin());
  *flash = std::move(item);
  return true;
}

void ServerState::SetNamesShifted(bool shifted) {
  shifted_ = shifted;
  shiftedNames_.clear();
  if (!shifted) return;
  for (std::size_t m = 0; m < tree_.markets().size(); ++m) {
    std::vector<InstrumentRecord> names = tree_.markets()[m].names;
    const std::size_t middle = names.size() / 2;
    InstrumentRecord added = names.empty() ? InstrumentRecord{} : names[std::min(middle, names.size() - 1)];
    // A code no instrument of the market has.
    for (int number = 99999; number > 0; --number) {
      char code[8];
      std::snprintf(code, sizeof code, "N%05d", number);
      const bool taken = std::any_of(names.begin(), names.end(),
                                     [&](const InstrumentRecord& name) { return std::strcmp(name.code, code) == 0; });
      if (!taken) {
        CopyText(added.code, code);
        break;
      }
    }
    CopyText(added.name, "新增品种");
    added.market = static_cast<std::uint8_t>(m);
    names.insert(names.begin() + static_cast<std::ptrdiff_t>(middle), added);
    for (std::size_t i = 0; i < names.size(); ++i) names[i].index = static_cast<std::uint16_t>(i);
    shiftedNames_.push_back(std::move(names));
  }
}

int ServerState::InsertedAt(int market) const {
  if (!shifted_ || market < 0 || static_cast<std::size_t>(market) >= tree_.markets().size()) return -1;
  return static_cast<int>(tree_.markets()[static_cast<std::size_t>(market)].names.size() / 2);
}

const std::vector<InstrumentRecord>& ServerState::Names(int market) const {
  const std::size_t m = static_cast<std::size_t>(market);
  return shifted_ && m < shiftedNames_.size() ? shiftedNames_[m] : tree_.markets()[m].names;
}

int ServerState::ServerIndex(int market, int clientIndex) const {
  const ServedMarket* served = tree_.Market(market);
  if (served == nullptr || clientIndex < 0) return -1;
  const int inserted = InsertedAt(market);
  int index = clientIndex;
  if (inserted >= 0) {
    if (clientIndex == inserted) return -1;
    if (clientIndex > inserted) --index;
  }
  return index < static_cast<int>(served->names.size()) ? index : -1;
}

int ServerState::ClientIndex(int market, int serverIndex) const {
  const int inserted = InsertedAt(market);
  return inserted >= 0 && serverIndex >= inserted ? serverIndex + 1 : serverIndex;
}

}  // namespace zuvo::quoteserver
