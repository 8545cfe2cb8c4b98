#include "trasvik/ini_values.h"

#include <vector>

#include "qnsys/qnsys.h"

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

std::string iniFileName() {
  char buffer[256] = {};
  unsigned size = sizeof buffer;
  if (QnIniGetFileName(QNSYS_OPEN_INI, buffer, &size) != 0) return std::string();
  return std::string(buffer);
}

}  // namespace trasvik
