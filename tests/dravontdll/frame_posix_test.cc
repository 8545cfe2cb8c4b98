#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "dravont/dravontdll.h"
#include "dravontdll/absolute_path.h"
#include "dravontdll/call_scope.h"

namespace {

using namespace Quillex;

// Absolute paths keep their root; a path far inside PATH_MAX stays whole.
TEST(AbsolutePathTest, PosixPathsAreCanonicalAndLimitedByTheSystem) {
  std::thread([] {
    EXPECT_EQ(toAbsolutePath("/etc//trasvik/../t.ini"), "/etc/t.ini");
    const std::string path300 = "/" + std::string(299, 'q');
    EXPECT_EQ(toAbsolutePath(path300.c_str()), path300);
    const std::string longPath = "/" + std::string(5000, 'p');
    EXPECT_FALSE(toAbsolutePath(longPath.c_str()).has_value());
    EXPECT_STREQ(GetLastDravontError(), "Too long file path");
  }).join();
}

TEST(CallScopeDeathTest, HardwareFaultInsideAnExportNamesIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        CallScope outer("OuterExport");
        CallScope scope("FaultingExport");
        std::raise(SIGSEGV);
      },
      "FaultingExport code %X\r\n SEH exception code 11\r\n.*OuterExport code %X\r\n SEH exception code 11");
  // A genuine fault, raised by the processor, takes the same way. (Under the
  // sanitizers the null store is caught before it faults.)
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_DEATH(
      {
        CallScope scope("DereferencingExport");
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
      },
      "DereferencingExport code %X\r\n SEH exception code 11");
#endif
}

}  // namespace
