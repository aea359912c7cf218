// The request queue: every data request of the terminal waits here for the one request
// connection. A ring of 256 RequestRecords in three consecutive regions: finished requests
// [historyStart, inFlightStart) kept only to recognise a repeat for 1000 ms, requests in flight
// [inFlightStart, sendPos), pending requests [sendPos, writePos). At most 2 requests are in
// flight; the server answers in order, so every reply belongs to the oldest one, and a request
// unanswered for 20000 ms expires. Repeats of a request waiting, in flight or just answered are
// dropped or merged (MergeRequest). Process-wide, lives as long as the process, emptied by
// ResetRequestQueue on every new connection.
//
// Owned data (the kind-28 key list, the kind-25 key array) belongs to the queue from
// EnqueueRequest on and is released exactly once: when the record is refused (full queue,
// unmapped sort column, repeat), replaced by a newer one of its requester, withdrawn (a
// snapshot list emptied), sent (right after its frame is built) or dropped unsent by
// ResetRequestQueue.
//
// Withdrawn slots (kind 0) keep their place in their region but match nothing and are never
// counted as in flight. A reply owed by an expired news-text, note or sort request is counted:
// the next reply of that type and sub-kind is late, completes nothing, and the reply dispatch
// drops its data (IsLateReply).
//
// UI thread only, no lock: views, timers and the main window enqueue; the request client's
// read notification completes.
#pragma once

#include "net/RequestRecord.h"

#include <cstdint>

class TNormalClnt;
struct FrameHeader;

constexpr int kRequestQueueSlots = 256;
constexpr int kMaxRequestsInFlight = 2;
constexpr std::uint32_t kRequestExpiryMs = 20000;
constexpr std::uint32_t kRepeatWindowMs = 1000;
// CompleteRequest without the reply's sub-kind.
constexpr int kNoSubKind = -1;

// The process-wide request client, null while there is no connection (offline, between a
// loss and the reconnect). The shell's login sets and clears it; the queue sends through it.
extern TNormalClnt* NormalClnt;

// Takes a copy of `record` and, when MergeRequest accepts it, stores it and sends what may be
// sent. Before that it drops withdrawn slots at the head of the flight and expires requests in
// flight for 20000 ms or more. Refused silently (its owned data released): a kind the queue does
// not take, a server sort on a column without a server code (the connection stays up), a full
// queue (256 slots from inFlightStart to writePos; nothing is sent in that call), a repeat. A
// kind-28 list above 256 keys is cut to 256.
void EnqueueRequest(const RequestRecord& record);

// Sends pending requests while fewer than 2 are in flight. A kind-28 list is first pruned of
// the instruments whose QuoteExtraRecord is filled; an emptied one is withdrawn unsent. Each
// request is stamped and, when NormalClnt exists, built into a frame; a build failure closes
// the connection (OnClose). Owned data is released after the build either way; a request
// always moves into the flight (without a client it expires there).
void SendPendingRequests();

// One complete reply, by the header of its last frame and, for types 15 and 16, its sub-kind
// (body byte 0). A late reply (see IsLateReply) completes nothing. Otherwise a reply of the
// oldest request's reply type, or a server error (type 2), completes it: an error for a news
// list ends the news catch-up (NewsCatchUpFlag cleared, MsgServerData 15 posted once); an
// error for a day's trend sends MsgServerData 31 with the block (STKPTR, day) when the
// instrument is found. Any other reply completes nothing (the oldest expires later).
// 1 when the reply completed a news list of newer items of all categories (the dispatch asks
// for more), else 0. Sends what may be sent before it returns.
int CompleteRequest(const FrameHeader& header, int subKind = kNoSubKind);

// Forgets every request (positions and count 0, late replies no longer owed) and releases the
// owned data of the requests never sent, each once. Ends a news catch-up (posting
// MsgServerData 15 when the flag was set) and discards a half-written reply
// (zuvo::net::DiscardUnfinishedReply). Called after each successful connect.
void ResetRequestQueue();

// Drops withdrawn slots at the head of the flight and expires requests in flight for 20000 ms
// or more (a news list that expires ends the catch-up; a half-written reply is discarded),
// then sends what may be sent. Run by
// EnqueueRequest and by the request client's 57-second heartbeat, so an idle client does not
// keep dead requests in flight.
void ExpireRequests();

// The request connection closed: ends a news catch-up (MsgServerData 15 when the flag was set)
// and discards a half-written reply. The requests stay; they expire or are reset on the next
// connect.
void RequestConnectionClosed();

// True when a reply of this type and sub-kind is owed by an expired request: a news text
// (type 15, sub-kind 2), a note (16, sub-kind 1) or a sort result (101, any sub-kind). The
// dispatch asks on the reply's first frame and drops the data of a late reply; CompleteRequest
// then takes the mark. Marks owed by requests sent before one the server has since answered
// are dropped (the server answers in order, so those replies will never come).
bool IsLateReply(std::uint8_t type, int subKind);

// ---- Queries of the reply dispatch (the requests in flight, oldest first) ------------------------
// The market field (sort purpose) of the first kind-25 request in flight, with its requester
// and serial (value3); -1 (outputs untouched) when none.
int PendingSortRequest(std::uint32_t* requester, std::uint32_t* serial);
// value1 (the news id) of the first news-text request (kind 9, param 2) in flight, or -1.
std::int64_t PendingNewsTextId();
// Copies the 16-byte note file name of the first kind-27 request in flight (terminated) and
// returns true; false (name untouched) when none.
bool PendingNoteName(char name[16]);
// value1 (the text offset; 0xFFFFFFFF for the whole text) of the first information-text request
// (kind 36) in flight and true; false (offset untouched) when none.
bool PendingInfoTextOffset(std::uint32_t* offset);
// value2 (the index records already held, 0 when it asked from the first record) of the first
// information-index request (kind 35) in flight, or -1 when none.
std::int64_t PendingInfoIndexHeld();

// ---- Queries of the request operations (codes compared exactly, as NUL-terminated text) -----------
// A kind-14 request for (code, market) pending or in flight, or finished less than 1000 ms
// ago. The finished region is searched newest first and the search stops at the first finished
// request of any kind (withdrawn slots excepted) that finished 1000 ms ago or more.
bool IsTicksRequestPending(const char* code, int market);
// The same for kind 10.
bool IsTradeDetailsRequestPending(const char* code, int market);
// A kind-11 request for (code, market) pending or in flight.
bool IsRecentTicksRequestPending(const char* code, int market);
// A kind-6 or kind-7 request with that bar file kind, market and code pending or in flight.
bool IsBarsRequestPending(const char* code, int market, int barFileKind);

namespace zuvo::net {

// The positions and the region sizes (tests, the benchmark). `inFlight` counts live requests
// only; `inFlightSlots` also the withdrawn slots between them.
struct RequestQueueState {
  std::uint8_t historyStart = 0;
  std::uint8_t inFlightStart = 0;
  std::uint8_t sendPos = 0;
  std::uint8_t writePos = 0;
  int count = 0;
  int finished = 0;
  int inFlightSlots = 0;
  int inFlight = 0;
  int pending = 0;
};
RequestQueueState GetRequestQueueState();
// The slot at a ring position (0..255; taken modulo 256).
const RequestRecord& RequestQueueSlot(int position);
// Replies still owed by expired requests, of this type and sub-kind.
int LateRepliesOwed(std::uint8_t type, int subKind);

}  // namespace zuvo::net
