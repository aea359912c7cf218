#include "net/RealDataClnt.h"

#include "core/PackedTime.h"
#include "data/Messages.h"
#include "net/NetHooks.h"
#include "platform/Application.h"
#include "platform/Kernel.h"

#include <zlib.h>

#include <cassert>
#include <cstring>
#include <string>

namespace {

// The traffic clock: 0 means "never", so a tick of 0 is taken as 1.
std::uint32_t NonZeroTick() {
  const std::uint32_t tick = GetTickCount();
  return tick != 0 ? tick : 1;
}

}  // namespace

TRealDataClnt::TRealDataClnt() : FrameClient(true, "MakeFrame", "MakeData"), lastTraffic(GetTickCount()) {}

TRealDataClnt::~TRealDataClnt() { CloseFromDestructor(); }

void TRealDataClnt::OnReceive(int /*error*/) {
  // Socket notifications are the UI thread's, as is every use of the process-wide push client.
  assert(zuvo::platform::IsUiThread());
  ReadFrames();
}

void TRealDataClnt::RearmAfterWouldBlock() { AsyncSelect(kClientSocketEvents); }

void TRealDataClnt::ReceiveCallsDone() {
  // The traffic time of the receive calls: they all ran within this one notification, so the
  // time of the last one stands for each (one clock read a notification, not one a call).
  lastTraffic = GetTickCount();
}

void TRealDataClnt::OnSend(int /*error*/) {
  assert(zuvo::platform::IsUiThread());
  if (handle == -1 || sendCount == 0) return;
  const int flushed = FlushKeepingSubscription();
  lastTraffic = GetTickCount();
  if (!flushed) {
    OnClose(0);
    return;
  }
  AsyncSelect(kClientSocketEvents);
}

int TRealDataClnt::ConnectViaProxy(const char* host, int port) {
  lastSlowNetworkRequest = 0;
  return FrameClient::ConnectViaProxy(host, port);
}

bool TRealDataClnt::MakeFrame() { return CutHead(); }

int TRealDataClnt::MakeData(std::uint8_t* bytes, int available) { return CutBodies(bytes, available); }

void TRealDataClnt::SlowNetworkHeader(const char* step) {
  zuvo::net::Trace((std::string("收到网速慢通知 (") + step + ")").c_str());
  RaiseSlowNetworkNotice((std::string("申请网速慢通知 (") + step + ")").c_str());
}

bool TRealDataClnt::HandleFrame(const std::uint8_t* frame, int length) {
  if (header.compressed != 0) {
    int decoded = 0;
    if (!Decompress(frame, length, &decoded)) return false;
    frame = output;
    length = decoded;
  }
  zuvo::net::DispatchPush(this, frame, length);
  return true;
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
