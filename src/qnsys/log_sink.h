// Where log records go and which levels are written: a log file opened for
// appending (rotated at a size limit when one is set), or standard error.
// Each record reaches its destination in one write. Thread-safe: one mutex
// guards the destination, its rotation and the threshold; the per-level
// flags are read atomically without it.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "qnsys/log_format.h"
#include "qnsys/log_rotation_settings.h"
#include "qnsys/rotating_log_file.h"

namespace qnsys {

inline constexpr LogLevel kDefaultLogLevel = LogLevel::kInfo;

class LogSink {
 public:
  // Starts on standard error at kDefaultLogLevel.
  LogSink();
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // The process's sink. Never destroyed, so its flags outlive every caller.
  static LogSink& process();

  // Switches to the file at `path` (or to standard error when `path` is
  // empty), rotated as `rotation` says, and to `threshold`. Returns 0 or the
  // errno of opening the file; on failure records go to standard error, at
  // `threshold`.
  int open(const std::string& path, LogLevel threshold, const LogRotation& rotation = {});

  // Back to standard error at kDefaultLogLevel.
  void close();

  // The level's flag: non-zero while the level is enabled. Valid as long as
  // the sink; access it through std::atomic_ref.
  int* enabledFlag(LogLevel level) { return &enabled_[static_cast<int>(level)]; }
  bool isEnabled(LogLevel level);

  // Writes one record when its level is enabled, rotating the log file
  // first when the record would take it past its limit. A record the log
  // file does not take (disk full) goes to standard error instead.
  void write(LogLevel level, std::string_view facility, std::string_view text);

  // Writes a FATAL record; when the destination is a file, to standard error
  // as well.
  void writeCritical(std::string_view facility, std::string_view text);

 private:
  void setThreshold(LogLevel threshold);  // mutex_ held
  void writeRecord(const std::string& record);  // mutex_ held

  std::mutex mutex_;
  RotatingLogFile file_;  // closed: standard error
  int enabled_[kLogLevelCount] = {};
};

}  // namespace qnsys
