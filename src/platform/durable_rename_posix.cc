#include "platform/durable_rename.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/path.h"
#include "platform/posix_call.h"

namespace platform {

namespace {

int syncDirectory(const std::string& directory) {
  const char* name = directory.empty() ? "." : directory.c_str();
  const int fd = posix::retryOnInterrupt([&] { return ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

}  // namespace

int renameDurably(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return errno;
  const std::string target = directoryName(to);
  const std::string source = directoryName(from);
  if (int error = syncDirectory(target)) return error;
  return source == target ? 0 : syncDirectory(source);
}

}  // namespace platform
