// Durable file replacement for stores that must survive a crash at any
// moment: a file is either wholly its old contents or wholly its new ones,
// and once a function returns 0 the change is on the disk. Functions return 0
// or the errno of the failing call. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// How far a replacement goes before it returns.
enum class Durability {
  kDurable,   // on the disk: the file and its directory are flushed
  kAdvisory,  // whole for every reader, but a crash of the machine may keep the old one
};

// Writes `contents` to a temporary file beside `path`, flushes it, renames it
// over `path` (replacing an existing file) and flushes the directory (the
// flushes only when kDurable). On failure `path` is untouched and the
// temporary file is removed.
int replaceFileAtomically(const std::string& path, std::string_view contents,
                          Durability durability = Durability::kDurable);

// Removes the file and flushes its directory, so the removal is durable.
int removeFileDurably(const std::string& path);

// Creates the directory (an existing one is fine) and flushes its parent, so
// files put into it afterwards cannot lose their directory in a crash.
int makeDirectoryDurably(const std::string& path);

// True for the names replaceFileAtomically uses for its temporary files;
// stores delete such leftovers of a crash when they open.
bool isAtomicTemporaryName(std::string_view fileName);

}  // namespace platform
