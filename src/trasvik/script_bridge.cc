#include "trasvik/script_bridge.h"

#include <cctype>
#include <new>

#include "dravont/dravontdll.h"
#include "qnsys/qnsys.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/text_format.h"

namespace trasvik {

std::string escapeScriptText(std::string_view value) {
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
        if (c == '\xE2' && i + 2 < value.size() && value[i + 1] == '\x80' &&
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

bool runScript(const std::string& script, LibraryText& result) {
  return Quillex::Execute(serviceContext(), script.c_str(), result.out()) == 0;
}

namespace {

int appendKeyStatement(int, const char* key, const char* value, void* context) {
  std::string& script = *static_cast<std::string*>(context);
  std::string compact;
  for (const char* p = value; *p != '\0'; ++p) {
    if (!std::isspace(static_cast<unsigned char>(*p))) compact += *p;
  }
  if (compact.starts_with("function(){")) {
    script += "o.__defineGetter__(\"" + escapeScriptText(key) + "\"," + value + ");";
  } else {
    script += "o[\"" + escapeScriptText(key) + "\"]=\"" + escapeScriptText(value) + "\";";
  }
  return 0;
}

}  // namespace

std::string sectionObjectScript(const char* section) {
  try {
    std::string script = "(function(){var o={};";
    QnIniCustEnumKeys(QNSYS_OPEN_INI, section, appendKeyStatement, &script);
    script += "return o;})();";
    return script;
  } catch (const std::bad_alloc&) {
    criticalAbort(__FILE__, __LINE__);
  }
}

bool parseAddress(const std::string& text, std::string& ticker, std::string& service) {
  if (text.size() > 32 || text.find('"') != std::string::npos) return false;
  LibraryText result;
  if (!runScript(formatText(scripts::kParseAddress, escapeScriptText(text).c_str()), result)) {
    throw ScriptError(lastError());
  }
  if (result.empty()) return false;
  const std::string pair = result.text();
  const std::size_t comma = pair.find(',');
  ticker = pair.substr(0, comma);
  service = comma == std::string::npos ? std::string() : pair.substr(comma + 1);
  return true;
}

}  // namespace trasvik
