#include "net/PushRecords.h"

#include "core/CoreUtil.h"
#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/CacheMerge.h"
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "net/RequestQueue.h"
#include "net/ServerRights.h"
#include "platform/Kernel.h"
#include "platform/Text.h"
#include "platform/WinUser.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace zuvo::net {
namespace {

PushState state;
_zvapp_pkg_ slots[kNotificationSlots];
NewsRecord notices[kNoticeSlots];

constexpr int kCodeOffset = 116;
constexpr int kLateEveningAfter = 1380;   // a clock record after 23:00 ...
constexpr int kEarlyMorningBefore = 60;   // ... then one before 01:00 is the next day
constexpr int kMinutesPerDay = 1440;
constexpr std::uint32_t kUpdateTimeFields = 0x1FFFF;   // hour, minute and second of updateTime

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Counts as changed when the whole-number parts differ and the old value was not 0 (a value
// appearing for the first time is no change). trunc keeps huge and non-finite wire values
// defined.
bool FloatChanged(float oldValue, float newValue) {
  return oldValue != 0.0f && std::trunc(oldValue) != std::trunc(newValue);
}

void Post(UINT message, WPARAM wParam, LPARAM lParam) {
  // A null window would make it a thread message nobody reads.
  if (HWND window = MainWindow(); window != nullptr) PostMessageA(window, message, wParam, lParam);
}

// ---- Clock ----------------------------------------------------------------------------------

void HandleClock(int minutes) {
  // An hour above 23 would spill into the clock word's date bits.
  if (minutes >= kMinutesPerDay) return;
  const int hour = minutes / 60;
  const int minute = minutes % 60;
  if (state.serverClockTick != 0 && PackedHour(SystemNow) == hour && PackedMinute(SystemNow) == minute) return;
  const DWORD tick = GetTickCount();
  state.serverClockTick = tick != 0 ? tick : 1;

  // The day changes when a record before 01:00 follows one after 23:00 : but only while the
  // clock word still shows the late evening's date: a reconnect after midnight has already
  // set it from the system clock, and advancing again would put it a day ahead.
  if (minutes > kLateEveningAfter) {
    state.lateEvening = true;
    state.lateEveningDate = PackedDate(SystemNow);   // a flag left from an earlier day follows
  } else if (state.lateEvening && minutes < kEarlyMorningBefore) {
    if (PackedDate(SystemNow) == state.lateEveningDate) NextDay(&SystemNow);
    state.lateEvening = false;
  }
  SystemNow = PackedDate(SystemNow) | (static_cast<PackedTime>(hour) << 6) | static_cast<PackedTime>(minute);

  const int markets = MarketCount < kMaxMarkets ? MarketCount : kMaxMarkets;
  for (int m = 0; m < markets; ++m) {
    if (MarketTables[m] != nullptr) MarketTables[m]->UpdateClock(SystemNow);
  }
  Post(MsgQuoteEvent, kQuoteEventClock, minutes);
}

// ---- News flash, fetch, advice ----------------------------------------------------------------

void HandleNewsFlash(const std::uint8_t* bytes) {
  // The news list is being caught up: the catch-up brings this item too.
  if (NewsIndex.NewsCatchUpFlag != 0) return;
  const PushNewsRecord* flash = reinterpret_cast<const PushNewsRecord*>(bytes);
  NewsRecord notice{};
  notice.categoryAndRead = static_cast<std::uint32_t>(flash->newsType) * 2;
  notice.stamp = Get32(bytes + offsetof(PushNewsRecord, stamp));
  notice.id = Get32(bytes + offsetof(PushNewsRecord, id));
  const char* text = flash->title;
  const std::size_t length = strnlen(text, kFlashTitleBytes);
  const std::size_t kept = platform::gbk::CutLength(std::string_view(text, length), sizeof notice.title - 1);
  std::memcpy(notice.title, text, kept);
  notice.title[kept] = '\0';

  NewsIndex.Grow(1);
  NewsIndex.Insert(notice, true);
  if (!HasNewsRight(flash->newsType)) return;
  // Each notice travels in a record of its own, so a second flash cannot overwrite the first
  // before the main window reads it.
  NewsRecord& posted = notices[state.noticePosition];
  state.noticePosition = (state.noticePosition + 1) % kNoticeSlots;
  posted = notice;
  Post(MsgOnlineNotice, 0, reinterpret_cast<LPARAM>(&posted));
}

void HandleFetch() {
  if (NormalClnt != nullptr) NormalClnt->RequestRealtimeMessage(-1);
}

void HandleAdvice(const std::uint8_t* bytes, int market) {
  const int index = Get16(bytes + offsetof(PushAdviceRecord, taggedIndex)) - kAdviceIndexBase;
  const STKPTR instrument(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(index));
  const InstrumentRecord* record = GetInstrumentRecord(instrument);
  if (record == nullptr) return;
  // The path comes from the table's folder and the instrument's own code: nothing of the
  // record names a file.
  const TMarketData* table = MarketTables[market];
  std::string folder;
  std::string path;
  if (!CacheFolderPath(CacheFile::Advice, table, folder) || !CacheFilePath(CacheFile::Advice, table, record->code, path)) {
    return;
  }
  CreateDirectoryPath(folder.c_str());
  MergeAdvice(path.c_str(), bytes + offsetof(PushAdviceRecord, advice), 1);
  Post(MsgServerData, kServerDataAdvice, static_cast<LPARAM>(StkPtrToWord(instrument)));
}

// ---- Quote ----------------------------------------------------------------------------------

void StampUpdateTime(QuoteRecord* quote, PackedTime marketNow) {
  int hour = PackedHour(marketNow);
  int minute = PackedMinute(marketNow);
  int second = 0;
  if (state.serverClockTick != 0) {
    const std::uint32_t seconds = (GetTickCount() - state.serverClockTick) / 1000;
    second = static_cast<int>(seconds % 60);
    if (seconds >= 60 && ++minute >= 60) {
      minute = 0;
      if (++hour >= 24) hour = 0;
    }
  }
  quote->updateTime = (quote->updateTime & ~kUpdateTimeFields) | (static_cast<std::uint32_t>(hour) << 12) |
                      (static_cast<std::uint32_t>(minute) << 6) | static_cast<std::uint32_t>(second);
}

std::uint32_t DepthFlags(const QuoteRecord& old, const QuoteRecord& fresh) {
  std::uint32_t flags = 0;
  if (old.bids[0].price != fresh.bids[0].price) flags |= kChangeBestBid;
  if (old.asks[0].price != fresh.asks[0].price) flags |= kChangeBestAsk;
  if (FloatChanged(old.bids[0].volume, fresh.bids[0].volume)) flags |= kChangeBestBidVolume;
  if (FloatChanged(old.asks[0].volume, fresh.asks[0].volume)) flags |= kChangeBestAskVolume;
  for (int level = 1; level < 5; ++level) {
    if (old.bids[level].price != fresh.bids[level].price) flags |= kChangeBidPrices;
    if (old.asks[level].price != fresh.asks[level].price) flags |= kChangeAskPrices;
    if (FloatChanged(old.bids[level].volume, fresh.bids[level].volume)) flags |= kChangeBidVolumes;
    if (FloatChanged(old.asks[level].volume, fresh.asks[level].volume)) flags |= kChangeAskVolumes;
  }
  return flags;
}

void HandleQuote(const std::uint8_t* bytes, int market) {
  TMarketData* table = MarketTables[market];
  if (table == nullptr || table->quotes == nullptr || table->lastTrades == nullptr) return;
  // The code field need not be terminated: compare within its 8 bytes.
  char code[sizeof(PushQuoteRecord::code) + 1];
  std::memcpy(code, bytes + kCodeOffset, sizeof code - 1);
  code[sizeof code - 1] = '\0';
  int found = market;
  const InstrumentRecord* record = FindInstrumentByCode(code, &found, false);
  if (record == nullptr) return;
  const int index = static_cast<int>(record - table->names);
  if (index < 0 || index >= table->count) return;

  QuoteRecord& quote = table->quotes[index];
  auto* quoteBytes = reinterpret_cast<std::uint8_t*>(&quote);
  const std::uint8_t* head = bytes + offsetof(PushQuoteRecord, head);
  const std::uint8_t* depth = bytes + offsetof(PushQuoteRecord, depth);
  constexpr std::size_t kDepthAt = offsetof(QuoteRecord, bids);
  QuoteRecord fresh;
  auto* freshBytes = reinterpret_cast<std::uint8_t*>(&fresh);
  std::memcpy(freshBytes, head, sizeof PushQuoteRecord::head);
  std::memcpy(freshBytes + kDepthAt, depth, sizeof PushQuoteRecord::depth);

  if (std::memcmp(quoteBytes, head, sizeof PushQuoteRecord::head) != 0 ||
      std::memcmp(quoteBytes + kDepthAt, depth, sizeof PushQuoteRecord::depth) != 0) {
    StampUpdateTime(&quote, table->now);
  }

  std::uint32_t flags = 0;
  if (fresh.last != quote.last) flags |= kChangeLast;
  if (FloatChanged(quote.amount, fresh.amount)) flags |= kChangeAmount;
  if (FloatChanged(quote.volume, fresh.volume)) flags |= kChangeVolume;
  if (fresh.prevClose != quote.prevClose) flags |= kChangePrevClose;
  const unsigned category = table->GetCategory(index);
  const bool noDepth = category < kMaxCategories && table->record.categories[category].noDepth != 0;
  if (!noDepth) flags |= DepthFlags(quote, fresh);

  // A trade: the volume grew, or, where the volume says nothing of single trades, the last
  // price moved.
  const int kind = table->record.kind;
  const bool lastMovesTrade = kind == 3 || kind == 4 || kind == 7 || (kind == 6 && noDepth);
  if (fresh.volume > quote.volume || ((flags & kChangeLast) != 0 && lastMovesTrade)) {
    std::uint32_t* prices = table->lastTrades[index].price;
    std::memmove(prices + 1, prices, 4 * sizeof prices[0]);
    prices[0] = quote.last;
    flags |= kChangeTrade;
    if (fresh.last >= quote.asks[0].price) {
      flags |= kChangeTradeAtAsk;
    } else if (fresh.last <= quote.bids[0].price) {
      flags |= kChangeTradeAtBid;
    }
  }

  std::memcpy(quoteBytes, head, sizeof PushQuoteRecord::head);
  std::memcpy(quoteBytes + kDepthAt, depth, sizeof PushQuoteRecord::depth);
  std::memcpy(&quote.settlement, bytes + offsetof(PushQuoteRecord, settlement), sizeof quote.settlement);

  _zvapp_pkg_& slot = slots[state.slotPosition];
  state.slotPosition = (state.slotPosition + 1) % kNotificationSlots;
  slot.word0 = 0;
  slot.word1 = 0;
  slot.instrument = STKPTR(static_cast<unsigned char>(market), 0, static_cast<unsigned short>(index));
  slot.flags = flags;
  // Sent: the main window handles the slot (views, alarms, series) before the next record.
  if (HWND window = MainWindow(); window != nullptr) {
    SendMessageA(window, MsgQuoteEvent, kQuoteEventUpdate, reinterpret_cast<LPARAM>(&slot));
  }
}

}  // namespace

PushState& CurrentPushState() { return state; }
_zvapp_pkg_* NotificationSlots() { return slots; }
NewsRecord* NoticeRecords() { return notices; }

void ResetPushState() {
  state = PushState{};
  for (_zvapp_pkg_& slot : slots) {
    slot.word0 = 0;
    slot.word1 = 0;
    slot.instrument = STKPTR();
    slot.flags = 0;
    std::memset(slot.unused, 0, sizeof slot.unused);
  }
  std::memset(notices, 0, sizeof notices);
}

PushRecordKind ClassifyPushRecord(const std::uint8_t* record, int marketCount) {
  const int markets = marketCount < 0 ? 0 : (marketCount > kMaxMarkets ? kMaxMarkets : marketCount);
  const int market = Get16(record);
  const bool adviceIndex = Get16(record + 2) >= kAdviceIndexBase;
  // Advice of market 0 also starts with a 0 word and has byte 116 clear (its advice ends at
  // 113): its index word, never a minute of the day, tells it from a clock record.
  if (market == 0 && record[kCodeOffset] == 0 && !adviceIndex) return PushRecordKind::kClock;
  if (market >= markets) {
    // A special record names itself by its first byte (the second is the news type).
    if (record[0] == markets + 1) return PushRecordKind::kNewsFlash;
    if (record[0] == markets + 2) return PushRecordKind::kFetch;
    return PushRecordKind::kIgnored;
  }
  if (adviceIndex) return PushRecordKind::kAdvice;
  return PushRecordKind::kQuote;
}

}  // namespace zuvo::net

int TRealDataClnt::DispatchRecords(TRealDataClnt* client, const std::uint8_t* body, int length) {
  using namespace zuvo::net;
  if (client == nullptr || client->header.type != kPushRecordsType || body == nullptr || length < 1) return 0;
  // A remainder shorter than a record is left unread.
  for (int at = 0; length - at >= kPushRecordBytes; at += kPushRecordBytes) {
    const std::uint8_t* record = body + at;
    // MarketCount is read for every record: the main window handles each quote before the next.
    switch (ClassifyPushRecord(record, MarketCount)) {
      case PushRecordKind::kClock:
        HandleClock(Get16(record + offsetof(PushClockRecord, minutes)));
        break;
      case PushRecordKind::kNewsFlash:
        HandleNewsFlash(record);
        break;
      case PushRecordKind::kFetch:
        HandleFetch();
        break;
      case PushRecordKind::kIgnored:
        break;
      case PushRecordKind::kAdvice:
        HandleAdvice(record, Get16(record));
        break;
      case PushRecordKind::kQuote:
        HandleQuote(record, Get16(record));
        break;
    }
  }
  return length;
}
