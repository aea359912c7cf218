#include "data/IRequestClient.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// The owner's client as data code reaches it. Atomic because the login worker reads it (and
// may drop it) while the user-interface thread can read it too.
std::atomic<IRequestClient*> currentClient{nullptr};
// The one owner alive, or null. Set and cleared on the user-interface thread before and after
// any worker that reads it.
RequestClientOwner* currentOwner = nullptr;

}  // namespace

IRequestClient* RequestClient() { return currentClient.load(std::memory_order_acquire); }

void DropRequestClient() {
  if (currentOwner != nullptr) currentOwner->Drop();
}

RequestClientOwner::RequestClientOwner() {
  if (currentOwner != nullptr) {
    std::fputs("RequestClientOwner: a second owner of the request client\n", stderr);
    std::abort();
  }
  currentOwner = this;
}

RequestClientOwner::~RequestClientOwner() {
  Drop();
  currentOwner = nullptr;
}

void RequestClientOwner::Replace(std::unique_ptr<IRequestClient> client) {
  currentClient.store(nullptr, std::memory_order_release);
  client_.reset();   // the old client goes while nobody can reach it
  client_ = std::move(client);
  currentClient.store(client_.get(), std::memory_order_release);
}
