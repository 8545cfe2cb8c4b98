#include "trasvik/script_text.h"

#include <cctype>

#include "platform/code_page.h"

namespace trasvik {

std::string escapeScriptText(std::string_view value) {
  static const bool utf8 = platform::textsAreUtf8();
  std::string escaped;
  escaped.reserve(value.size() + 8);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\':
      case '"':
      case '\'':
        escaped += '\\';
        escaped += c;
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        // U+2028 and U+2029 (E2 80 A8/A9) end a line inside a script literal.
        // In another code page these bytes are other letters, which the
        // service reads as such: no character of one ends a line.
        if (utf8 && c == '\xE2' && i + 2 < value.size() && value[i + 1] == '\x80' &&
            (value[i + 2] == '\xA8' || value[i + 2] == '\xA9')) {
          escaped += value[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
          i += 2;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string objectLiteralScript(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string script = "(function(){var o={};";
  for (const auto& [key, value] : keys) {
    std::string compact;
    for (const char c : value) {
      if (!std::isspace(static_cast<unsigned char>(c))) compact += c;
    }
    if (compact.starts_with("function(){")) {
      script += "o.__defineGetter__(\"" + escapeScriptText(key) + "\"," + value + ");";
    } else {
      script += "o[\"" + escapeScriptText(key) + "\"]=\"" + escapeScriptText(value) + "\";";
    }
  }
  return script + "return o;})();";
}

}  // namespace trasvik
