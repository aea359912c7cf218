// What the main window uses of the two network clients, as one narrow interface over the
// process-wide client pointers (NormalClnt, RealDataClnt). The hub, the timers and the
// subscription call only this, so tests install a recording fake and run without sockets.
// UI thread only.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "platform/WinSock.h"

#include <cstdint>
#include <string>

class IShellClients {
 public:
  virtual ~IShellClients() = default;

  // ---- Which clients exist ----
  virtual bool HasRequestClient() = 0;
  virtual bool HasPushClient() = 0;

  // ---- Push client (each does nothing, -1 or empty without one) ----
  // TRealDataClnt::Subscribe: takes `list` over (null for an empty one), `newKeys` new at its
  // front. 0 sent or queued, -1 refused.
  virtual int PushSubscribe(EArray<STKMS>* list, std::int16_t newKeys, bool flag) = 0;
  // The last subscription sent (null when none or no client).
  virtual const EArray<STKMS>* PushSubscription() = 0;
  virtual int PushSendHeartbeat() = 0;
  // Tick of the push client's last receive or send.
  virtual std::uint32_t PushLastTraffic() = 0;
  // Destroys the push client (its pointer becomes null).
  virtual void DestroyPushClient() = 0;
  // The push client's socket, INVALID_SOCKET when it is closed or there is no client.
  virtual SOCKET PushSocket() = 0;

  // ---- Request client ----
  virtual int RequestSendHeartbeat() = 0;
  // TNormalClnt::RequestQuotes: the snapshot of `keys` (taken over).
  virtual void RequestQuotes(EArray<STKMS>* keys) = 0;
  virtual void RequestNameTable(int market) = 0;
  virtual void RequestSystemMessage() = 0;
  virtual void RequestNews(bool older, int category) = 0;
  // The text the server last sent with its reply (the request client's stored text).
  virtual std::string RequestServerText() = 0;
  virtual SOCKET RequestSocket() = 0;
  // Destroys the request client (its pointer becomes null).
  virtual void DestroyRequestClient() = 0;
};

// The installed clients: the real ones over the process-wide pointers unless a test installed
// its own.
IShellClients& ShellClients();
// Installs `clients` (not owned; null restores the real ones); returns the previous one.
IShellClients* SetShellClients(IShellClients* clients);
