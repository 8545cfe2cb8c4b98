#include <cstdio>
#include <system_error>

#include "commands.h"
#include "orderly_stop.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/thread.h"
#include "rpc_dispatcher.h"

namespace dravont_service {

int runService(const CommandLine& line) {
  Service service(line.service);
  if (std::string error = service.open(); !error.empty()) {
    platform::writeStandardError("dravont-service: " + error + "\n");
    return kExitStore;
  }
  RpcDispatcher dispatcher(service);
  HttpServer server(
      [&dispatcher](std::string_view body) {
        RpcAnswer answer = dispatcher.handle(body);
        return HttpAnswer{std::move(answer.body), answer.drop};
      },
      line.http);
  if (std::string error = server.listen(line.port); !error.empty()) {
    platform::writeStandardError("dravont-service: " + error + "\n");
    return kExitListen;
  }
  // Before any thread starts: the control signals are then taken by the
  // handler's thread alone, and every acknowledged change is already on disk.
  OrderlyStop stop(server, service.stopControl());
  if (!platform::registerConsoleControlHandler([&stop](int) { stop.request(); })) {
    platform::writeStandardError("dravont-service: can't install the signal handler\n");
    return kExitSignals;
  }
  if (!line.pidFile.empty()) {
    if (const int error = platform::writeWholeFile(line.pidFile, std::to_string(platform::currentProcessId()) + "\n")) {
      platform::writeStandardError("dravont-service: can't write the process id to \"" + line.pidFile +
                                   "\": " + std::generic_category().message(error) + "\n");
      platform::removeConsoleControlHandler();
      return kExitListen;
    }
  }
  std::printf("%d\n", server.port());
  std::fflush(stdout);
  platform::writeStandardError("dravont-service: serving store \"" + line.service.storeDirectory +
                               "\" on 127.0.0.1:" + std::to_string(server.port()) +
                               (line.service.testHooks ? " with test hooks" : "") + "\n");
  server.run();
  stop.served();
  platform::removeConsoleControlHandler();
  if (line.stats) {
    platform::writeStandardError("dravont-service: " + std::to_string(dispatcher.callsAnswered()) + " calls answered, " +
                                 std::to_string(platform::durableFlushCount()) + " durable flushes\n");
  }
  if (!line.pidFile.empty()) platform::removeFile(line.pidFile);
  platform::writeStandardError("dravont-service: stopped\n");
  return 0;
}

}  // namespace dravont_service
