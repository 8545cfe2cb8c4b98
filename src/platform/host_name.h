// The machine's host name. Thread-safe.
#pragma once

#include <string>

namespace platform {

// The host name as the system reports it, or "localhost" when it cannot be
// read.
std::string hostName();

}  // namespace platform
