#include "dravontdll/absolute_path.h"

#include <cerrno>
#include <cstring>

#include "dravontdll/last_error.h"
#include "platform/path.h"

namespace Quillex {

namespace {

constexpr char kTooLong[] = "Too long file path";
constexpr char kCannotConvert[] = "Can't covert relative file path to absolute path";

}  // namespace

std::optional<std::string> toAbsolutePath(const char* path) {
  if (path == nullptr) return std::nullopt;
  std::string absolute;
  if (!platform::isRelativePath(path)) {
    absolute.assign(path);
  } else {
    const std::optional<std::string> directory = platform::currentDirectory();
    if (!directory) {
      recordLastError(errno == ERANGE || errno == ENAMETOOLONG ? kTooLong : kCannotConvert);
      return std::nullopt;
    }
    absolute = platform::joinPath(*directory, path);
  }

  // The service must never see a silently cut path: a canonical form over
  // the limit is a failure.
  std::optional<std::string> canonical = platform::canonicalizePath(absolute);
  if (!canonical) recordLastError(kTooLong);
  return canonical;
}

}  // namespace Quillex
