// The argument text of the exports: fields separated by '*'.
// Pure functions; thread-safe.
#pragma once

#include <string>
#include <vector>

namespace dravontaux64 {

// Positions of the fields the converter uses.
inline constexpr std::size_t kLogPathField = 0;
inline constexpr std::size_t kLogLevelField = 1;
inline constexpr std::size_t kFirstPathField = 2;
inline constexpr std::size_t kSecondPathField = 3;
inline constexpr std::size_t kThirdPathField = 4;
inline constexpr std::size_t kRequiredFieldCount = 5;

// Splits at every '*'. The text before a '*' is a field unless it is empty
// (so "a**b" gives two fields); the text after the last '*' is always the
// last field, even when empty. A null text has no fields.
std::vector<std::string> splitArgumentText(const char* text);

}  // namespace dravontaux64
