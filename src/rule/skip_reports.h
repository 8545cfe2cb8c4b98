// Outgoing files that are skipped pass after pass (no regular file, not
// readable, still being written, too long) are reported once, not once a
// pass: again only when what is said of a file changes, or after it left
// its directory and came back. Shared by the rule kinds; main thread only.
#pragma once

#include <set>
#include <string>

namespace trasvik {

// True when `text` is news about the file at `path`: the caller writes its
// record then.
bool isNewReport(const std::string& path, const std::string& text);

// The file is no longer skipped (it opened, or was sent): a later skip is
// news again.
void clearReport(const std::string& path);

// After a scan of `directory` (ending in a separator) for `pattern` that
// found the names `present`: the reports of the files it no longer holds
// are forgotten.
void forgetReportsOfMissing(const std::string& directory, const std::string& pattern,
                            const std::set<std::string>& present);

}  // namespace trasvik
