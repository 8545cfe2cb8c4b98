#include "trasvik/session_start.h"

#include <exception>

#include "dravont/dravontdll.h"
#include "platform/clock.h"
#include "text/ascii.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/notification.h"
#include "trasvik/receive_cycle.h"
#include "trasvik/session.h"
#include "trasvik/settings.h"
#include "trasvik/state_file.h"
#include "trasvik/stop_control.h"

namespace trasvik {

namespace {

// What the library says when the version call itself failed (not its
// answer).
constexpr char kVersionCallFailed[] = "Failed to get service version";

// The oldest service version the gateway works with (the fourth number is
// named in the record but not compared).
constexpr unsigned kMinimumVersion[4] = {0, 12, 2, 2};

struct RuleEnumeration {
  RuleList* rules;
  std::exception_ptr failure;  // an exception is carried across the host library
};

int addNumberedRule(int, const char* key, const char* value, void* context) {
  auto& enumeration = *static_cast<RuleEnumeration*>(context);
  if (!isNumberedRuleKey(key)) return 0;
  try {
    std::unique_ptr<Rule> rule = createRule(value, false);
    if (!rule) return 12;
    enumeration.rules->push_back(std::move(rule));
    return 0;
  } catch (...) {
    enumeration.failure = std::current_exception();
    return 12;
  }
}

bool versionIsSupported(const unsigned (&version)[4]) {
  for (int i = 0; i < 3; ++i) {
    if (version[i] > kMinimumVersion[i]) return true;
    if (version[i] < kMinimumVersion[i]) return false;
  }
  return true;
}

// A confirmation that failed in an earlier session, carried out by its id.
// A session lost meanwhile keeps it pending for the next (ContextError).
void carryOutPendingConfirmation() {
  PendingConfirmation& pending = pendingConfirmation();
  if (pending.messageId.empty()) return;
  GatewaySettings& s = settings();
  const bool reject = !pending.reason.empty();
  if (Quillex::ConfirmMessage(&s.receiveUrl, pending.messageId.c_str(), reject ? 1 : 0,
                              reject ? pending.reason.c_str() : nullptr, &s.sendUrl) != 0) {
    const std::string error = lastError();
    GATEWAY_FATAL("Error in ConfirmMessage(): \"%s\"", error.c_str());
  } else {
    stateFile().forgetReceipt(pending.messageId);
    ++(reject ? passCounts().rejected : passCounts().received);
  }
  pending = PendingConfirmation{};
}

}  // namespace

void closeIniAndLog() {
  QnLogClose();
  QnIniClose();
}

void releaseSession() {
  releaseStopMachinery();
  releaseNotificationUrl();
  releaseServiceContext();
}

bool isNumberedRuleKey(std::string_view key) {
  if (key.size() < 4 || !text::equalsIgnoringAsciiCase(key.substr(0, 4), "RULE")) return false;
  for (const char c : key.substr(4)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Session start: context, settings, version, pending confirmation, rules.
// True when the cycle may run; false after the failure was reported and
// everything was closed.
bool startSession(RuleList& rules) {
  if (openServiceContext() == nullptr) {
    if (stopRequested()) return false;  // an orderly stop: the caller ends the run
    closeIniAndLog();
    return false;
  }
  if (!init()) {
    closeIniAndLog();
    return false;
  }
  int version[4] = {};
  if (Quillex::GetServiceVersion(&version[0], &version[1], &version[2], &version[3]) != 0) {
    const std::string error = libraryErrorText();
    // The call itself failed (the library's text for that): the service
    // went away after the session opened, which a new session mends.
    if (error == kVersionCallFailed) {
      pauseUnlessStopped(reconnectTimeout());
      throw ContextError(1);
    }
    GATEWAY_FATAL("Can't get service version, %s", error.c_str());
    closeIniAndLog();
    return false;
  }
  const unsigned numbers[4] = {static_cast<unsigned>(version[0]), static_cast<unsigned>(version[1]),
                               static_cast<unsigned>(version[2]), static_cast<unsigned>(version[3])};
  if (!versionIsSupported(numbers)) {
    GATEWAY_FATAL("Incompatible service version %u.%u.%u.%u (required min. %u.%u.%u.%u)", numbers[0], numbers[1],
                  numbers[2], numbers[3], kMinimumVersion[0], kMinimumVersion[1], kMinimumVersion[2],
                  kMinimumVersion[3]);
    closeIniAndLog();
    return false;
  }
  GATEWAY_INFO("Service version %u.%u.%u.%u", numbers[0], numbers[1], numbers[2], numbers[3]);
  // A check only looks: the pending confirmation waits for the real start.
  if (!settings().checkOnly) carryOutPendingConfirmation();

  rules.clear();
  RuleEnumeration enumeration{&rules, nullptr};
  const int enumerated = QnIniCustEnumKeys(QNSYS_OPEN_INI, "rules", addNumberedRule, &enumeration);
  if (enumeration.failure) std::rethrow_exception(enumeration.failure);
  if (enumerated != 0) {
    releaseSession();
    closeIniAndLog();
    return false;
  }
  const std::string mainSection = iniText("rules", "main", 64);
  if (mainSection.empty()) {
    reportFatal("No main rule in ini file (no [rules]:main)");
    releaseSession();
    closeIniAndLog();
    return false;
  }
  std::unique_ptr<Rule> mainRule = createRule(mainSection, true);
  if (!mainRule) {
    releaseSession();
    closeIniAndLog();
    return false;
  }
  rules.push_back(std::move(mainRule));
  return true;
}

}  // namespace trasvik
