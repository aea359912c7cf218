// The owner of the process-wide request client: what data code reaches, and when a client goes.
#include "data/IRequestClient.h"

#include "FakeRequestClient.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

TEST(RequestClientTest, ASecondOwnerIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  RequestClientOwner owner;
  EXPECT_DEATH({ RequestClientOwner second; }, "second owner");
}

}  // namespace
