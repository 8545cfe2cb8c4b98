// `trasvik /status`: how a gateway is doing, read from its INI file, its
// state and status files and its directories, for people and for
// monitoring systems. It takes no lock and changes nothing, so it never
// disturbs a running gateway. The overall state follows the monitoring
// plugin convention: OK, WARNING, CRITICAL (no gateway runs on the INI
// file, it hangs, or a critical threshold is crossed), UNKNOWN (the INI
// file cannot be read), which is also the exit status (0 to 3).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trasvik/status_file.h"

namespace trasvik {

enum class OverallState { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };
const char* stateName(OverallState state);

// The thresholds of the command line; nullopt: not given.
struct StatusThresholds {
  std::optional<long long> warnAgeMinutes;   // the oldest waiting file
  std::optional<long long> critAgeMinutes;
  std::optional<long long> warnErrorFiles;   // files in error directories
  std::optional<long long> critErrorFiles;
  std::optional<long long> staleMinutes;     // no exchange at all (a warning)
};

struct RuleStatus {
  std::string name;
  std::string kind;  // "FILE", "MSG", "UA"
  std::string outgoing;  // "" when the rule sends nothing
  std::string errorDirectory;
  bool outgoingReadable = true;
  unsigned long long waitingFiles = 0;
  unsigned long long waitingBytes = 0;
  std::optional<long long> oldestWaitingAge;  // seconds
  unsigned long long postedUnmoved = 0;
  unsigned long long errorFiles = 0;
  std::optional<long long> newestErrorAge;
  std::int64_t lastSent = 0;  // seconds since the epoch; 0: never (known)
  std::int64_t lastReceived = 0;
};

struct StatusReport {
  std::int64_t now = 0;
  std::string iniPath;
  std::string failure;  // why the INI file could not be read (UNKNOWN)
  bool running = false;
  int processId = 0;
  bool hung = false;
  long long hangBoundSeconds = 0;
  bool statusKnown = false;  // a status file of this run was read
  GatewayStatus gateway;
  std::string serviceAddress;
  std::string serviceUnreachable;  // "" when it answers now
  std::vector<RuleStatus> rules;
  OverallState state = OverallState::kOk;
  std::vector<std::string> reasons;  // why the state is not OK
};

// What the rules' figures add up to, as thresholds judge them.
struct RuleTotals {
  long long oldestWaitingAge = -1;  // seconds; -1: nothing waits
  unsigned long long errorFiles = 0;
  std::int64_t lastExchange = 0;    // the last send or receipt of any rule; 0: none known
};
RuleTotals totalsOf(const std::vector<RuleStatus>& rules);

// The rules of the INI file that is open now (the gateway's own, or the
// one /status opened), with their directories counted at `now`; `activity`
// says when each last sent and received, `posted` names the files whose
// post the state file records as taken.
std::vector<RuleStatus> describeRules(std::int64_t now, const std::vector<RuleActivity>& activity,
                                      const std::vector<std::string>& posted);

// The status file older than this while the gateway runs means a hung
// gateway: four sleeps and three minutes (5 minutes for sleeptime=30).
long long statusStaleSeconds(long long sleepSeconds);

// Gathers the report on the INI file at `iniPath` and judges it.
StatusReport gatherStatus(const std::string& iniPath, const StatusThresholds& thresholds);

// The report in each format.
std::string statusText(const StatusReport& report);
std::string statusJson(const StatusReport& report);
std::string statusPrometheus(const StatusReport& report);

}  // namespace trasvik
