// The records of the push connection and the process-wide state they keep: the server clock,
// the day change, the ring of notification slots the main window reads quote updates from, and
// the news-flash notices. The state outlives the push clients, which are replaced on every
// reconnect.
//
// UI thread only.
#pragma once

#include "data/NewsIndex.h"
#include "data/Records.h"
#include "data/StkPtr.h"
#include "platform/WinBase.h"

#include <cstdint>

constexpr int kPushRecordBytes = 128;
constexpr int kNotificationSlots = 2048;
constexpr int kNoticeSlots = 64;
constexpr int kSubscriptionKeys = 256;
constexpr int kSubscriptionBodyBytes = 774;
constexpr std::uint8_t kPushRecordsType = 8;
constexpr std::uint8_t kSubscriptionType = 100;
constexpr std::uint8_t kOpeningFrameType = 202;
// MsgQuoteEvent's first parameter for a quote update (second: the slot) and for a new server
// minute (second: the minutes since midnight, UTC).
constexpr WPARAM kQuoteEventUpdate = 0x10005;
constexpr WPARAM kQuoteEventClock = 2;

// Change flags of a quote update.
constexpr std::uint32_t kChangeLast = 0x1;
constexpr std::uint32_t kChangeAmount = 0x2;
constexpr std::uint32_t kChangeBestBid = 0x8;
constexpr std::uint32_t kChangeBestAsk = 0x10;
constexpr std::uint32_t kChangeBestBidVolume = 0x20;
constexpr std::uint32_t kChangeBestAskVolume = 0x40;
constexpr std::uint32_t kChangeVolume = 0x80;
constexpr std::uint32_t kChangeTrade = 0x100;
constexpr std::uint32_t kChangeTradeAtAsk = 0x200;
constexpr std::uint32_t kChangeTradeAtBid = 0x400;
constexpr std::uint32_t kChangePrevClose = 0x800;
constexpr std::uint32_t kChangeBidPrices = 0x1000;
constexpr std::uint32_t kChangeAskPrices = 0x2000;
constexpr std::uint32_t kChangeBidVolumes = 0x4000;
constexpr std::uint32_t kChangeAskVolumes = 0x8000;

// The value at offset 2 of an advice record: 10000 + the instrument's index.
constexpr std::uint16_t kAdviceIndexBase = 10000;
// The news-flash title: up to 118 bytes from byte 10, cut to fit the notice's 80-byte title.
constexpr int kFlashTitleBytes = 118;
// MsgServerData's first parameter for a pushed advice record (code 33, sub-code 0).
constexpr WPARAM kServerDataAdvice = 0x210000;

#pragma pack(push, 1)
// One quote update as the main window reads it (MsgQuoteEvent's second parameter).
struct _zvapp_pkg_ {
  std::uint16_t word0;     // 0
  std::uint16_t word1;     // 0
  STKPTR instrument;
  std::uint32_t flags;     // change flags
  std::uint8_t unused[4];
};

// The 128-byte push records, by kind (integers little-endian). What kind a record is follows
// from its first words (ClassifyPushRecord), never from the struct it is read through.
struct PushQuoteRecord {
  std::uint16_t market;
  std::uint16_t tag;               // below 10000, not used
  std::uint8_t head[32];           // QuoteRecord bytes 0-31 (prevClose .. lastVolume)
  std::uint8_t depth[80];          // QuoteRecord bytes 40-119 (bids, asks)
  char code[8];                    // not always terminated within its 8 bytes
  std::uint32_t settlement;
};
struct PushClockRecord {
  std::uint16_t zero;              // 0
  std::uint16_t minutes;           // the server's UTC minute of day
  std::uint8_t unused[124];        // byte 116 (relative 112 here) is 0
};
struct PushNewsRecord {
  std::uint8_t marker;             // MarketCount + 1
  std::uint8_t newsType;
  std::uint32_t id;
  std::uint32_t stamp;             // date and time word as in NewsRecord
  char title[kFlashTitleBytes];    // terminated only when shorter than the field
};
struct PushAdviceRecord {
  std::uint16_t market;
  std::uint16_t taggedIndex;       // kAdviceIndexBase + instrument index
  std::uint8_t unused[2];
  std::uint8_t advice[108];        // one advice record as the advice files hold it
  std::uint8_t rest[14];
};

// The body of a subscription frame.
struct PushSubscriptionBody {
  STKMS keys[256];                 // the used ones first, the rest 0
  std::uint16_t count;             // keys used
  std::int16_t newKeys;            // keys at the front new to the subscription, as the caller says
  std::uint16_t flag;              // 1 or 0
};
#pragma pack(pop)
static_assert(sizeof(_zvapp_pkg_) == 16);
static_assert(sizeof(PushQuoteRecord) == kPushRecordBytes);
static_assert(sizeof(PushClockRecord) == kPushRecordBytes);
static_assert(sizeof(PushNewsRecord) == kPushRecordBytes);
static_assert(sizeof(PushAdviceRecord) == kPushRecordBytes);
static_assert(sizeof(PushSubscriptionBody) == kSubscriptionBodyBytes);

namespace zuvo::net {

struct PushState {
  std::uint32_t serverClockTick = 0;     // tick of the last clock change; 0 none yet
  bool lateEvening = false;              // a clock record after 23:00 arrived
  std::uint32_t lateEveningDate = 0;     // the clock word's date (time bits clear) when it did
  int slotPosition = 0;                  // next slot of the ring, 0..2047
  int noticePosition = 0;                // next notice record, 0..kNoticeSlots-1
};
PushState& CurrentPushState();
// The ring of notification slots and the notice records.
_zvapp_pkg_* NotificationSlots();
NewsRecord* NoticeRecords();
// Forgets the clock and the positions and zeroes slots and notices (tests).
void ResetPushState();

// What a 128-byte push record is, with M = MarketCount: a clock record (market word 0, byte
// 116 0, word 2 below 10000: advice of market 0 looks the same but for its index), a news flash (market word M + 1), a fetch request (M + 2), any other market word of
// M or more (ignored), an advice record (market below M, word 2 of 10000 or more) or a quote.
enum class PushRecordKind { kClock, kNewsFlash, kFetch, kIgnored, kAdvice, kQuote };
PushRecordKind ClassifyPushRecord(const std::uint8_t* record, int marketCount);

}  // namespace zuvo::net
