// The listener calls with a bound of their own (AcceptWithin, RecvWithin) and the loopback bind
// that looks for a free port (BindLoopbackFrom): their bounds run on the platform clock apart
// from the global socket timeouts and whatever the socket's mode, and their errors are the
// Windows numbers.
#include "platform/WinSock.h"

#include "platform/DrivenClock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using zuvo::platform::sockets::AcceptWithin;
using zuvo::platform::sockets::BindLoopbackFrom;
using zuvo::platform::sockets::RecvWithin;

SOCKADDR_IN Loopback(int port) {
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  return address;
}

// A listening socket on an ephemeral loopback port.
SOCKET Listener(int* port) {
  const SOCKET s = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  SOCKADDR_IN address = Loopback(0);
  EXPECT_EQ(bind(s, reinterpret_cast<const SOCKADDR*>(&address), sizeof address), 0);
  EXPECT_EQ(listen(s, 4), 0);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<SOCKADDR*>(&address), &length);
  *port = ntohs(address.sin_port);
  return s;
}

SOCKET ConnectTo(int port) {
  const SOCKET s = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  const SOCKADDR_IN address = Loopback(port);
  EXPECT_EQ(connect(s, reinterpret_cast<const SOCKADDR*>(&address), sizeof address), 0);
  return s;
}

TEST(WinSockBoundedWaitTest, AcceptAndRecvWaitTheirOwnBound) {
  int port = 0;
  const SOCKET listener = Listener(&port);
  zuvo::platform::ScopedDrivenClock clock;
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(10000, 30000);
  SOCKET accepted = 0;
  int error = 0;
  std::thread worker([&] {
    accepted = AcceptWithin(listener, 1000, nullptr, nullptr);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  clock.Advance(999);
  clock.AwaitWaitingThreads(1);   // one millisecond short
  clock.Advance(1);
  worker.join();
  EXPECT_EQ(accepted, INVALID_SOCKET);
  EXPECT_EQ(error, WSAETIMEDOUT);

  // A connection that waits is taken at once; the accepted socket's recv waits its bound even
  // when switched to non-blocking, and hands over what arrived.
  const SOCKET client = ConnectTo(port);
  const SOCKET server = AcceptWithin(listener, 1000, nullptr, nullptr);
  ASSERT_NE(server, INVALID_SOCKET);
  u_long on = 1;
  ASSERT_EQ(ioctlsocket(server, WINSOCK_FIONBIO, &on), 0);
  int got = 0;
  std::thread reader([&] {
    char buffer[8];
    got = RecvWithin(server, buffer, sizeof buffer, 500);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  clock.Advance(500);
  reader.join();
  EXPECT_EQ(got, SOCKET_ERROR);
  EXPECT_EQ(error, WSAETIMEDOUT);
  ASSERT_EQ(send(client, "abc", 3, 0), 3);
  char buffer[8] = {};
  EXPECT_EQ(RecvWithin(server, buffer, sizeof buffer, 500), 3);
  EXPECT_STREQ(buffer, "abc");
  closesocket(client);
  EXPECT_EQ(RecvWithin(server, buffer, sizeof buffer, 500), 0);   // the peer's close
  closesocket(server);
  closesocket(listener);
}

TEST(WinSockBoundedWaitTest, ClosingTheListenerEndsTheWait) {
  int port = 0;
  const SOCKET listener = Listener(&port);
  zuvo::platform::ScopedDrivenClock clock;
  int error = 0;
  std::thread worker([&] {
    AcceptWithin(listener, 100000, nullptr, nullptr);
    error = WSAGetLastError();
  });
  clock.AwaitWaitingThreads(1);
  closesocket(listener);
  worker.join();
  EXPECT_EQ(error, WSAEINTR);
}

TEST(WinSockBoundedWaitTest, ErrorsAndTheSearchForAFreePort) {
  const SOCKET plain = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  EXPECT_EQ(AcceptWithin(plain, 10, nullptr, nullptr), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);   // not listening
  char byte;
  EXPECT_EQ(RecvWithin(plain, &byte, 1, 10), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
  closesocket(plain);
  EXPECT_EQ(BindLoopbackFrom(plain, 1024, 65535), 0);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);

  int held = 0;
  const SOCKET holder = Listener(&held);
  const SOCKET only = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  EXPECT_EQ(BindLoopbackFrom(only, held, held), 0);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  closesocket(only);
  const SOCKET next = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  const int port = BindLoopbackFrom(next, held, 65535);
  EXPECT_GT(port, held);
  SOCKADDR_IN address{};
  int length = sizeof address;
  ASSERT_EQ(getsockname(next, reinterpret_cast<SOCKADDR*>(&address), &length), 0);
  EXPECT_EQ(ntohs(address.sin_port), port);
  EXPECT_EQ(address.sin_addr.s_addr, inet_addr("127.0.0.1"));
  closesocket(next);
  closesocket(holder);
}

}  // namespace
