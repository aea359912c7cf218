// TNormalClnt: the request/response client. One process-wide instance carries every data
// request; the login dialog and the password change make short-lived ones of their own. This
// unit holds the object, its frame assembly (asynchronous reads cut frames in place in the
// fixed receive buffer; blocking reads for the synchronous exchanges), the send buffer and the
// close of a broken connection. Login, downloads and the request API are added by their own
// units on the same class.
//
// UI thread, or the one thread that runs a blocking exchange on an object not yet asynchronous.
// No client is deleted inside its own callbacks: an OnClose during a receive only marks the
// client, and the receive loop finishes the close as it unwinds.
#pragma once

#include "core/EArray.h"
#include "data/IRequestClient.h"
#include "data/Records.h"
#include "net/FrameClient.h"
#include "platform/WinBase.h"

#include <cstdint>
#include <memory>

class TNormalClnt : public FrameClient, public IRequestClient {
 public:
  TNormalClnt();
  // OnClose (a connected client posts MsgConnectionLost (0, 0)), then the decoder goes.
  ~TNormalClnt() override;

  // Reads what is ready (FrameClient::ReadFrames: until 10035, then re-registers the events when
  // asynchronous) and hands each complete frame to the reply handler (zuvo::net::DispatchReply);
  // closes on a framing fault ('#' included), an undecodable body, an unknown reply type, a full
  // buffer, the peer's close or a socket error other than 10035. The error argument is not used.
  // A reply handler must not delete its client (the shell posts); it may close it (OnClose), which
  // only marks it while the loop runs: the loop stops after that handler and finishes the close.
  void OnReceive(int error) override;
  // Sends what the send buffer holds (re-registering the events when asynchronous); closes on a
  // send error other than 10035. Nothing when the buffer is empty.
  void OnSend(int error) override;
  void OnOutOfBand(int error) override {}
  void OnAccept(int error) override {}
  void OnConnect(int error) override {}
  // FrameClient::OnClose; when this is the process-wide client and it was connected, the request
  // queue learns that its connection closed (the news catch-up ends).
  void OnClose(int error) override;

  // Header step of the asynchronous read: true to keep reading, false to close.
  bool AnalyzeInfoHead();
  // Body step over (bytes, available) with the current header describing the first frame:
  // bytes consumed, or -1 (bad next header, undecodable body, unknown reply type, the client
  // closed by a handler).
  int AnalyzeInfoBody(std::uint8_t* bytes, int available);

  // Blocking reads of the synchronous exchanges (before StartAsync). 1 when exactly 10 header
  // bytes arrived and pass the checks ('@' only), else 0.
  int ReadFrameHeader();
  // The body of the current header, decoded when compressed: its length (the current body is
  // set), or -1 (the peer closed, a socket error or timeout, an undecodable body).
  int ReadFrameBody();

  // ---- Connection and login (NormalClntLogin.cpp) ----------------------------------------------
  // Connects and logs in, in one or two stages by [Server] NOJH; `progress` (or null) is told
  // MsgLoginSearchServer and MsgLoginConnectServer. 0 logged in; 1 no connection to the first
  // server (or the stored data-server block is missing); 2 no connection to the data server;
  // 3 network or protocol failure; 4 refused. 3 and 4 leave their text in errorText.
  int Connect(HWND progress, bool useStoredBlock);
  using ESock::Connect;   // the plain blocking connect stays reachable
  // For a Connect run off the UI thread (the quiet reconnect's worker), set on the UI thread
  // before the worker starts: Connect then leaves the UI thread's state alone (the request queue
  // is not reset, the rights are not taken, the login time is not read from the clock word) and
  // keeps what it would have changed for ApplyDeferredLoginState.
  void DeferUiThreadState() { deferUiState_ = true; }
  // UI thread, when the client connected that way is adopted: resets the request queue, takes
  // the rights the login handed out and sets the login time, as Connect does on the UI thread.
  // Nothing for a client that did not defer (or a second time).
  void ApplyDeferredLoginState();
  // One login request and its reply: 0 accepted, 1 network or protocol failure, 2 refused.
  // `block` is the 128-byte data-server block (filled when keepReply in two-stage mode; sent in
  // the wire-207 body when not), null in one-stage mode.
  int LoginExchange(bool keepReply, std::uint8_t* block);
  // The keep-alive frame, and the request queue's expiry: 1 sent or queued, 0 after OnClose.
  int SendHeartbeat();
  // The password change on this client's own connection to [Server] Address:Port; `source`
  // bytes 28-39 hold the new password. 0 done, 1 server not reachable, 2 proxy or relay failure,
  // 3 network failure, 4 refused (text in errorText), 5 not possible with the one-stage login.
  int ChangePassword(const std::uint8_t* source);

  // ---- Blocking downloads (NormalClntDownloads.cpp) ---------------------------------------------
  // mkinfo.cfg and systime.dat, each installed only when complete and plausible: 0, or -1 on a
  // network failure.
  int DownloadMarketConfig();
  // See IRequestClient: the instrument count, or -1 (the old nametbl kept).
  int DownloadNameTable(int market) override;

  // ---- Queued requests (RequestApi.cpp) --------------------------------------------------------
  // Each tests the user's rights where it must, drops a request already queued, applies its
  // local-file rule (CacheFreshness.h) and queues a RequestRecord; nothing is reported.
  void RequestHistoryBars(int market, int index, int reserved, int cycle, int n, int older,
                          std::uint32_t requester) override;
  void RequestTicks(int market, int index, std::uint32_t requester) override;
  void RequestTradeDetails(int market, int index, std::uint32_t requester) override;
  void RequestRecentTicks(int market, int index, int count, std::uint32_t requester) override;
  void RequestTrendDay(int market, int index, std::uint32_t day, std::uint32_t requester) override;
  void RequestWeights(int market, int index, std::uint32_t requester) override;
  void RequestBrokerQueue(int market, int index) override;
  void RequestNews(bool older, int category) override;
  void RequestNewsText(const NewsRecord& news) override;
  bool RequestInfoMineIndex(int market, int index, int n, std::uint32_t requester) override;
  void RequestInfoMineText(int market, int index, int selector, const char* fileName, std::uint32_t offset,
                           std::uint32_t length, std::uint32_t requester) override;
  void RequestNotesList(int n) override;
  void RequestNote(int listNumber, const char* noteFileName, int noteNumber) override;
  void RequestNameTable(int market) override;
  // A server sort (kind 25): `keys` (GuardedAlloc, `countOrGroup` keys; owned by the queue from
  // here on) or null to sort the market group `countOrGroup`; purpose 0 ranks for the view
  // `requester`, 1 fills the fast-change values.
  void RequestServerSort(std::uint32_t serial, int column, std::uint32_t countOrGroup, STKMS* keys,
                         std::uint32_t requester, int purpose);
  void RequestSystemMessage();
  // `which`: 3 after a slow-network notice, -1 for a push fetch record.
  void RequestRealtimeMessage(int which);
  // Quote snapshots of at most 256 keys; the list is owned by the queue from here on.
  void RequestQuotes(EArray<STKMS>* keys);
  // The new password: 12 bytes, the 12th sent as 0.
  void RequestPasswordChange(const char* newPassword);

  // The version exchange at login, on the still blocking connection: 0 go on with the login
  // (the updater started when ".\version.txt" is older than the server's version, or its
  // failure shown), -1 a failed connection. `progress` (or null) is told MsgLoginCheckVersion.
  int CheckVersion(HWND progress);

  // Registers the asynchronous events (35) and sets the async flag: 1, or 0 after OnClose.
  // The read loop re-registers this way only once the client is asynchronous.
  int StartAsync();

  // ---- State of the request connection (the frame buffers are FrameClient's) ---------------
  std::uint8_t async = 0;       // 1 once StartAsync ran
  std::uint8_t loginMode = 1;   // 1 two stages (main server, then data server), 0 one stage

  const std::uint8_t* body = nullptr;   // the current body of a blocking read
  int bodyLength = 0;

  // Login time (calendar fields from the clock word, seconds 0), set by a successful connect.
  int loginYear = 0, loginMonth = 0, loginDay = 0, loginHour = 0, loginMinute = 0;

 private:
  bool HandleFrame(const std::uint8_t* frame, int length) override;
  void RearmAfterWouldBlock() override;
  // What a login changes of the UI thread's state, now or (deferring) kept for later.
  void ResetQueueForLogin();
  void TakeRightsForLogin(const std::uint8_t* block);
  void SetLoginTime();

  bool deferUiState_ = false;
  bool pendingQueueReset_ = false;
  bool pendingRights_ = false;
  bool pendingLoginTime_ = false;
  std::uint8_t pendingBlock_[128] = {};   // the data-server block whose rights wait
};
