#include "platform/path.h"

#include <gtest/gtest.h>

namespace {

using platform::canonicalizePath;
using platform::joinPath;

TEST(PathTest, RelativeMeansNotStartingWithSlash) {
  EXPECT_TRUE(platform::isRelativePath("a/b"));
  EXPECT_TRUE(platform::isRelativePath("./a"));
  EXPECT_TRUE(platform::isRelativePath(""));
  EXPECT_FALSE(platform::isRelativePath("/a"));
}

TEST(PathTest, JoinUsesExactlyOneSeparator) {
  EXPECT_EQ(joinPath("/srv/in", "file.txt"), "/srv/in/file.txt");
  EXPECT_EQ(joinPath("/srv/in/", "file.txt"), "/srv/in/file.txt");
  EXPECT_EQ(joinPath("/srv/in//", "file.txt"), "/srv/in/file.txt");
  EXPECT_EQ(joinPath("/", "file.txt"), "/file.txt");
  EXPECT_EQ(joinPath("/srv", "/etc/passwd"), "/etc/passwd");
  EXPECT_EQ(joinPath("", "file.txt"), "file.txt");
}

TEST(PathTest, CanonicalFormResolvesDotsLexically) {
  EXPECT_EQ(canonicalizePath("/a/./b//c/../d"), "/a/b/d");
  EXPECT_EQ(canonicalizePath("/a/b/../../.."), "/");
  EXPECT_EQ(canonicalizePath("/../x"), "/x");
  EXPECT_EQ(canonicalizePath("a/../../b"), "../b");
  EXPECT_EQ(canonicalizePath("./"), ".");
  EXPECT_EQ(canonicalizePath("/a/b/"), "/a/b");
  EXPECT_EQ(canonicalizePath("/a/..b/c"), "/a/..b/c");  // "..b" is a name, not a parent step
}

TEST(PathTest, CanonicalFormRefusesPathsOverTheLimit) {
  const std::string fits = "/" + std::string(platform::kMaxPath - 2, 'x');
  EXPECT_EQ(canonicalizePath(fits), fits);
  EXPECT_FALSE(canonicalizePath(fits + "y").has_value());
  // Over the limit before resolution but short after it: accepted.
  EXPECT_EQ(canonicalizePath(fits + "/.."), "/");
}

TEST(PathTest, DirectoryNameAndTrailingSeparator) {
  EXPECT_EQ(platform::directoryName("/etc/trasvik.ini"), "/etc");
  EXPECT_EQ(platform::directoryName("/trasvik.ini"), "/");
  EXPECT_EQ(platform::directoryName("trasvik.ini"), "");
  EXPECT_EQ(platform::withTrailingSeparator("/srv/out"), "/srv/out/");
  EXPECT_EQ(platform::withTrailingSeparator("/srv/out/"), "/srv/out/");
  EXPECT_EQ(platform::withTrailingSeparator("C:\\out\\"), "C:\\out\\");
  EXPECT_EQ(platform::withTrailingSeparator(""), "");
}

TEST(PathTest, TheRootIsTheLeadingSlashAndABackslashSeparatesNothing) {
  EXPECT_EQ(platform::rootLength("/srv/in"), 1u);
  EXPECT_EQ(platform::rootLength("srv/in"), 0u);
  EXPECT_EQ(platform::directoryPrefix("/srv/in\\a.xml"), "/srv/");
  EXPECT_EQ(platform::directoryPrefix("a.xml"), "");
}

TEST(PathTest, ProcessDirectoriesAreAbsolute) {
  ASSERT_TRUE(platform::currentDirectory().has_value());
  EXPECT_FALSE(platform::isRelativePath(*platform::currentDirectory()));
  ASSERT_TRUE(platform::executablePath().has_value());
  EXPECT_NE(platform::executablePath()->find("platform_tests"), std::string::npos);
}

}  // namespace
