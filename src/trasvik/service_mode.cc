#include "trasvik/service_mode.h"

#include <cstdio>
#include <cstdlib>

#include "dravont/dravontdll.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/windows_service.h"
#include "trasvik/gateway_log.h"
#include "trasvik/session.h"
#include "trasvik/stop_control.h"
#include "trasvik/supervision.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

// How long "/uninstall" waits for a running gateway to stop in order.
constexpr unsigned kUninstallStopSeconds = 120;

// The INI file's path as a service's command line names it: absolute.
std::string absoluteIni(const CommandLine& commandLine) {
  return platform::absolutePath(commandLine.ini).value_or(commandLine.ini);
}

const char* requestName(platform::ServiceRequest request) {
  switch (request) {
    case platform::ServiceRequest::kStop: return "stop";
    case platform::ServiceRequest::kShutdown: return "shutdown";
    case platform::ServiceRequest::kPreshutdown: return "pre-shutdown";
  }
  return "stop";
}

// The environment the service was installed with, where the system did
// not give it to the process (or, with `overriding`, in place of this
// process's own). The client library took its port when it was loaded: it
// is given the installed one before its first call.
void applyServiceEnvironment(const std::string& name, bool overriding = false) {
  for (const std::string& entry : platform::serviceEnvironment(name)) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    const std::string variable = entry.substr(0, equals);
    if (!overriding && platform::environmentVariable(variable.c_str())) continue;
    const std::string value = entry.substr(equals + 1);
    platform::setEnvironmentVariable(variable.c_str(), value);
    if (variable == "XMLRPCPORT") Quillex::RpcPort = std::atoi(value.c_str());
  }
}

int install(const CommandLine& commandLine) {
  const std::string ini = absoluteIni(commandLine);
  if (!platform::pathExists(ini)) {
    std::printf("No INI file \"%s\"\n", ini.c_str());
    return kFailureExitStatus;
  }
  platform::ServiceSettings settings;
  settings.name = serviceNameOf(commandLine);
  // Two INI files of one name in two folders give one default name: the
  // second gateway needs a name of its own.
  if (const platform::ServiceFacts existing = platform::queryService(settings.name); existing.installed) {
    std::printf("Service \"%s\" exists already (%s); give this gateway a name of its own with /name:NAME\n",
                settings.name.c_str(), existing.commandLine.c_str());
    return kFailureExitStatus;
  }
  settings.displayName = "Trasvik gateway " + settings.name;
  settings.description = "Sends and receives files through the document-exchange service as \"" + ini + "\" says.";
  // Quoted: a name or a path may hold blanks.
  settings.arguments = "\"/service:" + settings.name + "\" /supervised \"/ini:" + ini + "\"";
  settings.account = commandLine.account;
  settings.dependencies = commandLine.dependencies;
  // The service's port, when this console names one, goes with it: a
  // service does not see the installing user's environment.
  if (const auto port = platform::environmentVariable("XMLRPCPORT"); port && !port->empty()) {
    settings.environment.push_back("XMLRPCPORT=" + *port);
  }
  std::vector<std::string> warnings;
  if (const std::string error = platform::installService(settings, warnings); !error.empty()) {
    std::printf("%s\n", error.c_str());
    return kFailureExitStatus;
  }
  for (const std::string& warning : warnings) std::printf("Warning: %s\n", warning.c_str());
  // Only what the system kept is claimed.
  const bool restarts = platform::queryService(settings.name).restartsAfterCrash;
  std::printf("Service \"%s\" installed: automatic start, %s, events in the Application log under \"%s\"\n",
              settings.name.c_str(),
              restarts ? formatText("restarted %u s after a crash", settings.restartDelaySeconds).c_str()
                       : "no restart after a crash (see the warning)",
              settings.name.c_str());
  // The service does not see this console's environment: say which port
  // it will use.
  if (settings.environment.empty()) {
    std::printf("Service port: the system's XMLRPCPORT, else 12069\n");
  } else {
    std::printf("Service port: %s, as this console sets it\n", settings.environment.front().c_str());
  }
  std::printf("Start it with: sc start %s\n", settings.name.c_str());
  return 0;
}

int uninstall(const CommandLine& commandLine) {
  if (commandLine.serviceName.empty() && commandLine.ini.empty()) {
    std::printf("/uninstall needs /name:NAME or the /ini: it was installed with\n");
    return kFailureExitStatus;
  }
  const std::string name = serviceNameOf(commandLine);
  if (const std::string error = platform::uninstallService(name, kUninstallStopSeconds); !error.empty()) {
    std::printf("%s\n", error.c_str());
    return kFailureExitStatus;
  }
  std::printf("Service \"%s\" removed, with its event source\n", name.c_str());
  return 0;
}

}  // namespace

std::string defaultServiceName(const std::string& iniPath) {
  std::string name = platform::stemName(iniPath);
  // Letters, digits, '-', '_' and '.' pass through `sc` and the registry
  // unquoted.
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '_' || c == '.';
    if (!plain) c = '_';
  }
  return "Trasvik-" + name;
}

std::string serviceNameOf(const CommandLine& commandLine) {
  return commandLine.serviceName.empty() ? defaultServiceName(commandLine.ini) : commandLine.serviceName;
}

int manageService(const CommandLine& commandLine) {
  if (!platform::windowsServicesExist()) {
    std::printf("/install and /uninstall are for Windows; on this system the gateway runs as the systemd "
                "unit trasvik@NAME\n");
    return kFailureExitStatus;
  }
  if (commandLine.install && commandLine.ini.empty()) {
    std::printf("/install needs /ini:FILE\n");
    return kFailureExitStatus;
  }
  return commandLine.install ? install(commandLine) : uninstall(commandLine);
}

int runAsWindowsService(const CommandLine& commandLine, const std::function<int(const CommandLine&)>& run) {
  const std::string source = commandLine.runService;
  const auto body = [&](platform::ServiceControl& control) {
    // The Service Control Manager starts it in the system's directory.
    CommandLine inService = commandLine;
    inService.ini = absoluteIni(commandLine);
    const std::string directory = platform::directoryName(inService.ini);
    // Relative directories of the INI file would resolve under the
    // system's directory: a start that cannot change there stops.
    if (!directory.empty() && platform::setCurrentDirectory(directory) != 0) {
      platform::writeEvent(source, platform::EventKind::kError,
                           "Can't set current directory \"" + directory + "\", the INI file's; the service stops");
      return kFailureExitStatus;
    }
    platform::ignoreLogOffEvents();
    platform::takeStopsFromServiceManagerOnly();
    observeFatalRecords([&](const std::string& text) { platform::writeEvent(source, platform::EventKind::kError, text); });
    observeServiceEvents([&](platform::EventKind kind, const std::string& text) { platform::writeEvent(source, kind, text); });
    observeProgress([&] { control.reportProgress(); });
    observeStart([&] {
      control.reportRunning();
      platform::writeEvent(source, platform::EventKind::kInformation,
                           "Trasvik " TRASVIK_VERSION " started with \"" + inService.ini + "\"");
    });
    const int status = run(inService);
    observeStart(nullptr);
    observeServiceEvents(nullptr);
    observeProgress(nullptr);
    observeFatalRecords(nullptr);
    platform::writeEvent(source, status == 0 ? platform::EventKind::kInformation : platform::EventKind::kError,
                         "Trasvik stopped with exit status " + std::to_string(status));
    return status;
  };
  const auto onRequest = [&](platform::ServiceRequest request) {
    const std::string reason = std::string("Stop requested by the Service Control Manager (") + requestName(request) + ")";
    GATEWAY_INFO("%s", reason.c_str());
    platform::writeEvent(source, platform::EventKind::kInformation, reason);
    requestStop();
  };
  // Before the service's thread starts: the client library gives each
  // thread its connection as the thread starts.
  applyServiceEnvironment(source);
  int status = 0;
  if (!platform::runAsService(source, body, onRequest, status)) {
    std::printf("/service: is the command line the Service Control Manager starts the gateway with; "
                "start the installed service with: sc start %s\n",
                source.c_str());
    return kFailureExitStatus;
  }
  return status;
}

std::string serviceCheckText(const CommandLine& commandLine) {
  if (!platform::windowsServicesExist()) return "";
  const std::string name = serviceNameOf(commandLine);
  const platform::ServiceFacts facts = platform::queryService(name);
  if (!facts.error.empty()) return "Service \"" + name + "\": " + facts.error;
  if (!facts.installed) return "Service \"" + name + "\" is not installed (install it with /install)";
  // A service of that name may run another INI file of the same name.
  if (facts.commandLine.find("/ini:" + absoluteIni(commandLine) + "\"") == std::string::npos) {
    return "Service \"" + name + "\" is installed for another INI file (" + facts.commandLine + ")";
  }
  // The check tries the port the service uses, not this console's.
  applyServiceEnvironment(name, true);
  return "Service \"" + name + "\" is installed and " + facts.state;
}

}  // namespace trasvik
