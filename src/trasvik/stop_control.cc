#include "trasvik/stop_control.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/event.h"
#include "trasvik/gateway_log.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

// The console thread signals the event while a new session start may
// replace it: both take their own reference under the mutex.
std::mutex stopEventMutex;
std::shared_ptr<platform::ManualResetEvent> stopEvent;
std::atomic<bool> stopFlag{false};

std::shared_ptr<platform::ManualResetEvent> currentStopEvent() {
  std::lock_guard<std::mutex> lock(stopEventMutex);
  return stopEvent;
}

void replaceStopEvent(std::shared_ptr<platform::ManualResetEvent> event) {
  std::lock_guard<std::mutex> lock(stopEventMutex);
  stopEvent = std::move(event);
}

std::string controlEventName(int code) {
  switch (code) {
    case 0: return "Control C";
    case 1: return "Control Break";
    case 2: return "Close Event";
    case 5: return "Log Off Event";
    case 6: return "Shutdown Event";
    default: return formatText("Event 0x%08X", static_cast<unsigned>(code));
  }
}

}  // namespace

bool createStopMachinery() {
  auto event = std::make_shared<platform::ManualResetEvent>();
  // A stop asked for before a lost session is still carried out after it.
  if (stopFlag.load()) event->set();
  replaceStopEvent(std::move(event));
  std::string error;
  const bool registered = platform::registerConsoleControlHandler(
      [](int code) {
        if (code == platform::kReopenLog) {
          reopenLog();
        } else {
          ControlHandler(code);
        }
      },
      &error);
  if (!registered) GATEWAY_FATAL("%s", error.c_str());
  return registered;
}

void releaseStopMachinery() {
  platform::removeConsoleControlHandler();
  replaceStopEvent(nullptr);
}

void requestStop() {
  // The flag first: a thread the event wakes finds it set.
  stopFlag.store(true);
  if (const auto event = currentStopEvent()) event->set();
}

bool stopRequested() { return stopFlag.load(); }

bool waitForStop(unsigned milliseconds) {
  const auto event = currentStopEvent();
  return !event || event->waitFor(milliseconds);
}

bool stopMachineryReady() { return currentStopEvent() != nullptr; }

void pauseUnlessStopped(unsigned milliseconds) {
  if (const auto event = currentStopEvent()) {
    event->waitFor(milliseconds);
  } else {
    platform::sleepMilliseconds(milliseconds);
  }
}

void reopenLog() {
  // The host library opens the log file named in the INI file again; a
  // rotated file keeps what was written to it.
  if (const unsigned error = QnLogOpen(0); error != 0) {
    GATEWAY_ERROR("Can't reopen LOG file, QNERROR 0x%08X", error);
  } else {
    GATEWAY_INFO0("LOG file reopened");
  }
}

bool ControlHandler(int code) {
  const std::string name = controlEventName(code);
  GATEWAY_INFO("ControlHandler(): %s received.", name.c_str());
  requestStop();
  return true;
}

}  // namespace trasvik
