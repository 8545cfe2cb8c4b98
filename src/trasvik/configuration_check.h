// `Trasvik /check`: reads the INI file and tries the start as the gateway
// would, without sending, receiving, confirming, moving or notifying
// anything, and reports on standard output what it found.
#pragma once

#include "trasvik/gateway_main.h"

namespace trasvik {

// Runs the check on the open INI file (the log is not open: its records go
// to standard output). Returns 0 when the gateway would start, 13 when it
// would not. Closes the INI file.
int checkConfiguration(const CommandLine& commandLine);

}  // namespace trasvik
