// What the main window uses of the two network clients, as one narrow interface over the
// process-wide client pointers (NormalClnt, RealDataClnt). The hub, the timers and the
// subscription call only this, so tests install a recording fake and run without sockets.
// UI thread only.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"
#include "platform/WinSock.h"

#include <cstdint>
#include <memory>
#include <string>

// Clients connected off the UI thread (the quiet reconnect): made on the UI thread, their
// blocking connects run on a worker, and they are handed back to the UI thread, which adopts the
// connected ones and destroys the rest (the destructor, UI thread).
class IPendingClients {
 public:
  virtual ~IPendingClients() = default;
  // Worker. The request client's login without a progress window and without the cached reply
  // (TNormalClnt::Connect): 0 logged in, or its failure; 0 when no request client was made.
  virtual int ConnectRequest() = 0;
  // Worker. TRealDataClnt::ConnectAndLogin: 1 connected, else 0; 1 when no push client was made.
  virtual int ConnectPush() = 0;
  // UI thread. The connected request client goes asynchronous and becomes the process-wide one:
  // true when it did. Nothing when none was made or it did not log in.
  virtual bool AdoptRequest() = 0;
  // UI thread. The connected push client becomes the process-wide one: true when it did.
  virtual bool AdoptPush() = 0;
};

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

  // ---- Making and connecting clients (the login; UI thread) ----
  // A double that does not override these makes and connects nothing.
  // Replaces the request client by a new one, not yet connected: false when it cannot be made.
  virtual bool NewRequestClient() { return false; }
  // TNormalClnt::Connect on the still blocking request client: 0 logged in, else its failure
  // (1 also without a client).
  virtual int RequestConnect(HWND /*progress*/, bool /*useCachedReply*/) { return 1; }
  // TNormalClnt::CheckVersion: 0 go on, -1 failed (also without a client).
  virtual int RequestCheckVersion(HWND /*progress*/) { return -1; }
  // TNormalClnt::DownloadMarketConfig: 0, or -1 (also without a client).
  virtual int RequestDownloadMarketConfig() { return -1; }
  // TNormalClnt::StartAsync; the client becomes the one the request queue sends through: 1, or 0.
  virtual int RequestStartAsync() { return 0; }
  // Replaces the push client by a new one, not yet connected: false when it cannot be made.
  virtual bool NewPushClient() { return false; }
  // TRealDataClnt::ConnectAndLogin: 1 connected, else 0 (also without a client).
  virtual int PushConnect() { return 0; }
  // The request client's login mode: 1 two stages, 0 one stage (-1 without a client).
  virtual int RequestLoginMode() { return -1; }
  // TNormalClnt::RequestPasswordChange (kind 29 through the queue) with the new password.
  virtual void RequestPasswordChange(const char* /*newPassword*/) {}
  // Makes the missing clients for a connect off the UI thread (`request`, `push`: which); null
  // when they cannot be made.
  virtual std::unique_ptr<IPendingClients> NewPendingClients(bool /*request*/, bool /*push*/) { return nullptr; }
};

// The installed clients: the real ones over the process-wide pointers unless a test installed
// its own.
IShellClients& ShellClients();
// Installs `clients` (not owned; null restores the real ones); returns the previous one.
IShellClients* SetShellClients(IShellClients* clients);
