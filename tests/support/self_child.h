// Tests that need a second process run this test program again, limited to
// one test that plays the other process's part. That test does its work only
// in the child, where the variable below is set, and skips elsewhere.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/child_process.h"
#include "platform/environment.h"
#include "platform/path.h"

namespace testing_support {

inline constexpr char kSelfChildVariable[] = "TRASVIK_TEST_CHILD";

// The value handed to the child (empty in the parent process).
inline std::string selfChildArgument() { return platform::environmentVariable(kSelfChildVariable).value_or(""); }

// Starts this program running only `test` ("Suite.Name"), with `argument`
// as its child argument and its standard output captured.
inline std::unique_ptr<platform::ChildProcess> startSelfChild(const std::string& test, const std::string& argument,
                                                               std::string& error) {
  return platform::ChildProcess::start({platform::executablePath().value(), "--gtest_filter=" + test}, true, error,
                                       {std::string(kSelfChildVariable) + "=" + argument});
}

// Reads the child's output up to the line `expected`; false when the output
// ends or `timeoutMilliseconds` pass for a line first.
inline bool awaitLine(platform::ChildProcess& child, const std::string& expected, int timeoutMilliseconds = 20000) {
  std::optional<std::string> line;
  while ((line = child.readLine(timeoutMilliseconds))) {
    if (*line == expected) return true;
  }
  return false;
}

}  // namespace testing_support
