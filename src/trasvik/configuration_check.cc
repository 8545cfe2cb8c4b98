#include "trasvik/configuration_check.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <system_error>

#include "platform/file.h"
#include "platform/file_lock.h"
#include "platform/path.h"
#include "qnsys/log_rotation_settings.h"
#include "qnsys/qnsys.h"
#include "text/ascii.h"
#include "text/declared_encoding.h"
#include "text/printf_format.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_encoding.h"
#include "trasvik/ini_lint.h"
#include "trasvik/ini_values.h"
#include "trasvik/instance_lock.h"
#include "trasvik/service_mode.h"
#include "trasvik/session.h"
#include "trasvik/session_start.h"
#include "trasvik/supervision.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"

namespace trasvik {

namespace {

void say(const char* format, ...) TRASVIK_PRINTF(1, 2);

// One line on standard output, in order with the log records that go there
// too.
void say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::printf("\n");
  std::fflush(stdout);
}

std::string errorText(int error) { return std::generic_category().message(error); }

bool isLogLevel(const std::string& word) {
  for (const char* known : {"fatal", "error", "warning", "info", "debug"}) {
    if (text::equalsIgnoringAsciiCase(word, known)) return true;
  }
  return false;
}

// The [qnsys] values the host library replaces by their defaults, each with
// the default it uses. Returns how many were found.
unsigned reportLogSettings() {
  unsigned warnings = 0;
  const std::string level = iniText("qnsys", "loglevel", 256);
  if (!level.empty() && !isLogLevel(level)) {
    say("Warning: [qnsys]:loglevel \"%s\" is no level (fatal, error, warning, info, debug): info is used",
        level.c_str());
    ++warnings;
  }
  const std::string maxSize = iniText("qnsys", "logmaxsize", 256);
  if (!maxSize.empty() && !qnsys::parseLogMaxSize(maxSize)) {
    say("Warning: [qnsys]:logmaxsize \"%s\" is no whole number of MiB: the log file is not rotated",
        maxSize.c_str());
    ++warnings;
  }
  const std::string keep = iniText("qnsys", "logkeep", 256);
  if (!keep.empty() && !qnsys::parseLogKeep(keep)) {
    say("Warning: [qnsys]:logkeep \"%s\" is no number from 1 to %u: %u old log files are kept", keep.c_str(),
        qnsys::kMaxLogKeep, qnsys::kDefaultLogKeep);
    ++warnings;
  }
  return warnings;
}

// The INI file's text, read as the host library reads it. Its findings are
// warnings: the gateway starts with them.
unsigned reportTextFindings(const std::string& iniPath) {
  std::string contents;
  if (const int error = platform::readWholeFile(iniPath, contents); error != 0) {
    say("Warning: can't read \"%s\" to check its text: %s", iniPath.c_str(), errorText(error).c_str());
    return 1;
  }
  if (const std::string encoding = iniEncodingName(); !encoding.empty()) say("INI file read as %s", encoding.c_str());
  // UTF-16 is linted as the host library reads it, in UTF-8.
  const std::vector<std::string> findings = lintIniText(text::readDeclaredText(contents).text);
  for (const std::string& finding : findings) say("Warning: %s", finding.c_str());
  return static_cast<unsigned>(findings.size()) + reportLogSettings();
}

// The log file can be written, tried without making it: a check run by
// another user (root, say) must not leave a log file the gateway's own
// user cannot write. False after the reason was printed.
bool logFileOpens() {
  const std::string logfile = iniText("qnsys", "logfile", 1024);
  if (logfile.empty()) return true;  // standard error
  // Taken from the INI file's directory, as the host library takes it.
  const std::string path = platform::joinPath(platform::directoryName(iniFileName()), logfile);
  int error = 0;
  if (platform::pathExists(path)) {
    platform::AppendFile file;
    error = file.open(path);
  } else {
    const std::string directory = platform::directoryName(path);
    error = platform::probeDirectoryForFiles(platform::withTrailingSeparator(directory.empty() ? "." : directory));
  }
  if (error != 0) {
    say("Can't open LOG file \"%s\", %s", path.c_str(), errorText(error).c_str());
    return false;
  }
  say("Log file: \"%s\"", path.c_str());
  return true;
}

// No other gateway runs with this INI file, and the state file can be
// read and replaced. False after the reason was printed.
bool stateIsFree(const CommandLine& commandLine) {
  const auto [path, formerPath, none] = stateFileSetting(commandLine.ini);
  int error = 0;
  std::string holder;
  const std::string lockPath = instanceLockPath(path);
  // Without a lock file no gateway holds it; the check makes no file.
  if (platform::pathExists(lockPath) && !platform::ExclusiveFileLock::tryAcquire(lockPath, error, {}, &holder)) {
    say("%s", lockRefusal(lockPath, error, holder).c_str());
    return false;
  }
  if (none) return true;
  if (platform::pathExists(path) && (error = platform::checkReadable(path)) != 0) {
    say("Can't read state file \"%s\", %s", path.c_str(), errorText(error).c_str());
    return false;
  }
  const std::string parent = platform::directoryName(path);
  const std::string directory = platform::withTrailingSeparator(parent.empty() ? "." : parent);
  if ((error = platform::probeDirectoryForFiles(directory)) != 0) {
    say("The state file's directory \"%s\" takes no new files: %s", directory.c_str(), errorText(error).c_str());
    return false;
  }
  say("State file: \"%s\"", path.c_str());
  return true;
}

// Every directory the rules write to or move out of takes new files. False
// after each one that does not was printed.
bool directoriesTakeFiles(const RuleList& rules) {
  bool allTake = true;
  auto check = [&](const std::string& owner, const char* key, const std::string& directory) {
    if (directory.empty()) return;
    if (const int error = platform::probeDirectoryForFiles(directory); error != 0) {
      say("%s:%s \"%s\" takes no new files: %s", owner.c_str(), key, directory.c_str(), errorText(error).c_str());
      allTake = false;
    }
  };
  check("[trasvik]", "sent", settings().sent);
  check("[trasvik]", "error", settings().error);
  for (const std::unique_ptr<Rule>& rule : rules) {
    const std::string owner = "[" + rule->name + "]";
    check(owner, "in", rule->in);
    check(owner, "out", rule->out);
    check(owner, "sent", rule->sent);
  }
  return allTake;
}

// The service session's start as the gateway makes it, only looking.
bool sessionStarts() {
  // A service that is not there is said once, at once: the session's own
  // tries would print each failed connection and wait out its pauses.
  if (const std::string reason = serviceUnreachableReason(); !reason.empty()) {
    QnIniClose();
    // A supervised gateway waits for the service: its absence (a boot that
    // starts the gateway first) is no reason to refuse the start. What only
    // a session shows is checked by the gateway once the service is there.
    if (supervised()) {
      say("The service at %s is not reachable: %s; the supervised gateway waits for it, and checks its rules and "
          "directories then",
          serviceAddressText().c_str(), reason.c_str());
      return true;
    }
    say("The service at %s is not reachable: %s; start it before the gateway (XMLRPCPORT names its port)",
        serviceAddressText().c_str(), reason.c_str());
    return false;
  }
  settings().checkOnly = true;
  RuleList rules;
  bool unknownAddress = false;
  observeFatalRecords([&](const std::string& text) {
    unknownAddress = unknownAddress || text.find("Unknown address ") != std::string::npos;
  });
  try {
    const bool started = startSession(rules);
    observeFatalRecords(nullptr);
    if (unknownAddress) {
      say("The service knows no participant of that address. A participant becomes known to the service when its "
          "gateway first opens a session with it; the stand-in dravont-service also knows those its store's "
          "addressbook.ini lists ([addresses], ADDRESS=1; see service.md)");
    }
    if (!started) return false;  // reported; INI file closed
  } catch (const ContextError&) {
    observeFatalRecords(nullptr);
    say("The service session was lost during the check");
    QnIniClose();
    return false;
  }
  const bool directoriesTake = directoriesTakeFiles(rules);
  say("%zu rule(s) set up, the main rule [%s] last", rules.size(), rules.back()->name.c_str());
  rules.clear();
  releaseSession();
  QnIniClose();
  return directoriesTake;
}

}  // namespace

// Values the ANSI code page cannot write stop the gateway at its start.
bool iniTextsWritable() {
  const std::vector<std::string> refused = iniTextsRefused();
  for (const std::string& text : refused) say("%s", text.c_str());
  return refused.empty();
}

int checkConfiguration(const CommandLine& commandLine) {
  platform::sendStandardErrorToOutput();
  say("Trasvik %s: checking \"%s\"", TRASVIK_VERSION, commandLine.ini.c_str());
  const unsigned warnings = reportTextFindings(commandLine.ini);
  bool starts = iniTextsWritable();
  starts = logFileOpens() && starts;
  starts = stateIsFree(commandLine) && starts;
  if (const std::string service = serviceCheckText(commandLine); !service.empty()) say("%s", service.c_str());
  say("The service is looked for at %s (XMLRPCPORT)", serviceAddressText().c_str());
  if (starts) {
    starts = sessionStarts();
  } else {
    QnIniClose();
  }
  say("%s (%u warning(s) about the INI file's text)", starts ? "The gateway would start" : "The gateway would NOT start",
      warnings);
  return starts ? 0 : kFailureExitStatus;
}

}  // namespace trasvik
