#include "platform/process_watch.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/posix_call.h"

namespace platform {

std::unique_ptr<ProcessWatch> ProcessWatch::open(int processId) {
#if defined(SYS_pidfd_open)
  // A process descriptor stays bound to the process it was opened for, and
  // becomes readable when that process ends.
  if (processId <= 0) return nullptr;
  const long descriptor = ::syscall(SYS_pidfd_open, processId, 0);
  if (descriptor < 0) return nullptr;
  return std::unique_ptr<ProcessWatch>(new ProcessWatch(descriptor));
#else
  (void)processId;
  return nullptr;
#endif
}

ProcessWatch::~ProcessWatch() { ::close(static_cast<int>(handle_)); }

bool ProcessWatch::ended() const {
  pollfd entry{static_cast<int>(handle_), POLLIN, 0};
  return posix::retryOnInterrupt([&] { return ::poll(&entry, 1, 0); }) > 0;
}

}  // namespace platform
