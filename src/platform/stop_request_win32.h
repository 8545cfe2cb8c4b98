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

// Creates the stop request's event of `processId` (auto-reset, not set) and
// returns its handle. A name that exists already is refused: another
// process made it, and could hold it set or keep the process from being
// stopped. nullptr with `error` saying why on failure.
void* createStopRequestEvent(unsigned long processId, std::string& error);

// Closes a handle from createStopRequestEvent.
void closeStopRequestEvent(void* event);

}  // namespace platform
