// The C exports of the log operations: reading the [qnsys] settings for
// QnLogOpen, formatting the printf-style texts, and handing records to the
// process's LogSink.
#include <cerrno>
#include <cstdarg>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/path.h"
#include "text/printf_format.h"
#include "qnsys/ini_session.h"
#include "qnsys/log_format.h"
#include "qnsys/log_rotation_settings.h"
#include "qnsys/log_sink.h"
#include "qnsys/qnsys.h"

namespace {

using qnsys::LogLevel;
using qnsys::LogSink;

constexpr const char* kSettingsSection = "qnsys";
constexpr const char* kOwnFacility = "qnsys";
constexpr const char* kCriticalFacility = "system";

void writeFormatted(LogLevel level, const char* facility, const char* format, std::va_list arguments)
    TRASVIK_PRINTF(3, 0);

void writeFormatted(LogLevel level, const char* facility, const char* format, std::va_list arguments) {
  LogSink& sink = LogSink::process();
  // Disabled levels cost no formatting.
  if (!sink.isEnabled(level)) return;
  sink.write(level, facility != nullptr ? facility : "", qnsys::formatText(format, arguments));
}

// The log file named by the INI file's "logfile" value, relative to the INI
// file's directory. Empty `path`: standard error.
struct LogFileChoice {
  std::string path;
  std::string shown;  // for the error record: the resolved or the written path
  int error = 0;      // ENAMETOOLONG when the path cannot be resolved
};

LogFileChoice chooseLogFile(const qnsys::OpenIni& ini) {
  LogFileChoice choice;
  const std::string* logfile = ini.file.find(kSettingsSection, "logfile");
  if (logfile == nullptr || logfile->empty()) return choice;
  const std::optional<std::string> resolved =
      platform::canonicalizePath(platform::joinPath(platform::directoryName(ini.path), *logfile));
  if (resolved) {
    choice.path = *resolved;
  } else {
    choice.error = ENAMETOOLONG;
  }
  choice.shown = resolved.value_or(*logfile);
  return choice;
}

// The log file's limits from the INI file's "logmaxsize" and "logkeep"
// values. A value that is no valid setting is replaced by the key's default,
// with a warning text, so that a typo never turns into "rotate at every
// record"; an empty value is an absent one.
struct RotationChoice {
  qnsys::LogRotation rotation;
  std::vector<std::string> warnings;
};

// Sets `target` from the value of `key` that `parse` accepts; a refused
// value leaves it, with a warning saying what is expected and what is done.
template <typename Value, typename Parse>
void chooseValue(const qnsys::OpenIni& ini, const char* key, Parse parse, Value& target, const std::string& expected,
                 const std::string& instead, std::vector<std::string>& warnings) {
  const std::string* text = ini.file.find(kSettingsSection, key);
  if (text == nullptr || text->empty()) return;
  if (const auto value = parse(*text)) {
    target = *value;
  } else {
    warnings.push_back("bad " + std::string(key) + " \"" + *text + "\" in [qnsys] of " + ini.path + " (" + expected +
                       "); " + instead);
  }
}

RotationChoice chooseRotation(const qnsys::OpenIni& ini) {
  RotationChoice choice;
  chooseValue(ini, "logmaxsize", qnsys::parseLogMaxSize, choice.rotation.maxBytes, "a whole number of MiB, 0: none",
              "not rotating", choice.warnings);
  chooseValue(ini, "logkeep", qnsys::parseLogKeep, choice.rotation.keep,
              "1 to " + std::to_string(qnsys::kMaxLogKeep), "keeping " + std::to_string(qnsys::kDefaultLogKeep),
              choice.warnings);
  return choice;
}

}  // namespace

// One exported function per level; the body is the same for all of them.
#define QNSYS_DEFINE_LOG_CALL_(name, level)                   \
  void name(const char* facility, const char* format, ...) {  \
    std::va_list arguments;                                   \
    va_start(arguments, format);                              \
    writeFormatted(level, facility, format, arguments);       \
    va_end(arguments);                                        \
  }

#define QNSYS_DEFINE_CHECKED_LOG_CALL_(name, level)           \
  int* name(const char* facility, const char* format, ...) {  \
    std::va_list arguments;                                   \
    va_start(arguments, format);                              \
    writeFormatted(level, facility, format, arguments);       \
    va_end(arguments);                                        \
    return LogSink::process().enabledFlag(level);             \
  }

extern "C" {

unsigned int QnLogOpen(int /*flags: reserved*/) {
  LogSink& sink = LogSink::process();
  const std::shared_ptr<const qnsys::OpenIni> ini = qnsys::currentIni();
  if (!ini) {
    sink.close();
    return QNERROR_NOT_OPEN;
  }

  const std::string* levelText = ini->file.find(kSettingsSection, "loglevel");
  const std::optional<LogLevel> configured = levelText != nullptr ? qnsys::parseLogLevel(*levelText) : std::nullopt;
  const LogLevel threshold = configured.value_or(qnsys::kDefaultLogLevel);

  const RotationChoice rotation = chooseRotation(*ini);
  LogFileChoice logFile = chooseLogFile(*ini);
  const int openError = sink.open(logFile.path, threshold, rotation.rotation);
  if (logFile.error == 0) logFile.error = openError;

  if (levelText != nullptr && !levelText->empty() && !configured) {
    sink.write(LogLevel::kWarning, kOwnFacility,
               "unknown loglevel \"" + *levelText + "\" in [qnsys] of " + ini->path + "; using info");
  }
  for (const std::string& warning : rotation.warnings) sink.write(LogLevel::kWarning, kOwnFacility, warning);
  if (logFile.error != 0) {
    sink.write(LogLevel::kError, kOwnFacility,
               "cannot open log file \"" + logFile.shown + "\" (errno " + std::to_string(logFile.error) +
                   "); logging to standard error");
    return QNERROR_LOG_OPEN_FAILED;
  }
  return 0;
}

void QnLogClose(void) { LogSink::process().close(); }

QNSYS_DEFINE_LOG_CALL_(QnLogInfoEx, LogLevel::kInfo)
QNSYS_DEFINE_LOG_CALL_(QnLogWarningEx, LogLevel::kWarning)
QNSYS_DEFINE_LOG_CALL_(QnLogErrorEx, LogLevel::kError)
QNSYS_DEFINE_LOG_CALL_(QnLogFatalEx, LogLevel::kFatal)
QNSYS_DEFINE_LOG_CALL_(QnLogDebugEx, LogLevel::kDebug)

int* QnLogDebugFlag(void) { return LogSink::process().enabledFlag(LogLevel::kDebug); }

QNSYS_DEFINE_CHECKED_LOG_CALL_(trcheckEx_QnLogInfoEx_, LogLevel::kInfo)
QNSYS_DEFINE_CHECKED_LOG_CALL_(trcheckEx_QnLogWarningEx_, LogLevel::kWarning)
QNSYS_DEFINE_CHECKED_LOG_CALL_(trcheckEx_QnLogErrorEx_, LogLevel::kError)
QNSYS_DEFINE_CHECKED_LOG_CALL_(trcheckEx_QnLogInfoEx_0, LogLevel::kInfo)

void QnSystemLogEx(int /*level*/, const char* title, int /*flags*/, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::string text = qnsys::formatText(format, arguments);
  va_end(arguments);
  if (title != nullptr && *title != '\0') {
    text = text.empty() ? std::string(title) : std::string(title) + " " + text;
  }
  LogSink::process().writeCritical(kCriticalFacility, text);
}

}  // extern "C"
