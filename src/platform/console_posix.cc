#include "platform/console.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

namespace {

struct ControlState {
  std::mutex mutex;
  ConsoleControlHandler handler;
  std::thread waiter;
  std::atomic<bool> stopping{false};
  sigset_t previousMask{};
};

ControlState& state() {
  static ControlState* instance = new ControlState;  // lives until exit, used from the waiter
  return *instance;
}

sigset_t controlSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGQUIT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  return set;
}

int codeOf(int signal) {
  switch (signal) {
    case SIGINT: return kControlC;
    case SIGQUIT: return kControlBreak;
    case SIGHUP: return kCloseEvent;
    case SIGUSR1: return kReopenLog;
    default: return kShutdownEvent;
  }
}

void waitForSignals() {
  const sigset_t set = controlSignals();
  ControlState& control = state();
  for (;;) {
    int signal = 0;
    if (::sigwait(&set, &signal) != 0) continue;
    if (control.stopping.load()) return;
    ConsoleControlHandler handler;
    {
      std::lock_guard<std::mutex> lock(control.mutex);
      handler = control.handler;
    }
    if (handler) handler(codeOf(signal));
  }
}

}  // namespace

bool registerConsoleControlHandler(ConsoleControlHandler handler, std::string* error) {
  ControlState& control = state();
  std::lock_guard<std::mutex> lock(control.mutex);
  control.handler = std::move(handler);
  if (control.waiter.joinable()) return true;
  const sigset_t set = controlSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, &control.previousMask);
  control.stopping = false;
  try {
    control.waiter = std::thread(waitForSignals);
  } catch (const std::system_error& failure) {
    ::pthread_sigmask(SIG_SETMASK, &control.previousMask, nullptr);
    if (error != nullptr) *error = std::string("Can't start the signal handler's thread, ") + failure.what();
    return false;
  }
  return true;
}

void removeConsoleControlHandler() {
  ControlState& control = state();
  std::thread waiter;
  {
    std::lock_guard<std::mutex> lock(control.mutex);
    if (!control.waiter.joinable()) return;
    control.stopping = true;
    waiter = std::move(control.waiter);
    control.handler = nullptr;
  }
  // Wake the waiter with one of its own signals; it sees the stop flag.
  ::pthread_kill(waiter.native_handle(), SIGHUP);
  waiter.join();
  ::pthread_sigmask(SIG_SETMASK, &control.previousMask, nullptr);
}

void holdLogReopenRequests() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void ignoreLogOffEvents() {}

void takeStopsFromServiceManagerOnly() {}

void setConsoleTitle(std::string_view utf8Title) {
  if (!::isatty(STDOUT_FILENO)) return;
  std::string sequence = "\033]0;";
  for (char c : utf8Title) {
    // Control bytes would end the escape sequence early.
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) sequence.push_back(c);
  }
  sequence += "\007";
  ssize_t ignored = ::write(STDOUT_FILENO, sequence.data(), sequence.size());
  (void)ignored;
}

}  // namespace platform
