#include "platform/console.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/stop_request_win32.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

std::mutex handlerMutex;
ConsoleControlHandler currentHandler;
std::atomic<bool> logOffIgnored{false};
std::atomic<bool> stopsFromServiceManager{false};

// The stop request's event, the event that ends its waiter, and the waiter.
struct StopRequestWaiter {
  HANDLE request = nullptr;
  HANDLE quit = nullptr;
  std::thread thread;
};
// Guarded by handlerMutex. Never destroyed: a program may end with its
// handler registered, and a running thread must not be destroyed.
StopRequestWaiter& stopRequest = *new StopRequestWaiter;

// Runs on a thread the system starts for each event, or on the stop
// request's waiter. Every event is "handled": the process decides itself
// when to end.
BOOL WINAPI onControlEvent(DWORD event) {
  ConsoleControlHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = currentHandler;
  }
  if (!handler) return FALSE;
  // A service's process is sent the log-off of every user: not its stop.
  if (event == CTRL_LOGOFF_EVENT && logOffIgnored.load()) return TRUE;
  // The event numbers are the codes the gateway names: 0 Ctrl+C, 1
  // Ctrl+Break, 2 close, 5 log-off, 6 shutdown.
  handler(static_cast<int>(event));
  // After a close, log-off or shutdown event Windows ends the process as
  // soon as the handler returns. It does not return: the process ends when
  // its main thread has stopped in order and exits, or when the time the
  // system gives it is up (it ends the process then, as it would anyway).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) ::Sleep(INFINITE);
  return TRUE;
}

// A stop request counts as Ctrl+Break, the event terminate() would send
// through a shared console.
void waitForStopRequests(HANDLE request, HANDLE quit) {
  const HANDLE events[] = {quit, request};
  while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) onControlEvent(CTRL_BREAK_EVENT);
}

void closeStopRequest(StopRequestWaiter& waiter) {
  closeStopRequestEvent(waiter.request);
  if (waiter.quit != nullptr) ::CloseHandle(waiter.quit);
  waiter = StopRequestWaiter{};
}

// Creates the stop request's event and its waiter; false with `error`
// saying why when either cannot be had.
bool openStopRequest(StopRequestWaiter& waiter, std::string& error) {
  waiter.request = createStopRequestEvent(::GetCurrentProcessId(), error);
  if (waiter.request == nullptr) return false;
  waiter.quit = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (waiter.quit == nullptr) {
    error = "Can't create an event, error " + std::to_string(::GetLastError());
    closeStopRequest(waiter);
    return false;
  }
  try {
    waiter.thread = std::thread(waitForStopRequests, waiter.request, waiter.quit);
  } catch (const std::system_error& failure) {
    error = std::string("Can't start the stop request's thread, ") + failure.what();
    closeStopRequest(waiter);
    return false;
  }
  return true;
}

}  // namespace

bool registerConsoleControlHandler(ConsoleControlHandler handler, std::string* error) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  if (currentHandler) {
    currentHandler = std::move(handler);
    return true;
  }
  std::string reason;
  // A service is stopped by its Service Control Manager: no name is made
  // that another user could take first and so keep it from starting.
  if (!stopsFromServiceManager.load() && !openStopRequest(stopRequest, reason)) {
    if (error != nullptr) *error = reason;
    return false;
  }
  if (!::SetConsoleCtrlHandler(onControlEvent, TRUE)) {
    if (error != nullptr) *error = "Can't set the console control handler, error " + std::to_string(::GetLastError());
    if (stopRequest.thread.joinable()) {
      ::SetEvent(stopRequest.quit);
      stopRequest.thread.join();
    }
    closeStopRequest(stopRequest);
    return false;
  }
  currentHandler = std::move(handler);
  return true;
}

void removeConsoleControlHandler() {
  StopRequestWaiter waiter;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    if (!currentHandler) return;
    ::SetConsoleCtrlHandler(onControlEvent, FALSE);
    currentHandler = nullptr;
    waiter = std::move(stopRequest);
    stopRequest = StopRequestWaiter{};
  }
  if (!waiter.thread.joinable()) return;  // a service's: none was made
  ::SetEvent(waiter.quit);
  // Called from the handler itself, the waiter cannot wait for itself to end.
  if (waiter.thread.get_id() == std::this_thread::get_id()) {
    waiter.thread.detach();
    return;  // its handles stay open: the waiter still uses them
  }
  waiter.thread.join();
  closeStopRequest(waiter);
}

void ignoreLogOffEvents() { logOffIgnored.store(true); }

void takeStopsFromServiceManagerOnly() { stopsFromServiceManager.store(true); }

void holdLogReopenRequests() {}

void setConsoleTitle(std::string_view utf8Title) {
  // The title is a wide string: UTF-8 converted, so Cyrillic shows as such.
  const std::optional<std::wstring> title = win32::wideText(CP_UTF8, utf8Title);
  if (title && !title->empty()) ::SetConsoleTitleW(title->c_str());
}

}  // namespace platform
