// The error lines on the calling thread's OpenSSL error queue, where
// OpenSSL's own lines and the provider's come in the order they arose.
#include <openssl/err.h>

#include <cstring>

#include "provider_failure.h"

namespace vcert {

namespace {

const char* baseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

void noteError(const std::string& detail, std::source_location where) {
  ERR_new();
  ERR_set_debug(baseName(where.file_name()), static_cast<int>(where.line()), where.function_name());
  ERR_set_error(ERR_LIB_USER, ERR_R_OPERATION_FAIL, "%s", detail.c_str());
}

bool takeErrorLine(ErrorLine& line) {
  const char* file = nullptr;
  int lineNumber = 0;
  const char* function = nullptr;
  const char* data = nullptr;
  int flags = 0;
  const unsigned long error = ERR_get_error_all(&file, &lineNumber, &function, &data, &flags);
  if (error == 0) return false;

  const bool ownLine = ERR_GET_LIB(error) == ERR_LIB_USER;
  const char* reason = ownLine ? nullptr : ERR_reason_error_string(error);
  line.details = reason != nullptr ? reason : "";
  if (data != nullptr && (flags & ERR_TXT_STRING) != 0 && *data != '\0') {
    if (!line.details.empty()) line.details += ": ";
    line.details += data;
  }
  if (line.details.empty()) {
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    line.details = text;
  }
  line.file = file != nullptr ? file : "";
  line.line = lineNumber > 0 ? static_cast<std::uint32_t>(lineNumber) : 0;
  line.function = function != nullptr ? function : "";
  return true;
}

void clearErrorLines() { ERR_clear_error(); }

}  // namespace vcert
