// The real IShellClients: each call goes to the process-wide client it names, and does nothing
// (or answers -1, 0, null or empty) while that client does not exist.
#include "shell/ShellClients.h"

#include "data/IRequestClient.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "net/RequestQueue.h"
#include "shell/MainFrame.h"

#include "platform/Application.h"

#include <cassert>
#include <cstring>
#include <new>

namespace {

// The owner of the process-wide request client while the login made one: made with the first
// client, gone with the last, so a test process can hold its own owner between logins.
std::unique_ptr<RequestClientOwner>& LoginOwner() {
  static std::unique_ptr<RequestClientOwner> owner;
  return owner;
}

// The login's client before it went asynchronous: the owner's client seen as the network client.
TNormalClnt* LoginRequestClient() {
  if (NormalClnt != nullptr) return NormalClnt;
  return dynamic_cast<TNormalClnt*>(RequestClient());
}

// Installs `client` as the process-wide request client (the owner made when needed).
TNormalClnt* InstallRequestClient(std::unique_ptr<TNormalClnt> client) {
  if (!LoginOwner()) LoginOwner() = std::make_unique<RequestClientOwner>();
  return LoginOwner()->Install(std::move(client));
}

class RealPendingClients : public IPendingClients {
 public:
  RealPendingClients(std::unique_ptr<TNormalClnt> request, std::unique_ptr<TRealDataClnt> push)
      : request_(std::move(request)), push_(std::move(push)) {
    // Their connects run on the worker: what they change of the UI thread's state (the request
    // queue, the rights, the asynchronous events) waits for the adoption below.
    if (request_) request_->DeferUiThreadState();
    if (push_) push_->DeferUiThreadState();
  }
  ~RealPendingClients() override {
    // Clients are made and destroyed on the UI thread only.
    assert(zuvo::platform::IsUiThread());
  }
  int ConnectRequest() override {
    if (!request_) return 0;
    requestResult_ = request_->Connect(nullptr, false);
    return requestResult_;
  }
  int ConnectPush() override {
    if (!push_) return 1;
    pushResult_ = push_->ConnectAndLogin();
    return pushResult_;
  }
  bool AdoptRequest() override {
    assert(zuvo::platform::IsUiThread());
    if (!request_ || requestResult_ != 0) return false;
    request_->ApplyDeferredLoginState();
    if (request_->StartAsync() != 1) return false;
    TNormalClnt* client = InstallRequestClient(std::move(request_));
    NormalClnt = client;
    return true;
  }
  bool AdoptPush() override {
    assert(zuvo::platform::IsUiThread());
    if (!push_ || pushResult_ != 1) return false;
    if (RealDataClnt != nullptr) return false;   // one came meanwhile: this one goes
    if (push_->FinishDeferredConnect() != 1) return false;
    RealDataClnt = push_.release();
    return true;
  }

 private:
  std::unique_ptr<TNormalClnt> request_;
  std::unique_ptr<TRealDataClnt> push_;
  int requestResult_ = -1;
  int pushResult_ = 0;
};

class RealShellClients : public IShellClients {
 public:
  // The request client is the one the request-client owner holds (the data layer's view of
  // it); NormalClnt is the same object seen as the network client it is.
  bool HasRequestClient() override { return NormalClnt != nullptr || RequestClient() != nullptr; }
  bool HasPushClient() override { return RealDataClnt != nullptr; }

  int PushSubscribe(EArray<STKMS>* list, std::int16_t newKeys, bool flag) override {
    if (RealDataClnt == nullptr) {
      delete list;   // taken over even when nobody can send it
      return -1;
    }
    return RealDataClnt->Subscribe(list, newKeys, flag);
  }
  const EArray<STKMS>* PushSubscription() override {
    return RealDataClnt != nullptr ? RealDataClnt->subscription.get() : nullptr;
  }
  int PushSendHeartbeat() override { return RealDataClnt != nullptr ? RealDataClnt->SendHeartbeat() : -1; }
  std::uint32_t PushLastTraffic() override { return RealDataClnt != nullptr ? RealDataClnt->lastTraffic : 0; }
  void DestroyPushClient() override {
    assert(zuvo::platform::IsUiThread());
    TRealDataClnt* client = RealDataClnt;
    RealDataClnt = nullptr;   // cleared first: the destructor's close may look at the pointer
    delete client;
  }

  SOCKET PushSocket() override {
    if (RealDataClnt == nullptr || RealDataClnt->handle < 0) return INVALID_SOCKET;
    return static_cast<SOCKET>(RealDataClnt->handle);
  }

  int RequestSendHeartbeat() override { return NormalClnt != nullptr ? NormalClnt->SendHeartbeat() : -1; }
  void RequestQuotes(EArray<STKMS>* keys) override {
    if (NormalClnt == nullptr) {
      delete keys;
      return;
    }
    NormalClnt->RequestQuotes(keys);
  }
  void RequestNameTable(int market) override {
    if (IRequestClient* client = Queued()) client->RequestNameTable(market);
  }
  void RequestSystemMessage() override {
    if (NormalClnt != nullptr) NormalClnt->RequestSystemMessage();
  }
  void RequestNews(bool older, int category) override {
    if (IRequestClient* client = Queued()) client->RequestNews(older, category);
  }
  std::string RequestServerText() override {
    // Also the login's client before it went asynchronous (its failure text).
    TNormalClnt* client = LoginRequestClient();
    if (client == nullptr) return {};
    return std::string(client->errorText, strnlen(client->errorText, sizeof client->errorText));
  }
  SOCKET RequestSocket() override {
    // Also the login's client before it went asynchronous: a late loss notice of the client it
    // replaced must not take it for a closed one.
    TNormalClnt* client = LoginRequestClient();
    if (client == nullptr || client->handle < 0) return INVALID_SOCKET;
    return static_cast<SOCKET>(client->handle);
  }
  // The client that queues the requests every client kind takes.
  static IRequestClient* Queued() {
    if (IRequestClient* client = RequestClient()) return client;
    return NormalClnt;
  }

  void DestroyRequestClient() override {
    assert(zuvo::platform::IsUiThread());
    // The process-wide client belongs to the request-client owner: it drops it (a network
    // client's destructor clears NormalClnt). A network client outside the owner is ours.
    TNormalClnt* client = NormalClnt;
    if (RequestClient() != nullptr) DropRequestClient();
    if (client != nullptr && NormalClnt == client) {
      NormalClnt = nullptr;
      delete client;
    }
    LoginOwner().reset();
  }

  bool NewRequestClient() override {
    assert(zuvo::platform::IsUiThread());
    DestroyRequestClient();
    std::unique_ptr<TNormalClnt> client(new (std::nothrow) TNormalClnt());
    if (!client) return false;
    InstallRequestClient(std::move(client));
    return true;
  }
  int RequestConnect(HWND progress, bool useCachedReply) override {
    TNormalClnt* client = LoginRequestClient();
    return client != nullptr ? client->Connect(progress, useCachedReply) : 1;
  }
  int RequestCheckVersion(HWND progress) override {
    TNormalClnt* client = LoginRequestClient();
    return client != nullptr ? client->CheckVersion(progress) : -1;
  }
  int RequestDownloadMarketConfig() override {
    TNormalClnt* client = LoginRequestClient();
    return client != nullptr ? client->DownloadMarketConfig() : -1;
  }
  int RequestStartAsync() override {
    TNormalClnt* client = LoginRequestClient();
    if (client == nullptr || client->StartAsync() != 1) return 0;
    NormalClnt = client;
    return 1;
  }
  bool NewPushClient() override {
    assert(zuvo::platform::IsUiThread());
    DestroyPushClient();
    RealDataClnt = new (std::nothrow) TRealDataClnt();
    return RealDataClnt != nullptr;
  }
  int RequestLoginMode() override {
    TNormalClnt* client = LoginRequestClient();
    return client != nullptr ? client->loginMode : -1;
  }
  void RequestPasswordChange(const char* newPassword) override {
    if (NormalClnt != nullptr) NormalClnt->RequestPasswordChange(newPassword);
  }
  int PushConnect() override { return RealDataClnt != nullptr ? RealDataClnt->ConnectAndLogin() : 0; }
  std::unique_ptr<IPendingClients> NewPendingClients(bool request, bool push) override {
    assert(zuvo::platform::IsUiThread());
    std::unique_ptr<TNormalClnt> requestClient;
    std::unique_ptr<TRealDataClnt> pushClient;
    if (request) {
      requestClient.reset(new (std::nothrow) TNormalClnt());
      if (!requestClient) return nullptr;
    }
    if (push) {
      pushClient.reset(new (std::nothrow) TRealDataClnt());
      if (!pushClient) return nullptr;
    }
    return std::make_unique<RealPendingClients>(std::move(requestClient), std::move(pushClient));
  }
};

RealShellClients realClients;
IShellClients* installed = nullptr;

}  // namespace

IShellClients& ShellClients() { return installed != nullptr ? *installed : realClients; }

IShellClients* SetShellClients(IShellClients* clients) {
  IShellClients* previous = installed;
  installed = clients;
  return previous;
}
