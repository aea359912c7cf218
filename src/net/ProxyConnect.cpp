#include "net/FrameClient.h"

// Direct connection only, until the proxy and relay handshakes land here.
int FrameClient::ConnectViaProxy(const char* host, int port) {
  receiveCount = 0;
  if (!ESock::Connect(host, port)) {
    ESock::Close();
    return 1;
  }
  return 0;
}
