#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
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

TEST(ProcessTest, EnvironmentVariablesDistinguishEmptyFromAbsent) {
  platform::setEnvironmentVariable("TRASVIK_TEST_VARIABLE", std::string());
  EXPECT_EQ(platform::environmentVariable("TRASVIK_TEST_VARIABLE"), std::string());
  platform::setEnvironmentVariable("TRASVIK_TEST_VARIABLE", std::nullopt);
  EXPECT_FALSE(platform::environmentVariable("TRASVIK_TEST_VARIABLE").has_value());
}

TEST(ThreadSlotTest, EachThreadSeesItsOwnValueAndDestructorRunsAtExit) {
  static std::atomic<int> destroyed{0};
  auto slot = platform::ThreadSlot::create([](void* value) { destroyed += *static_cast<int*>(value); });
  ASSERT_NE(slot, nullptr);
  int mine = 1;
  slot->set(&mine);
  int theirs = 10;
  std::thread other([&] {
    EXPECT_EQ(slot->get(), nullptr);
    slot->set(&theirs);
    EXPECT_EQ(slot->get(), &theirs);
  });
  other.join();
  EXPECT_EQ(destroyed.load(), 10);
  EXPECT_EQ(slot->get(), &mine);
  slot->set(nullptr);
}

TEST(EventTest, ManualResetEventStaysSetUntilReset) {
  platform::ManualResetEvent event;
  EXPECT_FALSE(event.waitFor(10));
  std::thread setter([&] { event.set(); });
  EXPECT_TRUE(event.waitFor(10000));
  setter.join();
  EXPECT_TRUE(event.waitFor(0));
  event.reset();
  EXPECT_FALSE(event.isSet());
}

TEST(ClockTest, TickCountIsMonotonicMilliseconds) {
  const std::uint32_t before = platform::tickCount();
  platform::sleepMilliseconds(20);
  const std::uint32_t elapsed = platform::tickCount() - before;
  EXPECT_GE(elapsed, 20u);
  EXPECT_LT(elapsed, 5000u);
  const auto now = platform::localTimeNow();
  EXPECT_GE(now.milliseconds, 0);
  EXPECT_LT(now.milliseconds, 1000);
  EXPECT_EQ(platform::formatTime("%H:%M:%S", platform::localTimeOf(0)).size(), 8u);
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
