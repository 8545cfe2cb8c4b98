#include "platform/posix_file_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>

#include "platform/file.h"
#include "platform/file_faults.h"
#include "platform/path.h"
#include "platform/posix_call.h"

namespace platform::posix {

namespace {

// The injected error for an operation on an open descriptor, matched against
// the path its file has now. The path is looked up only when some fault is
// configured, so normal runs pay nothing for it.
int injectedDescriptorError(FileOperation operation, int fd) {
  if (!fileFaultsConfigured()) return 0;
  char link[32] = "/proc/self/fd/";
  const std::size_t prefix = std::char_traits<char>::length(link);
  *std::to_chars(link + prefix, link + sizeof link - 1, fd).ptr = '\0';
  char target[kMaxPath];
  const ssize_t length = ::readlink(link, target, sizeof target);
  return injectedFileError(operation, std::string_view(target, length > 0 ? static_cast<std::size_t>(length) : 0));
}

// Turns the result of a call that reports through errno into 0 or the errno.
int errorOf(int result) { return result == 0 ? 0 : errno; }

// Every fsync of the process goes through syncFile: counted there.
std::atomic<std::uint64_t> flushCount{0};

}  // namespace

int openFile(const std::string& path, int flags, mode_t mode) {
  if (const int error = injectedFileError(FileOperation::kOpen, path)) {
    errno = error;
    return -1;
  }
  return retryOnInterrupt([&] { return ::open(path.c_str(), flags, mode); });
}

DIR* openDirectory(const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kOpen, path)) {
    errno = error;
    return nullptr;
  }
  return ::opendir(path.c_str());
}

int writeAllToStream(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int writeAll(int fd, std::string_view bytes) {
  if (const int error = injectedDescriptorError(FileOperation::kWrite, fd)) return error;
  return writeAllToStream(fd, bytes);
}

int writeAllAt(int fd, std::uint64_t offset, std::string_view bytes) {
  if (const int error = injectedDescriptorError(FileOperation::kWrite, fd)) return error;
  while (!bytes.empty()) {
    const ssize_t written = retryOnInterrupt(
        [&] { return ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)); });
    if (written < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += static_cast<std::uint64_t>(written);
  }
  return 0;
}

int syncFile(int fd) {
  if (const int error = injectedDescriptorError(FileOperation::kFsync, fd)) return error;
  flushCount.fetch_add(1, std::memory_order_relaxed);
  return errorOf(::fsync(fd));
}

int renameFile(const std::string& from, const std::string& to, unsigned flags) {
  if (const int error = injectedFileError(FileOperation::kRename, from, to)) return error;
  if (flags == 0) return errorOf(::rename(from.c_str(), to.c_str()));
  return errorOf(::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags));
}

int linkFile(const std::string& from, const std::string& to) {
  if (const int error = injectedFileError(FileOperation::kLink, from, to)) return error;
  return errorOf(::link(from.c_str(), to.c_str()));
}

int unlinkFile(const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kUnlink, path)) return error;
  return errorOf(::unlink(path.c_str()));
}

int makeDirectory(const std::string& path, mode_t mode) {
  if (const int error = injectedFileError(FileOperation::kMkdir, path)) return error;
  return errorOf(::mkdir(path.c_str(), mode));
}

int syncDirectory(const std::string& directory) {
  static const std::string kCurrentDirectory = ".";
  const int fd = openFile(directory.empty() ? kCurrentDirectory : directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = syncFile(fd);
  ::close(fd);
  return error;
}

}  // namespace platform::posix

namespace platform {

std::uint64_t durableFlushCount() { return posix::flushCount.load(std::memory_order_relaxed); }

}  // namespace platform
