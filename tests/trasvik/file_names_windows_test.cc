// Names as Windows compares them: in any case, so that a name differing
// from an existing file's in case only is taken, and never replaces it.
#include <gtest/gtest.h>

#include "rule/directories.h"
#include "support/temp_directory.h"

namespace trasvik {
namespace {

TEST(FileNamesTest, ANameInAnotherCaseIsTaken) {
  const testing_support::TempDirectory directory;
  directory.write("report.xml (2).env", "envelope");
  EXPECT_TRUE(fileExists(directory.file("REPORT.XML (2).???")));
  EXPECT_TRUE(fileExists(directory.file("REPORT.XML (2).env")));
  EXPECT_EQ(uniqueName(directory.path().string() + "\\", "REPORT.XML (2).env"),
            directory.file("REPORT.XML (2) (2).env"));
}

}  // namespace
}  // namespace trasvik
