#include "platform/resource_usage.h"

#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace platform {

std::uint64_t peakResidentKibOfSelf() {
  // VmHWM is the high-water mark of this address space alone; ru_maxrss also
  // carries the peak of an address space that exec replaced.
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
  }
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0) return 0;
  return static_cast<std::uint64_t>(usage.ru_maxrss);  // Linux reports KiB
}

}  // namespace platform
