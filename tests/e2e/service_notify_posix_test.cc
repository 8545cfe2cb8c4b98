// The gateway under a systemd unit of Type=notify: what it sends to the
// socket NOTIFY_SOCKET names, read by a listener of the test's own
// (python3, which the machine has for the transport's reference peer too).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "support/gateway_setup.h"
#include "support/temp_directory.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

// Receives datagrams on a Unix socket at `socketPath` and appends each to
// `noticesPath`, followed by a line "--".
constexpr char kListener[] =
    "import socket, sys\n"
    "s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)\n"
    "s.bind(sys.argv[1])\n"
    "print('listening', flush=True)\n"
    "while True:\n"
    "    data = s.recv(65536)\n"
    "    with open(sys.argv[2], 'ab') as f:\n"
    "        f.write(data + b'\\n--\\n')\n";

class ServiceNotifyTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    listener = platform::ChildProcess::start({"python3", "-c", kListener, socketPath, noticesPath}, true, error);
    ASSERT_TRUE(listener) << error;
    ASSERT_TRUE(listener->readLine(10000)) << "the listener did not start";
    setup.useMainRule("FILE");
    setup.set("trasvik", "loops", "0");
  }
  void TearDown() override {
    if (listener) listener->kill();
  }
  std::string notices() const { return std::filesystem::exists(noticesPath) ? readFile(noticesPath) : ""; }
  bool noticed(const std::string& line) const { return notices().find(line) != std::string::npos; }
  std::unique_ptr<platform::ChildProcess> startUnderTheManager() const {
    return setup.startGateway({"/supervised"},
                              {"NOTIFY_SOCKET=" + socketPath, "WATCHDOG_USEC=60000000", "XMLRPCTIMEOUT=3"});
  }

  GatewaySetup setup;
  const std::string socketPath = setup.directory().file("notify.socket");
  const std::string noticesPath = setup.directory().file("notices.txt");
  std::unique_ptr<platform::ChildProcess> listener;
};

TEST_F(ServiceNotifyTest, ReadyOnceTheSessionIsOpenThenWatchdogAndStatusEachPass) {
  std::ofstream(setup.makeDirectory("out") + "a.txt") << "a";
  setup.set("main", "out", setup.makeDirectory("out"));
  setup.set("main", "address", addressOf(kGatewayTicker));
  const auto gateway = startUnderTheManager();
  // The file goes out and comes back in the first passes.
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return noticed(", 1 sent, 1 received, last exchange "); })) << notices();
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);

  const std::string text = notices();
  const std::size_t ready = text.find("READY=1\n");
  ASSERT_NE(ready, std::string::npos) << text;
  EXPECT_EQ(text.find("READY=1\n", ready + 1), std::string::npos) << "READY more than once: " << text;
  EXPECT_NE(text.find("WATCHDOG=1\nSTATUS=pass "), std::string::npos) << text;
}

TEST_F(ServiceNotifyTest, WaitingForTheServiceStretchesTheStartAndSaysSinceWhen) {
  setup.stopService();
  const auto gateway = startUnderTheManager();
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return noticed("STATUS=waiting for the service since "); }));
  EXPECT_TRUE(noticed("EXTEND_TIMEOUT_USEC=")) << notices();
  EXPECT_FALSE(noticed("READY=1")) << notices();

  setup.restartService();
  EXPECT_TRUE(GatewaySetup::waitUntil([&] { return noticed("READY=1"); }, 60000)) << notices();
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);
}

}  // namespace
}  // namespace gateway_testing
