#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/path.h"
#include "platform/posix_call.h"

namespace platform {

using posix::retryOnInterrupt;

namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

int syncDirectoryOf(const std::string& path) {
  std::string directory = directoryName(path);
  if (directory.empty()) directory = ".";
  const int fd = retryOnInterrupt([&] { return ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

int writeAndSync(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = retryOnInterrupt([&] { return ::write(fd, contents.data(), contents.size()); });
    if (written < 0) return errno;
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return ::fsync(fd) == 0 ? 0 : errno;
}

}  // namespace

int replaceFileAtomically(const std::string& path, std::string_view contents) {
  static std::atomic<unsigned> sequence{0};
  const std::string temporary = path + std::string(kTemporaryMarker) + std::to_string(::getpid()) + "-" +
                                std::to_string(sequence.fetch_add(1));
  const int fd = retryOnInterrupt(
      [&] { return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644); });
  if (fd < 0) return errno;
  int error = writeAndSync(fd, contents);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }
  return syncDirectoryOf(path);
}

int removeFileDurably(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return errno;
  return syncDirectoryOf(path);
}

int makeDirectoryDurably(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return errno == EEXIST ? 0 : errno;
  return syncDirectoryOf(path);
}

bool isAtomicTemporaryName(std::string_view fileName) {
  return fileName.find(kTemporaryMarker) != std::string_view::npos;
}

}  // namespace platform
