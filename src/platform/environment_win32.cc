#include "platform/environment.h"

#include <windows.h>

namespace platform {

// The process's own environment block, which child processes inherit: it
// keeps empty values apart from absent ones (the C runtime's copy does not).
std::optional<std::string> environmentVariable(const char* name) {
  std::string value(256, '\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: `length` counts the terminating NUL
  }
}

void setEnvironmentVariable(const char* name, const std::optional<std::string>& value) {
  ::SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
}

}  // namespace platform
