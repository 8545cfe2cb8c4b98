#include "qnsys/rotating_log_file.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "qnsys/log_format.h"

namespace qnsys {

namespace {

// A failed rotation is tried again after the file has grown by this part of
// the limit: often enough to bound the overshoot, seldom enough that a file
// held for long costs few renames.
constexpr std::uint64_t kRetryFraction = 16;

// The library's own records, here written straight to standard error: the
// log file is the one in trouble.
void warnOnStandardError(const std::string& text) {
  platform::writeStandardError(formatRecord(platform::localTimeNow(), LogLevel::kWarning, "qnsys", text));
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

int RotatingLogFile::open(const std::string& path, const LogRotation& rotation) {
  path_ = path;
  rotation_ = rotation;
  nextTrySize_ = 0;
  failureReported_ = false;
  return reopen();
}

void RotatingLogFile::close() { file_.close(); }

int RotatingLogFile::reopen() {
  if (const int error = file_.open(path_)) return error;
  // Without the size (a failure the open just made unlikely) the count
  // starts at 0, and the file is rotated at most one limit late.
  platform::FileFacts facts;
  size_ = platform::fileFacts(path_, facts) == 0 ? facts.size : 0;
  return 0;
}

int RotatingLogFile::write(std::string_view record) {
  if (rotationDue(record.size())) rotate();
  if (const int error = file_.write(record)) return error;
  size_ += record.size();
  return 0;
}

bool RotatingLogFile::rotationDue(std::size_t recordSize) const {
  // An empty file takes even a record longer than the limit: rotating it
  // would only make an empty old file.
  return rotation_.maxBytes != 0 && file_.isOpen() && size_ != 0 && size_ + recordSize > rotation_.maxBytes &&
         size_ >= nextTrySize_;
}

void RotatingLogFile::rotate() {
  // Closed first: Windows renames no file that is open without sharing.
  file_.close();
  std::string failedStep;
  const int shiftError = shiftOldFiles(failedStep);
  if (shiftError == 0) {
    nextTrySize_ = 0;
    failureReported_ = false;
  } else {
    nextTrySize_ = size_ + std::max<std::uint64_t>(rotation_.maxBytes / kRetryFraction, 1);
  }
  // A new file after a rotation, the same one after a failed rotation.
  if (const int error = reopen()) {
    warnOnStandardError("cannot open the log file " + quoted(path_) + " again (errno " + std::to_string(error) +
                        "); logging to standard error");
    return;
  }
  if (shiftError == 0 || failureReported_) return;
  failureReported_ = true;
  // The file it writes on to takes the warning: a service has no standard
  // error, and an administrator reads the log.
  const std::string record =
      formatRecord(platform::localTimeNow(), LogLevel::kWarning, "qnsys",
                   "cannot rotate the log file " + quoted(path_) + ": " + failedStep + " failed (errno " +
                       std::to_string(shiftError) + "); writing on to it and trying again later");
  if (file_.write(record) == 0) {
    size_ += record.size();
  } else {
    platform::writeStandardError(record);
  }
}

int RotatingLogFile::shiftOldFiles(std::string& failedStep) {
  // The first free number: only the files below it move up. A rotation that
  // failed half-way left such a gap, and filling it drops no old file.
  unsigned free = 1;
  while (free <= rotation_.keep && platform::pathExists(numbered(free))) ++free;
  if (free > rotation_.keep) {
    free = rotation_.keep;
    const int error = platform::removeFile(numbered(free));
    if (error != 0 && error != ENOENT) {
      failedStep = "removing " + quoted(numbered(free));
      return error;
    }
  }
  for (unsigned number = free; number >= 1; --number) {
    const std::string from = number == 1 ? path_ : numbered(number - 1);
    // ENOENT: the file is gone already (removed by hand), which frees its
    // number all the same.
    const int error = platform::moveFile(from, numbered(number));
    if (error != 0 && error != ENOENT) {
      failedStep = "renaming " + quoted(from) + " to " + quoted(numbered(number));
      return error;
    }
  }
  return 0;
}

std::string RotatingLogFile::numbered(unsigned number) const { return path_ + "." + std::to_string(number); }

}  // namespace qnsys
