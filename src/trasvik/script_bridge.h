// The script bridge: composing the small scripts the gateway has the service
// evaluate (script_texts.h), running them through the client library's
// Execute, and reading their results. All calls on the thread that opened
// the service context.
#pragma once

#include <string>
#include <string_view>

#include "trasvik/library_text.h"

namespace trasvik {

// Makes a value safe to put between the quotes of a script string literal
// (single or double): a backslash before every backslash and both quotes;
// line feed, carriage return, U+2028 and U+2029 as escapes. A value can so
// never end the literal and run as code, and the service receives exactly
// the value.
std::string escapeScriptText(std::string_view value);

// Evaluates the script in the service context. False on failure: the
// caller obtains the reason with lastError() (session.h).
bool runScript(const std::string& script, LibraryText& result);

// The script object literal of an INI section: one property per key, in the
// host library's order. A value that reads "function(){" once white space
// is removed becomes a getter with the value as its function text; any other
// value a string property.
std::string sectionObjectScript(const char* section);

// Splits "EMAIL@ticker.service" into ticker and service by the service's
// own pattern (word characters only). False for other texts, for texts
// longer than 32 characters or holding a double quote. A failing script
// throws ScriptError with the failure text.
bool parseAddress(const std::string& text, std::string& ticker, std::string& service);

}  // namespace trasvik
