// The POSIX side of the process facts: versions carried in shared-library
// file names, the module list read from the loader, dlopen, and control
// signals.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/console.h"
#include "platform/dynamic_library.h"
#include "platform/event.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/thread.h"

namespace {

TEST(ProcessTest, VersionComesFromTheFileNameSuffix) {
  EXPECT_EQ(platform::versionFromFileName("/usr/lib/libx.so.1.2.3"), "1.2.3.0");
  EXPECT_EQ(platform::versionFromFileName("/usr/lib/libx.so.6"), "6.0.0.0");
  EXPECT_EQ(platform::versionFromFileName("/usr/lib/libx.so.1.2.3.4.5"), "1.2.3.4");
  EXPECT_EQ(platform::versionFromFileName("/usr/lib/libx.so"), "0.0.0.0");
  EXPECT_EQ(platform::versionFromFileName("/usr/bin/trasvik"), "0.0.0.0");
  EXPECT_EQ(platform::versionFromFileName("/usr/lib/libx.so.1a"), "0.0.0.0");
}

TEST(ProcessTest, ModuleListStartsWithTheProgram) {
  const auto modules = platform::loadedModules();
  ASSERT_GE(modules.size(), 2u);
  EXPECT_EQ(modules.front().path, platform::executablePath().value());
  bool sawLibc = false;
  for (const auto& module : modules) sawLibc = sawLibc || module.path.find("libc.so") != std::string::npos;
  EXPECT_TRUE(sawLibc);
  EXPECT_NE(platform::processCommandLine().find("platform_tests"), std::string::npos);
}

TEST(ProcessTest, DynamicLibraryReportsMissingLibrariesAndSymbols) {
  std::string error;
  EXPECT_EQ(platform::DynamicLibrary::open("libtrasvik-no-such-library.so", error), nullptr);
  EXPECT_NE(error.find("libtrasvik-no-such-library.so"), std::string::npos);
  auto libm = platform::DynamicLibrary::open("libm.so.6", error);
  ASSERT_NE(libm, nullptr) << error;
  auto cosine = libm->function<double (*)(double)>("cos");
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(libm->symbol("no_such_symbol_here"), nullptr);
}

TEST(ConsoleTest, ControlSignalsReachTheHandlerOnItsOwnThread) {
  std::atomic<int> lastCode{-1};
  std::atomic<int> calls{0};
  std::atomic<int> handlerThread{0};
  platform::ManualResetEvent seen;
  ASSERT_TRUE(platform::registerConsoleControlHandler([&](int code) {
    lastCode = code;
    handlerThread = platform::currentThreadId();
    ++calls;
    seen.set();
  }));
  const std::string pid = std::to_string(platform::currentProcessId());

  ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
  ASSERT_TRUE(seen.waitFor(10000));
  EXPECT_EQ(lastCode.load(), platform::kShutdownEvent);
  EXPECT_NE(handlerThread.load(), platform::currentThreadId());

  seen.reset();
  ASSERT_EQ(std::system(("kill -HUP " + pid).c_str()), 0);
  ASSERT_TRUE(seen.waitFor(10000));
  EXPECT_EQ(lastCode.load(), platform::kCloseEvent);

  platform::removeConsoleControlHandler();
  EXPECT_EQ(calls.load(), 2);
}

}  // namespace
