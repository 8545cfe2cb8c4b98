// What a directory scan says of POSIX's own kinds of entries.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/directory.h"
#include "support/temp_directory.h"

namespace {

TEST(DirectoryPosixTest, FifosAndLinksAreNotRegularFiles) {
  testing_support::TempDirectory dir;
  ASSERT_EQ(std::system(("mkfifo " + dir.file("pipe.txt")).c_str()), 0);
  std::filesystem::create_symlink(dir.write("target", "x"), dir.file("link.txt"));
  std::filesystem::create_directory_symlink(dir.path(), dir.file("dirlink.txt"));
  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::scanDirectory(dir.path().string(), "*.txt", entries), 0);
  ASSERT_EQ(entries.size(), 3u);
  for (const platform::DirectoryEntry& entry : entries) {
    EXPECT_TRUE(entry.notRegular) << entry.name;
    EXPECT_FALSE(entry.system) << entry.name;  // an attribute POSIX files do not have
    EXPECT_FALSE(entry.isDirectory) << entry.name;
  }
}

}  // namespace
