// A recording IShellClients: which clients "exist" is set by the test; every call is kept in
// order as a short text ("PushSubscribe 3 1", "RequestQuotes 2", ...), with the lists kept.
#pragma once

#include "shell/ShellClients.h"

#include <memory>
#include <string>
#include <vector>

namespace shelltest {

class FakeShellClients : public IShellClients {
 public:
  FakeShellClients() { previous_ = SetShellClients(this); }
  ~FakeShellClients() override { SetShellClients(previous_); }
  FakeShellClients(const FakeShellClients&) = delete;
  FakeShellClients& operator=(const FakeShellClients&) = delete;

  bool requestClient = false;
  bool pushClient = false;
  std::uint32_t pushLastTraffic = 0;
  int subscribeResult = 0;
  int heartbeatResult = 0;
  std::string serverText;
  SOCKET socket = INVALID_SOCKET;
  SOCKET pushSocket = INVALID_SOCKET;

  std::vector<std::string> calls;
  // The lists handed over, in order (subscriptions and snapshot requests).
  std::vector<std::vector<STKMS>> subscriptions;
  std::vector<int> subscriptionNewKeys;
  std::vector<std::vector<STKMS>> quoteRequests;

  bool HasRequestClient() override { return requestClient; }
  bool HasPushClient() override { return pushClient; }

  int PushSubscribe(EArray<STKMS>* list, std::int16_t newKeys, bool flag) override {
    std::vector<STKMS> keys = Take(list);
    calls.push_back("PushSubscribe " + std::to_string(keys.size()) + " " + std::to_string(newKeys) + " " +
                    std::to_string(flag ? 1 : 0));
    subscriptions.push_back(keys);
    subscriptionNewKeys.push_back(newKeys);
    if (subscribeResult == 0) {
      last_ = std::make_unique<EArray<STKMS>>();
      for (const STKMS& key : keys) last_->Add(key);
    }
    return subscribeResult;
  }
  const EArray<STKMS>* PushSubscription() override { return pushClient ? last_.get() : nullptr; }
  int PushSendHeartbeat() override {
    calls.push_back("PushSendHeartbeat");
    return heartbeatResult;
  }
  std::uint32_t PushLastTraffic() override { return pushLastTraffic; }
  void DestroyPushClient() override {
    calls.push_back("DestroyPushClient");
    pushClient = false;
    last_.reset();
  }

  SOCKET PushSocket() override { return pushSocket; }

  int RequestSendHeartbeat() override {
    calls.push_back("RequestSendHeartbeat");
    return heartbeatResult;
  }
  void RequestQuotes(EArray<STKMS>* keys) override {
    std::vector<STKMS> taken = Take(keys);
    calls.push_back("RequestQuotes " + std::to_string(taken.size()));
    quoteRequests.push_back(taken);
  }
  void RequestNameTable(int market) override { calls.push_back("RequestNameTable " + std::to_string(market)); }
  void RequestSystemMessage() override { calls.push_back("RequestSystemMessage"); }
  void RequestNews(bool older, int category) override {
    calls.push_back("RequestNews " + std::to_string(older ? 1 : 0) + " " + std::to_string(category));
  }
  std::string RequestServerText() override { return serverText; }
  SOCKET RequestSocket() override { return socket; }
  void DestroyRequestClient() override {
    calls.push_back("DestroyRequestClient");
    requestClient = false;
  }

 private:
  static std::vector<STKMS> Take(EArray<STKMS>* list) {
    std::vector<STKMS> keys;
    if (list != nullptr) {
      for (int i = 0; i < list->GetSize(); ++i) keys.push_back(list->GetAt(i));
      delete list;
    }
    return keys;
  }

  IShellClients* previous_ = nullptr;
  std::unique_ptr<EArray<STKMS>> last_;
};

}  // namespace shelltest
