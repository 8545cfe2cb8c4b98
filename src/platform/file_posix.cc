#include "platform/file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/posix_call.h"
#include "platform/posix_file_calls.h"

namespace platform {

using posix::retryOnInterrupt;

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports a failed close (a deferred write error).
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

}  // namespace

int flushFileToDisk(const std::string& path) {
  FileDescriptor file(posix::openFile(path, O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return errno;
  if (const int error = posix::syncFile(file.get())) return error;
  return file.close();
}

int flushDirectoryToDisk(const std::string& directory) { return posix::syncDirectory(directory); }

int readWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  FileDescriptor file(posix::openFile(path, O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return errno;
  struct stat facts {};
  if (::fstat(file.get(), &facts) != 0) return errno;
  if (S_ISDIR(facts.st_mode)) return EISDIR;
  std::string buffer;
  if (facts.st_size > 0) buffer.reserve(static_cast<std::size_t>(facts.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = retryOnInterrupt([&] { return ::read(file.get(), chunk, sizeof chunk); });
    if (got < 0) return errno;
    if (got == 0) break;
    buffer.append(chunk, static_cast<std::size_t>(got));
  }
  contents.swap(buffer);
  return 0;
}

int writeWholeFile(const std::string& path, std::string_view contents) {
  FileDescriptor file(posix::openFile(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (file.get() < 0) return errno;
  if (int error = posix::writeAll(file.get(), contents)) return error;
  if (int error = posix::syncFile(file.get())) return error;
  return file.close();
}

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const std::string& path) {
  close();
  const int fd = posix::openFile(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  handle_ = fd;
  return 0;
}

int AppendFile::write(std::string_view bytes) {
  if (!isOpen()) return EBADF;
  return posix::writeAll(static_cast<int>(handle_), bytes);
}

int AppendFile::flushToDisk() { return isOpen() ? posix::syncFile(static_cast<int>(handle_)) : EBADF; }

void AppendFile::close() {
  if (isOpen()) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

int writeStandardError(std::string_view bytes) { return posix::writeAllToStream(STDERR_FILENO, bytes); }

void sendStandardErrorToOutput() { ::dup2(STDOUT_FILENO, STDERR_FILENO); }

int fileFacts(const std::string& path, FileFacts& facts) {
  facts = FileFacts{};
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno;
  if (S_ISREG(info.st_mode)) {
    facts.kind = FileKind::kRegular;
  } else if (S_ISDIR(info.st_mode)) {
    facts.kind = FileKind::kDirectory;
  } else {
    facts.kind = FileKind::kOther;
  }
  facts.size = static_cast<std::uint64_t>(info.st_size);
  facts.writable = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  facts.modified = static_cast<std::int64_t>(info.st_mtime);
  facts.modifiedNanoseconds = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return 0;
}

int checkReadable(const std::string& path) {
  // Non-blocking, so that a FIFO cannot hold the caller.
  const int fd = posix::openFile(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  const int error = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
  ::close(fd);
  return error;
}

int probeDirectoryForFiles(const std::string& directory) {
  // One name for every prober: a probe a crash left behind is taken up and
  // removed by the next, and one that another prober removed first is fine.
  const std::string probe = directory + ".trasvik-probe";
  const int fd = posix::openFile(probe, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return errno;
  ::close(fd);
  const int error = posix::unlinkFile(probe);
  return error == ENOENT ? 0 : error;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

int makeDirectory(const std::string& path) { return posix::makeDirectory(path, 0777); }

int removeFile(const std::string& path) { return posix::unlinkFile(path); }

int markFileInProgress(const std::string&, bool) { return 0; }

int copyFile(const std::string& from, const std::string& to) {
  FileDescriptor source(posix::openFile(from, O_RDONLY | O_CLOEXEC));
  if (source.get() < 0) return errno;
  struct stat info {};
  if (::fstat(source.get(), &info) != 0) return errno;
  // O_EXCL: an existing target is never replaced, also not one that appears
  // while a move copies.
  FileDescriptor target(posix::openFile(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
  if (target.get() < 0) return errno;
  int error = 0;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t got = retryOnInterrupt([&] { return ::read(source.get(), chunk, sizeof chunk); });
    if (got < 0) {
      error = errno;
      break;
    }
    if (got == 0) break;
    if ((error = posix::writeAll(target.get(), std::string_view(chunk, static_cast<std::size_t>(got))))) break;
  }
  if (!error) error = posix::syncFile(target.get());
  const int closeError = target.close();
  if (!error) error = closeError;
  if (error) posix::unlinkFile(to);
  return error;
}

// The last step of a move that made a second name (link or copy) for the
// file: removes the source, or, when that fails, the new name again, so the
// file is left where it was.
static int unlinkSourceOrUndo(const std::string& from, const std::string& to) {
  const int error = posix::unlinkFile(from);
  if (error) posix::unlinkFile(to);
  return error;
}

// rename() that refuses to replace an existing target, as a move must never
// destroy a file that is already there.
static int renameNoReplace(const std::string& from, const std::string& to) {
  const int renameError = posix::renameFile(from, to, RENAME_NOREPLACE);
  if (renameError != EINVAL && renameError != ENOSYS) return renameError;
  // The file system cannot do it atomically: link fails with EEXIST on an
  // existing target, so link and unlink keep the no-replace guarantee.
  if (int error = posix::linkFile(from, to)) return error;
  return unlinkSourceOrUndo(from, to);
}

int moveFile(const std::string& from, const std::string& to) {
  const int renameError = renameNoReplace(from, to);
  if (renameError != EXDEV) return renameError;
  if (int error = copyFile(from, to)) return error;
  return unlinkSourceOrUndo(from, to);
}

std::optional<std::uint64_t> freeBytesOn(const std::string& directory) {
  if (injectedFileError(FileOperation::kSpace, directory) != 0) return 0;
  struct statvfs facts {};
  if (::statvfs(directory.c_str(), &facts) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(facts.f_bavail) * facts.f_frsize;
}

bool isNetworkVolumeError(int error) {
  switch (error) {
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
    case ECONNABORTED:
    case ECONNRESET:
    case ETIMEDOUT:
      return true;
    default:
      return false;
  }
}

}  // namespace platform
