#include "platform/environment.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

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
  // The C runtime keeps a copy of its own, which getenv and the time
  // functions read: it follows, and a new TZ takes effect at once, as the
  // POSIX time functions re-read it on each call. The runtime removes a
  // variable set empty, also from the process's block, so the block is set
  // after it.
  ::_putenv_s(name, value ? value->c_str() : "");
  ::SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  if (std::strcmp(name, "TZ") == 0) ::_tzset();
}

}  // namespace platform
