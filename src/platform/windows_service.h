// A program as a Windows service: registered with the Service Control
// Manager (automatic delayed start, restarted after a crash but not after
// a failure it reported), run by it, and writing to the Application event
// log under a source of its own. Elsewhere every function reports that
// there are no Windows services (systemd units take their place).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// True where Windows services exist.
bool windowsServicesExist();

struct ServiceSettings {
  std::string name;         // the service's key name, as `sc` takes it
  std::string displayName;  // as services.msc shows it
  std::string description;
  std::string arguments;    // the command line after the program's path
  std::string account;      // empty: LocalSystem; else one without a password
  std::vector<std::string> dependencies;  // services started first
  std::vector<std::string> environment;   // "NAME=value" for the service's process
  unsigned restartDelaySeconds = 60;      // after a crash
  unsigned preshutdownSeconds = 60;       // the time a shutdown gives it to stop
};

// Registers this program as the service `settings` describe, with its
// event source. "" or why not; `warnings` name settings the system does
// not know and that were left out (an older Windows).
std::string installService(const ServiceSettings& settings, std::vector<std::string>& warnings);
// Stops the service when it runs (waiting up to `stopSeconds`), removes it
// and its event source. "" or why not.
std::string uninstallService(const std::string& name, unsigned stopSeconds);

// The "NAME=value" entries installService gave the service's process.
// Some systems (Wine) do not hand them over: the service applies them.
std::vector<std::string> serviceEnvironment(const std::string& name);

struct ServiceFacts {
  bool installed = false;
  std::string state;  // "running", "stopped", "start pending", ...
  int exitCode = 0;   // the service-specific exit code it stopped with
  std::string commandLine;
  bool restartsAfterCrash = false;      // the first recovery action restarts it
  unsigned restartDelaySeconds = 0;
  bool restartsAfterReportedFailure = false;  // also when it reports a failure itself
  std::vector<std::string> dependencies;
  std::string error;  // why the facts could not be read ("" for a missing service)
};
// What the Service Control Manager has of the service `name`.
ServiceFacts queryService(const std::string& name);

// How a running service's body talks to the Service Control Manager.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // The start is over: the service runs and takes stop requests.
  virtual void reportRunning() = 0;
  // The start or the stop made a real step: its checkpoint moves. A start
  // or stop whose steps stop coming is seen as hung once its wait hint has
  // passed.
  virtual void reportProgress() = 0;
};

// What the Service Control Manager asked of the service.
enum class ServiceRequest { kStop, kShutdown, kPreshutdown };

// Runs `body` as the service `name`, when the Service Control Manager
// started this process: reports START_PENDING (with a wait hint; the
// checkpoint moves when the body reports progress), RUNNING when the body
// says so, STOP_PENDING and
// `onRequest` for a stop, shutdown or pre-shutdown request, and STOPPED
// with the body's result (non-zero as a service-specific exit code, which
// the recovery actions leave alone). Returns false at once when the
// process was not started as a service (then `body` does not run); else
// true after the body ended, with its result in `result`.
bool runAsService(const std::string& name, const std::function<int(ServiceControl&)>& body,
                  const std::function<void(ServiceRequest)>& onRequest, int& result);

enum class EventKind { kInformation, kWarning, kError };
// Writes `text` to the Application event log under the source `source`
// (registered by installService); nothing when it cannot.
void writeEvent(const std::string& source, EventKind kind, const std::string& text);

}  // namespace platform
