// Windows' own file facts that Wine cannot produce or that only Windows
// has: reparse points that are not links, and the attributes that hide a
// file being written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/win32_file_calls.h"
#include "support/temp_directory.h"

namespace {

// Wine makes no deduplicated or cloud files: their tags are classified here
// as the directory scan and the readability check meet them.
TEST(FileWindowsTest, OnlySymbolicLinksAndJunctionsAreLinks) {
  EXPECT_TRUE(platform::win32::isLinkReparseTag(IO_REPARSE_TAG_SYMLINK));
  EXPECT_TRUE(platform::win32::isLinkReparseTag(IO_REPARSE_TAG_MOUNT_POINT));
  for (const DWORD tag : {0x80000013u /* deduplication */, 0x9000001Au /* cloud files */,
                          0x80000017u /* compressed by the overlay filter */}) {
    EXPECT_FALSE(platform::win32::isLinkReparseTag(tag)) << std::hex << tag;
  }
}

TEST(FileWindowsTest, AFileMarkedInProgressIsHiddenUntilUnmarked) {
  testing_support::TempDirectory dir;
  const std::string path = dir.write("partial.bin", "x");
  const auto hidden = [&] {
    std::vector<platform::DirectoryEntry> entries;
    EXPECT_EQ(platform::scanDirectory(dir.file(""), "*", entries), 0);
    return entries.size() == 1 && entries[0].hidden;
  };
  ASSERT_EQ(platform::markFileInProgress(path, true), 0);
  EXPECT_TRUE(hidden());
  ASSERT_EQ(platform::markFileInProgress(path, false), 0);
  EXPECT_FALSE(hidden());
}

}  // namespace
