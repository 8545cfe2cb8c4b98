// The C exports of the INI operations: argument checks and copying into the
// caller's buffers over the process-wide INI file (ini_session.h).
#include <cstring>
#include <memory>
#include <string>

#include "qnsys/ini_session.h"
#include "qnsys/qnsys.h"

namespace {

// The value for a lookup, or nullptr when the key counts as absent.
const std::string* lookUp(const std::shared_ptr<const qnsys::OpenIni>& ini, int handle, const char* section,
                          const char* key) {
  if (handle != QNSYS_OPEN_INI || !ini || section == nullptr || key == nullptr) return nullptr;
  return ini->file.find(section, key);
}

}  // namespace

extern "C" {

unsigned int QnIniOpen(const char* path) { return qnsys::openIni(path); }

void QnIniClose(void) { qnsys::closeIni(); }

unsigned int QnIniGetFileName(int ini, char* buffer, unsigned int* size) {
  if (buffer == nullptr || size == nullptr) return QNERROR_INVALID_ARGUMENT;
  if (ini != QNSYS_OPEN_INI) return QNERROR_INVALID_HANDLE;
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  if (!open) return QNERROR_NOT_OPEN;

  // Paths are bounded by platform::kMaxPath, far below the unsigned range.
  const auto length = static_cast<unsigned int>(open->path.size());
  if (*size <= length) {
    if (*size > 0) buffer[0] = '\0';
    *size = length + 1;
    return QNERROR_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, open->path.c_str(), length + 1);
  *size = length;
  return 0;
}

int QnIniCustGetInt(int ini, const char* section, const char* key, int defaultValue) {
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  const std::string* value = lookUp(open, ini, section, key);
  return value == nullptr ? defaultValue : qnsys::parseProfileInt(*value, defaultValue);
}

unsigned int QnIniCustGetStr(int ini, char* buffer, unsigned int size, const char* section, const char* key,
                             const char* defaultValue) {
  if (buffer == nullptr || size == 0) return 0;
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  const std::string* value = lookUp(open, ini, section, key);
  const char* source = value != nullptr ? value->data() : (defaultValue != nullptr ? defaultValue : "");
  const std::size_t available = value != nullptr ? value->size() : std::strlen(source);
  const std::size_t copied = available < size ? available : size - 1;
  // memmove: a caller may pass a default that lies in its own buffer.
  std::memmove(buffer, source, copied);
  buffer[copied] = '\0';
  return static_cast<unsigned int>(copied);
}

int QnIniCustEnumKeys(int ini, const char* section, QnIniEnumKeysCallback callback, void* context) {
  if (ini != QNSYS_OPEN_INI || section == nullptr || callback == nullptr) return 0;
  // The snapshot keeps the entries alive while the callback runs, whatever it
  // does with the INI file.
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  if (!open) return 0;
  const std::vector<qnsys::IniEntry>* entries = open->file.entries(section);
  if (entries == nullptr) return 0;
  for (const qnsys::IniEntry& entry : *entries) {
    if (const int result = callback(ini, entry.key.c_str(), entry.value.c_str(), context)) return result;
  }
  return 0;
}

int QnIniGetEncoding(int ini) {
  if (ini != QNSYS_OPEN_INI) return -1;
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  return open ? open->encoding : -1;
}

int QnIniCustEnumRefused(int ini, QnIniEnumRefusedCallback callback, void* context) {
  if (ini != QNSYS_OPEN_INI || callback == nullptr) return 0;
  const std::shared_ptr<const qnsys::OpenIni> open = qnsys::currentIni();
  if (!open) return 0;
  for (const qnsys::RefusedText& refused : open->refused) {
    if (const int result = callback(ini, refused.section.c_str(), refused.key.c_str(), context)) return result;
  }
  return 0;
}

}  // extern "C"
