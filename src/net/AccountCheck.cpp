// The account check: the library's two exports, the local listener that captures the line the
// library sends, and the relay of that line over the terminal's own (proxied) connection.
#include "net/AccountCheck.h"

#include "core/CoreUtil.h"
#include "data/UtilData.h"
#include "net/NormalClnt.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zuvo::net {
namespace {

namespace sockets = zuvo::platform::sockets;

constexpr WORD kWinsockVersion22 = 0x0202;
constexpr int kListenBacklog = 5;
// The relayed reply: at most this many bytes, then the terminator.
constexpr int kMaxReplyBytes = kAccountTextBytes - 1;

SOCKET AsSocket(int handle) { return static_cast<SOCKET>(static_cast<unsigned int>(handle)); }

// Milliseconds left of `bound` since `start` (GetTickCount, the platform's clock).
DWORD Left(DWORD start, DWORD bound) {
  const DWORD spent = GetTickCount() - start;
  return spent >= bound ? 0 : bound - spent;
}

// Copies at most size - 1 bytes of `text` into `buffer`, terminated.
void CopyBounded(char* buffer, std::size_t size, const char* text) {
  if (size == 0) return;
  std::size_t length = text ? std::strlen(text) : 0;
  length = std::min(length, size - 1);
  if (length > 0) std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

bool IsBlank(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

void CloseIf(SOCKET s) {
  if (s != INVALID_SOCKET) closesocket(s);
}

// The listener's end: both sockets closed, then the outcome published.
unsigned ListenerFails(AccountListenerBlock* block, int error, SOCKET listener, SOCKET peer) {
  CloseIf(peer);
  CloseIf(listener);
  block->error.store(error);
  if (block->reported) SetEvent(block->reported);
  return 0;
}

AccountFault FaultOfListenerError(int error) {
  if (error >= 1 && error <= 6) return static_cast<AccountFault>(error);
  return AccountFault::kNoLine;
}

// Forwards the captured line over the terminal's own connection (proxy and relay as the user
// set them) and reads one reply line of at most 511 bytes into `reply`.
AccountFault RelayLine(const AccountListenerBlock& block, const AccountRoute& route, DWORD replyMs,
                       char (&reply)[kAccountTextBytes]) {
  TNormalClnt client;
  if (!client.Create()) return AccountFault::kRelaySocket;
  const std::string& host = route.greenWay ? route.relayHost : route.loginServer;
  const int port = route.greenWay ? route.relayPort : route.loginPort;
  if (client.ConnectViaProxy(host.c_str(), port) != 0) {
    client.CloseQuietly();
    return AccountFault::kRelayUnreachable;
  }
  if (client.Send(block.line, block.length, 0) != block.length) {
    client.CloseQuietly();
    return AccountFault::kShortSend;
  }
  const DWORD start = GetTickCount();
  int count = 0;
  while (!EndsWithLineFeed(reply, count)) {
    const DWORD left = Left(start, replyMs);
    const int got =
        left == 0 || count >= kMaxReplyBytes
            ? 0
            : sockets::RecvWithin(AsSocket(client.handle), reply + count, kMaxReplyBytes - count, left);
    if (got <= 0) {
      client.CloseQuietly();
      return AccountFault::kNoReply;
    }
    count += got;
  }
  reply[count] = '\0';
  client.CloseQuietly();
  return AccountFault::kNone;
}

// The listener route: the library is pointed at the local listener, its line relayed and the
// reply parsed. `call` runs the library with (host, port); its result is not used.
template <typename Call>
AccountOutcome CheckThroughListener(const AccountRoute& route, const AccountCheckBounds& bounds, Call call) {
  AccountOutcome outcome;
  AccountListenerBlock block;
  block.bounds = bounds;
  block.reported = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const HANDLE thread =
      block.reported == nullptr
          ? nullptr
          : reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, AccountLineListener, &block, 0, nullptr));
  if (thread == nullptr) {
    if (block.reported) CloseHandle(block.reported);
    outcome.fault = AccountFault::kSocketsUnavailable;
    return outcome;
  }
  const bool reported = WaitForSingleObject(block.reported, bounds.portMs) == WAIT_OBJECT_0;
  if (!reported || block.error.load() != 0 || block.port.load() == 0) {
    // The listener ends by its own bounds; it is never left running with the block gone.
    WaitForSingleObject(thread, INFINITE);
    outcome.fault = reported ? FaultOfListenerError(block.error.load()) : AccountFault::kListenFailed;
  } else {
    call("127.0.0.1", static_cast<int>(block.port.load()));
    WaitForSingleObject(thread, INFINITE);
    if (block.error.load() != 0) {
      outcome.fault = FaultOfListenerError(block.error.load());
    } else if (block.arrived.load() != 1) {
      outcome.fault = AccountFault::kNoLine;
    }
  }
  CloseHandle(thread);
  CloseHandle(block.reported);
  if (outcome.Failed()) return outcome;

  char reply[kAccountTextBytes] = {};
  outcome.fault = RelayLine(block, route, bounds.replyMs, reply);
  if (outcome.Failed()) return outcome;
  if (!ParseAccountReply(reply, &outcome.result, &outcome.text)) {
    outcome.fault = AccountFault::kNoReply;
    outcome.result = 0;
    outcome.text.clear();
  }
  return outcome;
}

std::string FaultTail(AccountPurpose purpose) {
  return purpose == AccountPurpose::kLogin ? "无法登录服务器。  " : "无法修改密码。  ";
}

}  // namespace

// ---- The library ------------------------------------------------------------------------------

HMODULE FindAccountLibrary() { return zuvo::platform::library::FindLoadedModule(kAccountLibraryName); }

HMODULE LoadAccountLibrary() {
  if (HMODULE loaded = FindAccountLibrary()) return loaded;
  return LoadLibraryA(kAccountLibraryName);
}

QXVerifyAccountProc FindVerifyAccount(HMODULE library) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<QXVerifyAccountProc>(GetProcAddress(library, "QXVerifyAccount"));
}

QXModifyAccountPWProc FindModifyAccountPW(HMODULE library) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<QXModifyAccountPWProc>(GetProcAddress(library, "QXModifyAccountPW"));
}

// ---- Texts ------------------------------------------------------------------------------------

std::string AccountFaultText(AccountFault fault, AccountPurpose purpose) {
  int number = 0;
  switch (fault) {
    case AccountFault::kNone: return {};
    case AccountFault::kMissingExport:
      return purpose == AccountPurpose::kLogin ? "文件 QXAccountDll.dll 不正确。  "
                                               : "QXAccountDll.dll 不正确，无法修改密码。  ";
    case AccountFault::kNoFreePort: return "网络错误，没有可用的端口。" + FaultTail(purpose);
    case AccountFault::kSocketsUnavailable: number = 1; break;
    case AccountFault::kNoSocket: number = 2; break;
    case AccountFault::kListenFailed: number = 3; break;
    case AccountFault::kAcceptFailed: number = 4; break;
    case AccountFault::kNoLine: number = 5; break;
    case AccountFault::kRelaySocket: number = 6; break;
    case AccountFault::kRelayUnreachable: number = 7; break;
    case AccountFault::kShortSend: number = 8; break;
    case AccountFault::kNoReply: number = 9; break;
  }
  return "网络初始化失败(" + std::to_string(number) + ")，" + FaultTail(purpose);
}

std::string AccountFaultCaption(AccountFault fault, AccountPurpose purpose) {
  if (fault == AccountFault::kMissingExport && purpose == AccountPurpose::kLogin) return "提示";
  return "错误";
}

UINT AccountFaultIcon(AccountFault fault, AccountPurpose purpose) {
  if (fault == AccountFault::kMissingExport && purpose == AccountPurpose::kLogin) return MB_ICONINFORMATION;
  return MB_ICONERROR;
}

// ---- The route --------------------------------------------------------------------------------

AccountRoute ReadAccountRoute() {
  AccountRoute route;
  const std::string userIni = UserFilePath("SERVER.INI");
  const bool greenWay = GetPrivateProfileIntA("ProxyServer", "GreenWay", 0, userIni.c_str()) != 0;
  const bool proxy = GetPrivateProfileIntA("ProxyServer", "UseProxy", 0, userIni.c_str()) != 0;
  route.relayed = greenWay || proxy;
  route.greenWay = greenWay;
  char text[64] = {};
  GetPrivateProfileStringA("Server", "LoginServer", "", text, sizeof text, ".\\SERVER.INI");
  route.loginServer = text;
  route.loginPort = static_cast<int>(GetPrivateProfileIntA("Server", "LoginPort", 0, ".\\SERVER.INI"));
  GetPrivateProfileStringA("Server", "GC", "", text, sizeof text, ".\\SERVER.INI");
  route.relayHost = text;
  route.relayPort = static_cast<int>(GetPrivateProfileIntA("Server", "GCPort", 0, ".\\SERVER.INI"));
  return route;
}

// ---- The checks -------------------------------------------------------------------------------

AccountOutcome VerifyAccount(QXVerifyAccountProc verify, const char* user, const char* password,
                             const AccountRoute& route, const AccountCheckBounds& bounds) {
  AccountOutcome outcome;
  if (verify == nullptr) {
    outcome.fault = AccountFault::kMissingExport;
    return outcome;
  }
  char name[32] = {};
  char pass[32] = {};
  CopyBounded(name, sizeof name, user);
  CopyBounded(pass, sizeof pass, password);
  char message[kAccountTextBytes] = {};
  if (!route.relayed) {
    outcome.result = verify(message, name, pass, route.loginServer.c_str(), route.loginPort, kAccountCallFlags);
    message[kAccountTextBytes - 1] = '\0';
    outcome.text = message;
    return outcome;
  }
  return CheckThroughListener(route, bounds, [&](const char* host, int port) {
    verify(message, name, pass, host, port, kAccountCallFlags);
  });
}

AccountOutcome ModifyAccountPassword(QXModifyAccountPWProc modify, const char* user, const char* oldPassword,
                                     const char* newPassword, const AccountRoute& route,
                                     const AccountCheckBounds& bounds) {
  AccountOutcome outcome;
  if (modify == nullptr) {
    outcome.fault = AccountFault::kMissingExport;
    return outcome;
  }
  char name[32] = {};
  char current[32] = {};
  char next[32] = {};
  CopyBounded(name, sizeof name, user);
  CopyBounded(current, sizeof current, oldPassword);
  CopyBounded(next, sizeof next, newPassword);
  char message[kAccountTextBytes] = {};
  if (!route.relayed) {
    outcome.result =
        modify(message, name, current, next, route.loginServer.c_str(), route.loginPort, kAccountCallFlags);
    message[kAccountTextBytes - 1] = '\0';
    outcome.text = message;
    return outcome;
  }
  return CheckThroughListener(route, bounds, [&](const char* host, int port) {
    modify(message, name, current, next, host, port, kAccountCallFlags);
  });
}

// ---- The listener -----------------------------------------------------------------------------

unsigned AccountLineListener(void* argument) {
  auto* block = static_cast<AccountListenerBlock*>(argument);
  const AccountCheckBounds& bounds = block->bounds;
  WSADATA data{};
  if (WSAStartup(kWinsockVersion22, &data) != 0) return ListenerFails(block, 1, INVALID_SOCKET, INVALID_SOCKET);
  const SOCKET listener = socket(WINSOCK_AF_INET, WINSOCK_SOCK_STREAM, WINSOCK_IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return ListenerFails(block, 2, INVALID_SOCKET, INVALID_SOCKET);
  const int port = sockets::BindLoopbackFrom(listener, bounds.firstPort, bounds.lastPort);
  if (port == 0) return ListenerFails(block, 3, listener, INVALID_SOCKET);
  if (listen(listener, kListenBacklog) != 0) return ListenerFails(block, 4, listener, INVALID_SOCKET);
  block->port.store(port);
  if (block->reported) SetEvent(block->reported);

  const SOCKET peer = sockets::AcceptWithin(listener, bounds.acceptMs, nullptr, nullptr);
  if (peer == INVALID_SOCKET) return ListenerFails(block, 5, listener, INVALID_SOCKET);
  const DWORD start = GetTickCount();
  int count = 0;
  while (!EndsWithLineFeed(block->line, count)) {
    const DWORD left = Left(start, bounds.lineMs);
    // 127 bytes without a line feed, the peer's close, a failure or the time running out.
    const int got = count >= kAccountLineBytes || left == 0
                        ? 0
                        : sockets::RecvWithin(peer, block->line + count, kAccountLineBytes - count, left);
    if (got <= 0) return ListenerFails(block, 6, listener, peer);
    count += got;
  }
  block->line[count] = '\0';
  block->length = count;
  closesocket(peer);
  closesocket(listener);
  block->arrived.store(1);
  return 0;
}

// ---- Parsing ----------------------------------------------------------------------------------

const char* SplitReplyField(const char* text, char* field, std::size_t size) {
  const char* end = std::strchr(text, '|');
  const std::size_t length = end ? static_cast<std::size_t>(end - text) : std::strlen(text);
  if (field != nullptr && size > 0) {
    std::size_t kept = std::min(length, size - 1);
    std::memcpy(field, text, kept);
    while (kept > 0 && IsBlank(static_cast<unsigned char>(field[kept - 1]))) --kept;
    field[kept] = '\0';
  }
  return end ? end + 1 : text + length;
}

bool ParseAccountReply(const char* reply, int* result, std::string* text) {
  if (reply == nullptr) return false;
  char field[kAccountTextBytes];
  const char* at = SplitReplyField(reply, nullptr, 0);
  if (at == reply || at[-1] != '|') return false;   // one field only
  const char* second = at;
  at = SplitReplyField(second, field, sizeof field);
  if (at == second || at[-1] != '|') return false;  // two fields only
  const char* digits = field;
  while (*digits != '\0' && IsBlank(static_cast<unsigned char>(*digits))) ++digits;
  if (*digits == '+') ++digits;
  const char* last = digits + std::strlen(digits);
  int value = 0;
  const auto [stop, error] = std::from_chars(digits, last, value);
  if (error != std::errc() || stop != last || digits == last) return false;
  if (digits > field && digits[-1] == '+' && *digits == '-') return false;
  SplitReplyField(at, field, sizeof field);
  *result = value;
  *text = field;
  return true;
}

}  // namespace zuvo::net
