// Sending the files of a FILE rule's outgoing directory: to the address,
// into the folder, with failed posts, a file someone still writes, and a
// rule that has no way to send.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child_process.h"
#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::kWindows;
using testing_support::readFile;

class FileSendTest : public testing::Test {
 protected:
  void SetUp() override {
    setup.useMainRule("FILE");
    setup.set("main", "out", out);
    setup.set("main", "address", addressOf(kPeerTicker));
  }

  // Sends folder messages to "folder"; PEER becomes a folder as well, so
  // one rule address serves both legs.
  void addFolder() {
    setup.set("trasvik", "folderparam", "folder");
    setup.set("folder", "url", "dravont://folder");
    setup.directory().write("store/addressbook.ini", "[addresses]\n" + addressOf(kAdminTicker) + "=1\n" +
                                                         addressOf(kPeerTicker) + "=1\n[folders]\n" +
                                                         addressOf(kFolderTicker) + "=Filed documents\n" +
                                                         addressOf(kPeerTicker) + "=Peer filing\n");
  }

  // Writes a file into the outgoing directory; its path as the gateway
  // composes it.
  std::string write(const std::string& name, const std::string& contents = "bytes") const {
    setup.directory().write("out/" + name, contents);
    return out + name;
  }
  bool inOut(const std::string& name) const { return std::filesystem::exists(out + name); }
  static int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  const std::string out = setup.makeDirectory("out");
};

// A sent directory on a share whose server restarts (its network error,
// through the fault layer, for the first two moves): the file stays, one
// warning names the directory, the next passes move it on without posting it again, and
// the gateway never stops. With the volume present a failed move stays
// fatal (below, the failed removal).
TEST_F(FileSendTest, ASentDirectoryOnAShareThatGoesAwayIsTriedAgainEachPassWithoutAStop) {
  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  setup.set("trasvik", "loops", "3");
  write("shared.txt");
  ASSERT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=rename:/sent/:ENETUNREACH:0:2"}), 0) << log();
  EXPECT_TRUE(std::filesystem::exists(sent + "shared.txt"));
  EXPECT_FALSE(inOut("shared.txt"));
  EXPECT_EQ(occurrences(setup.listStore(), "attachment \"shared.txt\""), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Directory \"" + sent + "\" is not reachable, "), 1) << log();
  EXPECT_EQ(setup.countRecords("INFO", "Directory \"" + sent + "\" is reachable again"), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("FATAL"), 0);
}

TEST_F(FileSendTest, EachFileGoesToTheAddressThenIntoSentOrIsDeleted) {
  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  setup.set("main", "subject", "Say \"hi\" \\ ok");
  setup.set("main", "coretype", "2a0");
  const std::string path = write("report.txt", "12345");
  write("second.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const std::string store = setup.listStore();
  EXPECT_NE(store.find("Inbox email@peer.svc: 2 messages"), std::string::npos) << store;
  EXPECT_NE(store.find("subject " + listed("Say \"hi\" \\ ok") +
                       "  coretype: \"02A0\"\n      attachment \"report.txt\", 5 bytes, protection level 2"),
            std::string::npos)
      << store;
  EXPECT_EQ(readFile(sent + "report.txt"), "12345");
  EXPECT_TRUE(std::filesystem::exists(sent + "second.txt"));
  EXPECT_FALSE(inOut("report.txt"));
  EXPECT_EQ(setup.countRecords("INFO", "Rule [main]: File \"" + path + "\" sent, to: \"" + addressOf(kPeerTicker) +
                                           "\", attachment name: \"report.txt\""),
            1);

  // Without a sent directory a delivered file is deleted; a deletion that
  // fails ends the run with the file still there.
  setup.erase("main", "sent");
  write("third.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_FALSE(inOut("third.txt"));
  EXPECT_FALSE(std::filesystem::exists(sent + "third.txt"));
  EXPECT_NE(setup.listStore().find("attachment \"third.txt\""), std::string::npos);

  write("fourth.txt");
  ASSERT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=unlink:/out/fourth:EIO"}), 13) << log();
  EXPECT_TRUE(inOut("fourth.txt"));
  const std::string failure = "Can't remove file \"" + out + "fourth.txt\", errno 5";
  EXPECT_EQ(setup.countRecords("FATAL", failure), 1);
  EXPECT_NE(setup.listStore().find("text " + listed("Trasvik can't continue - " + failure)), std::string::npos);

  // An outgoing directory that cannot be read is reported, not taken for empty.
  ASSERT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=open:/out/:EACCES"}), 0) << log();
  EXPECT_TRUE(inOut("fourth.txt"));
  EXPECT_EQ(setup.countRecords("WARNING", "Can't read directory \"" + out + "\", errno EACCES: Permission denied"), 1);
}

TEST_F(FileSendTest, FolderLegFilesTheFileAndAdminMailOnlyLeavesTheAddressOut) {
  addFolder();
  const std::string path = write("both.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  std::string store = setup.listStore();
  EXPECT_NE(store.find("Inbox email@peer.svc: 1 message\n"), std::string::npos) << store;
  EXPECT_NE(store.find("Folder \"Peer filing\": 1 message\n"), std::string::npos) << store;
  EXPECT_EQ(setup.countRecords("INFO", "Rule [main]: File \"" + path + "\" moved, to: \"Peer filing\""), 1);
  EXPECT_FALSE(inOut("both.txt"));

  setup.set("trasvik", "admin_mail_only", "1");
  write("filed.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  store = setup.listStore();
  EXPECT_NE(store.find("Inbox email@peer.svc: 1 message\n"), std::string::npos) << store;
  EXPECT_NE(store.find("Folder \"Peer filing\": 2 messages\n"), std::string::npos) << store;
  EXPECT_FALSE(inOut("filed.txt"));

  // An address that is only a folder sends on the folder leg alone.
  setup.erase("trasvik", "admin_mail_only");
  setup.set("main", "address", addressOf(kFolderTicker));
  write("folder-only.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  store = setup.listStore();
  EXPECT_NE(store.find("Folder \"Filed documents\": 1 message\n"), std::string::npos) << store;
  EXPECT_FALSE(inOut("folder-only.txt"));
}

TEST_F(FileSendTest, FailedPostsUseUpTheTriesThenTheFileGoesToTheErrorSubdirectory) {
  addFolder();
  setup.set("trasvik", "retryonerror", "3");
  write("refused.txt");
  setup.inject("PostMessageTo", 6, "error", "post refused");  // three sweeps of both legs
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_FALSE(inOut("refused.txt"));
  EXPECT_TRUE(std::filesystem::exists(out + "err/refused.txt"));
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post email message: post refused"), 3);
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post message to folder: post refused"), 3);
  const std::string store = setup.listStore();
  // The two failure texts, joined by a line break, which the notification
  // turns into blanks.
  EXPECT_NE(store.find("to " + addressOf(kAdminTicker)), std::string::npos) << store;
  EXPECT_NE(store.find("text \"Can't post email message : post refused  Can't post message to folder: post refused\""),
            std::string::npos)
      << store;
  EXPECT_EQ(store.find("attachment \"refused.txt\""), std::string::npos) << store;
}

TEST_F(FileSendTest, FileStillWrittenIsNotifiedOnceSkippedAndSentOnceReleased) {
  setup.set("trasvik", "loops", "3");
  setup.set("trasvik", "sleeptime", "2");
  const std::string busy = write("busy.txt", "first part");
  auto writer = holdOpen(busy, Hold::kWriting);
  ASSERT_NE(writer, nullptr);
  const std::string first = write("first.txt");
  auto gateway = setup.startGateway();
  ASSERT_NE(gateway, nullptr);

  const std::string refused = "Can't init stream, file: \"" + busy + "\"";
  const auto waitFor = [&](const std::string& part) {
    for (int i = 0; i < 400 && log().find(part) == std::string::npos; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return log().find(part) != std::string::npos;
  };
  // Pass 1 refuses the file and sends the other; pass 2 has a new file and
  // leaves the refused one alone; pass 3 has nothing else and tries it again.
  ASSERT_TRUE(waitFor(refused) && waitFor("File \"" + first + "\" sent")) << log();
  const std::string later = write("later.txt");
  ASSERT_TRUE(waitFor("File \"" + later + "\" sent")) << log();
  EXPECT_EQ(occurrences(log(), "ERROR Brivane: " + refused), 1);
  EXPECT_EQ(writer->writeAt(10, ", second part"), 0);
  writer.reset();
  EXPECT_EQ(gateway->wait(30000), 0);

  EXPECT_EQ(occurrences(log(), "ERROR Brivane: " + refused), 1) << log();
  EXPECT_FALSE(inOut("busy.txt"));
  const std::string store = setup.listStore();
  const std::string notified = listed(refused);
  EXPECT_EQ(occurrences(store, "text " + notified.substr(0, notified.size() - 1)), 1) << store;
  EXPECT_NE(store.find("attachment \"busy.txt\", 23 bytes"), std::string::npos) << store;
}

TEST_F(FileSendTest, RuleWithoutAnyLegNeverDeletesAFileItDidNotSend) {
  setup.set("main", "protectionlevel", "5");  // detached: folders only, and there is no folder
  write("kept.txt");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_TRUE(inOut("kept.txt"));
  EXPECT_EQ(setup.countRecords("WARNING", "Rule [main]: nothing can be sent (protection level 5 is detached, for "
                                          "folders only; the address is no service folder), files stay in the "
                                          "output directory"),
            1);

  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_FALSE(inOut("kept.txt"));
  EXPECT_TRUE(std::filesystem::exists(sent + "kept.txt"));
  EXPECT_EQ(setup.listStore().find("attachment \"kept.txt\""), std::string::npos);
}

// The service reads a file with its own rights: a link to a file outside,
// and a file the gateway itself may not read, are never handed to it.
TEST_F(FileSendTest, LinksAndFilesTheGatewayMayNotReadAreNotSent) {
  // Links are POSIX's; on Windows a file another program holds open with no
  // sharing is one more that the gateway may not read.
  std::unique_ptr<platform::RandomAccessFile> holder;
  if (kWindows) {
    holder = holdOpen(write("held.txt", "locked by its program"), Hold::kExclusively);
    ASSERT_NE(holder, nullptr);
  } else {
    const std::string secret = setup.directory().write("secret.txt", "root only");
    std::filesystem::create_symlink(secret, out + "link.txt");
  }
  write("locked.txt", "not mine");
  write("plain.txt", "mine");
  ASSERT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=open:locked.txt:EACCES"}), 0) << log();
  const std::string store = setup.listStore();
  EXPECT_EQ(occurrences(store, "attachment \"plain.txt\""), 1) << store;
  for (const char* name : {"link.txt", "locked.txt", "held.txt"}) {
    EXPECT_EQ(occurrences(store, "attachment \"" + std::string(name) + "\""), 0) << store;
  }
  EXPECT_TRUE(inOut("locked.txt"));
  const auto unreadable = [&](const std::string& name) {
    return setup.countRecords("ERROR", "Can't init stream, file: \"" + out + name +
                                           "\", cannot be read: errno EACCES: Permission denied");
  };
  EXPECT_EQ(unreadable("locked.txt"), 1) << log();
  if (kWindows) {
    EXPECT_TRUE(inOut("held.txt"));
    EXPECT_EQ(setup.countRecords("ERROR", "Can't init stream, file: \"" + out +
                                              "held.txt\", cannot be read: another program has it open without "
                                              "sharing it"),
              1)
        << log();
  } else {
    EXPECT_TRUE(std::filesystem::is_symlink(out + "link.txt"));
    EXPECT_EQ(setup.countRecords("WARNING", "File \"link.txt\" is not a regular file. Ignoring"), 1);
  }
}

// A file skipped every pass is reported once; directories that take no
// files stop the rule before a post, not after it, and are reported once.
TEST_F(FileSendTest, SkippedFilesAreReportedOnceAndRefusingDirectoriesStopTheRuleBeforeItPosts) {
  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  setup.set("trasvik", "loops", "3");
  // Skipped: a read-only file, a hidden one (a leading dot hides it on
  // either system) and, on Windows, files marked hidden or system as an
  // administrator marks them; on POSIX, a link, which is no regular file.
  const std::string readOnly = write("readonly.txt");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  std::vector<std::string> skipped{"readonly.txt", ".dotted.txt"};
  write(".dotted.txt");
  if (kWindows) {
    for (const auto& [name, attribute] : {std::pair{"hidden.txt", "+h"}, std::pair{"system.txt", "+s"}}) {
      std::string error;
      auto attrib = platform::ChildProcess::start({"attrib", attribute, write(name)}, true, error);
      ASSERT_NE(attrib, nullptr) << error;
      ASSERT_EQ(attrib->wait(30000), 0) << name;
      skipped.push_back(name);
    }
  } else {
    std::filesystem::create_symlink(out + "nowhere", out + "dangling.txt");
  }
  write("report.txt");
  // No directory takes a new file (as on a file system mounted read-only).
  const std::vector<std::string> refusing{"TRASVIK_TEST_FILE_FAULTS=open:.trasvik-probe:EACCES"};
  ASSERT_EQ(setup.runGateway(nullptr, refusing), 0) << log();
  for (const std::string& name : skipped) {
    EXPECT_EQ(setup.countRecords("WARNING", "File \"" + name + "\" is ReadOnly, Hidden or System. Ignoring"), 1)
        << log();
  }
  EXPECT_EQ(setup.countRecords("WARNING", "File \"dangling.txt\" is not a regular file. Ignoring"), kWindows ? 0 : 1);
  for (const std::string& directory : {out, sent}) {
    EXPECT_EQ(setup.countRecords("FATAL", "Directory \"" + directory +
                                              "\" doesn't accept files, errno EACCES: Permission denied (section "
                                              "[main]); nothing is sent until it does"),
              1);
  }
  EXPECT_TRUE(inOut("report.txt"));
  EXPECT_EQ(occurrences(setup.listStore(), "attachment \"report.txt\""), 0);

  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_FALSE(inOut("report.txt"));
  const std::string store = setup.listStore();
  EXPECT_EQ(occurrences(store, "attachment \"report.txt\""), 1);
  for (const std::string& name : skipped) {
    EXPECT_TRUE(inOut(name)) << name;
    EXPECT_EQ(occurrences(store, "attachment \"" + name + "\""), 0) << store;
  }
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

}  // namespace
}  // namespace gateway_testing
