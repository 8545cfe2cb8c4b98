#include "platform/environment.h"

#include <stdlib.h>

namespace platform {

std::optional<std::string> environmentVariable(const char* name) {
  const char* value = ::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void setEnvironmentVariable(const char* name, const std::optional<std::string>& value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

}  // namespace platform
