// Path texts as Windows reads them: drive letters, both separators, the
// shell's canonical form and MAX_PATH.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/path.h"

namespace {

using platform::canonicalizePath;
using platform::joinPath;

TEST(PathWindowsTest, RelativeMeansNoDriveAndNoLeadingSeparator) {
  EXPECT_TRUE(platform::isRelativePath("a\\b"));
  EXPECT_TRUE(platform::isRelativePath(""));
  EXPECT_FALSE(platform::isRelativePath("C:\\a"));
  EXPECT_FALSE(platform::isRelativePath("\\a"));
  EXPECT_FALSE(platform::isRelativePath("\\\\server\\share\\a"));
  // Drive-relative: taken from the drive's current directory, never as is
  // and never from another directory.
  EXPECT_TRUE(platform::isRelativePath("C:foo"));
  const std::optional<std::string> current = platform::currentDirectory();
  ASSERT_TRUE(current);
  const std::string drive = current->substr(0, 2);
  EXPECT_EQ(platform::joinPath("D:\\elsewhere", drive + "foo.state"), platform::joinPath(*current, "foo.state"));
  EXPECT_EQ(platform::absolutePath(drive + "foo"), platform::absolutePath("foo"));
}

TEST(PathWindowsTest, JoinUsesExactlyOneSeparator) {
  EXPECT_EQ(joinPath("C:\\in", "file.txt"), "C:\\in\\file.txt");
  EXPECT_EQ(joinPath("C:\\in\\", "file.txt"), "C:\\in\\file.txt");
  EXPECT_EQ(joinPath("C:/in/", "file.txt"), "C:/in/file.txt");
  EXPECT_EQ(joinPath("C:\\in", "D:\\x"), "D:\\x");
  EXPECT_EQ(joinPath("", "file.txt"), "file.txt");
}

TEST(PathWindowsTest, CanonicalFormResolvesDotsAndTakesEitherSeparator) {
  EXPECT_EQ(canonicalizePath("C:\\a\\.\\b\\\\c\\..\\d"), "C:\\a\\b\\d");
  EXPECT_EQ(canonicalizePath("C:/a/b/../c"), "C:\\a\\c");
  const std::string tooLong = "C:\\" + std::string(platform::kMaxPath, 'x');
  EXPECT_FALSE(canonicalizePath(tooLong).has_value());
}

TEST(PathWindowsTest, DirectoryNameKeepsTheRoot) {
  EXPECT_EQ(platform::directoryName("C:\\etc\\trasvik.ini"), "C:\\etc");
  EXPECT_EQ(platform::directoryName("C:\\trasvik.ini"), "C:\\");
  EXPECT_EQ(platform::directoryName("trasvik.ini"), "");
  EXPECT_EQ(platform::withTrailingSeparator("C:\\out"), "C:\\out\\");
  EXPECT_EQ(platform::withTrailingSeparator("C:/out/"), "C:/out/");
}

TEST(PathWindowsTest, BaseNameFollowsEitherSeparatorOrADrive) {
  EXPECT_EQ(platform::baseName("C:\\in/sub\\a.xml"), "a.xml");
  EXPECT_EQ(platform::baseName("C:a.xml"), "a.xml");
  EXPECT_EQ(platform::baseName("a.xml"), "a.xml");
}

TEST(PathWindowsTest, RootsAreDrivesSharesAndALeadingSeparator) {
  EXPECT_EQ(platform::rootLength("C:\\in\\a"), 3u);
  EXPECT_EQ(platform::rootLength("\\\\server\\share\\in"), 15u);
  EXPECT_EQ(platform::rootLength("\\in"), 1u);
  EXPECT_EQ(platform::rootLength("in\\a"), 0u);
  EXPECT_EQ(platform::directoryPrefix("C:\\in/sub\\a.xml"), "C:\\in/sub\\");
  EXPECT_EQ(platform::directoryPrefix("C:a.xml"), "C:");
  EXPECT_EQ(platform::directoryPrefix("a.xml"), "");
}

TEST(PathWindowsTest, ProcessDirectoriesAreAbsolute) {
  ASSERT_TRUE(platform::currentDirectory().has_value());
  EXPECT_FALSE(platform::isRelativePath(*platform::currentDirectory()));
  ASSERT_TRUE(platform::executablePath().has_value());
  EXPECT_NE(platform::executablePath()->find("platform_tests"), std::string::npos);
}

}  // namespace
