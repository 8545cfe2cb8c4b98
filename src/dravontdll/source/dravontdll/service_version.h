// The service's four-part version text ("21.3.0.117").
#pragma once

#include <string>

namespace Quillex {

struct ServiceVersion {
  int major = 0;
  int minor = 0;
  int third = 0;
  int fourth = 0;
};

// Reads four dot-separated numbers; text before the first digit is skipped.
// False when fewer than four numbers are found.
bool parseServiceVersion(const std::string& text, ServiceVersion& version);

// Oldest service major version the library works with.
inline constexpr int kMinimumServiceMajor = 21;

}  // namespace Quillex
