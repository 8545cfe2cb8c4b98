// The gateway program: command line, start-up, the service session start
// (repeated after a lost session), the main cycle and shutdown.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace trasvik {

struct CommandLine {
  std::string ini;        // "/ini:" value; empty when not given
  std::string directory;  // "/dir:" value; empty when not given
  bool help = false;      // "/?", "/help", "--help"
  bool version = false;   // "/version", "--version"
  bool check = false;     // "/check": report on the configuration, run nothing
  // "/supervised": a service manager runs it; an outage of the service is
  // waited out (supervision.h). A Windows service is always supervised.
  bool supervised = false;
  // "/status": how the gateway of /ini: is doing (status_report.h), in the
  // form "/format:" names (text, json, prometheus), judged by the
  // thresholds "/warn-age:", "/crit-age:", "/stale:" (minutes) and
  // "/warn-error:", "/crit-error:" (files).
  bool status = false;
  std::string format;
  std::string warnAge, critAge, warnError, critError, stale;
  // Windows service mode (service_mode.h).
  bool install = false;     // "/install": register the gateway of /ini: as a service
  bool uninstall = false;   // "/uninstall": remove it
  std::string serviceName;  // "/name:": the service's name instead of the one derived from /ini:
  std::string account;      // "/user:": the account the service runs as
  std::vector<std::string> dependencies;  // "/depend:", repeatable: services started first
  std::string runService;   // "/service:": run as this service (the command line it is installed with)
  std::vector<std::string> unknown;  // other options, as given
};

// Scans the arguments (argv[0] excluded): "/" or "-" options "ini:",
// "dir:", "name:", "user:", "depend:" and "service:" in any case; the
// value after the colon, else the next argument when it is no option. A
// later option replaces an earlier one ("depend:" adds one). The options
// "?", "help", "version", "check", "supervised", "install" and "uninstall" may also
// follow "--".
CommandLine parseCommandLine(int argc, const char* const* argv);

// `observer` is called once the gateway has started (its first service
// session is open), on the main cycle's thread; an empty one ends it.
void observeStart(std::function<void()> observer);

// Runs the gateway; returns the process's exit status: 0 after a stop by a
// console event or after the configured number of passes, 13 after a
// start-up failure or a condition the gateway cannot continue from.
int runGateway(int argc, char** argv);

}  // namespace trasvik
