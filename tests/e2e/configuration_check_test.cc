// /check: the start tried as the gateway makes it, its findings on standard
// output, and nothing sent, confirmed, removed, made or notified.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

class ConfigurationCheckTest : public testing::Test {
 protected:
  ConfigurationCheckTest() {
    setup.useMainRule("FILE");
    setup.set("rules", "rule1", "outgoing");
    setup.set("outgoing", "type", "FILE");
    setup.set("outgoing", "out", out);
    setup.set("outgoing", "address", addressOf(kPeerTicker));
  }

  // Runs "/check"; its exit status, with what it printed in `output`.
  int check(std::string& output) {
    auto child = setup.startGateway({"/check"});
    if (child == nullptr) return -1;
    output.clear();
    while (std::optional<std::string> line = child->readLine(60000)) output += *line + "\n";
    return child->wait(60000).value_or(-1);
  }

  GatewaySetup setup;
  const std::string out = setup.makeDirectory("out");
};

TEST_F(ConfigurationCheckTest, AWorkingSetupPassesWithItsTyposNamedAndNothingIsTouched) {
  setup.set("trasvik", "sleeptme", "5");
  setup.set("unused", "key", "value");
  setup.directory().write("out/report.txt", "report");
  setup.directory().write("in/.receiving-1-a.txt", "half a file");
  setup.deliver(message("waiting", {{"a.txt", "a"}}));

  std::string output;
  EXPECT_EQ(check(output), 0) << output;
  EXPECT_NE(output.find("unknown key [trasvik]:sleeptme: did you mean sleeptime?"), std::string::npos) << output;
  EXPECT_NE(output.find("section [unused] is not used by the gateway"), std::string::npos) << output;
  EXPECT_NE(output.find("Service version "), std::string::npos) << output;
  EXPECT_NE(output.find("2 rule(s) set up, the main rule [main] last"), std::string::npos) << output;
  EXPECT_NE(output.find("The gateway would start (2 warning(s)"), std::string::npos) << output;

  // The file waits, the half-received one stays, the message is still
  // there to collect, no error directory was made, and no log file either
  // (a check run as another user must not leave one the gateway cannot
  // write).
  EXPECT_EQ(directoryNames(out), std::vector<std::string>{"report.txt"});
  EXPECT_TRUE(std::filesystem::exists(setup.directory().file("in/.receiving-1-a.txt")));
  EXPECT_NE(setup.listStore().find(listed("waiting")), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(setup.directory().file("gateway.log")));
  EXPECT_FALSE(std::filesystem::exists(setup.directory().file("trasvik.state.lock")));
}

TEST_F(ConfigurationCheckTest, ASetupThatCannotStartEndsWith13WithTheReasonAndNoNotification) {
  std::filesystem::remove_all(out);
  std::string output;
  EXPECT_EQ(check(output), 13) << output;
  EXPECT_NE(output.find(out.substr(0, out.size() - 1)), std::string::npos) << output;
  EXPECT_NE(output.find("The gateway would NOT start"), std::string::npos) << output;
  EXPECT_EQ(setup.listStore().find("can't continue"), std::string::npos) << setup.listStore();
}

// What a newcomer meets first: an address the service does not know yet,
// and a service that is not running. Each is said plainly, with what to do;
// a folder leg nobody configured is not mentioned.
TEST_F(ConfigurationCheckTest, AnUnknownAddressAndAServiceThatIsDownAreSaidPlainly) {
  setup.set("outgoing", "address", "EMAIL@NOBODY.SVC");
  std::string output;
  EXPECT_EQ(check(output), 13) << output;
  EXPECT_NE(output.find("Can't init Dravont address, Unknown address EMAIL@NOBODY.SVC"), std::string::npos) << output;
  EXPECT_EQ(output.find("EDIFolder"), std::string::npos) << output;
  EXPECT_NE(output.find("The service knows no participant of that address."), std::string::npos) << output;

  setup.stopService();
  EXPECT_EQ(check(output), 13) << output;
  EXPECT_NE(output.find("The service at 127.0.0.1:" + std::to_string(setup.port()) + " is not reachable: "),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("XmlRpcClient"), std::string::npos) << output;
}

}  // namespace
}  // namespace gateway_testing
