// The push connection's records: the clock record once opened and at every minute change, a
// quote record per subscribed instrument whose quote changed since its last push (the first
// `new` keys of a subscription at once), news flashes, fetch requests and advice records. Each
// record is 128 bytes; a frame of type 8 carries at most 64.
//
// Records, by their first bytes (M = the number of markets):
// - clock: word 0 = 0, word 2 = the server's UTC minute of day, byte 116 = 0;
// - quote: word 0 the market, word 2 = 0, `QuoteRecord` bytes 0-31 at 4 and bytes 40-119 at 36,
//   the code at 116 (NUL-terminated), `settlement` at 124;
// - news flash: byte 0 = M + 1, byte 1 the category, the id at 2, the stamp at 6, the title at
//   10 (at most 79 bytes and its NUL);
// - fetch request: byte 0 = M + 2;
// - advice: word 0 the market, word 2 = 10000 + the instrument's index, the 108-byte advice
//   record at 6.
#pragma once

#include "InstallTree.h"
#include "MarketModel.h"
#include "ReplyWriter.h"
#include "ServerProtocol.h"
#include "ServerState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

class PushFeed {
 public:
  PushFeed(const InstallTree& tree, const model::MarketModel& model, ServerState* state);

  // A frame from the client: the opening frame first (type 202, the number 4), then
  // subscriptions (type 100, 774 bytes) and heartbeats. False when the connection must close,
  // with the reason in *note.
  bool Handle(PushSession* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
              ReplyWriter* writer, std::string* note, std::int64_t now);

  // One push step for an opened session: the clock record when the minute changed, then a
  // record per subscribed instrument whose quote changed since its last push (a quote that
  // changed and changed back, as when the clock is set back, goes again). The number of quote
  // records written.
  std::size_t Step(PushSession* session, std::int64_t now, ReplyWriter* writer);

  // Records pushed to every opened session.
  void FlashRecord(const model::NewsItem& flash, std::uint8_t* record);
  void FetchRecord(std::uint8_t* record) const;
  // The newest advice record of an instrument (server index) as a push record; false when it
  // has none.
  bool AdviceRecord(int market, int index, std::int64_t now, std::uint8_t* record) const;

  // The minute the clock records carry at now (clock=T replaces it).
  int ClockMinutes(std::int64_t now);

 private:
  void Subscribe(PushSession* session, const std::uint8_t* body, ReplyWriter* writer, std::int64_t now);
  void ClockRecord(int minutes, std::uint8_t* record) const;
  // The quote record of an instrument at now, computed once per instrument and moment, and
  // its version (*version), which changes whenever the record's bytes do: a key whose version
  // is the one it last pushed has nothing new, whichever session asks.
  const std::uint8_t* QuoteRecordAt(int market, int index, std::int64_t now, std::uint64_t* version);

  struct Cached {
    std::uint64_t serial = 0;    // the moment it was computed for
    std::uint64_t version = 0;   // 0: never computed
    std::uint8_t record[kPushRecord];
  };

  const InstallTree& tree_;
  const model::MarketModel& model_;
  ServerState* state_;
  std::vector<std::vector<Cached>> cache_;   // [market][index]
  std::uint64_t serial_ = 0;
  std::int64_t cacheNow_ = 0;
  bool cacheValid_ = false;
};

// Writes records (whole 128-byte ones) as type-8 frames of at most 64 records.
void WritePushRecords(ReplyWriter* writer, const std::uint8_t* records, std::size_t count);

}  // namespace zuvo::quoteserver
