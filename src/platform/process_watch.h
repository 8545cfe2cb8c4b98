// Watching another process of this system for its end, as a server does to
// release what a client that died left behind. One object watches one
// process from the moment it is opened, so a process number the system
// gives out again later is never mistaken for it. Thread-safe.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class ProcessWatch {
 public:
  // Starts watching the running process `processId`; nullptr when there is
  // no such process or the system cannot watch it.
  static std::unique_ptr<ProcessWatch> open(int processId);
  ~ProcessWatch();
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;

  // True once the process has ended, however it ended.
  bool ended() const;

 private:
  // A process descriptor, or a Windows process handle.
  explicit ProcessWatch(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;
};

}  // namespace platform
