#include "platform/random_access_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/posix_call.h"
#include "platform/posix_file_calls.h"

namespace platform {

using posix::retryOnInterrupt;

namespace {

// A lease holder gets SIGIO when another process opens the file while the
// lease is held; its default action would end the process. The probe holds
// its lease only for an instant, so the signal carries nothing to act on.
void ignoreLeaseBreakSignal() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGIO, SIG_IGN); });
}

// A read lease is refused (EAGAIN) exactly while some descriptor of the file
// is open for writing: a precise test for "someone is still writing it".
// Where leases are unavailable (a file of another owner without CAP_LEASE, a
// file system without leases) the file counts as not being written.
int refuseIfWritten(int fd) {
  ignoreLeaseBreakSignal();
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK ? EBUSY : 0;
  }
  ::fcntl(fd, F_SETLEASE, F_UNLCK);
  return 0;
}

}  // namespace

int RandomAccessFile::open(const std::string& path, const FileOpenMode& mode, std::unique_ptr<RandomAccessFile>& file) {
  file.reset();
  if (mode.refuseWhileWritten && (mode.write || !mode.read)) return EINVAL;
  if (mode.exclusive || mode.keepName) return EINVAL;
  // Non-blocking while opening, so a FIFO or a device cannot stall the open;
  // regular files are then used with ordinary blocking calls.
  int flags = O_CLOEXEC | O_NONBLOCK;
  if (mode.read && mode.write) {
    flags |= O_RDWR;
  } else if (mode.write) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (mode.create) flags |= O_CREAT;
  if (mode.truncate) flags |= O_TRUNC;
  const int fd = posix::openFile(path, flags, 0644);
  if (fd < 0) return errno;
  std::unique_ptr<RandomAccessFile> opened(new RandomAccessFile(fd));
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return ENODEV;
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return errno;
  if (mode.refuseWhileWritten) {
    if (int error = refuseIfWritten(fd)) return error;
  }
  file = std::move(opened);
  return 0;
}

RandomAccessFile::~RandomAccessFile() { ::close(fd()); }

int RandomAccessFile::readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = retryOnInterrupt(
        [&] { return ::pread(fd(), buffer + got, size - got, static_cast<off_t>(offset + got)); });
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

int RandomAccessFile::writeAt(std::uint64_t offset, std::string_view bytes) {
  return posix::writeAllAt(fd(), offset, bytes);
}

int RandomAccessFile::size(std::uint64_t& bytes) const {
  struct stat info {};
  if (::fstat(fd(), &info) != 0) return errno;
  bytes = static_cast<std::uint64_t>(info.st_size);
  return 0;
}

int RandomAccessFile::sync() { return posix::syncFile(fd()); }

}  // namespace platform
