// Files read and written at explicit byte offsets: the backing of the
// service's file streams. Each object owns one open descriptor. Functions
// that can fail return 0 or the errno of the failing call (EINTR is retried
// inside). Not synchronised: one object is used by one thread at a time;
// distinct objects may be used from distinct threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

struct FileOpenMode {
  bool read = true;
  bool write = false;
  bool create = false;    // create the file when it is missing
  bool truncate = false;  // empty an existing file
  // Only when no process (this one included) has the file open for writing;
  // otherwise the open fails with EBUSY. Needs `read` without `write`. The
  // open file can still be renamed and removed by others, as every file
  // opened here.
  bool refuseWhileWritten = false;
  // No other open of the file, by any process, succeeds while this one is
  // open: Windows' sharing mode "none", as programs that lock a document
  // open it. POSIX cannot refuse another open so: there it gives EINVAL.
  bool exclusive = false;
  // Others may read and write the file but not rename or remove it while
  // this open lasts: Windows' sharing without FILE_SHARE_DELETE, as
  // scanners and backup agents hold files. POSIX cannot: EINVAL.
  bool keepName = false;
};

class RandomAccessFile {
 public:
  // Opens `path`. A directory or another non-regular file gives EISDIR or
  // ENODEV (without waiting for a FIFO's other end). On failure `file` is
  // null.
  static int open(const std::string& path, const FileOpenMode& mode, std::unique_ptr<RandomAccessFile>& file);
  ~RandomAccessFile();  // closes the descriptor
  RandomAccessFile(const RandomAccessFile&) = delete;
  RandomAccessFile& operator=(const RandomAccessFile&) = delete;

  // Reads up to `size` bytes at `offset` into `buffer`, fewer only at the
  // end of the file; `got` holds the count read, also on failure.
  int readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t& got);
  // Writes all bytes at `offset`, growing the file as needed.
  int writeAt(std::uint64_t offset, std::string_view bytes);
  // The current size of the file.
  int size(std::uint64_t& bytes) const;
  // Flushes written bytes to the disk.
  int sync();

 private:
  // A descriptor, or a Windows handle.
  explicit RandomAccessFile(std::intptr_t handle) : handle_(handle) {}
  int fd() const { return static_cast<int>(handle_); }
  std::intptr_t handle_;
  [[maybe_unused]] std::string path_;  // where the system cannot tell a handle's path
};

}  // namespace platform
