// The real IShellClients: each call goes to the process-wide client it names, and does nothing
// (or answers -1, 0, null or empty) while that client does not exist.
#include "shell/ShellClients.h"

#include "data/IRequestClient.h"
#include "net/NormalClnt.h"
#include "net/RealDataClnt.h"
#include "net/RequestQueue.h"
#include "shell/MainFrame.h"

#include <cstring>

namespace {

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
    if (NormalClnt == nullptr) return {};
    return std::string(NormalClnt->errorText, strnlen(NormalClnt->errorText, sizeof NormalClnt->errorText));
  }
  SOCKET RequestSocket() override {
    if (NormalClnt == nullptr || NormalClnt->handle < 0) return INVALID_SOCKET;
    return static_cast<SOCKET>(NormalClnt->handle);
  }
  // The client that queues the requests every client kind takes.
  static IRequestClient* Queued() {
    if (IRequestClient* client = RequestClient()) return client;
    return NormalClnt;
  }

  void DestroyRequestClient() override {
    // The process-wide client belongs to the request-client owner: it drops it (a network
    // client's destructor clears NormalClnt). A network client outside the owner is ours.
    TNormalClnt* client = NormalClnt;
    if (RequestClient() != nullptr) DropRequestClient();
    if (client != nullptr && NormalClnt == client) {
      NormalClnt = nullptr;
      delete client;
    }
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
