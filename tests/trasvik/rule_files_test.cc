#include <filesystem>

#include "gateway_core_fixture.h"
#include "platform/file_faults.h"
#include "rule/directories.h"
#include "rule/directory_scan.h"
#include "rule/delivered_file.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/sequence_counter.h"
#include "support/temp_directory.h"
#include "trasvik/library_text.h"
#include "trasvik/notification.h"
#include "trasvik/script_bridge.h"
#include "trasvik/settings.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

class RuleFilesTest : public GatewayCoreTest {
 protected:
  void TearDown() override {
    platform::clearFileFaults();
    GatewayCoreTest::TearDown();
  }
  std::string put(const std::string& path, const std::string& contents = "x") {
    std::filesystem::create_directories(std::filesystem::path(setup.directory().file(path)).parent_path());
    return setup.directory().write(path, contents);
  }
};

TEST_F(RuleFilesTest, MovesNeverReplaceAFile) {
  openIni();
  const std::string to = setup.makeDirectory("to");
  put("to/a.txt", "old");
  put("to/a (2).txt", "older");
  trasvik::moveFile(put("from/a.txt", "new"), to, "a.txt");
  EXPECT_EQ(readFile(to + "a (3).txt"), "new");
  EXPECT_EQ(readFile(to + "a.txt"), "old");

  put("to/data");
  trasvik::moveFile(put("from/data", "d"), to, "data");
  EXPECT_EQ(readFile(to + "data (2)"), "d");

  // A file of the chosen name appears between the test and the rename: the
  // rename refuses, and the next name is taken.
  platform::setFileFaults({{platform::FileOperation::kRename, "/to/b.txt", EEXIST, 0}});
  trasvik::moveFile(put("from/b.txt", "b"), to, "b.txt");
  EXPECT_EQ(readFile(to + "b (2).txt"), "b");

  // moveFileTo: a subdirectory beside the source, or a full path.
  setup.makeDirectory("from/err");
  trasvik::moveFileTo(put("from/c.txt", "c"), "err");
  EXPECT_EQ(readFile(setup.directory().file("from/err/c.txt")), "c");
  trasvik::moveFileTo(put("from/d.txt", "d"), setup.directory().file("to"));
  EXPECT_EQ(readFile(to + "d.txt"), "d");
}

TEST_F(RuleFilesTest, EnvelopeTakesABaseThatNoFileOfTheNameUses) {
  openIni();
  const std::string to = setup.makeDirectory("to");
  put("to/report.xml.pdf");
  put("from/e.env", "envelope");
  put("from/e.001", "data");
  trasvik::moveEnvelope(setup.directory().file("from/e"), to, "report.xml");
  EXPECT_EQ(readFile(to + "report.xml (2).env"), "envelope");
  EXPECT_EQ(readFile(to + "report.xml (2).001"), "data");
  EXPECT_TRUE(trasvik::fileExists(to + "REPORT.XML (2).???"));
}

TEST_F(RuleFilesTest, FailedMoveIsReportedNotifiedAndEndsTheRun) {
  const std::string to = setup.makeDirectory("to");
  const std::string source = put("from/f.txt");
  platform::setFileFaults({{platform::FileOperation::kRename, "/to/", EIO, 0}});
  inSession([&] {
    ASSERT_TRUE(trasvik::init());
    EXPECT_THROW(trasvik::moveFile(source, to, "f.txt"), int);
  });
  const std::string record = "Can't rename file \"" + source + "\" to \"" + to + "f.txt\", errno 5";
  EXPECT_EQ(setup.countRecords("FATAL", record), 1);
  EXPECT_NE(setup.listStore().find("Trasvik can't continue - Can't rename file"), std::string::npos);
  EXPECT_EQ(readFile(source), "x");
}

// Another program (a scanner, a backup agent) holds the file: a hold that
// clears costs a pause; one that lasts leaves the file, with one warning
// however often it is met, and never stops the gateway.
TEST_F(RuleFilesTest, AHeldFileIsWaitedForThenLeftWithOneWarning) {
  const std::string to = setup.makeDirectory("to");
  setup.set("trasvik", "lock_wait", "1");
  platform::setFileFaults({{platform::FileOperation::kRename, "/a.txt", EBUSY, 0, 4}});
  const std::string held = put("from/b.txt", "b");
  inSession([&] {
    ASSERT_TRUE(trasvik::init());
    EXPECT_EQ(readFile(trasvik::moveFile(put("from/a.txt", "a"), to, "a.txt")), "a");

    platform::setFileFaults({{platform::FileOperation::kRename, "/b.txt", EBUSY, 0}});
    for (int pass = 0; pass < 2; ++pass) EXPECT_THROW(trasvik::moveFile(held, to, "b.txt"), trasvik::FileHeld);
    platform::setFileFaults({{platform::FileOperation::kUnlink, "/b.txt", EACCES, 0}});
    EXPECT_THROW(trasvik::deleteDeliveredFile(held, trasvik::reportCantContinue), trasvik::FileHeld);
  });
  EXPECT_EQ(readFile(held), "b");
  EXPECT_EQ(setup.countRecords("WARNING", "File \"" + held + "\" can't be moved to \"" + to +
                                              "\": it is in use by another program after waiting 1 s; it stays for a "
                                              "later pass"),
            1);
  EXPECT_EQ(setup.countRecordsStartingWith("File \"" + held + "\" can't be removed"), 0)
      << "a second warning for the same held file";
}

// A pair moves whole: an envelope whose data file stays held goes back.
TEST_F(RuleFilesTest, AnEnvelopeWhoseDataFileIsHeldStaysWithIt) {
  const std::string to = setup.makeDirectory("to");
  setup.set("trasvik", "lock_wait", "0");
  put("from/e.env", "envelope");
  put("from/e.001", "data");
  platform::setFileFaults({{platform::FileOperation::kRename, "e.001", EBUSY, 0}});
  inSession([&] {
    ASSERT_TRUE(trasvik::init());
    EXPECT_THROW(trasvik::moveEnvelope(setup.directory().file("from/e"), to, "e"), trasvik::FileHeld);
  });
  EXPECT_EQ(readFile(setup.directory().file("from/e.env")), "envelope");
  EXPECT_EQ(readFile(setup.directory().file("from/e.001")), "data");
  EXPECT_TRUE(std::filesystem::is_empty(to));
}

TEST_F(RuleFilesTest, MakesEveryMissingDirectory) {
  openIni();
  EXPECT_TRUE(trasvik::makeDirectories(setup.directory().file("a/b/../c/d")));
  EXPECT_TRUE(std::filesystem::is_directory(setup.directory().file("a/c/d")));
  put("plain");
  EXPECT_FALSE(trasvik::makeDirectories(setup.directory().file("plain/sub")));
}

TEST_F(RuleFilesTest, ScanSkipsWhatCannotBeSentWithWarnings) {
  openIni();
  const std::string out = setup.makeDirectory("out");
  put("out/one.txt", "1");
  put("out/.hidden.txt");
  put("out/big.txt", std::string(100, 'b'));
  put("out/other.dat");
  std::filesystem::create_directories(out + "sub.txt");
  const std::string locked = put("out/locked.txt");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read);

  std::vector<trasvik::FileEntry> files;
  trasvik::scanDirectory(files, out + "*.TXT", 50);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].name, "one.txt");
  EXPECT_EQ(files[0].addressTries, trasvik::settings().retryonerror);
  EXPECT_EQ(setup.countRecords("WARNING", "File \".hidden.txt\" is ReadOnly, Hidden or System. Ignoring"), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "File \"locked.txt\" is ReadOnly, Hidden or System. Ignoring"), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "File \"big.txt\" is too long. Ignoring"), 1);
}

TEST_F(RuleFilesTest, SequenceCounterWrapsAndLivesInTheService) {
  inSession([&] {
    const std::string key = "infilenum " + setup.directory().file("trasvik.ini");
    trasvik::LibraryText ignored;
    ASSERT_TRUE(trasvik::runScript("saveParam(\"" + trasvik::escapeScriptText(key) + "\",\"99998\");", ignored));
    trasvik::loadSequenceCounter();
    EXPECT_EQ(trasvik::nextSequenceNumber(), 99999u);
    EXPECT_EQ(trasvik::nextSequenceNumber(), 1u);
    EXPECT_EQ(trasvik::nextSequenceNumber(), 2u);
    trasvik::LibraryText stored;
    ASSERT_TRUE(trasvik::runScript("readParam(\"" + trasvik::escapeScriptText(key) + "\");", stored));
    EXPECT_STREQ(stored.c_str(), "00002");
  });
}

}  // namespace
}  // namespace gateway_testing
