// The outgoing files whose opening failed: one list for all FILE rules of
// the process, oldest first, touched only by the main cycle's thread. It
// keeps such files out of later passes and limits their notifications to
// one each time a path enters the list.
#pragma once

#include <optional>
#include <string>

namespace trasvik {

// True iff `path` is in the list.
bool isUnopenable(const std::string& path);

// Appends `path` unless it is already in the list; true when it was
// appended (the caller then notifies).
bool addUnopenable(const std::string& path);

// Removes every occurrence of `path`.
void forgetUnopenable(const std::string& path);

// Takes the oldest path that lies in `directory` (which ends with a
// separator) out of the list, and returns its name within the directory.
// Paths of files that no longer exist are dropped on the way. nullopt when
// the directory has no such path.
std::optional<std::string> takeUnopenable(const std::string& directory);

}  // namespace trasvik
