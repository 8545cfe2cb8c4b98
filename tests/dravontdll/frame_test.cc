#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "dravont/dravontdll.h"
#include "dravontdll/absolute_path.h"
#include "dravontdll/call_scope.h"
#include "dravontdll/last_error.h"
#include "dravontdll/library_state.h"
#include "dravontdll/string_result.h"
#include "platform/environment.h"
#include "platform/path.h"
#include "transport/xmlrpc_client.h"

namespace {

using namespace Quillex;
using testing::HasSubstr;
using testing::StartsWith;

// The library sets itself up at load; the test binary links its code
// directly, so it does the same once before any test runs.
int portAtLoad = 0;
const bool attached = [] {
  platform::setEnvironmentVariable("XMLRPCPORT", std::string("23456"));
  const bool ok = attachProcess();
  portAtLoad = RpcPort;  // the export tests point RpcPort at their fake service later
  return ok;
}();

std::atomic<int> allocations{0};
void* countingAllocate(unsigned int size) {
  ++allocations;
  return std::malloc(size);
}
void* failingAllocate(unsigned int) { return nullptr; }

TEST(LibraryStateTest, LoadReadsThePortAndPublishesTheSlots) {
  ASSERT_TRUE(attached);
  EXPECT_EQ(portAtLoad, 23456);
  EXPECT_NE(XmlRpcClientIndex, LastErrorIndex);
  EXPECT_NE(LastErrorIndex, MallocIndex);
  EXPECT_NE(hDLLModule, nullptr);
}

TEST(LibraryStateTest, EnvironmentIntegersFollowTheLengthRule) {
  const char* name = "TRASVIK_FRAME_TEST_VALUE";
  platform::setEnvironmentVariable(name, std::nullopt);
  EXPECT_EQ(environmentInteger(name, 12069), 12069);
  platform::setEnvironmentVariable(name, std::string());
  EXPECT_EQ(environmentInteger(name, 12069), 12069);
  platform::setEnvironmentVariable(name, std::string("8080"));
  EXPECT_EQ(environmentInteger(name, 12069), 8080);
  platform::setEnvironmentVariable(name, std::string("123456789012345"));  // 15 characters: read
  EXPECT_EQ(environmentInteger(name, 12069), std::atoi("123456789012345"));
  platform::setEnvironmentVariable(name, std::string("1234567890123456"));  // 16: ignored
  EXPECT_EQ(environmentInteger(name, 12069), 12069);
  platform::setEnvironmentVariable(name, std::string("port"));
  EXPECT_EQ(environmentInteger(name, 12069), 0);
  platform::setEnvironmentVariable(name, std::string("80x"));
  EXPECT_EQ(environmentInteger(name, 12069), 80);
  platform::setEnvironmentVariable(name, std::nullopt);
}

TEST(LastErrorTest, OnlyNonEmptyTextsReplaceTheLastError) {
  std::thread([] {
    EXPECT_EQ(GetLastDravontError(), nullptr);  // a thread that never failed
    EXPECT_EQ(recordLastError(""), 0);
    EXPECT_EQ(recordLastError(nullptr), 0);
    EXPECT_EQ(GetLastDravontError(), nullptr);
    EXPECT_EQ(recordLastError("first failure"), 2);
    EXPECT_EQ(recordLastError(""), 0);  // what a successful call records
    EXPECT_STREQ(GetLastDravontError(), "first failure");
    EXPECT_EQ(recordLastError("second failure"), 2);
    EXPECT_STREQ(GetLastDravontError(), "second failure");
  }).join();
}

TEST(LastErrorTest, EachThreadHasItsOwnText) {
  recordLastError("main thread text");
  std::thread([] {
    EXPECT_EQ(GetLastDravontError(), nullptr);
    recordLastError("worker text");
    EXPECT_STREQ(GetLastDravontError(), "worker text");
  }).join();
  EXPECT_STREQ(GetLastDravontError(), "main thread text");
}

TEST(StringResultTest, EmptyValueNeedsNoCallback) {
  std::thread([] {
    char* output = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(deliverStringResult("", &output), 0);
    EXPECT_EQ(output, nullptr);
  }).join();
}

TEST(StringResultTest, ThreadWithoutCallbackGetsCodeFour) {
  std::thread([] {
    char* output = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(deliverStringResult("value", &output), 4);
    EXPECT_EQ(output, nullptr);
    EXPECT_STREQ(GetLastDravontError(), "Invalid callback function pointer");
  }).join();
}

TEST(StringResultTest, CallbackAllocatesTheCopyOrFails) {
  std::thread([] {
    setThreadAllocateFunction(countingAllocate);
    const int before = allocations.load();
    char* output = nullptr;
    EXPECT_EQ(deliverStringResult(std::string("a\xff" "b"), &output), 0);
    ASSERT_NE(output, nullptr);
    EXPECT_STREQ(output, "a\xff" "b");
    EXPECT_EQ(allocations.load(), before + 1);
    std::free(output);

    setThreadAllocateFunction(failingAllocate);
    EXPECT_EQ(deliverStringResult("value", &output), 4);
    EXPECT_EQ(output, nullptr);
    EXPECT_STREQ(GetLastDravontError(), "Can't allocate memory");
  }).join();
}

TEST(AbsolutePathTest, RelativePathsJoinTheCurrentDirectory) {
  const std::string cwd = platform::currentDirectory().value();
  const std::string parent = platform::directoryName(cwd);
  EXPECT_EQ(toAbsolutePath("sub/../file.ini"), platform::joinPath(cwd, "file.ini"));
  EXPECT_EQ(toAbsolutePath("../x/./y.ini"), platform::joinPath(platform::joinPath(parent, "x"), "y.ini"));
  EXPECT_FALSE(toAbsolutePath(nullptr).has_value());
}

TEST(AbsolutePathTest, OverlongPathsFailInsteadOfBeingCut) {
  std::thread([] {
    const std::string longRelative(5000, 'r');
    EXPECT_FALSE(toAbsolutePath(longRelative.c_str()).has_value());
    EXPECT_STREQ(GetLastDravontError(), "Too long file path");
  }).join();
}

void innerExport() {
  CallScope scope("InnerExport");
  EXPECT_THAT(terminationText(), StartsWith(std::string(__FILE__) + " line "));
  EXPECT_THAT(terminationText(), HasSubstr(" InnerExport code %X\r\nTerminating\r\n\r\n"));
  EXPECT_THAT(terminationText(), HasSubstr(" OuterExport code %X\r\nTerminating\r\n"));
}

TEST(CallScopeTest, RecordsNestAndArePoppedOnEveryWayOut) {
  EXPECT_EQ(terminationText(), "Terminating\r\n");
  {
    CallScope scope("OuterExport");
    ASSERT_NE(innermostCallRecord(), nullptr);
    EXPECT_THAT(innermostCallRecord()->description, HasSubstr(" call "));
    EXPECT_THAT(innermostCallRecord()->description, HasSubstr("CallScopeTest_RecordsNestAndArePoppedOnEveryWayOut"));
    EXPECT_STREQ(innermostCallRecord()->label, "OuterExport code %X");
    innerExport();
    EXPECT_STREQ(innermostCallRecord()->label, "OuterExport code %X");
  }
  EXPECT_EQ(innermostCallRecord(), nullptr);
  try {
    CallScope scope("Throwing");
    throw std::runtime_error("out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(innermostCallRecord(), nullptr);
}

TEST(CallScopeTest, EachThreadHasItsOwnStack) {
  CallScope scope("MainThreadExport");
  std::thread([] { EXPECT_EQ(innermostCallRecord(), nullptr); }).join();
}

TEST(CallScopeDeathTest, TerminateInsideAnExportPrintsItsRecords) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        CallScope scope("DyingExport");
        std::terminate();
      },
      "DyingExport code %X\r\nTerminating");
}

TEST(ThreadClientTest, EachThreadGetsItsOwnClient) {
  XmlRpcClient* mine = &threadClient();
  EXPECT_EQ(&threadClient(), mine);
  XmlRpcClient* theirs = nullptr;
  std::thread([&] { theirs = &threadClient(); }).join();
  EXPECT_NE(theirs, nullptr);
  EXPECT_NE(theirs, mine);
}

}  // namespace
