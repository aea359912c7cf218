// FrameClient: what the request client (TNormalClnt) and the push client (TRealDataClnt) share
// of a server connection: the receive buffer cut into frames in place, the send buffer, the
// decoder and the close of a broken connection. The two clients differ only in what they do with
// a complete frame (reply or push handler, LZW or the push decompression mode), in the slow-network
// notice of the push connection and in how they re-register their events; those are the hooks.
//
// UI thread, or the one thread that runs a blocking exchange on an object not yet asynchronous.
// No client is deleted inside its own callbacks: an OnClose during a receive only marks the
// client, and the receive loop finishes the close as it unwinds.
#pragma once

#include "net/ESock.h"
#include "net/LCompressLite.h"
#include "net/NetFrame.h"

#include <cstdint>
#include <memory>
#include <string_view>

// The most bytes one read notification takes before the message loop gets its turn.
constexpr int kMaxBytesPerNotification = 256 * 1024;

class FrameClient : public ESock {
 public:
  // Closes a broken connection: the socket, both buffers, the held header, and posts
  // MsgConnectionLost (0, 0) for the request connection or (0, 1) for the push connection to the
  // connection-lost window, once. Nothing when already closed. The error argument is not used.
  void OnClose(int error) override;

  // The bytes waiting in the send buffer are offered to ESock::Send and the accepted ones
  // removed from its front. 1 when nothing failed (10035 included), 0 on another error (the
  // caller closes).
  int FlushSendBuffer();

  // Opens the connection to a quote server on the socket made by ESock::Create, honouring the
  // user's proxy and relay settings (read at every call): 0 connected and blocking; 1 no direct
  // connection or the proxy refused the tunnel; 2 no connection to the proxy or relay, or a send
  // or receive failed; 3 authentication or request refused. Failures leave their text in
  // errorText (none for 1); a failing step closes the socket, except a failed receive in the
  // relay handshake (every caller closes on a non-zero result). Implemented in ProxyConnect.cpp.
  int ConnectViaProxy(const char* host, int port);

  // Ends the connection without MsgConnectionLost (a failure the caller reports itself): the
  // socket, both buffers and the held header go.
  void CloseQuietly();
  // A fresh connection starts with empty buffers and no header held.
  void ResetBuffers();

  // Puts `text` into errorText: at most 255 bytes, cut on a character boundary, terminated.
  void SetErrorText(std::string_view text);

  FrameHeader header{};         // the current header
  bool headerHeld = false;      // the header's body is still incomplete
  std::uint8_t receiveBuffer[kReceiveBufferBytes]{};
  int receiveCount = 0;
  std::uint8_t sendBuffer[kSendBufferBytes]{};
  int sendCount = 0;
  std::uint8_t output[kDecompressBytes]{};
  std::unique_ptr<LCompressLite> decoder;
  // The text of the last connection or login failure, always terminated; empty after a
  // successful login exchange.
  char errorText[256]{};

 protected:
  // push: the push connection ('#' headers allowed, MsgConnectionLost (0, 1)). headStep and
  // bodyStep name the two assembly steps in the trace texts.
  FrameClient(bool push, const char* headStep, const char* bodyStep);
  // Runs the close of a client still connected; a subclass destructor calls it (the hooks are
  // gone by the time this base is destroyed).
  void CloseFromDestructor();

  // Reads what is ready (until 10035, then RearmAfterWouldBlock, or until
  // kMaxBytesPerNotification arrived, leaving the rest to the next read notification, which
  // the socket layer posts while bytes remain) and cuts it into frames; closes on a framing fault, an undecodable body, a full buffer, the peer's close, a
  // socket error other than 10035, or a handler that closed its client. A nested call (a message
  // loop inside a handler) returns at once: the outer loop reads again before it returns.
  void ReadFrames();
  // Header step over the receive buffer: true to keep reading, false to close.
  bool CutHead();
  // Body step over (bytes, available) with the current header describing the first frame:
  // bytes consumed, or -1 (bad next header, a frame the handler refused, the client closed by a
  // handler).
  int CutBodies(std::uint8_t* bytes, int available);

  // One complete frame's body (still compressed when the header says so): false closes.
  virtual bool HandleFrame(const std::uint8_t* body, int length) = 0;
  // After a receive call said 10035: register the events again where the client wants them.
  virtual void RearmAfterWouldBlock() = 0;
  // A valid header with magic '#' was taken by the named step (the push client's notice).
  virtual void SlowNetworkHeader(const char* /*step*/) {}
  // The receive calls of one notification are over (the push client's traffic time).
  virtual void ReceiveCallsDone() {}

  // Set when OnClose runs inside the read loop (ESock::inReceive_ set): the loop finishes the
  // close after the handler returns.
  bool closePending_ = false;

 private:
  // Takes the header at `bytes` and checks it; traces the bad header with the step's name.
  bool TakeHeader(const std::uint8_t* bytes, const char* step);

  const bool push_;
  const char* const headStep_;
  const char* const bodyStep_;
};
