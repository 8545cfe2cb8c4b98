#include "platform/durable_rename.h"

#include <stdio.h>

#include <cerrno>

#include "platform/path.h"
#include "platform/posix_file_calls.h"

namespace platform {

int renameDurably(const std::string& from, const std::string& to) {
  if (int error = posix::renameFile(from, to)) return error;
  const std::string target = directoryName(to);
  const std::string source = directoryName(from);
  if (int error = posix::syncDirectory(target)) return error;
  return source == target ? 0 : posix::syncDirectory(source);
}

int linkDurably(const std::string& from, const std::string& to) {
  int error = posix::linkFile(from, to);
  // EPERM and EOPNOTSUPP: the file system makes no hard links.
  if (error == EPERM || error == EOPNOTSUPP) error = posix::renameFile(from, to, RENAME_NOREPLACE);
  if (error) return error;
  return posix::syncDirectory(directoryName(to));
}

}  // namespace platform
