// TRealDataClnt: the push client. This unit holds the object, its frame assembly (with the
// process-wide push decompression mode and the slow-network notice), the send buffer and the
// close of a broken connection; the subscription, the records and the connect are added by
// their own unit on the same class.
//
// UI thread only. No client is deleted inside its own callbacks: an OnClose during a receive
// only marks the client, and the receive loop finishes the close as it unwinds.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "net/FrameClient.h"

#include <cstdint>
#include <memory>

// At least this long between two requests of the slow-network notice (45 minutes).
constexpr std::uint32_t kSlowNetworkRequestIntervalMs = 2700000;
// The argument of the real-time message request a slow-network notice makes.
constexpr int kSlowNetworkRealtimeMessage = 3;
// The main window's timer keeps the push connection alive after this much silence.
constexpr std::uint32_t kKeepAliveAfterMs = 10000;
// A subscription frame: the header and the 774-byte body.
constexpr int kSubscriptionFrameBytes = 784;
// Where the push server listens when ".\server.ini" names no Port2.
constexpr int kDefaultPushPort = 13153;

class TRealDataClnt : public FrameClient {
 public:
  // No subscription, empty buffers, last traffic now, no slow-network request yet.
  TRealDataClnt();
  // OnClose (a connected client posts MsgConnectionLost (0, 1)), then the subscription and the
  // decoder go.
  ~TRealDataClnt() override;

  // Reads what is ready (FrameClient::ReadFrames: until 10035, then re-registers the events)
  // and hands each complete frame to the push handler (zuvo::net::DispatchPush); records the
  // traffic tick after every receive call. Closes on a framing fault, an undecodable body, a full buffer, the peer's
  // close or a socket error other than 10035. The error argument is not used. A push handler
  // must not delete its client (the shell posts); it may close it (OnClose), which only marks it
  // while the loop runs: the loop stops after that handler and finishes the close.
  void OnReceive(int error) override;
  // Sends what the send buffer holds, records the traffic tick and re-registers the events;
  // closes on a send error other than 10035.
  void OnSend(int error) override;
  void OnOutOfBand(int error) override {}
  void OnAccept(int error) override {}
  void OnConnect(int error) override {}

  // Header step: true to keep reading, false to close. A header with magic '#' raises the
  // slow-network notice: at most one real-time message request per 45 minutes of ticks.
  // FrameClient::ConnectViaProxy, and the slow-network request time is cleared, so the first
  // notice of a new connection always asks for the real-time message.
  int ConnectViaProxy(const char* host, int port);

  bool MakeFrame();
  // Body step over (bytes, available) with the current header describing the first frame:
  // bytes consumed, or -1 (bad next header, undecodable body, the client closed by a handler).
  // Compressed bodies decode by the process-wide PushDecompressMode (LZW first while it is 0
  // or 1, zlib first while it is 2; the other format second, and the mode follows the one that
  // worked; output at most kDecompressBytes).
  int MakeData(std::uint8_t* bytes, int available);

  // ---- Connection, subscription and records (RealDataConnect.cpp, PushRecords.cpp) -----------
  // Creates the socket, connects to [Server] dsAddr:Port2 of ".\server.ini" through the user's
  // proxy or relay, sends the 14-byte opening frame and goes asynchronous: 1, or 0 (the socket
  // closed, nothing posted).
  int ConnectAndLogin();
  // For a ConnectAndLogin run off the UI thread (the quiet reconnect's worker), set on the UI
  // thread before the worker starts: the connect then stops short of the asynchronous events
  // and the traffic tick, so no notification reaches the client before the UI thread has it.
  void DeferUiThreadState() { deferUiState_ = true; }
  // UI thread, when the client connected that way is adopted: registers the asynchronous events
  // and records the traffic tick, as ConnectAndLogin does on the UI thread. 1, or 0 (the socket
  // closed quietly); 1 with nothing to do for a client that did not defer.
  int FinishDeferredConnect();
  // The keep-alive frame: 1 sent or queued, 0 after OnClose (no room in the send buffer, or a
  // send error other than 10035).
  int SendHeartbeat();
  // True when kKeepAliveAfterMs or more have passed since the last traffic (the main window's
  // timer then calls SendHeartbeat).
  bool KeepAliveDue() const;
  // Sends the subscription (type 100, 774 bytes) of `list` (at most 256 keys, more are not
  // sent; taken over, null for an empty one), `newKeys` of them new at its front, `flag` 1 or 0.
  // A subscription frame still unsent in the send buffer (a slow link) is overwritten in place
  // by this one, since only the latest set matters; the keys that frame announced as new and
  // this list still holds are announced as new again (moved behind this list's new keys), so
  // the server still sends their snapshots. The list is kept as given, the previous one
  // deleted. 0 sent or queued, -1 after OnClose (no room even for a replacement, or a send
  // error other than 10035); a refused list is deleted.
  int Subscribe(EArray<STKMS>* list, std::int16_t newKeys, bool flag);
  // The records of one push frame (the client's current header): `length`, or 0 for a frame
  // that is not type 8 or has no body.
  static int DispatchRecords(TRealDataClnt* client, const std::uint8_t* body, int length);

  std::uint32_t lastSlowNetworkRequest = 0;   // tick of the last request; 0 none yet
  std::uint32_t lastTraffic = 0;              // tick of the last receive or send call
  std::unique_ptr<EArray<STKMS>> subscription;

 private:
  bool HandleFrame(const std::uint8_t* frame, int length) override;
  void RearmAfterWouldBlock() override;
  void SlowNetworkHeader(const char* step) override;
  void ReceiveCallsDone() override;
  bool Decompress(const std::uint8_t* source, int length, int* decoded);
  void RaiseSlowNetworkNotice(const char* traceText);
  // FlushSendBuffer, keeping pendingSubscription_ on the frame as the sent bytes leave the
  // front of the buffer (-1 once any of it went).
  int FlushKeepingSubscription();
  // The offset of a whole, unsent subscription frame in the send buffer, or -1.
  int PendingSubscription() const;
  // Appends (or with `at` >= 0 overwrites) a frame of `type` with `body`.
  void PutFrame(int at, std::uint8_t type, const void* body, int length);

  int pendingSubscription_ = -1;
  bool deferUiState_ = false;
  bool pendingAsync_ = false;   // a deferred connect waits for FinishDeferredConnect
};
