// The gateway's process-wide settings from section [trasvik], the three
// service URLs and the gateway's own address. Written by init() at every
// service session start; read by the main cycle and the rules.
#pragma once

#include <string>

#include "dravont/dravontdll.h"

namespace trasvik {

struct GatewaySettings {
  unsigned sleeptime = 60000;  // pause between passes, milliseconds
  unsigned ncollect = 1;       // messages per collect call; 0: one call per pass
  unsigned switchafter = 2147483647;
  int retryonerror = 3;
  bool adminMailOnly = false;
  Quillex::DravontURL sendUrl{};
  Quillex::DravontURL folderUrl{};
  Quillex::DravontURL receiveUrl{};
  std::string selfAddress;  // EMAIL@ticker.service, empty when unknown
  int protectionLevel = 2;
  std::string sent;   // with a trailing separator, or empty
  std::string error;  // with a trailing separator
  std::string outFileError = "err";
  int loops = 0;  // passes before the gateway ends; 0: no limit
  int fileTimeout = 1;
  bool recvDNinfo = false;
  std::string recvDNprefix;  // default "./", on Windows ".\"
  std::string detachedSignaturePattern;
  // How long a file that another program holds is waited for before it is
  // left for a later pass ("lock_wait", seconds).
  unsigned lockWaitMilliseconds = 30000;
  // Posts carry a post token ("post_token", on unless 0).
  bool postToken = true;
  // The gateway's own alarms (alarms.h); 0: off.
  long long alarmWaitingMinutes = 0;
  unsigned long long alarmErrorFiles = 0;
  long long alarmStaleMinutes = 0;
  // Set by /check before the start: everything is read and tried as at a
  // real start, but nothing is sent, confirmed, removed or made, and no
  // notification goes out.
  bool checkOnly = false;
};

// The settings as the last init() left them.
GatewaySettings& settings();

// Reads the settings, sets up the URLs and the stop machinery. False after
// the fatal record (and, for some failures, a notification): the gateway
// cannot run. May throw ContextError.
bool init();

// The number of a protection-level name (any letter case), -1 for none.
int protectionLevelByName(const std::string& name);

}  // namespace trasvik
