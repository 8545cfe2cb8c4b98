#include "platform/file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_call.h"

namespace platform {

using posix::retryOnInterrupt;

namespace {

// Writes every byte, continuing after a short write.
int writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = retryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written < 0) return errno;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

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

int readWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  FileDescriptor file(retryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
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
  FileDescriptor file(
      retryOnInterrupt([&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }));
  if (file.get() < 0) return errno;
  if (int error = writeAll(file.get(), contents)) return error;
  if (::fsync(file.get()) != 0) return errno;
  return file.close();
}

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const std::string& path) {
  close();
  fd_ = retryOnInterrupt([&] { return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644); });
  return fd_ < 0 ? errno : 0;
}

int AppendFile::write(std::string_view bytes) {
  if (fd_ < 0) return EBADF;
  return writeAll(fd_, bytes);
}

void AppendFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int writeStandardError(std::string_view bytes) { return writeAll(STDERR_FILENO, bytes); }

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
  return 0;
}

bool pathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

int makeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno; }

int removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int copyFile(const std::string& from, const std::string& to) {
  FileDescriptor source(retryOnInterrupt([&] { return ::open(from.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (source.get() < 0) return errno;
  struct stat info {};
  if (::fstat(source.get(), &info) != 0) return errno;
  FileDescriptor target(retryOnInterrupt(
      [&] { return ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777); }));
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
    if ((error = writeAll(target.get(), std::string_view(chunk, static_cast<std::size_t>(got))))) break;
  }
  if (!error && ::fsync(target.get()) != 0) error = errno;
  const int closeError = target.close();
  if (!error) error = closeError;
  if (error) ::unlink(to.c_str());
  return error;
}

// rename() that refuses to replace an existing target, as a move must never
// destroy a file that is already there.
static int renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot do it atomically: link and unlink keep the same
  // no-replace guarantee for files.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

int moveFile(const std::string& from, const std::string& to) {
  const int renameError = renameNoReplace(from, to);
  if (renameError != EXDEV) return renameError;
  if (int error = copyFile(from, to)) return error;
  if (::unlink(from.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    return error;
  }
  return 0;
}

}  // namespace platform
