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

#pragma pack(push, 1)
// One quote update as the main window reads it (MsgQuoteEvent's second parameter).
struct _zvapp_pkg_ {
  std::uint16_t word0;     // 0
  std::uint16_t word1;     // 0
  STKPTR instrument;
  std::uint32_t flags;     // change flags
  std::uint8_t unused[4];
};
#pragma pack(pop)
// The size and layout of the records are checked in PushRecords.cpp with the wire structs.

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

}  // namespace zuvo::net
