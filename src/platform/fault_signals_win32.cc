#include "platform/fault_signals.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace platform {

namespace {

std::atomic<FaultReporter> installedReporter{nullptr};
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// Says its last words, then lets the exception go on to the filter that
// was there before (or the system's own end of the process).
LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) {
  if (FaultReporter reporter = installedReporter.load()) reporter(exception->ExceptionRecord->ExceptionCode);
  return previousFilter != nullptr ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void installFaultReporter(FaultReporter reporter) {
  static std::once_flag once;
  std::call_once(once, [reporter] {
    installedReporter = reporter;
    previousFilter = ::SetUnhandledExceptionFilter(onUnhandledException);
  });
}

void removeFaultReporter() {
  if (installedReporter.exchange(nullptr) == nullptr) return;
  ::SetUnhandledExceptionFilter(previousFilter);
}

void writeStandardErrorInSignal(const char* bytes, std::size_t length) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  while (length > 0) {
    DWORD written = 0;
    if (!::WriteFile(error, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0) return;
    bytes += written;
    length -= written;
  }
}

}  // namespace platform
