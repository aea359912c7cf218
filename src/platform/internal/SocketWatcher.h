// Platform-internal: the thread that watches registered sockets for readiness and posts their
// notifications (platform/WinSock.h). Tests use this to know that what was ready before a
// moment has been posted, so they can assert that something was not.
#pragma once

#include "platform/internal/Guard.h"

namespace zuvo::platform::sockets {

// Blocks until the watcher has looked once at every registered socket after this call began,
// posting what was ready. Returns at once when no watcher runs (nothing is registered yet).
void AwaitWatcherPass();

}  // namespace zuvo::platform::sockets
