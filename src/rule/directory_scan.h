// The scan of an outgoing directory for files to send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/directory.h"

namespace trasvik {

// One candidate file of a send pass.
struct FileEntry {
  std::string name;  // within the scanned directory
  int addressTries = 0;
  int folderTries = 0;
  bool addressDone = false;
  bool folderDone = false;
  bool addressAttached = false;
  bool folderAttached = false;
  std::string addressError;
  std::string folderError;
  bool knownUnopenable = false;
};

// Appends a record, with both tries at "retryonerror", for every file that
// matches `pattern` (a directory followed by a wildcard name), in the order
// the directory yields them. Subdirectories are skipped silently;
// read-only, hidden and system files, and files larger than `sizeLimit`
// (when not 0) with a warning.
void scanDirectory(std::vector<FileEntry>& list, const std::string& pattern, std::uint64_t sizeLimit);

// Why a scan skips a file: the warning (a printf pattern of the file's
// name) and the reason in a few words; none for a file it takes.
struct SkipReason {
  const char* warning = nullptr;
  const char* reason = nullptr;
};
// The reason for `entry` of a directory (not itself a directory), whose
// path would be too long to open when `pathTooLong`.
SkipReason skipReasonOf(const platform::DirectoryEntry& entry, std::uint64_t sizeLimit, bool pathTooLong);

// The length from which a file's path in `directory` is too long to be
// opened: the absolute directory's length with its separator is measured
// once, and a name adds only itself.
class PathLengthLimit {
 public:
  explicit PathLengthLimit(const std::string& directory);
  bool tooLong(const std::string& name) const;

 private:
  std::size_t directoryLength_;
};

}  // namespace trasvik
