// trasvik /status: a world of known contents (files of set ages waiting
// and in error, a posted file not yet moved on, a gateway that runs, hangs
// or is gone) judged in all three forms and against every threshold; a
// real gateway seen running and waiting for the service; and a directory
// of many waiting files answered in time.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/thread.h"
#include "support/gateway_setup.h"
#include "support/temp_directory.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

class StatusTest : public testing::Test {
 protected:
  void SetUp() override {
    setup.useMainRule("FILE");
    setup.set("main", "out", out);
    setup.set("main", "address", addressOf(kPeerTicker));
    setup.set("rules", "rule1", "letters");
    setup.set("letters", "type", "MSG");
    setup.set("letters", "out", letters);
    setup.makeDirectory("out/err");
    writeAged("out/a.txt", std::string(100, 'a'), 10);
    writeAged("out/b.txt", std::string(50, 'b'), 3);
    writeAged("out/.hidden", "skipped", 30);  // the rule would not send it
    writeAged("out/err/failed.txt", "failed", 1);
    writeAged("letters/x.msg", "letter", 2);
    writeAged("letters/y.txt", "no letter", 20);
    // a.txt was posted and is not moved on yet.
    setup.directory().write("trasvik.state", "trasvik state 1\npost\ta\tposted\t100\t0\t\t" + out + "a.txt\n");
  }

  void writeAged(const std::string& name, const std::string& contents, int minutes) const {
    const std::string path = setup.directory().write(name, contents);
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(minutes));
  }

  // The gateway as its lock and status files show it: this test's own
  // process holds the lock, and its status file was written `ago` seconds
  // ago; the main rule last sent `lastSent` seconds ago.
  void pretendRunning(long long ago, long long lastSent = 60) const {
    const long long now = static_cast<long long>(std::time(nullptr));
    const int pid = platform::currentProcessId();
    setup.directory().write("trasvik.state.lock", std::to_string(pid));
    setup.directory().write("trasvik.status", "trasvik status 1\npid " + std::to_string(pid) + "\nstarted " +
                                                  std::to_string(now - 3600) + "\nwritten " + std::to_string(now - ago) +
                                                  "\npass_ended " + std::to_string(now - ago) +
                                                  "\nwaiting_since 0\npasses 7\nposted 4\nreceived 2\nrejected 0\n"
                                                  "rule " + std::to_string(now - lastSent) + " 0 main\n");
  }

  // Runs trasvik /status with `arguments`; its exit status and output.
  int status(const std::vector<std::string>& arguments, std::string& output) const {
    std::vector<std::string> command{"/status"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto child = setup.startGateway(command);
    output.clear();
    while (std::optional<std::string> line = child->readLine(30000)) output += *line + "\n";
    return child->wait(30000).value_or(-1);
  }

  // The reader of the machine forms is the machine's python3, which the
  // Windows programs under Wine cannot start: they look for a few figures.
  static bool readerRuns() {
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
  }
  // What the reader of a machine form makes of it.
  std::string read(const std::string& format, const std::string& output) const {
    const std::string path = setup.directory().write("status." + format, output);
    std::string error;
    const auto reader = platform::ChildProcess::start(
        {"python3", std::string(TRASVIK_SOURCE_DIR) + "/tests/e2e/status/read_formats.py", format, path}, true, error);
    if (!reader) return error;
    std::string text;
    while (std::optional<std::string> line = reader->readLine(30000)) text += *line + "\n";
    reader->wait(30000);
    return text;
  }

  GatewaySetup setup;
  const std::string out = setup.makeDirectory("out");
  const std::string letters = setup.makeDirectory("letters");
};

TEST_F(StatusTest, AWorldOfKnownContentsReadsTheSameInEveryForm) {
  pretendRunning(5);
  std::string output;
  ASSERT_EQ(status({}, output), 0) << output;
  EXPECT_EQ(output.rfind("TRASVIK OK - 3 waiting, 1 in error | waiting=3;;; oldest_age=", 0), 0u) << output;
  EXPECT_NE(output.find("Gateway   running, process " + std::to_string(platform::currentProcessId())),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("Totals    4 posted, 2 received, 0 rejected since the start"), std::string::npos) << output;
  std::size_t widest = 0;
  for (std::size_t at = output.find('\n'); at != std::string::npos;) {
    const std::size_t next = output.find('\n', at + 1);
    if (next != std::string::npos) widest = std::max(widest, next - at - 1);
    at = next;
  }
  EXPECT_LE(widest, 100u) << output;

  const std::string expected =
      "rule letters MSG waiting=1/6 oldest=2 unmoved=0 error=0 newest=None\n"
      "rule main FILE waiting=2/150 oldest=10 unmoved=1 error=1 newest=1\n";
  ASSERT_EQ(status({"/format:json"}, output), 0) << output;
  if (readerRuns()) {
    EXPECT_EQ(read("json", output), "state OK running=True hung=False\n" + expected) << output;
  } else {
    EXPECT_NE(output.find("\"waiting\": {\"files\": 2, \"bytes\": 150, "), std::string::npos) << output;
  }
  ASSERT_EQ(status({"/format:prometheus"}, output), 0) << output;
  if (readerRuns()) {
    EXPECT_EQ(read("prometheus", output), "state 0\n" + expected) << output;
  } else {
    EXPECT_NE(output.find("trasvik_waiting_files{gateway=\"trasvik\",rule=\"main\",kind=\"FILE\"} 2\n"),
              std::string::npos)
        << output;
  }
}

TEST_F(StatusTest, ThresholdsAndTheGatewaysLifeSetTheStateAndTheExitStatus) {
  struct Case {
    std::vector<std::string> arguments;
    long long statusAge;  // seconds; -1: no gateway runs
    int exitStatus;
    const char* firstWords;
  };
  // The oldest waiting file is 10 minutes old, one file is in error, the
  // last exchange was an hour ago; sleeptime=1 makes the hang bound 184 s.
  const Case cases[] = {
      {{}, 5, 0, "TRASVIK OK - "},
      {{"/warn-age:5"}, 5, 1, "TRASVIK WARNING - 3 waiting, 1 in error; a file has waited 10 min |"},
      {{"/warn-age:5", "/crit-age:8"}, 5, 2, "TRASVIK CRITICAL - 3 waiting, 1 in error; a file has waited 10 min |"},
      {{"/crit-age:11"}, 5, 0, "TRASVIK OK - "},
      {{"/warn-error:1"}, 5, 1, "TRASVIK WARNING - 3 waiting, 1 in error; 1 file(s) in error directories |"},
      {{"/warn-error:2", "/crit-error:3"}, 5, 0, "TRASVIK OK - "},
      {{"/crit-error:1"}, 5, 2, "TRASVIK CRITICAL - "},
      {{"/stale:30"}, 5, 1, "TRASVIK WARNING - 3 waiting, 1 in error; no exchange for 60 min |"},
      {{"/stale:90"}, 5, 0, "TRASVIK OK - "},
      // (Seconds pass while /status starts: "1000" may read "1001".)
      {{}, 1000, 2, "TRASVIK CRITICAL - 3 waiting, 1 in error; the gateway has not moved on for 100"},
      {{}, -1, 2, "TRASVIK CRITICAL - 3 waiting, 1 in error; no gateway runs on this INI file |"},
      {{"/warn-age:ten"}, 5, 3, "TRASVIK UNKNOWN - /warn-age:ten is no whole number of 0 or more"},
      {{"/format:xml"}, 5, 3, "TRASVIK UNKNOWN - /format:xml is none of text, json, prometheus"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments) + " status " + std::to_string(c.statusAge));
    if (c.statusAge >= 0) {
      pretendRunning(c.statusAge, 3600);
    } else {
      std::filesystem::remove(setup.directory().file("trasvik.state.lock"));
    }
    std::string output;
    EXPECT_EQ(status(c.arguments, output), c.exitStatus) << output;
    EXPECT_EQ(output.rfind(c.firstWords, 0), 0u) << output;
  }

  // An INI file that cannot be read is UNKNOWN.
  std::string output;
  std::string error;
  const auto child = platform::ChildProcess::start(
      {GatewaySetup::gatewayBinary(), "/status", "/ini:" + setup.directory().file("missing.ini")}, true, error);
  ASSERT_NE(child, nullptr) << error;
  while (std::optional<std::string> line = child->readLine(30000)) output += *line + "\n";
  EXPECT_EQ(child->wait(30000), 3) << output;
  EXPECT_EQ(output.rfind("TRASVIK UNKNOWN - Can't open INI file: ", 0), 0u) << output;
}

// A real gateway keeps its status file: /status sees it run, sees it wait
// when the service goes away, and takes its lock away from no one.
TEST_F(StatusTest, ARunningGatewayIsSeenRunningAndWaitingForTheService) {
  std::filesystem::remove_all(out);
  setup.makeDirectory("out/err");
  setup.set("trasvik", "loops", "0");
  setup.set("main", "address", addressOf(kGatewayTicker));
  setup.directory().write("out/sent.txt", "to myself");
  const auto gateway = setup.startGateway({"/supervised"}, {"XMLRPCTIMEOUT=3"});
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return std::filesystem::exists(setup.directory().file("in/sent.txt")); }));
  std::string output;
  ASSERT_TRUE(GatewaySetup::waitUntil([&] { return status({}, output) == 0; })) << output;
  ASSERT_EQ(status({"/format:json"}, output), 0);
  if (readerRuns()) {
    EXPECT_EQ(read("json", output).rfind("state OK running=True hung=False\n", 0), 0u) << output;
  }
  EXPECT_NE(output.find("\"last_sent\": \"2"), std::string::npos) << output;

  setup.stopService();
  EXPECT_TRUE(GatewaySetup::waitUntil([&] { return status({}, output) == 1; })) << output;
  EXPECT_NE(output.find("the gateway waits for the service"), std::string::npos) << output;
  setup.restartService();
  gateway->terminate();
  EXPECT_EQ(gateway->wait(30000), 0);
  EXPECT_EQ(setup.countRecordsStartingWith("Another Trasvik runs"), 0);
  EXPECT_EQ(status({}, output), 2) << output;
}

// Names outside ASCII: the JSON form is UTF-8 whatever the system's code
// page (the Windows programs under Wine work in code page 1252, whose
// letters stand here for those of any code page).
TEST_F(StatusTest, TheJsonFormIsUtf8WhateverTheCodePage) {
  const std::string name = "R\xC3\xA9" "ception";  // Réception
  setup.encodeIni([](const std::string& text) { return "\xEF\xBB\xBF" + text; });  // UTF-8 with its mark
  setup.set("rules", "rule1", name);
  setup.set(name, "type", "FILE");
  setup.set(name, "out", setup.directory().path().string() + "/" + name + "/");
  std::filesystem::create_directory(setup.directory().path() / std::filesystem::path(reinterpret_cast<const char8_t*>(name.c_str())));
  std::ofstream(setup.directory().path() / std::filesystem::path(reinterpret_cast<const char8_t*>((name + "/caf\xC3\xA9.txt").c_str())))
      << "x";
  pretendRunning(5);
  std::string output;
  ASSERT_EQ(status({"/format:json"}, output), 0) << output;
  EXPECT_NE(output.find("{\"name\": \"" + name + "\", \"kind\": \"FILE\",\n     \"waiting\": {\"files\": 1, "),
            std::string::npos)
      << output;
}

// The gateway's own alarms are off by default; one that is set is raised
// once while its condition holds: a warning and a notification to the
// administrator.
TEST_F(StatusTest, TheGatewaysOwnAlarmIsRaisedOnceWithARecordAndANotification) {
  setup.set("trasvik", "loops", "3");
  setup.erase("main", "out");
  setup.erase("rules", "rule1");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(setup.countRecordsStartingWith("Alarm"), 0);

  setup.set("main", "out", out);
  setup.set("trasvik", "alarm_error_files", "1");
  setup.set("trasvik", "alarm_waiting_minutes", "60");
  std::filesystem::remove(out + "a.txt");
  std::filesystem::remove(out + "b.txt");
  EXPECT_EQ(setup.runGateway(), 0);
  const std::string alarm = "Alarm: 1 file(s) in error directories ([trasvik]:alarm_error_files)";
  EXPECT_EQ(setup.countRecords("WARNING", alarm), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Alarm"), 1);  // the waiting alarm is not due
  EXPECT_NE(setup.listStore().find(listed("Trasvik " + alarm)), std::string::npos) << setup.listStore();
}

// Many files waiting in one directory are counted in well under the
// bound a monitoring system gives a check (the benchmark prints the time).
TEST_F(StatusTest, ManyWaitingFilesAreCountedInTime) {
#if defined(_WIN32)
  constexpr int kFiles = 10000;  // Wine makes each file slow to create
#else
  constexpr int kFiles = 100000;
#endif
  const std::string many = setup.makeDirectory("many");
  setup.set("letters", "type", "FILE");
  setup.set("letters", "out", many);
  for (int i = 0; i < kFiles; ++i) std::ofstream(many + "f" + std::to_string(i));
  pretendRunning(5);
  std::string output;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(status({}, output), 0) << output;
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(output.rfind("TRASVIK OK - " + std::to_string(kFiles + 2) + " waiting", 0), 0u) << output;
  EXPECT_LT(took, std::chrono::seconds(10));
}

}  // namespace
}  // namespace gateway_testing
