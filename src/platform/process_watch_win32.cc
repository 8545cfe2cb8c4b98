#include "platform/process_watch.h"

#include <windows.h>

namespace platform {

std::unique_ptr<ProcessWatch> ProcessWatch::open(int processId) {
  // The handle keeps the process object, so its number is not reused while
  // the handle is open.
  if (processId <= 0) return nullptr;
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
  if (process == nullptr) return nullptr;
  return std::unique_ptr<ProcessWatch>(new ProcessWatch(reinterpret_cast<std::intptr_t>(process)));
}

ProcessWatch::~ProcessWatch() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

bool ProcessWatch::ended() const {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0;
}

}  // namespace platform
