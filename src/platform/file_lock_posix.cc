#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_call.h"
#include "platform/posix_file_calls.h"

namespace platform {

using posix::retryOnInterrupt;

std::unique_ptr<ExclusiveFileLock> ExclusiveFileLock::tryAcquire(const std::string& path, int& error) {
  error = 0;
  const int fd = posix::openFile(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (retryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    error = errno;
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<ExclusiveFileLock>(new ExclusiveFileLock(fd));
}

ExclusiveFileLock::~ExclusiveFileLock() { ::close(static_cast<int>(handle_)); }

}  // namespace platform
