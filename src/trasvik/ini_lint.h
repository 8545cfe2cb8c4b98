// What /check finds in the INI file's text before anything is tried: keys
// the gateway does not know (with the nearest known one), sections no rule
// or setting uses, and keys and sections given twice. The text is read as
// the host library reads it: the first of two equal keys or sections is
// the one in force, names compare without regard to ASCII case. Pure: no
// file system access.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trasvik {

// One finding per entry, as "line N: ..." texts, in file order.
std::vector<std::string> lintIniText(std::string_view contents);

// The known name nearest to `word` (ASCII case aside) within a small edit
// distance; empty when none is near.
std::string nearestName(std::string_view word, const std::vector<std::string_view>& known);

}  // namespace trasvik
