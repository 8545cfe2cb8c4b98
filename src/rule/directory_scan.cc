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
  // The service opens the files by their absolute paths; on Windows a path
  // of kMaxPath characters or more opens nothing.
  // Worked out once a scan: a name adds only itself to its directory's path.
  const std::optional<std::string> absoluteDirectory = platform::absolutePath(directory);
  const std::size_t directoryLength =
      absoluteDirectory ? platform::withTrailingSeparator(*absoluteDirectory).size() : platform::kMaxPath;
  const auto tooLong = [&](const std::string& name) { return directoryLength + name.size() >= platform::kMaxPath; };
  std::set<std::string> present;
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    present.insert(entry.name);
    // Each skipped file is reported once, not once a pass.
    const auto warnOnce = [&](const char* format, const char* reason) {
      GATEWAY_DEBUG("Scan of \"%s\": \"%s\" skipped, %llu bytes: %s", directory.c_str(), entry.name.c_str(),
                    static_cast<unsigned long long>(entry.size), reason);
      if (isNewReport(directory + entry.name, format)) GATEWAY_WARNING(format, entry.name.c_str());
    };
    if (entry.unwritableName) {
      warnOnce("File \"%s\" has a name the system's code page cannot write. Ignoring", "name not in the code page");
    } else if (tooLong(entry.name)) {
      warnOnce("File \"%s\" has a path too long to be opened. Ignoring", "path too long");
    } else if (entry.notRegular) {
      warnOnce("File \"%s\" is not a regular file. Ignoring", "not a regular file");
    } else if (entry.readOnly || entry.hidden || entry.system) {
      warnOnce("File \"%s\" is ReadOnly, Hidden or System. Ignoring", "read-only, hidden or system");
    } else if (sizeLimit != 0 && entry.size > sizeLimit) {
      warnOnce("File \"%s\" is too long. Ignoring", "longer than the rule's limit");
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

}  // namespace trasvik
