// Environment variables. Reading is thread-safe as long as nothing sets
// variables at the same time (which only tests do).
#pragma once

#include <optional>
#include <string>

namespace platform {

// The variable's value, or nullopt when it is not set.
std::optional<std::string> environmentVariable(const char* name);

// Sets (or with nullopt removes) a variable of this process.
void setEnvironmentVariable(const char* name, const std::optional<std::string>& value);

}  // namespace platform
