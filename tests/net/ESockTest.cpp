// ESock on loopback: the live-socket table (8 at most, order kept on close, whole while worker
// threads create and close), the hidden window that cannot be made, the name lookup on the
// driven clock, and the routing of notifications through the hidden window: dropped when
// nothing is ready or the socket is gone, never dispatched twice by a nested message loop,
// never dropped when many arrive at once, and a close that lets the reader finish first (also
// when it arrives in a modal loop inside a push client's handler).
#include "net/ESock.h"

#include "net/LoopbackPeer.h"
#include "net/NetTestSupport.h"

#include "core/EWnd.h"
#include "core/GuardedAlloc.h"

#include "data/Messages.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinSock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using nettest::LoopbackPeer;

// Records every handler call; OnReceive reads `readSize` bytes per call and runs `duringReceive`.
class RecordingSock : public ESock {
 public:
  ~RecordingSock() override = default;
  void OnReceive(int error) override {
    calls.push_back("receive " + std::to_string(error));
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (readSize > 0) {
      char bytes[64];
      const int got = Receive(bytes, std::min(readSize, 64), 0);
      if (got > 0) received.append(bytes, static_cast<std::size_t>(got));
    }
    if (duringReceive) {
      auto once = std::move(duringReceive);
      duringReceive = nullptr;
      once();
    }
    --depth;
  }
  void OnSend(int error) override { calls.push_back("send " + std::to_string(error)); }
  void OnOutOfBand(int error) override { calls.push_back("oob " + std::to_string(error)); }
  void OnAccept(int error) override { calls.push_back("accept " + std::to_string(error)); }
  void OnConnect(int error) override { calls.push_back("connect " + std::to_string(error)); }
  void OnClose(int error) override {
    calls.push_back("close " + std::to_string(error));
    receivedAtClose = received;
    Close();
  }

  std::vector<std::string> calls;
  std::string received;
  std::string receivedAtClose;
  int readSize = 0;
  int depth = 0;
  int maxDepth = 0;
  std::function<void()> duringReceive;
};

HWND SocketWindowHandle() {
  ESockWnd* window = zuvo::net::SocketWindow();
  return window != nullptr ? window->handle : nullptr;
}

void Post(const ESock& socket, long event, int error = 0) {
  ASSERT_TRUE(PostMessageA(SocketWindowHandle(), MsgSocketEvent, static_cast<WPARAM>(socket.handle),
                           static_cast<LPARAM>(event | (error << 16))));
}

class ESockTest : public testing::Test {
 protected:
  void SetUp() override {
    zuvo::platform::ProcessPendingMessages();
    ASSERT_EQ(zuvo::net::LiveSocketCount(), 0) << "a test left a socket open";
  }
  void TearDown() override { zuvo::platform::ProcessPendingMessages(); }

  // A socket connected to the listener, and the peer's descriptor.
  SOCKET Connected(ESock* sock) {
    EXPECT_EQ(sock->Create(), 1);
    EXPECT_EQ(sock->Connect("127.0.0.1", listener.port()), 1);
    return listener.Accept();
  }

  LoopbackPeer listener;
};

TEST_F(ESockTest, NinthSocketIsRefusedUntilOneCloses) {
  RecordingSock socks[kMaxLiveSockets + 1];
  for (int i = 0; i < kMaxLiveSockets; ++i) ASSERT_EQ(socks[i].Create(), 1) << i;
  const int openBefore = zuvo::platform::sockets::OpenSocketCount();
  EXPECT_EQ(socks[kMaxLiveSockets].Create(), 0);
  EXPECT_EQ(socks[kMaxLiveSockets].handle, -1);
  EXPECT_EQ(zuvo::platform::sockets::OpenSocketCount(), openBefore);   // nothing was made
  EXPECT_EQ(zuvo::net::LiveSocketCount(), kMaxLiveSockets);

  // Closing one keeps the others in their order; closing a socket without a handle does nothing.
  socks[2].Close();
  socks[2].Close();
  RecordingSock neverOpened;
  neverOpened.Close();
  ASSERT_EQ(zuvo::net::LiveSocketCount(), kMaxLiveSockets - 1);
  const int expectedOrder[] = {0, 1, 3, 4, 5, 6, 7};
  for (int at = 0; at < kMaxLiveSockets - 1; ++at) EXPECT_EQ(zuvo::net::LiveSocketAt(at), &socks[expectedOrder[at]]);

  EXPECT_EQ(socks[kMaxLiveSockets].Create(), 1);
  EXPECT_EQ(zuvo::net::LiveSocketAt(kMaxLiveSockets - 1), &socks[kMaxLiveSockets]);
  for (RecordingSock& sock : socks) sock.Close();
  EXPECT_EQ(zuvo::net::LiveSocketCount(), 0);
}

TEST_F(ESockTest, UnresolvableNameCostsThreeLookupsAndTwoPauses) {
  static std::vector<DWORD> lookups;
  lookups.clear();
  zuvo::platform::sockets::ScopedResolver resolver([](const char*, std::uint32_t*) {
    lookups.push_back(GetTickCount());
    return false;
  });
  zuvo::platform::ScopedDrivenClock clock;
  RecordingSock sock;
  ASSERT_EQ(sock.Create(), 1);
  const DWORD start = GetTickCount();
  EXPECT_EQ(sock.Connect("no-such-host.invalid", 80), 0);
  EXPECT_EQ(sock.GetLastError(), WSAEINVAL);
  EXPECT_EQ(lookups, (std::vector<DWORD>{start, start + 500, start + 1000}));
  EXPECT_EQ(GetTickCount(), start + 1000);   // no pause after the last lookup
  sock.Close();
}

TEST_F(ESockTest, ResolvedNameAndDottedAddressConnect) {
  zuvo::platform::sockets::ScopedResolver resolver([](const char* name, std::uint32_t* address) {
    if (std::string(name) != "quotes.local") return false;
    *address = LoopbackPeer::LoopbackAddress();
    return true;
  });
  RecordingSock byName;
  ASSERT_EQ(byName.Create(), 1);
  EXPECT_EQ(byName.Connect("quotes.local", listener.port()), 1);
  listener.Accept();
  RecordingSock refused;
  ASSERT_EQ(refused.Create(), 1);
  auto gone = std::make_unique<LoopbackPeer>();
  const int closedPort = gone->port();
  gone.reset();
  EXPECT_EQ(refused.Connect("127.0.0.1", closedPort), 0);
  EXPECT_NE(refused.GetLastError(), 0);
  byName.Close();
  refused.Close();
}

TEST_F(ESockTest, ReadNotificationWithNothingReadyCallsNothing) {
  RecordingSock sock;
  const SOCKET peer = Connected(&sock);
  Post(sock, FD_READ);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(sock.calls.empty());
  // An error is passed on even with nothing to read.
  Post(sock, FD_READ, WSAECONNRESET);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(sock.calls, std::vector<std::string>{"receive 10054"});
  // Bytes ready: the handler runs.
  LoopbackPeer::Write(peer, "abc");
  sock.readSize = 3;
  Post(sock, FD_READ);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(sock.received, "abc");
  sock.Close();
}

TEST_F(ESockTest, LateNotificationAfterCloseCallsNothing) {
  RecordingSock sock;
  const SOCKET peer = Connected(&sock);
  LoopbackPeer::Write(peer, "late");
  const WPARAM closedHandle = static_cast<WPARAM>(sock.handle);
  sock.Close();
  for (long event : {FD_READ, FD_WRITE, FD_CLOSE, FD_OOB}) {
    PostMessageA(SocketWindowHandle(), MsgSocketEvent, closedHandle, event);
  }
  PostMessageA(SocketWindowHandle(), MsgSocketEvent, 0, 0);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(sock.calls.empty());

  // A socket made after the close never takes the closed one's value, so late notifications
  // of the old socket cannot reach the new object either.
  RecordingSock next;
  Connected(&next);
  EXPECT_NE(static_cast<WPARAM>(next.handle), closedHandle);
  ASSERT_EQ(next.AsyncSelect(kClientSocketEvents), 1);
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return !next.calls.empty(); }, 10000));   // its own FD_WRITE
  next.calls.clear();
  for (long event : {FD_READ, FD_WRITE, FD_CLOSE}) {
    PostMessageA(SocketWindowHandle(), MsgSocketEvent, closedHandle, event);
  }
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(next.calls.empty());
  EXPECT_TRUE(sock.calls.empty());
  next.Close();
}

TEST_F(ESockTest, EventsReachTheirHandlersWithTheirError) {
  RecordingSock sock;
  Connected(&sock);
  Post(sock, FD_WRITE);
  Post(sock, FD_OOB, 7);
  Post(sock, FD_ACCEPT);
  Post(sock, FD_CONNECT, WSAECONNREFUSED);
  Post(sock, 0x40);   // no such event
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(sock.calls, (std::vector<std::string>{"send 0", "oob 7", "accept 0", "connect 10061"}));
  sock.Close();
}

// The peer sends its last bytes and closes: the close notification lets the reader take them
// before OnClose, so frames sent just before a close are not lost.
TEST_F(ESockTest, CloseNotificationLetsTheReaderFinishFirst) {
  RecordingSock sock;
  const SOCKET peer = Connected(&sock);
  sock.readSize = 64;
  ASSERT_EQ(sock.AsyncSelect(kClientSocketEvents), 1);
  LoopbackPeer::Write(peer, "last words");
  LoopbackPeer::ShutdownWrite(peer);
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return sock.handle == -1; }, 10000));
  EXPECT_EQ(sock.received, "last words");
  ASSERT_FALSE(sock.calls.empty());
  EXPECT_EQ(sock.calls.back(), "close 0");
  EXPECT_EQ(std::count(sock.calls.begin(), sock.calls.end(), "close 0"), 1);
  EXPECT_EQ(sock.receivedAtClose, "last words") << "the bytes are read before the close";
}

// A modal loop inside OnReceive dispatches the notifications that arrive meanwhile, but never
// the one being handled a second time.
TEST_F(ESockTest, ModalLoopInsideOnReceiveDispatchesEachNotificationOnce) {
  RecordingSock sock;
  const SOCKET peer = Connected(&sock);
  LoopbackPeer::Write(peer, "xy");
  sock.duringReceive = [&] {
    Post(sock, FD_WRITE);
    zuvo::platform::ProcessPendingMessages();   // the nested loop
  };
  Post(sock, FD_READ);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(sock.calls, (std::vector<std::string>{"receive 0", "send 0"}));
  EXPECT_EQ(sock.maxDepth, 1);
  sock.Close();
}

TEST_F(ESockTest, FortyNotificationsAtOnceAreAllDispatched) {
  RecordingSock socks[kMaxLiveSockets];
  for (RecordingSock& sock : socks) Connected(&sock);
  for (int round = 0; round < 5; ++round) {
    for (RecordingSock& sock : socks) Post(sock, FD_WRITE, round);
  }
  zuvo::platform::ProcessPendingMessages();
  for (RecordingSock& sock : socks) {
    EXPECT_EQ(sock.calls, (std::vector<std::string>{"send 0", "send 1", "send 2", "send 3", "send 4"}));
    sock.Close();
  }
}

// Forty notifications that arrive while a handler runs a nested message loop (where the pending
// queue used to pile up and drop the surplus): each is dispatched once, in order per socket, and
// the handler's own notification is not dispatched again.
TEST_F(ESockTest, FortyNotificationsDuringANestedLoopAreEachDispatchedOnce) {
  RecordingSock socks[kMaxLiveSockets];
  for (RecordingSock& sock : socks) Connected(&sock);
  socks[0].duringReceive = [&] {
    for (int round = 0; round < 5; ++round) {
      for (RecordingSock& sock : socks) Post(sock, FD_WRITE, round);
    }
    zuvo::platform::ProcessPendingMessages();
  };
  Post(socks[0], FD_READ, WSAECONNRESET);   // an error: OnReceive runs with nothing to read
  zuvo::platform::ProcessPendingMessages();
  for (int at = 0; at < kMaxLiveSockets; ++at) {
    SCOPED_TRACE(at);
    std::vector<std::string> expected = {"send 0", "send 1", "send 2", "send 3", "send 4"};
    if (at == 0) expected.insert(expected.begin(), "receive 10054");
    EXPECT_EQ(socks[at].calls, expected);
    socks[at].Close();
  }
}

// Workers (the login downloads, the password change) create and close sockets while the UI
// thread does the same: the live-socket table stays whole.
TEST_F(ESockTest, LiveSocketTableStaysWholeWhileThreadsCreateAndClose) {
  RecordingSock first;   // the hidden window exists before the workers start
  constexpr int kThreads = 7;   // with the UI thread, 8 live at most: every Create must succeed
  constexpr int kRounds = 1000;
  std::atomic<int> failures{0};
  std::atomic<int> tooMany{0};
  auto churn = [&] {
    RecordingSock sock;
    for (int round = 0; round < kRounds; ++round) {
      if (sock.Create() != 1) ++failures;
      if (zuvo::net::LiveSocketCount() > kThreads + 1) ++tooMany;
      sock.Close();
    }
  };
  std::vector<std::thread> workers;
  for (int i = 0; i < kThreads; ++i) workers.emplace_back(churn);
  churn();
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(tooMany.load(), 0);
  EXPECT_EQ(zuvo::net::LiveSocketCount(), 0);
  EXPECT_EQ(zuvo::net::LiveSocketAt(0), nullptr);
}

// When the hidden window cannot be made (here: the window map has no memory for its handle),
// the constructor says so in an error box and every Create fails; a later constructor tries
// again and, succeeding, lets sockets be made.
TEST_F(ESockTest, HiddenWindowThatCannotBeMadeRefusesSocketsUntilALaterTry) {
  // The process's window (none yet when this test runs first) is put back at the end.
  ESockWnd* processWindow = zuvo::net::ReplaceSocketWindowForTest(nullptr);
  // Use up the map's free nodes, so that entering one more window needs a new block.
  EMap<void*, EWnd*>& map = EWndHandleMap();
  std::vector<std::unique_ptr<EWnd>> fillers;
  while (map.GetCount() < map.GetBlockCount() * 10) {
    fillers.push_back(std::make_unique<EWnd>());
    ASSERT_EQ(fillers.back()->Create(0, WS_POPUP, 0, 0, 1, 1, nullptr), 1);
  }
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  std::unique_ptr<RecordingSock> refused;
  {
    ScopedGuardedAllocLimit noMemory(0);
    refused = std::make_unique<RecordingSock>();
  }
  EXPECT_EQ(zuvo::net::SocketWindow(), nullptr);
  const std::vector<zuvo::platform::MessageBoxRequest> shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "网络窗口初始化失败。  ");
  EXPECT_EQ(shown[0].caption, "错误");
  EXPECT_EQ(shown[0].icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(shown[0].topMost);
  EXPECT_EQ(refused->Create(), 0);
  EXPECT_EQ(refused->handle, -1);
  EXPECT_EQ(refused->AsyncSelect(kClientSocketEvents), 0);
  EXPECT_EQ(zuvo::net::LiveSocketCount(), 0);

  RecordingSock later;
  ESockWnd* made = zuvo::net::SocketWindow();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(boxes->Count(), 1u);
  EXPECT_EQ(later.Create(), 1);
  EXPECT_EQ(refused->Create(), 1);
  later.Close();
  refused->Close();
  fillers.clear();
  delete zuvo::net::ReplaceSocketWindowForTest(processWindow);
}

// A modal loop inside a push handler, on a real connection: the bytes and the peer's close that
// arrive meanwhile are notified to the nested loop, which must neither re-enter the assembly nor
// close under it; the outer read takes the rest in order and closes once.
TEST_F(ESockTest, ModalLoopInsideAPushHandlerKeepsFramesInOrderAndClosesOnce) {
  class CountingPush : public TRealDataClnt {
   public:
    void OnReceive(int error) override {
      ++notifications;
      TRealDataClnt::OnReceive(error);
    }
    int notifications = 0;
  };
  nettest::LostRecorder lost;
  nettest::RecordingHandlers handlers;
  CountingPush client;
  const SOCKET peer = Connected(&client);
  ASSERT_EQ(client.AsyncSelect(kClientSocketEvents), 1);
  int nestedNotifications = -1;
  handlers.during = [&](const nettest::Handled& frame) {
    if (frame.body != "first") return;
    LoopbackPeer::Write(peer, nettest::Frame(8, "second") + nettest::Frame(8, "third"));
    LoopbackPeer::ShutdownWrite(peer);
    // The modal loop: runs until the read notification of the new bytes has come and gone.
    const int before = client.notifications;
    EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return client.notifications > before; }, 10000));
    zuvo::platform::ProcessPendingMessages();   // the close notification, when it came with the bytes
    nestedNotifications = client.notifications - before;
    EXPECT_EQ(handlers.pushes.size(), 1u) << "no frame is handled inside the nested loop";
    EXPECT_NE(client.handle, -1) << "the close waits for the outer read";
  };
  LoopbackPeer::Write(peer, nettest::Frame(8, "first"));
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return client.handle == -1; }, 10000));
  EXPECT_GE(nestedNotifications, 1);
  ASSERT_EQ(handlers.pushes.size(), 3u);
  EXPECT_EQ(handlers.pushes[0].body, "first");
  EXPECT_EQ(handlers.pushes[1].body, "second");
  EXPECT_EQ(handlers.pushes[2].body, "third");
  zuvo::platform::ProcessPendingMessages();   // a late close notification, if any, finds nothing
  EXPECT_EQ(lost.Count(1), 1);
  EXPECT_EQ(lost.Total(), 1);
}

TEST_F(ESockTest, AsynchronousReadsArriveThroughTheHiddenWindow) {
  RecordingSock sock;
  const SOCKET peer = Connected(&sock);
  sock.readSize = 1;   // a reader that takes less than all still hears again
  ASSERT_EQ(sock.AsyncSelect(kClientSocketEvents), 1);
  LoopbackPeer::Write(peer, "hello");
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return sock.received.size() == 5; }, 10000));
  EXPECT_EQ(sock.received, "hello");
  sock.Close();
}

}  // namespace
