#include "platform/environment.h"

#include <stdlib.h>

namespace platform {

std::optional<std::string> environmentVariable(const char* name) {
  const char* value = ::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void setEnvironmentVariable(const char* name, const std::optional<std::string>& value) {
  // An empty value removes the variable on Windows.
  ::_putenv_s(name, value ? value->c_str() : "");
}

}  // namespace platform
