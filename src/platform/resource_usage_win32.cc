#include "platform/resource_usage.h"

#include <windows.h>
#include <psapi.h>

namespace platform {

std::uint64_t peakResidentKibOfSelf() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<std::uint64_t>(counters.PeakWorkingSetSize) / 1024;
}

}  // namespace platform
