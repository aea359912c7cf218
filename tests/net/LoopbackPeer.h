// The far end of a loopback connection for the socket tests: a listening socket on 127.0.0.1
// and the connections it accepts, written to and shut down through plain system calls. Kept
// apart from the tests because the system's socket names clash with the program's.
#pragma once

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
  // The next connection (the connect has completed on loopback); its descriptor.
  int Accept();
  // Writes all of bytes; the test fails when it cannot.
  static void Write(int connection, const std::string& bytes);
  // Ends the sending direction (the other side sees FIN).
  static void ShutdownWrite(int connection);
  // Host-order 127.0.0.1 in network order (for a scripted resolver).
  static unsigned LoopbackAddress();

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
};

}  // namespace nettest
