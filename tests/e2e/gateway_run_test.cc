// The gateway program as a participant runs it: command line, passes,
// stopping, and a lost service session.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

class GatewayRunTest : public testing::Test {
 protected:
  void SetUp() override {
    setup.useMainRule("FILE");
  }

  int passes() const { return setup.countRecords("INFO", "messages: 0 received, 0 rejected"); }

  // Runs the program with these arguments (no INI is added).
  int runWith(const std::vector<std::string>& arguments, std::string& output) {
    std::string error;
    std::vector<std::string> command{GatewaySetup::gatewayBinary()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    auto child = platform::ChildProcess::start(command, true, error, {"XMLRPCPORT=" + std::to_string(setup.port())});
    if (!child) return -1;
    while (std::optional<std::string> line = child->readLine(30000)) output += *line + "\n";
    return child->wait(30000).value_or(-1);
  }

  GatewaySetup setup;
};

TEST_F(GatewayRunTest, CommandLineProblemsPrintTheirTextAndEndWith13) {
  const std::string usage = "Usage: Trasvik /ini:inifilename [/dir:directory]\n";
  std::string output;
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {}, {"/ini:", "-dir:x"}, {"gate.ini"}, {"/dir:/tmp"}}) {
    output.clear();
    EXPECT_EQ(runWith(arguments, output), 13);
    EXPECT_EQ(output, usage + "No INI file given (/ini:)\n");
  }
  output.clear();
  EXPECT_EQ(runWith({"/ini=gate.ini"}, output), 13);
  EXPECT_EQ(output, usage + "Unknown option \"/ini=gate.ini\"\n");
  // Help and version answer with 0, whatever else is given.
  output.clear();
  EXPECT_EQ(runWith({"--version", "/ini:gate.ini"}, output), 0);
  EXPECT_EQ(output, std::string("Trasvik ") + TRASVIK_VERSION + "\n");
  for (const char* help : {"/?", "-HELP", "--help"}) {
    output.clear();
    EXPECT_EQ(runWith({help}, output), 0);
    EXPECT_EQ(output.rfind(usage, 0), 0u) << output;
    EXPECT_NE(output.find("/check"), std::string::npos) << output;
  }
  output.clear();
  EXPECT_EQ(runWith({"/ini:missing.ini", "/dir:" + setup.directory().file("")}, output), 13);
  EXPECT_EQ(output, "Can't open INI file: \"missing.ini\", QNERROR 0xE0000002\n");
  output.clear();
  EXPECT_EQ(runWith({"/ini:x.ini", "/dir:" + setup.directory().file("nowhere")}, output), 13);
  EXPECT_EQ(output, "Can't set current directory \"" + setup.directory().file("nowhere") + "\"\n");
}

TEST_F(GatewayRunTest, OptionsInAnyCaseAndOnePassWithoutSleeping) {
  setup.set("trasvik", "sleeptime", "600");
  const std::string ini = setup.writeIni();
  std::string output;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(runWith({"-DIR:" + setup.directory().file(""), "-INI:", "trasvik.ini", "stray"}, output), 0)
      << output << testing_support::readFile(setup.directory().file("gateway.log"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
  EXPECT_EQ(passes(), 1);
  EXPECT_EQ(setup.countRecords("INFO", std::string("Trasvik ") + TRASVIK_VERSION), 1);
  EXPECT_EQ(setup.countRecords("INFO", "IniFileName: \"trasvik.ini\", Working Directory: \"" +
                                           setup.directory().file("") .substr(0, setup.directory().file("").size() - 1) + "\""),
            1);
}

// How a stop request (ChildProcess::terminate()) reaches the gateway and is
// named in its log: SIGTERM, or on Windows the stop request its console
// waiter takes as Ctrl+Break.
#if defined(_WIN32)
constexpr char kStopRequestName[] = "Control Break";
#else
constexpr char kStopRequestName[] = "Shutdown Event";
#endif

TEST_F(GatewayRunTest, ConsoleEventDuringTheSleepEndsAtOnceWith0) {
  setup.set("trasvik", "loops", "0");
  setup.set("trasvik", "sleeptime", "600");
  // Ctrl+C at the gateway's console, and a stop request as a service
  // manager sends it.
  const std::vector<std::pair<void (platform::ChildProcess::*)(), std::string>> events{
      {&platform::ChildProcess::interrupt, "Control C"}, {&platform::ChildProcess::terminate, kStopRequestName}};
  for (const auto& [send, name] : events) {
    SCOPED_TRACE(name);
    const int passesBefore = passes();
    auto gateway = setup.startGateway();
    ASSERT_NE(gateway, nullptr);
    ASSERT_TRUE(GatewaySetup::waitUntil([&] { return passes() > passesBefore; }, 10000));
    ((*gateway).*send)();
    EXPECT_EQ(gateway->wait(10000), 0);
    EXPECT_EQ(setup.countRecords("INFO", "ControlHandler(): " + name + " received."), 1);
  }
}

TEST_F(GatewayRunTest, LostSessionStartsTheSessionAgainAndLosesNothing) {
  setup.set("main", "out", setup.makeDirectory("out"));
  setup.set("main", "address", addressOf(kPeerTicker));
  setup.directory().write("out/outgoing.txt", "out");
  Delivery incoming;
  incoming.subject = "in";
  incoming.attachments = {{"incoming.txt", "in"}};
  setup.deliver(incoming);
  // Both the call and the library's one retry on a new connection are
  // dropped: the call fails as a lost session, first while collecting, then
  // while posting.
  setup.inject("DravontCollect", 2, "drop");
  setup.inject("PostMessageTo", 2, "drop");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(setup.countRecords("INFO", "connecting to service parameters: tries 2, tymeout 1 sec"), 1);
  EXPECT_EQ(testing_support::readFile(setup.directory().file("in/incoming.txt")), "in");
  EXPECT_FALSE(std::filesystem::exists(setup.directory().file("out/outgoing.txt")));
  EXPECT_NE(setup.listStore().find("attachment \"outgoing.txt\""), std::string::npos);
  EXPECT_EQ(setup.countRecords("INFO", "messages: 1 received, 0 rejected"), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("session reopened after "), 2);
  // The last record counts across the sessions.
  EXPECT_EQ(setup.countRecordsStartingWith(
                "Trasvik stopped with exit status 0, 1 file(s) posted, 1 message(s) received, 0 rejected, "),
            1);
}

// A session lost while a .msg header or an envelope is read: what was read
// so far is not the file. Both stay, and go whole once the session is back;
// nothing goes to the error directory.
TEST_F(GatewayRunTest, AHeaderReadCutShortByALostSessionIsReadAgainWhole) {
  setup.set("trasvik", "loops", "3");
  setup.set("trasvik", "sleeptime", "1");
  for (const char* type : {"MSG", "UA"}) {
    setup.set("rules", std::string("rule") + (type[0] == 'M' ? "1" : "2"), type);
    setup.set(type, "type", type);
    setup.set(type, "out", setup.makeDirectory(type));
  }
  const std::string to = "to: " + addressOf(kPeerTicker) + "\n";
  setup.directory().write("MSG/report.msg", to + "subject: whole\n\nbody");
  setup.directory().write("UA/pair.env", to + "subject: pair\n");
  setup.directory().write("UA/pair.001", "data");
  // Each call and the library's retry on a new connection: two header reads
  // fail as a lost session.
  setup.inject("DravontStreamRead", 4, "drop");
  EXPECT_EQ(setup.runGateway(nullptr, {}, 30000), 0);
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("subject \"whole\""), std::string::npos) << store;
  EXPECT_NE(store.find("subject \"pair\""), std::string::npos) << store;
  EXPECT_TRUE(directoryNames(setup.directory().file("error")).empty());
  EXPECT_EQ(setup.countRecordsStartingWith("session reopened after "), 2);
}

// The service goes away during the start: at the version check, and while
// a rule makes its address. A new session mends that; 13 stays for what a
// restart cannot mend.
TEST_F(GatewayRunTest, ASessionLostDuringTheStartIsOpenedAgain) {
  setup.set("main", "out", setup.makeDirectory("out"));
  setup.set("main", "address", addressOf(kPeerTicker));
  setup.directory().write("out/outgoing.txt", "out");
  setup.inject("system.version", 2, "drop");
  setup.inject("DravontAddressCtor", 2, "drop");
  EXPECT_EQ(setup.runGateway(), 0);
  // Said once, when a session is open again.
  EXPECT_EQ(setup.countRecordsStartingWith("session reopened after "), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Can't get service version"), 0);
  EXPECT_EQ(setup.countRecordsStartingWith("Can't init Dravont address"), 0);
  EXPECT_NE(setup.listStore().find("attachment \"outgoing.txt\""), std::string::npos);
}

// The session is lost while a saved message is confirmed, and again while
// the next session's start confirms it: the one after confirms it, and the
// pass counts it as received.
TEST_F(GatewayRunTest, AMessageConfirmedAfterALostSessionCountsAsReceived) {
  Delivery incoming;
  incoming.attachments = {{"incoming.txt", "in"}};
  setup.deliver(incoming);
  setup.inject("Confirm", 2, "drop");
  setup.inject("ConfirmMessage", 2, "drop");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(setup.countRecordsStartingWith("Error in ConfirmMessage()"), 0);
  EXPECT_EQ(testing_support::readFile(setup.directory().file("in/incoming.txt")), "in");
  EXPECT_EQ(directoryNames(setup.directory().file("in")).size(), 1u);
  EXPECT_EQ(setup.countRecords("INFO", "messages: 1 received, 0 rejected"), 1);
}

TEST_F(GatewayRunTest, StartFailuresEndWith13) {
  setup.set("main", "type", "XML");
  EXPECT_EQ(setup.runGateway(), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Wrong rule type \"XML\" in section [main]"), 1);
  setup.erase("rules", "main");
  EXPECT_EQ(setup.runGateway(), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "No main rule in ini file (no [rules]:main)"), 1);
  // A service that is not there is named as such, on each try.
  setup.stopService();
  EXPECT_EQ(setup.runGateway(), 13);
  EXPECT_EQ(setup.countRecordsStartingWith("service at 127.0.0.1:" + std::to_string(setup.port()) +
                                           " not reachable: "),
            2);
}

}  // namespace
}  // namespace gateway_testing
