// One gateway per INI file: a second one on the same INI file and state
// refuses to start and names the first; the lock goes with the process,
// also when it is killed.
#include <gtest/gtest.h>

#include <filesystem>
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

// Started from two working directories, one INI file still runs one
// gateway: its lock and state go beside the INI file. A state file an
// earlier version left in the working directory is taken over, once.
TEST(InstanceLockTest, TheLockAndTheStateGoBesideTheIniFileWhateverTheWorkingDirectory) {
  GatewaySetup setup;
  setup.useMainRule("FILE");
  setup.erase("trasvik", "statefile");
  setup.set("trasvik", "loops", "0");
  setup.set("trasvik", "sleeptime", "600");
  const std::string former = setup.makeDirectory("former");
  setup.directory().write("former/trasvik.state", "trasvik state 1\n");
  auto first = setup.startGateway({"/dir:" + former});
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return setup.countRecordsStartingWith("messages: ") > 0; }));
  const std::string state = setup.directory().file("trasvik.state");
  EXPECT_EQ(setup.countRecords("INFO", "State file \"" + former + "trasvik.state\" of an earlier version taken over as \"" +
                                           state + "\""),
            1);
  EXPECT_FALSE(std::filesystem::exists(former + "trasvik.state"));
  EXPECT_FALSE(std::filesystem::exists(former + "trasvik.state.lock"));

  auto second = setup.startGateway({"/dir:" + setup.makeDirectory("elsewhere")});
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->wait(60000), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Another Trasvik runs with this INI file (process " +
                                            std::to_string(first->pid()) + ", lock file \"" + state + ".lock\")"),
            1);
  first->kill();
}

}  // namespace
}  // namespace gateway_testing
