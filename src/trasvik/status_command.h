// The /status command line: its options checked, the report gathered and
// printed in the form asked for.
#pragma once

#include "trasvik/gateway_main.h"

namespace trasvik {

// Prints the report; returns the overall state as the exit status (0 OK,
// 1 WARNING, 2 CRITICAL, 3 UNKNOWN, also for options it cannot read).
int reportStatus(const CommandLine& commandLine);

}  // namespace trasvik
