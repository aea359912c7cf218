#include "PushFeed.h"

#include <algorithm>
#include <cstring>

namespace zuvo::quoteserver {
namespace {

constexpr std::uint32_t kOpeningValue = 4;
constexpr std::size_t kRecordsPerFrame = kMaxFrameBody / kPushRecord;   // 64
constexpr std::uint16_t kAdviceBase = 10000;
constexpr std::size_t kTitleField = 118;   // bytes 10 to 127

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void WritePushRecords(ReplyWriter* writer, const std::uint8_t* records, std::size_t count) {
  for (std::size_t at = 0; at < count; at += kRecordsPerFrame) {
    const std::size_t take = std::min(kRecordsPerFrame, count - at);
    writer->Single(wire::kPushRecords, records + at * kPushRecord, take * kPushRecord);
  }
}

PushFeed::PushFeed(const InstallTree& tree, const model::MarketModel& model, ServerState* state)
    : tree_(tree), model_(model), state_(state) {
  // The parts of each quote record that never change: the market and the code.
  for (std::size_t m = 0; m < tree_.markets().size(); ++m) {
    const std::vector<InstrumentRecord>& names = tree_.markets()[m].names;
    std::vector<Cached>& records = cache_.emplace_back(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::uint8_t* record = records[i].record;
      std::memset(record, 0, kPushRecord);
      Put16(record, static_cast<std::uint16_t>(m));
      std::memcpy(record + 116, names[i].code, strnlen(names[i].code, sizeof names[i].code));
    }
  }
}

int PushFeed::ClockMinutes(std::int64_t now) {
  if (state_->faults.On(Fault::kClock)) {
    state_->faults.Fired(Fault::kClock);
    return state_->faults.clockMinutes();
  }
  const std::int64_t minute = (now >= 0 ? now : now - 59) / 60;
  return static_cast<int>(((minute % 1440) + 1440) % 1440);
}

void PushFeed::ClockRecord(int minutes, std::uint8_t* record) const {
  std::memset(record, 0, kPushRecord);
  Put16(record + 2, static_cast<std::uint16_t>(minutes));
}

const std::uint8_t* PushFeed::QuoteRecordAt(int market, int index, std::int64_t now, std::uint64_t* version) {
  if (!cacheValid_ || now != cacheNow_) {
    ++serial_;
    cacheNow_ = now;
    cacheValid_ = true;
  }
  Cached& cached = cache_[static_cast<std::size_t>(market)][static_cast<std::size_t>(index)];
  if (cached.serial != serial_) {
    cached.serial = serial_;
    const QuoteRecord quote = model_.Quote(market, index, now);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&quote);
    std::uint8_t* record = cached.record;
    // The market (0-3) and the code (116-123) never change.
    const bool same = cached.version != 0 && std::memcmp(record + 4, bytes, 32) == 0 &&
                      std::memcmp(record + 36, bytes + 40, 80) == 0 &&
                      std::memcmp(record + 124, &quote.settlement, 4) == 0;
    if (!same) {
      std::memcpy(record + 4, bytes, 32);
      std::memcpy(record + 36, bytes + 40, 80);
      std::memcpy(record + 124, &quote.settlement, 4);
      ++cached.version;
    }
  }
  *version = cached.version;
  return cached.record;
}

bool PushFeed::Handle(PushSession* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
                      ReplyWriter* writer, std::string* note, std::int64_t now) {
  FaultSwitches& faults = state_->faults;
  if (!session->opened) {
    if (type != wire::kOpening || length < 4 || Get32(body) != kOpeningValue) {
      *note = "the first push frame is not the opening frame";
      return false;
    }
    session->opened = true;
    std::uint8_t record[kPushRecord];
    session->clockMinutes = ClockMinutes(now);
    ClockRecord(session->clockMinutes, record);
    WritePushRecords(writer, record, 1);
    return true;
  }
  switch (type) {
    case wire::kHeartbeat:
      if (faults.On(Fault::kEchoHeartbeat)) {
        faults.Fired(Fault::kEchoHeartbeat);
        writer->Empty(wire::kHeartbeat);
      }
      return true;
    case wire::kSubscribe:
      if (length < kSubscriptionBody) {
        *note = "subscription body shorter than 774 bytes";
        return false;
      }
      Subscribe(session, body, writer, now);
      return true;
    default:
      *note = "unknown type on the push port";
      return false;
  }
}

void PushFeed::Subscribe(PushSession* session, const std::uint8_t* body, ReplyWriter* writer, std::int64_t now) {
  const std::size_t count = std::min<std::size_t>(Get16(body + 768), kMaxSubscribed);
  const int asked = static_cast<std::int16_t>(Get16(body + 770));
  const std::size_t fresh = static_cast<std::size_t>(std::clamp<int>(asked, 0, static_cast<int>(count)));
  std::vector<PushKey> keys;
  keys.reserve(count);
  std::vector<std::uint8_t> snapshots;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint8_t* key = body + k * 3;
    const int market = key[0];
    const int index = state_->ServerIndex(market, Get16(key + 1));
    if (index < 0) continue;   // names nothing
    auto same = [&](const PushKey& other) { return other.market == market && other.index == index; };
    if (std::any_of(keys.begin(), keys.end(), same)) continue;
    PushKey entry;
    entry.market = static_cast<std::uint8_t>(market);
    entry.index = static_cast<std::uint16_t>(index);
    if (k < fresh) {
      const std::uint8_t* record = QuoteRecordAt(market, index, now, &entry.version);
      entry.sent = true;
      snapshots.insert(snapshots.end(), record, record + kPushRecord);
    } else if (auto kept = std::find_if(session->keys.begin(), session->keys.end(), same); kept != session->keys.end()) {
      entry.sent = kept->sent;
      entry.version = kept->version;
    }
    keys.push_back(entry);
  }
  session->keys = std::move(keys);
  WritePushRecords(writer, snapshots.data(), snapshots.size() / kPushRecord);
}

std::size_t PushFeed::Step(PushSession* session, std::int64_t now, ReplyWriter* writer) {
  if (!session->opened) return 0;
  // The records of one frame: the clock record first when the minute changed, then the
  // changed quotes. Each frame is copied once, into the writer's output where it can.
  const std::uint8_t* frame[kRecordsPerFrame];
  std::size_t held = 0;
  std::size_t quotes = 0;
  std::uint8_t clock[kPushRecord];
  const int minutes = ClockMinutes(now);
  if (minutes != session->clockMinutes) {
    session->clockMinutes = minutes;
    ClockRecord(minutes, clock);
    frame[held++] = clock;
  }
  auto flush = [&] {
    std::uint8_t* out = writer->InPlace(wire::kPushRecords, held * kPushRecord);
    std::uint8_t batch[kRecordsPerFrame * kPushRecord];
    std::uint8_t* to = out != nullptr ? out : batch;
    for (std::size_t r = 0; r < held; ++r) std::memcpy(to + r * kPushRecord, frame[r], kPushRecord);
    if (out == nullptr) writer->Single(wire::kPushRecords, batch, held * kPushRecord);
    held = 0;
  };
  for (PushKey& key : session->keys) {
    std::uint64_t version = 0;
    const std::uint8_t* record = QuoteRecordAt(key.market, key.index, now, &version);
    if (key.sent && key.version == version) continue;
    key.sent = true;
    key.version = version;
    frame[held++] = record;
    ++quotes;
    if (held == kRecordsPerFrame) flush();
  }
  if (held > 0) flush();
  return quotes;
}

void PushFeed::FlashRecord(const model::NewsItem& flash, std::uint8_t* record) {
  std::memset(record, 0, kPushRecord);
  record[0] = static_cast<std::uint8_t>(tree_.markets().size() + 1);
  record[1] = flash.entry.category;
  Put32(record + 2, flash.entry.id);
  Put32(record + 6, flash.entry.stamp);
  if (state_->faults.On(Fault::kLongFlash)) {
    // The whole field filled, no terminator.
    state_->faults.Fired(Fault::kLongFlash);
    const std::string title(flash.entry.title, strnlen(flash.entry.title, sizeof flash.entry.title));
    for (std::size_t i = 0; i < kTitleField; ++i) record[10 + i] = title.empty() ? '*' : title[i % title.size()];
    return;
  }
  std::memcpy(record + 10, flash.entry.title, strnlen(flash.entry.title, 79));
}

void PushFeed::FetchRecord(std::uint8_t* record) const {
  std::memset(record, 0, kPushRecord);
  record[0] = static_cast<std::uint8_t>(tree_.markets().size() + 2);
}

bool PushFeed::AdviceRecord(int market, int index, std::int64_t now, std::uint8_t* record) const {
  const std::vector<model::AdviceRecord> advice = model_.Advice(market, index, now);
  if (advice.empty()) return false;
  std::memset(record, 0, kPushRecord);
  Put16(record, static_cast<std::uint16_t>(market));
  Put16(record + 2, static_cast<std::uint16_t>(kAdviceBase + state_->ClientIndex(market, index)));
  std::memcpy(record + 6, &advice.back(), sizeof(model::AdviceRecord));
  return true;
}

}  // namespace zuvo::quoteserver
