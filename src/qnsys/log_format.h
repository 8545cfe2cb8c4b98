// Log levels and the text of one record. Pure functions; thread-safe.
#pragma once

#include "text/printf_format.h"

#include <cstdarg>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace qnsys {

// Lower values are more severe. A threshold enables its level and every more
// severe one.
enum class LogLevel : int { kFatal = 0, kError, kWarning, kInfo, kDebug };
inline constexpr int kLogLevelCount = 5;

// "FATAL", "ERROR", "WARNING", "INFO" or "DEBUG".
const char* levelWord(LogLevel level);

// The level named by a word of any letter case; nullopt for other words.
std::optional<LogLevel> parseLogLevel(std::string_view word);

// vsnprintf into a buffer that grows to the full length, so no text is cut.
// A NULL format gives "". When the C library cannot format (an encoding
// error), the format itself is returned so the record is not lost.
std::string formatText(const char* format, std::va_list arguments) TRASVIK_PRINTF(1, 0);

// One record: "YYYY-MM-DD HH:MM:SS.mmm LEVEL facility: text\n". An empty
// facility leaves out "facility: ". Trailing CR and LF bytes of the text are
// dropped; inner line breaks are kept.
std::string formatRecord(const platform::LocalTime& time, LogLevel level, std::string_view facility,
                         std::string_view text);

}  // namespace qnsys
