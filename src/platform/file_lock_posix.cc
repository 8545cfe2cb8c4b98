#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_call.h"
#include "platform/posix_file_calls.h"

namespace platform {

using posix::retryOnInterrupt;

std::unique_ptr<ExclusiveFileLock> ExclusiveFileLock::tryAcquire(const std::string& path, int& error,
                                                                 std::string_view owner, std::string* holder) {
  error = 0;
  const int fd = posix::openFile(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (retryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    error = errno;
    if (error == EWOULDBLOCK && holder != nullptr) {
      char text[256];
      const ssize_t count = retryOnInterrupt([&] { return ::pread(fd, text, sizeof text, 0); });
      holder->assign(text, count > 0 ? static_cast<std::size_t>(count) : 0);
    }
    ::close(fd);
    return nullptr;
  }
  // The lock is advisory: the holder's text stays readable to the next one.
  if (!owner.empty()) {
    error = retryOnInterrupt([&] { return ::ftruncate(fd, 0); }) != 0 ? errno : posix::writeAllAt(fd, 0, owner);
    if (error != 0) {
      ::close(fd);
      return nullptr;
    }
  }
  return std::unique_ptr<ExclusiveFileLock>(new ExclusiveFileLock(fd));
}

ExclusiveFileLock::~ExclusiveFileLock() { ::close(static_cast<int>(handle_)); }

}  // namespace platform
