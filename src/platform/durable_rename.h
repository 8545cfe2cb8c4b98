// Making a prepared file visible under its final name so that the new name
// survives a crash of the machine: the rename, then a flush of the
// directory. Stores that write several files first and publish them in a
// step of their own use it. Returns 0 or the errno of the failing call.
// Thread-safe.
#pragma once

#include <string>

namespace platform {

// Renames `from` to `to` (replacing an existing `to`) and flushes the
// directories of both names.
int renameDurably(const std::string& from, const std::string& to);

}  // namespace platform
