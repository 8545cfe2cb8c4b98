// The converter's file logger. A record is composed in memory by a FILELog
// object and handed to the output policy in one piece when the object is
// destroyed. Output2FILE writes records to logStream(), a C stream that is
// standard error until the converter opens its log file.
//
// Thread-safety: reportingLevel() and logStream() are process-wide and
// unguarded (the converter's caller never enters it from two threads at
// once); each record is written by one fprintf followed by fflush.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

namespace dravontaux64 {

enum class LogLevel : int { kError = 0, kWarning, kInfo, kDebug, kDebug1, kDebug2, kDebug3, kDebug4 };

// The current time of day as "HH:MM:SS.mmm", where mmm counts milliseconds
// since the first successful call in this process, modulo 1000. "Error in
// NowTime()" when the clock cannot be formatted.
std::string NowTime();

// Writes completed records to a C stream. Line feeds are written as CR LF,
// the line end of the platform the log format comes from.
class Output2FILE {
 public:
  // The destination; nullptr means records are dropped. Not owned here: the
  // converter that opened the file closes it.
  static std::FILE*& logStream();
  static void output(const std::string& record);
};

template <typename OutputPolicy>
class Log {
 public:
  Log() = default;
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  // Completes the record: a line end, then one write through the policy.
  ~Log() {
    text_ << '\n';
    OutputPolicy::output(text_.str());
  }

  // Starts the record ("- time LEVEL: ") and returns the stream that takes
  // the message text.
  std::ostringstream& get(LogLevel level) {
    text_ << "- " << NowTime() << ' ' << toString(level) << ": ";
    return text_;
  }

  // Records above this level are not written. Starts at kDebug4.
  static LogLevel& reportingLevel() {
    static LogLevel level = LogLevel::kDebug4;
    return level;
  }

  static const char* toString(LogLevel level) {
    static const char* const kNames[] = {"ERROR", "WARNING", "INFO", "DEBUG", "DEBUG1", "DEBUG2", "DEBUG3", "DEBUG4"};
    const int index = static_cast<int>(level);
    return index >= 0 && index <= static_cast<int>(LogLevel::kDebug4) ? kNames[index] : "UNKNOWN";
  }

  // The level a caller names: exactly "error", "warning" or "debug";
  // any other text (other letter cases included) is kInfo.
  static LogLevel fromString(const std::string& name) {
    if (name == "error") return LogLevel::kError;
    if (name == "warning") return LogLevel::kWarning;
    if (name == "debug") return LogLevel::kDebug;
    return LogLevel::kInfo;
  }

 private:
  std::ostringstream text_;
};

using FILELog = Log<Output2FILE>;

// True iff a record of `level` would be written now.
inline bool isLogged(LogLevel level) {
  return level <= FILELog::reportingLevel() && Output2FILE::logStream() != nullptr;
}

}  // namespace dravontaux64

// Starts a record of `level` when it would be written; otherwise the message
// expression is not even evaluated.
#define FILE_LOG(level)                      \
  if (!::dravontaux64::isLogged(level)) {    \
  } else                                     \
    ::dravontaux64::FILELog().get(level)
