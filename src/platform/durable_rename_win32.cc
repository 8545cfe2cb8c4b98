#include "platform/durable_rename.h"

#include <cerrno>

#include "platform/win32_file_calls.h"

namespace platform {

// Written-through moves and NTFS's own journal of names make a rename
// durable when it returns; there is no directory to flush.
int renameDurably(const std::string& from, const std::string& to) { return win32::moveFile(from, to, true); }

int linkDurably(const std::string& from, const std::string& to) {
  int error = win32::linkFile(from, to);
  // A file system without hard links (FAT): the file is renamed instead,
  // never replacing.
  if (error == EACCES || error == EIO) error = win32::moveFile(from, to, false);
  return error;
}

}  // namespace platform
