// TCP sockets under their Windows names, IPv4 only. A SOCKET is a handle of the shared kernel
// handle table (platform/HandleTable.h), never a descriptor: a closed socket's value comes back
// only after 1024 other handles were freed, so a late notification of a closed socket finds
// nothing. Every call may run on any thread; a socket is used by one thread at a time (but a
// closesocket from another thread ends a blocking call in progress, with 10004).
//
// Errors come back as the Windows numbers through WSAGetLastError (per thread, separate from
// GetLastError; a call that succeeds leaves it as it was): 10035 would block, 10022 invalid
// argument (also a failed name lookup in ESock), 10038 not a socket (also a closed one), 10014
// a null or short buffer or address, 10053/10054 connection aborted or reset, 10057 not
// connected, 10060 timed out, 10061 refused, 10065 host unreachable, 10093 not initialised
// (never: WSAStartup is a no-op and the library needs no start), other system errors mapped to
// the nearest of these (10050 when none is near).
//
// Blocking calls take timeouts: a blocking connect gives up after ConnectTimeout (10 s) and a
// blocking recv, send or accept after IoTimeout (30 s; for send, the whole call), failing with
// 10060 as a broken connection would. Both run on the platform's clock (platform/DrivenClock.h);
// tests shorten them with ScopedSocketTimeouts. Under a driven clock a blocking call waits until
// the clock is driven past its due time (or the socket is ready); it counts as a waiting thread
// for ScopedDrivenClock::AwaitWaitingThreads, so a test runs it on a worker, waits for it to
// block and then advances the clock. On the clock's own thread it waits for the socket only.
//
// Asynchronous notification: WSAAsyncSelect(s, window, message, mask) switches the socket to
// non-blocking and posts `message` to `window` on the UI thread's queue, wParam = the socket,
// lParam = event | error << 16. A watcher thread of the platform sees readiness and posts; the
// message loop (any of them: GetMessageA, PeekMessageA, the platform's pumps, a modal box)
// delivers. The rules:
//   FD_READ   when bytes are readable; then not again until a recv: after a recv that leaves
//             bytes, at once; after one that takes all (or says 10035), when more arrive.
//   FD_WRITE  at the registration that first asks for it (posted before WSAAsyncSelect returns
//             when the socket is writable then, else once it is), and again once the socket can
//             take bytes after a send that failed with 10035 or took less than it was given.
//             Registering again with FD_WRITE already asked posts nothing new.
//   FD_CLOSE  once per socket, with its error (0 for an orderly close by the peer, 10054 for a
//             reset), after every byte that arrived before the peer's FIN was offered as FD_READ:
//             when it comes due while a FD_READ of the socket still waits in the queue, it is
//             moved behind that one. A failed non-blocking connect reports FD_CONNECT only.
//   FD_ACCEPT on a listening socket when a connection waits; again after the next accept.
//   FD_CONNECT when a non-blocking connect (10035) completes, with its error.
//   FD_OOB    never.
// At most one notification per event and socket waits at a time (a new one while one waits is
// merged into it, never dropped). closesocket, a mask of 0 and a registration to another window
// or message drop the socket's waiting notifications: they stay in the queue but the loop never
// hands them to the window. Registering again (the clients do after every would-block) re-arms
// FD_READ when none waits and never duplicates one. A mask of 0 stops notification (the socket
// stays non-blocking); FIONBIO 0 on a registered socket fails with 10022.
#pragma once

#include "platform/WinBase.h"

#include <cstdint>

using SOCKET = UINT_PTR;
constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

// Families, types, protocols (the values are the same on both systems).
constexpr int WINSOCK_AF_INET = 2;
constexpr int WINSOCK_SOCK_STREAM = 1;
constexpr int WINSOCK_IPPROTO_TCP = 6;

// Events of WSAAsyncSelect.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

// ioctlsocket commands (Windows values).
constexpr long WINSOCK_FIONREAD = 0x4004667FL;
constexpr long WINSOCK_FIONBIO = static_cast<long>(0x8004667EUL);

// recv flags and shutdown directions (Windows values).
constexpr int WINSOCK_MSG_PEEK = 2;
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// Error numbers.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

struct IN_ADDR {
  std::uint32_t s_addr;   // network byte order
};

struct SOCKADDR {
  std::uint16_t sa_family;
  char sa_data[14];
};

struct SOCKADDR_IN {
  std::int16_t sin_family;
  std::uint16_t sin_port;   // network byte order
  IN_ADDR sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(SOCKADDR_IN) == 16 && sizeof(SOCKADDR) == 16);

// The answer of gethostbyname: per thread, valid until the thread's next call.
struct HOSTENT {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;   // IPv4 addresses (4 bytes each, network order), null-terminated
};

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};

constexpr std::uint32_t INADDR_NONE_VALUE = 0xFFFFFFFFu;
using u_long = unsigned long;

// The parts of a notification's lParam.
constexpr WORD WSAGETSELECTEVENT(LPARAM lParam) { return LOWORD(static_cast<DWORD_PTR>(lParam)); }
constexpr WORD WSAGETSELECTERROR(LPARAM lParam) { return HIWORD(static_cast<DWORD_PTR>(lParam)); }

// Fills `data` (when given) and returns 0; nothing needs starting.
int WSAStartup(WORD version, WSADATA* data);
int WSAGetLastError();
void WSASetLastError(int error);

// Each call below returns SOCKET_ERROR (INVALID_SOCKET for those giving a socket) with the
// reason in WSAGetLastError, unless it says otherwise.
// family 2 only (10047), type 1 only (10044), protocol 0 or 6 (10043); 10024 when the process
// has no descriptor or handle left.
SOCKET socket(int family, int type, int protocol);
// A blocking socket waits up to ConnectTimeout (10060); a non-blocking one answers 10035 and
// reports FD_CONNECT. 10061 refused, 10056 already connected, 10049 address or port 0.
int connect(SOCKET s, const SOCKADDR* address, int length);
// Blocking: all bytes or an error. Non-blocking: the bytes taken (maybe fewer), or 10035.
// flags must be 0 (10045).
int send(SOCKET s, const char* data, int length, int flags);
// Bytes read, 0 once the peer has closed, or an error (10035 on a non-blocking socket with
// nothing ready). flags 0 or WINSOCK_MSG_PEEK (10045 for others).
int recv(SOCKET s, char* buffer, int length, int flags);
// Closes the socket and drops its waiting notifications; 10038 when `s` is not an open socket.
int closesocket(SOCKET s);
// FIONREAD: bytes ready to read; FIONBIO: non-blocking when *argument != 0. Others: 10022.
int ioctlsocket(SOCKET s, long command, u_long* argument);
// Accepts a pending connection of a listening socket (10022 when it does not listen). The new
// socket is blocking and unregistered. The account check's local listener, ESock::Accept and the
// tests' own listeners use it.
SOCKET accept(SOCKET s, SOCKADDR* address, int* length);
// The listening side and socket names, for ESock::Accept and for tests that serve loopback
// (an address of INADDR_ANY binds every interface; port 0 picks a free port).
int bind(SOCKET s, const SOCKADDR* address, int length);
int listen(SOCKET s, int backlog);
int getsockname(SOCKET s, SOCKADDR* address, int* length);
int getpeername(SOCKET s, SOCKADDR* address, int* length);
// SD_RECEIVE, SD_SEND or SD_BOTH (10022 for others).
int shutdown(SOCKET s, int how);
// See the notification rules above. 10038 not a socket; 10022 an unknown event bit, or a mask
// other than 0 with a window that does not exist.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);

// Dotted IPv4 text to an address in network order; INADDR_NONE_VALUE when it is not one.
std::uint32_t inet_addr(const char* text);
std::uint16_t htons(std::uint16_t value);
std::uint16_t ntohs(std::uint16_t value);
// IPv4 lookup through the system resolver (or the one a ScopedResolver installed): the first
// address found. Null on failure (WSAHOST_NOT_FOUND; 10014 for a null name).
HOSTENT* gethostbyname(const char* name);

namespace zuvo::platform::sockets {

// Sets the blocking timeouts while it lives and puts back the previous ones when it goes.
// Durations are in milliseconds of the driven clock.
class ScopedSocketTimeouts {
 public:
  ScopedSocketTimeouts(DWORD connectMs, DWORD ioMs);
  ~ScopedSocketTimeouts();
  ScopedSocketTimeouts(const ScopedSocketTimeouts&) = delete;
  ScopedSocketTimeouts& operator=(const ScopedSocketTimeouts&) = delete;

 private:
  DWORD previousConnect_;
  DWORD previousIo_;
};

// Replaces the name lookup while it lives (tests: a resolver that counts calls and fails).
// The function returns true and the IPv4 address in network order, or false.
using Resolver = bool (*)(const char* name, std::uint32_t* address);
class ScopedResolver {
 public:
  explicit ScopedResolver(Resolver resolver);
  ~ScopedResolver();
  ScopedResolver(const ScopedResolver&) = delete;
  ScopedResolver& operator=(const ScopedResolver&) = delete;

 private:
  Resolver previous_;
};

// Sockets made by socket or accept and not yet closed (tests use it to find leaks).
int OpenSocketCount();

// ---- A local listener with bounded waits (the account library's listener) ----
// Whatever the socket's mode, each waits at most `milliseconds` of the platform clock (a driven
// clock in tests), failing with 10060 when the time runs out, 10004 when the socket was closed
// meanwhile.
// accept, waiting at most `milliseconds` for a connection.
SOCKET AcceptWithin(SOCKET s, DWORD milliseconds, SOCKADDR* address, int* length);
// recv (flags 0), waiting at most `milliseconds` for bytes or the peer's close.
int RecvWithin(SOCKET s, char* buffer, int length, DWORD milliseconds);
// Binds `s` to 127.0.0.1 at the first port from firstPort to lastPort (at most 65535) that binds:
// taken ports and ports that need privilege are skipped. The port, or 0 with the last error
// (10048 when every port was taken).
int BindLoopbackFrom(SOCKET s, int firstPort, int lastPort);

}  // namespace zuvo::platform::sockets
