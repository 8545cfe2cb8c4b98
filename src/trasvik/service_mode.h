// The gateway as a Windows service: installing and removing one per INI
// file, running under the Service Control Manager, and the Application
// event log. Elsewhere the gateway runs as a systemd unit and these say so.
#pragma once

#include <functional>
#include <string>

#include "trasvik/gateway_main.h"

namespace trasvik {

// The service name of a gateway on `iniPath` unless "/name:" gives one:
// "Trasvik-" and the INI file's name without its extension, so that the
// gateways of several INI files can be installed side by side.
std::string defaultServiceName(const std::string& iniPath);
// "/name:" when given, else defaultServiceName.
std::string serviceNameOf(const CommandLine& commandLine);

// "/install" and "/uninstall": prints what was done, or why not; the exit
// status (0, or 13).
int manageService(const CommandLine& commandLine);

// "/service:NAME", the command line the Service Control Manager starts the
// installed gateway with: runs `run` (the gateway as from the console) as
// that service, in the INI file's directory, with its start, stop, stop
// reason and fatal records in the event log. The exit status.
int runAsWindowsService(const CommandLine& commandLine, const std::function<int(const CommandLine&)>& run);

// One line for "/check": whether the gateway's service is installed and
// runs, or is installed for another INI file of the same name; "" where
// there are no Windows services. A service installed for this INI file
// gives the check its port.
std::string serviceCheckText(const CommandLine& commandLine);

}  // namespace trasvik
