#include "platform/console.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace platform {

namespace {

std::mutex handlerMutex;
ConsoleControlHandler currentHandler;

// Runs on a thread the system starts for each event. Every event is
// "handled": the process decides itself when to end.
BOOL WINAPI onControlEvent(DWORD event) {
  ConsoleControlHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = currentHandler;
  }
  if (!handler) return FALSE;
  // The event numbers are the codes the gateway names: 0 Ctrl+C, 1
  // Ctrl+Break, 2 close, 5 log-off, 6 shutdown.
  handler(static_cast<int>(event));
  return TRUE;
}

}  // namespace

bool registerConsoleControlHandler(ConsoleControlHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  const bool first = !currentHandler;
  currentHandler = std::move(handler);
  return !first || ::SetConsoleCtrlHandler(onControlEvent, TRUE) != FALSE;
}

void removeConsoleControlHandler() {
  std::lock_guard<std::mutex> lock(handlerMutex);
  if (!currentHandler) return;
  ::SetConsoleCtrlHandler(onControlEvent, FALSE);
  currentHandler = nullptr;
}

void setConsoleTitle(std::string_view utf8Title) {
  // The title is a wide string: UTF-8 converted, so Cyrillic shows as such.
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8Title.data(), static_cast<int>(utf8Title.size()), nullptr, 0);
  if (length <= 0) return;
  std::wstring title(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8Title.data(), static_cast<int>(utf8Title.size()), title.data(), length);
  ::SetConsoleTitleW(title.c_str());
}

}  // namespace platform
