// Files that other programs hold (scanners, backup agents, the producer
// itself) and moves to another volume: a hold that clears costs a pause, one
// that lasts costs a warning and a later move; never a stop, never a second
// post, never a file in two places. Where the system can hold a file for
// real (Windows' sharing modes) a holder does; elsewhere injected faults
// fail the calls as a hold would.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/gateway_setup.h"
#include "support/temp_directory.h"

namespace gateway_testing {
namespace {

using testing_support::kWindows;
using testing_support::readFile;

std::string faults(const std::string& text) { return "TRASVIK_TEST_FILE_FAULTS=" + text; }

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class HeldFileTest : public testing::Test {
 protected:
  void SetUp() override {
    in = setup.useMainRule("FILE");
    setup.set("main", "out", out);
    setup.set("main", "address", addressOf(kPeerTicker));
    setup.set("trasvik", "lock_wait", "1");
  }

  std::string write(const std::string& name, const std::string& contents) const {
    setup.directory().write("out/" + name, contents);
    return out + name;
  }
  bool inOut(const std::string& name) const { return std::filesystem::exists(out + name); }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }
  int posts(const std::string& name) const { return occurrences(setup.listStore(), "attachment \"" + name + "\""); }
  std::string heldWarning(const std::string& path, const std::string& directory) const {
    return "File \"" + path + "\" can't be moved to \"" + directory +
           "\": it is in use by another program after waiting 1 s; it stays for a later pass";
  }

  // Holds `path` as a scanner would while the gateway runs once: for real
  // on Windows, through an injected sharing violation of `operation`
  // elsewhere. The exit status.
  int runWhileHeld(const std::string& path, const std::string& operation) {
    if (kWindows) {
      auto holder = holdOpen(path, Hold::kKeepingName);
      return holder ? setup.runGateway() : -1;
    }
    return setup.runGateway(nullptr, {faults(operation + ":" + path + ":SHARING")});
  }

  GatewaySetup setup;
  std::string in;
  const std::string out = setup.makeDirectory("out");
};

TEST_F(HeldFileTest, ASentFileHeldForAMomentMovesAfterAPauseAndOneHeldLongMovesInALaterPass) {
  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  write("brief.txt", "held a moment");
  ASSERT_EQ(setup.runGateway(nullptr, {faults("rename:/out/brief.txt:SHARING:0:4")}), 0) << log();
  EXPECT_EQ(readFile(sent + "brief.txt"), "held a moment");
  EXPECT_FALSE(inOut("brief.txt"));

  const std::string held = write("held.txt", "held long");
  ASSERT_EQ(runWhileHeld(held, "rename"), 0) << log();
  EXPECT_TRUE(inOut("held.txt"));
  EXPECT_EQ(setup.countRecords("WARNING", heldWarning(held, sent)), 1) << log();

  // Released: moved on, not posted again.
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_FALSE(inOut("held.txt"));
  EXPECT_EQ(directoryNames(sent), (std::vector<std::string>{"brief.txt", "held.txt"}));
  EXPECT_EQ(posts("brief.txt"), 1);
  EXPECT_EQ(posts("held.txt"), 1);
}

TEST_F(HeldFileTest, AMoveToAnotherVolumeCopiesThenDeletesAndNeverLeavesTheFileInBothPlaces) {
  const std::filesystem::path volume = testing_support::otherVolume();
  if (volume.empty()) GTEST_SKIP() << "no second volume on this machine";
  testing_support::TempDirectory elsewhere(volume);
  const std::string sent = (elsewhere.path() / "").string();
  setup.set("main", "sent", sent);
  write("plain.txt", "crosses");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(readFile(sent + "plain.txt"), "crosses");
  EXPECT_FALSE(inOut("plain.txt"));

  // Copied, but the source cannot be deleted: the copy goes again.
  const std::string held = write("held.txt", "stays whole");
  ASSERT_EQ(runWhileHeld(held, "unlink"), 0) << log();
  EXPECT_TRUE(inOut("held.txt"));
  EXPECT_EQ(directoryNames(sent), (std::vector<std::string>{"plain.txt"}));
  EXPECT_EQ(setup.countRecords("WARNING", heldWarning(held, sent)), 1) << log();

  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_FALSE(inOut("held.txt"));
  EXPECT_EQ(directoryNames(sent), (std::vector<std::string>{"held.txt", "plain.txt"}));
  EXPECT_EQ(readFile(sent + "held.txt"), "stays whole");
  EXPECT_EQ(posts("held.txt"), 1);
}

// A received file that stays held when it is to get its name: the message
// stays unconfirmed, the gateway goes on, and the next pass puts in place
// what is missing beside what is there.
TEST_F(HeldFileTest, AReceivedFileHeldThroughTheWaitLeavesItsMessageForALaterPass) {
  setup.deliver(message("two", {{"a.txt", "first"}, {"b.txt", "second"}}));
  ASSERT_EQ(setup.runGateway(nullptr, {faults("rename:/in/b.txt:SHARING")}), 0) << log();
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(setup.countRecordsStartingWith("Msg \""), 1) << log();
  EXPECT_NE(setup.listStore().find("Inbox email@gate.svc: 1 message\n"), std::string::npos) << setup.listStore();

  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(readFile(in + "b.txt"), "second");
  EXPECT_EQ(setup.listStore().find("Inbox email@gate.svc: 1 message\n"), std::string::npos) << setup.listStore();
}

}  // namespace
}  // namespace gateway_testing
