// Platform-internal: the system's TCP calls behind platform/WinSock.h, kept in a unit of their
// own because the system's socket headers declare socket, htons, inet_addr and gethostbyname
// with the signatures of their own, which the Windows names cannot share a source file with.
// Descriptors are always non-blocking and close-on-exec; a blocking Windows call waits for
// readiness itself (WinSock.cpp). Every call answers a value >= 0, or
// minus a Windows error number (10035 when it would block).
#pragma once

#include "platform/internal/Guard.h"

#include <cstddef>
#include <cstdint>

namespace zuvo::platform::sockets::sys {

// Readiness bits of Poll (the system's poll bits, named here so callers need no system header).
extern const short kReadable;     // bytes or a close to read
extern const short kWritable;
extern const short kPeerClosed;   // the peer shut its sending side
extern const short kHangUp;
extern const short kError;

// An IPv4 stream descriptor, or -error.
int OpenStream();
void CloseDescriptor(int fd);
// 0 connected, -10035 still connecting (wait for kWritable, then ConnectResult), or -error.
int Connect(int fd, std::uint32_t address, std::uint16_t port);   // both in network order
// The outcome of a connect that was in progress, and of a broken connection: 0 or -error.
int PendingError(int fd);
long Send(int fd, const char* data, std::size_t length);
long Receive(int fd, char* buffer, std::size_t length, bool peek);
// Bytes waiting to be read, or -error.
int BytesReadable(int fd);
// A new descriptor (non-blocking) or -error; the peer's address and port in network order.
int Accept(int fd, std::uint32_t* address, std::uint16_t* port);
int Bind(int fd, std::uint32_t address, std::uint16_t port);
int Listen(int fd, int backlog);
int LocalName(int fd, std::uint32_t* address, std::uint16_t* port);
int PeerName(int fd, std::uint32_t* address, std::uint16_t* port);
// how: 0 receiving, 1 sending, 2 both.
int Shutdown(int fd, int how);
// The bits of `events` (kReadable, kWritable, kPeerClosed) the descriptor is ready for now,
// plus kHangUp / kError; 0 when none. Does not wait.
short PollNow(int fd, short events);

// The Windows error number for a system error number.
int WindowsError(int systemError);

// Dotted IPv4 text (the forms inet_aton accepts) to an address in network order.
bool ParseDotted(const char* text, std::uint32_t* address);
// The first IPv4 address of a name through the system resolver, in network order.
bool LookUpIpv4(const char* name, std::uint32_t* address);

// A descriptor that wakes a poll when signalled (an eventfd), and the poll of a set of
// descriptors the socket watcher runs: it fills in the revents, blocking until one is ready
// unless `block` is false.
int OpenWakeDescriptor();
void SignalWake(int fd);
void ClearWake(int fd);
struct PollEntry {
  int fd;
  short events;
  short revents;
};
void PollWait(PollEntry* entries, std::size_t count, bool block);

}  // namespace zuvo::platform::sockets::sys
