// dravont-service: the document-exchange service for this machine.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  using namespace dravont_service;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string error;
  const std::optional<CommandLine> line = parseCommandLine(arguments, error);
  if (!line) {
    platform::writeStandardError("dravont-service: " + error + "\n" + kUsageText);
    return kExitUsage;
  }
  switch (line->command) {
    case Command::kServe: return runService(*line);
    case Command::kList: {
      const std::string listing = describeStore(line->service.storeDirectory);
      std::fwrite(listing.data(), 1, listing.size(), stdout);
      return 0;
    }
    case Command::kSend: {
      std::string id;
      if (std::string failure = sendDirect(line->service.storeDirectory, line->send, id); !failure.empty()) {
        platform::writeStandardError("dravont-service: " + failure + "\n");
        return kExitSend;
      }
      std::printf("%s\n", id.c_str());
      return 0;
    }
  }
  return kExitUsage;
}
