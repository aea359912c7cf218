// The push client's connection and what it sends: the opening frame, the keep-alive and the
// subscription.
#include "net/RealDataClnt.h"

#include "core/PackedTime.h"
#include "net/NetFrame.h"
#include "net/NetHooks.h"
#include "net/PushRecords.h"
#include "platform/Kernel.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kServerIni[] = ".\\server.ini";
// dsAddr holds the data server's address, or after a one-stage login the server's Address
// (a host name of up to 63 characters).
constexpr int kAddressBytes = 64;
constexpr std::uint32_t kOpeningValue = 4;
constexpr int kOpeningFrameBytes = kFrameHeaderBytes + 4;

bool Contains(const STKMS* keys, int count, const STKMS& key) {
  return std::find(keys, keys + count, key) != keys + count;
}

}  // namespace

int TRealDataClnt::ConnectAndLogin() {
  if (Create() != 1) {
    CloseQuietly();
    return 0;
  }
  ResetBuffers();
  pendingSubscription_ = -1;
  char address[kAddressBytes] = {};
  GetPrivateProfileStringA("Server", "dsAddr", "", address, sizeof address, kServerIni);
  const int port = static_cast<int>(GetPrivateProfileIntA("Server", "Port2", kDefaultPushPort, kServerIni));
  if (ConnectViaProxy(address, port) != 0) {
    CloseQuietly();
    return 0;
  }
  std::uint8_t opening[kOpeningFrameBytes];
  const FrameHeader header = OneFrameHeader(kOpeningFrameType, 4);
  std::memcpy(opening, &header, kFrameHeaderBytes);
  std::memcpy(opening + kFrameHeaderBytes, &kOpeningValue, 4);
  // One blocking call: the socket is still blocking, so anything short of the whole frame is a
  // broken connection.
  if (Send(opening, kOpeningFrameBytes, 0) != kOpeningFrameBytes) {
    CloseQuietly();
    return 0;
  }
  if (deferUiState_) {
    pendingAsync_ = true;
    return 1;
  }
  pendingAsync_ = true;
  return FinishDeferredConnect();
}

int TRealDataClnt::FinishDeferredConnect() {
  if (!pendingAsync_) return 1;
  pendingAsync_ = false;
  deferUiState_ = false;
  if (AsyncSelect(kClientSocketEvents) != 1) {
    CloseQuietly();
    return 0;
  }
  zuvo::net::Trace("已连接 (ConnectAndLogin)");
  lastTraffic = GetTickCount();
  return 1;
}

bool TRealDataClnt::KeepAliveDue() const { return IntervalElapsed(lastTraffic, GetTickCount(), kKeepAliveAfterMs); }

int TRealDataClnt::FlushKeepingSubscription() {
  const int before = sendCount;
  const int flushed = FlushSendBuffer();
  if (pendingSubscription_ >= 0) {
    pendingSubscription_ -= before - sendCount;
    if (pendingSubscription_ < 0) pendingSubscription_ = -1;   // some of it went: too late to replace
  }
  return flushed;
}

int TRealDataClnt::PendingSubscription() const {
  const int at = pendingSubscription_;
  // The buffer may have been emptied by a close since: check the frame is still there.
  if (at < 0 || at + kSubscriptionFrameBytes > sendCount) return -1;
  FrameHeader header;
  std::memcpy(&header, sendBuffer + at, kFrameHeaderBytes);
  if (header.magic != kFrameMagic || header.type != kSubscriptionType || header.length != kSubscriptionBodyBytes) return -1;
  return at;
}

void TRealDataClnt::PutFrame(int at, std::uint8_t type, const void* body, int length) {
  if (at < 0) {
    at = sendCount;
    sendCount += kFrameHeaderBytes + length;
  }
  const FrameHeader header = OneFrameHeader(type, length);
  std::memcpy(sendBuffer + at, &header, kFrameHeaderBytes);
  if (length > 0) std::memcpy(sendBuffer + at + kFrameHeaderBytes, body, static_cast<std::size_t>(length));
}

int TRealDataClnt::SendHeartbeat() {
  if (sendCount + kFrameHeaderBytes > kSendBufferBytes) {
    OnClose(0);
    return 0;
  }
  PutFrame(-1, kKeepAliveType, nullptr, 0);
  const int flushed = FlushKeepingSubscription();
  lastTraffic = GetTickCount();
  if (!flushed) {
    OnClose(0);
    return 0;
  }
  AsyncSelect(kClientSocketEvents);
  return 1;
}

int TRealDataClnt::Subscribe(EArray<STKMS>* list, std::int16_t newKeys, bool flag) {
  std::unique_ptr<EArray<STKMS>> taken(list);
  const int pending = PendingSubscription();
  if (pending < 0 && sendCount + kSubscriptionFrameBytes > kSendBufferBytes) {
    OnClose(0);
    return -1;
  }

  const int count = taken ? std::clamp(taken->GetSize(), 0, kSubscriptionKeys) : 0;
  const STKMS* keys = taken ? taken->GetData() : nullptr;
  PushSubscriptionBody body{};
  body.count = static_cast<std::uint16_t>(count);
  body.newKeys = newKeys;
  body.flag = flag ? 1 : 0;
  int placed = 0;
  if (pending >= 0 && count > 0) {
    // The frame being replaced announced its own new keys, which the server never heard of:
    // those this list still holds go behind this list's new keys and are counted new too.
    PushSubscriptionBody replaced;
    std::memcpy(&replaced, sendBuffer + pending + kFrameHeaderBytes, sizeof replaced);
    const int replacedNew = std::clamp<int>(replaced.newKeys, 0, std::min<int>(replaced.count, kSubscriptionKeys));
    const int ownNew = std::clamp<int>(newKeys, 0, count);
    for (int k = 0; k < ownNew; ++k) body.keys[placed++] = keys[k];
    for (int k = ownNew; k < count; ++k) {
      if (Contains(replaced.keys, replacedNew, keys[k])) body.keys[placed++] = keys[k];
    }
    if (placed > ownNew) {
      body.newKeys = static_cast<std::int16_t>(placed);
      for (int k = ownNew; k < count; ++k) {
        if (!Contains(replaced.keys, replacedNew, keys[k])) body.keys[placed++] = keys[k];
      }
    } else {
      placed = 0;   // nothing moved: the list goes as it is
    }
  }
  if (placed == 0) std::copy(keys, keys + count, body.keys);

  subscription = std::move(taken);
  PutFrame(pending, kSubscriptionType, &body, kSubscriptionBodyBytes);
  if (pending < 0) pendingSubscription_ = sendCount - kSubscriptionFrameBytes;
  const int flushed = FlushKeepingSubscription();
  lastTraffic = GetTickCount();
  if (!flushed) {
    OnClose(0);
    return -1;
  }
  AsyncSelect(kClientSocketEvents);
  return 0;
}
