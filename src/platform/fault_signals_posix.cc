#include "platform/fault_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace platform {

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr std::size_t kFaultSignalCount = sizeof kFaultSignals / sizeof kFaultSignals[0];

std::atomic<FaultReporter> installedReporter{nullptr};
struct sigaction previousActions[kFaultSignalCount];

void onFault(int signal, siginfo_t* info, void*) {
  const int savedErrno = errno;
  if (FaultReporter reporter = installedReporter.load()) reporter(static_cast<unsigned long>(signal));
  for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
    if (kFaultSignals[i] == signal) ::sigaction(signal, &previousActions[i], nullptr);
  }
  errno = savedErrno;
  // A fault the processor raised recurs by itself when the faulting
  // instruction runs again, now under the previous disposition (which may
  // be a program's own handler that expects the genuine fault). A signal
  // that was sent is sent again, pending until this handler returns.
  if (info == nullptr || info->si_code <= 0) ::raise(signal);
}

}  // namespace

void installFaultReporter(FaultReporter reporter) {
  static std::once_flag once;
  std::call_once(once, [reporter] {
    installedReporter = reporter;
    struct sigaction action {};
    action.sa_sigaction = onFault;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_SIGINFO;
    for (std::size_t i = 0; i < kFaultSignalCount; ++i) ::sigaction(kFaultSignals[i], &action, &previousActions[i]);
  });
}

void removeFaultReporter() {
  if (installedReporter.exchange(nullptr) == nullptr) return;
  for (std::size_t i = 0; i < kFaultSignalCount; ++i) ::sigaction(kFaultSignals[i], &previousActions[i], nullptr);
}

void writeStandardErrorInSignal(const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(STDERR_FILENO, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

}  // namespace platform
