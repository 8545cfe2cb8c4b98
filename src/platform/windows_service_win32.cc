#include "platform/windows_service.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include "platform/path.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// The message of every event this program writes: its one string, as is
// (event_messages.mc, linked into the program as its message table).
constexpr DWORD kEventTextId = 1;
// How long the Service Control Manager is told a start or a stop step may
// take before the next checkpoint: the body reports progress at least every
// few seconds while it waits, and a step that takes longer hangs.
constexpr DWORD kWaitHintMilliseconds = 30000;

constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";

std::string failure(const char* what, DWORD error) {
  return std::string(what) + ": " + win32::systemErrorText(error) + " (error " + std::to_string(error) + ")";
}

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const {
    if (handle != nullptr) ::CloseServiceHandle(handle);
  }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// A NUL-separated list ended by a second NUL, as the registry and the
// Service Control Manager take lists.
std::string multiString(const std::vector<std::string>& items) {
  std::string result;
  for (const std::string& item : items) result += item + '\0';
  return result + '\0';
}

std::string narrowed(const wchar_t* text) {
  if (text == nullptr) return "";
  bool exact = true;
  return win32::narrowText(CP_ACP, text, exact).value_or("");
}

std::vector<std::string> splitMultiString(const char* list) {
  std::vector<std::string> items;
  for (const char* item = list; item != nullptr && *item != '\0'; item += std::strlen(item) + 1) items.emplace_back(item);
  return items;
}

// A list value of the service's registry key (empty when it has none).
std::vector<std::string> serviceList(const std::string& name, const char* value) {
  const std::string path = kServicesKey + name;
  DWORD size = 0;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), value, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<char> list(size + 2, '\0');
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), value, RRF_RT_REG_MULTI_SZ, nullptr, list.data(), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return splitMultiString(list.data());
}

std::string registerEventSource(const std::string& name, const std::string& program) {
  HKEY key = nullptr;
  const std::string path = kEventLogKey + name;
  LONG status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return failure("Can't register the event source", static_cast<DWORD>(status));
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  status = ::RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(program.c_str()),
                            static_cast<DWORD>(program.size() + 1));
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS ? "" : failure("Can't register the event source", static_cast<DWORD>(status));
}

// The environment of the service's process: a value the Service Control
// Manager reads from the service's key.
std::string setServiceEnvironment(const std::string& name, const std::vector<std::string>& environment) {
  if (environment.empty()) return "";
  HKEY key = nullptr;
  const std::string path = kServicesKey + name;
  LONG status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    const std::string list = multiString(environment);
    status = ::RegSetValueExA(key, "Environment", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(list.data()),
                              static_cast<DWORD>(list.size()));
    ::RegCloseKey(key);
  }
  return status == ERROR_SUCCESS ? "" : failure("Can't set the service's environment", static_cast<DWORD>(status));
}

// A setting the system does not know (an older Windows, or Wine) is
// left out with a warning; any other failure is an error.
std::string optionalSetting(const char* what, DWORD error, std::vector<std::string>& warnings) {
  if (error != ERROR_INVALID_LEVEL) return failure(what, error);
  warnings.push_back(std::string(what) + ": this system does not know the setting; the service is installed without it");
  return "";
}

// True when the service's first recovery action restarts it; its delay in
// `delaySeconds`.
bool restartsAfterCrash(SC_HANDLE service, unsigned* delaySeconds) {
  DWORD needed = 0;
  ::QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<BYTE> actions(needed + sizeof(SERVICE_FAILURE_ACTIONSW));
  if (!::QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, actions.data(), needed, &needed)) return false;
  const auto* read = reinterpret_cast<SERVICE_FAILURE_ACTIONSW*>(actions.data());
  if (read->cActions == 0 || read->lpsaActions == nullptr || read->lpsaActions[0].Type != SC_ACTION_RESTART) return false;
  if (delaySeconds != nullptr) *delaySeconds = read->lpsaActions[0].Delay / 1000;
  return true;
}

std::string configureRecovery(SC_HANDLE service, const ServiceSettings& settings, std::vector<std::string>& warnings) {
  // The wide calls: the narrow one of some systems knows the description
  // and the recovery actions only.
  std::wstring descriptionText = win32::wideText(CP_ACP, settings.description).value_or(L"");
  SERVICE_DESCRIPTIONW description{descriptionText.data()};
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description)) {
    return failure("Can't set the service's description", ::GetLastError());
  }
  SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed)) {
    const std::string error = optionalSetting("Can't set the delayed automatic start", ::GetLastError(), warnings);
    if (!error.empty()) return error;
  }
  // A crash (the process ends without reporting STOPPED) restarts it, each
  // time, after the delay; the count of failures is reset after a day.
  SC_ACTION restart[3];
  for (SC_ACTION& action : restart) action = {SC_ACTION_RESTART, settings.restartDelaySeconds * 1000};
  SERVICE_FAILURE_ACTIONSW actions{};
  actions.dwResetPeriod = 24 * 3600;
  actions.cActions = 3;
  actions.lpsaActions = restart;
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions)) {
    return failure("Can't set the recovery actions", ::GetLastError());
  }
  // A system may take them and keep nothing (Wine does): the administrator
  // is told that a crash will not be followed by a restart.
  if (!restartsAfterCrash(service, nullptr)) {
    warnings.push_back("This system did not keep the recovery actions: the service is not restarted after a crash; "
                       "set them in services.msc (Recovery)");
  }
  // A stop the program reported itself, with its exit code (a start that
  // failed on the configuration), is no crash: it is not restarted.
  SERVICE_FAILURE_ACTIONS_FLAG onlyCrashes{FALSE};
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onlyCrashes)) {
    const std::string error = optionalSetting("Can't limit the recovery actions to crashes", ::GetLastError(), warnings);
    if (!error.empty()) return error;
  }
  SERVICE_PRESHUTDOWN_INFO preshutdown{settings.preshutdownSeconds * 1000};
  if (!::ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown)) {
    return optionalSetting("Can't set the time to stop at shutdown", ::GetLastError(), warnings);
  }
  return "";
}

const char* stateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start pending";
    case SERVICE_STOP_PENDING: return "stop pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue pending";
    case SERVICE_PAUSE_PENDING: return "pause pending";
    case SERVICE_PAUSED: return "paused";
    default: return "unknown";
  }
}

// The running service: its status handle and the status it last reported.
// A thread renews the wait hint (the check point) while a start or a stop
// lasts, so that a long step is not taken for a hung one.
class RunningService : public ServiceControl {
 public:
  explicit RunningService(SERVICE_STATUS_HANDLE handle) : handle_(handle) {
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  }

  void report(DWORD state, int exitCode = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A stop asked for before the start was over is not undone by it.
    if (state == SERVICE_RUNNING && status_.dwCurrentState == SERVICE_STOP_PENDING) return;
    status_.dwCurrentState = state;
    status_.dwControlsAccepted = state == SERVICE_RUNNING || state == SERVICE_START_PENDING
                                     ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN
                                     : 0;
    status_.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status_.dwCheckPoint = pending ? 1 : 0;
    status_.dwWaitHint = pending ? kWaitHintMilliseconds : 0;
    ::SetServiceStatus(handle_, &status_);
  }

  void reportRunning() override { report(SERVICE_RUNNING); }

  void reportProgress() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status_.dwCurrentState != SERVICE_START_PENDING && status_.dwCurrentState != SERVICE_STOP_PENDING) return;
    ++status_.dwCheckPoint;
    ::SetServiceStatus(handle_, &status_);
  }

 private:
  SERVICE_STATUS_HANDLE handle_;
  std::mutex mutex_;
  SERVICE_STATUS status_{};
};

// What the dispatcher's callbacks need: they take no context of their own.
struct ServiceRun {
  std::string name;
  const std::function<int(ServiceControl&)>* body = nullptr;
  const std::function<void(ServiceRequest)>* onRequest = nullptr;
  RunningService* running = nullptr;
  std::mutex mutex;  // guards `running` against a control arriving as the body ends
  int result = 0;
};
ServiceRun* currentRun = nullptr;

DWORD WINAPI onServiceControl(DWORD control, DWORD, void*, void*) {
  ServiceRequest request;
  switch (control) {
    case SERVICE_CONTROL_STOP: request = ServiceRequest::kStop; break;
    case SERVICE_CONTROL_SHUTDOWN: request = ServiceRequest::kShutdown; break;
    case SERVICE_CONTROL_PRESHUTDOWN: request = ServiceRequest::kPreshutdown; break;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
  }
  {
    std::lock_guard<std::mutex> lock(currentRun->mutex);
    if (currentRun->running == nullptr) return NO_ERROR;
    currentRun->running->report(SERVICE_STOP_PENDING);
  }
  (*currentRun->onRequest)(request);
  return NO_ERROR;
}

void WINAPI serviceMain(DWORD, char**) {
  ServiceRun& run = *currentRun;
  const SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerExA(run.name.c_str(), onServiceControl, nullptr);
  if (handle == nullptr) {
    run.result = -1;
    return;
  }
  auto running = std::make_unique<RunningService>(handle);
  running->report(SERVICE_START_PENDING);
  {
    std::lock_guard<std::mutex> lock(run.mutex);
    run.running = running.get();
  }
  run.result = (*run.body)(*running);
  {
    std::lock_guard<std::mutex> lock(run.mutex);
    run.running = nullptr;
  }
  // Reported last: once STOPPED is reported the process may be ended.
  running->report(SERVICE_STOPPED, run.result);
}

}  // namespace

bool windowsServicesExist() { return true; }

std::string installService(const ServiceSettings& settings, std::vector<std::string>& warnings) {
  const std::optional<std::string> program = executablePath();
  if (!program) return "Can't find the program's own path";
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return failure("Can't open the Service Control Manager", ::GetLastError());
  const std::string commandLine = "\"" + *program + "\" " + settings.arguments;
  const std::string dependencies = multiString(settings.dependencies);
  ServiceHandle service(::CreateServiceA(
      manager.get(), settings.name.c_str(), settings.displayName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
      settings.dependencies.empty() ? nullptr : dependencies.c_str(),
      settings.account.empty() ? nullptr : settings.account.c_str(), nullptr));
  if (!service) return failure(("Can't install the service \"" + settings.name + "\"").c_str(), ::GetLastError());
  std::string error = configureRecovery(service.get(), settings, warnings);
  if (error.empty()) error = setServiceEnvironment(settings.name, settings.environment);
  if (error.empty()) error = registerEventSource(settings.name, *program);
  if (!error.empty()) {
    // Half an installation is none: what was made goes again.
    ::DeleteService(service.get());
    return error;
  }
  return "";
}

std::string uninstallService(const std::string& name, unsigned stopSeconds) {
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return failure("Can't open the Service Control Manager", ::GetLastError());
  ServiceHandle service(::OpenServiceA(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) return failure(("Can't open the service \"" + name + "\"").c_str(), ::GetLastError());
  SERVICE_STATUS status{};
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(stopSeconds);
    while (status.dwCurrentState != SERVICE_STOPPED && std::chrono::steady_clock::now() < deadline) {
      ::Sleep(250);
      if (!::QueryServiceStatus(service.get(), &status)) break;
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
      return "The service \"" + name + "\" did not stop within " + std::to_string(stopSeconds) +
             " s; it stays installed";
    }
  }
  if (!::DeleteService(service.get())) {
    return failure(("Can't remove the service \"" + name + "\"").c_str(), ::GetLastError());
  }
  const std::string source = kEventLogKey + name;
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, source.c_str());
  return "";
}

std::vector<std::string> serviceEnvironment(const std::string& name) { return serviceList(name, "Environment"); }

ServiceFacts queryService(const std::string& name) {
  ServiceFacts facts;
  ServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    facts.error = failure("Can't open the Service Control Manager", ::GetLastError());
    return facts;
  }
  ServiceHandle service(::OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
  if (!service) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) facts.error = failure("Can't open the service", error);
    return facts;
  }
  facts.installed = true;
  SERVICE_STATUS status{};
  facts.state = ::QueryServiceStatus(service.get(), &status) ? stateName(status.dwCurrentState) : "unknown";
  if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR) facts.exitCode = static_cast<int>(status.dwServiceSpecificExitCode);
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<BYTE> config(needed + sizeof(QUERY_SERVICE_CONFIGW));
  if (needed > 0 && ::QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()), needed,
                                          &needed)) {
    const auto* read = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data());
    facts.commandLine = narrowed(read->lpBinaryPathName);
  }
  // From the service's key, where the Service Control Manager keeps them:
  // not every system's query hands them back.
  facts.dependencies = serviceList(name, "DependOnService");
  facts.restartsAfterCrash = restartsAfterCrash(service.get(), &facts.restartDelaySeconds);
  SERVICE_FAILURE_ACTIONS_FLAG flag{};
  if (::QueryServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, reinterpret_cast<BYTE*>(&flag),
                             sizeof flag, &needed)) {
    facts.restartsAfterReportedFailure = flag.fFailureActionsOnNonCrashFailures != FALSE;
  }
  return facts;
}

bool runAsService(const std::string& name, const std::function<int(ServiceControl&)>& body,
                  const std::function<void(ServiceRequest)>& onRequest, int& result) {
  ServiceRun run;
  run.name = name;
  run.body = &body;
  run.onRequest = &onRequest;
  currentRun = &run;
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(run.name.c_str()), serviceMain}, {nullptr, nullptr}};
  const bool dispatched = ::StartServiceCtrlDispatcherA(table) != FALSE;
  currentRun = nullptr;
  if (!dispatched) return false;
  result = run.result;
  return true;
}

void writeEvent(const std::string& source, EventKind kind, const std::string& text) {
  const HANDLE log = ::RegisterEventSourceA(nullptr, source.c_str());
  if (log == nullptr) return;
  const WORD type = kind == EventKind::kError     ? EVENTLOG_ERROR_TYPE
                    : kind == EventKind::kWarning ? EVENTLOG_WARNING_TYPE
                                                  : EVENTLOG_INFORMATION_TYPE;
  const char* strings[] = {text.c_str()};
  ::ReportEventA(log, type, 0, kEventTextId, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(log);
}

}  // namespace platform
