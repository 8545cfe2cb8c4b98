// Crashes around a running gateway: the service killed and restarted while
// the gateway receives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

bool allReceived(const std::string& in, int count) {
  for (int i = 0; i < count; ++i) {
    if (!std::filesystem::exists(in + "f" + std::to_string(i) + ".txt")) return false;
  }
  return true;
}

TEST(ServiceCrashTest, GatewayReopensItsSessionAndGoesOnWhenTheServiceIsKilledWhileItReceives) {
  constexpr int kMessages = 30;
  for (const int killAfter : {1, 8, 20}) {
    SCOPED_TRACE("service killed after " + std::to_string(killAfter) + " messages");
    GatewaySetup setup;
    const std::string in = setup.useMainRule("FILE");
    const std::string out = setup.makeDirectory("out");
    const std::string sent = setup.makeDirectory("sent");
    setup.set("trasvik", "loops", "0");
    setup.set("trasvik", "reconnect_tries", "20");
    setup.set("main", "out", out);
    setup.set("main", "sent", sent);
    setup.set("main", "address", addressOf(kPeerTicker));
    for (int i = 0; i < kMessages; ++i) setup.deliver(message("m", {{"f" + std::to_string(i) + ".txt", "x"}}));

    const auto gateway = setup.startGateway();
    ASSERT_TRUE(GatewaySetup::waitUntil([&] { return setup.countRecordsStartingWith("Msg received") >= killAfter; }));
    setup.restartService();
    std::ofstream(out + "own.txt") << "mine";

    // Every message arrives and the gateway's own file goes out: the lost
    // session stopped nothing.
    EXPECT_TRUE(GatewaySetup::waitUntil(
        [&] { return allReceived(in, kMessages) && std::filesystem::exists(sent + "own.txt"); }));
    EXPECT_EQ(setup.countRecords("FATAL", "Unknown exception - exiting"), 0);
    gateway->terminate();
    EXPECT_EQ(gateway->wait(30000), 0);
  }
}

}  // namespace
}  // namespace gateway_testing
