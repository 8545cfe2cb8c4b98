// The gateway program: command line, start-up, the service session start
// (repeated after a lost session), the main cycle and shutdown.
#pragma once

#include <string>
#include <vector>

namespace trasvik {

struct CommandLine {
  std::string ini;        // "/ini:" value; empty when not given
  std::string directory;  // "/dir:" value; empty when not given
  bool help = false;      // "/?", "/help", "--help"
  bool version = false;   // "/version", "--version"
  bool check = false;     // "/check": report on the configuration, run nothing
  std::vector<std::string> unknown;  // other options, as given
};

// Scans the arguments (argv[0] excluded): "/" or "-" options "ini:" and
// "dir:" in any case; the value after the colon, else the next argument
// when it is no option. A later option replaces an earlier one. The
// options "?", "help", "version" and "check" may also follow "--".
CommandLine parseCommandLine(int argc, const char* const* argv);

// Runs the gateway; returns the process's exit status: 0 after a stop by a
// console event or after the configured number of passes, 13 after a
// start-up failure or a condition the gateway cannot continue from.
int runGateway(int argc, char** argv);

}  // namespace trasvik
