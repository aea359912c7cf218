#include "net/NormalClnt.h"

#include "data/Messages.h"
#include "net/NetHooks.h"

#include <cstring>

namespace {

// Takes the 10 bytes at `bytes` as the current header.
void TakeHeader(FrameHeader* header, const std::uint8_t* bytes) { std::memcpy(header, bytes, kFrameHeaderBytes); }

}  // namespace

TNormalClnt::TNormalClnt() : decoder(std::make_unique<LCompressLite>()) {}

TNormalClnt::~TNormalClnt() {
  // A client is never deleted inside its own read loop; should it be, the close still happens.
  inReceive_ = false;
  OnClose(0);
}

void TNormalClnt::OnReceive(int /*error*/) {
  // A nested read (a message loop inside a reply handler): the outer loop reads again before it
  // returns, so nothing is lost by leaving it to that loop.
  if (inReceive_ || handle == -1) return;
  inReceive_ = true;
  bool close = false;
  for (;;) {
    if (receiveCount >= kReceiveBufferBytes) {
      close = true;
      break;
    }
    const int received = Receive(receiveBuffer + receiveCount, kReceiveBufferBytes - receiveCount, 0);
    if (received == 0) {
      // The peer closed; a body it cut short is dropped with the buffer.
      close = true;
      break;
    }
    if (received < 0) {
      if (GetLastError() != WSAEWOULDBLOCK) {
        close = true;
        break;
      }
      // Nothing more now. A client not yet asynchronous has nothing to re-register (and must
      // not be switched to asynchronous mode here).
      if (async) StartAsync();
      break;
    }
    receiveCount += received;
    if (!AnalyzeInfoHead() || closePending_) {
      close = true;
      break;
    }
  }
  inReceive_ = false;
  if (close || closePending_) OnClose(0);
}

void TNormalClnt::OnSend(int /*error*/) {
  if (handle == -1 || sendCount == 0) return;
  if (!FlushSendBuffer()) {
    OnClose(0);
    return;
  }
  if (async) StartAsync();
}

void TNormalClnt::OnClose(int /*error*/) {
  if (handle == -1) return;
  if (inReceive_) {
    // The read loop is cutting this client's buffer: it finishes the close as it unwinds.
    closePending_ = true;
    return;
  }
  closePending_ = false;
  ESock::Close();
  headerHeld = false;
  receiveCount = 0;
  sendCount = 0;
  if (HWND window = zuvo::net::ConnectionLostWindow(); window != nullptr) {
    PostMessageA(window, MsgConnectionLost, 0, 0);
  }
}

bool TNormalClnt::AnalyzeInfoHead() {
  if (headerHeld) {
    if (receiveCount < header.length) return true;
    const int consumed = AnalyzeInfoBody(receiveBuffer, receiveCount);
    if (consumed < 0) return false;
    std::memmove(receiveBuffer, receiveBuffer + consumed, static_cast<std::size_t>(receiveCount - consumed));
    receiveCount -= consumed;
    return true;
  }
  if (receiveCount < kFrameHeaderBytes) return true;
  TakeHeader(&header, receiveBuffer);
  if (!IsValidFrameHeader(header, false)) {
    zuvo::net::Trace("收到错误的包头 (AnalyzeInfoHead)");
    return false;
  }
  const int available = receiveCount - kFrameHeaderBytes;
  if (available < header.length) {
    std::memmove(receiveBuffer, receiveBuffer + kFrameHeaderBytes, static_cast<std::size_t>(available));
    receiveCount = available;
    headerHeld = true;
    return true;
  }
  const int consumed = AnalyzeInfoBody(receiveBuffer + kFrameHeaderBytes, available);
  if (consumed < 0) return false;
  const int taken = kFrameHeaderBytes + consumed;
  std::memmove(receiveBuffer, receiveBuffer + taken, static_cast<std::size_t>(receiveCount - taken));
  receiveCount -= taken;
  return true;
}

int TNormalClnt::AnalyzeInfoBody(std::uint8_t* bytes, int available) {
  int consumed = 0;
  for (;;) {
    // The current header describes the frame at `consumed`, and its whole body is there.
    const std::uint8_t* frameBody = bytes + consumed;
    int frameLength = header.length;
    if (header.compressed != 0) {
      int decoded = 0;
      if (!decoder || decoder->DecodeLzw(frameBody, frameLength, output, kDecompressBytes, &decoded) != kLzwOk) {
        zuvo::net::Trace("解压失败1 (AnalyzeInfoBody)");
        return -1;
      }
      frameBody = output;
      frameLength = decoded;
    }
    if (zuvo::net::DispatchReply(this, frameBody, frameLength) < 0) return -1;
    // The handler closed its own client (directly or through a request it sent): stop cutting
    // the buffer; the read loop finishes the close.
    if (closePending_) return -1;
    consumed += header.length;
    if (available - consumed < kFrameHeaderBytes) {
      headerHeld = false;
      return consumed;
    }
    TakeHeader(&header, bytes + consumed);
    if (!IsValidFrameHeader(header, false)) {
      zuvo::net::Trace("收到错误的包头 (AnalyzeInfoBody)");
      return -1;
    }
    consumed += kFrameHeaderBytes;
    if (available - consumed < header.length) {
      headerHeld = true;
      return consumed;
    }
  }
}

int TNormalClnt::ReadFrameHeader() {
  auto* into = reinterpret_cast<std::uint8_t*>(&header);
  int have = 0;
  while (have < kFrameHeaderBytes) {
    const int received = Receive(into + have, kFrameHeaderBytes - have, 0);
    if (received <= 0) return 0;
    have += received;
  }
  return IsValidFrameHeader(header, false) ? 1 : 0;
}

int TNormalClnt::ReadFrameBody() {
  // The header passed its checks, so the body fits the receive buffer.
  const int length = header.length <= kMaxFrameBody ? header.length : kMaxFrameBody;
  int have = 0;
  while (have < length) {
    const int received = Receive(receiveBuffer + have, length - have, 0);
    if (received <= 0) return -1;
    have += received;
  }
  if (header.compressed != 0) {
    int decoded = 0;
    if (!decoder || decoder->DecodeLzw(receiveBuffer, length, output, kDecompressBytes, &decoded) != kLzwOk) {
      return -1;
    }
    body = output;
    bodyLength = decoded;
  } else {
    body = receiveBuffer;
    bodyLength = length;
  }
  return bodyLength;
}

int TNormalClnt::StartAsync() {
  if (AsyncSelect(kClientSocketEvents)) {
    async = 1;
    return 1;
  }
  OnClose(0);
  return 0;
}

int TNormalClnt::FlushSendBuffer() {
  // A partial send leaves the rest at the front; no FD_WRITE follows a send that did not fail,
  // so offer the rest at once until the socket says it has no room.
  while (sendCount > 0) {
    const int sent = Send(sendBuffer, sendCount, 0);
    if (sent < 0) return GetLastError() == WSAEWOULDBLOCK ? 1 : 0;
    if (sent == 0) return 1;
    const int taken = sent < sendCount ? sent : sendCount;
    std::memmove(sendBuffer, sendBuffer + taken, static_cast<std::size_t>(sendCount - taken));
    sendCount -= taken;
  }
  return 1;
}
