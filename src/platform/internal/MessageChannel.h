// Platform-internal: the message channel's core, between its transports (the socket listener,
// the loopback double) and the window system. A transport attaches one connection per peer,
// hands the core the peer's bytes as they arrive and detaches it when the peer is gone; the core
// checks and delivers the frames and writes to the peer through the connection's writer.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinBase.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zuvo::platform::channel {

struct Connection;

// Writes bytes to the peer; false when they could not be written (the peer is gone). Called on
// any thread, one call at a time per connection.
using ConnectionWriter = std::function<bool(const std::string& bytes)>;

// A new connection of the peer whose process id is given (for a socket: its credentials).
std::shared_ptr<Connection> Attach(DWORD processId, ConnectionWriter writer);
// Untrusted bytes from the peer, in order. Any thread, one call at a time per connection.
void Receive(const std::shared_ptr<Connection>& connection, const std::uint8_t* data, std::size_t size);
// The peer is gone: its windows die and sends waiting for it return 0. Idempotent.
void Detach(const std::shared_ptr<Connection>& connection);
// Our handle for a window of the peer (its own number), null when it never became known.
HWND KnownHandle(const std::shared_ptr<Connection>& connection, std::uint64_t peerWindow);
// The send timeout (SetChannelSendTimeout).
DWORD SendTimeout();

}  // namespace zuvo::platform::channel
