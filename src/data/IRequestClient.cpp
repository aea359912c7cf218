#include "data/IRequestClient.h"

IRequestClient* RequestClient = nullptr;

namespace {
DiscardRequestClientHook discardHook = nullptr;
}  // namespace

void SetDiscardRequestClientHook(DiscardRequestClientHook hook) { discardHook = hook; }

void DiscardRequestClient() {
  if (discardHook != nullptr) {
    discardHook();
    RequestClient = nullptr;
    return;
  }
  IRequestClient* client = RequestClient;
  RequestClient = nullptr;
  delete client;
}
