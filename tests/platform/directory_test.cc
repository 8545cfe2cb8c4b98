#include "platform/directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/file.h"
#include "support/temp_directory.h"

namespace {

using platform::wildcardMatch;
namespace fs = std::filesystem;

TEST(WildcardTest, StarAndQuestionMark) {
  EXPECT_TRUE(wildcardMatch("*", "anything.txt"));
  EXPECT_TRUE(wildcardMatch("*", ""));
  EXPECT_TRUE(wildcardMatch("*.txt", "a.txt"));
  EXPECT_TRUE(wildcardMatch("*.txt", ".txt"));
  EXPECT_FALSE(wildcardMatch("*.txt", "a.txt.bak"));
  EXPECT_TRUE(wildcardMatch("a?c", "abc"));
  EXPECT_FALSE(wildcardMatch("a?c", "ac"));
  EXPECT_TRUE(wildcardMatch("*a*b*c", "xxaxxbxxc"));
  EXPECT_FALSE(wildcardMatch("*a*b*c", "xxaxxcxxb"));
  EXPECT_TRUE(wildcardMatch("**?", "x"));
  EXPECT_FALSE(wildcardMatch("", "x"));
}

TEST(WildcardTest, AsciiLettersIgnoreCaseOtherBytesDoNot) {
  EXPECT_TRUE(wildcardMatch("*.msg", "ORDER.MSG"));
  EXPECT_TRUE(wildcardMatch("ORDER.*", "order.env"));
  EXPECT_FALSE(wildcardMatch("\xc4*", "\xe4x"));  // Windows-1251 letters are compared exactly
}

TEST(WildcardTest, ManyStarsStayFast) {
  const std::string name(5000, 'a');
  EXPECT_FALSE(wildcardMatch("*a*a*a*a*a*a*a*a*b", name));
}

TEST(DirectoryTest, ScanReportsAttributesTheGatewaySkipsBy) {
  testing_support::TempDirectory dir;
  dir.write("plain.txt", "abc");
  dir.write(".hidden.txt", "x");
  const std::string locked = dir.write("locked.txt", "x");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
  fs::create_directory(dir.path() / "sub.txt");
  dir.write("other.dat", "x");

  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::scanDirectory(dir.path().string(), "*.TXT", entries), 0);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, ".hidden.txt");
  EXPECT_TRUE(entries[0].hidden);
  EXPECT_EQ(entries[1].name, "locked.txt");
  EXPECT_TRUE(entries[1].readOnly);
  EXPECT_EQ(entries[2].name, "plain.txt");
  EXPECT_FALSE(entries[2].readOnly || entries[2].hidden || entries[2].system || entries[2].notRegular ||
               entries[2].isDirectory);
  EXPECT_EQ(entries[2].size, 3u);
  EXPECT_EQ(entries[3].name, "sub.txt");
  EXPECT_TRUE(entries[3].isDirectory);
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);  // so that it can be removed
}

TEST(DirectoryTest, MissingDirectoryIsAnError) {
  std::vector<platform::DirectoryEntry> entries;
  testing_support::TempDirectory dir;
  EXPECT_NE(platform::scanDirectory(dir.file("nonexistent"), "*", entries), 0);
  EXPECT_TRUE(entries.empty());
}

}  // namespace
