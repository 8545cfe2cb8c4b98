// The scan of an outgoing directory for files to send.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace trasvik
