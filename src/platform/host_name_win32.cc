#include "platform/host_name.h"

#include <windows.h>

namespace platform {

std::string hostName() {
  char buffer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof buffer;
  if (!::GetComputerNameA(buffer, &size) || size == 0) return "localhost";
  return std::string(buffer, size);
}

}  // namespace platform
