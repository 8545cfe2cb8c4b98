#include "platform/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/path.h"
#include "platform/posix_file_calls.h"

namespace platform {

namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

int syncDirectoryOf(const std::string& path) { return posix::syncDirectory(directoryName(path)); }

int writeAndSync(int fd, std::string_view contents, bool durable) {
  if (int error = posix::writeAll(fd, contents)) return error;
  return durable ? posix::syncFile(fd) : 0;
}

}  // namespace

int replaceFileAtomically(const std::string& path, std::string_view contents, Durability durability) {
  const bool durable = durability == Durability::kDurable;
  static std::atomic<unsigned> sequence{0};
  const std::string temporary = path + std::string(kTemporaryMarker) + std::to_string(::getpid()) + "-" +
                                std::to_string(sequence.fetch_add(1));
  const int fd = posix::openFile(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  int error = writeAndSync(fd, contents, durable);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) error = posix::renameFile(temporary, path);
  if (error != 0) {
    posix::unlinkFile(temporary);
    return error;
  }
  return durable ? syncDirectoryOf(path) : 0;
}

int removeFileDurably(const std::string& path) {
  if (int error = posix::unlinkFile(path)) return error;
  return syncDirectoryOf(path);
}

int makeDirectoryDurably(const std::string& path) {
  if (int error = posix::makeDirectory(path, 0777)) return error == EEXIST ? 0 : error;
  return syncDirectoryOf(path);
}

bool isAtomicTemporaryName(std::string_view fileName) {
  return fileName.find(kTemporaryMarker) != std::string_view::npos;
}

}  // namespace platform
