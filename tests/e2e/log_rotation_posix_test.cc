// logrotate without copying: the log file is renamed, SIGUSR1 makes the
// gateway open a new one under the configured name, and it goes on.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

TEST(LogRotationTest, User1SignalReopensTheRenamedLogUnderItsNameAndTheGatewayGoesOn) {
  GatewaySetup setup;
  setup.useMainRule("FILE");
  setup.set("trasvik", "loops", "0");
  setup.set("trasvik", "sleeptime", "1");
  auto gateway = setup.startGateway();
  ASSERT_NE(gateway, nullptr);
  const std::string log = setup.directory().file("gateway.log");
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return setup.countRecordsStartingWith("messages: ") > 0; }));

  std::filesystem::rename(log, log + ".1");
  gateway->sendUser1Signal();
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return setup.countRecordsStartingWith("messages: ") > 0; }))
      << readFile(log + ".1");
  EXPECT_EQ(setup.countRecords("INFO", "LOG file reopened"), 1);
  EXPECT_EQ(readFile(log + ".1").find("LOG file reopened"), std::string::npos);
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);
  EXPECT_EQ(setup.countRecords("INFO", "ControlHandler(): Shutdown Event received."), 1);
}

}  // namespace
}  // namespace gateway_testing
