// One gateway per INI file: a second one on the same INI file and state
// refuses to start and names the first; the lock goes with the process,
// also when it is killed.
#include <gtest/gtest.h>

#include <string>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

TEST(InstanceLockTest, ASecondGatewayOnTheSameIniFileEndsWith13NamingTheFirstUntilTheFirstIsKilled) {
  GatewaySetup setup;
  setup.useMainRule("FILE");
  setup.set("trasvik", "loops", "0");
  setup.set("trasvik", "sleeptime", "600");
  auto first = setup.startGateway();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return setup.countRecordsStartingWith("messages: ") > 0; }));

  std::string output;
  EXPECT_EQ(setup.runGateway(&output), 13) << output;
  const std::string refused = "Another Trasvik runs with this INI file (process " + std::to_string(first->pid()) +
                              ", lock file \"" +
                              setup.directory().file("trasvik.state.lock") + "\")";
  EXPECT_EQ(setup.countRecords("FATAL", refused), 1);
  // The second one left the first's directories and state alone.
  EXPECT_EQ(setup.countRecordsStartingWith("messages: "), 1);
  // A check says so too: the gateway would not start now.
  auto check = setup.startGateway({"/check"});
  ASSERT_NE(check, nullptr);
  output.clear();
  while (std::optional<std::string> line = check->readLine(60000)) output += *line + "\n";
  EXPECT_EQ(check->wait(60000), 13);
  EXPECT_NE(output.find(refused), std::string::npos) << output;

  first->kill();
  setup.set("trasvik", "loops", "1");
  EXPECT_EQ(setup.runGateway(&output), 0) << output;
  EXPECT_EQ(setup.countRecordsStartingWith("messages: "), 2);
}

}  // namespace
}  // namespace gateway_testing
