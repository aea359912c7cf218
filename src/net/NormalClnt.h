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

#include "net/FrameClient.h"

#include <cstdint>
#include <memory>

class TNormalClnt : public FrameClient {
 public:
  TNormalClnt();
  // OnClose (a connected client posts MsgConnectionLost (0, 0)), then the decoder goes.
  ~TNormalClnt() override;

  // Reads everything that is ready (until 10035, then re-registers the events when
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
  char errorText[256]{};

 private:
  bool HandleFrame(const std::uint8_t* frame, int length) override;
  void RearmAfterWouldBlock() override;
};
