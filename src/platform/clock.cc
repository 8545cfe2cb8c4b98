#include "platform/clock.h"

#include <ctime>

namespace platform {

std::string formatTime(const char* format, const std::tm& calendar) {
  char buffer[256];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &calendar);
  return std::string(buffer, length);
}

}  // namespace platform
