// Child processes: start a program with arguments, read what it prints on
// standard output line by line, stop it. Used to run the service and the
// reference peers of the tests and the demo. Not thread-safe per object.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  // Starts `arguments[0]` (looked up on PATH) with the given arguments and,
  // if `captureOutput`, a pipe on its standard output. `environment` entries
  // ("NAME=value") are added to this process's environment for the child.
  // Returns nullptr and sets `error` when the program cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& arguments, bool captureOutput,
                                             std::string& error,
                                             const std::vector<std::string>& environment = {});
  // Kills the child (if still running) and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  int pid() const { return pid_; }
  // The next line of the child's standard output (without the line end), or
  // nullopt at end of output or after `timeoutMilliseconds`.
  std::optional<std::string> readLine(int timeoutMilliseconds);
  // Asks the child to stop: SIGTERM; on Windows the child's stop request
  // (console.h), or Ctrl+C when it has none.
  void terminate();
  // As Ctrl+C at the child's console: SIGINT; on Windows a Ctrl+C event
  // through the child's console, after which this process ignores Ctrl+C.
  void interrupt();
#if !defined(_WIN32)
  // SIGUSR1: a daemon's request to open its log file again after a rotation.
  void sendUser1Signal();
#endif
  // Ends the child at once: SIGKILL; on Windows TerminateProcess, status 137.
  void kill();
  // Waits for the child to end and returns its exit status (128 + signal
  // number when a signal ended it); nullopt on time-out.
  std::optional<int> wait(int timeoutMilliseconds);

 private:
  // The first whole line of `buffered` (without its CR LF or LF), taken
  // out of it; nullopt while there is none.
  static std::optional<std::string> takeLine(std::string& buffered);

  ChildProcess(int pid, std::intptr_t process, std::intptr_t output)
      : pid_(pid), process_(process), output_(output) {}
  int pid_;
  // The process handle where the system has one (Windows), else unused.
  [[maybe_unused]] std::intptr_t process_;
  // The read end of the output pipe (a descriptor or a handle), -1 when none.
  std::intptr_t output_;
  bool reaped_ = false;
  int status_ = 0;
  std::string buffered_;
};

}  // namespace platform
