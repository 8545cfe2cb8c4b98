#include "trasvik/settings.h"

#include <algorithm>
#include <new>

#include "platform/path.h"
#include "rule/directories.h"
#include "text/ascii.h"
#include "trasvik/gateway_log.h"
#include "trasvik/ini_values.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/stop_control.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr char kSection[] = "trasvik";
constexpr int kLevelNotANumber = -666;

GatewaySettings current;

struct LevelName {
  const char* name;
  int level;
};
constexpr LevelName kLevelNames[] = {{"Cleartext", 0},           {"Signed", 1},         {"SignedEncrypted", 2},
                                     {"MIMESignedEncrypted", 4}, {"DetachedSigned", 5}, {"DetachedSignedEcripted", 6}};

// Sets up `url` from the parameter section: its "url" key and the object
// literal of all its keys.
bool setUpUrl(Quillex::DravontURL& url, const std::string& section) {
  const std::string address = iniText(section.c_str(), "url", 256);
  const std::string parameters = sectionObjectScript(section.c_str());
  return Quillex::InitDravontURL(&url, serviceContext(), address.c_str(), parameters.c_str()) == 0;
}

void readSleepTime(GatewaySettings& s) {
  const int seconds = iniNumber(kSection, "sleeptime", 60);
  unsigned value = static_cast<unsigned>(seconds);
  if (seconds == 0) {
    GATEWAY_WARNING("init(): wrong [trasvik]:sleeptime=%d, forcing to 1", seconds);
    value = 1;
  } else if (value > 600) {
    GATEWAY_WARNING("init(): wrong [trasvik]:sleeptime=%d, forcing to 600", seconds);
    value = 600;
  }
  s.sleeptime = value * 1000;
}

// The gateway's own address, from the service's sender address; empty when
// the service does not tell it.
bool readSelfAddress(GatewaySettings& s) {
  Quillex::DravontAddress_s address{};
  if (Quillex::GetDravontSenderAddress(serviceContext(), &address) != 0) {
    const std::string error = lastError();
    GATEWAY_FATAL("Can't get self address %s", error.c_str());
    return false;
  }
  LibraryText text;
  s.selfAddress.clear();
  if (runScript(formatText(scripts::kAddressText, static_cast<unsigned>(Quillex::GetDravontAddressHandle(&address))),
                text) &&
      text.text() != nullptr) {
    s.selfAddress = text.text();
  }
  Quillex::FreeDravontAddress(&address);
  return true;
}

bool readProtectionLevel(GatewaySettings& s) {
  const int number = iniInteger(kSection, "protectionlevel", kLevelNotANumber);
  if (number != kLevelNotANumber) {
    s.protectionLevel = number;
    return true;
  }
  const std::string name = iniText(kSection, "protectionlevel", 256, "SignedEncrypted");
  const int level = protectionLevelByName(name);
  if (level < 0) {
    reportFatal("Wrong [trasvik]:protectionlevel \"%s\", must be \"Cleartext\", \"Signed\", \"SignedEncrypted\", or "
                "\"MIMESignedEncrypted\", or \"DetachedSignedEcripted\"",
                name.c_str());
    return false;
  }
  s.protectionLevel = level;
  return true;
}

// Sets up `url` from the parameter section that the key `key` names.
// `failure` is the fatal record's format (section, failure text).
bool setUpUrlFromKey(Quillex::DravontURL& url, const char* key, const char* failure) {
  const std::string section = iniText(kSection, key, 256);
  if (setUpUrl(url, section)) return true;
  const std::string error = lastError();
  GATEWAY_FATAL(failure, section.c_str(), error.c_str());
  return false;
}

bool readUrls(GatewaySettings& s) {
  if (iniText(kSection, "sendparam", 256).empty()) {
    GATEWAY_FATAL("No [trasvik]:sendparam in ini file");
    return false;
  }
  if (!setUpUrlFromKey(s.sendUrl, "sendparam", "Can't init send url from section [%s], %s")) return false;
  if (!iniText(kSection, "folderparam", 256).empty()) {
    if (!setUpUrlFromKey(s.folderUrl, "folderparam", "Can't init send url from section [%s], %s")) return false;
  } else {
    Quillex::InitDravontURLByHandle(&s.folderUrl, serviceContext(), 0);
  }
  if (iniText(kSection, "recvparam", 256).empty()) {
    GATEWAY_FATAL("No [trasvik]:recvparam in ini file");
    return false;
  }
  return setUpUrlFromKey(s.receiveUrl, "recvparam", "Can't init recv url from section [%s], %s");
}

}  // namespace

GatewaySettings& settings() { return current; }

int protectionLevelByName(const std::string& name) {
  for (const LevelName& entry : kLevelNames) {
    if (text::equalsIgnoringAsciiCase(name, entry.name)) return entry.level;
  }
  return -1;
}

bool init() {
  if (!createStopMachinery()) criticalAbort(__FILE__, __LINE__);
  GatewaySettings& s = current;

  readSleepTime(s);
  s.ncollect = static_cast<unsigned>(iniNumber(kSection, "ncollect", 1));
  s.switchafter = static_cast<unsigned>(iniNumber(kSection, "switchafter", 2147483647));
  s.retryonerror = iniNumber(kSection, "retryonerror", 3);
  // No try at all would count a leg that never ran as done: a folder-only
  // FILE rule would then delete its files unsent.
  if (s.retryonerror < 1) {
    GATEWAY_WARNING("init(): wrong [trasvik]:retryonerror=%d, forcing to 1", s.retryonerror);
    s.retryonerror = 1;
  }
  s.adminMailOnly = iniNumber(kSection, "admin_mail_only", 0) != 0;

  if (!readUrls(s) || !readSelfAddress(s)) return false;
  prepareNotificationUrl();
  if (!readProtectionLevel(s)) return false;

  if (!readDirectoryKey(s.sent, kSection, "sent") || !readDirectoryKey(s.error, kSection, "error")) return false;
  s.outFileError = iniText(kSection, "outFileError", 260, "err");
  if (s.error.empty()) {
    reportFatal("No error directory ([trasvik]:error)");
    return false;
  }
  if (s.outFileError.empty()) {
    reportFatal("No file output error subdirectory name ([trasvik]:outFileError)");
    return false;
  }

  s.loops = iniNumber(kSection, "loops", 0);
  if (s.loops < 0) {
    warnForced(kSection, "loops", s.loops, 0);
    s.loops = 0;
  }
  const int fileTimeout = iniNumber(kSection, "fileTimeout", 0);
  s.fileTimeout = fileTimeout == 0 ? 1 : static_cast<unsigned>(fileTimeout) > 60000 ? 60000 : fileTimeout;
  // 0 is the key's usual "as little as possible"; only other values are wrong.
  if (fileTimeout != 0 && s.fileTimeout != fileTimeout) warnForced(kSection, "fileTimeout", fileTimeout, s.fileTimeout);
  s.recvDNinfo = iniNumber(kSection, "RecvDNinfo", 0) != 0;
  // Beside the attachment: "." and the system's separator.
  s.recvDNprefix = iniText(kSection, "RecvDNprefix", 260, platform::withTrailingSeparator(".").c_str());
  s.detachedSignaturePattern = iniText(kSection, "DetachedSignaturePattern", 260);
  const int lockWait = iniNumber(kSection, "lock_wait", 30);
  const int boundedLockWait = std::clamp(lockWait, 0, 3600);
  if (lockWait != boundedLockWait) warnForced(kSection, "lock_wait", lockWait, boundedLockWait);
  s.lockWaitMilliseconds = static_cast<unsigned>(boundedLockWait) * 1000;
  s.postToken = iniNumber(kSection, "post_token", 1) != 0;
  s.alarmWaitingMinutes = std::max(iniNumber(kSection, "alarm_waiting_minutes", 0), 0);
  s.alarmErrorFiles = static_cast<unsigned long long>(std::max(iniNumber(kSection, "alarm_error_files", 0), 0));
  s.alarmStaleMinutes = std::max(iniNumber(kSection, "alarm_stale_minutes", 0), 0);

  if (!s.detachedSignaturePattern.empty() &&
      Quillex::SetDravontDetachedSignaturePattern(serviceContext(), s.detachedSignaturePattern.c_str()) != 0) {
    const std::string error = lastError();
    GATEWAY_FATAL("Can't set detached signature pattern %s", error.c_str());
    return false;
  }
  return true;
}

}  // namespace trasvik
