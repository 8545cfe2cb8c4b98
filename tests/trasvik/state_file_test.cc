// The state file as a journal: what a restart reads back of it.
#include "trasvik/state_file.h"

#include <gtest/gtest.h>

#include <ctime>
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

// A batch a crash interrupted is found again as it was: its files in the
// message's order, whatever was recorded around and after it, and through
// the compaction of a restart; its token serves a post of fewer of them.
TEST_F(StateFileTest, AnInterruptedBatchKeepsItsOrderAndItsTokenServesWhatIsLeftOfIt) {
  const FileIdentity z = identityOf(directory.write("z.txt", "z"));
  const FileIdentity a = identityOf(directory.write("a.txt", "a"));
  const FileIdentity m = identityOf(directory.write("m.txt", "m"));
  const FileIdentity other = identityOf(outgoing);
  state.recordPostStarted({other}, SendLeg::kAddress, "t0");
  state.recordPostStarted({z, a, m}, SendLeg::kAddress, "t1");
  state.recordPosted({other}, SendLeg::kAddress, "t0");
  state.recordPostStarted({a}, SendLeg::kFolder, "t2");
  state.flush();

  const StateFile& again = reopened();
  const std::vector<InterruptedPost> posts = again.interruptedPosts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].token, "t1");
  EXPECT_EQ(posts[0].files, (std::vector<FileIdentity>{z, a, m}));
  EXPECT_EQ(posts[1].leg, SendLeg::kFolder);
  EXPECT_EQ(again.startedToken({z, m}, SendLeg::kAddress), "t1");
  // Not a file of another post, nor one whose post was answered.
  EXPECT_EQ(again.startedToken({z, other}, SendLeg::kAddress), "");
  EXPECT_EQ(again.startedToken({a}, SendLeg::kFolder), "t2");
}

// The attachment names saved under a token survive a restart, and a message
// that repeated only part of an earlier one adds its names to the earlier
// one's. A line of this kind is one an earlier version ignores.
TEST_F(StateFileTest, TheAttachmentNamesOfATokenAddUpAndSurviveARestart) {
  state.recordReceipt("m1", {"in/", {"a.txt", "b (2).txt"}}, "tok", {"a.txt", "b.txt"});
  state.recordReceipt("m2", {"in/", {"c.txt", "a (2).txt"}}, "tok", {"c.txt", "a.txt"});
  state.recordReceipt("old", {"in/", {"x"}}, "");
  const SavedMessage* saved = reopened().savedMessage("tok");
  ASSERT_NE(saved, nullptr);
  EXPECT_EQ(saved->messageId, "m2");
  ASSERT_TRUE(saved->attachmentNames);
  EXPECT_EQ(*saved->attachmentNames, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

  // A saved line without names, as earlier versions wrote it.
  std::ofstream(path, std::ios::app) << "saved\t" << std::time(nullptr) << "\tbare\tm3\tin/\tz\n";
  saved = reopened().savedMessage("bare");
  ASSERT_NE(saved, nullptr);
  EXPECT_FALSE(saved->attachmentNames);
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
