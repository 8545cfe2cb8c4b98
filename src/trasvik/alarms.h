// Alarms the gateway raises itself, off by default: "[trasvik]
// alarm_waiting_minutes" (a file has waited that long in an outgoing
// directory), "alarm_error_files" (that many files lie in error
// directories) and "alarm_stale_minutes" (no rule sent or received
// anything for that long). Once a condition holds, one WARNING record, a
// warning event (a Windows service) and a notification to the
// administrator; once it clears, one INFO record. The same figures as
// /status gives. Main thread only.
#pragma once

namespace trasvik {

// Looks at the directories at most once a minute, and not at all while
// every alarm is off. Called after each pass.
void checkAlarms();

}  // namespace trasvik
