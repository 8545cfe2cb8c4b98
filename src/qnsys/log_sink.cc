#include "qnsys/log_sink.h"

#include <atomic>
#include <cstdio>

#include "platform/file.h"

namespace qnsys {

namespace {

// One write per record, so concurrent writers never interleave inside a line.
void writeToStandardError(std::string_view bytes) { platform::writeStandardError(bytes); }

}  // namespace

LogSink::LogSink() { setThreshold(kDefaultLogLevel); }

LogSink& LogSink::process() {
  static LogSink* const sink = new LogSink;
  return *sink;
}

int LogSink::open(const std::string& path, LogLevel threshold, const LogRotation& rotation) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_.close();
  setThreshold(threshold);
  return path.empty() ? 0 : file_.open(path, rotation);
}

void LogSink::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  file_.close();
  setThreshold(kDefaultLogLevel);
}

bool LogSink::isEnabled(LogLevel level) {
  return std::atomic_ref<int>(*enabledFlag(level)).load(std::memory_order_relaxed) != 0;
}

void LogSink::write(LogLevel level, std::string_view facility, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Checked under the lock: a concurrent open() may just have changed it.
  if (!isEnabled(level)) return;
  writeRecord(formatRecord(platform::localTimeNow(), level, facility, text));
}

void LogSink::writeCritical(std::string_view facility, std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string record = formatRecord(platform::localTimeNow(), LogLevel::kFatal, facility, text);
  writeRecord(record);
  if (file_.isOpen()) writeToStandardError(record);
}

void LogSink::setThreshold(LogLevel threshold) {
  for (int level = 0; level < kLogLevelCount; ++level) {
    std::atomic_ref<int>(enabled_[level]).store(level <= static_cast<int>(threshold), std::memory_order_relaxed);
  }
}

void LogSink::writeRecord(const std::string& record) {
  if (file_.isOpen() && file_.write(record) == 0) return;
  writeToStandardError(record);
}

}  // namespace qnsys
