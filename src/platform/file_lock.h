// An exclusive advisory lock on a lock file, held while the object lives:
// keeps two programs from working on one store at once. The lock goes away
// with the process, also when it is killed. Thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class ExclusiveFileLock {
 public:
  // Creates the lock file when missing and takes the lock without waiting;
  // then writes `owner` (a text naming the holder, such as its process id)
  // into the file in place of an earlier holder's. Returns null and sets
  // `error` (EWOULDBLOCK when another holder has it, or the errno of opening
  // the file) on failure; with EWOULDBLOCK, `holder` (when given) receives
  // what that holder wrote ("" when it has not written yet).
  static std::unique_ptr<ExclusiveFileLock> tryAcquire(const std::string& path, int& error,
                                                       std::string_view owner = {}, std::string* holder = nullptr);
  ~ExclusiveFileLock();  // releases the lock
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

 private:
  explicit ExclusiveFileLock(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_;  // a descriptor, or a Windows handle
};

}  // namespace platform
