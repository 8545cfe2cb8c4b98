// Directories of the rules: reading a directory key, checking and making
// directories, and finding names that do not collide.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trasvik {

// Reads a directory key (256 bytes): empty stays empty (true); otherwise a
// separator is appended unless the value ends with '/' or '\', and the
// directory must exist (checkDirectory). `result` is empty on failure.
bool readDirectoryKey(std::string& result, const char* section, const char* key);

// True when `path` is an existing directory; otherwise the fatal record
// naming the directory and the section, a can't-continue notification, and
// false.
bool checkDirectory(const std::string& path, const std::string& section);

// Whether the rule can move its sent files: each of `directories` (its
// outgoing directory, and its sent and error directories) must accept new
// files and give up old ones, else a file would be posted and could not
// leave, and be posted again. False after a fatal record and a
// notification, given once while the condition lasts: the rule then sends
// nothing.
bool directoriesAcceptMoves(const std::string& section, const std::vector<std::string>& directories);

// Makes every missing directory of the path (relative paths are taken from
// the current directory). False when a component cannot be made or exists
// as something other than a directory.
bool makeDirectories(const std::string& path);

// True when something exists under `path`. '*' and '?' in the last
// component are wildcards (ASCII letters then match in any case); a name
// without them is compared exactly. For a pattern test only: whether a name
// is free for a new file is platform::pathExists, since '*' and '?' are
// letters of a name on POSIX systems.
bool fileExists(const std::string& path);

// directory + name when nothing of that name exists (wildcards in `name`
// count as in fileExists); else directory + base + " (k)" + extension for
// the first k = 2, 3, ... that is free, the extension being the name's part
// from its last '.'.
std::string uniqueName(const std::string& directory, const std::string& name);

// The k-th name uniqueName tries: directory + name for k = 1, else
// directory + base + " (k)" + extension.
std::string candidateName(const std::string& directory, const std::string& name, unsigned k);

}  // namespace trasvik
