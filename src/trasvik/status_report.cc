#include "trasvik/status_report.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/process_watch.h"
#include "qnsys/qnsys.h"
#include "rule/directory_scan.h"
#include "rule/outgoing_patterns.h"
#include "rule/rule.h"
#include "trasvik/ini_values.h"
#include "trasvik/instance_lock.h"
#include "trasvik/session.h"
#include "trasvik/session_start.h"
#include "trasvik/state_file.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

// The rule sections of the open INI file: the numbered ones in INI order,
// then the main rule.
std::vector<std::string> ruleSections() {
  std::vector<std::string> sections;
  QnIniCustEnumKeys(
      QNSYS_OPEN_INI, "rules",
      [](int, const char* key, const char* value, void* context) {
        if (isNumberedRuleKey(key)) static_cast<std::vector<std::string>*>(context)->push_back(value);
        return 0;
      },
      &sections);
  if (const std::string main = iniText("rules", "main", 64); !main.empty()) sections.push_back(main);
  return sections;
}

// The process id the lock file names, 0 when none.
int lockHolder(const std::string& lockPath) {
  std::string text;
  if (platform::readWholeFile(lockPath, text) != 0) return 0;
  return std::atoi(text.c_str());
}

bool processRuns(int processId) {
  if (processId <= 0) return false;
  const std::unique_ptr<platform::ProcessWatch> watch = platform::ProcessWatch::open(processId);
  return watch && !watch->ended();
}

void readGateway(StatusReport& report, const StateFileSetting& setting, long long sleepSeconds) {
  report.processId = lockHolder(instanceLockPath(setting.path));
  std::string text;
  GatewayStatus status;
  const bool statusRead = platform::readWholeFile(statusPathFor(setting.path), text) == 0 && parseStatus(text, status);
  if (statusRead) report.gateway = status;
  report.statusKnown = statusRead && status.processId == report.processId && report.processId != 0;
  report.hangBoundSeconds = statusStaleSeconds(sleepSeconds);
  report.running = processRuns(report.processId);
  report.hung = report.running && report.statusKnown && report.now - status.written > report.hangBoundSeconds;
}

// The files of `directory` that `pattern` takes and the rule would send.
void countWaiting(RuleStatus& rule, const std::string& pattern, std::uint64_t sizeLimit, std::int64_t now) {
  std::vector<platform::DirectoryEntry> entries;
  if (platform::scanDirectory(rule.outgoing, pattern, entries) != 0) rule.outgoingReadable = false;
  const PathLengthLimit pathLimit(rule.outgoing);
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory || skipReasonOf(entry, sizeLimit, pathLimit.tooLong(entry.name)).warning != nullptr) continue;
    ++rule.waitingFiles;
    rule.waitingBytes += entry.size;
    if (rule.kind == "UA") {
      // The envelope's data file goes with it.
      platform::FileFacts data;
      const std::string base = entry.name.substr(0, entry.name.size() - std::string(kEnvelopeExtension).size());
      if (platform::fileFacts(rule.outgoing + base + ".001", data) == 0) rule.waitingBytes += data.size;
    }
    const long long age = std::max<long long>(now - entry.modifiedSeconds, 0);
    rule.oldestWaitingAge = std::max(rule.oldestWaitingAge.value_or(0), age);
  }
}

void countErrors(RuleStatus& rule, std::int64_t now) {
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(rule.errorDirectory, "*", entries);
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    ++rule.errorFiles;
    const long long age = std::max<long long>(now - entry.modifiedSeconds, 0);
    rule.newestErrorAge = std::min(rule.newestErrorAge.value_or(age), age);
  }
}

RuleStatus ruleStatus(const std::string& section, const std::vector<std::string>& posted, std::int64_t now,
                      const std::vector<RuleActivity>& activity) {
  const char* s = section.c_str();
  RuleStatus rule;
  rule.name = section;
  rule.kind = ruleKindOf(section);
  const std::string out = iniText(s, "out", 256);
  if (!out.empty()) rule.outgoing = platform::withTrailingSeparator(out);
  const bool compatibilityFlag1 = (iniNumber(s, "compatibility_option", 1) & 2) != 0;
  if (rule.kind == "FILE") {
    std::string subdirectory = iniText("trasvik", "outFileError", 260, "err");
    if (!subdirectory.empty() && (subdirectory[0] == '/' || subdirectory[0] == '\\')) subdirectory.erase(0, 1);
    if (!rule.outgoing.empty()) rule.errorDirectory = platform::withTrailingSeparator(rule.outgoing + subdirectory);
  } else {
    const std::string error = iniText("trasvik", "error", 256);
    if (!error.empty()) rule.errorDirectory = platform::withTrailingSeparator(error);
  }
  if (!rule.outgoing.empty()) {
    const int limit = rule.kind == "FILE" ? iniNumber(s, "maxattachmentsize", 0) : 0;
    const std::string pattern = rule.kind == "MSG" ? msgRulePattern(compatibilityFlag1)
                                : rule.kind == "UA" ? uaRulePattern(compatibilityFlag1)
                                                    : fileRulePattern();
    countWaiting(rule, pattern, limit > 0 ? static_cast<std::uint64_t>(limit) : 0, now);
    for (const std::string& path : posted) {
      if (platform::directoryPrefix(path) == rule.outgoing && platform::pathExists(path)) ++rule.postedUnmoved;
    }
  }
  if (!rule.errorDirectory.empty()) countErrors(rule, now);
  for (const RuleActivity& done : activity) {
    if (done.name != section) continue;
    rule.lastSent = done.lastSent;
    rule.lastReceived = done.lastReceived;
  }
  return rule;
}

void raise(StatusReport& report, OverallState state, const std::string& reason) {
  report.state = std::max(report.state, state);
  report.reasons.push_back(reason);
}

void judge(StatusReport& report, const StatusThresholds& thresholds) {
  if (!report.running) raise(report, OverallState::kCritical, "no gateway runs on this INI file");
  if (report.hung) {
    raise(report, OverallState::kCritical,
          formatText("the gateway has not moved on for %lld s (bound %lld s)",
                     static_cast<long long>(report.now - report.gateway.written), report.hangBoundSeconds));
  }
  if (report.running && report.statusKnown && report.gateway.waitingSince != 0) {
    raise(report, OverallState::kWarning, "the gateway waits for the service");
  }
  for (const RuleStatus& rule : report.rules) {
    if (!rule.outgoingReadable) {
      raise(report, OverallState::kWarning, "the outgoing directory of [" + rule.name + "] cannot be read");
    }
  }
  const RuleTotals totals = totalsOf(report.rules);
  const long long oldest = totals.oldestWaitingAge;
  const unsigned long long errors = totals.errorFiles;
  const std::int64_t lastExchange = totals.lastExchange;
  const auto crossed = [](long long value, const std::optional<long long>& threshold, long long unit) {
    return threshold && value >= *threshold * unit;
  };
  if (crossed(oldest, thresholds.critAgeMinutes, 60)) {
    raise(report, OverallState::kCritical, formatText("a file has waited %lld min", oldest / 60));
  } else if (crossed(oldest, thresholds.warnAgeMinutes, 60)) {
    raise(report, OverallState::kWarning, formatText("a file has waited %lld min", oldest / 60));
  }
  const auto errorCount = static_cast<long long>(errors);
  if (crossed(errorCount, thresholds.critErrorFiles, 1)) {
    raise(report, OverallState::kCritical, formatText("%lld file(s) in error directories", errorCount));
  } else if (crossed(errorCount, thresholds.warnErrorFiles, 1)) {
    raise(report, OverallState::kWarning, formatText("%lld file(s) in error directories", errorCount));
  }
  if (thresholds.staleMinutes) {
    // Without any exchange on record, the time since the gateway started.
    const std::int64_t since = lastExchange != 0 ? lastExchange : report.gateway.started;
    if (since != 0 && report.now - since >= *thresholds.staleMinutes * 60) {
      raise(report, OverallState::kWarning,
            formatText("no exchange for %lld min", static_cast<long long>((report.now - since) / 60)));
    }
  }
}

}  // namespace

const char* stateName(OverallState state) {
  switch (state) {
    case OverallState::kOk: return "OK";
    case OverallState::kWarning: return "WARNING";
    case OverallState::kCritical: return "CRITICAL";
    case OverallState::kUnknown: return "UNKNOWN";
  }
  return "UNKNOWN";
}

long long statusStaleSeconds(long long sleepSeconds) { return 4 * sleepSeconds + 180; }

RuleTotals totalsOf(const std::vector<RuleStatus>& rules) {
  RuleTotals totals;
  for (const RuleStatus& rule : rules) {
    if (rule.oldestWaitingAge) totals.oldestWaitingAge = std::max(totals.oldestWaitingAge, *rule.oldestWaitingAge);
    totals.errorFiles += rule.errorFiles;
    totals.lastExchange = std::max({totals.lastExchange, rule.lastSent, rule.lastReceived});
  }
  return totals;
}

std::vector<RuleStatus> describeRules(std::int64_t now, const std::vector<RuleActivity>& activity,
                                      const std::vector<std::string>& posted) {
  std::vector<RuleStatus> rules;
  for (const std::string& section : ruleSections()) rules.push_back(ruleStatus(section, posted, now, activity));
  return rules;
}

StatusReport gatherStatus(const std::string& iniPath, const StatusThresholds& thresholds) {
  StatusReport report;
  report.now = static_cast<std::int64_t>(std::time(nullptr));
  report.iniPath = iniPath;
  if (const unsigned error = QnIniOpen(iniPath.c_str()); error != 0) {
    report.failure = formatText("Can't open INI file: \"%s\", QNERROR 0x%08X", iniPath.c_str(), error);
    report.state = OverallState::kUnknown;
    report.reasons.push_back(report.failure);
    return report;
  }
  const StateFileSetting setting = stateFileSetting(iniPath);
  const long long sleepSeconds = std::clamp(iniNumber("trasvik", "sleeptime", 60), 1, 600);
  readGateway(report, setting, sleepSeconds);
  report.serviceAddress = serviceAddressText();
  report.serviceUnreachable = serviceUnreachableReason();
  StateFile state;
  std::string stateError;
  std::vector<std::string> posted;
  if (!setting.none && state.read(setting.path, stateError)) posted = state.postedPaths();
  report.rules = describeRules(report.now, report.gateway.rules, posted);
  QnIniClose();
  judge(report, thresholds);
  return report;
}

}  // namespace trasvik
