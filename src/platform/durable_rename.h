// Making a prepared file visible under its final name so that the new name
// survives a crash of the machine: the rename (or link), then a flush of the
// directory. Stores that write several files first and publish them in a
// step of their own use it. Returns 0 or the errno of the failing call.
// Thread-safe.
#pragma once

#include <string>

namespace platform {

// Renames `from` to `to` (replacing an existing `to`) and flushes the
// directories of both names.
int renameDurably(const std::string& from, const std::string& to);

// Gives the file `from` the further name `to` and flushes the directory of
// `to`; `from` is left alone. An existing `to` is never replaced (EEXIST).
// A store that moves a file this way and then removes `from` has the file
// under at least one name at every moment of a crash, and a crash after the
// flush may bring `from` back beside `to` but never loses `to`. Where the
// file system has no hard links, the file is renamed to `to` instead (still
// never replacing), and `from` is gone. On failure after the link, `to`
// stays (its name may not be on the disk).
int linkDurably(const std::string& from, const std::string& to);

}  // namespace platform
