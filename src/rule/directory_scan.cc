#include "rule/directory_scan.h"

#include <optional>
#include <set>

#include "platform/directory.h"
#include "platform/path.h"
#include "rule/directories.h"
#include "rule/rule_text.h"
#include "rule/skip_reports.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/settings.h"

namespace trasvik {

void scanDirectory(std::vector<FileEntry>& list, const std::string& pattern, std::uint64_t sizeLimit) {
  const std::string prefix = platform::directoryPrefix(pattern);
  const std::string directory = prefix.empty() ? std::string(".") : prefix;
  const std::string namePattern = platform::baseName(pattern);

  std::vector<platform::DirectoryEntry> entries;
  if (const int error = platform::scanDirectory(directory, namePattern, entries)) {
    // Said once a pass: else a directory that cannot be read looks empty,
    // and its rule sends nothing without a word.
    GATEWAY_WARNING("Can't read directory \"%s\", %s", directory.c_str(), errnoText(error).c_str());
  }
  const int tries = settings().retryonerror;
  const PathLengthLimit limit(directory);
  std::set<std::string> present;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    present.insert(entry.name);
    // Each skipped file is reported once, not once a pass.
    if (const SkipReason skip = skipReasonOf(entry, sizeLimit, limit.tooLong(entry.name)); skip.warning != nullptr) {
      GATEWAY_DEBUG("Scan of \"%s\": \"%s\" skipped, %llu bytes: %s", directory.c_str(), entry.name.c_str(),
                    static_cast<unsigned long long>(entry.size), skip.reason);
      if (isNewReport(directory + entry.name, skip.warning)) GATEWAY_WARNING(skip.warning, entry.name.c_str());
    } else {
      GATEWAY_DEBUG("Scan of \"%s\": \"%s\" taken, %llu bytes", directory.c_str(), entry.name.c_str(),
                    static_cast<unsigned long long>(entry.size));
      FileEntry file;
      file.name = entry.name;
      file.addressTries = tries;
      file.folderTries = tries;
      list.push_back(std::move(file));
    }
  }
  forgetReportsOfMissing(directory, namePattern, present);
}

SkipReason skipReasonOf(const platform::DirectoryEntry& entry, std::uint64_t sizeLimit, bool pathTooLong) {
  if (entry.unwritableName) {
    return {"File \"%s\" has a name the system's code page cannot write. Ignoring", "name not in the code page"};
  }
  if (pathTooLong) return {"File \"%s\" has a path too long to be opened. Ignoring", "path too long"};
  if (entry.notRegular) return {"File \"%s\" is not a regular file. Ignoring", "not a regular file"};
  if (entry.readOnly || entry.hidden || entry.system) {
    return {"File \"%s\" is ReadOnly, Hidden or System. Ignoring", "read-only, hidden or system"};
  }
  if (sizeLimit != 0 && entry.size > sizeLimit) {
    return {"File \"%s\" is too long. Ignoring", "longer than the rule's limit"};
  }
  return {};
}

// The service opens the files by their absolute paths; on Windows a path
// of kMaxPath characters or more opens nothing.
PathLengthLimit::PathLengthLimit(const std::string& directory) {
  const std::optional<std::string> absolute = platform::absolutePath(directory);
  directoryLength_ = absolute ? platform::withTrailingSeparator(*absolute).size() : platform::kMaxPath;
}

bool PathLengthLimit::tooLong(const std::string& name) const {
  return directoryLength_ + name.size() >= platform::kMaxPath;
}

}  // namespace trasvik
