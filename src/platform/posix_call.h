// Internal to the POSIX implementation: retries a system call interrupted by
// a signal, so no caller has to think about EINTR.
#pragma once

#include <cerrno>

namespace platform::posix {

template <typename Call>
auto retryOnInterrupt(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace platform::posix
