#include "platform/directory.h"

#include "text/ascii.h"

namespace platform {

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative matcher with one backtrack point: linear in practice and never
  // recursive, so hostile patterns cannot exhaust the stack.
  std::size_t p = 0, n = 0;
  std::size_t starPattern = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || text::asciiLower(pattern[p]) == text::asciiLower(name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace platform
