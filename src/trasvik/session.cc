#include "trasvik/session.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "platform/clock.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"

namespace trasvik {

namespace {

constexpr char kNotOwner[] = "Thread do not own context pointer provided";
constexpr char kRpcCallPrefix[] = "RPC call ";
constexpr char kRpcCallSuffix[] = "failed";

DravontContext_s* context = nullptr;
bool reconnectSettingsRead = false;
int reconnectTries = 5;
unsigned reconnectTimeoutMs = 2000;

// The library hands texts back in blocks from this allocator; the gateway
// frees them with std::free.
void* allocateForLibrary(unsigned int size) { return std::malloc(size); }

// One "stoperrors" token: its leading decimal number, or, when that is 0,
// the token read as hexadecimal ("0x1F").
int stopErrorValue(const std::string& token) {
  try {
    const int decimal = std::stoi(token);
    return decimal != 0 ? decimal : std::stoi(token, nullptr, 16);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument("invalid stoi argument");
  } catch (const std::out_of_range&) {
    throw std::out_of_range("stoi argument out of range");
  }
}

std::vector<int> readStopErrors() {
  std::istringstream tokens(iniText("trasvik", "stoperrors", 1024));
  std::vector<int> values;
  for (std::string token; tokens >> token;) values.push_back(stopErrorValue(token));
  return values;
}

void readReconnectSettings() {
  if (reconnectSettingsRead) return;
  reconnectSettingsRead = true;
  reconnectTries = iniInteger("trasvik", "reconnect_tries", 5);
  if (reconnectTries < 1) reconnectTries = 1;
  if (reconnectTries > 20) reconnectTries = 20;
  int seconds = iniInteger("trasvik", "reconnect_timeout", 2);
  if (seconds == 0) seconds = 1;
  if (static_cast<unsigned>(seconds) > 30) seconds = 30;
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
  const std::vector<int> stopErrors = readStopErrors();
  readReconnectSettings();

  for (int countdown = reconnectTries;;) {
    int status = 0;
    context = Quillex::InitContext(settingsFile.c_str(), allocateForLibrary, &status);
    if (context != nullptr) return context;
    for (const int stopError : stopErrors) {
      if (status == stopError) std::exit(kFailureExitStatus);
    }
    if (--countdown == 0) {
      GATEWAY_FATAL("Can't init context, %s", libraryErrorText().c_str());
      return nullptr;
    }
    GATEWAY_ERROR("Can't init context, %s", libraryErrorText().c_str());
    platform::sleepMilliseconds(reconnectTimeoutMs);
  }
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
    platform::sleepMilliseconds(reconnectTimeoutMs);
    throw ContextError(1);
  }
  return text;
}

void criticalAbort(const char* sourceFile, int line) {
  QnSystemLogEx(3, "QnZoRezida:CRITICAL ERROR!", 1, "Critical error in  %s (%d). Program aborted.", sourceFile, line);
  std::exit(kFailureExitStatus);
}

}  // namespace trasvik
