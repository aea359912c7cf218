#include "net/ESock.h"

#include "data/Messages.h"
#include "platform/Kernel.h"

#include <atomic>
#include <mutex>

namespace {

constexpr long kLookupTries = 3;
constexpr DWORD kLookupPauseMs = 500;
constexpr WORD kWinsockVersion11 = 0x0101;

// The hidden window; made on the UI thread by the first client and never destroyed. Read by
// workers creating sockets, hence atomic.
std::atomic<ESockWnd*> socketWindow{nullptr};

// Workers (login downloads, the password change) create and close sockets too: every access to
// the table holds the lock. The lock is never held while a handler runs.
std::mutex liveMutex;
ESock* liveSockets[kMaxLiveSockets] = {};
int liveCount = 0;

// Notifications taken from the message queue and not dispatched yet. UI thread only. Each entry
// is taken off before it is dispatched, so a nested message loop in a handler walks only what
// arrived after it and never dispatches an entry twice.
struct PendingEvent {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
PendingEvent pendingEvents[kMaxPendingSocketEvents] = {};
int pendingFirst = 0;
int pendingCount = 0;

// Called with the lock held.
void RemoveLive(ESock* socket) {
  for (int at = 0; at < liveCount; ++at) {
    if (liveSockets[at] != socket) continue;
    for (int next = at + 1; next < liveCount; ++next) liveSockets[next - 1] = liveSockets[next];
    liveSockets[--liveCount] = nullptr;
    return;
  }
}

ESock* FindLive(int handle) {
  std::lock_guard<std::mutex> lock(liveMutex);
  for (int at = 0; at < liveCount; ++at) {
    if (liveSockets[at]->handle == handle) return liveSockets[at];
  }
  return nullptr;
}

SOCKET AsSocket(int handle) { return static_cast<SOCKET>(static_cast<unsigned int>(handle)); }

}  // namespace

ESock::ESock() {
  if (socketWindow.load() != nullptr) return;
  auto* window = new ESockWnd;
  if (window->Create(0, 0, 0, 0, 0, 0, nullptr)) {
    socketWindow.store(window);
    return;
  }
  MessageBoxA(nullptr, "网络窗口初始化失败。  ", "错误", MB_ICONERROR | MB_TOPMOST);
  delete window;
}

ESock::~ESock() {
  if (handle != -1) ESock::Close();
}

int ESock::Accept(ESock* other, SOCKADDR* address, int* addressLength) {
  if (other == nullptr || handle == -1) {
    SetLastError(WSAEINVAL);
    return 0;
  }
  const SOCKET accepted = accept(AsSocket(handle), address, addressLength);
  if (accepted == INVALID_SOCKET) {
    SetLastError(static_cast<DWORD>(WSAGetLastError()));
    return 0;
  }
  if (other->handle != -1) other->Close();
  std::lock_guard<std::mutex> lock(liveMutex);
  if (liveCount >= kMaxLiveSockets) {
    closesocket(accepted);
    SetLastError(WSAEMFILE);
    return 0;
  }
  other->handle = static_cast<int>(accepted);
  liveSockets[liveCount++] = other;
  return 1;
}

void ESock::Close() {
  if (handle == -1) return;
  {
    std::lock_guard<std::mutex> lock(liveMutex);
    RemoveLive(this);
  }
  closesocket(AsSocket(handle));
  handle = -1;
}

int ESock::Receive(void* buffer, int length, int flags) {
  return recv(AsSocket(handle), static_cast<char*>(buffer), length, flags);
}

int ESock::Send(const void* data, int length, int flags) {
  return send(AsSocket(handle), static_cast<const char*>(data), length, flags);
}

int ESock::Create(int type, int protocol, int family) {
  if (handle != -1) Close();
  std::lock_guard<std::mutex> lock(liveMutex);
  if (socketWindow.load() == nullptr || liveCount >= kMaxLiveSockets) return 0;
  SOCKET made = socket(family, type, protocol);
  if (made == INVALID_SOCKET && WSAGetLastError() == WSANOTINITIALISED) {
    // The library is started on this demand only and never shut down.
    WSADATA data{};
    if (WSAStartup(kWinsockVersion11, &data) == 0) made = socket(family, type, protocol);
  }
  if (made == INVALID_SOCKET) return 0;
  handle = static_cast<int>(made);
  liveSockets[liveCount++] = this;
  return 1;
}

int ESock::Connect(const char* host, int port) {
  if (handle == -1 || host == nullptr) {
    WSASetLastError(WSAEINVAL);
    return 0;
  }
  SOCKADDR_IN address{};
  address.sin_family = WINSOCK_AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = inet_addr(host);
  if (address.sin_addr.s_addr == INADDR_NONE_VALUE) {
    HOSTENT* found = nullptr;
    for (long attempt = 0; attempt < kLookupTries; ++attempt) {
      found = gethostbyname(host);
      if (found != nullptr && found->h_addr_list != nullptr && found->h_addr_list[0] != nullptr) break;
      found = nullptr;
      if (attempt + 1 < kLookupTries) Sleep(kLookupPauseMs);
    }
    if (found == nullptr) {
      WSASetLastError(WSAEINVAL);
      return 0;
    }
    const auto* first = reinterpret_cast<const std::uint8_t*>(found->h_addr_list[0]);
    address.sin_addr.s_addr = static_cast<std::uint32_t>(first[0]) | static_cast<std::uint32_t>(first[1]) << 8 |
                              static_cast<std::uint32_t>(first[2]) << 16 | static_cast<std::uint32_t>(first[3]) << 24;
  }
  return connect(AsSocket(handle), reinterpret_cast<const SOCKADDR*>(&address), sizeof address) != SOCKET_ERROR ? 1
                                                                                                              : 0;
}

int ESock::AsyncSelect(long events) {
  ESockWnd* window = socketWindow.load();
  if (window == nullptr || handle == -1) return 0;
  return WSAAsyncSelect(AsSocket(handle), window->handle, MsgSocketEvent, events) != SOCKET_ERROR ? 1 : 0;
}

int ESock::IOCtl(long command, u_long* argument) {
  if (handle == -1) {
    WSASetLastError(WSAENOTSOCK);
    return 0;
  }
  return ioctlsocket(AsSocket(handle), command, argument) != SOCKET_ERROR ? 1 : 0;
}

int ESock::GetLastError() { return WSAGetLastError(); }

LRESULT ESockWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != MsgSocketEvent) return EWnd::WindowProc(message, wParam, lParam);
  if (pendingCount < kMaxPendingSocketEvents) {
    pendingEvents[(pendingFirst + pendingCount) % kMaxPendingSocketEvents] = {message, wParam, lParam};
    ++pendingCount;
  } else {
    // Cannot happen while the platform keeps one notification per event and socket, but a
    // notification is never dropped: it goes out at once, after those already waiting.
    while (pendingCount > 0) {
      const PendingEvent entry = pendingEvents[pendingFirst];
      pendingFirst = (pendingFirst + 1) % kMaxPendingSocketEvents;
      --pendingCount;
      DispatchSocketEvent(entry.wParam, entry.lParam);
    }
    DispatchSocketEvent(wParam, lParam);
    return 0;
  }
  while (pendingCount > 0) {
    const PendingEvent entry = pendingEvents[pendingFirst];
    pendingFirst = (pendingFirst + 1) % kMaxPendingSocketEvents;
    --pendingCount;
    if (entry.message == MsgSocketEvent) DispatchSocketEvent(entry.wParam, entry.lParam);
  }
  return 0;
}

void DispatchSocketEvent(WPARAM socketHandle, LPARAM eventAndError) {
  if (socketHandle == 0 && eventAndError == 0) return;
  ESock* socket = FindLive(static_cast<int>(socketHandle));
  if (socket == nullptr) return;   // closed meanwhile: its late notifications are dropped
  const auto word = static_cast<DWORD_PTR>(eventAndError);
  const long event = LOWORD(word);
  int error = HIWORD(word);
  switch (event) {
    case FD_READ: {
      u_long ready = 0;
      if (!socket->IOCtl(WINSOCK_FIONREAD, &ready)) error = socket->GetLastError();
      if (ready > 0 || error != 0) socket->OnReceive(error);
      break;
    }
    case FD_WRITE:
      socket->OnSend(error);
      break;
    case FD_OOB:
      socket->OnOutOfBand(error);
      break;
    case FD_ACCEPT:
      socket->OnAccept(error);
      break;
    case FD_CONNECT:
      socket->OnConnect(error);
      break;
    case FD_CLOSE:
      // The object's own read loop is running (a nested message loop in a handler): it reads on
      // to the close and finishes it itself.
      if (socket->inReceive_) break;
      // Frames that arrived before the peer's close are read and handled first.
      socket->OnReceive(error);
      if (socket->handle != -1) socket->OnClose(error);
      break;
    default:
      break;
  }
}

namespace zuvo::net {

ESockWnd* SocketWindow() { return socketWindow.load(); }

ESockWnd* ReplaceSocketWindowForTest(ESockWnd* window) { return socketWindow.exchange(window); }

int LiveSocketCount() {
  std::lock_guard<std::mutex> lock(liveMutex);
  return liveCount;
}

ESock* LiveSocketAt(int position) {
  std::lock_guard<std::mutex> lock(liveMutex);
  return position >= 0 && position < liveCount ? liveSockets[position] : nullptr;
}

}  // namespace zuvo::net
