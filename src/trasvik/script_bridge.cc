#include "trasvik/script_bridge.h"

#include <new>

#include "dravont/dravontdll.h"
#include "qnsys/qnsys.h"
#include "trasvik/script_texts.h"
#include "trasvik/session.h"
#include "trasvik/text_format.h"

namespace trasvik {

bool runScript(const std::string& script, LibraryText& result) {
  return Quillex::Execute(serviceContext(), script.c_str(), result.out()) == 0;
}

namespace {

using KeyList = std::vector<std::pair<std::string, std::string>>;

int collectKey(int, const char* key, const char* value, void* context) {
  static_cast<KeyList*>(context)->emplace_back(key, value);
  return 0;
}

}  // namespace

std::string sectionObjectScript(const char* section) {
  try {
    KeyList keys;
    QnIniCustEnumKeys(QNSYS_OPEN_INI, section, collectKey, &keys);
    return objectLiteralScript(keys);
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
