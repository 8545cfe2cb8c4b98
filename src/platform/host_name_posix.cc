#include "platform/host_name.h"

#include <unistd.h>

namespace platform {

std::string hostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0') return "localhost";
  return buffer;
}

}  // namespace platform
