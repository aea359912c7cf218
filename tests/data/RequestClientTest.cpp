// The owner of the process-wide request client: what data code reaches, and when a client goes.
#include "data/IRequestClient.h"

#include "FakeRequestClient.h"
#include "platform/Message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace {

// Notes what data code could still reach while the client was being destroyed.
class WatchedClient : public FakeRequestClient {
 public:
  explicit WatchedClient(IRequestClient** reachableAtDestruction) : reachable_(reachableAtDestruction) {}
  ~WatchedClient() override { *reachable_ = RequestClient(); }

 private:
  IRequestClient** reachable_;
};

TEST(RequestClientTest, AClientGoesOnlyAfterDataCodeCanNoLongerReachIt) {
  struct Case {
    const char* name;
    std::function<void(RequestClientOwner&)> action;
    bool replaced;   // a new client takes the old one's place
  };
  const Case cases[] = {
      {"the owner drops it", [](RequestClientOwner& owner) { owner.Drop(); }, false},
      {"the loader goes offline", [](RequestClientOwner&) { DropRequestClient(); }, false},
      {"a new client replaces it",
       [](RequestClientOwner& owner) { owner.Install(std::make_unique<FakeRequestClient>()); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IRequestClient* reachable = nullptr;
    int destroyed = 0;
    RequestClientOwner owner;
    auto client = std::make_unique<WatchedClient>(&reachable);
    client->destructions = &destroyed;
    WatchedClient* installed = owner.Install(std::move(client));
    ASSERT_EQ(RequestClient(), installed);

    c.action(owner);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(reachable, nullptr);
    EXPECT_EQ(RequestClient(), owner.client());
    EXPECT_EQ(RequestClient() != nullptr, c.replaced);
  }
}

TEST(RequestClientTest, TheProgramIsOfflineWithoutAnOwnerAndAfterItsOwnerWent) {
  EXPECT_EQ(RequestClient(), nullptr);
  DropRequestClient();   // nothing to drop: harmless
  IRequestClient* reachable = nullptr;
  int destroyed = 0;
  {
    RequestClientOwner owner;
    auto client = std::make_unique<WatchedClient>(&reachable);
    client->destructions = &destroyed;
    owner.Install(std::move(client));
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(reachable, nullptr);
  EXPECT_EQ(RequestClient(), nullptr);
}

TEST(RequestClientTest, AWorkerDropMakesTheProgramOfflineAtOnceAndTheUiThreadDestroysTheClient) {
  struct Destruction {
    std::thread::id thread;
    IRequestClient* reachable = nullptr;
  };
  // The loader's failure path on the login worker: the client goes while the UI thread pumps.
  class Noted : public FakeRequestClient {
   public:
    explicit Noted(Destruction* out) : out_(out) {}
    ~Noted() override { *out_ = {std::this_thread::get_id(), RequestClient()}; }

   private:
    Destruction* out_;
  };
  Destruction destruction;
  int destroyed = 0;
  RequestClientOwner owner;
  auto client = std::make_unique<Noted>(&destruction);
  client->destructions = &destroyed;
  owner.Install(std::move(client));

  std::atomic<bool> workerDone{false};
  std::atomic<bool> offlineOnWorker{false};
  std::thread worker([&] {
    DropRequestClient();
    offlineOnWorker = RequestClient() == nullptr;
    workerDone = true;
  });
  // The destruction waits for the UI thread (a worker that destroyed the client itself would
  // finish instead); data code already finds no client.
  while (!workerDone.load() && zuvo::platform::CrossThreadCallsWaiting() == 0) std::this_thread::yield();
  EXPECT_EQ(RequestClient(), nullptr);
  EXPECT_EQ(destroyed, 0) << "destroyed on the worker";
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return workerDone.load() && destroyed == 1; }, 20000));
  worker.join();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(destruction.thread, std::this_thread::get_id());
  EXPECT_EQ(destruction.reachable, nullptr);
  EXPECT_TRUE(offlineOnWorker.load());
  EXPECT_EQ(owner.client(), nullptr);

  // The owner takes a new client afterwards as before.
  FakeRequestClient* next = owner.Install(std::make_unique<FakeRequestClient>());
  EXPECT_EQ(RequestClient(), next);
}

TEST(RequestClientTest, ASecondOwnerIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RequestClientOwner owner;
  EXPECT_DEATH({ RequestClientOwner second; }, "second owner");
}

}  // namespace
