// The command line of dravont-service:
//   dravont-service [--port N] [--store DIR] [--version TEXT] [--test-hooks] [--stats]
//                   [--script-memory-mib N] [--script-time-ms N] [--read-timeout-ms N] [--idle-timeout-s N]
//                   [--max-connections N] [--max-request-mib N] [--max-request-values N]
//                   [--wine-prefix DIR] [--pid-file FILE]
//   dravont-service [--store DIR] list
//   dravont-service [--store DIR] send --from ADDR --to ADDR [--to ADDR ...]
//                   [--subject S] [--coretype HHHH] FILE...
// The port is --port, else the environment's XMLRPCPORT, else 12069.
// --stats: on an orderly stop, one line on standard error tells how many
// calls were answered and how many flushes to disk were made.
// --pid-file: the process id is written to FILE once the service listens,
// and the file removed on an orderly stop, so that a script stops the
// service it started and no other (a stop by program name would end every
// service of that name on the machine).
// --wine-prefix: the clients are Windows programs under Wine with this
// prefix; their drive paths are opened in it (client_paths.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "http_server.h"
#include "service.h"

namespace dravont_service {

enum class Command { kServe, kList, kSend };

struct SendRequest {
  std::string from;
  std::vector<std::string> to;
  std::string subject;
  std::string coretype = "1200";
  std::vector<std::string> files;
};

struct CommandLine {
  Command command = Command::kServe;
  int port = 12069;
  bool stats = false;
  std::string pidFile;  // empty: none
  ServiceOptions service;
  HttpServerOptions http;
  SendRequest send;
};

// Exit statuses.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitStore = 3;
inline constexpr int kExitListen = 4;
inline constexpr int kExitSend = 5;
inline constexpr int kExitSignals = 6;  // the handler of the stop signals cannot be installed

// Parses the arguments after the program name. Returns nullopt and sets
// `error` for a command line that does not fit the forms above.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string& error);

extern const char kUsageText[];

}  // namespace dravont_service
