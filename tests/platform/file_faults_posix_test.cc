#include "platform/file_faults.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/file.h"
#include "file_fault_fixture.h"
#include "support/temp_directory.h"

namespace {

// The fallbacks of a POSIX move (link and unlink, copy between file
// systems), reached by injected failures.

using testing_support::readFile;

using platform_testing::FileFaultTest;
using platform_testing::inject;

// Forcing the rename to fail with EINVAL takes the link-and-unlink path of a
// file system that cannot rename without replacing; EXDEV takes the copy
// path of a move across file systems. Neither may replace a file.
TEST_F(FileFaultTest, MoveFallbacksNeverReplaceAnExistingFile) {
  for (const char* forced : {"rename::EINVAL", "rename::EXDEV"}) {
    SCOPED_TRACE(forced);
    inject(forced);
    const std::string from = dir_.write("from", "new");
    const std::string to = dir_.write("to", "old");
    EXPECT_EQ(platform::moveFile(from, to), EEXIST);
    EXPECT_EQ(readFile(to), "old");
    EXPECT_EQ(readFile(from), "new");

    EXPECT_EQ(platform::moveFile(from, dir_.file("fresh")), 0);
    EXPECT_FALSE(platform::pathExists(from));
    EXPECT_EQ(readFile(dir_.file("fresh")), "new");
    std::filesystem::remove(dir_.file("fresh"));
  }
}

TEST_F(FileFaultTest, FailedMoveStepKeepsTheSourceAndLeavesNoTarget) {
  const struct {
    const char* faults;
    int error;
  } cases[] = {
      {"rename::EINVAL;link::EMLINK", EMLINK},          {"rename::EINVAL;unlink:/from:EBUSY", EBUSY},
      {"rename::EXDEV;open:/to:EACCES", EACCES},        {"rename::EXDEV;write::ENOSPC", ENOSPC},
      {"rename::EXDEV;fsync::EIO", EIO},                {"rename::EXDEV;unlink:/from:EBUSY", EBUSY},
  };
  for (const auto& step : cases) {
    SCOPED_TRACE(step.faults);
    inject(step.faults);
    const std::string from = dir_.write("from", "payload");
    EXPECT_EQ(platform::moveFile(from, dir_.file("to")), step.error);
    EXPECT_EQ(readFile(from), "payload");
    EXPECT_FALSE(platform::pathExists(dir_.file("to")));
  }
}

}  // namespace
