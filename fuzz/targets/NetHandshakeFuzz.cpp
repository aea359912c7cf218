// Fuzz target "handshake": what a server or proxy answers the request client before the
// connection turns asynchronous: the proxy and relay handshakes of ConnectViaProxy and the login
// reply of LoginExchange, read with the client's blocking reads from scripted receive calls.
// Input: parts control, answer. Control: the step (0 proxy, 1 login), for the proxy the kind
// (0 direct, 1 SOCKS5, 2 SOCKS4, 3 HTTP), authentication and relay bits; for the login the login
// mode and whether the reply is kept; the chunk-size seed (0: one receive takes what fits).
// The connection itself goes to a loopback listener of the input, which never answers: every
// byte the client reads comes from the input.
// Property: the results are those the operations name (0-3 for the proxy, 0-2 for the login);
// the error text is always terminated; a proxy result of 1 sets no text; the data-server block
// changes only when a kept two-stage login is accepted; the client never reads past the answer.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "data/UtilData.h"
#include "net/NormalClnt.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Serves the answer in chunks whose sizes come from the seed, then the peer's close. Sends
// always go through whole.
class Scripted : public TNormalClnt {
 public:
  Scripted(std::string_view answer, std::uint32_t seed) : answer_(answer), seed_(seed) {}
  int Receive(void* buffer, int length, int /*flags*/) override {
    FUZZ_CHECK(length >= 0, "a receive asks for a length of zero or more");
    if (at_ >= answer_.size()) return 0;
    std::size_t take = answer_.size() - at_;
    if (seed_ != 0) {
      seed_ = seed_ * 1103515245u + 12345u;
      take = std::min<std::size_t>(take, 1 + (seed_ >> 16) % 64);
    }
    take = std::min<std::size_t>(take, static_cast<std::size_t>(length));
    std::memcpy(buffer, answer_.data() + at_, take);
    at_ += take;
    return static_cast<int>(take);
  }
  int Send(const void* /*data*/, int length, int /*flags*/) override { return length; }

 private:
  std::string_view answer_;
  std::size_t at_ = 0;
  std::uint32_t seed_;
};

// A listening socket on loopback for one input (every handle an input opens must be closed
// when it ends); the client's connection completes in the kernel's backlog.
SOCKET OpenListener(std::uint16_t* port) {
  const SOCKET listener = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, 0);
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_addr.s_addr = inet_addr("127.0.0.1");
  FUZZ_CHECK(bind(listener, reinterpret_cast<SOCKADDR*>(&address), sizeof address) == 0, "the listener binds");
  FUZZ_CHECK(listen(listener, 8) == 0, "the listener listens");
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<SOCKADDR*>(&address), &length);
  *port = ntohs(address.sin_port);
  return listener;
}

bool Terminated(const char* text, std::size_t size) { return strnlen(text, size) < size; }

void CheckProxy(fuzz::ControlReader& control, std::string_view answer, std::uint16_t port) {
  const int kind = control.U8() % 4;
  const bool authenticate = (control.U8() & 1) != 0;
  const bool relay = (control.U8() & 1) != 0;
  const std::uint32_t seed = control.U32();
  const std::string user = UserFilePath("SERVER.INI");
  const std::string portText = std::to_string(port);
  WritePrivateProfileStringA("ProxyServer", "UseProxy", std::to_string(kind == 3 ? 9 : kind).c_str(), user.c_str());
  WritePrivateProfileStringA("ProxyServer", "GreenWay", relay ? "1" : "0", user.c_str());
  WritePrivateProfileStringA("ProxyServer", "Address", "127.0.0.1", user.c_str());
  WritePrivateProfileStringA("ProxyServer", "Port", portText.c_str(), user.c_str());
  WritePrivateProfileStringA("ProxyServer", "UserName", "trader", user.c_str());
  WritePrivateProfileStringA("ProxyServer", "Password", "secret", user.c_str());
  WritePrivateProfileStringA("ProxyServer", "CertUser", authenticate ? "1" : "0", user.c_str());
  WritePrivateProfileStringA("Server", "GC", "127.0.0.1", ".\\SERVER.INI");
  WritePrivateProfileStringA("Server", "GCPort", portText.c_str(), ".\\SERVER.INI");

  Scripted client(answer, seed);
  FUZZ_CHECK(client.Create() != 0, "the socket is made");
  std::strcpy(client.errorText, "unchanged");
  const int result = client.ConnectViaProxy("127.0.0.1", port);
  FUZZ_CHECK(result >= 0 && result <= 3, "ConnectViaProxy answers 0 to 3");
  FUZZ_CHECK(Terminated(client.errorText, sizeof client.errorText), "the error text is terminated");
  if (result == 1) FUZZ_CHECK(std::strcmp(client.errorText, "unchanged") == 0, "result 1 sets no text");
  FUZZ_CHECK(client.receiveCount >= 0 && client.receiveCount <= kReceiveBufferBytes, "the receive count stays in its buffer");
  client.Close();
}

void CheckLogin(fuzz::ControlReader& control, std::string_view answer, std::uint16_t port) {
  const bool twoStages = (control.U8() & 1) != 0;
  const bool keep = (control.U8() & 1) != 0;
  const std::uint32_t seed = control.U32();
  Scripted client(answer, seed);
  FUZZ_CHECK(client.Create() != 0, "the socket is made");
  FUZZ_CHECK(client.ESock::Connect("127.0.0.1", port) != 0, "the loopback listener takes the connection");
  client.loginMode = twoStages ? 1 : 0;
  std::uint8_t block[128];
  for (int i = 0; i < 128; ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  std::uint8_t before[128];
  std::memcpy(before, block, sizeof block);
  const int result = client.LoginExchange(keep, twoStages ? block : nullptr);
  FUZZ_CHECK(result >= 0 && result <= 2, "LoginExchange answers 0 to 2");
  FUZZ_CHECK(Terminated(client.errorText, sizeof client.errorText), "the error text is terminated");
  if (!(result == 0 && twoStages && keep)) {
    FUZZ_CHECK(std::memcmp(block, before, sizeof block) == 0, "the block changes only when a kept login is accepted");
  }
  client.Close();
}

}  // namespace

int FuzzNetHandshake(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::ControlReader control(parts.empty() ? std::string_view() : parts[0]);
  const std::string_view answer = parts.size() > 1 ? parts[1] : std::string_view();
  std::uint16_t port = 0;
  const SOCKET listener = OpenListener(&port);
  zuvo::platform::sockets::ScopedSocketTimeouts timeouts(1000, 1000);
  if (control.U8() % 2 == 0) {
    CheckProxy(control, answer, port);
  } else {
    CheckLogin(control, answer, port);
  }
  closesocket(listener);
  return 0;
}
