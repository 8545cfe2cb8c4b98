#include "platform/socket_options.h"

#include <winsock2.h>

namespace platform {

bool setReceiveTimeout(int socket, int milliseconds) {
  const DWORD timeout = static_cast<DWORD>(milliseconds);
  return ::setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                      sizeof timeout) == 0;
}

}  // namespace platform
