// The console control handler on Windows: a child, on a console of its own,
// receives Ctrl+C through terminate() and reports it through the handler, on
// a thread the system starts, with code 0 ("Control C").
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "support/self_child.h"

namespace {

using testing_support::awaitLine;

// The child's part: waits for one control event and prints its code and
// whether the handler ran on a thread other than the main one.
TEST(ConsoleChild, ReportsOneControlEvent) {
  if (testing_support::selfChildArgument().empty()) GTEST_SKIP() << "the child of ConsoleWindowsTest";
  platform::ManualResetEvent seen;
  int code = -1;
  int handlerThread = 0;
  ASSERT_TRUE(platform::registerConsoleControlHandler([&](int event) {
    code = event;
    handlerThread = platform::currentThreadId();
    seen.set();
  }));
  std::printf("ready\n");
  std::fflush(stdout);
  ASSERT_TRUE(seen.waitFor(20000));
  std::printf("event %d %s\n", code, handlerThread != platform::currentThreadId() ? "other-thread" : "same-thread");
  std::fflush(stdout);
  platform::removeConsoleControlHandler();
}

TEST(ConsoleWindowsTest, CtrlCReachesTheHandlerOfAChildOnItsOwnConsole) {
  std::string error;
  auto child = testing_support::startSelfChild("ConsoleChild.ReportsOneControlEvent", "1", error);
  ASSERT_NE(child, nullptr) << error;
  ASSERT_TRUE(awaitLine(*child, "ready"));
  child->terminate();
  ASSERT_TRUE(awaitLine(*child, "event 0 other-thread"));
  EXPECT_EQ(child->wait(20000), 0);
}

}  // namespace
