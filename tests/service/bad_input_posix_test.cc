// The service's bad input that exists on POSIX systems alone: a FIFO where
// a file is expected, and a stop-signal handler that cannot be installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "support/service_fixture.h"

namespace {

using namespace service_testing;
using testing::HasSubstr;

TEST(BadInputPosixTest, AFifoIsNotARegularFileAndIsAnsweredAtOnce) {
  testing_support::TempDirectory directory;
  ServiceProcess service(directory.file("store"));
  ASSERT_TRUE(service.running());
  WireClient client(service.port());
  const int context = client.openContext(directory.write("FIFO.ini", settingsText("FIFO", "SVC")));
  const std::string fifo = directory.file("pipe");
  ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  EXPECT_THAT(client.call("DravontStreamFileCtor", args({context, fifo, "rb", ""}))[1].getString(),
              HasSubstr("not a regular file"));  // answered, not stalled
  EXPECT_THAT(client.call("InitContext", args({fifo}))[1].getString(), HasSubstr("not a regular file"));
}

// The stop signals' handler is a thread of its own; none can be started when
// each needs a stack larger than the machine's memory.
TEST(BadInputPosixTest, AStopSignalHandlerThatCannotBeInstalledEndsWithAStatusOfItsOwn) {
  testing_support::TempDirectory directory;
  std::string error;
  std::unique_ptr<platform::ChildProcess> child = platform::ChildProcess::start(
      {"sh", "-c", "ulimit -s 1000000000 || exit 99; exec \"$0\" --port 0 --store \"$1\"", ServiceProcess::binary(),
       directory.file("store")},
      true, error);
  ASSERT_TRUE(child) << error;
  if (child->readLine(10000)) GTEST_SKIP() << "threads start here even with a huge stack limit";
  const std::optional<int> status = child->wait(10000);
  if (status == 99) GTEST_SKIP() << "the stack limit cannot be raised here";
  EXPECT_EQ(status, 6);
}

}  // namespace
