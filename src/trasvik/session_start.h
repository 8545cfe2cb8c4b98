// The start of a service session, as the gateway runs it and as /check
// tries it: context, settings, service version, pending confirmation and
// the rules; and letting go of a session and of the INI file and log.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "rule/rule.h"

namespace trasvik {

using RuleList = std::vector<std::unique_ptr<Rule>>;

// Closes the log and the INI file.
void closeIniAndLog();

// Lets go of the stop machinery, the notification URL and the context.
void releaseSession();

// True for the [rules] keys that name a numbered rule: "RULE" in any case
// followed by digits only.
bool isNumberedRuleKey(std::string_view key);

// Opens the context, reads the settings, checks the service version,
// carries out a confirmation left from an earlier session (not during a
// check) and creates the rules, the numbered ones in INI order and the main
// rule last. True when the cycle may run; false after the failure was
// reported and everything, the INI file and log included, was closed, or,
// with stopRequested() set and nothing closed, when a stop came while it
// waited for the service. May throw ContextError when the session is lost.
bool startSession(RuleList& rules);

}  // namespace trasvik
