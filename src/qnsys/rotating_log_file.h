// The log file a LogSink writes: a file opened for appending that, when a
// size limit is set, is rotated before a record would take it past the
// limit. Rotation closes the file, drops NAME.<keep>, renames NAME.<k> to
// NAME.<k+1> down to NAME to NAME.1 (the newest old file is .1) and opens a
// new NAME. Records are never split between two files.
//
// The size is counted, not asked for at each record: the file's size when it
// was opened plus the bytes written since. So this process is assumed to be
// the file's only writer. Not thread-safe: LogSink calls it under its mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "qnsys/log_rotation_settings.h"

namespace qnsys {

class RotatingLogFile {
 public:
  // Opens `path` for appending (closing any file opened before) with the
  // limits of `rotation`. Returns 0 or the errno of opening; on failure the
  // file is closed.
  int open(const std::string& path, const LogRotation& rotation);
  void close();
  bool isOpen() const { return file_.isOpen(); }

  // Appends `record` in one write, after rotating the file when the record
  // would take it past the limit. A rotation that fails (on Windows: another
  // program holds one of the files) leaves every record where it was, is
  // reported once on standard error, and is tried again when the file has
  // grown by another sixteenth of the limit; records go on into the current
  // file meanwhile. Returns 0 or the errno of the write (EBADF when no file
  // is open, also when the new file could not be opened after a rotation).
  int write(std::string_view record);

 private:
  // Opens path_ again and takes its size.
  int reopen();
  bool rotationDue(std::size_t recordSize) const;
  void rotate();
  // Frees the name NAME.1 by moving the old files up by one. Returns 0, or
  // the errno of the step that failed, described in `failedStep`.
  int shiftOldFiles(std::string& failedStep);
  std::string numbered(unsigned number) const;

  platform::AppendFile file_;
  std::string path_;
  LogRotation rotation_;
  std::uint64_t size_ = 0;
  // After a failed rotation: the size the file must reach before the next try.
  std::uint64_t nextTrySize_ = 0;
  bool failureReported_ = false;  // since the last rotation that succeeded
};

}  // namespace qnsys
