// ASCII case folding for names that compare case-insensitively (INI sections
// and keys, HTTP header names, file patterns, addresses). Bytes outside
// A..Z are left alone, so texts in other code pages are never touched.
// Pure functions, thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

constexpr char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string asciiLowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = asciiLower(c);
  return lowered;
}

constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace text
