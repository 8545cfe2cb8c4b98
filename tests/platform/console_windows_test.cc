// The console control handler on Windows: a child, on a console of its own,
// receives Ctrl+C through terminate() and reports it through the handler, on
// a thread the system starts, with code 0 ("Control C").
// The child is this test program again, running only ConsoleChild.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/child_process.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/event.h"
#include "platform/path.h"
#include "platform/thread.h"

namespace {

constexpr char kChildVariable[] = "TRASVIK_CONSOLE_CHILD";

// Runs in the child only: waits for one control event and prints its code
// and whether the handler ran on a thread other than the main one.
TEST(ConsoleChild, ReportsOneControlEvent) {
  if (!platform::environmentVariable(kChildVariable)) GTEST_SKIP() << "runs as the child of ConsoleWindowsTest";
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
  auto child = platform::ChildProcess::start(
      {platform::executablePath().value(), "--gtest_filter=ConsoleChild.ReportsOneControlEvent"}, true, error,
      {std::string(kChildVariable) + "=1"});
  ASSERT_NE(child, nullptr) << error;
  std::optional<std::string> line;
  while ((line = child->readLine(20000)) && *line != "ready") {
  }
  ASSERT_TRUE(line.has_value()) << "the child never got ready";
  child->terminate();
  while ((line = child->readLine(20000)) && line->rfind("event ", 0) != 0) {
  }
  ASSERT_TRUE(line.has_value()) << "the child never saw the event";
  EXPECT_EQ(*line, "event 0 other-thread");
  EXPECT_EQ(child->wait(20000), 0);
}

}  // namespace
