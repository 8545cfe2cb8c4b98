// Names as a POSIX file system compares them: byte for byte.
#include <gtest/gtest.h>

#include "rule/directories.h"
#include "support/temp_directory.h"

namespace trasvik {
namespace {

TEST(FileNamesTest, AnExactNameComparesExactlyAndAWildcardInAnyCase) {
  const testing_support::TempDirectory directory;
  directory.write("report.xml (2).env", "envelope");
  EXPECT_TRUE(fileExists(directory.file("REPORT.XML (2).???")));
  EXPECT_FALSE(fileExists(directory.file("REPORT.XML (2).env")));
  EXPECT_EQ(uniqueName(directory.path().string() + "/", "REPORT.XML (2).env"),
            directory.file("REPORT.XML (2).env"));
}

}  // namespace
}  // namespace trasvik
