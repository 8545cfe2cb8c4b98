#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "dravont/dravontdll.h"
#include "dravontdll/absolute_path.h"
#include "dravontdll/call_scope.h"

namespace {

using namespace Quillex;

// Drive paths are canonical with backslashes; MAX_PATH (260) is the limit,
// and a longer path fails rather than reaching the service cut.
TEST(AbsolutePathTest, WindowsPathsAreCanonicalAndLimitedToMaxPath) {
  std::thread([] {
    EXPECT_EQ(toAbsolutePath("C:/etc//trasvik/../t.ini"), "C:\\etc\\t.ini");
    EXPECT_EQ(toAbsolutePath("D:\\in\\.\\a.ini"), "D:\\in\\a.ini");
    const std::string path259 = "C:\\" + std::string(256, 'q');
    EXPECT_EQ(toAbsolutePath(path259.c_str()), path259);
    const std::string path300 = "C:\\" + std::string(297, 'q');
    EXPECT_FALSE(toAbsolutePath(path300.c_str()).has_value());
    EXPECT_STREQ(GetLastDravontError(), "Too long file path");
  }).join();
}

// An access violation inside an export is reported with the records of the
// calls it happened in and the exception's code (0xC0000005) in decimal.
TEST(CallScopeDeathTest, AccessViolationInsideAnExportNamesIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        CallScope outer("OuterExport");
        CallScope scope("DereferencingExport");
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
      },
      // (The pipe that carries the child's output to the test drops the CRs.)
      testing::AllOf(testing::HasSubstr("DereferencingExport code %X"),
                     testing::HasSubstr(" SEH exception code 3221225477"), testing::HasSubstr("OuterExport code %X")));
}

}  // namespace
