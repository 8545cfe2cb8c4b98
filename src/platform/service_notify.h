// Notices to the service manager that started the program, in systemd's
// notify protocol: a datagram of "KEY=value" lines sent to the socket that
// NOTIFY_SOCKET names ("READY=1", "WATCHDOG=1", "STATUS=...",
// "EXTEND_TIMEOUT_USEC=..."). Where no manager listens (a run from a
// console, or Windows, whose Service Control Manager has its own calls)
// nothing is sent.
#pragma once

#include <string>

namespace platform {

// True when a service manager listens for this process's notices.
bool serviceManagerListens();

// Sends `notice`, one or more "KEY=value" lines. False when no manager
// listens or the notice could not be sent.
bool notifyServiceManager(const std::string& notice);

// How often the manager wants to hear that this process is alive
// (WATCHDOG_USEC, when WATCHDOG_PID is unset or this process), in
// milliseconds; 0 when it does not watch it.
unsigned long long watchdogIntervalMilliseconds();

}  // namespace platform
