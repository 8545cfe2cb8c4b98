// The error lines of the libgcrypt build. libgcrypt and libksba report a
// failure as a return code, not on a queue of their own, so the back end
// notes their texts here before the provider's own line.
#include <cstring>
#include <deque>

#include "provider_failure.h"

namespace vcert {

namespace {

thread_local std::deque<ErrorLine> queue;

const char* baseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  if (backslash != nullptr && (slash == nullptr || backslash > slash)) slash = backslash;
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

void noteError(const std::string& detail, std::source_location where) {
  queue.push_back(ErrorLine{detail, baseName(where.file_name()), where.line(), where.function_name()});
}

bool takeErrorLine(ErrorLine& line) {
  if (queue.empty()) return false;
  line = std::move(queue.front());
  queue.pop_front();
  return true;
}

void clearErrorLines() { queue.clear(); }

}  // namespace vcert
