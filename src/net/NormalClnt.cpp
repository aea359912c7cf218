#include "net/NormalClnt.h"

#include "data/Messages.h"
#include "net/NetHooks.h"
#include "net/RequestQueue.h"
#include "platform/Application.h"

#include <cassert>
#include <cstring>

TNormalClnt::TNormalClnt() : FrameClient(false, "AnalyzeInfoHead", "AnalyzeInfoBody") {}

TNormalClnt::~TNormalClnt() {
  CloseFromDestructor();
  // The queue must never send through a client that is gone.
  if (NormalClnt == this) NormalClnt = nullptr;
}

void TNormalClnt::OnReceive(int /*error*/) {
  // Socket notifications are the UI thread's: the queue and the replies' targets live there.
  assert(zuvo::platform::IsUiThread());
  ReadFrames();
}

void TNormalClnt::OnClose(int error) {
  const bool connected = handle != -1;
  FrameClient::OnClose(error);
  // Only a finished close counts (inside the read loop OnClose only marks the client).
  if (connected && handle == -1 && RequestClient() == static_cast<IRequestClient*>(this)) {
    RequestConnectionClosed();
  }
}

void TNormalClnt::RearmAfterWouldBlock() {
  // A client not yet asynchronous has nothing to re-register (and must not be switched to
  // asynchronous mode here).
  if (async) StartAsync();
}

void TNormalClnt::OnSend(int /*error*/) {
  assert(zuvo::platform::IsUiThread());
  if (handle == -1 || sendCount == 0) return;
  if (!FlushSendBuffer()) {
    OnClose(0);
    return;
  }
  if (async) StartAsync();
}

bool TNormalClnt::AnalyzeInfoHead() { return CutHead(); }

int TNormalClnt::AnalyzeInfoBody(std::uint8_t* bytes, int available) { return CutBodies(bytes, available); }

bool TNormalClnt::HandleFrame(const std::uint8_t* frame, int length) {
  if (header.compressed != 0) {
    int decoded = 0;
    if (!decoder || decoder->DecodeLzw(frame, length, output, kDecompressBytes, &decoded) != kLzwOk) {
      zuvo::net::Trace("解压失败1 (AnalyzeInfoBody)");
      return false;
    }
    frame = output;
    length = decoded;
  }
  return zuvo::net::DispatchReply(this, frame, length) >= 0;
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
