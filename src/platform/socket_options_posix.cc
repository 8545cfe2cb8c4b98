#include "platform/socket_options.h"

#include <sys/socket.h>
#include <sys/time.h>

namespace platform {

bool setReceiveTimeout(int socket, int milliseconds) {
  timeval timeout{};
  timeout.tv_sec = milliseconds / 1000;
  timeout.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  return ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0;
}

}  // namespace platform
