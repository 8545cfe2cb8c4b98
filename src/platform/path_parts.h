// Internal to the platform layer: the lexical canonical form that both
// systems' canonicalizePath build, each with its own separator and roots.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The components of a path after its root.
struct PathParts {
  std::size_t leadingUps = 0;  // ".." parts a relative path cannot resolve
  std::vector<std::string_view> names;
};

// The components of `rest` (a path after its root) split at `separator`:
// empty ones and "." dropped, each ".." taking away the one before it. A
// ".." with none before is dropped under a root (`rooted`), which it never
// climbs above, and counted in leadingUps otherwise.
PathParts resolvedParts(std::string_view rest, char separator, bool rooted);

// `root` followed by the leading ".." and the names, with `separator`
// between the parts (the root ends in its own separator or drive).
std::string joinedParts(std::string root, const PathParts& parts, char separator);

}  // namespace platform
