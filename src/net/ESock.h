// ESock: the program's thin TCP socket. Every server connection is an ESock subclass. Sockets
// are blocking while a connection is opened and logged in, then switched to asynchronous
// notification (AsyncSelect): readiness arrives as MsgSocketEvent (883) posted to one hidden
// window, ESockWnd, whose procedure routes each notification to the live ESock that owns the
// socket, on the UI thread. Blocking exchanges run on their caller's thread (UI thread, login
// worker, password-change worker).
//
// Process-wide state, shared by every ESock: the hidden window (made by the first constructor,
// kept for the life of the process), the live-socket table (at most kMaxLiveSockets, in order of
// creation; guarded by a lock since workers create and close sockets too) and the pending
// notifications (one per event and socket at most, so 8 sockets never fill it; each is taken
// off before it is dispatched, so a nested message loop inside a handler never dispatches an
// entry twice).
//
// Notifications, by event: FD_READ calls OnReceive only when bytes are ready (FIONREAD) or an
// error is known; FD_WRITE OnSend; FD_CLOSE first lets the object read what arrived before the
// peer's close (OnReceive), then calls OnClose when the socket is still open, so frames sent
// just before a close are handled; a close that arrives while the object's own read loop runs
// (a handler's nested message loop) is left to that loop, which reads on to the close itself.
// A notification for a socket that is no longer live calls nothing.
#pragma once

#include "core/EWnd.h"
#include "platform/WinSock.h"

constexpr int kMaxLiveSockets = 8;
constexpr int kMaxPendingSocketEvents = 32;
// The event mask the clients register: FD_READ | FD_WRITE | FD_CLOSE.
constexpr long kClientSocketEvents = 35;

class ESock {
 public:
  // Makes the hidden window when there is none yet; when that fails, shows
  // "网络窗口初始化失败。  " (caption "错误") and every Create then fails.
  ESock();
  // Close when a handle is held.
  virtual ~ESock();
  ESock(const ESock&) = delete;
  ESock& operator=(const ESock&) = delete;

  // Slot order as the Parts list them.
  // Accepts a pending connection into `other` (closed first when it holds a socket) and lists it:
  // 1, or 0 with the socket error as the thread's last error (also when the table is full).
  virtual int Accept(ESock* other, SOCKADDR* address, int* addressLength);
  // When a handle is held: out of the live-socket table (later entries move down one place),
  // the socket closed (its pending notifications go with it), handle -1. Else nothing.
  virtual void Close();
  // recv / send: bytes moved, 0 when the peer closed (Receive), -1 on an error (GetLastError;
  // 10035 when a non-blocking socket has nothing now or no room now).
  virtual int Receive(void* buffer, int length, int flags);
  virtual int Send(const void* data, int length, int flags);
  virtual void OnReceive(int error) = 0;
  virtual void OnSend(int error) = 0;
  virtual void OnOutOfBand(int error) = 0;
  virtual void OnAccept(int error) = 0;
  virtual void OnConnect(int error) = 0;
  virtual void OnClose(int error) = 0;

  // 1 and listed in the live-socket table; 0 without the hidden window, with 8 live sockets, or
  // when the socket cannot be made. A socket still held is closed first.
  int Create(int type = WINSOCK_SOCK_STREAM, int protocol = 0, int family = WINSOCK_AF_INET);
  // Dotted IPv4 or a host name (3 lookups with a Sleep(500) after each failed one but the last;
  // when all fail the socket error is 10022), then a blocking connect. 1 connected, else 0.
  int Connect(const char* host, int port);
  // WSAAsyncSelect to the hidden window with MsgSocketEvent: 1, or 0 (no window, no socket, or
  // the platform refused).
  int AsyncSelect(long events);
  // ioctlsocket: 1, or 0 (GetLastError says why).
  int IOCtl(long command, u_long* argument);
  // WSAGetLastError of the calling thread.
  int GetLastError();

  // The socket handle, -1 when none.
  int handle = -1;

 protected:
  // Set by a subclass while its read loop runs. A nested read or close notification (a message
  // loop inside one of its handlers) is then left to that loop.
  bool inReceive_ = false;

  friend void DispatchSocketEvent(WPARAM socketHandle, LPARAM eventAndError);
};

// The hidden notification window: MsgSocketEvent goes through the pending queue to
// DispatchSocketEvent, every other message to the default procedure.
class ESockWnd : public EWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Routes one notification to the live socket that owns `socketHandle`; see the table of events
// in ESock.cpp. Entries for a socket no longer live are dropped.
void DispatchSocketEvent(WPARAM socketHandle, LPARAM eventAndError);

namespace zuvo::net {

// The hidden window, or null when it could not be made (tests).
ESockWnd* SocketWindow();
// Puts `window` (null: none) in place of the hidden window and returns the one there was, so a
// test can see the constructor make it (or fail to) and put the process's window back after.
// Nothing may be live or registered while it is swapped. Tests only.
ESockWnd* ReplaceSocketWindowForTest(ESockWnd* window);
// The number of live sockets (tests).
int LiveSocketCount();
// The live socket at a position of the table, or null (tests).
ESock* LiveSocketAt(int position);

}  // namespace zuvo::net
