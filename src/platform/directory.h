// Directory scans with wildcard patterns, the way the gateway looks for the
// files it has to send. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Matches `name` against a pattern where '*' is any run of bytes (also none)
// and '?' exactly one byte. ASCII letters compare case-insensitively, since
// files written by other systems keep upper-case extensions. Bytes above 0x7F
// compare exactly.
bool wildcardMatch(std::string_view pattern, std::string_view name);

struct DirectoryEntry {
  std::string name;           // the entry's name inside the directory
  bool isDirectory = false;   // a directory itself, not a link to one
  bool readOnly = false;      // the read-only attribute; on POSIX, no write bit in the file's mode
  bool hidden = false;        // the hidden attribute, or a name that begins with '.'
  bool system = false;        // Windows' system attribute (a file of the system's own); never on POSIX
  bool notRegular = false;    // neither regular file nor directory: a device, FIFO or socket, or a
                              // symbolic link or junction, which is never followed
  bool unwritableName = false;  // Windows: the name holds characters the ANSI code page cannot write;
                                // `name` is then no name the file can be opened by
  std::uint64_t size = 0;
  std::int64_t modifiedSeconds = 0;  // last write, seconds since the epoch
};

// Lists the entries of `directory` whose names match `pattern`, in the order
// the directory yields them ("." and ".." are left out). Returns 0 or the
// errno of opening the directory; `entries` holds what was found so far.
int scanDirectory(const std::string& directory, std::string_view pattern, std::vector<DirectoryEntry>& entries);

}  // namespace platform
