#include "data/IRequestClient.h"

#include "platform/Application.h"
#include "platform/Message.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// The owner's client as data code reaches it. Atomic because the login worker reads it (and
// may drop it) while the user-interface thread can read it too.
std::atomic<IRequestClient*> currentClient{nullptr};
// The one owner alive, or null. Set and cleared on the user-interface thread before and after
// any worker that reads it.
RequestClientOwner* currentOwner = nullptr;
// Guards the owner's client between the user-interface thread and a worker that drops it.
std::mutex ownerMutex;

// Destroys a client on the user-interface thread: here when this is that thread, else handed
// over there while the caller waits.
void DestroyOnUiThread(std::unique_ptr<IRequestClient> client) {
  if (!client) return;
  if (zuvo::platform::IsUiThread()) {
    client.reset();
    return;
  }
  zuvo::platform::RunOnUiThread([&client] { client.reset(); });
}

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
  std::unique_ptr<IRequestClient> old;
  {
    std::lock_guard<std::mutex> lock(ownerMutex);
    currentClient.store(nullptr, std::memory_order_release);
    old = std::move(client_);
  }
  DestroyOnUiThread(std::move(old));   // the old client goes while nobody can reach it
  if (!client) return;
  std::lock_guard<std::mutex> lock(ownerMutex);
  client_ = std::move(client);
  currentClient.store(client_.get(), std::memory_order_release);
}
