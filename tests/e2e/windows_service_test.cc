// The gateway as a Windows service, as an administrator handles it: install,
// start, an exchange, an orderly stop, uninstall; a second gateway beside
// it whose start fails and ends the service with exit code 13. What Wine's
// Service Control Manager does not carry out (recovery actions after a
// crash, delayed start, the Event Log's contents) is checked by reading the
// installed configuration back.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>
#include <chrono>
#include <string>

#include "platform/child_process.h"
#include "platform/windows_service.h"
#include "support/gateway_setup.h"
#include "support/temp_directory.h"

namespace gateway_testing {
namespace {

// Runs one of the system's commands ("sc start NAME") to its end.
int runSystemCommand(const std::vector<std::string>& command, std::string* output = nullptr) {
  std::string error;
  auto child = platform::ChildProcess::start(command, true, error);
  if (!child) return -1;
  std::string text;
  while (std::optional<std::string> line = child->readLine(60000)) text += *line + "\n";
  if (output != nullptr) *output = text;
  return child->wait(60000).value_or(-1);
}

// Runs the gateway with `arguments` after its "/ini:"; its exit status and output.
int runGatewayWith(const GatewaySetup& setup, const std::vector<std::string>& arguments, std::string& output) {
  auto gateway = setup.startGateway(arguments);
  if (!gateway) return -1;
  output.clear();
  while (std::optional<std::string> line = gateway->readLine(60000)) output += *line + "\n";
  return gateway->wait(60000).value_or(-1);
}

bool awaitState(const std::string& name, const std::string& state) {
  return GatewaySetup::waitUntil([&] { return platform::queryService(name).state == state; }, 60000);
}

// Removes the service at the end of the test, however it ends.
struct InstalledService {
  std::string name;
  ~InstalledService() { platform::uninstallService(name, 60); }
};

std::string uniqueName(const char* stem) {
  return std::string(stem) + std::to_string(std::random_device{}() % 1000000);
}

// A gateway that runs until stopped and sends the file `name` of its
// outgoing directory "out" (relative: taken from the working directory,
// which must be the INI file's) to itself; returns its incoming directory.
std::string sendingToItself(GatewaySetup& setup, const std::string& name, const std::string& contents) {
  const std::string in = setup.useMainRule("FILE");
  setup.makeDirectory("out");
  setup.set("main", "out", "out\\");
  setup.set("main", "address", addressOf(kGatewayTicker));
  setup.set("trasvik", "loops", "0");
  setup.directory().write("out/" + name, contents);
  return in;
}

TEST(WindowsServiceTest, InstalledGatewayStartsExchangesStopsInOrderAndIsRemoved) {
  GatewaySetup setup;
  const std::string in = sendingToItself(setup, "report.txt", "sent by the service");

  const InstalledService service{uniqueName("TrasvikTest")};
  std::string output;
  ASSERT_EQ(runGatewayWith(setup, {"/install", "/name:" + service.name, "/depend:RpcSs"}, output), 0) << output;
  const platform::ServiceFacts facts = platform::queryService(service.name);
  ASSERT_TRUE(facts.installed) << facts.error;
  EXPECT_EQ(facts.state, "stopped");
  EXPECT_NE(facts.commandLine.find("/service:" + service.name), std::string::npos) << facts.commandLine;
  EXPECT_NE(facts.commandLine.find("/ini:" + setup.writeIni() + "\""), std::string::npos) << facts.commandLine;
  EXPECT_EQ(facts.dependencies, std::vector<std::string>{"RpcSs"});
  // Restarted 60 s after a crash, not after a stop it reported itself (exit
  // 13); a system that keeps no recovery actions (Wine) makes the install
  // say so.
  if (facts.restartsAfterCrash) {
    EXPECT_EQ(facts.restartDelaySeconds, 60u);
  } else {
    EXPECT_NE(output.find("did not keep the recovery actions"), std::string::npos) << output;
  }
  EXPECT_FALSE(facts.restartsAfterReportedFailure);
  EXPECT_NE(output.find("Service port: XMLRPCPORT=" + std::to_string(setup.port()) + ", as this console sets it"),
            std::string::npos)
      << output;
  if (!facts.restartsAfterCrash) {
    EXPECT_NE(output.find("no restart after a crash"), std::string::npos) << output;
  }
  // A second install of the same name is refused, saying how to name it
  // otherwise; nothing changes.
  EXPECT_EQ(runGatewayWith(setup, {"/install", "/name:" + service.name}, output), 13) << output;
  EXPECT_NE(output.find("give this gateway a name of its own with /name:NAME"), std::string::npos) << output;

  ASSERT_EQ(runSystemCommand({"sc", "start", service.name}), 0);
  ASSERT_TRUE(awaitState(service.name, "running"));
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return std::filesystem::exists(in + "report.txt"); }, 60000));
  EXPECT_EQ(testing_support::readFile(in + "report.txt"), "sent by the service");

  ASSERT_EQ(runSystemCommand({"sc", "stop", service.name}), 0);
  ASSERT_TRUE(awaitState(service.name, "stopped"));
  EXPECT_EQ(platform::queryService(service.name).exitCode, 0);
  EXPECT_EQ(setup.countRecords("INFO", "Stop requested by the Service Control Manager (stop)"), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Trasvik stopped with exit status 0,"), 1);

  ASSERT_EQ(runGatewayWith(setup, {"/check", "/dir:" + setup.directory().file(""), "/name:" + service.name}, output), 0)
      << output;
  EXPECT_NE(output.find("Service \"" + service.name + "\" is installed and stopped"), std::string::npos) << output;
  EXPECT_NE(output.find("The service is looked for at 127.0.0.1:" + std::to_string(setup.port())), std::string::npos)
      << output;
  ASSERT_EQ(runGatewayWith(setup, {"/uninstall", "/name:" + service.name}, output), 0) << output;
  EXPECT_FALSE(platform::queryService(service.name).installed);
}

// Started before the exchange service (a boot that starts it first), the
// gateway waits in START_PENDING, reports RUNNING once its session is open
// and exchanges; a status named in stoperrors ends it through the service's
// own report, with exit code 13.
TEST(WindowsServiceTest, AServiceStartedBeforeTheExchangeServiceWaitsForItAndAStopErrorEndsItWith13) {
  GatewaySetup setup;
  const std::string in = sendingToItself(setup, "early.txt", "waited for");
  const InstalledService service{uniqueName("TrasvikTestW")};
  std::string output;
  ASSERT_EQ(runGatewayWith(setup, {"/install", "/name:" + service.name}, output), 0) << output;
  EXPECT_NE(platform::queryService(service.name).commandLine.find(" /supervised "), std::string::npos);

  setup.stopService();
  ASSERT_EQ(runSystemCommand({"sc", "start", service.name}), 0);
  ASSERT_TRUE(GatewaySetup::waitUntil([&] {
    return setup.countRecordsStartingWith("The service at 127.0.0.1:" + std::to_string(setup.port()) +
                                          " is not reachable (") == 1;
  }, 60000));
  std::this_thread::sleep_for(std::chrono::seconds(4));  // beyond the fixture's 2 tries
  EXPECT_EQ(platform::queryService(service.name).state, "start pending");
  setup.restartService();
  ASSERT_TRUE(awaitState(service.name, "running"));
  EXPECT_TRUE(GatewaySetup::waitUntil([&] { return std::filesystem::exists(in + "early.txt"); }, 60000));
  ASSERT_EQ(runSystemCommand({"sc", "stop", service.name}), 0);
  ASSERT_TRUE(awaitState(service.name, "stopped"));
  EXPECT_EQ(platform::queryService(service.name).exitCode, 0);

  setup.set("trasvik", "stoperrors", "0");
  setup.writeIni();
  setup.inject("InitContext", 1, "error", "Closed for the night");
  ASSERT_EQ(runSystemCommand({"sc", "start", service.name}), 0);
  ASSERT_TRUE(awaitState(service.name, "stopped"));
  EXPECT_EQ(platform::queryService(service.name).exitCode, 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Can't init context, the service refused it with status 0 "
                                        "([trasvik]:stoperrors)"),
            1);
}

TEST(WindowsServiceTest, AStartThatFailsEndsTheServiceWithExitCode13BesideAnotherGateway) {
  GatewaySetup setup;
  setup.useMainRule("FILE");
  setup.set("trasvik", "loops", "0");
  const InstalledService first{uniqueName("TrasvikTestA")};
  std::string output;
  ASSERT_EQ(runGatewayWith(setup, {"/install", "/name:" + first.name}, output), 0) << output;
  // The second gateway's INI file names an incoming directory that is not there.
  setup.set("main", "in", setup.directory().file("missing") + "\\");
  const std::string secondIni = setup.directory().file("second.ini");
  std::filesystem::copy_file(setup.writeIni(), secondIni);
  const InstalledService secondService{uniqueName("TrasvikTestB")};
  std::string error;
  auto second = platform::ChildProcess::start(
      {GatewaySetup::gatewayBinary(), "/install", "/ini:" + secondIni, "/name:" + secondService.name}, true, error,
      {"XMLRPCPORT=" + std::to_string(setup.port())});
  ASSERT_NE(second, nullptr) << error;
  while (std::optional<std::string> line = second->readLine(60000)) output += *line + "\n";
  EXPECT_EQ(second->wait(60000), 0) << output;
  EXPECT_TRUE(platform::queryService(first.name).installed);
  ASSERT_TRUE(platform::queryService(secondService.name).installed);

  ASSERT_EQ(runSystemCommand({"sc", "start", secondService.name}), 0);
  ASSERT_TRUE(awaitState(secondService.name, "stopped"));
  EXPECT_EQ(platform::queryService(secondService.name).exitCode, 13);
  EXPECT_EQ(platform::queryService(first.name).state, "stopped");
  // The first INI file's check does not take the second one's service for its own.
  runGatewayWith(setup, {"/check", "/name:" + secondService.name}, output);
  EXPECT_NE(output.find("Service \"" + secondService.name + "\" is installed for another INI file"), std::string::npos)
      << output;
}

}  // namespace
}  // namespace gateway_testing
