// ESock on loopback: the live-socket table (8 at most, order kept on close), the name lookup
// on the driven clock, and the routing of notifications through the hidden window: dropped when
// nothing is ready or the socket is gone, never dispatched twice by a nested message loop,
// never dropped when many arrive at once, and a close that lets the reader finish first.
#include "net/ESock.h"

#include "net/LoopbackPeer.h"

#include "data/Messages.h"
#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/WinSock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
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
    platform::ProcessPendingMessages();
    ASSERT_EQ(zuvo::net::LiveSocketCount(), 0) << "a test left a socket open";
  }
  void TearDown() override { platform::ProcessPendingMessages(); }

  // A socket connected to the listener, and the peer's descriptor.
  int Connected(RecordingSock* sock) {
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
  platform::ScopedDrivenClock clock;
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
  const int peer = Connected(&sock);
  Post(sock, FD_READ);
  platform::ProcessPendingMessages();
  EXPECT_TRUE(sock.calls.empty());
  // An error is passed on even with nothing to read.
  Post(sock, FD_READ, WSAECONNRESET);
  platform::ProcessPendingMessages();
  EXPECT_EQ(sock.calls, std::vector<std::string>{"receive 10054"});
  // Bytes ready: the handler runs.
  LoopbackPeer::Write(peer, "abc");
  sock.readSize = 3;
  Post(sock, FD_READ);
  platform::ProcessPendingMessages();
  EXPECT_EQ(sock.received, "abc");
  sock.Close();
}

TEST_F(ESockTest, LateNotificationAfterCloseCallsNothing) {
  RecordingSock sock;
  const int peer = Connected(&sock);
  LoopbackPeer::Write(peer, "late");
  const WPARAM closedHandle = static_cast<WPARAM>(sock.handle);
  sock.Close();
  for (long event : {FD_READ, FD_WRITE, FD_CLOSE, FD_OOB}) {
    PostMessageA(SocketWindowHandle(), MsgSocketEvent, closedHandle, event);
  }
  PostMessageA(SocketWindowHandle(), MsgSocketEvent, 0, 0);
  platform::ProcessPendingMessages();
  EXPECT_TRUE(sock.calls.empty());
}

TEST_F(ESockTest, EventsReachTheirHandlersWithTheirError) {
  RecordingSock sock;
  Connected(&sock);
  Post(sock, FD_WRITE);
  Post(sock, FD_OOB, 7);
  Post(sock, FD_ACCEPT);
  Post(sock, FD_CONNECT, WSAECONNREFUSED);
  Post(sock, 0x40);   // no such event
  platform::ProcessPendingMessages();
  EXPECT_EQ(sock.calls, (std::vector<std::string>{"send 0", "oob 7", "accept 0", "connect 10061"}));
  sock.Close();
}

// The peer sends its last bytes and closes: the close notification lets the reader take them
// before OnClose, so frames sent just before a close are not lost.
TEST_F(ESockTest, CloseNotificationLetsTheReaderFinishFirst) {
  RecordingSock sock;
  const int peer = Connected(&sock);
  sock.readSize = 64;
  ASSERT_EQ(sock.AsyncSelect(kClientSocketEvents), 1);
  LoopbackPeer::Write(peer, "last words");
  LoopbackPeer::ShutdownWrite(peer);
  EXPECT_TRUE(platform::PumpMessagesUntil([&] { return sock.handle == -1; }, 10000));
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
  const int peer = Connected(&sock);
  LoopbackPeer::Write(peer, "xy");
  sock.duringReceive = [&] {
    Post(sock, FD_WRITE);
    platform::ProcessPendingMessages();   // the nested loop
  };
  Post(sock, FD_READ);
  platform::ProcessPendingMessages();
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
  platform::ProcessPendingMessages();
  for (RecordingSock& sock : socks) {
    EXPECT_EQ(sock.calls, (std::vector<std::string>{"send 0", "send 1", "send 2", "send 3", "send 4"}));
    sock.Close();
  }
}

TEST_F(ESockTest, AsynchronousReadsArriveThroughTheHiddenWindow) {
  RecordingSock sock;
  const int peer = Connected(&sock);
  sock.readSize = 1;   // a reader that takes less than all still hears again
  ASSERT_EQ(sock.AsyncSelect(kClientSocketEvents), 1);
  LoopbackPeer::Write(peer, "hello");
  EXPECT_TRUE(platform::PumpMessagesUntil([&] { return sock.received.size() == 5; }, 10000));
  EXPECT_EQ(sock.received, "hello");
  sock.Close();
}

}  // namespace
