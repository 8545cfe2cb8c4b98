// Turning the file paths callers pass into the absolute, canonical paths the
// service needs (it runs with a current directory of its own).
#pragma once

#include <optional>
#include <string>

namespace Quillex {

// The absolute, lexically canonical form of `path`: a relative path is
// joined to the current directory first. NULL gives nullopt without a text.
// A result that would not fit the platform's path limit records "Too long
// file path" (it is never cut); a current directory that cannot be read
// records "Can't covert relative file path to absolute path". Both give
// nullopt.
std::optional<std::string> toAbsolutePath(const char* path);

}  // namespace Quillex
