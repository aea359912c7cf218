#include "net/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace nettest {

LoopbackPeer::LoopbackPeer() {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(fd_, 16), 0);
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
  for (int connection : accepted_) ::close(connection);
  ::close(fd_);
}

int LoopbackPeer::Accept() {
  const int connection = ::accept(fd_, nullptr, nullptr);
  EXPECT_GE(connection, 0);
  accepted_.push_back(connection);
  return connection;
}

void LoopbackPeer::Write(int connection, const std::string& bytes) {
  EXPECT_EQ(::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

void LoopbackPeer::ShutdownWrite(int connection) { ::shutdown(connection, SHUT_WR); }

unsigned LoopbackPeer::LoopbackAddress() { return htonl(INADDR_LOOPBACK); }

}  // namespace nettest
