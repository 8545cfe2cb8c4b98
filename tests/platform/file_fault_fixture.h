// Injected file faults in tests: configured in their text form, cleared
// after each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_faults.h"
#include "support/temp_directory.h"

namespace platform_testing {

inline void inject(std::string_view text) {
  std::vector<platform::FileFault> faults;
  std::string error;
  ASSERT_TRUE(platform::parseFileFaults(text, faults, error)) << error;
  platform::setFileFaults(std::move(faults));
}

class FileFaultTest : public testing::Test {
 protected:
  void TearDown() override { platform::clearFileFaults(); }
  testing_support::TempDirectory dir_;
};

}  // namespace platform_testing
