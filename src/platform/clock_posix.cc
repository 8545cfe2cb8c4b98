#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace platform {

std::uint32_t tickCount() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void sleepMilliseconds(unsigned milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

LocalTime localTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  LocalTime result;
  ::localtime_r(&now.tv_sec, &result.calendar);
  result.milliseconds = static_cast<int>(now.tv_nsec / 1000000L);
  return result;
}

std::tm localTimeOf(std::time_t seconds) {
  std::tm calendar{};
  if (::localtime_r(&seconds, &calendar) == nullptr) return std::tm{};
  return calendar;
}

std::tm utcTimeNow() {
  const std::time_t now = ::time(nullptr);
  std::tm calendar{};
  ::gmtime_r(&now, &calendar);
  return calendar;
}

}  // namespace platform
