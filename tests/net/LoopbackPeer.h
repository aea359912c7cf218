// The far end of a loopback connection for the socket tests: a listening socket on 127.0.0.1
// and the connections it accepts, written to and shut down through the program's own socket
// calls (platform/WinSock.h), blocking, outside the live-socket table of ESock.
#pragma once

#include "platform/WinSock.h"

#include <string>
#include <vector>

namespace nettest {

class LoopbackPeer {
 public:
  LoopbackPeer();    // listening; the test fails when it cannot
  ~LoopbackPeer();   // closes the listener and every accepted connection
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  int port() const { return port_; }
  // The next connection (the connect has completed on loopback).
  SOCKET Accept();
  // Writes all of bytes; the test fails when it cannot.
  static void Write(SOCKET connection, const std::string& bytes);
  // Ends the sending direction (the other side sees FIN).
  static void ShutdownWrite(SOCKET connection);
  // 127.0.0.1 in network order (for a scripted resolver).
  static std::uint32_t LoopbackAddress();

 private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::vector<SOCKET> accepted_;
};

}  // namespace nettest
