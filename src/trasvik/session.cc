#include "trasvik/session.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/socket.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/stop_control.h"
#include "trasvik/supervision.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr char kNotOwner[] = "Thread do not own context pointer provided";
constexpr char kRpcCallPrefix[] = "RPC call ";
constexpr char kRpcCallSuffix[] = "failed";
// What the library says when the service's version could not be asked for
// at all: nothing answers at its address.
constexpr char kVersionCallFailed[] = "Failed to get service version";

DravontContext_s* context = nullptr;
bool reconnectSettingsRead = false;
int reconnectTries = 5;
unsigned reconnectTimeoutMs = 2000;

// Where the client library finds the service: 127.0.0.1 at the port in
// XMLRPCPORT, else 12069.
constexpr char kServiceHost[] = "127.0.0.1";
constexpr int kDefaultServicePort = 12069;

int servicePort() {
  const std::optional<std::string> text = platform::environmentVariable("XMLRPCPORT");
  if (!text) return kDefaultServicePort;
  const int port = std::atoi(text->c_str());
  return port > 0 ? port : kDefaultServicePort;
}

}  // namespace

std::string serviceAddressText() { return std::string(kServiceHost) + ":" + std::to_string(servicePort()); }

std::string serviceUnreachableReason() {
  const int socket = platform::createTcpSocket();
  if (socket < 0) return "";
  const bool connected = platform::connectSocket(socket, kServiceHost, servicePort());
  const std::string reason = connected ? std::string() : platform::lastSocketErrorDescription();
  platform::closeSocket(socket);
  return reason;
}

namespace {

// The library says only that a call failed; a connection of the gateway's
// own to the service's address tells the administrator why, when it is
// that the service cannot be reached at all.
void reportUnreachableService() {
  if (const std::string reason = serviceUnreachableReason(); !reason.empty()) {
    GATEWAY_WARNING("service at %s not reachable: %s", serviceAddressText().c_str(), reason.c_str());
  }
}

// The library hands texts back in blocks from this allocator; the gateway
// frees them with std::free.
void* allocateForLibrary(unsigned int size) { return std::malloc(size); }

// One "stoperrors" token: its leading decimal number, or, when that is 0,
// the token read as hexadecimal ("0x1F"); nullopt when it is no number.
std::optional<int> stopErrorValue(const std::string& token) {
  try {
    const int decimal = std::stoi(token);
    return decimal != 0 ? decimal : std::stoi(token, nullptr, 16);
  } catch (const std::logic_error&) {  // no number, or out of range
    return std::nullopt;
  }
}

std::vector<int> readStopErrors() {
  std::istringstream tokens(iniText("trasvik", "stoperrors", 1024));
  std::vector<int> values;
  for (std::string token; tokens >> token;) {
    if (const std::optional<int> value = stopErrorValue(token)) {
      values.push_back(*value);
    } else {
      GATEWAY_WARNING("Wrong [trasvik]:stoperrors value \"%s\", ignored", token.c_str());
    }
  }
  return values;
}

void readReconnectSettings() {
  if (reconnectSettingsRead) return;
  reconnectSettingsRead = true;
  const int tries = iniNumber("trasvik", "reconnect_tries", 5);
  reconnectTries = tries < 1 ? 1 : tries > 20 ? 20 : tries;
  if (reconnectTries != tries) warnForced("trasvik", "reconnect_tries", tries, reconnectTries);
  const int timeout = iniNumber("trasvik", "reconnect_timeout", 2);
  int seconds = timeout == 0 ? 1 : static_cast<unsigned>(timeout) > 30 ? 30 : timeout;
  if (timeout != 0 && seconds != timeout) warnForced("trasvik", "reconnect_timeout", timeout, seconds);
  GATEWAY_INFO("connecting to service parameters: tries %d, tymeout %d sec", reconnectTries, seconds);
  reconnectTimeoutMs = static_cast<unsigned>(seconds) * 1000;
}

}  // namespace

std::string libraryErrorText() {
  const char* text = Quillex::GetLastDravontError();
  return text != nullptr ? text : "";
}

DravontContext_s* openServiceContext() {
  const std::string settingsFile = iniText("trasvik", "srvcini", 1024);
  if (settingsFile.empty()) {
    GATEWAY_FATAL("No Service ini file name ([trasvik]:srvcini)");
    return nullptr;
  }
  // A missing file is no reason to try again and again.
  if (!platform::pathExists(settingsFile)) {
    GATEWAY_FATAL("Service ini file \"%s\" doesn't exist ([trasvik]:srvcini)", settingsFile.c_str());
    return nullptr;
  }
  const std::vector<int> stopErrors = readStopErrors();
  readReconnectSettings();

  for (int countdown = reconnectTries;;) {
    if (stopRequested()) return nullptr;
    int status = 0;
    context = Quillex::InitContext(settingsFile.c_str(), allocateForLibrary, &status);
    if (context != nullptr) {
      serviceOutage().ended();
      return context;
    }
    for (const int stopError : stopErrors) {
      if (status != stopError) continue;
      GATEWAY_FATAL("Can't init context, the service refused it with status %d ([trasvik]:stoperrors)", status);
      return nullptr;
    }
    const std::string error = libraryErrorText();
    // Supervised, an outage of the service is waited out however long it
    // lasts; a refusal by a service that answers is counted down as ever.
    if (supervised() && isOutageText(error)) {
      if (!serviceOutage().waitBeforeNextTry(error, reconnectTimeoutMs)) return nullptr;
      continue;
    }
    reportUnreachableService();
    if (--countdown == 0) {
      GATEWAY_FATAL("Can't init context, %s", error.c_str());
      return nullptr;
    }
    GATEWAY_ERROR("Can't init context, %s", error.c_str());
    pauseUnlessStopped(reconnectTimeoutMs);
  }
}

bool isOutageText(const std::string& text) { return text == kVersionCallFailed || isLostSessionText(text); }

ServiceOutage& serviceOutage() {
  static ServiceOutage outage;
  return outage;
}

bool ServiceOutage::waitBeforeNextTry(const std::string& error, unsigned pauseMilliseconds) {
  // The stop request machinery is there before the first session opens, so
  // that a stop ends the wait.
  if (!stopMachineryReady() && !createStopMachinery()) return false;
  const std::time_t now = std::time(nullptr);
  // The service's address is tried once more only for a record that names why.
  const auto why = [&] {
    const std::string reason = serviceUnreachableReason();
    return reason.empty() ? error : reason;
  };
  if (since_ == 0) {
    since_ = now;
    remindedAt_ = now;
    const std::string text = formatText("The service at %s is not reachable (%s); waiting for it",
                                        serviceAddressText().c_str(), why().c_str());
    GATEWAY_WARNING("%s", text.c_str());
    reportServiceEvent(platform::EventKind::kWarning, text);
  } else if (now - remindedAt_ >= kReminderSeconds) {
    remindedAt_ = now;
    GATEWAY_WARNING("The service at %s is still not reachable (%s), for %lld min now; waiting for it",
                    serviceAddressText().c_str(), why().c_str(), static_cast<long long>((now - since_) / 60));
  }
  waitingForService(since_, pauseMilliseconds);
  // Each step of the wait tells the watchdog that the gateway lives.
  for (unsigned waited = 0; waited < pauseMilliseconds; waited += kWaitStepMilliseconds) {
    if (waitForStop(std::min(kWaitStepMilliseconds, pauseMilliseconds - waited))) return false;
    keepAlive();
  }
  return true;
}

void ServiceOutage::ended() {
  serviceAvailable();
  if (since_ == 0) return;
  const std::string text = formatText("The service at %s is reachable again after %lld s",
                                      serviceAddressText().c_str(), static_cast<long long>(std::time(nullptr) - since_));
  GATEWAY_INFO("%s", text.c_str());
  reportServiceEvent(platform::EventKind::kInformation, text);
  since_ = 0;
}

DravontContext_s* serviceContext() { return context; }

void releaseServiceContext() {
  if (context == nullptr) return;
  Quillex::FreeContext(context);
  context = nullptr;
}

unsigned reconnectTimeout() { return reconnectTimeoutMs; }

bool isLostSessionText(const std::string& text) {
  return text == kNotOwner || (text.size() > 15 && text.starts_with(kRpcCallPrefix) && text.ends_with(kRpcCallSuffix));
}

std::string lastError() {
  const std::string text = libraryErrorText();
  if (text == kNotOwner) throw ContextError(0);
  if (isLostSessionText(text)) {
    pauseUnlessStopped(reconnectTimeoutMs);
    throw ContextError(1);
  }
  return text;
}

void throwIfSessionLost() {
  if (isLostSessionText(libraryErrorText())) lastError();
}

void criticalAbort(const char* sourceFile, int line) {
  QnSystemLogEx(3, "QnZoRezida:CRITICAL ERROR!", 1, "Critical error in  %s (%d). Program aborted.", sourceFile, line);
  throw CriticalAbort();
}

}  // namespace trasvik
