#include "platform/stop_request_win32.h"

#include <windows.h>

namespace platform {

void* createStopRequestEvent(unsigned long processId, std::string& error) {
  const std::string name = stopRequestEventName(processId);
  const HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, name.c_str());
  const DWORD failure = ::GetLastError();
  if (event != nullptr && failure != ERROR_ALREADY_EXISTS) return event;
  if (event != nullptr) ::CloseHandle(event);
  // A name held by an object of another kind fails with an invalid handle.
  if (event != nullptr || failure == ERROR_INVALID_HANDLE) {
    error = "Can't create the stop request event \"" + name +
            "\": the name exists already and is not this process's; another program holds it";
  } else {
    error = "Can't create the stop request event \"" + name + "\", error " + std::to_string(failure);
  }
  return nullptr;
}

void closeStopRequestEvent(void* event) {
  if (event != nullptr) ::CloseHandle(static_cast<HANDLE>(event));
}

}  // namespace platform
