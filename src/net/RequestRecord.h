// RequestRecord: one question to the request server, as the request operations fill it, the
// request queue holds it and BuildRequestFrame turns it into a wire frame. This unit is the one
// definition of the request kinds, of the wire code each is sent with, of the reply type that
// answers it and of the server's sort codes for the quote columns.
//
// The record lives in memory only (never on disk or the wire), so its layout is free and it
// holds real pointers for the data a request owns: the key list of a quote snapshot (kind 28)
// and the key array of a server sort (kind 25). Ownership: a record carrying one owns it; the
// request queue releases it exactly once (RequestQueue.h says when). Copying a record copies
// the pointer, not the keys: exactly one copy may release them.
#pragma once

#include "core/EArray.h"
#include "data/CacheRecords.h"
#include "data/Records.h"

#include <cstdint>

// The functions below are defined in RequestFrames.cpp, beside the frames they describe.

// ---- Request kinds ----------------------------------------------------------------------------
constexpr std::uint8_t kRequestWithdrawn = 0;       // a queue slot whose request was withdrawn
constexpr std::uint8_t kRequestNameTable = 3;
constexpr std::uint8_t kRequestMarketWire7 = 4;     // no operation issues it; not queued
constexpr std::uint8_t kRequestIntradayBars = 6;
constexpr std::uint8_t kRequestDayBars = 7;
constexpr std::uint8_t kRequestCompanyText = 8;
constexpr std::uint8_t kRequestNews = 9;            // param: kNewsList or kNewsText
constexpr std::uint8_t kRequestTradeDetails = 10;
constexpr std::uint8_t kRequestRecentTrades = 11;
constexpr std::uint8_t kRequestExRights = 13;
constexpr std::uint8_t kRequestTicks = 14;
constexpr std::uint8_t kRequestBrokerQueue = 16;
constexpr std::uint8_t kRequestLogin = 17;          // param: kLoginFirstFrame or kLoginDataServer
constexpr std::uint8_t kRequestVersion = 21;
constexpr std::uint8_t kRequestSystemMessage = 22;
constexpr std::uint8_t kRequestRealtimeMessage = 23;
constexpr std::uint8_t kRequestServerSort = 25;
constexpr std::uint8_t kRequestNotesList = 26;
constexpr std::uint8_t kRequestNote = 27;
constexpr std::uint8_t kRequestSnapshot = 28;
constexpr std::uint8_t kRequestPasswordChange = 29;
constexpr std::uint8_t kRequestMarketConfig = 30;   // "MKINFO.CFG"
constexpr std::uint8_t kRequestTimeZones = 31;      // "SYSTIME.DAT"
constexpr std::uint8_t kRequestAdvice = 32;
constexpr std::uint8_t kRequestDayTrend = 33;
constexpr std::uint8_t kRequestNameTableExt = 34;
constexpr std::uint8_t kRequestInfoIndex = 35;
constexpr std::uint8_t kRequestInfoText = 36;

// Sub-kinds of a news request (param of kind 9; also byte 0 of a type-15 reply body).
constexpr int kNewsList = 0;
constexpr int kNewsText = 2;
// Sub-kinds of a notes reply (byte 0 of a type-16 reply body).
constexpr int kNotesListReply = 0;
constexpr int kNoteReply = 1;
// Stages of the login frame (param of kind 17).
constexpr int kLoginFirstFrame = 0;   // wire 3: one-stage login, or the first of two stages
constexpr int kLoginDataServer = 1;   // wire 207: the second stage, to the data server

// The param of kinds 6 and 7 is a bar file kind (kBarFile1Min ... of data/CacheRecords.h).

// The reply type of a server error; it completes whatever request is oldest in flight.
constexpr std::uint8_t kErrorReplyType = 2;

// A list or array of keys holds at most this many (the frames have 256 key slots).
constexpr int kMaxRequestKeys = 256;
// The data-server block of the two-stage login (see the login exchange).
constexpr int kDataServerBlockBytes = 128;

struct RequestRecord {
  std::uint8_t kind = 0;
  // Per-kind selector: bar file kind, news sub-kind, sort column, note number, section
  // selector, login stage.
  std::int32_t param = 0;
  // Market number; the category for news, the notes list for notes, the purpose of a server
  // sort (0 ranking for a view, 1 fast-change values).
  std::uint16_t market = 0;
  // Instrument code as in the InstrumentRecord, NUL-terminated; the new password of kind 29 and
  // the password of kind 17.
  char code[12] = {};
  std::uint32_t value1 = 0;
  std::uint32_t value2 = 0;
  std::uint32_t value3 = 0;   // the request serial of a server sort
  // The note file name (kind 27), the text-file name (kind 36), the user name (kind 17).
  char text[80] = {};
  // Chosen by the caller: a data-agent number, a view's identity. The queue replaces a pending
  // request of the same requester; a sort reply finds its view by it.
  std::uint32_t requester = 0;
  // Tick count at which the queue sent or completed the request; set by the queue only.
  std::uint32_t stamp = 0;

  // Kind 28: the owned key list (at most 256 keys are sent). Null for every other kind.
  EArray<STKMS>* keyList = nullptr;
  // Kind 25: the owned key array from GuardedAlloc, value1 keys long, or null (the server then
  // sorts the market group in value1). Null for every other kind.
  STKMS* keyArray = nullptr;
  // Kind 17 with kLoginDataServer: the 128-byte data-server block (borrowed, not owned).
  const std::uint8_t* dataServerBlock = nullptr;
};

// The wire code a kind is sent with; -1 for a kind without one. Kind 17 answers 3 (its
// data-server stage is sent as 207).
int RequestWireCode(int kind);
// The reply type that completes a queued request of the kind; -1 for the kinds answered only
// inside a synchronous exchange (4, 17, 21, 30, 31, 34) and for unknown kinds. A server error
// reply (type 2) completes any request.
int RequestReplyCode(int kind);
// True for the kinds the request queue takes: 3, 6, 7, 8, 9, 10, 11, 13, 14, 16, 22, 23, 25,
// 26, 27, 28, 29, 32, 33, 35, 36.
bool IsQueuedRequestKind(int kind);
// The server's sort code for a quote column (body byte 0 of kind 25); -1 for the columns that
// have none (0, 1, 9, negative and above 29).
int ServerSortCode(int column);

// Releases the data a record owns (the kind-28 list with delete, the kind-25 array with
// GuardedFree) and clears the pointers, so a second call releases nothing.
void ReleaseRequestData(RequestRecord* record);
