// A supervised gateway (/supervised, as the packaged unit and the Windows
// service run it) and outages of the exchange service: waited out however
// long they last, at the start and while it runs, with every file
// delivered once; a stop during the wait is an orderly one; a configuration
// error still ends the start at once. The fixture's session settings give
// up after 2 tries 1 s apart, so an outage of a few seconds outlasts them.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

class ServiceOutageTest : public testing::Test {
 protected:
  void SetUp() override {
    in = setup.useMainRule("FILE");
    setup.set("trasvik", "loops", "0");
    setup.set("main", "out", out);
    setup.set("main", "address", addressOf(kGatewayTicker));
  }

  // A call whose answer does not come in 3 s fails as a lost session (under
  // Wine a killed service's connections may stay open).
  std::unique_ptr<platform::ChildProcess> startSupervised() const {
    return setup.startGateway({"/supervised"}, {"XMLRPCTIMEOUT=3"});
  }
  std::string servicePrefix() const { return "The service at 127.0.0.1:" + std::to_string(setup.port()); }
  int outageWarnings() const { return setup.countRecordsStartingWith(servicePrefix() + " is not reachable ("); }
  int outageEnds() const { return setup.countRecordsStartingWith(servicePrefix() + " is reachable again after "); }
  bool arrived(const std::string& name) const { return std::filesystem::exists(in + name); }
  std::string log() const { return testing_support::readFile(setup.directory().file("gateway.log")); }
  // Longer than the fixture's reconnect tries, after which a console run ends.
  static void outlastTheTries() { std::this_thread::sleep_for(std::chrono::seconds(4)); }

  GatewaySetup setup;
  std::string in;
  const std::string out = setup.makeDirectory("out");
};

TEST_F(ServiceOutageTest, AnOutageWhileItRunsIsWaitedOutAndEveryFileArrivesOnce) {
  const auto gateway = startSupervised();
  std::ofstream(out + "before.txt") << "before";
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return arrived("before.txt"); }));

  setup.stopService();
  std::ofstream(out + "during.txt") << "during";
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return outageWarnings() == 1; }));
  outlastTheTries();
  EXPECT_FALSE(gateway->wait(0).has_value()) << "the gateway ended during the outage";
  EXPECT_EQ(outageWarnings(), 1);  // one warning, not one per try

  setup.restartService();
  EXPECT_TRUE(GatewaySetup::waitUntil([&] { return arrived("during.txt"); }, 60000));
  EXPECT_EQ(outageEnds(), 1);
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"before.txt", "during.txt"}));
  EXPECT_EQ(setup.countRecordsStartingWith("FATAL"), 0);
}

TEST_F(ServiceOutageTest, AGatewayStartedBeforeTheServiceWaitsForItAndThenExchanges) {
  setup.stopService();
  std::ofstream(out + "early.txt") << "early";
  const auto gateway = startSupervised();
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return outageWarnings() == 1; }));
  outlastTheTries();
  EXPECT_FALSE(gateway->wait(0).has_value()) << "the gateway ended before the service came";

  setup.restartService();
  EXPECT_TRUE(GatewaySetup::waitUntil([&] { return arrived("early.txt"); }, 60000));
  EXPECT_EQ(outageEnds(), 1);
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);
}

TEST_F(ServiceOutageTest, AStopWhileItWaitsForTheServiceIsAnOrderlyOneWithinSeconds) {
  setup.stopService();
  const auto gateway = startSupervised();
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return outageWarnings() == 1; }));
  const auto asked = std::chrono::steady_clock::now();
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0) << log();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
  EXPECT_EQ(setup.countRecordsStartingWith("Trasvik stopped with exit status 0"), 1);
}

// Only the outage is waited out: what a restart cannot mend ends the start
// with 13 at once, and the check before a supervised start lets a start
// through without the service (a plain check does not).
TEST_F(ServiceOutageTest, UnderSupervisionAConfigurationErrorStillEndsTheStartWith13) {
  setup.stopService();
  std::string output;
  const auto check = [&](const std::vector<std::string>& arguments) {
    output.clear();
    const auto gateway = setup.startGateway(arguments);
    while (std::optional<std::string> line = gateway->readLine(30000)) output += *line + "\n";
    return gateway->wait(30000).value_or(-1);
  };
  EXPECT_EQ(check({"/check", "/supervised"}), 0) << output;
  EXPECT_NE(output.find("the supervised gateway waits for it"), std::string::npos) << output;
  EXPECT_EQ(check({"/check"}), 13) << output;

  setup.set("trasvik", "srvcini", setup.directory().file("missing.ini"));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(check({"/supervised"}), 13);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(outageWarnings(), 0);
  EXPECT_EQ(setup.countRecordsStartingWith("Service ini file \""), 1);
}

// A supervised gateway whose main thread stops moving (a call that never
// returns, made here at a chosen point) is ended as a crash, for its
// service manager to start again; the record says why. The bound is the
// test's own (it is minutes).
TEST_F(ServiceOutageTest, ASupervisedGatewayThatHangsIsEndedAsACrash) {
  std::ofstream(out + "stuck.txt") << "stuck";
  const auto gateway =
      setup.startGateway({"/supervised"}, {"TRASVIK_HANG_AT=post-sent", "TRASVIK_TEST_HANG_BOUND=2"});
  const std::optional<int> status = gateway->wait(30000);
  ASSERT_TRUE(status.has_value()) << "the hung gateway was not ended";
  EXPECT_NE(*status, 0);
  EXPECT_NE(*status, 13);
  EXPECT_EQ(setup.countRecords("FATAL", "The gateway has not moved on for 2 s; it ends to be started again"), 1)
      << log();
}

// A status the INI file names in stoperrors ends the start at once, as
// before, but through the gateway's way out (which a Windows service
// reports as its own), with a record that says why.
TEST_F(ServiceOutageTest, AStatusNamedInStoperrorsEndsTheStartWith13AndSaysSo) {
  setup.set("trasvik", "stoperrors", "0");
  setup.inject("InitContext", 1, "error", "Closed for the night");
  const auto gateway = startSupervised();
  EXPECT_EQ(gateway->wait(30000), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Can't init context, the service refused it with status 0 "
                                        "([trasvik]:stoperrors)"),
            1);
}

}  // namespace
}  // namespace gateway_testing
