// Process-wide facts every system has: environment variables, thread
// slots, events and the clock.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/event.h"
#include "platform/thread.h"

namespace {

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
  // Windows' tick advances in steps of about 16 ms.
  const std::uint32_t before = platform::tickCount();
  platform::sleepMilliseconds(50);
  const std::uint32_t elapsed = platform::tickCount() - before;
  EXPECT_GE(elapsed, 50u - 16u);
  EXPECT_LT(elapsed, 5000u);
  const auto now = platform::localTimeNow();
  EXPECT_GE(now.milliseconds, 0);
  EXPECT_LT(now.milliseconds, 1000);
  EXPECT_EQ(platform::formatTime("%H:%M:%S", platform::localTimeOf(0)).size(), 8u);
}

}  // namespace
