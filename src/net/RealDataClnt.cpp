#include "net/RealDataClnt.h"

#include "core/PackedTime.h"
#include "data/Messages.h"
#include "net/NetHooks.h"
#include "platform/Kernel.h"

#include <zlib.h>

#include <cstring>

namespace {

void TakeHeader(FrameHeader* header, const std::uint8_t* bytes) { std::memcpy(header, bytes, kFrameHeaderBytes); }

// The traffic clock: 0 means "never", so a tick of 0 is taken as 1.
std::uint32_t NonZeroTick() {
  const std::uint32_t tick = GetTickCount();
  return tick != 0 ? tick : 1;
}

}  // namespace

TRealDataClnt::TRealDataClnt() : decoder(std::make_unique<LCompressLite>()), lastTraffic(GetTickCount()) {}

TRealDataClnt::~TRealDataClnt() {
  inReceive_ = false;
  OnClose(0);
}

void TRealDataClnt::OnReceive(int /*error*/) {
  // A nested read waits for the outer loop, which reads again before it returns.
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
      close = true;   // the peer closed; a body it cut short is dropped with the buffer
      break;
    }
    if (received < 0) {
      if (GetLastError() != WSAEWOULDBLOCK) {
        close = true;
        break;
      }
      AsyncSelect(kClientSocketEvents);
      break;
    }
    receiveCount += received;
    if (!MakeFrame() || closePending_) {
      close = true;
      break;
    }
  }
  // The traffic time of the receive calls: they all ran within this one notification, so the
  // time of the last one stands for each (one clock read a notification, not one a call).
  lastTraffic = GetTickCount();
  inReceive_ = false;
  if (close || closePending_) OnClose(0);
}

void TRealDataClnt::OnSend(int /*error*/) {
  if (handle == -1 || sendCount == 0) return;
  const int flushed = FlushSendBuffer();
  lastTraffic = GetTickCount();
  if (!flushed) {
    OnClose(0);
    return;
  }
  AsyncSelect(kClientSocketEvents);
}

void TRealDataClnt::OnClose(int /*error*/) {
  if (handle == -1) return;
  if (inReceive_) {
    closePending_ = true;   // the read loop finishes the close as it unwinds
    return;
  }
  closePending_ = false;
  zuvo::net::Trace("网络断开 (OnClose)");
  ESock::Close();
  headerHeld = false;
  receiveCount = 0;
  sendCount = 0;
  if (HWND window = zuvo::net::ConnectionLostWindow(); window != nullptr) {
    PostMessageA(window, MsgConnectionLost, 0, 1);
  }
}

bool TRealDataClnt::MakeFrame() {
  if (headerHeld) {
    if (receiveCount < header.length) return true;
    const int consumed = MakeData(receiveBuffer, receiveCount);
    if (consumed < 0) return false;
    std::memmove(receiveBuffer, receiveBuffer + consumed, static_cast<std::size_t>(receiveCount - consumed));
    receiveCount -= consumed;
    return true;
  }
  if (receiveCount < kFrameHeaderBytes) return true;
  TakeHeader(&header, receiveBuffer);
  if (!IsValidFrameHeader(header, true)) {
    zuvo::net::Trace("收到错误的包头 (MakeFrame)");
    return false;
  }
  if (header.magic == kSlowNetworkMagic) {
    zuvo::net::Trace("收到网速慢通知 (MakeFrame)");
    RaiseSlowNetworkNotice("申请网速慢通知 (MakeFrame)");
  }
  const int available = receiveCount - kFrameHeaderBytes;
  if (available < header.length) {
    std::memmove(receiveBuffer, receiveBuffer + kFrameHeaderBytes, static_cast<std::size_t>(available));
    receiveCount = available;
    headerHeld = true;
    return true;
  }
  const int consumed = MakeData(receiveBuffer + kFrameHeaderBytes, available);
  if (consumed < 0) return false;
  const int taken = kFrameHeaderBytes + consumed;
  std::memmove(receiveBuffer, receiveBuffer + taken, static_cast<std::size_t>(receiveCount - taken));
  receiveCount -= taken;
  return true;
}

int TRealDataClnt::MakeData(std::uint8_t* bytes, int available) {
  int consumed = 0;
  for (;;) {
    const std::uint8_t* frameBody = bytes + consumed;
    int frameLength = header.length;
    if (header.compressed != 0) {
      int decoded = 0;
      if (!Decompress(frameBody, frameLength, &decoded)) return -1;
      frameBody = output;
      frameLength = decoded;
    }
    zuvo::net::DispatchPush(this, frameBody, frameLength);
    if (closePending_) return -1;   // the handler closed this client; the read loop finishes it
    consumed += header.length;
    if (available - consumed < kFrameHeaderBytes) {
      headerHeld = false;
      return consumed;
    }
    TakeHeader(&header, bytes + consumed);
    if (!IsValidFrameHeader(header, true)) {
      zuvo::net::Trace("收到错误的包头 (MakeData)");
      return -1;
    }
    if (header.magic == kSlowNetworkMagic) {
      zuvo::net::Trace("收到网速慢通知 (MakeData)");
      RaiseSlowNetworkNotice("申请网速慢通知 (MakeData)");
    }
    consumed += kFrameHeaderBytes;
    if (available - consumed < header.length) {
      headerHeld = true;
      return consumed;
    }
  }
}

bool TRealDataClnt::Decompress(const std::uint8_t* source, int length, int* decoded) {
  auto lzw = [&] {
    return decoder && decoder->DecodeLzw(source, length, output, kDecompressBytes, decoded) == kLzwOk;
  };
  auto zlib = [&] {
    uLongf size = kDecompressBytes;
    if (uncompress(output, &size, source, static_cast<uLong>(length)) != Z_OK) return false;
    *decoded = static_cast<int>(size);
    return true;
  };
  // The mode changes before the records are handled; it is kept for the next push client.
  switch (PushDecompressMode) {
    case kPushCompressionZlib:
      if (zlib()) return true;
      if (lzw()) {
        PushDecompressMode = kPushCompressionLzw;
        return true;
      }
      zuvo::net::Trace("解压失败3 (MakeData)");
      return false;
    case kPushCompressionLzw:
      if (lzw()) return true;
      if (zlib()) {
        PushDecompressMode = kPushCompressionZlib;
        return true;
      }
      zuvo::net::Trace("解压失败2 (MakeData)");
      return false;
    default:
      if (lzw()) {
        PushDecompressMode = kPushCompressionLzw;
        return true;
      }
      if (zlib()) {
        PushDecompressMode = kPushCompressionZlib;
        return true;
      }
      zuvo::net::Trace("解压失败1 (MakeData)");
      return false;
  }
}

void TRealDataClnt::RaiseSlowNetworkNotice(const char* traceText) {
  const std::uint32_t now = NonZeroTick();
  if (lastSlowNetworkRequest != 0 && !IntervalElapsed(lastSlowNetworkRequest, now, kSlowNetworkRequestIntervalMs)) {
    return;
  }
  lastSlowNetworkRequest = now;
  zuvo::net::Trace(traceText);
  zuvo::net::RequestRealtimeMessageForSlowNetwork(kSlowNetworkRealtimeMessage);
}

int TRealDataClnt::FlushSendBuffer() {
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
