// Socket options beyond socket.h, for servers that block in receives.
// Thread-safe.
#pragma once

namespace platform {

// Makes a blocking receive on `socket` give up after `milliseconds` with a
// transient error (isTransientSocketError), so a thread waiting for a peer
// can look at other things now and then. Returns true iff the option is set.
bool setReceiveTimeout(int socket, int milliseconds);

}  // namespace platform
