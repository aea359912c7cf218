// Connects run on a worker (the quiet reconnect) leave the UI thread's state alone until the
// client is adopted: the request client's login neither resets the request queue nor takes the
// rights nor reads the clock word on the worker, and the push client registers no asynchronous
// events and writes no traffic tick there. Adoption on the UI thread applies all of it, and the
// bytes that arrived before the registration are still delivered.
#include "net/RequestServerFixture.h"

#include "core/PackedTime.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"
#include "net/RequestRecord.h"
#include "net/ServerRights.h"
#include "platform/Profile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace nettest {
namespace {

using zuvo::quoteserver::PortRole;

constexpr int kAwaitMs = 20000;

class ConnectDeferred : public RequestServerTest {
 protected:
  void SetUp() override {
    RequestServerTest::SetUp();
    zuvo::net::ResetPushState();
    zuvo::net::ClearServerRights();
  }
  void TearDown() override {
    zuvo::net::ClearServerRights();
    RequestServerTest::TearDown();
    zuvo::net::ResetPushState();
  }

  // The one-stage server.ini and the user's SERVER.INI the login reads.
  void WriteLoginFiles() {
    testsupport::WriteBytes(install_.bin() / "server.ini",
                            testsupport::CrlfLines({"[Server]", "NOJH=1", "Address=127.0.0.1",
                                                    "Port=" + std::to_string(mainPort()),
                                                    "Port1=" + std::to_string(requestPort())}));
    testsupport::WriteBytes(install_.user() / "SERVER.INI",
                            testsupport::CrlfLines({"[Server]", "UserName=test", "Password=pw"}));
  }

  // The push frames that reached the dispatch: the clock events posted to the main window.
  int ClockEvents() {
    int events = 0;
    for (const MessageRecorder::Message& message : main_.messages) {
      if (message.message == MsgQuoteEvent && message.wParam == kQuoteEventClock) ++events;
    }
    return events;
  }
};

TEST_F(ConnectDeferred, RequestLoginOnAWorkerChangesQueueRightsAndLoginTimeOnlyOnAdoption) {
  Start();
  WriteLoginFiles();
  // A request waiting from before the connection (no client: it sits in the flight).
  RequestRecord waiting;
  waiting.kind = kRequestSystemMessage;
  EnqueueRequest(waiting);
  const zuvo::net::RequestQueueState before = zuvo::net::GetRequestQueueState();
  ASSERT_EQ(before.count, 1);

  TNormalClnt client;
  client.DeferUiThreadState();
  int result = -1;
  std::thread worker([&] { result = client.Connect(nullptr, false); });
  worker.join();
  ASSERT_EQ(result, 0) << client.errorText;

  // Logged in, but nothing of the UI thread's state moved.
  const zuvo::net::RequestQueueState after = zuvo::net::GetRequestQueueState();
  EXPECT_EQ(after.count, before.count);
  EXPECT_EQ(after.writePos, before.writePos);
  EXPECT_EQ(after.inFlight, before.inFlight);
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 0);
  EXPECT_FALSE(zuvo::net::HasMarketRight(0, 0));
  EXPECT_EQ(client.loginYear, 0);

  client.ApplyDeferredLoginState();
  EXPECT_EQ(zuvo::net::GetRequestQueueState().count, 0) << "the queue starts afresh with the new connection";
  EXPECT_NE(zuvo::net::CurrentServerRights().expiry, 0);
  EXPECT_TRUE(zuvo::net::HasMarketRight(0, 0));
  EXPECT_EQ(client.loginYear, PackedYear(SystemNow));
  EXPECT_EQ(client.loginMinute, PackedMinute(SystemNow));

  // Applied once: a second call (or a later plain login's state) is not replayed.
  zuvo::net::ClearServerRights();
  client.ApplyDeferredLoginState();
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 0);
}

// A refused login on the worker leaves the rights and the queue as they were, and adoption never
// comes for it.
TEST_F(ConnectDeferred, AFailedLoginOnAWorkerLeavesEverythingAlone) {
  Start();
  WriteLoginFiles();
  On("login-refuse=refused");
  RequestRecord waiting;
  waiting.kind = kRequestSystemMessage;
  EnqueueRequest(waiting);
  ASSERT_EQ(zuvo::net::GetRequestQueueState().count, 1);

  TNormalClnt client;
  client.DeferUiThreadState();
  int result = -1;
  std::thread worker([&] { result = client.Connect(nullptr, false); });
  worker.join();
  EXPECT_EQ(result, 4);
  EXPECT_EQ(zuvo::net::GetRequestQueueState().count, 1);
  EXPECT_EQ(zuvo::net::CurrentServerRights().expiry, 0);
}

TEST_F(ConnectDeferred, PushConnectOnAWorkerRegistersTheEventsOnlyOnAdoption) {
  Start();
  Connect();
  WritePrivateProfileStringA("Server", "dsAddr", "127.0.0.1", ".\\server.ini");
  WritePrivateProfileStringA("Server", "Port2", std::to_string(pushPort()).c_str(), ".\\server.ini");

  TRealDataClnt push;
  push.lastTraffic = 0;   // a marker: the worker must not write it
  push.DeferUiThreadState();
  int result = -1;
  std::thread worker([&] { result = push.ConnectAndLogin(); });
  worker.join();
  ASSERT_EQ(result, 1);
  EXPECT_EQ(push.lastTraffic, 0u);

  // The server has the opening frame and answers it with its clock; without the events the
  // answer waits in the socket and no notification reaches the client.
  ASSERT_TRUE(server_->AwaitReceived(PortRole::kPush, kOpeningFrameType, 1, kAwaitMs));
  Pump([] { return true; });
  EXPECT_EQ(ClockEvents(), 0);

  ASSERT_EQ(push.FinishDeferredConnect(), 1);
  EXPECT_NE(push.lastTraffic, 0u);
  EXPECT_TRUE(Pump([&] { return ClockEvents() > 0; })) << "the answer that came before the registration";
  EXPECT_EQ(push.FinishDeferredConnect(), 1) << "nothing more to do";
}

}  // namespace
}  // namespace nettest
