#include "net/NetHooks.h"

#include "net/DispatchInfo.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "net/RequestQueue.h"

#include <utility>

namespace zuvo::net {
namespace {

// Function-local statics: nothing runs at start-up, and the defaults stand until a unit or a
// test replaces them.
ReplyHandler& ReplySlot() {
  static ReplyHandler handler;
  return handler;
}
PushHandler& PushSlot() {
  static PushHandler handler;
  return handler;
}
RealtimeMessageRequest& RealtimeSlot() {
  static RealtimeMessageRequest request;
  return request;
}
TraceHook& TraceSlot() {
  static TraceHook hook;
  return hook;
}

HWND mainWindow = nullptr;

}  // namespace

int DispatchReply(TNormalClnt* client, const std::uint8_t* body, int length) {
  const ReplyHandler& handler = ReplySlot();
  return handler ? handler(client, body, length) : DispatchInfo(client, body, length);
}

void DispatchPush(TRealDataClnt* client, const std::uint8_t* body, int length) {
  const PushHandler& handler = PushSlot();
  if (handler) {
    handler(client, body, length);
  } else {
    TRealDataClnt::DispatchRecords(client, body, length);
  }
}

void RequestRealtimeMessageForSlowNetwork(int which) {
  const RealtimeMessageRequest& request = RealtimeSlot();
  if (request) {
    request(which);
  } else if (NormalClnt != nullptr) {
    NormalClnt->RequestRealtimeMessage(which);
  }
}

void Trace(const char* text) {
  const TraceHook& hook = TraceSlot();
  if (hook) hook(text);
}

ReplyHandler SetReplyHandler(ReplyHandler handler) { return std::exchange(ReplySlot(), std::move(handler)); }
PushHandler SetPushHandler(PushHandler handler) { return std::exchange(PushSlot(), std::move(handler)); }
RealtimeMessageRequest SetRealtimeMessageRequest(RealtimeMessageRequest request) {
  return std::exchange(RealtimeSlot(), std::move(request));
}
TraceHook SetTraceHook(TraceHook hook) { return std::exchange(TraceSlot(), std::move(hook)); }

HWND MainWindow() { return mainWindow; }
void SetMainWindow(HWND window) { mainWindow = window; }

ScopedReplyHandler::ScopedReplyHandler(ReplyHandler handler) : previous_(std::exchange(ReplySlot(), std::move(handler))) {}
ScopedReplyHandler::~ScopedReplyHandler() { ReplySlot() = std::move(previous_); }

ScopedPushHandler::ScopedPushHandler(PushHandler handler) : previous_(std::exchange(PushSlot(), std::move(handler))) {}
ScopedPushHandler::~ScopedPushHandler() { PushSlot() = std::move(previous_); }

ScopedRealtimeMessageRequest::ScopedRealtimeMessageRequest(RealtimeMessageRequest request)
    : previous_(std::exchange(RealtimeSlot(), std::move(request))) {}
ScopedRealtimeMessageRequest::~ScopedRealtimeMessageRequest() { RealtimeSlot() = std::move(previous_); }

ScopedTraceHook::ScopedTraceHook(TraceHook hook) : previous_(std::exchange(TraceSlot(), std::move(hook))) {}
ScopedTraceHook::~ScopedTraceHook() { TraceSlot() = std::move(previous_); }

ScopedMainWindow::ScopedMainWindow(HWND window)
    : previous_(std::exchange(mainWindow, window)) {}
ScopedMainWindow::~ScopedMainWindow() { mainWindow = previous_; }

}  // namespace zuvo::net
