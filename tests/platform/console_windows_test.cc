// The console control handler on Windows: a child, on a console of its own,
// receives Ctrl+C (interrupt(): code 0, "Control C") through that console,
// and a stop request (terminate(): code 1, "Control Break") with or without
// one, each on a thread other than its main thread.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "platform/event.h"
#include "platform/stop_request_win32.h"
#include "platform/thread.h"
#include "support/self_child.h"

namespace {

using testing_support::awaitLine;

// The child's part: prints each control event's code and whether the
// handler ran on a thread other than the main one, and ends after two.
TEST(ConsoleChild, ReportsControlEvents) {
  if (testing_support::selfChildArgument().empty()) GTEST_SKIP() << "the child of ConsoleWindowsTest";
  const int mainThread = platform::currentThreadId();
  platform::ManualResetEvent second;
  int events = 0;
  ASSERT_TRUE(platform::registerConsoleControlHandler([&](int code) {
    std::printf("event %d %s\n", code, platform::currentThreadId() != mainThread ? "other-thread" : "same-thread");
    std::fflush(stdout);
    if (++events == 2) second.set();
  }));
  std::printf("ready\n");
  std::fflush(stdout);
  ASSERT_TRUE(second.waitFor(20000));
  platform::removeConsoleControlHandler();
}

TEST(ConsoleWindowsTest, CtrlCAndStopRequestsReachTheHandlerOfAChild) {
  std::string error;
  auto child = testing_support::startSelfChild("ConsoleChild.ReportsControlEvents", "1", error);
  ASSERT_NE(child, nullptr) << error;
  ASSERT_TRUE(awaitLine(*child, "ready"));
  child->interrupt();
  ASSERT_TRUE(awaitLine(*child, "event 0 other-thread"));
  child->terminate();
  ASSERT_TRUE(awaitLine(*child, "event 1 other-thread"));
  EXPECT_EQ(child->wait(20000), 0);
}

// A stop request event of this process's name made by someone else could
// stop the gateway, or hold it set: the handler is refused, with the reason.
TEST(ConsoleWindowsTest, RefusesAStopRequestEventNameThatExistsAlready) {
  std::string error;
  void* held = platform::createStopRequestEvent(static_cast<unsigned long>(platform::currentProcessId()), error);
  ASSERT_NE(held, nullptr) << error;
  std::string refusal;
  EXPECT_FALSE(platform::registerConsoleControlHandler([](int) {}, &refusal));
  EXPECT_NE(refusal.find("the name exists already and is not this process's"), std::string::npos) << refusal;
  platform::closeStopRequestEvent(held);
  EXPECT_TRUE(platform::registerConsoleControlHandler([](int) {}, &refusal)) << refusal;
  platform::removeConsoleControlHandler();
}

// A service takes its stops from the Service Control Manager alone: a name
// another process made first does not keep it from starting.
TEST(ConsoleWindowsTest, AServiceMakesNoStopRequestEventAndNoNameKeepsItFromStarting) {
  std::string error;
  void* held = platform::createStopRequestEvent(static_cast<unsigned long>(platform::currentProcessId()), error);
  ASSERT_NE(held, nullptr) << error;
  platform::takeStopsFromServiceManagerOnly();
  std::string refusal;
  EXPECT_TRUE(platform::registerConsoleControlHandler([](int) {}, &refusal)) << refusal;
  platform::removeConsoleControlHandler();
  platform::closeStopRequestEvent(held);
}

}  // namespace
