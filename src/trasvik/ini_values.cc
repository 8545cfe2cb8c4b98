#include "trasvik/ini_values.h"

#include <string_view>
#include <vector>

#include "qnsys/qnsys.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

std::string iniText(const char* section, const char* key, std::size_t bufferSize, const char* fallback) {
  std::vector<char> buffer(bufferSize, '\0');
  const unsigned length = QnIniCustGetStr(QNSYS_OPEN_INI, buffer.data(), static_cast<unsigned>(bufferSize), section, key,
                                          fallback);
  return std::string(buffer.data(), length);
}

int iniInteger(const char* section, const char* key, int fallback) {
  return QnIniCustGetInt(QNSYS_OPEN_INI, section, key, fallback);
}

namespace {

// An optional sign, then decimal digits, or "0x" and hexadecimal digits,
// with blanks around; decimal within int's range.
bool isWholeNumber(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  const bool hexadecimal = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hexadecimal) text.remove_prefix(2);
  if (text.empty()) return false;
  for (const char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit && !(hexadecimal && hexLetter)) return false;
  }
  return hexadecimal ? text.size() <= 8 : text.size() <= 9 || (text.size() == 10 && text <= "2147483647");
}

}  // namespace

int iniNumber(const char* section, const char* key, int fallback) {
  const int value = iniInteger(section, key, fallback);
  const std::string text = iniText(section, key, 256, "");
  if (text.empty() && value == fallback) return value;  // absent, or empty as if absent
  if (!isWholeNumber(text)) {
    GATEWAY_WARNING("Wrong [%s]:%s value \"%s\", using %d", section, key, text.c_str(), value);
  }
  return value;
}

void warnForced(const char* section, const char* key, int value, int forced) {
  GATEWAY_WARNING("Wrong [%s]:%s=%d, forcing to %d", section, key, value, forced);
}

std::string iniFileName() {
  char buffer[256] = {};
  unsigned size = sizeof buffer;
  if (QnIniGetFileName(QNSYS_OPEN_INI, buffer, &size) != 0) return std::string();
  return std::string(buffer);
}

}  // namespace trasvik
