// A stop request for a process that may have no console: a named event per
// process id, which a program with a console control handler waits for and
// ChildProcess::terminate() sets. Console events reach only processes that
// share the sender's console; a program started by a service has none, nor
// has one that Wine starts from a pipe. Internal to the Windows side.
#pragma once

#include <string>

namespace platform {

inline std::string stopRequestEventName(unsigned long processId) {
  return "Local\\trasvik-stop-request-" + std::to_string(processId);
}

}  // namespace platform
