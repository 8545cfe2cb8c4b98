#include "trasvik/alarms.h"

#include <ctime>
#include <string>

#include "trasvik/gateway_log.h"
#include "trasvik/notification.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"
#include "trasvik/status_file.h"
#include "trasvik/status_report.h"
#include "trasvik/supervision.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr std::int64_t kCheckSeconds = 60;

std::int64_t lastCheck = 0;

// One alarm: whether it is raised now.
struct Alarm {
  const char* key;
  bool raised = false;
};
Alarm waitingAlarm{"alarm_waiting_minutes"};
Alarm errorAlarm{"alarm_error_files"};
Alarm staleAlarm{"alarm_stale_minutes"};

// Raises the alarm with `text` while `holds`, or clears it.
void judge(Alarm& alarm, bool holds, const std::string& text) {
  if (holds == alarm.raised) return;
  alarm.raised = holds;
  if (!holds) {
    GATEWAY_INFO("Alarm cleared ([trasvik]:%s)", alarm.key);
    reportServiceEvent(platform::EventKind::kInformation, std::string("Alarm cleared ([trasvik]:") + alarm.key + ")");
    return;
  }
  const std::string full = "Alarm: " + text + " ([trasvik]:" + alarm.key + ")";
  GATEWAY_WARNING("%s", full.c_str());
  reportServiceEvent(platform::EventKind::kWarning, full);
  postNotificationIfConnected("Trasvik " + full);
}

}  // namespace

void checkAlarms() {
  const GatewaySettings& s = settings();
  if (s.alarmWaitingMinutes == 0 && s.alarmErrorFiles == 0 && s.alarmStaleMinutes == 0) return;
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  if (now - lastCheck < kCheckSeconds && lastCheck != 0) return;
  lastCheck = now;
  const GatewayStatus& status = gatewayStatus();
  const RuleTotals totals = totalsOf(describeRules(now, status.rules, stateFile().postedPaths()));
  if (s.alarmWaitingMinutes != 0) {
    judge(waitingAlarm, totals.oldestWaitingAge >= s.alarmWaitingMinutes * 60,
          formatText("a file has waited %lld min to be sent", totals.oldestWaitingAge / 60));
  }
  if (s.alarmErrorFiles != 0) {
    judge(errorAlarm, totals.errorFiles >= s.alarmErrorFiles,
          formatText("%llu file(s) in error directories", totals.errorFiles));
  }
  if (s.alarmStaleMinutes != 0) {
    // Without any exchange on record, the time since the start.
    const std::int64_t since = totals.lastExchange != 0 ? totals.lastExchange : status.started;
    judge(staleAlarm, now - since >= s.alarmStaleMinutes * 60,
          formatText("no file sent or received for %lld min", static_cast<long long>((now - since) / 60)));
  }
}

}  // namespace trasvik
