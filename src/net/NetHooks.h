// What the network clients call outside themselves, as replaceable hooks: the body handlers
// of the two connections (by default the reply dispatch and the push records), the main window
// that hears of replies, pushes and lost connections (set by the shell), the
// slow-network notice's request, and the trace points. Tests install recording doubles with
// the Scoped... guards, which put back what was there.
//
// UI thread only, like the clients that call them.
#pragma once

#include "platform/WinBase.h"

#include <cstdint>
#include <functional>

class TNormalClnt;
class TRealDataClnt;
struct FrameHeader;

namespace zuvo::net {

// One complete reply frame of the request connection (the client's current header describes
// it): 0 handled, -1 an unknown type (the connection closes). Default: DispatchInfo.
using ReplyHandler = std::function<int(TNormalClnt* client, const std::uint8_t* body, int length)>;
// One complete push frame; it never fails. Default: TRealDataClnt::DispatchRecords.
using PushHandler = std::function<void(TRealDataClnt* client, const std::uint8_t* body, int length)>;
// The slow-network notice asks the request client for the real-time message with this argument
// (3). Default: the process-wide request client's RequestRealtimeMessage (nothing without one).
using RealtimeMessageRequest = std::function<void(int which)>;
// A trace point of the receive path; the default writes nothing.
using TraceHook = std::function<void(const char* text)>;

int DispatchReply(TNormalClnt* client, const std::uint8_t* body, int length);
void DispatchPush(TRealDataClnt* client, const std::uint8_t* body, int length);
void RequestRealtimeMessageForSlowNetwork(int which);
void Trace(const char* text);

// The main window: every message of the network clients goes to it (MsgConnectionLost,
// MsgServerData, MsgServerText, MsgQuoteEvent, MsgOnlineNotice); null (nothing posted or sent)
// until the shell sets it.
HWND MainWindow();
void SetMainWindow(HWND window);

// Installs a hook for good (the units that own the real handlers); an empty function puts the
// default back. Each returns the hook that was there.
ReplyHandler SetReplyHandler(ReplyHandler handler);
PushHandler SetPushHandler(PushHandler handler);
RealtimeMessageRequest SetRealtimeMessageRequest(RealtimeMessageRequest request);
TraceHook SetTraceHook(TraceHook hook);


class ScopedReplyHandler {
 public:
  explicit ScopedReplyHandler(ReplyHandler handler);
  ~ScopedReplyHandler();
  ScopedReplyHandler(const ScopedReplyHandler&) = delete;
  ScopedReplyHandler& operator=(const ScopedReplyHandler&) = delete;

 private:
  ReplyHandler previous_;
};

class ScopedPushHandler {
 public:
  explicit ScopedPushHandler(PushHandler handler);
  ~ScopedPushHandler();
  ScopedPushHandler(const ScopedPushHandler&) = delete;
  ScopedPushHandler& operator=(const ScopedPushHandler&) = delete;

 private:
  PushHandler previous_;
};

class ScopedRealtimeMessageRequest {
 public:
  explicit ScopedRealtimeMessageRequest(RealtimeMessageRequest request);
  ~ScopedRealtimeMessageRequest();
  ScopedRealtimeMessageRequest(const ScopedRealtimeMessageRequest&) = delete;
  ScopedRealtimeMessageRequest& operator=(const ScopedRealtimeMessageRequest&) = delete;

 private:
  RealtimeMessageRequest previous_;
};

class ScopedTraceHook {
 public:
  explicit ScopedTraceHook(TraceHook hook);
  ~ScopedTraceHook();
  ScopedTraceHook(const ScopedTraceHook&) = delete;
  ScopedTraceHook& operator=(const ScopedTraceHook&) = delete;

 private:
  TraceHook previous_;
};

class ScopedMainWindow {
 public:
  explicit ScopedMainWindow(HWND window);
  ~ScopedMainWindow();
  ScopedMainWindow(const ScopedMainWindow&) = delete;
  ScopedMainWindow& operator=(const ScopedMainWindow&) = delete;

 private:
  HWND previous_;
};

}  // namespace zuvo::net
