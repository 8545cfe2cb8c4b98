#include "qnsys/log_format.h"

#include <array>
#include <cstdio>

#include "text/ascii.h"

namespace qnsys {

namespace {

constexpr std::array<const char*, kLogLevelCount> kLevelWords = {"FATAL", "ERROR", "WARNING", "INFO", "DEBUG"};

}  // namespace

const char* levelWord(LogLevel level) { return kLevelWords[static_cast<std::size_t>(level)]; }

std::optional<LogLevel> parseLogLevel(std::string_view word) {
  for (int level = 0; level < kLogLevelCount; ++level) {
    if (text::equalsIgnoringAsciiCase(word, kLevelWords[static_cast<std::size_t>(level)])) {
      return static_cast<LogLevel>(level);
    }
  }
  return std::nullopt;
}

std::string formatText(const char* format, std::va_list arguments) {
  if (format == nullptr) return {};
  char firstTry[1024];
  std::va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(firstTry, sizeof firstTry, format, copy);
  va_end(copy);
  if (length < 0) return format;
  const auto size = static_cast<std::size_t>(length);
  if (size < sizeof firstTry) return std::string(firstTry, size);

  // Second pass with room for the whole text; vsnprintf also writes the NUL
  // into the string's terminator position, which is allowed.
  std::string text(size, '\0');
  va_copy(copy, arguments);
  std::vsnprintf(text.data(), text.size() + 1, format, copy);
  va_end(copy);
  return text;
}

std::string formatRecord(const platform::LocalTime& time, LogLevel level, std::string_view facility,
                         std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);

  char milliseconds[8];
  std::snprintf(milliseconds, sizeof milliseconds, ".%03d", time.milliseconds % 1000);

  std::string record = platform::formatTime("%Y-%m-%d %H:%M:%S", time.calendar);
  record.reserve(record.size() + facility.size() + text.size() + 24);
  record += milliseconds;
  record += ' ';
  record += levelWord(level);
  record += ' ';
  if (!facility.empty()) {
    record += facility;
    record += ": ";
  }
  record += text;
  record += '\n';
  return record;
}

}  // namespace qnsys
