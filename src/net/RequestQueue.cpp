#include "net/RequestQueue.h"

#include "core/PackedTime.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "net/DispatchInfo.h"
#include "net/NetFrame.h"
#include "net/NetHooks.h"
#include "net/NormalClnt.h"
#include "net/RequestFrames.h"
#include "platform/Kernel.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>

TNormalClnt* NormalClnt = nullptr;

namespace {

// ---- Late replies ---------------------------------------------------------------------------------

// The replies an expired request may still bring, by what they would overwrite: a news text, a
// note, a sort result.
enum LateCategory { kLateNewsText, kLateNote, kLateSort, kLateCategories };
// Marks kept per category; beyond this the oldest mark goes (its reply is the least likely to
// come, and a server that answers nothing of a kind must not make every later reply late).
constexpr int kMaxLateMarks = 16;

struct LateMarks {
  std::uint32_t serial[kMaxLateMarks];   // send serials of the expired requests, oldest first
  int count = 0;
};

// The category of the reply a request owes when it expires, or -1 when a late reply of its kind
// does no harm (it matches nothing, or its data is keyed by the reply itself).
int OwedCategory(const RequestRecord& slot) {
  if (slot.kind == kRequestNews && slot.param == kNewsText) return kLateNewsText;
  if (slot.kind == kRequestNote) return kLateNote;
  if (slot.kind == kRequestServerSort) return kLateSort;
  return -1;
}

// The category of a reply by its type and sub-kind, or -1.
int ReplyCategory(std::uint8_t type, int subKind) {
  if (type == 15 && subKind == kNewsText) return kLateNewsText;
  if (type == 16 && subKind == kNoteReply) return kLateNote;
  if (type == 101) return kLateSort;
  return -1;
}

// Serials wrap; the older of two is the one a signed difference puts first.
bool SentBefore(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; }

// ---- The ring ---------------------------------------------------------------------------------------

struct Queue {
  RequestRecord slots[kRequestQueueSlots];
  std::uint32_t serials[kRequestQueueSlots] = {};   // send order of the requests in flight
  // The search keys of every slot, kept beside the records (SetSlot, WithdrawSlot): the
  // duplicate searches read these dense arrays (3 KB) and look at a record only where they say
  // it may decide.
  std::uint32_t groupOf[kRequestQueueSlots] = {};       // SearchGroup; 0 withdrawn or unused
  std::uint32_t targetKeyOf[kRequestQueueSlots] = {};   // TargetKey
  std::uint32_t requesterOf[kRequestQueueSlots] = {};
  std::uint8_t historyStart = 0;
  std::uint8_t inFlightStart = 0;
  std::uint8_t sendPos = 0;
  std::uint8_t writePos = 0;
  int count = 0;           // slots from inFlightStart up to writePos
  // Region sizes beside the positions: the positions alone cannot tell an empty region from a
  // full one once the ring holds 256 slots.
  int finished = 0;        // [historyStart, inFlightStart)
  int inFlightSlots = 0;   // [inFlightStart, sendPos), withdrawn slots included
  int pending = 0;         // [sendPos, writePos)
  int liveInFlight = 0;    // the requests in flight, withdrawn slots not counted
  std::uint32_t nextSerial = 0;
  LateMarks late[kLateCategories];
};

Queue& TheQueue() {
  static Queue queue;
  return queue;
}

RequestRecord& At(Queue& q, int position) { return q.slots[position & 0xFF]; }

bool IsNewsList(const RequestRecord& slot) { return slot.kind == kRequestNews && slot.param == kNewsList; }

// ---- Search keys ----------------------------------------------------------------------------------

// The searches compare requests of one group: the kind, with 6 and 7 as one group and news lists
// apart from the other news requests. 0 for a withdrawn slot, which matches nothing.
constexpr std::uint32_t kGroupNewsList = 250;
constexpr std::uint32_t kGroupNewsOther = 251;
// A target key no slot has (no group is 255).
constexpr std::uint32_t kNoTargetKey = 0xFFFFFFFFu;

std::uint32_t SearchGroup(const RequestRecord& r) {
  if (r.kind == kRequestDayBars) return kRequestIntradayBars;
  if (r.kind == kRequestNews) return r.param == kNewsList ? kGroupNewsList : kGroupNewsOther;
  return r.kind;
}

// A fingerprint of a few fields: each value mixed in a word at a time.
std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  hash = (hash ^ value) * 0x9E3779B97F4A7C15u;
  return hash ^ (hash >> 29);
}
// A NUL-terminated text of at most `size` bytes, eight bytes a step (the bytes after its end
// count as 0, so what follows the terminator does not change the fingerprint).
template <std::size_t Size>
std::uint64_t MixText(std::uint64_t hash, const char (&text)[Size]) {
  const std::size_t length = strnlen(text, Size);
  char words[(Size + 7) / 8 * 8] = {};
  std::memcpy(words, text, length);
  for (std::size_t at = 0; at < length; at += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, words + at, 8);
    hash = Mix(hash, word);
  }
  return Mix(hash, length);
}

// The group in the top byte and 24 bits of a fingerprint of the fields that make the target
// (MergeRequest's table; codes and texts as NUL-terminated text). Equal targets give equal keys;
// equal keys are confirmed field by field. Kinds without a target key their group alone.
std::uint32_t TargetKey(const RequestRecord& r) {
  std::uint64_t hash = 0;
  switch (r.kind) {
    case kRequestIntradayBars: case kRequestDayBars:
      hash = Mix(MixText(Mix(hash, r.market), r.code), static_cast<std::uint32_t>(r.param));
      break;
    case kRequestTradeDetails: case kRequestRecentTrades: case kRequestExRights: case kRequestTicks:
    case kRequestAdvice:
      hash = MixText(Mix(hash, r.market), r.code);
      break;
    case kRequestDayTrend: case kRequestInfoIndex:
      hash = Mix(MixText(Mix(hash, r.market), r.code), r.value1);
      break;
    case kRequestInfoText:
      hash = Mix(hash, r.market | static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.param)) << 16);
      hash = Mix(hash, r.value1 | static_cast<std::uint64_t>(r.value2) << 32);
      hash = MixText(MixText(hash, r.code), r.text);
      break;
    default:
      break;   // no target: the group alone
  }
  return SearchGroup(r) << 24 | static_cast<std::uint32_t>(hash >> 40);
}

// Every write of a whole record into a slot goes through here, so its keys follow it.
void SetSlot(Queue& q, int position, const RequestRecord& r) {
  const int at = position & 0xFF;
  q.slots[at] = r;
  q.groupOf[at] = SearchGroup(r);
  q.targetKeyOf[at] = TargetKey(r);
  q.requesterOf[at] = r.requester;
}

void WithdrawSlot(Queue& q, int position) {
  const int at = position & 0xFF;
  q.slots[at].kind = kRequestWithdrawn;
  q.groupOf[at] = 0;
  q.targetKeyOf[at] = 0;
}

// What a search looks for: a slot whose target key is `targetKey`, or one of group `group` whose
// requester equals `requester` in the bits of `requesterMask` (mask 0: any slot of the group).
struct SearchKeys {
  std::uint32_t targetKey = kNoTargetKey;
  std::uint32_t group = kNoTargetKey;
  std::uint32_t requester = 0;
  std::uint32_t requesterMask = 0xFFFFFFFFu;
};

bool MayDecide(const Queue& q, int at, const SearchKeys& keys) {
  return (q.targetKeyOf[at] == keys.targetKey) |
         ((q.groupOf[at] == keys.group) & (((q.requesterOf[at] ^ keys.requester) & keys.requesterMask) == 0));
}

// Walks `count` slots from `first` newest first and offers `decide` each slot the keys say may
// decide, until it returns true (then true). The keys are tested a block at a time without
// branches, so a search that finds nothing costs a pass over the dense arrays.
template <typename Decide>
bool SearchNewestFirst(const Queue& q, std::uint8_t first, int count, const SearchKeys& keys, Decide decide) {
  constexpr int kBlock = 16;
  // The region as at most two runs of ascending positions: [first, upper) and [0, wrapped).
  const int end = first + count;
  const int upper = std::min(end, kRequestQueueSlots);
  const int wrapped = end - upper;
  const auto run = [&](int low, int high) {
    while (high > low) {
      const int start = std::max(low, high - kBlock);
      bool any = false;
      if (high - start == kBlock) {
        unsigned hits = 0;
        for (int i = 0; i < kBlock; ++i) hits |= MayDecide(q, start + i, keys) ? 1u : 0u;
        any = hits != 0;
      } else {
        any = true;
      }
      if (any) {
        for (int at = high - 1; at >= start; --at) {
          if (MayDecide(q, at, keys) && decide(at)) return true;
        }
      }
      high = start;
    }
    return false;
  };
  return run(0, wrapped) || run(first, upper);
}

// The news catch-up ends: clear the flag and tell the main window once.
void EndNewsCatchUp() {
  if (NewsIndex.NewsCatchUpFlag == 0) return;
  NewsIndex.NewsCatchUpFlag = 0;
  PostMessage(zuvo::net::MainWindow(), MsgServerData, static_cast<WPARAM>(15) << 16, 0);
}

// The oldest slot of the flight becomes finished.
void RetireHead(Queue& q) {
  if (At(q, q.inFlightStart).kind != kRequestWithdrawn) --q.liveInFlight;
  ++q.inFlightStart;
  --q.inFlightSlots;
  --q.count;
  ++q.finished;
}

void DropWithdrawnHead(Queue& q) {
  while (q.inFlightSlots > 0 && At(q, q.inFlightStart).kind == kRequestWithdrawn) RetireHead(q);
}

void AddLateMark(Queue& q, int category, std::uint32_t serial) {
  LateMarks& marks = q.late[category];
  if (marks.count == kMaxLateMarks) {
    std::memmove(marks.serial, marks.serial + 1, sizeof(std::uint32_t) * (kMaxLateMarks - 1));
    --marks.count;
  }
  marks.serial[marks.count++] = serial;
}

// The server answers in order: once it has answered the request sent as `serial`, no request
// sent before it will be answered any more.
void DropMarksBefore(Queue& q, std::uint32_t serial) {
  for (LateMarks& marks : q.late) {
    int kept = 0;
    for (int i = 0; i < marks.count; ++i) {
      if (!SentBefore(marks.serial[i], serial)) marks.serial[kept++] = marks.serial[i];
    }
    marks.count = kept;
  }
}

void ExpireInFlight(Queue& q, std::uint32_t now) {
  for (;;) {
    DropWithdrawnHead(q);
    if (q.inFlightSlots == 0) return;
    const RequestRecord& head = At(q, q.inFlightStart);
    if (!IntervalElapsed(head.stamp, now, kRequestExpiryMs)) return;
    // A reply being written belongs to the oldest request: it will not be finished now.
    zuvo::net::DiscardUnfinishedReply();
    if (IsNewsList(head)) EndNewsCatchUp();
    const int category = OwedCategory(head);
    if (category >= 0) AddLateMark(q, category, q.serials[q.inFlightStart]);
    RetireHead(q);
  }
}

// ---- Repeats ------------------------------------------------------------------------------------------

bool SameText(const char* a, const char* b, std::size_t size) { return std::strncmp(a, b, size) == 0; }
bool SameCode(const RequestRecord& a, const RequestRecord& b) { return SameText(a.code, b.code, sizeof a.code); }

// Kinds whose requests have a target (what they fetch), and 6 and 7 fetch the same files.
bool HasTarget(const RequestRecord& r) {
  switch (r.kind) {
    case kRequestIntradayBars: case kRequestDayBars: case kRequestTradeDetails: case kRequestRecentTrades:
    case kRequestExRights: case kRequestTicks: case kRequestAdvice: case kRequestDayTrend:
    case kRequestInfoIndex: case kRequestInfoText: return true;
    default: return IsNewsList(r);
  }
}

bool SameGroup(const RequestRecord& slot, const RequestRecord& r) {
  const auto group = [](std::uint8_t kind) { return kind == kRequestDayBars ? kRequestIntradayBars : kind; };
  if (r.kind == kRequestNews) return IsNewsList(slot) && IsNewsList(r);
  return slot.kind != kRequestWithdrawn && group(slot.kind) == group(r.kind);
}

// Same group assumed.
bool SameTarget(const RequestRecord& a, const RequestRecord& b) {
  switch (b.kind) {
    case kRequestIntradayBars: case kRequestDayBars:
      return a.param == b.param && a.market == b.market && SameCode(a, b);
    case kRequestTradeDetails: case kRequestRecentTrades: case kRequestExRights: case kRequestTicks:
    case kRequestAdvice:
      return a.market == b.market && SameCode(a, b);
    case kRequestDayTrend:
      return a.market == b.market && SameCode(a, b) && a.value1 == b.value1;
    case kRequestInfoIndex:
      return a.market == b.market && a.value1 == b.value1 && SameCode(a, b);
    case kRequestInfoText:
      return a.market == b.market && a.param == b.param && a.value1 == b.value1 && a.value2 == b.value2 &&
             SameCode(a, b) && SameText(a.text, b.text, sizeof a.text);
    case kRequestNews:
      return true;   // any news list asks for the same thing
    default:
      return false;
  }
}

// Removes from r's list every key that a pending snapshot already asks for (lists are at most
// 256 keys; the order of the keys left is kept).
void PruneKeysPending(Queue& q, RequestRecord& r) {
  EArray<STKMS>* list = r.keyList;
  if (list == nullptr || list->GetSize() == 0) return;
  const int size = list->GetSize();
  STKMS* keys = list->GetData();
  // r's keys sorted (by packed value, with their places) so each pending key is one binary search.
  std::uint32_t sorted[kMaxRequestKeys];
  bool drop[kMaxRequestKeys] = {};
  for (int i = 0; i < size; ++i) {
    sorted[i] = (static_cast<std::uint32_t>(keys[i].market) << 24 | static_cast<std::uint32_t>(keys[i].index) << 8) |
                static_cast<std::uint32_t>(i);
  }
  std::sort(sorted, sorted + size);
  // A bit per 16-bit hash of r's keys: most pending keys are passed on one bit test.
  std::uint64_t seen[1024] = {};
  const auto bit = [](std::uint32_t packed) { return (packed * 0x9E3779B1u) >> 16; };
  for (int i = 0; i < size; ++i) {
    const std::uint32_t b = bit(sorted[i] & 0xFFFFFF00u);
    seen[b >> 6] |= std::uint64_t{1} << (b & 63);
  }
  for (int p = 0; p < q.pending; ++p) {
    const RequestRecord& slot = At(q, q.sendPos + p);
    if (slot.kind != kRequestSnapshot || slot.keyList == nullptr) continue;
    const STKMS* other = slot.keyList->GetData();
    for (int k = 0; k < slot.keyList->GetSize(); ++k) {
      const std::uint32_t packed =
          static_cast<std::uint32_t>(other[k].market) << 24 | static_cast<std::uint32_t>(other[k].index) << 8;
      const std::uint32_t b = bit(packed);
      if ((seen[b >> 6] >> (b & 63) & 1) == 0) continue;
      // Every entry of r with this key (r may repeat a key) sits in [lower, packed | 0xFF].
      for (const std::uint32_t* at = std::lower_bound(sorted, sorted + size, packed);
           at != sorted + size && (*at & 0xFFFFFF00u) == packed; ++at) {
        drop[*at & 0xFF] = true;
      }
    }
  }
  int kept = 0;
  for (int i = 0; i < size; ++i) {
    if (!drop[i]) keys[kept++] = keys[i];
  }
  list->SetSize(kept);
}

enum class Merge { kAccept, kTakenInPlace, kRefuse };

Merge MergeRequest(Queue& q, RequestRecord& r, std::uint32_t now) {
  // A snapshot drops the keys pending elsewhere and is always accepted.
  if (r.kind == kRequestSnapshot) {
    PruneKeysPending(q, r);
    return Merge::kAccept;
  }
  Merge result = Merge::kAccept;
  const std::uint32_t group = SearchGroup(r);
  const std::uint32_t targetKey = TargetKey(r);
  const auto takeInPlace = [&](int at) {
    SetSlot(q, at, r);
    result = Merge::kTakenInPlace;
    return true;
  };

  // 1. Pending requests, newest first.
  SearchKeys pending;
  pending.group = group;
  pending.requester = r.requester;
  if (r.kind == kRequestServerSort) {
    // The newest pending sort of the same requester gives its place (and its array).
    SearchNewestFirst(q, q.sendPos, q.pending, pending, [&](int at) {
      ReleaseRequestData(&q.slots[at]);
      return takeInPlace(at);
    });
    return result;
  }
  if (!HasTarget(r)) return Merge::kAccept;
  if (IsNewsList(r)) {
    pending.requesterMask = 0;   // any pending news list
    if (SearchNewestFirst(q, q.sendPos, q.pending, pending, takeInPlace)) return result;
  } else {
    pending.targetKey = targetKey;
    const bool decided = SearchNewestFirst(q, q.sendPos, q.pending, pending, [&](int at) {
      const RequestRecord& slot = q.slots[at];
      if (q.targetKeyOf[at] == targetKey && SameTarget(slot, r)) {
        result = Merge::kRefuse;
        return true;
      }
      if (q.groupOf[at] == group && slot.requester == r.requester) return takeInPlace(at);
      return false;   // keys alike, target not
    });
    if (decided) return result;
  }

  // 2. Requests in flight, newest first: the same target refuses.
  SearchKeys target;
  target.targetKey = targetKey;
  const auto sameTarget = [&](int at) { return SameGroup(q.slots[at], r) && SameTarget(q.slots[at], r); };
  if (SearchNewestFirst(q, q.inFlightStart, q.inFlightSlots, target, sameTarget)) return Merge::kRefuse;

  // 3. Finished requests of the kinds fetched from the position held: answered less than 1000 ms
  // ago, the answer has not been taken into the cache file the caller looked at yet.
  if (r.kind == kRequestTradeDetails || r.kind == kRequestExRights || r.kind == kRequestTicks) {
    const auto answeredJustNow = [&](int at) {
      const RequestRecord& slot = q.slots[at];
      return slot.kind == r.kind && slot.market == r.market && !IntervalElapsed(slot.stamp, now, kRepeatWindowMs) &&
             SameCode(slot, r);
    };
    const auto first = static_cast<std::uint8_t>(q.inFlightStart - q.finished);
    if (SearchNewestFirst(q, first, q.finished, target, answeredJustNow)) return Merge::kRefuse;
  }
  return Merge::kAccept;
}

// Drops from a snapshot list the instruments whose extra quote fields are already filled.
void PruneFilledKeys(EArray<STKMS>* list) {
  if (list == nullptr) return;
  STKMS* keys = list->GetData();
  int kept = 0;
  for (int i = 0; i < list->GetSize(); ++i) {
    const TMarketData* table = GetMarketTable(keys[i].market);
    const bool filled = table != nullptr && table->extras != nullptr && keys[i].index < table->count &&
                        table->extras[keys[i].index].filled != 0;
    if (!filled) keys[kept++] = keys[i];
  }
  list->SetSize(kept);
}

// A kind-28 list above 256 keys is cut: the frame carries 256.
void CutKeyList(RequestRecord& r) {
  if (r.keyList != nullptr && r.keyList->GetSize() > kMaxRequestKeys) r.keyList->SetSize(kMaxRequestKeys);
}

// Looks a slot up for the queries: the first live slot in flight, oldest first, that `match`
// accepts.
template <typename Match>
const RequestRecord* FirstInFlight(Queue& q, Match match) {
  for (int i = 0; i < q.inFlightSlots; ++i) {
    const RequestRecord& slot = At(q, q.inFlightStart + i);
    if (slot.kind != kRequestWithdrawn && match(slot)) return &slot;
  }
  return nullptr;
}

template <typename Match>
bool AnyPendingOrInFlight(Queue& q, Match match) {
  for (int i = 0; i < q.inFlightSlots + q.pending; ++i) {
    const RequestRecord& slot = At(q, q.inFlightStart + i);
    if (slot.kind != kRequestWithdrawn && match(slot)) return true;
  }
  return false;
}

bool CodeIs(const RequestRecord& slot, const char* code) {
  return code != nullptr && std::strncmp(slot.code, code, sizeof slot.code) == 0;
}

// Pending, in flight or finished less than 1000 ms ago; the finished search stops at the first
// request (withdrawn slots excepted) that finished 1000 ms ago or more.
bool RecentlyAsked(std::uint8_t kind, const char* code, int market) {
  Queue& q = TheQueue();
  const auto same = [&](const RequestRecord& slot) {
    return slot.kind == kind && slot.market == market && CodeIs(slot, code);
  };
  if (AnyPendingOrInFlight(q, same)) return true;
  const std::uint32_t now = GetTickCount();
  for (int i = 1; i <= q.finished; ++i) {
    const RequestRecord& slot = At(q, q.inFlightStart - i);
    if (slot.kind == kRequestWithdrawn) continue;
    if (IntervalElapsed(slot.stamp, now, kRepeatWindowMs)) return false;
    if (same(slot)) return true;
  }
  return false;
}

}  // namespace

// ---- Operations -----------------------------------------------------------------------------------------

void EnqueueRequest(const RequestRecord& record) {
  if (!IsQueuedRequestKind(record.kind)) return;
  RequestRecord r = record;
  // Only a snapshot owns a list and only a sort an array; a stray pointer elsewhere is neither
  // sent nor released.
  if (r.kind != kRequestSnapshot) r.keyList = nullptr;
  if (r.kind != kRequestServerSort) r.keyArray = nullptr;
  r.dataServerBlock = nullptr;
  // A sort on a column the server has no code for could never be sent: refusing it here keeps
  // the connection (a failed build would close it, and the view's next refresh would ask again).
  if (r.kind == kRequestServerSort && ServerSortCode(r.param) < 0) {
    ReleaseRequestData(&r);
    return;
  }
  CutKeyList(r);

  Queue& q = TheQueue();
  const std::uint32_t now = GetTickCount();
  ExpireInFlight(q, now);
  if (q.count >= kRequestQueueSlots) {
    ReleaseRequestData(&r);
    return;
  }
  switch (MergeRequest(q, r, now)) {
    case Merge::kRefuse:
      ReleaseRequestData(&r);
      break;
    case Merge::kTakenInPlace:
      break;
    case Merge::kAccept:
      // No free slot left: the oldest finished request gives its place. The finished region
      // only shrinks, so historyStart never passes inFlightStart.
      if (q.count + q.finished >= kRequestQueueSlots) {
        ++q.historyStart;
        --q.finished;
      }
      SetSlot(q, q.writePos, r);
      ++q.writePos;
      ++q.count;
      ++q.pending;
      break;
  }
  SendPendingRequests();
}

void SendPendingRequests() {
  Queue& q = TheQueue();
  int budget = kMaxRequestsInFlight - q.liveInFlight;
  if (budget <= 0) return;
  const std::uint32_t now = GetTickCount();
  while (q.pending > 0 && budget > 0) {
    const std::uint8_t position = q.sendPos;
    RequestRecord& slot = At(q, position);
    if (slot.kind == kRequestSnapshot) {
      PruneFilledKeys(slot.keyList);
      if (slot.keyList == nullptr || slot.keyList->GetSize() == 0) {
        ReleaseRequestData(&slot);
        WithdrawSlot(q, position);
        slot.stamp = now;
        ++q.sendPos;
        --q.pending;
        ++q.inFlightSlots;
        DropWithdrawnHead(q);
        continue;
      }
    }
    slot.stamp = now;
    q.serials[position] = ++q.nextSerial;
    // Into the flight before the build: a close inside it must find the queue consistent.
    ++q.sendPos;
    --q.pending;
    ++q.inFlightSlots;
    ++q.liveInFlight;
    --budget;
    if (NormalClnt != nullptr && BuildRequestFrame(NormalClnt, &slot) == -1) NormalClnt->OnClose(0);
    ReleaseRequestData(&slot);
  }
}

int CompleteRequest(const FrameHeader& header, int subKind) {
  Queue& q = TheQueue();
  DropWithdrawnHead(q);
  // A reply owed by an expired request arrives before the replies of the requests sent after it.
  const int category = ReplyCategory(header.type, subKind);
  if (category >= 0 && q.late[category].count > 0) {
    LateMarks& marks = q.late[category];
    std::memmove(marks.serial, marks.serial + 1, sizeof(std::uint32_t) * (marks.count - 1));
    --marks.count;
    SendPendingRequests();
    return 0;
  }
  if (q.inFlightSlots == 0) {
    SendPendingRequests();
    return 0;
  }
  RequestRecord& head = At(q, q.inFlightStart);
  const int expected = RequestReplyCode(head.kind);
  const bool error = header.type == kErrorReplyType;
  if (!error && header.type != expected) {
    // Not the oldest request's answer: it stays in flight and expires in its time.
    SendPendingRequests();
    return 0;
  }
  head.stamp = GetTickCount();
  const RequestRecord done = head;
  const int result = header.type == 15 && done.market == 0 && done.value2 == 0 && done.param == kNewsList ? 1 : 0;
  DropMarksBefore(q, q.serials[q.inFlightStart]);
  RetireHead(q);
  DropWithdrawnHead(q);

  // The queue is consistent before anyone hears of it: the trend message is sent synchronously
  // and its handlers may enqueue.
  if (error && expected == 15 && done.param == kNewsList) EndNewsCatchUp();
  if (error && expected == 31) {
    char code[sizeof done.code + 1] = {};
    std::memcpy(code, done.code, sizeof done.code);
    int market = done.market;
    STKPTR stk;
    if (FindStkPtrByCode(code, &market, &stk, false)) {
#pragma pack(push, 1)
      struct {
        STKPTR stk;
        std::uint32_t day;
      } block{stk, done.value1};
#pragma pack(pop)
      static_assert(sizeof block == 8);
      SendMessage(zuvo::net::MainWindow(), MsgServerData, static_cast<WPARAM>(31) << 16,
                  reinterpret_cast<LPARAM>(&block));
    }
  }
  SendPendingRequests();
  return result;
}

void ResetRequestQueue() {
  Queue& q = TheQueue();
  // Sent requests released their data when their frames were built; what is left belongs to
  // requests never sent.
  for (RequestRecord& slot : q.slots) ReleaseRequestData(&slot);
  q.historyStart = q.inFlightStart = q.sendPos = q.writePos = 0;
  q.count = q.finished = q.inFlightSlots = q.pending = q.liveInFlight = 0;
  for (LateMarks& marks : q.late) marks.count = 0;
  zuvo::net::DiscardUnfinishedReply();
  EndNewsCatchUp();
}

void ExpireRequests() {
  ExpireInFlight(TheQueue(), GetTickCount());
  SendPendingRequests();
}

void RequestConnectionClosed() {
  zuvo::net::DiscardUnfinishedReply();
  EndNewsCatchUp();
}

bool IsLateReply(std::uint8_t type, int subKind) {
  const int category = ReplyCategory(type, subKind);
  return category >= 0 && TheQueue().late[category].count > 0;
}

int PendingSortRequest(std::uint32_t* requester, std::uint32_t* serial) {
  const RequestRecord* slot =
      FirstInFlight(TheQueue(), [](const RequestRecord& s) { return s.kind == kRequestServerSort; });
  if (slot == nullptr) return -1;
  if (requester != nullptr) *requester = slot->requester;
  if (serial != nullptr) *serial = slot->value3;
  return slot->market;
}

std::int64_t PendingNewsTextId() {
  const RequestRecord* slot = FirstInFlight(
      TheQueue(), [](const RequestRecord& s) { return s.kind == kRequestNews && s.param == kNewsText; });
  return slot != nullptr ? static_cast<std::int64_t>(slot->value1) : -1;
}

bool PendingNoteName(char name[16]) {
  const RequestRecord* slot = FirstInFlight(TheQueue(), [](const RequestRecord& s) { return s.kind == kRequestNote; });
  if (slot == nullptr) return false;
  std::memcpy(name, slot->text, 15);
  name[15] = '\0';
  return true;
}

bool PendingInfoTextOffset(std::uint32_t* offset) {
  const RequestRecord* slot =
      FirstInFlight(TheQueue(), [](const RequestRecord& s) { return s.kind == kRequestInfoText; });
  if (slot == nullptr) return false;
  if (offset != nullptr) *offset = slot->value1;
  return true;
}

std::int64_t PendingInfoIndexHeld() {
  const RequestRecord* slot =
      FirstInFlight(TheQueue(), [](const RequestRecord& s) { return s.kind == kRequestInfoIndex; });
  return slot != nullptr ? static_cast<std::int64_t>(slot->value2) : -1;
}

bool IsTicksRequestPending(const char* code, int market) { return RecentlyAsked(kRequestTicks, code, market); }

bool IsTradeDetailsRequestPending(const char* code, int market) {
  return RecentlyAsked(kRequestTradeDetails, code, market);
}

bool IsRecentTicksRequestPending(const char* code, int market) {
  return AnyPendingOrInFlight(TheQueue(), [&](const RequestRecord& slot) {
    return slot.kind == kRequestRecentTrades && slot.market == market && CodeIs(slot, code);
  });
}

bool IsBarsRequestPending(const char* code, int market, int barFileKind) {
  return AnyPendingOrInFlight(TheQueue(), [&](const RequestRecord& slot) {
    return (slot.kind == kRequestIntradayBars || slot.kind == kRequestDayBars) && slot.param == barFileKind &&
           slot.market == market && CodeIs(slot, code);
  });
}

namespace zuvo::net {

RequestQueueState GetRequestQueueState() {
  Queue& q = TheQueue();
  RequestQueueState state;
  state.historyStart = q.historyStart;
  state.inFlightStart = q.inFlightStart;
  state.sendPos = q.sendPos;
  state.writePos = q.writePos;
  state.count = q.count;
  state.finished = q.finished;
  state.inFlightSlots = q.inFlightSlots;
  state.inFlight = q.liveInFlight;
  state.pending = q.pending;
  return state;
}

const RequestRecord& RequestQueueSlot(int position) { return At(TheQueue(), position); }

int LateRepliesOwed(std::uint8_t type, int subKind) {
  const int category = ReplyCategory(type, subKind);
  return category >= 0 ? TheQueue().late[category].count : 0;
}

}  // namespace zuvo::net
