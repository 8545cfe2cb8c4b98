// Composing script texts: escaping values for string literals and building
// object literals. Pure text functions (no service call), thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trasvik {

// Makes a value safe to put between the quotes of a script string literal
// (single or double): a backslash before every backslash and both quotes;
// line feed, carriage return, and where texts are UTF-8 (platform/
// code_page.h) U+2028 and U+2029, as escapes. A value can so
// never end the literal and run as code, and the service receives exactly
// the value.
std::string escapeScriptText(std::string_view value);

// A script whose value is an object with one property per key, in the
// given order. A value that reads "function(){" once white space is removed
// becomes a getter with the value as its function text; any other value a
// string property.
std::string objectLiteralScript(const std::vector<std::pair<std::string, std::string>>& keys);

}  // namespace trasvik
