// The account check through the optional account library ".\QXAccountDll.dll": verifying the
// quote account at login (QXVerifyAccount) and changing its password (QXModifyAccountPW).
//
// Two routes. Direct: the library is called with the verification server ([Server] LoginServer
// and LoginPort of the program copy) and talks to it itself. Relayed (a proxy or the relay is in
// use): a local listener (AccountLineListener) on 127.0.0.1, first free port from 800 upward,
// takes the one line the library sends; the terminal forwards that line unchanged over its own
// connection (FrameClient::ConnectViaProxy: proxy and relay as the user configured them) and
// reads one reply line "field0|result|text\n", split with SplitReplyField.
//
// Every wait is bounded (AccountCheckBounds, 10 s each by default): the listener's port, the
// library's connection, its line and the relayed reply. A reply that does not parse is a
// failure (message 9), never an acceptance. Nothing here shows a message box: the caller shows
// the outcome with the texts below.
//
// Calls block their thread (the login dialog and the password change call them on the UI
// thread, as the library's own call does). Any thread; no UI is touched.
#pragma once

#include "platform/WinBase.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// QXVerifyAccount: (512-byte text buffer, user, password, host, port, 8) -> negative refused
// (the text says why), positive accepted with a notice (the text), 0 accepted.
using QXVerifyAccountProc = int (*)(char* message, const char* user, const char* password, const char* host,
                                    int port, int flags);
// QXModifyAccountPW: (512-byte text buffer, user, current password, new password, host, port, 8)
// -> negative refused, positive done with a notice, 0 done.
using QXModifyAccountPWProc = int (*)(char* message, const char* user, const char* oldPassword,
                                      const char* newPassword, const char* host, int port, int flags);

namespace zuvo::net {

// The library's name as the program opens it (libQXAccountDll.so beside the program).
inline constexpr char kAccountLibraryName[] = ".\\QXAccountDll.dll";
// The last argument of both exports.
constexpr int kAccountCallFlags = 8;
// The library's text buffer and the relayed reply buffer (the reply reads at most 511 bytes).
constexpr int kAccountTextBytes = 512;
// The listener's line field: at most 127 bytes including the line feed, then the terminator.
constexpr int kAccountLineBytes = 127;
constexpr int kAccountFirstPort = 800;
constexpr int kAccountLastPort = 65535;

// ---- The library ----------------------------------------------------------------------------
// The loaded library: found among the loaded modules, else loaded (never unloaded). Null when
// absent.
HMODULE LoadAccountLibrary();
// The library only when already loaded (the password change never loads it). Null otherwise.
HMODULE FindAccountLibrary();
// The exports of a loaded library; null when the module lacks them (or is null).
QXVerifyAccountProc FindVerifyAccount(HMODULE library);
QXModifyAccountPWProc FindModifyAccountPW(HMODULE library);

// ---- Bounds ---------------------------------------------------------------------------------
// Milliseconds of the platform clock each wait may take, and the listener's port range. Tests
// inject short bounds and narrow ranges.
struct AccountCheckBounds {
  DWORD portMs = 10000;     // the listener reports its port (or an error)
  DWORD acceptMs = 10000;   // the library connects to the listener (timed out: error 5)
  DWORD lineMs = 10000;     // the library's line arrives whole (timed out: error 6)
  DWORD replyMs = 10000;    // the relayed reply line arrives whole (timed out: message 9)
  int firstPort = kAccountFirstPort;
  int lastPort = kAccountLastPort;
};

// ---- Outcomes -------------------------------------------------------------------------------
// Why a check could not reach a verdict. The listener's error codes are 1 to 6 in the order
// given; the relay's steps follow.
enum class AccountFault : int {
  kNone = 0,
  kSocketsUnavailable = 1,   // listener error 1: "网络初始化失败(1)"
  kNoSocket = 2,             // listener error 2: "(2)"
  kNoFreePort = 3,           // listener error 3: "网络错误，没有可用的端口。"
  kListenFailed = 4,         // listener error 4: "(3)"
  kAcceptFailed = 5,         // listener error 5 (also timed out): "(4)"
  kNoLine = 6,               // listener error 6 (closed, failed, 127 bytes without LF, timed out): "(5)"
  kRelaySocket = 7,          // the relay socket cannot be made: "(6)"
  kRelayUnreachable = 8,     // ConnectViaProxy failed: "(7)"
  kShortSend = 9,            // the line not sent whole: "(8)"
  kNoReply = 10,             // no reply line, or one that does not parse: "(9)"
  kMissingExport = 11,       // the library lacks the export
};

// What the caller uses the check for: the texts differ.
enum class AccountPurpose { kLogin, kPasswordChange };

// The message and caption of a fault (GBK). Login: "...，无法登录服务器。  "; password change:
// "...，无法修改密码。  ". kMissingExport: "文件 QXAccountDll.dll 不正确。  " ("提示") at login,
// "QXAccountDll.dll 不正确，无法修改密码。  " ("错误") for the password change.
std::string AccountFaultText(AccountFault fault, AccountPurpose purpose);
std::string AccountFaultCaption(AccountFault fault, AccountPurpose purpose);
// MB_ICONINFORMATION for the login's missing export, else MB_ICONERROR.
UINT AccountFaultIcon(AccountFault fault, AccountPurpose purpose);

struct AccountOutcome {
  AccountFault fault = AccountFault::kNone;   // kNone: `result` and `text` are the verdict
  int result = 0;                             // < 0 refused, > 0 accepted with a notice, 0 accepted
  std::string text;                           // the library's or the server's text (GBK)

  bool Failed() const { return fault != AccountFault::kNone; }
  bool Refused() const { return !Failed() && result < 0; }
  // Accepted (with or without a notice): the login goes on / the password changed.
  bool Accepted() const { return !Failed() && result >= 0; }
};

// Where the check goes. ReadAccountRoute fills it from the two SERVER.INI copies; the login
// dialog may fill it from its controls.
struct AccountRoute {
  bool relayed = false;      // a proxy or the relay is in use: library -> listener -> terminal
  bool greenWay = false;     // relayed through [Server] GC:GCPort, else to LoginServer:LoginPort
  std::string loginServer;   // [Server] LoginServer (at most 63 characters)
  int loginPort = 0;         // [Server] LoginPort
  std::string relayHost;     // [Server] GC (at most 63 characters)
  int relayPort = 0;         // [Server] GCPort (default 0)
};
// Reads [Server] LoginServer, LoginPort, GC, GCPort of ".\SERVER.INI" and [ProxyServer]
// GreenWay and UseProxy of the user copy: relayed when either is non-zero.
AccountRoute ReadAccountRoute();

// Verifies the account (the login's check). User and password are cut to 31 characters.
AccountOutcome VerifyAccount(QXVerifyAccountProc verify, const char* user, const char* password,
                             const AccountRoute& route, const AccountCheckBounds& bounds = {});
// Changes the password through the library (the password change's library path).
AccountOutcome ModifyAccountPassword(QXModifyAccountPWProc modify, const char* user, const char* oldPassword,
                                     const char* newPassword, const AccountRoute& route,
                                     const AccountCheckBounds& bounds = {});

// ---- The pieces (public for the tests and the fuzz target) ----------------------------------

// The block the listener thread shares with its caller: each field written once by the listener.
struct AccountListenerBlock {
  std::atomic<std::uint8_t> arrived{0};     // 1 when the line has arrived
  char line[kAccountLineBytes + 1] = {};    // the line with its line feed, NUL-terminated
  std::int32_t length = 0;                  // bytes of the line (it may hold NUL bytes)
  std::atomic<std::int32_t> port{0};        // non-zero once listening
  std::atomic<std::int32_t> error{0};       // 1..6 on failure
  AccountCheckBounds bounds;                // set before the thread starts
  HANDLE reported = nullptr;                // optional event, set once port or error is known
};

// The listener thread's body: binds 127.0.0.1 at the first free port of the bounds' range,
// publishes it, accepts one connection within acceptMs and reads one line within lineMs. Ends
// after one line or one failure, both sockets closed. Thread function (argument: the block).
unsigned AccountLineListener(void* block);

// Copies the characters up to the next '|' or the end into `field` (at most size - 1 of them),
// removes trailing blanks, terminates it and returns the position behind the '|' (or the end).
// `field` may be null (the field is skipped) when size is 0.
const char* SplitReplyField(const char* text, char* field, std::size_t size);

// A relayed reply "field0|result|text": true with the result and the text when it has three
// fields and the second is a decimal number (optional sign, digits, nothing else but blanks);
// false otherwise (message 9, never acceptance).
bool ParseAccountReply(const char* reply, int* result, std::string* text);

// The received bytes hold a complete line: the last byte is a line feed.
inline bool EndsWithLineFeed(const char* bytes, int count) { return count > 0 && bytes[count - 1] == '\n'; }

}  // namespace zuvo::net
