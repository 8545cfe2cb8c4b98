// Files: whole-file reads, append-only writers, moves and the file facts the
// system needs. Every function that can fail returns 0 on success or the
// errno value of the failing call (EINTR is retried inside). Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Reads the whole file into `contents`. A directory gives EISDIR.
// On failure `contents` is left empty.
int readWholeFile(const std::string& path, std::string& contents);

// Creates or truncates the file and writes `contents`, then flushes it to disk.
int writeWholeFile(const std::string& path, std::string_view contents);

// A file opened for appending. Each write() is one system call, so records
// written by concurrent writers of the same file never interleave.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens (creating with mode 0644) the file for appending; closes any file
  // opened before.
  int open(const std::string& path);
  // Writes the bytes with one write call (a short write is completed).
  int write(std::string_view bytes);
  // Flushes what was written to disk.
  int flushToDisk();
  void close();
  bool isOpen() const { return handle_ != kClosed; }

 private:
  // The system's handle of the open file: a descriptor, or a Windows
  // handle (whose invalid value is -1 as well).
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;
  // The path it was opened with, where the system cannot tell a handle's
  // path (injected faults are matched against it).
  [[maybe_unused]] std::string path_;
};

// Writes the bytes to standard error with one write call (a short write is
// completed), so records of concurrent writers stay whole.
int writeStandardError(std::string_view bytes);

// From now on, what the process writes to standard error goes to standard
// output, where a caller that reads only that sees it in order.
void sendStandardErrorToOutput();

enum class FileKind { kMissing, kRegular, kDirectory, kOther };

struct FileFacts {
  FileKind kind = FileKind::kMissing;
  std::uint64_t size = 0;
  bool writable = false;      // some write bit is set in the mode
  std::int64_t modified = 0;  // seconds since the epoch
  std::int64_t modifiedNanoseconds = 0;  // the same instant in nanoseconds, as finely as the file system keeps it
};

// Facts about the path after following links. A missing path gives kind
// kMissing and returns the errno (ENOENT for a plain absence).
int fileFacts(const std::string& path, FileFacts& facts);

// 0 when this process may read the regular file at `path`, opened as a
// reader would open it but without following a symbolic link in its last
// component (ELOOP for a link, EINVAL for a file that is no regular file);
// else the errno of the refusal.
int checkReadable(const std::string& path);

// 0 when files can be made in and removed from the directory `directory`
// (ending in a separator): a hidden probe file is created there and removed
// again. Else the errno of the refusal (EROFS, EACCES, ...).
int probeDirectoryForFiles(const std::string& directory);

// Marks a file that is still being written so that programs listing its
// directory pass over it: on Windows, where a leading dot hides nothing,
// the hidden and temporary attributes; on POSIX nothing (such files are
// given names that begin with '.'). `marked` false takes the marks off
// again, before the file gets its final name. 0 or the errno.
int markFileInProgress(const std::string& path, bool marked);

// True iff something exists under exactly this name.
bool pathExists(const std::string& path);

int makeDirectory(const std::string& path);
int removeFile(const std::string& path);

// True for the errors a file operation meets when the volume it works on is
// a network share or mount that cannot be reached now (its server restarts,
// the connection dropped): errors of the network and of a stale handle, as
// the system gives them.
bool isNetworkVolumeError(int error);

// The bytes this process may still write on the volume of `directory`;
// nullopt when the system does not say. An injected "space" fault gives 0.
std::optional<std::uint64_t> freeBytesOn(const std::string& directory);

// Renames `from` to `to`; an existing `to` is never replaced (EEXIST), also
// not one that appears while the move runs: the rename refuses to replace,
// and where the file system cannot rename so, a hard link (which refuses as
// well) is made and the source unlinked. When they lie on different file
// systems the file is copied to a new file, flushed to disk and only then is
// the source removed; if any step fails the copy is removed again and the
// source is kept.
int moveFile(const std::string& from, const std::string& to);

// Flushes a file's bytes to disk, whichever process wrote them.
int flushFileToDisk(const std::string& path);

// Flushes a directory ("" is the current one), so that the names made or
// removed in it survive a crash of the machine.
int flushDirectoryToDisk(const std::string& directory);

// Copies a regular file's bytes to a new file (flushed to disk); an existing
// `to` gives EEXIST. On failure no copy is left. Used by moveFile and
// wherever a copy must not be mistaken for a completed one.
int copyFile(const std::string& from, const std::string& to);

// How many flushes to disk (fsync of a file or a directory) this process has
// made so far, failed ones included; injected failures make none. Lets a
// program report what durability costs it (dravont-service --stats).
std::uint64_t durableFlushCount();

}  // namespace platform
