#include "net/LoopbackPeer.h"

#include <gtest/gtest.h>

namespace nettest {

LoopbackPeer::LoopbackPeer() {
  listener_ = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  EXPECT_NE(listener_, INVALID_SOCKET);
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_addr.s_addr = LoopbackAddress();
  EXPECT_EQ(bind(listener_, reinterpret_cast<const SOCKADDR*>(&address), sizeof address), 0);
  EXPECT_EQ(listen(listener_, 16), 0);
  int length = sizeof address;
  EXPECT_EQ(getsockname(listener_, reinterpret_cast<SOCKADDR*>(&address), &length), 0);
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  for (SOCKET connection : accepted_) closesocket(connection);
  closesocket(listener_);
}

SOCKET LoopbackPeer::Accept() {
  const SOCKET connection = accept(listener_, nullptr, nullptr);
  EXPECT_NE(connection, INVALID_SOCKET) << WSAGetLastError();
  accepted_.push_back(connection);
  return connection;
}

void LoopbackPeer::Write(SOCKET connection, const std::string& bytes) {
  EXPECT_EQ(send(connection, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()))
      << WSAGetLastError();
}

void LoopbackPeer::ShutdownWrite(SOCKET connection) { EXPECT_EQ(shutdown(connection, SD_SEND), 0); }

std::uint32_t LoopbackPeer::LoopbackAddress() { return inet_addr("127.0.0.1"); }

}  // namespace nettest
