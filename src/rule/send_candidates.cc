#include "rule/send_candidates.h"

#include <optional>

#include "rule/outgoing_patterns.h"
#include "rule/unopenable_files.h"
#include "trasvik/debug_log.h"
#include "trasvik/settings.h"

namespace trasvik {

std::vector<FileEntry> chooseCandidates(const std::string& directory, std::uint64_t sizeLimit) {
  std::vector<FileEntry> entries;
  scanDirectory(entries, directory + fileRulePattern(), sizeLimit);
  std::erase_if(entries, [&](const FileEntry& entry) {
    if (!isUnopenable(directory + entry.name)) return false;
    GATEWAY_DEBUG("Scan of \"%s\": \"%s\" left for later: it could not be opened before", directory.c_str(),
                  entry.name.c_str());
    return true;
  });
  if (entries.empty()) {
    // A formerly unopenable file is tried again, oldest first, only in a
    // pass that has nothing else to send.
    if (std::optional<std::string> name = takeUnopenable(directory)) {
      FileEntry entry;
      entry.name = std::move(*name);
      entry.addressTries = entry.folderTries = settings().retryonerror;
      entries.push_back(std::move(entry));
    }
  }
  return entries;
}

bool entryFinished(const FileEntry& entry) {
  const bool addressSpent = entry.addressTries <= 0;
  const bool folderSpent = entry.folderTries <= 0;
  return (entry.addressDone && entry.folderDone) || (addressSpent && folderSpent) ||
         (addressSpent && entry.folderDone) || (folderSpent && entry.addressDone);
}

void dropFinished(std::vector<FileEntry>& entries) { std::erase_if(entries, entryFinished); }

}  // namespace trasvik
