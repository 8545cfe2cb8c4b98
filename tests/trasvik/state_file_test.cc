// The state file as a journal: what a restart reads back of it.
#include "trasvik/state_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "platform/file_faults.h"
#include "rule/recorded_post.h"
#include "support/temp_directory.h"
#include "trasvik/settings.h"

namespace trasvik {
namespace {

using testing_support::TempDirectory;

class StateFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(running->open(path, error)) << error; }
  // A restart after a crash: the running instance ends without writing
  // anything more, its file closed as the system closes a dead process's
  // files, and a new one reads the file (and replaces it).
  StateFile& reopened() {
    running.reset();
    running = std::make_unique<StateFile>();
    EXPECT_TRUE(running->open(path, error)) << error;
    return *running;
  }

  TempDirectory directory;
  const std::string path = directory.file("gate.state");
  // A name that reads back as another one if '%' is not escaped (a tab,
  // which Windows refuses in names).
  const std::string outgoing = directory.write("out name%09.txt", "12345");
  std::string error;
  std::unique_ptr<StateFile> running = std::make_unique<StateFile>();
  StateFile& state = *running;  // the first instance, gone after reopened()
};

TEST_F(StateFileTest, ARestartReadsWhatWasRecordedAndDropsWhatWasDone) {
  const FileIdentity file = identityOf(outgoing);
  state.recordPostStarted({file}, SendLeg::kAddress);
  state.recordPostStarted({file}, SendLeg::kFolder);
  state.recordPosted({file}, SendLeg::kAddress);
  state.recordReceipt("id\n1", {directory.file("in") + "/", {"a.txt", "b\tc.txt"}});
  state.recordReceipt("id2", {directory.file("in") + "/", {"x"}});
  state.forgetReceipt("id2");
  state.flush();

  const StateFile& again = reopened();
  EXPECT_EQ(again.postState(file, SendLeg::kAddress), PostState::kPosted);
  EXPECT_EQ(again.postState(file, SendLeg::kFolder), PostState::kStarted);
  const std::optional<ReceiptRecord> receipt = again.receipt("id\n1");
  ASSERT_TRUE(receipt);
  EXPECT_EQ(receipt->names, (std::vector<std::string>{"a.txt", "b\tc.txt"}));
  EXPECT_FALSE(again.receipt("id2"));

  // A file replaced under the same path is another file.
  directory.write("out name%09.txt", "123456");
  EXPECT_EQ(reopened().postState(file, SendLeg::kAddress), PostState::kNone);
}

TEST_F(StateFileTest, ALineACrashCutShortIsIgnored) {
  state.recordReceipt("whole", {"in/", {"a"}});
  std::ofstream(path, std::ios::app) << "receipt\t1\tcut";
  const StateFile& again = reopened();
  EXPECT_TRUE(again.receipt("whole"));
  EXPECT_FALSE(again.receipt("cut"));
}

// A backup agent holds the state file, so it cannot be replaced: it keeps
// its journal, compacted later, and nothing recorded meanwhile is lost.
TEST_F(StateFileTest, AFileHeldByAnotherProgramIsCompactedLaterAndLosesNothing) {
  settings().lockWaitMilliseconds = 0;
  state.recordReceipt("before", {"in/", {"a"}});
  platform::setFileFaults({{platform::FileOperation::kRename, "gate.state", EBUSY, 0}});
  reopened().recordReceipt("meanwhile", {"in/", {"b"}});
  platform::clearFileFaults();
  settings().lockWaitMilliseconds = 30000;
  const StateFile& again = reopened();
  EXPECT_TRUE(again.receipt("before"));
  EXPECT_TRUE(again.receipt("meanwhile"));
}

TEST_F(StateFileTest, AnotherFileIsRefusedAndLeftAlone) {
  const std::string foreign = directory.write("notes.txt", "shopping list\n");
  StateFile other;
  EXPECT_FALSE(other.open(foreign, error));
  EXPECT_EQ(error, "not a state file of this gateway");
}

}  // namespace
}  // namespace trasvik
