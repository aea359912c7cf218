// The blocking opening of a server connection: direct, through a SOCKS5, SOCKS4 or HTTP CONNECT
// proxy, and optionally on through the relay ("green channel"), which is entered with an HTTP
// CONNECT of its own. Every answer is read to its exact length (or to the end of its header),
// since bytes left unread would later be taken for a frame header.
#include "net/Base64.h"
#include "net/FrameClient.h"

#include "data/UtilData.h"
#include "platform/Profile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

using namespace zuvo::net;

namespace {

constexpr char kProxyUnreachable[] = "无法连接代理服务器。";
constexpr char kProxyAuthFailed[] = "代理服务器认证失败。";
constexpr char kProxyNeedsAuth[] = "代理服务器需要身份验证。";
constexpr char kSocks4NoNames[] = "SOCKS4 代理不支持域名。";
constexpr char kRelaySendFailed[] = "发送数据失败，无法通过绿色通道中转。";
constexpr char kRelayReceiveFailed[] = "接收数据失败，无法通过绿色通道中转。";
constexpr char kRelayRefused[] = "认证失败，无法通过绿色通道中转。";

constexpr char kRelayRequest[] = "CONNECT 127.0.0.1:80 HTTP/1.0\r\nUser-Agent: Zuvo/1.0\r\n\r\n";
constexpr char kRelayAccepted[] = "HTTP/1.0 200 ";
constexpr int kRelayStatusBytes = 13;
// An HTTP proxy's answer header: one byte of the receive buffer stays free.
constexpr int kHttpAnswerLimit = kReceiveBufferBytes - 1;
// The shortest status line worth judging: "HTTP/1.x NNN".
constexpr int kHttpStatusBytes = 12;

constexpr int kProxyNone = 0;
constexpr int kProxySocks5 = 1;
constexpr int kProxySocks4 = 2;

constexpr std::uint8_t kSocks5Version = 5;
constexpr std::uint8_t kSocks5NoAuth = 0;
constexpr std::uint8_t kSocks5UserPassword = 2;
constexpr std::uint8_t kSocks5AuthVersion = 1;
constexpr std::uint8_t kSocks5AddressIpv4 = 1;
constexpr std::uint8_t kSocks5AddressName = 3;
constexpr std::uint8_t kSocks5AddressIpv6 = 4;
constexpr std::uint8_t kSocks4Version = 4;
constexpr std::uint8_t kSocks4Granted = 90;
constexpr int kSocks4AnswerBytes = 8;

// [ProxyServer] of the user's SERVER.INI, as the login dialog writes it.
struct ProxySettings {
  char address[64] = {};
  int port = 0;
  char userName[32] = {};
  char password[32] = {};
  bool certUser = false;
};

ProxySettings ReadProxySettings(const std::string& file) {
  ProxySettings settings;
  GetPrivateProfileStringA("ProxyServer", "Address", "", settings.address, sizeof settings.address, file.c_str());
  settings.port = static_cast<int>(GetPrivateProfileIntA("ProxyServer", "Port", 0, file.c_str()));
  GetPrivateProfileStringA("ProxyServer", "UserName", "", settings.userName, sizeof settings.userName, file.c_str());
  GetPrivateProfileStringA("ProxyServer", "Password", "", settings.password, sizeof settings.password, file.c_str());
  settings.certUser = GetPrivateProfileIntA("ProxyServer", "CertUser", 0, file.c_str()) != 0;
  return settings;
}

int Fail(FrameClient& client, int result, const char* text) {
  client.ESock::Close();
  if (text != nullptr) client.SetErrorText(text);
  return result;
}

bool SendWhole(FrameClient& client, const void* data, int length) {
  return client.Send(data, length, 0) == length;
}

// Exactly `length` bytes, however the peer cut them into segments; false when the connection
// ends or fails first.
bool ReceiveExact(FrameClient& client, std::uint8_t* buffer, int length) {
  int got = 0;
  while (got < length) {
    const int received = client.Receive(buffer + got, length - got, 0);
    if (received <= 0) return false;
    got += received;
  }
  return true;
}

bool EndsHeader(const std::uint8_t* bytes, int count) {
  return count >= 4 && std::memcmp(bytes + count - 4, "\r\n\r\n", 4) == 0;
}

// The HTTP status line "HTTP/1.0 NNN" or "HTTP/1.1 NNN", compared without regard to case (a
// proxy may write "http/1.1"); the code must be followed by a blank or the line's end.
bool HttpStatusIs(const std::uint8_t* answer, int count, const char* code) {
  if (count < kHttpStatusBytes) return false;
  char line[kHttpStatusBytes + 1] = {};
  for (int i = 0; i < kHttpStatusBytes; ++i) {
    const char c = static_cast<char>(answer[i]);
    line[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  if (std::memcmp(line, "HTTP/1.", 7) != 0 || (line[7] != '0' && line[7] != '1') || line[8] != ' ' ||
      std::memcmp(line + 9, code, 3) != 0) {
    return false;
  }
  return count == kHttpStatusBytes || answer[kHttpStatusBytes] == ' ' || answer[kHttpStatusBytes] == '\r' ||
         answer[kHttpStatusBytes] == '\n';
}

// SOCKS5 (host, port): 0, or the result after closing.
int Socks5Handshake(FrameClient& client, const char* host, int port, const ProxySettings& proxy) {
  const std::uint8_t greeting[3] = {kSocks5Version, 1, proxy.certUser ? kSocks5UserPassword : kSocks5NoAuth};
  if (!SendWhole(client, greeting, sizeof greeting)) return Fail(client, 2, kProxyUnreachable);
  std::uint8_t answer[2] = {};
  if (!ReceiveExact(client, answer, 2) || answer[0] != kSocks5Version ||
      (answer[1] != kSocks5NoAuth && answer[1] != kSocks5UserPassword)) {
    return Fail(client, 3, kProxyAuthFailed);
  }
  if (answer[1] == kSocks5UserPassword) {
    if (!proxy.certUser) return Fail(client, 3, kProxyNeedsAuth);
    // Both are at most 31 bytes (the settings buffers), so each length fits its byte.
    const std::size_t userLength = std::strlen(proxy.userName);
    const std::size_t passwordLength = std::strlen(proxy.password);
    std::string request;
    request += static_cast<char>(kSocks5AuthVersion);
    request += static_cast<char>(userLength);
    request.append(proxy.userName, userLength);
    request += static_cast<char>(passwordLength);
    request.append(proxy.password, passwordLength);
    if (!SendWhole(client, request.data(), static_cast<int>(request.size()))) {
      return Fail(client, 2, kProxyUnreachable);
    }
    std::uint8_t status[2] = {};
    if (!ReceiveExact(client, status, 2) || status[0] != kSocks5AuthVersion || status[1] != 0) {
      return Fail(client, 3, kProxyAuthFailed);
    }
  }

  std::string request = {static_cast<char>(kSocks5Version), 1, 0};
  const std::uint32_t address = inet_addr(host);
  if (address != INADDR_NONE_VALUE) {
    request += static_cast<char>(kSocks5AddressIpv4);
    request.append(reinterpret_cast<const char*>(&address), 4);   // already in network order
  } else {
    const std::size_t nameLength = std::strlen(host);
    // The name's length travels in one byte: a longer name cannot be asked for.
    if (nameLength == 0 || nameLength > 255) return Fail(client, 2, kProxyUnreachable);
    request += static_cast<char>(kSocks5AddressName);
    request += static_cast<char>(nameLength);
    request.append(host, nameLength);
  }
  request += static_cast<char>(port >> 8 & 0xFF);
  request += static_cast<char>(port & 0xFF);
  if (!SendWhole(client, request.data(), static_cast<int>(request.size()))) {
    return Fail(client, 2, kProxyUnreachable);
  }

  // Version, reply, reserved, address type, then the bound address and port: all of it is
  // read, so the first frame header starts right after.
  std::uint8_t reply[4] = {};
  if (!ReceiveExact(client, reply, 2) || reply[1] != 0) return Fail(client, 1, nullptr);
  if (!ReceiveExact(client, reply + 2, 2)) return Fail(client, 1, nullptr);
  int boundBytes = 0;
  switch (reply[3]) {
    case kSocks5AddressIpv4: boundBytes = 4; break;
    case kSocks5AddressIpv6: boundBytes = 16; break;
    case kSocks5AddressName: {
      std::uint8_t nameLength = 0;
      if (!ReceiveExact(client, &nameLength, 1)) return Fail(client, 1, nullptr);
      boundBytes = nameLength;
      break;
    }
    default:
      // An unknown address type has no length to skip: the stream cannot be trusted.
      return Fail(client, 1, nullptr);
  }
  std::uint8_t bound[255 + 2] = {};
  if (!ReceiveExact(client, bound, boundBytes + 2)) return Fail(client, 1, nullptr);
  return 0;
}

int Socks4Handshake(FrameClient& client, const char* host, int port) {
  const std::uint32_t address = inet_addr(host);
  if (address == INADDR_NONE_VALUE) return Fail(client, 3, kSocks4NoNames);
  std::uint8_t request[9] = {kSocks4Version, 1, static_cast<std::uint8_t>(port >> 8 & 0xFF),
                             static_cast<std::uint8_t>(port & 0xFF)};
  std::memcpy(request + 4, &address, 4);   // network order; request[8] is the empty user id
  if (!SendWhole(client, request, sizeof request)) return Fail(client, 2, kProxyUnreachable);
  std::uint8_t answer[kSocks4AnswerBytes] = {};
  if (!ReceiveExact(client, answer, kSocks4AnswerBytes) || answer[1] != kSocks4Granted) {
    return Fail(client, 1, nullptr);
  }
  return 0;
}

// Reads an HTTP answer header one byte at a time into the receive buffer, so nothing past the
// blank line (the tunnel's first bytes) is taken. The count read, or -1 when the connection
// ended first or the header does not end within `limit` bytes.
int ReceiveHttpHeader(FrameClient& client, int limit) {
  int count = 0;
  while (count < limit) {
    if (client.Receive(client.receiveBuffer + count, 1, 0) <= 0) return -1;
    ++count;
    if (EndsHeader(client.receiveBuffer, count)) return count;
  }
  return -1;
}

int HttpHandshake(FrameClient& client, const char* host, int port, const ProxySettings& proxy) {
  std::string request = "CONNECT ";
  request += host;
  request += ':';
  request += std::to_string(static_cast<unsigned>(port));
  request += " HTTP/1.0\r\n";
  if (proxy.certUser) {
    char credentials[sizeof proxy.userName + sizeof proxy.password] = {};
    std::snprintf(credentials, sizeof credentials, "%s:%s", proxy.userName, proxy.password);
    char encoded[Base64EncodedSize(sizeof credentials)] = {};
    request += "Proxy-Authorization:Basic ";
    request += Base64Encode(credentials, encoded);
    request += "\r\n";
  }
  request += "\r\n";
  if (!SendWhole(client, request.data(), static_cast<int>(request.size()))) {
    return Fail(client, 2, kProxyUnreachable);
  }

  const int count = ReceiveHttpHeader(client, kHttpAnswerLimit);
  client.receiveCount = 0;
  if (count < kHttpStatusBytes) return Fail(client, 2, kProxyUnreachable);
  if (HttpStatusIs(client.receiveBuffer, count, "407")) {
    return Fail(client, 3, proxy.certUser ? kProxyAuthFailed : kProxyNeedsAuth);
  }
  if (HttpStatusIs(client.receiveBuffer, count, "200")) return 0;
  return Fail(client, 1, nullptr);
}

// Connects to the proxy and asks it for a tunnel to (host, port).
int ProxyHandshake(FrameClient& client, const char* host, int port, int kind, const std::string& userIni) {
  const ProxySettings proxy = ReadProxySettings(userIni);
  if (!client.Connect(proxy.address, proxy.port)) return Fail(client, 2, kProxyUnreachable);
  switch (kind) {
    case kProxySocks5: return Socks5Handshake(client, host, port, proxy);
    case kProxySocks4: return Socks4Handshake(client, host, port);
    default: return HttpHandshake(client, host, port, proxy);
  }
}

// The relay's own CONNECT on the open connection. Only "HTTP/1.0 200 " admits; the answer's
// header must end within the receive buffer. A failed receive leaves the socket to the caller.
int RelayHandshake(FrameClient& client) {
  const int requestLength = static_cast<int>(sizeof kRelayRequest - 1);
  if (!SendWhole(client, kRelayRequest, requestLength)) return Fail(client, 2, kRelaySendFailed);
  int& count = client.receiveCount;
  count = 0;
  while (true) {
    if (count == kReceiveBufferBytes) {
      count = 0;
      client.SetErrorText(kRelayReceiveFailed);
      return 2;
    }
    if (client.Receive(client.receiveBuffer + count, 1, 0) <= 0) {
      count = 0;
      client.SetErrorText(kRelayReceiveFailed);
      return 2;
    }
    ++count;
    if (count == kRelayStatusBytes && std::memcmp(client.receiveBuffer, kRelayAccepted, kRelayStatusBytes) != 0) {
      count = 0;
      return Fail(client, 3, kRelayRefused);
    }
    if (count >= kRelayStatusBytes && EndsHeader(client.receiveBuffer, count)) break;
  }
  count = 0;
  return 0;
}

}  // namespace

int FrameClient::ConnectViaProxy(const char* host, int port) {
  const std::string userIni = UserFilePath("SERVER.INI");
  const int kind = static_cast<int>(GetPrivateProfileIntA("ProxyServer", "UseProxy", kProxyNone, userIni.c_str()));
  const bool relay = GetPrivateProfileIntA("ProxyServer", "GreenWay", 0, userIni.c_str()) != 0;
  char relayHost[64] = {};
  if (relay) {
    // The relay has a fixed address of the program's own: the caller's server is reached
    // behind it.
    GetPrivateProfileStringA("Server", "GC", "", relayHost, sizeof relayHost, ".\\SERVER.INI");
    host = relayHost;
    port = static_cast<int>(GetPrivateProfileIntA("Server", "GCPort", 443, ".\\SERVER.INI"));
  }
  receiveCount = 0;

  int result = 0;
  if (kind == kProxyNone) {
    if (!Connect(host, port)) {
      ESock::Close();
      result = 1;
    }
  } else {
    result = ProxyHandshake(*this, host, port, kind, userIni);
  }
  if (relay && result == 0) result = RelayHandshake(*this);
  return result;
}
