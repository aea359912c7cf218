// TCP sockets under their Windows names, on loopback against listeners the tests make with the
// same calls: error numbers, handle values, blocking timeouts on the driven clock, the
// replaceable resolver, and the rules of the asynchronous notifications (message 883) as the
// clients rely on them, delivered through the ordinary message loop.
#include "platform/WinSock.h"

#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "platform/internal/SocketWatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using zuvo::platform::sockets::AwaitWatcherPass;
using zuvo::platform::sockets::OpenSocketCount;
using zuvo::platform::sockets::ScopedResolver;
using zuvo::platform::sockets::ScopedSocketTimeouts;

constexpr UINT kSocketMessage = 883;
constexpr long kClientEvents = FD_READ | FD_WRITE | FD_CLOSE;
// A safety net for pumps that wait for the watcher thread; no test measures time with it.
constexpr DWORD kPatience = 20000;

struct Notification {
  SOCKET socket;
  long event;
  int error;
};

std::vector<Notification> received;
std::function<void(SOCKET, long, int)> onNotification;

LRESULT SocketWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kSocketMessage) {
    const Notification n{static_cast<SOCKET>(wParam), WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam)};
    received.push_back(n);
    if (onNotification) onNotification(n.socket, n.event, n.error);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

WORD SocketWindowClass() {
  static WORD atom = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = SocketWindowProc;
    wc.lpszClassName = "WinSockTestWindow";
    return RegisterClassA(&wc);
  }();
  return atom;
}

SOCKADDR_IN Loopback(std::uint16_t port) {
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  return address;
}

const SOCKADDR* AsAddress(const SOCKADDR_IN& in) { return reinterpret_cast<const SOCKADDR*>(&in); }

int Count(SOCKET s, long event) {
  return static_cast<int>(std::count_if(received.begin(), received.end(),
                                        [&](const Notification& n) { return n.socket == s && n.event == event; }));
}

std::vector<long> EventsOf(SOCKET s) {
  std::vector<long> events;
  for (const Notification& n : received) {
    if (n.socket == s) events.push_back(n.event);
  }
  return events;
}

bool PumpUntil(const std::function<bool()>& done) { return zuvo::platform::PumpMessagesUntil(done, kPatience); }

// Lets the watcher post what is ready now and delivers it, so a test can say what did not come.
void Settle() {
  AwaitWatcherPass();
  zuvo::platform::ProcessPendingMessages();
}

class WinSockTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(SocketWindowClass(), 0);
    window_ = CreateWindowExA(0, "WinSockTestWindow", "sockets", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
    openAtStart_ = OpenSocketCount();
    received.clear();
    onNotification = nullptr;
    listener_ = Open();
    SOCKADDR_IN any = Loopback(0);
    ASSERT_EQ(bind(listener_, AsAddress(any), sizeof any), 0);
    ASSERT_EQ(listen(listener_, 64), 0);
    SOCKADDR_IN bound{};
    int length = sizeof bound;
    ASSERT_EQ(getsockname(listener_, reinterpret_cast<SOCKADDR*>(&bound), &length), 0);
    port_ = ntohs(bound.sin_port);
  }

  void TearDown() override {
    onNotification = nullptr;
    for (SOCKET s : owned_) closesocket(s);
    DestroyWindow(window_);
    zuvo::platform::ProcessPendingMessages();
    received.clear();
    EXPECT_EQ(OpenSocketCount(), openAtStart_) << "a socket was left open";
  }

  SOCKET Open() {
    SOCKET s = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    owned_.push_back(s);
    return s;
  }

  // Closes a socket the fixture would otherwise close at the end.
  void Close(SOCKET s) {
    EXPECT_EQ(closesocket(s), 0);
    owned_.erase(std::remove(owned_.begin(), owned_.end(), s), owned_.end());
  }

  // A connected client (blocking) and the listener's side of it.
  std::pair<SOCKET, SOCKET> Pair() {
    SOCKET client = Open();
    SOCKADDR_IN to = Loopback(port_);
    EXPECT_EQ(connect(client, AsAddress(to), sizeof to), 0) << WSAGetLastError();
    SOCKADDR_IN from{};
    int length = sizeof from;
    SOCKET peer = accept(listener_, reinterpret_cast<SOCKADDR*>(&from), &length);
    EXPECT_NE(peer, INVALID_SOCKET) << WSAGetLastError();
    EXPECT_EQ(from.sin_addr.s_addr, inet_addr("127.0.0.1"));
    owned_.push_back(peer);
    return {client, peer};
  }

  static void SendAll(SOCKET s, const std::string& bytes) {
    ASSERT_EQ(send(s, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
  }

  // Waits (without the message loop) until `count` bytes are ready on `s`.
  static void AwaitBytes(SOCKET s, u_long count) {
    u_long ready = 0;
    for (int spins = 0; spins < 10000000; ++spins) {
      ASSERT_EQ(ioctlsocket(s, WINSOCK_FIONREAD, &ready), 0);
      if (ready >= count) return;
      std::this_thread::yield();
    }
    FAIL() << "only " << ready << " of " << count << " bytes arrived";
  }

  static std::string Receive(SOCKET s, int length) {
    std::string bytes(static_cast<std::size_t>(length), '\0');
    int got = recv(s, bytes.data(), length, 0);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
  }

  HWND window_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  int openAtStart_ = 0;
  std::vector<SOCKET> owned_;
};

// ---- Blocking calls and their errors ----------------------------------------------------------

TEST_F(WinSockTest, FailuresReportTheWindowsErrorNumbers) {
  auto [client, peer] = Pair();
  SOCKET closed = Open();
  Close(closed);
  SOCKET fresh = Open();
  // A port that refuses: bound once, then let go.
  SOCKET gone = Open();
  SOCKADDR_IN any = Loopback(0);
  ASSERT_EQ(bind(gone, AsAddress(any), sizeof any), 0);
  SOCKADDR_IN bound{};
  int boundLength = sizeof bound;
  ASSERT_EQ(getsockname(gone, reinterpret_cast<SOCKADDR*>(&bound), &boundLength), 0);
  Close(gone);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  char buffer[16];
  u_long argument = 0;

  struct Case {
    const char* what;
    std::function<bool()> fails;   // true when the call reported failure
    int error;
  };
  const std::vector<Case> cases = {
      {"connect to a port nobody listens on",
       [&] {
         SOCKADDR_IN to = bound;
         return connect(fresh, AsAddress(to), sizeof to) == SOCKET_ERROR;
       },
       WSAECONNREFUSED},
      {"recv on a closed socket", [&] { return recv(closed, buffer, 1, 0) == SOCKET_ERROR; }, WSAENOTSOCK},
      {"send on a closed socket", [&] { return send(closed, "x", 1, 0) == SOCKET_ERROR; }, WSAENOTSOCK},
      {"closesocket twice", [&] { return closesocket(closed) == SOCKET_ERROR; }, WSAENOTSOCK},
      {"a kernel handle that is no socket",
       [&] { return ioctlsocket(reinterpret_cast<SOCKET>(event), WINSOCK_FIONREAD, &argument) == SOCKET_ERROR; },
       WSAENOTSOCK},
      {"a number that is no handle", [&] { return recv(12345, buffer, 1, 0) == SOCKET_ERROR; }, WSAENOTSOCK},
      {"socket of another family", [&] { return socket(23, WINSOCK_SOCK_STREAM, 0) == INVALID_SOCKET; },
       WSAEAFNOSUPPORT},
      {"socket of another type", [&] { return socket(WINSOCK_AF_INET, 2, 0) == INVALID_SOCKET; },
       WSAESOCKTNOSUPPORT},
      {"socket of another protocol", [&] { return socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 17) == INVALID_SOCKET; },
       WSAEPROTONOSUPPORT},
      {"connect with a short address",
       [&] {
         SOCKADDR_IN to = Loopback(port_);
         return connect(fresh, AsAddress(to), 8) == SOCKET_ERROR;
       },
       WSAEFAULT},
      {"connect with a null address", [&] { return connect(fresh, nullptr, 16) == SOCKET_ERROR; }, WSAEFAULT},
      {"connect to another family",
       [&] {
         SOCKADDR_IN to = Loopback(port_);
         to.sin_family = 23;
         return connect(fresh, AsAddress(to), sizeof to) == SOCKET_ERROR;
       },
       WSAEAFNOSUPPORT},
      {"connect to the any address",
       [&] {
         SOCKADDR_IN to = Loopback(port_);
         to.sin_addr.s_addr = 0;
         return connect(fresh, AsAddress(to), sizeof to) == SOCKET_ERROR;
       },
       WSAEADDRNOTAVAIL},
      {"connect a connected socket",
       [&] {
         SOCKADDR_IN to = Loopback(port_);
         return connect(client, AsAddress(to), sizeof to) == SOCKET_ERROR;
       },
       WSAEISCONN},
      {"an unknown ioctl", [&] { return ioctlsocket(client, 0x1234, &argument) == SOCKET_ERROR; }, WSAEINVAL},
      {"an ioctl without its argument",
       [&] { return ioctlsocket(client, WINSOCK_FIONREAD, nullptr) == SOCKET_ERROR; }, WSAEFAULT},
      {"recv with a negative length", [&] { return recv(client, buffer, -1, 0) == SOCKET_ERROR; }, WSAEINVAL},
      {"recv into no buffer", [&] { return recv(client, nullptr, 4, 0) == SOCKET_ERROR; }, WSAEFAULT},
      {"recv with out-of-band data asked", [&] { return recv(client, buffer, 4, 1) == SOCKET_ERROR; },
       WSAEOPNOTSUPP},
      {"recv on a socket never connected", [&] { return recv(fresh, buffer, 1, 0) == SOCKET_ERROR; },
       WSAENOTCONN},
      {"send on a socket never connected", [&] { return send(fresh, "x", 1, 0) == SOCKET_ERROR; }, WSAENOTCONN},
      {"recv on the listener", [&] { return recv(listener_, buffer, 1, 0) == SOCKET_ERROR; }, WSAENOTCONN},
      {"accept on a socket that does not listen",
       [&] { return accept(client, nullptr, nullptr) == INVALID_SOCKET; }, WSAEINVAL},
      {"shutdown in an unknown direction", [&] { return shutdown(client, 7) == SOCKET_ERROR; }, WSAEINVAL},
      {"registering unknown events",
       [&] { return WSAAsyncSelect(client, window_, kSocketMessage, 0x400) == SOCKET_ERROR; }, WSAEINVAL},
      {"registering to a window that does not exist",
       [&] { return WSAAsyncSelect(client, reinterpret_cast<HWND>(0x7777), kSocketMessage, FD_READ) == SOCKET_ERROR; },
       WSAEINVAL},
      {"no name to look up", [&] { return gethostbyname(nullptr) == nullptr; }, WSAEFAULT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WSASetLastError(0);
    EXPECT_TRUE(c.fails());
    EXPECT_EQ(WSAGetLastError(), c.error);
  }
  // The failures left the working pair as it was.
  SendAll(client, "ok");
  EXPECT_EQ(Receive(peer, 2), "ok");
  CloseHandle(event);
}

TEST_F(WinSockTest, ABrokenConnectionReadsAsZeroOrAsAReset) {
  {
    SCOPED_TRACE("the peer closes after sending: the bytes, then 0");
    auto [client, peer] = Pair();
    SendAll(peer, "last");
    Close(peer);
    EXPECT_EQ(Receive(client, 16), "last");
    char byte;
    EXPECT_EQ(recv(client, &byte, 1, 0), 0);
  }
  {
    SCOPED_TRACE("the peer closes with bytes it never read: a reset");
    auto [client, peer] = Pair();
    SendAll(client, "unread");
    AwaitBytes(peer, 6);
    Close(peer);
    char byte;
    WSASetLastError(0);
    EXPECT_EQ(recv(client, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    WSASetLastError(0);
    EXPECT_EQ(send(client, "x", 1, 0), SOCKET_ERROR);
    EXPECT_TRUE(WSAGetLastError() == WSAECONNRESET || WSAGetLastError() == WSAECONNABORTED) << WSAGetLastError();
  }
}

TEST_F(WinSockTest, TheLastErrorBelongsToEachThread) {
  WSASetLastError(WSAEINVAL);
  int seenThere = -1;
  std::thread([&] {
    char byte;
    recv(12345, &byte, 1, 0);
    seenThere = WSAGetLastError();
  }).join();
  EXPECT_EQ(seenThere, WSAENOTSOCK);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinSockTest, AClosedSocketsValueIsNotHandedOutAgainAtOnce) {
  SOCKET first = Open();
  Close(first);
  for (int i = 0; i < 200; ++i) {
    SOCKET next = Open();
    ASSERT_NE(next, first) << "after " << i << " others";
    Close(next);
  }
  char byte;
  EXPECT_EQ(recv(first, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(OpenSocketCount(), openAtStart_ + 1);   // the listener
}

TEST_F(WinSockTest, IoctlReportsReadyBytesAndSwitchesBlocking) {
  auto [client, peer] = Pair();
  u_long ready = 99;
  ASSERT_EQ(ioctlsocket(client, WINSOCK_FIONREAD, &ready), 0);
  EXPECT_EQ(ready, 0u);
  SendAll(peer, "abcdef");
  AwaitBytes(client, 6);
  char two[2];
  ASSERT_EQ(recv(client, two, 2, WINSOCK_MSG_PEEK), 2);   // peeking leaves the bytes
  ASSERT_EQ(ioctlsocket(client, WINSOCK_FIONREAD, &ready), 0);
  EXPECT_EQ(ready, 6u);
  EXPECT_EQ(Receive(client, 6), "abcdef");

  u_long on = 1;
  ASSERT_EQ(ioctlsocket(client, WINSOCK_FIONBIO, &on), 0);
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  // Registered sockets stay non-blocking.
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_READ), 0);
  u_long off = 0;
  EXPECT_EQ(ioctlsocket(client, WINSOCK_FIONBIO, &off), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, 0), 0);
  EXPECT_EQ(ioctlsocket(client, WINSOCK_FIONBIO, &off), 0);
}

TEST_F(WinSockTest, AddressTextAndByteOrder) {
  struct Case {
    const char* text;
    std::uint32_t expected;   // network order
  };
  const Case cases[] = {
      {"127.0.0.1", 0x0100007Fu},   {"10.1.2.3", 0x0302010Au}, {"0.0.0.0", 0u},
      {"1.2.3", 0x03000201u},       {"999.1.1.1", INADDR_NONE_VALUE}, {"a.b.c.d", INADDR_NONE_VALUE},
      {"", INADDR_NONE_VALUE},      {nullptr, INADDR_NONE_VALUE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(null)");
    EXPECT_EQ(inet_addr(c.text), c.expected);
  }
  EXPECT_EQ(htons(0x1234), 0x3412);
  EXPECT_EQ(ntohs(htons(7709)), 7709);
  WSADATA data{};
  EXPECT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
}

// ---- Name lookup -------------------------------------------------------------------------------

std::atomic<int> lookups{0};

bool CountingResolver(const char* name, std::uint32_t* address) {
  ++lookups;
  if (std::strcmp(name, "quotes.test") != 0) return false;
  *address = inet_addr("10.20.30.40");
  return true;
}

TEST_F(WinSockTest, AReplacedResolverAnswersEveryLookupWhileItLives) {
  lookups = 0;
  {
    ScopedResolver resolver(CountingResolver);
    HOSTENT* host = gethostbyname("quotes.test");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->h_addrtype, WINSOCK_AF_INET);
    EXPECT_EQ(host->h_length, 4);
    std::uint32_t first;
    std::memcpy(&first, host->h_addr_list[0], 4);
    EXPECT_EQ(first, inet_addr("10.20.30.40"));
    EXPECT_EQ(host->h_addr_list[1], nullptr);
    EXPECT_STREQ(host->h_name, "quotes.test");

    // Each thread has its own answer: another thread's lookup leaves this one alone.
    std::thread([] { EXPECT_EQ(gethostbyname("nowhere.test"), nullptr); }).join();
    std::memcpy(&first, host->h_addr_list[0], 4);
    EXPECT_EQ(first, inet_addr("10.20.30.40"));

    WSASetLastError(0);
    EXPECT_EQ(gethostbyname("nowhere.test"), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
    EXPECT_EQ(lookups.load(), 3);
  }
  // The system resolver is back: a dotted name resolves to itself, and the counter stays.
  HOSTENT* host = gethostbyname("127.0.0.1");
  ASSERT_NE(host, nullptr);
  std::uint32_t address;
  std::memcpy(&address, host->h_addr_list[0], 4);
  EXPECT_EQ(address, inet_addr("127.0.0.1"));
  EXPECT_EQ(lookups.load(), 3);
}

// ---- Blocking timeouts on the driven clock ----------------------------------------------------

TEST_F(WinSockTest, ABlockingRecvFromASilentPeerTimesOutWhenTheClockPassesTheTimeout) {
  auto [client, peer] = Pair();
  zuvo::platform::ScopedDrivenClock clock;
  ScopedSocketTimeouts timeouts(10000, 30000);
  int result = 0;
  int error = 0;
  std::thread worker([&, client = client] {
    char byte;
    result = recv(client, &byte, 1, 0);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  clock.Advance(29999);
  clock.AwaitWaitingThreads(1);   // still waiting one millisecond short
  clock.Advance(1);
  worker.join();
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAETIMEDOUT);
  (void)peer;
}

TEST_F(WinSockTest, ABlockingRecvEndsWithTheBytesThatArriveBeforeTheTimeout) {
  auto [client, peer] = Pair();
  zuvo::platform::ScopedDrivenClock clock;
  ScopedSocketTimeouts timeouts(10000, 30000);
  std::string got;
  std::thread worker([&, client = client] { got = Receive(client, 16); });
  clock.AwaitWaitingThreads(1);
  SendAll(peer, "reply");
  worker.join();
  EXPECT_EQ(got, "reply");
}

TEST_F(WinSockTest, ClosingASocketEndsABlockingCallOnAnotherThread) {
  auto [client, peer] = Pair();
  zuvo::platform::ScopedDrivenClock clock;
  int result = 0;
  int error = 0;
  std::thread worker([&, client = client] {
    char byte;
    result = recv(client, &byte, 1, 0);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  Close(client);
  worker.join();
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAEINTR);
  (void)peer;
}

TEST_F(WinSockTest, ABlockingConnectThatGetsNoAnswerTimesOut) {
  // A listener whose queue is full drops further connection requests unanswered.
  SOCKET full = Open();
  SOCKADDR_IN any = Loopback(0);
  ASSERT_EQ(bind(full, AsAddress(any), sizeof any), 0);
  ASSERT_EQ(listen(full, 0), 0);
  SOCKADDR_IN bound{};
  int length = sizeof bound;
  ASSERT_EQ(getsockname(full, reinterpret_cast<SOCKADDR*>(&bound), &length), 0);
  for (int i = 0; i < 3; ++i) {
    SOCKET filler = Open();
    u_long on = 1;
    ioctlsocket(filler, WINSOCK_FIONBIO, &on);
    connect(filler, AsAddress(bound), sizeof bound);
  }
  zuvo::platform::ScopedDrivenClock clock;
  ScopedSocketTimeouts timeouts(10000, 30000);
  SOCKET client = Open();
  int result = 0;
  int error = 0;
  std::thread worker([&] {
    result = connect(client, AsAddress(bound), sizeof bound);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  clock.Advance(10000);
  worker.join();
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(error, WSAETIMEDOUT);
}

// ---- Notifications ------------------------------------------------------------------------------

TEST_F(WinSockTest, WriteIsNotifiedAtRegistrationOnceAndAgainOnlyAfterAWouldBlock) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  EXPECT_EQ(zuvo::platform::QueuedMessageCount(), 1) << "FD_WRITE is posted before the registration returns";
  // The clients register again after every would-block: no second FD_WRITE for that.
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  Settle();
  EXPECT_EQ(EventsOf(client), std::vector<long>{FD_WRITE});

  // Fill the connection until it would block; the peer reads nothing yet.
  const std::string chunk(65536, 'x');
  std::size_t queued = 0;
  for (;;) {
    int sent = send(client, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (sent == SOCKET_ERROR) {
      ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
      break;
    }
    queued += static_cast<std::size_t>(sent);
  }
  Settle();
  EXPECT_EQ(Count(client, FD_WRITE), 1) << "no room yet";

  std::size_t drained = 0;
  std::string buffer(65536, '\0');
  while (drained < queued) {
    int got = recv(peer, buffer.data(), static_cast<int>(buffer.size()), 0);
    ASSERT_GT(got, 0) << WSAGetLastError();
    drained += static_cast<std::size_t>(got);
  }
  EXPECT_TRUE(PumpUntil([&] { return Count(client, FD_WRITE) == 2; }));
  Settle();
  EXPECT_EQ(Count(client, FD_WRITE), 2);
  EXPECT_EQ(Count(client, FD_READ), 0);
}

TEST_F(WinSockTest, ReadIsNotifiedAgainAfterEachRecvWhileBytesRemain) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_READ | FD_CLOSE), 0);
  SendAll(peer, std::string(100, 'a'));
  ASSERT_TRUE(PumpUntil([&] { return Count(client, FD_READ) == 1; }));
  Settle();
  EXPECT_EQ(Count(client, FD_READ), 1) << "no recv yet: no second notification";

  EXPECT_EQ(Receive(client, 10).size(), 10u);
  EXPECT_EQ(zuvo::platform::QueuedMessageCount(), 1) << "bytes remain: FD_READ posted by the recv itself";
  Settle();
  EXPECT_EQ(Count(client, FD_READ), 2);

  EXPECT_EQ(Receive(client, 200).size(), 90u);
  Settle();
  EXPECT_EQ(Count(client, FD_READ), 2) << "all taken: nothing until more arrives";

  SendAll(peer, "more");
  EXPECT_TRUE(PumpUntil([&] { return Count(client, FD_READ) == 3; }));
  EXPECT_EQ(Count(client, FD_CLOSE), 0);
}

TEST_F(WinSockTest, ManySendsFromThePeerWaitAsOneReadNotification) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_READ), 0);
  for (int i = 0; i < 50; ++i) {
    SendAll(peer, "0123456789");
    if (i % 10 == 0) AwaitWatcherPass();   // let the watcher see the bytes in several rounds
  }
  AwaitBytes(client, 500);
  AwaitWatcherPass();
  EXPECT_LE(zuvo::platform::QueuedMessageCount(), 1);
  Settle();
  EXPECT_EQ(Count(client, FD_READ), 1);
  EXPECT_EQ(Receive(client, 1000).size(), 500u);
}

TEST_F(WinSockTest, CloseIsNotifiedOnceAfterTheLastReadOfTheBytesBeforeIt) {
  struct Case {
    const char* what;
    int bytes;
    int readPerNotification;
    bool registerAfterClose;
  };
  const Case cases[] = {
      {"read in small pieces", 100, 30, false},
      {"read whole", 100, 1000, false},
      {"nothing sent", 0, 10, false},
      {"bytes and close arrived before the registration", 100, 30, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received.clear();
    auto [client, peer] = Pair();
    int read = 0;
    bool readAfterClose = false;
    onNotification = [&, client = client](SOCKET s, long event, int) {
      if (s != client) return;
      if (event == FD_READ) {
        if (Count(client, FD_CLOSE) > 0) readAfterClose = true;
        read += static_cast<int>(Receive(client, c.readPerNotification).size());
      }
    };
    if (!c.registerAfterClose) {
      ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
    }
    SendAll(peer, std::string(static_cast<std::size_t>(c.bytes), 'z'));
    Close(peer);
    if (c.registerAfterClose) {
      AwaitBytes(client, static_cast<u_long>(c.bytes));
      ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
    }
    ASSERT_TRUE(PumpUntil([&, client = client] { return Count(client, FD_CLOSE) == 1; }));
    Settle();
    onNotification = nullptr;
    EXPECT_EQ(read, c.bytes);
    EXPECT_FALSE(readAfterClose);
    EXPECT_EQ(Count(client, FD_CLOSE), 1);
    EXPECT_EQ(EventsOf(client).back(), FD_CLOSE);
    auto close = std::find_if(received.begin(), received.end(), [&, client = client](const Notification& n) {
      return n.socket == client && n.event == FD_CLOSE;
    });
    EXPECT_EQ(close->error, 0) << "an orderly close";
    char byte;
    EXPECT_EQ(recv(client, &byte, 1, 0), 0);
    Settle();
    EXPECT_EQ(Count(client, FD_CLOSE), 1) << "reading the end again reports nothing new";
    Close(client);
  }
}

TEST_F(WinSockTest, AResetIsNotifiedAsCloseWithItsError) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_CLOSE), 0);
  SendAll(client, "never read");
  AwaitBytes(peer, 10);
  Close(peer);   // with unread bytes: a reset
  ASSERT_TRUE(PumpUntil([&] { return Count(client, FD_CLOSE) == 1; }));
  EXPECT_EQ(received.back().error, WSAECONNRESET);
}

TEST_F(WinSockTest, ClosingASocketDropsItsWaitingNotifications) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  SendAll(peer, "late");
  AwaitBytes(client, 4);
  AwaitWatcherPass();   // FD_WRITE and FD_READ now wait in the queue
  EXPECT_EQ(zuvo::platform::QueuedMessageCount(), 2);
  Close(client);
  // Another socket registered meanwhile still gets its own.
  auto [other, otherPeer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(other, window_, kSocketMessage, FD_WRITE), 0);
  Settle();
  EXPECT_TRUE(EventsOf(client).empty()) << "a closed socket's notification reached the window";
  EXPECT_EQ(EventsOf(other), std::vector<long>{FD_WRITE});
  (void)otherPeer;
}

TEST_F(WinSockTest, AMaskOfZeroStopsNotificationAndDropsWhatWaits) {
  auto [client, peer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, 0), 0);
  SendAll(peer, "unseen");
  AwaitBytes(client, 6);
  Close(peer);
  Settle();
  EXPECT_TRUE(EventsOf(client).empty());
  char byte;
  EXPECT_EQ(recv(client, &byte, 1, 0), 1) << "still non-blocking and readable";
}

TEST_F(WinSockTest, FortyNotificationsAtOnceAcrossSocketsEachArriveOnce) {
  std::vector<std::pair<SOCKET, SOCKET>> pairs;
  for (int i = 0; i < 20; ++i) pairs.push_back(Pair());
  for (auto& [client, peer] : pairs) ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, kClientEvents), 0);
  for (auto& [client, peer] : pairs) SendAll(peer, "tick");
  for (auto& [client, peer] : pairs) AwaitBytes(client, 4);
  AwaitWatcherPass();
  EXPECT_EQ(zuvo::platform::QueuedMessageCount(), 40);
  Settle();
  for (auto& [client, peer] : pairs) {
    EXPECT_EQ(Count(client, FD_WRITE), 1);
    EXPECT_EQ(Count(client, FD_READ), 1);
  }
  EXPECT_EQ(received.size(), 40u);
}

TEST_F(WinSockTest, ANestedMessageLoopInsideAHandlerDeliversNotifications) {
  auto [first, firstPeer] = Pair();
  auto [second, secondPeer] = Pair();
  ASSERT_EQ(WSAAsyncSelect(first, window_, kSocketMessage, FD_READ), 0);
  ASSERT_EQ(WSAAsyncSelect(second, window_, kSocketMessage, FD_READ), 0);
  bool nestedSawSecond = false;
  int depth = 0;
  onNotification = [&, first = first, second = second, secondPeer = secondPeer](SOCKET s, long event, int) {
    if (event != FD_READ || s != first || depth > 0) return;
    ++depth;
    // A modal loop: the second peer speaks while the first notification is being handled.
    SendAll(secondPeer, "inner");
    MSG msg;
    while (Count(second, FD_READ) == 0 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    nestedSawSecond = Count(second, FD_READ) == 1;
    Receive(first, 100);
    --depth;
  };
  SendAll(firstPeer, "outer");
  ASSERT_TRUE(PumpUntil([&] { return Count(first, FD_READ) == 1 && depth == 0; }));
  onNotification = nullptr;
  EXPECT_TRUE(nestedSawSecond);
  Settle();
  EXPECT_EQ(Count(first, FD_READ), 1) << "the outer notification is not dispatched again";
  EXPECT_EQ(Count(second, FD_READ), 1);
}

TEST_F(WinSockTest, AcceptIsNotifiedForAWaitingConnectionAndAgainAfterTheNextAccept) {
  ASSERT_EQ(WSAAsyncSelect(listener_, window_, kSocketMessage, FD_ACCEPT), 0);
  SOCKET a = Open();
  SOCKADDR_IN to = Loopback(port_);
  ASSERT_EQ(connect(a, AsAddress(to), sizeof to), 0);
  ASSERT_TRUE(PumpUntil([&] { return Count(listener_, FD_ACCEPT) == 1; }));
  SOCKET b = Open();
  ASSERT_EQ(connect(b, AsAddress(to), sizeof to), 0);
  Settle();
  EXPECT_EQ(Count(listener_, FD_ACCEPT), 1) << "no accept yet";
  SOCKET accepted = accept(listener_, nullptr, nullptr);
  ASSERT_NE(accepted, INVALID_SOCKET);
  owned_.push_back(accepted);
  EXPECT_TRUE(PumpUntil([&] { return Count(listener_, FD_ACCEPT) == 2; }));
  SOCKET second = accept(listener_, nullptr, nullptr);
  ASSERT_NE(second, INVALID_SOCKET);
  owned_.push_back(second);
}

TEST_F(WinSockTest, ANonBlockingConnectReportsItsOutcome) {
  SOCKET client = Open();
  ASSERT_EQ(WSAAsyncSelect(client, window_, kSocketMessage, FD_CONNECT | FD_WRITE), 0);
  SOCKADDR_IN to = Loopback(port_);
  EXPECT_EQ(connect(client, AsAddress(to), sizeof to), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_TRUE(PumpUntil([&] { return Count(client, FD_CONNECT) == 1 && Count(client, FD_WRITE) == 1; }));
  EXPECT_EQ(received.front().error, 0);
  SOCKET peer = accept(listener_, nullptr, nullptr);
  ASSERT_NE(peer, INVALID_SOCKET);
  owned_.push_back(peer);
  EXPECT_EQ(send(client, "hi", 2, 0), 2);
}

}  // namespace
