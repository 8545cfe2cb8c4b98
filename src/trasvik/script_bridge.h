// The script bridge: composing the small scripts the gateway has the service
// evaluate (script_texts.h), running them through the client library's
// Execute, and reading their results. All calls on the thread that opened
// the service context.
#pragma once

#include <string>
#include <string_view>

#include "trasvik/library_text.h"
#include "trasvik/script_text.h"

namespace trasvik {

// Evaluates the script in the service context. False on failure: the
// caller obtains the reason with lastError() (session.h).
bool runScript(const std::string& script, LibraryText& result);

// The object literal script (objectLiteralScript) of every key of an INI
// section, in the host library's order.
std::string sectionObjectScript(const char* section);

// Splits "EMAIL@ticker.service" into ticker and service by the service's
// own pattern (word characters only). False for other texts, for texts
// longer than 32 characters or holding a double quote. A failing script
// throws ScriptError with the failure text.
bool parseAddress(const std::string& text, std::string& ticker, std::string& service);

}  // namespace trasvik
